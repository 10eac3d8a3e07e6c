#include "song/image_reader.h"

#include <cstring>

namespace lumbo {

void ReadImage(void* destination, uint32_t count, ReaderHandle* handle) {
    if (!handle) return;
    uint32_t position = uint32_t(handle->position);
    uint32_t n = count;
    // Compared in 64 bits so that a huge count cannot wrap past the end.
    if (uint64_t(position) + n >= handle->length) n = handle->length - position;
    uint32_t missing = count - n;
    handle->missingBytes = missing > ~handle->missingBytes ? ~0u : handle->missingBytes + missing;
    handle->position = int32_t(position + n);
    if (n) memcpy(destination, handle->data + position, n);
}

void SeekImage(ReaderHandle* handle, int32_t offset, int mode) {
    if (!handle) return;
    int64_t position = handle->position;
    if (mode == SeekSet) position = offset;
    else if (mode == SeekCurrent) position += offset;
    else if (mode == SeekEnd) position = int64_t(handle->length) + offset;
    // The parse rejects offsets that would go negative before it seeks; the
    // clamp to 0 only keeps the reader inside the image whatever happens.
    if (position < 0) position = 0;
    if (position > int64_t(handle->length)) position = handle->length;
    handle->position = int32_t(position);
}

}  // namespace lumbo
