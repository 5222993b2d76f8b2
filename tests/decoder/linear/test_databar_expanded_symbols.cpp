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

struct ExpandedCase {
    const char *what;
    std::string data;  // libzint's GS1 input
    std::string text;
};

const ExpandedCase kCases[] = {
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
    for (const ExpandedCase &c : kCases) {
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

namespace {

// A line with only the second row of a two-row symbol: a partial Expanded row (code 5,
// direction 0) that completes nothing until the A1 row has been seen.
TEST(DataBarExpandedSymbols, SecondRowWaitsForTheFirst) {
    const testkit::Symbol sym = Make("[01]00012345678905[10]ABC123", BARCODE_DBAR_EXPSTK, 2);
    ASSERT_TRUE(sym.ok);
    const std::vector<std::vector<int>> rows = DataRows(sym);
    ASSERT_GE(rows.size(), 2u);
    Test_ResetDecoderStatics();
    SetDataBarWords();
    for (int k = 0; k < 2; ++k) {
        EdgeLine line = MakeEdgeLine(rows[1], {.moduleSamples = 3});
        const WalkRead r = WalkLine(line);
        EXPECT_EQ(r.answer, 0);
        EXPECT_EQ(r.attempts, std::vector<uint8_t>({5}));
        int16_t dirs[kLineAttemptLimit];
        ASSERT_EQ(Line_CopyAttemptDirections(dirs), 1);
        EXPECT_EQ(dirs[0], 0);
        LINE_AUX_ENTRY room[kLineSegmentCapacity] = {};
        LINE_AUX out{};
        out.segments = room;
        EXPECT_EQ(Line_CopyPartialSegment(&out), 1);
        EXPECT_EQ(out.segmentCount, 1);  // the walk keeps the row's first pair
    }
    EdgeLine first = MakeEdgeLine(rows[0], {.moduleSamples = 3});
    WalkRead r = WalkLine(first);
    for (size_t k = 2; k < rows.size() && r.answer == 0; ++k) {
        EdgeLine more = MakeEdgeLine(rows[k], {.moduleSamples = 3});
        r = WalkLine(more);
    }
    EXPECT_EQ(r.answer, 1);
    EXPECT_EQ(r.text, "010001234567890510ABC123");
    Test_ResetDecoderStatics();
}

// A wrong reading of a pair stored first is overtaken by the right one seen more often.
TEST(DataBarExpandedSymbols, VotesHealAWrongPair) {
    const testkit::Symbol sym = Make("[01]00012345678905[10]ABC123", BARCODE_DBAR_EXP);
    ASSERT_TRUE(sym.ok);
    EdgeLine line = MakeEdgeLine(RunsFromRow(sym, 0), {.moduleSamples = 3});
    Test_ResetDecoderStatics();
    LINE_LOCATE_STATE st = LocateState(line);
    ASSERT_EQ(DataBar_LocateExpanded(&st), 1);
    const EXPANDED_STATE good = g_dataBarExpanded;
    ASSERT_GE(good.lineCount, 3);
    uint8_t buffer[kLineTextCapacity];
    LINE_AUX_ENTRY segs[kLineSegmentCapacity];
    auto decode = [&](const EXPANDED_STATE &lineState, int from) {
        g_dataBarExpanded.lineCount = static_cast<uint16_t>(lineState.lineCount - from);
        for (int k = from; k < lineState.lineCount; ++k) g_dataBarExpanded.line[k - from] = lineState.line[k];
        LINE_AUX aux{};
        aux.segments = segs;
        aux.segmentCapacity = kLineSegmentCapacity;
        LINE_DECODE_CTX ctx = DecodeContext(st, buffer, sizeof buffer);
        ctx.aux = &aux;
        return DataBar_DecodeExpanded(&ctx);
    };
    // Pair 2 misread (another valid character) on the first line of pairs 1 onwards.
    EXPANDED_STATE bad = good;
    bad.line[2].left = Word(ExpandedCharWidths(static_cast<int>(DataBar_ExpandedValue(good.line[2].left, nullptr, nullptr) + 1) % 4192));
    EXPECT_EQ(decode(bad, 1), 0);
    EXPECT_EQ(decode(bad, 1), 0);
    // The whole line: the right pair 2 is seen once against the wrong one's two sightings
    // and stays behind it, so the checksum fails.
    EXPECT_EQ(decode(good, 0), 0);
    // Its second sighting draws level and moves it ahead: the symbol completes.
    EXPECT_EQ(decode(good, 1), std::string("010001234567890510ABC123").size());
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 24), "010001234567890510ABC123");
    Test_ResetDecoderStatics();
}

// Composites: the Expanded linear part carries link value 10 with the composite word on.
TEST(DataBarExpandedSymbols, CompositeLink) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_DBAR_EXP_CC;
    in.data = "[10]ABC123";
    in.primary = "[01]00012345678905";
    in.inputMode = GS1_MODE;
    const testkit::Symbol sym = testkit::Encode(in);
    ASSERT_TRUE(sym.ok) << sym.error;
    Test_ResetDecoderStatics();
    SetDataBarWords(1u << 31, kFlagEnabled);
    EdgeLine line = MakeEdgeLine(RunsFromRow(sym, sym.rows - 1), {.moduleSamples = 3});
    const WalkRead r = WalkLine(line);
    EXPECT_EQ(r.answer, 1);
    EXPECT_EQ(r.text, "0100012345678905");  // never prefixed
    EXPECT_EQ(r.link, 10);
    EXPECT_EQ(r.codeType, 44);
    Test_ResetDecoderStatics();
}

}  // namespace
