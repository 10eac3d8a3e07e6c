// The wave-output device, the life of the output ring and the render thread
// that keeps the ring about two seconds ahead of the listener.
#pragma once
#include <atomic>
#include <cstdint>

#include "output/stream.h"
#include "platform/thread.h"
#include "platform/wave_out.h"
#include "song/song.h"

namespace lumbo {

// The position being heard, as the RenderThread last worked it out. The
// thread alone writes it; any thread may read it with HeardPosition. A
// sequence count makes a read that overlaps a write try again.
struct HeardTick {
    std::atomic<uint32_t> sequence{0};     // odd while a write is under way
    std::atomic<int32_t>  order{0};
    std::atomic<int32_t>  pattern{0};
    std::atomic<int32_t>  row{0};
    std::atomic<int32_t>  tick{0};
    std::atomic<uint32_t> frameLow{0};     // frames heard, in two halves: a 64-bit
    std::atomic<uint32_t> frameHigh{0};    // atomic would need a library on 32-bit x86
};

// Every field has an initialiser: the record is then set up at compile time,
// which the Windows DLL (no start-up code) relies on for threadExited.
struct OutputDevice {
    Stream*              stream{};             // what the device plays; null when nothing
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
    HeardTick            heard;                // for the host: where the listener is
};

extern OutputDevice outputDevice;

// Sets the stream's sampleRate, opens the device for 16-bit stereo at rate,
// then sizes the ring and the mixer's ramps and clears the voices. False when
// the device cannot be opened (only sampleRate has changed then).
bool OpenOutput(Stream& stream, int32_t rate);

// Puts song at its start, allocates the ring and its float mirror, renders
// the whole ring, queues it on the device as one endless loop and starts the
// RenderThread. False for a null song, or when memory is short: then nothing
// is held, nothing plays and the device is left open and idle. Also false when
// the thread cannot be started: the ring is then queued and the song bound,
// and the caller runs StopPlayback and the rest of the stop sequence.
bool StartPlayback(Stream& stream, Song* song);

// Plays outputDevice.stream: sets the thread's own floating-point defaults,
// then polls the device every 5 ms, renders each block the device has left
// and publishes the position heard, until stopRequest is set. Returns the
// thread's exit code, 0.
uint32_t RenderThread();
// Works out the position heard from the last poll and publishes it; the
// RenderThread does this at every poll, StartPlayback once before.
void PublishHeardPosition();

// Ends the RenderThread, releases the float buffer, resets the device and
// takes the ring back from it (unprepared). The song stays the stream's, for
// the caller to release. False when the stream has no song (nothing done).
bool StopPlayback(Stream& stream);

// The tick being heard and the frames heard since playback started, from the
// device's position at the RenderThread's last poll (every 5 ms). False when
// nothing plays.
bool HeardPosition(SongPosition* position, uint64_t* frames);

}  // namespace lumbo
