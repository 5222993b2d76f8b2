#include "pdf417/pdf417_codeword.h"

#include <algorithm>

#include "core/arena.h"
#include "core/pixel.h"
#include "pdf417/pdf417_scanline.h"
#include "pdf417/pdf417_widths.h"

namespace vexo {
namespace {

constexpr i32 kClusterSize = 929;
constexpr i32 kRapCount = 104;
constexpr u32 kLowNibble = 0xFu;

constexpr u32 ClusterKey(i32 cluster, const u8 *w) {
    u32 key = static_cast<u32>(cluster);
    for (int i = 0; i < 7; ++i) key = key * 16u + static_cast<u32>(w[i] + w[i + 1]);
    return key;
}

constexpr u32 RapKey(const u8 *w) {
    u32 key = 0;
    for (int i = 0; i < 5; ++i) key = key * 16u + static_cast<u32>(w[i] + w[i + 1]);
    return key | 0x10000000u;
}

constexpr bool KeyLess(const PDF_KEY_ENTRY &a, const PDF_KEY_ENTRY &b) { return a.key < b.key; }

template <i32 kCluster>
constexpr auto BuildClusterTable() {
    struct Table {
        PDF_KEY_ENTRY e[kClusterSize];
    } t{};
    for (i32 v = 0; v < kClusterSize; ++v) {
        t.e[v] = {ClusterKey(kCluster, PDF_CLUSTER_WIDTHS[kCluster / 3][v]),
                  (static_cast<u32>(kCluster) << 28) | static_cast<u32>(v)};
    }
    std::sort(t.e, t.e + kClusterSize, KeyLess);
    return t;
}

constexpr auto BuildRapTable() {
    struct Table {
        PDF_KEY_ENTRY e[kRapCount];
    } t{};
    for (i32 set = 0; set < 2; ++set) {
        for (i32 n = 0; n < 52; ++n) {
            t.e[set * 52 + n] = {RapKey(PDF_RAP_WIDTHS[set][n]), (static_cast<u32>(set + 1) << 28) + static_cast<u32>(n)};
        }
    }
    std::sort(t.e, t.e + kRapCount, KeyLess);
    return t;
}

// Sorted keys derived from the width tables.
constexpr auto kCluster0 = BuildClusterTable<0>();
constexpr auto kCluster3 = BuildClusterTable<3>();
constexpr auto kCluster6 = BuildClusterTable<6>();
constexpr auto kRaps = BuildRapTable();
static_assert(sizeof(kCluster0.e) == kClusterSize * sizeof(PDF_KEY_ENTRY));
static_assert(sizeof(kRaps.e) == kRapCount * sizeof(PDF_KEY_ENTRY));
static_assert(kCluster0.e[0].key != 0 && kRaps.e[0].key >> 28 == 1);

// The Part's own examples: cluster 0 codeword 0, left/right RAPs 1 and 2, centre RAP 1.
static_assert(ClusterKey(0, PDF_CLUSTER_WIDTHS[0][0]) == 0x04222249u);
static_assert(RapKey(PDF_RAP_WIDTHS[0][0]) == 0x10043442u);
static_assert(RapKey(PDF_RAP_WIDTHS[0][1]) == 0x10042442u);
static_assert(RapKey(PDF_RAP_WIDTHS[1][0]) == 0x10023454u);

// Distances in modules from edge positions: (span * modules + half) / total, 0 for a zero
// total; computed wide because positions come from anywhere.
i64 ModuleDistance(i32 from, i32 to, i32 modules, i64 total) {
    if (total == 0) return 0;
    return ((static_cast<i64>(to) - from) * modules + total / 2) / total;
}

}  // namespace

const PDF_KEY_ENTRY *PDF_KeyTable(u32 nibble, i32 *count) {
    *count = nibble == 1 ? kRapCount : kClusterSize;
    switch (nibble) {
        case 0: return kCluster0.e;
        case 3: return kCluster3.e;
        case 6: return kCluster6.e;
        case 1: return kRaps.e;
        default: *count = 0; return nullptr;
    }
}

i32 PDF_LookupCodeword(u32 key) {
    i32 count = 0;
    const PDF_KEY_ENTRY *t = PDF_KeyTable(key >> 28, &count);
    if (t == nullptr) return kPdfNoCodeword;
    // hi is the last entry: nothing lies past a table.
    i32 lo = 0;
    i32 hi = count - 1;
    const u32 masked = key & ~kLowNibble;
    for (i32 mid = (lo + hi) / 2; mid != lo; mid = (lo + hi) / 2) {
        const u32 entry = t[mid].key & ~kLowNibble;
        if (entry == masked) return static_cast<i32>(t[mid].value);
        if (masked < entry) {
            hi = mid;
        } else {
            lo = mid;
        }
    }
    if (t[lo].key == key) return static_cast<i32>(t[lo].value);
    if (t[hi].key == key) return static_cast<i32>(t[hi].value);
    return kPdfNoCodeword;
}

int PDF_ReadCodewordSignature(const i32 edges[9], i32 *value) {
    const i64 w = static_cast<i64>(edges[8]) - edges[0];
    i64 t[8] = {};
    for (int i = 1; i <= 7; ++i) t[i] = ModuleDistance(edges[i - 1], edges[i + 1], 17, w);
    const i64 cluster = (t[1] - t[2] + t[5] - t[6] + 18) % 9;
    if (cluster % 3 != 0) return 0;
    u32 key = static_cast<u32>(cluster);
    for (int i = 1; i <= 7; ++i) key = key * 16u + static_cast<u32>(t[i]);
    if (key == 0 || key == static_cast<u32>(kPdfNoCodeword)) {
        *value = kPdfNoCodeword;
        return 0;
    }
    *value = PDF_LookupCodeword(key);
    return *value != kPdfNoCodeword ? 1 : 0;
}

int PDF_ReadRapSignature(const i32 edges[7], i32 *value) {
    const i64 w = static_cast<i64>(edges[6]) - edges[0];
    u32 key = 0x1000u;
    for (int i = 1; i <= 5; ++i) {
        const u32 t = static_cast<u32>(ModuleDistance(edges[i - 1], edges[i + 1], 10, w));
        key = i == 1 ? key + t : key * 16u + t;
    }
    if (key == 0 || key == static_cast<u32>(kPdfNoCodeword)) {
        *value = kPdfNoCodeword;
        return 0;
    }
    *value = PDF_LookupCodeword(key);
    return *value != kPdfNoCodeword ? 1 : 0;
}

namespace {

constexpr i32 kSegmentBufferBytes = 1280;

bool InsideWithMargin(POINT_I32 p) {
    return p.x >= 0 && p.x < g_image.width - 1 && p.y >= 0 && p.y < g_image.height - 1;
}

// Samples the segment into an arena buffer and reads the pattern's edges into record with
// readLine; the buffer is freed on every way out.
template <class ReadLine>
int ReadOnSegment(POINT_I32 p, POINT_I32 q, i32 *record, ReadLine readLine) {
    if (!InsideWithMargin(p) || !InsideWithMargin(q)) return 0;
    u8 *samples = Mem_Alloc(kSegmentBufferBytes);
    if (samples == nullptr) return 0;
    std::fill(samples, samples + kSegmentBufferBytes, u8{0});
    i32 start16 = 0;
    i32 end16 = 0;
    const i32 n = PDF_SampleExtendedSegment(p, q, samples, kSegmentBufferBytes, &start16, &end16);
    const int ok = n >= 15 && readLine(samples, n, start16, end16, record);
    Mem_Free(samples);
    return ok;
}

}  // namespace

int PDF_ReadCodewordOnSegment(POINT_I32 p, POINT_I32 q, i32 *value) {
    i32 record[kPdfCodewordRecord] = {};
    if (!ReadOnSegment(p, q, record, [](const u8 *s, i32 n, i32 b, i32 c, i32 *r) {
            return PDF_ReadCodewordOnLine(s, n, b, c, r) != 0;
        })) {
        return 0;
    }
    *value = kPdfNoCodeword;
    return PDF_ReadCodewordSignature(record + 2, value);
}

int PDF_ReadRapOnSegment(POINT_I32 p, POINT_I32 q, i32 *value) {
    *value = kPdfNoCodeword;
    i32 record[kPdfRapRecord] = {};
    if (!ReadOnSegment(p, q, record, [](const u8 *s, i32 n, i32 b, i32 c, i32 *r) {
            return PDF_ReadRapOnLine(s, n, b, c, r) == 1;
        })) {
        return 0;
    }
    return PDF_ReadRapSignature(record + 2, value);
}

}  // namespace vexo
