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

// Through the public API as a host drives it: load, facts, two seconds pulled
// in chunks with volume changes and position queries between them (chunk
// sizes and volumes chosen by the last byte), free. Traps when a position
// falls outside the song or a call writes other than it says. Returns whether
// the module loaded.
bool RunPublicApiBytes(const uint8_t* data, size_t size);

}  // namespace lumbo_fuzz
