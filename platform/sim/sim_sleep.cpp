// The recording sleep seam: waits are recorded and cut short, so that a test counts the
// seconds of a timer instead of living through them.
#include <mutex>

#include "plat.h"
#include "sim.h"

namespace {

struct SleepState {
    std::mutex lock;
    std::vector<SimWait> waits;
    std::function<void(int)> hook;
    int divisor = 0;
};

SleepState &sleep_state() {
    static SleepState s;
    return s;
}

void sim_sleep(int ms) {
    SleepState &s = sleep_state();
    std::function<void(int)> hook;
    int divisor;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.waits.push_back({sim_next_sequence(), ms, pthread_self()});
        hook = s.hook;
        divisor = s.divisor;
    }
    if (hook) hook(ms);
    if (divisor > 0) plat_sleep_real(ms / divisor);
}

}  // namespace

void sim_sleep_install(int divisor) {
    {
        SleepState &s = sleep_state();
        std::lock_guard<std::mutex> guard(s.lock);
        s.divisor = divisor;
    }
    plat_sleep_install(sim_sleep);
}

void sim_sleep_remove() {
    plat_sleep_install(nullptr);
    SleepState &s = sleep_state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.waits.clear();
    s.hook = nullptr;
    s.divisor = 0;
}

std::vector<SimWait> sim_sleep_waits() {
    SleepState &s = sleep_state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.waits;
}

void sim_sleep_clear() {
    SleepState &s = sleep_state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.waits.clear();
}

void sim_sleep_set_hook(std::function<void(int)> hook) {
    SleepState &s = sleep_state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.hook = std::move(hook);
}
