#include "fuzz/fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumbo_fuzz::RunPublicApiBytes(data, size);
    return 0;
}
