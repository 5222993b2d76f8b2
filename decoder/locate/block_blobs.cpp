#include "locate/block_blobs.h"

#include <cstring>

#include "core/pixel.h"

namespace vexo {

BLOCK_GRID g_blockGrid{};
BLOCK_BOX_TABLE g_blockBoxes{};

namespace {

constexpr i32 kMinBright = 48;
constexpr i32 kDirectionMinBright = 64;
constexpr i32 kStraightWeight = 256;
constexpr i32 kDiagonalWeight = 181;  // 256 / sqrt 2
constexpr i32 kDenseWindow = 5;
constexpr i32 kDenseMinCount = 10;
constexpr i32 kBoxMargin = 24;
constexpr i32 kMinHullPoints = 6;

// Areas in the second buffer, in units of the block count: map A, map B, the fill list
// (one 32-bit block number per block, its start rounded up to 4 bytes) and the end.
struct BLOCK_AREA_LAYOUT {
    i32 mapA, mapB, fillList, end;
};
constexpr BLOCK_AREA_LAYOUT kBlockLayout{0, 1, 2, 6};
static_assert(kBlockLayout.mapB >= kBlockLayout.mapA + 1 && kBlockLayout.fillList >= kBlockLayout.mapB + 1);
static_assert(kBlockLayout.end >= kBlockLayout.fillList + static_cast<i32>(sizeof(i32)));
// A frame of width x height bytes has at most width x height / 64 blocks; 3 bytes of rounding.
static_assert(kBlockLayout.end + 3 <= kBlockSize * kBlockSize);

bool ContrastTest(i32 hi, i32 lo, i32 minBright) { return hi >= minBright && 4 * (hi - lo) >= hi; }

void FillListAppend(i32 block) {
    BLOCK_GRID &g = g_blockGrid;
    if (g.fillCount >= g.blocks) return;
    std::memcpy(reinterpret_cast<u8 *>(g.fillList) + static_cast<i64>(g.fillCount) * sizeof(i32), &block, sizeof(i32));
    ++g.fillCount;
}

i32 FillListAt(i32 k) {
    i32 block = 0;
    std::memcpy(&block, reinterpret_cast<const u8 *>(g_blockGrid.fillList) + static_cast<i64>(k) * sizeof(i32), sizeof(i32));
    return block;
}

bool FillStarts(i32 d, i32 k) {
    const bool dUp = d >= 5;  // 5, 6, 7
    return (k >= 5 && (dUp || d <= 1)) || ((k == 3 || k == 4) && dUp);
}

}  // namespace

i32 Loc_SetupBlockGrid() {
    BLOCK_GRID &g = g_blockGrid;
    g = BLOCK_GRID{};
    if (g_image.data == nullptr || g_image.width <= 0 || g_image.height <= 0) return 0;
    u8 *buffer = Pix_WorkMemory(static_cast<i64>(g_image.width) * g_image.height);
    if (buffer == nullptr) return 0;
    const i32 n = g_image.width / kBlockSize, m = g_image.height / kBlockSize;
    g.across = static_cast<u16>(n);
    g.down = static_cast<u16>(m);
    g.blocks = n * m;
    g.mapA = buffer + static_cast<i64>(kBlockLayout.mapA) * g.blocks;
    g.mapB = buffer + static_cast<i64>(kBlockLayout.mapB) * g.blocks;
    g.fillList = reinterpret_cast<i32 *>(buffer + ((static_cast<i64>(kBlockLayout.fillList) * g.blocks + 3) & ~static_cast<i64>(3)));
    g.diagonalStride = g_image.width + 1;
    g.antiDiagonalStride = g_image.width - 1;
    const i32 offsets[8] = {1, n + 1, n, n - 1, -1, -n - 1, -n, 1 - n};
    for (i32 k = 0; k < 8; ++k) g.neighbour[k] = offsets[k];
    return 1;
}

void Loc_MarkContrastBlocks() {
    const BLOCK_GRID &g = g_blockGrid;
    if (g.blocks <= 0 || g.mapA == nullptr) return;
    std::memset(g.mapA, 0, static_cast<size_t>(g.blocks));
    std::memset(g.mapB, 0, static_cast<size_t>(g.blocks));
    const i64 w = g_image.width;
    for (i32 by = 1; by + 1 < g.down; ++by)
        for (i32 bx = 1; bx + 1 < g.across; ++bx) {
            const u8 *top = g_image.data + static_cast<i64>(kBlockSize) * by * w + kBlockSize * bx;
            i32 hi = 0, lo = 255;
            for (i32 i = 0; i < kBlockSize; ++i) {
                const i32 a = top[i * w + 4], b = top[4 * w + i];
                hi = a > hi ? a : hi;
                hi = b > hi ? b : hi;
                lo = a < lo ? a : lo;
                lo = b < lo ? b : lo;
            }
            g.mapA[static_cast<i64>(by) * g.across + bx] = ContrastTest(hi, lo, kMinBright) ? 1 : 0;
        }
}

i32 Loc_BlockDiagonalContrast(const u8 *topLeft) {
    if (topLeft == nullptr) return 0;
    const i64 w = g_image.width;
    i32 hi = 0, lo = 255;
    for (i32 i = 0; i < kBlockSize; ++i) {
        const i32 a = topLeft[i * w + i], b = topLeft[i * w + 7 - i];
        hi = a > hi ? a : hi;
        hi = b > hi ? b : hi;
        lo = a < lo ? a : lo;
        lo = b < lo ? b : lo;
    }
    return ContrastTest(hi, lo, kMinBright) ? 1 : 0;
}

i32 Loc_ClassifyBlockDirection(const u8 *topLeft) {
    if (topLeft == nullptr) return 0;
    const i64 w = g_image.width;
    i32 s[4][kBlockSize];  // row 4, column 4, main diagonal, anti-diagonal
    i32 hi = 0, lo = 255;
    for (i32 i = 0; i < kBlockSize; ++i) {
        s[0][i] = topLeft[4 * w + i];
        s[1][i] = topLeft[i * w + 4];
        s[2][i] = topLeft[i * w + i];
        s[3][i] = topLeft[i * w + 7 - i];
        for (i32 l = 0; l < 4; ++l) {
            hi = s[l][i] > hi ? s[l][i] : hi;
            lo = s[l][i] < lo ? s[l][i] : lo;
        }
    }
    if (!ContrastTest(hi, lo, kDirectionMinBright)) return 0;
    i32 v[4] = {};
    for (i32 l = 0; l < 4; ++l) {
        for (i32 i = 0; i + 1 < kBlockSize; ++i) v[l] += s[l][i] > s[l][i + 1] ? s[l][i] - s[l][i + 1] : s[l][i + 1] - s[l][i];
        v[l] *= l < 2 ? kStraightWeight : kDiagonalWeight;
    }
    const i32 row = v[0], column = v[1], diagonal = v[2], anti = v[3];
    if (row > column && row > diagonal && row > anti) return 1;
    if (anti > diagonal && anti > column) return 2;
    if (column > diagonal) return 3;
    return 4;
}

void Loc_FillBlockBlob(u8 *map, i32 x, i32 y) {
    BLOCK_GRID &g = g_blockGrid;
    const i32 n = g.across, m = g.down;
    if (map == nullptr || g.blocks <= 0 || x < 0 || y < 0 || x >= n || y >= m) return;
    std::memset(map, 0, static_cast<size_t>(n));
    std::memset(map + static_cast<i64>(m - 1) * n, 0, static_cast<size_t>(n));
    for (i32 r = 0; r < m; ++r) {
        map[static_cast<i64>(r) * n] = 0;
        map[static_cast<i64>(r) * n + n - 1] = 0;
    }
    g.fillCount = 0;
    i32 d = Loc_NextBlockNeighbour(map, x, y, 0);
    if (d < 0) return;
    i32 cx = x + kBlockStepX[d], cy = y + kBlockStepY[d];
    // Each block is passed at most once from each of its eight sides.
    for (i64 budget = 8 * static_cast<i64>(g.blocks) + 16; budget > 0 && (cx != x || cy != y); --budget) {
        const i32 k = Loc_NextBlockNeighbour(map, cx, cy, d < 2 ? d + 6 : d - 2);
        if (k < 0) break;
        const i64 at = static_cast<i64>(cy) * n + cx;
        const u8 v = map[at];
        const bool starts = FillStarts(d, k);
        if (d - k == 4 || k - d == 4) {
            map[at] = 7;
        } else if (v >= 1 && v <= 4) {
            map[at] = starts ? 6 : 5;
            if (starts) FillListAppend(static_cast<i32>(at));
        } else if (v == 5) {
            map[at] = 7;
        } else if (v == 6) {
            map[at] = starts ? 6 : 7;
        }
        cx += kBlockStepX[k];
        cy += kBlockStepY[k];
        d = k;
    }
    for (i32 f = 0; f < g.fillCount; ++f) {
        const i32 at = FillListAt(f);
        if (at < 0 || at >= g.blocks || map[at] != 6) continue;
        const i32 row = at / n;
        // The fill stops at the grid's last column; it never runs on into the next row.
        for (i32 c = at % n + 1; c < n && map[static_cast<i64>(row) * n + c] <= 4; ++c) map[static_cast<i64>(row) * n + c] = 8;
    }
}

void Loc_MarkDenseBlocks(u8 *map) {
    const BLOCK_GRID &g = g_blockGrid;
    const i32 n = g.across, m = g.down;
    if (map == nullptr || g.mapB == nullptr || g.blocks <= 0) return;
    u8 *b = g.mapB;
    std::memset(b, 0, static_cast<size_t>(g.blocks));
    if (n > kDenseWindow) {
        for (i32 r = 0; r < m; ++r) {
            const u8 *row = map + static_cast<i64>(r) * n;
            i32 sum = 0;
            for (i32 c = 0; c < 4; ++c) sum += row[c] == 8;
            for (i32 c = 2; c <= n - 4; ++c) {
                sum += row[c + 2] == 8;
                b[static_cast<i64>(r) * n + c] = static_cast<u8>(sum);
                sum -= row[c - 2] == 8;
            }
        }
    }
    std::memset(map, 0, static_cast<size_t>(g.blocks));
    if (m > kDenseWindow) {
        for (i32 c = n - 3; c >= 2; --c) {
            i32 sum = 0;
            for (i32 r = 0; r < 4; ++r) sum += b[static_cast<i64>(r) * n + c];
            for (i32 r = 2; r <= m - 4; ++r) {
                sum += b[static_cast<i64>(r + 2) * n + c];
                if (sum > kDenseMinCount) map[static_cast<i64>(r) * n + c] = 1;
                sum -= b[static_cast<i64>(r - 2) * n + c];
            }
        }
    }
}

namespace {

// Order list by squared distance of the box centres from the frame centre; ties keep table order.
void SortBlockBoxes(BLOCK_BOX_TABLE &t, i32 count) {
    if (count > kBlockBoxesMax) count = kBlockBoxesMax;
    i32 keys[kBlockBoxesMax] = {};
    const i32 hw = g_image.width / 2, hh = g_image.height / 2;
    for (i32 b = 0; b < count; ++b) {
        const BLOCK_BOX &box = t.box[b];
        const i32 dx = static_cast<i16>((box.left + box.right) / 2 - hw);
        const i32 dy = static_cast<i16>((box.top + box.bottom) / 2 - hh);
        const i32 key = dx * dx + dy * dy;
        i32 pos = b;
        while (pos > 0 && keys[pos - 1] > key) {
            keys[pos] = keys[pos - 1];
            t.order[pos] = t.order[pos - 1];
            --pos;
        }
        keys[pos] = key;
        t.order[pos] = static_cast<i16>(b);
    }
}

}  // namespace

void Loc_SortBoxesByCentre(i32 count) { SortBlockBoxes(g_blockBoxes, count); }

i32 Loc_FindBlockBlobBoxes(BLOCK_BOX_TABLE *table) {
    if (table == nullptr || !Loc_SetupBlockGrid()) return 0;
    const BLOCK_GRID &g = g_blockGrid;
    const i32 n = g.across, m = g.down;
    if (g.blocks <= 0) return 0;
    Loc_MarkContrastBlocks();
    u8 *a = g.mapA;
    for (i32 j = 0; j < m; ++j)
        for (i32 k = 0; k < n; ++k) {
            const u8 v = a[static_cast<i64>(j) * n + k];
            if (v >= 1 && v <= 4) Loc_FillBlockBlob(a, k, j);
        }
    Loc_MarkDenseBlocks(a);
    GEO_POINT hull[kBlockHullMax];
    i32 count = 0;
    const i32 w = g_image.width, h = g_image.height;
    for (i32 j = 0; j < m; ++j)
        for (i32 k = 0; k < n; ++k) {
            if (a[static_cast<i64>(j) * n + k] == 0) continue;
            const i32 points = Loc_TraceBlockHull(a, k, j, hull);
            Loc_ClearHullBlocks(a, hull, points);
            if (points < kMinHullPoints) continue;
            i32 minX = hull[0].x, maxX = hull[0].x, minY = hull[0].y, maxY = hull[0].y;
            for (i32 p = 1; p < points; ++p) {
                minX = hull[p].x < minX ? hull[p].x : minX;
                maxX = hull[p].x > maxX ? hull[p].x : maxX;
                minY = hull[p].y < minY ? hull[p].y : minY;
                maxY = hull[p].y > maxY ? hull[p].y : maxY;
            }
            BLOCK_BOX &box = table->box[count];
            box.top = static_cast<i16>(kBlockSize * minY - kBoxMargin);
            box.bottom = static_cast<i16>(kBlockSize * maxY + kBoxMargin);
            box.left = static_cast<i16>(kBlockSize * minX - kBoxMargin);
            box.right = static_cast<i16>(kBlockSize * maxX + kBoxMargin);
            if (box.top < 0) box.top = 0;
            if (box.left < 0) box.left = 0;
            if (box.bottom >= h) box.bottom = static_cast<i16>(h - 1);
            if (box.right >= w) box.right = static_cast<i16>(w - 1);
            if (++count == kBlockBoxesMax) {
                SortBlockBoxes(*table, count);
                return count;
            }
        }
    SortBlockBoxes(*table, count);
    return count;
}

i32 Loc_FindBlockBlobs() { return Loc_FindBlockBlobBoxes(&g_blockBoxes); }

}  // namespace vexo
