// Power(2, y) for every exponent the sequencer can form, computed with the
// system's exp2 in a native build and with wasi-libc's in WebAssembly. The
// two tables must be equal bit for bit, or the two builds would play other
// pitches.
//   native:       pitch_powers FILE   writes the table (doubles, little-endian)
//   WebAssembly:  exports pitch_power_count() and pitch_power(index)
#include <cstdint>

#include "sequencer/pitch.h"

namespace {

// The exponents are whole counts times the single-precision step the
// sequencer multiplies them by: semitones between two notes (Amiga periods)
// in twelfths, linear period units in 768ths of an octave. Power calls exp2
// only below 2100 octaves either way, so these counts cover every input it
// can ever pass.
constexpr int32_t kSemitones = 2100 * 12;
constexpr int32_t kLinearUnits = 2100 * 768;
constexpr int32_t kCount = 2 * kSemitones + 1 + 2 * kLinearUnits + 1;

double PowerAt(int32_t index) {
    if (index <= 2 * kSemitones) return lumbo::Power(2.0, double(index - kSemitones) * double(float(1.0 / 12)));
    index -= 2 * kSemitones + 1;
    return lumbo::Power(2.0, double(index - kLinearUnits) * double(float(1.0 / 768)));
}

}  // namespace

#ifdef __wasm__
extern "C" int32_t pitch_power_count() { return kCount; }
extern "C" double pitch_power(int32_t index) { return PowerAt(index); }
#else
#include <cstdio>

int main(int argc, char** argv) {
    std::FILE* out = argc == 2 ? std::fopen(argv[1], "wb") : nullptr;
    if (!out) {
        std::fprintf(stderr, "usage: pitch_powers FILE\n");
        return 64;
    }
    bool ok = true;
    for (int32_t i = 0; i < kCount && ok; ++i) {
        const double power = PowerAt(i);
        ok = std::fwrite(&power, sizeof power, 1, out) == 1;   // the test machines are little-endian
    }
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
#endif
