// The wave-output device on the Windows multimedia interface: prepared
// buffers on the wave mapper (one endlessly looping, or a queue of blocks),
// polled for their byte position and done bits.
#include <windows.h>
#include <mmsystem.h>

#include <cstddef>

#include "platform/wave_out.h"

namespace lumbo {

// The header is handed to the system as it is.
static_assert(sizeof(WaveHeader) == sizeof(WAVEHDR), "wave header size");
static_assert(offsetof(WaveHeader, bufferLength) == offsetof(WAVEHDR, dwBufferLength), "wave header layout");
static_assert(offsetof(WaveHeader, flags) == offsetof(WAVEHDR, dwFlags), "wave header layout");
static_assert(offsetof(WaveHeader, loops) == offsetof(WAVEHDR, dwLoops), "wave header layout");
static_assert(offsetof(WaveHeader, reserved) == offsetof(WAVEHDR, reserved), "wave header layout");
static_assert(WaveHeaderPrepared == WHDR_PREPARED && WaveHeaderBeginLoop == WHDR_BEGINLOOP && WaveHeaderDone == WHDR_DONE &&
                  WaveHeaderEndLoop == WHDR_ENDLOOP,
              "wave header bits");

namespace {

HWAVEOUT Handle(WaveDevice device) { return static_cast<HWAVEOUT>(device); }
WAVEHDR* SystemHeader(WaveHeader* header) { return reinterpret_cast<WAVEHDR*>(header); }

}  // namespace

bool WaveOutOpen(WaveDevice* device, int32_t rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(rate);
    format.nAvgBytesPerSec = DWORD(rate) * 4;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    HWAVEOUT handle = nullptr;
    if (waveOutOpen(&handle, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return false;
    *device = handle;
    return true;
}

void WaveOutPrepareHeader(WaveDevice device, WaveHeader* header) {
    waveOutPrepareHeader(Handle(device), SystemHeader(header), sizeof(WAVEHDR));
}

void WaveOutWrite(WaveDevice device, WaveHeader* header) {
    waveOutWrite(Handle(device), SystemHeader(header), sizeof(WAVEHDR));
}

bool WaveOutDone(WaveDevice, const WaveHeader* header) {
    // The system sets the bit from its own thread.
    return (*static_cast<const volatile uint32_t*>(&header->flags) & WHDR_DONE) != 0;
}

void WaveOutPause(WaveDevice device) {
    if (device) waveOutPause(Handle(device));
}

void WaveOutRestart(WaveDevice device) {
    if (device) waveOutRestart(Handle(device));
}

uint32_t WaveOutGetPosition(WaveDevice device) {
    MMTIME time{};
    time.wType = TIME_BYTES;
    waveOutGetPosition(Handle(device), &time, sizeof time);
    return time.u.cb;
}

void WaveOutUnprepareHeader(WaveDevice device, WaveHeader* header) {
    waveOutUnprepareHeader(Handle(device), SystemHeader(header), sizeof(WAVEHDR));
}

void WaveOutReset(WaveDevice device) { waveOutReset(Handle(device)); }

void WaveOutClose(WaveDevice device) { waveOutClose(Handle(device)); }

}  // namespace lumbo
