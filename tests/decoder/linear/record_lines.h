// One scan line through a record's locate and decode slots with the decode context the
// table walk builds, and edge lists held in arrays of exactly their size.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "edge_lists.h"
#include "core/state.h"
#include "linear/line_types.h"

namespace linetest {

// The line with its arrays cut to exactly their sizes, so that a read past either end is an
// overflow the address sanitizer reports.
inline EdgeLine Exact(EdgeLine line) {
    std::vector<uint16_t>(line.edges).swap(line.edges);
    std::vector<uint16_t>(line.widths).swap(line.widths);
    return line;
}

struct RecordRead {
    int candidates = 0;         // locate answers of 1
    uint16_t count = 0;         // decode's answer
    std::vector<uint8_t> data;  // the decoded values (and the extra bytes)
    int16_t direction = 0;
};

// One line through a record's locate and decode slots, candidate by candidate; data keeps
// the decoded values and `extra` bytes behind them.
inline RecordRead ReadRecordLine(const vexo::LINE_SYMBOLOGY &rec, const EdgeLine &line, int extra = 0) {
    RecordRead out;
    vexo::LINE_LOCATE_STATE st = LocateState(line);
    static uint8_t buffer[vexo::kLineTextCapacity];
    const uint32_t n = st.edgeCount;
    for (int budget = 0; budget < 64; ++budget) {
        if (rec.locate(&st) != 1) break;
        ++out.candidates;
        st.found = 1;
        const uint16_t s = st.startIndex;
        const uint16_t e = st.endIndex;
        if (s >= n || e >= n) break;
        st.nextPos = static_cast<uint16_t>((s > e ? s : e) + 1);
        vexo::LINE_DECODE_CTX ctx = DecodeContext(st, buffer, vexo::kLineTextCapacity);
        const uint16_t count = rec.decode(&ctx);
        if (count > 0) {
            out.count = count;
            out.data.assign(buffer, buffer + count + extra);
            out.direction = ctx.direction;
            break;
        }
    }
    return out;
}

// A decode context over the whole edge list, forward, as the walk builds one for a symbol
// that fills the line.
inline vexo::LINE_DECODE_CTX WholeLineContext(const EdgeLine &line, uint8_t *buffer, uint16_t capacity) {
    vexo::LINE_DECODE_CTX ctx{};
    ctx.direction = 1;
    ctx.data = buffer;
    ctx.capacity = capacity;
    ctx.edgesBase = line.edges.data();
    ctx.edges = line.edges.data();
    ctx.edgeCount = static_cast<uint16_t>(line.edges.size());
    ctx.elementCount = ctx.edgeCount;
    ctx.endIndex = static_cast<uint16_t>(ctx.edgeCount - 1);
    return ctx;
}

// Digit values of a string of ASCII digits.
inline std::vector<uint8_t> Digits(const std::string &s) {
    std::vector<uint8_t> d;
    for (char ch : s) d.push_back(static_cast<uint8_t>(ch - '0'));
    return d;
}

struct Verified {
    int answer;
    std::string text;
    std::string aim;
    uint8_t error;
    int32_t codeType;
    uint16_t id;
};

// A verify slot on the values, with what it reports.
inline Verified Verify(int (*verify)(vexo::LINE_DECODE_CTX *), const std::vector<uint8_t> &values) {
    static uint8_t buffer[vexo::kLineTextCapacity];
    std::copy(values.begin(), values.end(), buffer);
    vexo::LINE_DECODE_CTX ctx{};
    ctx.data = buffer;
    ctx.capacity = vexo::kLineTextCapacity;
    ctx.length = static_cast<uint16_t>(values.size());
    vexo::g_state.lastSymbologyCode = 0;
    Verified out{};
    out.answer = verify(&ctx);
    if (out.answer == 1) out.text.assign(reinterpret_cast<const char *>(buffer), ctx.length);
    out.aim = std::string("]") + ctx.aimLetter + ctx.aimModifier;
    out.error = ctx.errorCode;
    out.codeType = vexo::g_state.lastSymbologyCode;
    out.id = ctx.symbologyId;
    return out;
}

}  // namespace linetest
