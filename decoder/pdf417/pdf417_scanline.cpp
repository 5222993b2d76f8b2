#include "pdf417/pdf417_scanline.h"

#include <algorithm>

#include "core/arena.h"

namespace vexo {

PDF_READ_PARAMS g_pdfReadParams = {2, 0, 1, 6, 0};

// Weight of one blurred edge at a distance of d sixteenths, in 1/131072.
const i32 PDF_EdgeSpreadTable[kPdfEdgeSpreadSize] = {
    67286, 63785, 60293, 56824, 53394, 50017, 46707, 43478, 40341, 37308, 34388, 31590, 28920, 26384,
    23986, 21729, 19613, 17640, 15806, 14111, 12551, 11121, 9816,  8631,  7559,  6595,  5730,  4959,
    4274,  3669,  3136,  2669,  2261,  1907,  1601,  1338,  1112,  919,   756,   617,   501,   404,
    322,   255,   199,   153,   115,   84,    59,    39,    23,    10,    0};
static_assert(sizeof(PDF_EdgeSpreadTable) == kPdfEdgeSpreadSize * sizeof(i32));

void PDF_ResetReadParams() {
    g_pdfReadParams.refineRounds = 2;
    g_pdfReadParams.skipRefine = 0;
    g_pdfReadParams.readersOn = 1;
    g_pdfReadParams.minEdgeStep = 6;
}

void PDF_SetReadParams(i32, i32 inverted) {
    PDF_ResetReadParams();
    g_pdfReadParams.inverted = inverted;
}

namespace {

i64 Abs64(i64 v) { return v < 0 ? -v : v; }

bool Inside(const IMAGE_DESC *image, i64 x, i64 y) {
    return x >= 0 && y >= 0 && x < image->width && y < image->height;
}

u8 Pixel(const IMAGE_DESC *image, i64 x, i64 y) {
    return image->data[y * image->width + x];
}

}  // namespace

i32 PDF_SampleLine(const IMAGE_DESC *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out, i32 capacity) {
    if (image == nullptr || image->data == nullptr || out == nullptr || capacity <= 0 || image->width <= 0) return 0;
    const i64 adx = Abs64(static_cast<i64>(x1) - x0);
    const i64 ady = Abs64(static_cast<i64>(y1) - y0);
    const i64 sx = x1 > x0 ? 1 : x1 < x0 ? -1 : 0;
    const i64 sy = y1 > y0 ? 1 : y1 < y0 ? -1 : 0;
    i64 e1 = 2 * adx - ady;
    i64 e2 = 2 * ady - adx;
    // The caller's capacity bounds the walk as well as the image width.
    const i64 limit = std::min<i64>({std::max(adx, ady) + 1, image->width, capacity});
    i64 x = x0;
    i64 y = y0;
    out[0] = Inside(image, x, y) ? Pixel(image, x, y) : u8{128};
    i32 count = 1;
    while (count < limit) {
        e1 += 2 * adx;
        e2 += 2 * ady;
        if (e1 > 0) {
            e1 -= 2 * ady;
            x += sx;
        }
        if (e2 > 0) {
            e2 -= 2 * adx;
            y += sy;
        }
        if (Inside(image, x, y)) out[count] = Pixel(image, x, y);
        ++count;
    }
    return count;
}

i32 PDF_SampleExtendedSegment(POINT_I32 p, POINT_I32 q, u8 *out, i32 capacity, i32 *start16, i32 *end16) {
    if (out == nullptr || start16 == nullptr || end16 == nullptr || g_image.data == nullptr) return 0;
    const i32 ex = (q.x - p.x) / 2;
    const i32 ey = (q.y - p.y) / 2;
    const i32 ax = p.x - ex;
    const i32 ay = p.y - ey;
    *start16 = 16 * std::max(std::abs(ex), std::abs(ey));
    *end16 = 16 * std::max(std::abs(q.x - ax), std::abs(q.y - ay));
    return PDF_SampleLine(&g_image, ax, ay, q.x + ex, q.y + ey, out, capacity);
}

namespace {

// Samples of a line or of an image column, read through one accessor.
struct LineSamples {
    const u8 *s;
    u8 operator()(i32 j) const { return s[j]; }
};
struct ColumnSamples {
    const u8 *top;
    i32 stride;
    u8 operator()(i32 j) const { return top[static_cast<i64>(j) * stride]; }
};

template <class Px>
i32 GateOver(Px px, i32 n) {
    i32 lo = 255;
    i32 hi = 0;
    for (i32 j = 3; j < n; j += 3) {
        lo = std::min<i32>(lo, px(j));
        hi = std::max<i32>(hi, px(j));
    }
    return hi < lo ? 0 : lo + (hi - lo) / 5;
}

i32 LineGate(const u8 *samples, i32 n, i32 minStep) {
    if (minStep > 14) return 0;
    if (n <= 3) return 204;
    return GateOver(LineSamples{samples}, n);
}

// Gated runs over samples 0..last. Falling runs take flat steps too; their top must reach
// the gate. Rising runs mirror this with the bright end.
template <bool kFalling, class Px>
i32 GatedEdges(Px px, i32 last, i32 gate, i32 minStep, i32 *positions, u8 *magnitudes, i32 capacity) {
    auto down = [&](i32 j) { return kFalling ? px(j + 1) < px(j) : px(j + 1) > px(j); };
    auto within = [&](i32 j) { return kFalling ? px(j + 1) <= px(j) : px(j + 1) >= px(j); };
    i32 count = 0;
    i32 j = 0;
    while (j < last && count < capacity) {
        while (j < last && !down(j)) ++j;
        if (j >= last) break;
        const i32 first = j;
        i32 sum = 0;
        i64 moment = 0;
        while (j < last && within(j)) {
            const i32 d = kFalling ? px(j) - px(j + 1) : px(j + 1) - px(j);
            sum += d;
            moment += static_cast<i64>(j) * d;
            ++j;
        }
        i32 bright = kFalling ? px(first) : px(j);
        if (j >= last) {
            if (!kFalling) bright = px(last - 1);
            if (bright < gate) break;
        }
        if (bright >= gate && sum >= minStep) {
            positions[count] = sum != 0 ? static_cast<i32>(16 * moment / sum) : 0;
            magnitudes[count] = static_cast<u8>(std::min(sum, 255));
            ++count;
        }
    }
    return count;
}

template <bool kFalling>
i32 ColumnEdges(POINT_I32 point, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity) {
    if (positions == nullptr || magnitudes == nullptr || capacity <= 0 || g_image.data == nullptr) return 0;
    if (!Inside(&g_image, point.x, point.y) || n < 2) return 0;
    i32 last = n - 1;
    if (static_cast<i64>(point.y) + n >= g_image.height) last = g_image.height - point.y - 2;
    if (last < 1) return 0;
    const i32 gate = minStep > 14 ? 0 : PDF_ColumnGate(point, last + 1);
    const ColumnSamples px{g_image.data + static_cast<i64>(point.y) * g_image.width + point.x, g_image.width};
    return GatedEdges<kFalling>(px, last, gate, minStep, positions, magnitudes, capacity);
}

}  // namespace

i32 PDF_FallingEdgesOnLine(const u8 *samples, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity) {
    if (samples == nullptr || positions == nullptr || magnitudes == nullptr || n < 2) return 0;
    return GatedEdges<true>(LineSamples{samples}, n - 1, LineGate(samples, n, minStep), minStep, positions,
                            magnitudes, capacity);
}

i32 PDF_RisingEdgesOnLine(const u8 *samples, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity) {
    if (samples == nullptr || positions == nullptr || magnitudes == nullptr || n < 2) return 0;
    return GatedEdges<false>(LineSamples{samples}, n - 1, LineGate(samples, n, minStep), minStep, positions,
                             magnitudes, capacity);
}

i32 PDF_FallingEdgesDownColumn(POINT_I32 point, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity) {
    return ColumnEdges<true>(point, n, minStep, positions, magnitudes, capacity);
}

i32 PDF_RisingEdgesDownColumn(POINT_I32 point, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity) {
    return ColumnEdges<false>(point, n, minStep, positions, magnitudes, capacity);
}

i32 PDF_ColumnGate(POINT_I32 point, i32 n) {
    if (n <= 5 || g_image.data == nullptr || !Inside(&g_image, point.x, static_cast<i64>(point.y) + 3) || point.y < 0) {
        return 0;
    }
    const i32 rows = static_cast<i32>(std::min<i64>(n, static_cast<i64>(g_image.height) - point.y));
    const ColumnSamples px{g_image.data + static_cast<i64>(point.y) * g_image.width + point.x, g_image.width};
    return GateOver(px, rows);
}

namespace {

// Strictly monotone runs; a run below minStep is passed over, the last one ends the scan.
template <bool kFalling>
i32 EdgeCentres(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 minStep) {
    if (s == nullptr || positions == nullptr || n < 2) return 0;
    const i32 last = n - 1;
    auto step = [&](i32 j) { return kFalling ? s[j] - s[j + 1] : s[j + 1] - s[j]; };
    i32 count = 0;
    i32 j = 0;
    while (j < last && count < capacity) {
        while (j < last && step(j) <= 0) ++j;
        if (j >= last) break;
        i32 drop = 0;
        i64 moment = 0;
        while (j < last && step(j) > 0) {
            drop += step(j);
            moment += static_cast<i64>(j) * step(j);
            ++j;
        }
        if (drop >= minStep) {
            positions[count++] = static_cast<i32>(16 * moment / drop);
        } else if (j >= last) {
            break;
        }
    }
    return count;
}

// One strict run from j (rising or falling): its size and drop-weighted position.
template <bool kRise>
i32 StrictRun(const u8 *s, i32 last, i32 *j, i32 *position) {
    i32 size = 0;
    i64 moment = 0;
    while (*j < last && (kRise ? s[*j + 1] > s[*j] : s[*j + 1] < s[*j])) {
        const i32 d = kRise ? s[*j + 1] - s[*j] : s[*j] - s[*j + 1];
        size += d;
        moment += static_cast<i64>(*j) * d;
        ++*j;
    }
    *position = size != 0 ? static_cast<i32>(16 * moment / size) : 0;
    return size;
}

// Strict runs with their size and the level of their far ends, position + 8.
template <bool kFalling>
i32 EdgeList(const u8 *s, i32 n, i32 *positions, i32 *magnitudes, i32 *level, i32 minStep, i32 capacity) {
    i32 extreme = kFalling ? 0 : 255;
    i32 count = 0;
    if (s != nullptr && positions != nullptr && magnitudes != nullptr && n >= 2) {
        const i32 last = n - 1;
        i32 j = 0;
        while (j < last && count < capacity) {
            while (j < last && (kFalling ? s[j + 1] >= s[j] : s[j + 1] <= s[j])) ++j;
            if (j >= last) break;
            extreme = kFalling ? std::max<i32>(extreme, s[j]) : std::min<i32>(extreme, s[j]);
            i32 position = 0;
            const i32 size = StrictRun<!kFalling>(s, last, &j, &position);
            if (size >= minStep) {
                positions[count] = position + 8;
                magnitudes[count] = size;
                ++count;
            }
        }
    }
    if (level != nullptr) *level = extreme;
    return count;
}

}  // namespace

i32 PDF_FallingEdgeCentres(const u8 *samples, i32 n, i32 *positions, i32 capacity, i32 minStep) {
    return EdgeCentres<true>(samples, n, positions, capacity, minStep);
}

i32 PDF_RisingEdgeCentres(const u8 *samples, i32 n, i32 *positions, i32 capacity, i32 minStep) {
    return EdgeCentres<false>(samples, n, positions, capacity, minStep);
}

void PDF_AlternatingEdges(const u8 *s, i32 n, i32 minStep, i32 *risePositions, u8 *riseMagnitudes, i32 *riseCount,
                          i32 *fallPositions, u8 *fallMagnitudes, i32 *fallCount, i32 capacity) {
    i32 rises = 0;
    i32 falls = 0;
    if (s != nullptr && risePositions != nullptr && riseMagnitudes != nullptr && fallPositions != nullptr &&
        fallMagnitudes != nullptr && n >= 2) {
        const i32 last = n - 1;
        i32 j = 0;
        while (j < last && rises < capacity && falls < capacity) {
            while (j < last && s[j + 1] == s[j]) ++j;
            i32 position = 0;
            i32 size = StrictRun<true>(s, last, &j, &position);
            if (size >= minStep) {
                risePositions[rises] = position;
                riseMagnitudes[rises++] = static_cast<u8>(size);
            }
            if (rises >= capacity) break;
            size = StrictRun<false>(s, last, &j, &position);
            if (size >= minStep) {
                fallPositions[falls] = position;
                fallMagnitudes[falls++] = static_cast<u8>(size);
            }
        }
    }
    if (riseCount != nullptr) *riseCount = rises;
    if (fallCount != nullptr) *fallCount = falls;
}

i32 PDF_FallingEdgeList(const u8 *samples, i32 n, i32 *positions, i32 *magnitudes, i32 *level, i32 minStep,
                        i32 capacity) {
    return EdgeList<true>(samples, n, positions, magnitudes, level, minStep, capacity);
}

i32 PDF_RisingEdgeList(const u8 *samples, i32 n, i32 *positions, i32 *magnitudes, i32 *level, i32 minStep,
                       i32 capacity) {
    return EdgeList<false>(samples, n, positions, magnitudes, level, minStep, capacity);
}

namespace {

constexpr i32 kListCapacity = 50;
constexpr i32 kListBlock = 53;
constexpr i32 kMarked = 512;

// One bar pattern's shape: bars, the record's length and where its end edge sits.
struct BAR_SHAPE {
    i32 bars;       // 4 codeword, 3 row address pattern
    i32 endSlot;    // 10 or 8
    i32 modules;    // 17 or 10
    bool codeword;
};

i32 ListEdges(bool falling, const u8 *s, i32 n, i32 *pos, i32 *mag, i32 *level) {
    return falling ? PDF_FallingEdgeList(s, n, pos, mag, level, g_pdfReadParams.minEdgeStep, kListCapacity)
                   : PDF_RisingEdgeList(s, n, pos, mag, level, g_pdfReadParams.minEdgeStep, kListCapacity);
}

// Index of the first edge beyond `after`, or -1.
i32 FirstBeyond(const i32 *pos, i32 count, i32 after) {
    for (i32 i = 0; i < count; ++i) {
        if (pos[i] > after) return i;
    }
    return -1;
}

// Last edge before `before`, searched from the end down to first + 1; first when none.
i32 LastBefore(const i32 *pos, i32 count, i32 first, i32 before) {
    for (i32 i = count - 1; i > first; --i) {
        if (pos[i] < before) return i;
    }
    return first;
}

// Takes `want` edges of first..last into slots out[0], out[2], ...: all when exactly that
// many, else the strongest (first on ties), in position order.
void TakeEdges(const i32 *pos, i32 *mag, i32 first, i32 last, i32 want, i32 *out) {
    if (last - first + 1 != want) {
        for (i32 k = 0; k < want; ++k) {
            i32 best = -1;
            for (i32 i = first; i <= last; ++i) {
                if (mag[i] < kMarked && (best < 0 || mag[i] > mag[best])) best = i;
            }
            if (best >= 0) mag[best] = kMarked;
        }
    }
    i32 slot = 0;
    for (i32 i = first; i <= last && slot < want; ++i) {
        if (last - first + 1 == want || mag[i] == kMarked) out[2 * slot++] = pos[i];
    }
}

// The strongest edge of indexes from..to lying strictly between lo and hi; else the one
// of them nearest to `near` (first on ties); -1 when the range is empty.
i32 PickEdge(const i32 *pos, const i32 *mag, i32 from, i32 to, i32 lo, i32 hi, i32 near) {
    i32 best = -1;
    for (i32 i = from; i <= to; ++i) {
        if (pos[i] > lo && pos[i] < hi && (best < 0 || mag[i] > mag[best])) best = i;
    }
    if (best >= 0) return best;
    for (i32 i = from; i <= to; ++i) {
        if (best < 0 || std::abs(pos[i] - near) < std::abs(pos[best] - near)) best = i;
    }
    return best;
}

i32 Tolerance(i32 span, i32 modules) {
    const i32 threshold = modules == 17 ? 544 : 320;
    return span < threshold ? 32 : span / modules;
}

i32 ModelAt(const i32 *record, i32 x, i32 k, i32 light, i32 dark) {
    const PDF_BLUR_MODEL m{record, kPdfCodewordRecord, x, k, (k & 1) ^ (g_pdfReadParams.inverted != 0 ? 1 : 0), light,
                           dark};
    return PDF_BlurModelValue(&m);
}

// Moves every edge of the codeword by the sign of the model's error at the two samples
// around it: 4, then 2 sixteenths.
void RefineCodeword(const u8 *s, i32 n, i32 *record, i32 light, i32 dark) {
    const i32 rounds = std::min(g_pdfReadParams.refineRounds, 3);
    for (i32 r = 0; r < rounds; ++r) {
        for (i32 k = 2; k <= 10; ++k) {
            const i32 at = record[k] / 16;
            if (at < 0 || at + 1 >= n) continue;
            const i32 err = (ModelAt(record, 16 * at, k, light, dark) - s[at]) +
                            (ModelAt(record, 16 * at + 16, k, light, dark) - s[at + 1]);
            i32 sign = err > 0 ? 1 : err < 0 ? -1 : 0;
            if (((k & 1) == 0) != (g_pdfReadParams.inverted != 0)) sign = -sign;
            record[k] += sign * (8 >> (r + 1));
        }
    }
}

int ReadBarPattern(const BAR_SHAPE &shape, const u8 *s, i32 n, i32 b, i32 c, i32 *record) {
    i32 *pos = Mem_AllocArray<i32>(kListBlock);
    i32 *mag = Mem_AllocArray<i32>(kListBlock);
    void *blocks[2] = {pos, mag};
    int ok = 0;
    if (Mem_AllNonNull(blocks, 2) != 0) {
        const bool inverted = g_pdfReadParams.inverted != 0;
        const i32 inner = shape.bars - 1;
        const i32 after = shape.endSlot + 1;
        i32 light = 0;
        i32 dark = 255;
        i32 *trailingLevel = inverted ? &light : &dark;
        i32 *leadingLevel = inverted ? &dark : &light;
        ok = 1;
        // Trailing edges: the bars' far sides.
        const i32 nt = ListEdges(inverted, s, n, pos, mag, trailingLevel);
        const i32 i = nt >= shape.bars ? FirstBeyond(pos, nt, b) : -1;
        const i32 e = i >= 0 ? LastBefore(pos, nt, i, c) : -1;
        if (i < 0 || e - i < inner) ok = 0;
        if (ok != 0) {
            record[1] = i > 0 && pos[i - 1] < b ? pos[i - 1] : pos[i];
            record[after] = e + 1 < nt && pos[e + 1] > c ? pos[e + 1] : pos[e];
            TakeEdges(pos, mag, i, e, shape.bars, record + 3);
        }
        // Leading edges: the inner bars' near sides, then the pattern's two ends.
        const i32 nl = ok != 0 ? ListEdges(!inverted, s, n, pos, mag, leadingLevel) : 0;
        const i32 lastBar = 3 + 2 * inner;
        const i32 k = nl >= 4 ? FirstBeyond(pos, nl, record[3]) : -1;
        const i32 kEnd = k >= 0 ? LastBefore(pos, nl, k, record[lastBar]) : -1;
        if (k <= 0 || kEnd - k + 1 < inner) ok = 0;
        if (ok != 0) {
            TakeEdges(pos, mag, k, kEnd, inner, record + 4);
            const i32 lead = PickEdge(pos, mag, 0, k - 1, record[1], record[3], b);
            if (lead >= 0 && std::abs(pos[lead] - b) <= Tolerance(c - b, 17)) b = pos[lead];
            record[2] = b;
            if (record[1] == record[3] || record[2] < record[1]) record[1] = record[2] - 80;
            record[0] = record[1] - 80;
            const i32 end = PickEdge(pos, mag, kEnd, nl - 1, record[lastBar], record[after], c);
            if (end >= 0 && std::abs(pos[end] - c) <= Tolerance(c - b, shape.modules)) c = pos[end];
            record[shape.endSlot] = c;
            if (shape.codeword ? (record[9] == record[11] || record[11] <= record[10]) : record[7] == record[9]) {
                record[after] = record[shape.endSlot] + 80;
            }
            record[after + 1] = record[after] + 80;
            for (i32 slot = 2; slot < shape.endSlot; ++slot) {
                if (record[slot + 1] <= record[slot]) ok = 0;
            }
        }
        if (ok != 0 && shape.codeword && g_pdfReadParams.skipRefine != 1) RefineCodeword(s, n, record, light, dark);
    }
    Mem_FreeList(blocks, 2);
    return ok;
}

}  // namespace

int PDF_ReadCodewordOnLine(const u8 *samples, i32 n, i32 startIndex16, i32 endIndex16, i32 record[kPdfCodewordRecord]) {
    if (samples == nullptr || record == nullptr || n < 20 || g_pdfReadParams.readersOn == 0) return 0;
    return ReadBarPattern({4, 10, 17, true}, samples, n, startIndex16, endIndex16, record);
}

int PDF_ReadRapOnLine(const u8 *samples, i32 n, i32 startIndex16, i32 endIndex16, i32 record[kPdfRapRecord]) {
    if (samples == nullptr || record == nullptr || n < 13 || g_pdfReadParams.readersOn == 0) return 0;
    return ReadBarPattern({3, 8, 10, false}, samples, n, startIndex16, endIndex16, record);
}

i32 PDF_BlurModelValue(const PDF_BLUR_MODEL *model) {
    if (model == nullptr || model->edges == nullptr || model->count < 2) return 0;
    const i32 *e = model->edges;
    const i32 last = std::min(model->count, kPdfCodewordRecord) - 1;
    const i32 x = model->x;
    i32 i = model->index;
    i32 polarity = model->polarity;
    if (i < 0 || i > last) return 0;
    if (x < e[i]) {
        --i;
        polarity ^= 1;
    }
    // Two edges closer than a sample: the point may lie beyond the next edge too.
    while (i + 1 <= last && x >= e[i + 1]) {
        ++i;
        polarity ^= 1;
    }
    const i32 *t = PDF_EdgeSpreadTable;
    i64 sum = t[0];
    if (i + 1 <= last && e[i + 1] - x <= 52) {
        sum -= t[e[i + 1] - x];
        i32 sign = 1;
        for (i32 j = i + 2; j <= last && e[j] >= e[j - 1] && e[j] - x <= 52; ++j, sign = -sign) sum += sign * t[e[j] - x];
    }
    if (i < 0 || x - e[i] > 51) {
        sum += t[1];
    } else {
        const i32 d = x - e[i];
        if (d >= 1) sum += t[1] - t[d + 1];
        i32 sign = 1;
        for (i32 j = i - 1; j >= 0 && e[j] <= e[j + 1] && x - e[j] <= 51; --j, sign = -sign) sum += sign * t[x - e[j] + 1];
    }
    const i64 a = polarity != 0 ? model->dark : model->light;
    const i64 bLevel = polarity != 0 ? model->light : model->dark;
    return static_cast<i32>(((131072 - sum) * a + sum * bLevel) >> 17);
}

}  // namespace vexo
