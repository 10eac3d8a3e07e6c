// Tick 0 of a row: notes, instruments, the volume column, release, and the
// tick-0 side of the effects, checked channel and voice field by field.
#include <gtest/gtest.h>

#include "sequencer/row.h"
#include "sequencer/tick_driver.h"
#include "support/sequencer_harness.h"

namespace lumbo_test {
namespace {

using lumbo::UpdatePitch;
using lumbo::UpdateRewind;
using lumbo::UpdateTrigger;
using lumbo::UpdateVolume;

constexpr uint8_t kOff = xm::kKeyOff;

// Adds an instrument whose one looped sample has these defaults.
void AddInstrument(xm::Module& m, uint8_t volume, int8_t relativeNote = 0, int8_t finetune = 0) {
    xm::Instrument& instrument = m.AddInstrument();
    xm::Sample sample = LoopedSample();
    sample.volume = volume;
    sample.relativeNote = relativeNote;
    sample.finetune = finetune;
    instrument.samples.push_back(sample);
}

TEST(ProcessRow, NoteTakesPeriodFromSampleRelativeNoteAndFinetune) {
    // Linear: 7680 - 64 x realNote - finetune / 2 (truncated). Amiga: the
    // periods of note 48 (1712), with finetune 127 and -128, and note 60.
    struct Case { uint16_t flags; uint8_t note; int8_t relative, finetune; int realNote, period; } cases[] = {
        {1, 49, 0, 0, 48, 4608},      {1, 49, 0, -3, 48, 4609},    {1, 49, -60, 0, 244, -7936},
        {1, 1, 0, 0, 0, 7680},        {1, 96, 0, 127, 95, 1537},   {0, 49, 0, 0, 48, 1712},
        {0, 49, 0, 127, 48, 1617},    {0, 49, 0, -128, 48, 1814},  {0, 61, 0, 0, 60, 856},
        {0, 37, 12, 0, 48, 1712},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.flags = c.flags;
        m.instruments[0].samples[0].relativeNote = c.relative;
        m.instruments[0].samples[0].finetune = c.finetune;
        m.patterns[0].At(0, 0) = {c.note, 1, 0, 0, 0};
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTick(song.get());
        const lumbo::Channel& ch = ChannelAt(0);
        SCOPED_TRACE(testing::Message() << "note " << int(c.note) << " flags " << c.flags);
        EXPECT_EQ(ch.realNote, c.realNote);
        EXPECT_EQ(ch.notePeriod, c.period);
        EXPECT_EQ(ch.period, c.period);
        EXPECT_EQ(ch.note, c.note - 1);
        EXPECT_TRUE(ch.updateFlags & UpdateTrigger);
        EXPECT_EQ(VoiceOf(0).sample, song->instruments[0].samples[0]);
    }
}

TEST(ProcessRow, TonePortamentoRowGlidesWithTheOldNoteAndInstrument) {
    // Row 1 names note 61 and instrument 2 with 310 (effect 5 keeps the
    // speed set before): the channel keeps instrument 1, note 48 and period
    // 4608, takes the new target with instrument 1's sample (relative note
    // 0, not instrument 2's 12), and applies instrument 1's defaults.
    for (uint8_t effect : {3, 5}) {
        xm::Module m = SequencerModule();
        m.instruments.clear();
        AddInstrument(m, 40);
        AddInstrument(m, 20, 12);
        // Row 0 takes the note at once: the column's glide sets speed 16 and
        // holds back the attack; C10 sets volume 16.
        m.patterns[0].At(0, 0) = {49, 1, 0xF1, 0x0C, 0x10};
        m.patterns[0].At(1, 0) = {61, 2, 0, effect, uint8_t(effect == 3 ? 0x10 : 0x00)};
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTicks(song.get(), 6);
        const lumbo::Voice* before = &VoiceOf(0);
        StepTick(song.get());
        const lumbo::Channel& ch = ChannelAt(0);
        SCOPED_TRACE(testing::Message() << "effect " << int(effect));
        EXPECT_EQ(ch.instrumentIndex, 0);
        EXPECT_EQ(ch.note, 48);
        EXPECT_EQ(ch.period, 4608);
        EXPECT_EQ(ch.realNote, 60);
        EXPECT_EQ(ch.notePeriod, 3840);
        EXPECT_EQ(ch.tonePortaTarget, 3840);
        EXPECT_EQ(ch.tonePortaSpeed, 0x10);
        EXPECT_EQ(ch.volume, 40);
        EXPECT_FALSE(ch.updateFlags & UpdateTrigger);
        EXPECT_EQ(&VoiceOf(0), before);
        for (int tick = 1; tick < 6; ++tick) {
            StepTick(song.get());
            EXPECT_EQ(ChannelAt(0).period, 4608 - 64 * tick);
        }
    }
}

TEST(ProcessRow, TonePortamentoVolumeCommand) {
    // With a note in the cell the note is taken at once and the glide has
    // nothing to do (no new attack); without one it glides to notePeriod.
    xm::Module m = SequencerModule();
    m.patterns[0].At(0, 0) = {49, 1, 0, 0, 0};
    m.patterns[0].At(1, 0) = {61, 0, 0xF2, 0, 0};
    m.patterns[0].At(2, 0) = {49, 0, 0, 0x03, 0x00};  // target 4608, speed kept
    m.patterns[0].At(3, 0) = {0, 0, 0xF4, 0, 0};      // speed 64
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTicks(song.get(), 6);
    const lumbo::Voice* before = &VoiceOf(0);
    StepTick(song.get());
    EXPECT_EQ(ChannelAt(0).period, 3840);
    EXPECT_EQ(ChannelAt(0).tonePortaTarget, 3840);
    EXPECT_EQ(ChannelAt(0).tonePortaSpeed, 32);
    EXPECT_FALSE(ChannelAt(0).updateFlags & UpdateTrigger);
    EXPECT_EQ(&VoiceOf(0), before);
    StepTicks(song.get(), 5 + 6);
    EXPECT_EQ(ChannelAt(0).period, 3840 + 5 * 128);  // row 2 glides at speed 32 toward 4608
    std::vector<int32_t> periods;
    for (const lumbo::Channel& ch : TraceChannel(song.get(), 0, 6)) periods.push_back(ch.period);
    EXPECT_EQ(periods, (std::vector<int32_t>{4480, 4608, 4608, 4608, 4608, 4608}));
}

TEST(ProcessRow, InstrumentWithoutNoteResetsDefaultsWithoutTrigger) {
    xm::Module m = SequencerModule();
    m.instruments.clear();
    AddInstrument(m, 40);
    AddInstrument(m, 20);
    m.patterns[0].At(0, 0) = {49, 1, 0x50, 0x08, 0x20};
    m.patterns[0].At(1, 0) = {0, 2, 0, 0, 0};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTicks(song.get(), 6);
    EXPECT_EQ(ChannelAt(0).volume, 64);
    EXPECT_EQ(ChannelAt(0).panning, 0x20);
    const lumbo::Voice* before = &VoiceOf(0);
    StepTick(song.get());
    EXPECT_EQ(ChannelAt(0).instrumentIndex, 1);
    EXPECT_EQ(ChannelAt(0).volume, 20);
    EXPECT_EQ(ChannelAt(0).panning, 128);
    EXPECT_EQ(ChannelAt(0).period, 4608);
    EXPECT_FALSE(ChannelAt(0).updateFlags & UpdateTrigger);
    EXPECT_EQ(&VoiceOf(0), before);
    EXPECT_EQ(VoiceOf(0).sample, song->instruments[0].samples[0]);  // still the old sound
}

TEST(ProcessRow, KeyOffReleasesTheNote) {
    // No volume envelope: the release silences at once (envelope level 0)
    // and the fadeout (file 100, so 200 per tick) starts on the same tick.
    struct Case { const char* name; xm::Cell row1; xm::Cell row2; int keyOff, level, fadeout; } cases[] = {
        {"key-off note", {kOff, 0, 0, 0, 0}, {}, 1, 0, 0x10000 - 200 * 7},
        {"key-off with instrument", {kOff, 1, 0, 0, 0}, {}, 1, 0, 0x10000 - 200 * 7},
        {"K00", {0, 0, 0, 20, 0}, {}, 1, 0, 0x10000 - 200 * 7},
        {"note after key-off keeps it", {kOff, 0, 0, 0, 0}, {49, 0, 0, 0, 0}, 1, 0, 0x10000 - 200 * 7},
        {"instrument after key-off clears it", {kOff, 0, 0, 0, 0}, {49, 1, 0, 0, 0}, 0, 64, 0x10000},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.instruments[0].fadeout = 100;
        m.patterns[0].At(0, 0) = {49, 1, 0, 0, 0};
        m.patterns[0].At(1, 0) = c.row1;
        m.patterns[0].At(2, 0) = c.row2;
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTicks(song.get(), 13);  // through tick 0 of row 2
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChannelAt(0).keyOff, c.keyOff);
        EXPECT_EQ(ChannelAt(0).volEnvLevel, c.level);
        EXPECT_EQ(ChannelAt(0).fadeoutVolume, c.fadeout);
    }
}

TEST(ProcessRow, TremoloOffsetStaysInTheVolumeWhenTremoloEnds) {
    // 748 from volume 20: ticks 1..5 at phases 0, 4, 8, 12, 16 give offsets
    // 0, 12, 22, 29, 32 (8 x nearest(|256 sin(2 p 0.049087375)|) >> 6).
    struct Case { uint8_t effect, param; int volume; } cases[] = {{0, 0, 52}, {7, 0x48, 20}, {10, 0x01, 52}};
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.instruments[0].samples[0].volume = 20;
        m.patterns[0].At(0, 0) = {49, 1, 0, 7, 0x48};
        m.patterns[0].At(1, 0) = {0, 0, 0, c.effect, c.param};
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        std::vector<int32_t> offsets;
        for (const lumbo::Channel& ch : TraceChannel(song.get(), 0, 6)) offsets.push_back(ch.volumeOffset);
        EXPECT_EQ(offsets, (std::vector<int32_t>{0, 0, 12, 22, 29, 32}));
        StepTick(song.get());
        EXPECT_EQ(ChannelAt(0).volume, c.volume) << "effect " << int(c.effect);
        EXPECT_EQ(ChannelAt(0).volumeOffset, 0);
    }
}

TEST(ProcessRow, VolumeColumnSlidesOnTickZeroToo) {
    // Volumes over ticks 0..5 of row 1; row 0 sets the starting point.
    struct Case {
        const char* name;
        xm::Cell row0, row1;
        std::vector<int32_t> volumes;
    } cases[] = {
        {"column slide down", {49, 1, 0, 0, 0}, {0, 0, 0x61, 0, 0}, {63, 62, 61, 60, 59, 58}},
        {"A01", {49, 1, 0, 0, 0}, {0, 0, 0, 0x0A, 0x01}, {64, 63, 62, 61, 60, 59}},
        {"column slide up stops at 64", {49, 1, 0x4E, 0, 0}, {0, 0, 0x71, 0, 0}, {63, 64, 64, 64, 64, 64}},
        {"column fine down", {49, 1, 0, 0, 0}, {0, 0, 0x83, 0, 0}, {61, 61, 61, 61, 61, 61}},
        {"column fine up", {49, 1, 0x30, 0, 0}, {0, 0, 0x93, 0, 0}, {35, 35, 35, 35, 35, 35}},
        {"column slide down stops at 0", {49, 1, 0x13, 0, 0}, {0, 0, 0x62, 0, 0}, {1, 0, 0, 0, 0, 0}},
        {"A10 after C50", {49, 1, 0, 0x0C, 0x50}, {0, 0, 0, 0x0A, 0x10}, {80, 64, 64, 64, 64, 64}},
        {"A01 after C50", {49, 1, 0, 0x0C, 0x50}, {0, 0, 0, 0x0A, 0x01}, {80, 79, 78, 77, 76, 75}},
        {"A00 recalls 35: up wins", {49, 1, 0x30, 0x0A, 0x35}, {0, 0, 0, 0x0A, 0x00}, {47, 50, 53, 56, 59, 62}},
        {"EA2 and EB0 memory", {49, 1, 0x30, 0x0E, 0xA2}, {0, 0, 0, 0x0E, 0xB0}, {32, 32, 32, 32, 32, 32}},
        {"C40 then column 0x51 does nothing", {49, 1, 0, 0x0C, 0x28}, {0, 0, 0x51, 0, 0}, {40, 40, 40, 40, 40, 40}},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(0, 0) = c.row0;
        m.patterns[0].At(1, 0) = c.row1;
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTicks(song.get(), 6);
        std::vector<int32_t> volumes;
        for (const lumbo::Channel& ch : TraceChannel(song.get(), 0, 6)) volumes.push_back(ch.volume);
        EXPECT_EQ(volumes, c.volumes) << c.name;
    }
}

TEST(ProcessRow, TriggerClearedByGlideOffsetPastTheLoopAndNoteDelay) {
    // A note on a fresh channel, with each of these; the sample has 1024 frames.
    struct Case { const char* name; xm::Cell cell; bool trigger, rewind; uint32_t position; } cases[] = {
        {"plain note", {49, 1, 0, 0, 0}, true, false, 0},
        {"tone portamento", {49, 1, 0, 0x03, 0x10}, false, false, 0},
        {"tone portamento + slide", {49, 1, 0, 0x05, 0x00}, false, false, 0},
        {"tone portamento column", {49, 1, 0xF0, 0, 0}, false, false, 0},
        {"offset inside", {49, 1, 0, 0x09, 0x03}, true, false, 0x300},
        {"offset at the loop end", {49, 1, 0, 0x09, 0x04}, false, true, 0},
        {"note delay", {49, 1, 0, 0x0E, 0xD2}, false, false, 0},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(0, 0) = c.cell;
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTick(song.get());
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bool(ChannelAt(0).updateFlags & UpdateTrigger), c.trigger);
        EXPECT_EQ(bool(ChannelAt(0).updateFlags & UpdateRewind), c.rewind);
        EXPECT_EQ(VoiceOf(0).sample != nullptr, c.trigger);
        EXPECT_EQ(uint32_t(VoiceOf(0).position), c.position);
    }
}

TEST(ProcessRow, SampleOffsetWaitsInTheVoiceForTheNextTrigger) {
    xm::Module m = SequencerModule();
    m.patterns[0].At(0, 0) = {0, 0, 0, 0x09, 0x02};
    m.patterns[0].At(2, 0) = {49, 1, 0, 0, 0};
    m.patterns[0].At(3, 0) = {49, 1, 0, 0x09, 0x00};  // memory: 0x200 again
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTick(song.get());
    EXPECT_EQ(VoiceOf(0).startOffset, 0x200u);
    StepTicks(song.get(), 12);
    EXPECT_EQ(VoiceOf(0).position, 0x200);
    EXPECT_EQ(VoiceOf(0).startOffset, 0u);
    StepTicks(song.get(), 6);
    EXPECT_EQ(VoiceOf(0).position, 0x200);
    EXPECT_EQ(ChannelAt(0).sampleOffsetMemory, 2);
}

TEST(ProcessRow, GlobalVolumeReachesOnlyTheChannelsAfterIt) {
    // G20 in channel 2: channels 2 and 3 hand volume 64 x 64 x 0x10000 x 32
    // (63.75 -> 64) to their voices on this tick, channels 0 and 1 keep 128
    // (127.5 -> 128) until the next row start.
    xm::Module m = SequencerModule();
    for (int ch = 0; ch < 4; ++ch) m.patterns[0].At(0, ch) = {49, 1, 0, 0, 0};
    m.patterns[0].At(1, 2) = {0, 0, 0, 0x10, 0x20};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTicks(song.get(), 7);
    EXPECT_EQ(song->globalVolume, 0x20);
    int32_t expected[] = {128, 128, 64, 64};
    for (int tick = 0; tick < 6; ++tick) {
        for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(VoiceOf(ch).volume, expected[ch]) << "channel " << ch;
        StepTick(song.get());
    }
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(VoiceOf(ch).volume, 64) << "channel " << ch;

    m.patterns[0].At(1, 2).param = 0x50;  // above 64: 64
    song = StartSong(m);
    StepTicks(song.get(), 7);
    EXPECT_EQ(song->globalVolume, 64);
}

TEST(ProcessRow, SetFinetuneHoldsForTheSampleNotTheLoadedSong) {
    // E5F after the note: this note keeps 4608; a later note of the same
    // sample, on another channel, gets 4608 - 15 / 2 = 4601. The loaded
    // sample keeps its finetune, and a reset brings 0 back.
    xm::Module m = SequencerModule();
    m.patterns[0].At(0, 0) = {49, 1, 0, 0x0E, 0x5F};
    m.patterns[0].At(1, 1) = {49, 1, 0, 0, 0};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTick(song.get());
    EXPECT_EQ(ChannelAt(0).period, 4608);
    EXPECT_EQ(HarnessPlayer().finetunes[0][0], 15);
    EXPECT_EQ(song->instruments[0].samples[0]->finetune, 0);
    StepTicks(song.get(), 6);
    EXPECT_EQ(ChannelAt(1).period, 4601);
    lumbo::ResetSongState(HarnessPlayer());
    EXPECT_EQ(HarnessPlayer().finetunes[0][0], 0);
}

TEST(ProcessRow, PanningCommands) {
    struct Case { const char* name; xm::Cell cell; int32_t panning; } cases[] = {
        {"8C0", {49, 1, 0, 0x08, 0xC0}, 0xC0},         {"E8F", {49, 1, 0, 0x0E, 0x8F}, 240},
        {"column CF", {49, 1, 0xCF, 0, 0}, 240},       {"column D3", {49, 1, 0xD3, 0, 0}, 125},
        {"column E3", {49, 1, 0xE3, 0, 0}, 131},       {"P30 moves nothing yet", {49, 1, 0, 0x19, 0x30}, 128},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(0, 0) = c.cell;
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTick(song.get());
        EXPECT_EQ(ChannelAt(0).panning, c.panning) << c.name;
        EXPECT_TRUE(ChannelAt(0).updateFlags & lumbo::UpdatePanning) << c.name;
    }
}

TEST(ProcessRow, NoteDelayStartsTheNoteAtTickXWithFullDefaults) {
    // Row 0: C-4 at volume 16. Row 1: key-off. Row 2: ED3 with note 61,
    // volume column 0x30 and no instrument number.
    xm::Module m = SequencerModule();
    m.patterns[0].At(0, 0) = {49, 1, 0x20, 0, 0};
    m.patterns[0].At(1, 0) = {kOff, 0, 0, 0, 0};
    m.patterns[0].At(2, 0) = {61, 0, 0x30, 0x0E, 0xD3};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTicks(song.get(), 12);
    const lumbo::Voice* before = &VoiceOf(0);
    std::vector<lumbo::Channel> trace = TraceChannel(song.get(), 0, 6);
    for (int tick : {0, 1, 2, 4, 5}) {
        EXPECT_EQ(trace[tick].updateFlags, UpdatePitch) << "tick " << tick;  // auto-vibrato only
    }
    EXPECT_EQ(trace[0].volume, 16);
    EXPECT_EQ(trace[0].period, 4608);
    EXPECT_EQ(trace[0].note, 60);
    EXPECT_EQ(trace[0].notePeriod, 3840);
    EXPECT_EQ(trace[2].keyOff, 1);
    EXPECT_EQ(trace[3].updateFlags & lumbo::UpdateLowFour,
              UpdatePitch | UpdateVolume | lumbo::UpdatePanning | UpdateTrigger);
    EXPECT_EQ(trace[3].period, 3840);
    EXPECT_EQ(trace[3].volume, 32);  // defaults (64), then the column again
    EXPECT_EQ(trace[3].keyOff, 0);
    EXPECT_EQ(trace[3].volEnvLevel, 64);
    EXPECT_EQ(trace[3].fadeoutVolume, 0x10000);
    EXPECT_NE(&VoiceOf(0), before);  // the held note started in the partner voice
    EXPECT_EQ(VoiceOf(0).index, before->index ^ 32);
}

TEST(ProcessRow, NoteDelayPastTheRowNeverStarts) {
    for (uint8_t param : {0xD0, 0xD6}) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(0, 0) = {49, 1, 0, 0x0E, param};
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        for (const lumbo::Channel& ch : TraceChannel(song.get(), 0, 6)) {
            EXPECT_FALSE(ch.updateFlags & UpdateTrigger) << "ED" << (param & 15);
        }
        EXPECT_EQ(VoiceOf(0).sample, nullptr);
    }
}

TEST(ProcessRow, SetEnvelopePosition) {
    // Volume envelope (0,64), (10,0): a segment of -419430 (-6.4 in 16.16).
    struct Case { uint8_t param; int32_t point, tick, level, value; int done; int32_t levelAfterTick1; } cases[] = {
        {5, 1, 5, 32, 64 * 65536 - 5 * 419430, 0, 25},
        {10, 1, 10, 0, 64 * 65536 - 10 * 419430, 0, 0},
        {0, 1, 0, 64, 64 * 65536, 0, 57},
        {20, 2, 0, 0, -1, 1, 0},
    };
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.instruments[0].volume.points = {{0, 64}, {10, 0}};
        m.instruments[0].volume.on = true;
        m.patterns[0].At(0, 0) = {49, 1, 0, 0, 0};
        m.patterns[0].At(1, 0) = {0, 0, 0, 21, c.param};
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTicks(song.get(), 7);
        const lumbo::Channel& ch = ChannelAt(0);
        SCOPED_TRACE(testing::Message() << "L" << int(c.param));
        EXPECT_EQ(ch.volEnvPoint, c.point);
        EXPECT_EQ(ch.volEnvLevel, c.level);
        EXPECT_EQ(ch.volEnvDone, c.done);
        if (!c.done) {
            EXPECT_EQ(ch.volEnvTick, c.tick);
            EXPECT_EQ(ch.volEnvStep, -419430);
            EXPECT_EQ(ch.volEnvValue, c.value);
        }
        StepTick(song.get());
        EXPECT_EQ(ChannelAt(0).volEnvLevel, c.levelAfterTick1);
    }
}

TEST(ProcessRow, SetEnvelopePositionNeedsAVolumeEnvelope) {
    xm::Module m = SequencerModule();
    m.patterns[0].At(0, 0) = {49, 1, 0, 21, 5};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTick(song.get());
    EXPECT_EQ(ChannelAt(0).volEnvLevel, 64);
    EXPECT_EQ(ChannelAt(0).volEnvTick, 0);
}

}  // namespace
}  // namespace lumbo_test
