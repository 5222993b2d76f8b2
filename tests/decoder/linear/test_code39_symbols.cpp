// Code 39, extended Code 39, Code 32 and Code 93 symbols made with libzint, redrawn at
// wide-to-narrow ratios 2:1 to 3:1 and 2 to 6 samples a narrow element with ink spread and
// jitter, forward and reversed, in edge lists that begin and end with the symbol's own
// edges: the record reads the symbol's values, and the table walk gives the text, AIM
// identifier, id and code type the flag word asks for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "code128_lines.h"
#include "core/params.h"
#include "core/test_hooks.h"
#include "linear/code39.h"
#include "linear/code93.h"
#include "linear/line_table.h"
#include "support/symbol.h"
#include "libzint_runs.h"
#include "width_lines.h"

namespace {

using namespace vexo;
using namespace linetest;

// Code 39 values read off the runs with the key table (gaps between characters skipped).
std::vector<uint8_t> Code39Values(const std::vector<int> &runs) {
    std::vector<uint8_t> values;
    for (size_t at = 0; at + 9 <= runs.size(); at += 10) {
        int32_t key = 0;
        for (size_t k = 0; k < 9; ++k) key = key * 8 + (runs[at + k] > 1 ? 2 : 1);
        for (int v = 0; v < kCode39Values; ++v)
            if (kCode39Keys[v] == key) values.push_back(static_cast<uint8_t>(v));
    }
    return values;
}

// Code 93 values between start and stop, read off the runs with the pattern table.
std::vector<uint8_t> Code93Values(const std::vector<int> &runs) {
    std::vector<uint8_t> values;
    for (size_t at = 6; at + 13 <= runs.size(); at += 6) {
        uint32_t key = 0;
        for (size_t k = 0; k < 6; ++k) key = (key << 4) | static_cast<uint32_t>(runs[at + k]);
        for (int v = 0; v < kCode93Values; ++v)
            if (kCode93Patterns[v] == key) values.push_back(static_cast<uint8_t>(v));
    }
    return values;
}

const LINE_SYMBOLOGY &Record(int index) { return kLineTableAtLoad.records[index]; }

struct Drawing {
    int narrow, wide;  // units of a narrow and a wide element
    double perNarrow;  // samples a narrow element
    double spread;     // of a narrow element
    bool reversed;
    uint32_t seed;
};

// Every ratio, size, spread and direction of a symbol's runs.
// Drawings longer than a profile (4,095 samples) are left out.
template <class Check>
void ForEachDrawing(const std::vector<int> &runs, bool twoWidth, Check check) {
    int narrow = 0, wide = 0;
    for (int r : runs) {
        if (!twoWidth) narrow += r;
        else (r > 1 ? wide : narrow) += 1;
    }
    const int ratios[][2] = {{1, 2}, {2, 5}, {1, 3}};
    for (const auto &ratio : ratios) {
        if (!twoWidth && ratio[0] != 1) continue;
        for (const double size : {2.0, 3.0, 4.0, 5.0, 6.0}) {
            for (const double spread : {0.0, 0.15, 0.3}) {
                for (const bool reversed : {false, true}) {
                    const Drawing d{ratio[0], ratio[1], size, spread, reversed,
                                    static_cast<uint32_t>(size * 10 + spread * 100 + ratio[1] * 7) + (reversed ? 1000 : 0)};
                    const double units = twoWidth ? narrow * ratio[0] + wide * ratio[1] : narrow;
                    if (units * size / ratio[0] + 40 * size > 4095) continue;
                    if (twoWidth || ratio[1] == 2) check(d);
                }
            }
        }
    }
}

EdgeLine Draw(const std::vector<int> &runs, const Drawing &d, bool twoWidth) {
    const std::vector<int> scaled = twoWidth ? TwoWidthRuns(runs, d.narrow, d.wide) : runs;
    const double unit = twoWidth ? d.perNarrow / d.narrow : d.perNarrow;
    return Exact(MakeEdgeLine(scaled, {.moduleSamples = unit,
                                       .spread = d.spread * (twoWidth ? d.narrow : 1),
                                       .jitter16 = 2,
                                       .reversed = d.reversed,
                                       .seed = d.seed}));
}

TEST(Code39Symbols, ValuesAtEveryRatioAndSize) {
    struct Case {
        const char *what;
        int symbology;
        std::string data;
        int option2;
    };
    const Case cases[] = {
        {"one character", BARCODE_CODE39, "7", 0},
        {"all 43 characters", BARCODE_CODE39, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%", 0},
        {"with check character", BARCODE_CODE39, "CODE39 CHECK", 1},
        {"extended", BARCODE_EXCODE39, "Hello, world! {~}\x01", 0},
        {"Code 32", BARCODE_CODE32, "12345678", 0},
    };
    for (const Case &c : cases) {
        const std::vector<int> runs = LibzintRuns(c.symbology, c.data, DATA_MODE, c.option2);
        ASSERT_FALSE(runs.empty()) << c.what;
        const std::vector<uint8_t> values = Code39Values(runs);
        ASSERT_EQ(values.size() * 10, runs.size() + 1) << c.what;
        ForEachDrawing(runs, true, [&](const Drawing &d) {
            SCOPED_TRACE(testing::Message() << c.what << " ratio " << d.wide << ":" << d.narrow << " at " << d.perNarrow
                                            << " spread " << d.spread << (d.reversed ? " reversed" : "") << " seed "
                                            << d.seed);
            Test_ResetDecoderStatics();
            const EdgeLine line = Draw(runs, d, true);
            const RecordRead r = ReadRecordLine(Record(kLineRecCode39), line);
            EXPECT_EQ(r.data, values);
            EXPECT_EQ(r.direction, d.reversed ? -1 : 1);
        });
    }
    Test_ResetDecoderStatics();
}

TEST(Code93Symbols, ValuesAtEverySize) {
    const std::string all43 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
    const std::string fullAscii = std::string("Hello\x01 world{}~\x7f", 16) + std::string(1, '\0') + "@`";
    for (const std::string &data : {all43, fullAscii, std::string("AB")}) {
        const std::vector<int> runs = LibzintRuns(BARCODE_CODE93, data);
        ASSERT_FALSE(runs.empty());
        const std::vector<uint8_t> values = Code93Values(runs);
        ASSERT_EQ(values.size() * 6 + 13, runs.size()) << data;
        ASSERT_EQ(Code93_CheckCharsOk(values.data(), static_cast<uint16_t>(values.size())), 1);
        for (const bool checked : {true, false}) {
            ForEachDrawing(runs, false, [&](const Drawing &d) {
                SCOPED_TRACE(testing::Message() << data << " at " << d.perNarrow << " spread " << d.spread
                                                << (d.reversed ? " reversed" : "") << " seed " << d.seed
                                                << (checked ? " checked" : ""));
                Test_ResetDecoderStatics();
                Par_InstallDefaults();
                if (!checked) g_params.flagsWord[kSymCode93] &= ~kFlagVerifyCheck;
                const EdgeLine line = Draw(runs, d, false);
                const RecordRead r = ReadRecordLine(Record(kLineRecCode93), line);
                EXPECT_EQ(r.data, values);
            });
        }
    }
    Test_ResetDecoderStatics();
}

// Mod-43 check character of a Code 39 text.
char Mod43(const std::string &text) {
    int sum = 0;
    for (char ch : text) sum += static_cast<int>(std::string(kCode39Chars).find(ch));
    return kCode39Chars[sum % 43];
}

// The encoder's text through the table walk, as the Code 39 or Code 93 word asks.
TEST(Code39Symbols, TextsThroughTheWalk) {
    constexpr uint32_t kVerify = kFlagVerifyCheck, kTransmit = kFlagTransmitCheck;
    constexpr uint32_t kStrip = kFlagStripStartStop, kAscii = kFlagCode39FullAscii;
    constexpr uint32_t kOptionBits = kVerify | kTransmit | kStrip | kAscii | kFlagCode32Convert | kFlagCode32LeadingA |
                                     kFlagCode32Asterisks | kFlagCode32CheckDigit;
    struct Case {
        const char *what;
        int symbology;
        std::string data;
        int option2;
        uint32_t flags;  // the option bits of the Code 39 word
        std::string text;
        const char *aim;
        uint16_t id;
        int32_t codeType;
    };
    const std::string plain = "CODE-39 $5.00";
    const Case cases[] = {
        {"asterisks kept", BARCODE_CODE39, plain, 0, 0, "*" + plain + "*", "]A0", 20, 22},
        {"asterisks stripped", BARCODE_CODE39, plain, 0, kStrip, plain, "]A0", 20, 22},
        {"check transmitted", BARCODE_CODE39, "ABC123", 1, kVerify | kTransmit, std::string("*ABC123") + Mod43("ABC123") + "*",
         "]A1", 20, 22},
        {"check verified and dropped", BARCODE_CODE39, "ABC123", 1, kVerify | kStrip, "ABC123", "]A3", 20, 22},
        {"full ASCII", BARCODE_EXCODE39, "Hello, world!", 0, kAscii | kStrip, "Hello, world!", "]A4", 20, 23},
        {"full ASCII, check transmitted", BARCODE_EXCODE39, "Mixed case 1", 1, kAscii | kStrip | kVerify | kTransmit,
         "Mixed case 1?", "]A5", 20, 23},
        {"full ASCII, check dropped", BARCODE_EXCODE39, "Tab\there", 1, kAscii | kStrip | kVerify, "Tab\there", "]A7", 20, 23},
        {"full ASCII without pairs", BARCODE_EXCODE39, "PLAIN", 0, kAscii | kStrip, "PLAIN", "]A0", 20, 23},
        {"Code 32", BARCODE_CODE32, "12345678", 0, kFlagCode32Convert, "12345678", "]X0", 20, 47},
        {"Code 32, all its options", BARCODE_CODE32, "01234567", 0,
         kFlagCode32Convert | kFlagCode32LeadingA | kFlagCode32Asterisks | kFlagCode32CheckDigit, "*A01234567?*", "]X0",
         20, 47},
        {"Code 32 not converted", BARCODE_CODE32, "12345678", 0, kStrip, "", "]A0", 20, 22},
        {"Code 93", BARCODE_CODE93, "CODE 93/+%$", 0, 0, "CODE 93/+%$", "]G0", 22, 24},
        {"Code 93 full ASCII", BARCODE_CODE93, "Code 93: {x}\x7f", 0, 0, "Code 93: {x}\x7f", "]G0", 22, 24},
    };
    for (const Case &c : cases) {
        const std::vector<int> runs = LibzintRuns(c.symbology, c.data, DATA_MODE, c.option2);
        ASSERT_FALSE(runs.empty()) << c.what;
        std::string text = c.text;
        if (c.symbology == BARCODE_CODE32) {
            // The check digit and the base-32 characters as libzint drew them.
            std::vector<uint8_t> v = Code39Values(runs);
            ASSERT_EQ(v.size(), 8u) << c.what;
            const size_t q = text.find('?');
            std::string digits = c.data;
            int sum = 0;
            for (int k = 0; k < 8; ++k) {
                const int dgt = digits[k] - '0';
                sum += k % 2 == 0 ? dgt : (2 * dgt) / 10 + (2 * dgt) % 10;
            }
            if (q != std::string::npos) text[q] = static_cast<char>('0' + sum % 10);
            if (text.empty())
                for (size_t k = 1; k < 7; ++k) text += kCode39Chars[v[k]];
        }
        if (c.symbology == BARCODE_EXCODE39 && (c.flags & kTransmit) != 0) {
            const std::vector<uint8_t> v = Code39Values(runs);
            text.back() = kCode39Chars[v[v.size() - 2]];
        }
        for (const double size : {2.5, 4.0}) {
            for (const bool reversed : {false, true}) {
                const uint32_t seed = static_cast<uint32_t>(size * 10) + (reversed ? 500 : 0);
                SCOPED_TRACE(testing::Message() << c.what << " at " << size << (reversed ? " reversed" : "")
                                                << " seed " << seed);
                Test_ResetDecoderStatics();
                Par_InstallDefaults();
                uint32_t &word = g_params.flagsWord[kSymCode39];
                word = (word & ~kOptionBits) | c.flags | kFlagEnabled;
                g_params.flagsWord[kSymCode93] |= kFlagEnabled;
                const bool twoWidth = c.symbology != BARCODE_CODE93;
                EdgeLine line = Draw(runs, {1, 3, size, 0.1, reversed, seed}, twoWidth);
                const WalkRead r = WalkLine(line);
                ASSERT_EQ(r.answer, 1) << std::hex << word << " " << testing::PrintToString(r.attempts);
                EXPECT_EQ(r.text, text);
                EXPECT_EQ(r.aim, c.aim);
                EXPECT_EQ(r.id, c.id);
                EXPECT_EQ(r.codeType, c.codeType);
            }
        }
    }
    Test_ResetDecoderStatics();
}

}  // namespace
