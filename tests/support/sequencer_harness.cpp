#include "support/sequencer_harness.h"

#include <gtest/gtest.h>

#include "mixer/mixer.h"
#include "sequencer/row.h"
#include "sequencer/tick_driver.h"

namespace lumbo_test {

xm::Sample LoopedSample(uint32_t frames) {
    std::vector<int16_t> data(frames);
    for (uint32_t i = 0; i < frames; ++i) data[i] = int16_t((i % 64) * 2 - 64);
    xm::Sample sample = xm::Sample::Pcm8(data);
    sample.Loop(0, frames, 1);
    return sample;
}

xm::Module SequencerModule(int channels) {
    xm::Module module;
    module.channels = uint16_t(channels);
    module.orders = {0};
    module.AddPattern(64);
    xm::Instrument& instrument = module.AddInstrument("lead");
    instrument.samples.push_back(LoopedSample());
    return module;
}

lumbo::Player& HarnessPlayer() {
    static lumbo::Player player;
    return player;
}

SongPtr StartSong(const xm::Module& module) {
    lumbo::Player& player = HarnessPlayer();
    player.mixer.sampleRate = 44100;
    SongPtr song = Load(module);
    player.song = song.get();
    if (!song) return song;
    lumbo::ResetVoicePool(player.mixer);
    lumbo::ResetSongState(player);
    lumbo::ResetChannels(player);
    return song;
}

void PrintTo(const TickPosition& position, std::ostream* out) {
    *out << "(order " << position.order << ", row " << position.row << ", tick " << position.tick << ")";
}

TickPosition StepTick(lumbo::Song* song) {
    lumbo::Player& player = HarnessPlayer();
    player.song = song;
    int32_t tick = song->tick;
    player.tickHandler(player);
    // The order position moves only at a row start, before the row is read.
    return {song->orderPosition, player.currentRow, tick};
}

std::vector<TickPosition> StepTicks(lumbo::Song* song, int count) {
    std::vector<TickPosition> positions;
    for (int i = 0; i < count; ++i) positions.push_back(StepTick(song));
    return positions;
}

std::vector<lumbo::Channel> TraceChannel(lumbo::Song* song, int channel, int count) {
    std::vector<lumbo::Channel> trace;
    for (int i = 0; i < count; ++i) {
        StepTick(song);
        trace.push_back(HarnessPlayer().channels[channel]);
    }
    return trace;
}

lumbo::Channel& ChannelAt(int index) { return HarnessPlayer().channels[index]; }

lumbo::Voice& VoiceOf(int index) { return *HarnessPlayer().channels[index].voice; }

}  // namespace lumbo_test
