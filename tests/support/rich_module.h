// A busy module for determinism checks and speed measurements: nearly every
// row of every channel starts a note or changes something, with volume and
// panning envelopes, fadeout, auto-vibrato, forward and ping-pong loops, 8-
// and 16-bit samples, a multi-sample instrument and most effects.
#pragma once
#include <cstdint>

#include "support/xm_writer.h"

namespace lumbo_test {

// The same channels and seed always give the same module.
xm::Module RichModule(int channels, uint32_t seed = 1);

}  // namespace lumbo_test
