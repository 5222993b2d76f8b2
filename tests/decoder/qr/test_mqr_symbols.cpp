// Micro QR: symbols made with libzint (and libqrencode where installed), read as module
// matrices through the codeword stage and as rendered frames through the whole decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/params.h"
#include "core/test_hooks.h"
#include "qr/mqr_codewords.h"
#include "qr/mqr_decode.h"
#include "qr/qr_format.h"
#include "qr/qr_matrix.h"
#include "qr_test_util.h"
#include "support/render.h"
#include "support/testkit.h"
#include "vexo3.h"

#if defined(STACK_HAVE_QRENCODE)
#include <qrencode.h>
#endif

namespace {

using qr_test::BitWriter;

constexpr uint32_t kMicroQrCodeId = 0x103;  // symbology number 259

// One symbol version and level: libzint's option2 and option1, the symbol number it gives,
// a text that fits (digits for M1, upper case for M2, bytes above).
struct SymbolKind {
    const char *name;
    int version;
    int level;  // 1 L, 2 M, 3 Q
    int number;
    const char *text;
};
const SymbolKind kKinds[] = {
    {"M1", 1, 1, 0, "12345"},         {"M2-L", 2, 1, 1, "AB-12"},      {"M2-M", 2, 2, 2, "4711"},
    {"M3-L", 3, 1, 3, "micro qr!"},   {"M3-M", 3, 2, 4, "Qr3-M"},      {"M4-L", 4, 1, 5, "Micro QR, M4-L"},
    {"M4-M", 4, 2, 6, "m4 medium 42"}, {"M4-Q", 4, 3, 7, "M4 Q!"},
};

testkit::Symbol MicroQr(const std::string &text, int level, int version, int mask) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MICROQR;
    in.data = text;
    in.option1 = level;
    in.option2 = version;
    in.option3 = mask >= 0 ? (mask + 1) << 8 : 0;
    return testkit::Encode(in);
}

testkit::Symbol MicroQr(const SymbolKind &k, int mask) { return MicroQr(k.text, k.level, k.version, mask); }

// The module matrix of a symbol (1 dark) and the five format data bits read from it.
struct MqrMatrix {
    int size = 0;
    std::vector<uint8_t> bits;
    int format = -1;
};

constexpr int kFormatPos[15][2] = {{8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 6}, {8, 7}, {8, 8},
                                   {7, 8}, {6, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}};

MqrMatrix MatrixOf(int size, std::vector<uint8_t> bits) {
    MqrMatrix m;
    m.size = size;
    m.bits = std::move(bits);
    int word = 0;
    for (int i = 0; i < 15; ++i) word |= (m.bits[kFormatPos[i][1] * size + kFormatPos[i][0]] ? 1 : 0) << i;
    const int corrected = vexo::MQR_CorrectFormatWord(word);
    if (corrected > 0) m.format = ((corrected ^ vexo::kMqrFormatMask) >> 10) & 31;
    return m;
}

MqrMatrix MatrixOf(const testkit::Symbol &sym) { return MatrixOf(sym.rows, sym.modules); }

class MicroQrCodewords : public qr_test::QrTest {
protected:
    // Decodes the matrix: the status, and the text on success.
    int Decode(const MqrMatrix &m, std::string *text) {
        uint8_t out[64] = {};
        const int rc = vexo::MQR_DecodeCodewords(m.format, m.bits.data(), out, 64);
        if (rc == 0) *text = qr_test::Text(out, vexo::g_qrData.length);
        return rc;
    }
    // The codewords of a matrix in symbol order, the 4-bit one in the high half.
    static std::vector<int> Codewords(const MqrMatrix &m) {
        int cw[vexo::kMqrMaxCodewords];
        const int n = vexo::MQR_ReadCodewordUnits(m.bits.data(), m.format >> 2, vexo::MQR_QrMaskOf(m.format & 3), cw);
        std::vector<int> v(cw, cw + (n > 0 ? n : 0));
        const vexo::MQR_SYMBOL_ROW *row = vexo::MQR_SymbolRow(m.format >> 2);
        const int number = m.format >> 2;
        if (number == 0 || number == 3 || number == 4) v[static_cast<size_t>(row->dataCodewords) - 1] <<= 4;
        return v;
    }
};

// Every symbol number and mask from libzint: format data as asked, exact text, "]Q1".
TEST_F(MicroQrCodewords, EverySymbolAndMask) {
    for (const SymbolKind &k : kKinds) {
        for (int mask = 0; mask < 4; ++mask) {
            const testkit::Symbol sym = MicroQr(k, mask);
            ASSERT_TRUE(sym.ok) << k.name << ": " << sym.error;
            const MqrMatrix m = MatrixOf(sym);
            ASSERT_EQ(m.format, k.number * 4 + mask) << k.name << " mask " << mask;
            std::string text;
            ASSERT_EQ(Decode(m, &text), 0) << k.name << " mask " << mask;
            EXPECT_EQ(text, k.text) << k.name << " mask " << mask;
            EXPECT_EQ(qr_test::AimId(), "]Q1");
            EXPECT_EQ(vexo::g_qrSymbol.kind, vexo::kQrKindMicro);
        }
    }
}

#if defined(STACK_HAVE_QRENCODE)
// A second encoder chooses its own masks: every version and level it makes reads.
TEST_F(MicroQrCodewords, SecondEncoder) {
    struct Case {
        int version;
        QRecLevel level;
        const char *text;
    };
    const Case kCases[] = {{1, QR_ECLEVEL_L, "12345"}, {1, QR_ECLEVEL_L, "90210"}, {2, QR_ECLEVEL_L, "AB-12"},
                           {2, QR_ECLEVEL_M, "4711"},  {3, QR_ECLEVEL_L, "micro qr!"}, {3, QR_ECLEVEL_M, "QR3-M"},
                           {4, QR_ECLEVEL_L, "Micro QR, M4-L"}, {4, QR_ECLEVEL_M, "m4 medium 42"}, {4, QR_ECLEVEL_Q, "M4 Q!"},
                           {3, QR_ECLEVEL_L, "1234567890123"}};
    for (const Case &c : kCases) {
        QRcode *q = QRcode_encodeStringMQR(c.text, c.version, c.level, QR_MODE_8, 1);
        ASSERT_NE(q, nullptr) << c.text;
        std::vector<uint8_t> bits(static_cast<size_t>(q->width * q->width));
        for (size_t i = 0; i < bits.size(); ++i) bits[i] = q->data[i] & 1;
        const MqrMatrix m = MatrixOf(q->width, bits);
        QRcode_free(q);
        std::string text;
        EXPECT_EQ(Decode(m, &text), 0) << c.text;
        EXPECT_EQ(text, c.text);
        // Every codeword sits where the block expects it: no correction was needed.
        std::vector<int> cw = Codewords(m);
        const std::vector<int> before = cw;
        EXPECT_EQ(vexo::MQR_CorrectBlock(m.format >> 2, cw.data()), 0) << c.text;
        EXPECT_EQ(cw, before) << c.text;
    }
}
#endif

// M1 "12345": no mode indicator, a 3-bit count, the numeric segment ends the stream.
TEST_F(MicroQrCodewords, M1DigitsWithoutModeIndicator) {
    const std::vector<uint8_t> bytes = BitWriter().Put(5, 3).Put(123, 10).Put(45, 7).Bytes(3);
    uint8_t out[16];
    ASSERT_EQ(vexo::MQR_DecodeData(bytes.data(), 3, 0, out, 16), 0);
    EXPECT_EQ(qr_test::Text(out, vexo::g_qrData.length), "12345");
    // An M4 mode indicator of 100 and above is refused.
    for (int mode = 4; mode < 8; ++mode) {
        const std::vector<uint8_t> m4 = BitWriter().Put(static_cast<uint32_t>(mode), 3).Put(1, 5).Bytes(16);
        EXPECT_EQ(vexo::MQR_DecodeData(m4.data(), 16, 5 * 4, out, 16), -1) << mode;
    }
    const std::vector<uint8_t> m4 = BitWriter().Put(1, 3).Put(1, 5).Put(10, 6).Bytes(16);
    EXPECT_EQ(vexo::MQR_DecodeData(m4.data(), 16, 5 * 4, out, 16), 0);
    EXPECT_EQ(qr_test::Text(out, vexo::g_qrData.length), "A");
}

TEST_F(MicroQrCodewords, Terminators) {
    struct Case {
        int version, left, next;
        int stop;
    };
    const Case kCases[] = {{-1, 2, 0xFF, 1}, {-1, 3, 0x00, 1}, {-1, 3, 0x20, 0}, {-2, 4, 0xFF, 1}, {-2, 5, 0x08, 0},
                           {-3, 7, 0x01, 1}, {-3, 7, 0x02, 0}, {-4, 8, 0xFF, 1}, {-4, 9, 0x80, 0}, {-5, 9, 0xFF, 1}};
    for (const Case &c : kCases) {
        const uint8_t bytes[2] = {static_cast<uint8_t>(c.next), 0xFF};
        vexo::QR_BITS bits;
        vexo::QR_InitBits(&bits, bytes, 2, 16);
        EXPECT_EQ(vexo::MQR_IsTerminator(&bits, c.left, c.version), c.stop) << c.version << " " << c.left;
    }
}

// The 4-bit last data codeword of M1 and M3 enters the block shifted to the high half: a
// symbol whose 4-bit codeword is not 0 is a codeword as read (M3-L: the 11th codeword, M3-M:
// the 9th).
TEST_F(MicroQrCodewords, HalfCodewordReachesTheBlockClean) {
    struct Case {
        int level, version;
        const char *text;
        size_t halfIndex;
    };
    const Case kCases[] = {{1, 1, "12345", 2}, {1, 1, "90210", 2}, {1, 3, "12345678901234567890123", 10},
                           {2, 3, "123456789012345678", 8}};
    for (const Case &c : kCases) {
        bool nonZero = false;
        for (int mask = 0; mask < 4; ++mask) {
            const MqrMatrix m = MatrixOf(MicroQr(c.text, c.level, c.version, mask));
            std::vector<int> cw = Codewords(m);
            ASSERT_GT(cw.size(), c.halfIndex);
            nonZero = nonZero || cw[c.halfIndex] != 0;
            EXPECT_EQ(cw[c.halfIndex] & 0x0F, 0);
            const std::vector<int> before = cw;
            EXPECT_EQ(vexo::MQR_CorrectBlock(m.format >> 2, cw.data()), 0) << c.text << " mask " << mask;
            EXPECT_EQ(cw, before) << c.text << " mask " << mask;
        }
        EXPECT_TRUE(nonZero) << c.text;
    }
}

// Damaged codewords: up to half the check codewords correct, one more never gives a wrong
// text. M2-L and M2-M read the same positions with 5 and 6 checks; an M3 corrects as many
// as its block allows with the 4-bit codeword in the high half.
TEST_F(MicroQrCodewords, DamageUpToTheBlockCapacity) {
    const int kCorrectable[8] = {1, 2, 3, 3, 4, 4, 5, 7};
    for (const SymbolKind &k : kKinds) {
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            const testkit::Symbol sym = MicroQr(k, static_cast<int>(seed % 4));
            const MqrMatrix clean = MatrixOf(sym);
            const vexo::MQR_SYMBOL_ROW *row = vexo::MQR_SymbolRow(k.number);
            std::mt19937 rng(seed);
            std::vector<int> order(static_cast<size_t>(row->totalCodewords));
            for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
            std::shuffle(order.begin(), order.end(), rng);
            for (int errors : {kCorrectable[k.number], kCorrectable[k.number] + 1}) {
                // Damage whole codewords by flipping one module of each unit: the units are
                // found by flipping modules until the codeword changes.
                MqrMatrix m = clean;
                const std::vector<int> base = Codewords(clean);
                int damaged = 0;
                for (int idx = 0; idx < errors; ++idx) {
                    const size_t target = static_cast<size_t>(order[static_cast<size_t>(idx)]);
                    for (int cell = 0; cell < m.size * m.size; ++cell) {
                        m.bits[static_cast<size_t>(cell)] ^= 1;
                        const std::vector<int> now = Codewords(m);
                        int changed = 0;
                        for (size_t j = 0; j < now.size(); ++j) changed += now[j] != base[j] ? 1 : 0;
                        if (changed == damaged + 1 && now[target] != base[target]) {
                            ++damaged;
                            break;
                        }
                        m.bits[static_cast<size_t>(cell)] ^= 1;
                    }
                }
                ASSERT_EQ(damaged, errors) << k.name;
                std::string text;
                const int rc = Decode(m, &text);
                const std::string where = std::string(k.name) + " seed " + std::to_string(seed) + " errors " +
                                          std::to_string(errors);
                if (errors <= kCorrectable[k.number]) {
                    EXPECT_EQ(rc, 0) << where;
                    EXPECT_EQ(text, k.text) << where;
                } else if (rc == 0) {
                    EXPECT_EQ(text, k.text) << where;
                }
            }
        }
    }
}

// ---- Outline and grid routines.

TEST(MicroQrOutline, RingWindowAndCosine) {
    EXPECT_EQ(vexo::MQR_RingWindow(13), 2);
    EXPECT_EQ(vexo::MQR_RingWindow(21), 3);
    EXPECT_EQ(vexo::MQR_RingWindow(40), 4);
    EXPECT_EQ(vexo::MQR_RingWindow(34), 4);
    EXPECT_EQ(vexo::MQR_RingWindow(35), 4);
    // Ring points 600 px apart (1/16 pixel): the same as a 128-bit reference.
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        auto coord = [&] { return static_cast<int32_t>(rng() % (600 * 16)) + 1000; };
        const vexo::GEO_POINT p{coord(), coord()}, q{coord(), coord()}, r{coord(), coord()};
        const __int128 ux = q.x - p.x, uy = q.y - p.y, vx = r.x - p.x, vy = r.y - p.y;
        const __int128 a = ux * ux + uy * uy, b = vx * vx + vy * vy, c = (q.x - r.x) * static_cast<__int128>(q.x - r.x) +
                                                                           (q.y - r.y) * static_cast<__int128>(q.y - r.y);
        const __int128 n = (a + b - c) * (a + b - c), d = 4 * a * b;
        const int expect = n > 0 && d > 0 ? static_cast<int>(1024 * n / d) : 0;
        EXPECT_EQ(vexo::MQR_Cos2x1024(&p, &q, &r), expect) << i;
    }
    const vexo::GEO_POINT o{0, 0}, x{100, 0}, y{0, 100}, mx{-50, 0};
    EXPECT_EQ(vexo::MQR_Cos2x1024(&o, &x, &y), 0);
    EXPECT_EQ(vexo::MQR_Cos2x1024(&o, &x, &mx), 1024);
}

TEST(MicroQrOutline, BandCentre) {
    // Dark centre, light inner ring, dark ring from 20 to 27, light beyond (polarity 1).
    std::vector<uint8_t> v(40, 220);
    for (int i = 0; i < 6; ++i) v[static_cast<size_t>(i)] = 30;
    for (int i = 20; i < 28; ++i) v[static_cast<size_t>(i)] = 30;
    vexo::MQR_BAND_PROBE p{v.data(), 40, 2, 1, 0};
    ASSERT_EQ(vexo::MQR_FindBandCentre(&p), 1);
    EXPECT_NEAR(p.position / 16.0, 23.5, 1.5);
    // Without the second rising edge no band is taken.
    std::vector<uint8_t> open = v;
    for (size_t i = 20; i < open.size(); ++i) open[i] = 30;
    vexo::MQR_BAND_PROBE q{open.data(), 40, 2, 1, 0};
    EXPECT_EQ(vexo::MQR_FindBandCentre(&q), 0);
    // The inverted profile reads with polarity 0.
    std::vector<uint8_t> inv(v.size());
    for (size_t i = 0; i < v.size(); ++i) inv[i] = static_cast<uint8_t>(250 - v[i]);
    vexo::MQR_BAND_PROBE r{inv.data(), 40, 2, 0, 0};
    ASSERT_EQ(vexo::MQR_FindBandCentre(&r), 1);
    EXPECT_NEAR(r.position / 16.0, 23.5, 1.5);
    // The raw-sum search finds the same band.
    vexo::MQR_BAND_PROBE raw{v.data(), 40, 2, 1, 0};
    ASSERT_EQ(vexo::MQR_FindBandCentreRaw(&raw), 1);
    EXPECT_NEAR(raw.position / 16.0, 23.5, 2.5);
    // Smoothing.
    const uint8_t s[5] = {10, 20, 30, 40, 50};
    uint8_t out[5];
    EXPECT_EQ(vexo::MQR_SmoothProfile(s, 5, 2, out), 4);
    EXPECT_EQ(out[0], 15);  // 30 * 32768 >> 16
    EXPECT_EQ(out[3], 45);
}

// Points on a square of side 2s around (c, c), n per side (corners once), in ray order.
std::vector<vexo::GEO_POINT> SquarePoints(int c, int s, int perSide) {
    std::vector<vexo::GEO_POINT> p;
    const int corners[4][2] = {{c + s, c - s}, {c + s, c + s}, {c - s, c + s}, {c - s, c - s}};
    for (int side = 0; side < 4; ++side) {
        const int *a = corners[side], *b = corners[(side + 1) % 4];
        for (int k = 0; k < perSide; ++k) {
            p.push_back({a[0] + (b[0] - a[0]) * k / perSide, a[1] + (b[1] - a[1]) * k / perSide});
        }
    }
    return p;
}

TEST(MicroQrOutline, RunsToFourSides) {
    // A clean square: four sides.
    std::vector<vexo::GEO_POINT> sq = SquarePoints(8000, 800, 9);
    vexo::MQR_RUN runs[vexo::kMqrMaxRuns] = {};
    int n = static_cast<int>(sq.size());
    int made = vexo::MQR_SplitRuns(sq.data(), n, runs, vexo::kMqrMaxRuns);
    EXPECT_GE(made, 4);
    EXPECT_EQ(vexo::MQR_FitRunLines(sq.data(), n, runs, made), 4);
    // A side broken by a spot (a point pushed out): the extra runs merge or are dropped.
    std::vector<vexo::GEO_POINT> spot = sq;
    spot[4].x += 300;
    made = vexo::MQR_SplitRuns(spot.data(), n, runs, vexo::kMqrMaxRuns);
    EXPECT_GT(made, 4);
    EXPECT_EQ(vexo::MQR_FitRunLines(spot.data(), n, runs, made), 4);
    // A zigzag ring splits into many short runs; merged back, every point is fitted
    // without passing the gather buffer.
    std::vector<vexo::GEO_POINT> zig = sq;
    for (size_t i = 0; i < zig.size(); i += 2) {
        zig[i].x += (i % 4 == 0 ? 60 : -60);
        zig[i].y += (i % 4 == 0 ? -60 : 60);
    }
    made = vexo::MQR_SplitRuns(zig.data(), n, runs, vexo::kMqrMaxRuns);
    EXPECT_GT(made, 8);
    const int left = vexo::MQR_FitRunLines(zig.data(), n, runs, made);
    EXPECT_LE(left, 4);
    // Checked forms.
    EXPECT_EQ(vexo::MQR_SplitRunsChecked(sq.data(), 1, runs, 35), 0);
    EXPECT_EQ(vexo::MQR_SplitRunsChecked(sq.data(), n, runs, 0), 0);
    vexo::MQR_RUN a{}, b{};
    a.end0 = {0, 0};
    a.end1 = {100, 0};
    b.end0 = {200, 1};
    b.end1 = {300, 1};
    EXPECT_EQ(vexo::MQR_RunsCollinear(&a, &b), 1);
    EXPECT_EQ(vexo::MQR_RunsCollinearChecked(&a, &b), 0);
    a.valid = b.valid = 1;
    EXPECT_EQ(vexo::MQR_RunsCollinearChecked(&a, &b), 1);
}

TEST(MicroQrOutline, RotateCornersAndDiagonals) {
    const vexo::GEO_POINT c[4] = {{0, 100}, {0, 0}, {100, 0}, {100, 100}};
    for (int o = 0; o < 4; ++o) {
        vexo::GEO_POINT r[4] = {c[0], c[1], c[2], c[3]};
        ASSERT_EQ(vexo::MQR_RotateCorners(r, o), 1);
        const int shift = (o + 1) % 4;
        for (int k = 0; k < 4; ++k) EXPECT_EQ(r[k].x, c[(k + shift) % 4].x) << o;
    }
    vexo::GEO_POINT r[4] = {c[0], c[1], c[2], c[3]};
    EXPECT_EQ(vexo::MQR_RotateCorners(r, 4), 0);
    EXPECT_EQ(r[0].y, 100);
    const vexo::GEO_POINT centre{50, 50}, off{80, 20};
    EXPECT_EQ(vexo::MQR_CheckDiagonals(&centre, c), 1);
    EXPECT_EQ(vexo::MQR_CheckDiagonals(&off, c), 0);
}

// Spacing test of the finder's edge keys (0, 2, 4, 10, 12, 14).
TEST(MicroQrGrid, FinderSpacing) {
    struct Case {
        const char *what;
        int cols[7];
        int rows[7];
        int expect;
    };
    const Case kCases[] = {
        {"clean", {0, 2, 4, 10, 12, 14, 16}, {0, 2, 4, 10, 12, 14, 16}, 0},
        {"six lines: the seventh repeats", {0, 2, 4, 10, 12, 14, 14}, {0, 2, 4, 10, 12, 14, 14}, 0},
        {"extra line before the outer edge, both", {-2, 0, 2, 4, 10, 12, 14}, {-2, 0, 2, 4, 10, 12, 14}, 1},
        {"extra line before the outer edge, rows only", {0, 2, 4, 10, 12, 14, 16}, {-2, 0, 2, 4, 10, 12, 14}, -1},
        {"extra line before the outer edge, columns only", {-2, 0, 2, 4, 10, 12, 14}, {0, 2, 4, 10, 12, 14, 16}, -1},
        {"first spacing above 3, both", {-6, 0, 2, 4, 10, 12, 14}, {-6, 0, 2, 4, 10, 12, 14}, 1},
        {"first spacing above 3, columns only", {-6, 0, 2, 4, 10, 12, 14}, {0, 2, 4, 10, 12, 14, 16}, -1},
        {"six lines, first spacing above 3: zero last spacing", {-6, 0, 2, 4, 10, 12, 12}, {-6, 0, 2, 4, 10, 12, 12}, 1},
        {"six lines from the outer edge", {-5, 1, 3, 5, 11, 13, 13}, {-5, 1, 3, 5, 11, 13, 13}, 1},
        {"wide middle", {0, 2, 4, 12, 14, 16, 18}, {0, 2, 4, 12, 14, 16, 18}, -1},
    };
    for (const Case &c : kCases) EXPECT_EQ(vexo::MQR_FinderSpacing(c.cols, c.rows), c.expect) << c.what;
}

// Edge lines: a two-point line is never fitted, sorted taking skips it and fails short.
TEST(MicroQrGrid, EdgeLinesAndSortedTake) {
    vexo::MQR_EDGE_SET set{};
    auto add = [&](int line, int key, int n) {
        for (int i = 0; i < n; ++i) {
            vexo::MQR_EDGE_POINT p{{key * 16 + i, i * 40}, key, 1};
            EXPECT_EQ(vexo::MQR_EdgeLineAdd(&set.lines[line], &p), 1);
        }
        vexo::MQR_EDGE_POINT other{{0, 0}, key + 1, 1};
        EXPECT_EQ(vexo::MQR_EdgeLineAdd(&set.lines[line], &other), 0);
    };
    const int keys[7] = {14, 0, 2, 12, 4, 10, 6};
    for (int i = 0; i < 7; ++i) add(i, keys[i], i == 6 ? 2 : 5);
    set.count = 7;
    for (int i = 0; i < 7; ++i) EXPECT_EQ(vexo::MQR_EdgeLineFit(&set.lines[i]), i == 6 ? 0 : 1) << i;
    // Seven lines, the two-point one unfitted: six taken, the sixth repeated.
    const vexo::MQR_EDGE_LINE *out[7] = {};
    ASSERT_EQ(vexo::MQR_TakeSortedLines(&set, out), 7);
    const int sorted[7] = {0, 2, 4, 10, 12, 14, 14};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(out[i]->key, sorted[i]);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(set.lines[i].fitted, 0) << i;
    // Five fitted lines fill five entries: too few for the spacing test.
    for (int i = 0; i < 5; ++i) set.lines[i].fitted = 1;
    EXPECT_EQ(vexo::MQR_TakeSortedLines(&set, out), 5);
}

TEST(MicroQrGrid, LineMapAndCurvedMap) {
    // Points on a line under a 1-D perspective: x = (30 t + 100) / (0.01 t + 1).
    std::vector<vexo::GEO_POINT> pts;
    std::vector<int32_t> ts;
    for (int t = 0; t <= 20; t += 2) {
        const double d = 0.01 * t + 1;
        pts.push_back({static_cast<int32_t>((30.0 * t + 100) / d + 0.5), static_cast<int32_t>((-5.0 * t + 40) / d + 0.5)});
        ts.push_back(t);
    }
    vexo::MQR_LINE_MAP lm{};
    ASSERT_EQ(vexo::MQR_FitLineMap(&lm, pts.data(), ts.data(), static_cast<int32_t>(pts.size()), 1 << 16), 1);
    vexo::GEO_POINT at{};
    ASSERT_EQ(vexo::MQR_LineMapPoint(&lm, 10, &at), 1);
    EXPECT_NEAR(at.x, 400.0 / 1.1, 1.5);
    EXPECT_NEAR(at.y, -10.0 / 1.1, 1.5);
    EXPECT_EQ(vexo::MQR_FitLineMap(&lm, pts.data(), ts.data(), 2, 1 << 16), 0);
    // A map that bends along u: y' = v + 0.01 u^2.
    std::vector<vexo::GEO_POINT> from, to;
    for (int u = -5; u <= 5; u += 2) {
        for (int v = -4; v <= 4; v += 4) {
            from.push_back({u * 10, v * 10});
            to.push_back({u * 20 + 500, v * 20 + u * u + 300});
        }
    }
    vexo::MQR_CURVED_MAP cm{};
    ASSERT_EQ(vexo::MQR_FitCurvedMap(&cm, from.data(), to.data(), static_cast<int32_t>(from.size())), 1);
    ASSERT_EQ(vexo::MQR_CurvedMapPoint(&cm, 30, 0, &at), 1);
    EXPECT_NEAR(at.x, 560, 2);
    EXPECT_NEAR(at.y, 309, 2);
    EXPECT_EQ(vexo::MQR_FitCurvedMap(&cm, from.data(), to.data(), 5), 0);
}

TEST(MicroQrFormat, TimingToleranceAndTranspose) {
    struct Case {
        int size, mismatches, ok;
    };
    const Case kCases[] = {{11, 0, 1}, {11, 1, 0}, {13, 1, 1}, {13, 2, 0}, {15, 1, 1},
                           {15, 2, 0}, {17, 2, 1}, {17, 3, 0}, {12, 0, 0}, {21, 0, 0}};
    for (const Case &c : kCases) EXPECT_EQ(vexo::MQR_TimingTolerance(c.size, c.mismatches), c.ok) << c.size;
    const uint8_t bits[9] = {1, 0, 1, 1, 1, 0, 0, 0, 1};
    EXPECT_EQ(vexo::MQR_CountAlternationErrors(bits, 0, 9, 1), 2);
    EXPECT_EQ(vexo::MQR_CountAlternationErrors(bits, 0, 9, 3), 2);
    uint8_t m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    vexo::MQR_TransposeMatrix(m, 3);
    const uint8_t t[9] = {1, 4, 7, 2, 5, 8, 3, 6, 9};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(m[i], t[i]);
}

// ---- Frames.

struct FrameCase {
    int kind;  // index into kKinds
    int mask;
    double module;
    double angle;
    double noise;
    bool invert;
    bool mirror;
    uint64_t seed;
};

std::string Describe(const FrameCase &c) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s mask %d, %.0f px, %.0f deg, noise %.0f%s%s, seed %llu", kKinds[c.kind].name,
                  c.mask, c.module, c.angle, c.noise, c.invert ? ", light on dark" : "", c.mirror ? ", mirrored" : "",
                  static_cast<unsigned long long>(c.seed));
    return buf;
}

class MicroQrFrames : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        testkit::InitDecoder();
        // Both polarities searched.
    }
    static testkit::Rendered RenderCase(const FrameCase &c) {
        const testkit::Symbol sym = MicroQr(kKinds[c.kind], c.mask);
        return testkit::Render(sym, {.moduleSize = c.module, .angleDeg = c.angle, .mirror = c.mirror,
                                     .invert = c.invert, .blurSigma = 0.6, .noiseSigma = c.noise, .seed = c.seed});
    }
    // 1 read right, 0 missed; a wrong read fails the test.
    static int Read(const FrameCase &c) {
        // The QR read mode: dark on light, or light on dark (QR word bit 6).
        EXPECT_EQ(testkit::LinkedDecoder().set(0x20205, c.invert ? 0x10019 : 0x10018), 1);
        const testkit::DecodeResult r = testkit::DecodeFrame(RenderCase(c).frame);
        if (!r.decoded) return 0;
        EXPECT_TRUE(testkit::ReadAs(r, kKinds[c.kind].text, kMicroQrCodeId, "]Q1")) << Describe(c);
        return 1;
    }
};

// A fixed-seed sample over symbols, masks, sizes, angles, noise, polarity and mirroring:
// never a wrong read. Misses (printed) come from the QR finder reporting no pattern for a
// turned frame (its known weak spots, not tuned here) and from format words misread under
// noise at 4 px; measured 23 of 32.
TEST_F(MicroQrFrames, Sample) {
    std::mt19937 rng(2024);
    int read = 0;
    for (int i = 0; i < 32; ++i) {
        FrameCase c{i % 8, (i / 8) % 4, 4.0 + (i % 5), 15.0 * (rng() % 24), i % 3 == 0 ? 3.0 : 1.0,
                    i % 4 == 1, i % 5 == 2, static_cast<uint64_t>(i + 1)};
        const int ok = Read(c);
        read += ok;
        if (ok == 0) std::printf("missed: %s\n", Describe(c).c_str());
    }
    EXPECT_GE(read, 16);
}

TEST_F(MicroQrFrames, MirroredAndOptionOff) {
    const FrameCase mirrored{5, 2, 5, 30, 1, false, true, 3};
    EXPECT_EQ(Read(mirrored), 1);
    // QR option bit 10 declines every one-pattern candidate.
    vexo::g_params.flagsWord[vexo::kSymQr] |= vexo::kFlagQrNoMicroQr;
    const testkit::DecodeResult r = testkit::DecodeFrame(RenderCase({0, 0, 5, 0, 1, false, false, 1}).frame,
                                                         {.init = false, .enableAll = false});
    EXPECT_FALSE(r.decoded);
}

// A length window that excludes the text refuses the read.
TEST_F(MicroQrFrames, LengthWindow) {
    const testkit::DecoderApi api = testkit::LinkedDecoder();
    const FrameCase c{3, 1, 5, 10, 1, false, false, 1};
    ASSERT_EQ(Read(c), 1);
    const testkit::Rendered img = RenderCase(c);
    testkit::EnableAllSymbologies(api);
    ASSERT_EQ(api.set(0x20901, 20), 1);
    ASSERT_EQ(api.set(0x20902, 30), 1);
    api.set(VEXO_ID_IMAGE_WIDTH, static_cast<uint64_t>(img.frame.width));
    api.set(VEXO_ID_IMAGE_HEIGHT, static_cast<uint64_t>(img.frame.height));
    api.set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(img.frame.pixels.data()));
    EXPECT_NE(api.decode(), 1);
}

// Timing modules spoilt in the symbol: M4 reads with two wrong in row 0, not with three; M1
// with one wrong does not read.
TEST_F(MicroQrFrames, DamagedTiming) {
    struct Case {
        int kind;
        int wrong;
        bool reads;
    };
    const Case kCases[] = {{5, 2, true}, {5, 3, false}, {0, 1, false}, {0, 0, true}};
    for (const Case &c : kCases) {
        testkit::Symbol sym = MicroQr(kKinds[c.kind], 0);
        for (int k = 0; k < c.wrong; ++k) sym.modules[static_cast<size_t>(9 + 2 * k)] ^= 1;
        const testkit::Symbol built = testkit::FromModules(sym.rows, sym.cols, sym.modules);
        const testkit::Rendered img = testkit::Render(built, {.moduleSize = 5, .angleDeg = 10});
        const testkit::DecodeResult r = testkit::DecodeFrame(img.frame);
        EXPECT_EQ(r.decoded, c.reads) << kKinds[c.kind].name << " wrong " << c.wrong;
        if (r.decoded) {
            EXPECT_TRUE(testkit::ReadAs(r, kKinds[c.kind].text, kMicroQrCodeId, "]Q1"));
        }
    }
}

// Small frames with the symbol against every border.
TEST_F(MicroQrFrames, SmallFramesAtBorders) {
    const testkit::Symbol sym = MicroQr(kKinds[3], 1);
    const double m = 4, half = sym.width * m / 2;
    for (const testkit::Point centre : {testkit::Point{half + 2, 60}, testkit::Point{118 - half, 60},
                                        testkit::Point{60, half + 2}, testkit::Point{60, 118 - half}}) {
        const testkit::Rendered img =
            testkit::Render(sym, {.width = 120, .height = 120, .moduleSize = m, .center = centre, .quietZone = 1});
        const testkit::DecodeResult r = testkit::DecodeFrame(img.frame);
        if (r.decoded) {
            EXPECT_TRUE(testkit::ReadAs(r, kKinds[3].text, kMicroQrCodeId, "]Q1"));
        }
    }
}

// Frames without a symbol, and 50 finder-like squares, give no read: the condition under
// which M1 keeps its one correction.
TEST_F(MicroQrFrames, NoFalseReads) {
    testkit::Frame f;
    f.width = 752;
    f.height = 480;
    f.pixels.assign(static_cast<size_t>(f.width * f.height), 200);
    std::mt19937 rng(5);
    for (int s = 0; s < 50; ++s) {
        const int x0 = 10 + static_cast<int>(rng() % 700), y0 = 10 + static_cast<int>(rng() % 430), m = 2 + static_cast<int>(rng() % 3);
        for (int y = 0; y < 7 * m; ++y) {
            for (int x = 0; x < 7 * m; ++x) {
                const int mx = x / m, my = y / m;
                const bool ring = mx == 0 || my == 0 || mx == 6 || my == 6;
                const bool core = mx >= 2 && mx <= 4 && my >= 2 && my <= 4;
                const int px = x0 + x, py = y0 + y;
                if (px < f.width && py < f.height && (ring || core)) f.pixels[static_cast<size_t>(py * f.width + px)] = 40;
            }
        }
    }
    EXPECT_FALSE(testkit::DecodeFrame(f).decoded);
}

// The whole sweep: every symbol, every mask, 3-8 px, 0-345 degrees, noise 1 and 3, both
// polarities and mirrored.
TEST_F(MicroQrFrames, SlowSweep) {
    std::map<std::string, std::pair<int, int>> bySymbolSize, byAngle, byNoise;
    int total = 0, read = 0;
    for (int kind = 0; kind < 8; ++kind) {
        for (int module = 3; module <= 8; ++module) {
            for (int a = 0; a < 24; ++a) {
                for (int noise : {1, 3}) {
                    const int variant = a + kind + module;
                    FrameCase c{kind, variant % 4, static_cast<double>(module), 15.0 * a, static_cast<double>(noise),
                                (variant / 4) % 2 == 1, (variant / 8) % 2 == 1,
                                static_cast<uint64_t>(1000 * kind + 100 * module + 4 * a + noise)};
                    const int ok = Read(c);
                    ++total;
                    read += ok;
                    auto add = [&](std::map<std::string, std::pair<int, int>> &m, const std::string &key) {
                        m[key].first += ok;
                        m[key].second += 1;
                    };
                    add(bySymbolSize, std::string(kKinds[kind].name) + " " + std::to_string(module) + " px");
                    add(byAngle, std::to_string(static_cast<int>(c.angle)) + " deg");
                    add(byNoise, "noise " + std::to_string(noise));
                    if (ok == 0) std::printf("miss: %s\n", Describe(c).c_str());
                }
            }
        }
    }
    for (auto *m : {&bySymbolSize, &byAngle, &byNoise}) {
        for (const auto &[key, v] : *m) std::printf("%-14s %4d / %4d\n", key.c_str(), v.first, v.second);
    }
    std::printf("all %d / %d\n", read, total);
    EXPECT_GE(read * 100, total * 50);
}

}  // namespace
