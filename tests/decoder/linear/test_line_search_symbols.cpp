// The start/stop searches on rows of libzint symbols turned into edge lists: each finds the
// symbol's outer edges in the reading direction it lies in, at module sizes 2 to 6 samples
// with ink spread and jitter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "linear/edge_lists.h"
#include "linear/line_search.h"
#include "linear/search_patterns.h"
#include "support/symbol.h"

namespace {

using namespace vexo;
using namespace linetest;

// Two-width patterns by class ('1' narrow, '3' wide): an element is wide when it is more
// than 1.6 times the narrowest of the pattern's elements.
bool HasClasses(const uint16_t *p, int from, const char *pattern, bool reversed) {
    const int n = static_cast<int>(std::strlen(pattern));
    int narrowest = 1 << 30;
    for (int i = 0; i < n; ++i) narrowest = std::min(narrowest, static_cast<int>(p[from + i + 1]) - p[from + i]);
    if (narrowest <= 0) return false;
    for (int i = 0; i < n; ++i) {
        const bool wide = 10 * (static_cast<int>(p[from + i + 1]) - p[from + i]) > 16 * narrowest;
        if (wide != (pattern[reversed ? n - 1 - i : i] == '3')) return false;
    }
    return true;
}

// Code 39: '*' at both ends (ISO/IEC 16388).
int SymC39Start(const uint16_t *p, uint16_t *) { return HasClasses(p, 0, kCode39Star, false); }
int SymC39ReversedStart(const uint16_t *p, uint16_t *) { return HasClasses(p, -8, kCode39Star, true); }
int SymC39ReversedStop(const uint16_t *p) { return HasClasses(p, 0, kCode39Star, true); }
int SymC39Stop(const uint16_t *p) { return HasClasses(p, -8, kCode39Star, false); }

// Interleaved 2 of 5 (ISO/IEC 16390).
int SymItfStart(const uint16_t *p) { return HasClasses(p, 0, kItfStart, false); }
int SymItfReversedStart(const uint16_t *p) { return HasClasses(p, -3, kItfStart, true); }
int SymItfReversedStop(const uint16_t *p) { return HasClasses(p, 0, kItfStop, true); }
int SymItfStop(const uint16_t *p) { return HasClasses(p, -2, kItfStop, false); }

// Industrial 2 of 5: start wide, wide, narrow bar with narrow spaces; stop wide, narrow,
// wide bar.
constexpr const char *kIndStart = "313111";
constexpr const char *kIndStop = "31113";
int IndStart(const uint16_t *p) { return HasClasses(p, 0, kIndStart, false); }
int IndReversedStart(const uint16_t *p) { return HasClasses(p, -5, kIndStart, true); }
int IndReversedStop(const uint16_t *p) { return HasClasses(p, 0, kIndStop, true); }
int IndStop(const uint16_t *p) { return HasClasses(p, -4, kIndStop, false); }

// Code 128 (ISO/IEC 15417), any of the three starts.
int SymC128Start(const uint16_t *p, uint16_t *, int direction) {
    for (const char *start : {"211412", "211214", "211232"})
        if (direction > 0 ? HasPattern(p, 0, start, false) : HasPattern(p, -6, start, true)) return 1;
    return 0;
}
int SymC128Stop(const uint16_t *p, int direction) {
    return direction > 0 ? HasPattern(p, -7, kC128Stop, false) : HasPattern(p, 0, kC128Stop, true);
}


struct Found {
    int start, end, phase;
};

std::vector<Found> Search(int symbology, EdgeLine &line) {
    LINE_LOCATE_STATE st = LocateState(line);
    std::vector<Found> found;
    for (int guard = 0; guard < 100; ++guard) {
        int r = 0;
        switch (symbology) {
            case BARCODE_CODE39:
                r = Line_FindStartStopAlt(&st, kCode39Block, SymC39Start, SymC39ReversedStart, SymC39ReversedStop, SymC39Stop);
                break;
            case BARCODE_C25INTER:
                r = Line_FindStartStop(&st, kItfBlock, SymItfStart, SymItfReversedStart, SymItfReversedStop, SymItfStop);
                break;
            case BARCODE_C25IND:
                r = Line_FindStartStop(&st, kIndustrialBlock, IndStart, IndReversedStart, IndReversedStop, IndStop);
                break;
            default:
                r = Line_FindStartStopByPairs(&st, SymC128Start, SymC128Stop, 26);
                break;
        }
        if (r == 0) break;
        found.push_back({st.startIndex, st.endIndex, st.phase});
    }
    return found;
}

TEST(LineSearchSymbols, EachSearchFindsItsSymbolInBothDirections) {
    struct Case {
        int symbology;
        const char *data;
        bool plainSearch;  // phases of one direction each
    };
    const Case cases[] = {
        {BARCODE_CODE39, "CODE-39 $/+%", false},
        {BARCODE_CODE39, "A1", false},
        {BARCODE_C25INTER, "12345678", true},
        {BARCODE_C25INTER, "0099", true},
        {BARCODE_C25IND, "1234567", true},
        {BARCODE_CODE128, "Hello, 128!", false},
        {BARCODE_CODE128, "0123456789012", false},
        {BARCODE_CODE128, "a", false},
    };
    for (const Case &c : cases) {
        const testkit::Symbol sym = testkit::Encode(c.symbology, c.data);
        ASSERT_TRUE(sym.ok) << sym.error;
        const std::vector<int> runs = RunsFromRow(sym, 0);
        for (const double size : {2.0, 3.0, 4.5, 6.0}) {
            for (const bool reversed : {false, true}) {
                const uint32_t seed = static_cast<uint32_t>(size * 10) + (reversed ? 1 : 0);
                SCOPED_TRACE(testing::Message() << c.symbology << " \"" << c.data << "\" at " << size
                                                << (reversed ? " reversed" : "") << ", seed " << seed);
                EdgeLine line = MakeEdgeLine(runs, {.moduleSamples = size,
                                                    .spread = 0.15,
                                                    .jitter16 = 1,
                                                    .reversed = reversed,
                                                    .quietBefore = 20,
                                                    .quietAfter = 20,
                                                    .seed = seed});
                const int last = static_cast<int>(line.edges.size()) - 1;
                const std::vector<Found> found = Search(c.symbology, line);
                ASSERT_EQ(found.size(), 1u);
                EXPECT_EQ(found[0].start, reversed ? last : 0);
                EXPECT_EQ(found[0].end, reversed ? 0 : last);
                if (c.plainSearch) {
                    EXPECT_EQ(found[0].phase % 2, reversed ? 1 : 0);
                }
            }
        }
    }
}

TEST(LineSearchSymbols, Code39TooCloseToTheLineStartIsNotFound) {
    const testkit::Symbol sym = testkit::Encode(BARCODE_CODE39, "QUIET");
    ASSERT_TRUE(sym.ok) << sym.error;
    // The reference is '*''s first bar and space (3 modules at 2:1, 4 at 3:1): the line
    // starts fewer modules before the symbol.
    for (const double before : {0.5, 1.5}) {
        EdgeLine line = MakeEdgeLine(RunsFromRow(sym, 0), {.moduleSamples = 3, .quietBefore = before});
        EXPECT_TRUE(Search(BARCODE_CODE39, line).empty()) << before;
    }
    EdgeLine line = MakeEdgeLine(RunsFromRow(sym, 0), {.moduleSamples = 3, .quietBefore = 5});
    EXPECT_EQ(Search(BARCODE_CODE39, line).size(), 1u);
}

}  // namespace
