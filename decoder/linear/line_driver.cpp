#include "linear/line_driver.h"

#include <cstring>
#include <initializer_list>

#include "core/params.h"
#include "linear/code128.h"
#include "linear/line_edge_input.h"
#include "linear/line_table.h"

namespace vexo {

LINE_DRIVER_STATE g_lineDriver;
u16 g_lineEdgeWidthRoom[kLineEdgeRoom];
u16 g_lineEdgePositionRoom[kLineEdgeRoom];
LINEIMG_EDGE_INPUT g_lineEdgeInput = {
    .edgeCount = 0, .widthCount = 0, .sampleCount = 0, .widths = g_lineEdgeWidthRoom, .edges = g_lineEdgePositionRoom};

namespace {

// What one candidate's decode leaves for the rest of Line_TryRecord.
enum class Decoded { kNextCandidate, kEndRecord, kJudge };

// A locate slot advances behind each failed candidate, so a line yields a bounded number of
// them: each alignment once per phase (at most ten phases) in either direction. The budget
// only stops a slot that would hand out the same candidate forever.
u32 CandidateBudget(u32 edgeCount) { return 16 + 24 * edgeCount; }

bool IdEnabled(u16 id) {
    return id < sizeof g_params.flagsWord / sizeof g_params.flagsWord[0] &&
           (g_params.flagsWord[id] & kFlagEnabled) != 0;
}

bool Code128ResetPerLine() {
    return ((g_params.flagsWord[kSymCode128] | g_params.flagsWord[kSymGs1128] |
             g_params.flagsWord[kSymCode128Fnc1Second]) &
            kFlagCode128ResetPerLine) != 0;
}

void MoveToFront(int index) {
    const LINE_SYMBOLOGY rec = g_lineTable.records[index];
    for (int k = index; k > 0; --k) g_lineTable.records[k] = g_lineTable.records[k - 1];
    g_lineTable.records[0] = rec;
}

void ClearSlots(LINE_DRIVER_STATE &s) {
    std::memset(s.results, 0, sizeof s.results);
    std::memset(s.aux, 0, sizeof s.aux);
    std::memset(s.rows, 0, sizeof s.rows);
    std::memset(s.segments, 0, sizeof s.segments);
    std::memset(s.rowItems, 0, sizeof s.rowItems);
    std::memset(s.text, 0, sizeof s.text);
    for (int i = 0; i < kLineResultSlots; ++i) {
        s.results[i].aux = &s.aux[i];
        s.results[i].rows = &s.rows[i];
        s.results[i].aimLetter = 'X';
        s.results[i].aimModifier = '0';
    }
    s.results[0].data = s.text;
    s.results[0].capacity = kLineTextCapacity;
    s.aux[0].segments = s.segments;
    s.aux[0].segmentCapacity = kLineSegmentCapacity;
    s.rows[0].items = s.rowItems;
    s.rows[0].capacity = kLineRowCapacity;
}

// The counts of the caller's edge list that both of its arrays can back.
void BoundEdgeCounts(LINE_DRIVER_STATE &s) {
    const LINEIMG_EDGE_INPUT &in = g_lineEdgeInput;
    u32 n = in.edgeCount;
    if (in.edges == nullptr || in.widths == nullptr || in.widthCount < 0) n = 0;
    if (n > static_cast<u32>(in.widthCount) + 1) n = static_cast<u32>(in.widthCount) + 1;
    s.edgeCount = static_cast<u16>(n);
    s.widthCount = static_cast<u16>(n > 0 ? n - 1 : 0);
}

void FillContext(LINE_DRIVER_STATE &s) {
    LINE_CONTEXT &c = s.context;
    c = LINE_CONTEXT{};
    c.results = s.results;
    c.wanted = kLineResultsWanted;
    c.capacity = kLineResultSlots;
    c.widths = &g_lineEdgeInput.widths;
    c.widthCount = &s.widthCount;
    c.edges = &g_lineEdgeInput.edges;
    c.edgeCount = &s.edgeCount;
    c.verifyOn = 1;
    c.lineLength = static_cast<u32>(g_lineEdgeInput.sampleCount) * 16u;
    c.attemptLimit = kLineAttemptLimit;
}

void ResetCandidateAux() {
    LINE_DRIVER_STATE &s = g_lineDriver;
    s.candidateAux = LINE_AUX{};
    std::memset(s.candidateSegments, 0, sizeof s.candidateSegments);
    s.candidateAux.segments = s.candidateSegments;
    s.candidateAux.segmentCapacity = kLineSegmentCapacity;
}

LINE_DECODE_CTX BuildDecodeContext(const LINE_CONTEXT &line, const LINE_LOCATE_STATE &st, LINE_RESULT &slot,
                                   i16 direction) {
    const u16 s = st.startIndex;
    const u16 e = st.endIndex;
    LINE_DECODE_CTX ctx{};
    ctx.widths = st.widths + s;
    ctx.widthCount = st.widthCount;
    ctx.direction = direction;
    ctx.data = slot.data;
    ctx.capacity = slot.capacity;
    ctx.locateValue = st.locateValue;
    ctx.edges = st.edges + s;
    ctx.elementCount = static_cast<u16>((s > e ? s - e : e - s) + 1);
    ctx.edgesBase = st.edges;
    ctx.edgeCount = st.edgeCount;
    ctx.aimLetter = slot.aimLetter;  // "X0" stands until a verify slot sets its own
    ctx.aimModifier = slot.aimModifier;
    ctx.startIndex = s;
    ctx.endIndex = e;
    ctx.aux = &g_lineDriver.candidateAux;
    ctx.rows = slot.rows;
    ctx.option1 = line.option1;
    ctx.option2 = line.option2;
    ctx.option3 = line.option3;
    return ctx;
}

u16 RowState(const LINE_DECODE_CTX &ctx) { return ctx.rows != nullptr ? ctx.rows->state : 0; }

void StoreCandidateDirection(i16 direction) { g_lineDriver.candidateSegments[0].direction = direction; }

// Steps after the decode slot: whether the candidate goes to judgement (with *v set), the
// record tries its next candidate, or the record is done with the line.
Decoded AfterDecode(const LINE_SYMBOLOGY *rec, LINE_CONTEXT *line, LINE_DECODE_CTX &ctx, u16 n, int *v) {
    const LINE_AUX &cand = g_lineDriver.candidateAux;
    if (n > 0) {
        StoreCandidateDirection(ctx.direction);
        *v = line->verifyOn != 1 ? 1 : (rec->verify != nullptr ? rec->verify(&ctx) : 0);
        return Decoded::kJudge;
    }
    if (cand.kind == 0 && RowState(ctx) == 0) return Decoded::kNextCandidate;
    StoreCandidateDirection(ctx.direction);
    if (cand.kind == 1) {
        Line_AccumulateSegment(line->results[0].aux, &cand);
        if (cand.variant == 1) Line_LogAttempt(line, kAttemptStackedRow, ctx.direction);
        if (cand.variant == 3) Line_LogAttempt(line, kAttemptExpandedRow, ctx.direction);
        return Decoded::kEndRecord;
    }
    if (RowState(ctx) == 1) return Decoded::kEndRecord;
    *v = 1;  // an accepted result of length 0
    return Decoded::kJudge;
}

void StoreResult(LINE_CONTEXT *line, LINE_RESULT &slot, const LINE_DECODE_CTX &ctx) {
    LINE_RESULT &first = line->results[0];
    LINE_AUX &firstAux = *first.aux;
    firstAux.variant = g_lineDriver.candidateAux.variant;
    Line_AccumulateSegment(&firstAux, &g_lineDriver.candidateAux);
    Line_LogAttempt(line, kAttemptRead, ctx.direction);

    slot.length = ctx.length;
    slot.symbologyId = ctx.symbologyId;
    slot.aimLetter = ctx.aimLetter;
    slot.aimModifier = ctx.aimModifier;
    slot.direction = ctx.direction;
    slot.linkFlag = ctx.linkFlag;
    first.direction = ctx.direction;
    if (firstAux.segments != nullptr && firstAux.segmentCapacity > 0) firstAux.segments[0].direction = ctx.direction;
    firstAux.elementFirst = ctx.startIndex < ctx.endIndex ? ctx.startIndex : ctx.endIndex;
    firstAux.elementLast = ctx.startIndex < ctx.endIndex ? ctx.endIndex : ctx.startIndex;
}

int NonEmptyResults(const LINE_CONTEXT *line) {
    int k = 0;
    for (int i = 0; i < line->count; ++i) k += line->results[i].length != 0 ? 1 : 0;
    return k;
}

// The next slot continues in the room the stored one left.
void PrepareNextSlot(LINE_CONTEXT *line, const LINE_RESULT &prev) {
    LINE_RESULT &next = line->results[line->count];
    const u16 used = prev.length < prev.capacity ? prev.length : prev.capacity;
    next.data = prev.data != nullptr ? prev.data + used : nullptr;
    next.capacity = static_cast<u16>(prev.capacity - used);
    if (prev.aux != nullptr && next.aux != nullptr && prev.aux->segments != nullptr) {
        const u16 n = prev.aux->segmentCount < prev.aux->segmentCapacity ? prev.aux->segmentCount
                                                                          : prev.aux->segmentCapacity;
        next.aux->segments = prev.aux->segments + n;
        next.aux->segmentCapacity = static_cast<u16>(prev.aux->segmentCapacity - n);
    }
    if (prev.rows != nullptr && next.rows != nullptr && prev.rows->items != nullptr) {
        const u16 n = prev.rows->count < prev.rows->capacity ? prev.rows->count : prev.rows->capacity;
        next.rows->items = prev.rows->items + n;
        next.rows->capacity = static_cast<u16>(prev.rows->capacity - n);
    }
}

// Steps 8 to 11 for a candidate that reached judgement: 1 stored, 0 the record ends,
// -1 the next candidate.
int Judge(LINE_CONTEXT *line, LINE_RESULT &slot, const LINE_DECODE_CTX &ctx, int v, int *goOn) {
    if (ctx.errorCode == kLineErrorLength || ctx.errorCode == kLineErrorCheck) {
        Line_LogAttempt(line, ctx.errorCode, ctx.direction);
        *goOn = 0;
        return 0;
    }
    if (ctx.linkFlag == 0 && !IdEnabled(ctx.symbologyId)) {
        Line_LogAttempt(line, kAttemptDisabled, ctx.direction);
        *goOn = 0;
        return 0;
    }
    // A length beyond the slot's room cannot be a read of this slot.
    if (v == 0 || ctx.length > slot.capacity) return -1;
    StoreResult(line, slot, ctx);
    line->count = static_cast<u16>(line->count + 1);
    if (line->count < line->capacity && NonEmptyResults(line) < line->wanted) PrepareNextSlot(line, slot);
    *goOn = 0;
    return 1;
}

}  // namespace

void Line_LogAttempt(LINE_CONTEXT *line, u8 code, i16 direction) {
    const u8 limit = line->attemptLimit < kLineAttemptLimit ? line->attemptLimit : kLineAttemptLimit;
    if (line->attemptCount >= limit) return;
    line->attemptCodes[line->attemptCount] = code;
    if (code == kAttemptRead || code == kAttemptStackedRow || code == kAttemptExpandedRow)
        line->attemptDirections[line->attemptCount] = static_cast<i8>(direction);
    line->attemptCount = static_cast<u8>(line->attemptCount + 1);
}

void Line_AccumulateSegment(LINE_AUX *list, const LINE_AUX *from) {
    if (list == nullptr || from == nullptr || from->segments == nullptr || from->segmentCapacity == 0) return;
    const LINE_AUX_ENTRY &e = from->segments[0];
    if (e.value1 == 0 && e.value2 == 0 && e.finder == 0 && e.present == 0) return;
    if (list->segments == nullptr) return;
    const u16 count = list->segmentCount < list->segmentCapacity ? list->segmentCount : list->segmentCapacity;
    for (u16 i = 0; i < count; ++i) {
        LINE_AUX_ENTRY &held = list->segments[i];
        if (held.value1 == e.value1 && held.finder == e.finder && held.value2 == e.value2) {
            if (held.count < 0xFFFF) ++held.count;
            return;
        }
    }
    if (list->segmentCount >= list->segmentCapacity) return;
    LINE_AUX_ENTRY &added = list->segments[list->segmentCount];
    added = LINE_AUX_ENTRY{};
    added.value1 = e.value1;
    added.value2 = e.value2;
    added.finder = e.finder;
    added.present = e.present;
    added.direction = e.direction;
    added.count = e.present != 0 ? 1 : 0;
    list->segmentCount = static_cast<u16>(list->segmentCount + 1);
}

int Line_TryRecord(const LINE_SYMBOLOGY *rec, LINE_CONTEXT *line, int *goOn) {
    if (rec->locate == nullptr || line->count >= line->capacity) return 0;
    LINE_RESULT &slot = line->results[line->count];
    LINE_LOCATE_STATE st{};
    st.widths = *line->widths;
    st.widthCount = *line->widthCount;
    st.edges = *line->edges;
    st.edgeCount = *line->edgeCount;
    st.lineLength = line->lineLength;
    const u32 n = st.edgeCount;
    for (u32 budget = CandidateBudget(n); budget > 0; --budget) {
        if (rec->locate(&st) != 1) return 0;
        st.found = 1;
        const u16 s = st.startIndex;
        const u16 e = st.endIndex;
        if (s >= n || e >= n) return 0;  // a candidate off the line: nothing more to read
        const bool reversed = s > e;
        slot.startPos = st.edges[reversed ? e : s];
        slot.endPos = st.edges[reversed ? s : e];
        st.nextPos = static_cast<u16>((reversed ? s : e) + 1);

        ResetCandidateAux();
        LINE_DECODE_CTX ctx = BuildDecodeContext(*line, st, slot, reversed ? -1 : 1);
        const u16 count = rec->decode != nullptr ? rec->decode(&ctx) : 0;
        ctx.length = count;
        int v = 0;
        const Decoded d = AfterDecode(rec, line, ctx, count, &v);
        if (d == Decoded::kEndRecord) return 0;
        if (d == Decoded::kNextCandidate) continue;
        const int outcome = Judge(line, slot, ctx, v, goOn);
        if (outcome >= 0) return outcome;
    }
    return 0;
}

int Line_WalkTable(LINE_CONTEXT *line) {
    int goOn = 1;
    if (Code128ResetPerLine()) Code128_Reset();
    for (int i = 0; i < kLineRecordCount; ++i) {
        const LINE_SYMBOLOGY rec = g_lineTable.records[i];
        if (rec.isEnabled == nullptr) continue;
        if (Line_TryRecord(&rec, line, &goOn) == 1 && i > 0) MoveToFront(i);
        if (goOn == 0) break;
    }
    return line->count != 0 ? 1 : 0;
}

int Line_PickNearestResult(const LINE_RESULT *results, int count, u32 lineLength) {
    const i64 half = lineLength / 2;
    i64 best = -1;
    int chosen = -1;
    for (int i = 0; i < count; ++i) {
        if (results[i].length == 0) continue;
        for (const u16 pos : {results[i].startPos, results[i].endPos}) {
            const i64 d = pos > half ? pos - half : half - pos;
            if (best < 0 || d < best) {
                best = d;
                chosen = i;
            }
        }
    }
    return chosen;
}

int Line_DecodeEdgeLine() {
    LINE_DRIVER_STATE &s = g_lineDriver;
    s.walkOk = 0;
    ClearSlots(s);
    BoundEdgeCounts(s);
    FillContext(s);
    s.walkOk = Line_WalkTable(&s.context);
    if (s.walkOk == 0) return 0;
    const int chosen = Line_PickNearestResult(s.results, s.context.count, s.context.lineLength);
    if (chosen < 0) return 0;
    if (chosen != 0) s.results[0] = s.results[chosen];
    return 1;
}

u8 *Line_GetResultData() { return g_lineDriver.walkOk == 1 ? g_lineDriver.results[0].data : nullptr; }

u16 Line_GetResultLength() { return g_lineDriver.walkOk == 1 ? g_lineDriver.results[0].length : 0; }

u16 Line_GetResultSymbology() { return g_lineDriver.walkOk == 1 ? g_lineDriver.results[0].symbologyId : 0; }

char *Line_WriteResultAimId(char *buf) {
    if (buf == nullptr) return nullptr;
    buf[0] = ']';
    buf[1] = 'X';
    buf[2] = '0';
    if (g_lineDriver.walkOk == 1) {
        buf[1] = g_lineDriver.results[0].aimLetter;
        buf[2] = g_lineDriver.results[0].aimModifier;
    }
    return buf;
}

u16 Line_GetResultLinkFlag() { return g_lineDriver.results[0].linkFlag; }

u16 Line_GetResultAuxDirection() {
    const LINE_AUX *aux = g_lineDriver.results[0].aux;
    if (aux == nullptr || aux->segments == nullptr || aux->segmentCapacity == 0) return 0;
    return static_cast<u16>(aux->segments[0].direction);
}

int Line_GetResultAuxValue() {
    const LINE_AUX *aux = g_lineDriver.results[0].aux;
    return aux != nullptr ? aux->variant : 0;
}

void Line_GetResultElementRange(i32 *first, i32 *last) {
    const LINE_AUX *aux = g_lineDriver.results[0].aux;
    if (first != nullptr) *first = aux != nullptr ? aux->elementFirst : 0;
    if (last != nullptr) *last = aux != nullptr ? aux->elementLast : 0;
}

u8 Line_CopyAttemptCodes(u8 *out) {
    const LINE_CONTEXT &c = g_lineDriver.context;
    if (out != nullptr) std::memcpy(out, c.attemptCodes, c.attemptCount);
    return c.attemptCount;
}

u8 Line_CopyAttemptDirections(i16 *out) {
    const LINE_CONTEXT &c = g_lineDriver.context;
    for (u8 i = 0; out != nullptr && i < c.attemptCount; ++i) out[i] = c.attemptDirections[i];
    return c.attemptCount;
}

int Line_CopyPartialSegment(LINE_AUX *out) {
    const LINE_CONTEXT &c = g_lineDriver.context;
    const LINE_AUX *first = g_lineDriver.results[0].aux;
    if (c.attemptFirst >= c.attemptCount || out == nullptr || first == nullptr) return 0;
    bool partial = false;
    for (u8 i = c.attemptFirst; i < c.attemptCount; ++i)
        partial = partial || c.attemptCodes[i] == kAttemptStackedRow || c.attemptCodes[i] == kAttemptExpandedRow;
    out->elementFirst = first->elementFirst;
    out->elementLast = first->elementLast;
    std::memcpy(out->attemptCodes, c.attemptCodes, c.attemptCount);
    out->attemptCount = c.attemptCount;
    if (!partial) return 0;
    const u16 n = first->segmentCount < kLineSegmentCapacity ? first->segmentCount : kLineSegmentCapacity;
    out->segmentCount = n;
    if (out->segments != nullptr && first->segments != nullptr)
        std::memcpy(out->segments, first->segments, sizeof(LINE_AUX_ENTRY) * n);
    out->kind = first->kind;
    out->linked = first->linked;
    out->variant = first->variant;
    return 1;
}

void Line_ResetAllRecords() {
    for (const LINE_SYMBOLOGY &rec : g_lineTable.records)
        if (rec.reset != nullptr) rec.reset();
}

void Line_Reset() { Line_ResetAllRecords(); }

}  // namespace vexo
