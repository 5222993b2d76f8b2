// QR Code under sensor noise: symbols rendered clean, optionally smoothed with [1 2 1] / 4
// in x and y as a lens does, then Gaussian noise of sigma 0-8 added. Every frame is decoded
// through the exported interface and, where it is lost, the stage that lost it is found by
// running the finder's row search beside it: rows with a 1:1:3:1:1 window through each
// finder, windows the previous row confirms, verified patterns, then the decode's own
// status (candidate, version, sampling, format and codewords). The per-stage table is
// printed; every frame that does not read is named in kExpectedMisses with its stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/test_hooks.h"
#include "qr/qr_finder.h"
#include "qr/qr_matrix.h"
#include "qr/qr_state.h"
#include "qr/qr_symbol.h"
#include "support/testkit.h"
#include "toolkit/profile.h"

namespace {

constexpr uint32_t kNoiseQrCodeId = 0x102;
constexpr double kNoisePi = 3.14159265358979323846;

struct NoiseCase {
    int version;
    double module;  // pixels
    int angle;      // degrees
    bool inverse;
    bool blur;
    int sigma;
    int placement;  // 0 centre, 1 upper left, 2 lower right
    uint32_t Seed() const {
        return static_cast<uint32_t>(((((version * 8 + static_cast<int>(module)) * 360 + angle) * 2 + inverse) * 2 + blur) *
                                         10 +
                                     sigma) *
                   4 +
               static_cast<uint32_t>(placement);
    }
};

std::string Describe(const NoiseCase &c) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "version %d module %.0f angle %d %s %s sigma %d placement %d seed %u", c.version,
                  c.module, c.angle, c.inverse ? "light-on-dark" : "dark-on-light", c.blur ? "blurred" : "sharp",
                  c.sigma, c.placement, c.Seed());
    return buf;
}

// Where a frame is lost, in pipeline order.
enum Stage : int {
    kWindow,     // no scanned row shows a 1:1:3:1:1 window through some finder
    kRowPair,    // windows, but the previous row never confirms one for some finder
    kVerified,   // confirmed, but some finder is never verified
    kCandidate,  // three verified patterns, no symbol candidate
    kVersion,    // candidate, version not read
    kSampling,   // version, no grid or matrix
    kCodewords,  // matrix sampled; no format and mask gives corrected codewords
    kRead,
    kStageCount
};
const char *const kStageIds[kStageCount] = {"kWindow",  "kRowPair", "kVerified",  "kCandidate",
                                            "kVersion", "kSampling", "kCodewords", "kRead"};
const char *const kStageNames[kStageCount] = {"finder window", "previous-row match", "verified pattern",
                                              "symbol candidate", "version read", "sampling",
                                              "format and codewords", "read"};

// Expected misses, each with the stage that loses it (in a file of their own). Any other
// miss fails, and so does a listed frame that reads (the list is then updated). Where
// found, over the whole sweep (31 of 5,760 frames):
// - format and codewords (23): the matrix is sampled but no format and mask gives
//   corrected blocks.
//   - 15 light on dark at 3 px, versions 9 and 10: with a pair module size under 3 pixels
//     each alignment centre is refined to the darkest 3 x 3 neighbourhood, which for this
//     polarity lies in the pattern's dark ring, about a module from the centre (kept as
//     designed), and the grid laid between those centres misses by that much;
//   - 8 with the symbol size measured one version short (version 5 at 3 px turned 40
//     degrees, version 6 at 4 px turned 10 degrees blurred, with or without noise): the
//     alignment pattern is found, but four modules from where the smaller version has it;
// - verified pattern (5): at 3 px, one finder's sixteen rays disagree (a ring of three
//   samples, smoothed by the lens and then noisy, leaves no clear dip);
// - version read (2): at 3 px light on dark, sigma 7 (version 3 turned 25 degrees: the size
//   rays of the finder pair find no second main edge at any ratio; version 9 frontal
//   blurred: neither version block reads);
// - previous-row match (1): version 3 at 6 px turned 40 degrees, sigma 8: for one finder
//   no window is ever confirmed by the row above.
struct ExpectedMiss {
    int version, module, angle, inverse, blur, sigma, placement;
    Stage stage;
};
constexpr ExpectedMiss kExpectedMisses[] = {
#include "qr_noise_expected_misses.inc"
};

const ExpectedMiss *FindExpected(const NoiseCase &c) {
    for (const ExpectedMiss &m : kExpectedMisses) {
        if (m.version == c.version && m.module == static_cast<int>(c.module) && m.angle == c.angle &&
            m.inverse == (c.inverse ? 1 : 0) && m.blur == (c.blur ? 1 : 0) && m.sigma == c.sigma &&
            m.placement == c.placement) {
            return &m;
        }
    }
    return nullptr;
}

std::string NoisePayload(uint32_t seed, int length) {
    std::mt19937 rng(seed);
    std::string s;
    for (int i = 0; i < length; ++i) s.push_back(static_cast<char>('0' + rng() % 43));
    return s;
}

testkit::Symbol MakeQr(const std::string &data, int version) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_QRCODE;
    in.data = data;
    in.inputMode = DATA_MODE;
    in.option1 = 2;  // level M
    in.option2 = version;
    return testkit::Encode(in);
}

// [1 2 1] / 4 along x, then along y (edges replicated).
void Smooth(testkit::Frame *f) {
    const int w = f->width, h = f->height;
    std::vector<int> tmp(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int l = f->At(std::max(x - 1, 0), y), r = f->At(std::min(x + 1, w - 1), y);
            tmp[static_cast<size_t>(y) * w + x] = l + 2 * f->At(x, y) + r;
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int u = tmp[static_cast<size_t>(std::max(y - 1, 0)) * w + x];
            const int d = tmp[static_cast<size_t>(std::min(y + 1, h - 1)) * w + x];
            f->At(x, y) = static_cast<uint8_t>((u + 2 * tmp[static_cast<size_t>(y) * w + x] + d + 8) / 16);
        }
    }
}

void AddNoise(testkit::Frame *f, double sigma, uint32_t seed) {
    if (sigma <= 0) return;
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0, sigma);
    for (uint8_t &p : f->pixels) p = static_cast<uint8_t>(std::clamp(std::lround(p + n(rng)), 0L, 255L));
}

struct Made {
    testkit::Frame frame;
    std::string data;
    std::array<testkit::Point, 3> finders;  // image centres: top-left, top-right, bottom-left
    bool ok = false;
};

Made MakeFrame(const NoiseCase &c) {
    Made m;
    m.data = NoisePayload(c.Seed(), 6 + 4 * c.version);
    const testkit::Symbol s = MakeQr(m.data, c.version);
    if (!s.ok) return m;
    testkit::RenderOptions o;
    o.width = 640;
    o.height = 480;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.invert = c.inverse;
    o.seed = c.Seed();
    const double side = (s.rows + 8) * c.module * (std::abs(std::cos(c.angle * kNoisePi / 180)) + std::abs(std::sin(c.angle * kNoisePi / 180)));
    const double room = std::max(0.0, (480 - side) / 2 - 2);
    const double shift = c.placement == 0 ? 0 : (c.placement == 1 ? -room : room);
    o.center = testkit::Point{320 + shift, 240 + shift};
    const testkit::Rendered r = testkit::Render(s, o);
    m.frame = r.frame;
    if (c.blur) Smooth(&m.frame);
    AddNoise(&m.frame, c.sigma, c.Seed() * 7 + 1);
    const int d = s.rows;
    m.finders = {r.transform.ToImage({3.5, 3.5}), r.transform.ToImage({d - 3.5, 3.5}),
                 r.transform.ToImage({3.5, d - 3.5})};
    m.ok = true;
    return m;
}

// The finder's row search over the whole frame beside the decode: for each finder, whether
// some row showed a window through it, whether a window was confirmed, whether a pattern
// was verified at it. Answers the first finder stage that fails, or kCandidate.
Stage FinderStage(const Made &m, const NoiseCase &c) {
    testkit::Frame f = m.frame;
    vexo::g_image.data = f.pixels.data();
    vexo::g_image.width = f.width;
    vexo::g_image.height = f.height;
    vexo::g_image.widthCopy = f.width;
    vexo::Pix_InstallFrame(f.pixels.data(), f.width, f.height);
    const uint32_t savedFlags = vexo::g_params.flagsWord[vexo::kSymQr];
    vexo::g_params.flagsWord[vexo::kSymQr] =
        vexo::kFlagEnabled | 1u | (c.inverse ? vexo::kFlag2DLightOnDark : vexo::kFlag2DDarkOnLight);
    vexo::QR_FinderResetStore();
    static vexo::EDGE_ITEM edges[2][vexo::kQrMaxRowEdges];
    vexo::EDGE_LINE lines[2]{};
    for (int k = 0; k < 2; ++k) {
        lines[k].sampleCount = f.width;
        lines[k].edges = edges[k];
        lines[k].capacity = vexo::kQrMaxRowEdges;
        lines[k].direction = 1;
        lines[k].ratio = 102;
        lines[k].minStep = 6;
    }
    const double reach = 2.5 * c.module;
    bool window[3] = {false, false, false}, paired[3] = {false, false, false};
    vexo::EDGE_LINE empty{};
    const vexo::EDGE_LINE *previous = &empty;
    int k = 0;
    for (int y = 0; y < f.height; y += 4, k ^= 1) {
        vexo::EDGE_LINE *cur = &lines[k];
        cur->samples = f.pixels.data() + static_cast<size_t>(y) * f.width;
        cur->linePosition16 = y * 16;
        cur->linePosition = y;
        vexo::Prof_RowEdges(cur);
        uint16_t pos[vexo::kQrMaxRowEdges];
        int firstRising = 0;
        const int n = vexo::QR_CollectAlternatingEdges(cur->edges, cur->edgeCount, pos, &firstRising);
        for (int i = 0; i + 6 <= n; ++i) {
            const int falling = ((i % 2 == 0) == (firstRising == 0)) ? 1 : 0;
            if ((falling != 0) == c.inverse) continue;
            if (vexo::QR_RatioTest(pos + i) == 0) continue;
            const double cx = (pos[i] + pos[i + 5]) / 32.0;
            uint16_t matches[6];
            int32_t distances[6];
            vexo::QR_MatchPreviousRow(pos + i, falling, previous->edges, previous->edgeCount, matches, distances);
            const bool pair = previous != &empty && vexo::QR_CheckRowPair(pos + i, matches) != 0;
            for (int j = 0; j < 3; ++j) {
                if (std::hypot(cx - m.finders[static_cast<size_t>(j)].x + 0.5, y - m.finders[static_cast<size_t>(j)].y + 0.5) > reach) continue;
                window[j] = true;
                paired[j] = paired[j] || pair;
            }
        }
        vexo::QR_FinderProcessRow(previous, cur);
        previous = cur;
    }
    vexo::QR_VerifyQueuedHits(vexo::kQrVerifyAllRows);
    bool verified[3] = {false, false, false};
    for (int p = 0; p < vexo::g_qrFinder.patternCount; ++p) {
        const vexo::QR_FINDER_PATTERN &pt = vexo::g_qrFinder.patterns[p];
        for (int j = 0; j < 3; ++j) {
            const double dx = pt.centreX / 16.0 - m.finders[static_cast<size_t>(j)].x + 0.5;
            const double dy = pt.centreY / 16.0 - m.finders[static_cast<size_t>(j)].y + 0.5;
            if (std::hypot(dx, dy) <= reach) verified[j] = true;
        }
    }
    vexo::g_params.flagsWord[vexo::kSymQr] = savedFlags;
    for (int j = 0; j < 3; ++j) {
        if (!window[j]) return kWindow;
    }
    for (int j = 0; j < 3; ++j) {
        if (!paired[j]) return kRowPair;
    }
    for (int j = 0; j < 3; ++j) {
        if (!verified[j]) return kVerified;
    }
    return kCandidate;
}

// The decode's furthest stage: a candidate whose matrix was sampled and failed counts in
// firstFailureCount; otherwise the last candidate's status tells (it is reset for each).
Stage DecodeStage(int status) {
    if (vexo::g_qrResult.firstFailureCount > 0) return kCodewords;
    // The version is cleared when a candidate's geometry is set up and stays 0 when it
    // cannot be read (that failure leaves no status).
    if (status == vexo::kQrStatusStart && vexo::g_qrSymbol.dimension == 0 && vexo::g_qrSymbol.version <= 0 &&
        vexo::g_qrGeomWork.finder[1].size > 0) {
        return kVersion;
    }
    if (status <= vexo::kQrStatusFewFinders) return kCandidate;
    if (status == vexo::kQrStatusNoVersion) return kVersion;
    if (status >= vexo::kQrStatusMatrix) return kSampling;
    return kCodewords;
}

class QrNoiseTest : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        testkit::InitDecoder();
        // Both polarities searched.
        EXPECT_EQ(testkit::LinkedDecoder().set(0x20205, 0x1001A), 1);
    }
};

struct Tally {
    // counts[blur][sigma][stage]
    std::map<std::pair<int, int>, std::array<int, kStageCount>> counts;
    void Add(const NoiseCase &c, Stage s) {
        auto &row = counts[{c.blur ? 1 : 0, c.sigma}];
        ++row[static_cast<size_t>(s)];
    }
    void Print() const {
        std::printf("%-8s %-5s", "blur", "sigma");
        for (int s = 0; s < kStageCount; ++s) std::printf(" | %s", kStageNames[s]);
        std::printf("\n");
        for (const auto &[key, row] : counts) {
            std::printf("%-8s %-5d", key.first ? "[121]" : "none", key.second);
            for (int s = 0; s < kStageCount; ++s) std::printf(" | %d", row[static_cast<size_t>(s)]);
            std::printf("\n");
        }
    }
};

// Decodes every case: a read must be exact; a miss must be listed with the stage found.
void RunCases(const std::vector<NoiseCase> &cases) {
    Tally tally;
    std::string unexpected;
    for (const NoiseCase &c : cases) {
        const Made m = MakeFrame(c);
        ASSERT_TRUE(m.ok) << Describe(c);
        const testkit::DecodeResult d = testkit::DecodeFrame(m.frame);
        Stage stage = kRead;
        if (d.decoded) {
            EXPECT_TRUE(testkit::ReadAs(d, m.data, kNoiseQrCodeId, "]Q1")) << Describe(c);
        } else {
            const int status = vexo::g_qrResult.bestStatus;
            stage = FinderStage(m, c);
            if (stage == kCandidate) stage = DecodeStage(status);
        }
        tally.Add(c, stage);
        const ExpectedMiss *e = FindExpected(c);
        if (stage == kRead && e != nullptr) unexpected += "  reads now: " + Describe(c) + "\n";
        if (stage != kRead && (e == nullptr || e->stage != stage)) {
            char entry[120];
            std::snprintf(entry, sizeof entry, "    {%d, %d, %d, %d, %d, %d, %d, %s},", c.version,
                          static_cast<int>(c.module), c.angle, c.inverse ? 1 : 0, c.blur ? 1 : 0, c.sigma, c.placement,
                          kStageIds[stage]);
            unexpected += std::string(entry) + "  // lost at " + kStageNames[stage] + "\n";
        }
    }
    tally.Print();
    EXPECT_TRUE(unexpected.empty()) << unexpected;
}

std::vector<NoiseCase> FullSweep() {
    std::vector<NoiseCase> cases;
    for (int version = 1; version <= 10; ++version) {
        for (int module = 3; module <= 6; ++module) {
            for (const int angle : {0, 10, 25, 40}) {
                for (const bool inverse : {false, true}) {
                    for (const bool blur : {false, true}) {
                        for (int sigma = 0; sigma <= 8; ++sigma) {
                            cases.push_back({version, static_cast<double>(module), angle, inverse, blur, sigma, 0});
                        }
                    }
                }
            }
        }
    }
    return cases;
}

// The frames of the comparison: version 3, 4 px modules, four angles, three placements.
TEST_F(QrNoiseTest, Version3AtFourPixels) {
    std::vector<NoiseCase> cases;
    for (const bool blur : {false, true}) {
        for (const int sigma : {0, 2, 4, 6}) {
            for (const int angle : {0, 10, 25, 40}) {
                for (int placement = 0; placement < 3; ++placement) {
                    cases.push_back({3, 4, angle, false, blur, sigma, placement});
                }
            }
        }
    }
    RunCases(cases);
}

// A fixed-seed sample of the whole sweep.
TEST_F(QrNoiseTest, SweepSample) {
    const std::vector<NoiseCase> all = FullSweep();
    std::mt19937 rng(20261210);
    std::vector<NoiseCase> sample;
    for (int k = 0; k < 200; ++k) sample.push_back(all[rng() % all.size()]);
    RunCases(sample);
}

class QrNoiseSlowTest : public QrNoiseTest {};

TEST_F(QrNoiseSlowTest, WholeSweep) { RunCases(FullSweep()); }

}  // namespace
