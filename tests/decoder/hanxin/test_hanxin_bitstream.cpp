// Han Xin bit streams to text: every data mode, its edge cases and its failures, as one table;
// the structured-append record and the bounds of a stream.
#include "hanxin_test_util.h"

namespace {

using namespace hxtest;
using namespace vexo;

class HanXinStream : public HanXinTest {};

struct StreamCase {
    const char *name;
    Bits bits;
    int ok;
    std::string text;
};

Bits B() { return Bits{}; }

// Text values as 6-bit groups.
Bits TextValues(Bits b, std::initializer_list<int> values) {
    for (int v : values) b.Add(static_cast<u32>(v), 6);
    return b;
}

std::string Decode(const Bits &b, int *ok) {
    std::vector<char> text(kCscnTextCapacity + 16, '#');
    i32 length = 0;
    *ok = CSCN_DecodeBitStream(b.v.data(), b.Size(), text.data(), &length);
    return std::string(text.data(), static_cast<size_t>(length));
}

TEST_F(HanXinStream, SegmentTable) {
    const StreamCase cases[] = {
        {"numeric 123 then 1023", B().Add(1, 4).Add(123, 10).Add(1023, 10).Add(0, 8), 1, "123"},
        {"numeric 123 then 1021", B().Add(1, 4).Add(123, 10).Add(1021, 10).Add(0, 8), 1, "3"},
        {"numeric 123 then 1022", B().Add(1, 4).Add(123, 10).Add(1022, 10).Add(0, 8), 1, "23"},
        {"numeric 1005 then 1023", B().Add(1, 4).Add(1005, 10).Add(1023, 10).Add(0, 8), 1, ":05"},
        {"numeric ending at once", B().Add(1, 4).Add(1023, 10).Add(2, 4).Add(10, 6).Add(63, 6).Add(0, 4), 1, "A"},
        {"numeric cut by the end", B().Add(1, 4).Add(123, 10).Add(45, 9), 0, "123"},
        {"text A space B", TextValues(B().Add(2, 4), {10, 62, 28, 62, 11, 63}).Add(0, 4), 1, "A B"},
        {"text alphabets", TextValues(B().Add(2, 4), {0, 35, 36, 61, 62, 0, 27, 60, 61, 63}).Add(0, 4), 1,
         std::string("0Zaz\0\x1b~\x7f", 8)},
        {"text without its end", TextValues(B().Add(2, 4), {10, 11}), 0, "AB"},
        {"ECI then doubled backslash",
         TextValues(B().Add(8, 4).Add(3, 8).Add(2, 4), {62, 52, 52, 63}).Add(0, 4), 1, "\\000003\\"},
        {"ECI then backslash space",
         TextValues(B().Add(8, 4).Add(3, 8).Add(2, 4), {62, 52, 28, 63}).Add(0, 4), 1, "\\000003 "},
        {"backslash kept without ECI", TextValues(B().Add(2, 4), {62, 52, 52, 63}).Add(0, 4), 1, "\\\\"},
        {"bytes count 0", B().Add(3, 4).Add(0, 13).Add(0, 4), 1, ""},
        {"bytes 12 bits after indicator", B().Add(3, 4).Add(0, 12), 0, ""},
        {"bytes short of their count", B().Add(3, 4).Add(2, 13).Add(0x41, 8).Add(0, 4), 0, ""},
        {"bytes", B().Add(3, 4).Add(2, 13).Add(0x00, 8).Add(0xFF, 8).Add(0, 4), 1, std::string("\0\xff", 2)},
        {"region 1 switch to 2", B().Add(4, 4).Add(4094, 12).Add(0, 12).Add(4095, 12).Add(0, 4), 1, "\xd8\xa1"},
        {"region 1 switched twice", B().Add(4, 4).Add(4094, 12).Add(4094, 12).Add(0, 12).Add(4095, 12).Add(0, 4), 1,
         "\xb0\xa1"},
        {"region 1 symbols", B().Add(4, 4).Add(3760, 12).Add(4073, 12).Add(4095, 12).Add(0, 4), 1, "\xa1\xa1\xa8\xc0"},
        {"region 1 value 4074 fails", B().Add(4, 4).Add(4074, 12).Add(4095, 12), 0, ""},
        {"region 2 value 3008 fails", B().Add(5, 4).Add(3008, 12).Add(4095, 12), 0, ""},
        {"region 2", B().Add(5, 4).Add(3007, 12).Add(4095, 12).Add(0, 4), 1, "\xf7\xfe"},
        {"region without its end", B().Add(4, 4).Add(0, 12), 0, "\xb0\xa1"},
        {"two-byte 63", B().Add(6, 4).Add(63, 15).Add(32767, 15).Add(0, 4), 1, "\x81\x80"},
        {"two-byte 62", B().Add(6, 4).Add(62, 15).Add(32767, 15).Add(0, 4), 1, "\x81\x7e"},
        {"four-byte character", B().Add(7, 4).Add(0, 21).Add(7, 4).Add(12600 + 1260 + 10 + 1, 21).Add(0, 4), 1,
         "\x81\x30\x81\x30\x82\x31\x82\x31"},
        {"four-byte cut by the end", B().Add(7, 4).Add(0, 20), 0, ""},
        {"ECI 8 bits", B().Add(8, 4).Add(0b00011010, 8).Add(3, 4).Add(1, 13).Add(0x41, 8).Add(0, 4), 1, "\\000026A"},
        {"ECI 16 bits", B().Add(8, 4).Add(0x8000 | 899, 16).Add(3, 4).Add(0, 13).Add(0, 4), 1, "\\000899"},
        {"ECI 24 bits", B().Add(8, 4).Add(0xC00000 | 999999, 24).Add(3, 4).Add(0, 13).Add(0, 4), 1, "\\999999"},
        {"ECI above 999999", B().Add(8, 4).Add(0xC00000 | 1000000, 24).Add(3, 4).Add(0, 13), 0, "\\"},
        {"ECI 111", B().Add(8, 4).Add(0xE0, 8).Add(0, 8), 0, "\\"},
        {"ECI cut by the end", B().Add(8, 4).Add(0x80, 8).Add(0, 4), 0, "\\"},
        {"maker header", B().Add(0xFF, 8).Add(0xE9, 8).Add(2, 4).Add(10, 6).Add(63, 6).Add(0, 4), 1, "Brevik:A"},
        {"structured append alone", B().Add(11, 4).Add(0x3, 4).Add(0x4, 4).Add(0xA5, 8).Add(0, 8), 0, ""},
        {"indicator 1001", B().Add(3, 4).Add(0, 13).Add(9, 4).Add(0, 8), 0, ""},
        {"indicator 1010", B().Add(10, 4).Add(0, 8), 0, ""},
        {"indicator 1111", B().Add(15, 4).Add(0, 8), 0, ""},
        {"non-zero group after 0000", B().Add(3, 4).Add(0, 13).Add(0, 4).Add(0, 4).Add(1, 4).Add(0, 4), 0, ""},
        {"only padding", B().Add(0, 16), 0, ""},
        {"three bits", B().Add(2, 3), 0, ""},
    };
    for (const StreamCase &c : cases) {
        int ok = -1;
        const std::string text = Decode(c.bits, &ok);
        EXPECT_EQ(ok, c.ok) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
    }
}

TEST_F(HanXinStream, StructuredAppendRecord) {
    const CSCN_SA_RECORD *r = CSCN_ResetSaRecord();
    int ok = -1;
    Decode(B().Add(11, 4).Add(0x3, 4).Add(0x4, 4).Add(0xA5, 8).Add(0, 8), &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ((std::array<i32, 3>{r->sequence, r->total, r->parity}), (std::array<i32, 3>{4, 5, 0xA5}));
    Decode(B().Add(11, 4).Add(0, 4).Add(1, 4).Add(7, 8).Add(2, 4).Add(10, 6).Add(63, 6).Add(0, 4), &ok);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ((std::array<i32, 3>{r->sequence, r->total, r->parity}), (std::array<i32, 3>{1, 2, 7}));
    // A stream without a header leaves the record alone; the reset clears it.
    Decode(TextValues(B().Add(2, 4), {10, 63}).Add(0, 4), &ok);
    EXPECT_EQ(r->total, 2);
    CSCN_ResetSaRecord();
    EXPECT_EQ(r->sequence + r->total + r->parity, 0);
}

TEST_F(HanXinStream, BoundsOfAStream) {
    // Bits past the stated count read as 0: the decoder never looks at them.
    Bits b = B().Add(3, 4).Add(1, 13).Add(0x41, 8).Add(0, 4);
    Bits withTail = b;
    withTail.Add(0xFFFF, 16);
    int ok = -1;
    std::vector<char> text(kCscnTextCapacity + 16, 0);
    i32 length = 0;
    ok = CSCN_DecodeBitStream(withTail.v.data(), b.Size(), text.data(), &length);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(length, 1);
    // Above the largest symbol's data the stream is refused.
    std::vector<u8> big(kCscnMaxStreamBits + 1, 0);
    big[2] = 1;  // 0010 text
    length = 0;
    EXPECT_EQ(CSCN_DecodeBitStream(big.data(), kCscnMaxStreamBits + 1, text.data(), &length), 0);
    EXPECT_EQ(length, 0);
    // The densest stream: 12-bit ECI segments, 7 bytes each, fill the text capacity exactly.
    Bits eci;
    while (eci.Size() + 12 <= static_cast<u32>(kCscnMaxStreamBits)) eci.Add(8, 4).Add(0, 8);
    length = 0;
    ok = CSCN_DecodeBitStream(eci.v.data(), eci.Size(), text.data(), &length);
    EXPECT_EQ(length, kCscnTextCapacity);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(CSCN_DecodeBitStream(nullptr, 8, text.data(), &length), 0);
    length = 3;
    EXPECT_EQ(CSCN_DecodeBitStream(b.v.data(), b.Size(), text.data(), &length), 0);
}

TEST_F(HanXinStream, SegmentDecodersAlone) {
    char text[64];
    i32 length = 0;
    u32 pos = 0;
    Bits n = B().Add(999, 10).Add(1022, 10);
    EXPECT_EQ(CSCN_DecodeNumeric(n.v.data(), &pos, n.Size(), text, &length), 1);
    EXPECT_EQ(std::string(text, length), "99");
    EXPECT_EQ(pos, 20u);
    Bits q = B().Add(7, 4).Add(5, 21).Add(3, 4);
    pos = 0;
    length = 0;
    EXPECT_EQ(CSCN_DecodeGb18030Quad(q.v.data(), &pos, q.Size(), text, &length), 1);
    EXPECT_EQ(pos, 25u);
    EXPECT_EQ(std::string(text, length), "\x81\x30\x81\x35");
    char digits[4] = {};
    EXPECT_EQ(CSCN_FormatDigits(7, digits, 0), 3);
    EXPECT_EQ(std::string(digits, 3), "007");
    EXPECT_EQ(CSCN_FormatDigits(1019, digits, 3), 3);
    EXPECT_EQ(std::string(digits, 3), ":19");
    EXPECT_EQ(CSCN_FormatDigits(456, digits, 2), 2);
    EXPECT_EQ(std::string(digits, 2), "56");
    EXPECT_EQ(CSCN_FormatDigits(456, digits, 1), 1);
    EXPECT_EQ(digits[0], '6');
    Bits hdr = B().Add(0xFF, 8).Add(0xE9, 8);
    pos = 0;
    length = 0;
    CSCN_CheckMakerHeader(hdr.v.data(), hdr.Size(), &pos, text, &length);
    EXPECT_EQ(pos, 16u);
    EXPECT_EQ(std::string(text, length), "Brevik:");
    Bits partial = B().Add(0xFF, 8).Add(0xE9, 7);
    pos = 0;
    length = 0;
    CSCN_CheckMakerHeader(partial.v.data(), partial.Size(), &pos, text, &length);
    EXPECT_EQ(pos + static_cast<u32>(length), 0u);
}

}  // namespace
