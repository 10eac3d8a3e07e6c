// Rendering a song without a device, byte for byte as a listener hears it:
// the same ring geometry, the same blocks in the same order, the same
// RenderBlock as the start-up pre-render and the render thread. The frames
// come out as one continuous stream from the song's start, which is what the
// device plays as it loops the ring.
//
// It uses the engine's own records (the output ring, the voices, the
// channels), so it cannot run while a song plays. Like playback, give it a
// freshly loaded song: a render leaves traces in the song (effect memories,
// finetunes set by E5x) that a second render of the same Song would hear.
#pragma once
#include <cstdint>

#include "song/song.h"

namespace lumbo {

struct OfflineRender {
    bool    active;            // between BeginOfflineRender and EndOfflineRender
    int32_t blockStart;        // ring frame of the block rendered last
    int32_t framesUnread;      // frames of that block not yet handed out
};

extern OfflineRender offlineRender;

// Does what opening the output at rate and starting playback do, except
// touching a device: sets sampleRate, sizes the ring, clears the voice pool,
// puts the song at its start, binds the channels and allocates the ring.
// Blocks are rendered later, as frames are asked for. The caller may wrap
// song->tickHandler afterwards (to trace ticks, for instance). False, with
// nothing held, for a null song, an unusable rate, a ring still in use by
// playback or short memory; a render still open is ended first.
bool BeginOfflineRender(Song* song, int32_t rate);

// Copies the next frameCount frames (left then right, 16 bits each) of the
// stream to destination, rendering blocks as they are needed. False, with
// nothing written, when no render is open or the arguments are unusable.
bool RenderOfflineFrames(int16_t* destination, int64_t frameCount);

// Releases the ring and forgets the song; the song stays the caller's.
void EndOfflineRender();

}  // namespace lumbo
