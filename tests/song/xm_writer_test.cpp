#include <gtest/gtest.h>

#include "support/xm_writer.h"

namespace {

TEST(XmWriter, CellEncodingsTakeTheirByteCounts) {
    xm::Pattern p;
    p.rows = 1;
    p.channels = 3;
    p.cells = {xm::Cell{}, xm::Cell{49, 1, 0, 0, 0}, xm::Cell{49, 1, 0x40, 0x0C, 0x20}};
    p.encoding = xm::CellEncoding::Compact;
    EXPECT_EQ(xm::EncodeCells(p), (std::vector<uint8_t>{0x80, 0x83, 49, 1, 49, 1, 0x40, 0x0C, 0x20}));
    p.encoding = xm::CellEncoding::Masked;
    EXPECT_EQ(xm::EncodeCells(p).size(), 1u + 3u + 6u);
    p.encoding = xm::CellEncoding::Unpacked;
    EXPECT_EQ(xm::EncodeCells(p).size(), 15u);
}

TEST(XmWriter, SampleDataIsDeltaEncoded) {
    xm::Module m;
    m.orders = {0};
    m.AddPattern(1).storeNoData = true;
    m.AddInstrument().samples.push_back(xm::Sample::Pcm8({16, -16, 5}));
    std::vector<uint8_t> file = xm::Write(m);
    // 8-bit deltas 16, -32, 21 close the file.
    ASSERT_GE(file.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(file.end() - 3, file.end()), (std::vector<uint8_t>{0x10, 0xE0, 0x15}));
}

}  // namespace
