// Interleaved 2 of 5 and ITF-14 symbols made with libzint, redrawn at wide-to-narrow ratios
// 2:1 to 3:1 and 2 to 6 samples a narrow element with ink spread and jitter, forward and
// reversed, in edge lists that begin and end with the symbol's own edges: the record reads
// the digits, and the table walk gives the member's text, AIM identifier, id and code type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "code128_lines.h"
#include "core/params.h"
#include "core/test_hooks.h"
#include "libzint_runs.h"
#include "linear/line_table.h"
#include "linear/two_of_five.h"
#include "width_lines.h"

namespace {

using namespace vexo;
using namespace linetest;

// The mod-10 check digit (weights 3 and 1 from the right) appended.
std::string WithMod10(const std::string &s) {
    int sum = 0;
    for (size_t k = 0; k < s.size(); ++k) sum += (s[s.size() - 1 - k] - '0') * (k % 2 == 0 ? 3 : 1);
    return s + static_cast<char>('0' + (10 - sum % 10) % 10);
}

TEST(TwoOfFiveSymbols, InterleavedDigitsAtEveryRatioAndSize) {
    std::vector<std::string> texts;
    for (int len = 2; len <= 40; len += 2) {
        std::string s;
        for (int k = 0; k < len; ++k) s += static_cast<char>('0' + (k * 7 + len) % 10);
        texts.push_back(s);
    }
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[kLineRecItf];
    for (const std::string &text : texts) {
        const std::vector<int> runs = LibzintRuns(BARCODE_C25INTER, text);
        ASSERT_FALSE(runs.empty());
        ForEachTwoWidthDrawing(runs, text, static_cast<uint32_t>(text.size()),
                               [&](const TwoWidthDrawing &, const EdgeLine &line) {
                                   EXPECT_EQ(ReadRecordLine(rec, line).data, Digits(text));
                               });
    }
    Test_ResetDecoderStatics();
}

// The weight-4/9 check digit (the rightmost digit weighted 4) appended.
std::string WithWeights49(const std::string &s) {
    int sum = 0;
    for (size_t k = 0; k < s.size(); ++k) sum += (s[s.size() - 1 - k] - '0') * (k % 2 == 0 ? 4 : 9);
    return s + static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The members through the table walk, as their words ask.
TEST(TwoOfFiveSymbols, InterleavedMembersThroughTheWalk) {
    const std::string itf14 = WithMod10("1234567890123");
    std::string w49x14 = WithWeights49("1234567890124");
    if (WithMod10(w49x14.substr(0, 13)) == w49x14) w49x14 = WithWeights49("1234567890125");
    const std::string w49x12 = WithWeights49("12345678901");
    struct Case {
        const char *what;
        std::string digits;    // drawn as Interleaved 2 of 5
        int enable;            // the fixed form enabled besides the plain word (0 none)
        uint32_t plainFlags;   // bits 30 and 31 of the plain word
        std::string text;
        const char *aim;
        uint16_t id;
        int32_t codeType;
    };
    const Case cases[] = {
        {"plain", "0123456789", 0, kFlagTransmitCheck, "0123456789", "]I0", 11, 27},
        {"plain, check sent", WithMod10("987654321"), 0, kFlagVerifyCheck | kFlagTransmitCheck, WithMod10("987654321"),
         "]I1", 11, 27},
        {"plain, check dropped", WithMod10("987654321"), 0, kFlagVerifyCheck, "987654321", "]I3", 11, 27},
        {"ITF-14", itf14, kSymItf14, 0, itf14, "]I1", 13, 29},
        {"ITF-6", WithMod10("12345"), kSymItf6, 0, WithMod10("12345"), "]I1", 12, 28},
        {"14-digit weight-4/9", w49x14, kSymItf14W49, 0, w49x14, "]X0", 14, 33},
        {"12-digit weight-4/9", w49x12, kSymItf12W49, 0, w49x12, "]X0", 15, 32},
    };
    for (const Case &c : cases) {
        const std::vector<int> runs = LibzintRuns(BARCODE_C25INTER, c.digits);
        ASSERT_FALSE(runs.empty()) << c.what;
        for (const bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (reversed ? " reversed" : ""));
            Test_ResetDecoderStatics();
            Par_InstallDefaults();
            uint32_t &word = g_params.flagsWord[kSymItf];
            word = (word & ~(kFlagVerifyCheck | kFlagTransmitCheck)) | c.plainFlags | kFlagEnabled;
            for (int id = kSymItf6; id <= kSymItf12W49; ++id) g_params.flagsWord[id] &= ~kFlagEnabled;
            if (c.enable != 0) g_params.flagsWord[c.enable] |= kFlagEnabled | kFlagTransmitCheck;
            EdgeLine line = Exact(MakeEdgeLine(TwoWidthRuns(runs, 1, 3),
                                               {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1,
                                                .reversed = reversed, .quietBefore = 30, .quietAfter = 30, .seed = 5}));
            const WalkRead r = WalkLine(line);
            ASSERT_EQ(r.answer, 1) << testing::PrintToString(r.attempts);
            EXPECT_EQ(r.text, c.text);
            EXPECT_EQ(r.aim, c.aim);
            EXPECT_EQ(r.id, c.id);
            EXPECT_EQ(r.codeType, c.codeType);
        }
    }
    // libzint's ITF-14 (bearer bars aside, an Interleaved symbol) reads as ITF-14.
    const std::vector<int> runs = LibzintRuns(BARCODE_ITF14, "1234567890123");
    ASSERT_FALSE(runs.empty());
    Test_ResetDecoderStatics();
    Par_InstallDefaults();
    g_params.flagsWord[kSymItf] |= kFlagEnabled;
    g_params.flagsWord[kSymItf14] |= kFlagEnabled | kFlagTransmitCheck;
    EdgeLine line = Exact(MakeEdgeLine(TwoWidthRuns(runs, 1, 3), {.moduleSamples = 3, .quietBefore = 30, .quietAfter = 30}));
    const WalkRead r = WalkLine(line);
    EXPECT_EQ(r.text, itf14);
    EXPECT_EQ(r.aim, "]I1");
    Test_ResetDecoderStatics();
}

}  // namespace
