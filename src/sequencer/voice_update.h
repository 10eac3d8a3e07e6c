// Hands a channel's state to its mixer voice.
#pragma once

#include "sequencer/player.h"

namespace lumbo {

// Acts on the channel's update bits in the order trigger, volume, panning,
// pitch, rewind. A trigger on a sounding voice moves the channel to the
// partner slot and lets the old voice ramp down. A period + periodOffset of 0
// drops the pitch update (and clears UpdatePitch); frequencies below 100 Hz
// step at 100 Hz. A rewind also turns the voice forward.
void UpdateVoice(Player& player, Channel* channel, const Sample* sample);

}  // namespace lumbo
