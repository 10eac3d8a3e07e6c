#include "sequencer/voice_update.h"

#include "mixer/mixer.h"
#include "sequencer/pitch.h"
#include "sequencer/rounding.h"

namespace lumbo {

namespace {

// 127.5 / 2^34 as stored (single precision): channel volume x envelope level x
// fadeout x global volume (at most 2^34) onto a voice volume of at most 127.5.
constexpr float kVolumeScale = 7.4214767664670944e-09f;
constexpr int32_t kFrequencyFloor = 100;
constexpr int32_t kPanDivisor = 255;
constexpr int32_t kForward = 1;

// a x b / 255 with the product kept to 32 bits, as the gains always were; only
// envelope values far outside 0..64 make it wrap.
int32_t Gain(int32_t a, int32_t b) { return Low32(int64_t(a) * b) / kPanDivisor; }

void SetTargets(Voice* v) {
    v->targetLeft = Gain(kPanDivisor - v->panning, v->volume);
    v->targetRight = Gain(v->volume, v->panning);
}

// A note start on a sounding voice moves the channel to the partner slot; the
// old slot keeps playing from where it is while the mixer ramps it to silence.
Voice* HandOver(Mixer& mixer, Channel* channel, Voice* v) {
    int32_t slot = int32_t(v - mixer.voices);
    int32_t partnerSlot = slot < kPartnerDistance ? slot + kPartnerDistance : slot - kPartnerDistance;
    Voice* w = &mixer.voices[partnerSlot];
    *w = *v;
    w->index = partnerSlot;
    v->volume = 0;
    v->volumeCopy = 0;
    v->targetLeft = 0;
    v->targetRight = 0;
    channel->voice = w;
    return w;
}

void Trigger(Mixer& mixer, Channel* channel, const Sample* sample) {
    Voice* v = channel->voice;
    if (v->sample) v = HandOver(mixer, channel, v);
    v->sample = sample;
    // The loop end in 64 bits: a malformed loop must not wrap to a small end.
    if (uint64_t(v->startOffset) >= uint64_t(sample->loopStart) + sample->loopLength) v->startOffset = 0;
    v->position = int32_t(v->startOffset);
    v->positionFraction = 0;
    v->direction = kForward;
    v->startOffset = 0;
    // From silence: the first mixing run ramps up to the targets.
    v->currentLeft = 0;
    v->currentRight = 0;
    v->rampFramesLeft = 0;
}

void ApplyVolume(const Channel* channel, const Song* song, Voice* v) {
    // Every factor is an integer well inside 2^53, so the product is exact.
    double product = double(channel->volume + channel->volumeOffset) * double(channel->volEnvLevel) *
                     double(channel->fadeoutVolume) * double(song->globalVolume) * double(kVolumeScale);
    int32_t volume = Low32(RoundToInt64(product));
    v->volume = volume;
    v->volumeCopy = volume;
    SetTargets(v);
}

void ApplyPanning(const Channel* channel, Voice* v) {
    // The envelope's swing scales by a whole factor 0..4 (division first):
    // 4 at the centre, 0 within 31 of either edge. In 64 bits because the
    // volume column's slides leave panning unbounded.
    int64_t distance = int64_t(channel->panning) - 128;
    if (distance < 0) distance = -distance;
    int64_t pan = channel->panning + ((128 - distance) / 32) * (int64_t(channel->panEnvLevel) - 32);
    if (pan < 0) pan = 0;
    if (pan > 255) pan = 255;
    v->panning = int32_t(pan);
    v->panningCopy = int32_t(pan);
    SetTargets(v);
}

void ApplyPitch(Channel* channel, const Song* song, int32_t sampleRate, Voice* v) {
    if (!channel->frequencyKnown || channel->frequencyPeriod != channel->period ||
        channel->frequencyOffset != channel->periodOffset) {
        channel->frequency = PeriodToFrequency(channel->period, channel->periodOffset, (song->flags & 1) != 0);
        channel->frequencyPeriod = channel->period;
        channel->frequencyOffset = channel->periodOffset;
        channel->frequencyKnown = 1;
    }
    const int32_t frequency = channel->frequency;
    v->frequency = frequency;
    if (sampleRate <= 0) return;  // no output rate yet: no step to compute
    uint32_t g = frequency >= kFrequencyFloor ? uint32_t(frequency) : uint32_t(kFrequencyFloor);
    uint32_t rate = uint32_t(sampleRate);
    // One division for both halves: g x 2^32 / rate is the whole frames
    // g / rate above the fraction (g % rate) x 2^32 / rate, which is below 2^32.
    const uint64_t step = (uint64_t(g) << 32) / rate;
    v->step = int32_t(uint32_t(step >> 32));
    v->stepFraction = uint32_t(step);
}

// Back to frame 0 of the sample the voice is playing, gains unchanged. The
// voice is also turned forward: one moving backward in a ping-pong loop that
// starts above frame 0 would otherwise head away from its loop, out of its
// sample.
void Rewind(Voice* v) {
    v->position = 0;
    v->positionFraction = 0;
    v->startOffset = 0;
    v->direction = kForward;
}

}  // namespace

void UpdateVoice(Player& player, Channel* channel, const Sample* sample) {
    const Song* song = player.song;
    if (!sample) sample = &placeholderSample;
    // Zero has no frequency; the voice keeps its previous one. The sum wraps
    // as PeriodToFrequency's does.
    if (Low32(int64_t(channel->period) + channel->periodOffset) == 0) channel->updateFlags &= ~UpdatePitch;

    uint8_t flags = channel->updateFlags;
    if (flags & UpdateTrigger) Trigger(player.mixer, channel, sample);
    Voice* v = channel->voice;
    if (flags & UpdateVolume) ApplyVolume(channel, song, v);
    if (flags & UpdatePanning) ApplyPanning(channel, v);
    if (flags & UpdatePitch) ApplyPitch(channel, song, player.mixer.sampleRate, v);
    if (flags & UpdateRewind) Rewind(v);
    if (player.mutedChannels) {
        // The channel's column; a channel record from elsewhere has none.
        const uintptr_t column = (uintptr_t(channel) - uintptr_t(player.channels)) / sizeof(Channel);
        if (column < uintptr_t(kMaxChannels) && (player.mutedChannels >> column & 1)) v->targetLeft = v->targetRight = 0;
    }
}

void SetMutedChannels(Player& player, uint32_t mutes) {
    const uint32_t changed = mutes ^ player.mutedChannels;
    player.mutedChannels = mutes;
    for (int32_t i = 0; i < kMaxChannels; ++i) {
        Voice* v = player.channels[i].voice;
        if (!(changed >> i & 1) || !v) continue;
        SetTargets(v);
        if (mutes >> i & 1) v->targetLeft = v->targetRight = 0;
    }
}

}  // namespace lumbo
