// The composite component reader on libzint symbols: the CC-A and MicroPDF417 layout tables
// read back from components and symbols, and CC-A/CC-B components of every linear type read
// through CC_ReadInQuad from rendered camera frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "pdf417/cc_data.h"
#include "pdf417/cc_reader.h"
#include "pdf417/pdf417_widths.h"
#include "pdf417_test_util.h"
#include "support/testkit.h"

namespace {

using namespace vexo;
using pdf_test::Plain;
using pdf_test::Printable;

// ---- Components read back from module matrices.

struct CcComponent {
    int columns = 0;
    int rows = 0;
    int starts[3] = {0, 0, 0};  // left, centre, right RAP number of the first row
    int firstCluster = -1;      // cluster of the first row's codewords (0, 3, 6)
    int firstCol = 0;           // module columns the component spans
    int lastCol = 0;
    std::vector<int> codewords;
};

std::vector<int> RunsOfRow(const testkit::Symbol &s, int r, int *first, int *last) {
    *first = -1;
    for (int c = 0; c < s.cols; ++c) {
        if (!s.Dark(r, c)) continue;
        if (*first < 0) *first = c;
        *last = c;
    }
    std::vector<int> runs;
    if (*first < 0) return runs;
    for (int c = *first; c <= *last;) {
        const bool d = s.Dark(r, c);
        int n = 0;
        while (c <= *last && s.Dark(r, c) == d) ++n, ++c;
        runs.push_back(n);
    }
    return runs;
}

int RapNumber(const int *w, int set) {
    for (int n = 0; n < 52; ++n) {
        if (std::equal(w, w + 6, PDF_RAP_WIDTHS[set][n])) return n + 1;
    }
    return 0;
}

int CodewordOf(const int *w, int *cluster) {
    static const std::map<std::vector<int>, std::pair<int, int>> patterns = [] {
        std::map<std::vector<int>, std::pair<int, int>> m;
        for (int c = 0; c < 3; ++c) {
            for (int v = 0; v < 929; ++v) m[std::vector<int>(PDF_CLUSTER_WIDTHS[c][v], PDF_CLUSTER_WIDTHS[c][v] + 8)] = {3 * c, v};
        }
        return m;
    }();
    const auto it = patterns.find(std::vector<int>(w, w + 8));
    if (it == patterns.end()) return -1;
    *cluster = it->second.first;
    return it->second.second;
}

// The rows at the top of the matrix that have the MicroPDF417 row structure (L left RAP,
// M centre RAP, R right RAP, C codeword), by their width in modules.
bool ReadCcComponent(const testkit::Symbol &s, CcComponent *out) {
    *out = CcComponent{};
    for (int r = 0; r < s.rows; ++r) {
        int first = 0;
        int last = 0;
        const std::vector<int> runs = RunsOfRow(s, r, &first, &last);
        const int width = first < 0 ? 0 : last - first + 1;
        static const std::map<int, std::pair<int, std::string>> kRows = {
            {38, {1, "LCR"}}, {55, {2, "LCCR"}}, {72, {3, "CMCCR"}}, {82, {3, "LCMCCR"}}, {99, {4, "LCCMCCR"}}};
        const auto it = kRows.find(width);
        if (it == kRows.end() || (out->rows > 0 && width != out->lastCol - out->firstCol + 1)) break;
        size_t i = 0;
        int rap[3] = {0, 0, 0};
        std::vector<int> row;
        int cluster = -1;
        for (char k : it->second.second) {
            const size_t n = k == 'C' ? 8 : 6;
            if (i + n > runs.size()) return false;
            if (k == 'C') {
                const int v = CodewordOf(&runs[i], &cluster);
                if (v < 0) return false;
                row.push_back(v);
            } else {
                rap[k == 'L' ? 0 : k == 'M' ? 1 : 2] = RapNumber(&runs[i], k == 'M' ? 1 : 0);
            }
            i += n;
        }
        if (out->rows == 0) {
            out->columns = it->second.first;
            std::copy(rap, rap + 3, out->starts);
            out->firstCluster = cluster;
            out->firstCol = first;
            out->lastCol = last;
        }
        ++out->rows;
        out->codewords.insert(out->codewords.end(), row.begin(), row.end());
    }
    return out->rows > 0;
}

// The largest k with k zero syndromes.
int CheckCount(const std::vector<int> &block) {
    int k = 0;
    for (int n = 1; n < static_cast<int>(block.size()); ++n) {
        if (pdf_test::SyndromesZero(block, n)) k = n;
    }
    return k;
}

using CcEntry = std::tuple<int, int, int, int, int, int, int>;  // columns, rows, starts, data, check

CcEntry EntryOf(u32 layout, u32 size) {
    return CcEntry{CC_LayoutColumns(layout), CC_LayoutRows(layout), CC_LayoutLeft(layout), CC_LayoutCentre(layout),
                 CC_LayoutRight(layout), CC_SizeData(size), CC_SizeCheck(size)};
}

TEST(CcTables, CcAEntriesFromLibzintComponents) {
    // Two columns over UPC-E and DataBar stacked, three over EAN-8 and DataBar Limited, four
    // over EAN-13, UPC-A, GS1-128 and DataBar; rising data lengths reach every size.
    const std::pair<int, const char *> linear[] = {
        {BARCODE_UPCE_CC, "0123456"}, {BARCODE_DBAR_STK_CC, "12345678901231"}, {BARCODE_EANX_CC, "1234567"},
        {BARCODE_DBAR_LTD_CC, "12345678901231"}, {BARCODE_EANX_CC, "123456789012"},
        {BARCODE_UPCA_CC, "12345678901"}, {BARCODE_GS1_128_CC, "[01]12345678901231"},
        {BARCODE_DBAR_OMN_CC, "12345678901231"}};
    std::map<std::pair<int, int>, CcEntry> seen;
    for (const auto &l : linear) {
        for (int n = 1; n <= 60; ++n) {
            testkit::SymbolInput in;
            in.symbology = l.first;
            in.inputMode = GS1_MODE;
            in.primary = l.second;
            in.option1 = 1;
            in.data = "[91]" + testkit::Repeat("AB12CD", static_cast<size_t>(n));
            const testkit::Symbol s = testkit::Encode(in);
            if (!s.ok) continue;
            CcComponent c;
            ASSERT_TRUE(ReadCcComponent(s, &c)) << l.first << " " << n;
            if (c.columns == 3 && c.starts[0] == 0) {
                // CC-A has no left RAP column here: the left start follows the centre one and
                // the first row's cluster has to agree with it.
                c.starts[0] = (c.starts[1] + 20 - 1) % 52 + 1;
            }
            static constexpr int kCluster[3] = {6, 0, 3};
            EXPECT_EQ(c.firstCluster, kCluster[c.starts[0] % 3]) << l.first << " " << n;
            const int check = CheckCount(c.codewords);
            const CcEntry e{c.columns, c.rows, c.starts[0], c.starts[1], c.starts[2],
                          static_cast<int>(c.codewords.size()) - check, check};
            const auto key = std::make_pair(c.columns, c.rows);
            if (seen.count(key) != 0) {
                EXPECT_EQ(seen[key], e) << c.columns << "x" << c.rows;
            }
            seen[key] = e;
        }
    }
    // Longer data moves libzint on to CC-B: only the CC-A sizes are kept.
    int matched = 0;
    for (int k = 0; k < kCcAVariants; ++k) {
        const CcEntry want = EntryOf(CC_A_LAYOUT[static_cast<size_t>(k)], CC_A_SIZE[static_cast<size_t>(k)]);
        const auto it = seen.find({std::get<0>(want), std::get<1>(want)});
        ASSERT_NE(it, seen.end()) << "CC-A entry " << k << " never made";
        EXPECT_EQ(it->second, want) << "CC-A entry " << k;
        ++matched;
    }
    EXPECT_EQ(matched, 17);
}

TEST(CcTables, MicroPdf417EntriesFromLibzintSymbols) {
    std::map<std::pair<int, int>, CcEntry> seen;
    for (int columns = 1; columns <= 4; ++columns) {
        for (int n = 1; n <= 380; n += 2) {
            testkit::SymbolInput in;
            in.symbology = BARCODE_MICROPDF417;
            in.option2 = columns;
            in.data = testkit::Repeat("7315926048", static_cast<size_t>(n));
            const testkit::Symbol s = testkit::Encode(in);
            if (!s.ok) break;
            CcComponent c;
            ASSERT_TRUE(ReadCcComponent(s, &c)) << columns << " " << n;
            ASSERT_EQ(c.rows, s.rows);
            if (seen.count({c.columns, c.rows}) != 0) continue;
            const int check = CheckCount(c.codewords);
            seen[{c.columns, c.rows}] = CcEntry{c.columns, c.rows, c.starts[0], c.starts[1], c.starts[2],
                                              static_cast<int>(c.codewords.size()) - check, check};
        }
    }
    for (int k = 0; k < kMpdfVariantCount; ++k) {
        const CcEntry want = EntryOf(CC_MPDF_LAYOUT[static_cast<size_t>(k)], CC_MPDF_SIZE[static_cast<size_t>(k)]);
        const auto it = seen.find({std::get<0>(want), std::get<1>(want)});
        ASSERT_NE(it, seen.end()) << "MicroPDF417 entry " << k << " never made";
        EXPECT_EQ(it->second, want) << "MicroPDF417 entry " << k;
        if (k > 0) {
            const u32 a = CC_MPDF_LAYOUT[static_cast<size_t>(k - 1)];
            const u32 b = CC_MPDF_LAYOUT[static_cast<size_t>(k)];
            EXPECT_TRUE(CC_LayoutColumns(a) < CC_LayoutColumns(b) ||
                        (CC_LayoutColumns(a) == CC_LayoutColumns(b) && CC_LayoutRows(a) < CC_LayoutRows(b)));
        }
    }
}

TEST(CcTables, PartExamples) {
    EXPECT_EQ(EntryOf(CC_A_LAYOUT[0], CC_A_SIZE[0]), (CcEntry{2, 5, 39, 0, 19, 6, 4}));
    EXPECT_EQ(EntryOf(CC_A_LAYOUT[16], CC_A_SIZE[16]), (CcEntry{4, 7, 29, 9, 41, 20, 8}));
    EXPECT_EQ(CC_MPDF_LAYOUT[23], CC_Layout(4, 4, 47, 19, 43));
    EXPECT_EQ(EntryOf(CC_MPDF_LAYOUT[0], CC_MPDF_SIZE[0]), (CcEntry{1, 11, 1, 0, 9, 4, 7}));
    EXPECT_EQ(EntryOf(CC_MPDF_LAYOUT[33], CC_MPDF_SIZE[33]), (CcEntry{4, 44, 1, 25, 49, 126, 50}));
    EXPECT_EQ(CC_RAP_TABLE[0], 0x122C9u);
    // Every CC-A RAP column starts 20 below the one to its left.
    for (int k = 0; k < kCcAVariants; ++k) {
        const u32 e = CC_A_LAYOUT[static_cast<size_t>(k)];
        if (CC_LayoutCentre(e) != 0) {
            EXPECT_EQ((CC_LayoutLeft(e) - 20 + 51) % 52 + 1, CC_LayoutCentre(e)) << k;
            EXPECT_EQ((CC_LayoutCentre(e) - 20 + 51) % 52 + 1, CC_LayoutRight(e)) << k;
        } else {
            EXPECT_EQ((CC_LayoutLeft(e) - 20 + 51) % 52 + 1, CC_LayoutRight(e)) << k;
        }
    }
}

// A request as the linear side builds it: the quad of symbol-space corners sp (c0-c1 the top
// side), rowVector = c1 - c0 (kept in *rowVector), leftVector = c0 - c3.
CC_READ_REQUEST MakeRequest(const testkit::Rendered &r, const testkit::Point sp[4], POINT_I32 *rowVector, uint8_t *text,
                            int capacity, int narrowWidth, int variant) {
    CC_READ_REQUEST req{};
    for (int k = 0; k < 4; ++k) {
        const testkit::Point p = r.transform.ToImage(sp[k]);
        req.quad[k] = POINT_I32{static_cast<i32>(std::lround(p.x)), static_cast<i32>(std::lround(p.y))};
    }
    *rowVector = POINT_I32{req.quad[1].x - req.quad[0].x, req.quad[1].y - req.quad[0].y};
    req.image = g_image.data;
    req.text = text;
    req.capacity = capacity;
    req.rowVector = rowVector;
    req.leftVector = POINT_I32{req.quad[0].x - req.quad[3].x, req.quad[0].y - req.quad[3].y};
    req.narrowWidth = narrowWidth;
    req.variant = variant;
    req.polarity = 1;
    return req;
}

// ---- Components read from rendered frames.

struct Linear {
    const char *name;
    int symbology;
    const char *primary;
    int variant;
};

const Linear kLinear[] = {
    {"EAN-13", BARCODE_EANX_CC, "123456789012", 0},
    {"UPC-A", BARCODE_UPCA_CC, "12345678901", 0},
    {"EAN-8", BARCODE_EANX_CC, "1234567", 1},
    {"UPC-E", BARCODE_UPCE_CC, "0123456", 2},
    {"GS1-128", BARCODE_GS1_128_CC, "[01]12345678901231", 3},
    {"DataBar", BARCODE_DBAR_OMN_CC, "12345678901231", 4},
    {"DataBar stacked", BARCODE_DBAR_STK_CC, "12345678901231", 5},
    {"DataBar Limited", BARCODE_DBAR_LTD_CC, "12345678901231", 6},
    {"DataBar Expanded", BARCODE_DBAR_EXP_CC, "[01]12345678901231", 7},
};

class CcReaderFrames : public pdf_test::PdfTest {
protected:
    struct Read {
        int ok = 0;
        std::string text;
        bool intact = true;
    };

    // Renders the composite and reads its component through a request built from the
    // component's rendered geometry.
    Read ReadRendered(const Linear &l, int cc, const std::string &data, double module, double angle, uint64_t seed,
                      int capacity = 512, bool *made = nullptr) {
        testkit::SymbolInput in;
        in.symbology = l.symbology;
        in.inputMode = GS1_MODE;
        in.primary = l.primary;
        in.option1 = cc;
        in.data = data;
        const testkit::Symbol s = testkit::Encode(in);
        CcComponent c;
        const bool ok = s.ok && ReadCcComponent(s, &c);
        if (made != nullptr) *made = ok;
        if (!ok) return Read{};
        testkit::RenderOptions o;
        o.moduleSize = module;
        o.angleDeg = angle;
        o.blurSigma = 0.6;
        o.noiseSigma = 4;
        o.seed = seed;
        rendered_ = testkit::Render(s, o);
        Install(rendered_.frame.pixels, rendered_.frame.width, rendered_.frame.height);
        // Top side a module above the component, bottom side inside its last row; the sides
        // four modules out.
        const double rowH = s.rowTop[static_cast<size_t>(c.rows)] - s.rowTop[static_cast<size_t>(c.rows - 1)];
        const double top = s.rowTop[0] - 1;
        const double bottom = s.rowTop[static_cast<size_t>(c.rows)] - rowH * bottomInset_;
        const double left = c.firstCol - 4;
        const double right = c.lastCol + 1 + 4;
        const testkit::Point sp[4] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
        POINT_I32 rowVector{};
        pdf_test::Canary out(capacity);
        CC_READ_REQUEST req = MakeRequest(rendered_, sp, &rowVector, out.data(), capacity, static_cast<int>(32 * module),
                                          l.variant);
        Read r;
        r.ok = CC_ReadInQuad(&req);
        r.text = out.Text(req.length);
        r.intact = out.Intact();
        return r;
    }

    void Install(const std::vector<uint8_t> &pixels, int w, int h) {
        pixels_ = pixels;
        Mem_ResetArena();
        Pix_InstallFrame(pixels_.data(), w, h);
        g_image.data = pixels_.data();
        g_image.width = w;
        g_image.height = h;
        g_image.widthCopy = w;
    }

    double bottomInset_ = 0;
    testkit::Rendered rendered_;
    std::vector<uint8_t> pixels_;
};

TEST_F(CcReaderFrames, EveryLinearTypeWithCcAAndCcB) {
    const std::string data = "[10]ABC123[21]XYZ";
    for (const Linear &l : kLinear) {
        for (int cc : {1, 2}) {
            for (double angle : {0.0, 180.0}) {
                bool made = false;
                const Read r = ReadRendered(l, cc, data, 3, angle, 7, 512, &made);
                ASSERT_TRUE(made) << l.name;
                EXPECT_EQ(r.ok, 1) << l.name << " CC-" << "AB"[cc - 1] << " angle " << angle;
                EXPECT_EQ(r.text, Plain(data)) << l.name << " CC-" << "AB"[cc - 1] << " angle " << angle;
                EXPECT_TRUE(r.intact);
            }
        }
    }
}

}  // namespace

namespace {

// ---- The reader on rendered frames: 2 px modules, a sweep, the Part's cases and bad requests.

TEST_F(CcReaderFrames, TwoPixelModulesWithBlurAndNoise) {
    const std::string data = "[17]010203[10]AB";
    const Linear *picks[] = {&kLinear[0], &kLinear[3], &kLinear[4], &kLinear[7], &kLinear[8]};
    for (const Linear *l : picks) {
        for (int cc : {1, 2}) {
            const Read r = ReadRendered(*l, cc, data, 2, cc == 1 ? 0.0 : 180.0, 11);
            EXPECT_EQ(r.text, Plain(data)) << l->name << " CC-" << "AB"[cc - 1];
        }
    }
}

// Every linear type, CC-A and CC-B, every composite data set, three module sizes, both ways up.
TEST_F(CcReaderFrames, SlowSweep) {
    int reads = 0;
    int misses = 0;
    std::string missed;
    for (const Linear &l : kLinear) {
        for (int cc : {1, 2}) {
            uint64_t seed = 1;
            for (const std::string &d : pdf_test::CompositeData()) {
                for (double module : {2.0, 2.5, 3.0}) {
                    for (double angle : {0.0, 180.0}) {
                        bool made = false;
                        const Read r = ReadRendered(l, cc, d, module, angle, ++seed, 512, &made);
                        if (!made) continue;
                        ++reads;
                        EXPECT_TRUE(r.intact);
                        if (r.ok == 1 && r.text == Plain(d)) continue;
                        // A read never claims a wrong text.
                        EXPECT_EQ(r.ok, 0) << l.name << " " << d << " got " << Printable(r.text);
                        std::ostringstream name;
                        name << l.name << " CC-" << "AB"[cc - 1] << " " << d << " module " << module << " angle "
                             << angle << " seed " << seed;
                        ++misses;
                        missed += name.str() + "\n";
                    }
                }
            }
        }
    }
    EXPECT_EQ(misses, 0) << reads << " reads, missed:\n" << missed;
}

}  // namespace

namespace {

// A MicroPDF417-structured component built from its codewords (4 columns, any rows), each
// symbol row `height` modules tall: left RAP, two codewords, centre RAP, two codewords, right
// RAP and the closing bar; starts and clusters as the layout entry gives them.
testkit::Symbol BuildFourColumnComponent(u32 layout, const std::vector<int> &codewords, int height) {
    const int rows = CC_LayoutRows(layout);
    const int cols = 99;
    std::vector<uint8_t> m;
    static constexpr int kFirstCluster[3] = {6, 0, 3};
    for (int r = 0; r < rows; ++r) {
        std::vector<uint8_t> line;
        auto put = [&](const u8 *w, int n) {
            for (int e = 0; e < n; ++e) line.insert(line.end(), w[e], static_cast<uint8_t>(e % 2 == 0 ? 1 : 0));
        };
        auto rap = [&](int set, int start) { put(PDF_RAP_WIDTHS[set][(start - 1 + r) % 52], 6); };
        const int cluster = (kFirstCluster[CC_LayoutLeft(layout) % 3] + 3 * r) % 9;
        auto cw = [&](int j) { put(PDF_CLUSTER_WIDTHS[cluster / 3][codewords[static_cast<size_t>(4 * r + j)]], 8); };
        rap(0, CC_LayoutLeft(layout));
        cw(0);
        cw(1);
        rap(1, CC_LayoutCentre(layout));
        cw(2);
        cw(3);
        rap(0, CC_LayoutRight(layout));
        line.push_back(1);
        for (int k = 0; k < height; ++k) m.insert(m.end(), line.begin(), line.end());
    }
    return testkit::FromModules(rows * height, cols, m);
}

class CcReaderBuilt : public CcReaderFrames {
protected:
    // Renders a built component at 3 px per module and reads it with the given capacity into
    // a buffer of exactly that size.
    int ReadBuilt(const testkit::Symbol &s, int capacity, std::vector<uint8_t> *text, int *length) {
        testkit::RenderOptions o;
        o.moduleSize = 3;
        o.blurSigma = 0.5;
        rendered_ = testkit::Render(s, o);
        Install(rendered_.frame.pixels, rendered_.frame.width, rendered_.frame.height);
        const testkit::Point sp[4] = {{-4, -1}, {s.width + 4, -1}, {s.width + 4, s.height}, {-4, s.height}};
        POINT_I32 rowVector{};
        text->assign(static_cast<size_t>(capacity), 0);
        CC_READ_REQUEST req = MakeRequest(rendered_, sp, &rowVector, text->data(), capacity, 96, 0);
        req.length = 77;
        const int ok = CC_ReadInQuad(&req);
        *length = req.length;
        return ok;
    }
};

TEST_F(CcReaderBuilt, TextBeyondTheCapacityIsRefusedWithinTheBuffer) {
    // 920, 902 and 124 numeric codewords in the largest layout (4 x 44, 50 check words): as
    // bytes after 920 every 7-bit group is a numeric pair, some 800 characters.
    std::string digits;
    for (int k = 0; k < 363; ++k) digits.push_back("1235679"[k % 7]);
    std::vector<int> data = {920, 902};
    for (int c : pdf_test::NumericCodewords(digits)) data.push_back(c);
    ASSERT_EQ(data.size(), 126u);
    const std::vector<int> block = pdf_test::WithCheck(data, 50);
    const testkit::Symbol s = BuildFourColumnComponent(CC_MPDF_LAYOUT[33], block, 3);
    ASSERT_TRUE(s.ok);
    std::vector<uint8_t> text;
    int length = -1;
    // Exactly 512 bytes on the heap: a write past them is an ASan report.
    EXPECT_EQ(ReadBuilt(s, 512, &text, &length), 0);
    EXPECT_EQ(length, 0);
    // The same component in a buffer that holds its text: read in full.
    EXPECT_EQ(ReadBuilt(s, 2812, &text, &length), 1);
    EXPECT_EQ(CC_LastCodewordCount(), 176);
    EXPECT_EQ(g_ccState.variantIndex, 33);
    EXPECT_EQ(g_ccState.family, 2);
    std::vector<uint8_t> direct(2812);
    const int n = CC_DecodeData(data.data(), 126, direct.data(), 2812);
    EXPECT_GT(n, 512);
    EXPECT_EQ(length, n);
    EXPECT_EQ(pdf_test::Str(text.data(), length), pdf_test::Str(direct.data(), n));
}

TEST_F(CcReaderFrames, SmudgedLeftRapColumnIsReadFromTheRight) {
    const std::string data = "[10]ABC123[21]XYZ";
    for (int cc : {1, 2}) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_EANX_CC;
        in.inputMode = GS1_MODE;
        in.primary = "123456789012";
        in.option1 = cc;
        in.data = data;
        testkit::Symbol s = testkit::Encode(in);
        CcComponent c;
        ASSERT_TRUE(ReadCcComponent(s, &c));
        // Paint the left RAP column over with paper.
        for (int r = 0; r < c.rows; ++r) {
            for (int col = c.firstCol; col < c.firstCol + 10; ++col) {
                s.modules[static_cast<size_t>(r) * static_cast<size_t>(s.cols) + static_cast<size_t>(col)] =
                    0;
            }
        }
        testkit::RenderOptions o;
        o.moduleSize = 3;
        o.blurSigma = 0.6;
        rendered_ = testkit::Render(s, o);
        Install(rendered_.frame.pixels, rendered_.frame.width, rendered_.frame.height);
        const testkit::Point sp[4] = {{c.firstCol - 4.0, s.rowTop[0] - 1},
                                      {c.lastCol + 5.0, s.rowTop[0] - 1},
                                      {c.lastCol + 5.0, s.rowTop[static_cast<size_t>(c.rows)]},
                                      {c.firstCol - 4.0, s.rowTop[static_cast<size_t>(c.rows)]}};
        POINT_I32 rowVector{};
        std::vector<uint8_t> text(512);
        CC_READ_REQUEST req = MakeRequest(rendered_, sp, &rowVector, text.data(), 512, 96, 0);
        EXPECT_EQ(CC_ReadInQuad(&req), 1) << "CC-" << "AB"[cc - 1];
        EXPECT_EQ(pdf_test::Str(text.data(), req.length), Plain(data));
    }
}

TEST_F(CcReaderFrames, VariantFixesTheColumnsWhateverTheWidths) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_EANX_CC;
    in.inputMode = GS1_MODE;
    in.primary = "123456789012";
    in.option1 = 1;
    in.data = "[10]ABC123";
    const testkit::Symbol s = testkit::Encode(in);
    CcComponent c;
    ASSERT_TRUE(ReadCcComponent(s, &c));
    ASSERT_EQ(c.columns, 4);
    testkit::RenderOptions o;
    o.moduleSize = 3;
    rendered_ = testkit::Render(s, o);
    Install(rendered_.frame.pixels, rendered_.frame.width, rendered_.frame.height);
    const testkit::Point sp[4] = {{c.firstCol - 4.0, -1.0},
                                  {c.lastCol + 5.0, -1.0},
                                  {c.lastCol + 5.0, s.rowTop[static_cast<size_t>(c.rows)]},
                                  {c.firstCol - 4.0, s.rowTop[static_cast<size_t>(c.rows)]}};
    POINT_I32 quad[4];
    for (int k = 0; k < 4; ++k) {
        const testkit::Point p = rendered_.transform.ToImage(sp[k]);
        quad[k] = POINT_I32{static_cast<i32>(std::lround(p.x)), static_cast<i32>(std::lround(p.y))};
    }
    for (int variant = 0; variant < 8; ++variant) {
        POINT_I32 rowVector{quad[1].x - quad[0].x, quad[1].y - quad[0].y};
        POINT_I32 left[3];
        POINT_I32 right[3];
        EXPECT_EQ(CC_MeasureRows(g_image.data, quad, variant, left, right, 96, &rowVector, 1),
                  CC_ColumnsOfVariant(variant));
        // The ends lie on the component's outer bars.
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(left[k].x, rendered_.transform.ToImage({double(c.firstCol), 0}).x, 2) << k;
            EXPECT_NEAR(right[k].x, rendered_.transform.ToImage({double(c.lastCol + 1), 0}).x, 2) << k;
        }
    }
    EXPECT_EQ(CC_ColumnsOfVariant(2), 2);
    EXPECT_EQ(CC_ColumnsOfVariant(8), 0);
}

// Requests no caller should make: nothing is read or written outside the image and buffer.
TEST_F(CcReaderFrames, BadRequestsStayInBounds) {
    bool made = false;
    ReadRendered(kLinear[0], 1, "[10]ABC123", 3, 0, 3, 512, &made);
    ASSERT_TRUE(made);
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    struct Case {
        const char *name;
        POINT_I32 quad[4];
        i32 narrowWidth;
    };
    const Case cases[] = {
        {"all corners equal", {{300, 200}, {300, 200}, {300, 200}, {300, 200}}, 96},
        {"parallel sides collapsed to a line", {{100, 200}, {600, 200}, {600, 200}, {100, 200}}, 96},
        {"top and bottom crossed", {{100, 100}, {600, 300}, {600, 100}, {100, 300}}, 96},
        {"half outside to the left", {{-300, 100}, {300, 100}, {300, 300}, {-300, 300}}, 96},
        {"far outside", {{-30000, -30000}, {30000, -30000}, {30000, 30000}, {-30000, 30000}}, 96},
        {"coordinates beyond the limit", {{-2000000000, 0}, {2000000000, 0}, {2000000000, 479}, {-2000000000, 479}}, 96},
        {"the whole frame", {{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}}, 96},
        {"narrow width 1", {{100, 150}, {650, 150}, {650, 330}, {100, 330}}, 1},
        {"narrow width 10000", {{100, 150}, {650, 150}, {650, 330}, {100, 330}}, 10000},
        {"narrow width 10000, whole frame", {{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}}, 10000},
        // Wider than the image: refused before any read (the element reads would step back
        // pixel by pixel over a sixteenth of it).
        {"narrow width wider than the image", {{100, 150}, {650, 150}, {650, 330}, {100, 330}}, 32 * (w + 1)},
        {"narrow width 2^31 - 1, whole frame", {{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}}, INT32_MAX},
    };
    for (const Case &k : cases) {
        auto diff = [](i32 a, i32 b) {
            return static_cast<i32>(std::clamp<int64_t>(int64_t{a} - b, INT32_MIN, INT32_MAX));
        };
        const POINT_I32 top{diff(k.quad[1].x, k.quad[0].x), diff(k.quad[1].y, k.quad[0].y)};
        for (POINT_I32 rowVector : {POINT_I32{0, 0}, top, POINT_I32{0, 100}}) {
            pdf_test::Canary out(64);
            CC_READ_REQUEST req{};
            std::copy(k.quad, k.quad + 4, req.quad);
            req.image = g_image.data;
            req.text = out.data();
            req.capacity = 64;
            req.rowVector = &rowVector;
            req.leftVector = POINT_I32{0, -100};
            req.narrowWidth = k.narrowWidth;
            req.variant = 0;
            req.polarity = 1;
            const int ok = CC_ReadInQuad(&req);
            EXPECT_TRUE(ok == 0 || req.length > 0) << k.name;
            if (k.narrowWidth / 32 > std::max(w, h)) {
                EXPECT_EQ(ok, 0) << k.name;
            }
            if (ok == 0) {
                EXPECT_EQ(req.length, 0) << k.name;
            }
            EXPECT_TRUE(out.Intact()) << k.name;
        }
    }
    // No request, no buffer, no room.
    EXPECT_EQ(CC_ReadInQuad(nullptr), 0);
    CC_READ_REQUEST empty{};
    EXPECT_EQ(CC_ReadInQuad(&empty), 0);
}

// Components against each border of the frame, read where the whole component is inside.
TEST_F(CcReaderFrames, ComponentsTouchingEveryBorder) {
    const std::string data = "[10]ABC123";
    testkit::SymbolInput in;
    in.symbology = BARCODE_UPCE_CC;
    in.inputMode = GS1_MODE;
    in.primary = "0123456";
    in.option1 = 1;
    in.data = data;
    const testkit::Symbol s = testkit::Encode(in);
    CcComponent c;
    ASSERT_TRUE(ReadCcComponent(s, &c));
    const double module = 3;
    const double ch = s.rowTop[static_cast<size_t>(c.rows)] * module;
    // Offsets that put the component's own box flush with a border (and a pixel beyond it).
    struct Place {
        const char *name;
        double dx;
        double dy;
    };
    for (double over : {0.0, 4.0}) {
        const Place places[] = {
            {"left", -(c.firstCol * module) - over, 200},
            {"top", 300, -over},
            {"right", 752 - (c.lastCol + 1) * module + over, 200},
            {"bottom", 300, 480 - ch + over},
        };
        for (const Place &p : places) {
            testkit::RenderOptions o;
            o.moduleSize = module;
            o.blurSigma = 0.5;
            o.center = testkit::Point{p.dx + s.width * module / 2, p.dy + s.height * module / 2};
            rendered_ = testkit::Render(s, o);
            Install(rendered_.frame.pixels, rendered_.frame.width, rendered_.frame.height);
            const testkit::Point sp[4] = {{c.firstCol - 4.0, -1.0},
                                          {c.lastCol + 5.0, -1.0},
                                          {c.lastCol + 5.0, s.rowTop[static_cast<size_t>(c.rows)]},
                                          {c.firstCol - 4.0, s.rowTop[static_cast<size_t>(c.rows)]}};
            POINT_I32 rowVector{};
            pdf_test::Canary out(512);
            CC_READ_REQUEST req = MakeRequest(rendered_, sp, &rowVector, out.data(), 512, 96, 2);
            const int ok = CC_ReadInQuad(&req);
            EXPECT_TRUE(out.Intact()) << p.name;
            if (ok == 1) {
                EXPECT_EQ(out.Text(req.length), Plain(data)) << p.name;
            }
        }
    }
}

}  // namespace
