// QR Code Model 1: symbols written here from the public standard (libzint has no Model 1
// encoder): finder, separator and timing patterns, both format copies under the Model 1
// format mask, the codewords in 2 x 2, 2 x 4 and 4 x 2 units with the blocks one after
// another, and the eight data masks of Model 2. They are read as matrices through the Model 1
// decoder and as rendered frames through the whole decoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "qr/qr_codewords.h"
#include "qr/qr_format.h"
#include "qr/qr_model1.h"
#include "qr/qr_symbol_stages.h"
#include "core/test_hooks.h"
#include "qr_test_util.h"
#include "support/render.h"
#include "support/testkit.h"

namespace {

using qr_test::BitWriter;

// Blocks per version and level (L, M, Q, H): count, codewords per block, data per block.
struct Blocks {
    int count, total, data;
};
const Blocks kBlocks[14][4] = {
    {{1, 26, 19}, {1, 26, 16}, {1, 26, 13}, {1, 26, 9}},       {{1, 46, 36}, {1, 46, 30}, {1, 46, 24}, {1, 46, 16}},
    {{1, 72, 57}, {1, 72, 44}, {1, 72, 36}, {1, 72, 24}},       {{1, 100, 80}, {1, 100, 60}, {1, 100, 50}, {1, 100, 34}},
    {{1, 134, 108}, {1, 134, 82}, {1, 134, 68}, {2, 67, 23}},  {{1, 170, 136}, {2, 85, 53}, {2, 85, 43}, {2, 85, 29}},
    {{1, 212, 170}, {2, 106, 66}, {2, 106, 54}, {3, 70, 24}},  {{2, 128, 104}, {2, 128, 80}, {2, 128, 64}, {3, 85, 29}},
    {{2, 153, 123}, {2, 153, 93}, {3, 102, 52}, {3, 102, 34}}, {{2, 179, 145}, {2, 179, 111}, {3, 119, 61}, {4, 89, 31}},
    {{2, 208, 168}, {4, 104, 64}, {4, 104, 52}, {5, 83, 29}},  {{2, 238, 192}, {4, 119, 73}, {4, 119, 61}, {5, 95, 33}},
    {{3, 180, 144}, {4, 135, 83}, {4, 135, 69}, {6, 90, 32}},  {{3, 203, 163}, {4, 152, 92}, {5, 122, 62}, {6, 101, 35}},
};
const int kUnits[14] = {26, 46, 72, 100, 134, 170, 212, 256, 306, 358, 416, 476, 542, 610};

// The data mask condition of Model 2 (row i, column j).
bool MaskAt(int mask, int i, int j) {
    switch (mask) {
        case 0: return (i + j) % 2 == 0;
        case 1: return i % 2 == 0;
        case 2: return j % 3 == 0;
        case 3: return (i + j) % 3 == 0;
        case 4: return (i / 2 + j / 3) % 2 == 0;
        case 5: return (i * j) % 2 + (i * j) % 3 == 0;
        case 6: return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
        default: return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
    }
}

struct Unit {
    int x, y, w, h;
};

// Version 1's units as listed: (column, row) of the top-left module.
std::vector<Unit> Version1Units() {
    std::vector<Unit> u = {{19, 17, 2, 2}, {19, 13, 2, 4}, {19, 9, 2, 4}, {17, 17, 2, 4}, {17, 13, 2, 4}, {17, 9, 2, 4}};
    for (int y = 19; y >= 9; y -= 2) u.push_back({13, y, 4, 2});
    for (int y : {19, 17, 15, 13, 11, 9, 7, 4, 2, 0}) u.push_back({9, y, 4, 2});
    for (int x : {7, 4, 2, 0}) u.push_back({x, 9, 2, 4});
    return u;
}

// The units of any version in reading order: the right-hand column pairs and group, then
// the 4-wide groups leftwards (every second of the first ones starting two rows higher),
// then the pairs left of the timing column.
std::vector<Unit> Units(int version) {
    if (version == 1) return Version1Units();
    const int n = 4 * version + 17;
    std::vector<Unit> u = {{n - 2, n - 4, 2, 2}};
    // Every 8 rows from n - 8; odd versions end on 13 and then 9, even ones on 17 and 9.
    std::vector<int> rows;
    for (int y = n - 8; y >= 9; y -= 8) rows.push_back(y);
    if (rows.back() == 13) rows.push_back(9);
    for (int y : rows) u.push_back({n - 2, y, 2, 4});
    for (int y = n - 4; y >= 9; y -= 4) u.push_back({n - 4, y, 2, 4});
    for (int y = n - 2; y >= 9; y -= 2) u.push_back({n - 8, y, 4, 2});
    int higher = version / 2;
    int group = 0;
    for (int x = n - 12; x > 8; x -= 4, ++group) {
        int y = n - 2;
        if (group % 2 == 0 && higher > 0) y = n - 4, --higher;
        for (; y >= 9; y -= 2) u.push_back({x, y, 4, 2});
        for (int low : {7, 4, 2, 0}) u.push_back({x, low, 4, 2});
    }
    for (int x : {7, 4, 2, 0}) {
        for (int y = n - 12; y >= 9; y -= 4) u.push_back({x, y, 2, 4});
    }
    return u;
}

// The codewords of one symbol: the data stream (behind the first codeword's four 0 bits) in
// byte mode, terminator and pad codewords, the blocks' check codewords behind all data.
std::vector<int> Codewords(int version, int level, const std::string &text) {
    const Blocks b = kBlocks[version - 1][level];
    BitWriter w;
    w.Put(0, 4).Put(4, 4).Put(static_cast<uint32_t>(text.size()), version <= 9 ? 8 : 16);
    for (unsigned char c : text) w.Put(c, 8);
    const size_t dataCount = static_cast<size_t>(b.count * b.data);
    if (w.BitCount() + 4 <= 8 * dataCount) w.Put(0, 4);
    const std::vector<uint8_t> data = w.Bytes(dataCount, true);
    std::vector<int> out(data.begin(), data.end());
    for (int j = 0; j < b.count; ++j) {
        const std::vector<uint8_t> block(data.begin() + j * b.data, data.begin() + (j + 1) * b.data);
        for (uint8_t c : qr_test::RsCheck(block, b.total - b.data)) out.push_back(c);
    }
    return out;
}

void PutFinder(std::vector<uint8_t> &m, int n, int x0, int y0) {
    for (int r = 0; r < 7; ++r) {
        for (int c = 0; c < 7; ++c) {
            const int d = std::max(std::abs(r - 3), std::abs(c - 3));
            m[static_cast<size_t>((y0 + r) * n + x0 + c)] = d != 2 ? 1 : 0;
        }
    }
}

int Model1FormatCodeword(int data) {
    int rem = data << 10;
    for (int b = 14; b >= 10; --b) {
        if ((rem >> b) & 1) rem ^= 0x537 << (b - 10);
    }
    return (data << 10) | rem;
}

void PutFormat(std::vector<uint8_t> &m, int n, int word) {
    const int cells[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                              {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    for (int i = 0; i < 15; ++i) {
        const uint8_t bit = static_cast<uint8_t>((word >> (14 - i)) & 1);
        m[static_cast<size_t>(cells[i][0] * n + cells[i][1])] = bit;
        const int r = i < 7 ? n - 1 - i : 8;
        const int c = i < 7 ? 8 : n - 15 + i;
        m[static_cast<size_t>(r * n + c)] = bit;
    }
}

struct Model1 {
    int n = 0;
    std::vector<uint8_t> m;
    std::vector<int> codewords;
};

// A whole Model 1 symbol. Modules no unit covers (the rows the right-hand pair skips, the
// corner below the first unit's read half) carry the mask over light.
Model1 WriteModel1(int version, int level, int mask, const std::string &text) {
    Model1 s;
    s.n = 4 * version + 17;
    const int n = s.n;
    s.m.assign(static_cast<size_t>(n * n), 0);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) s.m[static_cast<size_t>(r * n + c)] = MaskAt(mask, r, c) ? 1 : 0;
    }
    s.codewords = Codewords(version, level, text);
    const std::vector<Unit> units = Units(version);
    for (size_t i = 0; i < units.size(); ++i) {
        Unit u = units[i];
        // The first codeword is written whole: its four 0 bits fill the corner below.
        if (i == 0) u.h = 4;
        const int value = i < s.codewords.size() ? s.codewords[i] : 0;
        for (int k = 0; k < u.w * u.h; ++k) {
            const int c = u.x + k % u.w, r = u.y + k / u.w;
            s.m[static_cast<size_t>(r * n + c)] = static_cast<uint8_t>(((value >> k) & 1) ^ (MaskAt(mask, r, c) ? 1 : 0));
        }
    }
    // Separators, finders, timing, the dark module and the format copies.
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            s.m[static_cast<size_t>(r * n + c)] = 0;
            s.m[static_cast<size_t>(r * n + n - 1 - c)] = 0;
            s.m[static_cast<size_t>((n - 1 - r) * n + c)] = 0;
        }
    }
    PutFinder(s.m, n, 0, 0);
    PutFinder(s.m, n, n - 7, 0);
    PutFinder(s.m, n, 0, n - 7);
    for (int k = 8; k < n - 8; ++k) {
        s.m[static_cast<size_t>(6 * n + k)] = k % 2 == 0 ? 1 : 0;
        s.m[static_cast<size_t>(k * n + 6)] = k % 2 == 0 ? 1 : 0;
    }
    s.m[static_cast<size_t>((n - 8) * n + 8)] = 1;
    const int levelBits[4] = {1, 0, 3, 2};
    PutFormat(s.m, n, Model1FormatCodeword((levelBits[level] << 3) | mask) ^ vexo::kQrFormatMaskModel1);
    return s;
}

std::string Payload(int seed, int length) {
    std::mt19937 rng(static_cast<uint32_t>(seed));
    std::string s;
    for (int i = 0; i < length; ++i) s.push_back(static_cast<char>(32 + rng() % 95));
    return s;
}

// Longest byte-mode text of a version and level.
int Capacity(int version, int level) {
    const Blocks b = kBlocks[version - 1][level];
    return (8 * b.count * b.data - 4 - 4 - (version <= 9 ? 8 : 16)) / 8;
}

class QrModel1Test : public qr_test::QrTest {
protected:
    void SetUp() override {
        qr_test::QrTest::SetUp();
        vexo::g_qrSymbol.kind = vexo::kQrKindModel1;
        vexo::g_qrSymbol.model1 = 1;
    }
    int Decode(Model1 &s, int level, int mask) {
        vexo::g_qrData.level = level;
        vexo::g_qrData.mask = mask;
        return vexo::QR_DecodeModel1(s.m.data(), s.n, out, vexo::kQrTextCapacity);
    }
    std::string Got() const { return qr_test::Text(out, vexo::g_qrData.length); }
    uint8_t out[vexo::kQrTextCapacity] = {};
};

class QrModel1ImagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        testkit::InitDecoder();
    }
};

TEST_F(QrModel1Test, EveryVersionLevelAndMaskReads) {
    for (int version = 1; version <= 14; ++version) {
        for (int level = 0; level < 4; ++level) {
            for (int mask = 0; mask < 8; ++mask) {
                const int seed = version * 100 + level * 10 + mask;
                SCOPED_TRACE("version " + std::to_string(version) + " level " + std::to_string(level) + " mask " +
                             std::to_string(mask) + " seed " + std::to_string(seed));
                const std::string text = Payload(seed, std::min(Capacity(version, level), 20 + seed % 40));
                Model1 s = WriteModel1(version, level, mask, text);
                vexo::g_qrSymbol.kind = vexo::kQrKindModel1;
                ASSERT_EQ(Decode(s, level, mask), 0);
                EXPECT_EQ(Got(), text);
                EXPECT_EQ(vexo::g_qrSymbol.kind, vexo::kQrKindModel1);
                EXPECT_EQ(qr_test::AimId(), "]Q0");
                EXPECT_EQ(vexo::g_qrData.versionIndex, version - 1);
            }
        }
    }
}

// The units as read are the codewords as written, and every block is already a codeword:
// correction changes nothing. The used units per level: blocks x codewords.
TEST_F(QrModel1Test, UnitsAndBlocks) {
    for (int version = 1; version <= 14; ++version) {
        for (int level = 0; level < 4; ++level) {
            SCOPED_TRACE("version " + std::to_string(version) + " level " + std::to_string(level));
            const int mask = (version + level) % 8;
            Model1 s = WriteModel1(version, level, mask, Payload(version, std::min(Capacity(version, level), 10)));
            int32_t units[vexo::kQrModel1MaxUnits];
            ASSERT_EQ(vexo::QR_ReadModel1Codewords(s.m.data(), s.n, mask, units), kUnits[version - 1]);
            const Blocks b = kBlocks[version - 1][level];
            const int used = b.count * b.total;
            EXPECT_LE(used, kUnits[version - 1]);
            EXPECT_EQ(units[0], s.codewords[0] & 0xF);
            for (int i = 1; i < used; ++i) ASSERT_EQ(units[i], s.codewords[static_cast<size_t>(i)]) << i;
            int32_t corrected[vexo::kQrModel1MaxUnits];
            std::copy(units, units + vexo::kQrModel1MaxUnits, corrected);
            vexo::g_qrData.versionIndex = version - 1;
            vexo::g_qrData.level = level;
            EXPECT_EQ(vexo::QR_CorrectModel1Blocks(corrected), b.count * b.data);
            for (int i = 0; i < used; ++i) ASSERT_EQ(corrected[i], units[i]) << i;
        }
    }
    EXPECT_EQ(kBlocks[13][0].count * kBlocks[13][0].total, 609);
    EXPECT_EQ(kBlocks[13][3].count * kBlocks[13][3].total, 606);
}

// Version 1 reads exactly the listed units: a matrix holding unit i's index in unit i, through
// the list, reads back in order.
TEST_F(QrModel1Test, VersionOneReadsTheListedUnits) {
    const int n = 21;
    std::vector<uint8_t> m(static_cast<size_t>(n * n), 0);
    const std::vector<Unit> units = Version1Units();
    ASSERT_EQ(units.size(), 26u);
    for (size_t i = 0; i < units.size(); ++i) {
        const Unit &u = units[i];
        const int value = static_cast<int>(i) * 9 + 7;
        for (int k = 0; k < u.w * u.h; ++k) m[static_cast<size_t>((u.y + k / u.w) * n + u.x + k % u.w)] = (value >> k) & 1;
    }
    int32_t read[vexo::kQrModel1MaxUnits];
    // Under mask 1 (even rows inverted).
    for (int r = 0; r < n; r += 2) {
        for (int c = 0; c < n; ++c) m[static_cast<size_t>(r * n + c)] ^= 1;
    }
    ASSERT_EQ(vexo::QR_ReadModel1Codewords(m.data(), n, 1, read), 26);
    for (size_t i = 0; i < units.size(); ++i) {
        const int value = static_cast<int>(i) * 9 + 7;
        EXPECT_EQ(read[i], i == 0 ? value & 0xF : value & 0xFF) << i;
    }
}

TEST_F(QrModel1Test, CornerBelowTheFirstUnitIsNotRead) {
    for (int version : {1, 6, 14}) {
        const std::string text = Payload(version, std::min(Capacity(version, 2), 12));
        Model1 s = WriteModel1(version, 2, 5, text);
        const int n = s.n;
        for (int r = n - 2; r < n; ++r) {
            for (int c = n - 2; c < n; ++c) s.m[static_cast<size_t>(r * n + c)] ^= 1;
        }
        ASSERT_EQ(Decode(s, 2, 5), 0) << version;
        EXPECT_EQ(Got(), text);
    }
}

TEST_F(QrModel1Test, UncorrectableBlockFails) {
    Model1 s = WriteModel1(3, 0, 2, "uncorrectable");
    // Level L of version 3 corrects 7 of its 72 codewords: spoil 8 data units.
    const std::vector<Unit> units = Units(3);
    for (int i = 1; i <= 8; ++i) {
        const Unit &u = units[static_cast<size_t>(i)];
        s.m[static_cast<size_t>(u.y * s.n + u.x)] ^= 1;
    }
    EXPECT_EQ(Decode(s, 0, 2), -2);
    EXPECT_EQ(vexo::QR_GetErrorWord(), vexo::kQrErrBlock);
    int32_t read[vexo::kQrModel1MaxUnits];
    EXPECT_EQ(vexo::QR_ReadModel1Codewords(s.m.data(), 29, 8, read), 0) << "mask";
    EXPECT_EQ(vexo::QR_ReadModel1Codewords(s.m.data(), 27, 2, read), 0) << "no dimension";
    std::vector<uint8_t> big(77 * 77, 0);
    EXPECT_EQ(vexo::QR_ReadModel1Codewords(big.data(), 77, 2, read), 0) << "version 15";
}

// Rendered Model 1 symbols through the whole decoder. From version 2 the alignment search
// runs over the data area first; data that happens to pass an alignment template there drops
// the Model 1 reading (such cases are listed with their seeds below).
TEST_F(QrModel1ImagesTest, RenderedSymbolsRead) {
    struct Case {
        int version, level, mask;
        double module, angle;
        int seed;
    };
    const Case cases[] = {
        {1, 0, 0, 5, 0, 1}, {1, 3, 4, 4, 30, 2}, {2, 1, 2, 5, 15, 3}, {2, 2, 6, 6, 90, 4},
        {3, 0, 3, 5, 0, 5},  {3, 3, 7, 4, 45, 6}, {4, 1, 1, 5, 10, 7}, {4, 2, 5, 4, 0, 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " seed " + std::to_string(c.seed));
        const std::string text = Payload(c.seed, std::min(Capacity(c.version, c.level), 12));
        const Model1 s = WriteModel1(c.version, c.level, c.mask, text);
        const testkit::Symbol sym = testkit::FromModules(s.n, s.n, s.m);
        ASSERT_TRUE(sym.ok);
        testkit::RenderOptions o;
        o.moduleSize = c.module;
        o.angleDeg = c.angle;
        o.blurSigma = 0.6;
        o.noiseSigma = 1;
        o.seed = static_cast<uint64_t>(c.seed);
        const testkit::Rendered r = testkit::Render(sym, o);
        EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(r.frame), text, 0x102, "]Q0"));
    }
}

}  // namespace

namespace {

// Versions 1-4 at every level with two masks each, turned in steps of 15 degrees: all read
// (a miss would be a data area that passes an alignment template; see below).
TEST_F(QrModel1ImagesTest, RenderedSweep) {
    std::string misses;
    int read = 0, total = 0;
    for (int version = 1; version <= 4; ++version) {
        for (int level = 0; level < 4; ++level) {
            for (int mask = level; mask < 8; mask += 4) {
                const int seed = 1000 + version * 100 + level * 10 + mask;
                const std::string text = Payload(seed, std::min(Capacity(version, level), 16));
                const Model1 s = WriteModel1(version, level, mask, text);
                testkit::RenderOptions o;
                o.moduleSize = 4 + seed % 3;
                o.angleDeg = 15.0 * (seed % 24);
                o.blurSigma = 0.6;
                o.noiseSigma = 1;
                o.seed = static_cast<uint64_t>(seed);
                const testkit::Rendered r = testkit::Render(testkit::FromModules(s.n, s.n, s.m), o);
                const testkit::DecodeResult d = testkit::DecodeFrame(r.frame);
                ++total;
                if (!d.decoded) {
                    char buf[16];
                    std::snprintf(buf, sizeof buf, " %d", seed);
                    misses += buf;
                    continue;
                }
                EXPECT_TRUE(testkit::ReadAs(d, text, 0x102, "]Q0")) << seed;
                ++read;
            }
        }
    }
    std::printf("model 1 rendered: read %d of %d; missed seeds:%s\n", read, total, misses.c_str());
}

}  // namespace

namespace {

// By design a Model 1 candidate whose data area passes an alignment template where Model 2
// has its bottom-right pattern is read as Model 2 only: a version-2 symbol at level H with an
// alignment pattern painted over its data at (18, 18) (Reed-Solomon would restore the data)
// is not read; without the painting it is.
TEST_F(QrModel1ImagesTest, AlignmentLookalikeInTheDataDropsModelOne) {
    const std::string text = "lookalike";
    for (bool paint : {false, true}) {
        Model1 s = WriteModel1(2, 3, 0, text);
        if (paint) {
            for (int r = -2; r <= 2; ++r) {
                for (int c = -2; c <= 2; ++c) {
                    const int d = std::max(std::abs(r), std::abs(c));
                    s.m[static_cast<size_t>((18 + r) * s.n + 18 + c)] = d != 1 ? 1 : 0;
                }
            }
        }
        testkit::RenderOptions o;
        o.moduleSize = 5;
        o.blurSigma = 0.6;
        o.noiseSigma = 1;
        const testkit::Rendered r = testkit::Render(testkit::FromModules(s.n, s.n, s.m), o);
        const testkit::DecodeResult d = testkit::DecodeFrame(r.frame);
        EXPECT_EQ(d.decoded, !paint) << paint;
        if (!paint) {
            EXPECT_TRUE(testkit::ReadAs(d, text, 0x102, "]Q0"));
        }
    }
}

}  // namespace
