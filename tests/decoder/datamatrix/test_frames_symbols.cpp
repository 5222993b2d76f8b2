// Data Matrix read from camera-like frames through the exported decoder: libzint ECC 200
// symbols of every size, blur 0.8 px, mild perspective, noise, both polarities. The sample
// runs by default; the full sweep carries the label slow.
//
// Named misses (not tuned; causes found by tracing the locating step):
// - 12 x 26 (size 27) at 3-5 px: its arms lie below 3:5, so it is measured first as two
//   regions side by side (class -1); the cell's right side then falls on a data column,
//   whose transitions count as an 8 x 16 region, the lattice completes as 8 x 32 and the
//   data layer fails (-10). Class 0 is tried only after a failed measurement.
// - 26 x 26 (size 9) at 3-4 px on the axes: the diagonals count class 2, the 2 x 2 cell
//   measures and its completion fails, which ends the candidate (class 1 is not tried).
// - Rotations of 45, 135, 225 and 315 degrees: the L-finder's miss (both arms tracked to
//   one shared end point), so there is no candidate to locate.
// - Wide rectangles under a keystone of 8 % of their width (a side tilt of 9 degrees on
//   8 x 32): the first cell's inner side is predicted parallel to the left solid side and
//   the pair search turns it by at most its length / 16 pixels at each end, so the inner
//   node lands about a module off and the extrapolated outer side two modules inside. The
//   frames here narrow a rectangle by 8 % x rows / cols, the same camera tilt as a square.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "dm_frames_util.h"

namespace {

using FramesCase = dmframes::Case;

bool ExpectedMiss(const FramesCase &c) { return c.size == 27; }

// One fixed-seed case per square size and a few rectangles, angles spread over the circle.
std::vector<FramesCase> SampleCases() {
    std::vector<FramesCase> out;
    for (int size = 1; size <= dmframes::kAllSizes; ++size) {
        if (size == 9 || ExpectedMiss({.size = size})) continue;
        FramesCase c;
        c.size = size;
        c.module = size <= 8 ? 4 + size % 3 : (size <= 16 ? 4 : 3);
        c.angle = (size * 105) % 360 / 15 * 15;
        c.noise = size % 2 == 0 ? 1 : 3;
        c.invert = size % 4 == 3;
        c.seed = 100 + size;
        out.push_back(c);
    }
    return out;
}

// Sample misses by seed (the same frames miss with noise 1; noise is not the cause):
// 107 22 x 22, 5 px, 15 deg, light on dark: the diagonals give class 2; the class 1 cell
//     counts 23 modules a side, and the re-sampling at 23 and 26 fails the data layer;
// 115 52 x 52, 4 px, 135 deg: near the L-finder's diagonal miss; the diagonals give class
//     4 (its counts of 8 fail, -2), class 2 measures the right 24 x 24 regions and the data
//     layer fails; the other Ls the finder gives fail their cells;
// 117 72 x 72, 3 px, 345 deg: class 6 fails (-5), class 4 measures the right 16 x 16
//     regions and completes, the data layer fails on the 3 px lattice;
// 119 88 x 88, 3 px, 195 deg, light on dark: as 117 (class 4, 20 x 20 regions right);
// 121 104 x 104, 3 px, 45 deg: the L-finder's diagonal miss;
// 123 132 x 132, 3 px, 255 deg, light on dark: class 6 with 22 x 22 regions right, the
//     data layer fails on the 3 px lattice;
// 125 8 x 18, 3 px, 105 deg: both first cells (class -1, then 0) fail the pair-search
//     scores (-100) on timing sides of 8 and 18 modules of 3 px.
bool SampleMiss(const FramesCase &c) {
    for (uint64_t seed : {107, 115, 117, 119, 121, 123, 125}) {
        if (c.seed == seed) return true;
    }
    return false;
}

// Per cent of each size's frames that read in the full sweep (measured, rounded down to 5;
// floors only go up).
int SweepFloor(int size) {
    static constexpr int kFloor[dmframes::kAllSizes + 1] = {
        0,  60, 65, 65, 65, 65, 65, 55, 50, 35, 80, 80, 80, 80, 70, 70,  // sizes 1-15
        75, 70, 60, 60, 75, 60, 60, 70, 60, 65, 65, 35, 75, 80, 75,      // sizes 16-30
    };
    return size >= 1 && size <= dmframes::kAllSizes ? kFloor[size] : 0;
}

TEST(DmFrames, SampleReadsExactly) {
    for (const FramesCase &c : SampleCases()) {
        const dmframes::Outcome o = dmframes::Run(c);
        if (!o.fits) continue;
        if (!SampleMiss(c)) {
            EXPECT_TRUE(o.read) << dmframes::Name(c);
        }
        EXPECT_FALSE(o.wrong) << dmframes::Name(c);
    }
}

TEST(DmFrames, MirroredSquareReadsAndRectangleWithSquareOnlyDoesNot) {
    FramesCase c;
    c.size = 3;
    c.module = 5;
    c.angle = 30;
    c.mirror = true;
    EXPECT_TRUE(dmframes::Run(c).read);
    // The decoder's default is squares only: Data Matrix enabled alone leaves bit 8 set.
    testkit::InitDecoder();
    const testkit::DecoderApi api = testkit::LinkedDecoder();
    api.set(0x20400, VEXO_ON);
    FramesCase r;
    r.size = 29;
    r.module = 4;
    r.angle = 90;
    const dmframes::Outcome o = dmframes::Run(r, false);
    EXPECT_FALSE(o.read);
    EXPECT_FALSE(o.wrong);
    EXPECT_TRUE(dmframes::Run(r).read);
}

// The full sweep: every size, 3-8 px, 0-345 degrees, noise 1 and 3, both polarities, in
// the 752 x 480 frame or, when the symbol does not fit it at every angle, in 1280 x 960.
// One record per frame ("frame: ...") for the tables; no wrong read anywhere, and each
// size's read rate stays above its floor.
class DmFramesSlow : public ::testing::TestWithParam<int> {};

TEST_P(DmFramesSlow, FullSweep) {
    const int size = GetParam();
    int read = 0, fitted = 0;
    for (int module = 3; module <= 8; ++module) {
        for (int angle = 0; angle < 360; angle += 15) {
            for (int noise : {1, 3}) {
                for (bool invert : {false, true}) {
                    FramesCase c{.size = size, .module = module, .angle = angle, .noise = noise, .invert = invert};
                    c.seed = static_cast<uint64_t>(size) * 100000 + module * 1000 + angle * 2 + noise + invert;
                    const dmframes::Outcome o = dmframes::Run(c);
                    if (!o.fits) continue;
                    read += o.read;
                    fitted += 1;
                    EXPECT_FALSE(o.wrong) << "wrong read: " << dmframes::Name(c);
                    std::printf("frame: %d %dx%d %d %d %d %d %d %d %d %d %d\n", size, o.rows, o.cols, module, angle,
                                noise, invert, o.large, o.read, static_cast<int>(o.trace.stage), o.trace.lastClass,
                                o.trace.lastStatus);
                }
            }
        }
    }
    std::printf("size %2d: %d of %d\n", size, read, fitted);
    ASSERT_GT(fitted, 0);
    EXPECT_GE(read * 100, SweepFloor(size) * fitted) << read << " of " << fitted;
}

INSTANTIATE_TEST_SUITE_P(Sizes, DmFramesSlow, ::testing::Range(1, dmframes::kAllSizes + 1));

}  // namespace
