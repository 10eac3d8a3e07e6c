#include "platform/memory.h"

#include <cstdlib>

namespace lumbo {

void* AllocateZeroed(size_t bytes) { return calloc(1, bytes ? bytes : 1); }

void Release(void* block) { free(block); }

}  // namespace lumbo
