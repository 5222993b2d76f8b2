// System properties on this host: one file per property in a folder under the root, so
// every process with the same root sees the same values. A value is replaced by renaming
// a finished file over it, never written in place.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/system_properties.h>
#include <unistd.h>

#include "plat.h"

namespace {

constexpr char kStoreDir[] = "/dev/__properties__";
constexpr size_t kNameMax = 255;

// Names are dotted words; anything that could leave the folder is refused.
bool name_valid(const char *name) {
    if (name == nullptr || name[0] == '\0' || name[0] == '.') return false;
    size_t n = strnlen(name, kNameMax + 1);
    if (n > kNameMax) return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-' || c == '@' || c == ':';
        if (!ok) return false;
    }
    return true;
}

// The host file of a property; false without a root (nothing is stored outside it).
bool property_file(const char *name, char (&out)[PLAT_PATH_MAX]) {
    char root[PLAT_PATH_MAX];
    if (plat_get_root(root, sizeof root) <= 0) return false;
    int n = snprintf(out, sizeof out, "%s%s/%s", root, kStoreDir, name);
    return n > 0 && static_cast<size_t>(n) < sizeof out;
}

bool store_ready() {
    char dev[PLAT_PATH_MAX];
    char dir[PLAT_PATH_MAX];
    if (plat_path("/dev", dev, sizeof dev) < 0 || plat_path(kStoreDir, dir, sizeof dir) < 0) return false;
    mkdir(dev, 0755);
    return mkdir(dir, 0755) == 0 || errno == EEXIST;
}

}  // namespace

extern "C" int __system_property_get(const char *name, char *value) {
    if (value == nullptr) return 0;
    value[0] = '\0';
    char path[PLAT_PATH_MAX];
    if (!name_valid(name) || !property_file(name, path)) return 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    ssize_t n = read(fd, value, PROP_VALUE_MAX - 1);
    close(fd);
    if (n < 0) n = 0;
    value[n] = '\0';
    return static_cast<int>(strlen(value));
}

extern "C" int __system_property_set(const char *name, const char *value) {
    if (value == nullptr) value = "";
    size_t len = strnlen(value, PROP_VALUE_MAX);
    char path[PLAT_PATH_MAX];
    char temp[PLAT_PATH_MAX + 32];
    if (len >= PROP_VALUE_MAX || !name_valid(name) || !property_file(name, path) || !store_ready()) return -1;
    snprintf(temp, sizeof temp, "%s.%d.%lu.tmp", path, static_cast<int>(getpid()),
             static_cast<unsigned long>(pthread_self()));
    int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    bool ok = write(fd, value, len) == static_cast<ssize_t>(len);
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp, path) != 0) {
        unlink(temp);
        return -1;
    }
    return 0;
}
