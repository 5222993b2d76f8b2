// Setup-code strings translated into property pairs, and the joined-symbol assembler.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/join.h"
#include "core/setup_codes.h"
#include "decoder_test.h"
#include "join_model.h"

namespace {

using namespace vexo;
using vexo_test::DecoderTest;

class SetupCodeTest : public DecoderTest {};

struct SetupCodeCase {
    const char *what;
    const char *text;
    i32 length;  // -1: strlen
    u32 type;
    int status;
    int pairs;
    u32 id[2];
    u64 value[2];
};

TEST_F(SetupCodeTest, TranslatesListedCodesAndRefusesTheRest) {
    static const SetupCodeCase kCases[] = {
        {"Code 128 on", "99910002", -1, 1, 0, 1, {0x10000, 0}, {0x10001, 0}},
        {"PDF417 mode 2, off", "99920107", -1, 1, 0, 2, {0x20103, 0x20104}, {2, 0x10000}},
        {"Data Matrix two pairs", "99920407", -1, 1, 0, 2, {0x20404, 0x20403}, {1, 0x10001}},
        {"UPC-E group 110 is 0x10800", "99911017", -1, 1, 0, 2, {0x10805, 0x10806}, {0x10001, 0x10001}},
        {"sub-code 10 is eight", "99910010", -1, 1, 0, 1, {0x10004, 0}, {0x10002, 0}},
        {"CS Code as MaxiCode", "99920707", -1, 1, 0, 1, {0x20705, 0}, {0x1001A, 0}},
        {"seven characters", "9991000", -1, 1, 3, 0, {}, {}},
        {"eight characters, length 7", "99910002", 7, 1, 3, 0, {}, {}},
        {"sub-code 08 not octal", "99910008", -1, 1, 3, 0, {}, {}},
        {"no group 133", "99913301", -1, 1, 3, 0, {}, {}},
        {"sub-code 03 not listed for Code 128", "99910003", -1, 1, 3, 0, {}, {}},
        {"sub-code 00", "99910000", -1, 1, 3, 0, {}, {}},
        {"no leading 999", "99810002", -1, 1, 3, 0, {}, {}},
        {"type 2", "99910002", -1, 2, 3, 0, {}, {}},
        {"type 0", "99910002", -1, 0, 3, 0, {}, {}},
        {"no text", nullptr, 8, 1, 3, 0, {}, {}},
        {"length 0", "99910002", 0, 1, 3, 0, {}, {}},
        {"negative length", "99910002", -5, 1, 3, 0, {}, {}},
    };
    for (const SetupCodeCase &c : kCases) {
        SCOPED_TRACE(c.what);
        SETUP_REQUEST req{};
        req.type = c.type;
        req.text = c.text;
        req.textLength = c.length == -1 ? static_cast<i32>(std::strlen(c.text)) : c.length;
        req.pairCount = 99;
        req.ids = reinterpret_cast<const u32 *>(&req);
        req.values = reinterpret_cast<const u64 *>(&req);
        ASSERT_EQ(Par_HandleSetupCode(&req), c.status);
        EXPECT_EQ(req.status, c.status);
        EXPECT_EQ(req.pairCount, c.pairs);
        if (c.status != 0) {
            EXPECT_EQ(req.ids, nullptr);
            EXPECT_EQ(req.values, nullptr);
            continue;
        }
        for (int i = 0; i < c.pairs; ++i) {
            EXPECT_EQ(req.ids[i], c.id[i]) << i;
            EXPECT_EQ(req.values[i], c.value[i]) << i;
        }
    }
    EXPECT_EQ(Par_HandleSetupCode(nullptr), 3);
}

TEST_F(SetupCodeTest, ParseAndHandlerLookupAnswerAlone) {
    i32 group = -1;
    i32 sub = -1;
    EXPECT_EQ(Par_ParseSetupCode("99977777", 8, &group, &sub), 1);
    EXPECT_EQ(group, 0777);
    EXPECT_EQ(sub, 077);
    EXPECT_EQ(Par_ParseSetupCode("9991000x", 8, &group, &sub), 0);
    EXPECT_EQ(group, 0);
    EXPECT_EQ(sub, 0);
    SETUP_CONTEXT ctx{};
    ctx.handlerIndex = 32;
    EXPECT_EQ(Par_RunSetupHandler(&ctx), 6);
    EXPECT_EQ(ctx.status, 6);
    ctx.handlerIndex = -1;
    EXPECT_EQ(Par_RunSetupHandler(&ctx), 6);
    ctx.handlerIndex = 0;
    ctx.valueIndex = 6;  // Code 128 lists six codes
    EXPECT_EQ(Par_RunSetupHandler(&ctx), 6);
    ctx.valueIndex = 5;
    EXPECT_EQ(Par_RunSetupHandler(&ctx), 0);
    EXPECT_EQ(ctx.pairCount, 1);
    EXPECT_EQ(ctx.id[0], 0x10004u);
    EXPECT_EQ(ctx.value[0], 0x10003u);
    ctx.type = 2;
    ctx.text = "99910002";
    ctx.length = 8;
    EXPECT_EQ(Par_CheckAndLookupSetupCode(&ctx), 0);
    Par_ClearSetupContext(&ctx);
    EXPECT_EQ(ctx.text, nullptr);
    EXPECT_EQ(ctx.pairCount, 0);
}

// Every group code and sub-code: status 0 exactly for the listed codes (counted per group
// as the setup-code sheet lists them), and every pair is one that Set applies.
TEST_F(SetupCodeTest, EveryListedCodeGivesPairsThatSetApplies) {
    const std::map<int, int> kListed = {
        {0100, 6}, {0101, 6}, {0102, 6}, {0103, 2}, {0104, 13}, {0105, 10}, {0106, 2}, {0107, 4},
        {0110, 15}, {0111, 12}, {0112, 5}, {0113, 3}, {0114, 3}, {0115, 3}, {0116, 3}, {0117, 5},
        {0120, 5}, {0121, 5}, {0122, 5}, {0124, 9}, {0125, 11}, {0126, 5}, {0127, 10}, {0130, 5},
        {0131, 8}, {0132, 2}, {0201, 10}, {0202, 14}, {0203, 17}, {0204, 16}, {0205, 7}, {0207, 7}};
    ASSERT_EQ(kListed.size(), 32u);
    ZPT_SE_VexoDec_Init();
    std::map<int, int> found;
    int pairsApplied = 0;
    for (int group = 0; group < 01000; ++group) {
        for (int sub = 0; sub < 0100; ++sub) {
            char text[9];
            std::snprintf(text, sizeof text, "999%03o%02o", group, sub);
            SETUP_REQUEST req{1, text, 8, 0, nullptr, nullptr, 0};
            const int status = Par_HandleSetupCode(&req);
            if (status != 0) {
                ASSERT_EQ(status, 3) << text;
                continue;
            }
            ++found[group];
            ASSERT_TRUE(req.pairCount == 1 || req.pairCount == 2) << text;
            const u32 base = (group >= 0200 ? 0x20000u + (group - 0200) * 0x100u : 0x10000u + (group - 0100) * 0x100u);
            for (int i = 0; i < req.pairCount; ++i) {
                const u32 id = req.ids[i];
                const u64 value = req.values[i];
                EXPECT_EQ(id & 0xFFFFFF00u, base) << text;
                ASSERT_EQ(ZPT_SE_VexoDec_Set(id, value), 1) << text << " pair " << i;
                EXPECT_EQ(vexo_test::GetWord(id), static_cast<u32>(value)) << text << " pair " << i;
                ++pairsApplied;
            }
        }
    }
    EXPECT_EQ(found, kListed);
    EXPECT_GT(pairsApplied, 256);
}

// ---- The assembler --------------------------------------------------------------------

class JoinTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        pool_.assign(kJoinPool + 16, 0xCD);
        Join_Init(pool_.data(), kJoinPool);
    }
    static constexpr i32 kJoinPool = 1000;
    std::vector<u8> pool_;
};

// A part of set `setId` (file identifier {7}) with a text of `text`.
struct JoinTestPart {
    JOIN_PART part{};
    std::string text;
    JoinTestPart(const std::string &t, int index, int count, u32 setId = 1, i32 fileIdLength = 1,
                 const char *aim = "]Q1")
        : text(t) {
        part.setId = setId;
        part.length = static_cast<i32>(text.size());
        part.text = reinterpret_cast<const u8 *>(text.data());
        std::memcpy(part.aimId, aim, 3);
        part.index = static_cast<i16>(index);
        part.count = static_cast<i16>(count);
        part.fileIdLength = fileIdLength;
        part.fileId[0] = 7;
    }
    const JOIN_PART *operator&() const { return &part; }
};

std::string JoinReadText(i32 capacity = 2000) {
    std::vector<u8> buf(static_cast<size_t>(capacity) + 8, 0xEE);
    const i32 n = Join_Read(buf.data(), capacity);
    for (size_t i = static_cast<size_t>(capacity); i < buf.size(); ++i) EXPECT_EQ(buf[i], 0xEE);
    return std::string(reinterpret_cast<const char *>(buf.data()), n > 0 ? static_cast<size_t>(n) : 0);
}

struct JoinStep {
    char op;  // 'a' add, 'r' read (expect = text), 'm' mode
    std::string text;
    int index;
    int count;
    u32 setId;
    i32 fileIdLength;
    i32 expect;  // add: result; mode: the mode
    i32 ready;   // after the step (-1: not checked)
};

struct JoinScenario {
    const char *what;
    u32 mode;
    std::vector<JoinStep> steps;
    i32 pool = 1000;
};

void RunJoinScenario(const JoinScenario &s) {
    SCOPED_TRACE(s.what);
    std::vector<u8> pool(static_cast<size_t>(s.pool) + 16, 0xCD);
    Join_Init(pool.data(), s.pool);
    Join_SetMode(s.mode);
    int n = 0;
    for (const JoinStep &st : s.steps) {
        SCOPED_TRACE(n++);
        if (st.op == 'a') {
            JoinTestPart p(st.text, st.index, st.count, st.setId, st.fileIdLength, "]Q3");
            EXPECT_EQ(Join_AddPart(&p), st.expect);
        } else if (st.op == 'r') {
            EXPECT_EQ(JoinReadText(st.expect > 0 ? st.expect : 2000), st.text);
        } else {
            Join_SetMode(static_cast<u32>(st.expect));
        }
        if (st.ready >= 0) {
            EXPECT_EQ(Join_GetReadyLength(), st.ready);
        }
    }
    for (size_t i = static_cast<size_t>(s.pool); i < pool.size(); ++i) ASSERT_EQ(pool[i], 0xCD) << "past the pool";
}

TEST_F(JoinTest, EdgeCasesOfTheDesign) {
    const std::vector<JoinScenario> kScenarios = {
        {"whole set in order 2, 0, 1", kJoinModeWholeSet,
         {{'a', "ccc", 2, 3, 1, 1, 1, 0}, {'a', "aaaa", 0, 3, 1, 1, 2, 0}, {'a', "bb", 1, 3, 1, 1, 3, 9},
          {'r', "aaaabbccc", 0, 0, 0, 0, 0, 0}}},
        {"in order: index 0 ready at once", kJoinModeInOrder,
         {{'a', "ccc", 2, 3, 1, 1, 1, 0}, {'a', "aaaa", 0, 3, 1, 1, 2, 4}, {'a', "bb", 1, 3, 1, 1, 130, 4},
          {'r', "aaaa", 0, 0, 0, 0, 0, 0}, {'a', "bb", 1, 3, 1, 1, 3, 5}, {'r', "bbccc", 0, 0, 0, 0, 0, 0}}},
        {"refusals while collecting", kJoinModeWholeSet,
         {{'a', "aaa", 0, 3, 1, 1, 1, 0}, {'a', "xxx", 0, 3, 1, 1, 135, 0}, {'a', "xxx", 1, 3, 2, 1, 132, 0},
          {'a', "xxx", 1, 3, 1, 2, 133, 0}, {'a', "xxx", 5, 3, 1, 1, 134, 0}, {'a', "xxx", 3, 6, 1, 1, 134, 0},
          {'a', "xxx", 0, 1, 1, 0, 131, 0}, {'a', "xxx", 0, 0, 1, 1, 134, 0}, {'a', "bb", 1, 3, 1, 1, 2, 0},
          {'a', "c", 2, 3, 1, 1, 3, 6}, {'r', "aaabbc", 0, 0, 0, 0, 0, 0}}},
        {"single symbol", kJoinModeSingle,
         {{'a', "hello", 0, 1, 1, 1, 0, 5}, {'a', "x", 0, 1, 1, 1, 130, 5}, {'r', "hello", 0, 0, 0, 0, 0, 0}}},
        {"single mode: index not below count", kJoinModeSingle, {{'a', "x", 3, 3, 1, 1, 256, 0}}},
        {"mode change drops the set", kJoinModeWholeSet,
         {{'a', "aaa", 0, 2, 1, 1, 1, 0}, {'m', "", 0, 0, 0, 0, static_cast<i32>(kJoinModeInOrder), 0},
          {'a', "bb", 1, 2, 1, 1, 1, 0}}},
        // A symbol outside any set, with sets allowed: ready on its own at once.
        {"plain symbol between sets", kJoinModeWholeSet,
         {{'a', "plain", 4, 2, 1, 0, 0, 5}, {'r', "plain", 0, 0, 0, 0, 0, 0}, {'a', "aa", 0, 2, 1, 1, 1, 0}}},
    };
    for (const JoinScenario &s : kScenarios) RunJoinScenario(s);
}

TEST_F(JoinTest, AimIdComesFromTheOpeningPart) {
    Join_SetMode(kJoinModeWholeSet);
    JoinTestPart a("ccc", 1, 2, 1, 1, "]L2");
    JoinTestPart b("aa", 0, 2, 1, 1, "]Q1");
    char aim[3] = {};
    EXPECT_EQ(Join_AddPart(&a), 1);
    EXPECT_EQ(Join_WriteAimId(aim), 0);  // nothing ready
    EXPECT_EQ(Join_AddPart(&b), 3);
    EXPECT_EQ(Join_WriteAimId(aim), 3);
    EXPECT_EQ(std::string(aim, 3), "]L2");
    JoinReadText();
    JoinTestPart bad("x", 0, 1, 1, 0, "Q1]");
    EXPECT_EQ(Join_AddPart(&bad), 0);
    EXPECT_EQ(Join_WriteAimId(aim), 0);
    EXPECT_EQ(std::string(aim, 3), "]X0");
}

TEST_F(JoinTest, TwentyPartSetKeepsTheSeventeenthPending) {
    Join_SetMode(kJoinModeWholeSet);
    std::string all;
    for (int i = 0; i < 20; ++i) {
        JoinTestPart p(std::string(1, static_cast<char>('a' + i)), i, 20);
        const i32 r = Join_AddPart(&p);
        EXPECT_EQ(r, i == 0 ? 1 : (i <= 16 ? 2 : 130)) << i;
        if (i <= 16) all += p.text;
    }
    EXPECT_EQ(Join_GetReadyLength(), 17);
    EXPECT_EQ(JoinReadText(), all);
    // The set stays open for the rest; once part of it is delivered, each continuing part is
    // ready at once.
    for (int i = 17; i < 20; ++i) {
        JoinTestPart p(std::string(1, static_cast<char>('a' + i)), i, 20);
        EXPECT_EQ(Join_AddPart(&p), i == 19 ? 3 : 2);
        EXPECT_EQ(JoinReadText(), p.text);
    }
    JoinTestPart next("z", 0, 2, 9);
    EXPECT_EQ(Join_AddPart(&next), 1);  // the set is over: another may start
}

TEST_F(JoinTest, LengthsAndPool) {
    JoinTestPart tooLong(std::string(kJoinPool + 1, 'x'), 0, 1);
    EXPECT_EQ(Join_AddPart(&tooLong), 128);
    JoinTestPart p("abc", 0, 1);
    for (i32 len : {0, -1, -100000}) {
        p.part.length = len;
        EXPECT_EQ(Join_AddPart(&p), 128) << len;
    }
    p.part.length = 3;
    p.part.text = nullptr;
    EXPECT_EQ(Join_AddPart(&p), 128);
    EXPECT_EQ(Join_AddPart(nullptr), 128);
    // No pool: capacity 0, whatever the caller says.
    Join_Init(nullptr, 500);
    JoinTestPart q("abc", 0, 1);
    EXPECT_EQ(Join_AddPart(&q), 128);
    for (size_t i = kJoinPool; i < pool_.size(); ++i) EXPECT_EQ(pool_[i], 0xCD);
    // An unknown mode falls back to single symbols.
    Join_Init(pool_.data(), kJoinPool);
    Join_SetMode(0x10014);
    EXPECT_EQ(Join_GetMode(), kJoinModeSingle);
}

// A read smaller than the ready text delivers the parts that fit and keeps the rest ready.
TEST_F(JoinTest, SmallReadKeepsTheRest) {
    Join_SetMode(kJoinModeWholeSet);
    JoinTestPart a("aaaa", 0, 3);
    JoinTestPart b("bb", 1, 3);
    JoinTestPart c("ccc", 2, 3);
    EXPECT_EQ(Join_AddPart(&a), 1);
    EXPECT_EQ(Join_AddPart(&b), 2);
    EXPECT_EQ(Join_AddPart(&c), 3);
    EXPECT_EQ(JoinReadText(3), "");
    EXPECT_EQ(Join_GetReadyLength(), 9);
    EXPECT_EQ(JoinReadText(7), "aaaabb");
    EXPECT_EQ(Join_GetReadyLength(), 3);
    JoinTestPart other("z", 0, 1, 2);
    EXPECT_EQ(Join_AddPart(&other), 130);
    EXPECT_EQ(JoinReadText(3), "ccc");
    EXPECT_EQ(Join_AddPart(&other), 3);
    // A single symbol that does not fit stays ready whole.
    Join_Init(pool_.data(), kJoinPool);
    JoinTestPart s("single", 0, 1);
    EXPECT_EQ(Join_AddPart(&s), 0);
    EXPECT_EQ(JoinReadText(5), "");
    EXPECT_EQ(JoinReadText(6), "single");
}

// The faults of the plain design, each with the sound answer.
// The faults of the plain design, each with the sound answer.
TEST_F(JoinTest, MendedFaults) {
    const u32 single = kJoinModeSingle;
    const std::vector<JoinScenario> kScenarios = {
        {"a new set starts at index 0", kJoinModeWholeSet,
         {{'a', "a0", 0, 2, 1, 1, 1, 0}, {'a', "a1", 1, 2, 1, 1, 3, 4}, {'r', "a0a1", 0, 0, 0, 0, 0, 0},
          {'a', "b1", 1, 2, 2, 1, 1, 0}, {'a', "b0", 0, 2, 2, 1, 3, 4}, {'r', "b0b1", 0, 0, 0, 0, 0, 0}}},
        {"single symbols of any index after the first", kJoinModeSingle,
         {{'a', "s0", 0, 9, 1, 1, 0, 2}, {'r', "s0", 0, 0, 0, 0, 0, 0}, {'a', "s3", 3, 9, 1, 1, 0, 2},
          {'r', "s3", 0, 0, 0, 0, 0, 0}, {'a', "s1", 1, 9, 1, 1, 0, 2}, {'r', "s1", 0, 0, 0, 0, 0, 0}}},
        {"a negative index opens no set", kJoinModeWholeSet,
         {{'a', "n", -1, 2, 1, 1, 134, 0}, {'a', "o", 0, 1, 5, 1, 3, 1}, {'r', "o", 0, 0, 0, 0, 0, 0},
          {'m', "", 0, 0, 0, 0, static_cast<i32>(single), 0}, {'a', "n", -1, 2, 1, 1, 256, 0},
          {'a', "p", -3, 0, 1, 0, 0, 1}, {'r', "p", 0, 0, 0, 0, 0, 0}}},
        {"no room with a part pending: the pending one stays", kJoinModeWholeSet,
         {{'a', "11111", 1, 4, 1, 1, 1, 0}, {'a', "2222", 2, 4, 1, 1, 2, 0}, {'a', "3333", 3, 4, 1, 1, 136, 0},
          {'a', "0", 0, 4, 1, 1, 2, 10}, {'r', "0111112222", 0, 0, 0, 0, 0, 0}, {'a', "3333", 3, 4, 1, 1, 3, 4},
          {'r', "3333", 0, 0, 0, 0, 0, 0}},
         8},
        {"a pending part behind a gap stays pending", kJoinModeWholeSet,
         {{'a', "000", 0, 4, 1, 1, 1, 0}, {'a', "2222", 2, 4, 1, 1, 2, 0}, {'a', "3333", 3, 4, 1, 1, 2, 3},
          {'r', "000", 0, 0, 0, 0, 0, 0}, {'a', "111", 1, 4, 1, 1, 3, 11}, {'r', "11122223333", 0, 0, 0, 0, 0, 0},
          {'a', "n", 0, 1, 3, 1, 3, 1}, {'r', "n", 0, 0, 0, 0, 0, 0}},
         10},
        {"a pending part that does not fit the read stays pending", kJoinModeInOrder,
         {{'a', "222", 2, 3, 1, 1, 1, 0}, {'a', "00", 0, 3, 1, 1, 2, 2}, {'r', "", 0, 0, 0, 0, 1, 2},
          {'a', "1", 1, 3, 1, 1, 130, 2}, {'r', "00", 0, 0, 0, 0, 0, 0}, {'a', "1", 1, 3, 1, 1, 3, 4},
          {'r', "1222", 0, 0, 0, 0, 0, 0}},
         4},
        {"the pending part counts among the held indices", kJoinModeWholeSet,
         {{'a', "1111", 1, 3, 1, 1, 1, 0}, {'a', "22", 2, 3, 1, 1, 2, 0}, {'a', "22", 2, 3, 1, 1, 135, 0}},
         4},
        {"in order: a part that would wait but is not next", kJoinModeInOrder,
         {{'a', "1111", 1, 3, 1, 1, 1, 0}, {'a', "22", 2, 3, 1, 1, 136, 0}, {'a', "0", 0, 3, 1, 1, 2, 5},
          {'r', "01111", 0, 0, 0, 0, 0, 0}, {'a', "22", 2, 3, 1, 1, 3, 2}, {'r', "22", 0, 0, 0, 0, 0, 0}},
         4},
    };
    for (const JoinScenario &s : kScenarios) RunJoinScenario(s);
}

TEST_F(JoinTest, RandomCallSequencesKeepTheirPromises) {
    int delivered = 0;
    int joined = 0;
    for (u32 seed = 1; seed <= 600; ++seed) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> bytes(1500);
        for (uint8_t &b : bytes) b = static_cast<uint8_t>(rng());
        vexo_test::JoinModel model;
        std::string why;
        ASSERT_TRUE(model.Run(bytes.data(), bytes.size(), &why)) << "seed " << seed << ": " << why;
        delivered += model.delivered();
        joined += model.joinedReads();
    }
    // The sequences must reach what they test: many parts read, some reads joining a set.
    EXPECT_GT(delivered, 3000);
    EXPECT_GT(joined, 60);
}

}  // namespace
