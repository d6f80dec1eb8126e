/*
 * Basic scalar types and error codes of the After Effects host API, declared for 64-bit Windows
 * (LLP64). Every type has a fixed width: the host is built with MSVC, we are built with MinGW,
 * and `long`-based or C-enum-based types would not agree between the two.
 */
#ifndef LAMINO_SDK_A_H
#define LAMINO_SDK_A_H

#include <stddef.h>
#include <stdint.h>

/* Layout checks that work in C (C11) and C++. */
#ifdef __cplusplus
#define LAMINO_SDK_ASSERT(condition, message) static_assert(condition, message)
#else
#define LAMINO_SDK_ASSERT(condition, message) _Static_assert(condition, message)
#endif

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef int32_t A_Fixed;
typedef uint32_t A_UFixed;
typedef uint64_t A_u_longlong;
typedef uint64_t A_HandleSize;
typedef int64_t A_intptr_t;
typedef uint16_t A_UTF16Char;
typedef A_long A_Err;

/* 4 bytes as the host (MSVC) sees it; the host's own headers make it 1 byte under GCC. */
typedef int32_t A_LegacyEnumType;

typedef struct A_Time {
    A_long value;
    A_u_long scale;
} A_Time;

typedef struct A_Color {
    A_FpLong alpha;
    A_FpLong red;
    A_FpLong green;
    A_FpLong blue;
} A_Color;

enum {
    A_Err_NONE = 0,
    A_Err_GENERIC = 1,
    A_Err_STRUCT = 2,
    A_Err_PARAMETER = 3,
    A_Err_ALLOC = 4,
    A_Err_MISSING_SUITE = 13
};

LAMINO_SDK_ASSERT(sizeof(A_long) == 4 && sizeof(A_short) == 2 && sizeof(A_u_longlong) == 8,
                  "fixed-width scalars");
LAMINO_SDK_ASSERT(sizeof(A_Time) == 8, "A_Time is 8 bytes");
LAMINO_SDK_ASSERT(sizeof(A_Color) == 32, "A_Color is 32 bytes");
LAMINO_SDK_ASSERT(sizeof(void*) == 8, "the host API is declared for 64-bit Windows only");

#endif
