#include "support/test_platform.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "platform/thread.h"

namespace lumbo_test {

TestDevice testDevice;

namespace {

struct Controls {
    std::mutex              mutex;
    std::condition_variable changed;
    std::vector<std::string> events;
    bool                    holdStart = false;
    bool                    stepping = false;
    int                     sleepsEntered = 0;   // by the engine thread
    int                     sleepsAllowed = 0;
    bool                    threadRunning = false;
    pthread_t               engineThread{};
    void                    (*pollHook)() = nullptr;
    // The queue of buffers played once each.
    std::deque<lumbo::WaveHeader*>     fifo;
    std::set<const lumbo::WaveHeader*> done;
    uint32_t                offset = 0;          // bytes of the front buffer played
    bool                    paused = false;
    std::vector<int16_t>    heard;
    int64_t                 gapFrames = 0;
    int64_t                 starvedCalls = 0;
    std::chrono::steady_clock::time_point lastPoll{};
    int64_t                 worstPollGap = 0;
    std::thread             pacer;
    std::atomic<bool>       pacing{false};
};

Controls controls;

void Log(const std::string& event) {
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.events.push_back(event);
    controls.changed.notify_all();
}

bool OnEngineThread() {
    std::lock_guard<std::mutex> lock(controls.mutex);
    return controls.threadRunning && pthread_equal(controls.engineThread, pthread_self());
}

struct TestThread {
    std::thread        thread;
    lumbo::ThreadEntry entry;
};

void RunEntry(TestThread* handle) {
    {
        std::unique_lock<std::mutex> lock(controls.mutex);
        controls.changed.wait(lock, [] { return !controls.holdStart; });
        controls.engineThread = pthread_self();
        controls.threadRunning = true;
        controls.events.push_back("thread start");
        controls.changed.notify_all();
    }
    handle->entry();
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.threadRunning = false;
    controls.events.push_back("thread end");
    controls.changed.notify_all();
}

}  // namespace

int64_t PlayFrames(int64_t frames) {
    std::lock_guard<std::mutex> lock(controls.mutex);
    if (controls.paused) return 0;
    int64_t played = 0;
    while (played < frames && !controls.fifo.empty()) {
        lumbo::WaveHeader* header = controls.fifo.front();
        const uint32_t left = (header->bufferLength - controls.offset) / 4;
        const uint32_t n = uint32_t(std::min<int64_t>(left, frames - played));
        const int16_t* from = header->data + controls.offset / 2;
        controls.heard.insert(controls.heard.end(), from, from + 2 * n);
        controls.offset += n * 4;
        played += n;
        if (controls.offset >= header->bufferLength) {
            controls.fifo.pop_front();
            controls.done.insert(header);
            controls.offset = 0;
        }
    }
    if (played < frames) {
        controls.gapFrames += frames - played;
        controls.starvedCalls += 1;
    }
    testDevice.position += uint32_t(played * 4);
    return played;
}

std::vector<int16_t> HeardFrames() {
    std::lock_guard<std::mutex> lock(controls.mutex);
    return controls.heard;
}

int64_t GapFrames() {
    std::lock_guard<std::mutex> lock(controls.mutex);
    return controls.gapFrames;
}

int64_t StarvedCalls() {
    std::lock_guard<std::mutex> lock(controls.mutex);
    return controls.starvedCalls;
}

int QueuedBuffers() {
    std::lock_guard<std::mutex> lock(controls.mutex);
    return int(controls.fifo.size());
}

void StartPacing(int64_t framesPerCall, int milliseconds) {
    StopPacing();
    controls.pacing = true;
    controls.pacer = std::thread([framesPerCall, milliseconds] {
        auto next = std::chrono::steady_clock::now();
        while (controls.pacing) {
            next += std::chrono::milliseconds(milliseconds);
            std::this_thread::sleep_until(next);
            PlayFrames(framesPerCall);
        }
    });
}

void StopPacing() {
    controls.pacing = false;
    if (controls.pacer.joinable()) controls.pacer.join();
}

int64_t WorstPollGap() {
    std::lock_guard<std::mutex> lock(controls.mutex);
    return controls.worstPollGap;
}

std::vector<std::string> Events() {
    std::lock_guard<std::mutex> lock(controls.mutex);
    return controls.events;
}

void ResetTestPlatform() {
    StopPacing();
    testDevice.refuseOpen = false;
    testDevice.refuseThread = false;
    testDevice.position = 0;
    testDevice.opens = 0;
    testDevice.closes = 0;
    testDevice.openAtOnce = 0;
    testDevice.writes = 0;
    testDevice.rate = 0;
    testDevice.playing = false;
    testDevice.queued = {};
    testDevice.pauses = 0;
    testDevice.restarts = 0;
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.fifo.clear();
    controls.done.clear();
    controls.offset = 0;
    controls.paused = false;
    controls.heard.clear();
    controls.gapFrames = 0;
    controls.starvedCalls = 0;
    controls.lastPoll = {};
    controls.worstPollGap = 0;
    controls.events.clear();
    controls.holdStart = false;
    controls.stepping = false;
    controls.sleepsEntered = 0;
    controls.sleepsAllowed = 0;
    controls.pollHook = nullptr;
}

void HoldThreadStart(bool hold) {
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.holdStart = hold;
    controls.changed.notify_all();
}

void StepThread(bool on) {
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.stepping = on;
    controls.sleepsEntered = 0;
    controls.sleepsAllowed = 0;
    controls.changed.notify_all();
}

int WaitForThreadSleep() {
    std::unique_lock<std::mutex> lock(controls.mutex);
    controls.changed.wait(lock, [] { return controls.sleepsEntered > controls.sleepsAllowed; });
    return controls.sleepsEntered;
}

void StepOnce() {
    std::unique_lock<std::mutex> lock(controls.mutex);
    int target = ++controls.sleepsAllowed;
    controls.changed.notify_all();
    controls.changed.wait(lock, [target] { return controls.sleepsEntered > target || !controls.threadRunning; });
}

void OnPoll(void (*hook)()) {
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.pollHook = hook;
}

bool WaitForEvent(const std::string& event) {
    std::unique_lock<std::mutex> lock(controls.mutex);
    return controls.changed.wait_for(lock, std::chrono::seconds(10), [&event] {
        for (const std::string& e : controls.events) {
            if (e == event) return true;
        }
        return false;
    });
}

}  // namespace lumbo_test

namespace lumbo {

using lumbo_test::controls;
using lumbo_test::Log;
using lumbo_test::testDevice;

// The device handle is the test device itself.
bool WaveOutOpen(WaveDevice* device, int32_t rate) {
    Log("open");
    testDevice.rate = rate;
    if (testDevice.refuseOpen) return false;
    int open = ++testDevice.opens - testDevice.closes;
    if (open > testDevice.openAtOnce) testDevice.openAtOnce = open;
    *device = &testDevice;
    return true;
}

void WaveOutPrepareHeader(WaveDevice device, WaveHeader* header) {
    if (device) header->flags |= WaveHeaderPrepared;
}

void WaveOutWrite(WaveDevice device, WaveHeader* header) {
    if (!device) return;
    ++testDevice.writes;
    testDevice.playing = true;
    if (!(header->flags & WaveHeaderBeginLoop)) {
        std::lock_guard<std::mutex> lock(controls.mutex);
        controls.done.erase(header);
        controls.fifo.push_back(header);
        return;
    }
    Log("write");
    testDevice.queued = *header;
}

bool WaveOutDone(WaveDevice, const WaveHeader* header) {
    std::lock_guard<std::mutex> lock(controls.mutex);
    return controls.done.count(header) != 0;
}

void WaveOutPause(WaveDevice device) {
    if (!device) return;
    ++testDevice.pauses;
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.paused = true;
}

void WaveOutRestart(WaveDevice device) {
    if (!device) return;
    ++testDevice.restarts;
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.paused = false;
}

uint32_t WaveOutGetPosition(WaveDevice device) {
    if (!device) return 0;
    uint32_t position = testDevice.position;
    if (lumbo_test::OnEngineThread()) {
        std::lock_guard<std::mutex> lock(controls.mutex);
        const auto now = std::chrono::steady_clock::now();
        if (controls.lastPoll != std::chrono::steady_clock::time_point{}) {
            const int64_t gap = std::chrono::duration_cast<std::chrono::microseconds>(now - controls.lastPoll).count();
            controls.worstPollGap = std::max(controls.worstPollGap, gap);
        }
        controls.lastPoll = now;
    }
    Log("poll");
    void (*hook)();
    {
        std::lock_guard<std::mutex> lock(controls.mutex);
        hook = controls.pollHook;
    }
    if (hook) hook();
    return position;
}

void WaveOutUnprepareHeader(WaveDevice device, WaveHeader* header) {
    if (!device) return;
    if (!(header->flags & WaveHeaderBeginLoop)) {
        std::lock_guard<std::mutex> lock(controls.mutex);
        if (controls.done.count(header)) header->flags &= ~WaveHeaderPrepared;
        return;
    }
    // Refused while the buffer plays, as the system does.
    if (testDevice.playing) {
        Log("unprepare refused");
        return;
    }
    Log("unprepare");
    header->flags &= ~WaveHeaderPrepared;
}

void WaveOutReset(WaveDevice device) {
    Log("reset");
    if (!device) return;
    testDevice.playing = false;
    testDevice.position = 0;
    std::lock_guard<std::mutex> lock(controls.mutex);
    for (WaveHeader* header : controls.fifo) controls.done.insert(header);
    controls.fifo.clear();
    controls.offset = 0;
    controls.paused = false;
}

void WaveOutClose(WaveDevice device) {
    Log("close");
    if (device) ++testDevice.closes;
}

ThreadHandle CreateEngineThread(ThreadEntry entry) {
    if (testDevice.refuseThread) return nullptr;
    auto* handle = new lumbo_test::TestThread;
    handle->entry = entry;
    handle->thread = std::thread(lumbo_test::RunEntry, handle);
    return handle;
}

void RaiseThreadPriority(ThreadHandle) {}

void CloseEngineThread(ThreadHandle thread) {
    if (!thread) return;
    Log("join");
    auto* handle = static_cast<lumbo_test::TestThread*>(thread);
    handle->thread.join();
    delete handle;
}

void SleepMilliseconds(uint32_t milliseconds) {
    Log("sleep " + std::to_string(milliseconds));
    if (lumbo_test::OnEngineThread()) {
        std::unique_lock<std::mutex> lock(controls.mutex);
        if (controls.stepping) {
            int entered = ++controls.sleepsEntered;
            controls.changed.notify_all();
            controls.changed.wait(lock, [entered] { return !controls.stepping || controls.sleepsAllowed >= entered; });
            return;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace lumbo
