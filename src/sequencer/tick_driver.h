// The sequencer's clock.
#pragma once

#include "sequencer/player.h"

namespace lumbo {

// Puts the player's song at order 0, row 0, tick 0 with its default speed and
// tempo, and makes TickDriver its tick handler.
void ResetSongState(Player& player);
// Zeroes the first channelCount channels (at most the 32 there are) and binds
// channel i to voice i. The others keep what they hold.
void ResetChannels(Player& player);
// One tick: the row on tick 0, running effects otherwise; then the position moves.
void TickDriver(Player& player);

}  // namespace lumbo
