// The calling thread's floating-point environment.
#pragma once

namespace lumbo {

// Restores the system's default: round to nearest with ties to even, no
// exception trapped.
void ResetFloatingPoint();

}  // namespace lumbo
