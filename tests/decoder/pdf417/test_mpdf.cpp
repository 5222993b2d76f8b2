// MicroPDF417 without images: the column kind from the side hints, the RAP window test, the
// row address sequence cleaning, the variant search, row completion and the column table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/modules.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "pdf417/mpdf_decode.h"
#include "pdf417/mpdf_locate.h"
#include "pdf417/mpdf_sequence.h"
#include "pdf417/mpdf_variants.h"

namespace {

using namespace vexo;

TEST(MpdfKind, FromSidesEveryOrientationSidePairAndPolarity) {
    struct Case {
        int orientation, s0, s1, p, kind;
    };
    const Case cases[] = {
        {1, 1, 1, 0, 5}, {1, 1, 1, 1, 6}, {1, 1, 0, 0, 1}, {1, 1, 0, 1, 4}, {1, 0, 1, 0, 3}, {1, 0, 1, 1, 2},
        {1, 0, 0, 0, -1}, {1, 0, 0, 1, -1}, {0, 1, 1, 0, 6}, {0, 1, 1, 1, 5}, {0, 1, 0, 0, 2}, {0, 1, 0, 1, 3},
        {0, 0, 1, 0, 4}, {0, 0, 1, 1, 1}, {0, 0, 0, 0, -1}, {0, 0, 0, 1, -1},
        // Hints other than 0 and 1 are refused.
        {0, 2, 1, 0, -1}, {1, 1, -1, 0, -1}, {0, 1, 0, 2, -1}, {1, 1, 1, -1, -1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(MPDF_KindFromSides(c.orientation, c.s0, c.s1, c.p), c.kind)
            << "orientation " << c.orientation << " sides " << c.s0 << c.s1 << " polarity " << c.p;
    }
}

TEST(MpdfKind, NextRapKind) {
    const int centre[7] = {-1, 5, 6, 5, 6, -1, -1};
    const int outer[7] = {-1, 3, 4, 1, 2, 3, 3};
    for (int k = 0; k <= 6; ++k) {
        EXPECT_EQ(MPDF_NextRapKind(k, 1), centre[k]) << k;
        EXPECT_EQ(MPDF_NextRapKind(k, 0), outer[k]) << k;
    }
    // A centre first column has only an outer neighbour.
    EXPECT_EQ(MPDF_NextRapKind(5, 1), -1);
    EXPECT_EQ(MPDF_NextRapKind(6, 0), 3);
    EXPECT_EQ(MPDF_NextRapKind(7, 0), -1);
}

TEST(MpdfLocate, RapCandidatesAmongEdges) {
    struct Case {
        std::vector<int> edges;
        int found;
        int module;
    };
    const Case cases[] = {
        {{0, 32, 64, 80, 96, 128, 160}, 1, 16},   // 4, 2, 4
        {{0, 16, 32, 48, 64, 80, 160}, 1, 16},    // 2, 2, 6
        {{0, 16, 32, 48, 144, 152, 160}, 0, 0},   // 2, 7, 1 adds up to 10 but is no RAP
        {{0, 0, 0, 0, 0, 0, 0}, 0, 0},            // module width 0
        {{0, 1, 2, 3, 4, 5, 9}, 0, 0},            // (9 - 0) / 10 = 0
        {{0, 16, 32, 48, 64, 80}, 0, 0},          // six edges
    };
    for (const Case &c : cases) {
        int starts[8] = {};
        int modules[8] = {};
        const int n = MPDF_FindRapCandidates(c.edges.data(), static_cast<int>(c.edges.size()), starts, modules, 8);
        EXPECT_EQ(n, c.found) << c.edges[4];
        if (n == 1) {
            EXPECT_EQ(starts[0], 0);
            EXPECT_EQ(modules[0], c.module);
        }
    }
    // Windows start at every edge: a RAP behind one extra edge is found at index 1.
    const int shifted[8] = {-40, 0, 32, 64, 80, 96, 128, 160};
    int starts[8] = {};
    int modules[8] = {};
    ASSERT_EQ(MPDF_FindRapCandidates(shifted, 8, starts, modules, 8), 1);
    EXPECT_EQ(starts[0], 1);
}

// Rows of RAP numbers (0: none) with `reads` reads each.
std::vector<PDF_ROW_ENTRY> Rows(const std::vector<int> &numbers, int reads = 3) {
    std::vector<PDF_ROW_ENTRY> rows;
    int y = 0;
    for (int n : numbers) {
        PDF_ROW_ENTRY e{};
        e.firstFrom = e.lastFrom = POINT_I32{100, y};
        e.firstTo = e.lastTo = POINT_I32{130, y};
        e.row = n;
        e.reads = reads;
        e.value = n > 0 ? 0x10000000 + n - 1 : 999;
        rows.push_back(e);
        y += 6;
    }
    return rows;
}

std::vector<int> Numbers(const std::vector<PDF_ROW_ENTRY> &rows, int count) {
    std::vector<int> v;
    for (int i = 0; i < count; ++i) v.push_back(rows[static_cast<size_t>(i)].row);
    return v;
}

std::vector<int> Range(int from, int count) {
    std::vector<int> v;
    for (int i = 0; i < count; ++i) v.push_back((from - 1 + i) % 52 + 1);
    return v;
}

TEST(MpdfSequence, ContradictionsDropOneWrongRowAndKeepTwoNeighbouringOnes) {
    struct Case {
        const char *name;
        std::vector<int> in;
        std::vector<int> out;  // after cleaning (-1 dropped)
    };
    std::vector<int> oneWrong = Range(1, 20);
    oneWrong[9] = 40;
    std::vector<int> oneWrongOut = Range(1, 20);
    oneWrongOut[9] = -1;
    // Two wrong rows next to each other near the end agree with each other and are not
    // contradicted by more than one row each; the true row after them is contradicted by
    // both and goes.
    std::vector<int> twoWrong = Range(1, 10);
    twoWrong[7] = 40;
    twoWrong[8] = 41;
    std::vector<int> twoWrongOut = twoWrong;
    twoWrongOut[9] = -1;
    const Case cases[] = {
        {"one wrong row", oneWrong, oneWrongOut},
        {"two neighbouring wrong rows", twoWrong, twoWrongOut},
        {"clean", Range(5, 12), Range(5, 12)},
    };
    for (const Case &c : cases) {
        std::vector<PDF_ROW_ENTRY> rows = Rows(c.in);
        MPDF_CleanRapSequence(rows.data(), static_cast<int>(rows.size()), 0);
        EXPECT_EQ(Numbers(rows, static_cast<int>(rows.size())), c.out) << c.name;
    }
    // Rows read once lose their number.
    std::vector<PDF_ROW_ENTRY> once = Rows(Range(1, 6));
    once[2].reads = 1;
    MPDF_DropContradictedRaps(once.data(), 6, 0);
    EXPECT_EQ(once[2].row, -1);
    EXPECT_EQ(once[3].row, 4);
}

TEST(MpdfSequence, PrepareFindsDirectionWrapIsolatedAndRepeatedNumbers) {
    PDF_CANDIDATE c{};
    // Descending, with a repeated number (each copy contradicts the other: one goes) and an
    // isolated stray.
    std::vector<PDF_ROW_ENTRY> rows = Rows({12, 11, 11, 10, 9, 8, 30, 7, 6, 5});
    rows[6].reads = 3;
    int n = MPDF_PrepareRapSequence(rows.data(), static_cast<int>(rows.size()), &c);
    EXPECT_EQ(c.rowsDescending, 1);
    EXPECT_EQ(Numbers(rows, n), (std::vector<int>{12, 11, 10, 9, 8, 7, 6, 5}));
    // Equal neighbours merge: the first keeps its first points and takes the last ones.
    std::vector<PDF_ROW_ENTRY> equal = Rows({4, 4, 5});
    EXPECT_EQ(MPDF_MergeEqualRaps(equal.data(), 3), 2);
    EXPECT_EQ(equal[0].reads, 6);
    EXPECT_EQ(equal[0].firstFrom.y, 0);
    EXPECT_EQ(equal[0].lastFrom.y, 6);
    EXPECT_EQ(equal[1].row, 5);
    // A number without neighbours goes, unless it is 1 or 52 of a wrapping sequence.
    std::vector<PDF_ROW_ENTRY> isolated = Rows({52, 1, 2, 9, 3});
    EXPECT_EQ(MPDF_DropIsolatedRaps(isolated.data(), 5), 4);
    EXPECT_EQ(Numbers(isolated, 4), (std::vector<int>{52, 1, 2, 3}));
    // Wrapping from 52 to 1 inside the column: ascending, nothing dropped. (Up to 14 rows
    // every pair votes, and the wrap's pairs outvote the rest: see the report.)
    std::vector<PDF_ROW_ENTRY> wrap = Rows(Range(40, 20));
    n = MPDF_PrepareRapSequence(wrap.data(), 20, &c);
    EXPECT_EQ(c.rowsDescending, 0);
    EXPECT_EQ(Numbers(wrap, n), Range(40, 20));
    // More rows than a set owns refuse.
    std::vector<PDF_ROW_ENTRY> many = Rows(Range(1, 60));
    EXPECT_EQ(MPDF_PrepareRapSequence(many.data(), 60, &c), 0);
}

TEST(MpdfSequence, SetVote) {
    struct Case {
        int outerReads, centreReads, set;
    };
    for (const Case &k : {Case{5, 6, 2}, Case{6, 6, 1}, Case{7, 6, 1}, Case{0, 1, 2}, Case{0, 0, 1}}) {
        std::vector<PDF_ROW_ENTRY> rows = Rows({3, 4});
        rows[0].reads = k.outerReads;
        rows[1].reads = k.centreReads;
        rows[1].value = 0x20000000 + 9;
        EXPECT_EQ(MPDF_VoteRapSet(rows.data(), 2), k.set) << k.outerReads << " " << k.centreReads;
        EXPECT_EQ(rows[0].row, k.set == 1 ? 3 : -1);
        EXPECT_EQ(rows[1].row, k.set == 2 ? 10 : -1);
    }
}

TEST(MpdfSequence, VariantSearch) {
    struct Case {
        const char *name;
        std::vector<int> first;
        int kind1;
        std::vector<int> second;
        int kind2;
        int columns;
        int variant;
    };
    const Case cases[] = {
        // Right column of 1 x 28 runs 33..52, 1..8.
        {"wrap from 52 to 1", Range(25, 28), 1, Range(33, 28), 3, 1, 5},
        {"wrap read in part", Range(30, 10), 1, Range(50, 6), 3, 1, 5},
        // Both 4 x 26 and 4 x 20 hold these; the earlier entry wins.
        {"earlier of two fitting", Range(2, 4), 1, Range(20, 6), 5, 4, 28},
        {"smallest first", Range(2, 4), 1, Range(2, 4), 5, 4, 23},
        {"none", Range(1, 3), 1, Range(30, 3), 3, 1, -1},
        {"no centre column in one or two columns", Range(1, 3), 1, Range(2, 3), 5, 1, -1},
        {"unknown kind", Range(2, 4), 0, Range(2, 4), 5, 4, -1},
    };
    for (const Case &c : cases) {
        const std::vector<PDF_ROW_ENTRY> a = Rows(c.first);
        const std::vector<PDF_ROW_ENTRY> b = Rows(c.second);
        EXPECT_EQ(MPDF_FindVariant(a.data(), static_cast<int>(a.size()), c.kind1, b.data(),
                                   static_cast<int>(b.size()), c.kind2, c.columns),
                  c.variant)
            << c.name;
    }
}

TEST(MpdfSequence, CompleteRowsFillsTheVariantsRowsAndRefusesRowsOutsideIt) {
    PDF_CANDIDATE c{};
    c.rowPitch = 6;
    // 2 x 14 (entry 7, RAPs from 8): rows 10, 11, 13 read; 8, 9, 12 and 14..21 derived.
    std::vector<PDF_ROW_ENTRY> rows = Rows({10, 11, 13});
    rows.resize(kMpdfSetEntries);
    rows[2].firstFrom = rows[2].lastFrom = POINT_I32{100, 18};
    rows[2].firstTo = rows[2].lastTo = POINT_I32{130, 18};
    ASSERT_EQ(MPDF_CompleteRows(&c, rows.data(), 3, 1, 7), 1);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(rows[static_cast<size_t>(i)].row, i + 1);
        EXPECT_NEAR(rows[static_cast<size_t>(i)].firstFrom.y, -12 + 6 * i, 1) << i;
        // Left RAP 8 starts the cluster cycle at (8 - 1) mod 3 = 1.
        EXPECT_EQ(rows[static_cast<size_t>(i)].cluster, ((7 + i) % 3) * 3) << i;
    }
    EXPECT_EQ(rows[0].reads, -2);
    EXPECT_EQ(rows[2].reads, 3);
    EXPECT_LT(rows[4].reads, 0);
    // A number that would fall beyond the variant's 8 rows (2 x 8 from 1) refuses.
    std::vector<PDF_ROW_ENTRY> beyond = Rows({1, 2, 9});
    beyond.resize(kMpdfSetEntries);
    EXPECT_EQ(MPDF_CompleteRows(&c, beyond.data(), 3, 1, 6), 0);
    std::vector<PDF_ROW_ENTRY> many = Rows(Range(1, 53));
    EXPECT_EQ(MPDF_CompleteRows(&c, many.data(), 53, 1, 22), 0);
}

MPDF_STEP Step(int x, int y) { return MPDF_STEP{POINT_I32{x, y}, POINT_I32{x + 30, y}}; }

TEST(MpdfLocate, SteadinessRejectsThreeJumpsInForty) {
    for (int jumps : {2, 3}) {
        std::vector<MPDF_STEP> run;
        int x = 100;
        for (int i = 0; i < 40; ++i) {
            if (i > 0 && i % 10 == 0 && i / 10 <= jumps) x += 6;
            run.push_back(Step(x, 2 * i));
        }
        EXPECT_EQ(MPDF_SteadyRun(run.data(), 40), jumps == 2 ? 1 : 0) << jumps;
    }
}

TEST(MpdfLocate, ColumnTableMergesNearColumnsAndDropsShortOnes) {
    MPDF_COLUMN_TABLE t{};
    int n = MPDF_AddColumn(&t, 0, 20, Step(100, 0), Step(100, 60), 30);
    n = MPDF_AddColumn(&t, n, 20, Step(200, 0), Step(200, 56), 28);
    n = MPDF_AddColumn(&t, n, 20, Step(300, 0), Step(300, 24), 12);
    ASSERT_EQ(n, 6);
    // Within 3 pixels of the first column at one end: replaces it only when longer.
    EXPECT_EQ(MPDF_AddColumn(&t, n, 20, Step(103, 3), Step(110, 90), 29), 6);
    EXPECT_EQ(t.length[0], 30);
    EXPECT_EQ(t.ends[1].first.y, 60);
    EXPECT_EQ(MPDF_AddColumn(&t, n, 20, Step(103, 3), Step(110, 90), 31), 6);
    EXPECT_EQ(t.length[0], 31);
    EXPECT_EQ(t.ends[1].first.y, 90);
    EXPECT_EQ(t.box[0].c[3].y, 90);
    // 4 pixels off at every end is another column; a full table takes nothing.
    EXPECT_EQ(MPDF_AddColumn(&t, n, 20, Step(107, 0), Step(107, 60), 5), 8);
    EXPECT_EQ(MPDF_AddColumn(&t, 20, 20, Step(500, 0), Step(500, 60), 5), 20);
    t.length[0] = 30;
    t.count = 6;
    int order[10] = {};
    ASSERT_EQ(MPDF_SelectColumns(&t, order), 2);  // 12 < 30 / 2
    EXPECT_EQ(t.ends[2 * order[0]].first.x, 103);
    EXPECT_EQ(t.ends[2 * order[1]].first.x, 200);
}

TEST(MpdfLocate, ZeroModuleWidthGivesNoSpan) {
    Test_ResetDecoderStatics();
    EXPECT_EQ(MPDF_EdgeSpanModules(POINT_I32{0, 0}, POINT_I32{50, 0}, 0), 0);
    // Lines 8 pixels apart: w = 0, so no side hint and no division.
    MPDF_RAP_COLUMNS cols{};
    cols.lineCount = 2;
    cols.lines[0][0] = POINT_I32{10, 10};
    cols.lines[0][1] = POINT_I32{10, 90};
    cols.lines[1][0] = POINT_I32{18, 10};
    cols.lines[1][1] = POINT_I32{18, 90};
    int w = -1;
    MPDF_ModuleWidthOfColumn(cols.lines, 0, 0, &w);
    EXPECT_EQ(w, 0);
    MPDF_ClassifyColumnSides(&cols);
    EXPECT_EQ(cols.sideFlags[0], 0);
    EXPECT_EQ(cols.sideFlags[1], 0);
    EXPECT_EQ(cols.vertical, 1);
}

TEST(MpdfLocate, MoreThanTwentyRegionsGiveNoSearch) {
    Test_ResetDecoderStatics();
    MPDF_RAP_COLUMNS cols{};
    cols.lineCount = 77;
    g_state.locatedCount = 21;
    EXPECT_EQ(MPDF_LocateRapColumns(&cols), 0);
    EXPECT_EQ(cols.lineCount, 77);
}

TEST(MpdfLocate, NormaliseQuads) {
    Test_ResetDecoderStatics();
    REGION_QUAD q[2] = {{{{0, 0}, {10, 2}, {0, 20}, {10, 22}}}, {{{0, 0}, {2, 10}, {20, 0}, {22, 10}}}};
    EXPECT_EQ(MPDF_NormaliseQuads(q, 2), 2);
    EXPECT_EQ(q[0].c[0].x, 0);
    EXPECT_EQ(q[1].c[0].x, 2);
    EXPECT_EQ(q[1].c[1].x, 0);
    EXPECT_EQ(q[1].c[2].x, 22);
    g_image.width = 752;
    g_image.height = 480;
    EXPECT_EQ(MPDF_NormaliseQuads(q, 0), 1);
    EXPECT_EQ(q[0].c[0].x, 188);
    EXPECT_EQ(q[0].c[0].y, 120);
    EXPECT_EQ(q[0].c[3].x, 564);
    EXPECT_EQ(q[0].c[3].y, 360);
}

TEST(MpdfStore, TwoResultsAtMostAndNoOverlap) {
    Test_ResetDecoderStatics();
    RESULT_STORE &rs = g_params.resultStore;
    rs.storedCount = 0;
    const REGION_QUAD a{{{0, 0}, {100, 0}, {0, 50}, {100, 50}}};
    const REGION_QUAD near{{{10, 5}, {110, 5}, {10, 55}, {110, 55}}};
    const REGION_QUAD b{{{300, 0}, {400, 0}, {300, 50}, {400, 50}}};
    const REGION_QUAD c{{{500, 0}, {600, 0}, {500, 50}, {600, 50}}};
    const uint8_t t1[] = "first";
    const uint8_t t2[] = "second";
    EXPECT_EQ(Dec_StoreResult(t1, 5, &a), 1);
    EXPECT_EQ(Dec_StoreResult(t2, 6, &near), 0);
    EXPECT_EQ(rs.storedCount, 1);
    EXPECT_EQ(Dec_StoreResult(t2, 6, &b), 1);
    EXPECT_EQ(rs.storedCount, 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(rs.storedData1), 6), "second");
    EXPECT_EQ(Dec_StoreResult(t1, 5, &c), 1);
    EXPECT_EQ(rs.storedCount, 2);
    EXPECT_EQ(rs.storedQuad[1].c[0].x, 300);
}

TEST(MpdfStructure, RefusesAWideColumn) {
    Test_ResetDecoderStatics();
    static PDF_ROW_ENTRY table[kPdfRowTableEntries];
    static MPDF_SYMBOL symbol;
    MPDF_RAP_COLUMNS cols{};
    cols.lineCount = 4;
    for (int width : {118, 119}) {
        // guardWidth = 17/10 of the RAP width: 200 and 202.
        cols.lines[0][0] = POINT_I32{10, 10};
        cols.lines[0][1] = POINT_I32{10, 90};
        cols.lines[1][0] = POINT_I32{10 + width, 10};
        cols.lines[1][1] = POINT_I32{10 + width, 90};
        cols.lines[2][0] = cols.lines[3][0] = POINT_I32{500, 10};
        cols.lines[2][1] = cols.lines[3][1] = POINT_I32{500, 90};
        EXPECT_EQ(MPDF_GuardWidthOfColumns(&cols), width * 17 / 10);
    }
    EXPECT_GT(MPDF_GuardWidthOfColumns(&cols), kMpdfMaxGuardWidth);
    EXPECT_EQ(MPDF_ReadStructure(&cols, table, &symbol), 0);
}

}  // namespace
