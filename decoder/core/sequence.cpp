#include "core/sequence.h"

#include "core/adapters.h"
#include "core/api.h"
#include "core/arena.h"
#include "core/frame_margins.h"
#include "core/modules.h"
#include "core/multi_code.h"
#include "core/pixel.h"
#include "core/state.h"
#include "locate/box_list.h"
#include "locate/finder.h"
#include "locate/projection.h"
#include "locate/region_select.h"
#include "locate/region_table.h"
#include "pdf417/pdf417_services.h"

namespace vexo {

namespace {

constexpr int kProjectionQuads = 40;
constexpr u32 kLinkageColumns = 5;
constexpr u32 kLinkageRows = 2;  // added to the column flags: 7
constexpr u32 kLinkageMask = 7;
constexpr u32 kStageWordFastPdf = 2;
constexpr u32 kStageWordPdfWalk = 16;
constexpr u32 kStageWordRegionWalk = 32;
constexpr i32 kPdfBoxGrowX = 60;
constexpr i32 kPdfBoxGrowY = 16;
constexpr i32 kPdfHitMargin = 100;
constexpr i8 kPdfCandidateCode = 2;
constexpr u8 kTagHorizontal = 1;
constexpr u8 kTagVertical = 2;

// Boxes left in the ROI table by the last region selection.
int g_selectedBoxes;

i32 ClampInside(i32 v, i32 size) {
    if (v <= 3) return 4;
    if (v >= size - 3) return size - 4;
    return v;
}

// Smoothing of every second frame, into the working image and back. Frames larger than
// the working image are left alone.
void SmoothAlternateFrames() {
    if (g_state.smoothing == 0) return;
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    if ((g_state.frameCounter & 1) != 0 && w > 0 && h > 0 && static_cast<i64>(w) * h <= kInternalImageBytes) {
        Dec_SmoothImage(g_image.data, g_image.buffer2, w, h);
    }
    ++g_state.frameCounter;
}

// Runs the linear module on each proposal quad in turn.
int TryLinearOnQuads(REGION_QUAD *quads, int n) {
    if (n > kProjectionQuads) n = kProjectionQuads;
    for (int i = 0; i < n; ++i) {
        Loc_LoadRegions(&quads[i], 1);
        if (Dec_TryLinearModule(g_state.linearLinkage) == 1) return 1;
    }
    return 0;
}

// Edge thresholds estimated on the region's midline, then the 2D finders over it: 1 when
// the region is crossed by bars.
int RunFinders(REGION_QUAD *aligned, REGION_QUAD *raw) {
    u32 minStep = kDefaultEdgeThresholds.minStep;
    const int ratio = Loc_QuadMidlineThresholds(aligned, &minStep);
    g_edgeThresholds.ratio = static_cast<u16>(ratio);
    g_edgeThresholds.minStep = minStep;
    Loc_ResetFinders(aligned, raw);
    return Loc_RunFinders(aligned);
}

// The matrix modules over one region; 1 when a result was taken.
int DecodeRegion(REGION_QUAD *listB, int i) {
    g_state.stageRegionOriginal = listB[i];
    if (Dec_WalkMatrixModules() == 0) return 0;
    REGION_QUAD quad{};
    if (Dec_GetModulePosition(g_state.matrixIndex, &quad) == 0) return 0;
    Dec_RecordDecodedQuad(&quad);
    if (Dec_GateMultiResult(&quad) == 0) return 0;
    if (Dec_TakePendingResult() == 1) return 1;
    return Dec_TakeJoinedResult(0) != 0 ? 1 : 0;
}

// The stages in order; the first success ends the sequence.
int RunStages(REGION_QUAD *listA, REGION_QUAD *listB) {
    const u32 enable = g_state.stageEnable;
    g_state.decodeSource = kSourceNone;
    if ((enable & kStageLinear) != 0 && Dec_RunLinearStage() == 1) return 1;
    g_state.decodeSource = kSourceNone;
    const int n = Dec_SelectRegions(listA);
    g_state.decodeSource = kSourceNone;
    if ((enable & kStageFastPdf) != 0 && Dec_RunFastPdfStage() == 1) return 1;
    g_state.decodeSource = kSourceNone;
    Dec_PrepareRegions(listA, n);
    g_state.decodeSource = kSourceNone;
    if ((enable & kStageRegion) != 0 && Dec_RunRegionStage(listA, listB, n) == 1) return 1;
    g_state.decodeSource = kSourceNone;
    if ((enable & kStagePdfWalk) != 0) {
        Dec_SelectPdfWalk();
        if (Dec_WalkStackedModules() == 1) return 1;
    }
    g_state.decodeSource = kSourceNone;
    if ((enable & kStageRegionWalk) != 0) {
        Dec_SelectRegionWalk();
        const i32 located = g_state.locatedCount < kMaxRegions ? g_state.locatedCount : kMaxRegions;
        g_state.walkRegionCount = located > 0 ? located : 0;
        if (located > 0) {
            for (int i = 0; i < located; ++i) g_state.walkRegions[i] = g_state.locatedRegions[i];
            if (Dec_WalkStackedModules() == 1) return 1;
        }
    }
    g_state.decodeSource = kSourceNone;
    if (Dec_RunExternalDecoder(g_state.extensionArgs) == 1) return 1;
    g_state.decodeSource = kSourceNone;
    return (enable & kStageOcrPostal) != 0 && Dec_RunOcrPostal() == 1 ? 1 : 0;
}

}  // namespace

void Dec_ResetContext() {
    g_state.decoded = 0;
    g_state.image = IMAGE_RECORD{};
    for (int i = 0; i < 3; ++i) g_state.extensionArgs[i] = nullptr;
    Pix_SetImagePointer(nullptr);
    Pix_SetSecondBuffer(nullptr);
    Pix_SetImageSize(0, 0);
    g_state.initialised = 1;
    g_boxList = BOX_LIST{};
    g_boxList.capacity = 2;
    g_state.imageCopyFlags = 0;
    g_state.imageCopyDest = nullptr;
}

void Dec_EnableAllStages() { g_state.stageEnable = kAllStages; }

void Dec_ResetPerDecode() {
    g_state.stageWord = 0;
    g_state.stageWordAux = 0;
    g_candidateStore = CANDIDATE_STORE{};
    for (PDF_CANDIDATE_BOX &b : g_state.pdfCandidateBoxes) b = PDF_CANDIDATE_BOX{};
    for (u8 &t : g_state.pdfCandidateTags) t = 0;
    g_state.locatedCount = 0;
    g_state.pdfCandidateCount = 0;
    g_state.walkRegionCount = 0;
    for (REGION_QUAD &q : g_state.walkRegions) q = REGION_QUAD{};
    g_selectedBoxes = 0;
}

u32 Dec_DecodeImage() {
    REGION_QUAD listA[kRegionListSize] = {};
    REGION_QUAD listB[kRegionListSize] = {};
    Mem_ResetArena();
    Dec_ResetMultiResultList();
    Dec_ClearStatusWords();
    Dec_EnableAllStages();
    Dec_SetJoinedCount(0);
    Dec_ClearModuleWords();
    Dec_ResetPerDecode();
    Dec_ComputeFrameMargins();
    Dec_ResetResultStore();
    SmoothAlternateFrames();
    if (g_state.roiExplicit == 0) Dec_ComputeRoiBox();
    for (u8 &b : g_state.decodeRecord) b = 0;
    g_state.decodeRecordWord = 0;
    g_state.decodeRecordQuad = REGION_QUAD{};
    if (g_state.initialised == 0) Dec_ResetContext();
    Dec_ResetModulesForImage();
    g_state.decoded = 0;
    g_state.decodedModuleId = 0;
    if (RunStages(listA, listB) == 1) g_state.decoded = 1;
    const int length = Dec_GetDecodedLength();
    const u8 *data = Dec_GetDecodedData();
    if (g_state.decoded != 1 || data == nullptr || length <= 0) {
        // A stage that claimed success without text reports nothing: no getter may show
        // this image (or the previous one) as decoded.
        g_state.decoded = 0;
        g_state.decodeSource = kSourceNone;
        return 0;
    }
    Dec_AfterLinearDecode();
    Dec_FillModuleResult(&g_state.moduleResult);
    g_state.moduleResult.length = static_cast<u16>(length);
    return 1;
}

void Dec_AfterLinearDecode() { Sym_Composite1DPostDecode(); }

int Dec_RunLinearStage() {
    if (Loc_ProjectionThresholds() == 0) return 0;
    REGION_QUAD quads[kProjectionQuads];
    int n = Loc_ColumnProjectionQuads(quads, kProjectionQuads);
    g_state.linearLinkage |= kLinkageColumns;
    int result = TryLinearOnQuads(quads, n);
    if (result == 0) {
        n = Loc_RowProjectionQuads(quads, kProjectionQuads);
        g_state.linearLinkage |= kLinkageRows;
        result = TryLinearOnQuads(quads, n);
    }
    g_state.linearLinkage &= ~kLinkageMask;
    Dec_SetLinearLinkage(g_state.linearLinkage);
    return result;
}

int Dec_SelectRegions(REGION_QUAD *listA) {
    const int n = Loc_SelectRegions(listA);
    g_selectedBoxes = n < 0 ? 0 : (n > kRoiTableSize ? kRoiTableSize : n);
    return n;
}

void Dec_AddPdfCandidate(const PDF_PATTERN_HIT *hit, int k) {
    if (hit == nullptr || k < 0 || k >= kMaxRegions) return;
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    const i32 m = kPdfHitMargin;
    REGION_QUAD q{{{hit->topLeft.x - m, hit->topLeft.y - m},
                   {hit->topRight.x + m, hit->topRight.y - m},
                   {hit->bottomLeft.x - m, hit->bottomLeft.y + m},
                   {hit->bottomRight.x + m, hit->bottomRight.y + m}}};
    PDF_CANDIDATE_BOX box{};
    for (int j = 0; j < 4; ++j) {
        POINT_I32 &c = q.c[j];
        c.x = ClampInside(c.x, w);
        c.y = ClampInside(c.y, h);
        box.top = j == 0 || c.y < box.top ? c.y : box.top;
        box.left = j == 0 || c.x < box.left ? c.x : box.left;
        box.right = j == 0 || c.x > box.right ? c.x : box.right;
        box.bottom = j == 0 || c.y > box.bottom ? c.y : box.bottom;
    }
    g_state.pdfCandidateBoxes[k] = box;
    g_state.pdfCandidateTags[k] = hit->horizontal != 0 ? kTagHorizontal : kTagVertical;
    const i8 tag = static_cast<i8>(g_state.pdfCandidateTags[k]);
    Dec_StoreCandidateBoxes(&q, 1, &tag, kPdfCandidateCode);
}

int Dec_RunFastPdfStage() {
    g_state.stageWord = kStageWordFastPdf;
    REGION_QUAD quads[kRoiTableSize];
    const int n = g_selectedBoxes;
    Dec_ExpandCandidateBoxes(g_roiTable, n, quads, kPdfBoxGrowX, kPdfBoxGrowY);
    int k = 0;
    for (int i = 0; i < n && k < kMaxRegions; ++i) {
        PDF_PATTERN_HIT hit{};
        if (Loc_SearchPdfInQuad(&quads[i], &hit) != 1) continue;
        Dec_AddPdfCandidate(&hit, k);
        ++k;
    }
    g_state.pdfCandidateCount = k;
    if (k == 0) return 0;
    return Dec_TryPdfModule();
}

void Dec_PrepareRegions(REGION_QUAD *listA, int count) { Loc_LoadRegions(listA, count); }

REGION_QUAD Dec_AlignRegionTop(const REGION_QUAD &q) {
    REGION_QUAD a = q;
    const i32 y0 = q.c[kTopLeft].y;
    const i32 y = y0 + 4 - (y0 % 4);
    a.c[kTopLeft].y = y;
    a.c[kTopRight].y = y;
    return a;
}

int Dec_RunRegionStage(REGION_QUAD *listA, REGION_QUAD *listB, int count) {
    Dec_ResetMultiResultList();
    Dec_ResetDecodedQuads();
    Dec_ClearResultStore();
    if (listA == nullptr || listB == nullptr) count = 0;
    if (count > kRegionListSize) count = kRegionListSize;
    for (int i = 0; i < count; ++i) {
        REGION_QUAD raw = listA[i];
        g_state.stageRegionRaw = raw;
        REGION_QUAD aligned = Dec_AlignRegionTop(raw);
        Dec_TrimRegionByDecoded(&aligned);
        g_state.stageRegionAligned = aligned;
        if (RunFinders(&aligned, &raw) == 1) {
            g_state.regionClass[i] = kRegionClassBars;
            continue;
        }
        if (DecodeRegion(listB, i) == 1) return 1;
    }
    return Dec_TakeJoinedResult(1) == 1 ? 1 : 0;
}

void Dec_SelectPdfWalk() {
    g_state.walkCount = 1;
    g_state.walkIds[0] = static_cast<u8>(kModulePdf417);
    g_state.stageWord = kStageWordPdfWalk;
}

void Dec_SelectRegionWalk() {
    g_state.walkCount = 4;
    g_state.walkIds[0] = 5;
    g_state.walkIds[1] = 1;
    g_state.walkIds[2] = 15;
    g_state.walkIds[3] = 9;
    g_state.stageWord = kStageWordRegionWalk;
}

int Dec_RunExternalDecoder(void *args) {
    if (g_modules.external.decode == nullptr || g_modules.external.decode(args) != 1) return 0;
    g_state.decodeSource = kSourceExternal;
    return 1;
}

int Dec_RunOcrPostal() {
    if (g_modules.ocr.decode == nullptr || g_modules.ocr.decode() != 1) return 0;
    g_state.ocrSuccess = 1;
    g_state.ocrIndex = 0;
    g_state.decodeSource = kSourceOcrPostal;
    return 1;
}

}  // namespace vexo
