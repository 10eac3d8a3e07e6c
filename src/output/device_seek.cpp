// Seeking a stream the device plays, without touching what the render thread
// works on: the seek runs on a copy made from the song as playback found it,
// and the render thread takes the result over at its next block.
#include <new>

#include "output/device_queue.h"
#include "output/offline_render.h"
#include "output/output_device.h"
#include "platform/memory.h"
#include "platform/thread.h"

namespace lumbo {

namespace {

struct SeekCopy {
    Stream stream;
    Song   song;
};

// Waits for the render thread to take the copy up. False when playback
// ended first (the copy taken back, untaken).
bool HandOver(Stream& stream, Stream* copy) {
    stream.seekPosted.store(copy, std::memory_order_release);
    for (;;) {
        if (stream.seekTaken.load(std::memory_order_acquire) == copy) {
            stream.seekTaken.store(nullptr, std::memory_order_relaxed);
            return true;
        }
        Stream* posted = copy;
        if (stream.onDevice.load() == 0 && stream.seekPosted.compare_exchange_strong(posted, nullptr)) return false;
        SleepMilliseconds(1);
    }
}

}  // namespace

bool SeekPlaying(Stream& stream, uint64_t frame) {
    uint8_t idle = 0;
    while (!stream.seekBusy.compare_exchange_weak(idle, 1)) {
        idle = 0;
        SleepMilliseconds(1);
    }
    bool ok = false;
    void* memory = AllocateZeroed(sizeof(SeekCopy));
    if (memory && stream.queue) {
        SeekCopy* copy = new (memory) SeekCopy;
        copy->song = stream.queue->songAtStart;
        copy->song.globalVolumeSlideMemory = 0;   // the loader's value
        copy->stream.mutes.store(stream.mutes.load());
        copy->stream.endAfter.store(stream.endAfter.load());
        ok = BeginOfflineRender(copy->stream, &copy->song, stream.player.mixer.sampleRate) &&
             SeekOffline(copy->stream, frame);
        if (ok && !HandOver(stream, &copy->stream)) ok = SeekOffline(stream, frame);
        EndOfflineRender(copy->stream);
    }
    Release(memory);
    stream.seekBusy.store(0);
    return ok;
}

}  // namespace lumbo
