#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "plat.h"
#include "sim.h"

int sim_pty_open(SimPty *pty, const char *device_path) {
    if (pty == nullptr || device_path == nullptr) return -1;
    char link[PLAT_PATH_MAX];
    if (plat_path(device_path, link, sizeof link) < 0) return -1;
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return -1;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, pty->slave, sizeof pty->slave) != 0) {
        close(master);
        return -1;
    }
    // The engine side reads the port's bytes as they were written.
    struct termios t;
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    unlink(link);
    if (symlink(pty->slave, link) != 0) {
        close(master);
        return -1;
    }
    pty->master = master;
    return 0;
}

ssize_t sim_pty_send(SimPty *pty, const void *bytes, size_t len) {
    if (pty == nullptr || pty->master < 0) return -1;
    return write(pty->master, bytes, len);
}

ssize_t sim_pty_receive(SimPty *pty, void *buf, size_t cap, int timeout_ms) {
    if (pty == nullptr || pty->master < 0) return -1;
    struct pollfd p = {pty->master, POLLIN, 0};
    int ready = poll(&p, 1, timeout_ms);
    if (ready <= 0 || (p.revents & POLLIN) == 0) return 0;
    ssize_t n = read(pty->master, buf, cap);
    return n < 0 ? 0 : n;
}

void sim_pty_close(SimPty *pty) {
    if (pty == nullptr || pty->master < 0) return;
    close(pty->master);
    pty->master = -1;
}
