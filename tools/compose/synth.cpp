#include "synth.h"

#include <cmath>

namespace compose {

double Sine(double x) {
    // Reduce to a quarter turn t in [-0.25, 0.25], then a Taylor series of sin(2 pi t).
    double t = x * (0.5 / kPi);
    t -= std::floor(t + 0.5);
    if (t > 0.25) t = 0.5 - t;
    if (t < -0.25) t = -0.5 - t;
    double y = 2.0 * kPi * t;
    double y2 = y * y;
    double term = y;
    double sum = y;
    for (int k = 1; k <= 9; ++k) {
        term *= -y2 / double((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sum;
}

double Exp2(double x) {
    double n = std::floor(x + 0.5);
    double r = (x - n) * 0.69314718055994530942;   // |r| <= ln2 / 2
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k <= 14; ++k) {
        term *= r / double(k);
        sum += term;
    }
    return std::ldexp(sum, int(n));
}

double Exp(double x) { return Exp2(x * 1.44269504088896340736); }

double Saturate(double x) {
    // A rational tanh: exact enough for shaping, and plain arithmetic.
    if (x > 3.0) return 1.0;
    if (x < -3.0) return -1.0;
    double x2 = x * x;
    return x * (27.0 + x2) / (27.0 + 9.0 * x2);
}

double Noise::Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return double(int32_t(state)) / 2147483648.0;
}

void SvFilter::Step(double in, double cutoffHz, double rate, double damping, double out[3]) {
    // The difference equations are stable only while f^2 + 2 f damping < 4;
    // past that a pole leaves the unit circle at -1 and the output doubles
    // towards infinity at half the rate. Well short of the bound (and for a
    // cutoff past half the rate) the filter runs several steps a frame on the
    // same input, as if at a multiple of the rate.
    int steps = 1;
    double f = 2.0 * Sine(kPi * cutoffHz / rate);
    while (2.0 * cutoffHz >= rate * steps || f * f + 2.0 * f * damping > 3.5) {
        ++steps;
        f = 2.0 * Sine(kPi * cutoffHz / (rate * steps));
    }
    double high = 0.0;
    for (int i = 0; i < steps; ++i) {
        low += f * band;
        high = in - low - damping * band;
        band += f * high;
    }
    out[0] = low;
    out[1] = band;
    out[2] = high;
}

std::vector<double> AdditiveCycle(size_t length, const std::vector<double>& amps,
                                  const std::vector<double>* phases) {
    std::vector<double> cycle(length, 0.0);
    for (size_t k = 0; k < amps.size(); ++k) {
        if (amps[k] == 0.0) continue;
        double phase = phases ? (*phases)[k] : 0.25;   // a quarter turn: cosine phase
        for (size_t i = 0; i < length; ++i) {
            double turns = double((k + 1) * i) / double(length) + phase;
            cycle[i] += amps[k] * Sine(2.0 * kPi * turns);
        }
    }
    return cycle;
}

std::vector<double> SawCycle(size_t length, int harmonics) {
    std::vector<double> amps(size_t(harmonics), 0.0);
    std::vector<double> phases(size_t(harmonics), 0.0);
    for (int k = 1; k <= harmonics; ++k) {
        // A gentle roll-off near the top softens the Gibbs ripple.
        double taper = k > harmonics / 2 ? 1.0 - double(k - harmonics / 2) / double(harmonics / 2 + 1) : 1.0;
        amps[size_t(k - 1)] = taper / double(k);
    }
    return AdditiveCycle(length, amps, &phases);
}

std::vector<double> PulseCycle(size_t length, int harmonics, double duty) {
    std::vector<double> amps(size_t(harmonics), 0.0);
    std::vector<double> phases(size_t(harmonics), 0.25);
    for (int k = 1; k <= harmonics; ++k) {
        double taper = k > harmonics / 2 ? 1.0 - double(k - harmonics / 2) / double(harmonics / 2 + 1) : 1.0;
        amps[size_t(k - 1)] = taper * Sine(kPi * k * duty) / double(k);
    }
    return AdditiveCycle(length, amps, &phases);
}

Wave PluckedString(double rate, int period, size_t length, double decay, double brightness,
                   uint32_t seed) {
    Wave w(rate, length);
    Noise noise(seed);
    std::vector<double> line(size_t(period), 0.0);
    // The pluck: noise, smoothed more for a darker attack.
    double smooth = 0.0;
    for (int i = 0; i < period; ++i) {
        smooth += (noise.Next() - smooth) * (0.15 + 0.85 * brightness);
        line[size_t(i)] = smooth;
    }
    double mean = 0.0;
    for (double v : line) mean += v;
    mean /= double(period);
    for (double& v : line) v -= mean;
    // Per-pass loss: decay per cycle, with a symmetric 3-tap low-pass (no phase
    // delay, so the period stays exactly `period` frames).
    std::vector<double> next(line.size());
    size_t pos = 0;
    for (size_t n = 0; n < length; ++n) {
        w.frames[n] = line[pos];
        if (++pos == line.size()) {
            pos = 0;
            for (size_t i = 0; i < line.size(); ++i) {
                double a = line[(i + line.size() - 1) % line.size()];
                double c = line[(i + 1) % line.size()];
                next[i] = decay * (0.25 * a + 0.5 * line[i] + 0.25 * c);
            }
            line.swap(next);
        }
    }
    return w;
}

void Normalise(std::vector<double>& frames, double peak) {
    double m = 0.0;
    for (double v : frames) m = std::fabs(v) > m ? std::fabs(v) : m;
    if (m == 0.0) return;
    double g = peak / m;
    for (double& v : frames) v *= g;
}

void FadeEdges(std::vector<double>& frames, size_t in, size_t out) {
    size_t n = frames.size();
    for (size_t i = 0; i < in && i < n; ++i) frames[i] *= double(i) / double(in);
    for (size_t i = 0; i < out && i < n; ++i) frames[n - 1 - i] *= double(i) / double(out);
}

namespace {
int16_t Quantise(double v, double scale, int lo, int hi) {
    double x = std::floor(v * scale + 0.5);
    if (x < lo) x = lo;
    if (x > hi) x = hi;
    return int16_t(x);
}
}  // namespace

std::vector<int16_t> To8Bit(const std::vector<double>& frames) {
    std::vector<int16_t> out(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) out[i] = Quantise(frames[i], 127.0, -128, 127);
    return out;
}

std::vector<int16_t> To16Bit(const std::vector<double>& frames) {
    std::vector<int16_t> out(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) out[i] = Quantise(frames[i], 32767.0, -32768, 32767);
    return out;
}

}  // namespace compose
