// Round trips through the test-side encoder: random digit strings, byte strings, ASCII texts
// and mixed streams (with ECI and Macro blocks) up to the PDF417 maximum decode exactly; error
// correction over GF(929) restores blocks within its bound and never claims a wrong block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "pdf417/pdf417_interpret.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417_test_util.h"

namespace {

using namespace vexo;
using pdf_test::Canary;
using pdf_test::Encoder;
using pdf_test::Printable;
using pdf_test::WithCheck;
using pdf_test::WithDescriptor;

constexpr int kRoundTripCapacity = 2812;
// Data codewords (with the descriptor) of the largest symbol at the lowest level.
constexpr int kMaxData = 928 - 2;
constexpr uint32_t kRoundTripSeed = 4170929;

enum Kind { kDigits = 0, kBytes = 1, kAscii = 2 };

std::string RandomString(std::mt19937 &rng, int kind, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t r = rng();
        if (kind == kDigits) s.push_back(static_cast<char>('0' + r % 10));
        else if (kind == kBytes) s.push_back(static_cast<char>(r & 0xFF));
        // ASCII with line breaks and tabs, and now and then a byte of no text sub-mode.
        else if (r % 40 == 0) s.push_back("\r\n\t"[r / 40 % 3]);
        else if (r % 97 == 1) s.push_back(static_cast<char>(0x80 + r / 97 % 128));
        else s.push_back(static_cast<char>(0x20 + r % 95));
    }
    return s;
}

std::vector<int> Encode(int kind, const std::string &s) {
    Encoder e;
    if (kind == kDigits) e.Numeric(s);
    else if (kind == kBytes) e.Bytes(s);
    else e.Text(s);
    return e.cw;
}

// The longest prefix of s whose stream fits the largest symbol.
size_t LongestFitting(int kind, const std::string &s) {
    size_t lo = 0, hi = s.size();
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (Encode(kind, s.substr(0, mid)).size() + 1 <= kMaxData) lo = mid;
        else hi = mid - 1;
    }
    return lo;
}

int Interpret(const std::vector<int> &cw, std::string *text) {
    Canary out(kRoundTripCapacity);
    const int rc = PDF_InterpretCodewords(cw.data(), static_cast<int>(cw.size()), out.data(), kRoundTripCapacity);
    EXPECT_TRUE(out.Intact());
    *text = out.Text(rc);
    return rc;
}

class PdfRoundTrip : public pdf_test::PdfTest {};

TEST_F(PdfRoundTrip, RandomStringsUpToTheMaximum) {
    std::mt19937 rng(kRoundTripSeed);
    const char *const kNames[] = {"digits", "bytes", "ASCII"};
    for (int kind : {kDigits, kBytes, kAscii}) {
        const std::string pool = RandomString(rng, kind, 3200);
        const size_t longest = LongestFitting(kind, pool);
        std::vector<size_t> lengths = {1, 2, 5, 6, 7, 11, 12, 44, 45, longest - 1, longest};
        for (int k = 0; k < 20; ++k) lengths.push_back(1 + rng() % longest);
        for (size_t n : lengths) {
            const std::string s = RandomString(rng, kind, n);
            const std::vector<int> cw = WithDescriptor(Encode(kind, s));
            if (static_cast<int>(cw.size()) > kMaxData) continue;  // a random text of many byte shifts
            std::string got;
            EXPECT_EQ(Interpret(cw, &got), static_cast<int>(s.size())) << kNames[kind] << " n " << n << " seed " << kRoundTripSeed;
            EXPECT_EQ(Printable(got), Printable(s)) << kNames[kind] << " n " << n << " seed " << kRoundTripSeed;
        }
        // The maximum itself, exactly as the pool holds it.
        const std::string s = pool.substr(0, longest);
        std::string got;
        EXPECT_EQ(Interpret(WithDescriptor(Encode(kind, s)), &got), static_cast<int>(longest)) << kNames[kind];
        EXPECT_EQ(got, s) << kNames[kind] << " longest " << longest << " seed " << kRoundTripSeed;
    }
}

TEST_F(PdfRoundTrip, MixedStreamsWithEciAndMacro) {
    std::mt19937 rng(kRoundTripSeed + 1);
    for (int trial = 0; trial < 200; ++trial) {
        PDF_ClearMacroRecord();
        Encoder e;
        std::string expected;
        const int segments = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < segments; ++k) {
            const int what = static_cast<int>(rng() % 4);
            if (what == 3) {
                const int values[] = {0, 3, 26, 899, 900, 1234, 810899, 810900, 811799};
                const int v = values[rng() % 9];
                e.Eci(v);
                char buf[16];
                std::snprintf(buf, sizeof buf, "\\%06d", v);
                expected += buf;
                continue;
            }
            const std::string s = RandomString(rng, what, 1 + rng() % 60);
            if (what == kDigits) e.Numeric(s);
            else if (what == kBytes) e.Bytes(s);
            else e.Text(s);
            expected += s;
        }
        const bool macro = rng() % 2 == 0;
        const int index = static_cast<int>(rng() % 99999);
        if (macro) e.Macro(index, {static_cast<int>(rng() % 900), 17}, {{1, {111, 104}}}, rng() % 2 == 0);
        const std::vector<int> cw = WithDescriptor(e.cw);
        std::string got;
        EXPECT_EQ(Interpret(cw, &got), static_cast<int>(expected.size())) << "trial " << trial << " seed " << kRoundTripSeed + 1;
        EXPECT_EQ(Printable(got), Printable(expected)) << "trial " << trial << " seed " << kRoundTripSeed + 1;
        EXPECT_EQ(g_pdfMacro.present, macro ? 1 : 0) << "trial " << trial;
        if (macro) {
            EXPECT_EQ(g_pdfMacro.segmentIndex, index) << "trial " << trial;
            EXPECT_EQ(g_pdfMacro.fileId[1], 17) << "trial " << trial;
            EXPECT_EQ(g_pdfMacro.segmentCount, 4) << "trial " << trial;
        }

        // The same data as MicroPDF417 (no descriptor) where a symbol holds it.
        if (e.cw.size() <= 176) {
            Canary out(kRoundTripCapacity);
            const int rc = MPDF_InterpretCodewords(e.cw.data(), static_cast<int>(e.cw.size()), 1, out.data(), kRoundTripCapacity);
            EXPECT_EQ(Printable(out.Text(rc)), Printable(expected)) << "micro trial " << trial;
            EXPECT_TRUE(out.Intact());
        }
    }
}

// Erasures (value 999) and errors at distinct random places.
void Damage(std::vector<int> &block, int erasures, int errors, std::mt19937 &rng) {
    std::vector<size_t> places(block.size());
    for (size_t i = 0; i < places.size(); ++i) places[i] = i;
    std::shuffle(places.begin(), places.end(), rng);
    for (int k = 0; k < erasures; ++k) block[places[static_cast<size_t>(k)]] = 999;
    for (int k = 0; k < errors; ++k) {
        int &c = block[places[static_cast<size_t>(erasures + k)]];
        c = (c + 1 + static_cast<int>(rng() % 928)) % 929;
    }
}

TEST_F(PdfRoundTrip, CorrectionWithinAndBeyondTheBound) {
    std::mt19937 rng(kRoundTripSeed + 2);
    int corrected = 0, refused = 0, miscorrected = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const bool micro = trial % 2 == 1;
        const int level = static_cast<int>(rng() % 7);
        const int checks = micro ? 4 + static_cast<int>(rng() % 47) : 1 << (level + 1);
        const std::string s = RandomString(rng, kAscii, 1 + rng() % 150);
        const std::vector<int> data = micro ? Encode(kAscii, s) : WithDescriptor(Encode(kAscii, s));
        const std::vector<int> clean = WithCheck(data, checks);
        ASSERT_TRUE(pdf_test::SyndromesZero(clean, checks));
        const int n = static_cast<int>(clean.size());
        const auto run = [&](std::vector<int> &block) {
            Canary out(kRoundTripCapacity);
            const int rc = micro ? PDF_CorrectAndDecodeTyped(block.data(), n, checks, 1, out.data(), kRoundTripCapacity)
                                 : PDF_CorrectAndDecode(block.data(), n, level, out.data(), kRoundTripCapacity);
            EXPECT_TRUE(out.Intact());
            return std::make_pair(rc, out.Text(rc));
        };
        // Within the bound of the GF(929) decoder: E + 2t < N and t < N / 2 rounded down (for
        // an odd N one error fewer than the code could carry).
        const int tMax = (checks - 1) / 2 < checks / 2 - 1 ? (checks - 1) / 2 : checks / 2 - 1;
        const int t = static_cast<int>(rng() % static_cast<uint32_t>(tMax + 1));
        const int e = static_cast<int>(rng() % static_cast<uint32_t>(checks - 2 * t));
        std::vector<int> block = clean;
        Damage(block, e, t, rng);
        const auto [rc, text] = run(block);
        EXPECT_EQ(rc, static_cast<int>(s.size())) << "trial " << trial << " N " << checks << " E " << e << " t " << t
                                                 << " seed " << kRoundTripSeed + 2;
        EXPECT_EQ(text, s) << "trial " << trial;
        EXPECT_EQ(block, clean) << "trial " << trial;
        ++corrected;
        // Beyond it: E + 2t >= N, within the block.
        const int t2 = checks / 2 + static_cast<int>(rng() % 3);
        const int e2 = static_cast<int>(rng() % 3);
        if (e2 + t2 > n) continue;
        std::vector<int> bad = clean;
        Damage(bad, e2, t2, rng);
        const auto [rc2, text2] = run(bad);
        if (rc2 == -20) {
            ++refused;
        } else {
            ++miscorrected;
            EXPECT_TRUE(pdf_test::SyndromesZero(bad, checks)) << "trial " << trial << " claimed a block that is no codeword";
        }
    }
    EXPECT_EQ(corrected, 400);
    EXPECT_GT(refused, 0);
    std::printf("correction sweep (seed %u): 400 corrected within the bound; beyond it %d refused, %d decoded to another codeword\n",
                kRoundTripSeed + 2, refused, miscorrected);
}

TEST_F(PdfRoundTrip, CorrectionRefusesBadArguments) {
    std::vector<int> block = WithCheck(WithDescriptor({1}), 2);
    Canary out(16);
    EXPECT_EQ(PDF_CorrectAndDecode(block.data(), 4, -1, out.data(), 16), -20);
    EXPECT_EQ(PDF_CorrectAndDecode(block.data(), 4, 9, out.data(), 16), -20);
    EXPECT_EQ(PDF_CorrectAndDecode(block.data(), 4, 2, out.data(), 16), -20);  // more checks than codewords
    EXPECT_EQ(PDF_CorrectAndDecode(nullptr, 4, 0, out.data(), 16), -20);
    EXPECT_EQ(PDF_CorrectAndDecodeTyped(block.data(), 4, 2, 0, out.data(), 16), -10);
    EXPECT_EQ(PDF_CorrectAndDecode(block.data(), 4, 0, out.data(), 16), 2);
    EXPECT_EQ(out.Text(2), "AB");
}

}  // namespace
