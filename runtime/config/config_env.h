// What the configuration code needs from the library that carries it: the runtime build
// loads through the library search and logs to the log file and the Android log; the
// standalone build (static, for libraries with their own copy) opens fixed paths and
// logs to the Android log only.
#pragma once

#include <stdint.h>

namespace xmlcfg {

// The XML library's handle, or nullptr. *shown: the path for the success line.
void *env_xml_load(const char **shown);
// libcrypto's handle, or nullptr.
void *env_crypto_load();
// Whether this build binds xmlHasProp.
extern const bool kEnvBindsHasProp;
// Whether this build binds every libcrypto function, or only the four AES ones.
extern const bool kEnvBindsAllCrypto;
// One line at the runtime's detail level bit.
void env_log(const char *format, ...) __attribute__((format(printf, 1, 2)));
// The size of a file (device path), 0 when its status cannot be read.
int64_t env_file_size(const char *path);

}  // namespace xmlcfg
