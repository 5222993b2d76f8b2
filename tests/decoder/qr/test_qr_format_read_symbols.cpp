// Format and version information read from rendered symbols through finder transforms
// made from the true finder positions: the three-finder copies and their mixtures, the
// orientation of two-finder candidates, version blocks, Model 1 format words, inverted
// symbols and samples beyond the image.
#include <gtest/gtest.h>

#include <cstdio>
#include <utility>
#include <string>
#include <vector>

#include "qr/qr_format.h"
#include "qr/qr_format_read.h"
#include "qr/qr_grid.h"
#include "qr_geom_test.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using namespace vexo;
using namespace qr_geom_test;

class QrFormatReadTest : public QrGeomTest {};

// Matrix positions (row, column) of the format bits: copy 1 around the top-left finder and
// copy 2 split between the top-right (bits 0-7) and bottom-left (bits 8-14) finders.
void FormatPositions(int d, int copy, int bit, int *row, int *col) {
    static const int first[15][2] = {{0, 8}, {1, 8}, {2, 8}, {3, 8}, {4, 8}, {5, 8}, {7, 8}, {8, 8},
                                     {8, 7}, {8, 5}, {8, 4}, {8, 3}, {8, 2}, {8, 1}, {8, 0}};
    if (copy == 0) {
        *row = first[bit][0];
        *col = first[bit][1];
    } else if (bit < 8) {
        *row = 8;
        *col = d - 1 - bit;
    } else {
        *row = d - 7 + (bit - 8);
        *col = 8;
    }
}

int ReadWord(const testkit::Symbol &s, int copy) {
    int word = 0;
    for (int k = 0; k < 15; ++k) {
        int r = 0, c = 0;
        FormatPositions(s.rows, copy, k, &r, &c);
        word |= (s.Dark(r, c) ? 1 : 0) << k;
    }
    return word;
}

void WriteBits(testkit::Symbol *s, int copy, int word, int firstBit, int lastBit) {
    for (int k = firstBit; k <= lastBit; ++k) {
        int r = 0, c = 0;
        FormatPositions(s->rows, copy, k, &r, &c);
        s->modules[static_cast<size_t>(r * s->cols + c)] = static_cast<uint8_t>((word >> k) & 1);
    }
}

// Version block bits: beside the top-right finder (copy 0) and above the bottom-left (1).
void WriteVersion(testkit::Symbol *s, int copy, int word) {
    const int d = s->rows;
    for (int k = 0; k < 18; ++k) {
        const int a = k / 3, b = d - 11 + k % 3;
        const int r = copy == 0 ? a : b, c = copy == 0 ? b : a;
        s->modules[static_cast<size_t>(r * s->cols + c)] = static_cast<uint8_t>((word >> k) & 1);
    }
}

// Binary polynomial remainder.
int Remainder(int value, int generator, int degree) {
    for (int bit = 30; bit >= degree; --bit) {
        if ((value >> bit) & 1) value ^= generator << (bit - degree);
    }
    return value;
}

int FormatReadVersionWord(int version) { return version << 12 | Remainder(version << 12, 0x1F25, 12); }
int FormatWord(int data, int mask) { return (data << 10 | Remainder(data << 10, 0x537, 10)) ^ mask; }

bool Refused(int w) { return QR_CorrectFormatWord(w, 15) == 0 && QR_CorrectModel1FormatWord(w, 15) == 0; }

int Half(int word, bool high) { return word & (high ? 0x7F00 : 0x00FF); }

// Spoils the low half of one copy and the high half of the other (flip masks of at least
// four bits) so that every reading the three-finder order takes before the wanted mixture
// is refused by both correctors; returns {spoilt copy 0, spoilt copy 1}.
std::pair<int, int> SpoilForMixture(int word, bool firstMixture) {
    for (int lowFlips = 15; lowFlips < 256; ++lowFlips) {
        if (__builtin_popcount(lowFlips) < 4) continue;
        for (int highFlips = 15; highFlips < 128; ++highFlips) {
            if (__builtin_popcount(highFlips) < 4) continue;
            // First mixture: copy 0 spoilt high, copy 1 spoilt low; second: the reverse.
            const int c0 = firstMixture ? word ^ (highFlips << 8) : word ^ lowFlips;
            const int c1 = firstMixture ? word ^ lowFlips : word ^ (highFlips << 8);
            const int mixed = Half(c0, false) | Half(c1, true);
            const bool ok = Refused(c0) && Refused(c1) && (firstMixture || Refused(mixed));
            if (ok) return {c0, c1};
        }
    }
    return {word, word};
}

testkit::Rendered RenderSymbol(const testkit::Symbol &s, double m, double angle, bool invert = false) {
    return testkit::Render(s, {.moduleSize = m, .angleDeg = angle, .invert = invert, .blurSigma = 0.6,
                               .noiseSigma = 4, .seed = 11});
}

struct Case {
    int version;
    int level;
    double moduleSize;
    double angle;
};

// Three finders: the top-left copy reads, and the version block of versions 7 and up.
TEST_F(QrFormatReadTest, ThreeFindersReadFormatAndVersion) {
    const Case cases[] = {{1, 0, 3, 0}, {2, 1, 4, 30}, {5, 2, 3, 200}, {7, 3, 3, 95}, {10, 1, 3.5, 315}, {16, 0, 2.6, 10},
                          {25, 2, 2.5, 0}, {32, 1, 2.2, 0}};
    for (const Case &c : cases) {
        const testkit::Symbol s = MakeQr("FORMAT" + std::to_string(c.version), c.version, c.level);
        ASSERT_TRUE(s.ok) << s.error;
        const testkit::Rendered r = RenderSymbol(s, c.moduleSize, c.angle);
        InstallFrame(r.frame);
        SetUpThreeFinders(r, c.version, c.moduleSize);
        int o = 0, m1 = -1, m2 = -1;
        ASSERT_EQ(QR_ReadFormatInfo(&o, &m1, &m2), 1) << "version " << c.version;
        EXPECT_EQ(m2, ReadWord(s, 0) >> 10) << "version " << c.version;
        EXPECT_EQ(o, 0);
        int v = -1;
        o = 0;
        const int read = QR_ReadVersionInfo(&o, &v);
        if (c.version >= 7) {
            EXPECT_EQ(read, 1) << "version " << c.version;
            EXPECT_EQ(v, c.version);
        }
        EXPECT_EQ(o, 0);
    }
}

// The top-left copy spoilt in its second half and the second copy in its first half: the
// mixed copy (top-left bits 0-7 with bottom-left bits 8-14) reads. The other mixture
// reads when the top-left first half and the second copy's second half are the spoilt ones.
TEST_F(QrFormatReadTest, DamagedCopiesReadThroughTheMixtures) {
    for (const bool firstMixture : {true, false}) {
        testkit::Symbol s = MakeQr("DAMAGE", 3, 2);
        ASSERT_TRUE(s.ok);
        const int word = ReadWord(s, 0);
        const std::pair<int, int> spoilt = SpoilForMixture(word, firstMixture);
        WriteBits(&s, 0, spoilt.first, 0, 14);
        WriteBits(&s, 1, spoilt.second, 0, 14);
        ASSERT_EQ(QR_CorrectFormatWord(ReadWord(s, 0), 15), 0);
        ASSERT_EQ(QR_CorrectFormatWord(ReadWord(s, 1), 15), 0);
        const testkit::Rendered r = RenderSymbol(s, 4, 20);
        InstallFrame(r.frame);
        SetUpThreeFinders(r, 3, 4);
        int o = 0, m1 = 0, m2 = 0;
        ASSERT_EQ(QR_ReadFormatInfo(&o, &m1, &m2), 1) << firstMixture;
        EXPECT_EQ(m2, word >> 10) << firstMixture;
    }
}

// A version block that decodes to a version beyond 40 is not taken; the other one is.
TEST_F(QrFormatReadTest, VersionOutOfRangeFallsBackToTheOtherBlock) {
    testkit::Symbol s = MakeQr("VERSION", 9);
    ASSERT_TRUE(s.ok);
    WriteVersion(&s, 0, FormatReadVersionWord(50));
    const testkit::Rendered r = RenderSymbol(s, 3, 0);
    InstallFrame(r.frame);
    SetUpThreeFinders(r, 9, 3);
    int o = 0, v = 0;
    EXPECT_EQ(QR_ReadVersionInfo(&o, &v), 1);
    EXPECT_EQ(v, 9);
    // Both blocks out of range: the last decoded version is reported, not accepted.
    WriteVersion(&s, 1, FormatReadVersionWord(45));
    InstallFrame(RenderSymbol(s, 3, 0).frame);
    EXPECT_EQ(QR_ReadVersionInfo(&o, &v), 0);
    EXPECT_EQ(v, 45);
}

struct PairCase {
    int arrangement;
    int orientation;  // the truth
    Frame slot0;
    Frame slot1;
};

void SetUpPair(const testkit::Rendered &r, int arrangement, Frame slot0, Frame slot1, int d) {
    g_qrGeomWork = QR_GEOM_WORK{};
    g_qrGeomWork.sampleBuffer = g_work.data();
    g_qrGeomWork.arrangement = arrangement;
    SetSlotFrame(r, 0, slot0, d, 3.5);
    SetSlotFrame(r, 1, slot1, d, 3.5);
}

// Two finders read through the frames of their true orientation (an incoming orientation
// of 1 skips the readings of orientation 0), format and version alike.
TEST_F(QrFormatReadTest, TwoFindersReadInTheirOrientation) {
    const PairCase cases[] = {{kQrArrangeSidePair, 0, Frame::kTopLeft, Frame::kBottomLeft},
                              {kQrArrangeSidePair, 1, Frame::kTopRight, Frame::kTopLeftTurned},
                              {kQrArrangeDiagonal, 0, Frame::kTopRightShifted, Frame::kBottomLeft},
                              {kQrArrangeDiagonal, 1, Frame::kBottomLeft, Frame::kTopRightShifted}};
    for (const PairCase &c : cases) {
        for (const int version : {4, 8, 12}) {
            const testkit::Symbol s = MakeQr("PAIR" + std::to_string(version), version, 1);
            const testkit::Rendered r = RenderSymbol(s, 3.5, 35);
            InstallFrame(r.frame);
            SetUpPair(r, c.arrangement, c.slot0, c.slot1, s.rows);
            int o = c.orientation, m1 = 0, m2 = 0;
            ASSERT_EQ(QR_ReadFormatInfo(&o, &m1, &m2), 1) << c.arrangement << "/" << c.orientation;
            EXPECT_EQ(o, c.orientation) << c.arrangement << "/" << c.orientation;
            EXPECT_EQ(m2, ReadWord(s, 0) >> 10);
            if (version < 7) continue;
            int ov = c.orientation, v = 0;
            EXPECT_EQ(QR_ReadVersionInfo(&ov, &v), 1) << c.arrangement << "/" << c.orientation;
            EXPECT_EQ(v, version);
            EXPECT_EQ(ov, c.orientation) << c.arrangement << "/" << c.orientation;
        }
    }
}

// The format word the reading sees through a finder frame at the given finder-local
// points (modules), bit k from point k.
int WordThrough(const testkit::Symbol &s, Frame f, const int (*pts)[2], int n, int firstBit) {
    int word = 0;
    for (int k = 0; k < n; ++k) {
        double col = 0, row = 0;
        FrameToModule(f, s.rows, pts[k][0], pts[k][1], &col, &row);
        word |= (s.Dark(static_cast<int>(row), static_cast<int>(col)) ? 1 : 0) << (firstBit + k);
    }
    return word;
}

const int kTL15[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                          {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
const int kBL7[7][2] = {{-2, 6}, {-2, 5}, {-2, 4}, {-2, 3}, {-2, 2}, {-2, 1}, {-2, 0}};
const int kTR8T[8][2] = {{6, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}, {-1, 8}};

// Starting from orientation 0, a pair that is in fact top-right + top-left reads in
// orientation 1 once the readings of orientation 0 are refused. Through the wrong frames
// those readings see most of the true top-right copy (and, mixed, most of the top-left
// one), so they usually decode the right word in orientation 0; here the top-right copy's
// first half is spoilt until they are refused, and the top-left copy read through slot 1
// decides. A diagonal pair turned by 180 degrees sees data modules in its orientation-0
// reading, refused for some payloads.
TEST_F(QrFormatReadTest, TwoFindersTurnToOrientationOne) {
    {
        testkit::Symbol s = MakeQr("TURN", 3, 1);
        const int word = ReadWord(s, 0);
        bool found = false;
        for (int flips = 15; flips < 256 && !found; ++flips) {
            if (__builtin_popcount(flips) < 4) continue;
            testkit::Symbol t = s;
            WriteBits(&t, 1, word ^ flips, 0, 7);
            const int a = WordThrough(t, Frame::kTopRight, kTL15, 15, 0);
            const int mixed = (a & 0xFF) | WordThrough(t, Frame::kTopLeftTurned, kBL7, 7, 8);
            if (!Refused(a) || !Refused(mixed)) continue;
            found = true;
            const testkit::Rendered r = RenderSymbol(t, 4, 25);
            InstallFrame(r.frame);
            SetUpPair(r, kQrArrangeSidePair, Frame::kTopRight, Frame::kTopLeftTurned, t.rows);
            int o = 0, m1 = 0, m2 = 0;
            ASSERT_EQ(QR_ReadFormatInfo(&o, &m1, &m2), 1);
            EXPECT_EQ(o, 1);
            EXPECT_EQ(m2, word >> 10);
        }
        EXPECT_TRUE(found);
    }
    int turned = 0;
    for (int k = 0; k < 20; ++k) {
        const testkit::Symbol s = MakeQr("TURN" + std::to_string(k), 3, 1);
        const int a = WordThrough(s, Frame::kBottomLeft, kTR8T, 8, 0) | WordThrough(s, Frame::kTopRightShifted, kBL7, 7, 8);
        if (!Refused(a)) continue;
        ++turned;
        const testkit::Rendered r = RenderSymbol(s, 4, 0);
        InstallFrame(r.frame);
        SetUpPair(r, kQrArrangeDiagonal, Frame::kBottomLeft, Frame::kTopRightShifted, s.rows);
        int o = 0, m1 = 0, m2 = 0;
        ASSERT_EQ(QR_ReadFormatInfo(&o, &m1, &m2), 1) << "payload " << k;
        EXPECT_EQ(o, 1) << "payload " << k;
        EXPECT_EQ(m2, ReadWord(s, 0) >> 10) << "payload " << k;
    }
    EXPECT_GT(turned, 0);
}

// Settling the roles: a side pair read as top-right + top-left becomes arrangement 2 with
// the top-left finder in slot 0; read as top-left + bottom-left it stays arrangement 3; a
// diagonal pair moves to slots 1 and 2.
TEST_F(QrFormatReadTest, SettlingTheFinderRoles) {
    const testkit::Symbol s = MakeQr("ROLES", 2);
    const int d = s.rows;
    const testkit::Rendered r = RenderSymbol(s, 4, 0);
    InstallFrame(r.frame);
    g_qrSymbol.dimension = d;

    g_qrGeomWork.arrangement = kQrArrangeSidePair;
    SetSlotFrame(r, 0, Frame::kTopRight, d, 4);
    SetSlotFrame(r, 1, Frame::kTopLeftTurned, d, 4);
    const QR_FINDER_SUMMARY topRight = g_qrGeomWork.finder[0];
    QR_SetFinderModulePoints(1);
    EXPECT_EQ(g_qrGeomWork.arrangement, kQrArrangeTopPair);
    EXPECT_EQ(g_qrGeomWork.finder[1].size, 0);
    EXPECT_EQ(g_qrGeomWork.finder[2].centreX, topRight.centreX);
    // Every image point now sits where its module point says.
    for (int slot : {0, 2}) {
        for (int k = 0; k < 5; ++k) {
            const GEO_POINT m = g_qrGeomWork.modulePoints[slot][k];
            const GEO_POINT t = ToDecoder(ModulePoint(r, m.x, m.y), 4);
            EXPECT_NEAR(g_qrGeomWork.imagePoints[slot][k].x, t.x, 1) << slot << "/" << k;
            EXPECT_NEAR(g_qrGeomWork.imagePoints[slot][k].y, t.y, 1) << slot << "/" << k;
        }
    }

    g_qrGeomWork = QR_GEOM_WORK{};
    g_qrGeomWork.arrangement = kQrArrangeSidePair;
    SetSlotFrame(r, 0, Frame::kTopLeft, d, 4);
    SetSlotFrame(r, 1, Frame::kBottomLeft, d, 4);
    QR_SetFinderModulePoints(0);
    EXPECT_EQ(g_qrGeomWork.arrangement, kQrArrangeSidePair);
    EXPECT_EQ(g_qrGeomWork.modulePoints[1][0].y, d - 7);

    for (const int o : {0, 1}) {
        g_qrGeomWork = QR_GEOM_WORK{};
        g_qrGeomWork.arrangement = kQrArrangeDiagonal;
        SetSlotFrame(r, 0, o == 0 ? Frame::kTopRightShifted : Frame::kBottomLeft, d, 4);
        SetSlotFrame(r, 1, o == 0 ? Frame::kBottomLeft : Frame::kTopRightShifted, d, 4);
        QR_SetFinderModulePoints(o);
        EXPECT_EQ(g_qrGeomWork.finder[0].size, 0);
        for (int slot : {1, 2}) {
            EXPECT_GT(g_qrGeomWork.finder[slot].size, 0);
            for (int k = 0; k < 5; ++k) {
                const GEO_POINT m = g_qrGeomWork.modulePoints[slot][k];
                const GEO_POINT t = ToDecoder(ModulePoint(r, m.x, m.y), 4);
                EXPECT_NEAR(g_qrGeomWork.imagePoints[slot][k].x, t.x, 1) << o << ":" << slot << "/" << k;
                EXPECT_NEAR(g_qrGeomWork.imagePoints[slot][k].y, t.y, 1) << o << ":" << slot << "/" << k;
            }
        }
    }
}

// A Model 1 format word reads as such even though the Model 2 corrector refuses it.
TEST_F(QrFormatReadTest, Model1FormatWords) {
    testkit::Symbol s = MakeQr("MODEL1", 2);
    const int word = FormatWord(0x0B, 0x2825);
    ASSERT_EQ(QR_CorrectFormatWord(word, 15), 0);
    WriteBits(&s, 0, word, 0, 14);
    WriteBits(&s, 1, word, 0, 14);
    const testkit::Rendered r = RenderSymbol(s, 4, 10);
    InstallFrame(r.frame);
    SetUpThreeFinders(r, 2, 4);
    int o = 0, m1 = 0, m2 = 7;
    EXPECT_EQ(QR_ReadFormatInfo(&o, &m1, &m2), 1);
    EXPECT_EQ(m1, word);
    EXPECT_EQ(m2, 0);
}

// A light-on-dark symbol reads under polarity 0 (and not under 1).
TEST_F(QrFormatReadTest, InvertedSymbols) {
    const testkit::Symbol s = MakeQr("INVERSE", 8, 3);
    const testkit::Rendered r = RenderSymbol(s, 3, 60, true);
    InstallFrame(r.frame);
    SetUpThreeFinders(r, 8, 3);
    g_qrPolarity = 0;
    int o = 0, m1 = 0, m2 = 0, v = 0;
    ASSERT_EQ(QR_ReadFormatInfo(&o, &m1, &m2), 1);
    EXPECT_EQ(m2, ReadWord(s, 0) >> 10);
    EXPECT_EQ(QR_ReadVersionInfo(&o, &v), 1);
    EXPECT_EQ(v, 8);
    g_qrPolarity = 1;
    EXPECT_EQ(QR_ReadVersionInfo(&o, &v), 0);
}

// Points beyond the image sample 0: with all of them outside the threshold is 127 and
// every bit reads as a dark module.
TEST_F(QrFormatReadTest, SamplesBeyondTheImage) {
    const testkit::Symbol s = MakeQr("EDGE", 1);
    const testkit::Rendered r = RenderSymbol(s, 4, 0);
    InstallFrame(r.frame);
    SetUpThreeFinders(r, 1, 4);
    for (int k = 0; k < 5; ++k) g_qrGeomWork.imagePoints[0][k].x -= 16 * 4 * 1000;
    QR_FitFinderTransforms();
    const GEO_POINT pts[4] = {{0, 0}, {11, 0}, {0, 11}, {66, 66}};
    uint8_t bits[4] = {9, 9, 9, 9};
    QR_SampleFinderBits(0, pts, bits, 4);
    for (uint8_t b : bits) EXPECT_EQ(b, 1);
    g_qrPolarity = 0;
    QR_SampleFinderBits(0, pts, bits, 4);
    for (uint8_t b : bits) EXPECT_EQ(b, 0);
    // A slot outside 0..2 writes nothing.
    QR_SampleFinderBits(3, pts, bits, 4);
    EXPECT_EQ(bits[0], 0);
}

TEST(QrInfoBits, DecodeCombinations) {
    uint8_t bits[18] = {};
    int v = 5, m1 = 5, m2 = 5;
    EXPECT_EQ(QR_DecodeInfoBits(bits, 1, 1, &v, &m1, &m2), 0);
    EXPECT_EQ(QR_DecodeInfoBits(bits, 0, 0, &v, &m1, &m2), 0);
    EXPECT_EQ(v, 5);
    // Level Q, mask 5 (10101) stores five zero bits: a valid Model 2 word that counts as
    // unread (unless the Model 1 corrector takes it).
    const int word = FormatWord(0x15, 0x5412);
    ASSERT_EQ(word >> 10, 0);
    ASSERT_GT(QR_CorrectFormatWord(word, 15), 0);
    for (int k = 0; k < 15; ++k) bits[k] = static_cast<uint8_t>((word >> k) & 1);
    EXPECT_EQ(QR_DecodeInfoBits(bits, 1, 0, &v, &m1, &m2), QR_CorrectModel1FormatWord(word, 15) > 0 ? 1 : 0);
    EXPECT_EQ(m2, 0);
    const int word2 = FormatWord(0x0D, 0x5412);
    for (int k = 0; k < 15; ++k) bits[k] = static_cast<uint8_t>((word2 >> k) & 1);
    EXPECT_EQ(QR_DecodeInfoBits(bits, 1, 0, &v, &m1, &m2), 1);
    EXPECT_EQ(m2, word2 >> 10);
    const int vw = FormatReadVersionWord(23);
    for (int k = 0; k < 18; ++k) bits[k] = static_cast<uint8_t>((vw >> k) & 1);
    bits[4] ^= 1;
    bits[9] ^= 1;
    EXPECT_EQ(QR_DecodeInfoBits(bits, 0, 1, &v, nullptr, nullptr), 1);
    EXPECT_EQ(v, 23);
}

}  // namespace
