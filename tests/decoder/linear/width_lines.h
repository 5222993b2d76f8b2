// Scan lines of the Code 39 and Code 93 tests: symbols drawn from the standards' patterns
// and libzint's module runs redrawn at a chosen wide-to-narrow ratio.
#pragma once

#include <cstdint>
#include <vector>

#include "record_lines.h"
#include "linear/code39.h"
#include "linear/code93.h"
#include "linear/line_types.h"
#include "linear/two_of_five.h"
#include "linear/width_reader.h"

namespace linetest {

// Runs of a two-width symbol with narrow elements `narrow` units and wide ones `wide` units
// (a run of one module is narrow, a longer one wide).
inline std::vector<int> TwoWidthRuns(const std::vector<int> &runs, int narrow, int wide) {
    std::vector<int> out;
    out.reserve(runs.size());
    for (int r : runs) out.push_back(r > 1 ? wide : narrow);
    return out;
}

// Check values of the standard: weights 1-20 (C) and 1-15 (K) from the right.
inline std::vector<uint8_t> WithChecks93(std::vector<uint8_t> v) {
    for (int maxWeight : {20, 15}) {
        int sum = 0;
        for (size_t k = 0; k < v.size(); ++k) sum += static_cast<int>((v.size() - 1 - k) % maxWeight + 1) * v[k];
        v.push_back(static_cast<uint8_t>(sum % 47));
    }
    return v;
}

// Module runs of a Code 39 symbol of the values (start and stop included).
inline std::vector<int> Code39Runs(const std::vector<uint8_t> &values, int narrow, int wide) {
    std::vector<int> runs;
    for (uint8_t v : values) {
        if (!runs.empty()) runs.push_back(narrow);
        vexo::u8 classes[9];
        vexo::Line_UnpackKey(static_cast<vexo::u32>(vexo::kCode39Keys[v]), classes, 9, 3);
        for (vexo::u8 c : classes) runs.push_back(c == 2 ? wide : narrow);
    }
    return runs;
}

// Module runs of a Code 93 symbol of the data values (check values added).
inline std::vector<int> Code93Runs(const std::vector<uint8_t> &data, int unit) {
    std::vector<int> runs;
    auto put = [&](uint32_t pattern) {
        for (int k = 5; k >= 0; --k) runs.push_back(unit * static_cast<int>((pattern >> (4 * k)) & 0xF));
    };
    put(0x111141);
    for (uint8_t v : WithChecks93(data)) put(vexo::kCode93Patterns[v]);
    put(0x111141);
    runs.push_back(unit);
    return runs;
}

// Module runs of two-width characters from 4-bit keys (n narrow, w wide units), with a
// narrow gap between characters when gap is set.
inline std::vector<int> KeyRuns(const std::vector<int32_t> &keys, int elements, int n, int w, bool gap) {
    std::vector<int> runs;
    for (int32_t key : keys) {
        if (gap && !runs.empty()) runs.push_back(n);
        for (int k = elements - 1; k >= 0; --k) runs.push_back(((key >> (4 * k)) & 0xF) == 2 ? w : n);
    }
    return runs;
}

// Interleaved 2 of 5 of the digits: start, pairs (bars the first digit), stop.
inline std::vector<int> ItfRuns(const std::vector<uint8_t> &digits, int n, int w) {
    std::vector<int> runs = {n, n, n, n};
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        const std::vector<int> a = KeyRuns({vexo::kTwoOfFiveKeys[digits[i]]}, 5, n, w, false);
        const std::vector<int> b = KeyRuns({vexo::kTwoOfFiveKeys[digits[i + 1]]}, 5, n, w, false);
        for (int k = 0; k < 5; ++k) runs.insert(runs.end(), {a[k], b[k]});
    }
    runs.insert(runs.end(), {w, n, n});
    return runs;
}

}  // namespace linetest
