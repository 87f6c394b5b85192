/* Decoding of hexadecimal text, as PPDs carry printer commands. */
#ifndef QUORVANE_HEX_DECODE_H
#define QUORVANE_HEX_DECODE_H

#include "c_linkage.h"

QV_BEGIN_C

/* Value of each hex digit character ('0'-'9', 'A'-'F', 'a'-'f'); 0 for any
 * other character. */
extern const int hexchar_to_int_table[128];

/* Decodes length characters of text into out and returns the number of
 * bytes produced. Characters that are not hex digits are skipped; a digit
 * followed by a non-digit stands alone as one byte and consumes that
 * character. At most capacity bytes are written; decoding stops there. */
int hexstr_to_bytes(const char *text, int length, unsigned char *out, int capacity);

QV_END_C

#endif
