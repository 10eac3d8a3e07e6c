// Without the C runtime's fesetenv: set the two control registers directly.
#include <xmmintrin.h>

#include "platform/float_env.h"

namespace lumbo {

namespace {

constexpr unsigned short kX87Default = 0x027F;   // nearest, 53-bit precision, all masked
constexpr unsigned int kSseDefault = 0x1F80;     // nearest, all masked, no flush to zero

}  // namespace

void ResetFloatingPoint() {
    unsigned short control = kX87Default;
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(control));
    _mm_setcsr(kSseDefault);
}

FloatControl SaveFloatingPoint() {
    unsigned short x87;
    __asm__ volatile("fnstcw %0" : "=m"(x87));
    return FloatControl{x87, _mm_getcsr()};
}

void RestoreFloatingPoint(const FloatControl& saved) {
    const unsigned short x87 = static_cast<unsigned short>(saved.x87);
    __asm__ volatile("fldcw %0" : : "m"(x87));
    _mm_setcsr(saved.sse);
}

}  // namespace lumbo
