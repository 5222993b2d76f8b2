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
#include "pdf417/pdf417_services.h"
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
protected:
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
    std::string Read() {
        if (MPDF_DecodeImage() != 1) return "<none>";
        return pdf_test::Str(MPDF_GetResultText(), MPDF_GetResultLength());
    }
    std::vector<uint8_t> work;
};

TEST_F(MpdfImageTest, Probe) {
    for (int kind = 0; kind < 3; ++kind) {
    const auto &sizes = AllSizes(kind);
    for (double angle : {0.0, 90.0, 180.0, 270.0, 10.0, -10.0}) {
        for (double m : {2.0, 3.0, 4.0}) {
            int ok = 0, e2e = 0;
            std::string miss;
            for (int v = 0; v < kMpdfVariantCount; ++v) {
                const SizedSymbol &ss = sizes[static_cast<size_t>(v)];
                testkit::RenderOptions o;
                o.moduleSize = m;
                o.angleDeg = angle;
                const testkit::Rendered r = testkit::Render(ss.symbol, o);
                Put(r);
                SetRegion(ss.symbol, r, 3);
                const std::string got = Read();
                ok += got == ss.data;
                if (got != ss.data) miss += " " + std::to_string(v);
                const auto res = testkit::DecodeFrame(r.frame);
                e2e += testkit::ReadAs(res, ss.data, 0x101, "]L0") ? 1 : 0;
            }
            std::printf("kind %d angle %g m %g module %d e2e %d miss%s\n", kind, angle, m, ok, e2e, miss.c_str());
        }
    }
    }
}

}  // namespace
