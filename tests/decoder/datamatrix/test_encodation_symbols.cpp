// ECC 200 encodation on libzint's symbols: C40 and Text with every shift set and the upper
// shift, X12, EDIFACT, Base 256 of every short length and the long form, ECI with and
// without FNC1, GS1, structured append with FNC1 behind its header, reader programming, the
// two macros and the codeword dump; exact bytes and AIM modifiers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dm_symbols_util.h"
#include "dm_test_util.h"

namespace {

using dmtest::DmTest;

class EncodationSymbols : public DmTest {
protected:
    // Decodes libzint's symbol of these bytes; the mapping matrix must be in the table.
    static dmtest::Decoded Read(const testkit::SymbolInput &in) {
        const testkit::Symbol s = testkit::Encode(in);
        EXPECT_TRUE(s.ok) << s.error;
        const dmtest::Mapping m = dmtest::MappingOf(s);
        return dmtest::DecodeMatrix(m.m, m.rows, m.cols);
    }
    static dmtest::Decoded Read(const std::string &data, int size = 0) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_DATAMATRIX;
        in.data = data;
        in.option2 = size;
        return Read(in);
    }
};

std::vector<int> DataCodewords() {
    return std::vector<int>(vexo::g_dmData.codewords, vexo::g_dmData.codewords + vexo::g_dmData.dataCount);
}

// The C40 or Text values of every segment that follows the latch, as the codewords carry
// them (the data is chosen so that no other codeword equals the latch).
std::vector<int> SegmentValues(int latch) {
    const std::vector<int> cw = DataCodewords();
    std::vector<int> values;
    for (size_t i = 0; i < cw.size(); ++i) {
        if (cw[i] != latch) continue;
        size_t j = i + 1;
        for (; j + 1 < cw.size() && cw[j] != 254 && cw[j] != 129; j += 2) {
            const int v = 256 * cw[j] + cw[j + 1] - 1;
            values.insert(values.end(), {v / 1600, v % 1600 / 40, v % 40});
        }
        i = j;
    }
    return values;
}

bool HasPair(const std::vector<int> &values, int a, int b) {
    for (size_t i = 0; i + 1 < values.size(); ++i) {
        if (values[i] == a && values[i + 1] == b) return true;
    }
    return false;
}

TEST_F(EncodationSymbols, C40AndTextWithEveryShiftAndTheUpperShift) {
    struct Case {
        const char *name;
        std::string data;
        int latch;
    };
    const Case cases[] = {
        {"C40", "ABCDEFGHIJ\x01KLMNOPQRST!UVWXYZABCD`EFGHIJKLMN\xC1OPQRSTUVWX 0123", 230},
        {"Text", "abcdefghij\x01klmnopqrst!uvwxyzabcd`efghijklmn\xE1opqrstuvwx 0123", 239},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const dmtest::Decoded d = Read(c.data);
        EXPECT_EQ(d.status, 0);
        EXPECT_EQ(d.text, c.data);
        EXPECT_EQ(dmtest::Aim(), '1');
        const std::vector<int> v = SegmentValues(c.latch);
        ASSERT_FALSE(v.empty());
        EXPECT_TRUE(HasPair(v, 0, 1)) << "shift 1";
        EXPECT_TRUE(HasPair(v, 1, 0)) << "shift 2";
        EXPECT_TRUE(HasPair(v, 2, 0)) << "shift 3";
        EXPECT_TRUE(HasPair(v, 1, 30)) << "upper shift";
    }
}

TEST_F(EncodationSymbols, X12AndEdifact) {
    const std::string x12 = "ABC*DEF>123\rGHI*JKL>456\rMNO*PQR>789\r";
    EXPECT_EQ(Read(x12).text, x12);
    EXPECT_NE(std::find(DataCodewords().begin(), DataCodewords().end(), 238), DataCodewords().end());
    const std::string edifact = "A.B,C:D;E-F/G?H+I=J<K>L.M,N:O;P-Q/R?S+T";
    EXPECT_EQ(Read(edifact).text, edifact);
    const std::vector<int> cw = DataCodewords();
    EXPECT_NE(std::find(cw.begin(), cw.end(), 240), cw.end());
}

TEST_F(EncodationSymbols, Base256OfEveryShortLengthAndTheLongForm) {
    std::mt19937 rng(256);
    std::vector<int> lengths;
    for (int n = 1; n <= 260; ++n) lengths.push_back(n);
    for (int n : {499, 500, 750, 1000, 1500}) lengths.push_back(n);
    int longForm = 0;
    for (int n : lengths) {
        std::string data;
        for (int i = 0; i < n; ++i) data.push_back(static_cast<char>(0x80 + rng() % 128));
        const dmtest::Decoded d = Read(data);
        EXPECT_EQ(d.status, 0) << "length " << n;
        EXPECT_EQ(d.text, data) << "length " << n;
        if (n < 10) continue;  // short runs may go cheaper through upper shifts
        const std::vector<int> cw = DataCodewords();
        const auto latch = std::find(cw.begin(), cw.end(), 231);
        ASSERT_NE(latch, cw.end()) << "length " << n;
        const int i = static_cast<int>(latch - cw.begin()) + 1;
        const int l1 = vexo::DM_Unrandomize255(cw[static_cast<size_t>(i)], i + 1);
        // One length codeword for fields up to 249 bytes (0: to the end of the data), two
        // from 250; libzint may leave a byte or two of the data outside the field.
        if (n >= 300) {
            EXPECT_TRUE(l1 == 0 || l1 >= 250) << "length " << n;
        }
        longForm += l1 >= 250 ? 1 : 0;
    }
    EXPECT_GE(longForm, 5);
}

TEST_F(EncodationSymbols, EciGs1AndTheirModifiers) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_DATAMATRIX;
    in.data = "caf\xC3\xA9";
    in.eci = 26;
    dmtest::Decoded d = Read(in);
    EXPECT_EQ(d.text, "\\000026caf\xC3\xA9");
    EXPECT_EQ(dmtest::Aim(), '4');

    in = testkit::SymbolInput{};
    in.symbology = BARCODE_DATAMATRIX;
    in.inputMode = GS1_MODE;
    in.data = "[01]09501101530003[10]AB-123[21]456";
    d = Read(in);
    EXPECT_EQ(d.text, "0109501101530003" "10AB-123\x1D" "21456");
    EXPECT_EQ(dmtest::Aim(), '2');

    // libzint puts the ECI after the FNC1 of GS1.
    in.eci = 26;
    d = Read(in);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(DataCodewords()[0], 232);
    EXPECT_EQ(DataCodewords()[1], 241);
    EXPECT_EQ(d.text, "\\000026" "0109501101530003" "10AB-123\x1D" "21456");
    EXPECT_EQ(dmtest::Aim(), '5');
}

TEST_F(EncodationSymbols, StructuredAppendReaderProgrammingAndMacros) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_DATAMATRIX;
    in.inputMode = GS1_MODE;
    in.data = "[01]09501101530003";
    in.structAppIndex = 1;
    in.structAppCount = 2;
    // The first symbol's FNC1 stands at index 4, behind the header.
    dmtest::Decoded d = Read(in);
    EXPECT_EQ(DataCodewords()[0], 233);
    EXPECT_EQ(DataCodewords()[4], 232);
    EXPECT_EQ(d.text, "0109501101530003");
    EXPECT_EQ(dmtest::Aim(), '2');
    EXPECT_EQ(vexo::DM_HasSa(), 1);
    EXPECT_EQ(vexo::DM_GetSaPosition(), 0);
    EXPECT_EQ(vexo::DM_GetSaTotal(), 2);

    vexo::DM_ClearSaInfo();
    in = testkit::SymbolInput{};
    in.symbology = BARCODE_DATAMATRIX;
    in.data = "part two";
    in.structAppIndex = 2;
    in.structAppCount = 3;
    in.structAppId = "001002";
    d = Read(in);
    EXPECT_EQ(d.text, "part two");
    EXPECT_EQ(vexo::DM_GetSaPosition(), 1);
    EXPECT_EQ(vexo::DM_GetSaTotal(), 3);
    EXPECT_EQ(vexo::DM_GetSaFileId(0), DataCodewords()[2]);
    EXPECT_EQ(vexo::DM_GetSaFileId(1), DataCodewords()[3]);

    in = testkit::SymbolInput{};
    in.symbology = BARCODE_DATAMATRIX;
    in.data = "PROGRAM 1";
    in.outputOptions = READER_INIT;
    d = Read(in);
    EXPECT_EQ(DataCodewords()[0], 234);
    EXPECT_EQ(d.text, "PROGRAM 1");
    EXPECT_EQ(dmtest::Aim(), '1');

    for (const char *digit : {"5", "6"}) {
        const std::string data = std::string("[)>\x1E" "0") + digit + "\x1DHELLO 42\x1E\x04";
        d = Read(data);
        EXPECT_EQ(DataCodewords()[0], digit[0] == '5' ? 236 : 237);
        EXPECT_EQ(d.text, data);
    }
}

TEST_F(EncodationSymbols, CodewordDumpUpTo499DataCodewords) {
    vexo::g_dmOptions.codewordDump = 1;
    for (int size : {3, 18, 19}) {  // 14 x 14, 80 x 80 (456 data codewords), 88 x 88 (576)
        const dmtest::Decoded d = Read("AB", size);
        std::string expected = "AB";
        if (vexo::g_dmData.dataCount <= 499) {
            for (int c : DataCodewords()) {
                expected.push_back(' ');
                expected.append(std::to_string(c));
            }
        }
        EXPECT_EQ(d.text, expected) << "size " << size;
    }
}

}  // namespace
