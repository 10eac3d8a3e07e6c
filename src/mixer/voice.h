// Mixer voices: one playing note each, resampled and ramped by MixVoices.
#pragma once
#include <cstdint>

#include "song/song.h"

namespace lumbo {

struct MixFrame {
    float left;                // 16-bit sample units, full scale +-32768
    float right;
};

constexpr int kVoiceSlots = 64;        // a player's voices, all mixed
constexpr int kPartnerDistance = 32;   // slot i and slot i + 32 are partners

struct Voice {
    int32_t       index;           // own slot number 0..63
    int32_t       volumeCopy;      // same as volume; not read by the mixer
    int32_t       frequency;       // Hz before the 100 Hz floor; not read by the mixer
    int32_t       panningCopy;     // same as panning; not read by the mixer
    int32_t       volume;          // 0..128
    int32_t       panning;         // 0 left .. 255 right
    uint32_t      startOffset;     // frame the next trigger starts at (9xx)
    const Sample* sample;          // null = silent, skipped by the mixer
    int32_t       targetLeft;      // gain target in 1/255 steps
    int32_t       targetRight;
    int32_t       position;        // whole frames (high half of the 32.32 position)
    uint32_t      positionFraction;// 2^-32 frames
    uint32_t      stepFraction;    // 2^-32 frames per output frame
    int32_t       step;            // whole frames per output frame
    int32_t       direction;       // 1 forward, 2 backward (ping-pong only)
    int32_t       appliedLeft;     // targetLeft the running ramp was planned for
    int32_t       appliedRight;
    int32_t       currentLeft;     // gain reached so far, target units x 256
    int32_t       currentRight;
    float         rampDeltaLeft;   // gain change per frame, 1.0 = unity
    float         rampDeltaRight;
    int32_t       rampFramesLeft;  // frames left in the running ramp; 0 = none
};

}  // namespace lumbo
