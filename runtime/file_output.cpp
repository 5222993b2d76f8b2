// Image and file output: whole files, grey frames as BMP pictures and back, whole-file
// reads.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "plat.h"
#include "readercore.h"
#include "rt_log.h"

namespace {

constexpr int kBmpInfoSize = 40;
constexpr int kBmpFixedSize = 14 + kBmpInfoSize;
constexpr int kBmpPaletteSize = 256 * 4;
static_assert(kBmpFixedSize + kBmpPaletteSize == RT_BMP_HEADER_SIZE, "header, info header and palette");

// File and info header of an 8-bit grey picture of 752 x 480, little-endian; the size
// fields are filled in for each picture.
constexpr uint8_t kBmpTemplate[kBmpFixedSize] = {
    'B', 'M',                // signature
    0x36, 0x86, 0x05, 0x00,  // file size 362,038
    0x00, 0x00, 0x00, 0x00,  // reserved
    0x36, 0x04, 0x00, 0x00,  // pixel data offset 1078
    0x28, 0x00, 0x00, 0x00,  // info header size 40
    0xF0, 0x02, 0x00, 0x00,  // width 752
    0xE0, 0x01, 0x00, 0x00,  // height 480 (positive: bottom-up for viewers)
    0x01, 0x00,              // planes
    0x08, 0x00,              // bits per pixel
    0x00, 0x00, 0x00, 0x00,  // no compression
    0x00, 0x81, 0x05, 0x00,  // image size 360,960
    0x00, 0x00, 0x00, 0x00,  // horizontal resolution
    0x00, 0x00, 0x00, 0x00,  // vertical resolution
    0x00, 0x00, 0x00, 0x00,  // colours used
    0x00, 0x00, 0x00, 0x00,  // important colours
};

void put_le32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Each call fills its own copy, so concurrent pictures keep their own sizes.
void bmp_header(uint8_t (&h)[RT_BMP_HEADER_SIZE], int32_t width, int32_t height, uint32_t pixels) {
    memcpy(h, kBmpTemplate, sizeof kBmpTemplate);
    put_le32(h + 2, pixels + RT_BMP_HEADER_SIZE);
    put_le32(h + 18, static_cast<uint32_t>(width));
    put_le32(h + 22, static_cast<uint32_t>(height));
    put_le32(h + 34, pixels);
    for (int i = 0; i < 256; ++i) {
        uint8_t *entry = h + kBmpFixedSize + 4 * i;
        entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
        entry[3] = 0;
    }
}

// width * height when both are positive and a picture of that size fits a 32-bit file
// size; -1 otherwise.
int64_t bmp_pixels(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return -1;
    int64_t n = static_cast<int64_t>(width) * static_cast<int64_t>(height);
    return n <= INT32_MAX - RT_BMP_HEADER_SIZE ? n : -1;
}

bool write_all(int fd, const uint8_t *data, size_t len) {
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n <= 0) return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

int64_t read_all(int fd, uint8_t *out, size_t len) {
    size_t got = 0;
    while (got < len) {
        ssize_t n = read(fd, out + got, len - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(got);
}

int create_file(const char *path) { return plat_open(path, O_RDWR | O_CREAT | O_TRUNC, 0777); }

}  // namespace

extern "C" int SaveFile(const char *path, const uint8_t *data, int32_t length) {
    if (path == nullptr || (data == nullptr && length != 0) || length < 0) return -1;
    int fd = create_file(path);
    if (fd < 0) return -1;
    bool ok = write_all(fd, data, static_cast<size_t>(length));
    close(fd);
    if (!ok) return -1;
    rt_log(LOG_LEVEL_DETAIL, "%s [%s]", "SaveFile", path);
    return 0;
}

extern "C" int WriteBmp(const char *path, const uint8_t *pixels, int32_t width, int32_t height) {
    int64_t count = bmp_pixels(width, height);
    if (path == nullptr || pixels == nullptr || count < 0) {
        rt_log(LOG_LEVEL_DETAIL, "%s bad picture [%d] [%d]", "WriteBmp", width, height);
        return -1;
    }
    uint8_t header[RT_BMP_HEADER_SIZE];
    bmp_header(header, width, height, static_cast<uint32_t>(count));
    int fd = create_file(path);
    if (fd < 0) return -1;
    bool ok = write_all(fd, header, sizeof header) && write_all(fd, pixels, static_cast<size_t>(count));
    close(fd);
    if (!ok) return -1;
    rt_log(LOG_LEVEL_DETAIL, "%s [%s]", "WriteBmp", path);
    return 0;
}

extern "C" int ReadBmp(const char *path, uint8_t *out, int32_t width, int32_t height) {
    int64_t count = bmp_pixels(width, height);
    if (path == nullptr || out == nullptr || count < 0) return -1;
    int fd = plat_open(path, O_RDONLY, 0);
    if (fd < 0) return -1;
    int64_t got = 0;
    if (lseek(fd, RT_BMP_HEADER_SIZE, SEEK_SET) == RT_BMP_HEADER_SIZE) got = read_all(fd, out, static_cast<size_t>(count));
    close(fd);
    return static_cast<int>(got);
}

extern "C" int ReadBinFile(const char *path, uint8_t **buffer, int32_t *length) {
    if (path == nullptr || buffer == nullptr || length == nullptr) return -1;
    int64_t size = get_file_size(path);
    if (size >= INT32_MAX) {
        rt_log(LOG_LEVEL_DETAIL, "%s too large [%s] [%lld]", "ReadBinFile", path, static_cast<long long>(size));
        *length = 0;
        return -1;
    }
    *length = static_cast<int32_t>(size);
    if (size <= 0) return 0;
    FILE *in = plat_fopen(path, "rb");
    uint8_t *data = in != nullptr ? static_cast<uint8_t *>(malloc(static_cast<size_t>(size) + 1)) : nullptr;
    if (data == nullptr) {
        if (in != nullptr) fclose(in);
        *length = 0;
        return -1;
    }
    // A file that shrank since its size was taken hands back only what was there.
    *length = static_cast<int32_t>(fread(data, 1, static_cast<size_t>(size), in));
    fclose(in);
    *buffer = data;
    return *length;
}
