// The wave-output device, the life of the output ring and the render thread
// that keeps the ring about two seconds ahead of the listener.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/thread.h"
#include "platform/wave_out.h"
#include "song/song.h"

namespace lumbo {

// Every field has an initialiser: the record is then set up at compile time,
// which the Windows DLL (no start-up code) relies on for threadExited.
struct OutputDevice {
    WaveDevice           waveDevice{};         // the open device; null when closed
    WaveHeader           waveHeader{};         // the ring as handed to the device
    ThreadHandle         renderThreadHandle{}; // the running RenderThread; null when none
    // The start and stop protocol. No locks: each side's store must be seen by
    // the other before its own next load, hence sequentially consistent bytes.
    std::atomic<uint8_t> stopRequest{0};       // 1 asks the RenderThread to end
    std::atomic<uint8_t> renderBusy{0};        // 1 while the RenderThread is inside RenderBlock
    std::atomic<uint8_t> threadExited{1};      // 1 when no RenderThread runs its loop
    // The device's byte count wraps at 2^32, which the ring size does not
    // divide; the thread adds the difference between polls to a wide count.
    uint32_t             lastPosition{};       // device byte count at the last poll
    uint64_t             playedBytes{};        // bytes played since the ring was queued
};

extern OutputDevice outputDevice;

// Sets sampleRate, opens the device for 16-bit stereo at rate, then sizes the
// ring and the mixer's ramps and clears the voice pool. False when the device
// cannot be opened (only sampleRate has changed then).
bool OpenOutput(int32_t rate);

// Puts song at its start, allocates the ring and its float mirror, renders
// the whole ring, queues it on the device as one endless loop and starts the
// RenderThread. False for a null song, or when memory is short: then nothing
// is held, nothing plays and the device is left open and idle. Also false when
// the thread cannot be started: the ring is then queued and the song bound,
// and the caller runs StopPlayback and the rest of the stop sequence.
bool StartPlayback(Song* song);

// Sets the thread's own floating-point defaults, then polls the device every
// 5 ms and renders each block the device has left, until stopRequest is set. Returns the thread's exit code, 0.
uint32_t RenderThread();

// Ends the RenderThread, releases the float buffer, resets the device and
// takes the ring back from it (unprepared). false for a null song
// (nothing done). The song is only tested for presence.
bool StopPlayback(Song* song);

}  // namespace lumbo
