// What the host-facing functions share.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/float_env.h"
#include "song/song.h"

namespace lumbo {

// Modules up to 2 GiB - 1: the loader counts in signed 32 bits.
constexpr size_t kMaxModuleBytes = 0x7FFFFFFF;

// The rates a host's player may render at.
constexpr int32_t kMinPlayerRate = 8000;
constexpr int32_t kMaxPlayerRate = 192000;

// Loads an XM file a host handed over; *status (when not null) gets a
// lumbo.h status. Null when the module is rejected.
Song* LoadHostModule(const void* data, size_t size, int32_t* status);

// Saves the host's floating-point control words and sets the library's
// (round to nearest even, nothing trapped, no flush to zero); hand the result
// to RestoreFloatingPoint before returning to the host.
inline FloatControl EnterLibraryFloatingPoint() {
    const FloatControl host = SaveFloatingPoint();
    ResetFloatingPoint();
    return host;
}

}  // namespace lumbo
