// The PCI walk: configuration access, the multi-function rule, the channel
// rows of the three kinds of controller, and the name tables.
#include <gtest/gtest.h>

#include <QStringList>
#include <map>
#include <tuple>

#include "hw/PortIo.h"
#include "select/PciScan.h"
#include "select/PciTables.h"
#include "sim/SimMachine.h"
#include "support/SimFixture.h"

namespace {

// Configuration space behind 0xCF8/0xCFC that records every access.
class FakePci : public PortBackend {
public:
    struct Access {
        char kind;  // 'W' (Out32) or 'R' (In32)
        uint16_t port;
        uint32_t value;
    };
    std::map<std::tuple<int, int, int>, std::array<uint8_t, 256>> functions;
    std::vector<Access> log;
    uint32_t address = 0;

    std::array<uint8_t, 256>& Add(int bus, int dev, int fn, uint16_t vendor, uint16_t device, uint8_t cls,
                                  uint8_t sub, uint8_t progIf, bool multi = false)
    {
        auto& c = functions[{bus, dev, fn}];
        c.fill(0);
        c[0] = uint8_t(vendor);
        c[1] = uint8_t(vendor >> 8);
        c[2] = uint8_t(device);
        c[3] = uint8_t(device >> 8);
        c[0x09] = progIf;
        c[0x0A] = sub;
        c[0x0B] = cls;
        c[0x0E] = multi ? 0x80 : 0;
        return c;
    }
    static void SetBar(std::array<uint8_t, 256>& c, int bar, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            c[0x10 + 4 * bar + i] = uint8_t(v >> (8 * i));
    }

    uint8_t In8(uint16_t) override { return 0xFF; }
    uint16_t In16(uint16_t) override { return 0xFFFF; }
    uint32_t In32(uint16_t port) override
    {
        uint32_t v = 0xFFFFFFFF;
        if (port == 0xCFC && (address & 0x80000000u)) {
            const int bus = (address >> 16) & 0xFF, dev = (address >> 11) & 0x1F, fn = (address >> 8) & 7;
            auto it = functions.find({bus, dev, fn});
            if (it != functions.end()) {
                const int off = address & 0xFC;
                v = 0;
                for (int i = 0; i < 4; ++i)
                    v |= uint32_t(it->second[off + i]) << (8 * i);
            }
        }
        log.push_back({'R', port, v});
        return v;
    }
    void Out8(uint16_t, uint8_t) override {}
    void Out16(uint16_t, uint16_t) override {}
    void Out32(uint16_t port, uint32_t value) override
    {
        if (port == 0xCF8)
            address = value;
        log.push_back({'W', port, value});
    }
    const char* Kind() const override { return "fake"; }

    // Configuration addresses written for a function.
    int ReadsOf(int bus, int dev, int fn) const
    {
        const uint32_t tag = 0x80000000u | (bus << 16) | (dev << 11) | (fn << 8);
        int n = 0;
        for (const Access& a : log)
            if (a.kind == 'W' && a.value != 0 && (a.value & 0xFFFFFF00u) == tag)
                ++n;
        return n;
    }
};

std::shared_ptr<FakePci> InstallFake()
{
    auto f = std::make_shared<FakePci>();
    InstallPortBackend(f);
    return f;
}

}  // namespace

TEST(PciScan, EveryByteIsAddressWriteDataReadAddressClear)
{
    auto pci = InstallFake();
    auto& c = pci->Add(2, 3, 5, 0x8086, 0x7111, 0x01, 0x01, 0x8A);
    c[0x3D] = 0x5A;
    pci->log.clear();

    EXPECT_EQ(ReadPciConfigByte(2, 3, 5, 0x3D), 0x5A);
    ASSERT_EQ(pci->log.size(), 3u);
    const uint32_t expected = 0x80000000u | (2u << 16) | (3u << 11) | (5u << 8) | 0x3C;
    EXPECT_EQ(pci->log[0].kind, 'W');
    EXPECT_EQ(pci->log[0].port, 0xCF8);
    EXPECT_EQ(pci->log[0].value, expected) << "offset with its two low bits cleared";
    EXPECT_EQ(pci->log[1].kind, 'R');
    EXPECT_EQ(pci->log[1].port, 0xCFC);
    EXPECT_EQ(pci->log[2].kind, 'W');
    EXPECT_EQ(pci->log[2].port, 0xCF8);
    EXPECT_EQ(pci->log[2].value, 0u);

    // The byte is taken from its place within the double word.
    EXPECT_EQ(ReadPciConfigByte(2, 3, 5, 0), 0x86);
    EXPECT_EQ(ReadPciConfigByte(2, 3, 5, 1), 0x80);
    EXPECT_EQ(ReadPciConfigByte(2, 3, 5, 2), 0x11);
    EXPECT_EQ(ReadPciConfigByte(2, 3, 5, 3), 0x71);
    EXPECT_EQ(ReadPciConfigByte(2, 3, 5, 0x09), 0x8A);
}

TEST(PciScan, ScanProbesAbsentDevicesWithTwoBytesAndHonoursMultiFunction)
{
    auto pci = InstallFake();
    pci->Add(0, 1, 0, 0x8086, 0x7110, 0x06, 0x01, 0, /*multi*/ true);
    pci->Add(0, 1, 1, 0x8086, 0x7111, 0x01, 0x01, 0x80);
    pci->Add(0, 2, 0, 0x1106, 0x3149, 0x01, 0x06, 0x00, /*multi*/ false);
    pci->Add(0, 2, 3, 0x8086, 0x7111, 0x01, 0x01, 0x80);  // hidden: function 0 is single-function
    pci->Add(5, 31, 0, 0x1022, 0x7411, 0x01, 0x01, 0x80);

    const std::vector<ChannelRow> rows = ScanPci();

    EXPECT_EQ(pci->ReadsOf(0, 0, 0), 2) << "an absent device is probed with its two vendor bytes";
    EXPECT_EQ(pci->ReadsOf(0, 0, 1), 0) << "functions 1-7 of an absent device are skipped";
    EXPECT_EQ(pci->ReadsOf(0, 1, 0), 256) << "a present function is read whole";
    EXPECT_EQ(pci->ReadsOf(0, 1, 1), 256);
    EXPECT_EQ(pci->ReadsOf(0, 1, 2), 2) << "multi-function device: every function is probed";
    EXPECT_EQ(pci->ReadsOf(0, 2, 3), 0) << "single-function device: functions 1-7 skipped";
    EXPECT_EQ(pci->ReadsOf(255, 31, 0), 2) << "the walk covers bus 255, device 31";

    // 256 buses x 32 devices, three accesses per byte.
    const size_t absent = 256 * 32 - 3;
    const size_t expected = 3 * (absent * 2 + 4 * 256 + 6 * 2);
    EXPECT_EQ(pci->log.size(), expected);

    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].name, "OnBoard Intel i82371AB/MB, Primary Channel");
    EXPECT_EQ(rows[0].pci, (PciAddress{0, 1, 1}));
    EXPECT_EQ(rows[2].name, "VIA VT8237 S150, Primary Channel");
    EXPECT_EQ(rows[5].name, "OnBoard AMD AMD-766 IDE, Secondary Channel");
    EXPECT_EQ(rows[5].pci->Text(), "0000:05:1f.0");
}

TEST(PciScan, ChannelRowsOfCompatibilityNativeAndSataControllers)
{
    auto pci = InstallFake();
    // Chipset IDE controller, both channels in compatibility mode.
    pci->Add(0, 1, 0, 0x8086, 0x24CB, 0x01, 0x01, 0x8A);
    // PCI card in native mode: BARs give the ports.
    auto& card = pci->Add(0, 2, 0, 0x105A, 0x4D69, 0x01, 0x01, 0x8F);
    FakePci::SetBar(card, 0, 0xD001);
    FakePci::SetBar(card, 1, 0xCC01);
    FakePci::SetBar(card, 2, 0xD801);
    FakePci::SetBar(card, 3, 0xDC01);
    // Primary native, secondary compatible.
    auto& mixed = pci->Add(0, 3, 0, 0x1095, 0x0648, 0x01, 0x01, 0x81);
    FakePci::SetBar(mixed, 0, 0xE001);
    FakePci::SetBar(mixed, 1, 0xE401);
    // SATA-class controller: no "OnBoard", a memory BAR gives 0.
    auto& sata = pci->Add(0, 4, 0, 0x10DE, 0x0054, 0x01, 0x06, 0x01);
    FakePci::SetBar(sata, 0, 0xB001);
    FakePci::SetBar(sata, 1, 0xB401);
    FakePci::SetBar(sata, 2, 0xFEB00000);  // memory BAR
    // Not mass storage: ignored.
    pci->Add(0, 5, 0, 0x8086, 0x1234, 0x02, 0x00, 0x00);

    const std::vector<ChannelRow> rows = ScanPci();
    ASSERT_EQ(rows.size(), 8u);
    auto row = [&](int i) { return std::make_tuple(rows[i].name, rows[i].basePort, rows[i].controlPort); };
    EXPECT_EQ(row(0), std::make_tuple(QString("OnBoard Intel i82801DB IDE, Primary Channel"), QString("01F0"), QString("03F6")));
    EXPECT_EQ(row(1), std::make_tuple(QString("OnBoard Intel i82801DB IDE, Secondary Channel"), QString("0170"), QString("0376")));
    EXPECT_EQ(row(2), std::make_tuple(QString("OnBoard Promise Ultra 133TX2, Primary Channel"), QString("D000"), QString("CC00")));
    EXPECT_EQ(row(3), std::make_tuple(QString("OnBoard Promise Ultra 133TX2, Secondary Channel"), QString("D800"), QString("DC00")));
    EXPECT_EQ(row(4), std::make_tuple(QString("OnBoard CMD/SiI CMD PCI-648, Primary Channel"), QString("E000"), QString("E400")));
    EXPECT_EQ(row(5), std::make_tuple(QString("OnBoard CMD/SiI CMD PCI-648, Secondary Channel"), QString("0170"), QString("0376")));
    EXPECT_EQ(row(6), std::make_tuple(QString("Nvidia nForce4 SATA, Primary Channel"), QString("B000"), QString("B400")));
    EXPECT_EQ(row(7), std::make_tuple(QString("Nvidia nForce4 SATA, Secondary Channel"), QString("0000"), QString("0000")));
}

TEST(PciScan, DefaultSimulatedMachineListsItsControllersByName)
{
    sim::InstallMachine(sim::DefaultMachineSpec());
    const std::vector<ChannelRow> rows = ScanPci();
    QStringList got;
    for (const ChannelRow& r : rows)
        got << r.name + " " + r.basePort + " " + r.controlPort;
    EXPECT_EQ(got, QStringList({
                       "OnBoard Intel i82371AB/MB, Primary Channel 01F0 03F6",
                       "OnBoard Intel i82371AB/MB, Secondary Channel 0170 0376",
                       "OnBoard Promise Ultra 133TX2, Primary Channel D000 D400",
                       "OnBoard Promise Ultra 133TX2, Secondary Channel D800 DC00",
                       "VIA VT8237 S150, Primary Channel C000 C400",
                       "VIA VT8237 S150, Secondary Channel C800 CC00",
                   }));
}

TEST(PciNames, TablesLookupsAndUnknownIds)
{
    EXPECT_EQ(std::size(PciVendorTable), 16u);
    EXPECT_EQ(std::size(PciDeviceTable), 100u);
    for (const PciName& d : PciDeviceTable)
        EXPECT_LE(strlen(d.name), 30u) << d.name;

    EXPECT_EQ(VendorName(0x8086), "Intel");
    EXPECT_EQ(VendorName(0x0D1C), "IC-Book");
    EXPECT_EQ(VendorName(0xABCD), "Unknown (ABCD)");
    EXPECT_EQ(VendorName(0x000A), "Unknown (000A)");
    EXPECT_EQ(DeviceName(0x3114), "SiL 3114 SoftRaid 5 Controller");
    EXPECT_EQ(DeviceName(0x27C1), "i82801GR/GH");
    EXPECT_EQ(DeviceName(0x00E5), "nForce3 IDE");
    EXPECT_EQ(DeviceName(0xBEEF), "PCI IDE Controller (BEEF)");
    EXPECT_EQ(DeviceName(0x0abc), "PCI IDE Controller (0ABC)");

    // A known vendor with an unknown device.
    EXPECT_EQ(ControllerName(0x8086, 0xF00D), "Intel PCI IDE Controller (F00D), ");
    // The device ID is looked up whatever the vendor.
    EXPECT_EQ(ControllerName(0x1234, 0x7111), "Unknown (1234) i82371AB/MB, ");
}

TEST(PciNames, AddControllerIgnoresOtherClassesAndKeepsBarsOfNonIdeStorage)
{
    std::array<uint8_t, 256> c{};
    c[0] = 0x86;
    c[1] = 0x80;
    c[0x0B] = 0x02;  // network
    std::vector<ChannelRow> rows;
    AddController(c.data(), {}, rows);
    EXPECT_TRUE(rows.empty());

    c[0x0B] = 0x01;
    c[0x0A] = 0x04;  // RAID
    c[0x10] = 0x01;
    c[0x11] = 0xA0;  // BAR0 = A001 (I/O)
    c[0x14] = 0x00;
    c[0x15] = 0xA4;  // BAR1 = A400 (memory, bit 0 clear)
    AddController(c.data(), {}, rows);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].basePort, "A000");
    EXPECT_EQ(rows[0].controlPort, "0000");
    EXPECT_TRUE(rows[0].name.startsWith("Intel PCI IDE Controller (0000), Primary"));

    const auto bars = ReadIoBars(c.data());
    EXPECT_EQ(bars[0], 0xA000u);
    EXPECT_EQ(bars[1], 0u);
}
