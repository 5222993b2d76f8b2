// Hex and BCD conversions, the hex dump, time differences and platform identifiers.
#include <stdio.h>
#include <string.h>

#include "readercore.h"
#include "rt_log.h"

namespace {

bool is_hex_digit(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The digit value for ConverStrtoHex: 255 for anything that is not a hex digit.
uint8_t hex_value_or_255(uint8_t c) { return is_hex_digit(c) ? BCDToHEX(static_cast<char>(c)) : 255; }

const char *const kPlatformNames[] = {"Unknow", "MSM8X12_TX52", "MSM8909_TX07", "MT6735_TX52W"};
constexpr int kPlatformCount = static_cast<int>(sizeof kPlatformNames / sizeof kPlatformNames[0]);
static_assert(kPlatformCount == 4, "three platforms and the unknown one");

constexpr int kHexPerLine = 16;

}  // namespace

extern "C" uint8_t BCDToHEX(char c) {
    // By byte value, so that bytes above 0x7F convert alike wherever char is signed.
    uint8_t b = static_cast<uint8_t>(c);
    if (b >= '0' && b <= '9') return static_cast<uint8_t>(b - '0');
    if (b >= 'a' && b <= 'f') return static_cast<uint8_t>(b - 'a' + 10);
    if (b >= 'A' && b <= 'F') return static_cast<uint8_t>(b - 'A' + 10);
    if (b <= '/') return 0;
    return static_cast<uint8_t>(b - 48);
}

extern "C" int HEXToBCD(uint8_t b) { return (b & 0x0F) + 10 * (b >> 4); }

extern "C" uint8_t HEXHigh(uint8_t b) { return static_cast<uint8_t>(b >> 4); }

extern "C" uint8_t HEXLow(uint8_t b) { return static_cast<uint8_t>(b & 0x0F); }

extern "C" int StringToHex8Bit(char *text, uint8_t *out, int capacity) {
    if (text == nullptr || out == nullptr) return -1;
    int count = 0;
    char *save = nullptr;
    for (char *tok = strtok_r(text, "#", &save); tok != nullptr; tok = strtok_r(nullptr, "#", &save)) {
        if (count >= capacity) {
            rt_log(LOG_LEVEL_DETAIL, "%s output full [%d]", "StringToHex8Bit", capacity);
            return -1;
        }
        uint8_t first = BCDToHEX(tok[0]);
        if (is_hex_digit(static_cast<uint8_t>(tok[1])))
            out[count++] = static_cast<uint8_t>((first << 4) | BCDToHEX(tok[1]));
        else
            out[count++] = first;
    }
    return count;
}

extern "C" int64_t ConverStrtoHex(const char *text, int n) {
    if (text == nullptr) return 0;
    // Long texts overflow 64 bits: the sum wraps instead of being undefined.
    uint64_t value = 0;
    for (int i = 0; i < n && text[i] != '\0'; ++i) value = value * 16 + hex_value_or_255(static_cast<uint8_t>(text[i]));
    return static_cast<int64_t>(value);
}

extern "C" uint8_t searchcodeid(const uint8_t *table, int code) {
    if (table == nullptr) return 0xFF;
    uint8_t want = static_cast<uint8_t>(code & 0xFF);
    for (const uint8_t *pair = table; pair[0] != 0; pair += 2)
        if (pair[0] == want) return pair[1];
    return 0xFF;
}

extern "C" int get_platform_type(const char *identifier) {
    if (identifier == nullptr) return 0;
    for (int i = 1; i < kPlatformCount; ++i)
        if (strcmp(identifier, kPlatformNames[i]) == 0) return i;
    return 0;
}

extern "C" const char *get_platform_name(int type) {
    return type > 0 && type < kPlatformCount ? kPlatformNames[type] : kPlatformNames[0];
}

extern "C" int64_t time_subtract(const struct timeval *start, const struct timeval *end) {
    if (start == nullptr || end == nullptr) return 0;
    int64_t sec = static_cast<int64_t>(end->tv_sec) - static_cast<int64_t>(start->tv_sec);
    int64_t usec = static_cast<int64_t>(end->tv_usec) - static_cast<int64_t>(start->tv_usec);
    if (usec < 0) {
        sec -= 1;
        usec += 1000000;
    }
    if (sec < 0) return 0;
    return sec * 1000000 + usec;
}

extern "C" void LogPrintHex(const char *title, const uint8_t *bytes, int length) {
    if (title == nullptr || bytes == nullptr || length < 0) return;
    if ((log_get_level() & LOG_LEVEL_OPER) == 0) return;
    rt_log(LOG_LEVEL_OPER, "%s (%d Bytes)", title, length);
    char line[128];
    int used = 0;
    for (int i = 0; i < length; ++i) {
        int col = i % kHexPerLine;
        if (col == 0) used = snprintf(line, sizeof line, "%08X: ", static_cast<unsigned>(i));
        if (col == kHexPerLine / 2) used += snprintf(line + used, sizeof line - static_cast<size_t>(used), "- ");
        used += snprintf(line + used, sizeof line - static_cast<size_t>(used), "%02X ", bytes[i]);
        if (col == kHexPerLine - 1) rt_log(LOG_LEVEL_OPER, "%s", line);
    }
    if (length % kHexPerLine != 0) rt_log(LOG_LEVEL_OPER, "%s", line);
}
