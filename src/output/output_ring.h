// The looping output buffer: block and ring geometry, the PCM ring, its float
// mirror, the write position and the playing song.
#pragma once
#include <cstdint>

#include "mixer/voice.h"
#include "song/song.h"

namespace lumbo {

struct OutputRing {
    int32_t   blockFrames;     // frames per block, a multiple of 4; 884 at 44100 Hz
    int32_t   ringFrames;      // whole blocks; 88400 at 44100 Hz
    int16_t*  ringSamples;     // ringFrames stereo frames, left then right
    void*     mixAllocation;   // the float buffer's memory as obtained
    MixFrame* mixBuffer;       // mixAllocation raised to 16 bytes; ringFrames frames
    int32_t   writeBlock;      // next block to render
    Song*     playingSong;     // null when nothing plays
};

extern OutputRing outputRing;

}  // namespace lumbo
