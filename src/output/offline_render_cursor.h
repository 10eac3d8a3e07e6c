// Where a render without a device stands in the blocks it renders.
#pragma once
#include <cstdint>

namespace lumbo {

struct OfflineRender {
    bool     active;           // between BeginOfflineRender and EndOfflineRender
    int32_t  block;            // the ring block frames are handed out from
    int32_t  handed;           // its frames handed out
    int32_t  rendered;         // its frames rendered: all, or those before the song ended
    uint64_t framesOut;        // frames handed out since the start
};

}  // namespace lumbo
