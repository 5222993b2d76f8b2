// An ECC 200 symbol writer of the tests' own: Reed-Solomon over GF(256) with
// x^8 + x^5 + x^3 + x^2 + 1, both dealings of 144 x 144, ASCII data with pads, mapping
// matrices built from codewords through the module placement, whole symbols with their
// finder and timing patterns. The benchmarks use it too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datamatrix/dm_ecc200.h"

namespace dmtest {

inline const vexo::DM_SIZE_ROW &Row(int sizeIndex) { return vexo::kDmSizeTable[sizeIndex]; }

inline int BlockCount(int sizeIndex) { return Row(sizeIndex).blockCount + (sizeIndex == vexo::kDmSize144 ? 2 : 0); }

// GF(256) with x^8 + x^5 + x^3 + x^2 + 1, generator 2.
struct Gf256 {
    int exp[512];
    int log[256];
    Gf256() {
        int x = 1;
        for (int i = 0; i < 255; ++i) {
            exp[i] = x;
            log[x] = i;
            x <<= 1;
            if (x & 0x100) x ^= 0x12D;
        }
        for (int i = 255; i < 512; ++i) exp[i] = exp[i - 255];
        log[0] = 0;
    }
    int Mul(int a, int b) const { return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]]; }
};

inline const Gf256 &Field() {
    static const Gf256 f;
    return f;
}

// Check codewords of one block: the remainder of data(x) x^n by prod (x - 2^i), i = 1..n.
inline std::vector<int> RsCheck(const std::vector<int> &data, int n) {
    const Gf256 &f = Field();
    std::vector<int> g(static_cast<size_t>(n) + 1, 0);
    g[0] = 1;
    for (int i = 1; i <= n; ++i) {
        for (int j = i; j >= 1; --j) g[j] = g[j - 1] ^ f.Mul(g[j], f.exp[i]);
        g[0] = f.Mul(g[0], f.exp[i]);
    }
    // g[j] is the coefficient of x^j; g[n] = 1.
    std::vector<int> rem(static_cast<size_t>(n), 0);
    for (int d : data) {
        const int feedback = d ^ rem[0];
        for (int j = 0; j + 1 < n; ++j) rem[j] = rem[j + 1] ^ f.Mul(feedback, g[n - 1 - j]);
        rem[n - 1] = f.Mul(feedback, g[0]);
    }
    return rem;
}

// The symbol's codewords in placement order: data then check codewords, each block's data
// dealt as codeword i to block i mod B. Check codewords follow the standard's dealing
// (block i mod B of check codeword i), or with uniform = true the dealing of all codewords
// in turn over the ten blocks of 144 x 144.
inline std::vector<int> EncodeSymbol(int sizeIndex, const std::vector<int> &data, bool uniform = false) {
    const vexo::DM_SIZE_ROW &row = Row(sizeIndex);
    const int b = BlockCount(sizeIndex);
    const int d = row.dataCodewords;
    const int e = row.ecCodewords;
    std::vector<int> out(data);
    out.resize(static_cast<size_t>(d + e), 0);
    std::vector<std::vector<int>> checks(static_cast<size_t>(b));
    for (int k = 0; k < b; ++k) {
        std::vector<int> blockData;
        for (int i = k; i < d; i += b) blockData.push_back(data[static_cast<size_t>(i)]);
        checks[static_cast<size_t>(k)] = RsCheck(blockData, e / b);
    }
    for (int i = 0; i < e; ++i) {
        // Uniform: codeword d + i is the next item of block (d + i) mod b.
        const int k = uniform ? (d + i) % b : i % b;
        const int slot = uniform ? ((d + i) / b) - ((d - 1 - k) / b + 1) : i / b;
        out[static_cast<size_t>(d + i)] = checks[static_cast<size_t>(k)][static_cast<size_t>(slot)];
    }
    return out;
}

// Data codewords of ASCII text (bytes below 128), then a pad and the randomised pads.
inline std::vector<int> AsciiData(const std::string &text, int dataCount) {
    std::vector<int> out;
    for (unsigned char c : text) out.push_back(c + 1);
    if (static_cast<int>(out.size()) < dataCount) out.push_back(129);
    while (static_cast<int>(out.size()) < dataCount) {
        const int p = static_cast<int>(out.size()) + 1;
        int v = 129 + ((149 * p) % 253) + 1;
        if (v > 254) v -= 254;
        out.push_back(v);
    }
    out.resize(static_cast<size_t>(dataCount));
    return out;
}

// Binds the data layer to the size and returns its placement map (rows x cols entries of
// 10 x codeword + bit).
inline std::vector<int32_t> PlacementMap(int sizeIndex) {
    vexo::DM_BindWorkAreas();
    vexo::g_dmData.mappingRows = Row(sizeIndex).mappingRows;
    vexo::g_dmData.mappingCols = Row(sizeIndex).mappingCols;
    vexo::DM_BuildPlacement();
    const size_t n = static_cast<size_t>(Row(sizeIndex).mappingRows) * static_cast<size_t>(Row(sizeIndex).mappingCols);
    return std::vector<int32_t>(vexo::g_dmData.placement, vexo::g_dmData.placement + n);
}

// The mapping matrix that carries the codewords (codeword n at entry n - 1), with the
// fixed corner pattern where the size has one (its light modules carry no codeword).
inline std::vector<uint8_t> PlaceCodewords(int sizeIndex, const std::vector<int> &codewords) {
    const std::vector<int32_t> map = PlacementMap(sizeIndex);
    std::vector<uint8_t> m(map.size(), 0);
    for (size_t i = 0; i < map.size(); ++i) {
        const int n = map[i] / 10, bit = map[i] % 10;
        if (n >= 1) m[i] = static_cast<uint8_t>((codewords[static_cast<size_t>(n - 1)] >> (8 - bit)) & 1);
        if (map[i] == 1) m[i] = 1;  // the two dark modules of the fixed corner pattern
    }
    return m;
}

// A whole symbol's mapping matrix from data codewords.
inline std::vector<uint8_t> SymbolMatrix(int sizeIndex, const std::vector<int> &data, bool uniform = false) {
    return PlaceCodewords(sizeIndex, EncodeSymbol(sizeIndex, data, uniform));
}

// The whole symbol around a mapping matrix: every region gets its solid left column and
// bottom row and its alternating top row (dark from the left) and right column (dark from
// the bottom). rows x cols of the symbol, 1 dark.
inline std::vector<uint8_t> AddPatterns(int sizeIndex, const std::vector<uint8_t> &mapping) {
    const vexo::DM_SIZE_ROW &row = Row(sizeIndex);
    const int p = row.regionRows + 2, q = row.regionCols + 2;
    std::vector<uint8_t> out(static_cast<size_t>(row.symbolRows) * static_cast<size_t>(row.symbolCols), 0);
    for (int r = 0; r < row.symbolRows; ++r) {
        for (int c = 0; c < row.symbolCols; ++c) {
            const int i = r % p, j = c % q;
            uint8_t v;
            if (j == 0 || i == p - 1) {
                v = 1;
            } else if (i == 0) {
                v = j % 2 == 0 ? 1 : 0;
            } else if (j == q - 1) {
                v = i % 2 == 1 ? 1 : 0;
            } else {
                const int mr = r / p * row.regionRows + i - 1, mc = c / q * row.regionCols + j - 1;
                v = mapping[static_cast<size_t>(mr * row.mappingCols + mc)];
            }
            out[static_cast<size_t>(r * row.symbolCols + c)] = v;
        }
    }
    return out;
}

}  // namespace dmtest
