// ECC 200 encodation: the corrected data codewords of the data layer's state become the
// text of the result (ASCII, C40, Text, X12, EDIFACT, Base 256, with upper shift, ECI,
// FNC1, structured append, reader programming and the two macros), and the AIM modifier.
//
// Every decoder reads the codeword array (values outside 0..255 read as 0, positions beyond
// the array as 0), starts with cursor on its latch or function codeword and leaves it on the
// first codeword it did not consume. The text never grows beyond kDmTextLimit bytes: an
// append that would go further ends the message with 20.
#pragma once

#include "core/types.h"

namespace vexo {

// The message: 0; 20 for an invalid codeword, a first-position function inside the
// message, a leading pad without acceptLeadingPad, a text too long or an ECI number above
// 999,999; -1000 for a macro or reader programming after a leading pad, or a dataCount
// outside the codeword array.
i32 DM_DecodeCodewords();

// Mode decoders (20 or -1000 when the codeword at cursor is not theirs).
i32 DM_DecodeAscii();
i32 DM_DecodeUpperShift();
i32 DM_DecodeC40();
i32 DM_DecodeText();
i32 DM_DecodeX12();
i32 DM_DecodeEdifact();
i32 DM_DecodeBase256();
i32 DM_DecodeEci();
i32 DM_DecodeFnc1();
i32 DM_DecodeStructuredAppend();
i32 DM_DecodeMacro05();
i32 DM_DecodeMacro06();

// Character sets: set 0 basic, 1..3 the shift sets; 255 for a value outside the set.
u8 DM_C40Char(i32 value, i32 set);
u8 DM_TextChar(i32 value, i32 set);
u8 DM_X12Char(i32 value);
// Appends one Text value with the shift state (0..3) and the pending upper shift (0 or
// 128). 0, or 20 when the text is full.
i32 DM_TextEmit(i32 value, i32 *state, i32 *pending);

void DM_SetAimModifier();
// 0, or 20 when the text is full (not reached: the dump stops above 3,095 bytes).
i32 DM_AppendCodewordDump();

// Routines no decode path calls.
i32 DM_DecodeReaderProgramming();
u8 DM_EdifactChar(i32 value);
i32 DM_Unrandomize255(i32 value, i32 position);
i32 DM_Unrandomize253(i32 value, i32 position);

}  // namespace vexo
