// Code 39, Code 32 and Code 93 below the libzint level: verify on value strings, the full
// ASCII tables, the check characters, and the confirmation of reads that a character made
// unclean, on lines drawn from the standards' patterns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/params.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "linear/code39.h"
#include "linear/code93.h"
#include "linear/codabar.h"
#include "linear/line_table.h"
#include "linear/line_toolkit.h"
#include "linear/two_of_five.h"
#include "linear/width_reader.h"
#include "width_lines.h"

namespace {

using namespace vexo;
using namespace linetest;

constexpr uint32_t kLengths = 1u | (255u << 8);

uint8_t Value39(char ch) { return static_cast<uint8_t>(std::string(kCode39Chars).find(ch)); }

std::vector<uint8_t> Values39(const std::string &text) {
    std::vector<uint8_t> v;
    for (char ch : text) v.push_back(Value39(ch));
    return v;
}

TEST(Code39Verify, CheckStripAndFullAscii) {
    constexpr uint32_t V = kFlagVerifyCheck, T = kFlagTransmitCheck, S = kFlagStripStartStop, F = kFlagCode39FullAscii;
    struct Row {
        const char *what;
        std::string symbol;  // values as characters, '*' the start and stop
        uint32_t flags;
        int answer;
        std::string text;
        const char *aim;
        uint8_t error;
        int32_t codeType;
    };
    const Row rows[] = {
        {"no room for a check character", "*A*", V, 0, "", "]A0", 11, 0},
        {"check Y of A, B, D", "*ABDY*", V | T, 1, "*ABDY*", "]A1", 0, 22},
        {"wrong check 7", "*ABD7*", V | T, 0, "", "]A0", 11, 0},
        {"check dropped", "*ABDY*", V, 1, "*ABD*", "]A3", 0, 22},
        {"check dropped, asterisks stripped", "*ABDY*", V | S, 1, "ABD", "]A3", 0, 22},
        {"no check asked", "*ABD7*", 0, 1, "*ABD7*", "]A0", 0, 22},
        {"asterisks stripped", "*ABD7*", S, 1, "ABD7", "]A0", 0, 22},
        {"full ASCII pairs", "*+A+B*", S | F, 1, "ab", "]A4", 0, 23},
        {"full ASCII, check transmitted", "*+A+BH*", S | F | V | T, 1, "abH", "]A5", 0, 23},
        {"full ASCII, check dropped", "*+A+BH*", S | F | V, 1, "ab", "]A7", 0, 23},
        {"full ASCII without pairs", "*PLAIN*", S | F, 1, "PLAIN", "]A0", 0, 23},
        {"%U a zero byte", "*%U1*", S | F, 1, std::string("\0" "1", 2), "]A4", 0, 23},
        {"a shift before a non-letter stays", "*$1/M*", S | F, 1, "$1/M", "]A0", 0, 23},
        {"a text of two values", "**", 0, 0, "", "]X0", 0, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        g_params.flagsWord[kSymCode39] = kLengths | kFlagEnabled | r.flags;
        const Verified v = Verify(&Code39_Verify, Values39(r.symbol));
        EXPECT_EQ(v.answer, r.answer);
        EXPECT_EQ(v.error, r.error);
        if (r.answer == 1) {
            EXPECT_EQ(v.text, r.text);
            EXPECT_EQ(v.aim, r.aim);
            EXPECT_EQ(v.codeType, r.codeType);
            EXPECT_EQ(v.id, kSymCode39);
        }
    }
    // The length limits apply to the text as transmitted.
    g_params.flagsWord[kSymCode39] = 5u | (255u << 8) | kFlagStripStartStop;
    EXPECT_EQ(Verify(&Code39_Verify, Values39("*ABCD*")).error, 2);
    EXPECT_EQ(Verify(&Code39_Verify, Values39("*ABCDE*")).answer, 1);
}

// Full ASCII Code 39 (ISO/IEC 16388, annex on full ASCII): the pair of every byte 0-127.
std::string FullAsciiPair(int c) {
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (c == 0) return "%U";
    if (c <= 26) return std::string("$") + letters[c - 1];
    if (c <= 31) return std::string("%") + letters[c - 27];
    if (c == ' ' || c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) return std::string(1, char(c));
    if (c >= '!' && c <= ',') return std::string("/") + letters[c - '!'];
    if (c == '/') return "/O";
    if (c == ':') return "/Z";
    if (c >= ';' && c <= '?') return std::string("%") + letters[5 + c - ';'];
    if (c == '@') return "%V";
    if (c >= '[' && c <= '_') return std::string("%") + letters[10 + c - '['];
    if (c == '`') return "%W";
    if (c >= 'a' && c <= 'z') return std::string("+") + letters[c - 'a'];
    return std::string("%") + letters[15 + c - '{'];  // { | } ~ DEL: %P to %T
}

TEST(Code39Verify, FullAsciiOfEveryByte) {
    std::string all, expected;
    for (int c = 0; c < 128; ++c) {
        std::string pair = FullAsciiPair(c);
        all += pair;
        expected += static_cast<char>(c);
        const uint16_t n = Code39_ExpandFullAscii(reinterpret_cast<uint8_t *>(pair.data()), static_cast<uint16_t>(pair.size()));
        EXPECT_EQ(n, 1) << c;
        EXPECT_EQ(static_cast<uint8_t>(pair[0]), c);
    }
    std::vector<uint8_t> bytes(all.begin(), all.end());
    const uint16_t n = Code39_ExpandFullAscii(bytes.data(), static_cast<uint16_t>(bytes.size()));
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + n), expected);
    for (const char *alias : {"%X", "%Y", "%Z"}) {
        std::string s = alias;
        EXPECT_EQ(Code39_ExpandFullAscii(reinterpret_cast<uint8_t *>(s.data()), 2), 1);
        EXPECT_EQ(s[0], 0x7F);
    }
}

// The base-32 characters of a nine-digit Code 32 number, start and stop around them.
std::vector<uint8_t> Code32Values(uint32_t number) {
    const std::string alphabet = "0123456789BCDFGHJKLMNPQRSTUVWXYZ";
    std::string chars;
    for (int k = 0; k < 6; ++k, number /= 32) chars.insert(chars.begin(), alphabet[number % 32]);
    return Values39("*" + chars + "*");
}

uint32_t WithCheckDigit(uint32_t eight) {
    int sum = 0;
    uint32_t n = eight;
    for (int k = 7; k >= 0; --k, n /= 10) {
        const int d = static_cast<int>(n % 10);
        sum += k % 2 == 0 ? d : (2 * d) / 10 + (2 * d) % 10;
    }
    return eight * 10 + static_cast<uint32_t>(sum % 10);
}

TEST(Code39Verify, Code32) {
    const uint32_t number = WithCheckDigit(12345678);
    ASSERT_EQ(number, 123456788u);  // 1 + 3 + 5 + 7 + s(4) + s(8) + s(12) + s(16) = 38
    constexpr uint32_t C = kFlagCode32Convert;
    struct Row {
        const char *what;
        std::vector<uint8_t> values;
        uint32_t flags;
        std::string text;
        const char *aim;
        int32_t codeType;
    };
    const Row rows[] = {
        {"plain", Code32Values(number), C, "12345678", "]X0", 47},
        {"asterisks", Code32Values(number), C | kFlagCode32Asterisks, "*12345678*", "]X0", 47},
        {"check digit", Code32Values(number), C | kFlagCode32CheckDigit, "123456788", "]X0", 47},
        {"leading A", Code32Values(number), C | kFlagCode32LeadingA, "A12345678", "]X0", 47},
        {"all three", Code32Values(number), C | kFlagCode32LeadingA | kFlagCode32Asterisks | kFlagCode32CheckDigit,
         "*A123456788*", "]X0", 47},
        {"leading zeros", Code32Values(WithCheckDigit(42)), C, "00000042", "]X0", 47},
        {"wrong check digit", Code32Values(number + 1), C, "", "]A0", 22},
        {"1,000,000,000 and above", Code32Values(1000000000u), C, "", "]A0", 22},
        {"conversion off", Code32Values(number), 0, "", "]A0", 22},
        {"a letter A is no base-32 digit", Values39("*3A4B5C*"), C, "*3A4B5C*", "]A0", 22},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        g_params.flagsWord[kSymCode39] = kLengths | r.flags;
        const Verified v = Verify(&Code39_Verify, r.values);
        ASSERT_EQ(v.answer, 1);
        std::string text = r.text;
        if (text.empty())
            for (uint8_t value : r.values) text += kCode39Chars[value];
        EXPECT_EQ(v.text, text);
        EXPECT_EQ(v.aim, r.aim);
        EXPECT_EQ(v.codeType, r.codeType);
        EXPECT_EQ(v.id, kSymCode39);
    }
    // With the check character verified no conversion is tried.
    g_params.flagsWord[kSymCode39] = kLengths | C | kFlagVerifyCheck | kFlagTransmitCheck;
    const Verified v = Verify(&Code39_Verify, Code32Values(number));
    EXPECT_NE(v.aim, "]X0");
    EXPECT_NE(v.codeType, 47);
    const uint8_t digits[9] = {1, 2, 3, 4, 5, 6, 7, 8, 8};
    EXPECT_EQ(Code32_CheckDigitOk(digits), 1);
}

TEST(Code93Verify, CheckCharactersAndText) {
    uint32_t seed = 7;
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> data;
        const int n = 1 + round % 40;
        for (int k = 0; k < n; ++k) data.push_back(static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16) % 47);
        const std::vector<uint8_t> v = WithChecks93(data);
        EXPECT_EQ(Code93_CheckCharsOk(v.data(), static_cast<uint16_t>(v.size())), 1);
        std::vector<uint8_t> wrong = v;
        wrong[round % wrong.size()] = static_cast<uint8_t>((wrong[round % wrong.size()] + 1) % 47);
        EXPECT_EQ(Code93_CheckCharsOk(wrong.data(), static_cast<uint16_t>(wrong.size())), 0);
    }
    // A data string whose first check value is a shift and whose second is a letter.
    std::vector<uint8_t> shifted;
    for (uint8_t a = 0; a < 43 && shifted.empty(); ++a)
        for (uint8_t b = 0; b < 43 && shifted.empty(); ++b) {
            const std::vector<uint8_t> v = WithChecks93({a, b});
            if (v[2] >= 43 && v[3] >= 10 && v[3] <= 35) shifted = v;
        }
    ASSERT_FALSE(shifted.empty());
    const std::vector<uint8_t> hello = WithChecks93({17, 14, 21, 21, 24, 44, 5});  // HELLO (%)5
    struct Row {
        const char *what;
        std::vector<uint8_t> values;
        uint32_t flags;
        int answer;
        uint8_t error;
        size_t length;
    };
    const Row rows[] = {
        {"checks verified, not sent", hello, kFlagVerifyCheck, 1, 0, 6},
        {"checks sent as text", hello, kFlagVerifyCheck | kFlagTransmitCheck, 1, 0, 8},
        {"a wrong check", WithChecks93({17, 14, 21, 21, 25}), kFlagVerifyCheck, 1, 0, 5},
        {"a value above 46", {17, 50, 3, 4}, kFlagVerifyCheck, 0, 11, 0},
        {"checks not verified", {17, 14, 1, 2}, 0, 1, 0, 2},
        {"too short", {17, 14}, 0, 0, 0, 0},
        {"a check value as a shift", shifted, kFlagVerifyCheck | kFlagTransmitCheck, 1, 0, 3},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        g_params.flagsWord[kSymCode93] = kLengths | r.flags;
        std::vector<uint8_t> values = r.values;
        if (std::string(r.what) == "a wrong check") values.back() = static_cast<uint8_t>((values.back() + 1) % 47);
        const Verified v = Verify(&Code93_Verify, values);
        if (std::string(r.what) == "a wrong check") {
            EXPECT_EQ(v.answer, 0);
            EXPECT_EQ(v.error, 11);
            continue;
        }
        EXPECT_EQ(v.answer, r.answer);
        EXPECT_EQ(v.error, r.error);
        if (r.answer != 1) continue;
        EXPECT_EQ(v.text.size(), r.length);
        EXPECT_EQ(v.aim, "]G0");
        EXPECT_EQ(v.codeType, 24);
        EXPECT_EQ(v.id, kSymCode93);
    }
    g_params.flagsWord[kSymCode93] = kLengths | kFlagVerifyCheck;
    EXPECT_EQ(Verify(&Code93_Verify, hello).text, "HELLO5");  // (%) before a digit is dropped
    g_params.flagsWord[kSymCode93] = kLengths | kFlagVerifyCheck | kFlagTransmitCheck;
    const Verified s = Verify(&Code93_Verify, shifted);
    EXPECT_EQ(s.text.substr(0, 2), std::string(1, kCode39Chars[shifted[0]]) + kCode39Chars[shifted[1]]);
    std::vector<uint8_t> pair = {shifted[2], shifted[3]};
    EXPECT_EQ(Code93_ExpandText(pair.data(), 2), 1);
    EXPECT_EQ(s.text[2], static_cast<char>(pair[0]));
}

TEST(Code93Verify, ShiftTable) {
    struct Row {
        uint8_t shift;
        char letter;
        int byte;
    };
    const Row rows[] = {
        {43, 'A', 0x01}, {43, 'Z', 0x1A}, {44, 'A', 0x1B}, {44, 'E', 0x1F}, {44, 'F', ';'}, {44, 'J', '?'},
        {44, 'K', '['},  {44, 'O', '_'},  {44, 'P', '{'},  {44, 'T', 0x7F}, {44, 'U', 0x00}, {44, 'V', '@'},
        {44, 'W', '`'},  {44, 'X', 0x7F}, {44, 'Z', 0x7F}, {45, 'A', '!'},  {45, 'O', '/'},  {45, 'Z', ':'},
        {46, 'A', 'a'},  {46, 'Z', 'z'},
    };
    for (const Row &r : rows) {
        uint8_t v[2] = {r.shift, Value39(r.letter)};
        EXPECT_EQ(Code93_ExpandText(v, 2), 1);
        EXPECT_EQ(v[0], r.byte) << int(r.shift) << r.letter;
    }
    uint8_t tail[2] = {5, 46};  // a shift at the end is dropped
    EXPECT_EQ(Code93_ExpandText(tail, 2), 1);
    uint8_t bad[2] = {5, 47};
    EXPECT_EQ(Code93_ExpandText(bad, 2), 0);
}

// Three samples a narrow element of `unit` run units, quiet zones of ten (or `quiet`).
EdgeLineOptions Drawn(int unit, double quiet = 10) {
    return {.moduleSamples = 3.0 / unit, .quietBefore = quiet * unit, .quietAfter = quiet * unit};
}

// Lines with one element widened step by step until the record reads the symbol only by
// its looser rules: the read then waits for confirmation. Answers the line, empty if none.
template <class MakeRuns>
EdgeLine FindUncleanLine(const LINE_SYMBOLOGY &rec, MakeRuns makeRuns, size_t element, int unit, double quiet = 10) {
    for (int delta = 1; delta < 6 * unit; ++delta) {
        std::vector<int> runs = makeRuns();
        if (element >= runs.size()) return {};
        runs[element] += delta;
        EdgeLine line = Exact(MakeEdgeLine(runs, Drawn(unit, quiet)));
        rec.reset();
        lineMultiReadFlags = 0;
        const RecordRead r = ReadRecordLine(rec, line);
        if (r.count == 0 && (lineMultiReadFlags & kMultiReadPending) != 0) return line;
    }
    return {};
}

TEST(LinearConfirmation, Code39UncleanReadOnItsFourthSighting) {
    Test_ResetDecoderStatics();
    const std::vector<uint8_t> values = Values39("*CODE39*");
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[kLineRecCode39];
    // A narrow space of the third character widened towards a wide one.
    const EdgeLine line = FindUncleanLine(rec, [&] { return Code39Runs(values, 8, 24); }, 2 * 10 + 3, 8);
    ASSERT_FALSE(line.edges.empty());
    for (int sighting = 2; sighting <= 4; ++sighting) {
        const RecordRead r = ReadRecordLine(rec, line);
        SCOPED_TRACE(sighting);
        if (sighting < 4) {
            EXPECT_EQ(r.count, 0);
            EXPECT_NE(lineMultiReadFlags & kMultiReadPending, 0);
        } else {
            EXPECT_EQ(r.data, values);
            EXPECT_EQ(lineMultiReadFlags & (kMultiReadPending | kMultiReadConfirmed), kMultiReadConfirmed);
        }
    }
    // A clean read of the same symbol is delivered at once.
    Code39_Reset();
    EXPECT_EQ(ReadRecordLine(rec, Exact(MakeEdgeLine(Code39Runs(values, 8, 24), Drawn(8)))).data,
              values);
    Test_ResetDecoderStatics();
}

TEST(LinearConfirmation, Code93UncleanReadOnItsFourthOrSecondSighting) {
    const std::vector<uint8_t> data = {12, 24, 13, 14, 38, 9, 3};  // CODE 93
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[kLineRecCode93];
    for (const bool checked : {true, false}) {
        SCOPED_TRACE(checked ? "checked" : "unchecked");
        Test_ResetDecoderStatics();
        Par_InstallDefaults();
        if (!checked) g_params.flagsWord[kSymCode93] &= ~kFlagVerifyCheck;
        // The second bar of the third data character widened.
        const EdgeLine line = FindUncleanLine(rec, [&] { return Code93Runs(data, 8); }, 6 * 3 + 2, 8);
        ASSERT_FALSE(line.edges.empty());
        const int needed = checked ? 4 : 2;
        for (int sighting = 2; sighting <= needed; ++sighting) {
            const RecordRead r = ReadRecordLine(rec, line);
            SCOPED_TRACE(sighting);
            if (sighting < needed) {
                EXPECT_EQ(r.count, 0);
            } else {
                EXPECT_EQ(r.data, WithChecks93(data));
                EXPECT_EQ(lineMultiReadFlags & kMultiReadPending, 0);
            }
        }
    }
    Test_ResetDecoderStatics();
}

TEST(LinearConfirmation, TwoWidthRecordsReadUncleanOnTheirFourthSighting) {
    std::vector<int32_t> codabarKeys;
    const std::vector<uint8_t> codabar = {16, 3, 7, 8, 5, 9, 17};
    for (uint8_t v : codabar) codabarKeys.push_back(kCodabarKeys[v]);
    struct Row {
        const char *what;
        int record;
        std::vector<int> runs;
        size_t element;  // a narrow element of an inner character, widened
        std::vector<uint8_t> values;
    };
    const std::vector<uint8_t> digits = {3, 1, 4, 1, 5, 9, 2, 6};
    // Matrix 2 of 5 (start and stop bars four modules), variant B and Industrial; IATA has a
    // test of its own (below).
    auto sixes = [&](const std::vector<int> &start, const int32_t *keys, const std::vector<int> &stop) {
        std::vector<int> runs = start;
        for (uint8_t v : digits) {
            const std::vector<int> c = KeyRuns({keys[v]}, 5, 8, 24, false);
            runs.insert(runs.end(), c.begin(), c.end());
            runs.push_back(8);
        }
        runs.insert(runs.end(), stop.begin(), stop.end());
        return runs;
    };
    auto tens = [&](const std::vector<int> &start, const std::vector<int> &stop) {
        std::vector<int> runs = start;
        for (uint8_t v : digits) {
            for (int k = 4; k >= 0; --k) runs.insert(runs.end(), {((kTwoOfFiveKeys[v] >> (4 * k)) & 0xF) == 2 ? 24 : 8, 8});
        }
        runs.insert(runs.end(), stop.begin(), stop.end());
        return runs;
    };
    const Row rows[] = {
        {"Codabar", kLineRecCodabar, KeyRuns(codabarKeys, 7, 8, 24, true), 2 * 8 + 1, codabar},
        {"Interleaved", kLineRecItf, ItfRuns(digits, 8, 24), 4 + 10 + 1, digits},
        {"Matrix", kLineRecMatrix25, sixes({32, 8, 8, 8, 8, 8}, kTwoOfFiveKeys, {32, 8, 8, 8, 8}), 6 + 12, digits},
        {"variant B", kLineRecVar25b, sixes({24, 8, 24, 8}, kVar25bKeys, {8, 24, 24}), 4 + 12, digits},
        {"Industrial", kLineRecIndustrial25, tens({24, 8, 24, 8, 8, 8}, {24, 8, 8, 8, 24}), 6 + 20, digits},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        Test_ResetDecoderStatics();
        const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[r.record];
        EdgeLine line;
        for (size_t element = r.element; element < r.element + 8 && line.edges.empty(); ++element)
            line = FindUncleanLine(rec, [&] { return r.runs; }, element, 8, 30);
        if (line.edges.empty()) {
            ADD_FAILURE() << "no line read by the looser rules";
            continue;
        }
        for (int sighting = 2; sighting <= 4; ++sighting) {
            const RecordRead read = ReadRecordLine(rec, line);
            SCOPED_TRACE(sighting);
            EXPECT_EQ(read.data, sighting < 4 ? std::vector<uint8_t>{} : r.values);
        }
        EXPECT_EQ(lineMultiReadFlags & (kMultiReadPending | kMultiReadConfirmed), kMultiReadConfirmed);
        rec.reset();
        EXPECT_EQ(ReadRecordLine(rec, Exact(MakeEdgeLine(r.runs, Drawn(8, 30)))).data, r.values);  // clean: at once
    }
    Test_ResetDecoderStatics();
}

TEST(Code93Decode, RefusesASymbolWithoutData) {
    Test_ResetDecoderStatics();
    std::vector<int> runs;
    auto put = [&](uint32_t p) {
        for (int k = 5; k >= 0; --k) runs.push_back(static_cast<int>((p >> (4 * k)) & 0xF));
    };
    put(0x111141);
    put(kCode93Patterns[0]);
    put(kCode93Patterns[0]);
    put(0x111141);
    runs.push_back(1);
    const EdgeLine line = Exact(MakeEdgeLine(runs, {.moduleSamples = 3}));
    static uint8_t buffer[kLineTextCapacity];
    LINE_DECODE_CTX ctx = WholeLineContext(line, buffer, kLineTextCapacity);
    EXPECT_EQ(Code93_Decode(&ctx), 0);
    Test_ResetDecoderStatics();
}

// IATA 2 of 5 offers one hypothesis, so its margin never falls short: it reads uncleanly
// only on a score of 31 to 50, which one changed element cannot reach within locate's
// regular-run and even-spaces tests. A digit whose three narrow bars are drawn 9 samples
// wider (17 against narrow 8 and wide 24) and whose spaces 2 narrower gets there while the
// digit's width and its spaces stay even.
TEST(LinearConfirmation, IataUncleanReadOnItsFourthSighting) {
    Test_ResetDecoderStatics();
    const std::vector<uint8_t> digits = {3, 1, 4, 1, 5, 9, 2, 6};
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[kLineRecIata25];
    auto iataRuns = [&](int barTweak, int spaceTweak) {
        std::vector<int> runs = {8, 8, 8, 8};  // start: four narrow elements
        for (size_t i = 0; i < digits.size(); ++i) {
            const bool tweaked = i == 2;
            for (int k = 4; k >= 0; --k) {
                const bool wide = ((kTwoOfFiveKeys[digits[i]] >> (4 * k)) & 0xF) == 2;
                runs.push_back(wide ? 24 : 8 + (tweaked ? barTweak : 0));
                runs.push_back(8 + (tweaked ? spaceTweak : 0));
            }
        }
        runs.pop_back();
        runs.insert(runs.end(), {8, 24, 8, 8});  // the last digit's gap, then the stop: wide, narrow, narrow
        return runs;
    };
    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "reversed" : "forward");
        EdgeLineOptions drawn = Drawn(8, 30);
        drawn.reversed = reversed;
        const EdgeLine line = Exact(MakeEdgeLine(iataRuns(9, -2), drawn));
        rec.reset();
        lineMultiReadFlags = 0;
        for (int sighting = 1; sighting <= 4; ++sighting) {
            SCOPED_TRACE(sighting);
            const RecordRead read = ReadRecordLine(rec, line);
            EXPECT_EQ(read.data, sighting < 4 ? std::vector<uint8_t>{} : digits);
            if (sighting < 4) {
                EXPECT_NE(lineMultiReadFlags & kMultiReadPending, 0);
            }
        }
        EXPECT_EQ(lineMultiReadFlags & (kMultiReadPending | kMultiReadConfirmed), kMultiReadConfirmed);
        rec.reset();
        EXPECT_EQ(ReadRecordLine(rec, Exact(MakeEdgeLine(iataRuns(0, 0), drawn))).data, digits);  // clean: at once
    }
    Test_ResetDecoderStatics();
}

}  // namespace
