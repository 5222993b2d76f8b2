/* System properties: get and set by name. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define PROP_NAME_MAX 32
#define PROP_VALUE_MAX 92

/* Copies the value (at most PROP_VALUE_MAX - 1 bytes and a terminator) into value, which
 * holds PROP_VALUE_MAX bytes; its length, 0 when the property is missing or empty. */
__attribute__((visibility("default"))) int __system_property_get(const char *name, char *value);
/* 0, or -1 when the name or value is not accepted or cannot be stored. */
__attribute__((visibility("default"))) int __system_property_set(const char *name, const char *value);

#ifdef __cplusplus
}
#endif
