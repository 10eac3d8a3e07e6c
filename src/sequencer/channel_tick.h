// Steps every channel takes on every tick, row start or not: the two
// envelopes and the fadeout of a released note.
#pragma once

#include "sequencer/channel.h"

namespace lumbo {

// Steps the volume envelope when the instrument has it on and it is not done.
void StepVolumeEnvelope(Channel* channel, const Instrument* instrument);
// The same for the panning envelope.
void StepPanningEnvelope(Channel* channel, const Instrument* instrument);
// Lowers fadeoutVolume by the instrument's fadeout (not below 0) while the
// note is released.
void StepFadeout(Channel* channel, const Instrument* instrument);

}  // namespace lumbo
