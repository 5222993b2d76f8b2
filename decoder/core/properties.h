// Property dispatch: the option groups of the parameter block by id.
//
// A property id is a group (id & 0xFFFFFF00) and a sub-id (the low byte). Linear groups are
// 0x1xx00, 2D groups 0x2xx00; 0x20000 is the 2D common mode, 0x100500 the result group
// (Get only) and 0x100600 the AIM identifier prefix.
#pragma once

#include "core/types.h"

namespace vexo {

// Value codes shared by every group.
inline constexpr u32 kValOff = 0x10000;
inline constexpr u32 kValOn = 0x10001;
inline constexpr u32 kValFnc1Plain = 0x10002;       // Code 128 family: FNC1 as group separator
inline constexpr u32 kValFnc1Tilde = 0x10003;       // Code 128 family: FNC1 as '~'
inline constexpr u32 kValIsbnCheckSent = 0x10004;   // ISBN: the 10-character form with its check
inline constexpr u32 kValIsbnCheckNotSent = 0x10005; // ISBN: the 13 digits
inline constexpr u32 kValNoCheck = 0x10006;         // also Code 11 and MSI without a check digit
inline constexpr u32 kValCheck = 0x10007;
inline constexpr u32 kValCode11CheckFirst = 0x10008; // 0x10008-0x1000C: Code 11 check modes 1-5
inline constexpr u32 kValCode11CheckLast = 0x1000C;
inline constexpr u32 kValMsiCheckFirst = 0x1000D;   // 0x1000D-0x1000F: MSI check modes 1-3
inline constexpr u32 kValMsiCheckLast = 0x1000F;
inline constexpr u32 kValCommonKeep = 0x10010;      // 2D common mode: accepted, no change
inline constexpr u32 kValCommonMode0 = 0x10011;     // 0x10011-0x10013 store modes 0-2
inline constexpr u32 kValCommonMode2 = 0x10013;
inline constexpr u32 kValCodabarStyle0 = 0x10014;   // 0x10014-0x10017: start/stop styles 0-3
inline constexpr u32 kValReadMode1 = 0x10018;       // 0x10018-0x1001A: 2D read modes 1-3
inline constexpr u32 kValReadMode2 = 0x10019;
inline constexpr u32 kValReadMode3 = 0x1001A;

// Handler answers: 1 applied/answered, -1 value rejected (nothing changed), 0 not an id of
// any group's sub-ids.

// Finds the Set handler of id's group and returns its answer; 0 when no group matches.
// Only the low 32 bits of value are read. A rejected value (-1) changes nothing, and so does
// an id that is not one of its group's sub-ids (0).
int Par_DispatchSet(u32 id, u64 value);

// Finds the Get handler of id's group and returns its answer; 0 when no group matches or
// out is null. The symbology and option groups write one u32 into out; the result text
// (0x100502) fills a TEXT_DESC. Whenever the answer is not 1, out is left untouched.
int Par_DispatchGet(u32 id, void *out);

// Writes the banner and version list, terminated, into buf, which must hold 1025 bytes;
// answers 1 (0 for a null buf, with nothing written).
int Par_WriteVersionText(char *buf);

}  // namespace vexo
