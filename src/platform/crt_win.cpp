// The few C library routines the compiler emits calls to, for the build that
// links no C runtime, and the error number the static math routines set.
// Built with -fno-builtin so these loops stay loops.
typedef __SIZE_TYPE__ size_t;   // no C library headers: they declare _errno for the runtime DLL

extern "C" {

void* memset(void* destination, int value, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    while (count--) *d++ = static_cast<unsigned char>(value);
    return destination;
}

void* memcpy(void* destination, const void* source, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    while (count--) *d++ = *s++;
    return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    if (d < s) {
        while (count--) *d++ = *s++;
    } else {
        while (count--) d[count] = s[count];
    }
    return destination;
}

int memcmp(const void* a, const void* b, size_t count) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (; count; --count, ++x, ++y) {
        if (*x != *y) return *x < *y ? -1 : 1;
    }
    return 0;
}

// ldexp and friends set errno on overflow; nothing here reads it.
int* _errno() {
    static int error;
    return &error;
}


// The engine's lrint and lrintf compile to the processor's conversion (see
// -fno-math-errno), but the link-time optimiser's symbol table still names
// them, which would fetch the static library's copies; these satisfy it and
// are then dropped as unused.
long lrint(double x) { return __builtin_lrint(x); }
long lrintf(float x) { return __builtin_lrintf(x); }

#ifdef __i386__
// 64-bit division for the 32-bit build, in place of the compiler library's
// (which is several times the size). No 64-bit / or % may appear here: the
// compiler would turn it into a call to these very functions.
typedef unsigned long long u64;
typedef long long i64;

// n / d, and n % d through remainder when given. Divisors below 2^32, the
// only ones the engine's hot paths use, take two hardware divisions; larger
// ones shift and subtract, one quotient bit per step. A zero divisor faults
// as the hardware division does.
u64 __udivmoddi4(u64 n, u64 d, u64* remainder) {
    u64 r;
    if (d >> 32 == 0) {
        const unsigned divisor = unsigned(d);
        const unsigned high = unsigned(n >> 32);
        unsigned low = unsigned(n);
        unsigned rest = high % divisor;   // below the divisor: the next division cannot overflow
        __asm__("divl %4" : "=a"(low), "=d"(rest) : "0"(low), "1"(rest), "rm"(divisor));
        r = rest;
        n = u64(high / divisor) << 32 | low;
    } else {
        r = 0;
        for (int bit = 0; bit < 64; ++bit) {
            const bool carry = r >> 63;   // the shifted remainder has 65 bits: above any divisor
            r = r << 1 | n >> 63;
            n <<= 1;
            if (carry || r >= d) {
                r -= d;
                n |= 1;
            }
        }
    }
    if (remainder) *remainder = r;
    return n;
}

u64 __udivdi3(u64 n, u64 d) { return __udivmoddi4(n, d, nullptr); }

u64 __umoddi3(u64 n, u64 d) {
    u64 r;
    __udivmoddi4(n, d, &r);
    return r;
}

// Signed: on the magnitudes, the quotient negative when the signs differ, the
// remainder with the sign of the dividend (truncating division).
i64 __divdi3(i64 n, i64 d) {
    const u64 q = __udivmoddi4(n < 0 ? -u64(n) : u64(n), d < 0 ? -u64(d) : u64(d), nullptr);
    return i64((n < 0) != (d < 0) ? -q : q);
}

i64 __moddi3(i64 n, i64 d) {
    u64 r;
    __udivmoddi4(n < 0 ? -u64(n) : u64(n), d < 0 ? -u64(d) : u64(d), &r);
    return i64(n < 0 ? -r : r);
}
#endif

}  // extern "C"
