// The finished Linux library through SDL's own audio drivers: "disk" records
// what the device played, "dummy" plays nothing in real time, and a driver
// that does not exist stands for a machine without sound.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "data/songs.h"
#include "lumbo.h"
#include "support/playback_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint32_t> ReadFrames(const std::string& path) {
    std::vector<uint32_t> frames;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return frames;
    uint32_t frame;
    while (fread(&frame, 4, 1, file) == 1) frames.push_back(frame);
    fclose(file);
    return frames;
}

std::vector<uint32_t> SongFrames(const lumbo::ModuleImage* image, int64_t frames) {
    std::vector<int16_t> samples = lumbo_test::ExpectedStream(image, frames);
    std::vector<uint32_t> packed(samples.size() / 2);
    for (size_t i = 0; i < packed.size(); ++i) {
        packed[i] = uint32_t(uint16_t(samples[2 * i])) | uint32_t(uint16_t(samples[2 * i + 1])) << 16;
    }
    return packed;
}

size_t LeadingSilence(const std::vector<uint32_t>& frames) {
    size_t n = 0;
    while (n < frames.size() && frames[n] == 0) ++n;
    return n;
}

TEST(SdlDevice, DiskDriverRecordsExactlyTheSongsFirstSeconds) {
    std::string file = testing::TempDir() + "lumbo_disk_" + std::to_string(getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    unsetenv("SDL_DISKAUDIODELAY");   // real-time pacing, so the thread keeps up as on a real device
    EXPECT_EQ(play(0, 0, 0, 0, 0, 0), 1);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(stop(0, 0, 0, 0, 0, 0), 1);

    // The device plays silence while it is opened but not yet given the ring,
    // and again once it has been reset; in between, the song from its start.
    std::vector<uint32_t> recorded = ReadFrames(file);
    remove(file.c_str());
    std::vector<uint32_t> expected = SongFrames(lumbo::firstSongImage, 5 * 44100);
    ASSERT_FALSE(expected.empty());
    size_t skipRecorded = LeadingSilence(recorded);
    size_t skipExpected = LeadingSilence(expected);
    size_t same = 0;
    while (skipRecorded + same < recorded.size() && skipExpected + same < expected.size() &&
           recorded[skipRecorded + same] == expected[skipExpected + same]) {
        ++same;
    }
    EXPECT_GE(same, size_t(2.5 * 44100)) << "the recording follows the song for " << same << " frames only";
    for (size_t i = skipRecorded + same; i < recorded.size(); ++i) {
        ASSERT_EQ(recorded[i], 0u) << "recorded frame " << i << " is neither the song nor silence";
    }
}

TEST(SdlDevice, DummyDriverRunsTheHostSequence) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EQ(LoadDll(7), 1);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(play(1, 2, 3, 4, 5, 6), 1);
    double playMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    printf("play returned after %.1f ms\n", playMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(stop(1, 2, 3, 4, 5, 6), 1);
    EXPECT_EQ(play2(1, 2, 3, 4, 5, 6), 1);
    EXPECT_EQ(stop(1, 2, 3, 4, 5, 6), 1);
    EXPECT_EQ(stop(1, 2, 3, 4, 5, 6), 1);
}

TEST(SdlDevice, NoDeviceLeavesEveryCallReturningOne) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(play(0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(play2(0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(stop(0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(stop(0, 0, 0, 0, 0, 0), 1);
}

}  // namespace
