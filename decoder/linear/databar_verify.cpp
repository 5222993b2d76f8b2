// GS1 DataBar results: one identity for every member, the composite link value of a linked
// symbol, whether the configuration lets the result out, the optional "01" in front of the
// fixed-length members, the length limits and the code type.
#include <cstring>

#include "core/params.h"
#include "core/state.h"
#include "linear/databar.h"
#include "linear/line_toolkit.h"

namespace vexo {

namespace {

constexpr u32 kDataBarPrefix01 = 1u << 31;
constexpr u16 kLinkFlags[4] = {7, 8, 9, 10};  // by variant
constexpr i32 kCodeTypes[4] = {42, 42, 43, 44};

}  // namespace

int DataBar_Verify(LINE_DECODE_CTX *ctx) {
    ctx->symbologyId = kSymDataBar;
    ctx->aimLetter = 'e';
    ctx->aimModifier = '0';
    if (ctx->length == 0 || ctx->data == nullptr) return 0;
    const LINE_AUX *aux = ctx->aux;
    const u16 variant = aux != nullptr ? aux->variant : 0;
    if (aux != nullptr && aux->linked != 0 && variant <= kDataBarExpanded) ctx->linkFlag = kLinkFlags[variant];
    const u32 word = g_params.flagsWord[kSymDataBar];
    if (ctx->linkFlag != 0) {
        if ((g_params.flagsWord[kSymComposite] & kFlagEnabled) == 0) return 0;
    } else if ((word & kFlagEnabled) == 0) {
        return 0;
    }
    if ((word & kDataBarPrefix01) != 0 && variant != kDataBarExpanded) {
        // No room for the two characters: the result cannot be sent as configured.
        if (ctx->capacity < ctx->length + 2) return 0;
        std::memmove(ctx->data + 2, ctx->data, ctx->length);
        ctx->data[0] = '0';
        ctx->data[1] = '1';
        ctx->length = static_cast<u16>(ctx->length + 2);
    }
    if (!Line_IsLengthAllowed(ctx->length, static_cast<u16>(word & 0xFF), static_cast<u16>((word >> 8) & 0xFF))) {
        ctx->errorCode = kLineErrorLength;
        return 0;
    }
    g_state.lastSymbologyCode = variant <= kDataBarExpanded ? kCodeTypes[variant] : kCodeTypes[0];
    return 1;
}

}  // namespace vexo
