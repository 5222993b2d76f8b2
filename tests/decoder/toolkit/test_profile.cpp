// Intensity profiles and edge lists: worked examples, a reference model of the transition
// walk against every wrapper, column routines on a transposed image, and canary bytes
// after every output.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "core/pixel.h"
#include "decoder_test.h"
#include "toolkit/profile.h"

namespace {

using vexo::EDGE_ITEM;
using vexo::EDGE_LINE;
using vexo::PROFILE_REQUEST;
using vexo::PROFILE_SCAN;
using vexo_test::DecoderTest;
using Bytes = std::vector<uint8_t>;
using Ints = std::vector<int32_t>;

// ---------------------------------------------------------------------------------------
// Reference model, written from the step lists rather than from the library's walk.

struct RefEdge {
    int32_t position;
    int step;
    int top;  // brighter end
    bool falling;
};

int32_t RefPosition(int base, int i, long long num, int step) {
    const long long r = step == 0 ? 0 : (1LL << 20) / step;
    return static_cast<int32_t>(base + 16LL * i + 8 + num * r / 65536);
}

using Keep = std::function<bool(int hi, int lo)>;

Keep RatioKeep(int ratio, int minStep) {
    return [=](int hi, int lo) {
        return hi - lo >= minStep && static_cast<long long>(hi - lo) * 1024 >= static_cast<long long>(hi) * ratio;
    };
}
Keep CrossingKeep(int level) {
    return [=](int hi, int lo) { return hi >= level && level > lo; };
}
Keep ByLevelKeep() {
    return [](int hi, int lo) { return hi < 64 ? hi - lo >= 10 : hi - lo >= hi / 4 - 5; };
}

// Follows a transition that starts at i in the given direction; returns its end.
int RefFollow(const Bytes &s, int i, bool falling) {
    const int last = static_cast<int>(s.size()) - 1;
    int end = i + 1;
    while (end < last && (falling ? s[end + 1] <= s[end] : s[end + 1] >= s[end])) ++end;
    return end;
}

RefEdge RefMake(const Bytes &s, int base, int i, int end, bool falling) {
    const int top = falling ? s[i] : s[end];
    const int bottom = falling ? s[end] : s[i];
    long long num = 0;
    for (int t = i + 1; t < end; ++t) num += falling ? s[t] - bottom : top - s[t];
    return {RefPosition(base, i, num, top - bottom), top - bottom, top, falling};
}

// The single-direction walk: samples that do not go the wanted way are stepped one by one.
std::vector<RefEdge> RefSingle(const Bytes &s, bool falling, const Keep &keep, int capacity, int base = 0) {
    std::vector<RefEdge> out;
    const int last = static_cast<int>(s.size()) - 1;
    if (last < 1 || capacity <= 0) return out;
    int i = 0;
    int ref = s[0];
    do {
        const bool starts = falling ? s[i + 1] < ref : s[i + 1] > ref;
        if (!starts) {
            ++i;
            ref = s[i];
            continue;
        }
        const int end = RefFollow(s, i, falling);
        const RefEdge e = RefMake(s, base, i, end, falling);
        if (keep(e.top, e.top - e.step)) out.push_back(e);
        i = end;
        ref = s[end];
    } while (i < last && static_cast<int>(out.size()) < capacity);
    return out;
}

// All transitions of the two-direction pass, kept or not, in order.
std::vector<RefEdge> RefTransitions(const Bytes &s, int base) {
    std::vector<RefEdge> out;
    const int last = static_cast<int>(s.size()) - 1;
    int i = 0;
    while (i < last) {
        if (s[i + 1] == s[i]) {
            ++i;
            continue;
        }
        const bool falling = s[i + 1] < s[i];
        const int end = RefFollow(s, i, falling);
        out.push_back(RefMake(s, base, i, end, falling));
        i = end;
    }
    return out;
}

struct RefTwo {
    Ints rising, falling;
};

RefTwo RefTwoLists(const Bytes &s, int base, const Keep &keep, int risingCap, int fallingCap) {
    RefTwo out;
    for (const RefEdge &e : RefTransitions(s, base)) {
        Ints &list = e.falling ? out.falling : out.rising;
        const int cap = e.falling ? fallingCap : risingCap;
        if (static_cast<int>(list.size()) >= cap) continue;
        if (keep(e.top, e.top - e.step)) list.push_back(e.position);
    }
    return out;
}

std::vector<RefEdge> RefEdgeList(const Bytes &s, int base, int ratio, int minStep, int capacity) {
    std::vector<RefEdge> out;
    const Keep keep = RatioKeep(ratio, minStep);
    for (const RefEdge &e : RefTransitions(s, base)) {
        if (static_cast<int>(out.size()) >= capacity) break;
        if (keep(e.top, e.top - e.step)) out.push_back(e);
    }
    return out;
}

uint16_t RefFlags(const RefEdge &e) {
    return static_cast<uint16_t>((e.falling ? 0x8000 : 0) | ((e.top / 2) << 8) | e.step);
}

// The strict-run variant, step by step.
Ints RefSub16(const Bytes &s, int maxCount, int ratio, int minStep) {
    Ints out;
    const int last = static_cast<int>(s.size()) - 1;
    if (last < 1) return out;
    int d = 0;
    while (d < last) {
        if (s[d + 1] == s[d]) {
            ++d;
            continue;
        }
        const int dir = s[d + 1] > s[d] ? 1 : -1;
        int end = d + 1;
        while (end < last && (s[end + 1] - s[end]) * dir > 0) ++end;
        const int g = std::abs(s[end] - s[d]);
        if (g > minStep && g * 1024LL >= static_cast<long long>(ratio) * s[end]) {
            long long h = static_cast<long long>(g) * d;
            for (int t = d + 1; t < end; ++t) h += std::abs(s[t] - s[end]);
            out.push_back(static_cast<int32_t>(16 * h / g + 8));
            if (static_cast<int>(out.size()) >= maxCount) return out;
        }
        d = end;
    }
    return out;
}

Ints PositionsOf(const std::vector<RefEdge> &edges) {
    Ints out;
    for (const RefEdge &e : edges) out.push_back(e.position);
    return out;
}

// Profiles with plateaus, clean steps, slow ramps and noise, over the whole grey range.
Bytes RandomProfile(std::mt19937 &rng, int maxLength) {
    const int length = std::uniform_int_distribution<int>(0, maxLength)(rng);
    Bytes s;
    int v = static_cast<int>(rng() % 256);
    while (static_cast<int>(s.size()) < length) {
        const int kind = static_cast<int>(rng() % 4);
        const int run = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < run && static_cast<int>(s.size()) < length; ++k) {
            if (kind == 0) {
            } else if (kind == 1) {
                v = static_cast<int>(rng() % 256);
            } else if (kind == 2) {
                v += static_cast<int>(rng() % 61) - 30;
            } else {
                v += static_cast<int>(rng() % 5) - 2;
            }
            v = std::clamp(v, 0, 255);
            s.push_back(static_cast<uint8_t>(v));
        }
    }
    return s;
}

// An output array followed by canary words; Check() fails when any canary changed.
template <class T>
struct Guarded {
    static constexpr int kCanaries = 8;
    explicit Guarded(int capacity) : cap(capacity), v(static_cast<size_t>(std::max(capacity, 0) + kCanaries)) {
        std::memset(v.data(), 0xA5, v.size() * sizeof(T));
    }
    T *data() { return v.data(); }
    bool CanariesIntact() const {
        const uint8_t *b = reinterpret_cast<const uint8_t *>(v.data() + std::max(cap, 0));
        for (size_t k = 0; k < kCanaries * sizeof(T); ++k) {
            if (b[k] != 0xA5) return false;
        }
        return true;
    }
    std::vector<T> First(int n) const { return std::vector<T>(v.begin(), v.begin() + n); }
    int cap;
    std::vector<T> v;
};

// ---------------------------------------------------------------------------------------
// Worked examples.

enum class Fn { Falling, Rising, FallingCross, RisingCross, FallingByLevel, RisingByLevel, Sub16 };

struct ExampleCase {
    const char *what;
    Fn fn;
    Bytes samples;
    int ratio, minStep;  // level for the crossing routines
    Ints expect;
};

int32_t RunExample(const ExampleCase &c, int32_t *out, int capacity) {
    const uint8_t *s = c.samples.data();
    const int n = static_cast<int>(c.samples.size());
    switch (c.fn) {
        case Fn::Falling:
            return vexo::Prof_FindFallingEdges(s, n, c.ratio, c.minStep, out, capacity);
        case Fn::Rising:
            return vexo::Prof_FindRisingEdges(s, n, c.ratio, c.minStep, out, capacity);
        case Fn::FallingCross:
            return vexo::Prof_FallingCrossings(s, n, c.ratio, out, capacity);
        case Fn::RisingCross:
            return vexo::Prof_RisingCrossings(s, n, c.ratio, out, capacity);
        case Fn::FallingByLevel:
            return vexo::Prof_FindFallingEdgesByLevel(s, n, out, capacity);
        case Fn::RisingByLevel:
            return vexo::Prof_FindRisingEdgesByLevel(s, n, out, capacity);
        case Fn::Sub16:
            return vexo::Prof_FindEdgesSub16(s, n, out, capacity, c.ratio, c.minStep);
    }
    return -1;
}

TEST_F(DecoderTest, ProfileExamplesGiveTheirPositions) {
    const ExampleCase cases[] = {
        {"clean step", Fn::Falling, {200, 200, 200, 50, 200}, 205, 20, {40}},
        {"rising step", Fn::Rising, {50, 50, 200, 50, 50}, 205, 20, {24}},
        {"flat pair inside descent", Fn::Falling, {200, 120, 120, 40, 200}, 102, 6, {23}},
        {"ratio refuses", Fn::Falling, {250, 230, 250}, 102, 6, {}},
        {"ratio accepts", Fn::Falling, {250, 220, 250}, 102, 6, {8}},
        {"step equal to minStep", Fn::Falling, {200, 200, 60, 60, 200}, 0, 140, {24}},
        {"step below minStep", Fn::Falling, {200, 200, 60, 60, 200}, 0, 141, {}},
        {"truncated reciprocal", Fn::Falling, {200, 150, 100, 50}, 0, 0, {23}},
        {"profile ends in a descent", Fn::Falling, {90, 200, 180, 100}, 0, 50, {36}},
        {"two falls", Fn::Falling, {200, 50, 200, 50}, 102, 6, {8, 40}},
        {"ratio 1024 needs full drop", Fn::Falling, {100, 40, 100}, 1024, 6, {}},
        {"crossing clean", Fn::FallingCross, {200, 200, 50, 50, 200}, 128, 0, {24}},
        {"crossing ramp", Fn::FallingCross, {200, 150, 100, 50, 200}, 128, 0, {23}},
        {"crossing missed", Fn::FallingCross, {200, 150, 200}, 128, 0, {}},
        {"crossing level at top", Fn::FallingCross, {128, 127}, 128, 0, {8}},
        {"crossing level at bottom", Fn::FallingCross, {129, 128}, 128, 0, {}},
        {"rising crossing", Fn::RisingCross, {50, 50, 200, 200}, 128, 0, {24}},
        {"rising crossing level at top", Fn::RisingCross, {100, 128}, 128, 0, {8}},
        {"by level dark", Fn::FallingByLevel, {63, 53, 63}, 0, 0, {8}},
        {"by level dark too small", Fn::FallingByLevel, {63, 54, 63}, 0, 0, {}},
        {"by level bright too small", Fn::FallingByLevel, {100, 81, 100}, 0, 0, {}},
        {"by level bright", Fn::FallingByLevel, {100, 80, 100}, 0, 0, {8}},
        {"by level rising", Fn::RisingByLevel, {80, 100, 100}, 0, 0, {8}},
        {"strict clean", Fn::Sub16, {200, 200, 50, 50, 200}, 0, 0, {24, 56}},
        {"strict flat pair splits", Fn::Sub16, {200, 120, 120, 40, 200}, 0, 0, {8, 40, 56}},
        {"strict ratio at darker end", Fn::Sub16, {100, 40, 100}, 1024, 6, {8}},
        {"strict step equal to minStep", Fn::Sub16, {200, 200, 60, 60, 200}, 0, 140, {}},
        {"strict step above minStep", Fn::Sub16, {200, 200, 60, 60, 200}, 0, 139, {24, 56}},
        {"strict ramp", Fn::Sub16, {200, 150, 100, 50}, 0, 0, {24}},
        {"one sample", Fn::Falling, {200}, 0, 0, {}},
        {"one sample strict", Fn::Sub16, {200}, 0, 0, {}},
    };
    for (const ExampleCase &c : cases) {
        Guarded<int32_t> out(8);
        const int32_t found = RunExample(c, out.data(), 8);
        EXPECT_EQ(out.First(found), c.expect) << c.what;
        EXPECT_TRUE(out.CanariesIntact()) << c.what;
    }
}

TEST_F(DecoderTest, ReciprocalTableIsTwoToTheTwentyOverH) {
    EXPECT_EQ(vexo::kProfReciprocal.r[0], 0);
    for (int h = 1; h < 256; ++h) EXPECT_EQ(vexo::kProfReciprocal.r[h], (1 << 20) / h) << h;
    EXPECT_EQ(vexo::kProfReciprocal.r[1], 1048576);
    EXPECT_EQ(vexo::kProfReciprocal.r[2], 524288);
    EXPECT_EQ(vexo::kProfReciprocal.r[150], 6990);
}

EDGE_LINE LineOver(const Bytes &s, int base, int ratio, int minStep, EDGE_ITEM *edges, int capacity) {
    EDGE_LINE line{};
    line.samples = s.data();
    line.sampleCount = static_cast<int32_t>(s.size());
    line.base = base;
    line.edges = edges;
    line.capacity = capacity;
    line.edgeCount = line.risingCount = line.fallingCount = -7;
    line.ratio = ratio;
    line.minStep = minStep;
    return line;
}

TEST_F(DecoderTest, RowEdgesPackFlagsAndStopAtCapacity) {
    const Bytes s = {200, 200, 200, 50, 200};
    Guarded<EDGE_ITEM> items(4);
    EDGE_LINE line = LineOver(s, 160, 102, 6, items.data(), 4);
    vexo::Prof_RowEdges(&line);
    ASSERT_EQ(line.edgeCount, 2);
    EXPECT_EQ(line.risingCount, 1);
    EXPECT_EQ(line.fallingCount, 1);
    EXPECT_EQ(items.v[0].position, 200);
    EXPECT_EQ(items.v[0].flags, 0xE496);
    EXPECT_EQ(items.v[1].position, 216);
    EXPECT_EQ(items.v[1].flags, 0x6496);
    EXPECT_TRUE(items.CanariesIntact());

    const Bytes alternating = {200, 50, 200, 50};
    Guarded<EDGE_ITEM> one(1);
    line = LineOver(alternating, 0, 102, 6, one.data(), 1);
    vexo::Prof_RowEdges(&line);
    EXPECT_EQ(line.edgeCount, 1);
    EXPECT_EQ(line.fallingCount, 1);
    EXPECT_EQ(line.risingCount, 0);
    EXPECT_EQ(one.v[0].position, 8);
    EXPECT_TRUE(one.CanariesIntact());

    // Positions are kept to 16 bits.
    line = LineOver(s, 32760, 102, 6, items.data(), 4);
    vexo::Prof_RowEdges(&line);
    EXPECT_EQ(items.v[0].position, static_cast<int16_t>(32760 + 40));
}

TEST_F(DecoderTest, TwoListPassSkipsAFullListAndGoesOn) {
    const Bytes s = {200, 50, 200, 50, 200, 50, 200};
    int32_t rising[4] = {}, falling[1] = {};
    PROFILE_REQUEST r{};
    r.samples = s.data();
    r.count = static_cast<int32_t>(s.size());
    r.base = 1000;
    r.ratio = 102;
    r.minStep = 6;
    r.risingPositions = rising;
    r.risingCapacity = 4;
    r.fallingPositions = falling;
    r.fallingCapacity = 1;
    vexo::Prof_FindEdgesRec(&r);
    EXPECT_EQ(r.fallingFound, 1);
    EXPECT_EQ(falling[0], 1008);
    ASSERT_EQ(r.risingFound, 3);
    EXPECT_EQ(rising[0], 1024);
    EXPECT_EQ(rising[2], 1088);
}

// ---------------------------------------------------------------------------------------
// Every wrapper against the reference model on random profiles.

struct Params {
    int ratio, minStep, level, base, capacity, otherCapacity;
};

Params RandomParams(std::mt19937 &rng) {
    Params p;
    p.ratio = std::uniform_int_distribution<int>(-20, 1100)(rng);
    p.minStep = std::uniform_int_distribution<int>(-3, 200)(rng);
    if (rng() % 3 == 0) p.minStep = static_cast<int>(rng() % 12);
    p.level = std::uniform_int_distribution<int>(0, 256)(rng);
    p.base = std::uniform_int_distribution<int>(-5000, 5000)(rng);
    p.capacity = std::uniform_int_distribution<int>(-1, 40)(rng);
    p.otherCapacity = std::uniform_int_distribution<int>(-1, 40)(rng);
    return p;
}

using SingleFn = std::function<int32_t(const Bytes &, const Params &, int32_t *, uint8_t *)>;

struct SingleWrapper {
    const char *name;
    bool falling;
    bool withSteps;
    SingleFn run;
    std::function<Keep(const Params &)> keep;
};

std::vector<SingleWrapper> SingleWrappers() {
    using namespace vexo;
    auto n = [](const Bytes &s) { return static_cast<int32_t>(s.size()); };
    auto ratio = [](const Params &p) { return RatioKeep(p.ratio, p.minStep); };
    auto abs = [](const Params &p) { return RatioKeep(1, p.minStep); };
    auto cross = [](const Params &p) { return CrossingKeep(p.level); };
    auto byLevel = [](const Params &) { return ByLevelKeep(); };
    return {
        {"FindFallingEdges", true, false,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *) {
             return Prof_FindFallingEdges(s.data(), n(s), p.ratio, p.minStep, o, p.capacity);
         },
         ratio},
        {"FindRisingEdges", false, false,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *) {
             return Prof_FindRisingEdges(s.data(), n(s), p.ratio, p.minStep, o, p.capacity);
         },
         ratio},
        {"FindFallingEdgesAbs", true, false,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *) {
             return Prof_FindFallingEdgesAbs(s.data(), n(s), p.minStep, o, p.capacity);
         },
         abs},
        {"FindRisingEdgesAbs", false, false,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *) {
             return Prof_FindRisingEdgesAbs(s.data(), n(s), p.minStep, o, p.capacity);
         },
         abs},
        {"FindFallingEdgesAbsDepth", true, true,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *st) {
             return Prof_FindFallingEdgesAbsDepth(s.data(), n(s), p.minStep, o, st, p.capacity);
         },
         abs},
        {"FindRisingEdgesAbsDepth", false, true,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *st) {
             return Prof_FindRisingEdgesAbsDepth(s.data(), n(s), p.minStep, o, st, p.capacity);
         },
         abs},
        {"FallingCrossings", true, false,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *) {
             return Prof_FallingCrossings(s.data(), n(s), p.level, o, p.capacity);
         },
         cross},
        {"RisingCrossings", false, false,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *) {
             return Prof_RisingCrossings(s.data(), n(s), p.level, o, p.capacity);
         },
         cross},
        {"FindFallingEdgesByLevel", true, false,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *) {
             return Prof_FindFallingEdgesByLevel(s.data(), n(s), o, p.capacity);
         },
         byLevel},
        {"FindRisingEdgesByLevel", false, false,
         [=](const Bytes &s, const Params &p, int32_t *o, uint8_t *) {
             return Prof_FindRisingEdgesByLevel(s.data(), n(s), o, p.capacity);
         },
         byLevel},
    };
}

TEST_F(DecoderTest, SingleListWrappersMatchTheReferenceWalk) {
    const uint32_t seed = 6102;
    std::mt19937 rng(seed);
    const std::vector<SingleWrapper> wrappers = SingleWrappers();
    for (int iter = 0; iter < 3000; ++iter) {
        const Bytes s = RandomProfile(rng, 120);
        const Params p = RandomParams(rng);
        for (const SingleWrapper &w : wrappers) {
            const std::vector<RefEdge> expect = RefSingle(s, w.falling, w.keep(p), p.capacity);
            Guarded<int32_t> out(p.capacity);
            Guarded<uint8_t> steps(p.capacity);
            const int32_t found = w.run(s, p, out.data(), steps.data());
            ASSERT_EQ(out.First(found), PositionsOf(expect)) << w.name << " seed " << seed << " iteration " << iter;
            ASSERT_TRUE(out.CanariesIntact()) << w.name << " iteration " << iter;
            ASSERT_TRUE(steps.CanariesIntact()) << w.name << " iteration " << iter;
            if (w.withSteps) {
                for (int k = 0; k < found; ++k) ASSERT_EQ(steps.v[k], expect[k].step) << w.name << " " << iter;
            }
            // Without an output array the same edges are only counted.
            ASSERT_EQ(w.run(s, p, nullptr, nullptr), found) << w.name << " iteration " << iter;
        }
    }
}

TEST_F(DecoderTest, TwoListAndEdgeListRoutinesMatchTheReferenceWalk) {
    const uint32_t seed = 6103;
    std::mt19937 rng(seed);
    for (int iter = 0; iter < 3000; ++iter) {
        const Bytes s = RandomProfile(rng, 120);
        const Params p = RandomParams(rng);
        const int n = static_cast<int>(s.size());
        struct RecCase {
            const char *name;
            void (*fn)(PROFILE_REQUEST *);
            Keep keep;
        };
        const RecCase recs[] = {
            {"FindEdgesRec", &vexo::Prof_FindEdgesRec, RatioKeep(p.ratio, p.minStep)},
            {"FindEdgesAbsRec", &vexo::Prof_FindEdgesAbsRec, RatioKeep(1, p.minStep)},
            {"FindCrossingsRec", &vexo::Prof_FindCrossingsRec, CrossingKeep(p.level)},
        };
        for (const RecCase &rc : recs) {
            const RefTwo expect = RefTwoLists(s, p.base, rc.keep, p.capacity, p.otherCapacity);
            Guarded<int32_t> rising(p.capacity), falling(p.otherCapacity);
            PROFILE_REQUEST r{s.data(),      n,  p.base,     p.ratio,        p.level, p.minStep,
                              rising.data(), -1, p.capacity, falling.data(), -1,      p.otherCapacity};
            rc.fn(&r);
            ASSERT_EQ(rising.First(r.risingFound), expect.rising) << rc.name << " seed " << seed << " " << iter;
            ASSERT_EQ(falling.First(r.fallingFound), expect.falling) << rc.name << " seed " << seed << " " << iter;
            ASSERT_TRUE(rising.CanariesIntact() && falling.CanariesIntact()) << rc.name << " " << iter;
        }

        const std::vector<RefEdge> expect = RefEdgeList(s, p.base, p.ratio, p.minStep, p.capacity);
        Guarded<EDGE_ITEM> items(p.capacity), words(p.capacity);
        EDGE_LINE line = LineOver(s, p.base, p.ratio, p.minStep, items.data(), p.capacity);
        vexo::Prof_RowEdges(&line);
        EDGE_LINE packed = LineOver(s, p.base, p.ratio, p.minStep, words.data(), p.capacity);
        vexo::Prof_RowEdgesPacked(&packed);
        ASSERT_EQ(line.edgeCount, static_cast<int>(expect.size())) << "seed " << seed << " " << iter;
        int rises = 0;
        for (size_t k = 0; k < expect.size(); ++k) {
            ASSERT_EQ(items.v[k].position, static_cast<int16_t>(expect[k].position)) << iter << " " << k;
            ASSERT_EQ(items.v[k].flags, RefFlags(expect[k])) << iter << " " << k;
            uint32_t word;
            std::memcpy(&word, &words.v[k], 4);
            ASSERT_EQ(word, static_cast<uint16_t>(expect[k].position) | static_cast<uint32_t>(RefFlags(expect[k]))
                                                                            << 16);
            rises += expect[k].falling ? 0 : 1;
        }
        ASSERT_EQ(line.risingCount, rises) << iter;
        ASSERT_EQ(line.fallingCount, line.edgeCount - rises) << iter;
        ASSERT_EQ(packed.edgeCount, line.edgeCount) << iter;
        ASSERT_TRUE(items.CanariesIntact() && words.CanariesIntact()) << iter;
    }
}

TEST_F(DecoderTest, StrictRunEdgesMatchTheReferenceWalk) {
    const uint32_t seed = 6104;
    std::mt19937 rng(seed);
    for (int iter = 0; iter < 5000; ++iter) {
        const Bytes s = RandomProfile(rng, 150);
        const Params p = RandomParams(rng);
        const Ints expect = p.capacity <= 0 ? Ints{} : RefSub16(s, p.capacity, p.ratio, p.minStep);
        Guarded<int32_t> out(p.capacity);
        const uint16_t found = vexo::Prof_FindEdgesSub16(s.data(), static_cast<int32_t>(s.size()), out.data(),
                                                         p.capacity, p.ratio, p.minStep);
        ASSERT_EQ(out.First(found), expect) << "seed " << seed << " iteration " << iter;
        ASSERT_TRUE(out.CanariesIntact()) << "seed " << seed << " iteration " << iter;
    }
}

// ---------------------------------------------------------------------------------------
// Column routines read the same profile down a column of the installed image.

struct ColumnImage {
    // Puts the profile in column `column` of a width x rows image, other pixels random.
    ColumnImage(const Bytes &s, int width, int column, std::mt19937 &rng)
        : w(width), pixels(static_cast<size_t>(width) * std::max<size_t>(s.size(), 1)) {
        for (uint8_t &p : pixels) p = static_cast<uint8_t>(rng());
        for (size_t k = 0; k < s.size(); ++k) pixels[k * width + column] = s[k];
        vexo::Pix_SetImagePointer(pixels.data());
        vexo::Pix_SetImageSize(width, static_cast<int>(pixels.size() / width));
        first = pixels.data() + column;
    }
    int w;
    Bytes pixels;
    const uint8_t *first;
};

TEST_F(DecoderTest, ColumnRoutinesEqualRowRoutinesOnATransposedProfile) {
    const uint32_t seed = 6105;
    std::mt19937 rng(seed);
    for (int iter = 0; iter < 1500; ++iter) {
        const Bytes s = RandomProfile(rng, 100);
        const Params p = RandomParams(rng);
        const int width = 1 + static_cast<int>(rng() % 40);
        const ColumnImage img(s, width, static_cast<int>(rng() % width), rng);
        const int n = static_cast<int>(s.size());
        const int cap = std::max(p.capacity, 0);
        Ints rowOut(cap + 1), colOut(cap + 1);
        Bytes rowSteps(cap + 1), colSteps(cap + 1);
        auto same = [&](const char *name, int32_t rowFound, int32_t colFound) {
            ASSERT_EQ(colFound, rowFound) << name << " seed " << seed << " " << iter;
            for (int k = 0; k < rowFound; ++k) {
                ASSERT_EQ(colOut[k], rowOut[k]) << name << " seed " << seed << " " << iter;
                ASSERT_EQ(colSteps[k], rowSteps[k]) << name << " seed " << seed << " " << iter;
            }
        };
        using namespace vexo;
        same("falling", Prof_FindFallingEdges(s.data(), n, p.ratio, p.minStep, rowOut.data(), p.capacity),
             Prof_FindColumnFallingEdges(img.first, n, p.ratio, p.minStep, colOut.data(), p.capacity));
        same("rising", Prof_FindRisingEdges(s.data(), n, p.ratio, p.minStep, rowOut.data(), p.capacity),
             Prof_FindColumnRisingEdges(img.first, n, p.ratio, p.minStep, colOut.data(), p.capacity));
        same("falling depth",
             Prof_FindFallingEdgesAbsDepth(s.data(), n, p.minStep, rowOut.data(), rowSteps.data(), p.capacity),
             Prof_FindColumnFallingEdgesAbsDepth(img.first, n, p.minStep, colOut.data(), colSteps.data(), p.capacity));
        same("rising depth",
             Prof_FindRisingEdgesAbsDepth(s.data(), n, p.minStep, rowOut.data(), rowSteps.data(), p.capacity),
             Prof_FindColumnRisingEdgesAbsDepth(img.first, n, p.minStep, colOut.data(), colSteps.data(), p.capacity));
        same("falling by level", Prof_FindFallingEdgesByLevel(s.data(), n, rowOut.data(), p.capacity),
             Prof_FindColumnFallingEdgesByLevel(img.first, n, colOut.data(), p.capacity));
        same("rising by level", Prof_FindRisingEdgesByLevel(s.data(), n, rowOut.data(), p.capacity),
             Prof_FindColumnRisingEdgesByLevel(img.first, n, colOut.data(), p.capacity));

        // Two-list records.
        for (int abs = 0; abs < 2; ++abs) {
            Ints rr(cap + 1), rf(cap + 1), cr(cap + 1), cf(cap + 1);
            PROFILE_REQUEST row{s.data(),  n, p.base,     p.ratio,   0, p.minStep,
                                rr.data(), 0, p.capacity, rf.data(), 0, p.capacity};
            PROFILE_REQUEST col = row;
            col.samples = img.first;
            col.risingPositions = cr.data();
            col.fallingPositions = cf.data();
            (abs ? Prof_FindEdgesAbsRec : Prof_FindEdgesRec)(&row);
            (abs ? Prof_FindColumnEdgesAbsRec : Prof_FindColumnEdgesRec)(&col);
            ASSERT_EQ(col.risingFound, row.risingFound) << "seed " << seed << " " << iter;
            ASSERT_EQ(col.fallingFound, row.fallingFound) << "seed " << seed << " " << iter;
            ASSERT_EQ(cr, rr) << iter;
            ASSERT_EQ(cf, rf) << iter;
        }

        // Edge lists, plain and packed.
        std::vector<EDGE_ITEM> ri(cap + 1), ci(cap + 1), cw(cap + 1);
        EDGE_LINE row = LineOver(s, p.base, p.ratio, p.minStep, ri.data(), p.capacity);
        EDGE_LINE col = row, colPacked = row;
        col.samples = img.first;
        col.edges = ci.data();
        colPacked.samples = img.first;
        colPacked.edges = cw.data();
        Prof_RowEdges(&row);
        Prof_ColumnEdges(&col);
        Prof_ColumnEdgesPacked(&colPacked);
        ASSERT_EQ(col.edgeCount, row.edgeCount) << iter;
        ASSERT_EQ(col.risingCount, row.risingCount) << iter;
        ASSERT_EQ(colPacked.fallingCount, row.fallingCount) << iter;
        ASSERT_EQ(std::memcmp(ci.data(), ri.data(), ri.size() * 4), 0) << iter;
        ASSERT_EQ(std::memcmp(cw.data(), ri.data(), ri.size() * 4), 0) << iter;
    }
}

// ---------------------------------------------------------------------------------------
// Degenerate arguments.

TEST_F(DecoderTest, ProfileRoutinesIgnoreMissingInputAndNonPositiveCapacity) {
    const Bytes s = {200, 50, 200, 50, 200};
    for (int cap : {0, -1, INT32_MIN}) {
        Guarded<int32_t> out(0);
        EXPECT_EQ(vexo::Prof_FindFallingEdges(s.data(), 5, 0, 0, out.data(), cap), 0);
        EXPECT_EQ(vexo::Prof_FindEdgesSub16(s.data(), 5, out.data(), cap, 0, 0), 0);
        EXPECT_TRUE(out.CanariesIntact()) << cap;
    }
    int32_t out[4];
    EXPECT_EQ(vexo::Prof_FindFallingEdges(nullptr, 5, 0, 0, out, 4), 0);
    EXPECT_EQ(vexo::Prof_FindRisingEdges(s.data(), INT32_MIN, 0, 0, out, 4), 0);
    EXPECT_EQ(vexo::Prof_FindEdgesSub16(nullptr, 5, out, 4, 0, 0), 0);
    EXPECT_EQ(vexo::Prof_FindEdgesSub16(s.data(), 5, nullptr, 4, 0, 0), 0);
    vexo::Prof_FindEdgesRec(nullptr);
    vexo::Prof_RowEdges(nullptr);
    EDGE_LINE line = LineOver(s, 0, 0, 0, nullptr, 10);
    vexo::Prof_RowEdges(&line);  // counts without writing
    EXPECT_EQ(line.edgeCount, 4);
    line = LineOver(s, 0, 0, 0, nullptr, 10);
    line.samples = nullptr;
    vexo::Prof_ColumnEdges(&line);
    EXPECT_EQ(line.edgeCount, 0);

    PROFILE_SCAN scan{};
    scan.samples = s.data();
    scan.count = 5;
    scan.fallingCapacity = 9;
    scan.risingCapacity = 9;
    vexo::Prof_ScanEdges(&scan);
    EXPECT_EQ(scan.fallingFound, 2);
    EXPECT_EQ(scan.risingFound, 2);
    vexo::Prof_ScanRisingEdges(nullptr);
}

}  // namespace
