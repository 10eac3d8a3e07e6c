// One output block: the sequencer's ticks and the mixer's frames meet here.
#pragma once
#include <cstdint>

#include "output/stream.h"

namespace lumbo {

// Renders block ring.writeBlock of the stream's song into its place in the
// ring and advances writeBlock, wrapping after the last block. First it takes
// up the host's controls (mutes, a jump, the repeat count). The player's tick
// handler runs whenever the current tick's frames are used up; the tick's
// length is read after the handler, so a tempo change sizes its own tick.
// Each tick is noted in the block's ticks. For a device, the master volume
// then scales the mix and it becomes 16-bit PCM in the ring (at full volume
// the mix is not touched); a render without a device leaves the block in the
// float buffer, for RenderOfflineFrames to do both as it hands frames out.
//
// A song that ends stops the block at its end: a device gets silence for the
// rest of the block; otherwise the block stays unfinished (writeBlock stays),
// and the next call goes on with it if the song goes on after all (a larger
// repeat count). Returns the frames rendered. Requires a sized ring with its
// buffers allocated (the PCM ring only for a device) and the voices reset;
// does nothing (0) when one or the song is missing.
int32_t RenderBlock(Stream& stream);

// Moves the stream on to the start of the block `blocks` blocks after the one
// it is in, as rendering them would leave it (the same ticks, the voices cut
// into the same runs at the block ends), mixing and writing nothing. False
// when the song ends before.
bool MoveBlocks(Stream& stream, uint32_t blocks);

}  // namespace lumbo
