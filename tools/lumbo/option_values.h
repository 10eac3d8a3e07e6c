// Values of command-line options, read strictly: a value not understood
// whole is a usage error, never a guess.
#pragma once
#include <cstdint>

namespace lumbo_tool {

// Output rates a player takes.
constexpr int32_t kDefaultRate = 44100;
constexpr int32_t kMinRate = 8000;
constexpr int32_t kMaxRate = 192000;

// A whole number of frames per second, kMinRate..kMaxRate.
bool ParseRate(const char* text, int32_t* rate);

// Where a render starts: a time, or the first time the song reaches a row.
struct StartPoint {
    bool    atRow;             // ORDER:ROW; otherwise a time
    int64_t seconds;           // the time's whole seconds
    int64_t nanoseconds;       // and its fraction, 0..999999999
    int32_t order;
    int32_t row;
};

// "SECONDS[.FRACTION]" (at most 9 decimals) or "ORDER:ROW".
bool ParseStartPoint(const char* text, StartPoint* start);

// The frame a time starts at: floor(time x rate), worked out exactly from
// the decimals given.
int64_t StartFrame(const StartPoint& start, int32_t rate);

// Channels 0..31 as "0,3,5-7": one bit per channel.
bool ParseChannelList(const char* text, uint32_t* channels);

// A whole number from low to high.
bool ParseWhole(const char* text, int64_t low, int64_t high, int64_t* value);

}  // namespace lumbo_tool
