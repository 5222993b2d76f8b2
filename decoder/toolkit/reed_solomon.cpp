// Reed-Solomon decoding: field tables and selection, Berlekamp-Massey, and the four block
// routines. Every field product goes through the log and antilog tables.
#include "toolkit/reed_solomon.h"

namespace vexo {

RS_FIELD g_rsField;

namespace {

RS_FIELD &g = g_rsField;

// A view of one field's tables; q = size - 1 is the order of the multiplicative group.
struct GfView {
    const i32 *log;
    const i32 *antilog;
    i32 size;
    i32 q;
};

// Addition is XOR in GF(2^m) and addition modulo 929 in the prime field.
template <bool kPrime>
struct Arith {
    static i32 Add(i32 a, i32 b) {
        if constexpr (kPrime) {
            const i32 s = a + b;
            return s >= kRsPrimeModulus ? s - kRsPrimeModulus : s;
        } else {
            return a ^ b;
        }
    }
    static i32 Neg(i32 a) {
        if constexpr (kPrime) return a == 0 ? 0 : kRsPrimeModulus - a;
        return a;
    }
    static i32 Sub(i32 a, i32 b) { return Add(a, Neg(b)); }
};

i32 RS_Mul(const GfView &f, i32 a, i32 b) {
    if (a == 0 || b == 0) return 0;
    i32 s = f.log[a] + f.log[b];
    if (s >= f.q) s -= f.q;
    return f.antilog[s];
}

i32 RS_Div(const GfView &f, i32 a, i32 b) {
    if (a == 0 || b == 0) return 0;
    return RS_Mul(f, a, f.antilog[f.q - f.log[b]]);
}

// alpha^k and alpha^(-k) for 0 <= k < q.
i32 RS_Power(const GfView &f, i32 k) { return f.antilog[k]; }
i32 RS_InversePower(const GfView &f, i32 k) { return f.antilog[f.q - k]; }

// p[0] + p[1] x + ... + p[deg] x^deg at x.
template <bool kPrime>
i32 RS_Evaluate(const GfView &f, const i32 *p, i32 deg, i32 x) {
    if (deg < 0) return 0;
    i32 v = p[deg];
    for (i32 i = deg - 1; i >= 0; --i) v = Arith<kPrime>::Add(RS_Mul(f, v, x), p[i]);
    return v;
}

// p (degree deg) times (1 - X x), in place; p[deg + 1] is written.
template <bool kPrime>
void RS_MulLinear(const GfView &f, i32 *p, i32 deg, i32 X) {
    p[deg + 1] = 0;
    for (i32 i = deg + 1; i >= 1; --i) p[i] = Arith<kPrime>::Sub(p[i], RS_Mul(f, X, p[i - 1]));
}

void RS_BuildTables() {
    for (i32 index = 0; index < kRsFieldCount; ++index) {
        const i32 size = kRsFields[index].size;
        const i32 poly = kRsFields[index].polynomial;
        const bool prime = size == kRsPrimeModulus;
        i32 *lg = g.log + RS_TableOffset(index);
        i32 *al = g.antilog + RS_TableOffset(index);
        al[0] = 1;
        for (i32 j = 1; j < size; ++j) {
            i32 v = al[j - 1] * (prime ? 3 : 2);
            if (prime) {
                v %= kRsPrimeModulus;
            } else if (v >= size) {
                v ^= poly;
            }
            al[j] = v;
        }
        lg[0] = 1 - size;
        for (i32 j = 1; j < size; ++j) lg[al[j]] = j;
    }
    g.built = 1;
}

void RS_PointSelection(i32 index) {
    g.selectedLog = g.log + RS_TableOffset(index);
    g.selectedAntilog = g.antilog + RS_TableOffset(index);
    g.selectedSize = kRsFields[index].size;
    g.selectedPolynomial = kRsFields[index].polynomial;
}

bool RS_SelectionEmpty() { return g.selectedLog == nullptr || g.selectedAntilog == nullptr; }

// The selected field when it is a binary one (the XOR routines would index a prime field's
// tables out of range).
bool RS_BinaryView(GfView &f) {
    if (RS_SelectionEmpty() || g.selectedSize == kRsPrimeModulus) return false;
    f = GfView{g.selectedLog, g.selectedAntilog, g.selectedSize, g.selectedSize - 1};
    return true;
}

bool RS_PrimeView(GfView &f) {
    if (g.built == 0) return false;
    const i32 offset = RS_TableOffset(kRsPrimeIndex);
    f = GfView{g.log + offset, g.antilog + offset, kRsPrimeModulus, kRsPrimeModulus - 1};
    return true;
}

// Counts often come from decoded data: a block holds at most one field period and its check
// count lies in 0..n.
bool RS_BlockFits(const GfView &f, i64 n, i64 N, const i32 *codewords) {
    if (N < 0 || n < N || n > f.q) return false;
    return n == 0 || codewords != nullptr;
}

void RS_ClearWork(i32 N) {
    for (i32 i = 0; i <= N; ++i) {
        g.syndromes[i] = 0;
        g.locator[i] = 0;
        g.evaluator[i] = 0;
    }
}

// v times the element whose log is lx (1..q).
i32 RS_MulByLog(const GfView &f, i32 v, i32 lx) {
    if (v == 0) return 0;
    i32 s = f.log[v] + lx;
    if (s >= f.q) s -= f.q;
    return f.antilog[s];
}

// S_j = c(alpha^j) for j = first .. first + N - 1 into syndromes[j], codewords highest
// degree first (lowest first when lowFirst). Four syndromes share each pass over the block
// so that their Horner chains overlap. Answers whether any syndrome is non-zero.
template <bool kPrime>
bool RS_Syndromes(const GfView &f, const i32 *c, i32 n, i32 N, i32 first, bool lowFirst) {
    using A = Arith<kPrime>;
    const i32 step = lowFirst ? -1 : 1;
    const i32 *start = lowFirst && n > 0 ? c + (n - 1) : c;
    i32 any = 0;
    i32 j = first;
    for (; j + 4 <= first + N; j += 4) {
        const i32 l0 = f.log[f.antilog[j % f.q]], l1 = f.log[f.antilog[(j + 1) % f.q]];
        const i32 l2 = f.log[f.antilog[(j + 2) % f.q]], l3 = f.log[f.antilog[(j + 3) % f.q]];
        i32 v0 = 0, v1 = 0, v2 = 0, v3 = 0;
        const i32 *p = start;
        for (i32 i = 0; i < n; ++i, p += step) {
            v0 = A::Add(RS_MulByLog(f, v0, l0), *p);
            v1 = A::Add(RS_MulByLog(f, v1, l1), *p);
            v2 = A::Add(RS_MulByLog(f, v2, l2), *p);
            v3 = A::Add(RS_MulByLog(f, v3, l3), *p);
        }
        g.syndromes[j] = v0;
        g.syndromes[j + 1] = v1;
        g.syndromes[j + 2] = v2;
        g.syndromes[j + 3] = v3;
        any |= v0 | v1 | v2 | v3;
    }
    for (; j < first + N; ++j) {
        const i32 lx = f.log[f.antilog[j % f.q]];
        i32 v = 0;
        const i32 *p = start;
        for (i32 i = 0; i < n; ++i, p += step) v = A::Add(RS_MulByLog(f, v, lx), *p);
        g.syndromes[j] = v;
        any |= v;
    }
    return any != 0;
}

// Adds coef x^m P to Lambda (subtracts in the prime field).
template <bool kPrime>
void RS_AddShifted(const GfView &f, i32 *lambda, i32 N, const i32 *p, i32 pDeg, i32 coef, i32 m) {
    for (i32 i = 0; i <= pDeg && i + m <= N; ++i) {
        lambda[i + m] = Arith<kPrime>::Sub(lambda[i + m], RS_Mul(f, coef, p[i]));
    }
}

// Massey's synthesis over s[0..N-1] (N <= kRsMaxFieldSize, values in the field); the degree
// of Lambda never exceeds L, so L + 1 coefficients are kept. L never falls, so once it passes
// `limit` the answer is some L above it and the locator is left unwritten: a caller that
// refuses such an L (a QR mask trial that cannot pass) stops there.
template <bool kPrime>
i32 RS_Massey(const GfView &f, const i32 *s, i32 N, i32 *out, i32 limit) {
    i32 *lambda = g.bmLambda;
    i32 *prev = g.bmPrevious;
    for (i32 i = 0; i <= N; ++i) {
        lambda[i] = 0;
        prev[i] = 0;
    }
    lambda[0] = 1;
    prev[0] = 1;
    i32 L = 0, m = 1, b = 1, prevDeg = 0;
    for (i32 n = 0; n < N; ++n) {
        i32 d = s[n];
        for (i32 i = 1; i <= L; ++i) d = Arith<kPrime>::Add(d, RS_Mul(f, lambda[i], s[n - i]));
        if (d == 0) {
            ++m;
            continue;
        }
        const i32 coef = RS_Div(f, d, b);
        if (2 * L > n) {
            RS_AddShifted<kPrime>(f, lambda, N, prev, prevDeg, coef, m);
            ++m;
            continue;
        }
        for (i32 i = 0; i <= L; ++i) g.bmSaved[i] = lambda[i];
        RS_AddShifted<kPrime>(f, lambda, N, prev, prevDeg, coef, m);
        prevDeg = L;
        for (i32 i = 0; i <= prevDeg; ++i) prev[i] = g.bmSaved[i];
        L = n + 1 - L;
        if (L > limit) return L;
        b = d;
        m = 1;
    }
    for (i32 i = 0; i <= L; ++i) out[i] = lambda[i];
    return L;
}

// Bit i set when Lambda(alpha^-(k+i)) = 0, for i < count (1..4, k + count <= q): four
// Horner chains side by side.
template <bool kPrime>
u32 RS_RootMask(const GfView &f, const i32 *lambda, i32 L, i32 k, i32 count) {
    i32 lx[4], v[4];
    for (i32 i = 0; i < 4; ++i) {
        lx[i] = f.q - (i < count ? k + i : k);  // log of alpha^-(k+i)
        v[i] = lambda[L];
    }
    for (i32 d = L - 1; d >= 0; --d) {
        for (i32 i = 0; i < 4; ++i) v[i] = Arith<kPrime>::Add(RS_MulByLog(f, v[i], lx[i]), lambda[d]);
    }
    u32 mask = 0;
    for (i32 i = 0; i < count; ++i) mask |= v[i] == 0 ? 1u << i : 0u;
    return mask;
}

// Positions k in 0..n-1 where Lambda(alpha^-k) = 0, into positions[0..]; stops once more
// than `limit` are found and answers limit + 1 then, or once the positions left cannot
// bring the count up to `limit` and answers fewer.
i32 RS_ChienSearch(const GfView &f, const i32 *lambda, i32 L, i32 n, i32 limit) {
    i32 found = 0;
    for (i32 k = 0; k < n; k += 4) {
        // Too few positions left to reach the limit: the caller wants exactly `limit` roots.
        if (found + (n - k) < limit) return found;
        const i32 count = n - k < 4 ? n - k : 4;
        const u32 mask = RS_RootMask<false>(f, lambda, L, k, count);
        for (i32 i = 0; i < count; ++i) {
            if ((mask & (1u << i)) == 0) continue;
            if (found == limit) return limit + 1;
            g.positions[found++] = static_cast<u16>(k + i);
        }
    }
    return found;
}

// Product over the other found positions k' of (1 + alpha^k' Y).
i32 RS_OtherRootsProduct(const GfView &f, i32 count, i32 self, i32 Y) {
    i32 den = 1;
    for (i32 p = 0; p < count; ++p) {
        if (p != self) den = RS_Mul(f, den, 1 ^ RS_Mul(f, RS_Power(f, g.positions[p]), Y));
    }
    return den;
}

bool RS_ValuesInField(const i32 *v, i32 n, i32 size) {
    for (i32 i = 0; i < n; ++i) {
        if (v[i] < 0 || v[i] >= size) return false;
    }
    return true;
}

// Sets every value outside the field to 0 and records its degree (the last codeword is
// degree 0) in positions[1..E], increasing. Answers E.
i32 RS_MarkErasures(i32 *c, i32 n, i32 size, u16 *positions) {
    i32 E = 0;
    for (i32 i = n - 1; i >= 0; --i) {
        if (c[i] >= 0 && c[i] < size) continue;
        c[i] = 0;
        positions[++E] = static_cast<u16>(n - 1 - i);
    }
    return E;
}

// Coefficients E .. N-1 of Gamma(x) S(x), where Gamma is the erasure locator (in
// fullLocator) and S(x) = S_1 + S_2 x + ...; answers their number N - E.
template <bool kPrime>
i32 RS_ModifiedSyndromes(const GfView &f, i32 N, i32 E) {
    i32 *gamma = g.fullLocator;
    gamma[0] = 1;
    for (i32 e = 1; e <= E; ++e) RS_MulLinear<kPrime>(f, gamma, e - 1, RS_Power(f, g.positions[e]));
    for (i32 i = 0; i < N - E; ++i) {
        const i32 m = E + i;
        i32 v = 0;
        for (i32 j = 0; j <= E; ++j) v = Arith<kPrime>::Add(v, RS_Mul(f, gamma[j], g.syndromes[m - j + 1]));
        g.modified[i] = v;
    }
    return N - E;
}

// Chien search over Lambda, appending each root's degree after the E erasure positions. A
// root on an erasure leaves no consistent error pattern. Answers the total number of
// positions, or -1.
template <bool kPrime>
i32 RS_AppendErrorPositions(const GfView &f, i32 n, i32 E, i32 L) {
    i32 total = E, e = 1;
    for (i32 k0 = 0; k0 < n; k0 += 4) {
        const i32 count = n - k0 < 4 ? n - k0 : 4;
        const u32 mask = RS_RootMask<kPrime>(f, g.locator, L, k0, count);
        for (i32 i = 0; i < count; ++i) {
            if ((mask & (1u << i)) == 0) continue;
            const i32 k = k0 + i;
            while (e <= E && g.positions[e] < k) ++e;
            if (e <= E && g.positions[e] == k) return -1;
            if (total - E == L) return -1;
            g.positions[++total] = static_cast<u16>(k);
        }
    }
    return total;
}

// Forney's formula with roots alpha^1..alpha^N: Omega = S Psi mod x^total and each value
// e = Omega(Y) Y / prod over the other positions of (1 - X' Y), Y = alpha^(-k); subtracted
// from the codeword of degree k.
template <bool kPrime>
void RS_ApplyForney(const GfView &f, i32 *c, i32 n, i32 total) {
    using A = Arith<kPrime>;
    i32 *psi = g.fullLocator;
    psi[0] = 1;
    for (i32 p = 1; p <= total; ++p) RS_MulLinear<kPrime>(f, psi, p - 1, RS_Power(f, g.positions[p]));
    for (i32 i = 0; i < total; ++i) {
        i32 v = 0;
        for (i32 j = 0; j <= i; ++j) v = A::Add(v, RS_Mul(f, g.syndromes[j + 1], psi[i - j]));
        g.evaluator[i] = v;
    }
    for (i32 p = 1; p <= total; ++p) {
        const i32 k = g.positions[p];
        const i32 ly = f.q - k;  // log of Y = alpha^-k
        // Omega(Y) by Horner and the product side by side: two independent chains.
        i32 omega = 0, den = 1;
        for (i32 o = 1; o <= total; ++o) {
            omega = A::Add(RS_MulByLog(f, omega, ly), g.evaluator[total - o]);
            if (o != p) den = RS_Mul(f, den, A::Sub(1, RS_MulByLog(f, RS_Power(f, g.positions[o]), ly)));
        }
        const i32 num = RS_MulByLog(f, omega, ly);
        c[n - 1 - k] = A::Sub(c[n - 1 - k], RS_Div(f, num, den));
    }
}

// The shared tail of the erasure routines: syndromes in syndromes[1..N], E erasures in
// positions[1..E] (E <= N), erased codewords already 0.
template <bool kPrime>
i32 RS_CorrectWithErasures(const GfView &f, i32 *c, i32 n, i32 N, i32 E) {
    i32 count = N;
    if (E == 0) {
        for (i32 i = 0; i < N; ++i) g.modified[i] = g.syndromes[i + 1];
    } else {
        count = RS_ModifiedSyndromes<kPrime>(f, N, E);
    }
    const i32 L = RS_Massey<kPrime>(f, g.modified, count, g.locator, count);
    if (E + 2 * L >= N || L >= N / 2) return kRsUncorrectable;
    const i32 total = RS_AppendErrorPositions<kPrime>(f, n, E, L);
    if (total != E + L || total >= N) return kRsUncorrectable;
    RS_ApplyForney<kPrime>(f, c, n, total);
    return kRsCorrected;
}

// Steps after the syndromes of RS_DecodeBlock: 2L < N, L roots in the block, values by the
// evaluator W = (1 + S) Lambda.
i32 RS_CorrectErrors(const GfView &f, i32 *c, i32 n, i32 N) {
    const i32 *seq = g.code == 2 ? g.syndromes : g.syndromes + 1;
    const i32 L = RS_Massey<false>(f, seq, N, g.locator, (N - 1) / 2);
    if (2 * L >= N) return kRsUncorrectable;
    if (RS_ChienSearch(f, g.locator, L, n, L) != L) return kRsUncorrectable;
    if (L == 0) return kRsCorrected;
    g.evaluator[0] = 1;
    for (i32 i = 1; i <= L; ++i) {
        i32 v = g.syndromes[i] ^ g.locator[i];
        for (i32 j = 1; j < i; ++j) v ^= RS_Mul(f, g.syndromes[j], g.locator[i - j]);
        g.evaluator[i] = v;
    }
    for (i32 p = 0; p < L; ++p) {
        const i32 Y = RS_InversePower(f, g.positions[p]);
        const i32 num = RS_Evaluate<false>(f, g.evaluator, L, Y);
        c[n - 1 - g.positions[p]] ^= RS_Div(f, num, RS_OtherRootsProduct(f, L, p, Y));
    }
    return kRsCorrected;
}

// Steps after the syndromes of RS_DecodeBlockQr: W_i = sum S_j Lambda_(i-j) for i < L.
i32 RS_CorrectErrorsQr(const GfView &f, i32 *c, i32 n, i32 N) {
    const i32 *seq = g.code == 2 ? g.syndromes : g.syndromes + 1;
    const i32 L = RS_Massey<false>(f, seq, N, g.locator, N / 2);
    if (n <= 0) return L != 0 ? kRsUncorrectable : kRsCorrected;
    // Beyond N / 2 errors a locator with L roots no longer singles out the sent codeword.
    if (2 * L > N) return kRsUncorrectable;
    if (RS_ChienSearch(f, g.locator, L, n, L) != L) return kRsUncorrectable;
    if (L == 0) return kRsCorrected;
    for (i32 i = 0; i < L; ++i) {
        i32 v = 0;
        for (i32 j = 0; j <= i; ++j) v ^= RS_Mul(f, g.syndromes[j], g.locator[i - j]);
        g.evaluator[i] = v;
    }
    for (i32 p = 0; p < L; ++p) {
        const i32 Y = RS_InversePower(f, g.positions[p]);
        const i32 num = RS_Evaluate<false>(f, g.evaluator, L - 1, Y);
        c[g.positions[p]] ^= RS_Div(f, num, RS_OtherRootsProduct(f, L, p, Y));
    }
    return kRsCorrected;
}

}  // namespace

void RS_ResetField() {
    g.selectedLog = nullptr;
    g.selectedAntilog = nullptr;
}

i32 RS_SelectField(i32 code, [[maybe_unused]] i32 size, i32 polynomial) {
    // The tables depend on nothing but the field list, so a reset only empties the selection:
    // rebuilding all nine pairs on every QR trial cost most of a failed frame.
    if (g.built == 0) RS_BuildTables();
    if (RS_SelectionEmpty()) RS_PointSelection(kRsFieldCount - 1);
    for (i32 index = 0; index < kRsFieldCount; ++index) {
        if (kRsFields[index].polynomial != polynomial) continue;
        g.code = code;
        RS_PointSelection(index);
        return 1;
    }
    g.code = -1;
    return 0;
}

i32 RS_DecodeBlock(i32 *codewords, i32 dataCount, i32 checkCount) {
    if (RS_SelectionEmpty() || g.code < 0) return kRsNoField;
    GfView f{};
    const i64 n = static_cast<i64>(dataCount) + checkCount;
    if (!RS_BinaryView(f) || !RS_BlockFits(f, n, checkCount, codewords)) return kRsUncorrectable;
    RS_ClearWork(checkCount);
    for (i32 i = 0; i < n; ++i) {
        if (codewords[i] < 0 || codewords[i] >= f.size) codewords[i] = 0;
    }
    if (!RS_Syndromes<false>(f, codewords, static_cast<i32>(n), checkCount, 1, false)) return kRsCorrected;
    return RS_CorrectErrors(f, codewords, static_cast<i32>(n), checkCount);
}

i32 RS_DecodeBlockQr(i32 *codewords, i32 count, i32 checkCount) {
    if (RS_SelectionEmpty() || g.code == -1) return kRsNoField;
    GfView f{};
    if (!RS_BinaryView(f) || !RS_BlockFits(f, count, checkCount, codewords)) return kRsUncorrectable;
    if (!RS_ValuesInField(codewords, count, f.size)) return kRsUncorrectable;
    RS_ClearWork(checkCount);
    if (!RS_Syndromes<false>(f, codewords, count, checkCount, 0, true)) return kRsCorrected;
    return RS_CorrectErrorsQr(f, codewords, count, checkCount);
}

i32 RS_DecodeBlock929(i32 *codewords, i32 count, i32 checkCount) {
    GfView f{};
    if (!RS_PrimeView(f) || !RS_BlockFits(f, count, checkCount, codewords)) return kRsUncorrectable;
    RS_ClearWork(checkCount);
    const i32 E = RS_MarkErasures(codewords, count, kRsPrimeModulus, g.positions);
    if (E > checkCount) return kRsUncorrectable;
    const bool any = RS_Syndromes<true>(f, codewords, count, checkCount, 1, false);
    if (E == 0 && !any) return kRsCorrected;
    return RS_CorrectWithErasures<true>(f, codewords, count, checkCount, E);
}

i32 RS_DecodeBlockErasures(i32 *codewords, i32 dataCount, i32 checkCount) {
    if (RS_SelectionEmpty() || g.code < 0) return kRsNoField;
    GfView f{};
    const i64 n64 = static_cast<i64>(dataCount) + checkCount;
    if (!RS_BinaryView(f) || !RS_BlockFits(f, n64, checkCount, codewords)) return kRsUncorrectable;
    const i32 n = static_cast<i32>(n64);
    RS_ClearWork(checkCount);
    const i32 E = RS_MarkErasures(codewords, n, f.size, g.positions);
    if (E > checkCount) return kRsUncorrectable;
    const bool any = RS_Syndromes<false>(f, codewords, n, checkCount, 1, false);
    if (checkCount == 0 || !any) return kRsCorrected;
    return RS_CorrectWithErasures<false>(f, codewords, n, checkCount, E);
}

i32 RS_BerlekampMassey(const i32 *syndromes, i32 N, i32 *locatorOut) {
    GfView f{};
    if (N < 0 || N > kRsMaxFieldSize || syndromes == nullptr || locatorOut == nullptr) return -1;
    if (!RS_BinaryView(f)) return -1;
    const i32 *seq = g.code == 2 ? syndromes : syndromes + 1;
    if (!RS_ValuesInField(seq, N, f.size)) return -1;
    return RS_Massey<false>(f, seq, N, locatorOut, N);
}

i32 RS_BerlekampMassey929(const i32 *syndromes, i32 N, i32 *locatorOut) {
    GfView f{};
    if (N < 0 || N > kRsMaxFieldSize || syndromes == nullptr || locatorOut == nullptr) return -1;
    if (!RS_PrimeView(f) || !RS_ValuesInField(syndromes + 1, N, kRsPrimeModulus)) return -1;
    return RS_Massey<true>(f, syndromes + 1, N, locatorOut, N);
}

i32 RS_MarkErasures929(i32 *codewords, i32 count, u16 *positionsOut) {
    if (count <= 0 || codewords == nullptr || positionsOut == nullptr) return 0;
    return RS_MarkErasures(codewords, count, kRsPrimeModulus, positionsOut);
}

void RS_Syndromes929(const i32 *codewords, i32 count, i32 N, i32 *syndromesOut) {
    GfView f{};
    if (N <= 0 || syndromesOut == nullptr || !RS_PrimeView(f)) return;
    if (count > 0 && codewords == nullptr) return;
    for (i32 j = 1; j <= N; ++j) {
        const i32 x = f.antilog[j % f.q];
        i32 v = 0;
        for (i32 i = 0; i < count; ++i) {
            const i32 cw = codewords[i] >= 0 && codewords[i] < kRsPrimeModulus ? codewords[i] : 0;
            v = Arith<true>::Add(RS_Mul(f, v, x), cw);
        }
        syndromesOut[j] = v;
    }
}

}  // namespace vexo
