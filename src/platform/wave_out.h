// The system's wave-output device, reduced to what playback needs: 16-bit
// stereo PCM buffers, either one played in an endless loop from its first
// frame or a queue of buffers played once each in turn, and the number of
// bytes played. The calls mirror the Windows multimedia ones; other systems
// provide the same behaviour.
#pragma once
#include <cstdint>

namespace lumbo {

// An open device; null when none is open.
typedef void* WaveDevice;

// Header bits, with the values of the Windows wave interface.
constexpr uint32_t WaveHeaderDone = 0x1;
constexpr uint32_t WaveHeaderPrepared = 0x2;
constexpr uint32_t WaveHeaderBeginLoop = 0x4;
constexpr uint32_t WaveHeaderEndLoop = 0x8;

// Describes the ring to the device. The layout is the system's wave buffer
// header (32 bytes on 32-bit Windows), so the record is handed over as it is.
struct WaveHeader {
    int16_t*    data;              // first frame of the buffer; null when there is none
    uint32_t    bufferLength;      // bytes
    uint32_t    bytesRecorded;     // unused for output
    uintptr_t   user;              // unused
    uint32_t    flags;             // WaveHeader* bits
    uint32_t    loops;             // 0xFFFFFFFF: play until the device is reset
    WaveHeader* next;              // kept by the system
    uintptr_t   reserved;          // kept by the system
};

// Opens the default device for 16-bit stereo PCM at rate frames per second,
// without completion notifications. False, with *device untouched, when no
// device can be opened.
bool WaveOutOpen(WaveDevice* device, int32_t rate);
// Prepares the header for the device; the result is not reported.
void WaveOutPrepareHeader(WaveDevice device, WaveHeader* header);
// Queues the prepared buffer after those queued. With both loop bits it plays
// in an endless loop from its first frame; without, once, and then
// WaveOutDone reports it. The first write after opening or a reset starts
// the device, unless it is paused. A device with nothing queued plays silence.
void WaveOutWrite(WaveDevice device, WaveHeader* header);
// Whether the device has played a buffer queued without loop bits to its end
// and no longer reads it. Any thread may ask while the device plays.
bool WaveOutDone(WaveDevice device, const WaveHeader* header);
// Bytes of the queued buffers played since the device was opened or reset,
// counting across loops, not counting silence; wraps at 2^32. 0 for a device
// that is not playing.
uint32_t WaveOutGetPosition(WaveDevice device);
// Pause holds the device where it is, position and queue kept; restart goes
// on from there. Both ignore a null device.
void WaveOutPause(WaveDevice device);
void WaveOutRestart(WaveDevice device);
// Hands the header back; may be refused while the device still plays it.
void WaveOutUnprepareHeader(WaveDevice device, WaveHeader* header);
// Stops playback and returns the buffer: the device no longer reads it.
void WaveOutReset(WaveDevice device);
// Closes the device. Reset and close ignore a null or closed device.
void WaveOutClose(WaveDevice device);

}  // namespace lumbo
