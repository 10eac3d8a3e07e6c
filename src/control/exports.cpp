// The library's four exported functions. Every one returns 1: a host cannot
// learn from the result whether a song started.
#include "lumbo.h"

#include "control/control_player.h"
#include "data/songs.h"
#include "platform/float_env.h"

namespace {

// The start and stop sequences set the floating-point unit to the library's
// settings; the host gets its own back.
void ControlWithHostFloat(const lumbo::ModuleImage* image) {
    const lumbo::FloatControl host = lumbo::SaveFloatingPoint();
    lumbo::ControlPlayer(image);
    lumbo::RestoreFloatingPoint(host);
}

}  // namespace

extern "C" {

LUMBO_API int32_t LUMBO_CALL LoadDll(uint32_t) { return 1; }

LUMBO_API int32_t LUMBO_CALL play2(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    ControlWithHostFloat(lumbo::secondSongImage);
    return 1;
}

LUMBO_API int32_t LUMBO_CALL play(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    ControlWithHostFloat(lumbo::firstSongImage);
    return 1;
}

LUMBO_API int32_t LUMBO_CALL stop(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    ControlWithHostFloat(nullptr);
    return 1;
}

}  // extern "C"
