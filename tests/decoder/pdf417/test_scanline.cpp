// Scan lines: sampling, the edge extractors' gates and positions, the bar-pattern readers'
// edge choice, the blurred-edge model, and the segment readers on drawn codewords and row
// address patterns.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_scanline.h"
#include "pdf417/pdf417_widths.h"
#include "pdf417_bars.h"

namespace {

using namespace vexo;
using pdf_bars::BarLine;
using pdf_bars::BarLook;

using ScanlineTest = pdf_bars::ImageTest;

std::vector<u8> Steps(std::initializer_list<std::pair<int, u8>> runs) {
    std::vector<u8> s;
    for (const auto &[n, v] : runs) s.insert(s.end(), static_cast<size_t>(n), v);
    return s;
}

TEST_F(ScanlineTest, ExtractorCases) {
    i32 pos[16];
    u8 mag[16];
    i32 pos32[16];
    i32 mag32[16];
    i32 level = 0;
    // A sharp fall between samples 5 and 6: index 5 from the gated extractor, its middle
    // from the edge list.
    const std::vector<u8> step = Steps({{6, 200}, {6, 40}});
    ASSERT_EQ(PDF_FallingEdgesOnLine(step.data(), 12, 7, pos, mag, 16), 1);
    EXPECT_EQ(pos[0], 80);
    EXPECT_EQ(mag[0], 160);
    ASSERT_EQ(PDF_FallingEdgeList(step.data(), 12, pos32, mag32, &level, 6, 16), 1);
    EXPECT_EQ(pos32[0], 88);
    EXPECT_EQ(level, 200);

    struct Case {
        const char *what;
        std::vector<u8> line;
        u8 minStep;
        int falls;
    };
    const Case cases[] = {
        // Three samples: gate 204, the last accepted top and the first refused.
        {"3 samples top 204", {204, 100, 100}, 7, 1},
        {"3 samples top 203", {203, 100, 100}, 7, 0},
        // The dip from 60 has its top below the gate (30 + 170 / 5 = 64) ...
        {"top below gate", Steps({{8, 200}, {4, 30}, {3, 60}, {6, 30}}), 7, 1},
        // ... and counts once minStep passes 14 (gate 0).
        {"minStep 15 gate 0", Steps({{8, 200}, {4, 30}, {3, 60}, {6, 30}}), 15, 2},
        {"minStep 14 gated", Steps({{8, 200}, {4, 30}, {3, 60}, {6, 30}}), 14, 1},
        {"one sample", {200}, 7, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(PDF_FallingEdgesOnLine(c.line.data(), static_cast<i32>(c.line.size()), c.minStep, pos, mag, 16), c.falls)
            << c.what;
    }
    // Capacity bounds the output.
    const std::vector<u8> comb = Steps({{2, 200}, {2, 20}, {2, 200}, {2, 20}, {2, 200}, {2, 20}});
    EXPECT_EQ(PDF_FallingEdgesOnLine(comb.data(), 12, 7, pos, mag, 2), 2);
    EXPECT_EQ(PDF_RisingEdgesOnLine(comb.data(), 12, 7, pos, mag, 16), 2);
}

TEST_F(ScanlineTest, ColumnGateAndColumnEdges) {
    // Column 0 falls from 200 to 30 at row 8 (a frame of 4 x 16).
    std::vector<u8> all(64, 200);
    for (int y = 8; y < 16; ++y) all[static_cast<size_t>(y) * 4] = 30;
    InstallFrame(4, 16, all);
    EXPECT_EQ(PDF_ColumnGate({0, 0}, 5), 0);
    EXPECT_EQ(PDF_ColumnGate({0, 0}, 6), 200);  // rows 3 only: 200
    EXPECT_EQ(PDF_ColumnGate({0, 0}, 12), 30 + 170 / 5);
    i32 pos[8];
    u8 mag[8];
    ASSERT_EQ(PDF_FallingEdgesDownColumn({0, 0}, 16, 7, pos, mag, 8), 1);
    EXPECT_EQ(pos[0], 7 * 16);
    // Points outside the image find nothing.
    EXPECT_EQ(PDF_FallingEdgesDownColumn({0, -3}, 16, 7, pos, mag, 8), 0);
    EXPECT_EQ(PDF_FallingEdgesDownColumn({4, 0}, 16, 7, pos, mag, 8), 0);
    EXPECT_EQ(PDF_RisingEdgesDownColumn({0, 15}, 16, 7, pos, mag, 8), 0);
}

TEST_F(ScanlineTest, SamplingOutsideTheImage) {
    std::vector<u8> row(8);
    for (int i = 0; i < 8; ++i) row[static_cast<size_t>(i)] = static_cast<u8>(10 * (i + 1));
    Install(8, 2, row);
    u8 out[16];
    std::fill(out, out + 16, u8{0xAA});
    // First point outside: 128, then the row.
    EXPECT_EQ(PDF_SampleLine(&g_image, -1, 0, 4, 0, out, 16), 6);
    EXPECT_EQ(out[0], 128);
    EXPECT_EQ(out[1], 10);
    EXPECT_EQ(out[5], 50);
    // Later points outside keep the buffer's bytes; the image width ends the walk.
    std::fill(out, out + 16, u8{0xAA});
    EXPECT_EQ(PDF_SampleLine(&g_image, 5, 1, 15, 1, out, 16), 8);
    EXPECT_EQ(out[0], 60);
    EXPECT_EQ(out[2], 80);
    EXPECT_EQ(out[3], 0xAA);
    EXPECT_EQ(out[8], 0xAA);
    // The caller's capacity ends it too.
    EXPECT_EQ(PDF_SampleLine(&g_image, 0, 0, 7, 0, out, 3), 3);
    EXPECT_EQ(out[3], 0xAA);
}

// Codeword `value` of `cluster` between neighbours, as a line of samples with where its
// start and end fall (1/16 sample).
struct DrawnLine {
    std::vector<u8> samples;
    i32 b, c;
};
DrawnLine CodewordLine(int cluster, int value, double modulePx, double offset) {
    std::vector<int> w;
    for (int v : {(value + 17) % 929, value, (value + 400) % 929}) {
        for (u8 e : PDF_CLUSTER_WIDTHS[cluster / 3][v]) w.push_back(e);
    }
    const double start = 17 * modulePx + offset;
    BarLook look{modulePx, offset, 0, 30, 220, false};
    return {BarLine(w, look, static_cast<int>(51 * modulePx + 2 * offset + 4)), static_cast<i32>(std::lround(16 * start)),
            static_cast<i32>(std::lround(16 * (start + 17 * modulePx)))};
}

TEST_F(ScanlineTest, CodewordReaderEdgeChoice) {
    // A clean codeword: nine increasing edges that read back.
    DrawnLine d = CodewordLine(3, 500, 2, 0);
    i32 record[kPdfCodewordRecord] = {};
    ASSERT_EQ(PDF_ReadCodewordOnLine(d.samples.data(), static_cast<i32>(d.samples.size()), d.b, d.c, record), 1);
    i32 value = 0;
    ASSERT_EQ(PDF_ReadCodewordSignature(record + 2, &value), 1);
    EXPECT_EQ(value, 0x30000000 + 500);
    EXPECT_EQ(ArenaUsed(), 0);

    // End point 3 samples before the next leading edge: beyond the tolerance (2 px per
    // module: 32), it stays; 1 sample before, the edge replaces it (refinement off).
    g_pdfReadParams.skipRefine = 1;
    std::fill(record, record + kPdfCodewordRecord, 0);
    ASSERT_EQ(PDF_ReadCodewordOnLine(d.samples.data(), static_cast<i32>(d.samples.size()), d.b, d.c - 48, record), 1);
    EXPECT_EQ(record[10], d.c - 48);
    std::fill(record, record + kPdfCodewordRecord, 0);
    ASSERT_EQ(PDF_ReadCodewordOnLine(d.samples.data(), static_cast<i32>(d.samples.size()), d.b, d.c - 16, record), 1);
    EXPECT_EQ(record[10], d.c - 8);  // the step from sample 67 to 68

    // The strongest trailing and leading edges interleave wrongly: rejected.
    const std::vector<u8> bad = Steps({{9, 200}, {1, 40}, {1, 120}, {1, 110}, {1, 250}, {1, 40}, {1, 60},
                                       {1, 20}, {1, 200}, {1, 40}, {1, 200}, {6, 200}});
    std::fill(record, record + kPdfCodewordRecord, 0);
    EXPECT_EQ(PDF_ReadCodewordOnLine(bad.data(), static_cast<i32>(bad.size()), 128, 320, record), 0);
    EXPECT_EQ(ArenaUsed(), 0);
    // Readers off, or too short a line.
    g_pdfReadParams.readersOn = 0;
    EXPECT_EQ(PDF_ReadCodewordOnLine(d.samples.data(), static_cast<i32>(d.samples.size()), d.b, d.c, record), 0);
    g_pdfReadParams.readersOn = 1;
    EXPECT_EQ(PDF_ReadCodewordOnLine(d.samples.data(), 19, d.b, d.c, record), 0);
}

TEST(PdfBlurModel, StaysInsideItsTables) {
    // Two edges closer than a sample and x beyond both; out-of-order edges; start indexes at
    // and beyond the record's end.
    const i32 close[13] = {0, 80, 160, 164, 168, 300, 400, 500, 600, 700, 800, 880, 960};
    const i32 disorder[13] = {0, 80, 160, 150, 140, 300, 200, 500, 600, 700, 800, 880, 960};
    struct Case {
        const i32 *edges;
        i32 x, index, want;  // want -1: any value in the levels' range
    };
    const Case cases[] = {{close, 160, 2, -1}, {close, 176, 2, -1}, {close, 176, 3, -1}, {disorder, 150, 3, -1},
                          {disorder, 176, 2, -1}, {close, 960, 12, -1}, {close, 1000, 12, -1},
                          {close, 500, 13, 0},  {close, 500, -1, 0}};
    for (const Case &c : cases) {
        const PDF_BLUR_MODEL m{c.edges, 13, c.x, c.index, 0, 220, 30};
        const i32 v = PDF_BlurModelValue(&m);
        if (c.want >= 0) {
            EXPECT_EQ(v, c.want) << c.x << " " << c.index;
        } else {
            EXPECT_GE(v, 0) << c.x << " " << c.index;
            EXPECT_LE(v, 255) << c.x << " " << c.index;
        }
    }
    // Far from every edge the model gives the level of its side.
    const i32 far[13] = {0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200};
    const PDF_BLUR_MODEL dark{far, 13, 250, 2, 0, 220, 30};
    EXPECT_NEAR(PDF_BlurModelValue(&dark), 30, 1);
    const PDF_BLUR_MODEL light{far, 13, 350, 2, 0, 220, 30};
    EXPECT_NEAR(PDF_BlurModelValue(&light), 220, 1);
    const PDF_BLUR_MODEL one{far, 1, 250, 0, 0, 220, 30};
    EXPECT_EQ(PDF_BlurModelValue(&one), 0);
}

// Draws `widths` (with neighbours) along every row of a frame, reads between the pattern's
// ends and answers the value (999 when unread).
struct SegmentRead {
    int ok;
    i32 value;
};

class SegmentReaderTest : public pdf_bars::ImageTest {
protected:
    SegmentRead Read(const std::vector<int> &before, const std::vector<int> &pattern, const std::vector<int> &after,
                     BarLook look, bool rap) {
        std::vector<int> w = before;
        w.insert(w.end(), pattern.begin(), pattern.end());
        w.insert(w.end(), after.begin(), after.end());
        int sumBefore = 0, sumPattern = 0, sumAll = 0;
        for (int v : before) sumBefore += v;
        for (int v : pattern) sumPattern += v;
        for (int v : w) sumAll += v;
        look.offsetPx += 10;
        const int width = static_cast<int>(sumAll * look.modulePx + 2 * look.offsetPx);
        Install(width, 4, BarLine(w, look, width));
        g_pdfReadParams.inverted = look.inverted ? 1 : 0;
        const double x0 = look.offsetPx + sumBefore * look.modulePx;
        const POINT_I32 p{static_cast<i32>(std::lround(x0)), 1};
        const POINT_I32 q{static_cast<i32>(std::lround(x0 + sumPattern * look.modulePx)), 1};
        i32 value = 999;
        const int ok = rap ? PDF_ReadRapOnSegment(p, q, &value) : PDF_ReadCodewordOnSegment(p, q, &value);
        EXPECT_EQ(ArenaUsed(), 0);
        return {ok, value};
    }
    static std::vector<int> Widths(const u8 *w, int n) { return std::vector<int>(w, w + n); }
    void Sweep(bool all);
};

// A seeded sample of `per` values below count, or all of them.
std::vector<int> SampleValues(std::mt19937 &rng, int count, int per, bool all) {
    std::vector<int> v;
    for (int i = 0; i < (all ? count : per); ++i) v.push_back(all ? i : static_cast<int>(rng() % count));
    return v;
}

// Expected misses of the row address pattern reader, which has no blur refinement: centre
// patterns with 1-module bars at 2 px per module, on whole pixels, blur sigma 0.7, move an
// edge by half a sample and round one distance to the neighbouring module count.
bool ExpectedRapMiss(int set, int number, double module, double offset, double blur) {
    constexpr int kNumbers[] = {2, 6, 9, 10, 15, 19, 23, 26, 39};
    return set == 1 && module == 2 && offset == 0 && blur == 0.7 &&
           std::find(std::begin(kNumbers), std::end(kNumbers), number) != std::end(kNumbers);
}

constexpr double kModules[] = {2, 2.5, 3, 4};
constexpr double kOffsets[] = {0, 0.3, 0.5, 0.8};
constexpr double kBlurs[] = {0, 0.5, 0.7};

void SegmentReaderTest::Sweep(bool all) {
    std::mt19937 rng(109101);
    for (int cluster : {0, 3, 6}) {
        const auto &t = PDF_CLUSTER_WIDTHS[cluster / 3];
        for (int value : SampleValues(rng, 929, 12, all)) {
            for (double m : kModules) {
                for (double off : kOffsets) {
                    for (double blur : kBlurs) {
                        for (bool inverted : {false, true}) {
                            const SegmentRead r = Read(Widths(t[(value + 5) % 929], 8), Widths(t[value], 8),
                                                       Widths(t[(value + 300) % 929], 8),
                                                       BarLook{m, off, blur, 30, 220, inverted}, false);
                            ASSERT_EQ(r.ok == 1 ? r.value : -1, (cluster << 28) + value)
                                << "cluster " << cluster << " value " << value << " module " << m << " offset " << off
                                << " blur " << blur << " inverted " << inverted;
                        }
                    }
                }
            }
        }
    }
    for (int set = 0; set < 2; ++set) {
        for (int n : SampleValues(rng, 52, 10, all)) {
            for (double m : kModules) {
                for (double off : kOffsets) {
                    for (double blur : kBlurs) {
                        for (bool inverted : {false, true}) {
                            // A RAP between a codeword and the next one.
                            const SegmentRead r = Read(Widths(PDF_CLUSTER_WIDTHS[0][n * 7], 8),
                                                       Widths(PDF_RAP_WIDTHS[set][n], 6),
                                                       Widths(PDF_CLUSTER_WIDTHS[1][n * 11], 8),
                                                       BarLook{m, off, blur, 30, 220, inverted}, true);
                            const bool read = r.ok == 1 && r.value == ((set + 1) << 28) + n;
                            ASSERT_EQ(read, !ExpectedRapMiss(set, n + 1, m, off, blur))
                                << "set " << set << " number " << n + 1 << " module " << m << " offset " << off
                                << " blur " << blur << " inverted " << inverted << " read " << std::hex << r.value;
                        }
                    }
                }
            }
        }
    }
}

TEST_F(SegmentReaderTest, DrawnCodewordsAndRaps) { Sweep(false); }

TEST_F(SegmentReaderTest, SlowEveryCodewordAndRap) { Sweep(true); }

TEST_F(SegmentReaderTest, RefinementAgreesOnSharpRenders) {
    std::mt19937 rng(4170);
    for (int value : SampleValues(rng, 929, 40, false)) {
        const auto &t = PDF_CLUSTER_WIDTHS[2];
        for (int skip : {0, 1}) {
            g_pdfReadParams.skipRefine = skip;
            const SegmentRead r = Read(Widths(t[(value + 1) % 929], 8), Widths(t[value], 8), Widths(t[(value + 2) % 929], 8),
                                       BarLook{3, 0.4, 0, 30, 220, false}, false);
            EXPECT_EQ(r.value, 0x60000000 + value) << "skipRefine " << skip;
        }
    }
}

TEST_F(SegmentReaderTest, EndsAndTightEdges) {
    const auto &t = PDF_CLUSTER_WIDTHS[0];
    // One pixel per module: edges closer than a sample for the refinement to meet.
    for (int value = 0; value < 929; value += 7) {
        Read(Widths(t[(value + 1) % 929], 8), Widths(t[value], 8), Widths(t[(value + 2) % 929], 8),
             BarLook{1, 0.5, 0.7, 30, 220, false}, false);
    }
    // Points on the last column or row are refused, one before is read.
    const std::vector<int> w = Widths(t[100], 8);
    Install(120, 10, BarLine(w, BarLook{3, 30, 0, 30, 220, false}, 120));
    i32 value = 0;
    EXPECT_EQ(PDF_ReadCodewordOnSegment({30, 8}, {81, 8}, &value), 1);
    EXPECT_EQ(value, 100);
    EXPECT_EQ(PDF_ReadCodewordOnSegment({30, 9}, {81, 9}, &value), 0);
    EXPECT_EQ(PDF_ReadCodewordOnSegment({30, 5}, {119, 5}, &value), 0);
    EXPECT_EQ(PDF_ReadCodewordOnSegment({-1, 5}, {81, 5}, &value), 0);
    value = 0;
    EXPECT_EQ(PDF_ReadRapOnSegment({30, 9}, {81, 9}, &value), 0);
    EXPECT_EQ(value, 999);
    EXPECT_EQ(ArenaUsed(), 0);
}

}  // namespace
