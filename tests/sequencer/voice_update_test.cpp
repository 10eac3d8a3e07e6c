#include <gtest/gtest.h>

#include "mixer/mixer.h"
#include "sequencer/voice_update.h"

namespace {

using lumbo::Channel;
using lumbo::Voice;

lumbo::Player player;
Voice* const voices = player.mixer.voices;

struct VoiceUpdate : ::testing::Test {
    lumbo::Sample sample{};
    lumbo::Song song{};
    Channel channel{};

    void SetUp() override {
        lumbo::ResetVoicePool(player.mixer);
        player.mixer.sampleRate = 44100;
        player.song = &song;
        sample.length = 1000;
        sample.loopStart = 200;
        sample.loopLength = 600;
        song.globalVolume = 64;
        // A channel at full volume, centre, bound to voice 5.
        channel.voice = &voices[5];
        channel.volume = 64;
        channel.volEnvLevel = 64;
        channel.fadeoutVolume = 0x10000;
        channel.panning = 128;
        channel.panEnvLevel = 32;
        channel.period = 1712;
    }

    void Update(uint8_t flags) {
        channel.updateFlags = flags;
        lumbo::UpdateVoice(player, &channel, &sample);
    }
};

TEST_F(VoiceUpdate, VolumeScalesRoundsToEvenAndSplitsByPanning) {
    // Voice volume = channel volume x level x fadeout x global x 127.5 / 2^34.
    const struct { int volume, offset, level, fadeout, global, panning, voiceVolume, left, right; } cases[] = {
        {64, 0, 64, 0x10000, 64, 128, 128, 63, 64},   // 127.5 to even
        {32, 0, 64, 0x10000, 64, 128, 64, 31, 32},    // 63.75
        {192, 0, 64, 0x10000, 64, 128, 382, 190, 191},  // C-effect volume: 382.5 to even
        {40, 24, 64, 0x10000, 64, 0, 128, 128, 0},    // tremolo offset counts
        {64, 0, 32, 0x8000, 64, 255, 32, 0, 32},      // 31.875
        {64, 0, 64, 0x10000, 1, 128, 2, 0, 1},        // 1.9921875
        {64, 0, 64, 0, 64, 128, 0, 0, 0},
    };
    for (const auto& c : cases) {
        channel.volume = c.volume;
        channel.volumeOffset = c.offset;
        channel.volEnvLevel = c.level;
        channel.fadeoutVolume = c.fadeout;
        song.globalVolume = c.global;
        voices[5].panning = c.panning;  // the volume step uses the voice's panning
        Update(lumbo::UpdateVolume);
        EXPECT_EQ(voices[5].volume, c.voiceVolume) << c.volume;
        EXPECT_EQ(voices[5].volumeCopy, c.voiceVolume);
        EXPECT_EQ(voices[5].targetLeft, c.left) << c.volume;
        EXPECT_EQ(voices[5].targetRight, c.right) << c.volume;
    }
}

TEST_F(VoiceUpdate, PanningEnvelopeSwingsByAWholeFactorAndClamps) {
    const struct { int panning, level, pan; } cases[] = {
        {128, 64, 255}, {128, 0, 0}, {200, 64, 232}, {128, 32, 128}, {32, 64, 64}, {31, 64, 31},
        {224, 0, 192}, {225, 0, 225}, {-20, 32, 0}, {300, 32, 255}, {300, 64, 255}, {-1000, 0, 0},
    };
    Update(lumbo::UpdateVolume);  // voice volume 128
    for (const auto& c : cases) {
        channel.panning = c.panning;
        channel.panEnvLevel = c.level;
        Update(lumbo::UpdatePanning);
        EXPECT_EQ(voices[5].panning, c.pan) << c.panning << " " << c.level;
        EXPECT_EQ(voices[5].panningCopy, c.pan);
        EXPECT_EQ(voices[5].targetLeft, (255 - c.pan) * 128 / 255);
        EXPECT_EQ(voices[5].targetRight, 128 * c.pan / 255);
    }
}

TEST_F(VoiceUpdate, PitchToStepWithAFloorOf100Hz) {
    const struct { bool linear; int32_t period, offset, frequency, step; uint32_t fraction; } cases[] = {
        {false, 1712, 0, 8362, 0, 814388129u},        // floor(8362 x 2^32 / 44100)
        {true, 4608, 0, 8363, 0, 814485521u},
        {true, 3840, 0, 16726, 0, 1628971042u},
        {true, 3840, 768 * 3, 133808, 3, 146866455u},  // a positive offset raises a linear pitch
        {true, 3840, -768, 8363, 0, 814485521u},
        {false, 200000, 0, 71, 0, 9739154u},          // below the floor: 100 Hz
        {false, -1712, 0, -8362, 0, 9739154u},
        {false, 1712, -3424, -8362, 0, 9739154u},
    };
    for (const auto& c : cases) {
        song.flags = c.linear ? 1 : 0;
        channel.period = c.period;
        channel.periodOffset = c.offset;
        Update(lumbo::UpdatePitch);
        EXPECT_EQ(voices[5].frequency, c.frequency) << c.period;
        EXPECT_EQ(voices[5].step, c.step) << c.period;
        EXPECT_EQ(voices[5].stepFraction, c.fraction) << c.period;
    }
}

TEST_F(VoiceUpdate, ZeroPeriodKeepsThePreviousPitch) {
    Update(lumbo::UpdatePitch);
    channel.period = 300;
    channel.periodOffset = -300;
    Update(lumbo::UpdatePitch | lumbo::UpdateVolume);
    EXPECT_EQ(channel.updateFlags, lumbo::UpdateVolume);
    EXPECT_EQ(voices[5].frequency, 8362);
    EXPECT_EQ(voices[5].stepFraction, 814388129u);
}

TEST_F(VoiceUpdate, NotesAlternateBetweenPartnerSlots) {
    const uint8_t note = lumbo::UpdateTrigger | lumbo::UpdateVolume | lumbo::UpdatePanning | lumbo::UpdatePitch;
    // The first note finds voice 5 silent and starts there.
    Update(note);
    ASSERT_EQ(channel.voice, &voices[5]);
    EXPECT_EQ(voices[5].sample, &sample);
    EXPECT_EQ(voices[5].targetLeft, 63);
    EXPECT_EQ(voices[37].sample, nullptr);

    // The mixer plays it for a while; the next note brings a start offset.
    voices[5].position = 420;
    voices[5].positionFraction = 77;
    voices[5].currentLeft = 63 * 256;
    voices[5].currentRight = 64 * 256;
    voices[5].direction = 2;
    voices[5].startOffset = 300;
    lumbo::Sample second{};
    second.length = 500;
    second.loopLength = 500;
    channel.volume = 32;
    channel.updateFlags = note;
    lumbo::UpdateVoice(player, &channel, &second);

    ASSERT_EQ(channel.voice, &voices[37]);
    const Voice& fresh = voices[37];
    EXPECT_EQ(fresh.index, 37);
    EXPECT_EQ(fresh.sample, &second);
    EXPECT_EQ(fresh.position, 300);
    EXPECT_EQ(fresh.positionFraction, 0u);
    EXPECT_EQ(fresh.startOffset, 0u);
    EXPECT_EQ(fresh.direction, 1);
    EXPECT_EQ(fresh.currentLeft, 0);
    EXPECT_EQ(fresh.currentRight, 0);
    EXPECT_EQ(fresh.volume, 64);
    EXPECT_EQ(fresh.targetLeft, 31);
    EXPECT_EQ(fresh.targetRight, 32);
    EXPECT_EQ(fresh.frequency, 8362);

    // The old voice fades from where it is, on its own sample.
    const Voice& old = voices[5];
    EXPECT_EQ(old.index, 5);
    EXPECT_EQ(old.sample, &sample);
    EXPECT_EQ(old.position, 420);
    EXPECT_EQ(old.currentLeft, 63 * 256);
    EXPECT_EQ(old.volume, 0);
    EXPECT_EQ(old.volumeCopy, 0);
    EXPECT_EQ(old.targetLeft, 0);
    EXPECT_EQ(old.targetRight, 0);

    // The third note goes back to slot 5.
    Update(note);
    EXPECT_EQ(channel.voice, &voices[5]);
    EXPECT_EQ(voices[5].sample, &sample);
    EXPECT_EQ(voices[37].targetLeft, 0);
    EXPECT_EQ(voices[37].sample, &second);
}

TEST_F(VoiceUpdate, StartOffsetAtOrPastTheLoopEndStartsAtZero) {
    const struct { uint32_t offset; int32_t position; } cases[] = {{799, 799}, {800, 0}, {65280, 0}};
    for (const auto& c : cases) {
        voices[5].sample = nullptr;
        voices[5].startOffset = c.offset;
        Update(lumbo::UpdateTrigger);
        EXPECT_EQ(voices[5].position, c.position) << c.offset;
    }
    // A loop that would wrap 32 bits does not make a small loop end.
    sample.loopStart = 0xFFFFFF00u;
    sample.loopLength = 0x200;
    voices[5].sample = nullptr;
    voices[5].startOffset = 0x200;
    Update(lumbo::UpdateTrigger);
    EXPECT_EQ(voices[5].position, 0x200);
}

TEST_F(VoiceUpdate, RewindRestartsTheSampleWithoutARamp) {
    Update(lumbo::UpdateTrigger | lumbo::UpdateVolume | lumbo::UpdatePanning);
    Voice& v = voices[5];
    v.position = 640;
    v.positionFraction = 12345;
    v.currentLeft = 63 * 256;
    v.startOffset = 512;
    Update(lumbo::UpdateRewind);
    EXPECT_EQ(channel.voice, &v);
    EXPECT_EQ(v.sample, &sample);
    EXPECT_EQ(v.position, 0);
    EXPECT_EQ(v.positionFraction, 0u);
    EXPECT_EQ(v.startOffset, 0u);
    EXPECT_EQ(v.currentLeft, 63 * 256);
    EXPECT_EQ(v.targetLeft, 63);
    EXPECT_EQ(v.rampFramesLeft, 0);
    // A voice moving backward in a ping-pong loop turns forward, toward its loop.
    v.direction = 2;
    Update(lumbo::UpdateRewind);
    EXPECT_EQ(v.direction, 1);
}

}  // namespace
