// Loads modules written by the XM writer into Songs for tests.
#pragma once
#include <memory>

#include "song/loader.h"
#include "song/song.h"
#include "support/xm_writer.h"

namespace lumbo_test {

struct SongDeleter {
    void operator()(lumbo::Song* song) const { lumbo::FreeSong(song); }
};
using SongPtr = std::unique_ptr<lumbo::Song, SongDeleter>;

// Writes the module and loads it; null (and a test failure) when rejected.
SongPtr Load(const xm::Module& module);
// Writes and loads, returning the status instead of failing the test.
SongPtr TryLoad(const xm::Module& module, lumbo::LoadStatus* status);

}  // namespace lumbo_test
