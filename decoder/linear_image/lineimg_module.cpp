// The linear module's driver: clears its state, loads its options, walks its regions,
// turns stored line results into its output and answers the core's questions about it.
#include <cstring>

#include "core/params.h"
#include "linear/line_driver.h"
#include "linear_image/lineimg_module.h"
#include "linear_image/lineimg_services.h"

namespace vexo {

LINEIMG_OUTPUT g_lineImgOutput;
LINEIMG_LINE_STATE g_lineImgState;
LINEIMG_SEGMENT_LINE g_lineImgLines[kLineImgLineRecordCap];
i8 g_lineImgVotes[kLineImgRegionCap];
u32 g_lineImgProfileOn = 1;

namespace {

constexpr u16 kLineRecordTag = 32;
constexpr u32 kScanModeProfile = 1u << 2;

u8 g_runText[kLineImgResultCap][kLineImgTextBytes];
u8 g_runComponent[kLineImgResultCap][kLineImgComponentBytes];
static_assert(sizeof(g_runComponent) == 5420);

// Symbology bit of each internal id (0: not reported).
static constexpr u32 kSymbologyBits[32] = {
    0x2,        0x4,        0x8,        0,          0x200000,   0x10,       0x20,       0x800000,    // 0-7
    0x1000000,  0x40,       0x80,       0x100,      0x400,      0x200,      0,          0,           // 8-15
    0,          0x800,      0x2000000,  0x4000000,  0x2000,     0x8000,     0x20000,    0x10000000,  // 16-23
    0x8000000,  0x20000000, 0x80000000, 0x80000,    0,          0,          0x40000000, 0x1,         // 24-31
};
static_assert(sizeof(kSymbologyBits) / sizeof(kSymbologyBits[0]) == 32);

int RunFallbacks(LINEIMG_RUN *run) {
    if (LineImg_OutputFirstOther(run, g_lineImgOutput.pairedId) == 1) return 1;
    if (LineImg_TryJoinFallback(run) == 1) return 1;
    return LineImg_OutputCouponPart(run);
}

}  // namespace

void LineImg_ClearRun(LINEIMG_RUN *run) {
    for (LINEIMG_SEGMENT_LINE &l : g_lineImgLines) l = LINEIMG_SEGMENT_LINE{0, 0, 0, kLineRecordTag};
    g_lineImgState.segments = g_lineImgLines;
    g_lineImgState.segmentCount = 0;
    for (i8 &v : g_lineImgVotes) v = 0;
    g_lineImgOutput.corners = REGION_QUAD{};
    std::memset(g_runText, 0, sizeof(g_runText));
    std::memset(g_runComponent, 0, sizeof(g_runComponent));
    if (run == nullptr) return;
    *run = LINEIMG_RUN{};
    run->limit = kLineImgResultCap;
    for (i32 r = 0; r < kLineImgResultCap; ++r) {
        run->text[r] = g_runText[r];
        run->componentText[r] = g_runComponent[r];
    }
}

void LineImg_LoadOptions() {
    LINEIMG_OUTPUT &o = g_lineImgOutput;
    o.pairedId = -1;
    o.pairMode = o.pairAll = o.joinItf = 0;
    const u32 w = g_params.optionWord;
    if ((w & kOptionPairSymbols) != 0) {
        o.pairMode = 1;
        if ((w & kOptionPairAll) != 0) o.pairAll = 1;
    }
    if ((w & kOptionJoinItf) != 0) {
        o.pairMode = o.pairAll = o.joinItf = 1;
        o.pairedId = kSymItf;
    }
    const u32 upc = g_params.flagsWord[kSymUpcA];
    o.couponMode = 0;
    if ((upc & kFlagCouponJoinExtension) != 0) o.couponMode = 1;
    if ((upc & kFlagCouponRequireExtension) != 0) o.couponMode = 2;
    o.couponDataBarOnly = (upc & kFlagCouponDataBarOnly) != 0 ? 1 : 0;
}

int LineImg_Run() {
    LINEIMG_RUN run;
    LineImg_ClearRun(&run);
    LineImg_ResetLineState();
    LineImg_ResetRegions();
    LINEIMG_LINE_STATE &st = g_lineImgState;
    LINEIMG_OUTPUT &o = g_lineImgOutput;
    if (LineImg_FindRegions() == 0) return 0;
    const i32 regions = g_lineImgRegions.count;
    while (run.count < run.limit && st.nextRegion < regions) {
        ++st.nextRegion;
        if (LineImg_DecodeRegion(&run) != 1) continue;
        LineImg_MarkCouponParts(&run);
        if (LineImg_TryComponents(&run) == 1 && LineImg_AcceptResult(&run) == 1) return 1;
    }
    if (run.count >= run.limit) st.nextRegion = regions;
    if (RunFallbacks(&run) == 1) return 1;
    o.decoded = 0;
    o.length = 0;
    return 0;
}

int LineImg_Decode() {
    LINEIMG_LINE_STATE &st = g_lineImgState;
    LINEIMG_OUTPUT &o = g_lineImgOutput;
    st = LINEIMG_LINE_STATE{};
    st.regions = &g_lineImgRegions;
    std::memset(o.text, 0, sizeof(o.text));
    o.decoded = 0;
    o.length = 0;
    o.partCount = 0;
    std::memset(o.kinds, 0, sizeof(o.kinds));
    std::memset(o.ids, 0, sizeof(o.ids));
    std::memset(o.lengths, 0, sizeof(o.lengths));
    std::memset(o.aimChars, 0, sizeof(o.aimChars));
    LineImg_LoadOptions();
    if (LineImg_Run() != 1) return 0;
    o.decoded = 1;
    Line_Reset();
    return 1;
}

const u8 *LineImg_GetResultText() {
    const LINEIMG_OUTPUT &o = g_lineImgOutput;
    return o.decoded == 1 && o.length > 0 ? o.text : nullptr;
}

int LineImg_GetResultLength() {
    const LINEIMG_OUTPUT &o = g_lineImgOutput;
    if (o.decoded != 1) return 0;
    return o.length < 0 ? 0 : o.length;
}

void LineImg_WriteAimId(char *out) {
    if (out == nullptr) return;
    const bool decoded = g_lineImgOutput.decoded != 0;
    out[0] = ']';
    out[1] = decoded ? static_cast<char>(g_lineImgState.aimLetter) : 'X';
    out[2] = decoded ? static_cast<char>(g_lineImgState.aimModifier) : '0';
}

u32 LineImg_GetSymbologyBit(i32 *id) {
    const i32 accepted = g_lineImgState.id;
    if (id != nullptr) *id = accepted;
    if (g_lineImgOutput.decoded == 0 || accepted < 0 || accepted >= 32) return 0;
    return kSymbologyBits[accepted];
}

void LineImg_SetScanMode(u32 flags) { g_lineImgProfileOn = (flags & kScanModeProfile) != 0 ? 1 : 0; }

void LineImg_ResetSymbologies() { Line_Reset(); }

void LineImg_GetCorners(REGION_QUAD *out) {
    if (out != nullptr) *out = g_lineImgOutput.corners;
}

int LineImg_GetDataBarValue(i32 *out) {
    if (out == nullptr || g_lineImgState.id != kSymDataBar) return 0;
    *out = Line_GetResultAuxValue() & 0xFFFF;
    return 1;
}

int LineImg_CopyPartList(LINEIMG_PART_LIST *out) {
    const LINEIMG_OUTPUT &o = g_lineImgOutput;
    if (out == nullptr || out->kinds == nullptr || out->ids == nullptr || out->lengths == nullptr ||
        out->aimChars == nullptr || o.partCount <= 1)
        return 0;
    const i32 n = o.partCount < kLineImgPartCap ? o.partCount : kLineImgPartCap;
    for (i32 k = 0; k < n; ++k) {
        out->kinds[k] = o.kinds[k];
        out->ids[k] = o.ids[k];
        out->lengths[k] = o.lengths[k];
    }
    std::memcpy(out->aimChars, o.aimChars, static_cast<size_t>(3 * n));
    out->aimChars[3 * n] = 0;
    out->count = n;
    return 1;
}

}  // namespace vexo
