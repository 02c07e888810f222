#pragma once
// Crafted IDENTIFY DEVICE blocks for the decode tests.
#include <algorithm>
#include <cstring>
#include <string>

#include "hw/AtaDefs.h"

namespace testinfo {

class IdentifyBuilder {
public:
    // A plain healthy 48-bit drive: ATA/ATAPI-7, UDMA5 in use, SMART on,
    // security and HPA supported, AAM and APM supported, 1'000'000 sectors.
    IdentifyBuilder()
    {
        Text(ata::kModelField, "CRAFTED MODEL 100");
        Text(ata::kFirmwareField, "FW1");
        Text(ata::kSerialField, "SER42");
        Word(80, 0x00FE);
        Word(82, 0x7403);  // SMART, security, HPA
        Word(83, 0x7708);  // APM, SET MAX security, AAM, 48-bit
        Word(84, 0x4003);
        Word(85, 0x7401);
        Word(88, 0x203F);
        Word(89, 10);
        Word(90, 12);
        Word(94, 0x80FE);
        Word(128, 0x0021);
        Sectors(1000000);
    }

    IdentifyBuilder& Word(int n, uint16_t v)
    {
        b.w[n] = v;
        return *this;
    }
    // Text in reading order, padded with blanks, as IdentifyDevice hands it over.
    IdentifyBuilder& Text(ata::TextField f, const std::string& text)
    {
        uint8_t* p = b.Bytes() + 2 * f.firstWord;
        std::memset(p, ' ', 2 * f.words);
        std::memcpy(p, text.data(), std::min<size_t>(text.size(), 2 * f.words));
        return *this;
    }
    IdentifyBuilder& Bytes(ata::TextField f, const uint8_t* bytes)
    {
        std::memcpy(b.Bytes() + 2 * f.firstWord, bytes, 2 * f.words);
        return *this;
    }
    IdentifyBuilder& Sectors28(uint32_t n)
    {
        b.w[60] = uint16_t(n);
        b.w[61] = uint16_t(n >> 16);
        return *this;
    }
    IdentifyBuilder& Sectors48(uint64_t n)
    {
        for (int i = 0; i < 4; ++i)
            b.w[100 + i] = uint16_t(n >> (16 * i));
        return *this;
    }
    // Both counts the way a drive reports them (28-bit capped).
    IdentifyBuilder& Sectors(uint64_t n) { return Sectors48(n).Sectors28(uint32_t(std::min<uint64_t>(n, 0x0FFFFFFF))); }

    const ata::IdentifyBlock& Build() const { return b; }
    operator const ata::IdentifyBlock&() const { return b; }

private:
    ata::IdentifyBlock b{};
};

}  // namespace testinfo
