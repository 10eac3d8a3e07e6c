// Ticks other than 0: the running effects.
#pragma once

#include "song/song.h"

namespace lumbo {

void ProcessTick(Song* song);

}  // namespace lumbo
