// How much of a frequency range's energy the strongest narrow band holds: a
// broadband sound (a hi-hat, a mix) spreads it, a whistle puts it in one band.
// The spectrum is averaged over half-overlapping Hann windows, fed a frame at
// a time, so a whole song needs no buffer of its own.
#pragma once
#include <cstddef>
#include <vector>

namespace lumbo_test {

constexpr size_t kSpectrumWindow = 4096;

struct Spectrum {
    double rate;                                // frames per second of the signal
    std::vector<double> pending;                // frames not yet analysed, less than a window
    std::vector<double> power;                  // summed |X|^2 per bin, window/2 + 1 bins
    std::vector<double> hann;                   // the window
    std::vector<double> cosine, sine;           // of 2 pi k / window, k below half the window
    std::vector<double> re, im;                 // the transform, in place
};

// Starts with half a window of silence, so the first frames weigh as much as the rest.
Spectrum BeginSpectrum(double rate);
void AddFrame(Spectrum& s, double value);
// Analyses what is left, padded with silence.
void EndSpectrum(Spectrum& s);

// The largest share of the energy between lowHz and highHz (clipped at half
// the rate) that any band about bandHz wide holds; 0 when the range is silent.
double StrongestBandShare(const Spectrum& s, double lowHz, double highHz, double bandHz);

}  // namespace lumbo_test
