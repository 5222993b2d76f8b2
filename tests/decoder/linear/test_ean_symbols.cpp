// EAN-13, UPC-A, EAN-8, UPC-E, ISBN and ISSN symbols made with libzint, with and without
// 2- and 5-digit add-ons, as edge lists of one row at 2 to 6 samples a module with ink
// spread and jitter, forward and reversed, read through the table walk: the text, internal
// id, AIM identifier and code type of each configuration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/test_hooks.h"
#include "linear/code128_lines.h"
#include "linear/ean_lines.h"
#include "linear/test_hooks_linear.h"
#include "support/symbol.h"

namespace {

using namespace vexo;
using namespace linetest;

std::vector<int> LibzintRuns(int symbology, const std::string &data) {
    const testkit::Symbol sym = testkit::Encode(symbology, data);
    if (!sym.ok) ADD_FAILURE() << data << ": " << sym.error;
    return sym.ok ? RunsFromRow(sym, 0) : std::vector<int>{};
}

struct EanCase {
    const char *what;
    int symbology;
    std::string data;      // libzint's input
    std::string text;      // the text reported
    std::string reversedText;  // reported from a reversed line (empty: the same)
    const char *aim;
    uint16_t id;
    int32_t codeType;
};

// The add-on lies behind a reversed EAN-13's left guard and is never searched there.
const EanCase kEanCases[] = {
    {"EAN-13", BARCODE_EANX, "400638133393", "4006381333931", "", "]E0", 6, 11},
    {"EAN-13 +2", BARCODE_EANX, "400638133393+12", "400638133393112", "4006381333931", "]E3", 6, 12},
    {"EAN-13 +5", BARCODE_EANX, "400638133393+52495", "400638133393152495", "4006381333931", "]E3", 6, 13},
    {"UPC-A", BARCODE_UPCA, "03600029145", "036000291452", "", "]E0", 10, 17},
    {"UPC-A +2", BARCODE_UPCA, "03600029145+07", "03600029145207", "036000291452", "]E3", 10, 18},
    {"UPC-A +5", BARCODE_UPCA, "03600029145+90000", "03600029145290000", "036000291452", "]E3", 10, 19},
    {"EAN-8", BARCODE_EANX, "9638507", "96385074", "", "]E4", 5, 8},
    {"EAN-8 +2", BARCODE_EANX, "9638507+33", "9638507433", "", "]E3", 5, 9},
    {"EAN-8 +5", BARCODE_EANX, "9638507+00000", "9638507400000", "", "]E3", 5, 10},
    {"UPC-E NS 0", BARCODE_UPCE, "0123456", "01234565", "", "]E0", 9, 14},
    {"UPC-E NS 0 +2", BARCODE_UPCE, "0123456+98", "0123456598", "", "]E3", 9, 15},
    {"UPC-E NS 0 +5", BARCODE_UPCE, "0123456+12345", "0123456512345", "", "]E3", 9, 16},
    {"UPC-E NS 1", BARCODE_UPCE, "1234567", "12345670", "", "]E0", 9, 14},
    {"UPC-E NS 1 +2", BARCODE_UPCE, "1234567+45", "1234567045", "", "]E3", 9, 15},
    {"UPC-E NS 1 +5", BARCODE_UPCE, "1234567+67890", "1234567067890", "", "]E3", 9, 16},
    {"ISBN", BARCODE_ISBNX, "9780306406157", "9780306406157", "", "]X0", 8, 20},
    {"ISBN +2", BARCODE_ISBNX, "9780306406157+12", "9780306406157", "", "]X0", 8, 20},
    {"ISBN +5", BARCODE_ISBNX, "9780306406157+51499", "9780306406157", "", "]X0", 8, 20},
    {"ISSN", BARCODE_EANX, "977123456700", "12345679", "", "]X0", 7, 21},
    {"ISSN +2", BARCODE_EANX, "977123456700+03", "12345679", "", "]X0", 7, 21},
    {"ISSN +5", BARCODE_EANX, "977123456700+00150", "12345679", "", "]X0", 7, 21},
};

TEST(EanSymbols, LibzintLinesThroughTheWalk) {
    int lines = 0;
    for (const EanCase &c : kEanCases) {
        const std::vector<int> runs = LibzintRuns(c.symbology, c.data);
        ASSERT_FALSE(runs.empty()) << c.what;
        for (const double size : {2.0, 3.0, 4.5, 6.0}) {
            for (const double spread : {0.0, 0.15}) {
                for (const bool reversed : {false, true}) {
                    const uint32_t seed = static_cast<uint32_t>(size * 10 + spread * 100) + (reversed ? 1000 : 0);
                    SCOPED_TRACE(testing::Message() << c.what << " at " << size << " spread " << spread
                                                    << (reversed ? " reversed" : "") << " seed " << seed);
                    Test_ResetDecoderStatics();
                    SetEanWords();
                    EdgeLine line = MakeEdgeLine(
                        runs, {.moduleSamples = size, .spread = spread, .jitter16 = 1, .reversed = reversed, .seed = seed});
                    const WalkRead r = WalkLine(line);
                    ++lines;
                    EXPECT_EQ(r.answer, 1);
                    EXPECT_EQ(r.text, reversed && !c.reversedText.empty() ? c.reversedText : c.text);
                    const bool addOnLost = reversed && !c.reversedText.empty();
                    EXPECT_EQ(r.aim, addOnLost ? "]E0" : c.aim);
                    EXPECT_EQ(r.id, c.id);
                    EXPECT_EQ(r.codeType, addOnLost ? (c.id == 6 ? 11 : 17) : c.codeType);
                    EXPECT_EQ(r.link, 0);
                }
            }
        }
    }
    EXPECT_EQ(lines, 21 * 16);
    Test_ResetDecoderStatics();
}

// One line after another without a reset: the table's order moves the member read last to
// the front, and no record reads a wrong symbol out of another member's bars.
TEST(EanSymbols, MembersInTurnKeepTheirReads) {
    Test_ResetDecoderStatics();
    SetEanWords();
    for (int round = 0; round < 2; ++round) {
        for (const EanCase &c : kEanCases) {
            SCOPED_TRACE(testing::Message() << c.what << " round " << round);
            EdgeLine line = MakeEdgeLine(LibzintRuns(c.symbology, c.data),
                                         {.moduleSamples = 3, .spread = 0.1, .jitter16 = 1, .seed = 7});
            const WalkRead r = WalkLine(line);
            EXPECT_EQ(r.answer, 1);
            EXPECT_EQ(r.text, c.text);
            EXPECT_EQ(r.id, c.id);
        }
    }
    Test_ResetDecoderStatics();
}

}  // namespace
