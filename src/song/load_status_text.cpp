#include "song/load_status_text.h"

#include <cinttypes>
#include <cstdio>

namespace lumbo {

const char* DescribeLoadStatus(const LoadStatus& s, char* buffer, size_t size) {
    if (!buffer || size == 0) return buffer;
    switch (s.error) {
        case LoadError::None: snprintf(buffer, size, "loaded"); break;
        case LoadError::EmptyImage: snprintf(buffer, size, "empty file"); break;
        case LoadError::BadSignature: snprintf(buffer, size, "not an XM module (bad signature)"); break;
        case LoadError::TooManyChannels:
            snprintf(buffer, size, "%" PRId64 " channels; at most 32 are supported", s.value);
            break;
        case LoadError::BadSongLength:
            snprintf(buffer, size, "song length %" PRId64 "; it must be 1 to 256", s.value);
            break;
        case LoadError::BadHeaderSize:
            snprintf(buffer, size, "header size %" PRId64 " points outside the file", s.value);
            break;
        case LoadError::TooManySamples:
            snprintf(buffer, size, "instrument %d has %" PRId64 " samples; at most 16 are supported",
                     int(s.index) + 1, s.value);
            break;
        case LoadError::TooLarge:
            snprintf(buffer, size, "truncated or corrupt: it asks for %" PRId64 " bytes, far more than its size can hold",
                     s.value);
            break;
        case LoadError::OutOfMemory: snprintf(buffer, size, "out of memory"); break;
    }
    return buffer;
}

}  // namespace lumbo
