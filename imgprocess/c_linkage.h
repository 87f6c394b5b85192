/* Lets the image module's headers be read by C and C++ callers alike. */
#ifndef QUORVANE_C_LINKAGE_H
#define QUORVANE_C_LINKAGE_H

#ifdef __cplusplus
#define QV_BEGIN_C extern "C" {
#define QV_END_C }
#else
#include <stdbool.h>
#define QV_BEGIN_C
#define QV_END_C
#endif

#endif
