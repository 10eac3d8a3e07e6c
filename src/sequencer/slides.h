// Volume steps shared by the volume column and the effects: up to 64 at most,
// down to 0 at least. A volume above 64 (Cxx stores up to 255) sliding up
// lands on 64; sliding down it counts down from where it is.
#pragma once
#include <cstdint>

#include "sequencer/channel.h"

namespace lumbo {

constexpr int32_t kMaxVolume = 64;

inline void RaiseVolume(Channel* channel, int32_t amount) {
    channel->volume += amount;
    if (channel->volume > kMaxVolume) channel->volume = kMaxVolume;
    channel->updateFlags |= UpdateVolume;
}

inline void LowerVolume(Channel* channel, int32_t amount) {
    channel->volume -= amount;
    if (channel->volume < 0) channel->volume = 0;
    channel->updateFlags |= UpdateVolume;
}

}  // namespace lumbo
