// Locating an Aztec symbol around its bulls-eye and sampling its modules: the ring sides and
// probes give a first grid-to-image transform in a working frame, the module edges sharpen
// it, the mode ring gives the size and the orientation, and the grid is re-indexed to the
// symbol's own frame before every module is sampled and binarised.
#include "aztec_maxicode/azt_data.h"
#include "aztec_maxicode/azt_symbol.h"
#include "core/pixel.h"
#include "toolkit/geometry_points.h"
#include "toolkit/matrix.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

// Constants of the two locators.
struct LOCATOR {
    i32 full;
    i32 firstGrid[4][2];    // grid points of image points 0-3 in the first fit
    i32 probeTarget[4][2];  // left, top, right, bottom
    i32 probeGrid[4][2];
    i32 shift;
    i32 refineStart, refineReach, refineBand;
};

constexpr LOCATOR kCompactLocator = {0, {{2, 2}, {8, 2}, {8, 8}, {2, 8}}, {{0, 5}, {5, 0}, {12, 5}, {5, 12}},
                                     {{2, 5}, {5, 2}, {8, 5}, {5, 8}}, 20, 1, 8, 3};
constexpr LOCATOR kFullLocator = {1, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{-2, 5}, {5, -2}, {12, 5}, {5, 12}},
                                  {{0, 5}, {5, 0}, {10, 5}, {5, 10}}, 25, 1, 10, 5};
constexpr i32 kFirstCentre = 5;

// Mode rings: offsets from the centre module, side by side, each side starting with the
// three orientation positions around a corner (ISO/IEC 24778, mode message and orientation
// patterns).
constexpr i32 kCompactRingSide = 10;
constexpr i32 kCompactRing[4 * kCompactRingSide][2] = {
    {-5, -4}, {-5, -5}, {-4, -5}, {-3, -5}, {-2, -5}, {-1, -5}, {0, -5}, {1, -5}, {2, -5}, {3, -5},
    {4, -5},  {5, -5},  {5, -4},  {5, -3},  {5, -2},  {5, -1},  {5, 0},  {5, 1},  {5, 2},  {5, 3},
    {5, 4},   {5, 5},   {4, 5},   {3, 5},   {2, 5},   {1, 5},   {0, 5},  {-1, 5}, {-2, 5}, {-3, 5},
    {-4, 5},  {-5, 5},  {-5, 4},  {-5, 3},  {-5, 2},  {-5, 1},  {-5, 0}, {-5, -1}, {-5, -2}, {-5, -3},
};
static_assert(sizeof(kCompactRing) / sizeof(kCompactRing[0]) == 40);
constexpr i32 kFullRingSide = 14;
constexpr i32 kFullRing[4 * kFullRingSide][2] = {
    {-7, -6}, {-7, -7}, {-6, -7}, {-5, -7}, {-4, -7}, {-3, -7}, {-2, -7},
    {-1, -7}, {0, -7},  {1, -7},  {2, -7},  {3, -7},  {4, -7},  {5, -7},
    {6, -7},  {7, -7},  {7, -6},  {7, -5},  {7, -4},  {7, -3},  {7, -2},
    {7, -1},  {7, 0},   {7, 1},   {7, 2},   {7, 3},   {7, 4},   {7, 5},
    {7, 6},   {7, 7},   {6, 7},   {5, 7},   {4, 7},   {3, 7},   {2, 7},
    {1, 7},   {0, 7},   {-1, 7},  {-2, 7},  {-3, 7},  {-4, 7},  {-5, 7},
    {-6, 7},  {-7, 7},  {-7, 6},  {-7, 5},  {-7, 4},  {-7, 3},  {-7, 2},
    {-7, 1},  {-7, 0},  {-7, -1}, {-7, -2}, {-7, -3}, {-7, -4}, {-7, -5},
};
static_assert(sizeof(kFullRing) / sizeof(kFullRing[0]) == 56);

// Orientation patterns, three bits per side in ring order (1 dark); pattern r has the
// symbol's top side on ring side r.
constexpr u8 kOrientation[4][12] = {
    {1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 0, 0},
    {0, 0, 0, 1, 1, 1, 0, 1, 1, 1, 0, 0},
    {1, 0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 1},
    {0, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 1},
};
static_assert(sizeof(kOrientation) == 48);

constexpr i32 kFitScale = 1 << 20;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }

int Map(const AZT_SYMBOL *s, i32 u, i32 v, GEO_POINT *out) {
    return Geo_MapPointPerspective(&s->toImage, u, v, &out->x, &out->y);
}

void RemapImagePoints(AZT_SYMBOL *s) {
    for (i32 k = 0; k < s->pairCount && k < 9; ++k) Map(s, s->grid[k].x, s->grid[k].y, &s->image[k]);
}

void PrepareFits(AZT_SYMBOL *s) {
    s->fitInt = PERSPECTIVE_FIT{};
    s->fitInt.to = s->image;
    s->fitInt.from = s->grid;
    s->fitInt.reset = 1;
    s->fitInt.outInt = &s->toImage;
    s->fitInt.scale = kFitScale;
    s->fitFloat = PERSPECTIVE_FIT{};
    s->fitFloat.to = s->grid;
    s->fitFloat.from = s->image;
    s->fitFloat.reset = 1;
    s->fitFloat.outFloat = &s->toGrid;
}

int FitInt(AZT_SYMBOL *s, i32 reset) {
    s->fitInt.count = s->pairCount;
    s->fitInt.reset = reset;
    return Geo_FitPerspectiveInt(&s->fitInt, 1);
}

int FitFloat(AZT_SYMBOL *s, i32 reset) {
    s->fitFloat.count = s->pairCount;
    s->fitFloat.reset = reset;
    return Geo_FitPerspectiveFloat(&s->fitFloat, 1);
}

void ToArray(const GEO_POINT &p, i32 out[2]) {
    out[0] = p.x;
    out[1] = p.y;
}

// The ring sides, their corners and the five-pair fit.
int FitFirstGrid(const LOCATOR &k, AZT_SYMBOL *s, LINE_FIT sides[4]) {
    i32 c[2];
    ToArray(s->image[4], c);
    for (int i = 0; i < 4; ++i) {
        i32 a[2], b[2];
        ToArray(s->image[i], a);
        ToArray(s->image[(i + 1) & 3], b);
        if (Azt_FitRingSide(a, b, c, &sides[i]) == 0) return 0;
    }
    for (int i = 0; i < 4; ++i) {
        if (Geo_IntersectLineFits(&sides[(i + 3) & 3], &sides[i], &s->image[i]) == 0) return 0;
    }
    for (int i = 0; i < 4; ++i) s->grid[i] = GEO_POINT{k.firstGrid[i][0], k.firstGrid[i][1]};
    s->grid[4] = GEO_POINT{kFirstCentre, kFirstCentre};
    s->pairCount = 5;
    if (FitInt(s, 1) == 0) return 0;
    s->centreU = s->centreV = kFirstCentre;
    return 1;
}

// The probes, their parallels and the corners where those meet.
int ProbeRing(const LOCATOR &k, AZT_SYMBOL *s, const LINE_FIT sides[4]) {
    // Left, top, right and bottom probes run parallel to sides 3, 0, 1 and 2.
    static constexpr int kSideOf[4] = {3, 0, 1, 2};
    LINE_FIT parallel[4];
    i32 c[2];
    ToArray(s->image[4], c);
    for (int i = 0; i < 4; ++i) {
        GEO_POINT target{};
        if (Map(s, k.probeTarget[i][0], k.probeTarget[i][1], &target) == 0) return 0;
        i32 t[2], inner[2], outer[2];
        ToArray(target, t);
        if (Azt_ProbeRingRuns(c, t, inner, outer, k.full == 0 ? 1 : 0) == 0) return 0;
        s->image[5 + i] = GEO_POINT{outer[0], outer[1]};
        s->grid[5 + i] = GEO_POINT{k.probeGrid[i][0], k.probeGrid[i][1]};
        Geo_ParallelLineThrough(&sides[kSideOf[i]], &s->image[5 + i], &parallel[i]);
    }
    s->pairCount = 9;
    // Corners: top-left, top-right, bottom-right, bottom-left (probes 1&0, 1&2, 2&3, 3&0).
    static constexpr int kMeet[4][2] = {{1, 0}, {1, 2}, {2, 3}, {3, 0}};
    for (int i = 0; i < 4; ++i) {
        if (Geo_IntersectLineFits(&parallel[kMeet[i][0]], &parallel[kMeet[i][1]], &s->image[i]) == 0) return 0;
    }
    return 1;
}

int Locate(const LOCATOR &k, const AZT_GEOMETRY *geometry, AZT_SYMBOL *s) {
    if (geometry == nullptr || s == nullptr || geometry->full != k.full) return 0;
    s->polarity = geometry->polarity;
    s->size = 0;
    PrepareFits(s);
    const AZT_BULLSEYE &b = g_aztDriver.bullseye;
    // The reported corners are the bulls-eye's, Q0 (the orientation corner) top-left.
    REGION_QUAD &q = g_aztDriver.corners;
    static constexpr int kCornerOf[4] = {0, 1, 3, 2};
    for (int i = 0; i < 4; ++i) q.c[i] = POINT_I32{b.q[kCornerOf[i]][0] / 16, b.q[kCornerOf[i]][1] / 16};
    static constexpr int kImageOf[4] = {3, 0, 1, 2};
    for (int i = 0; i < 4; ++i) s->image[i] = GEO_POINT{b.q[kImageOf[i]][0], b.q[kImageOf[i]][1]};
    s->image[4] = GEO_POINT{b.centreX, b.centreY};
    LINE_FIT sides[4];
    if (FitFirstGrid(k, s, sides) == 0) return 0;
    Azt_MeasureModuleContrast(s);
    if (ProbeRing(k, s, sides) == 0) return 0;
    for (int i = 0; i < 9; ++i) s->grid[i] = GEO_POINT{s->grid[i].x + k.shift, s->grid[i].y + k.shift};
    s->centreU = s->centreV = kFirstCentre + k.shift;
    if (FitInt(s, 1) == 0 || FitFloat(s, 1) == 0) return 0;
    if (Azt_RefineGridFromEdges(s, s->centreU, s->centreV, k.refineStart, k.refineReach, k.refineBand) == 1)
        RemapImagePoints(s);
    if ((k.full != 0 ? Azt_ReadFullModeRing(s) : Azt_ReadCompactModeRing(s)) == 0) return 0;
    const i32 c = s->size >> 1;
    GEO_POINT a{}, z{};
    Map(s, c + 2, c, &z);
    Map(s, c - 2, c, &a);
    s->uStepX = z.x - a.x;
    s->uStepY = z.y - a.y;
    Map(s, c, c + 2, &z);
    Map(s, c, c - 2, &a);
    s->vStepX = z.x - a.x;
    s->vStepY = z.y - a.y;
    return 1;
}

// Turns the grid points about the old centre so that ring side q becomes the top, and
// moves the centre to size >> 1.
void Reindex(AZT_SYMBOL *s, int q) {
    const GEO_POINT c{s->centreU, s->centreV};
    const i32 shift = (s->size >> 1) - s->centreU;
    for (i32 k = 0; k < s->pairCount && k < 9; ++k) {
        GEO_POINT p = s->grid[k];
        if (q == 1) Geo_RotateMinus90(&c, &s->grid[k], &p);
        else if (q == 2) Geo_ReflectPoint(&c, &s->grid[k], &p);
        else if (q == 3) Geo_RotatePlus90(&c, &s->grid[k], &p);
        s->grid[k] = GEO_POINT{p.x + shift, p.y + shift};
    }
    s->centreU = s->centreV = s->size >> 1;
}

int ReadModeRing(AZT_SYMBOL *s, const i32 (*ring)[2], int side, int modeBits, int full) {
    constexpr int kMost = 4 * kFullRingSide + 1;
    i32 grid[kMost][2], image[kMost][2];
    u8 bits[kMost];
    const int n = 4 * side;
    for (int i = 0; i < n; ++i) {
        grid[i][0] = s->centreU + ring[i][0];
        grid[i][1] = s->centreV + ring[i][1];
    }
    grid[n][0] = s->centreU;
    grid[n][1] = s->centreV;
    int threshold = 0;
    Azt_SamplePoints(&s->toImage, s->polarity, grid, image, bits, n + 1, &threshold);
    int best = 0, fewest = 13;
    for (int r = 0; r < 4; ++r) {
        int miss = 0;
        for (int i = 0; i < 12; ++i) miss += bits[(i / 3) * side + i % 3] != kOrientation[r][i] ? 1 : 0;
        if (miss < fewest) {
            fewest = miss;
            best = r;
        }
    }
    for (int turn = 0; turn < 4; ++turn) {
        const int q = (best + turn) & 3;
        u8 mode[40];
        int m = 0;
        for (int j = 0; j < 4; ++j) {
            const int at = ((q + j) & 3) * side;
            for (int i = 3; i < side; ++i) {
                // The full-range ring's middle position is the reference grid's crossing.
                if (full != 0 && i == 8) continue;
                if (m < modeBits) mode[m++] = bits[at + i];
            }
        }
        s->size = Azt_SymbolSizeFromModeMessage(mode, modeBits, full);
        if (s->size <= 0) continue;
        Reindex(s, q);
        FitInt(s, 1);
        FitFloat(s, 1);
        RemapImagePoints(s);
        return 1;
    }
    return 0;
}

// Darkest pixel of the 3 x 3 block (outside pixels 0) in the examination order.
u8 DarkestAround(i32 x, i32 y, i32 *bx, i32 *by) {
    static constexpr i32 kOrder[9][2] = {{0, 0}, {-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    u8 best = 255;
    *bx = x;
    *by = y;
    for (int i = 0; i < 9; ++i) {
        const i32 v = Geo_PixelOrDefault(x + kOrder[i][0], y + kOrder[i][1], 0);
        if (i == 0 || v < best) {
            best = static_cast<u8>(v);
            *bx = x + kOrder[i][0];
            *by = y + kOrder[i][1];
        }
    }
    return best;
}

}  // namespace

int Azt_LocateCompact(const AZT_GEOMETRY *geometry, AZT_SYMBOL *symbol) {
    return Locate(kCompactLocator, geometry, symbol);
}

int Azt_LocateFull(const AZT_GEOMETRY *geometry, AZT_SYMBOL *symbol) { return Locate(kFullLocator, geometry, symbol); }

int Azt_ReadCompactModeRing(AZT_SYMBOL *symbol) {
    if (symbol == nullptr) return 0;
    return ReadModeRing(symbol, kCompactRing, kCompactRingSide, 28, 0);
}

int Azt_ReadFullModeRing(AZT_SYMBOL *symbol) {
    if (symbol == nullptr) return 0;
    return ReadModeRing(symbol, kFullRing, kFullRingSide, 40, 1);
}

void Azt_SamplePoints(const PERSPECTIVE *t, int polarity, const i32 grid[][2], i32 image[][2], u8 bits[], int n,
                      int *threshold) {
    if (n < 1 || t == nullptr || grid == nullptr || image == nullptr || bits == nullptr) {
        if (threshold != nullptr) *threshold = 127;
        return;
    }
    const i64 w16 = 16 * static_cast<i64>(g_frame.width), h16 = 16 * static_cast<i64>(g_frame.height);
    int lo = 255, hi = 0;
    for (int i = 0; i < n; ++i) {
        i32 x = 0, y = 0;
        bits[i] = 0;
        if (Geo_MapPointPerspective(t, grid[i][0], grid[i][1], &x, &y) == 0) continue;
        if (x < 0 || x >= w16 || y < 0 || y >= h16) continue;
        image[i][0] = x;
        image[i][1] = y;
        const int v = g_frame.sampleBilinear != nullptr ? g_frame.sampleBilinear(x, y, 0) : 0;
        bits[i] = static_cast<u8>(v);
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    const int level = (lo + hi) >> 1;
    for (int i = 0; i < n; ++i) bits[i] = ((bits[i] <= level) == (polarity != 0)) ? 1 : 0;
    if (threshold != nullptr) *threshold = level;
}

void Azt_MeasureModuleContrast(AZT_SYMBOL *s) {
    if (s == nullptr) return;
    s->moduleSize = 0;
    s->minEdgeStep = 10;
    s->edgeRatio = 307;
    const i32 cu = s->centreU, cv = s->centreV;
    // Pairs: right - left, lower - upper, and the two diagonals.
    static constexpr i32 kPairs[4][4] = {{-1, 0, 1, 0}, {0, -1, 0, 1}, {-1, -1, 1, 1}, {-1, 1, 1, -1}};
    i32 span = 0;
    for (const auto &p : kPairs) {
        GEO_POINT a{}, b{};
        if (Map(s, cu + p[0], cv + p[1], &a) == 0 || Map(s, cu + p[2], cv + p[3], &b) == 0) continue;
        const i32 dx = Abs32(b.x - a.x), dy = Abs32(b.y - a.y);
        span = dx > span ? dx : span;
        span = dy > span ? dy : span;
    }
    s->moduleSize = span >> 5;
    auto sample = [s](i32 u, i32 v, i32 dflt) {
        GEO_POINT p{};
        if (Map(s, u, v, &p) == 0 || g_frame.sampleBilinear == nullptr) return dflt;
        return g_frame.sampleBilinear(p.x, p.y, dflt);
    };
    const i32 e = (sample(cu + 1, cv, 255) + sample(cu - 1, cv, 255) + sample(cu, cv + 1, 255) + sample(cu, cv - 1, 255)) >> 2;
    const i32 d = (sample(cu + 2, cv, 0) + sample(cu - 2, cv, 0) + sample(cu, cv + 2, 0) + sample(cu, cv - 2, 0)) >> 2;
    const i32 m = e > d ? e : d;
    if (m <= 0) return;
    const i32 k = 2 * m - e - d;
    if (s->moduleSize > 8) {
        s->minEdgeStep = 80 * k / 100;
        s->edgeRatio = 81920 * k / (100 * m);
    } else {
        s->minEdgeStep = 75 * k / 100;
        s->edgeRatio = 76800 * k / (100 * m);
    }
}

int Azt_RefineCentre(const i32 point[2], i32 out[2]) {
    if (point == nullptr || out == nullptr) return 0;
    out[0] = static_cast<i32>(static_cast<i64>(point[0]) * 16);
    out[1] = static_cast<i32>(static_cast<i64>(point[1]) * 16);
    if (Geo_InFrame(point[0], point[1]) == 0) return 0;
    i32 x = point[0], y = point[1];
    int made = 0;
    bool settled = false;
    while (made < 4 && !settled) {
        ++made;
        i32 bx = x, by = y;
        if (DarkestAround(x, y, &bx, &by) == 255) return 0;
        settled = bx == x && by == y;
        x = bx;
        y = by;
    }
    if (!settled) return 0;
    i32 top = 0;
    for (i32 dy = -1; dy <= 1; ++dy)
        for (i32 dx = -1; dx <= 1; ++dx) {
            const i32 v = Geo_PixelOrDefault(x + dx, y + dy, 0);
            top = v > top ? v : top;
        }
    i64 sum = 0, sx = 0, sy = 0;
    for (i32 dy = -1; dy <= 1; ++dy)
        for (i32 dx = -1; dx <= 1; ++dx) {
            const i64 w = top - Geo_PixelOrDefault(x + dx, y + dy, 0);
            sum += w;
            sx += w * (x + dx);
            sy += w * (y + dy);
        }
    if (sum <= 0) return 0;
    out[0] = static_cast<i32>(16 * sx / sum);
    out[1] = static_cast<i32>(16 * sy / sum);
    return made;
}

int Azt_ReadCompactGrid(AZT_SYMBOL *s) {
    if (s == nullptr || s->located != 1 || s->size <= 0 || s->size > 27 || g_aztDriver.modules == nullptr ||
        g_aztDriver.grid == nullptr)
        return 0;
    // The four-layer symbol's outer modules lie furthest from the bulls-eye's edges.
    if (s->size > 26) Azt_RefineGridFromEdges(s, s->size >> 1, s->size >> 1, 7, 12, 4);
    if (Azt_SampleSymbolModules(s, g_aztDriver.modules) == 0) return 0;
    MODULE_BITS m{g_aztDriver.modules, g_aztDriver.grid, s->size, s->size, s->polarity, 1, 15};
    if (Geo_BinariseModules(&m) == 0) {
        g_aztDriver.status = kAztStatusBinarise;
        return 0;
    }
    return 1;
}

int Azt_SampleModuleRect(const PERSPECTIVE *t, i32 u0, i32 v0, i32 u1, i32 v1, u8 *out, i32 stride) {
    if (t == nullptr || out == nullptr) return 0;
    GRID_WALK walk{};
    walk.transform = *t;
    walk.firstColumn = u0;
    walk.firstRow = v0;
    walk.lastColumn = u1;
    walk.lastRow = v1;
    walk.outStep = stride;
    walk.outBase = out;
    walk.param = 128;
    walk.rowCallback = g_frame.sampleBilinearMany;
    if (walk.rowCallback == nullptr) return 0;
    return Geo_MapGridRows(&walk);
}

int Azt_SampleSymbolModules(const AZT_SYMBOL *s, u8 *grey) {
    if (s == nullptr || grey == nullptr || s->size < 2 || s->size > 151) return 0;
    return Azt_SampleModuleRect(&s->toImage, 0, 0, s->size - 1, s->size - 1, grey, s->size);
}

int Azt_ReadFullGrid(u8 *grid) {
    AZT_SYMBOL *s = g_aztDriver.current;
    if (grid == nullptr || s == nullptr || s->size <= 0 || s->size > 151 || g_aztDriver.modules == nullptr) return 0;
    Azt_SetReferenceLines(s->size);
    if (Azt_TraceReferenceGrid() == 0) {
        g_aztDriver.status = kAztStatusFullTrace;
        return 0;
    }
    if (Azt_SampleFullModules(g_aztDriver.modules) == 0) {
        g_aztDriver.status = kAztStatusFullSample;
        return 0;
    }
    MODULE_BITS m{g_aztDriver.modules, grid, s->size, s->size, s->polarity, 0, 20};
    if (Geo_BinariseModules(&m) == 0) {
        g_aztDriver.status = kAztStatusBinarise;
        return 0;
    }
    return 1;
}

}  // namespace vexo
