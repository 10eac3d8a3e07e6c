// Ticks other than 0: the running effects.
#pragma once

#include "sequencer/player.h"

namespace lumbo {

void ProcessTick(Player& player);

}  // namespace lumbo
