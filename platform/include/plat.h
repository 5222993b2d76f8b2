/* The platform layer: what the service side asks of the device's system, in one place.
 *
 * Root: every absolute path of the device (/system, /data, /cache, /dev, /sys, /mnt, ...)
 * is taken under a root folder. On the device the root is empty and paths are used as
 * they are; a test sets a folder of its own. Relative paths are never changed.
 *
 * Kernel seam: the port drivers reach the kernel only through the table that
 * plat_kernel() returns (real calls unless another table was installed), so that a bus or
 * a line can be replaced by a model. */
#pragma once

#include <dirent.h>
#include <poll.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PLAT_EXPORT __attribute__((visibility("default")))

/* Longest mapped path, terminator included. */
#define PLAT_PATH_MAX 4096

/* Sets the root folder (a host folder, no trailing separator needed). NULL or "" clears it.
 * 0, or -1 when the text does not fit. Call it while no other thread uses the platform. */
PLAT_EXPORT int plat_set_root(const char *root);
/* Copies the root into out (capacity cap): its length, or -1 when out is NULL or too small. */
PLAT_EXPORT int plat_get_root(char *out, size_t cap);
/* Maps a device path: root + path for an absolute path, the path unchanged otherwise.
 * Writes at most cap bytes with the terminator; its length, or -1 for a NULL path or out
 * or when the result does not fit (nothing usable is written then). */
PLAT_EXPORT int plat_path(const char *path, char *out, size_t cap);

/* The C library's file calls on a device path. Each fails as its libc call does, with
 * errno ENAMETOOLONG when the mapped path does not fit. */
PLAT_EXPORT int plat_open(const char *path, int flags, mode_t mode);
PLAT_EXPORT FILE *plat_fopen(const char *path, const char *mode);
PLAT_EXPORT int plat_stat(const char *path, struct stat *st);
PLAT_EXPORT int plat_mkdir(const char *path, mode_t mode);
PLAT_EXPORT DIR *plat_opendir(const char *path);
PLAT_EXPORT void *plat_dlopen(const char *path, int flags);

/* What the port drivers ask of the kernel. open takes a device path. */
typedef struct PLAT_KERNEL {
    int (*open)(const char *path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void *buf, size_t len);
    ssize_t (*write)(int fd, const void *buf, size_t len);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*ioctl)(int fd, unsigned long request, void *arg);
    int (*poll)(struct pollfd *fds, nfds_t count, int timeout_ms);
    int (*tcgetattr)(int fd, struct termios *t);
    int (*tcsetattr)(int fd, int when, const struct termios *t);
    int (*tcflush)(int fd, int queue);
} PLAT_KERNEL;

/* The table in use; never NULL. */
PLAT_EXPORT const PLAT_KERNEL *plat_kernel(void);
/* The real calls, for a replacement table to fall back on. */
PLAT_EXPORT const PLAT_KERNEL *plat_kernel_real(void);
/* Installs a table (NULL restores the real calls); every slot must be set. The table must
 * outlive its use. */
PLAT_EXPORT void plat_kernel_install(const PLAT_KERNEL *ops);

/* Sleep seam: every fixed wait of the runtime and the service (hardware settling times,
 * pulses, retry delays, idle seconds) goes through plat_sleep_ms, which sleeps for real
 * unless a test installed a replacement. Short polls stay real sleeps. */
typedef void (*PLAT_SLEEP_PROC)(int ms);
/* Waits ms milliseconds (nothing for ms <= 0). */
PLAT_EXPORT void plat_sleep_ms(int ms);
/* The real wait, for a replacement to fall back on. */
PLAT_EXPORT void plat_sleep_real(int ms);
/* Installs a replacement (NULL restores the real wait). */
PLAT_EXPORT void plat_sleep_install(PLAT_SLEEP_PROC proc);

/* The terminal kernel's I2C message record: after the buffer it carries the bus timing,
 * which every message sets to PLAT_I2C_TIMING. */
typedef struct PLAT_I2C_MSG {
    uint16_t addr;
    uint16_t flags;
    uint16_t len;
    uint8_t *buf;
    uint32_t timing;
} PLAT_I2C_MSG;

/* Argument of the combined transfer request PLAT_I2C_RDWR. */
typedef struct PLAT_I2C_RDWR_DATA {
    PLAT_I2C_MSG *msgs;
    uint32_t nmsgs;
} PLAT_I2C_RDWR_DATA;

#define PLAT_I2C_RDWR 0x0707
/* Bus settings a bus descriptor takes, the value being the argument itself. */
#define PLAT_I2C_RETRIES 0x0701
#define PLAT_I2C_TIMEOUT 0x0702
#define PLAT_I2C_M_RD 0x0001
#define PLAT_I2C_TIMING 400

#if defined(__LP64__) && defined(__cplusplus)
static_assert(sizeof(PLAT_I2C_MSG) == 24, "I2C message record layout");
static_assert(sizeof(PLAT_I2C_RDWR_DATA) == 16, "I2C transfer argument layout");
#endif

/* Where Android log lines go on this host: appended, one line "P/tag: text" per call, to
 * the host file named (NULL stops writing). 0, or -1 when the file cannot be opened. The
 * environment entry STACK_LOGCAT_FILE names one at load. */
PLAT_EXPORT int plat_logcat_set_file(const char *host_path);

#ifdef __cplusplus
}
#endif
