// MSI and Plessey: the bar/space-pair codes, a 1 bit a wide bar with a narrow space and a 0
// bit a narrow bar with a wide space, four bits a character. MSI sends decimal digits most
// significant bit first, Plessey hexadecimal digits least significant bit first. Both read
// with the width-class reader and confirm unclean reads in their own read history.
#pragma once

#include "core/types.h"
#include "linear/line_toolkit.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kMsiValues = 10;
inline constexpr int kMsiCandidates = 13;
inline constexpr int kPlesseyValues = 16;
inline constexpr int kPlesseyCandidates = 14;

extern const i32 kMsiKeys[kMsiValues];
extern const u8 kMsiCandidateList[kMsiCandidates];
extern const i32 kPlesseyKeys[kPlesseyValues];
extern const u8 kPlesseyCandidateList[kPlesseyCandidates];

extern LINE_READ_HISTORY g_msiHistory;
extern LINE_READ_HISTORY g_plesseyHistory;

void Msi_Reset();
int Msi_IsEnabled();
int Msi_Locate(LINE_LOCATE_STATE *state);
// Digit values (0-9) between start and stop into ctx->data; their count or 0.
u16 Msi_Decode(LINE_DECODE_CTX *ctx);
// Checks the digits of the configured scheme (bits 16-17) and strips them unless they are
// transmitted. 1 accepted; 0 refused (error byte 11 or 2, or none for 2 digits or fewer).
int Msi_Verify(LINE_DECODE_CTX *ctx);

void Plessey_Reset();
int Plessey_IsEnabled();
int Plessey_Locate(LINE_LOCATE_STATE *state);
// Character values (0-15), the two CRC characters included, into ctx->data; count or 0.
u16 Plessey_Decode(LINE_DECODE_CTX *ctx);
// With bit 30 the CRC characters are checked (and stripped unless bit 31); 1 accepted, 0
// refused (error byte 11 or 2, or none below 3 characters).
int Plessey_Verify(LINE_DECODE_CTX *ctx);

// Digit values, the first n of them: the mod-10 check digit (odd positions from the right
// doubled), and the mod-11 one (weights 2-7 from the right; remainder 0 gives 1, 1 gives 0).
u16 Msi_CheckMod10(const char *values, u16 n);
u16 Msi_CheckMod11(const char *values, u16 n);
// 1 when the last two of length values are the CRC of the others.
int Plessey_CheckCrc(const char *values, u16 length);

// Matchers, w(k) the element from edge k to edge k + 1. MSI: start (wide bar, narrow
// space) from its first edge, reversed from the leading edge of its bar; stop (narrow bar,
// wide space, narrow bar) at the leading edge of its last bar, reversed from its first edge.
int Msi_MatchStart(const u16 *edge);
int Msi_MatchStartReversed(const u16 *edge);
int Msi_MatchStopReversed(const u16 *edge);
int Msi_MatchStop(const u16 *edge);
// Plessey: start (eight elements) from its first edge, reversed from the leading edge of
// its first bar; stop (nine elements) at the leading edge of its last bar, reversed from its
// outer edge. The stop's first bar may be narrow or as wide as the wide bars.
int Plessey_MatchStart(const u16 *edge);
int Plessey_MatchStartReversed(const u16 *edge);
int Plessey_MatchStopReversed(const u16 *edge);
int Plessey_MatchStop(const u16 *edge);

}  // namespace vexo
