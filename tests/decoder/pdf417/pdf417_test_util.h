// Test side of the PDF417 family's codeword stages: a small encoder of codeword streams (text,
// numeric and byte compaction, ECI, Macro PDF417 blocks), check codewords over GF(929), and
// a buffer with canary bytes behind the capacity handed to a decoder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/test_hooks.h"
#include "pdf417_data.h"
#include "pdf417/pdf417_state.h"

namespace pdf_test {

class PdfTest : public ::testing::Test {
protected:
    void SetUp() override { vexo::Test_ResetDecoderStatics(); }
};

inline std::string Str(const uint8_t *p, int n) {
    return n > 0 ? std::string(reinterpret_cast<const char *>(p), static_cast<size_t>(n)) : std::string();
}


// Escapes bytes for failure messages.
std::string Printable(const std::string &s);

// A decoder's output buffer: `capacity` bytes, then canary bytes that must stay untouched.
struct Canary {
    static constexpr uint8_t kFill = 0xC5;
    static constexpr int kGuard = 32;
    explicit Canary(int capacity) : capacity(capacity), bytes(static_cast<size_t>(capacity) + kGuard, kFill) {}
    uint8_t *data() { return bytes.data(); }
    bool Intact() const {
        for (size_t i = static_cast<size_t>(capacity); i < bytes.size(); ++i) {
            if (bytes[i] != kFill) return false;
        }
        return true;
    }
    std::string Text(int n) const { return Str(bytes.data(), n); }
    int capacity;
    std::vector<uint8_t> bytes;
};

// Builds a stream of data codewords as an encoder would.
class Encoder {
public:
    Encoder &Raw(std::initializer_list<int> values) {
        cw.insert(cw.end(), values);
        return *this;
    }
    // 900 and text compaction (Alpha, Lower, Mixed and Punctuation with latches and shifts;
    // bytes of no sub-mode through 913).
    Encoder &Text(const std::string &s, bool latch = true);
    // 902 and groups of 44 digits behind a leading 1.
    Encoder &Numeric(const std::string &digits, bool latch = true);
    // 924 for a multiple of six bytes, else 901: six-byte groups as five codewords, the rest
    // one codeword each.
    Encoder &Bytes(const std::string &bytes);
    // 927, 926 or 925 by the designator's size.
    Encoder &Eci(int value);
    // 928, segment index, file id, optional fields (designator, codewords) and 922 when last.
    Encoder &Macro(int segmentIndex, const std::vector<int> &fileId,
                   const std::vector<std::pair<int, std::vector<int>>> &fields, bool last);
    std::vector<int> cw;
};

// A Macro block with every optional field (designators 0-6: segment count 2, checksum 100),
// ended by 922.
std::vector<int> EveryFieldBlock(int segmentIndex, const std::vector<int> &fileId, const std::string &name,
                                 const std::vector<int> &timeStamp, const std::string &sender,
                                 const std::string &addressee, const std::string &fileSizeDigits);

// Text compaction codewords of s, without a latch.
std::vector<int> TextCodewords(const std::string &s);
// Numeric compaction codewords of the digits, without a latch.
std::vector<int> NumericCodewords(const std::string &digits);

// The length descriptor in front of the data.
std::vector<int> WithDescriptor(const std::vector<int> &data);
// Appends checkCount check codewords over GF(929) (roots 3^1..3^N, highest degree first).
std::vector<int> WithCheck(const std::vector<int> &data, int checkCount);
// Whether every syndrome of the block is zero.
bool SyndromesZero(const std::vector<int> &block, int checkCount);

// A composite bit stream as a string of '0' and '1'.
class BitString {
public:
    BitString &Put(uint32_t value, int n) {
        for (int k = n - 1; k >= 0; --k) bits.push_back(((value >> k) & 1u) != 0 ? '1' : '0');
        return *this;
    }
    BitString &Add(const std::string &b) {
        bits += b;
        return *this;
    }
    std::string bits;
};

// The bit stream as CC-A codewords: zero bits up to the next length of k base-928 codewords
// (10k - 1 bits in the last group of seven), each group a base-928 number.
std::vector<int> BitsToBase928(const std::string &bits);
// The bit stream as CC-B data: 920, then the bytes (zero bits to a whole byte) in byte
// compaction.
std::vector<int> BitsToByteCodewords(const std::string &bits);

// The GS1 element strings as this decoder writes them: AIs as digits, no brackets.
std::string Plain(const std::string &gs1);
// Element strings of composite components, for every component type.
const std::vector<std::string> &CompositeData();

}  // namespace pdf_test
