/* The filter's private trace: text lines appended to a file, one open and
 * close per line so that every line survives a crash or kill. */
#ifndef QUORVANE_TRACE_FILE_H
#define QUORVANE_TRACE_FILE_H

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* Appends text to the file at path (created if missing). False when the file
 * cannot be opened; the text is then dropped. */
bool append_string_to_file(const char *path, const char *text);

/* Formats with printf rules into a 4096-byte buffer and appends the result;
 * text past 4094 characters is dropped. */
bool append_formatstring_to_file(const char *path, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

#ifdef __cplusplus
}
#endif

#endif
