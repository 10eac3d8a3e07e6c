// The entry point the Windows loader calls. It does no work for any reason;
// returning 1 lets the load succeed. (Unused elsewhere.)
#include <cstdint>

#include "lumbo.h"

extern "C" int32_t LUMBO_CALL DllMain(void* /*instance*/, uint32_t /*reason*/, void* /*reserved*/) { return 1; }
