// Line sampling and rasterisation: every sampler and rasteriser against the closed form of
// the rasterised segment, worked examples, and canary bytes after every output.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "decoder_test.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace {

using vexo::GEO_POINT;
using vexo::POINT_NODE;
using vexo_test::DecoderTest;
using Bytes = std::vector<uint8_t>;

// A random grey image installed as both the frame and the caller image size.
struct Image {
    Image(int w, int h, uint32_t seed) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {
        std::mt19937 rng(seed);
        for (uint8_t &p : pixels) p = static_cast<uint8_t>(rng());
        Install();
    }
    void Install() {
        vexo::Pix_SetImagePointer(pixels.data());
        vexo::Pix_SetImageSize(width, height);
    }
    bool Has(long long x, long long y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    int At(long long x, long long y) const { return pixels[static_cast<size_t>(y * width + x)]; }
    int width, height;
    Bytes pixels;
};

// Point k of the rasterised segment p-q, straight from the closed form.
GEO_POINT Closed(GEO_POINT p, GEO_POINT q, long long k) {
    const long long dx = q.x - p.x, dy = q.y - p.y;
    const long long l = std::max(std::llabs(dx), std::llabs(dy));
    if (l == 0) return p;
    const long long sx = (dx > 0) - (dx < 0), sy = (dy > 0) - (dy < 0);
    return {static_cast<int32_t>(p.x + sx * ((2 * k * std::llabs(dx) + l) / (2 * l))),
            static_cast<int32_t>(p.y + sy * ((2 * k * std::llabs(dy) + l) / (2 * l)))};
}

int Major(GEO_POINT p, GEO_POINT q) { return std::max(std::abs(q.x - p.x), std::abs(q.y - p.y)); }

// Buffers followed by canary bytes.
template <class T>
struct GuardedBuffer {
    static constexpr int kCanaries = 8;
    explicit GuardedBuffer(int capacity) : cap(std::max(capacity, 0)), v(static_cast<size_t>(cap + kCanaries)) {
        std::memset(static_cast<void *>(v.data()), 0xA5, v.size() * sizeof(T));
    }
    T *data() { return v.data(); }
    bool Intact() const {
        const auto *b = reinterpret_cast<const uint8_t *>(v.data() + cap);
        return std::all_of(b, b + kCanaries * sizeof(T), [](uint8_t x) { return x == 0xA5; });
    }
    int cap;
    std::vector<T> v;
};

// ---------------------------------------------------------------------------------------
// Property test: random segments, every whole-pixel walker against the closed form.

struct SegmentCheck {
    const Image &img;
    GEO_POINT p, q;
    long long l;
    uint32_t seed;
    int iter;

    std::string Where() const {
        return "seed " + std::to_string(seed) + " iteration " + std::to_string(iter) + " (" + std::to_string(p.x) +
               "," + std::to_string(p.y) + ")-(" + std::to_string(q.x) + "," + std::to_string(q.y) + ")";
    }
    int ImageOr(GEO_POINT pt, int dflt) const { return img.Has(pt.x, pt.y) ? img.At(pt.x, pt.y) : dflt; }

    void Rasterisers() const {
        std::vector<POINT_NODE> nodes(static_cast<size_t>(l + 3));
        for (size_t k = 0; k + 1 < nodes.size(); ++k) nodes[k].next = &nodes[k + 1];
        nodes.back().next = nullptr;
        const int32_t n = vexo::Geo_RasteriseLine(&p, &q, nodes.data(), static_cast<int32_t>(nodes.size()));
        ASSERT_EQ(n, l < 2 ? 0 : l + 1) << Where();
        for (int k = 0; k < n; ++k) {
            const GEO_POINT e = Closed(p, q, k);
            ASSERT_TRUE(nodes[k].x == e.x && nodes[k].y == e.y) << Where() << " node " << k;
        }
        std::vector<int32_t> xs(static_cast<size_t>(l + 2)), ys(xs.size());
        const int32_t m = vexo::Geo_RasteriseLineXY(&p, &q, xs.data(), ys.data(), static_cast<int32_t>(xs.size()));
        ASSERT_EQ(m, l < 2 ? 0 : l - 1) << Where();
        for (int k = 0; k < m; ++k) {
            const GEO_POINT e = Closed(p, q, k + 1);
            ASSERT_TRUE(xs[k] == e.x && ys[k] == e.y) << Where() << " xy " << k;
        }
        for (long long k = 0; k <= l; ++k) {
            vexo::SEGMENT_STEP s{p.x, p.y, q.x, q.y, static_cast<int32_t>(k), 0, 0};
            vexo::Geo_SegmentPointAt(&s);
            const GEO_POINT e = Closed(p, q, k);
            ASSERT_TRUE(s.outX == e.x && s.outY == e.y) << Where() << " point at " << k;
        }
        std::vector<GEO_POINT> offsets(static_cast<size_t>(l + 1));
        vexo::SEGMENT_OFFSETS so{p.x, p.y, q.x, q.y, offsets.data(), static_cast<int32_t>(offsets.size())};
        const int32_t o = vexo::Geo_BresenhamOffsets(&so);
        ASSERT_EQ(o, l < 2 ? 0 : l) << Where();
        for (int k = 0; k < o; ++k) {
            const GEO_POINT e = Closed(p, q, k);
            ASSERT_TRUE(offsets[k].x == e.x - p.x && offsets[k].y == e.y - p.y) << Where() << " offset " << k;
        }
    }

    void CallerImageSamplers() const {
        const int len = static_cast<int>(l + 2);
        Bytes buf(len), plain(len);
        std::vector<int32_t> xs(len), ys(len);
        const int32_t n =
            vexo::Geo_SampleLineWithCoords(img.pixels.data(), &p, &q, buf.data(), xs.data(), ys.data(), len);
        ASSERT_EQ(n, l < 2 ? 0 : l - 1) << Where();
        ASSERT_EQ(vexo::Geo_SampleLine(img.pixels.data(), &p, &q, plain.data(), len), n) << Where();
        for (int k = 0; k < n; ++k) {
            const GEO_POINT e = Closed(p, q, k + 1);
            ASSERT_TRUE(xs[k] == e.x && ys[k] == e.y) << Where() << " coords " << k;
            ASSERT_EQ(buf[k], ImageOr(e, 255)) << Where() << " sample " << k;
            ASSERT_EQ(plain[k], buf[k]) << Where() << " sample " << k;
        }
        const int32_t m = vexo::Geo_SampleLineImage(img.pixels.data(), &p, &q, buf.data(), len);
        ASSERT_EQ(m, l < 2 ? 0 : l + 1) << Where();
        int previous = 128;
        for (int k = 0; k < m; ++k) {
            previous = ImageOr(Closed(p, q, k), previous);
            ASSERT_EQ(buf[k], previous) << Where() << " image sample " << k;
        }
    }

    void SortedSampler() const {
        Bytes forward(static_cast<size_t>(img.width) + 8, 0xA5), backward = forward;
        const int32_t n = vexo::Geo_SampleLineSorted(img.pixels.data(), &p, &q, forward.data());
        const int32_t b = vexo::Geo_SampleLineSorted(img.pixels.data(), &q, &p, backward.data());
        ASSERT_EQ(n, std::min<long long>(l + 1, img.width)) << Where();
        ASSERT_EQ(b, n) << Where();
        ASSERT_EQ(forward, backward) << Where();
        const bool xMajor = std::abs(q.x - p.x) >= std::abs(q.y - p.y);
        const bool fromQ = xMajor ? q.x < p.x : q.y < p.y;
        const GEO_POINT a = fromQ ? q : p, z = fromQ ? p : q;
        int previous = 128;
        for (int k = 0; k < n; ++k) {
            previous = ImageOr(Closed(a, z, k), previous);
            ASSERT_EQ(forward[k], previous) << Where() << " sorted sample " << k;
        }
        ASSERT_TRUE(std::all_of(forward.begin() + img.width, forward.end(), [](uint8_t v) { return v == 0xA5; }));
    }

    void FrameSamplers() const {
        const bool inside = img.Has(p.x, p.y) && img.Has(q.x, q.y);
        const int len = static_cast<int>(l + 2);
        Bytes buf(len);
        const int32_t n = vexo::Geo_SampleLineBresenham(p.x, p.y, q.x, q.y, buf.data(), len);
        ASSERT_EQ(n, inside && l >= 2 ? l : 0) << Where();
        for (int k = 0; k < n; ++k) {
            const GEO_POINT e = Closed(p, q, k);
            ASSERT_EQ(buf[k], img.At(e.x, e.y)) << Where() << " frame sample " << k;
        }
        uint32_t sum = 0xDEAD, variation = 0xDEAD;
        const int32_t s = vexo::Geo_SumLine(p.x, p.y, q.x, q.y, &sum);
        const int32_t v = vexo::Geo_LineVariation(p.x, p.y, q.x, q.y, &variation);
        ASSERT_EQ(s, inside ? l : 0) << Where();
        ASSERT_EQ(v, s) << Where();
        if (s == 0) {
            ASSERT_EQ(sum, 0xDEADu) << Where();
            return;
        }
        uint32_t expectSum = 0, expectVariation = 0;
        for (long long k = 0; k < l; ++k) {
            const GEO_POINT e = Closed(p, q, k);
            expectSum += img.At(e.x, e.y);
            if (k > 0) {
                const GEO_POINT d = Closed(p, q, k - 1);
                expectVariation += std::abs(img.At(e.x, e.y) - img.At(d.x, d.y));
            }
        }
        ASSERT_EQ(sum, expectSum) << Where();
        ASSERT_EQ(variation, expectVariation) << Where();
    }
};

TEST_F(DecoderTest, SamplersAndRasterisersVisitTheClosedFormPoints) {
    const uint32_t seed = 6112;
    std::mt19937 rng(seed);
    Image img(97, 61, seed);
    for (int iter = 0; iter < 10000; ++iter) {
        // Mostly inside, some crossing the border, some short, some long.
        const int reach = iter % 10 == 0 ? 400 : 30;
        auto coord = [&](int size) {
            return std::uniform_int_distribution<int>(-reach / 3, size - 1 + reach / 3)(rng);
        };
        GEO_POINT p{coord(img.width), coord(img.height)};
        GEO_POINT q = iter % 4 == 0
                          ? GEO_POINT{p.x + static_cast<int>(rng() % 7) - 3, p.y + static_cast<int>(rng() % 7) - 3}
                          : GEO_POINT{coord(img.width), coord(img.height)};
        const SegmentCheck check{img, p, q, Major(p, q), seed, iter};
        check.Rasterisers();
        check.CallerImageSamplers();
        check.SortedSampler();
        check.FrameSamplers();
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// ---------------------------------------------------------------------------------------
// Worked examples.

TEST_F(DecoderTest, StepTowardsExamples) {
    struct Case {
        GEO_POINT p, q;
        int d;
        GEO_POINT expect;
        int length;
    };
    const Case cases[] = {
        {{10, 10}, {20, 10}, 5, {15, 10}, 10}, {{0, 0}, {3, 4}, 1, {1, 1}, 5},
        {{5, 5}, {5, 5}, 7, {5, 5}, 0},        {{20, 10}, {10, 10}, 5, {15, 10}, 10},
        {{10, 10}, {20, 10}, -5, {5, 10}, 10}, {{10, 10}, {20, 10}, 15, {25, 10}, 10},
        {{0, 0}, {3, 4}, 10, {6, 8}, 5},       {{0, 0}, {1, 1}, 1, {1, 1}, 1},
        {{0, 0}, {-3, -4}, 1, {0, 0}, 5},  // -0.2 and -0.4 truncate toward zero
        {{0, 0}, {-30, -40}, 5, {-2, -3}, 50},
    };
    for (const Case &c : cases) {
        GEO_POINT out{-99, -99};
        EXPECT_EQ(vexo::Geo_StepTowards(&c.p, &c.q, &out, c.d), c.length) << c.p.x << "," << c.p.y << " d " << c.d;
        EXPECT_TRUE(out.x == c.expect.x && out.y == c.expect.y)
            << c.p.x << "," << c.p.y << " d " << c.d << " gave " << out.x << "," << out.y;
    }
    GEO_POINT p{0, 0};
    const GEO_POINT q{30, 40};
    vexo::Geo_StepTowards(&p, &q, &p, 25);  // output over the input
    EXPECT_TRUE(p.x == 15 && p.y == 20);

    GEO_POINT out{};
    const GEO_POINT a{1, 1}, b{11, 6};
    vexo::Geo_StepTowardsChebyshev(&a, &b, &out, 3);
    EXPECT_TRUE(out.x == 4 && out.y == 2) << out.x << "," << out.y;  // 1 + 1.5 truncated
    vexo::Geo_StepTowardsChebyshev(&a, &a, &out, 3);
    EXPECT_TRUE(out.x == 1 && out.y == 1);
}

TEST_F(DecoderTest, SegmentPointAtRoundsHalfAwayFromZero) {
    struct Case {
        int x0, y0, x1, y1, k, x, y;
    };
    const Case cases[] = {{0, 0, 4, 1, 2, 2, 1}, {0, 0, -4, -1, 2, -2, -1}, {3, 3, 3, 3, 5, 3, 3},
                          {0, 0, 4, 3, 1, 1, 1}, {0, 0, 4, 1, 8, 8, 2},     {10, 0, 6, 1, 1, 9, 0},
                          {0, 0, 100, 50, -10, -10, -5}, {0, 0, 4, 1, -2, -2, -1}, {0, 0, -4, 1, -2, 2, -1}};
    for (const Case &c : cases) {
        vexo::SEGMENT_STEP s{c.x0, c.y0, c.x1, c.y1, c.k, -1, -1};
        vexo::Geo_SegmentPointAt(&s);
        EXPECT_TRUE(s.outX == c.x && s.outY == c.y) << c.x1 << "," << c.y1 << " k " << c.k;
    }
}

TEST_F(DecoderTest, LineSamplerExamples) {
    Image img(40, 30, 7);
    auto at = [&](int x, int y) { return static_cast<uint8_t>(img.At(x, y)); };
    Bytes buf(100);
    GEO_POINT p{0, 0}, q{2, 0};
    EXPECT_EQ(vexo::Geo_SampleLine(img.pixels.data(), &p, &q, buf.data(), 100), 1);
    EXPECT_EQ(buf[0], at(1, 0));
    q = {1, 1};
    EXPECT_EQ(vexo::Geo_SampleLine(img.pixels.data(), &p, &q, buf.data(), 100), 0);

    EXPECT_EQ(vexo::Geo_SampleLineBresenham(10, 10, 14, 12, buf.data(), 100), 4);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 4), Bytes({at(10, 10), at(11, 11), at(12, 11), at(13, 12)}));
    EXPECT_EQ(vexo::Geo_SampleLineBresenham(10, 10, 40, 12, buf.data(), 100), 0);  // end outside

    p = {14, 12};
    q = {10, 10};
    const Bytes sorted = {at(10, 10), at(11, 11), at(12, 11), at(13, 12), at(14, 12)};
    EXPECT_EQ(vexo::Geo_SampleLineSorted(img.pixels.data(), &p, &q, buf.data()), 5);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 5), sorted);
    EXPECT_EQ(vexo::Geo_SampleLineSorted(img.pixels.data(), &q, &p, buf.data()), 5);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 5), sorted);
    // Walking from (14, 12) the other samplers pass (13, 11) and (11, 10).
    EXPECT_EQ(vexo::Geo_SampleLineImage(img.pixels.data(), &p, &q, buf.data(), 100), 5);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 5), Bytes({at(14, 12), at(13, 11), at(12, 11), at(11, 10), at(10, 10)}));
    EXPECT_EQ(vexo::Geo_SampleLineSorted(img.pixels.data(), &p, &p, buf.data()), 1);
    EXPECT_EQ(buf[0], at(14, 12));

    // Outside points: 255 for the plain sampler, the previous sample (128 first) for the others.
    p = {-2, 5};
    q = {3, 5};
    EXPECT_EQ(vexo::Geo_SampleLine(img.pixels.data(), &p, &q, buf.data(), 100), 4);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 4), Bytes({255, at(0, 5), at(1, 5), at(2, 5)}));
    EXPECT_EQ(vexo::Geo_SampleLineImage(img.pixels.data(), &p, &q, buf.data(), 100), 6);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 6), Bytes({128, 128, at(0, 5), at(1, 5), at(2, 5), at(3, 5)}));
    p = {37, 5};
    q = {42, 5};
    EXPECT_EQ(vexo::Geo_SampleLineSorted(img.pixels.data(), &q, &p, buf.data()), 6);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 6),
              Bytes({at(37, 5), at(38, 5), at(39, 5), at(39, 5), at(39, 5), at(39, 5)}));
}

TEST_F(DecoderTest, ClipSegmentExamples) {
    struct Case {
        GEO_POINT p, q, ep, eq;
    };
    const Case cases[] = {
        {{50, 50}, {200, 60}, {50, 50}, {99, 53}},    {{-10, 50}, {110, 60}, {0, 51}, {99, 59}},
        {{-50, 0}, {150, 1}, {0, 1}, {99, 1}},        {{-20, 10}, {10, -20}, {0, 0}, {0, 0}},
        {{200, 200}, {300, 300}, {99, 99}, {99, 99}}, {{300, 50}, {150, 20}, {99, 30}, {99, 30}},
        {{10, 10}, {90, 90}, {10, 10}, {90, 90}},     {{50, -10}, {50, 200}, {50, 0}, {50, 99}},
        {{-10, 5}, {-10, 50}, {0, 0}, {0, 0}},  // beside the frame, parallel to its column
        {{150, 50}, {150, 50}, {0, 0}, {0, 0}},       {{INT32_MIN, 0}, {50, 50}, {0, 0}, {0, 0}},
    };
    for (const Case &c : cases) {
        GEO_POINT p = c.p, q = c.q;
        vexo::Geo_ClipSegment(&p, &q, 100, 100);
        EXPECT_TRUE(p.x == c.ep.x && p.y == c.ep.y && q.x == c.eq.x && q.y == c.eq.y)
            << "(" << c.p.x << "," << c.p.y << ")-(" << c.q.x << "," << c.q.y << ") gave (" << p.x << "," << p.y
            << ")-(" << q.x << "," << q.y << ")";
    }
}

TEST_F(DecoderTest, FrameTestsAndSubPixelSampling) {
    Image img(30, 20, 11);
    EXPECT_EQ(vexo::Geo_InFrame16(16 * 30 - 1, 0), 1);
    EXPECT_EQ(vexo::Geo_InFrame16(16 * 30, 0), 0);
    EXPECT_EQ(vexo::Geo_InFrame4(4 * 30 - 1, 4 * 20 - 1), 1);
    EXPECT_EQ(vexo::Geo_InFrame4(0, 4 * 20), 0);
    EXPECT_EQ(vexo::Geo_InFrame(29, 19), 1);
    EXPECT_EQ(vexo::Geo_InFrame(-1, 0), 0);
    EXPECT_EQ(vexo::Geo_PixelOrDefault(3, 4, 777), img.At(3, 4));
    EXPECT_EQ(vexo::Geo_PixelOrDefault(30, 4, 777), 777);
    const vexo::GEO_LERP lerp{100, 200, 512};
    EXPECT_EQ(vexo::Geo_Lerp1024(&lerp), 150);
    const vexo::GEO_LERP back{200, 100, 3};
    EXPECT_EQ(vexo::Geo_Lerp1024(&back), 200);  // 200 - 300/1024 truncates to 200

    Bytes buf(100);
    EXPECT_EQ(vexo::Geo_SampleLine16(0, 0, 160, 0, buf.data(), 100), 10);
    for (int k = 0; k < 10; ++k) EXPECT_EQ(buf[k], img.At(k, 0)) << k;  // whole-pixel points, exact reads
    EXPECT_EQ(vexo::Geo_SampleLine16(0, 0, 15, 0, buf.data(), 100), 0);
    EXPECT_EQ(vexo::Geo_SampleLine16(0, 0, 16 * 30, 0, buf.data(), 100), 0);  // end outside
    EXPECT_EQ(vexo::Geo_SampleLine16(0, 0, 160, 0, buf.data(), 4), 4);
    // Samples past the bilinear reader's reach read 128.
    EXPECT_EQ(vexo::Geo_SampleLine16(16 * 29, 0, 16 * 29, 16 * 19, buf.data(), 100), 19);
    EXPECT_EQ(buf[0], 128);

    uint32_t sum = 0;
    EXPECT_EQ(vexo::Geo_SumLine16(0, 0, 160, 0, &sum), 10);
    uint32_t expect = 0;
    for (int k = 0; k < 10; ++k) expect += img.At(k, 0);
    EXPECT_EQ(sum, expect);

    // A ray stops at the first point outside the frame.
    EXPECT_EQ(vexo::Geo_SampleRay(25, 5, 40, 5, buf.data(), 100), 6);  // x = 25, 25, 26, 27, 28, 29, then 30
    EXPECT_EQ(buf[5], img.At(29, 5));
    EXPECT_EQ(vexo::Geo_SampleRay(30, 5, 20, 5, buf.data(), 100), 0);
    EXPECT_EQ(vexo::Geo_SampleRay(5, 5, 8, 5, buf.data(), 100), 4);  // M = 4: points 0, 0.75, 1.5, 2.25 of 3
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 4),
              Bytes({static_cast<uint8_t>(img.At(5, 5)), static_cast<uint8_t>(img.At(5, 5)),
                     static_cast<uint8_t>(img.At(6, 5)), static_cast<uint8_t>(img.At(7, 5))}));
}

// Bilinear reference at 1/16-pixel coordinates, 128 beyond its reach.
int RefBilinear(const Image &img, long long x16, long long y16) {
    const long long x = x16 >> 4, y = y16 >> 4;
    if (x16 < 0 || y16 < 0 || x + 1 >= img.width || y + 1 >= img.height) return 128;
    const int fx = static_cast<int>(x16 & 15), fy = static_cast<int>(y16 & 15);
    return (img.At(x, y) * (16 - fx) * (16 - fy) + img.At(x + 1, y) * fx * (16 - fy) +
            img.At(x, y + 1) * (16 - fx) * fy + img.At(x + 1, y + 1) * fx * fy) >>
           8;
}

TEST_F(DecoderTest, SubPixelSamplerMatchesItsNumerators) {
    const uint32_t seed = 6116;
    std::mt19937 rng(seed);
    Image img(50, 40, seed);
    for (int iter = 0; iter < 3000; ++iter) {
        const int x0 = static_cast<int>(rng() % (16 * 50)), y0 = static_cast<int>(rng() % (16 * 40));
        const int x1 = static_cast<int>(rng() % (16 * 50)), y1 = static_cast<int>(rng() % (16 * 40));
        const long long dx = x1 - x0, dy = y1 - y0, l = std::max(std::llabs(dx), std::llabs(dy));
        Bytes buf(static_cast<size_t>(l / 16 + 1));
        const int32_t n = vexo::Geo_SampleLine16(x0, y0, x1, y1, buf.data(), static_cast<int32_t>(buf.size()));
        ASSERT_EQ(n, l / 16) << "seed " << seed << " " << iter;
        const long long start = dx > 0 ? l : -l;
        uint32_t sum = 0, variation = 0;
        for (long long k = 0; k < n; ++k) {
            const long long x = x0 + (start + 32 * k * dx) / (2 * l), y = y0 + (start + 32 * k * dy) / (2 * l);
            ASSERT_EQ(buf[k], RefBilinear(img, x, y)) << "seed " << seed << " " << iter << " sample " << k;
            sum += buf[k];
            if (k > 0) variation += static_cast<uint32_t>(std::abs(buf[k] - buf[k - 1]));
        }
        uint32_t s = 0, v = 0;
        ASSERT_EQ(vexo::Geo_SumLine16(x0, y0, x1, y1, &s), n);
        ASSERT_EQ(vexo::Geo_LineVariation16(x0, y0, x1, y1, &v), n);
        if (n > 0) {
            ASSERT_EQ(s, sum) << iter;
            ASSERT_EQ(v, variation) << iter;
        }
    }
}

TEST_F(DecoderTest, StepOffsetsAlongTheMajorAxis) {
    Image img(64, 10, 3);
    GEO_POINT out[8];
    const GEO_POINT p{0, 0}, q{10, -5};
    // gx = 1024, gy = 512: k * 3 along x, (k * 3 * 512) >> 10 down y with the sign of dy.
    ASSERT_EQ(vexo::Geo_SegmentStepOffsets(&p, &q, out, 8, 3), 4);
    const GEO_POINT expect[] = {{0, 0}, {3, -1}, {6, -3}, {9, -4}};
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(out[k].x == expect[k].x && out[k].y == expect[k].y) << k;
    EXPECT_EQ(vexo::Geo_SegmentStepOffsets(&p, &q, out, 8, 10), 1);
    EXPECT_EQ(vexo::Geo_SegmentStepOffsets(&p, &p, out, 8, 1), 0);
    EXPECT_EQ(vexo::Geo_SegmentStepOffsets(&p, &q, out, 8, 0), 0);

    // Pixel pairs: {x, x + y * 64}, limit 16 * length.
    ASSERT_EQ(vexo::Geo_SegmentStepPixelOffsets(&p, &q, out, 8, 1, 3), 6);
    EXPECT_TRUE(out[1].x == 3 && out[1].y == 3 - 64);
    EXPECT_TRUE(out[5].x == 15 && out[5].y == 15 - 7 * 64);
    EXPECT_EQ(vexo::Geo_SegmentStepPixelOffsets(&p, &q, out, 8, 0, 3), 4);
    EXPECT_EQ(vexo::Geo_SegmentStepPixelOffsets(&p, &q, out, 8, 1, 16), 1);

    vexo::SEGMENT_OFFSETS s{0, 0, 48, 8, out, 8};
    ASSERT_EQ(vexo::Geo_PixelStepOffsets16(&s), 3);
    EXPECT_TRUE(out[1].x == 16 && out[1].y == 3);  // 8 / 3 rounds to 3
    EXPECT_TRUE(out[2].x == 32 && out[2].y == 5);
    s = {0, 0, -48, -8, out, 8};
    ASSERT_EQ(vexo::Geo_PixelStepOffsets16(&s), 3);
    EXPECT_TRUE(out[1].x == -16 && out[1].y == -3);
}

// ---------------------------------------------------------------------------------------
// No routine writes past the capacity it is given.

TEST_F(DecoderTest, CapacitiesOfZeroOneAndTwoAreNeverOverrun) {
    Image img(40, 30, 5);
    const GEO_POINT p{2, 3}, q{30, 20};
    for (int cap : {0, 1, 2, 3}) {
        {
            GuardedBuffer<uint8_t> b(cap);
            const int32_t n = vexo::Geo_SampleLineBresenham(p.x, p.y, q.x, q.y, b.data(), cap);
            EXPECT_EQ(n, cap < 2 ? 0 : cap);
            EXPECT_TRUE(b.Intact()) << "bresenham " << cap;
        }
        {
            GuardedBuffer<uint8_t> b(cap);
            EXPECT_EQ(vexo::Geo_SampleLine(img.pixels.data(), &p, &q, b.data(), cap), cap);
            EXPECT_TRUE(b.Intact()) << "line " << cap;
        }
        {
            GuardedBuffer<uint8_t> b(cap);
            GuardedBuffer<int32_t> xs(cap), ys(cap);
            EXPECT_EQ(vexo::Geo_SampleLineWithCoords(img.pixels.data(), &p, &q, b.data(), xs.data(), ys.data(), cap),
                      cap);
            EXPECT_TRUE(b.Intact() && xs.Intact() && ys.Intact()) << "coords " << cap;
        }
        {
            GuardedBuffer<uint8_t> b(cap);
            EXPECT_EQ(vexo::Geo_SampleLineImage(img.pixels.data(), &p, &q, b.data(), cap), cap);
            EXPECT_TRUE(b.Intact()) << "image " << cap;
        }
        {
            GuardedBuffer<uint8_t> b(cap);
            EXPECT_EQ(vexo::Geo_SampleLine16(16 * p.x, 16 * p.y, 16 * q.x, 16 * q.y, b.data(), cap), cap);
            EXPECT_TRUE(b.Intact()) << "sub-pixel " << cap;
        }
        {
            GuardedBuffer<uint8_t> b(cap);
            EXPECT_EQ(vexo::Geo_SampleRay(p.x, p.y, q.x, q.y, b.data(), cap), cap);
            EXPECT_TRUE(b.Intact()) << "ray " << cap;
        }
        {
            std::vector<POINT_NODE> nodes(static_cast<size_t>(cap) + 4);
            for (size_t k = 0; k + 1 < nodes.size(); ++k) nodes[k].next = &nodes[k + 1];
            for (POINT_NODE &n : nodes) n.x = n.y = -77;
            EXPECT_EQ(vexo::Geo_RasteriseLine(&p, &q, nodes.data(), cap), cap);
            for (size_t k = static_cast<size_t>(cap); k < nodes.size(); ++k) {
                EXPECT_TRUE(nodes[k].x == -77 && nodes[k].y == -77) << "nodes " << cap;
            }
        }
        {
            GuardedBuffer<int32_t> xs(cap), ys(cap);
            EXPECT_EQ(vexo::Geo_RasteriseLineXY(&p, &q, xs.data(), ys.data(), cap), cap);
            EXPECT_TRUE(xs.Intact() && ys.Intact()) << "xy " << cap;
        }
        {
            GuardedBuffer<GEO_POINT> o(cap);
            EXPECT_EQ(vexo::Geo_SegmentStepOffsets(&p, &q, o.data(), cap, 2), cap);
            EXPECT_TRUE(o.Intact()) << "step offsets " << cap;
        }
        {
            GuardedBuffer<GEO_POINT> o(cap);
            EXPECT_EQ(vexo::Geo_SegmentStepPixelOffsets(&p, &q, o.data(), cap, 0, 2), cap);
            EXPECT_TRUE(o.Intact()) << "pixel offsets " << cap;
        }
        {
            GuardedBuffer<GEO_POINT> o(cap);
            vexo::SEGMENT_OFFSETS s{p.x, p.y, q.x, q.y, o.data(), cap};
            EXPECT_EQ(vexo::Geo_BresenhamOffsets(&s), cap < 2 ? 0 : cap);
            EXPECT_TRUE(o.Intact()) << "bresenham offsets " << cap;
            GuardedBuffer<GEO_POINT> o16(cap);
            vexo::SEGMENT_OFFSETS s16{16 * p.x, 16 * p.y, 16 * q.x, 16 * q.y, o16.data(), cap};
            EXPECT_EQ(vexo::Geo_PixelStepOffsets16(&s16), cap);
            EXPECT_TRUE(o16.Intact()) << "sub-pixel offsets " << cap;
        }
    }
    // The sorted sampler's room is the image width.
    GuardedBuffer<uint8_t> b(img.width);
    const GEO_POINT a{-100, 4}, z{200, 9};
    EXPECT_EQ(vexo::Geo_SampleLineSorted(img.pixels.data(), &a, &z, b.data()), img.width);
    EXPECT_TRUE(b.Intact());
}

// ---------------------------------------------------------------------------------------
// Operations the decoder does not call.

TEST_F(DecoderTest, SmoothRegionUsesTheBinomialKernel) {
    Image img(20, 15, 9);
    const Image before = img;
    img.Install();
    ASSERT_GT(vexo::Mem_ResetArena(), 0);
    const vexo::REGION_QUAD region{{{3, 2}, {10, 2}, {3, 9}, {10, 9}}};
    ASSERT_EQ(vexo::Geo_SmoothRegion3x3(&region), 1);
    for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < 20; ++x) {
            int expect = before.At(x, y);
            if (x >= 3 && x <= 10 && y >= 2 && y <= 9) {
                static constexpr int kW[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
                int s = 0;
                for (int j = -1; j <= 1; ++j) {
                    for (int i = -1; i <= 1; ++i) s += kW[j + 1][i + 1] * before.At(x + i, y + j);
                }
                expect = s >> 4;
            }
            ASSERT_EQ(img.At(x, y), expect) << x << "," << y;
        }
    }
    const vexo::REGION_QUAD touching{{{0, 2}, {10, 2}, {0, 9}, {10, 9}}};
    const vexo::REGION_QUAD tooLow{{{3, 2}, {10, 2}, {3, 14}, {10, 14}}};
    const Bytes kept = img.pixels;
    EXPECT_EQ(vexo::Geo_SmoothRegion3x3(&touching), 0);
    EXPECT_EQ(vexo::Geo_SmoothRegion3x3(&tooLow), 0);
    EXPECT_EQ(img.pixels, kept);
}

// Callback for the ray search: the first falling edge of the samples.
int32_t FirstFall(const uint8_t *samples, int32_t count, int32_t *position) {
    return vexo::Prof_FindFallingEdges(samples, count, 102, 20, position, 1);
}

TEST_F(DecoderTest, RaySearchFindsTheEdgeNearestTheSegment) {
    // Bright left of x = 36, dark from it on; the segment lies just inside the dark side.
    Image img(80, 80, 1);
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 80; ++x) img.pixels[static_cast<size_t>(y * 80 + x)] = x < 36 ? 220 : 30;
    }
    Bytes buf(256);
    vexo::RAY_REFINE r{40, 5, 40, 75, 15, 40, -1, -1, buf.data(), 256, &FirstFall};
    ASSERT_EQ(vexo::Geo_RefineEdgeByRays(&r), 1);
    EXPECT_NEAR(r.resultX, 36, 1);
    EXPECT_GE(r.resultY, 5);
    EXPECT_LE(r.resultY, 75);

    std::fill(img.pixels.begin(), img.pixels.end(), 128);  // nothing to find
    r.resultX = r.resultY = -1;
    EXPECT_EQ(vexo::Geo_RefineEdgeByRays(&r), 0);
    EXPECT_EQ(r.resultX, -1);
}

}  // namespace
