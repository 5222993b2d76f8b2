// The multi-result list: every symbol a matrix module decodes in a region is appended
// here, and a symbol of a structured-append set may be taken from it at once.
#include <cstdlib>
#include <cstring>

#include "core/adapters.h"
#include "core/modules.h"
#include "core/multi_code.h"
#include "core/params.h"
#include "core/state.h"
#include "toolkit/geometry_points.h"
#include "toolkit/quad.h"

namespace vexo {

MULTI_RESULT_LIST g_multiList = {.classCount = {},
                                 .entries = {},
                                 .append = {},
                                 .textOffset = {},
                                 .aimOffset = {},
                                 .entryCount = 0,
                                 .textTotal = 0,
                                 .textPool = g_textPool,
                                 .aimBytes = {},
                                 .takenResult = {}};

namespace {

constexpr int kLastLocatedMatrix = 5;

// The module a list entry's symbology number leads to when a single entry is taken.
struct TakeTarget {
    u32 number;
    int flagsIndex;
    u32 moduleId;
    int reported;
};
constexpr TakeTarget kTakeTargets[] = {
    {kNumberQr, kSymQr, kModuleQr, kReportedQr},
    {kNumberMicroQr, kSymQr, kModuleQr, kReportedQr},
    {kNumberDataMatrix, kSymDataMatrix, kModuleDataMatrix, kReportedDataMatrix},
    {kNumberCsCode, kSymCsCode, kModuleCsCode, kReportedCsCode},
};
static_assert(sizeof(kTakeTargets) / sizeof(kTakeTargets[0]) == 4);

const TakeTarget *FindTakeTarget(u32 number) {
    for (const TakeTarget &t : kTakeTargets) {
        if (t.number == number) return &t;
    }
    return nullptr;
}

// Joined reading of exactly two symbols, all parts required.
bool RequiresJoinedPair(int flagsIndex) {
    const u32 w = g_params.flagsWord[flagsIndex];
    return (w & kFlag2DCountOption) != 0 && (w & kFlag2DCountMask) == 2;
}

i32 ClampToI32(i64 v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<i32>(v);
}

i64 AbsDiff(i32 a, i32 b) { return std::llabs(static_cast<i64>(a) - b); }

// Region q is cut at the decoded corner c, along x when d's first edge lies nearer the
// horizontal, else along y; of several corners inside q the one with the smallest key.
void TrimAgainstCorners(REGION_QUAD *q, const POINT_I32 *corners, int n, bool alongX) {
    POINT_I32 *p = q->c;
    i32 keys[4];
    i32 values[4];
    const i64 span = alongX ? AbsDiff(p[kBottomLeft].y, p[kTopLeft].y) : AbsDiff(p[kTopRight].x, p[kTopLeft].x);
    for (int k = 0; k < n; ++k) {
        const POINT_I32 &c = corners[k];
        const i64 a = alongX ? AbsDiff(p[kTopLeft].x, c.x) : AbsDiff(p[kTopLeft].y, c.y);
        const i64 b = alongX ? AbsDiff(p[kTopRight].x, c.x) : AbsDiff(p[kBottomLeft].y, c.y);
        keys[k] = ClampToI32(span * (a > b ? a : b));
        values[k] = k | (a <= b ? 4 : 0);  // bit 2: nearer the left (top) edge
    }
    Geo_PartialSortPairs(keys, n, 1, values, 0);
    const POINT_I32 &c = corners[values[0] & 3];
    const bool nearStart = (values[0] & 4) != 0;
    if (alongX) {
        const int i0 = nearStart ? kTopLeft : kTopRight;
        const int i1 = nearStart ? kBottomLeft : kBottomRight;
        p[i0].x = c.x;
        p[i1].x = c.x;
    } else {
        const int i0 = nearStart ? kTopLeft : kBottomLeft;
        const int i1 = nearStart ? kTopRight : kBottomRight;
        p[i0].y = c.y;
        p[i1].y = c.y;
    }
}

// Writes one stored result as the next entry; 0 when the list or the pool has no room.
int AppendOne(int i, const char aim[3], const SYM_MODULE &m) {
    const RESULT_STORE &s = g_params.resultStore;
    if (s.storedLength[i] > kStoredResultBytes) return 0;
    return Dec_AppendListEntry(i == 0 ? s.storedData0 : s.storedData1, s.storedLength[i], &s.storedQuad[i], aim, m);
}

}  // namespace

int Dec_AppendListEntry(const u8 *text, i32 length, const REGION_QUAD *outline, const char aim[3],
                        const SYM_MODULE &m) {
    MULTI_RESULT_LIST &l = g_multiList;
    const int n = l.entryCount;
    if (n < 0 || n >= kMultiEntries) return 0;
    const i32 offset = l.textOffset[n];
    if (length < 0 || Dec_FitsTextPool(offset, length) == 0) return 0;
    if (length > 0 && text == nullptr) return 0;
    const MODULE_HEADER &h = g_state.moduleHeader;
    if (h.codeChar >= kClassCount) return 0;
    l.classCount[h.codeChar] += 1;
    l.entries[n] = MULTI_ENTRY{outline != nullptr ? *outline : REGION_QUAD{}, length, h.kind, h.symbologyNumber,
                               static_cast<i32>(h.codeChar)};
    if (length > 0) std::memcpy(l.textPool + offset, text, static_cast<size_t>(length));
    std::memcpy(&l.aimBytes[3 * n], aim, 3);
    l.append[n] = APPEND_RECORD{};
    if (m.getAppendPresent != nullptr && m.getAppendPresent() != 0) {
        l.append[n] = APPEND_RECORD{1, m.getAppendIndex != nullptr ? m.getAppendIndex() : 0,
                                    m.getAppendIndex2 != nullptr ? m.getAppendIndex2() : 0,
                                    m.getAppendCount != nullptr ? m.getAppendCount() : 0,
                                    m.getFileIdLength != nullptr ? m.getFileIdLength() : 0};
    }
    l.entryCount = n + 1;
    l.textTotal += length;
    l.textOffset[n + 1] = l.textTotal;
    l.aimOffset[n + 1] = static_cast<u16>(3 * (n + 1));
    return 1;
}

void Dec_RecordDecodedQuad(const REGION_QUAD *q) {
    if (q == nullptr) return;
    const u16 capacity = g_state.decodedQuadCapacity < kMaxDecodedQuads ? g_state.decodedQuadCapacity
                                                                        : static_cast<u16>(kMaxDecodedQuads);
    if (g_state.decodedQuadCount >= capacity) return;
    g_state.decodedQuads[g_state.decodedQuadCount] = *q;
    if (g_state.matrixIndex <= kLastLocatedMatrix) ++g_state.decodedQuadCount;
}

void Dec_ResetDecodedQuads() {
    g_state.decodedQuadCount = 0;
    g_state.decodedQuadCapacity = kMaxDecodedQuads;
}

void Dec_TrimRegionByDecoded(REGION_QUAD *q) {
    if (q == nullptr) return;
    const int count = g_state.decodedQuadCount < kMaxDecodedQuads ? g_state.decodedQuadCount : kMaxDecodedQuads;
    for (int i = 0; i < count; ++i) {
        const REGION_QUAD &d = g_state.decodedQuads[i];
        POINT_I32 inside[4];
        int n = 0;
        for (const POINT_I32 &c : d.c) {
            if (Geo_PointInQuad(&c, q) != 0) inside[n++] = c;
        }
        if (n == 0) return;
        const bool alongX = AbsDiff(d.c[kTopLeft].x, d.c[kTopRight].x) > AbsDiff(d.c[kTopLeft].y, d.c[kTopRight].y);
        TrimAgainstCorners(q, inside, n, alongX);
    }
}

int Dec_GateMultiResult(const REGION_QUAD *q) {
    const i32 stored = g_params.resultStore.storedCount;
    if (g_state.moduleHeader.codeChar >= kClassCount || (stored != 1 && stored != 2)) return 0;
    return Dec_AppendStoredResults(q) == 1 ? 1 : 0;
}

// The duplicate test is not asked here: it refuses every structured-append symbol while
// its symbology requires joined reading, which would keep the parts of a set out of the
// list that joins them.
int Dec_AppendStoredResults(const REGION_QUAD *) {
    const int index = g_state.matrixIndex;
    if (index < 0 || index >= kMatrixModules) return 0;
    const SYM_MODULE &m = g_modules.matrix[index];
    if (m.getRawLength == nullptr || m.getRawData == nullptr || m.writeAimId == nullptr) return 0;
    if (m.getRawData() == nullptr) return 0;
    char aim[3] = {0, 0, 0};
    m.writeAimId(aim);
    const i32 stored = g_params.resultStore.storedCount;
    if (stored < 1) return 1;
    if (g_state.moduleHeader.codeChar >= kClassCount) return 0;
    const int count = stored < 2 ? stored : 2;
    for (int i = 0; i < count; ++i) {
        if (AppendOne(i, aim, m) == 0) return 0;
    }
    return 1;
}

int Dec_CheckDuplicateResult(int mode) {
    const int index = g_state.matrixIndex;
    if (index < 0 || index >= kMatrixModules) return 1;
    const SYM_MODULE &m = g_modules.matrix[index];
    if (m.getAppendPresent == nullptr || m.getAppendPresent() == 0) return 1;
    if (g_state.moduleHeader.kind != kKindMatrix) return 1;
    const int count = mode == 0 ? 1 : kMultiEntries;
    for (int i = 0; i < count; ++i) {
        const MULTI_ENTRY &e = g_multiList.entries[i];
        if (e.kind != kKindMatrix) continue;
        const TakeTarget *t = FindTakeTarget(e.symbologyNumber);
        if (t != nullptr && e.symbologyNumber != kNumberMicroQr && RequiresJoinedPair(t->flagsIndex)) return 0;
    }
    return 1;
}

int Dec_TakePendingResult() {
    MULTI_RESULT_LIST &l = g_multiList;
    const int count = l.entryCount < kMultiEntries ? l.entryCount : kMultiEntries;
    int k = 0;
    while (k < count && l.append[k].appendFlag == 0) ++k;
    if (k >= count) return 0;
    const MULTI_ENTRY &e = l.entries[k];
    const i32 n = e.length;
    const i32 offset = l.textOffset[k];
    if (n < 0 || Dec_FitsTextPool(offset, n) == 0) return 0;
    std::memcpy(g_takenText, l.textPool + offset, static_cast<size_t>(n));
    g_takenText[n] = 0;
    std::memcpy(g_takenIds, &l.aimBytes[3 * k], 3);
    l.takenResult = MODULE_RESULT{};
    l.takenResult.kind = e.kind;
    l.takenResult.symbologyBit = e.symbologyNumber;
    if (n == 0) return 0;
    l.takenResult.data = g_takenText;
    l.takenResult.length = static_cast<u32>(n);
    const TakeTarget *t = FindTakeTarget(e.symbologyNumber);
    if (t == nullptr || RequiresJoinedPair(t->flagsIndex)) return 0;
    g_state.decodedModuleId = static_cast<u16>(t->moduleId);
    g_reported[t->reported] = REPORTED_RESULT{g_takenText, g_takenIds, n, kStatusDecoded};
    return 1;
}

}  // namespace vexo
