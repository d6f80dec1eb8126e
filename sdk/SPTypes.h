/*
 * Scalar types and error codes of the suite broker (the "SP" layer through which a plug-in
 * acquires host suites), as seen on Windows.
 */
#ifndef LAMINO_SDK_SPTYPES_H
#define LAMINO_SDK_SPTYPES_H

#include <stddef.h>
#include <stdint.h>

/* On Windows the broker's calls carry no calling-convention keyword. */
#ifndef SPAPI
#define SPAPI
#endif

typedef int32_t SPErr;

/* 4 bytes on Windows (1 byte on the Mac). */
typedef int32_t SPBoolean;

/* Every other result is an error, mostly four-character codes such as 'S!Fd' (suite not found). */
#define kSPNoError 0

#ifdef __cplusplus
static_assert(sizeof(SPBoolean) == 4, "SPBoolean is int32 on Windows");
#endif

#endif
