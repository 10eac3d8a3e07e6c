/* lumbo: plays one of two songs built into the library on the default audio
 * output (44100 Hz, 16-bit stereo), until the host stops it.
 *
 * Usable from C and C++. On Windows the library is lumbo.dll; on 32-bit
 * Windows every function uses the standard call convention (__stdcall: the
 * function removes its arguments from the stack), so a host must pass exactly
 * the arguments declared here. Elsewhere they are plain C functions
 * (liblumbo.so on Linux).
 *
 * The contract:
 *   - Every function returns 1, whatever happened. A host cannot learn from
 *     the result whether a song started (no sound device: silence, still 1).
 *   - Call stop before the next play or play2, and before unloading the
 *     library: a playing song runs the library's code on its own thread.
 *   - Make one call at a time; the functions take no lock.
 * The 32-bit arguments of play, play2 and stop are ignored; pass zeros. */
#ifndef LUMBO_H
#define LUMBO_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define LUMBO_CALL __stdcall
#else
#define LUMBO_CALL
#endif

#if defined(_WIN32)
#define LUMBO_API /* exported through the module definition file */
#else
#define LUMBO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Does nothing; the argument is ignored. May be called at any time. */
LUMBO_API int32_t LUMBO_CALL LoadDll(uint32_t unused);

/* Starts the first built-in song from its beginning and returns once the
 * first two seconds are rendered; a thread of the library keeps rendering
 * from then on. The song loops for ever: after its last position it goes on
 * at its restart position. Without a usable sound device nothing plays. */
LUMBO_API int32_t LUMBO_CALL play(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

/* The same for the second built-in song. */
LUMBO_API int32_t LUMBO_CALL play2(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

/* Ends playback: waits for the library's thread to finish, closes the sound
 * device and releases every byte play or play2 took. Harmless when nothing
 * plays, so it may be called twice. */
LUMBO_API int32_t LUMBO_CALL stop(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

/* The exports' types, for hosts that look them up at run time
 * (GetProcAddress, dlsym). */
typedef int32_t(LUMBO_CALL* lumbo_load_dll_fn)(uint32_t);
typedef int32_t(LUMBO_CALL* lumbo_player_fn)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

#ifdef __cplusplus
}
#endif

#endif
