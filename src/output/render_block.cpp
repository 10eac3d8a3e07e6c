#include "output/render_block.h"

#include "mixer/mixer.h"
#include "output/master_volume.h"
#include "output/pcm.h"

namespace lumbo {

namespace {

// The tick the handler just processed, as the tick trace shows it: the order
// position and row the row processing used, and the tick before the driver
// moved it on.
SongPosition TickPosition(const Player& player, int32_t tick) {
    const Song* song = player.song;
    const int32_t order = song->orderPosition;
    const bool inside = order >= 0 && order < kOrderTableSize;
    return SongPosition{order, inside ? song->orderTable[order] : 0, player.currentRow, tick};
}

void NoteTick(BlockTicks& ticks, int32_t frame, const SongPosition& position) {
    const int32_t slot = ticks.count < kMarksPerBlock ? ticks.count++ : kMarksPerBlock - 1;
    ticks.frame[slot] = frame;
    ticks.position[slot] = position;
}

}  // namespace

void RenderBlock(Stream& stream) {
    OutputRing& ring = stream.ring;
    Player& player = stream.player;
    Song* song = player.song;
    const int32_t blockFrames = ring.blockFrames;
    // A render without a device converts as it hands frames out: it has no
    // PCM ring.
    const bool toRing = !stream.cursor.active;
    if (!song || !player.tickHandler || (toRing && !ring.ringSamples) || !ring.mixBuffer || blockFrames <= 0) return;
    const int32_t blocksInRing = ring.ringFrames / blockFrames;
    if (ring.writeBlock < 0 || ring.writeBlock >= blocksInRing || blocksInRing > kBlocksInRing) return;

    const int32_t base = ring.writeBlock * blockFrames;
    MixFrame* cursor = ring.mixBuffer + base;

    BlockTicks& ticks = stream.ticks[ring.writeBlock];
    ticks.count = 0;
    ticks.first = stream.lastTick;
    int32_t done = 0;
    int32_t left = song->tickSamplesLeft > 0 ? song->tickSamplesLeft : 0;
    while (done < blockFrames) {
        if (left == 0) {
            const int32_t tick = song->tick;
            player.tickHandler(player);
            stream.lastTick = TickPosition(player, tick);
            NoteTick(ticks, done, stream.lastTick);
            // A tick shorter than one frame would never end the loop.
            left = song->samplesPerTick > 0 ? song->samplesPerTick : 1;
        }
        int32_t n = left;
        if (n > blockFrames - done) n = blockFrames - done;
        WriteVoices(player.mixer, cursor, n);
        done += n;
        left -= n;
        cursor += n;
    }
    song->tickSamplesLeft = left;

    // A render without a device also scales as it hands frames out, so that a
    // change of volume is heard from the next frame, not the next block.
    if (toRing) {
        ApplyMasterVolume(stream, ring.mixBuffer + base, blockFrames);
        ConvertToPcm16(ring.ringSamples + 2 * base, ring.mixBuffer + base, blockFrames);
    }
    ring.writeBlock += 1;
    if (ring.writeBlock >= blocksInRing) ring.writeBlock = 0;
}

SongPosition PositionInBlock(const Stream& stream, int32_t block, int32_t frame) {
    if (block < 0 || block >= kBlocksInRing) return SongPosition{};
    const BlockTicks& ticks = stream.ticks[block];
    SongPosition position = ticks.first;
    for (int32_t i = 0; i < ticks.count && i < kMarksPerBlock && ticks.frame[i] <= frame; ++i) {
        position = ticks.position[i];
    }
    return position;
}

}  // namespace lumbo
