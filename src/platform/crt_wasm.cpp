// The few C library routines the compiler emits calls to, for the WebAssembly
// build, which links no C runtime beyond the maths routines. The copies are
// the bulk-memory instructions; lrint is the instruction that rounds to
// nearest, ties to even, then a conversion of the whole number it gives.
typedef __SIZE_TYPE__ size_t;

extern "C" {

void* memset(void* destination, int value, size_t count) {
    __builtin_memset(destination, value, count);   // memory.fill
    return destination;
}

void* memcpy(void* destination, const void* source, size_t count) {
    __builtin_memmove(destination, source, count);   // memory.copy, which allows overlap
    return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
    __builtin_memmove(destination, source, count);
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

// The engine rounds only values well inside the range of long (32 bits here).
long lrint(double x) { return long(__builtin_rint(x)); }
long lrintf(float x) { return long(__builtin_rintf(x)); }

}  // extern "C"
