// Reading an XM file out of a module image, clamped to the image's end.
#pragma once
#include <cstdint>

#include "song/loader.h"

namespace lumbo {

// Stands for the open reader during one parse; reads and seeks do nothing without it.
struct ReaderHandle {
    uint32_t length;           // the image length recorded at open
    uint32_t missingBytes;     // bytes asked for past the end (a truncated file)
};

constexpr int SeekSet = 0;
constexpr int SeekCurrent = 1;
constexpr int SeekEnd = 2;

extern ImageReader imageReader;

// Copies up to count bytes to destination and advances the position; bytes
// past the image's end are not copied and the destination keeps them.
void ReadImage(void* destination, uint32_t count, ReaderHandle* handle);
// Moves the position (SeekSet, SeekCurrent, SeekEnd); never past the end.
void SeekImage(const ReaderHandle* handle, int32_t offset, int mode);

}  // namespace lumbo
