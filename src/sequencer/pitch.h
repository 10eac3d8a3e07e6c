// Notes to periods and periods to frequencies.
#pragma once
#include <cstdint>

namespace lumbo {

// x to the power y through powers of two; x must be positive. Results past the
// double range are +infinity or 0.
double Power(double x, double y);

// Amiga period of a 0-based note (may exceed 95; 255 + 15 gives 0) with
// finetune -128..127.
int32_t NotePeriod(int32_t note, int32_t finetune);

// Frequency in Hz of period + periodOffset; linear or Amiga by the flag. A
// linear frequency keeps the low 32 bits of its 64-bit value (0 past that
// range). Callers do not pass a sum of 0; it would give 0.
int32_t PeriodToFrequency(int32_t period, int32_t periodOffset, bool linear);

}  // namespace lumbo
