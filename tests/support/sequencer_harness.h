// Plays a written module through the sequencer tick by tick, the way playback
// start and the block renderer drive it, and exposes the song, channel and
// voice state between ticks. Nothing is mixed.
//
//   xm::Module m = SequencerModule();
//   m.patterns[0].At(0, 0) = {49, 1, 0, 0x0A, 0x01};
//   SongPtr song = StartSong(m);
//   TickPosition at = StepTick(song.get());     // row 0, tick 0
//   EXPECT_EQ(ChannelAt(0).volume, 64);
#pragma once
#include <cstdint>
#include <ostream>
#include <vector>

#include "mixer/voice.h"
#include "sequencer/channel.h"
#include "sequencer/player.h"
#include "support/song_fixture.h"
#include "support/xm_writer.h"

namespace lumbo_test {

// A module for sequencer tests: `channels` channels, linear periods, speed 6,
// tempo 125, one 64-row pattern at order 0, and one instrument whose one
// sample (1024 frames, forward loop over all of them, volume 64, panning
// 128) plays every note.
xm::Module SequencerModule(int channels = 4);
// The sample SequencerModule gives its instrument.
xm::Sample LoopedSample(uint32_t frames = 1024);

// The player the harness drives: one per test program, like the device's.
lumbo::Player& HarnessPlayer();

// Loads the module and puts it at its start in the harness player as
// playback start does: the voices cleared, the song state reset, the channels
// reset (sampleRate 44100). Null, with a test failure, when the loader
// rejects the module.
SongPtr StartSong(const xm::Module& module);

// What a tick worked on: order position, row (the current row, not one a
// pattern loop rewrote) and tick.
struct TickPosition {
    int32_t order;
    int32_t row;
    int32_t tick;
    bool operator==(const TickPosition& other) const {
        return order == other.order && row == other.row && tick == other.tick;
    }
};

void PrintTo(const TickPosition& position, std::ostream* out);

// Runs one tick through the song's tick handler.
TickPosition StepTick(lumbo::Song* song);
// Runs count ticks and returns what each worked on.
std::vector<TickPosition> StepTicks(lumbo::Song* song, int count);
// Runs count ticks and returns channel `channel` as each left it.
std::vector<lumbo::Channel> TraceChannel(lumbo::Song* song, int channel, int count);

lumbo::Channel& ChannelAt(int index);
// The voice channel `index` drives now.
lumbo::Voice& VoiceOf(int index);

}  // namespace lumbo_test
