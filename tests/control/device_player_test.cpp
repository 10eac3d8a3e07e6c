// A host's player and module on the library's device: a short queue of
// blocks, controls from other threads heard within it, pause, stop and
// resume at the frame heard, the end heard, failures, and the device's own
// volume. The test device plays what is queued as the test says.
#include "lumbo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "control/host_player.h"
#include "output/device_queue.h"
#include "output/output_device.h"
#include "support/module_files.h"
#include "support/playback_fixture.h"
#include "support/test_platform.h"

using namespace lumbo;
using namespace lumbo_test;

namespace {

constexpr int64_t kLead = int64_t(kQueueSlots) * kBlockFrames;
constexpr int32_t kRamp = 128;   // the mixer's ramp at 44100 Hz: the pause's fades

lumbo_player* Load(const std::vector<uint8_t>& file) {
    int32_t status = -1;
    lumbo_player* player = lumbo_load(file.data(), file.size(), &status);
    EXPECT_EQ(status, LUMBO_OK);
    return player;
}

// frames frames of a new player of file, pulled; `control` (when given) acts
// on it after `at` frames, as it would on the device's render thread.
std::vector<int16_t> Pulled(const std::vector<uint8_t>& file, int64_t frames, int64_t at = -1,
                            const std::function<void(lumbo_player*)>& control = nullptr) {
    lumbo_player* player = Load(file);
    std::vector<int16_t> pcm(size_t(frames) * 2);
    int64_t done = 0;
    if (at >= 0) {
        done = int64_t(lumbo_render(player, pcm.data(), size_t(at)));
        control(player);
    }
    done += int64_t(lumbo_render(player, pcm.data() + 2 * done, size_t(frames - done)));
    pcm.resize(size_t(done) * 2);
    lumbo_free(player);
    return pcm;
}

// Lets the device play `frames` frames in pieces of about a poll, the render
// thread refilling after each; checks the lead never exceeds the queue.
void Play(int64_t frames) {
    while (frames > 0) {
        const int64_t n = frames < 300 ? frames : 300;
        PlayFrames(n);
        frames -= n;
        StepOnce();
        ASSERT_LE(QueuedBuffers(), kQueueSlots);
    }
}

int64_t HeardCount() { return int64_t(HeardFrames().size() / 2); }

class DevicePlayer : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTestPlatform();
        StepThread(true);
    }
    void TearDown() override {
        StepThread(false);
        stop(0, 0, 0, 0, 0, 0);
        lumbo_set_playback_volume(256);
        EXPECT_EQ(LiveAllocations(), 0);
    }
};

TEST_F(DevicePlayer, ModuleAndPlayerPlayAShortLeadAheadAndTheHeardPositionFollows) {
    const std::vector<uint8_t> file = Busy(6, 31);
    const std::vector<int16_t> reference = Pulled(file, 3 * 44100);
    for (int player = 0; player < 2; ++player) {
        ResetTestPlatform();
        StepThread(true);
        lumbo_player* p = player ? Load(file) : nullptr;
        ASSERT_EQ(player ? lumbo_play_player(p) : lumbo_play_module(file.data(), file.size()), LUMBO_OK);
        EXPECT_EQ(QueuedBuffers(), kQueueSlots);
        WaitForThreadSleep();
        lumbo_position heard;
        for (int64_t step : {1, 883, 884, 2000, 5000, 44100}) {
            Play(step);
            ASSERT_EQ(lumbo_heard_position(&heard), 1);
            EXPECT_EQ(int64_t(heard.frame), HeardCount());
            if (p) {
                lumbo_position rendered;
                ASSERT_EQ(lumbo_position_of(p, &rendered), 1);
                EXPECT_LE(int64_t(rendered.frame) - HeardCount(), kLead);
                EXPECT_EQ(lumbo_render(p, std::vector<int16_t>(8).data(), 4), 0u) << "the device owns it";
            }
        }
        const std::vector<int16_t> got = HeardFrames();
        EXPECT_TRUE(std::equal(got.begin(), got.end(), reference.begin()));
        EXPECT_EQ(outputDevice.lateBlocks.load(), 0u);
        StepThread(false);
        lumbo_free(p);   // ends the playback first
        stop(0, 0, 0, 0, 0, 0);
    }
}

// A control made on another thread while the device plays: heard within the
// lead, and from then on the device plays what a player pulled with the same
// control at the block where the render thread took it up.
TEST_F(DevicePlayer, ControlsFromAnotherThreadAreHeardWithinTheLead) {
    const std::vector<uint8_t> file = Busy(8, 5);
    struct Case {
        const char*                        name;
        std::function<void(lumbo_player*)> control;
    } cases[] = {
        {"volume", [](lumbo_player* p) { lumbo_set_volume(p, 77); }},
        {"jump", [](lumbo_player* p) { EXPECT_EQ(lumbo_jump(p, 3, 7), 1); }},
        {"mute", [](lumbo_player* p) { for (int c : {0, 2, 5}) lumbo_set_channel_mute(p, c, 1); }},
        {"seek", [](lumbo_player* p) { EXPECT_EQ(lumbo_seek(p, 123457), 1); }},
        {"seek back", [](lumbo_player* p) { EXPECT_EQ(lumbo_seek(p, 777), 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetTestPlatform();
        StepThread(true);
        lumbo_player* p = Load(file);
        ASSERT_EQ(lumbo_play_player(p), LUMBO_OK);
        WaitForThreadSleep();
        Play(20000);
        lumbo_position rendered;
        ASSERT_EQ(lumbo_position_of(p, &rendered), 1);
        const int64_t takenAt = int64_t(rendered.frame);   // the render thread's next block starts here
        const int64_t heardAt = HeardCount();
        std::thread host(c.control, p);
        // A seek waits for the render thread; the others return at once.
        while (p->stream.seekPosted.load() == nullptr && std::string(c.name).rfind("seek", 0) == 0) {
            std::this_thread::yield();
        }
        StepOnce();
        host.join();
        Play(30000);
        const std::vector<int16_t> want = Pulled(file, HeardCount(), takenAt, c.control);
        const std::vector<int16_t> got = HeardFrames();
        EXPECT_LE(takenAt - heardAt, kLead + kBlockFrames);
        ASSERT_EQ(got.size(), want.size());
        size_t firstDifference = 0;
        while (firstDifference < got.size() && got[firstDifference] == want[firstDifference]) ++firstDifference;
        EXPECT_EQ(firstDifference, got.size()) << "differs at frame " << firstDifference / 2;
        StepThread(false);
        lumbo_free(p);
    }
}

TEST_F(DevicePlayer, PauseAndResumeFadeAroundThePauseAndLoseNothing) {
    const std::vector<uint8_t> file = Busy(4, 9);
    const std::vector<int16_t> reference = Pulled(file, 4 * 44100);
    lumbo_player* p = Load(file);
    ASSERT_EQ(lumbo_play_player(p), LUMBO_OK);
    WaitForThreadSleep();
    Play(10000);
    lumbo_pause_playback(1);
    lumbo_pause_playback(1);   // a setting: once is enough to undo it
    for (int i = 0; i < 40 && testDevice.pauses == 0; ++i) Play(300);
    ASSERT_EQ(testDevice.pauses, 1);
    const int64_t pausedAt = HeardCount();
    EXPECT_LE(pausedAt - 10000, kLead + kRamp + 300);
    lumbo_position heard, later;
    ASSERT_EQ(lumbo_heard_position(&heard), 1);
    Play(5000);   // the device is held: nothing plays, the position stands
    EXPECT_EQ(HeardCount(), pausedAt);
    ASSERT_EQ(lumbo_heard_position(&later), 1);
    EXPECT_EQ(later.frame, heard.frame);
    lumbo_pause_playback(0);
    StepOnce();
    EXPECT_EQ(testDevice.restarts, 1);
    Play(50000);
    EXPECT_EQ(outputDevice.lateBlocks.load(), 0u);
    // Every frame once, in order; only the ramps around the pause differ,
    // and only downwards.
    const std::vector<int16_t> got = HeardFrames();
    ASSERT_LE(got.size(), reference.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const int64_t frame = int64_t(i / 2);
        const bool fading = (frame >= pausedAt - kRamp && frame < pausedAt + kRamp);
        if (!fading) {
            ASSERT_EQ(got[i], reference[i]) << "frame " << frame;
        } else {
            ASSERT_LE(std::abs(got[i]), std::abs(reference[i]) + 1) << "frame " << frame;
        }
    }
    EXPECT_EQ(got[2 * (pausedAt - 1)], 0) << "faded out to nothing";
    StepThread(false);
    lumbo_free(p);
}

TEST_F(DevicePlayer, StopKeepsWhatWasNotHeardForTheNextPlayOrPull) {
    const std::vector<uint8_t> file = Busy(6, 2);
    const std::vector<int16_t> reference = Pulled(file, 3 * 44100);
    lumbo_player* p = Load(file);
    for (const int64_t played : {7001, 13000, 1}) {
        ASSERT_EQ(lumbo_play_player(p), LUMBO_OK);
        WaitForThreadSleep();
        Play(played);
        StepThread(false);
        stop(0, 0, 0, 0, 0, 0);
        StepThread(true);
        lumbo_position position;
        ASSERT_EQ(lumbo_position_of(p, &position), 1);
        EXPECT_EQ(int64_t(position.frame), HeardCount()) << "the frame last heard";
    }
    // The rest pulled: the frames the device never played come first.
    std::vector<int16_t> heard = HeardFrames();
    std::vector<int16_t> rest(size_t(20000) * 2);
    ASSERT_EQ(lumbo_render(p, rest.data(), 20000), 20000u);
    heard.insert(heard.end(), rest.begin(), rest.end());
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), reference.begin()));
    lumbo_free(p);
}

TEST_F(DevicePlayer, TheEndIsHeardOnlyOnceTheDeviceHasPlayedTheLastFrame) {
    const std::vector<uint8_t> file = Busy(4, 3);
    lumbo_player* p = Load(file);
    lumbo_info info;
    ASSERT_EQ(lumbo_player_info(p, &info), 1);
    lumbo_set_repeat(p, 0);
    const int64_t end = int64_t(info.loop_end_frame);
    ASSERT_EQ(lumbo_play_player(p), LUMBO_OK);
    WaitForThreadSleep();
    lumbo_position heard;
    Play(end - 1000);
    EXPECT_EQ(lumbo_ended(p), 1) << "rendered to the end";
    EXPECT_EQ(lumbo_heard_position(&heard), 1);
    Play(999);
    EXPECT_EQ(lumbo_heard_position(&heard), 1) << "the last frame is still to come";
    Play(1);
    EXPECT_EQ(lumbo_heard_position(&heard), 0);
    Play(5000);
    EXPECT_EQ(HeardCount(), end);
    EXPECT_EQ(outputDevice.lateBlocks.load(), 0u) << "the silence after the end is no late block";
    EXPECT_EQ(lumbo_heard_position(&heard), 0);
    // Played again after its end: nothing to hear, heard at once.
    StepThread(false);
    stop(0, 0, 0, 0, 0, 0);
    StepThread(true);
    ASSERT_EQ(lumbo_play_player(p), LUMBO_OK);
    WaitForThreadSleep();
    StepOnce();
    EXPECT_EQ(lumbo_heard_position(&heard), 0);
    StepThread(false);
    lumbo_free(p);
}

TEST_F(DevicePlayer, PlaybackVolumeMultipliesThePlayersAndIsKeptAcrossSongs) {
    const std::vector<uint8_t> file = Flat();
    const std::vector<int16_t> full = Pulled(file, 20000);
    lumbo_set_playback_volume(128);
    for (int round = 0; round < 2; ++round) {
        lumbo_player* p = Load(file);
        lumbo_set_volume(p, 128);
        ASSERT_EQ(lumbo_play_player(p), LUMBO_OK);
        WaitForThreadSleep();
        Play(10000);
        const std::vector<int16_t> got = HeardFrames();
        const int32_t level = got[got.size() - 2];
        EXPECT_NEAR(level, full[got.size() - 2] / 4, 1) << "round " << round;
        StepThread(false);
        lumbo_free(p);
        ResetTestPlatform();
        StepThread(true);
    }
}

TEST_F(DevicePlayer, FailedStartsAreReportedAndHoldNothing) {
    const std::vector<uint8_t> file = Busy(4, 1);
    lumbo_player* p = Load(file);
    EXPECT_EQ(lumbo_play_player(nullptr), LUMBO_BAD_ARGUMENT);
    testDevice.refuseOpen = true;
    EXPECT_EQ(lumbo_play_player(p), LUMBO_NO_OUTPUT);
    EXPECT_EQ(lumbo_play_module(file.data(), file.size()), LUMBO_NO_OUTPUT);
    testDevice.refuseOpen = false;
    testDevice.refuseThread = true;
    EXPECT_EQ(lumbo_play_player(p), LUMBO_OUT_OF_MEMORY);
    EXPECT_EQ(lumbo_play_module(file.data(), file.size()), LUMBO_OUT_OF_MEMORY);
    testDevice.refuseThread = false;
    lumbo_position heard;
    EXPECT_EQ(lumbo_heard_position(&heard), 0);
    // A module that does not load leaves what plays playing.
    ASSERT_EQ(lumbo_play_player(p), LUMBO_OK);
    std::vector<uint8_t> broken = file;
    broken[3] = '?';
    EXPECT_EQ(lumbo_play_module(broken.data(), broken.size()), LUMBO_BAD_SIGNATURE);
    EXPECT_EQ(lumbo_heard_position(&heard), 1);
    EXPECT_EQ(p->stream.onDevice.load(), 1);
    StepThread(false);
    lumbo_free(p);
    // Every allocation of a start failing in turn: reported, nothing kept.
    for (int module = 0; module < 2; ++module) {
        for (int64_t nth = 1;; ++nth) {
            const int64_t before = LiveAllocations();
            p = module ? nullptr : Load(file);
            FailAllocation(nth);
            const int32_t status = module ? lumbo_play_module(file.data(), file.size()) : lumbo_play_player(p);
            FailAllocation(0);
            stop(0, 0, 0, 0, 0, 0);
            lumbo_free(p);
            EXPECT_EQ(LiveAllocations(), before) << nth;
            if (status == LUMBO_OK) break;
            EXPECT_EQ(status, LUMBO_OUT_OF_MEMORY);
            ASSERT_LT(nth, 40);
        }
    }
}

// Under the thread sanitizer: players started, replaced and freed while two
// host threads steer them through the calls that are theirs to make at any
// time (a seek or a position of a player the device does not play belongs to
// the one thread that renders it).
TEST_F(DevicePlayer, PlayersReplacedAndFreedWhileOtherThreadsSteer) {
    StepThread(false);
    StartPacing(441, 10);
    const std::vector<uint8_t> file = Busy(4, 11);
    lumbo_player* players[2] = {Load(file), Load(file)};
    std::atomic<bool> done{false};
    std::vector<std::thread> hosts;
    for (int t = 0; t < 2; ++t) {
        hosts.emplace_back([&, t] {
            for (uint32_t i = 0; !done; ++i) {
                lumbo_player* p = players[(i + t) % 2];
                lumbo_set_channel_mute(p, int32_t(i % 4), int32_t(i & 1));
                lumbo_set_volume(p, int32_t(i % 257));
                lumbo_set_playback_volume(int32_t(i * 7 % 257));
                lumbo_jump(p, int32_t(i % 3), 0);
                lumbo_pause_playback(int32_t(i % 5 == 0));
                lumbo_position position;
                lumbo_heard_position(&position);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    for (int round = 0; round < 6; ++round) {
        ASSERT_EQ(lumbo_play_player(players[round % 2]), LUMBO_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    stop(0, 0, 0, 0, 0, 0);
    done = true;
    for (std::thread& host : hosts) host.join();
    ASSERT_EQ(lumbo_play_player(players[0]), LUMBO_OK);
    lumbo_free(players[0]);   // playing: ends the playback first
    EXPECT_EQ(lumbo_heard_position(nullptr), 0);
    lumbo_free(players[1]);
    StopPacing();
}

}  // namespace

namespace {

// A busy 32-channel module on a device that plays in real time, while two
// other threads keep both cores busy: the blocks the device reached before
// they were rendered (the goal is none) and the render thread's worst wait
// between two polls. Long (LUMBO_STRESS_SECONDS, the test command gives 60);
// skipped when not asked for.
TEST(DeviceStress, NoBlockIsLateWhileTheCoresAreBusy) {
    const char* asked = getenv("LUMBO_STRESS_SECONDS");
    if (!asked) GTEST_SKIP() << "set LUMBO_STRESS_SECONDS";
    const int seconds = atoi(asked);
    ResetTestPlatform();
    const std::vector<uint8_t> file = Busy(32, 7);
    lumbo_player* player = Load(file);
    std::atomic<bool> done{false};
    std::vector<std::thread> hogs;
    for (int i = 0; i < 2; ++i) {
        hogs.emplace_back([&done] {
            volatile uint64_t x = 1;
            while (!done) x = x * 6364136223846793005u + 1442695040888963407u;
        });
    }
    StartPacing(441, 10);
    ASSERT_EQ(lumbo_play_player(player), LUMBO_OK);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    StopPacing();
    done = true;
    for (std::thread& hog : hogs) hog.join();
    const int64_t heard = HeardCount();
    printf("device stress: %d s, %lld frames heard, lead %lld frames (%lld ms); device starved %lld times "
           "(%lld frames); render thread late %u times; worst poll gap %.1f ms\n",
           seconds, (long long)heard, (long long)kLead, (long long)(kLead * 1000 / 44100), (long long)StarvedCalls(),
           (long long)GapFrames(), outputDevice.lateBlocks.load(), WorstPollGap() / 1000.0);
    EXPECT_EQ(StarvedCalls(), 0);
    EXPECT_EQ(outputDevice.lateBlocks.load(), 0u);
    EXPECT_GE(heard, int64_t(seconds - 1) * 44100);
    lumbo_free(player);
    EXPECT_EQ(LiveAllocations(), 0);
}

}  // namespace
