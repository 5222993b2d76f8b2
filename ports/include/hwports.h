/* libhwports: the device registry and the port drivers.
 *
 * A port is a PORT_DEVICE of a kind and a channel with the operations of its kind's
 * driver. The registry allocates and owns the records; callers borrow the pointer that
 * get_module_ops returns and call its operations, which are NULL where the kind has none.
 * Ports are registered and unregistered on the start-up and close paths only: the
 * registry takes no lock, and calls on one port are not serialised here. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define HWPORTS_EXPORT __attribute__((visibility("default")))

/* A link of an intrusive, circular, doubly linked list; a list head is a link of its own
 * and an empty list's head points to itself both ways. */
struct list_head {
    struct list_head *next;
    struct list_head *prev;
};

/* Device kinds; a port's id is kind * 256 + channel. */
enum {
    PORT_KIND_I2C = 1,
    PORT_KIND_UART = 2,
    PORT_KIND_GPIO = 3,
    PORT_KIND_SWITCH1D = 4,
    PORT_KIND_SWITCH2D = 5,
    PORT_KIND_MTD = 6,
    PORT_KIND_SENSOR = 7,
};

#define PORT_NAME_SIZE 50
/* The path field holds at most PORT_PATH_SIZE - 1 characters; longer paths are refused. */
#define PORT_PATH_SIZE 200

/* Control codes of the ioctrl operation: one number space for every kind; each driver
 * answers only its own. "pointer" codes take their input from the integer the fourth
 * argument points to, "value" codes from the third argument. */
enum {
    MODULE_IOCRL_POWER_ON = 0x05,      /* SWITCH1D */
    MODULE_IOCRL_POWER_OFF = 0x06,     /* SWITCH1D */
    MODULE_IOCRL_TRIGGER_ON = 0x07,    /* SWITCH1D */
    MODULE_IOCRL_TRIGGER_OFF = 0x08,   /* SWITCH1D */
    MODULE_IOCRL_SET_UART_RTS = 0x09,  /* SWITCH1D, pointer */
    MODULE_IOCRL_GET_UART_RTS = 0x0a,  /* SWITCH1D */
    MODULE_IOCRL_SET_UART_CTS = 0x0b,  /* SWITCH1D, pointer */
    MODULE_IOCRL_GET_UART_CTS = 0x0c,  /* SWITCH1D */
    MODULE_IOCRL_MIPICHIP_ON = 0x0d,   /* SWITCH1D */
    MODULE_IOCRL_MIPICHIP_OFF = 0x0e,  /* SWITCH1D */
    MODULE_IOCRL_2D_POWER_ON = 0x0f,   /* SWITCH2D */
    MODULE_IOCRL_2D_POWER_OFF = 0x10,  /* SWITCH2D */
    MODULE_IOCRL_SERIAL_SPEED = 0x11,  /* UART, value */
    MODULE_IOCRL_SERIAL_FLUSH = 0x12,  /* UART */
    MODULE_IOCRL_AIMER_ON = 0x1d,      /* SWITCH1D */
    MODULE_IOCRL_AIMER_OFF = 0x1e,     /* SWITCH1D */
    MODULE_IOCRL_ILLUM_ON = 0x1f,      /* SWITCH1D */
    MODULE_IOCRL_ILLUM_OFF = 0x20,     /* SWITCH1D */
    MODULE_IOCRL_SERIAL_CTSRTS = 0x24, /* UART, value */
    MODULE_IOCRL_SET_PSAM_EN = 0x25,   /* SWITCH1D, pointer */
    MODULE_IOCRL_GET_PSAM_EN = 0x26,   /* SWITCH1D */
    MODULE_IOCRL_SET_PSAM_RST = 0x27,  /* SWITCH1D, pointer */
    MODULE_IOCRL_GET_PSAM_RST = 0x28,  /* SWITCH1D */
    MODULE_IOCRL_WAKE_ON = 0x29,       /* SWITCH1D */
    MODULE_IOCRL_WAKE_OFF = 0x2a,      /* SWITCH1D */
    MODULE_IOCRL_GPIO_SET = 0x2b,      /* GPIO, pointer */
    MODULE_IOCRL_GPIO_GET = 0x2c,      /* GPIO */
    MODULE_IOCRL_VBACK_FAC = 0x2e,     /* SWITCH1D, pointer */
};

typedef struct PORT_DEVICE PORT_DEVICE;

/* One registered port. */
struct PORT_DEVICE {
    char name[PORT_NAME_SIZE]; /* the driver's name, for logs */
    char path[PORT_PATH_SIZE]; /* device node, sysfs node, or (switch) a prefix for node names */
    int32_t id;                /* kind * 256 + channel; -1 until registered */
    int32_t fd;                /* open descriptor; -1 when closed */
    /* param: I2C a path or NULL (the registered path), UART a SERIAL_PARAM, MTD unused. */
    int (*open)(PORT_DEVICE *dev, void *param);
    int (*close)(PORT_DEVICE *dev, int unused);
    int (*read)(PORT_DEVICE *dev, uint8_t *buf, int len, int timeout_ms);
    int (*write)(PORT_DEVICE *dev, const uint8_t *bytes, int len);
    int (*ioctrl)(PORT_DEVICE *dev, int code, int value, int *pointer);
    int (*i2c_read)(PORT_DEVICE *dev, uint8_t slave, int reg, uint8_t *buf, int len);
    int (*i2c_write)(PORT_DEVICE *dev, uint8_t slave, int reg, const uint8_t *bytes, int len);
    int (*i2c_read_word)(PORT_DEVICE *dev, uint8_t slave, int reg, uint8_t *buf, int len);
    int (*i2c_write_word)(PORT_DEVICE *dev, uint8_t slave, int reg, const uint8_t *bytes, int len);
    struct list_head link;
};

/* Open parameters of a UART port. */
typedef struct SERIAL_PARAM {
    int32_t speed;    /* 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200 */
    int32_t blocking; /* 0: opened non-blocking */
    int32_t dataBits; /* 5 to 8 */
    int32_t stopBits; /* 1 or 2; other values keep the port's setting */
    int32_t parity;   /* 'N' none, 'O' odd, 'E' even, 'M' stick 0, 'S' stick 1 (either case) */
} SERIAL_PARAM;

#ifdef __cplusplus
#if defined(__LP64__)
static_assert(sizeof(PORT_DEVICE) == 352, "port record layout");
#endif
static_assert(sizeof(SERIAL_PARAM) == 20, "serial parameter block layout");
#endif

/* Registry. */

/* Registers a port: a new record set up by the kind's driver (kinds 1-6; other kinds get
 * no operations), id = kind * 256 + channel, the path copied, appended after the ports
 * registered before. 0; -1 when the path does not fit PORT_PATH_SIZE or no memory. */
HWPORTS_EXPORT int register_device(int kind, int channel, const char *path);
/* The first port registered with kind and channel; channel -1 gives the first port of
 * the registry whatever its kind. NULL when none matches. */
HWPORTS_EXPORT PORT_DEVICE *get_module_ops(int kind, int channel);
/* Unlinks the port get_module_ops would return, closes it when its kind can, frees it:
 * 0, or -1 when none matches. */
HWPORTS_EXPORT int unregister_device(int kind, int channel);

/* Driver initialisers: clear the record, set id and fd to -1, name the driver and install
 * its operations. 0, or -1 for NULL. */
HWPORTS_EXPORT int module_i2c_init(PORT_DEVICE *dev);
HWPORTS_EXPORT int module_serial_init(PORT_DEVICE *dev);
HWPORTS_EXPORT int module_gpio_init(PORT_DEVICE *dev);
HWPORTS_EXPORT int module_switch_init(PORT_DEVICE *dev);
HWPORTS_EXPORT int module_2dswitch_init(PORT_DEVICE *dev);
HWPORTS_EXPORT int module_mtd_init(PORT_DEVICE *dev);

/* I2C: 0 on success, -1 on failure. Transfers need an open port. */
HWPORTS_EXPORT int module_i2c_open(PORT_DEVICE *dev, void *path);
HWPORTS_EXPORT int module_i2c_close(PORT_DEVICE *dev, int unused);
/* Writes the register's low byte, then reads len (1 to 65,535) bytes into buf. */
HWPORTS_EXPORT int module_i2c_read(PORT_DEVICE *dev, uint8_t slave, int reg, uint8_t *buf, int len);
/* One message: the register's low byte and len (0 to 65,534) bytes. */
HWPORTS_EXPORT int module_i2c_write(PORT_DEVICE *dev, uint8_t slave, int reg, const uint8_t *bytes, int len);
/* As above with the register's high then low byte; writes take 0 to 65,533 bytes. */
HWPORTS_EXPORT int module_i2c_read_word(PORT_DEVICE *dev, uint8_t slave, int reg, uint8_t *buf, int len);
HWPORTS_EXPORT int module_i2c_write_word(PORT_DEVICE *dev, uint8_t slave, int reg, const uint8_t *bytes, int len);

/* MTD: a record of at most 49 bytes and the marker '@' at the start of the partition. */
#define MTD_RECORD_SIZE 50
HWPORTS_EXPORT int module_mtd_open(PORT_DEVICE *dev, void *unused);
HWPORTS_EXPORT int module_mtd_close(PORT_DEVICE *dev, int unused);
/* Reads the first MTD_RECORD_SIZE bytes into buf (len is its capacity, at least
 * MTD_RECORD_SIZE): 0, or -1 with buf untouched. */
HWPORTS_EXPORT int module_mtd_read(PORT_DEVICE *dev, uint8_t *buf, int len, int unused);
/* Writes the first min(len, 49) bytes and the marker at offset 0: 0, or -1. */
HWPORTS_EXPORT int module_mtd_write(PORT_DEVICE *dev, const uint8_t *bytes, int len);

/* UART. open: the descriptor (positive) on a new open, 0 when already open, -1. */
HWPORTS_EXPORT int module_serial_open(PORT_DEVICE *dev, void *param);
HWPORTS_EXPORT int module_serial_close(PORT_DEVICE *dev, int unused);
/* Waits up to timeout_ms for input, then reads at most len bytes: the count, 0 on
 * time-out, -1 on a read error. */
HWPORTS_EXPORT int module_serial_read(PORT_DEVICE *dev, uint8_t *buf, int len, int timeout_ms);
/* Discards unread input, then writes: the count written, or -1. */
HWPORTS_EXPORT int module_serial_write(PORT_DEVICE *dev, const uint8_t *bytes, int len);
HWPORTS_EXPORT int module_serial_ioctrl(PORT_DEVICE *dev, int code, int value, int *pointer);

/* Line drivers: every request opens the node, transfers a few bytes and closes it. */
HWPORTS_EXPORT int module_switch_ioctrl(PORT_DEVICE *dev, int code, int value, int *pointer);
HWPORTS_EXPORT int module_2dswitch_ioctrl(PORT_DEVICE *dev, int code, int value, int *pointer);
HWPORTS_EXPORT int module_gpio_ioctrl(PORT_DEVICE *dev, int code, int value, int *pointer);

#ifdef __cplusplus
}
#endif
