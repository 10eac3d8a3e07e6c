// Where a song loops: the first row start that lands on a position already
// played, found by running the song's ticks as playback does, without mixing.
#pragma once
#include <cstdint>

#include "song/song.h"

namespace lumbo_tool {

struct LoopPoint {
    bool    found;
    int64_t rows;              // rows played before the song comes back
    int64_t endFrame;          // frames from the start until it comes back
    int32_t order;             // the position it comes back to
    int32_t row;
    int64_t loopFrame;         // when that position was first played
};

// Runs a freshly loaded song from its start until a position repeats, or for
// at most 2^20 rows or 2^23 ticks (then found is false). Uses the engine's
// records, like an offline render, and leaves traces in the song (effect
// memories, finetunes). False when those records could not be set up.
bool FindLoopPoint(lumbo::Song* song, LoopPoint* loop);

}  // namespace lumbo_tool
