#pragma once
// The rules of the destructive operations (drive erase, soft-bad creation):
// block sizes, the filler field, random targets and the remaining-time box.
// No widgets here.
#include <QChar>
#include <QString>
#include <cstdint>
#include <optional>

class QRandomGenerator;

namespace ata {
struct IdentifyBlock;
}

namespace ops {

// What a pass knows of the drive from its own identify.
struct PassDrive {
    QString model;       // words 27-46, trimmed
    bool lba48 = false;  // word 83 bit 10; `lba48` kept when word 83 does not say
    int64_t lastLba = 0; // the highest LBA the range fields offer (0 for an empty drive)
};
// The erase offers the 48-bit capacity (words 100-103) in 48-bit mode,
// words 60-61 otherwise; soft-bad creation always words 60-61.
PassDrive EraseDrive(const ata::IdentifyBlock& id, bool lba48);
PassDrive SoftBadDrive(const ata::IdentifyBlock& id, bool lba48);

// ---- drive erase ----------------------------------------------------------------
// Sectors per command: the dialog's "256 секторов" or "1 сектору".
constexpr int kBlockSectors = 256;
// Sectors of the next command from `current` before `end`: a whole block,
// or what is left when fewer remain; 1 in one-sector mode.
int64_t EraseCount(int64_t current, int64_t end, int sectorsPerCommand);

// The filler field: hexadecimal, one or two digits.  Empty (or anything
// else) gives nothing.
std::optional<uint8_t> ParseFiller(const QString& text);
// Keys the filler field takes: backspace and hexadecimal digits.
bool FillerKeyAllowed(QChar c);
// "Случайно": a random filler of 00 to FE as two upper-case digits (never
// "FF").
QString RandomFillerText(QRandomGenerator& random);
// Said when the filler field is empty at OK.
extern const char* const kFillerMissing;

// ---- soft-bad creation -------------------------------------------------------------
// A random target of [start, end): start + a random number below end - start;
// with start = end always start.
int64_t RandomTarget(int64_t start, int64_t end, QRandomGenerator& random);

// The three-line refusal for a drive in 48-bit mode.
QString Lba48Refusal();

// ---- both ---------------------------------------------------------------------------
// The remaining-time box: " - - - - - - - " before anything is done,
// otherwise a space and hh:mm:ss (at least two digits each).
QString RemainingTimeText(std::optional<int64_t> seconds);

// The last failed command was not sent because the system uses the drive
// (a mounted pass-through disk): every further one would be refused alike.
bool RefusedAsInUse();

}  // namespace ops
