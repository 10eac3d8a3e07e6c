// The record behind the public lumbo_player, for the library's own tools.
#pragma once

#include "lumbo.h"
#include "output/stream.h"

struct lumbo_player {
    lumbo::Stream stream;      // owns its song from load to free
};

namespace lumbo {

// A player for a song already loaded, which it then owns; null (the song
// released) when memory is short.
lumbo_player* NewHostPlayer(Song* song);

}  // namespace lumbo
