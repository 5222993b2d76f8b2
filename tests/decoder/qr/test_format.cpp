// Format and version information: BCH correction over the whole 15-bit space for the three
// format variants, error trapping of the version word, the split into level and mask, and
// the format and version readings of a module matrix.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "qr/qr_format.h"
#include "qr/qr_matrix.h"
#include "qr_test_util.h"

namespace {

using namespace vexo;

// Remainder of a binary polynomial division, by this file's own long division.
int Remainder(int value, int generator) {
    const int degree = std::bit_width(static_cast<unsigned>(generator)) - 1;
    for (int b = 30; b >= degree; --b) {
        if ((value >> b) & 1) value ^= generator << (b - degree);
    }
    return value;
}

// BCH (15,5) codeword of five data bits (generator x^10 + x^8 + x^5 + x^4 + x^2 + x + 1).
int FormatCodeword(int data) { return (data << 10) | Remainder(data << 10, 0x537); }
int VersionWord(int version) { return (version << 12) | Remainder(version << 12, 0x1F25); }

int Distance(int a, int b) { return std::popcount(static_cast<unsigned>(a ^ b)); }

using QrFormat = qr_test::QrTest;

// Every 15-bit word: corrected to the codeword within distance 3 when there is one (that
// codeword, mask applied again), rejected with 0 otherwise. Covers "up to three errors
// correct, four never give the original back" for every level and mask.
TEST_F(QrFormat, EveryWordCorrectsExactlyWithinDistanceThree) {
    struct Variant {
        const char *name;
        int mask;
        int (*correct)(int);
    };
    const Variant variants[] = {
        {"model 2", kQrFormatMaskModel2, [](int w) { return QR_CorrectFormatWord(w, 15); }},
        {"model 1", kQrFormatMaskModel1, [](int w) { return QR_CorrectModel1FormatWord(w, 15); }},
        {"micro", kMqrFormatMask, [](int w) { return MQR_CorrectFormatWord(w); }},
    };
    for (const Variant &v : variants) {
        int corrected = 0;
        for (int raw = 0; raw < (1 << 15); ++raw) {
            int expected = 0;
            for (int d = 0; d < 32; ++d) {
                const int word = FormatCodeword(d) ^ v.mask;
                if (Distance(word, raw) <= 3) expected = word;
            }
            const int got = v.correct(raw);
            ASSERT_EQ(got, expected) << v.name << " raw " << std::hex << raw;
            if (got != 0) ++corrected;
        }
        // 32 spheres of 1 + 15 + 105 + 455 words, none overlapping.
        EXPECT_EQ(corrected, 32 * 576) << v.name;
    }
}

TEST_F(QrFormat, FourErrorsNeverGiveTheOriginalBack) {
    for (int d = 0; d < 32; ++d) {
        const int word = FormatCodeword(d) ^ kQrFormatMaskModel2;
        for (int e = 0; e < (1 << 15); ++e) {
            if (std::popcount(static_cast<unsigned>(e)) != 4) continue;
            const int got = QR_CorrectFormatWord(word ^ e, 15);
            ASSERT_NE(got, word) << "data " << d << " errors " << std::hex << e;
            if (got != 0) {
                ASSERT_EQ(Distance(got, word ^ e), 3);
            }
        }
    }
}

TEST_F(QrFormat, VariantsAndBitCounts) {
    // Level M (00), mask 5.
    const int m5 = FormatCodeword(0x05) ^ kQrFormatMaskModel2;
    EXPECT_EQ(QR_CorrectFormatWord(m5, 15), m5);
    EXPECT_EQ(QR_CorrectFormatWord(m5 ^ 0x4001, 15), m5);
    // The masks differ in 10 places: a clean Model 2 word is no Model 1 word.
    EXPECT_EQ(QR_CorrectModel1FormatWord(m5, 15), 0);
    EXPECT_EQ(QR_CorrectModel1FormatWord(FormatCodeword(0x05) ^ kQrFormatMaskModel1, 14), 0);
    for (int bits : {0, 14, 16, 17, 19, -1}) EXPECT_EQ(QR_CorrectFormatWord(m5, bits), 0) << bits;
    EXPECT_EQ(QR_CorrectFormatWord(VersionWord(7), 18), VersionWord(7));
    // Only the low 15 bits are read.
    EXPECT_EQ(QR_CorrectFormatWord(m5 | 0x18000, 15), m5);
    // Raw 0 lies 5 places from the codeword 0: rejected, which the answer 0 also means.
    EXPECT_EQ(QR_CorrectFormatWord(0, 15), 0);
}

TEST_F(QrFormat, VersionWordsAndTheirExamples) {
    EXPECT_EQ(VersionWord(7), 0x07C94);
    EXPECT_EQ(VersionWord(40), 0x28C69);
    // The generator divides x^23 + 1: the code is cyclic over 23 places.
    EXPECT_EQ(QR_PolyDivide((1 << 23) | 1, 23, 0x1F25, 12, 0), 0);
    EXPECT_EQ(QR_DecodeVersionWord(0x07C94), 0x07C94);
    EXPECT_EQ(QR_DecodeVersionWord(0x07C94 ^ 1 ^ (1 << 8) ^ (1 << 17)), 0);
    EXPECT_EQ(QR_DecodeVersionWord(0x07C94 ^ 1 ^ (1 << 5) ^ (1 << 11)), 0x07C94);
    // A codeword of the length-23 code is returned as it is, bits above 17 ignored.
    const int high = 0x1F25 << 5;
    EXPECT_EQ(QR_DecodeVersionWord(high), high);
    EXPECT_EQ(QR_DecodeVersionWord(0x07C94 | (1 << 20)), 0x07C94);
}

// Up to three errors: corrected when they lie inside 12 consecutive places of the 23-place
// cycle, rejected otherwise; never another version.
TEST_F(QrFormat, VersionTrappingCorrectsPatternsInsideAWindow) {
    const auto inWindow = [](int e) {
        for (int start = 0; start < 23; ++start) {
            int window = 0;
            for (int k = 0; k < 12; ++k) window |= 1 << ((start + k) % 23);
            if ((e & ~window) == 0) return true;
        }
        return false;
    };
    int rejected = 0;
    for (int version = 7; version <= 40; ++version) {
        const int word = VersionWord(version);
        for (int a = -1; a < 18; ++a) {
            for (int b = a + 1; b < 18; ++b) {
                for (int c = b + 1; c < 18; ++c) {
                    if (a >= 0 && b < 0) continue;
                    const int e = (a >= 0 ? 1 << a : 0) | (b >= 0 ? 1 << b : 0) | (1 << c);
                    const int got = QR_DecodeVersionWord(word ^ e);
                    if (inWindow(e)) {
                        ASSERT_EQ(got, word) << version << " " << std::hex << e;
                    } else {
                        ASSERT_EQ(got, 0) << version << " " << std::hex << e;
                        ++rejected;
                    }
                }
            }
        }
    }
    EXPECT_GT(rejected, 0);
}

TEST_F(QrFormat, LevelAndMaskFromDataBits) {
    const int expectedLevel[4] = {1, 0, 3, 2};  // bits 00 M, 01 L, 10 H, 11 Q
    for (int d = 0; d < 32; ++d) {
        EXPECT_EQ(QR_SetLevelAndMask(d), d & 7);
        EXPECT_EQ(g_qrData.mask, d & 7);
        EXPECT_EQ(g_qrData.level, expectedLevel[d >> 3]);
        EXPECT_EQ(QR_LevelFromFormatBits(d >> 3), expectedLevel[d >> 3]);
    }
}

// Writes a raw format word into the first and/or second copy of an n x n matrix.
void PutFormat(std::vector<uint8_t> &m, int n, int word, bool first, bool second) {
    const int firstCells[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                                   {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    for (int i = 0; i < 15; ++i) {
        const int bit = (word >> (14 - i)) & 1;
        if (first) m[static_cast<size_t>(firstCells[i][0] * n + firstCells[i][1])] = static_cast<uint8_t>(bit);
        if (!second) continue;
        const int r = i < 7 ? n - 1 - i : 8;
        const int c = i < 7 ? 8 : n - 15 + i;
        m[static_cast<size_t>(r * n + c)] = static_cast<uint8_t>(bit);
    }
}

std::vector<uint8_t> Transposed(const std::vector<uint8_t> &m, int n) {
    std::vector<uint8_t> t(m.size());
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) t[static_cast<size_t>(c * n + r)] = m[static_cast<size_t>(r * n + c)];
    }
    return t;
}

TEST_F(QrFormat, EightReadingsOfAMatrix) {
    const int n = 25;
    // Level Q (11), mask 6; a second word for mixed copies: level L (01), mask 1.
    const int q6 = FormatCodeword(0x1E) ^ kQrFormatMaskModel2;
    const int l1 = FormatCodeword(0x09) ^ kQrFormatMaskModel2;
    std::vector<uint8_t> m(static_cast<size_t>(n * n), 0);
    PutFormat(m, n, q6, true, true);
    int masks[8], levels[8];
    QR_ReadFormatCandidates(m.data(), n, masks, levels);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(masks[k], 6) << k;
        EXPECT_EQ(levels[k], 2) << k;
    }
    // Transposed, the same word shows in readings 4-7 instead.
    const std::vector<uint8_t> t = Transposed(m, n);
    QR_ReadFormatCandidates(t.data(), n, masks, levels);
    for (int k = 4; k < 8; ++k) {
        EXPECT_EQ(masks[k], 6) << k;
        EXPECT_EQ(levels[k], 2) << k;
    }
    // First copy with three errors, second copy another word: readings 0 and 1 differ.
    PutFormat(m, n, q6 ^ 0x0111, true, false);
    PutFormat(m, n, l1, false, true);
    QR_ReadFormatCandidates(m.data(), n, masks, levels);
    EXPECT_EQ(masks[0], 6);
    EXPECT_EQ(levels[0], 2);
    EXPECT_EQ(masks[1], 1);
    EXPECT_EQ(levels[1], 0);
    // Four errors in the first copy: that reading is rejected.
    PutFormat(m, n, q6 ^ 0x4111, true, false);
    QR_ReadFormatCandidates(m.data(), n, masks, levels);
    EXPECT_EQ(masks[0], -1);
    EXPECT_EQ(levels[0], -1);
    // Nothing to read.
    QR_ReadFormatCandidates(nullptr, n, masks, levels);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(masks[k] + levels[k], -2);
    QR_ReadFormatCandidates(m.data(), 20, masks, levels);
    EXPECT_EQ(masks[0], -1);
}

TEST_F(QrFormat, FormatLevelOfMixedReadings) {
    const int n = 21;
    const int h3 = FormatCodeword(0x13) ^ kQrFormatMaskModel2;  // level H (10), mask 3
    std::vector<uint8_t> m(static_cast<size_t>(n * n), 0);
    PutFormat(m, n, h3, true, true);
    int mask = -5, transposed = -5;
    EXPECT_EQ(QR_ReadFormatLevel(m.data(), n, &mask, &transposed), 3);
    EXPECT_EQ(mask, 3);
    EXPECT_EQ(transposed, 0);
    // Transposed: the plain mixed readings see other modules; for the words whose plain
    // readings are then rejected the transposed ones answer.
    int transposedHits = 0;
    for (int d = 0; d < 32; ++d) {
        std::vector<uint8_t> w(m.size(), 0);
        PutFormat(w, n, FormatCodeword(d) ^ kQrFormatMaskModel2, true, true);
        const std::vector<uint8_t> t = Transposed(w, n);
        const int level = QR_ReadFormatLevel(t.data(), n, &mask, &transposed);
        if (transposed != 1) continue;
        ++transposedHits;
        EXPECT_EQ(level, QR_LevelFromFormatBits(d >> 3)) << d;
        EXPECT_EQ(mask, d & 7) << d;
    }
    EXPECT_GT(transposedHits, 0);
    // A word at distance 4 or more from every codeword in both copies: nothing is accepted.
    int rejected = 0;
    while (QR_CorrectFormatWord(rejected, 15) != 0) ++rejected;
    std::vector<uint8_t> blank(m.size(), 0);
    PutFormat(blank, n, rejected, true, true);
    mask = transposed = -5;
    EXPECT_EQ(QR_ReadFormatLevel(blank.data(), n, &mask, &transposed), -1);
    EXPECT_EQ(mask, -5);
    EXPECT_EQ(QR_ReadFormatLevel(nullptr, n, &mask, &transposed), -1);
}

TEST_F(QrFormat, VersionFromMatrix) {
    for (int version : {7, 8, 23, 40}) {
        const int n = QR_DimensionOfVersion(version);
        std::vector<uint8_t> m(static_cast<size_t>(n * n), 0);
        const int word = VersionWord(version);
        for (int i = 0; i < 18; ++i) {
            const uint8_t bit = static_cast<uint8_t>((word >> i) & 1);
            m[static_cast<size_t>((i / 3) * n + n - 11 + i % 3)] = bit;  // beside the top-right finder
            m[static_cast<size_t>((n - 11 + i % 3) * n + i / 3)] = bit;  // above the bottom-left finder
        }
        EXPECT_EQ(QR_ReadVersionFromMatrix(m.data(), n), version - 1) << version;
        // First block destroyed: the second one answers.
        for (int i = 0; i < 18; i += 2) m[static_cast<size_t>((i / 3) * n + n - 11 + i % 3)] ^= 1;
        EXPECT_EQ(QR_ReadVersionFromMatrix(m.data(), n), version - 1) << version;
        for (int i = 0; i < 18; i += 2) m[static_cast<size_t>((n - 11 + i % 3) * n + i / 3)] ^= 1;
        EXPECT_EQ(QR_ReadVersionFromMatrix(m.data(), n), -1) << version;
        // A clean block of another version does not match the size.
        EXPECT_EQ(QR_ReadVersionFromMatrix(m.data(), n + 4), -1) << version;
    }
    std::vector<uint8_t> small(41 * 41, 0);
    EXPECT_EQ(QR_ReadVersionFromMatrix(small.data(), 21), 0);
    EXPECT_EQ(QR_ReadVersionFromMatrix(small.data(), 41), 5);
    EXPECT_EQ(QR_ReadVersionFromMatrix(nullptr, 41), -1);
    EXPECT_EQ(QR_ReadVersionFromMatrix(small.data(), 178), -1);
}

TEST_F(QrFormat, FieldEvaluationAndCheckedCorrector) {
    // GF(16) on x^4 + x + 1: alpha^i.
    int antilog[16], log[16] = {};
    antilog[0] = 1;
    for (int i = 1; i < 16; ++i) {
        antilog[i] = antilog[i - 1] * 2;
        if (antilog[i] >= 16) antilog[i] ^= 0x13;
    }
    for (int i = 0; i < 15; ++i) log[antilog[i]] = i;
    const int coeffs[3] = {1, 1, 1};  // 1 + x + x^2
    EXPECT_EQ(QR_GfEvalPoly(3, coeffs, 0, 16, log, antilog), 1);
    EXPECT_EQ(QR_GfEvalPoly(3, coeffs, 1, 16, log, antilog), 1);
    // At alpha^5 (a root of x^2 + x + 1 in GF(16)).
    EXPECT_EQ(QR_GfEvalPoly(3, coeffs, antilog[5], 16, log, antilog), 0);
    EXPECT_EQ(QR_GfEvalPoly(0, coeffs, 2, 16, log, antilog), 0);
    EXPECT_EQ(QR_GfEvalPoly(3, coeffs, 16, 16, log, antilog), 0);

    int bits[15] = {};
    bits[3] = 1;
    EXPECT_EQ(QR_BchCorrectChecked(bits, 15, 5, 32, 0x25), 1);
    EXPECT_EQ(QR_BchCorrectChecked(bits, 15, 7, 16, 0x13), 1);
    EXPECT_EQ(QR_BchCorrectChecked(bits, 15, 5, 16, 0x13), 0);
    EXPECT_EQ(bits[3], 0);
    // Arguments the corrector does not serve.
    EXPECT_EQ(QR_BchCorrect(bits, 15, 3, 16, 0x13), 1);
    EXPECT_EQ(QR_BchCorrect(bits, 16, 5, 16, 0x13), 1);
    EXPECT_EQ(QR_BchCorrect(bits, 15, 5, 16, 0x1F), 1);  // not primitive
    EXPECT_EQ(QR_BchCorrect(bits, 15, 5, 12, 0x13), 1);
    EXPECT_EQ(QR_BchCorrect(nullptr, 15, 5, 16, 0x13), 1);
}

TEST_F(QrFormat, SmallRoutines) {
    // x^4 + x + 1 into x^6 + 1: quotient x^2, remainder x^3 + x^2 + 1.
    EXPECT_EQ(QR_PolyDivide(0x41, 6, 0x13, 4, 1), 0x4);
    EXPECT_EQ(QR_PolyDivide(0x41, 6, 0x13, 4, 0), 0xD);
    EXPECT_EQ(QR_PolyDivide(0x41, 31, 0x13, 4, 0), 0);
    EXPECT_EQ(QR_MinInt(-3, 2), -3);
    EXPECT_EQ(QR_MaxInt(-3, 2), 2);
    EXPECT_EQ(QR_ScaleDownMin12(100), 16);
    EXPECT_EQ(QR_ScaleDownMin12(60), 12);
    EXPECT_EQ(QR_ScaleDownMin12(-1000), 12);
}

}  // namespace
