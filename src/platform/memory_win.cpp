#include "platform/memory.h"

#include <windows.h>

namespace lumbo {

void* AllocateZeroed(size_t bytes) { return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes ? bytes : 1); }

void Release(void* block) {
    if (block) GlobalFree(block);
}

}  // namespace lumbo
