// libzint's MaxiCode module matrices through the data layer: the placement and code sets
// checked against fresh symbols of every mode, every byte value, ECI designators of one to
// four codewords, structured append, the carrier message with and without the message
// header, and texts at each mode's capacity.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aztec_maxicode/test_hooks_maxi.h"
#include "decoder_test.h"
#include "maxi_test_util.h"
#include "support/symbol.h"

namespace {

using vexo::i32;
using vexo::u8;

class MaxiSymbols : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::Test_ResetMaxiStatics();
    }
};

testkit::Symbol Maxi(int mode, const std::string &data, const std::string &primary = "", int eci = 0, int saIndex = 0, int saCount = 0) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.data = data;
    in.option1 = mode;
    in.primary = primary;
    in.eci = eci;
    in.structAppIndex = saIndex;
    in.structAppCount = saCount;
    return testkit::Encode(in);
}

// The module bits of a libzint matrix by module index (its odd rows hold 29 positions).
std::vector<i32> Codewords(const testkit::Symbol &s) {
    std::vector<u8> bits(vexo::kMaxiModules, 0);
    for (int m = 0; m < vexo::kMaxiModules; ++m) bits[static_cast<size_t>(m)] = s.Dark(vexo::Maxi_ModuleRow(m), vexo::Maxi_ModuleCol(m)) ? 1 : 0;
    std::vector<i32> cw(vexo::kMaxiCodewords, -1);
    EXPECT_EQ(vexo::Maxi_AssembleCodewords(bits.data(), cw.data()), 144);
    return cw;
}

maxitest::Decoded Read(const testkit::Symbol &s) {
    EXPECT_TRUE(s.ok) << s.error;
    EXPECT_EQ(s.rows, 33);
    EXPECT_EQ(s.cols, 30);
    return maxitest::Decode(Codewords(s));
}

std::string Eci(int value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\%06d", value);
    return buf;
}

constexpr char kGs[] = "\x1D";

struct RoundTrip {
    const char *name;
    testkit::Symbol symbol;
    std::string text;
    u8 aim;
};

TEST_F(MaxiSymbols, RoundTrips) {
    const std::string header = "[)>\x1E" "01\x1D" "96";
    const std::vector<RoundTrip> cases = {
        {"mode 2", Maxi(2, "1Z00004951\x1DUPSN", "152382802840001"),
         std::string("152382802") + kGs + "840" + kGs + "001" + kGs + "1Z00004951\x1DUPSN", '1'},
        {"mode 2 short postal code", Maxi(2, "TEXT", "12345840999"), std::string("12345") + kGs + "840" + kGs + "999" + kGs + "TEXT", '1'},
        {"mode 2 with header", Maxi(2, header + "1Z00004951\x1DUPSN", "152382802840001"),
         header + "152382802" + kGs + "840" + kGs + "001" + kGs + "1Z00004951\x1DUPSN", '1'},
        {"mode 3", Maxi(3, "hello", "B1050 056999"), std::string("B1050") + kGs + "056" + kGs + "999" + kGs + "hello", '1'},
        {"mode 3 with header", Maxi(3, header + "x", "AB12  826001"), header + "AB12" + kGs + "826" + kGs + "001" + kGs + "x", '1'},
        {"mode 3 with ECI", Maxi(3, "\xE9t\xE9", "AB12  826001", 3), std::string("AB12") + kGs + "826" + kGs + "001" + kGs + Eci(3) + "\xE9t\xE9", '3'},
        {"mode 4", Maxi(4, "Mode 4: standard symbol, 123456789 digits"), "Mode 4: standard symbol, 123456789 digits", '0'},
        {"mode 5", Maxi(5, "Enhanced error correction"), "Enhanced error correction", '0'},
        {"mode 6", Maxi(6, "READER PROGRAMMING"), "READER PROGRAMMING", 0},
        {"ECI 3", Maxi(4, "abc", "", 3), Eci(3) + "abc", '2'},
        {"ECI 899", Maxi(4, "abc", "", 899), Eci(899) + "abc", '2'},
        {"ECI 20,000", Maxi(4, "abc", "", 20000), Eci(20000) + "abc", '2'},
        {"ECI 123,456", Maxi(5, "abc", "", 123456), Eci(123456) + "abc", '2'},
        {"structured append 2 of 3", Maxi(4, "PART TWO", "", 0, 2, 3), "PART TWO", '0'},
    };
    for (const RoundTrip &c : cases) {
        SCOPED_TRACE(c.name);
        vexo::g_maxiState.aimModifier = 'x';
        const auto d = Read(c.symbol);
        ASSERT_EQ(d.status, 0);
        EXPECT_EQ(d.text, c.text);
        EXPECT_EQ(vexo::g_maxiState.aimModifier, c.aim);
    }
    EXPECT_EQ(vexo::g_maxiState.append.position, 2);
    EXPECT_EQ(vexo::g_maxiState.append.count, 3);
    EXPECT_EQ(vexo::g_maxiState.append.present, 1);
}

// A set of 8 is valid in the standard; this decoder refuses position or count 8.
TEST_F(MaxiSymbols, SetOfEightIsRefused) {
    for (int index : {1, 8}) {
        const testkit::Symbol s = Maxi(4, "EIGHT", "", 0, index, 8);
        ASSERT_TRUE(s.ok) << s.error;
        EXPECT_EQ(Read(s).status, -1) << index;
    }
    EXPECT_EQ(vexo::g_maxiState.append.present, 0);
}

// Every byte value through the code sets, in slices that fit a symbol.
TEST_F(MaxiSymbols, EveryByte) {
    for (int start = 0; start < 256; start += 32) {
        std::string data;
        for (int b = start; b < start + 32; ++b) data += static_cast<char>(b);
        for (int mode : {4, 5}) {
            SCOPED_TRACE("bytes from " + std::to_string(start) + " mode " + std::to_string(mode));
            const auto d = Read(Maxi(mode, data));
            ASSERT_EQ(d.status, 0);
            EXPECT_EQ(d.text, data);
        }
    }
}

// The longest repetitions libzint fits into each mode: capacity texts decode exactly.
TEST_F(MaxiSymbols, CapacityTexts) {
    struct Unit {
        int mode;
        std::string unit;
        std::string primary;
    };
    const std::vector<Unit> units = {
        {2, "A", "152382802840001"}, {3, "a", "AB12  826001"},  {4, "A", ""},          {4, "1234567890", ""},
        {4, "\xC0", ""},            {5, "A", ""},              {5, "Ab1\xE9", ""},      {6, "A", ""},
        {4, "\\", ""},
    };
    for (const Unit &u : units) {
        SCOPED_TRACE("mode " + std::to_string(u.mode) + " unit " + u.unit);
        std::string data;
        const testkit::Symbol s = testkit::LongestRepeat(u.unit, 200, [&](const std::string &d) { return Maxi(u.mode, d, u.primary); }, &data);
        ASSERT_TRUE(s.ok);
        ASSERT_FALSE(data.empty());
        const auto d = Read(s);
        ASSERT_EQ(d.status, 0);
        if (u.mode == 2) {
            EXPECT_EQ(d.text, std::string("152382802") + kGs + "840" + kGs + "001" + kGs + data);
        } else if (u.mode == 3) {
            EXPECT_EQ(d.text, std::string("AB12") + kGs + "826" + kGs + "001" + kGs + data);
        } else {
            EXPECT_EQ(d.text, data);
        }
    }
}

}  // namespace
