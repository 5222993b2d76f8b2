#include "pdf417/mpdf_sequence.h"

#include "pdf417/mpdf_variants.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_geometry.h"
#include "pdf417/pdf417_rows.h"
#include "toolkit/geometry_points.h"

namespace vexo {

namespace {

constexpr i32 kRapNumbers = 52;
// Sequences longer than this vote on neighbouring pairs only.
constexpr i32 kPairVoteRows = 14;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }

// Whether number a agrees with number b lying after it along the sequence.
bool Ordered(i32 a, i32 b, i32 direction) { return direction == 0 ? b > a : b < a; }

// Rows contradicting row j, counted until the first agreeing row in the middle part.
i32 Contradictions(const PDF_ROW_ENTRY *rows, i32 count, i32 j, i32 direction) {
    const i32 b = rows[j].row;
    i32 n = 0;
    for (i32 k = j + 1; k < count; ++k) {
        const i32 v = rows[k].row;
        if (v <= 0) continue;
        if (!Ordered(b, v, direction)) {
            ++n;
        } else if (j >= 2 && k > 3 && k < count - 3) {
            break;
        }
    }
    for (i32 k = j - 1; k >= 0; --k) {
        const i32 v = rows[k].row;
        if (v <= 0) continue;
        if (!Ordered(v, b, direction)) {
            ++n;
        } else if (j >= 2 && k > 3 && k < count - 3) {
            break;
        }
    }
    return n;
}

// Moves the entry's points n row pitches along p->q.
void Shifted(const PDF_ROW_ENTRY &from, GEO_POINT p, GEO_POINT q, GEO_POINT p2, GEO_POINT q2, i32 d,
             PDF_ROW_ENTRY *out) {
    Geo_ShiftAlong(&p, &q, &from.firstFrom, d, &out->firstFrom);
    Geo_ShiftAlong(&p2, &q2, &from.firstTo, d, &out->firstTo);
    out->lastFrom = out->firstFrom;
    out->lastTo = out->firstTo;
    out->value = kPdfNoCodeword;
}

}  // namespace

i32 MPDF_VoteRapSet(PDF_ROW_ENTRY *rows, i32 count) {
    if (rows == nullptr) return 1;
    i64 outer = 0;
    i64 centre = 0;
    for (i32 i = 0; i < count; ++i) {
        const u32 set = static_cast<u32>(rows[i].value) >> 28;
        if (set == 1) outer += rows[i].reads;
        if (set == 2) centre += rows[i].reads;
    }
    const i32 chosen = centre > outer ? 2 : 1;
    for (i32 i = 0; i < count; ++i) {
        const bool in = static_cast<i32>(static_cast<u32>(rows[i].value) >> 28) == chosen;
        rows[i].row = in ? (rows[i].value & 0xFF) + 1 : -1;
    }
    return chosen;
}

i32 MPDF_RapDirection(PDF_ROW_ENTRY *rows, i32 count) {
    if (rows == nullptr) return 0;
    for (i32 i = 0; i < count; ++i) {
        if (rows[i].row <= 0) rows[i].row = -1;
    }
    i32 vote = 0;
    if (count > kPairVoteRows) {
        for (i32 i = 0; i + 1 < count; ++i) {
            if (rows[i].row <= 0 && rows[i + 1].row <= 0) continue;
            vote += rows[i + 1].row > rows[i].row ? 1 : -1;
        }
    } else {
        for (i32 i = 0; i < count; ++i) {
            if (rows[i].row <= 0) continue;
            for (i32 j = i + 1; j < count; ++j) {
                if (rows[j].row > 0) vote += rows[j].row > rows[i].row ? 1 : -1;
            }
        }
    }
    return vote < 0 ? 1 : 0;
}

void MPDF_DropContradictedRaps(PDF_ROW_ENTRY *rows, i32 count, i32 direction) {
    if (rows == nullptr) return;
    for (i32 j = 0; j < count; ++j) {
        if (rows[j].row > 0 && Contradictions(rows, count, j, direction) > 1) rows[j].row = -1;
    }
    for (i32 j = 0; j < count; ++j) {
        if (rows[j].reads == 1) rows[j].row = -1;
    }
}

void MPDF_CleanRapSequence(PDF_ROW_ENTRY *rows, i32 count, i32 direction) {
    if (rows == nullptr) return;
    i32 wrap = -1;
    for (i32 i = 1; i < count - 2 && wrap < 0; ++i) {
        const i32 r = rows[i].row;
        if (Abs32(r - rows[i + 1].row) > 40 && Abs32(r - rows[i + 2].row) > 40 && Abs32(r - rows[i - 1].row) <= 3) {
            wrap = i;
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        if (wrap < 0) {
            MPDF_DropContradictedRaps(rows, count, direction);
        } else {
            MPDF_DropContradictedRaps(rows, wrap + 1, direction);
            MPDF_DropContradictedRaps(rows + wrap + 1, count - wrap - 1, direction);
        }
    }
}

i32 MPDF_DropIsolatedRaps(PDF_ROW_ENTRY *rows, i32 count) {
    if (rows == nullptr || count <= 0) return 0;
    i32 seen[kRapNumbers + 2] = {};
    for (i32 i = 0; i < count; ++i) {
        if (rows[i].row >= 1 && rows[i].row <= kRapNumbers) ++seen[rows[i].row];
    }
    const bool wraps = seen[1] > 0 && seen[kRapNumbers] > 0;
    for (i32 n = 1; n <= kRapNumbers; ++n) {
        if (seen[n] == 0 || seen[n - 1] > 0 || seen[n + 1] > 0) continue;
        if (wraps && (n == 1 || n == kRapNumbers)) continue;
        for (i32 i = 0; i < count; ++i) {
            if (rows[i].row != n) continue;
            for (i32 k = i; k + 1 < count; ++k) rows[k] = rows[k + 1];
            --count;
            break;
        }
    }
    return count;
}

i32 MPDF_MergeEqualRaps(PDF_ROW_ENTRY *rows, i32 count) {
    if (rows == nullptr || count <= 0) return 0;
    i32 kept = 1;
    for (i32 i = 1; i < count; ++i) {
        PDF_ROW_ENTRY &last = rows[kept - 1];
        if (rows[i].row == last.row) {
            last.lastFrom = rows[i].lastFrom;
            last.lastTo = rows[i].lastTo;
            last.reads += rows[i].reads;
        } else {
            rows[kept++] = rows[i];
        }
    }
    return kept;
}

void MPDF_ReverseRows(PDF_ROW_ENTRY *rows, i32 count) {
    if (rows == nullptr) return;
    for (i32 i = 0, j = count - 1; i < j; ++i, --j) {
        const PDF_ROW_ENTRY t = rows[i];
        rows[i] = rows[j];
        rows[j] = t;
    }
}

i32 MPDF_PrepareRapSequence(PDF_ROW_ENTRY *rows, i32 count, PDF_CANDIDATE *c) {
    if (rows == nullptr || c == nullptr || count <= 0) return 0;
    c->rowsDescending = MPDF_RapDirection(rows, count);
    MPDF_CleanRapSequence(rows, count, c->rowsDescending);
    count = PDF_CompactRowEntries(rows, count);
    count = MPDF_DropIsolatedRaps(rows, count);
    count = MPDF_MergeEqualRaps(rows, count);
    // A set owns 52 entries of the row table; the next set starts behind them.
    return count > kMpdfSetEntries ? 0 : count;
}

i32 MPDF_NextRapKind(i32 kind, i32 centre) {
    if (centre != 0) {
        if (kind == 1 || kind == 3) return 5;
        if (kind == 2 || kind == 4) return 6;
        return -1;
    }
    switch (kind) {
        case 1: return 3;
        case 2: return 4;
        case 3: return 1;
        case 4: return 2;
        case 5:
        case 6: return 3;
        default: return -1;
    }
}

i32 MPDF_KindStartByte(i32 kind) {
    if (kind == 1 || kind == 2) return 2;
    if (kind == 3 || kind == 4) return 4;
    if (kind == 5 || kind == 6) return 3;
    return -1;
}

namespace {

// Both ends of the sequence inside [s, s + R - 1], a last number below the first 52 higher.
bool InRange(const PDF_ROW_ENTRY *rows, i32 count, i32 s, i32 r) {
    if (rows == nullptr || count <= 0) return false;
    const i32 first = rows[0].row;
    i32 last = rows[count - 1].row;
    if (last < first) last += kRapNumbers;
    return first >= s && first <= s + r - 1 && last >= s && last <= s + r - 1;
}

}  // namespace

i32 MPDF_FindVariant(const PDF_ROW_ENTRY *rows1, i32 count1, i32 kind1, const PDF_ROW_ENTRY *rows2, i32 count2,
                     i32 kind2, i32 columns) {
    const i32 b1 = MPDF_KindStartByte(kind1);
    const i32 b2 = MPDF_KindStartByte(kind2);
    if (b1 < 0 || b2 < 0) return -1;
    for (i32 v = 0; v < kMpdfVariantCount; ++v) {
        const u8 *e = MPDF_VARIANT_TABLE[v];
        // A centre kind needs a centre column (three or four data columns).
        if (e[0] != columns || e[b1] == 0 || e[b2] == 0) continue;
        if (InRange(rows1, count1, e[b1], e[1]) && InRange(rows2, count2, e[b2], e[1])) return v;
    }
    return -1;
}

void MPDF_AssignClusters(PDF_ROW_ENTRY *rows, i32 count, i32 kind, i32 variant) {
    if (rows == nullptr || variant < 0 || variant >= kMpdfVariantCount) return;
    const u8 *e = MPDF_VARIANT_TABLE[variant];
    i32 d = e[2];
    if (kind == 3 || kind == 4) d = e[4] - (e[0] <= 2 ? 1 : 2) * e[9];
    if (kind == 5 || kind == 6) d = e[3] - e[9];
    const i32 first = d < 1 ? d + kRapNumbers - 1 : d - 1;
    for (i32 i = 0; i < count; ++i) rows[i].cluster = ((first + i) % 3) * 3;
}

int MPDF_CompleteRows(PDF_CANDIDATE *c, PDF_ROW_ENTRY *rows, i32 count, i32 kind, i32 variant) {
    const i32 b = MPDF_KindStartByte(kind);
    if (c == nullptr || rows == nullptr || b < 0 || variant < 0 || variant >= kMpdfVariantCount) return 0;
    if (count < 2 || count > kMpdfSetEntries) return 0;
    const u8 *e = MPDF_VARIANT_TABLE[variant];
    const i32 total = e[1];
    const i32 start = e[b];
    PDF_ROW_ENTRY read[kMpdfSetEntries];
    for (i32 i = 0; i < count; ++i) read[i] = rows[i];
    for (i32 i = 0; i < total; ++i) rows[i] = PDF_ROW_ENTRY{};
    // Every read row to its slot: its number's distance from the column's start.
    i32 firstSlot = -1;
    i32 lastSlot = -1;
    for (i32 i = 0; i < count; ++i) {
        if (read[i].row < 1 || read[i].row > kRapNumbers) return 0;
        const i32 slot = (read[i].row - start + kRapNumbers) % kRapNumbers;
        if (slot >= total || slot <= lastSlot) return 0;
        rows[slot] = read[i];
        if (firstSlot < 0) firstSlot = slot;
        lastSlot = slot;
    }
    if (lastSlot <= firstSlot) return 0;
    const GEO_POINT p = rows[firstSlot].firstFrom;
    const GEO_POINT q = rows[lastSlot].firstFrom;
    const GEO_POINT p2 = rows[firstSlot].firstTo;
    const GEO_POINT q2 = rows[lastSlot].firstTo;
    const f64 pitch = c->rowPitch;
    for (i32 k = 1; firstSlot - k >= 0; ++k) {
        Shifted(rows[firstSlot], p, q, p2, q2, -static_cast<i32>(k * pitch + 0.5), &rows[firstSlot - k]);
        rows[firstSlot - k].reads = -k;
    }
    for (i32 s = firstSlot + 1; s < total; ++s) {
        if (rows[s].row > 0) continue;
        Shifted(rows[s - 1], p, q, p2, q2, static_cast<i32>(pitch + 0.5), &rows[s]);
        rows[s].reads = s > lastSlot ? -(s - lastSlot) : -1;
    }
    for (i32 s = 0; s < total; ++s) rows[s].row = s + 1;
    const i32 saved = c->rows;
    c->rows = total;
    PDF_SetEndsFromRows(c, rows);
    c->rows = saved;
    MPDF_AssignClusters(rows, total, kind, variant);
    return 1;
}

}  // namespace vexo
