// The GT5170 engine's read-back: query packets with their check byte, and the reply parser
// that turns an answer into a setting's value text. Kept apart from the plug-in so that the
// fuzz target reaches the parser directly.
#pragma once

#include <stdint.h>

// 0xFF XOR every one of the n bytes (0xFF for none).
uint8_t gt5170_lrc(const uint8_t *bytes, int n);

// The query packet of a configured hexadecimal text (pairs, either case), followed by its
// check byte over the two length bytes and the byte-3 bytes after them, into out
// (capacity bytes): its length; -1 when the text is not whole pairs, is shorter than its
// length bytes claim, or does not fit.
int gt5170_query_packet(const char *text, uint8_t *out, int capacity);

// The data length L of a reply {0x02, 0x00, L high, L low, L bytes, check byte} whose check
// byte lies inside the count received and matches; -1 for anything else.
int gt5170_reply_check(const uint8_t *reply, int count);

// The value of a setting from a reply that passed gt5170_reply_check, chosen by the query
// element's attribute (see the driver): its text into out (size bytes, at least 8): 0;
// -1 when the attribute points outside the reply's data or the bytes there are no digits.
int gt5170_reply_value(const uint8_t *reply, int count, const char *code, const char *param, const char *attr,
                       char *out, int size);
