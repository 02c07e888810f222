#pragma once
#include <cstdint>

// Millisecond tick of the steady clock, wrapping like a 32-bit counter.
uint32_t GetTickCount();

// Counts per second of the clock used for command timing.
int64_t CounterFrequency();

// Wall-clock date and time as days since 1899-12-30 (fraction = time of day),
// local time.  This is the date-time form FormatElapsed works on.
double NowDateTime();
