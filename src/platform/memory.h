// The engine's one source of memory: zero-filled blocks from the system heap.
#pragma once
#include <cstddef>

namespace lumbo {

// Returns bytes zero-filled bytes, or null when the system refuses.
void* AllocateZeroed(size_t bytes);
// Releases a block from AllocateZeroed; null is ignored.
void Release(void* block);

}  // namespace lumbo
