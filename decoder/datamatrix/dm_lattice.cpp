// The region lattice of a Data Matrix candidate: the cell next to the L corner (whose timing
// edges give the module counts), then every further region. Two paths: the standard one
// finds each timing edge by the pair search near its predicted place; the large-symbol one,
// for long arms, moves lines of five slopes along a window on the solid edges.
#include <cstring>

#include "core/pixel.h"
#include "datamatrix/dm_locate.h"
#include "toolkit/geometry.h"
#include "toolkit/geometry_points.h"

namespace vexo {

namespace {

constexpr i32 kLargeSingleLimit = 150;
constexpr i32 kLargeSquare2Limit = 250;
constexpr i32 kCellMinScore = 99;        // a pair search at or below fails the first cell
constexpr i32 kCellMinSum = 299;
constexpr i32 kLargeMinScore = 149;
constexpr i32 kLargeMinSum = 299;
constexpr i32 kCompleteMinScore = 61;
constexpr i32 kLargeFailed = -50;
constexpr i32 kLineSets = 7;

GEO_POINT &Node(DM_GEOMETRY *geo, i32 r, i32 c) { return geo->lattice[r][c]; }
GEO_POINT Plus(GEO_POINT a, GEO_POINT b, GEO_POINT c) { return GEO_POINT{a.x + b.x - c.x, a.y + b.y - c.y}; }

// The fits below order their points so that the probes run towards the lighter side.
enum class Edge { LeftSolid, BottomSolid, TopOuter, TopInner, RightOuter, RightInner };

// a, b: lower then upper node for vertical edges, left then right for horizontal ones.
i32 FitEdge(Edge e, i32 darkOnLight, GEO_POINT a, GEO_POINT b, i32 probe, SLOPE_LINE *out) {
    bool aFirst = false;
    switch (e) {
        case Edge::LeftSolid: aFirst = darkOnLight != 0; break;
        case Edge::BottomSolid: aFirst = darkOnLight == 0; break;
        case Edge::TopOuter: aFirst = darkOnLight != 0; break;
        case Edge::TopInner: aFirst = darkOnLight == 0; break;
        case Edge::RightOuter: aFirst = darkOnLight == 0; break;
        case Edge::RightInner: aFirst = darkOnLight != 0; break;
    }
    return aFirst ? DM_FitEdgeLine(a, b, probe, out) : DM_FitEdgeLine(b, a, probe, out);
}

// Where two slope lines meet; out is kept when they are parallel.
void Meet(const SLOPE_LINE &a, const SLOPE_LINE &b, GEO_POINT *out) {
    Geo_IntersectSlopeLines(out, a.slope, a.intercept, b.slope, b.intercept);
}

SLOPE_LINE Through(GEO_POINT p, GEO_POINT q) {
    SLOPE_LINE l{};
    Geo_SlopeLineFromPoints(p, q, &l);
    return l;
}

// The line keeps its slope and passes through p.
void Reanchor(SLOPE_LINE *l, GEO_POINT p) {
    if (l->slope == kVerticalSlope) {
        l->intercept = p.x;
    } else {
        l->intercept = p.y - l->slope * p.x;
    }
}

// Segment intersection, kept when parallel.
void MeetSegments(GEO_POINT a, GEO_POINT b, GEO_POINT c, GEO_POINT d, GEO_POINT *out) {
    Geo_IntersectSegments(&a, &b, &c, &d, out);
}

bool TopIsOuter(i32 cls) { return cls == -1 || cls == 0 || cls == 1; }
bool RightIsOuter(i32 cls) { return cls == 0 || cls == 1; }
bool ManyRegions(i32 cls) { return cls == 2 || cls == 4 || cls == 6; }

i32 MeasureLargeCell(DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo, const SLOPE_LINE &diagonal, SLOPE_LINE *cols,
                     SLOPE_LINE *rows) {
    const i32 cls = geo->layoutClass;
    geo->moduleCols = DM_DefaultModuleCount(cls, 0);
    geo->moduleRows = DM_DefaultModuleCount(cls, 1);
    geo->regionRows = cls == -1 || cls == 0 ? 1 : cls;
    geo->regionCols = cls == -1 ? 2 : (cls == 0 ? 1 : cls);
    const i32 R = geo->regionRows;
    GEO_POINT t1{}, t2{};
    if (ManyRegions(cls)) {
        DM_BoundaryWindowMulti(&cols[0], cand->corner, cand->armEnd1, cls, &t1, &t2);
    } else {
        DM_BoundaryWindowSingle(&cols[0], cand->corner, cand->armEnd1, &t1, &t2);
    }
    rows[1] = rows[0];
    const i32 hint = cand->contrastHint / 2;
    if (hint > DM_GetNoiseThreshold()) DM_SetNoiseThreshold(hint);
    GEO_POINT tl{}, br{};
    i32 scoreTop = 0;
    DM_SearchParallelEdge(t1, t2, &diagonal, &rows[1], cand->longerArm, &tl, &scoreTop);
    if (scoreTop <= kLargeMinScore) return kLargeFailed;
    if (ManyRegions(cls)) {
        DM_BoundaryWindowMulti(&rows[0], cand->corner, cand->armEnd2, cls, &t1, &t2);
    } else if (cls == -1) {
        DM_BoundaryWindowMulti(&rows[0], cand->corner, cand->armEnd2, 2, &t1, &t2);
    } else {
        DM_BoundaryWindowSingle(&rows[0], cand->corner, cand->armEnd2, &t1, &t2);
    }
    cols[1] = cols[0];
    i32 scoreRight = 0;
    DM_SearchParallelEdge(t1, t2, &diagonal, &cols[1], cand->longerArm, &br, &scoreRight);
    if (scoreRight <= kLargeMinScore || scoreTop + scoreRight <= kLargeMinSum) return kLargeFailed;
    const i32 dark = cand->darkOnLight;
    if (!FitEdge(Edge::LeftSolid, dark, cand->corner, tl, 2 * geo->moduleCols / 3, &cols[0])) return kLargeFailed;
    Reanchor(&rows[1], tl);
    if (!FitEdge(Edge::BottomSolid, dark, cand->corner, br, 2 * geo->moduleRows / 3, &rows[0])) return kLargeFailed;
    Reanchor(&cols[1], br);
    GEO_POINT tr = Plus(br, tl, cand->corner);
    Meet(cols[1], rows[1], &tr);
    if (!FitEdge(TopIsOuter(cls) ? Edge::TopOuter : Edge::TopInner, dark, tl, tr, geo->moduleRows, &rows[1])) {
        return kLargeFailed;
    }
    if (!FitEdge(RightIsOuter(cls) ? Edge::RightOuter : Edge::RightInner, dark, br, tr, geo->moduleCols, &cols[1])) {
        return kLargeFailed;
    }
    Node(geo, R - 1, 0) = tl;
    Node(geo, R - 1, 1) = tr;
    Node(geo, R, 0) = cand->corner;
    Node(geo, R, 1) = br;
    Meet(cols[0], rows[1], &Node(geo, R - 1, 0));
    Meet(cols[1], rows[1], &Node(geo, R - 1, 1));
    Meet(cols[0], rows[0], &Node(geo, R, 0));
    Meet(cols[1], rows[0], &Node(geo, R, 1));
    const i32 r = DM_CountModules(g_image.data, geo);
    return r == -3 ? kDmStatusNoCandidate : r;
}

i32 CompleteLargeLattice(DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo, SLOPE_LINE *cols, SLOPE_LINE *rows) {
    const i32 R = geo->regionRows;
    const i32 C = geo->regionCols;
    const i32 dark = cand->darkOnLight;
    if (R < 1 || C < 1 || R >= kLineSets || C >= kLineSets) return kDmStatusNoCandidate;
    GEO_POINT t1{}, t2{};
    // The left column upwards; the new cell lies between node rows f - 1 and f.
    for (i32 i = 1; i <= R - 1; ++i) {
        const i32 f = R - i;
        GEO_POINT &up0 = Node(geo, f - 1, 0);
        GEO_POINT &up1 = Node(geo, f - 1, 1);
        const GEO_POINT lo0 = Node(geo, f, 0);
        const GEO_POINT lo1 = Node(geo, f, 1);
        up0 = GEO_POINT{(cand->armEnd1.x + (f - 1) * lo0.x) / f, (cand->armEnd1.y + (f - 1) * lo0.y) / f};
        up1 = Plus(up0, lo1, lo0);
        rows[i + 1] = rows[i];
        const SLOPE_LINE cellDiagonal = Through(up1, lo0);
        DM_BoundaryWindowSingle(&cols[0], lo0, up0, &t1, &t2);
        i32 score = 0;
        DM_SearchParallelEdge(t1, t2, &cellDiagonal, &rows[i + 1], cand->longerArm, &up0, &score);
        if (score == 0) return kDmStatusNoCandidate;
        up1 = Plus(up0, lo1, lo0);
        const GEO_POINT far{(2 * up0.x + 3 * (lo1.x - lo0.x)) / 2, (2 * up0.y + 3 * (lo1.y - lo0.y)) / 2};
        if (!FitEdge(i == R - 1 ? Edge::TopOuter : Edge::TopInner, dark, up0, far, geo->moduleRows, &rows[i + 1])) {
            return kLargeFailed;
        }
        if (!FitEdge(Edge::LeftSolid, dark, lo0, up0, 2 * geo->moduleCols / 3, &cols[0])) return kLargeFailed;
        cols[i + 1] = cols[i];
        Meet(cols[i + 1], rows[i + 1], &up1);
        const GEO_POINT below{(3 * lo1.x - up1.x) / 2, (3 * lo1.y - up1.y) / 2};
        if (!FitEdge(Edge::RightInner, dark, below, up1, geo->moduleCols, &cols[i + 1])) return kLargeFailed;
        Meet(cols[0], rows[i + 1], &up0);
        Meet(cols[i + 1], rows[i + 1], &up1);
    }
    // Further columns; the new column lies between node columns i and i + 1.
    for (i32 i = 1; i <= C - 1; ++i) {
        const i32 d = C - i;
        GEO_POINT &b1 = Node(geo, R, i + 1);
        GEO_POINT &u1 = Node(geo, R - 1, i + 1);
        const GEO_POINT b0 = Node(geo, R, i);
        const GEO_POINT u0 = Node(geo, R - 1, i);
        b1 = GEO_POINT{(cand->armEnd2.x + (d - 1) * b0.x) / d, (cand->armEnd2.y + (d - 1) * b0.y) / d};
        u1 = Plus(b1, u0, b0);
        const SLOPE_LINE cellDiagonal = Through(u1, b0);
        DM_BoundaryWindowSingle(&rows[0], b0, b1, &t1, &t2);
        i32 score = 0;
        DM_SearchParallelEdge(t1, t2, &cellDiagonal, &cols[1], cand->longerArm, &b1, &score);
        if (score == 0) return kDmStatusNoCandidate;
        u1 = Plus(b1, u0, b0);
        const bool lastCol = i + 1 == C;
        if (!FitEdge(lastCol ? Edge::RightOuter : Edge::RightInner, dark, b1, u1, geo->moduleCols, &cols[1])) {
            return kLargeFailed;
        }
        const GEO_POINT left{(3 * u0.x - u1.x) / 2, (3 * u0.y - u1.y) / 2};
        const Edge top = geo->layoutClass == -1 ? Edge::TopOuter : Edge::TopInner;
        if (!FitEdge(top, dark, left, u1, geo->moduleRows, &rows[1])) return kLargeFailed;
        if (!FitEdge(Edge::BottomSolid, dark, b0, b1, 2 * geo->moduleRows / 3, &rows[0])) return kLargeFailed;
        Meet(cols[1], rows[0], &b1);
        Meet(cols[1], rows[1], &u1);
        for (i32 j = 1; j <= R - 1; ++j) {
            cols[j + 1] = cols[j];
            GEO_POINT &n = Node(geo, R - j - 1, i + 1);
            Meet(cols[j + 1], rows[j + 1], &n);
            const GEO_POINT a = Node(geo, R - j, i + 1);
            const GEO_POINT b = Node(geo, R - j + 1, i + 1);
            const GEO_POINT colMid{(a.x + b.x) / 2, (a.y + b.y) / 2};
            if (!FitEdge(lastCol ? Edge::RightOuter : Edge::RightInner, dark, colMid, n, geo->moduleCols,
                         &cols[j + 1])) {
                return kLargeFailed;
            }
            const GEO_POINT l0 = Node(geo, R - j - 1, i - 1);
            const GEO_POINT l1 = Node(geo, R - j - 1, i);
            const GEO_POINT rowMid{(l0.x + l1.x) / 2, (l0.y + l1.y) / 2};
            if (!FitEdge(j == R - 1 ? Edge::TopOuter : Edge::TopInner, dark, rowMid, n, geo->moduleRows,
                         &rows[j + 1])) {
                return kLargeFailed;
            }
            Meet(cols[j + 1], rows[j + 1], &n);
        }
    }
    return 0;
}

i32 MeasureLargeSymbol(DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    SLOPE_LINE cols[kLineSets] = {};
    SLOPE_LINE rows[kLineSets] = {};
    const i32 cls = geo->layoutClass;
    SLOPE_LINE diagonal{};
    if (cls == -1) {
        const GEO_POINT mid{(cand->armEnd1.x + cand->fourthCorner.x) / 2, (cand->armEnd1.y + cand->fourthCorner.y) / 2};
        diagonal = Through(mid, cand->corner);
    } else {
        diagonal = Through(cand->fourthCorner, cand->corner);
    }
    cols[0] = Through(cand->armEnd1, cand->corner);
    rows[0] = Through(cand->armEnd2, cand->corner);
    const i32 r = MeasureLargeCell(cand, geo, diagonal, cols, rows);
    if (r != 0) return r;
    if (cls == 0 || cls == 1) return 0;
    return CompleteLargeLattice(cand, geo, cols, rows);
}

i32 Search(u8 *image, GEO_POINT *p, GEO_POINT *q, GEO_POINT r, i32 reach) {
    return DM_SearchTimingEdge(image, p, q, r, reach);
}

}  // namespace

i32 DM_TryLargeSymbolPath(DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    if (cand == nullptr || geo == nullptr) return -1;
    const i32 cls = geo->layoutClass;
    if (cls < -1 || cls > 2) return -1;
    const i32 limit = cls == kDmLayoutSquare2 ? kLargeSquare2Limit : kLargeSingleLimit;
    if (cand->arm1Length <= limit && cand->arm2Length <= limit) return 0;
    const i32 r = MeasureLargeSymbol(cand, geo);
    if (r == 0) return 1;
    return r == kLargeFailed || r == -5 ? -5 : -3;
}

i32 DM_MeasureCell(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    if (cand == nullptr || geo == nullptr) return kDmStatusNoCandidate;
    const i32 cls = geo->layoutClass;
    geo->moduleCols = DM_DefaultModuleCount(cls, 0);
    geo->moduleRows = DM_DefaultModuleCount(cls, 1);
    GEO_POINT tl{}, br{};
    if (cls == kDmLayoutWideRectangle) {
        geo->regionRows = 1;
        geo->regionCols = 2;
        tl = cand->armEnd1;
        DM_FirstBoundaryPoint(cand->corner, cand->armEnd2, 2, &br);
    } else if (cls == kDmLayoutRectangle || cls == kDmLayoutSquare1) {
        geo->regionRows = 1;
        geo->regionCols = 1;
        tl = cand->armEnd1;
        br = cand->armEnd2;
    } else if (ManyRegions(cls)) {
        geo->regionRows = cls;
        geo->regionCols = cls;
        DM_FirstBoundaryPoint(cand->corner, cand->armEnd1, cls, &tl);
        DM_FirstBoundaryPoint(cand->corner, cand->armEnd2, cls, &br);
    } else {
        return kDmStatusNoCandidate;
    }
    const i32 R = geo->regionRows;
    const GEO_POINT bl = cand->corner;
    GEO_POINT tr = Plus(br, tl, bl);
    GEO_POINT f1 = tr;
    GEO_POINT f2 = tr;
    const i32 scoreTop = Search(image, &tl, &f1, bl, DM_EdgeSearchReach(cand, geo, 1));
    if (scoreTop <= kCellMinScore) return kDmStatusNoCandidate;
    const i32 scoreRight = Search(image, &br, &f2, bl, DM_EdgeSearchReach(cand, geo, 0));
    MeetSegments(tl, f1, br, f2, &tr);
    if (scoreRight <= kCellMinScore || scoreTop + scoreRight <= kCellMinSum) return kDmStatusNoCandidate;
    SLOPE_LINE left = Through(bl, tl);
    SLOPE_LINE bottom = Through(bl, br);
    const i32 dark = cand->darkOnLight;
    if (!FitEdge(Edge::LeftSolid, dark, bl, tl, 2 * geo->moduleCols / 3, &left)) return kDmStatusNoCandidate;
    if (!FitEdge(Edge::BottomSolid, dark, bl, br, 2 * geo->moduleRows / 3, &bottom)) return kDmStatusNoCandidate;
    const SLOPE_LINE top = Through(tl, tr);
    const SLOPE_LINE right = Through(br, tr);
    GEO_POINT nbl = bl;
    Meet(top, left, &tl);
    Meet(right, bottom, &br);
    Meet(left, bottom, &nbl);
    Node(geo, R - 1, 0) = tl;
    Node(geo, R - 1, 1) = tr;
    Node(geo, R, 0) = nbl;
    Node(geo, R, 1) = br;
    return DM_CountModules(image, geo);
}

i32 DM_CompleteLattice(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    if (cand == nullptr || geo == nullptr) return kDmStatusNoCandidate;
    const i32 R = geo->regionRows;
    const i32 C = geo->regionCols;
    if (R < 1 || C < 1 || R >= kDmLatticeSide || C >= kDmLatticeSide || geo->moduleRows <= 0 ||
        geo->moduleCols <= 0) {
        return kDmStatusNoCandidate;
    }
    const i32 dark = cand->darkOnLight;
    const i32 h3 = (3 * cand->arm1Length / geo->moduleRows) / R;
    const i32 h2 = (2 * cand->arm1Length / geo->moduleRows) / R;
    const i32 w2 = (2 * cand->arm2Length / C) / geo->moduleCols;
    for (i32 i = 1; i <= R - 1; ++i) {
        GEO_POINT t{}, t2{};
        DM_ExtrapolateNode(Node(geo, R - i + 1, 0), Node(geo, R - i, 0), &t);
        t2 = Plus(t, Node(geo, R - i, 1), Node(geo, R - i, 0));
        if (Search(image, &t, &t2, Node(geo, R - i, 0), h3) < kCompleteMinScore) return kDmStatusNoCandidate;
        SLOPE_LINE left = Through(t, Node(geo, R - i, 0));
        if (!FitEdge(Edge::LeftSolid, dark, Node(geo, R - i, 0), t, 2 * geo->moduleCols / 3, &left)) {
            return kDmStatusNoCandidate;
        }
        Meet(Through(t, t2), left, &Node(geo, R - i - 1, 0));
        MeetSegments(Node(geo, R - i - 1, 0), t2, Node(geo, R - i + 1, 1), Node(geo, R - i, 1), &t);
        GEO_POINT v = Node(geo, R - i, 1);
        if (Search(image, &v, &t, Node(geo, R - i, 0), w2) < kCompleteMinScore) return kDmStatusNoCandidate;
        MeetSegments(Node(geo, R - i - 1, 0), t2, Node(geo, R - i, 1), t, &Node(geo, R - i - 1, 1));
    }
    for (i32 i = 1; i <= C - 1; ++i) {
        GEO_POINT t{}, t2{};
        DM_ExtrapolateNode(Node(geo, R, i - 1), Node(geo, R, i), &t);
        t2 = Plus(t, Node(geo, R - 1, i), Node(geo, R, i));
        if (Search(image, &t, &t2, Node(geo, R, i), h3) < kCompleteMinScore) return kDmStatusNoCandidate;
        SLOPE_LINE bottom = Through(t, Node(geo, R, i));
        if (!FitEdge(Edge::BottomSolid, dark, Node(geo, R, i), t, 2 * geo->moduleRows / 3, &bottom)) {
            return kDmStatusNoCandidate;
        }
        Meet(Through(t, t2), bottom, &Node(geo, R, i + 1));
        MeetSegments(Node(geo, R, i + 1), t2, Node(geo, R - 1, i - 1), Node(geo, R - 1, i), &t);
        GEO_POINT v = Node(geo, R - 1, i);
        if (Search(image, &v, &t, Node(geo, R, i), w2) < kCompleteMinScore) return kDmStatusNoCandidate;
        MeetSegments(Node(geo, R, i + 1), t2, Node(geo, R - 1, i), t, &Node(geo, R - 1, i + 1));
        for (i32 j = 1; j <= R - 1; ++j) {
            MeetSegments(Node(geo, R - j + 1, i + 1), Node(geo, R - j, i + 1), Node(geo, R - j - 1, i - 1),
                         Node(geo, R - j - 1, i), &t);
            t2 = t;
            GEO_POINT va = Node(geo, R - j - 1, i);
            if (Search(image, &va, &t, Node(geo, R - j, i), h2) < kCompleteMinScore) return kDmStatusNoCandidate;
            GEO_POINT vb = Node(geo, R - j, i + 1);
            if (Search(image, &vb, &t2, Node(geo, R - j, i), w2) < kCompleteMinScore) return kDmStatusNoCandidate;
            MeetSegments(Node(geo, R - j, i + 1), t2, Node(geo, R - j - 1, i), t, &Node(geo, R - j - 1, i + 1));
        }
    }
    return 0;
}

}  // namespace vexo
