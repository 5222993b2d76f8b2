// The sleep seam: real waits unless a test installs a replacement.
#include <errno.h>
#include <time.h>

#include <atomic>

#include "plat.h"

namespace {

// Read by every worker thread's wait; an atomic pointer keeps the swap race-free.
std::atomic<PLAT_SLEEP_PROC> g_sleep{nullptr};

}  // namespace

extern "C" void plat_sleep_real(int ms) {
    if (ms <= 0) return;
    struct timespec t = {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    // A signal must not cut a hardware settling time short.
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

extern "C" void plat_sleep_ms(int ms) {
    PLAT_SLEEP_PROC proc = g_sleep.load(std::memory_order_acquire);
    if (proc != nullptr)
        proc(ms);
    else
        plat_sleep_real(ms);
}

extern "C" void plat_sleep_install(PLAT_SLEEP_PROC proc) { g_sleep.store(proc, std::memory_order_release); }
