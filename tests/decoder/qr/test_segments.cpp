// Data segments to text: hand-made bit streams for every mode, the FNC1, ECI, structured
// append and data-header conventions, the AIM modifiers, and the bounds on text and reads.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qr/qr_matrix.h"
#include "qr/qr_segments.h"
#include "qr_test_util.h"

namespace {

using namespace vexo;
using qr_test::BitWriter;
using qr_test::Text;

class QrSegments : public qr_test::QrTest {
protected:
    // Decodes the stream padded to `bytes` codewords; answers the result of the decode.
    int Decode(const std::vector<uint8_t> &codewords, int vi = 0, int capacity = kQrTextCapacity) {
        out.assign(static_cast<size_t>(kQrTextCapacity) + 16, 0xA5);
        return QR_DecodeSegments(codewords.data(), static_cast<int>(codewords.size()), vi, out.data(), capacity);
    }
    std::string Got() const { return Text(out.data(), g_qrData.length); }
    std::vector<uint8_t> out;
};

// Alphanumeric values of a string (pairs packed as the encoder packs them).
BitWriter &PutAlnum(BitWriter &w, const std::string &s, int countBits = 9) {
    static const std::string kSet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    w.Put(2, 4).Put(static_cast<uint32_t>(s.size()), countBits);
    size_t i = 0;
    for (; i + 1 < s.size(); i += 2) w.Put(static_cast<uint32_t>(kSet.find(s[i]) * 45 + kSet.find(s[i + 1])), 11);
    if (i < s.size()) w.Put(static_cast<uint32_t>(kSet.find(s[i])), 6);
    return w;
}

BitWriter &PutBytes(BitWriter &w, const std::string &s, int countBits = 8) {
    w.Put(4, 4).Put(static_cast<uint32_t>(s.size()), countBits);
    for (unsigned char c : s) w.Put(c, 8);
    return w;
}

BitWriter &PutEci(BitWriter &w, uint32_t value) {
    w.Put(7, 4);
    if (value < 128) return w.Put(value, 8);
    if (value < 16384) return w.Put(0x8000 | value, 16);
    return w.Put(0xC00000 | value, 24);
}

TEST_F(QrSegments, NumericVersionOneGivesDigitsAndModifierOne) {
    BitWriter w;
    w.Put(1, 4).Put(8, 10).Put(12, 10).Put(345, 10).Put(67, 7).Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(19, true)), 0);
    EXPECT_EQ(Got(), "01234567");
    EXPECT_EQ(g_qrSymbol.length, 8);
    EXPECT_EQ(g_qrSymbol.data, out.data());
    EXPECT_EQ(qr_test::AimId(), "]Q1");
}

TEST_F(QrSegments, CountWidthsFollowVersionRanges) {
    struct Case {
        int mode, versionCode, bits;
    };
    // Last and first version of each range, and Micro QR codes; -1 where the mode is absent.
    const Case cases[] = {
        {1, 8, 10},  {1, 9, 12},  {1, 25, 12},  {1, 26, 14},  {1, 39, 14},  {1, 40, -1}, {1, -1, 3},
        {1, -4, 6},  {1, -5, -1}, {2, 8, 9},    {2, 9, 11},   {2, 26, 13},  {2, -1, -1}, {2, -2, 3},
        {4, 8, 8},   {4, 9, 16},  {4, 26, 16},  {4, -2, -1},  {4, -3, 4},   {8, 8, 8},   {8, 9, 10},
        {8, 26, 12}, {8, -2, -1}, {8, -4, 4},   {13, 9, 10},  {13, 26, 12}, {13, -3, -1}, {3, 0, -1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(QR_CountBits(c.mode, c.versionCode), c.bits) << "mode " << c.mode << " code " << c.versionCode;
    }
}

TEST_F(QrSegments, Version27NumericUsesFourteenBitCount) {
    BitWriter w;
    w.Put(1, 4).Put(3, 14).Put(999, 10).Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(40), 26), 0);
    EXPECT_EQ(Got(), "999");
    // Read with a version-26 count the same bits give another (cut short) text.
    const int rc = Decode(w.Bytes(40), 25);
    EXPECT_FALSE(rc == 0 && Got() == "999");
}

TEST_F(QrSegments, Fnc1FirstTurnsLonePercentIntoGroupSeparator) {
    BitWriter w;
    w.Put(5, 4);
    PutAlnum(w, "AB%XY%%Z").Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(19, true)), 0);
    EXPECT_EQ(Got(), "AB\x1DXY%Z");
    EXPECT_EQ(g_qrSymbol.fnc1Mode, 1);
    EXPECT_EQ(qr_test::AimId(), "]Q3");
}

TEST_F(QrSegments, PercentRulesHoldInByteSegmentsAndAtSegmentEnds) {
    BitWriter w;
    w.Put(5, 4);
    PutBytes(w, "1%%2%");
    PutAlnum(w, "%").Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(26)), 0);
    // The trailing '%' of the byte segment and the lone one of the next segment are both GS.
    EXPECT_EQ(Got(), "1%2\x1D\x1D");
}

TEST_F(QrSegments, PercentIsPlainWithoutFnc1) {
    BitWriter w;
    PutAlnum(w, "A%B").Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(19)), 0);
    EXPECT_EQ(Got(), "A%B");
}

TEST_F(QrSegments, Fnc1SecondWritesApplicationIndicator) {
    struct Case {
        uint32_t indicator;
        const char *prefix;  // null: refused
    };
    const Case cases[] = {{37, "37"}, {0, "00"}, {99, "99"}, {165, "A"}, {190, "Z"}, {197, "a"}, {222, "z"},
                          {100, nullptr}, {191, nullptr}, {255, nullptr}};
    for (const Case &c : cases) {
        SetUp();
        BitWriter w;
        w.Put(9, 4).Put(c.indicator, 8);
        PutAlnum(w, "AB%C").Put(0, 4);
        const int rc = Decode(w.Bytes(19));
        if (c.prefix == nullptr) {
            EXPECT_EQ(rc, -1) << c.indicator;
            continue;
        }
        ASSERT_EQ(rc, 0) << c.indicator;
        EXPECT_EQ(Got(), std::string(c.prefix) + "AB\x1D" "C") << c.indicator;
        EXPECT_EQ(qr_test::AimId(), "]Q5");
    }
}

TEST_F(QrSegments, Fnc1AfterTextIsRefused) {
    for (uint32_t fnc1 : {5u, 9u}) {
        SetUp();
        BitWriter w;
        PutAlnum(w, "AB").Put(fnc1, 4).Put(37, 8);
        PutAlnum(w, "C").Put(0, 4);
        EXPECT_EQ(Decode(w.Bytes(19)), -1) << fnc1;
    }
}

TEST_F(QrSegments, EciWritesBackslashAndSixDigits) {
    BitWriter w;
    PutEci(w, 26);
    PutBytes(w, "\xC3\xA9").Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(19)), 0);
    EXPECT_EQ(Got(), "\\000026\xC3\xA9");
    EXPECT_EQ(g_qrSymbol.eciSeen, 1);
    EXPECT_EQ(qr_test::AimId(), "]Q2");
}

TEST_F(QrSegments, EciDesignatorLengthsAndLimits) {
    struct Case {
        uint32_t bits;
        int width;
        const char *text;  // null: refused
    };
    const Case cases[] = {
        {0x00, 8, "\\000000"},       {0x7F, 8, "\\000127"},       {0x8080, 16, "\\000128"},
        {0xBFFF, 16, "\\016383"},    {0xC04000, 24, "\\016384"},  {0xCF423F, 24, "\\999999"},
        {0xCF4240, 24, nullptr},     {0xDFFFFF, 24, nullptr},     {0xE00000, 24, nullptr},
    };
    for (const Case &c : cases) {
        SetUp();
        BitWriter w;
        w.Put(7, 4).Put(c.bits, c.width).Put(0, 4);
        const int rc = Decode(w.Bytes(19));
        if (c.text == nullptr) {
            EXPECT_EQ(rc, -1) << std::hex << c.bits;
        } else {
            ASSERT_EQ(rc, 0) << std::hex << c.bits;
            EXPECT_EQ(Got(), c.text) << std::hex << c.bits;
        }
    }
}

TEST_F(QrSegments, EciAndFnc1ModifiersAndOrder) {
    struct Case {
        const char *name;
        bool eciFirst;
        uint32_t fnc1;  // 0 none, 5 first, 9 second
        bool eciAfter;
        int rc;
        const char *aim;
    };
    const Case cases[] = {
        {"eci before fnc1 first refuses", true, 5, false, -1, nullptr},
        {"eci after fnc1 first", false, 5, true, 0, "]Q4"},
        {"eci after fnc1 second", false, 9, true, 0, "]Q6"},
        {"eci before fnc1 second refuses", true, 9, false, -1, nullptr},
        {"fnc1 second alone", false, 9, false, 0, "]Q5"},
    };
    for (const Case &c : cases) {
        SetUp();
        BitWriter w;
        if (c.eciFirst) PutEci(w, 3);
        if (c.fnc1 == 5) w.Put(5, 4);
        if (c.fnc1 == 9) w.Put(9, 4).Put(12, 8);
        if (c.eciAfter) PutEci(w, 3);
        PutAlnum(w, "A1").Put(0, 4);
        const int rc = Decode(w.Bytes(26));
        EXPECT_EQ(rc, c.rc) << c.name;
        if (c.aim != nullptr && rc == 0) {
            EXPECT_EQ(qr_test::AimId(), c.aim) << c.name;
        }
    }
}

TEST_F(QrSegments, KanjiValuesBecomeShiftJisPairs) {
    BitWriter w;
    // 0x935F from the first range, 0xE4AA from the second.
    w.Put(8, 4).Put(2, 8).Put(0xD9F, 13).Put(0x1AAA, 13).Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(19)), 0);
    EXPECT_EQ(Got(), "\x93\x5F\xE4\xAA");
}

TEST_F(QrSegments, HanziValuesBecomeGb2312Pairs) {
    BitWriter w;
    // 0xA1A1 (first row), 0xAAFE (last of the symbol rows), 0xB0A1 (first Hanzi), 0xF7FE (last).
    const uint32_t values[] = {0, 9 * 0x60 + 93, 10 * 0x60, (0xF7 - 0xA6) * 0x60 + 93};
    w.Put(13, 4).Put(1, 4).Put(4, 8);
    for (uint32_t v : values) w.Put(v, 13);
    w.Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(19)), 0);
    EXPECT_EQ(Got(), "\xA1\xA1\xAA\xFE\xB0\xA1\xF7\xFE");
}

TEST_F(QrSegments, HanziRefusesOtherSubsetsAndValues) {
    struct Case {
        uint32_t subset, value;
    };
    const Case cases[] = {{2, 0}, {0, 0}, {1, 85 * 0x60}, {1, 94}, {1, 0x5F}};
    for (const Case &c : cases) {
        SetUp();
        BitWriter w;
        w.Put(13, 4).Put(c.subset, 4).Put(1, 8).Put(c.value, 13).Put(0, 4);
        EXPECT_EQ(Decode(w.Bytes(19)), -1) << c.subset << " " << c.value;
    }
}

TEST_F(QrSegments, StructuredAppendHeaderIsReadOnlyAtTheStart) {
    BitWriter w;
    w.Put(3, 4).Put(0x21, 8).Put(0x5A, 8);
    PutBytes(w, "ab").Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(19)), 0);
    EXPECT_EQ(Got(), "ab");
    EXPECT_EQ(sa.index, 2);
    EXPECT_EQ(sa.count, 2);
    EXPECT_EQ(sa.parity, 0x5A);
    EXPECT_EQ(sa.present, 1);

    // Later in the stream 0011 is an unassigned indicator: refused with more than 16 bits left.
    SetUp();
    BitWriter later;
    PutBytes(later, "ab").Put(3, 4).Put(0x21, 8).Put(0x5A, 8).Put(0, 8);
    EXPECT_EQ(Decode(later.Bytes(19)), -1);
    EXPECT_EQ(sa.present, 0);
}

TEST_F(QrSegments, StructuredAppendCutShortIsRefused) {
    const std::vector<uint8_t> stream = {0x32};  // 0011 then four bits of the header
    EXPECT_EQ(Decode(stream), -1);
    EXPECT_EQ(sa.present, 0);
}

TEST_F(QrSegments, DataHeaderBecomesPrefix) {
    BitWriter w;
    w.Put(0xFF, 8).Put(0xE9, 8).Put(1, 4).Put(3, 10).Put(123, 10).Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(19)), 0);
    EXPECT_EQ(Got(), "Brevik:123");
    EXPECT_EQ(g_qrData.length, 10);
    // A header of one byte only is plain data (here an unassigned indicator at the end).
    SetUp();
    EXPECT_EQ(Decode({0xFF}), 0);
    EXPECT_EQ(g_qrData.length, 0);
}

TEST_F(QrSegments, HeaderModesOfTheSetter) {
    struct Case {
        int mode;
        std::vector<uint8_t> head;
        const char *text;  // null: refused
    };
    const Case cases[] = {
        {255, {0xFF, 0xE9, 0x00}, "Brevik:"},
        {255, {0xFF}, ""},
        {255, {0xFE, 0xFB}, nullptr},
        {254 | (251 << 8), {0xFE, 0xFB}, ""},
        {254 | (252 << 8), {0xFE, 0xFB}, nullptr},
        {254 | (251 << 8), {0xFF, 0xE9}, nullptr},
        {254 | (251 << 8), {0xFE}, nullptr},
    };
    for (const Case &c : cases) {
        SetUp();
        QR_StoreHeaderMode(c.mode);
        BitWriter w;
        for (uint8_t b : c.head) w.Put(b, 8);
        w.Put(1, 4).Put(1, 10).Put(7, 4).Put(0, 4);
        const int rc = Decode(w.Bytes());
        if (c.text == nullptr) {
            EXPECT_EQ(rc, -1) << c.mode;
        } else {
            ASSERT_EQ(rc, 0) << c.mode;
            EXPECT_EQ(Got(), std::string(c.text) + "7") << c.mode;
        }
    }
}

TEST_F(QrSegments, PaddingAndUnassignedIndicators) {
    struct Case {
        const char *name;
        std::vector<uint8_t> tail;
        int rc;
    };
    // After the numeric segment "123", which fills exactly three bytes.
    const Case cases[] = {
        {"pad without terminator", {0xEC, 0x11, 0xEC, 0x11}, 0},
        {"terminator", {0x00, 0xEC, 0x11}, 0},
        {"unassigned with many bits", {0xF0, 0x00, 0x00}, -1},
        {"unassigned with 16 bits", {0xF0, 0x00}, 0},
        {"pad look-alike nibble", {0xE0, 0x00, 0x00}, -1},
    };
    for (const Case &c : cases) {
        SetUp();
        BitWriter w;
        w.Put(1, 4).Put(3, 10).Put(123, 10);
        std::vector<uint8_t> stream = w.Bytes();
        ASSERT_EQ(stream.size(), 3u);
        stream.insert(stream.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(Decode(stream), c.rc) << c.name;
        if (c.rc == 0) {
            EXPECT_EQ(Got(), "123") << c.name;
        }
    }
}

TEST_F(QrSegments, RunningOutInsideASegmentKeepsWhatWasDecoded) {
    BitWriter w;
    PutBytes(w, "abcdef");
    std::vector<uint8_t> stream = w.Bytes();
    stream.resize(4);  // count says 6, the stream holds 2.5 of them
    ASSERT_EQ(Decode(stream), 0);
    EXPECT_EQ(Got(), "ab");
}

TEST_F(QrSegments, VersionCodesASegmentDoesNotServeRefuse) {
    struct Case {
        int (*decoder)(QR_BITS *, int);
        int versionCode;
    };
    const Case cases[] = {
        {QR_DecodeAlphanumeric, -1}, {QR_DecodeByte, -2}, {QR_DecodeKanji, -2}, {QR_DecodeHanzi, -4},
        {QR_DecodeNumeric, 40},      {QR_DecodeNumeric, -5},
    };
    const uint8_t stream[4] = {0x10, 0x20, 0x30, 0x40};
    for (const Case &c : cases) {
        QR_BITS bits;
        QR_InitBits(&bits, stream, 4, 32);
        QR_BeginText(out.data(), 16);
        EXPECT_EQ(c.decoder(&bits, c.versionCode), -1) << c.versionCode;
    }
}

TEST_F(QrSegments, VersionIndexOutsideQrCodeIsRefused) {
    BitWriter w;
    w.Put(1, 4).Put(1, 10).Put(5, 4).Put(0, 6);
    for (int vi : {-1, -4, 40}) EXPECT_EQ(Decode(w.Bytes(), vi), -1) << vi;
    EXPECT_EQ(Decode(w.Bytes(), 39), 0);
}

TEST_F(QrSegments, MicroQrM1NumericEndsTheStream) {
    out.assign(64, 0);
    BitWriter w;
    w.Put(5, 3).Put(123, 10).Put(45, 7).Put(0, 4);
    const std::vector<uint8_t> stream = w.Bytes();
    QR_BITS bits;
    QR_InitBits(&bits, stream.data(), static_cast<int>(stream.size()), 20);
    QR_BeginText(out.data(), 64);
    EXPECT_EQ(QR_DecodeNumeric(&bits, -1), 0);
    EXPECT_EQ(Got(), "12345");
    // M2 goes on after the segment.
    BitWriter m2;
    m2.Put(2, 4).Put(12, 7).Put(0, 8);
    const std::vector<uint8_t> s2 = m2.Bytes();
    QR_InitBits(&bits, s2.data(), static_cast<int>(s2.size()), 19);
    QR_BeginText(out.data(), 64);
    EXPECT_EQ(QR_DecodeNumeric(&bits, -2), 8);
    EXPECT_EQ(Got(), "12");
}

TEST_F(QrSegments, NumericGroupsOutsideTheirRangeAreRefused) {
    struct Case {
        uint32_t count, value;
        int width;
    };
    const Case cases[] = {{3, 1000, 10}, {3, 1023, 10}, {2, 100, 7}, {1, 10, 4}, {1, 15, 4}};
    for (const Case &c : cases) {
        SetUp();
        BitWriter w;
        w.Put(1, 4).Put(c.count, 10).Put(c.value, c.width).Put(0, 4);
        EXPECT_EQ(Decode(w.Bytes(19)), -1) << c.value;
    }
}

TEST_F(QrSegments, AlphanumericValuesBeyondTheSetPrintAsMinus) {
    BitWriter w;
    w.Put(2, 4).Put(3, 9).Put(45 * 45 + 2, 11).Put(63, 6).Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(19)), 0);
    EXPECT_EQ(Got(), "-2-");
    EXPECT_EQ(QR_AlnumChar(44), ':');
    EXPECT_EQ(QR_AlnumChar(45), 45);
    EXPECT_EQ(QR_AlnumChar(-1), 45);
}

TEST_F(QrSegments, Model1StreamSkipsItsFirstNibble) {
    g_qrSymbol.model1 = 1;
    g_qrSymbol.kind = kQrKindModel1;
    BitWriter w;
    w.Put(0xA, 4).Put(4, 4).Put(1, 8).Put('x', 8).Put(0, 4);
    ASSERT_EQ(Decode(w.Bytes(10)), 0);
    EXPECT_EQ(Got(), "x");
    EXPECT_EQ(qr_test::AimId(), "]Q0");
}

TEST_F(QrSegments, AimModifierKeepsItsValueUntilTheNextSuccess) {
    EXPECT_EQ(qr_test::AimId(), "]Q1");
    BitWriter eci;
    PutEci(eci, 3);
    PutBytes(eci, "a").Put(0, 4);
    ASSERT_EQ(Decode(eci.Bytes(19)), 0);
    EXPECT_EQ(qr_test::AimId(), "]Q2");
    g_qrSymbol.eciSeen = 0;
    EXPECT_EQ(Decode({0xF0, 0, 0, 0}), -1);
    EXPECT_EQ(qr_test::AimId(), "]Q2");
    QR_WriteAimId(static_cast<u8 *>(nullptr));
}

// The text never passes the capacity: a stream of ECI designators (7 bytes per 12 bits) as
// long as a version-40 symbol's data is refused, and nothing is written past the end.
TEST_F(QrSegments, EciFloodIsRefusedWithoutWritingPastTheText) {
    BitWriter w;
    for (int i = 0; i < 2956 * 8 / 12; ++i) w.Put(7, 4).Put(26, 8);
    const std::vector<uint8_t> stream = w.Bytes(2956);
    ASSERT_EQ(Decode(stream, 39), -1);
    EXPECT_LE(g_qrData.length, kQrTextCapacity);
    for (size_t i = kQrTextCapacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << i;
}

TEST_F(QrSegments, TextCapacityBoundaries) {
    struct Case {
        const char *name;
        int capacity;
        int rc;
    };
    // "Brevik:" + 5 bytes + ECI (7) + 3 digits = 22 bytes.
    const Case cases[] = {{"fits exactly", 22, 0}, {"one short", 21, -1}, {"prefix only", 7, -1}, {"none", 0, -1}};
    for (const Case &c : cases) {
        SetUp();
        BitWriter w;
        w.Put(0xFF, 8).Put(0xE9, 8);
        PutBytes(w, "hello");
        PutEci(w, 4);
        w.Put(1, 4).Put(3, 10).Put(321, 10).Put(0, 4);
        const int rc = Decode(w.Bytes(26), 0, c.capacity);
        EXPECT_EQ(rc, c.rc) << c.name;
        EXPECT_LE(g_qrData.length, c.capacity) << c.name;
        for (size_t i = static_cast<size_t>(c.capacity); i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << c.name;
        if (rc == 0) {
            EXPECT_EQ(Got(), "Brevik:hello\\000004321");
        }
    }
}

// Every read stays inside the codewords handed over (the sanitizer build checks the bytes
// right behind them): streams of one and two bytes ending at each decision point.
TEST_F(QrSegments, ReadsStayInsideShortStreams) {
    for (int a = 0; a < 256; ++a) {
        for (int len = 1; len <= 2; ++len) {
            auto buf = std::make_unique<uint8_t[]>(static_cast<size_t>(len));
            buf[0] = static_cast<uint8_t>(a);
            if (len == 2) buf[1] = static_cast<uint8_t>(255 - a);
            SetUp();
            out.assign(64, 0);
            const int rc = QR_DecodeSegments(buf.get(), len, 0, out.data(), 64);
            EXPECT_TRUE(rc == 0 || rc == -1);
            EXPECT_LE(g_qrData.length, 64);
        }
    }
}

TEST_F(QrSegments, BitStreamPrimitives) {
    const uint8_t data[2] = {0xA5, 0x3C};
    QR_BITS bits;
    QR_InitBits(&bits, data, 2, 16);
    EXPECT_EQ(QR_PeekBits(&bits, 12), 0xA53);
    QR_ShiftBits(&bits, 12);  // clamped to 8
    EXPECT_EQ(bits.left, 8);
    EXPECT_EQ(QR_TakeBits(&bits, 4), 0x3);
    QR_ShiftBits(&bits, -3);
    EXPECT_EQ(bits.left, 4);
    EXPECT_EQ(QR_ShiftBitsIfAvailable(&bits, 5), 4);
    EXPECT_EQ(QR_ShiftBitsIfAvailable(&bits, 4), 0);
    EXPECT_EQ(QR_PeekBits(&bits, 8), 0);  // past the end
    QR_InitBits(&bits, nullptr, 5, -3);
    EXPECT_EQ(bits.byteCount, 0);
    EXPECT_EQ(bits.left, 0);
    EXPECT_EQ(QR_DecodeByte(nullptr, 0), -1);
    EXPECT_EQ(QR_SetFnc1First(), 0);
}

}  // namespace
