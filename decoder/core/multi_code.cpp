#include "core/multi_code.h"

#include <cstring>

#include "core/adapters.h"
#include "core/modules.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "toolkit/geometry_points.h"
#include "toolkit/quad.h"
#include "toolkit/sampling.h"

namespace vexo {

u8 g_textPool[kTextPoolBytes];
u8 g_takenText[kTextPoolBytes];
u8 g_takenIds[3 * kMultiEntries];
JOINED_BOX g_joinedBoxes[kMultiEntries];
i32 g_joinedBoxCount;

namespace {

constexpr i32 kMaxJoinedText = kTextPoolBytes - 1;
constexpr i32 kGrowAlongDiagonal = 20;

// How the required number of parts is found in mode 1 when not all parts are required.
enum CountRule : u8 {
    kRuleCount,  // the number of symbols of the class read so far
    kRuleAztec,  // 1 unless the configured count equals the Aztec symbols read
    kRuleMaxi,   // 1 instead of 2
};

struct JoinRow {
    u32 number;       // symbologyNumber of the entry
    int flagsIndex;   // configuration word
    CountRule rule;
    u32 countClass;   // classCount index of the count rule
    int lengthSlot;   // -1: no length check
    bool slotOnlyForOne;  // the length check applies only when one part is required
    u32 symbologyBit;
    u32 moduleId;
    int reported;
};

constexpr JoinRow kJoinRows[] = {
    {kNumberQr, kSymQr, kRuleCount, kCharQr, kSlotQr, false, kBitQr, kModuleQr, kReportedQr},
    {kNumberMicroQr, kSymQr, kRuleCount, kCharMicroQr, kSlotMicroQr, true, kBitMicroQr, kModuleQr, kReportedQr},
    {kNumberAztec, kSymAztec, kRuleAztec, kCharAztec, kSlotAztec, false, kBitAztec, kModuleAztec, kReportedAztec},
    {kNumberDataMatrix, kSymDataMatrix, kRuleCount, kCharDataMatrix, kSlotDataMatrix, false, kBitDataMatrix,
     kModuleDataMatrix, kReportedDataMatrix},
    {kNumberMaxiCode, kSymMaxiCode, kRuleMaxi, kCharMaxiCode, -1, false, kBitMaxiCode, kModuleMaxiCode,
     kReportedMaxiCode},
    {kNumberCsCode, kSymCsCode, kRuleCount, kCharCsCode, kSlotCsCode, false, kBitCsCode, kModuleCsCode,
     kReportedCsCode},
    {kNumberMicroPdf417, kSymMicroPdf417, kRuleCount, kCharMicroPdf417, -1, false, kBitMicroPdf417,
     kModuleMicroPdf417, kReportedMicroPdf417},
};
static_assert(sizeof(kJoinRows) / sizeof(kJoinRows[0]) == 7);

const JoinRow *FindJoinRow(const MULTI_ENTRY &e) {
    if (e.kind != kKindMatrix) return nullptr;
    for (const JoinRow &r : kJoinRows) {
        if (r.number == e.symbologyNumber) return &r;
    }
    return nullptr;
}

// The same Data Matrix symbol read twice: the second reading is dropped.
void DropRepeatedDataMatrix() {
    MULTI_RESULT_LIST &l = g_multiList;
    if (l.entryCount != 2) return;
    const MULTI_ENTRY &a = l.entries[0];
    MULTI_ENTRY &b = l.entries[1];
    if (Geo_QuadsOverlap(&a.outline, &b.outline) == 0) return;
    if (Dec_FitsTextPool(l.textOffset[0], a.length) == 0 || Dec_FitsTextPool(l.textOffset[1], b.length) == 0) return;
    if (Geo_BytesEqual(l.textPool + l.textOffset[0], a.length, l.textPool + l.textOffset[1], b.length) == 0) return;
    b.length = 0;
    l.entryCount = 1;
}

// The configured number of parts of row r (the low four bits of its word).
i32 ConfiguredParts(const JoinRow &r) { return static_cast<i32>(g_params.flagsWord[r.flagsIndex] & kFlag2DCountMask); }

// The number of parts required for row r: in mode 1, unless all parts are required, the
// row's rule replaces the configured number.
i32 RequiredParts(const JoinRow &r, u8 mode) {
    const u32 word = g_params.flagsWord[r.flagsIndex];
    const i32 d = ConfiguredParts(r);
    if (mode == 0 || (word & kFlag2DCountOption) != 0) return d;
    switch (r.rule) {
        case kRuleCount: return g_multiList.classCount[r.countClass];
        case kRuleAztec: return d != g_multiList.classCount[kCharAztec] ? 1 : d;
        case kRuleMaxi: return d == 2 ? 1 : d;
    }
    return d;
}

// The joined text becomes the result of the row's module.
void TakeJoined(const JoinRow &r, i32 length) {
    g_takenText[length] = 0;
    g_reported[r.reported] = REPORTED_RESULT{g_takenText, g_takenIds, length, kStatusDecoded};
    g_multiList.takenResult = MODULE_RESULT{kKindMatrix, r.symbologyBit, g_takenText, static_cast<u32>(length),
                                            kStatusDecoded, 0, 0};
    g_state.decodedModuleId = static_cast<u16>(r.moduleId);
}

i32 ClampTo(i32 v, i32 lo, i32 hi) {
    if (v > hi) v = hi;
    return v < lo ? lo : v;
}

i32 JoinMargin(int c) {
    switch (c) {
        case kCharPdf417:
        case kCharDataMatrix: return 20;
        case kCharQr: return 40;
        case kCharCsCode:
        case kCharGroup44: return 10;
        default: return 0;
    }
}

// Finds the parts: the first d entries with the given entry's kind and number.
int CollectParts(const MULTI_ENTRY &e, i32 d, REGION_QUAD *parts, int *partEntry) {
    int found = 0;
    for (int i = 0; i < kMultiEntries && found < d; ++i) {
        const MULTI_ENTRY &x = g_multiList.entries[i];
        if (x.kind != e.kind || x.symbologyNumber != e.symbologyNumber) continue;
        if (e.codeChar == static_cast<i32>(kCharAztec)) {
            Dec_GrowQuad(&x.outline, &parts[found]);
        } else {
            parts[found] = x.outline;
        }
        partEntry[found] = i;
        ++found;
    }
    return found;
}

// Appends the texts and identifiers of the parts in join order; the total stays below the
// pool size.
int AppendPartTexts(const i32 *order, int n, const int *partEntry, int d, u8 *out, i32 *total, u8 *ids) {
    const MULTI_RESULT_LIST &l = g_multiList;
    i32 used = 0;
    for (int t = 0; t < n; ++t) {
        const i32 k = order[t];
        if (k < 0 || k >= d) return 0;
        const int entry = partEntry[k];
        const i32 len = l.entries[entry].length;
        const i32 offset = l.textOffset[entry];
        if (len < 0 || Dec_FitsTextPool(offset, len) == 0) return 0;
        if (used < 0 || static_cast<i64>(used) + len > kMaxJoinedText) return 0;
        std::memcpy(out + used, l.textPool + offset, static_cast<size_t>(len));
        used += len;
        std::memcpy(ids + 3 * t, &l.aimBytes[3 * entry], 3);
    }
    *total = used;
    return 1;
}

}  // namespace

i32 Dec_ResetMultiResultList() {
    g_joinedBoxCount = 0;
    g_multiList = MULTI_RESULT_LIST{};
    for (MULTI_ENTRY &e : g_multiList.entries) {
        e.kind = 0xFFFFFFFFu;
        e.symbologyNumber = 0xFFFFFFFFu;
        e.codeChar = -1;
    }
    std::memset(g_textPool, 0, sizeof g_textPool);
    g_multiList.textPool = g_textPool;
    std::memset(g_takenText, 0, sizeof g_takenText);
    std::memset(g_takenIds, 0, sizeof g_takenIds);
    Sym_ResetReportedWords();
    return -1;
}

int Dec_TakeJoinedResult(u8 mode) {
    const int count = mode == 0 ? 1 : kMultiEntries;
    for (int i = 0; i < count; ++i) {
        const JoinRow *r = FindJoinRow(g_multiList.entries[i]);
        if (r == nullptr) continue;
        if (r->number == kNumberDataMatrix) DropRepeatedDataMatrix();
        if (mode != 0 && ConfiguredParts(*r) == 0) return 0;
        const i32 d = RequiredParts(*r, mode);
        i32 length = 0;
        if (Dec_JoinSymbols(i, d, g_takenText, &length, mode, g_takenIds) == 0) continue;
        if (r->lengthSlot >= 0 && (!r->slotOnlyForOne || d == 1) && Sym_LengthAccepted(r->lengthSlot, length) == 0) {
            return 0;
        }
        TakeJoined(*r, length);
        return 1;
    }
    return 0;
}

int Dec_JoinSymbols(int entry, i32 required, u8 *out, i32 *outLength, u8 mode, u8 *identifiers) {
    if (entry < 0 || entry >= kMultiEntries || out == nullptr || outLength == nullptr || identifiers == nullptr) {
        return 0;
    }
    MULTI_RESULT_LIST &l = g_multiList;
    const MULTI_ENTRY &e = l.entries[entry];
    const i32 c = e.codeChar;
    if (c < 0 || c >= kClassCount || required < 1 || l.classCount[c] < required) return 0;
    if (required > kMultiEntries) return 0;
    if (mode == 0 ? l.entryCount != required : l.entryCount < 1) return 0;
    REGION_QUAD parts[kMultiEntries] = {};
    int partEntry[kMultiEntries] = {};
    if (CollectParts(e, required, parts, partEntry) < required) return 0;
    i32 order[kMultiEntries] = {0, 1};
    int n = c == static_cast<i32>(kCharAztec) ? Dec_JoinAztecSymbols(parts, required, order)
                                              : Geo_OrderQuadPair(parts, required, order);
    if (n <= 0) return 0;
    if (n == 2 && Geo_QuadsOverlap(&l.entries[0].outline, &l.entries[1].outline) != 0) {
        // The same symbol read twice: keep the reading that is not dropped.
        l.entries[1].length = 0;
        n = 1;
        if (order[0] >= 0 && order[0] < required && partEntry[order[0]] == 1) order[0] = order[1];
    }
    Dec_StoreJoinedBoxes(parts, required, order, kMultiEntries, c);
    Dec_SetJoinedCount(n);
    i32 total = 0;
    if (AppendPartTexts(order, n, partEntry, required, out, &total, identifiers) == 0) return 0;
    out[total] = 0;
    *outLength = total;
    return 1;
}

void Dec_GrowQuad(const REGION_QUAD *quad, REGION_QUAD *out) {
    if (quad == nullptr || out == nullptr) return;
    const REGION_QUAD q = *quad;
    Geo_StepTowards(&q.c[kTopLeft], &q.c[kBottomRight], &out->c[kTopLeft], -kGrowAlongDiagonal);
    Geo_StepTowards(&q.c[kBottomRight], &q.c[kTopLeft], &out->c[kBottomRight], -kGrowAlongDiagonal);
    Geo_StepTowards(&q.c[kTopRight], &q.c[kBottomLeft], &out->c[kTopRight], -kGrowAlongDiagonal);
    Geo_StepTowards(&q.c[kBottomLeft], &q.c[kTopRight], &out->c[kBottomLeft], -kGrowAlongDiagonal);
}

void Dec_StoreJoinedBoxes(const REGION_QUAD *parts, int count, const i32 *order, int max, int c) {
    if (parts == nullptr || order == nullptr) return;
    int n = count < max ? count : max;
    if (n > kMultiEntries) n = kMultiEntries;
    if (n < 0) n = 0;
    const i32 m = JoinMargin(c);
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    for (int i = 0; i < n; ++i) {
        const i32 k = order[i];
        if (k < 0 || k >= count) {
            n = i;
            break;
        }
        const POINT_I32 *p = parts[k].c;
        i32 x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
        for (int j = 1; j < 4; ++j) {
            x0 = p[j].x < x0 ? p[j].x : x0;
            x1 = p[j].x > x1 ? p[j].x : x1;
            y0 = p[j].y < y0 ? p[j].y : y0;
            y1 = p[j].y > y1 ? p[j].y : y1;
        }
        g_joinedBoxes[i] = JOINED_BOX{ClampTo(x0 - m, 0, w - 1), ClampTo(y0 - m, 0, h - 1), ClampTo(x1 + m, 0, w - 1),
                                      ClampTo(y1 + m, 0, h - 1)};
    }
    g_joinedBoxCount = n;
}

int Dec_CopyJoinedBoxes(JOINED_BOX *out, int max) {
    if (max < 0) max = 0;
    if (g_joinedBoxCount > max) g_joinedBoxCount = max;
    if (out != nullptr) {
        for (int i = 0; i < g_joinedBoxCount; ++i) out[i] = g_joinedBoxes[i];
    }
    return g_joinedBoxCount;
}

int Dec_FitsTextPool(i32 offset, i32 length) {
    return offset >= 0 && length >= 0 && static_cast<i64>(offset) + length < kTextPoolBytes ? 1 : 0;
}

}  // namespace vexo
