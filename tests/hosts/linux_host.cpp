// The Linux counterpart of the Windows host program: loads liblumbo.so at run
// time, plays the first song, stops, plays the second, stops twice and
// unloads. Every call must return 1.
//   lumbo_host LIBRARY PLAY_MILLISECONDS
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

typedef int32_t (*LoadDllCall)(uint32_t);
typedef int32_t (*PlayerCall)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

int failures = 0;

void Expect(bool condition, const char* what) {
    if (!condition) {
        printf("FAIL: %s\n", what);
        ++failures;
    }
}

int32_t Timed(PlayerCall call, const char* name) {
    auto start = std::chrono::steady_clock::now();
    int32_t result = call(1, 2, 3, 4, 5, 6);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    printf("%s returned %d after %.1f ms\n", name, int(result), ms);
    fflush(stdout);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        printf("usage: lumbo_host LIBRARY PLAY_MILLISECONDS\n");
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        printf("FAIL: %s\n", dlerror());
        return 1;
    }
    auto loadDll = reinterpret_cast<LoadDllCall>(dlsym(library, "LoadDll"));
    auto play2 = reinterpret_cast<PlayerCall>(dlsym(library, "play2"));
    auto play = reinterpret_cast<PlayerCall>(dlsym(library, "play"));
    auto stop = reinterpret_cast<PlayerCall>(dlsym(library, "stop"));
    Expect(loadDll && play2 && play && stop, "all four functions found");
    if (failures) return 1;

    Expect(loadDll(12345) == 1, "LoadDll returns 1");
    Expect(Timed(play, "play") == 1, "play returns 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(atoi(argv[2])));
    Expect(Timed(stop, "stop") == 1, "stop returns 1");
    Expect(Timed(play2, "play2") == 1, "play2 returns 1");
    Expect(Timed(stop, "stop") == 1, "stop returns 1");
    Expect(Timed(stop, "stop") == 1, "a second stop returns 1");
    Expect(dlclose(library) == 0, "dlclose");
    printf(failures ? "host: FAILED\n" : "host: ok\n");
    return failures ? 1 : 0;
}
