// An XML library build that offers only what opening and closing a document take: every
// other operation of the XML access must answer its failure value.
#include <dlfcn.h>

#define XML_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void *real(const char *name) {
    static void *library = dlopen("libxml2.so.2", RTLD_NOW | RTLD_LOCAL);
    return library != nullptr ? dlsym(library, name) : nullptr;
}

}  // namespace

XML_EXPORT void *xmlParseFile(const char *path) {
    return reinterpret_cast<void *(*)(const char *)>(real("xmlParseFile"))(path);
}

XML_EXPORT void *xmlReadMemory(const char *buffer, int size, const char *url, const char *encoding, int options) {
    using Fn = void *(*)(const char *, int, const char *, const char *, int);
    return reinterpret_cast<Fn>(real("xmlReadMemory"))(buffer, size, url, encoding, options);
}

XML_EXPORT void *xmlDocGetRootElement(void *doc) {
    return reinterpret_cast<void *(*)(void *)>(real("xmlDocGetRootElement"))(doc);
}

XML_EXPORT void xmlFreeDoc(void *doc) { reinterpret_cast<void (*)(void *)>(real("xmlFreeDoc"))(doc); }
