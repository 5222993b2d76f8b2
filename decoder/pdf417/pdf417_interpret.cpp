// One walk over the mode codewords serves PDF417 and MicroPDF417; MicroPDF417 maps its extra
// mode codewords onto the PDF417 ones first and adds its wrappers around the walk.
#include "pdf417/pdf417_interpret.h"

#include <cstring>

#include "pdf417/cc_data.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417/pdf417_services.h"
#include "pdf417/pdf417_state.h"
#include "pdf417/pdf417_text.h"
#include "toolkit/reed_solomon.h"

namespace vexo {

PDF_DECODER_STATE g_pdfState;

namespace {

constexpr i32 kCompositeLatch = 920;
constexpr i32 kMicroRefused = 921;
constexpr i32 kMicroWrap05 = 916;
constexpr i32 kMicroWrap06 = 917;
constexpr i32 kMicroBatch = 914;
constexpr i32 kMicroSerial = 915;
constexpr i32 kMicroDate = 912;
constexpr i32 kEciGeneral = 926;
constexpr i32 kEciUser = 925;
constexpr i32 kEciCharacterSet = 927;
constexpr i32 kEciUserBase = 810900;

constexpr i32 kWalkDone = 1;
constexpr i32 kWalkRefused = 0;

// How a run of data codewords at the walk's first index is read.
enum FirstRun : i32 { kFirstText = 0, kFirstMixed = 1, kFirstNumeric = 2 };

// Structured-format wrappers of MicroPDF417 ("[)>" RS "05" GS ... RS EOT).
constexpr u8 kWrapHeader05[7] = {0x5B, 0x29, 0x3E, 0x1E, 0x30, 0x35, 0x1D};
constexpr u8 kWrapHeader06[7] = {0x5B, 0x29, 0x3E, 0x1E, 0x30, 0x36, 0x1D};
constexpr u8 kWrapTrailer[2] = {0x1E, 0x04};
static_assert(sizeof(kWrapHeader05) == 7 && sizeof(kWrapHeader06) == 7 && sizeof(kWrapTrailer) == 2);

constexpr u8 kBatchPrefix[2] = {'1', '0'};
constexpr u8 kSerialPrefix[2] = {'2', '1'};
// The month codes of the date field after 912, by g / 13.
constexpr u8 kDateMonthCodes[4][2] = {{'1', '7'}, {'1', '5'}, {'1', '3'}, {'1', '1'}};
static_assert(sizeof(kDateMonthCodes) == 8);
// Minimum digits of a date field: D[2..9] are rewritten.
constexpr i32 kDateFieldDigits = 10;
constexpr i32 kDateShift = 6;

i32 TwoDigits(const u8 *d) { return (d[0] - '0') * 10 + (d[1] - '0'); }

void PutTwoDigits(u8 *d, i32 v) {
    d[0] = static_cast<u8>('0' + v / 10 % 10);
    d[1] = static_cast<u8>('0' + v % 10);
}

// ECI escape at codewords[i]: a backslash and six digits. Answers the index after its
// arguments, or -1 when an argument is missing or no data codeword.
i32 WriteEci(const i32 *codewords, i32 i, i32 end, PDF_TEXT *out) {
    const i32 c = codewords[i];
    const i32 args = c == kEciGeneral ? 2 : 1;
    if (i + args >= end) return -1;
    for (i32 k = 1; k <= args; ++k) {
        if (!PDF_IsDataCodeword(codewords[i + k])) return -1;
    }
    const i32 a = codewords[i + 1];
    i32 value = c == kEciCharacterSet ? a : c == kEciUser ? kEciUserBase + a : (a + 1) * 900 + codewords[i + 2];
    u8 text[7];
    text[0] = '\\';
    for (i32 k = 6; k >= 1; --k) {
        text[k] = static_cast<u8>('0' + value % 10);
        value /= 10;
    }
    PDF_PutBytes(out, text, 7);
    return i + 1 + args;
}

// Rewrites the digits written from `start` on after a 912: D[2..9] take the month code and
// day of the two digit pairs D[2..3] and D[4..5], the digits from D[6] on having moved up six
// places first (within the text's capacity; the length stays). Answers 0 when refused.
i32 ExpandDateField(PDF_TEXT *out, i32 start) {
    const i32 n = out->length - start;
    if (n < kDateFieldDigits) return 0;
    u8 *d = out->data + start;
    const i32 g = TwoDigits(d + 2);
    const i32 day = TwoDigits(d + 4);
    if (g % 13 == 0 || g / 13 > 3 || day / 32 < 1 || day / 32 > 2) return 0;
    i32 moved = n - kDateShift;
    const i32 room = out->capacity - (start + kDateShift + kDateShift);
    if (moved > room) moved = room;
    if (moved > 0) std::memmove(d + kDateShift + kDateShift, d + kDateShift, static_cast<size_t>(moved));
    PutTwoDigits(d + 2, g % 13);
    std::memcpy(d + 4, kDateMonthCodes[g / 13], 2);
    PutTwoDigits(d + 6, day % 32);
    std::memcpy(d + 8, day / 32 == 1 ? kBatchPrefix : kSerialPrefix, 2);
    return 1;
}

// A numeric run after its mode codeword at codewords[i]. Answers the index after the run, or
// -1 for a refused date field.
i32 NumericRun(const i32 *codewords, i32 i, i32 end, PDF_TEXT *out, i32 micro) {
    const i32 c = codewords[i];
    if (micro != 0 && c == kMicroBatch) PDF_PutBytes(out, kBatchPrefix, 2);
    if (micro != 0 && c == kMicroSerial) PDF_PutBytes(out, kSerialPrefix, 2);
    const i32 start = out->length;
    const i32 j = PDF_DataRunEnd(codewords, i + 1, end);
    PDF_DecodeNumeric(codewords, i + 1, j, out);
    if (micro != 0 && c == kMicroDate && out->overflow == 0 && ExpandDateField(out, start) == 0) return -1;
    return j;
}

// The walk over codewords[i..end-1]. Answers kWalkDone, kWalkRefused (MicroPDF417) or
// kPdfInvalidStream (also for a text that did not fit).
i32 WalkCodewords(const i32 *codewords, i32 i, i32 end, PDF_TEXT *out, i32 micro, i32 first) {
    if (first == kFirstNumeric) {
        const i32 j = PDF_DataRunEnd(codewords, i, end);
        PDF_DecodeNumeric(codewords, i, j, out);
        i = j;
    } else if (first == kFirstMixed) {
        const i32 j = PDF_TextRunEnd(codewords, i, end);
        PDF_DecodeText(codewords, i, j, out, kPdfMixed);
        i = j;
    }
    // Every branch moves i forward.
    while (i < end && out->overflow == 0) {
        const i32 c = codewords[i];
        if (c < 0 || c > kPdfMaxCodeword) return kPdfInvalidStream;
        const i32 mode = micro != 0 ? PDF_ModeOfCodeword(c) : c;
        if (PDF_IsDataCodeword(mode) || mode == kPdfLatchText || mode == kPdfShiftByte) {
            if (mode == kPdfLatchText) ++i;
            const i32 j = PDF_TextRunEnd(codewords, i, end);
            PDF_DecodeText(codewords, i, j, out, kPdfAlpha);
            i = j;
        } else if (mode == kPdfLatchByte || mode == kPdfLatchByte6) {
            const i32 j = PDF_DataRunEnd(codewords, i + 1, end);
            if (PDF_DecodeByteRun(codewords, i + 1, j, mode == kPdfLatchByte6 ? 1 : 0, out) == 0) {
                return kPdfInvalidStream;
            }
            i = j;
        } else if (mode == kPdfLatchNumeric) {
            i = NumericRun(codewords, i, end, out, micro);
            if (i < 0) return kWalkRefused;
        } else if (c == kEciUser || c == kEciGeneral || c == kEciCharacterSet) {
            i = WriteEci(codewords, i, end, out);
            if (i < 0) return kPdfInvalidStream;
        } else if (c == kPdfMacroControl) {
            i = PDF_ReadMacroBlock(codewords, end, i + 1, &g_pdfMacro);
        } else if (micro != 0 && c == kMicroRefused) {
            return kWalkRefused;
        } else {
            return kPdfInvalidStream;
        }
    }
    return out->overflow != 0 ? kPdfInvalidStream : kWalkDone;
}

// A descriptor of 0 stands for the whole count unless the stream is empty or all zero.
i32 DataEnd(const i32 *codewords, i32 count) {
    const i32 descriptor = codewords[0];
    if (descriptor < 0 || descriptor > count) return kPdfInvalidStream;
    if (descriptor != 0) return descriptor;
    if (count == 1) return kPdfInvalidStream;
    for (i32 k = 1; k < count; ++k) {
        if (codewords[k] != 0) return count;
    }
    return kPdfInvalidStream;
}

// Error correction over GF(929); the field is left unselected on every way out.
bool CorrectBlock(i32 *codewords, i32 count, i32 checkCount) {
    RS_ResetField();
    const bool ok = RS_SelectField(1, 929, 929) != 0 && RS_DecodeBlock929(codewords, count, checkCount) == 0;
    RS_ResetField();
    return ok;
}

}  // namespace

void PDF_SetRegionFlag(i32 flag) { g_pdfState.regionFlag = flag; }

i32 PDF_ModeOfCodeword(i32 codeword) {
    switch (codeword) {
        case 903:
        case 906:
        case 908:
        case 910: return kPdfLatchText;
        case 904:
        case 905:
        case 907:
        case 909:
        case 911:
        case 912:
        case 914:
        case 915: return kPdfLatchNumeric;
        default: return codeword;
    }
}

i32 PDF_InterpretCodewords(const i32 *codewords, i32 count, u8 *out, i32 capacity) {
    if (codewords == nullptr || count <= 0) return 0;
    const bool composite = count >= 2 && codewords[1] == kCompositeLatch;
    if (composite && g_pdfState.regionFlag != 0) return CC_DecodeData(codewords + 1, count - 1, out, capacity);
    i32 start = 1;
    if (composite && count >= 3 && (codewords[2] == 898 || codewords[2] == 899)) start = 3;
    const i32 end = DataEnd(codewords, count);
    if (end < 0) return kPdfInvalidStream;
    PDF_TEXT text;
    PDF_BeginText(&text, out, capacity);
    const i32 rc = WalkCodewords(codewords, start, end, &text, 0, kFirstText);
    return rc == kWalkDone ? text.length : kPdfInvalidStream;
}

i32 MPDF_InterpretCodewords(const i32 *codewords, i32 count, i32 type, u8 *out, i32 capacity) {
    if (type != kPdfTypeMicro) return kPdfInvalidStream;
    if (codewords == nullptr || count <= 0) return 0;
    const i32 c0 = codewords[0];
    if (c0 == kCompositeLatch) return 0;
    PDF_TEXT text;
    PDF_BeginText(&text, out, capacity);
    i32 rc;
    if (c0 == kMicroWrap05 || c0 == kMicroWrap06) {
        PDF_PutBytes(&text, c0 == kMicroWrap05 ? kWrapHeader05 : kWrapHeader06, 7);
        rc = WalkCodewords(codewords, 1, count, &text, 1, c0 == kMicroWrap05 ? kFirstNumeric : kFirstMixed);
        PDF_PutBytes(&text, kWrapTrailer, 2);
    } else {
        rc = WalkCodewords(codewords, 0, count, &text, 1, kFirstText);
    }
    if (rc != kWalkDone) return rc;
    return text.overflow != 0 ? kPdfInvalidStream : text.length;
}

i32 PDF_CorrectAndDecode(i32 *codewords, i32 count, i32 level, u8 *out, i32 capacity) {
    if (level < 0 || level > 8 || !CorrectBlock(codewords, count, 1 << (level + 1))) return kPdfCorrectionFailed;
    return PDF_InterpretCodewords(codewords, count - (1 << (level + 1)), out, capacity);
}

i32 PDF_CorrectAndDecodeTyped(i32 *codewords, i32 count, i32 checkCount, i32 type, u8 *out, i32 capacity) {
    if (type != kPdfTypeMicro) return kPdfInvalidStream;
    if (!CorrectBlock(codewords, count, checkCount)) return kPdfCorrectionFailed;
    return MPDF_InterpretCodewords(codewords, count - checkCount, type, out, capacity);
}

void PDF_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'L';
    out[2] = '0';
}

}  // namespace vexo
