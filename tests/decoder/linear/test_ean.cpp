// EAN/UPC on synthetic lines written from the standard's character sets: the tables, the
// routing of reads to their members, the add-on rules and the add-on search, the reading
// rules and the confirmation store.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/modules.h"
#include "core/state.h"
#include "core/params.h"
#include "core/properties.h"
#include "core/test_hooks.h"
#include "linear/code128_lines.h"
#include "linear/ean_lines.h"
#include "linear/line_toolkit.h"

namespace {

using namespace vexo;
using namespace linetest;

// ---- Tables.

TEST(EanTables, SampleEntriesAndDerivedKeys) {
    EXPECT_EQ(kEanPatterns[0], 0x3211u);
    EXPECT_EQ(kEanPatterns[10], 0x1123u);
    EXPECT_EQ(kEanPairKeys[0], 0x532);
    for (const auto &pair : {std::pair{1, 7}, {2, 8}, {11, 17}, {12, 18}}) {
        EXPECT_EQ(kEanPairKeys[pair.first], kEanPairKeys[pair.second]);
        EXPECT_EQ(Line_FindInTable(kEanPairKeys, kEanEntries, kEanPairKeys[pair.second]), pair.first);
    }
    for (int i = 0; i < kEanEntries; ++i) {
        const uint32_t p = kEanPatterns[i];
        const int w[4] = {int(p >> 12 & 15), int(p >> 8 & 15), int(p >> 4 & 15), int(p & 15)};
        EXPECT_EQ(w[0] + w[1] + w[2] + w[3], 7) << i;
        EXPECT_EQ(kEanPairKeys[i], (w[0] + w[1]) * 256 + (w[1] + w[2]) * 16 + (w[2] + w[3])) << i;
        if (i >= 10) {
            // Set G is set L read backwards.
            EXPECT_EQ(p, (kEanPatterns[i - 10] & 15) << 12 | (kEanPatterns[i - 10] >> 4 & 15) << 8 |
                             (kEanPatterns[i - 10] >> 8 & 15) << 4 | kEanPatterns[i - 10] >> 12);
        }
    }
    EXPECT_EQ(kEan13FirstDigit[0], 64);
    EXPECT_EQ(kEan13FirstDigit[1], 75);
    EXPECT_EQ(kUpceParity[0][0], 56);
    EXPECT_EQ(kUpceParity[1][0], 7);
    for (int c = 0; c < 10; ++c) {
        EXPECT_EQ(kUpceParity[0][c] + kUpceParity[1][c], 63) << c;
    }
    const uint8_t five[10] = {24, 20, 18, 17, 12, 6, 3, 10, 9, 5};
    EXPECT_EQ(std::memcmp(kEanAddOn5Parity, five, 10), 0);
}

// ---- Results: verify on digits as the decode slots leave them.

struct EanVerified {
    int ok = 0;
    std::string text;
    std::string aim;
    uint16_t id = 0;
    uint16_t link = 0;
    int32_t codeType = 0;
};

std::vector<uint8_t> EanValues(const std::string &digits) {
    std::vector<uint8_t> v;
    for (char ch : digits) v.push_back(static_cast<uint8_t>(ch - '0'));
    return v;
}

EanVerified RunVerify(int (*verify)(LINE_DECODE_CTX *), const std::string &digits, uint16_t capacity = 32) {
    uint8_t buffer[64] = {};
    const std::vector<uint8_t> v = EanValues(digits);
    std::memcpy(buffer, v.data(), v.size());
    LINE_DECODE_CTX ctx{};
    ctx.data = buffer;
    ctx.capacity = capacity;
    ctx.length = static_cast<uint16_t>(v.size());
    ctx.aimLetter = 'X';
    ctx.aimModifier = '0';
    g_state.lastSymbologyCode = -1;
    EanVerified out;
    out.ok = verify(&ctx);
    out.text.assign(reinterpret_cast<const char *>(buffer), ctx.length);
    out.aim = std::string("]") + ctx.aimLetter + ctx.aimModifier;
    out.id = ctx.symbologyId;
    out.link = ctx.linkFlag;
    out.codeType = g_state.lastSymbologyCode;
    return out;
}

enum Member { kWEan13, kWUpcA, kWEan8, kWUpcE, kWIsbn, kWIssn, kWComposite };
constexpr int kMemberIds[] = {kSymEan13, kSymUpcA, kSymEan8, kSymUpcE, kSymIsbn, kSymIssn, kSymComposite};

struct RouteCase {
    const char *what;
    int (*verify)(LINE_DECODE_CTX *);
    std::string digits;
    Member member;     // the word changed
    uint32_t set;      // bits set in it
    uint32_t clear;    // bits cleared in it
    bool aimPrefix;
    int ok;
    std::string text;
    const char *aim;
    uint16_t id;
    int32_t codeType;
    uint16_t link = 0;
};

constexpr uint32_t kOn = kFlagEnabled;
constexpr uint32_t kCheck = kFlagTransmitCheck;

TEST(EanResults, RoutingAndOutputs) {
    const RouteCase cases[] = {
        {"ISBN-10 form", Ean13_Verify, "9780306406157", kWIsbn, kCheck, 0, false, 1, "0306406152", "]X0", 8, 20},
        {"ISBN, thirteen digits", Ean13_Verify, "9780306406157", kWIsbn, 0, kCheck, false, 1, "9780306406157", "]X0", 8, 20},
        {"ISBN drops its add-on", Ean13_Verify, "978030640615712", kWIsbn, 0, 0, false, 1, "9780306406157", "]X0", 8, 20},
        {"ISBN 979", Ean13_Verify, "9791234567896", kWIsbn, kCheck, 0, false, 1, "123456789X", "]X0", 8, 20},
        {"ISBN off: EAN-13", Ean13_Verify, "9780306406157", kWIsbn, 0, kOn, false, 1, "9780306406157", "]E0", 6, 11},
        {"ISSN", Ean13_Verify, "9771234567003", kWIssn, 0, 0, false, 1, "12345679", "]X0", 7, 21},
        {"ISSN drops its add-on", Ean13_Verify, "977123456700312345", kWIssn, 0, 0, false, 1, "12345679", "]X0", 7, 21},
        {"ISSN off: EAN-13", Ean13_Verify, "9771234567003", kWIssn, 0, kOn, false, 1, "9771234567003", "]E0", 6, 11},
        {"ISBN wins over add-ons required", Ean13_Verify, "9780306406157", kWEan13, kFlagAddOnRequired, 0, false, 1,
         "9780306406157", "]X0", 8, 20},
        {"EAN-13 without check digit", Ean13_Verify, "400638133393112", kWEan13, 0, kCheck, false, 1,
         "40063813339312", "]E3", 6, 12},
        {"EAN-13 off", Ean13_Verify, "4006381333931", kWEan13, 0, kOn, false, 0, "", "]X0", 6, -1},
        {"leading 0, UPC-A off: refused", Ean13_Verify, "0036000291452", kWUpcA, 0, kOn, false, 0, "", "]X0", 10, -1},
        {"UPC-A: check, no preamble", Ean13_Verify, "0036000291452", kWUpcA, 0, 0, false, 1, "036000291452", "]E0", 10, 17},
        {"UPC-A: bit 30 keeps the 0", Ean13_Verify, "0036000291452", kWUpcA, kFlagUpcPreamble, 0, false, 1,
         "0036000291452", "]E0", 10, 17},
        {"UPC-A: bit 21 drops the number system", Ean13_Verify, "0036000291452", kWUpcA, kFlagUpcLeadingZero, 0, false,
         1, "36000291452", "]E0", 10, 17},
        {"UPC-A: bits 21 and 30", Ean13_Verify, "0036000291452", kWUpcA, kFlagUpcLeadingZero | kFlagUpcPreamble, 0,
         false, 1, "036000291452", "]E0", 10, 17},
        {"UPC-A: bit 21 alone", Ean13_Verify, "0036000291452", kWUpcA, kFlagUpcLeadingZero, kCheck, false, 1,
         "3600029145", "]E0", 10, 17},
        {"UPC-A: no check, bit 30", Ean13_Verify, "0036000291452", kWUpcA, kFlagUpcPreamble, kCheck, false, 1,
         "003600029145", "]E0", 10, 17},
        {"UPC-A with 5-digit add-on", Ean13_Verify, "003600029145290000", kWUpcA, 0, 0, false, 1, "03600029145290000",
         "]E3", 10, 19},
        {"EAN-8 +2, AIM prefix, check sent", Ean8_Verify, "9638507433", kWEan8, 0, 0, true, 1, "96385074]E133", "]E3",
         5, 9},
        {"EAN-8 +5, AIM prefix, no check", Ean8_Verify, "9638507412345", kWEan8, 0, kCheck, true, 1,
         "9638507]E212345", "]E3", 5, 10},
        {"EAN-8 +2, no AIM prefix", Ean8_Verify, "9638507433", kWEan8, 0, 0, false, 1, "9638507433", "]E3", 5, 9},
        {"EAN-8 extended", Ean8_Verify, "96385074", kWEan8, kFlagEan8Extend, kCheck, false, 1, "0000096385074", "]E4",
         5, 8},
        {"EAN-8 extended as EAN-13", Ean8_Verify, "96385074", kWEan8, kFlagEan8Extend | kFlagEan8AsEan13, 0, false, 1,
         "0000096385074", "]E0", 6, 8},
        {"EAN-8 extended as EAN-13, +2", Ean8_Verify, "9638507433", kWEan8, kFlagEan8Extend | kFlagEan8AsEan13, 0,
         false, 1, "000009638507433", "]E3", 6, 9},
        {"EAN-8 extended, +2 keeps ]E4", Ean8_Verify, "9638507433", kWEan8, kFlagEan8Extend, 0, true, 1,
         "000009638507433", "]E4", 5, 9},
        {"UPC-E expanded (bit 29)", Upce_Verify, "01234565", kWUpcE, kFlagUpcEExpand, kCheck, false, 1,
         "0012345000065", "]E0", 9, 14},
        {"UPC-E expanded as UPC-A", Upce_Verify, "01234565", kWUpcE, kFlagUpcEExpand | kFlagUpcEAsUpcA, 0, false, 1,
         "0012345000065", "]E0", 10, 14},
        {"UPC-E d6 = 3, d3 = 2: not expanded", Upce_Verify, "01223433", kWUpcE, kFlagUpcEExpand, 0, false, 1,
         "01223433", "]E0", 9, 14},
        {"UPC-E d6 = 3, d3 = 3", Upce_Verify, "01233436", kWUpcE, kFlagUpcEExpand, 0, false, 1, "0012300000346",
         "]E0", 9, 14},
        {"UPC-E d6 = 4", Upce_Verify, "01234544", kWUpcE, kFlagUpcEExpand, 0, false, 1, "0012340000054", "]E0", 9, 14},
        {"UPC-E d6 = 0", Upce_Verify, "01234500", kWUpcE, kFlagUpcEExpand, 0, false, 1, "0012000003450", "]E0", 9, 14},
        {"UPC-E d6 = 9, d5 = 0: not expanded", Upce_Verify, "01234093", kWUpcE, kFlagUpcEExpand, 0, false, 1,
         "01234093", "]E0", 9, 14},
        {"UPC-E expanded with add-on", Upce_Verify, "0123456512", kWUpcE, kFlagUpcEExpand, 0, false, 1,
         "001234500006512", "]E3", 9, 15},
        {"UPC-E through UPC-A (bit 20)", Upce_Verify, "01234565", kWUpcE, kFlagUpcEThroughUpcA, 0, false, 1,
         "012345000065", "]E0", 10, 17},
        {"UPC-E: no check, no number system", Upce_Verify, "01234565", kWUpcE, 0, kCheck | kFlagUpcPreamble, false, 1,
         "123456", "]E0", 9, 14},
        {"UPC-E: bit 21 puts a 0 in front", Upce_Verify, "01234565", kWUpcE, kFlagUpcLeadingZero, 0, false, 1,
         "001234565", "]E0", 9, 14},
        {"UPC-E: check, no number system", Upce_Verify, "01234565", kWUpcE, 0, kFlagUpcPreamble, false, 1, "1234565",
         "]E0", 9, 14},
        {"UPC-E: number system, no check", Upce_Verify, "01234565", kWUpcE, 0, kCheck, false, 1, "0123456", "]E0", 9,
         14},
        {"UPC-E: bit 21 alone", Upce_Verify, "01234565", kWUpcE, kFlagUpcLeadingZero, kCheck | kFlagUpcPreamble, false,
         1, "0123456", "]E0", 9, 14},
        {"UPC-E: bits 21 and 31", Upce_Verify, "01234565", kWUpcE, kFlagUpcLeadingZero, kFlagUpcPreamble, false, 1,
         "01234565", "]E0", 9, 14},
        {"UPC-E: bit 16 refuses number system 0", Upce_Verify, "01234565", kWUpcE, kFlagUpcERefuseNs0, 0, false, 0, "",
         "]X0", 9, -1},
        {"UPC-E: number system 1 needs bit 28", Upce_Verify, "12345670", kWUpcE, 0, kFlagUpcEAcceptNs1, false, 0, "",
         "]X0", 9, -1},
        {"UPC-E: number system 1 with bit 28", Upce_Verify, "12345670", kWUpcE, 0, 0, false, 1, "12345670", "]E0", 9,
         14},
        {"UPC-E off", Upce_Verify, "01234565", kWUpcE, 0, kOn, false, 0, "", "]X0", 9, -1},
        // Composite mode: every member carries its link value, enabled or not.
        {"composite EAN-13", Ean13_Verify, "4006381333931", kWComposite, kOn | kCheck, 0, false, 1, "4006381333931",
         "]E0", 6, 11, 11},
        {"composite UPC-A", Ean13_Verify, "0036000291452", kWComposite, kOn | kCheck, 0, false, 1, "036000291452",
         "]E0", 10, 17, 12},
        {"composite EAN-8", Ean8_Verify, "96385074", kWComposite, kOn | kCheck, 0, false, 1, "96385074", "]E4", 5, 8, 13},
        {"composite UPC-E", Upce_Verify, "01234565", kWComposite, kOn | kCheck, 0, false, 1, "01234565", "]E0", 9, 14,
         14},
        {"composite 978 stays EAN-13", Ean13_Verify, "9780306406157", kWComposite, kOn | kCheck, 0, false, 1,
         "9780306406157", "]E0", 6, 11, 11},
    };
    for (const RouteCase &c : cases) {
        SCOPED_TRACE(c.what);
        SetEanWords();
        uint32_t &w = g_params.flagsWord[kMemberIds[c.member]];
        w = (w | c.set) & ~c.clear;
        if (c.member == kWComposite) {
            for (int id : {kSymEan13, kSymUpcA, kSymEan8, kSymUpcE}) g_params.flagsWord[id] &= ~kFlagEnabled;
        }
        if (c.aimPrefix) g_params.commonWord |= kCommonAimPrefix;
        const EanVerified r = RunVerify(c.verify, c.digits);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.id, c.id);
        if (c.ok == 0) continue;
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.aim, c.aim);
        EXPECT_EQ(r.codeType, c.codeType);
        EXPECT_EQ(r.link, c.link);
    }
}

// With UPC-A off, a UPC-E expanded through the UPC-A rules keeps UPC-E's id: reported as
// UPC-A, the result would be dropped by the enable test of its own id.
TEST(EanResults, UpceThroughUpcAWithUpcAOff) {
    Test_ResetDecoderStatics();
    SetEanWords();
    g_params.flagsWord[kSymUpcE] |= kFlagUpcEThroughUpcA;
    g_params.flagsWord[kSymUpcA] &= ~kFlagEnabled;
    const uint32_t upcaWord = g_params.flagsWord[kSymUpcA];
    const EanVerified r = RunVerify(Upce_Verify, "01234565");
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.text, "012345000065");
    EXPECT_EQ(r.id, kSymUpcE);
    EXPECT_EQ(g_params.flagsWord[kSymUpcA], upcaWord);  // nothing written to the parameters

    EdgeLine line = MakeEdgeLine(UpceRuns("01234565"), {.moduleSamples = 3});
    const WalkRead w = WalkLine(line);
    EXPECT_EQ(w.answer, 1);
    EXPECT_EQ(w.text, "012345000065");
    EXPECT_EQ(w.id, kSymUpcE);
    Test_ResetDecoderStatics();
}

// ---- Add-on rules: the allowed lengths, the required bits and the delivered length.

TEST(EanResults, AddOnRules) {
    struct AddOnCase {
        uint32_t bits;
        int delivered;  // add-on digits read: 0, 2 or 5
        int kept;       // -1 refused
    };
    const uint32_t A2 = kFlagAddOn2, A5 = kFlagAddOn5, R = 1u << 24, R2 = 1u << 25;
    const AddOnCase cases[] = {
        {0, 0, 0},        {0, 2, 0},         {0, 5, 0},          {A2, 2, 2},          {A2, 5, 0},
        {A5, 2, 0},       {A5, 5, 5},        {A2 | A5, 2, 2},    {A2 | A5, 5, 5},     {A2 | A5, 0, 0},
        {R | A2, 2, 2},   {R | A2, 5, -1},   {R | A2, 0, -1},    {R2 | A5, 5, 5},     {R2 | A5, 2, -1},
        {R | A2 | A5, 2, 2}, {R | A2 | A5, 5, 5}, {R | A2 | A5, 0, -1}, {R, 2, 0},      {R, 0, 0},
    };
    const std::string add[6] = {"", "", "12", "", "", "52495"};
    for (const AddOnCase &c : cases) {
        for (const Member m : {kWEan13, kWUpcA, kWEan8, kWUpcE}) {
            SCOPED_TRACE(testing::Message() << "bits " << std::hex << c.bits << std::dec << " add-on " << c.delivered
                                            << " member " << m);
            SetEanWords(c.bits);
            const bool eight = m == kWEan8 || m == kWUpcE;
            const std::string main = m == kWEan13 ? "4006381333931" : m == kWUpcA ? "0036000291452"
                                   : m == kWEan8 ? "96385074" : "01234565";
            const EanVerified r = RunVerify(eight ? (m == kWEan8 ? Ean8_Verify : Upce_Verify) : Ean13_Verify,
                                         main + add[c.delivered]);
            ASSERT_EQ(r.ok, c.kept >= 0 ? 1 : 0);
            if (c.kept < 0) continue;
            const std::string mainText = m == kWUpcA ? main.substr(1) : main;
            EXPECT_EQ(r.text, mainText + add[c.kept]);
            const int32_t plain = m == kWEan13 ? 11 : m == kWUpcA ? 17 : m == kWEan8 ? 8 : 14;
            EXPECT_EQ(r.codeType, plain + (c.kept == 2 ? 1 : c.kept == 5 ? 2 : 0));
            EXPECT_EQ(r.aim[2], c.kept > 0 ? '3' : (m == kWEan8 ? '4' : '0'));
        }
    }
}

TEST(EanResults, PrefixRules) {
    struct PrefixCase {
        const char *digits;
        uint32_t rule;
        uint32_t allowed;
        int ok;
        const char *text;
    };
    const PrefixCase cases[] = {
        {"2901234567894", kFlagPrefixRule290, 0, 0, ""},
        {"290123456789412", kFlagPrefixRule290, 0, 1, "290123456789412"},
        {"290123456789412", kFlagPrefixRule290, kFlagAddOn5, 1, "290123456789412"},
        {"290123456789412345", kFlagPrefixRule290, kFlagAddOn2, 1, "290123456789412345"},
        {"4191234567891", kFlagPrefixRule414, 0, 0, ""},
        {"4391234567894", kFlagPrefixRule434, 0, 0, ""},
        {"3791234567897", kFlagPrefixRule378, 0, 0, ""},
        {"3781234567890", kFlagPrefixRule978, 0, 1, "3781234567890"},
        {"400638133393112", kFlagPrefixRule290, 0, 1, "4006381333931"},
    };
    for (const PrefixCase &c : cases) {
        SCOPED_TRACE(c.digits);
        SetEanWords(c.allowed | c.rule);
        const EanVerified r = RunVerify(Ean13_Verify, c.digits);
        ASSERT_EQ(r.ok, c.ok);
        if (c.ok != 0) {
            EXPECT_EQ(r.text, c.text);
        }
    }
}

// ---- Add-ons on the line.

struct AddOnLine {
    EanRead read;
    int seen = 0;
};

// An EAN-13 (or EAN-8, UPC-E) followed by tail runs, through the record's slots.
AddOnLine ReadWithTail(std::vector<int> runs, const std::vector<int> &tail, int record, EdgeLineOptions o = {}) {
    Append(runs, tail);
    const EdgeLine line = MakeEdgeLine(runs, o);
    AddOnLine out;
    if (record == 11) out.read = ReadEanLine(line, Ean13_Locate, Ean13_Decode);
    if (record == 12) out.read = ReadEanLine(line, Ean8_Locate, Ean8_Decode);
    if (record == 13) out.read = ReadEanLine(line, Upce_Locate, Upce_Decode);
    out.seen = addOnSeen;
    return out;
}

TEST(EanAddOns, ReadingOnTheLine) {
    struct AddOnCase {
        const char *what;
        std::vector<int> tail;
        uint32_t allowed;
        std::string digits;  // delivered; empty: the line gives nothing
        int seen;
    };
    const std::string ean = "4006381333931";
    std::vector<int> speck = {4, 1, 4};  // a narrow bar in the middle of the gap
    const std::vector<int> twelve = AddOnRuns("12");
    Append(speck, std::vector<int>(twelve.begin() + 1, twelve.end()));
    const uint32_t both = kFlagAddOn2 | kFlagAddOn5;
    const AddOnCase cases[] = {
        {"2 digits, parity of their value", AddOnRuns("12"), both, ean + "12", 1},
        {"2 digits, the other parity", AddOnRuns("12", 9, 1), both, "", 1},
        {"2 digits, the other parity, add-ons off", AddOnRuns("12", 9, 1), 0, ean, 1},
        {"2 digits after a 7-module gap", AddOnRuns("99", 7), both, ean + "99", 1},
        {"2 digits after a 12-module gap", AddOnRuns("34", 12), both, ean + "34", 1},
        {"5 zeros carry GGLLL (24)", AddOnRuns("00000"), both, ean + "00000", 1},
        {"5 zeros all in L", AddOnRuns("00000", 9, 0), both, "", 1},
        {"5 digits", AddOnRuns("52495"), both, ean + "52495", 1},
        {"5 digits, one parity bit wrong", AddOnRuns("52495", 9, 0x1E), both, "", 1},
        {"a speck in the gap", speck, both, ean + "12", 1},
        {"quiet zone only", {}, both, ean, 0},
        {"a far bar only", {30, 1}, both, ean, 0},
    };
    for (const AddOnCase &c : cases) {
        SCOPED_TRACE(c.what);
        Test_ResetDecoderStatics();
        SetEanWords(c.allowed);
        const AddOnLine r = ReadWithTail(Ean13Runs(ean), c.tail, 11, {.moduleSamples = 3, .spread = 0.1, .jitter16 = 1});
        EXPECT_EQ(DigitText(r.read.digits), c.digits);
        EXPECT_EQ(r.seen, c.seen);
    }
    Test_ResetDecoderStatics();
}

// The twins 1 and 7, 2 and 8 (in either set) share their pair sums, and a spread of one
// module per element turns one into the other, so their scores can come out alike. The
// add-on "12" behind an EAN-13 as a 3 px frame measured it (1/16 sample, 40 a module: the
// guard's wide bar 87, then the "1" 71 82 78 47, its separator 33 34, the "2" 87 38 80 74)
// read "72", whose parity is the same (scores 63 for the 7, 78 for the 1); twins whose
// scores lie that close are told apart by the balance of their widths. The same line with a
// "7" of the same spread in front reads "72".
TEST(EanAddOns, TwinDigitsFromMeasuredWidths) {
    const std::string ean = "4006381333931";
    struct TwinCase {
        std::vector<int> addOn;  // gap, guard, characters with their separator
        std::string digits;
    };
    const TwinCase cases[] = {
        {{360, 40, 40, 87, 71, 82, 78, 47, 33, 34, 87, 38, 80, 74}, "12"},
        {{360, 40, 40, 87, 33, 122, 40, 85, 33, 34, 87, 38, 80, 74}, "72"},
    };
    for (const TwinCase &c : cases) {
        SCOPED_TRACE(c.digits);
        std::vector<int> runs;
        for (int r : Ean13Runs(ean)) runs.push_back(40 * r);
        Test_ResetDecoderStatics();
        SetEanWords();
        const AddOnLine r =
            ReadWithTail(runs, c.addOn, 11, {.moduleSamples = 1.0 / 16, .quietBefore = 400, .quietAfter = 400});
        EXPECT_EQ(DigitText(r.read.digits), ean + c.digits);
    }
    Test_ResetDecoderStatics();
}

// EAN-8 and UPC-E search backwards when they lie reversed; an add-on seen but not read
// refuses the line only while an add-on length is enabled.
TEST(EanAddOns, BackwardSearchAndUndecodable) {
    struct Case {
        int record;
        std::string main;
        std::vector<int> tail;
        uint32_t allowed;
        std::string digits;
    };
    const uint32_t both = kFlagAddOn2 | kFlagAddOn5;
    const Case cases[] = {
        {12, "96385074", AddOnRuns("33"), both, "9638507433"},
        {12, "96385074", AddOnRuns("12345"), both, "9638507412345"},
        {12, "96385074", AddOnRuns("33", 9, 0), kFlagAddOn2, ""},
        {12, "96385074", AddOnRuns("33", 9, 0), kFlagAddOn5, ""},
        {12, "96385074", AddOnRuns("33", 9, 0), 0, "96385074"},
        {13, "01234565", AddOnRuns("98"), both, "0123456598"},
        {13, "01234565", AddOnRuns("12345", 9, 3), both, ""},
        {13, "01234565", AddOnRuns("12345", 9, 3), 0, "01234565"},
    };
    for (const Case &c : cases) {
        for (const bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.main << " record " << c.record << (reversed ? " reversed" : "")
                                            << " allowed " << std::hex << c.allowed);
            Test_ResetDecoderStatics();
            SetEanWords(c.allowed);
            const std::vector<int> main = c.record == 12 ? Ean8Runs(c.main) : UpceRuns(c.main);
            const AddOnLine r = ReadWithTail(main, c.tail, c.record, {.moduleSamples = 2.5, .reversed = reversed});
            EXPECT_EQ(DigitText(r.read.digits), c.digits);
            if (!c.digits.empty()) {
                EXPECT_EQ(r.read.direction, reversed ? -1 : 1);
            }
        }
    }
    // A reversed EAN-13 is read without a search: an undecodable add-on does not refuse it.
    Test_ResetDecoderStatics();
    SetEanWords();
    const AddOnLine r = ReadWithTail(Ean13Runs("4006381333931"), AddOnRuns("12", 9, 1), 11, {.reversed = true});
    EXPECT_EQ(DigitText(r.read.digits), "4006381333931");
    EXPECT_EQ(r.read.direction, -1);
    Test_ResetDecoderStatics();
}

// Add-ons cut short by the line's end (forward) or start (backward) in edge arrays of
// exactly the line's size: the search never reads beyond the edges it was given.
TEST(EanAddOns, CutShortAtTheLineEnds) {
    const uint32_t both = kFlagAddOn2 | kFlagAddOn5;
    for (const int record : {11, 12, 13}) {
        const std::vector<int> main = record == 11   ? Ean13Runs("4006381333931")
                                      : record == 12 ? Ean8Runs("96385074")
                                                     : UpceRuns("01234565");
        std::vector<int> runs = main;
        Append(runs, AddOnRuns("52495"));
        Append(runs, {2, 1, 1, 3, 1, 1});  // more bars after the add-on
        for (int cut = 1; cut < 38; ++cut) {
            for (const bool reversed : {false, true}) {
                if (record == 11 && reversed) continue;
                SCOPED_TRACE(testing::Message() << "record " << record << " cut " << cut << (reversed ? " reversed" : ""));
                Test_ResetDecoderStatics();
                SetEanWords(both);
                EdgeLineOptions o{.moduleSamples = 3, .reversed = reversed, .quietBefore = 0, .quietAfter = 0};
                (reversed ? o.cutFront : o.cutBack) = cut;
                const EdgeLine line = MakeEdgeLine(runs, o);
                const EanRead r = record == 11   ? ReadEanLine(line, Ean13_Locate, Ean13_Decode)
                                  : record == 12 ? ReadEanLine(line, Ean8_Locate, Ean8_Decode)
                                                 : ReadEanLine(line, Upce_Locate, Upce_Decode);
                const size_t mainLength = record == 11 ? 13 : 8;
                // Whole add-on: its digits; cut into it: the main digits or nothing.
                if (cut <= 6) {
                    EXPECT_EQ(r.digits.size(), mainLength + 5);
                } else {
                    EXPECT_TRUE(r.digits.empty() || r.digits.size() == mainLength) << r.digits.size();
                }
            }
        }
    }
    Test_ResetDecoderStatics();
}

// The group widths behind the guard are read only where the edges are given: with the list
// ending inside the third, fourth or fifth group the search treats it as a short remainder.
TEST(EanAddOns, FindStartWithinTheEdgesGiven) {
    std::vector<int> runs = {1, 1, 1};  // the main symbol's end guard
    Append(runs, AddOnRuns("52495"));
    EdgeLine line = MakeEdgeLine(runs, {.moduleSamples = 4, .quietBefore = 0, .quietAfter = 0});
    line.edges.erase(line.edges.begin(), line.edges.begin() + 2);  // from the symbol's second edge from its end
    const int total = static_cast<int>(line.edges.size());
    ASSERT_EQ(total, 34);
    for (int count = 16; count <= total; ++count) {
        for (const bool backward : {false, true}) {
            SCOPED_TRACE(testing::Message() << "count " << count << (backward ? " backward" : ""));
            std::vector<uint16_t> edges(static_cast<size_t>(count));
            for (int k = 0; k < count; ++k) {
                // Backward lists hold the same widths mirrored, ending at the given edge.
                edges[static_cast<size_t>(backward ? count - 1 - k : k)] =
                    static_cast<uint16_t>(backward ? 60000 - line.edges[static_cast<size_t>(k)] : line.edges[static_cast<size_t>(k)]);
            }
            const uint16_t *given = backward ? &edges.back() : edges.data();
            int32_t offset = -1;
            const int k = Ean_FindAddOnStart(given, count, backward ? -1 : 1, 7 * 64, &offset);
            const int expected = count >= 34 ? 22 : (count >= 22 ? 0 : 10);
            EXPECT_EQ(k, expected);
            if (k != 0) {
                EXPECT_EQ(offset, 2);
            }
        }
    }
}

// ---- Reading rules and the confirmation store.

TEST(EanReading, ParityRules) {
    Test_ResetDecoderStatics();
    SetEanWords();
    // A left half whose parity pattern names no first digit (LLLLLG) is refused.
    const EanRead bad = ReadEanLine(MakeEdgeLine(Ean13Runs("4006381333931", 1)), Ean13_Locate, Ean13_Decode);
    EXPECT_EQ(bad.count, 0);
    const EanRead good = ReadEanLine(MakeEdgeLine(Ean13Runs("4006381333931")), Ean13_Locate, Ean13_Decode);
    EXPECT_EQ(DigitText(good.digits), "4006381333931");
    // First digit in set L: number system 1.
    const EanRead ns1 = ReadEanLine(MakeEdgeLine(UpceRuns("12345670")), Upce_Locate, Upce_Decode);
    EXPECT_EQ(DigitText(ns1.digits), "12345670");
    // A UPC-E parity pattern outside both tables (all L) is refused.
    const EanRead none = ReadEanLine(MakeEdgeLine(UpceRuns("01234565", 0)), Upce_Locate, Upce_Decode);
    EXPECT_EQ(none.count, 0);
    Test_ResetDecoderStatics();
}

TEST(EanReading, ConfirmationStore) {
    struct Step {
        int clean;
        const char *digits;
        int delivered;
        uint16_t flags;  // bits 14 and 15 after the step
        uint8_t agreeing;
    };
    constexpr uint16_t P = kMultiReadPending, C = kMultiReadConfirmed;
    struct Sequence {
        const char *what;
        uint16_t flagsBefore;
        std::vector<Step> steps;
    };
    const Sequence sequences[] = {
        {"a good read, store empty", P | C, {{1, "4006381333931", 1, 0, 0}}},
        {"four equal marginal reads",
         0,
         {{0, "4006381333931", 0, P, 1}, {0, "4006381333931", 0, P, 2}, {0, "4006381333931", 0, P, 3},
          {0, "4006381333931", 1, C, 0}}},
        {"a different marginal read restarts the count",
         0,
         {{0, "4006381333931", 0, P, 1}, {0, "4006381333931", 0, P, 2}, {0, "4006381333931", 0, P, 3},
          {0, "4006381333932", 0, P, 1}, {0, "4006381333931", 0, P, 1}, {0, "4006381333931", 0, P, 2},
          {0, "4006381333931", 0, P, 3}, {0, "4006381333931", 1, C, 0}}},
        {"a good read equal to the stored one", 0, {{0, "96385074", 0, P, 1}, {1, "96385074", 1, P | C, 0}}},
        {"a good read unlike the stored one", 0, {{0, "96385074", 0, P, 1}, {1, "96385075", 1, 0, 0}}},
        {"a longer stored read stays",
         0,
         {{0, "400638133393112", 0, P, 1}, {0, "4006381333931", 0, P, 1}, {0, "400638133393112", 0, P, 2}}},
    };
    for (const Sequence &seq : sequences) {
        SCOPED_TRACE(seq.what);
        EAN_READ_STORE store{};
        lineMultiReadFlags = seq.flagsBefore;
        int index = 0;
        for (const Step &s : seq.steps) {
            SCOPED_TRACE(testing::Message() << "step " << index++);
            lineCleanRead = s.clean;
            const std::vector<uint8_t> v = EanValues(s.digits);
            EXPECT_EQ(Ean_ConfirmRead(&store, v.data(), static_cast<uint16_t>(v.size())), s.delivered);
            EXPECT_EQ(lineMultiReadFlags & (P | C), s.flags);
            EXPECT_EQ(store.agreeing, s.agreeing);
        }
    }
    lineMultiReadFlags = 0;
}

// Through the decode slot: a symbol whose one bar is 0.7 module too wide reads only by the
// looser rule. Each line makes two equal marginal reads (forward, then backward), so the
// second line delivers the fourth; a clean line after it finds the store empty, one after
// a marginal read finds it equal.
TEST(EanReading, MarginalReadsConfirmedAcrossLines) {
    Test_ResetDecoderStatics();
    SetEanWords();
    EdgeLine marginal = MakeEdgeLine(Ean13Runs("4006381333931"), {.moduleSamples = 4});
    for (size_t k = 21; k < marginal.edges.size(); ++k) marginal.edges[k] = static_cast<uint16_t>(marginal.edges[k] + 45);
    const EdgeLine clean = MakeEdgeLine(Ean13Runs("4006381333931"), {.moduleSamples = 4});
    struct Step {
        const EdgeLine *line;
        uint16_t count;
        uint16_t flags;
        uint8_t agreeing;
    };
    constexpr uint16_t P = kMultiReadPending, C = kMultiReadConfirmed;
    const Step steps[] = {
        {&marginal, 0, P, 2}, {&marginal, 13, C, 0}, {&clean, 13, 0, 0}, {&marginal, 0, P, 2}, {&clean, 13, P | C, 0},  // bit 15 is left as it was
    };
    int index = 0;
    for (const Step &s : steps) {
        SCOPED_TRACE(testing::Message() << "line " << index++);
        const EanRead r = ReadEanLine(*s.line, Ean13_Locate, Ean13_Decode);
        EXPECT_EQ(r.count, s.count);
        EXPECT_EQ(lineMultiReadFlags & (P | C), s.flags);
        EXPECT_EQ(g_ean13Store.agreeing, s.agreeing);
    }
    Test_ResetDecoderStatics();
}

// The members as the property defaults and the groups' enable switches leave them (as the
// host's "enable everything" does): ISBN and ISSN take their prefixes, UPC-A and UPC-E drop
// their preamble, add-ons are not admitted and UPC-E of number system 1 is not accepted.
TEST(EanResults, PropertyDefaultsWithEveryGroupOn) {
    struct Case {
        const char *what;
        std::vector<int> runs;
        int answer;
        const char *text;
        const char *aim;
        uint16_t id;
        int32_t codeType;
    };
    std::vector<int> isbnAddOn = Ean13Runs("9780201379624");
    Append(isbnAddOn, AddOnRuns("12"));
    std::vector<int> eanAddOn = Ean13Runs("4006381333931");
    Append(eanAddOn, AddOnRuns("12"));
    const Case cases[] = {
        {"ISBN", Ean13Runs("9780201379624"), 1, "9780201379624", "]X0", 8, 20},
        {"ISBN with an add-on", isbnAddOn, 1, "9780201379624", "]X0", 8, 20},
        {"ISSN", Ean13Runs("9771234567003"), 1, "12345679", "]X0", 7, 21},
        {"EAN-13", Ean13Runs("4006381333931"), 1, "4006381333931", "]E0", 6, 11},
        {"EAN-13, add-on not admitted", eanAddOn, 1, "4006381333931", "]E0", 6, 11},
        {"UPC-A", Ean13Runs("0036000291452"), 1, "036000291452", "]E0", 10, 17},
        {"EAN-8", Ean8Runs("96385074"), 1, "96385074", "]E4", 5, 8},
        {"UPC-E", UpceRuns("01234565"), 1, "1234565", "]E0", 9, 14},
        {"UPC-E number system 1", UpceRuns("12345670"), 0, "", "]X0", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Test_ResetDecoderStatics();
        Par_InstallDefaults();
        for (uint32_t group = 0x10400; group <= 0x10900; group += 0x100) ASSERT_EQ(Par_DispatchSet(group, kValOn), 1);
        EdgeLine line = MakeEdgeLine(c.runs, {.moduleSamples = 3, .spread = 0.1, .jitter16 = 1});
        const WalkRead r = WalkLine(line);
        EXPECT_EQ(r.answer, c.answer);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.aim, c.aim);
        EXPECT_EQ(r.id, c.id);
        if (c.answer == 1) {
            EXPECT_EQ(r.codeType, c.codeType);
        }
    }
    Test_ResetDecoderStatics();
}

}  // namespace
