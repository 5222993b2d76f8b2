// Symbol geometry, row table and codeword matrix on rendered libzint PDF417 frames: the
// voted shape against the encoder's, the guard corners against where the renderer put the
// guard, and every cell of the matrix against the symbol's codewords.
#include <gtest/gtest.h>

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
protected:
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

TEST_F(PdfGeometryTest, Explore) {
    const Shape shape{6, 2, 60};
    const testkit::Symbol s = MakeSymbol(shape, 7);
    ASSERT_TRUE(s.ok);
    const std::vector<i32> expected = SymbolCodewords(s);
    for (double angle : {0.0, 10.0, -10.0, 20.0, 180.0, 90.0}) {
        testkit::RenderOptions o;
        o.moduleSize = 3;
        o.angleDeg = angle;
        const testkit::Rendered r = testkit::Render(s, o);
        const int n = Locate(r);
        std::printf("angle %g: %d candidates\n", angle, n);
        for (int k = 0; k < n; ++k) {
            PDF_CANDIDATE c = found[k];
            c.rapMode = 0;
            const int ok = PDF_BuildSymbolGeometry(&c, table.data());
            std::printf(" kind %d ok %d cols %d rows %d level %d pitch %.2f gw %d guard slope %.4f row slope %.4f cg1 %d,%d cg2 %d,%d desc %d\n",
                        c.kind, ok, c.columns, c.rows, c.level, c.rowPitch, c.guardWidth, c.guardLine.slope,
                        c.rowDirection.slope, c.cornerGuard1.x, c.cornerGuard1.y, c.cornerGuard2.x, c.cornerGuard2.y,
                        c.rowsDescending);
            if (ok != 1) continue;
            std::vector<i32> cw(929, 999);
            std::vector<u8> conf(929, 0);
            c.confidence = conf.data();
            c.erasures = c.rows * c.columns;
            const i32 cols = PDF_ReadMatrix(&c, table.data(), cw.data());
            MatrixTally t;
            for (size_t i = 0; i < expected.size(); ++i) {
                if (cw[i] == 999) ++t.erased;
                else if (cw[i] == expected[i]) ++t.right;
                else ++t.wrong;
            }
            std::printf("  matrix %d: right %d erased %d wrong %d arena %d\n", cols, t.right, t.erased, t.wrong,
                        ArenaUsed());
        }
    }
}

}  // namespace
