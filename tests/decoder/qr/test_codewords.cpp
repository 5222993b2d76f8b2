// Model 2 codewords: version tables checked by their invariants, the function-module map,
// masks, the codeword walk, and block correction on hand-made interleaved codewords
// (error-correction sweeps up to and beyond the correctable count).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "qr/qr_codewords.h"
#include "qr/qr_matrix.h"
#include "qr/qr_segments.h"
#include "qr/qr_tables.h"
#include "qr_test_util.h"

namespace {

using namespace vexo;
using qr_test::BitWriter;

using QrTables = qr_test::QrTest;
using QrCodewords = qr_test::QrTest;

// Remainder bits after the last codeword, per version (ISO/IEC 18004 codeword capacities).
int RemainderBits(int version) {
    if (version == 1) return 0;
    if (version <= 6) return 7;
    if (version <= 13) return 0;
    if (version <= 20) return 3;
    if (version <= 27) return 4;
    if (version <= 34) return 3;
    return 0;
}

int DataModules(int version) {
    const int n = QR_DimensionOfVersion(version);
    std::vector<uint8_t> map(static_cast<size_t>(n * n), 0xAA);
    EXPECT_EQ(QR_BuildFunctionMap(map.data(), n), 1);
    int data = 0;
    for (uint8_t v : map) {
        EXPECT_TRUE(v == 0 || v == kQrFunctionModule);
        data += v == 0 ? 1 : 0;
    }
    return data;
}

TEST_F(QrTables, BlockRowsAddUpToTheVersionTotals) {
    for (int vi = 0; vi < 40; ++vi) {
        for (int level = 0; level < 4; ++level) {
            QR_BLOCK_ROW r{};
            ASSERT_EQ(QR_GetBlockRow(vi, level, &r), 1);
            EXPECT_EQ(r.count1 * r.codewords1 + r.count2 * r.codewords2, QR_GetTotalCodewords(vi)) << vi << " " << level;
            EXPECT_GT(r.count1, 0);
            EXPECT_GT(r.codewords1 - r.data1, 0);
            if (r.count2 == 0) {
                EXPECT_EQ(r.codewords2 + r.data2, 0) << vi << " " << level;
            } else {
                EXPECT_EQ(r.codewords2, r.codewords1 + 1) << vi << " " << level;
                EXPECT_EQ(r.data2, r.data1 + 1) << vi << " " << level;
            }
            // Fewer data codewords at each stronger level.
            if (level > 0) {
                QR_BLOCK_ROW weaker{};
                QR_GetBlockRow(vi, level - 1, &weaker);
                EXPECT_LT(r.count1 * r.data1 + r.count2 * r.data2, weaker.count1 * weaker.data1 + weaker.count2 * weaker.data2);
            }
        }
    }
    struct Example {
        int version, level;
        QR_BLOCK_ROW row;
    };
    const Example examples[] = {
        {1, 0, {1, 26, 19, 0, 0, 0}}, {1, 1, {1, 26, 16, 0, 0, 0}},   {1, 2, {1, 26, 13, 0, 0, 0}},
        {1, 3, {1, 26, 9, 0, 0, 0}},  {5, 2, {2, 33, 15, 2, 34, 16}}, {40, 3, {20, 45, 15, 61, 46, 16}},
    };
    for (const Example &e : examples) {
        QR_BLOCK_ROW r{};
        QR_GetBlockRow(e.version - 1, e.level, &r);
        EXPECT_EQ(std::vector<int>({r.count1, r.codewords1, r.data1, r.count2, r.codewords2, r.data2}),
                  std::vector<int>({e.row.count1, e.row.codewords1, e.row.data1, e.row.count2, e.row.codewords2, e.row.data2}))
            << e.version << " " << e.level;
    }
    QR_BLOCK_ROW untouched{7, 7, 7, 7, 7, 7};
    EXPECT_EQ(QR_GetBlockRow(40, 0, &untouched), 0);
    EXPECT_EQ(QR_GetBlockRow(0, 4, &untouched), 0);
    EXPECT_EQ(QR_GetBlockRow(-1, 0, &untouched), 0);
    EXPECT_EQ(untouched.count1, 7);
    EXPECT_EQ(QR_GetTotalCodewords(0), 26);
    EXPECT_EQ(QR_GetTotalCodewords(1), 44);
    EXPECT_EQ(QR_GetTotalCodewords(39), 3706);
    EXPECT_EQ(QR_GetTotalCodewords(40), 0);
}

TEST_F(QrTables, DataModulesMatchCodewordTotals) {
    EXPECT_EQ(DataModules(1), 208);
    EXPECT_EQ(DataModules(2), 359);
    EXPECT_EQ(DataModules(7), 1568);
    for (int version = 1; version <= 40; ++version) {
        EXPECT_EQ(DataModules(version), 8 * QR_GetTotalCodewords(version - 1) + RemainderBits(version)) << version;
    }
}

TEST_F(QrTables, AlignmentCoordinates) {
    const auto coords = [](int version) {
        const uint8_t *c = QR_GetAlignmentCoords(version - 1);
        return std::vector<int>(c, c + QR_GetAlignmentCount(version - 1));
    };
    EXPECT_EQ(coords(1), std::vector<int>{});
    EXPECT_EQ(coords(2), std::vector<int>({6, 18}));
    EXPECT_EQ(coords(7), std::vector<int>({6, 22, 38}));
    EXPECT_EQ(coords(40), std::vector<int>({6, 30, 58, 86, 114, 142, 170}));
    for (int version = 2; version <= 40; ++version) {
        const std::vector<int> c = coords(version);
        const size_t expectedCount = version <= 6 ? 2 : version <= 13 ? 3 : version <= 20 ? 4 : version <= 27 ? 5 : version <= 34 ? 6 : 7;
        ASSERT_EQ(c.size(), expectedCount) << version;
        EXPECT_EQ(c.front(), 6);
        EXPECT_EQ(c.back(), QR_DimensionOfVersion(version) - 7) << version;
        // Even positions, equal steps after the first.
        for (size_t i = 0; i < c.size(); ++i) EXPECT_EQ(c[i] % 2, 0) << version;
        for (size_t i = 2; i < c.size(); ++i) EXPECT_EQ(c[i] - c[i - 1], c.back() - c[c.size() - 2]) << version;
        const uint8_t *raw = QR_GetAlignmentCoords(version - 1);
        for (size_t i = c.size(); i < 7; ++i) EXPECT_EQ(raw[i], 0) << version;
    }
    EXPECT_EQ(QR_GetAlignmentCoords(40), nullptr);
    EXPECT_EQ(QR_GetAlignmentCount(-1), 0);
}

TEST_F(QrCodewords, FunctionMapShapes) {
    const int n = QR_DimensionOfVersion(7);
    std::vector<uint8_t> map(static_cast<size_t>(n * n), 0);
    ASSERT_EQ(QR_BuildFunctionMap(map.data(), n), 1);
    const auto at = [&](int r, int c) { return map[static_cast<size_t>(r * n + c)]; };
    EXPECT_EQ(at(0, 0), kQrFunctionModule);
    EXPECT_EQ(at(7, 7), kQrFunctionModule);     // separator
    EXPECT_EQ(at(8, 8), kQrFunctionModule);     // format
    EXPECT_EQ(at(9, 9), 0);
    EXPECT_EQ(at(n - 8, 8), kQrFunctionModule); // dark module
    EXPECT_EQ(at(n - 9, 8), 0);
    EXPECT_EQ(at(0, n - 11), kQrFunctionModule); // version block
    EXPECT_EQ(at(0, n - 12), 0);
    EXPECT_EQ(at(6, 20), kQrFunctionModule);    // timing
    EXPECT_EQ(at(22, 22), kQrFunctionModule);   // alignment centre
    EXPECT_EQ(at(20, 20), kQrFunctionModule);
    EXPECT_EQ(at(19, 20), 0);
    EXPECT_EQ(at(6, 22), kQrFunctionModule);    // alignment on the timing row
    EXPECT_EQ(at(4, 22), kQrFunctionModule);
    // The map is symmetric under transposition.
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) ASSERT_EQ(at(r, c), at(c, r)) << r << " " << c;
    }
    EXPECT_EQ(QR_BuildFunctionMap(map.data(), 22), 0);
    EXPECT_EQ(QR_BuildFunctionMap(map.data(), 181), 0);
    EXPECT_EQ(QR_BuildFunctionMap(nullptr, 21), 0);
    // Version 1: nothing to mark.
    std::vector<uint8_t> small(21 * 21, 0);
    QR_MarkAlignmentPatterns(small.data(), 21);
    for (uint8_t v : small) ASSERT_EQ(v, 0);
    QR_MarkTimingLines(small.data(), 21);
    EXPECT_EQ(small[6 * 21 + 13], kQrFunctionModule);
    EXPECT_EQ(small[13 * 21 + 6], kQrFunctionModule);
    EXPECT_EQ(small[5 * 21 + 13], 0);
}

TEST_F(QrCodewords, MasksTouchDataModulesOnlyAndUndoThemselves) {
    const int n = 25;
    std::vector<uint8_t> map(static_cast<size_t>(n * n)), m(static_cast<size_t>(n * n));
    QR_BuildFunctionMap(map.data(), n);
    std::mt19937 rng(12);
    for (auto &v : m) v = static_cast<uint8_t>(rng() & 1);
    const std::vector<uint8_t> original = m;
    for (int mask = 0; mask < 8; ++mask) {
        ASSERT_EQ(QR_ApplyDataMask(m.data(), map.data(), n, mask), 0);
        int changed = 0;
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c) {
                const size_t i = static_cast<size_t>(r * n + c);
                const int flip = m[i] ^ original[i];
                ASSERT_EQ(flip, map[i] != 0 ? 0 : QR_MaskBit(mask, c, r)) << mask << " " << r << " " << c;
                EXPECT_EQ(QR_ReadMaskedModule(original.data(), c, r, n, mask), original[i] ^ QR_MaskBit(mask, c, r));
                changed += flip;
            }
        }
        EXPECT_GT(changed, 0) << mask;
        QR_ApplyDataMask(m.data(), map.data(), n, mask);
        ASSERT_EQ(m, original) << mask;
    }
    // The ISO patterns at a few modules (row i, column j).
    EXPECT_EQ(QR_MaskBit(0, 1, 1), 1);
    EXPECT_EQ(QR_MaskBit(0, 1, 0), 0);
    EXPECT_EQ(QR_MaskBit(1, 5, 2), 1);
    EXPECT_EQ(QR_MaskBit(2, 3, 1), 1);
    EXPECT_EQ(QR_MaskBit(2, 4, 0), 0);
    EXPECT_EQ(QR_MaskBit(3, 2, 1), 1);
    EXPECT_EQ(QR_MaskBit(4, 3, 2), 1);   // 2/2 + 3/3 = 2
    EXPECT_EQ(QR_MaskBit(4, 3, 0), 0);   // 0 + 1
    EXPECT_EQ(QR_MaskBit(5, 5, 7), 0);   // 35: 1 + 2
    EXPECT_EQ(QR_MaskBit(5, 6, 1), 1);   // 6: 0 + 0
    EXPECT_EQ(QR_MaskBit(6, 1, 1), 1);   // 1: (1 + 1) % 2 = 0
    EXPECT_EQ(QR_MaskBit(7, 1, 2), 0);   // (2 + 1) % 2 = 1
    EXPECT_EQ(QR_MaskBit(8, 0, 0), 0);
    EXPECT_EQ(QR_MaskBit(-1, 0, 0), 0);
    EXPECT_EQ(QR_ApplyDataMask(m.data(), map.data(), n, 8), -1);
    EXPECT_EQ(QR_ReadMaskedModule(m.data(), 0, 0, n, 8), -1);
    EXPECT_EQ(QR_ReadMaskedModule(nullptr, 0, 0, n, 0), -1);
    EXPECT_EQ(m, original);
}

TEST_F(QrCodewords, WalkReadsEveryDataModuleOnceInOrder) {
    for (int version = 1; version <= 40; ++version) {
        const int n = QR_DimensionOfVersion(version);
        std::vector<uint8_t> map(static_cast<size_t>(n * n)), m(static_cast<size_t>(n * n), 1);
        QR_BuildFunctionMap(map.data(), n);
        std::vector<uint8_t> cw(4000, 0);
        const int total = QR_GetTotalCodewords(version - 1);
        ASSERT_EQ(QR_ReadCodewords(cw.data(), m.data(), map.data(), n, 4000), total) << version;
        for (int i = 0; i < total; ++i) ASSERT_EQ(cw[static_cast<size_t>(i)], 0xFF) << version;
        EXPECT_EQ(QR_ReadCodewords(cw.data(), m.data(), map.data(), n, 3), 3);
        EXPECT_EQ(cw[3], 0xFF);
    }
    // The first codeword of version 1: up the rightmost two-column strip, right column first.
    const int n = 21;
    std::vector<uint8_t> map(static_cast<size_t>(n * n));
    QR_BuildFunctionMap(map.data(), n);
    const int cells[8][2] = {{20, 20}, {20, 19}, {19, 20}, {19, 19}, {18, 20}, {18, 19}, {17, 20}, {17, 19}};
    for (int b = 0; b < 8; ++b) {
        std::vector<uint8_t> m(static_cast<size_t>(n * n), 0);
        m[static_cast<size_t>(cells[b][0] * n + cells[b][1])] = 1;
        uint8_t cw[2] = {0, 0};
        QR_ReadCodewords(cw, m.data(), map.data(), n, 2);
        EXPECT_EQ(cw[0], 0x80 >> b) << b;
        EXPECT_EQ(cw[1], 0);
    }
    // Up the first strip rows 20..9 give three codewords; the strip of columns 18-17 then
    // runs down from row 9.
    std::vector<uint8_t> m(static_cast<size_t>(n * n), 0);
    m[static_cast<size_t>(9 * n + 18)] = 1;
    uint8_t cw[26] = {};
    QR_ReadCodewords(cw, m.data(), map.data(), n, 26);
    EXPECT_EQ(cw[2], 0);
    EXPECT_EQ(cw[3], 0x80);
    EXPECT_EQ(QR_ReadCodewords(cw, m.data(), map.data(), n, 0), 0);
    EXPECT_EQ(QR_ReadCodewords(cw, m.data(), nullptr, n, 3), 0);
}

// Data codewords of a byte segment, padded with pad codewords to `count`.
std::vector<uint8_t> ByteStream(const std::string &text, int vi, int count) {
    BitWriter w;
    w.Put(4, 4).Put(static_cast<uint32_t>(text.size()), vi < 9 ? 8 : 16);
    for (unsigned char c : text) w.Put(c, 8);
    w.Put(0, 4);
    return w.Bytes(static_cast<size_t>(count), true);
}

// Splits data codewords into the version's blocks, adds the check codewords and interleaves
// the whole: what a symbol holds.
std::vector<uint8_t> Interleave(const std::vector<uint8_t> &data, int vi, int level, std::vector<std::vector<uint8_t>> *blocksOut = nullptr) {
    QR_BLOCK_ROW r{};
    QR_GetBlockRow(vi, level, &r);
    const int check = r.codewords1 - r.data1;
    std::vector<std::vector<uint8_t>> dataBlocks, checkBlocks;
    size_t at = 0;
    for (int j = 0; j < r.count1 + r.count2; ++j) {
        const int k = j < r.count1 ? r.data1 : r.data2;
        dataBlocks.emplace_back(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at) + k);
        at += static_cast<size_t>(k);
        checkBlocks.push_back(qr_test::RsCheck(dataBlocks.back(), check));
    }
    std::vector<uint8_t> out;
    for (int t = 0; t <= r.data2 || t <= r.data1; ++t) {
        for (const auto &b : dataBlocks) {
            if (t < static_cast<int>(b.size())) out.push_back(b[static_cast<size_t>(t)]);
        }
    }
    for (int t = 0; t < check; ++t) {
        for (const auto &b : checkBlocks) out.push_back(b[static_cast<size_t>(t)]);
    }
    if (blocksOut != nullptr) *blocksOut = dataBlocks;
    return out;
}

// Position in the interleaved stream of codeword `t` (data first, then check) of block j.
int StreamIndex(const QR_BLOCK_ROW &r, int j, int t) {
    const int blocks = r.count1 + r.count2;
    const int dataTotal = r.count1 * r.data1 + r.count2 * r.data2;
    const int k = j < r.count1 ? r.data1 : r.data2;
    if (t < r.data1) return t * blocks + j;
    if (t < k) return r.data1 * blocks + (j - r.count1);
    return dataTotal + (t - k) * blocks + j;
}

TEST_F(QrCodewords, BlocksCorrectUpToHalfTheirCheckCodewords) {
    struct Case {
        int version, level;
    };
    const Case cases[] = {{1, 0}, {1, 3}, {5, 2}, {7, 3}, {10, 1}, {22, 3}, {40, 0}, {40, 3}};
    std::vector<uint8_t> out(kQrTextCapacity);
    for (const Case &c : cases) {
        const int vi = c.version - 1;
        QR_BLOCK_ROW r{};
        QR_GetBlockRow(vi, c.level, &r);
        const int dataTotal = r.count1 * r.data1 + r.count2 * r.data2;
        const int check = r.codewords1 - r.data1;
        const uint32_t seed = static_cast<uint32_t>(c.version * 4 + c.level);
        std::mt19937 rng(seed);
        std::string text;
        for (int i = 0; i < dataTotal / 2; ++i) text.push_back(static_cast<char>('a' + rng() % 26));
        const std::vector<uint8_t> clean = Interleave(ByteStream(text, vi, dataTotal), vi, c.level);
        ASSERT_EQ(static_cast<int>(clean.size()), QR_GetTotalCodewords(vi));

        // floor(check / 2) errors in every block: corrected.
        std::vector<uint8_t> damaged = clean;
        const int blocks = r.count1 + r.count2;
        for (int j = 0; j < blocks; ++j) {
            const int size = j < r.count1 ? r.codewords1 : r.codewords2;
            std::vector<int> positions(static_cast<size_t>(size));
            for (int t = 0; t < size; ++t) positions[static_cast<size_t>(t)] = t;
            std::shuffle(positions.begin(), positions.end(), rng);
            for (int e = 0; e < check / 2; ++e) {
                damaged[static_cast<size_t>(StreamIndex(r, j, positions[static_cast<size_t>(e)]))] ^= static_cast<uint8_t>(1 + rng() % 255);
            }
        }
        ASSERT_EQ(QR_CorrectBlocks(vi, c.level, damaged.data(), out.data(), kQrTextCapacity, 1), 0) << "seed " << seed;
        ASSERT_EQ(QR_CorrectBlocks(vi, c.level, damaged.data(), out.data(), kQrTextCapacity, 0), 0) << "seed " << seed;
        EXPECT_EQ(qr_test::Text(out.data(), g_qrData.length), text) << "seed " << seed;

        // One more error in the last block: that block fails, the trial (first block) still passes.
        const int last = blocks - 1;
        std::vector<uint8_t> tooMany = damaged;
        for (int t = 0; t < r.codewords1; ++t) {
            const size_t i = static_cast<size_t>(StreamIndex(r, last, t));
            if (tooMany[i] != clean[i]) continue;
            tooMany[i] ^= 0x5A;
            break;
        }
        QR_SetErrorWord(kQrErrInitial);
        if (blocks > 1) {
            EXPECT_EQ(QR_CorrectBlocks(vi, c.level, tooMany.data(), out.data(), kQrTextCapacity, 1), 0);
        }
        const int rc = QR_CorrectBlocks(vi, c.level, tooMany.data(), out.data(), kQrTextCapacity, 0);
        // Beyond the limit a block may be taken for another codeword; then its data differ,
        // so a success never gives the original text back.
        if (rc == -2) {
            EXPECT_EQ(QR_GetErrorWord(), kQrErrBlock) << "seed " << seed;
        } else if (rc == 0) {
            EXPECT_NE(qr_test::Text(out.data(), g_qrData.length), text) << "seed " << seed;
        }
    }
}

TEST_F(QrCodewords, TrialLooksAtTheFirstBlockOnly) {
    const int vi = 4, level = 2;  // version 5-Q: 2 x (33,15) + 2 x (34,16)
    QR_BLOCK_ROW r{};
    QR_GetBlockRow(vi, level, &r);
    const int dataTotal = r.count1 * r.data1 + r.count2 * r.data2;
    std::vector<uint8_t> stream = Interleave(ByteStream("trial", vi, dataTotal), vi, level);
    std::vector<uint8_t> out(kQrTextCapacity);
    // Ruin block 1 completely: the trial passes, the full decode fails with error word 10.
    for (int t = 0; t < r.codewords1; ++t) stream[static_cast<size_t>(StreamIndex(r, 1, t))] ^= 0xFF;
    EXPECT_EQ(QR_CorrectBlocks(vi, level, stream.data(), out.data(), kQrTextCapacity, 1), 0);
    EXPECT_EQ(QR_CorrectBlocks(vi, level, stream.data(), out.data(), kQrTextCapacity, 0), -2);
    EXPECT_EQ(QR_GetErrorWord(), kQrErrBlock);
    // Ruin block 0 as well: the trial fails.
    for (int t = 0; t < r.codewords1; ++t) stream[static_cast<size_t>(StreamIndex(r, 0, t))] ^= 0xFF;
    EXPECT_EQ(QR_CorrectBlocks(vi, level, stream.data(), out.data(), kQrTextCapacity, 1), -1);
}

TEST_F(QrCodewords, ErrorWordsOfBlockCorrection) {
    EXPECT_EQ(QR_GetErrorWord(), kQrErrInitial);
    std::vector<uint8_t> out(kQrTextCapacity);
    std::vector<uint8_t> cw(3706, 0);
    EXPECT_EQ(QR_CorrectBlocks(40, 0, cw.data(), out.data(), kQrTextCapacity, 0), -3);
    EXPECT_EQ(QR_GetErrorWord(), kQrErrVersion);
    EXPECT_EQ(QR_CorrectBlocks(0, 4, cw.data(), out.data(), kQrTextCapacity, 0), -3);
    EXPECT_EQ(QR_GetErrorWord(), kQrErrSearch);
    EXPECT_EQ(QR_CorrectBlocks(0, -1, cw.data(), out.data(), kQrTextCapacity, 1), -3);
    // Refused data segments (an unassigned indicator with many bits left): error word 0.
    std::vector<uint8_t> data(19, 0xF0);
    const std::vector<uint8_t> stream = Interleave(data, 0, 0);
    EXPECT_EQ(QR_CorrectBlocks(0, 0, stream.data(), out.data(), kQrTextCapacity, 0), -1);
    EXPECT_EQ(QR_GetErrorWord(), kQrErrSegments);
}

TEST_F(QrCodewords, Model2DecoderRefusesWhatItCannotHold) {
    std::vector<uint8_t> m(21 * 21, 0), map(21 * 21, 0), out(64);
    EXPECT_EQ(QR_DecodeModel2(m.data(), map.data(), 21, out.data(), 25), -1);
    EXPECT_EQ(QR_GetErrorWord(), kQrErrCapacity);
    EXPECT_EQ(QR_DecodeModel2(m.data(), map.data(), 22, out.data(), 64), -1);
    EXPECT_EQ(QR_GetErrorWord(), kQrErrVersion);
    EXPECT_EQ(QR_DecodeModel2(nullptr, map.data(), 21, out.data(), 64), -1);
    EXPECT_EQ(QR_DecodeModel2(m.data(), map.data(), 21, nullptr, 64), -1);
    EXPECT_EQ(QR_GetErrorWord(), kQrErrCapacity);
    // Random modules pass nothing: the whole search fails, matrix and map are left as given.
    std::mt19937 rng(21);
    for (auto &v : m) v = static_cast<uint8_t>(rng() & 1);
    const std::vector<uint8_t> before = m;
    QR_BuildFunctionMap(map.data(), 21);
    const std::vector<uint8_t> mapBefore = map;
    EXPECT_EQ(QR_DecodeModel2(m.data(), map.data(), 21, out.data(), 64), -1);
    EXPECT_EQ(QR_GetErrorWord(), kQrErrSearch);
    EXPECT_EQ(m, before);
    EXPECT_EQ(map, mapBefore);
}

}  // namespace
