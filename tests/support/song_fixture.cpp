#include "support/song_fixture.h"

#include <gtest/gtest.h>

namespace lumbo_test {

SongPtr TryLoad(const xm::Module& module, lumbo::LoadStatus* status) {
    std::vector<uint8_t> image = xm::Image(xm::Write(module));
    return SongPtr(lumbo::LoadSong(image.data(), status));
}

SongPtr Load(const xm::Module& module) {
    lumbo::LoadStatus status{};
    SongPtr song = TryLoad(module, &status);
    EXPECT_TRUE(song) << "module rejected, error " << int(status.error) << " index " << status.index
                      << " value " << status.value;
    return song;
}

}  // namespace lumbo_test
