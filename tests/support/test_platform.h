// A wave device and a thread layer for the playback tests. A looping buffer
// plays nothing: the device reports whatever position the test sets. Queued
// buffers play as the test calls PlayFrames (or a paced thread does), which
// records every frame heard. The engine thread is a real thread that the
// test can hold at its start and step poll by poll.
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
    std::atomic<int>      pauses{0};
    std::atomic<int>      restarts{0};
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

// Plays up to frames frames of the queued buffers, as the device would: each
// header finished is marked done, and the position moves by the frames
// played. Nothing while paused; frames asked for with nothing queued count as
// a gap. Returns the frames played.
int64_t PlayFrames(int64_t frames);
// Every frame played since the last reset, left then right.
std::vector<int16_t> HeardFrames();
// Frames asked for while nothing was queued (and the device was not paused),
// and the number of PlayFrames calls that met such a gap.
int64_t GapFrames();
int64_t StarvedCalls();
// Buffers queued and not yet played.
int QueuedBuffers();

// A thread that plays framesPerCall frames every `milliseconds` ms on real
// time, until StopPacing. Each call's lateness is measured.
void StartPacing(int64_t framesPerCall, int milliseconds);
void StopPacing();
// The engine thread's worst time between two position polls, in
// microseconds, since the last reset.
int64_t WorstPollGap();

// Runs on the engine thread right after each position poll.
void OnPoll(void (*hook)());

// Waits until the log holds event, up to a few seconds; false on timeout.
bool WaitForEvent(const std::string& event);

}  // namespace lumbo_test
