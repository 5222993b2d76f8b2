// One 752 x 480 frame decoded through the runtime's decoder wrapper and by the decoder
// library called directly: what the wrapper's lock and external-decoder check cost.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "plat.h"
#include "readercore.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

constexpr int kWidth = 752;
constexpr int kHeight = 480;

struct Decoder {
    VexoDecSetFn set = nullptr;
    VexoDecDecodeFn decode = nullptr;
    bool ready = false;
};

// A root whose library directory holds the build's decoder; the wrapper loads it from
// there and the direct calls reach the same loaded library.
const Decoder &setup() {
    static Decoder d = [] {
        Decoder out;
        char stem[] = "/tmp/wrapper-bench-XXXXXX";
        if (mkdtemp(stem) == nullptr) return out;
        std::string root = stem;
        mkdir((root + "/system").c_str(), 0755);
        mkdir((root + "/system/lib64").c_str(), 0755);
        std::string lib = root + "/system/lib64/libvexo3.so";
        if (symlink(VEXO3_LIBRARY, lib.c_str()) != 0) return out;
        plat_set_root(root.c_str());
        if (X3_Init() != 1) return out;
        X3_Set(0x20200, VEXO_ON);
        void *h = dlopen(lib.c_str(), RTLD_NOW);
        if (h == nullptr) return out;
        out.set = reinterpret_cast<VexoDecSetFn>(dlsym(h, "ZPT_SE_VexoDec_Set"));
        out.decode = reinterpret_cast<VexoDecDecodeFn>(dlsym(h, "ZPT_SE_VexoDec_Decode"));
        out.ready = out.set != nullptr && out.decode != nullptr;
        return out;
    }();
    return d;
}

const std::vector<uint8_t> &frame(bool with_symbol) {
    static const std::vector<uint8_t> blank(kWidth * kHeight, 190);
    static const std::vector<uint8_t> qr = [] {
        testkit::Symbol s = testkit::Encode(BARCODE_QRCODE, "Wrapper benchmark symbol 0123456789");
        testkit::RenderOptions o;
        o.moduleSize = 4;
        o.blurSigma = 0.6;
        return testkit::Render(s, o).frame.pixels;
    }();
    return with_symbol ? qr : blank;
}

void BM_Decode(benchmark::State &state) {
    const Decoder &d = setup();
    if (!d.ready) {
        state.SkipWithError("decoder library not loaded");
        return;
    }
    const bool wrapper = state.range(0) != 0;
    const std::vector<uint8_t> &pixels = frame(state.range(1) != 0);
    int decoded = 0;
    for (auto _ : state) {
        if (wrapper) {
            X3_Set(VEXO_ID_IMAGE_WIDTH, kWidth);
            X3_Set(VEXO_ID_IMAGE_HEIGHT, kHeight);
            X3_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(pixels.data()));
            decoded += X3_Decode();
        } else {
            d.set(VEXO_ID_IMAGE_WIDTH, kWidth);
            d.set(VEXO_ID_IMAGE_HEIGHT, kHeight);
            d.set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(pixels.data()));
            decoded += d.decode();
        }
    }
    state.counters["decoded_per_frame"] = benchmark::Counter(decoded, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Decode)
    ->ArgNames({"wrapper", "qr"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
