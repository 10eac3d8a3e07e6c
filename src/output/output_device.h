// The wave-output device and the render thread that keeps it fed: either a
// looping ring about two seconds ahead of the listener (the built-in songs),
// or a queue of blocks a few hundredths of a second ahead (a host's player or
// module), which the host can steer, pause and hear end.
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
    std::atomic<uint8_t>  ended{0};        // 1: the stream's end has been reached
};

// What the render thread does about a pause, in turn.
enum PauseState : uint8_t { Playing, Draining, Paused };

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
    std::atomic<uint8_t> playing{0};           // 1 from a start's first publish to its stop
    // Queued playback.
    bool                 queued{};             // the stream plays through its DeviceQueue
    std::atomic<uint8_t> pauseRequest{0};      // the host's setting: 1 paused
    PauseState           pauseState{};         // the render thread's
    int32_t              fadeIn{};             // frames of a fade-in applied so far
    HeardTick            rendered;             // the last frame handed to the device
    std::atomic<uint32_t> lateBlocks{0};       // times the device ran dry while it played
    // The device's own volume, kept from song to song, stored as a cut.
    std::atomic<int32_t> playbackCut{0};
};

extern OutputDevice outputDevice;

// Sets the stream's sampleRate, opens the device for 16-bit stereo at rate,
// then sizes the ring and the mixer's ramps and clears the voices. False when
// the device cannot be opened (only sampleRate has changed then).
bool OpenOutput(Stream& stream, int32_t rate);
// Opens the device alone, for a stream already sized for rate.
bool OpenDevice(int32_t rate);

// Writes a position into a record that other threads read with LoadTick.
void StoreTick(HeardTick& record, const SongPosition& position, uint64_t frames, bool ended);
void LoadTick(const HeardTick& record, SongPosition* position, uint64_t* frames, bool* ended);

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

// Plays a stream whose render is open (a player) on the open device from
// where it stands: frames a stopped playback left unheard first. Renders the
// first blocks, queues them and starts the render thread. False when memory
// is short (nothing held then beyond the stream's queue) or the thread cannot
// be started (the blocks are queued: the caller runs StopQueuedPlayback).
bool StartQueuedPlayback(Stream& stream);
// Ends the render thread and takes the blocks back from the device; the
// frames not yet heard stay with the stream, handed out first when it plays
// or renders again. The stream stays open. False when nothing plays queued.
bool StopQueuedPlayback();
// The queue's render thread: every 5 ms takes up a seek made meanwhile,
// follows the pause setting, refills the queue and publishes the positions.
uint32_t QueueThread();
// Seeks a stream the device plays, as SeekOffline would: on a copy, which
// the render thread takes up at its next block. Waits for that.
bool SeekPlaying(Stream& stream, uint64_t frame);
// The device's own volume, 0..256 (clamped), for every stream it plays.
void SetPlaybackVolume(int32_t volume);
// The last frame the render thread handed to the device, and whether the
// stream has ended after it, for a stream the device plays.
bool RenderedPosition(SongPosition* position, uint64_t* frames, bool* ended);

// Ends the RenderThread, releases the float buffer, resets the device and
// takes the ring back from it (unprepared). The song stays the stream's, for
// the caller to release. False when the stream has no song (nothing done).
bool StopPlayback(Stream& stream);

// The tick being heard and its frame number in the song's stream, from the
// device's position at the render thread's last poll (every 5 ms). False when
// nothing plays, and once the device has played the last frame of a stream
// that ends.
bool HeardPosition(SongPosition* position, uint64_t* frames);

}  // namespace lumbo
