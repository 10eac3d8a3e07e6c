#include "mixer/mixer.h"
#include "sequencer/rounding.h"
#include "sequencer/row.h"

namespace lumbo {

// Single-precision constants as stored; the product is formed in double. They
// put exact halves slightly above one half (tempo 100: 1103, not 1102).
constexpr float kMillisecondsPerSecond = 1000.0f;
constexpr float kBeatFactor = 0.4f;       // 0x3ECCCCCD
constexpr float kSecondsPerMillisecond = 0.001f;  // 0x3A83126F

void SetTempo(Player& player, int32_t tempo) {
    Song* song = player.song;
    song->tempo = tempo;
    // A tempo below 1 can come only from the file's header; it plays as tempo
    // 1 (the slowest tick) so that a tick always has frames.
    double beats = tempo < 1 ? 1.0 : double(tempo);
    double frames = (double(kMillisecondsPerSecond) / (beats * double(kBeatFactor))) * double(player.mixer.sampleRate) *
                    double(kSecondsPerMillisecond);
    double rounded = NearestEven(frames);
    song->samplesPerTick = rounded < 1.0 ? 1 : int32_t(rounded);
}

}  // namespace lumbo
