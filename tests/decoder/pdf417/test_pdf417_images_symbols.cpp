// PDF417 read from camera frames through the exported interface: a sweep over module sizes,
// quarter turns with +-15 degrees, blur, noise and both frame sizes (a fixed-seed subset by
// default, the whole sweep in the slow suite), light on dark, two symbols joined, the status
// and matrix cache rules, the failed-symbol report, the region rules and the composite
// component request.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "pdf417/pdf417_decode.h"
#include "pdf417/pdf417_guards.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417/pdf417_state.h"
#include "pdf417_bars.h"
#include "pdf417_sweep.h"
#include "pdf417_test_util.h"
#include "support/testkit.h"

namespace {

using namespace vexo;

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kPdfCodeId = 0x100;

class PdfImagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Test_ResetDecoderStatics();
        testkit::InitDecoder();
    }
    static void Set(uint32_t id, uint32_t value) { EXPECT_EQ(testkit::LinkedDecoder().set(id, value), 1) << std::hex << id; }
};

using pdf_sweep::SweepShot;

// The sweep's expected misses: two classes, and the rest by seed, each with its cause (from
// the whole-frame probe, SweepMissCause, and the edges found along a line).
// - Sharp frames (no blur) with noise sigma 8 at 3-4 px per module: edges are taken from a
//   step of 7 grey levels, below the noise (neighbour differences of sigma 11), so every
//   flat space of 3 px or more gives spurious edges of 10-26 beside the real ones of about
//   190; they split the start and stop patterns' widths, and mostly no pattern is found even
//   in a whole-frame box (seed 1589: 5 spurious falling edges over the start pattern and its
//   first codeword; blurred, with the same noise, 2). At 2 px a space has no room for them.
// - Symbols of 3 or 4 rows (18-24 px tall) at 2 px per module, all but one turned by 15
//   degrees: the start pattern (34 px) drifts 9 px across its width and no scan line 8 px
//   apart crosses it whole (seeds 1041, 1056, 1171: no pattern; 1041 finds one at 5 degrees
//   and not at 10); found, their 6 px rows misread beyond the budget (seed 1034, blur 1:
//   status 20 flat as well).
struct PdfSweepNamedMiss {
    uint32_t seed;
    const char *cause;
};
constexpr PdfSweepNamedMiss kPdfSweepNamedMisses[] = {
    {1158, "2 px, 180 degrees, sharp noise 8, 6 rows: not located (reads in a whole-frame box)"},
    {1368, "3 px, 90 degrees, blur 1, 17 rows at level 3: codewords misread beyond correction"},
    {1457, "3 px, 195 degrees, 3 rows (27 px tall): not located (reads in a whole-frame box)"},
    // 4 px with blur 1 and noise 8: the noise edges above, fewer; all 1-3 data columns.
    {1623, "not located"}, {1672, "guards found, none decoded"}, {1740, "no pattern"}, {1742, "no pattern"},
    {1787, "not located"}, {1791, "not located"}, {1792, "no pattern"}, {1815, "no pattern"},
    {1839, "not located"}, {1859, "not located"},
};

const char *PdfSweepMissClass(const SweepShot &s, const pdf_sweep::SweepSymbol &m) {
    if (s.blur == 0 && s.noise >= 8 && s.module >= 3) return "sharp noise";
    if (s.module == 2 && m.symbol.rows <= 4) return "short symbol at 2 px";
    for (const PdfSweepNamedMiss &k : kPdfSweepNamedMisses) {
        if (k.seed == s.seed) return k.cause;
    }
    return nullptr;
}

struct SweepTally {
    int frames = 0;
    int read = 0;
    int wrong = 0;
    std::vector<std::string> misses;
    std::vector<std::string> unnamed;  // misses of no named class or seed
};

// Why a frame did not read: the PDF417 stage run straight over the whole frame (rows and
// columns scanned, region classes ignored) tells whether the symbol was only missed by the
// located regions, or which step of its own decode failed.
std::string SweepMissCause(const testkit::Frame &f) {
    static std::vector<uint8_t> pixels;
    pixels = f.pixels;
    Test_ResetDecoderStatics();
    Mem_ResetArena();
    g_image.data = pixels.data();
    g_image.width = f.width;
    g_image.height = f.height;
    g_image.widthCopy = f.width;
    Pix_InstallFrame(pixels.data(), f.width, f.height);
    PDF_ResetState();
    const i32 box[1][4] = {{0, 0, f.width - 1, f.height - 1}};
    const u8 flags[1] = {3};
    const i32 status = PDF_DecodeInRegions(box, 1, flags, 1);
    Test_ResetDecoderStatics();
    testkit::InitDecoder();
    switch (status) {
        case 0: return "not located (reads in a whole-frame box)";
        case -30: return "no start or stop pattern found";
        case -10: return "symbol geometry not built";
        case 40: return "codeword matrix not read";
        case 30: return "erasures beyond the budget";
        case 20: return "error correction failed";
        default: return "status " + std::to_string(status) + " in a whole-frame box";
    }
}

// Reads one frame: true when it decoded to the expected bytes, code id and identifier.
bool ReadShot(const SweepShot &shot, SweepTally *t) {
    const pdf_sweep::SweepSymbol m = pdf_sweep::MakeSweepSymbol(shot);
    EXPECT_TRUE(m.symbol.ok) << m.symbol.error;
    const testkit::Rendered frame = pdf_sweep::RenderSweepShot(m, shot);
    const testkit::DecodeResult r = testkit::DecodeFrame(frame.frame);
    ++t->frames;
    if (r.decoded && r.text == m.expected && r.codeId == kPdfCodeId && r.aim == "]L0") {
        ++t->read;
        return true;
    }
    if (r.decoded) ++t->wrong;
    t->misses.push_back(pdf_sweep::DescribeSweepShot(shot) + " (" + m.what + "): " +
                        (r.decoded ? "WRONG " + testkit::EscapeBytes(r.text) : SweepMissCause(frame.frame)));
    if (PdfSweepMissClass(shot, m) == nullptr) t->unnamed.push_back(t->misses.back());
    return false;
}

// Least share of the sweep that must read (percent); no read may be wrong, and every miss
// must be one named above. The sweep read 735 of 864 (85.1 %) when this was set: of its 129
// misses 98 are sharp frames with noise 8 at 3-4 px, 18 short symbols at 2 px, 13 by seed.
constexpr double kSweepFloorPercent = 80;

TEST_F(PdfImagesTest, FramesSubset) {
    const SweepShot shots[] = {
        {3, 0, 0, 0, 752, 11},   {2, 0, 0.5, 4, 752, 12},  {4, 90, 0, 0, 752, 13},  {3, 180, 1, 0, 640, 14},
        {3, 270, 0, 8, 640, 15}, {3, 15, 0.5, 0, 752, 16}, {3, -15, 0, 4, 752, 17}, {2, 105, 0, 0, 752, 18},
        {4, 195, 0.5, 0, 640, 19}, {3, 255, 0, 0, 752, 20},
    };
    SweepTally t;
    for (const SweepShot &s : shots) EXPECT_TRUE(ReadShot(s, &t)) << pdf_sweep::DescribeSweepShot(s);
    EXPECT_EQ(t.wrong, 0);
}

TEST_F(PdfImagesTest, SlowFrameSweep) {
    const std::vector<SweepShot> shots = pdf_sweep::SweepShots(3, 1000);
    SweepTally all;
    // Per row of module size, angle, blur and noise (both frame widths together).
    for (size_t i = 0; i < shots.size(); i += 6) {
        SweepTally row;
        for (size_t k = i; k < i + 6 && k < shots.size(); ++k) ReadShot(shots[k], &row);
        std::printf("module %g angle %4g blur %g noise %g: %d of %d\n", shots[i].module, shots[i].angle, shots[i].blur,
                    shots[i].noise, row.read, row.frames);
        all.frames += row.frames;
        all.read += row.read;
        all.wrong += row.wrong;
        all.misses.insert(all.misses.end(), row.misses.begin(), row.misses.end());
        all.unnamed.insert(all.unnamed.end(), row.unnamed.begin(), row.unnamed.end());
    }
    for (const std::string &m : all.misses) std::printf("miss: %s\n", m.c_str());
    std::printf("read %d of %d\n", all.read, all.frames);
    EXPECT_EQ(all.wrong, 0);
    EXPECT_GE(100.0 * all.read, kSweepFloorPercent * all.frames);
    for (const std::string &m : all.unnamed) ADD_FAILURE() << "unnamed miss: " << m;
}

testkit::Symbol Pdf417(const std::string &data, int level, int columns) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_PDF417;
    in.data = data;
    in.option1 = level;
    in.option2 = columns;
    return testkit::Encode(in);
}

TEST_F(PdfImagesTest, LightOnDarkNeedsItsReadMode) {
    const std::string data = "LIGHT ON DARK 0123";
    const testkit::Symbol s = Pdf417(data, 2, 3);
    const testkit::Rendered light = testkit::Render(s, {.moduleSize = 3, .angleDeg = 10, .invert = true, .blurSigma = 0.5});
    const testkit::Rendered dark = testkit::Render(s, {.moduleSize = 3, .angleDeg = 10, .blurSigma = 0.5});
    EXPECT_FALSE(testkit::DecodeFrame(light.frame).decoded);
    Set(0x20105, 0x10019);  // light on dark only
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(light.frame), data, kPdfCodeId, "]L0"));
    EXPECT_FALSE(testkit::DecodeFrame(dark.frame).decoded);
    Set(0x20105, 0x1001A);  // both
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(light.frame), data, kPdfCodeId, "]L0"));
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(dark.frame), data, kPdfCodeId, "]L0"));
}

// Two symbols side by side, or one of them flat and one steep.
testkit::Frame TwoSymbols(const testkit::Symbol &a, double angleA, const testkit::Symbol &b, double angleB) {
    const testkit::Rendered ra = testkit::Render(a, {.moduleSize = 2, .center = testkit::Point{188, 240}, .angleDeg = angleA});
    const testkit::Rendered rb = testkit::Render(b, {.moduleSize = 2, .center = testkit::Point{564, 240}, .angleDeg = angleB});
    testkit::Frame f = ra.frame;
    for (int y = 0; y < f.height; ++y) {
        for (int x = f.width / 2; x < f.width; ++x) f.At(x, y) = rb.frame.At(x, y);
    }
    return f;
}

TEST_F(PdfImagesTest, TwoSymbolsJoined) {
    const std::string left = "LEFT SYMBOL 111";
    const std::string right = "RIGHT SYMBOL 222";
    const testkit::Symbol a = Pdf417(left, 2, 2);
    const testkit::Symbol b = Pdf417(right, 2, 2);
    const testkit::Frame same = TwoSymbols(a, 0, b, 0);
    // The texts follow the symbols' order in the frame.
    const testkit::Frame swapped = TwoSymbols(b, 0, a, 0);
    Set(0x20103, 2);
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(same), left + right, kPdfCodeId, "]L0"));
    EXPECT_EQ(Dec_GetJoinedCount(), 2);
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(swapped), right + left, kPdfCodeId, "]L0"));
    // A flat symbol beside a steep one: the flat symbol's text comes first, on either side of
    // the frame (which of them decodes first: PdfDecodeTest.FlatAndSteepJoinedEitherWay).
    struct FlatSteepFrame {
        testkit::Frame frame;
        std::string text;
    };
    const FlatSteepFrame flatSteep[] = {
        {TwoSymbols(a, 0, b, 90), left + right},
        {TwoSymbols(b, 90, a, 0), left + right},
        {TwoSymbols(b, 0, a, 90), right + left},
        {TwoSymbols(a, 90, b, 0), right + left},
    };
    for (const FlatSteepFrame &k : flatSteep) {
        EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(k.frame), k.text, kPdfCodeId, "]L0")) << k.text;
        EXPECT_EQ(Dec_GetJoinedCount(), 2);
    }
    // One readable symbol: its text and joined count 1; with both required, nothing.
    const testkit::Rendered one = testkit::Render(a, {.moduleSize = 2, .center = testkit::Point{188, 240}});
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(one.frame), left, kPdfCodeId, "]L0"));
    EXPECT_EQ(Dec_GetJoinedCount(), 1);
    Set(0x20104, 0x10001);  // both required
    EXPECT_FALSE(testkit::DecodeFrame(one.frame).decoded);
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(same), left + right, kPdfCodeId, "]L0"));
    Set(0x20104, 0x10000);
    Set(0x20103, 1);
    const testkit::DecodeResult single = testkit::DecodeFrame(same);
    EXPECT_TRUE(single.text == left || single.text == right) << testkit::EscapeBytes(single.text);
}

// ---- The decoder's own entries on an installed frame.

class PdfDecodeTest : public pdf_bars::ImageTest {
protected:
    void SetUp() override {
        pdf_bars::ImageTest::SetUp();
        PDF_ResetState();
    }
    void Use(const testkit::Rendered &r) { InstallFrame(r.frame.width, r.frame.height, r.frame.pixels); }
    // Paints codeword cells (row, data column) of an upright render with paper.
    static void Blank(testkit::Rendered *r, const testkit::Symbol &s, const std::vector<std::pair<int, int>> &cells) {
        for (const auto &[row, col] : cells) {
            const testkit::Point a = r->transform.ToImage({34.0 + 17 * col, s.rowTop[row]});
            const testkit::Point b = r->transform.ToImage({34.0 + 17 * (col + 1), s.rowTop[row + 1]});
            for (int y = static_cast<int>(a.y); y < static_cast<int>(std::ceil(b.y)); ++y) {
                for (int x = static_cast<int>(a.x); x < static_cast<int>(std::ceil(b.x)); ++x) r->frame.At(x, y) = 220;
            }
        }
    }
    // The candidate of the start pattern.
    PDF_CANDIDATE Start() {
        PDF_CANDIDATE found[4] = {};
        const i32 box[4] = {0, 0, g_image.width - 1, g_image.height - 1};
        const int n = PDF_ScanRowsForGuards(found, 4, 0, box, g_image.height);
        for (int k = 0; k < n; ++k) {
            if (found[k].kind == 1) return found[k];
        }
        ADD_FAILURE() << "no start candidate";
        return found[0];
    }
    i32 Decode(PDF_CANDIDATE c) {
        c.confidence = confidence.data();
        return PDF_DecodeSymbol(&c, codewords.data(), rows.data());
    }
    std::vector<i32> codewords = std::vector<i32>(929);
    std::vector<u8> confidence = std::vector<u8>(929);
    std::vector<PDF_ROW_ENTRY> rows = std::vector<PDF_ROW_ENTRY>(kPdfRowTableEntries);
};

TEST_F(PdfDecodeTest, ErasureBudgetAndStatus) {
    // Level 2: 8 check codewords. 7 erased cells are corrected, 8 give 30.
    const std::string data = "ERASURE BUDGET TEST 0123456789";
    const testkit::Symbol s = Pdf417(data, 2, 4);
    std::vector<std::pair<int, int>> cells;
    for (int k = 0; k < 8; ++k) cells.push_back({1 + k % 5, k / 5});
    for (int erased : {7, 8}) {
        testkit::Rendered r = testkit::Render(s, {.moduleSize = 3});
        Blank(&r, s, std::vector<std::pair<int, int>>(cells.begin(), cells.begin() + erased));
        Use(r);
        PDF_ResetState();
        g_pdfState.bestStatus = -41;
        const i32 status = Decode(Start());
        EXPECT_EQ(status, erased == 7 ? 0 : 30) << erased;
        if (status == 0) {
            EXPECT_EQ(pdf_test::Str(g_pdfState.text, g_pdfState.length), data);
        } else {
            EXPECT_EQ(g_pdfState.bestStatus, 30);
            EXPECT_EQ(g_pdfMatrixCache.level, 2);
        }
        EXPECT_EQ(ArenaUsed(), 0);
    }
    // The best status keeps a non-negative status over a negative one and a lower over a
    // higher.
    g_pdfState.bestStatus = -41;
    for (i32 s2 : {40, 20, -10}) PDF_SetStatus(s2);
    EXPECT_EQ(g_pdfState.bestStatus, 20);
    g_pdfState.bestStatus = -41;
    PDF_SetStatus(-30);
    PDF_SetStatus(-10);
    EXPECT_EQ(g_pdfState.bestStatus, -10);
}

TEST_F(PdfDecodeTest, MatrixCacheMerge) {
    PDF_CANDIDATE c{};
    c.columns = 3;
    c.rows = 4;
    c.level = 1;
    std::vector<i32> cached(12);
    std::vector<u8> cachedConf(12, 3);
    for (int i = 0; i < 12; ++i) cached[i] = 100 + i;
    cachedConf[5] = 2;
    PDF_CacheMatrix(&c, cached.data(), cachedConf.data());
    struct Case {
        const char *what;
        int disagree;  // cells read three times with another value
        int ok;
    };
    for (const Case &k : {Case{"three disagreements", 3, 1}, Case{"four disagreements", 4, 0}}) {
        std::vector<i32> cw(cached);
        std::vector<u8> conf(12, 3);
        for (int i = 0; i < k.disagree; ++i) cw[6 + i] = 900;
        c.erasures = 0;
        EXPECT_EQ(PDF_MergeCachedMatrix(&c, cw.data(), conf.data()), k.ok) << k.what;
    }
    // A cell read once takes a cached cell of confidence 2 or 3; one of confidence 2 keeps
    // its own; an erased one takes the cache and counts one erasure less.
    std::vector<i32> cw(12, 500);
    std::vector<u8> conf(12, 2);
    conf[0] = 1;
    conf[5] = 1;
    conf[7] = 0;
    c.erasures = 1;
    ASSERT_EQ(PDF_MergeCachedMatrix(&c, cw.data(), conf.data()), 1);
    EXPECT_EQ(cw[0], 100);
    EXPECT_EQ(conf[0], 3);
    EXPECT_EQ(cw[5], 105);
    EXPECT_EQ(conf[5], 2);
    EXPECT_EQ(cw[1], 500);
    EXPECT_EQ(cw[7], 107);
    EXPECT_EQ(c.erasures, 0);
    // Another shape: ignored.
    for (int change = 0; change < 3; ++change) {
        PDF_CANDIDATE other = c;
        (change == 0 ? other.columns : change == 1 ? other.rows : other.level) += 1;
        EXPECT_EQ(PDF_MergeCachedMatrix(&other, cw.data(), conf.data()), 0);
    }
    PDF_ClearMatrixCache();
    EXPECT_EQ(PDF_MergeCachedMatrix(&c, cw.data(), conf.data()), 0);
}

TEST_F(PdfDecodeTest, FailedSymbolReport) {
    const testkit::Symbol s = Pdf417("FAILED SYMBOL REPORT 0123456789", 2, 4);
    std::vector<std::pair<int, int>> cells;
    for (int k = 0; k < 12; ++k) cells.push_back({k % 6, k / 6});
    for (int big = 0; big < 2; ++big) {
        // The symbol fills more than 0.4 of the small frame.
        testkit::Rendered r = testkit::Render(s, {.width = big ? 320 : 752, .height = big ? 70 : 480, .moduleSize = 2});
        Blank(&r, s, cells);
        Use(r);
        PDF_ResetState();
        g_state.decodeRecordWord = 0;
        g_state.decodeRecord[1] = 9;
        const i32 box[1][4] = {{0, 0, r.frame.width - 1, r.frame.height - 1}};
        const u8 flags[1] = {1};
        EXPECT_EQ(PDF_DecodeInRegions(box, 1, flags, 0), 30) << big;
        EXPECT_EQ(g_state.decodeRecordWord, 1u);
        EXPECT_EQ(g_state.decodeRecord[1], big ? 2 : 0);
        const testkit::Point tl = r.transform.ToImage({0, 0});
        const testkit::Point br = r.transform.ToImage({s.width, s.height});
        const REGION_QUAD &q = g_state.decodeRecordQuad;
        // The left corners lie about ten modules beyond the start pattern (see the report).
        EXPECT_NEAR(q.c[0].x, tl.x, 25);
        EXPECT_NEAR(q.c[0].y, tl.y, 6);
        EXPECT_NEAR(q.c[3].x, br.x, 6);
        EXPECT_NEAR(q.c[3].y, br.y, 6);
        EXPECT_EQ(ArenaUsed(), 0);
    }
}

TEST_F(PdfDecodeTest, RegionRules) {
    const std::string data = "REGION RULES";
    const testkit::Symbol s = Pdf417(data, 2, 3);
    const testkit::Rendered r = testkit::Render(s, {.moduleSize = 3});
    Use(r);
    const i32 box[1][4] = {{0, 0, r.frame.width - 1, r.frame.height - 1}};
    const u8 flags[1] = {1};
    // A linear-code region is skipped unless forced.
    g_state.regionClass[0] = kRegionClassBars;
    EXPECT_EQ(PDF_DecodeInRegions(box, 1, flags, 0), -30);
    EXPECT_EQ(PDF_DecodeInRegions(box, 1, flags, 1), 0);
    g_state.regionClass[0] = 0;
    // The centre-in-ROI option: a symbol centred outside the region is not decoded and
    // records nothing.
    g_state.extraGeometryStep = 1;
    g_state.roiQuad = REGION_QUAD{{{0, 0}, {200, 0}, {0, 479}, {200, 479}}};
    g_pdfState.bestStatus = -41;
    EXPECT_EQ(Decode(Start()), 10);
    EXPECT_EQ(g_pdfState.bestStatus, -41);
    g_state.roiQuad = REGION_QUAD{{{200, 0}, {751, 0}, {200, 479}, {751, 479}}};
    EXPECT_EQ(Decode(Start()), 0);
    g_state.extraGeometryStep = 0;
    // With the fast stage's word the core's boxes are used as they are: one beside the
    // symbol finds nothing.
    g_state.stageWord = 2;
    g_state.pdfCandidateCount = 1;
    g_state.pdfCandidateTags[0] = 1;
    g_state.pdfCandidateBoxes[0] = PDF_CANDIDATE_BOX{0, 0, 100, 479};
    EXPECT_EQ(PDF_DecodeImage(), 0);
    g_state.pdfCandidateBoxes[0] = PDF_CANDIDATE_BOX{0, 0, 751, 479};
    EXPECT_EQ(PDF_DecodeImage(), 1);
    EXPECT_EQ(pdf_test::Str(PDF_GetResultText(), PDF_GetResultLength()), data);
    EXPECT_EQ(ArenaUsed(), 0);
}

TEST_F(PdfDecodeTest, TextsAndLayouts) {
    PDF_ResetState();
    const std::string a = "abc";
    EXPECT_EQ(PDF_AddText(reinterpret_cast<const u8 *>(a.data()), 3, 0), 1);
    EXPECT_EQ(PDF_InsertTextFront(reinterpret_cast<const u8 *>("XY"), 2), 1);
    EXPECT_EQ(PDF_AddText(reinterpret_cast<const u8 *>("!"), 1, 0), 1);
    EXPECT_EQ(pdf_test::Str(g_pdfState.text, g_pdfState.length), "XYabc!");
    // A join that would not fit the result buffer is refused and changes nothing.
    std::vector<u8> big(kPdfTextCapacity - 5, 'z');
    EXPECT_EQ(PDF_AddText(big.data(), static_cast<i32>(big.size()), 1), 0);
    EXPECT_EQ(PDF_AddText(big.data(), static_cast<i32>(big.size()) - 1, 1), 1);
    EXPECT_EQ(g_pdfState.length, kPdfTextCapacity);
    const REGION_QUAD flat{{{0, 0}, {100, 10}, {0, 50}, {100, 60}}};
    const REGION_QUAD steep{{{0, 0}, {10, 100}, {-50, 0}, {-40, 100}}};
    const REGION_QUAD ff[2] = {flat, flat};
    const REGION_QUAD sf[2] = {steep, flat};
    const REGION_QUAD fs[2] = {flat, steep};
    const REGION_QUAD ss[2] = {steep, steep};
    EXPECT_EQ(PDF_QuadPairLayout(ff), 1);
    EXPECT_EQ(PDF_QuadPairLayout(ss), 1);
    EXPECT_EQ(PDF_QuadPairLayout(sf), 2);
    EXPECT_EQ(PDF_QuadPairLayout(fs), 3);
    EXPECT_EQ(PDF_QuadCentreSeen(&flat, 1, &flat), 1);
    const REGION_QUAD far{{{500, 500}, {600, 500}, {500, 550}, {600, 550}}};
    EXPECT_EQ(PDF_QuadCentreSeen(&flat, 1, &far), 0);
    EXPECT_EQ(PDF_GetMacroFileIdItem(16), -1);
    EXPECT_EQ(PDF_GetMacroFileIdItem(-1), -1);
    EXPECT_EQ(PDF_GetMacroFileIdItem(15), 0);
}

// A flat and a steep symbol joined: the flat one's text first, whether the steep one decodes
// first (its box handed first: layout 2) or second (layout 3).
TEST_F(PdfDecodeTest, FlatAndSteepJoinedEitherWay) {
    const std::string flatText = "FLAT SYMBOL 111";
    const std::string steepText = "STEEP SYMBOL 222";
    const testkit::Frame f = TwoSymbols(Pdf417(flatText, 2, 2), 0, Pdf417(steepText, 2, 2), 90);
    InstallFrame(f.width, f.height, f.pixels);
    const i32 flatBox[4] = {0, 0, f.width / 2 - 1, f.height - 1};
    const i32 steepBox[4] = {0, f.width / 2, f.width - 1, f.height - 1};
    const u8 flags[2] = {3, 3};
    for (int steepFirst = 0; steepFirst < 2; ++steepFirst) {
        i32 boxes[2][4];
        std::copy(steepFirst ? steepBox : flatBox, (steepFirst ? steepBox : flatBox) + 4, boxes[0]);
        std::copy(steepFirst ? flatBox : steepBox, (steepFirst ? flatBox : steepBox) + 4, boxes[1]);
        PDF_ResetState();
        g_pdfState.joinedMode = 2;
        EXPECT_EQ(PDF_DecodeInRegions(boxes, 2, flags, 1), 0) << steepFirst;
        EXPECT_EQ(pdf_test::Str(g_pdfState.text, g_pdfState.length), flatText + steepText) << steepFirst;
        EXPECT_EQ(PDF_QuadPairLayout(g_pdfState.storedQuads), steepFirst ? 2 : 3);
        EXPECT_EQ(Dec_GetJoinedCount(), 2);
        EXPECT_EQ(ArenaUsed(), 0);
    }
}

// The CC-C component of a GS1-128 composite, decoded through a request built by hand around
// it (corners in cyclic order).
TEST_F(PdfDecodeTest, ComponentRequest) {
    const std::string data = "[10]ABC123[17]231120";
    testkit::SymbolInput in;
    in.symbology = BARCODE_GS1_128_CC;
    in.inputMode = GS1_MODE;
    in.primary = "[01]12345678901231";
    in.data = data;
    in.option1 = 3;
    const testkit::Symbol s = testkit::Encode(in);
    ASSERT_TRUE(s.ok) << s.error;
    const testkit::Rendered r = testkit::Render(s, {.moduleSize = 2});
    Use(r);
    int k = 1;
    while (k < s.rows && std::abs((s.rowTop[k + 1] - s.rowTop[k]) - (s.rowTop[1] - s.rowTop[0])) < 1e-9) ++k;
    const double bottom = s.rowTop[k];
    const testkit::Point pts[4] = {r.transform.ToImage({0, 0}), r.transform.ToImage({s.width, 0}),
                                   r.transform.ToImage({s.width, bottom}), r.transform.ToImage({0, bottom})};
    const double grow[4][2] = {{-8, -8}, {8, -8}, {8, 4}, {-8, 4}};
    i32 quad[8];
    for (int c = 0; c < 4; ++c) {
        quad[2 * c] = static_cast<i32>(pts[c].x + grow[c][0]);
        quad[2 * c + 1] = static_cast<i32>(pts[c].y + grow[c][1]);
    }
    std::vector<u8> buffer(3120);
    CC_PDF_REQUEST req{quad, {}, 3120, -1, buffer.data()};
    ASSERT_EQ(PDF_DecodeInQuad(&req), 1);
    EXPECT_EQ(pdf_test::Str(buffer.data(), req.length), pdf_test::Plain(data));
    EXPECT_EQ(PDF_GetResultLength(), 0);
    EXPECT_EQ(PDF_GetResultText(), nullptr);
    EXPECT_EQ(g_pdfState.regionFlag, 0);
    // A text longer than the capacity: 0 with length 0.
    req.capacity = 3;
    EXPECT_EQ(PDF_DecodeInQuad(&req), 0);
    EXPECT_EQ(req.length, 0);
    // A quad reaching far outside the frame reads nothing outside it.
    i32 wide[8] = {-400, -300, 1500, -300, 1500, 900, -400, 900};
    CC_PDF_REQUEST outside{wide, {}, 3120, -1, buffer.data()};
    PDF_DecodeInQuad(&outside);
    EXPECT_EQ(PDF_GetResultLength(), 0);
    EXPECT_EQ(ArenaUsed(), 0);
}

}  // namespace
