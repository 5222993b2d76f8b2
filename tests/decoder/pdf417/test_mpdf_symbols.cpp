// MicroPDF417 on libzint symbols: the variant table against every symbol size, the locator's
// RAP columns and whole reads inside a region quad, and the frame sweep through the
// exported interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/modules.h"
#include "core/params.h"
#include "core/state.h"
#include "pdf417/mpdf_decode.h"
#include "pdf417/mpdf_locate.h"
#include "pdf417/mpdf_variants.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_rows.h"
#include "pdf417/pdf417_scanline.h"
#include "pdf417/pdf417_services.h"
#include "toolkit/geometry.h"
#include "pdf417_bars.h"
#include "pdf417_test_util.h"
#include "support/testkit.h"

namespace {

using namespace vexo;

// Data of one kind and length: 0 text, 1 bytes, 2 digits.
std::string Data(int kind, int n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (kind == 0) s.push_back(static_cast<char>('A' + rng() % 26));
        if (kind == 1) s.push_back(static_cast<char>(rng() % 256));
        if (kind == 2) s.push_back(static_cast<char>('0' + rng() % 10));
    }
    return s;
}

int SymbolColumns(const testkit::Symbol &s) {
    switch (s.cols) {
        case 38: return 1;
        case 55: return 2;
        case 82: return 3;
        case 99: return 4;
        default: return 0;
    }
}

// One symbol of each of the 34 sizes: the shortest data of `kind` that gives it.
struct SizedSymbol {
    int variant;
    std::string data;
    testkit::Symbol symbol;
};

const std::vector<SizedSymbol> &AllSizes(int kind) {
    static std::map<int, std::vector<SizedSymbol>> cache;
    auto it = cache.find(kind);
    if (it != cache.end()) return it->second;
    std::vector<SizedSymbol> out(kMpdfVariantCount, SizedSymbol{-1, {}, {}});
    for (int columns = 1; columns <= 4; ++columns) {
        for (int n = 1; n <= 400; ++n) {
            testkit::SymbolInput in;
            in.symbology = BARCODE_MICROPDF417;
            in.data = Data(kind, n, 7u + static_cast<uint32_t>(n));
            in.option2 = columns;
            testkit::Symbol s = testkit::Encode(in);
            if (!s.ok || SymbolColumns(s) != columns) break;
            for (int v = 0; v < kMpdfVariantCount; ++v) {
                if (MPDF_VARIANT_TABLE[v][0] == columns && MPDF_VARIANT_TABLE[v][1] == s.rows && out[v].variant < 0) {
                    out[v] = SizedSymbol{v, in.data, s};
                }
            }
        }
    }
    return cache[kind] = out;
}

// Run lengths from module col of row r, alternating from dark, as edge positions (x16).
std::vector<i32> Edges(const testkit::Symbol &s, int r, int col, int count) {
    std::vector<i32> e{0};
    int at = col;
    for (int k = 0; k < count; ++k) {
        int n = 0;
        while (at < s.cols && s.Dark(r, at) == (k % 2 == 0)) ++n, ++at;
        e.push_back(e.back() + 16 * n);
    }
    return e;
}

i32 Rap(const testkit::Symbol &s, int r, int col) {
    i32 value = kPdfNoCodeword;
    PDF_ReadRapSignature(Edges(s, r, col, 6).data(), &value);
    return value;
}

// The codewords of the symbol row by row, read through the decoder's pattern tables.
std::vector<int> Codewords(const testkit::Symbol &s, int columns) {
    std::vector<int> cw;
    for (int r = 0; r < s.rows; ++r) {
        for (int j = 0; j < columns; ++j) {
            // Data columns start after the left RAP, and after the centre one from the
            // third (three columns) or fourth (four columns) on.
            int at = 10 + 17 * j;
            if ((columns == 3 && j >= 1) || (columns == 4 && j >= 2)) at += 10;
            i32 value = kPdfNoCodeword;
            PDF_ReadCodewordSignature(Edges(s, r, at, 8).data(), &value);
            cw.push_back(value & 0x0FFFFFFF);
        }
    }
    return cw;
}

// GF(929) syndrome k (root 3^k) of the codewords, highest degree first.
int Syndrome(const std::vector<int> &cw, int k) {
    int root = 1;
    for (int i = 0; i < k; ++i) root = root * 3 % 929;
    int v = 0;
    for (int c : cw) v = (v * root + c) % 929;
    return v;
}

TEST(MpdfVariantTable, EveryEntryMatchesLibzintSymbols) {
    const auto &sizes = AllSizes(0);
    for (int v = 0; v < kMpdfVariantCount; ++v) {
        const auto &e = MPDF_VARIANT_TABLE[v];
        const SizedSymbol &ss = sizes[static_cast<size_t>(v)];
        ASSERT_EQ(ss.variant, v) << "no libzint symbol of " << int(e[0]) << " x " << int(e[1]);
        const testkit::Symbol &s = ss.symbol;
        const int columns = SymbolColumns(s);
        EXPECT_EQ(columns, e[0]) << "entry " << v;
        EXPECT_EQ(s.rows, e[1]) << "entry " << v;
        const int right = s.cols - 11;
        const int centre = columns == 3 ? 27 : columns == 4 ? 44 : -1;
        EXPECT_EQ(Rap(s, 0, 0), 0x10000000 + e[2] - 1) << "left start, entry " << v;
        EXPECT_EQ(Rap(s, 0, right), 0x10000000 + e[4] - 1) << "right start, entry " << v;
        if (centre >= 0) {
            EXPECT_EQ(Rap(s, 0, centre), 0x20000000 + e[3] - 1) << "centre start, entry " << v;
        } else {
            EXPECT_EQ(e[3], 0) << "entry " << v;
        }
        const std::vector<int> cw = Codewords(s, columns);
        EXPECT_EQ(static_cast<int>(cw.size()), e[10]) << "entry " << v;
        int k = 0;
        while (k < 64 && Syndrome(cw, k + 1) == 0) ++k;
        EXPECT_EQ(k, e[11]) << "check count, entry " << v;
    }
}

class MpdfImageTest : public pdf_bars::ImageTest {
public:
    void Put(const testkit::Rendered &r) {
        InstallFrame(r.frame.width, r.frame.height, r.frame.pixels);
        work.assign(pixels.size(), 0);
        g_image.buffer2 = work.data();
        g_state.locatedCount = 1;
        Dec_ClearResultStore();
    }
    // The region quad around the symbol, `margin` modules out, upright as the region stage
    // gives it: the bounding box of the symbol's corners.
    void SetRegion(const testkit::Symbol &s, const testkit::Rendered &r, double margin) {
        const testkit::Point p[4] = {{-margin, -margin}, {s.width + margin, -margin}, {-margin, s.height + margin},
                                     {s.width + margin, s.height + margin}};
        double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
        for (const testkit::Point &c : p) {
            const testkit::Point v = r.transform.ToImage(c);
            x0 = std::min(x0, v.x);
            y0 = std::min(y0, v.y);
            x1 = std::max(x1, v.x);
            y1 = std::max(y1, v.y);
        }
        const i32 l = std::max(0, static_cast<i32>(x0));
        const i32 t = std::max(0, static_cast<i32>(y0));
        const i32 rr = std::min(r.frame.width - 1, static_cast<i32>(x1));
        const i32 b = std::min(r.frame.height - 1, static_cast<i32>(y1));
        g_state.stageRegionAligned = REGION_QUAD{{{l, t}, {rr, t}, {l, b}, {rr, b}}};
    }
    // Renders the symbol at 3 px, sets its region and locates: the located columns.
    MPDF_RAP_COLUMNS LocateIn(const testkit::Symbol &symbol, double angle, testkit::Rendered *out) {
        testkit::RenderOptions o;
        o.width = 360;
        o.height = 320;
        o.moduleSize = 3;
        o.angleDeg = angle;
        *out = testkit::Render(symbol, o);
        Put(*out);
        SetRegion(symbol, *out, 3);
        MPDF_RAP_COLUMNS cols{};
        EXPECT_EQ(MPDF_LocateRapColumns(&cols), 1);
        PDF_ResetReadParams();
        return cols;
    }
    std::string Read() {
        if (MPDF_DecodeImage() != 1) return "<none>";
        return pdf_test::Str(MPDF_GetResultText(), MPDF_GetResultLength());
    }
    std::vector<uint8_t> work;
};

testkit::Rendered RenderIn(const testkit::Symbol &s, double module, double angle, int width = 360, int height = 320,
                           double blur = 0, double noise = 0, uint64_t seed = 1) {
    testkit::RenderOptions o;
    o.width = width;
    o.height = height;
    o.moduleSize = module;
    o.angleDeg = angle;
    o.blurSigma = blur;
    o.noiseSigma = noise;
    o.seed = seed;
    return testkit::Render(s, o);
}

// Sizes at 3 px inside their region: `step` 1 every size, else every step-th.
void ReadSizes(MpdfImageTest *t, int kind, double angle, int step) {
    const auto &sizes = AllSizes(kind);
    for (size_t v = 0; v < sizes.size(); v += static_cast<size_t>(step)) {
        const SizedSymbol &ss = sizes[v];
        const testkit::Rendered r = RenderIn(ss.symbol, 3, angle);
        t->Put(r);
        t->SetRegion(ss.symbol, r, 3);
        EXPECT_EQ(pdf_test::Printable(t->Read()), pdf_test::Printable(ss.data))
            << "variant " << ss.variant << " kind " << kind << " angle " << angle;
        EXPECT_EQ(g_params.resultStore.storedCount, 1);
    }
}

// Every size upright in text; every sixth turned by quarters and in bytes and digits.
TEST_F(MpdfImageTest, EverySizeReadsInsideItsRegion) {
    ReadSizes(this, 0, 0, 1);
    for (double angle : {90.0, 180.0, 270.0}) ReadSizes(this, 0, angle, 6);
    ReadSizes(this, 1, 0, 6);
    ReadSizes(this, 2, 0, 6);
}

TEST_F(MpdfImageTest, SlowEverySizeKindAndQuarterTurn) {
    for (int kind = 0; kind < 3; ++kind) {
        for (double angle : {0.0, 90.0, 180.0, 270.0}) ReadSizes(this, kind, angle, 1);
    }
}

// The codewords of a three-column symbol: one data column before the centre RAP column,
// two after it; also read from the far side (turned half a turn).
TEST_F(MpdfImageTest, ThreeColumnSymbolSplitsOneAndTwo) {
    static PDF_ROW_ENTRY table[kPdfRowTableEntries];
    static MPDF_SYMBOL symbol;
    for (int v : {13, 18, 22}) {
        const SizedSymbol &ss = AllSizes(0)[static_cast<size_t>(v)];
        const std::vector<int> expected = Codewords(ss.symbol, 3);
        for (double angle : {0.0, 180.0}) {
            testkit::Rendered r;
            const MPDF_RAP_COLUMNS cols = LocateIn(ss.symbol, angle, &r);
            ASSERT_EQ(cols.lineCount, 6) << v;
            ASSERT_EQ(MPDF_ReadStructure(&cols, table, &symbol), 1) << v << " " << angle;
            EXPECT_EQ(symbol.variant, v);
            EXPECT_EQ(std::vector<int>(symbol.codewords, symbol.codewords + 3 * symbol.rows), expected)
                << v << " " << angle;
        }
    }
}

// Turned a quarter, the RAP columns run along the region's rows: the second pass finds them.
TEST_F(MpdfImageTest, ColumnsAlongTheRowsAreFoundTurnedAQuarter) {
    const SizedSymbol &ss = AllSizes(0)[9];
    for (double angle : {0.0, 90.0}) {
        testkit::Rendered r;
        const MPDF_RAP_COLUMNS cols = LocateIn(ss.symbol, angle, &r);
        EXPECT_EQ(cols.lineCount, 4) << angle;
        EXPECT_EQ(cols.vertical, angle == 0.0 ? 1 : 0) << angle;
        // Each column's two lines are one RAP (10 modules) apart.
        const POINT_I32 m{(cols.lines[0][0].x + cols.lines[0][1].x) / 2, (cols.lines[0][0].y + cols.lines[0][1].y) / 2};
        EXPECT_NEAR(Geo_DistanceToLine(&m, &cols.lines[1][0], &cols.lines[1][1]), 30, 2) << angle;
    }
}

// Two RAP rows on a column are too few; three are enough to go on.
TEST_F(MpdfImageTest, TwoRowsOnAColumnRefuseTheStructure) {
    static PDF_ROW_ENTRY table[kPdfRowTableEntries];
    static MPDF_SYMBOL symbol;
    const SizedSymbol &ss = AllSizes(0)[2];  // 1 x 20
    for (int keep : {2, 3}) {
        testkit::Rendered r;
        const MPDF_RAP_COLUMNS cols = LocateIn(ss.symbol, 0, &r);
        ASSERT_EQ(cols.lineCount, 4);
        // Paper over the right RAP column except `keep` rows in the middle.
        const int rapCol = ss.symbol.cols - 11;
        for (int row = 0; row < ss.symbol.rows; ++row) {
            if (row >= 8 && row < 8 + keep) continue;
            const testkit::Point a = r.transform.ToImage({static_cast<double>(rapCol), ss.symbol.rowTop[static_cast<size_t>(row)]});
            const testkit::Point b =
                r.transform.ToImage({static_cast<double>(rapCol + 10), ss.symbol.rowTop[static_cast<size_t>(row + 1)]});
            for (int y = static_cast<int>(a.y); y < static_cast<int>(b.y); ++y) {
                for (int x = static_cast<int>(a.x) - 1; x <= static_cast<int>(b.x) + 1; ++x) pixels[static_cast<size_t>(y * r.frame.width + x)] = 220;
            }
        }
        EXPECT_EQ(MPDF_ReadStructure(&cols, table, &symbol), keep == 2 ? 0 : 1) << keep;
    }
}

// Up to two results per image: a second that overlaps the first is refused, a third is
// decoded but not stored.
TEST_F(MpdfImageTest, ResultStoreTakesTwoSymbolsThatDoNotOverlap) {
    const SizedSymbol &ss = AllSizes(0)[7];
    const testkit::Rendered r = RenderIn(ss.symbol, 3, 0);
    struct Case {
        int stored;
        bool overlapping;
        int answer;
        int storedAfter;
    };
    for (const Case &c : {Case{0, false, 1, 1}, Case{1, true, 0, 1}, Case{1, false, 1, 2}, Case{2, false, 1, 2}}) {
        Put(r);
        SetRegion(ss.symbol, r, 3);
        RESULT_STORE &rs = g_params.resultStore;
        rs.storedCount = c.stored;
        for (int i = 0; i < c.stored; ++i) {
            rs.storedQuad[i] = c.overlapping ? g_state.stageRegionAligned : REGION_QUAD{{{0, 0}, {9, 0}, {0, 9}, {9, 9}}};
            rs.storedLength[i] = 1;
        }
        EXPECT_EQ(MPDF_DecodeImage(), c.answer) << c.stored << c.overlapping;
        EXPECT_EQ(rs.storedCount, c.storedAfter) << c.stored << c.overlapping;
        if (c.stored == 1 && c.storedAfter == 2) {
            EXPECT_EQ(pdf_test::Str(rs.storedData1, rs.storedLength[1]), ss.data);
        }
        if (c.answer == 1) {
            EXPECT_EQ(pdf_test::Str(MPDF_GetResultText(), MPDF_GetResultLength()), ss.data);
        } else {
            EXPECT_EQ(MPDF_GetResultText(), nullptr);
            EXPECT_EQ(MPDF_GetResultLength(), 0);
        }
    }
}

// Columns of RAP-like stripes over the whole frame: the traces overrun the trace list, which
// ends the search with the columns found so far.
TEST_F(MpdfImageTest, MoreRapColumnsThanTheTraceListHolds) {
    const int w = 752;
    const int h = 480;
    std::vector<uint8_t> frame(static_cast<size_t>(w * h), 220);
    const int unit[6] = {1, 1, 1, 1, 1, 5};
    for (int x = 0; x < w; ++x) {
        int m = (x / 2) % 10;
        int e = 0;
        while (m >= unit[e]) m -= unit[e++];
        if (e % 2 == 0) {
            for (int y = 0; y < h; ++y) frame[static_cast<size_t>(y * w + x)] = 30;
        }
    }
    InstallFrame(w, h, frame);
    work.assign(pixels.size(), 0);
    g_image.buffer2 = work.data();
    g_state.locatedCount = 1;
    g_state.stageRegionAligned = REGION_QUAD{{{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}};
    MPDF_RAP_COLUMNS cols{};
    ASSERT_EQ(MPDF_LocateRapColumns(&cols), 1);
    EXPECT_GE(cols.lineCount, 2);
    EXPECT_LE(cols.lineCount, 2 * kMpdfTraceSteps / (h / 2));
    EXPECT_EQ(MPDF_DecodeImage(), 0);
}

// Frames through the exported interface.
struct FrameCase {
    int variant;
    int kind;
    double module;
    double angle;
    double blur;
    double noise;
};

::testing::AssertionResult ReadsFrame(const FrameCase &c, uint64_t seed) {
    const SizedSymbol &ss = AllSizes(c.kind)[static_cast<size_t>(c.variant)];
    const testkit::Rendered r = RenderIn(ss.symbol, c.module, c.angle, 752, 480, c.blur, c.noise, seed);
    return testkit::ReadAs(testkit::DecodeFrame(r.frame), ss.data, 0x101, "]L0");
}

TEST(MpdfFrames, FixedSubsetReadsThroughTheInterface) {
    const FrameCase cases[] = {
        {0, 0, 3, 0, 0.5, 4},   {6, 1, 3, 90, 0.5, 4},  {13, 2, 3, 180, 0.5, 4}, {27, 0, 3, 270, 0.5, 4},
        {12, 0, 2, 0, 0, 0},    {29, 1, 3, 0, 0.8, 0},  {11, 0, 4, 180, 0, 4},   {2, 2, 4, 10, 0, 0},
    };
    for (const FrameCase &c : cases) {
        EXPECT_TRUE(ReadsFrame(c, 11)) << "variant " << c.variant << " angle " << c.angle << " module " << c.module;
    }
}

// A QR Code in the same frame still reads after the MicroPDF417 search found nothing there.
TEST(MpdfFrames, QrBesideRapStripesStillReads) {
    const testkit::Symbol qr = testkit::Encode(BARCODE_QRCODE, "beside the stripes");
    testkit::RenderOptions o;
    o.moduleSize = 4;
    o.center = testkit::Point{200, 240};
    testkit::Rendered r = testkit::Render(qr, o);
    for (int y = 100; y < 380; ++y) {
        for (int x = 450; x < 700; ++x) r.frame.pixels[static_cast<size_t>(y * r.frame.width + x)] = ((x / 2) % 10) < 5 && ((x / 2) % 2) == 0 ? 30 : 220;
    }
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(r.frame), "beside the stripes", 0x102, "]Q1"));
}

// The sweep: every size by module size, angle, blur and noise; each row's read share and
// its floor, the misses named with their seeds. No wrong read is allowed anywhere.
TEST(MpdfFramesSlow, Sweep) {
    struct Row {
        double module;
        double angle;
        double blur;
        double noise;
        double floor;
    };
    std::vector<Row> rows;
    for (double m : {2.0, 3.0, 4.0}) {
        for (double a : {0.0, 90.0, 180.0, 270.0, 10.0, -10.0}) {
            for (double b : {0.0, 0.8}) {
                for (double n : {0.0, 6.0}) {
                    // Floors: most of the sharp, clean quarter turns; a quarter of the
                    // blurred or noisy ones; any read at all when tilted (the traces' scan
                    // segments keep the scan line's direction and cross rows there).
                    const bool tilted = a == 10.0 || a == -10.0;
                    const bool clean = b == 0.0 && n == 0.0;
                    rows.push_back(Row{m, a, b, n, tilted ? 0.05 : clean ? 0.7 : 0.25});
                }
            }
        }
    }
    std::printf("module angle blur noise  read/34  floor  misses (variant:seed)\n");
    for (const Row &row : rows) {
        int read = 0;
        std::string misses;
        for (int v = 0; v < kMpdfVariantCount; ++v) {
            const uint64_t seed = 1000u + static_cast<uint64_t>(v);
            const SizedSymbol &ss = AllSizes(v % 3)[static_cast<size_t>(v)];
            const testkit::Rendered r = RenderIn(ss.symbol, row.module, row.angle, 752, 480, row.blur, row.noise, seed);
            const testkit::DecodeResult got = testkit::DecodeFrame(r.frame);
            if (got.decoded && got.codeId == 0x101) {
                EXPECT_EQ(pdf_test::Printable(got.text), pdf_test::Printable(ss.data)) << "wrong read, variant " << v;
            }
            if (testkit::ReadAs(got, ss.data, 0x101, "]L0")) {
                ++read;
            } else {
                misses += " " + std::to_string(v) + ":" + std::to_string(seed);
            }
        }
        std::printf("%4.0f %6.0f %4.1f %4.0f  %3d/34  %.2f %s\n", row.module, row.angle, row.blur, row.noise, read, row.floor,
                    misses.c_str());
        EXPECT_GE(read, static_cast<int>(row.floor * kMpdfVariantCount)) << row.module << " " << row.angle;
    }
}

}  // namespace
