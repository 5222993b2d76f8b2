// QR Code from camera frames: whole decodes per 752 x 480 frame through the exported
// interface (versions 1, 4 and 10, clean and blurred), the geometry stages' hot paths (a
// finder-pair measurement, sampling a version 10 symbol), and, when built with zxing-cpp,
// the QR corpus folders read by this decoder and by zxing-cpp side by side: read rate
// and median decode time of each in one run; and the frames this decoder cannot read (the
// qrcode-3 images it misses, a noisy frame whose symbol is damaged beyond correction):
// median and worst time per frame, beside zxing-cpp on the same frames.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/pixel.h"
#include "core/arena.h"
#include "qr/qr_grid.h"
#include "qr/qr_refit.h"
#include "qr/qr_symbol_stages.h"
#include "qr/qr_size.h"
#include "qr/qr_state.h"
#include "bench_corpus.h"
#include "support/blackbox.h"
#include "support/decoder_api.h"
#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

#ifdef VEXO_BENCH_ZXING
#define ZX_USE_UTF8 1
#include <ZXing/DecodeHints.h>
#include <ZXing/ImageView.h>
#include <ZXing/ReadBarcode.h>
#include <ZXing/Result.h>
#endif

namespace {

testkit::Symbol QrSymbol(int version) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_QRCODE;
    in.data = "QR " + std::to_string(version) + " 0123";
    in.option1 = 2;
    in.option2 = version;
    return testkit::Encode(in);
}

testkit::RenderOptions FrameOptions(bool blurred) {
    testkit::RenderOptions o;
    o.moduleSize = 4;
    o.angleDeg = 12;
    if (blurred) {
        o.blurSigma = 1.0;
        o.noiseSigma = 1;
    }
    return o;
}

// The exported interface with QR Code alone enabled.
const testkit::DecoderApi &QrOnlyDecoder() {
    static const testkit::DecoderApi api = bench_corpus::OnlyGroupDecoder(0x20200);
    return api;
}

// One 752 x 480 frame per iteration: Set, Decode and the result read back.
void BM_QrDecodeFrame(benchmark::State &state) {
    const int version = static_cast<int>(state.range(0));
    const bool blurred = state.range(1) != 0;
    const testkit::Rendered r = testkit::Render(QrSymbol(version), FrameOptions(blurred));
    const testkit::DecoderApi &api = QrOnlyDecoder();
    int64_t reads = 0;
    for (auto _ : state) {
        const testkit::DecodeResult d = testkit::RunFrame(api, r.frame, false);
        reads += d.decoded ? 1 : 0;
        benchmark::DoNotOptimize(d.text.data());
    }
    state.counters["read"] = benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
    state.SetLabel(blurred ? "blurred" : "clean");
}
BENCHMARK(BM_QrDecodeFrame)->ArgsProduct({{1, 4, 10}, {0, 1}})->Unit(benchmark::kMicrosecond);

// The geometry work area of a rendered symbol from its true finder positions.
struct GeometryFixture {
    testkit::Rendered rendered;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> work;
    int dimension = 0;

    explicit GeometryFixture(int version) : rendered(testkit::Render(QrSymbol(version), FrameOptions(false))) {
        const testkit::Symbol s = QrSymbol(version);
        dimension = s.rows;
        pixels = rendered.frame.pixels;
        work.assign(1280 * 960, 0);
        vexo::Pix_SetImageSize(rendered.frame.width, rendered.frame.height);
        vexo::Pix_SetImagePointer(pixels.data());
        vexo::g_qrGeomWork = vexo::QR_GEOM_WORK{};
        vexo::g_qrGeomWork.sampleBuffer = work.data();
        vexo::g_qrGeomWork.arrangement = vexo::kQrArrangeThree;
        const int d = dimension;
        const int modules[3][5][2] = {{{0, 6}, {0, 0}, {6, 0}, {6, 6}, {3, 3}},
                                      {{6, d - 7}, {6, d - 1}, {0, d - 1}, {0, d - 7}, {3, d - 4}},
                                      {{d - 7, 0}, {d - 1, 0}, {d - 1, 6}, {d - 7, 6}, {d - 4, 3}}};
        for (int slot = 0; slot < 3; ++slot) {
            for (int k = 0; k < 5; ++k) {
                const testkit::Point p =
                    rendered.transform.ToImage(testkit::Point{modules[slot][k][0] + 0.5, modules[slot][k][1] + 0.5});
                vexo::g_qrGeomWork.imagePoints[slot][k] = {static_cast<int32_t>((p.x - 0.5) * 4),
                                                           static_cast<int32_t>((p.y - 0.5) * 4)};
                vexo::g_qrGeomWork.modulePoints[slot][k] = {modules[slot][k][0], modules[slot][k][1]};
            }
            vexo::QR_FINDER_SUMMARY &f = vexo::g_qrGeomWork.finder[slot];
            f.centreX = vexo::g_qrGeomWork.imagePoints[slot][4].x / 4;
            f.centreY = vexo::g_qrGeomWork.imagePoints[slot][4].y / 4;
            f.size = 28;
        }
        vexo::g_qrSymbol.dimension = d;
        vexo::QR_VersionFromDimension(d, &vexo::g_qrSymbol.version, &vexo::g_qrSymbol.alignmentCount);
        vexo::g_qrSymbol.moduleSize = 4;
    }
};

void BM_QrMeasureFinderPair(benchmark::State &state) {
    GeometryFixture f(static_cast<int>(state.range(0)));
    int sum = 0;
    for (auto _ : state) {
        vexo::g_qrGeomWork.pairModuleSize = 0;
        sum += vexo::QR_MeasureFinderPair(&vexo::g_qrGeomWork.finder[0], &vexo::g_qrGeomWork.finder[2]);
    }
    benchmark::DoNotOptimize(sum);
    if (sum <= 0) state.SkipWithError("no measurement");
}
BENCHMARK(BM_QrMeasureFinderPair)->Arg(1)->Arg(10);

void BM_QrSampleWholeSymbol(benchmark::State &state) {
    GeometryFixture f(static_cast<int>(state.range(0)));
    vexo::QR_FitGlobalTransform(nullptr);
    std::vector<uint8_t> matrix(static_cast<size_t>(f.dimension * f.dimension));
    int ok = 0;
    for (auto _ : state) ok += vexo::QR_SampleModules(nullptr, matrix.data());
    if (ok != static_cast<int>(state.iterations())) {
        state.SkipWithError("sampling failed");
    }
}
BENCHMARK(BM_QrSampleWholeSymbol)->Arg(1)->Arg(10)->Arg(25);

// ---- Distorted symbols, the alignment search and the re-fit.

testkit::Rendered DistortedFrame(int version, double keystone, double bend) {
    testkit::RenderOptions o = FrameOptions(true);
    o.keystone = keystone;
    o.bendDeg = bend;
    return testkit::Render(QrSymbol(version), o);
}

testkit::Frame ComparisonFrame(int kind) {
    if (kind != 2) return DistortedFrame(10, kind == 0 ? 0.25 : 0, 0).frame;
    testkit::Frame frame;
    frame.width = 752;
    frame.height = 480;
    frame.pixels.assign(752 * 480, 128);
    return frame;
}

// One 752 x 480 frame: a version 10 symbol with a 25 % keystone (0), the frontal one (1),
// an empty frame (2).
void BM_QrDecodeDistortedFrame(benchmark::State &state) {
    const testkit::Frame frame = ComparisonFrame(static_cast<int>(state.range(0)));
    const testkit::DecoderApi &api = QrOnlyDecoder();
    int64_t reads = 0;
    for (auto _ : state) {
        const testkit::DecodeResult d = testkit::RunFrame(api, frame, false);
        reads += d.decoded ? 1 : 0;
        benchmark::DoNotOptimize(d.text.data());
    }
    state.counters["read"] = benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
    static const char *const kLabels[3] = {"keystone 0.25", "frontal", "empty"};
    state.SetLabel(kLabels[state.range(0)]);
}
BENCHMARK(BM_QrDecodeDistortedFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

#ifdef VEXO_BENCH_ZXING
void BM_ZxingDecodeDistortedFrame(benchmark::State &state) {
    const testkit::Frame frame = ComparisonFrame(static_cast<int>(state.range(0)));
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::ImageView view(frame.pixels.data(), frame.width, frame.height, ZXing::ImageFormat::Lum);
    int64_t reads = 0;
    for (auto _ : state) {
        const ZXing::Result z = ZXing::ReadBarcode(view, hints);
        reads += z.isValid() ? 1 : 0;
    }
    state.counters["read"] = benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ZxingDecodeDistortedFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
#endif

// The alignment search of one three-finder candidate (templates, ranking, search) on a
// symbol with a 20 % keystone at 4 pixels a module in a 1280 x 960 frame.
void BM_QrAlignSearch(benchmark::State &state) {
    const int version = static_cast<int>(state.range(0));
    testkit::RenderOptions o;
    o.width = 1280;
    o.height = 960;
    o.moduleSize = version >= 30 ? 4 : 5;
    o.keystone = 0.2;
    const testkit::Rendered r = testkit::Render(QrSymbol(version), o);
    GeometryFixture fixture(version);
    fixture.pixels = r.frame.pixels;
    vexo::Pix_SetImageSize(r.frame.width, r.frame.height);
    vexo::Pix_SetImagePointer(fixture.pixels.data());
    const int d = fixture.dimension;
    const int modules[3][5][2] = {{{0, 6}, {0, 0}, {6, 0}, {6, 6}, {3, 3}},
                                  {{6, d - 7}, {6, d - 1}, {0, d - 1}, {0, d - 7}, {3, d - 4}},
                                  {{d - 7, 0}, {d - 1, 0}, {d - 1, 6}, {d - 7, 6}, {d - 4, 3}}};
    const int local[5][2] = {{0, 66}, {0, 0}, {66, 0}, {66, 66}, {33, 33}};
    for (int slot = 0; slot < 3; ++slot) {
        for (int k = 0; k < 5; ++k) {
            const testkit::Point p = r.transform.ToImage(testkit::Point{modules[slot][k][0] + 0.5, modules[slot][k][1] + 0.5});
            vexo::g_qrGeomWork.imagePoints[slot][k] = {static_cast<int32_t>((p.x - 0.5) * 4), static_cast<int32_t>((p.y - 0.5) * 4)};
            vexo::g_qrGeomWork.modulePoints[slot][k] = {local[k][0], local[k][1]};
        }
    }
    vexo::g_qrGeomWork.pairModuleSize = o.moduleSize;
    vexo::QR_FitFinderTransforms();
    for (int slot = 0; slot < 3; ++slot) {
        for (int k = 0; k < 5; ++k) vexo::g_qrGeomWork.modulePoints[slot][k] = {modules[slot][k][0], modules[slot][k][1]};
    }
    vexo::g_qrPolarity = 1;
    int64_t found = 0;
    for (auto _ : state) {
        vexo::QR_GRID_NODE grid[vexo::kQrMaxGridNodes] = {};
        vexo::QR_GRID_NODE lists[vexo::kQrAlignListNodes] = {};
        int32_t counts[4] = {0, 0, 0, 0};
        vexo::QR_BuildAlignTemplates();
        vexo::QR_InitAlignGrid(grid);
        vexo::QR_RankAlignNodes(grid, lists, counts);
        vexo::QR_SearchAlignPatterns(grid, lists, counts);
        for (const vexo::QR_GRID_NODE &n : lists) found += n.found;
        benchmark::DoNotOptimize(grid);
    }
    state.counters["found"] = benchmark::Counter(static_cast<double>(found), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_QrAlignSearch)->Arg(7)->Arg(25)->Arg(40)->Unit(benchmark::kMicrosecond);

// The re-fit of one version 8 candidate bent by 80 degrees, from its true finder corners.
void BM_QrRefit(benchmark::State &state) {
    const testkit::Symbol s = QrSymbol(8);
    const int n = s.rows;
    testkit::RenderOptions o = FrameOptions(true);
    o.bendDeg = 80;
    const testkit::Rendered r = testkit::Render(s, o);
    std::vector<uint8_t> pixels = r.frame.pixels;
    vexo::Pix_InstallFrame(pixels.data(), r.frame.width, r.frame.height);
    vexo::Pix_SetImageSize(r.frame.width, r.frame.height);
    vexo::Pix_SetImagePointer(pixels.data());
    vexo::Mem_ResetArena();
    const int corners[3][4][2] = {{{0, n - 1}, {0, n - 7}, {6, n - 7}, {6, n - 1}},
                                  {{0, 0}, {6, 0}, {6, 6}, {0, 6}},
                                  {{n - 1, 0}, {n - 1, 6}, {n - 7, 6}, {n - 7, 0}}};
    vexo::QR_FINDER_PATTERN patterns[3] = {};
    for (int p = 0; p < 3; ++p) {
        for (int k = 0; k < 4; ++k) {
            const testkit::Point q = r.transform.ToImage(testkit::Point{corners[p][k][0] + 0.5, corners[p][k][1] + 0.5});
            patterns[p].corners[k] = {static_cast<int32_t>((q.x - 0.5) * 16), static_cast<int32_t>((q.y - 0.5) * 16)};
        }
    }
    std::vector<uint8_t> grey(static_cast<size_t>(n * n));
    int64_t filled = 0;
    for (auto _ : state) filled += vexo::QR_RefitGrid(patterns, vexo::kQrCandidateThree, n, grey.data(), 1);
    vexo::QR_REFIT_STATS stats{};
    vexo::QR_GetRefitStats(&stats);
    state.counters["filled"] = benchmark::Counter(static_cast<double>(filled), benchmark::Counter::kAvgIterations);
    state.counters["tiles"] = stats.tilesScanned;
    state.counters["points"] = stats.poolPoints;
    state.counters["arena_bytes"] = stats.arenaBytes;
}
BENCHMARK(BM_QrRefit)->Unit(benchmark::kMicrosecond);

// ---- The QR corpus folders, this decoder beside zxing-cpp.

using bench_corpus::CorpusDir;
using bench_corpus::Median;

// ---- Failed frames: what a frame costs when it holds a symbol that does not read.

// A version 3 symbol at 4 px with noise sigma 6 whose data modules are a third flipped.
testkit::Frame DamagedNoisyFrame() {
    testkit::Symbol s = QrSymbol(3);
    const int d = s.rows;
    uint32_t x = 12345;
    for (int r = 9; r < d - 9; ++r) {
        for (int c = 9; c < d; ++c) {
            x = x * 1103515245u + 12345u;
            if ((x >> 16) % 3 == 0) s.modules[static_cast<size_t>(r * d + c)] ^= 1;
        }
    }
    testkit::RenderOptions o;
    o.moduleSize = 4;
    o.angleDeg = 10;
    o.noiseSigma = 6;
    return testkit::Render(s, o).frame;
}

// The qrcode-3 images this decoder does not read, and the damaged noisy frame.
const std::vector<testkit::Frame> &FailedFrames() {
    static const std::vector<testkit::Frame> frames = [] {
        std::vector<testkit::Frame> out;
        const std::filesystem::path dir = CorpusDir() / "qrcode-3";
        std::vector<std::filesystem::path> paths;
        if (std::filesystem::is_directory(dir)) {
            for (const auto &e : std::filesystem::directory_iterator(dir)) {
                if (e.path().extension() == ".png") paths.push_back(e.path());
            }
        }
        std::sort(paths.begin(), paths.end());
        const testkit::DecoderApi &api = QrOnlyDecoder();
        for (const auto &p : paths) {
            testkit::Frame f;
            std::string error;
            if (!testkit::LoadImage(p.string(), &f, &error)) continue;
            if (!testkit::RunFrame(api, f, false).decoded) out.push_back(f);
        }
        out.push_back(DamagedNoisyFrame());
        return out;
    }();
    return frames;
}

// Each frame decoded five times; its median time, then the median and worst over frames.
template <typename DecodeOnce>
void TimeFailedFrames(benchmark::State &state, DecodeOnce decodeOnce) {
    const std::vector<testkit::Frame> &frames = FailedFrames();
    for (auto _ : state) {
        std::vector<double> perFrame;
        for (const testkit::Frame &f : frames) {
            std::vector<double> ms;
            for (int k = 0; k < 5; ++k) ms.push_back(decodeOnce(f));
            perFrame.push_back(Median(ms));
        }
        state.counters["frames"] = static_cast<double>(frames.size());
        state.counters["median_ms"] = Median(perFrame);
        state.counters["worst_ms"] = perFrame.empty() ? 0 : *std::max_element(perFrame.begin(), perFrame.end());
    }
}

void BM_QrFailedFramesThis(benchmark::State &state) {
    const testkit::DecoderApi &api = QrOnlyDecoder();
    TimeFailedFrames(state, [&](const testkit::Frame &f) { return testkit::RunFrame(api, f, false).decodeMs; });
}
BENCHMARK(BM_QrFailedFramesThis)->Name("BM_QrFailedFrames/this")->Iterations(1)->Unit(benchmark::kMillisecond);

#ifdef VEXO_BENCH_ZXING
void BM_QrFailedFramesZxing(benchmark::State &state) {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    TimeFailedFrames(state, [&](const testkit::Frame &f) {
        const ZXing::ImageView view(f.pixels.data(), f.width, f.height, ZXing::ImageFormat::Lum);
        const auto t0 = std::chrono::steady_clock::now();
        const ZXing::Result z = ZXing::ReadBarcode(view, hints);
        benchmark::DoNotOptimize(z.isValid());
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    });
}
BENCHMARK(BM_QrFailedFramesZxing)->Name("BM_QrFailedFrames/zxing")->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

// One folder per benchmark, each decoder beside the other.
[[maybe_unused]] const bool kCorpusRegistered = bench_corpus::RegisterFolders(
    "BM_QrCorpus", {"qrcode-1", "qrcode-3", "qrcode-5", "qrcode-7"},
    [] {
        const testkit::DecoderApi &api = QrOnlyDecoder();
        return bench_corpus::Reader([&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); });
    },
    "QRCode", 0x102);

}  // namespace
