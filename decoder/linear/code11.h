// Code 11: the table's Code 11 record. Characters of three bars and two spaces with a
// narrow gap between them; three of them (0, 9 and the dash) have one wide element, the
// others two, so each character is fitted against four wide-element hypotheses. Verify
// applies the check-digit scheme of bits 16-18. No read history: every read is delivered.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"
#include "linear/width_reader.h"

namespace vexo {

inline constexpr int kCode11Values = 12;  // 0-9, 10 the dash, 11 start/stop
inline constexpr int kCode11Candidates = 4;
inline constexpr u8 kCode11Dash = 10;
inline constexpr u8 kCode11StartStop = 11;

extern const i32 kCode11Keys[kCode11Values];
extern const u8 kCode11CandidateList[kCode11Candidates];

int Code11_IsEnabled();
int Code11_Locate(LINE_LOCATE_STATE *state);
// Data values (0-10) between start and stop into ctx->data; their count or 0.
u16 Code11_Decode(LINE_DECODE_CTX *ctx);
// Checks and strips the check digits of the configured scheme; 1 accepted, 0 refused (error
// byte 11 for a wrong check digit, 2 for a refused length, none for a length the scheme
// cannot hold).
int Code11_Verify(LINE_DECODE_CTX *ctx);

// The first data character, loaded in the reader state, fitted against references made
// from each candidate's own classes (spread estimated and applied, skipped when it exceeds
// 40 % of the candidate's wide-minus-narrow difference). For 0, 9 and the dash a second
// fit assumes the lone wide bar is twice its narrow neighbours (the elements on either side
// of it, the gaps before and after the character at the ends) and scores the measured bar
// against references made with that width in its place; the smaller error of the two
// fits counts, and a win of the second switches *oneWide on. On success the accepted fit's
// references (spreads and differences included) replace *refs and the character's value
// and classes are in the reader state. 1 read, 0 refused.
int Code11_ReadFirst(WIDTH_REFS *refs, int *oneWide);
// A later character (isStop 1: the stop, where the start/stop value counts) fitted against
// the running references with the given spread corrections; the one-wide fit replaces the
// wide bar reference by 10 x reference and leaves the wide bar uncorrected. 1 read, 0
// refused.
int Code11_ReadNext(WIDTH_REFS *refs, i16 spreadA, i16 spreadB, int *oneWide, u16 reference, int isStop);

// Check values over the first n values (weights from the rightmost value leftwards): C
// weights 1-10 mod 11, K weights 1-9 mod 11, Mod9 weights 1-9 mod 9.
u16 Code11_CheckC(const char *values, u16 n);
u16 Code11_CheckK(const char *values, u16 n);
u16 Code11_CheckMod9(const char *values, u16 n);

// Start (N N W W N) from its first edge; stop from the leading edge of its last bar. The
// reversed matchers take the same pointers as the alternative search hands them (the
// reversed start's last bar, the reversed stop's first edge) and test N W W N N in line
// order.
int Code11_MatchStart(const u16 *edge, u16 *locateValue);
int Code11_MatchStartReversed(const u16 *edge, u16 *locateValue);
int Code11_MatchStopReversed(const u16 *edge);
int Code11_MatchStop(const u16 *edge);

}  // namespace vexo
