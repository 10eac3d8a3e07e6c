// The record behind the public lumbo_player, for the library's own tools.
#pragma once

#include "lumbo.h"
#include "output/stream.h"

struct lumbo_player {
    lumbo::Stream stream;      // owns its song from load to free
    lumbo_info    header;      // the title and pattern count the file gave
};

namespace lumbo {

// A player at rate Hz for a song already loaded, which it then owns; null
// (the song released) when memory is short or the rate unusable.
lumbo_player* NewHostPlayer(Song* song, int32_t rate);

}  // namespace lumbo
