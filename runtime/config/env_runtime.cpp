// The runtime's build of the configuration code: libraries through the library search,
// lines to the log file and the Android log.
#include <dlfcn.h>
#include <stdarg.h>

#include "config_env.h"
#include "plat.h"
#include "readercore.h"
#include "rt_log.h"

namespace xmlcfg {

const bool kEnvBindsHasProp = true;
const bool kEnvBindsAllCrypto = true;

void *env_xml_load(const char **shown) {
    // The terminal's own XML library build is reported under one fixed name, whichever
    // directory of the search held it.
    void *handle = GetLibHandle("libzptxml2.so");
    if (handle != nullptr) {
        *shown = "/system/lib64/libzptxml2.so";
        return handle;
    }
    *shown = "/system/lib64/libxml2.so";
    return plat_dlopen(*shown, RTLD_LAZY);
}

void *env_crypto_load() { return GetLibHandle("libcrypto.so"); }

void env_log(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    rt_vlog(LOG_LEVEL_DETAIL, format, ap);
    va_end(ap);
}

int64_t env_file_size(const char *path) { return get_file_size(path); }

}  // namespace xmlcfg
