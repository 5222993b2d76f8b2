/* libcardslot: the PSAM card slot. Powers the card through the enable and reset lines of
 * the switch device, reads its answer to reset and exchanges APDUs over the slot's UART
 * (9600 baud, 8 data bits, even parity, 2 stop bits). Slots 1 to 5; one power state for
 * the whole library. One caller thread at a time. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CARDSLOT_EXPORT __attribute__((visibility("default")))

/* Room of a reply buffer of CardApdu. */
#define CARDSLOT_REPLY_SIZE 512

/* Registers the devices (once), opens the slot's UART (slot 0 means 1) and powers the
 * card: 0 with the slot stored through slot_out (when not NULL), -1 otherwise. */
CARDSLOT_EXPORT int OpenCard(int64_t *slot_out, int slot);
/* Closes the slot's UART and powers the card off: the close result, -1 without a UART
 * or for a bad slot. */
CARDSLOT_EXPORT int CloseCard(int slot);
/* Pulses the reset line low for 10 ms: the result of raising it; 0 through out when given. */
CARDSLOT_EXPORT int ResetCard(int slot, int ignored, int *out);
/* Powers and resets the card and reads its answer to reset: 0 for a valid one. The card
 * stays powered. */
CARDSLOT_EXPORT int CheckCard(int slot);
/* Sends a command and collects the reply (at most CARDSLOT_REPLY_SIZE bytes): 0 when a
 * reply came, else the write's result; -1 for NULL arguments or a bad slot. */
CARDSLOT_EXPORT int CardApdu(int slot, const uint8_t *command, int length, uint8_t *reply, int *reply_length);
/* Collects bytes until about 70 ms of silence or a full buffer, the first wait first_ms:
 * the count, -1 for a NULL buffer. */
CARDSLOT_EXPORT int ReadPacket(int slot, uint8_t *buffer, int size, int first_ms);
/* Switches the card's power (1 on, 0 off) when it is not in that state already: 0; -1,
 * nothing switched, for a slot outside 1 to 5. */
CARDSLOT_EXPORT int control_power(int slot, int on);
/* Logs "<title> [ 0x.. 0x..]" to the Android log when the level has the engine bit. */
CARDSLOT_EXPORT void PrintCustomHex(const char *title, const uint8_t *bytes, int count);

#ifdef __cplusplus
}
#endif
