// The runtime's text-to-bytes conversions on any text: StringToHex8Bit never writes past
// the capacity it is given and counts exactly the '#'-separated tokens; ConverStrtoHex
// agrees with a plain digit-by-digit sum.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "readercore.h"

namespace {

int count_tokens(const std::string &text) {
    int count = 0;
    bool in_token = false;
    for (char c : text) {
        if (c == '#') {
            in_token = false;
        } else if (!in_token) {
            in_token = true;
            ++count;
        }
    }
    return count;
}

uint64_t reference_hex(const std::string &text, int n) {
    uint64_t value = 0;
    for (int i = 0; i < n && i < static_cast<int>(text.size()) && text[static_cast<size_t>(i)] != '\0'; ++i) {
        uint8_t c = static_cast<uint8_t>(text[static_cast<size_t>(i)]);
        uint64_t digit = 255;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10u;
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10u;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const int capacity = data[0] % 40;
    const int n = static_cast<int8_t>(data[1]);
    std::string text(reinterpret_cast<const char *>(data + 2), size - 2);
    std::string cut = text.substr(0, text.find('\0'));

    constexpr uint8_t kCanary = 0xA5;
    std::vector<uint8_t> out(static_cast<size_t>(capacity) + 16, kCanary);
    std::vector<char> buf(cut.begin(), cut.end());
    buf.push_back('\0');
    int got = StringToHex8Bit(buf.data(), out.data(), capacity);
    int tokens = count_tokens(cut);
    int want = tokens <= capacity ? tokens : -1;
    if (got != want) __builtin_trap();
    for (size_t i = static_cast<size_t>(capacity); i < out.size(); ++i)
        if (out[i] != kCanary) __builtin_trap();

    if (ConverStrtoHex(text.c_str(), n) != static_cast<int64_t>(reference_hex(text, n))) __builtin_trap();
    return 0;
}
