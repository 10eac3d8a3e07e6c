/* lumbo: plays one of two built-in songs on the default audio output.
 *
 * Every function returns 1, whatever happened; the arguments are ignored.
 * Call stop before starting another song and before unloading the library,
 * and make one call at a time. On 32-bit Windows the functions use the
 * standard call convention (the callee removes its arguments). */
#ifndef LUMBO_H
#define LUMBO_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define LUMBO_CALL __stdcall
#else
#define LUMBO_CALL
#endif

#if defined(_WIN32)
#define LUMBO_API /* exported by the module definition file */
#else
#define LUMBO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Does nothing. */
LUMBO_API int32_t LUMBO_CALL LoadDll(uint32_t unused);
/* Starts the second song from its beginning, ending any playback first. */
LUMBO_API int32_t LUMBO_CALL play2(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
/* Starts the first song from its beginning, ending any playback first. */
LUMBO_API int32_t LUMBO_CALL play(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
/* Ends playback and releases everything. */
LUMBO_API int32_t LUMBO_CALL stop(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

#ifdef __cplusplus
}
#endif

#endif
