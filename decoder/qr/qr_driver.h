// The QR module's face towards the decoder core: the decode operation that walks the symbol
// candidates of a region under the read mode, keeps up to two results in the result store
// and joins two symbols in read mode 2, and the accessors of the last result.
//
// Read mode (low four bits of the QR word): 0 no decode, 1 the first symbol, 2 two symbols
// joined, 3 and up collect at most two symbols and report only a structured-append symbol.
#pragma once

#include "core/types.h"
#include "qr/qr_services.h"
#include "qr/qr_state.h"

namespace vexo {

// What the symbol decode answers per candidate.
enum QrSymbolCode : int {
    kQrSymbolDecoded = 1,
    kQrMicroDecoded = 2,
    kQrNoCandidate = 3,
    kQrCandidateFailed = 10,
};

// One candidate's decode: fills the candidate's mean centre and orientation code and answers
// a QrSymbolCode.
using QrDecodeOneFn = int (*)(GEO_POINT *centre, int *orientation);

// QR_DecodeImage and the accessors of the last result are declared in qr/qr_services.h.
// The decode runs QR_DecodeOneSymbol per candidate; this is the same loop over another
// per-candidate decode.
int QR_DecodeImageWith(QrDecodeOneFn decodeOne);

// Keeps the better of the current best status and s: any non-negative status beats any
// negative one, a smaller non-negative one a larger, a negative one nearer zero a farther.
void QR_KeepBestStatus(i32 s);
// The per-decode reset: output length, symbol state, structured-append data, data-header
// mode; the symbol state's structured-append pointer back at the result's.
void QR_ResetModuleState();
// Mean centre of the n patterns (whole pixels) into *centre, and the arrangement code of a
// three-pattern candidate (1..4; 0 otherwise).
int QR_GetCandidateOrientation(const QR_FINDER_PATTERN *patterns, int n, GEO_POINT *centre);
// Copies the two parts back to back into dest in the order their arrangement gives;
// *joinedLength receives the sum (0 with fewer than two parts). Answers 1 when a vertical
// arrangement without orientation codes decided the order. dest must hold both parts.
int QR_JoinTwoParts(const QR_PART *parts, int count, u8 *dest, i32 *joinedLength);

// Routines no decode path calls.
int QR_IsDecoded();
i32 QR_GetBestStatus();
// Sets the best status outright below -9999, else keeps the better one.
void QR_SetStatus(i32 s);
QR_SA_INFO *QR_ClearSaInfo();
void QR_SetHeaderMode(i32 mode);
void QR_SetSpareWord(i64 value);
// Read mode 1 with dark-on-light patterns, lengths 1..7089; other bits kept.
void QR_SetDefaultMode();

}  // namespace vexo
