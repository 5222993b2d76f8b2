// Helpers of the Aztec data-layer tests and benchmarks: a bit-stream writer, the tests' own Reed-Solomon encoder over GF(2^m) (apart from the decoder's
// tables), mode messages placed into a grid, and the grid decode with its text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "aztec_maxicode/azt_data.h"
#include "aztec_maxicode/azt_module.h"
#include "core/arena.h"

namespace azttest {

// Bits appended most significant first, one byte 0/1 each.
struct BitWriter {
    std::vector<uint8_t> bits;
    BitWriter &Put(int value, int width) {
        for (int i = width - 1; i >= 0; --i) bits.push_back(static_cast<uint8_t>((value >> i) & 1));
        return *this;
    }
    // 5-bit codes.
    BitWriter &Codes(std::initializer_list<int> codes, int width = 5) {
        for (int c : codes) Put(c, width);
        return *this;
    }
};

// GF(2^m) by its reduction polynomial, generator 2.
struct Field {
    int size = 0;
    std::vector<int> exp, log;
    explicit Field(int poly) {
        size = 1;
        while ((size << 1) <= poly) size <<= 1;
        exp.assign(static_cast<size_t>(2 * size), 0);
        log.assign(static_cast<size_t>(size), 0);
        int x = 1;
        for (int i = 0; i < size - 1; ++i) {
            exp[static_cast<size_t>(i)] = x;
            log[static_cast<size_t>(x)] = i;
            x <<= 1;
            if (x & size) x ^= poly;
        }
        for (int i = size - 1; i < 2 * size; ++i) exp[static_cast<size_t>(i)] = exp[static_cast<size_t>(i - (size - 1))];
    }
    int Mul(int a, int b) const {
        if (a == 0 || b == 0) return 0;
        return exp[static_cast<size_t>(log[static_cast<size_t>(a)] + log[static_cast<size_t>(b)])];
    }
    // Check words of data with roots alpha^1..alpha^n, highest degree first.
    std::vector<int> Check(const std::vector<int> &data, int n) const {
        std::vector<int> g{1};
        for (int j = 1; j <= n; ++j) {
            std::vector<int> next(g.size() + 1, 0);
            for (size_t i = 0; i < g.size(); ++i) {
                next[i] ^= g[i];
                next[i + 1] ^= Mul(g[i], exp[static_cast<size_t>(j)]);
            }
            g = next;
        }
        std::vector<int> rem(static_cast<size_t>(n), 0);
        for (int d : data) {
            const int f = d ^ rem[0];
            for (int i = 0; i + 1 < n; ++i) rem[static_cast<size_t>(i)] = rem[static_cast<size_t>(i + 1)] ^ Mul(f, g[static_cast<size_t>(i + 1)]);
            rem[static_cast<size_t>(n - 1)] = Mul(f, g[static_cast<size_t>(n)]);
        }
        return rem;
    }
};

// A mode message as 28 or 40 bits in placement order.
inline std::vector<uint8_t> ModeMessage(bool full, int layers, int dataCodewords) {
    const Field f(0x13);
    std::vector<int> words;
    if (full) {
        const int v = (layers - 1) << 11 | (dataCodewords - 1);
        words = {v >> 12 & 15, v >> 8 & 15, v >> 4 & 15, v & 15};
    } else {
        const int v = (layers - 1) << 6 | (dataCodewords - 1);
        words = {v >> 4 & 15, v & 15};
    }
    const std::vector<int> check = f.Check(words, full ? 6 : 5);
    words.insert(words.end(), check.begin(), check.end());
    BitWriter w;
    for (int x : words) w.Put(x, 4);
    return w.bits;
}

// Grid position of bit i of a mode message (the reading order of the decoder).
inline void ModeBitPosition(int size, bool full, int i, int *row, int *col) {
    const int c = (size - 1) / 2, d = full ? 7 : 5, half = full ? 5 : 3;
    const int perSide = full ? 10 : 7;
    const int side = i / perSide;
    int t = -half + i % perSide;
    if (full && t >= 0) ++t;
    switch (side) {
        case 0: *row = c - d; *col = c + t; break;
        case 1: *row = c + t; *col = c + d; break;
        case 2: *row = c + d; *col = c - t; break;
        default: *row = c - t; *col = c - d; break;
    }
}

inline void PlaceModeMessage(std::vector<uint8_t> &grid, int size, bool full, const std::vector<uint8_t> &bits) {
    for (int i = 0; i < static_cast<int>(bits.size()); ++i) {
        int r = 0, c = 0;
        ModeBitPosition(size, full, i, &r, &c);
        grid[static_cast<size_t>(r * size + c)] = bits[static_cast<size_t>(i)];
    }
}

// The grid index of every bit of the layer stream of a symbol (innermost layer first, as
// Azt_ExtractLayerBits reads it), found one bit plane of the module index at a time.
inline std::vector<int> StreamPositions(int size, bool full, int layers) {
    std::vector<int> pos;
    std::vector<uint8_t> grid(static_cast<size_t>(size * size)), stream(vexo::kAztGridBytes);
    for (int plane = 0; (size * size) >> plane != 0; ++plane) {
        for (int i = 0; i < size * size; ++i) grid[static_cast<size_t>(i)] = static_cast<uint8_t>((i >> plane) & 1);
        const vexo::AZT_BITSTREAM g{grid.data(), size * size, size};
        vexo::AZT_BITSTREAM bits{stream.data(), 0, vexo::kAztGridBytes};
        int ring = full ? 7 : 5;
        for (int l = 0; l < layers; ++l, ring += 2) vexo::Azt_ReadLayer((size - 1) / 2, &ring, size, full ? 1 : 0, &g, &bits);
        pos.resize(static_cast<size_t>(bits.count), 0);
        for (int i = 0; i < bits.count; ++i) pos[static_cast<size_t>(i)] |= stream[static_cast<size_t>(i)] << plane;
    }
    return pos;
}

// Flips the first module of codeword j (the standard's order) of a grid.
inline void DamageCodeword(std::vector<uint8_t> &grid, const std::vector<int> &positions, int codewordBits, int j) {
    const int total = static_cast<int>(positions.size()) / codewordBits;
    grid[static_cast<size_t>(positions[static_cast<size_t>((total - 1 - j) * codewordBits)])] ^= 1;
}

// The codewords (standard's order) that hold a module of the grid.
inline std::vector<int> CodewordsAt(const std::vector<int> &positions, int codewordBits, const std::vector<int> &modules) {
    const int total = static_cast<int>(positions.size()) / codewordBits;
    std::vector<int> out;
    for (size_t i = 0; i < static_cast<size_t>(total * codewordBits); ++i) {
        if (std::find(modules.begin(), modules.end(), positions[i]) == modules.end()) continue;
        const int j = total - 1 - static_cast<int>(i) / codewordBits;
        if (std::find(out.begin(), out.end(), j) == out.end()) out.push_back(j);
    }
    return out;
}

struct Decoded {
    int status = 99;
    std::string text;
    char aim = 0;
};

inline char Aim() { return static_cast<char>(vexo::g_aztState.aimModifier); }

// Azt_DecodeGrid on a copy of the grid, in a buffer of the driver's size.
inline Decoded DecodeGrid(const std::vector<uint8_t> &modules, int size) {
    std::vector<uint8_t> buffer(vexo::kAztGridBytes, 0xEE);
    std::copy(modules.begin(), modules.end(), buffer.begin());
    std::vector<uint8_t> text(vexo::kAztMaxTextBytes, 0);
    vexo::AZT_BITSTREAM grid{buffer.data(), static_cast<int32_t>(modules.size()), size};
    vexo::AZT_TEXT_OUT out{text.data(), 0};
    Decoded d;
    d.status = vexo::Azt_DecodeGrid(&grid, &out);
    d.text.assign(reinterpret_cast<const char *>(text.data()), static_cast<size_t>(out.length));
    d.aim = Aim();
    return d;
}

// Azt_DecodeText on a stream in a buffer of exactly its size.
inline Decoded DecodeText(const std::vector<uint8_t> &bits) {
    std::vector<uint8_t> copy(bits);
    std::vector<uint8_t> text(vexo::kAztMaxTextBytes, 0);
    vexo::AZT_BITSTREAM stream{copy.empty() ? nullptr : copy.data(), static_cast<int32_t>(copy.size()), 0};
    vexo::AZT_TEXT_OUT out{text.data(), 0};
    Decoded d;
    d.status = vexo::Azt_DecodeText(&stream, &out);
    d.text.assign(reinterpret_cast<const char *>(text.data()), static_cast<size_t>(out.length));
    d.aim = Aim();
    return d;
}

}  // namespace azttest
