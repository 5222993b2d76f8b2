// The message link: command round trips (the 20 ms poll of send_command shows), throughput
// of frame-sized messages between two processes, and the CPU that idle links spend in
// their polls (1 ms server, 100 us client).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "zptutils.h"

namespace {

LINK_CONTEXT *g_server = nullptr;
std::atomic<int> g_replies{0};

int answer_request(LINK_CHUNK *request) {
    send_echo_packet(g_server, request, 0, nullptr, 0);
    return 1;
}

void count_reply(LINK_CHUNK *, LINK_SEND_NODE *) { g_replies.fetch_add(1); }

std::string bench_name(const char *stem) { return "/bench/link/" + std::to_string(getpid()) + "/" + stem; }

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_CommandRoundTrip16(benchmark::State &state) {
    std::string name = bench_name("rt");
    g_server = start_comm(1, name.c_str());
    set_recivedata_func(g_server, 2, answer_request, nullptr);
    LINK_CONTEXT *client = start_comm(0, name.c_str());
    uint8_t payload[16] = {};
    for (auto _ : state) {
        uint8_t status = 0;
        if (send_command(client, 0x201, payload, 0, 1, &status, nullptr, nullptr) != 1) state.SkipWithError("no reply");
    }
    stop_comm(client);
    stop_comm(g_server);
    g_server = nullptr;
}
BENCHMARK(BM_CommandRoundTrip16)->Unit(benchmark::kMillisecond)->Iterations(50);

// A child process runs the server and answers every request; the client counts replies.
void BM_ThroughputTwoProcesses(benchmark::State &state) {
    constexpr int32_t kMessage = 360960;
    constexpr int kBatch = 50;
    std::string name = bench_name("tp");
    int ready[2];
    if (pipe(ready) != 0) return state.SkipWithError("pipe");
    pid_t child = fork();
    if (child == 0) {
        g_server = start_comm(1, name.c_str());
        set_recivedata_func(g_server, 2, answer_request, nullptr);
        char c = 1;
        (void)!write(ready[1], &c, 1);
        pause();  // ended by the parent
        _exit(0);
    }
    char c;
    (void)!read(ready[0], &c, 1);
    close(ready[0]);
    close(ready[1]);
    LINK_CONTEXT *client = start_comm(0, name.c_str());
    set_recivedata_func(client, 2, nullptr, count_reply);
    std::vector<uint8_t> payload(kMessage, 0x5A);
    for (auto _ : state) {
        g_replies = 0;
        for (int i = 0; i < kBatch; ++i) net_direct_send(client, 0x201, payload.data(), kMessage);
        for (int spin = 0; spin < 20000 && g_replies.load() < kBatch; ++spin) usleep(500);
        if (g_replies.load() < kBatch) state.SkipWithError("replies missing");
    }
    state.SetBytesProcessed(state.iterations() * kBatch * (kMessage + 16));
    state.counters["messages/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kBatch),
                                                      benchmark::Counter::kIsRate);
    stop_comm(client);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}
BENCHMARK(BM_ThroughputTwoProcesses)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// Process CPU time per second of wall time while the links only poll.
void idle_cpu(benchmark::State &state, bool with_client) {
    std::string name = bench_name(with_client ? "idle-client" : "idle-server");
    LINK_CONTEXT *server = start_comm(1, name.c_str());
    LINK_CONTEXT *client = with_client ? start_comm(0, name.c_str()) : nullptr;
    double cpu = 0;
    for (auto _ : state) {
        double start = cpu_seconds();
        sleep(10);
        cpu = cpu_seconds() - start;
    }
    state.counters["cpu_ms_per_s"] = cpu * 1000.0 / 10.0;
    stop_comm(client);
    stop_comm(server);
}
void BM_IdleServerLink(benchmark::State &state) { idle_cpu(state, false); }
// The server link is there too: its share is the figure above.
void BM_IdleServerAndClientLinks(benchmark::State &state) { idle_cpu(state, true); }
BENCHMARK(BM_IdleServerLink)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_IdleServerAndClientLinks)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
