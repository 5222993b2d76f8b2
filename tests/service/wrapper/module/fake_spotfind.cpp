// A fake spot-finding library: the three detectors answer scripted points and results.
#include <stdint.h>
#include <string.h>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_point[2] = {0, 0};
int g_line[4] = {0, 0, 0, 0};
int g_result = 1;
int g_calls = 0;
}  // namespace

FAKE_EXPORT int Img_Light_Dots(const uint8_t *, int, int, void *, int line[4]) {
    ++g_calls;
    if (g_result >= 0) memcpy(line, g_line, sizeof g_line);
    return g_result;
}

// Writes nothing when it finds nothing, as the projection detector does.
FAKE_EXPORT int Img_Detect_Cross(const uint8_t *, int, int, int point[2]) {
    ++g_calls;
    if (g_result > 0) memcpy(point, g_point, sizeof g_point);
    return g_result > 0 ? 1 : 0;
}

FAKE_EXPORT int Img_Cross_light(const uint8_t *, int, int, int outline[8], double angles[2]) {
    ++g_calls;
    // Leftmost, rightmost, topmost, bottommost: the topmost is the scripted point.
    int o[8] = {g_point[0] - 10, g_point[1] + 10, g_point[0] + 10, g_point[1] + 10,
                g_point[0],      g_point[1],      g_point[0],      g_point[1] + 20};
    memcpy(outline, o, sizeof o);
    angles[0] = 0.0;
    angles[1] = 90.0;
    return g_result > 0 ? 1 : 0;
}

FAKE_EXPORT void fake_spot_script(int result, int x, int y, const int *line) {
    g_result = result;
    g_point[0] = x;
    g_point[1] = y;
    if (line != nullptr) memcpy(g_line, line, sizeof g_line);
}
FAKE_EXPORT int fake_spot_calls() { return g_calls; }
