// GS1 composite symbols made with libzint (a linear symbol with a CC-A, CC-B or CC-C
// component) rendered into 752 x 480 camera frames and read through the decoder's exported
// interface with composite reading on (and composite mode for EAN/UPC).
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <sstream>
#include <cstring>
#include <string>
#include <vector>

#include "core/modules.h"
#include "core/pixel.h"
#include "core/state.h"
#include "linear_image/lineimg_components.h"
#include "linear_image/lineimg_module.h"
#include "support/testkit.h"

namespace {

constexpr uint32_t kCompositeCodeId = 0x10E;
constexpr uint32_t kIdCompositeMode = 0x11C01;
constexpr uint32_t kIdSymbologyCode = 0x100513;

struct CompositeKind {
    const char *name;
    int symbology;
    const char *primary;
    int option1;  // 1 CC-A, 2 CC-B, 3 CC-C
    const char *linearText;
    const char *aim;
    int code;  // symbology code of the component's row
};

// The component of every kind: a fixed-length element string, then a variable one.
constexpr const char *kCompositeData = "[11]990102[10]ABC123";
constexpr const char *kCompositeText = "1199010210ABC123";

const CompositeKind kCompositeKinds[] = {
    {"GS1-128 CC-A", BARCODE_GS1_128_CC, "[01]09501101530008", 1, "0109501101530008", "]C1", 63},
    {"GS1-128 CC-B", BARCODE_GS1_128_CC, "[01]09501101530008", 2, "0109501101530008", "]C1", 63},
    {"GS1-128 CC-C", BARCODE_GS1_128_CC, "[01]09501101530008", 3, "0109501101530008", "]C1", 63},
    {"EAN-13 CC-A", BARCODE_EANX_CC, "950110153000", 1, "9501101530003", "]E0", 60},
    {"EAN-13 CC-B", BARCODE_EANX_CC, "950110153000", 2, "9501101530003", "]E0", 60},
    {"UPC-A CC-A", BARCODE_UPCA_CC, "01234567890", 1, "012345678905", "]E0", 60},
    {"UPC-A CC-B", BARCODE_UPCA_CC, "01234567890", 2, "012345678905", "]E0", 60},
    {"EAN-8 CC-A", BARCODE_EANX_CC, "1234567", 1, "12345670", "]E4", 61},
    {"EAN-8 CC-B", BARCODE_EANX_CC, "1234567", 2, "12345670", "]E4", 61},
    {"UPC-E CC-A", BARCODE_UPCE_CC, "0123456", 1, "1234565", "]E0", 62},
    {"UPC-E CC-B", BARCODE_UPCE_CC, "0123456", 2, "1234565", "]E0", 62},
    {"DataBar CC-A", BARCODE_DBAR_OMN_CC, "0950110153000", 1, "09501101530003", "]e0", 64},
    {"DataBar CC-B", BARCODE_DBAR_OMN_CC, "0950110153000", 2, "09501101530003", "]e0", 64},
    {"DataBar stacked CC-A", BARCODE_DBAR_OMNSTK_CC, "0950110153000", 1, "09501101530003", "]e0", 65},
    {"DataBar Limited CC-A", BARCODE_DBAR_LTD_CC, "0950110153000", 1, "09501101530003", "]e0", 66},
    {"DataBar Limited CC-B", BARCODE_DBAR_LTD_CC, "0950110153000", 2, "09501101530003", "]e0", 66},
    {"DataBar Expanded CC-A", BARCODE_DBAR_EXP_CC, "[01]09501101530003", 1, "0109501101530003", "]e0", 67},
    {"DataBar Expanded CC-B", BARCODE_DBAR_EXP_CC, "[01]09501101530003", 2, "0109501101530003", "]e0", 67},
    {"DataBar Exp. stacked CC-A", BARCODE_DBAR_EXPSTK_CC, "[01]09501101530003", 1, "0109501101530003", "]e0", 67},
};

testkit::Symbol MakeCompositeSymbol(const CompositeKind &k) {
    testkit::SymbolInput in;
    in.symbology = k.symbology;
    in.inputMode = GS1_MODE;
    in.primary = k.primary;
    in.data = kCompositeData;
    in.option1 = k.option1;
    return testkit::Encode(in);
}

// Composite mode for EAN/UPC on for the test's span.
class CompositeModeOn {
public:
    CompositeModeOn() : api_(testkit::LinkedDecoder()) {
        testkit::InitDecoder();
        on_ = api_.set(kIdCompositeMode, VEXO_ON) == 1;
    }
    ~CompositeModeOn() { api_.set(kIdCompositeMode, VEXO_OFF); }
    bool on() const { return on_; }
    int SymbologyCode() const {
        uint32_t v = 0;
        return api_.get(kIdSymbologyCode, &v) == 1 ? static_cast<int>(v) : -1;
    }

private:
    testkit::DecoderApi api_;
    bool on_ = false;
};

bool IsDataBar(const CompositeKind &k) { return k.aim[1] == 'e'; }

// What one frame gave.
enum class CompositeOutcome { kRead, kNothing, kWrong };

// One frame: read as the linear text and the component's element strings, with the
// composite's code id, the linear symbol's identifier, the row's symbology code, Get
// 0x100513 and the part list; anything else read is wrong (the linear part alone too).
CompositeOutcome ReadComposite(const CompositeModeOn &mode, const CompositeKind &k, const testkit::Symbol &sym,
                               const testkit::RenderOptions &opt, std::string *why) {
    const testkit::Rendered img = testkit::Render(sym, opt);
    const testkit::DecodeResult r = testkit::DecodeFrame(img.frame);
    if (!r.decoded) return CompositeOutcome::kNothing;
    std::ostringstream w;
    w << k.name << ", " << opt.moduleSize << " px, " << opt.angleDeg << " deg, seed " << opt.seed << ": ";
    const ::testing::AssertionResult read =
        testkit::ReadAs(r, std::string(k.linearText) + kCompositeText, kCompositeCodeId, k.aim);
    vexo::i32 kinds[2] = {}, ids[2] = {}, lengths[2] = {};
    char aims[7] = {};
    vexo::LINEIMG_PART_LIST parts{0, kinds, ids, lengths, aims};
    vexo::LineImg_CopyPartList(&parts);
    const int componentId = k.option1 == 3 ? 0 : 10;
    const bool partsOk = IsDataBar(k) ? parts.count == 0
                                      : parts.count == 2 && kinds[1] == vexo::kPartComponent && ids[1] == componentId &&
                                            std::string(aims + 3, 3) == "]e0" &&
                                            lengths[1] == static_cast<int>(std::strlen(kCompositeText));
    if (!read) w << read.message();
    else if (vexo::Dec_GetLastSymbologyCode() != k.code) w << "code " << vexo::Dec_GetLastSymbologyCode();
    else if (mode.SymbologyCode() != 55) w << "Get 0x100513 " << mode.SymbologyCode();
    else if (!partsOk) w << "parts " << parts.count << " kind " << kinds[1] << " id " << ids[1] << " " << aims;
    else return CompositeOutcome::kRead;
    if (why != nullptr) *why = w.str();
    return CompositeOutcome::kWrong;
}

// Every kind upright, turned 10 degrees and a quarter, at 3 px per module with blur and
// noise. Upright DataBar components sit on a separator pattern, not on a straight bar top:
// their row slope must be fitted across the component's own rows. A CC-C component turned a
// quarter is found only by a scan along image columns.
TEST(LineImgCompositeSymbols, EveryKindReadsUprightAndTilted) {
    CompositeModeOn mode;
    ASSERT_TRUE(mode.on());
    for (const CompositeKind &k : kCompositeKinds) {
        const testkit::Symbol sym = MakeCompositeSymbol(k);
        ASSERT_TRUE(sym.ok) << k.name << ": " << sym.error;
        for (double angle : {0.0, -10.0, 90.0}) {
            const testkit::RenderOptions opt{.moduleSize = 3, .angleDeg = angle, .blurSigma = 0.6, .noiseSigma = 4,
                                             .seed = 7};
            std::string why;
            const CompositeOutcome got = ReadComposite(mode, k, sym, opt, &why);
            EXPECT_EQ(got, CompositeOutcome::kRead) << k.name << " " << angle << " " << why;
        }
    }
}

// The area finder on rendered composites: the region is the linear symbol's rows (first
// side on its top edge), the area reaches beyond the component's top and is trimmed to 8 px
// outside the component's outermost bars.
TEST(LineImgCompositeArea, FramesTheComponent) {
    struct AreaCase {
        int kind;  // into kCompositeKinds
        int mode;
    };
    for (const AreaCase c : {AreaCase{0, 1}, AreaCase{1, 1}, AreaCase{3, 2}, AreaCase{5, 2}}) {
        const CompositeKind &k = kCompositeKinds[c.kind];
        const testkit::Symbol sym = MakeCompositeSymbol(k);
        ASSERT_TRUE(sym.ok);
        const testkit::Rendered img = testkit::Render(sym, {.moduleSize = 3});
        // The linear rows: the last row's block of equal rows; the component: dark modules above.
        int firstLinear = sym.rows - 1;
        double componentTop = -1, componentLeft = 1e9, componentRight = -1;
        for (int r = 0; r < sym.rows; ++r)
            for (int col = 0; col < sym.cols; ++col)
                if (sym.Dark(r, col) && sym.rowTop[static_cast<size_t>(r) + 1] - sym.rowTop[static_cast<size_t>(r)] <= 3 &&
                    r < firstLinear - 1) {
                    if (componentTop < 0) componentTop = sym.rowTop[static_cast<size_t>(r)];
                    componentLeft = std::min(componentLeft, static_cast<double>(col));
                    componentRight = std::max(componentRight, static_cast<double>(col + 1));
                }
        ASSERT_GE(componentTop, 0) << k.name;
        const double linearTop = sym.rowTop[static_cast<size_t>(firstLinear)];
        std::vector<uint8_t> pixels = img.frame.pixels;
        vexo::Pix_SetImagePointer(pixels.data());
        vexo::Pix_SetImageSize(img.frame.width, img.frame.height);
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_InstallFrame(pixels.data(), img.frame.width, img.frame.height);
        auto at = [&](double x, double y) {
            const testkit::Point p = img.transform.ToImage({x, y});
            return vexo::POINT_I32{static_cast<vexo::i32>(std::lround(p.x)), static_cast<vexo::i32>(std::lround(p.y))};
        };
        // The linear bars' lower part (an EAN/UPC's guards reach lower), quiet zone included.
        const double bottom = sym.rowTop[static_cast<size_t>(sym.rows)] - 6;
        const vexo::REGION_QUAD quad{{at(-10, linearTop + 2), at(sym.width + 10, linearTop + 2), at(-10, bottom),
                                      at(sym.width + 10, bottom)}};
        vexo::REGION_QUAD area{};
        ASSERT_EQ(vexo::LineImg_FindComponentArea(&quad, &area, 0, c.mode), 1);
        const vexo::POINT_I32 top = at(componentLeft, componentTop);
        const vexo::POINT_I32 left = at(componentLeft, 0);
        const vexo::POINT_I32 right = at(componentRight, 0);
        std::printf("%s: area %d,%d %d,%d %d,%d %d,%d; component top %d, bars %d..%d\n", k.name, area.c[0].x,
                    area.c[0].y, area.c[1].x, area.c[1].y, area.c[2].x, area.c[2].y, area.c[3].x, area.c[3].y, top.y,
                    left.x, right.x);
        // The far side beyond the component's top, by at most one step of 4 px and a row.
        EXPECT_LE(area.c[0].y, top.y) << k.name;
        EXPECT_GE(area.c[0].y, top.y - 4 - 6) << k.name;
        EXPECT_NEAR(area.c[0].x, left.x - 8, 2) << k.name;
        EXPECT_NEAR(area.c[1].x, right.x + 8, 2) << k.name;
        EXPECT_NEAR(area.c[2].x, left.x - 8, 2) << k.name;
        EXPECT_NEAR(area.c[3].x, right.x + 8, 2) << k.name;
    }
}

// Without composite mode an EAN-13 with a component is read as EAN-13 alone; with it the
// component joins (above). In composite mode an EAN-13 carries no link, so one without a
// component is searched for it, no table row asks a reader, and it is refused at its
// region; alone in the frame no fallback outputs it.
TEST(LineImgCompositeSymbols, CompositeModeDecidesForEanUpc) {
    const testkit::Symbol sym = MakeCompositeSymbol(kCompositeKinds[3]);
    ASSERT_TRUE(sym.ok);
    testkit::InitDecoder();
    const testkit::DecodeResult r = testkit::DecodeFrame(testkit::Render(sym, {.moduleSize = 3}).frame);
    EXPECT_TRUE(testkit::ReadAs(r, "9501101530003", 0x8, "]E0"));
    const testkit::Symbol alone = testkit::Encode(BARCODE_EANX, "950110153000");
    ASSERT_TRUE(alone.ok);
    const testkit::Frame frame = testkit::Render(alone, {.moduleSize = 3}).frame;
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(frame), "9501101530003", 0x8, "]E0"));
    CompositeModeOn mode;
    ASSERT_TRUE(mode.on());
    EXPECT_FALSE(testkit::DecodeFrame(frame).decoded);
}

// Symbols pushed against every border, upright and turned half round, so that the areas
// walked (up to 396 px beyond the symbol) and handed to both readers lie partly outside the
// frame: nothing misread (the sanitizer build checks the reads and writes).
TEST(LineImgCompositeSymbols, AreasPastTheBorders) {
    CompositeModeOn mode;
    ASSERT_TRUE(mode.on());
    const testkit::Point centres[] = {{376, 40}, {376, 440}, {160, 240}, {592, 240}};
    for (int kind : {0, 2, 3, 11}) {
        const CompositeKind &k = kCompositeKinds[kind];
        const testkit::Symbol sym = MakeCompositeSymbol(k);
        ASSERT_TRUE(sym.ok);
        for (const testkit::Point &centre : centres)
            for (double angle : {0.0, 180.0}) {
                const testkit::RenderOptions opt{.moduleSize = 2, .center = centre, .angleDeg = angle};
                std::string why;
                EXPECT_NE(ReadComposite(mode, k, sym, opt, &why), CompositeOutcome::kWrong) << why;
            }
    }
}

// The longest CC-C component libzint makes (element strings of 90 characters added while it
// accepts them) in the largest frame, at the largest module size that fits: the component's
// 2,300 characters fill most of its 2,710-byte buffer. Read or not (at 2.2 px it reads turned
// half round, not upright), nothing is misread; the sanitizer build checks the buffers and
// the image reads.
TEST(LineImgCompositeSymbols, TheLongestCcCComponent) {
    CompositeModeOn mode;
    ASSERT_TRUE(mode.on());
    const std::string chunk(90, '7');
    std::string data;
    testkit::Symbol sym;
    for (int ai = 91; ai <= 99; ++ai) {
        for (int repeat = 0; repeat < 4; ++repeat) {
            testkit::SymbolInput in;
            in.symbology = BARCODE_GS1_128_CC;
            in.inputMode = GS1_MODE;
            in.primary = "[01]09501101530008";
            const std::string longer = data + "[" + std::to_string(ai) + "]" + chunk;
            in.data = longer;
            in.option1 = 3;
            testkit::Symbol s = testkit::Encode(in);
            if (!s.ok) break;
            data = longer;
            sym = s;
        }
    }
    ASSERT_TRUE(sym.ok);
    {
        // libzint keeps the whole symbol's default height and gives the linear part what the
        // component leaves: ask for 40 modules more, for a linear part of full height.
        testkit::SymbolInput in;
        in.symbology = BARCODE_GS1_128_CC;
        in.inputMode = GS1_MODE;
        in.primary = "[01]09501101530008";
        in.data = data;
        in.option1 = 3;
        in.height = static_cast<float>(sym.height + 40);
        sym = testkit::Encode(in);
        ASSERT_TRUE(sym.ok) << sym.error;
    }
    std::string text;
    for (size_t at = 0; at < data.size();) {
        const size_t close = data.find(']', at);
        text += data.substr(at + 1, close - at - 1);
        at = data.find('[', close);
        text += data.substr(close + 1, at == std::string::npos ? std::string::npos : at - close - 1);
    }
    EXPECT_GT(text.size(), 1000u) << sym.width << " x " << sym.height;
    const double px = std::min(1280.0 / (sym.width + 4), 960.0 / (sym.height + 4));
    for (double angle : {0.0, 180.0}) {
        const testkit::RenderOptions opt{.width = 1280, .height = 960, .moduleSize = px, .angleDeg = angle};
        const testkit::Rendered img = testkit::Render(sym, opt);
        const testkit::DecodeResult r = testkit::DecodeFrame(img.frame);
        std::printf("longest CC-C: %zu characters, %g x %g modules at %.2f px, %g degrees: %s\n", text.size(),
                    sym.width, sym.height, px, angle, r.decoded ? "read" : "not read");
        if (r.decoded) {
            EXPECT_TRUE(testkit::ReadAs(r, "0109501101530008" + text, kCompositeCodeId, "]C1")) << px << " px";
        }
    }
}

// Rows of the sweep at 2 px that read less than half, with the cause:
// - DataBar Limited, CC-A and CC-B (13 rows): the linear part is mostly not read once turned
//   3 degrees or more, so no component is asked (upright CC-A, seed 11: -10, -6, -3, 6 and 10
//   degrees no linear read; 1 and 3 degrees the linear read, the component not; -1 and 0
//   read), while the same linear symbol without its component reads at every one of these
//   angles at 2 px; not analysed further.
// - EAN-13 CC-B and UPC-A CC-B turned 180 degrees, clean: the component area's far side ends
//   3-4 px short of the last of the 4 rows (rows 4 px high), so the right RAP column shows 3
//   rows, no 4-row variant matches, and the longer second scan is only made for more than
//   three runs of RAP numbers.
// - EAN-8 CC-A upright, clean (2 of 6: 0 degrees reads, 10 degrees either way not; 6 degrees
//   reads): turned 10 degrees the area lies about 3 px towards the component's top, the
//   right RAP column reads rows 23, 24 and 25 of 23-26 and, with three runs, no second scan.
struct CompositeWeakRow {
    const char *kind;
    double base;
    const char *look;
};
const CompositeWeakRow kCompositeWeakRows2px[] = {
    {"EAN-13 CC-B", 180, "clean"},
    {"UPC-A CC-B", 180, "clean"},
    {"EAN-8 CC-A", 0, "clean"},
    {"DataBar Limited CC-A", 0, "clean"},
    {"DataBar Limited CC-A", 0, "blur 0.7 noise 5"},
    {"DataBar Limited CC-A", 90, "clean"},
    {"DataBar Limited CC-A", 90, "blur 0.7 noise 5"},
    {"DataBar Limited CC-A", 180, "clean"},
    {"DataBar Limited CC-A", 180, "blur 0.7 noise 5"},
    {"DataBar Limited CC-A", 270, "blur 0.7 noise 5"},
    {"DataBar Limited CC-B", 0, "clean"},
    {"DataBar Limited CC-B", 0, "blur 0.7 noise 5"},
    {"DataBar Limited CC-B", 90, "clean"},
    {"DataBar Limited CC-B", 90, "blur 0.7 noise 5"},
    {"DataBar Limited CC-B", 180, "blur 0.7 noise 5"},
    {"DataBar Limited CC-B", 270, "clean"},
    {"DataBar Limited CC-B", 270, "blur 0.7 noise 5"},
};

bool IsNamedWeakRow(const char *kind, double base, const char *look) {
    return std::any_of(std::begin(kCompositeWeakRows2px), std::end(kCompositeWeakRows2px), [&](const CompositeWeakRow &w) {
        return std::strcmp(w.kind, kind) == 0 && w.base == base && std::strcmp(w.look, look) == 0;
    });
}

// The sweep: every kind at 2, 3 and 4 px per module, turned 0, 90, 180 and 270 degrees and
// 10 either way around each, sharp and clean or blurred and noisy, where the turned symbol
// fits. Prints the read share of every row and every miss with its seed; no frame may be
// misread, every kind reads at least half its frames, and so does every row but the named
// 2 px rows above.
TEST(LineImgCompositeSymbolsSlow, Sweep) {
    CompositeModeOn mode;
    ASSERT_TRUE(mode.on());
    struct SweepLook {
        const char *name;
        double blur;
        double noise;
    };
    const SweepLook looks[] = {{"clean", 0, 0}, {"blur 0.7 noise 5", 0.7, 5}};
    std::printf("%-26s %4s %6s %-17s %5s\n", "kind", "px", "angle", "look", "read");
    int allReads = 0, allFrames = 0;
    for (const CompositeKind &k : kCompositeKinds) {
        const testkit::Symbol sym = MakeCompositeSymbol(k);
        ASSERT_TRUE(sym.ok) << k.name;
        int kindReads = 0, kindFrames = 0;
        for (double px : {2.0, 3.0, 4.0})
            for (double base : {0.0, 90.0, 180.0, 270.0})
                for (const SweepLook &look : looks) {
                    int reads = 0, frames = 0;
                    std::string missed;
                    for (double turn : {-10.0, 0.0, 10.0})
                        for (uint64_t seed : {11u, 12u}) {
                            const double angle = base + turn;
                            const double c = std::abs(std::cos(angle * 3.14159265358979 / 180));
                            const double sn = std::abs(std::sin(angle * 3.14159265358979 / 180));
                            const double w = px * (sym.width + 20) * c + px * (sym.height + 20) * sn;
                            const double h = px * (sym.width + 20) * sn + px * (sym.height + 20) * c;
                            if (w > 752 || h > 480) continue;
                            const testkit::RenderOptions opt{.moduleSize = px, .angleDeg = angle,
                                                             .blurSigma = look.blur, .noiseSigma = look.noise,
                                                             .seed = seed};
                            std::string why;
                            const CompositeOutcome got = ReadComposite(mode, k, sym, opt, &why);
                            EXPECT_NE(got, CompositeOutcome::kWrong) << why;
                            ++frames;
                            if (got == CompositeOutcome::kRead) {
                                ++reads;
                            } else {
                                missed += " " + std::to_string(static_cast<int>(angle)) + "/" + std::to_string(seed);
                            }
                        }
                    if (frames == 0) continue;
                    std::printf("%-26s %4g %6g %-17s %2d/%-2d%s%s\n", k.name, px, base, look.name, reads, frames,
                                missed.empty() ? "" : "  missed (angle/seed):", missed.c_str());
                    if (px >= 3.0 || !IsNamedWeakRow(k.name, base, look.name)) {
                        EXPECT_GE(2 * reads, frames) << k.name << " " << px << " px " << base << " deg " << look.name;
                    }
                    kindReads += reads;
                    kindFrames += frames;
                }
        EXPECT_GE(2 * kindReads, kindFrames) << k.name << ": " << kindReads << "/" << kindFrames;
        allReads += kindReads;
        allFrames += kindFrames;
    }
    std::printf("all: %d/%d\n", allReads, allFrames);
}

}  // namespace
