// The lottery-terminal frame copy: in that mode the decode thread hands every 752 x 480
// frame to the image buffer, so its cost is paid once a frame. Logging is off (the line it
// writes at detail level is not part of the copy); beside it a plain copy of the same size.
#include <benchmark/benchmark.h>
#include <string.h>

#include <vector>

#include "readercore.h"
#include "zptlog.h"

namespace {

constexpr size_t kFrame = 752 * 480;

void BM_FillBuf752x480(benchmark::State &state) {
    log_set_level(0);
    std::vector<uint8_t> frame(kFrame, 0x5A);
    for (auto _ : state) {
        socket_service_fill_buf(frame.data(), static_cast<uint32_t>(frame.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kFrame));
}
BENCHMARK(BM_FillBuf752x480);

void BM_PlainCopy752x480(benchmark::State &state) {
    std::vector<uint8_t> frame(kFrame, 0x5A), buffer(kFrame);
    for (auto _ : state) {
        memcpy(buffer.data(), frame.data(), kFrame);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kFrame));
}
BENCHMARK(BM_PlainCopy752x480);

}  // namespace
