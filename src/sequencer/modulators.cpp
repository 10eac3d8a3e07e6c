#include "sequencer/modulators.h"

namespace lumbo {

namespace {

// nearest(|256 x sin(2 x p x 0.049087375)|) for |p| = 0..32: the vibrato and
// tremolo sine at phase p (-32..31). Tabled so that playback calls no sin();
// a test checks every entry against the formula.
constexpr int16_t kPhaseSine[33] = {
    0,   25,  50,  74,  98,  121, 142, 162, 181, 198, 213, 226, 237, 245, 251, 255, 256,
    255, 251, 245, 237, 226, 213, 198, 181, 162, 142, 121, 98,  74,  50,  25,  0,
};

// nearest(64 x sin(p x 0.0245436877f)) for p = 0..64, the first quarter of the
// auto-vibrato sine; the table is exactly symmetric about p = 64 and
// antisymmetric about p = 128 (checked by a test over all 256 phases).
constexpr int8_t kAutoVibratoSine[65] = {
    0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 16, 17, 19, 20, 22, 23, 24, 26, 27, 29, 30, 32,
    33, 34, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56,
    56, 57, 58, 59, 59, 60, 60, 61, 61, 62, 62, 62, 63, 63, 63, 64, 64, 64, 64, 64, 64,
};

constexpr uint8_t kAutoVibratoSineType = 0;
constexpr uint8_t kAutoVibratoSquareType = 1;
constexpr uint8_t kAutoVibratoRampDownType = 2;
constexpr uint8_t kAutoVibratoRampUpType = 3;

// Auto-vibrato waveform at phase p (0..255), -64..64. Types above 3 have no
// waveform in the format: they give 0, so such an instrument plays without
// auto-vibrato (its sweep and phase still run).
int32_t AutoVibratoWave(uint8_t type, int32_t p) {
    switch (type) {
    case kAutoVibratoSineType: {
        int32_t q = p & 127;
        int32_t magnitude = kAutoVibratoSine[q <= 64 ? q : 128 - q];
        return p < 128 ? magnitude : -magnitude;
    }
    case kAutoVibratoSquareType: return p < 128 ? 64 : -64;
    case kAutoVibratoRampDownType: return (128 - ((p + 128) & 255)) >> 1;
    case kAutoVibratoRampUpType: return (128 - ((384 - p) & 255)) >> 1;
    default: return 0;
    }
}

// Vibrato and tremolo waveform at phase p, 0..256, chosen by the two low bits
// of a waveform-control nibble. Every writer keeps the phase in -32..31; one
// outside would be read modulo 64.
int32_t PhaseWave(uint8_t control, int32_t p) {
    p = ((p + 32) & 63) - 32;
    switch (control & 3) {
    case 0: return kPhaseSine[p < 0 ? -p : p];
    case 1: return p >= 0 ? 8 * p : 255 - ((8 * p) & 255);  // ramp
    default: return 255;                                     // square
    }
}

// Phase p plus speed in 8-bit signed arithmetic, kept in -32..31.
int8_t AdvancePhase(int8_t p, uint8_t speed) {
    int32_t next = int8_t(uint8_t(p + speed));
    if (next > 31) next -= 64;
    return int8_t(next);
}

}  // namespace

void StepAutoVibrato(Channel* channel, const Instrument* instrument) {
    int32_t p = channel->autoVibratoPosition & 255;  // 0..255 by construction
    int32_t x = AutoVibratoWave(instrument->vibratoType, p) * instrument->vibratoDepth;
    if (instrument->vibratoSweep != 0) x = (x * channel->autoVibratoSweep) / instrument->vibratoSweep;
    channel->periodOffset += x >> 6;
    // Raised after use: the first tick after the defaults adds nothing when
    // there is a sweep.
    channel->autoVibratoSweep += 1;
    if (channel->autoVibratoSweep > instrument->vibratoSweep) channel->autoVibratoSweep = instrument->vibratoSweep;
    p += instrument->vibratoRate;
    if (p > 255) p -= 256;
    channel->autoVibratoPosition = p;
    channel->updateFlags |= UpdatePitch;
}

void StepVibrato(Channel* channel) {
    int32_t p = channel->vibratoPosition;
    int32_t m = ((PhaseWave(channel->waveformControl, p) * channel->vibratoDepth) >> 5) & ~3;
    // Positive phases lower the period's offset, unlike tremolo's.
    channel->periodOffset = p >= 0 ? -m : m;
    channel->updateFlags |= UpdatePitch;
}

void StepTremolo(Channel* channel) {
    int32_t p = channel->tremoloPosition;
    uint8_t control = channel->waveformControl >> 4;
    // Tremolo reads waveform 3 as the sine, where vibrato has a square.
    if ((control & 3) == 3) control = 0;
    int32_t t = (channel->tremoloDepth * PhaseWave(control, p)) >> 6;
    // Clipped so that volume + volumeOffset stays in 0..64 on the side it moves to.
    if (p >= 0) {
        if (channel->volume + t > 64) t = 64 - channel->volume;
        channel->volumeOffset = t;
    } else {
        if (t > channel->volume) t = channel->volume;
        channel->volumeOffset = -t;
    }
    channel->tremoloPosition = AdvancePhase(channel->tremoloPosition, channel->tremoloSpeed);
    channel->updateFlags |= UpdateVolume;
}

void StepTremor(Channel* channel) {
    if (channel->tremorCounter >= channel->tremorOn) channel->volumeOffset = -channel->volume;
    channel->tremorCounter += 1;
    if (channel->tremorCounter >= channel->tremorOn + channel->tremorOff) channel->tremorCounter = 0;
    channel->updateFlags |= UpdateVolume;
}

void StepTonePortamento(Channel* channel) {
    // In 64 bits so that a period near the 32-bit limits cannot overflow.
    int64_t period = channel->period;
    int64_t target = channel->tonePortaTarget;
    int64_t speed = 4 * int64_t(channel->tonePortaSpeed);
    if (period < target) {
        period += speed;
        if (period > target) period = target;
    } else if (period > target) {
        period -= speed;
        if (period < target) period = target;
    }
    channel->period = int32_t(period);
    channel->updateFlags |= UpdatePitch;
}

}  // namespace lumbo
