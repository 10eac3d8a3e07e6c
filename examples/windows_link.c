/* A Windows host linked with lumbo.dll through its import library: plays a
 * song for a few seconds.
 *
 *   i686-w64-mingw32-gcc -I PREFIX/include windows_link.c PREFIX/lib/lumbo.dll.a -o windows_link.exe
 *   windows_link.exe [SECONDS [SONG]]        (lumbo.dll next to it or on the PATH)
 *
 * SECONDS defaults to 10, SONG (1 or 2) to 1. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "lumbo.h"

int main(int argc, char** argv) {
    unsigned seconds = argc > 1 ? (unsigned)atoi(argv[1]) : 10;
    int song = argc > 2 ? atoi(argv[2]) : 1;

    if (song == 2) {
        play2(0, 0, 0, 0, 0, 0);
    } else {
        play(0, 0, 0, 0, 0, 0);  /* always 1: silence if there is no sound device */
    }
    printf("playing song %d for %u s\n", song, seconds);
    fflush(stdout);
    Sleep(seconds * 1000);
    stop(0, 0, 0, 0, 0, 0);  /* before the next play, and before the program ends */
    printf("stopped\n");
    return 0;
}
