// Composite component data: the byte step after 920, base 928 to bits, the three encodation
// methods with the method "11" header table, and the general-purpose field modes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf417/cc_data.h"
#include "pdf417/pdf417_text.h"
#include "pdf417_test_util.h"

namespace {

using namespace vexo;
using pdf_test::BitString;
using pdf_test::BitsToBase928;
using pdf_test::BitsToByteCodewords;
using pdf_test::Canary;
using pdf_test::Encoder;
using pdf_test::NumericCodewords;
using pdf_test::Printable;

class CcData : public pdf_test::PdfTest {
protected:
    // Decodes the bit stream directly; answers the length (0 for a refusal or a text that
    // did not fit) and keeps the text.
    int Decode(const std::string &bits, int capacity = 512) {
        std::vector<uint32_t> slots(kCcBitSlots, 0);
        for (size_t i = 0; i < bits.size(); ++i) CC_PutBits(slots.data(), static_cast<int>(i), 1, bits[i] == '1');
        Canary out(capacity);
        PDF_TEXT t;
        PDF_BeginText(&t, out.data(), capacity);
        const int n = CC_DecodeBitStream(slots.data(), static_cast<int>(bits.size()), &t);
        EXPECT_TRUE(out.Intact());
        text = out.Text(t.length);
        return t.overflow != 0 ? 0 : n;
    }
    // The same stream through CC_DecodeData, as CC-A (base 928) and CC-B (bytes after 920)
    // codewords; both must agree with the direct decode.
    void ExpectThroughCodewords(const std::string &bits, const std::string &expected) {
        for (const std::vector<int> &cw : {BitsToBase928(bits), BitsToByteCodewords(bits)}) {
            Canary out(512);
            const int n = CC_DecodeData(cw.data(), static_cast<int>(cw.size()), out.data(), 512);
            EXPECT_EQ(Printable(out.Text(n)), Printable(expected)) << "first codeword " << cw[0];
            EXPECT_TRUE(out.Intact());
        }
    }
    std::string text;
};

// Fields of the streams below.
const char *const kPair12 = "0010101";     // numeric 1, 2
const char *const kPair34 = "0101101";     // numeric 3, 4
const char *const kLatchAlnum = "0000";    // numeric to alphanumeric
const char *const kAlnumA = "100000";      // 'A'
const char *const kAlnumFnc1 = "01111";
const char *const kUpperA = "00000";
const char *const kUpperFnc1 = "11111";

TEST_F(CcData, ByteStepAfter920) {
    const std::vector<int> hello = [] {
        std::vector<int> g = Encoder().Bytes("Hello!").cw;
        g.erase(g.begin());
        return g;
    }();
    struct Case {
        const char *name;
        std::vector<int> cw;
        int answer;
        std::string bytes;
    };
    std::vector<int> six = {920, 901};
    six.insert(six.end(), hello.begin(), hello.end());
    six.push_back(66);
    std::vector<int> pair = {920, 901, 924};
    pair.insert(pair.end(), hello.begin(), hello.end());
    std::vector<int> numeric = {920, 902, 902};
    for (int c : NumericCodewords("123")) numeric.push_back(c);
    const std::vector<Case> cases = {
        {"901 and five codewords: five low bytes", {920, 901, 65, 66, 67, 321, 899}, 5, "ABCA\x83"},
        {"901 and six: a group and a byte", six, 7, "Hello!B"},
        {"924 and seven", {920, 924, 1, 2, 3, 4, 5, 6, 7}, -10, ""},
        {"901 924 pair: the first is skipped", pair, 6, "Hello!"},
        {"data without a latch", {920, 65, 66}, 2, "AB"},
        {"902 902 pair and numeric", numeric, 3, "123"},
        {"913 starts a text run", {920, 913, 67, 1}, 3, "CAB"},
        {"latch last ends the walk", {920, 65, 901}, 1, "A"},
        {"900 900 padding", {920, 65, 900, 900, 900}, 1, "A"},
        {"text latch inside", {920, 900, 65}, -10, ""},
        {"unknown mode codeword", {920, 65, 903}, -10, ""},
        {"no 920: bytes from codeword 0", {901, 65}, 1, "A"},
    };
    for (const Case &c : cases) {
        Canary out(64);
        const int n = CC_CodewordsToBytes(c.cw.data(), static_cast<int>(c.cw.size()), out.data(), 64);
        EXPECT_EQ(n, c.answer) << c.name;
        if (n > 0) {
            EXPECT_EQ(Printable(out.Text(n)), Printable(c.bytes)) << c.name;
        }
        EXPECT_TRUE(out.Intact()) << c.name;
    }
    // Bytes beyond the capacity refuse the step.
    Canary small(4);
    const std::vector<int> five = {920, 901, 65, 66, 67, 68, 69};
    EXPECT_EQ(CC_CodewordsToBytes(five.data(), 7, small.data(), 4), -10);
    EXPECT_TRUE(small.Intact());
}

TEST_F(CcData, CodewordsAfter920DecodeTheirBits) {
    // 0x15 = 0 (general purpose), 0010101 (the pair 12); zero bits after it only latch.
    struct Case {
        const char *name;
        std::vector<int> cw;
        int answer;
    };
    std::vector<int> six = {920, 901};
    const std::vector<int> group = Encoder().Bytes(std::string("\x15\0\0\0\0\0", 6)).cw;
    six.insert(six.end(), group.begin() + 1, group.end());
    six.push_back(0);
    const std::vector<Case> cases = {
        {"901 and five codewords", {920, 901, 0x15, 0, 0, 0, 0}, 2},
        {"901 and six codewords", six, 2},
        {"924 and seven codewords", {920, 924, 0x15, 0, 0, 0, 0, 0, 0}, 0},
        {"codeword out of range", {920, 901, 0x15, 929}, 0},
        {"negative codeword", {920, 901, 0x15, -1}, 0},
    };
    for (const Case &c : cases) {
        Canary out(512);
        const int n = CC_DecodeData(c.cw.data(), static_cast<int>(c.cw.size()), out.data(), 512);
        EXPECT_EQ(n, c.answer) << c.name;
        if (n > 0) {
            EXPECT_EQ(out.Text(3), std::string("12\0", 3)) << c.name;
        }
        EXPECT_TRUE(out.Intact()) << c.name;
    }
}

TEST_F(CcData, Base928GroupsToBits) {
    std::vector<uint32_t> bits(kCcBitSlots, 0);
    const std::vector<int> two = {0, 5};
    ASSERT_EQ(CC_Base928ToBits(bits.data(), two.data(), 2), 19);
    EXPECT_EQ(CC_GetBits(bits.data(), 0, 19), 5u);

    // Seven codewords: one 69-bit number; eight: 69 + 9 bits.
    const std::vector<int> eight = {927, 1, 2, 3, 4, 5, 926, 500};
    std::fill(bits.begin(), bits.end(), 0);
    ASSERT_EQ(CC_Base928ToBits(bits.data(), eight.data(), 7), 69);
    std::fill(bits.begin(), bits.end(), 0);
    ASSERT_EQ(CC_Base928ToBits(bits.data(), eight.data(), 8), 78);
    unsigned __int128 v = 0;
    for (int k = 0; k < 7; ++k) v = v * 928 + static_cast<unsigned>(eight[static_cast<size_t>(k)]);
    unsigned __int128 got = 0;
    for (int p = 0; p < 69; ++p) got = got << 1 | CC_GetBits(bits.data(), p, 1);
    EXPECT_TRUE(got == (v & ((static_cast<unsigned __int128>(1) << 69) - 1)));
    EXPECT_EQ(CC_GetBits(bits.data(), 69, 9), 500u);

    // Chunks that start past bit 1,600 are not written; the count is all the same.
    std::vector<int> many(175, 927);
    std::fill(bits.begin(), bits.end(), 0);
    ASSERT_EQ(CC_Base928ToBits(bits.data(), many.data(), 175), 25 * 69);
    bool late = false;
    for (int p = 1616; p < 25 * 69; ++p) late = late || CC_GetBits(bits.data(), p, 1) != 0;
    EXPECT_FALSE(late);

    // The round trip of the test packer.
    const std::string stream = BitString().Put(0, 1).Add(kPair12).Add(kPair34).bits;
    ExpectThroughCodewords(stream, std::string("1234"));
}

TEST_F(CcData, Method10DateAndBatchNumber) {
    struct Case {
        const char *name;
        std::string bits;
        std::string text;
    };
    const std::string date0 = BitString().Put(2, 2).Put(0, 16).bits;
    const std::vector<Case> cases = {
        {"date 0, AI 17, pair 12", date0 + "1" + kPair12, "17000100" "1012"},
        {"AI 11", date0 + "0" + kPair12, "11000100" "1012"},
        {"date 99-12-31", BitString().Put(2, 2).Put(99 * 384 + 11 * 32 + 31, 16).Put(0, 1).Add(kPair12).bits,
         "11991231" "1012"},
        {"FNC1 pair first suppresses the 10", date0 + "1" + "1111000" + kPair12, "17000100" "212"},
        {"a digit before an FNC1 still takes the 10", date0 + "1" + "1001001", "17000100" "105"},
        {"10 in front of an alphanumeric digit", date0 + "1" + kLatchAlnum + "00110" + kAlnumA, "17000100" "101A"},
        {"10 in front of a lone last digit", date0 + "1" + "0110", "17000100" "105"},
        {"alphanumeric FNC1 first: no 10", date0 + "1" + kLatchAlnum + kAlnumFnc1 + kPair12, "17000100" "12"},
        {"no date: no date digits, the batch AI", BitString().Put(2, 2).Put(3, 2).Add(kPair12).bits, "1012"},
        {"too short for a date", date0, ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Decode(c.bits), static_cast<int>(c.text.size())) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
    }
    ExpectThroughCodewords(cases[0].bits, cases[0].text);
    CC_SetEmitAiDigits(0);
    EXPECT_EQ(Decode(cases[0].bits), 8);
    EXPECT_EQ(text, "00010012");
}

TEST_F(CcData, Method11HeaderTable) {
    struct Case {
        const char *header;  // bits 2..5 as far as they are header bits
        std::string field;   // the AI 90 field and, with a following AI, the second field
        std::string text;
    };
    const std::string prefix = BitString().Put(0, 5).Put(0, 4).bits;  // number 0, letter B
    const std::string alnumEnd = std::string(kAlnumA) + kAlnumFnc1;
    const std::string numericEnd = std::string(kPair12) + kLatchAlnum + kAlnumFnc1;
    const std::string upperEnd = std::string(kUpperA) + kUpperFnc1;
    const std::vector<Case> cases = {
        {"00", kAlnumA, "900BA"},
        {"010", alnumEnd + kPair34, "900BA2134"},
        {"011", alnumEnd + kPair34, "900BA800434"},
        {"100", kPair12, "900B12"},
        {"110", kUpperA, "900BA"},
        {"1010", numericEnd + kPair34, "900B122134"},
        {"1110", upperEnd + kPair34, "900BA2134"},
        {"1011", numericEnd + kPair34, "900B12800434"},
        {"1111", upperEnd + kPair34, "900BA800434"},
    };
    for (const Case &c : cases) {
        const std::string bits = std::string("11") + c.header + prefix + c.field;
        EXPECT_EQ(Decode(bits), static_cast<int>(c.text.size())) << c.header;
        EXPECT_EQ(text, c.text) << c.header;
    }
}

TEST_F(CcData, Method11Prefix) {
    struct Case {
        const char *name;
        std::string bits;
        int answer;
        std::string text;
    };
    const std::string head = "1100";  // alphanumeric, no following AI, prefix at bit 4
    const auto escape = [&](int n, int letter) {
        return BitString().Add(head).Put(31, 5).Put(static_cast<uint32_t>(n), 10).Put(static_cast<uint32_t>(letter), 5).bits;
    };
    const std::vector<Case> cases = {
        {"N 7, L 1", escape(7, 1) + kAlnumA, 5, "907BA"},
        {"N 999, L 25", escape(999, 25), 6, "90999Z"},
        {"N 1000", escape(1000, 1) + kAlnumA, 0, ""},
        {"L 26", escape(7, 26) + kAlnumA, 0, ""},
        {"stream ends in N", BitString().Add(head).Put(31, 5).Put(7, 9).bits, 0, ""},
        {"stream ends in L", BitString().Add(head).Put(31, 5).Put(7, 10).Put(1, 4).bits, 0, ""},
        {"number 7, letter B", BitString().Add(head).Put(7, 5).Put(0, 4).Add(kAlnumA).bits, 5, "907BA"},
        {"number 30, letter Z", BitString().Add(head).Put(30, 5).Put(15, 4).bits, 5, "9030Z"},
        {"number 0", BitString().Add(head).Put(0, 5).Put(1, 4).bits, 4, "900D"},
        {"stream ends in the letter", BitString().Add(head).Put(3, 5).Put(0, 3).bits, 0, ""},
        {"a numeric FNC1 pair ends the AI 90 data",
         BitString().Add("111010").Put(0, 9).Add(kPair12).Add("1001001").Add(kPair34).bits, 11, "900B1252134"},
        {"the digit after a leading FNC1 opens the next element string",
         BitString().Add("111010").Put(0, 9).Add("1111000").Add(kPair34).bits, 9, "900B21234"},
        {"upper case 52 is 0", BitString().Add("11110").Put(0, 9).Put(52, 6).Put(61, 6).bits, 6, "900B09"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Decode(c.bits), c.answer) << c.name;
        if (c.answer > 0) {
            EXPECT_EQ(text, c.text) << c.name;
        }
    }
}

TEST_F(CcData, GeneralPurposeModes) {
    struct Case {
        const char *name;
        std::string bits;  // after the method bit "0"
        std::string text;
    };
    const std::string toIso = std::string(kLatchAlnum) + "00100";  // numeric -> alnum -> ISO/IEC 646
    const std::vector<Case> cases = {
        {"pairs", std::string(kPair12) + kPair34, "1234"},
        {"FNC1 pairs keep the field", std::string("1111000") + "1001001" + kPair12, "2512"},
        {"lone last digit", "1010", "9"},
        {"lone FNC1 at the end writes nothing", "1011", ""},
        {"alphanumeric letters and marks",
         BitString().Add(kLatchAlnum).Put(32 + 25, 6).Put(58, 6).Put(59, 6).Put(60, 6).Put(61, 6).Put(62, 6).bits,
         "Z*,-./"},
        {"alphanumeric digits and back to numeric",
         BitString().Add(kLatchAlnum).Put(5, 5).Put(14, 5).Put(0, 3).Add(kPair12).bits, "0912"},
        {"alphanumeric 63 is a NUL", BitString().Add(kLatchAlnum).Put(63, 6).Put(32, 6).bits, std::string("\0A", 2)},
        {"ISO/IEC 646 letters", BitString().Add(toIso).Put(64, 7).Put(89, 7).Put(90, 7).Put(115, 7).bits, "AZaz"},
        {"ISO/IEC 646 marks", BitString().Add(toIso).Put(232, 8).Put(233, 8).Put(251, 8).Put(252, 8).bits, "!\"_ "},
        {"ISO/IEC 646 253 is a NUL", BitString().Add(toIso).Put(253, 8).Put(7, 5).bits, std::string("\0" "2", 2)},
        {"ISO/IEC 646 undefined value ends", BitString().Add(toIso).Put(254, 8).Put(64, 7).bits, ""},
        {"ISO/IEC 646 back to alphanumeric", BitString().Add(toIso).Put(4, 5).Put(32, 6).bits, "A"},
        {"after an FNC1 the next element string",
         BitString().Add(kLatchAlnum).Put(32, 6).Add(kAlnumFnc1).Add(kPair12).Add(kLatchAlnum).Put(33, 6).bits,
         "A12B"},
        {"padding latches write nothing", BitString().Add(kPair12).Add(kLatchAlnum).Add("00100001000010000100").bits,
         "12"},
    };
    for (const Case &c : cases) {
        const std::string bits = "0" + c.bits;
        EXPECT_EQ(Decode(bits), static_cast<int>(c.text.size())) << c.name;
        EXPECT_EQ(Printable(text), Printable(c.text)) << c.name;
    }
    // The NUL after a general-purpose text needs a byte of its own.
    const std::string pair = std::string("0") + kPair12;
    EXPECT_EQ(Decode(pair, 2), 0);
    EXPECT_EQ(Decode(pair, 3), 2);
    // Method "10" writes no NUL: its text may fill the buffer.
    EXPECT_EQ(Decode(BitString().Put(2, 2).Put(3, 2).Add(kPair12).bits, 4), 4);
}

}  // namespace
