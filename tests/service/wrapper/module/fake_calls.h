// Reading the fake decoder's record of calls ("12:L set 100101 752;...").
#pragma once

#include <string>

// The record with its sequence numbers removed: "L init;L set 100101 752;".
inline std::string plain_calls(const std::string &calls) {
    std::string out;
    bool skipping = true;
    for (char c : calls) {
        if (skipping) {
            if (c == ':') skipping = false;
            continue;
        }
        out += c;
        if (c == ';') skipping = true;
    }
    return out;
}
