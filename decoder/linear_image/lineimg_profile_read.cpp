// The profile path's reading: the two edge lists of the merged profile go to the 1D table,
// and a single read is stored at once.
#include <cstring>

#include "core/arena.h"
#include "linear/line_driver.h"
#include "linear/line_edge_input.h"
#include "linear_image/lineimg_accumulate.h"
#include "linear_image/lineimg_profile.h"
#include "locate/box_list.h"
#include "toolkit/quad.h"

namespace vexo {

namespace {

constexpr i32 kProfCandidates = 2;
constexpr i32 kProfSampleCap = 4095;

bool SameSide(const POINT_I32 &a0, const POINT_I32 &a1, const POINT_I32 &b0, const POINT_I32 &b1) {
    return a0.x == b0.x && a0.y == b0.y && a1.x == b1.x && a1.y == b1.y;
}

GEO_POINT Centre(const REGION_QUAD *q) {
    const POINT_I32 *c = q->c;
    return GEO_POINT{static_cast<i32>((static_cast<i64>(c[0].x) + c[1].x + c[2].x + c[3].x) / 4),
                     static_cast<i32>((static_cast<i64>(c[0].y) + c[1].y + c[2].y + c[3].y) / 4)};
}

// The region is given up and the regions stacked on it are skipped by the slow methods.
void GiveUp() {
    LINEIMG_LINE_STATE &st = g_lineImgState;
    if (st.profileTried < 0xFF) ++st.profileTried;
    const i32 r = st.nextRegion - 1;
    if (r >= 0 && r < kLineImgRegionCap) g_lineImgRegions.status[r] = kRegionProfileFailed;
    LineImg_MarkAdjacentRegions();
}

}  // namespace

void LineImg_MarkAdjacentRegions() {
    LINEIMG_REGIONS &rg = g_lineImgRegions;
    const i32 n = rg.count < kLineImgRegionCap ? rg.count : kLineImgRegionCap;
    for (i32 f = 0; f < n; ++f) {
        if (rg.status[f] != kRegionProfileFailed) continue;
        const POINT_I32 *a = rg.quads[f].c;
        for (i32 o = 0; o < n; ++o) {
            if (o == f) continue;
            const POINT_I32 *b = rg.quads[o].c;
            if (SameSide(b[0], b[1], a[2], a[3]) || SameSide(b[2], b[3], a[0], a[1])) rg.status[o] = kRegionSkip;
        }
    }
}

int LineImg_ScanRegionProfile(LINEIMG_RUN *run, const REGION_QUAD *quad, u8 kind) {
    if (run == nullptr || quad == nullptr || run->count >= run->limit) return 0;
    void *blocks[3] = {Mem_Alloc(kAccEdgeBlockBytes), Mem_Alloc(kAccEdgeBlockBytes), Mem_Alloc(kAccTextBlockBytes)};
    if (Mem_AllNonNull(blocks, 3) == 0) {
        for (i32 k = 2; k >= 0; --k)
            if (blocks[k] != nullptr) Mem_Free(blocks[k]);
        return 0;
    }
    LINEIMG_LINE_STATE &st = g_lineImgState;
    u16 *edges = static_cast<u16 *>(blocks[0]);
    u16 *widths = static_cast<u16 *>(blocks[1]);
    u8 *texts = static_cast<u8 *>(blocks[2]);
    // The profile has four samples per pixel; its longest is 4,095 samples.
    i32 samples = 4 * static_cast<i32>(st.lastLineSamples);
    g_lineEdgeInput.sampleCount = static_cast<u16>(samples > kProfSampleCap ? kProfSampleCap : samples);
    LINEIMG_PROFILE_REQUEST rq{};
    rq.quad = quad;
    for (i32 k = 0; k < kProfCandidates; ++k) {
        rq.edges[k] = edges + k * kAccCandidateCap;
        rq.counts[k] = 0;
        rq.caps[k] = kAccCandidateCap;
    }
    LineImg_ProfileEdges(&rq);
    const GEO_POINT centre = Centre(quad);
    for (i32 k = 0; k < kProfCandidates; ++k) {
        LINEIMG_LINE_RECORD rec{};
        u16 *w = widths + k * kAccCandidateCap;
        if (LineImg_WidthsFromEdges(rq.edges[k], rq.counts[k], w, kAccCandidateCap, &rec.widthCount) == 0) continue;
        u8 *text = texts + k * kAccTextBytes;
        std::memset(text, 0, kAccTextBytes);
        const i32 n = rq.counts[k] < kLineEdgeRoom ? rq.counts[k] : kLineEdgeRoom;
        rec.edges = rq.edges[k];
        rec.edgeCount = static_cast<u16>(n);
        rec.widths = w;
        rec.room = kAccCandidateCap;
        rec.text = text;
        rec.capacity = kAccTextBytes;
        for (i32 i = 0; i < n; ++i) g_lineEdgeInput.edges[i] = rq.edges[k][i];
        for (i32 i = 0; i + 1 < n; ++i) g_lineEdgeInput.widths[i] = w[i];
        g_lineEdgeInput.edgeCount = static_cast<u16>(n);
        g_lineEdgeInput.widthCount = static_cast<i16>(n - 1);
        if (Line_DecodeEdgeLine() != 1) {
            const int v = LineImg_ReviewAttempts();
            st.regionStop = static_cast<u16>(v);
            if (v != 0) break;
            continue;
        }
        LineImg_RecordLineRead(&st, &rec);
        // Widths are in sixteenths (level edges) or eighths (shape edges) of a quarter pixel.
        if (st.narrowWidth2 != -2) st.narrowWidth2 = k == 0 ? st.narrowWidth2 / 4 : st.narrowWidth2 / 2;
        if (rec.length == 0) continue;
        LineImg_ReviewAttempts();
        u8 *buffer = text;
        LINEIMG_READ_SET one{};
        one.buffer[0] = buffer;
        one.length[0] = rec.length;
        one.count = 1;
        one.ids[0] = rec.id;
        if (LineImg_AppendRunResult(run, &one, quad, centre, kind) == 0) break;
        g_lineImgOutput.corners = *quad;
        const i32 r = st.nextRegion - 1;
        st.region = static_cast<u16>(r > 0 ? r : 0);
        if (r >= 0 && r < kLineImgRegionCap) g_lineImgRegions.status[r] = kRegionFinished;
        if (st.profileTried < 0xFF) ++st.profileTried;
        Geo_AddQuadBox(quad, &g_boxList, 0, 0);
        Mem_FreeList(blocks, 3);
        return 1;
    }
    GiveUp();
    Mem_FreeList(blocks, 3);
    return 0;
}

}  // namespace vexo
