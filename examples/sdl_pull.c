/* An SDL2 host that mixes its own audio: it loads a module file into a lumbo
 * player and pulls the player's frames in its audio callback.
 *
 *   cc sdl_pull.c $(pkg-config --cflags --libs lumbo sdl2) -o sdl_pull
 *   ./sdl_pull FILE.xm [SECONDS]
 *
 * SECONDS defaults to 10. */
#include <stdio.h>
#include <stdlib.h>

#include <SDL.h>

#include "lumbo.h"

/* On SDL's audio thread. The player is the callback's alone while the device
 * runs; the main thread locks the device to look at it. */
static void Fill(void* player, Uint8* stream, int bytes) {
    lumbo_render((lumbo_player*)player, (int16_t*)stream, (size_t)bytes / 4);
}

static unsigned char* ReadFile(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    unsigned char* data = NULL;
    long length;
    if (!file) return NULL;
    if (fseek(file, 0, SEEK_END) == 0 && (length = ftell(file)) >= 0 && fseek(file, 0, SEEK_SET) == 0 &&
        (data = malloc((size_t)length + 1)) != NULL) {
        *size = fread(data, 1, (size_t)length, file);
    }
    fclose(file);
    return data;
}

int main(int argc, char** argv) {
    unsigned seconds = argc > 2 ? (unsigned)atoi(argv[2]) : 10;
    size_t size = 0;
    unsigned char* data;
    int32_t status;
    lumbo_player* player;
    SDL_AudioSpec want, have;
    SDL_AudioDeviceID device;
    lumbo_position position;

    if (argc < 2) {
        fprintf(stderr, "usage: sdl_pull FILE.xm [SECONDS]\n");
        return 64;
    }
    data = ReadFile(argv[1], &size);
    if (!data) {
        fprintf(stderr, "sdl_pull: cannot read %s\n", argv[1]);
        return 1;
    }
    player = lumbo_load(data, size, &status);
    free(data); /* the player has what it needs */
    if (!player) {
        fprintf(stderr, "sdl_pull: %s: %s\n", argv[1], lumbo_status_text(status));
        return 2;
    }

    if (SDL_Init(SDL_INIT_AUDIO) != 0) {
        fprintf(stderr, "sdl_pull: %s\n", SDL_GetError());
        lumbo_free(player);
        return 3;
    }
    SDL_zero(want);
    want.freq = 44100; /* what lumbo renders: 44100 Hz, 16-bit, stereo */
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = Fill;
    want.userdata = player;
    device = SDL_OpenAudioDevice(NULL, 0, &want, &have, 0);
    if (!device) {
        fprintf(stderr, "sdl_pull: no audio device: %s\n", SDL_GetError());
        lumbo_free(player);
        SDL_Quit();
        return 3;
    }
    SDL_PauseAudioDevice(device, 0);
    printf("playing %s for %u s\n", argv[1], seconds);
    fflush(stdout);
    SDL_Delay(seconds * 1000);

    SDL_LockAudioDevice(device);
    if (lumbo_position_of(player, &position)) {
        printf("rendered %.1f s, up to order %d (pattern %d), row %d\n", (double)position.frame / 44100,
               position.order, position.pattern, position.row);
    }
    SDL_UnlockAudioDevice(device);
    SDL_CloseAudioDevice(device); /* the callback has ended: the player may go */
    lumbo_free(player);
    SDL_Quit();
    printf("stopped\n");
    return 0;
}
