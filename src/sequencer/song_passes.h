// Where a song has been: the record of row starts that tells when it comes
// back to a position it has already played. A stream that repeats a given
// number of times ends at such a come-back, and the loop search looks for the
// first one.
#pragma once
#include <cstdint>

#include "sequencer/player.h"

namespace lumbo {

constexpr int32_t kTrackedRows = 256;                 // the most an XM pattern holds
constexpr int32_t kMaxPassRowStarts = 1 << 20;        // far beyond any song: 256 positions x 256 rows is 65536
constexpr int32_t kMaxPassTicks = 1 << 23;

// One pass is the stretch from the start (or a come-back, or a jump) to the
// next come-back. A pass followed for kMaxPassRowStarts row starts or
// kMaxPassTicks ticks without coming back is given up: the song then never
// comes back, until a jump or a restart begins a new pass.
struct PassRecord {
    uint8_t visited[kOrderTableSize * kTrackedRows / 8];  // (order, row) started in this pass
    int32_t rowStarts;         // row starts in this pass
    int32_t ticks;             // ticks in this pass
    int32_t comeBacks;         // come-backs since the stream began
};

// A new pass: nothing visited, nothing counted. The come-backs stay.
void StartPass(PassRecord& record);

// The row start the player's next tick makes: the pending position, or the
// current one. Only meaningful when the song's tick is 0.
void PendingRowStart(const Player& player, int32_t* order, int32_t* row);

// Accounts for the next tick of the player before it is processed. endAfter
// 0 never ends; n > 0 ends the stream at the n-th come-back: a row start at
// an (order, row) already started in this pass, outside a pattern loop (rows
// a pattern loop plays again do not count), in a pass not given up. False,
// with nothing changed, when this tick is that come-back: the stream ends
// where its row would start. At a come-back before it, a new pass begins with
// the come-back's row as its first visit. Without account nothing is changed
// at all: it only tells whether the stream ends at the next tick.
bool EnterTick(PassRecord& record, const Player& player, int32_t endAfter, bool account = true);

}  // namespace lumbo
