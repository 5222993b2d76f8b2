// The standalone build of the configuration code, for libraries that carry their own
// copy: the system's libraries by fixed path, the XML library without xmlHasProp,
// libcrypto for the AES functions only, lines to the Android log only.
#include <android/log.h>
#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/stat.h>

#include "config_env.h"
#include "plat.h"
#include "zptlog.h"

namespace xmlcfg {

const bool kEnvBindsHasProp = false;
const bool kEnvBindsAllCrypto = false;

void *env_xml_load(const char **shown) {
    *shown = "/system/lib64/libxml2.so";
    return plat_dlopen(*shown, RTLD_LAZY);
}

void *env_crypto_load() { return plat_dlopen("/system/lib64/libcrypto.so", RTLD_LAZY); }

void env_log(const char *format, ...) {
    if ((log_get_level() & LOG_LEVEL_DETAIL) == 0) return;
    char line[ZPTLOG_LINE_MAX + 1];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    __android_log_print(ANDROID_LOG_DEBUG, ZPTLOG_ANDROID_TAG, "%s", line);
}

int64_t env_file_size(const char *path) {
    struct stat st;
    return plat_stat(path, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

}  // namespace xmlcfg
