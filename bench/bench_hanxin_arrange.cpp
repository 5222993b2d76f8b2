// Arranging a group of four measured Han Xin finders and estimating the symbol size from
// them, on a version-40 symbol at 4 px, turned by 90 degrees, in a 1280 x 960 frame; and
// tracing the module edges met by one crossing segment across such a symbol.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "hanxin/cscn_finder.h"
#include "hanxin/cscn_symbol.h"
#include "locate/finder.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

// A version-40 symbol at 4 px turned by `angle` degrees in a 1280 x 960 frame, installed
// from a clean decoder state.
testkit::Rendered HxBenchRender(const testkit::Symbol &sym, double angle, std::vector<uint8_t> *pixels) {
    testkit::RenderOptions o;
    o.width = 1280;
    o.height = 960;
    o.moduleSize = 4;
    o.angleDeg = angle;
    o.quietZone = 3;
    o.blurSigma = 0.7;
    o.noiseSigma = 2;
    testkit::Rendered r = testkit::Render(sym, o);
    *pixels = r.frame.pixels;
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(pixels->data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(o.width, o.height);
    return r;
}

testkit::Symbol HxBenchSymbol(const char *text) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_HANXIN;
    in.data = text;
    in.option2 = 40;
    return testkit::Encode(in);
}

// The measured finder nearest each pattern core of the symbol, slots 0 to 3.
bool HxArrBenchGroup(std::vector<uint8_t> *pixels, std::vector<vexo::CSCN_FINDER> *group) {
    const testkit::Symbol sym = HxBenchSymbol("Han Xin arrangement benchmark");
    const testkit::Rendered r = HxBenchRender(sym, 90, pixels);
    for (int k : {vexo::kSymQr, vexo::kSymMicroQr, vexo::kSymDataMatrix, vexo::kSymMaxiCode, vexo::kSymAztec,
                  vexo::kSymPdf417, vexo::kSymMicroPdf417})
        vexo::g_params.flagsWord[k] &= ~vexo::kFlagEnabled;
    vexo::g_params.flagsWord[vexo::kSymCsCode] = vexo::kFlagEnabled | vexo::kFlag2DDarkOnLight;
    const int n = sym.rows;
    const double cores[4][2] = {{5.5, 5.5}, {5.5, n - 5.5}, {n - 5.5, n - 5.5}, {n - 1.5, 1.5}};
    group->clear();
    for (const auto &c : cores) {
        testkit::Point p = sym.ModuleCentre(0, 0);
        p.x += c[1] - 0.5;
        p.y += c[0] - 0.5;
        const testkit::Point img = r.transform.ToImage(p);
        // The finder search runs on a box around this core alone: on the whole symbol the
        // data area fills the candidate lists first.
        const int x0 = static_cast<int>(img.x) - 48, y0 = static_cast<int>(img.y) - 48;
        vexo::REGION_QUAD region{{{x0, y0}, {x0 + 96, y0}, {x0, y0 + 96}, {x0 + 96, y0 + 96}}};
        vexo::Loc_ResetFinders(&region, &region);
        vexo::Loc_RunFinders(&region);
        vexo::CSCN_RefineCandidates(&vexo::g_cscnCandidates, &vexo::g_cscnFinderSet);
        vexo::CSCN_MeasureFinders(&vexo::g_cscnFinderSet);
        const vexo::CSCN_FINDER *best = nullptr;
        double bestDistance = 4;
        for (int i = 0; i < vexo::g_cscnFinderSet.normalCount; ++i) {
            const vexo::CSCN_FINDER *f = vexo::g_cscnFinderSet.normalRefs[i].finder;
            if (f == nullptr || f->valid == 0) continue;
            const double d = std::hypot(f->corner.x / 16.0 - (img.x - 0.5), f->corner.y / 16.0 - (img.y - 0.5));
            if (d < bestDistance) {
                bestDistance = d;
                best = f;
            }
        }
        if (best == nullptr) return false;
        group->push_back(*best);
    }
    return true;
}

void BM_HxArrangeAndEstimateSize(benchmark::State &state) {
    std::vector<uint8_t> pixels;
    std::vector<vexo::CSCN_FINDER> group;
    if (!HxArrBenchGroup(&pixels, &group)) {
        state.SkipWithError("the four patterns were not measured");
        return;
    }
    int size = 0;
    for (auto _ : state) {
        vexo::g_cscnSymbol = vexo::CSCN_SYMBOL{};
        vexo::i32 lo = 0, hi = 0;
        if (vexo::CSCN_ArrangeFinders(group.data(), 4, &vexo::g_cscnSymbol) == 1)
            size = vexo::CSCN_EstimateSymbolSize(&vexo::g_cscnSymbol, &lo, &hi);
        benchmark::DoNotOptimize(size);
    }
    state.counters["size"] = size;
}

BENCHMARK(BM_HxArrangeAndEstimateSize)->Unit(benchmark::kMicrosecond);

// One crossing down the middle column of a version-40 symbol at 4 px, turned by 10
// degrees: every falling edge along it traced both ways, at most 20 segments kept.
void BM_HxTraceEdgesAcross(benchmark::State &state) {
    const testkit::Symbol sym = HxBenchSymbol("Han Xin edge tracing benchmark");
    std::vector<uint8_t> pixels;
    const testkit::Rendered r = HxBenchRender(sym, 10, &pixels);
    vexo::g_cscnCurrentPass = 1;
    const int n = sym.rows;
    // Symbol space in modules: two modules beyond the top and the bottom edge.
    testkit::Point top = sym.ModuleCentre(0, n / 2), bottom = top;
    top.y -= 2;
    bottom.y += n + 1;
    top = r.transform.ToImage(top);
    bottom = r.transform.ToImage(bottom);
    const vexo::GEO_POINT from{static_cast<int>(top.x), static_cast<int>(top.y)};
    const vexo::GEO_POINT to{static_cast<int>(bottom.x), static_cast<int>(bottom.y)};
    vexo::CSCN_EDGE_SEGMENT segments[20];
    vexo::CSCN_TRACE_REQUEST req{};
    req.from = &from;
    req.to = &to;
    req.segments = segments;
    req.maxSegments = 20;
    req.moduleWidth = 4;
    req.minLength = 40;
    req.rising = 0;
    int kept = 0;
    for (auto _ : state) {
        kept = vexo::CSCN_TraceEdgesAcross(&req);
        benchmark::DoNotOptimize(segments);
    }
    state.counters["segments"] = kept;
}

BENCHMARK(BM_HxTraceEdgesAcross)->Unit(benchmark::kMicrosecond);

}  // namespace
