#include "locate/region_select.h"

#include <cmath>
#include <cstring>

#include "core/frame_margins.h"
#include "core/pixel.h"
#include "core/state.h"

namespace vexo {

ROI_BOX g_roiTable[kRoiTableSize];

namespace {

constexpr i32 kMaxFrameSide = 1280;
// Block rows of the largest window a frame of at most 1280 rows can give.
constexpr int kMaxBlockRows = kMaxFrameSide / 8;
constexpr int kMaxDeviationSamples = 2048;

// Textured-block test: gradient energy G of the 3 x 3 corner of a block against its
// brightness sum S and its strongest single gradient M.
constexpr i32 kMinGradientEnergy = 431;
constexpr i32 kEnergyPerBrightness = 1024;
constexpr i32 kPeakPerBrightness = 4608;
// A mark survives the filter with at least this many marks among its 37 neighbours.
constexpr int kMinNeighbourMarks = 21;

constexpr int kCentredWidth = 480;
constexpr int kCentredHeight = 320;

// Directions 0..7: east, then clockwise (y grows downwards).
constexpr int kDirX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kDirY[8] = {0, 1, 1, 1, 0, -1, -1, -1};
static_assert(sizeof(kDirX) == 8 * sizeof(int) && sizeof(kDirY) == 8 * sizeof(int));

// Bump area over the second buffer; rebuilt for every block search.
struct Scratch {
    u8 *next;
    i32 remaining;
};
Scratch g_scratch;

// Row spans of the group being traced, indexed by block row.
i16 g_rowMin[kMaxBlockRows];
i16 g_rowMax[kMaxBlockRows];

int g_samples[kMaxDeviationSamples];

bool ScratchReset() {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    g_scratch = Scratch{nullptr, 0};
    if (g_image.data == nullptr || g_image.buffer2 == nullptr) return false;
    if (w <= 0 || h <= 0 || w > kMaxFrameSide || h > kMaxFrameSide) return false;
    const i64 bytes = static_cast<i64>(w) * h;
    if (bytes > kInternalImageBytes) return false;
    g_scratch.next = g_image.buffer2;
    g_scratch.remaining = static_cast<i32>(bytes);
    std::memset(g_scratch.next, 0, static_cast<size_t>(bytes));
    return true;
}

// n bytes rounded down to a multiple of 4, plus 4; nullptr when the area cannot hold them.
u8 *ScratchAlloc(i64 n) {
    if (n <= 0 || g_scratch.next == nullptr) return nullptr;
    const i64 step = n - (n % 4) + 4;
    if (step > g_scratch.remaining) return nullptr;
    u8 *p = g_scratch.next;
    g_scratch.next += step;
    g_scratch.remaining -= static_cast<i32>(step);
    return p;
}

// Room after the current next, not handed out.
u8 *ScratchPeek(i64 n) {
    if (n <= 0 || g_scratch.next == nullptr || n > g_scratch.remaining) return nullptr;
    return g_scratch.next;
}

bool PlaneUsable(const BYTE_PLANE *p) {
    return p != nullptr && p->data != nullptr && p->width > 0 && p->height > 0;
}

bool WindowInsideFrame(const ROI_BOX &win) {
    return win.top >= 0 && win.left >= 0 && win.bottom < g_image.height && win.right < g_image.width;
}

// Every product fits 32 bits: S <= 9 x 255, G <= 9 x 2 x 255^2, so 1024 G < 2^31.
bool BlockTextured(const u8 *p, i32 stride) {
    i32 g = 0;
    i32 peak = 0;
    i32 s = 0;
    for (int r = 0; r < 3; ++r) {
        const u8 *row = p + r * stride;
        const u8 *below = row + stride;
        for (int c = 0; c < 3; ++c) {
            const i32 dx = row[c + 1] - row[c];
            const i32 dy = below[c] - row[c];
            const i32 v = dx * dx + dy * dy;
            g += v;
            peak = v > peak ? v : peak;
            s += row[c];
        }
    }
    if (g <= kMinGradientEnergy) return false;
    const i32 s2 = s * s;
    return s2 <= kEnergyPerBrightness * g && s2 <= kPeakPerBrightness * peak;
}

// Horizontal mark counts over |dx| <= reach of one map row (outside counts as unmarked),
// as a sliding window.
void RowSums(const u8 *row, i32 width, int reach, u8 *out) {
    int n = 0;
    for (i32 x = 0; x < reach && x < width; ++x) n += row[x] & 1;
    for (i32 x = 0; x < width; ++x) {
        if (x + reach < width) n += row[x + reach] & 1;
        if (x - reach - 1 >= 0) n -= row[x - reach - 1] & 1;
        out[x] = static_cast<u8>(n);
    }
}

// count[x] = marks among the 37 neighbours of every block of row y: the |dx| <= 3 sums of
// rows y - 1 .. y + 1, the |dx| <= 2 sums of rows y +- 2 (the |dx| <= 1 sums plus the
// blocks at distance 2) and the |dx| <= 1 sums of rows y +- 3.
void NeighbourCounts(const BYTE_PLANE &m, const u8 *sum1, const u8 *sum3, i32 y, u8 *count) {
    const i32 w = m.width;
    std::memset(count, 0, static_cast<size_t>(w));
    for (i32 dy = -3; dy <= 3; ++dy) {
        const i32 yy = y + dy;
        if (yy < 0 || yy >= m.height) continue;
        const i64 at = static_cast<i64>(yy) * w;
        const int reach = dy < 0 ? -dy : dy;
        const u8 *src = reach <= 1 ? sum3 + at : sum1 + at;
        for (i32 x = 0; x < w; ++x) count[x] = static_cast<u8>(count[x] + src[x]);
        if (reach != 2) continue;
        const u8 *row = m.data + at;
        for (i32 x = 2; x < w; ++x) count[x] = static_cast<u8>(count[x] + (row[x - 2] & 1));
        for (i32 x = 0; x + 2 < w; ++x) count[x] = static_cast<u8>(count[x] + (row[x + 2] & 1));
    }
}

void ClearBorder(BYTE_PLANE *m) {
    const i32 w = m->width;
    const i32 h = m->height;
    std::memset(m->data, 0, static_cast<size_t>(w));
    std::memset(m->data + static_cast<i64>(h - 1) * w, 0, static_cast<size_t>(w));
    for (i32 y = 0; y < h; ++y) {
        m->data[static_cast<i64>(y) * w] = 0;
        m->data[static_cast<i64>(y) * w + w - 1] = 0;
    }
}

inline bool Marked(const BYTE_PLANE &m, i32 x, i32 y) {
    return static_cast<u32>(x) < static_cast<u32>(m.width) && static_cast<u32>(y) < static_cast<u32>(m.height) &&
           m.data[static_cast<i64>(y) * m.width + x] != 0;
}

// The first marked neighbour of (x, y) clockwise from prev + 1, or -1.
int NextDirection(const BYTE_PLANE &m, i32 x, i32 y, int prev) {
    for (int k = 1; k <= 7; ++k) {
        const int d = (prev + k) & 7;
        if (Marked(m, x + kDirX[d], y + kDirY[d])) return d;
    }
    return -1;
}

i16 ToI16(i32 v) { return static_cast<i16>(v); }

void BlockBoxToPixels(ROI_BOX *b, const ROI_BOX &win) {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    i32 top = ToI16(win.top + 8 * b->top - 12);
    i32 bottom = ToI16(win.top + 8 * b->bottom + 20);
    i32 left = ToI16(win.left + 8 * b->left - 12);
    i32 right = ToI16(win.left + 8 * b->right + 20);
    if (top < 0) top = 0;
    if (left < 0) left = 0;
    if (right >= w) right = w - 1;
    if (bottom >= h) bottom = h - 1;
    *b = ROI_BOX{ToI16(top), ToI16(bottom), ToI16(left), ToI16(right)};
}

bool Contains(const ROI_BOX &outer, const ROI_BOX &inner) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

// The search window: the frame margins on large frames, else 4 pixels in from each edge.
ROI_BOX SearchWindow() {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    if (w >= 1280 || h >= 960) {
        const FRAME_MARGINS &m = g_frameMargins;
        return ROI_BOX{ToI16(m.firstRow), ToI16(m.lastRow), ToI16(m.firstColumn), ToI16(m.lastColumn)};
    }
    return ROI_BOX{4, ToI16(h - 4), 4, ToI16(w - 4)};
}

ROI_BOX CentredBox() {
    const i32 left = (g_image.width - kCentredWidth) >> 1;
    const i32 top = (g_image.height - kCentredHeight) >> 1;
    return ROI_BOX{ToI16(top), ToI16(top + kCentredHeight), ToI16(left), ToI16(left + kCentredWidth)};
}

REGION_QUAD BoxQuad(i32 left, i32 top, i32 right, i32 bottom) {
    return REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}};
}

}  // namespace

int Loc_SelectRegions(REGION_QUAD *out) {
    if (out == nullptr) return 0;
    Dec_ComputeFrameMargins();
    ROI_BOX window = SearchWindow();
    int n = Loc_FindBlockRegions(g_roiTable, kRoiTableSize, &window);
    Loc_WidenRegions(g_roiTable, n);
    if (n == 0) {
        g_roiTable[0] = CentredBox();
        n = 1;
    }
    n = Loc_DropContainedRegions(g_roiTable, n);
    Dec_ExpandCandidateBoxes(g_roiTable, n, out, 0, 0);
    return n;
}

int Loc_FindBlockRegions(ROI_BOX *out, u32 capacity, ROI_BOX *window) {
    if (out == nullptr || window == nullptr) return 0;
    if (!ScratchReset() || !WindowInsideFrame(*window)) return 0;
    BYTE_PLANE half{};
    BYTE_PLANE blocks{};
    Loc_HalveWindow(&half, window);
    Loc_MarkTexturedBlocks(&blocks, &half);
    Loc_FilterBlockMap(&blocks);
    const int n = Loc_CollectBlockRegions(out, capacity, &blocks);
    for (int i = 0; i < n; ++i) BlockBoxToPixels(&out[i], *window);
    return n;
}

void Loc_HalveWindow(BYTE_PLANE *half, ROI_BOX *window) {
    if (half == nullptr) return;
    *half = BYTE_PLANE{};
    if (window == nullptr || g_image.data == nullptr || !WindowInsideFrame(*window)) return;
    const i32 hh = (window->bottom - window->top + 1) / 2;
    const i32 hw = (window->right - window->left + 1) / 2;
    if (hh <= 0 || hw <= 0) return;
    u8 *dst = ScratchAlloc(static_cast<i64>(hw) * hh);
    if (dst == nullptr) return;
    const i32 stride = g_image.width;
    *half = BYTE_PLANE{dst, hw, hh};
    for (i32 r = 0; r < hh; ++r) {
        const u8 *row0 = g_image.data + static_cast<i64>(window->top + 2 * r) * stride + window->left;
        const u8 *row1 = row0 + stride;
        u8 *o = dst + static_cast<i64>(r) * hw;
        for (i32 c = 0; c < hw; ++c) {
            const int sum = row0[2 * c] + row0[2 * c + 1] + row1[2 * c] + row1[2 * c + 1];
            o[c] = static_cast<u8>((sum + 2) >> 2);
        }
    }
}

void Loc_MarkTexturedBlocks(BYTE_PLANE *blocks, BYTE_PLANE *half) {
    if (blocks == nullptr) return;
    *blocks = BYTE_PLANE{};
    if (!PlaneUsable(half)) return;
    const i32 bw = half->width / 4;
    const i32 bh = half->height / 4;
    if (bw <= 0 || bh <= 0) return;
    u8 *map = ScratchAlloc(static_cast<i64>(bw) * bh);
    if (map == nullptr) return;
    std::memset(map, 0, static_cast<size_t>(bw) * static_cast<size_t>(bh));
    *blocks = BYTE_PLANE{map, bw, bh};
    const i32 stride = half->width;
    for (i32 by = 0; by < bh; ++by) {
        const u8 *row = half->data + static_cast<i64>(4 * by) * stride;
        for (i32 bx = 0; bx < bw; ++bx) {
            if (BlockTextured(row + 4 * bx, stride)) map[static_cast<i64>(by) * bw + bx] = 1;
        }
    }
}

void Loc_FilterBlockMap(BYTE_PLANE *blocks) {
    if (!PlaneUsable(blocks)) return;
    const i32 w = blocks->width;
    const i32 h = blocks->height;
    const i64 cells = static_cast<i64>(w) * h;
    u8 *sum1 = ScratchPeek(2 * cells + w);
    if (sum1 == nullptr) {
        // No room to judge the marks: keep none rather than unfiltered noise.
        std::memset(blocks->data, 0, static_cast<size_t>(cells));
        return;
    }
    u8 *sum3 = sum1 + cells;
    u8 *count = sum3 + cells;
    for (i32 y = 0; y < h; ++y) {
        const u8 *row = blocks->data + static_cast<i64>(y) * w;
        RowSums(row, w, 1, sum1 + static_cast<i64>(y) * w);
        RowSums(row, w, 3, sum3 + static_cast<i64>(y) * w);
    }
    // Decisions read the unfiltered marks (bit 0); a dropped mark is flagged in bit 1 first.
    for (i32 y = 0; y < h; ++y) {
        NeighbourCounts(*blocks, sum1, sum3, y, count);
        u8 *row = blocks->data + static_cast<i64>(y) * w;
        for (i32 x = 0; x < w; ++x) {
            if ((row[x] & 1) != 0 && count[x] < kMinNeighbourMarks) row[x] |= 2;
        }
    }
    for (i64 i = 0; i < cells; ++i) blocks->data[i] = blocks->data[i] == 1 ? 1 : 0;
    ClearBorder(blocks);
}

int Loc_CollectBlockRegions(ROI_BOX *out, u32 capacity, BYTE_PLANE *blocks) {
    if (out == nullptr || !PlaneUsable(blocks)) return 0;
    u32 n = 0;
    for (i32 y = 0; y < blocks->height && n < capacity; ++y) {
        const u8 *row = blocks->data + static_cast<i64>(y) * blocks->width;
        for (i32 x = 0; x < blocks->width && n < capacity; ++x) {
            if (row[x] != 0 && Loc_TraceBlockRegion(&out[n], x, y, blocks) == 1) ++n;
        }
    }
    return static_cast<int>(n);
}

int Loc_TraceBlockRegion(ROI_BOX *out, int x, int y, BYTE_PLANE *blocks) {
    if (out == nullptr || !PlaneUsable(blocks) || blocks->height > kMaxBlockRows) return 0;
    if (!Marked(*blocks, x, y)) return 0;
    const BYTE_PLANE &m = *blocks;
    // Reached rows stay one contiguous span: every step moves at most one row.
    i32 topRow = y;
    i32 lowRow = y;
    g_rowMin[y] = g_rowMax[y] = ToI16(x);
    i32 cx = x;
    i32 cy = y;
    int prev = 5;
    // A boundary visits each block from at most eight sides.
    const i64 budget = 8 * static_cast<i64>(m.width) * m.height + 8;
    for (i64 step = 0; step < budget; ++step) {
        const int d = NextDirection(m, cx, cy, prev);
        if (d < 0) {
            m.data[static_cast<i64>(cy) * m.width + cx] = 0;
            return 0;
        }
        cx += kDirX[d];
        cy += kDirY[d];
        if (cy > lowRow || cy < topRow) {
            lowRow = cy > lowRow ? cy : lowRow;
            topRow = cy < topRow ? cy : topRow;
            g_rowMin[cy] = g_rowMax[cy] = ToI16(cx);
        } else {
            if (cx < g_rowMin[cy]) g_rowMin[cy] = ToI16(cx);
            if (cx > g_rowMax[cy]) g_rowMax[cy] = ToI16(cx);
        }
        if (cx == x && cy == y) break;
        prev = (d + 5) & 7;
    }
    i32 left = g_rowMin[topRow];
    i32 right = g_rowMax[topRow];
    for (i32 r = topRow; r <= lowRow; ++r) {
        left = g_rowMin[r] < left ? g_rowMin[r] : left;
        right = g_rowMax[r] > right ? g_rowMax[r] : right;
        u8 *row = m.data + static_cast<i64>(r) * m.width;
        std::memset(row + g_rowMin[r], 0, static_cast<size_t>(g_rowMax[r] - g_rowMin[r] + 1));
    }
    *out = ROI_BOX{ToI16(topRow), ToI16(lowRow), ToI16(left), ToI16(right)};
    return 1;
}

void Loc_WidenRegions(ROI_BOX *boxes, int count) {
    if (boxes == nullptr) return;
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    const i32 m = w == 640 ? 40 : (w == 752 ? 50 : 16);
    for (int i = 0; i < count; ++i) {
        ROI_BOX &b = boxes[i];
        i32 left = b.left - m;
        i32 right = b.right + m;
        i32 top = b.top - m;
        i32 bottom = b.bottom + m;
        if (left < 0) left = 0;
        if (right >= w) right = w - 1;
        if (top < 0) top = 0;
        if (bottom >= h) bottom = h - 1;
        b = ROI_BOX{ToI16(top), ToI16(bottom), ToI16(left), ToI16(right)};
    }
}

int Loc_DropContainedRegions(ROI_BOX *boxes, int count) {
    if (boxes == nullptr || count < 2) return count;
    int n = count;
    int i = 0;
    bool lastTurn = false;
    while (i < n) {
        int j = 0;
        while (j < n && (j == i || !Contains(boxes[i], boxes[j]))) ++j;
        if (j == n) {
            // A box that moved down from the end of the list has had every other box's turn.
            if (lastTurn) break;
            ++i;
            continue;
        }
        const int last = n - 1;
        boxes[j] = boxes[last];
        --n;
        // When box i itself was the last one it now stands at j: go on with it there.
        if (last == i) {
            i = j;
            lastTurn = true;
        }
    }
    return n;
}

void Loc_CentredWindow(ROI_BOX *box) {
    if (box == nullptr) return;
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    *box = ROI_BOX{ToI16((h - kCentredHeight) >> 1), ToI16((h >> 1) + kCentredHeight / 2),
                   ToI16((w - kCentredWidth) >> 1), ToI16((w >> 1) + kCentredWidth / 2)};
}

void Loc_ShrinkBoxToThird(i32 box[4]) {
    if (box == nullptr) return;
    const i64 thirdW = g_image.width / 3;
    const i64 thirdH = g_image.height / 3;
    const i64 bw = static_cast<i64>(box[2]) - box[0];
    const i64 bh = static_cast<i64>(box[3]) - box[1];
    if (bw * bh < thirdW * thirdH) return;
    if (bw > thirdW) {
        const i64 d = (bw - thirdW) >> 1;
        box[0] = static_cast<i32>(box[0] + d);
        box[2] = static_cast<i32>(box[2] - d);
    }
    if (bh > thirdH) {
        const i64 d = (bh - thirdH) >> 1;
        box[1] = static_cast<i32>(box[1] + d);
        box[3] = static_cast<i32>(box[3] - d);
    }
}

int Loc_AddCentredHalfFrame(REGION_QUAD *quads, int count, int capacity) {
    if (quads == nullptr || count <= 0 || count >= capacity) return 0;
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    const i32 cx = w >> 1;
    const i32 cy = h >> 1;
    i64 largest = 0;
    bool noted = false;
    for (int i = 0; i < count; ++i) {
        const REGION_QUAD &q = quads[i];
        const i64 area = (static_cast<i64>(q.c[1].x) - q.c[0].x + 1) * (static_cast<i64>(q.c[3].y) - q.c[1].y + 1);
        if (area <= largest) continue;
        largest = area;
        const double dx = static_cast<double>((static_cast<i64>(q.c[0].x) + q.c[1].x) >> 1) - cx;
        const double dy = static_cast<double>((static_cast<i64>(q.c[0].y) + q.c[1].y) >> 1) - cy;
        if (std::sqrt(dx * dx + dy * dy) + 0.5 >= 161.0) noted = true;
    }
    if (!noted || largest >= ((static_cast<i64>(w) * h) >> 3)) return count;
    quads[count] = BoxQuad(cx - (w >> 2), cy - (h >> 2), cx + (w >> 2), cy + (h >> 2));
    return count + 1;
}

int Loc_SampleDeviation(const int *v, int n) {
    if (v == nullptr || n < 1) return 0;
    i64 sum = 0;
    i64 squares = 0;
    for (int i = 0; i < n; ++i) {
        sum += v[i];
        squares += static_cast<i64>(v[i]) * v[i];
    }
    const float mean = static_cast<float>(sum) / static_cast<float>(n);
    const float variance = static_cast<float>(squares) / static_cast<float>(n) - mean * mean;
    if (!(variance >= 0.0f)) return 0;
    u32 bits = 0;
    std::memcpy(&bits, &variance, sizeof bits);
    // Halving the exponent through the bit pattern: a square root good to a few per cent.
    const i64 root = 0x3F800001LL + ((static_cast<i64>(bits) - 0x3F800001LL) >> 1);
    const u32 rootBits = static_cast<u32>(root);
    float r = 0.0f;
    std::memcpy(&r, &rootBits, sizeof r);
    return static_cast<int>(r);
}

void Loc_FlatRegionToFrame(REGION_QUAD *q) {
    if (q == nullptr || g_image.data == nullptr) return;
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    const i32 left = q->c[0].x < 0 ? 0 : q->c[0].x;
    const i32 right = q->c[1].x >= w ? w - 1 : q->c[1].x;
    const i32 top = q->c[0].y < 0 ? 0 : q->c[0].y;
    const i32 bottom = q->c[2].y >= h ? h - 1 : q->c[2].y;
    if (right < left || bottom < top) return;
    if ((static_cast<i64>(right) - left + 1) * (static_cast<i64>(bottom) - top + 1) > 25000) return;
    int n = 0;
    for (i32 y = top; y <= bottom && n < kMaxDeviationSamples; y += 4) {
        const u8 *row = g_image.data + static_cast<i64>(y) * w;
        for (i32 x = left; x <= right && n < kMaxDeviationSamples; x += 4) g_samples[n++] = row[x];
    }
    if (Loc_SampleDeviation(g_samples, n) > 44) return;
    *q = BoxQuad(64, 64, w - 64, h - 64);
}

}  // namespace vexo
