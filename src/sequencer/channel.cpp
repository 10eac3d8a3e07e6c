#include "sequencer/channel.h"

#include <cstring>

#include "sequencer/player.h"
#include "sequencer/tick_driver.h"

namespace lumbo {

void ResetChannels(Player& player) {
    int count = player.song ? player.song->channelCount : 0;
    if (count > kMaxChannels) count = kMaxChannels;
    for (int i = 0; i < count; ++i) {
        memset(&player.channels[i], 0, sizeof(Channel));
        player.channels[i].voice = &player.mixer.voices[i];
    }
}

void ApplyInstrumentDefaults(Channel* channel, const Sample* sample) {
    channel->volume = sample->volume;
    channel->panning = sample->panning;
    channel->volEnvLevel = 64;
    channel->volEnvPoint = 0;
    channel->volEnvTick = 0;
    channel->volEnvStep = 0;
    channel->volEnvDone = 0;
    channel->panEnvLevel = 32;
    channel->panEnvPoint = 0;
    channel->panEnvTick = 0;
    channel->panEnvStep = 0;
    channel->panEnvDone = 0;
    channel->keyOff = 0;
    channel->fadeoutVolume = 0x10000;
    channel->autoVibratoSweep = 0;
    channel->autoVibratoPosition = 0;
    // A waveform-control nibble of 4 or more keeps the phase across notes.
    if ((channel->waveformControl & 0x0F) < 4) channel->vibratoPosition = 0;
    if ((channel->waveformControl & 0xF0) < 0x40) channel->tremoloPosition = 0;
    channel->updateFlags |= UpdateVolume | UpdatePanning;
    channel->tremorCounter = 0;
}

}  // namespace lumbo
