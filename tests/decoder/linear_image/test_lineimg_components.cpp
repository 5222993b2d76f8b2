// The composite component step on a run and regions set up by hand: the quad widening, the
// choice of reader, code and variant, the requests handed to spies in place of the PDF417
// family's readers, and the answers that accept or refuse a linked result.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/modules.h"
#include "lineimg_test_util.h"
#include "linear_image/lineimg_components.h"
#include "pdf417/pdf417_decode.h"
#include "pdf417/pdf417_services.h"

namespace {

using namespace vexo;
using namespace lineimgtest;

// What the spies saw and answer.
struct ComponentSpyLog {
    int pdfCalls = 0;
    int ccCalls = 0;
    int answer = 0;
    i32 codeAtCall = 0;
    CC_READ_REQUEST cc{};
    POINT_I32 rowVector{};
    i32 pdfQuad[8] = {};
    i32 pdfLinear[8] = {};
    i32 pdfCapacity = 0;
    const char *reply = "";
};
ComponentSpyLog g_componentSpy;

int SpyPdf(void *data) {
    auto *r = static_cast<CC_PDF_REQUEST *>(data);
    ++g_componentSpy.pdfCalls;
    g_componentSpy.codeAtCall = g_state.lastSymbologyCode;
    std::memcpy(g_componentSpy.pdfQuad, r->quad, sizeof(g_componentSpy.pdfQuad));
    std::memcpy(g_componentSpy.pdfLinear, r->linearQuad, sizeof(g_componentSpy.pdfLinear));
    g_componentSpy.pdfCapacity = r->capacity;
    if (g_componentSpy.answer == 1) {
        r->length = static_cast<i32>(std::strlen(g_componentSpy.reply));
        std::memcpy(r->buffer, g_componentSpy.reply, static_cast<size_t>(r->length));
    }
    return g_componentSpy.answer;
}

int SpyCc(void *data) {
    auto *r = static_cast<CC_READ_REQUEST *>(data);
    ++g_componentSpy.ccCalls;
    g_componentSpy.codeAtCall = g_state.lastSymbologyCode;
    g_componentSpy.cc = *r;
    g_componentSpy.rowVector = *r->rowVector;
    if (g_componentSpy.answer != 0) {
        r->length = static_cast<i32>(std::strlen(g_componentSpy.reply));
        std::memcpy(r->text, g_componentSpy.reply, static_cast<size_t>(r->length));
    }
    return g_componentSpy.answer;
}

class LineImgComponents : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAll();
        pixels_.assign(752 * 480, 220);
        InstallImage(pixels_, 752, 480);
        LineImg_ClearRun(&run_);
        run_.count = 1;
        run_.length[0] = 16;
        g_componentSpy = ComponentSpyLog{};
        Dec_InstallCallback(kCallbackPdfComponent, SpyPdf);
        Dec_InstallCallback(kCallbackCcComponent, SpyCc);
    }
    void TearDown() override { Dec_ClearCallbacks(); }
    // The newest result: id, link flag, narrow width.
    void Result(i32 id, i32 link, i32 narrow2 = 48) {
        g_lineImgState.id = id;
        g_lineImgState.linkFlag = link;
        g_lineImgState.narrowWidth2 = narrow2;
        run_.id[0] = id;
        run_.linkFlag[0] = link;
    }
    void OneRegion(const REGION_QUAD &q, i8 vote) {
        g_lineImgRegions.quads[0] = q;
        g_lineImgRegions.count = 1;
        g_lineImgVotes[0] = vote;
    }
    std::vector<uint8_t> pixels_;
    LINEIMG_RUN run_{};
};

struct WidenCase {
    REGION_QUAD in;
    REGION_QUAD out;
};

TEST(LineImgComponentsGeometry, WidenMovesBothEndsOfFirstAndLastSides) {
    const WidenCase cases[] = {
        // A 100-px first side: both ends 10 px out; so the last side of the same length.
        {Box(100, 100, 200, 150), Box(90, 100, 210, 150)},
        // A shorter last side: each of its ends reaches 110 px from the other's old place.
        {Quad(100, 0, 200, 0, 110, 50, 190, 50), Quad(90, 0, 210, 0, 80, 50, 220, 50)},
        // Turned sides: the moves run along each side.
        {Quad(100, 100, 160, 180, 100, 140, 160, 220), Quad(94, 92, 166, 188, 94, 132, 166, 228)},
    };
    for (const WidenCase &c : cases) {
        REGION_QUAD q = c.in;
        LineImg_WidenQuad(&q, 10);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(q.c[k].x, c.out.c[k].x) << "corner " << k;
            EXPECT_EQ(q.c[k].y, c.out.c[k].y) << "corner " << k;
        }
    }
}

TEST(LineImgComponentsGeometry, VariantTableFirstMatchingRowWins) {
    struct Row {
        i32 link, id, code, variant;
    };
    const Row rows[] = {
        {11, kSymEan13, 60, 0}, {12, kSymUpcA, 60, 0}, {13, kSymEan8, 61, 1}, {14, kSymUpcE, 62, 2},
        {1, kSymGs1128, 63, 3}, {5, kSymGs1128, 63, 3}, {0, kSymGs1128, 63, 3}, {7, kSymDataBar, 64, 4},
        {8, kSymDataBar, 65, 5}, {9, kSymDataBar, 66, 6}, {10, kSymDataBar, 67, 7},
        // An EAN/UPC flag wins over GS1-128's row.
        {13, kSymGs1128, 61, 1},
    };
    for (const Row &r : rows) {
        LINEIMG_CC_CHOICE c{};
        ASSERT_EQ(LineImg_ChooseCcVariant(r.link, r.id, &c), 1) << r.link << " " << r.id;
        EXPECT_EQ(c.code, r.code) << r.link;
        EXPECT_EQ(c.variant, r.variant) << r.link;
    }
    LINEIMG_CC_CHOICE c{};
    for (i32 link : {0, 1, 2, 3, 4, 5, 6, 15}) EXPECT_EQ(LineImg_ChooseCcVariant(link, kSymDataBar, &c), 0) << link;
    EXPECT_EQ(LineImg_ChooseCcVariant(0, kSymEan13, &c), 0);  // composite mode without a link: no row
}

TEST_F(LineImgComponents, CcRequestCarriesTheCyclicAreaAndItsSides) {
    Result(kSymDataBar, 9, 52);
    g_componentSpy.answer = 1;
    g_componentSpy.reply = "10ABC";
    const REGION_QUAD area{{{110, 60}, {410, 70}, {405, 100}, {112, 95}}};
    ASSERT_EQ(LineImg_ReadCcComponent(&run_, &area), 1);
    ASSERT_EQ(g_componentSpy.ccCalls, 1);
    const CC_READ_REQUEST &r = g_componentSpy.cc;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(r.quad[k].x, area.c[k].x) << k;
    EXPECT_EQ(g_componentSpy.rowVector.x, 300);
    EXPECT_EQ(g_componentSpy.rowVector.y, 10);
    EXPECT_EQ(r.leftVector.x, -2);
    EXPECT_EQ(r.leftVector.y, -35);
    EXPECT_EQ(r.narrowWidth, 52);
    EXPECT_EQ(r.variant, 6);
    EXPECT_EQ(r.polarity, 1);
    EXPECT_EQ(r.capacity, 512);
    EXPECT_EQ(r.image, pixels_.data());
    EXPECT_EQ(g_componentSpy.codeAtCall, 66);
    EXPECT_EQ(run_.componentLength[0], 5);
    EXPECT_EQ(run_.componentId[0], 10);
    EXPECT_EQ(run_.componentAim[0][0], 'e');
    EXPECT_EQ(run_.componentAim[0][1], '0');
    EXPECT_EQ(std::string(reinterpret_cast<char *>(run_.componentText[0]), 5), "10ABC");
}

TEST_F(LineImgComponents, CcAreaSidesWithinOneAndAHalf) {
    struct Sides {
        REGION_QUAD area;
        int calls;
    };
    const Sides cases[] = {
        {{{{0, 0}, {150, 0}, {125, 40}, {25, 40}}}, 1},   // top 150 over bottom 100
        {{{{0, 0}, {151, 0}, {125, 40}, {25, 40}}}, 0},   // top 151
        {{{{25, 0}, {125, 0}, {150, 40}, {0, 40}}}, 1},   // bottom 150 over top 100
        {{{{25, 0}, {125, 0}, {151, 40}, {0, 40}}}, 0},
        {{{{0, 0}, {200, 0}, {200, 60}, {0, 40}}}, 1},    // right 60 over left 40
        {{{{0, 0}, {200, 0}, {200, 61}, {0, 40}}}, 0},
        {{{{0, -21}, {200, 0}, {200, 40}, {0, 40}}}, 0},  // left 61 over right 40
    };
    Result(kSymGs1128, 1);
    for (const Sides &c : cases) {
        g_componentSpy.ccCalls = 0;
        LineImg_ReadCcComponent(&run_, &c.area);
        EXPECT_EQ(g_componentSpy.ccCalls, c.calls) << c.area.c[1].x << " " << c.area.c[2].x << " " << c.area.c[2].y;
    }
}

TEST_F(LineImgComponents, NoNarrowWidthOrNoReadClearsTheComponent) {
    const REGION_QUAD area = Box(0, 0, 100, 30);
    const REGION_QUAD cyclic{{area.c[0], area.c[1], area.c[3], area.c[2]}};
    for (i32 narrow : {-2, 48}) {
        Result(kSymGs1128, 1, narrow);
        std::memset(run_.componentText[0], 'x', kLineImgComponentBytes);
        run_.componentLength[0] = 7;
        g_componentSpy.ccCalls = 0;
        EXPECT_EQ(LineImg_ReadCcComponent(&run_, &cyclic), 0);
        EXPECT_EQ(g_componentSpy.ccCalls, narrow > 0 ? 1 : 0);
        EXPECT_EQ(run_.componentLength[0], 0);
        for (int k = 0; k < kCcClearBytes; ++k) ASSERT_EQ(run_.componentText[0][k], 0) << k;
        EXPECT_EQ(run_.componentText[0][kCcClearBytes], 'x');
        EXPECT_EQ(g_state.lastSymbologyCode, 63);
    }
}

TEST_F(LineImgComponents, PdfRequestCarriesAreaWidenedQuadAndRealCapacity) {
    Result(kSymGs1128, 4);
    g_componentSpy.answer = 1;
    g_componentSpy.reply = "10CCC";
    const REGION_QUAD region = Box(100, 200, 200, 260);
    OneRegion(region, 1);
    EXPECT_EQ(LineImg_TryComponents(&run_), 1);
    ASSERT_EQ(g_componentSpy.pdfCalls, 1);
    EXPECT_EQ(g_componentSpy.ccCalls, 0);
    EXPECT_EQ(g_componentSpy.codeAtCall, 63);
    EXPECT_EQ(g_componentSpy.pdfCapacity, kLineImgComponentBytes);
    const i32 widened[8] = {90, 200, 210, 200, 90, 260, 210, 260};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(g_componentSpy.pdfLinear[k], widened[k]) << k;
    // Blank paper: no line has fewer edges than a third of none, so the far side is the
    // walk's last line, 396 px out (the toolkit truncates the negative coordinates); cyclic
    // order, the near side the first side.
    EXPECT_NEAR(g_componentSpy.pdfQuad[1], 200 - 396, 2);
    EXPECT_EQ(g_componentSpy.pdfQuad[5], 200);
    EXPECT_LT(g_componentSpy.pdfQuad[0], g_componentSpy.pdfQuad[2]);
    EXPECT_GT(g_componentSpy.pdfQuad[4], g_componentSpy.pdfQuad[6]);
    EXPECT_EQ(g_lineImgState.id, kSymComposite);
    EXPECT_EQ(run_.componentId[0], 0);
    EXPECT_EQ(run_.componentLength[0], 5);
    EXPECT_EQ(run_.componentAim[0][0], 'e');
}

TEST_F(LineImgComponents, ReaderAndCodeFollowTheLink) {
    struct Ask {
        i32 id, link;
        int pdf, cc;
        i32 code, variant;
    };
    const Ask asks[] = {
        {kSymGs1128, 4, 1, 0, 63, -1}, {kSymGs1128, 2, 1, 0, 63, -1}, {kSymGs1128, 1, 0, 1, 63, 3},
        {kSymEan13, 11, 0, 1, 60, 0},  {kSymEan8, 13, 0, 1, 61, 1},   {kSymUpcE, 14, 0, 1, 62, 2},
        {kSymDataBar, 7, 0, 1, 64, 4}, {kSymDataBar, 10, 0, 1, 67, 7}, {kSymDataBar, 6, 1, 0, 0, -1},
    };
    for (const Ask &a : asks) {
        SetUp();
        Result(a.id, a.link);
        OneRegion(Box(100, 200, 300, 260), 1);
        EXPECT_EQ(LineImg_TryComponents(&run_), 0) << a.link;  // the spies read nothing
        EXPECT_EQ(g_componentSpy.pdfCalls, a.pdf) << a.link;
        EXPECT_EQ(g_componentSpy.ccCalls, a.cc) << a.link;
        if (a.code != 0) {
            EXPECT_EQ(g_componentSpy.codeAtCall, a.code) << a.link;
        }
        if (a.variant >= 0) {
            EXPECT_EQ(g_componentSpy.cc.variant, a.variant) << a.link;
        }
        EXPECT_EQ(g_lineImgState.id, a.id);
    }
}

TEST_F(LineImgComponents, WhenNoComponentIsSought) {
    OneRegion(Box(100, 200, 300, 260), 1);
    // No link: accepted as it is, nothing asked.
    Result(kSymGs1128, 0);
    EXPECT_EQ(LineImg_TryComponents(&run_), 1);
    Result(kSymEan13, 0);
    EXPECT_EQ(LineImg_TryComponents(&run_), 1);
    // Composite mode (bit 31): an unlinked EAN-13 is sought for, no table row asks, refused.
    g_params.flagsWord[kSymComposite] |= kFlagEnabled | (1u << 31);
    EXPECT_EQ(LineImg_TryComponents(&run_), 0);
    Result(kSymGs1128, 0);
    EXPECT_EQ(LineImg_TryComponents(&run_), 1);
    EXPECT_EQ(g_componentSpy.pdfCalls + g_componentSpy.ccCalls, 0);
    // Linked, but the only region has no vote of 1 or -1.
    Result(kSymGs1128, 1);
    g_lineImgVotes[0] = 0;
    EXPECT_EQ(LineImg_TryComponents(&run_), 0);
    EXPECT_EQ(g_componentSpy.ccCalls, 0);
    // No result or no region.
    g_lineImgVotes[0] = 1;
    run_.length[0] = 0;
    EXPECT_EQ(LineImg_TryComponents(&run_), 0);
    EXPECT_EQ(g_componentSpy.ccCalls, 0);
    run_.count = 0;
    EXPECT_EQ(LineImg_TryComponents(&run_), 0);
}

TEST_F(LineImgComponents, ReadBackwardsSearchesBeyondTheLastSide) {
    Result(kSymGs1128, 4);
    for (i8 vote : {1, -1}) {
        g_componentSpy.pdfCalls = 0;
        OneRegion(Box(100, 200, 300, 260), vote);
        LineImg_TryComponents(&run_);
        ASSERT_EQ(g_componentSpy.pdfCalls, 1);
        const i32 *q = g_componentSpy.pdfQuad;
        if (vote == 1) {
            EXPECT_NEAR(q[1], 200 - 396, 2);  // above the first side
            EXPECT_EQ(q[7], 200);
        } else {
            EXPECT_EQ(q[1], 260 + 396);  // below the last side, the area turned half round
            EXPECT_EQ(q[7], 260);
            EXPECT_GT(q[0], q[2]);
        }
    }
}

}  // namespace
