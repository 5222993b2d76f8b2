// The kernel seam of the port drivers: real calls unless a test installs a model.
#include <atomic>
#include <sys/ioctl.h>
#include <unistd.h>

#include "plat.h"

namespace {

int real_open(const char *path, int flags, mode_t mode) { return plat_open(path, flags, mode); }
int real_close(int fd) { return close(fd); }
ssize_t real_read(int fd, void *buf, size_t len) { return read(fd, buf, len); }
ssize_t real_write(int fd, const void *buf, size_t len) { return write(fd, buf, len); }
off_t real_lseek(int fd, off_t offset, int whence) { return lseek(fd, offset, whence); }
int real_ioctl(int fd, unsigned long request, void *arg) { return ioctl(fd, request, arg); }
int real_poll(struct pollfd *fds, nfds_t count, int timeout_ms) { return poll(fds, count, timeout_ms); }
int real_tcgetattr(int fd, struct termios *t) { return tcgetattr(fd, t); }
int real_tcsetattr(int fd, int when, const struct termios *t) { return tcsetattr(fd, when, t); }
int real_tcflush(int fd, int queue) { return tcflush(fd, queue); }

constexpr PLAT_KERNEL kRealKernel = {
    .open = real_open,
    .close = real_close,
    .read = real_read,
    .write = real_write,
    .lseek = real_lseek,
    .ioctl = real_ioctl,
    .poll = real_poll,
    .tcgetattr = real_tcgetattr,
    .tcsetattr = real_tcsetattr,
    .tcflush = real_tcflush,
};

// Read on every port call from any thread; an atomic pointer keeps the swap race-free.
std::atomic<const PLAT_KERNEL *> g_kernel{&kRealKernel};

}  // namespace

extern "C" const PLAT_KERNEL *plat_kernel(void) { return g_kernel.load(std::memory_order_acquire); }

extern "C" const PLAT_KERNEL *plat_kernel_real(void) { return &kRealKernel; }

extern "C" void plat_kernel_install(const PLAT_KERNEL *ops) {
    g_kernel.store(ops != nullptr ? ops : &kRealKernel, std::memory_order_release);
}
