// PDF417 and MicroPDF417 interpretation on hand-made codeword vectors: compaction modes, ECI
// escapes, the length descriptor, the 920 rule, text sub-mode corner cases, the MicroPDF417
// wrappers and mode mapping, the date field after 912, and the identifier.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf417/pdf417_interpret.h"
#include "pdf417/pdf417_services.h"
#include "pdf417/pdf417_state.h"
#include "pdf417_test_util.h"

namespace {

using namespace vexo;
using pdf_test::Canary;
using pdf_test::Encoder;
using pdf_test::NumericCodewords;
using pdf_test::Printable;

constexpr int kCapacity = 2812;
constexpr int kLength = 0x7FFF;  // the answer is the text's length

struct Case {
    const char *name;
    std::vector<int> cw;
    int answer;  // kLength, 0 or -10
    std::string text;
};

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(static_cast<char>(v));
    return s;
}

// "Hello!" as one 924 group.
std::vector<int> HelloGroup() {
    std::vector<int> cw = Encoder().Bytes("Hello!").cw;
    cw.erase(cw.begin());
    return cw;
}

std::vector<int> Concat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> out;
    for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

void RunCases(const std::vector<Case> &cases, bool micro) {
    for (const Case &c : cases) {
        Canary out(kCapacity);
        const int rc = micro ? MPDF_InterpretCodewords(c.cw.data(), static_cast<int>(c.cw.size()), 1, out.data(), kCapacity)
                             : PDF_InterpretCodewords(c.cw.data(), static_cast<int>(c.cw.size()), out.data(), kCapacity);
        EXPECT_TRUE(out.Intact()) << c.name;
        if (c.answer == kLength) {
            EXPECT_EQ(rc, static_cast<int>(c.text.size())) << c.name;
            EXPECT_EQ(Printable(out.Text(rc)), Printable(c.text)) << c.name;
        } else {
            EXPECT_EQ(rc, c.answer) << c.name;
        }
    }
}

class PdfInterpret : public pdf_test::PdfTest {};

TEST_F(PdfInterpret, CodewordVectorsGiveTheirTexts) {
    const std::vector<int> hello = HelloGroup();
    const std::vector<Case> cases = {
        {"text 0,1 in Alpha", {3, 900, 1}, kLength, "AB"},
        {"text without latch", {2, 1}, kLength, "AB"},
        {"901 five codewords are five bytes", {7, 901, 65, 66, 67, 300, 899}, kLength, Bytes({'A', 'B', 'C', 44, 0x83})},
        {"901 six codewords: a group and a byte", Concat({{8, 901}, hello, {65}}), kLength, "Hello!A"},
        {"901 ten codewords: a group and five bytes", Concat({{12, 901}, hello, {65, 66, 67, 68, 69}}), kLength,
         "Hello!ABCDE"},
        {"924 one group", Concat({{7, 924}, hello}), kLength, "Hello!"},
        {"924 seven codewords", {9, 924, 1, 2, 3, 4, 5, 6, 7}, -10, ""},
        {"924 empty run", {2, 924}, 0, ""},
        {"ECI 927", {3, 927, 5}, kLength, "\\000005"},
        {"ECI 926", {4, 926, 0, 0}, kLength, "\\000900"},
        {"ECI 926 largest", {4, 926, 899, 899}, kLength, "\\810899"},
        {"ECI 925", {3, 925, 0}, kLength, "\\810900"},
        {"ECI then text", {5, 927, 26, 900, 1}, kLength, "\\000026AB"},
        {"ECI argument missing", {2, 927}, -10, ""},
        {"ECI 926 second argument missing", {3, 926, 0}, -10, ""},
        {"ECI argument past the descriptor", {2, 927, 5}, -10, ""},
        {"ECI argument out of range", {3, 927, 900}, -10, ""},
        {"numeric", Concat({{0}, {902}, NumericCodewords("0123456789")}), kLength, "0123456789"},
        {"first 920 then 898", {4, 920, 898, 1}, kLength, "AB"},
        {"first 920 then 899", {4, 920, 899, 1}, kLength, "AB"},
        {"first 920 without the flag", {4, 920, 1, 2}, -10, ""},
        {"920 later", {4, 1, 920, 1}, -10, ""},
        {"descriptor 0 with data: the count ends", {0, 900, 1}, kLength, "AB"},
        {"descriptor 0 alone", {0}, -10, ""},
        {"descriptor 0 and zeros", {0, 0, 0, 0}, -10, ""},
        {"descriptor 0, zero then data", {0, 0, 1}, kLength, "AAAB"},
        {"no codewords", {}, 0, ""},
        {"descriptor above the count", {5, 900, 1}, -10, ""},
        {"descriptor below the count", {3, 900, 1, 1, 1}, kLength, "AB"},
        {"negative descriptor", {-1, 1}, -10, ""},
        {"byte shift", {3, 913, 321}, kLength, "A"},
        {"byte shift within text", {5, 1, 913, 66, 1}, kLength, "ABBAB"},
        {"byte shift at the end of the run", {3, 1, 913}, kLength, "AB"},
        {"29 during a Punctuation shift ends the run", {4, 29, 870, 1}, kLength, "A"},
        {"the next run goes on", {6, 29, 870, 1, 900, 1}, kLength, "AAB"},
        {"913 cancels a Punctuation shift", {5, 29, 913, 65, 1}, kLength, "AAAB"},
        {"Alpha shift writes 0 for 27-29", {3, 837, 840}, kLength, Bytes({0, 'a'})},
        {"Punctuation latch and back", {4, 28 * 30 + 25, 0 * 30 + 29, 0}, kLength, ";AA"},
        {"mixed sub-mode", {3, 28 * 30 + 10, 11 * 30 + 24}, kLength, "&\r^"},
        {"value out of range", {3, 1, -5}, -10, ""},
        {"erasure value", {3, 1, 999}, -10, ""},
    };
    RunCases(cases, false);
}

TEST_F(PdfInterpret, UnassignedModeCodewordsAreInvalid) {
    for (int c = 903; c <= 923; ++c) {
        if (c == 913 || c == 920 || c == 922 || c == 923) continue;
        const std::vector<int> cw = {3, 1, c};
        Canary out(kCapacity);
        EXPECT_EQ(PDF_InterpretCodewords(cw.data(), 3, out.data(), kCapacity), -10) << c;
    }
    // 922 and 923 outside a macro block, and 920 after the first data codeword.
    for (int c : {920, 922, 923}) {
        const std::vector<int> cw = {3, 1, c};
        Canary out(kCapacity);
        EXPECT_EQ(PDF_InterpretCodewords(cw.data(), 3, out.data(), kCapacity), -10) << c;
    }
}

TEST_F(PdfInterpret, RegionFlagHandsA920StreamToCompositeData) {
    // CC-B style: 920, 924 and one group of six bytes; the bit stream is general purpose "0",
    // the numeric pair 12, then zero bits (latches only).
    std::vector<int> group = Encoder().Bytes(Bytes({0x15, 0, 0, 0, 0, 0})).cw;
    std::vector<int> cw = Concat({{8, 920}, group});
    ASSERT_EQ(cw.size(), 8u);
    Canary out(kCapacity);
    EXPECT_EQ(PDF_InterpretCodewords(cw.data(), 8, out.data(), kCapacity), -10);
    PDF_SetRegionFlag(1);
    ASSERT_EQ(PDF_InterpretCodewords(cw.data(), 8, out.data(), kCapacity), 2);
    EXPECT_EQ(out.Text(3), std::string("12\0", 3));
    EXPECT_TRUE(out.Intact());
    // The flag only concerns a first data codeword 920.
    const std::vector<int> text = {3, 900, 1};
    EXPECT_EQ(PDF_InterpretCodewords(text.data(), 3, out.data(), kCapacity), 2);
}

TEST_F(PdfInterpret, MicroWrappersMappingAndRefusals) {
    const std::vector<int> n123 = NumericCodewords("123");
    const std::string head05 = "[)>\x1e" "05\x1d";
    const std::string head06 = "[)>\x1e" "06\x1d";
    const std::string tail = "\x1e\x04";
    const std::vector<Case> cases = {
        {"text from codeword 0", {1, 1}, kLength, "ABAB"},
        {"916 wrapper, numeric", Concat({{916}, n123}), kLength, head05 + "123" + tail},
        {"916 then a text latch", Concat({{916}, n123, {900, 1}}), kLength, head05 + "123AB" + tail},
        {"917 wrapper, Mixed", {917, 1, 900, 1}, kLength, head06 + "01AB" + tail},
        {"917 with a latch back to Alpha", {917, 28 * 30 + 0}, kLength, head06 + "A" + tail},
        {"903 acts as 900", {903, 1}, kLength, "AB"},
        {"906 acts as 900", {906, 1}, kLength, "AB"},
        {"908 acts as 900", {908, 1}, kLength, "AB"},
        {"910 acts as 900", {910, 1}, kLength, "AB"},
        {"904 acts as 902", Concat({{904}, n123}), kLength, "123"},
        {"905 acts as 902", Concat({{905}, n123}), kLength, "123"},
        {"907 acts as 902", Concat({{907}, n123}), kLength, "123"},
        {"909 acts as 902", Concat({{909}, n123}), kLength, "123"},
        {"911 acts as 902", Concat({{911}, n123}), kLength, "123"},
        {"914 writes 10", Concat({{914}, n123}), kLength, "10123"},
        {"915 writes 21", Concat({{915}, n123}), kLength, "21123"},
        {"914 later in the stream", Concat({{1, 914}, n123}), kLength, "AB10123"},
        {"901, 924, ECI as in PDF417", Concat({{927, 3, 924}, HelloGroup()}), kLength, "\\000003Hello!"},
        {"first 920", {920, 1}, 0, ""},
        {"921 first", {921, 1}, 0, ""},
        {"921 later", {1, 921}, 0, ""},
        {"920 later", {1, 920}, -10, ""},
        {"916 later", {1, 916}, -10, ""},
        {"918", {918}, -10, ""},
        {"922 outside a block", {1, 922}, -10, ""},
        {"no codewords", {}, 0, ""},
    };
    RunCases(cases, true);
    Canary out(kCapacity);
    const std::vector<int> cw = {1};
    EXPECT_EQ(MPDF_InterpretCodewords(cw.data(), 1, 0, out.data(), kCapacity), -10) << "type 0";
    EXPECT_EQ(MPDF_InterpretCodewords(cw.data(), 1, 2, out.data(), kCapacity), -10) << "type 2";
}

TEST_F(PdfInterpret, DateFieldAfter912) {
    const auto run = [](const std::string &digits) {
        return Concat({{912}, NumericCodewords(digits)});
    };
    const std::vector<Case> cases = {
        // g = 14 (month code 15, month 1), d = 45 (10, day 13); D[6..] moved up six places.
        {"date", run("121445123456789012"), kLength, "120115131056123456"},
        {"g / 13 = 0 and d / 32 = 2", run("0001640000"), kLength, "0001170021"},
        {"g / 13 = 3", run("0051330000"), kLength, "0012110110"},
        {"shortest run", run("9912459999"), kLength, "9912171310"},
        {"g mod 13 = 0", run("0013450000"), 0, ""},
        {"g / 13 = 4", run("0053450000"), 0, ""},
        {"d / 32 = 0", run("0001310000"), 0, ""},
        {"d / 32 = 3", run("0001960000"), 0, ""},
        {"nine digits", run("001445000"), 0, ""},
        {"empty run", {912}, 0, ""},
    };
    RunCases(cases, true);
}

TEST_F(PdfInterpret, AimIdentifierIsL0) {
    char id[4] = {'x', 'x', 'x', 'x'};
    PDF_WriteAimId(id);
    EXPECT_EQ(std::string(id, 4), "]L0x");
    id[0] = id[1] = id[2] = 'y';
    MPDF_WriteAimId(id);
    EXPECT_EQ(std::string(id, 4), "]L0x");
    PDF_WriteAimId(nullptr);
    MPDF_WriteAimId(nullptr);
}

}  // namespace
