// The serial engine driver skeleton: the fourteen scanner_ exports, the probe walk over
// the engine's speeds, the decode-cycle procedures and the engine's exchange lock, shared
// by every serial plug-in. A plug-in links this library whole and defines g_serial_driver,
// the description of what its engine does differently.
#pragma once

#include <stdint.h>

#include "readercore.h"
#include "zptlog.h"

#define SERIAL_EXPORT extern "C" __attribute__((visibility("default")))

// Calls the logging library's writer; every line of the serial drivers is a driver line.
#define SER_LOG(...) log_write(LOG_LEVEL_DRIVER, __VA_ARGS__)

// What a driver does differently. Every hook takes the record (never NULL when called).
struct SERIAL_DRIVER_DESC {
    const char *engine;   // log name of the engine
    int homeSpeed;        // the line speed the engine is kept at
    const int *speeds;    // speeds a Baudrate element may name for the probe walk
    int speedCount;
    int stepSize;         // the step buffer; a code holds at most stepSize - 1 bytes
    int stepGaps;         // empty reads that end a code
    const char *dataLine; // "<engine>DateProcess len [%d] [%s]\n"
    int checkLength;      // the answer to SCANNER_IOCTRL_CHECK_LENGTH
    bool clearOnClose;    // the close procedure clears the UART before the trigger
    const char *version;  // scanner_version's fixed text, NULL when versionProc answers
    // Before the first probe command (the line is open at the home speed).
    void (*beforeProbe)(ENGINE_RECORD *record);
    // One probe command at the line's current speed: 0 when the engine answered as expected.
    int (*probeOnce)(ENGINE_RECORD *record);
    // After a walk speed answered: brings the engine to the home speed; the element's result.
    int (*walkFollowUp)(ENGINE_RECORD *record);
    // After the probe: the probe's result given the found/not-found result.
    int (*afterProbe)(ENGINE_RECORD *record, int result);
    COMMON_INIT_PROC init;
    // Handed to the core's deinit, after its threads have stopped (NULL: nothing).
    COMMON_PROC cleanup;
    // SCANNER_IOCTRL_UPGRADE with its request (NULL: the debug fallback answers).
    int (*upgrade)(ENGINE_RECORD *record, void *request);
    SCANNER_SET_PROC set;
    SCANNER_GET_PROC get;
    SCANNER_VERSION_PROC versionProc;
    SCANNER_PACK_PROC pack;
    SCANNER_UNPACK_PROC unpack;
};

extern "C" const SERIAL_DRIVER_DESC g_serial_driver;

// The engine's exchange lock: one request and reply at a time, and none during a decode
// cycle (the decode thread holds it from the open to the close procedure). Every exchange
// outside the probe runs under it.
class SerialExchange {
  public:
    SerialExchange();
    ~SerialExchange();
    SerialExchange(const SerialExchange &) = delete;
    SerialExchange &operator=(const SerialExchange &) = delete;
};

// Waits up to ms for the exchange lock: true when taken (release with
// serial_exchange_release). For a thread that must notice its own stop while it waits.
bool serial_exchange_wait(int ms);
void serial_exchange_release();

// The text of the element child (filtered by key = value when key is given) below the first
// element parent of the engine configuration (capacity size, terminated): its length, 0
// when none.
int serial_child_text(ENGINE_RECORD *record, const char *parent, const char *child, const char *key,
                      const char *value, char *out, int size);
// The element Code / code / parameter of the engine configuration, NULL when absent.
XML_NODE *serial_parameter_node(ENGINE_RECORD *record, const char *code, const char *param);
// The parameter element's text (capacity text_size) and its attribute "name" (attr_size,
// "" when absent): true when the element exists.
bool serial_read_parameter(ENGINE_RECORD *record, const char *code, const char *param, char *text, int text_size,
                           char *attr, int attr_size);
// The text of the Setting / Baudrate element whose attribute key equals value (capacity
// size, terminated): its length, 0 when none.
int serial_baudrate_text(ENGINE_RECORD *record, const char *key, const char *value, char *out, int size);
// The value of a hexadecimal digit (either case), -1 for any other character.
int serial_hex_digit(char c);
// The hexadecimal text's bytes (pairs, either case) into out (at most capacity bytes):
// the count, -1 when a pair is not hexadecimal or the bytes do not fit.
int serial_hex_bytes(const char *text, uint8_t *out, int capacity);
