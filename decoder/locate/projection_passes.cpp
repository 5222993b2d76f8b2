// The two proposal passes: bands of high projection, cut into rectangles, thinned,
// verified, ordered by their distance from the area's centre.
#include <cstring>

#include "locate/projection.h"
#include "locate/projection_layout.h"

namespace vexo {

namespace {

constexpr i32 kOpenMargin = 4;    // own kind outnumbers the other by more than this to open
constexpr i32 kExtendMargin = 2;  // and by more than this to extend
constexpr i32 kMaxGap = 44;
constexpr i32 kMidBandSteps = 6;  // a rectangle ended by a gap is kept with this many steps
constexpr i32 kEndBandSteps = 10; // one still open at the band's end needs more than this
constexpr i32 kThinLevel = 5;

// How one pass reads the maps: "own" is the kind of difference its bars make.
struct PassView {
    bool rows;  // row pass: projection onto rows, bands of rows, cuts along columns
    u8 *own;
    u8 *other;
    i32 thrOwn;
    i32 thrOther;
    i32 along;   // positions of a band's projection (rows for the row pass)
    i32 across;  // positions cut along (columns for the row pass)
};

PassView RowView() {
    const PROJ_STATE &p = g_projState;
    return PassView{true, p.mapH, p.mapV, p.thrH, p.thrV, p.rows, p.cols};
}

PassView ColumnView() {
    const PROJ_STATE &p = g_projState;
    return PassView{false, p.mapV, p.mapH, p.thrV, p.thrH, p.cols, p.rows};
}

// Map byte at band position a and cut position b of the pass.
u8 At(const PassView &v, const u8 *map, i32 a, i32 b) {
    const i32 cols = g_projState.cols;
    return v.rows ? map[a * cols + b] : map[b * cols + a];
}

// Raises the weaker threshold towards the stronger (own, other as the pass sees them).
void AdjustThresholds(i32 *own, i32 *other) {
    if (*own <= 7 && *other <= 7) {
        *own = *other = *own > *other ? *own : *other;
        return;
    }
    if ((*other <= 7 && *own > 7) || (*other > 7 && *own > 2 * *other)) *other = (*own + *other) / 2;
    if (*own > 16 && *other < *own) *other = *own;
}

// Strong differences of the pass's own kind per even position; answers the largest.
i32 Project(const PassView &v, i16 *proj) {
    i32 maxP = 0;
    for (i32 a = 0; a < v.along; ++a) proj[a] = 0;
    for (i32 a = 0; a < v.along; a += 2) {
        i32 n = 0;
        for (i32 b = 0; b < v.across; b += 2) n += At(v, v.own, a, b) > v.thrOwn ? 1 : 0;
        proj[a] = static_cast<i16>(n);
        if (n > maxP) maxP = n;
    }
    return maxP;
}

i32 BandLevel(const PassView &v, const i16 *proj, i16 *hist, i32 maxP) {
    for (i32 k = 0; k <= maxP; ++k) hist[k] = 0;
    for (i32 a = 0; a < v.along; a += 2) ++hist[proj[a]];
    const i32 t = Loc_OtsuThreshold(hist, v.along / 2, maxP);
    return static_cast<i32>(t * 0.8);
}

// Own minus other strong differences at every even cut position over the band s..e.
void BandBalance(const PassView &v, i32 s, i32 e, i16 *buffer) {
    for (i32 b = 0; b < v.across; b += 2) {
        i32 n = 0;
        for (i32 a = s; a < e && a < v.along; a += 2) {
            n += At(v, v.own, a, b) > v.thrOwn ? 1 : 0;
            n -= At(v, v.other, a, b) > v.thrOther ? 1 : 0;
        }
        buffer[b] = static_cast<i16>(n);
    }
}

// A rectangle being cut, in cut positions (from, to) over band s..e.
struct Cut {
    bool open;
    i32 from, to, last, steps;
};

PROJ_RECT RectOf(const PassView &v, const Cut &c, i32 s, i32 e) {
    return v.rows ? PROJ_RECT{c.from, s, c.to, e} : PROJ_RECT{s, c.from, e, c.to};
}

// False when the list is full (a 40th rectangle).
bool Keep(PROJ_RECT *out, i32 *n, const PROJ_RECT &r) {
    if (*n >= kProjMaxRects) return false;
    out[(*n)++] = r;
    return true;
}

// Cuts one band; false when the list overflowed.
bool CutBand(const PassView &v, i32 s, i32 e, const i16 *buffer, PROJ_RECT *out, i32 *n) {
    Cut c{false, 0, 0, 0, 0};
    for (i32 b = 0; b < v.across; b += 2) {
        if (buffer[b] > kExtendMargin && c.open) {
            if (b - c.last > kMaxGap) {
                if (c.steps >= kMidBandSteps && !Keep(out, n, RectOf(v, c, s, e))) return false;
                c = Cut{true, b, 0, b, 0};
            } else {
                c.to = b;
                ++c.steps;
            }
            c.last = b;
        } else if (buffer[b] > kOpenMargin && !c.open) {
            c = Cut{true, b, 0, b, 0};
        }
    }
    if (c.open && c.steps > kEndBandSteps && c.to != 0) return Keep(out, n, RectOf(v, c, s, e));
    return true;
}

i32 CutBands(const PassView &v, const i32 bands[][2], int bandCount, i16 *buffer, PROJ_RECT *out) {
    if (bands == nullptr || buffer == nullptr || out == nullptr || v.own == nullptr) return 0;
    i32 n = 0;
    for (int k = 0; k < bandCount && k < kProjMaxBands; ++k) {
        BandBalance(v, bands[k][0], bands[k][1], buffer);
        if (!CutBand(v, bands[k][0], bands[k][1], buffer, out, &n)) return 0;
    }
    return n;
}

// Sets an isolated strong sample (weak two columns to either side) to 0, rows top ..
// bottom - 3 and columns left + 2 .. right - 3.
void Thin(u8 *map, const PROJ_RECT &r, i32 thr) {
    const PROJ_STATE &p = g_projState;
    for (i32 y = r.top; y <= r.bottom - 3 && y < p.rows; y += 2) {
        u8 *row = map + y * p.cols;
        for (i32 x = r.left + 2; x <= r.right - 3 && x + 2 < p.cols; x += 2)
            if (row[x] > thr && row[x - 2] < thr && row[x + 2] < thr) row[x] = 0;
    }
}

void ThinRect(const PassView &v, const PROJ_RECT &r) {
    if (v.thrOther != kThinLevel) return;
    Thin(v.other, r, v.thrOther);
    if (v.thrOwn == kThinLevel) Thin(v.own, r, v.thrOwn);
}

// Rules of a verifying run: where one may start, how it continues, how long it must be.
struct RunRule {
    i32 startMargin;
    i32 runMargin;
    i32 minLength;  // more positions than this
};
constexpr RunRule kRowRule = {10, 8, 4};
constexpr RunRule kColumnRule = {10, 12, 8};

// Counts per even position a of the rectangle (rows for the row pass) of own and other
// strong differences over its even cut positions; then looks for a run of dominated
// positions.
int VerifyRect(const PassView &v, const PROJ_RECT &r, i16 *own, i16 *other, const RunRule &rule) {
    if (own == nullptr || other == nullptr || v.own == nullptr) return 0;
    const i32 aFrom = v.rows ? r.top : r.left, aTo = v.rows ? r.bottom : r.right;
    const i32 bFrom = v.rows ? r.left : r.top, bTo = v.rows ? r.right : r.bottom;
    std::memset(own, 0, static_cast<size_t>(v.along) * sizeof(i16));
    std::memset(other, 0, static_cast<size_t>(v.along) * sizeof(i16));
    for (i32 a = aFrom; a < aTo && a < v.along; a += 2) {
        i32 no = 0, nt = 0;
        for (i32 b = bFrom; b < bTo && b < v.across; b += 2) {
            no += At(v, v.own, a, b) > v.thrOwn ? 1 : 0;
            nt += At(v, v.other, a, b) > v.thrOther ? 1 : 0;
        }
        own[a] = static_cast<i16>(no);
        other[a] = static_cast<i16>(nt);
    }
    const i32 divisor = v.thrOther < 8 ? 2 : 4;
    for (i32 a = aFrom; a < aTo;) {
        if (own[a] < 0 || own[a] - 2 * other[a] <= rule.startMargin) {
            a += 2;
            continue;
        }
        // The run may go on past the rectangle, never past the arrays (their entries
        // outside the rectangle are 0 and end it).
        i32 j = a, length = 0;
        while (j < v.along && other[j] < own[j] / divisor && own[j] - 2 * other[j] > rule.runMargin) {
            ++length;
            j += 2;
        }
        if (length > rule.minLength) return 1;
        a = length > 0 ? j : a + 2;
    }
    return 0;
}

i32 Half(i32 a, i32 b) { return static_cast<i32>((static_cast<u32>(a) + static_cast<u32>(b)) >> 1); }

// Distance of a frame rectangle's centre from the area's centre, squared.
i32 KeyOf(const PROJ_RECT &r) {
    const PROJ_STATE &p = g_projState;
    const i64 dy = static_cast<i64>(Half(r.top, r.bottom)) - Half(p.y0, p.y1);
    const i64 dx = static_cast<i64>(Half(r.left, r.right)) - Half(p.x0, p.x1);
    return static_cast<i32>(dy * dy + dx * dx);
}

// One pass; with firstOnly it stops at the first verified rectangle.
i32 RunPass(bool rows, PROJ_RECT *out, bool firstOnly) {
    PROJ_STATE &p = g_projState;
    const PROJ_LAYOUT l = Loc_ProjectionLayout();
    if (out == nullptr || l.histogram == nullptr) return 0;
    if (rows) {
        AdjustThresholds(&p.thrH, &p.thrV);
    } else {
        AdjustThresholds(&p.thrV, &p.thrH);
    }
    const PassView v = rows ? RowView() : ColumnView();
    const i32 maxP = Project(v, l.projection);
    const i32 level = BandLevel(v, l.projection, l.histogram, maxP);
    i32 bands[kProjMaxBands][2];
    const i32 nb = Loc_FindBands(2, v.along, level, bands, l.projection);
    if (nb == 0) return 0;
    std::memset(l.histogram, 0, static_cast<size_t>(l.entries) * sizeof(i16));
    PROJ_RECT cut[kProjMaxRects];
    const i32 n = CutBands(v, bands, nb, l.histogram, cut);
    i32 keys[kProjMaxRects];
    i32 found = 0;
    for (i32 k = 0; k < n; ++k) {
        ThinRect(v, cut[k]);
        if (VerifyRect(v, cut[k], l.countA, l.countB, rows ? kRowRule : kColumnRule) == 0) continue;
        const PROJ_RECT &c = cut[k];
        out[found] = PROJ_RECT{c.left + p.x0, c.top + p.y0, c.right + p.x0, c.bottom + p.y0};
        keys[found] = KeyOf(out[found]);
        ++found;
        if (firstOnly) return found;
    }
    if (found > 1) Loc_SortRectsByKey(keys, found, out);
    return found;
}

i32 QuadsOf(const PROJ_RECT *rects, i32 n, REGION_QUAD *out, int capacity) {
    i32 k = 0;
    for (; k < n && k < capacity; ++k) {
        const PROJ_RECT &r = rects[k];
        out[k] = REGION_QUAD{{{r.left, r.top}, {r.right, r.top}, {r.left, r.bottom}, {r.right, r.bottom}}};
    }
    return k;
}

}  // namespace

int Loc_CutRowBand(const i32 bands[][2], int bandCount, i16 *buffer, PROJ_RECT *out) {
    return CutBands(RowView(), bands, bandCount, buffer, out);
}

int Loc_CutColumnBand(const i32 bands[][2], int bandCount, i16 *buffer, PROJ_RECT *out) {
    return CutBands(ColumnView(), bands, bandCount, buffer, out);
}

int Loc_VerifyRowRect(const PROJ_RECT *rects, int index, i16 *a, i16 *b) {
    if (rects == nullptr || index < 0) return 0;
    return VerifyRect(RowView(), rects[index], a, b, kRowRule);
}

int Loc_VerifyColumnRect(const PROJ_RECT *rects, int index, i16 *a, i16 *b) {
    if (rects == nullptr || index < 0) return 0;
    return VerifyRect(ColumnView(), rects[index], a, b, kColumnRule);
}

int Loc_SortRectsByKey(i32 *key, int n, PROJ_RECT *rects) {
    if (key == nullptr || rects == nullptr) return n;
    for (int pass = 0; pass < n - 1; ++pass) {
        for (int k = 0; k + 1 < n - pass; ++k) {
            if (key[k] <= key[k + 1]) continue;
            const i32 t = key[k];
            key[k] = key[k + 1];
            key[k + 1] = t;
            const PROJ_RECT r = rects[k];
            rects[k] = rects[k + 1];
            rects[k + 1] = r;
        }
    }
    return n;
}

int Loc_RowBandRects(PROJ_RECT *out) { return RunPass(true, out, false); }

int Loc_ColumnBandRects(PROJ_RECT *out) { return RunPass(false, out, false); }

int Loc_ColumnProjectionQuads(REGION_QUAD *out, int capacity) {
    if (out == nullptr || capacity <= 0) return 0;
    PROJ_RECT rects[kProjMaxRects];
    return QuadsOf(rects, Loc_RowBandRects(rects), out, capacity);
}

int Loc_RowProjectionQuads(REGION_QUAD *out, int capacity) {
    if (out == nullptr || capacity <= 0) return 0;
    PROJ_RECT rects[kProjMaxRects];
    return QuadsOf(rects, Loc_ColumnBandRects(rects), out, capacity);
}

int Loc_ProjectionClassify(const u8 *frame, const i32 area[4], int rowLength, u8 *scratch, int offset) {
    if (Loc_DifferenceHistograms(frame, area, rowLength, scratch, offset) == 0) return 0;
    PROJ_RECT rect[kProjMaxRects];
    if (RunPass(true, rect, true) > 0) return 1;
    return RunPass(false, rect, true) > 0 ? 2 : 0;
}

}  // namespace vexo
