// Linked into the test programs that open the service socket. An abstract socket name is
// one per network namespace, and the host's namespace is shared by every other test run on
// it (other build trees and checkouts): such a program takes a namespace of its own before
// main, so that its server and client meet only each other. Within one test run the CTest
// lock on the name still keeps two of these programs' start-ups apart where they share one.
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace {

bool write_proc(const char *path, const char *text) {
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t n = write(fd, text, strlen(text));
    close(fd);
    return n == static_cast<ssize_t>(strlen(text));
}

__attribute__((constructor)) void enter_private_network() {
    if (unshare(CLONE_NEWNET) == 0) return;
    // Without the privilege: a user namespace of its own first, mapped onto the caller.
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        fprintf(stderr, "private network: none to be had, the host's socket names are shared\n");
        return;
    }
    char map[64];
    snprintf(map, sizeof map, "%u %u 1\n", static_cast<unsigned>(uid), static_cast<unsigned>(uid));
    write_proc("/proc/self/uid_map", map);
    write_proc("/proc/self/setgroups", "deny");
    snprintf(map, sizeof map, "%u %u 1\n", static_cast<unsigned>(gid), static_cast<unsigned>(gid));
    write_proc("/proc/self/gid_map", map);
}

}  // namespace
