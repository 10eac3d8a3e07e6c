// The start and stop sequences behind the library's exports.
#pragma once

#include "output/stream.h"
#include "song/loader.h"
#include "song/song.h"

namespace lumbo {

// The one player the device plays: the built-in songs and a host's module.
// Its song is the one the last successful start loaded; null when none. A
// zeroed static record: the DLL runs no constructors.
extern Stream devicePlayer;

// Given an image: ends any playback, opens the device, loads the image and
// starts it. Given null: ends playback, closes the device and releases the
// ring. True when the sequence ran to its end (a start: the song plays).
bool ControlPlayer(const ModuleImage* image);

// The start sequence for a module already loaded: ends any playback, opens
// the device at rate and plays song, which the device player then owns (the
// stop sequence releases it; so does a start that fails). OutputUnavailable
// when no device can be opened, OutOfMemory when the start runs short.
enum class StartResult { Playing, OutputUnavailable, OutOfMemory };
StartResult PlaySong(Song* song, int32_t rate);

// Plays a stream whose render is open on the device from where it stands,
// a few blocks ahead of the listener: ends any playback, opens the device at
// the stream's rate and starts it. The stream stays its owner's.
StartResult PlayStream(Stream& stream);

// Ends playback and closes the device, as stop does.
void StopDevice();

}  // namespace lumbo
