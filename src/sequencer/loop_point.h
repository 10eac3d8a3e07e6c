// Where a song loops: the first row start that lands on a position already
// played, found by running the song's ticks as playback does, without mixing.
#pragma once
#include <cstdint>

#include "sequencer/player.h"

namespace lumbo {

struct LoopPoint {
    bool    found;
    int64_t rows;              // rows played before the song comes back
    int64_t endFrame;          // frames from the start until it comes back
    int32_t order;             // the position it comes back to
    int32_t row;
    int64_t loopFrame;         // when that position was first played
};

// Runs the player's song from its start until a position repeats, or for at
// most 2^20 row starts or 2^23 ticks (then found is false). The player needs
// its song and its mixer's sampleRate; its song state, channels and voices
// are reset and used. False when memory is short.
bool FindLoopPoint(Player& player, LoopPoint* loop);

// The frame at which the song, run from its start as FindLoopPoint runs it,
// first starts row `row` of order position `order`. False when it comes back
// (or the search gives up) before it gets there, or memory is short.
bool FindRowStart(Player& player, int32_t order, int32_t row, int64_t* frame);

// The frame at which a stream of the song from its start ends with endAfter
// (see EnterTick), when that is before `limit`; INT64_MAX when it does not
// end before. False when memory is short.
bool FindStreamEnd(Player& player, int32_t endAfter, int64_t limit, int64_t* end);

// A player of its own over a copy of a song's record, for runs beside one
// that plays it: the loaded data is shared and only read. Null when memory is
// short; release with Release.
struct SidePlayer {
    Player player;
    Song   song;
};
SidePlayer* NewSidePlayer(const Song* song, int32_t rate);

}  // namespace lumbo
