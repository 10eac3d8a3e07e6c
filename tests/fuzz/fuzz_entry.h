// The whole path from file bytes to PCM, as the fuzz targets and their replay
// test drive it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lumbo_fuzz {

// Loads the bytes as an XM file; for an accepted module renders at least two
// seconds from its start (after a fast-forward through the tick driver of up
// to a few minutes of song time, chosen by the input's last byte), then frees
// the song. Returns whether the loader accepted the module.
bool RunModuleBytes(const uint8_t* data, size_t size);

// The same through the embedded-image form: a length word, then the bytes.
bool RunImageBytes(const uint8_t* data, size_t size);

// Through the public API as a host drives it: load at a rate, facts, two
// seconds' worth of frames pulled in chunks with volume changes and position
// queries between them (chunk sizes and volumes chosen by the last byte),
// free. The 64 bytes before the last steer it between the chunks: the rate
// (some refused), seeks within a few seconds (and past the end of a song
// played once), seeks to an order and row, jumps, channel mutes, repeat
// counts and the facts again. Traps when a position falls outside the song,
// a call writes other than it says, or the calls disagree (a position not at
// the frames handed out or sought, a refused jump accepted, a failed seek
// that changed something, an early end). Returns whether the module loaded.
bool RunPublicApiBytes(const uint8_t* data, size_t size);

}  // namespace lumbo_fuzz
