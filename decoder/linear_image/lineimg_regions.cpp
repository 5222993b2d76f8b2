// The region table of one image and the decoding of one region: the main scan first, then
// the methods that need buffers of their own.
#include <cstring>

#include "core/arena.h"
#include "core/frame_margins.h"
#include "core/state.h"
#include "linear_image/lineimg_module.h"
#include "linear_image/lineimg_regions.h"
#include "toolkit/geometry_points.h"
#include "toolkit/quad.h"

namespace vexo {

LINEIMG_REGIONS g_lineImgRegions;
LineImgRegionSource g_lineImgRegionSource = nullptr;

namespace {

constexpr i32 kWorkingCopyBytes = kLineImgRegionCap * static_cast<i32>(sizeof(REGION_QUAD));
static_assert(kWorkingCopyBytes == 640);
constexpr i32 kMinSide = 20;
constexpr i32 kMaxSide = 800;
constexpr i32 kMergeReach = 49;

i32 Abs(i32 v) { return v < 0 ? -v : v; }

bool Finished(u8 status) {
    return status == kRegionFinished || status == kRegionRefused || status == kRegionScanned;
}

bool Near(const REGION_QUAD &a, const REGION_QUAD &b) {
    for (int k = 0; k < 4; ++k)
        if (Abs(a.c[k].x - b.c[k].x) > kMergeReach || Abs(a.c[k].y - b.c[k].y) > kMergeReach) return false;
    return true;
}

GEO_POINT Midpoint(const GEO_POINT &p, const GEO_POINT &q) {
    return GEO_POINT{static_cast<i32>((static_cast<i64>(p.x) + q.x) / 2), static_cast<i32>((static_cast<i64>(p.y) + q.y) / 2)};
}

i32 Span(const GEO_POINT &a, const GEO_POINT &b, const GEO_POINT &c, const GEO_POINT &d) {
    const GEO_POINT p = Midpoint(a, b);
    const GEO_POINT q = Midpoint(c, d);
    return Geo_DistanceInt(p.x, p.y, q.x, q.y);
}

void PrepareReads(LINEIMG_READ_SET *reads, u8 *block) {
    *reads = LINEIMG_READ_SET{};
    for (i32 k = 0; k < kLineImgReadCap; ++k) reads->buffer[k] = block + k * kLineImgTextBytes;
    reads->wanted = 2;
}

int MarkAnd(const REGION_QUAD *quad, int answer) {
    Dec_MarkCandidateBox(quad, kLineImgBoxMark);
    return answer;
}

// Steps 3 onwards of a region's decode, with its read set ready.
int DecodeRegionWith(LINEIMG_RUN *run, LINEIMG_READ_SET *reads, i32 i) {
    const LINEIMG_OUTPUT &o = g_lineImgOutput;
    LINEIMG_REGIONS &t = g_lineImgRegions;
    const REGION_QUAD *quad = &t.quads[i];
    if (o.pairMode == 0 && o.pairAll == 0 && o.joinItf == 0 && g_state.extraGeometryStep == 1 &&
        Geo_InRoi(quad, nullptr, 1) == 0)
        return 0;
    LINEIMG_LINE_STATE &st = g_lineImgState;
    LineImg_ResetLineState();
    st.region = static_cast<u16>(i);
    st.regionStop = 0;
    LineImg_MergeRegionMarks();
    const POINT_I32 *c = quad->c;
    const i32 width = Span(c[kTopLeft], c[kBottomLeft], c[kTopRight], c[kBottomRight]);
    const i32 height = Span(c[kTopLeft], c[kTopRight], c[kBottomLeft], c[kBottomRight]);
    if (width < kMinSide || height < kMinSide) return 0;
    if ((g_lineImgMethodsOff & kLineImgMainScanOff) == 0 &&
        LineImg_ScanRegion(run, quad, &t.status[i], t.kinds[i], reads) == 1)
        return MarkAnd(quad, 1);
    if (width > kMaxSide || height > kMaxSide) return 0;
    if (st.regionStop != 0 || t.status[i] == kRegionSkip) return MarkAnd(quad, 0);
    if (LineImg_AllocAccumulator() == 1) {
        const int r = LineImg_ScanRegionAccumulate(run, quad, t.kinds[i], reads);
        LineImg_FreeAccumulator();
        if (r == 1) return MarkAnd(quad, 1);
    }
    if (st.regionStop != 0) return MarkAnd(quad, 0);
    if (st.profileTried == 0 && g_lineImgProfileOn != 0 && LineImg_AllocProfileBuffers() == 1) {
        const int r = LineImg_ScanRegionProfile(run, quad, t.kinds[i]);
        LineImg_FreeProfileBuffers();
        if (r == 1) return MarkAnd(quad, 1);
    }
    return 0;
}

}  // namespace

void LineImg_ResetRegions() { g_lineImgRegions = LINEIMG_REGIONS{}; }

int LineImg_FindRegions() {
    u8 *copy = Mem_Alloc(kWorkingCopyBytes);
    if (copy == nullptr) return 0;
    LINEIMG_REGIONS &t = g_lineImgRegions;
    if (g_lineImgRegionSource != nullptr) g_lineImgRegionSource(&t);
    else LineImg_CollectRegions(reinterpret_cast<REGION_QUAD *>(copy), &t);
    if (t.count < 0) t.count = 0;
    if (t.count > kLineImgRegionCap) t.count = kLineImgRegionCap;
    Mem_Free(copy);
    return 1;
}

void LineImg_MergeRegionMarks() {
    LINEIMG_REGIONS &t = g_lineImgRegions;
    const i32 n = t.count < kLineImgRegionCap ? t.count : kLineImgRegionCap;
    for (i32 i = 0; i < n; ++i) {
        if (t.status[i] != kRegionUnread) continue;
        for (i32 j = 0; j < n; ++j)
            if (j != i && !Finished(t.status[j]) && Near(t.quads[i], t.quads[j])) t.status[j] = t.status[i];
    }
}

int LineImg_DecodeRegion(LINEIMG_RUN *run) {
    if (run == nullptr) return 0;
    u8 *block = Mem_Alloc(kLineImgReadSetBytes);
    if (block == nullptr) return 0;
    std::memset(block, 0, kLineImgReadSetBytes);
    int answer = 0;
    const i32 i = g_lineImgState.nextRegion - 1;
    if (i >= 0 && i < g_lineImgRegions.count && i < kLineImgRegionCap) {
        LINEIMG_READ_SET reads{};
        PrepareReads(&reads, block);
        answer = DecodeRegionWith(run, &reads, i);
    }
    Mem_Free(block);
    return answer;
}

}  // namespace vexo
