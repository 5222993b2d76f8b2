// Test-only: returns the logging library to its state at load. Built only into the
// static library the tests link.
#include <string.h>
#include <unistd.h>

#include "log_state.h"

extern "C" void log_test_reset(void) {
    pthread_mutex_lock(&g_log_lock);
    int fd = g_log_fd.exchange(-1);
    if (fd >= 0) close(fd);
    memset(g_log_path, 0, sizeof g_log_path);
    g_log_enabled.store(0);
    g_log_level.store(LOG_LEVEL_DEFAULT);
    pthread_mutex_unlock(&g_log_lock);
}
