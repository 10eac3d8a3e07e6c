#include <cfenv>

#include "platform/float_env.h"

namespace lumbo {

void ResetFloatingPoint() { fesetenv(FE_DFL_ENV); }

}  // namespace lumbo
