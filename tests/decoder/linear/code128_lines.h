// Code 128 lines for the tests: module runs of value sequences written from the standard's
// patterns, and one line driven through the record's locate and decode slots with the
// decode context the table walk builds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/modules.h"
#include "linear/code128.h"
#include "edge_lists.h"
#include "record_lines.h"
#include "linear/line_driver.h"
#include "linear/line_types.h"

namespace linetest {

// The values with their mod-103 check value appended (start value first).
inline std::vector<uint8_t> WithCheck(std::vector<uint8_t> values) {
    uint32_t sum = values.empty() ? 0 : values[0];
    for (size_t i = 1; i < values.size(); ++i) sum += static_cast<uint32_t>(i) * values[i];
    values.push_back(static_cast<uint8_t>(sum % 103));
    return values;
}

// Module runs of the pattern of value v (the stop with its seven elements).
inline std::vector<int> PatternRuns(uint32_t pattern) {
    std::vector<int> runs;
    for (uint32_t p = pattern; p != 0; p >>= 4) runs.insert(runs.begin(), static_cast<int>(p & 0xF));
    return runs;
}

// Runs of a whole symbol: the values (start, data, check) and the stop.
inline std::vector<int> SymbolRuns(const std::vector<uint8_t> &values) {
    std::vector<int> runs;
    for (uint8_t v : values) {
        const std::vector<int> r = PatternRuns(vexo::kCode128Patterns[v]);
        runs.insert(runs.end(), r.begin(), r.end());
    }
    const std::vector<int> stop = PatternRuns(vexo::kCode128Patterns[vexo::kCode128Stop]);
    runs.insert(runs.end(), stop.begin(), stop.end());
    return runs;
}

// Values of a symbol read off its module runs with the standard's patterns (start, data,
// check; the stop left out). Empty when a character is not in the table.
inline std::vector<uint8_t> ValuesFromRuns(const std::vector<int> &runs) {
    std::vector<uint8_t> values;
    if (runs.size() < 13 || (runs.size() - 7) % 6 != 0) return {};
    for (size_t at = 0; at + 7 < runs.size(); at += 6) {
        uint32_t key = 0;
        for (size_t k = 0; k < 6; ++k) key = (key << 4) | static_cast<uint32_t>(runs[at + k]);
        int found = -1;
        for (int v = 0; v < vexo::kCode128Stop; ++v)
            if (vexo::kCode128Patterns[v] == key) found = v;
        if (found < 0) return {};
        values.push_back(static_cast<uint8_t>(found));
    }
    return values;
}

struct LineRead {
    int candidates = 0;        // locate answers of 1
    uint16_t count = 0;        // decode's answer
    std::vector<uint8_t> data; // count + 1 bytes (the check value last) when count > 0
};

// One line through locate and decode as the walk runs a record (without verify).
inline LineRead ReadCode128Line(const EdgeLine &line) {
    static constexpr vexo::LINE_SYMBOLOGY kCode128 = {.reset = nullptr,
                                                      .isEnabled = nullptr,
                                                      .locate = &vexo::Code128_Locate,
                                                      .decode = &vexo::Code128_Decode,
                                                      .verify = nullptr};
    const RecordRead r = ReadRecordLine(kCode128, line, 1);
    return LineRead{r.candidates, r.count, r.data};
}

// What the table walk made of one line.
struct WalkRead {
    int answer = 0;
    std::string text;
    std::string aim;
    uint16_t id = 0;
    uint16_t link = 0;
    int32_t codeType = 0;
    std::vector<uint8_t> attempts;
};

inline WalkRead WalkLine(EdgeLine &line) {
    WalkRead out;
    Install(line);
    out.answer = vexo::Line_DecodeEdgeLine();
    const uint8_t *data = vexo::Line_GetResultData();
    if (data != nullptr) out.text.assign(reinterpret_cast<const char *>(data), vexo::Line_GetResultLength());
    char aim[3];
    vexo::Line_WriteResultAimId(aim);
    out.aim.assign(aim, 3);
    out.id = vexo::Line_GetResultSymbology();
    out.link = vexo::Line_GetResultLinkFlag();
    out.codeType = vexo::Dec_GetLastSymbologyCode();
    uint8_t codes[vexo::kLineAttemptLimit];
    out.attempts.assign(codes, codes + vexo::Line_CopyAttemptCodes(codes));
    return out;
}

}  // namespace linetest
