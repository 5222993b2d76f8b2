// libzint's Aztec module matrices through the data layer: every size with few and with many
// check codewords, the error-correction levels, the character modes, binary shift, ECI, GS1,
// structured append; codewords and mode-message words damaged between the stages; the
// layer-count check of a compact grid whose ring at distance 7 reads as a full-range message.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "azt_fixture.h"
#include "support/symbol.h"

namespace {

using azttest::AztTest;
using vexo::i32;

testkit::Symbol Aztec(const std::string &data, int size = 0, int ecc = -1, int inputMode = DATA_MODE) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_AZTEC;
    in.data = data;
    in.inputMode = inputMode;
    in.option1 = ecc;
    in.option2 = size;
    return testkit::Encode(in);
}

using testkit::Repeat;

// The data codeword count a grid's mode message states (0 when it is not read).
int ModeDataCodewords(const testkit::Symbol &s) {
    std::vector<uint8_t> m = s.modules;
    vexo::AZT_BITSTREAM grid{m.data(), static_cast<i32>(m.size()), s.rows};
    vexo::AZT_MODE mode{};
    return vexo::Azt_ReadModeMessage(&grid, &mode) != 0 ? mode.dataCodewords : 0;
}

// The longest repetition of unit (up to 4,000 bytes) that libzint puts into the size.
// Compact sizes are walked up one byte at a time and stop where the stated data codeword
// count drops: libzint fills a 4-layer compact symbol with up to 76 data codewords but
// states their count modulo 64 (the mode message has 6 bits for it), which no reader can
// decode.
testkit::Symbol Fill(const std::string &unit, int size, std::string *data) {
    testkit::Symbol best;
    size_t lo = 0;
    if (size <= 4) {
        int last = 0;
        for (size_t n = 1; n <= 400; ++n) {
            testkit::Symbol s = Aztec(Repeat(unit, n), size);
            const int stated = s.ok ? ModeDataCodewords(s) : 0;
            if (stated < last) break;
            last = stated;
            lo = n;
            best = s;
        }
        *data = Repeat(unit, lo);
        return best;
    }
    return testkit::LongestRepeat(unit, 4000, [size](const std::string &d) { return Aztec(d, size); }, data);
}

std::string AllBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
    return s;
}

// The check codeword count of a grid, from its mode message.
int CheckCodewords(const testkit::Symbol &s) {
    std::vector<uint8_t> m = s.modules;
    vexo::AZT_BITSTREAM grid{m.data(), static_cast<i32>(m.size()), s.rows};
    vexo::AZT_MODE mode{};
    if (vexo::Azt_ReadModeMessage(&grid, &mode) == 0) return -1;
    return vexo::kAztSizeTable[vexo::Azt_SizeRow(mode.layers, mode.full)].codewords - mode.dataCodewords;
}

class AztSymbols : public AztTest {};

TEST_F(AztSymbols, EverySizeWithFewAndManyCheckCodewords) {
    // Mixed case with Mixed and Punct characters, digit runs, every byte (binary shift runs
    // above 31 bytes), spread over the 36 sizes (libzint's option_2: 1-4 compact, 5-36
    // full-range 1-32 layers).
    const std::string units[] = {
        "Ab. Cd, Ef: gH\r\nij@K~l|#1;x ",
        "0123456789876543210",
        AllBytes(),
        "The Quick Brown Fox. 1234, jumps: OVER\r\n",
    };
    for (int size = 1; size <= 36; ++size) {
        const std::string &unit = units[size % 4];
        const std::string shortData = unit.substr(0, 3);
        const testkit::Symbol few = Aztec(shortData, size);
        std::string longData;
        const testkit::Symbol many = Fill(unit, size, &longData);
        ASSERT_TRUE(few.ok && many.ok) << "size " << size << " " << few.error << many.error;
        const int rowIndex = size <= 4 ? vexo::kAztCompactRow + size - 1 : size - 5;
        EXPECT_EQ(few.rows, vexo::kAztSizeTable[rowIndex].size) << "size " << size;
        EXPECT_EQ(many.rows, few.rows);
        EXPECT_GT(CheckCodewords(few), CheckCodewords(many)) << "size " << size;
        const std::pair<const testkit::Symbol *, const std::string *> both[] = {{&few, &shortData}, {&many, &longData}};
        for (const auto &[s, data] : both) {
            const azttest::Decoded d = azttest::DecodeGrid(s->modules, s->rows);
            EXPECT_EQ(d.status, 0) << "size " << size << " length " << data->size();
            EXPECT_EQ(d.text, *data) << "size " << size << " length " << data->size();
            EXPECT_EQ(d.aim, '0');
            EXPECT_EQ(vexo::g_arena.count, 0);
        }
    }
}

TEST_F(AztSymbols, ErrorCorrectionLevels) {
    const std::string payloads[] = {"Aztec Code 2D, level test: 0123456789", Repeat(AllBytes(), 300),
                                    Repeat("9876543210", 400)};
    for (const std::string &data : payloads) {
        int lastRows = 0;
        for (int ecc = 1; ecc <= 4; ++ecc) {
            const testkit::Symbol s = Aztec(data, 0, ecc);
            ASSERT_TRUE(s.ok) << s.error;
            EXPECT_GE(s.rows, lastRows) << "ecc " << ecc;
            lastRows = s.rows;
            const azttest::Decoded d = azttest::DecodeGrid(s.modules, s.rows);
            EXPECT_EQ(d.status, 0) << "ecc " << ecc << " rows " << s.rows;
            EXPECT_EQ(d.text, data) << "ecc " << ecc;
        }
    }
}

TEST_F(AztSymbols, EciDesignators) {
    struct {
        int eci;
        std::string data;
        std::string expected;
    } const cases[] = {
        {3, "Caf\xE9 au lait", "\\000003Caf\xE9 au lait"},
        {26, "Gr\xC3\xBC\xC3\x9F" "e 42", "\\000026Gr\xC3\xBC\xC3\x9F" "e 42"},
        {899, std::string("\x00\x01\xFE\xFF", 4) + "bin", std::string("\\000899\x00\x01\xFE\xFF", 11) + "bin"},
    };
    for (const auto &c : cases) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_AZTEC;
        in.data = c.data;
        in.eci = c.eci;
        const testkit::Symbol s = testkit::Encode(in);
        ASSERT_TRUE(s.ok) << s.error;
        const azttest::Decoded d = azttest::DecodeGrid(s.modules, s.rows);
        EXPECT_EQ(d.status, 0) << c.eci;
        EXPECT_EQ(d.text, c.expected) << c.eci;
        EXPECT_EQ(d.aim, '3') << c.eci;
        EXPECT_EQ(vexo::g_aztState.append.eciSeen, 1);
    }
}

TEST_F(AztSymbols, Gs1FieldsSeparatedByGroupSeparators) {
    const testkit::Symbol s = Aztec("[01]09501101530003[10]ABC123[21]XYZ99", 0, -1, GS1_MODE);
    ASSERT_TRUE(s.ok) << s.error;
    const azttest::Decoded d = azttest::DecodeGrid(s.modules, s.rows);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.text, "0109501101530003" "10ABC123\x1D" "21XYZ99");
    EXPECT_EQ(d.aim, '1');
    EXPECT_EQ(vexo::g_aztState.append.fnc1State, 1);
}

TEST_F(AztSymbols, StructuredAppendHeaderStrippedAndStateFilled) {
    struct {
        int index, count;
        std::string id;
        int eci;
        char aim;
    } const cases[] = {
        {2, 3, "", 0, '6'},
        {1, 4, "MSGID42", 0, '6'},
        {5, 5, "X", 0, '6'},
        {1, 2, "", 3, '9'},
        {3, 26, "LOT-7", 3, '9'},
    };
    for (const auto &c : cases) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_AZTEC;
        in.data = "Part of a set, 123";
        in.structAppIndex = c.index;
        in.structAppCount = c.count;
        in.structAppId = c.id;
        in.eci = c.eci;
        const testkit::Symbol s = testkit::Encode(in);
        ASSERT_TRUE(s.ok) << s.error;
        const azttest::Decoded d = azttest::DecodeGrid(s.modules, s.rows);
        const std::string name = c.id + " " + std::to_string(c.index) + "/" + std::to_string(c.count);
        EXPECT_EQ(d.status, 0) << name;
        EXPECT_EQ(d.text, (c.eci != 0 ? std::string("\\000003") : std::string()) + in.data) << name;
        EXPECT_EQ(d.aim, c.aim) << name;
        const vexo::AZT_APPEND_STATE &a = vexo::g_aztState.append;
        EXPECT_EQ(a.present, 1) << name;
        EXPECT_EQ(a.position, 'A' + c.index - 1) << name;
        EXPECT_EQ(a.total, 'A' + c.count - 1) << name;
        EXPECT_EQ(std::string(a.messageId), c.id) << name;
    }
}

// ---------------------------------------------------------------------------------------
// Damage between the stages

struct Staged {
    std::vector<uint8_t> buffer;
    std::vector<i32> words;
    vexo::AZT_BITSTREAM grid{};
    vexo::AZT_MODE mode{};
};

// Grid extracted and packed, codewords ready for damage.
bool Pack(const testkit::Symbol &s, Staged *st) {
    st->buffer.assign(vexo::kAztGridBytes, 0);
    std::copy(s.modules.begin(), s.modules.end(), st->buffer.begin());
    st->words.assign(vexo::kAztMaxCodewords, 0);
    st->grid = vexo::AZT_BITSTREAM{st->buffer.data(), static_cast<i32>(s.modules.size()), s.rows};
    st->mode = vexo::AZT_MODE{};
    st->mode.codewords = st->words.data();
    return vexo::Azt_ExtractLayerBits(&st->grid, &st->mode) == 1 && vexo::Azt_PackCodewords(&st->grid, &st->mode) == 1;
}

std::string Finish(Staged *st, int *status) {
    *status = vexo::Azt_CorrectCodewords(&st->mode);
    if (*status != 0) return "";
    vexo::Azt_UnstuffBits(&st->mode, &st->grid);
    std::vector<uint8_t> text(vexo::kAztMaxTextBytes);
    vexo::AZT_TEXT_OUT out{text.data(), 0};
    *status = vexo::Azt_DecodeText(&st->grid, &out) == 1 ? 0 : -1;
    return std::string(reinterpret_cast<const char *>(text.data()), static_cast<size_t>(out.length));
}

// Replaces n distinct codewords by other values of the field.
void Damage(Staged *st, int n, std::mt19937 &rng) {
    std::vector<int> idx(static_cast<size_t>(st->mode.totalCodewords));
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<int>(i);
    std::shuffle(idx.begin(), idx.end(), rng);
    for (int i = 0; i < n; ++i) {
        const int flip = 1 + static_cast<int>(rng() % static_cast<uint32_t>(st->mode.fieldSize - 1));
        st->words[static_cast<size_t>(idx[static_cast<size_t>(i)])] ^= flip;
    }
}

TEST_F(AztSymbols, CodewordErrorsUpToTheLimitCorrectOneMoreFails) {
    // One symbol of each codeword size in both kinds, with many and with few check words.
    struct {
        int size;
        std::string data;
    } const cases[] = {
        {1, "AB"}, {1, "HELLO 1"}, {2, "Compact two"}, {4, "compact 8-bit"}, {5, "full 1"}, {6, "full, 2 layers 1234"},
        {12, "Eight layers"}, {13, "nine layers: 10-bit"}, {27, "twenty-three: 12-bit"}, {36, "thirty-two layers"},
        {36, Repeat("0123456789", 3500)}, {13, Repeat(AllBytes(), 250)},
    };
    for (const auto &c : cases) {
        const testkit::Symbol s = Aztec(c.data, c.size);
        ASSERT_TRUE(s.ok) << c.size << " " << s.error;
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            std::mt19937 rng(seed * 7919 + static_cast<uint32_t>(c.size));
            Staged st;
            ASSERT_TRUE(Pack(s, &st)) << c.size;
            const int t = (st.mode.checkCodewords - 1) / 2;
            Damage(&st, t, rng);
            int status = 0;
            const std::string text = Finish(&st, &status);
            EXPECT_EQ(status, 0) << "size " << c.size << " errors " << t << " seed " << seed;
            EXPECT_EQ(text, c.data) << "size " << c.size << " seed " << seed;

            ASSERT_TRUE(Pack(s, &st));
            Damage(&st, t + 1, rng);
            Finish(&st, &status);
            EXPECT_EQ(status, vexo::kAztGridCorrectionFailed) << "size " << c.size << " errors " << t + 1 << " seed " << seed;
            EXPECT_EQ(vexo::g_arena.count, 0);
        }
    }
}

// Flips one bit in each of the given 4-bit words of the grid's mode message.
std::vector<uint8_t> DamageModeWords(const testkit::Symbol &s, bool full, std::initializer_list<int> words) {
    std::vector<uint8_t> m = s.modules;
    for (int w : words) {
        int r = 0, c = 0;
        azttest::ModeBitPosition(s.rows, full, 4 * w + 1, &r, &c);
        m[static_cast<size_t>(r * s.rows + c)] ^= 1;
    }
    return m;
}

TEST_F(AztSymbols, ModeMessageTwoWordsCorrectedThreeFail) {
    // Compact 1-4 layers, and full-range 1-3 layers (sizes 19-27, whose all-light ring at
    // distance 5 reads as a valid 1-layer compact message) and beyond.
    for (const int size : {1, 2, 3, 4, 5, 6, 7, 8, 13, 36}) {
        const std::string data = "Mode " + std::to_string(size);
        const testkit::Symbol s = Aztec(data, size);
        ASSERT_TRUE(s.ok) << s.error;
        const bool full = size > 4;
        const int words = full ? 10 : 7;
        for (int first = 0; first + 2 < words; first += 3) {
            const azttest::Decoded two = azttest::DecodeGrid(DamageModeWords(s, full, {first, first + 2}), s.rows);
            EXPECT_EQ(two.status, 0) << "size " << size << " words " << first;
            EXPECT_EQ(two.text, data) << "size " << size;
            const azttest::Decoded three =
                azttest::DecodeGrid(DamageModeWords(s, full, {first, first + 1, first + 2}), s.rows);
            EXPECT_EQ(three.status, vexo::kAztGridModeFailed) << "size " << size << " words " << first;
        }
        EXPECT_EQ(vexo::g_arena.count, 0);
    }
}

TEST_F(AztSymbols, ModeMessageLeavingNoCheckCodewordGivesMinus3) {
    for (const int size : {1, 4, 5, 13}) {
        const testkit::Symbol s = Aztec("NO CHECK", size);
        ASSERT_TRUE(s.ok) << s.error;
        const bool full = size > 4;
        const int layers = full ? size - 4 : size;
        const int total = vexo::kAztSizeTable[vexo::Azt_SizeRow(layers, full ? 1 : 0)].codewords;
        for (const int data : {total, total + 1}) {
            if (!full && data > 64) continue;
            std::vector<uint8_t> m = s.modules;
            azttest::PlaceModeMessage(m, s.rows, full, azttest::ModeMessage(full, layers, data));
            EXPECT_EQ(azttest::DecodeGrid(m, s.rows).status, vexo::kAztGridCodewordsUnusable) << size << " " << data;
        }
        std::vector<uint8_t> m = s.modules;
        azttest::PlaceModeMessage(m, s.rows, full, azttest::ModeMessage(full, layers, total - 1));
        EXPECT_NE(azttest::DecodeGrid(m, s.rows).status, vexo::kAztGridCodewordsUnusable) << size;
    }
}

TEST_F(AztSymbols, CompactGridWhoseRingAtSevenReadsAsFullRangeDecodesThroughTheCompactReading) {
    const testkit::Symbol s = Aztec("SHORT TEXT", 4);
    ASSERT_TRUE(s.ok) << s.error;
    ASSERT_EQ(s.rows, 27);
    EXPECT_GT(CheckCodewords(s), 60);
    std::vector<uint8_t> m = s.modules;
    // A valid full-range message of 10 layers (57 x 57) over the ring at distance 7, which
    // lies in the compact symbol's first data layer.
    azttest::PlaceModeMessage(m, 27, true, azttest::ModeMessage(true, 10, 100));
    ASSERT_NE(m, s.modules);
    // The rewritten modules touch only codewords of the first layer, within correction.
    std::vector<int> ring7;
    for (int i = 0; i < 40; ++i) {
        int r = 0, c = 0;
        azttest::ModeBitPosition(27, true, i, &r, &c);
        ring7.push_back(r * 27 + c);
    }
    const std::vector<int> touched = azttest::CodewordsAt(azttest::StreamPositions(27, false, 4), 8, ring7);
    EXPECT_LE(touched.size(), 13u);
    for (int j : touched) EXPECT_GE(j, 76 - 13) << "codeword " << j;
    {
        std::vector<uint8_t> ring(m);
        uint8_t bits[40];
        for (int i = 0; i < 40; ++i) {
            int r = 0, c = 0;
            azttest::ModeBitPosition(27, true, i, &r, &c);
            bits[i] = ring[static_cast<size_t>(r * 27 + c)];
        }
        EXPECT_EQ(vexo::Azt_SymbolSizeFromModeMessage(bits, 40, 1), 57);
    }
    vexo::AZT_BITSTREAM grid{m.data(), 27 * 27, 27};
    vexo::AZT_MODE mode{};
    ASSERT_EQ(vexo::Azt_ReadModeMessage(&grid, &mode), 1);
    EXPECT_EQ(mode.full, 0);
    EXPECT_EQ(mode.layers, 4);
    const azttest::Decoded d = azttest::DecodeGrid(m, 27);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.text, "SHORT TEXT");
    EXPECT_EQ(vexo::g_arena.count, 0);
}

}  // namespace
