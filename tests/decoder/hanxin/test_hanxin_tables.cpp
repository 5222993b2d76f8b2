// Han Xin version tables, function information and the shared helpers: the values the
// reader relies on, checked against the rules they come from.
#include <set>

#include "hanxin_test_util.h"

namespace {

using namespace hxtest;
using namespace vexo;

class HanXinTables : public HanXinTest {};

// Data modules of a version: the reader on an all-zero matrix.
int DataModules(int version) {
    const int n = 2 * version + 21;
    return static_cast<int>(ReadModules(version, std::vector<u8>(static_cast<size_t>(n) * n, 0)).size());
}

TEST_F(HanXinTables, DataModulesAndCodewordTotals) {
    const std::pair<int, int> counts[] = {{1, 205},  {2, 301},   {3, 405},   {4, 439},   {5, 555},
                                          {10, 1243}, {11, 1289}, {22, 3383}, {32, 6033}, {84, 31091}};
    for (auto [v, c] : counts) EXPECT_EQ(DataModules(v), c) << "version " << v;
    for (int v = 1; v <= 84; ++v) {
        const int modules = DataModules(v);
        const int total = CSCN_TotalCodewords(v);
        EXPECT_EQ(total, modules / 8) << "version " << v;
        EXPECT_GE(modules - 8 * total, 1) << "version " << v;
        EXPECT_LE(modules - 8 * total, 7) << "version " << v;
        for (int l = 0; l < 4; ++l) {
            const CSCN_BLOCK_GROUP *g = CSCN_BlockGroups(v, l);
            ASSERT_NE(g, nullptr);
            int sum = 0;
            bool ended = false;
            for (int i = 0; i < kCscnBlockGroups; ++i) {
                if (g[i].blocks == 0) ended = true;
                else EXPECT_FALSE(ended) << "used groups come first, version " << v;
                EXPECT_LT(g[i].data, g[i].codewords + (g[i].blocks == 0 ? 1 : 0));
                sum += g[i].blocks * g[i].codewords;
            }
            EXPECT_EQ(sum, total) << "version " << v << " level " << l;
        }
        if (v > 1) { EXPECT_GE(CSCN_DataCodewords(v, 0), CSCN_DataCodewords(v - 1, 0)); }
    }
    EXPECT_EQ(CSCN_TotalCodewords(1), 25);
    EXPECT_EQ(CSCN_TotalCodewords(5), 69);
    EXPECT_EQ(CSCN_TotalCodewords(28), 623);
    EXPECT_EQ(CSCN_TotalCodewords(84), 3886);
    EXPECT_EQ(CSCN_DataCodewords(84, 0), 3264);
    EXPECT_EQ(CSCN_BlockGroups(0, 0), nullptr);
    EXPECT_EQ(CSCN_BlockGroups(85, 0), nullptr);
    EXPECT_EQ(CSCN_BlockGroups(1, 4), nullptr);
}

TEST_F(HanXinTables, TellingBlockRows) {
    struct Row {
        int version, level;
        std::vector<std::array<int, 3>> groups;
    };
    const Row rows[] = {
        {1, 0, {{1, 25, 21}}},  {1, 3, {{1, 25, 9}}},
        {5, 2, {{1, 69, 37}}},  {5, 3, {{1, 34, 14}, {1, 35, 13}}},
        {28, 0, {{4, 125, 105}, {1, 123, 103}}},  {28, 1, {{7, 80, 56}, {1, 63, 45}}},
        {28, 2, {{10, 57, 31}, {1, 53, 27}}},     {28, 3, {{10, 43, 17}, {3, 48, 20}, {1, 49, 21}}},
        {84, 0, {{30, 125, 105}, {1, 136, 114}}}, {84, 1, {{3, 67, 45}, {55, 67, 47}}},
        {84, 2, {{2, 52, 26}, {62, 61, 33}}},     {84, 3, {{79, 46, 18}, {4, 63, 33}}},
    };
    for (const Row &r : rows) {
        const CSCN_BLOCK_GROUP *g = CSCN_BlockGroups(r.version, r.level);
        for (int i = 0; i < kCscnBlockGroups; ++i) {
            const std::array<int, 3> want = i < static_cast<int>(r.groups.size()) ? r.groups[i] : std::array<int, 3>{0, 0, 0};
            EXPECT_EQ((std::array<int, 3>{g[i].blocks, g[i].codewords, g[i].data}), want)
                << "version " << r.version << " level " << r.level << " group " << i;
        }
    }
}

TEST_F(HanXinTables, VersionLookups) {
    EXPECT_EQ(CSCN_VersionForSize(189), 84);
    EXPECT_EQ(CSCN_VersionForSize(24), -1);
    EXPECT_EQ(CSCN_VersionForSize(23), 1);
    EXPECT_EQ(CSCN_VersionForSize(0), -1);
    EXPECT_EQ(CSCN_SizeOfVersion(0), 0);
    EXPECT_EQ(CSCN_SizeOfVersion(85), 0);
    EXPECT_EQ(CSCN_SizeOfVersion(84), 189);
    EXPECT_EQ(CSCN_BlockRemainder(11), 15);
    EXPECT_EQ(CSCN_BlockRemainder(84), 19);
    EXPECT_EQ(CSCN_BlockRemainder(10), 0);
    EXPECT_EQ(CSCN_BlockSize(3), 0);
    EXPECT_EQ(CSCN_BlockSize(5), 14);
    EXPECT_EQ(CSCN_BlockSize(84), 17);
    EXPECT_EQ(CSCN_BlockSize(85), 0);
    const int lasts[] = {3, 10, 21, 31, 40, 48, 57, 65, 74, 82, 84};
    for (int g = 1; g <= 11; ++g) {
        int first = -5, last = -5;
        CSCN_VersionGroupRange(g, &first, &last);
        EXPECT_EQ(first, g == 1 ? 1 : lasts[g - 2] + 1);
        EXPECT_EQ(last, lasts[g - 1]);
        for (int v = first; v <= last; ++v) EXPECT_EQ(CSCN_VersionGroup(v), g);
    }
    int first = -5, last = -5;
    CSCN_VersionGroupRange(12, &first, &last);
    EXPECT_EQ(first + last, 0);
    CSCN_VersionGroupRange(0, &first, &last);
    EXPECT_EQ(first + last, 0);
    EXPECT_EQ(CSCN_VersionGroup(0), 0);
    for (int v = 11; v <= 84; ++v) {
        const CSCN_VERSION_INFO *i = CSCN_VersionInfo(v);
        EXPECT_EQ(i->r + i->m * i->k, i->size) << v;
        EXPECT_GT(i->r, 1) << v;
    }
}

TEST_F(HanXinTables, GridNodePositions) {
    const int v = 84, size = 189, k = 17, r = 19, n = CSCN_VersionGroup(v);
    ASSERT_EQ(n, 11);
    std::vector<int> xs, ys;
    for (int c = 0; c <= n; ++c) {
        int x = -1, y = -1;
        ASSERT_EQ(CSCN_GridNodePosition(r, k, size, v, n, c, c, &x, &y), 1);
        xs.push_back(x);
        ys.push_back(y);
    }
    EXPECT_EQ(xs, (std::vector<int>{0, 18, 35, 52, 69, 86, 103, 120, 137, 154, 171, 188}));
    EXPECT_EQ(ys, (std::vector<int>{0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 188}));
    // The corner-only grid of versions 1-3 ends on the far corner module, not beyond it.
    int x = -1, y = -1;
    EXPECT_EQ(CSCN_GridNodePosition(0, 0, 23, 1, 1, 1, 1, &x, &y), 1);
    EXPECT_EQ(x, 22);
    EXPECT_EQ(y, 22);
    EXPECT_EQ(CSCN_GridNodePosition(0, 0, 23, 1, 1, 0, 1, &x, &y), 1);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 22);
    // Version 5: the 14-module block first along x, last along y.
    EXPECT_EQ(CSCN_GridNodePosition(0, 14, 31, 5, 2, 1, 1, &x, &y), 1);
    EXPECT_EQ(x, 14);
    EXPECT_EQ(y, 16);
    x = y = 77;
    EXPECT_EQ(CSCN_GridNodePosition(0, 14, 31, 5, 2, 3, 0, &x, &y), 0);
    EXPECT_EQ(CSCN_GridNodePosition(0, 14, 31, 85, 2, 0, 0, &x, &y), 0);
    EXPECT_EQ(CSCN_GridNodePosition(0, 14, 31, 5, 2, 0, -1, &x, &y), 0);
    EXPECT_EQ(x + y, 154);
}

TEST_F(HanXinTables, VersionCodeTableFollowsItsRule) {
    const CSCN_VERSION_CODE *t = CSCN_VersionCodeTable();
    std::set<int> versions;
    std::set<int> classesBySmallest;
    for (int i = 0; i < kCscnVersionCodeCount; ++i) {
        if (i > 0) { EXPECT_LT(t[i - 1].code, t[i].code); }
        EXPECT_EQ(__builtin_popcount(t[i].code & 0b11000111111) % 2, 0) << t[i].code;
        int a = -1, b = -1;
        ASSERT_EQ(CSCN_LookupVersionCode(t[i].code, &a, &b), 1);
        EXPECT_EQ(a, t[i].first);
        EXPECT_EQ(b, t[i].second);
        versions.insert(t[i].first);
        if (t[i].second != 0) versions.insert(t[i].second);
        // Same class: XOR within the span of the four generators.
        const int basis[4] = {0b10010000111, 0b01011001101, 0b00111101000, 0b00000011011};
        int smallest = t[i].code;
        for (int s = 1; s < 16; ++s) {
            int c = t[i].code;
            for (int j = 0; j < 4; ++j) if ((s >> j) & 1) c ^= basis[j];
            smallest = std::min(smallest, c);
            int a2 = -1, b2 = -1;
            ASSERT_EQ(CSCN_LookupVersionCode(c, &a2, &b2), 1);
            EXPECT_EQ(a2 * 100 + b2, a * 100 + b);
        }
        classesBySmallest.insert(smallest);
    }
    EXPECT_EQ(classesBySmallest.size(), 64u);
    EXPECT_EQ(versions.size(), 84u);
    EXPECT_EQ(*versions.begin(), 1);
    EXPECT_EQ(*versions.rbegin(), 84);
    int hits = 0;
    for (int c = -3; c < 2100; ++c) hits += CSCN_LookupVersionCode(c, nullptr, nullptr);
    EXPECT_EQ(hits, 1024);
    int a = -1, b = -1;
    EXPECT_EQ(CSCN_LookupVersionCode(0, &a, &b), 1);
    EXPECT_EQ(a * 100 + b, 7200);
    EXPECT_EQ(CSCN_LookupVersionCode(3, &a, &b), 1);
    EXPECT_EQ(a * 100 + b, 549);
    EXPECT_EQ(CSCN_LookupVersionCode(238, &a, &b), 1);
    EXPECT_EQ(a * 100 + b, 153);
    EXPECT_EQ(CSCN_LookupVersionCode(1, &a, &b), 0);
}

TEST_F(HanXinTables, FunctionBits) {
    struct Case {
        int byte, high, low, count;
        int ok, version;
    };
    const Case cases[] = {{104, 2, 1, 12, 1, 84}, {21, 0, 3, 12, 1, 1}, {20, 0, 0, 12, 0, 0},
                          {105, 0, 0, 12, 0, 0},  {50, 1, 1, 11, 0, 0}};
    for (const Case &c : cases) {
        Bits b;
        b.Add(c.byte, 8).Add(c.high, 2).Add(c.low, 2);
        int v = -7, h = -7, l = -7;
        EXPECT_EQ(CSCN_ReadFunctionBits(b.v.data(), c.count, &v, &h, &l), c.ok) << c.byte;
        if (c.ok) { EXPECT_EQ((std::array<int, 3>{v, h, l}), (std::array<int, 3>{c.version, c.high, c.low})); }
    }
    Bits bad;
    bad.Add(50, 8).Add(0, 4);
    bad.v[9] = 2;
    EXPECT_EQ(CSCN_ReadFunctionBits(bad.v.data(), 12, nullptr, nullptr, nullptr), 0);
}

// The 34-bit function information of symbols s0..s6, six unused bits.
std::vector<u8> FunctionWord(const std::vector<int> &symbols) {
    Bits b;
    for (int s : symbols) b.Add(static_cast<u32>(s), 4);
    b.Add(0, 6);
    return b.v;
}

TEST_F(HanXinTables, FunctionInformation) {
    EXPECT_EQ(RsEncode({1, 5, 6}, 4, 16, 0x13), (std::vector<int>{1, 5, 6, 0, 1, 1, 13}));
    const std::vector<int> good = {1, 5, 6, 0, 1, 1, 13};
    int v = 0, m = 0, l = 0;
    EXPECT_EQ(CSCN_ReadFunctionInfo(FunctionWord(good).data(), 34, &v, &m, &l), 1);
    EXPECT_EQ((std::array<int, 3>{v, l, m}), (std::array<int, 3>{1, 1, 2}));
    for (int pos = 0; pos < 7; ++pos) {
        std::vector<int> one = good;
        one[pos] ^= 9;
        EXPECT_EQ(CSCN_ReadFunctionInfo(FunctionWord(one).data(), 34, &v, &m, &l), 1) << pos;
        EXPECT_EQ((std::array<int, 3>{v, l, m}), (std::array<int, 3>{1, 1, 2})) << pos;
        for (int pos2 = pos + 1; pos2 < 7; ++pos2) {
            std::vector<int> two = one;
            two[pos2] ^= 5;
            EXPECT_EQ(CSCN_ReadFunctionInfo(FunctionWord(two).data(), 34, &v, &m, &l), 0) << pos << " " << pos2;
            EXPECT_EQ((std::array<int, 3>{v, l, m}), (std::array<int, 3>{-1, -1, -1}));
        }
    }
    for (int count : {33, 35, 0}) {
        std::vector<u8> w = FunctionWord(good);
        w.push_back(0);
        v = m = l = 5;
        EXPECT_EQ(CSCN_ReadFunctionInfo(w.data(), count, &v, &m, &l), 0);
        EXPECT_EQ((std::array<int, 3>{v, l, m}), (std::array<int, 3>{-1, -1, -1}));
    }
    // Indicators 20 and 105 decode, but name no version: the values stay.
    for (int indicator : {20, 105}) {
        const std::vector<int> w = RsEncode({indicator >> 4, indicator & 15, 0b1101}, 4, 16, 0x13);
        EXPECT_EQ(CSCN_ReadFunctionInfo(FunctionWord(w).data(), 34, &v, &m, &l), 0);
        EXPECT_EQ((std::array<int, 3>{v, l, m}), (std::array<int, 3>{indicator - 20, 3, 1}));
    }
}

TEST_F(HanXinTables, BitHelpers) {
    u8 bits[12] = {};
    EXPECT_EQ(CSCN_IntToBits(0xA5, 8, bits), 8);
    EXPECT_EQ(CSCN_BitsToInt(bits, 8), 0xA5);
    EXPECT_EQ(bits[0] * 10 + bits[7], 11);
    EXPECT_EQ(CSCN_IntToBits(5, 0, bits), 0);
    EXPECT_EQ(CSCN_BitsToInt(bits, 0), 0);
    EXPECT_EQ(CSCN_BitsToInt(bits, -3), 0);
    const i32 codewords[2] = {0x81, 0x7E};
    u8 out[16];
    EXPECT_EQ(CSCN_CodewordsToBits(codewords, 2, out), 16);
    EXPECT_EQ(CSCN_BitsToInt(out, 16), 0x817E);
}

TEST_F(HanXinTables, GeometryAndSortHelpers) {
    POINT_I32 out{-1, -1};
    CSCN_PointToward({0, 0}, {3, 4}, &out, 10);
    EXPECT_EQ(out.x * 100 + out.y, 608);
    CSCN_PointToward({7, 9}, {7, 9}, &out, 10);
    EXPECT_EQ(out.x * 100 + out.y, 709);
    CSCN_PointToward({10, 10}, {10, 0}, &out, 4);
    EXPECT_EQ(out.x * 100 + out.y, 1006);
    // The approximate root: the exponent halved, so 3-4-5 comes out as length 4 here.
    CSCN_PointTowardApprox({0, 0}, {3, 4}, &out, 10);
    EXPECT_GE(out.x, 6);
    EXPECT_LE(out.x, 8);
    CSCN_PointTowardApprox({0, 0}, {0, 16}, &out, 8);
    EXPECT_EQ(out.x * 100 + out.y, 8);
    CSCN_PointTowardApprox({4, 4}, {4, 4}, &out, 8);
    EXPECT_EQ(out.x * 100 + out.y, 404);
    EXPECT_EQ(CSCN_SignedArea2({0, 0}, {4, 0}, {0, 3}), 12);
    EXPECT_EQ(CSCN_SignedArea2({0, 0}, {0, 3}, {4, 0}), -12);
    EXPECT_EQ(CSCN_SignedArea2({1, 1}, {2, 2}, {5, 5}), 0);
    i32 keys[] = {3, 1, 2}, values[] = {30, 10, 20};
    CSCN_SortPairs(keys, 3, values);
    EXPECT_EQ((std::array<i32, 6>{keys[0], keys[1], keys[2], values[0], values[1], values[2]}),
              (std::array<i32, 6>{1, 2, 3, 10, 20, 30}));
    i32 k2[] = {5, 5, 1}, v2[] = {1, 2, 3};
    CSCN_SortPairs(k2, 3, v2);
    EXPECT_EQ((std::array<i32, 3>{v2[0], v2[1], v2[2]}), (std::array<i32, 3>{3, 1, 2}));
    CSCN_SortPairs(k2, 1, v2);
}

TEST_F(HanXinTables, MatrixMirrors) {
    std::vector<u8> m = {1, 2, 3, 4, 5, 6};
    CSCN_MirrorLeftRight(m.data(), 3, 2);
    EXPECT_EQ(m, (std::vector<u8>{3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(CSCN_MirrorTopBottom(m.data(), 2, 3), 1);
    EXPECT_EQ(m, (std::vector<u8>{5, 4, 1, 6, 3, 2}));
    std::vector<u8> wide(201 * 2, 1);
    wide[0] = 9;
    EXPECT_EQ(CSCN_MirrorTopBottom(wide.data(), 201, 2), 0);
    EXPECT_EQ(wide[0], 9);
    std::vector<u8> fits(200 * 2, 1);
    fits[0] = 9;
    EXPECT_EQ(CSCN_MirrorTopBottom(fits.data(), 200, 2), 1);
    EXPECT_EQ(fits[200], 9);
}

// Whether module (row, col) of the version is a function module: no data module sees it.
bool IsFunctionModule(int version, int row, int col) {
    const int n = 2 * version + 21;
    std::vector<u8> m(static_cast<size_t>(n) * n, 0);
    m[static_cast<size_t>(row) * n + col] = 1;
    const std::vector<u8> bits = ReadModules(version, m);
    for (u8 b : bits)
        if (b != 0) return false;
    return !bits.empty();
}

TEST_F(HanXinTables, AlignmentLayoutExamples) {
    // Version 5: the L with its corner at row 16, column 14.
    for (int c = 0; c <= 14; ++c) EXPECT_TRUE(IsFunctionModule(5, 16, c)) << c;
    for (int c = 0; c <= 13; ++c) EXPECT_TRUE(IsFunctionModule(5, 17, c)) << c;
    for (int r = 16; r <= 29; ++r) EXPECT_TRUE(IsFunctionModule(5, r, 14)) << r;
    for (int r = 17; r <= 30; ++r) EXPECT_TRUE(IsFunctionModule(5, r, 13)) << r;
    EXPECT_FALSE(IsFunctionModule(5, 17, 15));
    EXPECT_FALSE(IsFunctionModule(5, 15, 14));
    EXPECT_FALSE(IsFunctionModule(5, 18, 12));
    // Version 4: the same L has its corner at row 14, column 14.
    EXPECT_TRUE(IsFunctionModule(4, 14, 14));
    EXPECT_TRUE(IsFunctionModule(4, 14, 0));
    EXPECT_TRUE(IsFunctionModule(4, 27, 13));
    EXPECT_FALSE(IsFunctionModule(4, 16, 16));
    // Version 11: L corners and assistant squares.
    const std::pair<int, int> corners[] = {{0, 14}, {14, 28}, {14, 0}, {28, 42}, {28, 14}, {42, 28}, {42, 0}};
    for (auto [r, c] : corners) {
        EXPECT_TRUE(IsFunctionModule(11, r, c)) << r << "," << c;
        EXPECT_TRUE(IsFunctionModule(11, r + 1 < 43 ? r + 1 : r, c - 1 >= 0 ? c - 1 : c)) << r << "," << c;
    }
    const std::pair<int, int> squares[] = {{14, 0}, {14, 42}, {0, 28}, {42, 28}};
    for (auto [r, c] : squares)
        for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc) {
                const int rr = r + dr, cc = c + dc;
                if (rr >= 0 && rr < 43 && cc >= 0 && cc < 43) { EXPECT_TRUE(IsFunctionModule(11, rr, cc)) << rr << "," << cc; }
            }
    EXPECT_FALSE(IsFunctionModule(11, 20, 20));
    EXPECT_FALSE(IsFunctionModule(11, 2, 12));
}

TEST_F(HanXinTables, DeinterleaveTwentyFive) {
    std::vector<i32> stream(25), d(25, -1);
    for (int i = 0; i < 25; ++i) stream[i] = 100 + i;
    CSCN_Deinterleave(stream.data(), 25, d.data());
    EXPECT_EQ(d[12], 124);
    EXPECT_EQ(d[13], 101);
    EXPECT_EQ(d[0], 100);
    EXPECT_EQ(d[1], 102);
    for (int i = 0; i < 25; ++i) EXPECT_EQ(d[i], 100 + StreamIndex(i, 25)) << i;
}

TEST_F(HanXinTables, WorkMemoryLayout) {
    EXPECT_EQ(kCscnBitMatrixOffset, 39728);
    EXPECT_EQ(kCscnModuleBitsOffset % 4, 0);
    EXPECT_LT(kCscnWorkBytes, 240000);
    // Missing or small work memory: nothing is decoded, nothing written.
    std::vector<u8> m(23 * 23, 0);
    char text[16];
    CSCN_MATRIX_REQUEST req{};
    req.version = 1;
    req.size = 23;
    req.mask = 9;
    req.level = 9;
    req.matrix = m.data();
    req.text = text;
    Pix_SetSecondBuffer(nullptr);
    EXPECT_EQ(CSCN_DecodeMatrix(&req), 0);
    std::vector<u8> small(kCscnWorkBytes - 1, 0xEE);
    Pix_SetSecondBuffer(small.data());
    Pix_SetImageSize(kCscnWorkBytes - 1, 1);
    EXPECT_EQ(CSCN_DecodeMatrix(&req), 0);
    EXPECT_EQ(small[kCscnModuleBitsOffset], 0xEE);
}

}  // namespace
