// ISBT 128 data structures: a Code 128 text that starts with "=" or "&" is reported as
// ISBT 128 only when it is one of the known structures (identifier, length, character
// classes and the structure's own checks). Structures of variable length are normalised in
// place: the variable part is right-aligned to the full length and padded with '0'.
#pragma once

#include "core/types.h"

namespace vexo {

// Longest normalised structure; the text buffer handed to Isbt_Validate holds at least this.
inline constexpr u16 kIsbtMinBuffer = 23;

// The validated length (the structure's full length after padding, or the given length for
// the open structures), 0 when refused (text unchanged). text needs kIsbtMinBuffer bytes.
u16 Isbt_Validate(char *text, u16 length);
// The ISO/IEC 7064 MOD 37-2 check value (0-36) of positions 1-13 of a donation
// identification number.
int Isbt_CheckDin(const char *text);
// A blood-group pair: two digits form a numeric code, anything else a two-character code.
int Isbt_IsBloodGroupCode(char a, char b);
// The letter rule of the product code structure ([2] letter, [7] t, [8] d, [9] s).
int Isbt_IsValidProductType(char letter, char t, char d, char s);
// Year above 0, month 1-12, a day that month holds (29 February in years divisible by 4).
int Isbt_IsValidBirthDate(int year, int month, int day);

}  // namespace vexo
