// EAN/UPC reading: the table's EAN-13 (with UPC-A, ISBN and ISSN behind it), EAN-8 and
// UPC-E records, their 2- and 5-digit add-ons, and the results they are reported as.
//
// A decode slot leaves the digits as values 0-9 in the context's data (main symbol first,
// add-on digits behind it) and the orientation in which it found them as the context's
// direction; the verify slot routes the read to its member and writes characters in place.
// Positions are edge indexes and edge positions as everywhere in the linear records.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kEanEntries = 20;        // sets L (0-9) and G (10-19)
inline constexpr int kEanStoreDigits = 20;    // the longest read: 13 digits and 5 add-on digits
inline constexpr u16 kEanTextRoom = 18;       // the longest text any member writes
inline constexpr int kEan13Elements = 59;
inline constexpr int kEan8Elements = 43;
inline constexpr int kUpceElements = 33;

// Four element widths of a character (first element in the highest hex digit), the three
// sums of neighbouring widths, the EAN-13 first digits (64 + parity of the six left digits,
// G = 1, first digit highest), the UPC-E parities by check digit for number systems 0 and 1,
// and the 5-digit add-on parities by check value.
extern const u32 kEanPatterns[kEanEntries];
extern const i32 kEanPairKeys[kEanEntries];
extern const i32 kEan13FirstDigit[10];
extern const i32 kUpceParity[2][10];
extern const u8 kEanAddOn5Parity[10];

// The last read kept for confirmation by a record; agreeing 0 = empty.
struct EAN_READ_STORE {
    u8 digits[kEanStoreDigits];
    u16 length;
    u8 agreeing;
};
extern EAN_READ_STORE g_ean13Store;
extern EAN_READ_STORE g_ean8Store;
extern EAN_READ_STORE g_upceStore;

// 1 when the last add-on search found something add-on-like behind the symbol (decodable
// or not); rewritten by every Ean_ReadAddOn.
extern i32 addOnSeen;

// ---- Records 11 (EAN-13, UPC-A, ISBN, ISSN), 12 (EAN-8) and 13 (UPC-E).

void Ean13_Reset();
void Ean8_Reset();
void Upce_Reset();
int Ean13_IsEnabled();
int Ean8_IsEnabled();
int Upce_IsEnabled();
// 1 with startIndex and endIndex of the next candidate from nextPos on, 0 when the line is
// used up. EAN-13 and EAN-8 candidates lie in line order; a UPC-E one is reversed
// (startIndex above endIndex) when its normal guard lies at the line's end.
int Ean13_Locate(LINE_LOCATE_STATE *state);
int Ean8_Locate(LINE_LOCATE_STATE *state);
int Upce_Locate(LINE_LOCATE_STATE *state);
// Digits delivered (main symbol and add-on), 0 for nothing. The context needs room for
// kEanTextRoom bytes.
u16 Ean13_Decode(LINE_DECODE_CTX *ctx);
u16 Ean8_Decode(LINE_DECODE_CTX *ctx);
u16 Upce_Decode(LINE_DECODE_CTX *ctx);
// The member, its text, id, AIM identifier, link value and code type; 1 reported, 0 refused.
int Ean13_Verify(LINE_DECODE_CTX *ctx);
int Ean8_Verify(LINE_DECODE_CTX *ctx);
int Upce_Verify(LINE_DECODE_CTX *ctx);

// ---- Reading.

// EAN-13 (extra 16, shift 8) and EAN-8 (0, 0) guards, quiet zones and character regularity
// on the edges of state from nextPos on.
int Ean_LocateGuards(LINE_LOCATE_STATE *state, int extra, int shift);
// The four loaded widths (g_edgeReader, frame elements set) against the 20 patterns, unit
// being ten modules. The entry (digit, +10 for set G) or -1; *spreadLevel carries the level
// from character to character, and a marginal decision clears lineCleanRead.
int Ean_DecodeCharacter(u16 unit, u8 *spreadLevel);
// (E / 4) - 1 characters from edges[0] stepping by direction over E elements (the two in
// front of the first character included); edges[k * direction] must exist for k <= E.
// The count read when it is (E - 5) / 4, else 0.
int Ean_ReadHalf(const u16 *edges, int elementCount, u8 *out, int direction);
// One attempt on the located symbol: the digits into ctx->data, its orientation (+1, -1)
// and the width of seven modules. 13 (8 for EAN-8 and UPC-E) on success, else 0.
int Ean13_ReadSymbol(LINE_DECODE_CTX *ctx, i16 *orientation, u32 *width, int forward);
int Ean8_ReadSymbol(LINE_DECODE_CTX *ctx, i16 *orientation, u32 *width, int forward);
int Upce_ReadSymbol(LINE_DECODE_CTX *ctx, i16 *orientation, u32 *width, int forward);
// Parity bits of count entries (set G = 1), the first in the highest bit.
i32 Ean_ParityOf(const u8 *entries, int count);
// The decode slots' confirmation: 1 deliver, 0 keep trying (see the store's rules in the
// .cpp). Sets bits 14 and 15 of lineMultiReadFlags.
int Ean_ConfirmRead(EAN_READ_STORE *store, const u8 *digits, u16 length);

// ---- Add-ons. edges points at the main symbol's second edge from its end on the add-on
// side; edges[k * direction] exists for 0 <= k < count. W is the width of seven modules.

// The add-on digits (values) written to out (room for 5): 2, 5 or 0. Sets addOnSeen.
u16 Ean_ReadAddOn(const u16 *edges, i32 count, int direction, u32 W, u8 *out);
// 10 (two digits), 22 (five) or 0; *offset the add-on guard's first edge in steps.
int Ean_FindAddOnStart(const u16 *edges, i32 count, int direction, u32 W, i32 *offset);
// (elementCount - 1) / 6 characters from the guard's second edge; the entries into values.
int Ean_ReadAddOnCharacters(const u16 *edges, int elementCount, u8 *values, int direction);
// The digits of an add-on whose parity matches them: 2, 5 or 0.
int Ean_DecodeAddOn(const u16 *edges, int elementCount, u8 *digits, int direction);
// 1 when six elements of add-on-like widths follow the gap within 8 W.
int Ean_DetectAddOnTrace(const u16 *edges, i32 count, int direction, u32 W);
// Six elements from edges[0] within limits (element low, high, group low, high): 1; else 0
// with *skip the elements to move on by.
int Ean_IsAddOnLikeGroup(const u16 *edges, int direction, const u32 *limits, int *skip);

// ---- Results.

int Ean13_Output(LINE_DECODE_CTX *ctx);
// forceEnable: a UPC-E expanded through these rules while the UPC-A word is off.
int Upca_Output(LINE_DECODE_CTX *ctx, int forceEnable);
int Isbn_Output(LINE_DECODE_CTX *ctx);
int Issn_Output(LINE_DECODE_CTX *ctx);
int Ean8_Output(LINE_DECODE_CTX *ctx);
int Upce_Output(LINE_DECODE_CTX *ctx);
// UPC-E digits (number system, six digits, check, add-on) in place to the UPC-A form of 13
// digits with a leading 0: the new length, or length unchanged when the digits do not
// expand. digits needs room for length + 5.
u16 Upce_ExpandToUpca(u8 *digits, u16 length);

}  // namespace vexo
