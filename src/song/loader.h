// The XM loader: module image bytes to a Song.
#pragma once
#include <cstdint>

#include "song/song.h"

namespace lumbo {

// An embedded module: a 4-byte little-endian length L, then L bytes of an XM file.
typedef uint8_t ModuleImage;

// Why a module was rejected. The loader itself keeps no text; tools turn a
// status into words with DescribeLoadStatus (song/load_status_text.h).
enum class LoadError : uint8_t {
    None,
    EmptyImage,          // length word 0 / no bytes
    BadSignature,        // first 17 bytes are not "Extended Module: "
    TooManyChannels,     // value = channel count (more than 32 or negative)
    BadSongLength,       // value = song length (outside 1..256)
    BadHeaderSize,       // value = header size (would put the position outside the image)
    TooManySamples,      // index = instrument, value = sample count (more than 16)
    TooLarge,            // value = bytes asked for: far more than the module's size can justify
    OutOfMemory,
};

struct LoadStatus {
    LoadError error;
    int32_t   index;        // instrument or pattern number, when it applies
    int64_t   value;        // the offending value, when it applies
    uint32_t  missingBytes; // bytes the module needed past the end of the file (it was
                            // cut short); they read as zero and the module still loads
};

// Parses an embedded image; returns a new Song, or null when the image is empty
// or the module is rejected (status, when given, says why).
Song* LoadSong(const ModuleImage* image, LoadStatus* status = nullptr);

// The same for an XM file already in memory (no length word).
Song* LoadSongFromMemory(const uint8_t* file, uint32_t length, LoadStatus* status = nullptr);

}  // namespace lumbo
