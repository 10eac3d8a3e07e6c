// A module written field by field comes back field by field.
#include <gtest/gtest.h>

#include "support/song_fixture.h"

namespace {

using lumbo::Song;
using lumbo_test::Load;

xm::Module RichModule() {
    xm::Module m;
    m.channels = 3;
    m.flags = 1;
    m.speed = 5;
    m.tempo = 140;
    m.restartPosition = 1;
    m.orders = {1, 0, 1};
    xm::Pattern& p0 = m.AddPattern(2);
    p0.At(0, 0) = {49, 1, 0x40, 0x0C, 0x20};
    p0.At(1, 2) = {xm::kKeyOff, 0, 0, 0x0F, 0x03};
    xm::Pattern& p1 = m.AddPattern(3);
    p1.At(2, 1) = {60, 2, 0, 0, 0};

    xm::Instrument& a = m.AddInstrument("lead");
    a.samples.push_back(xm::Sample::Pcm8({0, 10, 20, 30}));
    a.samples.back().volume = 48;
    a.samples.back().finetune = -16;
    a.samples.back().panning = 200;
    a.samples.back().relativeNote = -12;
    a.samples.push_back(xm::Sample::Pcm16({1000, -1000, 5, 7, 9, 11}).Loop(2, 3, 1));
    for (int n = 0; n < 96; ++n) a.noteSampleMap[n] = n < 48 ? 0 : 1;
    a.volume.points = {{0, 64}, {10, 32}, {20, 0}};
    a.volume.on = a.volume.sustain = a.volume.loop = true;
    a.volume.sustainPoint = 1;
    a.volume.loopStart = 0;
    a.volume.loopEnd = 2;
    a.panning.points = {{0, 32}, {5, 60}};
    a.panning.on = true;
    a.vibratoType = 2;
    a.vibratoSweep = 3;
    a.vibratoDepth = 4;
    a.vibratoRate = 5;
    a.fadeout = 0x0FFF;
    m.AddInstrument("empty");
    return m;
}

TEST(LoaderLayout, HeaderOrderTableAndPatterns) {
    auto song = Load(RichModule());
    ASSERT_TRUE(song);
    EXPECT_EQ(song->songLength, 3);
    EXPECT_EQ(song->restartPosition, 1);
    EXPECT_EQ(song->channelCount, 3);
    EXPECT_EQ(song->instrumentCount, 2);
    EXPECT_EQ(song->flags, 1);
    EXPECT_EQ(song->defaultSpeed, 5);
    EXPECT_EQ(song->defaultTempo, 140);
    EXPECT_EQ(song->initialGlobalVolume, 64);
    EXPECT_EQ(song->orderTable[0], 1);
    EXPECT_EQ(song->orderTable[2], 1);
    EXPECT_EQ(song->usedPatternCount, 2);
    EXPECT_EQ(song->patternSlots, 2);

    const lumbo::Pattern& p0 = song->patterns[0];
    ASSERT_EQ(p0.rowCount, 2);
    const lumbo::Cell& c = p0.cells[0];
    EXPECT_EQ(c.note, 49);
    EXPECT_EQ(c.instrument, 1);
    EXPECT_EQ(c.volumeCommand, 0x40);
    EXPECT_EQ(c.effect, 0x0C);
    EXPECT_EQ(c.effectParam, 0x20);
    const lumbo::Cell& off = p0.cells[1 * 3 + 2];
    EXPECT_EQ(off.note, 255) << "key-off is stored as 255";
    EXPECT_EQ(off.effect, 0x0F);
    EXPECT_EQ(off.effectParam, 3);
    EXPECT_EQ(song->patterns[1].rowCount, 3);
    EXPECT_EQ(song->patterns[1].cells[2 * 3 + 1].note, 60);
    EXPECT_EQ(song->patterns[1].cells[2 * 3 + 1].instrument, 2);
}

TEST(LoaderLayout, InstrumentEnvelopesAndSamples) {
    auto song = Load(RichModule());
    ASSERT_TRUE(song);
    const lumbo::Instrument& a = song->instruments[0];
    EXPECT_EQ(a.sampleCount, 2);
    EXPECT_EQ(a.noteSampleMap[0], 0);
    EXPECT_EQ(a.noteSampleMap[95], 1);
    EXPECT_EQ(a.volumePointCount, 3);
    EXPECT_EQ(a.volumePoints[1].tick, 10);
    EXPECT_EQ(a.volumePoints[1].value, 32);
    EXPECT_EQ(a.volumePoints[12].tick, 0) << "points past the file's 12 stay zero";
    EXPECT_EQ(a.volumeSustain, 1);
    EXPECT_EQ(a.volumeLoopStart, 0);
    EXPECT_EQ(a.volumeLoopEnd, 2);
    EXPECT_EQ(a.volumeEnvelopeFlags, 7);
    EXPECT_EQ(a.panningPointCount, 2);
    EXPECT_EQ(a.panningPoints[1].value, 60);
    EXPECT_EQ(a.panningEnvelopeFlags, 1);
    EXPECT_EQ(a.vibratoType, 2);
    EXPECT_EQ(a.vibratoSweep, 3);
    EXPECT_EQ(a.vibratoDepth, 4);
    EXPECT_EQ(a.vibratoRate, 5);
    EXPECT_EQ(a.fadeout, 0x1FFE) << "fadeout is doubled";
    for (int j = 2; j < 16; ++j) EXPECT_EQ(a.samples[j], &lumbo::placeholderSample);

    const lumbo::Sample& s8 = *a.samples[0];
    EXPECT_EQ(s8.length, 4u);
    EXPECT_EQ(s8.loopMode, 1);
    EXPECT_EQ(s8.loopStart, 0u);
    EXPECT_EQ(s8.loopLength, 4u);
    EXPECT_EQ(s8.bits, 16);
    EXPECT_EQ(s8.volume, 48);
    EXPECT_EQ(s8.finetune, -16);
    EXPECT_EQ(s8.panning, 200);
    EXPECT_EQ(s8.relativeNote, -12);
    EXPECT_EQ(s8.data[3], 30 * 256);
    EXPECT_EQ(s8.data[4], 0) << "no guard frame without a loop";

    const lumbo::Sample& s16 = *a.samples[1];
    EXPECT_EQ(s16.length, 6u);
    EXPECT_EQ(s16.loopMode, 2);
    EXPECT_EQ(s16.loopStart, 2u);
    EXPECT_EQ(s16.loopLength, 3u);
    EXPECT_EQ(s16.data[0], 1000);
    EXPECT_EQ(s16.data[1], -1000);
    EXPECT_EQ(s16.data[5], 5) << "the frame after a forward loop copies the loop start";

    const lumbo::Instrument& empty = song->instruments[1];
    EXPECT_EQ(empty.sampleCount, 0);
    for (int j = 0; j < 16; ++j) EXPECT_EQ(empty.samples[j], &lumbo::placeholderSample);
}

TEST(LoaderLayout, AllThreeCellEncodingsDecodeAlike) {
    for (xm::CellEncoding e : {xm::CellEncoding::Compact, xm::CellEncoding::Masked, xm::CellEncoding::Unpacked}) {
        xm::Module m = RichModule();
        for (xm::Pattern& p : m.patterns) p.encoding = e;
        auto song = Load(m);
        ASSERT_TRUE(song);
        EXPECT_EQ(song->patterns[0].cells[0].effectParam, 0x20);
        EXPECT_EQ(song->patterns[0].cells[5].note, 255);
        EXPECT_EQ(song->patterns[1].cells[7].instrument, 2);
        EXPECT_EQ(song->instruments[0].samples[1]->data[0], 1000) << "the data after the patterns lines up";
    }
}

TEST(LoaderLayout, CellValuesPassOrAreMapped) {
    xm::Module m;
    m.channels = 4;
    m.orders = {0};
    xm::Pattern& p = m.AddPattern(1);
    p.At(0, 0) = {97, 128, 0, 0, 0};   // key-off; instrument 128 stays
    p.At(0, 1) = {98, 129, 0, 0, 0};   // note 98 stays; 129 becomes 0
    p.At(0, 2) = {254, 255, 0, 0, 0};
    p.At(0, 3) = {0, 0, 0, 0x21, 0xFF};
    auto song = Load(m);
    ASSERT_TRUE(song);
    const lumbo::Cell* c = song->patterns[0].cells;
    EXPECT_EQ(c[0].note, 255);
    EXPECT_EQ(c[0].instrument, 128);
    EXPECT_EQ(c[1].note, 98);
    EXPECT_EQ(c[1].instrument, 0);
    EXPECT_EQ(c[2].note, 254);
    EXPECT_EQ(c[2].instrument, 0);
    EXPECT_EQ(c[3].effect, 0x21);
    EXPECT_EQ(c[3].effectParam, 0xFF);
}

TEST(LoaderLayout, OrderTablePaddingAddsEmptyPatterns) {
    xm::Module m;
    m.orders.assign(256, 255);
    for (int i = 0; i < 18; ++i) m.orders[i] = uint8_t(i % 10);
    for (int i = 0; i < 10; ++i) m.AddPattern(32).At(0, 0) = {uint8_t(1 + i), 0, 0, 0, 0};
    auto song = Load(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->usedPatternCount, 256);
    EXPECT_EQ(song->patternSlots, 256);
    EXPECT_EQ(song->patterns[9].rowCount, 32);
    EXPECT_EQ(song->patterns[9].cells[0].note, 10);
    for (int i = 10; i < 256; ++i) {
        ASSERT_EQ(song->patterns[i].rowCount, 64);
        ASSERT_NE(song->patterns[i].cells, nullptr);
        EXPECT_EQ(song->patterns[i].cells[64 * 4 - 1].note, 0);
    }

    // Entries past the song length do not count.
    m.songLengthOverride = 3;
    song = Load(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->usedPatternCount, 3);
    EXPECT_EQ(song->patternSlots, 10);
}

TEST(LoaderLayout, PatternWithoutDataAndShortInstrumentHeaders) {
    xm::Module m;
    m.orders = {0, 1};
    xm::Pattern& empty = m.AddPattern(5);
    empty.storeNoData = true;
    m.AddPattern(2).At(1, 3) = {12, 0, 0, 0, 0};
    // A sample-less instrument consumes exactly its header size, even an odd one.
    m.AddInstrument().headerSizeOverride = 40;
    // One with samples whose header claims less than 241 bytes: read through
    // 240 anyway, then the sample headers come from start + size.
    xm::Instrument& short_header = m.AddInstrument();
    short_header.headerSizeOverride = 243;
    short_header.fadeout = 7;
    short_header.samples.push_back(xm::Sample::Pcm8({1, 2, 3}));
    auto song = Load(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->patterns[0].rowCount, 5);
    EXPECT_EQ(song->patterns[0].cells[19].note, 0);
    EXPECT_EQ(song->patterns[1].cells[7].note, 12) << "the next header follows the 9-byte header directly";
    EXPECT_EQ(song->instruments[0].sampleCount, 0);
    EXPECT_EQ(song->instruments[1].sampleCount, 1);
    EXPECT_EQ(song->instruments[1].fadeout, 14);
    EXPECT_EQ(song->instruments[1].samples[0]->data[2], 3 * 256);
}

TEST(LoaderLayout, ShortInstrumentHeaderSeeksBackForSampleHeaders) {
    xm::Module m;
    m.orders = {0};
    m.AddPattern(1);
    xm::Instrument& ins = m.AddInstrument();
    ins.samples.push_back(xm::Sample::Pcm8({4, 5}));
    ins.headerSizeOverride = 200;  // the writer cuts the header at 200 bytes
    std::vector<uint8_t> file = xm::Write(m);
    auto* song = lumbo::LoadSongFromMemory(file.data(), uint32_t(file.size()));
    ASSERT_NE(song, nullptr);
    // The sample header starts at byte 200 of the instrument: length 2, 8-bit.
    EXPECT_EQ(song->instruments[0].samples[0]->length, 2u);
    EXPECT_EQ(song->instruments[0].samples[0]->data[1], 5 * 256);
    lumbo::FreeSong(song);
}

}  // namespace
