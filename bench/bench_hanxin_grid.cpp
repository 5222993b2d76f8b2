// The Han Xin symbol outline, its module-line sweeps, the reference grid (pairing,
// assignment, border and cell refinement) and the corner-only grid, on rendered symbols:
// versions 22 and 40 at 4 px, 84 at 3 px, all in a 1280 x 960 frame turned by 10 degrees,
// and a version-3 symbol for the corner-only grid.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "hanxin/cscn_finder.h"
#include "hanxin/cscn_grid.h"
#include "hanxin/cscn_outline.h"
#include "hanxin/cscn_symbol.h"
#include "hanxin/cscn_tables.h"
#include "locate/finder.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

// A rendered symbol with its group record ready for the outline: the four finders measured
// in boxes around their cores, the version range that of the symbol's class.
struct HxGridBenchScene {
    std::vector<uint8_t> pixels;
    vexo::CSCN_SYMBOL symbol{};
    bool ok = false;
};

void HxGridBenchMake(int version, double module, HxGridBenchScene *scene) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_HANXIN;
    in.data = "Han Xin grid benchmark " + std::to_string(version);
    in.option2 = version;
    const testkit::Symbol sym = testkit::Encode(in);
    testkit::RenderOptions o;
    o.width = 1280;
    o.height = 960;
    o.moduleSize = module;
    o.angleDeg = 10;
    o.quietZone = 3;
    o.blurSigma = 0.7;
    o.noiseSigma = 2;
    const testkit::Rendered r = testkit::Render(sym, o);
    scene->pixels = r.frame.pixels;
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(scene->pixels.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(o.width, o.height);
    for (int k : {vexo::kSymQr, vexo::kSymMicroQr, vexo::kSymDataMatrix, vexo::kSymMaxiCode, vexo::kSymAztec,
                  vexo::kSymPdf417, vexo::kSymMicroPdf417})
        vexo::g_params.flagsWord[k] &= ~vexo::kFlagEnabled;
    vexo::g_params.flagsWord[vexo::kSymCsCode] = vexo::kFlagEnabled | vexo::kFlag2DDarkOnLight;
    const int n = sym.rows;
    const double cores[4][2] = {{5.5, 5.5}, {n - 5.5, 5.5}, {n - 5.5, n - 5.5}, {1.5, n - 1.5}};
    const int box = static_cast<int>(12 * module) + 8;
    scene->symbol = vexo::CSCN_SYMBOL{};
    for (int s = 0; s < 4; ++s) {
        testkit::Point p = sym.ModuleCentre(0, 0);
        p.x += cores[s][0] - 0.5;
        p.y += cores[s][1] - 0.5;
        const testkit::Point img = r.transform.ToImage(p);
        const int x0 = static_cast<int>(img.x) - box, y0 = static_cast<int>(img.y) - box;
        vexo::REGION_QUAD region{{{x0, y0}, {x0 + 2 * box, y0}, {x0, y0 + 2 * box}, {x0 + 2 * box, y0 + 2 * box}}};
        vexo::Loc_ResetFinders(&region, &region);
        vexo::Loc_RunFinders(&region);
        vexo::CSCN_RefineCandidates(&vexo::g_cscnCandidates, &vexo::g_cscnFinderSet);
        vexo::CSCN_MeasureFinders(&vexo::g_cscnFinderSet);
        double best = std::max(3.0, module);
        for (int i = 0; i < vexo::g_cscnFinderSet.normalCount; ++i) {
            const vexo::CSCN_FINDER *f = vexo::g_cscnFinderSet.normalRefs[i].finder;
            if (f == nullptr || f->valid == 0) continue;
            const double d = std::hypot(f->corner.x / 16.0 - (img.x - 0.5), f->corner.y / 16.0 - (img.y - 0.5));
            if (d < best) {
                best = d;
                scene->symbol.corners[s] = *f;
            }
        }
        if (scene->symbol.corners[s].valid == 0) return;
    }
    vexo::g_cscnCurrentPass = 1;
    const int cls = vexo::CSCN_VersionGroup(version);
    vexo::CSCN_VersionGroupRange(cls, &scene->symbol.minVersion, &scene->symbol.maxVersion);
    scene->symbol.minClass = scene->symbol.maxClass = cls;
    scene->ok = true;
}

double HxGridBenchModule(int version) { return version == 84 ? 3 : 4; }

void BM_HxOutlineAndSweeps(benchmark::State &state) {
    const int version = static_cast<int>(state.range(0));
    HxGridBenchScene scene;
    HxGridBenchMake(version, HxGridBenchModule(version), &scene);
    if (!scene.ok) {
        state.SkipWithError("the four patterns were not measured");
        return;
    }
    static vexo::CSCN_OUTLINE outline;
    for (auto _ : state) {
        vexo::CSCN_BuildOutline(&scene.symbol, &outline);
        vexo::CSCN_SweepBothWays(&outline);
        benchmark::DoNotOptimize(outline.rowCount);
    }
    state.counters["rows"] = outline.rowCount;
    state.counters["columns"] = outline.columnCount;
}

// Pairing, assignment, cells, border and cell refinement on the outline's sweeps.
void BM_HxReferenceGrid(benchmark::State &state) {
    const int version = static_cast<int>(state.range(0));
    HxGridBenchScene scene;
    HxGridBenchMake(version, HxGridBenchModule(version), &scene);
    if (!scene.ok) {
        state.SkipWithError("the four patterns were not measured");
        return;
    }
    static vexo::CSCN_OUTLINE outline;
    vexo::CSCN_BuildOutline(&scene.symbol, &outline);
    vexo::CSCN_SweepBothWays(&outline);
    static vexo::CSCN_SYMBOL work;
    vexo::i32 found = 0;
    for (auto _ : state) {
        work = scene.symbol;
        found = vexo::CSCN_BuildReferenceGrid(&outline, &work);
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = found;
    state.counters["class"] = work.maxClass;
}

// The corner-only grid of a version-3 symbol at 4 px.
void BM_HxCornerGrid(benchmark::State &state) {
    HxGridBenchScene scene;
    HxGridBenchMake(3, 4, &scene);
    if (!scene.ok) {
        state.SkipWithError("the four patterns were not measured");
        return;
    }
    static vexo::CSCN_SYMBOL work;
    vexo::i32 built = 0;
    for (auto _ : state) {
        work = scene.symbol;
        built = vexo::CSCN_EnsureGrid(&work, 0);
        benchmark::DoNotOptimize(built);
    }
    state.counters["built"] = built;
}

BENCHMARK(BM_HxOutlineAndSweeps)->Arg(22)->Arg(40)->Arg(84)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HxReferenceGrid)->Arg(22)->Arg(40)->Arg(84)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HxCornerGrid)->Unit(benchmark::kMicrosecond);

}  // namespace
