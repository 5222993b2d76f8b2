// Han Xin core tests on synthetic images: recentring in a run and the compactness walks.
#include <vector>

#include "core/pixel.h"
#include "decoder_test.h"
#include "hanxin/cscn_core_tests.h"

namespace {

using namespace vexo;

class HanXinCore : public vexo_test::DecoderTest {
protected:
    // A w x h image of `ground` with a rectangle [x0, x1] x [y0, y1] of `ink`.
    void Install(int w, int h, int ground, int ink, int x0, int y0, int x1, int y1) {
        image_.assign(static_cast<size_t>(w) * h, static_cast<u8>(ground));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) image_[static_cast<size_t>(y) * w + x] = static_cast<u8>(ink);
        Pix_SetImageSize(w, h);
        Pix_SetImagePointer(image_.data());
    }
    std::vector<u8> image_;
};

TEST_F(HanXinCore, RecentreFindsTheMiddleOfTheRun) {
    Install(60, 60, 220, 30, 20, 20, 28, 28);
    POINT_I32 p = CSCN_RecentreInRun(22, 25, 1);
    EXPECT_EQ(p.x * 100 + p.y, 2424);
    // A run reaching the border ends at column (row) 2 and W - 2 (H - 2).
    Install(60, 60, 220, 30, 0, 20, 59, 28);
    p = CSCN_RecentreInRun(10, 22, 1);
    EXPECT_EQ(p.x * 100 + p.y, 3024);
    // Light modules on a dark ground.
    Install(60, 60, 30, 220, 20, 20, 28, 28);
    p = CSCN_RecentreInRun(27, 21, 2);
    EXPECT_EQ(p.x * 100 + p.y, 2424);
    // Within 3 pixels of the border: unchanged.
    p = CSCN_RecentreInRun(2, 30, 1);
    EXPECT_EQ(p.x * 100 + p.y, 230);
    p = CSCN_RecentreInRun(30, 58, 1);
    EXPECT_EQ(p.x * 100 + p.y, 3058);
}

TEST_F(HanXinCore, CompactnessTable) {
    struct Case {
        const char *name;
        int x0, y0, x1, y1;  // the dark rectangle
        int cx, cy, limit, pass;
    };
    const Case cases[] = {
        {"square core", 20, 20, 28, 28, 24, 24, 10, 1},
        {"square core over the limit", 20, 20, 28, 28, 24, 24, 3, 0},
        {"tall bar", 20, 5, 28, 54, 24, 30, 100, 0},
        {"wide bar", 5, 20, 54, 28, 30, 24, 100, 0},
        {"2 : 1 is compact enough", 16, 20, 33, 28, 24, 24, 20, 1},
        {"centre at the border", 20, 20, 28, 28, 3, 24, 10, 0},
        {"centre at the far border", 20, 20, 28, 28, 24, 56, 10, 0},
    };
    for (const Case &c : cases) {
        Install(60, 60, 220, 30, c.x0, c.y0, c.x1, c.y1);
        EXPECT_EQ(CSCN_CoreCompact(c.cx, c.cy, 1, c.limit), c.pass) << c.name;
    }
    // Walks reaching the image's edges stay inside it (a dark frame: ASan checks the reads).
    Install(12, 12, 30, 30, 0, 0, 11, 11);
    EXPECT_EQ(CSCN_CoreCompact(6, 6, 1, 100), 1);
    Pix_SetImagePointer(nullptr);
    EXPECT_EQ(CSCN_CoreCompact(24, 24, 1, 10), 0);
}

}  // namespace
