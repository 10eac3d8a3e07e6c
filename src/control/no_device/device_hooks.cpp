// A build without an audio device: no stream is ever on it.
#include "control/device_hooks.h"

namespace lumbo {

void EndDevicePlayback() {}

bool DevicePosition(SongPosition*, uint64_t*, bool*) { return false; }

bool DeviceSeek(Stream&, uint64_t) { return false; }

}  // namespace lumbo
