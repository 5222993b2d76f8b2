// Codeword recognition from edge positions: the key tables derived from the width tables,
// the table search, and the codeword and row address signatures.
#include <gtest/gtest.h>

#include <vector>

#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_widths.h"

namespace {

using namespace vexo;

// Edge positions of a pattern's widths at `unit` per module from `origin`.
template <size_t N>
std::vector<i32> IdealEdges(const u8 (&w)[N], i32 unit, i32 origin) {
    std::vector<i32> e{origin};
    for (size_t i = 0; i < N; ++i) e.push_back(e.back() + w[i] * unit);
    return e;
}

TEST(PdfCodewordTables, KeysSortedAndUniqueWithLowNibbleMasked) {
    for (u32 nibble : {0u, 3u, 6u, 1u}) {
        i32 count = 0;
        const PDF_KEY_ENTRY *t = PDF_KeyTable(nibble, &count);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(count, nibble == 1 ? 104 : 929);
        for (i32 i = 0; i < count; ++i) {
            EXPECT_EQ(t[i].key >> 28, nibble) << i;
            if (i > 0) {
                EXPECT_LT(t[i - 1].key & ~0xFu, t[i].key & ~0xFu) << "nibble " << nibble << " entry " << i;
            }
        }
    }
    i32 count = -1;
    for (u32 nibble : {2u, 4u, 5u, 7u, 15u}) EXPECT_EQ(PDF_KeyTable(nibble, &count), nullptr);
}

TEST(PdfCodewordTables, ExamplesOfTheStandards) {
    struct Case {
        u32 key;
        i32 value;
    };
    for (const Case &c : {Case{0x04222249, 0}, Case{0x10043442, 0x10000000}, Case{0x10042442, 0x10000001},
                          Case{0x10023454, 0x20000000}}) {
        EXPECT_EQ(PDF_LookupCodeword(c.key), c.value) << std::hex << c.key;
    }
}

TEST(PdfCodewordTables, EndsOfTablesOnlyOnTheExactKey) {
    for (u32 nibble : {0u, 3u, 6u, 1u}) {
        i32 count = 0;
        const PDF_KEY_ENTRY *t = PDF_KeyTable(nibble, &count);
        std::vector<i32> ends{0};
        if (nibble != 1) ends.push_back(count - 1);
        for (i32 i : ends) {
            EXPECT_EQ(PDF_LookupCodeword(t[i].key), static_cast<i32>(t[i].value));
            EXPECT_EQ(PDF_LookupCodeword(t[i].key ^ 0x1u), kPdfNoCodeword) << nibble << " entry " << i;
        }
        const PDF_KEY_ENTRY &mid = t[count / 2 + 1];
        EXPECT_EQ(PDF_LookupCodeword(mid.key ^ 0x1u), static_cast<i32>(mid.value)) << nibble;
    }
    // Nothing lies past a table: keys above every entry and nibbles without a table.
    for (u32 key : {0x1FFFFFFFu, 0x1FFFFFF0u, 0x0FFFFFFFu, 0x6FFFFFFFu, 0x20000000u, 0x70000000u, 0xF0000000u}) {
        EXPECT_EQ(PDF_LookupCodeword(key), kPdfNoCodeword) << std::hex << key;
    }
}

TEST(PdfCodewordSignature, EveryPatternAtEveryScaleReadsBack) {
    for (i32 unit = 1; unit <= 8; ++unit) {
        for (int c = 0; c < 3; ++c) {
            for (i32 v = 0; v < 929; ++v) {
                const std::vector<i32> e = IdealEdges(PDF_CLUSTER_WIDTHS[c][v], unit, 1000 + v);
                i32 value = -1;
                ASSERT_EQ(PDF_ReadCodewordSignature(e.data(), &value), 1) << "cluster " << 3 * c << " value " << v;
                ASSERT_EQ(value, (3 * c) << 28 | v) << "unit " << unit;
            }
        }
        for (int set = 0; set < 2; ++set) {
            for (i32 n = 0; n < 52; ++n) {
                const std::vector<i32> e = IdealEdges(PDF_RAP_WIDTHS[set][n], unit, 7);
                i32 value = -1;
                ASSERT_EQ(PDF_ReadRapSignature(e.data(), &value), 1) << "set " << set << " number " << n + 1;
                ASSERT_EQ(value, ((set + 1) << 28) + n);
            }
        }
    }
}

TEST(PdfCodewordSignature, OtherClustersAnswerZeroWithoutWriting) {
    // 17-module patterns whose (b1 - b2 + b3 - b4 + 9) mod 9 is each cluster number.
    bool seen[9] = {};
    for (u8 b1 = 1; b1 <= 6; ++b1) {
        for (u8 b2 = 1; b2 <= 6; ++b2) {
            for (u8 b3 = 1; b3 <= 6; ++b3) {
                for (u8 b4 = 1; b4 <= 6; ++b4) {
                    const int last = 17 - (b1 + b2 + b3 + b4 + 3);
                    const int cluster = (b1 - b2 + b3 - b4 + 9) % 9;
                    if (last < 1 || last > 6 || cluster % 3 == 0) continue;
                    const u8 w[8] = {b1, 1, b2, 1, b3, 1, b4, static_cast<u8>(last)};
                    const std::vector<i32> e = IdealEdges(w, 16, 0);
                    i32 value = 12345;
                    EXPECT_EQ(PDF_ReadCodewordSignature(e.data(), &value), 0) << cluster;
                    EXPECT_EQ(value, 12345) << cluster;
                    seen[cluster] = true;
                }
            }
        }
    }
    for (int cluster : {1, 2, 4, 5, 7, 8}) EXPECT_TRUE(seen[cluster]) << cluster;
}

TEST(PdfCodewordSignature, DegenerateAndDecreasingPositions) {
    const i32 equal[9] = {40, 40, 40, 40, 40, 40, 40, 40, 40};
    i32 value = 0;
    EXPECT_EQ(PDF_ReadCodewordSignature(equal, &value), 0);
    EXPECT_EQ(value, kPdfNoCodeword);
    value = 0;
    EXPECT_EQ(PDF_ReadRapSignature(equal, &value), 0);
    EXPECT_EQ(value, kPdfNoCodeword);
    // Positions that fall or jump: distances out of range never select a table outside the
    // four (a signature reader takes any positions).
    const i32 wild[][9] = {{900, 800, 700, 600, 500, 400, 300, 200, 100},
                           {0, -2000000000, 2000000000, 0, 7, 3, -5, 1, 2},
                           {0, 1, 2, 3, 4, 5, 6, 7, 1000000000},
                           {-2147483647, 0, 0, 0, 0, 0, 0, 0, 2147483647}};
    for (const auto &e : wild) {
        value = 0;
        const int ok = PDF_ReadCodewordSignature(e, &value);
        if (ok == 1) {
            EXPECT_TRUE(value >> 28 == 0 || value >> 28 == 3 || value >> 28 == 6);
        }
        value = 0;
        if (PDF_ReadRapSignature(e, &value) == 1) {
            EXPECT_TRUE(value >> 28 == 1 || value >> 28 == 2);
        }
    }
}

}  // namespace
