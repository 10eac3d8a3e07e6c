#include <cfenv>

#include "platform/float_env.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace lumbo {

void ResetFloatingPoint() { fesetenv(FE_DFL_ENV); }

// fegetenv/fesetenv would also do, but they carry the status flags and more;
// the two control words are what a host's own settings live in.
FloatControl SaveFloatingPoint() {
    FloatControl saved{};
#if defined(__x86_64__) || defined(__i386__)
    uint16_t x87;
    __asm__ volatile("fnstcw %0" : "=m"(x87));
    saved.x87 = x87;
    saved.sse = _mm_getcsr();
#else
    saved.sse = uint32_t(fegetround());   // elsewhere the rounding mode is what the library sets
#endif
    return saved;
}

void RestoreFloatingPoint(const FloatControl& saved) {
#if defined(__x86_64__) || defined(__i386__)
    const uint16_t x87 = uint16_t(saved.x87);
    __asm__ volatile("fldcw %0" : : "m"(x87));
    _mm_setcsr(saved.sse);
#else
    fesetround(int(saved.sse));
#endif
}

}  // namespace lumbo
