// Real codeword streams from libzint: the codewords it prints while it encodes PDF417,
// MicroPDF417 and CC-C components (its debug print), and the bit streams of its CC-A and CC-B
// components, go through the codeword stages and give back the encoded data.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zint.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pdf417/cc_data.h"
#include "pdf417/pdf417_interpret.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417/pdf417_state.h"
#include "pdf417_test_util.h"

namespace {

using namespace vexo;
using pdf_test::Canary;
using pdf_test::CompositeData;
using pdf_test::Plain;
using pdf_test::Printable;

constexpr int kSymbolCapacity = 2812;
constexpr uint32_t kSeed = 2011417;

struct ZintInput {
    int symbology = BARCODE_PDF417;
    std::string data;
    int inputMode = DATA_MODE;
    int option1 = -1;
    int eci = 0;
    std::string primary;
    int saIndex = 0, saCount = 0;
    const char *saId = "";
};

// What libzint prints while it encodes (its debug print goes to standard output).
std::string EncodeAndCapture(const ZintInput &in) {
    std::fflush(stdout);
    FILE *capture = std::tmpfile();
    if (capture == nullptr) return "";
    const int saved = dup(1);
    dup2(fileno(capture), 1);
    zint_symbol *s = ZBarcode_Create();
    s->symbology = in.symbology;
    s->input_mode = in.inputMode;
    s->option_1 = in.option1;
    s->eci = in.eci;
    s->debug = ZINT_DEBUG_PRINT;
    std::snprintf(s->primary, sizeof s->primary, "%s", in.primary.c_str());
    if (in.saCount > 0) {
        s->structapp.index = in.saIndex;
        s->structapp.count = in.saCount;
        std::snprintf(s->structapp.id, sizeof s->structapp.id, "%s", in.saId);
    }
    const int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char *>(in.data.data()), static_cast<int>(in.data.size()));
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out;
    if (rc < ZINT_ERROR) {
        std::rewind(capture);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, capture)) > 0) out.append(buf, n);
    }
    std::fclose(capture);
    ZBarcode_Delete(s);
    return out;
}

// The numbers on the line after `label`, or on its own line after the label's colon.
std::vector<int> NumbersAfter(const std::string &text, const std::string &label, bool sameLine) {
    std::vector<int> out;
    size_t p = text.find(label);
    if (p == std::string::npos) return out;
    p = text.find(sameLine ? ':' : '\n', p);
    if (p == std::string::npos) return out;
    const size_t end = text.find('\n', p + 1);
    std::istringstream line(text.substr(p + 1, end - p - 1));
    int v;
    while (line >> v) out.push_back(v);
    return out;
}

// The number that stands right before `marker`, or -1.
int IntBefore(const std::string &text, const std::string &marker) {
    const size_t p = text.find(marker);
    if (p == std::string::npos) return -1;
    size_t b = p;
    while (b > 0 && text[b - 1] >= '0' && text[b - 1] <= '9') --b;
    return b < p ? std::stoi(text.substr(b, p - b)) : -1;
}

class PdfSymbols : public pdf_test::PdfTest {
protected:
    // A PDF417 stream as libzint made it, a few codewords damaged within the bound, decoded.
    int DecodePdf417(const ZintInput &in, std::string *text, std::mt19937 &rng) {
        const std::string log = EncodeAndCapture(in);
        std::vector<int> cw = NumbersAfter(log, "Complete CW string", false);
        const int level = IntBefore(log, ", No. of ECC Codewords");
        if (cw.empty() || level < 0) {
            ADD_FAILURE() << "no codewords from libzint for " << Printable(in.data);
            return -99;
        }
        const int checks = 1 << (level + 1);
        const int errors = static_cast<int>(rng() % static_cast<uint32_t>(checks / 4 + 1));
        for (int k = 0; k < errors; ++k) {
            int &c = cw[rng() % cw.size()];
            c = (c + 1 + static_cast<int>(rng() % 928)) % 929;
        }
        Canary out(kSymbolCapacity);
        const int rc = PDF_CorrectAndDecode(cw.data(), static_cast<int>(cw.size()), level, out.data(), kSymbolCapacity);
        EXPECT_TRUE(out.Intact());
        *text = out.Text(rc);
        return rc;
    }
    int DecodeMicro(const ZintInput &in, std::string *text) {
        const std::string log = EncodeAndCapture(in);
        std::vector<int> cw = NumbersAfter(log, "Encoded Data Stream with ECC", false);
        const int checks = IntBefore(log, " ecc codewords");
        if (cw.empty() || checks < 0) {
            ADD_FAILURE() << "no codewords from libzint for " << Printable(in.data);
            return -99;
        }
        Canary out(kSymbolCapacity);
        const int rc = PDF_CorrectAndDecodeTyped(cw.data(), static_cast<int>(cw.size()), checks, 1, out.data(), kSymbolCapacity);
        EXPECT_TRUE(out.Intact());
        *text = out.Text(rc);
        return rc;
    }
};

std::string AllBytes() {
    std::string s;
    for (int k = 0; k < 256; ++k) s.push_back(static_cast<char>(k));
    return s;
}

const std::vector<std::string> &Texts() {
    static const std::vector<std::string> texts = {
        "AB",
        "Hello World 12345678901234",
        "PDF417 test: a@b.c; [x] {y} ~ | ` ^ _ \"quoted\" 'single' (paren) <tag> #1 & 50% + 2 = 52 * x / y\\z",
        "lower UPPER lower u l\r\n\ttab",
        std::string(120, '7'),
        "0001234567890123456789012345678901234567890123456789",
        "\x80\x81\xFE\xFF binary",
        AllBytes(),
        "1 2 3 abc 456789012345 XYZ 000000000000000 end.",
    };
    return texts;
}

TEST_F(PdfSymbols, Pdf417StreamsFromLibzint) {
    std::mt19937 rng(kSeed);
    for (const std::string &s : Texts()) {
        for (int level : {-1, 0, 2, 5}) {
            ZintInput in;
            in.data = s;
            in.option1 = level;
            std::string got;
            EXPECT_EQ(DecodePdf417(in, &got, rng), static_cast<int>(s.size())) << Printable(s) << " level " << level;
            EXPECT_EQ(Printable(got), Printable(s)) << "level " << level << " seed " << kSeed;
        }
    }
}

TEST_F(PdfSymbols, Pdf417RandomData) {
    std::mt19937 rng(kSeed + 1);
    for (int trial = 0; trial < 40; ++trial) {
        const int kind = trial % 3;
        // Random ASCII needs many shifts: 700 characters fit the largest symbol.
        const size_t n = 1 + rng() % (kind == 0 ? 2500 : kind == 1 ? 1000 : 700);
        std::string s;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t r = rng();
            s.push_back(kind == 0 ? static_cast<char>('0' + r % 10) : kind == 1 ? static_cast<char>(r) : static_cast<char>(0x20 + r % 95));
        }
        ZintInput in;
        in.data = s;
        std::string got;
        EXPECT_EQ(DecodePdf417(in, &got, rng), static_cast<int>(s.size())) << "trial " << trial << " seed " << kSeed + 1;
        EXPECT_EQ(got, s) << "trial " << trial << " seed " << kSeed + 1;
    }
}

TEST_F(PdfSymbols, Pdf417EciAndMacro) {
    std::mt19937 rng(kSeed + 2);
    ZintInput in;
    in.data = "Gr\xC3\xBC\xC3\x9F" "e";
    in.eci = 26;
    std::string got;
    ASSERT_GT(DecodePdf417(in, &got, rng), 0);
    EXPECT_EQ(Printable(got), Printable("\\000026" + in.data));
    in.eci = 899;
    ASSERT_GT(DecodePdf417(in, &got, rng), 0);
    EXPECT_EQ(Printable(got), Printable("\\000899" + in.data));
    in.eci = 811799;
    ASSERT_GT(DecodePdf417(in, &got, rng), 0);
    EXPECT_EQ(Printable(got), Printable("\\811799" + in.data));

    // Structured append: segment 2 of 5, then the last segment.
    ZintInput sa;
    sa.data = "Hello";
    sa.saIndex = 2;
    sa.saCount = 5;
    sa.saId = "123";
    ASSERT_EQ(DecodePdf417(sa, &got, rng), 5);
    EXPECT_EQ(got, "Hello");
    EXPECT_EQ(g_pdfMacro.present, 1);
    EXPECT_EQ(g_pdfMacro.segmentIndex, 1);
    EXPECT_EQ(g_pdfMacro.fileId[0], 123);
    EXPECT_EQ(g_pdfMacro.segmentCount, 5);
    EXPECT_EQ(g_pdfMacro.countWord, 0);
    sa.saIndex = 5;
    ASSERT_EQ(DecodePdf417(sa, &got, rng), 5);
    EXPECT_EQ(g_pdfMacro.segmentIndex, 4);
    EXPECT_EQ(g_pdfMacro.countWord, 5);
}

TEST_F(PdfSymbols, MicroPdf417StreamsFromLibzint) {
    std::mt19937 rng(kSeed + 3);
    std::vector<std::string> texts = {"AB", "Hello, World! 1234567890123", "lower UPPER 123 !?", std::string(300, '5'),
                                      "\x01\x02\xFF bytes", AllBytes().substr(0, 140)};
    for (int trial = 0; trial < 20; ++trial) {
        std::string s;
        const size_t n = 1 + rng() % 140;
        for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(0x20 + rng() % 95));
        texts.push_back(s);
    }
    for (const std::string &s : texts) {
        ZintInput in;
        in.symbology = BARCODE_MICROPDF417;
        in.data = s;
        std::string got;
        EXPECT_EQ(DecodeMicro(in, &got), static_cast<int>(s.size())) << Printable(s) << " seed " << kSeed + 3;
        EXPECT_EQ(Printable(got), Printable(s)) << "seed " << kSeed + 3;
    }
    ZintInput sa;
    sa.symbology = BARCODE_MICROPDF417;
    sa.data = "Hello";
    sa.saIndex = 2;
    sa.saCount = 5;
    sa.saId = "123";
    std::string got;
    ASSERT_EQ(DecodeMicro(sa, &got), 5);
    EXPECT_EQ(g_pdfMacro.segmentIndex, 1);
    EXPECT_EQ(g_pdfMacro.segmentCount, 5);
}

TEST_F(PdfSymbols, CompositeComponentsFromLibzint) {
    for (const std::string &d : CompositeData()) {
        for (int cc : {1, 2, 3}) {
            ZintInput in;
            in.symbology = BARCODE_GS1_128_CC;
            in.inputMode = GS1_MODE;
            in.primary = "[01]12345678901231";
            in.data = d;
            in.option1 = cc;
            const std::string log = EncodeAndCapture(in);
            Canary out(512);
            int n;
            if (cc == 3) {
                // CC-C: PDF417 codewords that begin with 920, read with the region flag.
                const std::vector<int> cw = NumbersAfter(log, "CC-C Codewords", true);
                ASSERT_FALSE(cw.empty()) << d;
                PDF_SetRegionFlag(1);
                n = PDF_InterpretCodewords(cw.data(), static_cast<int>(cw.size()), out.data(), 512);
                PDF_SetRegionFlag(0);
            } else {
                const size_t p = log.rfind("Binary: ");
                ASSERT_NE(p, std::string::npos) << d << " CC-" << "AB"[cc - 1];
                const std::string bits = log.substr(p + 8, log.find(' ', p + 8) - p - 8);
                const std::vector<int> cw = cc == 1 ? pdf_test::BitsToBase928(bits) : pdf_test::BitsToByteCodewords(bits);
                n = CC_DecodeData(cw.data(), static_cast<int>(cw.size()), out.data(), 512);
            }
            EXPECT_EQ(out.Text(n), Plain(d)) << d << " CC-" << "ABC"[cc - 1];
            EXPECT_TRUE(out.Intact());
        }
    }
}

TEST_F(PdfSymbols, Ai90WithoutLeadingDigits) {
    // libzint compresses AI 90 data that starts with a letter as the number 0 and the letter;
    // the number 0 is written as "0", so the text gains a digit (data that starts with "0"
    // and a letter is not compressed, the two never meet).
    ZintInput in;
    in.symbology = BARCODE_GS1_128_CC;
    in.inputMode = GS1_MODE;
    in.primary = "[01]12345678901231";
    in.data = "[90]B1";
    in.option1 = 1;
    const std::string log = EncodeAndCapture(in);
    const size_t p = log.rfind("Binary: ");
    ASSERT_NE(p, std::string::npos);
    const std::vector<int> cw = pdf_test::BitsToBase928(log.substr(p + 8, log.find(' ', p + 8) - p - 8));
    Canary out(512);
    const int n = CC_DecodeData(cw.data(), static_cast<int>(cw.size()), out.data(), 512);
    EXPECT_EQ(out.Text(n), "900B1");
}

}  // namespace
