// libzint symbols read through the image side's tables and scanners: the width tables rebuilt
// from symbols, PDF417 and MicroPDF417 module matrices read pattern by pattern through the
// codeword keys and decoded, and guard scanning on rendered camera frames.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "locate/pdf_guard_probe.h"
#include "pdf417/cc_data.h"
#include "pdf417/mpdf_variants.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_guards.h"
#include "pdf417/pdf417_interpret.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417/pdf417_widths.h"
#include "pdf417_bars.h"
#include "pdf417_test_util.h"
#include "support/pdf417_patterns.h"
#include "support/testkit.h"

namespace {

using namespace vexo;
using pdf_test::Printable;

constexpr uint32_t kScanSeed = 1101109;
constexpr int kScanCapacity = 2812;

TEST(PdfWidthTables, RebuiltFromLibzintSymbols) {
    static testkit::Pdf417Patterns rebuilt;
    std::string error;
    ASSERT_TRUE(testkit::DerivePdf417Patterns(417, &rebuilt, &error)) << error;
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 929; ++v) {
            for (int e = 0; e < 8; ++e) {
                ASSERT_EQ(rebuilt.codewords[c][v][e], PDF_CLUSTER_WIDTHS[c][v][e]) << "cluster " << 3 * c << " value " << v;
            }
        }
    }
    for (int s = 0; s < 2; ++s) {
        for (int n = 0; n < 52; ++n) {
            for (int e = 0; e < 6; ++e) ASSERT_EQ(rebuilt.raps[s][n][e], PDF_RAP_WIDTHS[s][n][e]) << s << " " << n + 1;
        }
    }
}

// Reads `count` elements of module row r from column col as ideal edges (16 per module).
std::vector<i32> EdgesAt(const testkit::Symbol &s, int r, int col, int count) {
    std::vector<i32> e{0};
    int at = col;
    for (int k = 0; k < count; ++k) {
        int n = 0;
        while (at < s.cols && s.Dark(r, at) == (k % 2 == 0)) ++n, ++at;
        e.push_back(e.back() + 16 * n);
    }
    return e;
}

// The data codewords of a PDF417 module matrix; false on an unread pattern or a cluster that
// is not the row's.
bool ReadPdf417Matrix(const testkit::Symbol &s, std::vector<i32> *cw) {
    const int columns = (s.cols - 69) / 17;
    for (int r = 0; r < s.rows; ++r) {
        for (int j = 0; j < columns; ++j) {
            i32 value = 0;
            if (PDF_ReadCodewordSignature(EdgesAt(s, r, 34 + 17 * j, 8).data(), &value) != 1) return false;
            if (value >> 28 != 3 * (r % 3)) return false;
            cw->push_back(value & 0x0FFFFFFF);
        }
    }
    return true;
}

class PdfMatrixTest : public pdf_test::PdfTest {
public:
    std::string DecodePdf417(const testkit::SymbolInput &in, int level) {
        const testkit::Symbol s = testkit::Encode(in);
        EXPECT_TRUE(s.ok) << s.error;
        std::vector<i32> cw;
        EXPECT_TRUE(ReadPdf417Matrix(s, &cw)) << Printable(in.data);
        std::vector<int> block(cw.begin(), cw.end());
        EXPECT_TRUE(pdf_test::SyndromesZero(block, 2 << level)) << Printable(in.data);
        std::vector<u8> out(kScanCapacity);
        const int n = PDF_CorrectAndDecode(cw.data(), static_cast<i32>(cw.size()), level, out.data(), kScanCapacity);
        return n >= 0 ? std::string(out.begin(), out.begin() + n) : "<" + std::to_string(n) + ">";
    }
};

void SweepPdf417(PdfMatrixTest *t, int trials, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int trial = 0; trial < trials; ++trial) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_PDF417;
        const int kind = trial % 4;
        in.data = pdf_test::RandomData(rng, kind, 1 + static_cast<int>(rng() % 160));
        const int level = static_cast<int>(rng() % 9);
        in.option1 = level;
        in.option2 = 1 + static_cast<int>(rng() % 30);
        const testkit::Symbol probe = testkit::Encode(in);
        if (!probe.ok) continue;
        EXPECT_EQ(Printable(t->DecodePdf417(in, level)), Printable(in.data))
            << "trial " << trial << " level " << level << " columns " << in.option2 << " seed " << seed;
    }
}

TEST_F(PdfMatrixTest, Pdf417DataKindsLevelsAndColumns) { SweepPdf417(this, 60, kScanSeed); }

TEST_F(PdfMatrixTest, SlowPdf417Sweep) { SweepPdf417(this, 2000, kScanSeed + 7); }

TEST_F(PdfMatrixTest, Pdf417EciAndStructuredAppend) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_PDF417;
    in.data = "Gr\xC3\xBC\xC3\x9F" "e";
    in.eci = 26;
    in.option1 = 3;
    EXPECT_EQ(Printable(DecodePdf417(in, 3)), Printable("\\000026" + in.data));
    for (int index = 1; index <= 3; ++index) {
        testkit::SymbolInput sa;
        sa.symbology = BARCODE_PDF417;
        sa.data = "Part " + std::to_string(index);
        sa.option1 = 2;
        sa.structAppIndex = index;
        sa.structAppCount = 3;
        sa.structAppId = "123456789";
        EXPECT_EQ(DecodePdf417(sa, 2), sa.data);
        EXPECT_EQ(g_pdfMacro.present, 1);
        EXPECT_EQ(g_pdfMacro.segmentIndex, index - 1);
        EXPECT_EQ(g_pdfMacro.fileId[0], 123);
        EXPECT_EQ(g_pdfMacro.fileId[1], 456);
        EXPECT_EQ(g_pdfMacro.fileId[2], 789);
        EXPECT_EQ(g_pdfMacro.countWord, index == 3 ? 3 : 0);
    }
}

// MicroPDF417: data columns and RAP columns by data column count.
int MicroDataColumn(int columns, int j) {
    static constexpr int kAt[5][4] = {{}, {10}, {10, 27}, {10, 37, 54}, {10, 27, 54, 71}};
    return kAt[columns][j];
}

TEST_F(PdfMatrixTest, MicroPdf417EverySize) {
    std::mt19937 rng(kScanSeed + 1);
    std::map<int, bool> seen;
    for (int columns = 1; columns <= 4; ++columns) {
        for (int length = 1; length <= 400; ++length) {
            testkit::SymbolInput in;
            in.symbology = BARCODE_MICROPDF417;
            // Digits grow the symbol a codeword at a time, so every size comes up.
            in.data = pdf_test::RandomData(rng, 2, length);
            in.option2 = columns;
            const testkit::Symbol s = testkit::Encode(in);
            if (!s.ok || s.cols != 38 + 17 * (columns - 1) + (columns >= 3 ? 10 : 0)) break;
            int variant = -1;
            for (int v = 0; v < kMpdfVariantCount; ++v) {
                if (MPDF_VARIANT_TABLE[v][0] == columns && MPDF_VARIANT_TABLE[v][1] == s.rows) variant = v;
            }
            ASSERT_GE(variant, 0) << columns << "x" << s.rows;
            if (seen[variant]) continue;
            seen[variant] = true;
            const u8 *e = MPDF_VARIANT_TABLE[variant];
            std::vector<i32> cw;
            for (int r = 0; r < s.rows; ++r) {
                // The RAPs at the left and right ends number the rows from the table's starts.
                const int rightAt = s.cols - 11;
                for (const auto &[at, start] : {std::pair<int, int>{0, e[2]}, std::pair<int, int>{rightAt, e[4]}}) {
                    i32 value = 0;
                    ASSERT_EQ(PDF_ReadRapSignature(EdgesAt(s, r, at, 6).data(), &value), 1);
                    EXPECT_EQ(value, 0x10000000 + (start - 1 + r) % 52) << "variant " << variant << " row " << r;
                }
                for (int j = 0; j < columns; ++j) {
                    i32 value = 0;
                    ASSERT_EQ(PDF_ReadCodewordSignature(EdgesAt(s, r, MicroDataColumn(columns, j), 8).data(), &value), 1);
                    cw.push_back(value & 0x0FFFFFFF);
                }
            }
            const int checks = e[11];
            EXPECT_TRUE(pdf_test::SyndromesZero(std::vector<int>(cw.begin(), cw.end()), checks)) << variant;
            std::vector<u8> out(kScanCapacity);
            const int n = PDF_CorrectAndDecodeTyped(cw.data(), static_cast<i32>(cw.size()), checks, kPdfTypeMicro,
                                                    out.data(), kScanCapacity);
            ASSERT_GE(n, 0) << "variant " << variant;
            EXPECT_EQ(Printable(std::string(out.begin(), out.begin() + n)), Printable(in.data)) << "variant " << variant;
        }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kMpdfVariantCount));
}

// Composite components: the 2D rows above a libzint linear symbol, laid out as MicroPDF417's
// columns (the component's width gives the column count), read through the same keys. CC-B
// starts with 920 and takes its check count from the variant table; CC-A's is the largest k
// whose k syndromes are zero.
struct Component {
    std::vector<i32> cw;
    int columns = 0;
    int rows = 0;
};

// Data columns by the component's width: MicroPDF417's layouts, and CC-A's three columns,
// which have no left RAP (data, centre RAP, data, data, right RAP).
struct ComponentLayout {
    int width, columns, rapAt;
    int dataAt[4];
};
constexpr ComponentLayout kComponentLayouts[] = {
    {38, 1, 0, {10}}, {55, 2, 0, {10, 27}}, {72, 3, 17, {0, 27, 44}}, {82, 3, 0, {10, 37, 54}}, {99, 4, 0, {10, 27, 54, 71}},
};

// The component ends at the first row whose patterns do not all read (the linear part's
// separator can pass for a RAP); a row lost inside it shows as failed checks.
bool ReadComponent(const testkit::Symbol &s, Component *c) {
    int left = 0, right = s.cols - 1;
    while (left < s.cols && !s.Dark(0, left)) ++left;
    while (right > left && !s.Dark(0, right)) --right;
    const ComponentLayout *layout = nullptr;
    for (const ComponentLayout &l : kComponentLayouts) {
        if (right - left + 1 == l.width) layout = &l;
    }
    if (layout == nullptr) return false;
    c->columns = layout->columns;
    for (int r = 0; r < s.rows; ++r) {
        i32 rap = 0;
        if (PDF_ReadRapSignature(EdgesAt(s, r, left + layout->rapAt, 6).data(), &rap) != 1) break;
        std::vector<i32> row;
        for (int j = 0; j < c->columns; ++j) {
            i32 value = 0;
            if (PDF_ReadCodewordSignature(EdgesAt(s, r, left + layout->dataAt[j], 8).data(), &value) != 1) break;
            row.push_back(value & 0x0FFFFFFF);
        }
        if (static_cast<int>(row.size()) < c->columns) break;
        c->cw.insert(c->cw.end(), row.begin(), row.end());
        ++c->rows;
    }
    return c->rows > 0;
}

int ComponentChecks(const Component &c) {
    if (c.cw[0] == 920) {
        for (int v = 0; v < kMpdfVariantCount; ++v) {
            if (MPDF_VARIANT_TABLE[v][0] == c.columns && MPDF_VARIANT_TABLE[v][1] == c.rows) return MPDF_VARIANT_TABLE[v][11];
        }
        return -1;
    }
    for (int k = static_cast<int>(c.cw.size()) - 1; k > 0; --k) {
        if (pdf_test::SyndromesZero(std::vector<int>(c.cw.begin(), c.cw.end()), k)) return k;
    }
    return -1;
}

TEST_F(PdfMatrixTest, CompositeComponentsFromModuleMatrices) {
    struct Linear {
        int symbology;
        const char *primary;
        int columns;
    };
    static constexpr Linear kLinear[] = {
        {BARCODE_GS1_128_CC, "[01]12345678901231", 4},
        {BARCODE_EANX_CC, "331234567890", 4},
        {BARCODE_EANX_CC, "1234567", 3},
        {BARCODE_UPCE_CC, "0654321", 2},
        {BARCODE_DBAR_LTD_CC, "0351234567890", 3},
    };
    for (const Linear &l : kLinear) {
        int read[2] = {};
        for (const std::string &d : pdf_test::CompositeData()) {
            for (int type : {1, 2}) {
                testkit::SymbolInput in;
                in.symbology = l.symbology;
                in.inputMode = GS1_MODE;
                in.primary = l.primary;
                in.data = d;
                in.option1 = type;
                const testkit::Symbol s = testkit::Encode(in);
                if (!s.ok) continue;  // too long for this component at this width
                const std::string what = d + " CC-" + "AB"[type - 1] + " on " + l.primary;
                Component c;
                ASSERT_TRUE(ReadComponent(s, &c)) << what;
                EXPECT_EQ(c.columns, l.columns) << what;
                // libzint moves data too long for CC-A to CC-B.
                if (type == 2) {
                    EXPECT_EQ(c.cw[0], 920) << what;
                }
                ++read[c.cw[0] == 920 ? 1 : 0];
                const int checks = ComponentChecks(c);
                ASSERT_GT(checks, 0) << what;
                if (type == 2) {
                    EXPECT_TRUE(pdf_test::SyndromesZero(std::vector<int>(c.cw.begin(), c.cw.end()), checks)) << what;
                }
                std::vector<u8> out(512);
                const int n = CC_DecodeData(c.cw.data(), static_cast<i32>(c.cw.size()) - checks, out.data(), 512);
                ASSERT_GT(n, 0) << what;
                EXPECT_EQ(std::string(out.begin(), out.begin() + n), pdf_test::Plain(d)) << what;
            }
        }
        // Both kinds at every width, or the layout above went untested.
        EXPECT_GT(read[0], 0) << l.primary;
        EXPECT_GT(read[1], 0) << l.primary;
    }
}

// ---- Guard scanning on rendered frames.

class PdfFrameScanTest : public pdf_bars::ImageTest {
protected:
    int Scan(const testkit::Rendered &r, int reverse, bool columns = false) {
        InstallFrame(r.frame.width, r.frame.height, r.frame.pixels);
        const i32 box[4] = {0, 0, r.frame.width - 1, r.frame.height - 1};
        return columns ? PDF_ScanColumnsForGuards(found, 4, reverse, box, r.frame.width)
                       : PDF_ScanRowsForGuards(found, 4, reverse, box, r.frame.height);
    }
    PDF_CANDIDATE found[4] = {};
};

testkit::Symbol TestPdf417(int columns) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_PDF417;
    in.data = "Guard scanning on camera frames 0123456789";
    in.option1 = 2;
    in.option2 = columns;
    return testkit::Encode(in);
}

TEST_F(PdfFrameScanTest, UprightTurnedAndInverted) {
    // 103 modules wide: inside the frame's height when turned.
    const testkit::Symbol s = TestPdf417(2);
    ASSERT_TRUE(s.ok);
    for (double module : {2.0, 3.0, 4.0}) {
        const std::string where = "module " + std::to_string(module);
        testkit::RenderOptions o;
        o.moduleSize = module;
        o.blurSigma = 0.5;
        const testkit::Rendered up = testkit::Render(s, o);
        ASSERT_EQ(Scan(up, 0), 2) << where;
        EXPECT_EQ(found[0].kind, 1) << where;
        EXPECT_EQ(found[1].kind, 3) << where;
        const double top = up.transform.ToImage({0, 0}).y;
        const double bottom = up.transform.ToImage({0, s.height}).y;
        for (int k = 0; k < 2; ++k) {
            // The first bar edge of the start (column 0) or stop pattern (its last 18 modules),
            // as a step index: the step from pixel j to j + 1 (at image x = j + 1) is index j.
            const double edge = up.transform.ToImage({k == 0 ? 0.0 : s.width - 18, 0}).x - 1;
            EXPECT_LT(found[k].end1.y, found[k].end2.y) << where;
            EXPECT_LE(std::abs(found[k].end1.x - edge), 1.0) << where << " kind " << found[k].kind;
            EXPECT_LE(std::abs(found[k].end2.x - edge), 1.0) << where << " kind " << found[k].kind;
            EXPECT_LE(std::abs(found[k].end1.y - top), 8.0) << where;
            EXPECT_LE(std::abs(found[k].end2.y - bottom), 8.0) << where;
        }
        o.angleDeg = 180;
        const testkit::Rendered turned = testkit::Render(s, o);
        ASSERT_EQ(Scan(turned, 0), 2) << where;
        EXPECT_EQ(found[0].kind, 4) << where;
        EXPECT_EQ(found[1].kind, 2) << where;
        o.angleDeg = 0;
        o.invert = true;
        const testkit::Rendered light = testkit::Render(s, o);
        // Without reverse, light bars give no negative kind (falling edges of the dark
        // spaces may pass a positive test now and then).
        for (int k = Scan(light, 0); k-- > 0;) EXPECT_GT(found[k].kind, 0) << where;
        ASSERT_EQ(Scan(light, 1), 2) << where;
        EXPECT_EQ(found[0].kind, -1) << where;
        EXPECT_EQ(found[1].kind, -3) << where;
        o.invert = false;
        o.angleDeg = 90;
        const testkit::Rendered side = testkit::Render(s, o);
        EXPECT_EQ(Scan(side, 0), 0) << where;
        ASSERT_EQ(Scan(side, 0, true), 2) << where;
        EXPECT_EQ(found[0].orientation, 1) << where;
        EXPECT_EQ(ArenaUsed(), 0);
    }
}

TEST_F(PdfFrameScanTest, OnePolarityClassPerScan) {
    // An upright and a turned symbol side by side: the first candidate's class holds.
    const testkit::Symbol s = TestPdf417(2);
    testkit::RenderOptions o;
    o.moduleSize = 2;
    o.center = testkit::Point{188, 240};
    const testkit::Rendered left = testkit::Render(s, o);
    o.center = testkit::Point{564, 240};
    o.angleDeg = 180;
    testkit::Rendered both = testkit::Render(s, o);
    for (int y = 0; y < both.frame.height; ++y) {
        for (int x = 0; x < 376; ++x) both.frame.At(x, y) = left.frame.At(x, y);
    }
    const int n = Scan(both, 0);
    ASSERT_GE(n, 2);
    const bool upright = found[0].kind == 1 || found[0].kind == 3;
    for (int k = 0; k < n; ++k) {
        EXPECT_EQ(found[k].kind == 1 || found[k].kind == 3, upright) << k << " kind " << found[k].kind;
    }
}

TEST_F(PdfFrameScanTest, BoxProbeOnPdf417AndCode128) {
    testkit::RenderOptions o;
    o.moduleSize = 3;
    const testkit::Rendered pdf = testkit::Render(TestPdf417(4), o);
    InstallFrame(pdf.frame.width, pdf.frame.height, pdf.frame.pixels);
    const i32 box[4] = {100, 0, 751, 380};
    EXPECT_EQ(Loc_BoxHasPdfGuards(box), 1);
    EXPECT_EQ(ArenaUsed(), 0);
    const testkit::Rendered code128 = testkit::Render(testkit::Encode(BARCODE_CODE128, "CODE128 no guards 0123"), o);
    InstallFrame(code128.frame.width, code128.frame.height, code128.frame.pixels);
    EXPECT_EQ(Loc_BoxHasPdfGuards(box), 0);
    EXPECT_EQ(ArenaUsed(), 0);
}

}  // namespace
