// Malformed modules: rejected with a reason, or clamped; never read or written
// out of bounds (the sanitizer build runs these too).
#include <gtest/gtest.h>

#include <cstring>

#include "song/load_status_text.h"
#include "support/song_fixture.h"

namespace {

using lumbo::LoadError;
using lumbo::LoadStatus;
using lumbo_test::TryLoad;

xm::Module Minimal() {
    xm::Module m;
    m.orders = {0};
    m.AddPattern(4).At(0, 0) = {49, 1, 0, 0, 0};
    m.AddInstrument().samples.push_back(xm::Sample::Pcm8({1, 2, 3, 4}));
    return m;
}

std::string Reason(const LoadStatus& status) {
    char text[160];
    return lumbo::DescribeLoadStatus(status, text, sizeof text);
}

TEST(LoaderRejects, HeaderValuesOutsideWhatTheEngineHolds) {
    struct Case {
        const char* what;
        void (*edit)(xm::Module&);
        LoadError error;
        int64_t value;
        const char* reason;
    } cases[] = {
        {"33 channels", [](xm::Module& m) { m.channelCountOverride = 33; }, LoadError::TooManyChannels, 33,
         "33 channels; at most 32 are supported"},
        {"negative channels", [](xm::Module& m) { m.channelCountOverride = 0xFFFF; },
         LoadError::TooManyChannels, -1, nullptr},
        {"song length 0", [](xm::Module& m) { m.songLengthOverride = 0; }, LoadError::BadSongLength, 0, nullptr},
        {"song length 257", [](xm::Module& m) { m.songLengthOverride = 257; }, LoadError::BadSongLength, 257,
         nullptr},
        {"header size past 2^31", [](xm::Module& m) { m.headerSize = 0xFFFFFFF0u; }, LoadError::BadHeaderSize,
         0xFFFFFFF0ll, nullptr},
        {"17 samples in instrument 3",
         [](xm::Module& m) {
             m.AddInstrument();
             m.AddInstrument().sampleCountOverride = 17;
         },
         LoadError::TooManySamples, 17, "instrument 3 has 17 samples; at most 16 are supported"},
        {"instrument header size past 2^31",
         [](xm::Module& m) { m.AddInstrument().headerSizeOverride = 0x90000000ll; }, LoadError::BadHeaderSize,
         0x90000000ll, nullptr},
    };
    for (const Case& c : cases) {
        xm::Module m = Minimal();
        c.edit(m);
        LoadStatus status{};
        auto song = TryLoad(m, &status);
        EXPECT_FALSE(song) << c.what;
        EXPECT_EQ(status.error, c.error) << c.what;
        EXPECT_EQ(status.value, c.value) << c.what;
        if (c.reason) {
            EXPECT_EQ(Reason(status), c.reason) << c.what;
        }
    }
}

TEST(LoaderRejects, SixteenSamplesToAnInstrumentAndNoMore) {
    xm::Module m = Minimal();
    m.AddInstrument();
    for (int16_t k = 1; k <= 16; ++k) m.instruments[1].samples.push_back(xm::Sample::Pcm8({k}));
    auto song = lumbo_test::Load(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->instruments[1].sampleCount, 16);
    EXPECT_EQ(song->instruments[1].samples[15]->data[0], 16 * 256) << "the last one read, into the last slot";

    m.instruments[1].samples.push_back(xm::Sample::Pcm8({17}));
    LoadStatus status{};
    EXPECT_FALSE(TryLoad(m, &status));
    EXPECT_EQ(status.error, LoadError::TooManySamples);
    EXPECT_EQ(status.value, 17);
}

TEST(LoaderRejects, SignatureAndEmptyImages) {
    std::vector<uint8_t> file = xm::Write(Minimal());
    file[16] = '_';  // "Extended Module:_"
    LoadStatus status{};
    EXPECT_EQ(lumbo::LoadSongFromMemory(file.data(), uint32_t(file.size()), &status), nullptr);
    EXPECT_EQ(Reason(status), "not an XM module (bad signature)");

    std::vector<uint8_t> image = {0, 0, 0, 0};
    EXPECT_EQ(lumbo::LoadSong(image.data(), &status), nullptr);
    EXPECT_EQ(status.error, LoadError::EmptyImage);
    EXPECT_EQ(lumbo::LoadSong(nullptr, &status), nullptr);

    // Shorter than the signature: the missing bytes never match.
    image = {5, 0, 0, 0, 'E', 'x', 't', 'e', 'n'};
    EXPECT_EQ(lumbo::LoadSong(image.data(), &status), nullptr);
    EXPECT_EQ(status.error, LoadError::BadSignature);
}

TEST(LoaderRejects, TruncatedImagesLoadWithWhatRemains) {
    std::vector<uint8_t> file = xm::Write(Minimal());
    lumbo::LoadStatus whole{};
    lumbo::FreeSong(lumbo::LoadSongFromMemory(file.data(), uint32_t(file.size()), &whole));
    EXPECT_EQ(whole.missingBytes, 0u);
    // Every prefix past the signature either loads or is rejected: never a bad access.
    for (size_t cut = 17; cut <= file.size(); ++cut) {
        LoadStatus status{};
        lumbo::Song* song = lumbo::LoadSongFromMemory(file.data(), uint32_t(cut), &status);
        if (cut >= 80) {
            EXPECT_NE(status.error, LoadError::BadSignature);
        }
        lumbo::FreeSong(song);
    }
    // Cut inside the sample data: the frames that are missing read as zero deltas.
    LoadStatus status{};
    lumbo::Song* song = lumbo::LoadSongFromMemory(file.data(), uint32_t(file.size() - 2), &status);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(status.missingBytes, 2u) << "tools can warn that the file was cut short";
    const lumbo::Sample& s = *song->instruments[0].samples[0];
    EXPECT_EQ(s.data[1], 2 * 256);
    EXPECT_EQ(s.data[2], 2 * 256);
    EXPECT_EQ(s.data[3], 2 * 256);
    lumbo::FreeSong(song);
}

TEST(LoaderRejects, SizesThatWouldExhaustMemory) {
    struct Case {
        const char* what;
        void (*edit)(xm::Module&);
    } cases[] = {
        {"sample length near 2^32",
         [](xm::Module& m) { m.instruments[0].samples[0].lengthBytesOverride = 0xFFFFFFF0ll; }},
        {"16-bit sample of 2^31 frames",
         [](xm::Module& m) {
             m.instruments[0].samples[0].sixteenBit = true;
             m.instruments[0].samples[0].lengthBytesOverride = 0xFFFFFFFEll;
         }},
        {"thousands of huge empty patterns",
         [](xm::Module& m) {
             for (int i = 0; i < 600; ++i) {
                 xm::Pattern& p = m.AddPattern(1);
                 p.rows = 65535;
                 p.storeNoData = true;
             }
         }},
    };
    for (const Case& c : cases) {
        xm::Module m = Minimal();
        c.edit(m);
        LoadStatus status{};
        auto song = TryLoad(m, &status);
        EXPECT_FALSE(song) << c.what;
        EXPECT_EQ(status.error, LoadError::TooLarge) << c.what;
    }
}

TEST(LoaderRejects, OddButHarmlessValuesAreKept) {
    xm::Module m = Minimal();
    m.restartPosition = 9;               // past the song length: the sequencer copes
    m.AddPattern(1).rows = 0;            // a pattern of no rows
    m.orders = {0, 1};
    m.instruments[0].volume.points = {{0, 64}, {4, 0}};
    m.instruments[0].volume.on = m.instruments[0].volume.loop = m.instruments[0].volume.sustain = true;
    m.instruments[0].volume.sustainPoint = 200;
    m.instruments[0].volume.loopStart = 17;
    m.instruments[0].volume.loopEnd = 255;
    m.instrumentCountOverride = 0x8001;  // negative as a signed count: no instruments
    LoadStatus status{};
    auto song = TryLoad(m, &status);
    ASSERT_TRUE(song) << int(status.error);
    EXPECT_EQ(song->restartPosition, 9);
    EXPECT_EQ(song->patterns[1].rowCount, 0);
    EXPECT_LT(song->instrumentCount, 0);
    EXPECT_EQ(song->instruments, nullptr);

    m.instrumentCountOverride = -1;
    song = TryLoad(m, &status);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->instruments[0].volumeSustain, 200);
    EXPECT_EQ(song->instruments[0].volumeLoopStart, 17);
}

TEST(LoaderRejects, FailedParsesReleaseWhatTheyBuilt) {
    // Rejected after patterns, instruments and sample data were built; the
    // sanitizer build proves nothing leaks or is freed twice.
    xm::Module m = Minimal();
    m.orders = {0, 3};
    for (int i = 0; i < 3; ++i) {
        m.AddInstrument().samples.push_back(xm::Sample::Pcm16({1, 2, 3}).Loop(0, 2, 2));
    }
    m.AddInstrument().sampleCountOverride = 40;
    LoadStatus status{};
    EXPECT_FALSE(TryLoad(m, &status));
    EXPECT_EQ(status.index, 4);
    EXPECT_TRUE(lumbo::FreeSong(nullptr) == false);
}

}  // namespace
