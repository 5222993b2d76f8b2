// Lottery-terminal mode settings: every setting name is a short, fixed run of decoder
// property writes through X3_Set. Only the first character of a value counts.
#include <stdint.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "readercore.h"
#include "rt_log.h"

namespace {

constexpr uint64_t kOn = 0x10001;
constexpr uint64_t kOff = 0x10000;

// How a write takes its value: the setting's boolean, its inverse, or a fixed number.
enum Kind : uint8_t { kE, kNotE, kFixed };
// When a write is made: for both values, or only when switching on.
enum When : uint8_t { kAlways, kOnOnly };

struct Write {
    uint32_t id;
    Kind kind;
    When when;
    uint64_t value;
};

constexpr Write E(uint32_t id) { return {id, kE, kAlways, 0}; }
constexpr Write NotE(uint32_t id) { return {id, kNotE, kAlways, 0}; }
constexpr Write Fix(uint32_t id, uint64_t value) { return {id, kFixed, kAlways, value}; }
constexpr Write OnFix(uint32_t id, uint64_t value) { return {id, kFixed, kOnOnly, value}; }

// The single settings' writes, in the order made; a setting is a run of this table.
static constexpr Write kSingleWrites[] = {
    E(0x10A00),  // 0 ITF_Enable
    E(0x10400),  // 1 EAN8_Enable
    E(0x10402),
    E(0x10403),
    E(0x10500),  // 4 EAN13_Enable
    E(0x10502),
    E(0x10503),
    E(0x10800),  // 7 UPCE_Enable
    E(0x10802),
    E(0x10803),
    E(0x10900),  // 10 UPCA_Enable
    E(0x10902),
    E(0x10903),
    E(0x10600),  // 13 ISSN_Enable
    E(0x10000),  // 14 CODE128_Enable
    E(0x10100),  // 15 GS1_128_Enable
    Fix(0x10101, 1),
    Fix(0x10102, 100),
    Fix(0x10103, kOff),
    Fix(0x10104, kOff),
    E(0x10300),  // 20 ISBT128_Enable
    E(0x1090A),  // 21 COUPON_Enable
    NotE(0x11404),  // 22 CODE32_Enable
    E(0x11407),
    E(0x11408),
    E(0x11400),  // 25 CODE39_Enable
    E(0x11404),  // 26 CODE39_FullASCII
    E(0x11600),  // 27 CODE93_Enable
    OnFix(0x11603, 1),
    OnFix(0x11604, 100),
    OnFix(0x11601, kOff),
    OnFix(0x11602, kOff),
    E(0x11700),  // 32 CODE11_Enable
    E(0x11000),  // 33 MATRIX25_Enable
    E(0x11200),  // 34 STD25_Enable
    E(0x11500),  // 35 CDB_Enable
    E(0x11900),  // 36 MSIPLSY_Enable
    Fix(0x11903, 1),
    Fix(0x11904, 100),
    Fix(0x11902, kOff),
    E(0x11A00),  // 40 RSS_Enable
    E(0x20400),  // 41 DM_Enable
    OnFix(0x400000, kOn),
    OnFix(0x400009, 29),
    OnFix(0x40000A, 31),
    E(0x20100),  // 45 PDF417_Enable
    OnFix(0x400000, kOn),
    OnFix(0x400009, 29),
    OnFix(0x40000A, 31),
    E(0x20800),  // 49 PDF_MICRO
    OnFix(0x20801, 1),
    OnFix(0x20802, 366),
    E(0x11C00),  // 52 COMPLSITE_Enable
    E(0x11C01),  // 53 COMPLSITE_UPCEAN
    E(0x20500),  // 54 MAXIC_Enable
    Fix(0x20501, 1),
    Fix(0x20502, 150),
    E(0x20200),  // 57 QR_Enable
    OnFix(0x400000, kOn),
    OnFix(0x400009, 29),
    OnFix(0x40000A, 31),
    E(0x20900),  // 61 QR_Micro
    Fix(0x20901, 1),
    Fix(0x20902, 35),
    E(0x20300),  // 64 AZTEC_Enable
};
static_assert(sizeof kSingleWrites / sizeof kSingleWrites[0] == 65, "single settings' writes");

// ALL_Enable's writes: the prefix for "1", the prefix for "0", the body and the tail
// with E for both, and the writes for a value it does not take.
static constexpr Write kAllPrefixOn[] = {
    Fix(0x20300, kOn), Fix(0x20500, kOn), Fix(0x20501, 1),        Fix(0x20502, 0x960001),
    Fix(0x20700, kOn), Fix(0x20800, kOn), Fix(0x20801, 1),        Fix(0x20802, 0x16E0001),
    Fix(0x20900, kOn), Fix(0x20901, 1),   Fix(0x20902, 0x230001),
};
static_assert(sizeof kAllPrefixOn / sizeof kAllPrefixOn[0] == 11, "prefix for 1");

static constexpr Write kAllPrefixOff[] = {
    Fix(0x20300, kOff), Fix(0x20400, kOff), Fix(0x20404, 2),    Fix(0x20403, kOn),
    Fix(0x20500, kOff), Fix(0x20700, kOff), Fix(0x20800, kOff), Fix(0x20900, kOff),
};
static_assert(sizeof kAllPrefixOff / sizeof kAllPrefixOff[0] == 8, "prefix for 0");

static constexpr Write kAllBody[] = {
    // 0x20100 PDF417
    E(0x20100), Fix(0x20101, 1), Fix(0x20102, 2710), Fix(0x20103, 1), Fix(0x20104, kOn), Fix(0x20106, kOff),
    // 0x20200 QR Code
    E(0x20200), Fix(0x20201, 1), Fix(0x20202, 7089), Fix(0x20203, 1), Fix(0x20204, kOn), Fix(0x20206, kOff),
    Fix(0x20207, kOff),
    // 0x20900 Micro QR
    E(0x20900), Fix(0x20901, 1), Fix(0x20902, 35),
    // 0x10400 EAN-8, 0x10500 EAN-13
    E(0x10400), E(0x10500),
    // 0x10900 UPC-A
    E(0x10900), Fix(0x10901, kOn), Fix(0x10902, kOff), Fix(0x10903, kOff), Fix(0x10905, kOff), E(0x10909),
    // 0x10800 UPC-E
    E(0x10800), Fix(0x10801, kOn), Fix(0x10802, kOff), Fix(0x10803, kOff), Fix(0x10807, kOff), E(0x1080A),
    Fix(0x10808, kOn),
    // 0x10000 Code 128
    E(0x10000), Fix(0x10001, 1), Fix(0x10002, 127), Fix(0x10003, kOff), Fix(0x10004, 0x10003),
    // 0x10100 GS1-128
    E(0x10100), Fix(0x10103, kOn), Fix(0x10101, 1), Fix(0x10102, 127),
    // 0x10200
    E(0x10200), Fix(0x10203, kOn), Fix(0x10204, kOn), Fix(0x10201, 1), Fix(0x10202, 127),
    // 0x10300 ISBT 128, 0x10600 ISSN, 0x10700
    E(0x10300), E(0x10600), E(0x10700),
    // 0x10A00 ITF
    E(0x10A00), Fix(0x10A02, kOn), Fix(0x10A03, 1), Fix(0x10A04, 126),
    // 0x20500 MaxiCode
    E(0x20500), Fix(0x20501, 1), Fix(0x20502, 150),
    // 0x10D00, 0x10E00, 0x10F00
    E(0x10D00), E(0x10E00), E(0x10F00), Fix(0x10F02, kOn),
    // 0x11000 Matrix 2 of 5
    E(0x11000), Fix(0x11002, kOn),
    // 0x11100
    E(0x11100), Fix(0x11102, kOn), Fix(0x11103, 1), Fix(0x11104, 126),
    // 0x11200 Standard 2 of 5
    E(0x11200), Fix(0x11202, kOn), Fix(0x11203, 1), Fix(0x11204, 126),
    // 0x11400 Code 39
    E(0x11400), Fix(0x11402, kOn), Fix(0x11405, 1), Fix(0x11406, 100),
    // 0x11500 Codabar
    E(0x11500), Fix(0x11502, kOn), Fix(0x11505, 1), Fix(0x11506, 100),
    // 0x11600 Code 93
    E(0x11600), Fix(0x11603, 1), Fix(0x11604, 100), Fix(0x11601, kOff), Fix(0x11602, kOff),
    // 0x11700 Code 11
    E(0x11700), Fix(0x11702, kOn), Fix(0x11703, 1), Fix(0x11704, 100),
    // 0x11800
    E(0x11800), Fix(0x11802, kOn), Fix(0x11803, 1), Fix(0x11804, 100),
    // 0x11900 MSI
    E(0x11900), Fix(0x11902, kOn), Fix(0x11903, 1), Fix(0x11904, 100),
};
static_assert(sizeof kAllBody / sizeof kAllBody[0] == 94, "body");

static constexpr Write kAllTail[] = {
    E(0x11A00),       Fix(0x11C00, kOn),  Fix(0x20400, kOn), Fix(0x20404, 2),
    Fix(0x20403, kOff), Fix(0x400000, kOn), Fix(0x400009, 29), Fix(0x40000A, 31),
};
static_assert(sizeof kAllTail / sizeof kAllTail[0] == 8, "tail");

// A value ALL_Enable does not take still leaves Data Matrix on (the tail's last six).
static constexpr const Write *kAllOther = kAllTail + 2;
constexpr int kAllOtherCount = 6;

// DoubleSingleCode's groups, in order, with their count and requirement sub-ids.
struct CountGroup {
    uint32_t group;
    uint8_t count;
    uint8_t requirement;
};
static constexpr CountGroup kCountGroups[] = {
    {0x20100, 3, 4}, {0x20400, 4, 3}, {0x20200, 3, 4}, {0x20300, 3, 4}, {0x20500, 3, 4},
    {0x20700, 3, 4}, {0x20800, 3, 4}, {0x20900, 3, 4}, {0x20F00, 3, 4},
};
static_assert(sizeof kCountGroups / sizeof kCountGroups[0] == 9, "DoubleSingleCode groups");

// The value's first character: 1 for "1", 0 for "0", -1 otherwise.
int switch_of(const char *value) {
    if (value == nullptr) return -1;
    if (value[0] == '1') return 1;
    if (value[0] == '0') return 0;
    return -1;
}

void apply(const Write *writes, int count, int on) {
    for (int i = 0; i < count; ++i) {
        const Write &w = writes[i];
        if (w.when == kOnOnly && on == 0) continue;
        uint64_t value = w.value;
        if (w.kind == kE) value = on != 0 ? kOn : kOff;
        if (w.kind == kNotE) value = on != 0 ? kOff : kOn;
        X3_Set(w.id, value);
    }
}

// A single setting: its run of kSingleWrites for "0" or "1"; -2 and nothing written else.
int apply_single(int first, int count, const char *value) {
    int on = switch_of(value);
    if (on < 0) return -2;
    apply(kSingleWrites + first, count, on);
    return 0;
}

int32_t name_sum(const char *name) {
    uint32_t sum = 0;
    for (const uint8_t *p = reinterpret_cast<const uint8_t *>(name); *p != 0; ++p) sum += *p;
    return static_cast<int32_t>(sum);
}

std::once_flag g_sums_once;

// Once for all threads, before any lookup; the same values whoever fills them.
void fill_sums_once() {
    std::call_once(g_sums_once, [] { name_table_fill_sums(grv26SetProcs); });
}

const char *shown(const char *text) { return text != nullptr ? text : ""; }

}  // namespace

#define TICAI_SINGLE(fn, first, count) \
    extern "C" int fn(void *, const char *value) { return apply_single(first, count, value); }

TICAI_SINGLE(X3TiCai_ITF_Enable, 0, 1)
TICAI_SINGLE(X3TiCai_EAN8_Enable, 1, 1)
TICAI_SINGLE(X3TiCai_EAN8_Addon2, 2, 1)
TICAI_SINGLE(X3TiCai_EAN8_Addon5, 3, 1)
TICAI_SINGLE(X3TiCai_EAN13_Enable, 4, 1)
TICAI_SINGLE(X3TiCai_EAN13_Addon2, 5, 1)
TICAI_SINGLE(X3TiCai_EAN13_Addon5, 6, 1)
TICAI_SINGLE(X3TiCai_UPCE_Enable, 7, 1)
TICAI_SINGLE(X3TiCai_UPCE_Addon2, 8, 1)
TICAI_SINGLE(X3TiCai_UPCE_Addon5, 9, 1)
TICAI_SINGLE(X3TiCai_UPCA_Enable, 10, 1)
TICAI_SINGLE(X3TiCai_UPCA_Addon2, 11, 1)
TICAI_SINGLE(X3TiCai_UPCA_Addon5, 12, 1)
TICAI_SINGLE(X3TiCai_ISSN_Enable, 13, 1)
TICAI_SINGLE(X3TiCai_CODE128_Enable, 14, 1)
TICAI_SINGLE(X3TiCai_UCCEAN128_Enable, 15, 5)
TICAI_SINGLE(X3TiCai_ISBT128_Enable, 20, 1)
TICAI_SINGLE(X3TiCai_COUPON_Enable, 21, 1)
TICAI_SINGLE(X3TiCai_CODE32_Enable, 22, 3)
TICAI_SINGLE(X3TiCai_CODE39_Enable, 25, 1)
TICAI_SINGLE(X3TiCai_CODE39_FullASCII, 26, 1)
TICAI_SINGLE(X3TiCai_CODE93_Enable, 27, 5)
TICAI_SINGLE(X3TiCai_CODE11_Enable, 32, 1)
TICAI_SINGLE(X3TiCai_MATRIX25_Enable, 33, 1)
TICAI_SINGLE(X3TiCai_STD25_Enable, 34, 1)
TICAI_SINGLE(X3TiCai_CDB_Enable, 35, 1)
TICAI_SINGLE(X3TiCai_MSIPLSY_Enable, 36, 4)
TICAI_SINGLE(X3TiCai_Rss_Enable, 40, 1)
TICAI_SINGLE(X3TiCai_DM_Enable, 41, 4)
TICAI_SINGLE(X3TiCai_PDF417_Enable, 45, 4)
TICAI_SINGLE(X3TiCai_MICROPDF_Enable, 49, 3)
TICAI_SINGLE(X3TiCai_COMPLSITE_Enable, 52, 1)
TICAI_SINGLE(X3TiCai_COMPLSITE_UPCEAN, 53, 1)
TICAI_SINGLE(X3TiCai_MAXIC_Enable, 54, 3)
TICAI_SINGLE(X3TiCai_QR_Enable, 57, 4)
TICAI_SINGLE(X3TiCai_QR_Micro, 61, 3)
TICAI_SINGLE(X3TiCai_AZTEC_Enable, 64, 1)

#undef TICAI_SINGLE

extern "C" int X3TiCai_ALL_Enable(void *, const char *value) {
    int on = switch_of(value);
    if (on == 1) apply(kAllPrefixOn, sizeof kAllPrefixOn / sizeof kAllPrefixOn[0], on);
    if (on == 0) apply(kAllPrefixOff, sizeof kAllPrefixOff / sizeof kAllPrefixOff[0], on);
    if (on >= 0) {
        apply(kAllBody, sizeof kAllBody / sizeof kAllBody[0], on);
        apply(kAllTail, sizeof kAllTail / sizeof kAllTail[0], on);
    } else {
        apply(kAllOther, kAllOtherCount, 1);
    }
    rt_log(LOG_LEVEL_OPER, "%s %s", "X3TiCai_ALL_Enable", shown(value));
    return on >= 0 ? 0 : -2;
}

extern "C" int X3TiCai_DoubleSingleCode(void *, const char *value) {
    int mode = value != nullptr && value[0] >= '0' && value[0] <= '2' ? value[0] - '0' : -1;
    if (mode < 0) return -2;
    for (const CountGroup &g : kCountGroups) {
        X3_Set(g.group | g.count, mode == 0 ? 1 : 2);
        if (mode != 0) X3_Set(g.group | g.requirement, mode == 1 ? kOn : kOff);
    }
    return 0;
}

TICAI_SET_ENTRY grv26SetProcs[TICAI_SET_COUNT] = {
    {"ALL_Enable", 0, X3TiCai_ALL_Enable},
    {"DoubleSingleCode", 0, X3TiCai_DoubleSingleCode},
    {"ITF_Enable", 0, X3TiCai_ITF_Enable},
    {"EAN8_Enable", 0, X3TiCai_EAN8_Enable},
    {"EAN8_Addon2", 0, X3TiCai_EAN8_Addon2},
    {"EAN8_Addon5", 0, X3TiCai_EAN8_Addon5},
    {"EAN13_Enable", 0, X3TiCai_EAN13_Enable},
    {"EAN13_Addon2", 0, X3TiCai_EAN13_Addon2},
    {"EAN13_Addon5", 0, X3TiCai_EAN13_Addon5},
    {"UPCE_Enable", 0, X3TiCai_UPCE_Enable},
    // 10
    {"UPCE_Addon2", 0, X3TiCai_UPCE_Addon2},
    {"UPCE_Addon5", 0, X3TiCai_UPCE_Addon5},
    {"UPCA_Enable", 0, X3TiCai_UPCA_Enable},
    {"UPCA_Addon2", 0, X3TiCai_UPCA_Addon2},
    {"UPCA_Addon5", 0, X3TiCai_UPCA_Addon5},
    {"ISSN_Enable", 0, X3TiCai_ISSN_Enable},
    {"CODE128_Enable", 0, X3TiCai_CODE128_Enable},
    {"GS1_128_Enable", 0, X3TiCai_UCCEAN128_Enable},
    {"ISBT128_Enable", 0, X3TiCai_ISBT128_Enable},
    {"COUPON_Enable", 0, X3TiCai_COUPON_Enable},
    // 20
    {"CODE32_Enable", 0, X3TiCai_CODE32_Enable},
    {"CODE39_Enable", 0, X3TiCai_CODE39_Enable},
    {"CODE39_FullASCII", 0, X3TiCai_CODE39_FullASCII},
    {"CODE93_Enable", 0, X3TiCai_CODE93_Enable},
    {"CODE11_Enable", 0, X3TiCai_CODE11_Enable},
    {"MATRIX25_Enable", 0, X3TiCai_MATRIX25_Enable},
    {"STD25_Enable", 0, X3TiCai_STD25_Enable},
    {"CDB_Enable", 0, X3TiCai_CDB_Enable},
    {"MSIPLSY_Enable", 0, X3TiCai_MSIPLSY_Enable},
    {"RSS_Enable", 0, X3TiCai_Rss_Enable},
    // 30
    {"DM_Enable", 0, X3TiCai_DM_Enable},
    {"PDF417_Enable", 0, X3TiCai_PDF417_Enable},
    {"PDF_MICRO", 0, X3TiCai_MICROPDF_Enable},
    {"COMPLSITE_Enable", 0, X3TiCai_COMPLSITE_Enable},
    {"COMPLSITE_UPCEAN", 0, X3TiCai_COMPLSITE_UPCEAN},
    {"MAXIC_Enable", 0, X3TiCai_MAXIC_Enable},
    {"QR_Enable", 0, X3TiCai_QR_Enable},
    {"QR_Micro", 0, X3TiCai_QR_Micro},
    {"AZTEC_Enable", 0, X3TiCai_AZTEC_Enable},
    {nullptr, 0, nullptr},
};
static_assert(sizeof(TICAI_SET_ENTRY) == (sizeof(void *) == 8 ? 24 : 12), "exported table entry");

extern "C" void name_table_fill_sums(TICAI_SET_ENTRY *entry) {
    // Only the one table with its end entry is walked.
    if (entry < grv26SetProcs || entry >= grv26SetProcs + TICAI_SET_COUNT) return;
    for (; entry < grv26SetProcs + TICAI_SET_COUNT && entry->name != nullptr; ++entry)
        std::atomic_ref<int32_t>(entry->sum).store(name_sum(entry->name), std::memory_order_relaxed);
}

extern "C" int X3TiCai_Set(const char *name, const char *value) {
    if (name == nullptr) return -3;
    fill_sums_once();
    int32_t sum = name_sum(name);
    for (TICAI_SET_ENTRY &e : grv26SetProcs) {
        if (e.name == nullptr) break;
        if (std::atomic_ref<int32_t>(e.sum).load(std::memory_order_relaxed) != sum || strcmp(e.name, name) != 0)
            continue;
        int result = e.proc(nullptr, value);
        rt_log(LOG_LEVEL_DETAIL, "%s [%s] [%s] [%d]", "X3TiCai_Set", name, shown(value), result);
        return result;
    }
    return -3;
}

extern "C" void X3TiCai_Init(void) {
    fill_sums_once();
    X3TiCai_ALL_Enable(nullptr, "1");
    rt_log(LOG_LEVEL_DETAIL, "TiCai 4g socket init");
    int result = socket_service_init();
    rt_log(LOG_LEVEL_DETAIL, "TiCai 4g socket init=%d", result);
    rt_log(LOG_LEVEL_DETAIL, "%s Success", "X3TiCai_Init");
}
