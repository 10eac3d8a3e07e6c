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

}  // namespace lumbo_fuzz
