// QR symbol decode: candidate set-up, path choice and the sampling driver.
#include "qr/qr_symbol.h"

#include <cstring>

#include "core/arena.h"
#include "core/state.h"
#include "qr/qr_codewords.h"
#include "qr/qr_driver.h"
#include "qr/qr_segments.h"
#include "qr/qr_symbol_stages.h"
#include "toolkit/geometry_points.h"
#include "toolkit/quad.h"

namespace vexo {

QR_GEOM_WORK g_qrGeomWork;
QR_WORK_AREAS g_qrWorkAreas;
QR_FINDER_SUMMARY g_qrSummaries[3];
i32 g_qrPolarity;

namespace {

// Finder-local reference points (1/11 module): ring corners at 0 and 6 modules, centre at 3.
static constexpr GEO_POINT kFinderReference[5] = {{0, 66}, {0, 0}, {66, 0}, {66, 66}, {33, 33}};
static_assert(sizeof(kFinderReference) / sizeof(kFinderReference[0]) == 5);

// Corner orders of a pattern's image points: which ring corner goes to each point.
static constexpr i32 kFromR4[4] = {3, 0, 1, 2};  // r4, r1, r2, r3
static constexpr i32 kFromR3[4] = {2, 3, 0, 1};  // r3, r4, r1, r2

constexpr i32 kMaxRefitDimension = 49;
constexpr i32 kRefitBlock = 177 * 177;

// A pattern's four ring corners in the given order and its centre, shifted right.
void PatternPoints(const QR_FINDER_PATTERN &p, const i32 order[4], i32 shift, GEO_POINT out[5]) {
    for (int k = 0; k < 4; ++k) {
        const GEO_POINT &c = p.corners[order[k]];
        out[k] = {c.x >> shift, c.y >> shift};
    }
    out[4] = {p.centreX >> shift, p.centreY >> shift};
}

void FillWorkPoints(const QR_FINDER_PATTERN *patterns, int n, i32 type, QR_GEOMETRY *g) {
    static constexpr i32 kInOrder[4] = {0, 1, 2, 3};
    QR_GEOM_WORK &w = g_qrGeomWork;
    for (auto &slot : w.modulePoints) {
        for (int k = 0; k < 5; ++k) slot[k] = kFinderReference[k];
    }
    const QR_FINDER_PATTERN &p0 = patterns[0];
    const QR_FINDER_PATTERN &p1 = patterns[n > 1 ? 1 : 0];
    const QR_FINDER_PATTERN &p2 = patterns[n > 2 ? 2 : 0];
    i32 arrangement = kQrArrangeOne;
    if (type == kQrCandidateThree) {
        arrangement = kQrArrangeThree;
        PatternPoints(p1, kFromR4, 2, w.imagePoints[0]);
        PatternPoints(p0, kFromR3, 2, w.imagePoints[1]);
        PatternPoints(p2, kFromR4, 2, w.imagePoints[2]);
    } else if (type == kQrCandidateSide) {
        arrangement = kQrArrangeSidePair;
        PatternPoints(p1, kFromR4, 2, w.imagePoints[0]);
        PatternPoints(p0, kFromR3, 2, w.imagePoints[1]);
    } else if (type == kQrCandidateDiagonal) {
        arrangement = kQrArrangeDiagonal;
        PatternPoints(p1, kFromR3, 2, w.imagePoints[0]);
        PatternPoints(p0, kFromR3, 2, w.imagePoints[1]);
    }
    w.arrangement = arrangement;
    g->arrangement = arrangement;
    if (n == 1) {
        PatternPoints(p0, kInOrder, 4, g->imagePoints[0]);
        PatternPoints(p0, kFromR4, 2, w.imagePoints[0]);
    } else if (n == 2) {
        PatternPoints(p1, kInOrder, 4, g->imagePoints[0]);
        PatternPoints(p0, kInOrder, 4, g->imagePoints[1]);
    } else if (n >= 3) {
        PatternPoints(p1, kInOrder, 4, g->imagePoints[0]);
        PatternPoints(p0, kInOrder, 4, g->imagePoints[1]);
        PatternPoints(p2, kInOrder, 4, g->imagePoints[2]);
    }
}

// Summaries of the candidate's patterns into the descriptor's slots and the static ones:
// for three patterns the corner pattern comes first.
void FillSummaries(const QR_FINDER_PATTERN *patterns, int n, QR_SUMMARY_SET *desc, QR_GEOMETRY *g) {
    static constexpr int kOrder3[3] = {1, 0, 2};
    for (int k = 0; k < n && k < 3; ++k) {
        const QR_FINDER_SUMMARY summary = QR_SummarisePattern(patterns[n >= 3 ? kOrder3[k] : k]);
        if (desc->slot[k] != nullptr) *desc->slot[k] = summary;
        g_qrSummaries[k] = summary;
        g->finder[k] = summary;
    }
}

// How many pattern centres lie in the region being walked.
int PatternsInRegion(const QR_FINDER_PATTERN *patterns, int n) {
    int inside = 0;
    for (int k = 0; k < n; ++k) {
        const GEO_POINT c{patterns[k].centreX >> 4, patterns[k].centreY >> 4};
        if (Geo_PointInQuad(&c, &g_state.stageRegionAligned) != 0) ++inside;
    }
    return inside;
}

void ResetCandidate() {
    g_qrResult.saInfo = QR_SA_INFO{};
    g_qrResult.bestStatus = kQrStatusStart;
    g_qrResult.samplings = 0;
    g_qrResult.readBy = 0;
    g_qrResult.alignListed = 0;
    g_qrResult.alignFound = 0;
    g_qrData.length = 0;
    QR_SetWorkBuffers();
}

// The Micro QR path on the static summaries from `first` on (count of them). 1 decoded.
int TryMicroQr(int first, int count) {
    for (int k = first; k < first + count; ++k) {
        if (MQR_DecodeSymbol(&g_qrSummaries[k]) == 1) return 1;
    }
    return 0;
}

// Path choice of steps 9 and 10: a QrSymbolCode.
int DecodeCandidate(const QR_FINDER_PATTERN *patterns, int n, i32 type, QR_FINDER_SUMMARY local[3],
                    QR_GEOMETRY *g) {
    const QR_RESULT &r = g_qrResult;
    if (n == 1 && r.microQrEnabled != 0) {
        g_qrSummaries[0] = local[0];
        if (TryMicroQr(0, 1) != 0) return kQrMicroDecoded;
    }
    if (n >= 2) {
        const i32 setup = QR_SetupGeometry(local, n, g);
        if (setup != 0 && n == 2 && r.microQrEnabled != 0) {
            g_qrSummaries[0] = local[0];
            if (TryMicroQr(0, 2) != 0) return kQrMicroDecoded;
        }
        if (setup == 0 && r.qrEnabled != 0 && QR_SampleAndDecode(g) == 0) return kQrSymbolDecoded;
    }
    if (n <= 1) return kQrCandidateFailed;
    // The fallback reads QR Code only: with QR Code off it must not answer for Micro QR.
    if (r.qrEnabled != 0 && g_qrSymbol.dimension <= kMaxRefitDimension && QR_RefitFallback(patterns, type) == 0)
        return kQrSymbolDecoded;
    return kQrCandidateFailed;
}

void ClearSetupState() {
    QR_GEOM_WORK &w = g_qrGeomWork;
    QR_SYMBOL_STATE &s = g_qrSymbol;
    w.pairModuleSize = 0;
    for (QR_FINDER_SUMMARY &f : w.finder) f.size = 0;
    s.version = 0;
    s.dimension = 0;
    s.alignmentCount = 0;
    s.eciSeen = 0;
    s.fnc1Mode = 0;
    s.model1Format = 0;
    s.model2Format = 0;
    s.moduleSize = 0;
    s.model1 = 1;
    s.model2 = 1;
    w.orientationKnown = 0;
    w.globalValid = 0;
}

// Re-reads the version; adopts it when it lies within two of the estimate. Answers the
// orientation the finder roles are settled with.
i32 SettleVersion(i32 formatOrientation) {
    QR_SYMBOL_STATE &s = g_qrSymbol;
    if (s.version <= 6) return 0;
    i32 orientation = 0;
    i32 version = 0;
    if (QR_ReadVersionInfo(&orientation, &version) != 1) return formatOrientation;
    if (version - s.version > 2 || s.version - version > 2) return formatOrientation;
    if (orientation != formatOrientation) {
        i32 o = orientation;
        QR_ReadFormatInfo(&o, &s.model1Format, &s.model2Format);
        if (s.model1Format == 0) s.model1 = 0;
    }
    const i32 oldDimension = s.dimension;
    s.dimension = QR_DimensionOfVersion(version);
    if (s.dimension > 0) g_qrGeomWork.pairModuleSize = oldDimension * g_qrGeomWork.pairModuleSize / s.dimension;
    QR_VersionFromDimension(s.dimension, &s.version, &s.alignmentCount);
    g_qrGeomWork.orientationKnown = 1;
    return orientation;
}

// The grid for a Model 2 candidate: alignment search, then completion or a whole-symbol fit.
i32 BuildModel2Grid(QR_GRID_NODE grid[kQrMaxGridNodes]) {
    QR_SYMBOL_STATE &s = g_qrSymbol;
    QR_GRID_NODE lists[kQrAlignListNodes] = {};
    i32 counts[4] = {0, 0, 0, 0};
    QR_BuildAlignTemplates();
    QR_InitAlignGrid(grid);
    QR_RankAlignNodes(grid, lists, counts);
    g_qrGeomWork.lastAlignment = {0, 0};
    QR_SearchAlignPatterns(grid, lists, counts);
    i32 listed = 0, found = 0;
    for (int k = 0; k < 4; ++k) {
        const i32 room = (k == 3 ? kQrAlignListNodes : kQrAlignListStart[k + 1]) - kQrAlignListStart[k];
        const i32 n = counts[k] < 0 ? 0 : (counts[k] > room ? room : counts[k]);
        listed += n;
        for (i32 j = 0; j < n; ++j) found += lists[kQrAlignListStart[k] + j].found != 0 ? 1 : 0;
    }
    g_qrResult.alignListed = listed;
    g_qrResult.alignFound = found;
    // A symbol with alignment patterns is no Model 1 symbol.
    if (s.model1 == 1 && found > 0) {
        s.model1 = 0;
        s.model1Format = 0;
    }
    if (QR_CompleteAlignGrid(grid) != 1) {
        QR_FitGlobalTransform(grid);
        if (g_qrGeomWork.globalValid != 1) return kQrStatusNoGrid;
    }
    return 0;
}

MODULE_BITS MatrixRequest() {
    MODULE_BITS r{};
    r.grey = g_qrWorkAreas.greyMatrix;
    r.bits = g_qrWorkAreas.bitMatrix;
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// One candidate

int QR_DecodeOneSymbol(GEO_POINT *centre, int *orientation) {
    QR_GEOMETRY geometry{};
    QR_FINDER_SUMMARY local[3] = {};
    QR_SUMMARY_SET desc{0, {&local[0], &local[1], &local[2]}};
    if (QR_WorkBuffer() == nullptr) return kQrNoCandidate;
    u8 *block = Mem_Alloc(kQrCandidateBlock);
    if (block == nullptr) return kQrNoCandidate;
    QR_FINDER_PATTERN patterns[3] = {};
    i32 type = 0;
    int n = QR_NextSymbolCandidate(patterns, &type);
    if (n <= 0) {
        Mem_Free(block);
        return kQrNoCandidate;
    }
    if (n > 3) n = 3;
    if (PatternsInRegion(patterns, n) == 0 && QR_GetFinderPatternCount() > 0) {
        Mem_Free(block);
        return kQrCandidateFailed;
    }
    g_qrPolarity = patterns[0].inverse == 0 ? 1 : 0;
    GEO_POINT mean{0, 0};
    const int code = QR_GetCandidateOrientation(patterns, n, &mean);
    if (centre != nullptr) *centre = mean;
    if (orientation != nullptr) *orientation = code;
    ResetCandidate();
    QR_FillGeometry(patterns, n, &desc, &geometry, type);
    g_state.lastSymbologyCode = kQrSymbologyCode;
    const int result = DecodeCandidate(patterns, n, type, local, &geometry);
    Mem_Free(block);
    return result;
}

void QR_FillGeometry(const QR_FINDER_PATTERN *patterns, int n, QR_SUMMARY_SET *desc, QR_GEOMETRY *g, i32 type) {
    if (patterns == nullptr || desc == nullptr || g == nullptr || n <= 0) return;
    if (n > 3) n = 3;
    FillWorkPoints(patterns, n, type, g);
    desc->count = n;
    FillSummaries(patterns, n, desc, g);
}

QR_FINDER_SUMMARY QR_SummarisePattern(const QR_FINDER_PATTERN &p) {
    QR_FINDER_SUMMARY s{};
    s.centreX = p.centreX >> 4;
    s.centreY = p.centreY >> 4;
    const f64 side = Geo_Distance(p.corners[0].x >> 4, p.corners[0].y >> 4, p.corners[1].x >> 4, p.corners[1].y >> 4);
    const f64 module = side / 6.0;
    i32 minX = p.corners[0].x, maxX = minX, minY = p.corners[0].y, maxY = minY;
    for (const GEO_POINT &c : p.corners) {
        minX = c.x < minX ? c.x : minX;
        maxX = c.x > maxX ? c.x : maxX;
        minY = c.y < minY ? c.y : minY;
        maxY = c.y > maxY ? c.y : maxY;
    }
    s.size = Num_SatTruncI32(side + module + 0.5);
    s.width = Num_SatTruncI32(static_cast<f64>((maxX - minX) >> 4) + module + 0.5);
    s.height = Num_SatTruncI32(static_cast<f64>((maxY - minY) >> 4) + module + 0.5);
    s.score = 600;
    s.moduleSize = static_cast<f32>(module);
    return s;
}

// ---------------------------------------------------------------------------------------
// Geometry and sampling

i32 QR_SetupGeometry(const QR_FINDER_SUMMARY *summaries, int n, QR_GEOMETRY *g) {
    if (summaries == nullptr || g == nullptr || n < 2) return kQrStatusBadArguments;
    if (n > 3) n = 3;
    ClearSetupState();
    QR_GEOM_WORK &w = g_qrGeomWork;
    QR_SYMBOL_STATE &s = g_qrSymbol;
    int copied = 0;
    for (int k = 0; k < n; ++k) {
        if (summaries[k].size > 0) w.finder[copied++] = summaries[k];
    }
    if (copied < 2) return kQrStatusFewFinders;
    if (QR_EstimateSymbolSize(w.finder, &s) == 0) s.version = -1;
    QR_FitFinderTransforms();
    i32 formatOrientation = 0;
    QR_ReadFormatInfo(&formatOrientation, &s.model1Format, &s.model2Format);
    if (s.model1Format == 0) s.model1 = 0;
    const i32 decided = SettleVersion(formatOrientation);
    if (s.version > 14) {
        s.model1 = 0;
        s.model1Format = 0;
    }
    if (s.version <= 0) return kQrStatusNoVersion;
    QR_SetFinderModulePoints(decided);
    return QR_SaveGeometry(g) != 0 ? 0 : kQrStatusNoMemory;
}

i32 QR_SampleAndDecode(QR_GEOMETRY *g) {
    u8 *saved = Mem_Alloc(kQrSavedMatrixSide * kQrSavedMatrixSide);
    if (saved == nullptr) return kQrStatusNoMemory;
    i32 result = kQrStatusNoMemory;
    QR_GRID_NODE grid[kQrMaxGridNodes] = {};
    QR_SYMBOL_STATE &s = g_qrSymbol;
    if (QR_RestoreGeometry(g) == 0 || g_qrWorkAreas.greyMatrix == nullptr) {
        Mem_Free(saved);
        return result;
    }
    result = s.model2 == 1 ? BuildModel2Grid(grid) : 0;
    if (result == 0 && s.model1 == 1) {
        for (QR_GRID_NODE &node : grid) node = QR_GRID_NODE{};
        if (g_qrGeomWork.globalValid != 1) QR_FitGlobalTransform(grid);
        if (g_qrGeomWork.globalValid != 1) result = kQrStatusNoGrid;
    }
    if (result == 0 && QR_SampleModules(grid, g_qrWorkAreas.greyMatrix) == 0) result = kQrStatusSampling;
    if (result != 0) {
        Mem_Free(saved);
        return result;
    }
    g_qrResult.samplings |= kQrSampledPlain;
    const i32 n = s.dimension;
    const bool keep = n >= kQrMinDimension && n <= kQrSavedMatrixSide && g_qrResult.firstFailureCount <= 0;
    const size_t bytes = keep ? static_cast<size_t>(n) * static_cast<size_t>(n) : 0;
    if (keep) std::memcpy(saved, g_qrWorkAreas.greyMatrix, bytes);
    MODULE_BITS request = MatrixRequest();
    result = QR_DecodeMatrix(&request, 0);
    if (result != 0 && keep) {
        std::memcpy(g_qrWorkAreas.greyMatrix, saved, bytes);
        request = MatrixRequest();
        result = QR_DecodeMatrixEqualised(&request, 1);
    }
    if (result != 0) {
        g_qrResult.firstFailureCount += 1;
        if (s.dimension >= 25 && s.dimension <= 45) {
            QR_ResampleQuadratic(g);
            g_qrResult.samplings |= kQrSampledQuadratic;
            request = MatrixRequest();
            result = QR_DecodeMatrix(&request, 0) == 0 ? 0 : g_qrResult.bestStatus;
            if (result == 0) g_qrResult.readBy = kQrSampledQuadratic;
        } else {
            result = g_qrResult.bestStatus;
        }
    } else {
        g_qrResult.readBy = kQrSampledPlain;
    }
    Mem_Free(saved);
    return result;
}

i32 QR_RefitFallback(const QR_FINDER_PATTERN *patterns, i32 type) {
    u8 *block = Mem_Alloc(kRefitBlock);
    if (block == nullptr) return -1;
    g_qrSymbol.model2 = 1;
    i32 result = -1;
    if (g_qrWorkAreas.greyMatrix != nullptr &&
        QR_RefitGrid(patterns, type, g_qrSymbol.dimension, g_qrWorkAreas.greyMatrix, 1) != 0) {
        g_qrResult.samplings |= kQrSampledRefit;
        MODULE_BITS request = MatrixRequest();
        if (QR_DecodeMatrix(&request, 0) == 0 && g_qrData.length != 0) result = 0;
        if (result == 0) g_qrResult.readBy = kQrSampledRefit;
    }
    Mem_Free(block);
    return result;
}

// ---------------------------------------------------------------------------------------
// Routines no decode path calls

void QR_SetWorkBuffers() {
    u8 *work = QR_WorkBuffer();
    g_qrWorkAreas.greyMatrix = work != nullptr ? work + kQrGreyMatrixOffset : nullptr;
    g_qrWorkAreas.bitMatrix = work != nullptr ? work + kQrBitMatrixOffset : nullptr;
    g_qrGeomWork.sampleBuffer = work;
    g_qrResult.text = g_qrResult.textBuffer;
}

i32 QR_CosineTimes1000(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *r) {
    if (p == nullptr || q == nullptr || r == nullptr) return 0;
    return Num_SatTruncI32(Geo_CosAngleAt(p, q, r) * 1000.0);
}

}  // namespace vexo
