// Code 128 and GS1-128 symbols made with libzint, turned into edge lists of one row at 2 to
// 6 samples a module with ink spread up to 20 % of a module and 1/16-sample jitter, forward
// and reversed: locate finds both guards and decode delivers exactly the symbol's values,
// read off libzint's module row with the standard's patterns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/params.h"
#include "core/properties.h"
#include "core/test_hooks.h"
#include "linear/code128.h"
#include "linear/code128_lines.h"
#include "linear/edge_lists.h"
#include "linear/libzint_runs.h"
#include "support/symbol.h"

namespace {

using namespace vexo;
using namespace linetest;

struct Case {
    const char *what;
    int symbology;
    int inputMode;
    std::string data;
    uint8_t start;       // the start value libzint should choose (0: any)
    int mustHold = -1;   // a value the symbol must hold (a shift, FNC4, FNC1...), -1 none
};

std::string Repeat(const std::string &unit, size_t length) {
    std::string s;
    while (s.size() < length) s += unit;
    s.resize(length);
    return s;
}

TEST(Code128Symbols, WholeLinesFromLibzint) {
    Test_ResetDecoderStatics();
    const Case cases[] = {
        {"one character", BARCODE_CODE128, DATA_MODE, "A", 104},
        {"set B text", BARCODE_CODE128, DATA_MODE, "Hello, 128!", 104},
        {"set C digits", BARCODE_CODE128, DATA_MODE, "0123456789012345", 105},
        {"set A controls", BARCODE_CODE128, DATA_MODE, std::string("\x01\x02\x03" "ABC\x04", 7), 103},
        {"a shift", BARCODE_CODE128, DATA_MODE, std::string("\x01" "a\x02\x03", 4), 103, 98},
        {"set changes", BARCODE_CODE128, DATA_MODE, "abc123456789xyz\x1f", 104},
        {"bytes above 127 (FNC4)", BARCODE_CODE128, DATA_MODE, "caf\xe9 \xfc\xfd", 104, 100},
        {"length 40", BARCODE_CODE128, DATA_MODE, Repeat("Code 128 ", 40), 104},
        {"length 57 (near libzint's 60 characters)", BARCODE_CODE128, DATA_MODE, Repeat("The quick brown fox ", 57), 104},
        {"length 80, digits and letters", BARCODE_CODE128, DATA_MODE, Repeat("12345678A", 80), 105},
        {"80 digits", BARCODE_CODE128, DATA_MODE, Repeat("31415926535", 80), 105},
        {"GS1-128", BARCODE_GS1_128, GS1_MODE, "[01]09501101530003[17]250101[10]AB-12", 105, 102},
        {"GS1-128 short", BARCODE_GS1_128, GS1_MODE, "[00]095011010000000012", 105, 102},
    };
    for (const Case &c : cases) {
        const std::vector<int> runs = LibzintRuns(c.symbology, c.data, c.inputMode);
        ASSERT_FALSE(runs.empty()) << c.what;
        const std::vector<uint8_t> values = ValuesFromRuns(runs);
        ASSERT_FALSE(values.empty()) << c.what;
        if (c.start != 0) {
            EXPECT_EQ(values[0], c.start) << c.what;
        }
        if (c.mustHold >= 0) {
            bool held = false;
            for (size_t i = 1; i + 1 < values.size(); ++i) held = held || values[i] == c.mustHold;
            EXPECT_TRUE(held) << c.what;
        }
        ASSERT_EQ(WithCheck(std::vector<uint8_t>(values.begin(), values.end() - 1)), values) << c.what;
        int modules = 40;
        for (int r : runs) modules += r;
        for (const double size : {2.0, 3.0, 4.0, 5.0, 6.0}) {
            if (modules * size > 4095) continue;  // longer than a profile
            for (const double spread : {0.0, 0.1, 0.2}) {
                for (const bool reversed : {false, true}) {
                    const uint32_t seed = static_cast<uint32_t>(size * 10 + spread * 100) + (reversed ? 1000 : 0);
                    SCOPED_TRACE(testing::Message() << c.what << " at " << size << " spread " << spread
                                                    << (reversed ? " reversed" : "") << " seed " << seed);
                    Code128_Reset();
                    const EdgeLine line = MakeEdgeLine(
                        runs, {.moduleSamples = size, .spread = spread, .jitter16 = 1, .reversed = reversed, .seed = seed});
                    LINE_LOCATE_STATE st = LocateState(line);
                    ASSERT_EQ(Code128_Locate(&st), 1);
                    const size_t last = line.edges.size() - 1;
                    EXPECT_EQ(st.startIndex, reversed ? last : 0);
                    EXPECT_EQ(st.endIndex, reversed ? 0 : last);
                    EXPECT_EQ(st.locateValue, values[0]);
                    Code128_Reset();
                    const LineRead r = ReadCode128Line(line);
                    ASSERT_EQ(r.count, values.size() - 1);
                    EXPECT_EQ(r.data, values);
                }
            }
        }
    }
    Test_ResetDecoderStatics();
}

// The same kind of symbols through the table walk: the encoder's input text (GS1 brackets
// removed, 0x1D or '~' after a variable-length field that another one follows), with the
// AIM identifier, internal id and code type of the member.
TEST(Code128Symbols, TextsThroughTheWalk) {
    struct TextCase {
        const char *what;
        int symbology;
        int inputMode;
        std::string data;
        bool tilde;
        std::string text;
        const char *aim;
        uint16_t id;
        int32_t codeType;
    };
    const TextCase cases[] = {
        {"set B text", BARCODE_CODE128, DATA_MODE, "Hello, 128!", false, "Hello, 128!", "]C0", 1, 3},
        {"digits", BARCODE_CODE128, DATA_MODE, "0123456789012345", false, "0123456789012345", "]C0", 1, 3},
        {"controls and a shift", BARCODE_CODE128, DATA_MODE, std::string("\x01" "a\x02\x03", 4), false,
         std::string("\x01" "a\x02\x03", 4), "]C0", 1, 3},
        {"bytes above 127", BARCODE_CODE128, DATA_MODE, "caf\xe9 \xfc\xfd", false, "caf\xe9 \xfc\xfd", "]C0", 1, 3},
        {"GS1-128, variable field inside", BARCODE_GS1_128, GS1_MODE, "[01]09501101530003[10]ABC123[21]X", false,
         "0109501101530003" "10ABC123\x1D" "21X", "]C1", 2, 4},
        {"GS1-128, FNC1 as ~", BARCODE_GS1_128, GS1_MODE, "[01]09501101530003[10]ABC123[21]X", true,
         "0109501101530003" "10ABC123~21X", "]C1", 2, 4},
        {"GS1-128, fixed fields, variable last", BARCODE_GS1_128, GS1_MODE, "[01]09501101530003[17]250101[10]AB-12",
         false, "0109501101530003" "17250101" "10AB-12", "]C1", 2, 4},
        {"GS1-128, SSCC", BARCODE_GS1_128, GS1_MODE, "[00]095011010000000012", false, "00095011010000000012",
         "]C1", 2, 4},
        {"ISBT 128 product code", BARCODE_CODE128, DATA_MODE, "=<E0004V00", false, "=<E0004V00", "]C4", 4, 7},
        {"ISBT 128 donation number", BARCODE_CODE128, DATA_MODE, "=A99123456789000", false, "=A99123456789000",
         "]C4", 4, 7},
        {"ISBT 128, padded", BARCODE_CODE128, DATA_MODE, "&)X", false, "&)000000000X", "]C4", 4, 7},
        {"ISBT 128, padded lot", BARCODE_CODE128, DATA_MODE, "=-AB1", false, "=-AB00000001", "]C4", 4, 7},
    };
    for (const TextCase &c : cases) {
        const std::vector<int> runs = LibzintRuns(c.symbology, c.data, c.inputMode);
        ASSERT_FALSE(runs.empty()) << c.what;
        for (const double size : {2.0, 3.5, 5.0}) {
            for (const bool reversed : {false, true}) {
                const uint32_t seed = static_cast<uint32_t>(size * 10) + (reversed ? 500 : 0);
                SCOPED_TRACE(testing::Message() << c.what << " at " << size << (reversed ? " reversed" : "")
                                                << " seed " << seed);
                Test_ResetDecoderStatics();
                Par_InstallDefaults();
                for (uint32_t group : {0x10000u, 0x10100u, 0x10300u}) ASSERT_EQ(Par_DispatchSet(group, kValOn), 1);
                if (c.tilde) {
                    ASSERT_EQ(Par_DispatchSet(0x10104, kValFnc1Tilde), 1);
                }
                EdgeLine line = MakeEdgeLine(
                    runs, {.moduleSamples = size, .spread = 0.1, .jitter16 = 1, .reversed = reversed, .seed = seed});
                const WalkRead r = WalkLine(line);
                ASSERT_EQ(r.answer, 1);
                EXPECT_EQ(r.text, c.text);
                EXPECT_EQ(r.aim, c.aim);
                EXPECT_EQ(r.id, c.id);
                EXPECT_EQ(r.codeType, c.codeType);
                EXPECT_EQ(r.link, 0);
            }
        }
    }
    Test_ResetDecoderStatics();
}

}  // namespace
