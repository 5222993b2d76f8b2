#include "core/api.h"

#include <cstdio>
#include <cstring>

#include "core/modules.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/properties.h"
#include "core/sequence.h"
#include "core/frame_margins.h"

namespace vexo {

API_RESULT g_apiResult;

namespace {

constexpr u32 kOff = 0x10000;
constexpr u32 kOn = 0x10001;

void EnsureContext() {
    if (g_state.initialised == 0) Dec_ResetContext();
}

REGION_QUAD BoxQuad(i32 x0, i32 y0, i32 x1, i32 y1) {
    return REGION_QUAD{{{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}}};
}

// The centred 10 % box of the installed image.
struct Box {
    i32 x0, y0, x1, y1;
};
Box CentredTenPercent() {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    return Box{(w >> 1) - w / 10, (h >> 1) - h / 10, (w >> 1) + w / 10, (h >> 1) + h / 10};
}

// Frames beyond these limits are never decoded: later stages lay out width x height of
// scratch in the 1280 x 960 working image, line buffers hold 1,280 entries, and 1/16-pixel
// positions kept in 16 bits wrap at 2048.
bool FrameSizeAcceptable(i32 width, i32 height) {
    if (width <= 0 || height <= 0) return false;
    if (width > VEXO_MAX_FRAME_SIDE || height > VEXO_MAX_FRAME_SIDE) return false;
    return static_cast<i64>(width) * height <= VEXO_MAX_FRAME_PIXELS;
}

// Boolean on one bit of optionWord; any other value rejects.
int SetOptionBit(u32 bit, u64 value) {
    const u32 v = static_cast<u32>(value);
    if (v == kOn) {
        g_params.optionWord |= bit;
    } else if (v == kOff) {
        g_params.optionWord &= ~bit;
    } else {
        return 0;
    }
    return 1;
}

// Set ids handled by the interface itself: -1 when the id is not one of them.
int SetOwnId(u32 id, u64 value) {
    const i32 v32 = static_cast<i32>(static_cast<u32>(value));
    IMAGE_RECORD rec = g_state.image;
    switch (id) {
        case VEXO_ID_IMAGE_PIXELS:
            rec.data = reinterpret_cast<u8 *>(static_cast<uintptr_t>(value));
            Dec_SetImage(&rec);
            return 1;
        case VEXO_ID_IMAGE_WIDTH:
            rec.width = v32;
            Dec_SetImage(&rec);
            return 1;
        case VEXO_ID_IMAGE_HEIGHT:
            rec.height = v32;
            Dec_SetImage(&rec);
            return 1;
        case 0x100202: Dec_IgnoreOption202(value); return 1;
        case 0x100210: Dec_IgnoreOption210(value); return 1;
        case VEXO_ID_EXTRA_GEOMETRY: Dec_SetExtraGeometryStep(static_cast<u32>(value)); return 1;
        case VEXO_ID_ROI_PERCENT: Dec_SetRoiPercent(1, v32); return 1;
        case VEXO_ID_ROI_RECORD: {
            const auto *r = reinterpret_cast<const ROI_RECORD *>(static_cast<uintptr_t>(value));
            if (r == nullptr) return 0;
            Dec_SetRoiRecord(r);
            return 1;
        }
        case VEXO_ID_SMOOTHING: Dec_SetSmoothing(v32); return 1;
        case VEXO_ID_ROI_LEFT: g_state.roiLeft = v32; return 1;
        case VEXO_ID_ROI_RIGHT: g_state.roiRight = v32; return 1;
        case VEXO_ID_ROI_TOP: g_state.roiTop = v32; return 1;
        case VEXO_ID_ROI_BOTTOM: g_state.roiBottom = v32; return 1;
        case VEXO_ID_ROI_ENABLE:
            g_state.roiEnable = v32;
            Dec_ApplyRoiWords();
            return 1;
        case VEXO_ID_OPTION_BIT1: return SetOptionBit(1u << 1, value);
        case VEXO_ID_OPTION_BIT0: return SetOptionBit(1u << 0, value);
        case 0x400000: {
            const u32 v = static_cast<u32>(value);
            if (v != kOn && v != kOff) return 0;
            g_state.flag400000 = v == kOn ? 1 : 0;
            return 1;
        }
        case 0x400001: return 1;
        case 0x400009: g_state.word400009 = static_cast<u16>(value); return 1;
        case 0x40000a: g_state.word40000a = static_cast<u16>(value); return 1;
        default: return -1;
    }
}

// The banner: cut at capacity - 1 characters, always terminated.
int GetBanner(TEXT_DESC *desc) {
    const char *banner = Dec_FormatBanner();
    const size_t n = std::strlen(banner);
    if (desc->capacity == 1 || n == 0) {
        desc->buffer[0] = 0;
        desc->length = 0;
        return 1;
    }
    const size_t count = n < desc->capacity - 1 ? n : desc->capacity - 1;
    std::memcpy(desc->buffer, banner, count);
    desc->buffer[count] = 0;
    desc->length = static_cast<u32>(count);
    return 1;
}

int GetVersionList(TEXT_DESC *desc) {
    const u32 limit = desc->capacity - 1 > 0x7FFFFFFFu ? 0x7FFFFFFFu : desc->capacity - 1;
    const int m = Dec_FormatVersionList(desc->buffer, static_cast<int>(limit));
    desc->buffer[m] = 0;
    desc->length = static_cast<u32>(m);
    return 1;
}

// Get ids handled by the interface itself: -1 when the id is not one of them.
int GetOwnId(u32 id, void *out) {
    u32 *word = static_cast<u32 *>(out);
    switch (id) {
        case VEXO_ID_EXTRA_GEOMETRY: *word = static_cast<u32>(static_cast<i32>(g_state.extraGeometryStep)); return 1;
        case VEXO_ID_ROI_PERCENT: *word = static_cast<u32>(g_state.roiPercent); return 1;
        case VEXO_ID_ROI_RECORD: *static_cast<ROI_RECORD *>(out) = g_state.roiRecord; return 1;
        case VEXO_ID_BANNER:
        case VEXO_ID_VERSION_LIST: {
            TEXT_DESC *desc = static_cast<TEXT_DESC *>(out);
            if (!Dec_TextDescUsable(desc)) return 0;
            return id == VEXO_ID_BANNER ? GetBanner(desc) : GetVersionList(desc);
        }
        case VEXO_ID_EXTERNAL_SYMBOLOGY: *word = static_cast<u32>(Dec_MapExternalSymbology()); return 1;
        case VEXO_ID_OPTION_BIT1: *word = (g_params.optionWord >> 1) & 1; return 1;
        case VEXO_ID_OPTION_BIT0: *word = g_params.optionWord & 1; return 1;
        case VEXO_ID_JOINED_COUNT: *word = static_cast<u32>(Dec_GetJoinedCountForApi()); return 1;
        default: return -1;
    }
}

struct CodeIdRow {
    u32 bit;
    u32 codeId;
};

// Code ids of the matrix and stacked 2D modules by symbology bit.
constexpr CodeIdRow kCodeIds2D[] = {
    {0x1, 0x100},  {0x2, 0x102},  {0x800, 0x103}, {0x4, 0x104}, {0x8, 0x105},
    {0x10, 0x106}, {0x20, 0x10A}, {0x200, 0x800}, {0x80, 0x107}, {0x400, 0x101},
};
static_assert(sizeof(kCodeIds2D) / sizeof(kCodeIds2D[0]) == 10);

// Code ids of the linear module by the symbology bit it reports.
constexpr CodeIdRow kCodeIdsLinear[] = {
    {0x1, 0},          {0x2, 1},          {0x4, 2},          {0x8, 3},          {0x10, 7},
    {0x20, 8},         {0x40, 9},         {0x80, 10},        {0x100, 17},       {0x200, 19},
    {0x400, 18},       {0x800, 24},       {0x2000, 13},      {0x4000, 13},      {0x8000, 16},
    {0x20000, 14},     {0x40000, 36},     {0x1000000, 11},   {0x2000000, 25},   {0x4000000, 23},
    {0x8000000, 29},   {0x10000000, 27},  {0x20000000, 28},  {0x40000000, 270}, {0x80000000, 43},
};
static_assert(sizeof(kCodeIdsLinear) / sizeof(kCodeIdsLinear[0]) == 25);

template <size_t N>
u32 LookUpCodeId(const CodeIdRow (&rows)[N], u32 bit) {
    for (const CodeIdRow &r : rows) {
        if (r.bit == bit) return r.codeId;
    }
    return kNoCodeId;
}

// Linear symbology codes in the order of their external numbers (position = number).
constexpr i32 kExternalByPosition[24] = {-1, 27, -1, -1, 20, 21, -1, 3, 4, 7, 22, 23,
                                         -1, 47, 24, 39, 36, 35, 26, 40, 34, -1, -1, -1};

struct ExternalRow {
    i32 code;
    i32 number;
};
constexpr ExternalRow kExternal2D[] = {
    {261, 51}, {256, 52}, {257, 53}, {-1, 54}, {262, 56}, {258, 57}, {259, 58}, {260, 59},
};

}  // namespace

bool Dec_FrameSizeAcceptable(i32 width, i32 height) { return FrameSizeAcceptable(width, height); }

void Dec_SetImage(const IMAGE_RECORD *record) {
    EnsureContext();
    if (record == nullptr) return;
    IMAGE_RECORD rec = *record;
    rec.secondBuffer = g_internalImage;
    g_state.image = rec;
    Pix_SetImagePointer(rec.data);
    Pix_SetSecondBuffer(g_internalImage);
    Pix_SetImageSize(rec.width, rec.height);
    if (g_state.imageCopyDest != nullptr && (g_state.imageCopyFlags & 0x10) != 0 && rec.data != nullptr &&
        FrameSizeAcceptable(rec.width, rec.height)) {
        std::memcpy(g_state.imageCopyDest, rec.data, static_cast<size_t>(rec.width) * static_cast<size_t>(rec.height));
        Pix_SetImagePointer(g_state.imageCopyDest);
    }
}

void Dec_SetRoiPercent(int flag, i32 percent) {
    if (percent != g_state.roiPercent) g_state.roiPercent = flag != 0 ? percent : 20;
}

void Dec_SetRoiRecord(const ROI_RECORD *rec) {
    g_state.roiExplicit = 1;
    g_state.roiRecord = *rec;
    if (rec->enabled != 0) {
        g_state.roiQuad = BoxQuad(rec->left, rec->top, rec->right, rec->bottom);
    } else {
        const Box b = CentredTenPercent();
        g_state.roiQuad = BoxQuad(b.x0, b.y0, b.x1, b.y1);
    }
}

void Dec_ApplyRoiWords() {
    g_state.roiExplicit = 1;
    if (g_state.roiEnable != 0) {
        g_state.roiQuad = BoxQuad(g_state.roiLeft, g_state.roiTop, g_state.roiRight, g_state.roiBottom);
        g_state.roiRecord = ROI_RECORD{g_state.roiTop, g_state.roiLeft, g_state.roiRight, g_state.roiBottom, 1};
    } else {
        const Box b = CentredTenPercent();
        g_state.roiQuad = BoxQuad(b.x0, b.y0, b.x1, b.y1);
        g_state.roiRecord = ROI_RECORD{b.y0, b.x0, b.x1, b.y1, 0};
    }
}

void Dec_ComputeRoiBox() {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    const i32 p = g_state.roiPercent;
    if (p < 1 || p > 100) {
        g_state.roiQuad = BoxQuad(0, 0, w - 1, h - 1);
        return;
    }
    // w and h are at most 1280 here, so p x w stays far inside 32 bits.
    g_state.roiQuad = BoxQuad((w >> 1) - p * w / 200, (h >> 1) - p * h / 200, (w >> 1) + p * w / 200,
                              (h >> 1) + p * h / 200);
}

void Dec_SetExtraGeometryStep(u32 value) {
    const i8 low = static_cast<i8>(static_cast<u8>(value));
    if (low <= 1) g_state.extraGeometryStep = low;
}

int Dec_RunDecode() {
    if (Dec_DecodeImage() != 1) return 0;
    g_apiResult.codeId = Dec_MapCodeId();
    g_apiResult.data = Dec_GetResultData();
    g_apiResult.length = static_cast<u32>(Dec_GetResultDataLength());
    Dec_GetAimId(g_apiResult.aimId);
    g_apiResult.rest8 = 0;
    g_apiResult.rest16a = 0;
    g_apiResult.rest16b = 0;
    g_apiResult.rest32 = 0;
    return 1;
}

u32 Dec_MapCodeId() {
    const u32 kind = Dec_GetResultKind();
    const u32 bit = Dec_GetResultSymbologyBit();
    switch (kind) {
        case kKindMatrix: return LookUpCodeId(kCodeIds2D, bit);
        case kKindSpecial: return bit == 1 ? 0x300 : kNoCodeId;
        case kKindLinear: return LookUpCodeId(kCodeIdsLinear, bit);
        default: return kNoCodeId;
    }
}

const u8 *Dec_GetResultData() { return Dec_GetDecodedData(); }
int Dec_GetResultDataLength() { return Dec_GetDecodedLength(); }

u32 Dec_GetResultKind() {
    EnsureContext();
    return g_state.decoded == 1 ? g_state.moduleResult.kind : 0;
}

u32 Dec_GetResultSymbologyBit() {
    EnsureContext();
    return g_state.decoded == 1 ? g_state.moduleResult.symbologyBit : 0;
}

i32 Dec_GetResultStatus() {
    EnsureContext();
    return g_state.decoded == 1 ? g_state.moduleResult.status : -1;
}

void Dec_GetAimId(char *out) {
    EnsureContext();
    if (out == nullptr || g_state.decoded != 1) return;
    out[0] = ']';
    out[1] = 'X';
    out[2] = '0';
    Dec_GetAimIdBySource(out);
}

u32 Dec_GetCodeId() { return g_apiResult.codeId; }

int Dec_GetResultLength() {
    const int n = Dec_GetResultDataLength();
    if (n <= 0) return 0;
    return (g_params.commonWord & kCommonAimPrefix) ? n + 3 : n;
}

int Dec_CopyResultText(char *buf, u32 cap) {
    const int n = Dec_GetResultDataLength();
    if (n <= 0) return 0;
    u32 prefix = 0;
    if (cap > 3 && (g_params.commonWord & kCommonAimPrefix)) {
        buf[0] = 0;
        Dec_GetAimId(buf);
        if (buf[0] != 0) prefix = 3;
    }
    const u32 room = cap - prefix;
    const u32 count = static_cast<u32>(n) < room ? static_cast<u32>(n) : room;
    const u8 *data = Dec_GetResultData();
    if (data != nullptr && count > 0) std::memcpy(buf + prefix, data, count);
    return static_cast<int>(prefix + count);
}

u32 Dec_GetResultWord() { return 0; }

const char *Dec_FormatBanner() {
    static char banner[64];
    std::snprintf(banner, sizeof banner, "%s%s", kBannerText, kBannerSuffix);
    return banner;
}

int Dec_FormatVersionList(char *dst, int limit) {
    if (dst == nullptr || limit < 1) return 0;
    char work[512] = {};
    const int used = std::snprintf(work, sizeof work, "%s%s\r\n  ", kBannerText, kBannerSuffix);
    const int n = Dec_CollectVersions(work, static_cast<int>(sizeof work), used);
    if (n < limit) {
        std::memcpy(dst, work, static_cast<size_t>(n));
        dst[n] = 0;
        return n;
    }
    // The text is cut: mark it with dots. Bytes beyond the work buffer do not exist, so a
    // limit above it copies at most the buffer.
    const int count = limit < static_cast<int>(sizeof work) ? limit : static_cast<int>(sizeof work);
    if (count >= 4) std::memset(work + count - 3, '.', 3);
    std::memcpy(dst, work, static_cast<size_t>(count));
    return count;
}

int Dec_MapExternalSymbology() {
    const i32 c = Dec_GetLastSymbologyCode();
    // -1 marks an unused position; rule 2 maps the code -1 itself.
    for (int i = 1; i < 24; ++i) {
        if (kExternalByPosition[i] != -1 && kExternalByPosition[i] == c) return i;
    }
    for (const ExternalRow &r : kExternal2D) {
        if (r.code == c) return r.number;
    }
    switch (c) {
        case 8: case 11: case 14: case 17: return 2;
        case 9: case 10: case 12: case 13: case 15: case 16: case 18: case 19: return 3;
        case 58: case 59: return 6;
        case 42: case 43: case 44: return 21;
        default: break;
    }
    if (c >= 60 && c <= 67) return 55;
    return 0;
}

i32 Dec_GetJoinedCountForApi() { return Dec_GetJoinedCount(); }

void Dec_ConnectHook(u32) {}
void Dec_IgnoreOption202(u64) {}
void Dec_IgnoreOption210(u64) {}

bool Dec_TextDescUsable(const TEXT_DESC *desc) {
    return desc != nullptr && desc->size >= 24 && desc->capacity != 0 && desc->buffer != nullptr;
}

}  // namespace vexo

using namespace vexo;

extern "C" {

VEXO3_EXPORT int ZPT_SE_VexoDec_Init(void) {
    Dec_TraceInit("IN X3_INIT");
    Dec_ResetContext();
    Par_InstallDefaults();
    return 1;
}

VEXO3_EXPORT int ZPT_SE_VexoDec_Set(uint32_t id, uint64_t value) {
    const int own = SetOwnId(id, value);
    if (own >= 0) return own;
    return Par_DispatchSet(id, value) == 1 ? 1 : 0;
}

VEXO3_EXPORT int ZPT_SE_VexoDec_Get(uint32_t id, void *out) {
    if (out == nullptr) return 0;
    const int own = GetOwnId(id, out);
    if (own >= 0) return own;
    return Par_DispatchGet(id, out) == 1 ? 1 : 0;
}

VEXO3_EXPORT int ZPT_SE_VexoDec_Decode(void) {
    if (Pix_GetImagePointer() == nullptr || Pix_GetImageHeight() == 0 || Pix_GetImageWidth() == 0) return 0;
    if (!FrameSizeAcceptable(Pix_GetImageWidth(), Pix_GetImageHeight())) return 0;
    return Dec_RunDecode() != 0 ? 1 : 0;
}

VEXO3_EXPORT int X3_Dec_TSI(int32_t stamp) { return stamp == kBuildStamp ? 1 : 0; }

VEXO3_EXPORT int ZPT_SE_VexoConnect_Init(uint32_t *p) {
    Dec_ConnectHook(p != nullptr ? *p : 0);
    return 1;
}

}  // extern "C"
