// Synthetic scan lines for the linear tests: runs of modules (bar first, alternating bar and
// space) laid along a line as the image side would hand them over: edge positions in 1/16
// sample from the first bar's start to the last bar's end, with the line's sample count.
// Module size, ink spread, jitter, reversal, quiet zones and lines cut short are options;
// the same options and seed give the same edges. Free of libzint, so the tests that use it
// also run in the arm64 build; the libzint tests feed it a row of a testkit::Symbol through
// RunsFromRow.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "linear/line_edge_input.h"
#include "linear/line_types.h"

namespace linetest {

struct EdgeLineOptions {
    double moduleSamples = 3.0;  // samples per module
    double spread = 0.0;         // ink spread: each bar grows by this fraction of a module
    int jitter16 = 0;            // each edge moves by up to this many 1/16 samples
    bool reversed = false;       // the symbol lies against the line
    double quietBefore = 10.0;   // light modules from the line's start to the first kept bar
    double quietAfter = 10.0;    // light modules from the last kept bar to the line's end
    int cutFront = 0;            // elements lost at the line's start (after reversal)
    int cutBack = 0;             // elements lost at the line's end
    uint32_t seed = 1;
};

struct EdgeLine {
    std::vector<uint16_t> edges;   // exactly the line's edges
    std::vector<uint16_t> widths;  // edges.size() - 1
    uint16_t sampleCount = 0;
};

// Module runs from a string of digits, one element each ("211214").
inline std::vector<int> Runs(const std::string &digits) {
    std::vector<int> runs;
    for (char ch : digits) runs.push_back(ch - '0');
    return runs;
}

// Concatenation of run lists; a space of `gap` modules is put between two lists when the
// first ends with a bar.
inline std::vector<int> Join(std::vector<int> a, const std::vector<int> &b, int gap = 0) {
    if (gap > 0 && a.size() % 2 == 1) a.push_back(gap);
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Module runs of one row of a symbol (any type with cols and Dark(row, col)), from its
// first dark module to its last.
template <class Symbol>
std::vector<int> RunsFromRow(const Symbol &s, int row) {
    std::vector<int> runs;
    int col = 0;
    while (col < s.cols && !s.Dark(row, col)) ++col;
    int last = s.cols - 1;
    while (last >= col && !s.Dark(row, last)) --last;
    bool dark = true;
    int length = 0;
    for (; col <= last; ++col) {
        if (s.Dark(row, col) == dark) {
            ++length;
            continue;
        }
        runs.push_back(length);
        dark = !dark;
        length = 1;
    }
    if (length > 0) runs.push_back(length);
    return runs;
}

inline EdgeLine MakeEdgeLine(std::vector<int> runs, const EdgeLineOptions &o = {}) {
    if (runs.size() % 2 == 0 && !runs.empty()) runs.pop_back();  // end on a bar
    if (o.reversed) std::reverse(runs.begin(), runs.end());
    // Cut elements off the line's ends; a line still begins and ends with a bar.
    const size_t front = std::min(runs.size(), static_cast<size_t>(std::max(o.cutFront, 0)));
    runs.erase(runs.begin(), runs.begin() + static_cast<long>(front));
    const size_t back = std::min(runs.size(), static_cast<size_t>(std::max(o.cutBack, 0)));
    runs.erase(runs.end() - static_cast<long>(back), runs.end());
    if (front % 2 == 1 && !runs.empty()) runs.erase(runs.begin());
    if (runs.size() % 2 == 0 && !runs.empty()) runs.pop_back();

    EdgeLine line;
    double total = 0;
    for (int r : runs) total += r;
    const double spm = o.moduleSamples;
    line.sampleCount = static_cast<uint16_t>(std::min(65535.0, std::ceil((o.quietBefore + total + o.quietAfter) * spm)));
    std::mt19937 rng(o.seed);
    std::uniform_int_distribution<int> jitter(-o.jitter16, o.jitter16);
    double x = o.quietBefore;
    for (size_t j = 0; j <= runs.size() && !runs.empty(); ++j) {
        const double grow = (j % 2 == 0 ? -0.5 : 0.5) * o.spread;  // bar starts move back, bar ends on
        const double pos = std::round(16.0 * (x + grow) * spm) + (o.jitter16 > 0 ? jitter(rng) : 0);
        const double floor = line.edges.empty() ? 0.0 : line.edges.back() + 1.0;
        line.edges.push_back(static_cast<uint16_t>(std::clamp(pos, floor, 65535.0)));
        if (j < runs.size()) x += runs[j];
    }
    for (size_t k = 0; k + 1 < line.edges.size(); ++k)
        line.widths.push_back(static_cast<uint16_t>(line.edges[k + 1] - line.edges[k]));
    return line;
}

// Edges of random elements between minWidth16 and maxWidth16 sixteenths of a sample.
inline EdgeLine MakeNoiseLine(int edgeCount, uint32_t seed, int minWidth16 = 16, int maxWidth16 = 160) {
    EdgeLine line;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> width(minWidth16, maxWidth16);
    int pos = 20 * 16;
    for (int k = 0; k < edgeCount && pos <= 65535; ++k) {
        line.edges.push_back(static_cast<uint16_t>(pos));
        pos += width(rng);
    }
    for (size_t k = 0; k + 1 < line.edges.size(); ++k)
        line.widths.push_back(static_cast<uint16_t>(line.edges[k + 1] - line.edges[k]));
    line.sampleCount = static_cast<uint16_t>(std::min(65535, pos / 16 + 20));
    return line;
}

// A locate state over the line, as the driver builds it for a record.
inline vexo::LINE_LOCATE_STATE LocateState(const EdgeLine &line) {
    vexo::LINE_LOCATE_STATE st{};
    st.widths = line.widths.data();
    st.widthCount = static_cast<uint16_t>(line.widths.size());
    st.edges = line.edges.data();
    st.edgeCount = static_cast<uint16_t>(line.edges.size());
    st.lineLength = 16u * line.sampleCount;
    return st;
}

// A decode context over a located candidate, as the walk builds it.
inline vexo::LINE_DECODE_CTX DecodeContext(const vexo::LINE_LOCATE_STATE &st, uint8_t *buffer, uint16_t capacity) {
    vexo::LINE_DECODE_CTX ctx{};
    const uint16_t s = st.startIndex, e = st.endIndex;
    ctx.widths = st.widths + s;
    ctx.widthCount = st.widthCount;
    ctx.direction = s > e ? -1 : 1;
    ctx.data = buffer;
    ctx.capacity = capacity;
    ctx.locateValue = st.locateValue;
    ctx.edges = st.edges + s;
    ctx.elementCount = static_cast<uint16_t>((s > e ? s - e : e - s) + 1);
    ctx.edgesBase = st.edges;
    ctx.edgeCount = st.edgeCount;
    ctx.startIndex = s;
    ctx.endIndex = e;
    ctx.aimLetter = 'X';
    ctx.aimModifier = '0';
    return ctx;
}

// Hands the line to the driver as the image side's current edge list (the arrays stay the
// caller's: keep the line alive while the driver reads it).
inline void Install(EdgeLine &line) {
    vexo::g_lineEdgeInput.edgeCount = static_cast<uint16_t>(line.edges.size());
    vexo::g_lineEdgeInput.widthCount = static_cast<int16_t>(line.widths.size());
    vexo::g_lineEdgeInput.sampleCount = line.sampleCount;
    vexo::g_lineEdgeInput.edges = line.edges.data();
    vexo::g_lineEdgeInput.widths = line.widths.data();
}

}  // namespace linetest
