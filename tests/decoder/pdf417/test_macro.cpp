// Macro PDF417 control blocks (segment index, file id, every designator, the terminator) and
// the calendar of the time stamp.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pdf417/pdf417_interpret.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417_test_util.h"

namespace {

using namespace vexo;
using pdf_test::Canary;
using pdf_test::Encoder;
using pdf_test::NumericCodewords;
using pdf_test::TextCodewords;

class PdfMacro : public pdf_test::PdfTest {
protected:
    int Interpret(const std::vector<int> &cw) {
        Canary out(2812);
        const int rc = PDF_InterpretCodewords(cw.data(), static_cast<int>(cw.size()), out.data(), 2812);
        text = out.Text(rc);
        return rc;
    }
    std::string text;
};

TEST_F(PdfMacro, SegmentIndexAndTerminator) {
    ASSERT_EQ(Interpret({4, 928, 111, 100}), 0);
    EXPECT_EQ(g_pdfMacro.present, 1);
    EXPECT_EQ(g_pdfMacro.segmentIndex, 0);
    EXPECT_EQ(g_pdfMacro.countWord, 0);

    ASSERT_EQ(Interpret({5, 928, 111, 100, 922}), 0);
    EXPECT_EQ(g_pdfMacro.present, 1);
    EXPECT_EQ(g_pdfMacro.countWord, 1);

    // Text before and after the block; a second 928 right after the first is skipped; a new
    // block clears the record.
    ASSERT_EQ(Interpret({10, 900, 1, 928, 928, 111, 105, 922, 900, 1}), 4);
    EXPECT_EQ(text, "ABAB");
    EXPECT_EQ(g_pdfMacro.segmentIndex, 5);
    EXPECT_EQ(g_pdfMacro.countWord, 6);
    ASSERT_EQ(Interpret({4, 928, 111, 101}), 0);
    EXPECT_EQ(g_pdfMacro.segmentIndex, 1);
    EXPECT_EQ(g_pdfMacro.countWord, 0);
}

TEST_F(PdfMacro, SeventeenthFileIdCodewordIsADesignator) {
    std::vector<int> cw = {111, 100};
    for (int k = 0; k < 16; ++k) cw.push_back(10 + k);
    // The seventeenth, 1, is the segment-count designator.
    cw.insert(cw.end(), {1, 111, 105, 922, 77});
    PDF_MACRO_RECORD r{};
    EXPECT_EQ(PDF_ReadMacroBlock(cw.data(), static_cast<int>(cw.size()), 0, &r), static_cast<int>(cw.size()) - 1);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(r.fileId[k], 10 + k) << k;
    EXPECT_EQ(r.segmentCount, 5);
    EXPECT_EQ(r.present, 1);
    EXPECT_EQ(r.countWord, 1);

    // Fewer file-id codewords: a mode codeword ends them.
    const std::vector<int> shortId = {111, 102, 7, 8, 923, 6, 111, 300, 922};
    PDF_MACRO_RECORD s{};
    EXPECT_EQ(PDF_ReadMacroBlock(shortId.data(), 9, 0, &s), 9);
    EXPECT_EQ(s.fileId[0], 7);
    EXPECT_EQ(s.fileId[1], 8);
    EXPECT_EQ(s.fileId[2], 0);
    EXPECT_EQ(s.checksum, 200);
    EXPECT_EQ(s.segmentIndex, 2);
}

TEST_F(PdfMacro, EveryDesignator) {
    // Time stamp: the number 2 x 900^3 + 0 + 0 + 0 = 1458000000 loses its leading digit, and
    // the time stamp reads 458000000 without its first digit, last digit first: 85 seconds.
    const std::vector<int> cw =
        pdf_test::EveryFieldBlock(3, {123, 456}, "FILE.TXT", {0, 0, 0}, "SENDER", "ADDRESSEE", "1234");
    std::vector<int> stream = pdf_test::WithDescriptor(cw);
    // The time stamp's designator is followed by three codewords, not by its own number.
    ASSERT_EQ(Interpret(stream), 0);
    const PDF_MACRO_RECORD &r = g_pdfMacro;
    EXPECT_EQ(r.segmentIndex, 3);
    EXPECT_EQ(r.fileId[0], 123);
    EXPECT_EQ(r.fileId[1], 456);
    EXPECT_STREQ(r.fileName, "FILE.TXT");
    EXPECT_EQ(r.segmentCount, 2);
    EXPECT_STREQ(r.date, "1970- 1- 1");
    EXPECT_STREQ(r.time, " 0: 1:25");
    EXPECT_STREQ(r.sender, "SENDER");
    EXPECT_STREQ(r.addressee, "ADDRESSEE");
    EXPECT_EQ(r.fileSize, 1234);
    EXPECT_EQ(r.checksum, 100);
    EXPECT_EQ(r.present, 1);
    EXPECT_EQ(r.countWord, 4);
    EXPECT_EQ(PDF_GetMacroRecord(), &g_pdfMacro);
    PDF_ClearMacroRecord();
    EXPECT_EQ(g_pdfMacro.present, 0);
    EXPECT_EQ(g_pdfMacro.fileName[0], 0);
}

TEST_F(PdfMacro, UnknownDesignatorEndsTheBlock) {
    // 923 7 ends the block after the 7; what follows is data again.
    ASSERT_EQ(Interpret({8, 928, 111, 100, 923, 7, 900, 1}), 2);
    EXPECT_EQ(text, "AB");
    EXPECT_EQ(g_pdfMacro.present, 0);
    EXPECT_EQ(g_pdfMacro.countWord, 0);
    // After a field a designator without 923 is taken as it stands.
    const std::vector<int> cw = {111, 100, 923, 1, 111, 105, 6, 111, 150, 9, 900};
    PDF_MACRO_RECORD r{};
    EXPECT_EQ(PDF_ReadMacroBlock(cw.data(), 11, 0, &r), 10);
    EXPECT_EQ(r.segmentCount, 5);
    EXPECT_EQ(r.checksum, 50);
    EXPECT_EQ(r.present, 0);
}

TEST_F(PdfMacro, CalendarFields) {
    struct Case {
        int seconds;
        int year, month, day, hour, minute, second;
    };
    const Case cases[] = {
        {0, 1970, 1, 1, 0, 0, 0},
        {951782400, 2000, 2, 29, 0, 0, 0},
        {951868800, 2000, 3, 1, 0, 0, 0},
        {2147483647, 2038, 1, 19, 3, 14, 7},
        {-1, 1970, 1, 1, 0, 0, -1},
        {1234567890, 2009, 2, 13, 23, 31, 30},
        {-86400 * 2, 1969, 12, 30, 0, 0, 0},
        {-2147483647 - 1, 1901, 12, 14, -3, -14, -8},
        {946684799, 1999, 12, 31, 23, 59, 59},
        {1709164800, 2024, 2, 29, 0, 0, 0},
    };
    for (const Case &c : cases) {
        PDF_SetSeconds(c.seconds);
        EXPECT_EQ(PDF_CalendarField(0), c.year) << c.seconds;
        EXPECT_EQ(PDF_CalendarField(1), c.month) << c.seconds;
        EXPECT_EQ(PDF_CalendarField(2), c.day) << c.seconds;
        EXPECT_EQ(PDF_CalendarField(3), c.hour) << c.seconds;
        EXPECT_EQ(PDF_CalendarField(4), c.minute) << c.seconds;
        EXPECT_EQ(PDF_CalendarField(5), c.second) << c.seconds;
        EXPECT_EQ(PDF_CalendarField(6), 0);
        EXPECT_EQ(PDF_CalendarField(-1), 0);
    }
}

TEST_F(PdfMacro, TimeStampTexts) {
    struct Case {
        const char *digits;
        const char *date;
        const char *time;
    };
    const Case cases[] = {
        {"10987654321", "2009- 2-13", "23:31:30"},
        {"11234", "1970- 1- 1", " 1:12: 1"},  // 4321 seconds
        {"1", "1970- 1- 1", " 0: 0: 1"},
        {"17", "1970- 1- 1", " 0: 0: 7"},
        // 6860394924 read backwards wraps to -36610: "-10:-10:-10" cut to its slot.
        {"16860394924", "1970- 1- 1", "-10:-10:"},
    };
    for (const Case &c : cases) {
        char date[kPdfDateSlot + 4];
        char time[kPdfTimeSlot + 4];
        std::memset(date, 0x7E, sizeof date);
        std::memset(time, 0x7E, sizeof time);
        const int n = static_cast<int>(std::strlen(c.digits));
        EXPECT_EQ(PDF_SetTimeStamp(reinterpret_cast<const uint8_t *>(c.digits), n, date, time), 1);
        EXPECT_STREQ(date, c.date) << c.digits;
        EXPECT_STREQ(time, c.time) << c.digits;
        for (int k = kPdfDateSlot; k < kPdfDateSlot + 4; ++k) EXPECT_EQ(date[k], 0x7E) << c.digits;
        for (int k = kPdfTimeSlot; k < kPdfTimeSlot + 4; ++k) EXPECT_EQ(time[k], 0x7E) << c.digits;
    }
    PDF_SetTimeStamp(reinterpret_cast<const uint8_t *>("11234"), 5, nullptr, nullptr);
    EXPECT_EQ(PDF_CalendarField(3), 1);
    EXPECT_EQ(PDF_CalendarField(4), 12);
    EXPECT_EQ(PDF_CalendarField(5), 1);
}

}  // namespace
