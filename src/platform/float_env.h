// The calling thread's floating-point environment.
#pragma once
#include <cstdint>

namespace lumbo {

// The two control words a host may have set: the x87 unit's and the SSE
// unit's (MXCSR). Only what the library changes is kept.
struct FloatControl {
    uint32_t x87;              // x87 control word; 0 where there is no x87 state to keep
    uint32_t sse;              // MXCSR, including its sticky exception flags
};

// Restores the system's default: round to nearest with ties to even, no
// exception trapped, no flush to zero.
void ResetFloatingPoint();

// The library's own settings apply to the library's work only: each entry a
// host calls saves the host's words with this, sets the default, and puts
// them back with RestoreFloatingPoint before it returns.
FloatControl SaveFloatingPoint();
void RestoreFloatingPoint(const FloatControl& saved);

}  // namespace lumbo
