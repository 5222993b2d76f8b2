// Matrix, Industrial and IATA 2 of 5 made with libzint, and 2 of 5 variant B (which libzint
// cannot make) built from its digit table, redrawn at wide-to-narrow ratios 2:1 to 3:1 and
// 2 to 6 samples a narrow element with ink spread and jitter, forward and reversed, in edge
// lists that begin and end with the symbol's own edges: the record reads the digits, and
// the table walk gives the text, AIM identifier, id and code type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "code128_lines.h"
#include "core/params.h"
#include "core/test_hooks.h"
#include "libzint_runs.h"
#include "linear/line_table.h"
#include "linear/line_toolkit.h"
#include "linear/two_of_five.h"
#include "width_lines.h"

namespace {

using namespace vexo;
using namespace linetest;

// Variant B: start W N W N, digits of three bars and two spaces with a narrow gap, stop N W W.
std::vector<int> Var25bRuns(const std::string &digits) {
    std::vector<int> runs = {2, 1, 2, 1};
    for (char ch : digits) {
        const std::vector<int> c = KeyRuns({kVar25bKeys[ch - '0']}, 5, 1, 2, false);
        runs.insert(runs.end(), c.begin(), c.end());
        runs.push_back(1);
    }
    runs.insert(runs.end(), {1, 2, 2});
    return runs;
}

struct FamilyMember {
    const char *what;
    int record;
    int symbology;  // libzint's, 0 for variant B
    int id;
    const char *aim;
    int32_t codeType;
    size_t shortest;  // digits the search block and decode gate admit at least
};

const FamilyMember kMembers[] = {
    {"Matrix", kLineRecMatrix25, BARCODE_C25STANDARD, kSymMatrix25, "]X0", 36, 4},
    {"Industrial", kLineRecIndustrial25, BARCODE_C25IND, kSymIndustrial25, "]S0", 37, 3},
    {"IATA", kLineRecIata25, BARCODE_C25IATA, kSymIata25, "]R0", 35, 3},
    {"variant B", kLineRecVar25b, 0, kSymVar25b, "]X0", 38, 4},
};

std::vector<int> RunsOf(const FamilyMember &m, const std::string &digits) {
    return m.symbology == 0 ? Var25bRuns(digits) : LibzintRuns(m.symbology, digits);
}

// Two-width runs at n:w; Matrix's start and stop bars are drawn a narrow element wider
// than a wide one, as libzint draws them (4 modules at 3:1), which keeps both within a
// character's span.
std::vector<int> Drawn(const FamilyMember &m, const std::vector<int> &runs, int n, int w) {
    std::vector<int> out = TwoWidthRuns(runs, n, w);
    if (m.record == kLineRecMatrix25 && out.size() > 5) out[0] = out[out.size() - 5] = w + n;
    return out;
}

std::string FamilyText(size_t len, int salt) {
    std::string s;
    for (size_t k = 0; k < len; ++k) s += static_cast<char>('0' + (k * 7 + len + salt) % 10);
    return s;
}

TEST(TwoOfFiveFamilySymbols, DigitsAtEveryRatioAndSize) {
    for (const FamilyMember &m : kMembers) {
        const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[m.record];
        for (const size_t len : {m.shortest, m.shortest + 1, size_t{9}, size_t{20}}) {
            const std::string text = FamilyText(len, m.record);
            const std::vector<int> runs = RunsOf(m, text);
            ASSERT_FALSE(runs.empty()) << m.what;
            const auto draw = [&m](const std::vector<int> &r, int n, int w) { return Drawn(m, r, n, w); };
            ForEachTwoWidthDrawing(runs, std::string(m.what) + " " + text, static_cast<uint32_t>(len), draw,
                                   [&](const TwoWidthDrawing &, const EdgeLine &line) {
                                       EXPECT_EQ(ReadRecordLine(rec, line).data, Digits(text));
                                   });
        }
    }
    Test_ResetDecoderStatics();
}

TEST(TwoOfFiveFamilySymbols, MembersThroughTheWalk) {
    for (const FamilyMember &m : kMembers) {
        const std::string text = FamilyText(8, m.id);
        const std::vector<int> runs = RunsOf(m, text);
        for (const bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << m.what << (reversed ? " reversed" : ""));
            Test_ResetDecoderStatics();
            Par_InstallDefaults();
            uint32_t &word = g_params.flagsWord[m.id];
            word = (word & ~(kFlagVerifyCheck | kMinLengthMask | kMaxLengthMask)) | kFlagEnabled | 1u | (255u << 8);
            EdgeLine line = Exact(MakeEdgeLine(Drawn(m, runs, 1, 3),
                                               {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1,
                                                .reversed = reversed, .quietBefore = 30, .quietAfter = 30, .seed = 3}));
            const WalkRead r = WalkLine(line);
            ASSERT_EQ(r.answer, 1) << testing::PrintToString(r.attempts);
            EXPECT_EQ(r.text, text);
            EXPECT_EQ(r.aim, m.aim);
            EXPECT_EQ(r.id, m.id);
            EXPECT_EQ(r.codeType, m.codeType);
            // With the check digit verified, a wrong one is attempt code 11.
            std::string bad = text;
            const std::vector<uint8_t> d = Digits(text);
            bad.back() = static_cast<char>('0' + (Line_CheckDigitMod10(d.data(), 7) + 1) % 10);
            Test_ResetDecoderStatics();
            word |= kFlagVerifyCheck;
            EdgeLine badLine = Exact(MakeEdgeLine(Drawn(m, RunsOf(m, bad), 1, 3),
                                                  {.moduleSamples = 2.5, .reversed = reversed, .quietBefore = 30,
                                                   .quietAfter = 30}));
            const WalkRead checked = WalkLine(badLine);
            EXPECT_EQ(checked.answer, 0);
            EXPECT_NE(std::string(checked.attempts.begin(), checked.attempts.end()).find('\x0b'), std::string::npos);
        }
    }
    Test_ResetDecoderStatics();
}

}  // namespace
