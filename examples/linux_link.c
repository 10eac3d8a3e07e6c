/* A Linux host linked with liblumbo.so: plays a song for a few seconds.
 *
 *   cc linux_link.c $(pkg-config --cflags --libs lumbo) -o linux_link
 *   ./linux_link [SECONDS [SONG]]
 *
 * SECONDS defaults to 10, SONG (1 or 2) to 1. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

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
    sleep(seconds);
    stop(0, 0, 0, 0, 0, 0);  /* before the next play, and before the program ends */
    printf("stopped\n");
    return 0;
}
