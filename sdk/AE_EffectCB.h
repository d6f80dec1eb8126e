/*
 * The host's utility callbacks (in_data->utils): sampling, compositing, iteration, handles, the
 * ANSI maths and string block, colour conversions and pixel addresses. 69 pointer-sized slots in
 * a frozen order; the plug-in calls only the slots it needs, but every slot is declared so that
 * the offsets of later ones are right.
 */
#ifndef LAMINO_SDK_AE_EFFECTCB_H
#define LAMINO_SDK_AE_EFFECTCB_H

#include "AE_Effect.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The host returns callback addresses as an opaque pointer that the caller casts. */
typedef struct PF_CallbackFuncOpaque* PF_CallbackFunc;

enum {
    PF_PlatData_MAIN_WND = 0,
    PF_PlatData_EXE_FILE_PATH_DEPRECATED = 1,
    PF_PlatData_RES_FILE_PATH_DEPRECATED = 2,
    PF_PlatData_RES_REFNUM = 3,
    PF_PlatData_RES_DLLINSTANCE = 4,
    PF_PlatData_SP_PLUG_REF = 5,
    PF_PlatData_BUNDLE_REF = 6,
    PF_PlatData_EXE_FILE_PATH_W = 7,
    PF_PlatData_RES_FILE_PATH_W = 8
};

#define AEFX_MAX_PATH 260

typedef struct PF_CompositeMode {
    PF_XferMode xfer;
    A_long rand_seed;
    A_u_char opacity;
    PF_Boolean rgb_only;
    A_u_short opacitySu;
} PF_CompositeMode;

typedef struct PF_SampPB {
    PF_Fixed x_radius;
    PF_Fixed y_radius;
    PF_Fixed area;
    PF_EffectWorld* src;
    PF_SampleEdgeBehav samp_behave;
    A_long allow_asynch;
    A_long motion_blur;
    PF_CompositeMode comp_mode;
    PF_PixelPtr mask0;
    A_u_char* fcm_table;
    A_u_char* fcd_table;
    A_long reserved[8];
} PF_SampPB;

typedef struct PF_MaskWorld {
    PF_EffectWorld mask;
    PF_Point offset;
    A_long what_is_mask;
} PF_MaskWorld;

/* Per-pixel functions of the iteration callbacks and suites. */
typedef PF_Err (*PF_IteratePixel8Func)(void* refcon, A_long x, A_long y, PF_Pixel* in,
                                       PF_Pixel* out);
typedef PF_Err (*PF_IteratePixel16Func)(void* refcon, A_long x, A_long y, PF_Pixel16* in,
                                        PF_Pixel16* out);
typedef PF_Err (*PF_IteratePixelFloatFunc)(void* refcon, A_long x, A_long y, PF_PixelFloat* in,
                                           PF_PixelFloat* out);

/* utils->ansi: the C library as the host provides it. sprintf is variadic: pass only double,
   int-sized values and pointers (never long double, whose size MinGW and MSVC disagree on). */
typedef struct PF_ANSICallbacks {
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
    A_long ansi_procs[1];
} PF_ANSICallbacks;

typedef struct PF_ColorCallbacks {
    PF_Err (*RGBtoHLS)(PF_ProgPtr effect_ref, PF_Pixel* rgb, PF_HLS_Pixel hls);
    PF_Err (*HLStoRGB)(PF_ProgPtr effect_ref, PF_HLS_Pixel hls, PF_Pixel* rgb);
    PF_Err (*RGBtoYIQ)(PF_ProgPtr effect_ref, PF_Pixel* rgb, PF_YIQ_Pixel yiq);
    PF_Err (*YIQtoRGB)(PF_ProgPtr effect_ref, PF_YIQ_Pixel yiq, PF_Pixel* rgb);
    PF_Err (*Luminance)(PF_ProgPtr effect_ref, PF_Pixel* rgb, A_long* lum100);
    PF_Err (*Hue)(PF_ProgPtr effect_ref, PF_Pixel* rgb, A_long* hue);
    PF_Err (*Lightness)(PF_ProgPtr effect_ref, PF_Pixel* rgb, A_long* lightness);
    PF_Err (*Saturation)(PF_ProgPtr effect_ref, PF_Pixel* rgb, A_long* saturation);
} PF_ColorCallbacks;

typedef struct _PF_UtilCallbacks {
    PF_Err (*begin_sampling)(PF_ProgPtr effect_ref, PF_Quality qual, PF_ModeFlags mf,
                             PF_SampPB* params);
    PF_Err (*subpixel_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                              const PF_SampPB* params, PF_Pixel* dst_pixel);
    PF_Err (*area_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                          PF_Pixel* dst_pixel);
    void* get_batch_func_is_deprecated;
    PF_Err (*end_sampling)(PF_ProgPtr effect_ref, PF_Quality qual, PF_ModeFlags mf,
                           PF_SampPB* params);
    PF_Err (*composite_rect)(PF_ProgPtr effect_ref, PF_Rect* src_rect, A_long src_opacity,
                             PF_EffectWorld* source_wld, A_long dest_x, A_long dest_y,
                             PF_Field field_rdr, PF_XferMode xfer_mode, PF_EffectWorld* dest_wld);
    PF_Err (*blend)(PF_ProgPtr effect_ref, const PF_EffectWorld* src1, const PF_EffectWorld* src2,
                    PF_Fixed ratio, PF_EffectWorld* dst);
    PF_Err (*convolve)(PF_ProgPtr effect_ref, PF_EffectWorld* src, const PF_Rect* area,
                       PF_KernelFlags flags, A_long kernel_size, void* a_kernel, void* r_kernel,
                       void* g_kernel, void* b_kernel, PF_EffectWorld* dst);
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                   PF_Rect* dst_r);
    PF_Err (*fill)(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect,
                   PF_EffectWorld* world);
    PF_Err (*gaussian_kernel)(PF_ProgPtr effect_ref, A_FpLong kRadius, PF_KernelFlags flags,
                              A_FpLong multiplier, A_long* diameter, void* kernel);
    PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                      PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                      PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
    PF_Err (*premultiply)(PF_ProgPtr effect_ref, A_long forward, PF_EffectWorld* dst);
    PF_Err (*premultiply_color)(PF_ProgPtr effect_ref, PF_EffectWorld* src, const PF_Pixel* color,
                                A_long forward, PF_EffectWorld* dst);
    PF_Err (*new_world)(PF_ProgPtr effect_ref, A_long width, A_long height, PF_NewWorldFlags flags,
                        PF_EffectWorld* world);
    PF_Err (*dispose_world)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
    PF_Err (*iterate_origin)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                             PF_EffectWorld* src, const PF_Rect* area, const PF_Point* origin,
                             void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
    PF_Err (*iterate_lut)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                          PF_EffectWorld* src, const PF_Rect* area, A_u_char* a_lut0,
                          A_u_char* r_lut0, A_u_char* g_lut0, A_u_char* b_lut0,
                          PF_EffectWorld* dst);
    PF_Err (*transfer_rect)(PF_ProgPtr effect_ref, PF_Quality quality, PF_ModeFlags m_flags,
                            PF_Field field, const PF_Rect* src_rec, const PF_EffectWorld* src_world,
                            const PF_CompositeMode* comp_mode, const PF_MaskWorld* mask_world0,
                            A_long dest_x, A_long dest_y, PF_EffectWorld* dst_world);
    PF_Err (*transform_world)(PF_ProgPtr effect_ref, PF_Quality quality, PF_ModeFlags m_flags,
                              PF_Field field, const PF_EffectWorld* src_world,
                              const PF_CompositeMode* comp_mode, const PF_MaskWorld* mask_world0,
                              const PF_FloatMatrix* matrices, A_long num_matrices,
                              PF_Boolean src2dst_matrix, const PF_Rect* dest_rect,
                              PF_EffectWorld* dst_world);
    PF_Handle (*host_new_handle)(A_u_longlong size);
    void* (*host_lock_handle)(PF_Handle pf_handle);
    void (*host_unlock_handle)(PF_Handle pf_handle);
    void (*host_dispose_handle)(PF_Handle pf_handle);
    PF_Err (*get_callback_addr)(PF_ProgPtr effect_ref, PF_Quality quality, PF_ModeFlags mode_flags,
                                PF_CallbackID which_callback, PF_CallbackFunc* fn_ptr);
    PF_Err (*app)(PF_ProgPtr effect_ref, A_long selector, ...);
    PF_ANSICallbacks ansi;
    PF_ColorCallbacks colorCB;
    PF_Err (*get_platform_data)(PF_ProgPtr effect_ref, PF_PlatDataID which, void* data);
    A_u_longlong (*host_get_handle_size)(PF_Handle pf_handle);
    PF_Err (*iterate_origin_non_clip_src)(PF_InData* in_data, A_long progress_base,
                                          A_long progress_final, PF_EffectWorld* src,
                                          const PF_Rect* area, const PF_Point* origin,
                                          void* refcon, PF_IteratePixel8Func pix_fn,
                                          PF_EffectWorld* dst);
    PF_Err (*iterate_generic)(A_long iterationsL, void* refconPV,
                              PF_Err (*fn_func)(void* refconPV, A_long thread_indexL, A_long i,
                                                A_long iterationsL));
    PF_Err (*host_resize_handle)(A_u_longlong new_sizeL, PF_Handle* handleP);
    PF_Err (*subpixel_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                                const PF_SampPB* params, PF_Pixel16* dst_pixel);
    PF_Err (*area_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                            PF_Pixel16* dst_pixel);
    PF_Err (*fill16)(PF_ProgPtr effect_ref, const PF_Pixel16* color, const PF_Rect* dst_rect,
                     PF_EffectWorld* world);
    PF_Err (*premultiply_color16)(PF_ProgPtr effect_ref, PF_EffectWorld* src,
                                  const PF_Pixel16* color, A_long forward, PF_EffectWorld* dst);
    PF_Err (*iterate16)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                        PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                        PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);
    PF_Err (*iterate_origin16)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                               PF_EffectWorld* src, const PF_Rect* area, const PF_Point* origin,
                               void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);
    PF_Err (*iterate_origin_non_clip_src16)(PF_InData* in_data, A_long progress_base,
                                            A_long progress_final, PF_EffectWorld* src,
                                            const PF_Rect* area, const PF_Point* origin,
                                            void* refcon, PF_IteratePixel16Func pix_fn,
                                            PF_EffectWorld* dst);
    /* Pass null for pixels0 to get world->data; *pixels is null when the depth does not match. */
    PF_Err (*get_pixel_data8)(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0, PF_Pixel8** pixPP);
    PF_Err (*get_pixel_data16)(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0, PF_Pixel16** pixPP);
    A_long reserved[1];
} PF_UtilCallbacks;

#ifdef __cplusplus
}
#endif

LAMINO_SDK_ASSERT(sizeof(PF_CompositeMode) == 12 && offsetof(PF_CompositeMode, opacitySu) == 10,
                  "PF_CompositeMode");
LAMINO_SDK_ASSERT(sizeof(PF_SampPB) == 104 && offsetof(PF_SampPB, src) == 16 &&
                      offsetof(PF_SampPB, comp_mode) == 36 && offsetof(PF_SampPB, mask0) == 48 &&
                      offsetof(PF_SampPB, reserved) == 72,
                  "PF_SampPB");
LAMINO_SDK_ASSERT(sizeof(PF_MaskWorld) == 136 && offsetof(PF_MaskWorld, what_is_mask) == 128,
                  "PF_MaskWorld");
LAMINO_SDK_ASSERT(sizeof(PF_ANSICallbacks) == 160, "PF_ANSICallbacks is 160 bytes");
LAMINO_SDK_ASSERT(offsetof(PF_ANSICallbacks, sprintf) == 120 &&
                      offsetof(PF_ANSICallbacks, strcpy) == 128 &&
                      offsetof(PF_ANSICallbacks, acos) == 144 &&
                      offsetof(PF_ANSICallbacks, ansi_procs) == 152,
                  "PF_ANSICallbacks slots");
LAMINO_SDK_ASSERT(sizeof(PF_ColorCallbacks) == 64, "PF_ColorCallbacks is 64 bytes");
LAMINO_SDK_ASSERT(sizeof(PF_UtilCallbacks) == 552, "PF_UtilCallbacks is 552 bytes");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, iterate) == 88, "iterate");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, transform_world) == 152, "transform_world");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, host_new_handle) == 160, "host_new_handle");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, app) == 200, "app");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, ansi) == 208, "ansi");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, ansi.sprintf) == 328, "ansi.sprintf");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, ansi.strcpy) == 336, "ansi.strcpy");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, colorCB) == 368, "colorCB");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, get_platform_data) == 432, "get_platform_data");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, host_get_handle_size) == 440, "host_get_handle_size");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, host_resize_handle) == 464, "host_resize_handle");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, iterate16) == 504, "iterate16");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, get_pixel_data8) == 528, "get_pixel_data8");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, get_pixel_data16) == 536, "get_pixel_data16");
LAMINO_SDK_ASSERT(offsetof(PF_UtilCallbacks, reserved) == 544, "reserved");

#endif
