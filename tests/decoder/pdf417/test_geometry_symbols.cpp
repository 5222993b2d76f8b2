// Symbol geometry, row table and codeword matrix on rendered libzint PDF417 frames: the
// voted shape against the encoder's, the guard corners against where the renderer put the
// guard, and every cell of the matrix against the symbol's codewords.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/arena.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_geometry.h"
#include "pdf417/pdf417_guards.h"
#include "pdf417/pdf417_matrix.h"
#include "pdf417/pdf417_rows.h"
#include "pdf417_bars.h"
#include "support/testkit.h"

namespace {

using namespace vexo;

// The symbol's data codewords from its module matrix, row by row.
std::vector<i32> SymbolCodewords(const testkit::Symbol &s) {
    const int columns = (s.cols - 69) / 17;
    std::vector<i32> cw;
    for (int r = 0; r < s.rows; ++r) {
        for (int j = 0; j < columns; ++j) {
            std::vector<i32> e{0};
            int at = 34 + 17 * j;
            for (int k = 0; k < 8; ++k) {
                int n = 0;
                while (at < s.cols && s.Dark(r, at) == (k % 2 == 0)) ++n, ++at;
                e.push_back(e.back() + 16 * n);
            }
            i32 value = kPdfNoCodeword;
            PDF_ReadCodewordSignature(e.data(), &value);
            cw.push_back(value & 0x0FFFFFFF);
        }
    }
    return cw;
}

struct Shape {
    int columns;
    int level;
    int length;  // data bytes
};

testkit::Symbol MakeSymbol(const Shape &shape, uint32_t seed) {
    std::mt19937 rng(seed);
    testkit::SymbolInput in;
    in.symbology = BARCODE_PDF417;
    for (int i = 0; i < shape.length; ++i) in.data.push_back(static_cast<char>('A' + rng() % 26));
    in.option1 = shape.level;
    in.option2 = shape.columns;
    return testkit::Encode(in);
}

struct MatrixTally {
    int right = 0;
    int erased = 0;
    int wrong = 0;
};

class PdfGeometryTest : public pdf_bars::ImageTest {
public:
    // Scans the frame and builds the geometry of each candidate; answers the candidates whose
    // geometry was complete.
    int Locate(const testkit::Rendered &r) {
        InstallFrame(r.frame.width, r.frame.height, r.frame.pixels);
        const i32 box[4] = {0, 0, r.frame.width - 1, r.frame.height - 1};
        count = PDF_ScanRowsForGuards(found, 4, 0, box, r.frame.height);
        if (count == 0) count = PDF_ScanColumnsForGuards(found, 4, 0, box, r.frame.width);
        return count;
    }
    PDF_CANDIDATE found[4] = {};
    int count = 0;
    std::vector<PDF_ROW_ENTRY> table = std::vector<PDF_ROW_ENTRY>(kPdfRowTableEntries);
};

// One configuration of the table: the symbol's shape, how it is rendered, and the seed of its
// data.
struct Config {
    Shape shape;
    double module;
    double angle;
    uint32_t seed;
};

struct Outcome {
    int candidates = 0;
    int geometries = 0;
    MatrixTally tally;
    std::string deviations;  // "geometry", "shape", "pitch", "corner" as found, once each
    void Deviate(const char *what) {
        if (deviations.find(what) == std::string::npos) deviations += std::string(deviations.empty() ? "" : " ") + what;
    }
};

std::string Key(const Config &k, int columns, int rows) {
    char b[64];
    std::snprintf(b, sizeof b, "%dx%d m%g a%g", columns, rows, k.module, k.angle);
    return b;
}

// Renders the configuration (a frame large enough for the turned symbol), checks each
// candidate's geometry against the encoder and the renderer (noting deviations), and
// tallies the matrix cells.
Outcome RunConfig(PdfGeometryTest *t, const Config &k, std::string *key) {
    Outcome out;
    const testkit::Symbol s = MakeSymbol(k.shape, k.seed);
    EXPECT_TRUE(s.ok) << s.error;
    if (!s.ok) return out;
    const std::vector<i32> expected = SymbolCodewords(s);
    const int columns = (s.cols - 69) / 17;
    *key = Key(k, columns, s.rows);
    const double rad = k.angle * M_PI / 180.0;
    const double w = s.width * k.module;
    const double h = s.height * k.module;
    testkit::RenderOptions o;
    o.moduleSize = k.module;
    o.angleDeg = k.angle;
    o.width = std::max(200, static_cast<int>(std::abs(w * std::cos(rad)) + std::abs(h * std::sin(rad))) + 80);
    o.height = std::max(200, static_cast<int>(std::abs(w * std::sin(rad)) + std::abs(h * std::cos(rad))) + 80);
    o.blurSigma = 0.4;
    o.seed = k.seed;
    const testkit::Rendered r = testkit::Render(s, o);
    out.candidates = t->Locate(r);
    const double rowHeight = (s.rowTop[1] - s.rowTop[0]) * k.module;
    for (int n = 0; n < out.candidates; ++n) {
        PDF_CANDIDATE c = t->found[n];
        c.rapMode = 0;
        if (PDF_BuildSymbolGeometry(&c, t->table.data()) != 1) {
            out.Deviate("geometry");
            continue;
        }
        ++out.geometries;
        if (c.columns != columns || c.rows != s.rows || c.level != k.shape.level) out.Deviate("shape");
        if (std::abs(c.rowPitch - rowHeight) > 0.05 * rowHeight) out.Deviate("pitch");
        // The guard's inner edge: the start pattern's last module or the stop pattern's first;
        // measured from the pixel's centre.
        const double x = c.startFlag == 1 ? 17.0 : s.width - 18.0;
        const testkit::Point top = r.transform.ToImage({x, 0});
        const testkit::Point bottom = r.transform.ToImage({x, s.height});
        auto dist = [](GEO_POINT p, testkit::Point q) { return std::hypot(p.x + 0.5 - q.x, p.y + 0.5 - q.y); };
        const bool firstAtTop = dist(c.cornerGuard1, top) < dist(c.cornerGuard1, bottom);
        if (dist(c.cornerGuard1, firstAtTop ? top : bottom) > 3.0 || dist(c.cornerGuard2, firstAtTop ? bottom : top) > 3.0) {
            out.Deviate("corner");
        }
        std::vector<i32> cw(929, kPdfNoCodeword);
        std::vector<u8> conf(929, 0);
        c.confidence = conf.data();
        c.erasures = c.rows * c.columns;
        const i32 read = PDF_ReadMatrix(&c, t->table.data(), cw.data());
        EXPECT_EQ(pdf_bars::ImageTest::ArenaUsed(), 0);
        if (read < 0) {
            out.tally.erased += static_cast<int>(expected.size());
            continue;
        }
        int erased = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            erased += conf[i] == 0 ? 1 : 0;
            if (cw[i] == kPdfNoCodeword) {
                ++out.tally.erased;
            } else if (cw[i] == expected[i]) {
                ++out.tally.right;
            } else {
                ++out.tally.wrong;
            }
        }
        EXPECT_EQ(c.erasures, erased) << *key;
    }
    if (out.candidates != 2) out.Deviate("candidates");
    std::printf("%-16s L%d seed %-4u candidates %d geometry %d  cells right %4d erased %3d wrong %3d  %s\n", key->c_str(),
                k.shape.level, k.seed, out.candidates, out.geometries, out.tally.right, out.tally.erased,
                out.tally.wrong, out.deviations.c_str());
    return out;
}

// Upright at 3-4 px per module the matrix is expected right to 99 % with nothing wrong.
void CheckUpright(const Config &k, const Outcome &out) {
    if (k.angle != 0 || k.module < 3) return;
    const int cells = out.tally.right + out.tally.erased + out.tally.wrong;
    EXPECT_EQ(out.tally.wrong, 0);
    EXPECT_GE(100 * out.tally.right, 99 * cells);
}

// The shapes of the table: columns 1-30, rows 3-90, levels 0-8 (data bytes set the rows).
const Shape kShapes[] = {
    {1, 0, 2},  {2, 1, 10},  {3, 2, 40},   {5, 3, 30},  {6, 2, 60},    {8, 4, 120},
    {10, 2, 80}, {12, 5, 200}, {16, 6, 300}, {20, 7, 400}, {30, 8, 500}, {4, 3, 560},
};

TEST_F(PdfGeometryTest, GeometryAndMatrixSubset) {
    const Config configs[] = {
        {{6, 2, 60}, 3, 0, 11},   {{10, 2, 80}, 3, 0, 12},  {{3, 2, 40}, 4, 0, 13},  {{1, 0, 2}, 3, 0, 14},
        {{6, 2, 60}, 3, 10, 15},  {{6, 2, 60}, 3, -10, 16}, {{5, 3, 30}, 4, 20, 17}, {{4, 3, 560}, 2, 0, 18},
        {{8, 4, 120}, 2, -20, 19}, {{6, 2, 60}, 3, 180, 20},
    };
    for (const Config &k : configs) {
        std::string key;
        const Outcome out = RunConfig(this, k, &key);
        EXPECT_EQ(out.geometries, 2) << key;
        EXPECT_EQ(out.deviations, "") << key;
        CheckUpright(k, out);
    }
}

// The sweep's deviations, configuration by configuration, with their cause.
struct Deviation {
    const char *key;
    const char *what;
    const char *cause;
};
const Deviation kDeviations[] = {
    {"1x4 m2 a0", "pitch", "the pitch comes from whole-pixel first-read points two to four rows apart"},
    {"1x4 m2 a10", "pitch", "the pitch comes from whole-pixel first-read points two to four rows apart"},
    {"1x4 m2 a20", "pitch", "the pitch comes from whole-pixel first-read points two to four rows apart"},
    {"1x4 m2 a-20", "pitch", "the pitch comes from whole-pixel first-read points two to four rows apart"},
    {"1x4 m3 a-20", "pitch", "the pitch comes from whole-pixel first-read points two to four rows apart"},
    {"1x4 m4 a-20", "pitch", "the pitch comes from whole-pixel first-read points two to four rows apart"},
    {"2x5 m2 a-10", "pitch", "the pitch comes from whole-pixel first-read points two to four rows apart"},
    {"2x5 m3 a-10", "pitch", "the pitch comes from whole-pixel first-read points two to four rows apart"},
    {"10x5 m3 a10", "pitch", "the pitch comes from whole-pixel first-read points two to four rows apart"},
    {"3x10 m3 a10", "corner", "a corner 3.0-3.2 px off: the end search moves in 3-px cross lines and stops at the last with edges"},
    {"5x7 m2 a-10", "corner", "a corner 3.0-3.2 px off: the end search moves in 3-px cross lines and stops at the last with edges"},
    {"20x23 m4 a10", "corner", "a corner 3.0-3.2 px off: the end search moves in 3-px cross lines and stops at the last with edges"},
    {"4x75 m2 a10", "corner", "a corner 3.2-4.7 px off: one angle step (pi/314) of the guard line over a 450-900 px guard"},
    {"4x75 m2 a-10", "corner", "a corner 3.2-4.7 px off: one angle step (pi/314) of the guard line over a 450-900 px guard"},
    {"4x75 m3 a-10", "corner", "a corner 3.2-4.7 px off: one angle step (pi/314) of the guard line over a 450-900 px guard"},
    {"4x75 m4 a10", "corner", "a corner 3.2-4.7 px off: one angle step (pi/314) of the guard line over a 450-900 px guard"},
    {"4x75 m4 a-10", "corner", "a corner 3.2-4.7 px off: one angle step (pi/314) of the guard line over a 450-900 px guard"},
    {"30x26 m2 a10", "geometry", "the stop side's row-direction fit peaks at the mirrored angle (slope -0.18 for +0.18) and its indicator walk reads nothing"},
};

TEST_F(PdfGeometryTest, SlowGeometryAndMatrixSweep) {
    Outcome all;
    int configs = 0;
    for (double module : {2.0, 3.0, 4.0}) {
        for (double angle : {0.0, 10.0, -10.0, 20.0, -20.0}) {
            uint32_t seed = 100;
            for (const Shape &shape : kShapes) {
                const Config k{shape, module, angle, ++seed};
                std::string key;
                const Outcome out = RunConfig(this, k, &key);
                CheckUpright(k, out);
                std::string named;
                for (const Deviation &d : kDeviations) {
                    if (key == d.key) named = d.what;
                }
                EXPECT_EQ(out.deviations, named) << key;
                all.geometries += out.geometries;
                all.candidates += out.candidates;
                all.tally.right += out.tally.right;
                all.tally.erased += out.tally.erased;
                all.tally.wrong += out.tally.wrong;
                ++configs;
            }
        }
    }
    std::printf("%d configurations: candidates %d geometry %d  cells right %d erased %d wrong %d\n", configs,
                all.candidates, all.geometries, all.tally.right, all.tally.erased, all.tally.wrong);
}

// A decoded symbol that covers half of another candidate's guard leaves a candidate for the
// other half while fewer than four are held; a covered partner is answered.
TEST(PdfReleaseCandidates, HalfCoveredGuard) {
    PDF_CANDIDATE c[4] = {};
    c[0].kind = 1;
    c[0].symbolCorners[0] = {100, 100};  // top-left, top-right, bottom-left, bottom-right
    c[0].symbolCorners[1] = {300, 100};
    c[0].symbolCorners[2] = {100, 300};
    c[0].symbolCorners[3] = {300, 300};
    PDF_CANDIDATE half{};
    half.kind = 4;
    half.pending = 1;
    half.end1 = PDF_GUARD_END{200, 120, 30, 50};
    half.end2 = PDF_GUARD_END{200, 500, 30, 50};
    half.centreGuard = {200, 310};
    c[1] = half;
    i32 count = 2;
    EXPECT_EQ(PDF_ReleaseCoveredCandidates(c, &count, 0, 0), -1);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(c[1].pending, 0);
    EXPECT_EQ(c[2].pending, 1);
    EXPECT_EQ(c[2].end1.y, 310);
    EXPECT_EQ(c[2].end2.y, 500);
    EXPECT_EQ(c[2].centreGuard.y, 405);
    // Four held: no copy.
    c[1] = half;
    c[2] = half;
    c[3] = half;
    c[2].pending = 0;
    c[3].pending = 0;
    count = 4;
    EXPECT_EQ(PDF_ReleaseCoveredCandidates(c, &count, 0, 0), -1);
    EXPECT_EQ(count, 4);
    // The partner of the decoded kind, with its centre inside.
    c[1] = half;
    c[1].kind = 3;
    c[1].centreGuard = {250, 200};
    count = 2;
    EXPECT_EQ(PDF_ReleaseCoveredCandidates(c, &count, 0, 1), 1);
    EXPECT_EQ(c[1].pending, 1);
    // Nothing stored for the decoded symbol: nothing released.
    c[0].symbolCorners[0] = c[0].symbolCorners[1] = c[0].symbolCorners[2] = c[0].symbolCorners[3] = {0, 0};
    EXPECT_EQ(PDF_ReleaseCoveredCandidates(c, &count, 0, 1), -1);
}

}  // namespace
