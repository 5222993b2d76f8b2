// Reed-Solomon decoding: field tables and selection, the four block routines against an
// encoder of the test's own, the erasure and error limits, and the guards on counts and
// values that come from decoded data.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decoder_test.h"
#include "toolkit/reed_solomon.h"

namespace {

using vexo::g_rsField;
using vexo::kRsFields;
using vexo_test::DecoderTest;
using Block = std::vector<int32_t>;

// ---------------------------------------------------------------------------------------
// Reference arithmetic, independent of the decoder: products by shift and add reduced by the
// polynomial (or modulo 929); the log tables here are derived from those products.
struct RefField {
    int size = 0, poly = 0, q = 0;
    bool prime = false;
    std::vector<int> exp, log;

    RefField() = default;
    RefField(int s, int p) : size(s), poly(p), q(s - 1), prime(s == 929), exp(s), log(s, -1) {
        int v = 1;
        for (int j = 0; j < q; ++j) {
            exp[j] = v;
            log[v] = j;
            v = SlowMul(v, Generator());
        }
    }
    int Generator() const { return prime ? 3 : 2; }
    int SlowMul(int a, int b) const {
        if (prime) return static_cast<int>(static_cast<int64_t>(a) * b % 929);
        int r = 0;
        while (b != 0) {
            if ((b & 1) != 0) r ^= a;
            b >>= 1;
            a <<= 1;
            if ((a & size) != 0) a ^= poly;
        }
        return r;
    }
    int Mul(int a, int b) const { return a == 0 || b == 0 ? 0 : exp[(log[a] + log[b]) % q]; }
    int Inv(int a) const { return exp[(q - log[a]) % q]; }
    int Add(int a, int b) const { return prime ? (a + b) % 929 : a ^ b; }
    int Sub(int a, int b) const { return prime ? (a - b + 929) % 929 : a ^ b; }
    int Alpha(int64_t e) const { return exp[static_cast<size_t>(((e % q) + q) % q)]; }
};

const RefField &Ref(int index) {
    static std::vector<RefField> fields = [] {
        std::vector<RefField> v;
        for (const auto &e : kRsFields) v.emplace_back(e.size, e.polynomial);
        return v;
    }();
    return fields[static_cast<size_t>(index)];
}

// The four routines and their conventions.
enum class Kind { General, Qr, Erasures, Prime };

const char *KindName(Kind k) {
    switch (k) {
        case Kind::General: return "DecodeBlock";
        case Kind::Qr: return "DecodeBlockQr";
        case Kind::Erasures: return "DecodeBlockErasures";
        case Kind::Prime: return "DecodeBlock929";
    }
    return "?";
}

int FirstRoot(Kind k) { return k == Kind::Qr ? 0 : 1; }
bool LowFirst(Kind k) { return k == Kind::Qr; }
bool HasErasures(Kind k) { return k == Kind::Erasures || k == Kind::Prime; }

// Systematic encoder: data followed by the remainder of data(x) x^N divided by the generator
// with roots alpha^first .. alpha^(first+N-1), negated; highest degree first.
Block RefEncode(const RefField &F, const Block &data, int N, int first) {
    std::vector<int> gen{1};
    for (int j = first; j < first + N; ++j) {
        const int r = F.Alpha(j);
        std::vector<int> next(gen.size() + 1, 0);
        for (size_t i = 0; i < next.size(); ++i) {
            const int a = i < gen.size() ? gen[i] : 0;
            const int b = i >= 1 ? F.Mul(r, gen[i - 1]) : 0;
            next[i] = F.Sub(a, b);
        }
        gen = next;
    }
    std::vector<int> buf(data.begin(), data.end());
    buf.resize(data.size() + static_cast<size_t>(N), 0);
    for (size_t i = 0; i < data.size(); ++i) {
        const int coef = buf[i];
        if (coef == 0) continue;
        for (int j = 1; j <= N; ++j) buf[i + j] = F.Sub(buf[i + j], F.Mul(coef, gen[j]));
    }
    Block out(data);
    for (int j = 0; j < N; ++j) out.push_back(F.Sub(0, buf[data.size() + j]));
    return out;
}

// True when every value lies in the field and c(alpha^j) = 0 for the routine's N roots.
bool RefIsCodeword(const RefField &F, Kind k, const Block &block, int N) {
    Block c(block);
    if (LowFirst(k)) std::reverse(c.begin(), c.end());
    for (int32_t v : c) {
        if (v < 0 || v >= F.size) return false;
    }
    for (int j = FirstRoot(k); j < FirstRoot(k) + N; ++j) {
        const int x = F.Alpha(j);
        int v = 0;
        for (int32_t cw : c) v = F.Add(F.Mul(v, x), cw);
        if (v != 0) return false;
    }
    return true;
}

int Decode(Kind k, Block &b, int N) {
    const int n = static_cast<int>(b.size());
    switch (k) {
        case Kind::General: return vexo::RS_DecodeBlock(b.data(), n - N, N);
        case Kind::Qr: return vexo::RS_DecodeBlockQr(b.data(), n, N);
        case Kind::Erasures: return vexo::RS_DecodeBlockErasures(b.data(), n - N, N);
        case Kind::Prime: return vexo::RS_DecodeBlock929(b.data(), n, N);
    }
    return 99;
}

// Code stated at selection: QR callers state 2, every other routine here a code other than 2.
int CodeFor(Kind k) { return k == Kind::Qr ? 2 : k == Kind::Prime ? 1 : 4; }

void Select(Kind k, int fieldIndex) {
    ASSERT_EQ(vexo::RS_SelectField(CodeFor(k), kRsFields[fieldIndex].size, kRsFields[fieldIndex].polynomial), 1);
}

// The engine's state at load.
void ResetEngine() {
    g_rsField.built = 0;
    g_rsField.selectedLog = nullptr;
    g_rsField.selectedAntilog = nullptr;
    g_rsField.selectedSize = 0;
    g_rsField.selectedPolynomial = 0;
    g_rsField.code = -1;
}

std::string Show(const Block &b) {
    std::ostringstream s;
    for (size_t i = 0; i < b.size() && i < 64; ++i) s << (i ? "," : "") << b[i];
    if (b.size() > 64) s << ",...";
    return s.str();
}

// ---------------------------------------------------------------------------------------
// One trial: a random codeword, E erasures and t errors at distinct random positions.
struct Trial {
    Kind kind;
    int field;  // index into kRsFields
    int n, N, E, t;
    uint32_t seed;
};

std::string Describe(const Trial &tr) {
    std::ostringstream s;
    s << KindName(tr.kind) << " field " << tr.field << " (poly " << kRsFields[tr.field].polynomial << ") n=" << tr.n
      << " N=" << tr.N << " E=" << tr.E << " t=" << tr.t << " seed=" << tr.seed;
    return s.str();
}

// Largest number of changes outside the erasures that the routine may make: -1 when none.
int AcceptedErrors(Kind k, int N, int E) {
    switch (k) {
        case Kind::General: return (N - 1) / 2;
        case Kind::Qr: return N / 2;
        default: {
            int best = -1;
            for (int L = 0; E + 2 * L < N && L < N / 2; ++L) best = L;
            return best;
        }
    }
}

// Whether a block that is a codeword once cleaned is answered 0 whatever its erasures.
bool AnswersCodewordsAtOnce(Kind k, int N, int E) {
    switch (k) {
        case Kind::Erasures: return E <= N;
        case Kind::Prime: return E == 0;
        default: return true;
    }
}

bool Correctable(Kind k, int N, int E, int t) {
    const int accepted = AcceptedErrors(k, N, E);
    return accepted >= 0 && t <= accepted && (HasErasures(k) ? E + 2 * t < N : true);
}

struct TrialResult {
    int rc;
    bool corrected;  // rc 0 and the sent block came back
};

// Runs the trial and checks every property that must hold whatever the outcome:
//  - the answer is 0 or -1; on -1 the block holds the received values after clean-up;
//  - on 0 the block is a codeword, no further than the routine's radius from the cleaned
//    block outside the erasures;
//  - within the correctable range the sent block comes back;
//  - where no other codeword lies within reach, the routine fails.
TrialResult RunTrial(const Trial &tr) {
    SCOPED_TRACE(Describe(tr));
    const RefField &F = Ref(tr.field);
    std::mt19937 rng(tr.seed);
    const int first = FirstRoot(tr.kind);
    Block data(static_cast<size_t>(tr.n - tr.N));
    for (int32_t &v : data) v = static_cast<int32_t>(rng() % static_cast<uint32_t>(F.size));
    Block sent = RefEncode(F, data, tr.N, first);
    if (LowFirst(tr.kind)) std::reverse(sent.begin(), sent.end());
    EXPECT_TRUE(RefIsCodeword(F, tr.kind, sent, tr.N)) << "reference encoder";

    std::vector<int> order(static_cast<size_t>(tr.n));
    for (int i = 0; i < tr.n; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    Block received(sent), cleaned(sent);
    std::vector<bool> erased(static_cast<size_t>(tr.n), false);
    for (int i = 0; i < tr.E; ++i) {
        const int p = order[i];
        static const int32_t kMarks[] = {-1, -1000, INT_MIN, INT_MAX, 0, 1, 4097};
        int32_t mark = kMarks[rng() % 7];
        if (mark == 0) mark = F.size;
        if (mark == 1) mark = F.size + static_cast<int32_t>(rng() % 5000);
        received[p] = mark;
        cleaned[p] = 0;
        erased[p] = true;
    }
    for (int i = tr.E; i < tr.E + tr.t; ++i) {
        const int p = order[i];
        // The plain routine zeroes values outside the field: another way of getting an error.
        if (tr.kind == Kind::General && sent[p] != 0 && rng() % 8 == 0) {
            received[p] = (rng() & 1) != 0 ? -1 - static_cast<int32_t>(rng() % 100) : F.size + static_cast<int32_t>(rng() % 100);
            cleaned[p] = 0;
            continue;
        }
        const int delta = 1 + static_cast<int>(rng() % static_cast<uint32_t>(F.q));
        received[p] = cleaned[p] = F.Add(sent[p], delta);
    }

    Block out(received);
    const int rc = Decode(tr.kind, out, tr.N);
    EXPECT_TRUE(rc == 0 || rc == -1) << "answer " << rc;
    if (rc != 0) {
        EXPECT_EQ(out, cleaned) << "a failed block keeps only the clean-up";
    } else {
        EXPECT_TRUE(RefIsCodeword(F, tr.kind, out, tr.N)) << "claimed success is not a codeword: " << Show(out);
        int changes = 0;
        for (int i = 0; i < tr.n; ++i) changes += !erased[i] && out[i] != cleaned[i] ? 1 : 0;
        if (changes > 0) {
            EXPECT_LE(changes, AcceptedErrors(tr.kind, tr.N, tr.E)) << "corrected beyond the routine's radius";
        }
    }
    if (Correctable(tr.kind, tr.N, tr.E, tr.t)) {
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(out, sent) << "received " << Show(received);
    } else if (AnswersCodewordsAtOnce(tr.kind, tr.N, tr.E) && RefIsCodeword(F, tr.kind, cleaned, tr.N)) {
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(out, cleaned);
    } else {
        // Another codeword c' accepted would lie within E + t + accepted of the sent one;
        // codewords differ in at least N + 1 places.
        const int accepted = AcceptedErrors(tr.kind, tr.N, tr.E);
        if (accepted < 0 || tr.E + tr.t + accepted <= tr.N) {
            EXPECT_EQ(rc, -1) << "no codeword lies within reach";
        }
    }
    return TrialResult{rc, rc == 0 && out == sent};
}

bool IsBinary(int field) { return kRsFields[field].size != 929; }

class RsTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        ResetEngine();
    }
};

// ---------------------------------------------------------------------------------------
// Tables and selection

TEST_F(RsTest, TablesOfAllNineFieldsMatchTheirDefinition) {
    ASSERT_EQ(vexo::RS_SelectField(4, 256, 0x12D), 1);
    for (int index = 0; index < vexo::kRsFieldCount; ++index) {
        SCOPED_TRACE("field " + std::to_string(index));
        const RefField &F = Ref(index);
        const int32_t *lg = g_rsField.log + vexo::RS_TableOffset(index);
        const int32_t *al = g_rsField.antilog + vexo::RS_TableOffset(index);
        std::vector<int> seen(static_cast<size_t>(F.size), 0);
        for (int j = 0; j <= F.q; ++j) {
            ASSERT_EQ(al[j], j == F.q ? 1 : F.exp[j]) << "antilog " << j;
            if (j < F.q) ++seen[al[j]];
            if (j >= 1) {
                ASSERT_EQ(lg[al[j]], j) << "log of antilog " << j;
            }
        }
        for (int a = 1; a < F.size; ++a) {
            ASSERT_EQ(seen[a], 1) << "element " << a << " is not a single power of the generator";
            ASSERT_EQ(al[lg[a] == F.q ? 0 : lg[a]], a) << "antilog of log " << a;
        }
        EXPECT_EQ(seen[0], 0);
        EXPECT_EQ(lg[1], F.q);
        EXPECT_EQ(lg[0], 1 - F.size);
    }
    // The prime field's generator is 3: its order is 928 = 2^5 * 29.
    const int32_t *al929 = g_rsField.antilog + vexo::RS_TableOffset(vexo::kRsPrimeIndex);
    EXPECT_EQ(al929[1], 3);
    const RefField &P = Ref(vexo::kRsPrimeIndex);
    int x = 1;
    for (int e = 1; e <= 928; ++e) {
        x = P.SlowMul(x, 3);
        if (e < 928) {
            ASSERT_NE(x, 1) << "3^" << e;
        }
    }
    EXPECT_EQ(x, 1);
}

TEST_F(RsTest, ReferenceTableProductsMatchShiftAndAdd) {
    std::mt19937 rng(7001);
    for (int index = 0; index < vexo::kRsFieldCount; ++index) {
        const RefField &F = Ref(index);
        for (int i = 0; i < 2000; ++i) {
            const int a = static_cast<int>(rng() % F.size), b = static_cast<int>(rng() % F.size);
            ASSERT_EQ(F.Mul(a, b), F.SlowMul(a, b)) << "field " << index << " " << a << "*" << b << " seed 7001";
        }
    }
}

TEST_F(RsTest, SelectionChoosesByPolynomialAlone) {
    struct Case {
        int code, size, poly, answer, selectedSize;
    };
    const Case cases[] = {
        {4, 256, 301, 1, 256}, {4, 0, 301, 1, 256},   {4, -5, 301, 1, 256}, {2, 256, 285, 1, 256},
        {7, 256, 355, 1, 256}, {3, 16, 19, 1, 16},    {3, 64, 67, 1, 64},   {3, 1024, 1033, 1, 1024},
        {3, 4096, 4201, 1, 4096}, {1, 929, 929, 1, 929}, {0, 128, 137, 1, 128}, {4, 256, 302, 0, 128},
        {4, 256, 0, 0, 128},   {4, 256, -1, 0, 128},  {4, 929, 928, 0, 128}, {4, 128, 0x11, 0, 128},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("poly " + std::to_string(c.poly) + " size " + std::to_string(c.size));
        ResetEngine();
        EXPECT_EQ(vexo::RS_SelectField(c.code, c.size, c.poly), c.answer);
        // A refused polynomial leaves the selection made by the table build (GF(128)).
        EXPECT_EQ(g_rsField.selectedSize, c.selectedSize);
        EXPECT_EQ(g_rsField.code, c.answer == 1 ? c.code : -1);
        if (c.answer == 1) {
            EXPECT_EQ(g_rsField.selectedPolynomial, c.poly);
        }
    }
}

TEST_F(RsTest, RefusedPolynomialKeepsTheTablesButBlocksDecoding) {
    ASSERT_EQ(vexo::RS_SelectField(4, 256, 301), 1);
    ASSERT_EQ(vexo::RS_SelectField(4, 256, 302), 0);
    EXPECT_EQ(g_rsField.selectedPolynomial, 301);
    Block b(20, 0);
    b[3] = 300;
    EXPECT_EQ(vexo::RS_DecodeBlock(b.data(), 12, 8), -10);
    EXPECT_EQ(vexo::RS_DecodeBlockErasures(b.data(), 12, 8), -10);
    EXPECT_EQ(vexo::RS_DecodeBlockQr(b.data(), 20, 8), -10);
    EXPECT_EQ(b[3], 300) << "-10 touches nothing";
    // The prime routine reads no code.
    ASSERT_EQ(vexo::RS_SelectField(1, 929, 929), 1);
    ASSERT_EQ(vexo::RS_SelectField(1, 929, 930), 0);
    Block p(20, 0);
    p[5] = 1000;
    EXPECT_EQ(vexo::RS_DecodeBlock929(p.data(), 20, 8), 0);
    EXPECT_EQ(p[5], 0);
}

// The tables are built once: resets between selections empty the selection only, and what a
// long run of resets and selections leaves equals a fresh construction.
TEST_F(RsTest, ResetKeepsTheTablesBuiltOnce) {
    ASSERT_EQ(vexo::RS_SelectField(2, 256, 285), 1);
    const int32_t cell = vexo::RS_TableOffset(2) + 9;
    const int32_t saved = g_rsField.antilog[cell];
    g_rsField.antilog[cell] = 0;  // a rebuild would restore it
    vexo::RS_ResetField();
    EXPECT_EQ(g_rsField.selectedLog, nullptr);
    ASSERT_EQ(vexo::RS_SelectField(2, 256, 285), 1);
    EXPECT_EQ(g_rsField.antilog[cell], 0) << "a reset rebuilt the tables";
    g_rsField.antilog[cell] = saved;

    std::mt19937 rng(7002);
    for (int i = 0; i < 200; ++i) {
        vexo::RS_ResetField();
        const int index = static_cast<int>(rng() % vexo::kRsFieldCount);
        ASSERT_EQ(vexo::RS_SelectField(2, 0, kRsFields[index].polynomial), 1);
        Block b(static_cast<size_t>(std::min(kRsFields[index].size - 1, 40)), 0);
        if (IsBinary(index)) vexo::RS_DecodeBlockQr(b.data(), static_cast<int>(b.size()), 8);
    }
    const std::vector<int32_t> log(g_rsField.log, g_rsField.log + vexo::kRsTablePool);
    const std::vector<int32_t> antilog(g_rsField.antilog, g_rsField.antilog + vexo::kRsTablePool);
    ResetEngine();
    for (int32_t &v : g_rsField.log) v = -7;
    for (int32_t &v : g_rsField.antilog) v = -7;
    ASSERT_EQ(vexo::RS_SelectField(2, 256, 285), 1);
    for (int i = 0; i < vexo::kRsTablePool; ++i) {
        ASSERT_EQ(g_rsField.log[i], log[static_cast<size_t>(i)]) << "log cell " << i;
        ASSERT_EQ(g_rsField.antilog[i], antilog[static_cast<size_t>(i)]) << "antilog cell " << i;
    }
}

// Before any selection, after RS_ResetField, or with a negative code, the routines that read
// the code answer -10 without touching the block; the prime routine needs built tables.
TEST_F(RsTest, NoFieldSelectedAnswersMinusTenAheadOfEverything) {
    struct Step {
        const char *what;
        void (*prepare)();
        int general, qr, erasures, prime;
    };
    const Step steps[] = {
        {"at load", [] {}, -10, -10, -10, -1},
        {"after reset", [] { vexo::RS_SelectField(2, 256, 285); vexo::RS_ResetField(); }, -10, -10, -10, 0},
        {"code -3", [] { vexo::RS_SelectField(-3, 256, 285); }, -10, 0, -10, 0},
        {"code -1 stated", [] { vexo::RS_SelectField(-1, 256, 285); }, -10, -10, -10, 0},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        ResetEngine();
        s.prepare();
        Block zeros(10, 0), marked(10, 0);
        marked[2] = 300;
        const struct {
            Kind kind;
            int expected;
        } runs[] = {{Kind::General, s.general}, {Kind::Qr, s.qr}, {Kind::Erasures, s.erasures}, {Kind::Prime, s.prime}};
        for (const auto &r : runs) {
            SCOPED_TRACE(KindName(r.kind));
            Block b = r.kind == Kind::Qr ? zeros : marked;
            EXPECT_EQ(Decode(r.kind, b, 4), r.expected);
            if (r.expected == -10 || r.expected == -1) {
                EXPECT_EQ(b, r.kind == Kind::Qr ? zeros : marked);
            }
            // Bad counts do not overtake -10.
            if (r.expected == -10) {
                EXPECT_EQ(r.kind == Kind::General ? vexo::RS_DecodeBlock(b.data(), INT_MAX, INT_MAX)
                          : r.kind == Kind::Qr    ? vexo::RS_DecodeBlockQr(b.data(), 5000, -1)
                                                  : vexo::RS_DecodeBlockErasures(b.data(), -3, 9),
                          -10);
            }
        }
    }
}

// Block lengths and check counts come from decoded data: out-of-range counts answer -1
// and nothing is read or written (the buffers hold only what a correct call may touch and
// carry out-of-range values that a decode would zero).
TEST_F(RsTest, CountsOutsideTheFieldPeriodAreRefused) {
    struct Case {
        Kind kind;
        int field;
        int a, b;  // (dataCount, checkCount) or (count, checkCount)
        int expected;
    };
    const Case cases[] = {
        {Kind::General, 0, 10, 5, 0},        {Kind::General, 0, 11, 5, -1},       {Kind::General, 0, 0, 16, -1},
        {Kind::General, 0, -1, 5, -1},       {Kind::General, 0, 3, -1, -1},       {Kind::General, 0, INT_MAX, INT_MAX, -1},
        {Kind::General, 0, INT_MIN, 5, -1},  {Kind::General, 3, 250, 5, 0},       {Kind::General, 3, 251, 5, -1},
        {Kind::General, 6, 4090, 6, -1},     {Kind::General, 6, 4089, -7000, -1}, {Kind::Erasures, 1, 59, 4, 0},
        {Kind::Erasures, 1, 60, 4, -1},      {Kind::Erasures, 1, -4, 4, -1},      {Kind::Erasures, 1, 4, INT_MIN, -1},
        {Kind::Qr, 2, 255, 10, 0},           {Kind::Qr, 2, 256, 10, -1},          {Kind::Qr, 2, 10, 11, -1},
        {Kind::Qr, 2, 10, -1, -1},           {Kind::Qr, 2, -1, 0, -1},            {Kind::Qr, 8, 128, 2, -1},
        {Kind::Prime, 7, 928, 10, 0},        {Kind::Prime, 7, 929, 10, -1},       {Kind::Prime, 7, 10, 11, -1},
        {Kind::Prime, 7, 10, -1, -1},        {Kind::Prime, 7, -5, -6, -1},        {Kind::Prime, 7, INT_MAX, 2, -1},
    };
    for (const Case &c : cases) {
        std::ostringstream what;
        what << KindName(c.kind) << " field " << c.field << " (" << c.a << ", " << c.b << ")";
        SCOPED_TRACE(what.str());
        ResetEngine();
        Select(c.kind, c.field);
        const int64_t n = c.kind == Kind::General || c.kind == Kind::Erasures ? int64_t{c.a} + c.b : c.a;
        const size_t len = c.expected == 0 ? static_cast<size_t>(n) : static_cast<size_t>(std::clamp<int64_t>(n, 0, 8));
        const int32_t mark = c.kind == Kind::Qr ? 1 : -7;
        Block b(len, mark);
        int rc = 99;
        switch (c.kind) {
            case Kind::General: rc = vexo::RS_DecodeBlock(b.data(), c.a, c.b); break;
            case Kind::Qr: rc = vexo::RS_DecodeBlockQr(b.data(), c.a, c.b); break;
            case Kind::Erasures: rc = vexo::RS_DecodeBlockErasures(b.data(), c.a, c.b); break;
            case Kind::Prime: rc = vexo::RS_DecodeBlock929(b.data(), c.a, c.b); break;
        }
        if (c.expected == 0) {
            EXPECT_NE(rc, -10);  // a fitting block is decoded (the outcome is another test's)
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(b, Block(len, mark)) << "a refused block is left as it was";
        }
    }
}

TEST_F(RsTest, NullBlocksAreRefusedAndEmptyOnesAreCodewords) {
    for (Kind k : {Kind::General, Kind::Qr, Kind::Erasures, Kind::Prime}) {
        SCOPED_TRACE(KindName(k));
        ResetEngine();
        Select(k, k == Kind::Prime ? 7 : 2);
        Block none;
        EXPECT_EQ(Decode(k, none, 0), 0);
        const int n = 10, N = 4;
        int rc = k == Kind::General    ? vexo::RS_DecodeBlock(nullptr, n - N, N)
                 : k == Kind::Qr       ? vexo::RS_DecodeBlockQr(nullptr, n, N)
                 : k == Kind::Erasures ? vexo::RS_DecodeBlockErasures(nullptr, n - N, N)
                                       : vexo::RS_DecodeBlock929(nullptr, n, N);
        EXPECT_EQ(rc, -1);
    }
}

// The XOR routines on the prime field's tables would index past them.
TEST_F(RsTest, BinaryRoutinesRefuseThePrimeField) {
    ASSERT_EQ(vexo::RS_SelectField(4, 929, 929), 1);
    for (Kind k : {Kind::General, Kind::Qr, Kind::Erasures}) {
        SCOPED_TRACE(KindName(k));
        Block b(12, 900);
        b[1] = 1000;
        const Block before(b);
        EXPECT_EQ(Decode(k, b, 4), -1);
        EXPECT_EQ(b, before);
    }
    Block locator(9, 0);
    const int32_t s[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(vexo::RS_BerlekampMassey(s, 8, locator.data()), -1);
}

// The prime routine works over GF(929) whichever field is selected.
TEST_F(RsTest, PrimeRoutineIgnoresTheSelectedBinaryField) {
    Select(Kind::General, 6);
    const Trial tr{Kind::Prime, 7, 40, 10, 2, 3, 42};
    EXPECT_TRUE(RunTrial(tr).corrected);
}

// ---------------------------------------------------------------------------------------
// Fixed examples

struct RsExampleCase {
    Kind kind;
    int field, n, N, E, t;
    int expected;
};

TEST_F(RsTest, ErrorAndErasureLimitsOfEachRoutine) {
    const RsExampleCase cases[] = {
        // Data Matrix block with 8 check words: 3 errors corrected, 4 fail.
        {Kind::General, 3, 18, 8, 0, 3, 0},
        {Kind::General, 3, 18, 8, 0, 4, -1},
        {Kind::General, 3, 17, 7, 0, 3, 0},
        {Kind::General, 3, 17, 7, 0, 4, -1},
        // Aztec mode messages in GF(16).
        {Kind::General, 0, 7, 5, 0, 2, 0},
        {Kind::General, 0, 7, 5, 0, 3, -1},
        {Kind::General, 0, 10, 6, 0, 2, 0},
        {Kind::General, 0, 10, 6, 0, 3, -1},
        // QR block with 8 check words: radius 4.
        {Kind::Qr, 2, 26, 8, 0, 4, 0},
        {Kind::Qr, 2, 26, 7, 0, 3, 0},
        {Kind::Qr, 2, 26, 10, 0, 5, 0},
        // PDF417 with 8 check words.
        {Kind::Prime, 7, 30, 8, 7, 0, 0},
        {Kind::Prime, 7, 30, 8, 8, 0, -1},
        {Kind::Prime, 7, 30, 8, 9, 0, -1},
        {Kind::Prime, 7, 30, 8, 0, 3, 0},
        {Kind::Prime, 7, 30, 8, 0, 4, -1},
        {Kind::Prime, 7, 30, 8, 2, 3, -1},
        {Kind::Prime, 7, 30, 8, 1, 3, 0},
        {Kind::Prime, 7, 30, 8, 3, 2, 0},
        {Kind::Prime, 7, 30, 8, 4, 2, -1},
        {Kind::Prime, 7, 30, 8, 5, 1, 0},
        {Kind::Prime, 7, 30, 8, 6, 1, -1},
        // 7 check words: t < floor(7 / 2) allows only 2 errors.
        {Kind::Prime, 7, 30, 7, 0, 2, 0},
        {Kind::Prime, 7, 30, 7, 0, 3, -1},
        {Kind::Prime, 7, 30, 7, 6, 0, 0},
        {Kind::Prime, 7, 30, 7, 7, 0, -1},
        {Kind::Prime, 7, 30, 7, 2, 2, 0},
        // Level 0 (2 check words): one erasure, no error.
        {Kind::Prime, 7, 12, 2, 1, 0, 0},
        {Kind::Prime, 7, 12, 2, 0, 1, -1},
        // The unused erasure routine of the binary fields.
        {Kind::Erasures, 3, 40, 8, 7, 0, 0},
        {Kind::Erasures, 3, 40, 8, 8, 0, -1},
        {Kind::Erasures, 3, 40, 8, 0, 3, 0},
        {Kind::Erasures, 3, 40, 8, 2, 2, 0},
        {Kind::Erasures, 3, 40, 8, 2, 3, -1},
        {Kind::Erasures, 0, 15, 9, 4, 2, 0},
    };
    uint32_t seed = 100;
    for (const RsExampleCase &c : cases) {
        for (int rep = 0; rep < 20; ++rep) {
            ResetEngine();
            Select(c.kind, c.field);
            const Trial tr{c.kind, c.field, c.n, c.N, c.E, c.t, seed++};
            const TrialResult r = RunTrial(tr);
            ASSERT_EQ(r.rc, c.expected) << Describe(tr);
            if (c.expected == 0) {
                ASSERT_TRUE(r.corrected) << Describe(tr);
            }
        }
    }
}

TEST_F(RsTest, PlainRoutineZeroesValuesOutsideTheField) {
    Select(Kind::General, 3);
    const RefField &F = Ref(3);
    std::mt19937 rng(555);
    Block data(12);
    for (int32_t &v : data) v = static_cast<int32_t>(rng() % 256);
    data[4] = 0;
    data[5] = 77;
    const Block sent = RefEncode(F, data, 8, 1);
    // 300 where the codeword holds 0: no error at all once zeroed.
    Block b(sent);
    b[4] = 300;
    EXPECT_EQ(vexo::RS_DecodeBlock(b.data(), 12, 8), 0);
    EXPECT_EQ(b, sent);
    // 300 where it holds 77: one error, corrected.
    b = sent;
    b[5] = 300;
    EXPECT_EQ(vexo::RS_DecodeBlock(b.data(), 12, 8), 0);
    EXPECT_EQ(b, sent);
    // An all-zero block with out-of-range values: zeroed, answer 0.
    Block z(20, 0);
    z[0] = -1;
    z[19] = 256;
    z[7] = INT_MAX;
    EXPECT_EQ(vexo::RS_DecodeBlock(z.data(), 12, 8), 0);
    EXPECT_EQ(z, Block(20, 0));
    // A codeword comes back unchanged.
    b = sent;
    EXPECT_EQ(vexo::RS_DecodeBlock(b.data(), 12, 8), 0);
    EXPECT_EQ(b, sent);
    // Failure keeps the zeroing but no correction.
    b = sent;
    for (int i : {0, 3, 9, 15}) b[i] ^= 0x5A;
    b[1] = 999;
    Block expected(b);
    expected[1] = 0;
    EXPECT_EQ(vexo::RS_DecodeBlock(b.data(), 12, 8), -1);
    EXPECT_EQ(b, expected);
}

// The QR routine reads bytes only: a value outside the field is refused, not zeroed.
TEST_F(RsTest, QrRoutineRefusesValuesOutsideTheField) {
    Select(Kind::Qr, 2);
    const RefField &F = Ref(2);
    Block data(16, 0);
    std::mt19937 rng(31);
    for (int32_t &v : data) v = static_cast<int32_t>(rng() % 256);
    Block sent = RefEncode(F, data, 10, 0);
    std::reverse(sent.begin(), sent.end());
    for (int32_t bad : {256, 300, -1, INT_MIN, INT_MAX, 1 << 20}) {
        for (int pos : {0, 13, 25}) {
            Block b(sent);
            b[pos] = bad;
            const Block before(b);
            EXPECT_EQ(vexo::RS_DecodeBlockQr(b.data(), 26, 10), -1) << bad << " at " << pos;
            EXPECT_EQ(b, before);
        }
    }
}

// Syndromes (0, 0, 1) with 3 check words: the locator 1 + x^3 has exactly three roots in a
// 255-byte block (the cube roots of unity), yet three changes exceed what 3 check words can
// vouch for.
TEST_F(RsTest, QrRoutineRefusesLocatorsLongerThanHalfTheCheckWords) {
    Select(Kind::Qr, 2);
    const RefField &F = Ref(2);
    const int w = F.Alpha(85);
    ASSERT_EQ(F.Mul(w, F.Mul(w, w)), 1);
    Block b(255, 0);
    b[0] = 1;
    b[85] = w;
    b[170] = F.Mul(w, w);
    const Block before(b);
    EXPECT_EQ(vexo::RS_DecodeBlockQr(b.data(), 255, 3), -1);
    EXPECT_EQ(b, before);
    // The same pattern shifted into a block of 4 check words: 3 > 4 / 2.
    Block c(255, 0);
    c[1] = 1;
    c[86] = w;
    c[171] = F.Mul(w, w);
    EXPECT_EQ(vexo::RS_DecodeBlockQr(c.data(), 255, 4), -1);
}

TEST_F(RsTest, CodewordsComeBackUnchanged) {
    for (Kind k : {Kind::General, Kind::Qr, Kind::Erasures, Kind::Prime}) {
        const int field = k == Kind::Prime ? 7 : 4;
        ResetEngine();
        Select(k, field);
        for (int N : {0, 1, 2, 9}) {
            const Trial tr{k, field, 30, N, 0, 0, static_cast<uint32_t>(900 + N)};
            EXPECT_TRUE(RunTrial(tr).corrected) << Describe(tr);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Helpers of the prime routine and Berlekamp-Massey

TEST_F(RsTest, MarkErasuresNumbersByDegreeAndZeroes) {
    Block c = {5, 929, 3, -1, 928, 1000, 0, INT_MIN};
    std::vector<uint16_t> pos(c.size() + 1, 0xFFFF);
    EXPECT_EQ(vexo::RS_MarkErasures929(c.data(), 8, pos.data()), 4);
    EXPECT_EQ(c, (Block{5, 0, 3, 0, 928, 0, 0, 0}));
    EXPECT_EQ(pos[1], 0);
    EXPECT_EQ(pos[2], 2);
    EXPECT_EQ(pos[3], 4);
    EXPECT_EQ(pos[4], 6);
    EXPECT_EQ(pos[5], 0xFFFF);
    EXPECT_EQ(vexo::RS_MarkErasures929(c.data(), 0, pos.data()), 0);
    EXPECT_EQ(vexo::RS_MarkErasures929(nullptr, 8, pos.data()), 0);
}

TEST_F(RsTest, PrimeSyndromesMatchTheReference) {
    Select(Kind::Prime, 7);
    const RefField &F = Ref(7);
    std::mt19937 rng(8080);
    for (int rep = 0; rep < 20; ++rep) {
        const int n = 1 + static_cast<int>(rng() % 928), N = 1 + static_cast<int>(rng() % 64);
        Block c(static_cast<size_t>(n));
        for (int32_t &v : c) v = static_cast<int32_t>(rng() % 929);
        std::vector<int32_t> s(static_cast<size_t>(N) + 1, -5);
        vexo::RS_Syndromes929(c.data(), n, N, s.data());
        EXPECT_EQ(s[0], -5);
        for (int j = 1; j <= N; ++j) {
            int v = 0;
            for (int32_t cw : c) v = F.Add(F.Mul(v, F.Alpha(j)), cw);
            ASSERT_EQ(s[j], v) << "j=" << j << " n=" << n << " seed 8080 rep " << rep;
        }
    }
}

// Massey's synthesis written out plainly, over the reference arithmetic.
std::vector<int> RefMassey(const RefField &F, const std::vector<int> &s) {
    std::vector<int> C{1}, B{1};
    int L = 0, m = 1, b = 1;
    for (size_t n = 0; n < s.size(); ++n) {
        int d = s[n];
        for (int i = 1; i <= L; ++i) d = F.Add(d, F.Mul(i < static_cast<int>(C.size()) ? C[i] : 0, s[n - i]));
        if (d == 0) {
            ++m;
            continue;
        }
        std::vector<int> T = C;
        const int coef = F.Mul(d, F.Inv(b));
        if (C.size() < B.size() + m) C.resize(B.size() + m, 0);
        for (size_t i = 0; i < B.size(); ++i) C[i + m] = F.Sub(C[i + m], F.Mul(coef, B[i]));
        if (2 * L <= static_cast<int>(n)) {
            L = static_cast<int>(n) + 1 - L;
            B = T;
            b = d;
            m = 1;
        } else {
            ++m;
        }
    }
    C.resize(static_cast<size_t>(L) + 1, 0);
    return C;
}

TEST_F(RsTest, BerlekampMasseyMatchesCoefficientForCoefficient) {
    std::mt19937 rng(4242);
    for (int field : {0, 1, 2, 5, 6, 7}) {
        const RefField &F = Ref(field);
        for (int rep = 0; rep < 60; ++rep) {
            const int N = static_cast<int>(rng() % 40);
            std::vector<int> s(static_cast<size_t>(N));
            const int style = rep % 3;
            for (int i = 0; i < N; ++i) {
                // Random; sparse (long locators, 2L > N); a short recurrence.
                if (style == 0) s[i] = static_cast<int>(rng() % F.size);
                if (style == 1) s[i] = rng() % 5 == 0 ? static_cast<int>(rng() % F.size) : 0;
                if (style == 2) s[i] = i < 3 ? static_cast<int>(rng() % F.size) : F.Add(F.Mul(s[i - 1], 7 % F.size), s[i - 3]);
            }
            const std::vector<int> expected = RefMassey(F, s);
            for (int code : {2, 5}) {
                SCOPED_TRACE("field " + std::to_string(field) + " N " + std::to_string(N) + " code " +
                             std::to_string(code) + " seed 4242 rep " + std::to_string(rep));
                ResetEngine();
                ASSERT_EQ(vexo::RS_SelectField(code, F.size, kRsFields[field].polynomial), 1);
                std::vector<int32_t> in(static_cast<size_t>(N) + 1, 0);
                for (int i = 0; i < N; ++i) in[static_cast<size_t>(i + (field != 7 && code == 2 ? 0 : 1))] = s[i];
                std::vector<int32_t> out(static_cast<size_t>(N) + 1, -9);
                const int L = field == 7 ? vexo::RS_BerlekampMassey929(in.data(), N, out.data())
                                         : vexo::RS_BerlekampMassey(in.data(), N, out.data());
                ASSERT_EQ(L + 1, static_cast<int>(expected.size()));
                for (int i = 0; i <= L; ++i) ASSERT_EQ(out[i], expected[i]) << "coefficient " << i;
            }
        }
    }
}

// Error values on the given degrees whose syndromes S_1..S_N (S[0..N-1]) are given.
std::vector<int> RefSolveErrors(const RefField &F, const std::vector<int> &degrees, const std::vector<int> &S) {
    const size_t N = S.size();
    std::vector<std::vector<int>> m(N, std::vector<int>(N + 1));
    for (size_t j = 0; j < N; ++j) {
        for (size_t p = 0; p < N; ++p) m[j][p] = F.Alpha(static_cast<int64_t>(degrees[p]) * static_cast<int64_t>(j + 1));
        m[j][N] = S[j];
    }
    for (size_t col = 0; col < N; ++col) {
        size_t pivot = col;
        while (m[pivot][col] == 0) ++pivot;
        std::swap(m[pivot], m[col]);
        const int inv = F.Inv(m[col][col]);
        for (int &v : m[col]) v = F.Mul(v, inv);
        for (size_t r = 0; r < N; ++r) {
            if (r == col || m[r][col] == 0) continue;
            const int f = m[r][col];
            for (size_t c = col; c <= N; ++c) m[r][c] = F.Sub(m[r][c], F.Mul(f, m[col][c]));
        }
    }
    std::vector<int> e(N);
    for (size_t p = 0; p < N; ++p) e[p] = m[p][N];
    return e;
}

// Beyond the limits Berlekamp-Massey may return a locator with a root on an erased
// position; the full locator then has a double root and Forney's formula has no answer.
// Built here: modified syndromes generated by (1 - X_12 x)(1 - X_3 x) with erasures at
// degrees 3 and 7, realised by a block whose errors sit on degrees 10..19.
TEST_F(RsTest, ALocatorRootOnAnErasureIsRefused) {
    for (Kind kind : {Kind::Prime, Kind::Erasures}) {
        const int field = kind == Kind::Prime ? 7 : 2;
        SCOPED_TRACE(KindName(kind));
        ResetEngine();
        Select(kind, field);
        const RefField &F = Ref(field);
        const int n = 30, N = 10;
        const int erasures[] = {3, 7};
        std::vector<int> gamma{1};
        for (int e : erasures) {
            std::vector<int> next(gamma.size() + 1, 0);
            for (size_t i = 0; i < next.size(); ++i) {
                next[i] = F.Sub(i < gamma.size() ? gamma[i] : 0, i >= 1 ? F.Mul(F.Alpha(e), gamma[i - 1]) : 0);
            }
            gamma = next;
        }
        const int E = 2;
        std::vector<int> T(N - E);
        for (int i = 0; i < N - E; ++i) T[i] = F.Add(F.Mul(5, F.Alpha(12 * i)), F.Mul(9, F.Alpha(3 * i)));
        const std::vector<int> lambda = RefMassey(F, T);
        ASSERT_EQ(lambda.size(), 3u);
        ASSERT_EQ(lambda[1], F.Sub(0, F.Add(F.Alpha(12), F.Alpha(3))));
        // S_1..S_E free (0); the rest follow from T = coefficients E.. of Gamma S.
        std::vector<int> S(N, 0);
        for (int i = 0; i < N - E; ++i) {
            int v = T[i];
            for (int j = 1; j <= E; ++j) v = F.Sub(v, F.Mul(gamma[j], S[E + i - j]));
            S[E + i] = v;
        }
        std::vector<int> degrees;
        for (int d = 10; d < 10 + N; ++d) degrees.push_back(d);
        const std::vector<int> values = RefSolveErrors(F, degrees, S);
        Block cleaned(n, 0);
        for (size_t p = 0; p < degrees.size(); ++p) cleaned[n - 1 - degrees[p]] = values[p];
        for (int j = 1; j <= N; ++j) {
            int v = 0;
            for (int32_t cw : cleaned) v = F.Add(F.Mul(v, F.Alpha(j)), cw);
            ASSERT_EQ(v, S[j - 1]) << "construction, S_" << j;
        }
        Block b(cleaned);
        b[n - 1 - 3] = -1;
        b[n - 1 - 7] = F.size;
        EXPECT_EQ(Decode(kind, b, N), -1);
        EXPECT_EQ(b, cleaned);
    }
}

TEST_F(RsTest, BerlekampMasseyRefusesWhatItCannotRead) {
    int32_t s[6] = {0, 1, 2, 3, 4, 5};
    int32_t out[6] = {};
    EXPECT_EQ(vexo::RS_BerlekampMassey(s, 5, out), -1) << "no field";
    EXPECT_EQ(vexo::RS_BerlekampMassey929(s, 5, out), -1) << "no tables";
    ASSERT_EQ(vexo::RS_SelectField(4, 16, 0x13), 1);
    EXPECT_EQ(vexo::RS_BerlekampMassey(s, -1, out), -1);
    EXPECT_EQ(vexo::RS_BerlekampMassey(s, 4097, out), -1);
    EXPECT_EQ(vexo::RS_BerlekampMassey(nullptr, 5, out), -1);
    EXPECT_EQ(vexo::RS_BerlekampMassey(s, 5, nullptr), -1);
    s[3] = 16;
    EXPECT_EQ(vexo::RS_BerlekampMassey(s, 5, out), -1) << "value outside GF(16)";
    s[3] = 3;
    EXPECT_GE(vexo::RS_BerlekampMassey(s, 5, out), 0);
    s[2] = 929;
    EXPECT_EQ(vexo::RS_BerlekampMassey929(s, 5, out), -1);
    s[2] = -1;
    EXPECT_EQ(vexo::RS_BerlekampMassey929(s, 5, out), -1);
    s[2] = 2;
    EXPECT_EQ(vexo::RS_BerlekampMassey929(s, 0, out), 0);
    EXPECT_EQ(out[0], 1);
}

// ---------------------------------------------------------------------------------------
// Random sweeps. Each block's seed is printed by its trace; sizes mostly up to 255.

// Draws a trial with the given routine and field: n up to maxN, N in 0..n, E and t chosen to
// fall inside, at and just beyond the limits, or anywhere.
Trial DrawTrial(std::mt19937 &rng, Kind kind, int field, int maxN) {
    const RefField &F = Ref(field);
    Trial tr{kind, field, 0, 0, 0, 0, static_cast<uint32_t>(rng())};
    tr.n = 1 + static_cast<int>(rng() % static_cast<uint32_t>(std::min(F.q, maxN)));
    tr.N = static_cast<int>(rng() % static_cast<uint32_t>(tr.n + 1));
    if (rng() % 4 == 0) tr.N = std::min(tr.n, static_cast<int>(rng() % 12));
    if (HasErasures(kind)) tr.E = static_cast<int>(rng() % static_cast<uint32_t>(tr.N + 2));
    tr.E = std::min(tr.E, tr.n);
    const int accepted = AcceptedErrors(kind, tr.N, tr.E);
    int limit = std::max(0, accepted);
    if (HasErasures(kind)) {
        while (limit > 0 && tr.E + 2 * limit >= tr.N) --limit;
    }
    switch (rng() % 4) {
        case 0: tr.t = static_cast<int>(rng() % static_cast<uint32_t>(limit + 1)); break;
        case 1: tr.t = limit; break;
        case 2: tr.t = limit + 1; break;
        default: tr.t = static_cast<int>(rng() % static_cast<uint32_t>(tr.n - tr.E + 1)); break;
    }
    tr.t = std::min(tr.t, tr.n - tr.E);
    return tr;
}

struct SweepCounts {
    int corrected = 0, failed = 0, trials = 0;
};

SweepCounts Sweep(Kind kind, int field, int blocks, int maxN, uint32_t seed) {
    SweepCounts counts;
    std::mt19937 rng(seed);
    ResetEngine();
    Select(kind, field);
    for (int i = 0; i < blocks && !::testing::Test::HasFailure(); ++i) {
        const Trial tr = DrawTrial(rng, kind, field, maxN);
        const TrialResult r = RunTrial(tr);
        ++counts.trials;
        counts.corrected += r.corrected ? 1 : 0;
        counts.failed += r.rc == -1 ? 1 : 0;
    }
    return counts;
}

class RsSweep : public RsTest, public ::testing::WithParamInterface<std::pair<Kind, int>> {};

TEST_P(RsSweep, CorrectsWithinTheLimitsAndNeverClaimsAWrongBlock) {
    const auto [kind, field] = GetParam();
    const uint32_t seed = 20240 + static_cast<uint32_t>(field) * 31 + static_cast<uint32_t>(kind);
    SCOPED_TRACE("sweep seed " + std::to_string(seed));
    const int blocks = kind == Kind::Prime ? 500 : 400;
    const SweepCounts c = Sweep(kind, field, blocks, 255, seed);
    // Both outcomes must occur in a sweep that reaches beyond the limits.
    EXPECT_GT(c.corrected, c.trials / 4);
    EXPECT_GT(c.failed, c.trials / 20);
}

std::vector<std::pair<Kind, int>> SweepParams() {
    std::vector<std::pair<Kind, int>> v;
    for (int field = 0; field < vexo::kRsFieldCount; ++field) {
        if (!IsBinary(field)) continue;
        v.emplace_back(Kind::General, field);
        v.emplace_back(Kind::Erasures, field);
        v.emplace_back(Kind::Qr, field);
    }
    v.emplace_back(Kind::Prime, 7);
    return v;
}

std::string SweepName(const ::testing::TestParamInfo<std::pair<Kind, int>> &info) {
    return std::string(KindName(info.param.first)) + "_field" + std::to_string(info.param.second);
}

INSTANTIATE_TEST_SUITE_P(AllRoutines, RsSweep, ::testing::ValuesIn(SweepParams()), SweepName);

// Whatever arrives, a success is a codeword within the routine's radius of what arrived.
TEST_F(RsTest, RandomBlocksAreNeverClaimedWithoutZeroSyndromes) {
    std::mt19937 rng(777);
    int successes = 0;
    for (int i = 0; i < 3000 && !HasFailure(); ++i) {
        const Kind kind = static_cast<Kind>(rng() % 4);
        int field = static_cast<int>(rng() % vexo::kRsFieldCount);
        if (kind == Kind::Prime) field = 7;
        if (kind != Kind::Prime && field == 7) field = 0;
        const RefField &F = Ref(field);
        const int n = 1 + static_cast<int>(rng() % static_cast<uint32_t>(std::min(F.q, 60)));
        const int N = static_cast<int>(rng() % static_cast<uint32_t>(std::min(n, 6) + 1));
        std::ostringstream what;
        what << KindName(kind) << " field " << field << " n=" << n << " N=" << N << " seed 777 block " << i;
        SCOPED_TRACE(what.str());
        ResetEngine();
        Select(kind, field);
        Block b(static_cast<size_t>(n));
        for (int32_t &v : b) {
            v = static_cast<int32_t>(rng() % static_cast<uint32_t>(F.size));
            if (kind != Kind::Qr && rng() % 16 == 0) v = rng() % 2 ? -1 : F.size + static_cast<int32_t>(rng() % 3);
        }
        Block cleaned(b);
        std::vector<bool> erased(b.size(), false);
        int E = 0;
        for (size_t j = 0; j < b.size(); ++j) {
            if (b[j] >= 0 && b[j] < F.size) continue;
            cleaned[j] = 0;
            erased[j] = HasErasures(kind);
            E += HasErasures(kind) ? 1 : 0;
        }
        Block out(b);
        const int rc = Decode(kind, out, N);
        ASSERT_TRUE(rc == 0 || rc == -1);
        if (rc != 0) {
            ASSERT_EQ(out, cleaned);
            continue;
        }
        ++successes;
        ASSERT_TRUE(RefIsCodeword(F, kind, out, N)) << Show(b) << " -> " << Show(out);
        int changes = 0;
        for (int j = 0; j < n; ++j) changes += !erased[j] && out[j] != cleaned[j] ? 1 : 0;
        if (changes > 0) {
            ASSERT_LE(changes, AcceptedErrors(kind, N, E));
        }
    }
    EXPECT_GT(successes, 300);
}

// A few blocks as long as the large fields allow.
TEST_F(RsTest, FullLengthBlocksOfTheLargeFields) {
    const Trial trials[] = {
        {Kind::General, 5, 1023, 80, 0, 39, 11},    {Kind::General, 5, 1023, 80, 0, 40, 12},
        {Kind::General, 6, 4095, 64, 0, 31, 13},    {Kind::Erasures, 6, 4095, 40, 20, 9, 14},
        {Kind::Prime, 7, 928, 512, 200, 155, 15},   {Kind::Prime, 7, 928, 512, 0, 255, 16},
        {Kind::Prime, 7, 928, 512, 0, 256, 17},     {Kind::Prime, 7, 928, 64, 63, 0, 18},
        {Kind::Qr, 2, 255, 68, 0, 34, 19},          {Kind::General, 3, 255, 68, 0, 33, 20},
    };
    for (const Trial &tr : trials) {
        ResetEngine();
        Select(tr.kind, tr.field);
        const TrialResult r = RunTrial(tr);
        EXPECT_EQ(r.corrected, Correctable(tr.kind, tr.N, tr.E, tr.t)) << Describe(tr);
    }
}

// ---------------------------------------------------------------------------------------
// Large sweeps, run under the "slow" label.

class RsSlow : public RsTest {};

TEST_F(RsSlow, OneHundredThousandBlocksOverAllRoutines) {
    const uint32_t seed = 99001;
    SCOPED_TRACE("sweep seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const std::vector<std::pair<Kind, int>> params = SweepParams();
    for (int i = 0; i < 100000 && !HasFailure(); ++i) {
        const auto [kind, field] = params[rng() % params.size()];
        ResetEngine();
        Select(kind, field);
        RunTrial(DrawTrial(rng, kind, field, rng() % 64 == 0 ? 4095 : 255));
    }
}

}  // namespace
