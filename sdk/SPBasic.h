/*
 * The basic suite of the suite broker ("SP Basic Suite" version 4): acquiring and releasing host
 * suites by name and version, and a block allocator. Reached through in_data->pica_basicP.
 * Every suite acquired must be released with the same name and version.
 */
#ifndef LAMINO_SDK_SPBASIC_H
#define LAMINO_SDK_SPBASIC_H

#include "SPTypes.h"

#define kSPBasicSuite "SP Basic Suite"
#define kSPBasicSuiteVersion 4

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SPBasicSuite {
    SPErr(SPAPI* AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr(SPAPI* ReleaseSuite)(const char* name, int32_t version);
    SPBoolean(SPAPI* IsEqual)(const char* token1, const char* token2);
    SPErr(SPAPI* AllocateBlock)(size_t size, void** block);
    SPErr(SPAPI* FreeBlock)(void* block);
    SPErr(SPAPI* ReallocateBlock)(void* block, size_t newSize, void** newblock);
    SPErr(SPAPI* Undefined)(void);
} SPBasicSuite;

#ifdef __cplusplus
}
static_assert(sizeof(SPBasicSuite) == 56, "SPBasicSuite is 7 pointers");
static_assert(offsetof(SPBasicSuite, ReleaseSuite) == 8, "ReleaseSuite slot");
static_assert(offsetof(SPBasicSuite, Undefined) == 48, "Undefined slot");
#endif

#endif
