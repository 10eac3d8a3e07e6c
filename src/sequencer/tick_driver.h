// The sequencer's clock.
#pragma once

#include "song/song.h"

namespace lumbo {

// Puts the song at order 0, row 0, tick 0 with its default speed and tempo.
void ResetSongState(Song* song);
// One tick: the row on tick 0, running effects otherwise; then the position moves.
void TickDriver(Song* song);

}  // namespace lumbo
