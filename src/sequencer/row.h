// Tick 0 of a row: notes, instruments, the volume column and tick-0 effects.
#pragma once
#include <cstdint>

#include "sequencer/channel.h"
#include "sequencer/player.h"

namespace lumbo {

// Records the row it works on as the player's currentRow.
void ProcessRow(Player& player);
void ApplyVolumeColumn(Channel* channel, uint8_t volumeCommand);
// Records tempo in the song and sets its samplesPerTick from the tempo and the
// player's output rate (at least 1).
void SetTempo(Player& player, int32_t tempo);

}  // namespace lumbo
