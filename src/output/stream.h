// A player with its output: the engine's state for one song and everything
// that turns it into 16-bit frames (the ring, the position of each tick in
// it, the master volume, the cursor of a render without a device). A zeroed
// record is a valid idle one, so the built-in player needs no constructor.
#pragma once
#include <atomic>
#include <cstdint>

#include "output/offline_render_cursor.h"
#include "output/output_ring.h"
#include "sequencer/player.h"
#include "sequencer/song_passes.h"

namespace lumbo {

// Where the song stood on one tick: what the tick trace prints for it.
struct SongPosition {
    int32_t order;             // order position the row was taken from
    int32_t pattern;           // pattern at that order position
    int32_t row;               // row the tick worked on
    int32_t tick;              // tick within the row
};

// The ticks that began inside one block. A block holds at most 3 ticks at any
// tempo an effect can set; a header asking for more keeps the last in the
// final slot.
constexpr int32_t kMarksPerBlock = 8;
struct BlockTicks {
    SongPosition first;                    // the tick that made the block's first frame
    int32_t      count;                    // ticks that began in the block
    int32_t      frame[kMarksPerBlock];    // their first frame, from the block's start
    SongPosition position[kMarksPerBlock];
};

// The position of the tick that made frame `frame` of a block with these
// ticks (before its first tick: the one before the block).
SongPosition PositionInTicks(const BlockTicks& ticks, int32_t frame);

struct DeviceQueue;   // output/device_queue.h

// A jump as a host hands it over: 0 none, else 1 + order x 65536 + row.
constexpr uint32_t JumpRequest(int32_t order, int32_t row) { return 1 + (uint32_t(order) << 16 | uint32_t(row)); }

struct Stream {
    Player        player;                  // the song, channels and voices
    OutputRing    ring;                    // what blocks are rendered into
    OfflineRender cursor;                  // frames handed out without a device
    BlockTicks    ticks[kBlocksInRing];    // per ring block, written with it
    SongPosition  lastTick;                // the tick processed last
    PassRecord    passes;                  // where the song has been: when it comes back
    uint64_t      framesRendered;          // frames rendered (or moved through) since the start
    bool          steered;                 // a jump, or a change of mutes, since the start
    // Controls a host may set from any thread; the renderer takes them up at
    // the start of its next block, so it never waits for the host.
    std::atomic<uint32_t> mutes;           // channel bits to silence
    std::atomic<int32_t>  endAfter;        // 0 never ends; n ends at the n-th come-back
    std::atomic<uint32_t> jump;            // pending JumpRequest, 0 none
    std::atomic<uint8_t>  endReached;      // 1: the song has ended after the frames rendered
    // The master volume is stored as 256 - volume, so that a zeroed record
    // plays at full volume. A host may set it from any thread.
    std::atomic<int32_t> volumeCut;        // 256 - target volume
    int32_t       appliedCut;              // the cut the gain is ramping to
    double        volumeGain;              // gain reached (1 - cut / 256 at rest)
    double        volumeDelta;             // gain change per frame during a ramp
    int32_t       volumeRampLeft;          // frames left in the ramp
    // A second cut the device puts on a stream it plays: its own volume.
    std::atomic<int32_t> outerCut;         // 0 off the device
    // The device's blocks of this stream, kept from its first time on the
    // device to its end (what was rendered but not heard stays here).
    DeviceQueue*  queue;
    std::atomic<uint8_t> onDevice;         // 1 while the device plays the stream
    // A seek made while the device plays: the caller seeks a copy of the
    // stream and posts it; the renderer takes its state over at its next
    // block and hands the copy back.
    std::atomic<Stream*> seekPosted;
    std::atomic<Stream*> seekTaken;
    std::atomic<uint8_t> seekBusy;         // one seek at a time
};

// The position of the tick that made frame `frame` (0..blockFrames-1) of ring
// block `block`.
SongPosition PositionInBlock(const Stream& stream, int32_t block, int32_t frame);

}  // namespace lumbo
