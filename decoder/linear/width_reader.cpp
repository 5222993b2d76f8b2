#include "linear/width_reader.h"

#include "linear/line_toolkit.h"

namespace vexo {

WIDTH_READER_STATE g_widthReader;

namespace {

constexpr i32 kNoScore = kWidthNoScore;

u16 Distance(u16 a, u16 b) { return static_cast<u16>(a > b ? a - b : b - a); }

// Widths of count elements from edges[0], stepping by direction.
void ReadWidths(const u16 *edges, i16 direction, int count, u16 *out) {
    for (int k = 0; k < count; ++k) out[k] = Distance(edges[k * direction], edges[(k + 1) * direction]);
}

bool IsBar(int zeroBased) { return (zeroBased & 1) == 0; }

// The character record of a reader character: widths and classes with the frame.
WIDTH_RECORD RecordOf(const WIDTH_CHAR &c, const u8 *classes) {
    WIDTH_RECORD r{};
    const int n = c.elementCount <= kWidthMaxElements ? c.elementCount : kWidthMaxElements;
    r.count = static_cast<u8>(n);
    r.classes[0] = c.leadClass;
    r.classes[n + 1] = c.trailClass;
    for (int k = 0; k < n; ++k) {
        r.widths[k + 1] = c.widths[k];
        r.classes[k + 1] = classes[k];
    }
    return r;
}

i32 Abs(i32 v) { return v < 0 ? -v : v; }

// Rounds sum / den to whole units, half away from zero; negative results are 0.
i16 RoundedSpread(i64 sum, i64 den) {
    if (sum <= 0 || den <= 0) return 0;
    const i64 r = (2 * sum + den) / (2 * den);
    return static_cast<i16>(r > 0x7FFF ? 0x7FFF : r);
}

// Average x 10, rounded half up; -1 for no elements.
i32 Average10(i64 sum, i32 count) { return count > 0 ? static_cast<i32>((sum * 10 + count / 2) / count) : -1; }

struct Hypothesis {
    u8 classes[kWidthMaxElements];
    u32 key;
    i32 value;
    bool soft;
};

// Classes of candidate byte c over the ranked elements (step 3), frame excluded.
void ClassesOf(const WIDTH_CHAR &ch, const WIDTH_READER_SETUP *s, const u8 *order, u8 c, Hypothesis *h) {
    const int n = ch.elementCount;
    const bool barsOnly = s->symbologyId == kWidthIdIndustrial25 || s->symbologyId == kWidthIdIata25;
    for (int k = 0; k < n; ++k) h->classes[k] = barsOnly && !IsBar(k) ? ch.trailClass : 1;
    int m = n;
    if (s->symbologyId == kWidthIdItf || s->symbologyId == kWidthIdCode39) m = n < 8 ? n : 8;
    if (barsOnly) m = n < 4 ? n : 4;
    const int bitBase = barsOnly ? 4 : 0;
    for (int j = 0; j < m && j + bitBase < 8; ++j) h->classes[order[m - 1 - j]] = ((c >> (j + bitBase)) & 1) != 0 ? 2 : 1;
}

// Step 4: 1 valid (soft flag in h), 0 refused.
bool CheckValidity(const WIDTH_CHAR &ch, Hypothesis *h) {
    h->soft = true;
    for (int w = 0; w < ch.elementCount; ++w) {
        if (h->classes[w] != 2) continue;
        for (int k = IsBar(w) ? 0 : 1; k < ch.elementCount; k += 2) {
            if (h->classes[k] != 1 || ch.widths[k] < ch.widths[w]) continue;
            h->soft = false;
            if (4 * static_cast<i32>(ch.widths[w]) < 3 * static_cast<i32>(ch.widths[k])) return false;
        }
    }
    return true;
}

u32 PackClasses(const u8 *classes, int first, int count, int step, int shift) {
    u32 key = 0;
    for (int k = 0; k < count; ++k) key = (key << shift) | classes[first + k * step];
    return key;
}

// Step 5: key and value, false when the key is not in the table.
bool LookUp(const WIDTH_CHAR &ch, const WIDTH_READER_SETUP *s, Hypothesis *h) {
    const int n = ch.elementCount;
    const int bars = (n + 1) / 2;
    const int spaces = n / 2;
    if (s->symbologyId == kWidthIdItf) {
        const u32 barKey = PackClasses(h->classes, 0, bars, 2, 4);
        const u32 spaceKey = PackClasses(h->classes, 1, spaces, 2, 4);
        const i16 first = Line_FindInTable(s->keys, s->keyCount, static_cast<i32>(barKey));
        const i16 second = Line_FindInTable(s->keys, s->keyCount, static_cast<i32>(spaceKey));
        if (first < 0 || second < 0) return false;
        h->key = (barKey << 20) | spaceKey;
        h->value = first * 256 + second;
        return true;
    }
    if (s->symbologyId == kWidthIdIndustrial25 || s->symbologyId == kWidthIdIata25)
        h->key = PackClasses(h->classes, 0, bars, 2, 4);
    else
        h->key = PackClasses(h->classes, 0, n, 1, s->keyShift);
    h->value = Line_FindInTable(s->keys, s->keyCount, static_cast<i32>(h->key));
    return h->value >= 0;
}

}  // namespace

i32 Line_ScoreWidths(const WIDTH_RECORD *rec, const WIDTH_REFS *refsIn, i32 *deviationSum) {
    const WIDTH_RECORD &r = *rec;
    const WIDTH_REFS &refs = *refsIn;
    const i32 barSpan = static_cast<i32>(refs.wideBar) - refs.narrowBar;
    const i32 spaceSpan = static_cast<i32>(refs.wideSpace) - refs.narrowSpace;
    if (deviationSum != nullptr) *deviationSum = 0;
    if (barSpan == 0 || spaceSpan == 0) return 0;
    i64 sum = 0;
    i64 above = 0;
    for (int k = 1; k <= r.count; ++k) {
        const bool bar = (k & 1) == 1;
        const bool wide = r.classes[k] == 2;
        const i32 ref = bar ? (wide ? refs.wideBar : refs.narrowBar) : (wide ? refs.wideSpace : refs.narrowSpace);
        const i64 span = Abs(bar ? barSpan : spaceSpan);
        const i64 dev = (Abs(r.widths[k] * 10 - ref) * 20 + span) / (2 * span);
        sum += dev;
        if (dev > 2) above += dev;
    }
    const i64 score = sum + (above + 1) / 2;
    if (deviationSum != nullptr) *deviationSum = static_cast<i32>(sum > 0x7FFFFFF ? 0x7FFFFFF : sum);
    return static_cast<i32>(score > 0x7FFFFFF ? 0x7FFFFFF : score);
}

int Line_DecideWidthChar(i32 best, i32 second, int hadAccepted, i32 mode, const u16 *t) {
    const i64 margin = second >= kWidthNoScore ? kWidthNoScore : Abs(best - second);
    if (hadAccepted != 0) {
        if (margin <= t[kWidthRefuse]) return 0;
        return margin > t[kWidthMargin] ? 1 : 2;
    }
    if (mode != 0) return 0;
    if (best <= t[kWidthLoose] && margin >= t[kWidthLooseMargin]) return 1;
    if (best <= t[kWidthLooser] && margin >= t[kWidthLooserMargin]) return 2;
    return 0;
}

void Line_SetWidthTolerances(u16 t0, u16 t1, u16 t2, u16 t3, u16 t4, u16 t5, u16 t6, u16 t7) {
    u16 *t = g_widthReader.tolerances;
    t[0] = t0;
    t[1] = t1;
    t[2] = t2;
    t[3] = t3;
    t[4] = t4;
    t[5] = t5;
    t[6] = t6;
    t[7] = t7;
}

void Line_InitWidthReader(WIDTH_READER_SETUP *setup, u8 symbologyId, i32 mode, i32 option, u8 barCount,
                          u8 spaceCount, const i32 *keys, u16 keyCount, u8 keyShift, const u8 *candidates,
                          u8 firstCandidate, u8 endCandidate) {
    if (setup == nullptr) return;
    setup->keys = keys;
    setup->keyCount = keyCount;
    setup->option = option;
    setup->mode = mode;
    setup->firstCandidate = firstCandidate;
    setup->endCandidate = endCandidate;
    setup->candidates = candidates;
    setup->barCount = barCount;
    setup->spaceCount = spaceCount;
    setup->symbologyId = symbologyId;
    setup->keyShift = keyShift;
}

void Line_UnpackKey(u32 key, u8 *classes, u8 count, u8 keyShift) {
    if (classes == nullptr || (keyShift != 3 && keyShift != 4)) return;
    const u32 mask = (1u << keyShift) - 1;
    for (int k = count - 1; k >= 0; --k, key >>= keyShift) classes[k] = static_cast<u8>(key & mask);
}

namespace {

// The common part of the two loaders: the character's widths after the given lead element,
// and its trailing element when its far edge exists.
bool LoadChar(const u16 *edges, i16 direction, u8 elements, i32 available, u16 lead, u8 leadClass) {
    WIDTH_CHAR &c = g_widthReader.current;
    if (edges == nullptr || elements < 1 || elements > kWidthMaxElements || available < elements + 1) return false;
    c = WIDTH_CHAR{};
    c.leadWidth = lead;
    c.leadClass = leadClass;
    c.elementCount = elements;
    ReadWidths(edges, direction, elements, c.widths);
    // The element after a stop character may lie beyond the line; its caller replaces it.
    if (available >= elements + 2) c.trailWidth = Distance(edges[elements * direction], edges[(elements + 1) * direction]);
    return true;
}

}  // namespace

int Line_LoadCharWidths(const u16 *edges, i16 direction, u8 elements, u8 trailClassHint, i32 available) {
    const WIDTH_CHAR &c = g_widthReader.current;
    if (!LoadChar(edges, direction, elements, available, c.trailWidth, c.trailClass)) return 0;
    g_widthReader.current.trailClass = trailClassHint;
    return 1;
}

int Line_LoadCharWidthsMode(const u16 *edges, i16 direction, u8 elements, u8 mode, i32 available) {
    WIDTH_CHAR &c = g_widthReader.current;
    const int last = c.elementCount >= 1 && c.elementCount <= kWidthMaxElements ? c.elementCount - 1 : 0;
    if (!LoadChar(edges, direction, elements, available, c.widths[last], c.classes[last])) return 0;
    if (mode == kWidthIdItf) {
        int narrower = 0;
        for (int k = 0; k < elements; k += 2) narrower += c.widths[k] < c.trailWidth ? 1 : 0;
        c.trailClass = narrower < 3 ? 1 : 2;
    } else {
        const bool after = available >= elements + 3;
        const u16 next = after ? Distance(edges[(elements + 1) * direction], edges[(elements + 2) * direction]) : 0;
        c.trailClass = after && next < c.trailWidth ? 2 : 1;
    }
    return 1;
}

int Line_MeasureStartGiven(const LINE_DECODE_CTX *ctx, u8 symbologyId, u32 startKey, u8 keyShift, u8 elements,
                           i32 loadNext, u8 nextElements) {
    if (ctx == nullptr || ctx->edgesBase == nullptr || elements < 5 || elements > kWidthMaxElements) return 0;
    const i16 d = ctx->direction < 0 ? -1 : 1;
    const i32 p = ctx->startIndex;
    const i32 available = d > 0 ? ctx->edgeCount - p : p + 1;
    if (p >= ctx->edgeCount || available < elements + 2) return 0;
    const u16 *e = &ctx->edgesBase[p];
    WIDTH_CHAR &c = g_widthReader.current;
    c = WIDTH_CHAR{};
    c.elementCount = elements;
    ReadWidths(e, d, elements, c.widths);
    // The outer bar borders the quiet zone, so its width says little.
    c.widths[0] = c.widths[symbologyId == kWidthIdCode11 ? 4 : 2];
    c.leadWidth = c.widths[3];
    c.acceptedKey = startKey;
    if (startKey != 0 && (keyShift == 3 || keyShift == 4)) {
        Line_UnpackKey(startKey, c.classes, elements, keyShift);
        c.leadClass = c.classes[3];
    }
    c.trailWidth = Distance(e[elements * d], e[(elements + 1) * d]);
    const u32 t = c.trailWidth;
    const u16 *w = c.widths;
    switch (symbologyId) {
        case kWidthIdCode39:
            c.trailClass = static_cast<u32>(w[1]) + w[5] < 2 * t ? 2 : 1;
            break;
        case kWidthIdPlessey: {
            const bool after = available >= elements + 3;
            c.trailClass = after && Distance(e[(elements + 1) * d], e[(elements + 2) * d]) < t ? 2 : 1;
            break;
        }
        case kWidthIdCode11:
            c.trailClass = static_cast<u32>(w[1]) + w[3] < 2 * t ? 2 : 1;
            break;
        case kWidthIdIndustrial25:
            c.trailClass = 1;
            if (static_cast<u32>(w[2]) + w[4] < w[3] + t) {
                c.trailClass = 2;
                c.acceptedKey = 9361;  // classes 2, 2, 2, 2, 1
            }
            break;
        default:
            c.trailClass = 0;
            break;
    }
    if (loadNext == 1)
        return Line_LoadCharWidths(&e[(elements + 1) * d], d, nextElements, c.trailClass, available - elements - 1);
    return 1;
}

int Line_MeasureStart(const LINE_DECODE_CTX *ctx, u8 symbologyId, u8 skip, u8 elements, u8 leadClass, u32 startKey,
                      u8 keyShift, i32 loadNext, u8 nextElements) {
    if (ctx == nullptr || ctx->edgesBase == nullptr || elements < 1 || elements > kWidthMaxElements) return 0;
    const i16 d = ctx->direction < 0 ? -1 : 1;
    const i32 p = ctx->startIndex;
    const i32 available = d > 0 ? ctx->edgeCount - p : p + 1;
    const i32 needed = skip + elements + 2;  // the lead element, the pattern and the element after it
    if (p >= ctx->edgeCount || available < needed) return 0;
    const u16 *e = &ctx->edgesBase[p];
    WIDTH_CHAR &c = g_widthReader.current;
    c = WIDTH_CHAR{};
    c.elementCount = elements;
    c.leadWidth = Distance(e[skip * d], e[(skip + 1) * d]);
    c.leadClass = leadClass;
    const u16 *first = &e[(skip + 1) * d];
    ReadWidths(first, d, elements, c.widths);
    c.acceptedKey = startKey;
    if (startKey != 0) Line_UnpackKey(startKey, c.classes, elements, keyShift);
    c.trailWidth = Distance(first[elements * d], first[(elements + 1) * d]);
    const bool afterNext = available >= needed + 1;
    const u16 next = afterNext ? Distance(first[(elements + 1) * d], first[(elements + 2) * d]) : 0;
    const u32 t = c.trailWidth;
    const u16 *w = c.widths;
    switch (symbologyId) {
        case kWidthIdItf: {
            int below = 0;
            for (int k = 0; k < elements; k += 2) below += w[k] < t ? 1 : 0;
            c.trailClass = below < 3 ? 1 : 2;
            break;
        }
        case kWidthIdVar25b:
            c.trailClass = 13 * static_cast<u32>(c.leadWidth) < 10 * t ? 2 : 1;
            break;
        case kWidthIdMatrix25:
            c.trailClass = elements > 1 && 3 * static_cast<u32>(w[1]) < 2 * t ? 2 : 1;
            break;
        case kWidthIdIata25: {
            u32 even = c.leadWidth, odd = 0;
            for (int k = 0; k < elements; ++k) (k % 2 == 1 ? even : odd) += w[k];
            c.trailClass = even < odd ? 1 : 2;
            c.leadClass = c.trailClass;
            break;
        }
        case kWidthIdMsi:
            c.trailClass = afterNext && next < t ? 2 : 1;
            break;
        default:
            c.trailClass = 0;
            break;
    }
    if (loadNext == 1)
        return Line_LoadCharWidths(&first[(elements + 1) * d], d, nextElements, c.trailClass,
                                   available - skip - elements - 2);
    return 1;
}

void Line_RankElements(const u16 *widths, u8 count, u8 *order) {
    int n = 0;
    for (int kind = 0; kind < 2; ++kind) {
        const int first = n;
        for (int k = kind; k < count; k += 2) {
            // Insertion behind every element at least as wide keeps equal widths in order.
            int at = n;
            while (at > first && widths[order[at - 1]] < widths[k]) {
                order[at] = order[at - 1];
                --at;
            }
            order[at] = static_cast<u8>(k);
            ++n;
        }
    }
}

int Line_EstimateSpread(const WIDTH_RECORD *r, WIDTH_REFS *refs) {
    i64 sum[2] = {0, 0};  // bars, spaces
    i32 count[2] = {0, 0};
    const int n = r->count;
    auto weight = [r](int k) { return 4 - r->classes[k - 1] - r->classes[k + 1]; };
    for (int i = 1; i <= n; ++i) {
        if (r->classes[i] != 2) continue;
        for (int j = i + 2; j <= n; j += 2) {
            if (r->classes[j] != 2 || weight(i) == weight(j)) continue;
            sum[(i & 1) == 0] += static_cast<i64>(r->widths[j] - r->widths[i]) * 1024 / (weight(i) - weight(j));
            ++count[(i & 1) == 0];
        }
    }
    if (count[0] == 0 && count[1] == 0) return 0;
    const int a = count[0] > 0 ? 0 : 1;
    const int b = count[1] > 0 ? 1 : 0;
    refs->spreadA = RoundedSpread(sum[a], static_cast<i64>(count[a]) * 1024);
    refs->spreadB = RoundedSpread(sum[b], static_cast<i64>(count[b]) * 1024);
    return count[0] + count[1];
}

int Line_CorrectWidths(WIDTH_RECORD *r, i32 spreadA, i32 spreadB) {
    for (int k = 1; k <= r->count; ++k) {
        const bool bar = (k & 1) == 1;
        const bool wide = r->classes[k] == 2;
        const i32 spread = bar == wide ? spreadA : spreadB;
        const i32 d = 2 * r->classes[k] - r->classes[k - 1] - r->classes[k + 1];
        r->widths[k] += d * spread;
        if (r->widths[k] <= 0) return 0;
    }
    return 1;
}

int Line_RecomputeReferences(const WIDTH_RECORD *r, WIDTH_REFS *refs) {
    i64 sum[4] = {0, 0, 0, 0};  // narrow bar, wide bar, narrow space, wide space
    i32 count[4] = {0, 0, 0, 0};
    for (int k = 1; k <= r->count; ++k) {
        if (r->classes[k] != 1 && r->classes[k] != 2) continue;
        const int slot = ((k & 1) == 1 ? 0 : 2) + (r->classes[k] == 2 ? 1 : 0);
        sum[slot] += r->widths[k];
        ++count[slot];
    }
    i32 avg[4];
    for (int s = 0; s < 4; ++s) avg[s] = Average10(sum[s], count[s]);
    const bool barsWhole = avg[0] >= 0 && avg[1] >= 0;
    const bool spacesWhole = avg[2] >= 0 && avg[3] >= 0;
    if (!barsWhole && !spacesWhole) return 0;
    i32 barDiff = barsWhole ? (avg[1] - avg[0] + 5) / 10 : 0;
    i32 spaceDiff = spacesWhole ? (avg[3] - avg[2] + 5) / 10 : 0;
    // A kind without both classes borrows the other kind's difference.
    for (int kind = 0; kind < 2; ++kind) {
        if (kind == 0 ? barsWhole : spacesWhole) continue;
        i32 &diff = kind == 0 ? barDiff : spaceDiff;
        diff = kind == 0 ? spaceDiff : barDiff;
        i32 *pair = &avg[2 * kind];
        if (pair[0] < 0 && pair[1] < 0) return 0;
        if (pair[0] < 0) pair[0] = pair[1] - 10 * diff;
        if (pair[1] < 0) pair[1] = pair[0] + 10 * diff;
    }
    if (!(avg[0] < avg[1] && avg[2] < avg[3])) return 0;
    if (avg[0] < 0 || avg[2] < 0 || avg[1] > 0xFFFF || avg[3] > 0xFFFF) return 0;
    if (barDiff > 1000 || spaceDiff > 1000 || barDiff < 0 || spaceDiff < 0) return 0;
    const i32 small = barDiff < spaceDiff ? barDiff : spaceDiff;
    const i32 large = barDiff < spaceDiff ? spaceDiff : barDiff;
    if (5 * small < 2 * large) return 0;
    refs->narrowBar = static_cast<u16>(avg[0]);
    refs->wideBar = static_cast<u16>(avg[1]);
    refs->narrowSpace = static_cast<u16>(avg[2]);
    refs->wideSpace = static_cast<u16>(avg[3]);
    refs->barDifference = static_cast<u16>(barDiff);
    refs->spaceDifference = static_cast<u16>(spaceDiff);
    return 1;
}

namespace {

// Narrow and wide elements among the bars (1) or the spaces (0) of a record.
bool HoldsBothClasses(const WIDTH_RECORD &r, int bars) {
    bool narrow = false, wide = false;
    for (int k = bars != 0 ? 1 : 2; k <= r.count; k += 2) {
        narrow = narrow || r.classes[k] == 1;
        wide = wide || r.classes[k] == 2;
    }
    return narrow && wide;
}

}  // namespace

int Line_UpdateReferences(WIDTH_REFS *refs, u8 mode) {
    if (refs == nullptr) return 0;
    const WIDTH_CHAR &c = mode == 1 ? g_widthReader.current : g_widthReader.previous;
    WIDTH_RECORD r = RecordOf(c, c.classes);
    Line_EstimateSpread(&r, refs);
    if (4 * refs->barDifference < 10 * refs->spreadA || 4 * refs->spaceDifference < 10 * refs->spreadB) {
        refs->spreadA = 0;
        refs->spreadB = 0;
    } else if ((refs->spreadA != 0 || refs->spreadB != 0) && Line_CorrectWidths(&r, refs->spreadA, refs->spreadB) == 0) {
        return 0;
    }
    // A character whose bars and spaces each hold one class (a 2 of 5 digit with both
    // spaces wide) tells no difference of widths: the references stand.
    if (!HoldsBothClasses(r, 1) && !HoldsBothClasses(r, 0)) return 1;
    WIDTH_REFS fresh = *refs;
    if (Line_RecomputeReferences(&r, &fresh) == 0) return 0;
    // A jump of more than 35 % in any reference is more likely a misread than the symbol.
    const u16 stored[4] = {refs->narrowBar, refs->wideBar, refs->narrowSpace, refs->wideSpace};
    const u16 next[4] = {fresh.narrowBar, fresh.wideBar, fresh.narrowSpace, fresh.wideSpace};
    for (int k = 0; k < 4; ++k) {
        const i32 diff = Abs(static_cast<i32>(next[k]) - stored[k]);
        if (stored[k] != 0 && 100 * diff > 35 * static_cast<i32>(stored[k])) return 1;
    }
    *refs = fresh;
    return 1;
}

int Line_ReadWidthChar(WIDTH_REFS *refs, const WIDTH_READER_SETUP *setup) {
    WIDTH_CHAR &ch = g_widthReader.current;
    const u16 *t = g_widthReader.tolerances;
    if (refs == nullptr || setup == nullptr || setup->candidates == nullptr || setup->keys == nullptr) return 0;
    if (ch.elementCount < 1 || ch.elementCount > kWidthMaxElements) return 0;
    u8 order[kWidthMaxElements];
    Line_RankElements(ch.widths, static_cast<u8>(ch.elementCount), order);
    const bool barsOnly = setup->symbologyId == kWidthIdIndustrial25 || setup->symbologyId == kWidthIdIata25;

    i32 bestScore = kNoScore, secondScore = kNoScore, acceptedScore = kNoScore;
    Hypothesis best{}, accepted{};
    WIDTH_REFS acceptedRefs{};
    for (int i = setup->firstCandidate; i < setup->endCandidate; ++i) {
        Hypothesis h{};
        ClassesOf(ch, setup, order, setup->candidates[i], &h);
        if (!CheckValidity(ch, &h) || !LookUp(ch, setup, &h)) continue;
        WIDTH_RECORD r = RecordOf(ch, h.classes);
        if (barsOnly) r.classes[0] = ch.trailClass;
        WIDTH_REFS use = *refs;
        if (setup->mode == 0) {
            if ((use.spreadA != 0 || use.spreadB != 0) && Line_CorrectWidths(&r, use.spreadA, use.spreadB) == 0)
                continue;
        } else {
            use = WIDTH_REFS{};
            Line_EstimateSpread(&r, &use);
            if (Line_CorrectWidths(&r, use.spreadA, use.spreadB) == 0 || Line_RecomputeReferences(&r, &use) == 0)
                continue;
            if (20 * use.spreadA > use.narrowBar || 20 * use.spreadB > use.narrowSpace) continue;
        }
        const i32 score = Line_ScoreWidths(&r, &use);
        if (score < bestScore) {
            secondScore = bestScore;
            bestScore = score;
            best = h;
        } else if (score < secondScore) {
            secondScore = score;
        }
        if (score < acceptedScore && score < t[kWidthAccept]) {
            acceptedScore = score;
            accepted = h;
            acceptedRefs = use;
        }
        if (score <= t[kWidthAtOnce]) break;
    }
    if (bestScore == kNoScore) return 0;
    const bool had = acceptedScore != kNoScore;
    const int decision = Line_DecideWidthChar(bestScore, secondScore, had ? 1 : 0, setup->mode, t);
    if (decision == 0) return 0;
    const Hypothesis *chosen = had ? &accepted : &best;
    const bool clean = decision == 1;
    if (!chosen->soft) return 0;
    if (chosen == &accepted && setup->mode != 0) *refs = acceptedRefs;
    if (!clean) lineCleanRead = 0;
    ch.acceptedKey = chosen->key;
    ch.acceptedValue = static_cast<u16>(chosen->value);
    for (int k = 0; k < ch.elementCount; ++k) ch.classes[k] = chosen->classes[k];
    return 1;
}

}  // namespace vexo
