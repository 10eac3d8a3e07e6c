// The looping output buffer of one player: block and ring geometry, the PCM
// ring, its float mirror and the write position.
#pragma once
#include <cstdint>

#include "mixer/voice.h"

namespace lumbo {

constexpr int32_t kBlocksInRing = 100;   // two seconds of 20 ms blocks

struct OutputRing {
    int32_t   blockFrames;     // frames per block, a multiple of 4; 884 at 44100 Hz
    int32_t   ringFrames;      // kBlocksInRing blocks; 88400 at 44100 Hz
    int16_t*  ringSamples;     // ringFrames stereo frames, left then right
    void*     mixAllocation;   // the float buffer's memory as obtained
    MixFrame* mixBuffer;       // mixAllocation raised to 16 bytes; ringFrames frames
    int32_t   writeBlock;      // next block to render
    int32_t   blockFilled;     // its frames rendered already: 0, unless a song that ended inside it
};

}  // namespace lumbo
