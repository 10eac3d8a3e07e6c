// The tick-0 part of every effect, as ProcessRow performs it.
#pragma once
#include <cstdint>

#include "sequencer/channel.h"
#include "sequencer/lookup.h"
#include "sequencer/player.h"
#include "song/song.h"

namespace lumbo {

// A channel's volume, period and panning before its row touched them; a
// note delay (EDx) puts them back.
struct HeldValues {
    int32_t volume;
    int32_t period;
    int32_t panning;
};

// What the effects of one row share across its channels.
struct RowFlow {
    bool jumpSeen;             // a position jump (Bxx) came before in channel order
};

// Performs the tick-0 action of the cell's effect on the channel.
void ApplyRowEffect(Player& player, Channel* channel, const Cell& cell, const InstrumentAndSample& found,
                    const HeldValues& held, RowFlow* flow);

}  // namespace lumbo
