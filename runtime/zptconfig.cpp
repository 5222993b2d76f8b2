// The system configuration ZPTConfig.xml (log level, log file, external decoder) and the
// external decoder library it may name.
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include "readercore.h"
#include "rt_log.h"

namespace {

constexpr const char *kConfigName = "ZPTConfig.xml";
// LibExDecode holds a file name of up to 47 characters, LibExDecodeType up to 19.
constexpr int kLibNameSize = 48;
constexpr int kTypeTextSize = 20;
constexpr int kIntTextSize = 20;

XML_HANDLE *g_config;

struct ExDecodeLib {
    void *handle;
    int (*init)(void);
    void (*free)(void);
    int (*decode)(void);
    int (*set)(uint32_t id, uint64_t value);
    int (*get)(uint32_t id, void *out);
};

ExDecodeLib g_exdecode;

struct ReadRequest {
    const char *key;
    char *out;
    int out_size;
    int result;
};

// The first Config element whose name is the key gives its text, read whole from the
// node rather than from the visit's cut copy.
int read_config_proc(XML_NODE *node, char *attr, char *, void *arg) {
    ReadRequest *request = static_cast<ReadRequest *>(arg);
    if (strcmp(attr, request->key) != 0) return -1;
    char *text = XMLNodeGetContent(node);
    size_t length = text != nullptr ? strlen(text) : 0;
    if (length >= static_cast<size_t>(request->out_size)) {
        rt_log(LOG_LEVEL_DETAIL, "%s value too long [%s] [%zu] [%d]", "zptconfig_read_string", request->key, length,
               request->out_size);
    } else {
        memcpy(request->out, text != nullptr ? text : "", length + 1);
        request->result = 0;
    }
    free(text);
    return 0;
}

// A library named by a file on shared storage is taken only as a plain file name, so that
// the library search stays within its own directories.
bool plain_file_name(const char *name) { return name[0] != '\0' && strchr(name, '/') == nullptr; }

template <typename Fn>
void bind_symbol(Fn &slot, const char *name) {
    slot = reinterpret_cast<Fn>(dlsym(g_exdecode.handle, name));
}

}  // namespace

extern "C" int zptconfig_init(void) {
    char path[RT_PATH_MAX];
    int found = GetUserConfigPath(path, kConfigName);
    rt_log(LOG_LEVEL_DETAIL, "%s found:%d", "zptconfig_init", found);
    if (found <= 0) return -1;
    rt_log(LOG_LEVEL_DETAIL, "Found ZptConfig XML [%s]", path);
    zptconfig_deinit();
    g_config = XMLOpen(path);
    if (g_config == nullptr) return -1;
    int level = 0;
    if (zptconfig_read_int("DebugLevel", &level) == 0) log_set_level(static_cast<uint32_t>(level));
    // The logging library keeps this many characters of a path: a longer one is refused
    // rather than cut into another file's name.
    char file[ZPTLOG_PATH_MAX + 1];
    if (zptconfig_read_string("DebugFile", file, sizeof file) == 0) log_set_filepath(file);
    return 0;
}

extern "C" int zptconfig_read_string(const char *key, char *out, int out_size) {
    if (g_config == nullptr || key == nullptr || out == nullptr || out_size <= 0) return -1;
    ReadRequest request{key, out, out_size, -1};
    XMLLoopReadAndProcess(g_config, g_config->root, "Config", "name", read_config_proc, &request);
    return request.result;
}

extern "C" int zptconfig_read_int(const char *key, int *out) {
    if (out == nullptr) return -1;
    char text[kIntTextSize] = {};
    if (zptconfig_read_string(key, text, sizeof text) != 0) return -1;
    *out = atoi(text);
    return 0;
}

extern "C" void zptconfig_deinit(void) {
    XMLClose(g_config);
    g_config = nullptr;
}

extern "C" int ExDecode_Init(void) {
    char name[kLibNameSize] = {};
    int read = zptconfig_read_string("LibExDecode", name, sizeof name);
    rt_log(LOG_LEVEL_DETAIL, "%s ret [%d] [%s]", "ExDecode_Init", read, name);
    if (read != 0) return read;
    if (!plain_file_name(name)) {
        rt_log(LOG_LEVEL_DETAIL, "%s not a file name [%s]", "ExDecode_Init", name);
        return 0;
    }
    ExDecode_Free();
    g_exdecode.handle = GetLibHandle(name);
    if (g_exdecode.handle == nullptr) {
        const char *error = dlerror();
        rt_log(LOG_LEVEL_DETAIL, "%s Error [%s]", "ExDecode_Init", error != nullptr ? error : "");
        return 0;
    }
    bind_symbol(g_exdecode.init, "ExDecode_Init");
    bind_symbol(g_exdecode.free, "ExDecode_Free");
    bind_symbol(g_exdecode.decode, "ExDecode_Decode");
    bind_symbol(g_exdecode.set, "ExDecode_Set");
    bind_symbol(g_exdecode.get, "ExDecode_Get");
    if (g_exdecode.init == nullptr) return 0;
    int result = g_exdecode.init();
    char type_text[kTypeTextSize] = {};
    zptconfig_read_string("LibExDecodeType", type_text, sizeof type_text);
    uint64_t type = static_cast<uint64_t>(ConverStrtoHex(type_text, static_cast<int>(strlen(type_text))));
    ExDecode_Set(EXDECODE_CODE_TYPE_ID, type);
    rt_log(LOG_LEVEL_DETAIL, "%s Success [%s] [%x]", "ExDecode_Init", name, static_cast<unsigned>(type));
    return result;
}

extern "C" void ExDecode_Free(void) {
    if (g_exdecode.free != nullptr) g_exdecode.free();
    if (g_exdecode.handle != nullptr) dlclose(g_exdecode.handle);
    g_exdecode = ExDecodeLib{};
}

extern "C" int ExDecode_Decode(void) { return g_exdecode.decode != nullptr ? g_exdecode.decode() : 0; }

extern "C" int ExDecode_Set(uint32_t id, uint64_t value) {
    return g_exdecode.set != nullptr ? g_exdecode.set(id, value) : 0;
}

extern "C" int ExDecode_Get(uint32_t id, void *out) { return g_exdecode.get != nullptr ? g_exdecode.get(id, out) : 0; }
