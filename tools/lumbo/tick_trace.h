// One line per tick of the song's state, for diffing two renders (or a
// render and a hand calculation) down to the first tick where they part:
//
//   T<n> f=<frame> o=<order> r=<row> t=<tick> spt=<samplesPerTick> gv=<globalVolume>
//     then " | C<i> p= po= v= ve= fo= pan= uf=<2 hex digits> vi=" per channel
//     then " | V<slot> pos=<pos>.<8 hex> d= st=<step>.<8 hex> tl= tr=" per sounding voice 0..63
//
// all on one line. f is the first output frame mixed after the tick; o, r and
// t are where the tick's processing worked; channels and voices are shown as
// the tick left them, before its frames are mixed.
#pragma once
#include <cstdint>
#include <cstdio>

#include "sequencer/player.h"

namespace lumbo_tool {

// Wraps the player's tick handler (set by the render's reset) so that each
// tick that makes a frame of [firstFrame, frameLimit) writes its line to out.
// It counts ticks and frames from the stream's start: start it before any
// seek (a seek runs its ticks through the handler too).
void StartTickTrace(lumbo::Player& player, FILE* out, int64_t firstFrame, int64_t frameLimit);

}  // namespace lumbo_tool
