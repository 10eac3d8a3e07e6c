// The start and stop sequences against the test device: what is opened,
// started, ended and released, in which order, and that nothing leaks.
#include "control/control_player.h"

#include "lumbo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cstring>
#include <iterator>
#include <random>

#include "output/output_device.h"
#include "output/output_ring.h"
#include "platform/float_env.h"
#include "support/playback_fixture.h"
#include "support/test_platform.h"

using namespace lumbo;
using namespace lumbo_test;

namespace {

class ControlPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTestPlatform();
        first = TestModuleImage(0);
        second = TestModuleImage(1);
    }
    void TearDown() override {
        StepThread(false);
        HoldThreadStart(false);
        ControlPlayer(nullptr);
        EXPECT_EQ(LiveAllocations(), 0);
        EXPECT_EQ(devicePlayer.player.song, nullptr);
        EXPECT_EQ(outputDevice.waveDevice, nullptr);
    }

    // The library is back where it was loaded: nothing held, nothing open.
    void ExpectIdle() {
        EXPECT_EQ(devicePlayer.player.song, nullptr);
        EXPECT_EQ(outputDevice.waveDevice, nullptr);
        EXPECT_EQ(outputDevice.waveHeader.data, nullptr);
        EXPECT_EQ(outputDevice.renderThreadHandle, nullptr);
        EXPECT_EQ(devicePlayer.ring.ringSamples, nullptr);
        EXPECT_EQ(devicePlayer.ring.mixAllocation, nullptr);
        EXPECT_EQ(devicePlayer.player.song, nullptr);
        EXPECT_EQ(outputDevice.threadExited, 1);
        EXPECT_EQ(LiveAllocations(), 0);
        EXPECT_EQ(testDevice.opens, testDevice.closes);
    }

    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
};

TEST_F(ControlPlayerTest, StopWithNothingPlayingOnlyResetsAndClosesNothing) {
    EXPECT_TRUE(ControlPlayer(nullptr));
    EXPECT_TRUE(ControlPlayer(nullptr));
    EXPECT_EQ(Events(), (std::vector<std::string>{"reset", "close", "reset", "close"}));
    EXPECT_EQ(testDevice.closes, 0);   // there was no device to close
    ExpectIdle();
}

TEST_F(ControlPlayerTest, StartWithNoDeviceLeavesTheLibrarySilent) {
    testDevice.refuseOpen = true;
    EXPECT_FALSE(ControlPlayer(first.data()));
    EXPECT_EQ(Events(), (std::vector<std::string>{"reset", "close", "open"}));
    EXPECT_EQ(testDevice.rate, 44100);
    ExpectIdle();
    EXPECT_TRUE(ControlPlayer(nullptr));
    ExpectIdle();
}

TEST_F(ControlPlayerTest, UnloadableSongLeavesTheDeviceOpenUntilStop) {
    std::vector<uint8_t> broken = first;
    broken[4] = 'X';   // the signature
    EXPECT_FALSE(ControlPlayer(broken.data()));
    EXPECT_NE(outputDevice.waveDevice, nullptr);
    EXPECT_EQ(devicePlayer.player.song, nullptr);
    EXPECT_EQ(testDevice.writes, 0);
    EXPECT_TRUE(ControlPlayer(nullptr));
    ExpectIdle();
}

TEST_F(ControlPlayerTest, StopAfterStartReleasesEverythingInOrder) {
    ASSERT_TRUE(ControlPlayer(first.data()));
    EXPECT_NE(devicePlayer.player.song, nullptr);
    EXPECT_EQ(devicePlayer.player.song, devicePlayer.player.song);
    ASSERT_TRUE(WaitForEvent("sleep 5"));
    size_t before = Events().size();
    EXPECT_TRUE(ControlPlayer(nullptr));
    ExpectIdle();
    // The thread ended before the device was reset and closed.
    std::vector<std::string> events = Events();
    events.erase(events.begin(), events.begin() + before);
    while (!events.empty() && events.front() != "join" && events.front() != "thread end") {
        events.erase(events.begin());   // the thread's last polls and sleeps
    }
    // The device gives the ring back (reset, then unprepare) before it goes.
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(events.end() - 4, events.end()),
              (std::vector<std::string>{"reset", "unprepare", "reset", "close"}));
    EXPECT_EQ(std::count(events.begin(), events.end(), "unprepare refused"), 0);
}

TEST_F(ControlPlayerTest, ThreadThatCannotStartIsAFailedStart) {
    testDevice.refuseThread = true;
    EXPECT_FALSE(ControlPlayer(first.data()));
    ExpectIdle();   // not two seconds of the song looping until stop
    EXPECT_FALSE(testDevice.playing);
    testDevice.refuseThread = false;
    ASSERT_TRUE(ControlPlayer(first.data()));
    EXPECT_TRUE(WaitForEvent("thread start"));
    ControlPlayer(nullptr);
    ExpectIdle();
}

#if defined(__x86_64__) || defined(__i386__)
// A host's own floating-point settings (24-bit x87 precision, flush to zero,
// denormals as zero, as some graphics runtimes leave them; or the inexact
// exception unmasked, which traps any arithmetic done under them) survive
// every call.
TEST_F(ControlPlayerTest, ExportsLeaveTheHostsFloatingPointSettings) {
    const FloatControl hosts[] = {{0x007F, 0x9FC0}, {0x035F, 0x0F80}};
    int32_t (*const calls[])(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) = {play, stop, play2, stop, stop};
    for (const FloatControl& host : hosts) {
        // Nothing but the calls runs under the host's settings.
        FloatControl after[std::size(calls)];
        const FloatControl original = SaveFloatingPoint();
        feclearexcept(FE_ALL_EXCEPT);   // an unmasked x87 exception already flagged would trap at once
        RestoreFloatingPoint(host);
        for (size_t i = 0; i < std::size(calls); ++i) {
            calls[i](0, 0, 0, 0, 0, 0);
            after[i] = SaveFloatingPoint();
        }
        RestoreFloatingPoint(original);
        for (const FloatControl& a : after) {
            EXPECT_EQ(a.x87, host.x87);
            EXPECT_EQ(a.sse, host.sse);
        }
    }
}
#endif

TEST_F(ControlPlayerTest, StopThenStartAnotherSongPlaysItFromItsStart) {
    std::vector<int16_t> expected = ExpectedStream(second.data(), kRingFrames);
    ASSERT_FALSE(expected.empty());
    StepThread(true);
    ASSERT_TRUE(ControlPlayer(first.data()));
    testDevice.position = 30 * kBlockBytes;   // the first song has moved on
    WaitForThreadSleep();
    StepOnce();
    EXPECT_EQ(devicePlayer.ring.writeBlock, 30);
    StepThread(false);
    ControlPlayer(nullptr);

    StepThread(true);
    testDevice.position = 0;
    ASSERT_TRUE(ControlPlayer(second.data()));
    WaitForThreadSleep();
    EXPECT_EQ(testDevice.opens, 2);
    EXPECT_EQ(testDevice.openAtOnce, 1);
    EXPECT_EQ(devicePlayer.player.song->orderPosition, 0);
    EXPECT_EQ(devicePlayer.ring.writeBlock, 0);
    EXPECT_EQ(memcmp(devicePlayer.ring.ringSamples, expected.data(), size_t(kRingFrames) * 4), 0);
}

TEST_F(ControlPlayerTest, StartWhilePlayingEndsThePlaybackFirst) {
    ASSERT_TRUE(ControlPlayer(first.data()));
    Song* firstSong = devicePlayer.player.song;
    ASSERT_TRUE(ControlPlayer(second.data()));
    EXPECT_NE(devicePlayer.player.song, nullptr);
    EXPECT_EQ(testDevice.openAtOnce, 1);   // never two devices
    EXPECT_EQ(testDevice.opens, 2);
    EXPECT_EQ(testDevice.closes, 1);
    std::vector<std::string> events = Events();
    auto secondOpen = std::find(std::find(events.begin(), events.end(), "open") + 1, events.end(), "open");
    EXPECT_NE(std::find(events.begin(), secondOpen, "join"), secondOpen);   // the first thread was gone
    (void)firstSong;
}

TEST_F(ControlPlayerTest, ShortMemoryAtStartGivesUpAndCanStartAgain) {
    // The song's own allocations come first; the ring and the float buffer are
    // the last two of a start.
    int64_t before = AllocationCount();
    ControlPlayer(first.data());
    int64_t perStart = AllocationCount() - before;
    ControlPlayer(nullptr);
    for (int from_end = 1; from_end <= 2; ++from_end) {
        ResetTestPlatform();
        FailAllocation(perStart + 1 - from_end);
        EXPECT_FALSE(ControlPlayer(first.data())) << from_end;
        FailAllocation(0);
        ExpectIdle();
        EXPECT_EQ(testDevice.writes, 0);
        EXPECT_EQ(testDevice.opens, 1);

        ASSERT_TRUE(ControlPlayer(second.data()));
        EXPECT_EQ(testDevice.writes, 1);
        ControlPlayer(nullptr);
        ExpectIdle();
    }
}

// A thousand under the address sanitizer; the thread sanitizer, ten times
// slower, checks the handshake on a hundred.
#if defined(__SANITIZE_THREAD__)
constexpr int kCycles = 100;
#else
constexpr int kCycles = 1000;
#endif

TEST_F(ControlPlayerTest, ThousandMixedStartsAndStopsThroughTheExportsLeakNothing) {
    std::mt19937 random(7);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        int kind = int(random() % 4);
        switch (kind) {
        case 0: EXPECT_EQ(play(0, 0, 0, 0, 0, 0), 1); break;
        case 1: EXPECT_EQ(play2(0, 0, 0, 0, 0, 0), 1); break;
        case 2:
            EXPECT_EQ(play(0, 0, 0, 0, 0, 0), 1);
            EXPECT_EQ(stop(0, 0, 0, 0, 0, 0), 1);
            break;
        case 3:
            EXPECT_EQ(play2(0, 0, 0, 0, 0, 0), 1);
            EXPECT_EQ(stop(0, 0, 0, 0, 0, 0), 1);
            EXPECT_EQ(stop(0, 0, 0, 0, 0, 0), 1);
            break;
        }
        ASSERT_EQ(devicePlayer.player.song != nullptr, kind < 2) << "cycle " << cycle;
        if (testDevice.openAtOnce > 1) FAIL() << "two devices open in cycle " << cycle;
    }
    EXPECT_EQ(stop(0, 0, 0, 0, 0, 0), 1);
    ExpectIdle();
}

TEST_F(ControlPlayerTest, LoadDllDoesNothing) {
    EXPECT_EQ(LoadDll(0), 1);
    EXPECT_EQ(LoadDll(0xFFFFFFFF), 1);
    EXPECT_TRUE(Events().empty());
    ExpectIdle();
}

}  // namespace
