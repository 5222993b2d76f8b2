// ECC 200 error correction on symbols the tests write themselves: the mirrored retry and
// its flag, the all-zero first block, uncorrectable symbols, and the block cache that
// completes one symbol over several attempts (and no longer joins two symbols).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "datamatrix/test_hooks_dm.h"
#include "dm_test_util.h"

namespace {

using dmtest::DmTest;

constexpr int kSize16 = 3;  // 16 x 16: a 14 x 14 mapping matrix, one block
constexpr int kSize52 = 14;  // two blocks
constexpr int kSize72 = 16;  // four blocks of 92 + 36
constexpr int kSize80 = 17;  // four blocks of 114 + 48

// Reflection about the anti-diagonal, written apart from the decoder's exchange.
std::vector<uint8_t> AntiDiagonal(const std::vector<uint8_t> &m, int n) {
    std::vector<uint8_t> out(m.size());
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) out[static_cast<size_t>(r * n + c)] = m[static_cast<size_t>((n - 1 - c) * n + (n - 1 - r))];
    }
    return out;
}

std::string Letters(int n, int seed) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>('A' + (i * 7 + seed) % 26));
    return s;
}

class Blocks : public DmTest {};

TEST_F(Blocks, MirrorExchangeIsAnInvolutionAndTheSquaresReflection) {
    for (auto [rows, cols] : {std::pair{8, 8}, std::pair{6, 16}, std::pair{14, 44}, std::pair{1, 2}}) {
        std::vector<uint8_t> m(static_cast<size_t>(rows * cols));
        for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 37 % 251);
        std::vector<uint8_t> t = m;
        vexo::DM_MirrorMatrix(t.data(), rows, cols);
        if (rows == cols) {
            EXPECT_EQ(t, AntiDiagonal(m, rows));
        }
        if (rows > 1) {
            EXPECT_NE(t, m) << rows << " x " << cols;
        }
        vexo::DM_MirrorMatrix(t.data(), rows, cols);
        EXPECT_EQ(t, m) << rows << " x " << cols;
    }
    // More rows than columns (no table size) and a single column are left alone.
    std::vector<uint8_t> tall(6 * 4, 0);
    tall[3] = 1;
    std::vector<uint8_t> copy = tall;
    vexo::DM_MirrorMatrix(tall.data(), 6, 4);
    vexo::DM_MirrorMatrix(tall.data(), 4, 1);
    EXPECT_EQ(tall, copy);
}

// The orientation that last needed the retry is tried first.
TEST_F(Blocks, MirroredSymbolsFlipTheOrientationTriedFirst) {
    const int n = dmtest::Row(kSize16).mappingRows;
    struct Case {
        bool mirrored;
        int mirrorFirstAfter;
    };
    const Case cases[] = {
        {true, 1},   // needs the retry: the flag flips
        {true, 1},   // decodes on the first reading
        {false, 0},  // a plain one now needs the retry and flips it back
        {false, 0},
    };
    int i = 0;
    for (const Case &c : cases) {
        const std::string text = "MIRROR " + std::to_string(i++);
        const std::vector<uint8_t> plain = dmtest::SymbolMatrix(kSize16, dmtest::AsciiData(text, 12));
        const dmtest::Decoded d = dmtest::DecodeSize(kSize16, c.mirrored ? AntiDiagonal(plain, n) : plain);
        EXPECT_EQ(d.status, 0) << text;
        EXPECT_EQ(d.text, text);
        EXPECT_EQ(vexo::g_dmData.mirrorFirst, c.mirrorFirstAfter) << text;
    }
}

TEST_F(Blocks, FirstBlockOfZeroDataAndUncorrectableSymbols) {
    // One block of three zero data codewords, and block 0 of four after a correction.
    EXPECT_EQ(dmtest::DecodeSize(0, dmtest::SymbolMatrix(0, {0, 0, 0})).status, vexo::kDmStatusZeroBlock);
    std::vector<int> data = dmtest::AsciiData(Letters(368, 1), 368);
    for (size_t i = 0; i < data.size(); i += 4) data[i] = 0;
    std::vector<int> cw = dmtest::EncodeSymbol(kSize72, data);
    dmtest::DamageBlock(kSize72, &cw, 0, 10);
    EXPECT_EQ(dmtest::DecodeSize(kSize72, dmtest::PlaceCodewords(kSize72, cw)).status, vexo::kDmStatusZeroBlock);
    // Nothing correctable in either orientation; the flag stays.
    std::vector<uint8_t> noise(14 * 14);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 7919) >> 3 & 1);
    EXPECT_EQ(dmtest::DecodeMatrix(noise, 14, 14).status, vexo::kDmStatusNoBlock);
    EXPECT_EQ(vexo::g_dmData.mirrorFirst, 0);
}

// ---- The block cache.

// Symbols of one size: A; B differs from A in block 1; C in every block; D in block 0 alone;
// E in the last data codeword of block 1 alone.
std::vector<int> SymbolData(char name, int sizeIndex) {
    const int n = dmtest::Row(sizeIndex).dataCodewords;
    std::string text = Letters(n, name == 'C' ? 5 : 0);
    if (name == 'B') text[1] = '#';
    if (name == 'D') text[0] = '#';
    if (name == 'E') text[static_cast<size_t>(n - 3)] = '#';  // 72 x 72: index 365, block 1 slot 91
    return dmtest::AsciiData(text, n);
}

std::string SymbolText(char name, int sizeIndex) {
    std::string s;
    for (int c : SymbolData(name, sizeIndex)) s.push_back(static_cast<char>(c - 1));
    return s;
}

struct Attempt {
    char symbol;
    std::set<int> good;  // blocks left correctable; the others get 30 errors
    int place;           // 1 or 2: two places apart
    int status;
    char text = 0;  // whose text a decoded attempt gives
    int size = 0;   // another size than the scenario's
};

struct Scenario {
    const char *name;
    int sizeIndex;
    std::vector<Attempt> attempts;
};

vexo::REGION_QUAD Place(int place) {
    const int x = place == 1 ? 100 : 400;
    return vexo::REGION_QUAD{{{x, 100}, {x + 200, 100}, {x, 300}, {x + 200, 300}}};
}

TEST_F(Blocks, CacheCompletesOneSymbolOverAttempts) {
    const Scenario scenarios[] = {
        {"blocks 0, 1 then 1, 2, 3 merge", kSize72, {{'A', {0, 1}, 1, 30}, {'A', {1, 2, 3}, 1, 0, 'A'}}},
        {"merged and read: the cache is empty again", kSize72,
         {{'A', {0, 1}, 1, 30}, {'A', {1, 2, 3}, 1, 0, 'A'}, {'A', {2, 3}, 1, 30}}},
        // The second attempt replaces the cache: the fourth completes {2, 3} + {1, 2}.
        {"no block good in both: replaced", kSize72,
         {{'A', {0, 1}, 1, 30}, {'A', {2, 3}, 1, 30}, {'A', {1, 2}, 1, 30}, {'A', {0, 1}, 1, 0, 'A'}}},
        {"two blocks: never cached", kSize52, {{'A', {0}, 1, 30}, {'A', {1}, 1, 30}}},
        // Mended: attempts of two symbols are never joined.
        {"a block good in both differs", kSize72, {{'A', {0, 1}, 1, 30}, {'B', {1, 2, 3}, 1, 30}}},
        {"differs in the last data codeword", kSize72, {{'A', {0, 1}, 1, 30}, {'E', {1, 2, 3}, 1, 30}}},
        {"another place", kSize72, {{'A', {0, 1}, 1, 30}, {'A', {1, 2, 3}, 2, 30}}},
        {"a clean read of the size clears it", kSize72,
         {{'A', {0, 1}, 1, 30}, {'C', {0, 1, 2, 3}, 2, 0, 'C'}, {'A', {1, 2, 3}, 1, 30}}},
        {"another size replaces it", kSize72,
         {{'A', {0, 1}, 1, 30}, {'A', {0, 1}, 1, 30, 0, kSize80}, {'A', {1, 2, 3}, 1, 30}}},
        // The risk left: D differs from A only in block 0, which D's attempt did not read. The
        // two symbols agree in every block read in both, at one place: they still merge, and
        // the scan of D reports A's text.
        {"known risk: unread difference", kSize72, {{'A', {0, 1}, 1, 30}, {'D', {1, 2, 3}, 1, 0, 'A'}}},
    };
    for (const Scenario &sc : scenarios) {
        SCOPED_TRACE(sc.name);
        vexo::Test_ResetDmStatics();
        for (const Attempt &a : sc.attempts) {
            const int size = a.size != 0 ? a.size : sc.sizeIndex;
            std::vector<int> cw = dmtest::EncodeSymbol(size, SymbolData(a.symbol, size));
            for (int k = 0; k < dmtest::BlockCount(size); ++k) {
                if (a.good.count(k) == 0) dmtest::DamageBlock(size, &cw, k, 30);
            }
            vexo::g_dmResult.corners = Place(a.place);
            const dmtest::Decoded d = dmtest::DecodeSize(size, dmtest::PlaceCodewords(size, cw));
            EXPECT_EQ(d.status, a.status) << "symbol " << a.symbol;
            if (a.status == 0) {
                EXPECT_EQ(d.text, SymbolText(a.text, size));
            }
        }
    }
}

}  // namespace
