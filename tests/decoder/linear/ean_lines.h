// EAN/UPC lines for the tests: module runs written from the standard's character sets and
// guards (main symbols and add-ons), the flag words the tests read them with, and one
// line through a record's locate and decode slots as the table walk runs them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/params.h"
#include "edge_lists.h"
#include "linear/ean_upc.h"
#include "linear/line_types.h"

namespace linetest {

// Runs of one character: entry 0-19 (set L, set G) as the table holds it, space first.
inline std::vector<int> EanCharRuns(int entry) {
    const uint32_t p = vexo::kEanPatterns[entry];
    return {static_cast<int>(p >> 12 & 0xF), static_cast<int>(p >> 8 & 0xF), static_cast<int>(p >> 4 & 0xF),
            static_cast<int>(p & 0xF)};
}

inline void Append(std::vector<int> &runs, const std::vector<int> &more) {
    runs.insert(runs.end(), more.begin(), more.end());
}

// The bars of an EAN-13 from its 13 digits; leftParity overrides the parity of the six left
// digits (G = 1, first highest), -1 takes the one of digit 0.
inline std::vector<int> Ean13Runs(const std::string &digits, int leftParity = -1) {
    const int parity = leftParity >= 0 ? leftParity : vexo::kEan13FirstDigit[digits[0] - '0'] - 64;
    std::vector<int> runs = {1, 1, 1};
    for (int k = 1; k <= 6; ++k) Append(runs, EanCharRuns(digits[k] - '0' + ((parity >> (6 - k)) & 1) * 10));
    Append(runs, {1, 1, 1, 1, 1});
    for (int k = 7; k <= 12; ++k) {
        // Set R: the widths of set L, bar first.
        Append(runs, EanCharRuns(digits[k] - '0'));
    }
    Append(runs, {1, 1, 1});
    return runs;
}

inline std::vector<int> Ean8Runs(const std::string &digits) {
    std::vector<int> runs = {1, 1, 1};
    for (int k = 0; k < 4; ++k) Append(runs, EanCharRuns(digits[k] - '0'));
    Append(runs, {1, 1, 1, 1, 1});
    for (int k = 4; k < 8; ++k) Append(runs, EanCharRuns(digits[k] - '0'));
    Append(runs, {1, 1, 1});
    return runs;
}

// UPC-E from its eight digits (number system, six digits, check); parity -1 takes the
// standard's one of the number system and check digit.
inline std::vector<int> UpceRuns(const std::string &digits, int parity = -1) {
    if (parity < 0) parity = vexo::kUpceParity[digits[0] - '0'][digits[7] - '0'];
    std::vector<int> runs = {1, 1, 1};
    for (int k = 1; k <= 6; ++k) Append(runs, EanCharRuns(digits[k] - '0' + ((parity >> (6 - k)) & 1) * 10));
    Append(runs, {1, 1, 1, 1, 1, 1});
    return runs;
}

// An add-on of 2 or 5 digits with the given parity (-1: the standard's), behind a gap of
// `gap` modules (the runs start with the gap).
inline std::vector<int> AddOnRuns(const std::string &digits, int gap = 9, int parity = -1) {
    const int n = static_cast<int>(digits.size());
    if (parity < 0) {
        int v[5] = {};
        for (int k = 0; k < n; ++k) v[k] = digits[k] - '0';
        parity = n == 2 ? (10 * v[0] + v[1]) % 4
                        : vexo::kEanAddOn5Parity[((v[0] + v[2] + v[4]) * 3 + (v[1] + v[3]) * 9) % 10];
    }
    std::vector<int> runs = {gap, 1, 1, 2};
    for (int k = 0; k < n; ++k) {
        if (k > 0) Append(runs, {1, 1});
        Append(runs, EanCharRuns(digits[k] - '0' + ((parity >> (n - 1 - k)) & 1) * 10));
    }
    return runs;
}

// Every EAN/UPC member on, check digits sent, both add-on lengths admitted; UPC-A without
// its leading 0, UPC-E with its number system and number system 1 accepted. Others off.
inline void SetEanWords(uint32_t extra = vexo::kFlagAddOn2 | vexo::kFlagAddOn5) {
    using namespace vexo;
    for (uint32_t &w : g_params.flagsWord) w = 0;
    const uint32_t base = kFlagEnabled | kFlagTransmitCheck | extra;
    g_params.flagsWord[kSymEan13] = base;
    g_params.flagsWord[kSymEan8] = base;
    g_params.flagsWord[kSymUpcA] = base;
    g_params.flagsWord[kSymUpcE] = base | kFlagUpcPreamble | kFlagUpcEAcceptNs1;
    g_params.flagsWord[kSymIsbn] = kFlagEnabled;
    g_params.flagsWord[kSymIssn] = kFlagEnabled;
    g_params.commonWord = 0;
}

struct EanRead {
    int candidates = 0;
    uint16_t count = 0;          // the decode slot's answer for the first candidate that gave one
    int16_t direction = 0;
    std::vector<uint8_t> digits; // values
};

// One line through a record's locate and decode slots (no verify).
template <class Locate, class Decode>
EanRead ReadEanLine(const EdgeLine &line, Locate locate, Decode decode) {
    EanRead out;
    vexo::LINE_LOCATE_STATE st = LocateState(line);
    uint8_t buffer[vexo::kLineTextCapacity] = {};
    for (int budget = 0; budget < 64; ++budget) {
        if (locate(&st) != 1) break;
        ++out.candidates;
        st.found = 1;
        const uint16_t s = st.startIndex, e = st.endIndex;
        st.nextPos = static_cast<uint16_t>((s > e ? s : e) + 1);
        vexo::LINE_DECODE_CTX ctx = DecodeContext(st, buffer, sizeof buffer);
        const uint16_t count = decode(&ctx);
        if (count > 0) {
            out.count = count;
            out.direction = ctx.direction;
            out.digits.assign(buffer, buffer + count);
            break;
        }
    }
    return out;
}

inline std::string DigitText(const std::vector<uint8_t> &d) {
    std::string s;
    for (uint8_t v : d) s += static_cast<char>('0' + v);
    return s;
}

}  // namespace linetest
