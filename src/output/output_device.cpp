#include "output/output_device.h"

#include "mixer/mixer.h"
#include "output/output_size.h"
#include "platform/float_env.h"

namespace lumbo {

OutputDevice outputDevice;

bool OpenOutput(int32_t rate) {
    sampleRate = rate;
    if (!WaveOutOpen(&outputDevice.waveDevice, rate)) return false;
    // The host may have left any rounding mode or exception mask on its thread;
    // the renderer relies on round-to-nearest-even and silent exceptions.
    ResetFloatingPoint();
    if (!SizeOutput(rate)) {
        WaveOutClose(outputDevice.waveDevice);
        outputDevice.waveDevice = nullptr;
        return false;
    }
    return true;
}

}  // namespace lumbo
