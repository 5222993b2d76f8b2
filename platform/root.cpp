// The platform root and the file calls that go through it.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "plat.h"

namespace {

// The root is set before the service starts and read on every mapped call: a lock keeps a
// late change from tearing a path another thread is building.
pthread_mutex_t g_root_lock = PTHREAD_MUTEX_INITIALIZER;
char g_root[PLAT_PATH_MAX];
size_t g_root_len;
bool g_root_known;

// A process started without an explicit root takes it from its environment, so that
// helper processes of a test share the test's folder.
void root_load_env_locked() {
    if (g_root_known) return;
    g_root_known = true;
    const char *env = getenv("STACK_PLATFORM_ROOT");
    if (env == nullptr) return;
    size_t n = strlen(env);
    if (n >= sizeof g_root) return;
    memcpy(g_root, env, n + 1);
    g_root_len = n;
}

}  // namespace

extern "C" int plat_set_root(const char *root) {
    size_t n = root == nullptr ? 0 : strlen(root);
    if (n >= sizeof g_root) return -1;
    while (n > 1 && root[n - 1] == '/') --n;
    pthread_mutex_lock(&g_root_lock);
    if (n > 0) memcpy(g_root, root, n);
    g_root[n] = '\0';
    g_root_len = n;
    g_root_known = true;
    pthread_mutex_unlock(&g_root_lock);
    return 0;
}

extern "C" int plat_get_root(char *out, size_t cap) {
    if (out == nullptr) return -1;
    pthread_mutex_lock(&g_root_lock);
    root_load_env_locked();
    int result = -1;
    if (g_root_len < cap) {
        memcpy(out, g_root, g_root_len + 1);
        result = static_cast<int>(g_root_len);
    }
    pthread_mutex_unlock(&g_root_lock);
    return result;
}

extern "C" int plat_path(const char *path, char *out, size_t cap) {
    if (path == nullptr || out == nullptr || cap == 0) return -1;
    size_t n = strlen(path);
    pthread_mutex_lock(&g_root_lock);
    root_load_env_locked();
    size_t prefix = path[0] == '/' ? g_root_len : 0;
    int result = -1;
    if (prefix + n < cap) {
        memcpy(out, g_root, prefix);
        memcpy(out + prefix, path, n + 1);
        result = static_cast<int>(prefix + n);
    }
    pthread_mutex_unlock(&g_root_lock);
    return result;
}

namespace {

// Maps path into buf; false (errno ENAMETOOLONG, or EFAULT for NULL) when it cannot.
bool map_path(const char *path, char (&buf)[PLAT_PATH_MAX]) {
    if (path == nullptr) {
        errno = EFAULT;
        return false;
    }
    if (plat_path(path, buf, sizeof buf) < 0) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}

}  // namespace

extern "C" int plat_open(const char *path, int flags, mode_t mode) {
    char host[PLAT_PATH_MAX];
    if (!map_path(path, host)) return -1;
    return open(host, flags, mode);
}

extern "C" FILE *plat_fopen(const char *path, const char *mode) {
    char host[PLAT_PATH_MAX];
    if (!map_path(path, host) || mode == nullptr) return nullptr;
    return fopen(host, mode);
}

extern "C" int plat_stat(const char *path, struct stat *st) {
    char host[PLAT_PATH_MAX];
    if (!map_path(path, host) || st == nullptr) return -1;
    return stat(host, st);
}

extern "C" int plat_mkdir(const char *path, mode_t mode) {
    char host[PLAT_PATH_MAX];
    if (!map_path(path, host)) return -1;
    return mkdir(host, mode);
}

extern "C" DIR *plat_opendir(const char *path) {
    char host[PLAT_PATH_MAX];
    if (!map_path(path, host)) return nullptr;
    return opendir(host);
}

extern "C" void *plat_dlopen(const char *path, int flags) {
    char host[PLAT_PATH_MAX];
    if (!map_path(path, host)) return nullptr;
    return dlopen(host, flags);
}
