#include <gtest/gtest.h>

#include <cstring>

#include "sequencer/tick_driver.h"

namespace {

using lumbo::Channel;

TEST(Channels, ResetClearsOnlyTheSongsChannels) {
    static lumbo::Player player;
    Channel* channels = player.channels;
    std::memset(player.channels, 0x5A, sizeof player.channels);
    lumbo::Song song{};
    song.channelCount = 4;
    player.song = &song;
    lumbo::ResetChannels(player);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(channels[i].voice, &player.mixer.voices[i]);
        Channel expected{};
        expected.voice = &player.mixer.voices[i];
        EXPECT_EQ(std::memcmp(&channels[i], &expected, sizeof(Channel)), 0) << i;
    }
    EXPECT_EQ(channels[4].volume, 0x5A5A5A5A);
    EXPECT_EQ(channels[31].tremorOn, 0x5A);
    // More columns than records: the 32 are reset, nothing past them.
    song.channelCount = 40;
    lumbo::ResetChannels(player);
    EXPECT_EQ(channels[31].voice, &player.mixer.voices[31]);
}

TEST(Channels, InstrumentDefaultsKeepPhasesOnlyWhenAsked) {
    const struct { uint8_t control; int vibrato, tremolo; } cases[] = {
        {0x00, 0, 0}, {0x03, 0, 0}, {0x04, 9, 0}, {0x0F, 9, 0}, {0x40, 0, -7}, {0x47, 9, -7}, {0x3F, 9, 0},
    };
    lumbo::Sample sample{};
    sample.volume = 48;
    sample.panning = 200;
    for (const auto& c : cases) {
        Channel ch{};
        ch.waveformControl = c.control;
        ch.vibratoPosition = 9;
        ch.tremoloPosition = -7;
        ch.volEnvValue = 1234;
        ch.keyOff = 1;
        ch.tremorCounter = 3;
        ch.autoVibratoSweep = 5;
        ch.volSlideMem = 0x21;
        ch.period = 1712;
        ch.updateFlags = lumbo::UpdateTrigger;
        lumbo::ApplyInstrumentDefaults(&ch, &sample);
        EXPECT_EQ(ch.vibratoPosition, c.vibrato) << int(c.control);
        EXPECT_EQ(ch.tremoloPosition, c.tremolo) << int(c.control);
        EXPECT_EQ(ch.volume, 48);
        EXPECT_EQ(ch.panning, 200);
        EXPECT_EQ(ch.volEnvLevel, 64);
        EXPECT_EQ(ch.panEnvLevel, 32);
        EXPECT_EQ(ch.fadeoutVolume, 0x10000);
        EXPECT_EQ(ch.keyOff, 0);
        EXPECT_EQ(ch.tremorCounter, 0);
        EXPECT_EQ(ch.autoVibratoSweep, 0);
        EXPECT_EQ(ch.volEnvValue, 1234);  // the first envelope step loads it
        EXPECT_EQ(ch.volSlideMem, 0x21);
        EXPECT_EQ(ch.period, 1712);
        EXPECT_EQ(ch.updateFlags, lumbo::UpdateTrigger | lumbo::UpdateVolume | lumbo::UpdatePanning);
    }
    Channel ch{};
    ch.volume = 64;
    ch.panning = 128;
    lumbo::ApplyInstrumentDefaults(&ch, &lumbo::placeholderSample);
    EXPECT_EQ(ch.volume, 0);
    EXPECT_EQ(ch.panning, 0);
}

}  // namespace
