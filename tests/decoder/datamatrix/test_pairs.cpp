// Read mode 2 over scripted stages and the real pairing: each of two Ls side by side reads
// its own symbol, and the joining, the structured-append and layout-class endings, a failed
// partner and the over-long join are checked on the result and the result store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/params.h"
#include "dm_script.h"
#include "dm_test_util.h"

namespace {

using dmtest::g_s;
using vexo::DM_GEOMETRY;

// What each candidate (in the order they reach locating) reads as.
struct Part {
    int sizeIndex = 3;
    std::vector<int> data;  // data codewords
    int layoutClass = vexo::kDmLayoutSquare1;
    bool samples = true;  // false: its sampling fails
};
std::vector<Part> g_parts;

int Current() { return static_cast<int>(g_s.located.size()) - 1; }

vexo::i32 PartLocate(vexo::u8 *, vexo::DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    g_s.located.push_back(cand->corner);
    const int k = Current();
    if (k < 0 || k >= static_cast<int>(g_parts.size())) return -100;
    const vexo::DM_SIZE_ROW &row = dmtest::Row(g_parts[k].sizeIndex);
    *geo = DM_GEOMETRY{};
    geo->layoutClass = g_parts[k].layoutClass;
    geo->regionRows = row.symbolRows / (row.regionRows + 2);
    geo->regionCols = row.symbolCols / (row.regionCols + 2);
    geo->moduleRows = row.regionRows;
    geo->moduleCols = row.regionCols;
    return 0;
}

vexo::i32 PartSample(vexo::u8 *, DM_GEOMETRY *geo) {
    const int k = Current();
    if (k < 0 || k >= static_cast<int>(g_parts.size()) || !g_parts[k].samples) return -1;
    const Part &p = g_parts[k];
    const std::vector<uint8_t> s = dmtest::AddPatterns(p.sizeIndex, dmtest::SymbolMatrix(p.sizeIndex, p.data));
    const int rows = geo->regionRows * geo->moduleRows, cols = geo->regionCols * geo->moduleCols;
    if (rows * cols != static_cast<int>(s.size())) return -1;
    for (int i = 0; i < rows * cols; ++i) geo->modules[i] = s[static_cast<size_t>(i)] != 0 ? 30 : 220;
    vexo::g_dmResult.corners = vexo::REGION_QUAD{{{k, 0}, {k + 10, 0}, {k, 10}, {k + 10, 10}}};
    return 0;
}

const vexo::DM_STAGES kPairStages = {
    .getDM = dmtest::ScriptGetDM,
    .locateAndSize = PartLocate,
    .regularizeLattice = dmtest::ScriptRegularize,
    .sampleModules = PartSample,
    .pairCandidates = vexo::DM_PairCandidates,
};

std::vector<int> Text(int sizeIndex, const std::string &text) {
    return dmtest::AsciiData(text, dmtest::Row(sizeIndex).dataCodewords);
}

// Structured append: position 1 of 2 (or 2 of 2), file id 1, 1; then the text.
std::vector<int> Appended(int sizeIndex, int position, const std::string &text) {
    std::vector<int> d = {233, ((position - 1) << 4) | (17 - 2), 1, 1};
    const std::vector<int> t = dmtest::AsciiData(text, dmtest::Row(sizeIndex).dataCodewords - 4);
    d.insert(d.end(), t.begin(), t.end());
    return d;
}

// n equal digits: two per codeword, an odd last one alone.
std::vector<int> Digits(int sizeIndex, int n, int digit) {
    std::vector<int> d(static_cast<size_t>(n / 2), 130 + 11 * digit);
    if (n % 2 != 0) d.push_back('0' + digit + 1);
    const std::vector<int> pad = dmtest::AsciiData("", dmtest::Row(sizeIndex).dataCodewords - static_cast<int>(d.size()));
    d.insert(d.end(), pad.begin(), pad.end());
    return d;
}

std::string PairStored(int i) {
    const vexo::RESULT_STORE &rs = vexo::g_params.resultStore;
    const vexo::u8 *d = i == 0 ? rs.storedData0 : rs.storedData1;
    return std::string(reinterpret_cast<const char *>(d), static_cast<size_t>(rs.storedLength[i]));
}

class Pairs : public dmtest::DmTest {
protected:
    void SetUp() override {
        dmtest::DmTest::SetUp();
        g_s = dmtest::Script{};
        g_parts.clear();
        vexo::g_params.flagsWord[vexo::kSymDataMatrix] =
            vexo::kFlagEnabled | 2u | vexo::kFlag2DDarkOnLight | vexo::kFlag2DLightOnDark;
        vexo::g_params.resultStore.storedCount = 0;
        // Two equal Ls side by side, the right one fetched first: the pairing puts the left first.
        g_s.candidates = {dmtest::SquareAt(70, 0), dmtest::SquareAt(-70, 0)};
    }
    static int Run() { return vexo::DM_DecodeImageWith(&kPairStages); }
};

TEST_F(Pairs, TwoSymbolsJoinLeftFirstAndBothAreStored) {
    g_parts = {{.data = Text(3, "LEFT")}, {.data = Text(3, "RIGHT")}};
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(dmtest::ResultText(), "LEFTRIGHT");
    ASSERT_EQ(vexo::g_params.resultStore.storedCount, 2);
    EXPECT_EQ(PairStored(0), "LEFT");
    EXPECT_EQ(PairStored(1), "RIGHT");
    EXPECT_EQ(g_s.located[0].x, dmtest::kCentre.x - 70 - 30);  // the left L first
}

TEST_F(Pairs, EndingsOfThePath) {
    struct Case {
        const char *name;
        std::vector<Part> parts;
        int status;
        std::string text;
        int stored;
    };
    const Case cases[] = {
        {"partner fails", {{.data = Text(3, "LEFT")}, {.data = Text(3, "X"), .samples = false}}, 0, "LEFT", 1},
        {"first fails", {{.data = Text(3, "X"), .samples = false}, {.data = Text(3, "RIGHT")}}, 0, "RIGHT", 1},
        {"other layout class",
         {{.data = Text(3, "LEFT")}, {.data = Text(3, "RIGHT"), .layoutClass = vexo::kDmLayoutSquare2}},
         0, "LEFT", 2},
        {"structured append second", {{.data = Text(3, "LEFT")}, {.data = Appended(3, 2, "SA")}}, 0, "LEFT", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        g_parts = c.parts;
        EXPECT_EQ(Run(), c.status);
        EXPECT_EQ(dmtest::ResultText(), c.text);
        EXPECT_EQ(vexo::g_params.resultStore.storedCount, c.stored);
    }
    // A structured-append symbol decoded first: the best status, not 0; it stays stored.
    SetUp();
    g_parts = {{.data = Appended(3, 1, "SA")}, {.data = Text(3, "RIGHT")}};
    EXPECT_NE(Run(), 0);
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 1);
    EXPECT_EQ(PairStored(0), "SA");
    EXPECT_EQ(vexo::DM_HasSa(), 1);
}

// 120 x 120 symbols of digits: a joined text of 3,223 bytes is joined; one of 3,224 or more
// would pass the result's room, so the join is refused and the text decoded first stands
// alone, both symbols stored.
TEST_F(Pairs, OverLongJoinGivesTheFirstTextAlone) {
    constexpr int kSize120 = 21;
    ASSERT_EQ(dmtest::Row(kSize120).symbolRows, 120);
    struct Case {
        int left, right;
        bool joined;
    };
    for (const Case c : {Case{1611, 1612, true}, Case{1612, 1612, false}, Case{2000, 2000, false}}) {
        SCOPED_TRACE(std::to_string(c.left) + " + " + std::to_string(c.right));
        SetUp();
        g_parts = {{.sizeIndex = kSize120, .data = Digits(kSize120, c.left, 1), .layoutClass = vexo::kDmLayoutSquare6},
                   {.sizeIndex = kSize120, .data = Digits(kSize120, c.right, 2), .layoutClass = vexo::kDmLayoutSquare6}};
        EXPECT_EQ(Run(), 0);
        const std::string first(static_cast<size_t>(c.left), '1');
        EXPECT_EQ(dmtest::ResultText(), c.joined ? first + std::string(static_cast<size_t>(c.right), '2') : first);
        EXPECT_EQ(vexo::g_params.resultStore.storedCount, 2);
    }
}

}  // namespace
