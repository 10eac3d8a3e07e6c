// The system's wave-output device, reduced to what the output ring needs: one
// 16-bit stereo PCM buffer played in an endless loop from its first frame, and
// the number of bytes played since it started. The calls mirror the Windows
// multimedia ones; other systems provide the same behaviour.
#pragma once
#include <cstdint>

namespace lumbo {

// An open device; null when none is open.
typedef void* WaveDevice;

// Header bits, with the values of the Windows wave interface.
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
// Queues the prepared buffer; the device starts at its first frame and loops.
void WaveOutWrite(WaveDevice device, WaveHeader* header);
// Bytes played since the buffer was queued, counting across loops; wraps at
// 2^32. 0 for a device that is not playing.
uint32_t WaveOutGetPosition(WaveDevice device);
// Hands the header back; may be refused while the device still plays it.
void WaveOutUnprepareHeader(WaveDevice device, WaveHeader* header);
// Stops playback and returns the buffer: the device no longer reads it.
void WaveOutReset(WaveDevice device);
// Closes the device. Reset and close ignore a null or closed device.
void WaveOutClose(WaveDevice device);

}  // namespace lumbo
