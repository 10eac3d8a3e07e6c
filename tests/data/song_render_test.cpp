// Two full loops of each embedded song through the engine's offline renderer:
// the songs must never reach full scale (peak at or below -1 dBFS) and sit at
// a normal loudness for game music (RMS between -20 and -12 dBFS).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "data/songs.h"
#include "output/offline_render.h"
#include "song/loader.h"
#include "song/song.h"
#include "support/song_fixture.h"

namespace {

struct Loudness {
    int     loops = 0;           // position jumps back seen
    int     peak = 0;            // largest |sample|
    double  rmsDb = -999.0;
    double  seconds = 0.0;
};

Loudness RenderTwoLoops(const lumbo::ModuleImage* image) {
    Loudness result;
    lumbo_test::SongPtr song(lumbo::LoadSong(image));
    if (!song || !lumbo::BeginOfflineRender(song.get(), 44100)) return result;
    const int64_t chunk = 1024;
    std::vector<int16_t> frames(size_t(chunk) * 2);
    long double sumOfSquares = 0;
    int64_t count = 0;
    int lastOrder = song->orderPosition;
    // A loop ends when the order position moves back; stop after the second,
    // or after ten minutes if the song never loops.
    while (result.loops < 2 && count < 44100LL * 600) {
        if (!lumbo::RenderOfflineFrames(frames.data(), chunk)) break;
        for (int16_t s : frames) {
            int magnitude = s < 0 ? -int(s) : int(s);
            if (magnitude > result.peak) result.peak = magnitude;
            sumOfSquares += (long double)s * s;
        }
        count += chunk;
        if (song->orderPosition < lastOrder) ++result.loops;
        lastOrder = song->orderPosition;
    }
    lumbo::EndOfflineRender();
    result.seconds = double(count) / 44100.0;
    long double meanSquare = sumOfSquares / (long double)(2 * count);
    if (meanSquare > 0) result.rmsDb = 20.0 * std::log10(std::sqrt(double(meanSquare)) / 32768.0);
    return result;
}

TEST(EmbeddedSongRender, TwoLoopsStayBelowFullScaleAtGameLoudness) {
    const int minusOneDb = 29204;   // 32768 x 10^(-1/20), rounded down
    for (int number : {1, 2}) {
        SCOPED_TRACE(number == 1 ? "song 1" : "song 2");
        Loudness l = RenderTwoLoops(number == 1 ? lumbo::firstSongImage : lumbo::secondSongImage);
        EXPECT_EQ(l.loops, 2) << "after " << l.seconds << " s";
        EXPECT_LE(l.peak, minusOneDb);
        EXPECT_GE(l.rmsDb, -20.0);
        EXPECT_LE(l.rmsDb, -12.0);
        std::printf("song %d: two loops in %.1f s, peak %.2f dBFS, RMS %.2f dBFS\n", number, l.seconds,
                    20.0 * std::log10(l.peak / 32768.0), l.rmsDb);
    }
}

}  // namespace
