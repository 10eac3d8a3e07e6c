// Sample synthesis for the song composer. Everything here is plain IEEE double
// arithmetic (+ - * / and exact operations such as floor and ldexp) or integer
// arithmetic, so the same source gives the same bytes on every machine: no libm
// transcendental function is used, since their last bits differ between libcs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace compose {

constexpr double kPi = 3.14159265358979323846;

// sin(x) and e^x to about 1e-12, from polynomials.
double Sine(double x);
double Exp(double x);
// 2^x.
double Exp2(double x);
// Soft saturation, odd, 1 at +-infinity; x / (1 + |x|) shaped to stay near-linear below 0.5.
double Saturate(double x);

// The tuning every tonal sample shares: a written C-4 plays at 8363 Hz sampling,
// so a sample synthesised at `rate` with its pitch at kMiddleC * rate / 8363 sounds C-4.
constexpr double kBaseRate = 8363.0;
constexpr double kMiddleC = kBaseRate / 32.0;   // 261.34 Hz, two cents under concert pitch

// Deterministic white noise in [-1, 1).
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    double Next();
};

// A sound being built, one double per frame at `rate` frames per second.
struct Wave {
    double rate;
    std::vector<double> frames;
    Wave(double r, size_t n) : rate(r), frames(n, 0.0) {}
    size_t Size() const { return frames.size(); }
};

// Chamberlin state-variable filter; cutoff and resonance may change per frame.
// Where one step a frame would be unstable (high cutoffs, heavy damping) it
// takes several.
struct SvFilter {
    double low = 0, band = 0;
    // Runs one frame; returns {low, band, high} through out.
    void Step(double in, double cutoffHz, double rate, double damping, double out[3]);
};

// Band-limited single cycle of `length` frames from harmonic amplitudes
// (harmonic k at amps[k-1]) and phases in turns; cosine phase when phases is null.
std::vector<double> AdditiveCycle(size_t length, const std::vector<double>& amps,
                                  const std::vector<double>* phases = nullptr);
// Saw, square and pulse cycles with harmonics up to `harmonics`.
std::vector<double> SawCycle(size_t length, int harmonics);
std::vector<double> PulseCycle(size_t length, int harmonics, double duty);

// A plucked string (Karplus-Strong): `period` frames per cycle (an exact
// pitch: the loss filter is symmetric), `decay` per cycle, `brightness` 0..1
// for the pluck's noise burst.
Wave PluckedString(double rate, int period, size_t length, double decay, double brightness,
                   uint32_t seed);

// Peak normalisation to `peak` (0..1].
void Normalise(std::vector<double>& frames, double peak);
// Linear fade of the first and last frames (declicking a one-shot's ends).
void FadeEdges(std::vector<double>& frames, size_t in, size_t out);

// Quantisation of frames in [-1, 1] to the stored sample values.
std::vector<int16_t> To8Bit(const std::vector<double>& frames);
std::vector<int16_t> To16Bit(const std::vector<double>& frames);

}  // namespace compose
