// Where a render without a device stands in the blocks it renders.
#pragma once
#include <cstdint>

namespace lumbo {

struct OfflineRender {
    bool     active;           // between BeginOfflineRender and EndOfflineRender
    int32_t  blockStart;       // ring frame of the block rendered last
    int32_t  framesUnread;     // frames of that block not yet handed out
    uint64_t framesOut;        // frames handed out since the start
};

}  // namespace lumbo
