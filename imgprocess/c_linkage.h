/* Lets the image module's headers be read by C and C++ callers alike, and
 * marks what they declare between QV_BEGIN_C and QV_END_C as the shared
 * library's interface: libquorvane is built with hidden visibility, so only
 * these declarations are exported from it. */
#ifndef QUORVANE_C_LINKAGE_H
#define QUORVANE_C_LINKAGE_H

#if defined(__GNUC__)
#define QV_EXPORT_BEGIN _Pragma("GCC visibility push(default)")
#define QV_EXPORT_END _Pragma("GCC visibility pop")
#else
#define QV_EXPORT_BEGIN
#define QV_EXPORT_END
#endif

#ifdef __cplusplus
#define QV_BEGIN_C extern "C" { QV_EXPORT_BEGIN
#define QV_END_C QV_EXPORT_END }
#else
#include <stdbool.h>
#define QV_BEGIN_C QV_EXPORT_BEGIN
#define QV_END_C QV_EXPORT_END
#endif

#endif
