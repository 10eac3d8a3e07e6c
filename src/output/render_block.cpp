#include "output/render_block.h"

#include <cstring>

#include "mixer/mixer.h"
#include "output/master_volume.h"
#include "output/pcm.h"
#include "sequencer/tick_driver.h"
#include "sequencer/voice_update.h"

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

// The host's controls, as they stand at the start of a block.
void TakeUpControls(Stream& stream) {
    Player& player = stream.player;
    const uint32_t mutes = stream.mutes.load(std::memory_order_relaxed);
    if (mutes != player.mutedChannels) {
        SetMutedChannels(player, mutes);
        if (stream.framesRendered > 0) stream.steered = true;
    }
    if (const uint32_t jump = stream.jump.exchange(0, std::memory_order_relaxed)) {
        JumpTo(player, int32_t((jump - 1) >> 16), int32_t((jump - 1) & 0xFFFF));
        StartPass(stream.passes);   // the song is somewhere new: nothing visited yet
        stream.steered = true;
    }
}

// Runs the song's ticks over the next `frames` frames of the block being
// rendered and mixes them into out, or with no out only moves the voices.
// Stops early where the song ends. Returns the frames run through. Marks go
// into marks (when given) from frame markBase.
int32_t RunTicks(Stream& stream, int32_t frames, MixFrame* out, BlockTicks* marks, int32_t markBase) {
    Player& player = stream.player;
    Song* song = player.song;
    const int32_t endAfter = stream.endAfter.load(std::memory_order_relaxed);
    int32_t done = 0;
    int32_t left = song->tickSamplesLeft > 0 ? song->tickSamplesLeft : 0;
    bool ended = false;
    while (done < frames) {
        if (left == 0) {
            if (!EnterTick(stream.passes, player, endAfter)) {
                ended = true;
                break;
            }
            const int32_t tick = song->tick;
            player.tickHandler(player);
            stream.lastTick = TickPosition(player, tick);
            if (marks) NoteTick(*marks, markBase + done, stream.lastTick);
            // A tick shorter than one frame would never end the loop.
            left = song->samplesPerTick > 0 ? song->samplesPerTick : 1;
        }
        const int32_t n = left < frames - done ? left : frames - done;
        if (out) {
            WriteVoices(player.mixer, out + done, n);
        } else {
            MoveVoices(player.mixer, n);
        }
        done += n;
        left -= n;
    }
    song->tickSamplesLeft = left;
    // An end that falls on the last frame is known now, not only when the
    // next frames are asked for (unless a jump is on its way).
    if (!ended && left == 0) {
        ended = !EnterTick(stream.passes, player, endAfter, false) && stream.jump.load(std::memory_order_relaxed) == 0;
    }
    stream.endReached.store(ended ? 1 : 0, std::memory_order_relaxed);
    stream.framesRendered += uint64_t(done);
    return done;
}

bool Usable(const Stream& stream) {
    return stream.player.song && stream.player.tickHandler && stream.ring.blockFrames > 0 &&
           stream.ring.ringFrames / stream.ring.blockFrames <= kBlocksInRing;
}

}  // namespace

int32_t RenderBlock(Stream& stream) {
    OutputRing& ring = stream.ring;
    const int32_t blockFrames = ring.blockFrames;
    // A render without a device converts as it hands frames out: it has no
    // PCM ring.
    const bool toRing = !stream.cursor.active;
    if (!Usable(stream) || (toRing && !ring.ringSamples) || !ring.mixBuffer) return 0;
    const int32_t blocksInRing = ring.ringFrames / blockFrames;
    if (ring.writeBlock < 0 || ring.writeBlock >= blocksInRing) return 0;
    TakeUpControls(stream);

    const int32_t base = ring.writeBlock * blockFrames;
    BlockTicks& ticks = stream.ticks[ring.writeBlock];
    const int32_t from = ring.blockFilled > 0 && ring.blockFilled < blockFrames ? ring.blockFilled : 0;
    if (from == 0) {
        ticks.count = 0;
        ticks.first = stream.lastTick;
    }
    const int32_t rendered = RunTicks(stream, blockFrames - from, ring.mixBuffer + base + from, &ticks, from);
    int32_t done = from + rendered;
    if (toRing) {
        // A device plays whole blocks: silence after the end.
        if (done < blockFrames) memset(ring.mixBuffer + base + done, 0, sizeof(MixFrame) * size_t(blockFrames - done));
        done = blockFrames;
        // A render without a device also scales as it hands frames out, so
        // that a change of volume is heard from the next frame, not the next
        // block.
        ApplyMasterVolume(stream, ring.mixBuffer + base, blockFrames);
        ConvertToPcm16(ring.ringSamples + 2 * base, ring.mixBuffer + base, blockFrames);
    }
    ring.blockFilled = done < blockFrames ? done : 0;
    if (done == blockFrames) {
        ring.writeBlock += 1;
        if (ring.writeBlock >= blocksInRing) ring.writeBlock = 0;
    }
    return rendered;
}

bool MoveBlocks(Stream& stream, uint32_t blocks) {
    OutputRing& ring = stream.ring;
    if (!Usable(stream)) return false;
    TakeUpControls(stream);
    const int32_t blocksInRing = ring.ringFrames / ring.blockFrames;
    for (; blocks > 0; --blocks) {
        const int32_t n = ring.blockFrames - ring.blockFilled;
        const int32_t moved = RunTicks(stream, n, nullptr, nullptr, 0);
        if (moved < n) {
            ring.blockFilled += moved;
            return false;
        }
        ring.blockFilled = 0;
        ring.writeBlock = ring.writeBlock + 1 < blocksInRing ? ring.writeBlock + 1 : 0;
    }
    return true;
}

SongPosition PositionInBlock(const Stream& stream, int32_t block, int32_t frame) {
    if (block < 0 || block >= kBlocksInRing) return SongPosition{};
    return PositionInTicks(stream.ticks[block], frame);
}

SongPosition PositionInTicks(const BlockTicks& ticks, int32_t frame) {
    SongPosition position = ticks.first;
    for (int32_t i = 0; i < ticks.count && i < kMarksPerBlock && ticks.frame[i] <= frame; ++i) {
        position = ticks.position[i];
    }
    return position;
}

}  // namespace lumbo
