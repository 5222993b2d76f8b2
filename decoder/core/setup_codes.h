// Setup-code strings: an eight-character code ("999", a three-digit octal group code and a
// two-digit octal sub-code) stands for one or two property settings. This only translates;
// the caller applies each pair through Set. Nothing in the library calls it.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr int kSetupDone = 0;
inline constexpr int kSetupRefused = 3;   // no text, length 0, type not 1, malformed or unknown code
inline constexpr int kSetupNoHandler = 6;

// The caller's record. type must be 1; the outputs are written by Par_HandleSetupCode.
struct SETUP_REQUEST {
    u32 type;
    const char *text;
    i32 textLength;
    i32 pairCount;     // out
    const u32 *ids;    // out: two ids, valid until the next call
    const u64 *values; // out: two values, valid until the next call
    i32 status;        // out
};

// The one translation in progress (static; overwritten by every call).
struct SETUP_CONTEXT {
    u32 type;
    const char *text;
    i32 length;
    i32 handlerIndex;
    i32 valueIndex;
    i32 pairCount;
    u32 id[2];
    u64 value[2];
    i32 status;
    i32 spare;
};

extern SETUP_CONTEXT g_setupContext;

// Translates req's string. Answers the status (also stored in req): 0 with the pairs in
// req, else 3 or 6 with pair count 0 and null pointers. A null req answers 3, nothing written.
int Par_HandleSetupCode(SETUP_REQUEST *req);
// 1 when text is "999" and five octal digits (length 8); the group code (three digits) and
// sub-code (two digits) read as octal. 0 otherwise, with both outputs 0 (when not null).
int Par_ParseSetupCode(const char *text, i32 length, i32 *groupCode, i32 *subCode);
// 1 when the context's string names a listed group and sub-code; sets the handler and value
// indexes. 0 otherwise.
int Par_LookupSetupCode(SETUP_CONTEXT *ctx);
int Par_CheckAndLookupSetupCode(SETUP_CONTEXT *ctx);
// Runs the handler of the context's handler index: its answer (0 done), 6 when none takes it.
int Par_RunSetupHandler(SETUP_CONTEXT *ctx);
void Par_ClearSetupContext(SETUP_CONTEXT *ctx);

// The handlers: 0 with the pairs in ctx, or 6 for a value index they do not know.
int Par_SetupCode128(SETUP_CONTEXT *ctx);
int Par_SetupGs1128(SETUP_CONTEXT *ctx);
int Par_SetupCode128Fnc1Second(SETUP_CONTEXT *ctx);
int Par_SetupIsbt128(SETUP_CONTEXT *ctx);
int Par_SetupEan8(SETUP_CONTEXT *ctx);
int Par_SetupEan13(SETUP_CONTEXT *ctx);
int Par_SetupIssn(SETUP_CONTEXT *ctx);
int Par_SetupIsbn(SETUP_CONTEXT *ctx);
int Par_SetupUpcE(SETUP_CONTEXT *ctx);
int Par_SetupUpcA(SETUP_CONTEXT *ctx);
int Par_SetupItf(SETUP_CONTEXT *ctx);
int Par_SetupItf6(SETUP_CONTEXT *ctx);
int Par_SetupItf14(SETUP_CONTEXT *ctx);
int Par_SetupItf14W49(SETUP_CONTEXT *ctx);
int Par_SetupItf12W49(SETUP_CONTEXT *ctx);
int Par_SetupVar25b(SETUP_CONTEXT *ctx);
int Par_SetupMat25(SETUP_CONTEXT *ctx);
int Par_SetupInd25(SETUP_CONTEXT *ctx);
int Par_SetupIata25(SETUP_CONTEXT *ctx);
int Par_SetupCode39(SETUP_CONTEXT *ctx);
int Par_SetupCodabar(SETUP_CONTEXT *ctx);
int Par_SetupCode93(SETUP_CONTEXT *ctx);
int Par_SetupCode11(SETUP_CONTEXT *ctx);
int Par_SetupPlessey(SETUP_CONTEXT *ctx);
int Par_SetupMsi(SETUP_CONTEXT *ctx);
int Par_SetupDataBar(SETUP_CONTEXT *ctx);
int Par_SetupPdf417(SETUP_CONTEXT *ctx);
int Par_SetupQr(SETUP_CONTEXT *ctx);
int Par_SetupAztec(SETUP_CONTEXT *ctx);
int Par_SetupDataMatrix(SETUP_CONTEXT *ctx);
int Par_SetupMaxiCode(SETUP_CONTEXT *ctx);
int Par_SetupCsCode(SETUP_CONTEXT *ctx);

}  // namespace vexo
