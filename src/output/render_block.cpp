#include "output/render_block.h"

#include <cstring>

#include "mixer/mixer.h"
#include "output/output_ring.h"
#include "output/pcm.h"

namespace lumbo {

void RenderBlock() {
    OutputRing& ring = outputRing;
    Song* song = ring.playingSong;
    const int32_t blockFrames = ring.blockFrames;
    if (!song || !song->tickHandler || !ring.ringSamples || !ring.mixBuffer || blockFrames <= 0) return;
    const int32_t blocksInRing = ring.ringFrames / blockFrames;
    if (ring.writeBlock < 0 || ring.writeBlock >= blocksInRing) return;

    const int32_t base = ring.writeBlock * blockFrames;
    MixFrame* cursor = ring.mixBuffer + base;
    memset(cursor, 0, sizeof(MixFrame) * size_t(blockFrames));

    int32_t done = 0;
    int32_t left = song->tickSamplesLeft > 0 ? song->tickSamplesLeft : 0;
    while (done < blockFrames) {
        if (left == 0) {
            song->tickHandler(song);
            // A tick shorter than one frame would never end the loop.
            left = song->samplesPerTick > 0 ? song->samplesPerTick : 1;
        }
        int32_t n = left;
        if (n > blockFrames - done) n = blockFrames - done;
        MixVoices(cursor, n);
        done += n;
        left -= n;
        cursor += n;
    }
    song->tickSamplesLeft = left;

    ConvertToPcm16(ring.ringSamples + 2 * base, ring.mixBuffer + base, blockFrames);
    ring.writeBlock += 1;
    if (ring.writeBlock >= blocksInRing) ring.writeBlock = 0;
}

}  // namespace lumbo
