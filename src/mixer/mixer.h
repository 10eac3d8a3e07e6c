// The voice pool and the mixing loop.
#pragma once
#include <cstdint>

#include "mixer/voice.h"

namespace lumbo {

// One player's voices and the settings the output rate gives them.
struct Mixer {
    int32_t sampleRate;            // output frames per second; set first by the output, read by the sequencer
    int32_t rampLength;            // frames per volume ramp, from sampleRate
    float   rampReciprocal;        // 1 / rampLength as stored
    Voice   voices[kVoiceSlots];   // channel i starts on voice i
};

// Clears every voice, then gives each its slot number and a step of 1.0.
void ResetVoicePool(Mixer& mixer);

// Adds the voices, in slot order, to frames[0..frameCount) and advances them
// by frameCount output frames; each sum is stored back as a float, so the
// result is bit-exact whatever the machine. Does nothing for frameCount < 1.
// Stops a voice whose sample has no loop when it reaches the end.
//
// Relies on what the loader guarantees for every sample: loopStart +
// loopLength <= length < 2^31, and a data buffer with kSampleLeadFrames silent
// frames before frame 0 (a loop starting at 0 reads frame -1 with a tiny
// weight) and spare frames after the end (the frame after a loop is read).
// Within that it never reads outside the buffer and never stalls, whatever the
// voice holds: steps of 256 frames or more are played as just under 256, and a
// voice already past its loop boundary is brought back (see sample_loop.h).
void MixVoices(Mixer& mixer, MixFrame* frames, int32_t frameCount);

// MixVoices onto a buffer taken as cleared, whatever it holds: frames[0..
// frameCount) become the voices' sum, the same floats as clearing it and
// calling MixVoices gives, without a pass that clears.
void WriteVoices(Mixer& mixer, MixFrame* frames, int32_t frameCount);

// Leaves the voices exactly as MixVoices over frameCount frames would, mixing
// nothing: the same runs, so the same positions, loop turns, stops and ramp
// gains, at a fraction of the cost. A seek moves the voices with it.
void MoveVoices(Mixer& mixer, int32_t frameCount);

}  // namespace lumbo
