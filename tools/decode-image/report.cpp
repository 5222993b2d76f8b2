#include "report.h"

#include <cstdio>

namespace decode_image {

namespace {

std::string Millis(double ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", ms);
    return buf;
}

}  // namespace

std::string FormatLine(std::string_view name, const testkit::DecodeResult &r, std::optional<double> timeMs) {
    std::string line(name);
    if (timeMs) line += " [" + Millis(*timeMs) + " ms]";
    line += ": ";
    if (!r.decoded) return line + "no code";
    line += testkit::CodeTypeLabel(r.codeId);
    line += ' ';
    line += r.aim.empty() ? std::string("-") : testkit::EscapeBytes(r.aim);
    line += ' ';
    line += testkit::EscapeBytes(r.text);
    return line;
}

std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    for (char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += static_cast<char>(b);
        } else if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04X", b);
            out += esc;
        }
    }
    return out + "\"";
}

std::string FormatJson(std::string_view name, const testkit::DecodeResult &r, std::optional<double> timeMs) {
    std::string json = "{\"file\":" + JsonString(name) + ",\"decoded\":" + (r.decoded ? "true" : "false");
    if (r.decoded) {
        json += ",\"codeType\":" + JsonString(testkit::CodeTypeName(r.codeId));
        json += ",\"codeId\":" + std::to_string(r.codeId);
        json += ",\"aim\":" + JsonString(r.aim);
        json += ",\"text\":" + JsonString(r.text);
    }
    if (timeMs) json += ",\"timeMs\":" + Millis(*timeMs);
    return json + "}";
}

}  // namespace decode_image
