// Tick 0 of a row: notes, instruments, the volume column and tick-0 effects.
#pragma once
#include <cstdint>

#include "sequencer/channel.h"
#include "song/song.h"

namespace lumbo {

// The row ProcessRow worked on (the song's row when it began); the later
// ticks of the same row read it too, even after a pattern loop rewrote row.
extern int32_t currentRow;

void ProcessRow(Song* song);
void ApplyVolumeColumn(Channel* channel, uint8_t volumeCommand);
// Records tempo and sets samplesPerTick from it and sampleRate (at least 1).
void SetTempo(Song* song, int32_t tempo);

}  // namespace lumbo
