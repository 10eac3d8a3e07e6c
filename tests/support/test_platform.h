// A wave device and a thread layer for the playback tests: the device plays
// nothing and reports whatever position the test sets; the engine thread is a
// real thread that the test can hold at its start and step poll by poll.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wave_out.h"

namespace lumbo_test {

struct TestDevice {
    std::atomic<bool>     refuseOpen{false};  // WaveOutOpen fails
    std::atomic<bool>     refuseThread{false};// CreateEngineThread fails
    std::atomic<uint32_t> position{0};        // bytes played, as WaveOutGetPosition reports
    std::atomic<int>      opens{0};
    std::atomic<int>      closes{0};          // of an open device
    std::atomic<int>      openAtOnce{0};      // most devices open at the same time
    std::atomic<int>      writes{0};
    std::atomic<int32_t>  rate{0};            // asked for by the last open
    std::atomic<bool>     playing{false};     // a buffer is queued and not reset
    lumbo::WaveHeader     queued{};           // the header as queued
};

extern TestDevice testDevice;

// What the engine did, in order: "open", "write", "poll" (render thread),
// "sleep 5"/"sleep 50", "thread start", "thread end", "join", "reset", "unprepare" (or "unprepare
// refused" while the buffer plays), "close".
std::vector<std::string> Events();

// Clears the device, the counters, the log and the thread controls.
void ResetTestPlatform();

// While held, a newly created engine thread waits before running its entry.
void HoldThreadStart(bool hold);

// Stepping: while on, every sleep of the engine thread waits for a step.
void StepThread(bool on);
// Waits until the engine thread has come to rest in a sleep (after its first
// poll and catch-up), then returns the number of sleeps it has entered.
int WaitForThreadSleep();
// Lets the engine thread run one more poll and catch-up, and waits until it
// rests in its next sleep (or has ended).
void StepOnce();

// Runs on the engine thread right after each position poll.
void OnPoll(void (*hook)());

// Waits until the log holds event, up to a few seconds; false on timeout.
bool WaitForEvent(const std::string& event);

}  // namespace lumbo_test
