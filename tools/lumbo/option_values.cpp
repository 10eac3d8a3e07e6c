#include "option_values.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace lumbo_tool {

namespace {

constexpr int kMaxDecimals = 9;
constexpr int64_t kMaxStartSeconds = 10000000;   // as --seconds: far beyond any use
constexpr int32_t kChannels = 32;

// Decimal digits only: strtoll alone would take blanks, signs and "0x".
bool Digits(const char* from, const char* to) {
    if (from == to) return false;
    for (const char* c = from; c < to; ++c) {
        if (!isdigit(static_cast<unsigned char>(*c))) return false;
    }
    return true;
}

// The digits in [from, to) as a number up to high.
bool Number(const char* from, const char* to, int64_t high, int64_t* value) {
    if (!Digits(from, to) || to - from > 18) return false;
    *value = strtoll(from, nullptr, 10);
    return *value <= high;
}

}  // namespace

bool ParseWhole(const char* text, int64_t low, int64_t high, int64_t* value) {
    const char* digits = *text == '-' ? text + 1 : text;
    if (!Number(digits, digits + strlen(digits), INT64_MAX, value)) return false;
    if (digits != text) *value = -*value;
    return *value >= low && *value <= high;
}

bool ParseRate(const char* text, int32_t* rate) {
    int64_t value;
    if (!ParseWhole(text, kMinRate, kMaxRate, &value)) return false;
    *rate = int32_t(value);
    return true;
}

bool ParseStartPoint(const char* text, StartPoint* start) {
    *start = StartPoint{};
    const char* end = text + strlen(text);
    if (const char* colon = strchr(text, ':')) {
        int64_t order, row;
        if (!Number(text, colon, INT32_MAX, &order) || !Number(colon + 1, end, INT32_MAX, &row)) return false;
        *start = {true, 0, 0, int32_t(order), int32_t(row)};
        return true;
    }
    const char* point = strchr(text, '.');
    const char* wholeEnd = point ? point : end;
    if (!Number(text, wholeEnd, kMaxStartSeconds, &start->seconds)) return false;
    if (!point || point + 1 == end) return true;   // "12" or "12."
    const int decimals = int(end - point - 1);
    if (decimals > kMaxDecimals || !Number(point + 1, end, INT64_MAX, &start->nanoseconds)) return false;
    for (int i = decimals; i < kMaxDecimals; ++i) start->nanoseconds *= 10;
    return true;
}

int64_t StartFrame(const StartPoint& start, int32_t rate) {
    return start.seconds * rate + start.nanoseconds * rate / 1000000000;
}

bool ParseChannelList(const char* text, uint32_t* channels) {
    *channels = 0;
    const char* at = text;
    for (;;) {
        const char* comma = strchr(at, ',');
        const char* end = comma ? comma : at + strlen(at);
        const char* dash = static_cast<const char*>(memchr(at, '-', size_t(end - at)));
        int64_t first, last;
        if (!Number(at, dash ? dash : end, kChannels - 1, &first)) return false;
        last = first;
        if (dash && !Number(dash + 1, end, kChannels - 1, &last)) return false;
        if (last < first) return false;
        for (int64_t c = first; c <= last; ++c) *channels |= 1u << c;
        if (!comma) return true;
        at = comma + 1;
    }
}

}  // namespace lumbo_tool
