// Decode results: two-code texts, AIM identifiers and the result log lines.
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <vector>

#include "wrapper_test.h"
#include "zptlog.h"

namespace {

class DecodeResultsTest : public WrapperTest {};

std::vector<uint8_t> bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> out;
    for (int b : list) out.push_back(static_cast<uint8_t>(b));
    return out;
}

// A buffer of exactly n bytes on the heap, so that ASan sees a read past it.
std::unique_ptr<uint8_t[]> exact(const std::vector<uint8_t> &content, size_t n) {
    std::unique_ptr<uint8_t[]> p(new uint8_t[n]);
    memset(p.get(), 0, n);
    memcpy(p.get(), content.data(), content.size() < n ? content.size() : n);
    return p;
}

TEST_F(DecodeResultsTest, TwoCodeTexts) {
    const std::vector<uint8_t> two = bytes({2, 0, 3, 0, 'a', 'b', 'c', 2, 0, 'd', 'e'});
    std::vector<uint8_t> long_first = bytes({2, 0, 0x2C, 0x01});
    long_first.insert(long_first.end(), 300, 'x');
    long_first.insert(long_first.end(), {1, 0, 'y'});
    struct Case {
        const char *name;
        std::vector<uint8_t> text;
        int32_t total;
        int32_t want, len1, len2;  // -1: not written
    };
    const Case cases[] = {
        {"two codes", two, 11, 2, 3, 2},
        {"one byte more than the codes", two, 12, 1, 3, 2},
        {"a first code of 300 bytes", long_first, 307, 2, 300, 1},
        {"not the two-code mark", bytes({2, 1, 3, 0, 'a', 'b', 'c', 2, 0, 'd', 'e'}), 11, 1, -1, -1},
        {"first length past the text", bytes({2, 0, 9, 0, 'a', 'b', 'c'}), 7, 1, 9, -1},
        {"second length inside, too long", bytes({2, 0, 1, 0, 'a', 9, 0, 'b'}), 8, 1, 1, 9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto text = exact(c.text, static_cast<size_t>(c.total));
        int32_t len1 = -1, len2 = -1;
        EXPECT_EQ(Decode_Is_TwoCode_From_Decoder(text.get(), c.total, &len1, &len2), c.want);
        EXPECT_EQ(len1, c.len1);
        EXPECT_EQ(len2, c.len2);
    }
}

TEST_F(DecodeResultsTest, ShortTotalsReadNothingPastTheirBuffer) {
    const std::vector<uint8_t> mark = bytes({2, 0, 0, 0, 0, 0});
    for (int32_t total = 0; total <= 5; ++total) {
        SCOPED_TRACE(total);
        auto text = exact(mark, total > 0 ? static_cast<size_t>(total) : 1);
        int32_t len1 = -1, len2 = -1;
        EXPECT_EQ(Decode_Is_TwoCode_From_Decoder(text.get(), total, &len1, &len2), 1);
        EXPECT_EQ(len1, -1);
        EXPECT_EQ(len2, -1);
    }
    EXPECT_EQ(Decode_Is_TwoCode_From_Decoder(nullptr, 11, nullptr, nullptr), 1);
}

TEST_F(DecodeResultsTest, AimIdentifiers) {
    struct Case {
        std::string source;
        int32_t type;
        std::string out;
    };
    const Case cases[] = {
        {"]E012345678", 6, "12345678"},
        {"]E01234567890123", 5, "1234567890123"},
        {"]E1123456", 4, "123456"},
        {"]C3ABC", 0, "]C3ABC"},
        {"]C0ABC", 2, "ABC"},
        {"]C1ABC", 36, "ABC"},
        {"]C2ABC", 15, "ABC"},
        {"]C4ABC", 29, "ABC"},
        {"]A0X", 11, "X"},
        {"]Q1hello", 27, "hello"},
        {"]X4z", 17, "z"},
        {"]X5z", 25, "z"},
        {"]X0z", 19, "z"},
        {"]X3z", 19, "z"},
        {"]X6z", 0, "]X6z"},
        {"]d2xy", 28, "xy"},
        {"]e0xy", 33, "xy"},
        {"]E1", 4, ""},
        {"]B0xy", 0, "]B0xy"},
        {"]q1xy", 0, "]q1xy"},
        {"plain", 0, "plain"},
        // Too short for an identifier: copied whole.
        {"]", 0, "]"},
        {"]A", 0, "]A"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        int32_t n = static_cast<int32_t>(c.source.size());
        auto source = exact(std::vector<uint8_t>(c.source.begin(), c.source.end()), c.source.size());
        std::vector<char> out(c.source.size(), '#');
        int32_t type = -7;
        int32_t copied = ResultAIMIDTran(reinterpret_cast<const char *>(source.get()), n, out.data(), &type);
        EXPECT_EQ(type, c.type);
        ASSERT_EQ(copied, static_cast<int32_t>(c.out.size()));
        EXPECT_EQ(std::string(out.data(), static_cast<size_t>(copied)), c.out);
    }
    int32_t type = -7;
    char out[4];
    EXPECT_EQ(ResultAIMIDTran("]E0", 0, out, &type), 0);
    EXPECT_EQ(ResultAIMIDTran(nullptr, 3, out, &type), 0);
    EXPECT_EQ(ResultAIMIDTran("]E0", 3, nullptr, &type), 0);
    EXPECT_EQ(type, -7) << "left alone";
}

class LogResultTest : public DecodeResultsTest {
  protected:
    void SetUp() override {
        DecodeResultsTest::SetUp();
        saved_level_ = log_get_level();
        snprintf(record_.name, sizeof record_.name, "CAM1");
        state_.mResult.data = data_;
        record_.common = &state_;
    }
    void TearDown() override {
        log_set_level(saved_level_);
        DecodeResultsTest::TearDown();
    }
    // A descriptor over an exactly sized heap buffer that the decoder did not terminate.
    TEXT_DESC describe(const std::vector<uint8_t> &text) {
        buffer_ = exact(text, text.size());
        return TEXT_DESC{sizeof(TEXT_DESC), static_cast<uint32_t>(text.size()), static_cast<uint32_t>(text.size()), 0,
                         reinterpret_cast<char *>(buffer_.get())};
    }
    ENGINE_RECORD record_{};
    COMMON_STATE state_{};
    uint8_t data_[64] = {};
    std::unique_ptr<uint8_t[]> buffer_;
    uint32_t saved_level_ = 0;
};

TEST_F(LogResultTest, OneCodeIsLoggedToItsLength) {
    state_.mResult.kind = 1;
    state_.mResult.codeId = 0x1a;
    state_.mResult.len2 = 9;
    TEXT_DESC d = describe(bytes({'H', 'E', 'L', 'L', 'O'}));
    LogResult(&record_, &d);
    EXPECT_EQ(state_.mResult.len2, 0u);
    EXPECT_TRUE(logged("CAM1: Decode OK, data:(5)(1a)(HELLO) ********************"));
}

TEST_F(LogResultTest, TwoCodesAreLoggedApartOnlyAtTheResultLevel) {
    state_.mResult.kind = 2;
    state_.mResult.len1 = 3;
    state_.mResult.len2 = 2;
    TEXT_DESC d = describe(bytes({2, 0, 3, 0, 'a', 'b', 'c', 2, 0, 'd', 'e'}));
    log_set_level(0xFF & ~LOG_LEVEL_RESULT);
    LogResult(&record_, &d);
    EXPECT_FALSE(logged("Decode OK"));
    log_set_level(0xFF);
    LogResult(&record_, &d);
    EXPECT_TRUE(logged("CAM1: Decode OK, data:(3) Code 1(abc) ********************"));
    EXPECT_TRUE(logged("CAM1: Decode OK, data:(2) Code 2(de) ********************"));
    // Lengths beyond the descriptor's text: only what lies inside is read (ASan).
    state_.mResult.len1 = 5;
    state_.mResult.len2 = 40;
    LogResult(&record_, &d);
    EXPECT_TRUE(logged("CAM1: Decode OK, data:(5) Code 1(abc"));
    EXPECT_TRUE(logged("CAM1: Decode OK, data:(40) Code 2() ********************"));
    state_.mResult.kind = 3;
    LogResult(&record_, &d);
    LogResult(nullptr, &d);
    LogResult(&record_, nullptr);
}

}  // namespace
