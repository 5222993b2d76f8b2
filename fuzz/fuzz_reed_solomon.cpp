// Reed-Solomon block routines on hostile blocks and counts. Invariants (trap on violation):
// the answer is 0, -1 or (with no usable code) -10; a refused or failed block holds only the
// routine's clean-up; a block answered 0 is a codeword (all syndromes zero, checked with
// arithmetic of this file's own) no further from what arrived than the routine's radius; a
// codeword damaged within the limits comes back intact.
//
// Input: [routine] [field] [code] [mode] [n lo] [n hi] [N lo] [N hi] then, in raw mode,
// codewords as little-endian int16 pairs; in damage mode a 4-byte seed for the data followed
// by (position lo, position hi, value lo, value hi) records.
#include <cstdint>
#include <cstring>
#include <vector>

#include "toolkit/reed_solomon.h"

namespace {

using vexo::kRsFields;

#define RS_CHECK(cond)                    \
    do {                                  \
        if (!(cond)) __builtin_trap();    \
    } while (0)

enum Routine { kGeneral = 0, kQr = 1, kErasures = 2, kPrime = 3 };

// Field arithmetic by shift and add (or modulo 929), with log tables derived from it.
struct Field {
    int size = 0, poly = 0, q = 0;
    bool prime = false;
    std::vector<int> exp, log;
    void Build(int s, int p) {
        size = s;
        poly = p;
        q = s - 1;
        prime = s == 929;
        exp.assign(static_cast<size_t>(s), 0);
        log.assign(static_cast<size_t>(s), 0);
        int v = 1;
        for (int j = 0; j < q; ++j) {
            exp[j] = v;
            log[v] = j;
            v = prime ? v * 3 % 929 : v << 1;
            if (!prime && (v & s) != 0) v ^= p;
        }
    }
    int Mul(int a, int b) const { return a == 0 || b == 0 ? 0 : exp[(log[a] + log[b]) % q]; }
    int Add(int a, int b) const { return prime ? (a + b) % 929 : a ^ b; }
    int Sub(int a, int b) const { return prime ? (a - b + 929) % 929 : a ^ b; }
    int Alpha(int64_t e) const { return exp[static_cast<size_t>(e % q)]; }
};

const Field &FieldAt(int index) {
    static Field fields[vexo::kRsFieldCount];
    if (fields[index].size == 0) fields[index].Build(kRsFields[index].size, kRsFields[index].polynomial);
    return fields[index];
}

int FirstRoot(int routine) { return routine == kQr ? 0 : 1; }

bool IsCodeword(const Field &F, int routine, const std::vector<int32_t> &block, int N) {
    const size_t n = block.size();
    for (int j = FirstRoot(routine); j < FirstRoot(routine) + N; ++j) {
        const int x = F.Alpha(j);
        int v = 0;
        for (size_t i = 0; i < n; ++i) {
            const int32_t cw = block[routine == kQr ? n - 1 - i : i];
            if (cw < 0 || cw >= F.size) return false;
            v = F.Add(F.Mul(v, x), cw);
        }
        if (v != 0) return false;
    }
    return true;
}

// Systematic codeword, highest degree first (reversed for the QR routine).
std::vector<int32_t> Encode(const Field &F, int routine, int n, int N, uint32_t seed) {
    std::vector<int> gen{1};
    for (int j = FirstRoot(routine); j < FirstRoot(routine) + N; ++j) {
        gen.push_back(0);
        for (size_t i = gen.size() - 1; i >= 1; --i) gen[i] = F.Sub(gen[i], F.Mul(F.Alpha(j), gen[i - 1]));
    }
    std::vector<int32_t> c(static_cast<size_t>(n), 0);
    uint32_t s = seed | 1;
    for (int i = 0; i < n - N; ++i) {
        s = s * 1664525u + 1013904223u;
        c[i] = static_cast<int32_t>((s >> 8) % static_cast<uint32_t>(F.size));
    }
    std::vector<int> rem(c.begin(), c.end());
    for (int i = 0; i < n - N; ++i) {
        const int coef = rem[i];
        for (int j = 1; j <= N && coef != 0; ++j) rem[i + j] = F.Sub(rem[i + j], F.Mul(coef, gen[j]));
    }
    for (int i = n - N; i < n; ++i) c[i] = F.Sub(0, rem[i]);
    if (routine == kQr) {
        for (int i = 0; i < n / 2; ++i) std::swap(c[i], c[n - 1 - i]);
    }
    return c;
}

int Decode(int routine, int32_t *c, int n, int N) {
    switch (routine) {
        case kGeneral: return vexo::RS_DecodeBlock(c, n - N, N);
        case kQr: return vexo::RS_DecodeBlockQr(c, n, N);
        case kErasures: return vexo::RS_DecodeBlockErasures(c, n - N, N);
        default: return vexo::RS_DecodeBlock929(c, n, N);
    }
}

// Largest number of changes outside the erasures a routine may make (-1: none).
int Radius(int routine, int N, int E) {
    if (routine == kGeneral) return (N - 1) / 2;
    if (routine == kQr) return N / 2;
    int best = -1;
    for (int L = 0; E + 2 * L < N && L < N / 2; ++L) best = L;
    return best;
}

uint16_t U16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (data == nullptr || size < 8) return 0;
    const int routine = data[0] & 3;
    int field = data[1] % vexo::kRsFieldCount;
    if (routine == kPrime) field = vexo::kRsPrimeIndex;
    if (routine != kPrime && field == vexo::kRsPrimeIndex) field = 2;
    // QR callers state 2; the other routines read the syndromes from index 1 with any other.
    static const int32_t kCodes[] = {1, 3, 4, 5, 7, 0, -1, -3};
    int32_t code = kCodes[data[2] & 7];
    if (routine == kQr) code = (data[2] & 7) == 6 ? -1 : 2;
    const bool damageMode = (data[3] & 1) != 0;
    int n = U16(data + 4);
    const int N = static_cast<int16_t>(U16(data + 6));
    data += 8;
    size -= 8;

    const Field &F = FieldAt(field);
    vexo::RS_ResetField();
    RS_CHECK(vexo::RS_SelectField(code, F.size, F.poly) == 1);

    const bool countsFit = N >= 0 && N <= n && n <= F.q;
    std::vector<int32_t> sent;
    std::vector<int32_t> block;
    if (damageMode) {
        if (!countsFit || size < 4) return 0;
        if (n > 600) n = 600 < F.q ? 600 : F.q;
        if (N > n) return 0;
        uint32_t seed;
        std::memcpy(&seed, data, 4);
        data += 4;
        size -= 4;
        sent = Encode(F, routine, n, N, seed);
        RS_CHECK(IsCodeword(F, routine, sent, N));
        block = sent;
        for (; size >= 4 && n > 0; data += 4, size -= 4) block[U16(data) % n] = static_cast<int16_t>(U16(data + 2));
    } else {
        // Only what a fitting call may touch: over-long claims get a short buffer that the
        // routine must not read past.
        const size_t len = countsFit ? static_cast<size_t>(n) : (n < 8 ? static_cast<size_t>(n) : 8);
        block.assign(len, 0);
        for (size_t i = 0; i < len && 2 * i + 1 < size; ++i) block[i] = static_cast<int16_t>(U16(data + 2 * i));
    }

    // What each routine leaves on a failure.
    std::vector<int32_t> cleaned(block);
    std::vector<bool> erased(block.size(), false);
    int E = 0;
    if (routine != kQr) {
        for (size_t i = 0; i < cleaned.size(); ++i) {
            if (cleaned[i] >= 0 && cleaned[i] < F.size) continue;
            cleaned[i] = 0;
            if (routine != kGeneral) {
                erased[i] = true;
                ++E;
            }
        }
    }

    std::vector<int32_t> out(block);
    const int rc = Decode(routine, out.data(), n, N);
    const bool noCode = routine == kQr ? code == -1 : code < 0;
    if (noCode && routine != kPrime) {
        RS_CHECK(rc == -10 && out == block);
        return 0;
    }
    if (!countsFit) {
        RS_CHECK(rc == -1 && out == block);
        return 0;
    }
    if (routine == kQr && !cleaned.empty()) {
        for (int32_t v : block) {
            if (v < 0 || v >= F.size) {
                RS_CHECK(rc == -1 && out == block);
                return 0;
            }
        }
    }
    RS_CHECK(rc == 0 || rc == -1);
    if (rc == -1) {
        RS_CHECK(out == cleaned);
    } else {
        RS_CHECK(IsCodeword(F, routine, out, N));
        int changes = 0;
        for (size_t i = 0; i < out.size(); ++i) changes += !erased[i] && out[i] != cleaned[i] ? 1 : 0;
        RS_CHECK(changes == 0 || changes <= Radius(routine, N, E));
    }
    if (damageMode) {
        int t = 0;
        for (size_t i = 0; i < cleaned.size(); ++i) t += !erased[i] && cleaned[i] != sent[i] ? 1 : 0;
        const int radius = Radius(routine, N, E);
        const bool correctable = radius >= 0 && t <= radius && (routine == kGeneral || routine == kQr || E + 2 * t < N);
        if (correctable) RS_CHECK(rc == 0 && out == sent);
    }
    return 0;
}
