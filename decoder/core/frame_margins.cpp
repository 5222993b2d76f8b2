#include "core/frame_margins.h"

#include <algorithm>

#include "core/pixel.h"
#include "core/state.h"

namespace vexo {

FRAME_MARGINS g_frameMargins;
CANDIDATE_STORE g_candidateStore;

namespace {

// Entries of the position flag table asked by the PDF417 decoder; nothing writes them.
constexpr u8 kPositionFlags[12] = {};
static_assert(sizeof(kPositionFlags) == 12);

constexpr u32 kBmpHeaderBytes = 1078;

i32 MarginFor(i32 size, i32 used) {
    const i32 m = (size - used) >> 1;
    return m > 3 ? m : 4;
}

// v, but at least low; v, but at most high (the result always fits the bound's type).
i32 ClampLow(i64 v, i32 low) { return v > low ? static_cast<i32>(v) : low; }
i32 ClampHigh(i64 v, i32 high) { return v < high ? static_cast<i32>(v) : high; }

i32 Min4(i32 a, i32 b, i32 c, i32 d) { return std::min({a, b, c, d}); }
i32 Max4(i32 a, i32 b, i32 c, i32 d) { return std::max({a, b, c, d}); }

void FillRecordBox(CANDIDATE_RECORD *r, const REGION_QUAD &q) {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    const i32 top = Min4(q.c[0].y, q.c[1].y, q.c[2].y, q.c[3].y);
    const i32 left = Min4(q.c[0].x, q.c[1].x, q.c[2].x, q.c[3].x);
    const i32 right = Max4(q.c[0].x, q.c[1].x, q.c[2].x, q.c[3].x);
    const i32 bottom = Max4(q.c[0].y, q.c[1].y, q.c[2].y, q.c[3].y);
    r->top = top <= 3 ? 4 : top;
    r->left = left <= 3 ? 4 : left;
    r->right = right >= w - 3 ? w - 4 : right;
    r->bottom = bottom >= h - 3 ? h - 4 : bottom;
}

bool QuadsEqual(const REGION_QUAD &a, const REGION_QUAD &b) {
    for (int k = 0; k < 4; ++k) {
        if (a.c[k].x != b.c[k].x || a.c[k].y != b.c[k].y) return false;
    }
    return true;
}

// Areas of boxes with any i32 corners need more than 64 bits.
using Wide = __int128;

Wide BoxArea(const PIXEL_BOX &b) {
    return static_cast<Wide>(static_cast<i64>(b.bottom) - b.top) * (static_cast<i64>(b.right) - b.left);
}

// part x 1024 / whole, truncated; 0 for an empty whole. The intersection lies inside both
// boxes, so the answer is at most 1024.
i32 Per1024(Wide part, Wide whole) {
    if (whole == 0) return 0;
    return static_cast<i32>(part * 1024 / whole);
}

void PutU16(u8 *p, u32 v) {
    p[0] = static_cast<u8>(v);
    p[1] = static_cast<u8>(v >> 8);
}

void PutU32(u8 *p, u32 v) {
    PutU16(p, v);
    PutU16(p + 2, v >> 16);
}

}  // namespace

void Dec_ComputeFrameMargins() {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    const i32 mx = MarginFor(w, 960);
    const i32 my = MarginFor(h, 640);
    g_frameMargins.firstColumn = mx;
    g_frameMargins.firstRow = my;
    g_frameMargins.lastColumn = w - 1 - mx;
    g_frameMargins.lastRow = h - 1 - my;
}

void Dec_ExpandCandidateBoxes(const ROI_BOX *boxes, i32 n, REGION_QUAD *out, i32 dx, i32 dy) {
    if (boxes == nullptr || out == nullptr) return;
    const FRAME_MARGINS &m = g_frameMargins;
    for (i32 i = 0; i < n; ++i) {
        const ROI_BOX &b = boxes[i];
        const i32 left = ClampLow(static_cast<i64>(b.left) - dx, m.firstColumn);
        const i32 right = ClampHigh(static_cast<i64>(b.right) + dx, m.lastColumn);
        const i32 top = ClampLow(static_cast<i64>(b.top) - dy, m.firstRow);
        const i32 bottom = ClampHigh(static_cast<i64>(b.bottom) + dy, m.lastRow);
        out[i] = REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}};
    }
}

int Dec_PointInBox(const REGION_QUAD *q, const i32 point[2]) {
    if (q == nullptr || point == nullptr) return 0;
    const i32 x = point[0];
    const i32 y = point[1];
    return q->c[0].x <= x && x <= q->c[1].x && q->c[0].y <= y && y <= q->c[2].y ? 1 : 0;
}

const REGION_QUAD *Dec_StoreCandidateBoxes(const REGION_QUAD *quads, i32 n, const i8 *codes, i32 value) {
    CANDIDATE_STORE &s = g_candidateStore;
    if (s.count < 0) s.count = 0;
    if (s.count >= kCandidateCapacity || quads == nullptr || codes == nullptr) return quads;
    i32 k = 0;
    while (k < n && s.count < kCandidateCapacity) {
        CANDIDATE_RECORD &r = s.records[s.count];
        r.quad = quads[k];
        FillRecordBox(&r, quads[k]);
        r.kind = kCandidateKindBox;
        r.value = value;
        r.code = codes[k];
        ++s.count;
        ++k;
    }
    return quads + k;
}

void Dec_MarkCandidateBox(const REGION_QUAD *q, i32 value) {
    if (q == nullptr) return;
    const i32 n = g_candidateStore.count < kCandidateCapacity ? g_candidateStore.count : kCandidateCapacity;
    for (i32 i = 0; i < n; ++i) {
        CANDIDATE_RECORD &r = g_candidateStore.records[i];
        if (QuadsEqual(r.quad, *q)) {
            r.mark = value;
            return;
        }
    }
}

int Dec_BoxOverlapRatios(const PIXEL_BOX *a, const PIXEL_BOX *b, i32 *ratioA, i32 *ratioB) {
    i32 ra = 0;
    i32 rb = 0;
    int answer = 0;
    if (a != nullptr && b != nullptr) {
        const i32 top = a->top > b->top ? a->top : b->top;
        const i32 bottom = a->bottom < b->bottom ? a->bottom : b->bottom;
        const i32 left = a->left > b->left ? a->left : b->left;
        const i32 right = a->right < b->right ? a->right : b->right;
        if (top < bottom && left < right) {
            const Wide inter = static_cast<Wide>(static_cast<i64>(bottom) - top) * (static_cast<i64>(right) - left);
            ra = Per1024(inter, BoxArea(*a));
            rb = Per1024(inter, BoxArea(*b));
            answer = 1;
        }
    }
    if (ratioA != nullptr) *ratioA = ra;
    if (ratioB != nullptr) *ratioB = rb;
    return answer;
}

void Dec_StoreCandidatePairs(const PIXEL_BOX *boxes, i32 n, const i8 *codes, i32 value) {
    if (boxes == nullptr || codes == nullptr) return;
    CANDIDATE_STORE &s = g_candidateStore;
    if (s.count < 0) s.count = 0;
    for (i32 k = 0; k < n && s.count < kCandidateCapacity; ++k) {
        CANDIDATE_RECORD &r = s.records[s.count];
        r.top = boxes[k].top;
        r.left = boxes[k].left;
        r.right = boxes[k].right;
        r.bottom = boxes[k].bottom;
        if (r.mark == 2) continue;
        r.mark = r.mark == 0 ? 2 : 3;
        r.code = codes[k];
        r.value = value;
        ++s.count;
    }
}

void Dec_FlipRows(const u8 *src, i32 rowLength, i32 rows, u8 *dst) {
    if (src == nullptr || dst == nullptr || rowLength <= 0 || rows <= 0) return;
    for (i32 r = 0; r < rows; ++r) {
        const u8 *from = src + static_cast<i64>(r) * rowLength;
        u8 *to = dst + static_cast<i64>(rows - 1 - r) * rowLength;
        for (i32 i = 0; i < rowLength; ++i) to[i] = from[i];
    }
}

u32 Dec_WriteBmpHeader(const void *, u32 width, u32 height, u8 *buffer) {
    const u32 pixels = width * height;
    const u32 fileSize = pixels + kBmpHeaderBytes;
    if (buffer == nullptr) return fileSize;
    for (u32 i = 0; i < kBmpHeaderBytes; ++i) buffer[i] = 0;
    buffer[0] = 0x42;
    buffer[1] = 0x4D;
    PutU32(buffer + 2, fileSize);
    PutU32(buffer + 10, kBmpHeaderBytes);
    PutU32(buffer + 14, 40);
    PutU32(buffer + 18, width);
    PutU32(buffer + 22, height);
    PutU16(buffer + 26, 1);
    PutU16(buffer + 28, 8);
    PutU32(buffer + 34, pixels);
    PutU32(buffer + 46, 256);
    for (u32 i = 0; i < 256; ++i) {
        u8 *entry = buffer + 54 + 4 * i;
        entry[0] = entry[1] = entry[2] = static_cast<u8>(i);
    }
    return fileSize;
}

void Dec_SetSmoothing(i32 value) { g_state.smoothing = value == 1 ? 1u : 0u; }

const char *Dec_TraceInit(const char *text) { return text; }
const char *Dec_TraceText(const char *text) { return text; }
i32 Dec_TraceCount(i32 number) { return number; }
const void *Dec_TracePointer(const void *pointer) { return pointer; }
const void *Dec_TraceObject(const void *record, i32) { return record; }
const void *Dec_TraceFlag(const void *pointer, i32) { return pointer; }
int Dec_TraceStageBegin() { return 0; }
int Dec_TraceStageEnd(const char *) { return 0; }
int Dec_TraceStepBegin() { return 0; }
int Dec_TraceStepEnd(const char *) { return 0; }
int Dec_TimeLimitReached() { return 0; }

int Dec_TestPositionFlag(u32 pos) { return pos <= 11 && kPositionFlags[pos] != 0 ? 1 : 0; }

}  // namespace vexo
