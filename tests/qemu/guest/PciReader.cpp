#include "PciReader.h"

#include <cstdio>

#include "hw/PortIo.h"
#include "select/PciScan.h"

namespace guest {

std::string PciFunction::Address() const
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X:%02X.%u", bus, device, unsigned(function));
    return buf;
}

uint32_t PciConfigRead32(uint8_t bus, uint8_t device, uint8_t function, uint8_t offset)
{
    const uint32_t address = 0x80000000u | (uint32_t(bus) << 16) | (uint32_t(device & 0x1F) << 11) |
                             (uint32_t(function & 0x07) << 8) | (offset & 0xFCu);
    Ports().Out32(0xCF8, address);
    const uint32_t v = Ports().In32(0xCFC);
    Ports().Out32(0xCF8, 0);
    return v;
}

std::vector<PciFunction> ScanPciFunctions()
{
    std::vector<PciFunction> out;
    for (int bus = 0; bus < 256; ++bus) {
        for (int dev = 0; dev < 32; ++dev) {
            for (int fn = 0; fn < 8; ++fn) {
                const uint32_t id = PciConfigRead32(uint8_t(bus), uint8_t(dev), uint8_t(fn), 0x00);
                if ((id & 0xFFFF) == 0xFFFF) {
                    if (fn == 0)
                        break;
                    continue;
                }
                PciFunction f;
                f.bus = uint8_t(bus);
                f.device = uint8_t(dev);
                f.function = uint8_t(fn);
                f.vendorId = uint16_t(id);
                f.deviceId = uint16_t(id >> 16);
                const uint32_t cls = PciConfigRead32(f.bus, f.device, f.function, 0x08);
                f.progIf = uint8_t(cls >> 8);
                f.subclass = uint8_t(cls >> 16);
                f.classCode = uint8_t(cls >> 24);
                f.headerType = uint8_t(PciConfigRead32(f.bus, f.device, f.function, 0x0C) >> 16);
                for (int b = 0; b < 6; ++b)
                    f.bars[b] = PciConfigRead32(f.bus, f.device, f.function, uint8_t(0x10 + 4 * b));
                out.push_back(f);
                if (fn == 0 && !(f.headerType & 0x80))
                    break;
            }
        }
    }
    return out;
}

std::vector<SelectionRow> SelectionRows()
{
    std::vector<SelectionRow> rows;
    for (const ChannelRow& r : ScanPci())
        rows.push_back({r.name.toStdString(), r.basePort.toStdString(), r.controlPort.toStdString(),
                        r.pci ? r.pci->Text().toStdString() : std::string()});
    return rows;
}

}  // namespace guest
