// Symbol geometry, row table and cell reading on synthetic input: the indicator vote, the
// order vote and row table, the row test, the cell vote and its tries, the small line
// rules, the guard end search, the bounds of the point lists and the row table, and the
// arena on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/arena.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_geometry.h"
#include "pdf417/pdf417_matrix.h"
#include "pdf417/pdf417_rows.h"
#include "pdf417/pdf417_widths.h"
#include "pdf417_bars.h"

namespace {

using namespace vexo;
using pdf_bars::BarLine;
using pdf_bars::BarLook;

i32 Cw(int cluster, int value) { return static_cast<i32>((static_cast<u32>(cluster) << 28) | static_cast<u32>(value)); }

PDF_ROW_ENTRY Entry(int cluster, int value, int reads, GEO_POINT at = {0, 0}) {
    return PDF_ROW_ENTRY{at, at, at, at, Cw(cluster, value), reads, 0, 0};
}

// Indicator values of row r (0-based) of a symbol, left (startFlag 1) or right column.
int Indicator(int r, bool left, int columns, int rows, int level) {
    const int base = 30 * (r / 3);
    const int rowsPart = (rows - 1) / 3;
    const int levelPart = 3 * level + (rows - 1) % 3;
    const int colsPart = columns - 1;
    const int k = r % 3;
    if (left) return base + (k == 0 ? rowsPart : k == 1 ? levelPart : colsPart);
    return base + (k == 0 ? colsPart : k == 1 ? rowsPart : levelPart);
}

TEST(PdfRowVote, ColumnsRowsAndLevelFromIndicators) {
    struct Case {
        const char *what;
        std::vector<PDF_ROW_ENTRY> entries;
        int startFlag;
        int ok, columns, rows, level;
    };
    std::vector<PDF_ROW_ENTRY> left;
    std::vector<PDF_ROW_ENTRY> right;
    for (int r = 0; r < 11; ++r) {
        left.push_back(Entry(3 * (r % 3), Indicator(r, true, 10, 11, 2), 2));
        right.push_back(Entry(3 * (r % 3), Indicator(r, false, 10, 11, 2), 2));
    }
    // The left column of the Part's example: 30r+3, 30r+7, 30r+9.
    EXPECT_EQ(left[3].value, Cw(0, 33));
    EXPECT_EQ(left[4].value, Cw(3, 37));
    EXPECT_EQ(left[5].value, Cw(6, 39));
    const std::vector<PDF_ROW_ENTRY> weak = {Entry(0, 3, 5), Entry(3, 7, 1), Entry(6, 9, 1)};
    const std::vector<PDF_ROW_ENTRY> justEnough = {Entry(0, 3, 3), Entry(3, 7, 2), Entry(6, 9, 1)};
    // rows 3 x 29 + 1 + 1 = 89 with 11 columns passes 929.
    const std::vector<PDF_ROW_ENTRY> tooLarge = {Entry(0, 29, 3), Entry(3, 1, 3), Entry(6, 10, 3)};
    // Level 8 needs more than 256 cells: 3 columns x 6 rows do not have them.
    const std::vector<PDF_ROW_ENTRY> levelTooHigh = {Entry(0, 1, 3), Entry(3, 26, 3), Entry(6, 2, 3)};
    const Case cases[] = {
        {"left indicators", left, 1, 1, 10, 11, 2},
        {"right indicators", right, 0, 1, 10, 11, 2},
        {"maxima 5 x 1 x 1", weak, 1, 0, 0, 0, 0},
        {"maxima 3 x 2 x 1", justEnough, 1, 1, 10, 11, 2},
        {"columns x rows above 929", tooLarge, 1, 0, 0, 0, 0},
        {"2^level not below the cells", levelTooHigh, 1, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        std::vector<PDF_ROW_ENTRY> e = c.entries;
        PDF_CANDIDATE cand{};
        cand.columns = cand.rows = cand.level = 77;
        EXPECT_EQ(PDF_VoteRowIndicators(e.data(), static_cast<i32>(e.size()), c.startFlag, &cand), c.ok) << c.what;
        EXPECT_EQ(cand.columns, c.columns) << c.what;
        EXPECT_EQ(cand.rows, c.rows) << c.what;
        EXPECT_EQ(cand.level, c.level) << c.what;
    }
    // Rows are numbered from the values; a value that disagrees with its histogram's vote
    // gets -1.
    std::vector<PDF_ROW_ENTRY> e = left;
    e[4].value = Cw(3, 38);
    PDF_CANDIDATE cand{};
    ASSERT_EQ(PDF_VoteRowIndicators(e.data(), 11, 1, &cand), 1);
    for (int r = 0; r < 11; ++r) EXPECT_EQ(e[r].row, r == 4 ? -1 : r + 1) << r;
}

TEST(PdfRowTable, OneOffMisreadStaysInTheEarlierEntry) {
    std::vector<PDF_ROW_ENTRY> t(kPdfRowTableEntries);
    i32 count = 0;
    i32 maxReads = 0;
    const GEO_POINT p{10, 20};
    for (int v : {5, 5, 9, 5, 5, 7}) {
        ASSERT_EQ(PDF_AddIndicatorRead(t.data(), &count, 0, Cw(0, v), p, p, &maxReads), 1);
    }
    ASSERT_EQ(count, 3);
    EXPECT_EQ(t[0].value, Cw(0, 5));
    EXPECT_EQ(t[0].reads, 4);
    EXPECT_EQ(t[1].value, Cw(0, 9));
    EXPECT_EQ(t[1].reads, 1);
    EXPECT_EQ(t[2].value, Cw(0, 7));
    EXPECT_EQ(maxReads, 4);
    // The walk's last entry index is 179 with the caller's rows counted.
    count = 0;
    for (int k = 0; k < 170; ++k) ASSERT_EQ(PDF_AddIndicatorRead(t.data(), &count, 10, Cw(0, k), p, p, &maxReads), 1);
    EXPECT_EQ(PDF_AddIndicatorRead(t.data(), &count, 10, Cw(0, 900), p, p, &maxReads), 0);
    EXPECT_EQ(count, 170);
}

// Entries of rows 1..rows read at y = 10 + pitch (row - 1), without the rows in [gapFrom,
// gapTo]; rising order.
std::vector<PDF_ROW_ENTRY> ReadRows(int rows, double pitch, int gapFrom, int gapTo) {
    std::vector<PDF_ROW_ENTRY> t(kPdfRowTableEntries);
    int n = 0;
    for (int r = 1; r <= rows; ++r) {
        if (r >= gapFrom && r <= gapTo) continue;
        const GEO_POINT from{100, static_cast<i32>(std::lround(10 + pitch * (r - 1)))};
        const GEO_POINT to{151, from.y};
        t[n] = PDF_ROW_ENTRY{from, to, from, to, Cw(3 * ((r - 1) % 3), r), 3, r, 0};
        ++n;
    }
    return t;
}

TEST(PdfRowTable, InterpolationLimitAndPitch) {
    PDF_CANDIDATE c{};
    c.rows = 60;
    c.columns = 3;
    c.level = 2;
    // 30 inner rows missing: more than two fifths of the 59 steps interpolated.
    std::vector<PDF_ROW_ENTRY> t = ReadRows(60, 6.0, 16, 45);
    EXPECT_EQ(PDF_BuildRowTable(t.data(), 30, &c), 0);
    // 20 missing: accepted, the missing rows at the row pitch.
    t = ReadRows(60, 6.0, 21, 40);
    ASSERT_EQ(PDF_BuildRowTable(t.data(), 40, &c), 1);
    EXPECT_DOUBLE_EQ(c.rowPitch, 6.0);
    EXPECT_EQ(c.rowsDescending, 0);
    for (int r = 1; r <= 60; ++r) {
        const PDF_ROW_ENTRY &e = t[r - 1];
        EXPECT_EQ(e.row, r);
        EXPECT_EQ(e.cluster, 3 * ((r - 1) % 3));
        EXPECT_NEAR(e.firstFrom.y, 10 + 6 * (r - 1), 1) << r;
        EXPECT_NEAR(e.firstTo.x, 151, 1) << r;
        EXPECT_EQ(e.reads, (r >= 21 && r <= 40) ? -(r - 20) : 3) << r;
    }
    EXPECT_EQ(c.end1.y, 10);
    EXPECT_EQ(c.end2.y, 10 + 6 * 59);
    // Rows missing at both ends are extrapolated outwards.
    t = ReadRows(20, 8.0, 0, 0);
    std::vector<PDF_ROW_ENTRY> inner(t.begin() + 3, t.begin() + 17);
    inner.resize(kPdfRowTableEntries);
    c.rows = 20;
    ASSERT_EQ(PDF_BuildRowTable(inner.data(), 14, &c), 1);
    EXPECT_EQ(inner[0].reads, -3);
    EXPECT_EQ(inner[0].firstFrom.y, 10);
    EXPECT_EQ(inner[19].reads, -3);
    EXPECT_EQ(inner[19].firstFrom.y, 10 + 8 * 19);
    // A pitch below 1.5 refuses and clears the shape.
    t = ReadRows(20, 1.4, 0, 0);
    c.rows = 20;
    EXPECT_EQ(PDF_BuildRowTable(t.data(), 20, &c), 0);
    EXPECT_EQ(c.rows, 0);
    EXPECT_EQ(c.columns, 0);
    EXPECT_EQ(c.level, 0);
    // Two entries are too few.
    t = ReadRows(20, 8.0, 3, 20);
    c.rows = 20;
    EXPECT_EQ(PDF_BuildRowTable(t.data(), 2, &c), 0);
}

TEST(PdfRowTable, OrderVote) {
    // Falling rows, one entry out of place among them.
    std::vector<PDF_ROW_ENTRY> t;
    for (int r : {9, 8, 7, 3, 6, 5, 4, 2, 1}) t.push_back(PDF_ROW_ENTRY{{}, {}, {}, {}, 0, 1, r, 0});
    EXPECT_EQ(PDF_RowOrderVote(t.data(), static_cast<i32>(t.size())), 1);
    for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i].row, i == 3 ? -1 : t[i].row) << i;
    EXPECT_EQ(PDF_CompactRowEntries(t.data(), static_cast<i32>(t.size())), 8);
    EXPECT_EQ(t[3].row, 6);
    std::vector<PDF_ROW_ENTRY> rising;
    for (int r : {1, 2, 2, 3, 4}) rising.push_back(PDF_ROW_ENTRY{{}, {}, {}, {}, 0, 1, r, 0});
    EXPECT_EQ(PDF_RowOrderVote(rising.data(), 5), 0);
    for (const PDF_ROW_ENTRY &e : rising) EXPECT_GT(e.row, 0);
}

// The walk's 180 entries overflowed the 91 entries behind the row slots: a 90-row vote over
// 120 entries, in a block of exactly the table's size so that ASan sees every access.
TEST(PdfRowTable, LongWalkUnderNinetyRows) {
    std::vector<PDF_ROW_ENTRY> *heap = new std::vector<PDF_ROW_ENTRY>(kPdfRowTableEntries);
    std::vector<PDF_ROW_ENTRY> &t = *heap;
    int n = 0;
    for (int r = 1; r <= 90; ++r) {
        for (int k = 0; k < (r <= 30 ? 2 : 1); ++k) {
            const GEO_POINT from{100, 10 + 4 * (r - 1) + k};
            t[n++] = PDF_ROW_ENTRY{from, from, from, from, Cw(0, r), k == 0 ? 2 : 1, r, 0};
        }
    }
    ASSERT_EQ(n, 120);
    PDF_CANDIDATE c{};
    c.rows = 90;
    c.columns = 10;
    c.level = 2;
    EXPECT_EQ(PDF_BuildRowTable(t.data(), n, &c), 1);
    EXPECT_EQ(c.rowEntries, 120);
    for (int r = 1; r <= 90; ++r) {
        EXPECT_EQ(t[r - 1].row, r);
        EXPECT_EQ(t[r - 1].firstFrom.y, 10 + 4 * (r - 1)) << r;  // the two-read entry wins
    }
    delete heap;
}

TEST(PdfMatrixRules, RowsInsideImage) {
    std::vector<uint8_t> frame(8 * 480, 200);
    vexo::Pix_InstallFrame(frame.data(), 8, 480);
    g_image.data = frame.data();
    g_image.width = 8;
    g_image.height = 480;
    struct Case {
        const char *what;
        double pitch;
        int lostTop;
        int lostBottom;
        int ok;
    };
    const Case cases[] = {
        {"all inside, small pitch", 5.0, 0, 0, 1},
        {"pitch above 7 accepts at once", 7.5, 10, 10, 1},
        {"three lost at the top", 7.0, 3, 0, 0},
        {"two lost at the top", 7.0, 2, 0, 1},
        {"one at each end and one more", 7.0, 2, 1, 0},
        {"one at each end", 7.0, 1, 1, 1},
    };
    for (const Case &k : cases) {
        PDF_CANDIDATE c{};
        c.startFlag = 1;
        c.columns = 10;
        c.level = 2;
        c.rows = 20;
        c.rowPitch = k.pitch;
        std::vector<PDF_ROW_ENTRY> rows(20);
        for (int r = 0; r < 20; ++r) {
            const bool lost = r < k.lostTop || r >= 20 - k.lostBottom;
            rows[r].firstTo = GEO_POINT{5, lost ? (r < 10 ? -3 : 480) : 100 + r};
        }
        EXPECT_EQ(PDF_RowsInsideImage(&c, rows.data()), k.ok) << k.what;
    }
}

TEST(PdfMatrixRules, LeftToRightAndSmallLineRules) {
    struct Case {
        int rapMode, kind, orientation, descending, want;
    };
    std::vector<Case> cases;
    for (int kind : {1, 3, -2, -4}) {
        for (int d = 0; d < 2; ++d) cases.push_back({0, kind, 0, d, d}), cases.push_back({0, kind, 1, d, 1 - d});
    }
    for (int kind : {2, 4, -1, -3}) {
        for (int d = 0; d < 2; ++d) cases.push_back({0, kind, 0, d, 1 - d}), cases.push_back({0, kind, 1, d, d});
    }
    for (int d = 0; d < 2; ++d) cases.push_back({0, 0, 0, d, 1 - d});
    for (int kind = 1; kind <= 6; ++kind) {
        for (int o = 0; o < 2; ++o) {
            const int want = (kind == 1 || kind == 3 || kind == 5) ? o : (kind == 4 || kind == 6) ? 1 - o : 0;
            cases.push_back({1, kind, o, 1, want});
        }
    }
    for (const Case &k : cases) {
        PDF_CANDIDATE c{};
        c.rapMode = k.rapMode;
        c.kind = k.kind;
        c.orientation = k.orientation;
        c.rowsDescending = k.descending;
        EXPECT_EQ(PDF_LeftToRight(&c), k.want) << k.rapMode << " kind " << k.kind << " o " << k.orientation;
    }
    struct Slope {
        double in, out;
    };
    for (const Slope &s : {Slope{573, 1e-5}, Slope{-600, 1e-5}, Slope{0, 573}, Slope{1e-6, 573}, Slope{-1e-5, 573},
                           Slope{2, -0.5}, Slope{-0.25, 4}}) {
        SLOPE_LINE a{s.in, 3};
        SLOPE_LINE b{99, 7};
        PDF_PerpendicularSlope(&a, &b);
        EXPECT_DOUBLE_EQ(b.slope, s.out) << s.in;
        EXPECT_EQ(b.intercept, 7);
    }
    const int pairs[][2] = {{1, 3}, {3, 1}, {4, 2}, {2, 4}, {-1, -3}, {-3, -1}, {-4, -2}, {-2, -4}};
    for (int a = -4; a <= 4; ++a) {
        for (int b = -4; b <= 4; ++b) {
            int want = 0;
            for (const auto &p : pairs) want |= (p[0] == a && p[1] == b) ? 1 : 0;
            EXPECT_EQ(PDF_IsGuardPair(a, b), want) << a << ", " << b;
        }
    }
    EXPECT_EQ(PDF_IsGuardPair(1, -3), 0);
    // The point search: exact match by y or x, else the nearer end.
    std::vector<POINT_NODE> list = {{5, 10, nullptr}, {6, 11, nullptr}, {7, 12, nullptr}};
    EXPECT_EQ(PDF_FindPointIndex(list.data(), 3, {0, 11}, 0), 1);
    EXPECT_EQ(PDF_FindPointIndex(list.data(), 3, {7, 0}, 1), 2);
    EXPECT_EQ(PDF_FindPointIndex(list.data(), 3, {0, 2}, 0), 0);
    EXPECT_EQ(PDF_FindPointIndex(list.data(), 3, {0, 40}, 0), 2);
    EXPECT_EQ(PDF_FindPointIndex(list.data(), 0, {0, 40}, 0), -1);
}

// ---- Cells on a frame of codeword lines: image row y holds codeword value[y] of cluster 0
// between x = 30 and x = 81 (3 px per module), or paper.

class PdfCellTest : public pdf_bars::ImageTest {
protected:
    static constexpr int kBlank = -1;
    void Draw(const std::vector<int> &values) {
        constexpr int kWidth = 120;
        std::vector<uint8_t> all(static_cast<size_t>(kWidth) * values.size(), 220);
        for (size_t y = 0; y < values.size(); ++y) {
            if (values[y] == kBlank) continue;
            const u8 *w = PDF_CLUSTER_WIDTHS[0][values[y]];
            const std::vector<uint8_t> line = BarLine(std::vector<int>(w, w + 8), BarLook{3, 30, 0, 30, 220, false}, kWidth);
            std::copy(line.begin(), line.end(), all.begin() + static_cast<long>(y) * kWidth);
        }
        InstallFrame(kWidth, static_cast<int>(values.size()), all);
    }
    // Lists of exactly count points: A at x = 30, B at x = 81 (x = 200, outside, where dead).
    static std::vector<POINT_NODE> List(int count, int x, const std::vector<bool> &dead = {}) {
        std::vector<POINT_NODE> l(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) l[i] = POINT_NODE{(i < static_cast<int>(dead.size()) && dead[i]) ? 200 : x, i, nullptr};
        return l;
    }
    static PDF_CANDIDATE Cell(double pitch) {
        PDF_CANDIDATE c{};
        c.skewRatio = 1.0;
        c.rowPitch = pitch;
        return c;
    }
};

TEST_F(PdfCellTest, VoteAndTries) {
    struct Case {
        const char *what;
        std::vector<int> rows;  // values of image rows 0..
        int index;
        int votes;  // answer
        int value;
        int moved;  // index change
    };
    const int V = 100;
    const int W = 200;
    const int _ = kBlank;
    const Case cases[] = {
        {"three equal reads at 0, 1, 2", {_, _, _, _, _, _, _, _, _, _, V, V, V, _, _, _, _, _, _, _}, 10, 3, V, 1},
        {"two equal and one other", {_, _, _, _, _, _, _, _, _, _, V, W, V, _, _, _, _, _, _, _}, 10, 2, V, 1},
        {"one read in try 1", {_, _, _, _, _, _, _, _, _, _, V, _, _, _, _, _, _, _, _, _}, 10, 1, V, 0},
        {"nothing", {_, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _}, 10, -1, 0, 0},
    };
    for (const Case &k : cases) {
        Draw(k.rows);
        const int n = static_cast<int>(k.rows.size());
        const std::vector<POINT_NODE> a = List(n, 30);
        const std::vector<POINT_NODE> b = List(n, 81);
        const PDF_CANDIDATE c = Cell(3.0);
        PDF_ROW_ENTRY e{};
        i32 ia = k.index;
        i32 ib = k.index;
        EXPECT_EQ(PDF_ReadCell(a.data(), &ia, b.data(), &ib, n, &c, &e), k.votes) << k.what;
        if (k.votes > 0) {
            EXPECT_EQ(e.value, Cw(0, k.value)) << k.what;
            EXPECT_EQ(ia, k.index + k.moved) << k.what;
            EXPECT_EQ(ib, k.index + k.moved) << k.what;
            EXPECT_EQ(e.firstFrom.y, ia) << k.what;
        } else {
            EXPECT_EQ(ib, k.index) << k.what;
        }
        EXPECT_EQ(ArenaUsed(), 0);
    }
    // The vote alone: three equal reads decide with offset 1 and 3 votes.
    Draw(cases[0].rows);
    const std::vector<POINT_NODE> a = List(20, 30);
    const std::vector<POINT_NODE> b = List(20, 81);
    PDF_VOTE votes[kPdfCellVotes] = {};
    EXPECT_EQ(PDF_VoteCell(a.data() + 10, b.data() + 10, votes, 0, 0, 4), 0);
    EXPECT_EQ(votes[0].votes, 3);
    EXPECT_EQ(votes[0].offsetSum, 1);
    // Reads of another cluster do not count.
    EXPECT_EQ(PDF_VoteCell(a.data() + 10, b.data() + 10, votes, 0, 3, 4), -1);
}

TEST_F(PdfCellTest, LaterTriesNeedTwoEqualReads) {
    // Every row holds the codeword; B's points are dead (outside the image) around the
    // starting index, so try 1 reads nothing. Pitch 7: radius 8, step 2.
    Draw(std::vector<int>(60, 100));
    const PDF_CANDIDATE c = Cell(7.0);
    struct Case {
        const char *what;
        std::vector<int> alive;  // B indexes that read, all others from 12 to 48 dead
        int votes;
        int finalB;
    };
    const Case cases[] = {
        {"try 2, two reads", {39, 40}, 2, 39},
        {"try 2, one read; try 3, one read", {40, 20}, -1, 30},
        {"try 3, two reads", {20, 21}, 2, 21},  // offsets -8, -7: -15 / 2
    };
    for (const Case &k : cases) {
        std::vector<bool> dead(60, false);
        for (int i = 12; i <= 48; ++i) dead[i] = true;
        for (int i : k.alive) dead[i] = false;
        const std::vector<POINT_NODE> a = List(60, 30);
        const std::vector<POINT_NODE> b = List(60, 81, dead);
        PDF_ROW_ENTRY e{};
        i32 ia = 30;
        i32 ib = 30;
        EXPECT_EQ(PDF_ReadCell(a.data(), &ia, b.data(), &ib, 60, &c, &e), k.votes) << k.what;
        EXPECT_EQ(ib, k.finalB) << k.what;
    }
}

// The radius was bounded by the A list alone and the second try's index could leave B: every
// index at both ends of lists of exact size, with a radius larger than the room in B.
TEST_F(PdfCellTest, ReadsStayInsideExactLists) {
    for (bool readable : {true, false}) {
        Draw(std::vector<int>(24, readable ? 100 : kBlank));
        const PDF_CANDIDATE c = Cell(40.0);  // radius 41, step 10
        const std::vector<POINT_NODE> *a = new std::vector<POINT_NODE>(List(24, 30));
        const std::vector<POINT_NODE> *b = new std::vector<POINT_NODE>(List(24, 81));
        for (int ia : {0, 1, 12, 22, 23}) {
            for (int ib : {0, 1, 12, 22, 23}) {
                PDF_ROW_ENTRY e{};
                i32 x = ia;
                i32 y = ib;
                const i32 v = PDF_ReadCell(a->data(), &x, b->data(), &y, 24, &c, &e);
                EXPECT_TRUE(x >= 0 && x < 24 && y >= 0 && y < 24) << ia << " " << ib;
                if (!readable) {
                    EXPECT_EQ(v, -1);
                }
            }
        }
        delete a;
        delete b;
    }
}

// ---- Fitters on synthetic frames.

class PdfFitTest : public pdf_bars::ImageTest {
protected:
    // Vertical bars of 3 px with 3 px spaces in columns [x0, x1), rows [y0, y1) of a 300 x 300
    // frame; rows in `gaps` left as paper.
    void Bars(int x0, int x1, int y0, int y1, const std::vector<int> &gaps = {}) {
        std::vector<uint8_t> all(300 * 300, 220);
        for (int y = y0; y < y1; ++y) {
            if (std::find(gaps.begin(), gaps.end(), y) != gaps.end()) continue;
            for (int x = x0; x < x1; ++x) {
                if (((x - x0) / 3) % 2 == 0) all[y * 300 + x] = 30;
            }
        }
        InstallFrame(300, 300, all);
    }
    static ARENA_STATS Stats() {
        ARENA_STATS s{};
        Mem_GetStats(&s);
        return s;
    }
    static int Blocks() { return g_arena.count; }
};

TEST_F(PdfFitTest, GuardLineOfVerticalBars) {
    Bars(120, 180, 20, 280);
    SLOPE_LINE line{1, 2};
    i32 score = -1;
    // Along the first bar's left edge, the light side first.
    EXPECT_EQ(PDF_FitGuardLine({120, 60}, {120, 240}, 48, 20, &line, &score), 1);
    EXPECT_EQ(line.slope, kPdfVerticalSlope);
    EXPECT_NEAR(line.intercept, 120, 1.0);
    EXPECT_GT(score, 0);
    // A guard of one pixel: nothing written.
    line = SLOPE_LINE{1, 2};
    EXPECT_EQ(PDF_FitGuardLine({120, 60}, {121, 61}, 48, 20, &line, &score), 0);
    EXPECT_EQ(line.slope, 1);
    EXPECT_EQ(line.intercept, 2);
    // A flat region: no peak, the line through the points.
    Bars(0, 0, 0, 0);
    EXPECT_EQ(PDF_FitGuardLine({120, 60}, {130, 240}, 48, 20, &line, &score), -2);
    EXPECT_NEAR(line.slope, 18.0, 1e-9);
    EXPECT_EQ(ArenaUsed(), 0);
}

TEST_F(PdfFitTest, GuardEndFollowsTheBars) {
    // Bars from row 70 down; the end starts at row 100 and searches upwards, a cross line every
    // 3 rows (100, 97, ...). A missed line is tried again one row further.
    struct Case {
        const char *what;
        std::vector<int> gaps;
        int wantY;
    };
    const Case cases[] = {
        {"bars to row 70", {}, 70},
        {"one cross line missing", {85}, 70},
        {"two cross lines missing", {85, 84}, 88},
    };
    for (const Case &k : cases) {
        Bars(150, 210, 70, 280, k.gaps);
        GEO_POINT end{150, 100};
        EXPECT_EQ(PDF_ExtendGuardEnd(&end, {150, 90}, 51), 1);
        EXPECT_NEAR(end.y, k.wantY, 3) << k.what;
        EXPECT_NEAR(end.x, 150, 1) << k.what;
    }
}

TEST_F(PdfFitTest, ArenaGivenBackOnEveryPath) {
    Bars(120, 180, 20, 280);
    const ARENA_STATS before = Stats();
    const int blocks = Blocks();
    SLOPE_LINE line{1, 2};
    PDF_FitGuardLine({120, 60}, {120, 240}, 48, 20, &line, nullptr);
    PDF_FitGuardLine({120, 60}, {120, 61}, 48, 20, &line, nullptr);
    PDF_FitRowDirection({100, 150}, {200, 150}, 40, 79, 20, &line, nullptr);
    PDF_FitRowDirection({100, 150}, {105, 150}, 40, 79, 20, &line, nullptr);
    EXPECT_EQ(Stats().used, before.used);
    EXPECT_EQ(Blocks(), blocks);
    // An arena too small for either accumulator: the fitters leave the line, the geometry
    // answers 0, and the blocks come back.
    for (int room : {200, 5000, 10000}) {
        u8 *filler = Mem_Alloc(Stats().freeBytes - room);
        ASSERT_NE(filler, nullptr);
        const ARENA_STATS small = Stats();
        const int smallBlocks = Blocks();
        line = SLOPE_LINE{1, 2};
        if (room < kPdfGuardAccumulator) {
            EXPECT_EQ(PDF_FitGuardLine({120, 60}, {120, 240}, 48, 20, &line, nullptr), 0) << room;
            EXPECT_EQ(line.slope, 1);
        }
        EXPECT_EQ(PDF_FitRowDirection({100, 150}, {200, 150}, 40, 79, 20, &line, nullptr), -2) << room;
        EXPECT_EQ(line.slope, room < kPdfGuardAccumulator ? 1 : line.slope);
        PDF_CANDIDATE c{};
        c.kind = 1;
        c.startFlag = 1;
        c.end1 = PDF_GUARD_END{120, 40, 51, 150};
        c.end2 = PDF_GUARD_END{120, 260, 51, 150};
        std::vector<PDF_ROW_ENTRY> table(kPdfRowTableEntries);
        EXPECT_EQ(PDF_BuildSymbolGeometry(&c, table.data()), 0) << room;
        EXPECT_EQ(PDF_ReadIndicatorColumn(&c, table.data(), 0) >= 0, true);
        EXPECT_EQ(Stats().used, small.used) << room;
        EXPECT_EQ(Blocks(), smallBlocks) << room;
        Mem_Free(filler);
    }
    EXPECT_EQ(Stats().used, before.used);
}

// Degenerate candidates: guards of one pixel, exactly horizontal and vertical, at every border
// of a flat and of a striped frame. Nothing to check but that they end (the sanitizers watch
// the arithmetic) and give the arena back.
TEST_F(PdfFitTest, DegenerateCandidates) {
    const GEO_POINT spots[][2] = {
        {{0, 0}, {0, 0}},         {{0, 0}, {0, 1}},       {{299, 299}, {299, 299}}, {{0, 0}, {299, 0}},
        {{0, 0}, {0, 299}},       {{299, 0}, {299, 299}}, {{0, 299}, {299, 299}},   {{-50, -50}, {350, 350}},
        {{150, 10}, {150, 290}},  {{10, 150}, {290, 150}}, {{150, 150}, {151, 150}}, {{-5, 150}, {-5, 160}},
    };
    for (int flat = 0; flat < 2; ++flat) {
        if (flat == 1) Bars(0, 0, 0, 0);
        else Bars(0, 300, 0, 300);
        for (const auto &s : spots) {
            for (int kind : {1, 2, 3, 4, -1, -2, -3, -4}) {
                for (int orientation = 0; orientation < 2; ++orientation) {
                    PDF_CANDIDATE c{};
                    c.kind = kind;
                    c.orientation = orientation;
                    c.startFlag = (kind == 1 || kind == 2 || kind == -1 || kind == -2) ? 1 : 0;
                    c.end1 = PDF_GUARD_END{s[0].x, s[0].y, 1, 255};
                    c.end2 = PDF_GUARD_END{s[1].x, s[1].y, 1, 255};
                    std::vector<PDF_ROW_ENTRY> table(kPdfRowTableEntries);
                    std::vector<i32> cw(929);
                    const int ok = PDF_BuildSymbolGeometry(&c, table.data());
                    if (ok == 1) PDF_ReadMatrix(&c, table.data(), cw.data());
                    ASSERT_EQ(ArenaUsed(), 0);
                }
            }
        }
    }
}

}  // namespace
