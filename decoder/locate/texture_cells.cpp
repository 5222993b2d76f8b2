#include "locate/texture_cells.h"

#include <cstdint>
#include <cstring>

#include "core/pixel.h"

namespace vexo {

namespace {

constexpr i32 kMinAmplitude = 8;   // a run counts above this
constexpr i32 kIntervalReach = 16;  // pixels kept around an edge for the finer lines
constexpr i32 kAxisRatio = 5;       // a gradient within about 11 degrees of an axis
constexpr i32 kNearAxisPercent = 69;
constexpr i32 kCrossingClassGaps[] = {3, 4, 5, 11, 12, 13};
static_assert(sizeof(kCrossingClassGaps) / sizeof(kCrossingClassGaps[0]) == 6);

// Bytes per cell of the layout, in quarters: direction cells 4, crossings 4, blocks 1, the
// interval starts and ends of one pass 16, the box count's map 1 and the three 16-bit code
// maps 6. A cell covers 16 pixels (64 quarters), which leaves room for the merged line, the
// line counts and the alignment (checked per frame).
constexpr i32 kTextureQuartersPerCell = 4 + 4 + 1 + 16 + 1 + 6;
static_assert(kTextureQuartersPerCell <= 64 / 2);

u8 *AlignUp(u8 *p, uintptr_t to) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(p);
    return p + ((to - v % to) % to);
}

i32 Abs32(i32 v) { return v < 0 ? -v : v; }

// One scan line: pixel j at first[j * stride]; the cross pixels at +-cross.
struct TEXTURE_LINE {
    const u8 *first;
    i64 stride;
    i64 cross;
    bool isRow;
};

i32 LinePixel(const TEXTURE_LINE &l, i32 j) { return l.first[j * l.stride]; }

i32 ClassAt(const TEXTURE_LINE &l, i32 o) {
    const u8 *p = l.first + o * l.stride;
    const i64 w = l.isRow ? l.cross : l.stride;  // image row stride
    i32 gx = 0, gy = 0;
    for (i32 k = -1; k <= 1; ++k) {
        gx += static_cast<i32>(p[k * w + 1]) - p[k * w - 1];
        gy += static_cast<i32>(p[w + k]) - p[-w + k];
    }
    return Loc_GradientClass(gx, gy);
}

void ScanLine(const TEXTURE_LINE &l, i32 from, i32 to, EDGE_INTERVALS *iv, u8 *cells, i64 cellStride) {
    if (iv == nullptr || cells == nullptr || to - from < 2) return;
    i32 s = from;
    while (s < to - 1) {
        while (s + 1 < to && LinePixel(l, s + 1) == LinePixel(l, s)) ++s;
        if (s + 1 >= to) break;
        const bool rising = LinePixel(l, s + 1) > LinePixel(l, s);
        i32 e = s + 1;
        while (e + 1 < to && (rising ? LinePixel(l, e + 1) >= LinePixel(l, e) : LinePixel(l, e + 1) <= LinePixel(l, e))) ++e;
        const i32 first = LinePixel(l, s), last = LinePixel(l, e);
        const i32 amplitude = Abs32(last - first);
        const i32 brighter = first > last ? first : last;
        if (amplitude > kMinAmplitude && brighter < 4 * amplitude) {
            const bool afterBrighter = LinePixel(l, e + 1) > last;
            i32 best = s, bestStep = 0;
            bool any = false;
            for (i32 o = s; o <= e; ++o) {
                const i32 step = afterBrighter ? LinePixel(l, o - 1) - LinePixel(l, o + 1) : LinePixel(l, o + 1) - LinePixel(l, o - 1);
                if (!any || step > bestStep) {
                    any = true;
                    best = o;
                    bestStep = step;
                }
            }
            if (bestStep > 0) {
                u8 &cell = cells[(best / 4) * cellStride];
                if (cell == 0) cell = static_cast<u8>(ClassAt(l, best));
                if (iv->count == 0 || best - iv->end[iv->count - 1] > kIntervalReach) {
                    if (iv->count < iv->capacity) {
                        iv->start[iv->count] = static_cast<i16>(best - kIntervalReach);
                        iv->end[iv->count] = static_cast<i16>(best + kIntervalReach);
                        ++iv->count;
                    }
                } else {
                    iv->end[iv->count - 1] = static_cast<i16>(best + kIntervalReach);
                }
            }
        }
        s = e;
    }
}

// Union of two sorted interval lists into out (capacity a.count + b.count).
void MergeIntervals(const EDGE_INTERVALS &a, const EDGE_INTERVALS *b, EDGE_INTERVALS *out) {
    out->count = 0;
    i32 i = 0, j = 0;
    const i32 na = a.count, nb = b != nullptr ? b->count : 0;
    while (i < na || j < nb) {
        i32 s = 0, e = 0;
        if (j >= nb || (i < na && a.start[i] < b->start[j])) {
            s = a.start[i];
            e = a.end[i++];
        } else if (i >= na || b->start[j] < a.start[i]) {
            s = b->start[j];
            e = b->end[j++];
        } else {
            s = a.start[i];
            e = a.end[i] > b->end[j] ? a.end[i] : b->end[j];
            ++i;
            ++j;
        }
        for (;;) {
            if (i < na && a.start[i] <= e) {
                e = a.end[i] > e ? a.end[i] : e;
                ++i;
            } else if (j < nb && b->start[j] <= e) {
                e = b->end[j] > e ? b->end[j] : e;
                ++j;
            } else {
                break;
            }
        }
        if (out->count >= out->capacity) return;
        out->start[out->count] = static_cast<i16>(s);
        out->end[out->count] = static_cast<i16>(e);
        ++out->count;
    }
}

// One coarse-to-fine pass over `lines` lines of `cellsPerLine` cells.
void CoarseToFine(u8 *map, i32 lines, i32 cellsPerLine, bool rows, i32 cw) {
    TEXTURE_LAYOUT t{};
    if (map == nullptr || lines <= 0 || cellsPerLine <= 0 || !Loc_TextureLayout(&t)) return;
    if (static_cast<i64>(lines) * cellsPerLine > static_cast<i64>(t.cellsAcross) * t.cellsDown) return;
    const i64 w = g_image.width;
    const i32 lineEnd = 4 * cellsPerLine - 2;
    auto listOf = [&](i32 line) {
        return EDGE_INTERVALS{t.intervalStarts + static_cast<i64>(line) * cellsPerLine,
                              t.intervalEnds + static_cast<i64>(line) * cellsPerLine, 0, static_cast<i16>(cellsPerLine)};
    };
    // The interval counts per line lie behind the merged line.
    i16 *lineCounts = t.mergedEnds + 2 * (t.cellsAcross > t.cellsDown ? t.cellsAcross : t.cellsDown);
    for (i32 k = 0; k < lines; ++k) lineCounts[k] = 0;
    auto scan = [&](i32 line, i32 from, i32 to) {
        EDGE_INTERVALS iv = listOf(line);
        iv.count = lineCounts[line];
        if (from < 2) from = 2;
        if (to > lineEnd) to = lineEnd;
        if (rows) {
            const TEXTURE_LINE l{g_image.data + (4 * static_cast<i64>(line) + 2) * w, 1, w, true};
            ScanLine(l, from, to, &iv, map + static_cast<i64>(line) * cw, 1);
        } else {
            const TEXTURE_LINE l{g_image.data + 4 * static_cast<i64>(line) + 2, w, 1, false};
            ScanLine(l, from, to, &iv, map + line, cw);
        }
        lineCounts[line] = iv.count;
    };
    for (i32 line = 0; line < lines; line += 8) scan(line, 2, lineEnd);
    for (i32 half = 4; half >= 1; half /= 2) {
        if (half == 4 && lines <= 4) continue;
        if (half == 2 && lines <= 2) continue;
        for (i32 i = 0; i + half < lines; i += 2 * half) {
            EDGE_INTERVALS a = listOf(i);
            a.count = lineCounts[i];
            EDGE_INTERVALS b{};
            const bool hasB = i + 2 * half < lines;
            if (hasB) {
                b = listOf(i + 2 * half);
                b.count = lineCounts[i + 2 * half];
            }
            EDGE_INTERVALS merged{t.mergedStarts, t.mergedEnds, 0, static_cast<i16>(2 * cellsPerLine)};
            MergeIntervals(a, hasB ? &b : nullptr, &merged);
            for (i32 k = 0; k < merged.count; ++k) scan(i + half, merged.start[k], merged.end[k]);
        }
    }
}

}  // namespace

i32 Loc_TextureLayout(TEXTURE_LAYOUT *out) {
    if (out == nullptr) return 0;
    *out = TEXTURE_LAYOUT{};
    if (g_image.data == nullptr || g_image.width <= 0 || g_image.height <= 0) return 0;
    const i64 bytes = static_cast<i64>(g_image.width) * g_image.height;
    u8 *buffer = Pix_WorkMemory(bytes);
    if (buffer == nullptr) return 0;
    TEXTURE_LAYOUT &t = *out;
    t.blocksAcross = g_image.width / 8;
    t.blocksDown = g_image.height / 8;
    t.cellsAcross = 2 * t.blocksAcross;
    t.cellsDown = 2 * t.blocksDown;
    const i64 cells = static_cast<i64>(t.cellsAcross) * t.cellsDown;
    const i32 longest = t.cellsAcross > t.cellsDown ? t.cellsAcross : t.cellsDown;
    t.directionCells = buffer;
    t.crossings = buffer + cells;
    t.blocks = t.crossings + cells;
    u8 *p = AlignUp(t.blocks + cells / 4, 8);
    t.intervalStarts = reinterpret_cast<i16 *>(p);
    t.intervalEnds = t.intervalStarts + cells;
    t.mergedStarts = t.intervalEnds + cells;
    t.mergedEnds = t.mergedStarts + 2 * longest;
    const i64 blocks = static_cast<i64>(t.blocksAcross) * t.blocksDown;
    t.boxTemp = reinterpret_cast<u8 *>(t.mergedEnds + 2 * longest + longest);  // behind the line counts
    t.codes = reinterpret_cast<u16 *>(AlignUp(t.boxTemp + blocks, 8));
    t.codeSums = t.codes + blocks;
    t.codeTemp = t.codeSums + blocks;
    t.end = reinterpret_cast<u8 *>(t.codeTemp + blocks);
    if (t.end - buffer > bytes) {
        *out = TEXTURE_LAYOUT{};
        return 0;
    }
    return 1;
}

i32 Loc_GradientClass(i32 gx, i32 gy) {
    const i32 a = Abs32(gx), b = Abs32(gy);
    if (a > b) {
        const bool near = 100 * b < kNearAxisPercent * a;
        if (gx >= 1) {
            if (a > kAxisRatio * b) return 1;
            if (gy >= 1) return near ? 2 : 3;
            return near ? 16 : 15;
        }
        if (a > kAxisRatio * b) return 9;
        if (gy >= 1) return near ? 8 : 7;
        return near ? 10 : 11;
    }
    const bool near = 100 * a < kNearAxisPercent * b;
    if (gy >= 1) {
        if (b > kAxisRatio * a) return 5;
        if (gx >= 1) return near ? 4 : 3;
        return near ? 6 : 7;
    }
    if (b > kAxisRatio * a) return 13;
    if (gx >= 1) return near ? 14 : 15;
    return near ? 12 : 11;
}

void Loc_ScanRowDirections(const u8 *row, i32 from, i32 to, EDGE_INTERVALS *intervals, u8 *cells) {
    if (row == nullptr) return;
    ScanLine(TEXTURE_LINE{row, 1, g_image.width, true}, from, to, intervals, cells, 1);
}

void Loc_ScanColumnDirections(const u8 *columnTop, i32 from, i32 to, EDGE_INTERVALS *intervals, u8 *cells,
                              i32 cellsPerRow) {
    if (columnTop == nullptr) return;
    ScanLine(TEXTURE_LINE{columnTop, g_image.width, 1, false}, from, to, intervals, cells, cellsPerRow);
}

void Loc_ScanRowsCoarseToFine(u8 *map, i32 cw, i32 ch) { CoarseToFine(map, ch, cw, true, cw); }
void Loc_ScanColumnsCoarseToFine(u8 *map, i32 cw, i32 ch) { CoarseToFine(map, cw, ch, false, cw); }

void Loc_BuildDirectionCells(u8 *map, i32 cw, i32 ch) {
    if (map == nullptr || cw <= 0 || ch <= 0) return;
    std::memset(map, 0, static_cast<size_t>(cw) * ch);
    Loc_ScanRowsCoarseToFine(map, cw, ch);
    Loc_ScanColumnsCoarseToFine(map, cw, ch);
}

void Loc_MarkCrossingCells(const u8 *map, u8 *crossings, i32 cw, i32 ch) {
    if (map == nullptr || crossings == nullptr || cw <= 0 || ch <= 0) return;
    std::memset(crossings, 0, static_cast<size_t>(cw) * ch);
    auto crossing = [](i32 a, i32 b) {
        if (a == 0 || b == 0) return false;
        const i32 gap = Abs32(a - b);
        for (i32 g : kCrossingClassGaps)
            if (gap == g) return true;
        return false;
    };
    for (i32 r = 1; r < ch; ++r)
        for (i32 c = 1; c < cw; ++c) {
            const i64 at = static_cast<i64>(r) * cw + c, left = at - 1, up = at - cw, upLeft = up - 1;
            const i64 pairs[4][2] = {{at, left}, {at, up}, {at, upLeft}, {left, up}};
            for (const auto &p : pairs)
                if (crossing(map[p[0]], map[p[1]])) crossings[p[0]] = crossings[p[1]] = 1;
        }
}

void Loc_CellsToBlocks(const u8 *crossings, u8 *blocks, i32 blocksAcross, i32 blocksDown) {
    if (crossings == nullptr || blocks == nullptr || blocksAcross <= 0 || blocksDown <= 0) return;
    const i64 cw = 2 * static_cast<i64>(blocksAcross);
    for (i32 by = 0; by < blocksDown; ++by)
        for (i32 bx = 0; bx < blocksAcross; ++bx) {
            const u8 *c = crossings + 2 * by * cw + 2 * bx;
            blocks[static_cast<i64>(by) * blocksAcross + bx] = (c[0] | c[1] | c[cw] | c[cw + 1]) != 0 ? 1 : 0;
        }
}

}  // namespace vexo
