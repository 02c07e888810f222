#pragma once
#include <QFont>

// A font whose characters all have one width, for texts laid out in columns
// (the identify report, the scan report).  The system's fixed font comes
// first; some report themselves as not fixed-pitch (Noto Sans Mono), so the
// usual monospaced families are tried after it.
QFont FixedPitchFont();
