// The embedded songs as they sound. Two full loops through the engine's
// offline renderer must never reach full scale (peak at or below -1 dBFS), sit
// at a normal loudness for game music (RMS between -20 and -12 dBFS), and keep
// their treble broadband: no 100 Hz band may hold more than a quarter of the
// energy between 4 and 16 kHz (mixes of real instruments hold 6-17 %; a filter
// ringing at a fixed pitch holds most of it). The samples' own check: each has
// sound, and each one-shot (drums, plucks) is as broadband as the mix.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "data/band_share.h"
#include "data/songs.h"
#include "lumbo.h"
#include "output/output_size.h"
#include "song/loader.h"
#include "song/song.h"
#include "support/song_fixture.h"

namespace {

constexpr double kTrebleLow = 4000.0;
constexpr double kTrebleHigh = 16000.0;
constexpr double kBandWidth = 100.0;
constexpr double kMostInOneBand = 0.25;

struct Rendered {
    bool    looped = false;      // the song comes back to a position it played
    int     peak = 0;            // largest |sample|
    double  rmsDb = -999.0;
    double  seconds = 0.0;
    double  strongestBand = 0.0; // share of the treble's energy in the strongest band
};

// Renders up to the loop point and once more through the looping part.
Rendered RenderTwoLoops(const lumbo::ModuleImage* image) {
    Rendered result;
    const uint8_t* file = image + 4;
    const size_t size = size_t(image[0]) | size_t(image[1]) << 8 | size_t(image[2]) << 16 | size_t(image[3]) << 24;
    lumbo_info info;
    if (lumbo_module_info(file, size, &info) != LUMBO_OK || !info.loops) return result;
    result.looped = true;
    const int64_t total = 2 * int64_t(info.loop_end_frame) - int64_t(info.loop_start_frame);
    lumbo_player* player = lumbo_load(file, size, nullptr);
    if (!player) return result;
    lumbo_test::Spectrum spectrum = lumbo_test::BeginSpectrum(lumbo::kOutputRate);
    const int64_t chunk = 1024;
    std::vector<int16_t> frames(size_t(chunk) * 2);
    long double sumOfSquares = 0;
    int64_t count = 0;
    while (count < total) {
        int64_t n = total - count < chunk ? total - count : chunk;
        if (lumbo_render(player, frames.data(), size_t(n)) != size_t(n)) break;
        for (int64_t i = 0; i < 2 * n; i += 2) {
            for (int16_t s : {frames[size_t(i)], frames[size_t(i) + 1]}) {
                int magnitude = s < 0 ? -int(s) : int(s);
                if (magnitude > result.peak) result.peak = magnitude;
                sumOfSquares += (long double)s * s;
            }
            lumbo_test::AddFrame(spectrum, (double(frames[size_t(i)]) + frames[size_t(i) + 1]) / 65536.0);
        }
        count += n;
    }
    lumbo_free(player);
    lumbo_test::EndSpectrum(spectrum);
    result.seconds = double(count) / lumbo::kOutputRate;
    long double meanSquare = count ? sumOfSquares / (long double)(2 * count) : 0;
    if (meanSquare > 0) result.rmsDb = 20.0 * std::log10(std::sqrt(double(meanSquare)) / 32768.0);
    result.strongestBand = lumbo_test::StrongestBandShare(spectrum, kTrebleLow, kTrebleHigh, kBandWidth);
    return result;
}

TEST(EmbeddedSongRender, TwoLoopsHaveHeadroomGameLoudnessAndBroadbandTreble) {
    const int minusOneDb = 29204;   // 32768 x 10^(-1/20), rounded down
    for (int number : {1, 2}) {
        SCOPED_TRACE(number == 1 ? "song 1" : "song 2");
        Rendered r = RenderTwoLoops(number == 1 ? lumbo::firstSongImage : lumbo::secondSongImage);
        ASSERT_TRUE(r.looped);
        EXPECT_LE(r.peak, minusOneDb);
        EXPECT_GE(r.rmsDb, -20.0);
        EXPECT_LE(r.rmsDb, -12.0);
        EXPECT_LE(r.strongestBand, kMostInOneBand);
        std::printf("song %d: two loops in %.1f s, peak %.2f dBFS, RMS %.2f dBFS, strongest 100 Hz band "
                    "%.1f %% of 4-16 kHz\n",
                    number, r.seconds, 20.0 * std::log10(r.peak / 32768.0), r.rmsDb, 100.0 * r.strongestBand);
    }
}

// Each sample as it sounds played at C-4, where the kits play. A looped sample
// holds a pitch, so its treble is a few lines by design: only one-shots are
// held to the limit, and only where they reach well past 4 kHz.
TEST(EmbeddedSongSamples, EachHasSoundAndOneShotsHaveBroadbandTreble) {
    for (int number : {1, 2}) {
        lumbo_test::SongPtr song(lumbo::LoadSong(number == 1 ? lumbo::firstSongImage : lumbo::secondSongImage));
        ASSERT_TRUE(song);
        for (int i = 0; i < song->instrumentCount; ++i) {
            const lumbo::Instrument& ins = song->instruments[i];
            for (int k = 0; k < ins.sampleCount; ++k) {
                const lumbo::Sample& sample = *ins.samples[k];
                if (sample.length == 0) continue;
                SCOPED_TRACE(testing::Message() << "song " << number << ", instrument " << i + 1);
                double rate = 8363.0 * std::exp2(sample.relativeNote / 12.0 + sample.finetune / 1536.0);
                lumbo_test::Spectrum spectrum = lumbo_test::BeginSpectrum(rate);
                int peak = 0;
                for (uint32_t f = 0; f < sample.length; ++f) {
                    peak = std::max(peak, std::abs(int(sample.data[f])));
                    lumbo_test::AddFrame(spectrum, sample.data[f] / 32768.0);
                }
                lumbo_test::EndSpectrum(spectrum);
                EXPECT_GT(peak, 0) << "a silent sample";
                const bool oneShot = sample.loopMode == 1;
                const bool reachesHigh = rate / 2 >= 2 * kTrebleLow;
                if (!reachesHigh) {
                    std::printf("song %d, instrument %2d: at %.0f frames a second, too little above 4 kHz\n",
                                number, i + 1, rate);
                    continue;
                }
                double share = lumbo_test::StrongestBandShare(spectrum, kTrebleLow, kTrebleHigh, kBandWidth);
                if (oneShot) {
                    EXPECT_LE(share, kMostInOneBand);
                }
                std::printf("song %d, instrument %2d (%s): strongest 100 Hz band %.1f %% of 4-%.0f kHz\n", number,
                            i + 1, oneShot ? "one-shot" : "looped", 100.0 * share,
                            std::min(kTrebleHigh, rate / 2) / 1000.0);
            }
        }
    }
}

}  // namespace
