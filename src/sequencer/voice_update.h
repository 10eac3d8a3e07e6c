// Hands a channel's state to its mixer voice.
#pragma once

#include "sequencer/player.h"

namespace lumbo {

// Acts on the channel's update bits in the order trigger, volume, panning,
// pitch, rewind. A trigger on a sounding voice moves the channel to the
// partner slot and lets the old voice ramp down. A period + periodOffset of 0
// drops the pitch update (and clears UpdatePitch); frequencies below 100 Hz
// step at 100 Hz. A rewind also turns the voice forward.
// A muted channel's voice gets gain targets of 0, so the mixer ramps it to
// silence; everything else runs on.
void UpdateVoice(Player& player, Channel* channel, const Sample* sample);

// Mutes the channels whose bits are set in mutes and brings back the others:
// a channel muted or brought back now takes its targets at once (the mixer
// ramps to them), and keeps them at every later update. The voice a channel
// handed over to fade out has targets of 0 already.
void SetMutedChannels(Player& player, uint32_t mutes);

}  // namespace lumbo
