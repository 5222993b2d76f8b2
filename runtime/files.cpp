// File tests, directory creation, the directory search lists, the library search and
// file copies.
#include <dirent.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "plat.h"
#include "readercore.h"
#include "rt_log.h"

namespace {

constexpr int kListSize = 3;

// Search lists, tried in order: a user's or the terminal's own folder first, the
// system's last.
const char *const kConfigDirs[kListSize] = {"/storage/sdcard0/Tessaline/xml/", "/unrecoverable/xml/",
                                            "/system/usr/xml/"};
const char *const kUserConfigDirs[kListSize] = {"/data/corvane/", "/mnt/sdcard/", "/system/usr/xml/"};
const char *const kCacheDirs[kListSize] = {"/storage/sdcard0/Tessaline/cache/", "/cache/", "/cache/"};
const char *const kLibDirs[] = {"./", "/unrecoverable/lib64/", "/unrecoverable/lib/", "/system/lib64/",
                                "/system/lib/"};
static_assert(sizeof kLibDirs / sizeof kLibDirs[0] == 5, "five library directories");

// dir + name into out (RT_PATH_MAX bytes); false when it does not fit, since a cut path
// would name another file.
bool join_path(const char *dir, const char *name, char *out) {
    int n = snprintf(out, RT_PATH_MAX, "%s%s", dir, name);
    return n >= 0 && n < RT_PATH_MAX;
}

int search_dirs(const char *const *dirs, char *out, const char *name, const char *trace) {
    if (out == nullptr || name == nullptr) return 0;
    char candidate[RT_PATH_MAX];
    for (int i = 0; i < kListSize; ++i) {
        if (!join_path(dirs[i], name, candidate)) continue;
        if (trace != nullptr) rt_log(LOG_LEVEL_DETAIL, "%s [%s]", trace, candidate);
        if (u_fileexist(candidate) == 0) {
            rt_log(LOG_LEVEL_DETAIL, "Found File [%s]", candidate);
            memcpy(out, candidate, strlen(candidate) + 1);
            return i + 1;
        }
    }
    return 0;
}

// The whole of a file, or nullptr (size 0) when it is empty, missing or unreadable.
uint8_t *read_whole(const char *path, int64_t *size) {
    *size = 0;
    int64_t expected = get_file_size(path);
    if (expected <= 0) return nullptr;
    if (expected > INT32_MAX) {
        rt_log(LOG_LEVEL_DETAIL, "%s too large [%s] [%lld]", "copy", path, static_cast<long long>(expected));
        return nullptr;
    }
    FILE *in = plat_fopen(path, "rb");
    if (in == nullptr) {
        rt_log(LOG_LEVEL_DETAIL, "Open %s Error", path);
        return nullptr;
    }
    uint8_t *data = static_cast<uint8_t *>(malloc(static_cast<size_t>(expected)));
    if (data != nullptr) *size = static_cast<int64_t>(fread(data, 1, static_cast<size_t>(expected), in));
    fclose(in);
    return data;
}

int write_whole(const char *path, const uint8_t *data, int64_t size) {
    FILE *out = plat_fopen(path, "wb");
    if (out == nullptr) {
        rt_log(LOG_LEVEL_DETAIL, "Open %s Error", path);
        return -1;
    }
    size_t written = fwrite(data, 1, static_cast<size_t>(size), out);
    bool ok = fclose(out) == 0 && written == static_cast<size_t>(size);
    return ok ? static_cast<int>(size) : -1;
}

// Mode 1 encrypts, mode 2 decrypts; a failure (below 0) leaves the destination unwritten.
int copy_xml_transform(int mode, const uint8_t *in, int size, uint8_t *out, const char *key_text) {
    return mode == 1 ? OpensslAesEncrypt(in, size, out, key_text) : OpensslAesDecrypt(in, size, out, key_text);
}

}  // namespace

extern "C" int u_fileexist(const char *path) {
    if (path == nullptr) return -1;
    FILE *f = plat_fopen(path, "r");
    if (f == nullptr) return -1;
    fclose(f);
    return 0;
}

extern "C" int is_dir_exit(const char *path) {
    if (path == nullptr) return -1;
    DIR *d = plat_opendir(path);
    if (d == nullptr) return -1;
    closedir(d);
    return 0;
}

extern "C" int CreateDir(const char *path) {
    if (path == nullptr) return -1;
    size_t len = strlen(path);
    if (len == 0 || len > RT_CREATE_DIR_MAX) {
        rt_log(LOG_LEVEL_DETAIL, "%s bad path length [%zu] [%d]", "CreateDir", len, RT_CREATE_DIR_MAX);
        return -1;
    }
    char buf[RT_CREATE_DIR_MAX + 2];
    memcpy(buf, path, len + 1);
    if (buf[len - 1] != '/') {
        buf[len++] = '/';
        buf[len] = '\0';
    }
    // Every separator after the first character ends a prefix: parents come first.
    for (size_t i = 1; i < len; ++i) {
        if (buf[i] != '/') continue;
        buf[i] = '\0';
        struct stat st;
        bool missing = plat_stat(buf, &st) != 0;
        if (missing && plat_mkdir(buf, 0755) != 0) return -1;
        buf[i] = '/';
    }
    return 0;
}

extern "C" int64_t get_file_size(const char *path) {
    struct stat st;
    if (path == nullptr || plat_stat(path, &st) != 0) return 0;
    return static_cast<int64_t>(st.st_size);
}

extern "C" int GetConfigPath(char *out, const char *name) { return search_dirs(kConfigDirs, out, name, nullptr); }

extern "C" int GetUserConfigPath(char *out, const char *name) {
    return search_dirs(kUserConfigDirs, out, name, "GetUserConfigPath");
}

extern "C" int GetCachePath(char *out, const char *name) { return search_dirs(kCacheDirs, out, name, nullptr); }

extern "C" int GetCachePathForIndex(char *out, const char *name, int index) {
    if (out == nullptr || name == nullptr || index < 0 || index >= kListSize) return -1;
    return join_path(kCacheDirs[index], name, out) ? 0 : -1;
}

extern "C" void *GetLibHandle(const char *name) {
    if (name == nullptr) return nullptr;
    char candidate[RT_PATH_MAX];
    for (const char *dir : kLibDirs) {
        if (!join_path(dir, name, candidate)) continue;
        void *handle = plat_dlopen(candidate, RTLD_LAZY);
        if (handle != nullptr) {
            rt_log(LOG_LEVEL_DETAIL, "Found Library [%s]", candidate);
            return handle;
        }
    }
    return nullptr;
}

extern "C" int copy_file(const char *source, const char *destination) {
    return copy_xml(source, destination, 0, nullptr);
}

extern "C" int copy_xml(const char *source, const char *destination, int mode, const char *key_text) {
    if (source == nullptr || destination == nullptr) return -1;
    int64_t size = 0;
    uint8_t *data = read_whole(source, &size);
    if (data == nullptr) return get_file_size(source) > 0 ? -1 : 0;
    int result = -1;
    if ((mode == 1 || mode == 2) && key_text != nullptr) {
        uint8_t *out = static_cast<uint8_t *>(malloc(static_cast<size_t>(size) + 1));
        int done = out != nullptr ? copy_xml_transform(mode, data, static_cast<int>(size), out, key_text) : -1;
        if (done < 0)
            rt_log(LOG_LEVEL_DETAIL, "%s transform failed [%d] [%d] [%s]", "copy_xml", mode, done, source);
        else
            result = write_whole(destination, out, size);
        free(out);
    } else {
        result = write_whole(destination, data, size);
    }
    free(data);
    return result;
}
