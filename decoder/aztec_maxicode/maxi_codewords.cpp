// MaxiCode codewords: error correction, mode, message assembly and the structured carrier
// message.
#include <cstring>

#include "aztec_maxicode/maxi_data.h"
#include "toolkit/reed_solomon.h"

namespace vexo {

namespace {

// The symbology code stated when selecting a Reed-Solomon field.
constexpr i32 kMaxiRsCode = 5;
constexpr i32 kMaxiPolynomial = 0x43;
constexpr i32 kPrimaryData = 10;
constexpr i32 kPrimaryCheck = 10;
constexpr i32 kSecondaryStart = 20;
constexpr i32 kBlockLength = 62;
constexpr u8 kGs = 29;
// "[)>" RS "01" GS: the message header of ISO/IEC 15434 that a carrier text may begin with.
constexpr u8 kHeader[7] = {'[', ')', '>', 30, '0', '1', 29};
static_assert(kSecondaryStart + 2 * kBlockLength == kMaxiCodewords);
// Modes 2 and 3 decode 84 codewords: at most 42 ECI escapes of 7 bytes.
static_assert(42 * 7 <= kMaxiMaxTextBytes && 46 * 7 + 1 == kMaxiMaxTextBytes);

// Corrects the two interleaved secondary blocks in place (positions 20..143). 0 or 1.
i32 CorrectSecondary(i32 *cw, i32 dataPerBlock) {
    for (i32 b = 0; b < 2; ++b) {
        i32 block[kBlockLength];
        for (i32 i = 0; i < kBlockLength; ++i) block[i] = cw[kSecondaryStart + 2 * i + b];
        if (RS_DecodeBlock(block, dataPerBlock, kBlockLength - dataPerBlock) != 0) return 1;
        for (i32 i = 0; i < kBlockLength; ++i) cw[kSecondaryStart + 2 * i + b] = block[i];
    }
    return 0;
}

}  // namespace

i32 Maxi_ReadCarrierMessage(const i32 *primary, MAXI_CARRIER *carrier, i32 mode) {
    i64 c[10];
    for (i32 i = 0; i < 10; ++i) c[i] = primary[i] & 63;
    carrier->mode = mode;
    const i32 service = static_cast<i32>((c[8] >> 2) + (c[9] << 4));
    if (service > 999) return -5;
    carrier->service = service;
    Maxi_FormatDigits(carrier->serviceText, service, 3);
    carrier->serviceText[3] = 0;
    carrier->country = static_cast<i32>((c[6] >> 4) + (c[7] << 2) + ((c[8] & 3) << 8));
    Maxi_FormatDigits(carrier->countryText, carrier->country, 3);
    carrier->countryText[3] = 0;
    if (mode == 2) {
        const i64 number = (c[0] >> 4) + (c[1] << 2) + (c[2] << 8) + (c[3] << 14) + (c[4] << 20) + ((c[5] & 15) << 26);
        const i32 len = static_cast<i32>((c[5] >> 4) + ((c[6] & 15) << 2));
        // The record holds 12 characters; a longer code is no symbol's.
        if (len > kMaxiPostalChars) return -3;
        carrier->postalLength = len;
        Maxi_FormatDigits(carrier->postal, static_cast<i32>(number), len);
        return 1;
    }
    // Mode 3: six characters of set A in a 36-bit field, the most significant first.
    const i64 field = (c[0] >> 4) + (c[1] << 2) + (c[2] << 8) + (c[3] << 14) + (c[4] << 20) + (c[5] << 26) + ((c[6] & 15) << 32);
    i32 len = 0;
    for (i32 k = 0; k < 6; ++k) {
        const i32 ch = kMaxiCodeSets[kMaxiSetA][(field >> (30 - 6 * k)) & 63];
        if (ch == ' ') break;
        if (ch < 0) return -3;
        carrier->postal[len++] = static_cast<char>(ch);
    }
    carrier->postalLength = len;
    return 1;
}

i32 Maxi_InsertCarrierMessage(u8 *text, i32 *length, i32 headerPresent, i32 mode, const MAXI_CARRIER *carrier) {
    if (mode != 2 && mode != 3) return 1;
    const i32 len = *length;
    const i32 postal = carrier->postalLength;
    if (len < 0 || postal < 0 || postal > kMaxiPostalChars || len + postal + 9 > kMaxiCarrierTextBytes) return 0;
    u8 work[kMaxiCarrierTextBytes];
    const i32 front = headerPresent != 0 ? (len < 9 ? len : 9) : 0;
    i32 n = 0;
    std::memcpy(work, text, static_cast<size_t>(front));
    n = front;
    std::memcpy(work + n, carrier->postal, static_cast<size_t>(postal));
    n += postal;
    work[n++] = kGs;
    std::memcpy(work + n, carrier->countryText, 3);
    n += 3;
    work[n++] = kGs;
    std::memcpy(work + n, carrier->serviceText, 3);
    n += 3;
    work[n++] = kGs;
    std::memcpy(work + n, text + front, static_cast<size_t>(len - front));
    n += len - front;
    std::memcpy(text, work, static_cast<size_t>(n));
    *length = n;
    return 1;
}

i32 Maxi_DecodeCodewords(const i32 *codewords, i32 count, u8 *text, i32 *length, MAXI_CARRIER *carrier) {
    if (count != kMaxiCodewords || codewords == nullptr || text == nullptr || length == nullptr || carrier == nullptr) return kMaxiBadCount;
    g_maxiState.eciCount = 0;
    g_maxiState.appendPosition = 0;
    g_maxiState.appendCount = 0;
    RS_ResetField();
    RS_SelectField(kMaxiRsCode, 64, kMaxiPolynomial);
    i32 cw[kMaxiCodewords];
    std::memcpy(cw, codewords, sizeof(cw));
    if (RS_DecodeBlock(cw, kPrimaryData, kPrimaryCheck) != 0) return kMaxiCorrectionFailed;

    const i32 c0 = cw[0] & 63;
    i32 mode = c0;
    i32 dataPerBlock = 42;
    if (c0 == 5) {
        dataPerBlock = 34;
    } else if (c0 != 4 && c0 != 6) {
        // The top two bits of codeword 0 belong to the postal code of modes 2 and 3.
        mode = c0 & 15;
        if (mode != 2 && mode != 3) return kMaxiBadMode;
        if (Maxi_ReadCarrierMessage(cw, carrier, mode) != 1) return kMaxiBadCarrier;
    }
    if (CorrectSecondary(cw, dataPerBlock) != 0) return kMaxiCorrectionFailed;

    u8 message[93];
    i32 n = 0;
    if (mode >= 4) {
        for (i32 i = 1; i < kPrimaryData; ++i) message[n++] = static_cast<u8>(cw[i] & 63);
    }
    for (i32 i = 0; i < 2 * dataPerBlock; ++i) message[n++] = static_cast<u8>(cw[kSecondaryStart + i] & 63);
    i32 textLength = 0;
    if (Maxi_DecodeCodeSets(message, n, text, &textLength) == 0) return kMaxiTextFailed;

    // The insertion is tried before the modifier is written, so that a refused symbol leaves
    // the modifier as it was.
    const i32 headerPresent = textLength >= 7 && std::memcmp(text, kHeader, sizeof(kHeader)) == 0 ? 1 : 0;
    if (Maxi_InsertCarrierMessage(text, &textLength, headerPresent, mode, carrier) == 0) return kMaxiBadCarrier;
    g_maxiState.aimModifier = Maxi_AimModifier(mode, g_maxiState.eciCount);
    if (g_maxiState.appendCount > 0) {
        g_maxiState.append = MAXI_APPEND{g_maxiState.appendPosition, g_maxiState.appendCount, 1};
    }
    *length = textLength;
    return kMaxiDecoded;
}

i32 Maxi_AssembleCodewords(const u8 *bits, i32 *codewords) {
    for (i32 c = 0; c < kMaxiCodewords; ++c) {
        i32 v = 0;
        for (i32 k = 0; k < 6; ++k) v = (v << 1) | (bits[kMaxiPlacement[static_cast<u32>(c)][static_cast<u32>(k)]] & 1);
        codewords[c] = v;
    }
    return kMaxiCodewords;
}

}  // namespace vexo
