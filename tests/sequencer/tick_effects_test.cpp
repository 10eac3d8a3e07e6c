// The ticks between row starts: slides, vibrato, arpeggio, portamento,
// retriggers, note cut, panning and global volume slides, tremor.
#include <gtest/gtest.h>

#include <utility>

#include "support/sequencer_harness.h"

namespace lumbo_test {
namespace {

using lumbo::UpdateTrigger;
using lumbo::UpdateVolume;

// Plays row 0 (and row 1 when given) on channel 0 and returns the channel
// after each tick of those rows.
std::vector<lumbo::Channel> PlayRows(xm::Module m, xm::Cell row0, xm::Cell row1 = {}, int rows = 1) {
    m.patterns[0].At(0, 0) = row0;
    m.patterns[0].At(1, 0) = row1;
    SongPtr song = StartSong(m);
    if (!song) return {};
    return TraceChannel(song.get(), 0, 6 * rows);
}

template <typename F>
std::vector<int32_t> Field(const std::vector<lumbo::Channel>& trace, F field) {
    std::vector<int32_t> values;
    for (const lumbo::Channel& ch : trace) values.push_back(field(ch));
    return values;
}

std::vector<int32_t> Volumes(const std::vector<lumbo::Channel>& t) {
    return Field(t, [](const lumbo::Channel& c) { return c.volume; });
}
std::vector<int32_t> Periods(const std::vector<lumbo::Channel>& t) {
    return Field(t, [](const lumbo::Channel& c) { return c.period; });
}
std::vector<int32_t> PeriodOffsets(const std::vector<lumbo::Channel>& t) {
    return Field(t, [](const lumbo::Channel& c) { return c.periodOffset; });
}
std::vector<int32_t> Triggers(const std::vector<lumbo::Channel>& t) {
    return Field(t, [](const lumbo::Channel& c) { return (c.updateFlags & UpdateTrigger) ? 1 : 0; });
}

// Every field of a channel, for comparing two channels whole.
std::vector<int64_t> AllFields(const lumbo::Channel& c) {
    return {c.note, c.updateFlags, int64_t(reinterpret_cast<intptr_t>(c.voice)), c.period, c.volume,
            c.panning, c.volumeOffset, c.periodOffset, c.volEnvTick, c.volEnvPoint,
            c.volEnvValue, c.volEnvLevel, c.volEnvStep, c.volEnvDone, c.panEnvTick,
            c.panEnvPoint, c.panEnvValue, c.panEnvLevel, c.panEnvStep, c.panEnvDone,
            c.fadeoutVolume, c.autoVibratoPosition, c.autoVibratoSweep, c.keyOff,
            c.instrumentIndex, c.realNote, c.notePeriod, c.lastEffect, c.sampleOffsetMemory,
            c.portaDownMem, c.portaUpMem, c.xfineDownMem, c.xfineUpMem, c.volSlideMem,
            c.panSlideMem, c.retrigVolumeMode, c.retrigInterval, c.tonePortaTarget,
            c.tonePortaSpeed, c.vibratoPosition, c.vibratoSpeed, c.vibratoDepth,
            c.tremoloPosition, c.tremoloSpeed, c.tremoloDepth, c.tremorCounter, c.tremorOn,
            c.tremorOff, c.loopRow, c.loopCount, c.waveformControl, c.fineVolSlideMem,
            c.finePortaUpMem, c.finePortaDownMem};
}

TEST(ProcessTick, VibratoPhaseAndOffset) {
    // 4FF: the phase advances by 15 on every tick but tick 0 and wraps above
    // 31; the offset is taken before the advance: -(nearest(|256 sin(2 p
    // 0.049087375)|) x 15 >> 5, low two bits cleared), positive for p < 0.
    std::vector<lumbo::Channel> t = PlayRows(SequencerModule(), {49, 1, 0, 4, 0xFF}, {0, 0, 0, 4, 0x00}, 2);
    std::vector<int32_t> phases = Field(t, [](const lumbo::Channel& c) { return int32_t(c.vibratoPosition); });
    EXPECT_EQ(std::vector<int32_t>(phases.begin(), phases.begin() + 9),
              (std::vector<int32_t>{0, 15, 30, -19, -4, 11, 11, 26, -23}));
    std::vector<int32_t> offsets = PeriodOffsets(t);
    EXPECT_EQ(std::vector<int32_t>(offsets.begin(), offsets.begin() + 9),
              (std::vector<int32_t>{0, 0, -116, -20, 112, 44, -104, -104, -64}));
}

TEST(ProcessTick, VolumeColumnVibrato) {
    // Column A8 sets the speed at tick 0; B8... runs it on later ticks with
    // depth from the column. Depth 15 matches the effect's values above.
    xm::Module m = SequencerModule();
    std::vector<lumbo::Channel> t = PlayRows(m, {49, 1, 0xAF, 0, 0}, {0, 0, 0xBF, 0, 0}, 2);
    std::vector<int32_t> offsets = PeriodOffsets(t);
    EXPECT_EQ(std::vector<int32_t>(offsets.begin() + 6, offsets.end()),
              (std::vector<int32_t>{0, 0, -116, -20, 112, 44}));
    EXPECT_EQ(t.back().vibratoDepth, 15);
}

TEST(ProcessTick, Arpeggio) {
    struct Case { uint16_t flags; uint8_t param; std::vector<int32_t> offsets; } cases[] = {
        {1, 0x47, {0, 256, 448, 0, 256, 448}},
        {0, 0x47, {0, 1359 - 1712, 1143 - 1712, 0, 1359 - 1712, 1143 - 1712}},  // Amiga periods of notes 52, 55
        {1, 0x00, {0, 0, 0, 0, 0, 0}},
        {1, 0xC0, {0, 768, 0, 0, 768, 0}},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.flags = c.flags;
        std::vector<lumbo::Channel> t = PlayRows(m, {49, 1, 0, 0, c.param});
        EXPECT_EQ(PeriodOffsets(t), c.offsets) << "flags " << c.flags << " param " << int(c.param);
        EXPECT_EQ(Periods(t), std::vector<int32_t>(6, c.flags ? 4608 : 1712));
    }
}

TEST(ProcessTick, PortamentoLimits) {
    // Cell note 96 with relative note 24: realNote 119, period 7680 - 7616 = 64.
    xm::Module high = SequencerModule();
    high.instruments[0].samples[0].relativeNote = 24;
    struct Case {
        const char* name;
        xm::Module* module;
        xm::Cell row0, row1;
        std::vector<int32_t> periods;
    };
    xm::Module plain = SequencerModule();
    Case cases[] = {
        {"1FF stops at 56", &plain, {49, 1, 0, 1, 0xFF}, {0, 0, 0, 1, 0x00},
         {4608, 3588, 2568, 1548, 528, 56, 56, 56, 56, 56, 56, 56}},
        {"2FF has no limit", &plain, {49, 1, 0, 2, 0xFF}, {0, 0, 0, 2, 0x00},
         {4608, 5628, 6648, 7668, 8688, 9708, 9708, 10728, 11748, 12768, 13788, 14808}},
        {"E1F below 56", &high, {96, 1, 0, 0x0E, 0x1F}, {0, 0, 0, 0x0E, 0x10}, {4, 4, 4, 4, 4, 4, -56, -56, -56, -56, -56, -56}},
        {"X1F below 56", &high, {96, 1, 0, 33, 0x1F}, {0, 0, 0, 33, 0x10}, {49, 49, 49, 49, 49, 49, 34, 34, 34, 34, 34, 34}},
        {"101 from 64", &high, {96, 1, 0, 1, 0x01}, {0, 0, 0, 0, 0}, {64, 60, 56, 56, 56, 56, 56, 56, 56, 56, 56, 56}},
        {"E22 then X23", &plain, {49, 1, 0, 0x0E, 0x22}, {0, 0, 0, 33, 0x23}, {4616, 4616, 4616, 4616, 4616, 4616, 4619, 4619, 4619, 4619, 4619, 4619}},
        {"X0F and X3F do nothing", &plain, {49, 1, 0, 33, 0x0F}, {0, 0, 0, 33, 0x3F}, std::vector<int32_t>(12, 4608)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Periods(PlayRows(*c.module, c.row0, c.row1, 2)), c.periods) << c.name;
    }
}

TEST(ProcessTick, RetriggerAndNoteCut) {
    // Channel 1 adds a pattern delay of one row (EE1: 12 ticks) when asked.
    struct Case { const char* name; uint8_t param; bool delay; std::vector<int32_t> triggers, volumes; } cases[] = {
        {"E93", 0x93, false, {1, 0, 0, 1, 0, 0}, {64, 64, 64, 64, 64, 64}},
        {"E93 with EE1", 0x93, true, {1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0}, std::vector<int32_t>(12, 64)},
        {"E90", 0x90, false, {1, 0, 0, 0, 0, 0}, {64, 64, 64, 64, 64, 64}},
        {"EC3", 0xC3, false, {1, 0, 0, 0, 0, 0}, {64, 64, 64, 0, 0, 0}},
        {"EC0", 0xC0, false, {1, 0, 0, 0, 0, 0}, {64, 64, 64, 64, 64, 64}},
        {"EC6", 0xC6, false, {1, 0, 0, 0, 0, 0}, {64, 64, 64, 64, 64, 64}},
        {"EC8 with EE1", 0xC8, true, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {64, 64, 64, 64, 64, 64, 64, 64, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(0, 0) = {49, 1, 0, 0x0E, c.param};
        if (c.delay) m.patterns[0].At(0, 1) = {0, 0, 0, 0x0E, 0xE1};
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        std::vector<lumbo::Channel> t = TraceChannel(song.get(), 0, int(c.volumes.size()));
        EXPECT_EQ(Triggers(t), c.triggers) << c.name;
        EXPECT_EQ(Volumes(t), c.volumes) << c.name;
    }
}

TEST(ProcessTick, MultiRetrigger) {
    // Rxy: x the volume mode, y the interval. Row 0 sets the starting volume.
    struct Case { const char* name; xm::Cell row0, row1; std::vector<int32_t> triggers, volumes; } cases[] = {
        {"mode 6 from 64", {49, 1, 0, 0, 0}, {0, 0, 0, 27, 0x61}, {0, 1, 1, 1, 1, 1}, {64, 42, 28, 18, 12, 8}},
        {"mode 14 from 50", {49, 1, 0x42, 0, 0}, {0, 0, 0, 27, 0xE1}, {0, 1, 1, 1, 1, 1}, {50, 64, 64, 64, 64, 64}},
        {"mode 7 halves", {49, 1, 0, 0, 0}, {0, 0, 0, 27, 0x71}, {0, 1, 1, 1, 1, 1}, {64, 32, 16, 8, 4, 2}},
        {"mode 15 doubles", {49, 1, 0x24, 0, 0}, {0, 0, 0, 27, 0xF2}, {0, 0, 1, 0, 1, 0}, {20, 20, 40, 40, 64, 64}},
        {"mode 5 stops at 0", {49, 1, 0, 0, 0}, {0, 0, 0, 27, 0x51}, {0, 1, 1, 1, 1, 1}, {64, 48, 32, 16, 0, 0}},
        {"mode 11 adds 4", {49, 1, 0x30, 0, 0}, {0, 0, 0, 27, 0xB3}, {0, 0, 0, 1, 0, 0}, {32, 32, 32, 36, 36, 36}},
        {"mode 8 clamps C50", {49, 1, 0, 0x0C, 0x50}, {0, 0, 0, 27, 0x81}, {0, 1, 1, 1, 1, 1}, {80, 64, 64, 64, 64, 64}},
        {"mode 0 keeps C50", {49, 1, 0, 0x0C, 0x50}, {0, 0, 0, 27, 0x02}, {0, 0, 1, 0, 1, 0}, {80, 80, 80, 80, 80, 80}},
        {"interval 0 never", {49, 1, 0, 0, 0}, {0, 0, 0, 27, 0x10}, {0, 0, 0, 0, 0, 0}, {64, 64, 64, 64, 64, 64}},
        {"R00 recalls the last", {49, 1, 0, 27, 0x12}, {0, 0, 0, 27, 0x00}, {0, 0, 1, 0, 1, 0}, {62, 62, 61, 61, 60, 60}},
    };
    for (const Case& c : cases) {
        std::vector<lumbo::Channel> t = PlayRows(SequencerModule(), c.row0, c.row1, 2);
        t.erase(t.begin(), t.begin() + 6);
        EXPECT_EQ(Triggers(t), c.triggers) << c.name;
        EXPECT_EQ(Volumes(t), c.volumes) << c.name;
    }
}

TEST(ProcessTick, MultiRetriggerModeZeroLeavesTheVolumeUntouched) {
    std::vector<lumbo::Channel> t = PlayRows(SequencerModule(), {49, 1, 0, 27, 0x02});
    EXPECT_TRUE(t[2].updateFlags & UpdateTrigger);
    EXPECT_FALSE(t[2].updateFlags & UpdateVolume);
}

TEST(ProcessTick, PanningSlides) {
    // The volume column's slides do not clamp (the voice is held at the edge);
    // Pxy clamps to 0..255.
    struct Case { const char* name; xm::Cell row1; std::vector<int32_t> panning; int32_t voicePanning; } cases[] = {
        {"column E8", {0, 0, 0xE8, 0, 0}, {258, 266, 274, 282, 290, 298}, 255},
        {"column D8", {0, 0, 0xD8, 0, 0}, {242, 234, 226, 218, 210, 202}, 202},
        {"P80", {0, 0, 0, 25, 0x80}, {250, 255, 255, 255, 255, 255}, 255},
        {"P0F", {0, 0, 0, 25, 0x0F}, {250, 235, 220, 205, 190, 175}, 175},
        {"P44: up wins", {0, 0, 0, 25, 0x44}, {250, 254, 255, 255, 255, 255}, 255},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(0, 0) = {49, 1, 0, 8, 0xFA};
        m.patterns[0].At(1, 0) = c.row1;
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTicks(song.get(), 6);
        std::vector<lumbo::Channel> t = TraceChannel(song.get(), 0, 6);
        EXPECT_EQ(Field(t, [](const lumbo::Channel& ch) { return ch.panning; }), c.panning) << c.name;
        EXPECT_EQ(VoiceOf(0).panning, c.voicePanning) << c.name;
    }
}

TEST(ProcessTick, GlobalVolumeSlide) {
    struct Case { const char* name; xm::Cell row0, row1; std::vector<int32_t> global; } cases[] = {
        {"H01", {49, 1, 0, 0, 0}, {0, 0, 0, 17, 0x01}, {64, 63, 62, 61, 60, 59}},
        {"H10 stays at 64", {49, 1, 0, 0, 0}, {0, 0, 0, 17, 0x10}, {64, 64, 64, 64, 64, 64}},
        {"H00 recalls H20", {49, 1, 0, 17, 0x20}, {0, 0, 0, 17, 0x00}, {64, 64, 64, 64, 64, 64}},
        {"G02 then H03 stops at 0", {49, 1, 0, 16, 0x02}, {0, 0, 0, 17, 0x03}, {2, 0, 0, 0, 0, 0}},
        {"G10 then H21: up wins", {49, 1, 0, 16, 0x10}, {0, 0, 0, 17, 0x21}, {16, 18, 20, 22, 24, 26}},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(0, 0) = c.row0;
        m.patterns[0].At(1, 0) = c.row1;
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTicks(song.get(), 6);
        std::vector<int32_t> global;
        for (int tick = 0; tick < 6; ++tick) {
            StepTick(song.get());
            global.push_back(song->globalVolume);
        }
        EXPECT_EQ(global, c.global) << c.name;
    }
}

TEST(ProcessTick, TremorSilencesTheOffPhase) {
    // T12: on 2 ticks, off 3, counting from tick 0 of the row.
    std::vector<lumbo::Channel> t = PlayRows(SequencerModule(), {49, 1, 0, 29, 0x12});
    EXPECT_EQ(Field(t, [](const lumbo::Channel& c) { return c.volumeOffset; }),
              (std::vector<int32_t>{0, 0, -64, -64, -64, 0}));
}

TEST(ProcessTick, VibratoWithVolumeSlideContinuesThePhase) {
    // 4F8 on row 0 leaves the phase at 11; 602 on row 1 keeps the vibrato
    // going (phases 11, 11, 26, -23, -8, 7 at depth 8) and slides down by 2.
    std::vector<lumbo::Channel> t = PlayRows(SequencerModule(), {49, 1, 0, 4, 0xF8}, {0, 0, 0, 6, 0x02}, 2);
    t.erase(t.begin(), t.begin() + 6);
    EXPECT_EQ(PeriodOffsets(t), (std::vector<int32_t>{-56, -56, -32, 48, 44, -40}));
    EXPECT_EQ(Volumes(t), (std::vector<int32_t>{64, 62, 60, 58, 56, 54}));
}

TEST(ProcessTick, WaveformControlKeepsThePhaseAcrossNotes) {
    // Row 1 runs vibrato 48F and tremolo 78F on two channels (phase -24 after
    // five steps of 8); row 2 brings a new instrument number. Nibbles of 4
    // and more keep the phase, 0..3 restart it.
    struct Case { uint8_t vibratoControl, tremoloControl; int32_t vibrato, tremolo; } cases[] = {
        {0x40, 0x70, 0, 0}, {0x44, 0x74, -24, -24}, {0x47, 0x73, -24, 0}, {0x41, 0x7F, 0, -24},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(0, 0) = {49, 1, 0, 0x0E, c.vibratoControl};
        m.patterns[0].At(0, 1) = {49, 1, 0, 0x0E, c.tremoloControl};
        m.patterns[0].At(1, 0) = {0, 0, 0, 4, 0x8F};
        m.patterns[0].At(1, 1) = {0, 0, 0, 7, 0x8F};
        m.patterns[0].At(2, 0) = {49, 1, 0, 0, 0};
        m.patterns[0].At(2, 1) = {49, 1, 0, 0, 0};
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTicks(song.get(), 13);
        EXPECT_EQ(ChannelAt(0).vibratoPosition, c.vibrato) << std::hex << int(c.vibratoControl);
        EXPECT_EQ(ChannelAt(1).tremoloPosition, c.tremolo) << std::hex << int(c.tremoloControl);
        EXPECT_EQ(ChannelAt(0).waveformControl, c.vibratoControl & 0x0F);
        EXPECT_EQ(ChannelAt(1).waveformControl, (c.tremoloControl & 0x0F) << 4);
    }
}

TEST(Effects, UnusedNumbersChangeNothing) {
    // Each of these, with parameter 0xFF (or as Exy), must leave the channel
    // and the song exactly as a cell without an effect does.
    auto play = [](uint8_t effect, uint8_t param) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(0, 0) = {49, 1, 0x30, 0, 0};
        m.patterns[0].At(1, 0) = {0, 0, 0, effect, param};
        SongPtr song = StartSong(m);
        std::vector<lumbo::Channel> t = TraceChannel(song.get(), 0, 12);
        for (lumbo::Channel& ch : t) ch.lastEffect = 0;
        return std::make_pair(t, std::vector<int32_t>{song->speed, song->tempo, song->globalVolume,
                                                      song->patternDelayTicks, song->nextRow, song->nextOrder});
    };
    auto baseline = play(0, 0);
    struct Case { uint8_t effect, param; } cases[] = {
        {18, 0xFF}, {19, 0xFF}, {22, 0xFF}, {23, 0xFF}, {24, 0xFF}, {26, 0xFF}, {28, 0xFF}, {30, 0xFF},
        {31, 0xFF}, {32, 0xFF}, {34, 0xFF}, {35, 0xFF}, {0x0E, 0x0F}, {0x0E, 0x3F}, {0x0E, 0xFF}, {20 + 200, 0xFF},
    };
    for (const Case& c : cases) {
        auto result = play(c.effect, c.param);
        EXPECT_EQ(result.second, baseline.second) << "effect " << int(c.effect);
        ASSERT_EQ(result.first.size(), baseline.first.size());
        for (size_t i = 0; i < result.first.size(); ++i) {
            EXPECT_EQ(AllFields(result.first[i]), AllFields(baseline.first[i]))
                << "effect " << int(c.effect) << " param " << int(c.param) << " tick " << i;
        }
    }
}

}  // namespace
}  // namespace lumbo_test
