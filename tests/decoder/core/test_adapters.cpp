// Module adapters: the decode pattern with its enable tests and length limits, the status
// words, result summaries, append getters, headers and version lines.
#include <string>

#include "core/adapters.h"
#include "core/adapters_records.h"
#include "core/modules.h"
#include "core/multi_code.h"
#include "core/params.h"
#include "core/state.h"
#include "decoder_test.h"
#include "locate/finder.h"

namespace {

using namespace vexo;
using vexo_test::DecoderTest;
using vexo_test::TextOut;

// A scripted decoder entry behind an adapter row.
struct Entry {
    int answer = 1;
    int length = 0;
    int calls = 0;
    int micro = 0;
};
Entry g_entry;
int EntryDecode() {
    ++g_entry.calls;
    return g_entry.answer;
}
int EntryLength() { return g_entry.length; }
int EntryIsMicro() { return g_entry.micro; }

// The adapter row of module a with the decoder faked.
ADAPTER_DESC Faked(int a) {
    ADAPTER_DESC d = g_adapterDesc[a];
    d.entry = EntryDecode;
    d.resultLength = EntryLength;
    if (d.useAltSlot != nullptr) d.useAltSlot = EntryIsMicro;
    return d;
}

u32 Window(u32 min, u32 max) { return min | (max << 16); }

class AdaptersTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        g_entry = Entry{};
    }
};

TEST_F(AdaptersTest, LengthWindowDecidesBetweenSuccessAndStatus11) {
    struct Case {
        const char *what;
        int adapter;
        int flags;     // enabled word
        int slot;      // length word set to the window
        int micro;     // the QR decoder reports a Micro QR
        u32 min, max;
        int length;
        int answer;
        i32 status;
        i32 code;  // lastSymbologyCode afterwards
    };
    const Case cases[] = {
        {"QR 10 bytes, window 1-9", kAdapterQr, kSymQr, kSlotQr, 0, 1, 9, 10, 0, 11, 0},
        {"QR 9 bytes, window 1-9", kAdapterQr, kSymQr, kSlotQr, 0, 1, 9, 9, 1, 0, 0},
        {"QR 1 byte, window 1-9", kAdapterQr, kSymQr, kSlotQr, 0, 1, 9, 1, 1, 0, 0},
        {"QR 0 bytes, window 1-9", kAdapterQr, kSymQr, kSlotQr, 0, 1, 9, 0, 0, 11, 0},
        {"Micro QR uses its own window with only QR on", kAdapterQr, kSymQr, kSlotMicroQr, 1, 1, 5, 6, 0, 11, 0},
        {"Micro QR inside its window", kAdapterQr, kSymQr, kSlotMicroQr, 1, 1, 5, 5, 1, 0, 0},
        {"QR enabled through the Micro QR word", kAdapterQr, kSymMicroQr, kSlotQr, 0, 1, 50, 5, 1, 0, 0},
        {"Data Matrix 3832 bytes", kAdapterDataMatrix, kSymDataMatrix, kSlotDataMatrix, 0, 1, 3832, 3832, 1, 0, 261},
        {"Data Matrix 3833 bytes", kAdapterDataMatrix, kSymDataMatrix, kSlotDataMatrix, 0, 1, 3832, 3833, 0, 11, 261},
        {"Han Xin minimum 4", kAdapterCsCode, kSymCsCode, kSlotCsCode, 0, 4, 100, 3, 0, 11, 263},
        {"MicroPDF417", kAdapterMicroPdf417, kSymMicroPdf417, kSlotMicroPdf417, 0, 2, 2, 2, 1, 0, 257},
        {"PDF417 window 65535", kAdapterPdf417, kSymPdf417, kSlotPdf417, 0, 0, 65535, 65535, 1, 0, 256},
        {"PDF417 above", kAdapterPdf417, kSymPdf417, kSlotPdf417, 0, 5, 10, 11, 0, 11, 256},
        {"negative length", kAdapterPdf417, kSymPdf417, kSlotPdf417, 0, 0, 10, -1, 0, 11, 256},
    };
    for (const Case &c : cases) {
        Test_ResetDecoderStatics();
        g_entry = Entry{};
        g_params.flagsWord[c.flags] = kFlagEnabled;
        g_params.lengthWord[c.slot] = Window(c.min, c.max);
        g_entry.answer = c.adapter == kAdapterDataMatrix ? 0 : 1;
        g_entry.length = c.length;
        g_entry.micro = c.micro;
        const ADAPTER_DESC d = Faked(c.adapter);
        EXPECT_EQ(Sym_DecodeThrough(&d), c.answer) << c.what;
        EXPECT_EQ(g_adapterStatus[c.adapter], c.status) << c.what;
        EXPECT_EQ(g_state.lastSymbologyCode, c.code) << c.what;
        if (c.adapter == kAdapterPdf417) {
            EXPECT_EQ(g_reported[kReportedPdf417].status, c.status) << "both PDF417 status words: " << c.what;
        }
    }
}

TEST_F(AdaptersTest, ModulesWithoutLengthLimitsAcceptAnyLength) {
    g_params.flagsWord[kSymMaxiCode] = kFlagEnabled;
    for (int length : {0, 1, 150, 100000}) {
        g_entry.length = length;
        ADAPTER_DESC maxi = Faked(kAdapterMaxiCode);
        maxi.enabled = nullptr;  // the bulls-eye finder's flag is tested below
        EXPECT_EQ(Sym_DecodeThrough(&maxi), 1) << length;
        EXPECT_EQ(g_adapterStatus[kAdapterMaxiCode], 0);
        EXPECT_EQ(g_state.lastSymbologyCode, 262);
        const ADAPTER_DESC linear = Faked(kAdapterComposite1D);
        EXPECT_EQ(Sym_DecodeThrough(&linear), 1) << length;
        EXPECT_EQ(g_state.lastSymbologyCode, 262) << "the linear module writes its own code";
    }
}

TEST_F(AdaptersTest, DisabledOrRefusedModulesNeverCallTheirDecoder) {
    // Disabled: status -1, answer 0, entry not called.
    for (int a : {kAdapterQr, kAdapterDataMatrix, kAdapterAztec, kAdapterMaxiCode, kAdapterCsCode,
                  kAdapterMicroPdf417, kAdapterPdf417}) {
        g_adapterStatus[a] = 0;
        const ADAPTER_DESC d = Faked(a);
        EXPECT_EQ(Sym_DecodeThrough(&d), 0) << a;
        EXPECT_EQ(g_adapterStatus[a], -1) << a;
    }
    EXPECT_EQ(g_entry.calls, 0);
    // Aztec and MaxiCode need their finder's candidate flag besides the enable bit.
    g_params.flagsWord[kSymAztec] = kFlagEnabled;
    g_params.flagsWord[kSymMaxiCode] = kFlagEnabled;
    const ADAPTER_DESC az = Faked(kAdapterAztec);
    const ADAPTER_DESC mx = Faked(kAdapterMaxiCode);
    EXPECT_EQ(Sym_DecodeThrough(&az), 0);
    EXPECT_EQ(Sym_DecodeThrough(&mx), 0);
    EXPECT_EQ(g_entry.calls, 0);
    g_params.lengthWord[kSlotAztec] = Window(0, 100);
    g_finderState.success[kFinderIdMaxiCode] = 1;
    EXPECT_EQ(Sym_DecodeThrough(&az), 0) << "the MaxiCode flag does not open Aztec";
    EXPECT_EQ(Sym_DecodeThrough(&mx), 1);
    g_finderState.success[kFinderIdAztec] = 1;
    EXPECT_EQ(Sym_DecodeThrough(&az), 1);
    EXPECT_EQ(g_entry.calls, 2);
    g_entry.calls = 0;
    // A first decodeRecord byte above 64 refuses PDF417 and Composite1D without a change.
    g_params.flagsWord[kSymPdf417] = kFlagEnabled;
    g_params.lengthWord[kSlotPdf417] = Window(0, 100);
    for (int a : {kAdapterPdf417, kAdapterComposite1D}) {
        const ADAPTER_DESC d = Faked(a);
        g_adapterStatus[a] = 11;
        g_state.decodeRecord[0] = 65;
        EXPECT_EQ(Sym_DecodeThrough(&d), 0);
        EXPECT_EQ(g_adapterStatus[a], 11) << "nothing changed";
        EXPECT_EQ(g_entry.calls, 0);
        g_state.decodeRecord[0] = 64;
        EXPECT_EQ(Sym_DecodeThrough(&d), 1);
        EXPECT_EQ(g_entry.calls, 1);
        g_entry.calls = 0;
    }
    // Data Matrix counts only an answer of 0 as decoded.
    g_params.flagsWord[kSymDataMatrix] = kFlagEnabled;
    g_params.lengthWord[kSlotDataMatrix] = Window(0, 100);
    const ADAPTER_DESC dm = Faked(kAdapterDataMatrix);
    for (int answer : {1, -100, 5}) {
        g_entry.answer = answer;
        EXPECT_EQ(Sym_DecodeThrough(&dm), 0) << answer;
        EXPECT_EQ(g_adapterStatus[kAdapterDataMatrix], -1);
    }
}

TEST_F(AdaptersTest, VersionLinesAreTwentyCharactersCutToTheLength) {
    const char *lines[kAdapterCount] = {"QRCode:     3.04.000", "DataMatrix: 2.03.015", "AztecCode:  1.04.008",
                                        "MaxiCode:   2.00.001", "CS Code:    2.00.019", "MicroPDF417:1.00.002",
                                        "PDF417:     3.01.001", "Composite1D:2.00.017"};
    for (int a = 0; a < kAdapterCount; ++a) {
        char buf[32];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(Sym_FormatVersion(&g_adapterDesc[a], buf, 32), 20) << a;
        EXPECT_EQ(std::string(buf, 20), lines[a]);
        EXPECT_EQ(buf[20], '#') << "no terminator";
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(Sym_FormatVersion(&g_adapterDesc[a], buf, 5), 5);
        EXPECT_EQ(std::string(buf, 6), std::string(lines[a], 5) + "#");
        EXPECT_EQ(Sym_FormatVersion(&g_adapterDesc[a], buf, 0), 0);
        EXPECT_EQ(Sym_FormatVersion(&g_adapterDesc[a], buf, -3), 0);
        EXPECT_EQ(Sym_FormatVersion(&g_adapterDesc[a], nullptr, 20), 0);
    }
    // Through the records' slots too.
    char buf[20];
    EXPECT_EQ(g_modules.matrix[5].getVersion(buf, 20), 20);
    EXPECT_EQ(std::string(buf, 20), "MicroPDF417:1.00.002");
}

TEST_F(AdaptersTest, VersionListBytesAndTruncation) {
    const std::string full =
        "\r\nVexo Ver:     4.10.001B00\r\n  PDF417:     3.01.001\r\n  Composite1D:2.00.017\r\n  "
        "QRCode:     3.04.000\r\n  DataMatrix: 2.03.015\r\n  AztecCode:  1.04.008\r\n  "
        "MaxiCode:   2.00.001\r\n  CS Code:    2.00.019\r\n  MicroPDF417:1.00.002\r\n";
    ASSERT_EQ(full.size(), 221u);
    struct Case {
        u32 capacity;
        std::string text;
    };
    const Case cases[] = {
        {512, full},
        {223, full},                                    // limit 222: the whole text fits
        {222, full.substr(0, 218) + "..."},             // limit 221 = the length: cut
        {20, "\r\nVexo Ver:     ..."},
        {5, "\r..."},
        {4, "\r\nV"},  // limit 3: no dots
        {1, ""},
    };
    for (const Case &c : cases) {
        TextOut out(c.capacity);
        ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_VERSION_LIST, &out.desc), 1);
        EXPECT_EQ(out.Text(), c.text) << "capacity " << c.capacity;
        EXPECT_EQ(out.desc.length, c.text.size());
        EXPECT_EQ(out.bytes[c.text.size()], 0) << "terminator";
        EXPECT_EQ(out.bytes[c.capacity], '#') << "nothing past the capacity";
    }
}

TEST_F(AdaptersTest, FillResultReportsOnlyATakenResult) {
    static const u8 text[] = "text";
    static const u8 aim[] = "]d1";
    MODULE_RESULT r{};
    // Nothing reported: zeros.
    r.kind = 99;
    g_modules.matrix[1].fillResult(&r);
    EXPECT_EQ(r.kind, 0u);
    // Reported data without a length, or a length without data: zeros.
    g_reported[kReportedDataMatrix] = REPORTED_RESULT{text, aim, 0, 0};
    g_modules.matrix[1].fillResult(&r);
    EXPECT_EQ(r.kind, 0u);
    g_reported[kReportedDataMatrix] = REPORTED_RESULT{nullptr, aim, 4, 0};
    g_modules.matrix[1].fillResult(&r);
    EXPECT_EQ(r.kind, 0u);
    g_reported[kReportedDataMatrix] = REPORTED_RESULT{text, aim, 4, 0};
    g_modules.matrix[1].fillResult(&r);
    EXPECT_EQ(r.kind, 0xC2u);
    EXPECT_EQ(r.symbologyBit, 0x8u);
    EXPECT_EQ(r.data, text);
    EXPECT_EQ(r.length, 4u);
    EXPECT_EQ(r.status, 0);
    char out[3] = {};
    g_modules.matrix[1].getAimId(out);
    EXPECT_EQ(std::string(out, 3), "]d1");
    EXPECT_EQ(g_modules.matrix[1].getData(), text);
    EXPECT_EQ(g_modules.matrix[1].getLength(), 4);
    // MicroPDF417 fills whenever its reported status is not -1.
    g_reported[kReportedMicroPdf417] = REPORTED_RESULT{nullptr, nullptr, 0, 0};
    g_modules.matrix[5].fillResult(&r);
    EXPECT_EQ(r.kind, 0xC2u);
    EXPECT_EQ(r.symbologyBit, 0x400u);
    EXPECT_EQ(g_modules.matrix[5].getStatus(), 0);
    // Composite1D: zeros while its status word is -1.
    g_modules.stacked[1].fillResult(&r);
    EXPECT_EQ(r.kind, 0u);
    g_adapterStatus[kAdapterComposite1D] = 0;
    g_modules.stacked[1].fillResult(&r);
    EXPECT_EQ(r.kind, 0xC1u);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.extra, 0u);
    // The list reset puts every reported word back.
    Dec_ResetMultiResultList();
    EXPECT_EQ(g_reported[kReportedDataMatrix].data, nullptr);
    EXPECT_EQ(g_reported[kReportedDataMatrix].status, -1);
    EXPECT_EQ(g_modules.matrix[5].getStatus(), -1);
}

TEST_F(AdaptersTest, AppendGettersAnswerNothingBeforeADecode) {
    struct Row {
        int record;
        int adapter;
        int fileIdLength;  // after a decode
    };
    const Row rows[] = {{0, kAdapterQr, 1}, {1, kAdapterDataMatrix, 2}, {4, kAdapterCsCode, 1}};
    for (const Row &r : rows) {
        const SYM_MODULE &m = g_modules.matrix[r.record];
        g_adapterStatus[r.adapter] = -1;
        EXPECT_EQ(m.getAppendPresent(), 0);
        EXPECT_EQ(m.getFileIdLength(), 0) << r.record;
        EXPECT_EQ(m.getFileIdItem(0), 0);
        g_adapterStatus[r.adapter] = 0;
        EXPECT_EQ(m.getFileIdLength(), r.fileIdLength) << r.record;
    }
    // Han Xin answers only after status 0; the others after anything but -1.
    g_adapterStatus[kAdapterCsCode] = 11;
    EXPECT_EQ(g_modules.matrix[4].getFileIdLength(), 0);
    g_adapterStatus[kAdapterQr] = 11;
    EXPECT_EQ(g_modules.matrix[0].getFileIdLength(), 1);
    g_adapterStatus[kAdapterPdf417] = 0;
    EXPECT_EQ(g_modules.stacked[0].getFileIdLength(), 16);
    EXPECT_EQ(g_modules.stacked[0].getFileIdItem(16), 0);
    EXPECT_EQ(g_modules.stacked[0].getFileIdItem(-1), 0);
    // Records without append slots.
    for (int i : {2, 3, 5}) EXPECT_EQ(g_modules.matrix[i].getAppendPresent, nullptr) << i;
}

TEST_F(AdaptersTest, HeadersAndCorners) {
    struct Row {
        int record;
        u32 number, codeChar;
    };
    const Row rows[] = {{0, 1, '\''}, {1, 3, ')'}, {2, 2, '('}, {3, 4, '*'}, {4, 7, '+'}, {5, 10, '0'}};
    for (const Row &r : rows) {
        MODULE_HEADER h{};
        g_modules.matrix[r.record].getHeader(&h);
        EXPECT_EQ(h.kind, 0xC2u);
        EXPECT_EQ(h.symbologyNumber, r.number) << r.record;
        EXPECT_EQ(h.codeChar, r.codeChar) << r.record;
    }
    MODULE_HEADER h{};
    Sym_Pdf417GetHeader(&h);
    EXPECT_EQ(h.symbologyNumber, 0u);
    EXPECT_EQ(h.codeChar, static_cast<u32>('&'));
    Sym_Composite1DGetHeader(&h);
    EXPECT_EQ(h.kind, 0xC1u);
    EXPECT_EQ(g_modules.stacked[0].getHeader, nullptr);
    // MicroPDF417's outline is the whole image.
    static u8 pixels[64 * 48];
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 64);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 48);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(pixels));
    REGION_QUAD q{};
    g_modules.matrix[5].getCorners(&q);
    const i32 want[8] = {0, 0, 64, 0, 0, 48, 64, 48};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(q.c[i].x, want[2 * i]);
        EXPECT_EQ(q.c[i].y, want[2 * i + 1]);
    }
}

}  // namespace
