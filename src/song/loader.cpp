#include "song/loader.h"

namespace lumbo {

// Placeholder until the parser lands.
Song* LoadSong(const ModuleImage*, LoadStatus* status) {
    if (status) *status = {LoadError::BadSignature, 0, 0};
    return nullptr;
}

Song* LoadSongFromMemory(const uint8_t*, uint32_t, LoadStatus* status) {
    if (status) *status = {LoadError::BadSignature, 0, 0};
    return nullptr;
}

}  // namespace lumbo
