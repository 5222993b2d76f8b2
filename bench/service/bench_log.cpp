// log_write sits on per-frame paths: a line whose bit is not in the level must cost next
// to nothing.
#include <benchmark/benchmark.h>

#include "zptlog.h"

namespace {

void BM_LogWriteMaskOff(benchmark::State &state) {
    log_set_level(LOG_LEVEL_DEFAULT);
    int frame = 0;
    for (auto _ : state) {
        log_write(LOG_LEVEL_RESULT, "frame [%d] lux [%d] gain [%d]", frame, frame * 3, frame & 7);
        benchmark::DoNotOptimize(++frame);
    }
}
BENCHMARK(BM_LogWriteMaskOff);

// The bit is in the level but no file was set: the other early way out.
void BM_LogWriteNoFile(benchmark::State &state) {
    log_set_level(0xFF);
    int frame = 0;
    for (auto _ : state) {
        log_write(LOG_LEVEL_RESULT, "frame [%d] lux [%d] gain [%d]", frame, frame * 3, frame & 7);
        benchmark::DoNotOptimize(++frame);
    }
    log_set_level(LOG_LEVEL_DEFAULT);
}
BENCHMARK(BM_LogWriteNoFile);

}  // namespace
