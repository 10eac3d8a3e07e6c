// The running part of every effect, on the ticks of a row other than 0.
#pragma once
#include <cstdint>

#include "sequencer/channel.h"
#include "sequencer/lookup.h"
#include "song/song.h"

namespace lumbo {

// Runs the volume column's commands that repeat on later ticks.
void RunVolumeColumn(Channel* channel, uint8_t volumeCommand);
// Runs the cell's effect for the song's current tick.
void RunTickEffect(Song* song, Channel* channel, const Cell& cell, const InstrumentAndSample& found);

}  // namespace lumbo
