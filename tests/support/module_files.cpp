#include "support/module_files.h"

#include "support/rich_module.h"
#include "support/xm_writer.h"

namespace lumbo_test {

std::vector<uint8_t> EmbeddedFile(const lumbo::ModuleImage* image) {
    const uint32_t length = uint32_t(image[0]) | uint32_t(image[1]) << 8 | uint32_t(image[2]) << 16 |
                            uint32_t(image[3]) << 24;
    return std::vector<uint8_t>(image + 4, image + 4 + length);
}

std::vector<uint8_t> Busy(int channels, uint32_t seed) { return xm::Write(RichModule(channels, seed)); }

std::vector<uint8_t> Flat() {
    xm::Module m;
    m.channels = 1;
    m.orders = {0};
    m.AddPattern(64).At(0, 0) = {49, 1, 0, 0, 0};
    m.AddInstrument().samples.push_back(xm::Sample::Pcm16(std::vector<int16_t>(256, 0x4000)).Loop(0, 256));
    return xm::Write(m);
}

}  // namespace lumbo_test
