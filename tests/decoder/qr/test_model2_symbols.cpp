// Module matrices of real symbols made by libzint through the Model 2 decoder: every
// version with every level and mask (a fixed subset by default, the whole cross product in
// the slow suite), plain, transposed and with both format copies destroyed; and symbols
// carrying GS1 data, ECI, structured append and Kanji, with their AIM identifiers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "qr/qr_codewords.h"
#include "qr/qr_format.h"
#include "qr/qr_matrix.h"
#include "qr/qr_segments.h"
#include "qr/qr_tables.h"
#include "qr_test_util.h"
#include "support/symbol.h"

namespace {

using namespace vexo;

struct Matrix {
    int n = 0;
    std::vector<uint8_t> modules;
};

// The symbol's modules, or n = 0 with the reason in *error.
Matrix MakeSymbol(const testkit::SymbolInput &input, std::string *error) {
    const testkit::Symbol s = testkit::Encode(input);
    Matrix m;
    if (!s.ok || s.rows != s.cols) {
        *error = s.error;
        return m;
    }
    m.n = s.rows;
    m.modules = s.modules;
    return m;
}

testkit::SymbolInput QrInput(const std::string &data, int version, int level, int mask) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_QRCODE;
    in.data = data;
    in.inputMode = DATA_MODE;
    in.option1 = level + 1;  // 1 L, 2 M, 3 Q, 4 H
    in.option2 = version;
    in.option3 = (mask + 1) << 8;
    return in;
}

// Data bits of the first format copy: the level and mask libzint chose.
void ReadFormat(const Matrix &m, int *level, int *mask) {
    int masks[8], levels[8];
    QR_ReadFormatCandidates(m.modules.data(), m.n, masks, levels);
    *level = levels[0];
    *mask = masks[0];
}

void Transpose(Matrix *m) {
    std::vector<uint8_t> t(m->modules.size());
    for (int r = 0; r < m->n; ++r) {
        for (int c = 0; c < m->n; ++c) t[static_cast<size_t>(c * m->n + r)] = m->modules[static_cast<size_t>(r * m->n + c)];
    }
    m->modules = t;
}

// A 15-bit value which, written into both copies, leaves all eight readings rejected.
int RejectedFormatFill() {
    static int fill = -1;
    if (fill >= 0) return fill;
    for (int v = 0; v < (1 << 15); ++v) {
        std::vector<uint8_t> m(21 * 21, 0);
        const int first[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                                  {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
        for (int i = 0; i < 15; ++i) m[static_cast<size_t>(first[i][0] * 21 + first[i][1])] = static_cast<uint8_t>((v >> (14 - i)) & 1);
        for (int i = 0; i < 15; ++i) {
            const int r = i < 7 ? 20 - i : 8, c = i < 7 ? 8 : 6 + i;
            m[static_cast<size_t>(r * 21 + c)] = static_cast<uint8_t>((v >> (14 - i)) & 1);
        }
        int masks[8], levels[8];
        QR_ReadFormatCandidates(m.data(), 21, masks, levels);
        bool all = true;
        for (int k = 0; k < 8; ++k) all = all && masks[k] < 0;
        if (all) return fill = v;
    }
    return fill = 0;
}

// Overwrites both format copies so that no reading is accepted.
void DestroyFormat(Matrix *m) {
    const int v = RejectedFormatFill();
    const int n = m->n;
    const int first[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                              {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    for (int i = 0; i < 15; ++i) {
        const uint8_t bit = static_cast<uint8_t>((v >> (14 - i)) & 1);
        m->modules[static_cast<size_t>(first[i][0] * n + first[i][1])] = bit;
        const int r = i < 7 ? n - 1 - i : 8, c = i < 7 ? 8 : n - 15 + i;
        m->modules[static_cast<size_t>(r * n + c)] = bit;
    }
}

enum Variant { kPlain = 0, kTransposed = 1, kNoFormat = 2, kTransposedNoFormat = 3 };
const char *const kVariantNames[4] = {"plain", "transposed", "format destroyed", "transposed, format destroyed"};

struct Outcome {
    int rc = -1;
    int errorWord = 0;
    std::string text;
};

Outcome DecodeMatrix(Matrix m) {
    std::vector<uint8_t> map(m.modules.size());
    QR_BuildFunctionMap(map.data(), m.n);
    std::vector<uint8_t> out(kQrTextCapacity + 1);
    g_qrSymbol.kind = kQrKindModel2;
    Outcome o;
    o.rc = QR_DecodeModel2(m.modules.data(), map.data(), m.n, out.data(), kQrTextCapacity);
    o.errorWord = QR_GetErrorWord();
    if (o.rc == 0) o.text = qr_test::Text(out.data(), g_qrData.length);
    return o;
}

// Random bytes filling about 40% of the data codewords, so that a terminator follows.
std::string RandomData(int version, int level, std::mt19937 &rng) {
    QR_BLOCK_ROW r{};
    QR_GetBlockRow(version - 1, level, &r);
    const int data = r.count1 * r.data1 + r.count2 * r.data2;
    const int length = std::max(1, data * 2 / 5 - 3);
    std::string s;
    for (int i = 0; i < length; ++i) s.push_back(static_cast<char>(rng() & 0xFF));
    return s;
}

class QrModel2Symbols : public qr_test::QrTest {
protected:
    // Encodes and decodes one combination in all four variants. A destroyed format lets a
    // wrong combination pass its first-block trial now and then; the decode then ends with
    // error word 10, which counts in *documentedFailures instead of failing the test.
    void RunCombination(int version, int level, int mask, uint32_t seed, int *documentedFailures) {
        std::mt19937 rng(seed);
        const std::string data = RandomData(version, level, rng);
        std::string error;
        const Matrix m = MakeSymbol(QrInput(data, version, level, mask), &error);
        ASSERT_EQ(m.n, QR_DimensionOfVersion(version)) << "version " << version << " seed " << seed << ": " << error;
        int gotLevel = -1, gotMask = -1;
        ReadFormat(m, &gotLevel, &gotMask);
        ASSERT_EQ(gotLevel, level) << "version " << version;
        ASSERT_EQ(gotMask, mask) << "version " << version;
        for (int variant = kPlain; variant <= kTransposedNoFormat; ++variant) {
            Matrix v = m;
            if (variant == kNoFormat || variant == kTransposedNoFormat) DestroyFormat(&v);
            if (variant == kTransposed || variant == kTransposedNoFormat) Transpose(&v);
            const Outcome o = DecodeMatrix(v);
            const std::string where = "version " + std::to_string(version) + " level " + std::to_string(level) + " mask " +
                                      std::to_string(mask) + " " + kVariantNames[variant] + " seed " + std::to_string(seed);
            if (o.rc != 0 && variant >= kNoFormat && o.errorWord == kQrErrBlock) {
                ++*documentedFailures;
                continue;
            }
            ASSERT_EQ(o.rc, 0) << where << " error word " << o.errorWord;
            ASSERT_EQ(o.text, data) << where;
            EXPECT_EQ(qr_test::AimId(), "]Q1") << where;
        }
    }
};

// Every version once; levels and masks rotate so that each appears several times.
TEST_F(QrModel2Symbols, EveryVersionPlainTransposedAndWithoutFormat) {
    int documented = 0;
    for (int version = 1; version <= 40; ++version) {
        const int level = version % 4;
        const int mask = (version * 3) % 8;
        RunCombination(version, level, mask, 1000u + static_cast<uint32_t>(version), &documented);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(documented, 0);
}

// The full cross product: 40 versions x 4 levels x 8 masks, four variants each.
class QrModel2SymbolsSlowSweep : public QrModel2Symbols {};

TEST_F(QrModel2SymbolsSlowSweep, AllVersionsLevelsAndMasks) {
    int documented = 0;
    for (int version = 1; version <= 40; ++version) {
        for (int level = 0; level < 4; ++level) {
            for (int mask = 0; mask < 8; ++mask) {
                RunCombination(version, level, mask, static_cast<uint32_t>(version * 32 + level * 8 + mask), &documented);
                if (HasFatalFailure()) return;
            }
        }
    }
    std::printf("combinations ending with the documented error word 10: %d of 5120 decodes\n", documented);
    EXPECT_EQ(documented, 0);  // none with these seeds
}

// Levels that cut the codewords into the same blocks (all of version 6's levels but L, here
// four blocks of 43): a level-Q symbol is also a codeword of level M, whose trial comes first
// in the search. Decoded as M its check codewords would be read as data; the decode must
// take the symbol's own level.
TEST_F(QrModel2Symbols, SearchTakesTheStrongestLevelOfAShapeWithoutFormat) {
    struct Case {
        int version, level, mask;
    };
    const Case cases[] = {{6, 2, 2}, {6, 3, 5}, {1, 3, 0}, {5, 3, 7}, {12, 1, 4}};
    for (const Case &c : cases) {
        std::mt19937 rng(static_cast<uint32_t>(c.version * 8 + c.mask));
        QR_BLOCK_ROW r{};
        QR_GetBlockRow(c.version - 1, c.level, &r);
        // Nearly full, so that the text spans every block.
        std::string data;
        for (int i = 0; i < (r.count1 * r.data1 + r.count2 * r.data2) - 4; ++i) data.push_back(static_cast<char>(rng() & 0xFF));
        std::string error;
        Matrix m = MakeSymbol(QrInput(data, c.version, c.level, c.mask), &error);
        ASSERT_EQ(m.n, QR_DimensionOfVersion(c.version)) << error;
        DestroyFormat(&m);
        const Outcome o = DecodeMatrix(m);
        ASSERT_EQ(o.rc, 0) << "version " << c.version << " level " << c.level << " error word " << o.errorWord;
        EXPECT_EQ(o.text, data) << "version " << c.version << " level " << c.level;
    }
}

// A format candidate whose first block passes its trial while a later block is beyond repair
// ends the search with error word 10 (no other candidate is tried).
TEST_F(QrModel2Symbols, FailedDecodeAfterPassingTrialEndsTheSearch) {
    const int version = 5, level = 2, n = 37;  // 2 x (33,15) + 2 x (34,16)
    std::string error;
    Matrix m = MakeSymbol(QrInput("a later block is beyond repair", version, level, 3), &error);
    ASSERT_EQ(m.n, n) << error;
    std::vector<uint8_t> map(static_cast<size_t>(n * n));
    QR_BuildFunctionMap(map.data(), n);
    // Which codeword each data module feeds.
    std::vector<int> owner(static_cast<size_t>(n * n), -1);
    std::vector<uint8_t> unit(static_cast<size_t>(n * n), 0), cw(134);
    for (size_t i = 0; i < unit.size(); ++i) {
        if (map[i] != 0) continue;
        unit[i] = 1;
        QR_ReadCodewords(cw.data(), unit.data(), map.data(), n, 134);
        unit[i] = 0;
        for (int k = 0; k < 134; ++k) {
            if (cw[static_cast<size_t>(k)] != 0) owner[i] = k;
        }
    }
    // Block 1: data codewords t * 4 + 1 (t < 15), check codewords 62 + t * 4 + 1.
    for (size_t i = 0; i < owner.size(); ++i) {
        const int k = owner[i];
        if (k < 0) continue;
        const bool inBlock1 = (k < 60 && k % 4 == 1) || (k >= 62 && (k - 62) % 4 == 1);
        if (inBlock1) m.modules[i] ^= 1;
    }
    const Outcome o = DecodeMatrix(m);
    EXPECT_EQ(o.rc, -1);
    EXPECT_EQ(o.errorWord, kQrErrBlock);
}

// Known symbols with their texts and AIM identifiers.
TEST_F(QrModel2Symbols, SymbolConventionsAndAimIdentifiers) {
    struct Case {
        const char *name;
        int inputMode;
        std::string data;
        int eci;
        std::string text;
        const char *aim;
    };
    const Case cases[] = {
        {"numeric", DATA_MODE, "01234567", 0, "01234567", "]Q1"},
        {"gs1", GS1_MODE, "[01]09501101530003[10]AB12[21]XY", 0, "010950110153000310AB12\x1D" "21XY", "]Q3"},
        {"eci utf-8", UNICODE_MODE, "\xC3\x9C" "ber", 26, "\\000026\xC3\x9C" "ber", "]Q2"},
        {"kanji", UNICODE_MODE, "\xE6\xBC\xA2\xE5\xAD\x97", 0, "\x8A\xBF\x8E\x9A", "]Q1"},
    };
    for (const Case &c : cases) {
        SetUp();
        testkit::SymbolInput in;
        in.symbology = BARCODE_QRCODE;
        in.data = c.data;
        in.inputMode = c.inputMode;
        in.eci = c.eci;
        std::string error;
        const Matrix m = MakeSymbol(in, &error);
        ASSERT_GT(m.n, 0) << c.name << ": " << error;
        const Outcome o = DecodeMatrix(m);
        ASSERT_EQ(o.rc, 0) << c.name;
        EXPECT_EQ(o.text, c.text) << c.name;
        EXPECT_EQ(qr_test::AimId(), c.aim) << c.name;
    }
}

TEST_F(QrModel2Symbols, KanjiModeCarriesShiftJis) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_QRCODE;
    in.data = "\xE6\xBC\xA2\xE5\xAD\x97";  // two Kanji in UTF-8
    in.inputMode = UNICODE_MODE;
    in.option2 = 1;
    std::string error;
    Matrix m = MakeSymbol(in, &error);
    ASSERT_EQ(m.n, 21) << error;
    int level = -1, mask = -1;
    ReadFormat(m, &level, &mask);
    std::vector<uint8_t> map(m.modules.size());
    QR_BuildFunctionMap(map.data(), 21);
    QR_ApplyDataMask(m.modules.data(), map.data(), 21, mask);
    uint8_t cw[26];
    ASSERT_EQ(QR_ReadCodewords(cw, m.modules.data(), map.data(), 21, 26), 26);
    EXPECT_EQ(cw[0] >> 4, 8);  // Kanji mode indicator (version 1: a single block, not interleaved)
}

TEST_F(QrModel2Symbols, StructuredAppendHeader) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_QRCODE;
    in.data = "part two";
    in.structAppIndex = 2;
    in.structAppCount = 3;
    std::string error;
    const Matrix m = MakeSymbol(in, &error);
    ASSERT_GT(m.n, 0) << error;
    const Outcome o = DecodeMatrix(m);
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(o.text, "part two");
    EXPECT_EQ(sa.present, 1);
    EXPECT_EQ(sa.index, 1);
    EXPECT_EQ(sa.count, 3);
    EXPECT_GE(sa.parity, 0);
    EXPECT_LE(sa.parity, 255);
}

}  // namespace
