// What a host's player asks of the library's device while the device plays
// it (its stream's onDevice is set). The device's build defines these beside
// the device exports; a build without a device links no_device/ instead.
#pragma once
#include <cstdint>

#include "output/stream.h"

namespace lumbo {

// Ends the playback of the stream the device plays, and closes the device.
void EndDevicePlayback();
// The last frame the render thread handed to the device, and whether the
// stream ended after it; false before the first frame.
bool DevicePosition(SongPosition* position, uint64_t* frames, bool* ended);
// Seeks the stream the device plays; false, with nothing changed, where
// SeekOffline would refuse.
bool DeviceSeek(Stream& stream, uint64_t frame);

}  // namespace lumbo
