#pragma once
// Register layout, status bits, opcodes and the 512-byte data layouts of the
// ATA commands the program uses.  Shared by the command layer and the
// simulated drive, so both read the same structures.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ata {

// Offsets from the command block base.
enum CmdReg : uint16_t {
    kRegData = 0,
    kRegError = 1,  // read
    kRegFeature = 1,  // write
    kRegCount = 2,
    kRegLbaLow = 3,
    kRegLbaMid = 4,
    kRegLbaHigh = 5,
    kRegDevice = 6,
    kRegStatus = 7,   // read
    kRegCommand = 7,  // write
};

// Status register.
constexpr uint8_t kStBsy = 0x80;
constexpr uint8_t kStDrdy = 0x40;
constexpr uint8_t kStDf = 0x20;
constexpr uint8_t kStDsc = 0x10;
constexpr uint8_t kStDrq = 0x08;
constexpr uint8_t kStCorr = 0x04;
constexpr uint8_t kStIdx = 0x02;
constexpr uint8_t kStErr = 0x01;

// Error register.
constexpr uint8_t kErBbk = 0x80;
constexpr uint8_t kErUnc = 0x40;
constexpr uint8_t kErMc = 0x20;
constexpr uint8_t kErIdnf = 0x10;
constexpr uint8_t kErMcr = 0x08;
constexpr uint8_t kErAbrt = 0x04;
constexpr uint8_t kErTk0nf = 0x02;
constexpr uint8_t kErAmnf = 0x01;

// Device control register (write side of the alternate status port).
constexpr uint8_t kCtlHob = 0x80;
constexpr uint8_t kCtlSrst = 0x04;
constexpr uint8_t kCtlNien = 0x02;

// Device register.
constexpr uint8_t kDevLba = 0x40;
constexpr uint8_t kDevObsolete = 0xA0;
constexpr uint8_t kDevSlave = 0x10;

// Opcodes.
constexpr uint8_t kCmdReadSectors = 0x20;
constexpr uint8_t kCmdReadSectorsExt = 0x24;
constexpr uint8_t kCmdReadNativeMaxExt = 0x27;
constexpr uint8_t kCmdWriteSectors = 0x30;
constexpr uint8_t kCmdWriteLong = 0x32;
constexpr uint8_t kCmdWriteSectorsExt = 0x34;
constexpr uint8_t kCmdSetMaxExt = 0x37;
constexpr uint8_t kCmdVerify = 0x40;
constexpr uint8_t kCmdVerifyExt = 0x42;
constexpr uint8_t kCmdSeek = 0x70;
constexpr uint8_t kCmdSmart = 0xB0;
constexpr uint8_t kCmdIdentify = 0xEC;
constexpr uint8_t kCmdSecSetPassword = 0xF1;
constexpr uint8_t kCmdSecUnlock = 0xF2;
constexpr uint8_t kCmdSecErasePrepare = 0xF3;
constexpr uint8_t kCmdSecEraseUnit = 0xF4;
constexpr uint8_t kCmdSecFreezeLock = 0xF5;
constexpr uint8_t kCmdSecDisablePassword = 0xF6;
constexpr uint8_t kCmdReadNativeMax = 0xF8;
constexpr uint8_t kCmdSetMax = 0xF9;

// SMART sub-commands (features register) and the key in LBA mid/high.
constexpr uint8_t kSmartReadData = 0xD0;
constexpr uint8_t kSmartReadThresholds = 0xD1;
constexpr uint8_t kSmartEnable = 0xD8;
constexpr uint8_t kSmartDisable = 0xD9;
constexpr uint8_t kSmartReturnStatus = 0xDA;
constexpr uint8_t kSmartKeyMid = 0x4F;
constexpr uint8_t kSmartKeyHigh = 0xC2;

constexpr size_t kSectorSize = 512;
constexpr uint64_t kMaxLba28 = (1ULL << 28);
constexpr uint64_t kMaxLba48 = (1ULL << 48);

// The words whose text comes byte-swapped from the drive.
struct TextField {
    int firstWord;
    int words;
};
constexpr TextField kSerialField{10, 10};
constexpr TextField kFirmwareField{23, 4};
constexpr TextField kModelField{27, 20};

#pragma pack(push, 1)

// IDENTIFY DEVICE data: 256 little-endian words.
struct IdentifyBlock {
    uint16_t w[256];

    uint16_t Word(int n) const { return w[n]; }
    // Words 82-85 count only when neither 0x0000 nor 0xFFFF.
    static bool Valid(uint16_t word) { return word != 0x0000 && word != 0xFFFF; }
    bool Lba48() const { return Valid(w[83]) && (w[83] & 0x0400); }
    uint32_t Sectors28() const { return uint32_t(w[60]) | (uint32_t(w[61]) << 16); }
    uint64_t Sectors48() const
    {
        return uint64_t(w[100]) | (uint64_t(w[101]) << 16) | (uint64_t(w[102]) << 32) |
               (uint64_t(w[103]) << 48);
    }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(w); }
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(w); }
};
static_assert(sizeof(IdentifyBlock) == 512);

struct SmartAttribute {
    uint8_t id;
    uint8_t flags[2];
    uint8_t value;
    uint8_t worst;
    uint8_t raw[6];
    uint8_t reserved;
};
static_assert(sizeof(SmartAttribute) == 12);

struct SmartData {
    uint16_t revision;
    SmartAttribute attr[30];
    uint8_t offlineStatus;
    uint8_t selfTestStatus;
    uint16_t offlineSeconds;
    uint8_t vendor1;
    uint8_t offlineCapability;
    uint16_t smartCapability;
    uint8_t errorLogging;
    uint8_t vendor2;
    uint8_t shortTestMinutes;
    uint8_t extendedTestMinutes;
    uint8_t reserved[12];
    uint8_t vendor[125];
    uint8_t checksum;
};
static_assert(sizeof(SmartData) == 512);

struct SmartThreshold {
    uint8_t id;
    uint8_t threshold;
    uint8_t reserved[10];
};
static_assert(sizeof(SmartThreshold) == 12);

struct SmartThresholds {
    uint16_t revision;
    SmartThreshold entry[30];
    uint8_t reserved[149];
    uint8_t checksum;
};
static_assert(sizeof(SmartThresholds) == 512);

// Data block of the security commands F1, F2, F4 and F6.
struct SecurityBlock {
    uint16_t control;  // bit 0 identifier (1 master), bit 1 enhanced erase, bit 8 level (1 maximum)
    uint8_t password[32];
    uint16_t masterRevision;
    uint8_t reserved[476];
};
static_assert(sizeof(SecurityBlock) == 512);

#pragma pack(pop)

// Sets the checksum byte so that all 512 bytes add up to 0 modulo 256.
inline void SetChecksum(uint8_t* sector)
{
    uint8_t sum = 0;
    for (int i = 0; i < 511; ++i)
        sum = uint8_t(sum + sector[i]);
    sector[511] = uint8_t(0 - sum);
}

// Swaps the two bytes of every word of a text field in place.
inline void SwapTextField(uint8_t* block, TextField f)
{
    for (int i = 0; i < f.words; ++i) {
        uint8_t* p = block + 2 * (f.firstWord + i);
        const uint8_t t = p[0];
        p[0] = p[1];
        p[1] = t;
    }
}

}  // namespace ata
