// Random message bytes of a few kinds for PDF417 symbols (tests and the benchmark).
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace pdf_test {

// n bytes of a kind: 0 printable ASCII, 1 any byte, 2 digits, 3 digits mixed with printable.
inline std::string RandomData(std::mt19937 &rng, int kind, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        const uint32_t r = rng();
        if (kind == 0) s.push_back(static_cast<char>(0x20 + r % 95));
        else if (kind == 1) s.push_back(static_cast<char>(r & 0xFF));
        else if (kind == 2) s.push_back(static_cast<char>('0' + r % 10));
        else s.push_back(r % 3 == 0 ? static_cast<char>('0' + r % 10) : static_cast<char>(0x20 + r % 95));
    }
    return s;
}

}  // namespace pdf_test
