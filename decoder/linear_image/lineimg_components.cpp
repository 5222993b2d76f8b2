// Composite components: after a linked linear result, the area beside the symbol is found by
// counting bar edges on lines walked outwards from it, and the component in it is read by
// the PDF417 family through the decoder's typed callbacks.
#include "linear_image/lineimg_components.h"

#include <cstring>

#include "core/modules.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "linear_image/lineimg_layout.h"
#include "linear_image/lineimg_thresholds.h"
#include "locate/edge_pairing.h"
#include "pdf417/pdf417_decode.h"
#include "pdf417/pdf417_services.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/quad.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kWidenMargin = 10;
constexpr i32 kTrimInset = 2;
constexpr i32 kBarStartBack = 8;
constexpr i32 kCcComponentId = 10;
constexpr i32 kPdfComponentId = 0;
constexpr i32 kAreaMinDrop = 6;
constexpr i32 kAreaRatio = 102;
constexpr i32 kCodeGs1128Pdf = 63;

// Symbology codes and variants of CC-A/CC-B components by link flag (index), 0 where the
// flag alone chooses no row; GS1-128 (any flag) takes code 63, variant 3.
struct CcRow {
    u8 code;
    u8 variant;
};
static constexpr CcRow kCcRows[15] = {
    {0, 0},  {0, 0},  {0, 0},  {0, 0},  {0, 0},  // 0-4
    {0, 0},  {0, 0},  {64, 4}, {65, 5}, {66, 6},  // 5-9
    {67, 7}, {60, 0}, {60, 0}, {61, 1}, {62, 2},  // 10-14
};
static_assert(sizeof(kCcRows) / sizeof(kCcRows[0]) == 15);

bool IsEanUpc(i32 id) { return id == kSymEan8 || id == kSymEan13 || id == kSymUpcE || id == kSymUpcA; }
bool WantsPdf(i32 linkFlag) { return linkFlag == 2 || linkFlag == 4 || linkFlag == 6; }

GEO_POINT Mid(const GEO_POINT &p, const GEO_POINT &q) { return {(p.x + q.x) / 2, (p.y + q.y) / 2}; }

i32 Truncated(const GEO_POINT &p, const GEO_POINT &q) { return Geo_DistanceInt(p.x, p.y, q.x, q.y); }

// The longer of a and b at most 1.5 times the shorter.
bool Comparable(i32 a, i32 b) {
    const i64 lo = a < b ? a : b;
    const i64 hi = a < b ? b : a;
    return 2 * hi <= 3 * lo;
}

// The component area finder's work block, or null.
u8 *ComponentScratch(i32 offset) {
    if (offset < 0 || offset > 0) return nullptr;  // one block; the offset is kept for callers
    u8 *work = Pix_WorkMemory(kAreaComponentEnd);
    return work != nullptr ? work + kAreaComponent : nullptr;
}

struct AreaEdges {
    u8 *samples;
    i32 *edges;
    i32 ratio;
    i32 minStep;
};

i32 CountFalls(const u8 *image, const GEO_POINT &p, const GEO_POINT &q, const AreaEdges &e) {
    const i32 n = Geo_SampleLine(image, &p, &q, e.samples, kComponentSamples);
    return Prof_FindFallingEdges(e.samples, n, e.ratio, e.minStep, e.edges, kComponentEdges);
}

// The walk at distance d: the line d pixels beyond q's first side.
void WalkLine(const REGION_QUAD &q, i32 d, GEO_POINT *p0, GEO_POINT *p1) {
    Geo_StepTowards(&q.c[0], &q.c[2], p0, -d);
    Geo_StepTowards(&q.c[1], &q.c[3], p1, -d);
}

// Walks outwards from q's first side; writes the far side to area c0, c1 and the near side
// to c2, c3.
void WalkOutwards(const u8 *image, const REGION_QUAD &q, i32 third, const AreaEdges &e, i32 mode,
                  REGION_QUAD *area) {
    GEO_POINT nearA = q.c[0], nearB = q.c[1];
    GEO_POINT farA{}, farB{};
    bool gap = false, inside = false;
    for (i32 d = kComponentStep; d <= kComponentReach; d += kComponentStep) {
        WalkLine(q, d, &farA, &farB);
        const i32 f = CountFalls(image, farA, farB, e);
        if (mode != 2) {
            if (f < third) break;
            continue;
        }
        if (inside) {
            if (f < third) break;
        } else if (f < third) {
            gap = true;
        } else if (f > third && gap) {
            inside = true;
            nearA = farA;
            nearB = farB;
        }
    }
    area->c[0] = farA;
    area->c[1] = farB;
    area->c[2] = nearA;
    area->c[3] = nearB;
}

void TrimEnds(REGION_QUAD *area, i32 ratio, i32 minStep) {
    GEO_POINT l{}, r{};
    Geo_QuadSideMidpointsDiv(area, &l, &r);
    GEO_POINT a0{}, a1{}, b0{}, b1{};
    Geo_StepTowards(&l, &area->c[0], &a0, kTrimInset);
    Geo_StepTowards(&r, &area->c[1], &a1, kTrimInset);
    Geo_StepTowards(&l, &area->c[2], &b0, kTrimInset);
    Geo_StepTowards(&r, &area->c[3], &b1, kTrimInset);
    const i32 left = LineImg_FindBarStart(&a0, &a1, &b0, &b1, 0, ratio, minStep);
    const i32 right = LineImg_FindBarStart(&a1, &a0, &b1, &b0, 0, ratio, minStep);
    const REGION_QUAD was = *area;
    Geo_StepTowards(&was.c[0], &was.c[1], &area->c[0], left);
    Geo_StepTowards(&was.c[2], &was.c[3], &area->c[2], left);
    Geo_StepTowards(&was.c[1], &was.c[0], &area->c[1], right);
    Geo_StepTowards(&was.c[3], &was.c[2], &area->c[3], right);
}

bool InsideWithMargin(const GEO_POINT &p) {
    return p.x >= 0 && p.y >= 0 && p.x < Pix_GetImageWidth() - 1 && p.y < Pix_GetImageHeight() - 1;
}

// Newest result's component fields after a read.
void StoreComponent(LINEIMG_RUN *run, i32 r, i32 length, i32 id) {
    run->componentLength[r] = length < 0 ? 0 : (length > kLineImgComponentBytes ? kLineImgComponentBytes : length);
    run->componentAim[r][0] = 'e';
    run->componentAim[r][1] = '0';
    run->componentId[r] = id;
}

}  // namespace

int LineImg_ChooseCcVariant(i32 linkFlag, i32 id, LINEIMG_CC_CHOICE *out) {
    if (out == nullptr) return 0;
    // Rows in table order: the EAN/UPC flags first, then GS1-128 whatever its flag.
    if (linkFlag >= 11 && linkFlag <= 14) {
        *out = {kCcRows[linkFlag].code, kCcRows[linkFlag].variant};
        return 1;
    }
    if (id == kSymGs1128) {
        *out = {kCodeGs1128Pdf, 3};
        return 1;
    }
    if (linkFlag >= 7 && linkFlag <= 10) {
        *out = {kCcRows[linkFlag].code, kCcRows[linkFlag].variant};
        return 1;
    }
    return 0;
}

void LineImg_WidenQuad(REGION_QUAD *quad, i32 margin) {
    if (quad == nullptr) return;
    const REGION_QUAD q = *quad;
    const f64 len = Geo_Distance(q.c[0].x, q.c[0].y, q.c[1].x, q.c[1].y);
    const i32 reach = static_cast<i32>(len + 0.5) + margin;
    Geo_StepTowards(&q.c[0], &q.c[1], &quad->c[1], reach);
    Geo_StepTowards(&q.c[1], &q.c[0], &quad->c[0], reach);
    Geo_StepTowards(&q.c[2], &q.c[3], &quad->c[3], reach);
    Geo_StepTowards(&q.c[3], &q.c[2], &quad->c[2], reach);
}

i32 LineImg_FindBarStart(const GEO_POINT *a0, const GEO_POINT *a1, const GEO_POINT *b0, const GEO_POINT *b1,
                         i32 scratchOffset, i32 ratio, i32 minStep) {
    const u8 *image = Pix_GetImagePointer();
    u8 *work = ComponentScratch(scratchOffset);
    if (a0 == nullptr || a1 == nullptr || b0 == nullptr || b1 == nullptr || image == nullptr || work == nullptr)
        return 0;
    u8 *samplesA = work + kComponentSamples;
    u8 *samplesB = samplesA + kComponentSamples;
    i32 *posA = reinterpret_cast<i32 *>(samplesB + kComponentSamples);
    i32 *posB = posA + kComponentEdges;
    i32 *matchA = posB + kComponentEdges;
    i32 *matchB = matchA + kComponentEdges;
    const GEO_POINT ma = Mid(*a0, *a1), mb = Mid(*b0, *b1);
    const i32 na = Geo_SampleLine(image, a0, &ma, samplesA, kComponentSamples);
    const i32 nb = Geo_SampleLine(image, b0, &mb, samplesB, kComponentSamples);
    EDGE_PAIRING pairing{};
    pairing.countA = Prof_FindFallingEdges(samplesA, na, ratio, minStep, posA, kComponentEdges);
    pairing.countB = Prof_FindFallingEdges(samplesB, nb, ratio, minStep, posB, kComponentEdges);
    pairing.posA = posA;
    pairing.posB = posB;
    pairing.matchA = matchA;
    pairing.matchB = matchB;
    pairing.capacity = kComponentEdges;
    if (Loc_PairEdgeLists(&pairing) != 1) return 0;
    const i32 pairs = pairing.matchCount < kComponentEdges ? pairing.matchCount : kComponentEdges;
    for (i32 k = 0; k < pairs; ++k) {
        const i32 ia = matchA[k], ib = matchB[k];
        if (ia < 0 || ia >= pairing.countA || ib < 0 || ib >= pairing.countB) continue;
        const i32 da = (posA[ia] + 8) / 16, db = (posB[ib] + 8) / 16;
        GEO_POINT pa{}, pb{};
        Geo_StepTowards(a0, &ma, &pa, da);
        Geo_StepTowards(b0, &mb, &pb, db);
        if (InsideWithMargin(pa) && InsideWithMargin(pb)) return da - kBarStartBack;
    }
    return 0;
}

int LineImg_FindComponentArea(const REGION_QUAD *q, REGION_QUAD *area, i32 scratchOffset, i32 mode) {
    if (q == nullptr || area == nullptr) return 0;
    *area = REGION_QUAD{{q->c[0], q->c[1], q->c[0], q->c[1]}};
    const u8 *image = Pix_GetImagePointer();
    u8 *work = ComponentScratch(scratchOffset);
    if (image == nullptr || work == nullptr) return 0;
    AreaEdges e{work, reinterpret_cast<i32 *>(work + 3 * kComponentSamples), kAreaRatio, 6};
    GEO_POINT l{}, r{};
    Geo_QuadSideMidpointsDiv(q, &l, &r);
    const i32 n = Geo_SampleLine(image, &l, &r, e.samples, kComponentSamples);
    e.ratio = LineImg_EstimateEdgeThresholds(e.samples, n, kAreaMinDrop, kAreaRatio, &e.minStep, scratchOffset);
    const i32 third = Prof_FindFallingEdges(e.samples, n, e.ratio, e.minStep, e.edges, kComponentEdges) / 3;
    WalkOutwards(image, *q, third, e, mode, area);
    TrimEnds(area, e.ratio, e.minStep);
    return 1;
}

int LineImg_OrientComponentArea(const REGION_QUAD *quad, REGION_QUAD *area, i32 mode) {
    if (quad == nullptr || area == nullptr) return 0;
    REGION_QUAD q = *quad;
    // Read backwards: the component lies beyond the last side, so the quad is turned round.
    if (g_lineImgState.componentMode != 1) q = REGION_QUAD{{quad->c[3], quad->c[2], quad->c[1], quad->c[0]}};
    LineImg_FindComponentArea(&q, area, 0, mode);
    const GEO_POINT c2 = area->c[2];
    area->c[2] = area->c[3];
    area->c[3] = c2;
    return 1;
}

int LineImg_ReadPdfComponent(LINEIMG_RUN *run, const REGION_QUAD *area, const REGION_QUAD *linearQuad) {
    if (run == nullptr || area == nullptr || linearQuad == nullptr || run->count <= 0) return 0;
    const i32 r = run->count - 1;
    if (r >= kLineImgResultCap || run->componentText[r] == nullptr) return 0;
    if (g_lineImgState.id == kSymGs1128) g_state.lastSymbologyCode = kCodeGs1128Pdf;
    i32 corners[8];
    for (i32 k = 0; k < 4; ++k) {
        corners[2 * k] = area->c[k].x;
        corners[2 * k + 1] = area->c[k].y;
    }
    CC_PDF_REQUEST request{};
    request.quad = corners;
    for (i32 k = 0; k < 4; ++k) {
        request.linearQuad[2 * k] = linearQuad->c[k].x;
        request.linearQuad[2 * k + 1] = linearQuad->c[k].y;
    }
    // The buffer's real size: the reader refuses a longer text rather than overrun it.
    request.capacity = kLineImgComponentBytes;
    request.length = 0;
    request.buffer = run->componentText[r];
    if (Dec_CallTypedCallback(kCallbackPdfComponent, &request) != 1) return 0;
    StoreComponent(run, r, request.length, kPdfComponentId);
    return 1;
}

int LineImg_ReadCcComponent(LINEIMG_RUN *run, const REGION_QUAD *area) {
    if (run == nullptr || area == nullptr || run->count <= 0) return 0;
    const i32 r = run->count - 1;
    if (r >= kLineImgResultCap || run->componentText[r] == nullptr) return 0;
    const POINT_I32 *c = area->c;
    if (!Comparable(Truncated(c[0], c[1]), Truncated(c[3], c[2]))) return 0;
    if (!Comparable(Truncated(c[3], c[0]), Truncated(c[1], c[2]))) return 0;
    const LINEIMG_LINE_STATE &st = g_lineImgState;
    LINEIMG_CC_CHOICE choice{};
    if (LineImg_ChooseCcVariant(st.linkFlag, st.id, &choice) == 0) return 0;
    g_state.lastSymbologyCode = choice.code;
    if (st.narrowWidth2 > 0) {
        POINT_I32 top{c[1].x - c[0].x, c[1].y - c[0].y};
        CC_READ_REQUEST request{};
        request.image = Pix_GetImagePointer();
        for (i32 k = 0; k < 4; ++k) request.quad[k] = c[k];
        request.text = run->componentText[r];
        request.length = 0;
        request.capacity = kCcRequestCapacity;
        request.rowVector = &top;
        request.leftVector = POINT_I32{c[0].x - c[3].x, c[0].y - c[3].y};
        request.narrowWidth = st.narrowWidth2;
        request.variant = choice.variant;
        request.polarity = 1;
        const int answer = Dec_CallTypedCallback(kCallbackCcComponent, &request);
        if (answer != 0) {
            StoreComponent(run, r, request.length, kCcComponentId);
            return answer;
        }
    }
    std::memset(run->componentText[r], 0, kCcClearBytes);
    run->componentLength[r] = 0;
    return 0;
}

int LineImg_ReadComponent(LINEIMG_RUN *run, REGION_QUAD *regionQuad) {
    if (run == nullptr || regionQuad == nullptr) return 0;
    LineImg_WidenQuad(regionQuad, kWidenMargin);
    LINEIMG_LINE_STATE &st = g_lineImgState;
    REGION_QUAD area{};
    LineImg_OrientComponentArea(regionQuad, &area, IsEanUpc(st.id) ? 2 : 1);
    const int read = WantsPdf(st.linkFlag) ? LineImg_ReadPdfComponent(run, &area, regionQuad)
                                           : LineImg_ReadCcComponent(run, &area);
    if (read == 0) return 0;
    st.id = kSymComposite;
    return 1;
}

int LineImg_TryComponents(LINEIMG_RUN *run) {
    if (run == nullptr || run->count <= 0 || run->count > kLineImgResultCap || g_lineImgRegions.count <= 0) return 0;
    LINEIMG_LINE_STATE &st = g_lineImgState;
    if (st.linkFlag == 0) {
        const bool alwaysSearch = (g_params.flagsWord[kSymComposite] & (1u << 31)) != 0;
        if (!alwaysSearch || !IsEanUpc(st.id)) return 1;
    }
    const i32 regions = g_lineImgRegions.count < kLineImgRegionCap ? g_lineImgRegions.count : kLineImgRegionCap;
    for (i32 i = 0; i < regions; ++i) {
        const i8 vote = g_lineImgVotes[i];
        if (vote != 1 && vote != -1) continue;
        st.componentMode = vote == 1 ? 1 : 2;
        if (run->length[run->count - 1] > 0 && LineImg_ReadComponent(run, &g_lineImgRegions.quads[i]) == 1) return 1;
    }
    return 0;
}

}  // namespace vexo
