#include "song/image_reader.h"

#include <cstring>

namespace lumbo {

ImageReader imageReader;

void ReadImage(void* destination, uint32_t count, ReaderHandle* handle) {
    if (!handle) return;
    uint32_t position = uint32_t(imageReader.position);
    uint32_t n = count;
    // Compared in 64 bits so that a huge count cannot wrap past the end.
    if (uint64_t(position) + n >= imageReader.length) n = imageReader.length - position;
    uint32_t missing = count - n;
    handle->missingBytes = missing > ~handle->missingBytes ? ~0u : handle->missingBytes + missing;
    imageReader.position = int32_t(position + n);
    if (n) memcpy(destination, imageReader.data + position, n);
}

void SeekImage(const ReaderHandle* handle, int32_t offset, int mode) {
    if (!handle) return;
    int64_t position = imageReader.position;
    if (mode == SeekSet) position = offset;
    else if (mode == SeekCurrent) position += offset;
    else if (mode == SeekEnd) position = int64_t(imageReader.length) + offset;
    // The parse rejects offsets that would go negative before it seeks; the
    // clamp to 0 only keeps the reader inside the image whatever happens.
    if (position < 0) position = 0;
    if (position > int64_t(imageReader.length)) position = imageReader.length;
    imageReader.position = int32_t(position);
}

}  // namespace lumbo
