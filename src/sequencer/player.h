// One playing song: the module with its live position, what the sequencer
// remembers per pattern column and the mixer's voices. Every sequencer
// function takes the player it works on, so players are independent of each
// other; one thread at a time may use a player.
#pragma once
#include <cstdint>

#include "mixer/mixer.h"
#include "sequencer/channel.h"
#include "song/song.h"

namespace lumbo {

struct Player;

// What runs when a tick's frames are used up: TickDriver, or a tool's wrapper
// around it.
typedef void (*TickHandler)(Player& player);

// Cells name instruments 1..128: no others are ever played.
constexpr int kPlayableInstruments = 128;

struct Player {
    Song*       song;                    // the module and its live position; null = none
    TickHandler tickHandler;             // TickDriver once the song is reset
    int32_t     currentRow;              // the row tick 0 worked on; later ticks read it even
                                         // after a pattern loop rewrote the song's row
    Channel     channels[kMaxChannels];  // channel i is pattern column i
    Mixer       mixer;                   // the voices and the output rate
    uint32_t    mutedChannels;           // bit i: channel i's voice gets gain targets of 0
    // The finetune of each instrument's sample slots, from the song as loaded
    // at every reset. E5x writes here rather than into the loaded sample, so
    // that the song stays as loaded for every run over it (a seek, the loop
    // search beside a playing player).
    int8_t      finetunes[kPlayableInstruments][kMaxSamplesPerInstrument];
};

}  // namespace lumbo
