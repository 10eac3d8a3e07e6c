// A host program as one would write it: loads lumbo.dll, finds the exports by
// name and by ordinal, plays the first song, stops, plays the second, stops
// twice and unloads. Every call must return 1. Then ten more starts and stops
// must not leave threads, handles or memory behind.
//   lumbo_host.exe DLL PLAY_MILLISECONDS
// Prints the wall time of each call.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

typedef int32_t(WINAPI* LoadDllCall)(uint32_t);
typedef int32_t(WINAPI* PlayerCall)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

int failures = 0;

void Expect(bool condition, const char* what) {
    if (!condition) {
        printf("FAIL: %s\n", what);
        ++failures;
    }
}

// As a generic function pointer, which converts to the export's type.
typedef void (*Export)();

Export Resolve(HMODULE library, const char* name, WORD ordinal) {
    FARPROC byName = GetProcAddress(library, name);
    FARPROC byOrdinal = GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
    printf("%s: ordinal %u %s\n", name, ordinal, byName && byName == byOrdinal ? "ok" : "MISMATCH");
    Expect(byName && byName == byOrdinal, name);
    return reinterpret_cast<Export>(byName);
}

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

int32_t Timed(PlayerCall call, const char* name) {
    double start = Seconds();
    int32_t result = call(1, 2, 3, 4, 5, 6);
    printf("%s returned %d after %.1f ms\n", name, int(result), (Seconds() - start) * 1000.0);
    fflush(stdout);
    return result;
}

struct Usage {
    DWORD  handles;
    DWORD  threads;
    SIZE_T privateBytes;   // address space in use
};

Usage Measure() {
    Usage usage{};
    GetProcessHandleCount(GetCurrentProcess(), &usage.handles);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++usage.threads;
    }
    CloseHandle(snapshot);
    // Address space in use: Wine fills this in where it leaves the private
    // byte count at 0.
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    GlobalMemoryStatusEx(&memory);
    usage.privateBytes = SIZE_T(memory.ullTotalVirtual - memory.ullAvailVirtual);
    return usage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        printf("usage: lumbo_host DLL PLAY_MILLISECONDS\n");
        return 2;
    }
    DWORD playMilliseconds = DWORD(atoi(argv[2]));
    HMODULE library = LoadLibraryA(argv[1]);
    if (!library) {
        printf("FAIL: LoadLibrary(%s): error %lu\n", argv[1], GetLastError());
        return 1;
    }
    auto loadDll = reinterpret_cast<LoadDllCall>(Resolve(library, "LoadDll", 1));
    auto play2 = reinterpret_cast<PlayerCall>(Resolve(library, "play2", 2));
    auto play = reinterpret_cast<PlayerCall>(Resolve(library, "play", 3));
    auto stop = reinterpret_cast<PlayerCall>(Resolve(library, "stop", 4));
    if (failures) return 1;

    Expect(loadDll(12345) == 1, "LoadDll returns 1");
    Expect(Timed(play, "play") == 1, "play returns 1");
    Sleep(playMilliseconds);
    Expect(Timed(stop, "stop") == 1, "stop returns 1");
    Expect(Timed(play2, "play2") == 1, "play2 returns 1");
    Expect(Timed(stop, "stop") == 1, "stop returns 1");
    Expect(Timed(stop, "stop") == 1, "a second stop returns 1");

    // Twenty more cycles: a render thread or handle left behind per cycle would
    // show as twenty. Wine's audio driver may start a thread or two of its own
    // the first time the device is used, so a growth of up to two is allowed.
    Usage before = Measure();
    for (int cycle = 0; cycle < 20; ++cycle) {
        Expect((cycle % 2 ? play2 : play)(0, 0, 0, 0, 0, 0) == 1, "play/play2 returns 1");
        Expect(stop(0, 0, 0, 0, 0, 0) == 1, "stop returns 1");
    }
    Usage after = Measure();
    printf("after 20 more starts and stops: handles %lu -> %lu, threads %lu -> %lu, address space in use %zu -> %zu\n",
           before.handles, after.handles, before.threads, after.threads, size_t(before.privateBytes),
           size_t(after.privateBytes));
    Expect(after.handles <= before.handles + 2, "no handle left behind");
    Expect(after.threads <= before.threads + 2, "no thread left behind");
    // Twenty leaked rings alone would be 7 MB.
    Expect(after.privateBytes < before.privateBytes + 1024 * 1024, "no memory left behind");
    Expect(FreeLibrary(library) != 0, "FreeLibrary");
    printf(failures ? "host: FAILED\n" : "host: ok\n");
    return failures ? 1 : 0;
}
