// What lumbo_module_info and lumbo_player_info tell about a song.
#pragma once
#include <cstddef>
#include <cstdint>

#include "lumbo.h"
#include "sequencer/player.h"
#include "song/song.h"

namespace lumbo {

// The facts only the file holds: its title and the pattern count its header
// gives. The rest of *out is left as it is.
void ReadHeaderFacts(const uint8_t* data, size_t size, lumbo_info* out);

// The facts of the song at rate Hz: header fields and where it loops, found
// by running its ticks from the start on a player of its own with a copy of
// the song's live fields, so nothing playing the song is disturbed. The
// title and pattern count stay as they are. False when memory is short.
bool DescribeSong(const Song* song, int32_t rate, lumbo_info* out);

}  // namespace lumbo
