// The driver end to end from frontal renders of libzint symbols: a scripted locate gives
// the true region lattice with module counts as measured (right, or one off), and a fake
// sampler reads the render on a grid of the requested module counts and writes the
// corners, as sampling does.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/params.h"
#include "dm_script.h"
#include "dm_symbols_util.h"
#include "dm_test_util.h"
#include "support/render.h"

namespace {

using dmtest::g_s;

const testkit::Rendered *g_render = nullptr;

// Module centres by bilinear interpolation between each region's four lattice nodes,
// read at the nearest pixel.
vexo::i32 RenderSampler(vexo::u8 *, vexo::DM_GEOMETRY *geo) {
    const int rr = geo->regionRows, rc = geo->regionCols, p = geo->moduleRows, q = geo->moduleCols;
    const vexo::GEO_POINT(&n)[7][7] = geo->lattice;
    vexo::g_dmResult.corners = vexo::REGION_QUAD{{n[0][0], n[0][rc], n[rr][0], n[rr][rc]}};
    for (int t = 0; t < rr; ++t) {
        for (int b = 0; b < rc; ++b) {
            for (int i = 0; i < p; ++i) {
                for (int j = 0; j < q; ++j) {
                    const double u = (j + 0.5) / q, v = (i + 0.5) / p;
                    const auto mix = [&](int a, int c) { return a * (1 - u) * (1 - v) + c * u * (1 - v); };
                    const double x = mix(n[t][b].x, n[t][b + 1].x) + n[t + 1][b].x * (1 - u) * v + n[t + 1][b + 1].x * u * v;
                    const double y = mix(n[t][b].y, n[t][b + 1].y) + n[t + 1][b].y * (1 - u) * v + n[t + 1][b + 1].y * u * v;
                    geo->modules[(t * p + i) * rc * q + b * q + j] = testkit::SampleNearest(g_render->frame, {x, y});
                }
            }
        }
    }
    return 0;
}

vexo::GEO_POINT Pixel(testkit::Point p) {
    return vexo::GEO_POINT{static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y))};
}

class DriverSymbols : public dmtest::DmTest {
protected:
    void TearDown() override { g_render = nullptr; }
};

TEST_F(DriverSymbols, FrontalRendersThroughTheSeam) {
    struct Case {
        int zintSize;
        bool invert;
        int error;  // measured data modules per region side off the truth
        int layoutClass;
    };
    const Case cases[] = {
        {1, false, 0, vexo::kDmLayoutSquare1},  {1, true, 0, vexo::kDmLayoutSquare1},
        {2, false, -1, vexo::kDmLayoutSquare1},  // 30 on the odd reading, then one module more
        {8, true, -1, vexo::kDmLayoutSquare1},   {10, false, 0, vexo::kDmLayoutSquare2},
        {16, true, 0, vexo::kDmLayoutSquare4},   {25, false, 0, vexo::kDmLayoutRectangle},
        {30, true, 0, vexo::kDmLayoutWideRectangle},
    };
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] = vexo::kFlagEnabled | 1u;  // rectangles too
    for (const Case &c : cases) {
        SCOPED_TRACE("libzint size " + std::to_string(c.zintSize) + (c.invert ? " light on dark" : ""));
        const std::string text = c.zintSize <= 2 || c.zintSize == 25 ? "1234" : "Data Matrix " + std::to_string(c.zintSize);
        const testkit::Symbol s = dmtest::DataMatrix(text, c.zintSize);
        ASSERT_TRUE(s.ok);
        const dmtest::Mapping m = dmtest::MappingOf(s);
        const testkit::Rendered r = testkit::Render(s, {.moduleSize = 4, .invert = c.invert, .seed = 7});
        g_render = &r;
        g_s = dmtest::Script{};
        g_s.sampler = RenderSampler;
        g_s.setGeometry = true;
        g_s.locateAnswers = {0};
        vexo::DM_GEOMETRY &g = g_s.geometry;
        g.layoutClass = c.layoutClass;
        g.regionRows = m.regionRows;
        g.regionCols = m.regionCols;
        g.moduleRows = m.rows / m.regionRows + c.error;
        g.moduleCols = m.cols / m.regionCols + c.error;
        const int p = s.rows / m.regionRows, q = s.cols / m.regionCols;
        for (int t = 0; t <= m.regionRows; ++t) {
            for (int b = 0; b <= m.regionCols; ++b) g.lattice[t][b] = Pixel(r.transform.ToImage({b * q * 1.0, t * p * 1.0}));
        }
        const vexo::GEO_POINT tl = g.lattice[0][0], bl = g.lattice[m.regionRows][0], br = g.lattice[m.regionRows][m.regionCols];
        g_s.candidates = {dmtest::L(tl, bl, br, c.invert ? 0 : 1)};
        EXPECT_EQ(vexo::DM_DecodeImageWith(&dmtest::kScripted), 0);
        EXPECT_EQ(dmtest::ResultText(), text);
        EXPECT_EQ(g_s.sampledRows.size(), c.error == 0 ? 1u : 2u);
        vexo::REGION_QUAD q4{};
        vexo::DM_GetCorners(&q4);
        EXPECT_EQ(q4.c[vexo::kBottomLeft].x, bl.x);
        EXPECT_EQ(q4.c[vexo::kBottomRight].y, br.y);
        const vexo::RESULT_STORE &rs = vexo::g_params.resultStore;
        EXPECT_EQ(rs.storedQuad[rs.storedCount - 1].c[vexo::kTopLeft].x, tl.x);
        vexo::g_params.resultStore.storedCount = 0;
    }
}

}  // namespace
