#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// Decimal digits of Value in groups of three from the right, joined by "`".
// Callers pass Value >= 0.
QString FormatThousands(int64_t Value);

// Later - Earlier (date-times in days) as hours:minutes:seconds; hours are
// not limited to two digits.
QString FormatElapsed(double Later, double Earlier);

// h:mm:ss of a number of seconds, every field at least two digits
// ("123:04:05").  Negative input is clamped to 0.
QString FormatHoursMinSec(int64_t seconds);

// Round to the nearest integer; an exact half goes to the even neighbour.
int64_t RoundHalfEven(double value);

// "%4.1f MB/c" with the user's decimal separator, leading blanks removed.
QString FormatSpeed(double mbPerSecond);

// Text from an identify block: the bytes as they stand, with characters of
// code 0x20 and below removed at both ends.  Bytes are taken as Latin-1.
QString TrimIdentifyText(const QByteArray& raw);
QString TrimIdentifyText(const uint8_t* bytes, int length);

// Trim of characters up to 0x20 at both ends of a QString (the classic Trim).
QString TrimControl(const QString& s);

// Upper-case hexadecimal with at least `digits` digits ("01F0").
QString HexText(uint64_t value, int digits = 4);

// Parse hexadecimal text the way the port columns are read ("$" + text):
// optional blanks around, at least one hex digit, nothing else.
// Returns false for anything else (empty text included).
bool ParseHexText(const QString& text, uint32_t& value);
