// The start/stop search on synthetic lines: argument and arena checks, candidate rules,
// edge windows, confirmation on neighbouring lines and the line across the bars.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <utility>
#include <string>
#include <vector>

#include "core/arena.h"
#include "core/test_hooks.h"
#include "pdf417/pdf417_startstop.h"

namespace {

using namespace vexo;

constexpr uint8_t kInk = 30;
constexpr uint8_t kPaper = 220;
constexpr uint8_t kGarbage = 0xA7;

const std::vector<int> kStartModules = {8, 1, 1, 1, 1, 1, 1, 3};
const std::vector<int> kStopModules = {7, 1, 1, 3, 1, 1, 1, 2, 1};

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> px;
    Image(int w, int h, uint8_t fill = kPaper) : width(w), height(h), px(static_cast<size_t>(w) * h, fill) {}
    uint8_t &At(int x, int y) { return px[static_cast<size_t>(y) * width + x]; }
    // Elements of the given pixel widths from x on rows [y0, y1), dark first.
    int Bars(int x, int y0, int y1, const std::vector<int> &widths, int shiftPerRow = 0, int midRow = 0) {
        for (int y = y0; y < y1; ++y) {
            int at = x + shiftPerRow * (midRow - y);
            for (size_t k = 0; k < widths.size(); ++k) {
                for (int i = 0; i < widths[k]; ++i) {
                    if (k % 2 == 0 && at >= 0 && at < width) At(at, y) = kInk;
                    ++at;
                }
            }
        }
        int total = 0;
        for (int w : widths) total += w;
        return x + total;
    }
};

std::vector<int> Scaled(const std::vector<int> &modules, int m) {
    std::vector<int> out;
    for (int v : modules) out.push_back(v * m);
    return out;
}

// A start pattern at m px per module from x, followed by a bar of two modules: the edge that
// ends the pattern's last space.
std::vector<int> StartLine(int m) {
    std::vector<int> w = Scaled(kStartModules, m);
    w.push_back(2 * m);
    return w;
}

void FillArena() { std::memset(g_arena.memory, kGarbage, sizeof(g_arena.memory)); }

ARENA_STATS Stats() {
    ARENA_STATS st{};
    Mem_GetStats(&st);
    return st;
}

// A search record over an image, set up as the entry does, in blocks full of garbage.
struct Rig {
    Image img;
    PDF_REGION_SEARCH s{};
    PDF_PATTERN_HIT hit{};
    explicit Rig(Image image) : img(std::move(image)) {}
    void Begin(std::array<i32, 4> box, int polarity = 1) {
        Mem_ResetArena();
        FillArena();
        u8 *block = Mem_Alloc(kPdfSearchBlockBytes);
        u8 *line = Mem_Alloc(kPdfSearchMaxSide);
        ASSERT_NE(block, nullptr);
        ASSERT_NE(line, nullptr);
        PDF_InitRegionSearch(&s, block, line, img.px.data(), img.width, img.height, box.data(), &hit, polarity);
        PDF_SetContrastThresholds(&s);
    }
    // The middle row's edges and candidates only.
    void ListRow() {
        const i32 a = s.wantNormal, b = s.wantInverse;
        s.wantNormal = s.wantInverse = 0;
        PDF_ScanMiddleRow(&s);
        s.wantNormal = a;
        s.wantInverse = b;
    }
    std::vector<i32> Widths(const i32 *list, i32 n) const {
        std::vector<i32> out;
        for (i32 i = 0; i < n; ++i) out.push_back(s.edges[list[i]] - s.edges[list[i] - 1]);
        return out;
    }
    i32 Slot(i32 window, i32 rel) const { return s.windows[window * kPdfWindowSlots + 9 + rel]; }
};

class StartStopSearch : public ::testing::Test {
protected:
    void SetUp() override {
        Test_ResetDecoderStatics();
        Mem_ResetArena();
    }
};

// ---- Entry: arguments and arena.

TEST_F(StartStopSearch, ArgumentsAndArena) {
    static std::vector<uint8_t> big(static_cast<size_t>(3889) * 3889, kPaper);
    struct Case {
        const char *what;
        int width, height;
        std::array<i32, 4> box;
        bool nullPixels, nullOut;
        bool searched;
    };
    const Case cases[] = {
        {"five rows", 100, 100, {10, 10, 60, 14}, false, false, true},
        {"four rows", 100, 100, {10, 10, 60, 13}, false, false, false},
        {"five columns", 100, 100, {10, 10, 14, 60}, false, false, true},
        {"four columns", 100, 100, {10, 10, 13, 60}, false, false, false},
        {"bottom on the last row", 100, 100, {10, 10, 60, 99}, false, false, true},
        {"bottom past the image", 100, 100, {10, 10, 60, 100}, false, false, false},
        {"right on the last column", 100, 100, {10, 10, 99, 60}, false, false, true},
        {"right past the image", 100, 100, {10, 10, 100, 60}, false, false, false},
        {"left < 0", 100, 100, {10, -1, 60, 60}, false, false, false},
        {"top < 0", 100, 100, {-1, 10, 60, 60}, false, false, false},
        {"largest image", 3888, 3888, {3800, 3800, 3887, 3887}, false, false, true},
        {"too wide", 3889, 3888, {10, 10, 60, 60}, false, false, false},
        {"too tall", 3888, 3889, {10, 10, 60, 60}, false, false, false},
        {"zero width", 0, 100, {10, 10, 60, 60}, false, false, false},
        {"null pixels", 100, 100, {10, 10, 60, 60}, true, false, false},
        {"null out", 100, 100, {10, 10, 60, 60}, false, true, false},
    };
    for (const Case &c : cases) {
        Mem_ResetArena();
        FillArena();
        const ARENA_STATS before = Stats();
        PDF_PATTERN_HIT hit{};
        std::array<i32, 4> box = c.box;
        EXPECT_EQ(PDF_FindStartStopInRegion(c.nullPixels ? nullptr : big.data(), c.width, c.height, box.data(),
                                            c.nullOut ? nullptr : &hit, 1),
                  0)
            << c.what;
        const bool touched = std::any_of(g_arena.memory, g_arena.memory + kPdfSearchBlockBytes, [](u8 v) { return v != kGarbage; });
        EXPECT_EQ(touched, c.searched) << c.what;
        const ARENA_STATS after = Stats();
        EXPECT_EQ(after.used, before.used) << c.what;
        EXPECT_EQ(after.freeBytes, before.freeBytes) << c.what;
    }
}

TEST_F(StartStopSearch, ArenaWithoutRoomLeavesItAsItWas) {
    Image img(200, 60);
    img.Bars(40, 0, 60, StartLine(4));
    std::array<i32, 4> box{2, 20, 180, 57};
    // Room for: nothing, the large block only, both (the found case gives both back too).
    const i32 spare[] = {kPdfSearchBlockBytes - 8, kPdfSearchBlockBytes + 8, kPdfSearchBlockBytes + kPdfSearchMaxSide + 16};
    const int expected[] = {0, 0, 1};
    for (int k = 0; k < 3; ++k) {
        Mem_ResetArena();
        u8 *filler = Mem_Alloc(kArenaCapacity - spare[k] - 16);
        ASSERT_NE(filler, nullptr);
        const ARENA_STATS before = Stats();
        PDF_PATTERN_HIT hit{};
        hit.polarity = 77;
        EXPECT_EQ(PDF_FindStartStopInRegion(img.px.data(), img.width, img.height, box.data(), &hit, 1), expected[k]) << k;
        if (expected[k] == 0) {
            EXPECT_EQ(hit.polarity, 77) << k;
        }
        const ARENA_STATS after = Stats();
        EXPECT_EQ(after.used, before.used) << k;
        EXPECT_EQ(after.freeBytes, before.freeBytes) << k;
        EXPECT_EQ(Mem_Alloc(kArenaCapacity), nullptr);
    }
}

// ---- Straight scan: candidates and list length.

TEST_F(StartStopSearch, DarkElementWidthsThatMakeCandidates) {
    const struct {
        int width;
        bool candidate;
    } cases[] = {{6, false}, {7, true}, {80, true}, {81, false}};
    for (const auto &c : cases) {
        Rig rig(Image(300, 40));
        rig.img.Bars(100, 0, 40, {c.width});
        rig.Begin({5, 50, 250, 34});
        rig.ListRow();
        EXPECT_EQ(rig.s.normalCount, c.candidate ? 1 : 0) << c.width;
        if (c.candidate) {
            EXPECT_EQ(rig.Widths(rig.s.normalCandidates, rig.s.normalCount)[0], c.width);
        }
        EXPECT_EQ(rig.s.inverseCount, 0) << c.width;
    }
}

TEST_F(StartStopSearch, NineListEntriesBeforeThePatternTests) {
    // Marker plus 7 edges stops; plus 8 edges goes on to the windows.
    for (const int edges : {7, 8}) {
        Rig rig(Image(300, 40));
        // Seven elements from dark to dark; the last one runs past the box for seven edges.
        std::vector<int> widths(7, 10);
        if (edges == 7) widths.back() = 200;
        rig.img.Bars(100, 0, 40, widths);
        rig.Begin({5, 50, 250, 34});
        rig.s.windowCount = -7;
        EXPECT_EQ(PDF_ScanMiddleRow(&rig.s), 0);
        EXPECT_EQ(rig.s.rowEdgeCount, edges + 1);
        EXPECT_EQ(rig.s.windowCount != -7, edges == 8) << edges;
    }
}

TEST_F(StartStopSearch, QuickStartTestBoundsAreInclusive) {
    // Wide bar plus space of 56 px in a pattern of 136: exactly 700 hundredths; 55 of 135 is below.
    for (const int wide : {46, 45}) {
        std::vector<i32> e{0, wide};
        for (int v : {10, 10, 10, 10, 10, 10, 30}) e.push_back(e.back() + v);
        EXPECT_EQ(PDF_QuickStartTest(e.data(), 1, e.back() - e[0]), wide == 46 ? 1 : 0) << wide;
    }
}

// ---- Edge windows.

TEST_F(StartStopSearch, WideElementListsByWidth) {
    // 19: narrow list (a fine window after the first pass); 20..35: neither; 36: pair list
    // (a re-thresholded window).
    const struct {
        int width, windows, firstFine;
    } cases[] = {{19, 2, 1}, {20, 1, 1}, {35, 1, 1}, {36, 2, 2}};
    for (const auto &c : cases) {
        Rig rig(Image(300, 40));
        rig.img.Bars(100, 0, 40, {c.width});
        rig.Begin({5, 50, 250, 34});
        rig.ListRow();
        ASSERT_EQ(rig.s.normalCount, 1);
        i32 count = 1;
        PDF_BuildEdgeWindows(&rig.s, rig.s.normalCandidates, &count, 0);
        EXPECT_EQ(rig.s.windowCount, c.windows) << c.width;
        EXPECT_EQ(count, c.windows) << c.width;
        EXPECT_EQ(rig.s.firstFineWindow, c.firstFine) << c.width;
    }
}

TEST_F(StartStopSearch, FinePassTakesTheFiveWidestNarrowOnes) {
    // Seven narrow bars (8..14 px) and no others: the five widest, widest first.
    {
        Rig rig(Image(600, 40));
        std::vector<int> widths;
        for (int w : {9, 14, 8, 12, 13, 10, 11}) widths.insert(widths.end(), {w, 20});
        rig.img.Bars(60, 0, 40, widths);
        rig.Begin({5, 30, 560, 34});
        rig.ListRow();
        ASSERT_EQ(rig.s.normalCount, 7);
        i32 count = 7;
        PDF_BuildEdgeWindows(&rig.s, rig.s.normalCandidates, &count, 0);
        ASSERT_EQ(rig.s.windowCount - rig.s.firstFineWindow, 5);
        const int expect[] = {14, 13, 12, 11, 10};
        for (int k = 0; k < 5; ++k) {
            const i32 win = rig.s.firstFineWindow + k;
            EXPECT_EQ(rig.Slot(win, 0) - rig.Slot(win, -1), expect[k]) << k;
        }
    }
    // Six bars of 25 px beside them: no fine window.
    {
        Rig rig(Image(700, 40));
        std::vector<int> widths;
        for (int k = 0; k < 6; ++k) widths.insert(widths.end(), {25, 20});
        widths.insert(widths.end(), {10, 20, 12, 20});
        rig.img.Bars(40, 0, 40, widths);
        rig.Begin({5, 20, 660, 34});
        rig.ListRow();
        ASSERT_EQ(rig.s.normalCount, 8);
        i32 count = 8;
        PDF_BuildEdgeWindows(&rig.s, rig.s.normalCandidates, &count, 0);
        EXPECT_EQ(rig.s.windowCount, rig.s.firstFineWindow);
        EXPECT_EQ(count, rig.s.windowCount);
    }
}

TEST_F(StartStopSearch, WeakEdgeInsideAWideBar) {
    // A one-pixel lighter line inside the bar gives two edges of a third of the bar's.
    for (const int width : {40, 81}) {
        Rig rig(Image(400, 40));
        // Bars after it: the list's last two entries never close a second-pass element.
        rig.img.Bars(200, 0, 40, {width, 20, 10, 20, 10});
        for (int y = 0; y < 40; ++y) rig.img.At(220, y) = kInk + 63;
        rig.Begin({5, 50, 350, 34});
        rig.ListRow();
        const i32 listed = rig.s.normalCount;
        i32 count = listed;
        PDF_BuildEdgeWindows(&rig.s, rig.s.normalCandidates, &count, 0);
        bool spanned = false;
        for (i32 w = listed; w < rig.s.firstFineWindow; ++w) {
            if (rig.Slot(w, -1) == 199 && rig.Slot(w, 0) == 199 + width) spanned = true;
        }
        EXPECT_EQ(spanned, width == 40) << width;
        if (width == 40) {
            // The first window after the listed ones is the second pass's.
            EXPECT_EQ(rig.Slot(listed, -1), 199);
            EXPECT_EQ(rig.Slot(listed, 0), 239);
        }
    }
}

TEST_F(StartStopSearch, SixEntriesBeforeACandidateLeaveTheOuterSlotsEmpty) {
    // Before the 30 px bar: the marker and five edges (dark from the image's left, so the
    // marker sits on flat ground), or the marker and six (light before the first bar).
    for (const int lead : {5, 6}) {
        Rig rig(Image(400, 40));
        std::vector<int> widths{10, 10, 10, 10, 10, 10, 30, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10};
        if (lead == 5) widths[0] = 60;
        rig.img.Bars(lead == 5 ? 0 : 40, 0, 40, widths);
        rig.Begin({5, 20, 380, 34});
        rig.ListRow();
        // The 30 px bar is the listed candidate whose width is 30.
        i32 j = -1;
        for (i32 i = 0; i < rig.s.normalCount; ++i) {
            const i32 e = rig.s.normalCandidates[i];
            if (rig.s.edges[e] - rig.s.edges[e - 1] == 30) j = i;
        }
        ASSERT_GE(j, 0) << lead;
        i32 count = rig.s.normalCount;
        PDF_BuildEdgeWindows(&rig.s, rig.s.normalCandidates, &count, 0);
        if (lead == 5) {
            EXPECT_EQ(rig.Slot(j, -9), -1);
            EXPECT_EQ(rig.Slot(j, -8), -1);
            EXPECT_GE(rig.Slot(j, -7), 0);
        } else {
            EXPECT_GE(rig.Slot(j, -8), 0);
        }
    }
}

TEST_F(StartStopSearch, WindowCapacityOnALongLine) {
    // 320 dark bars of 8 px with 4 px gaps across 3,888 px: more candidates than windows.
    Rig rig(Image(3888, 20));
    std::vector<int> widths;
    for (int k = 0; k < 320; ++k) widths.insert(widths.end(), {8, 4});
    rig.img.Bars(2, 0, 20, widths);
    rig.Begin({2, 0, 3887, 17});
    rig.ListRow();
    ASSERT_GT(rig.s.normalCount, kPdfWindowCapacity);
    // Guard the array after the windows: the cap must keep the first pass inside its own.
    i32 *after = rig.s.windows + kPdfSearchMaxSide;
    const i32 guard = after[0];
    i32 count = rig.s.normalCount;
    PDF_BuildEdgeWindows(&rig.s, rig.s.normalCandidates, &count, 0);
    EXPECT_EQ(rig.s.windowCount, kPdfWindowCapacity);
    EXPECT_EQ(count, kPdfWindowCapacity);
    EXPECT_EQ(rig.s.firstFineWindow, kPdfWindowCapacity);
    EXPECT_EQ(after[0], guard);
    // The whole search on that line: nothing to find, nothing written past the arrays.
    Mem_ResetArena();
    PDF_PATTERN_HIT hit{};
    std::array<i32, 4> box{2, 0, 3887, 17};
    EXPECT_EQ(PDF_FindStartStopInRegion(rig.img.px.data(), 3888, 20, box.data(), &hit, 0), 0);
}

// ---- Confirmation on neighbouring lines.

// A start pattern at 4 px modules on rows [y0, y1) of a 300 x 160 image, box rows 100..140.
struct ConfirmCase {
    const char *what;
    int eraseFrom, eraseTo;  // rows without the pattern
    int found;
    int topLine, bottomLine;  // rows of TL and BL
};

TEST_F(StartStopSearch, ConfirmationLines) {
    const ConfirmCase cases[] = {
        {"all rows", 0, 0, 1, 104, 128},
        {"104 and 108 blank", 100, 110, 1, 112, 128},
        {"all above 118 blank", 90, 118, 1, 120, 136},
        {"only the scan line", 90, 119, 0, 0, 0},
    };
    for (const ConfirmCase &c : cases) {
        Image img(300, 160);
        img.Bars(60, 90, 150, StartLine(4));
        for (int y = c.eraseFrom; y < c.eraseTo; ++y) {
            for (int x = 0; x < 300; ++x) img.At(x, y) = kPaper;
        }
        if (std::string(c.what) == "only the scan line") {
            for (int y = 122; y < 150; ++y) {
                for (int x = 0; x < 300; ++x) img.At(x, y) = kPaper;
            }
        }
        Mem_ResetArena();
        FillArena();
        PDF_PATTERN_HIT hit{};
        std::array<i32, 4> box{100, 40, 200, 140};
        ASSERT_EQ(PDF_FindStartStopInRegion(img.px.data(), img.width, img.height, box.data(), &hit, 1), c.found) << c.what;
        if (c.found == 0) continue;
        EXPECT_EQ(hit.horizontal, 1) << c.what;
        EXPECT_EQ(hit.isStart, 1) << c.what;
        EXPECT_EQ(hit.topLeft.y, c.topLine) << c.what;
        EXPECT_EQ(hit.topRight.y, c.topLine) << c.what;
        EXPECT_EQ(hit.bottomLeft.y, c.bottomLine) << c.what;
        EXPECT_NEAR(hit.topLeft.x, 60, 1) << c.what;
        EXPECT_NEAR(hit.topRight.x, 60 + 17 * 4, 1) << c.what;
    }
}

TEST_F(StartStopSearch, WideBarWidthChangeOfFourIsNotFollowed) {
    // Above row 117 the wide bar is 4 px wider (its outer edge moved out): only the lines
    // below the scan line confirm.
    Image img(300, 160);
    img.Bars(60, 117, 150, StartLine(4));
    img.Bars(56, 90, 117, {36});
    const std::vector<int> start = StartLine(4);
    img.Bars(92, 90, 117, std::vector<int>(start.begin() + 1, start.end()));
    for (int y = 90; y < 117; ++y) {
        for (int x = 92; x < 96; ++x) img.At(x, y) = kPaper;  // the space after the wide bar
    }
    Mem_ResetArena();
    PDF_PATTERN_HIT hit{};
    std::array<i32, 4> box{100, 40, 200, 140};
    ASSERT_EQ(PDF_FindStartStopInRegion(img.px.data(), img.width, img.height, box.data(), &hit, 1), 1);
    EXPECT_EQ(hit.topLeft.y, 120);
    EXPECT_EQ(hit.bottomLeft.y, 136);
}

TEST_F(StartStopSearch, SlantOfOnePixelPerLine) {
    // Bars lean one pixel to the right per row upwards: the window on row 112 lies 8 px
    // right of the scan line's, and on row 104 16 px.
    Image img(400, 180);
    img.Bars(150, 60, 180, StartLine(4), 1, 120);
    Mem_ResetArena();
    PDF_PATTERN_HIT hit{};
    std::array<i32, 4> box{100, 80, 330, 140};
    ASSERT_EQ(PDF_FindStartStopInRegion(img.px.data(), img.width, img.height, box.data(), &hit, 1), 1);
    EXPECT_EQ(hit.topLeft.y, 104);
    EXPECT_NEAR(hit.topLeft.x, 150 + 16, 1);
    EXPECT_EQ(hit.bottomLeft.y, 128);
    EXPECT_NEAR(hit.bottomLeft.x, 150 - 8, 1);
}

TEST_F(StartStopSearch, WrongSignedSixthEdgeRejectsBeforeAnyLine) {
    Rig rig(Image(300, 160));
    rig.img.Bars(60, 90, 150, StartLine(4));
    rig.Begin({100, 40, 200, 140});
    rig.ListRow();
    i32 count = rig.s.normalCount;
    PDF_BuildEdgeWindows(&rig.s, rig.s.normalCandidates, &count, 0);
    // The window of the wide bar (32 px) read forward.
    i32 c = -1;
    for (i32 i = 0; i < count && c < 0; ++i) {
        const i32 at = rig.s.normalCandidates[i];
        if (rig.s.windows[at] - rig.s.windows[at - 1] == 32 && rig.s.windows[at + 7] >= 0) c = at;
    }
    ASSERT_GE(c, 0);
    PDF_PATTERN_DESC desc{PDF_QuickStartTest, PDF_StrictStartTest, PDF_RefsStartFwd, PDF_RefsStartFwd, 1, 1, 1, -1, 7};
    rig.s.pattern = &desc;
    EXPECT_EQ(PDF_ConfirmPatternOnLines(&rig.s, 0, c), 1);
    rig.hit = PDF_PATTERN_HIT{};
    const i32 sixth = rig.s.windows[c + 6];
    rig.s.gradient[sixth] = -rig.s.gradient[sixth];
    EXPECT_EQ(PDF_ConfirmPatternOnLines(&rig.s, 0, c), 0);
    EXPECT_EQ(rig.hit.isStart, 0);
}

// ---- The line across the bars.

TEST_F(StartStopSearch, EdgeRunsSplitAtGapsOver50) {
    const i32 fifty[] = {10, 20, 30, 80, 90, 100};
    const i32 fiftyOne[] = {10, 20, 30, 81, 91, 101, 111};
    i32 a = -1, b = -1;
    EXPECT_EQ(PDF_LongestEdgeRun(fifty, 6, &a, &b), 6);
    EXPECT_EQ(PDF_LongestEdgeRun(fiftyOne, 7, &a, &b), 4);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 6);
    const i32 equal[] = {10, 20, 30, 100, 110, 120};
    EXPECT_EQ(PDF_LongestEdgeRun(equal, 6, &a, &b), 3);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(PDF_LongestEdgeRun(equal, 1, &a, &b), 1);
    EXPECT_EQ(b, 0);
}

// A flat image whose middle row and column edges are set by hand.
struct Estimate {
    Rig rig{Image(200, 200, 128)};
    Estimate() {
        rig.Begin({20, 20, 180, 180});
        rig.s.midRow = rig.s.midColumn = 100;
        rig.s.rowEdgeCount = rig.s.columnEdgeCount = 0;
    }
    void Rows(i32 first, i32 n, i32 gx) {
        for (i32 i = 0; i < n; ++i) {
            rig.s.rowEdges[i] = first + 10 * i;
            rig.s.rowGradient[first + 10 * i] = gx;
        }
        rig.s.rowEdgeCount = n;
    }
    void Columns(i32 first, i32 n, i32 gy) {
        for (i32 i = 0; i < n; ++i) {
            rig.s.columnEdges[i] = first + 10 * i;
            rig.s.columnGradient[first + 10 * i] = gy;
        }
        rig.s.columnEdgeCount = n;
    }
};

TEST_F(StartStopSearch, DirectionEstimateRunsAndChoice) {
    POINT_I32 p{}, d{};
    {
        Estimate e;  // a row run of five entries is not enough
        e.Rows(60, 5, 200);
        EXPECT_EQ(PDF_EstimateScanDirection(&e.rig.s, &p, &d), 0);
    }
    {
        Estimate e;  // six are
        e.Rows(60, 6, 200);
        ASSERT_EQ(PDF_EstimateScanDirection(&e.rig.s, &p, &d), 1);
        EXPECT_EQ(d.x, 100);
        EXPECT_EQ(d.y, 0);
        EXPECT_EQ(p.x, 85);
        EXPECT_EQ(p.y, 100);
    }
    {
        // Equal runs, the centre outside the row run: the rows decide.
        Estimate e;
        e.Rows(20, 6, 200);
        e.Columns(60, 6, 200);
        ASSERT_EQ(PDF_EstimateScanDirection(&e.rig.s, &p, &d), 1);
        EXPECT_EQ(p.y, 100);
        EXPECT_EQ(p.x, 45);
        EXPECT_EQ(d.x, 100);
    }
    {
        // Centre inside both: both enter, the point between their centres.
        Estimate e;
        e.Rows(80, 6, 200);
        e.Columns(60, 6, 200);
        ASSERT_EQ(PDF_EstimateScanDirection(&e.rig.s, &p, &d), 1);
        EXPECT_EQ(p.x, (105 + 100) >> 1);
        EXPECT_EQ(p.y, (100 + 85) >> 1);
    }
}

TEST_F(StartStopSearch, GradientFloorOfTheEstimate) {
    // The row below the middle row lies 10 grey levels higher: Gy = 40 at every edge.
    const struct {
        i32 gx;
        int counted;
    } cases[] = {{40, 0}, {41, 1}};  // 3,200 and 3,281 (3,201 is no sum of two squares)
    for (const auto &c : cases) {
        Estimate e;
        for (int x = 0; x < 200; ++x) e.rig.img.At(x, 101) = 138;
        e.Rows(60, 1, c.gx);
        POINT_I32 p{}, d{};
        EXPECT_EQ(PDF_DirectionFromRowEdges(&e.rig.s, &p, &d, 0, 0), c.counted) << c.gx;
        if (c.counted) {
            EXPECT_EQ(d.x, 100);
            EXPECT_EQ(d.y, 100 * 41 * 40 / (41 * 41));
        }
    }
}

TEST_F(StartStopSearch, ObliqueLineEnds) {
    Estimate e;
    for (int x = 0; x < 200; ++x) e.rig.img.At(x, 50) = static_cast<uint8_t>(x);
    // (100, 0) through (100, 50): a horizontal line at row 50 with slope 0.
    const i32 inner[4] = {21, 21, 179, 179};
    POINT_I32 p{100, 50}, a{}, b{};
    EXPECT_EQ(PDF_ClipLineToBox(&p, {100, 0}, inner, &b), 0);
    EXPECT_EQ(PDF_ClipLineToBox(&p, {-100, 0}, inner, &a), 0);
    EXPECT_EQ(a.x, 21);
    EXPECT_EQ(b.x, 179);
    EXPECT_EQ(a.y, 50);
    EXPECT_EQ(b.y, 50);
    EXPECT_EQ(PDF_ScanObliqueLine(&e.rig.s, a, b), 0);
    EXPECT_EQ(e.rig.s.scanKind, kPdfScanObliqueH);
    EXPECT_EQ(e.rig.s.obliqueSlope, 0);
    for (int x = a.x; x <= b.x + 1; ++x) ASSERT_EQ(e.rig.s.lineBuffer[x], x) << x;
    // Coinciding ends: no scan.
    e.rig.s.scanKind = 99;
    EXPECT_EQ(PDF_ScanObliqueLine(&e.rig.s, {90, 90}, {90, 90}), 0);
    EXPECT_EQ(e.rig.s.scanKind, 99);
    // A steep direction left large by outlier removal: the crossings are taken in 64 bits.
    POINT_I32 q{1900, 1900}, end{};
    const i32 wide[4] = {1, 1, 3886, 3886};
    EXPECT_EQ(PDF_ClipLineToBox(&q, {100, 900000}, wide, &end), 0);
    EXPECT_EQ(end.y, 3886);
    EXPECT_EQ(end.x, 1900);
    // Lines that end on the image's last column or row: the samples run one past the end
    // and the Sobel there would leave the image, so its gradient is 0.
    {
        Image img(200, 200);
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 200; ++x) img.At(x, y) = static_cast<uint8_t>((x * 7 + y * 13) & 0xFF);
        }
        Rig rig(img);
        rig.Begin({20, 20, 199, 199});
        EXPECT_EQ(PDF_ScanObliqueLine(&rig.s, {21, 100}, {198, 160}), 0);
        EXPECT_EQ(rig.s.scanKind, kPdfScanObliqueH);
        EXPECT_EQ(rig.s.rowGradient[199], 0);
        EXPECT_EQ(PDF_ScanObliqueLine(&rig.s, {100, 21}, {160, 198}), 0);
        EXPECT_EQ(rig.s.scanKind, kPdfScanObliqueV);
        EXPECT_EQ(rig.s.columnGradient[199], 0);
    }
    // A line that misses the box.
    POINT_I32 r{10, 10}, none{};
    EXPECT_EQ(PDF_ClipLineToBox(&r, {0, 0}, inner, &none), -1);
    EXPECT_EQ(none.x, 10);
}

}  // namespace

namespace {

// Smallest boxes and images: searched without reading outside the image.
TEST_F(StartStopSearch, TinyBoxesAndImages) {
    std::mt19937 rng(4646);
    for (const auto &[w, h] : std::vector<std::pair<int, int>>{{5, 5}, {6, 5}, {5, 9}, {1, 1}, {4, 4}, {3888, 5}, {5, 3888}}) {
        std::vector<uint8_t> px(static_cast<size_t>(w) * h);
        for (uint8_t &v : px) v = static_cast<uint8_t>(rng() & 0xFF);
        for (int k = 0; k < 8; ++k) {
            const i32 x = w > 5 ? static_cast<i32>(rng() % static_cast<uint32_t>(w - 4)) : 0;
            const i32 y = h > 5 ? static_cast<i32>(rng() % static_cast<uint32_t>(h - 4)) : 0;
            std::array<i32, 4> box{y, x, std::min(w - 1, x + 4), std::min(h - 1, y + 4)};
            Mem_ResetArena();
            FillArena();
            PDF_PATTERN_HIT hit{};
            EXPECT_EQ(PDF_FindStartStopInRegion(px.data(), w, h, box.data(), &hit, 0), 0) << w << "x" << h;
        }
    }
}

}  // namespace
