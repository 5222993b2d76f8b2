// Module runs of 2 of 5 variant A and of the fixed 8-digit code, which libzint cannot make,
// built from their published patterns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "linear/code128.h"
#include "linear/two_of_five.h"
#include "linear/var25a_fixed8.h"

namespace linetest {

// Variant A: start n n n n; per digit bar space bar space bar and a gap (n unless given);
// stop w n n.
inline std::vector<int> Var25aSymbolRuns(const std::string &digits, int n = 1, int w = 2, int gap = -1) {
    std::vector<int> runs = {n, n, n, n};
    for (char ch : digits) {
        const int32_t key = vexo::kTwoOfFiveKeys[ch - '0'];
        for (int k = 4; k >= 0; --k) runs.push_back(((key >> (4 * k)) & 0xF) == 2 ? w : n);
        runs.push_back(gap < 0 ? n : gap);
    }
    runs.insert(runs.end(), {w, n, n});
    return runs;
}

// Seven digits and their check digit, as text.
inline std::string Fixed8Text(const std::string &seven) {
    uint8_t d[7] = {};
    for (size_t k = 0; k < 7 && k < seven.size(); ++k) d[k] = static_cast<uint8_t>(seven[k] - '0');
    return seven.substr(0, 7) + static_cast<char>('0' + vexo::Fixed8_CheckDigit(d));
}

// The fixed code of seven digits and their check digit: start 4 1 1 2, four Code 128
// characters, stop 2 1 1 1 3 (11 bar and 5 space modules together); each run `unit` wide.
inline std::vector<int> Fixed8SymbolRuns(const std::string &seven, int unit = 1) {
    const std::string eight = Fixed8Text(seven);
    std::vector<int> runs = {4, 1, 1, 2};
    for (int c = 0; c < 4; ++c) {
        const uint32_t p = vexo::kCode128Patterns[(eight[2 * c] - '0') * 10 + (eight[2 * c + 1] - '0')];
        for (int k = 5; k >= 0; --k) runs.push_back(static_cast<int>((p >> (4 * k)) & 0xF));
    }
    runs.insert(runs.end(), {2, 1, 1, 1, 3});
    for (int &r : runs) r *= unit;
    return runs;
}

}  // namespace linetest
