// The library's four exported functions. Every one returns 1: a host cannot
// learn from the result whether a song started.
#include "lumbo.h"

#include "control/control_player.h"
#include "data/songs.h"

extern "C" {

LUMBO_API int32_t LUMBO_CALL LoadDll(uint32_t) { return 1; }

LUMBO_API int32_t LUMBO_CALL play2(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    lumbo::ControlPlayer(lumbo::secondSongImage);
    return 1;
}

LUMBO_API int32_t LUMBO_CALL play(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    lumbo::ControlPlayer(lumbo::firstSongImage);
    return 1;
}

LUMBO_API int32_t LUMBO_CALL stop(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    lumbo::ControlPlayer(nullptr);
    return 1;
}

}  // extern "C"
