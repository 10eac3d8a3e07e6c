// A stream's blocks on the device: a short queue of buffers, each holding the
// frames of (part of) one of the stream's blocks, handed to the device one by
// one. The render thread keeps it filled a few blocks ahead of the listener,
// so whatever a host changes is heard within that lead.
#pragma once
#include <cstdint>

#include "output/stream.h"
#include "platform/wave_out.h"
#include "song/song.h"

namespace lumbo {

// Buffers queued at most: the lead over the listener is at most this many
// blocks (20 ms each), 60 ms. Under load the render thread's worst wait
// between polls measured 14-21 ms; with three blocks, two (40 ms) are still
// queued when one has played, and two blocks would leave too little.
constexpr int32_t kQueueSlots = 3;

struct QueueSlot {
    WaveHeader header;         // as handed to the device
    int16_t*   pcm;            // room for one block
    int32_t    frames;         // frames in it
    int32_t    offset;         // its first frame's place in its block
    uint64_t   firstFrame;     // the stream's frame number of its first frame
    uint64_t   startByte;      // device bytes queued before it
    BlockTicks ticks;          // its block's ticks
};

struct DeviceQueue {
    void*     allocation;      // this record and the slots' frames, as obtained
    QueueSlot slots[kQueueSlots];
    int32_t   head;            // the oldest slot queued
    int32_t   count;           // slots queued
    uint64_t  queuedBytes;     // device bytes queued since playback started
    // After playback stops, the frames that were rendered but never heard,
    // from replayOffset in slot replaySlot on: handed out before any new one.
    int32_t   replaySlot;
    int32_t   replayOffset;
    int32_t   replayLeft;
    // The song record as playback found it. The render thread writes the
    // live one; a seek or the song's facts read this.
    Song      songAtStart;
};

// Gives the stream its queue (once; its slots sized for the stream's blocks).
// False when memory is short.
bool PrepareDeviceQueue(Stream& stream);
// Releases the stream's queue, if any.
void ReleaseDeviceQueue(Stream& stream);

// Frames not yet heard that a stopped playback left, handed out first.
int32_t ReplayFrames(const Stream& stream);
// Copies up to frameCount of them to destination; returns the frames copied.
int32_t HandReplay(Stream& stream, int16_t* destination, int64_t frameCount);
// The tick that made the last frame handed out before the replay's next one.
SongPosition ReplayPosition(const Stream& stream);

}  // namespace lumbo
