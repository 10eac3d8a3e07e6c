// lumbo render's command line, read and checked.
#pragma once
#include <cstdint>
#include <string>

#include "option_values.h"
#include "song_source.h"

namespace lumbo_tool {

constexpr int32_t kNoRepeat = INT32_MIN;      // --repeat not given

struct RenderOptions {
    SongSource  source = {"", 0};
    std::string output;
    double      seconds = -1;            // negative: not given
    int32_t     repeat = kNoRepeat;
    int32_t     rate = kDefaultRate;
    bool        haveStart = false;
    StartPoint  start = {};
    const char* startText = nullptr;     // --from as given, for messages
    uint32_t    muted = 0;               // one bit per channel
    bool        trace = false;
    bool        help = false;
};

extern const char kRenderHelp[];

// Returns kExitOk, or the status of a usage error already reported.
int ParseRenderOptions(int argc, char** argv, RenderOptions* options);

}  // namespace lumbo_tool
