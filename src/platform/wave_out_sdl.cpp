// The wave-output device on SDL2 audio: SDL pulls audio through a callback,
// which copies the looping buffer out from where it left off and counts the
// bytes it has handed to the system.
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "platform/memory.h"
#include "platform/wave_out.h"

namespace lumbo {

namespace {

struct SdlDevice {
    SDL_AudioDeviceID     id;
    const uint8_t*        buffer;        // the queued buffer; null until written
    uint32_t              bufferLength;  // bytes
    uint32_t              readOffset;    // next byte the callback copies
    std::atomic<uint32_t> playedBytes;   // wraps at 2^32, like the system count
};

void FillFromBuffer(void* userdata, Uint8* stream, int length) {
    SdlDevice* device = static_cast<SdlDevice*>(userdata);
    if (!device->buffer || device->bufferLength == 0) {
        memset(stream, 0, size_t(length));
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
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SdlDevice* opened = static_cast<SdlDevice*>(AllocateZeroed(sizeof(SdlDevice)));
    if (opened) {
        SDL_AudioSpec wanted{};
        wanted.freq = rate;
        wanted.format = AUDIO_S16LSB;
        wanted.channels = 2;
        wanted.samples = 512;
        wanted.callback = FillFromBuffer;
        wanted.userdata = opened;
        SDL_AudioSpec obtained{};
        // No allowed changes: SDL converts when the hardware wants another format.
        opened->id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (opened->id != 0) {
            *device = opened;
            return true;
        }
        Release(opened);
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
}

void WaveOutPrepareHeader(WaveDevice device, WaveHeader* header) {
    if (device && header) header->flags |= WaveHeaderPrepared;
}

void WaveOutWrite(WaveDevice device, WaveHeader* header) {
    SdlDevice* sdl = FromHandle(device);
    if (!sdl || !header || !(header->flags & WaveHeaderPrepared)) return;
    SDL_LockAudioDevice(sdl->id);
    sdl->buffer = reinterpret_cast<const uint8_t*>(header->data);
    sdl->bufferLength = header->data ? header->bufferLength : 0;
    sdl->readOffset = 0;
    sdl->playedBytes.store(0);
    SDL_UnlockAudioDevice(sdl->id);
    SDL_PauseAudioDevice(sdl->id, 0);
}

uint32_t WaveOutGetPosition(WaveDevice device) {
    SdlDevice* sdl = FromHandle(device);
    return sdl ? sdl->playedBytes.load() : 0;
}

void WaveOutUnprepareHeader(WaveDevice device, WaveHeader* header) {
    // Like the system call, refused while the buffer is still queued.
    SdlDevice* sdl = FromHandle(device);
    if (!sdl || !header || sdl->buffer == reinterpret_cast<const uint8_t*>(header->data)) return;
    header->flags &= ~WaveHeaderPrepared;
}

void WaveOutReset(WaveDevice device) {
    SdlDevice* sdl = FromHandle(device);
    if (!sdl) return;
    // Pausing takes the device lock, so no callback runs once it returns.
    SDL_PauseAudioDevice(sdl->id, 1);
    sdl->buffer = nullptr;
    sdl->bufferLength = 0;
    sdl->readOffset = 0;
    sdl->playedBytes.store(0);
}

void WaveOutClose(WaveDevice device) {
    SdlDevice* sdl = FromHandle(device);
    if (!sdl) return;
    SDL_CloseAudioDevice(sdl->id);
    Release(sdl);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace lumbo
