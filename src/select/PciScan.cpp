#include "select/PciScan.h"

#include "common/Format.h"
#include "hw/PortIo.h"
#include "select/PciTables.h"

uint8_t PciConfig[256];

namespace {
constexpr uint16_t kConfigAddress = 0xCF8;
constexpr uint16_t kConfigData = 0xCFC;

uint32_t Dword(const uint8_t* c, int offset)
{
    return uint32_t(c[offset]) | (uint32_t(c[offset + 1]) << 8) | (uint32_t(c[offset + 2]) << 16) |
           (uint32_t(c[offset + 3]) << 24);
}

uint16_t Word(const uint8_t* c, int offset) { return uint16_t(c[offset] | (c[offset + 1] << 8)); }
}  // namespace

QString PciAddress::Text() const
{
    return QStringLiteral("0000:%1:%2.%3")
        .arg(bus, 2, 16, QLatin1Char('0'))
        .arg(device, 2, 16, QLatin1Char('0'))
        .arg(function, 1, 16);
}

uint8_t ReadPciConfigByte(uint8_t bus, uint8_t device, uint8_t function, uint8_t offset)
{
    const uint32_t address = 0x80000000u | (uint32_t(bus) << 16) | (uint32_t(device & 0x1F) << 11) |
                             (uint32_t(function & 0x07) << 8) | (offset & 0xFCu);
    PortBackend& ports = Ports();
    ports.Out32(kConfigAddress, address);
    const uint32_t data = ports.In32(kConfigData);
    ports.Out32(kConfigAddress, 0);
    return uint8_t(data >> (8 * (offset & 3)));
}

std::array<uint32_t, 6> ReadIoBars(const uint8_t* config)
{
    std::array<uint32_t, 6> bars{};
    for (int i = 0; i < 6; ++i) {
        const uint32_t v = Dword(config, 0x10 + 4 * i);
        bars[i] = (v != 0 && (v & 1)) ? (v & ~3u) : 0;
    }
    return bars;
}

void AddController(const uint8_t* config, const PciAddress& where, std::vector<ChannelRow>& rows)
{
    if (config[0x0B] != 0x01)
        return;
    const std::array<uint32_t, 6> bar = ReadIoBars(config);
    const QString n = ControllerName(Word(config, 0), Word(config, 2));
    const uint8_t progIf = config[0x09];
    auto add = [&](const QString& name, uint32_t base, uint32_t control) {
        rows.push_back({name, HexText(base, 4), HexText(control, 4), where});
    };
    if (config[0x0A] == 0x01) {
        const QString prefix = QStringLiteral("OnBoard ") + n;
        if (progIf & 0x01)
            add(prefix + QStringLiteral("Primary Channel"), bar[0], bar[1]);
        else
            add(prefix + QStringLiteral("Primary Channel"), 0x1F0, 0x3F6);
        if (progIf & 0x04)
            add(prefix + QStringLiteral("Secondary Channel"), bar[2], bar[3]);
        else
            add(prefix + QStringLiteral("Secondary Channel"), 0x170, 0x376);
    } else {
        add(n + QStringLiteral("Primary Channel"), bar[0], bar[1]);
        add(n + QStringLiteral("Secondary Channel"), bar[2], bar[3]);
    }
}

std::vector<ChannelRow> ScanPci()
{
    std::vector<ChannelRow> rows;
    for (int bus = 0; bus < 256; ++bus) {
        for (int dev = 0; dev < 32; ++dev) {
            for (int fn = 0; fn < 8; ++fn) {
                bool present = true;
                for (int off = 0; off < 256; ++off) {
                    PciConfig[off] = ReadPciConfigByte(uint8_t(bus), uint8_t(dev), uint8_t(fn), uint8_t(off));
                    if (off == 1 && PciConfig[0] == 0xFF && PciConfig[1] == 0xFF) {
                        present = false;
                        break;
                    }
                }
                if (present)
                    AddController(PciConfig, {uint8_t(bus), uint8_t(dev), uint8_t(fn)}, rows);
                if (fn == 0 && (!present || !(PciConfig[0x0E] & 0x80)))
                    break;
            }
        }
    }
    return rows;
}
