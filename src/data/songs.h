// The two songs the library carries, as module images in its initialised data
// (a 4-byte little-endian length, then the XM file). The build makes them from
// src/data/song1.xm and song2.xm, or from the files named by the cache options
// LUMBO_SONG1 and LUMBO_SONG2, after checking that the loader accepts them.
#pragma once
#include "song/loader.h"

namespace lumbo {

extern const ModuleImage* const firstSongImage;    // played by play
extern const ModuleImage* const secondSongImage;   // played by play2

}  // namespace lumbo
