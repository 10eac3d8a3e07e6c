#include "lumbo.h"

#include "song/loader.h"

namespace {

// In the order of the status numbers.
const char* const kStatusTexts[] = {
    "ok",
    "empty file",
    "not an XM module (bad signature)",
    "more than 32 channels",
    "song length outside 1 to 256",
    "a header size points outside the file",
    "an instrument has more than 16 samples",
    "truncated or corrupt: it asks for far more memory than its size can hold",
    "out of memory",
    "no audio output device",
    "invalid argument",
};

static_assert(int(lumbo::LoadError::OutOfMemory) == LUMBO_OUT_OF_MEMORY &&
                  int(lumbo::LoadError::BadSignature) == LUMBO_BAD_SIGNATURE &&
                  int(lumbo::LoadError::TooManySamples) == LUMBO_TOO_MANY_SAMPLES,
              "public statuses are the loader's");
static_assert(sizeof kStatusTexts / sizeof kStatusTexts[0] == LUMBO_BAD_ARGUMENT + 1, "a text per status");

}  // namespace

extern "C" LUMBO_API const char* LUMBO_CALL lumbo_status_text(int32_t status) {
    if (status < 0 || status > LUMBO_BAD_ARGUMENT) return "unknown status";
    return kStatusTexts[status];
}
