#include "output/device_queue.h"

#include <cstring>
#include <new>

#include "platform/memory.h"

namespace lumbo {

bool PrepareDeviceQueue(Stream& stream) {
    if (stream.queue) return true;
    const size_t slotBytes = size_t(stream.ring.blockFrames) * 4;
    void* memory = AllocateZeroed(sizeof(DeviceQueue) + kQueueSlots * slotBytes);
    if (!memory) return false;
    DeviceQueue* queue = new (memory) DeviceQueue{};
    queue->allocation = memory;
    int16_t* frames = reinterpret_cast<int16_t*>(queue + 1);
    for (QueueSlot& slot : queue->slots) {
        slot.pcm = frames;
        frames += 2 * stream.ring.blockFrames;
    }
    stream.queue = queue;
    return true;
}

void ReleaseDeviceQueue(Stream& stream) {
    if (stream.queue) Release(stream.queue->allocation);
    stream.queue = nullptr;
}

int32_t ReplayFrames(const Stream& stream) { return stream.queue ? stream.queue->replayLeft : 0; }

int32_t HandReplay(Stream& stream, int16_t* destination, int64_t frameCount) {
    DeviceQueue* queue = stream.queue;
    int32_t copied = 0;
    while (queue && queue->replayLeft > 0 && copied < frameCount) {
        const QueueSlot& slot = queue->slots[queue->replaySlot];
        int32_t n = slot.frames - queue->replayOffset;
        if (n > queue->replayLeft) n = queue->replayLeft;
        if (n > frameCount - copied) n = int32_t(frameCount - copied);
        memcpy(destination + 2 * copied, slot.pcm + 2 * queue->replayOffset, size_t(n) * 4);
        copied += n;
        queue->replayLeft -= n;
        queue->replayOffset += n;
        if (queue->replayOffset == slot.frames) {
            queue->replaySlot = (queue->replaySlot + 1) % kQueueSlots;
            queue->replayOffset = 0;
        }
    }
    return copied;
}

SongPosition ReplayPosition(const Stream& stream) {
    const DeviceQueue& queue = *stream.queue;
    const QueueSlot& slot = queue.slots[queue.replaySlot];
    return PositionInTicks(slot.ticks, slot.offset + queue.replayOffset - 1);
}

}  // namespace lumbo
