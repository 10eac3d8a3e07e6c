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
// The next row start goes to row `row` of order position `order`, whatever
// the row being played says (its jump, break or pattern loop); it finishes
// first. Every pattern loop in progress ends (its start row stays), so it
// cannot carry on where the song lands.
void JumpTo(Player& player, int32_t order, int32_t row);

// Makes `to` play on exactly as `from` would: every channel, voice and
// memory, bound to to's own voices. to keeps its song record (copy the
// record's contents separately when the song's position should follow).
void CopyPlayer(Player& to, const Player& from);

}  // namespace lumbo
