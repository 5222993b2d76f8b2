// Named decoder properties of the engine configuration: the setting list and its lookups.
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "readercore.h"

namespace {

uint32_t byte_sum(const char *bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += static_cast<uint8_t>(bytes[i]);
    return sum;
}

struct list_head *settings_of(void *owner) { return &static_cast<SETTING_OWNER *>(owner)->settings; }

SETTING_NODE *node_of(struct list_head *link) {
    return reinterpret_cast<SETTING_NODE *>(reinterpret_cast<char *>(link) - offsetof(SETTING_NODE, link));
}

const SETTING_NODE *find_by_value(void *owner, uint64_t value) {
    struct list_head *head = settings_of(owner);
    for (struct list_head *l = head->next; l != head; l = l->next)
        if (node_of(l)->value == value) return node_of(l);
    return nullptr;
}

}  // namespace

extern "C" SETTING_NODE *get_setting_value(const char *name, const char *value_text) {
    if (name == nullptr) return nullptr;
    SETTING_NODE *node = static_cast<SETTING_NODE *>(calloc(1, sizeof(SETTING_NODE)));
    if (node == nullptr) return nullptr;
    size_t n = strnlen(name, SETTING_NAME_MAX - 1);
    memcpy(node->name, name, n);
    node->nameSum = byte_sum(node->name, n);
    // Every character multiplies by 16: a hex digit adds its value, anything else 255 (so
    // a leading "0x" spoils the value rather than marking it).
    node->value = value_text != nullptr ? static_cast<uint64_t>(ConverStrtoHex(value_text, SETTING_VALUE_TEXT_MAX)) : 0;
    return node;
}

extern "C" uint64_t GetSettingValueFromList(void *owner, const char *name, int32_t name_len) {
    if (owner == nullptr || name == nullptr) return 0;
    uint32_t sum = byte_sum(name, name_len > 0 ? static_cast<size_t>(name_len) : 0);
    struct list_head *head = settings_of(owner);
    for (struct list_head *l = head->next; l != head; l = l->next) {
        const SETTING_NODE *node = node_of(l);
        if (node->nameSum == sum && strcmp(node->name, name) == 0) return node->value;
    }
    return 0;
}

extern "C" int GetSettingStringFromList(void *owner, uint64_t value, char *out) {
    if (owner == nullptr || out == nullptr || find_by_value(owner, value) == nullptr) return -1;
    snprintf(out, 21, "%ld", static_cast<long>(value));
    return 0;
}

extern "C" int GetSettingEcho(void *owner, uint64_t value, XML_NODE *node) {
    char decimal[48] = {};
    if (GetSettingStringFromList(owner, value, decimal) != 0) return 0;
    for (int n = 0; n <= 9; ++n) {
        char attr_name[16];
        snprintf(attr_name, sizeof attr_name, "value%d", n);
        char *text = XMLNodeGetContent(XMLGetAtter(node, attr_name));
        bool match = text != nullptr && strcmp(text, decimal) == 0;
        free(text);
        if (match) return n;
    }
    return 0;
}
