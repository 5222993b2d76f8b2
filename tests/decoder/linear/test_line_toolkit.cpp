// The linear toolkit: check digits, the length test, table search, the GS1 DataBar width
// arithmetic and the read history.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "linear/databar_lines.h"
#include "linear/line_toolkit.h"

namespace {

using namespace vexo;

TEST(LineToolkit, CheckDigits) {
    struct Case {
        std::vector<uint8_t> digits;
        int mod10;  // Line_CheckDigitMod10 and Line_Gs1CheckDigit
        int w49;
    };
    const Case cases[] = {
        {{4, 0, 0, 6, 3, 8, 1, 3, 3, 3, 9, 3}, 1, 8},  // sum 89 with weights 1, 3, ... 3
        {{9, 5, 0, 1, 1, 0, 1, 5, 3, 0, 0, 0}, 3, 0},  // GTIN-13 9501101530003
        {{5, 5}, 0, 5},                                // sum 20: 0, never 10
        {{5}, 5, 0},                                   // 4 x 5 = 20 gives 0
        {{1, 2}, 3, 3},                                // 4 x 2 + 9 x 1 = 17 gives 3
        {{0}, 0, 0},
    };
    for (const Case &c : cases) {
        const uint16_t n = static_cast<uint16_t>(c.digits.size());
        EXPECT_EQ(Line_CheckDigitMod10(c.digits.data(), n), c.mod10) << c.digits.size();
        EXPECT_EQ(Line_Gs1CheckDigit(c.digits.data(), n), c.mod10);
        EXPECT_EQ(Line_CheckDigitWeights49(c.digits.data(), n), c.w49);
    }
    const uint8_t one = 7;
    EXPECT_EQ(Line_CheckDigitMod10(nullptr, 3), 0);
    EXPECT_EQ(Line_CheckDigitMod10(&one, 0), 0);
    EXPECT_EQ(Line_CheckDigitWeights49(nullptr, 3), 0);
    EXPECT_EQ(Line_CheckDigitWeights49(&one, 0), 0);
    EXPECT_EQ(Line_Gs1CheckDigit(nullptr, 3), -1);
    EXPECT_EQ(Line_Gs1CheckDigit(&one, 0), 0);
}

TEST(LineToolkit, LengthTest) {
    struct Case {
        uint16_t length, a, b;
        int allowed;
    };
    const Case cases[] = {
        {5, 10, 4, 0},  {10, 10, 4, 1}, {4, 10, 4, 1},  // minimum above maximum: the two limits only
        {0, 0, 255, 0}, {1, 0, 255, 1}, {255, 1, 255, 1}, {256, 1, 255, 0},
        {3, 4, 8, 0},   {4, 4, 8, 1},   {8, 4, 8, 1},   {9, 4, 8, 0},
        {7, 7, 7, 1},   {6, 7, 7, 0},   {0, 0, 0, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Line_IsLengthAllowed(c.length, c.a, c.b), c.allowed) << c.length << " " << c.a << " " << c.b;
}

TEST(LineToolkit, TableSearchAndTextEquals) {
    const int32_t table[] = {7, 3, 9, 3, 42};
    EXPECT_EQ(Line_FindInTable(table, 5, 42), 4);
    EXPECT_EQ(Line_FindInTable(table, 5, 3), 1);
    EXPECT_EQ(Line_FindInTable(table, 4, 42), -1);
    EXPECT_EQ(Line_FindInTable(table, 0, 7), -1);
    EXPECT_EQ(Line_FindInTable(nullptr, 5, 7), -1);

    const uint8_t a[] = {1, 2, 3};
    const uint8_t b[] = {1, 2, 4};
    EXPECT_EQ(Line_TextEquals(a, b, 2), 1);
    EXPECT_EQ(Line_TextEquals(a, b, 3), 0);
    EXPECT_EQ(Line_TextEquals(a, b, 0), 1);
    EXPECT_EQ(Line_TextEquals(nullptr, nullptr, 0), 1);
}

// ---- GS1 DataBar widths.

TEST(LineToolkit, DataBarValueRoundTripsEveryCharacterOfEveryGroup) {
    // One half of a character group: modules, widest element, no-narrow flag and the number
    // of values (ISO/IEC 24724's group tables: omnidirectional outside and inside
    // characters, Expanded, Limited).
    struct Half {
        int modules, widest, noNarrow, values;
    };
    struct Group {
        const char *name;
        int elements;
        Half odd, even;
    };
    const Group groups[] = {
        {"outside 0", 4, {12, 8, 1, 161}, {4, 1, 0, 1}},      {"outside 1", 4, {10, 6, 1, 80}, {6, 3, 0, 10}},
        {"outside 2", 4, {8, 4, 1, 31}, {8, 5, 0, 34}},       {"outside 3", 4, {6, 3, 1, 10}, {10, 6, 0, 70}},
        {"outside 4", 4, {4, 1, 1, 1}, {12, 8, 0, 126}},      {"inside 0", 4, {5, 2, 0, 4}, {10, 7, 1, 84}},
        {"inside 1", 4, {7, 4, 0, 20}, {8, 5, 1, 35}},        {"inside 2", 4, {9, 6, 0, 48}, {6, 3, 1, 10}},
        {"inside 3", 4, {11, 8, 0, 81}, {4, 1, 1, 1}},        {"expanded 0", 4, {12, 7, 0, 87}, {5, 2, 1, 4}},
        {"expanded 1", 4, {10, 5, 0, 52}, {7, 4, 1, 20}},     {"expanded 2", 4, {8, 4, 0, 30}, {9, 5, 1, 52}},
        {"expanded 3", 4, {6, 3, 0, 10}, {11, 6, 1, 104}},    {"expanded 4", 4, {4, 1, 0, 1}, {13, 8, 1, 204}},
        {"limited 0", 7, {17, 6, 1, 6538}, {9, 3, 0, 28}},    {"limited 1", 7, {13, 5, 1, 875}, {13, 4, 0, 728}},
        {"limited 2", 7, {9, 3, 1, 28}, {17, 6, 0, 6454}},    {"limited 3", 7, {15, 5, 1, 2415}, {11, 4, 0, 203}},
        {"limited 4", 7, {11, 4, 1, 203}, {15, 5, 0, 2408}},  {"limited 5", 7, {19, 8, 1, 16632}, {7, 1, 0, 1}},
        {"limited 6", 7, {7, 1, 1, 1}, {19, 8, 0, 16632}},
    };
    for (const Group &g : groups) {
        for (const Half &h : {g.odd, g.even}) {
            SCOPED_TRACE(std::string(g.name) + (&h == &g.odd ? " odd" : " even"));
            std::set<std::vector<int32_t>> seen;
            int failures = 0;
            for (int v = 0; v < h.values && failures < 3; ++v) {
                const std::vector<int32_t> w = linetest::DataBarWidths(v, h.modules, g.elements, h.widest, h.noNarrow);
                int sum = 0;
                bool narrow = false;
                for (int32_t x : w) {
                    sum += x;
                    narrow = narrow || x == 1;
                    EXPECT_TRUE(x >= 1 && x <= h.widest) << "value " << v;
                }
                EXPECT_EQ(sum, h.modules) << "value " << v;
                EXPECT_TRUE(narrow || h.noNarrow != 0) << "value " << v;
                EXPECT_TRUE(seen.insert(w).second) << "value " << v;
                const int back = Line_DataBarValue(w.data(), g.elements, h.widest, h.noNarrow);
                if (back != v) ++failures;
                EXPECT_EQ(back, v);
            }
        }
    }
}

TEST(LineToolkit, DataBarValueRefusesWidthsNoCharacterHas) {
    const int32_t fine[] = {2, 1, 5, 4};
    EXPECT_EQ(Line_DataBarValue(fine, 4, 8, 1), 46);
    const int32_t zero[] = {2, 0, 5, 4};
    const int32_t huge[] = {2, 1, 5, 40};
    const int32_t nine[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(Line_DataBarValue(zero, 4, 8, 1), -1);
    EXPECT_EQ(Line_DataBarValue(huge, 4, 8, 1), -1);
    EXPECT_EQ(Line_DataBarValue(nine, 9, 8, 1), -1);
    EXPECT_EQ(Line_DataBarValue(fine, 0, 8, 1), -1);
    EXPECT_EQ(Line_DataBarValue(fine, 4, 0, 1), -1);
    EXPECT_EQ(Line_DataBarValue(nullptr, 4, 8, 1), -1);
}

TEST(LineToolkit, PairsToWidths) {
    struct Case {
        const char *name;
        bool even;
        std::vector<int32_t> pairs;
        int total;
        std::vector<int32_t> widths;
    };
    const Case cases[] = {
        {"odd: shifted so the narrowest odd element is 1", false, {3, 4, 5, 3, 4, 5}, 16, {2, 1, 3, 2, 1, 3, 2, 2}},
        {"odd: a first guess too narrow", false, {4, 2}, 7, {3, 1, 1, 2}},
        {"odd: narrowest odd element already 1, unadjusted", false, {3, 4, 3, 4, 4, 2}, 14, {1, 2, 2, 1, 3, 1, 1, 3}},
        {"odd: a shift of at most 9", false, {13, 2}, 15, {10, 3, -1, 3}},
        {"even: shifted so the narrowest even element is 1", true, {3, 5}, 8, {1, 2, 3, 2}},
        {"even: narrowest even element at 1, unadjusted", true, {9, 2}, 12, {8, 1, 1, 2}},
        {"one pair of elements", true, {}, 9, {1, 8}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int32_t> w(c.widths.size() + 1, 0x5A5A);  // one canary behind
        const int h = static_cast<int>(c.widths.size() / 2);
        if (c.even)
            Line_PairsToWidthsEven(c.pairs.data(), w.data(), c.total, h);
        else
            Line_PairsToWidthsOdd(c.pairs.data(), w.data(), c.total, h);
        EXPECT_EQ(std::vector<int32_t>(w.begin(), w.end() - 1), c.widths);
        EXPECT_EQ(w.back(), 0x5A5A);
    }
    int32_t untouched = 0x5A5A;
    const int32_t pair = 3;
    Line_PairsToWidthsOdd(&pair, &untouched, 9, 0);
    EXPECT_EQ(untouched, 0x5A5A);
}

// ---- The read history and the multi-read flags.

class ReadHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        lineMultiReadFlags = 0;
        lineCleanRead = 0;
    }
    void TearDown() override {
        lineMultiReadFlags = 0;
        lineCleanRead = 0;
    }
};

TEST_F(ReadHistoryTest, AcceptanceAsSequences) {
    struct Step {
        bool clean;
        std::string text;
        int accepted;
        bool confirmed;  // bit 14 afterwards
        bool pending;    // bit 15 afterwards
        int equalCount;
    };
    struct Sequence {
        const char *name;
        std::vector<Step> steps;
    };
    const Sequence sequences[] = {
        {"a clean read equal to the held one sets bit 14",
         {{false, "123", 0, false, true, 0}, {true, "123", 1, true, true, 0}}},
        {"a clean read that differs clears bits 14 and 15",
         {{false, "123", 0, false, true, 0}, {true, "124", 1, false, false, 0}}},
        {"a clean read against an empty history clears both",
         {{true, "123", 1, false, false, 0}, {true, "123", 1, false, false, 0}}},
        {"an unclean read is accepted on its fourth sighting",
         {{false, "ABC", 0, false, true, 0},
          {false, "ABC", 0, false, true, 1},
          {false, "ABC", 0, false, true, 2},
          {false, "ABC", 1, true, false, 0},
          {false, "ABC", 0, true, true, 0}}},
        {"a differing read in between starts the count again",
         {{false, "ABC", 0, false, true, 0},
          {false, "ABC", 0, false, true, 1},
          {false, "ABD", 0, false, true, 0},
          {false, "ABC", 0, false, true, 0},
          {false, "ABC", 0, false, true, 1},
          {false, "ABC", 0, false, true, 2},
          {false, "ABC", 1, true, false, 0}}},
        {"a shorter read is a differing read",
         {{false, "ABC", 0, false, true, 0}, {false, "AB", 0, false, true, 0}, {false, "ABC", 0, false, true, 0}}},
        {"empty reads count like any other",
         {{false, "", 0, false, true, 0},
          {false, "", 0, false, true, 1},
          {false, "", 0, false, true, 2},
          {false, "", 1, true, false, 0}}},
        {"a clean read between unclean ones empties the history",
         {{false, "ABC", 0, false, true, 0},
          {false, "ABC", 0, false, true, 1},
          {true, "ABC", 1, true, true, 0},
          {false, "ABC", 0, true, true, 0}}},
    };
    for (const Sequence &s : sequences) {
        SCOPED_TRACE(s.name);
        LINE_READ_HISTORY h{};
        lineMultiReadFlags = 0;
        for (size_t i = 0; i < s.steps.size(); ++i) {
            const Step &st = s.steps[i];
            lineCleanRead = st.clean ? 1 : 0;
            const int accepted = Line_AcceptRead(&h, reinterpret_cast<const uint8_t *>(st.text.data()),
                                                 static_cast<uint16_t>(st.text.size()));
            EXPECT_EQ(accepted, st.accepted) << "step " << i;
            EXPECT_EQ(Line_IsMultiReadConfirmed(), st.confirmed ? 1 : 0) << "step " << i;
            EXPECT_EQ(Line_IsMultiReadPending(), st.pending ? 1 : 0) << "step " << i;
            EXPECT_EQ(h.equalCount, st.equalCount) << "step " << i;
            if (accepted == 1) {
                EXPECT_EQ(h.held, 0) << "step " << i;  // an accepted read empties the history
                EXPECT_EQ(h.storedLength, 0) << "step " << i;
            } else {
                EXPECT_EQ(h.held, 1) << "step " << i;
                EXPECT_EQ(std::string(reinterpret_cast<const char *>(h.text), h.storedLength), st.text);
            }
        }
    }
}

TEST_F(ReadHistoryTest, ReadsLongerThanTheHistoryAreNeverConfirmed) {
    struct Guarded {
        LINE_READ_HISTORY h;
        uint8_t canary[128];
    } g;
    std::memset(&g, 0, sizeof g);
    std::memset(g.canary, 0xC5, sizeof g.canary);
    const std::string longRead(200, 'Q');
    const auto *text = reinterpret_cast<const uint8_t *>(longRead.data());
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Line_AcceptRead(&g.h, text, 200), 0) << i;
    EXPECT_EQ(g.h.held, 0);
    EXPECT_EQ(g.h.storedLength, 0);
    EXPECT_EQ(g.h.text[0], 0);
    for (uint8_t c : g.canary) ASSERT_EQ(c, 0xC5);

    // A held read stays held across a long one.
    EXPECT_EQ(Line_AcceptRead(&g.h, text, 5), 0);
    EXPECT_EQ(Line_AcceptRead(&g.h, text, 200), 0);
    EXPECT_EQ(g.h.storedLength, 5);
    EXPECT_EQ(g.h.held, 1);
    // 128 bytes still fit and confirm.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Line_AcceptRead(&g.h, text, 128), 0);
    EXPECT_EQ(Line_AcceptRead(&g.h, text, 128), 1);
    for (uint8_t c : g.canary) ASSERT_EQ(c, 0xC5);
    // A clean long read is accepted at once.
    lineCleanRead = 1;
    EXPECT_EQ(Line_AcceptRead(&g.h, text, 200), 1);
}

}  // namespace
