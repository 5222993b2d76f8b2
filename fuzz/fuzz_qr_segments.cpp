// QR data segments on hostile codewords. Invariants (trap on violation): the answer is 0 or
// -1; the text never grows past its capacity and nothing is written behind it; the cursor
// stands at the end of the text; a success reports its length and start to the symbol
// state and leaves one of the QR AIM modifiers.
//
// Input: [version code] [flags] then the codewords. Flags: bit 0 Model 1 stream, bits 1-2
// data-header mode (0, 255, 254 with 251, 254 with 252), bit 3 small text capacity, bit 4
// FNC1 already in first position, bit 5 the Micro QR path (segment decoders one by one with
// version codes -1..-4), bit 6 the Micro QR data stage (format data the low five bits of the
// first byte): the answer is 0 or -1 and a success leaves "]Q1".
#include <cstdint>
#include <cstring>

#include "qr/mqr_codewords.h"
#include "qr/qr_matrix.h"
#include "qr/qr_segments.h"
#include "qr/test_hooks_qr.h"

namespace {

using namespace vexo;

#define QR_CHECK(cond)                 \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

constexpr int kGuard = 64;
constexpr uint8_t kFill = 0xA5;
uint8_t g_text[kQrTextCapacity + kGuard];

void CheckText(const uint8_t *out, int capacity) {
    QR_CHECK(g_qrData.length >= 0 && g_qrData.length <= capacity);
    QR_CHECK(g_qrData.cursor == out + g_qrData.length);
    for (int i = capacity; i < kQrTextCapacity + kGuard; ++i) QR_CHECK(g_text[i] == kFill);
}

// The Micro QR decoders' own loop: 2-bit mode indicators, as many segments as the stream
// holds.
void RunMicro(const uint8_t *data, int size, int versionCode, int capacity) {
    QR_BITS bits;
    QR_InitBits(&bits, data, size, 8 * size);
    QR_BeginText(g_text, capacity);
    int left = bits.left;
    for (int guard = 0; left > 3 && guard < 4096; ++guard) {
        const int mode = QR_TakeBits(&bits, 2);
        switch (mode) {
            case 0: left = QR_DecodeNumeric(&bits, versionCode); break;
            case 1: left = QR_DecodeAlphanumeric(&bits, versionCode); break;
            case 2: left = QR_DecodeByte(&bits, versionCode); break;
            default: left = QR_DecodeKanji(&bits, versionCode); break;
        }
        QR_CHECK(left >= -1);
        CheckText(g_text, capacity);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    Test_ResetQrDataStatics();
    QR_SA_INFO sa{};
    g_qrSymbol.sa = &sa;
    g_qrSymbol.kind = (data[1] & 1) != 0 ? kQrKindModel1 : kQrKindModel2;
    g_qrSymbol.model1 = data[1] & 1;
    static const int kHeaderModes[4] = {0, 255, 254 | (251 << 8), 254 | (252 << 8)};
    QR_StoreHeaderMode(kHeaderModes[(data[1] >> 1) & 3]);
    if ((data[1] & 16) != 0) g_qrSymbol.fnc1Mode = 1;
    const int capacity = (data[1] & 8) != 0 ? 1 + data[0] % 64 : kQrTextCapacity;
    std::memset(g_text, kFill, sizeof g_text);
    const uint8_t *codewords = data + 2;
    const int count = static_cast<int>(size - 2 > 4096 ? 4096 : size - 2);

    if ((data[1] & 64) != 0) {
        g_qrSymbol.kind = kQrKindMicro;
        const int rc = MQR_DecodeData(codewords, count, data[0] & 31, g_text, capacity);
        QR_CHECK(rc == 0 || rc == -1);
        CheckText(g_text, capacity);
        if (rc == 0) {
            uint8_t aim[3];
            QR_WriteAimId(aim);
            QR_CHECK(aim[0] == ']' && aim[1] == 'Q' && aim[2] == '1');
        }
        return 0;
    }
    if ((data[1] & 32) != 0) {
        RunMicro(codewords, count, -1 - (data[0] & 3), capacity);
        return 0;
    }
    const int vi = data[0] % 42 - 1;  // -1 and 40 are no QR version index
    const int rc = QR_DecodeSegments(codewords, count, vi, g_text, capacity);
    QR_CHECK(rc == 0 || rc == -1);
    CheckText(g_text, capacity);
    if (rc == 0) {
        QR_CHECK(g_qrSymbol.length == g_qrData.length);
        QR_CHECK(g_qrSymbol.data == g_text);
        uint8_t aim[3];
        QR_WriteAimId(aim);
        QR_CHECK(aim[0] == ']' && aim[1] == 'Q');
        QR_CHECK(aim[2] >= '0' && aim[2] <= '6');
        QR_CHECK(sa.present == 0 || (sa.index <= 15 && sa.count >= 1 && sa.count <= 16 && sa.parity <= 255));
    }
    return 0;
}
