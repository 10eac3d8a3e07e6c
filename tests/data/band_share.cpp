#include "data/band_share.h"

#include <cmath>

namespace lumbo_test {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Iterative radix-2 transform of kSpectrumWindow points, in place.
void Transform(Spectrum& s) {
    const size_t n = kSpectrumWindow;
    double* re = s.re.data();
    double* im = s.im.data();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j |= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (size_t half = 1, stride = n / 2; half < n; half <<= 1, stride >>= 1) {
        for (size_t start = 0; start < n; start += 2 * half) {
            for (size_t k = 0; k < half; ++k) {
                const double c = s.cosine[k * stride], d = s.sine[k * stride];
                const size_t a = start + k, b = a + half;
                const double oddRe = c * re[b] + d * im[b];
                const double oddIm = c * im[b] - d * re[b];
                re[b] = re[a] - oddRe;
                im[b] = im[a] - oddIm;
                re[a] += oddRe;
                im[a] += oddIm;
            }
        }
    }
}

void AnalyseWindow(Spectrum& s) {
    for (size_t i = 0; i < kSpectrumWindow; ++i) {
        s.re[i] = s.pending[i] * s.hann[i];
        s.im[i] = 0.0;
    }
    Transform(s);
    for (size_t k = 0; k < s.power.size(); ++k) s.power[k] += s.re[k] * s.re[k] + s.im[k] * s.im[k];
    s.pending.erase(s.pending.begin(), s.pending.begin() + kSpectrumWindow / 2);
}

}  // namespace

Spectrum BeginSpectrum(double rate) {
    Spectrum s;
    s.rate = rate;
    s.pending.assign(kSpectrumWindow / 2, 0.0);
    s.pending.reserve(kSpectrumWindow);
    s.power.assign(kSpectrumWindow / 2 + 1, 0.0);
    s.hann.resize(kSpectrumWindow);
    for (size_t i = 0; i < kSpectrumWindow; ++i) s.hann[i] = 0.5 - 0.5 * std::cos(2.0 * kPi * double(i) / kSpectrumWindow);
    s.cosine.resize(kSpectrumWindow / 2);
    s.sine.resize(kSpectrumWindow / 2);
    for (size_t i = 0; i < kSpectrumWindow / 2; ++i) {
        s.cosine[i] = std::cos(2.0 * kPi * double(i) / kSpectrumWindow);
        s.sine[i] = std::sin(2.0 * kPi * double(i) / kSpectrumWindow);
    }
    s.re.resize(kSpectrumWindow);
    s.im.resize(kSpectrumWindow);
    return s;
}

void AddFrame(Spectrum& s, double value) {
    s.pending.push_back(value);
    if (s.pending.size() == kSpectrumWindow) AnalyseWindow(s);
}

void EndSpectrum(Spectrum& s) {
    // Every frame passes through two windows, first as a window's second half,
    // then as the next one's first half.
    for (size_t i = 0; i < kSpectrumWindow / 2; ++i) AddFrame(s, 0.0);
    if (s.pending.size() > kSpectrumWindow / 2) {
        s.pending.resize(kSpectrumWindow, 0.0);
        AnalyseWindow(s);
    }
}

double StrongestBandShare(const Spectrum& s, double lowHz, double highHz, double bandHz) {
    const double binHz = s.rate / double(kSpectrumWindow);
    size_t first = size_t(std::ceil(lowHz / binHz));
    size_t end = size_t(std::ceil(highHz / binHz));
    if (end > s.power.size()) end = s.power.size();
    size_t width = size_t(std::lround(bandHz / binHz));
    if (width < 1) width = 1;
    if (first >= end) return 0.0;
    double total = 0.0;
    for (size_t k = first; k < end; ++k) total += s.power[k];
    if (total <= 0.0) return 0.0;
    double strongest = 0.0, band = 0.0;
    for (size_t k = first; k < end; ++k) {
        band += s.power[k];
        if (k >= first + width) band -= s.power[k - width];
        if (band > strongest) strongest = band;
    }
    return strongest / total;
}

}  // namespace lumbo_test
