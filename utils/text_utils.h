/* Text conversions for tools and diagnostics: hexadecimal listings and
 * dumps, MAC and IPv4 address text. None allocates; all write into the
 * caller's buffers. Hexadecimal output is upper-case. */
#ifndef QUORVANE_TEXT_UTILS_H
#define QUORVANE_TEXT_UTILS_H

#include <stdbool.h>
#include <stdint.h>

#include "c_linkage.h"
#include "hex_decode.h"

QV_BEGIN_C

/* "0123456789ABCDEF". */
extern const char int_to_hexchar_table[16];

/* Two digits per byte, 16 values to a line: a space between values, a line
 * feed after every 16th and after the last; then a NUL. Needs 3 * length + 1
 * characters and then returns that count. Never writes more than capacity
 * characters: a smaller capacity gives a NUL-terminated prefix and returns
 * the characters written including the NUL (0 when capacity < 1). */
int bytes_to_hexstr(const unsigned char *data, int length, char *output, int capacity);

/* Hex-and-text dump, 16 bytes a line: "AAAA-AAAA  " (upper and lower half of
 * base_address + offset), the values, two spaces, the bytes 0x20-0x7F as
 * themselves and others as spaces, a line feed. The text column of a short
 * last line follows its values directly. Returns the characters written
 * including the NUL; a capacity too small for the dump gives a
 * NUL-terminated prefix, as bytes_to_hexstr does. */
int bytes_to_addr_hex_ascii_str(uint32_t base_address, const unsigned char *data, int length,
                                char *output, int capacity);

/* 17 characters of text: six two-digit groups at positions 0, 3, 6, 9, 12
 * and 15, separators not read, decoded as hexstr_to_bytes does. The reverse
 * forms pair byte i with group 5 - i. A text shorter than 17 characters
 * leaves mac unchanged. */
void str_to_mac_order(const char *text, unsigned char mac[6]);
void str_to_mac_reverse(const char *text, unsigned char mac[6]);

/* "XX:XX:XX:XX:XX:XX" and a NUL into 18 characters. */
void mac_to_str_order(char *output, const unsigned char mac[6]);
void mac_to_str_reverse(char *output, const unsigned char mac[6]);

/* Replaces every non-overlapping occurrence of pattern, left to right.
 * *result_length receives the length of the whole result even when it does
 * not fit; the output then holds it up to the first replacement that does
 * not fit whole, or up to capacity. Returns whether it all fitted. An empty
 * pattern matches nothing, so the source is copied unchanged. Negative
 * lengths, or a result longer than INT_MAX, give false and length 0. */
bool bytes_replace(const unsigned char *source, int source_length, const unsigned char *pattern,
                   int pattern_length, const unsigned char *replacement, int replacement_length,
                   unsigned char *output, int capacity, int *result_length);

/* Dotted IPv4 text to 4 bytes. Each group, 1 to 3 characters, converts by
 * strtol's rules (white space and a sign accepted, conversion stops at a
 * non-digit) and must lie in 0..255. True for exactly four groups; bytes of
 * groups read before a failure stay stored. Texts over 100 characters give
 * false. */
bool ip_string_to_bytes_a(const char *text, unsigned char address[4]);

/* Six hexadecimal groups read by strtol's rules from positions 0, 3, ...,
 * 15; each must lie in 0..255. Separators are not examined, but a group
 * running on into more digits is read as one larger number and fails. */
bool mac_string_to_bytes_a(const char *text, unsigned char mac[6]);

QV_END_C

#endif
