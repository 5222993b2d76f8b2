// The GT5170 engine's query packets and the parser of its query replies.
#include "gt5170_query.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>


namespace {

constexpr int kHeader = 4;      // 0x02, 0x00, L high, L low
constexpr int kValueBase = 5;   // setting values are counted from here
constexpr int kHexWidth = 4;    // an 'F' value: four digits of a 16-bit number

// An upper-case hexadecimal digit's value, -1 for any other byte.
int upper_hex(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A hexadecimal digit of either case, -1 for any other character.
int any_hex(char c) {
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return upper_hex(static_cast<uint8_t>(c));
}

// The reply's data ends at 4 + L; every value offset must lie before it.
bool inside_data(const uint8_t *reply, int offset, int width) {
    const int end = kHeader + (reply[2] << 8 | reply[3]);
    return offset >= kValueBase && offset + width <= end;
}

} // namespace

uint8_t gt5170_lrc(const uint8_t *bytes, int n) {
    uint8_t lrc = 0xFF;
    for (int i = 0; bytes != nullptr && i < n; ++i) lrc ^= bytes[i];
    return lrc;
}

int gt5170_query_packet(const char *text, uint8_t *out, int capacity) {
    if (text == nullptr || out == nullptr || capacity < 1) return -1;
    int n = 0;
    for (const char *p = text; p[0] != '\0'; p += 2) {
        const int hi = any_hex(p[0]), lo = any_hex(p[1]);
        if (hi < 0 || lo < 0 || n >= capacity - 1) return -1;
        out[n++] = static_cast<uint8_t>(hi * 16 + lo);
    }
    // The check byte covers bytes 2 to 3 + byte 3: they must all be in the text.
    if (n < kHeader || n < kHeader + out[3]) return -1;
    out[n] = gt5170_lrc(out + 2, out[3] + 2);
    return n + 1;
}

int gt5170_reply_check(const uint8_t *reply, int count) {
    if (reply == nullptr || count < kHeader + 1 || reply[0] != 0x02 || reply[1] != 0x00) return -1;
    const int length = reply[2] << 8 | reply[3];
    if (kHeader + length >= count) return -1;
    return reply[kHeader + length] == gt5170_lrc(reply + 2, length + 2) ? length : -1;
}

int gt5170_reply_value(const uint8_t *reply, int count, const char *code, const char *param, const char *attr,
                       char *out, int size) {
    if (gt5170_reply_check(reply, count) < 0 || code == nullptr || param == nullptr || attr == nullptr ||
        out == nullptr || size < 8)
        return -1;
    if (attr[0] == 'F') {
        const int p = atoi(attr + 1) / 10;
        if (p < 0 || !inside_data(reply, p + kValueBase, kHexWidth)) return -1;
        int value = 0;
        for (int i = 0; i < kHexWidth; ++i) {
            int d = upper_hex(reply[p + kValueBase + i]);
            if (d < 0) return -1;
            value = value * 16 + d;
        }
        snprintf(out, static_cast<size_t>(size), "%d", value);
        return 0;
    }
    int mask = 1, n;
    if (attr[0] == 'T') {
        mask = 7;
        n = atoi(attr + 1);
    } else if (attr[0] == 'D') {
        mask = 3;
        n = atoi(attr + 1);
    } else {
        n = atoi(attr);
    }
    if (n < 0 || !inside_data(reply, n / 10 + kValueBase, 1)) return -1;
    const uint8_t byte = reply[n / 10 + kValueBase];
    const int value = strcmp(param, "Enable") == 0 ? byte : upper_hex(byte);
    if (value < 0) return -1;
    int v = (value >> (n % 10)) & mask;
    if (v == 1 && strcmp(code, "MATRIX25") == 0 && strcmp(param, "CheckChar") == 0) v = 0;
    out[0] = static_cast<char>('0' + v);
    out[1] = '\0';
    return 0;
}
