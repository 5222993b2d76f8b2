// Module matrices and profile thresholds: binarisers against plain per-module references,
// quarter turns, row flips, contrast, and the threshold estimators.
#include <algorithm>
#include <bit>
#include <cstring>
#include <random>
#include <vector>

#include "core/pixel.h"
#include "decoder_test.h"
#include "toolkit/matrix.h"

namespace {

using vexo::MODULE_BITS;
using vexo_test::DecoderTest;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kUntouched = 0xA7;

MODULE_BITS RecordOf(const Bytes &grey, Bytes &bits, int columns, int rows, int invert = 0, int fix = 0,
                     int margin = 0) {
    bits.assign(grey.size() + 8, kUntouched);
    return MODULE_BITS{grey.data(), bits.data(), columns, rows, invert, fix, margin};
}

Bytes Prefix(const Bytes &bits, size_t n) { return Bytes(bits.begin(), bits.begin() + n); }

bool TailUntouched(const Bytes &bits, size_t from) {
    return std::all_of(bits.begin() + from, bits.end(), [](uint8_t b) { return b == kUntouched; });
}

// ---------------------------------------------------------------------------------------
// Block binarisation.

// Per module: the block holding it, its window widened by two and clipped, then the
// isolated-module correction.
Bytes RefBinarise(const Bytes &g, int cols, int rows, int invert, int fix, int margin) {
    Bytes out(g.size());
    auto at = [&](int r, int c) { return static_cast<int>(g[r * cols + c]); };
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const int br = r / 3 * 3, bc = c / 3 * 3;
            int mx = 0, mn = 255;
            for (int i = std::max(0, br - 2); i <= std::min(rows - 1, br + 4); ++i) {
                for (int j = std::max(0, bc - 2); j <= std::min(cols - 1, bc + 4); ++j) {
                    mx = std::max(mx, at(i, j));
                    mn = std::min(mn, at(i, j));
                }
            }
            const int t = mx - mn > 15 ? (mx + mn) / 2 : (mn < 200 ? 254 : 1);
            out[r * cols + c] = static_cast<uint8_t>((t < at(r, c)) != (invert != 0));
        }
    }
    if (!fix) return out;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const long long s = at(r, c);
            const long long hi = s < 255LL - margin ? s + margin : 255;
            const long long lo = s > margin ? s - margin : 0;
            bool hl = false, hd = false, vl = false, vd = false;
            if (c >= 1 && c + 1 < cols) {
                hl = at(r, c - 1) < lo && at(r, c + 1) < lo;
                hd = at(r, c - 1) > hi && at(r, c + 1) > hi;
            }
            if (r >= 1 && r + 1 < rows) {
                vl = at(r - 1, c) < lo && at(r + 1, c) < lo;
                vd = at(r - 1, c) > hi && at(r + 1, c) > hi;
            }
            const bool h = hl || hd, v = vl || vd;
            bool light = false, dark = false;
            if (h && v) {
                light = hl && vl;
                dark = hd && vd;
            } else {
                light = hl || vl;
                dark = hd || vd;
            }
            uint8_t &b = out[r * cols + c];
            if (light) b = static_cast<uint8_t>(invert == 0);
            if (dark) b = static_cast<uint8_t>(invert != 0);
        }
    }
    return out;
}

struct BinariseCase {
    const char *what;
    int columns, rows, invert, fix, margin;
    Bytes grey;
    Bytes expect;
};

TEST_F(DecoderTest, BlockBinarisationExamples) {
    const BinariseCase cases[] = {
        {"flat dark window", 3, 3, 0, 0, 0, Bytes(9, 120), Bytes(9, 0)},
        {"flat bright window", 3, 3, 0, 0, 0, Bytes(9, 230), Bytes(9, 1)},
        {"flat dark inverted", 3, 3, 5, 0, 0, Bytes(9, 120), Bytes(9, 1)},
        {"flat bright at 255 is still light", 2, 1, 0, 0, 0, {255, 255}, {1, 1}},
        {"flat dark window up to 205", 2, 1, 0, 0, 0, {190, 205}, {0, 0}},
        {"midrange 127", 3, 2, 0, 0, 0, {0, 255, 127, 128, 0, 0}, {0, 1, 0, 1, 0, 0}},
        {"next block, own window", 4, 1, 0, 0, 0, {0, 255, 127, 128}, {0, 1, 0, 0}},
        {"range of 15 is flat", 2, 1, 0, 0, 0, {185, 200}, {0, 0}},
        {"range of 16 is not", 2, 1, 0, 0, 0, {184, 200}, {0, 1}},
        {"lighter than its row neighbours", 4, 1, 0, 1, 10, {40, 100, 40, 250}, {0, 1, 0, 1}},
        {"darker than its row neighbours", 4, 1, 0, 1, 10, {250, 200, 250, 40}, {1, 0, 1, 0}},
        {"lighter down a column", 1, 4, 0, 1, 10, {40, 100, 40, 250}, {0, 1, 0, 1}},
        {"margin keeps a near neighbour", 4, 1, 0, 1, 61, {40, 100, 40, 250}, {0, 0, 0, 1}},
        {"lighter both ways", 3, 3, 0, 1, 10, {40, 40, 40, 40, 100, 40, 40, 40, 250}, {0, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"lighter one way, darker the other",
         3,
         3,
         0,
         1,
         10,
         {250, 250, 250, 40, 100, 40, 250, 250, 250},
         {1, 1, 1, 0, 0, 0, 1, 1, 1}},
        {"inverted correction", 4, 1, 1, 1, 10, {40, 100, 40, 250}, {1, 0, 1, 0}},
    };
    for (const BinariseCase &c : cases) {
        Bytes bits;
        MODULE_BITS m = RecordOf(c.grey, bits, c.columns, c.rows, c.invert, c.fix, c.margin);
        EXPECT_EQ(vexo::Geo_BinariseModules(&m), 1) << c.what;
        EXPECT_EQ(Prefix(bits, c.grey.size()), c.expect) << c.what;
        EXPECT_TRUE(TailUntouched(bits, c.grey.size())) << c.what;
        EXPECT_EQ(m.invert, c.invert != 0 ? 1 : 0) << c.what;
    }
}

TEST_F(DecoderTest, BlockBinarisationMatchesPerModuleReference) {
    const uint32_t seed = 6113;
    std::mt19937 rng(seed);
    for (int iter = 0; iter < 400; ++iter) {
        const int cols = 1 + static_cast<int>(rng() % 30), rows = 1 + static_cast<int>(rng() % 30);
        Bytes grey(static_cast<size_t>(cols * rows));
        const int lo = static_cast<int>(rng() % 256), span = static_cast<int>(rng() % 256);
        for (uint8_t &g : grey) g = static_cast<uint8_t>(std::min(255, lo + static_cast<int>(rng() % (span + 1))));
        const int invert = static_cast<int>(rng() % 3), fix = static_cast<int>(rng() % 2);
        const int margin = static_cast<int>(rng() % 80) - 10;
        Bytes bits;
        MODULE_BITS m = RecordOf(grey, bits, cols, rows, invert, fix, margin);
        ASSERT_EQ(vexo::Geo_BinariseModules(&m), 1);
        ASSERT_EQ(Prefix(bits, grey.size()), RefBinarise(grey, cols, rows, invert, fix, margin))
            << "seed " << seed << " iteration " << iter;
        ASSERT_TRUE(TailUntouched(bits, grey.size())) << iter;
    }
}

TEST_F(DecoderTest, BinarisersRefuseMissingBuffersAndSmallSizes) {
    const Bytes grey(16, 100);
    struct Case {
        int columns, rows;
        bool nullGrey, nullBits;
        int blockResult;  // the local binariser needs 3 x 3
        bool localWrites;
    };
    const Case cases[] = {
        {4, 4, false, false, 1, true},   {0, 4, false, false, 0, false}, {4, 0, false, false, 0, false},
        {-4, 4, false, false, 0, false}, {4, 4, true, false, 0, false},  {4, 4, false, true, 0, false},
        {2, 4, false, false, 1, false},  {4, 2, false, false, 1, false}, {3, 3, false, false, 1, true},
    };
    for (const Case &c : cases) {
        Bytes bits(32, kUntouched);
        MODULE_BITS m{
            c.nullGrey ? nullptr : grey.data(), c.nullBits ? nullptr : bits.data(), c.columns, c.rows, 0, 1, 5};
        EXPECT_EQ(vexo::Geo_BinariseModules(&m), c.blockResult) << c.columns << "x" << c.rows;
        const size_t n = c.blockResult ? static_cast<size_t>(c.columns * c.rows) : 0;
        EXPECT_TRUE(TailUntouched(bits, n)) << c.columns << "x" << c.rows;
        bits.assign(32, kUntouched);
        vexo::Geo_BinariseModulesLocal(&m);
        EXPECT_EQ(TailUntouched(bits, 0), !c.localWrites) << c.columns << "x" << c.rows;
        if (c.localWrites) {
            EXPECT_TRUE(TailUntouched(bits, static_cast<size_t>(c.columns * c.rows)));
        }
    }
    EXPECT_EQ(vexo::Geo_BinariseModules(nullptr), 0);
    vexo::Geo_BinariseModulesLocal(nullptr);
}

// ---------------------------------------------------------------------------------------
// Local binarisation.

int RefRoot(int value) {
    const int32_t b = std::bit_cast<int32_t>(static_cast<float>(value));
    return static_cast<int>(std::bit_cast<float>(((b - 0x3F800000) >> 1) + 0x3F800000));
}

Bytes RefLocal(const Bytes &g, int cols, int rows, int invert) {
    Bytes out(g.size());
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            int top, left;
            if (r == 0 || r == rows - 1) {
                top = r == 0 ? 0 : rows - 3;
                left = std::min(c, cols - 3);
            } else {
                top = r - 1;
                left = std::clamp(c - 1, 0, cols - 3);
            }
            int w = 0, q = 0;
            for (int i = top; i < top + 3; ++i) {
                for (int j = left; j < left + 3; ++j) {
                    w += g[i * cols + j];
                    q += g[i * cols + j] * g[i * cols + j];
                }
            }
            const bool light = 100 * w - 8 * RefRoot(9 * q - w * w) < 898 * g[r * cols + c];
            out[r * cols + c] = static_cast<uint8_t>(light != (invert != 0));
        }
    }
    return out;
}

TEST_F(DecoderTest, LocalBinarisationExamples) {
    Bytes bits;
    Bytes grey(9, 100);
    MODULE_BITS m = RecordOf(grey, bits, 3, 3);
    vexo::Geo_BinariseModulesLocal(&m);
    EXPECT_EQ(Prefix(bits, 9), Bytes(9, 0));

    grey[4] = 101;  // W = 901, R = 3: 90076 < 898 * 101
    m = RecordOf(grey, bits, 3, 3);
    vexo::Geo_BinariseModulesLocal(&m);
    EXPECT_EQ(Prefix(bits, 9), Bytes({0, 0, 0, 0, 1, 0, 0, 0, 0}));
    m = RecordOf(grey, bits, 3, 3, 7);
    vexo::Geo_BinariseModulesLocal(&m);
    EXPECT_EQ(Prefix(bits, 9), Bytes({1, 1, 1, 1, 0, 1, 1, 1, 1}));

    // W = 810, R = 233 (a true root gives 232): the threshold lies between 88 and 89.
    EXPECT_EQ(RefRoot(54000), 233);
    grey = {50, 60, 70, 80, 90, 100, 110, 120, 130};
    m = RecordOf(grey, bits, 3, 3);
    vexo::Geo_BinariseModulesLocal(&m);
    EXPECT_EQ(Prefix(bits, 9), Bytes({0, 0, 0, 0, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(TailUntouched(bits, 9));
}

TEST_F(DecoderTest, LocalBinarisationMatchesPerModuleReference) {
    const uint32_t seed = 6114;
    std::mt19937 rng(seed);
    for (int iter = 0; iter < 400; ++iter) {
        const int cols = 3 + static_cast<int>(rng() % 25), rows = 3 + static_cast<int>(rng() % 25);
        Bytes grey(static_cast<size_t>(cols * rows));
        const int base = static_cast<int>(rng() % 200), span = 1 + static_cast<int>(rng() % 60);
        for (uint8_t &g : grey) g = static_cast<uint8_t>(std::min(255, base + static_cast<int>(rng() % span)));
        const int invert = static_cast<int>(rng() % 2);
        Bytes bits;
        MODULE_BITS m = RecordOf(grey, bits, cols, rows, invert);
        vexo::Geo_BinariseModulesLocal(&m);
        ASSERT_EQ(Prefix(bits, grey.size()), RefLocal(grey, cols, rows, invert)) << "seed " << seed << " " << iter;
        ASSERT_TRUE(TailUntouched(bits, grey.size())) << iter;
    }
}

// ---------------------------------------------------------------------------------------
// Quarter turns, flips, contrast.

TEST_F(DecoderTest, RotationReducesTheAngleToQuarterTurns) {
    const Bytes m = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    struct Case {
        int angle;
        Bytes expect;
    };
    const Bytes quarter = {7, 4, 1, 8, 5, 2, 9, 6, 3};
    const Bytes half = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    const Bytes threeQuarters = {3, 6, 9, 2, 5, 8, 1, 4, 7};
    const Case cases[] = {{90, quarter},
                          {-270, quarter},
                          {179, quarter},
                          {0, m},
                          {89, m},
                          {360, m},
                          {-1, threeQuarters},
                          {180, half},
                          {-180, half},
                          {270, threeQuarters},
                          {-90, threeQuarters},
                          {INT32_MIN, half},
                          {INT32_MAX, quarter}};
    for (const Case &c : cases) {
        Bytes matrix = m;
        Bytes scratch(9 + 8, kUntouched);
        vexo::Geo_RotateMatrix90(matrix.data(), scratch.data(), 3, c.angle);
        EXPECT_EQ(matrix, c.expect) << c.angle;
        EXPECT_TRUE(TailUntouched(scratch, 9)) << c.angle;
    }
    Bytes matrix = m, scratch(9);
    vexo::Geo_RotateMatrix90(matrix.data(), scratch.data(), 0, 90);
    vexo::Geo_RotateMatrix90(matrix.data(), nullptr, 3, 90);
    EXPECT_EQ(matrix, m);

    std::mt19937 rng(6115);
    for (int n = 1; n <= 40; ++n) {
        Bytes a(static_cast<size_t>(n * n));
        for (uint8_t &v : a) v = static_cast<uint8_t>(rng());
        Bytes b = a, s(a.size());
        for (int k = 0; k < 4; ++k) vexo::Geo_RotateMatrix90(b.data(), s.data(), n, 90);
        EXPECT_EQ(b, a) << n;
        vexo::Geo_RotateMatrix90(b.data(), s.data(), n, 90);
        vexo::Geo_RotateMatrix90(b.data(), s.data(), n, 270);
        EXPECT_EQ(b, a) << n;
        vexo::Geo_RotateMatrix90(b.data(), s.data(), n, 90);
        vexo::Geo_RotateMatrix90(b.data(), s.data(), n, 90);
        vexo::Geo_RotateMatrix90(a.data(), s.data(), n, 180);
        EXPECT_EQ(b, a) << n;
    }
}

TEST_F(DecoderTest, FlipReversesRowsUpToItsLimit) {
    for (int n : {1, 2, 3, 8, 183, 184, 185, 400, 0, -3}) {
        const size_t cells = n > 0 ? static_cast<size_t>(n) * n : 4;
        Bytes m(cells);
        for (size_t k = 0; k < cells; ++k) m[k] = static_cast<uint8_t>(k * 7 + k / 13);
        Bytes flipped = m;
        vexo::Geo_FlipMatrixRows(flipped.data(), n);
        if (n <= 0 || n > 184) {
            EXPECT_EQ(flipped, m) << n;
            continue;
        }
        for (int r = 0; r < n; ++r) {
            ASSERT_TRUE(std::equal(flipped.begin() + r * n, flipped.begin() + (r + 1) * n, m.begin() + (n - 1 - r) * n))
                << n << " row " << r;
        }
    }
    vexo::Geo_FlipMatrixRows(nullptr, 10);
}

TEST_F(DecoderTest, MatrixContrastFromRowsZeroAndSeven) {
    // Row 0 spans 50..250 (80 %), row 7 100..200 (50 %), every other value 128.
    auto matrix = [](int n) {
        Bytes m(static_cast<size_t>(std::max(n, 1)) * std::max(n, 1), 128);
        m[0] = 50;
        m[n - 1] = 250;
        if (n > 7) {
            m[7 * n + 1] = 200;
            m[7 * n + 2] = 100;
        }
        return m;
    };
    struct Case {
        int n;
        int expect;
    };
    for (const Case &c : {Case{8, 60}, Case{9, 60}, Case{7, 0}, Case{1, 0}, Case{0, 0}, Case{-8, 0}}) {
        const Bytes m = matrix(std::max(c.n, 2));
        EXPECT_EQ(vexo::Prof_MatrixContrast(m.data(), c.n), c.expect) << c.n;
    }
    Bytes m = matrix(8);
    std::fill(m.begin(), m.begin() + 8, 0);  // a black row 0
    EXPECT_EQ(vexo::Prof_MatrixContrast(m.data(), 8), 0);
    m = matrix(8);
    std::fill(m.begin() + 56, m.begin() + 64, 0);  // a black row 7
    EXPECT_EQ(vexo::Prof_MatrixContrast(m.data(), 8), 0);
    EXPECT_EQ(vexo::Prof_MatrixContrast(Bytes(64, 128).data(), 8), 0);
    EXPECT_EQ(vexo::Prof_MatrixContrast(nullptr, 10), 0);
}

TEST_F(DecoderTest, RelativeDropIn1024ths) {
    struct Case {
        int32_t a, b, expect;
    };
    const Case cases[] = {{200, 100, 512},     {100, 200, 0}, {0, -5, 0},       {100, 100, 0},
                          {255, 0, 1024},      {3, 2, 341},   {-5, -10, -1024}, {1, INT32_MIN, INT32_MAX},
                          {INT32_MAX, 0, 1024}};
    for (const Case &c : cases) EXPECT_EQ(vexo::Geo_RelativeDrop1024(c.a, c.b), c.expect) << c.a << " " << c.b;
}

// ---------------------------------------------------------------------------------------
// Threshold estimators.

TEST_F(DecoderTest, FallThresholdsFromTheFallsOfAProfile) {
    struct Case {
        const char *what;
        Bytes profile;
        int minFall, ratio;
        int expect, expectStep;
    };
    const Case cases[] = {
        {"one fall", {200, 100, 100}, 6, 102, 256, 50},
        {"rising", {10, 20, 30, 40}, 6, 102, 102, 6},
        {"empty", {}, 6, 102, 102, 6},
        {"one sample", {200}, 6, 102, 102, 6},
        {"small falls", {100, 90, 100, 90}, 6, 102, 102, 7},
        {"drop must exceed minFall", {100, 94}, 6, 0, 102, 6},
        {"relative test", {250, 230}, 6, 102, 102, 6},
        {"two falls averaged", {200, 100, 250, 50}, 6, 102, (512 + 819) / 2 / 2, 150 / 2},
        {"fall runs to the end", {250, 200, 150, 100, 50, 0}, 6, 102, 512, 125},
        // No fall starts at 0: the scan jumps by two and misses the fall at 1.
        {"steps by two", {10, 200, 100, 100}, 6, 102, 102, 6},
    };
    for (const Case &c : cases) {
        int step = -1;
        EXPECT_EQ(vexo::Prof_EstimateFallThresholds(c.profile.data(), static_cast<int>(c.profile.size()), c.minFall,
                                                    c.ratio, &step),
                  c.expect)
            << c.what;
        EXPECT_EQ(step, c.expectStep) << c.what;
    }
    // Only the first 200 falls are measured.
    Bytes profile;
    for (int k = 0; k < 200; ++k) profile.insert(profile.end(), {200, 100});
    for (int k = 0; k < 50; ++k) profile.insert(profile.end(), {250, 0});
    int step = 0;
    EXPECT_EQ(vexo::Prof_EstimateFallThresholds(profile.data(), static_cast<int>(profile.size()), 6, 102, &step), 256);
    EXPECT_EQ(step, 50);
    EXPECT_EQ(vexo::Prof_EstimateFallThresholds(nullptr, 10, 6, 102, nullptr), 102);
}

TEST_F(DecoderTest, QuadThresholdsAverageThreeLinesAcross) {
    // Bars of 10 pixels, 200 and 50, across the whole image.
    const int width = 100, height = 60;
    Bytes image(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image[static_cast<size_t>(y * width + x)] = (x / 10) % 2 ? 50 : 200;
    }
    vexo::Pix_SetImagePointer(image.data());
    vexo::Pix_SetImageSize(width, height);
    struct Case {
        const char *what;
        vexo::REGION_QUAD quad;
        int result;
        uint32_t ratio, minStep;
    };
    const Case cases[] = {
        // Each line: falls of 150 from 200, relative 768: ratio 384, step 75.
        {"bars", {{{10, 10}, {90, 10}, {10, 50}, {90, 50}}}, 1, 384, 75},
        {"left side 9", {{{10, 10}, {90, 10}, {10, 19}, {90, 50}}}, 0, 102, 6},
        {"right side 9.49", {{{10, 10}, {90, 10}, {10, 50}, {93, 19}}}, 0, 102, 6},
        {"right side 9.85", {{{10, 10}, {90, 10}, {10, 50}, {94, 19}}}, 1, 384, 75},
        {"lines along a bar", {{{12, 5}, {12, 55}, {17, 5}, {17, 55}}}, 0, 102, 6},
        {"lines down a bar", {{{12, 5}, {17, 5}, {12, 55}, {17, 55}}}, 1, 102, 6},
    };
    for (const Case &c : cases) {
        uint32_t ratio = 1, minStep = 1;
        EXPECT_EQ(vexo::Prof_EstimateQuadThresholds(&c.quad, &ratio, &minStep), c.result) << c.what;
        EXPECT_EQ(ratio, c.ratio) << c.what;
        EXPECT_EQ(minStep, c.minStep) << c.what;
    }
    uint32_t ratio = 1, minStep = 1;
    EXPECT_EQ(vexo::Prof_EstimateQuadThresholds(nullptr, &ratio, &minStep), 0);
    EXPECT_EQ(ratio, 102u);
    EXPECT_EQ(minStep, 6u);
}

TEST_F(DecoderTest, SmallProfileEstimators) {
    const Bytes data = {10, 200, 30, 240, 50, 60, 70, 80, 90};
    int mn = -1, mx = -1;
    vexo::Prof_MinMax(data.data(), 9, &mn, &mx);
    EXPECT_EQ(mn, 10);
    EXPECT_EQ(mx, 240);
    vexo::Prof_MinMaxAt(data.data(), 4, 5, &mn, &mx);
    EXPECT_EQ(mn, 50);
    EXPECT_EQ(mx, 90);
    vexo::Prof_MinMax(data.data(), 0, &mn, &mx);
    EXPECT_EQ(mn, 255);
    EXPECT_EQ(mx, 0);

    EXPECT_EQ(vexo::Prof_MidrangeThreshold(data.data(), 9, &mx, &mn), 125);
    EXPECT_EQ(mx, 240);
    EXPECT_EQ(mn, 10);
    const Bytes flat = {200, 190, 176};  // 24 * 1024 < 200 * 128
    EXPECT_EQ(vexo::Prof_MidrangeThreshold(flat.data(), 3, &mx, &mn), 255);
    const Bytes eighth = {200, 175};  // exactly one eighth
    EXPECT_EQ(vexo::Prof_MidrangeThreshold(eighth.data(), 2, nullptr, nullptr), 187);
    EXPECT_EQ(vexo::Prof_MidrangeThreshold(data.data(), 0, &mx, &mn), 255);
    EXPECT_EQ(mx, 1);
    EXPECT_EQ(mn, 255);

    // Thirds of 3, 3 and 3 samples: {10,200,30}, {240,50,60}, {70,80,90}.
    // Mode 1: t=200,u=10: L = 96 - (972*66)/1024 = 34, proposes 105; t=240,u=50: proposes 145;
    // t=90,u=70: L = 96 - (227*66)/1024 = 82, proposes 80.
    EXPECT_EQ(vexo::Prof_ThresholdByThirds(data.data(), 9, 1, 1), 80);
    // Other modes: (200-40)/4 = 40, (240-40)/4 = 50, (90-40)/4 = 12.
    EXPECT_EQ(vexo::Prof_ThresholdByThirds(data.data(), 9, 0, 1), (40 + 50 + 12) / 3);
    EXPECT_EQ(vexo::Prof_ThresholdByThirds(data.data(), 3, 0, 3), (7 + 50 + 7) / 3);  // 10, 240, 70 by stride 3
    EXPECT_EQ(vexo::Prof_ThresholdByThirds(data.data(), 0, 1, 1), 255);
    EXPECT_EQ(vexo::Prof_ThresholdByThirds(data.data(), 0, 2, 1), 7);
    const Bytes dark = {20, 22, 21, 20, 23, 20};  // t - u < 5, but t < L: no proposal
    EXPECT_EQ(vexo::Prof_ThresholdByThirds(dark.data(), 6, 1, 1), 255);
    const Bytes bright = {120, 122};  // one sample thirds; 0 samples first: 120 and 122 propose 200
    EXPECT_EQ(vexo::Prof_ThresholdByThirds(bright.data(), 2, 1, 1), 200);
}

TEST_F(DecoderTest, FallingEdgeCentroidsPutTheLargestFirst) {
    // Falls: 200->100 at 0 (16*0), 250->50 over 3..5 ((3*100 + 4*100) * 16 / 200 = 56), 90->80 too small.
    const Bytes data = {200, 100, 100, 250, 150, 50, 90, 80};
    int32_t out[4 + 4];
    std::fill(std::begin(out), std::end(out), -7);
    EXPECT_EQ(vexo::Prof_FallingEdgeCentroids(data.data(), 8, out, 4, 20), 2);
    EXPECT_EQ(out[0], 56);
    EXPECT_EQ(out[1], 56);
    EXPECT_EQ(out[2], -7);
    std::fill(std::begin(out), std::end(out), -7);
    EXPECT_EQ(vexo::Prof_FallingEdgeCentroids(data.data(), 8, out, 1, 20), 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], -7);
    EXPECT_EQ(vexo::Prof_FallingEdgeCentroids(data.data(), 8, out, 0, 20), 0);
    EXPECT_EQ(out[0], 0);
    const Bytes twins = {200, 100, 200, 100};
    EXPECT_EQ(vexo::Prof_FallingEdgeCentroids(twins.data(), 4, out, 4, 1), 2);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 32);
}

}  // namespace
