// The ECC 000-140 writer, written from the standard's encoding procedure.
#include "dm_ecc000_writer.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#ifndef DM_ECC000_DATA_DIR
#error "DM_ECC000_DATA_DIR names the directory of the ECC 000-140 data files"
#endif

namespace testkit {
namespace {

const char *const kEcc000Alphabet[4] = {
    " 0123456789",
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ",
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,-/",
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
};
const int kEcc000Group[4] = {6, 5, 4, 4};
const int kEcc000GroupBits[4][7] = {
    {0, 4, 7, 11, 14, 18, 21}, {0, 5, 10, 15, 20, 24, 0}, {0, 6, 11, 17, 22, 0, 0}, {0, 6, 11, 16, 21, 0, 0}};
const char *const kEcc000Header[5] = {"0111111", "0111000000000111000", "0111000000111000111",
                                      "0111000000111111111", "0111000111000111111"};

// Per coded level: inputs b, outputs c, memory m, and per output the taps (input j, delay).
struct Ecc000Tap {
    int input;
    int delay;
};
struct Ecc000Code {
    int b, c, m;
    std::vector<std::vector<Ecc000Tap>> outputs;
};
const Ecc000Code &CodeOf(int level) {
    static const Ecc000Code codes[4] = {
        {3, 4, 3,
         {{{1, 0}, {2, 3}, {3, 1}, {3, 2}, {3, 3}},
          {{1, 2}, {1, 3}, {2, 0}, {2, 1}, {2, 3}},
          {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {3, 0}, {3, 1}},
          {{1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 1}, {3, 3}}}},
        {2, 3, 11,
         {{{1, 0}, {1, 1}, {1, 3}, {1, 5}, {1, 6}, {1, 7}, {1, 10}, {2, 3}, {2, 7}, {2, 8}, {2, 11}},
          {{1, 1}, {1, 4}, {1, 5}, {1, 8}, {1, 9}, {1, 10}, {2, 0}, {2, 3}, {2, 6}, {2, 8}, {2, 9}},
          {{1, 0}, {1, 5}, {1, 6}, {1, 7}, {2, 0}, {2, 1}, {2, 2}, {2, 4}, {2, 7}, {2, 9}, {2, 11}}}},
        {1, 2, 15,
         {{{1, 0}, {1, 2}, {1, 5}, {1, 6}, {1, 7}, {1, 8}, {1, 9}, {1, 10}, {1, 15}},
          {{1, 0}, {1, 1}, {1, 3}, {1, 4}, {1, 6}, {1, 11}, {1, 13}, {1, 14}, {1, 15}}}},
        {1, 4, 13,
         {{{1, 0}, {1, 4}, {1, 7}, {1, 10}, {1, 12}, {1, 13}},
          {{1, 0}, {1, 3}, {1, 4}, {1, 7}, {1, 8}, {1, 9}, {1, 10}, {1, 11}, {1, 13}},
          {{1, 0}, {1, 1}, {1, 2}, {1, 4}, {1, 5}, {1, 7}, {1, 9}, {1, 11}, {1, 12}, {1, 13}},
          {{1, 0}, {1, 1}, {1, 2}, {1, 4}, {1, 5}, {1, 7}, {1, 9}, {1, 10}, {1, 11}, {1, 12}, {1, 13}}}},
    };
    return codes[level - 1];
}

void PutLsbFirst(std::vector<uint8_t> *out, unsigned value, int count) {
    for (int i = 0; i < count; ++i) out->push_back(static_cast<uint8_t>((value >> i) & 1));
}

void PutMsbFirst(std::vector<uint8_t> *out, unsigned value, int count) {
    for (int i = count - 1; i >= 0; --i) out->push_back(static_cast<uint8_t>((value >> i) & 1));
}

uint8_t Reverse8(uint8_t v) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<uint8_t>(r | (((v >> i) & 1) << (7 - i)));
    return r;
}

}  // namespace

const Ecc000Grids &Ecc000Data() {
    static const Ecc000Grids data = [] {
        Ecc000Grids d;
        std::ifstream grids(std::string(DM_ECC000_DATA_DIR) + "/dm-ecc000-140-placement.txt");
        std::string line;
        while (std::getline(grids, line)) {
            std::istringstream in(line);
            int n = 0;
            char colon = 0;
            if (!(in >> n >> colon) || n < 7 || n > 47 || (n & 1) == 0) continue;
            std::vector<int> g;
            int v = 0;
            while (in >> v) g.push_back(v);
            if (static_cast<int>(g.size()) != n * n) return d;
            if (static_cast<int>(d.grid.size()) != (n - 7) / 2) return d;
            d.grid.push_back(g);
        }
        std::ifstream random(std::string(DM_ECC000_DATA_DIR) + "/dm-ecc000-140-random.txt");
        std::string hex;
        while (random >> hex) d.random.push_back(static_cast<uint8_t>(std::stoi(hex, nullptr, 16)));
        d.ok = d.grid.size() == 21 && d.random.size() == 277;
        return d;
    }();
    return data;
}

uint16_t Ecc000Crc(int format, const std::string &text) {
    // CRC-16/XMODEM over the bytes with their bit order reversed.
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(format + 1), 0};
    for (char c : text) bytes.push_back(static_cast<uint8_t>(c));
    uint16_t crc = 0;
    for (uint8_t b : bytes) {
        crc = static_cast<uint16_t>(crc ^ (Reverse8(b) << 8));
        for (int i = 0; i < 8; ++i) crc = static_cast<uint16_t>((crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1));
    }
    return crc;
}

std::vector<uint8_t> Ecc000Record(int format, const std::string &text) {
    if (format < 0 || format > 5 || text.size() > 511) return {};
    std::vector<uint8_t> r;
    PutMsbFirst(&r, static_cast<unsigned>(format), 5);
    PutMsbFirst(&r, Ecc000Crc(format, text), 16);
    PutLsbFirst(&r, static_cast<unsigned>(text.size()), 9);
    if (format >= 4) {
        for (char c : text) {
            const unsigned v = static_cast<uint8_t>(c);
            if (format == 4 && v > 127) return {};
            PutLsbFirst(&r, v, format == 4 ? 7 : 8);
        }
        return r;
    }
    const std::string alphabet = kEcc000Alphabet[format];
    const unsigned base = static_cast<unsigned>(alphabet.size());
    const int g = kEcc000Group[format];
    for (size_t at = 0; at < text.size(); at += static_cast<size_t>(g)) {
        const size_t count = std::min(static_cast<size_t>(g), text.size() - at);
        unsigned value = 0;
        for (size_t j = count; j-- > 0;) {
            const size_t pos = alphabet.find(text[at + j]);
            if (pos == std::string::npos) return {};
            value = value * base + static_cast<unsigned>(pos);
        }
        PutLsbFirst(&r, value, kEcc000GroupBits[format][count]);
    }
    return r;
}

std::vector<uint8_t> Ecc000Convolve(int level, const std::vector<uint8_t> &record) {
    const Ecc000Code &code = CodeOf(level);
    std::vector<uint8_t> in = record;
    while (in.size() % static_cast<size_t>(code.b) != 0) in.push_back(0);
    const int steps = static_cast<int>(in.size()) / code.b + code.m;
    // Input j of step t, zero before the first step and after the record.
    auto input = [&](int t, int j) -> int {
        if (t < 0) return 0;
        const size_t k = static_cast<size_t>(t) * static_cast<size_t>(code.b) + static_cast<size_t>(j - 1);
        return k < in.size() ? in[k] : 0;
    };
    std::vector<uint8_t> out;
    for (int t = 0; t < steps; ++t) {
        for (const auto &taps : code.outputs) {
            int v = 0;
            for (const Ecc000Tap &tap : taps) v ^= input(t - tap.delay, tap.input);
            out.push_back(static_cast<uint8_t>(v));
        }
    }
    return out;
}

std::vector<uint8_t> Ecc000Stream(int level, int format, const std::string &text, int n) {
    if (level < 0 || level > 4 || n < 7 || n > 47 || (n & 1) == 0) return {};
    std::vector<uint8_t> record = Ecc000Record(format, text);
    if (record.empty()) return {};
    std::vector<uint8_t> stream;
    for (const char *h = kEcc000Header[level]; *h != 0; ++h) stream.push_back(static_cast<uint8_t>(*h - '0'));
    const std::vector<uint8_t> body = level == 0 ? record : Ecc000Convolve(level, record);
    stream.insert(stream.end(), body.begin(), body.end());
    if (stream.size() > static_cast<size_t>(n * n)) return {};
    stream.resize(static_cast<size_t>(n * n), 0);
    return stream;
}

std::vector<uint8_t> Ecc000DataArea(int level, int format, const std::string &text, int n) {
    const Ecc000Grids &data = Ecc000Data();
    const std::vector<uint8_t> stream = Ecc000Stream(level, format, text, n);
    if (!data.ok || stream.empty()) return {};
    const std::vector<int> &grid = data.grid[static_cast<size_t>((n - 7) / 2)];
    std::vector<uint8_t> area(static_cast<size_t>(n * n));
    for (size_t i = 0; i < area.size(); ++i) {
        const int k = grid[i];
        const int rnd = (data.random[static_cast<size_t>(k / 8)] >> (7 - k % 8)) & 1;
        area[i] = static_cast<uint8_t>(stream[static_cast<size_t>(k)] ^ rnd);
    }
    return area;
}

std::vector<uint8_t> Ecc000SymbolModules(int level, int format, const std::string &text, int n) {
    const std::vector<uint8_t> area = Ecc000DataArea(level, format, text, n);
    if (area.empty()) return {};
    const int side = n + 2;
    std::vector<uint8_t> m(static_cast<size_t>(side * side), 0);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            uint8_t v = 0;
            if (x == 0 || y == side - 1) {
                v = 1;
            } else if (y == 0) {
                v = (x % 2 == 0) ? 1 : 0;
            } else if (x == side - 1) {
                v = (y % 2 == 0) ? 1 : 0;
            } else {
                v = area[static_cast<size_t>((y - 1) * n + (x - 1))];
            }
            m[static_cast<size_t>(y * side + x)] = v;
        }
    }
    return m;
}

int Ecc000Capacity(int level, int format, int n) {
    // The stream grows with the count, so the largest count that fits is found by halving.
    const char fill = format <= 0 ? '1' : 'A';
    auto fits = [&](int count) {
        return !Ecc000Stream(level, format, std::string(static_cast<size_t>(count), fill), n).empty();
    };
    if (!fits(0)) return -1;
    int lo = 0;
    int hi = 512;
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        if (fits(mid)) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

}  // namespace testkit
