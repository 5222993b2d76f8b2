// The linear module per 752 x 480 frame with one installed region over a Code 128 symbol:
// read by the whole-pixel pairs (3 px a module), read only by the 1/16-pixel pairs (1.5 px
// a module, blur 0.8: every pair is sampled twice), and an empty frame (the region given up
// after five pairs of both methods).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/arena.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "linear/test_hooks_linear.h"
#include "linear_image/lineimg_services.h"
#include "linear_image/test_hooks_lineimg.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using namespace vexo;

struct BenchFrame {
    std::vector<uint8_t> pixels;
    REGION_QUAD quad{};
};

BenchFrame MakeFrame(int64_t kind) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_CODE128;
    in.data = "Fine 1234";
    in.height = 30;
    const testkit::Symbol sym = testkit::Encode(in);
    testkit::RenderOptions opt;
    opt.moduleSize = kind == 1 ? 1.5 : 3;
    opt.blurSigma = kind == 1 ? 0.8 : 0.5;
    const testkit::Rendered img = testkit::Render(sym, opt);
    BenchFrame f;
    f.pixels = kind == 2 ? std::vector<uint8_t>(752 * 480, 200) : img.frame.pixels;
    const testkit::Point p[4] = {{-10, 0}, {sym.width + 10, 0}, {-10, sym.height}, {sym.width + 10, sym.height}};
    for (int k = 0; k < 4; ++k) {
        const testkit::Point q = img.transform.ToImage(p[k]);
        f.quad.c[k] = {static_cast<i32>(std::lround(q.x)), static_cast<i32>(std::lround(q.y))};
    }
    return f;
}

// Arg 0: whole-pixel read; 1: fine read; 2: empty frame.
void BM_LineImgDecodeFrame(benchmark::State &state) {
    Test_ResetDecoderStatics();
    Test_ResetLinearStatics();
    Test_ResetLineImgStatics();
    Par_InstallDefaults();
    g_params.flagsWord[kSymCode128] |= kFlagEnabled;
    BenchFrame f = MakeFrame(state.range(0));
    Pix_SetImagePointer(f.pixels.data());
    Pix_SetImageSize(752, 480);
    Pix_SetSecondBuffer(g_internalImage);
    Pix_InstallFrame(f.pixels.data(), 752, 480);
    const u8 kind = 1;
    Test_SetLineImgRegions(&f.quad, &kind, 1);
    int decoded = 0;
    for (auto _ : state) {
        Mem_ResetArena();
        decoded = LineImg_Decode();
        benchmark::DoNotOptimize(decoded);
    }
    if (decoded != (state.range(0) == 2 ? 0 : 1)) state.SkipWithError("unexpected decode result");
    Test_SetLineImgRegions(nullptr, nullptr, 0);
}
BENCHMARK(BM_LineImgDecodeFrame)->Arg(0)->Arg(1)->Arg(2);

}  // namespace
