// Helpers of the MaxiCode data-layer tests and fuzz target: symbols built from message
// codewords with the tests' own GF(64) encoder, carrier fields packed into primary
// codewords, the codeword decode with its text, and module bits of libzint matrices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "aztec_maxicode/maxi_data.h"
#include "aztec_maxicode/maxi_module.h"
#include "azt_test_util.h"

namespace maxitest {

// 144 codewords of a symbol: primary data (10) and secondary data (84 or 68, by the level
// of primary[0]), with check codewords over GF(64) (roots alpha^1..alpha^N) and the two
// secondary blocks interleaved.
inline std::vector<int> BuildSymbol(const std::vector<int> &primary, const std::vector<int> &secondary) {
    const azttest::Field f(0x43);
    std::vector<int> cw = primary;
    const std::vector<int> pc = f.Check(primary, 10);
    cw.insert(cw.end(), pc.begin(), pc.end());
    const int data = static_cast<int>(secondary.size()) / 2;
    std::vector<int> blocks[2];
    for (size_t i = 0; i < secondary.size(); ++i) blocks[i & 1].push_back(secondary[i]);
    for (auto &b : blocks) {
        const std::vector<int> c = f.Check(b, 62 - data);
        b.insert(b.end(), c.begin(), c.end());
    }
    for (size_t i = 0; i < 62; ++i) {
        cw.push_back(blocks[0][i]);
        cw.push_back(blocks[1][i]);
    }
    return cw;
}

// Mode 4, 5 or 6: message codewords (up to 93 or 77) padded with set A's PAD.
inline std::vector<int> MessageSymbol(int mode, std::vector<int> message) {
    const size_t total = mode == 5 ? 77 : 93;
    message.resize(total, 33);
    std::vector<int> primary{mode};
    primary.insert(primary.end(), message.begin(), message.begin() + 9);
    return BuildSymbol(primary, std::vector<int>(message.begin() + 9, message.end()));
}

// Primary data codewords of a carrier message. Mode 2: postal is the number and postalLength
// its length; mode 3: postal holds six set A values, most significant first.
inline std::vector<int> CarrierPrimary(int mode, int64_t postal, int postalLength, int country, int service, int top = -1) {
    int64_t f = postal;
    if (mode == 3) {
        f = 0;
        for (int k = 0; k < 6; ++k) f = f << 6 | static_cast<int>((postal >> (30 - 6 * k)) & 63);
    }
    std::vector<int> c(10);
    c[0] = mode | static_cast<int>(f & 3) << 4;
    if (top >= 0) c[0] = (c[0] & 15) | top << 4;
    c[1] = static_cast<int>(f >> 2 & 63);
    c[2] = static_cast<int>(f >> 8 & 63);
    c[3] = static_cast<int>(f >> 14 & 63);
    c[4] = static_cast<int>(f >> 20 & 63);
    if (mode == 2) {
        c[5] = static_cast<int>(f >> 26 & 15) | (postalLength & 3) << 4;
        c[6] = (postalLength >> 2 & 15) | (country & 3) << 4;
    } else {
        c[5] = static_cast<int>(f >> 26 & 63);
        c[6] = static_cast<int>(f >> 32 & 15) | (country & 3) << 4;
    }
    c[7] = country >> 2 & 63;
    c[8] = (country >> 8 & 3) | (service & 15) << 2;
    c[9] = service >> 4 & 63;
    return c;
}

// Six set A characters packed for CarrierPrimary(3, ...).
inline int64_t PostalChars(const std::vector<int> &values) {
    int64_t f = 0;
    for (int v : values) f = f << 6 | v;
    return f;
}

// A carrier symbol: the primary above and 84 secondary message codewords padded with PAD.
inline std::vector<int> CarrierSymbol(const std::vector<int> &primary, std::vector<int> message) {
    message.resize(84, 33);
    return BuildSymbol(primary, message);
}

struct Decoded {
    int status = 0;
    std::string text;
    int length = -7;
    std::vector<uint8_t> buffer;  // the whole text buffer, kMaxiTextBufferBytes + guard
};

inline constexpr int kGuard = 64;

inline Decoded Decode(const std::vector<int> &cw, vexo::MAXI_CARRIER *carrier = nullptr) {
    Decoded d;
    vexo::MAXI_CARRIER local{};
    d.buffer.assign(vexo::kMaxiTextBufferBytes + kGuard, 0xA5);
    vexo::i32 length = -7;
    d.status = vexo::Maxi_DecodeCodewords(cw.data(), static_cast<vexo::i32>(cw.size()), d.buffer.data(), &length,
                                          carrier != nullptr ? carrier : &local);
    d.length = length;
    if (d.status == 0 && length >= 0 && length <= vexo::kMaxiTextBufferBytes) {
        d.text.assign(reinterpret_cast<const char *>(d.buffer.data()), static_cast<size_t>(length));
    }
    return d;
}

// 1 when nothing was written past the text buffer.
inline bool GuardIntact(const Decoded &d) {
    for (int i = vexo::kMaxiTextBufferBytes; i < vexo::kMaxiTextBufferBytes + kGuard; ++i) {
        if (d.buffer[static_cast<size_t>(i)] != 0xA5) return false;
    }
    return true;
}

}  // namespace maxitest
