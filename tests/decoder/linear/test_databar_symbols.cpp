// GS1 DataBar omnidirectional, truncated, stacked, stacked omnidirectional and Limited symbols
// made with libzint, plain and as the linear part of composites, as edge lists of their rows
// at 2 to 6 samples a module with ink spread and jitter, forward and reversed, read through
// the table walk: the 14 digits (16 with "01"), "]e0", the code type and the link value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/test_hooks.h"
#include "linear/code128_lines.h"
#include "linear/databar_lines.h"
#include "support/symbol.h"

namespace {

using namespace vexo;
using namespace linetest;

struct DataBarCase {
    const char *what;
    int symbology;
    std::string data;     // libzint's input (the composite's 2D part for the _CC forms)
    std::string primary;  // the linear part of a composite
    std::string text;
    int32_t codeType;
    uint16_t link;        // with the composite word on
};

const DataBarCase kDataBarCases[] = {
    {"omni", BARCODE_DBAR_OMN, "2001234567890", "", "20012345678909", 42, 0},
    {"omni small", BARCODE_DBAR_OMN, "0000000000017", "", Gtin14(17), 42, 0},
    {"truncated", BARCODE_DBAR_OMN, "0950110153001", "", Gtin14(950110153001ULL), 42, 0},
    {"stacked", BARCODE_DBAR_STK, "0950110153001", "", Gtin14(950110153001ULL), 42, 0},
    {"stacked omni", BARCODE_DBAR_OMNSTK, "9876543210987", "", Gtin14(9876543210987ULL), 42, 0},
    {"Limited", BARCODE_DBAR_LTD, "1501234567890", "", Gtin14(1501234567890ULL), 43, 0},
    {"Limited small", BARCODE_DBAR_LTD, "0000000000001", "", Gtin14(1), 43, 0},
    {"omni composite", BARCODE_DBAR_OMN_CC, "[10]ABC123", "2001234567890", "20012345678909", 42, 7},
    {"stacked composite", BARCODE_DBAR_STK_CC, "[10]ABC123", "0950110153001", Gtin14(950110153001ULL), 42, 8},
    {"Limited composite", BARCODE_DBAR_LTD_CC, "[10]ABC123", "1501234567890", Gtin14(1501234567890ULL), 43, 9},
};

testkit::Symbol Make(const DataBarCase &c) {
    testkit::SymbolInput in;
    in.symbology = c.symbology;
    in.data = c.data;
    if (!c.primary.empty()) {
        in.primary = c.primary;
        in.inputMode = GS1_MODE;
    }
    const testkit::Symbol s = testkit::Encode(in);
    if (!s.ok) ADD_FAILURE() << c.what << ": " << s.error;
    return s;
}

bool Stacked(int symbology) {
    return symbology == BARCODE_DBAR_STK || symbology == BARCODE_DBAR_OMNSTK || symbology == BARCODE_DBAR_STK_CC;
}

TEST(DataBarSymbols, LibzintLinesThroughTheWalk) {
    int lines = 0;
    for (const DataBarCase &c : kDataBarCases) {
        const testkit::Symbol sym = Make(c);
        ASSERT_TRUE(sym.ok) << c.what;
        // The linear rows lie at the bottom; a stacked symbol's upper row is the first row
        // below the 2D part that reads as one.
        std::vector<std::vector<int>> rows;
        if (Stacked(c.symbology)) {
            const int lowerRow = sym.rows - 1;
            int upperRow = c.primary.empty() ? 0 : -1;
            for (int r = lowerRow - 1; upperRow < 0 && r >= 0; --r)
                if (RunsFromRow(sym, r).size() == 23) upperRow = r;
            ASSERT_GE(upperRow, 0) << c.what;
            rows = {RunsFromRow(sym, upperRow), RunsFromRow(sym, lowerRow)};
        } else {
            rows = {RunsFromRow(sym, sym.rows - 1)};
        }
        for (const double size : {2.0, 3.0, 4.5, 6.0}) {
            for (const double spread : {0.0, 0.15}) {
                for (const bool reversed : {false, true}) {
                    const uint32_t seed = static_cast<uint32_t>(size * 10 + spread * 100) + (reversed ? 1000 : 0);
                    SCOPED_TRACE(testing::Message() << c.what << " at " << size << " spread " << spread
                                                    << (reversed ? " reversed" : "") << " seed " << seed);
                    Test_ResetDecoderStatics();
                    SetDataBarWords(0, kFlagEnabled);
                    WalkRead r;
                    // Stacked rows on separate lines: each twice, the lower row last.
                    const int sightings = rows.size() > 1 ? 2 : 1;
                    for (int k = 0; k < sightings; ++k) {
                        for (const std::vector<int> &runs : rows) {
                            EdgeLine line = MakeEdgeLine(runs, {.moduleSamples = size,
                                                                .spread = spread,
                                                                .jitter16 = 1,
                                                                .reversed = reversed,
                                                                .seed = seed + static_cast<uint32_t>(k)});
                            r = WalkLine(line);
                        }
                    }
                    ++lines;
                    EXPECT_EQ(r.answer, 1);
                    EXPECT_EQ(r.text, c.text);
                    EXPECT_EQ(r.aim, "]e0");
                    EXPECT_EQ(r.id, kSymDataBar);
                    EXPECT_EQ(r.codeType, c.codeType);
                    EXPECT_EQ(r.link, c.link);
                }
            }
        }
    }
    EXPECT_EQ(lines, 10 * 16);
    Test_ResetDecoderStatics();
}

// Bit 31 puts "01" in front of every fixed-length member; a composite's linear part without
// the composite word is refused even with DataBar on.
TEST(DataBarSymbols, PrefixAndCompositeWord) {
    for (const DataBarCase &c : kDataBarCases) {
        if (Stacked(c.symbology)) continue;
        SCOPED_TRACE(c.what);
        const testkit::Symbol sym = Make(c);
        ASSERT_TRUE(sym.ok);
        Test_ResetDecoderStatics();
        SetDataBarWords(1u << 31, kFlagEnabled);
        EdgeLine line = MakeEdgeLine(RunsFromRow(sym, sym.rows - 1), {.moduleSamples = 3});
        WalkRead r = WalkLine(line);
        EXPECT_EQ(r.text, "01" + c.text);
        SetDataBarWords();
        r = WalkLine(line);
        EXPECT_EQ(r.answer, c.link == 0 ? 1 : 0);
    }
    Test_ResetDecoderStatics();
}

}  // namespace
