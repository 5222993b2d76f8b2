// The profile path: its pipeline on a 1280 x 960 frame whose region gives lines of about
// 1,000 samples (coarse at 3 px a module, fine at 1.5 px), with the highest arena byte it
// touched; per 752 x 480 frame with every method on (a narrow symbol, empty, grey
// texture); and the narrow set (Code 128 and EAN-13 at 1.2-2.0 px, skewed up to 3 degrees,
// in the middle of the frame) read end to end beside zxing-cpp.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bench_corpus.h"
#include "bench_frames.h"
#include "core/arena.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "linear/test_hooks_linear.h"
#include "linear_image/lineimg_profile.h"
#include "linear_image/lineimg_services.h"
#include "linear_image/test_hooks_lineimg.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using namespace vexo;

struct ProfBenchFrame {
    std::vector<uint8_t> pixels;
    int width = 752, height = 480;
    REGION_QUAD quad{};
};

testkit::Symbol ProfBenchSymbol(int symbology, const char *data) {
    testkit::SymbolInput in;
    in.symbology = symbology;
    in.data = data;
    in.height = 30;
    return testkit::Encode(in);
}

// The symbol rendered, its region with 10 modules of quiet zone each side.
ProfBenchFrame ProfBenchRender(const testkit::Symbol &sym, const testkit::RenderOptions &opt) {
    const testkit::Rendered img = testkit::Render(sym, opt);
    ProfBenchFrame f;
    f.pixels = img.frame.pixels;
    f.width = img.frame.width;
    f.height = img.frame.height;
    const testkit::Point p[4] = {{-10, 0}, {sym.width + 10, 0}, {-10, sym.height}, {sym.width + 10, sym.height}};
    for (int k = 0; k < 4; ++k) {
        const testkit::Point q = img.transform.ToImage(p[k]);
        f.quad.c[k] = {static_cast<i32>(std::lround(q.x)), static_cast<i32>(std::lround(q.y))};
    }
    return f;
}

void ProfBenchInstall(ProfBenchFrame &f) {
    Test_ResetDecoderStatics();
    Test_ResetLinearStatics();
    Test_ResetLineImgStatics();
    Par_InstallDefaults();
    g_params.flagsWord[kSymCode128] |= kFlagEnabled;
    g_params.flagsWord[kSymEan13] |= kFlagEnabled;
    Pix_SetImagePointer(f.pixels.data());
    Pix_SetImageSize(f.width, f.height);
    Pix_SetSecondBuffer(g_internalImage);
    Pix_InstallFrame(f.pixels.data(), f.width, f.height);
    static const u8 kind = 1;
    Test_SetLineImgRegions(&f.quad, &kind, 1);
}

// The highest arena byte a decode wrote.
int64_t ProfArenaTouched(const std::function<void()> &decode) {
    Mem_ResetArena();
    return benchframes::BytesTouched(g_arena.memory, kArenaCapacity, decode);
}

// The pipeline alone (lines, model, profile, both edge lists) over a region whose lines hold
// about 1,000 samples: arg 0 coarse (3 px a module), 1 fine (1.5 px). (The region walk takes
// regions up to 800 px; this is the pipeline's largest case.)
void BM_ProfilePathLongRegion(benchmark::State &state) {
    const bool fine = state.range(0) == 1;
    const testkit::Symbol sym =
        ProfBenchSymbol(BARCODE_CODE128, fine ? "PROFILE-PATH-LONG-REGION-ABCDEFGHIJKLMNOPQRSTUVWXYZ-ABCDE" : "PROFILE-REGION-ABCDEFGHIJ");
    ProfBenchFrame f = ProfBenchRender(sym, {.width = 1280, .height = 960, .moduleSize = fine ? 1.5 : 3.0,
                                             .blurSigma = 0.5});
    ProfBenchInstall(f);
    static u16 edges[2][1024];
    int ok = 0;
    LINEIMG_PROFILE_REQUEST rq{};
    auto run = [&] {
        Mem_ResetArena();
        if (LineImg_AllocProfileBuffers() != 1) return;
        rq = LINEIMG_PROFILE_REQUEST{&f.quad, {edges[0], edges[1]}, {0, 0}, {1024, 1024}, 0};
        ok = LineImg_ProfileEdges(&rq);
        LineImg_FreeProfileBuffers();
    };
    for (auto _ : state) {
        run();
        benchmark::DoNotOptimize(ok);
    }
    state.counters["profiled"] = ok;
    state.counters["level_edges"] = rq.counts[0];
    state.counters["region_px"] = f.quad.c[1].x - f.quad.c[0].x;
    state.counters["arena_touched"] = static_cast<double>(ProfArenaTouched(run));
    Test_SetLineImgRegions(nullptr, nullptr, 0);
}
BENCHMARK(BM_ProfilePathLongRegion)->Arg(0)->Arg(1);

// Every method on, the profile switch on: arg 0 Code 128 at 1.4 px skewed 1 degree, 1 empty,
// 2 grey texture over the region (every method runs and fails).
void BM_ProfilePathFrame(benchmark::State &state) {
    const int64_t kind = state.range(0);
    const testkit::Symbol sym = ProfBenchSymbol(BARCODE_CODE128, "PRF-20931");
    ProfBenchFrame f = ProfBenchRender(sym, {.moduleSize = 1.4, .angleDeg = 1.0, .blurSigma = 0.5});
    std::mt19937 rng(3);
    if (kind == 1) f.pixels.assign(f.pixels.size(), 200);
    if (kind == 2)
        for (uint8_t &v : f.pixels) v = static_cast<uint8_t>(60 + rng() % 140);
    ProfBenchInstall(f);
    int decoded = 0;
    for (auto _ : state) {
        Mem_ResetArena();
        LineImg_SetScanMode(4);
        decoded = LineImg_Decode();
        benchmark::DoNotOptimize(decoded);
    }
    state.counters["read"] = decoded;
    state.counters["arena_touched"] = static_cast<double>(ProfArenaTouched([] {
        LineImg_SetScanMode(4);
        LineImg_Decode();
    }));
    Test_SetLineImgRegions(nullptr, nullptr, 0);
}
BENCHMARK(BM_ProfilePathFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The narrow set: each symbol at each module size, 4 seeds of skew and sub-pixel offset, in
// the middle of a 752 x 480 frame, read end to end.
const std::vector<testkit::Frame> &ProfNarrowSet(int symbology) {
    static std::vector<testkit::Frame> sets[2];
    std::vector<testkit::Frame> &frames = sets[symbology == BARCODE_CODE128 ? 0 : 1];
    if (!frames.empty()) return frames;
    const testkit::Symbol sym = symbology == BARCODE_CODE128 ? ProfBenchSymbol(BARCODE_CODE128, "PRF-20931")
                                                             : ProfBenchSymbol(BARCODE_EANX, "590123412345");
    for (double module : {1.2, 1.4, 1.6, 1.8, 2.0})
        for (uint64_t seed = 1; seed <= 4; ++seed) {
            std::mt19937_64 rng(seed * 7919 + static_cast<uint64_t>(module * 10));
            std::uniform_real_distribution<double> unit(0.0, 1.0);
            const double angle = -3.0 + 6.0 * unit(rng);
            const testkit::Point centre{376.0 + unit(rng), 240.0 + unit(rng)};
            frames.push_back(testkit::Render(sym, {.moduleSize = module, .center = centre, .angleDeg = angle,
                                                   .blurSigma = 0.5, .noiseSigma = seed % 2 == 0 ? 2.0 : 0.0,
                                                   .seed = seed})
                                 .frame);
        }
    return frames;
}

[[maybe_unused]] const bool kProfNarrowRegistered =
    bench_corpus::RegisterFrameSet(
        "BM_ProfileNarrowSet/Code128", []() -> const std::vector<testkit::Frame> & { return ProfNarrowSet(BARCODE_CODE128); },
        [] { return bench_corpus::Reader([](const testkit::Frame &f) { return testkit::DecodeFrame(f); }); }, "Code128",
        0x2) &&
    bench_corpus::RegisterFrameSet(
        "BM_ProfileNarrowSet/EAN13", []() -> const std::vector<testkit::Frame> & { return ProfNarrowSet(BARCODE_EANX); },
        [] { return bench_corpus::Reader([](const testkit::Frame &f) { return testkit::DecodeFrame(f); }); }, "EAN13",
        0x8);

}  // namespace
