// Data Matrix ECC 000-140 symbols written by the encoding procedure of ISO/IEC 16022 (the
// older, convolutionally coded family, which libzint does not write). The placement grids
// and the master random bit stream are read from the data files in tests/support/data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

// Levels 0 .. 4: ECC 000, 050, 080, 100, 140. Formats 0 .. 5: base 11, 27, 41, 37, 7-bit
// ASCII, 8-bit bytes.
struct Ecc000Grids {
    std::vector<std::vector<int>> grid;  // by (side - 7) / 2, side n: n x n entries
    std::vector<uint8_t> random;         // 277 bytes
    bool ok = false;
};
// Loaded once from the data files.
const Ecc000Grids &Ecc000Data();

// CRC-16 of a message as the symbol carries it.
uint16_t Ecc000Crc(int format, const std::string &text);
// The record: format id, CRC, count and the packed characters; empty when a character is
// outside the format's alphabet or the text is longer than 511.
std::vector<uint8_t> Ecc000Record(int format, const std::string &text);
// The record coded at a level (1 .. 4), padded to whole steps and flushed.
std::vector<uint8_t> Ecc000Convolve(int level, const std::vector<uint8_t> &record);
// The n x n stream (header, message, zero trailer), not randomised; empty when it does
// not fit a data area of side n.
std::vector<uint8_t> Ecc000Stream(int level, int format, const std::string &text, int n);
// The data area (n x n modules, row-major, 1 dark), empty when it does not fit.
std::vector<uint8_t> Ecc000DataArea(int level, int format, const std::string &text, int n);
// The whole symbol, (n + 2) x (n + 2) modules, with its finder L and alternating edges.
std::vector<uint8_t> Ecc000SymbolModules(int level, int format, const std::string &text, int n);
// The largest character count of the format that fits side n at the level, -1 for none.
int Ecc000Capacity(int level, int format, int n);

}  // namespace testkit
