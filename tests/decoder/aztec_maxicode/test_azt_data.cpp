// The Aztec data layer on built inputs: the text decoder's edge cases as one table, the
// append state, the stream limit, unstuffing, the layer geometry of every layer count, the
// mode message decoder and the grid checks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "aztec_maxicode/test_hooks_azt.h"
#include "azt_fixture.h"

namespace {

using azttest::AztTest;
using azttest::BitWriter;
using vexo::i32;

class AztText : public AztTest {};

// Upper-mode codes of a string of capitals and spaces.
BitWriter &Upper(BitWriter &w, const std::string &s) {
    for (char ch : s) w.Put(ch == ' ' ? 1 : ch - 'A' + 2, 5);
    return w;
}

BitWriter Stream() { return BitWriter{}; }

struct TextCase {
    const char *name;
    std::vector<uint8_t> bits;
    int status;
    std::string text;
    char aim;
};

std::vector<TextCase> TextCases() {
    std::vector<TextCase> v;
    const auto add = [&v](const char *name, const BitWriter &w, int status, const std::string &text, char aim) {
        v.push_back({name, w.bits, status, text, aim});
    };
    BitWriter w;
    add("empty stream", Stream(), 1, "", '0');
    add("P/S 2: CR LF", Stream().Codes({0, 2}), 1, "\r\n", '0');
    add("P/S 3, 4, 5: the pairs", Stream().Codes({0, 3, 0, 4, 0, 5, 0, 1}), 1, ". , : \r", '0');
    add("FLG(3) 0 2 6", Stream().Codes({0, 0}).Put(3, 3).Codes({2, 4, 8}, 4), 1, "\\000026", '3');
    add("FLG(6) 8 9 9 9 9 9", Stream().Codes({0, 0}).Put(6, 3).Codes({10, 11, 11, 11, 11, 11}, 4), 1, "\\899999", '3');
    add("FLG(0) first", Stream().Codes({0, 0}).Put(0, 3).Codes({3}), 1, "B", '1');
    add("FLG(0) after 'A'", Stream().Codes({2, 0, 0}).Put(0, 3), 1, "A", '2');
    add("FLG(0) after two digits", Stream().Codes({30}).Codes({3, 4, 0}, 4).Codes({0}).Put(0, 3), 1, "12", '2');
    add("FLG(0) after three letters: GS", Upper(w = {}, "ABC").Codes({0, 0}).Put(0, 3).Codes({2}), 1, "ABC\x1D" "A", '0');
    add("P/S 31 starts FLG(n) too", Stream().Codes({0, 31}).Put(0, 3), 1, "", '1');
    add("FLG(7) fails", Stream().Codes({0, 0}).Put(7, 3), 0, "", 0);
    add("ECI digit 12 fails", Stream().Codes({0, 0}).Put(1, 3).Codes({12}, 4), 0, "", 0);
    add("ECI digit 0 fails", Stream().Codes({0, 0}).Put(1, 3).Codes({0}, 4), 0, "", 0);
    add("ECI digit 1 fails", Stream().Codes({0, 0}).Put(2, 3).Codes({2, 1}, 4), 0, "", 0);
    add("stream ends inside ECI digits", Stream().Codes({0, 0}).Put(2, 3).Codes({3}, 4), 1, "\\00001", '3');
    add("stream ends inside FLG count", Stream().Codes({2, 0, 0}).Put(0, 2), 1, "A", '0');
    w = {};
    w.Codes({31, 0}).Put(0, 11);
    for (int i = 0; i < 31; ++i) w.Put('x', 8);
    add("B/S 0 and 11-bit 0: 31 bytes", w.Codes({2}), 1, std::string(31, 'x') + "A", '0');
    add("B/S 3 bytes then Upper", Stream().Codes({31, 3}).Codes({0, 0x41, 0xFF}, 8).Codes({3}), 1, std::string("\0A\xFF" "B", 4), '0');
    add("B/S cut short keeps whole bytes", Stream().Codes({31, 3}).Codes({0x41, 0x42}, 8).Put(1, 3), 1, "AB", '0');
    add("Lower, U/S letters, U/S 1 is a space", Stream().Codes({28, 2, 28, 3, 28, 1, 27}), 1, "aB z", '0');
    add("Lower U/S 0 and 28: 63 + v", Stream().Codes({28, 28, 0, 28, 28}), 1, "?[", '0');
    add("Mixed table ends", Stream().Codes({29, 1, 2, 14, 15, 19, 20, 21, 27, 29, 2}), 1,
        std::string(" \x01\x0D\x1B\x1F@\\\x7F" "A"), '0');
    add("Mixed P/L, Punct latch, U/L", Stream().Codes({29, 30, 1, 6, 20, 21, 26, 27, 30, 31, 2}), 1, "\r!/:?[}A", '0');
    add("Punct latch FLG(1) 9", Stream().Codes({29, 30, 0}).Put(1, 3).Codes({11}, 4), 1, "\\000009", '3');
    add("Digit table, U/S space and letter", Stream().Codes({30}).Codes({1, 2, 11, 12, 13, 15}, 4).Codes({1})
                                                 .Codes({15}, 4).Codes({27}).Codes({14}, 4).Codes({2}),
        1, " 09,. ZA", '0');
    add("Digit U/S 0 latches Upper", Stream().Codes({30}).Codes({15}, 4).Codes({0, 3}), 1, "B", '0');
    // As the corpus's dlusbs sample: "3" U/S B/S 1 'h', then Upper (the shift ends in Upper).
    add("Digit U/S B/S ends in Upper", Stream().Codes({30}).Codes({5, 15}, 4).Codes({31, 1}).Codes({'h'}, 8).Codes({10}),
        1, "3hI", '0');
    add("Digit P/S", Stream().Codes({30}).Codes({0}, 4).Codes({2}).Codes({3}, 4), 1, "\r\n1", '0');
    add("a short tail is ignored", Stream().Codes({2}).Put(5, 3), 1, "A", '0');
    add("mark needs ten bits", Stream().Codes({29}).Put(7, 4), 1, "", '0');
    add("append header without ID", Upper(Stream().Codes({29, 29}), "ACXY"), 1, "XY", '6');
    add("append header total before position fails", Upper(Stream().Codes({29, 29}), "DBXY"), 0, "", 0);
    add("append header with one letter fails", Upper(Stream().Codes({29, 29}), "A"), 0, "", 0);
    add("append header ID without its closing space fails", Upper(Stream().Codes({29, 29}), " XYBD"), 0, "", 0);
    add("append header lowercase letter fails", Upper(Stream().Codes({29, 29}), "A").Codes({28, 3}), 0, "", 0);
    add("append header with ECI", Upper(Stream().Codes({29, 29}), "AB").Codes({0, 0}).Put(1, 3).Codes({5}, 4), 1,
        "\\000003", '9');
    add("append header with FNC1 after it", Upper(Stream().Codes({29, 29}), "AB").Codes({0, 0}).Put(0, 3), 1,
        "\x1D", '6');
    return v;
}

TEST_F(AztText, EdgeCasesAsATable) {
    for (const TextCase &c : TextCases()) {
        vexo::Test_ResetAztStatics();
        const azttest::Decoded d = azttest::DecodeText(c.bits);
        EXPECT_EQ(d.status, c.status) << c.name;
        if (c.status == 1) {
            EXPECT_EQ(d.text, c.text) << c.name;
            EXPECT_EQ(d.aim, c.aim) << c.name;
        }
    }
}

TEST_F(AztText, BinaryShiftLengths) {
    // Length codes 1..31 directly, 0 with 11 bits for 31..2078.
    for (const int n : {1, 31, 32, 100, 2078}) {
        BitWriter w;
        if (n < 31) {
            w.Codes({31, n});
        } else {
            w.Codes({31, 0}).Put(n - 31, 11);
        }
        std::string expected;
        for (int i = 0; i < n; ++i) {
            w.Put(i & 0xFF, 8);
            expected.push_back(static_cast<char>(i & 0xFF));
        }
        w.Codes({2});
        const azttest::Decoded d = azttest::DecodeText(w.bits);
        EXPECT_EQ(d.status, 1) << n;
        EXPECT_EQ(d.text, expected + "A") << n;
    }
}

TEST_F(AztText, AppendHeaderFillsTheStateAndIsStripped) {
    BitWriter w;
    Upper(w.Codes({29, 29}), " XY BDHELLO");
    const azttest::Decoded d = azttest::DecodeText(w.bits);
    ASSERT_EQ(d.status, 1);
    EXPECT_EQ(d.text, "HELLO");
    EXPECT_EQ(d.aim, '6');
    const vexo::AZT_APPEND_STATE &a = vexo::g_aztState.append;
    EXPECT_EQ(a.present, 1);
    EXPECT_STREQ(a.messageId, "XY");
    EXPECT_EQ(a.position, 'B');
    EXPECT_EQ(a.total, 'D');
    EXPECT_EQ(a.idCut, 0);

    // An empty ID: the second character is the closing space.
    w = {};
    Upper(w.Codes({29, 29}), "  AAZ");
    EXPECT_EQ(azttest::DecodeText(w.bits).text, "Z");
    EXPECT_STREQ(a.messageId, "");

    // The next symbol describes only itself.
    w = {};
    Upper(w, "PLAIN");
    const azttest::Decoded plain = azttest::DecodeText(w.bits);
    EXPECT_EQ(plain.text, "PLAIN");
    EXPECT_EQ(plain.aim, '0');
    EXPECT_EQ(a.present, 0);
    EXPECT_STREQ(a.messageId, "");
}

TEST_F(AztText, LongMessageIdIsCutAndTheHeaderStrippedWhole) {
    for (const int idLength : {255, 256, 400}) {
        BitWriter w;
        Upper(w.Codes({29, 29}), " " + std::string(static_cast<size_t>(idLength), 'Q') + " ABTAIL");
        const azttest::Decoded d = azttest::DecodeText(w.bits);
        ASSERT_EQ(d.status, 1) << idLength;
        EXPECT_EQ(d.text, "TAIL") << idLength;
        const vexo::AZT_APPEND_STATE &a = vexo::g_aztState.append;
        EXPECT_EQ(std::string(a.messageId), std::string(static_cast<size_t>(idLength < 255 ? idLength : 255), 'Q'));
        EXPECT_EQ(a.idCut, idLength > 255 ? 1 : 0) << idLength;
    }
}

TEST_F(AztText, AModifierDependsOnlyOnItsOwnSymbol) {
    BitWriter eci;
    eci.Codes({0, 0}).Put(1, 3).Codes({5}, 4);
    EXPECT_EQ(azttest::DecodeText(eci.bits).aim, '3');
    BitWriter plain;
    Upper(plain, "AB");
    EXPECT_EQ(azttest::DecodeText(plain.bits).aim, '0');
    BitWriter fnc1;
    fnc1.Codes({0, 0}).Put(0, 3);
    EXPECT_EQ(azttest::DecodeText(fnc1.bits).aim, '1');
    EXPECT_EQ(azttest::DecodeText(plain.bits).aim, '0');
}

TEST_F(AztText, StreamLimitIsTheLargestSymbolsBits) {
    // The densest form: FLG(1) in Punct latch, 12 bits for 7 bytes.
    BitWriter w;
    w.Codes({29, 30});
    while (w.bits.size() + 12 <= static_cast<size_t>(vexo::kAztMaxStreamBits)) w.Codes({0}).Put(1, 3).Put(2, 4);
    while (w.bits.size() < static_cast<size_t>(vexo::kAztMaxStreamBits)) w.Put(1, 1);
    const azttest::Decoded d = azttest::DecodeText(w.bits);
    EXPECT_EQ(d.status, 1);
    EXPECT_LE(d.text.size(), static_cast<size_t>(vexo::kAztMaxStreamBits / 12 * 7 + 7));
    EXPECT_LT(d.text.size(), static_cast<size_t>(vexo::kAztMaxTextBytes));
    w.Put(0, 1);
    EXPECT_EQ(azttest::DecodeText(w.bits).status, 0);
}

TEST_F(AztText, PunctuationCharAndNextMode) {
    EXPECT_EQ(vexo::Azt_PunctuationChar(0), 0);
    EXPECT_EQ(vexo::Azt_PunctuationChar(31), 0);
    EXPECT_EQ(vexo::Azt_PunctuationChar(1), '\r');
    EXPECT_EQ(vexo::Azt_PunctuationChar(2), 14);
    EXPECT_EQ(vexo::Azt_PunctuationChar(5), 17);
    EXPECT_EQ(vexo::Azt_PunctuationChar(6), '!');
    EXPECT_EQ(vexo::Azt_PunctuationChar(20), '/');
    EXPECT_EQ(vexo::Azt_PunctuationChar(21), ':');
    EXPECT_EQ(vexo::Azt_PunctuationChar(26), '?');
    EXPECT_EQ(vexo::Azt_PunctuationChar(30), '}');
    EXPECT_EQ(vexo::Azt_PunctuationChar(32), 0);
    struct {
        int mode, code, next;
    } const cases[] = {
        {vexo::kAztUpper, 28, vexo::kAztLower}, {vexo::kAztUpper, 29, vexo::kAztMixed},
        {vexo::kAztUpper, 30, vexo::kAztDigit}, {vexo::kAztUpper, 31, vexo::kAztBinary},
        {vexo::kAztLower, 28, vexo::kAztUpper}, {vexo::kAztLower, 29, vexo::kAztMixed},
        {vexo::kAztMixed, 28, vexo::kAztLower}, {vexo::kAztMixed, 29, vexo::kAztUpper},
        {vexo::kAztMixed, 30, vexo::kAztPunct}, {vexo::kAztPunct, 31, vexo::kAztUpper},
        {vexo::kAztDigit, 14, vexo::kAztUpper}, {vexo::kAztUpper, 5, vexo::kAztUpper},
    };
    for (const auto &c : cases) EXPECT_EQ(vexo::Azt_NextMode(c.mode, c.code), c.next) << c.mode << " " << c.code;
}

TEST_F(AztText, UnstuffingDropsTheLastBitOfAllButLastEqualCodewords) {
    i32 words[] = {1, 62, 5, 0, 63, 2};
    vexo::AZT_MODE mode{};
    mode.codewordBits = 6;
    mode.fieldSize = 64;
    mode.dataCodewords = 5;
    mode.totalCodewords = 6;
    mode.codewords = words;
    std::vector<uint8_t> buffer(36, 9);
    vexo::AZT_BITSTREAM bits{buffer.data(), 36, 0};
    vexo::Azt_UnstuffBits(&mode, &bits);
    const std::string expected = "00000" "11111" "000101" "000000" "111111";
    std::string got;
    for (int i = 0; i < bits.count; ++i) got.push_back(static_cast<char>('0' + buffer[static_cast<size_t>(i)]));
    EXPECT_EQ(got, expected);
}

// ---------------------------------------------------------------------------------------
// Layer geometry

class AztLayers : public AztTest {};

int Chebyshev(int r, int c, int centre) { return std::max(std::abs(r - centre), std::abs(c - centre)); }

TEST_F(AztLayers, RingsAndBitsOfEveryLayerCount) {
    // Ring r of each layer: its modules lie at r + 1 and r + 2 (r + 3 beyond the grid line).
    const std::vector<int> fullRings = {7,  9,  11, 13, 16, 18, 20, 22, 24, 26, 28, 30, 33, 35, 37, 39,
                                        41, 43, 45, 48, 50, 52, 54, 56, 58, 60, 62, 65, 67, 69, 71, 73};
    const std::vector<int> compactRings = {5, 7, 9, 11};
    for (const int full : {1, 0}) {
        const std::vector<int> &rings = full ? fullRings : compactRings;
        const int size = vexo::kAztSizeTable[vexo::Azt_SizeRow(static_cast<int>(rings.size()), full)].size;
        const int c = (size - 1) / 2;
        std::vector<uint8_t> buffer(vexo::kAztGridBytes);
        vexo::AZT_BITSTREAM bits{buffer.data(), 0, vexo::kAztGridBytes};
        int ring = rings[0];
        for (size_t layer = 0; layer < rings.size(); ++layer) {
            const int r = rings[layer];
            ASSERT_EQ(ring, r) << "full " << full << " layer " << layer + 1;
            const int inner = r + 1, outer = r + ((full && (r == 30 || r == 62)) ? 3 : 2);
            // Marks every module of the two rings that is off the reference grid lines; the
            // complement grid checks that nothing else is read.
            for (const int mark : {1, 0}) {
                std::vector<uint8_t> m(static_cast<size_t>(size * size), static_cast<uint8_t>(1 - mark));
                for (int y = 0; y < size; ++y) {
                    for (int x = 0; x < size; ++x) {
                        const int d = Chebyshev(y, x, c);
                        const bool onLine = full && ((y - c) % 16 == 0 || (x - c) % 16 == 0);
                        if ((d == inner || d == outer) && !onLine) m[static_cast<size_t>(y * size + x)] = static_cast<uint8_t>(mark);
                    }
                }
                const vexo::AZT_BITSTREAM grid{m.data(), size * size, size};
                bits.count = 0;
                int ringCopy = r;
                ASSERT_EQ(vexo::Azt_ReadLayer(c, &ringCopy, size, full, &grid, &bits), 1);
                int ones = 0;
                for (int i = 0; i < bits.count; ++i) ones += buffer[static_cast<size_t>(i)];
                EXPECT_EQ(ones, mark ? bits.count : 0) << "full " << full << " ring " << r;
                if (mark == 1) ring = ringCopy + 2;
            }
        }
        // Bits of every layer count against the standard's codewords: less than one codeword
        // left over.
        int ringR = rings[0];
        bits.count = 0;
        std::vector<uint8_t> m(static_cast<size_t>(size * size), 0);
        const vexo::AZT_BITSTREAM grid{m.data(), size * size, size};
        for (size_t layer = 1; layer <= rings.size(); ++layer) {
            ASSERT_EQ(vexo::Azt_ReadLayer(c, &ringR, size, full, &grid, &bits), 1);
            ringR += 2;
            const vexo::AZT_SIZE_ROW &row = vexo::kAztSizeTable[vexo::Azt_SizeRow(static_cast<int>(layer), full)];
            EXPECT_EQ(bits.count / row.codewordBits, row.codewords) << "full " << full << " layers " << layer;
        }
    }
}

TEST_F(AztLayers, NamedLayerBitCountsAndDistances) {
    struct {
        int full, layers, bits;
    } const counts[] = {{0, 1, 104}, {1, 1, 128}, {1, 32, 19968}};
    for (const auto &e : counts) {
        const int size = vexo::kAztSizeTable[vexo::Azt_SizeRow(e.layers, e.full)].size;
        const int c = (size - 1) / 2;
        std::vector<uint8_t> m(static_cast<size_t>(size * size), 0), buffer(vexo::kAztGridBytes);
        const vexo::AZT_BITSTREAM grid{m.data(), size * size, size};
        vexo::AZT_BITSTREAM bits{buffer.data(), 0, vexo::kAztGridBytes};
        int ring = e.full ? 7 : 5;
        for (int l = 0; l < e.layers; ++l) {
            ASSERT_EQ(vexo::Azt_ReadLayer(c, &ring, size, e.full, &grid, &bits), 1);
            ring += 2;
        }
        EXPECT_EQ(bits.count, e.bits) << e.full << " " << e.layers;
    }
    // Layer 5 of a 37 x 37 symbol at distances 17 and 18; layer 12 (ring 30) at 31 and 33:
    // one module at each such distance on the top side, column offset 1, is dark.
    struct {
        int size, ring, inner, outer;
    } const layers[] = {{37, 16, 17, 18}, {67, 30, 31, 33}};
    for (const auto &e : layers) {
        const int c = (e.size - 1) / 2;
        std::vector<uint8_t> m(static_cast<size_t>(e.size * e.size), 0), buffer(vexo::kAztGridBytes);
        m[static_cast<size_t>((c - e.inner) * e.size + c + 1)] = 1;
        m[static_cast<size_t>((c - e.outer) * e.size + c + 1)] = 1;
        const vexo::AZT_BITSTREAM grid{m.data(), e.size * e.size, e.size};
        vexo::AZT_BITSTREAM bits{buffer.data(), 0, vexo::kAztGridBytes};
        int ring = e.ring;
        ASSERT_EQ(vexo::Azt_ReadLayer(c, &ring, e.size, 1, &grid, &bits), 1);
        // On the top side the position t = 1 follows those of -r..0 off the grid lines.
        const int index = 2 * (e.ring - e.ring / 16);
        EXPECT_EQ(buffer[static_cast<size_t>(index)], 1) << e.size;
        EXPECT_EQ(buffer[static_cast<size_t>(index + 1)], 1) << e.size;
        int ones = 0;
        for (int i = 0; i < bits.count; ++i) ones += buffer[static_cast<size_t>(i)];
        EXPECT_EQ(ones, 2) << e.size;
    }
}

TEST_F(AztLayers, ReadLayerRefusesRingsOutsideTheGridOrTheCapacity) {
    std::vector<uint8_t> m(15 * 15, 1), buffer(200);
    const vexo::AZT_BITSTREAM grid{m.data(), 15 * 15, 15};
    vexo::AZT_BITSTREAM bits{buffer.data(), 0, 200};
    int ring = 7;  // rings 8 and 9 lie outside a 15 x 15 grid
    EXPECT_EQ(vexo::Azt_ReadLayer(7, &ring, 15, 0, &grid, &bits), 0);
    EXPECT_EQ(bits.count, 0);
    ring = 5;
    bits.size = 103;  // one bit short of the layer
    EXPECT_EQ(vexo::Azt_ReadLayer(7, &ring, 15, 0, &grid, &bits), 0);
    bits.size = 104;
    EXPECT_EQ(vexo::Azt_ReadLayer(7, &ring, 15, 0, &grid, &bits), 1);
    EXPECT_EQ(bits.count, 104);
}

// ---------------------------------------------------------------------------------------
// Mode message

class AztMode : public AztTest {};

TEST_F(AztMode, SymbolSizeFromModeMessage) {
    struct {
        bool full;
        int layers, data, asFull, size;
    } const cases[] = {
        {false, 1, 1, 0, 15}, {false, 4, 64, 0, 27}, {true, 1, 1, 1, 19}, {true, 5, 100, 1, 37},
        {true, 32, 2048, 1, 151}, {false, 2, 10, 1, 0}, {true, 3, 10, 0, 0},
    };
    for (const auto &c : cases) {
        const std::vector<uint8_t> bits = azttest::ModeMessage(c.full, c.layers, c.data);
        EXPECT_EQ(vexo::Azt_SymbolSizeFromModeMessage(bits.data(), static_cast<i32>(bits.size()), c.asFull), c.size)
            << c.full << " " << c.layers;
    }
    std::vector<uint8_t> bits = azttest::ModeMessage(true, 9, 300);
    EXPECT_EQ(vexo::Azt_SymbolSizeFromModeMessage(nullptr, 40, 1), 0);
    EXPECT_EQ(vexo::Azt_SymbolSizeFromModeMessage(bits.data(), 0, 1), 0);
    // Three damaged words are beyond the six check words.
    for (int w : {0, 3, 7}) bits[static_cast<size_t>(4 * w)] ^= 1;
    EXPECT_EQ(vexo::Azt_SymbolSizeFromModeMessage(bits.data(), 40, 1), 0);
    bits[0] ^= 1;  // two left: corrected
    EXPECT_EQ(vexo::Azt_SymbolSizeFromModeMessage(bits.data(), 40, 1), 53);
}

TEST_F(AztMode, CodewordFieldByLayerCount) {
    struct {
        int layers, bits, poly;
    } const cases[] = {{1, 6, 0x43}, {2, 6, 0x43}, {3, 8, 0x12D}, {8, 8, 0x12D}, {9, 10, 0x409},
                       {22, 10, 0x409}, {23, 12, 0x1069}, {32, 12, 0x1069}, {33, 0, 0}, {0, 0, 0}};
    for (const auto &c : cases) {
        vexo::AZT_MODE mode{};
        mode.layers = c.layers;
        EXPECT_EQ(vexo::Azt_SelectCodewordField(&mode), c.bits != 0 ? 1 : 0) << c.layers;
        if (c.bits == 0) continue;
        EXPECT_EQ(mode.codewordBits, c.bits);
        EXPECT_EQ(mode.polynomial, c.poly);
        EXPECT_EQ(mode.fieldSize, 1 << c.bits);
    }
}

TEST_F(AztMode, GridsOutsideTheTableGiveMinus4AndKeepTheArena) {
    std::vector<uint8_t> text(vexo::kAztMaxTextBytes);
    vexo::AZT_TEXT_OUT out{text.data(), 0};
    struct {
        int size, count;
    } const cases[] = {{17, 17 * 17}, {16, 16 * 16}, {153, 153 * 153}, {0, 0}, {19, 19 * 19 - 1}, {19, 19 * 19 + 1}, {-19, 361}};
    std::vector<uint8_t> m(vexo::kAztGridBytes, 0);
    for (const auto &c : cases) {
        vexo::AZT_BITSTREAM grid{m.data(), c.count, c.size};
        EXPECT_EQ(vexo::Azt_DecodeGrid(&grid, &out), vexo::kAztGridModeFailed) << c.size << " " << c.count;
        EXPECT_EQ(vexo::g_arena.count, 0);
    }
    vexo::AZT_BITSTREAM null{nullptr, 19 * 19, 19};
    EXPECT_EQ(vexo::Azt_DecodeGrid(&null, &out), vexo::kAztGridModeFailed);
    EXPECT_EQ(vexo::Azt_DecodeGrid(nullptr, &out), vexo::kAztGridModeFailed);
}

TEST_F(AztMode, ExtractionWithoutAWorkBlockLeavesTheGrid) {
    const int size = 15;
    std::vector<uint8_t> m(static_cast<size_t>(size * size), 0);
    azttest::PlaceModeMessage(m, size, false, azttest::ModeMessage(false, 1, 5));
    const std::vector<uint8_t> before = m;
    // Fill the arena to its last block.
    std::vector<vexo::u8 *> held;
    while (vexo::u8 *p = vexo::Mem_Alloc(1 << 20)) held.push_back(p);
    while (vexo::u8 *p = vexo::Mem_Alloc(4096)) held.push_back(p);
    const int count = vexo::g_arena.count;
    vexo::AZT_BITSTREAM grid{m.data(), size * size, size};
    vexo::AZT_MODE mode{};
    EXPECT_EQ(vexo::Azt_ExtractLayerBits(&grid, &mode), 0);
    EXPECT_EQ(m, before);
    EXPECT_EQ(vexo::g_arena.count, count);
    for (size_t i = held.size(); i-- > 0;) vexo::Mem_Free(held[i]);
    EXPECT_EQ(vexo::Azt_ExtractLayerBits(&grid, &mode), 1);
    EXPECT_EQ(grid.count, 104);
    EXPECT_EQ(mode.layers, 1);
    EXPECT_EQ(mode.dataCodewords, 5);
    EXPECT_EQ(vexo::g_arena.count, 0);
}

}  // namespace
