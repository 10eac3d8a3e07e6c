// The start and stop sequences behind the library's exports.
#pragma once

#include "song/loader.h"
#include "song/song.h"

namespace lumbo {

// The song the last successful start loaded; null when none.
extern Song* currentSong;

// Given an image: ends any playback, opens the device, loads the image and
// starts it. Given null: ends playback, closes the device and releases the
// ring. True when the sequence ran to its end (a start: the song plays).
bool ControlPlayer(const ModuleImage* image);

}  // namespace lumbo
