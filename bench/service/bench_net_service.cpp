// The service socket: a GetInfo answer and a 640 x 480 DecodeBmp through the socket, from
// a client on the link library to the runtime's server in a sandbox with the build's link
// library, on an engine whose control answers at once.
#include <benchmark/benchmark.h>
#include <string.h>

#include <string>
#include <vector>

#include "net_client.h"
#include "net_device.h"
#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "scanner_service.h"

namespace {

int quick_ioctrl(ENGINE_RECORD *, int code, int, void *pointer) {
    if (code == SCANNER_IOCTRL_GET_SIZE) *static_cast<SCANNER_FRAME_SIZE *>(pointer) = {752, 480};
    return 0;
}

// The server, its device and a connected client for one benchmark.
struct Served {
    std::string root;
    ENGINE_RECORD engine{};
    DEVICE_OBJECT device{};
    NetClient client;
    bool ok = false;
    Served() {
        root = svc_sandbox::make_root("bench-net");
        if (root.empty() || !svc_sandbox::link_libraries(root, 0)) return;
        plat_set_root(root.c_str());
        net_test_device(&engine, &device, quick_ioctrl, nullptr, nullptr);
        ok = zpt_net_init(&device) == 0 && client.open();
    }
    ~Served() {
        client.close();
        zpt_net_deinit();
        svc_sandbox::remove_root(root);
    }
};

void BM_GetInfo(benchmark::State &state) {
    Served served;
    if (!served.ok) return state.SkipWithError("no service socket");
    for (auto _ : state) {
        NetAnswer a = served.client.command(0x01, {});
        if (a.status != 0 || a.payload.size() != 28) return state.SkipWithError("no answer");
    }
}
BENCHMARK(BM_GetInfo)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_DecodeBmp640x480(benchmark::State &state) {
    Served served;
    if (!served.ok) return state.SkipWithError("no service socket");
    std::vector<uint8_t> request(16 + 640 * 480, 0x80);
    uint32_t size[2] = {640, 480};
    memcpy(request.data(), size, sizeof size);
    for (auto _ : state) {
        if (served.client.command(0x05, request).status != 0) return state.SkipWithError("no answer");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(request.size()));
}
BENCHMARK(BM_DecodeBmp640x480)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace
