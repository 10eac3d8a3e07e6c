// Sample decoding, loop normalisation and guard frames.
#include <gtest/gtest.h>

#include "support/song_fixture.h"

namespace {

using lumbo_test::Load;

// A module whose one instrument holds the given samples.
xm::Module WithSamples(std::vector<xm::Sample> samples) {
    xm::Module m;
    m.orders = {0};
    m.AddPattern(1);
    m.AddInstrument().samples = std::move(samples);
    return m;
}

xm::Sample Raw(bool sixteen, std::vector<uint8_t> bytes, uint32_t frames) {
    xm::Sample s;
    s.sixteenBit = sixteen;
    s.useRawData = true;
    s.rawData = std::move(bytes);
    s.lengthBytesOverride = frames * (sixteen ? 2 : 1);
    return s;
}

TEST(LoaderSamples, DeltaDecodingAndWidening) {
    struct Case {
        bool sixteen;
        std::vector<uint8_t> bytes;
        std::vector<int16_t> frames;
    } cases[] = {
        {false, {0x10, 0xF0, 0x05}, {4096, 0, 1280}},
        {false, {0x7F, 0x01}, {32512, -32768}},            // the 16-bit sum wraps
        {true, {0x00, 0x01, 0x00, 0xFF}, {256, 0}},
        {true, {0xFF, 0x7F, 0x01, 0x00}, {32767, -32768}},
    };
    for (const Case& c : cases) {
        auto song = Load(WithSamples({Raw(c.sixteen, c.bytes, uint32_t(c.frames.size()))}));
        ASSERT_TRUE(song);
        const lumbo::Sample& s = *song->instruments[0].samples[0];
        ASSERT_EQ(s.length, c.frames.size());
        EXPECT_EQ(s.bits, 16);
        for (size_t k = 0; k < c.frames.size(); ++k) EXPECT_EQ(s.data[k], c.frames[k]) << "frame " << k;
        for (uint32_t k = 0; k < lumbo::kSampleSpareFrames; ++k) EXPECT_EQ(s.data[s.length + k], 0);
        EXPECT_EQ(s.data[-1], 0) << "a silent frame precedes the data";
    }
}

TEST(LoaderSamples, LoopNormalisation) {
    struct Case {
        const char* what;
        xm::Sample sample;
        uint8_t mode;
        uint32_t length, loopStart, loopLength;
    };
    auto pcm8 = [](size_t n) { return xm::Sample::Pcm8(std::vector<int16_t>(n, 1)); };
    auto pcm16 = [](size_t n) { return xm::Sample::Pcm16(std::vector<int16_t>(n, 1)); };
    // A 16-bit loop of one byte halves to nothing.
    xm::Sample odd = pcm16(10).Loop(0, 0, 1);
    odd.loopStartBytesOverride = 4;
    odd.loopLengthBytesOverride = 1;
    // A loop length near 2^32 must not wrap the end check.
    xm::Sample huge = pcm8(10).Loop(2, 0, 1);
    huge.loopLengthBytesOverride = 0xFFFFFFFF;
    const Case cases[] = {
        {"type 0 ignores the header's loop", pcm8(10).Loop(3, 4, 0), 1, 10, 0, 10},
        {"forward", pcm8(10).Loop(3, 4, 1), 2, 10, 3, 4},
        {"ping-pong", pcm8(10).Loop(3, 4, 2), 4, 10, 3, 4},
        {"type 3 is ping-pong", pcm8(10).Loop(3, 4, 3), 4, 10, 3, 4},
        {"16-bit halves bytes to frames", pcm16(10).Loop(3, 4, 1), 2, 10, 3, 4},
        {"zero loop length is no loop", pcm8(10).Loop(3, 0, 1), 1, 10, 0, 10},
        {"16-bit loop of 1 byte", odd, 1, 10, 0, 10},
        {"a loop past the end is cut at the end", pcm8(10).Loop(6, 9, 1), 2, 10, 6, 4},
        {"a loop starting past the end is dropped", pcm8(10).Loop(12, 3, 2), 1, 10, 0, 10},
        {"huge loop length", huge, 2, 10, 2, 8},
    };
    for (const Case& c : cases) {
        auto song = Load(WithSamples({c.sample}));
        ASSERT_TRUE(song) << c.what;
        const lumbo::Sample& s = *song->instruments[0].samples[0];
        EXPECT_EQ(s.loopMode, c.mode) << c.what;
        EXPECT_EQ(s.length, c.length) << c.what;
        EXPECT_EQ(s.loopStart, c.loopStart) << c.what;
        EXPECT_EQ(s.loopLength, c.loopLength) << c.what;
    }
}

TEST(LoaderSamples, GuardFrames) {
    std::vector<int16_t> ramp = {-50, -40, -30, -20, -10, 0, 10, 20};
    auto song = Load(WithSamples({
        xm::Sample::Pcm16(ramp).Loop(2, 3, 1),   // forward, ends before the sample does
        xm::Sample::Pcm16(ramp).Loop(2, 3, 2),   // ping-pong
        xm::Sample::Pcm16(ramp).Loop(4, 4, 1),   // forward to the very end
        xm::Sample::Pcm16(ramp),                 // no loop
    }));
    ASSERT_TRUE(song);
    const lumbo::Instrument& ins = song->instruments[0];
    EXPECT_EQ(ins.samples[0]->data[5], -30) << "replaced by the loop-start frame";
    EXPECT_EQ(ins.samples[0]->data[4], -10);
    EXPECT_EQ(ins.samples[1]->data[5], -10) << "copy of the last loop frame";
    EXPECT_EQ(ins.samples[2]->data[8], -10) << "written into the first spare frame";
    EXPECT_EQ(ins.samples[3]->data[8], 0);
}

TEST(LoaderSamples, EmptySampleHasNoDataAndEnvelopeRules) {
    xm::Module m = WithSamples({xm::Sample::Pcm8({}), xm::Sample::Pcm8({3})});
    xm::Instrument& ins = m.instruments[0];
    ins.volume.points = {{0, 64}};
    ins.volume.on = true;
    ins.panning.points = {{0, 32}, {4, 0}};
    ins.panning.on = true;
    ins.panning.pointCountOverride = 30;   // more than the file holds
    auto song = Load(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->instruments[0].samples[0]->data, nullptr);
    EXPECT_EQ(song->instruments[0].samples[0]->length, 0u);
    EXPECT_EQ(song->instruments[0].samples[1]->data[0], 3 * 256);
    EXPECT_EQ(song->instruments[0].volumeEnvelopeFlags, 0) << "one point: switched off";
    EXPECT_EQ(song->instruments[0].panningPointCount, 12);
    EXPECT_EQ(song->instruments[0].panningEnvelopeFlags, 1);
}

}  // namespace
