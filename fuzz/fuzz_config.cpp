// The configuration path on any bytes. Input: a flag byte (bit 0: the bytes are an
// encrypted file, else a plain document), a capacity byte, then the bytes. A plain
// document must come back from encryption and decryption unchanged with its tail plain;
// the decrypted or plain bytes are parsed from memory and walked with every search, read
// and visit operation into small buffers, which are never written past and whose counts
// never exceed the capacity given. The process lays out its own root once, with links to
// the XML library and libcrypto.
#include <dlfcn.h>
#include <libxml/tree.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "plat.h"
#include "readercore.h"
#include "sandbox.h"

namespace {

constexpr const char *kKey = svc_sandbox::kConfigKey;
constexpr char kCanary = '\x5A';
constexpr int kMaxNodes = 64;

void quiet(void *, const char *, ...) {}

struct FuzzRoot {
    std::string dir;
    FuzzRoot() {
        dir = svc_sandbox::make_root("fuzz-config");
        if (dir.empty() || !svc_sandbox::link_libraries(dir, svc_sandbox::kXml | svc_sandbox::kCrypto)) abort();
        plat_set_root(dir.c_str());
        if (XMLInit() != 0) abort();
        // The parser's complaints about bad input would flood the output.
        void *xml = dlopen((dir + "/system/lib64/libzptxml2.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
        auto set_error = xml != nullptr ? reinterpret_cast<void (*)(void *, void (*)(void *, const char *, ...))>(
                                              dlsym(xml, "xmlSetGenericErrorFunc"))
                                        : nullptr;
        if (set_error != nullptr) set_error(nullptr, quiet);
    }
    ~FuzzRoot() { svc_sandbox::remove_root(dir); }
};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// A buffer of exactly capacity bytes the operation may write, and canaries behind it.
struct Guarded {
    explicit Guarded(int capacity) : cap(capacity), bytes(static_cast<size_t>(capacity) + 8, kCanary) {}
    void verify(int count) const {
        check(count >= 0 && count <= cap);
        for (size_t i = static_cast<size_t>(cap); i < bytes.size(); ++i) check(bytes[i] == kCanary);
    }
    int cap;
    std::vector<char> bytes;
};

int visit_limited(XML_NODE *, char *attr, char *text, void *arg) {
    size_t limit = *static_cast<size_t *>(arg);
    check(strlen(attr) < limit && strlen(text) < limit);
    return -1;
}

void visit_text(XML_NODE *, char *text, void *) { check(text != nullptr); }
void visit_name(XML_NODE *, const char *, void *) {}

void exercise_node(XML_HANDLE *h, xmlNode *node, int cap) {
    const char *name = reinterpret_cast<const char *>(node->name);
    xmlNode *parent = node->parent != nullptr && node->parent->type == XML_ELEMENT_NODE ? node->parent : h->root;
    Guarded out(cap), attr(cap);
    out.verify(XMLReadString(h, parent, name, nullptr, nullptr, out.bytes.data(), cap));
    out.verify(XMLReadString(h, parent, name, "name", "Config", out.bytes.data(), cap));
    int n = XMLReadStringGetNameValue(h, parent, name, "name", attr.bytes.data(), cap, out.bytes.data(), cap);
    out.verify(n);
    attr.verify(0);
    XMLFindCurCallProc(h, parent, name, visit_text, nullptr);
    size_t sub_limit = XML_SUBNAME_TEXT_MAX, loop_limit = XML_LOOP_TEXT_MAX;
    XMLFindCurCallProcForSubName(h, node, "name", visit_limited, &sub_limit);
    XMLLoopReadAndProcess(h, node, name, "name", visit_limited, &loop_limit);
    XMLLoopReadAndProcess(h, node, "Config", "name", visit_limited, &loop_limit);
    XMLGetChildrenInfo(node, visit_name, nullptr);
    XMLFindChildrenCallProc(h, parent, name, visit_name, nullptr);
    check(XMLGetChildrenCount(node) >= 0);
    int length = -1;
    char *text = XMLGetContent(node, &length);
    if (text != nullptr) check(length == static_cast<int>(strlen(text)));
    free(text);
    free(XMLNodeGetContent(XMLGetAtter(node, "name")));
}

// Every element in document order, at most kMaxNodes of them.
void walk(XML_HANDLE *h, int cap) {
    for (XML_NODE *found : {XMLFindCur(h, nullptr, "config"), XMLFindCurOnce(h, nullptr, "config")})
        if (found != nullptr) check(strcasecmp(reinterpret_cast<const char *>(found->name), "config") == 0);
    int visited = 0;
    xmlNode *c = h->root;
    while (c != nullptr && visited < kMaxNodes) {
        if (c->type == XML_ELEMENT_NODE) {
            exercise_node(h, c, cap);
            ++visited;
            if (c->children != nullptr) {
                c = c->children;
                continue;
            }
        }
        while (c != nullptr && c != h->root && c->next == nullptr) c = c->parent;
        if (c == nullptr || c == h->root) break;
        c = c->next;
    }
    XMLSetCurNodeContent(h, nullptr, "Config", "changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FuzzRoot root;
    if (size < 2 || size > (1u << 20)) return 0;
    const bool encrypted = (data[0] & 1) != 0;
    const int cap = 1 + data[1] % 32;
    const uint8_t *bytes = data + 2;
    const int length = static_cast<int>(size - 2);

    std::vector<uint8_t> cipher(static_cast<size_t>(length) + 1), plain(static_cast<size_t>(length) + 1);
    if (encrypted) {
        check(OpensslAesDecrypt(bytes, length, plain.data(), kKey) == 1);
    } else {
        check(OpensslAesEncrypt(bytes, length, cipher.data(), kKey) == 1);
        int tail = length % 16;
        check(memcmp(cipher.data() + length - tail, bytes + length - tail, static_cast<size_t>(tail)) == 0);
        check(OpensslAesDecrypt(cipher.data(), length, plain.data(), kKey) == 1);
        check(memcmp(plain.data(), bytes, static_cast<size_t>(length)) == 0);
    }
    XML_HANDLE *h = XMLOpenMem("/fuzz/config", reinterpret_cast<const char *>(plain.data()), length);
    if (h == nullptr) return 0;
    check(h->root != nullptr && strcmp(h->path, "/fuzz/config") == 0);
    walk(h, cap);
    check(XMLClose(h) == 0);
    return 0;
}
