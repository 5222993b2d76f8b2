// Interleaved 2 of 5 verify on digit strings: the fixed-length members by length and check
// digit, the plain rules with the check digit, the length mask and the length limits; and
// the decode gate on the digit count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/params.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "linear/line_toolkit.h"
#include "linear/two_of_five.h"
#include "record_lines.h"
#include "width_lines.h"

namespace {

using namespace vexo;

// s with its last digit made to satisfy mod 10 (weights 3, 1) or weights 4, 9.
std::string Mod10(std::string s) {
    const std::vector<uint8_t> d = linetest::Digits(s);
    s += static_cast<char>('0' + Line_CheckDigitMod10(d.data(), static_cast<uint16_t>(d.size())));
    return s;
}
std::string W49(std::string s) {
    const std::vector<uint8_t> d = linetest::Digits(s);
    s += static_cast<char>('0' + Line_CheckDigitWeights49(d.data(), static_cast<uint16_t>(d.size())));
    return s;
}

linetest::Verified VerifyItf(const std::string &digits) { return linetest::Verify(&Itf_Verify, linetest::Digits(digits)); }

constexpr uint32_t E = kFlagEnabled, V = kFlagVerifyCheck, T = kFlagTransmitCheck;

TEST(ItfVerify, MembersAndPlainRules) {
    // A 14-digit string whose ITF-14 check fails and whose weight-4/9 check holds.
    std::string w49x14 = W49("1234567890124");
    if (Mod10(w49x14.substr(0, 13)) == w49x14) w49x14 = W49("1234567890125");
    const std::string itf6Wrong = Mod10("12345").substr(0, 5) + static_cast<char>('0' + (Mod10("12345")[5] - '0' + 1) % 10);
    struct Row {
        const char *what;
        std::string digits;
        uint32_t plain;     // word of id 11 (lengths 1-255 added)
        uint32_t fixed[4];  // words of ids 12-15
        int answer;
        std::string text;
        const char *aim;
        uint16_t id;
        int32_t codeType;
        uint8_t error;
    };
    const uint32_t none[4] = {0, 0, 0, 0};
    const Row rows[] = {
        {"ITF-14 fails, weight-4/9 holds, both on", w49x14, E, {0, E, E | T, 0}, 1, w49x14, "]X0", 14, 33, 0},
        {"weight-4/9 form, check dropped", w49x14, E, {0, E, E, 0}, 1, w49x14.substr(0, 13), "]X0", 14, 33, 0},
        {"neither form on: plain", w49x14, E, {none[0], 0, 0, 0}, 1, w49x14, "]I0", 11, 27, 0},
        {"neither form on, plain verifies: wrong check", w49x14, E | V | T, {0, 0, 0, 0}, 0, "", "]I0", 0, 0, 11},
        {"ITF-14", Mod10("1234567890123"), E, {0, E | T, 0, 0}, 1, Mod10("1234567890123"), "]I1", 13, 29, 0},
        {"ITF-14, check dropped", Mod10("1234567890123"), 0, {0, E, 0, 0}, 1, "1234567890123", "]I3", 13, 29, 0},
        {"12-digit weight-4/9", W49("12345678901"), 0, {0, 0, 0, E | T}, 1, W49("12345678901"), "]X0", 15, 32, 0},
        {"6 digits, ITF-6 off, plain on", Mod10("12345"), E, {0, 0, 0, 0}, 1, Mod10("12345"), "]I0", 11, 27, 0},
        {"6 digits, ITF-6 off, plain off", Mod10("12345"), 0, {0, 0, 0, 0}, 0, "", "]I0", 0, 0, 0},
        {"ITF-6", Mod10("12345"), 0, {E | T, 0, 0, 0}, 1, Mod10("12345"), "]I1", 12, 28, 0},
        {"ITF-6, check dropped", Mod10("12345"), 0, {E, 0, 0, 0}, 1, "12345", "]I3", 12, 28, 0},
        {"ITF-6 wrong check falls through", itf6Wrong, E, {E, 0, 0, 0}, 1, itf6Wrong, "]I0", 11, 27, 0},
        {"plain, check sent", Mod10("987654321"), E | V | T, {0, 0, 0, 0}, 1, Mod10("987654321"), "]I1", 11, 27, 0},
        {"plain, check dropped", Mod10("987654321"), E | V, {0, 0, 0, 0}, 1, "987654321", "]I3", 11, 27, 0},
        {"one digit", "5", E, {0, 0, 0, 0}, 0, "", "]I0", 0, 0, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        Test_ResetDecoderStatics();
        g_params.flagsWord[kSymItf] = r.plain | 1u | (255u << 8);
        for (int k = 0; k < 4; ++k) g_params.flagsWord[kSymItf6 + k] = r.fixed[k];
        const linetest::Verified v = VerifyItf(r.digits);
        EXPECT_EQ(v.answer, r.answer);
        EXPECT_EQ(v.error, r.error);
        if (r.answer != 1) continue;
        EXPECT_EQ(v.text, r.text);
        EXPECT_EQ(v.aim, r.aim);
        EXPECT_EQ(v.id, r.id);
        EXPECT_EQ(v.codeType, r.codeType);
    }
    Test_ResetDecoderStatics();
}

TEST(ItfVerify, LengthMaskAndLimits) {
    struct Row {
        const char *what;
        std::string digits;
        uint32_t plain;
        uint32_t mask;
        uint32_t lengths;  // bits 0-15 of the word
        int answer;
        size_t length;
    };
    const std::string ten = Mod10("123456789");
    std::string long66(65, '1');
    long66 = Mod10(long66);
    const Row rows[] = {
        {"check stripped: 9 tested against bit 4", ten, E | V, 1u << 4, 1 | (255u << 8), 1, 9},
        {"bit 4 clear", ten, E | V, ~(1u << 4), 1 | (255u << 8), 0, 0},
        {"10 digits sent: bit 4 as well", ten, E, 1u << 4, 1 | (255u << 8), 1, 10},
        {"11 digits would need bit 5", Mod10("1234567890"), E, 1u << 4, 1 | (255u << 8), 0, 0},
        {"above 64 refused", long66, E, 0xFFFFFFFFu, 1 | (255u << 8), 0, 0},
        {"length limits after the mask", ten, E, 0xFFFFFFFFu, 12 | (255u << 8), 0, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        Test_ResetDecoderStatics();
        g_params.flagsWord[kSymItf] = r.plain | r.lengths;
        g_params.optionWord |= kOptionItfLengthMask;
        g_params.itfLengthMask = r.mask;
        const linetest::Verified v = VerifyItf(r.digits);
        EXPECT_EQ(v.answer, r.answer);
        EXPECT_EQ(v.error, r.answer == 1 ? 0 : 2);
        if (r.answer == 1) {
            EXPECT_EQ(v.text.size(), r.length);
        }
    }
    // The fixed-length forms pass neither the mask nor the limits.
    Test_ResetDecoderStatics();
    g_params.flagsWord[kSymItf] = E | 20 | (30u << 8);
    g_params.flagsWord[kSymItf14] = E | T;
    g_params.optionWord |= kOptionItfLengthMask;
    g_params.itfLengthMask = 0;
    EXPECT_EQ(VerifyItf(Mod10("1234567890123")).answer, 1);
    Test_ResetDecoderStatics();
}

TEST(ItfDecode, GateOnTheDigitCount) {
    Test_ResetDecoderStatics();
    // 130 digits: more than 128 are refused before any width is read.
    std::string digits(130, '3');
    std::vector<int> runs = {1, 1, 1, 1};
    for (size_t k = 0; k < digits.size(); k += 2) {
        for (int e = 0; e < 5; ++e) {
            runs.push_back((kTwoOfFiveKeys[3] >> (4 * (4 - e)) & 0xF) == 2 ? 3 : 1);
            runs.push_back((kTwoOfFiveKeys[3] >> (4 * (4 - e)) & 0xF) == 2 ? 3 : 1);
        }
    }
    runs.insert(runs.end(), {3, 1, 1});
    const linetest::EdgeLine line = linetest::Exact(linetest::MakeEdgeLine(runs, {.moduleSamples = 1.5}));
    static uint8_t buffer[kLineTextCapacity];
    LINE_DECODE_CTX ctx = linetest::WholeLineContext(line, buffer, kLineTextCapacity);
    ASSERT_EQ((ctx.elementCount - 8) / 5, 130);
    EXPECT_EQ(Itf_Decode(&ctx), 0);
    // The same pattern with 128 digits reads.
    runs.erase(runs.end() - 3 - 10, runs.end() - 3);
    const linetest::EdgeLine shorter = linetest::Exact(linetest::MakeEdgeLine(runs, {.moduleSamples = 1.5}));
    ctx = linetest::WholeLineContext(shorter, buffer, kLineTextCapacity);
    EXPECT_EQ(Itf_Decode(&ctx), 128);
    Test_ResetDecoderStatics();
}

// Matrix, Industrial, variant B and IATA share their verify rules; only letter, id and code
// type differ.
TEST(TwoOfFiveVerify, CheckDigitLengthAndModifier) {
    struct Member {
        int (*verify)(LINE_DECODE_CTX *);
        int id;
        const char *aim;
        int32_t codeType;
    };
    const Member members[] = {
        {&Mat25_Verify, kSymMatrix25, "]X0", 36},
        {&Ind25_Verify, kSymIndustrial25, "]S0", 37},
        {&Var25b_Verify, kSymVar25b, "]X0", 38},
        {&Iata25_Verify, kSymIata25, "]R0", 35},
    };
    const std::string good = Mod10("123");
    const std::string wrong = good.substr(0, 3) + static_cast<char>('0' + (good[3] - '0' + 1) % 10);
    struct Row {
        const char *what;
        std::string digits;
        uint32_t word;  // bits 30, 31 and the lengths
        int answer;
        std::string text;
        uint8_t error;
    };
    const Row rows[] = {
        {"three digits", "123", E | 1 | (255u << 8), 0, "", 0},
        {"check dropped", good, E | V | 1 | (255u << 8), 1, "123", 0},
        {"check sent", good, E | V | T | 1 | (255u << 8), 1, good, 0},
        {"check wrong", wrong, E | V | 1 | (255u << 8), 0, "", kLineErrorCheck},
        {"no check", wrong, E | 1 | (255u << 8), 1, wrong, 0},
        {"length refused after dropping", good, E | V | 4 | (8u << 8), 0, "", kLineErrorLength},
        {"two lengths", "98765", E | 5 | (3u << 8), 1, "98765", 0},
    };
    for (const Member &m : members) {
        for (const Row &r : rows) {
            SCOPED_TRACE(testing::Message() << m.aim << " " << m.codeType << " " << r.what);
            Test_ResetDecoderStatics();
            g_params.flagsWord[m.id] = r.word;
            const linetest::Verified v = linetest::Verify(m.verify, linetest::Digits(r.digits));
            EXPECT_EQ(v.answer, r.answer);
            EXPECT_EQ(v.error, r.error);
            // The modifier stays '0' in every outcome.
            if (r.digits.size() > 3) {
                EXPECT_EQ(v.aim, m.aim);
            }
            if (r.answer == 1) {
                EXPECT_EQ(v.text, r.text);
                EXPECT_EQ(v.id, m.id);
                EXPECT_EQ(v.codeType, m.codeType);
            }
        }
    }
    Test_ResetDecoderStatics();
}

// Matrix 2 of 5 of the digits at 3:1, its start and stop bars four modules wide.
std::vector<int> MatrixRuns(const std::string &digits) {
    std::vector<int> runs = {4, 1, 1, 1, 1, 1};
    for (char ch : digits) {
        const std::vector<int> c = linetest::KeyRuns({kTwoOfFiveKeys[ch - '0']}, 5, 1, 3, false);
        runs.insert(runs.end(), c.begin(), c.end());
        runs.push_back(1);
    }
    runs.insert(runs.end(), {4, 1, 1, 1, 1});
    return runs;
}

TEST(TwoOfFiveDecode, MatrixGateAndCapacity) {
    static uint8_t buffer[kLineTextCapacity];
    struct Row {
        std::string digits;
        uint16_t capacity;
        uint16_t answer;
    };
    const Row rows[] = {{"123", kLineTextCapacity, 0}, {"1234", kLineTextCapacity, 4}, {"1234", 3, 0}, {"12345", 5, 5}};
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.digits << " into " << r.capacity);
        Test_ResetDecoderStatics();
        const linetest::EdgeLine line = linetest::Exact(linetest::MakeEdgeLine(MatrixRuns(r.digits), {.moduleSamples = 3}));
        LINE_DECODE_CTX ctx = linetest::WholeLineContext(line, buffer, r.capacity);
        EXPECT_EQ(Mat25_Decode(&ctx), r.answer);
        if (r.answer != 0) {
            EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + r.answer), linetest::Digits(r.digits));
        }
    }
    Test_ResetDecoderStatics();
}

}  // namespace
