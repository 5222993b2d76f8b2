// The PDF417 symbol characters and MicroPDF417 row address patterns, recovered from the
// module matrices of libzint symbols whose codewords follow from the public standards alone:
// numeric-compaction PDF417 symbols (length descriptor, 902, base-900 groups, padding and
// check words over GF(929)) and MicroPDF417 symbols of every size (RAP numbers from the
// variant table). The decoder's width tables are checked against this.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace testkit {

struct Pdf417Patterns {
    // Bar and space widths in modules: [cluster / 3][codeword][element].
    std::array<std::array<std::array<uint8_t, 8>, 929>, 3> codewords{};
    // [set][number - 1][element]; set 0 left/right, set 1 centre.
    std::array<std::array<std::array<uint8_t, 6>, 52>, 2> raps{};
};

// Fills *out from random numeric symbols (seeded) and MicroPDF417 symbols of all sizes.
// False with a description in *error on any contradiction or when a pattern stays unseen.
bool DerivePdf417Patterns(uint32_t seed, Pdf417Patterns *out, std::string *error);

}  // namespace testkit
