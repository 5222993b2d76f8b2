#include "library.h"

#include <dlfcn.h>

namespace decode_image {

namespace {

template <typename Fn>
bool Bind(void *handle, const char *name, Fn *slot, std::string *missing) {
    *slot = reinterpret_cast<Fn>(dlsym(handle, name));
    if (*slot == nullptr && missing->empty()) *missing = name;
    return *slot != nullptr;
}

}  // namespace

DecoderLibrary::~DecoderLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

bool DecoderLibrary::Load(const std::string &path, std::string *error) {
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *why = dlerror();
        *error = why != nullptr ? why : "cannot load " + path;
        return false;
    }
    testkit::DecoderApi api;
    std::string missing;
    Bind(handle, "ZPT_SE_VexoDec_Init", &api.init, &missing);
    Bind(handle, "ZPT_SE_VexoDec_Set", &api.set, &missing);
    Bind(handle, "ZPT_SE_VexoDec_Get", &api.get, &missing);
    Bind(handle, "ZPT_SE_VexoDec_Decode", &api.decode, &missing);
    Bind(handle, "X3_Dec_TSI", &api.tsi, &missing);
    Bind(handle, "ZPT_SE_VexoConnect_Init", &api.connectInit, &missing);
    if (!missing.empty()) {
        *error = path + ": no function " + missing;
        dlclose(handle);
        return false;
    }
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = handle;
    api_ = api;
    return true;
}

}  // namespace decode_image
