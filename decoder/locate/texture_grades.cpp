#include <cstring>

#include "locate/texture_cells.h"

namespace vexo {

namespace {

constexpr u16 kLevel1 = 1, kLevel2 = 16, kLevel3 = 256;
struct GRADE_THRESHOLDS {
    i32 level3, level2, level1;  // a sum above these gives the level
};
constexpr GRADE_THRESHOLDS kSquareThresholds{55, 26, 12};
constexpr GRADE_THRESHOLDS kCrossThresholds{30, 14, 6};
constexpr i32 kAllNineAtLevel3 = 2303;
static_assert(9 * kLevel3 == kAllNineAtLevel3 + 1 && 9 * kLevel3 < 65536);

// Window sums cut at the map's edges: a vertical running sum per column into temp, then a
// horizontal one per row into out.
template <typename T>
void BoxSum(const T *in, T *out, T *temp, i32 n, i32 m, i32 r) {
    for (i32 c = 0; c < n; ++c) {
        i32 sum = 0;
        for (i32 i = 0; i < r && i < m; ++i) sum += in[static_cast<i64>(i) * n + c];
        for (i32 i = 0; i < m; ++i) {
            if (i + r < m) sum += in[static_cast<i64>(i + r) * n + c];
            if (i - r - 1 >= 0) sum -= in[static_cast<i64>(i - r - 1) * n + c];
            temp[static_cast<i64>(i) * n + c] = static_cast<T>(sum);
        }
    }
    for (i32 i = 0; i < m; ++i) {
        const T *row = temp + static_cast<i64>(i) * n;
        T *o = out + static_cast<i64>(i) * n;
        i32 sum = 0;
        for (i32 j = 0; j < r && j < n; ++j) sum += row[j];
        for (i32 j = 0; j < n; ++j) {
            if (j + r < n) sum += row[j + r];
            if (j - r - 1 >= 0) sum -= row[j - r - 1];
            o[j] = static_cast<T>(sum);
        }
    }
}

bool GradeLayout(i32 n, i32 m, TEXTURE_LAYOUT *t) {
    return n > 0 && m > 0 && Loc_TextureLayout(t) && static_cast<i64>(n) * m <= static_cast<i64>(t->blocksAcross) * t->blocksDown;
}

u16 LevelCode(i32 sum, const GRADE_THRESHOLDS &th) {
    return sum > th.level3 ? kLevel3 : (sum > th.level2 ? kLevel2 : (sum > th.level1 ? kLevel1 : 0));
}

void Grade(u8 *map, i32 n, i32 m, bool cross) {
    TEXTURE_LAYOUT t{};
    if (map == nullptr || !GradeLayout(n, m, &t)) return;
    const i64 blocks = static_cast<i64>(n) * m;
    Loc_BoxCount(map, map, n, m, 1);
    if (cross) {
        for (i32 i = 0; i < m; ++i)
            for (i32 j = 0; j < n; ++j) {
                const i64 at = static_cast<i64>(i) * n + j;
                if (i == 0 || j == 0 || i == m - 1 || j == n - 1) {
                    t.codes[at] = 0;
                    continue;
                }
                const i32 sum = map[at] + map[at - 1] + map[at + 1] + map[at - n] + map[at + n];
                t.codes[at] = LevelCode(sum, kCrossThresholds);
            }
    } else {
        Loc_BoxCount(map, map, n, m, 1);
        for (i64 k = 0; k < blocks; ++k) t.codes[k] = LevelCode(map[k], kSquareThresholds);
    }
    BoxSum<u16>(t.codes, t.codeSums, t.codeTemp, n, m, 1);
    for (i64 k = 0; k < blocks; ++k) {
        const i32 sum = t.codeSums[k];
        const i32 f = sum + sum / 16;
        u16 code = 0;
        if (sum > kAllNineAtLevel3) code = kLevel3;
        else if ((f & 0xF0) > 0x8F) code = kLevel2;
        else if (((f + sum / 256) & 0xF) > 8) code = kLevel1;
        t.codes[k] = code;
    }
    BoxSum<u16>(t.codes, t.codeSums, t.codeTemp, n, m, 1);
    for (i64 k = 0; k < blocks; ++k) {
        const i32 sum = t.codeSums[k];
        map[k] = (sum & 0xF00) != 0 ? 3 : ((sum & 0xF0) != 0 ? 2 : (sum != 0 ? 1 : 0));
    }
}

}  // namespace

void Loc_BoxCount(const u8 *in, u8 *out, i32 n, i32 m, i32 r) {
    TEXTURE_LAYOUT t{};
    if (in == nullptr || out == nullptr || r < 0 || !GradeLayout(n, m, &t)) return;
    BoxSum<u8>(in, out, t.boxTemp, n, m, r);
}

void Loc_GradeBlocks(u8 *map, i32 n, i32 m) { Grade(map, n, m, false); }
void Loc_GradeBlocksCross(u8 *map, i32 n, i32 m) { Grade(map, n, m, true); }

i32 Loc_LabelBlockComponents(const u8 *map, u8 *labels, TEXTURE_COMPONENT *records, i32 n, i32 m, i32 level) {
    if (map == nullptr || labels == nullptr || records == nullptr || n <= 0 || m <= 0) return 0;
    const i64 blocks = static_cast<i64>(n) * m;
    std::memset(labels, 0, static_cast<size_t>(blocks));
    u8 parent[kTextureComponentsMax] = {};
    u8 above[kTextureLabelsMax] = {};
    i32 next = 1;
    auto overflow = [&]() {
        std::memset(labels, 0, static_cast<size_t>(blocks));
        return 0;
    };
    for (i32 r = 0; r < m; ++r) {
        const u8 *row = map + static_cast<i64>(r) * n;
        u8 *lab = labels + static_cast<i64>(r) * n;
        for (i32 c = 0; c < n;) {
            if (row[c] <= level) {
                ++c;
                continue;
            }
            const i32 c0 = c;
            while (c < n && row[c] > level) ++c;
            i32 found = 0;
            u8 smallest = 0;
            if (r > 0) {
                const u8 *up = lab - n;
                u8 last = 0;
                for (i32 k = c0; k < c; ++k) {
                    if (up[k] == 0 || up[k] == last) continue;
                    last = up[k];
                    if (found >= kTextureLabelsMax) return overflow();
                    above[found++] = up[k];
                    if (smallest == 0 || up[k] < smallest) smallest = up[k];
                }
            }
            if (found == 0) {
                if (next > kTextureLabelsMax) return overflow();
                smallest = static_cast<u8>(next++);
                parent[smallest] = smallest;
                records[smallest].startX = static_cast<i16>(c0);
                records[smallest].startY = static_cast<i16>(r);
            } else {
                for (i32 k = 0; k < found; ++k)
                    if (parent[above[k]] > smallest) parent[above[k]] = smallest;
            }
            std::memset(lab + c0, smallest, static_cast<size_t>(c - c0));
        }
    }
    // Parents only ever point to smaller labels, so every chain ends within 253 steps.
    u8 final[kTextureComponentsMax] = {};
    i32 count = 0;
    for (i32 l = 1; l < next; ++l) {
        i32 root = l;
        for (i32 step = 0; step < kTextureLabelsMax && parent[root] != root; ++step) root = parent[root];
        if (root == l) {
            final[l] = static_cast<u8>(++count);
            const TEXTURE_COMPONENT from = records[l];
            records[count] = TEXTURE_COMPONENT{};
            records[count].startX = from.startX;
            records[count].startY = from.startY;
        } else {
            final[l] = final[root];
        }
    }
    for (i64 k = 0; k < blocks; ++k)
        if (labels[k] != 0) {
            labels[k] = final[labels[k]];
            ++records[labels[k]].size;
        }
    return count;
}

}  // namespace vexo
