// System properties, as the service and the engine drivers read and write them.
#include <stdlib.h>
#include <string.h>
#include <sys/system_properties.h>

#include "readercore.h"

static_assert(PROPERTY_VALUE_MAX == PROP_VALUE_MAX, "one value size");

extern "C" int property_get(const char *name, char *value, const char *default_value) {
    if (name == nullptr || value == nullptr) return -1;
    int len = __system_property_get(name, value);
    if (len > 0 || default_value == nullptr) return len;
    // The caller's buffer holds PROPERTY_VALUE_MAX bytes, whatever the default's length.
    size_t n = strnlen(default_value, PROPERTY_VALUE_MAX - 1);
    memcpy(value, default_value, n);
    value[n] = '\0';
    return static_cast<int>(n);
}

extern "C" int property_set(const char *name, const char *value) {
    if (name == nullptr) return -1;
    return __system_property_set(name, value != nullptr ? value : "");
}

extern "C" int property_get_integer(const char *name, const char *default_text) {
    char value[PROPERTY_VALUE_MAX];
    if (property_get(name, value, default_text) < 0) return 0;
    return atoi(value);
}
