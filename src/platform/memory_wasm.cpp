// The heap of the WebAssembly build: one run of blocks from the end of the
// program's data to the top of what has been used, grown with memory.grow.
// Freed blocks join their free neighbours, and a free block at the top gives
// its bytes back to the run, so a program that loads and frees modules over
// and over stays within the memory its largest moment needed. First fit:
// the engine holds a few hundred blocks at most.
#include "platform/memory.h"

#include <cstdint>

extern "C" unsigned char __heap_base;   // where the linker's data and stack end

namespace lumbo {
namespace {

// Every block starts with a header and is a multiple of 16 bytes, so every
// payload is 16-byte aligned, as malloc's must be.
struct Block {
    uint32_t size;             // bytes of the block, header included; bit 0: in use
    uint32_t previousSize;     // bytes of the block before it; 0 for the first
    uint32_t unused[2];        // keeps the payload 16-byte aligned
};

constexpr uint32_t kHeader = sizeof(Block);
constexpr uint32_t kInUse = 1;
constexpr uint32_t kPage = 65536;
constexpr uint32_t kLargest = 0x7FFF0000;   // larger requests fail at once

struct Heap {
    uintptr_t first;           // the first block; 0 until the first request
    uintptr_t top;             // end of the last block, where the run grows
    uint32_t lastSize;         // size of the block ending at top; 0 when none
};

Heap heap;

Block* At(uintptr_t address) { return reinterpret_cast<Block*>(address); }
uint32_t SizeOf(const Block* b) { return b->size & ~kInUse; }
uintptr_t AddressOf(const Block* b) { return reinterpret_cast<uintptr_t>(b); }

// Makes [top, top + bytes) part of the memory, growing it by whole pages.
bool Reserve(uint32_t bytes) {
    const uint64_t end = uint64_t(heap.top) + bytes;
    const uint64_t have = uint64_t(__builtin_wasm_memory_size(0)) * kPage;
    if (end <= have) return true;
    const uint64_t pages = (end - have + kPage - 1) / kPage;
    return pages < 65536 && __builtin_wasm_memory_grow(0, size_t(pages)) != size_t(-1);
}

// Tells the block after b (if any) how large b is now.
void LinkNext(Block* b) {
    const uintptr_t next = AddressOf(b) + SizeOf(b);
    if (next < heap.top) {
        At(next)->previousSize = SizeOf(b);
    } else {
        heap.lastSize = SizeOf(b);
    }
}

// Takes the first free block of at least size bytes, splitting off the rest.
Block* TakeFree(uint32_t size) {
    for (uintptr_t a = heap.first; a < heap.top; a += SizeOf(At(a))) {
        Block* b = At(a);
        if (b->size & kInUse || b->size < size) continue;
        const uint32_t rest = b->size - size;
        if (rest >= 2 * kHeader) {
            b->size = size;
            Block* tail = At(a + size);
            tail->size = rest;
            tail->previousSize = size;
            LinkNext(tail);
        }
        b->size |= kInUse;
        return b;
    }
    return nullptr;
}

// A new block at the top of the run.
Block* TakeTop(uint32_t size) {
    if (!Reserve(size)) return nullptr;
    Block* b = At(heap.top);
    b->size = size | kInUse;
    b->previousSize = heap.lastSize;
    heap.top += size;
    heap.lastSize = size;
    return b;
}

void* Allocate(size_t bytes) {
    if (bytes > kLargest) return nullptr;
    if (!heap.first) heap.first = heap.top = (reinterpret_cast<uintptr_t>(&__heap_base) + 15) & ~uintptr_t(15);
    const uint32_t size = (uint32_t(bytes) + kHeader + 15) & ~15u;
    Block* b = TakeFree(size);
    if (!b) b = TakeTop(size);
    return b ? b + 1 : nullptr;
}

void Free(void* payload) {
    if (!payload) return;
    Block* b = static_cast<Block*>(payload) - 1;
    b->size &= ~kInUse;
    const uintptr_t next = AddressOf(b) + b->size;
    if (next < heap.top && !(At(next)->size & kInUse)) b->size += At(next)->size;
    if (b->previousSize) {
        Block* previous = At(AddressOf(b) - b->previousSize);
        if (!(previous->size & kInUse)) {
            previous->size += b->size;
            b = previous;
        }
    }
    if (AddressOf(b) + b->size == heap.top) {   // the top of the run: give it back
        heap.top = AddressOf(b);
        heap.lastSize = b->previousSize;
    } else {
        LinkNext(b);
    }
}

}  // namespace

void* AllocateZeroed(size_t bytes) {
    void* block = Allocate(bytes);
    if (block) __builtin_memset(block, 0, bytes);
    return block;
}

void Release(void* block) { Free(block); }

}  // namespace lumbo

// For the host's side of the module (the bytes of a module to load, the
// buffers the functions fill): the same heap.
extern "C" void* malloc(size_t bytes) { return lumbo::Allocate(bytes); }
extern "C" void free(void* block) { lumbo::Free(block); }
