// Han Xin Code version table, version codes and their lookups.
#include "hanxin/cscn_tables.h"

namespace vexo {
namespace {

// Full alignment-block length k of versions 4..84 (ISO/IEC 20830, alignment pattern clause).
constexpr u8 kBlockLength[] = {
    14, 14, 16, 17, 18, 19, 20, 14, 15, 16, 16, 17, 17, 18, 19, 20, 20, 21,  // 4..21
    16, 17, 17, 18, 18, 19, 19, 20, 20, 21,                                  // 22..31
    17, 17, 18, 18, 19, 19, 19, 20, 20,                                      // 32..40
    17, 17, 18, 18, 18, 19, 19, 19,                                          // 41..48
    17, 17, 18, 18, 18, 18, 19, 19, 19,                                      // 49..57
    17, 17, 18, 18, 18, 18, 19, 19,                                          // 58..65
    17, 17, 17, 18, 18, 18, 18, 19, 19,                                      // 66..74
    17, 17, 17, 18, 18, 18, 18, 18,                                          // 75..82
    17, 17,                                                                  // 83..84
};
static_assert(sizeof(kBlockLength) == 81);

// Last version of each alignment group (m = 0..10).
constexpr u8 kGroupLast[] = {3, 10, 21, 31, 40, 48, 57, 65, 74, 82, 84};
static_assert(sizeof(kGroupLast) == 11);

constexpr i32 GroupOf(i32 version) {
    i32 m = 0;
    while (m < 10 && version > kGroupLast[m]) ++m;
    return m;
}

constexpr auto BuildVersionTable() {
    struct Table {
        CSCN_VERSION_INFO rows[kCscnMaxVersion + 1];
    } t{};
    for (i32 v = 1; v <= kCscnMaxVersion; ++v) {
        const i32 size = 2 * v + 21;
        const i32 m = GroupOf(v);
        const i32 k = v >= 4 ? kBlockLength[v - 4] : 0;
        t.rows[v] = {static_cast<u8>(size), static_cast<u8>(m), static_cast<u8>(k),
                     static_cast<u8>(v >= 11 ? size - m * k : 0)};
    }
    return t;
}
constexpr auto kVersions = BuildVersionTable();
static_assert(kVersions.rows[11].r == 15 && kVersions.rows[84].r == 19 && kVersions.rows[84].m == 10);

// The version-code classes by their smallest code (ISO/IEC 20830, version information):
// every version once, 20 classes with two.
struct CodeClass {
    i16 code;
    u8 first;
    u8 second;
};
constexpr CodeClass kClasses[] = {
    {0, 72, 0},    {3, 5, 49},    {5, 36, 80},   {6, 13, 0},    {9, 18, 0},    {10, 43, 79},  {12, 10, 46},
    {15, 71, 0},   {33, 20, 0},   {34, 29, 0},   {36, 56, 0},   {39, 65, 0},   {40, 62, 0},   {43, 3, 55},
    {45, 34, 0},   {46, 27, 0},   {64, 2, 54},   {67, 63, 0},   {69, 26, 0},   {70, 35, 0},   {73, 28, 0},
    {74, 21, 0},   {76, 64, 0},   {79, 57, 0},   {97, 42, 78},  {98, 19, 0},   {100, 70, 0},  {103, 11, 47},
    {104, 4, 48},  {107, 73, 0},  {109, 12, 0},  {110, 37, 81}, {128, 24, 0},  {131, 33, 0},  {133, 52, 0},
    {134, 61, 0},  {137, 66, 0},  {138, 59, 0},  {140, 30, 0},  {143, 23, 0},  {161, 68, 0},  {162, 9, 45},
    {164, 40, 76}, {167, 17, 0},  {168, 14, 0},  {171, 39, 83}, {173, 6, 50},  {174, 75, 0},  {192, 38, 82},
    {195, 15, 0},  {197, 74, 0},  {198, 7, 51},  {201, 8, 44},  {202, 69, 0},  {204, 16, 0},  {207, 41, 77},
    {225, 58, 0},  {226, 67, 0},  {228, 22, 0},  {231, 31, 0},  {232, 32, 84}, {235, 25, 0},  {237, 60, 0},
    {238, 1, 53},
};
static_assert(sizeof(kClasses) / sizeof(kClasses[0]) == 64);

// The rule behind the table: codes of even parity under the mask, classes modulo the span of
// four generators.
constexpr i32 kParityMask = 0b11000111111;
constexpr i32 kClassBasis[4] = {0b10010000111, 0b01011001101, 0b00111101000, 0b00000011011};

constexpr i32 Parity(i32 v) {
    i32 p = 0;
    for (; v != 0; v &= v - 1) p ^= 1;
    return p;
}

constexpr i32 ClassRepresentative(i32 code) {
    i32 best = code;
    for (i32 s = 1; s < 16; ++s) {
        i32 c = code;
        for (i32 b = 0; b < 4; ++b)
            if ((s >> b) & 1) c ^= kClassBasis[b];
        if (c < best) best = c;
    }
    return best;
}

constexpr auto BuildCodeTable() {
    struct Table {
        CSCN_VERSION_CODE rows[kCscnVersionCodeCount];
        i32 count;
    } t{};
    for (i32 c = 0; c < 2048; ++c) {
        if (Parity(c & kParityMask) != 0) continue;
        const i32 rep = ClassRepresentative(c);
        for (const CodeClass &k : kClasses) {
            if (k.code != rep) continue;
            if (t.count < kCscnVersionCodeCount) t.rows[t.count] = {static_cast<i16>(c), k.first, k.second};
            ++t.count;
        }
    }
    return t;
}
constexpr auto kCodes = BuildCodeTable();
static_assert(kCodes.count == kCscnVersionCodeCount, "every even-parity code belongs to a listed class");

}  // namespace

const CSCN_VERSION_INFO *CSCN_VersionInfo(i32 version) {
    if (version < 0 || version > kCscnMaxVersion) return &kVersions.rows[0];
    return &kVersions.rows[version];
}

i32 CSCN_VersionForSize(i32 size) {
    for (i32 v = 1; v <= kCscnMaxVersion; ++v)
        if (kVersions.rows[v].size == size) return v;
    return -1;
}

i32 CSCN_SizeOfVersion(i32 version) { return CSCN_VersionInfo(version)->size; }

i32 CSCN_VersionGroup(i32 version) {
    if (version < 1 || version > kCscnMaxVersion) return 0;
    return kVersions.rows[version].m + 1;
}

void CSCN_VersionGroupRange(i32 group, i32 *first, i32 *last) {
    i32 lo = 0;
    i32 hi = 0;
    if (group >= 1 && group <= 11) {
        lo = group == 1 ? 1 : kGroupLast[group - 2] + 1;
        hi = kGroupLast[group - 1];
    }
    if (first != nullptr) *first = lo;
    if (last != nullptr) *last = hi;
}

i32 CSCN_BlockRemainder(i32 version) { return CSCN_VersionInfo(version)->r; }

i32 CSCN_BlockSize(i32 version) { return CSCN_VersionInfo(version)->k; }

i32 CSCN_GridNodePosition(i32 r, i32 k, i32 size, i32 version, i32 n, i32 col, i32 row, i32 *x, i32 *y) {
    if (version < 1 || version > kCscnMaxVersion || col < 0 || col > n || row < 0 || row > n) return 0;
    if (x == nullptr || y == nullptr) return 0;
    *x = 0;
    *y = 0;
    const i32 c0 = col > 0 ? 1 : 0;
    const i32 rn = row == n ? 1 : 0;
    if (version <= 3) {
        // The corner-only grid: its far nodes are the far corner modules.
        *x = (size - 1) * col;
        *y = (size - 1) * row;
    } else if (version <= 10) {
        const i32 l = size - k - 1;
        *x = k * c0 + l * (col - c0);
        *y = l * (row - rn) + k * rn;
    } else {
        *x = (r - 1) * c0 + k * (col - c0);
        *y = k * (row - rn) + (r - 1) * rn;
    }
    return 1;
}

const CSCN_VERSION_CODE *CSCN_VersionCodeTable() { return kCodes.rows; }

i32 CSCN_LookupVersionCode(i32 code, i32 *first, i32 *second) {
    if (static_cast<u32>(code) > 2047u) return 0;
    i32 lo = 0;
    i32 hi = kCscnVersionCodeCount - 1;
    while (lo <= hi) {
        const i32 mid = lo + (hi - lo) / 2;
        const i32 c = kCodes.rows[mid].code;
        if (c == code) {
            if (first != nullptr) *first = kCodes.rows[mid].first;
            if (second != nullptr) *second = kCodes.rows[mid].second;
            return 1;
        }
        if (c < code) lo = mid + 1;
        else hi = mid - 1;
    }
    return 0;
}

i32 CSCN_ReadFunctionBits(const u8 *bits, i32 count, i32 *version, i32 *high, i32 *low) {
    if (bits == nullptr || count < 12) return 0;
    i32 b = 0;
    for (i32 i = 0; i < 12; ++i) {
        if (bits[i] > 1) return 0;
        if (i < 8) b = 2 * b + bits[i];
    }
    if (b < 21 || b > 104) return 0;
    if (version != nullptr) *version = b - 20;
    if (high != nullptr) *high = 2 * bits[8] + bits[9];
    if (low != nullptr) *low = 2 * bits[10] + bits[11];
    return 1;
}

}  // namespace vexo
