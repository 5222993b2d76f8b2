// The reference grid on hand-made lattices: the affine model's solving and assignment, the
// pairing's refusal, the grid size from the finders, the version range narrowed to the class,
// cells and side tables kept inside their bounds, a grid with too few cells reduced, and the
// border targets of the cell refinement.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/pixel.h"
#include "decoder_test.h"
#include "hanxin/cscn_grid.h"
#include "hanxin/cscn_outline.h"
#include "hanxin/cscn_symbol.h"
#include "toolkit/geometry.h"

namespace {

using namespace vexo;

// A lattice of 10 px steps (1/16 pixel), node (u, v) of the hand-made model at kHxGridAt(u, v)
// with the first node placed at (1, 1).
constexpr i32 kHxGridStep = 160;
GEO_POINT HxGridAt(i32 u, i32 v) { return GEO_POINT{1600 + u * kHxGridStep, 1200 + v * kHxGridStep}; }

CSCN_EDGE_SEGMENT HxGridSegment(GEO_POINT a, GEO_POINT b) {
    CSCN_EDGE_SEGMENT s{};
    s.x0 = a.x;
    s.y0 = a.y;
    s.x1 = b.x;
    s.y1 = b.y;
    Geo_LineThroughPoints(&a, &b, &s.line);
    s.valid = 1;
    return s;
}

// Lines meeting at node (u, v) as the symbol's staircase has them: on an even node the column
// line ends where the row line starts, on an odd node the row line ends where the column
// line starts.
void HxGridAddNode(CSCN_OUTLINE *o, i32 u, i32 v) {
    if (((u + v) & 1) == 0) {
        o->columnSegments[o->columnCount++] = HxGridSegment(HxGridAt(u, v - 1), HxGridAt(u, v));
        o->rowSegments[o->rowCount++] = HxGridSegment(HxGridAt(u, v), HxGridAt(u + 1, v));
    } else {
        o->rowSegments[o->rowCount++] = HxGridSegment(HxGridAt(u - 1, v), HxGridAt(u, v));
        o->columnSegments[o->columnCount++] = HxGridSegment(HxGridAt(u, v), HxGridAt(u, v + 1));
    }
}

// Finders whose lattice corners lie on model nodes (grid coordinates before the shift).
void HxGridFinder(CSCN_SYMBOL *s, i32 slot, i32 u, i32 v) {
    s->corners[slot].valid = 1;
    s->corners[slot].moduleSize = 48;
    s->corners[slot].latticeCorner = HxGridAt(u, v);
}

class HanXinGrid : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        // A blank frame: the border refinement traces nothing on it.
        blank_.assign(static_cast<size_t>(400) * 300, 128);
        Pix_SetImagePointer(blank_.data());
        Pix_SetImageSize(400, 300);
        g_cscnCurrentPass = 1;
    }
    std::vector<u8> blank_;
};

// Solving: Cramer's rule to the nearest node, a singular basis and a quotient beyond 32
// bits refused; the origin the mean of what was added.
TEST_F(HanXinGrid, SolveAndOrigin) {
    CSCN_AFFINE_GRID m{};
    m.basisU = POINT_I32{160, 20};
    m.basisV = POINT_I32{-20, 160};
    m.origin = POINT_I32{100, 100};
    m.point = POINT_I32{100 + 3 * 160 - 2 * 20 + 70, 100 + 3 * 20 + 2 * 160 - 70};
    ASSERT_EQ(CSCN_SolveGridCoordinates(&m), 1);
    EXPECT_EQ(m.u, 3);
    EXPECT_EQ(m.v, 2);
    m.basisV = POINT_I32{320, 40};  // parallel to basis u
    EXPECT_EQ(CSCN_SolveGridCoordinates(&m), 0);
    m.basisU = POINT_I32{1, 0};
    m.basisV = POINT_I32{0, 1};
    m.origin = POINT_I32{-2147483647, 0};
    m.point = POINT_I32{2147483647, 0};  // u = 2^32 - 2
    EXPECT_EQ(CSCN_SolveGridCoordinates(&m), 0);
    m = CSCN_AFFINE_GRID{};
    m.basisU = POINT_I32{160, 0};
    m.basisV = POINT_I32{0, 160};
    m.point = POINT_I32{500, 300};
    m.u = 1;
    m.v = 1;
    CSCN_AccumulateOrigin(&m, 1);
    m.point = POINT_I32{820, 630};
    m.u = 3;
    m.v = 3;
    CSCN_AccumulateOrigin(&m, 0);
    EXPECT_EQ(m.count, 2);
    EXPECT_EQ(m.origin.x, (340 + 340) / 2);
    EXPECT_EQ(m.origin.y, (140 + 150) / 2);
}

// Assignment: a node is assigned only when its orientation differs from the parity of
// u + v; a singular basis answers 0 and assigns nothing; a pass without a node leaves the
// basis as it was (no mean over nothing).
TEST_F(HanXinGrid, Assignment) {
    CSCN_AFFINE_GRID m{};
    m.valid = 1;
    m.basisU = POINT_I32{160, 0};
    m.basisV = POINT_I32{0, 160};
    m.count = 1;  // an origin is set
    struct HxGridAssignCase {
        i32 u, v, orientation, assigned;
    };
    const HxGridAssignCase cases[] = {{2, 0, 1, 1}, {2, 0, 0, 0}, {1, 0, 0, 1}, {1, 0, 1, 0}, {3, 4, 0, 1}, {4, 4, 0, 0}};
    CSCN_GRID_NODE nodes[6]{};
    for (int i = 0; i < 6; ++i) {
        nodes[i].point = POINT_I32{cases[i].u * 160 + 5, cases[i].v * 160 - 7};
        nodes[i].orientation = cases[i].orientation;
    }
    CSCN_ASSIGNMENT a{&m, nodes, 6, 100, -100, 100, -100};
    EXPECT_EQ(CSCN_AssignGrid(&a, 0, 0), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(nodes[i].assigned, cases[i].assigned) << i;
        if (cases[i].assigned != 0) {
            EXPECT_EQ(nodes[i].u, cases[i].u);
            EXPECT_EQ(nodes[i].v, cases[i].v);
        }
    }
    EXPECT_EQ(a.minU, 1);
    EXPECT_EQ(a.maxU, 3);
    EXPECT_EQ(a.maxV, 4);
    // A pass without a node, estimating: the basis stays.
    CSCN_ASSIGNMENT none{&m, nodes, 0, 0, 0, 0, 0};
    EXPECT_EQ(CSCN_AssignGrid(&none, 1, 1), 0);
    EXPECT_EQ(m.basisU.x, 160);
    EXPECT_EQ(m.basisV.y, 160);
    EXPECT_EQ(m.valid, 1);
    // Singular basis.
    for (CSCN_GRID_NODE &n : nodes) n.assigned = 0;
    m.basisV = POINT_I32{320, 0};
    EXPECT_EQ(CSCN_AssignGrid(&a, 0, 1), 0);
    for (const CSCN_GRID_NODE &n : nodes) EXPECT_EQ(n.assigned, 0);
    EXPECT_EQ(m.count, 1);
}

// The pairing refuses families above 96 lines (the outline never holds that many), pairs
// end to start within an eighth of the line, and builds both orientations.
TEST_F(HanXinGrid, Pairing) {
    static CSCN_EDGE_SEGMENT rows[97], columns[97];
    for (int i = 0; i < 97; ++i) {
        rows[i] = HxGridSegment(HxGridAt(i % 9, i / 9), HxGridAt(i % 9 + 1, i / 9));
        columns[i] = HxGridSegment(HxGridAt(i % 9, i / 9 - 1), HxGridAt(i % 9, i / 9));
    }
    static CSCN_PAIRING p;
    p.rows = rows;
    p.columns = columns;
    for (const int n : {97, 96}) {
        p.rowCount = n;
        p.columnCount = 3;
        EXPECT_EQ(CSCN_PairSegments(&p), n == 97 ? 0 : 3) << n;
        p.rowCount = 3;
        p.columnCount = n;
        EXPECT_EQ(CSCN_PairSegments(&p) > 0, n == 96) << n;
    }
    CSCN_OUTLINE o{};
    HxGridAddNode(&o, 2, 2);  // even: orientation 1
    HxGridAddNode(&o, 3, 2);  // odd: orientation 0 (its row line is the one from (2, 2))
    o.rowSegments[1].x1 += 20;  // 1.25 px off: within 160 / 8
    p.rows = o.rowSegments;
    p.rowCount = o.rowCount;
    p.columns = o.columnSegments;
    p.columnCount = o.columnCount;
    ASSERT_EQ(CSCN_PairSegments(&p), 2);
    EXPECT_EQ(p.firstPassCount, 1);
    EXPECT_EQ(p.nodes[0].orientation, 1);
    EXPECT_EQ(p.nodes[1].orientation, 0);
}

// A hand-made class-4 lattice: finders solving to (0, 0) and (4, 0) give c = 4; the range
// 30..40 becomes 30..31; a node beyond the grid at (c + 1, 0) fills no cell (cell (0, 1)
// stays unfound), nodes on u = 0 and v = 0 whose lines span from -1 write nothing outside
// the side tables (the words after each table stay zero).
TEST_F(HanXinGrid, BuildClassFour) {
    static CSCN_OUTLINE o;
    o = CSCN_OUTLINE{};
    HxGridAddNode(&o, 1, 1);  // the first node: (1, 1) of the model
    HxGridAddNode(&o, 2, 2);
    HxGridAddNode(&o, 3, 1);
    HxGridAddNode(&o, 5, 0);  // beyond the grid: odd
    HxGridAddNode(&o, 2, 0);  // even: its column line comes from v = -1
    HxGridAddNode(&o, 0, 1);  // odd: its row line comes from u = -1
    o.corners[1] = POINT_I32{200, 0};
    o.corners[2] = POINT_I32{200, 200};
    o.corners[3] = POINT_I32{0, 200};
    static CSCN_SYMBOL s;
    s = CSCN_SYMBOL{};
    HxGridFinder(&s, 0, 0, 0);
    HxGridFinder(&s, 1, 4, 0);
    s.minVersion = 30;
    s.maxVersion = 40;
    s.maxClass = 5;
    CSCN_BuildReferenceGrid(&o, &s);
    EXPECT_EQ(s.gridFound, 1);
    EXPECT_EQ(s.maxClass, 4);
    EXPECT_EQ(s.minClass, 4);
    EXPECT_EQ(s.minVersion, 30);
    EXPECT_EQ(s.maxVersion, 31);
    EXPECT_EQ(s.minSize, 81);
    EXPECT_EQ(s.maxSize, 83);
    const auto cell = [&](int u, int v) -> const CSCN_REFERENCE_CELL & { return s.referenceCells[v * 5 + u]; };
    EXPECT_EQ(cell(0, 1).imageFound, 1);  // the node at (0, 1) itself
    EXPECT_EQ(cell(0, 1).imageX, HxGridAt(0, 1).x);
    EXPECT_EQ(cell(1, 1).imageFound, 1);
    EXPECT_EQ(cell(1, 1).imageX, HxGridAt(1, 1).x);
    EXPECT_EQ(cell(1, 1).imageY, HxGridAt(1, 1).y);
    EXPECT_EQ(cell(2, 2).imageFound, 1);
    // The (0, 1) node's row line spans from u = -1 and the (2, 0) node's column line from
    // v = -1: neither is entered; their other lines are.
    EXPECT_EQ(s.rowSides[0][1].valid, 0);
    EXPECT_EQ(s.columnSides[1][0].valid, 1);
    EXPECT_EQ(s.rowSides[2][0].valid, 1);
    EXPECT_EQ(s.columnSides[0][2].valid, 0);
    // Nothing written past the grid's cells or before the tables.
    for (int i = 25; i < kCscnGridSide * kCscnGridSide; ++i) EXPECT_EQ(s.referenceCells[i].imageFound, 0) << i;
    for (int u = 0; u < kCscnGridSide; ++u) EXPECT_EQ(s.columnSides[11][u].valid, 0) << u;
}

// A class-3 grid with three found cells (two finders and one node) is reduced to class 1
// and answers 0; with more it stands.
TEST_F(HanXinGrid, TooFewCellsReduce) {
    for (const int extra : {0, 1}) {
        static CSCN_OUTLINE o;
        o = CSCN_OUTLINE{};
        HxGridAddNode(&o, 1, 1);
        if (extra != 0) HxGridAddNode(&o, 2, 2);
        o.corners[1] = POINT_I32{200, 0};
        o.corners[2] = POINT_I32{200, 200};
        o.corners[3] = POINT_I32{0, 200};
        static CSCN_SYMBOL s;
        s = CSCN_SYMBOL{};
        HxGridFinder(&s, 0, 0, 0);
        HxGridFinder(&s, 1, 3, 0);
        s.minVersion = 11;
        s.maxVersion = 21;
        const i32 r = CSCN_BuildReferenceGrid(&o, &s);
        int found = 0;
        for (int i = 0; i < 16; ++i) found += s.referenceCells[i].imageFound;
        // The extra node's column line also meets the first node's row line: a third node.
        EXPECT_EQ(found > 3, extra != 0) << found;
        EXPECT_GE(found, 3);
        EXPECT_EQ(r, extra != 0 ? 1 : 0);
        EXPECT_EQ(s.maxClass, extra != 0 ? 3 : 1);
        EXPECT_EQ(s.minClass, extra != 0 ? 3 : 1);
        EXPECT_EQ(s.gridFound, 1);
    }
}

// Sweeps that traced nothing give no model: 0, the record untouched.
TEST_F(HanXinGrid, EmptySweeps) {
    static CSCN_OUTLINE o;
    o = CSCN_OUTLINE{};
    static CSCN_SYMBOL s;
    s = CSCN_SYMBOL{};
    HxGridFinder(&s, 0, 0, 0);
    HxGridFinder(&s, 1, 4, 0);
    s.minVersion = 30;
    s.maxVersion = 40;
    EXPECT_EQ(CSCN_BuildReferenceGrid(&o, &s), 0);
    EXPECT_EQ(s.gridFound, 0);
    EXPECT_EQ(s.maxVersion, 40);
}

// The cell refinement's targets: none below c = 2, the Part's 20 for c = 11; radii from the
// side's finders, else the opposite side's.
TEST_F(HanXinGrid, BorderTargets) {
    i32 u[20], v[20], g[20];
    EXPECT_EQ(CSCN_ListBorderTargets(1, u, v, g), 0);
    ASSERT_EQ(CSCN_ListBorderTargets(11, u, v, g), 20);
    const i32 want[20][2] = {{10, 0}, {8, 0}, {6, 0}, {4, 0}, {2, 0}, {11, 1}, {11, 3}, {11, 5}, {11, 7}, {11, 9},
                             {0, 9},  {0, 7}, {0, 5}, {0, 3}, {0, 1}, {2, 11}, {4, 11}, {6, 11}, {8, 11}, {10, 11}};
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(u[i], want[i][0]) << i;
        EXPECT_EQ(v[i], want[i][1]) << i;
    }
    CSCN_SYMBOL s{};
    s.corners[0].valid = s.corners[3].valid = 1;
    s.corners[0].moduleSize = 100;
    s.corners[3].moduleSize = 121;
    EXPECT_EQ(CSCN_BorderTargetRadius(&s, 1), (100 + 121) / 32);  // side 12 from slots 0 and 3
    EXPECT_EQ(CSCN_BorderTargetRadius(&s, 2), (100 + 121) / 32);  // side 30 itself
    EXPECT_EQ(CSCN_BorderTargetRadius(&s, 0), 100 / 16);          // side 01: slot 0 alone
}


// Following a side whose border segments run against the follower (started from the side's
// other corner): each segment is picked in turn to the end of the side, the direction keeps
// its sense, and the side line is refitted through all of them.
TEST_F(HanXinGrid, FollowerAgainstItsSegments) {
    CSCN_SIDE_FOLLOWER f{};
    const GEO_POINT a{0, 800}, b{16000, 960};  // a slightly sloping side, 1/16 pixel
    Geo_LineThroughPoints(&a, &b, &f.sideLine);
    const GEO_POINT c{0, 0}, d{0, 3200};
    Geo_LineThroughPoints(&c, &d, &f.crossLine);
    f.point = a;
    f.direction = POINT_I32{b.x - a.x, b.y - a.y};
    f.threshold = 940;
    f.points[f.count++] = a;
    for (int k = 0; k < 8; ++k) {
        // A segment 1.5 lattice steps on, two pixels below the old side, ends reversed.
        const i32 x0 = 1600 + k * 1760, x1 = x0 + 1280;
        const i32 y = 832 + 32 + x0 / 100;
        CSCN_EDGE_SEGMENT seg = HxGridSegment(GEO_POINT{x1, y + 8}, GEO_POINT{x0, y});
        const i32 score = 990;
        ASSERT_EQ(CSCN_FollowSide(&f, &seg, &score, 1), 0) << k;
        // The sense kept and the length no shorter than a segment (the plain mean gives
        // 7360, 3040, 880, then -200 and no further pick).
        EXPECT_GT(f.direction.x, 1280) << k;
        EXPECT_EQ(f.count, 3 + 2 * k);
    }
    // The refitted line runs through the segments, 32/16 px below the first side.
    const double at = f.sideLine.alongX != 0 ? f.sideLine.slope * 8000 + f.sideLine.offset : 0;
    EXPECT_NEAR(at, 832 + 32 + 80, 40);
}

}  // namespace
