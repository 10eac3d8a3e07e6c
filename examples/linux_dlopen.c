/* A Linux host that loads liblumbo.so at run time, plays a song for a few
 * seconds and stops it before unloading the library.
 *
 *   cc -I PREFIX/include linux_dlopen.c -ldl -o linux_dlopen
 *   ./linux_dlopen [LIBRARY [SECONDS [SONG]]]
 *
 * LIBRARY defaults to liblumbo.so.0 (found where the dynamic loader looks),
 * SECONDS to 10, SONG (1 or 2) to 1. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "lumbo.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "liblumbo.so.0";
    unsigned seconds = argc > 2 ? (unsigned)atoi(argv[2]) : 10;
    int song = argc > 3 ? atoi(argv[3]) : 1;

    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "linux_dlopen: %s\n", dlerror());
        return 1;
    }
    /* POSIX guarantees that dlsym's result converts to a function pointer. */
    lumbo_player_fn play = (lumbo_player_fn)dlsym(library, song == 2 ? "play2" : "play");
    lumbo_player_fn stop = (lumbo_player_fn)dlsym(library, "stop");
    if (!play || !stop) {
        fprintf(stderr, "linux_dlopen: %s lacks play, play2 or stop\n", path);
        dlclose(library);
        return 1;
    }

    play(0, 0, 0, 0, 0, 0);  /* always 1: silence if there is no sound device */
    printf("playing song %d for %u s\n", song, seconds);
    fflush(stdout);
    sleep(seconds);
    stop(0, 0, 0, 0, 0, 0);  /* before dlclose: the song plays on the library's thread */

    dlclose(library);
    printf("stopped\n");
    return 0;
}
