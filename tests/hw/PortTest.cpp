// Port access through the process-wide backend, and PCI configuration
// space through 0xCF8/0xCFC.
#include <gtest/gtest.h>

#include "hw/PortIo.h"
#include "sim/SimMachine.h"
#include "support/SimFixture.h"

TEST(PortAccess, PciConfigurationThroughCf8AndCfc)
{
    auto m = sim::InstallMachine(sim::DefaultMachineSpec());
    auto cfg = [](int bus, int dev, int fn, int off) {
        Ports().Out32(0xCF8, 0x80000000u | (bus << 16) | (dev << 11) | (fn << 8) | (off & 0xFC));
        const uint32_t v = Ports().In32(0xCFC);
        Ports().Out32(0xCF8, 0);
        return v;
    };
    EXPECT_EQ(cfg(0, 1, 1, 0), 0x71118086u);
    EXPECT_EQ((cfg(0, 1, 1, 8) >> 8) & 0xFFFFFF, 0x010180u);
    EXPECT_EQ((cfg(0, 1, 0, 0x0C) >> 16) & 0x80, 0x80u) << "multi-function bridge";
    EXPECT_EQ(cfg(0, 5, 0, 0), 0x4D69105Au);
    EXPECT_EQ(cfg(0, 5, 0, 0x14), 0xD401u);
    EXPECT_EQ(cfg(0, 6, 0, 8) >> 16, 0x0106u) << "SATA-class controller";
    EXPECT_EQ(cfg(0, 7, 0, 0), 0xFFFFFFFFu) << "nothing there";
    EXPECT_EQ(cfg(1, 0, 0, 0), 0xFFFFFFFFu);
}

TEST(PortAccess, ByteOperationsReachTheChannel)
{
    auto m = sim::InstallMachine(sim::DefaultMachineSpec());
    PortWrite(0x1F6, 0xF0);  // select the slave
    EXPECT_EQ(m->ChannelAt(0x1F0)->Selected(), 1);
    EXPECT_EQ(PortRead(0x3F6) & 0xC0, 0x40) << "ready";
    PortWrite(0x1F6, 0xE0);
    EXPECT_EQ(m->ChannelAt(0x1F0)->Selected(), 0);
    EXPECT_EQ(PortRead(0xC802), 0xFF) << "an empty channel floats";
    EXPECT_EQ(PortRead(0x1234), 0xFF) << "nobody decodes this port";
}

TEST(PortAccess, MissingSlaveReadsZeroBehindAPresentMaster)
{
    auto m = sim::InstallMachine(sim::DefaultMachineSpec());
    PortWrite(0xD806, 0xF0);  // D800 has a master only
    EXPECT_EQ(PortRead(0xDC02), 0x00);
    EXPECT_EQ(PortRead(0xD807), 0x00);
    EXPECT_EQ(PortRead(0xD806), 0xF0) << "the master latched the device register";
    EXPECT_EQ(Ports().In16(0xD800), 0x0000);
}
