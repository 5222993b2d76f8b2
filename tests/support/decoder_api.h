// Running frames through the decoder library's exported interface, the way the scanner
// runtime does: through six functions bound by name (or linked), Init once, then per frame
// Set width, height and pixels, Decode, and on success Get the code id and the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/frame.h"
#include "vexo3.h"

namespace testkit {

// The exported functions, however they were found.
struct DecoderApi {
    VexoDecInitFn init = nullptr;
    VexoDecSetFn set = nullptr;
    VexoDecGetFn get = nullptr;
    VexoDecDecodeFn decode = nullptr;
    VexoDecTsiFn tsi = nullptr;
    VexoConnectInitFn connectInit = nullptr;
};

struct DecodeResult {
    bool decoded = false;
    uint32_t codeId = 0;
    std::string text;  // the decoded bytes, without the identifier
    std::string aim;   // the three-byte symbology identifier ("]Q1"); empty when unknown
    double decodeMs = 0;  // wall time of the Decode call alone
};

// Property groups of every symbology: the linear groups 0x10000-0x11D00 and the 2D groups
// 0x20100-0x20900. Sub-id 0 of each is its enable switch.
const std::vector<uint32_t> &SymbologyGroups();

// Set sub-id 0 of every group to on. Answers how many Sets the library accepted.
int EnableAllSymbologies(const DecoderApi &api);

// Biggest text read back; the decoder's longest symbols hold well under this.
inline constexpr uint32_t kMaxResultText = 1u << 16;

// One frame, without Init: (optionally) every symbology enabled, the identifier prefix on,
// width, height, pixels, Decode, then the code id and the text. The identifier is taken
// from the text's first three bytes only when the library accepted the prefix option.
DecodeResult RunFrame(const DecoderApi &api, const uint8_t *pixels, int width, int height,
                      bool enableAll = true);
inline DecodeResult RunFrame(const DecoderApi &api, const Frame &frame, bool enableAll = true) {
    return RunFrame(api, frame.pixels.data(), frame.width, frame.height, enableAll);
}

// Name of a code id: "QR Code", "EAN-13", ...; "Unknown" for ids without one.
std::string_view CodeTypeName(uint32_t codeId);
// "QR Code (0x102)".
std::string CodeTypeLabel(uint32_t codeId);

// Printable ASCII stays, backslash becomes "\\", every other byte "\xNN" (upper-case hex).
std::string EscapeBytes(std::string_view bytes);

}  // namespace testkit
