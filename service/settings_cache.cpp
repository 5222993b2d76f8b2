// The settings cache: every code setting the bound engine's configuration declares, read
// from the engine and kept in step with what is set; the setting names of a camera engine;
// the default settings pushed into an engine met for the first time.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "rt_log.h"
#include "service_internal.h"

namespace {

constexpr char kCodeFile[] = "EngineSettingCodeEN";
constexpr char kDefaultFile[] = "DEFAULTEN";
// The default walk names a code in a context of this size.
constexpr size_t kDefaultCodeSize = 16;

// Stores a name into a cache field; a longer one is cut, and said so.
void copy_code_name(char (&field)[CODE_NAME_SIZE], const char *name) {
    size_t n = strlen(name);
    if (n > CODE_NAME_SIZE - 1) {
        rt_log(LOG_LEVEL_OPER, "Code name [%s] longer than %d characters, cut", name, CODE_NAME_SIZE - 1);
        n = CODE_NAME_SIZE - 1;
    }
    memcpy(field, name, n);
    field[n] = '\0';
}

CODE_GROUP *group_of(struct list_head *node) {
    return reinterpret_cast<CODE_GROUP *>(reinterpret_cast<char *>(node) - offsetof(CODE_GROUP, node));
}

SETTING_NODE *setting_of(struct list_head *node) {
    return reinterpret_cast<SETTING_NODE *>(reinterpret_cast<char *>(node) - offsetof(SETTING_NODE, link));
}

CODE_GROUP *find_group(DEVICE_OBJECT *device, const char *code) {
    for (struct list_head *n = device->codeGroups.next; n != &device->codeGroups; n = n->next)
        if (strcmp(group_of(n)->name, code) == 0) return group_of(n);
    return nullptr;
}

CODE_PARAM *find_param(CODE_GROUP *group, const char *param) {
    if (group == nullptr) return nullptr;
    for (int i = 0; i < group->count; ++i)
        if (strcmp(group->entries[i].name, param) == 0) return &group->entries[i];
    return nullptr;
}

// The group's cached value of param, 0 when not cached.
int cached_in_group(DEVICE_OBJECT *device, const char *code, const char *param) {
    CODE_PARAM *entry = find_param(find_group(device, code), param);
    return entry != nullptr ? code_param_value(entry) : 0;
}

struct ParamFill {
    CODE_GROUP *group;
    int capacity;
};

// Length limits an engine leaves to the service: a minimum above the cached maximum, a
// maximum below the cached minimum, or either at 0, is refused.
bool length_refused(DEVICE_OBJECT *device, ENGINE_RECORD *r, const char *code, const char *param,
                    const char *value) {
    bool min = strcmp(param, "Minlen") == 0;
    bool max = strcmp(param, "Maxlen") == 0;
    if (!min && !max) return false;
    if (r->scanner_ioctrl == nullptr || r->scanner_ioctrl(r, SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr) != 1) return false;
    int v = atoi(value);
    if (v == 0) return true;
    int other = cached_in_group(device, code, min ? "Maxlen" : "Minlen");
    if (min && v > other) {
        rt_log(LOG_LEVEL_OPER, "Set Minlen Error\n");
        return true;
    }
    if (max && v < other) {
        rt_log(LOG_LEVEL_OPER, "Set Maxlen Error\n");
        return true;
    }
    return false;
}

struct DefaultCode {
    char code[kDefaultCodeSize];
    DEVICE_OBJECT *device;
};

void find_setting_value(XML_NODE *param, const char *name, void *context) {
    DefaultCode *ctx = static_cast<DefaultCode *>(context);
    char *value = XMLNodeGetContent(param);
    if (value == nullptr) return;
    ENGINE_RECORD *r = device_current(ctx->device);
    if (r == nullptr || r->scanner_set == nullptr) {
        rt_log(LOG_LEVEL_OPER, "%s scn_set Error", "find_setting_value");
    } else {
        rt_log(LOG_LEVEL_OPER, "%s [%s] [%s] [%s]", r->name, ctx->code, name, value);
        r->scanner_set(r, ctx->code, name, value);
    }
    free(value);
}

void apply_default_group(XML_NODE *code, const char *name, void *device) {
    if (XMLGetChildrenCount(code) == 0) return;
    // Never sent under a cut name: the engine would take it for another code.
    if (strlen(name) > kDefaultCodeSize - 1) {
        rt_log(LOG_LEVEL_OPER, "%s code [%s] longer than %zu characters, skipped", "sync_default_setting", name,
               kDefaultCodeSize - 1);
        return;
    }
    DefaultCode ctx{};
    snprintf(ctx.code, sizeof ctx.code, "%s", name);
    ctx.device = static_cast<DEVICE_OBJECT *>(device);
    XMLGetChildrenInfo(code, find_setting_value, &ctx);
}

}  // namespace

int add_code_param(XML_NODE *, const char *name, void *fill) {
    ParamFill *f = static_cast<ParamFill *>(fill);
    if (name == nullptr || f->group->count >= f->capacity) return 0;
    CODE_PARAM *entry = &f->group->entries[f->group->count];
    copy_code_name(entry->name, name);
    entry->value = 0;
    f->group->count += 1;
    return 0;
}

int add_code_group(XML_NODE *code, const char *name, DEVICE_OBJECT *device) {
    if (name == nullptr || device == nullptr) return -1;
    CODE_GROUP *group = static_cast<CODE_GROUP *>(calloc(1, sizeof(CODE_GROUP)));
    if (group == nullptr) return -1;
    copy_code_name(group->name, name);
    int declared = XMLGetChildrenCount(code);
    if (declared > 0) {
        group->entries = static_cast<CODE_PARAM *>(calloc(static_cast<size_t>(declared), sizeof(CODE_PARAM)));
        if (group->entries == nullptr) {
            free(group);
            return -1;
        }
        ParamFill fill{group, declared};
        XMLGetChildrenInfo(code, [](XML_NODE *n, const char *s, void *f) { add_code_param(n, s, f); }, &fill);
    }
    list_add_tail(&device->codeGroups, &group->node);
    return 0;
}

int add_setting_value(XML_NODE *element, char *name, char *, void *device) {
    if (element == nullptr || device == nullptr) return -1;
    char *value = XMLNodeGetContent(XMLGetAtter(element, "value"));
    if (value != nullptr && value[0] != '\0') {
        SETTING_NODE *node = get_setting_value(name, value);
        if (node != nullptr) list_add_tail(&static_cast<DEVICE_OBJECT *>(device)->settings, &node->link);
    }
    free(value);
    return 0;
}

void build_settings_cache(DEVICE_OBJECT *device, ENGINE_RECORD *r) {
    XML_HANDLE *codes = r->engineXml;
    if (r->Scantype == ENGINE_KIND_CAMERA) {
        char path[RT_PATH_MAX] = {};
        if (GetConfigPath(path, kCodeFile) > 0) r->codeXml = XMLOpenDecrypt(path, kServiceConfigKey);
        codes = r->codeXml;
        if (codes != nullptr)
            XMLFindCurCallProcForSubName(codes, XMLFindCurOnce(codes, nullptr, "EngineSetCodeValue"), "name",
                                         add_setting_value, device);
    }
    if (codes == nullptr) return;
    XMLFindChildrenCallProc(
        codes, nullptr, "Code",
        [](XML_NODE *code, const char *name, void *d) { add_code_group(code, name, static_cast<DEVICE_OBJECT *>(d)); },
        device);
}

void release_settings_cache(DEVICE_OBJECT *device) {
    while (device->settings.next != &device->settings) {
        SETTING_NODE *node = setting_of(device->settings.next);
        list_del(&node->link);
        free(node);
    }
    while (device->codeGroups.next != &device->codeGroups) {
        CODE_GROUP *group = group_of(device->codeGroups.next);
        list_del(&group->node);
        free(group->entries);
        free(group);
    }
}

void sync_default_setting(DEVICE_OBJECT *device) {
    char path[RT_PATH_MAX] = {};
    int found = GetConfigPath(path, kDefaultFile);
    rt_log(LOG_LEVEL_OPER, "%s found:%d", "sync_default_setting", found);
    if (found <= 0) return;
    rt_log(LOG_LEVEL_OPER, "Fount Default XML [%s]", path);
    XML_HANDLE *defaults = XMLOpenDecrypt(path, kServiceConfigKey);
    if (defaults == nullptr) return;
    rt_log(LOG_LEVEL_OPER, "**************************Default Setting*************************");
    ENGINE_RECORD *r = device_current(device);
    if (r != nullptr) XMLFindChildrenCallProc(defaults, nullptr, r->name, apply_default_group, device);
    static const char kClosing[] = "******************************************************************";
    static_assert(sizeof kClosing == 67, "a line of 66 stars");
    rt_log(LOG_LEVEL_OPER, "%s", kClosing);
    XMLClose(defaults);
}

int lookup_cached_value(DEVICE_OBJECT *device, const char *code, const char *param, char *out) {
    if (device == nullptr || device_current(device) == nullptr || code == nullptr || param == nullptr ||
        out == nullptr)
        return 0;
    CODE_PARAM *entry = find_param(find_group(device, code), param);
    if (entry == nullptr) return 0;
    return sprintf(out, "%d", code_param_value(entry));
}

int dev_get_param(DEVICE_OBJECT *device, const char *code, const char *param, char *out) {
    ENGINE_RECORD *r = device != nullptr ? device_current(device) : nullptr;
    if (r == nullptr || r->scanner_get == nullptr) return -1;
    return lookup_cached_value(device, code, param, out);
}

int set_code_param(DEVICE_OBJECT *device, const char *code, const char *param, const char *value) {
    ENGINE_RECORD *r = device != nullptr ? device_current(device) : nullptr;
    if (r == nullptr || r->scanner_set == nullptr || code == nullptr || param == nullptr || value == nullptr)
        return -1;
    char cached[16] = {};
    if (lookup_cached_value(device, code, param, cached) > 0 && atoi(cached) == atoi(value)) return 0;
    if (length_refused(device, r, code, param, value)) return -1;
    if (r->scanner_set(r, code, param, value) != 0) return -1;
    rt_log(LOG_LEVEL_OPER, "set_code_param [%s] [%s] [%s]", code, param, value);
    CODE_PARAM *entry = find_param(find_group(device, code), param);
    if (entry != nullptr) code_param_store(entry, atoi(value));
    return 0;
}

void read_back_settings(DEVICE_OBJECT *device, ENGINE_RECORD *r) {
    static const char kStars[] = "********************************************************";
    static_assert(sizeof kStars == 57, "a line of 56 stars");
    rt_log(LOG_LEVEL_OPER, "%s", kStars);
    for (struct list_head *n = device->codeGroups.next; n != &device->codeGroups; n = n->next) {
        CODE_GROUP *group = group_of(n);
        rt_log(LOG_LEVEL_OPER, " %s", group->name);
        for (int i = 0; i < group->count; ++i) {
            CODE_PARAM *entry = &group->entries[i];
            int value = r->scanner_sync(r, group->name, entry->name);
            code_param_store(entry, value);
            rt_log(LOG_LEVEL_OPER, "        %s [%d]", entry->name, value);
        }
    }
    rt_log(LOG_LEVEL_OPER, "%s", kStars);
}
