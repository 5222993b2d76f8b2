// Data Matrix symbols made with libzint, as mapping matrices: the finder and timing lines of
// every region removed. The regions are found in the symbol itself (a solid line beside an
// alternating one), so that sizes outside the decoder's table (DMRE) come out too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/symbol.h"

namespace dmtest {

struct Mapping {
    int rows = 0;  // data modules
    int cols = 0;
    int regionRows = 1;  // regions stacked and side by side
    int regionCols = 1;
    std::vector<uint8_t> m;
};

namespace detail {

inline bool SolidColumn(const testkit::Symbol &s, int c) {
    for (int r = 0; r < s.rows; ++r) {
        if (!s.Dark(r, c)) return false;
    }
    return true;
}

inline bool AlternatingColumn(const testkit::Symbol &s, int c) {
    for (int r = 1; r < s.rows; ++r) {
        if (s.Dark(r, c) == s.Dark(r - 1, c)) return false;
    }
    return true;
}

inline bool SolidRow(const testkit::Symbol &s, int r) {
    for (int c = 0; c < s.cols; ++c) {
        if (!s.Dark(r, c)) return false;
    }
    return true;
}

inline bool AlternatingRow(const testkit::Symbol &s, int r) {
    for (int c = 1; c < s.cols; ++c) {
        if (s.Dark(r, c) == s.Dark(r, c - 1)) return false;
    }
    return true;
}

}  // namespace detail

inline Mapping MappingOf(const testkit::Symbol &s) {
    Mapping out;
    if (!s.ok || s.rows < 3 || s.cols < 3) return out;
    int q = s.cols;  // region width with its pattern lines
    for (int c = 2; c < s.cols; ++c) {
        if (detail::SolidColumn(s, c) && detail::AlternatingColumn(s, c - 1)) {
            q = c;
            break;
        }
    }
    int p = s.rows;
    for (int r = 0; r + 2 < s.rows; ++r) {
        if (detail::SolidRow(s, r) && detail::AlternatingRow(s, r + 1)) {
            p = r + 1;
            break;
        }
    }
    if (s.cols % q != 0 || s.rows % p != 0) return out;
    out.regionCols = s.cols / q;
    out.regionRows = s.rows / p;
    out.rows = out.regionRows * (p - 2);
    out.cols = out.regionCols * (q - 2);
    for (int r = 0; r < s.rows; ++r) {
        if (r % p == 0 || r % p == p - 1) continue;
        for (int c = 0; c < s.cols; ++c) {
            if (c % q == 0 || c % q == q - 1) continue;
            out.m.push_back(s.Dark(r, c) ? 1 : 0);
        }
    }
    return out;
}

// A Data Matrix ECC 200 symbol of the given size (libzint's option_2: 1-24 squares, 25-30
// rectangles, 31 and up DMRE), bytes as given.
inline testkit::Symbol DataMatrix(const std::string &data, int size = 0, int inputMode = DATA_MODE) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_DATAMATRIX;
    in.data = data;
    in.inputMode = inputMode;
    in.option2 = size;
    return testkit::Encode(in);
}

}  // namespace dmtest
