#include "support/test_platform.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
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

std::vector<std::string> Events() {
    std::lock_guard<std::mutex> lock(controls.mutex);
    return controls.events;
}

void ResetTestPlatform() {
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
    std::lock_guard<std::mutex> lock(controls.mutex);
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
    Log("write");
    ++testDevice.writes;
    testDevice.queued = *header;
    testDevice.playing = true;
}

uint32_t WaveOutGetPosition(WaveDevice device) {
    if (!device) return 0;
    uint32_t position = testDevice.position;
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
    if (device) testDevice.playing = false;
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
