/*
 * Host suites that repeat or extend the utility callbacks, acquired by name and version through
 * in_data->pica_basicP->AcquireSuite and released with the same name and version.
 */
#ifndef LAMINO_SDK_AE_EFFECTCBSUITES_H
#define LAMINO_SDK_AE_EFFECTCBSUITES_H

#include "AE_EffectCB.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Pixel formats: four-character codes whose FIRST character is the LOWEST byte (so not the value
   of a C multi-character literal). */
#define LAMINO_PF_PIXEL_FORMAT(a, b, c, d) \
    ((A_long)((A_u_long)(a) | ((A_u_long)(b) << 8) | ((A_u_long)(c) << 16) | ((A_u_long)(d) << 24)))

enum {
    PF_PixelFormat_ARGB32 = LAMINO_PF_PIXEL_FORMAT('a', 'r', 'g', 'b'),  /* 0x62677261 */
    PF_PixelFormat_ARGB64 = LAMINO_PF_PIXEL_FORMAT('a', 'e', '1', '6'),  /* 0x36316561 */
    PF_PixelFormat_ARGB128 = LAMINO_PF_PIXEL_FORMAT('a', 'e', '3', '2'), /* 0x32336561 */
    PF_PixelFormat_BGRA32 = LAMINO_PF_PIXEL_FORMAT('b', 'g', 'r', 'a'),
    PF_PixelFormat_GPU_BGRA128 = LAMINO_PF_PIXEL_FORMAT('@', 'C', 'D', 'A'),
    PF_PixelFormat_INVALID = LAMINO_PF_PIXEL_FORMAT('b', 'a', 'd', 'f'),
    PF_PixelFormat_FORCE_LONG_INT = (int32_t)0xFFFFFFFFu
};

/* ---------------------------------------------------------------- handles */

#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion1 2 /* 2 since the 64-bit hosts: sizes are 64-bit */

typedef struct PF_HandleSuite1 {
    PF_Handle (*host_new_handle)(A_HandleSize size);
    void* (*host_lock_handle)(PF_Handle pf_handle);
    void (*host_unlock_handle)(PF_Handle pf_handle);
    void (*host_dispose_handle)(PF_Handle pf_handle);
    A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
    PF_Err (*host_resize_handle)(A_HandleSize new_sizeL, PF_Handle* handleP);
} PF_HandleSuite1;

/* ---------------------------------------------------------------- ANSI */

#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1

typedef struct PF_ANSICallbacksSuite1 {
    A_FpLong (*atan)(A_FpLong);
    A_FpLong (*atan2)(A_FpLong y, A_FpLong x);
    A_FpLong (*ceil)(A_FpLong);
    A_FpLong (*cos)(A_FpLong);
    A_FpLong (*exp)(A_FpLong);
    A_FpLong (*fabs)(A_FpLong);
    A_FpLong (*floor)(A_FpLong);
    A_FpLong (*fmod)(A_FpLong x, A_FpLong y);
    A_FpLong (*hypot)(A_FpLong x, A_FpLong y);
    A_FpLong (*log)(A_FpLong);
    A_FpLong (*log10)(A_FpLong);
    A_FpLong (*pow)(A_FpLong x, A_FpLong y);
    A_FpLong (*sin)(A_FpLong);
    A_FpLong (*sqrt)(A_FpLong);
    A_FpLong (*tan)(A_FpLong);
    int (*sprintf)(A_char* dst, const A_char* format, ...);
    A_char* (*strcpy)(A_char* dst, const A_char* src);
    A_FpLong (*asin)(A_FpLong);
    A_FpLong (*acos)(A_FpLong);
} PF_ANSICallbacksSuite1;

/* ---------------------------------------------------------------- pixel data */

#define kPFPixelDataSuite "PF Pixel Data Suite"
#define kPFPixelDataSuiteVersion1 1

typedef struct PF_PixelDataSuite1 {
    PF_Err (*get_pixel_data8)(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0, PF_Pixel8** pixPP);
    PF_Err (*get_pixel_data16)(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0, PF_Pixel16** pixPP);
    PF_Err (*get_pixel_data_float)(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0,
                                   PF_PixelFloat** pixPP);
} PF_PixelDataSuite1;

/* ---------------------------------------------------------------- worlds and formats */

#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion2 2

typedef struct PF_WorldSuite2 {
    PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL,
                          PF_Boolean clear_pixB, PF_PixelFormat pixel_format,
                          PF_EffectWorld* worldP);
    PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);
    PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);
} PF_WorldSuite2;

#define kPFPixelFormatSuite "PF Pixel Format Suite"
#define kPFPixelFormatSuiteVersion2 2

typedef struct PF_PixelFormatSuite2 {
    PF_Err (*PF_AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PF_PixelFormat pixel_format);
    PF_Err (*PF_ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
} PF_PixelFormatSuite2;

/* ---------------------------------------------------------------- iteration */

#define kPFIterate8Suite "PF Iterate8 Suite"
#define kPFIterate8SuiteVersion1 1

typedef struct PF_Iterate8Suite1 {
    PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                      PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                      PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
    PF_Err (*iterate_origin)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                             PF_EffectWorld* src, const PF_Rect* area, const PF_Point* origin,
                             void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
    PF_Err (*iterate_lut)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                          PF_EffectWorld* src, const PF_Rect* area, A_u_char* a_lut0,
                          A_u_char* r_lut0, A_u_char* g_lut0, A_u_char* b_lut0,
                          PF_EffectWorld* dst);
    PF_Err (*iterate_origin_non_clip_src)(PF_InData* in_data, A_long progress_base,
                                          A_long progress_final, PF_EffectWorld* src,
                                          const PF_Rect* area, const PF_Point* origin,
                                          void* refcon, PF_IteratePixel8Func pix_fn,
                                          PF_EffectWorld* dst);
    PF_Err (*iterate_generic)(A_long iterationsL, void* refconPV,
                              PF_Err (*fn_func)(void* refconPV, A_long thread_indexL, A_long i,
                                                A_long iterationsL));
} PF_Iterate8Suite1;

#define kPFIterate16Suite "PF iterate16 Suite"
#define kPFIterate16SuiteVersion1 1

typedef struct PF_iterate16Suite1 {
    PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                      PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                      PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);
    PF_Err (*iterate_origin)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                             PF_EffectWorld* src, const PF_Rect* area, const PF_Point* origin,
                             void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);
    PF_Err (*iterate_origin_non_clip_src)(PF_InData* in_data, A_long progress_base,
                                          A_long progress_final, PF_EffectWorld* src,
                                          const PF_Rect* area, const PF_Point* origin,
                                          void* refcon, PF_IteratePixel16Func pix_fn,
                                          PF_EffectWorld* dst);
} PF_iterate16Suite1;
typedef PF_iterate16Suite1 PF_Iterate16Suite1;

/* Note the lower-case i in the suite's name. Pass null for area to cover the whole world and
   progress_final 0 to turn progress reporting off. */
#define kPFIterateFloatSuite "PF iterateFloat Suite"
#define kPFIterateFloatSuiteVersion1 1

typedef struct PF_iterateFloatSuite1 {
    PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                      PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                      PF_IteratePixelFloatFunc pix_fn, PF_EffectWorld* dst);
    PF_Err (*iterate_origin)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                             PF_EffectWorld* src, const PF_Rect* area, const PF_Point* origin,
                             void* refcon, PF_IteratePixelFloatFunc pix_fn, PF_EffectWorld* dst);
    PF_Err (*iterate_origin_non_clip_src)(PF_InData* in_data, A_long progress_base,
                                          A_long progress_final, PF_EffectWorld* src,
                                          const PF_Rect* area, const PF_Point* origin,
                                          void* refcon, PF_IteratePixelFloatFunc pix_fn,
                                          PF_EffectWorld* dst);
} PF_iterateFloatSuite1;
typedef PF_iterateFloatSuite1 PF_IterateFloatSuite1;

/* Parameter utilities. PF_UpdateParamUI takes a copy of a parameter whose ui_flags, name or flags
   have changed and shows the control so; it is the way to change a control's look during
   PF_Cmd_UPDATE_PARAMS_UI and PF_Cmd_USER_CHANGED_PARAM. The eight functions that follow it (the
   parameter-state and keyframe queries) are not used here and are declared as plain slots. */
#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion3 3

typedef struct PF_ParamUtilsSuite3 {
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                               const PF_ParamDef* defP);
    void* PF_GetCurrentState;
    void* PF_AreStatesIdentical;
    void* PF_IsIdenticalCheckout;
    void* PF_FindKeyframeTime;
    void* PF_GetKeyframeCount;
    void* PF_CheckoutKeyframe;
    void* PF_CheckinKeyframe;
    void* PF_KeyIndexToTime;
} PF_ParamUtilsSuite3;

#ifdef __cplusplus
}
#endif

LAMINO_SDK_ASSERT(PF_PixelFormat_ARGB32 == 0x62677261 && PF_PixelFormat_ARGB64 == 0x36316561 &&
                      PF_PixelFormat_ARGB128 == 0x32336561,
                  "pixel format codes are little-endian four-character codes");
LAMINO_SDK_ASSERT(sizeof(PF_HandleSuite1) == 48 &&
                      offsetof(PF_HandleSuite1, host_dispose_handle) == 24 &&
                      offsetof(PF_HandleSuite1, host_resize_handle) == 40,
                  "PF_HandleSuite1");
LAMINO_SDK_ASSERT(sizeof(PF_ANSICallbacksSuite1) == 152 &&
                      offsetof(PF_ANSICallbacksSuite1, sprintf) == 120 &&
                      offsetof(PF_ANSICallbacksSuite1, strcpy) == 128 &&
                      offsetof(PF_ANSICallbacksSuite1, acos) == 144,
                  "PF_ANSICallbacksSuite1");
LAMINO_SDK_ASSERT(sizeof(PF_PixelDataSuite1) == 24, "PF_PixelDataSuite1");
LAMINO_SDK_ASSERT(sizeof(PF_WorldSuite2) == 24 && sizeof(PF_PixelFormatSuite2) == 16,
                  "world and pixel format suites");
LAMINO_SDK_ASSERT(sizeof(PF_Iterate8Suite1) == 40 && sizeof(PF_iterate16Suite1) == 24,
                  "8- and 16-bit iteration suites");
LAMINO_SDK_ASSERT(sizeof(PF_ParamUtilsSuite3) == 72 &&
                      offsetof(PF_ParamUtilsSuite3, PF_UpdateParamUI) == 0,
                  "PF_ParamUtilsSuite3");
LAMINO_SDK_ASSERT(sizeof(PF_iterateFloatSuite1) == 24 &&
                      offsetof(PF_iterateFloatSuite1, iterate_origin) == 8,
                  "PF_iterateFloatSuite1");

#endif
