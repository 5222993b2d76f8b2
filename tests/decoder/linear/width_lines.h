// Scan lines of the Code 39 and Code 93 tests: symbols drawn from the standards' patterns
// and libzint's module runs redrawn at a chosen wide-to-narrow ratio.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/test_hooks.h"
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

// One drawing of the two-width sweeps: narrow and wide element units, samples per module,
// ink spread, direction and the noise seed.
struct TwoWidthDrawing {
    int narrow;
    int wide;
    double size;
    double spread;
    bool reversed;
    uint32_t seed;
};

// Every drawing of the two-width sweeps of a symbol given as module runs: wide to narrow
// 2:1, 5:2 and 3:1, 2 to 6 samples per narrow module, no ink spread or 0.2, both ways,
// quiet zones of 10 wide elements; drawings longer than an edge list holds are left out.
// draw(runs, narrow, wide) gives the element widths. body(drawing, line) runs with the
// decoder's statics reset and the drawing in the failure trace.
template <class Draw, class Body>
void ForEachTwoWidthDrawing(const std::vector<int> &runs, const std::string &what, uint32_t seedExtra, Draw draw,
                            Body body) {
    const int ratios[][2] = {{1, 2}, {2, 5}, {1, 3}};
    for (const auto &ratio : ratios) {
        const std::vector<int> widths = draw(runs, ratio[0], ratio[1]);
        double units = 20.0 * ratio[1];
        for (int w : widths) units += w;
        for (const double size : {2.0, 3.0, 4.0, 6.0}) {
            if (units * size / ratio[0] > 4095) continue;
            for (const double spread : {0.0, 0.2}) {
                for (const bool reversed : {false, true}) {
                    const TwoWidthDrawing d{ratio[0], ratio[1], size, spread, reversed,
                                            static_cast<uint32_t>(size * 10 + spread * 100 + seedExtra) +
                                                (reversed ? 1000 : 0)};
                    SCOPED_TRACE(testing::Message() << what << " ratio " << d.wide << ":" << d.narrow << " at " << size
                                                    << " spread " << spread << (reversed ? " reversed" : "")
                                                    << " seed " << d.seed);
                    vexo::Test_ResetDecoderStatics();
                    const EdgeLine line = Exact(MakeEdgeLine(
                        widths, {.moduleSamples = size / d.narrow, .spread = spread * d.narrow, .jitter16 = 2,
                                 .reversed = reversed, .quietBefore = 10.0 * d.wide, .quietAfter = 10.0 * d.wide,
                                 .seed = d.seed}));
                    body(d, line);
                }
            }
        }
    }
}

template <class Body>
void ForEachTwoWidthDrawing(const std::vector<int> &runs, const std::string &what, uint32_t seedExtra, Body body) {
    ForEachTwoWidthDrawing(runs, what, seedExtra, TwoWidthRuns, body);
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
