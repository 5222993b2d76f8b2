// Code settings onto decoder properties, kept in the settings database, and the engine
// controls of the camera drivers.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "camera_driver.h"
#include "common_atomic.h"
#include "zptlog.h"

namespace {

constexpr int kNameAttrSize = 10;                     // the name attribute: up to 9 characters
constexpr int kPropertyNameSize = XML_SUBNAME_TEXT_MAX; // the property name: up to 511
constexpr char kTable[] = "Decode";

// The element Code / code, NULL when the configuration lacks it.
XML_NODE *code_node(ENGINE_RECORD *record, const char *code) {
    XML_HANDLE *xml = record->codeXml;
    if (xml == nullptr || code == nullptr) return nullptr;
    XML_NODE *codes = XMLFindCur(xml, nullptr, "Code");
    return codes == nullptr ? nullptr : XMLFindCurOnce(xml, codes, code);
}

// The parameter element Code / code / parameter, NULL when the configuration lacks it.
XML_NODE *parameter_node(ENGINE_RECORD *record, const char *code, const char *param) {
    XML_NODE *group = code_node(record, code);
    return group == nullptr || param == nullptr ? nullptr : XMLFindCurOnce(record->codeXml, group, param);
}

// The parameter's text (the property name) and one attribute, each read with the capacity
// of its buffer.
void read_parameter(ENGINE_RECORD *record, const char *code, const char *param, const char *attr,
                    char (&property)[kPropertyNameSize], char (&attr_text)[kNameAttrSize]) {
    XMLReadStringGetNameValue(record->codeXml, code_node(record, code), param, attr, attr_text, kNameAttrSize - 1,
                              property, kPropertyNameSize - 1);
}

// The attribute's text, "" when absent; the caller frees a non-empty result.
char *attribute_text(XML_NODE *node, const char *name) {
    return node == nullptr ? nullptr : XMLNodeGetContent(XMLGetAtter(node, name));
}

// The decoder value of the setting named by value<index>; 0 when the attribute is absent or
// empty. *present tells whether the attribute exists.
uint64_t enumerated_value(ENGINE_RECORD *record, XML_NODE *node, int index, bool *present, char *name_out,
                          size_t name_size) {
    char attr[16];
    snprintf(attr, sizeof attr, "value%d", index);
    char *text = attribute_text(node, attr);
    *present = text != nullptr;
    if (name_out != nullptr && name_size > 0) snprintf(name_out, name_size, "%s", text == nullptr ? "" : text);
    if (text == nullptr) return 0;
    uint64_t value = text[0] == '\0' ? 0 : GetSettingValueFromList(record->device, text, static_cast<int32_t>(strlen(text)));
    free(text);
    return value;
}

int stored_row(void *, int columns, char **texts, char **) {
    if (columns > 0 && texts != nullptr && texts[0] != nullptr) g_camera_stored = atoi(texts[0]);
    return 1;
}

} // namespace

int camera_set(ENGINE_RECORD *record, const char *code, const char *param, const char *value) {
    const CAMERA_DRIVER_DESC &d = g_camera_driver;
    CAMERA_PRIVATE *p = camera_private(record);
    if (value == nullptr) return -1;
    XML_NODE *node = parameter_node(record, code, param);
    if (node == nullptr) return -1;
    char property_name[kPropertyNameSize] = {};
    char bound_text[kNameAttrSize] = {};
    read_parameter(record, code, param, "name", property_name, bound_text);
    int n = static_cast<int>(strlen(property_name));
    int v = atoi(value);
    int bound = atoi(bound_text);
    if (strcmp(param, "Minlen") == 0 && v < bound) return -1;
    if (strcmp(param, "Maxlen") == 0 && v > bound) return -1;
    uint64_t property = GetSettingValueFromList(record->device, property_name, n);
    uint64_t property_value;
    if (bound_text[0] != '\0') {
        property_value = static_cast<uint64_t>(static_cast<int64_t>(v));
        CAM_LOG(LOG_LEVEL_OPER, "%s [%s] Cmd [%s] Hex[%lx] Value Hex[%x]", "scanner_set", record->name, property_name,
                static_cast<unsigned long>(property), static_cast<unsigned>(v));
    } else {
        bool present = false;
        char setting[XML_LOOP_TEXT_MAX] = {};
        property_value = enumerated_value(record, node, v, &present, setting, sizeof setting);
        CAM_LOG(LOG_LEVEL_OPER, "%s [%s] Cmd [%s] Hex[%lx] Value [%s] Hex [%lx]", "scanner_set", record->name,
                property_name, static_cast<unsigned long>(property), setting,
                static_cast<unsigned long>(property_value));
    }
    if (d.settingLine)
        CAM_LOG(LOG_LEVEL_DETAIL, "%s [%s] [%s] [%d]", "scanner_set", code, param, static_cast<int>(property_value));
    if (X3_Set(static_cast<uint32_t>(property), property_value) == 0) return -1;
    SqliteUpdateDefalut(p->database, kTable, code, param, value);
    return 0;
}

int camera_sync(ENGINE_RECORD *record, const char *code, const char *param) {
    const CAMERA_DRIVER_DESC &d = g_camera_driver;
    CAMERA_PRIVATE *p = camera_private(record);
    if (code == nullptr || param == nullptr) return -1;
    g_camera_stored = -1;
    if (p->database != nullptr) SqliteSelectDefalut(p->database, kTable, code, param, stored_row, p);
    XML_NODE *node = parameter_node(record, code, param);
    char property_name[kPropertyNameSize] = {};
    char default_text[kNameAttrSize] = {};
    if (node != nullptr) read_parameter(record, code, param, d.syncAttribute, property_name, default_text);
    uint64_t property =
        GetSettingValueFromList(record->device, property_name, static_cast<int32_t>(strlen(property_name)));
    int setting = g_camera_stored;
    if (setting == -1) {
        if (d.syncOnesForFlags &&
            (strcmp(param, "Enable") == 0 || strcmp(param, "CodeNum") == 0 || strcmp(param, "NumFixed") == 0))
            setting = 1;
        else
            setting = property_name[0] != '\0' || d.syncOnesForFlags ? atoi(default_text) : 0;
        if (p->database != nullptr) {
            CAM_LOG(LOG_LEVEL_OPER, "Setting Insert [%s] [%s] [%d]", code, param, setting);
            SqliteInsertDefault(p->database, kTable, code, param, setting);
        }
    }
    uint64_t property_value = static_cast<uint64_t>(static_cast<int64_t>(setting));
    bool present = false;
    uint64_t named = node == nullptr ? 0 : enumerated_value(record, node, setting, &present, nullptr, 0);
    if (present) property_value = named;
    if (d.settingLine)
        CAM_LOG(LOG_LEVEL_DETAIL, "%s [%s] [%s] [%d]", "scanner_sync", code, param, static_cast<int>(property_value));
    X3_Set(static_cast<uint32_t>(property), property_value);
    return setting;
}

int camera_get(ENGINE_RECORD *record, const char *code, const char *param, char *out) {
    XML_NODE *node = parameter_node(record, code, param);
    if (node == nullptr || out == nullptr) return -1;
    char property_name[kPropertyNameSize] = {};
    char name_text[kNameAttrSize] = {};
    read_parameter(record, code, param, "name", property_name, name_text);
    uint64_t property =
        GetSettingValueFromList(record->device, property_name, static_cast<int32_t>(strlen(property_name)));
    int64_t value = 0;
    X3_Get(static_cast<uint32_t>(property), &value);
    CAM_LOG(LOG_LEVEL_OPER, "%s [%s] NameValue [%s] [%ld]", "scanner_get", property_name, name_text,
            static_cast<long>(value));
    long answer = name_text[0] != '\0' ? static_cast<long>(value)
                                       : GetSettingEcho(record->device, static_cast<uint64_t>(value), node);
    sprintf(out, "%ld", answer);
    return 1;
}

namespace {

// A supplied image, decoded on the caller's thread. The core's lock is held from the idle
// test until the frame size is restored, so that a start waits for the decoder.
int decode_image(ENGINE_RECORD *record, CAMERA_PRIVATE *p, void *ptr) {
    const CAMERA_DRIVER_DESC &d = g_camera_driver;
    COMMON_STATE *cs = record->common;
    pthread_mutex_lock(&cs->mLock);
    if (common_load(cs->mState) != COMMON_STATE_IDLE) {
        pthread_mutex_unlock(&cs->mLock);
        if (d.logBusy) CAM_LOG(LOG_LEVEL_DRIVER, "Device Is Busy");
        return -1;
    }
    auto *request = static_cast<IMAGE_REQUEST *>(ptr);
    if (request == nullptr) {
        pthread_mutex_unlock(&cs->mLock);
        CAM_LOG(LOG_LEVEL_DRIVER, "Decode File Error");
        return -1;
    }
    bool decode = d.decodeImagePrepare == nullptr || d.decodeImagePrepare(record, request) <= 0;
    int result = decode ? -1 : 0;
    if (decode) {
        X3_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(request->image));
        X3_Set(VEXO_ID_IMAGE_WIDTH, request->width);
        X3_Set(VEXO_ID_IMAGE_HEIGHT, request->height);
    }
    if (decode && X3_DecodeNoBeep() > 0) {
        uint32_t n = camera_read_result(cs);
        CAM_LOG(d.decodeImageLevel, d.decodeImageLine, static_cast<int>(n), reinterpret_cast<char *>(cs->mResult.data));
        result = 0;
    }
    if (d.decodeImageFinish != nullptr) d.decodeImageFinish(record);
    X3_Set(VEXO_ID_IMAGE_WIDTH, p->width);
    X3_Set(VEXO_ID_IMAGE_HEIGHT, p->height);
    pthread_mutex_unlock(&cs->mLock);
    return result;
}

} // namespace

int camera_ioctrl(ENGINE_RECORD *record, int cmd, int arg, void *ptr) {
    CAMERA_PRIVATE *p = camera_private(record);
    int result = 0;
    if (g_camera_driver.ioctrl != nullptr && g_camera_driver.ioctrl(record, cmd, arg, ptr, &result)) return result;
    if ((cmd >> 8) == 0) return cam_ioctrl(p->camera, cmd, arg, ptr);
    switch (cmd) {
    case SCANNER_IOCTRL_GET_SIZE: {
        if (ptr == nullptr) return -1;
        auto *size = static_cast<SCANNER_FRAME_SIZE *>(ptr);
        size->width = p->width;
        size->height = p->height;
        return 0;
    }
    case SCANNER_IOCTRL_DECODE_IMAGE:
        return decode_image(record, p, ptr);
    case SCANNER_IOCTRL_CHECK_LENGTH:
        return 1;
    default:
        return common_scanner_debug_ioctrl_proc(record, cmd, arg, ptr);
    }
}
