// Property groups: every sub-id of every group, set and read through the dispatchers and the
// exported Set and Get, checked against a snapshot of the whole parameter block.
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/params.h"
#include "core/properties.h"
#include "decoder_test.h"

namespace {

using vexo::DECODE_PARAMS;
using vexo::g_params;

class PropertiesTest : public vexo_test::DecoderTest {};

constexpr uint32_t ON = 0x10001;
constexpr uint32_t OFF = 0x10000;
constexpr uint32_t Bit(int n) { return 1u << n; }

// ---------------------------------------------------------------------------------------
// Block snapshots.

enum class Field { kNone, kFlags, kSlot, kOption, kItfMask, kCommon };

// A change of one word of the block: the word becomes (word & ~clear) | set.
struct Effect {
    Field field;
    int index;
    uint32_t clear;
    uint32_t set;
};
constexpr Effect kNoChange{Field::kNone, 0, 0, 0};

Effect Flags(int word, uint32_t clear, uint32_t set) { return Effect{Field::kFlags, word, clear, set}; }
Effect Slot(int slot, uint32_t clear, uint32_t set) { return Effect{Field::kSlot, slot, clear, set}; }

uint32_t *WordOf(DECODE_PARAMS &p, Field field, int index) {
    switch (field) {
        case Field::kFlags: return &p.flagsWord[index];
        case Field::kSlot: return &p.lengthWord[index];
        case Field::kOption: return &p.optionWord;
        case Field::kItfMask: return &p.itfLengthMask;
        case Field::kCommon: return &p.commonWord;
        case Field::kNone: return nullptr;
    }
    return nullptr;
}

void Apply(DECODE_PARAMS &p, const Effect &e) {
    if (uint32_t *w = WordOf(p, e.field, e.index)) *w = (*w & ~e.clear) | e.set;
}

// The option words in front of the result store; the store is compared as a whole.
constexpr size_t kHeadBytes = offsetof(DECODE_PARAMS, resultStore);

void DiffWord(std::ostringstream &s, const std::string &name, uint32_t want, uint32_t got) {
    if (want != got) s << " " << name << " want 0x" << std::hex << want << " got 0x" << got << std::dec;
}

std::string Diff(const DECODE_PARAMS &want, const DECODE_PARAMS &got) {
    std::ostringstream s;
    for (int i = 0; i < 64; ++i) {
        DiffWord(s, "flagsWord[" + std::to_string(i) + "]", want.flagsWord[i], got.flagsWord[i]);
    }
    for (int i = 0; i < 12; ++i) {
        DiffWord(s, "lengthWord[" + std::to_string(i) + "]", want.lengthWord[i], got.lengthWord[i]);
    }
    DiffWord(s, "optionWord", want.optionWord, got.optionWord);
    DiffWord(s, "itfLengthMask", want.itfLengthMask, got.itfLengthMask);
    DiffWord(s, "commonWord", want.commonWord, got.commonWord);
    if (std::memcmp(&want.resultStore, &got.resultStore, sizeof want.resultStore) != 0) s << " resultStore differs";
    return s.str();
}

bool SameBlock(const DECODE_PARAMS &a, const DECODE_PARAMS &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

constexpr uint32_t kFillSeed = 20151223;

// Starting blocks: all zero, all ones and seeded noise, so that every set and every clear
// shows.
std::vector<DECODE_PARAMS> StartBlocks() {
    std::vector<DECODE_PARAMS> blocks(3);
    std::memset(&blocks[0], 0, sizeof(DECODE_PARAMS));
    std::memset(&blocks[1], 0xFF, sizeof(DECODE_PARAMS));
    std::mt19937 rng(kFillSeed);
    auto *bytes = reinterpret_cast<uint8_t *>(&blocks[2]);
    for (size_t i = 0; i < sizeof(DECODE_PARAMS); ++i) bytes[i] = static_cast<uint8_t>(rng());
    return blocks;
}

// ---------------------------------------------------------------------------------------
// Every (group, sub-id, value) row.

struct Row {
    uint32_t id;
    uint64_t value;
    int answer;  // of the dispatcher: 1 applied, -1 rejected
    Effect effect;
    bool checkGet;
    uint32_t get;  // Get's answer afterwards, whatever the block held before
};

class Table {
public:
    std::vector<Row> rows;

    void Add(uint32_t id, uint64_t value, Effect e, uint32_t get) { rows.push_back({id, value, 1, e, true, get}); }
    void AddNoGet(uint32_t id, uint64_t value, Effect e) { rows.push_back({id, value, 1, e, false, 0}); }
    void Reject(uint32_t id, uint64_t value) { rows.push_back({id, value, -1, kNoChange, false, 0}); }
    void RejectAllBut(uint32_t id, std::initializer_list<uint32_t> accepted) {
        for (uint32_t v : {0u, 1u, OFF, ON, 0x10002u, 0x10003u, 0x10006u, 0x10007u, 0x10019u, 0xFFFFFFFFu}) {
            bool taken = false;
            for (uint32_t a : accepted) taken = taken || a == v;
            if (!taken) Reject(id, v);
        }
    }

    // setCode sets the bits, clearCode clears them; Get answers the code of the state.
    void Codes(uint32_t id, int word, uint32_t mask, uint32_t setCode, uint32_t clearCode) {
        Add(id, setCode, Flags(word, 0, mask), setCode);
        Add(id, clearCode, Flags(word, mask, 0), clearCode);
        RejectAllBut(id, {setCode, clearCode});
    }
    void Bool(uint32_t id, int word, uint32_t mask) { Codes(id, word, mask, ON, OFF); }
    void Bools(uint32_t group, int word, std::initializer_list<std::pair<int, uint32_t>> subs) {
        for (const auto &s : subs) Bool(group + s.first, word, s.second);
    }

    // A number 1..largest in a field; Get answers the field.
    void Number(uint32_t id, Field f, int index, int shift, uint32_t fieldMask, uint32_t largest) {
        for (uint32_t v : {1u, largest / 2 + 1, largest}) {
            Add(id, v, Effect{f, index, fieldMask << shift, v << shift}, v);
        }
        for (uint64_t v : {uint64_t{0}, uint64_t{largest} + 1, uint64_t{0x80000000}, uint64_t{0xFFFFFFFF}}) {
            Reject(id, v);
        }
    }
    void Min1D(uint32_t id, int word) { Number(id, Field::kFlags, word, 0, 0xFF, 255); }
    void Max1D(uint32_t id, int word) { Number(id, Field::kFlags, word, 8, 0xFF, 255); }
    void Min2D(uint32_t id, int slot) { Number(id, Field::kSlot, slot, 0, 0xFFFF, 65535); }
    void Max2D(uint32_t id, int slot) { Number(id, Field::kSlot, slot, 16, 0xFFFF, 65535); }
    void Count(uint32_t id, int word, uint32_t largest) { Number(id, Field::kFlags, word, 0, 0xF, largest); }

    // Read mode in bits 5-6: never rejected.
    void ReadMode(uint32_t id, int word) {
        struct M {
            uint32_t value, mode, get;
        };
        for (M m : {M{0x10018, 1, 0x10018}, M{0x10019, 2, 0x10019}, M{0x1001A, 3, 0x1001A}, M{0, 1, 0x10018},
                    M{7, 1, 0x10018}, M{ON, 1, 0x10018}, M{0x1001B, 1, 0x10018}}) {
            Add(id, m.value, Flags(word, 0x60, m.mode << 5), m.get);
        }
    }

    // Set only: on sets onSet and clears onClear, off clears offClear.
    void Combo(uint32_t id, int word, uint32_t onSet, uint32_t onClear, uint32_t offClear) {
        AddNoGet(id, ON, Flags(word, onClear, onSet));
        AddNoGet(id, OFF, Flags(word, offClear, 0));
        RejectAllBut(id, {ON, OFF});
    }

    // A boolean that takes any other value without change.
    void Lenient(uint32_t id, int word, uint32_t mask, uint32_t getSet, uint32_t getClear) {
        Add(id, ON, Flags(word, 0, mask), getSet);
        Add(id, OFF, Flags(word, mask, 0), getClear);
        for (uint32_t v : {0u, 1u, 5u, 0x10002u, 0xFFFFFFFFu}) AddNoGet(id, v, kNoChange);
    }

    // skip: a sub-id the group gives its own meaning.
    void PatternA(uint32_t group, int word, int skip = -1) {
        Bool(group + 0, word, Bit(22));
        if (skip != 1) Codes(group + 1, word, Bit(30), 0x10007, 0x10006);
        if (skip != 2) Bool(group + 2, word, Bit(31));
        Min1D(group + 3, word);
        Max1D(group + 4, word);
    }
    void PatternB(uint32_t group, int word) {
        Bool(group + 0, word, Bit(22));
        Min1D(group + 1, word);
        Max1D(group + 2, word);
        Bool(group + 3, word, Bit(31));
        Codes(group + 4, word, Bit(29), 0x10003, 0x10002);
        Bool(group + 5, word, Bit(30));
    }
    void PatternD(uint32_t group, int word) { Bools(group, word, {{0, Bit(22)}, {1, Bit(31)}}); }

    // Subs 0 to lastSub of a 2D group with the standard layout.
    void Standard2D(uint32_t group, int word, int slot, uint32_t largestCount, int lastSub = 6) {
        Bool(group + 0, word, Bit(22));
        Min2D(group + 1, slot);
        Max2D(group + 2, slot);
        Count(group + 3, word, largestCount);
        Bool(group + 4, word, Bit(4));
        if (lastSub < 5) return;
        ReadMode(group + 5, word);
        Bool(group + 6, word, Bit(7));
    }
};

void AddLinearRows(Table &t) {
    t.PatternB(0x10000, 1);
    t.PatternB(0x10100, 2);
    t.PatternB(0x10200, 3);
    t.Bool(0x10300, 4, Bit(22));
    t.Bools(0x10400, 5, {{0, Bit(22)}, {1, Bit(31)}, {2, Bit(27)}, {3, Bit(26)}, {4, Bit(29)}, {5, Bit(23)},
                         {6, Bit(24) | Bit(25)}});
    t.Bools(0x10500, 6, {{0, Bit(22)}, {1, Bit(31)}, {2, Bit(27)}, {3, Bit(26)}, {4, Bit(24) | Bit(25)}});
    t.Bools(0x10600, 7, {{0, Bit(22)}, {1, Bit(27)}, {2, Bit(26)}, {3, Bit(24) | Bit(25)}});
    t.Bool(0x10700, 8, Bit(22));
    t.Codes(0x10701, 8, Bit(31), 0x10004, 0x10005);
    t.Bools(0x10700, 8, {{2, Bit(27)}, {3, Bit(26)}, {4, Bit(24) | Bit(25)}});
    // UPC-E
    t.Bools(0x10800, 9, {{0, Bit(22)}, {1, Bit(31)}, {2, Bit(27)}, {3, Bit(26)}, {4, Bit(30)}, {5, Bit(29)},
                         {6, Bit(23)}, {7, Bit(24) | Bit(25)}});
    t.Combo(0x1080A, 9, 0, Bit(21) | Bit(30), Bit(21) | Bit(30));
    t.Combo(0x1080B, 9, Bit(30), Bit(21), Bit(30));
    t.Combo(0x1080C, 9, Bit(21) | Bit(30), 0, Bit(21) | Bit(30));
    // UPC-A
    t.Bools(0x10900, 10,
            {{0, Bit(22)}, {1, Bit(31)}, {2, Bit(27)}, {3, Bit(26)}, {4, Bit(30)}, {5, Bit(24) | Bit(25)}});
    t.Combo(0x10907, 10, Bit(21), Bit(30), Bit(21));
    t.Combo(0x10908, 10, 0, Bit(21) | Bit(30), Bit(21) | Bit(30));
    t.Combo(0x10909, 10, Bit(30), Bit(21), Bit(30));
    t.Bools(0x10900, 10, {{10, Bit(18)}, {11, Bit(17)}, {12, Bit(16)}});
    // Interleaved 2 of 5
    t.Bool(0x10A00, 11, Bit(22));
    t.Codes(0x10A01, 11, Bit(30), 0x10007, 0x10006);
    t.Bool(0x10A02, 11, Bit(31));
    t.Min1D(0x10A03, 11);
    t.Max1D(0x10A04, 11);
    t.Add(0x10A05, ON, Effect{Field::kOption, 0, 0, Bit(3)}, ON);
    t.Add(0x10A05, OFF, Effect{Field::kOption, 0, Bit(3), 0}, OFF);
    t.RejectAllBut(0x10A05, {ON, OFF});
    for (uint32_t len : {1u, 2u, 13u, 14u, 63u, 64u}) {
        t.AddNoGet(0x10A06, len, Effect{Field::kItfMask, 0, 0, Bit(static_cast<int>((len - 1) / 2))});
        t.AddNoGet(0x10A07, len, Effect{Field::kItfMask, 0, Bit(static_cast<int>((len - 1) / 2)), 0});
    }
    for (uint32_t id : {0x10A06u, 0x10A07u}) {
        for (uint32_t v : {0u, 65u, ON, 0xFFFFFFFFu}) t.Reject(id, v);
    }
    t.PatternD(0x10B00, 12);
    t.PatternD(0x10C00, 13);
    t.PatternD(0x10D00, 14);
    t.PatternD(0x10E00, 15);
    t.PatternA(0x10F00, 16);
    t.PatternA(0x11000, 17);
    t.PatternA(0x11100, 18);
    t.PatternA(0x11200, 19);
    // Code 39: sub 3 on transmits start and stop, i.e. clears bit 28.
    t.Bool(0x11400, 20, Bit(22));
    t.Codes(0x11401, 20, Bit(30), 0x10007, 0x10006);
    t.Bool(0x11402, 20, Bit(31));
    t.Codes(0x11403, 20, Bit(28), OFF, ON);
    t.Bool(0x11404, 20, Bit(29));
    t.Min1D(0x11405, 20);
    t.Max1D(0x11406, 20);
    t.Lenient(0x11407, 20, Bit(26), 1, 0);
    t.Lenient(0x11408, 20, Bit(27), 1, 0);
    // Codabar
    t.Bool(0x11500, 21, Bit(22));
    t.Codes(0x11501, 21, Bit(30), 0x10007, 0x10006);
    t.Bool(0x11502, 21, Bit(31));
    t.Codes(0x11503, 21, Bit(28), OFF, ON);
    t.Add(0x11504, 0x10014, Flags(21, 3u << 16, 0), 0x10014);
    t.Add(0x11504, 0x10015, Flags(21, 3u << 16, 1u << 16), 0x10015);
    t.Add(0x11504, 0x10016, Flags(21, 3u << 16, 2u << 16), 0x10016);
    t.Add(0x11504, 0x10017, Flags(21, 3u << 16, 3u << 16), 0x10017);
    for (uint32_t v : {0x10013u, 0x10018u, 0u, ON, 0xFFFFFFFFu}) t.Add(0x11504, v, Flags(21, 3u << 16, 0), 0x10014);
    t.Min1D(0x11505, 21);
    t.Max1D(0x11506, 21);
    t.PatternA(0x11600, 22);
    // Code 11: pattern A with a check scheme in bits 16-18 on sub 1.
    t.PatternA(0x11700, 23, 1);
    struct Scheme {
        uint32_t value, bits;
    };
    for (Scheme s : {Scheme{0x10006, 0}, Scheme{0x10008, 1}, Scheme{0x10009, 2}, Scheme{0x1000A, 3},
                     Scheme{0x1000B, 4}, Scheme{0x1000C, 5}}) {
        t.Add(0x11701, s.value, Flags(23, 7u << 16, s.bits << 16), s.value);
    }
    for (uint32_t v : {0x10007u, 0x1000Du, 0u, ON}) t.Reject(0x11701, v);
    t.PatternA(0x11800, 24);
    // MSI: check scheme in bits 16-17, bit 18 cleared each time.
    t.PatternA(0x11900, 25, 1);
    for (Scheme s : {Scheme{0x10006, 0}, Scheme{0x1000D, 1}, Scheme{0x1000E, 2}, Scheme{0x1000F, 3}}) {
        t.Add(0x11901, s.value, Flags(25, 7u << 16, s.bits << 16), s.value);
    }
    for (uint32_t v : {0x10007u, 0x10008u, 0x1000Cu, 0x10010u, ON}) t.Reject(0x11901, v);
    // GS1 DataBar: maximum before minimum.
    t.Bools(0x11A00, 26, {{0, Bit(22)}, {1, Bit(31)}});
    t.Max1D(0x11A02, 26);
    t.Min1D(0x11A03, 26);
    // 0x11B00 keeps nothing.
    for (uint32_t sub : {0u, 3u}) {
        t.Add(0x11B00 + sub, ON, kNoChange, OFF);
        t.Add(0x11B00 + sub, OFF, kNoChange, OFF);
        t.RejectAllBut(0x11B00 + sub, {ON, OFF});
    }
    for (uint32_t sub : {1u, 2u}) {
        for (uint32_t v : {1u, 77u, 255u}) t.Add(0x11B00 + sub, v, kNoChange, 0);
        for (uint32_t v : {0u, 256u, ON}) t.Reject(0x11B00 + sub, v);
    }
    t.PatternD(0x11C00, 30);
    // 2 of 5 variant A: sub 2 takes any value.
    t.PatternA(0x11D00, 27, 2);
    t.Lenient(0x11D02, 27, Bit(31), ON, OFF);
}

void Add2DRows(Table &t) {
    t.Standard2D(0x20100, 38, 0, 15);
    t.Standard2D(0x20200, 39, 1, 15);
    t.Bools(0x20200, 39, {{7, Bit(8)}, {8, Bit(9)}});
    t.Standard2D(0x20300, 40, 2, 15);
    // Data Matrix: its own order.
    t.Bool(0x20400, 41, Bit(22));
    t.Min2D(0x20401, 3);
    t.Max2D(0x20402, 3);
    t.Bool(0x20403, 41, Bit(4));
    t.Count(0x20404, 41, 15);
    t.Bool(0x20405, 41, Bit(8));
    t.ReadMode(0x20406, 41);
    t.Bools(0x20400, 41, {{7, Bit(7)}, {8, Bit(9)}, {9, Bit(10)}, {10, Bit(11)}, {11, Bit(12)}});
    t.Standard2D(0x20500, 42, 4, 15);
    // 0x20600: own order, a number in bits 8-11.
    t.Bool(0x20600, 46, Bit(22));
    t.Min2D(0x20601, 8);
    t.Max2D(0x20602, 8);
    t.Bool(0x20603, 46, Bit(4));
    t.Count(0x20604, 46, 15);
    t.ReadMode(0x20605, 46);
    t.Bool(0x20606, 46, Bit(7));
    t.Number(0x20607, Field::kFlags, 46, 8, 0xF, 15);
    t.Standard2D(0x20700, 43, 5, 14);
    // MicroPDF417: subs 5 and 6 cannot be set.
    t.Standard2D(0x20800, 48, 10, 15, 4);
    t.Bool(0x20900, 49, Bit(22));
    t.Min2D(0x20901, 11);
    t.Max2D(0x20902, 11);
    t.Standard2D(0x20F00, 45, 7, 15);
    t.Bool(0x21400, 44, Bit(22));
    t.Min2D(0x21401, 6);
    t.Max2D(0x21402, 6);
}

void AddOptionRows(Table &t) {
    t.Add(0x20000, 0x10011, Effect{Field::kCommon, 0, 3, 0}, 0x10011);
    t.Add(0x20000, 0x10012, Effect{Field::kCommon, 0, 3, 1}, 0x10012);
    t.Add(0x20000, 0x10013, Effect{Field::kCommon, 0, 3, 2}, 0x10013);
    t.AddNoGet(0x20000, 0x10010, kNoChange);
    for (uint32_t v : {0x10014u, 0x1000Fu, ON, OFF, 0u, 2u}) t.Reject(0x20000, v);
    t.Add(0x100600, ON, Effect{Field::kCommon, 0, 0, Bit(2)}, ON);
    t.Add(0x100600, OFF, Effect{Field::kCommon, 0, Bit(2), 0}, OFF);
    t.RejectAllBut(0x100600, {ON, OFF});
    for (uint32_t id : {0x100601u, 0x1006FFu}) {
        for (uint32_t v : {0u, ON, OFF, 0xFFFFFFFFu}) t.AddNoGet(id, v, kNoChange);
    }
}

const std::vector<Row> &AllRows() {
    static const std::vector<Row> rows = [] {
        Table t;
        AddLinearRows(t);
        Add2DRows(t);
        AddOptionRows(t);
        return t.rows;
    }();
    return rows;
}

std::string Describe(const Row &r, int start) {
    std::ostringstream s;
    s << std::hex << "id 0x" << r.id << " value 0x" << r.value << std::dec << " start block " << start
      << " (fill seed " << kFillSeed << ")";
    return s.str();
}

TEST_F(PropertiesTest, EveryRowAnswersAndChangesOnlyItsField) {
    const std::vector<DECODE_PARAMS> starts = StartBlocks();
    ASSERT_GT(AllRows().size(), 900u);
    for (const Row &r : AllRows()) {
        for (size_t s = 0; s < starts.size(); ++s) {
            SCOPED_TRACE(Describe(r, static_cast<int>(s)));
            DECODE_PARAMS want = starts[s];
            if (r.answer == 1) Apply(want, r.effect);

            g_params = starts[s];
            ASSERT_EQ(vexo::Par_DispatchSet(r.id, r.value), r.answer);
            ASSERT_TRUE(SameBlock(want, g_params)) << Diff(want, g_params);

            g_params = starts[s];
            ASSERT_EQ(ZPT_SE_VexoDec_Set(r.id, r.value), r.answer == 1 ? 1 : 0);
            ASSERT_TRUE(SameBlock(want, g_params)) << Diff(want, g_params);
            if (r.checkGet) {
                int answer = 0;
                EXPECT_EQ(vexo_test::GetWord(r.id, &answer), r.get);
                EXPECT_EQ(answer, 1);
            }
        }
    }
}

// Only the low half of the 64-bit value counts: every row gives the same answer and the
// same block with any upper half.
TEST_F(PropertiesTest, UpperHalfOfTheValueIsIgnored) {
    const std::vector<DECODE_PARAMS> starts = StartBlocks();
    for (const Row &r : AllRows()) {
        for (uint64_t high : {uint64_t{1} << 32, uint64_t{0xFFFFFFFF00000000}, uint64_t{0x8000000100000000}}) {
            SCOPED_TRACE(Describe(r, 2) + " upper half " + std::to_string(high >> 32));
            DECODE_PARAMS want = starts[2];
            if (r.answer == 1) Apply(want, r.effect);
            g_params = starts[2];
            ASSERT_EQ(vexo::Par_DispatchSet(r.id, (r.value & 0xFFFFFFFFu) | high), r.answer);
            ASSERT_TRUE(SameBlock(want, g_params)) << Diff(want, g_params);
        }
    }
}

// ---------------------------------------------------------------------------------------
// The id space: which ids each direction knows.

constexpr uint32_t Subs(int from, int to) {
    uint32_t m = 0;
    for (int s = from; s <= to; ++s) m |= 1u << s;
    return m;
}

struct Known {
    uint32_t group;
    uint32_t setSubs;  // bit s: sub s is a Set id
    uint32_t getSubs;
    bool setAny;  // every sub of the group is a Set id
};

constexpr Known kKnown[] = {
    {0x10000, Subs(0, 5), Subs(0, 5), false},
    {0x10100, Subs(0, 5), Subs(0, 5), false},
    {0x10200, Subs(0, 5), Subs(0, 5), false},
    {0x10300, Subs(0, 0), Subs(0, 0), false},
    {0x10400, Subs(0, 6), Subs(0, 6), false},
    {0x10500, Subs(0, 4), Subs(0, 4), false},
    {0x10600, Subs(0, 3), Subs(0, 3), false},
    {0x10700, Subs(0, 4), Subs(0, 4), false},
    {0x10800, Subs(0, 7) | Subs(10, 12), Subs(0, 7), false},
    {0x10900, Subs(0, 5) | Subs(7, 12), Subs(0, 5) | Subs(10, 12), false},
    {0x10A00, Subs(0, 7), Subs(0, 5), false},
    {0x10B00, Subs(0, 1), Subs(0, 1), false},
    {0x10C00, Subs(0, 1), Subs(0, 1), false},
    {0x10D00, Subs(0, 1), Subs(0, 1), false},
    {0x10E00, Subs(0, 1), Subs(0, 1), false},
    {0x10F00, Subs(0, 4), Subs(0, 4), false},
    {0x11000, Subs(0, 4), Subs(0, 4), false},
    {0x11100, Subs(0, 4), Subs(0, 4), false},
    {0x11200, Subs(0, 4), Subs(0, 4), false},
    {0x11400, Subs(0, 8), Subs(0, 8), false},
    {0x11500, Subs(0, 6), Subs(0, 6), false},
    {0x11600, Subs(0, 4), Subs(0, 4), false},
    {0x11700, Subs(0, 4), Subs(0, 4), false},
    {0x11800, Subs(0, 4), Subs(0, 4), false},
    {0x11900, Subs(0, 4), Subs(0, 4), false},
    {0x11A00, Subs(0, 3), Subs(0, 3), false},
    {0x11B00, Subs(0, 3), Subs(0, 3), false},
    {0x11C00, Subs(0, 1), Subs(0, 1), false},
    {0x11D00, Subs(0, 4), Subs(0, 4), false},
    {0x20000, Subs(0, 0), Subs(0, 0), false},
    {0x20100, Subs(0, 6), Subs(0, 6), false},
    {0x20200, Subs(0, 8), Subs(0, 8), false},
    {0x20300, Subs(0, 6), Subs(0, 6), false},
    {0x20400, Subs(0, 11), Subs(0, 11), false},
    {0x20500, Subs(0, 6), Subs(0, 6), false},
    {0x20600, Subs(0, 7), Subs(0, 7), false},
    {0x20700, Subs(0, 6), Subs(0, 6), false},
    {0x20800, Subs(0, 4), Subs(0, 6), false},
    {0x20900, Subs(0, 2), Subs(0, 2), false},
    {0x20F00, Subs(0, 6), Subs(0, 6), false},
    {0x21400, Subs(0, 2), Subs(0, 2), false},
    {0x100500, 0, Subs(0, 4), false},
    {0x100600, Subs(0, 0), Subs(0, 0), true},
};

const Known *FindKnown(uint32_t id) {
    for (const Known &k : kKnown) {
        if (k.group == (id & 0xFFFFFF00u)) return &k;
    }
    return nullptr;
}
bool IsSetId(uint32_t id) {
    const Known *k = FindKnown(id);
    const uint32_t sub = id & 0xFF;
    return k != nullptr && (k->setAny || (sub < 32 && (k->setSubs >> sub) & 1));
}
bool IsGetId(uint32_t id) {
    const Known *k = FindKnown(id);
    const uint32_t sub = id & 0xFF;
    return k != nullptr && sub < 32 && ((k->getSubs >> sub) & 1);
}

// Ids the exported Set and Get answer themselves, never reaching the dispatchers.
bool IsInterfaceId(uint32_t id) { return id == 0x100513 || id == 0x100515 || id == 0x100516 || id == 0x100517; }

// A Get target that serves as u32 and as text descriptor at once, with a marked buffer.
struct GetTarget {
    GetTarget() {
        std::memset(text, '#', sizeof text);
        desc = TEXT_DESC{24, 64, 0xDEADBEEF, 0x5A5A5A5A, text};
    }
    bool Untouched() const {
        const GetTarget fresh;
        return std::memcmp(&desc, &fresh.desc, offsetof(TEXT_DESC, buffer)) == 0 && desc.buffer == text &&
               std::memcmp(text, fresh.text, sizeof text) == 0;
    }
    TEXT_DESC desc;
    char text[72];
};

// Probes one id both ways; unknown ids must answer 0 and leave block and target alone.
void ProbeId(uint32_t id, bool exported) {
    SCOPED_TRACE(testing::Message() << std::hex << "id 0x" << id);
    const DECODE_PARAMS before = g_params;
    if (IsSetId(id)) {
        EXPECT_NE(vexo::Par_DispatchSet(id, ON), 0);
        g_params = before;
    } else {
        for (uint64_t v : {uint64_t{ON}, uint64_t{OFF}, uint64_t{1}, uint64_t{0x10019}, ~uint64_t{0}}) {
            ASSERT_EQ(vexo::Par_DispatchSet(id, v), 0);
            if (exported) {
                ASSERT_EQ(ZPT_SE_VexoDec_Set(id, v), 0);
            }
        }
        ASSERT_EQ(std::memcmp(&before, &g_params, kHeadBytes), 0) << Diff(before, g_params);
    }
    GetTarget out;
    if (IsGetId(id)) {
        EXPECT_EQ(vexo::Par_DispatchGet(id, &out.desc), 1);
    } else {
        ASSERT_EQ(vexo::Par_DispatchGet(id, &out.desc), 0);
        ASSERT_TRUE(out.Untouched());
        if (exported) {
            ASSERT_EQ(ZPT_SE_VexoDec_Get(id, &out.desc), 0);
            ASSERT_TRUE(out.Untouched());
        }
    }
}

TEST_F(PropertiesTest, OnlyTheDocumentedIdsAreKnownInEitherDirection) {
    ZPT_SE_VexoDec_Init();
    const DECODE_PARAMS initial = g_params;
    for (uint32_t group = 0x10000; group <= 0x2FF00; group += 0x100) {
        for (uint32_t sub = 0; sub < 256; ++sub) {
            ProbeId(group | sub, true);
            if (HasFatalFailure()) return;
        }
    }
    for (uint32_t group : {0x100500u, 0x100600u}) {
        for (uint32_t sub = 0; sub < 256; ++sub) {
            ProbeId(group | sub, !IsInterfaceId(group | sub));
            if (HasFatalFailure()) return;
        }
    }
    EXPECT_TRUE(SameBlock(initial, g_params)) << Diff(initial, g_params);
}

// Ids outside both ranges, including ones whose upper byte is set, reach no group.
TEST_F(PropertiesTest, RandomIdsReachOnlyTheirOwnGroup) {
    constexpr uint32_t kSeed = 7089;
    std::mt19937 rng(kSeed);
    ZPT_SE_VexoDec_Init();
    for (int i = 0; i < 20000; ++i) {
        const uint32_t id = static_cast<uint32_t>(rng());
        SCOPED_TRACE(testing::Message() << "seed " << kSeed << " draw " << i);
        ProbeId(id, false);
        if (HasFatalFailure()) return;
    }
}

// ---------------------------------------------------------------------------------------
// Edge cases.

struct SetOp {
    uint32_t id;
    uint64_t value;
    int answer;
};
struct GetOp {
    uint32_t id;
    int answer;
    uint32_t value;  // when answer is 1
};
struct EdgeCase {
    const char *what;
    Effect prime;  // written straight into the block after Init
    std::vector<SetOp> sets;
    std::vector<Effect> effects;  // the block after the Sets, against the primed block
    std::vector<GetOp> gets;
};

const EdgeCase kEdgeCases[] = {
    {"defaults after the first Init", kNoChange, {}, {},
     {{0x10000, 1, OFF}, {0x10001, 1, 1}, {0x10002, 1, 255}, {0x20101, 1, 1}, {0x20102, 1, 2710},
      {0x20105, 1, 0x10018}, {0x20406, 1, 0x1001A}, {0x20000, 1, 0x10011}, {0x100600, 1, OFF},
      {0x11901, 1, 0x1000D}, {0x11403, 1, ON}}},
    {"Code 128 minimum refuses 0, 256 and 0x10001, stores 255", kNoChange,
     {{0x10001, 0, -1}, {0x10001, 256, -1}, {0x10001, ON, -1}, {0x10001, 255, 1}},
     {Flags(1, 0xFF, 255)}, {{0x10001, 1, 255}}},
    {"Code 128 sub 4 takes 0x10003, not 0x10001", kNoChange, {{0x10004, 0x10003, 1}, {0x10004, ON, -1}},
     {Flags(1, 0, Bit(29))}, {{0x10004, 1, 0x10003}}},
    {"FNC1-second sub 5 sets bit 30 only", kNoChange, {{0x10205, ON, 1}}, {Flags(3, 0, Bit(30))},
     {{0x10005, 1, OFF}, {0x10105, 1, OFF}, {0x10205, 1, ON}}},
    {"ITF lengths 13 and 14 share bit 6; 65 is refused", kNoChange,
     {{0x10A06, 14, 1}, {0x10A06, 13, 1}, {0x10A06, 65, -1}}, {{Field::kItfMask, 0, 0, Bit(6)}}, {}},
    {"Codabar style 0x10013 clears bits 16-17", Flags(21, 0, 3u << 16), {{0x11504, 0x10013, 1}},
     {Flags(21, 3u << 16, 0)}, {{0x11504, 1, 0x10014}}},
    {"Code 39 sub 7 takes 5 unchanged and reads 0 or 1", kNoChange, {{0x11407, 5, 1}}, {}, {{0x11407, 1, 0}}},
    {"Code 39 sub 8 reads 1 when bit 27 is set", Flags(20, 0, Bit(27)), {{0x11408, 0x12345, 1}}, {},
     {{0x11408, 1, 1}, {0x11407, 1, 0}}},
    {"2 of 5 variant A sub 2 takes any value unchanged", kNoChange, {{0x11D02, 9, 1}, {0x11D02, 0x10007, 1}}, {},
     {{0x11D02, 1, OFF}}},
    {"UPC-A sub 6 is no id either way", kNoChange, {{0x10906, ON, 0}}, {}, {{0x10906, 0, 0}}},
    {"0x11B01 reads 0 whatever was set", kNoChange, {{0x11B01, 200, 1}, {0x11B00, ON, 1}}, {},
     {{0x11B01, 1, 0}, {0x11B00, 1, OFF}}},
    {"UPC-A preamble: sub 7 on, then sub 9 on", kNoChange, {{0x10907, ON, 1}, {0x10909, ON, 1}},
     {Flags(10, Bit(21) | Bit(30), Bit(30))}, {{0x10907, 0, 0}, {0x10909, 0, 0}, {0x10904, 1, ON}}},
    {"UPC-E sub 10 takes on and off alike", Flags(9, 0, Bit(21) | Bit(30)), {{0x1080A, ON, 1}},
     {Flags(9, Bit(21) | Bit(30), 0)}, {{0x10804, 1, OFF}, {0x1080A, 0, 0}}},
    {"2D read mode: 0x10018, 0 and 7 all store mode 1", Flags(38, 0, 3u << 5),
     {{0x20105, 0x10018, 1}, {0x20105, 0, 1}, {0x20105, 7, 1}}, {Flags(38, 3u << 5, 1u << 5)},
     {{0x20105, 1, 0x10018}}},
    {"read mode bits 0 read as mode 1", Flags(38, 3u << 5, 0), {}, {}, {{0x20105, 1, 0x10018}}},
    {"CS Code counts stop at 14, PDF417 takes 15", kNoChange, {{0x20703, 15, -1}, {0x20703, 14, 1}, {0x20103, 15, 1}},
     {Flags(43, 0xF, 14), Flags(38, 0xF, 15)}, {{0x20703, 1, 14}, {0x20103, 1, 15}}},
    {"2D minimum refuses 65536, stores 65535", kNoChange, {{0x20101, 0x10000, -1}, {0x20101, 65535, 1}},
     {Slot(0, 0xFFFF, 65535)}, {{0x20101, 1, 65535}, {0x20102, 1, 2710}}},
    {"lengths are not compared with each other", kNoChange, {{0x10001, 200, 1}, {0x10002, 100, 1}},
     {Flags(1, 0xFFFF, 200 | (100 << 8))}, {{0x10001, 1, 200}, {0x10002, 1, 100}}},
    {"negative numbers are too large", kNoChange, {{0x10001, 0xFFFFFFFF, -1}, {0x20101, 0x80000000, -1}}, {}, {}},
    {"MicroPDF417 sub 5 is Get only", Flags(48, 3u << 5, 2u << 5), {{0x20805, 0x10019, 0}, {0x20806, ON, 0}}, {},
     {{0x20805, 1, 0x10019}, {0x20806, 1, ON}}},
    {"2D common mode 3 reads as 0x10011", Effect{Field::kCommon, 0, 0, 3}, {}, {}, {{0x20000, 1, 0x10011}}},
    {"2D common mode: only the id itself", kNoChange, {{0x20001, 0x10012, 0}, {0x20000, 0x10010, 1}}, {},
     {{0x20001, 0, 0}}},
    {"AIM prefix sub 1 takes anything unchanged", kNoChange, {{0x100601, 0x1234, 1}, {0x100600, ON, 1}},
     {{Field::kCommon, 0, 0, Bit(2)}}, {{0x100601, 0, 0}, {0x100600, 1, ON}}},
    {"Code 11 bit 18 with bit 16 or 17 reads 0x1000C", Flags(23, 0, 6u << 16), {}, {}, {{0x11701, 1, 0x1000C}}},
    {"MSI bit 18 alone reads no check", Flags(25, 3u << 16, 4u << 16), {}, {}, {{0x11901, 1, 0x10006}}},
    {"ISBN sub 1 answers the ISBN codes", Flags(8, 0, Bit(31)), {}, {}, {{0x10701, 1, 0x10004}}},
    {"add-on required reads on with either bit", Flags(6, Bit(24), Bit(25)), {}, {}, {{0x10504, 1, ON}}},
    {"0x20600 sub 7 keeps a number in bits 8-11", kNoChange, {{0x20607, 16, -1}, {0x20607, 9, 1}},
     {Flags(46, 0xF00, 0x900)}, {{0x20607, 1, 9}}},
    {"the result group takes no Set", kNoChange, {{0x100500, 1, 0}, {0x100502, 1, 0}}, {}, {}},
};

TEST_F(PropertiesTest, EdgeCases) {
    for (const EdgeCase &c : kEdgeCases) {
        SCOPED_TRACE(c.what);
        vexo::Test_ResetDecoderStatics();
        ZPT_SE_VexoDec_Init();
        Apply(g_params, c.prime);
        DECODE_PARAMS want = g_params;
        for (const SetOp &op : c.sets) {
            const DECODE_PARAMS before = g_params;
            EXPECT_EQ(vexo::Par_DispatchSet(op.id, op.value), op.answer) << std::hex << op.id << " " << op.value;
            if (op.answer != 1) {
                EXPECT_TRUE(SameBlock(before, g_params)) << Diff(before, g_params);
                EXPECT_EQ(ZPT_SE_VexoDec_Set(op.id, op.value), 0);
            }
        }
        for (const Effect &e : c.effects) Apply(want, e);
        EXPECT_TRUE(SameBlock(want, g_params)) << Diff(want, g_params);
        for (const GetOp &op : c.gets) {
            int answer = -5;
            const uint32_t value = vexo_test::GetWord(op.id, &answer);
            EXPECT_EQ(answer, op.answer) << std::hex << op.id;
            EXPECT_EQ(value, op.answer == 1 ? op.value : 0xA5A5A5A5u) << std::hex << op.id;
        }
    }
}

// ---------------------------------------------------------------------------------------
// The result group and the version text.

TEST_F(PropertiesTest, ResultGroupBeforeAnyDecode) {
    ZPT_SE_VexoDec_Init();
    struct Case {
        uint32_t id;
        uint32_t value;
    };
    for (Case c : {Case{0x100500, 0xFFFFFFFF}, Case{0x100501, 0}, Case{0x100503, 0}, Case{0x100504, 0}}) {
        int answer = 0;
        EXPECT_EQ(vexo_test::GetWord(c.id, &answer), c.value) << std::hex << c.id;
        EXPECT_EQ(answer, 1);
    }
    vexo_test::TextOut text(64);
    EXPECT_EQ(vexo::Par_DispatchGet(0x100502, &text.desc), 1);
    EXPECT_EQ(text.desc.length, 0u);
    EXPECT_EQ(text.bytes[0], '#');
}

TEST_F(PropertiesTest, ResultTextRefusesAnUnusableDescriptorUntouched) {
    ZPT_SE_VexoDec_Init();
    struct Case {
        uint32_t size, capacity;
        bool nullBuffer;
    };
    for (Case c : {Case{16, 64, false}, Case{23, 64, false}, Case{24, 0, false}, Case{24, 64, true}}) {
        vexo_test::TextOut text(64, c.size);
        text.desc.capacity = c.capacity;
        if (c.nullBuffer) text.desc.buffer = nullptr;
        const TEXT_DESC before = text.desc;
        EXPECT_EQ(vexo::Par_DispatchGet(0x100502, &text.desc), -1) << "size " << c.size;
        EXPECT_EQ(ZPT_SE_VexoDec_Get(0x100502, &text.desc), 0);
        EXPECT_EQ(std::memcmp(&before, &text.desc, sizeof before), 0);
        EXPECT_EQ(std::string(text.bytes.begin(), text.bytes.end()), std::string(72, '#'));
    }
}

TEST_F(PropertiesTest, AimPrefixIsClearedByInit) {
    ZPT_SE_VexoDec_Init();
    ASSERT_EQ(ZPT_SE_VexoDec_Set(0x100600, ON), 1);
    EXPECT_EQ(g_params.commonWord & Bit(2), Bit(2));
    EXPECT_EQ(vexo_test::GetWord(0x100503), 0u) << "no decode yet: still 0";
    ASSERT_EQ(ZPT_SE_VexoDec_Init(), 1);
    EXPECT_EQ(vexo_test::GetWord(0x100600), OFF) << "Init clears it";
}

TEST_F(PropertiesTest, VersionTextMatchesTheVersionListAndIsTerminated) {
    std::vector<char> buf(1025 + 16, '#');
    ASSERT_EQ(vexo::Par_WriteVersionText(buf.data()), 1);
    const std::string written(buf.data());
    vexo_test::TextOut list(1024);
    ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_VERSION_LIST, &list.desc), 1);
    EXPECT_EQ(written, list.Text());
    EXPECT_EQ(written.rfind("\r\nVexo Ver:     4.10.001B00", 0), 0u);
    for (size_t i = 1025; i < buf.size(); ++i) EXPECT_EQ(buf[i], '#');
    EXPECT_EQ(vexo::Par_WriteVersionText(nullptr), 0);
}

// A Get with a null target is refused by the dispatcher as well as by the interface.
TEST_F(PropertiesTest, NullGetTargetIsRefused) {
    for (uint32_t id : {0x10000u, 0x20105u, 0x100502u, 0x100600u, 0x20000u}) {
        EXPECT_EQ(vexo::Par_DispatchGet(id, nullptr), 0) << std::hex << id;
        EXPECT_EQ(ZPT_SE_VexoDec_Get(id, nullptr), 0) << std::hex << id;
    }
}

}  // namespace
