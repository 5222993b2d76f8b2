// Shared pieces of the Han Xin data-layer tests: a fixture with the work memory installed, a
// bit writer, a GF(256) / GF(16) Reed-Solomon encoder and the data-module order of a version.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/state.h"
#include "core/pixel.h"
#include "decoder_test.h"
#include "hanxin/cscn_data.h"

namespace hxtest {

using vexo::i32;
using vexo::u32;
using vexo::u8;

class HanXinTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    }
};

// Bits one per byte, most significant first.
struct Bits {
    std::vector<u8> v;
    Bits &Add(u32 value, int n) {
        for (int i = n - 1; i >= 0; --i) v.push_back(static_cast<u8>((value >> i) & 1u));
        return *this;
    }
    u32 Size() const { return static_cast<u32>(v.size()); }
};

// Systematic Reed-Solomon over GF(2^m) with roots alpha^1..alpha^check, highest degree first.
inline std::vector<int> RsEncode(const std::vector<int> &data, int check, int fieldSize, int polynomial) {
    std::vector<int> exp(2 * fieldSize), log(fieldSize);
    int x = 1;
    for (int i = 0; i < fieldSize - 1; ++i) {
        exp[i] = x;
        log[x] = i;
        x <<= 1;
        if (x & fieldSize) x ^= polynomial;
    }
    for (int i = fieldSize - 1; i < 2 * fieldSize; ++i) exp[i] = exp[i - (fieldSize - 1)];
    auto mul = [&](int a, int b) { return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]]; };
    std::vector<int> gen{1};
    for (int r = 1; r <= check; ++r) {
        std::vector<int> next(gen.size() + 1, 0);
        for (size_t i = 0; i < gen.size(); ++i) {
            next[i] ^= gen[i];
            next[i + 1] ^= mul(gen[i], exp[r]);
        }
        gen = next;
    }
    std::vector<int> rem(check, 0);
    for (int d : data) {
        const int f = d ^ rem[0];
        for (int i = 0; i < check - 1; ++i) rem[i] = rem[i + 1] ^ mul(f, gen[i + 1]);
        rem[check - 1] = mul(f, gen[check]);
    }
    std::vector<int> out = data;
    out.insert(out.end(), rem.begin(), rem.end());
    return out;
}

// Stream position of D[i] among `count` interleaved codewords.
inline int StreamIndex(int i, int count) {
    const int q = count / 13, s = count % 13, c = i % 13, t = i / 13;
    return (c <= s ? c * (q + 1) : s * (q + 1) + (c - s) * q) + t;
}

// The data modules the reader takes from a matrix of the version with mask 0 (empty when
// the request is refused).
inline std::vector<u8> ReadModules(int version, const std::vector<u8> &matrix) {
    char text[8];
    vexo::CSCN_MATRIX_REQUEST req{};
    req.version = version;
    req.size = 2 * version + 21;
    req.mask = 0;
    req.matrix = matrix.data();
    req.text = text;
    if (vexo::CSCN_PrepareRequest(&req) == 0) return {};
    vexo::CSCN_ReadDataModules(&req);
    return std::vector<u8>(req.moduleBits, req.moduleBits + req.moduleCount);
}

// Matrix indexes of the data modules of a version in reading order, found by probing the
// reader one module at a time.
inline std::vector<int> DataModuleOrder(int version) {
    const int n = 2 * version + 21;
    std::vector<u8> m(static_cast<size_t>(n) * n, 0);
    std::vector<int> order;
    for (int i = 0; i < n * n; ++i) {
        m[i] = 1;
        const std::vector<u8> bits = ReadModules(version, m);
        order.resize(bits.size(), -1);
        for (size_t k = 0; k < bits.size(); ++k)
            if (bits[k] != 0) order[k] = i;
        m[i] = 0;
    }
    return order;
}

}  // namespace hxtest
