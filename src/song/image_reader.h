// Reading an XM file out of a module image, clamped to the image's end.
#pragma once
#include <cstdint>

#include "song/loader.h"

namespace lumbo {

// The open reader during one parse; reads and seeks do nothing without it.
// Each parse has its own, so modules may load on several threads at once.
struct ReaderHandle {
    const uint8_t* data;       // first byte of the XM file
    uint32_t length;           // bytes in the file
    int32_t  position;         // next byte to read
    uint32_t missingBytes;     // bytes asked for past the end (a truncated file)
};

constexpr int SeekSet = 0;
constexpr int SeekCurrent = 1;
constexpr int SeekEnd = 2;

// Copies up to count bytes to destination and advances the position; bytes
// past the image's end are not copied and the destination keeps them.
void ReadImage(void* destination, uint32_t count, ReaderHandle* handle);
// Moves the position (SeekSet, SeekCurrent, SeekEnd); never past the end.
void SeekImage(ReaderHandle* handle, int32_t offset, int mode);

}  // namespace lumbo
