// Bounds of every writer and reader of the codeword stages, with canary bytes behind each
// buffer: texts that would not fit are refused (never cut and reported as good), reads stop at
// the codeword count, macro text slots are cut and terminated.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pdf417/cc_data.h"
#include "pdf417/pdf417_interpret.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417_test_util.h"

namespace {

using namespace vexo;
using pdf_test::Canary;
using pdf_test::Encoder;
using pdf_test::NumericCodewords;
using pdf_test::TextCodewords;
using pdf_test::WithDescriptor;

class PdfBounds : public pdf_test::PdfTest {};

// Codewords in a heap block of exactly their count, so that a read past it is caught.
struct Exact {
    explicit Exact(const std::vector<int> &v) : n(static_cast<int>(v.size())), p(new int[v.empty() ? 1 : v.size()]) {
        for (size_t i = 0; i < v.size(); ++i) p[i] = v[i];
    }
    int n;
    std::unique_ptr<int[]> p;
};

// A mode codeword in front of a run.
std::vector<int> After(int mode, std::vector<int> run) {
    run.insert(run.begin(), mode);
    return run;
}

enum Entry { kPdf, kMicro, kComposite };

int RunEntry(Entry entry, const std::vector<int> &cw, Canary &out, int capacity) {
    Exact e(cw);
    switch (entry) {
        case kPdf: return PDF_InterpretCodewords(e.p.get(), e.n, out.data(), capacity);
        case kMicro: return MPDF_InterpretCodewords(e.p.get(), e.n, 1, out.data(), capacity);
        default: return CC_DecodeData(e.p.get(), e.n, out.data(), capacity);
    }
}

TEST_F(PdfBounds, OversizedStreamsAreRefusedWithinTheirBuffers) {
    struct Case {
        const char *name;
        Entry entry;
        std::vector<int> cw;
        int capacity;
        int answer;
    };
    std::vector<int> eci = {925};
    for (int k = 0; k < 462; ++k) eci.insert(eci.end(), {927, 5});
    // 363 digits of 1, 2, 3, 5, 6, 7, 9: as bytes after 920 every 7-bit group of the bit stream
    // is a numeric pair, some 800 characters from 124 codewords.
    std::string digits;
    for (int k = 0; k < 363; ++k) digits.push_back("1235679"[k % 7]);
    std::vector<int> numeric = {920, 902};
    for (int c : NumericCodewords(digits)) numeric.push_back(c);
    std::vector<int> date = {912};
    for (int c : NumericCodewords("001445000")) date.push_back(c);
    const std::vector<Case> cases = {
        {"925 codewords of ECI escapes", kPdf, eci, 2812, -10},
        {"descriptor above the count", kPdf, {9, 900, 1, 1}, 2812, -10},
        {"nine digits after 912", kMicro, date, 2812, 0},
        {"920, 902 and 124 numeric codewords into 512 bytes", kComposite, numeric, 512, 0},
    };
    ASSERT_EQ(eci.size(), 925u);
    ASSERT_EQ(numeric.size(), 126u);
    for (const Case &c : cases) {
        Canary out(c.capacity);
        EXPECT_EQ(RunEntry(c.entry, c.cw, out, c.capacity), c.answer) << c.name;
        EXPECT_TRUE(out.Intact()) << c.name;
    }
    // The composite stream does decode into a buffer that holds it.
    Canary big(2812);
    EXPECT_GT(RunEntry(kComposite, numeric, big, 2812), 512);
}

// For each stream: its text fits a buffer of exactly its size (plus the NUL of composite general
// purpose), and one byte less is refused, for every writer.
TEST_F(PdfBounds, LastAcceptedAndFirstRefusedCapacity) {
    struct Case {
        const char *name;
        Entry entry;
        std::vector<int> cw;
        int extra;  // bytes written behind the text
    };
    const std::vector<int> hello = Encoder().Bytes("Hello!").cw;
    const std::vector<Case> cases = {
        {"text", kPdf, WithDescriptor(Encoder().Text("Text, with: marks!").cw), 0},
        {"byte shift", kPdf, {3, 913, 65}, 0},
        {"numeric group", kPdf, WithDescriptor(Encoder().Numeric(std::string(50, '7')).cw), 0},
        {"901 bytes", kPdf, WithDescriptor(Encoder().Bytes("Hello, world").cw), 0},
        {"924 bytes", kPdf, WithDescriptor(hello), 0},
        {"ECI", kPdf, {5, 927, 3, 900, 1}, 0},
        {"916 wrapper", kMicro, After(916, NumericCodewords("123")), 0},
        {"917 wrapper", kMicro, {917, 1}, 0},
        {"914 prefix", kMicro, After(914, NumericCodewords("5")), 0},
        {"912 date", kMicro, After(912, NumericCodewords("121445123456789012")), 0},
        {"composite general purpose", kComposite, pdf_test::BitsToBase928("0" "0010101" "0101101"), 1},
        {"composite method 10", kComposite, pdf_test::BitsToByteCodewords("10" "0000000000000000" "1" "0010101"), 0},
        {"composite method 11", kComposite, pdf_test::BitsToBase928("1100" "11111" "0000000111" "00001" "100000"), 1},
    };
    for (const Case &c : cases) {
        Canary full(2812);
        const int n = RunEntry(c.entry, c.cw, full, 2812);
        ASSERT_GT(n, 0) << c.name;
        const int fits = n + c.extra;
        Canary exact(fits);
        EXPECT_EQ(RunEntry(c.entry, c.cw, exact, fits), n) << c.name;
        EXPECT_EQ(exact.Text(n), full.Text(n)) << c.name;
        EXPECT_TRUE(exact.Intact()) << c.name;
        Canary shorter(fits - 1);
        const int refused = RunEntry(c.entry, c.cw, shorter, fits - 1);
        EXPECT_EQ(refused, c.entry == kComposite ? 0 : -10) << c.name;
        EXPECT_TRUE(shorter.Intact()) << c.name;
    }
}

TEST_F(PdfBounds, MacroBlockCutAnywhere) {
    const std::vector<int> block = pdf_test::EveryFieldBlock(7, {12, 34}, "NAME", {0, 0, 5}, "FROM", "TO", "99");
    // Every cut before the terminator: the block ends as the codewords run out.
    for (size_t cut = 1; cut < block.size(); ++cut) {
        const std::vector<int> head(block.begin(), block.begin() + static_cast<long>(cut));
        Exact e(head);
        PDF_MACRO_RECORD r{};
        EXPECT_EQ(PDF_ReadMacroBlock(e.p.get(), e.n, 1, &r), e.n) << "cut " << cut;
        EXPECT_EQ(r.present, 1) << "cut " << cut;
        EXPECT_EQ(r.countWord, 0) << "cut " << cut;
        Canary out(64);
        EXPECT_EQ(RunEntry(kPdf, WithDescriptor(head), out, 64), 0) << "cut " << cut;
        EXPECT_TRUE(out.Intact()) << "cut " << cut;
    }
    Exact whole(block);
    PDF_MACRO_RECORD r{};
    EXPECT_EQ(PDF_ReadMacroBlock(whole.p.get(), whole.n, 1, &r), whole.n);
    EXPECT_EQ(r.countWord, 8);
    EXPECT_STREQ(r.fileName, "NAME");
    EXPECT_STREQ(r.addressee, "TO");
    // A block whose index starts past the count reads nothing.
    EXPECT_EQ(PDF_ReadMacroBlock(whole.p.get(), 2, 5, &r), 5);
    EXPECT_EQ(PDF_ReadMacroBlock(nullptr, 0, 0, &r), 0);
}

TEST_F(PdfBounds, LongMacroTextsAreCutAndTerminated) {
    std::string longName;
    for (int k = 0; k < 1000; ++k) longName.push_back(static_cast<char>('A' + k % 26));
    const std::vector<int> block = Encoder()
                                       .Macro(0, {},
                                              {{0, TextCodewords(longName)},
                                               {3, TextCodewords(longName)},
                                               {4, TextCodewords(longName)},
                                               {1, {111, 103}}},
                                              true)
                                       .cw;
    Exact e(block);
    auto r = std::make_unique<PDF_MACRO_RECORD>();
    EXPECT_EQ(PDF_ReadMacroBlock(e.p.get(), e.n, 1, r.get()), e.n);
    for (const char *slot : {r->fileName, r->sender, r->addressee}) {
        EXPECT_EQ(std::strlen(slot), 255u);
        EXPECT_EQ(std::string(slot), longName.substr(0, 255));
    }
    EXPECT_EQ(r->segmentCount, 3);
    EXPECT_EQ(r->countWord, 1);
}

TEST_F(PdfBounds, TimeStampTextsStayInTheirSlots) {
    // 6860394924 read backwards wraps to -36610: the time would print as "-10:-10:-10".
    struct Slots {
        char date[kPdfDateSlot];
        char canaryDate[8];
        char time[kPdfTimeSlot];
        char canaryTime[8];
    } s;
    std::memset(&s, 0x5A, sizeof s);
    const char *digits = "16860394924";
    PDF_SetTimeStamp(reinterpret_cast<const uint8_t *>(digits), 11, s.date, s.time);
    EXPECT_STREQ(s.time, "-10:-10:");
    EXPECT_STREQ(s.date, "1970- 1- 1");
    for (char c : s.canaryDate) EXPECT_EQ(c, 0x5A);
    for (char c : s.canaryTime) EXPECT_EQ(c, 0x5A);
    EXPECT_EQ(PDF_CalendarField(3), -10);
    EXPECT_EQ(PDF_CalendarField(4), -10);
    EXPECT_EQ(PDF_CalendarField(5), -10);
}

}  // namespace
