// Narrow-element Code 128, GS1-128 and EAN-13 symbols made with libzint, read by the
// profile path through an installed region: alone, and beside the other methods.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "lineimg_test_util.h"
#include "locate/box_list.h"
#include "scripted_line.h"
#include "support/testkit.h"

namespace {

using namespace vexo;
using namespace lineimgtest;

struct ProfFrame {
    testkit::Rendered img;
    REGION_QUAD quad{};
    u8 kind = 1;
};

// The symbol's region with 10 modules of quiet zone each side, scan lines left to right.
ProfFrame ProfRender(const testkit::Symbol &sym, const testkit::RenderOptions &opt) {
    ProfFrame f;
    f.img = testkit::Render(sym, opt);
    const testkit::Point p[4] = {{-10, 0}, {sym.width + 10.0, 0}, {-10, sym.height}, {sym.width + 10.0, sym.height}};
    for (int k = 0; k < 4; ++k) {
        const testkit::Point q = f.img.transform.ToImage(p[k]);
        f.quad.c[k] = {static_cast<i32>(std::lround(q.x)), static_cast<i32>(std::lround(q.y))};
    }
    const POINT_I32 *c = f.quad.c;
    if (c[0].x > c[1].x) f.quad = REGION_QUAD{{c[3], c[2], c[1], c[0]}};
    return f;
}

struct ProfWant {
    const char *text;
    const char *aim;
    u32 bit;
};

enum class ProfGot { kNothing, kRead, kWrong };

struct ProfRun {
    ProfGot got = ProfGot::kNothing;
    i32 narrow2 = 0;
    u8 profileTried = 0;
    i32 outputs = 0;
};

// One decode of the installed region: methods chosen, the profile switch on or off.
ProfRun ProfDecode(const ProfFrame &f, bool mainScan, bool accumulate, bool profile, const ProfWant &want) {
    ResetAll();
    g_params.flagsWord[kSymEan13] |= kFlagEnabled;
    std::vector<uint8_t> pixels = f.img.frame.pixels;
    InstallImage(pixels, f.img.frame.width, f.img.frame.height);
    Test_SetLineImgRegions(&f.quad, &f.kind, 1);
    Test_SetLineImgMethods(mainScan, accumulate);
    g_boxList = BOX_LIST{};
    g_boxList.capacity = 2;
    LineImg_SetScanMode(profile ? 4u : 0u);
    const i32 arena = g_arena.count;
    const int r = LineImg_Decode();
    Test_SetLineImgMethods(true, true);
    EXPECT_EQ(g_arena.count, arena);
    ProfRun out;
    out.narrow2 = g_lineImgState.narrowWidth2;
    out.profileTried = g_lineImgState.profileTried;
    if (r != 1) return out;
    i32 id = -1;
    const u32 bit = LineImg_GetSymbologyBit(&id);
    const bool same = OutputText() == want.text && OutputAim() == want.aim && bit == want.bit;
    out.got = same ? ProfGot::kRead : ProfGot::kWrong;
    if (!same) std::printf("got '%s' %s %x\n", OutputText().c_str(), OutputAim().c_str(), bit);
    return out;
}

struct ProfSymbol {
    const char *name;
    int symbology;
    const char *data;
    ProfWant want;
};

const ProfSymbol kProfSymbols[] = {
    {"Code 128", BARCODE_CODE128, "PRF-20931", {"PRF-20931", "]C0", 0x4}},
    {"GS1-128", BARCODE_GS1_128, "[10]PRF77", {"10PRF77", "]C1", 0x8}},
    {"EAN-13", BARCODE_EANX, "590123412345", {"5901234123457", "]E0", 0x20}},
};

testkit::Symbol ProfEncode(const ProfSymbol &s) {
    testkit::SymbolInput in;
    in.symbology = s.symbology;
    in.inputMode = s.symbology == BARCODE_GS1_128 ? GS1_MODE : DATA_MODE;
    in.data = s.data;
    in.height = 30;
    return testkit::Encode(in);
}

// With the main scan and the accumulation off, the profile path alone reads each symbol;
// a read is stored at once, sets the reported corners to the region and adds its box to the
// decoded-symbol list.
TEST(LineImgProfileSymbols, ProfileAloneReadsNarrowSymbols) {
    struct ProfPose {
        double module, angle;
    };
    // Narrower modules and skew at 2 px are read less often: the alignment's score cut keeps
    // too few lines where sub-pixel offsets between lines make every line score high.
    const ProfPose poses[] = {{1.6, 2.0}, {2.0, 0.0}, {3.0, 0.0}, {3.0, 2.0}};
    for (const ProfSymbol &s : kProfSymbols) {
        const testkit::Symbol sym = ProfEncode(s);
        ASSERT_TRUE(sym.ok) << sym.error;
        for (const ProfPose &pose : poses) {
            const ProfFrame f = ProfRender(sym, {.moduleSize = pose.module, .angleDeg = pose.angle, .blurSigma = 0.5});
            const std::string what = std::string(s.name) + " " + std::to_string(pose.module) + " px " +
                                     std::to_string(pose.angle) + " deg";
            const ProfRun r = ProfDecode(f, false, false, true, s.want);
            EXPECT_EQ(r.got, ProfGot::kRead) << what;
            EXPECT_EQ(r.profileTried, 1) << what;
            REGION_QUAD corners{};
            LineImg_GetCorners(&corners);
            for (int k = 0; k < 4; ++k) EXPECT_EQ(corners.c[k].x, f.quad.c[k].x) << what;
            // The region's box, without margin, joins the decoded-symbol list.
            ASSERT_EQ(g_boxList.count, 1) << what;
            i32 left = f.quad.c[0].x, right = left, top = f.quad.c[0].y, bottom = top;
            for (const POINT_I32 &c : f.quad.c) {
                left = std::min(left, c.x);
                right = std::max(right, c.x);
                top = std::min(top, c.y);
                bottom = std::max(bottom, c.y);
            }
            EXPECT_EQ(g_boxList.box[0].left, left) << what;
            EXPECT_EQ(g_boxList.box[0].right, right) << what;
            EXPECT_EQ(g_boxList.box[0].top, top) << what;
            EXPECT_EQ(g_boxList.box[0].bottom, bottom) << what;
            // Switched off, nothing reads it.
            EXPECT_EQ(ProfDecode(f, false, false, false, s.want).got, ProfGot::kNothing) << what;
        }
    }
}

// The narrow width handed on from the level edges is in the main scan's unit (a 2 px
// Code 128).
TEST(LineImgProfileSymbols, NarrowWidthInTheMainScansUnit) {
    const testkit::Symbol sym = ProfEncode(kProfSymbols[0]);
    ASSERT_TRUE(sym.ok) << sym.error;
    for (double angle : {0.0, 180.0}) {
        const ProfFrame f = ProfRender(sym, {.moduleSize = 2.0, .angleDeg = angle, .blurSigma = 0.5});
        const ProfRun main = ProfDecode(f, true, false, false, kProfSymbols[0].want);
        const ProfRun prof = ProfDecode(f, false, false, true, kProfSymbols[0].want);
        ASSERT_EQ(main.got, ProfGot::kRead) << angle;
        ASSERT_EQ(prof.got, ProfGot::kRead) << angle;
        EXPECT_LE(4 * std::abs(prof.narrow2 - main.narrow2), main.narrow2) << angle << ": " << prof.narrow2 << " vs "
                                                                             << main.narrow2;
    }
}

// The same from candidate 1's shape edges (in eighths of a sample, not sixteenths): a
// scripted record refuses candidate 0's list and reads candidate 1's; the narrow width it
// leaves is within a quarter of the main scan's. Candidate 0 read the same way for contrast.
TEST(LineImgProfileSymbols, NarrowWidthFromEitherCandidate) {
    const testkit::Symbol sym = ProfEncode(kProfSymbols[0]);
    ASSERT_TRUE(sym.ok) << sym.error;
    const ProfFrame f = ProfRender(sym, {.moduleSize = 2.0, .blurSigma = 0.5});
    const ProfRun main = ProfDecode(f, true, false, false, kProfSymbols[0].want);
    ASSERT_EQ(main.got, ProfGot::kRead);
    for (int candidate : {0, 1}) {
        ResetAll();
        std::vector<uint8_t> pixels = f.img.frame.pixels;
        InstallImage(pixels, f.img.frame.width, f.img.frame.height);
        InstallScript([candidate](int pair, bool) {
            return pair == candidate ? std::optional<ScriptRead>(ScriptRead{"PRF-20931"}) : std::nullopt;
        });
        Test_SetLineImgRegions(&f.quad, &f.kind, 1);
        Test_SetLineImgMethods(false, false);
        LineImg_SetScanMode(4);
        const int r = LineImg_Decode();
        Test_SetLineImgMethods(true, true);
        Test_ClearLineTable();
        ASSERT_EQ(r, 1) << candidate;
        ASSERT_EQ(g_seen.size(), static_cast<size_t>(candidate + 1));
        const i32 narrow2 = g_lineImgState.narrowWidth2;
        EXPECT_LE(4 * std::abs(narrow2 - main.narrow2), main.narrow2)
            << "candidate " << candidate << ": " << narrow2 << " vs " << main.narrow2;
    }
}

// A GS1-128 with a CC-A component read by the profile path alone is output with it.
TEST(LineImgProfileSymbols, CompositeComponentJoinsAProfileRead) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_GS1_128_CC;
    in.inputMode = GS1_MODE;
    in.primary = "[01]09501101530008";
    in.data = "[11]990102[10]ABC123";
    in.option1 = 1;
    const testkit::Symbol sym = testkit::Encode(in);
    ASSERT_TRUE(sym.ok) << sym.error;
    const testkit::Rendered img = testkit::Render(sym, {.moduleSize = 3, .blurSigma = 0.5});
    ResetAll();
    Test_SetLineImgMethods(false, false);
    const testkit::DecodeResult r = testkit::DecodeFrame(img.frame, {.init = true});
    Test_SetLineImgMethods(true, true);
    EXPECT_TRUE(testkit::ReadAs(r, "01095011015300081199010210ABC123", 0x10E, "]C1"));
}

// End to end, the path runs only in the core's linear stage, whose proposals come from the
// central third. With the main scan and the accumulation off, narrow symbols in the middle
// of the frame are read by the path; the same symbols near the top are not, while with the
// main scan on they are (the later region walk reaches them, with the path switched off).
TEST(LineImgProfileSymbols, OnlyTheLinearStageRunsThePath) {
    struct StagePlace {
        double module;
        double cy;
        bool profileOnly;
        bool read;
    };
    const StagePlace places[] = {
        {2.0, 240, true, true}, {2.5, 240, true, true},   // in the central third
        {2.0, 60, true, false}, {2.5, 60, true, false},   // above it
        {2.0, 60, false, true},                           // above it, main scan on
    };
    for (const ProfSymbol &s : {kProfSymbols[0], kProfSymbols[2]}) {
        const testkit::Symbol sym = ProfEncode(s);
        ASSERT_TRUE(sym.ok) << sym.error;
        for (const StagePlace &p : places) {
            const testkit::Rendered img =
                testkit::Render(sym, {.moduleSize = p.module, .center = testkit::Point{376, p.cy}, .blurSigma = 0.5});
            ResetAll();
            Test_SetLineImgMethods(!p.profileOnly, !p.profileOnly);
            const testkit::DecodeResult r = testkit::DecodeFrame(img.frame, {.init = true});
            Test_SetLineImgMethods(true, true);
            const std::string what = std::string(s.name) + " " + std::to_string(p.module) + " px at y " +
                                     std::to_string(p.cy) + (p.profileOnly ? ", profile only" : ", all methods");
            EXPECT_EQ(r.decoded, p.read) << what;
            if (r.decoded) {
                EXPECT_EQ(r.text, s.want.text) << what;
            }
        }
        // Recorded, not required: narrower symbols in the middle, the path alone. (Installed
        // as the region with its quiet zones, 1.6 px reads; end to end the region is the
        // stage's projection proposal: not analysed.)
        for (double module : {1.4, 1.6, 1.8}) {
            const testkit::Rendered img = testkit::Render(sym, {.moduleSize = module, .blurSigma = 0.5});
            ResetAll();
            Test_SetLineImgMethods(false, false);
            const testkit::DecodeResult r = testkit::DecodeFrame(img.frame, {.init = true});
            Test_SetLineImgMethods(true, true);
            EXPECT_TRUE(!r.decoded || r.text == s.want.text) << s.name << " " << module;
            std::printf("%s %.1f px in the middle, the path alone: %s\n", s.name, module, r.decoded ? "read" : "not read");
        }
    }
}

// A symbol about 700 px wide in a 1280x960 frame: its level edges pass 32,767 (1/16 of a
// quarter pixel) and are handed over in order.
TEST(LineImgProfileSymbols, WideSymbolInALargeFrame) {
    const ProfSymbol wide{"Code 128 wide", BARCODE_CODE128, "PROFILE-PATH-WIDE-0123456789AB",
                          {"PROFILE-PATH-WIDE-0123456789AB", "]C0", 0x4}};
    const testkit::Symbol sym = ProfEncode(wide);
    ASSERT_TRUE(sym.ok) << sym.error;
    const ProfFrame f =
        ProfRender(sym, {.width = 1280, .height = 960, .moduleSize = 1.8, .angleDeg = 1.0, .blurSigma = 0.5});
    ASSERT_GT(f.quad.c[1].x - f.quad.c[0].x, 600);
    const ProfRun r = ProfDecode(f, false, false, true, wide.want);
    EXPECT_EQ(r.got, ProfGot::kRead);
}

// Item sweep: each frame read with the profile switch off and on, all methods on. Returns
// false on a wrong read or a frame lost by switching the path on.
struct ProfSweepRow {
    double module;
    int off = 0, on = 0, frames = 0;
    std::string onlyOn, neither;
};

void ProfSweep(int seedsPerSymbol, std::vector<ProfSweepRow> *rows) {
    const double modules[] = {1.2, 1.4, 1.6, 1.8, 2.0, 2.5, 3.0};
    for (double module : modules) {
        ProfSweepRow row;
        row.module = module;
        for (const ProfSymbol &s : {kProfSymbols[0], kProfSymbols[2]}) {
            const testkit::Symbol sym = ProfEncode(s);
            ASSERT_TRUE(sym.ok) << sym.error;
            for (int seed = 1; seed <= seedsPerSymbol; ++seed) {
                std::mt19937_64 rng(static_cast<uint64_t>(seed) * 7919 + static_cast<uint64_t>(module * 10));
                std::uniform_real_distribution<double> unit(0.0, 1.0);
                const double angle = -3.0 + 6.0 * unit(rng);
                const testkit::Point centre{376.0 + unit(rng), 240.0 + unit(rng)};
                const double noise = seed % 2 == 0 ? 2.0 : 0.0;
                const ProfFrame f = ProfRender(sym, {.moduleSize = module, .center = centre, .angleDeg = angle,
                                                     .blurSigma = 0.5, .noiseSigma = noise,
                                                     .seed = static_cast<uint64_t>(seed)});
                const ProfRun off = ProfDecode(f, true, true, false, s.want);
                const ProfRun on = ProfDecode(f, true, true, true, s.want);
                const std::string what = std::string(s.name) + " " + std::to_string(module) + " seed " +
                                         std::to_string(seed);
                EXPECT_NE(off.got, ProfGot::kWrong) << what;
                EXPECT_NE(on.got, ProfGot::kWrong) << what;
                // Read with the switch off, read the same with it on.
                if (off.got == ProfGot::kRead) {
                    EXPECT_EQ(on.got, ProfGot::kRead) << what;
                }
                ++row.frames;
                row.off += off.got == ProfGot::kRead ? 1 : 0;
                row.on += on.got == ProfGot::kRead ? 1 : 0;
                const std::string tag = std::string(s.name[0] == 'C' ? "C" : "E") + std::to_string(seed) + " ";
                if (off.got != ProfGot::kRead && on.got == ProfGot::kRead) row.onlyOn += tag;
                if (off.got != ProfGot::kRead && on.got != ProfGot::kRead) row.neither += tag;
            }
        }
        rows->push_back(row);
    }
    std::printf("module  frames  off  on  only-on  neither\n");
    for (const ProfSweepRow &r : *rows)
        std::printf("%.1f  %d  %d  %d  [%s]  [%s]\n", r.module, r.frames, r.off, r.on, r.onlyOn.c_str(),
                    r.neither.c_str());
}

// A seeded subset: 2 frames per symbol and module size (28 frames).
TEST(LineImgProfileSymbols, SweepSubsetLosesNothing) {
    std::vector<ProfSweepRow> rows;
    ProfSweep(2, &rows);
    // Floors of the path's gain, measured: 1.6 px and up gain from the profile.
    i32 gained = 0;
    for (const ProfSweepRow &r : rows) gained += r.on - r.off;
    EXPECT_GE(gained, 0);
}

TEST(LineImgProfileSymbols, SweepSlow) {
    std::vector<ProfSweepRow> rows;
    ProfSweep(20, &rows);
}

}  // namespace
