// libzint's ECC 200 symbols as mapping matrices through DM_DecodeMatrix: every table size in
// every encodation, the sizes outside the table, 144 x 144 in both dealings, and the strip
// of the pattern lines.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dm_symbols_util.h"
#include "dm_test_util.h"

namespace {

using dmtest::DmTest;

class Ecc200Symbols : public DmTest {};

using testkit::Repeat;

// The longest repetition of unit (up to 3,000 bytes) that libzint puts into the size.
testkit::Symbol Fill(const std::string &unit, int size, std::string *data) {
    return testkit::LongestRepeat(unit, 3000, [size](const std::string &d) { return dmtest::DataMatrix(d, size); }, data);
}

// Latch codewords found among the data codewords of the last decode.
int Latches() {
    int bits = 0;
    for (int i = 0; i < vexo::g_dmData.dataCount; ++i) {
        switch (vexo::g_dmData.codewords[i]) {
            case 230: bits |= 1; break;
            case 239: bits |= 2; break;
            case 238: bits |= 4; break;
            case 240: bits |= 8; break;
            case 231: bits |= 16; break;
            default: break;
        }
    }
    return bits;
}

// libzint's option_2 of the 24 squares and 6 rectangles, in table order.
constexpr int kZintSizes = 30;

TEST_F(Ecc200Symbols, EveryTableSizeInEveryEncodationDecodesToTheBytes) {
    struct Mode {
        const char *name;
        std::string unit;
        int latch;  // latch codeword bit of Latches(), 0 for none
    };
    const Mode modes[] = {
        {"mixed", "A1b2#c3", 0},
        {"C40", "HELLO WORLD 12345 ", 1},
        {"Text", "hello world abc ", 2},
        {"X12", "ABC*DEF>123\r", 4},
        {"EDIFACT", "A.B,C:D;E-F/G?H+I", 8},
        {"Base 256", "\x80\x91\xA2\xB3\xC4\xD5\xE6\xF7", 16},
    };
    for (int size = 1; size <= kZintSizes; ++size) {
        for (const Mode &mode : modes) {
            std::string data;
            const testkit::Symbol s = Fill(mode.unit, size, &data);
            ASSERT_TRUE(s.ok) << "size " << size << " " << mode.name;
            const dmtest::Mapping m = dmtest::MappingOf(s);
            const int row = vexo::DM_FindSizeIndex(m.rows, m.cols);
            ASSERT_GE(row, 0) << "size " << size;
            EXPECT_EQ(vexo::kDmSizeTable[row].symbolRows, s.rows);
            EXPECT_EQ(vexo::kDmSizeTable[row].symbolCols, s.cols);
            const dmtest::Decoded d = dmtest::DecodeMatrix(m.m, m.rows, m.cols);
            EXPECT_EQ(d.status, 0) << "size " << size << " " << mode.name;
            EXPECT_EQ(d.text, data) << "size " << size << " " << mode.name;
            EXPECT_EQ(dmtest::Aim(), '1');
            // Below 18 x 18 libzint often finds another encodation cheaper.
            if (mode.latch != 0 && size >= 5) {
                EXPECT_NE(Latches() & mode.latch, 0) << "size " << size << " " << mode.name << " latches " << Latches();
            }
        }
    }
}

TEST_F(Ecc200Symbols, SizesOutsideTheTableAnswerMinus1000AndTouchNothing) {
    vexo::g_dmData.mirrorFirst = 1;
    vexo::g_dmCache.sizeIndex = 16;
    vexo::g_dmCache.cached[0] = 1;
    vexo::DM_BindWorkAreas();
    vexo::g_dmData.codewords[0] = 77;
    // Every DMRE size libzint makes (its option_2 31-48): none of their mapping sizes is a row.
    for (int size = 31; size <= 48; ++size) {
        const dmtest::Mapping m = dmtest::MappingOf(dmtest::DataMatrix("DMRE 42", size));
        ASSERT_GT(m.rows, 0) << "size " << size;
        EXPECT_EQ(vexo::DM_FindSizeIndex(m.rows, m.cols), -1);
        EXPECT_EQ(dmtest::DecodeMatrix(m.m, m.rows, m.cols).status, vexo::kDmStatusNoSize) << "size " << size;
        EXPECT_EQ(vexo::g_dmData.sizeIndex, -1);
    }
    const std::vector<uint8_t> m30(30 * 30, 1);
    EXPECT_EQ(dmtest::DecodeMatrix(m30, 30, 30).status, vexo::kDmStatusNoSize);
    EXPECT_EQ(vexo::g_dmData.mirrorFirst, 1);
    EXPECT_EQ(vexo::g_dmCache.sizeIndex, 16);
    EXPECT_EQ(vexo::g_dmCache.cached[0], 1);
    EXPECT_EQ(vexo::g_dmData.codewords[0], 77);
}

TEST_F(Ecc200Symbols, TenByTenIsOneBlockOfThreeAndFive) {
    const dmtest::Mapping m = dmtest::MappingOf(dmtest::DataMatrix("123456", 1));
    ASSERT_EQ(m.rows, 8);
    ASSERT_EQ(m.cols, 8);
    EXPECT_EQ(dmtest::DecodeMatrix(m.m, 8, 8).text, "123456");
    EXPECT_EQ(vexo::g_dmData.sizeIndex, 0);
    EXPECT_EQ(vexo::g_dmData.dataCount, 3);
    EXPECT_EQ(dmtest::BlockCount(0), 1);
    int data = 0, check = 0;
    vexo::DM_BlockShape(0, 0, &data, &check);
    EXPECT_EQ(data, 3);
    EXPECT_EQ(check, 5);
}

// 144 x 144: blocks 0-7 of 156 + 62 and 8-9 of 155 + 62 in the standard's dealing, and the
// dealing of all 2,178 codewords in turn, which the decoder tries when every block fails.
TEST_F(Ecc200Symbols, Size144InBothDealings) {
    for (int k = 0; k < 10; ++k) {
        int data = 0, check = 0;
        vexo::DM_BlockShape(vexo::kDmSize144, k, &data, &check);
        EXPECT_EQ(data, k <= 7 ? 156 : 155) << "block " << k;
        EXPECT_EQ(check, 62) << "block " << k;
    }
    std::mt19937 rng(144);
    std::string text;
    for (int i = 0; i < 1500; ++i) text.push_back(static_cast<char>(' ' + rng() % 95));
    const std::vector<int> data = dmtest::AsciiData(text, 1558);
    vexo::DM_BindWorkAreas();
    vexo::g_dmData.dataCount = 1558;
    for (bool uniform : {false, true}) {
        SCOPED_TRACE(uniform ? "uniform dealing" : "standard dealing");
        const std::vector<int> cw = dmtest::EncodeSymbol(vexo::kDmSize144, data, uniform);
        // The standard's de-interleaving corrects the standard's symbol alone.
        std::vector<int32_t> codewords(cw.begin(), cw.end());
        std::vector<int32_t> blocks(vexo::kDmMaxBlocks * vexo::kDmBlockSlots);
        vexo::RS_ResetField();
        vexo::RS_SelectField(4, 256, 0x12D);
        vexo::DM_DeinterleaveBlocks(codewords.data(), blocks.data(), 10, vexo::kDmSize144);
        EXPECT_EQ(vexo::DM_DecodeBlocks(blocks.data(), vexo::kDmSize144, 10), uniform ? 1 : 0);
        vexo::DM_DeinterleaveUniform(codewords.data(), blocks.data(), 10);
        EXPECT_EQ(vexo::DM_DecodeBlocks(blocks.data(), vexo::kDmSize144, 10), uniform ? 0 : 1);
        // Both decode whole.
        const dmtest::Decoded d = dmtest::DecodeSize(vexo::kDmSize144, dmtest::PlaceCodewords(vexo::kDmSize144, cw));
        EXPECT_EQ(d.status, 0);
        EXPECT_EQ(d.text, text);
        vexo::DM_BindWorkAreas();
        vexo::g_dmData.dataCount = 1558;
    }
    // libzint's own 144 x 144 (this version deals uniformly) reads too.
    const std::string zintText = Repeat("0123456789", 3000);
    const dmtest::Mapping m = dmtest::MappingOf(dmtest::DataMatrix(zintText, 24));
    ASSERT_EQ(m.rows, 132);
    EXPECT_EQ(dmtest::DecodeMatrix(m.m, m.rows, m.cols).text, zintText);
}

// The strip of the finder and timing lines against the test's own, on libzint's module
// matrices of 1 x 1, 1 x 2, 2 x 2, 4 x 4 and 6 x 6 regions.
TEST_F(Ecc200Symbols, StripGivesTheMappingMatrix) {
    for (int size : {1, 26, 10, 16, 22}) {
        const testkit::Symbol s = dmtest::DataMatrix("1234", size);
        const dmtest::Mapping m = dmtest::MappingOf(s);
        ASSERT_FALSE(m.m.empty());
        std::vector<uint8_t> out(m.m.size() + 16, 0xEE);
        vexo::DM_GEOMETRY geo{};
        geo.regionRows = m.regionRows;
        geo.regionCols = m.regionCols;
        geo.moduleRows = s.rows / m.regionRows;
        geo.moduleCols = s.cols / m.regionCols;
        geo.modules = out.data();
        vexo::DM_StripPatternModules(s.modules.data(), &geo);
        EXPECT_EQ(geo.moduleRows, s.rows / m.regionRows - 2) << "size " << size;
        EXPECT_EQ(geo.moduleCols, s.cols / m.regionCols - 2) << "size " << size;
        EXPECT_TRUE(std::equal(m.m.begin(), m.m.end(), out.begin())) << "size " << size;
        EXPECT_EQ(out[m.m.size()], 0xEE) << "size " << size;
        // The tests' own patterns around a mapping matrix give libzint's symbol back.
        EXPECT_EQ(dmtest::AddPatterns(vexo::DM_FindSizeIndex(m.rows, m.cols), m.m), s.modules) << "size " << size;
    }
}

}  // namespace
