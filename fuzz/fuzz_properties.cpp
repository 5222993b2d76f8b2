// Property Set and Get with random ids, values and text descriptors.
//
// Input: records of 17 bytes: op, id form, id (4 bytes), value (8 bytes), descriptor size,
// capacity, buffer form. Invariants:
// - a Get that answers 0 leaves its target untouched, and no Get changes the parameter block;
// - a text Get writes nothing at or past the descriptor's capacity;
// - a Set that answers 0 leaves the parameter block byte-identical;
// - the exported Set answers 1 exactly when the dispatcher applied the value (ids that the
//   interface does not handle itself), with the same effect;
// - only the low half of the value counts for the dispatched ids.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/params.h"
#include "core/properties.h"
#include "core/test_hooks.h"
#include "vexo3.h"

namespace {

using vexo::DECODE_PARAMS;
using vexo::g_params;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Reader {
    const uint8_t *data;
    size_t left;
    template <typename T>
    T Take() {
        T v{};
        std::memcpy(&v, data, sizeof v);
        data += sizeof v;
        left -= sizeof v;
        return v;
    }
};

constexpr size_t kRecordBytes = 17;
constexpr int kMaxRecords = 64;

// Groups the dispatchers know, to reach their sub-ids often.
constexpr uint32_t kGroups[] = {
    0x10000, 0x10100, 0x10200, 0x10300, 0x10400, 0x10500, 0x10600, 0x10700, 0x10800, 0x10900, 0x10A00,
    0x10B00, 0x10C00, 0x10D00, 0x10E00, 0x10F00, 0x11000, 0x11100, 0x11200, 0x11400, 0x11500, 0x11600,
    0x11700, 0x11800, 0x11900, 0x11A00, 0x11B00, 0x11C00, 0x11D00, 0x20000, 0x20100, 0x20200, 0x20300,
    0x20400, 0x20500, 0x20600, 0x20700, 0x20800, 0x20900, 0x20F00, 0x21400, 0x100500, 0x100600,
};
constexpr size_t kGroupCount = sizeof(kGroups) / sizeof(kGroups[0]);
static_assert(kGroupCount == 43);

uint32_t PickId(uint8_t form, uint32_t raw) {
    switch (form % 4) {
        case 0: return kGroups[(raw >> 8) % kGroupCount] | (form & 0x10 ? raw & 0xFF : raw & 0xF);
        case 1: return 0x10000 + (raw & 0x1FFFF);
        case 2: return 0x100000 | (raw & 0x7FF);
        default: return raw;
    }
}

// Ids the exported Set and Get answer themselves.
bool IsInterfaceSetId(uint32_t id) {
    return (id >= 0x100100 && id <= 0x100102) || id == 0x100202 || id == 0x100210 ||
           (id >= 0x100212 && id <= 0x10021a) || id == 0x100515 || id == 0x100516 || id == 0x400000 ||
           id == 0x400001 || id == 0x400009 || id == 0x40000a;
}
bool IsInterfaceGetId(uint32_t id) {
    return (id >= 0x100212 && id <= 0x100214) || id == 0x100400 || id == 0x100401 || id == 0x100513 ||
           (id >= 0x100515 && id <= 0x100517);
}

// Pointer ids would hand a fuzzed value to the library as an address.
bool IsPointerSetId(uint32_t id) { return id == 0x100100 || id == 0x100214; }

DECODE_PARAMS g_before;
DECODE_PARAMS g_afterDispatch;

bool BlockUnchanged() { return std::memcmp(&g_before, &g_params, sizeof g_params) == 0; }

void DoSet(uint32_t id, uint64_t value) {
    g_before = g_params;
    if (!IsInterfaceSetId(id)) {
        const int d = vexo::Par_DispatchSet(id, value);
        Check(d >= -1 && d <= 1);
        Check(d == 1 || BlockUnchanged());
        g_afterDispatch = g_params;
        // The same value with another upper half.
        g_params = g_before;
        Check(vexo::Par_DispatchSet(id, value ^ 0xA5A5A5A500000000ull) == d);
        Check(std::memcmp(&g_afterDispatch, &g_params, sizeof g_params) == 0);
        g_params = g_before;
        const int e = ZPT_SE_VexoDec_Set(id, value);
        Check(e == (d == 1 ? 1 : 0));
        Check(std::memcmp(&g_afterDispatch, &g_params, sizeof g_params) == 0);
        return;
    }
    if (IsPointerSetId(id)) return;
    const int e = ZPT_SE_VexoDec_Set(id, value);
    Check(e == 0 || e == 1);
    Check(e == 1 || BlockUnchanged());
}

constexpr size_t kTextBytes = 300;
constexpr size_t kGuardBytes = 16;

// A descriptor over a marked buffer; capacity never exceeds the real buffer.
struct Target {
    TEXT_DESC desc;
    char text[kTextBytes + kGuardBytes];
};

void DoGet(uint32_t id, uint8_t size, uint8_t capacity, uint8_t form) {
    static Target target, copy;
    std::memset(&target, 0x5A, sizeof target);
    target.desc.size = size;
    target.desc.capacity = (form & 1) ? capacity : static_cast<uint32_t>(capacity) + 40;
    target.desc.length = 0xDEADBEEF;
    target.desc.buffer = (form & 2) ? nullptr : target.text;
    copy = target;
    g_before = g_params;
    const bool viaDispatcher = !IsInterfaceGetId(id) && (form & 4);
    const int answer = viaDispatcher ? vexo::Par_DispatchGet(id, &target.desc) : ZPT_SE_VexoDec_Get(id, &target.desc);
    Check(viaDispatcher ? (answer >= -1 && answer <= 1) : (answer == 0 || answer == 1));
    Check(BlockUnchanged());
    if (answer != 1) {
        Check(std::memcmp(&target, &copy, sizeof target) == 0);
        return;
    }
    // Text Gets write within the capacity, terminators included.
    for (size_t i = target.desc.capacity; i < sizeof target.text; ++i) Check(target.text[i] == copy.text[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vexo::Test_ResetDecoderStatics();
    ZPT_SE_VexoDec_Init();
    Reader r{data, size};
    for (int i = 0; i < kMaxRecords && r.left >= kRecordBytes; ++i) {
        const uint8_t op = r.Take<uint8_t>();
        const uint8_t form = r.Take<uint8_t>();
        const uint32_t id = PickId(form, r.Take<uint32_t>());
        const uint64_t value = r.Take<uint64_t>();
        const uint8_t descSize = r.Take<uint8_t>();
        const uint8_t capacity = r.Take<uint8_t>();
        const uint8_t bufferForm = r.Take<uint8_t>();
        if (op % 3 != 1) DoSet(id, value);
        if (op % 3 != 0) DoGet(id, descSize, capacity, bufferForm);
    }
    return 0;
}
