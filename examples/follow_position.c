/* A host that follows the music: it plays a module file on the library's own
 * audio output and prints the order and row as they are heard, as a program
 * would synchronise its graphics.
 *
 *   cc follow_position.c $(pkg-config --cflags --libs lumbo) -o follow_position
 *   ./follow_position FILE.xm [SECONDS]
 *
 * SECONDS defaults to 10. Without a sound device it says so and stops. */
#ifndef _WIN32
#define _POSIX_C_SOURCE 199309L /* nanosleep */
#endif
#include <stdio.h>
#include <stdlib.h>

#ifdef _WIN32
#include <windows.h>
#define SleepMs(ms) Sleep(ms)
#else
#include <time.h>
static void SleepMs(unsigned ms) {
    struct timespec t = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}
#endif

#include "lumbo.h"

int main(int argc, char** argv) {
    unsigned seconds = argc > 2 ? (unsigned)atoi(argv[2]) : 10;
    FILE* file;
    unsigned char* data = NULL;
    size_t size = 0;
    long length;
    int32_t status;
    lumbo_position heard;
    int lastOrder = -1, lastRow = -1;

    if (argc < 2) {
        fprintf(stderr, "usage: follow_position FILE.xm [SECONDS]\n");
        return 64;
    }
    file = fopen(argv[1], "rb");
    if (file && fseek(file, 0, SEEK_END) == 0 && (length = ftell(file)) >= 0 && fseek(file, 0, SEEK_SET) == 0 &&
        (data = malloc((size_t)length + 1)) != NULL) {
        size = fread(data, 1, (size_t)length, file);
    }
    if (file) fclose(file);
    if (!data) {
        fprintf(stderr, "follow_position: cannot read %s\n", argv[1]);
        return 1;
    }

    status = lumbo_play_module(data, size);
    free(data); /* the library keeps its own copy */
    if (status != LUMBO_OK) {
        printf("not playing: %s\n", lumbo_status_text(status));
        printf("stopped\n");
        return status == LUMBO_NO_OUTPUT ? 0 : 2;
    }
    /* Poll about 50 times a second, as a frame loop would. */
    while (lumbo_heard_position(&heard) && heard.frame < (uint64_t)seconds * 44100) {
        if (heard.order != lastOrder || heard.row != lastRow) {
            printf("%7.2f s  order %3d  pattern %3d  row %3d\n", (double)heard.frame / 44100, heard.order,
                   heard.pattern, heard.row);
            fflush(stdout);
            lastOrder = heard.order;
            lastRow = heard.row;
        }
        SleepMs(20);
    }
    stop(0, 0, 0, 0, 0, 0);
    printf("stopped\n");
    return 0;
}
