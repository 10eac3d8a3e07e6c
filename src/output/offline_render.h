// Rendering a song without a device, byte for byte as a listener hears it:
// the same ring geometry, the same blocks in the same order, the same
// RenderBlock as the start-up pre-render and the render thread. The frames
// come out as one continuous stream from the song's start, which is what the
// device plays as it loops the ring.
//
// Each stream renders on its own; any number may render at once, one thread
// per stream at a time. Like playback, give it a freshly loaded song: a
// render leaves traces in the song (effect memories, finetunes set by E5x)
// that a second render of the same Song would hear.
#pragma once
#include <cstdint>

#include "output/stream.h"
#include "song/song.h"

namespace lumbo {

// Does what opening the output at rate and starting playback do, except
// touching a device: sizes the ring, sets the mixer's rate and ramps, clears
// the voices, puts the song at its start, binds the channels and allocates
// the ring's float buffer (frames become 16-bit as they are handed out). Blocks are rendered later, as frames are asked for. The caller may
// wrap stream.player.tickHandler afterwards (to trace ticks, for instance).
// False, with nothing held, for a null song, an unusable rate, a ring still
// held by playback or short memory; a render still open is ended first.
bool BeginOfflineRender(Stream& stream, Song* song, int32_t rate);

// Copies the next frameCount frames (left then right, 16 bits each) of the
// stream to destination, rendering blocks as they are needed; *written (when
// given) gets the frames copied: fewer at the end of a song that ends, then
// 0. False, with nothing written, when no render is open or the arguments
// are unusable.
bool RenderOfflineFrames(Stream& stream, int16_t* destination, int64_t frameCount, int64_t* written = nullptr);

// The tick that made the last frame handed out, and the frames handed out so
// far. False before the first frame.
bool OfflinePosition(const Stream& stream, SongPosition* position, uint64_t* frames);

// Whether the song has ended and every frame of it has been handed out.
bool OfflineEnded(const Stream& stream);

// Exact seek: the next frame handed out is frame `frame` of the stream a new
// render of the song would give with the stream's present mutes and repeat
// count, bit for bit. Runs the ticks and moves the voices block by block up
// to the block holding the frame (from the start when going back, or when
// jumps or changes of mutes have made the stream differ from such a render),
// then renders that block. False, with nothing changed, past the end of a
// song that ends, without a render open or when memory is short.
bool SeekOffline(Stream& stream, uint64_t frame);

// What a stream's start clears: no rows visited, nothing rendered, no end
// reached, the first block next, the mutes as the host has set them.
void StartStreamProgress(Stream& stream);

// Releases the ring and forgets the song; the song stays the caller's.
void EndOfflineRender(Stream& stream);

}  // namespace lumbo
