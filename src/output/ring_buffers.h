// The ring's two buffers: the 16-bit PCM ring the device plays and its float
// mirror that blocks are mixed into. Both are sized by the ring's ringFrames.
#pragma once

#include "output/output_ring.h"

namespace lumbo {

// ringSamples = ringFrames zero-filled stereo 16-bit frames. False when
// ringFrames is not positive or memory is short (ringSamples stays null).
bool AllocateRingSamples(OutputRing& ring);
// mixAllocation = ringFrames x 8 + 256 zero-filled bytes, mixBuffer = that
// raised to a multiple of 16 bytes. False when ringFrames is not positive or
// memory is short (both stay null).
bool AllocateMixBuffer(OutputRing& ring);

// Each releases its buffer, if any, and sets the references to null.
void ReleaseMixBuffer(OutputRing& ring);
void ReleaseRingSamples(OutputRing& ring);

}  // namespace lumbo
