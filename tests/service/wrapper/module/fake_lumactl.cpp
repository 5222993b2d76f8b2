// A fake auto-exposure library: the five functions with scripted results and a record of
// the calls.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
char g_calls[4096];
int g_init_results[8] = {0};
int g_init_count = 0;

void note(const char *text) {
    size_t used = strlen(g_calls);
    snprintf(g_calls + used, sizeof g_calls - used, "%s;", text);
}
}  // namespace

FAKE_EXPORT int ExposureInit(void *, void *, void *, uint8_t sensor_init) {
    char line[64];
    snprintf(line, sizeof line, "init %u", sensor_init);
    note(line);
    int r = g_init_count < 8 ? g_init_results[g_init_count] : 0;
    ++g_init_count;
    return r;
}
FAKE_EXPORT int GetImageLux(const uint8_t *, int width, int height) {
    char line[64];
    snprintf(line, sizeof line, "lux %dx%d", width, height);
    note(line);
    return 77;
}
FAKE_EXPORT int ExposureAjust(int target, int current) {
    char line[64];
    snprintf(line, sizeof line, "ajust %d %d", target, current);
    note(line);
    return 5;
}
FAKE_EXPORT const char *GetVisionString() { return "1.01.012"; }
FAKE_EXPORT void CmosStandby(int on) {
    char line[64];
    snprintf(line, sizeof line, "standby %d", on);
    note(line);
}

FAKE_EXPORT const char *fake_luma_calls() { return g_calls; }
FAKE_EXPORT void fake_luma_script_init(const int *results, int count) {
    for (int i = 0; i < 8; ++i) g_init_results[i] = i < count ? results[i] : 0;
    g_init_count = 0;
}
