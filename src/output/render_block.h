// One output block: the sequencer's ticks and the mixer's frames meet here.
#pragma once

#include "output/stream.h"

namespace lumbo {

// Renders block ring.writeBlock of the stream's song into its place in the
// ring and advances writeBlock, wrapping after the last block. The player's
// tick handler runs whenever the current tick's frames are used up; the
// tick's length is read after the handler, so a tempo change sizes its own
// tick. Each tick is noted in the block's ticks. For a device, the master
// volume then scales the mix and it becomes 16-bit PCM in the ring (at full
// volume the mix is not touched); a render without a device leaves the block
// in the float buffer, for RenderOfflineFrames to do both as it hands frames
// out. Requires a sized ring with its buffers allocated (the PCM ring only
// for a device) and the voices reset; does nothing when one or the song is
// missing.
void RenderBlock(Stream& stream);

}  // namespace lumbo
