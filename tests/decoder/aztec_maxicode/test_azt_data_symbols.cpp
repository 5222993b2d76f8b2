// libzint's Aztec module matrices through the data layer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "azt_test_util.h"
#include "support/symbol.h"

namespace {

using azttest::AztTest;

testkit::Symbol Aztec(const std::string &data, int size = 0, int ecc = -1) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_AZTEC;
    in.data = data;
    in.option1 = ecc;
    in.option2 = size;
    return testkit::Encode(in);
}

class AztSymbols : public AztTest {};

TEST_F(AztSymbols, Smoke) {
    for (int size = 1; size <= 36; ++size) {
        const testkit::Symbol s = Aztec(size == 1 ? "Hi 12" : "Hello, World 123", size);
        ASSERT_TRUE(s.ok) << s.error;
        const azttest::Decoded d = azttest::DecodeGrid(s.modules, s.rows);
        EXPECT_EQ(d.status, 0) << "size " << size << " rows " << s.rows;
        EXPECT_EQ(d.text, size == 1 ? "Hi 12" : "Hello, World 123") << size;
    }
}

}  // namespace
