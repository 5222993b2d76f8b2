// GS1 DataBar lines for the tests: an encoder written from ISO/IEC 24724 (character value to
// element widths, checksum, finders and check patterns) that lays out omnidirectional symbols,
// their two stacked rows and Limited symbols as module runs, the flag words the tests read
// them with, and one line through a DataBar record's locate and decode slots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/params.h"
#include "edge_lists.h"
#include "linear/databar.h"
#include "linear/line_types.h"

namespace linetest {

inline int Combinations(int n, int r) {
    if (r < 0 || r > n) return 0;
    long long v = 1;
    for (int k = 1; k <= r; ++k) v = v * (n - r + k) / k;
    return static_cast<int>(v);
}

// The standard's element widths of value val: n modules over `elements` elements, none wider
// than maxWidth; noNarrow 0 excludes sets without a one-module element.
inline std::vector<int> DataBarWidths(int val, int n, int elements, int maxWidth, int noNarrow) {
    std::vector<int> widths(static_cast<size_t>(elements));
    int narrowMask = 0;
    int bar = 0;
    for (; bar < elements - 1; ++bar) {
        int elmWidth = 1;
        int subVal = 0;
        narrowMask |= 1 << bar;
        for (;; ++elmWidth, narrowMask &= ~(1 << bar)) {
            subVal = Combinations(n - elmWidth - 1, elements - bar - 2);
            if (!noNarrow && !narrowMask && n - elmWidth - (elements - bar - 1) >= elements - bar - 1)
                subVal -= Combinations(n - elmWidth - (elements - bar), elements - bar - 2);
            if (elements - bar - 1 > 1) {
                int lessVal = 0;
                for (int mxw = n - elmWidth - (elements - bar - 2); mxw > maxWidth; --mxw)
                    lessVal += Combinations(n - elmWidth - mxw - 1, elements - bar - 3);
                subVal -= lessVal * (elements - 1 - bar);
            } else if (n - elmWidth > maxWidth) {
                subVal--;
            }
            val -= subVal;
            if (val < 0) break;
        }
        val += subVal;
        n -= elmWidth;
        widths[static_cast<size_t>(bar)] = elmWidth;
    }
    widths[static_cast<size_t>(bar)] = n;
    return widths;
}

// Element widths of character value v among groups [from, to) of the table; oddFirst says
// value = odd value x even count + even value (outside and Limited characters).
inline std::vector<int> CharWidths(int v, const vexo::DATABAR_GROUP *groups, int from, int to, int elements,
                                   bool oddFirst, int oddNoNarrow = -1) {
    if (oddNoNarrow < 0) oddNoNarrow = oddFirst ? 1 : 0;
    int g = from;
    while (g + 1 < to && v >= groups[g + 1].first) ++g;
    const vexo::DATABAR_GROUP &G = groups[g];
    const int rest = v - G.first;
    const int oddV = oddFirst ? rest / G.evenCount : rest % G.oddCount;
    const int evenV = oddFirst ? rest % G.evenCount : rest / G.oddCount;
    const int h = elements / 2;
    const std::vector<int> odd = DataBarWidths(oddV, G.oddModules, h, G.widestOdd, oddNoNarrow);
    const std::vector<int> even = DataBarWidths(evenV, G.evenModules, h, G.widestEven, 1 - oddNoNarrow);
    std::vector<int> w;
    for (int k = 0; k < h; ++k) {
        w.push_back(odd[static_cast<size_t>(k)]);
        w.push_back(even[static_cast<size_t>(k)]);
    }
    return w;
}

inline std::vector<int> OmniCharWidths(int v, bool outside) {
    return outside ? CharWidths(v, vexo::kDataBarOmniGroupTable, 0, 5, 8, true)
                   : CharWidths(v, vexo::kDataBarOmniGroupTable, 5, 9, 8, false);
}

inline std::vector<int> LimitedCharWidths(int v) {
    return CharWidths(v, vexo::kDataBarLimitedGroupTable, 0, vexo::kDataBarLimitedGroups, 14, true);
}

// Expanded: value = odd value x even count + even value, the odd widths without a narrow
// element allowed to lack one.
inline std::vector<int> ExpandedCharWidths(int v) {
    return CharWidths(v, vexo::kExpandedGroupTable, 0, vexo::kExpandedGroups, 8, true, 0);
}

inline uint32_t Word(const std::vector<int> &w) {
    uint32_t word = 0;
    for (int x : w) word = word << 4 | static_cast<uint32_t>(x);
    return word;
}

inline std::vector<int> Reversed(std::vector<int> v) { return std::vector<int>(v.rbegin(), v.rend()); }

inline std::vector<int> FinderWidths(int f) {
    const int32_t k = vexo::kDataBarFinderKeys[f];
    return {k >> 16 & 0xF, k >> 12 & 0xF, k >> 8 & 0xF, 1, 1};
}

inline int WeightedSum(const std::vector<int> &w, const uint8_t *weights) {
    int s = 0;
    for (size_t k = 0; k < w.size(); ++k) s += w[k] * weights[k];
    return s;
}

inline std::vector<int> Cat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> out;
    for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// An omnidirectional symbol of a 13-digit value (linked adds the linkage offset), as the
// characters and finders in reading order and laid out in print order.
struct OmniSymbol {
    std::vector<int> lo, li, ro, ri;  // characters in reading order
    int leftFinder = 0, rightFinder = 0;
    int checksum = 0;                 // mod 79, before the mapping
    std::vector<int> Whole() const {  // guard bar first, ends on the right guard bar
        return Cat({{1}, lo, FinderWidths(leftFinder), Reversed(li), ri, Reversed(FinderWidths(rightFinder)),
                    Reversed(ro), {1, 1}});
    }
    std::vector<int> Upper() const { return Cat({{1}, lo, FinderWidths(leftFinder), Reversed(li), {1}}); }
    std::vector<int> Lower() const {
        return Cat({{1, 1}, ri, Reversed(FinderWidths(rightFinder)), Reversed(ro), {1, 1}});
    }
};

inline OmniSymbol MakeOmni(uint64_t value, bool linked = false) {
    if (linked) value += 10000000000000ULL;
    const int left = static_cast<int>(value / 4537077), right = static_cast<int>(value % 4537077);
    OmniSymbol s;
    s.lo = OmniCharWidths(left / 1597, true);
    s.li = OmniCharWidths(left % 1597, false);
    s.ro = OmniCharWidths(right / 1597, true);
    s.ri = OmniCharWidths(right % 1597, false);
    const uint8_t *w = vexo::kDataBarOmniWeights;
    s.checksum = (WeightedSum(s.lo, w) + WeightedSum(s.li, w + 8) + WeightedSum(s.ro, w + 16) +
                  WeightedSum(s.ri, w + 24)) % 79;
    const int c = vexo::DataBar_ChecksumToFinders(s.checksum);
    s.leftFinder = c / 9;
    s.rightFinder = c % 9;
    return s;
}

inline std::vector<int> LimitedCheckWidths(int c) {
    std::vector<int> w;
    for (int k = 13; k >= 0; --k) w.push_back(vexo::kDataBarLimitedCheckKeys[c] >> (2 * k) & 3);
    return w;
}

// A Limited symbol: guard bar, left character, check pattern, right character, right guard.
inline std::vector<int> LimitedRuns(uint64_t value, bool linked = false) {
    if (linked) value += 2015133531096ULL;
    const std::vector<int> l = LimitedCharWidths(static_cast<int>(value / 2013571));
    const std::vector<int> r = LimitedCharWidths(static_cast<int>(value % 2013571));
    const int check = (WeightedSum(l, vexo::kDataBarLimitedWeights) + WeightedSum(r, vexo::kDataBarLimitedWeights + 14)) % 89;
    return Cat({{1}, l, LimitedCheckWidths(check), r, {1, 1}});
}

// GS1 DataBar on with lengths 1 to 255 (plus extra bits), the composite word as given.
inline void SetDataBarWords(uint32_t extra = 0, uint32_t composite = 0) {
    using namespace vexo;
    for (uint32_t &w : g_params.flagsWord) w = 0;
    g_params.flagsWord[kSymDataBar] = kFlagEnabled | 0xFF01u | extra;
    g_params.flagsWord[kSymComposite] = composite;
    g_params.commonWord = 0;
}

// The 13-digit text of a value with its GS1 check digit.
inline std::string Gtin14(uint64_t value) {
    std::string s = std::to_string(value);
    s = std::string(13 - s.size(), '0') + s;
    int sum = 0;
    for (int k = 0; k < 13; ++k) sum += (s[static_cast<size_t>(12 - k)] - '0') * (k % 2 == 0 ? 3 : 1);
    return s + static_cast<char>('0' + (10 - sum % 10) % 10);
}

}  // namespace linetest
