// Reed-Solomon: microseconds per block for the heaviest blocks the symbologies hand over,
// and the cost of selecting a field (pointer switch, and the first selection that fills
// every table).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "toolkit/reed_solomon.h"

namespace {

using vexo::g_rsField;

struct Fixture {
    std::vector<int32_t> received;
    int n = 0, N = 0;
};

int Mul(const int32_t *lg, const int32_t *al, int q, int a, int b) {
    return a == 0 || b == 0 ? 0 : al[(lg[a] + lg[b]) % q];
}

// A systematic codeword over the selected field (roots alpha^first..), highest degree first,
// then E erasures (value -1) and t errors at distinct positions.
Fixture MakeBlock(int code, int poly, int n, int N, int first, int E, int t, uint32_t seed) {
    vexo::RS_ResetField();
    vexo::RS_SelectField(code, 0, poly);
    const int size = g_rsField.selectedSize, q = size - 1;
    const bool prime = size == 929;
    const int32_t *lg = g_rsField.selectedLog, *al = g_rsField.selectedAntilog;
    auto add = [&](int a, int b) { return prime ? (a + b) % 929 : a ^ b; };
    auto neg = [&](int a) { return prime ? (929 - a) % 929 : a; };
    std::vector<int> gen{1};
    for (int j = first; j < first + N; ++j) {
        gen.push_back(0);
        for (size_t i = gen.size() - 1; i >= 1; --i) gen[i] = add(gen[i], neg(Mul(lg, al, q, al[j % q], gen[i - 1])));
    }
    std::mt19937 rng(seed);
    std::vector<int> c(static_cast<size_t>(n), 0);
    for (int i = 0; i < n - N; ++i) c[i] = static_cast<int>(rng() % static_cast<uint32_t>(size));
    std::vector<int> rem(c);
    for (int i = 0; i < n - N; ++i) {
        for (int j = 1; j <= N; ++j) rem[i + j] = add(rem[i + j], neg(Mul(lg, al, q, rem[i], gen[j])));
    }
    for (int i = n - N; i < n; ++i) c[i] = neg(rem[i]);
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (int i = 0; i < E; ++i) c[order[i]] = -1;
    for (int i = E; i < E + t; ++i) c[order[i]] = add(c[order[i]], 1 + static_cast<int>(rng() % static_cast<uint32_t>(q)));
    Fixture f;
    f.received.assign(c.begin(), c.end());
    f.n = n;
    f.N = N;
    return f;
}

template <class Decode>
void RunBlocks(benchmark::State &state, const Fixture &f, Decode decode) {
    std::vector<int32_t> work(f.received.size());
    int rc = 0;
    for (auto _ : state) {
        work = f.received;
        rc |= decode(work.data(), f.n, f.N);
        benchmark::DoNotOptimize(work.data());
    }
    if (rc != 0) state.SkipWithError("block not corrected");
}

void BM_RsGf256Block255With16Errors(benchmark::State &state) {
    const Fixture f = MakeBlock(4, 0x12D, 255, 34, 1, 0, 16, 1);
    RunBlocks(state, f, [](int32_t *c, int n, int N) { return vexo::RS_DecodeBlock(c, n - N, N); });
}
BENCHMARK(BM_RsGf256Block255With16Errors)->Unit(benchmark::kMicrosecond);

void BM_RsQrBlock255With16Errors(benchmark::State &state) {
    Fixture f = MakeBlock(2, 0x11D, 255, 32, 0, 0, 16, 2);
    std::reverse(f.received.begin(), f.received.end());
    RunBlocks(state, f, [](int32_t *c, int n, int N) { return vexo::RS_DecodeBlockQr(c, n, N); });
}
BENCHMARK(BM_RsQrBlock255With16Errors)->Unit(benchmark::kMicrosecond);

// PDF417 at error-correction level 8: 512 check words, 200 erasures and 150 errors.
void BM_Rs929Block928MixedErasures(benchmark::State &state) {
    const Fixture f = MakeBlock(1, 929, 928, 512, 1, 200, 150, 3);
    RunBlocks(state, f, [](int32_t *c, int n, int N) { return vexo::RS_DecodeBlock929(c, n, N); });
}
BENCHMARK(BM_Rs929Block928MixedErasures)->Unit(benchmark::kMicrosecond);

void BM_Rs929Block928TenErasures(benchmark::State &state) {
    const Fixture f = MakeBlock(1, 929, 928, 64, 1, 10, 5, 4);
    RunBlocks(state, f, [](int32_t *c, int n, int N) { return vexo::RS_DecodeBlock929(c, n, N); });
}
BENCHMARK(BM_Rs929Block928TenErasures)->Unit(benchmark::kMicrosecond);

// The largest binary field: a full-period GF(4096) block, and the largest Aztec symbol's.
void BM_RsGf4096Block4095With60Errors(benchmark::State &state) {
    const Fixture f = MakeBlock(3, 0x1069, 4095, 128, 1, 0, 60, 5);
    RunBlocks(state, f, [](int32_t *c, int n, int N) { return vexo::RS_DecodeBlock(c, n - N, N); });
}
BENCHMARK(BM_RsGf4096Block4095With60Errors)->Unit(benchmark::kMicrosecond);

void BM_RsGf4096Block1664With100Errors(benchmark::State &state) {
    const Fixture f = MakeBlock(3, 0x1069, 1664, 400, 1, 0, 100, 6);
    RunBlocks(state, f, [](int32_t *c, int n, int N) { return vexo::RS_DecodeBlock(c, n - N, N); });
}
BENCHMARK(BM_RsGf4096Block1664With100Errors)->Unit(benchmark::kMicrosecond);

void BM_RsSelectFieldSwitch(benchmark::State &state) {
    vexo::RS_ResetField();
    vexo::RS_SelectField(4, 256, 0x12D);
    int polys[2] = {0x12D, 929}, i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(vexo::RS_SelectField(4, 0, polys[i++ & 1]));
}
BENCHMARK(BM_RsSelectFieldSwitch);

// What every symbol pays: RS_ResetField makes the next selection fill all nine table pairs.
void BM_RsSelectFieldAfterReset(benchmark::State &state) {
    for (auto _ : state) {
        vexo::RS_ResetField();
        benchmark::DoNotOptimize(vexo::RS_SelectField(4, 256, 0x12D));
    }
}
BENCHMARK(BM_RsSelectFieldAfterReset)->Unit(benchmark::kMicrosecond);

}  // namespace
