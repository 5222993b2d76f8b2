// Module patterns of a few symbologies' start and stop characters and matchers that look
// for them at the edge the start/stop searches hand over, for the search tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace linetest {

// Code 39 '*' (ISO/IEC 16388) and the character '0'; an intercharacter gap of 1 module.
inline constexpr const char *kCode39Star = "131131311";
inline constexpr const char *kCode39Zero = "111331311";
// Interleaved 2 of 5 (ISO/IEC 16390): start, the digit pair "00", stop.
inline constexpr const char *kItfStart = "1111";
inline constexpr const char *kItfPair00 = "1111333311";
inline constexpr const char *kItfStop = "311";
// Code 128 (ISO/IEC 15417): Start B, the value 0, stop.
inline constexpr const char *kC128StartB = "211214";
inline constexpr const char *kC128Zero = "212222";
inline constexpr const char *kC128Stop = "2331112";

// Tables of minimum widths handed to the searches (the drivers' own values).
inline constexpr uint8_t kCode39Block[5] = {30, 30, 10, 28, 2};
inline constexpr uint8_t kItfBlock[8] = {14, 18, 10, 10, 6, 11, 3, 4};
inline constexpr uint8_t kIndustrialBlock[8] = {36, 42, 10, 30, 6, 18, 5, 6};

// Whether the elements from edge p[from] on have the module pattern (read in reverse when
// reversed), each within half a module of the pattern scaled to their total width.
inline bool HasPattern(const uint16_t *p, int from, const char *pattern, bool reversed) {
    const int n = static_cast<int>(std::strlen(pattern));
    int modules = 0;
    for (int i = 0; i < n; ++i) modules += pattern[i] - '0';
    const double total = static_cast<double>(p[from + n]) - p[from];
    if (total <= 0) return false;
    const double unit = total / modules;
    for (int i = 0; i < n; ++i) {
        const double w = static_cast<double>(p[from + i + 1]) - p[from + i];
        const int m = pattern[reversed ? n - 1 - i : i] - '0';
        if (std::fabs(w / unit - m) > 0.5) return false;
    }
    return true;
}

}  // namespace linetest
