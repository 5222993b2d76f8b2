// The region lattice, the module sampling and read mode 2 on rendered libzint symbols: the
// measured and regularised nodes against the render's truth, the sampled module matrix
// against the symbol, and two symbols joined into one text.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "core/params.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_services.h"
#include "datamatrix/dm_stages.h"
#include "datamatrix/test_hooks_dm.h"
#include "dm_symbols_util.h"
#include "support/testkit.h"
#include "support/render.h"

namespace {

using vexo::DM_GEOMETRY;

// What the last located candidate measured and sampled.
struct Captured {
    bool located = false;
    DM_GEOMETRY measured{};
    DM_GEOMETRY regularised{};
    std::vector<uint8_t> modules;
    int matrixRows = 0, matrixCols = 0;
    int pairEntries = 0;  // most entries the pairing wrote in one decode
};
Captured g_cap;

vexo::i32 CaptureLocate(vexo::u8 *image, vexo::DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    const vexo::i32 r = vexo::DM_LocateAndSize(image, cand, geo);
    if (r == 0) {
        g_cap.located = true;
        g_cap.measured = *geo;
    }
    return r;
}
void CaptureRegularize(DM_GEOMETRY *geo) {
    vexo::DM_RegularizeLattice(geo);
    g_cap.regularised = *geo;
}
vexo::i32 CaptureSample(vexo::u8 *image, DM_GEOMETRY *geo) {
    const vexo::i32 r = vexo::DM_SampleModules(image, geo);
    g_cap.matrixRows = geo->regionRows * geo->moduleRows;
    g_cap.matrixCols = geo->regionCols * geo->moduleCols;
    g_cap.modules.assign(geo->modules, geo->modules + g_cap.matrixRows * g_cap.matrixCols);
    return r;
}
vexo::i32 CapturePairs(vexo::DM_CANDIDATE *cands, vexo::i32 n, vexo::i32 *order, vexo::i32 capacity) {
    const vexo::i32 k = vexo::DM_PairCandidates(cands, n, order, capacity);
    g_cap.pairEntries = k > g_cap.pairEntries ? k : g_cap.pairEntries;
    return k;
}
const vexo::DM_STAGES kCapture = {
    .getDM = vexo::DM_GetDM,
    .locateAndSize = CaptureLocate,
    .regularizeLattice = CaptureRegularize,
    .sampleModules = CaptureSample,
    .pairCandidates = CapturePairs,
};

// Frames go through the exported decoder (every symbology on, rectangles too); the module's
// stages may be replaced by the capturing ones.
class DmRendered : public ::testing::Test {
protected:
    void SetUp() override {
        g_cap = Captured{};
        testkit::InitDecoder();
    }
    void TearDown() override {
        vexo::Test_SetDmStages(nullptr);
        mode_ = 1;
    }
    // 0 with the text read, else -1.
    int Decode(const testkit::Frame &f, const vexo::DM_STAGES *stages = nullptr) {
        vexo::Test_SetDmStages(stages);
        vexo::g_params.resultStore.storedCount = 0;
        testkit::DecodeOptions d;
        // The read mode is set after the enable switches, which leave it alone.
        vexo::u32 &w = vexo::g_params.flagsWord[vexo::kSymDataMatrix];
        w = (w & ~vexo::kFlag2DCountMask) | mode_;
        result_ = testkit::DecodeFrame(f, d);
        vexo::Test_SetDmStages(nullptr);
        return result_.decoded && result_.codeId == 0x105 ? 0 : -1;
    }
    std::string Text() const { return result_.text; }
    unsigned mode_ = 1;  // one symbol
    testkit::DecodeResult result_;
};

double Distance(vexo::GEO_POINT p, testkit::Point q) { return std::hypot(p.x + 0.5 - q.x, p.y + 0.5 - q.y); }

// Every node of the measured and of the regularised lattice within a module of the corner
// the render put there.
TEST_F(DmRendered, LatticeNodesLieWithinAModuleOfTheTruth) {
    struct Case {
        int zintSize, regionRows, regionCols;
        double module, angle;
    };
    // 8 x 32 (1 x 2), 32 x 32 (2 x 2), 64 x 64 (4 x 4), 120 x 120 (6 x 6).
    for (const Case c : {Case{26, 1, 2, 5, 20}, Case{10, 2, 2, 5, 10}, Case{16, 4, 4, 4, 10}, Case{22, 6, 6, 4, 350}}) {
        SCOPED_TRACE("libzint size " + std::to_string(c.zintSize));
        const std::string text = "LATTICE " + std::to_string(c.zintSize);
        const testkit::Symbol s = dmtest::DataMatrix(text, c.zintSize);
        ASSERT_TRUE(s.ok);
        testkit::RenderOptions o{.moduleSize = c.module, .angleDeg = c.angle, .keystone = 0.02, .quietZone = 2,
                                 .blurSigma = 0.8, .noiseSigma = 1, .seed = 11};
        if (s.cols * c.module * 1.42 > 470) o.width = 1280, o.height = 960;
        const testkit::Rendered r = testkit::Render(s, o);
        g_cap = Captured{};
        ASSERT_EQ(Decode(r.frame, &kCapture), 0);
        EXPECT_EQ(Text(), text);
        ASSERT_TRUE(g_cap.located);
        for (const DM_GEOMETRY *g : {&g_cap.measured, &g_cap.regularised}) {
            ASSERT_EQ(g->regionRows, c.regionRows);
            ASSERT_EQ(g->regionCols, c.regionCols);
            const double p = 1.0 * s.rows / c.regionRows, q = 1.0 * s.cols / c.regionCols;
            for (int t = 0; t <= c.regionRows; ++t) {
                for (int b = 0; b <= c.regionCols; ++b) {
                    EXPECT_LT(Distance(g->lattice[t][b], r.transform.ToImage({b * q, t * p})), c.module)
                        << (g == &g_cap.measured ? "measured" : "regularised") << " node " << t << ", " << b;
                }
            }
        }
    }
}

// The sampled matrix, region by region, is the symbol with its finder and timing lines:
// 10 x 10 (row 0 alternates, column 0 solid) and 32 x 32 (the region of row 0, column 1 at
// rows 0-15, columns 16-31).
TEST_F(DmRendered, SampledMatrixIsTheSymbol) {
    for (const int size : {1, 10}) {
        SCOPED_TRACE("libzint size " + std::to_string(size));
        const std::string text = size == 1 ? "123456" : "SAMPLING 32";
        const testkit::Symbol s = dmtest::DataMatrix(text, size);
        ASSERT_TRUE(s.ok);
        const testkit::Rendered r =
            testkit::Render(s, {.moduleSize = 6, .angleDeg = 30, .quietZone = 2, .blurSigma = 0.8, .seed = 3});
        g_cap = Captured{};
        ASSERT_EQ(Decode(r.frame, &kCapture), 0);
        ASSERT_EQ(g_cap.matrixRows, s.rows);
        ASSERT_EQ(g_cap.matrixCols, s.cols);
        const auto dark = [&](int row, int col) { return g_cap.modules[row * s.cols + col] < 128; };
        for (int j = 0; j < s.cols; ++j) EXPECT_EQ(dark(0, j), j % 2 == 0) << "row 0, column " << j;
        for (int i = 0; i < s.rows; ++i) EXPECT_TRUE(dark(i, 0)) << "row " << i << ", column 0";
        int wrong = 0;
        for (int i = 0; i < s.rows; ++i) {
            for (int j = 0; j < s.cols; ++j) wrong += dark(i, j) != s.Dark(i, j);
        }
        EXPECT_EQ(wrong, 0);
        if (size == 10) {
            // The top right region: its finder column at 16, its timing row at 0.
            for (int i = 0; i < 16; ++i) EXPECT_TRUE(dark(i, 16)) << i;
            for (int j = 16; j < 32; ++j) EXPECT_EQ(dark(0, j), j % 2 == 0) << j;
            for (int j = 16; j < 32; ++j) EXPECT_TRUE(dark(15, j)) << j;
        }
    }
}

// Two symbols on one sheet: b beside a (or below it) with a gap of `gap` modules.
testkit::Symbol TwoSymbols(const testkit::Symbol &a, const testkit::Symbol &b, int gap, bool stacked) {
    const int rows = stacked ? a.rows + gap + b.rows : std::max(a.rows, b.rows);
    const int cols = stacked ? std::max(a.cols, b.cols) : a.cols + gap + b.cols;
    std::vector<uint8_t> m(static_cast<size_t>(rows) * cols, 0);
    const auto put = [&](const testkit::Symbol &s, int r0, int c0) {
        for (int i = 0; i < s.rows; ++i) {
            for (int j = 0; j < s.cols; ++j) m[static_cast<size_t>(r0 + i) * cols + c0 + j] = s.Dark(i, j);
        }
    };
    put(a, 0, 0);
    put(b, stacked ? a.rows + gap : 0, stacked ? 0 : a.cols + gap);
    return testkit::FromModules(rows, cols, m);
}

std::string Stored(int i) {
    const vexo::RESULT_STORE &rs = vexo::g_params.resultStore;
    const vexo::u8 *d = i == 0 ? rs.storedData0 : rs.storedData1;
    return std::string(reinterpret_cast<const char *>(d), static_cast<size_t>(rs.storedLength[i]));
}

// Read mode 2 end to end: the module pairs the two candidates and joins the left (upper)
// symbol's text and then the right (lower) one's; the result store holds both symbols.
TEST_F(DmRendered, ReadModeTwoJoinsTwoSymbols) {
    mode_ = 2;
    const testkit::Symbol a = dmtest::DataMatrix("LEFT-ONE", 3), b = dmtest::DataMatrix("RIGHT-TWO", 3);
    ASSERT_TRUE(a.ok && b.ok);
    struct Case {
        bool stacked;
        double angle;
    };
    for (const Case c : {Case{false, 8}, Case{false, 20}, Case{true, 20}}) {
        SCOPED_TRACE(std::string(c.stacked ? "stacked" : "side by side") + " at " + std::to_string(c.angle));
        const testkit::Rendered r =
            testkit::Render(TwoSymbols(a, b, 4, c.stacked), {.moduleSize = 4, .angleDeg = c.angle, .quietZone = 3,
                                                              .blurSigma = 0.8, .noiseSigma = 1, .seed = 5});
        g_cap = Captured{};
        ASSERT_EQ(Decode(r.frame, &kCapture), 0);
        EXPECT_EQ(Text(), "LEFT-ONERIGHT-TWO");
        EXPECT_EQ(g_cap.pairEntries, 2);
        ASSERT_EQ(vexo::g_params.resultStore.storedCount, 2);
        EXPECT_TRUE((Stored(0) == "LEFT-ONE" && Stored(1) == "RIGHT-TWO") ||
                    (Stored(1) == "LEFT-ONE" && Stored(0) == "RIGHT-TWO"));
    }
}

}  // namespace

namespace {

testkit::Symbol DmAppended(const std::string &text, int index, int count) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_DATAMATRIX;
    in.data = text;
    in.option2 = 4;
    in.structAppIndex = index;
    in.structAppCount = count;
    return testkit::Encode(in);
}

// A libzint structured-append pair through the exported decoder. In read mode 2, the pair
// in one frame: the part decoded first is a structured-append symbol, so the module gives
// its best status and the frame reads nothing; a plain symbol beside the second part gives
// the plain text alone. In read mode 1, one part per frame: each frame reads its own part
// (the decoder does not buffer parts across frames).
TEST_F(DmRendered, StructuredAppendPairThroughTheFrames) {
    const testkit::Symbol one = DmAppended("PART-ONE", 1, 2), two = DmAppended("PART-TWO", 2, 2);
    const testkit::Symbol plain = dmtest::DataMatrix("PLAIN-1", 4);
    ASSERT_TRUE(one.ok && two.ok && plain.ok);
    const testkit::RenderOptions o{.moduleSize = 4, .angleDeg = 12, .quietZone = 3, .blurSigma = 0.8,
                                   .noiseSigma = 1, .seed = 9};
    mode_ = 2;
    EXPECT_EQ(Decode(testkit::Render(TwoSymbols(one, two, 4, false), o).frame), -1) << Text();
    EXPECT_EQ(vexo::DM_HasSa(), 1);
    ASSERT_EQ(Decode(testkit::Render(TwoSymbols(plain, two, 4, false), o).frame), 0);
    EXPECT_EQ(Text(), "PLAIN-1");
    mode_ = 1;
    for (const auto &[symbol, text] : {std::pair{&one, "PART-ONE"}, std::pair{&two, "PART-TWO"}}) {
        ASSERT_EQ(Decode(testkit::Render(*symbol, o).frame), 0) << text;
        EXPECT_EQ(Text(), text);
        EXPECT_EQ(result_.aim, "]d1");
        EXPECT_EQ(vexo::DM_HasSa(), 1);
    }
}

}  // namespace
