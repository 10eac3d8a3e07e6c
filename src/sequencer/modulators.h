// Per-tick modulators of a channel: auto-vibrato, vibrato, tremolo, tremor,
// tone portamento.
#pragma once

#include "sequencer/channel.h"

namespace lumbo {

// The instrument's automatic vibrato; adds to periodOffset, sets UpdatePitch.
// Vibrato types above 3 add nothing (the phase and sweep still advance).
void StepAutoVibrato(Channel* channel, const Instrument* instrument);
// Replaces periodOffset from the vibrato phase (the callers advance the phase).
void StepVibrato(Channel* channel);
// Replaces volumeOffset from the tremolo phase and advances the phase.
void StepTremolo(Channel* channel);
// Silences the tick in the off phase of the tremor cycle.
void StepTremor(Channel* channel);
// Moves period toward tonePortaTarget by 4 x tonePortaSpeed, never past it.
void StepTonePortamento(Channel* channel);

}  // namespace lumbo
