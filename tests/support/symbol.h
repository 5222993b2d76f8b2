// Symbols made with libzint, held as geometry in module units for the renderer.
//
// Symbol space: x to the right and y down, in modules (X dimensions), (0, 0) at the top-left
// corner of the symbol without its quiet zone. Square-module symbologies are a matrix of
// rows x cols modules; row r spans y in [rowTop[r], rowTop[r + 1]) (linear and stacked
// symbols have rows taller than one module). MaxiCode is hexagons on offset rows plus the
// bullseye rings, taken from libzint's vector output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <zint.h>

namespace testkit {

struct Point {
    double x = 0;
    double y = 0;
};

// What to encode. symbology is a libzint BARCODE_* number; the option fields go to the
// zint_symbol fields of the same names (see libzint's manual for their meaning per
// symbology).
struct SymbolInput {
    int symbology = BARCODE_QRCODE;
    std::string data;          // bytes, passed with their length (NULs allowed)
    int inputMode = DATA_MODE; // or UNICODE_MODE, GS1_MODE, ESCAPE_MODE...
    int option1 = -1;
    int option2 = 0;
    int option3 = 0;
    int eci = 0;
    std::string primary;       // MaxiCode primary message, composite linear part
    float height = 0;          // bar height of linear symbols in modules; 0: libzint's default
    int structAppIndex = 0;    // structured append position (1-based) and count; 0: none
    int structAppCount = 0;
    std::string structAppId;   // libzint's structured-append id text; empty: none
    int outputOptions = 0;     // ORed into libzint's output_options (READER_INIT...)
};

struct Symbol {
    bool ok = false;
    std::string error;         // libzint's message when !ok (or its warning when ok)
    int symbology = 0;
    int rows = 0;
    int cols = 0;
    std::vector<uint8_t> modules;  // rows * cols, 1 = dark
    std::vector<double> rowTop;    // rows + 1 entries
    double width = 0;              // extent in modules
    double height = 0;

    // MaxiCode only.
    bool hexagonal = false;
    double hexRadius = 0;          // circumradius of a hexagon, in modules
    Point bullseye;                // centre of the rings
    struct Ring {
        double inner, outer;       // radii in modules of a dark ring
    };
    std::vector<Ring> rings;

    bool Dark(int row, int col) const {
        return modules[static_cast<size_t>(row) * static_cast<size_t>(cols) + static_cast<size_t>(col)] != 0;
    }
    // Centre of module (row, col) in symbol space (hexagon centre for MaxiCode).
    Point ModuleCentre(int row, int col) const;
    // Whether the symbol's ink covers the point p of symbol space.
    bool DarkAt(Point p) const;
};

Symbol Encode(const SymbolInput &input);
// A square-module symbol a test built itself: rows x cols modules, row by row, non-zero dark
// (not ok when the sizes do not match).
Symbol FromModules(int rows, int cols, const std::vector<uint8_t> &modules);
// Shorthand for the common case.
Symbol Encode(int symbology, const std::string &data);

// unit repeated and cut to n bytes.
std::string Repeat(const std::string &unit, size_t n);
// The longest repetition of unit, up to maxLength bytes, that make encodes (found by halving,
// so make must succeed for every length below one it succeeds for): the symbol, its data in
// *data; a symbol that is not ok and "" when none fits.
Symbol LongestRepeat(const std::string &unit, size_t maxLength,
                     const std::function<Symbol(const std::string &)> &make, std::string *data);

}  // namespace testkit
