// Shared fixture of the decoder's unit tests: every test starts from the library's state
// at load.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/test_hooks.h"
#include "vexo3.h"

namespace vexo_test {

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override { vexo::Test_ResetDecoderStatics(); }
};

// A text descriptor over a caller buffer, filled with a marker byte to show untouched bytes.
struct TextOut {
    explicit TextOut(uint32_t capacity, uint32_t size = 24, char fill = '#') : bytes(capacity + 8, fill) {
        desc.size = size;
        desc.capacity = capacity;
        desc.length = 0xDEADBEEF;
        desc.reserved = 0;
        desc.buffer = bytes.data();
    }
    std::string Text() const { return std::string(bytes.data(), desc.length); }
    std::vector<char> bytes;
    TEXT_DESC desc{};
};

inline uint32_t GetWord(uint32_t id, int *answer = nullptr) {
    uint32_t v = 0xA5A5A5A5;
    const int a = ZPT_SE_VexoDec_Get(id, &v);
    if (answer != nullptr) *answer = a;
    return v;
}

}  // namespace vexo_test
