// A player on the device: its blocks queued a few at a time, so that what
// the host changes is heard within that lead, and a late block is a gap of
// silence the device counts, never old sound.
#include <cstring>

#include "output/device_queue.h"
#include "output/offline_render.h"
#include "output/output_device.h"
#include "platform/float_env.h"
#include "sequencer/tick_driver.h"

namespace lumbo {

namespace {

constexpr uint32_t kPollMilliseconds = 5;
constexpr int32_t kBytesPerFrame = 4;

// Frames left in the block being handed out, or in the next one: a buffer
// never holds frames of two blocks, so one block's ticks describe it.
int32_t FramesToBlockEnd(const Stream& stream) {
    const OfflineRender& cursor = stream.cursor;
    if (cursor.handed < cursor.rendered) return cursor.rendered - cursor.handed;
    return stream.ring.blockFrames - stream.ring.blockFilled;
}

enum class Fade { None, Out, In };

// Scales frames by a straight line from full to nothing (Out), or on from
// the fade-in's frames so far towards full (In); at most ramp frames fade.
void FadeFrames(int16_t* pcm, int32_t frames, Fade fade, int32_t ramp) {
    for (int32_t k = 0; k < frames; ++k) {
        int32_t gain;   // out of ramp
        if (fade == Fade::Out) {
            gain = ramp - 1 - k;
        } else {
            if (outputDevice.fadeIn >= ramp) return;
            gain = ++outputDevice.fadeIn;
        }
        if (gain < 0) gain = 0;
        pcm[2 * k] = int16_t(pcm[2 * k] * gain / ramp);
        pcm[2 * k + 1] = int16_t(pcm[2 * k + 1] * gain / ramp);
    }
}

// Renders up to maxFrames of the stream's next frames into the next free
// buffer and queues it. False when the stream has none to give.
bool QueueFrames(Stream& stream, int32_t maxFrames, Fade fade) {
    DeviceQueue& queue = *stream.queue;
    QueueSlot& slot = queue.slots[(queue.head + queue.count) % kQueueSlots];
    const int32_t left = FramesToBlockEnd(stream);
    int64_t written = 0;
    RenderOfflineFrames(stream, slot.pcm, maxFrames < left ? maxFrames : left, &written);
    if (written == 0) return false;
    const OfflineRender& cursor = stream.cursor;
    slot.frames = int32_t(written);
    slot.offset = cursor.handed - slot.frames;
    slot.firstFrame = cursor.framesOut - uint64_t(written);
    slot.ticks = stream.ticks[cursor.block];
    const int32_t ramp = stream.player.mixer.rampLength > 0 ? stream.player.mixer.rampLength : 1;
    if (fade != Fade::None) FadeFrames(slot.pcm, slot.frames, fade, ramp);
    slot.header = WaveHeader{slot.pcm, uint32_t(written) * kBytesPerFrame, 0, 0, 0, 0, nullptr, 0};
    WaveOutPrepareHeader(outputDevice.waveDevice, &slot.header);
    slot.startByte = queue.queuedBytes;
    queue.queuedBytes += slot.header.bufferLength;
    queue.count += 1;
    WaveOutWrite(outputDevice.waveDevice, &slot.header);
    return true;
}

// Puts frames a stopped playback left unheard back on the device, as they were.
void RequeueReplay(DeviceQueue& queue) {
    queue.head = queue.replaySlot;
    queue.count = 0;
    for (int32_t left = queue.replayLeft; left > 0; ++queue.count) {
        QueueSlot& slot = queue.slots[(queue.head + queue.count) % kQueueSlots];
        const int32_t skip = queue.count == 0 ? queue.replayOffset : 0;
        int32_t frames = slot.frames - skip;
        if (frames > left) frames = left;
        // The slot now starts where its unheard frames do.
        memmove(slot.pcm, slot.pcm + 2 * skip, size_t(frames) * kBytesPerFrame);
        slot.offset += skip;
        slot.firstFrame += uint64_t(skip);
        slot.frames = frames;
        slot.header = WaveHeader{slot.pcm, uint32_t(frames) * kBytesPerFrame, 0, 0, 0, 0, nullptr, 0};
        slot.startByte = queue.queuedBytes;
        queue.queuedBytes += slot.header.bufferLength;
        WaveOutPrepareHeader(outputDevice.waveDevice, &slot.header);
        WaveOutWrite(outputDevice.waveDevice, &slot.header);
        left -= frames;
    }
    queue.replayLeft = 0;
    queue.replayOffset = 0;
}

void PollPosition() {
    const uint32_t position = WaveOutGetPosition(outputDevice.waveDevice);
    outputDevice.playedBytes += uint32_t(position - outputDevice.lastPosition);
    outputDevice.lastPosition = position;
}

// The frame the device plays now, from the buffers queued; the last frame
// of the last one once all are played. False when nothing is queued.
bool DeviceFrame(const DeviceQueue& queue, SongPosition* position, uint64_t* frame) {
    if (queue.count == 0) return false;
    const uint64_t played = outputDevice.playedBytes;
    for (int32_t i = 0; i < queue.count; ++i) {
        const QueueSlot& slot = queue.slots[(queue.head + i) % kQueueSlots];
        const uint64_t end = slot.startByte + slot.header.bufferLength;
        if (played < end || i == queue.count - 1) {
            int32_t k = played < slot.startByte ? 0 : int32_t((played - slot.startByte) / kBytesPerFrame);
            if (k >= slot.frames) k = slot.frames - 1;
            *position = PositionInTicks(slot.ticks, slot.offset + k);
            *frame = slot.firstFrame + uint64_t(k);
            return true;
        }
    }
    return false;
}

// Hands back the buffers the device has played.
void Retire(DeviceQueue& queue) {
    while (queue.count > 0) {
        QueueSlot& slot = queue.slots[queue.head];
        if (!WaveOutDone(outputDevice.waveDevice, &slot.header)) break;
        WaveOutUnprepareHeader(outputDevice.waveDevice, &slot.header);
        queue.head = (queue.head + 1) % kQueueSlots;
        queue.count -= 1;
    }
}

// Takes over a seek posted by a host thread: the copy's whole state, but
// the volume, which goes on ramping from where it is.
void TakeUpSeek(Stream& stream) {
    Stream* copy = stream.seekPosted.exchange(nullptr, std::memory_order_acquire);
    if (!copy) return;
    *stream.player.song = *copy->player.song;
    const TickHandler handler = stream.player.tickHandler;   // a tool's wrapper stays
    CopyPlayer(stream.player, copy->player);
    stream.player.tickHandler = handler;
    stream.passes = copy->passes;
    stream.framesRendered = copy->framesRendered;
    stream.steered = false;
    stream.lastTick = copy->lastTick;
    stream.ring.writeBlock = copy->ring.writeBlock;
    stream.ring.blockFilled = copy->ring.blockFilled;
    stream.cursor = copy->cursor;
    const int32_t block = copy->cursor.block;
    const int32_t blockFrames = stream.ring.blockFrames;
    stream.ticks[block] = copy->ticks[block];
    for (int32_t k = 0; k < blockFrames; ++k) {
        stream.ring.mixBuffer[block * blockFrames + k] = copy->ring.mixBuffer[block * blockFrames + k];
    }
    stream.endReached.store(copy->endReached.load(std::memory_order_relaxed), std::memory_order_relaxed);
    stream.jump.store(0, std::memory_order_relaxed);   // jumps made before are forgotten
    stream.seekTaken.store(copy, std::memory_order_release);
}

// Follows the host's pause setting. Pausing queues a last short buffer that
// fades out, waits for the device to play everything queued, then holds the
// device; resuming restarts it and fades the next frames in. Nothing is lost
// or played twice: only the frames around the pause are faded.
void FollowPause(Stream& stream) {
    DeviceQueue& queue = *stream.queue;
    const bool wanted = outputDevice.pauseRequest.load() != 0;
    const int32_t ramp = stream.player.mixer.rampLength > 0 ? stream.player.mixer.rampLength : 1;
    switch (outputDevice.pauseState) {
        case Playing:
            if (!wanted || queue.count == kQueueSlots) return;
            // A fade of fewer frames than the ramp would click: finish the
            // block first when it has fewer left.
            if (FramesToBlockEnd(stream) < ramp && !OfflineEnded(stream)) {
                QueueFrames(stream, ramp, Fade::None);
                return;
            }
            QueueFrames(stream, ramp, Fade::Out);
            outputDevice.pauseState = Draining;
            return;
        case Draining:
            if (!wanted) {
                outputDevice.pauseState = Playing;
                outputDevice.fadeIn = 0;
            } else if (queue.count == 0) {
                WaveOutPause(outputDevice.waveDevice);
                outputDevice.pauseState = Paused;
            }
            return;
        case Paused:
            if (wanted) return;
            WaveOutRestart(outputDevice.waveDevice);
            outputDevice.pauseState = Playing;
            outputDevice.fadeIn = 0;
            return;
    }
}

// Publishes the frame being heard (ended once every frame of a stream that
// ends has been played) and the last frame rendered.
void Publish(Stream& stream) {
    DeviceQueue& queue = *stream.queue;
    SongPosition position;
    uint64_t frame;
    const bool ended = OfflineEnded(stream);
    if (DeviceFrame(queue, &position, &frame)) {
        const QueueSlot& last = queue.slots[(queue.head + queue.count - 1) % kQueueSlots];
        const bool heardAll = outputDevice.playedBytes >= last.startByte + last.header.bufferLength;
        StoreTick(outputDevice.heard, position, frame, ended && heardAll);
    } else if (ended && outputDevice.heard.ended.load() == 0) {
        // Nothing was left to play (a player started after its end).
        bool before;
        LoadTick(outputDevice.heard, &position, &frame, &before);
        StoreTick(outputDevice.heard, position, frame, true);
    }
    if (OfflinePosition(stream, &position, &frame)) StoreTick(outputDevice.rendered, position, frame, ended);
}

}  // namespace

bool StartQueuedPlayback(Stream& stream) {
    if (!stream.cursor.active || !PrepareDeviceQueue(stream)) return false;
    DeviceQueue& queue = *stream.queue;
    queue.songAtStart = *stream.player.song;
    queue.queuedBytes = 0;
    outputDevice.playedBytes = 0;
    outputDevice.lastPosition = 0;
    outputDevice.queued = true;
    outputDevice.pauseRequest = 0;
    outputDevice.pauseState = Playing;
    outputDevice.fadeIn = stream.player.mixer.rampLength;   // none running
    outputDevice.lateBlocks = 0;
    stream.outerCut.store(outputDevice.playbackCut.load());
    StoreTick(outputDevice.heard, SongPosition{}, 0, false);
    StoreTick(outputDevice.rendered, SongPosition{}, 0, false);
    RequeueReplay(queue);
    while (queue.count < kQueueSlots && QueueFrames(stream, stream.ring.blockFrames, Fade::None)) {
    }
    Publish(stream);
    outputDevice.stream = &stream;
    outputDevice.playing.store(1);
    stream.onDevice.store(1);
    outputDevice.stopRequest = 0;
    outputDevice.renderThreadHandle = CreateEngineThread(QueueThread);
    if (!outputDevice.renderThreadHandle) return false;
    RaiseThreadPriority(outputDevice.renderThreadHandle);
    return true;
}

uint32_t QueueThread() {
    outputDevice.threadExited = 0;
    ResetFloatingPoint();   // a new thread may inherit its creator's settings
    Stream& stream = *outputDevice.stream;
    DeviceQueue& queue = *stream.queue;
    bool starved = false;
    while (outputDevice.stopRequest == 0) {
        outputDevice.renderBusy = 1;
        PollPosition();
        Publish(stream);
        Retire(queue);
        TakeUpSeek(stream);
        stream.outerCut.store(outputDevice.playbackCut.load(std::memory_order_relaxed), std::memory_order_relaxed);
        FollowPause(stream);
        const bool ended = OfflineEnded(stream);
        if (outputDevice.pauseState == Playing) {
            // A device that ran dry while the song went on reached a block
            // before it was rendered.
            // (Not just after a resume: the pause emptied the queue.)
            const bool resumed = outputDevice.fadeIn == 0;
            if (queue.count == 0 && !ended && !starved && !resumed) outputDevice.lateBlocks.fetch_add(1);
            starved = queue.count == 0 && !ended;
            while (queue.count < kQueueSlots) {
                const Fade fade = outputDevice.fadeIn < stream.player.mixer.rampLength ? Fade::In : Fade::None;
                if (!QueueFrames(stream, stream.ring.blockFrames, fade)) break;
            }
        }
        outputDevice.renderBusy = 0;
        SleepMilliseconds(kPollMilliseconds);
    }
    outputDevice.threadExited = 1;
    return 0;
}

bool StopQueuedPlayback() {
    Stream* stream = outputDevice.stream;
    if (!stream || !outputDevice.queued) return false;
    outputDevice.stopRequest = 1;
    if (outputDevice.renderThreadHandle) {
        while (outputDevice.threadExited == 0) SleepMilliseconds(1);
        CloseEngineThread(outputDevice.renderThreadHandle);
        outputDevice.renderThreadHandle = nullptr;
    }
    // What the listener has heard, with the device held so that it plays
    // nothing more before the reset: the rest stays with the stream.
    WaveOutPause(outputDevice.waveDevice);
    PollPosition();
    DeviceQueue& queue = *stream->queue;
    WaveOutReset(outputDevice.waveDevice);
    queue.replayLeft = 0;
    for (int32_t i = 0; i < queue.count; ++i) {
        const int32_t index = (queue.head + i) % kQueueSlots;
        QueueSlot& slot = queue.slots[index];
        WaveOutUnprepareHeader(outputDevice.waveDevice, &slot.header);
        const uint64_t played = outputDevice.playedBytes;
        if (played >= slot.startByte + slot.header.bufferLength) continue;   // heard whole
        const int32_t heard = played > slot.startByte ? int32_t((played - slot.startByte) / kBytesPerFrame) : 0;
        if (queue.replayLeft == 0) {
            queue.replaySlot = index;
            queue.replayOffset = heard;
        }
        queue.replayLeft += slot.frames - heard;
    }
    queue.count = 0;
    stream->outerCut.store(0);
    stream->onDevice.store(0);
    outputDevice.playing.store(0);
    outputDevice.queued = false;
    outputDevice.stream = nullptr;
    return true;
}

}  // namespace lumbo
