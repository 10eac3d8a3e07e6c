// The two songs the library ships with, composed in code.
#pragma once
#include "support/xm_writer.h"

namespace compose {

// Song 1: four channels, Amiga periods, 31 one-sample 8-bit instruments (9 in
// use), no envelopes, speed 6 tempo 125, 256 order entries padded with 255.
xm::Module FirstSong();

// Song 2: eight channels, linear periods, 16-bit samples with envelopes.
xm::Module SecondSong();

}  // namespace compose
