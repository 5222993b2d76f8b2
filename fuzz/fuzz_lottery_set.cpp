// The lottery-terminal settings on any name and value. Input: the name, a zero byte, the
// value. A recording decoder (the wrapper tests' fake, as the root's "libvexo3.so") counts
// the writes: an unknown name (-3) writes nothing, a value not taken (-2) writes nothing
// but ALL_Enable's six, and 0 comes only for the 39 setting names.
#include <dlfcn.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "zptlog.h"

namespace {

const char *const kNames[] = {
    "ALL_Enable",      "DoubleSingleCode", "ITF_Enable",       "EAN8_Enable",      "EAN8_Addon2",
    "EAN8_Addon5",     "EAN13_Enable",     "EAN13_Addon2",     "EAN13_Addon5",     "UPCE_Enable",
    "UPCE_Addon2",     "UPCE_Addon5",      "UPCA_Enable",      "UPCA_Addon2",      "UPCA_Addon5",
    "ISSN_Enable",     "CODE128_Enable",   "GS1_128_Enable",   "ISBT128_Enable",   "COUPON_Enable",
    "CODE32_Enable",   "CODE39_Enable",    "CODE39_FullASCII", "CODE93_Enable",    "CODE11_Enable",
    "MATRIX25_Enable", "STD25_Enable",     "CDB_Enable",       "MSIPLSY_Enable",   "RSS_Enable",
    "DM_Enable",       "PDF417_Enable",    "PDF_MICRO",        "COMPLSITE_Enable", "COMPLSITE_UPCEAN",
    "MAXIC_Enable",    "QR_Enable",        "QR_Micro",         "AZTEC_Enable",
};
static_assert(sizeof kNames / sizeof kNames[0] == 39, "the settings");

using CallsFn = const char *(*)();
using ClearFn = void (*)();

struct FuzzRoot {
    std::string dir;
    CallsFn calls = nullptr;
    ClearFn clear = nullptr;
    FuzzRoot() {
        dir = svc_sandbox::make_root("fuzz-lottery");
        std::string module;
        FILE *in = fopen(FAKE_DECODER_MODULE, "rb");
        if (dir.empty() || in == nullptr) abort();
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, in)) > 0) module.append(buf, n);
        fclose(in);
        if (!svc_sandbox::write_device_file(dir, "/system/lib64/libvexo3.so", module)) abort();
        plat_set_root(dir.c_str());
        log_set_level(0);
        if (X3_Init() != 1) abort();
        void *h = dlopen((dir + "/system/lib64/libvexo3.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (h == nullptr) abort();
        calls = reinterpret_cast<CallsFn>(dlsym(h, "fake_decoder_calls"));
        clear = reinterpret_cast<ClearFn>(dlsym(h, "fake_decoder_clear"));
        if (calls == nullptr || clear == nullptr) abort();
    }
    ~FuzzRoot() {
        X3_Free();
        svc_sandbox::remove_root(dir);
    }
    int writes() const {
        int count = 0;
        for (const char *p = strstr(calls(), " set "); p != nullptr; p = strstr(p + 1, " set ")) ++count;
        return count;
    }
};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool is_setting(const std::string &name) {
    for (const char *n : kNames)
        if (name == n) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FuzzRoot root;
    if (size > 4096) return 0;
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t split = input.find('\0');
    std::string name = input.substr(0, split);
    std::string value = split == std::string::npos ? std::string() : input.substr(split + 1);
    // Texts end at their first zero byte, as the callers' C strings do.
    value = value.substr(0, value.find('\0'));

    root.clear();
    int result = X3TiCai_Set(name.c_str(), value.c_str());
    int writes = root.writes();
    check(result == 0 || result == -2 || result == -3);
    if (result == -3) check(writes == 0 && !is_setting(name));
    if (result == -2) check(writes == (name == "ALL_Enable" ? 6 : 0) && is_setting(name));
    if (result == 0) check(is_setting(name) && writes > 0);
    return 0;
}
