// One serial firmware part with the engine's replies taken from the input, through a
// kernel table of its own (polls and reads served from the input, writes kept) and a
// sleep seam that only counts: nothing is read past a buffer, the part ends with -1
// unless every frame but the last was acknowledged, and the line is back at 115200
// after every way out.
//
// Input: byte 0 the part's frames (1-4) and the forced entry (bit 4); then, per poll,
// one byte (odd: data ready); per read, one length byte and that many reply bytes.
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <termios.h>

#include <vector>

#include "hwports.h"
#include "plat.h"
#include "readercore.h"

namespace {

constexpr int kFakeFd = 901;
constexpr int kFrameBytes = 517;
constexpr char kTty[] = "/dev/ttyFUZZ";

struct Line {
    const uint8_t *in = nullptr;
    size_t left = 0;
    speed_t speed = B115200;
    int pending_frame = -1;  // the data frame whose reply the next read brings
    bool acked[4] = {};
} g_line;

int take() {
    if (g_line.left == 0) return -1;
    --g_line.left;
    return *g_line.in++;
}

int k_open(const char *, int, mode_t) { return kFakeFd; }
int k_close(int) { return 0; }
ssize_t k_read(int, void *buf, size_t len) {
    int n = take();
    if (n <= 0) return 0;
    size_t count = static_cast<size_t>(n);
    if (count > len) count = len;
    if (count > g_line.left) count = g_line.left;
    memcpy(buf, g_line.in, count);
    if (count > 0 && g_line.pending_frame >= 0) {
        if (static_cast<const uint8_t *>(buf)[0] == '*') g_line.acked[g_line.pending_frame] = true;
        g_line.pending_frame = -1;
    }
    g_line.in += count;
    g_line.left -= count;
    return static_cast<ssize_t>(count);
}
ssize_t k_write(int, const void *buf, size_t len) {
    const uint8_t *b = static_cast<const uint8_t *>(buf);
    // Each frame's payload starts with its own number (see below).
    g_line.pending_frame = len == kFrameBytes && b[0] == 0x02 ? b[1] : -1;
    return static_cast<ssize_t>(len);
}
off_t k_lseek(int, off_t, int) { return 0; }
int k_ioctl(int, unsigned long, void *) { return 0; }
int k_poll(struct pollfd *fds, nfds_t, int) {
    int ready = take();
    fds[0].revents = ready > 0 && (ready & 1) != 0 ? POLLIN : 0;
    return fds[0].revents != 0 ? 1 : 0;
}
int k_tcgetattr(int, struct termios *t) {
    memset(t, 0, sizeof *t);
    cfsetospeed(t, g_line.speed);
    cfsetispeed(t, g_line.speed);
    return 0;
}
int k_tcsetattr(int, int, const struct termios *t) {
    g_line.speed = cfgetospeed(t);
    return 0;
}
int k_tcflush(int, int) { return 0; }

const PLAT_KERNEL kKernel = {k_open, k_close, k_read, k_write, k_lseek, k_ioctl, k_poll, k_tcgetattr, k_tcsetattr,
                             k_tcflush};

long g_waited_ms = 0;
void count_sleep(int ms) { g_waited_ms += ms; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 1u << 16) return 0;
    static const bool ready = [] {
        plat_kernel_install(&kKernel);
        plat_sleep_install(count_sleep);
        register_device(PORT_KIND_UART, 1, kTty);
        return serial_open(1, 115200, 0) >= 0;
    }();
    if (!ready) __builtin_trap();

    const int frames = 1 + (data[0] & 3);
    const int oper = (data[0] & 0x10) != 0 ? UPGRADE_FORCE : 0;
    const uint32_t length = static_cast<uint32_t>(frames * 512 - 100);
    std::vector<uint8_t> part(length);
    for (uint32_t i = 0; i < length; ++i) part[i] = static_cast<uint8_t>(i % 512 == 0 ? i / 512 : i);

    std::vector<uint8_t> replies(data + 1, data + size);
    g_line = Line{};
    g_line.in = replies.data();
    g_line.left = replies.size();
    serial_speed(1, 115200);

    ENGINE_RECORD record{};
    record.DriverChannel = 1;
    record.PowerChannel = 0;
    const int result = gt51x0_upgrade_part(UPGRADE_TYPE_KERNEL, &record, part.data(), length, oper);
    if (result != 0 && result != -1) __builtin_trap();
    if (result == 0)
        for (int i = 0; i + 1 < frames; ++i)
            if (!g_line.acked[i]) __builtin_trap();
    if (g_line.speed != B115200) __builtin_trap();
    return 0;
}
