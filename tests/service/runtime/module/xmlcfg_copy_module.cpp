// A library carrying its own copy of the XML access and decryption (the static build):
// one exported function, everything of the copy hidden.
#include "xmlcfg.h"

// Opens path (decrypted under key_text when given) and reads the first element named
// name: the count copied, or -1 when the document does not open.
extern "C" __attribute__((visibility("default"))) int xmlcfg_copy_read(const char *path, const char *key_text,
                                                                       const char *name, char *out, int capacity) {
    XML_HANDLE *handle = key_text != nullptr ? XMLOpenDecrypt(path, key_text) : XMLOpen(path);
    if (handle == nullptr) return -1;
    int copied = XMLReadString(handle, nullptr, name, nullptr, nullptr, out, capacity);
    XMLClose(handle);
    return copied;
}

// Releases the copy's libraries.
extern "C" __attribute__((visibility("default"))) void xmlcfg_copy_free() {
    XmlLibFree();
    OpensslFree();
}
