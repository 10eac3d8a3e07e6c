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

}  // extern "C"
