// Where a command's song comes from: an XM file, or one of the songs built
// into the library.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "song/song.h"

namespace lumbo_tool {

struct SongSource {
    std::string path;      // the XM file; empty when embedded is used
    int         embedded;  // 1 or 2 for a built-in song, 0 for the file
};

// Loads the song. On failure prints "lumbo: NAME: REASON" to stderr, returns
// null and sets *exitStatus: kExitRejected when the loader refused the module,
// kExitFailure when it could not be read.
lumbo::Song* LoadSongSource(const SongSource& source, int* exitStatus);

// The module's XM file bytes: the file's, or a built-in song's (its image
// without the length word). On failure prints "lumbo: NAME: REASON" to
// stderr and returns false.
bool ReadSongBytes(const SongSource& source, std::vector<uint8_t>* bytes);

}  // namespace lumbo_tool
