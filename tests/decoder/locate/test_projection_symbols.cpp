// Projection proposals over rendered EAN-13 and Code 128 symbols placed across the central
// third of 752 x 480 frames (the only area the proposals look at), upright and turned a
// quarter: one of the proposed quads must hold the symbol's centre.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "locate/projection.h"
#include "support/render.h"
#include "support/symbol.h"
#include "test_finder_support.h"

namespace {

struct Case {
    int symbology;
    const char *data;
    double moduleSize;
    double x, y;  // centre, inside the central third (250..499 x 160..319)
    double noise;
};

class ProjectionSymbolTest : public finder_test::FinderTest {
protected:
    // Runs the linear stage's proposal calls: the row pass first, the column pass after it.
    void Propose(testkit::Frame &frame, std::vector<vexo::REGION_QUAD> *rowPass, std::vector<vexo::REGION_QUAD> *colPass) {
        Install(frame.pixels.data(), frame.width, frame.height);
        ASSERT_EQ(vexo::Loc_ProjectionThresholds(), 1);
        vexo::REGION_QUAD quads[40];
        const int n = vexo::Loc_ColumnProjectionQuads(quads, 40);
        ASSERT_LE(n, 39);
        rowPass->assign(quads, quads + n);
        const int m = vexo::Loc_RowProjectionQuads(quads, 40);
        ASSERT_LE(m, 39);
        colPass->assign(quads, quads + m);
    }
};

bool Holds(const std::vector<vexo::REGION_QUAD> &quads, testkit::Point p) {
    for (const vexo::REGION_QUAD &q : quads)
        if (p.x >= q.c[0].x && p.x <= q.c[1].x && p.y >= q.c[0].y && p.y <= q.c[2].y) return true;
    return false;
}

std::string List(const std::vector<vexo::REGION_QUAD> &quads) {
    std::string s;
    for (const vexo::REGION_QUAD &q : quads) s += finder_test::Describe(q) + " ";
    return s.empty() ? "none" : s;
}

TEST_F(ProjectionSymbolTest, LinearSymbolsAcrossTheCentralThirdAreProposed) {
    const Case cases[] = {
        {BARCODE_EANX, "590123412345", 2, 376, 240, 0},
        {BARCODE_EANX, "400638133393", 1.5, 300, 200, 3},
        {BARCODE_EANX, "978020137962", 2, 440, 290, 4},
        {BARCODE_EANX, "501234567890", 2.5, 350, 180, 2},
        {BARCODE_CODE128, "PROJECTION", 2, 376, 240, 0},
        {BARCODE_CODE128, "LEFT 1234", 1.5, 290, 250, 3},
        {BARCODE_CODE128, "RIGHT-56", 2, 450, 200, 4},
        {BARCODE_CODE128, "low", 3, 380, 300, 2},
    };
    uint64_t seed = 100;
    for (const Case &c : cases) {
        const testkit::Symbol sym = testkit::Encode(c.symbology, c.data);
        ASSERT_TRUE(sym.ok) << sym.error;
        for (double angle : {0.0, 90.0}) {
            SCOPED_TRACE(testing::Message() << c.data << " " << c.moduleSize << " px at (" << c.x << ", " << c.y
                                            << "), " << angle << " degrees, seed " << seed);
            testkit::RenderOptions o;
            o.moduleSize = c.moduleSize;
            o.angleDeg = angle;
            o.center = testkit::Point{c.x, c.y};
            o.quietZone = 10;
            o.noiseSigma = c.noise;
            o.blurSigma = 0.5;
            o.seed = seed++;
            testkit::Rendered r = testkit::Render(sym, o);
            const testkit::Point centre = r.transform.ToImage(testkit::Point{sym.width / 2, sym.height / 2});
            std::vector<vexo::REGION_QUAD> rowPass, colPass;
            Propose(r.frame, &rowPass, &colPass);
            if (angle == 0) {
                EXPECT_TRUE(Holds(rowPass, centre)) << "row pass: " << List(rowPass);
            } else {
                EXPECT_TRUE(Holds(colPass, centre)) << "column pass: " << List(colPass);
            }
        }
    }
}

}  // namespace
