#include "core/entry_points.h"

#include <cstring>

#include "core/api.h"
#include "core/modules.h"
#include "core/multi_code.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/sequence.h"
#include "locate/box_list.h"
#include "toolkit/sampling.h"

namespace vexo {

ENTRY_STATE g_entryState{};

namespace {

constexpr u32 kSmoothRecordFlag = 1u << 4;  // settings word 0
constexpr u32 kSmoothRecordOn = 1u << 1;    // settings word 5
constexpr int kVersionNumberSkip = 16;      // "\r\nVexo Ver:     "
constexpr i32 kSmoothBorder = 32;
constexpr u32 kCheckVerify = 1u << 30;
constexpr u32 kCheckTransmit = 1u << 31;

void EnsureContext() {
    if (g_state.initialised == 0) Dec_ResetContext();
}

bool LastDecodeSucceeded() { return g_state.decoded == 1; }

int LengthOf(int (*getLength)()) { return getLength != nullptr ? getLength() : 0; }

// The module whose result is reported, by decode source; null for other sources.
const SYM_MODULE *StackedOfResult() {
    for (const SYM_MODULE &m : g_modules.stacked)
        if (m.kind != 0 && LengthOf(m.getLength) > 0) return &m;
    return nullptr;
}

const SYM_MODULE *MatrixOfResult() {
    const i32 i = g_state.matrixIndex;
    if (i < 0 || i >= kMatrixModules) return nullptr;
    const SYM_MODULE &m = g_modules.matrix[i];
    if (m.getLength == nullptr || LengthOf(m.getRawLength) <= 0) return nullptr;
    return &m;
}

const SYM_MODULE *ModuleOfResult() {
    EnsureContext();
    if (!LastDecodeSucceeded()) return nullptr;
    if (g_state.decodeSource == kSourceStacked) return StackedOfResult();
    if (g_state.decodeSource == kSourceMatrix) return MatrixOfResult();
    return nullptr;
}

int AskSlot(int (*const SYM_MODULE::*slot)()) {
    const SYM_MODULE *m = ModuleOfResult();
    if (m == nullptr || m->*slot == nullptr) return 0;
    return (m->*slot)();
}

void SetFlagBit(int index, u32 bit, bool on) {
    if (on) g_params.flagsWord[index] |= bit;
    else g_params.flagsWord[index] &= ~bit;
}

// 1 when rec equals the copy kept last time; otherwise keeps rec.
bool SameAsKept(const void *rec, u32 *kept, u8 *have, size_t bytes) {
    if (*have != 0 && std::memcmp(rec, kept, bytes) == 0) return true;
    std::memcpy(kept, rec, bytes);
    *have = 1;
    return false;
}

// Mean absolute difference of n pixels stepping by stride, rounded as (sum + n / 2) / n.
i64 MeanDifference(const u8 *a, const u8 *b, i32 n, i64 stride) {
    i64 sum = 0;
    for (i32 k = 0; k < n; ++k) {
        const int d = static_cast<int>(a[k * stride]) - static_cast<int>(b[k * stride]);
        sum += d < 0 ? -d : d;
    }
    return (sum + n / 2) / n;
}

}  // namespace

// ---- Configuration.

void Dec_SetImageCopy(u32 flags, u8 *dest) {
    g_state.imageCopyFlags = flags;
    g_state.imageCopyDest = dest;
    if (dest == nullptr || (flags & 0x10) == 0) return;
    u32 rec[kSettingsRecordBytes / 4] = {};
    rec[0] = 16;
    rec[5] = 2;
    Dec_SetSettingsRecord(rec);
}

int Dec_SetSettingsRecord(const void *rec) {
    if (rec == nullptr) return 0;
    std::memcpy(g_entryState.settings, rec, kSettingsRecordBytes);
    return 1;
}

int Dec_SetExtensionArg(const DEC_ID_POINTER *rec) {
    if (rec == nullptr) return 0;
    static constexpr u32 kIds[4] = {0xcc0003, 0xcc0004, 0xcc0002, 0xcc0005};
    for (int i = 0; i < 4; ++i) {
        if (rec->id == kIds[i]) g_state.extensionArgs[i] = const_cast<void *>(rec->pointer);
    }
    return 1;
}

int Dec_RegisterExternal(const DEC_ID_POINTER *rec) {
    if (rec == nullptr || rec->id == 0 || rec->pointer == nullptr) return 0;
    return Dec_LoadExternalRecord(rec) == 1 ? 1 : 0;
}

int Dec_LoadExternalRecord(const DEC_ID_POINTER *rec) {
    if (rec == nullptr || rec->id != kExternalRecordId) return 0;
    u32 first = 0;
    if (rec->pointer != nullptr) std::memcpy(&first, rec->pointer, sizeof first);
    if (first == 0) {
        g_modules.external = EXT_MODULE{};
        return 0;
    }
    std::memcpy(&g_modules.external, rec->pointer, kExternalRecordBytes);
    return 1;
}

int Dec_LoadImageCopy(const IMAGE_RECORD *rec) {
    // The buffer holds 1280 x 960 bytes: only what Decode itself accepts is copied.
    if (rec == nullptr || rec->data == nullptr || !Dec_FrameSizeAcceptable(rec->width, rec->height)) return 0;
    std::memcpy(g_internalImage, rec->data, static_cast<size_t>(rec->width) * static_cast<size_t>(rec->height));
    g_state.image.data = g_internalImage;
    return 1;
}

int Dec_ApplySettingsC(const void *rec) {
    if (rec == nullptr) return 0;
    if (SameAsKept(rec, g_entryState.keptC, &g_entryState.haveC, kSettingsRecordBytes)) return 1;
    u32 first = 0;
    std::memcpy(&first, rec, sizeof first);
    for (int k = 0; k < 3; ++k) SetFlagBit(50 + k, kFlagEnabled, ((first >> k) & 1u) != 0);
    return 1;
}

int Dec_ApplySettingsD(const void *rec) {
    if (rec == nullptr) return 0;
    if (SameAsKept(rec, g_entryState.keptD, &g_entryState.haveD, kSettingsDRecordBytes)) return 1;
    u32 words[kSettingsDRecordBytes / 4];
    std::memcpy(words, rec, sizeof words);
    // Flags words 53..59 and the bit of the first record word that enables each.
    static constexpr int kEnableBit[7] = {5, 2, 0, 1, 4, 3, 6};
    for (int k = 0; k < 7; ++k) SetFlagBit(53 + k, kFlagEnabled, ((words[0] >> kEnableBit[k]) & 1u) != 0);
    // Check-character bits of words 55, 58 and 59 from record words 2, 5 and 8; an enabled
    // symbology always verifies.
    static constexpr int kCheckWord[3][2] = {{55, 2}, {58, 5}, {59, 8}};
    for (const auto &c : kCheckWord) {
        u32 w = words[c[1]];
        if (Par_Enabled(c[0])) w |= 1u;
        SetFlagBit(c[0], kCheckVerify, (w & 1u) != 0);
        SetFlagBit(c[0], kCheckTransmit, (w & 2u) != 0);
    }
    return 1;
}

void Dec_ApplyStagePreset() {
    const ENTRY_STATE &e = g_entryState;
    if (e.presetSwitch == 0 || e.presetCount < 1 || e.presetCount > 54) return;
    switch (e.presetMode) {
        case 1: g_state.stageEnable = 1; break;
        case 2: g_state.stageEnable = 10; break;
        case 4: g_state.stageEnable = 12; break;
        case 16: g_state.stageEnable = 24; break;
        case 32: g_state.stageEnable = 40; break;
        case 64: g_state.stageEnable = 72; break;
        default: break;
    }
}

void Dec_StagePresetLinear() { g_state.stageEnable = 1; }
void Dec_StagePresetFastPdf() { g_state.stageEnable = 10; }
void Dec_StagePresetPdfWalk() { g_state.stageEnable = 24; }
void Dec_StagePresetRegionWalk() { g_state.stageEnable = 40; }
void Dec_StagePresetOcrPostal() { g_state.stageEnable = 72; }
void Dec_StagePresetRegion() { g_state.stageEnable = 12; }

void Dec_SetUserPointer(const void *p) {
    if (p != nullptr) g_entryState.userPointer = p;
}

int Dec_SetPointerList(const void *const *list, int n) {
    if (list == nullptr || n <= 0) return 0;
    const int count = n < kPointerListSize ? n : kPointerListSize;
    for (int i = 0; i < count; ++i) g_entryState.pointers[i] = list[i];
    g_entryState.pointerCount = count;
    return count;
}

// ---- Results.

int Dec_IsInitialised() { return g_state.initialised != 0 ? 1 : 0; }

const MODULE_RESULT *Dec_GetModuleResult() {
    EnsureContext();
    return LastDecodeSucceeded() ? &g_state.moduleResult : nullptr;
}

int Dec_BitIndex(u32 bit) {
    if (bit == 0) return 0;
    for (int i = 0; i < 32; ++i)
        if (bit == (1u << i)) return i;
    return 32;
}

int Dec_GetResultBitIndex() {
    EnsureContext();
    return LastDecodeSucceeded() ? Dec_BitIndex(g_state.moduleResult.symbologyBit) : 0;
}

const char *Dec_FormatVersionNumber() {
    static char number[16];
    const char *banner = Dec_FormatBanner();
    std::strncpy(number, banner + kVersionNumberSkip, sizeof number - 1);
    number[sizeof number - 1] = 0;
    return number;
}

int Dec_GetAppendPresentOfResult() { return AskSlot(&SYM_MODULE::getAppendPresent); }
int Dec_GetAppendIndexOfResult() { return AskSlot(&SYM_MODULE::getAppendIndex); }
int Dec_GetAppendIndex2OfResult() { return AskSlot(&SYM_MODULE::getAppendIndex2); }
int Dec_GetAppendCountOfResult() { return AskSlot(&SYM_MODULE::getAppendCount); }
int Dec_GetFileIdLengthOfResult() { return AskSlot(&SYM_MODULE::getFileIdLength); }

int Dec_GetFileIdItemOfResult(int i) {
    const SYM_MODULE *m = ModuleOfResult();
    return m != nullptr && m->getFileIdItem != nullptr ? m->getFileIdItem(i) : 0;
}

int Dec_GetStackedStatusOfResult() {
    EnsureContext();
    const SYM_MODULE *m = StackedOfResult();
    return m != nullptr && m->getStatus != nullptr ? m->getStatus() : kStatusNothing;
}

int Dec_GetMatrixStatusOfResult() {
    EnsureContext();
    const SYM_MODULE *m = MatrixOfResult();
    return m != nullptr && m->getStatus != nullptr ? m->getStatus() : kStatusNothing;
}

int Dec_GetExternalLength() {
    EnsureContext();
    return LengthOf(g_modules.external.getLength);
}

int Dec_GetExternalStatus() {
    EnsureContext();
    return g_modules.external.getStatus != nullptr ? g_modules.external.getStatus() : kStatusNothing;
}

const MULTI_RESULT_LIST *Dec_GetMultiResultList() {
    EnsureContext();
    return &g_multiList;
}

int Dec_GetBoxes(void *out, int max) {
    EnsureContext();
    if (out == nullptr || max <= 0) return 0;
    const i32 held = g_boxList.count < 2 ? g_boxList.count : 2;
    if (held <= 0) return Dec_CopyJoinedBoxes(static_cast<JOINED_BOX *>(out), max);
    const int n = held < max ? held : max;
    static_assert(sizeof(g_boxList.box[0]) == 16);
    std::memcpy(out, g_boxList.box, static_cast<size_t>(n) * sizeof(g_boxList.box[0]));
    return n;
}

void Dec_ResetBoxes() {
    g_boxList.count = 0;
    g_boxList.capacity = 2;
}

int Dec_FindSymbologyCode(const i32 *list, int n, int mode, int base) {
    EnsureContext();
    int position = 0;
    if (list != nullptr) {
        for (int i = 0; i < n; ++i) {
            if (list[i] == g_state.lastSymbologyCode) {
                position = i;
                break;
            }
        }
    }
    if (mode == 1) return position;
    if (mode == 2) return base + position;
    return base;
}

int Dec_ImageChanged(const IMAGE_RECORD *rec, i32 threshold) {
    EnsureContext();
    if (rec == nullptr || rec->data == nullptr) return 0;
    const i32 w = rec->width;
    const i32 h = rec->height;
    if (w != g_state.image.width || h != g_state.image.height || !Dec_FrameSizeAcceptable(w, h)) return 0;
    if (h < 31) return 0;
    for (i32 y = 30; y < h; y += 60) {
        const i64 at = static_cast<i64>(y) * w;
        if (MeanDifference(rec->data + at, g_internalImage + at, w, 1) > threshold) return 1;
    }
    if (h < 51) return 0;
    for (i32 x = 50; x < w; x += 100) {
        if (MeanDifference(rec->data + x, g_internalImage + x, h, w) > threshold) return 1;
    }
    return 0;
}

// ---- Module side.

int Dec_WalkStackedAll() {
    Dec_OrderStackedModules();
    for (const SYM_MODULE &m : g_modules.stacked) {
        if (m.decode == nullptr || m.decode() != 1) continue;
        g_state.decodeSource = kSourceStacked;
        g_state.decodedModuleId = static_cast<u16>(m.moduleId);
        return 1;
    }
    return 0;
}

int Dec_AppendModuleResult(const REGION_QUAD *q) {
    const i32 index = g_state.matrixIndex;
    if (index < 0 || index >= kMatrixModules) return 0;
    const SYM_MODULE &m = g_modules.matrix[index];
    if (m.getRawData == nullptr || m.getRawLength == nullptr || m.writeAimId == nullptr) return 0;
    const u8 *text = m.getRawData();
    if (text == nullptr) return 0;
    char aim[3] = {0, 0, 0};
    m.writeAimId(aim);
    return Dec_AppendListEntry(text, m.getRawLength(), q, aim, m);
}

u32 Dec_SetBits(u32 *word, u32 bits) {
    if (word == nullptr) return 0;
    *word |= bits;
    return *word;
}

u32 Dec_ClearBits(u32 *word, u32 bits) {
    if (word == nullptr) return 0;
    *word &= ~bits;
    return *word;
}

void Dec_ClearLinearLinkage() { g_state.linearLinkage = 0; }

u32 Dec_OrStatusWord(int number, u32 bits) {
    if (number < 1 || number > kStatusWordCount) return 0;
    g_statusWords[number - 1] |= bits;
    return g_statusWords[number - 1];
}

u32 Dec_ReadStatusWord(int number) {
    if (number < 1 || number > kStatusWordCount) return 0;
    return g_statusWords[number - 1];
}

void Dec_SummariseStatus(i32 out[2]) {
    if (out == nullptr) return;
    out[1] = 0;
    struct Test {
        int word;
        u32 mask;
        i32 code;
    };
    static constexpr Test kTests[] = {{1, 0x1C, 1}, {3, 0x10, 4}, {2, 0x06, 2}, {6, 0x04, 6},
                                      {7, 0x02, 7}, {5, 0x04, 8}, {9, 0x03, 13}};
    static_assert(sizeof(kTests) / sizeof(kTests[0]) == 7);
    for (const Test &t : kTests) {
        if ((Dec_ReadStatusWord(t.word) & t.mask) == 0) continue;
        out[0] = t.code;
        out[1] = 1;
    }
}

int Dec_IsJoinedModeFor(int one) {
    if (one != 1) return 2;
    EnsureContext();
    if (g_multiList.entryCount <= 0) return 0;
    struct ClassWord {
        u32 number;
        int flagsIndex;
    };
    static constexpr ClassWord kClasses[] = {{kNumberQr, kSymQr},          {kNumberAztec, kSymAztec},
                                             {kNumberDataMatrix, kSymDataMatrix}, {kNumberMaxiCode, kSymMaxiCode},
                                             {kNumberCsCode, kSymCsCode},  {kNumberMicroPdf417, kSymMicroPdf417}};
    static_assert(sizeof(kClasses) / sizeof(kClasses[0]) == 6);
    for (const ClassWord &c : kClasses) {
        if (c.number != g_multiList.entries[0].symbologyNumber) continue;
        return (g_params.flagsWord[c.flagsIndex] & 0x1F) == 2 ? 1 : 0;
    }
    return 0;
}

void Dec_EqualiseHistogram(u8 *data, int width, int height) {
    if (data == nullptr || width <= 0 || height <= 0) return;
    const i64 total = static_cast<i64>(width) * height;
    i64 histogram[256] = {};
    for (i64 i = 0; i < total; ++i) histogram[data[i]] += 1;
    u8 map[256];
    i64 atOrBelow = 0;
    for (int g = 0; g < 256; ++g) {
        atOrBelow += histogram[g];
        const i64 v = 256 * atOrBelow / total;
        map[g] = static_cast<u8>(v > 255 ? 255 : v);
    }
    for (i64 i = 0; i < total; ++i) data[i] = map[data[i]];
}

int Dec_SmoothOptionSet() {
    const u32 *s = g_entryState.settings;
    return (s[0] & kSmoothRecordFlag) != 0 && (s[5] & kSmoothRecordOn) != 0 ? 1 : 0;
}

int Dec_SmoothBorderRegion() {
    if (Dec_SmoothOptionSet() == 0) return 0;
    const i32 w = g_frame.width;
    const i32 h = g_frame.height;
    const i32 x1 = w - 1 - kSmoothBorder;
    const i32 y1 = h - 1 - kSmoothBorder;
    const REGION_QUAD inner{{{kSmoothBorder, kSmoothBorder}, {x1, kSmoothBorder}, {kSmoothBorder, y1}, {x1, y1}}};
    return Geo_SmoothRegion3x3(&inner) == 1 ? 1 : 0;
}

}  // namespace vexo
