// The lines decode-image prints for each image.
//
// Text:  NAME: CODE TYPE (0xID) AIM TEXT      (AIM "-" when the library gave none)
//        NAME: no code
//        with --time, NAME is followed by " [1.234 ms]".
// JSON:  {"file":"NAME","decoded":true,"codeType":"QR Code","codeId":258,"aim":"]Q1","text":"..."}
//        {"file":"NAME","decoded":false}
//        with --time, a last member "timeMs":1.234.
// In text lines every byte of AIM and TEXT outside printable ASCII is written \xNN and a
// backslash \\; in JSON every byte of aim and text is one character U+0000-U+00FF.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "support/decoder_api.h"

namespace decode_image {

std::string FormatLine(std::string_view name, const testkit::DecodeResult &result, std::optional<double> timeMs);
std::string FormatJson(std::string_view name, const testkit::DecodeResult &result, std::optional<double> timeMs);

// A JSON string literal (quotes included); each byte becomes the character of that number.
std::string JsonString(std::string_view bytes);

}  // namespace decode_image
