// WebAssembly has one floating-point environment, fixed: round to nearest
// with ties to even, nothing trapped, no flush to zero. There is nothing to
// save or set.
#include "platform/float_env.h"

namespace lumbo {

void ResetFloatingPoint() {}

FloatControl SaveFloatingPoint() { return FloatControl{}; }

void RestoreFloatingPoint(const FloatControl&) {}

}  // namespace lumbo
