// Helpers of the QR data-layer tests: a fixture with clean QR statics, a bit writer for
// hand-made segment streams, and a QR Reed-Solomon encoder with arithmetic of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "decoder_test.h"
#include "qr/qr_matrix.h"
#include "qr/qr_segments.h"
#include "qr/test_hooks_qr.h"

namespace qr_test {

class QrTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        vexo_test::DecoderTest::SetUp();
        vexo::Test_ResetQrDataStatics();
        sa = vexo::QR_SA_INFO{};
        vexo::g_qrSymbol.kind = vexo::kQrKindModel2;
        vexo::g_qrSymbol.sa = &sa;
    }
    vexo::QR_SA_INFO sa{};
};

// Most significant bit first, like the symbol's bit stream.
class BitWriter {
public:
    BitWriter &Put(uint32_t value, int width) {
        for (int i = width - 1; i >= 0; --i) bits_.push_back(static_cast<uint8_t>((value >> i) & 1));
        return *this;
    }
    size_t BitCount() const { return bits_.size(); }
    // Pads with zero bits to a whole byte, then appends pad codewords up to `bytes` (when
    // larger).
    std::vector<uint8_t> Bytes(size_t bytes = 0, bool padCodewords = false) const {
        std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
        for (size_t i = 0; i < bits_.size(); ++i) out[i / 8] |= static_cast<uint8_t>(bits_[i] << (7 - i % 8));
        for (size_t k = 0; out.size() < bytes; ++k) out.push_back(padCodewords ? (k % 2 == 0 ? 0xEC : 0x11) : 0);
        return out;
    }

private:
    std::vector<uint8_t> bits_;
};

// GF(256) on x^8 + x^4 + x^3 + x^2 + 1 by shift and XOR.
inline int GfMul(int a, int b) {
    int r = 0;
    while (b != 0) {
        if (b & 1) r ^= a;
        a <<= 1;
        if (a & 0x100) a ^= 0x11D;
        b >>= 1;
    }
    return r;
}

// Check codewords of a QR block: generator with roots alpha^0..alpha^(check-1).
inline std::vector<uint8_t> RsCheck(const std::vector<uint8_t> &data, int check) {
    std::vector<int> gen{1};
    int root = 1;
    for (int j = 0; j < check; ++j) {
        std::vector<int> next(gen.size() + 1, 0);
        for (size_t i = 0; i < gen.size(); ++i) {
            next[i] ^= gen[i];
            next[i + 1] ^= GfMul(gen[i], root);
        }
        gen = next;
        root = GfMul(root, 2);
    }
    std::vector<int> rem(static_cast<size_t>(check), 0);
    for (uint8_t d : data) {
        const int f = d ^ rem[0];
        for (int i = 0; i < check - 1; ++i) rem[i] = rem[i + 1] ^ GfMul(f, gen[static_cast<size_t>(i) + 1]);
        rem[static_cast<size_t>(check) - 1] = GfMul(f, gen[static_cast<size_t>(check)]);
    }
    return std::vector<uint8_t>(rem.begin(), rem.end());
}

inline std::string Text(const uint8_t *p, int n) { return std::string(reinterpret_cast<const char *>(p), static_cast<size_t>(n)); }

inline std::string AimId() {
    uint8_t id[3];
    vexo::QR_WriteAimId(id);
    return Text(id, 3);
}

}  // namespace qr_test
