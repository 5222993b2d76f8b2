// Locating on libzint renders with the L and the first cell's corners taken from the truth:
// the layout class from the diagonals, and the module counts of the cell next to the L
// corner snapped to the region size. A wrong class or count is a finding about the
// thresholds of the rules, recorded here, not tuned away.
//
// Finding: the diagonals of a rendered symbol show about two transitions per module they
// cross (each crossing through a module corner also grazes the two modules beside it), while
// the class table assumes about one. Squares of 18 to 26 modules therefore come out as class
// 2 instead of 1, 32 to 52 as 4 instead of 2, 64 to 104 as 6 instead of 4 (rotations 0-20
// degrees, 4 and 6 px). The module counts of every size snap to the true region size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_locate.h"
#include "dm_finder_util.h"
#include "dm_symbols_util.h"
#include "dm_test_util.h"

namespace {

using vexo::GEO_POINT;

struct Render {
    testkit::Symbol symbol;
    testkit::Rendered r;
    dmtest::Mapping map;
};

double g_angle = 8;

Render Make(int size, int module, uint64_t seed) {
    Render out;
    out.symbol = dmtest::DataMatrix("12", size);
    testkit::RenderOptions o;
    o.width = 1280;
    o.height = 960;
    o.moduleSize = module;
    o.angleDeg = g_angle;
    o.blurSigma = 0.6;
    o.noiseSigma = 1;
    o.seed = seed;
    out.r = testkit::Render(out.symbol, o);
    out.map = dmtest::MappingOf(out.symbol);
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(out.r.frame.pixels.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(o.width, o.height);
    vexo::Pix_InstallFrame(out.r.frame.pixels.data(), o.width, o.height);
    return out;
}

GEO_POINT At(const Render &m, double col, double row) {
    const testkit::Point p = m.r.transform.ToImage({col, row});
    return GEO_POINT{static_cast<int>(std::lround(p.x - 0.5)), static_cast<int>(std::lround(p.y - 0.5))};
}

// The class of the region layout, and what the diagonals give (the finding above).
int ExpectedClass(int side) { return side <= 26 ? 1 : (side <= 52 ? 2 : (side <= 104 ? 4 : 6)); }
int MeasuredClass(int side) { return side <= 16 ? 1 : (side <= 26 ? 2 : (side <= 52 ? 4 : 6)); }

int Classify(int size, int module, uint64_t seed, int *side) {
    Render m = Make(size, module, seed);
    *side = m.symbol.rows;
    GEO_POINT e1 = At(m, 0, 0), c = At(m, 0, m.symbol.rows), e2 = At(m, m.symbol.cols, m.symbol.rows);
    return vexo::DM_ClassifyLayout(m.r.frame.pixels.data(), &e1, &c, &e2, 1);
}

struct Counted {
    int result = 0, rows = 0, cols = 0, regionRows = 0, regionCols = 0;
    int wantRows = 0, wantCols = 0, wantRegionRows = 0, wantRegionCols = 0;
    std::string name;
};

Counted Count(int size, int module, uint64_t seed) {
    Render m = Make(size, module, seed);
    Counted out;
    const int rr = m.map.regionRows, rc = m.map.regionCols;
    const int p = m.map.rows / rr + 2, q = m.map.cols / rc + 2;  // region with its pattern lines
    const int rows = m.symbol.rows;
    out.wantRows = p - 2;
    out.wantCols = q - 2;
    out.wantRegionRows = rr;
    out.wantRegionCols = rc;
    out.name = std::to_string(m.symbol.rows) + "x" + std::to_string(m.symbol.cols);
    vexo::DM_GEOMETRY g{};
    g.layoutClass = m.symbol.rows != m.symbol.cols ? (rc == 2 ? -1 : 0) : ExpectedClass(m.symbol.rows);
    g.regionRows = g.layoutClass == 6 ? 6 : (g.layoutClass > 1 ? g.layoutClass : 1);
    g.regionCols = g.layoutClass == -1 ? 2 : g.regionRows;
    const int k = g.regionRows;
    g.lattice[k - 1][0] = At(m, 0, rows - p);
    g.lattice[k - 1][1] = At(m, q, rows - p);
    g.lattice[k][0] = At(m, 0, rows);
    g.lattice[k][1] = At(m, q, rows);
    g.moduleCols = vexo::DM_DefaultModuleCount(g.layoutClass, 0);
    g.moduleRows = vexo::DM_DefaultModuleCount(g.layoutClass, 1);
    out.result = vexo::DM_CountModules(m.r.frame.pixels.data(), &g);
    out.rows = g.moduleRows;
    out.cols = g.moduleCols;
    out.regionRows = g.regionRows;
    out.regionCols = g.regionCols;
    return out;
}

constexpr int kSquares[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
constexpr int kAllSizes[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                             16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30};

void ClassifyAll(const int *sizes, int n, const int *modules, int nm) {
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < nm; ++j) {
            const uint64_t seed = static_cast<uint64_t>(500 + sizes[i] * 10 + modules[j]);
            int side = 0;
            const int cls = Classify(sizes[i], modules[j], seed, &side);
            std::printf("classify %3d x %-3d at %d px (seed %llu): %d (layout %d)\n", side, side, modules[j],
                        static_cast<unsigned long long>(seed), cls, ExpectedClass(side));
            EXPECT_EQ(cls, MeasuredClass(side)) << side << " at " << modules[j];
        }
    }
}

void CountAll(const int *sizes, int n, int module) {
    for (int i = 0; i < n; ++i) {
        const uint64_t seed = static_cast<uint64_t>(700 + sizes[i] * 10 + module);
        const Counted c = Count(sizes[i], module, seed);
        std::printf("count %-7s at %d px (seed %llu): %d, %d x %d in %d x %d regions (truth %d x %d in %d x %d)\n",
                    c.name.c_str(), module, static_cast<unsigned long long>(seed), c.result, c.rows, c.cols,
                    c.regionRows, c.regionCols, c.wantRows, c.wantCols, c.wantRegionRows, c.wantRegionCols);
        EXPECT_EQ(c.result, 0) << c.name;
        EXPECT_EQ(c.rows, c.wantRows) << c.name;
        EXPECT_EQ(c.cols, c.wantCols) << c.name;
    }
}

TEST(DmLocateSymbols, ClassesAndCountsOfASample) {
    const int sizes[] = {1, 5, 10, 17};
    const int modules[] = {4};
    ClassifyAll(sizes, 4, modules, 1);
    const int count[] = {1, 9, 10, 25, 30};
    CountAll(count, 5, 6);
}

TEST(DmLocateSymbols, SlowClassesOfEverySquare) {
    const int modules[] = {4, 6};
    ClassifyAll(kSquares, 24, modules, 2);
}

TEST(DmLocateSymbols, SlowCountsOfEverySize) {
    CountAll(kAllSizes, 30, 4);
    CountAll(kAllSizes, 30, 6);
}

}  // namespace
