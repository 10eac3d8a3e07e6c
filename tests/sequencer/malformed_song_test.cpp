// Indices from the file that point past what the song holds: notes past the
// note-sample map, instruments past the song's, map entries naming no slot,
// sample slots without a sample. Each plays the placeholder Sample (silent)
// and reads nothing out of bounds; run under the sanitizers.
#include <gtest/gtest.h>

#include "song/song.h"
#include "support/sequencer_harness.h"

namespace lumbo_test {
namespace {

TEST(MalformedSong, NotesPastTheNoteSampleMapPlayThePlaceholder) {
    for (uint16_t flags : {0, 1}) {
        xm::Module m = SequencerModule(4);
        m.flags = flags;
        m.patterns[0].At(0, 0) = {98, 1, 0, 0, 0x47};     // arpeggio on the odd note too
        m.patterns[0].At(0, 1) = {150, 1, 0, 0x0E, 0x5F};  // E5x must not write into the placeholder
        m.patterns[0].At(0, 2) = {254, 1, 0, 0x09, 0x01};  // every offset is past its (empty) loop
        m.patterns[0].At(0, 3) = {49, 1, 0, 0, 0};
        m.patterns[0].At(1, 3) = {0, 0, 0, 0x0E, 0xD1};    // the delayed note reuses channel 3's note
        m.patterns[0].At(1, 0) = {200, 0, 0, 0x03, 0x20};  // tone portamento toward an odd note
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTicks(song.get(), 12);
        SCOPED_TRACE(testing::Message() << "flags " << flags);
        EXPECT_EQ(ChannelAt(0).note, 97);
        EXPECT_EQ(ChannelAt(1).note, 149);
        EXPECT_EQ(ChannelAt(2).note, 253);
        EXPECT_EQ(ChannelAt(0).realNote, 199);
        EXPECT_EQ(VoiceOf(0).sample, &lumbo::placeholderSample);
        EXPECT_EQ(VoiceOf(1).sample, &lumbo::placeholderSample);
        EXPECT_EQ(VoiceOf(2).sample, nullptr);  // the offset rewound instead of starting it
        EXPECT_EQ(VoiceOf(3).sample, song->instruments[0].samples[0]);
        EXPECT_EQ(lumbo::placeholderSample.finetune, 0);
        EXPECT_EQ(lumbo::placeholderSample.data, nullptr);
    }
}

TEST(MalformedSong, InstrumentPastTheSongsInstrumentsIsThePlaceholder) {
    xm::Module m = SequencerModule();
    m.instruments[0].volume.points = {{0, 64}, {4, 0}};
    m.instruments[0].volume.on = true;
    m.patterns[0].At(0, 0) = {49, 1, 0, 0, 0};
    m.patterns[0].At(1, 0) = {49, 2, 0, 0, 0};    // one past
    m.patterns[0].At(1, 1) = {49, 128, 0, 21, 3};  // the last number a cell may hold, with Lxx
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTicks(song.get(), 12);
    for (int ch = 0; ch < 2; ++ch) {
        EXPECT_EQ(VoiceOf(ch).sample, &lumbo::placeholderSample) << "channel " << ch;
        EXPECT_EQ(ChannelAt(ch).volume, 0);
        EXPECT_EQ(ChannelAt(ch).panning, 0);
        EXPECT_EQ(ChannelAt(ch).volEnvLevel, 64);  // no envelope on the placeholder instrument
    }
    EXPECT_EQ(ChannelAt(1).instrumentIndex, 127);
}

TEST(MalformedSong, MapEntriesWithoutASampleSelectThePlaceholder) {
    xm::Module m = SequencerModule();
    m.instruments[0].noteSampleMap[48] = 16;   // no such slot
    m.instruments[0].noteSampleMap[49] = 255;
    m.instruments[0].noteSampleMap[50] = 3;    // a slot the instrument leaves empty
    xm::Instrument& full = m.AddInstrument();  // every slot filled: 15 is the last one
    for (int k = 0; k < 16; ++k) full.samples.push_back(LoopedSample(64));
    full.noteSampleMap[51] = 15;
    m.patterns[0].At(0, 0) = {49, 1, 0, 0, 0};
    m.patterns[0].At(0, 1) = {50, 1, 0, 0, 0};
    m.patterns[0].At(0, 2) = {51, 1, 0, 0, 0};
    m.patterns[0].At(0, 3) = {52, 2, 0, 0, 0};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTicks(song.get(), 6);
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_EQ(VoiceOf(ch).sample, &lumbo::placeholderSample) << "channel " << ch;
        EXPECT_EQ(ChannelAt(ch).volume, 0) << "channel " << ch;
    }
    EXPECT_EQ(VoiceOf(3).sample, song->instruments[1].samples[15]);
    EXPECT_EQ(ChannelAt(3).volume, 64);
}

}  // namespace
}  // namespace lumbo_test
