// Code 11, MSI and Plessey symbols made with libzint (each check form it offers; the check
// schemes it lacks built from its no-check form with the digits computed here; Plessey's
// stop also with its first bar one module wide as the standard draws it), redrawn at
// wide-to-narrow ratios 2:1 to 3:1 and 2 to 6 samples a narrow element with ink spread and
// jitter, forward and reversed, in edge lists that hold exactly the symbol's edges: the
// records read the values, and their verify slots give the text, AIM identifier and code
// type of each configuration.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "code128_lines.h"
#include "core/params.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "libzint_runs.h"
#include "linear/code11.h"
#include "linear/line_table.h"
#include "linear/msi_plessey.h"
#include "width_lines.h"

namespace {

using namespace vexo;
using namespace linetest;

// The standard Plessey CRC of the data values (bits sent least significant first), by
// long division over the bit string: the two check values.
std::vector<uint8_t> PlesseyWithCrc(std::vector<uint8_t> v) {
    std::vector<int> bits;
    for (uint8_t x : v)
        for (int b = 0; b < 4; ++b) bits.push_back((x >> b) & 1);
    const size_t n = bits.size();
    bits.resize(n + 8, 0);
    const int poly[9] = {1, 1, 1, 1, 0, 1, 0, 0, 1};
    for (size_t i = 0; i < n; ++i)
        if (bits[i] != 0)
            for (int j = 0; j < 9; ++j) bits[i + j] ^= poly[j];
    for (int c = 0; c < 2; ++c) {
        uint8_t x = 0;
        for (int b = 0; b < 4; ++b) x = static_cast<uint8_t>(x | bits[n + 4 * c + b] << b);
        v.push_back(x);
    }
    return v;
}

std::vector<uint8_t> C11MsiValuesOf(const std::string &s) {
    std::vector<uint8_t> v;
    for (char ch : s) v.push_back(static_cast<uint8_t>(ch == '-' ? 10 : ch >= 'A' ? ch - 'A' + 10 : ch - '0'));
    return v;
}

struct C11MsiSymbolCase {
    const char *what;
    int record;
    int symbology;
    std::string data;   // what libzint encodes
    int option2;        // libzint's check option
    bool narrowStop;    // Plessey: the stop's first bar drawn one module wide
    std::string values; // the symbol's characters ('-' 10, A-F 10-15); Plessey: data only
    int id;
    uint32_t flags;     // check bits of the configuration
    const char *text;
    const char *aim;
    int32_t codeType;
};

constexpr uint32_t kC11SymTransmit = kFlagTransmitCheck;
constexpr uint32_t kC11Mode(uint32_t m) { return m << kCode11CheckShift; }
constexpr uint32_t kMsiMode(uint32_t m) { return m << kMsiCheckShift; }

const C11MsiSymbolCase kC11MsiCases[] = {
    // Code 11: libzint's two check digits (mode 2), one (mode 1), none (mode 0); mode 3 built.
    {"C11 C+K", kLineRecCode11, BARCODE_CODE11, "123-45", 0, false, "123-4552", kSymCode11, kC11Mode(2) | kC11SymTransmit, "123-4552", "]H1", 39},
    {"C11 C", kLineRecCode11, BARCODE_CODE11, "123-45", 1, false, "123-455", kSymCode11, kC11Mode(1), "123-45", "]H3", 39},
    {"C11 none", kLineRecCode11, BARCODE_CODE11, "90-09", 2, false, "90-09", kSymCode11, kC11Mode(0), "90-09", "]H0", 39},
    {"C11 C+mod9", kLineRecCode11, BARCODE_CODE11, "18-2", 2, false, "18-2", kSymCode11, kC11Mode(3) | kC11SymTransmit, "18-2", "]H1", 39},
    {"C11 two-wide only", kLineRecCode11, BARCODE_CODE11, "12345678", 2, false, "12345678", kSymCode11, kC11Mode(0), "12345678", "]H0", 39},
    {"C11 C 18", kLineRecCode11, BARCODE_CODE11, "18", 1, false, "18-", kSymCode11, kC11Mode(1) | kC11SymTransmit, "18-", "]H0", 39},
    // MSI: libzint's no check, mod 10, mod 10/10; mod 10 then mod 11 built.
    {"MSI none", kLineRecMsi, BARCODE_MSI_PLESSEY, "1234", 0, false, "1234", kSymMsi, kMsiMode(0), "1234", "]M0", 40},
    {"MSI 10", kLineRecMsi, BARCODE_MSI_PLESSEY, "1234", 1, false, "12344", kSymMsi, kMsiMode(1), "1234", "]M1", 40},
    {"MSI 10/10", kLineRecMsi, BARCODE_MSI_PLESSEY, "1234", 2, false, "123448", kSymMsi, kMsiMode(2) | kC11SymTransmit, "123448", "]M0", 40},
    {"MSI 10/11", kLineRecMsi, BARCODE_MSI_PLESSEY, "123447", 0, false, "123447", kSymMsi, kMsiMode(3), "1234", "]M1", 40},
    {"MSI 10/11 zeros", kLineRecMsi, BARCODE_MSI_PLESSEY, "000001", 0, false, "000001", kSymMsi, kMsiMode(3) | kC11SymTransmit, "000001", "]M0", 40},
    // Plessey as libzint draws it and with the standard's stop; data and CRC all 0 in "0".
    {"Plessey", kLineRecPlessey, BARCODE_PLESSEY, "12AB", 0, false, "12AB", kSymPlessey, kFlagVerifyCheck, "12AB", "]P0", 41},
    {"Plessey narrow stop", kLineRecPlessey, BARCODE_PLESSEY, "12AB", 0, true, "12AB", kSymPlessey, 0, "12AB8C", "]P0", 41},
    {"Plessey 0", kLineRecPlessey, BARCODE_PLESSEY, "0", 0, false, "0", kSymPlessey, kFlagVerifyCheck, "0", "]P0", 41},
    {"Plessey 10", kLineRecPlessey, BARCODE_PLESSEY, "10", 0, true, "10", kSymPlessey, kFlagVerifyCheck | kC11SymTransmit, "1068", "]P0", 41},
    {"Plessey long", kLineRecPlessey, BARCODE_PLESSEY, "0F1E2D3C4B5A", 0, false, "0F1E2D3C4B5A", kSymPlessey, kFlagVerifyCheck, "0F1E2D3C4B5A", "]P0", 41},
};

std::vector<uint8_t> ExpectedValues(const C11MsiSymbolCase &c) {
    const std::vector<uint8_t> v = C11MsiValuesOf(c.values);
    return c.record == kLineRecPlessey ? PlesseyWithCrc(v) : v;
}

std::vector<int> C11MsiRuns(const C11MsiSymbolCase &c) {
    std::vector<int> runs = LibzintRuns(c.symbology, c.data, DATA_MODE, c.option2);
    if (c.narrowStop && runs.size() > 9) runs[runs.size() - 9] = 1;
    return runs;
}

// A line read through the record up to four times: unclean reads wait for their fourth
// sighting. sightings: the reads it took (0: none).
RecordRead ReadConfirmed(const LINE_SYMBOLOGY &rec, const EdgeLine &line, int *sightings) {
    for (int k = 1; k <= 4; ++k) {
        const RecordRead r = ReadRecordLine(rec, line);
        if (!r.data.empty()) {
            *sightings = k;
            return r;
        }
    }
    *sightings = 0;
    return RecordRead{};
}

// Conditions under which a symbol may go unread, by the rules as they stand:
// - Code 11 at 5:2 and 3:1 with a one-wide character (0, 9, dash) beside a two-wide one or
//   the start or stop: the one-wide character with its gap is 5/6 (5:2) or 4/5 (3:1) of a
//   two-wide one, at or beyond the run search's 0.8-1.2 bound, so the run breaks there.
// - Code 11 at 2 samples a narrow element: a character's plain deviation sum reaches the
//   limit of 6 (5 at the stop) that a read must stay below.
// - MSI at 3:1 with ink spread: the start's wide bar reaches 4 x its narrow space, the
//   start test's bound.
bool C11MsiMayMiss(const C11MsiSymbolCase &c, int narrow, int wide, double size, double spread) {
    if (c.record == kLineRecCode11) {
        const bool oneWide = c.values.find_first_of("09-") != std::string::npos;
        return (oneWide && 2 * wide >= 5 * narrow) || size <= 2.0;
    }
    if (c.record == kLineRecMsi) return wide == 3 * narrow && spread > 0;
    return false;
}

TEST(Code11MsiPlesseySymbols, ValuesAtEveryRatioAndSize) {
    int unclean = 0, reads = 0, misses = 0;
    for (const C11MsiSymbolCase &c : kC11MsiCases) {
        const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[c.record];
        const std::vector<int> runs = C11MsiRuns(c);
        ASSERT_FALSE(runs.empty()) << c.what;
        const std::vector<uint8_t> want = ExpectedValues(c);
        ForEachTwoWidthDrawing(runs, c.what, 0, [&](const TwoWidthDrawing &d, const EdgeLine &line) {
            int sightings = 0;
            const RecordRead r = ReadConfirmed(rec, line, &sightings);
            unclean += sightings > 1 ? 1 : 0;
            if (r.data.empty()) {
                ++misses;
                EXPECT_TRUE(C11MsiMayMiss(c, d.narrow, d.wide, d.size, d.spread)) << "unexpected miss";
            } else {
                ++reads;
                EXPECT_EQ(r.data, want);
            }
        });
    }
    std::printf("read %d, missed %d; reads that waited for confirmation: %d\n", reads, misses, unclean);
    Test_ResetDecoderStatics();
}

TEST(Code11MsiPlesseySymbols, VerifiedTextOfEachConfiguration) {
    for (const C11MsiSymbolCase &c : kC11MsiCases) {
        SCOPED_TRACE(c.what);
        Test_ResetDecoderStatics();
        Par_InstallDefaults();
        uint32_t &word = g_params.flagsWord[c.id];
        const uint32_t checkBits = kCode11CheckMask | kFlagVerifyCheck | kFlagTransmitCheck;
        word = (word & ~(checkBits | kMinLengthMask | kMaxLengthMask)) | c.flags | kFlagEnabled | 1u | (255u << 8);
        const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[c.record];
        // The values the sweep above reads from the symbol.
        const Verified v = Verify(rec.verify, ExpectedValues(c));
        EXPECT_EQ(v.answer, 1);
        EXPECT_EQ(v.text, c.text);
        EXPECT_EQ(v.aim, c.aim);
        EXPECT_EQ(v.codeType, c.codeType);
        EXPECT_EQ(v.id, c.id);
    }
    Test_ResetDecoderStatics();
}

}  // namespace
