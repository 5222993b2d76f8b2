// i2cpeek: reads a run of bytes from a register of an I2C device, or writes one, through
// the I2C character device, and prints what happened. A read is also saved to
// "./i2c-rcv.hex". The device is reached through the platform's kernel seam with the
// terminal kernel's message record (the bus timing field after the buffer).
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "plat.h"

namespace {

constexpr uintptr_t kWriteTimeout = 2;
constexpr uintptr_t kWriteRetries = 1;
constexpr char kReceiveFile[] = "./i2c-rcv.hex";
// A message's length field is 16 bits: a write carries the register bytes too.
constexpr int kMessageMax = 0xFFFF;

void print_usage(const char *program) {
    printf("Usage:\n%s /dev/i2c-x start_addr reg_addr rw[0|1] rw_len [write_val]\n", program);
}

void print_write_usage(const char *program) {
    printf("Usage:\n%s /dev/i2c-x start_addr reg_addr r|w[0|1] rw_len [write_val]\n", program);
}

// The register as it goes out: one byte up to 255, else high then low byte. Its count.
int register_bytes(unsigned reg, uint8_t *out) {
    if (reg <= 0xFF) {
        out[0] = static_cast<uint8_t>(reg);
        return 1;
    }
    out[0] = static_cast<uint8_t>(reg >> 8);
    out[1] = static_cast<uint8_t>(reg);
    return 2;
}

int open_device(const char *path) {
    int fd = plat_kernel()->open(path, O_RDWR, 0);
    if (fd < 0) printf("Error on opening the device file %s\n", path);
    return fd;
}

int i2c_read(const char *path, uint8_t *buf, unsigned slave, unsigned reg, int length) {
    int fd = open_device(path);
    if (fd < 0) return 0;
    uint8_t reg_out[2];
    int reg_len = register_bytes(reg, reg_out);
    PLAT_I2C_MSG msgs[2] = {
        {static_cast<uint16_t>(slave), 0, static_cast<uint16_t>(reg_len), reg_out, PLAT_I2C_TIMING},
        {static_cast<uint16_t>(slave), PLAT_I2C_M_RD, static_cast<uint16_t>(length), buf, PLAT_I2C_TIMING},
    };
    PLAT_I2C_RDWR_DATA data = {msgs, 2};
    int result = plat_kernel()->ioctl(fd, PLAT_I2C_RDWR, &data);
    plat_kernel()->close(fd);
    if (result < 0) {
        printf("Error during I2C_RDWR ioctl with error code: %d\n", result);
        return 0;
    }
    printf("read salve:%02x reg:%02x\n", slave, reg);
    return length;
}

int i2c_write(const char *path, const uint8_t *values, unsigned slave, unsigned reg, int length) {
    uint8_t *out = static_cast<uint8_t *>(malloc(static_cast<size_t>(length) + 2));
    if (out == nullptr) {
        printf("malloc failed\n");
        return 0;
    }
    int reg_len = register_bytes(reg, out);
    memcpy(out + reg_len, values, static_cast<size_t>(length));
    int fd = open_device(path);
    if (fd < 0) {
        free(out);
        return 0;
    }
    const PLAT_KERNEL *k = plat_kernel();
    k->ioctl(fd, PLAT_I2C_TIMEOUT, reinterpret_cast<void *>(kWriteTimeout));
    k->ioctl(fd, PLAT_I2C_RETRIES, reinterpret_cast<void *>(kWriteRetries));
    PLAT_I2C_MSG msg = {static_cast<uint16_t>(slave), 0, static_cast<uint16_t>(length + reg_len), out,
                        PLAT_I2C_TIMING};
    PLAT_I2C_RDWR_DATA data = {&msg, 1};
    int result = k->ioctl(fd, PLAT_I2C_RDWR, &data);
    k->close(fd);
    free(out);
    if (result < 0) {
        printf("Error during I2C_RDWR ioctl with error code: %d\n", result);
        return 0;
    }
    printf("write salve:%02x reg:%02x\n", slave, reg);
    return length;
}

void print_dump(const uint8_t *buf, int length) {
    for (int i = 0; i < length; ++i) {
        if (i % 16 == 0)
            printf("\n");
        else if (i % 16 == 8)
            printf("- ");
        printf("%02x ", buf[i]);
    }
    printf("\n");
}

void save_read(const uint8_t *buf, int length) {
    FILE *out = fopen(kReceiveFile, "wb");
    if (out == nullptr) return;
    fwrite(buf, 1, static_cast<size_t>(length), out);
    fclose(out);
}

int run(int argc, char **argv) {
    if (argc < 6) {
        print_usage(argv[0]);
        return 0;
    }
    const char *path = argv[1];
    int fd = open_device(path);
    if (fd < 0) return 0;
    plat_kernel()->close(fd);
    unsigned slave = 0;
    unsigned reg = 0;
    int rw = 0;
    int length = 0;
    sscanf(argv[2], "%x", &slave);
    sscanf(argv[3], "%x", &reg);
    sscanf(argv[4], "%d", &rw);
    sscanf(argv[5], "%d", &length);
    uint8_t reg_probe[2];
    // A length the message cannot carry would go out cut: the usage instead.
    int room = rw != 0 ? kMessageMax - register_bytes(reg, reg_probe) : kMessageMax;
    if (length < 1 || length > room) {
        if (rw != 0)
            print_write_usage(argv[0]);
        else
            print_usage(argv[0]);
        return 0;
    }
    uint8_t *buf = static_cast<uint8_t *>(calloc(static_cast<size_t>(length), 1));
    if (buf == nullptr) {
        printf("malloc failed\n");
        return 0;
    }
    if (rw != 0) {
        if (argc < 7 || argc - 6 < length) {
            print_write_usage(argv[0]);
            free(buf);
            return 0;
        }
        for (int i = 0; i < length; ++i) {
            unsigned value = 0;
            sscanf(argv[6 + i], "%x", &value);
            if (value >= 0x100) printf("Error on written value %s\n", argv[6 + i]);
            buf[i] = static_cast<uint8_t>(value);
        }
        i2c_write(path, buf, slave, reg, length);
    } else {
        i2c_read(path, buf, slave, reg, length);
        printf("Read %s-%x reg %x, read value:", path, slave, reg);
        print_dump(buf, length);
        save_read(buf, length);
    }
    free(buf);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    run(argc, argv);
    return 0;
}
