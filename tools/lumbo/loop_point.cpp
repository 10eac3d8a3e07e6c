#include "loop_point.h"

#include <unordered_map>

#include "output/offline_render.h"
#include "output/output_size.h"
#include "sequencer/channel.h"

namespace lumbo_tool {

namespace {

constexpr int64_t kMaxRowStarts = 1 << 20;  // far beyond any song: 256 positions x 256 rows is 65536
constexpr int64_t kMaxTicks = 1 << 23;

// A pattern loop (E6x) plays rows again without the song looping: rows
// started while one runs do not count as visits.
bool InsidePatternLoop(const lumbo::Song* song) {
    int32_t channels = song->channelCount < lumbo::kMaxChannels ? song->channelCount : lumbo::kMaxChannels;
    for (int32_t i = 0; i < channels; ++i) {
        if (lumbo::channels[i].loopCount != 0) return true;
    }
    return false;
}

}  // namespace

bool FindLoopPoint(lumbo::Song* song, LoopPoint* loop) {
    *loop = LoopPoint{};
    if (!lumbo::BeginOfflineRender(song, lumbo::kOutputRate)) return false;
    std::unordered_map<uint64_t, int64_t> firstPlayed;  // (order, row) -> frame
    int64_t frame = 0;
    for (int64_t tick = 0; tick < kMaxTicks && loop->rows < kMaxRowStarts; ++tick) {
        if (song->tick == 0) {
            // The position this tick starts: the pending one, if any.
            int32_t order = song->nextOrder >= 0 ? song->nextOrder : song->orderPosition;
            int32_t row = song->nextRow >= 0 ? song->nextRow : song->row;
            if (!InsidePatternLoop(song)) {
                uint64_t key = uint64_t(uint32_t(order)) << 32 | uint32_t(row);
                auto visit = firstPlayed.emplace(key, frame);
                if (!visit.second) {
                    *loop = {true, loop->rows, frame, order, row, visit.first->second};
                    break;
                }
            }
            ++loop->rows;
        }
        song->tickHandler(song);
        frame += song->samplesPerTick;
        loop->endFrame = frame;
    }
    lumbo::EndOfflineRender();
    return true;
}

}  // namespace lumbo_tool
