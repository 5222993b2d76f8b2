// The QR module driver: read modes, the result store, joining two symbols and the accessors,
// over a scripted symbol decode; its pure functions as tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/arena.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "qr/qr_driver.h"
#include "qr/qr_segments.h"
#include "qr/qr_symbol.h"

namespace {

using vexo::GEO_POINT;
using vexo::QR_PART;
using vexo::REGION_QUAD;

// ---- The scripted symbol decode.

struct Step {
    int code = vexo::kQrCandidateFailed;
    std::string text;
    REGION_QUAD corners{};
    GEO_POINT centre{};
    int orientation = 0;
    vexo::QR_SA_INFO sa{};
    bool realDecode = false;  // run the module's own symbol decode for this step
};

struct Script {
    std::vector<Step> steps;
    size_t next = 0;
    int calls = 0;
};
Script g_script;

REGION_QUAD Box(int x, int y, int side) {
    return REGION_QUAD{{{x, y}, {x + side, y}, {x, y + side}, {x + side, y + side}}};
}

// What the symbol decode leaves behind for one candidate: the per-candidate resets, then,
// for a decoded symbol, the data decoders' text, length, corners and header.
int ScriptedDecode(GEO_POINT *centre, int *orientation) {
    ++g_script.calls;
    if (g_script.next >= g_script.steps.size()) return vexo::kQrNoCandidate;
    const Step &s = g_script.steps[g_script.next++];
    if (s.realDecode) return vexo::QR_DecodeOneSymbol(centre, orientation);
    // Without a candidate the symbol decode returns before its per-candidate resets.
    if (s.code == vexo::kQrNoCandidate) return s.code;
    *centre = s.centre;
    *orientation = s.orientation;
    vexo::QR_RESULT &r = vexo::g_qrResult;
    r.saInfo = vexo::QR_SA_INFO{};
    r.text = r.textBuffer;
    r.bestStatus = vexo::kQrStatusStart;
    vexo::g_qrData.length = 0;
    if (s.code != vexo::kQrSymbolDecoded && s.code != vexo::kQrMicroDecoded) return s.code;
    std::memcpy(r.textBuffer, s.text.data(), s.text.size());
    vexo::g_qrSymbol.data = r.textBuffer;
    vexo::g_qrSymbol.length = static_cast<vexo::i32>(s.text.size());
    vexo::g_qrData.length = static_cast<vexo::i32>(s.text.size());
    r.corners = s.corners;
    r.saInfo = s.sa;
    if (s.code == vexo::kQrMicroDecoded) r.symbolType = vexo::kQrSymbolMicro;
    return s.code;
}

Step Symbol(const std::string &text, REGION_QUAD corners, GEO_POINT centre, int orientation = 0) {
    Step s;
    s.code = vexo::kQrSymbolDecoded;
    s.text = text;
    s.corners = corners;
    s.centre = centre;
    s.orientation = orientation;
    return s;
}

Step Code(int code) {
    Step s;
    s.code = code;
    return s;
}

class QrDriverTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        vexo_test::DecoderTest::SetUp();
        g_script = Script{};
        // A frame whose second buffer is the working image, as the interface installs it.
        frame_.assign(752 * 480, 128);
        vexo::Pix_SetImagePointer(frame_.data());
        vexo::Pix_SetImageSize(752, 480);
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_InstallFrame(frame_.data(), 752, 480);
        vexo::Mem_ResetArena();
        SetReadMode(1);
    }
    static void SetReadMode(vexo::u32 mode) {
        vexo::g_params.flagsWord[vexo::kSymQr] = vexo::kFlagEnabled | vexo::kFlag2DDarkOnLight | mode;
    }
    static int Run(std::vector<Step> steps) {
        g_script.steps = std::move(steps);
        return vexo::QR_DecodeImageWith(ScriptedDecode);
    }
    static std::string ResultText() {
        const vexo::u8 *t = vexo::QR_GetResultText();
        if (t == nullptr) return "<null>";
        return std::string(reinterpret_cast<const char *>(t), static_cast<size_t>(vexo::QR_GetResultLength()));
    }
    static std::string Stored(int slot) {
        const vexo::RESULT_STORE &rs = vexo::g_params.resultStore;
        const vexo::u8 *d = slot == 0 ? rs.storedData0 : rs.storedData1;
        return std::string(reinterpret_cast<const char *>(d), static_cast<size_t>(rs.storedLength[slot]));
    }
    std::vector<vexo::u8> frame_;
};

const REGION_QUAD kLeft = Box(100, 100, 80);
const REGION_QUAD kRight = Box(400, 110, 80);
const REGION_QUAD kLeftAgain = Box(104, 98, 80);  // the same symbol found twice

TEST_F(QrDriverTest, ReadMode0DecodesNothingAndKeepsTheDecodedFlag) {
    SetReadMode(0);
    vexo::g_qrResult.decoded = 1;
    EXPECT_EQ(Run({Symbol("A", kLeft, {140, 140})}), 0);
    EXPECT_EQ(g_script.calls, 0);
    EXPECT_EQ(vexo::g_qrResult.decoded, 1);
    EXPECT_EQ(vexo::g_qrResult.length, 0);
}

TEST_F(QrDriverTest, ReadMode1ReturnsTheFirstSymbol) {
    EXPECT_EQ(Run({Code(10), Symbol("FIRST", kLeft, {140, 140}), Symbol("SECOND", kRight, {440, 150})}), 1);
    EXPECT_EQ(g_script.calls, 2);
    EXPECT_EQ(ResultText(), "FIRST");
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 1);
    EXPECT_EQ(Stored(0), "FIRST");
    EXPECT_EQ(vexo::g_params.resultStore.storedQuad[0].c[3].x, kLeft.c[3].x);
    REGION_QUAD q{};
    vexo::QR_GetCorners(&q);
    EXPECT_EQ(std::memcmp(&q, &kLeft, sizeof q), 0);
    vexo::u32 type = 99;
    EXPECT_EQ(vexo::QR_GetSymbolType(&type), 1);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(vexo::g_qrResult.bestStatus, 0);
}

TEST_F(QrDriverTest, ReadMode1WithoutASymbol) {
    EXPECT_EQ(Run({Code(10), Code(10), Code(3)}), 0);
    EXPECT_EQ(g_script.calls, 3);
    EXPECT_EQ(vexo::g_qrResult.decoded, 0);
    EXPECT_EQ(vexo::QR_GetResultText(), nullptr);
    EXPECT_EQ(vexo::QR_GetResultLength(), 0);
    vexo::u32 type = 99;
    EXPECT_EQ(vexo::QR_GetSymbolType(&type), 0);
    EXPECT_EQ(type, 99u);
}

TEST_F(QrDriverTest, ReadMode2JoinsTwoSymbolsLeftToRight) {
    SetReadMode(2);
    // Found right first; the horizontal pair is joined left first.
    EXPECT_EQ(Run({Symbol("RIGHT", kRight, {440, 150}), Symbol("LEFT", kLeft, {140, 140})}), 1);
    EXPECT_EQ(ResultText(), "LEFTRIGHT");
    EXPECT_EQ(vexo::QR_GetResultLength(), 9);
    EXPECT_EQ(vexo::g_qrData.length, 9);
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 2);
    EXPECT_EQ(Stored(0), "RIGHT");
    EXPECT_EQ(Stored(1), "LEFT");
}

TEST_F(QrDriverTest, ReadMode2SkipsARepeatOfTheStoredSymbol) {
    SetReadMode(2);
    EXPECT_EQ(Run({Symbol("ONE", kLeft, {140, 140}), Symbol("ONE", kLeftAgain, {144, 138}), Code(10),
                   Symbol("TWO", kRight, {440, 150})}),
              1);
    EXPECT_EQ(g_script.calls, 4);
    EXPECT_EQ(ResultText(), "ONETWO");
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 2);
    EXPECT_EQ(Stored(1), "TWO");
}

TEST_F(QrDriverTest, ReadMode2WithOneSymbolReturnsIt) {
    SetReadMode(2);
    EXPECT_EQ(Run({Code(10), Symbol("ALONE", kLeft, {140, 140}), Code(10), Code(3)}), 1);
    EXPECT_EQ(ResultText(), "ALONE");
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 1);
}

TEST_F(QrDriverTest, ReadMode2WithoutSymbolsEndsDecodedButEmpty) {
    SetReadMode(2);
    EXPECT_EQ(Run({Code(10), Code(3)}), 0);
    EXPECT_EQ(vexo::g_qrResult.decoded, 1);
    EXPECT_EQ(vexo::QR_GetResultLength(), 0);
    EXPECT_EQ(vexo::QR_GetResultText(), nullptr);
}

TEST_F(QrDriverTest, ReadMode2ReportsAStructuredAppendSymbolUnjoined) {
    SetReadMode(2);
    Step second = Symbol("PART2", kRight, {440, 150});
    second.sa = {1, 3, 0x5A, 1};
    EXPECT_EQ(Run({Symbol("PLAIN", kLeft, {140, 140}), second}), 1);
    EXPECT_EQ(ResultText(), "PART2");
    EXPECT_EQ(vexo::QR_HasSa(), 1);
    EXPECT_EQ(vexo::QR_GetSaIndex(), 1);
    EXPECT_EQ(vexo::QR_GetSaCount(), 3);
    EXPECT_EQ(vexo::QR_GetSaParity(), 0x5A);
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 2);
}

TEST_F(QrDriverTest, ReadMode1KeepsTheStructuredAppendHeader) {
    Step s = Symbol("SA", kLeft, {140, 140});
    s.sa = {0, 2, 0x11, 1};
    EXPECT_EQ(Run({s}), 1);
    EXPECT_EQ(vexo::QR_HasSa(), 1);
    EXPECT_EQ(vexo::QR_GetSaCount(), 2);
    EXPECT_EQ(vexo::QR_GetSaParity(), 0x11);
}

TEST_F(QrDriverTest, ReadMode3CollectsTwoButReportsNothing) {
    SetReadMode(3);
    EXPECT_EQ(Run({Symbol("A", kLeft, {140, 140}), Symbol("B", kRight, {440, 150}), Symbol("C", Box(300, 300, 60), {330, 330})}),
              0);
    EXPECT_EQ(g_script.calls, 3);  // the third ends the collection
    EXPECT_EQ(vexo::g_qrResult.decoded, 1);
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 2);
    EXPECT_EQ(Stored(0), "A");
    EXPECT_EQ(Stored(1), "B");
    // The accessors report the symbol decoded last.
    EXPECT_EQ(vexo::QR_GetResultLength(), 1);
}

TEST_F(QrDriverTest, ReadMode3ReportsAStructuredAppendSymbol) {
    SetReadMode(3);
    Step s = Symbol("SEQ", kLeft, {140, 140});
    s.sa = {2, 4, 7, 1};
    EXPECT_EQ(Run({Code(10), s, Code(3)}), 1);
    EXPECT_EQ(ResultText(), "SEQ");
    EXPECT_EQ(vexo::QR_GetSaIndex(), 2);
}

TEST_F(QrDriverTest, TwoLongSymbolsAreNotJoinedPastTheBuffer) {
    SetReadMode(2);
    Step first = Symbol(std::string(4000, 'a'), kLeft, {140, 140});
    first.sa = {0, 2, 9, 1};
    const Step second = Symbol(std::string(4000, 'b'), kRight, {440, 150});
    EXPECT_EQ(Run({first, second, Symbol("C", Box(300, 300, 60), {330, 330})}), 1);
    EXPECT_EQ(g_script.calls, 2);  // the second does not fit: collection ends
    EXPECT_EQ(ResultText(), std::string(4000, 'a'));
    // Only the present flag comes from the collected part.
    EXPECT_EQ(vexo::QR_HasSa(), 1);
    EXPECT_EQ(vexo::QR_GetSaCount(), 0);
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 2);
}

TEST_F(QrDriverTest, JoinedTextsUpTo7279BytesAreJoined) {
    SetReadMode(2);
    EXPECT_EQ(Run({Symbol(std::string(3640, 'a'), kLeft, {140, 140}), Symbol(std::string(3639, 'b'), kRight, {440, 150})}),
              1);
    EXPECT_EQ(vexo::QR_GetResultLength(), 7279);
    EXPECT_EQ(ResultText(), std::string(3640, 'a') + std::string(3639, 'b'));
}

TEST_F(QrDriverTest, AFullTextBufferStillHasRoomForItsTerminator) {
    const std::string full(vexo::kQrTextCapacity, 'x');
    EXPECT_EQ(Run({Symbol(full, kLeft, {140, 140})}), 1);
    const vexo::u8 *t = vexo::QR_GetResultText();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[vexo::kQrTextCapacity], 0);
    EXPECT_EQ(vexo::QR_GetResultLength(), vexo::kQrTextCapacity);
}

TEST_F(QrDriverTest, AMicroQrSymbol) {
    Step s = Symbol("M1", kLeft, {140, 140});
    s.code = vexo::kQrMicroDecoded;
    EXPECT_EQ(Run({s}), 1);
    EXPECT_EQ(vexo::g_qrSymbol.kind, vexo::kQrKindMicro);
    vexo::u32 type = 0;
    EXPECT_EQ(vexo::QR_GetSymbolType(&type), 1);
    EXPECT_EQ(type, static_cast<vexo::u32>(vexo::kQrSymbolMicro));
}

TEST_F(QrDriverTest, EveryDecodeStartsFromAClearedState) {
    Step s = Symbol("SA", kLeft, {140, 140});
    s.sa = {0, 2, 0x11, 1};
    ASSERT_EQ(Run({s}), 1);
    vexo::g_qrResult.symbolType = vexo::kQrSymbolMicro;
    g_script = Script{};
    EXPECT_EQ(Run({Code(3)}), 0);
    EXPECT_EQ(vexo::QR_HasSa(), 0);
    EXPECT_EQ(vexo::g_qrResult.symbolType, vexo::kQrSymbolQr);
    EXPECT_EQ(vexo::g_qrSymbol.sa, &vexo::g_qrResult.saInfo);
    EXPECT_EQ(vexo::g_qrData.headerMode, 0);
}

TEST_F(QrDriverTest, EnableBitsAreCopiedForTheSymbolDecode) {
    vexo::g_params.flagsWord[vexo::kSymMicroQr] = vexo::kFlagEnabled;
    vexo::g_params.flagsWord[vexo::kSymQr] = 1;  // read mode 1, QR Code itself off
    Run({Code(3)});
    EXPECT_EQ(vexo::g_qrResult.microQrEnabled, 1);
    EXPECT_EQ(vexo::g_qrResult.qrEnabled, 0);
}

// ---- The arena.

TEST_F(QrDriverTest, AnArenaRefusalEndsTheLoop) {
    SetReadMode(2);
    // Leave less than a candidate's block free.
    ASSERT_NE(vexo::Mem_Alloc(vexo::kArenaCapacity - 4096), nullptr);
    vexo::ARENA_STATS before{};
    vexo::Mem_GetStats(&before);
    Step real;
    real.realDecode = true;
    EXPECT_EQ(Run({Symbol("KEPT", kLeft, {140, 140}), real, Symbol("NEVER", kRight, {440, 150})}), 1);
    EXPECT_EQ(g_script.calls, 2);
    EXPECT_EQ(ResultText(), "KEPT");
    vexo::ARENA_STATS after{};
    vexo::Mem_GetStats(&after);
    EXPECT_EQ(after.used, before.used);
}

TEST_F(QrDriverTest, TheSymbolDecodeGivesItsBlockBack) {
    vexo::ARENA_STATS before{};
    vexo::Mem_GetStats(&before);
    GEO_POINT c{-1, -1};
    int o = -1;
    // No candidate (the region holds no patterns): nothing more to try.
    EXPECT_EQ(vexo::QR_DecodeOneSymbol(&c, &o), vexo::kQrNoCandidate);
    vexo::ARENA_STATS after{};
    vexo::Mem_GetStats(&after);
    EXPECT_EQ(after.used, before.used);
    EXPECT_EQ(vexo::g_arena.count, 0);
}

TEST_F(QrDriverTest, WithoutWorkMemoryThereIsNothingToTry) {
    vexo::Pix_SetSecondBuffer(nullptr);
    GEO_POINT c{};
    int o = 0;
    EXPECT_EQ(vexo::QR_DecodeOneSymbol(&c, &o), vexo::kQrNoCandidate);
    // A small caller buffer does not hold the QR work areas either.
    std::vector<vexo::u8> small(64 * 64);
    vexo::Pix_SetSecondBuffer(small.data());
    vexo::Pix_SetImageSize(64, 64);
    EXPECT_EQ(vexo::QR_WorkBuffer(), nullptr);
    EXPECT_EQ(vexo::QR_DecodeOneSymbol(&c, &o), vexo::kQrNoCandidate);
}

// ---- Pure functions.

TEST_F(QrDriverTest, KeepBestStatusTable) {
    struct Case {
        int best, status, expect;
    } cases[] = {
        {-10000, 10, 10}, {-10000, -200, -200}, {-10000, 0, 0}, {10, 20, 10}, {20, 10, 10}, {10, -5, 10},
        {-50, -5, -5},    {-5, -50, -5},        {0, 10, 0},     {10, 0, 0},   {-5, 0, 0},   {0, -1, 0},
        {-90, 80, 80},    {80, 80, 80},         {-1, -1, -1},
    };
    for (const Case &c : cases) {
        vexo::g_qrResult.bestStatus = c.best;
        vexo::QR_KeepBestStatus(c.status);
        EXPECT_EQ(vexo::g_qrResult.bestStatus, c.expect) << c.best << " then " << c.status;
    }
}

TEST_F(QrDriverTest, SetStatusSetsOutrightBelowMinus9999) {
    vexo::g_qrResult.bestStatus = 10;
    vexo::QR_SetStatus(-10000);
    EXPECT_EQ(vexo::QR_GetBestStatus(), -10000);
    vexo::QR_SetStatus(-9999);
    EXPECT_EQ(vexo::QR_GetBestStatus(), -9999);
    vexo::QR_SetStatus(20);
    EXPECT_EQ(vexo::QR_GetBestStatus(), 20);
}

vexo::QR_FINDER_PATTERN PatternAt(int x, int y) {
    vexo::QR_FINDER_PATTERN p{};
    p.centreX = 16 * x;
    p.centreY = 16 * y;
    return p;
}

TEST_F(QrDriverTest, CandidateOrientationTable) {
    struct Case {
        const char *name;
        std::vector<GEO_POINT> centres;
        GEO_POINT mean;
        int code;
    } cases[] = {
        {"none", {}, {0, 0}, 0},
        {"one", {{101, 51}}, {101, 51}, 0},
        {"two", {{100, 100}, {201, 100}}, {150, 100}, 0},
        {"three, first pair left to right", {{100, 100}, {200, 110}, {100, 200}}, {133, 136}, 3},
        {"three, first pair right to left", {{200, 100}, {100, 110}, {200, 200}}, {166, 136}, 4},
        {"three, first pair downwards", {{100, 100}, {110, 200}, {200, 100}}, {136, 133}, 2},
        {"three, first pair upwards", {{100, 200}, {110, 100}, {200, 200}}, {136, 166}, 1},
        {"three, equal spans: vertical rule", {{100, 100}, {200, 200}, {100, 200}}, {133, 166}, 2},
        {"three, same centre", {{100, 100}, {100, 100}, {150, 150}}, {116, 116}, 2},
    };
    for (const Case &c : cases) {
        std::vector<vexo::QR_FINDER_PATTERN> p;
        for (const GEO_POINT &g : c.centres) p.push_back(PatternAt(g.x, g.y));
        GEO_POINT mean{-1, -1};
        const int code = vexo::QR_GetCandidateOrientation(p.data(), static_cast<int>(p.size()), &mean);
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(mean.x, c.mean.x) << c.name;
        EXPECT_EQ(mean.y, c.mean.y) << c.name;
    }
}

TEST_F(QrDriverTest, CandidateMeanTruncatesTowardsZero) {
    vexo::QR_FINDER_PATTERN p[2] = {};
    p[0].centreX = -17;
    p[1].centreX = -16;
    GEO_POINT mean{};
    vexo::QR_GetCandidateOrientation(p, 2, &mean);
    EXPECT_EQ(mean.x, -1);  // -33 / 32
}

TEST_F(QrDriverTest, JoinTwoPartsTable) {
    struct Case {
        const char *name;
        GEO_POINT p, q;
        int pCode, qCode;
        const char *joined;
        int vertical;
    } cases[] = {
        {"no codes, p left of q", {100, 100}, {300, 120}, 0, 0, "PQ", 0},
        {"no codes, p right of q", {300, 100}, {100, 120}, 0, 0, "QP", 0},
        {"no codes, p above q", {100, 100}, {120, 300}, 0, 0, "PQ", 1},
        {"no codes, p below q", {100, 300}, {120, 100}, 0, 0, "QP", 1},
        {"no codes, equal spans: horizontal", {100, 100}, {200, 200}, 0, 0, "PQ", 0},
        {"code 1, p left", {100, 100}, {300, 100}, 0, 1, "PQ", 0},
        {"code 1, p right", {300, 100}, {100, 100}, 0, 1, "QP", 0},
        {"code 2, p left", {100, 100}, {300, 100}, 0, 2, "QP", 0},
        {"code 3, p above", {100, 100}, {100, 300}, 0, 3, "PQ", 0},
        {"code 3, p below", {100, 300}, {100, 100}, 0, 3, "QP", 0},
        {"code 4, p above", {100, 100}, {100, 300}, 0, 4, "QP", 0},
        {"q's code wins", {100, 100}, {300, 100}, 2, 1, "PQ", 0},
        {"p's code when q has none", {100, 100}, {300, 100}, 2, 0, "QP", 0},
        {"an unknown code puts q first", {100, 100}, {300, 100}, 0, 7, "QP", 0},
        {"same place: p first", {100, 100}, {100, 100}, 0, 0, "PQ", 0},
        {"negative centres, code 1", {-300, 0}, {-100, 0}, 0, 1, "PQ", 0},
    };
    const vexo::u8 pData[] = {'P'}, qData[] = {'Q'};
    for (const Case &c : cases) {
        QR_PART parts[2] = {};
        parts[0] = {c.p, {}, pData, 1, c.pCode, 0};
        parts[1] = {c.q, {}, qData, 1, c.qCode, 0};
        vexo::u8 out[4] = {0, 0, 0, 0};
        vexo::i32 n = -1;
        EXPECT_EQ(vexo::QR_JoinTwoParts(parts, 2, out, &n), c.vertical) << c.name;
        EXPECT_EQ(n, 2) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 2), c.joined) << c.name;
    }
}

TEST_F(QrDriverTest, JoinTwoPartsNeedsTwo) {
    const vexo::u8 d[] = {'A'};
    QR_PART parts[2] = {};
    parts[0] = {{1, 1}, {}, d, 1, 0, 0};
    vexo::i32 n = -1;
    EXPECT_EQ(vexo::QR_JoinTwoParts(parts, 1, nullptr, &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(vexo::QR_JoinTwoParts(nullptr, 2, nullptr, &n), 0);
    EXPECT_EQ(n, 0);
}

TEST_F(QrDriverTest, SetDefaultModeKeepsTheOtherBits) {
    vexo::g_params.flagsWord[vexo::kSymQr] = vexo::kFlagEnabled | vexo::kFlag2DLightOnDark | 7u | (1u << 9);
    vexo::QR_SetDefaultMode();
    EXPECT_EQ(vexo::g_params.flagsWord[vexo::kSymQr],
              vexo::kFlagEnabled | vexo::kFlag2DLightOnDark | vexo::kFlag2DDarkOnLight | 1u | (1u << 9));
    EXPECT_EQ(vexo::Par_MinLength2D(vexo::kSlotQr), 1u);
    EXPECT_EQ(vexo::Par_MaxLength2D(vexo::kSlotQr), 7089u);
}

TEST_F(QrDriverTest, SmallAccessors) {
    vexo::g_qrResult.saInfo = {3, 4, 5, 1};
    vexo::QR_SA_INFO *sa = vexo::QR_ClearSaInfo();
    EXPECT_EQ(sa, &vexo::g_qrResult.saInfo);
    EXPECT_EQ(vexo::QR_HasSa() + vexo::QR_GetSaIndex() + vexo::QR_GetSaCount() + vexo::QR_GetSaParity(), 0);
    vexo::QR_SetHeaderMode(0x1FE);
    EXPECT_EQ(vexo::g_qrData.headerMode, 0x1FE);
    vexo::g_qrResult.decoded = 1;
    EXPECT_EQ(vexo::QR_IsDecoded(), 1);
    vexo::g_qrResult.length = -5;
    EXPECT_EQ(vexo::QR_GetResultLength(), 0);
    EXPECT_EQ(vexo::QR_GetResultText(), nullptr);
    vexo::QR_GetCorners(nullptr);
    EXPECT_EQ(vexo::QR_GetSymbolType(nullptr), 0);
    char aim[4] = {0, 0, 0, 0};
    vexo::g_qrAimModifier = '3';
    vexo::QR_WriteAimId(aim);
    EXPECT_STREQ(aim, "]Q3");
}

}  // namespace
