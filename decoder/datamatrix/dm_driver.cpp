// Data Matrix module driver: options, candidates from the L-finder, ranking, per-candidate
// decoding with its re-sampling, the best status, the result store and the accessors.
#include "datamatrix/dm_driver.h"

#include <cmath>
#include <cstring>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_ecc200.h"
#include "toolkit/geometry_points.h"
#include "toolkit/matrix.h"
#include "toolkit/quad.h"

namespace vexo {

DM_OPTIONS g_dmOptions;
DM_RESULT g_dmResult;
DM_SA_INFO g_dmSaInfo;
DM_IMAGE g_dmImage;
const DM_STAGES *g_dmStages = &kDmStages;

namespace {

i32 g_dmBestStatus = kDmStatusStart;

constexpr u32 kReadModeMask = kFlag2DCountMask;
constexpr u32 kReadModeMulti = 2;
constexpr i32 kBinariseMargin = 12;

u32 ConfigWord() { return g_params.flagsWord[kSymDataMatrix]; }
i32 Bit(u32 word, u32 mask) { return (word & mask) != 0 ? 1 : 0; }

GEO_POINT Add(GEO_POINT a, GEO_POINT b) { return GEO_POINT{a.x + b.x, a.y + b.y}; }
GEO_POINT Sub(GEO_POINT a, GEO_POINT b) { return GEO_POINT{a.x - b.x, a.y - b.y}; }

i32 Distance(GEO_POINT a, GEO_POINT b) { return Geo_DistanceInt(a.x, a.y, b.x, b.y); }

i64 SquaredLength(GEO_POINT a, GEO_POINT b) {
    const i64 dx = static_cast<i64>(a.x) - b.x;
    const i64 dy = static_cast<i64>(a.y) - b.y;
    return dx * dx + dy * dy;
}

i32 IntSqrt(i64 v) { return v <= 0 ? 0 : static_cast<i32>(std::sqrt(static_cast<f64>(v))); }

// The single-symbol path's region-of-interest test: the candidate's centre in the ROI quad.
bool CentreInRoi(const DM_PREPARED_CANDIDATE &c) {
    const GEO_POINT centre = DM_CandidateCentre(c.armEnd1, c.corner, c.armEnd2, c.fourthCorner);
    const REGION_QUAD quad{{c.armEnd1, c.fourthCorner, c.corner, c.armEnd2}};
    return Geo_InRoi(&quad, &centre, 0) != 0;
}

i32 DecodeSingle(const DM_STAGES *stages, DM_CANDIDATE *cands, i32 n) {
    DM_PREPARED_CANDIDATE ranked[kDmMaxRanked] = {};
    const i32 m = DM_RankCandidates(cands, n, ranked);
    for (i32 i = 0; i < m; ++i) {
        if (g_dmOptions.multiSymbol == 0 && g_state.extraGeometryStep == 1 && !CentreInRoi(ranked[i])) continue;
        DM_GEOMETRY geometry{};
        const i32 s = DM_DecodeCandidateWith(stages, &ranked[i], &geometry);
        if (s == 0) {
            DM_KeepBestStatus(0);
            DM_StoreResult();
            return 0;
        }
        DM_KeepBestStatus(s);
    }
    return g_dmBestStatus;
}

// Sampling, binarisation, the strip and the data layer for the module counts in geo (with
// the pattern lines). The sampling status -30 or the data layer's status.
i32 SampleAndDecode(const DM_STAGES *stages, u8 *image, u8 *work, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    geo->modules = work + kDmModuleMatrixOffset;
    geo->darkOnLight = cand->darkOnLight;
    const i64 rows = static_cast<i64>(geo->regionRows) * geo->moduleRows;
    const i64 cols = static_cast<i64>(geo->regionCols) * geo->moduleCols;
    // Counts a sampler could not fill or the areas could not hold.
    if (geo->regionRows < 1 || geo->regionCols < 1 || geo->regionRows >= kDmLatticeSide ||
        geo->regionCols >= kDmLatticeSide || geo->moduleRows < 3 || geo->moduleCols < 3 ||
        rows * cols > kDmMatrixAreaBytes) {
        geo->status = kDmStatusRefused;
        return kDmStatusRefused;
    }
    geo->status = stages->sampleModules(image, geo);
    if (geo->status != 0) return kDmStatusRefused;
    MODULE_BITS bits{geo->modules, work + kDmBinaryMatrixOffset, static_cast<i32>(cols), static_cast<i32>(rows),
                     cand->darkOnLight, 1, kBinariseMargin};
    Geo_BinariseModules(&bits);
    DM_StripPatternModules(work + kDmBinaryMatrixOffset, geo);
    std::memset(g_dmResult.text, 0, kDmTextClearBytes);
    g_dmResult.length = 0;
    geo->status = DM_DecodeMatrix(geo->modules, geo->regionRows * geo->moduleRows, geo->regionCols * geo->moduleCols);
    return geo->status;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Decode

i32 DM_DecodeImage() { return DM_DecodeImageWith(g_dmStages); }

i32 DM_DecodeImageWith(const DM_STAGES *stages) {
    if (stages == nullptr) return kDmStatusNoCandidate;
    DM_CANDIDATE candidates[kDmMaxFetched] = {};
    i32 order[kDmMaxFetched] = {};
    g_dmResult.length = 0;
    DM_ReadOptions();
    g_dmOptions.multiSymbol = (ConfigWord() & kReadModeMask) == kReadModeMulti ? 2 : 0;
    DM_KeepBestStatus(kDmStatusStart);
    DM_SetImage(g_image.data, Pix_GetImageWidth(), Pix_GetImageHeight());
    const i32 n = DM_FetchLCandidates(stages, candidates, kDmMaxFetched);
    DM_KeepBestStatus(kDmStatusNoCandidate);
    if (n <= 0) return kDmStatusNoCandidate;
    DM_ClearSaInfo();
    if (g_dmOptions.multiSymbol != 0) {
        const i32 k = stages->pairCandidates != nullptr ? stages->pairCandidates(candidates, n, order, kDmMaxFetched) : 0;
        if (k > 0) return DM_DecodeSymbolPairs(stages, candidates, n, order, k);
    }
    return DecodeSingle(stages, candidates, n);
}

i32 DM_DecodeCandidate(DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    return DM_DecodeCandidateWith(g_dmStages, cand, geo);
}

i32 DM_DecodeCandidateWith(const DM_STAGES *stages, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    if (stages == nullptr || stages->locateAndSize == nullptr || stages->regularizeLattice == nullptr ||
        stages->sampleModules == nullptr || cand == nullptr || geo == nullptr) {
        return kDmStatusNoCandidate;
    }
    u8 *image = g_image.data;
    i32 s = stages->locateAndSize(image, cand, geo);
    geo->status = s;
    if (s != 0) return s;
    if (g_dmOptions.squareOnly != 0 && geo->regionCols * geo->moduleCols != geo->regionRows * geo->moduleRows) {
        geo->status = kDmStatusRefused;
        return kDmStatusRefused;
    }
    stages->regularizeLattice(geo);
    u8 *work = DM_WorkBuffer();
    if (work == nullptr) {
        geo->status = kDmStatusRefused;
        return kDmStatusRefused;
    }
    geo->moduleRows += 2;
    geo->moduleCols += 2;
    s = SampleAndDecode(stages, image, work, cand, geo);
    if ((s == kDmStatusNoBlock || s == kDmStatusSomeBlocks) && geo->layoutClass == kDmLayoutSquare1) {
        // One module fewer per region side after -10, one more after 30 (the counts are the
        // data counts again after the strip).
        const i32 grow = s == kDmStatusNoBlock ? 1 : 3;
        geo->moduleRows += grow;
        geo->moduleCols += grow;
        s = SampleAndDecode(stages, image, work, cand, geo);
    }
    return s;
}

// ---------------------------------------------------------------------------------------
// Options, status, image

void DM_ReadOptions() {
    const u32 w = ConfigWord();
    g_dmOptions.limitLayouts = Bit(w, kFlagDmLimitLayouts);
    g_dmOptions.segmentFinderOption = Bit(w, kFlagDmSegmentFinderOption);
    g_dmOptions.acceptLeadingPad = Bit(w, kFlagDmAcceptLeadingPad);
    g_dmOptions.squareOnly = Bit(w, kFlagDmSquareOnly);
    g_dmOptions.codewordDump = Bit(w, kFlagDmCodewordDump);
}

void DM_KeepBestStatus(i32 status) {
    const i32 b = g_dmBestStatus;
    if (status == kDmStatusStart) {
        g_dmBestStatus = kDmStatusStart;
    } else if ((status >= 0 && (b < 0 || status < b)) || (status < 0 && b < 0 && status > b)) {
        g_dmBestStatus = status;
    }
}

i32 DM_GetBestStatus() { return g_dmBestStatus; }

void DM_SetImage(u8 *pixels, i32 width, i32 height) {
    g_dmImage.pixels = pixels;
    g_dmImage.width = width;
    g_dmImage.height = height;
}

i32 DM_GetConfigBit12() { return g_dmOptions.limitLayouts; }

// ---------------------------------------------------------------------------------------
// Candidates

i32 DM_FetchLCandidates(const DM_STAGES *stages, DM_CANDIDATE *out, i32 max) {
    if (stages == nullptr || stages->getDM == nullptr || out == nullptr) return 0;
    i32 n = 0;
    DM_L_CANDIDATE l{};
    while (n < max && stages->getDM(&l) != 0) {
        DM_CANDIDATE &c = out[n++];
        c = DM_CANDIDATE{};
        c.valid = 1;
        c.darkOnLight = l.darkOnLight != 0 ? 1 : 0;
        c.corner = GEO_POINT{l.cornerX >> 4, l.cornerY >> 4};
        const GEO_POINT end1{l.end1X >> 4, l.end1Y >> 4};
        const GEO_POINT end2{l.end2X >> 4, l.end2Y >> 4};
        // A light-on-dark L turns the other way: its first arm is the bottom side.
        c.armEnd1 = c.darkOnLight == 1 ? end1 : end2;
        c.armEnd2 = c.darkOnLight == 1 ? end2 : end1;
    }
    return n;
}

GEO_POINT DM_CandidateCentre(const GEO_POINT &armEnd1, const GEO_POINT &corner, const GEO_POINT &armEnd2,
                             const GEO_POINT &fourthCorner) {
    // The mean stands when the diagonals are parallel (a degenerate L) and the crossing
    // writes nothing.
    GEO_POINT centre{static_cast<i32>((static_cast<i64>(armEnd1.x) + corner.x + armEnd2.x + fourthCorner.x) / 4),
                     static_cast<i32>((static_cast<i64>(armEnd1.y) + corner.y + armEnd2.y + fourthCorner.y) / 4)};
    Geo_IntersectSegments(&armEnd1, &armEnd2, &corner, &fourthCorner, &centre);
    return centre;
}

i32 DM_DistanceFromImageCentre(GEO_POINT p) {
    const GEO_POINT c{Pix_GetImageWidth() >> 1, Pix_GetImageHeight() >> 1};
    return IntSqrt(SquaredLength(p, c));
}

i32 DM_PrepareCandidate(DM_PREPARED_CANDIDATE *out, DM_CANDIDATE *cand) {
    if (out == nullptr || cand == nullptr) return 0;
    cand->fourthCorner = Sub(Add(cand->armEnd1, cand->armEnd2), cand->corner);
    DM_PrepareCandidatesCopy(out, cand, 1);
    return out->valid == 1 ? 1 : out->longerArm;
}

i32 DM_PrepareCandidates(DM_PREPARED_CANDIDATE *out, DM_CANDIDATE *cands, i32 n) {
    if (out == nullptr || cands == nullptr) return 0;
    i32 valid = 0;
    for (i32 i = 0; i < n; ++i) valid += DM_PrepareCandidate(&out[i], &cands[i]) == 1 ? 1 : 0;
    return valid;
}

i32 DM_PrepareCandidatesCopy(DM_PREPARED_CANDIDATE *out, const DM_CANDIDATE *cands, i32 n) {
    if (out == nullptr || cands == nullptr) return 0;
    i32 valid = 0;
    for (i32 i = 0; i < n; ++i) {
        const DM_CANDIDATE &c = cands[i];
        DM_PREPARED_CANDIDATE &p = out[i];
        p.darkOnLight = c.darkOnLight;
        p.corner = c.corner;
        p.armEnd1 = c.armEnd1;
        p.armEnd2 = c.armEnd2;
        p.fourthCorner = c.fourthCorner;
        p.arm1Length = Distance(c.armEnd1, c.corner);
        p.arm2Length = Distance(c.armEnd2, c.corner);
        p.longerArm = p.arm1Length > p.arm2Length ? p.arm1Length : p.arm2Length;
        p.contrastHint = static_cast<u8>(c.contrastHint & 0xFF);
        // One-sided: a short first arm stays valid (such candidates become rectangles).
        p.valid = 5 * static_cast<i64>(p.arm2Length) < 3 * static_cast<i64>(p.arm1Length) ? 0 : 1;
        valid += p.valid;
    }
    return valid;
}

i32 DM_RankCandidates(DM_CANDIDATE *cands, i32 n, DM_PREPARED_CANDIDATE *out) {
    if (cands == nullptr || out == nullptr || n < 1) return 0;
    if (n > kDmMaxFetched) n = kDmMaxFetched;
    i64 score[kDmMaxFetched] = {};
    bool eligible[kDmMaxFetched] = {};
    if (n == 1) {
        eligible[0] = true;
    } else {
        for (i32 i = 0; i < n; ++i) {
            DM_CANDIDATE &c = cands[i];
            if (c.valid == 0) continue;
            c.fourthCorner = Sub(Add(c.armEnd1, c.armEnd2), c.corner);
            const GEO_POINT centre = DM_CandidateCentre(c.armEnd1, c.corner, c.armEnd2, c.fourthCorner);
            score[i] = 2 * static_cast<i64>(DM_DistanceFromImageCentre(centre)) + DM_DistanceFromImageCentre(c.armEnd1) +
                       DM_DistanceFromImageCentre(c.corner) + DM_DistanceFromImageCentre(c.armEnd2);
            eligible[i] = true;
        }
    }
    i32 written = 0;
    for (i32 round = 0; round < n && written < kDmMaxRanked; ++round) {
        i32 best = -1;
        for (i32 i = 0; i < n; ++i) {
            if (eligible[i] && (best < 0 || score[i] < score[best])) best = i;
        }
        if (best < 0) break;
        eligible[best] = false;
        DM_PrepareCandidate(&out[written], &cands[best]);
        if (out[written].valid == 1) ++written;
    }
    return written;
}

i32 DM_CosineTimes1000(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *r) {
    if (p == nullptr || q == nullptr || r == nullptr) return 0;
    const i64 s = SquaredLength(*q, *r);
    const i64 t = SquaredLength(*q, *p);
    const i64 u = SquaredLength(*p, *r);
    // Products in 64 bits: points a thousand pixels apart overflow 32.
    const i64 product = static_cast<i64>(IntSqrt(u)) * 2 * IntSqrt(t);
    if (product <= 0) return 0;
    return static_cast<i32>((t + u - s) * 1000 / product);
}

// ---------------------------------------------------------------------------------------
// Pattern lines and the result store

void DM_StripPatternModules(const u8 *bits, DM_GEOMETRY *geo) {
    if (bits == nullptr || geo == nullptr || geo->modules == nullptr) return;
    const i32 p = geo->moduleRows;
    const i32 q = geo->moduleCols;
    if (p < 3 || q < 3 || geo->regionRows < 1 || geo->regionCols < 1) return;
    const i64 inRows = static_cast<i64>(geo->regionRows) * p;
    const i64 inCols = static_cast<i64>(geo->regionCols) * q;
    if (inRows * inCols > kDmMatrixAreaBytes) return;
    const i32 outRows = geo->regionRows * (p - 2);
    const i32 outCols = geo->regionCols * (q - 2);
    u8 *out = geo->modules;
    for (i32 i = 0; i < outRows; ++i) {
        const i32 row = i + 2 * (i / (p - 2)) + 1;
        const u8 *in = bits + static_cast<i64>(row) * inCols;
        for (i32 k = 0; k < outCols; ++k) out[i * outCols + k] = in[k + 2 * (k / (q - 2)) + 1];
    }
    geo->moduleRows = p - 2;
    geo->moduleCols = q - 2;
}

void DM_StoreResult() {
    RESULT_STORE &rs = g_params.resultStore;
    if (rs.storedCount < 0 || rs.storedCount > 1) return;
    const i32 slot = rs.storedCount;
    const i32 n = g_dmResult.length < 0 ? 0 : (g_dmResult.length > kDmTextLimit ? kDmTextLimit : g_dmResult.length);
    rs.storedLength[slot] = n;
    rs.storedQuad[slot] = g_dmResult.corners;
    std::memcpy(slot == 0 ? rs.storedData0 : rs.storedData1, g_dmResult.text, static_cast<size_t>(n));
    ++rs.storedCount;
}

// ---------------------------------------------------------------------------------------
// Accessors

const u8 *DM_GetResultText() {
    if (g_dmResult.length <= 0 || g_dmResult.length > kDmTextLimit) return nullptr;
    g_dmResult.text[g_dmResult.length] = 0;
    return g_dmResult.text;
}

int DM_GetResultLength() { return g_dmResult.length; }

void DM_GetCorners(REGION_QUAD *out) {
    if (out != nullptr) *out = g_dmResult.corners;
}

int DM_HasSa() { return g_dmSaInfo.saPresent; }
int DM_GetSaPosition() { return g_dmSaInfo.saPosition; }
int DM_GetSaTotal() { return g_dmSaInfo.saTotal; }
int DM_GetSaFileId(int i) { return i == 0 || i == 1 ? g_dmSaInfo.saFileId[i] : 0; }

// ---------------------------------------------------------------------------------------
// Routines no decode path calls

void DM_SetOptionsFromWord(u32 word) {
    g_dmOptions.limitLayouts = Bit(word, 1u << 2);
    g_dmOptions.segmentFinderOption = Bit(word, 1u << 1);
    g_dmOptions.multiSymbol = static_cast<i32>((word >> 3) & 3u);
    g_dmOptions.acceptLeadingPad = Bit(word, 1u << 0);
    g_dmOptions.squareOnly = Bit(word, 1u << 7);
    g_dmOptions.codewordDump = Bit(word, 1u << 8);
    const u32 spare = (word >> 16) & 3u;
    g_dmOptions.spareOption1 = spare == 0 ? 0 : 1;
    g_dmOptions.spareOption2 = spare == 1 ? 0 : 1;
}

void DM_ResetModuleState() {
    g_dmResult.length = 0;
    DM_ClearSaInfo();
    g_dmData.mirrorFirst = 0;
    DM_SetOptionsFromWord(0);
    const u32 w = ConfigWord();
    DM_ReadOptions();
    const u32 mode = w & kReadModeMask;
    const bool bit4 = (w & kFlag2DCountOption) != 0;
    if (mode == 1 && bit4) g_dmOptions.multiSymbol = 0;
    if (mode == kReadModeMulti) g_dmOptions.multiSymbol = bit4 ? 1 : 2;
    g_dmOptions.spareOption2 = Bit(w, kFlag2DDarkOnLight);
    g_dmOptions.spareOption1 = Bit(w, kFlag2DLightOnDark);
}

i32 DM_PassThrough(i32 value) { return value; }

void DM_ClearSaInfo() { g_dmSaInfo = DM_SA_INFO{}; }

u8 *DM_WorkBuffer() { return Pix_WorkMemory(kDmWorkBufferBytes); }

}  // namespace vexo
