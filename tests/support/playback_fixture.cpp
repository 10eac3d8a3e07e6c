#include "support/playback_fixture.h"

#include <memory>

#include <atomic>
#include <cstddef>

#include "output/offline_render.h"
#include "song/loader.h"
#include "support/xm_writer.h"

namespace lumbo_test {

namespace {

std::atomic<int64_t> liveAllocations{0};
std::atomic<int64_t> allocationCount{0};
std::atomic<int64_t> allocationsUntilFailure{0};

}  // namespace

std::vector<uint8_t> TestModuleImage(int variant) {
    xm::Module module;
    module.channels = 2;
    module.speed = 3;
    module.tempo = uint16_t(120 + 17 * variant);
    module.orders = {0, 1};
    for (int p = 0; p < 2; ++p) {
        xm::Pattern& pattern = module.AddPattern(16);
        for (int row = 0; row < 16; ++row) {
            pattern.At(row, 0) = {uint8_t(37 + (row * 5 + p * 3 + variant) % 24), 1, 0, 0, 0};
            if (row % 4 == 2) pattern.At(row, 1) = {uint8_t(25 + row + variant), 1, uint8_t(0x20 + row), 0, 0};
        }
    }
    std::vector<int16_t> saw;
    for (int i = 0; i < 64; ++i) saw.push_back(int16_t((i * 4 - 128) * (variant + 1) / 2));
    module.AddInstrument().samples.push_back(xm::Sample::Pcm8(saw).Loop(0, 64));
    return xm::Image(xm::Write(module));
}

lumbo::Stream& TestStream() {
    static lumbo::Stream* stream = new lumbo::Stream();
    return *stream;
}

std::vector<int16_t> ExpectedStream(const uint8_t* image, int64_t frames) {
    std::vector<int16_t> pcm(size_t(frames) * 2);
    lumbo::Song* song = lumbo::LoadSong(image);
    if (!song) return {};
    auto stream = std::make_unique<lumbo::Stream>();
    bool rendered = lumbo::BeginOfflineRender(*stream, song, 44100) &&
                    lumbo::RenderOfflineFrames(*stream, pcm.data(), frames);
    lumbo::EndOfflineRender(*stream);
    lumbo::FreeSong(song);
    if (!rendered) return {};
    return pcm;
}

int64_t LiveAllocations() { return liveAllocations; }

int64_t AllocationCount() { return allocationCount; }

void FailAllocation(int64_t nth) { allocationsUntilFailure = nth; }

}  // namespace lumbo_test

// The engine's allocator, wrapped at link time (-Wl,--wrap).
extern "C" {
void* __real__ZN5lumbo14AllocateZeroedEm(size_t bytes);
void __real__ZN5lumbo7ReleaseEPv(void* block);

void* __wrap__ZN5lumbo14AllocateZeroedEm(size_t bytes) {
    ++lumbo_test::allocationCount;
    int64_t until = lumbo_test::allocationsUntilFailure;
    if (until > 0) {
        lumbo_test::allocationsUntilFailure = until - 1;
        if (until == 1) return nullptr;
    }
    void* block = __real__ZN5lumbo14AllocateZeroedEm(bytes);
    if (block) ++lumbo_test::liveAllocations;
    return block;
}

void __wrap__ZN5lumbo7ReleaseEPv(void* block) {
    if (block) --lumbo_test::liveAllocations;
    __real__ZN5lumbo7ReleaseEPv(block);
}
}
