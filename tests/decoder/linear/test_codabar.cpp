// Codabar verify on value strings: the mod-16 check, the start/stop letters stripped or
// mapped to the other letter sets, the length limits after stripping; the decode gate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/params.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "linear/codabar.h"
#include "width_lines.h"

namespace {

using namespace vexo;

std::vector<uint8_t> Values(const std::string &text) {
    std::vector<uint8_t> v;
    for (char ch : text) v.push_back(static_cast<uint8_t>(std::string(kCodabarChars).find(ch)));
    return v;
}

TEST(CodabarVerify, CheckLettersAndLengths) {
    constexpr uint32_t V = kFlagVerifyCheck, T = kFlagTransmitCheck, S = kFlagStripStartStop;
    constexpr uint32_t L16 = 1u << 16, L17 = 1u << 17;
    struct Row {
        const char *what;
        std::string symbol;
        uint32_t flags;
        uint32_t lengths;
        int answer;
        std::string text;
        const char *aim;
        uint8_t error;
    };
    const uint32_t any = 1u | (255u << 8);
    const Row rows[] = {
        {"check + sent", "A37859+B", V | T, any, 1, "A37859+B", "]F2", 0},
        {"check + dropped", "A37859+B", V, any, 1, "A37859B", "]F4", 0},
        {"wrong check", "A37859-B", V | T, any, 0, "", "", 11},
        {"no check, stripped", "A123B", S, any, 1, "123", "]F0", 0},
        {"stripped, then too short", "A123B", S, 4u | (255u << 8), 0, "", "", 2},
        {"stripped length allowed", "A1234B", S, 4u | (255u << 8), 1, "1234", "]F0", 0},
        {"bits 16 and 17", "A123B", L16 | L17, any, 1, "a123n", "]F0", 0},
        {"bit 16", "A123B", L16, any, 1, "A123N", "]F0", 0},
        {"bit 17", "C123D", L17, any, 1, "c123d", "]F0", 0},
        {"three values are too few", "D9C", L16 | L17, any, 0, "", "", 0},
        {"bits 16 and 17, stop C and D", "D99C", L16 | L17, any, 1, "d99*", "]F0", 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        g_params.flagsWord[kSymCodabar] = kFlagEnabled | r.lengths | r.flags;
        static uint8_t buffer[kLineTextCapacity];
        const std::vector<uint8_t> v = Values(r.symbol);
        std::copy(v.begin(), v.end(), buffer);
        LINE_DECODE_CTX ctx{};
        ctx.data = buffer;
        ctx.capacity = kLineTextCapacity;
        ctx.length = static_cast<uint16_t>(v.size());
        g_state.lastSymbologyCode = 0;
        EXPECT_EQ(Codabar_Verify(&ctx), r.answer);
        EXPECT_EQ(ctx.errorCode, r.error);
        if (r.answer != 1) continue;
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(buffer), ctx.length), r.text);
        EXPECT_EQ(std::string("]") + ctx.aimLetter + ctx.aimModifier, r.aim);
        EXPECT_EQ(ctx.symbologyId, kSymCodabar);
        EXPECT_EQ(g_state.lastSymbologyCode, 26);
    }
    const std::vector<uint8_t> sum80 = Values("A37859+B");  // 16 + 3 + 7 + 8 + 5 + 9 + 15 + 17 = 80
    EXPECT_EQ(Codabar_CheckMod16(sum80.data(), static_cast<uint16_t>(sum80.size())), 1);
}

// A symbol of 23 edges (start and stop letters, one character) is refused before reading;
// the walk's quiet zones and letters are all there.
TEST(CodabarDecode, RefusesTwentyThreeEdges) {
    Test_ResetDecoderStatics();
    std::vector<int> runs;
    for (int v : {16, 1, 17}) {
        if (!runs.empty()) runs.push_back(1);
        for (int k = 6; k >= 0; --k) runs.push_back(((kCodabarKeys[v] >> (4 * k)) & 0xF) == 2 ? 3 : 1);
    }
    const linetest::EdgeLine line = linetest::Exact(linetest::MakeEdgeLine(runs, {.moduleSamples = 3}));
    ASSERT_EQ(line.edges.size(), 24u);
    static uint8_t buffer[kLineTextCapacity];
    LINE_DECODE_CTX ctx{};
    ctx.direction = 1;
    ctx.data = buffer;
    ctx.capacity = kLineTextCapacity;
    ctx.locateValue = 16;
    ctx.edgesBase = line.edges.data();
    ctx.edges = line.edges.data();
    ctx.edgeCount = static_cast<uint16_t>(line.edges.size());
    g_codabarStopLetter = 17;
    ctx.elementCount = 23;
    ctx.endIndex = 22;
    EXPECT_EQ(Codabar_Decode(&ctx), 0);
    ctx.elementCount = 24;
    ctx.endIndex = 23;
    EXPECT_EQ(Codabar_Decode(&ctx), 3);
    Test_ResetDecoderStatics();
}

}  // namespace
