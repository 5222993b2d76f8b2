#include "core/test_hooks.h"

#include "aztec_maxicode/test_hooks_azt.h"
#include "core/adapters.h"
#include "core/adapters_records.h"
#include "core/api.h"
#include "core/arena.h"
#include "core/frame_margins.h"
#include "core/entry_points.h"
#include "core/join.h"
#include "core/modules.h"
#include "core/multi_code.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/setup_codes.h"
#include "core/state.h"
#include "linear/test_hooks_linear.h"
#include "datamatrix/test_hooks_dm.h"
#include "hanxin/test_hooks_cscn.h"
#include "locate/bar_follow.h"
#include "locate/box_list.h"
#include "locate/finder.h"
#include "locate/projection.h"
#include "locate/region_select.h"
#include "locate/row_thresholds.h"
#include "locate/block_blobs.h"
#include "locate/spacing_regions.h"
#include "pdf417/test_hooks_pdf417.h"
#include "qr/test_hooks_qr.h"
#include "qr/test_hooks_qr_finder.h"
#include "toolkit/reed_solomon.h"

namespace vexo {

void Test_ResetDecoderStatics() {
    g_state = DECODER_STATE{};
    g_params = DECODE_PARAMS{};
    g_apiResult = API_RESULT{};
    g_boxList = BOX_LIST{};
    g_arena.base = nullptr;
    g_arena.used = 0;
    g_arena.count = 0;
    g_arena.freeBytes = 0;
    g_image = IMAGE_DESC{};
    Pix_InstallFrame(nullptr, 0, 0);
    g_frame.data = nullptr;
    g_rsField.selectedLog = nullptr;
    g_rsField.selectedAntilog = nullptr;
    g_rsField.code = -1;
    g_rsField.built = 0;
    g_frameMargins = FRAME_MARGINS{};
    g_candidateStore = CANDIDATE_STORE{};
    for (ROI_BOX &b : g_roiTable) b = ROI_BOX{};
    Test_RestoreModules();
    Dec_ClearCallbacks();
    Dec_ClearStatusWords();
    Dec_ResetMultiResultList();
    for (JOINED_BOX &b : g_joinedBoxes) b = JOINED_BOX{};
    Dec_SetJoinedCount(0);
    g_finderState = FINDER_STATE{};
    g_finderState.lockedId = kFinderNoneLocked;
    g_qrFinderQueue = QR_FINDER_QUEUE{};
    g_edgeThresholds = kDefaultEdgeThresholds;
    g_projState = PROJ_STATE{};
    g_rowScanOrder = ROW_SCAN_ORDER{};
    g_barResults = BAR_RESULTS{};
    g_barContrastRatio = kBarContrastRatioAtLoad;
    g_cellGrid = CELL_GRID{};
    for (SPACING_REGION &r : g_spacingRegions) r = SPACING_REGION{};
    for (i16 &k : g_spacingOrder) k = 0;
    g_blockGrid = BLOCK_GRID{};
    g_blockBoxes = BLOCK_BOX_TABLE{};
    Test_ResetQrDataStatics();
    Test_ResetQrModuleStatics();
    Test_ResetLinearStatics();
    Test_ResetPdfStatics();
    Test_ResetDmStatics();
    Test_ResetAztStatics();
    Test_ResetCscnStatics();
    g_setupContext = SETUP_CONTEXT{};
    Join_Init(nullptr, 0);
    g_entryState = ENTRY_STATE{};
}

void Test_InstallMatrixModule(int index, const SYM_MODULE *record) {
    if (index < 0 || index >= kMatrixModules) return;
    g_modules.matrix[index] = record != nullptr ? *record : kEmptyModule;
}

void Test_InstallStackedModule(int index, const SYM_MODULE *record) {
    if (index < 0 || index >= kStackedModules) return;
    g_modules.stacked[index] = record != nullptr ? *record : kEmptyModule;
}

void Test_InstallExternalModule(const EXT_MODULE *record) {
    g_modules.external = record != nullptr ? *record : kEmptyExtModule;
}

void Test_InstallOcrModule(const SYM_MODULE *record) { g_modules.ocr = record != nullptr ? *record : kEmptyModule; }

void Test_RestoreModules() {
    g_modules = kDefaultModules;
    for (i32 &s : g_adapterStatus) s = kStatusNothing;
    Sym_ResetReportedWords();
}

}  // namespace vexo
