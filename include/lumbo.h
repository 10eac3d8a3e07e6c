/* lumbo: a tiny, exact, click-free player of XM tracker modules.
 *
 * Two ways to use it, usable from C and C++:
 *
 *   - The four classic functions (LoadDll, play, play2, stop) play one of two
 *     songs built into the library on the default audio output (44100 Hz,
 *     16-bit stereo) until the host stops it. lumbo_play_module plays a
 *     host's own module the same way, and lumbo_heard_position tells where
 *     the listener is.
 *   - Players as values (lumbo_load, lumbo_render, ...): any number of
 *     modules loaded from memory, each rendering its frames into the host's
 *     own buffer on the host's thread, for a host that mixes its own audio.
 *
 * On Windows the library is lumbo.dll; on 32-bit Windows every function uses
 * the standard call convention (__stdcall: the function removes its
 * arguments from the stack), so a host must pass exactly the arguments
 * declared here. Elsewhere they are plain C functions (liblumbo.so on Linux).
 *
 * The contract of the classic functions:
 *   - Every one returns 1, whatever happened. A host cannot learn from the
 *     result whether a song started (no sound device: silence, still 1).
 *   - Call stop before unloading the library: a playing song runs the
 *     library's code on its own thread.
 *   - Make one call at a time; the functions take no lock.
 * The 32-bit arguments of play, play2 and stop are ignored; pass zeros.
 *
 * No function changes the calling thread's floating-point settings, and the
 * output does not depend on them. */
#ifndef LUMBO_H
#define LUMBO_H

#include <stddef.h>
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

/* ---- Players as values ------------------------------------------------- */

/* A loaded module with its own position, voices and volume. Players are
 * independent: any number may exist. Each is used by one thread at a time,
 * except that lumbo_jump, lumbo_set_channel_mute, lumbo_set_repeat and
 * lumbo_set_volume may be called from any thread while another renders (an
 * audio callback pulling frames while the game thread steers the music):
 * they never make the rendering thread wait. */
typedef struct lumbo_player lumbo_player;

/* Where a song stands. */
typedef struct lumbo_position {
    int32_t  order;     /* order position 0..songLength-1 */
    int32_t  pattern;   /* pattern number at that position */
    int32_t  row;
    int32_t  tick;      /* tick within the row */
    uint64_t frame;     /* frames of the stream up to this point */
} lumbo_position;

/* What a module holds, and how long it plays before it comes back to a
 * position it has played (where a looping player starts over). */
typedef struct lumbo_info {
    char     title[21];           /* the module's name, NUL-terminated */
    int32_t  channels;
    int32_t  song_length;         /* order positions */
    int32_t  restart;             /* order position played after the last */
    int32_t  patterns;
    int32_t  instruments;
    int32_t  linear_periods;      /* 1: linear frequency table; 0: Amiga */
    int32_t  speed;               /* initial ticks per row */
    int32_t  tempo;               /* initial tempo (BPM) */
    int32_t  loops;               /* 1 when the song comes back within 2^20 rows */
    int32_t  rows;                /* rows played until it comes back (or the search gave up) */
    uint64_t loop_end_frame;      /* frames until then (44100 Hz; lumbo_player_info: the player's rate) */
    uint64_t loop_start_frame;    /* frame at which the position it comes back to was first heard */
    int32_t  loop_order;          /* that position */
    int32_t  loop_row;
} lumbo_info;

/* Results of lumbo_load, lumbo_play_module and lumbo_module_info. */
enum {
    LUMBO_OK = 0,
    LUMBO_EMPTY = 1,                 /* no bytes */
    LUMBO_BAD_SIGNATURE = 2,         /* not an XM module */
    LUMBO_TOO_MANY_CHANNELS = 3,     /* more than 32 */
    LUMBO_BAD_SONG_LENGTH = 4,       /* not 1..256 */
    LUMBO_BAD_HEADER_SIZE = 5,       /* a header points outside the file */
    LUMBO_TOO_MANY_SAMPLES = 6,      /* an instrument with more than 16 */
    LUMBO_TOO_LARGE = 7,             /* asks for far more memory than its size can hold */
    LUMBO_OUT_OF_MEMORY = 8,
    LUMBO_NO_OUTPUT = 9,             /* no audio output device */
    LUMBO_BAD_ARGUMENT = 10          /* a null pointer, or more than 2 GiB */
};

/* Loads an XM module from memory. The player keeps its own copy of what it
 * needs, so the host may free data at once; nothing outside
 * [data, data + size) is read. NULL on failure, with *status (when status is
 * not NULL) saying why; LUMBO_OK on success. A file cut short still loads,
 * its missing bytes read as zero. */
LUMBO_API lumbo_player* LUMBO_CALL lumbo_load(const void* data, size_t size, int32_t* status);

/* A short English text for a status: "ok", "not an XM module (bad
 * signature)", ... Never NULL. */
LUMBO_API const char* LUMBO_CALL lumbo_status_text(int32_t status);

/* Releases the player and everything it holds. NULL is fine. */
LUMBO_API void LUMBO_CALL lumbo_free(lumbo_player* player);

/* Writes the next frames of the song into stereo (interleaved left, right;
 * at the player's rate; 2 x frames values) and returns the frames written.
 * By default the song never ends: after its last position it goes on at its
 * restart position, so this writes every frame asked for. With a repeat
 * count (lumbo_set_repeat) the song ends: the call that reaches the end
 * writes fewer frames than asked, and later calls write none. 0 when player
 * or stereo is NULL. The frames are exactly those `lumbo render` writes for
 * the module, whatever the sizes of the calls.
 *
 * When a control acts: a player renders 20 ms blocks, each only when a call
 * needs frames from it, so the block holding the last frame handed out may
 * already be rendered. A jump, a channel mute or a repeat count set after F
 * frames have been handed out acts from the first block boundary at or after
 * F, the first frame not yet rendered: it is heard at most one block (20 ms)
 * after the frames handed out. The volume acts from the next frame handed
 * out. */
LUMBO_API size_t LUMBO_CALL lumbo_render(lumbo_player* player, int16_t* stereo, size_t frames);

/* The tick that produced the last frame lumbo_render handed out, and the
 * number of the next frame in the stream (the frames handed out so far; after
 * a seek, counted from the frame it landed on). 1 on success; 0 (and *out
 * untouched) before the first frame or for a NULL argument. */
LUMBO_API int32_t LUMBO_CALL lumbo_position_of(const lumbo_player* player, lumbo_position* out);

/* The player's volume, 0 (silent) .. 256 (full, the default, which leaves
 * the output bit-identical); other values are clamped. A change reaches the
 * output over 128 frames at 44100 Hz (2.9 ms at any rate), so it never
 * clicks. Any thread may call it. */
LUMBO_API void LUMBO_CALL lumbo_set_volume(lumbo_player* player, int32_t volume);

/* Facts about a module, without keeping it: header fields and how long it
 * plays before it loops. Returns a status as lumbo_load does; *out is filled
 * only on LUMBO_OK. Runs the song's ticks (not its mixing) until it comes
 * back, which takes a few milliseconds for a typical song; a module that
 * never comes back is followed for 2^20 rows or 2^23 ticks, which can take
 * a second or two. */
LUMBO_API int32_t LUMBO_CALL lumbo_module_info(const void* data, size_t size, lumbo_info* out);

/* ---- Steering a player: rate, seek, jump, layers, play once -------------- */

/* A player rendering at `rate` frames per second, 8000..192000 (otherwise
 * NULL with LUMBO_BAD_ARGUMENT). lumbo_load(d, s, st) is
 * lumbo_load_at(d, s, 44100, st). Everything follows the rate: tick lengths,
 * pitches, the 20 ms blocks and the 2.9 ms ramps; at 44100 the frames are
 * those of lumbo_load. */
LUMBO_API lumbo_player* LUMBO_CALL lumbo_load_at(const void* data, size_t size, int32_t rate, int32_t* status);

/* The facts lumbo_module_info gives, for a loaded player, with its frames
 * (loop_end_frame, loop_start_frame) at the player's rate. Runs the song's
 * ticks from the start as lumbo_module_info does, on the side: the player is
 * not disturbed. 1 ok; 0 (and *out untouched) for a NULL argument or short
 * memory. */
LUMBO_API int32_t LUMBO_CALL lumbo_player_info(const lumbo_player* player, lumbo_info* out);

/* Exact seek: the next frame handed out is frame `frame` of the stream that a
 * new player of the same module would render, with this player's present
 * channel mutes and repeat count set before its first frame; bit for bit that
 * stream, at the present volume (a volume ramp in progress carries on).
 * Jumps made before are forgotten. A seek runs the song's ticks and moves its
 * voices without mixing, a small part of the cost of rendering the same
 * span; a seek backwards starts again from the beginning. Afterwards
 * lumbo_position_of describes frame - 1 (with frame = `frame`). 1 ok; 0, with
 * nothing changed, past the end of a song that ends (a seek to exactly its
 * end is allowed; the next lumbo_render then writes nothing), past 2^31
 * blocks of 20 ms (over a year), for NULL or short memory. */
LUMBO_API int32_t LUMBO_CALL lumbo_seek(lumbo_player* player, uint64_t frame);

/* Seeks, as lumbo_seek, to the first frame of row `row` of order position
 * `order`, the first time the song played from its start gets there (the
 * frame `lumbo render --trace` shows for that row's tick 0). 0, with nothing
 * changed, when the song never gets there or it lies past the end. */
LUMBO_API int32_t LUMBO_CALL lumbo_seek_order(lumbo_player* player, int32_t order, int32_t row);

/* Jump at the next row: the row being played finishes (pattern delay
 * included), and the next row start is row `row` of order position `order`,
 * whatever the row says (its own jump, break or pattern loop). Voices sound
 * on through the jump, as through a pattern break; a pattern loop in
 * progress is ended. The way a game moves between sections of one module in
 * time with the music. 0, with nothing changed, when order is not below the
 * song length, row not below the rows of the pattern there, the player has
 * ended, or it is NULL. Any thread may call it. */
LUMBO_API int32_t LUMBO_CALL lumbo_jump(lumbo_player* player, int32_t order, int32_t row);

/* Silences channel 0..31 (muted 1) or brings it back (0), ramping over 2.9
 * ms: its effects, envelopes and positions run on, so a layer comes back in
 * time. Other channel numbers are ignored. Any thread may call it. */
LUMBO_API void LUMBO_CALL lumbo_set_channel_mute(lumbo_player* player, int32_t channel, int32_t muted);

/* How often the song comes back to where it has already been before the
 * stream ends: -1 (or any negative count) never ends (the default), 0 plays
 * it once through to its loop point (lumbo_info.loop_end_frame frames from
 * the start), n plays the loop n more times. The stream ends at the frame
 * where the row it comes back to would start; rows repeated by a pattern
 * loop do not count. A song that never comes back plays for ever whatever
 * the count. A count below the come-backs already played ends the song at
 * its next one; a larger count lets an ended player go on. Any thread may
 * call it. */
LUMBO_API void LUMBO_CALL lumbo_set_repeat(lumbo_player* player, int32_t count);

/* 1 once the song has ended and every frame of it has been handed out;
 * otherwise 0 (also for NULL). lumbo_position_of goes on describing the last
 * frame handed out. */
LUMBO_API int32_t LUMBO_CALL lumbo_ended(const lumbo_player* player);

/* How loud each channel of the song has been over the latest block the
 * player rendered (20 ms; at most one block ahead of the frames handed out),
 * for level meters: levels[c] for channels c = 0 .. min(count, channels) - 1,
 * 0 (silent) .. 255 (full scale), linear in amplitude. An estimate from each
 * voice's gain and the stretch of its sample it played; a muted channel
 * reads 0 once its ramp is over. Worked out when called: a player whose
 * levels are never asked for pays nothing. Returns the levels written; 0 for
 * a NULL argument or a count below 1. For the thread that renders. */
LUMBO_API int32_t LUMBO_CALL lumbo_channel_levels(const lumbo_player* player, uint8_t* levels, int32_t count);

/* ---- A host's module on the library's own audio output ------------------- */

/* Plays a module from memory on the default audio output at 44100 Hz: it
 * ends whatever plays, renders the first blocks, and a thread of the library
 * keeps rendering a few blocks (at most 100 ms) ahead of the listener until
 * stop. The module is copied; the host may free data at once. Returns
 * LUMBO_OK when it plays; otherwise the reason (a rejected module leaves what
 * plays playing; LUMBO_NO_OUTPUT and LUMBO_OUT_OF_MEMORY leave nothing
 * playing). */
LUMBO_API int32_t LUMBO_CALL lumbo_play_module(const void* data, size_t size);

/* Where the listener is in what the library plays (play, play2,
 * lumbo_play_module or lumbo_play_player), from the device's position, at
 * most 5 ms old. frame is the number of the frame being heard in the song's
 * stream, as lumbo_position_of counts it: after a seek or a resume it goes on
 * from the player's frame. 1 while something plays, else 0 (and *out
 * untouched); also 0 once the device has played the last frame of a player
 * that ends (lumbo_set_repeat): the end has been heard, and the device plays
 * silence until the next start or stop. */
LUMBO_API int32_t LUMBO_CALL lumbo_heard_position(lumbo_position* out);

/* The volume of the library's device, 0..256 as lumbo_set_volume; it
 * multiplies a player's own. Heard within the lead (100 ms) for a player or
 * module, after the two seconds already rendered for play and play2. Kept
 * across songs until changed. */
LUMBO_API void LUMBO_CALL lumbo_set_playback_volume(int32_t volume);

/* Plays a host's player on the library's device from where it stands, at
 * the player's rate; whatever plays is ended first. The host keeps the
 * player. While the device plays it, every control above works on it from
 * any thread and is heard within 100 ms (a seek is worked out on the calling
 * thread, which waits up to one block for it to be taken up);
 * lumbo_render returns 0; lumbo_position_of describes the last frame
 * rendered; lumbo_free ends playback first. stop ends playback: the frames
 * rendered but not yet heard stay with the player, handed out first when it
 * plays or renders again, so lumbo_position_of then describes the frame last
 * heard. Returns LUMBO_OK when it plays, else as lumbo_play_module
 * (LUMBO_BAD_ARGUMENT for NULL). */
LUMBO_API int32_t LUMBO_CALL lumbo_play_player(lumbo_player* player);

/* 1 pauses what lumbo_play_module or lumbo_play_player plays, 0 resumes it:
 * a setting, not a count. The sound fades out within the lead before the
 * device stops and fades in as it restarts; no frame is lost or repeated,
 * and the heard position stands still meanwhile. Does nothing when nothing
 * plays (or for play and play2); every start begins unpaused. */
LUMBO_API void LUMBO_CALL lumbo_pause_playback(int32_t paused);

/* The classic exports' types, for hosts that look them up at run time
 * (GetProcAddress, dlsym). */
typedef int32_t(LUMBO_CALL* lumbo_load_dll_fn)(uint32_t);
typedef int32_t(LUMBO_CALL* lumbo_player_fn)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

#ifdef __cplusplus
}
#endif

#endif
