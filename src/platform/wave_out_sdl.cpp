// The wave-output device on SDL2 audio: SDL pulls audio through a callback,
// which copies the looping buffer out from where it left off, or the queued
// buffers one after another, and counts the bytes it has handed to the system.
// The queue is a single-writer, single-reader ring of headers: the writer
// never waits for the callback, and a callback that finds it empty plays
// silence rather than anything old.
//
// SDL is opened with dlopen when a device is first opened, not linked: a
// program that never plays (rendering, inspecting a module) then neither
// pays SDL's start-up nor needs its libraries installed to run. SDL's header
// still gives the types and constants.
#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <cstring>

#include "platform/memory.h"
#include "platform/wave_out.h"

namespace lumbo {

namespace {

// The SDL functions the device calls, resolved from the runtime library.
struct SdlCalls {
    decltype(&SDL_InitSubSystem)     initSubSystem;
    decltype(&SDL_QuitSubSystem)     quitSubSystem;
    decltype(&SDL_OpenAudioDevice)   openAudioDevice;
    decltype(&SDL_LockAudioDevice)   lockAudioDevice;
    decltype(&SDL_UnlockAudioDevice) unlockAudioDevice;
    decltype(&SDL_PauseAudioDevice)  pauseAudioDevice;
    decltype(&SDL_CloseAudioDevice)  closeAudioDevice;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function*& call) {
    call = reinterpret_cast<Function*>(dlsym(library, name));
    return call != nullptr;
}

// Null when the library or one of its functions is missing.
const SdlCalls* LoadSdl() {
    static SdlCalls calls;
    // Never closed: SDL may keep threads of its own running after the
    // device is closed.
    void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    bool complete = Resolve(library, "SDL_InitSubSystem", calls.initSubSystem) &&
                    Resolve(library, "SDL_QuitSubSystem", calls.quitSubSystem) &&
                    Resolve(library, "SDL_OpenAudioDevice", calls.openAudioDevice) &&
                    Resolve(library, "SDL_LockAudioDevice", calls.lockAudioDevice) &&
                    Resolve(library, "SDL_UnlockAudioDevice", calls.unlockAudioDevice) &&
                    Resolve(library, "SDL_PauseAudioDevice", calls.pauseAudioDevice) &&
                    Resolve(library, "SDL_CloseAudioDevice", calls.closeAudioDevice);
    return complete ? &calls : nullptr;
}

constexpr uint32_t kQueueCapacity = 16;   // more than any player queues

struct SdlDevice {
    const SdlCalls*       api;           // the loaded library's functions
    SDL_AudioDeviceID     id;
    const uint8_t*        buffer;        // the looping buffer; null when none
    uint32_t              bufferLength;  // bytes
    uint32_t              readOffset;    // next byte the callback copies
    std::atomic<uint32_t> playedBytes;   // wraps at 2^32, like the system count
    // The queue: headers written count up queueTail, the callback moves
    // queueHead past each it has played. A header's reserved field holds its
    // place in that count.
    WaveHeader*           queue[kQueueCapacity];
    std::atomic<uint32_t> queueHead;
    std::atomic<uint32_t> queueTail;
    uint32_t              queueOffset;   // bytes of the head header played
    bool                  started;       // written to since open or reset
    bool                  paused;        // held by WaveOutPause
};

// Copies queued headers into stream, moving past each one played; silence
// where the queue runs dry. Returns the bytes of real sound copied.
uint32_t FillFromQueue(SdlDevice* device, Uint8* stream, uint32_t length) {
    uint32_t copied = 0;
    uint32_t head = device->queueHead.load(std::memory_order_relaxed);
    while (copied < length && head != device->queueTail.load(std::memory_order_acquire)) {
        const WaveHeader* header = device->queue[head % kQueueCapacity];
        uint32_t piece = header->bufferLength - device->queueOffset;
        if (piece > length - copied) piece = length - copied;
        memcpy(stream + copied, reinterpret_cast<const uint8_t*>(header->data) + device->queueOffset, piece);
        copied += piece;
        device->queueOffset += piece;
        if (device->queueOffset >= header->bufferLength) {
            device->queueOffset = 0;
            device->queueHead.store(++head, std::memory_order_release);
        }
    }
    memset(stream + copied, 0, length - copied);
    return copied;
}

void FillFromBuffer(void* userdata, Uint8* stream, int length) {
    SdlDevice* device = static_cast<SdlDevice*>(userdata);
    if (!device->buffer || device->bufferLength == 0) {
        device->playedBytes.fetch_add(FillFromQueue(device, stream, uint32_t(length)));
        return;
    }
    uint32_t left = uint32_t(length);
    while (left > 0) {
        uint32_t piece = device->bufferLength - device->readOffset;
        if (piece > left) piece = left;
        memcpy(stream, device->buffer + device->readOffset, piece);
        stream += piece;
        left -= piece;
        device->readOffset += piece;
        if (device->readOffset == device->bufferLength) device->readOffset = 0;
    }
    device->playedBytes.fetch_add(uint32_t(length));
}

SdlDevice* FromHandle(WaveDevice device) { return static_cast<SdlDevice*>(device); }

}  // namespace

bool WaveOutOpen(WaveDevice* device, int32_t rate) {
    // Loaded once per process, safely when two threads open devices at once.
    static const SdlCalls* const sdl = LoadSdl();
    if (!sdl || sdl->initSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SdlDevice* opened = static_cast<SdlDevice*>(AllocateZeroed(sizeof(SdlDevice)));
    if (opened) {
        opened->api = sdl;
        SDL_AudioSpec wanted{};
        wanted.freq = rate;
        wanted.format = AUDIO_S16LSB;
        wanted.channels = 2;
        wanted.samples = 512;
        wanted.callback = FillFromBuffer;
        wanted.userdata = opened;
        SDL_AudioSpec obtained{};
        // No allowed changes: SDL converts when the hardware wants another format.
        opened->id = sdl->openAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (opened->id != 0) {
            *device = opened;
            return true;
        }
        Release(opened);
    }
    sdl->quitSubSystem(SDL_INIT_AUDIO);
    return false;
}

void WaveOutPrepareHeader(WaveDevice device, WaveHeader* header) {
    if (device && header) header->flags |= WaveHeaderPrepared;
}

void WaveOutWrite(WaveDevice device, WaveHeader* header) {
    SdlDevice* sdl = FromHandle(device);
    if (!sdl || !header || !(header->flags & WaveHeaderPrepared)) return;
    if (!(header->flags & WaveHeaderBeginLoop)) {
        const uint32_t tail = sdl->queueTail.load(std::memory_order_relaxed);
        if (tail - sdl->queueHead.load(std::memory_order_acquire) >= kQueueCapacity) return;
        header->flags &= ~WaveHeaderDone;
        header->reserved = tail;
        sdl->queue[tail % kQueueCapacity] = header;
        sdl->queueTail.store(tail + 1, std::memory_order_release);
        if (!sdl->started && !sdl->paused) sdl->api->pauseAudioDevice(sdl->id, 0);
        sdl->started = true;
        return;
    }
    sdl->api->lockAudioDevice(sdl->id);
    sdl->buffer = reinterpret_cast<const uint8_t*>(header->data);
    sdl->bufferLength = header->data ? header->bufferLength : 0;
    sdl->readOffset = 0;
    sdl->playedBytes.store(0);
    sdl->api->unlockAudioDevice(sdl->id);
    sdl->api->pauseAudioDevice(sdl->id, 0);
}

bool WaveOutDone(WaveDevice device, const WaveHeader* header) {
    SdlDevice* sdl = FromHandle(device);
    if (!sdl || !header) return true;
    // Counts wrap: the header is done once the head has passed its place.
    return int32_t(sdl->queueHead.load(std::memory_order_acquire) - uint32_t(header->reserved)) > 0;
}

void WaveOutPause(WaveDevice device) {
    SdlDevice* sdl = FromHandle(device);
    if (!sdl) return;
    sdl->paused = true;
    sdl->api->pauseAudioDevice(sdl->id, 1);
}

void WaveOutRestart(WaveDevice device) {
    SdlDevice* sdl = FromHandle(device);
    if (!sdl) return;
    sdl->paused = false;
    if (sdl->started) sdl->api->pauseAudioDevice(sdl->id, 0);
}

uint32_t WaveOutGetPosition(WaveDevice device) {
    SdlDevice* sdl = FromHandle(device);
    // A read-modify-write rather than a load: it publishes the frames the
    // caller wrote into the ring before asking to the callback's later copies.
    return sdl ? sdl->playedBytes.fetch_add(0) : 0;
}

void WaveOutUnprepareHeader(WaveDevice device, WaveHeader* header) {
    // Like the system call, refused while the buffer is still queued.
    SdlDevice* sdl = FromHandle(device);
    if (!sdl || !header || sdl->buffer == reinterpret_cast<const uint8_t*>(header->data)) return;
    if (!(header->flags & WaveHeaderBeginLoop) && !WaveOutDone(device, header)) return;
    header->flags &= ~WaveHeaderPrepared;
}

void WaveOutReset(WaveDevice device) {
    SdlDevice* sdl = FromHandle(device);
    if (!sdl) return;
    // Pausing takes the device lock, so no callback runs once it returns.
    sdl->api->pauseAudioDevice(sdl->id, 1);
    sdl->buffer = nullptr;
    sdl->bufferLength = 0;
    sdl->readOffset = 0;
    sdl->playedBytes.store(0);
    // Every queued header is handed back: done.
    sdl->queueHead.store(sdl->queueTail.load(std::memory_order_relaxed), std::memory_order_release);
    sdl->queueOffset = 0;
    sdl->started = false;
    sdl->paused = false;
}

void WaveOutClose(WaveDevice device) {
    SdlDevice* sdl = FromHandle(device);
    if (!sdl) return;
    const SdlCalls* api = sdl->api;
    api->closeAudioDevice(sdl->id);
    Release(sdl);
    api->quitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace lumbo
