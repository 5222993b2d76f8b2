// Macro PDF417 control block (codeword 928): one static record shared by PDF417 and
// MicroPDF417, read by the interpreters and by the PDF417 result accessors; the time stamp
// field becomes a date and a time text through a small calendar over one seconds value.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kPdfMacroControl = 928;
inline constexpr i32 kPdfMacroOptional = 923;
inline constexpr i32 kPdfMacroTerminator = 922;
inline constexpr i32 kPdfMacroFileIdItems = 16;
inline constexpr i32 kPdfMacroTextSlot = 256;
inline constexpr i32 kPdfDateSlot = 11;
inline constexpr i32 kPdfTimeSlot = 9;

struct PDF_MACRO_RECORD {
    i32 segmentIndex;
    i32 countWord;  // segment index + 1 when the block ended with 922, else 0
    i32 fileId[kPdfMacroFileIdItems];
    char fileName[kPdfMacroTextSlot];
    i32 segmentCount;
    char date[kPdfDateSlot];  // "%4d-%2d-%2d"
    char time[kPdfTimeSlot];  // "%2d:%2d:%2d"
    char sender[kPdfMacroTextSlot];
    char addressee[kPdfMacroTextSlot];
    i32 fileSize;
    i32 checksum;
    i32 present;  // 1 once a control block was read
};

extern PDF_MACRO_RECORD g_pdfMacro;

// Empties the shared record (every image, and at the start of every control block).
void PDF_ClearMacroRecord();
PDF_MACRO_RECORD *PDF_GetMacroRecord();

// Reads the control block whose first codeword after 928 is codewords[index], reading no
// codeword at or past `count`, into `record` (cleared first). Answers the index after the
// block: after its terminator 922 or its unknown designator, or `count` when the codewords
// run out (also when a field would pass them; the present flag is then set). Text fields are
// cut at 255 bytes and terminated.
i32 PDF_ReadMacroBlock(const i32 *codewords, i32 count, i32 index, PDF_MACRO_RECORD *record);

// Time stamp from the n ASCII digits of numeric compaction: the digits after the first, read
// last digit most significant (32-bit, wrapping), become the seconds value; the date and the
// time are written into dateText (kPdfDateSlot bytes) and timeText (kPdfTimeSlot bytes), cut to
// their slots and terminated. Answers 1.
i32 PDF_SetTimeStamp(const u8 *digits, i32 n, char *dateText, char *timeText);

// The seconds value, since 1970-01-01 00:00:00.
void PDF_SetSeconds(i32 value);
// Of the seconds value: 0 year, 1 month (1-12), 2 day (1-31), 3 hour, 4 minute, 5 second
// (remainders with the sign of the seconds); 0 for any other selector.
i32 PDF_CalendarField(i32 selector);

}  // namespace vexo
