// Candidate quadrilaterals of real linear symbols: libzint Code 128, EAN-13 and Interleaved
// 2 of 5 rendered as a camera sees them (3 pixels a module, blur, noise), scanned the way a
// finder pass does (row pairs, or column pairs for flat bars, every 8 pixels), grouped.
#include <cmath>
#include <string>

#include "segment_test.h"
#include "support/testkit.h"

namespace {

using segment_test::GreyFrame;
using segment_test::Install;
using segment_test::SegmentTest;
using vexo::GEO_POINT;
using vexo::REGION_QUAD;

struct SymbolCase {
    const char *what;
    int symbology;
    const char *data;
};

const SymbolCase kSymbols[] = {
    {"Code 128", BARCODE_CODE128, "Segments 128"},
    {"EAN-13", BARCODE_EANX, "590123412345"},
    {"Interleaved 2 of 5", BARCODE_C25INTER, "12345678901234"},
};

testkit::Symbol Make(const SymbolCase &c, float height = 0) {
    testkit::SymbolInput in;
    in.symbology = c.symbology;
    in.data = c.data;
    in.height = height;
    return testkit::Encode(in);
}

testkit::Rendered Camera(const testkit::Symbol &s, double angle, testkit::Point centre, uint64_t seed) {
    return testkit::Render(s, {.moduleSize = 3,
                               .center = centre,
                               .angleDeg = angle,
                               .blurSigma = 0.7,
                               .noiseSigma = 2,
                               .supersample = 2,
                               .seed = seed});
}

// Candidates of one pass over the frame: orientation 1 scans rows, 0 columns.
std::vector<REGION_QUAD> Candidates(const imageio::Frame &frame, int orientation) {
    GreyFrame f(frame.width, frame.height);
    f.pixels = frame.pixels;
    Install(f);
    segment_test::ScanAll(f, orientation == 0);
    REGION_QUAD out[vexo::kGroupCandidateCapacity];
    const int n = vexo::LineImg_GroupSegments(out, vexo::kGroupCandidateCapacity, orientation);
    return std::vector<REGION_QUAD>(out, out + n);
}

// Row candidates run top-left, top-right, bottom-left, bottom-right along the bars' ends;
// column candidates are turned a quarter turn: bottom-left, top-left, bottom-right,
// top-right.
bool RightOrientation(const REGION_QUAD &q, int orientation) {
    if (orientation != 0) return q.c[0].y < q.c[2].y && q.c[1].y < q.c[3].y && q.c[0].x < q.c[1].x;
    return q.c[0].x < q.c[2].x && q.c[1].x < q.c[3].x && q.c[0].y > q.c[1].y;
}

::testing::AssertionResult HasCandidateAt(const std::vector<REGION_QUAD> &candidates, testkit::Point centre,
                                          int orientation) {
    const GEO_POINT p{static_cast<int>(std::lround(centre.x)), static_cast<int>(std::lround(centre.y))};
    for (const REGION_QUAD &q : candidates)
        if (vexo::Geo_PointInQuad(&p, &q) != 0 && RightOrientation(q, orientation))
            return ::testing::AssertionSuccess();
    ::testing::AssertionResult r = ::testing::AssertionFailure();
    r << candidates.size() << " candidates, none of the right orientation around (" << p.x << "," << p.y << "):";
    for (const REGION_QUAD &q : candidates) {
        r << " {(" << q.c[0].x << "," << q.c[0].y << ") (" << q.c[1].x << "," << q.c[1].y << ") (" << q.c[2].x << ","
          << q.c[2].y << ") (" << q.c[3].x << "," << q.c[3].y << ")}";
    }
    return r;
}

TEST_F(SegmentTest, EverySymbolGetsACandidate) {
    struct Turn {
        double angle;
        int orientation;
    } const turns[] = {{0, 1}, {15, 1}, {-30, 1}, {90, 0}};
    uint64_t seed = 1;
    for (const SymbolCase &c : kSymbols) {
        const testkit::Symbol s = Make(c);
        ASSERT_TRUE(s.ok) << c.what << ": " << s.error;
        for (const Turn &t : turns) {
            const testkit::Point centre{376, 240};
            const testkit::Rendered img = Camera(s, t.angle, centre, seed++);
            EXPECT_TRUE(HasCandidateAt(Candidates(img.frame, t.orientation), centre, t.orientation))
                << c.what << " at " << t.angle << " degrees";
        }
    }
}

// Two symbols one above the other, with low bars: two candidates, one around each.
TEST_F(SegmentTest, TwoSymbolsFarApartGiveTwoCandidates) {
    for (const SymbolCase &c : {kSymbols[0], kSymbols[2]}) {
        const testkit::Symbol s = Make(c, 20);
        ASSERT_TRUE(s.ok) << c.what;
        const testkit::Point top{300, 120}, bottom{420, 340};
        const testkit::Rendered a = Camera(s, 0, top, 3);
        const testkit::Rendered b = Camera(s, 0, bottom, 4);
        imageio::Frame both = a.frame;
        for (size_t k = 0; k < both.pixels.size(); ++k)
            if (b.frame.pixels[k] < both.pixels[k]) both.pixels[k] = b.frame.pixels[k];
        const std::vector<REGION_QUAD> q = Candidates(both, 1);
        EXPECT_EQ(q.size(), 2u) << c.what;
        EXPECT_TRUE(HasCandidateAt(q, top, 1)) << c.what;
        EXPECT_TRUE(HasCandidateAt(q, bottom, 1)) << c.what;
    }
}

}  // namespace
