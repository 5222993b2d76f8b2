// GS1 DataBar Expanded and Expanded stacked symbols made with libzint, one for every
// encodation method and general-purpose mode, as edge lists of their rows at 2 to 6 samples a
// module with ink spread and jitter, forward and reversed, read through the table walk:
// the element strings with FNC1 as 0x1D and no brackets, "]e0" and code type 44.
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

struct Case {
    const char *what;
    std::string data;  // libzint's GS1 input
    std::string text;
};

const Case kCases[] = {
    {"0100", "[01]98898765432106[3103]001750", "01988987654321063103001750"},
    {"0101 3202", "[01]90012345678908[3202]001000", "01900123456789083202001000"},
    {"0101 3203", "[01]90012345678908[3203]001750", "01900123456789083203001750"},
    {"01100", "[01]90012345678908[3922]795", "0190012345678908392279" "5"},
    {"01101", "[01]90012345678908[3932]0401234", "019001234567890839320401234"},
    {"0111000 date", "[01]90012345678908[3100]001750[11]100312", "0190012345678908310000175011100312"},
    {"0111001 date", "[01]90012345678908[3201]001750[13]100312", "0190012345678908320100175013100312"},
    {"0111010 date", "[01]90012345678908[3102]001750[15]100312", "0190012345678908310200175015100312"},
    {"0111011 date", "[01]90012345678908[3203]001750[17]100312", "0190012345678908320300175017100312"},
    {"0111000 no date", "[01]90012345678908[3100]099999", "01900123456789083100099999"},
    {"1 with data", "[01]00012345678905[10]ABC123", "010001234567890510ABC123"},
    {"1 GTIN only", "[01]00012345678905", "0100012345678905"},
    {"00 numeric", "[10]12345678", "1012345678"},
    {"00 odd digits", "[10]123", "10123"},
    {"00 alphanumeric", "[10]AB-C.D/E*F,G", "10AB-C.D/E*F,G"},
    {"00 ISO 646", "[21]abc%&?_ z!", "21abc%&?_ z!"},
    {"00 FNC1 between fields", "[10]ABC[21]XY12", "10ABC\x1D" "21XY12"},
    {"long", "[01]00012345678905[10]ABCDEFGHIJKLMNOPQRST[21]12345678901234", "010001234567890510ABCDEFGHIJKLMNOPQRST\x1D" "2112345678901234"},
};

testkit::Symbol Make(const std::string &data, int symbology, int columns = 0) {
    testkit::SymbolInput in;
    in.symbology = symbology;
    in.data = data;
    in.inputMode = GS1_MODE;
    in.option2 = columns;
    const testkit::Symbol s = testkit::Encode(in);
    if (!s.ok) ADD_FAILURE() << data << ": " << s.error;
    return s;
}

// Rows that carry characters (separator rows are one module high).
std::vector<std::vector<int>> DataRows(const testkit::Symbol &s) {
    std::vector<std::vector<int>> rows;
    for (int r = 0; r < s.rows; ++r)
        if (s.rowTop[static_cast<size_t>(r) + 1] - s.rowTop[static_cast<size_t>(r)] > 2) rows.push_back(RunsFromRow(s, r));
    return rows;
}

WalkRead ReadRows(const std::vector<std::vector<int>> &rows, const EdgeLineOptions &o) {
    WalkRead r;
    for (const auto &runs : rows) {
        EdgeLine line = MakeEdgeLine(runs, o);
        r = WalkLine(line);
        if (r.answer == 1) break;
    }
    return r;
}

TEST(DataBarExpandedSymbols, EveryMethodThroughTheWalk) {
    for (const Case &c : kCases) {
        for (const int symbology : {BARCODE_DBAR_EXP, BARCODE_DBAR_EXPSTK}) {
            const testkit::Symbol sym = Make(c.data, symbology, symbology == BARCODE_DBAR_EXPSTK ? 2 : 0);
            ASSERT_TRUE(sym.ok) << c.what;
            const std::vector<std::vector<int>> rows = DataRows(sym);
            for (const double size : {2.0, 3.0, 4.5, 6.0}) {
                for (const double spread : {0.0, 0.15}) {
                    for (const bool reversed : {false, true}) {
                        const uint32_t seed = static_cast<uint32_t>(size * 10 + spread * 100) + (reversed ? 1000 : 0);
                        SCOPED_TRACE(testing::Message() << c.what << (symbology == BARCODE_DBAR_EXPSTK ? " stacked" : "")
                                                        << " at " << size << " spread " << spread
                                                        << (reversed ? " reversed" : "") << " seed " << seed);
                        Test_ResetDecoderStatics();
                        SetDataBarWords();
                        const WalkRead r = ReadRows(rows, {.moduleSamples = size,
                                                           .spread = spread,
                                                           .jitter16 = 1,
                                                           .reversed = reversed,
                                                           .seed = seed});
                        EXPECT_EQ(r.answer, 1);
                        EXPECT_EQ(r.text, c.text);
                        EXPECT_EQ(r.aim, "]e0");
                        EXPECT_EQ(r.codeType, 44);
                        EXPECT_EQ(r.link, 0);
                    }
                }
            }
        }
    }
    Test_ResetDecoderStatics();
}

}  // namespace
