// Float-to-integer conversion as the sequencer's arithmetic needs it: round to
// nearest with ties to even, and 32-bit wrap-around where the engine keeps only
// the low half of a result.
#pragma once
#include <cstdint>

namespace lumbo {

// x rounded to the nearest whole number, ties to even. Built from two
// additions instead of a library call, so it needs no C runtime; exact for
// every double because SSE arithmetic rounds each sum to nearest-even.
inline double NearestEven(double x) {
    const double kTwo52 = 4503599627370496.0;  // from here on every double is whole
    if (!(x < kTwo52 && x > -kTwo52)) return x;   // whole already, or NaN
    return x >= 0 ? (x + kTwo52) - kTwo52 : (x - kTwo52) + kTwo52;
}

// nearest(x) as a 64-bit integer. Values outside the 64-bit range and NaN give
// INT64_MIN, the "integer indefinite" that the processor's own conversion
// yields, so the low 32 bits of such a result are 0.
inline int64_t RoundToInt64(double x) {
    double whole = NearestEven(x);
    if (!(whole < 9223372036854775808.0 && whole >= -9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64_t>(whole);
}

// The low 32 bits of a wider integer, as a signed value (two's complement).
inline int32_t Low32(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

}  // namespace lumbo
