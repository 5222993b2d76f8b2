// Bar-edge segments of the linear region finder on a busy 752 x 480 frame: tracing from one
// row pair and one column pair (edge finding, pairing and the builder, store emptied each
// time), and grouping a full store of 100 segments into candidates, with the band
// builder's arena use.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "linear_image/lineimg_finder_scratch.h"
#include "linear_image/lineimg_grouping.h"
#include "linear_image/lineimg_segments.h"
#include "locate/finder.h"
#include "toolkit/profile.h"
#include "toolkit/quad.h"

namespace {

constexpr int kWidth = 752;
constexpr int kHeight = 480;
constexpr int kEdges = 256;

uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Four blocks of bars 1 to 4 modules of 2 pixels wide, two upright and two flat, over paper
// with noise: edges on every line. The bars are cut every 40 pixels, as in a stack of short
// symbols, so that a pass fills the segment store.
std::vector<uint8_t> BusyFrame() {
    std::mt19937 rng(5);
    std::vector<uint8_t> f(static_cast<size_t>(kWidth) * kHeight);
    std::vector<int> widths(400);
    for (int &w : widths) w = 2 * (1 + static_cast<int>(rng() % 4));
    const auto dark = [&](int along) {
        int at = 0;
        for (size_t k = 0; k < widths.size(); ++k) {
            at += widths[k];
            if (along < at) return k % 2 == 0;
        }
        return false;
    };
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool upright = (x < kWidth / 2) == (y < kHeight / 2);
            const bool cut = (upright ? y : x) % 40 < 4;
            const int v = !cut && dark(upright ? x : y) ? 40 : 210;
            f[static_cast<size_t>(y) * kWidth + x] = Clamp(v + static_cast<int>(rng() % 7) - 3);
        }
    return f;
}

struct Pair {
    std::vector<int32_t> a = std::vector<int32_t>(kEdges), b = std::vector<int32_t>(kEdges),
                         out = std::vector<int32_t>(kEdges), ma = std::vector<int32_t>(kEdges),
                         mb = std::vector<int32_t>(kEdges);
    vexo::EDGE_PAIRING e{};
};

void Install(std::vector<uint8_t> &f) {
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(f.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(kWidth, kHeight);
    vexo::Mem_ResetArena();
}

// One pair of lines 4 apart from `line` on, as a pass scans them.
int ScanPair(const std::vector<uint8_t> &f, Pair &p, int line, bool columns) {
    const int length = columns ? kHeight : kWidth;
    const auto edges = [&](int l, int32_t *pos) {
        if (columns) return vexo::Prof_FindColumnFallingEdges(f.data() + l, length, 102, 6, pos, kEdges);
        return vexo::Prof_FindFallingEdges(f.data() + static_cast<size_t>(l) * kWidth, length, 102, 6, pos, kEdges);
    };
    p.e = vexo::EDGE_PAIRING{70, kEdges, 4, edges(line, p.a.data()), edges(line + 4, p.b.data()), p.a.data(),
                             p.b.data(), p.out.data(), 0, p.ma.data(), p.mb.data(), 0, line, line + 4};
    vexo::Geo_MatchPositionRuns(&p.e);
    int mean = 0;
    if (columns) {
        vexo::LineImg_BuildColumnSegments(&p.e, &vexo::g_segmentStore, &mean, 0, vexo::kTraceScratchColumns);
    } else {
        vexo::LineImg_BuildRowSegments(&p.e, &vexo::g_segmentStore, &mean, 0, vexo::kTraceScratchRows);
    }
    return mean;
}

// Argument 0: a row pair through the upright bars; 1: a column pair through the flat ones.
void BM_TracePair(benchmark::State &state) {
    const bool columns = state.range(0) != 0;
    std::vector<uint8_t> f = BusyFrame();
    Install(f);
    Pair p;
    for (auto _ : state) {
        vexo::g_segmentStore.count = 0;
        benchmark::DoNotOptimize(ScanPair(f, p, columns ? 500 : 100, columns));
    }
    state.counters["segments"] = vexo::g_segmentStore.count;
}
BENCHMARK(BM_TracePair)->Arg(0)->Arg(1);

// The fewest free arena bytes with which the band builder still builds its bands.
int BandArenaBytes() {
    vexo::REGION_QUAD bands[vexo::kBandCapacity];
    int lo = 0;
    int hi = 4096;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        vexo::Mem_ResetArena();
        vexo::Mem_Alloc(vexo::kArenaCapacity - mid - 4);
        const int n = vexo::LineImg_BuildBands(&vexo::g_segmentStore, 1, bands, nullptr, vexo::kBandCapacity);
        if (n > 0) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    vexo::Mem_ResetArena();
    return lo;
}

void BM_GroupFullStore(benchmark::State &state) {
    std::vector<uint8_t> f = BusyFrame();
    Install(f);
    Pair p;
    for (int line = 8; line + 4 < kHeight / 2 && vexo::g_segmentStore.count < vexo::kSegmentCapacity; line += 8)
        ScanPair(f, p, line, false);
    const vexo::SEGMENT_STORE full = vexo::g_segmentStore;
    vexo::REGION_QUAD out[vexo::kGroupCandidateCapacity];
    int n = 0;
    for (auto _ : state) {
        vexo::g_segmentStore = full;
        n = vexo::LineImg_GroupSegments(out, vexo::kGroupCandidateCapacity, 1);
        benchmark::DoNotOptimize(out);
    }
    state.counters["segments"] = full.count;
    state.counters["candidates"] = n;
    vexo::g_segmentStore = full;
    state.counters["band_arena_bytes"] = BandArenaBytes();
}
BENCHMARK(BM_GroupFullStore);

}  // namespace
