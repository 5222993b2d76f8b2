// libzint's Han Xin module matrices through the data layer: every version and level with the
// mask and level given and searched, the data modes (digits, text with control bytes, every
// byte, GB 2312 and GB 18030 characters, ECI), the function information read from the
// matrix, codewords damaged between the stages, and the mends of the level search and of
// the size check.
#include <iconv.h>

#include <random>

#include "hanxin_test_util.h"
#include "support/symbol.h"

namespace {

using namespace hxtest;
using namespace vexo;

class HanXinSymbols : public HanXinTest {};

struct Payload {
    const char *name;
    std::string unit;  // repeated
    int inputMode;
    int eci;
    double charsPerCodeword;  // a first guess of how many characters a data codeword holds
};

std::string AllBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
    return s;
}

// Chinese: GB 2312 region 1 (rows B0-D7) and region 2 (rows D8-F7), its symbol rows (【】 ā),
// GB 18030 two-byte (丂) and four-byte (㐀 䶵) characters.
const Payload kPayloads[] = {
    {"digits", "31415926535897932384", DATA_MODE, 0, 2.4},
    {"text", "Han Xin 2D, v84! (a-z) #42 ~ok\x01\x1b\x7f\t", DATA_MODE, 0, 1.2},
    {"bytes", AllBytes(), DATA_MODE, 0, 0.98},
    {"chinese", "汉信码中国【数据】簋亍丂冈㐀䶵ā", UNICODE_MODE, 0, 0.6},
    {"eci3", "Caf\xe9 na\xefve", DATA_MODE, 3, 0.98},
    {"eci26", "\xe6\xb1\x89 utf-8", DATA_MODE, 26, 0.98},
    {"eci899", "\x01\x02\x80\xff", DATA_MODE, 899, 0.98},
};

std::string ToGb18030(const std::string &utf8) {
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    std::string out(utf8.size() * 4 + 8, '\0');
    char *in = const_cast<char *>(utf8.data());
    size_t inLeft = utf8.size();
    char *o = out.data();
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return "<iconv failed>";
    out.resize(out.size() - outLeft);
    return out;
}

std::string Expected(const Payload &p, const std::string &data) {
    std::string body = p.inputMode == UNICODE_MODE ? ToGb18030(data) : data;
    if (p.eci == 0) return body;
    char prefix[8];
    std::snprintf(prefix, sizeof(prefix), "\\%06d", p.eci);
    return prefix + body;
}

testkit::Symbol HanXin(const std::string &data, int version, int level, int mask, int inputMode, int eci) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_HANXIN;
    in.data = data;
    in.inputMode = inputMode;
    in.option1 = level + 1;
    in.option2 = version;
    in.option3 = mask >= 0 ? (mask + 1) << 8 : 0;
    in.eci = eci;
    return testkit::Encode(in);
}

// The first n characters of the unit repeated (UTF-8 sequences kept whole in Unicode mode).
std::string Characters(const Payload &p, int n) {
    std::string out;
    size_t i = 0;
    for (int c = 0; c < n; ++c) {
        size_t len = 1;
        if (p.inputMode == UNICODE_MODE) {
            const u8 lead = static_cast<u8>(p.unit[i]);
            len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        }
        out.append(p.unit, i, len);
        i = (i + len) % p.unit.size();
    }
    return out;
}

// A symbol of the version holding as many characters as a first guess and halving allow.
testkit::Symbol Fill(const Payload &p, int version, int level, int mask, std::string *data) {
    for (int n = std::max(1, static_cast<int>(CSCN_DataCodewords(version, level) * p.charsPerCodeword)); n >= 1; n /= 2) {
        const std::string d = Characters(p, n);
        testkit::Symbol s = HanXin(d, version, level, mask, p.inputMode, p.eci);
        if (s.ok && s.rows == 2 * version + 21) {
            *data = d;
            return s;
        }
    }
    return testkit::Symbol{};
}

// The 17 bits of a function-information region (Part of the symbol reader's table).
std::vector<u8> Region(const testkit::Symbol &s, int k) {
    static const int kPoints[17][2] = {{0, 8}, {1, 8}, {2, 8}, {3, 8}, {4, 8}, {5, 8}, {6, 8}, {7, 8}, {8, 8},
                                       {8, 7}, {8, 6}, {8, 5}, {8, 4}, {8, 3}, {8, 2}, {8, 1}, {8, 0}};
    const int last = s.rows - 1;
    std::vector<u8> bits;
    for (const auto &p : kPoints) {
        int x = p[0], y = p[1];
        // Regions 1-3 are region 0 turned about the symbol's centre by quarter turns.
        for (int turn = 0; turn < k; ++turn) {
            const int nx = last - y, ny = x;
            x = nx;
            y = ny;
        }
        bits.push_back(s.Dark(y, x) ? 1 : 0);
    }
    return bits;
}

struct Info {
    int version = -1, mask = -1, level = -1, ok = 0;
};

Info FunctionInfo(const testkit::Symbol &s, int first, int second) {
    std::vector<u8> w = Region(s, first);
    const std::vector<u8> b = Region(s, second);
    w.insert(w.end(), b.begin(), b.end());
    Info i;
    i.ok = CSCN_ReadFunctionInfo(w.data(), 34, &i.version, &i.mask, &i.level);
    return i;
}

struct Outcome {
    int ok = 0;
    std::string text;
    u32 mask = 99, level = 99;
};

Outcome DecodeMatrix(const testkit::Symbol &s, int version, u32 mask, u32 level) {
    std::vector<char> text(kCscnTextCapacity + 1, 0);
    CSCN_MATRIX_REQUEST req{};
    req.version = version;
    req.size = s.rows;
    req.mask = mask;
    req.level = level;
    req.matrix = s.modules.data();
    req.text = text.data();
    Outcome o;
    o.ok = CSCN_DecodeMatrix(&req);
    o.text.assign(text.data(), static_cast<size_t>(std::max(0, req.textLength)));
    o.mask = req.mask;
    o.level = req.level;
    return o;
}

// One symbol decoded with mask and level given and unknown; failures are counted in `failures`.
void RoundTrip(int version, int level, int mask, const Payload &p, int *failures) {
    std::string data;
    const testkit::Symbol s = Fill(p, version, level, mask, &data);
    ASSERT_TRUE(s.ok) << p.name << " v" << version << " l" << level;
    const Info info = FunctionInfo(s, 0, 1);
    ASSERT_EQ(info.ok, 1) << p.name << " v" << version;
    ASSERT_EQ(info.version, version);
    ASSERT_EQ(info.level, level);
    ASSERT_EQ(info.mask, mask);
    const std::string want = Expected(p, data);
    const Outcome given = DecodeMatrix(s, version, static_cast<u32>(mask), static_cast<u32>(level));
    const Outcome searched = DecodeMatrix(s, version, 7, 0xFFFFFFFFu);
    const bool good = given.ok == 1 && given.text == want && searched.ok == 1 && searched.text == want &&
                      searched.mask == static_cast<u32>(mask) && searched.level == static_cast<u32>(level);
    if (!good) ++*failures;
    EXPECT_TRUE(good) << p.name << " version " << version << " level " << level << " mask " << mask << ": given "
                      << given.ok << " searched " << searched.ok << " (mask " << searched.mask << " level "
                      << searched.level << "), " << data.size() << " bytes";
}

TEST_F(HanXinSymbols, RoundTripSample) {
    const int versions[] = {1, 2, 3, 4, 5, 6, 10, 11, 14, 21, 22, 28, 40, 41, 57, 66, 71, 84};
    int failures = 0, n = 0;
    for (int v : versions) {
        for (int l = 0; l < 4; ++l) {
            const Payload &p = kPayloads[(v + l) % std::size(kPayloads)];
            RoundTrip(v, l, (v + 3 * l) % 4, p, &failures);
            ++n;
        }
    }
    EXPECT_EQ(failures, 0) << "of " << n;
}

TEST_F(HanXinSymbols, SlowRoundTripEveryVersionAndLevel) {
    int failures = 0;
    int perMask[4] = {};
    for (int v = 1; v <= 84; ++v) {
        for (int l = 0; l < 4; ++l) {
            const int mask = (v + l) % 4;
            ++perMask[mask];
            RoundTrip(v, l, mask, kPayloads[(v * 4 + l) % std::size(kPayloads)], &failures);
        }
    }
    for (int m = 0; m < 4; ++m) EXPECT_GE(perMask[m], 20);
    EXPECT_EQ(failures, 0);
}

TEST_F(HanXinSymbols, FunctionInformationOfEveryRegionPair) {
    const std::pair<int, int> pairs[] = {{0, 1}, {2, 1}, {2, 3}, {0, 3}};
    for (int v : {1, 7, 23, 84}) {
        for (int mask = 0; mask < 4; ++mask) {
            const int level = (v + mask) % 4;
            const testkit::Symbol s = HanXin("12345", v, level, mask, DATA_MODE, 0);
            ASSERT_TRUE(s.ok);
            for (auto [a, b] : pairs) {
                const Info i = FunctionInfo(s, a, b);
                EXPECT_EQ(i.ok, 1) << v << " " << a << b;
                EXPECT_EQ((std::array<int, 3>{i.version, i.level, i.mask}), (std::array<int, 3>{v, level, mask}))
                    << "version " << v << " regions " << a << b;
            }
        }
    }
}

// Damage per block: up to floor((check - 1) / 2) codewords correct, one more fails.
TEST_F(HanXinSymbols, DamagedBlocks) {
    struct Case {
        int version, level;
        unsigned seed;
    };
    const Case cases[] = {{1, 0, 1}, {1, 3, 2}, {5, 3, 3}, {13, 2, 4}, {28, 3, 5}, {40, 1, 6}};
    for (const Case &c : cases) {
        const Payload &p = kPayloads[2];
        std::string data;
        const testkit::Symbol s = Fill(p, c.version, c.level, 1, &data);
        ASSERT_TRUE(s.ok);
        const int total = CSCN_TotalCodewords(c.version);
        for (int extra = 0; extra <= 1; ++extra) {
            std::vector<char> text(kCscnTextCapacity + 1, 0);
            CSCN_MATRIX_REQUEST req{};
            req.version = c.version;
            req.size = s.rows;
            req.mask = 1;
            req.level = static_cast<u32>(c.level);
            req.matrix = s.modules.data();
            req.text = text.data();
            ASSERT_EQ(CSCN_PrepareRequest(&req), 1);
            CSCN_ReadDataModules(&req);
            std::mt19937 rng(c.seed);
            const CSCN_BLOCK_GROUP *g = CSCN_BlockGroups(c.version, c.level);
            int start = 0;
            for (int gi = 0; gi < kCscnBlockGroups; ++gi) {
                for (int b = 0; b < g[gi].blocks; ++b) {
                    const int t = g[gi].codewords, check = t - g[gi].data;
                    // Only the first block of the last group gets one too many.
                    const bool over = extra == 1 && (gi + 1 == kCscnBlockGroups || g[gi + 1].blocks == 0) && b == 0;
                    const int errors = (check - 1) / 2 + (over ? 1 : 0);
                    std::vector<int> pos(t);
                    for (int i = 0; i < t; ++i) pos[i] = i;
                    std::shuffle(pos.begin(), pos.end(), rng);
                    for (int e = 0; e < errors; ++e) {
                        const int si = StreamIndex(start + pos[e], total);
                        const int flip = 1 + static_cast<int>(rng() % 255);
                        for (int bit = 0; bit < 8; ++bit) req.moduleBits[8 * si + bit] ^= static_cast<u8>((flip >> (7 - bit)) & 1);
                    }
                    start += t;
                }
            }
            const int corrected = CSCN_CorrectBlocks(&req);
            EXPECT_EQ(corrected, extra == 0 ? 1 : 0) << "version " << c.version << " level " << c.level << " seed "
                                                        << c.seed << " extra " << extra;
            if (extra == 0 && corrected == 1) {
                req.streamBitCount = static_cast<u32>(CSCN_CodewordsToBits(req.dataCodewords, req.dataCodewordCount, req.streamBits));
                req.textLength = 0;
                EXPECT_EQ(CSCN_DecodeBitStream(req.streamBits, req.streamBitCount, req.text, &req.textLength), 1);
                EXPECT_EQ(std::string(req.text, req.textLength), Expected(p, data));
            }
        }
    }
}

TEST_F(HanXinSymbols, GivenPairFailsAtOnceAndSearchEndsAtThree) {
    std::string data;
    const testkit::Symbol s = Fill(kPayloads[0], 3, 0, 2, &data);
    ASSERT_TRUE(s.ok);
    // Level 0 has 8 check codewords: ruin most of the matrix's data area.
    testkit::Symbol ruined = s;
    for (int r = 9; r < 14; ++r)
        for (int c = 0; c < ruined.cols; ++c) ruined.modules[static_cast<size_t>(r) * ruined.cols + c] ^= 1;
    const Outcome given = DecodeMatrix(ruined, 3, 2, 0);
    EXPECT_EQ(given.ok, 0);
    EXPECT_EQ(given.mask * 10 + given.level, 20u);  // no other pair tried
    const Outcome searched = DecodeMatrix(ruined, 3, 2, 9);
    EXPECT_EQ(searched.ok, 0);
    EXPECT_EQ(searched.mask * 10 + searched.level, 33u);
    // A known mask with an unknown level still searches from mask 0.
    const Outcome found = DecodeMatrix(s, 3, 1, 9);
    EXPECT_EQ(found.ok, 1);
    EXPECT_EQ(found.mask * 10 + found.level, 20u);
}

TEST_F(HanXinSymbols, SizeMustMatchTheVersion) {
    std::vector<u8> big(189 * 189, 1);
    std::vector<char> text(kCscnTextCapacity + 1, 0);
    for (auto [version, size] : {std::pair{1, 189}, {84, 23}, {0, 21}, {-1, 23}, {85, 191}, {2, 23}}) {
        CSCN_MATRIX_REQUEST req{};
        req.version = version;
        req.size = size;
        req.mask = 0;
        req.level = 0;
        req.matrix = big.data();
        req.text = text.data();
        EXPECT_EQ(CSCN_DecodeMatrix(&req), 0) << version << " " << size;
        req.mask = 9;
        EXPECT_EQ(CSCN_DecodeMatrix(&req), 0) << version << " " << size;
    }
}

// A version-1 level-3 symbol whose nine data codewords are filled by one text segment, and
// whose first check codewords happen to parse as the rest of a valid stream at a weaker
// level: all four levels of version 1 are one block of 25, so the weaker levels' blocks
// correct too. The search must still report level 3 and the symbol's own text.
TEST_F(HanXinSymbols, StrongestCorrectingLevelWins) {
    const std::vector<int> order = DataModuleOrder(1);
    ASSERT_EQ(order.size(), 205u);
    std::mt19937 rng(2024);
    int found = 0;
    for (int attempt = 0; attempt < 20000 && found == 0; ++attempt) {
        // 0010, ten 6-bit values of alphabet 1, 63: 70 bits, two padding bits.
        Bits b;
        b.Add(2, 4);
        std::string want;
        for (int i = 0; i < 10; ++i) {
            const int v = static_cast<int>(rng() % 62);
            b.Add(static_cast<u32>(v), 6);
            want.push_back(v < 10 ? static_cast<char>('0' + v) : v < 36 ? static_cast<char>('A' + v - 10) : static_cast<char>('a' + v - 36));
        }
        b.Add(63, 6).Add(rng() & 3, 2);
        std::vector<int> data(9);
        for (int i = 0; i < 9; ++i) data[i] = CSCN_BitsToInt(b.v.data() + 8 * i, 8);
        const std::vector<int> block = RsEncode(data, 16, 256, 0x163);
        // A weaker level's data (the first 13, 17 or 21 codewords) must read as a stream.
        int weakerValid = -1;
        for (int level = 0; level <= 2 && weakerValid < 0; ++level) {
            const int d = CSCN_DataCodewords(1, level);
            std::vector<i32> cw(block.begin(), block.begin() + d);
            std::vector<u8> bits(8 * d);
            CSCN_CodewordsToBits(cw.data(), d, bits.data());
            std::vector<char> t(kCscnTextCapacity, 0);
            i32 len = 0;
            if (CSCN_DecodeBitStream(bits.data(), bits.size(), t.data(), &len) == 1 && std::string(t.data(), len) != want)
                weakerValid = level;
        }
        if (weakerValid < 0) continue;
        found = 1;
        // Interleave and place through the reader's module order, mask 0.
        std::vector<int> stream(25);
        for (int i = 0; i < 25; ++i) stream[StreamIndex(i, 25)] = block[i];
        std::vector<u8> matrix(23 * 23, 0);
        for (int m = 0; m < 200; ++m) matrix[order[m]] = static_cast<u8>((stream[m / 8] >> (7 - m % 8)) & 1);
        testkit::Symbol s = testkit::FromModules(23, 23, matrix);
        const Outcome o = DecodeMatrix(s, 1, 9, 9);
        EXPECT_EQ(o.ok, 1) << "attempt " << attempt << ", weaker level " << weakerValid;
        EXPECT_EQ(o.text, want);
        EXPECT_EQ(o.level, 3u);
        EXPECT_EQ(o.mask, 0u);
        // Given as the weaker level, it is decoded as that level: a read level is used as given.
        const Outcome asGiven = DecodeMatrix(s, 1, 0, static_cast<u32>(weakerValid));
        EXPECT_EQ(asGiven.ok, 1);
        EXPECT_NE(asGiven.text, want);
    }
    EXPECT_EQ(found, 1);
}

}  // namespace
