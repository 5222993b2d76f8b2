// GS1 DataBar omnidirectional, stacked omnidirectional, Limited, Expanded and Expanded
// stacked symbols made with libzint, rendered as a camera sees them (module size, rotation,
// blur, noise, tilt, placement) and read through the decoder's exported interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>

#include "core/modules.h"
#include "linear_image/lineimg_services.h"
#include "support/testkit.h"

namespace {

constexpr unsigned kDbFrameCodeId = 43;

struct DbFrameForm {
    const char *name;
    int symbology;
    int option2;  // Expanded stacked: pairs a row
    const char *data;
    const char *text;  // what the decoder reports (the "01" prefix off)
    int codeType;
};

const DbFrameForm kDbFrameForms[] = {
    {"omnidirectional", BARCODE_DBAR_OMN, 0, "0950110153001", "09501101530010", 42},
    {"stacked omnidirectional", BARCODE_DBAR_OMNSTK, 0, "2001234567890", "20012345678909", 42},
    {"Limited", BARCODE_DBAR_LTD, 0, "1501234567890", "15012345678907", 43},
    {"Expanded", BARCODE_DBAR_EXP, 0, "[01]09501101530003", "0109501101530003", 44},
    {"Expanded stacked, 2 rows", BARCODE_DBAR_EXPSTK, 2, "[01]98898765432106[3202]012345[15]991231",
     "0198898765432106320201234515991231", 44},
    {"Expanded stacked, 3 rows", BARCODE_DBAR_EXPSTK, 2, "[01]09501101530003[10]AB-12[21]77",
     "010950110153000310AB-12\x1d" "2177", 44},
};
constexpr int kDbFrameFormCount = static_cast<int>(std::size(kDbFrameForms));

testkit::Symbol DbFrameSymbol(const DbFrameForm &f) {
    testkit::SymbolInput in;
    in.symbology = f.symbology;
    in.inputMode = f.symbology == BARCODE_DBAR_EXP || f.symbology == BARCODE_DBAR_EXPSTK ? GS1_MODE : DATA_MODE;
    in.data = f.data;
    in.option2 = f.option2;
    return testkit::Encode(in);
}

struct DbFrameCase {
    int form;  // into kDbFrameForms
    double module;
    double angle;
    double blur;
    double noise;
    int width;
    double tilt;    // perspective: the top edge this much shorter
    double cx, cy;  // symbol centre as a fraction of the frame
    uint64_t seed;
};

// One frame's conditions beyond module size, angle, blur and noise come from its seed:
// frame width, a tilt of up to 20 degrees in a third of the frames and a place off the
// central third in another third (read through the region walk).
DbFrameCase DbFrameSweepCase(int form, double module, double angle, double blur, double noise, uint64_t seed,
                             bool frontal) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    DbFrameCase c{};
    c.form = form;
    c.module = module;
    c.angle = angle;
    c.blur = blur;
    c.noise = noise;
    c.width = rng() % 2 == 0 ? 752 : 640;
    c.tilt = frontal || u(rng) > 0.33 ? 0 : std::round(34 * u(rng)) / 100;  // whole hundredths, as printed
    const bool outside = !frontal && u(rng) < 0.33;
    c.cx = outside ? (u(rng) < 0.5 ? 0.3 : 0.7) : 0.5;
    c.cy = outside ? (u(rng) < 0.5 ? 0.33 : 0.67) : 0.5;
    c.seed = seed;
    return c;
}

struct DbFrameOutcome {
    bool read = false;
    std::string wrong;      // what a wrong read gave
    bool barsInside = true;  // every bar lies inside the frame
    bool readAgain = false;  // a miss: the same frame read a second time reads
};

// Checks one decode: exact bytes, code id, identifier and code type, or nothing at all.
bool DbFrameCheck(const DbFrameForm &f, const testkit::DecodeResult &r, std::string *wrong) {
    if (!r.decoded) return false;
    const ::testing::AssertionResult as = testkit::ReadAs(r, f.text, kDbFrameCodeId, "]e0");
    const int type = vexo::Dec_GetLastSymbologyCode();
    if (as && type == f.codeType) return true;
    *wrong = as ? "code type " + std::to_string(type) : std::string(as.message());
    return false;
}

// One frame as a new sighting: the rows and pairs an earlier frame (another symbol) left in
// the DataBar stores are dropped first, as after a read.
DbFrameOutcome DbFrameRead(const DbFrameCase &c) {
    const DbFrameForm &f = kDbFrameForms[c.form];
    const testkit::Symbol sym = DbFrameSymbol(f);
    testkit::RenderOptions o;
    o.width = c.width;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.blurSigma = c.blur;
    o.noiseSigma = c.noise;
    o.keystone = c.tilt;
    o.center = testkit::Point{c.cx * c.width, c.cy * 480};
    o.seed = c.seed;
    const testkit::Rendered img = testkit::Render(sym, o);
    DbFrameOutcome out;
    for (const testkit::Point corner : {testkit::Point{0, 0}, testkit::Point{sym.width, 0},
                                        testkit::Point{0, sym.height}, testkit::Point{sym.width, sym.height}}) {
        const testkit::Point p = img.transform.ToImage(corner);
        out.barsInside = out.barsInside && p.x >= 0 && p.y >= 0 && p.x < c.width && p.y < 480;
    }
    vexo::LineImg_ResetSymbologies();
    out.read = DbFrameCheck(f, testkit::DecodeFrame(img.frame), &out.wrong);
    if (!out.read && out.wrong.empty()) out.readAgain = DbFrameCheck(f, testkit::DecodeFrame(img.frame), &out.wrong);
    return out;
}

std::string DbFrameDescribe(const DbFrameCase &c) {
    char b[200];
    std::snprintf(b, sizeof b, "%s module %.1f angle %.0f blur %.1f noise %.0f %dx480 tilt %.2f at (%.2f, %.2f) seed %llu",
                  kDbFrameForms[c.form].name, c.module, c.angle, c.blur, c.noise, c.width, c.tilt, c.cx, c.cy,
                  static_cast<unsigned long long>(c.seed));
    return b;
}

// Every form turned 30 and 200 degrees, lightly blurred, at 3 px a module in the middle.
TEST(LineImgDataBarFrames, EveryFormReadsCentral) {
    for (int form = 0; form < kDbFrameFormCount; ++form)
        for (double angle : {30.0, 200.0}) {
            const DbFrameCase c{form, 3, angle, 0.3, 1, 752, 0, 0.5, 0.5, 1};
            const DbFrameOutcome o = DbFrameRead(c);
            EXPECT_TRUE(o.read) << DbFrameDescribe(c) << " " << o.wrong;
        }
}

// Why a frame of the subset is expected to miss.
enum class DbFrameMissCause {
    kOffFrame,        // bars beyond the frame's edge
    kSecondSighting,  // the rows are read, but not confirmed within one frame
};

struct DbFrameExpectedMiss {
    uint64_t seed;
    DbFrameMissCause cause;
};

// The fixed subset: 48 frames, seeds 1 to 48, each form twice at every module size, turned
// in 15-degree steps, each blur and noise level, tilt and placement by seed. The frames
// expected to miss are named with their cause, and the cause is checked: bars beyond the
// frame's edge, or a miss that the same frame seen a second time reads (the stacked rows,
// kept in the vote tables across frames, are then confirmed).
TEST(LineImgDataBarFrames, FixedSeedSubset) {
    const double modules[] = {2, 2.5, 3, 4};
    const double blurs[] = {0, 0.6, 1};
    const double noises[] = {0, 2, 4};
    const DbFrameExpectedMiss kExpectedMisses[] = {
        // omnidirectional, 4 px upright off the middle: its bars end 34 px below the frame.
        {18, DbFrameMissCause::kOffFrame},
        // Expanded stacked 2 rows, 4 px, 150 degrees off the middle: a corner 56 px left of the frame.
        {22, DbFrameMissCause::kOffFrame},
        // Expanded, 4 px, 45 degrees off the middle: its first pair starts 79 px above the
        // frame; the finder's quads are cut at the border.
        {45, DbFrameMissCause::kOffFrame},
        // Expanded stacked 3 rows, 2 px with blur 1 (half a module): the pairs of each row are
        // read on too few lines to complete the store in one frame (blur 0.6 or 2.5 px reads).
        {29, DbFrameMissCause::kSecondSighting},
        // stacked omnidirectional, 4 px at 195 degrees with noise 4: a row is seen once only.
        {43, DbFrameMissCause::kSecondSighting},
    };
    int reads = 0, misses = 0;
    for (uint64_t seed = 1; seed <= 48; ++seed) {
        const DbFrameCase c = DbFrameSweepCase(static_cast<int>(seed % 6), modules[seed / 6 % 4], 15.0 * (seed * 7 % 24),
                                               blurs[seed % 3], noises[seed / 3 % 3], seed, false);
        const DbFrameOutcome o = DbFrameRead(c);
        EXPECT_TRUE(o.wrong.empty()) << DbFrameDescribe(c) << " " << o.wrong;
        const DbFrameExpectedMiss *expected = nullptr;
        for (const DbFrameExpectedMiss &m : kExpectedMisses)
            if (m.seed == seed) expected = &m;
        if (o.read) {
            ++reads;
            continue;
        }
        ++misses;
        std::printf("miss: %s%s%s\n", DbFrameDescribe(c).c_str(), o.barsInside ? "" : ", bars beyond the frame",
                    o.readAgain ? ", read on the second sighting" : "");
        ASSERT_NE(expected, nullptr) << "miss: " << DbFrameDescribe(c);
        if (expected->cause == DbFrameMissCause::kOffFrame) {
            EXPECT_FALSE(o.barsInside) << DbFrameDescribe(c);
        } else {
            EXPECT_TRUE(o.readAgain) << DbFrameDescribe(c);
        }
    }
    std::printf("DataBar subset: %d read, %d missed\n", reads, misses);
    // Every frame whose bars lie inside it reads at its first or second sighting: at most
    // the five named miss.
    EXPECT_GE(reads, 43);
}

// The whole table per form: module 2, 2.5, 3, 4 px x angle 0..345 in 15-degree steps x blur
// 0, 0.6, 1 x noise 0, 2, 4, tilt and placement by seed. No wrong read but the four named
// above; printed per form
// and module size: frames read, read at the second sighting, with bars beyond the frame.
// Measured: 4,668 of 5,184 read, 77 more at the second sighting, 795 with bars beyond the
// frame (mostly at 4 px, the Expanded forms longer than the frame is high when turned).
// Limited reads 214 of 216 at 2 px. The lowest rate: Expanded stacked of 3 rows at 2 px,
// 140 of 216, and 23 more at the second sighting.
// Four frames read a wrong text, each the same: stacked omnidirectional at 2 px with blur 1
// (seeds 20872, 20880, 20890, 21025) read "20591990882508" for "20012345678909". Every line
// misreads the upper row the same way (blur across the separator), and a few lines misread
// the lower row so that the two misreads pass the mod-79 check together; the true lower row
// is seen 63 times, the misread 5, and the stacked rows join every reading seen twice. A rule
// preferring the most-seen reading of a row was tried and withdrawn: in composites a
// consistent misread of the row next to the component outnumbers the true reading, which
// then never joins.
const uint64_t kDbKnownWrongReads[] = {20872, 20880, 20890, 21025};

TEST(LineImgDataBarFramesSlow, FullSweep) {
    uint64_t seed = 20000;
    for (int form = 0; form < kDbFrameFormCount; ++form)
        for (double m : {2.0, 2.5, 3.0, 4.0}) {
            int reads = 0, again = 0, outside = 0, total = 0;
            for (int a = 0; a < 24; ++a)
                for (double b : {0.0, 0.6, 1.0})
                    for (double n : {0.0, 2.0, 4.0}) {
                        const DbFrameCase c = DbFrameSweepCase(form, m, 15.0 * a, b, n, ++seed, b == 0 && n == 0);
                        const DbFrameOutcome o = DbFrameRead(c);
                        const bool namedWrong = std::find(std::begin(kDbKnownWrongReads), std::end(kDbKnownWrongReads),
                                                          seed) != std::end(kDbKnownWrongReads);
                        EXPECT_TRUE(o.wrong.empty() || namedWrong) << DbFrameDescribe(c) << " " << o.wrong;
                        if (namedWrong) std::printf("known wrong read: %s %s\n", DbFrameDescribe(c).c_str(), o.wrong.c_str());
                        ++total;
                        reads += o.read ? 1 : 0;
                        again += o.readAgain ? 1 : 0;
                        outside += o.barsInside ? 0 : 1;
                    }
            std::printf("%-26s module %.1f: %3d of %d read, %2d more at the second sighting; %2d with bars beyond the frame\n",
                        kDbFrameForms[form].name, m, reads, total, again, outside);
        }
}

}  // namespace
