#include "sequencer/tick_driver.h"

namespace lumbo {

void CopyPlayer(Player& to, const Player& from) {
    Song* song = to.song;
    to = from;
    to.song = song;
    // A channel's voice is one of the player's own.
    for (Channel& channel : to.channels) {
        if (channel.voice) channel.voice = to.mixer.voices + (channel.voice - from.mixer.voices);
    }
}

}  // namespace lumbo
