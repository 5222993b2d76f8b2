// liblumactl: exposure and gain of the camera engine's CMOS sensor from the brightness of
// its frames. No I2C of its own: the caller hands over register access and sleeping. Not
// thread-safe; the runtime calls it from the decode thread only.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "plat.h"

#define LUMACTL_EXPORT extern "C" __attribute__((visibility("default")))

typedef int (*LUMA_I2C_WRITE)(uint16_t reg, const uint8_t *data, int length);
typedef int (*LUMA_I2C_READ)(uint16_t reg, uint8_t *data, int length);
typedef void (*LUMA_SLEEP)(int ms);
typedef void (*LUMA_LOG)(const char *format, ...);

// The exported state, zero until ExposureInit and log_init.
extern "C" {
__attribute__((visibility("default"))) LUMA_I2C_WRITE Q7_i2c_write = nullptr;
__attribute__((visibility("default"))) LUMA_I2C_READ Q7_i2c_read = nullptr;
__attribute__((visibility("default"))) LUMA_SLEEP Q7_msleep = nullptr;
__attribute__((visibility("default"))) LUMA_LOG Q7_LOG = nullptr;
__attribute__((visibility("default"))) int32_t GrayLevelMax = 0;
__attribute__((visibility("default"))) int32_t GrayLevelMax_num = 0;
__attribute__((visibility("default"))) int32_t GrayLevelSpot = 0;
}

LUMACTL_EXPORT void Dbg(const char *format, ...);

namespace {

struct LumaRegister {
    uint16_t reg;
    uint8_t value;
};

// The sensor's set-up after a reset: standby first, the 640 x 480 window, line length 928
// and frame length 516, the image processing switches last. A build for another sensor
// supplies its own rows here.
static constexpr LumaRegister kSensorSetup[] = {
    {0x0100, 0x00}, {0x3808, 0x02}, {0x3809, 0x80}, {0x380A, 0x01}, {0x380B, 0xE0}, {0x380C, 0x03},
    {0x380D, 0xA0}, {0x380E, 0x02}, {0x380F, 0x04}, {0x5000, 0x85}, {0x5001, 0x80},
};
static_assert(sizeof kSensorSetup / sizeof kSensorSetup[0] == 11, "set-up rows");

// Manual exposure and gain and the analogue settings that go with them.
static constexpr LumaRegister kExposureControl[] = {
    {0x3503, 0x07}, {0x3509, 0x10}, {0x3600, 0x1C}, {0x3602, 0x62}, {0x3620, 0xB7},
    {0x3622, 0x04}, {0x3626, 0x21}, {0x3627, 0x30}, {0x3634, 0x41}, {0x3636, 0x00},
    {0x3662, 0x01}, {0x3664, 0xF0}, {0x3669, 0x1A}, {0x366A, 0x00}, {0x366B, 0x50},
};
static_assert(sizeof kExposureControl / sizeof kExposureControl[0] == 15, "exposure-control rows");

static constexpr int32_t kExposureMax = 502;  // lines
static constexpr int32_t kGainMax = 48;
static constexpr int kDbgMax = 2048;          // 2,047 characters and the terminator

int32_t g_exposure = 0;
int32_t g_gain = 0;
char g_dbg_line[kDbgMax];

// Function pointers are logged by their low 32 bits, as the format takes an unsigned int.
unsigned int pointer_bits(const void *p) { return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(p)); }

int write_table(const LumaRegister *rows, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (Q7_i2c_write(rows[i].reg, &rows[i].value, 1) != 0) return -1;
    }
    return 0;
}

// Exposure x 16 in 0x3500-0x3502 and gain x 16 in 0x350A-0x350B, stopping at the first
// refused write.
int write_exposure_gain(int32_t exposure, int32_t gain) {
    const LumaRegister rows[] = {
        {0x3500, static_cast<uint8_t>((exposure >> 12) & 0x0F)},
        {0x3501, static_cast<uint8_t>((exposure >> 4) & 0xFF)},
        {0x3502, static_cast<uint8_t>((exposure << 4) & 0xFF)},
        {0x350A, static_cast<uint8_t>((gain >> 4) & 0x07)},
        {0x350B, static_cast<uint8_t>((gain << 4) & 0xFF)},
    };
    return write_table(rows, sizeof rows / sizeof rows[0]);
}

}  // namespace

LUMACTL_EXPORT void Dbg(const char *format, ...) {
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(g_dbg_line, sizeof g_dbg_line, format, args);
    va_end(args);
    if (n < 0) return;
    FILE *file = plat_fopen("/data/Q7_control.log", "a+");
    if (file == nullptr) return;
    fputs(g_dbg_line, file);
    fclose(file);
}

LUMACTL_EXPORT void log_init(LUMA_LOG log) {
    Q7_LOG = log;
    Dbg("log_init, pfn_log: %08x\r\n", pointer_bits(reinterpret_cast<const void *>(log)));
}

LUMACTL_EXPORT int ExposureInit(LUMA_I2C_WRITE i2c_write, LUMA_I2C_READ i2c_read, LUMA_SLEEP msleep,
                                uint8_t sensor_init) {
    Dbg("ExposureInit, pfn_i2c_write: %08x, pfn_i2c_read: %08x, pfn_msleep: %08x, bSensorInit: %d\r\n",
        pointer_bits(reinterpret_cast<const void *>(i2c_write)), pointer_bits(reinterpret_cast<const void *>(i2c_read)),
        pointer_bits(reinterpret_cast<const void *>(msleep)), sensor_init);
    if (i2c_write == nullptr || i2c_read == nullptr || msleep == nullptr) return -1;
    Q7_i2c_write = i2c_write;
    Q7_i2c_read = i2c_read;
    Q7_msleep = msleep;
    if (sensor_init != 0) {
        uint8_t id_high = 0, id_low = 0;
        if (Q7_i2c_read(0x300A, &id_high, 1) != 1) return -2;
        if (Q7_i2c_read(0x300B, &id_low, 1) != 1) return -2;
        if (id_high != 0x77 || id_low != 0x50) {
            if (Q7_LOG != nullptr) Q7_LOG("ExposureInit, sensor id error: %02x %02x\r\n", id_high, id_low);
            return -3;
        }
        static constexpr uint8_t kReset = 1;
        if (Q7_i2c_write(0x0103, &kReset, 1) != 0) return -4;
        Q7_msleep(10);
        Dbg("ExposureInit, reset cmos\r\n");
        if (write_table(kSensorSetup, sizeof kSensorSetup / sizeof kSensorSetup[0]) != 0) return -4;
    }
    Dbg("ExposureInit, exposure init 1\r\n");
    if (write_table(kExposureControl, sizeof kExposureControl / sizeof kExposureControl[0]) != 0) return -4;
    Dbg("ExposureInit, exposure init 2\r\n");
    g_exposure = kExposureMax;
    g_gain = 1;
    if (write_exposure_gain(g_exposure, g_gain) != 0) return -2;
    Q7_msleep(20);
    return 0;
}

LUMACTL_EXPORT int GetImageLux(const uint8_t *pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0) return 0;
    uint32_t histogram[256] = {0};
    uint64_t sum = 0;
    uint32_t count = 0;
    // Every bound is at most three quarters of the frame's own size.
    const int64_t w = width;
    const int64_t y_end = 3 * static_cast<int64_t>(height) / 4;
    const int64_t ends[3] = {3 * w / 8, 5 * w / 8, 3 * w / 4};
    for (int64_t y = height / 4; y < y_end; y += 3) {
        const uint8_t *row = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        const int steps[3] = {2, 1, 2};
        int64_t x = w / 4;
        for (int part = 0; part < 3; ++part) {
            for (; x < ends[part]; x += steps[part]) {
                ++histogram[row[x]];
                sum += row[x];
                ++count;
            }
        }
    }
    int32_t best = 0;
    for (int level = 1; level < 240; ++level) {
        if (histogram[level] > histogram[best]) best = level;
    }
    uint32_t spots = 0;
    for (int level = 240; level < 256; ++level) spots += histogram[level];
    GrayLevelMax = best;
    GrayLevelMax_num = static_cast<int32_t>(histogram[best]);
    GrayLevelSpot = static_cast<int32_t>(spots);
    int lux = count != 0 ? static_cast<int>(sum / count) : 0;
    if (Q7_LOG != nullptr) Q7_LOG("Lux: %x\r\n", lux);
    return lux;
}

LUMACTL_EXPORT int ExposureAjust(int target, int current) {
    if (Q7_i2c_write == nullptr) {
        Dbg("ExposureAjust Error: Q7_i2c_write: %x\r\n", pointer_bits(reinterpret_cast<const void *>(Q7_i2c_write)));
        return -1;
    }
    if (Q7_LOG != nullptr) {
        Q7_LOG("Lux Target: %02x, current: %02x, exposure: %x, gain: %x\r\n", target, current, g_exposure, g_gain);
    }
    Dbg("ExposureAjust, Lux Target: %02x, current: %02x, exposure: %x, gain: %x\r\n", target, current, g_exposure,
        g_gain);
    // A black frame measures 0: it counts as the darkest measure, so that the correction is
    // the largest and neither value ever drops to 0 (a 0 would keep every frame black and
    // make the next product 0).
    const int64_t measured = current < 1 ? 1 : current;
    const int64_t product = static_cast<int64_t>(target) * g_exposure * g_gain;
    int64_t gain = product / (measured * kExposureMax);
    if (product % (measured * kExposureMax) != 0) ++gain;
    if (gain > kGainMax) gain = kGainMax;
    if (gain < 1) gain = 1;
    int64_t exposure = product / (measured * gain);
    if (exposure > kExposureMax) exposure = kExposureMax;
    if (exposure < 1) exposure = 1;
    g_exposure = static_cast<int32_t>(exposure);
    g_gain = static_cast<int32_t>(gain);
    if (Q7_LOG != nullptr) Q7_LOG("new exposure: %x, gain: %x\r\n", g_exposure, g_gain);
    return write_exposure_gain(g_exposure, g_gain) != 0 ? -2 : 0;
}

LUMACTL_EXPORT void CmosStandby(int standby) {
    const uint8_t value = standby == 0 ? 1 : 0;
    if (Q7_i2c_write == nullptr || Q7_i2c_write(0x0103, &value, 1) != 0) Dbg("CmosStandby, i2c write error\r\n");
    Dbg("CmosStandby: %d\n", standby);
}

LUMACTL_EXPORT const char *GetVisionString() { return "1.01.012"; }
