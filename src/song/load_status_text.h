// Words for a loader status, for tools (the library itself reports nothing).
#pragma once
#include <cstddef>

#include "song/loader.h"

namespace lumbo {

// Writes a one-line reason such as "instrument 3 has 17 samples; at most 16
// are supported" into buffer (always terminated) and returns buffer.
const char* DescribeLoadStatus(const LoadStatus& status, char* buffer, size_t size);

}  // namespace lumbo
