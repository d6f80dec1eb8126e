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

/* Four-character codes whose first character is the most significant byte, as a C
   multi-character literal would give with MSVC and GCC alike. */
#define LAMINO_SP_FOURCC(a, b, c, d) \
    ((int32_t)(((uint32_t)(a) << 24) | ((uint32_t)(b) << 16) | ((uint32_t)(c) << 8) | (uint32_t)(d)))

enum {
    kSPNoError = 0,
    kSPUnimplementedError = LAMINO_SP_FOURCC('!', 'I', 'M', 'P'),  /* 0x21494D50 */
    kSPSuiteNotFoundError = LAMINO_SP_FOURCC('S', '!', 'F', 'd'),  /* 0x53214664 */
    kSPBadParameterError = LAMINO_SP_FOURCC('P', 'a', 'r', 'm'),
    kSPOutOfMemoryError = (int32_t)0xFFFFFF6C                     /* -148 */
};

#ifdef __cplusplus
static_assert(kSPSuiteNotFoundError == 0x53214664, "'S!Fd'");
static_assert(kSPUnimplementedError == 0x21494D50, "'!IMP'");
static_assert(sizeof(SPBoolean) == 4, "SPBoolean is int32 on Windows");
#endif

#endif
