// PDF417 image side: one codeword read between two points (sharp and blurred) and one guard
// scan of a 752 x 480 box holding a symbol, and holding dense text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <iterator>
#include <random>
#include <vector>

#include "bench_frames.h"
#include "core/arena.h"
#include "core/pixel.h"
#include "core/test_hooks.h"
#include "core/state.h"
#include "pdf417/mpdf_locate.h"
#include "pdf417/cc_reader.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_decode.h"
#include "pdf417/pdf417_geometry.h"
#include "pdf417/pdf417_guards.h"
#include "pdf417/pdf417_matrix.h"
#include "pdf417/pdf417_startstop.h"
#include "pdf417/pdf417_widths.h"
#include "bench_corpus.h"
#include "decoder/pdf417/pdf417_sweep.h"
#include "support/testkit.h"

namespace {

using namespace vexo;

std::vector<uint8_t> g_pixels;

void Install(const std::vector<uint8_t> &pixels, int w, int h) {
    Test_ResetDecoderStatics();
    Mem_ResetArena();
    g_pixels = pixels;
    g_image.data = g_pixels.data();
    g_image.width = w;
    g_image.height = h;
    g_image.widthCopy = w;
    Pix_InstallFrame(g_pixels.data(), w, h);
}

// Three codewords side by side at 3 px per module on every row of a 200 x 8 image.
void BM_ReadCodewordOnSegment(benchmark::State &state) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_PDF417;
    in.data = "Codeword reading";
    in.option2 = 3;
    const testkit::Symbol s = testkit::Encode(in);
    testkit::RenderOptions o;
    o.width = 752;
    o.height = 200;
    o.moduleSize = 3;
    o.blurSigma = state.range(0) != 0 ? 0.7 : 0;
    const testkit::Rendered r = testkit::Render(s, o);
    Install(r.frame.pixels, r.frame.width, r.frame.height);
    const testkit::Point a = r.ModuleCentre(s, 1, 34);
    const testkit::Point b = r.ModuleCentre(s, 1, 51);
    const POINT_I32 p{static_cast<i32>(a.x - 1.5), static_cast<i32>(a.y)};
    const POINT_I32 q{static_cast<i32>(b.x - 1.5), static_cast<i32>(b.y)};
    i32 value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PDF_ReadCodewordOnSegment(p, q, &value));
    }
    state.SetLabel(value != 999 ? "read" : "unread");
}
BENCHMARK(BM_ReadCodewordOnSegment)->Arg(0)->Arg(1)->ArgNames({"blurred"});

// Rows scanned for guards in the whole frame: a PDF417 symbol, or a page of dense text-like
// strokes (many edges, no guards).
void BM_ScanRowsForGuards(benchmark::State &state) {
    const int w = 752, h = 480;
    if (state.range(0) == 0) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_PDF417;
        in.data = "Guard scan benchmark: one symbol in a camera frame 0123456789";
        in.option2 = 4;
        testkit::RenderOptions o;
        o.moduleSize = 3;
        o.blurSigma = 0.5;
        Install(testkit::Render(testkit::Encode(in), o).frame.pixels, w, h);
    } else {
        std::mt19937 rng(480752);
        std::vector<uint8_t> page(static_cast<size_t>(w) * h, 215);
        for (int line = 8; line + 14 < h; line += 20) {
            for (int x = 4; x < w - 4;) {
                const int stroke = 1 + static_cast<int>(rng() % 3);
                const int gap = 1 + static_cast<int>(rng() % 5);
                for (int y = line; y < line + 12; ++y) {
                    for (int k = 0; k < stroke && x + k < w; ++k) page[static_cast<size_t>(y) * w + x + k] = 40;
                }
                x += stroke + gap;
            }
        }
        Install(page, w, h);
    }
    const i32 box[4] = {0, 0, w - 1, h - 1};
    PDF_CANDIDATE found[4];
    int n = 0;
    for (auto _ : state) {
        n = PDF_ScanRowsForGuards(found, 4, 0, box, h);
        benchmark::DoNotOptimize(n);
    }
    state.counters["candidates"] = n;
}
BENCHMARK(BM_ScanRowsForGuards)->Arg(0)->Arg(1)->ArgNames({"text"})->Unit(benchmark::kMicrosecond);


// ---- Geometry, row table and matrix of one candidate: a 10-column, 20-row symbol at 3 px
// per module in a 752 x 480 frame.

struct GeometryFrame {
    testkit::Rendered rendered;
    PDF_CANDIDATE candidate{};
};

GeometryFrame MakeGeometryFrame() {
    testkit::SymbolInput in;
    in.symbology = BARCODE_PDF417;
    in.option1 = 2;
    in.option2 = 10;
    for (int i = 0; i < 240; ++i) in.data.push_back(static_cast<char>('A' + i % 26));
    const testkit::Symbol s = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = 3;
    o.blurSigma = 0.5;
    GeometryFrame f{testkit::Render(s, o), {}};
    Install(f.rendered.frame.pixels, f.rendered.frame.width, f.rendered.frame.height);
    PDF_CANDIDATE found[4] = {};
    const i32 box[4] = {0, 0, 751, 479};
    if (PDF_ScanRowsForGuards(found, 4, 0, box, 480) > 0) f.candidate = found[0];
    return f;
}

// Geometry with the row table (0), then also the matrix (1).
void BM_SymbolGeometry(benchmark::State &state) {
    const GeometryFrame f = MakeGeometryFrame();
    std::vector<PDF_ROW_ENTRY> table(kPdfRowTableEntries);
    std::vector<i32> cw(929);
    std::vector<u8> conf(929);
    i32 read = 0;
    for (auto _ : state) {
        PDF_CANDIDATE c = f.candidate;
        int ok = PDF_BuildSymbolGeometry(&c, table.data());
        if (ok == 1 && state.range(0) != 0) {
            c.confidence = conf.data();
            c.erasures = c.rows * c.columns;
            read = PDF_ReadMatrix(&c, table.data(), cw.data());
        }
        benchmark::DoNotOptimize(ok);
    }
    state.SetLabel(state.range(0) != 0 ? (read == 10 ? "10 columns read" : "matrix not read") : "geometry");
}
BENCHMARK(BM_SymbolGeometry)->Arg(0)->Arg(1)->ArgNames({"matrix"})->Unit(benchmark::kMicrosecond);

// The guard-line fit alone, along the candidate's guard.
void BM_FitGuardLine(benchmark::State &state) {
    const GeometryFrame f = MakeGeometryFrame();
    PDF_CANDIDATE c = f.candidate;
    PDF_PrepareGuardGeometry(&c);
    SLOPE_LINE line{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(PDF_FitGuardLine({c.end1.x, c.end1.y}, {c.end2.x, c.end2.y}, 16 * c.guardWidth / 17,
                                                  20, &line, nullptr));
    }
}
BENCHMARK(BM_FitGuardLine)->Unit(benchmark::kMicrosecond);

// ---- The fast stage's start/stop search.

// The geometry frame's start pattern: its box widened by 16 px, as the fast stage hands it.
std::array<i32, 4> StartPatternBox(const testkit::Rendered &r) {
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (double sx : {0.0, 17.0}) {
        for (double sy : {0.0, r.transform.symbolHeight}) {
            const testkit::Point p = r.transform.ToImage({sx, sy});
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        }
    }
    return {std::max(0, static_cast<i32>(y0) - 16), std::max(0, static_cast<i32>(x0) - 16), std::min(751, static_cast<i32>(x1) + 16),
            std::min(479, static_cast<i32>(y1) + 16)};
}

// Text-like strokes over the whole frame (many edges, no pattern).
std::vector<uint8_t> TexturedFrame() {
    std::mt19937 rng(4646);
    std::vector<uint8_t> page(752 * 480, 215);
    for (int line = 8; line + 14 < 480; line += 20) {
        for (int x = 4; x < 740;) {
            const int w = 1 + static_cast<int>(rng() % 8);
            for (int y = line; y < line + 12; ++y) {
                for (int k = 0; k < w && x + k < 752; ++k) page[static_cast<size_t>(y) * 752 + x + k] = 40;
            }
            x += w + 2 + static_cast<int>(rng() % 9);
        }
    }
    return page;
}

// One box: 0 around the start pattern (a hit), 1 over plain paper, 2 over text-like strokes.
void BM_StartStopBox(benchmark::State &state) {
    const GeometryFrame f = MakeGeometryFrame();
    std::vector<uint8_t> pixels = f.rendered.frame.pixels;
    std::array<i32, 4> box = StartPatternBox(f.rendered);
    if (state.range(0) == 1) box = {10, 10, 90, 130};
    if (state.range(0) == 2) pixels = TexturedFrame(), box = {100, 200, 300, 260};
    Mem_ResetArena();
    int hits = 0;
    for (auto _ : state) {
        PDF_PATTERN_HIT hit{};
        hits += PDF_FindStartStopInRegion(pixels.data(), 752, 480, box.data(), &hit, 1);
    }
    const char *labels[] = {"hit", "plain miss", "textured miss"};
    state.SetLabel(labels[state.range(0)]);
    state.counters["found"] = benchmark::Counter(static_cast<double>(hits), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartStopBox)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"box"})->Unit(benchmark::kMicrosecond);

// Fifty candidate boxes of 120 x 80 over a textured frame: the fast stage's worst ordinary load.
void BM_StartStopFrame50Boxes(benchmark::State &state) {
    std::vector<uint8_t> pixels = TexturedFrame();
    std::vector<std::array<i32, 4>> boxes;
    for (int k = 0; k < 50; ++k) {
        const i32 x = 10 + (k % 10) * 60, y = 10 + (k / 10) * 80;
        boxes.push_back({y, x, x + 120, y + 80});
    }
    Mem_ResetArena();
    for (auto _ : state) {
        int hits = 0;
        for (auto &b : boxes) {
            PDF_PATTERN_HIT hit{};
            hits += PDF_FindStartStopInRegion(pixels.data(), 752, 480, b.data(), &hit, 1);
        }
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_StartStopFrame50Boxes)->Unit(benchmark::kMicrosecond);

// ---- Whole frames through the exported interface, PDF417 alone switched on.

const testkit::DecoderApi &PdfOnlyDecoder() {
    static const testkit::DecoderApi api = bench_corpus::OnlyGroupDecoder(0x20100);
    return api;
}

// A 752 x 480 frame with the 10-column, 20-row symbol at 3 px per module (1), or the same
// frame's paper with printed-text-like strokes and no symbol (0).
const testkit::Frame &PdfFrame(bool withSymbol) {
    static const testkit::Frame frames[2] = {
        [] {
            testkit::Frame f = MakeGeometryFrame().rendered.frame;
            std::mt19937 rng(5);
            for (int y = 0; y < f.height; ++y) {
                for (int x = 0; x < f.width; ++x) f.At(x, y) = 215;
            }
            for (int line = 40; line < 440; line += 24) {
                for (int x = 40; x < 712;) {
                    const int w = 1 + static_cast<int>(rng() % 4);
                    for (int y = line; y < line + 12; ++y) {
                        for (int k = 0; k < w; ++k) f.At(x + k, y) = 40;
                    }
                    x += w + 2 + static_cast<int>(rng() % 6);
                }
            }
            return f;
        }(),
        MakeGeometryFrame().rendered.frame,
    };
    return frames[withSymbol ? 1 : 0];
}

// Decodes the frame once per iteration; reads per iteration and the median decode time.
void RunFrames(benchmark::State &state, const testkit::DecoderApi &api, const testkit::Frame &f) {
    std::vector<double> ms;
    int64_t reads = 0;
    for (auto _ : state) {
        const testkit::DecodeResult d = testkit::RunFrame(api, f, false);
        reads += d.decoded ? 1 : 0;
        ms.push_back(d.decodeMs);
    }
    state.counters["read"] = benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
    state.counters["median_ms"] = bench_corpus::Median(ms);
}

void BM_PdfFrame(benchmark::State &state) { RunFrames(state, PdfOnlyDecoder(), PdfFrame(state.range(0) != 0)); }
BENCHMARK(BM_PdfFrame)->Name("BM_PdfFrame/this")->Arg(0)->Arg(1)->ArgNames({"symbol"})->Unit(benchmark::kMillisecond);

#ifdef VEXO_BENCH_ZXING
void BM_PdfFrameZxing(benchmark::State &state) {
    const testkit::Frame &f = PdfFrame(state.range(0) != 0);
    std::vector<double> ms;
    int64_t reads = 0;
    for (auto _ : state) {
        const testkit::DecodeResult d = bench_corpus::ZxingRead(f, ZXing::BarcodeFormat::PDF417, 0x100);
        reads += d.decoded ? 1 : 0;
        ms.push_back(d.decodeMs);
    }
    state.counters["read"] = benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
    state.counters["median_ms"] = bench_corpus::Median(ms);
}
BENCHMARK(BM_PdfFrameZxing)->Name("BM_PdfFrame/zxing")->Arg(0)->Arg(1)->ArgNames({"symbol"})->Unit(benchmark::kMillisecond);
#endif

// ---- MicroPDF417: locating in one region (a symbol, nothing, dense text) and whole frames
// with a 4-column, 20-row symbol at 3 px per module, MicroPDF417 alone switched on.

testkit::Symbol MicroSymbol() {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MICROPDF417;
    in.option2 = 4;
    for (int i = 0; i < 90; ++i) in.data.push_back(static_cast<char>('a' + i % 26));
    return testkit::Encode(in);  // 4 x 20
}

std::vector<uint8_t> g_work;

// Region 0 holds the symbol, 1 plain paper, 2 text-like strokes.
void BM_MpdfLocateRegion(benchmark::State &state) {
    const int w = 752, h = 480;
    testkit::RenderOptions o;
    o.moduleSize = 3;
    o.blurSigma = 0.5;
    testkit::Frame f = testkit::Render(MicroSymbol(), o).frame;
    if (state.range(0) != 0) {
        std::mt19937 rng(9);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) f.At(x, y) = 215;
        }
        for (int line = 120; state.range(0) == 2 && line < 360; line += 24) {
            for (int x = 200; x < 552;) {
                const int sw = 1 + static_cast<int>(rng() % 4);
                for (int y = line; y < line + 12; ++y) {
                    for (int k = 0; k < sw; ++k) f.At(x + k, y) = 40;
                }
                x += sw + 2 + static_cast<int>(rng() % 6);
            }
        }
    }
    Install(f.pixels, w, h);
    g_work.assign(g_pixels.size(), 0);
    g_image.buffer2 = g_work.data();
    g_state.locatedCount = 1;
    g_state.stageRegionAligned = REGION_QUAD{{{200, 110}, {552, 110}, {200, 370}, {552, 370}}};
    MPDF_RAP_COLUMNS cols{};
    for (auto _ : state) {
        MPDF_LocateRapColumns(&cols);
        benchmark::DoNotOptimize(cols.lineCount);
    }
    state.counters["lines"] = cols.lineCount;
}
BENCHMARK(BM_MpdfLocateRegion)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"region"})->Unit(benchmark::kMicrosecond);

void BM_MpdfFrame(benchmark::State &state) {
    static const testkit::DecoderApi api = bench_corpus::OnlyGroupDecoder(0x20800);
    testkit::RenderOptions o;
    o.moduleSize = 3;
    o.blurSigma = 0.5;
    testkit::Frame f = testkit::Render(MicroSymbol(), o).frame;
    if (state.range(0) == 0) {
        for (int y = 0; y < f.height; ++y) {
            for (int x = 0; x < f.width; ++x) f.At(x, y) = 215;
        }
    }
    RunFrames(state, api, f);
}
BENCHMARK(BM_MpdfFrame)->Arg(0)->Arg(1)->ArgNames({"symbol"})->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool kCorpusRegistered = bench_corpus::RegisterFolders(
    "BM_PdfCorpus", {"pdf417-1", "pdf417-3"},
    [] {
        const testkit::DecoderApi &api = PdfOnlyDecoder();
        return bench_corpus::Reader([&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); });
    },
    "PDF417", 0x100);

// Every sixth frame of the read test's slow sweep (one per row of module size, angle, blur
// and noise, the frame width alternating): 144 frames.
const std::vector<testkit::Frame> &SweepFrames() {
    static const std::vector<testkit::Frame> frames = [] {
        std::vector<testkit::Frame> out;
        const std::vector<pdf_sweep::SweepShot> shots = pdf_sweep::SweepShots(3, 1000);
        for (size_t i = 0; i < shots.size(); i += 6) {
            const pdf_sweep::SweepShot &shot = shots[i + (i / 6 % 2) * 3];
            out.push_back(pdf_sweep::RenderSweepShot(pdf_sweep::MakeSweepSymbol(shot), shot).frame);
        }
        return out;
    }();
    return frames;
}

[[maybe_unused]] const bool kSweepRegistered = bench_corpus::RegisterFrameSet(
    "BM_PdfSweepFrames", SweepFrames,
    [] {
        const testkit::DecoderApi &api = PdfOnlyDecoder();
        return bench_corpus::Reader([&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); });
    },
    "PDF417", 0x100);

// The arena's high-water mark (benchframes::BytesTouched). 0: the PDF417 stage alone over the
// whole frame holding the 10 x 20 symbol; 1: the whole decode of that frame through the
// exported interface, PDF417 alone switched on; 2: the same without a symbol.
void BM_PdfArenaHighWater(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const testkit::Frame &f = PdfFrame(which != 2);
    std::function<void()> decode;
    if (which == 0) {
        decode = [&f] {
            Install(f.pixels, f.width, f.height);
            PDF_ResetState();
            const i32 box[1][4] = {{0, 0, f.width - 1, f.height - 1}};
            const u8 flags[1] = {3};
            benchmark::DoNotOptimize(PDF_DecodeInRegions(box, 1, flags, 1));
        };
    } else {
        decode = [&f] { benchmark::DoNotOptimize(testkit::RunFrame(PdfOnlyDecoder(), f, false).decoded); };
    }
    i32 top = 0;
    for (auto _ : state) top = benchframes::BytesTouched(g_arena.memory, kArenaCapacity, decode);
    state.counters["high_water_bytes"] = top;
    const char *labels[] = {"PDF417 stage, symbol", "whole decode, symbol", "whole decode, no symbol"};
    state.SetLabel(labels[which]);
}
BENCHMARK(BM_PdfArenaHighWater)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"case"})->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

// ---- The composite component reader: one CC_ReadInQuad on an EAN-13 CC-A component at 3 px
// per module (hit), and on the same quad in an empty frame (miss).

namespace {

struct CcRequestFrame {
    std::vector<uint8_t> pixels;
    POINT_I32 quad[4];
};

CcRequestFrame MakeCcFrame(bool symbol) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_EANX_CC;
    in.inputMode = GS1_MODE;
    in.primary = "123456789012";
    in.option1 = 1;
    in.data = "[10]ABC123[21]XYZ";
    const testkit::Symbol s = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = 3;
    o.blurSigma = 0.5;
    const testkit::Rendered r = testkit::Render(s, o);
    // The component: the top rows whose ink spans what the first row's does.
    auto span = [&](int r, int *a, int *b) {
        *a = s.cols;
        *b = -1;
        for (int c = 0; c < s.cols; ++c) {
            if (s.Dark(r, c)) *a = std::min(*a, c), *b = c;
        }
    };
    int first = 0;
    int last = 0;
    span(0, &first, &last);
    int rows = 1;
    for (int a = 0, b = 0; rows < s.rows; ++rows) {
        span(rows, &a, &b);
        if (a != first || b != last) break;
    }
    const double left = first - 4.0;
    const double right = last + 5.0;
    const double bottom = s.rowTop[static_cast<size_t>(rows)];
    const testkit::Point sp[4] = {{left, -1}, {right, -1}, {right, bottom}, {left, bottom}};
    CcRequestFrame f{symbol ? r.frame.pixels : std::vector<uint8_t>(r.frame.pixels.size(), 200), {}};
    for (int k = 0; k < 4; ++k) {
        const testkit::Point p = r.transform.ToImage(sp[k]);
        f.quad[k] = POINT_I32{static_cast<i32>(p.x + 0.5), static_cast<i32>(p.y + 0.5)};
    }
    return f;
}

void BM_CcReadInQuad(benchmark::State &state) {
    const CcRequestFrame f = MakeCcFrame(state.range(0) != 0);
    Install(f.pixels, 752, 480);
    uint8_t text[512];
    int ok = 0;
    for (auto _ : state) {
        CC_READ_REQUEST req{};
        std::copy(f.quad, f.quad + 4, req.quad);
        POINT_I32 rowVector{f.quad[1].x - f.quad[0].x, f.quad[1].y - f.quad[0].y};
        req.image = g_image.data;
        req.text = text;
        req.capacity = 512;
        req.rowVector = &rowVector;
        req.leftVector = POINT_I32{f.quad[0].x - f.quad[3].x, f.quad[0].y - f.quad[3].y};
        req.narrowWidth = 96;
        req.variant = 0;
        req.polarity = 1;
        ok = CC_ReadInQuad(&req);
        benchmark::DoNotOptimize(ok);
    }
    state.SetLabel(ok == 1 ? "read" : "no read");
}
BENCHMARK(BM_CcReadInQuad)->Arg(1)->Arg(0)->ArgNames({"component"})->Unit(benchmark::kMicrosecond);

}  // namespace
