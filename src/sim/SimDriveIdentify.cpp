// The simulated drive's IDENTIFY DEVICE data and its SMART commands.
#include "sim/SimDrive.h"

#include "hw/AtaDefs.h"

#include <algorithm>

namespace sim {

using namespace ata;

namespace {

constexpr double kNonMediaMs = 0.05;

void PutText(std::vector<uint8_t>& id, TextField f, const std::string& text)
{
    // ATA strings: blank padded, two characters a word, the first in the
    // high byte.
    for (int i = 0; i < f.words * 2; ++i) {
        const char c = i < int(text.size()) ? text[i] : ' ';
        const int word = f.firstWord + i / 2;
        id[2 * word + ((i % 2) ? 0 : 1)] = uint8_t(c);
    }
}

void PutWord(std::vector<uint8_t>& id, int word, uint16_t v)
{
    id[2 * word] = uint8_t(v);
    id[2 * word + 1] = uint8_t(v >> 8);
}

}  // namespace

std::vector<uint8_t> Drive::IdentifyData() const
{
    std::vector<uint8_t> id(kSectorSize, 0);
    const uint64_t cap = m_currentMax + 1;
    const bool smartOk = m_spec.smart != SmartMode::Unsupported;
    const bool sec = m_spec.security.supported;
    PutWord(id, 0, 0x0040);
    const uint64_t chsSectors = std::min<uint64_t>(cap, 16383ULL * 16 * 63);
    PutWord(id, 1, uint16_t(std::min<uint64_t>(chsSectors / (16 * 63), 16383)));
    PutWord(id, 3, 16);
    PutWord(id, 6, 63);
    PutWord(id, 22, uint16_t(m_spec.eccBytesReported >= 0 ? m_spec.eccBytesReported : m_spec.eccBytes));
    PutText(id, kSerialField, m_spec.serial);
    PutText(id, kFirmwareField, m_spec.firmware);
    PutText(id, kModelField, m_spec.model);
    PutWord(id, 47, 0x8010);
    PutWord(id, 49, 0x0300);
    PutWord(id, 50, 0x4000);
    PutWord(id, 53, 0x0007);
    PutWord(id, 54, uint16_t(std::min<uint64_t>(chsSectors / (16 * 63), 16383)));
    PutWord(id, 55, 16);
    PutWord(id, 56, 63);
    PutWord(id, 59, 0x0110);
    const uint32_t cap28 = uint32_t(std::min<uint64_t>(cap, 0x0FFFFFFF));
    PutWord(id, 60, uint16_t(cap28));
    PutWord(id, 61, uint16_t(cap28 >> 16));
    PutWord(id, 63, 0x0407);
    PutWord(id, 64, 0x0003);
    for (int w = 65; w <= 68; ++w)
        PutWord(id, w, 120);
    uint16_t major = 0;
    for (int v = 1; v <= std::clamp(m_spec.ataMajor, 0, 14); ++v)
        major |= uint16_t(1u << v);
    PutWord(id, 80, major);
    PutWord(id, 81, 0x001D);
    const uint16_t w82 = uint16_t(0x4000 | 0x3000 | 0x0060 | 0x0008 | (smartOk ? 0x0001 : 0) |
                                  (sec ? 0x0002 : 0) | (m_spec.hpaSupported ? 0x0400 : 0));
    const uint16_t w83 = uint16_t(0x4000 | 0x1000 | (m_spec.lba48 ? 0x2400 : 0) |
                                  (m_spec.aamSupported ? 0x0200 : 0) | (m_spec.apmSupported ? 0x0008 : 0));
    PutWord(id, 82, w82);
    PutWord(id, 83, w83);
    PutWord(id, 84, uint16_t(0x4000 | (smartOk ? 0x0003 : 0)));
    const uint16_t w85 = uint16_t(0x4000 | 0x3000 | 0x0060 | 0x0008 |
                                  (smartOk && m_state.smartEnabled ? 0x0001 : 0) |
                                  (m_state.securityEnabled ? 0x0002 : 0) |
                                  (m_spec.hpaSupported ? 0x0400 : 0));
    PutWord(id, 85, w85);
    PutWord(id, 86, uint16_t(0x1000 | (m_spec.lba48 ? 0x2400 : 0) | (m_spec.aamSupported ? 0x0200 : 0) |
                             (m_spec.apmSupported ? 0x0008 : 0)));
    PutWord(id, 87, uint16_t(0x4000 | (smartOk ? 0x0003 : 0)));
    PutWord(id, 88, m_spec.udma);
    PutWord(id, 89, sec ? m_spec.eraseWord : 0);
    PutWord(id, 90, sec && m_spec.security.enhancedErase ? m_spec.enhancedEraseWord : 0);
    PutWord(id, 93, 0x600B);
    PutWord(id, 94, uint16_t(m_spec.aamSupported ? (0x8000 | m_spec.aamValue) : 0));
    if (m_spec.lba48) {
        PutWord(id, 100, uint16_t(cap));
        PutWord(id, 101, uint16_t(cap >> 16));
        PutWord(id, 102, uint16_t(cap >> 32));
        PutWord(id, 103, uint16_t(cap >> 48));
    }
    if (sec) {
        uint16_t w128 = 0x0001;
        if (m_state.securityEnabled) w128 |= 0x0002;
        if (m_locked) w128 |= 0x0004;
        if (m_frozen) w128 |= 0x0008;
        if (m_expired) w128 |= 0x0010;
        if (m_spec.security.enhancedErase) w128 |= 0x0020;
        if (m_state.levelMax) w128 |= 0x0100;
        PutWord(id, 128, w128);
    }
    // Integrity word: signature A5h and a checksum over the whole block.
    id[510] = 0xA5;
    uint8_t sum = 0;
    for (int i = 0; i < 511; ++i)
        sum = uint8_t(sum + id[i]);
    id[511] = uint8_t(0 - sum);
    return id;
}

void Drive::CmdIdentify()
{
    SendData(IdentifyData(), Ms(m_spec.identifyMs), 0);
}

std::vector<uint8_t> Drive::SmartData() const
{
    std::vector<uint8_t> out(kSectorSize, 0);
    auto* d = reinterpret_cast<ata::SmartData*>(out.data());
    d->revision = 0x0010;
    int n = 0;
    for (const SmartAttributeSpec& a : m_attributes) {
        if (n >= 30)
            break;
        SmartAttribute& e = d->attr[n++];
        e.id = a.id;
        e.flags[0] = uint8_t(a.flags);
        e.flags[1] = uint8_t(a.flags >> 8);
        e.value = a.value;
        e.worst = a.worst;
        uint64_t raw = a.raw;
        if (a.id == 194) {
            const int t = std::clamp(Temperature(), 0, 255);
            const uint64_t lo = uint64_t(std::max(0, int(m_spec.temperature) - 18));
            const uint64_t hi = uint64_t(int(m_spec.temperature) + 14);
            raw = uint64_t(t) | (lo << 16) | (hi << 32);
            e.value = uint8_t(std::clamp(100 - t, 1, 253));
        }
        for (int b = 0; b < 6; ++b)
            e.raw[b] = uint8_t(raw >> (8 * b));
    }
    d->offlineStatus = 0x82;
    d->offlineSeconds = 600;
    d->offlineCapability = 0x5B;
    d->smartCapability = 0x0003;
    d->errorLogging = 0x01;
    d->shortTestMinutes = 2;
    d->extendedTestMinutes = 60;
    SetChecksum(out.data());
    return out;
}

std::vector<uint8_t> Drive::SmartThresholds() const
{
    std::vector<uint8_t> out(kSectorSize, 0);
    auto* d = reinterpret_cast<ata::SmartThresholds*>(out.data());
    d->revision = 0x0010;
    int n = 0;
    for (const SmartAttributeSpec& a : m_attributes) {
        if (n >= 30)
            break;
        if (a.threshold < 0)
            continue;
        d->entry[n].id = a.id;
        d->entry[n].threshold = uint8_t(a.threshold);
        ++n;
    }
    SetChecksum(out.data());
    return out;
}

void Drive::CmdSmart()
{
    const double ms = Ms(kNonMediaMs);
    if (m_lbaMid[0] != kSmartKeyMid || m_lbaHigh[0] != kSmartKeyHigh) {
        AbortSoon();
        return;
    }
    switch (m_feature[0]) {
    case kSmartEnable:
    case kSmartDisable: {
        const bool on = m_feature[0] == kSmartEnable;
        // While SMART is off every SMART command but ENABLE is refused.
        if (!on && !m_state.smartEnabled) {
            AbortSoon();
            return;
        }
        Busy(ms, [this, on] {
            if (m_state.smartEnabled != on) {
                m_state.smartEnabled = on;
                StateChanged();
            }
            Done();
        });
        return;
    }
    case kSmartReadData:
    case kSmartReadThresholds:
        if (!m_state.smartEnabled) {
            AbortSoon();
            return;
        }
        SendData(m_feature[0] == kSmartReadData ? SmartData() : SmartThresholds(), Ms(1.0), 0);
        return;
    case kSmartReturnStatus:
        if (!m_state.smartEnabled) {
            AbortSoon();
            return;
        }
        Busy(ms, [this] {
            bool failing = false;
            for (const SmartAttributeSpec& a : m_attributes)
                failing |= a.threshold > 0 && a.value <= a.threshold;
            m_lbaMid[0] = failing ? 0xF4 : kSmartKeyMid;
            m_lbaHigh[0] = failing ? 0x2C : kSmartKeyHigh;
            Done();
        });
        return;
    default:
        AbortSoon();
        return;
    }
}

}  // namespace sim
