// A control block is read field by field; every field is checked against the codeword
// count before it is read, since a block cut short by the symbol's end is common in the
// middle segments of a structured message.
#include "pdf417/pdf417_macro.h"

#include <cstring>

#include "pdf417/pdf417_text.h"

namespace vexo {

PDF_MACRO_RECORD g_pdfMacro;

namespace {

i32 g_pdfSeconds = 0;

enum Designator : i32 {
    kFileName = 0,
    kSegmentCount = 1,
    kTimeStamp = 2,
    kSender = 3,
    kAddressee = 4,
    kFileSize = 5,
    kChecksum = 6,
};

constexpr i32 kSecondsPerDay = 86400;
// A two-codeword number carries a leading 1 above five digits.
constexpr i64 kTwoCodewordBias = 100000;
constexpr i32 kTimeStampCodewords = 4;
// Digits of one numeric group and a little more.
constexpr i32 kNumberScratch = 64;

// Days of each month: Gregorian calendar, February of common years.
constexpr u8 kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
static_assert(sizeof(kMonthDays) == 12);

i32 MonthDays(i32 year, i32 month) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kMonthDays[month - 1];
}

i32 Wrap(i64 value) { return static_cast<i32>(static_cast<u32>(static_cast<u64>(value))); }

i32 TwoCodewordNumber(const i32 *codewords, i32 at) {
    return Wrap(static_cast<i64>(codewords[at]) * 900 + codewords[at + 1] - kTwoCodewordBias);
}

// A text field: the run of data codewords from `from`, cut at the slot and terminated.
// Answers the end of the run.
i32 ReadTextField(const i32 *codewords, i32 from, i32 count, char *slot) {
    const i32 end = PDF_DataRunEnd(codewords, from, count);
    PDF_TEXT text;
    PDF_BeginText(&text, reinterpret_cast<u8 *>(slot), kPdfMacroTextSlot - 1);
    PDF_DecodeText(codewords, from, end, &text, kPdfAlpha);
    slot[text.length] = '\0';
    return end;
}

// Numeric compaction of codewords[from..to-1] into a scratch text; a longer number is cut.
i32 ReadNumber(const i32 *codewords, i32 from, i32 to, u8 *scratch) {
    PDF_TEXT text;
    PDF_BeginText(&text, scratch, kNumberScratch);
    return PDF_DecodeNumeric(codewords, from, to, &text);
}

// Blank-padded decimal of `width` characters or more. Answers the characters written (at most
// 11 plus padding; out has room for 16).
i32 FormatInt(char *out, i32 value, i32 width) {
    char digits[12];
    i32 n = 0;
    u32 magnitude = value < 0 ? 0u - static_cast<u32>(value) : static_cast<u32>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) digits[n++] = '-';
    i32 w = 0;
    for (i32 k = n; k < width; ++k) out[w++] = ' ';
    while (n > 0) out[w++] = digits[--n];
    return w;
}

// Three blank-padded fields joined by `separator`, cut to `slot` bytes with the terminator.
void FormatTriple(char *out, i32 slot, i32 first, i32 firstWidth, char separator, i32 second, i32 third) {
    char line[64];
    i32 n = FormatInt(line, first, firstWidth);
    line[n++] = separator;
    n += FormatInt(line + n, second, 2);
    line[n++] = separator;
    n += FormatInt(line + n, third, 2);
    if (n > slot - 1) n = slot - 1;
    std::memcpy(out, line, static_cast<size_t>(n));
    out[n] = '\0';
}

}  // namespace

void PDF_ClearMacroRecord() { g_pdfMacro = PDF_MACRO_RECORD{}; }

PDF_MACRO_RECORD *PDF_GetMacroRecord() { return &g_pdfMacro; }

i32 PDF_ReadMacroBlock(const i32 *codewords, i32 count, i32 index, PDF_MACRO_RECORD *record) {
    *record = PDF_MACRO_RECORD{};
    if (codewords == nullptr || index < 0) index = count;
    if (index < count && codewords[index] == kPdfMacroControl) ++index;
    // A field that would pass the end ends the block as running out of codewords does.
    const auto runOut = [&]() {
        record->present = 1;
        return count > index ? count : index;
    };
    if (index + 1 >= count) return runOut();
    record->segmentIndex = TwoCodewordNumber(codewords, index);
    index += 2;
    for (i32 n = 0; n < kPdfMacroFileIdItems && index < count && PDF_IsDataCodeword(codewords[index]); ++n) {
        record->fileId[n] = codewords[index++];
    }
    u8 scratch[kNumberScratch];
    while (index < count) {
        if (codewords[index] == kPdfMacroOptional && ++index >= count) break;
        const i32 at = index;
        switch (codewords[at]) {
            case kFileName: index = ReadTextField(codewords, at + 1, count, record->fileName); break;
            case kSegmentCount:
                if (at + 2 >= count) return runOut();
                record->segmentCount = TwoCodewordNumber(codewords, at + 1);
                index = at + 3;
                break;
            case kTimeStamp: {
                // The designator is the first codeword of the number.
                if (at + kTimeStampCodewords > count) return runOut();
                const i32 n = ReadNumber(codewords, at, at + kTimeStampCodewords, scratch);
                PDF_SetTimeStamp(scratch, n, record->date, record->time);
                index = at + kTimeStampCodewords;
                break;
            }
            case kSender:
                index = ReadTextField(codewords, at + 1, count, record->sender);
                if (index < count) ++index;  // the codeword that ends the run goes too
                break;
            case kAddressee: index = ReadTextField(codewords, at + 1, count, record->addressee); break;
            case kFileSize: {
                const i32 end = PDF_DataRunEnd(codewords, at + 1, count);
                const i32 n = ReadNumber(codewords, at + 1, end, scratch);
                u32 value = 0;
                for (i32 k = 0; k < n; ++k) value = value * 10u + static_cast<u32>(scratch[k] - '0');
                record->fileSize = static_cast<i32>(value);
                index = end;
                break;
            }
            case kChecksum:
                if (at + 2 >= count) return runOut();
                record->checksum = TwoCodewordNumber(codewords, at + 1);
                index = at + 3;
                break;
            case kPdfMacroTerminator:
                record->present = 1;
                record->countWord = Wrap(static_cast<i64>(record->segmentIndex) + 1);
                return at + 1;
            default: return at + 1;
        }
    }
    return runOut();
}

i32 PDF_SetTimeStamp(const u8 *digits, i32 n, char *dateText, char *timeText) {
    u32 value = 0;
    if (digits != nullptr && n > 0) {
        value = static_cast<u32>(digits[n - 1] - '0');
        for (i32 k = n - 2; k >= 1; --k) value = value * 10u + static_cast<u32>(digits[k] - '0');
    }
    PDF_SetSeconds(static_cast<i32>(value));
    if (dateText != nullptr) {
        FormatTriple(dateText, kPdfDateSlot, PDF_CalendarField(0), 4, '-', PDF_CalendarField(1),
                     PDF_CalendarField(2));
    }
    if (timeText != nullptr) {
        FormatTriple(timeText, kPdfTimeSlot, PDF_CalendarField(3), 2, ':', PDF_CalendarField(4),
                     PDF_CalendarField(5));
    }
    return 1;
}

void PDF_SetSeconds(i32 value) { g_pdfSeconds = value; }

i32 PDF_CalendarField(i32 selector) {
    const i32 s = g_pdfSeconds;
    if (selector >= 3 && selector <= 5) {
        const i32 inDay = s % kSecondsPerDay;
        if (selector == 3) return inDay / 3600;
        return selector == 4 ? inDay % 3600 / 60 : inDay % 3600 % 60;
    }
    if (selector < 0 || selector > 2) return 0;
    // At most some 25,000 days either way: the loops walk whole months.
    i32 day = s / kSecondsPerDay + 1;
    i32 month = 1;
    i32 year = 1970;
    while (day > MonthDays(year, month)) {
        day -= MonthDays(year, month);
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    while (day <= 0) {
        if (--month < 1) {
            month = 12;
            --year;
        }
        day += MonthDays(year, month);
    }
    return selector == 0 ? year : selector == 1 ? month : day;
}

}  // namespace vexo
