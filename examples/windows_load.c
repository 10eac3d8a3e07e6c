/* A Windows host that loads lumbo.dll at run time, plays a song for a few
 * seconds and stops it before unloading the library.
 *
 *   i686-w64-mingw32-gcc -I PREFIX/include windows_load.c -o windows_load.exe
 *   windows_load.exe [DLL [SECONDS [SONG]]]
 *
 * DLL defaults to lumbo.dll, SECONDS to 10, SONG (1 or 2) to 1. The header
 * gives the exports' types: on 32-bit Windows they are __stdcall, and a call
 * through a pointer of another type would leave the stack unbalanced. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "lumbo.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "lumbo.dll";
    unsigned seconds = argc > 2 ? (unsigned)atoi(argv[2]) : 10;
    int song = argc > 3 ? atoi(argv[3]) : 1;

    HMODULE library = LoadLibraryA(path);
    if (!library) {
        fprintf(stderr, "windows_load: cannot load %s (error %lu)\n", path, (unsigned long)GetLastError());
        return 1;
    }
    /* By name; the ordinals (LoadDll 1, play2 2, play 3, stop 4) work too. */
    lumbo_player_fn play = (lumbo_player_fn)(void (*)(void))GetProcAddress(library, song == 2 ? "play2" : "play");
    lumbo_player_fn stop = (lumbo_player_fn)(void (*)(void))GetProcAddress(library, "stop");
    if (!play || !stop) {
        fprintf(stderr, "windows_load: %s lacks play, play2 or stop\n", path);
        FreeLibrary(library);
        return 1;
    }

    play(0, 0, 0, 0, 0, 0);  /* always 1: silence if there is no sound device */
    printf("playing song %d for %u s\n", song, seconds);
    fflush(stdout);
    Sleep(seconds * 1000);
    stop(0, 0, 0, 0, 0, 0);  /* before FreeLibrary: the song plays on the library's thread */

    FreeLibrary(library);
    printf("stopped\n");
    return 0;
}
