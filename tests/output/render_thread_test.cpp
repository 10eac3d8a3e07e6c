// The render thread against a test device whose position the test sets: the
// pre-render, exactly the blocks the device has left, the position's wrap at
// 2^32, and the stop handshake.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "output/output_device.h"
#include "output/output_ring.h"
#include "output/ring_buffers.h"
#include "song/loader.h"
#include "support/playback_fixture.h"
#include "support/test_platform.h"

using namespace lumbo;
using namespace lumbo_test;

namespace {

class RenderThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTestPlatform();
        image = TestModuleImage(0);
        stream = ExpectedStream(image.data(), 4 * int64_t(kRingFrames));
        ASSERT_FALSE(stream.empty());
    }

    void Start() {
        ASSERT_TRUE(OpenOutput(TestStream(), 44100));
        song = LoadSong(image.data());
        ASSERT_NE(song, nullptr);
        ASSERT_TRUE(StartPlayback(TestStream(), song));
        rendered = kRingBlocks;
    }

    // What the stop sequence does around StopPlayback.
    void Stop() {
        StepThread(false);
        HoldThreadStart(false);
        StopPlayback(TestStream());
        FreeSong(song);
        song = nullptr;
        WaveOutReset(outputDevice.waveDevice);
        WaveOutClose(outputDevice.waveDevice);
        outputDevice.waveDevice = nullptr;
        ReleaseRingSamples(TestStream().ring);
        outputDevice.waveHeader.data = nullptr;
    }

    void TearDown() override {
        if (song) Stop();
        EXPECT_EQ(LiveAllocations(), 0);
    }

    // Every block of the ring holds the stream block rendered into it last,
    // given that `rendered` blocks have been rendered since the start.
    void ExpectRing() {
        for (int32_t b = 0; b < kRingBlocks; ++b) {
            int64_t last = (rendered - 1 - b) / kRingBlocks * kRingBlocks + b;
            const int16_t* want = stream.data() + last * kBlockFrames * 2;
            const int16_t* have = TestStream().ring.ringSamples + b * kBlockFrames * 2;
            ASSERT_EQ(memcmp(want, have, kBlockBytes), 0) << "block " << b << " should hold stream block " << last;
        }
    }

    std::vector<uint8_t> image;
    std::vector<int16_t> stream;
    Song* song = nullptr;
    int64_t rendered = 0;   // blocks rendered since the start, by the test's count
};

TEST_F(RenderThreadTest, PrerenderFillsTheRingBeforeTheDeviceStarts) {
    StepThread(true);
    Start();
    EXPECT_EQ(testDevice.rate, 44100);
    EXPECT_EQ(testDevice.writes, 1);
    EXPECT_EQ(TestStream().ring.writeBlock, 0);
    ExpectRing();
    // The device was handed the whole ring once, as one endless loop.
    const WaveHeader& queued = testDevice.queued;
    EXPECT_EQ(queued.data, TestStream().ring.ringSamples);
    EXPECT_EQ(queued.bufferLength, 353600u);
    EXPECT_EQ(queued.flags, WaveHeaderBeginLoop | WaveHeaderEndLoop | WaveHeaderPrepared);
    EXPECT_EQ(queued.loops, 0xFFFFFFFFu);
    EXPECT_EQ(queued.bytesRecorded, 0u);
    EXPECT_EQ(queued.user, 0u);
    // The ring was complete before the device started and the thread ran;
    // with the device still in block 0 the thread renders nothing.
    WaitForThreadSleep();
    EXPECT_EQ(Events(), (std::vector<std::string>{"open", "write", "thread start", "poll", "sleep 5"}));
    EXPECT_EQ(TestStream().ring.writeBlock, 0);
    ExpectRing();
}

TEST_F(RenderThreadTest, RendersExactlyTheBlocksTheDeviceHasLeft) {
    struct Step {
        uint32_t position;    // bytes played
        int32_t  writeBlock;  // the device's block afterwards
        int      newBlocks;   // blocks rendered by this poll
    };
    const Step steps[] = {
        {0, 0, 0},
        {3535, 0, 0},                       // last byte of block 0
        {3536, 1, 1},                       // block 1 starts: block 0 is re-rendered
        {3536 * 7 + 100, 7, 6},             // a stall: six blocks at once
        {353599, 99, 92},                   // last byte of the ring
        {353600, 0, 1},                     // second lap, block 0
        {353600 + 3536 * 2, 2, 2},
        {353600 * 2 - 1, 99, 97},
    };
    StepThread(true);
    Start();
    WaitForThreadSleep();
    for (const Step& step : steps) {
        testDevice.position = step.position;
        StepOnce();
        rendered += step.newBlocks;
        EXPECT_EQ(TestStream().ring.writeBlock, step.writeBlock) << "position " << step.position;
        ExpectRing();
    }
}

TEST_F(RenderThreadTest, PlaysOnSeamlesslyWhenThePositionWrapsAt2To32) {
    // The device count has run for almost 6 h 46 min: it starts at the last
    // ring lap that begins below 2^32 (1073706400 frames = 12146 laps) and
    // wraps about 40 blocks later.
    const uint32_t lapStart = 4u * 1073706400u;
    ASSERT_LT(uint64_t(lapStart) + 40 * kBlockBytes, 1ull << 32);
    ASSERT_GT(uint64_t(lapStart) + 41 * kBlockBytes, 1ull << 32);
    StepThread(true);
    testDevice.position = lapStart;
    Start();
    WaitForThreadSleep();
    EXPECT_EQ(TestStream().ring.writeBlock, 0);
    for (int block = 1; block <= 60; ++block) {
        testDevice.position = lapStart + uint32_t(block) * kBlockBytes + 8;   // wraps at block 41
        StepOnce();
        rendered += 1;
        ASSERT_EQ(TestStream().ring.writeBlock, block % kRingBlocks) << "device in block " << block;
    }
    ExpectRing();
}

std::atomic<bool> polled{false};

TEST_F(RenderThreadTest, StopRequestIsSeenAfterTheCatchUpAndTheSleep) {
    StepThread(true);
    Start();
    WaitForThreadSleep();
    // The device has moved five blocks on; the stop request arrives while the
    // thread is catching up.
    testDevice.position = 5 * kBlockBytes;
    polled = false;
    OnPoll([] {
        polled = true;
        while (outputDevice.stopRequest == 0) std::this_thread::yield();
    });
    size_t before = Events().size();
    StepThread(false);
    while (!polled) std::this_thread::yield();
    std::thread stopper([this] { StopPlayback(TestStream()); });
    stopper.join();
    OnPoll(nullptr);
    rendered += 5;
    EXPECT_EQ(TestStream().ring.writeBlock, 5);
    EXPECT_EQ(outputDevice.threadExited, 1);
    EXPECT_EQ(outputDevice.renderThreadHandle, nullptr);
    EXPECT_EQ(TestStream().ring.mixAllocation, nullptr);
    EXPECT_EQ(outputDevice.stream, nullptr);
    ExpectRing();
    // After the request: the catch-up, one 5 ms sleep, the end; no more polls;
    // then the device gives the ring back.
    std::vector<std::string> thread;
    std::vector<std::string> events = Events();
    for (size_t i = before; i < events.size(); ++i) {
        if (events[i] != "sleep 50" && events[i] != "join") thread.push_back(events[i]);
    }
    EXPECT_EQ(thread, (std::vector<std::string>{"poll", "sleep 5", "thread end", "reset", "unprepare"}));
}

TEST_F(RenderThreadTest, StopBeforeTheThreadHasRunEndsItAtItsFirstTest) {
    HoldThreadStart(true);
    Start();
    std::thread stopper([this] { StopPlayback(TestStream()); });
    ASSERT_TRUE(WaitForEvent("join"));
    HoldThreadStart(false);
    stopper.join();
    std::vector<std::string> events = Events();
    std::vector<std::string> expected = {"open", "write", "join", "thread start", "thread end", "reset", "unprepare"};
    EXPECT_EQ(events, expected);   // no poll, no render, no 50 ms wait
    EXPECT_EQ(outputDevice.threadExited, 1);
    EXPECT_EQ(TestStream().ring.writeBlock, 0);
}

TEST_F(RenderThreadTest, ShortMemoryGivesUpTheStartHoldingNothing) {
    for (int failing = 1; failing <= 2; ++failing) {   // the ring, then the float buffer
        ResetTestPlatform();
        ASSERT_TRUE(OpenOutput(TestStream(), 44100));
        song = LoadSong(image.data());
        ASSERT_NE(song, nullptr);
        int64_t songAllocations = LiveAllocations();
        FailAllocation(failing);
        EXPECT_FALSE(StartPlayback(TestStream(), song)) << failing;
        FailAllocation(0);
        EXPECT_EQ(LiveAllocations(), songAllocations) << failing;
        EXPECT_EQ(TestStream().ring.ringSamples, nullptr);
        EXPECT_EQ(TestStream().ring.mixAllocation, nullptr);
        EXPECT_EQ(outputDevice.stream, nullptr);
        EXPECT_EQ(outputDevice.waveHeader.data, nullptr);
        EXPECT_EQ(outputDevice.renderThreadHandle, nullptr);
        EXPECT_EQ(testDevice.writes, 0);
        Stop();
    }
}

}  // namespace
