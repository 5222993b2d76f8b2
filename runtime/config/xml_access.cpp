// XML access: the XML library is loaded at run time and reached through a table of bound
// functions, so that a terminal without it still starts (every operation then fails).
// Documents are hostile input: every copy is bounded by the buffer it goes to, and a walk
// follows only element nodes (entity references are leaves).
#include <dlfcn.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <stdlib.h>
#include <string.h>

#include "config_env.h"
#include "plat.h"
#include "xmlcfg.h"

namespace {

// The twelve functions of the library; any may be absent.
struct XmlLib {
    void *handle;
    decltype(&xmlStrlen) strlen_fn;
    decltype(&xmlNodeSetContent) set_content;
    decltype(&xmlNodeGetContent) get_content;
    decltype(&xmlStrcmp) strcmp_fn;
    decltype(&xmlGetProp) get_prop;
    decltype(&xmlDocGetRootElement) root_element;
    decltype(&xmlParseFile) parse_file;
    decltype(&xmlFreeDoc) free_doc;
    decltype(&xmlSaveFile) save_file;
    decltype(&xmlStrcasecmp) strcasecmp_fn;
    decltype(&xmlReadMemory) read_memory;
    decltype(&xmlHasProp) has_prop;
};

XmlLib g_xml;

// Decrypted documents drop blank texts; nothing is fetched from the network, entities are
// not substituted and no DTD is loaded (neither option is given).
constexpr int kReadMemoryOptions = XML_PARSE_NOBLANKS | XML_PARSE_NONET;
static_assert(XML_PARSE_NOBLANKS == 0x100, "blank texts dropped as the configuration files expect");

template <typename Fn>
void bind_symbol(Fn &slot, const char *name) {
    slot = reinterpret_cast<Fn>(dlsym(g_xml.handle, name));
}

const xmlChar *X(const char *text) { return reinterpret_cast<const xmlChar *>(text); }

bool name_is_case(const xmlNode *node, const char *name) {
    return node->name != nullptr && name != nullptr && g_xml.strcasecmp_fn != nullptr &&
           g_xml.strcasecmp_fn(node->name, X(name)) == 0;
}

bool name_is_exact(const xmlNode *node, const char *name) {
    return node->name != nullptr && name != nullptr && g_xml.strcmp_fn != nullptr &&
           g_xml.strcmp_fn(node->name, X(name)) == 0;
}

XML_NODE *start_node(XML_HANDLE *handle, XML_NODE *node) {
    if (node != nullptr) return node;
    return handle != nullptr ? handle->root : nullptr;
}

// The node's text from the library (the caller frees it), or nullptr.
xmlChar *content_of(xmlNode *node) { return g_xml.get_content != nullptr ? g_xml.get_content(node) : nullptr; }

xmlChar *prop_of(xmlNode *node, const char *attr_name) {
    if (attr_name == nullptr || g_xml.get_prop == nullptr) return nullptr;
    return g_xml.get_prop(node, X(attr_name));
}

// Copies at most capacity bytes of text, without a terminator: the count.
int copy_bounded(const xmlChar *text, char *out, int capacity) {
    if (text == nullptr || out == nullptr || capacity <= 0) return 0;
    size_t n = strlen(reinterpret_cast<const char *>(text));
    if (n > static_cast<size_t>(capacity)) n = static_cast<size_t>(capacity);
    memcpy(out, text, n);
    return static_cast<int>(n);
}

// The text of node or of the first following sibling with one, into out.
int copy_first_text(xmlNode *node, char *out, int capacity) {
    for (xmlNode *n = node; n != nullptr; n = n->next) {
        xmlChar *text = content_of(n);
        if (text == nullptr) continue;
        int copied = copy_bounded(text, out, capacity);
        free(text);
        return copied;
    }
    return 0;
}

// A text for a visit procedure: zero-filled buffer of size bytes, the text cut to fit.
void fill_visit_text(xmlChar *text, char *buf, int size) {
    memset(buf, 0, static_cast<size_t>(size));
    copy_bounded(text, buf, size - 1);
    free(text);
}

bool has_content(const xmlNode *node) { return node->children != nullptr; }

// The functions a read or visit needs: without one of them it answers its failure value.
bool can_read_texts(const char *attr_name) {
    return g_xml.get_content != nullptr && (attr_name == nullptr || g_xml.get_prop != nullptr);
}

XML_HANDLE *new_handle(const char *path, xmlDoc *doc) {
    xmlNode *root = doc != nullptr && g_xml.root_element != nullptr ? g_xml.root_element(doc) : nullptr;
    XML_HANDLE *handle = root != nullptr ? static_cast<XML_HANDLE *>(calloc(1, sizeof(XML_HANDLE))) : nullptr;
    if (handle == nullptr) {
        if (doc != nullptr && g_xml.free_doc != nullptr) g_xml.free_doc(doc);
        return nullptr;
    }
    if (path != nullptr) {
        size_t n = strnlen(path, XML_PATH_MAX - 1);
        memcpy(handle->path, path, n);
    }
    handle->doc = doc;
    handle->root = root;
    return handle;
}

}  // namespace

extern "C" int XMLInit(void) {
    if (g_xml.handle != nullptr) return 0;
    const char *shown = nullptr;
    void *handle = xmlcfg::env_xml_load(&shown);
    if (handle == nullptr) {
        const char *error = dlerror();
        xmlcfg::env_log("dlopen Error [%s]\n", error != nullptr ? error : "");
        return -1;
    }
    xmlcfg::env_log("dlopen success [%s]\n", shown);
    g_xml.handle = handle;
    bind_symbol(g_xml.strlen_fn, "xmlStrlen");
    bind_symbol(g_xml.set_content, "xmlNodeSetContent");
    bind_symbol(g_xml.get_content, "xmlNodeGetContent");
    bind_symbol(g_xml.strcmp_fn, "xmlStrcmp");
    bind_symbol(g_xml.get_prop, "xmlGetProp");
    bind_symbol(g_xml.root_element, "xmlDocGetRootElement");
    bind_symbol(g_xml.parse_file, "xmlParseFile");
    bind_symbol(g_xml.free_doc, "xmlFreeDoc");
    bind_symbol(g_xml.save_file, "xmlSaveFile");
    bind_symbol(g_xml.strcasecmp_fn, "xmlStrcasecmp");
    bind_symbol(g_xml.read_memory, "xmlReadMemory");
    if (xmlcfg::kEnvBindsHasProp) bind_symbol(g_xml.has_prop, "xmlHasProp");
    return 0;
}

extern "C" void XmlLibFree(void) {
    if (g_xml.handle != nullptr) dlclose(g_xml.handle);
    g_xml = XmlLib{};
}

extern "C" XML_HANDLE *XMLOpen(const char *path) {
    if (path == nullptr || XMLInit() != 0 || g_xml.parse_file == nullptr) return nullptr;
    char host[PLAT_PATH_MAX];
    if (plat_path(path, host, sizeof host) < 0) return nullptr;
    return new_handle(path, g_xml.parse_file(host));
}

extern "C" XML_HANDLE *XMLOpenMem(const char *path, const char *buffer, int length) {
    if (XMLInit() != 0 || buffer == nullptr || length <= 0 || g_xml.read_memory == nullptr) return nullptr;
    return new_handle(path, g_xml.read_memory(buffer, length, nullptr, "UTF8", kReadMemoryOptions));
}

extern "C" int XMLClose(XML_HANDLE *handle) {
    if (handle == nullptr) return -1;
    if (handle->doc != nullptr && g_xml.free_doc != nullptr) g_xml.free_doc(handle->doc);
    free(handle);
    return 0;
}

extern "C" int XMLSave(XML_HANDLE *handle, const char *path) {
    if (handle == nullptr) return -1;
    char host[PLAT_PATH_MAX];
    if (path == nullptr || g_xml.save_file == nullptr || plat_path(path, host, sizeof host) < 0 ||
        g_xml.save_file(host, handle->doc) < 0) {
        xmlcfg::env_log("%s Error [%s]", "XMLSave", path != nullptr ? path : "");
        return -1;
    }
    return 0;
}

extern "C" XML_NODE *XMLFindCur(XML_HANDLE *handle, XML_NODE *node, const char *name) {
    XML_NODE *start = start_node(handle, node);
    if (start == nullptr || name == nullptr) return nullptr;
    // Depth first without recursion: descend into elements, else the next sibling, else
    // climb back towards the start.
    xmlNode *c = start->children;
    while (c != nullptr) {
        if (name_is_case(c, name)) return c;
        if (c->type == XML_ELEMENT_NODE && c->children != nullptr) {
            c = c->children;
            continue;
        }
        while (c != nullptr && c != start && c->next == nullptr) c = c->parent;
        if (c == nullptr || c == start) return nullptr;
        c = c->next;
    }
    return nullptr;
}

extern "C" XML_NODE *XMLFindCurOnce(XML_HANDLE *handle, XML_NODE *node, const char *name) {
    XML_NODE *start = start_node(handle, node);
    if (start == nullptr || name == nullptr) return nullptr;
    for (xmlNode *c = start->children; c != nullptr; c = c->next)
        if (name_is_case(c, name)) return c;
    return nullptr;
}

extern "C" int XMLReadString(XML_HANDLE *handle, XML_NODE *node, const char *name, const char *attr_name,
                             const char *attr_value, char *out, int capacity) {
    if (handle == nullptr || out == nullptr || !can_read_texts(attr_name)) return 0;
    if (attr_name != nullptr && g_xml.strcmp_fn == nullptr) return 0;
    xmlNode *found = XMLFindCur(handle, node, name);
    if (found == nullptr) return 0;
    if (attr_name == nullptr) return copy_first_text(found, out, capacity);
    // The filter also accepts a following sibling of another name.
    for (xmlNode *n = found; n != nullptr; n = n->next) {
        xmlChar *value = prop_of(n, attr_name);
        bool match = value != nullptr && attr_value != nullptr && g_xml.strcmp_fn(value, X(attr_value)) == 0;
        free(value);
        if (!match) continue;
        xmlChar *text = content_of(n);
        int copied = copy_bounded(text, out, capacity);
        free(text);
        return copied;
    }
    return 0;
}

extern "C" int XMLReadStringGetNameValue(XML_HANDLE *handle, XML_NODE *node, const char *name,
                                         const char *attr_name, char *attr_out, int attr_capacity, char *out,
                                         int capacity) {
    if (handle == nullptr || out == nullptr || !can_read_texts(attr_name)) return 0;
    xmlNode *found = XMLFindCur(handle, node, name);
    if (found == nullptr) return 0;
    if (attr_name != nullptr && attr_out != nullptr) {
        xmlChar *value = prop_of(found, attr_name);
        if (value != nullptr)
            copy_bounded(value, attr_out, attr_capacity);
        else if (attr_capacity > 0)
            attr_out[0] = '\0';
        free(value);
    }
    return copy_first_text(found, out, capacity);
}

extern "C" void XMLFindCurCallProc(XML_HANDLE *handle, XML_NODE *node, const char *name, XML_TEXT_PROC proc,
                                   void *arg) {
    XML_NODE *start = start_node(handle, node);
    if (start == nullptr || !can_read_texts(nullptr)) return;
    for (xmlNode *c = start->children; c != nullptr; c = c->next) {
        if (!name_is_case(c, name)) continue;
        xmlChar *text = content_of(c);
        if (text == nullptr) continue;
        if (proc != nullptr) proc(c, reinterpret_cast<char *>(text), arg);
        free(text);
    }
}

extern "C" void XMLFindChildrenCallProc(XML_HANDLE *handle, XML_NODE *node, const char *name, XML_NAME_PROC proc,
                                        void *arg) {
    XML_NODE *parent = name != nullptr ? XMLFindCurOnce(handle, node, name) : start_node(handle, nullptr);
    if (parent != nullptr) XMLGetChildrenInfo(parent, proc, arg);
}

extern "C" int XMLFindCurCallProcForSubName(XML_HANDLE *handle, XML_NODE *node, const char *attr_name,
                                            XML_ATTR_PROC proc, void *arg) {
    XML_NODE *start = start_node(handle, node);
    if (start == nullptr || proc == nullptr || g_xml.strcmp_fn == nullptr || !can_read_texts(attr_name)) return -1;
    int result = -1;
    char attr[XML_SUBNAME_TEXT_MAX];
    char text[XML_SUBNAME_TEXT_MAX];
    for (xmlNode *c = start->children; c != nullptr; c = c->next) {
        if (name_is_exact(c, "text")) continue;
        fill_visit_text(prop_of(c, attr_name), attr, sizeof attr);
        fill_visit_text(content_of(c), text, sizeof text);
        result = proc(c, attr, text, arg);
    }
    memset(attr, 0, sizeof attr);
    memset(text, 0, sizeof text);
    return result;
}

extern "C" int XMLGetChildrenInfo(XML_NODE *node, XML_NAME_PROC proc, void *arg) {
    if (node == nullptr) return 0;
    for (xmlNode *c = node->children; c != nullptr; c = c->next)
        if (has_content(c) && proc != nullptr) proc(c, reinterpret_cast<const char *>(c->name), arg);
    return 0;
}

extern "C" int XMLLoopReadAndProcess(XML_HANDLE *, XML_NODE *node, const char *name, const char *attr_name,
                                     XML_ATTR_PROC proc, void *arg) {
    if (node == nullptr || proc == nullptr || g_xml.strcmp_fn == nullptr || !can_read_texts(attr_name)) return -1;
    int result = -1;
    char attr[XML_LOOP_TEXT_MAX];
    char text[XML_LOOP_TEXT_MAX];
    for (xmlNode *c = node->children; c != nullptr; c = c->next) {
        if (!name_is_exact(c, name)) continue;
        fill_visit_text(prop_of(c, attr_name), attr, sizeof attr);
        fill_visit_text(content_of(c), text, sizeof text);
        result = proc(c, attr, text, arg);
        if (result == 0) break;
    }
    return result;
}

extern "C" XML_NODE *XMLGetAtter(XML_NODE *node, const char *attr_name) {
    if (node == nullptr || attr_name == nullptr || g_xml.has_prop == nullptr) return nullptr;
    return reinterpret_cast<XML_NODE *>(g_xml.has_prop(node, X(attr_name)));
}

extern "C" char *XMLNodeGetContent(XML_NODE *node) {
    if (node == nullptr) return nullptr;
    return reinterpret_cast<char *>(content_of(node));
}

extern "C" char *XMLGetContent(XML_NODE *node, int *length) {
    if (node == nullptr || length == nullptr || g_xml.strlen_fn == nullptr) return nullptr;
    xmlChar *text = content_of(node);
    if (text != nullptr) *length = g_xml.strlen_fn(text);
    return reinterpret_cast<char *>(text);
}

extern "C" int XMLGetChildrenCount(XML_NODE *node) {
    if (node == nullptr) return 0;
    int count = 0;
    for (xmlNode *c = node->children; c != nullptr; c = c->next)
        if (has_content(c)) ++count;
    return count;
}

extern "C" void XMLSetCurNodeContent(XML_HANDLE *handle, XML_NODE *node, const char *name, const char *text) {
    XML_NODE *start = start_node(handle, node);
    if (start == nullptr || g_xml.set_content == nullptr) return;
    for (xmlNode *c = start->children; c != nullptr; c = c->next)
        if (name_is_case(c, name)) g_xml.set_content(c, X(text));
}

