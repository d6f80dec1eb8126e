/*
 * The After Effects effect API ("PF") as a 64-bit Windows plug-in sees it: commands, error codes,
 * parameter definitions, image buffers ("worlds"), and the in/out data exchanged with the host at
 * every command.
 *
 * Layout rules: all fields are fixed-width types; enumerated values are plain constants stored in
 * A_long-based typedefs (never C enum types, whose size MSVC and GCC may choose differently);
 * natural x64 alignment gives the host's layout, so no pack pragma is used. Sizes and key offsets
 * are checked at compile time at the end of this file.
 */
#ifndef LAMINO_SDK_AE_EFFECT_H
#define LAMINO_SDK_AE_EFFECT_H

#include "A.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Version of the effect API these declarations describe (the layouts are the same since 13.2). */
#define PF_AE_PLUG_IN_VERSION 13
#define PF_AE_PLUG_IN_SUBVERS 28

#ifndef DllExport
#define DllExport __declspec(dllexport)
#endif

/* ---------------------------------------------------------------- scalar types */

typedef A_char PF_Boolean; /* one byte, a char: not int, not bool */
typedef A_FpLong PF_FpLong;
typedef A_FpShort PF_FpShort;
typedef A_long PF_Fixed; /* 16.16 fixed point, 1.0 = 0x00010000 */
typedef A_u_long PF_UFixed;
typedef A_long PF_Err;
typedef A_long PF_Cmd;
typedef A_long PF_ParamType;
typedef A_long PF_ParamFlags;
typedef A_long PF_ParamUIFlags;
typedef A_long PF_ChangeFlags;
typedef A_long PF_OutFlags;
typedef A_long PF_OutFlags2;
typedef A_long PF_InFlags;
typedef A_long PF_Quality;
typedef A_long PF_Field;
typedef A_long PF_ModeFlags;
typedef A_long PF_WorldFlags;
typedef A_long PF_NewWorldFlags;
typedef A_long PF_Stage;
typedef A_long PF_PixelFormat;
typedef A_long PF_PlatDataID;
typedef A_long PF_CallbackID;
typedef A_long PF_XferMode;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamValue;
typedef A_long PF_ChannelMask;
typedef A_short PF_ValueDisplayFlags;
typedef A_u_long PF_FSliderFlags;
typedef A_u_long PF_KernelFlags;
typedef A_u_long PF_SampleEdgeBehav;
typedef A_u_long PF_PathID;
typedef A_u_long PF_Plane;

/* A handle: dereference once to reach the data. */
typedef void** PF_Handle;
typedef PF_Handle PF_ArbitraryH;

/* The host's reference to the running effect instance (in_data->effect_ref). */
typedef struct PF_ProgressInfo* PF_ProgPtr;
typedef struct _PF_LayerAudio* PF_LayerAudio;
typedef void* PF_SndSamplePtr;
struct PF_CustomUIInfo;

/* ---------------------------------------------------------------- pixels and geometry */

/* Channels lie in memory as alpha, red, green, blue in every depth. */
typedef struct PF_Pixel {
    A_u_char alpha;
    A_u_char red;
    A_u_char green;
    A_u_char blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;

/* 16-bit channels: full scale is 32768, not 65535. */
typedef struct PF_Pixel16 {
    A_u_short alpha;
    A_u_short red;
    A_u_short green;
    A_u_short blue;
} PF_Pixel16;

typedef struct PF_PixelFloat {
    PF_FpShort alpha;
    PF_FpShort red;
    PF_FpShort green;
    PF_FpShort blue;
} PF_PixelFloat;
typedef PF_PixelFloat PF_Pixel32;

/* Alpha in bits 24-31, red 16-23, green 8-15, blue 0-7. */
typedef A_u_long PF_PixLong;

#ifdef PF_DEEP_COLOR_AWARE
typedef struct PF_PixelOpaque* PF_PixelPtr;
#else
typedef PF_Pixel* PF_PixelPtr;
#endif

typedef struct PF_LRect {
    A_long left;
    A_long top;
    A_long right;
    A_long bottom;
} PF_LRect;
typedef PF_LRect PF_Rect;
typedef PF_LRect PF_UnionableRect;

typedef struct PF_Point {
    A_long h;
    A_long v;
} PF_Point;

typedef struct PF_RationalScale {
    A_long num;
    A_u_long den;
} PF_RationalScale;

typedef struct PF_SpecVersion {
    A_short major;
    A_short minor;
} PF_SpecVersion;

typedef struct PF_FixedPoint {
    PF_Fixed x;
    PF_Fixed y;
} PF_FixedPoint;

typedef struct PF_FixedRect {
    PF_Fixed left;
    PF_Fixed top;
    PF_Fixed right;
    PF_Fixed bottom;
} PF_FixedRect;

typedef struct PF_Matrix {
    PF_Fixed mat[3][3];
} PF_Matrix;

typedef struct PF_FloatMatrix {
    PF_FpLong mat[3][3];
} PF_FloatMatrix;

typedef PF_Fixed PF_RGB_Pixel[3];
typedef PF_Fixed PF_YIQ_Pixel[3];
typedef PF_Fixed PF_HLS_Pixel[3];

typedef struct PF_LegacyRect {
    A_short top;
    A_short left;
    A_short bottom;
    A_short right;
} PF_LegacyRect;

typedef struct PF_LegacyPoint {
    A_short v;
    A_short h;
} PF_LegacyPoint;

enum {
    PF_MAX_CHAN8 = 255,
    PF_HALF_CHAN8 = 128,
    PF_MAX_CHAN16 = 32768,
    PF_HALF_CHAN16 = 16384
};

/* ---------------------------------------------------------------- versions */

enum {
    PF_Stage_DEVELOP = 0,
    PF_Stage_ALPHA = 1,
    PF_Stage_BETA = 2,
    PF_Stage_RELEASE = 3
};

/* Packs an effect version: build in bits 0-8, stage 9-10, bug fix 11-14, subversion 15-18,
   the low 3 bits of the version in 19-21 and its high 4 bits in 26-29. */
#define PF_VERSION(vers, subvers, bugvers, stage, build)                  \
    ((A_u_long)(((((A_u_long)(vers) >> 3) & 0xFu) << 26) |               \
                (((A_u_long)(vers) & 0x7u) << 19) |                      \
                (((A_u_long)(subvers) & 0xFu) << 15) |                   \
                (((A_u_long)(bugvers) & 0xFu) << 11) |                   \
                (((A_u_long)(stage) & 0x3u) << 9) |                      \
                ((A_u_long)(build) & 0x1FFu)))

/* ---------------------------------------------------------------- commands */

enum {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_UNUSED_0 = 2,
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_SEQUENCE_RESETUP = 6,
    PF_Cmd_SEQUENCE_FLATTEN = 7,
    PF_Cmd_SEQUENCE_SETDOWN = 8,
    PF_Cmd_DO_DIALOG = 9,
    PF_Cmd_FRAME_SETUP = 10,
    PF_Cmd_RENDER = 11,
    PF_Cmd_FRAME_SETDOWN = 12,
    PF_Cmd_USER_CHANGED_PARAM = 13,
    PF_Cmd_UPDATE_PARAMS_UI = 14,
    PF_Cmd_EVENT = 15,
    PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16,
    PF_Cmd_COMPLETELY_GENERAL = 17,
    PF_Cmd_QUERY_DYNAMIC_FLAGS = 18,
    PF_Cmd_AUDIO_RENDER = 19,
    PF_Cmd_AUDIO_SETUP = 20,
    PF_Cmd_AUDIO_SETDOWN = 21,
    PF_Cmd_ARBITRARY_CALLBACK = 22,
    PF_Cmd_SMART_PRE_RENDER = 23,
    PF_Cmd_SMART_RENDER = 24,
    PF_Cmd_RESERVED1 = 25,
    PF_Cmd_RESERVED2 = 26,
    PF_Cmd_RESERVED3 = 27,
    PF_Cmd_GET_FLATTENED_SEQUENCE_DATA = 28,
    PF_Cmd_TRANSLATE_PARAMS_TO_PREFS = 29,
    PF_Cmd_RESERVED4 = 30,
    PF_Cmd_SMART_RENDER_GPU = 31,
    PF_Cmd_GPU_DEVICE_SETUP = 32,
    PF_Cmd_GPU_DEVICE_SETDOWN = 33,
    PF_Cmd_NUM_CMDS = 34
};

/* ---------------------------------------------------------------- errors */

enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_FIRST_ERR = 512,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515,
    PF_Err_BAD_CALLBACK_PARAM = 516,
    PF_Interrupt_CANCEL = 517,
    PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518
};

/* ---------------------------------------------------------------- limits */

enum {
    PF_MAX_EFFECT_NAME_LEN = 31,
    PF_MAX_EFFECT_CATEGORY_NAME_LEN = 31,
    PF_MAX_EFFECT_PARAM_NAME_LEN = 31,
    PF_MAX_PARAM_DESCRIPTION_LEN = 31,
    PF_MAX_PARAM_VALUE_LEN = 31,
    PF_MAX_EFFECT_MSG_LEN = 255,
    PF_MAX_WORLD_WIDTH = 30000,
    PF_MAX_WORLD_HEIGHT = 30000,
    PF_AE65_AND_EARLIER_MAX_NUM_EFFECT_PARAMS = 127
};

/* ---------------------------------------------------------------- parameter types and flags */

enum {
    PF_Param_RESERVED = -1,
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_CUSTOM = 8,
    PF_Param_NO_DATA = 9,
    PF_Param_FLOAT_SLIDER = 10,
    PF_Param_ARBITRARY_DATA = 11,
    PF_Param_PATH = 12,
    PF_Param_GROUP_START = 13,
    PF_Param_GROUP_END = 14,
    PF_Param_BUTTON = 15,
    PF_Param_RESERVED2 = 16,
    PF_Param_RESERVED3 = 17,
    PF_Param_POINT_3D = 18
};

enum {
    PF_ParamFlag_RESERVED1 = 1 << 0,
    PF_ParamFlag_CANNOT_TIME_VARY = 1 << 1,
    PF_ParamFlag_CANNOT_INTERP = 1 << 2,
    PF_ParamFlag_RESERVED2 = 1 << 3,
    PF_ParamFlag_RESERVED3 = 1 << 4,
    PF_ParamFlag_COLLAPSE_TWIRLY = 1 << 5,
    PF_ParamFlag_START_COLLAPSED = PF_ParamFlag_COLLAPSE_TWIRLY,
    PF_ParamFlag_SUPERVISE = 1 << 6,
    PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS = 1 << 7,
    PF_ParamFlag_LAYER_PARAM_IS_TRACKMATTE = 1 << 7,
    PF_ParamFlag_EXCLUDE_FROM_HAVE_INPUTS_CHANGED = 1 << 8,
    PF_ParamFlag_SKIP_REVEAL_WHEN_UNHIDDEN = 1 << 9
};

enum {
    PF_PUI_NONE = 0,
    PF_PUI_TOPIC = 1 << 0,
    PF_PUI_CONTROL = 1 << 1,
    PF_PUI_STD_CONTROL_ONLY = 1 << 2,
    PF_PUI_NO_ECW_UI = 1 << 3,
    PF_PUI_ECW_SEPARATOR = 1 << 4,
    PF_PUI_DISABLED = 1 << 5,
    PF_PUI_DONT_ERASE_TOPIC = 1 << 6,
    PF_PUI_DONT_ERASE_CONTROL = 1 << 7,
    PF_PUI_RADIO_BUTTON = 1 << 8,
    PF_PUI_INVISIBLE = 1 << 9
};

enum {
    PF_ChangeFlag_CHANGED_VALUE = 1,
    PF_ChangeFlag_RESERVED = 2,
    PF_ChangeFlag_SET_TO_VARY = 4,
    PF_ChangeFlag_SET_TO_CONSTANT = 8
};

enum {
    PF_ValueDisplayFlag_NONE = 0,
    PF_ValueDisplayFlag_PERCENT = 1 << 0,
    PF_ValueDisplayFlag_PIXEL = 1 << 1,
    PF_ValueDisplayFlag_RESERVED1 = 1 << 2,
    PF_ValueDisplayFlag_REVERSE = 1 << 3
};

enum {
    PF_FSliderFlag_NONE = 0,
    PF_FSliderFlag_WANT_PHASE = 1
};

enum {
    PF_LayerDefault_MYSELF = -1,
    PF_LayerDefault_NONE = 0
};

/* ---------------------------------------------------------------- world, render and misc flags */

enum {
    PF_WorldFlag_DEEP = 1 << 0,
    PF_WorldFlag_WRITEABLE = 1 << 1,
    PF_WorldFlag_RESERVED0 = 1 << 24,
    PF_WorldFlag_RESERVED1 = 1 << 25,
    PF_WorldFlag_RESERVED2 = 1 << 26,
    PF_WorldFlag_RESERVED3 = 1 << 27,
    PF_WorldFlag_RESERVED4 = 1 << 28,
    PF_WorldFlag_RESERVED5 = 1 << 29,
    PF_WorldFlag_RESERVED6 = 1 << 30,
    PF_WorldFlag_RESERVED = (int32_t)0x80000000u
};

#define PF_WORLD_IS_DEEP(world) (((world)->world_flags & PF_WorldFlag_DEEP) != 0)

enum {
    PF_NewWorldFlag_NONE = 0,
    PF_NewWorldFlag_CLEAR_PIXELS = 1 << 0,
    PF_NewWorldFlag_DEEP_PIXELS = 1 << 1,
    PF_NewWorldFlag_RESERVED0 = 1 << 2,
    PF_NewWorldFlag_RESERVED1 = 1 << 3
};

enum {
    PF_Quality_DRAWING_AUDIO = -1,
    PF_Quality_LO = 0,
    PF_Quality_HI = 1
};

enum {
    PF_Field_FRAME = 0,
    PF_Field_UPPER = 1,
    PF_Field_LOWER = 2
};

enum {
    PF_MF_Alpha_PREMUL = 0,
    PF_MF_Alpha_STRAIGHT = 1
};

enum {
    PF_InFlag_NONE = 0,
    PF_InFlag_PROJECT_IS_RENDER_ONLY = 1
};

enum {
    PF_Iterations_ONCE_PER_PROCESSOR = -1
};

enum {
    PF_ChannelMask_ALPHA = 1,
    PF_ChannelMask_RED = 2,
    PF_ChannelMask_GREEN = 4,
    PF_ChannelMask_BLUE = 8,
    PF_ChannelMask_ARGB = 15
};

enum {
    PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS = 1,
    PF_RenderOutputFlag_GPU_RENDER_POSSIBLE = 2
};

/* ---------------------------------------------------------------- out flags */

enum {
    PF_OutFlag_KEEP_RESOURCE_OPEN = 1 << 0,
    PF_OutFlag_WIDE_TIME_INPUT = 1 << 1,
    PF_OutFlag_NON_PARAM_VARY = 1 << 2,
    PF_OutFlag_RESERVED6 = 1 << 3,
    PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING = 1 << 4,
    PF_OutFlag_I_DO_DIALOG = 1 << 5,
    PF_OutFlag_USE_OUTPUT_EXTENT = 1 << 6,
    PF_OutFlag_SEND_DO_DIALOG = 1 << 7,
    PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1 << 8,
    PF_OutFlag_I_EXPAND_BUFFER = 1 << 9,
    PF_OutFlag_PIX_INDEPENDENT = 1 << 10,
    PF_OutFlag_I_WRITE_INPUT_BUFFER = 1 << 11,
    PF_OutFlag_I_SHRINK_BUFFER = 1 << 12,
    PF_OutFlag_WORKS_IN_PLACE = 1 << 13,
    PF_OutFlag_RESERVED8 = 1 << 14,
    PF_OutFlag_CUSTOM_UI = 1 << 15,
    PF_OutFlag_RESERVED7 = 1 << 16,
    PF_OutFlag_REFRESH_UI = 1 << 17,
    PF_OutFlag_NOP_RENDER = 1 << 18,
    PF_OutFlag_I_USE_SHUTTER_ANGLE = 1 << 19,
    PF_OutFlag_I_USE_AUDIO = 1 << 20,
    PF_OutFlag_I_AM_OBSOLETE = 1 << 21,
    PF_OutFlag_FORCE_RERENDER = 1 << 22,
    PF_OutFlag_PiPL_OVERRIDES_OUTDATA_OUTFLAGS = 1 << 23,
    PF_OutFlag_I_HAVE_EXTERNAL_DEPENDENCIES = 1 << 24,
    PF_OutFlag_DEEP_COLOR_AWARE = 1 << 25,
    PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1 << 26,
    PF_OutFlag_AUDIO_FLOAT_ONLY = 1 << 27,
    PF_OutFlag_AUDIO_IIR = 1 << 28,
    PF_OutFlag_I_SYNTHESIZE_AUDIO = 1 << 29,
    PF_OutFlag_AUDIO_EFFECT_TOO = 1 << 30,
    PF_OutFlag_AUDIO_EFFECT_ONLY = (int32_t)0x80000000u
};

enum {
    PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS = 1 << 0,
    PF_OutFlag2_I_USE_3D_CAMERA = 1 << 1,
    PF_OutFlag2_I_USE_3D_LIGHTS = 1 << 2,
    PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 1 << 3,
    PF_OutFlag2_I_AM_THREADSAFE = 1 << 4,
    PF_OutFlag2_CAN_COMBINE_WITH_DESTINATION = 1 << 5,
    PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS = 1 << 6,
    PF_OutFlag2_REVEALS_ZERO_ALPHA = 1 << 7,
    PF_OutFlag2_PRESERVES_FULLY_OPAQUE_PIXELS = 1 << 8,
    PF_OutFlag2_SUPPORTS_SMART_RENDER = 1 << 10,
    PF_OutFlag2_RESERVED9 = 1 << 11,
    PF_OutFlag2_FLOAT_COLOR_AWARE = 1 << 12,
    PF_OutFlag2_I_USE_COLORSPACE_ENUMERATION = 1 << 13,
    PF_OutFlag2_I_AM_DEPRECATED = 1 << 14,
    PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER = 1 << 15,
    PF_OutFlag2_RESERVED10 = 1 << 16,
    PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT = 1 << 17,
    PF_OutFlag2_I_USE_TIMECODE = 1 << 18,
    PF_OutFlag2_DEPENDS_ON_UNREFERENCED_MASKS = 1 << 19,
    PF_OutFlag2_OUTPUT_IS_WATERMARKED = 1 << 20,
    PF_OutFlag2_I_MIX_GUID_DEPENDENCIES = 1 << 21,
    PF_OutFlag2_AE13_5_THREADSAFE = 1 << 22,
    PF_OutFlag2_SUPPORTS_GET_FLATTENED_SEQUENCE_DATA = 1 << 23,
    PF_OutFlag2_CUSTOM_UI_ASYNC_MANAGER = 1 << 24,
    PF_OutFlag2_SUPPORTS_GPU_RENDER_F32 = 1 << 25,
    PF_OutFlag2_RESERVED12 = 1 << 26,
    PF_OutFlag2_SUPPORTS_THREADED_RENDERING = 1 << 27,
    PF_OutFlag2_MUTABLE_RENDER_SEQUENCE_DATA_SLOWER = 1 << 28
};

/* ---------------------------------------------------------------- worlds */

/* An image buffer. Row y starts rowbytes * y bytes after data (the top-left pixel). */
typedef struct PF_LayerDef {
    void* reserved0;
    void* reserved1;
    PF_WorldFlags world_flags;
    PF_PixelPtr data;
    A_long rowbytes;
    A_long width;
    A_long height;
    PF_UnionableRect extent_hint;
    void* platform_ref;
    A_long reserved_long1;
    void* reserved_long4;
    PF_RationalScale pix_aspect_ratio;
    void* reserved_long2;
    A_long origin_x;
    A_long origin_y;
    A_long reserved_long3;
    A_long dephault; /* a PF_LayerDefault_* value in a layer parameter's definition */
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

/* ---------------------------------------------------------------- parameter definitions */

typedef struct PF_SliderDef {
    PF_ParamValue value;
    A_char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_ParamValue valid_min;
    PF_ParamValue valid_max;
    PF_ParamValue slider_min;
    PF_ParamValue slider_max;
    PF_ParamValue dephault;
} PF_SliderDef;

typedef struct PF_FixedSliderDef {
    PF_Fixed value;
    A_char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_Fixed valid_min;
    PF_Fixed valid_max;
    PF_Fixed slider_min;
    PF_Fixed slider_max;
    PF_Fixed dephault;
    A_short precision;
    PF_ValueDisplayFlags display_flags;
} PF_FixedSliderDef;

typedef struct PF_FloatSliderDef {
    PF_FpLong value;
    PF_FpLong phase;
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_FpShort valid_min;
    PF_FpShort valid_max;
    PF_FpShort slider_min;
    PF_FpShort slider_max;
    PF_FpShort dephault;
    A_short precision;
    PF_ValueDisplayFlags display_flags;
    PF_FSliderFlags fs_flags;
    PF_FpShort curve_tolerance;
    PF_Boolean useExponent;
    PF_FpShort exponent;
} PF_FloatSliderDef;

/* Degrees in 16.16 fixed point, not wrapped to a turn. */
typedef struct PF_AngleDef {
    PF_Fixed value;
    PF_Fixed dephault;
    PF_Fixed valid_min;
    PF_Fixed valid_max;
} PF_AngleDef;

typedef struct PF_CheckBoxDef {
    PF_ParamValue value;
    PF_Boolean dephault;
    A_char reserved;
    A_short reserved1;
    union {
        const A_char* nameptr; /* text shown beside the box */
    } u;
} PF_CheckBoxDef;

typedef struct PF_ColorDef {
    PF_Pixel value;
    PF_Pixel dephault;
} PF_ColorDef;

typedef struct PF_PointDef {
    PF_Fixed x_value;
    PF_Fixed y_value;
    A_char reserved[3];
    PF_Boolean restrict_bounds;
    PF_Fixed x_dephault; /* percent of the layer size */
    PF_Fixed y_dephault;
} PF_PointDef;

/* value and dephault count choices from 1. */
typedef struct PF_PopupDef {
    PF_ParamValue value;
    A_short num_choices;
    A_short dephault;
    union {
        const A_char* namesptr; /* choice names separated by '|' */
    } u;
} PF_PopupDef;

typedef struct PF_ArbitraryDef {
    A_short id;
    A_short pad;
    PF_ArbitraryH dephault;
    PF_ArbitraryH value;
    void* refconPV;
} PF_ArbitraryDef;

typedef struct PF_PathDef {
    PF_PathID path_id;
    A_long reserved0;
    A_long dephault;
} PF_PathDef;

typedef struct PF_ButtonDef {
    PF_ParamValue value;
    union {
        const A_char* namesptr; /* the button label */
    } u;
} PF_ButtonDef;

typedef struct PF_Point3DDef {
    PF_FpLong x_value;
    PF_FpLong y_value;
    PF_FpLong z_value;
    PF_FpLong x_dephault; /* percent */
    PF_FpLong y_dephault;
    PF_FpLong z_dephault;
    A_char reserved[16];
} PF_Point3DDef;

typedef union PF_ParamDefUnion {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_FixedSliderDef fd;
    PF_AngleDef ad;
    PF_CheckBoxDef bd;
    PF_ColorDef cd;
    PF_PointDef td;
    PF_PopupDef pd;
    PF_FloatSliderDef fs_d;
    PF_ArbitraryDef arb_d;
    PF_PathDef path_d;
    PF_ButtonDef button_d;
    PF_Point3DDef point3d_d;
} PF_ParamDefUnion;

typedef struct PF_ParamDef {
    union {
        A_long id;
        PF_ChangeFlags change_flags;
    } uu;
    PF_ParamUIFlags ui_flags;
    A_short ui_width;
    A_short ui_height;
    PF_ParamType param_type;
    A_char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
    PF_ParamFlags flags;
    A_long unused;
    PF_ParamDefUnion u;
} PF_ParamDef;

/* params[0] is the input layer. */
typedef PF_ParamDef** PF_ParamList;

/* ---------------------------------------------------------------- sound */

typedef struct PF_SoundFormatInfo {
    PF_FpLong rateF;
    A_short num_channels;
    A_short format;
    A_short sample_size;
} PF_SoundFormatInfo;

typedef struct PF_SoundWorld {
    PF_SoundFormatInfo fi;
    A_long num_samples;
    void* dataP;
} PF_SoundWorld;

/* ---------------------------------------------------------------- interaction callbacks */

/* in_data->inter. Pass index -1 to add_param to append a parameter. */
typedef struct PF_InteractCallbacks {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                             A_long time_step, A_u_long time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDef* def);
    PF_Err (*abort)(PF_ProgPtr effect_ref);
    PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
    PF_Err (*register_ui)(PF_ProgPtr effect_ref, struct PF_CustomUIInfo* cust_info);
    PF_Err (*checkout_layer_audio)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long start_time,
                                   A_long duration, A_u_long time_scale, PF_UFixed rate,
                                   A_long bytes_per_sample, A_long num_channels,
                                   A_long fmt_signed, PF_LayerAudio* audio);
    PF_Err (*checkin_layer_audio)(PF_ProgPtr effect_ref, PF_LayerAudio audio);
    PF_Err (*get_audio_data)(PF_ProgPtr effect_ref, PF_LayerAudio audio, PF_SndSamplePtr* data0,
                             A_long* num_samples0, PF_UFixed* rate0, A_long* bytes_per_sample0,
                             A_long* num_channels0, A_long* fmt_signed0);
    void* reserved_str[3];
    void* reserved[10];
} PF_InteractCallbacks;

/* ---------------------------------------------------------------- in and out data */

struct _PF_UtilCallbacks;
struct SPBasicSuite;

typedef struct PF_InData {
    PF_InteractCallbacks inter;
    struct _PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    PF_Quality quality;
    PF_SpecVersion version;
    A_long serial_num;
    A_long appl_id;
    A_long num_params;
    A_long reserved;
    A_long what_cpu;
    A_long what_fpu;
    A_long current_time;
    A_long time_step;
    A_long total_time;
    A_long local_time_step;
    A_u_long time_scale;
    PF_Field field;
    PF_Fixed shutter_angle;
    A_long width;
    A_long height;
    PF_Rect extent_hint;
    A_long output_origin_x;
    A_long output_origin_y;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    PF_InFlags in_flags;
    PF_Handle global_data;
    PF_Handle sequence_data;
    PF_Handle frame_data;
    A_long start_sampL;
    A_long dur_sampL;
    A_long total_sampL;
    PF_SoundWorld src_snd;
    struct SPBasicSuite* pica_basicP;
    A_long pre_effect_source_origin_x;
    A_long pre_effect_source_origin_y;
    PF_Fixed shutter_phase;
} PF_InData;

typedef struct PF_OutData {
    A_u_long my_version;
    A_char name[PF_MAX_EFFECT_NAME_LEN + 1];
    PF_Handle global_data;
    A_long num_params; /* counts the input layer */
    PF_Handle sequence_data;
    A_long flat_sdata_size;
    PF_Handle frame_data;
    A_long width;
    A_long height;
    PF_Point origin;
    PF_OutFlags out_flags;
    A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
    A_long start_sampL;
    A_long dur_sampL;
    PF_SoundWorld dest_snd;
    PF_OutFlags2 out_flags2;
} PF_OutData;

/* ---------------------------------------------------------------- smart render (passed in extra) */

typedef struct PF_RenderRequest {
    PF_LRect rect;
    PF_Field field;
    PF_ChannelMask channel_mask;
    PF_Boolean preserve_rgb_of_zero_alpha;
    char unused[3];
    A_long reserved[4];
} PF_RenderRequest;

typedef struct PF_PreRenderInput {
    PF_RenderRequest output_request;
    short bitdepth;
    const void* gpu_data;
    A_long what_gpu; /* GPU framework: none 0, OpenCL 1, Metal 2, CUDA 3 */
    A_u_long device_index;
} PF_PreRenderInput;

typedef struct PF_PreRenderOutput {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_Boolean solid;
    PF_Boolean reserved;
    A_short flags;
    void* pre_render_data;
    void (*delete_pre_render_data_func)(void* pre_render_data);
} PF_PreRenderOutput;

typedef struct PF_CheckoutResult {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_RationalScale par;
    PF_Boolean solid;
    PF_Boolean reservedB[3];
    A_long ref_width;
    A_long ref_height;
    A_long reserved[6];
} PF_CheckoutResult;

typedef struct PF_PreRenderCallbacks {
    PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                             const PF_RenderRequest* req, A_long what_time, A_long time_step,
                             A_u_long time_scale, PF_CheckoutResult* checkout_result);
    PF_Err (*GuidMixInPtr)(PF_ProgPtr effect_ref, A_u_long buf_sizeLu, const void* buf);
} PF_PreRenderCallbacks;

typedef struct PF_PreRenderExtra {
    PF_PreRenderInput* input;
    PF_PreRenderOutput* output;
    PF_PreRenderCallbacks* cb;
} PF_PreRenderExtra;

typedef struct PF_SmartRenderInput {
    PF_RenderRequest output_request;
    short bitdepth;
    void* pre_render_data;
    const void* gpu_data;
    A_long what_gpu;
    A_u_long device_index;
} PF_SmartRenderInput;

typedef struct PF_SmartRenderCallbacks {
    PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_id,
                                    PF_EffectWorld** pixels);
    PF_Err (*checkin_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_id);
    PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_EffectWorld** output);
} PF_SmartRenderCallbacks;

typedef struct PF_SmartRenderExtra {
    PF_SmartRenderInput* input;
    PF_SmartRenderCallbacks* cb;
} PF_SmartRenderExtra;

typedef struct PF_UserChangedParamExtra {
    PF_ParamIndex param_index;
} PF_UserChangedParamExtra;

#ifdef __cplusplus
}
#endif

/* ---------------------------------------------------------------- layout checks (Win64) */

LAMINO_SDK_ASSERT(sizeof(PF_Boolean) == 1, "PF_Boolean is one byte");
LAMINO_SDK_ASSERT(sizeof(PF_Pixel) == 4 && sizeof(PF_Pixel16) == 8 && sizeof(PF_PixelFloat) == 16,
                  "pixel sizes");
LAMINO_SDK_ASSERT(offsetof(PF_Pixel, alpha) == 0 && offsetof(PF_Pixel, blue) == 3, "ARGB order");
LAMINO_SDK_ASSERT(sizeof(PF_Rect) == 16 && sizeof(PF_Point) == 8, "rect and point");
LAMINO_SDK_ASSERT(sizeof(PF_RationalScale) == 8 && sizeof(PF_SpecVersion) == 4, "small structs");
LAMINO_SDK_ASSERT(sizeof(PF_Matrix) == 36 && sizeof(PF_FloatMatrix) == 72, "matrices");
LAMINO_SDK_ASSERT(sizeof(PF_RGB_Pixel) == 12 && sizeof(PF_LegacyRect) == 8, "legacy types");
LAMINO_SDK_ASSERT(PF_VERSION(1, 0, 0, PF_Stage_DEVELOP, 1) == 0x00080001u, "version packing");
LAMINO_SDK_ASSERT(PF_VERSION(2, 3, 4, PF_Stage_RELEASE, 5) == 0x0011A605u, "version packing");
LAMINO_SDK_ASSERT(PF_VERSION(13, 0, 0, PF_Stage_DEVELOP, 0) == (0x04000000u | (5u << 19)),
                  "version packing, high bits");

LAMINO_SDK_ASSERT(sizeof(PF_LayerDef) == 120, "PF_LayerDef is 120 bytes");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, world_flags) == 16, "world_flags");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, data) == 24, "data");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, rowbytes) == 32, "rowbytes");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, width) == 36, "width");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, height) == 40, "height");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, extent_hint) == 44, "extent_hint");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, platform_ref) == 64, "platform_ref");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, reserved_long4) == 80, "reserved_long4");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, pix_aspect_ratio) == 88, "pix_aspect_ratio");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, origin_x) == 104, "origin_x");
LAMINO_SDK_ASSERT(offsetof(PF_LayerDef, dephault) == 116, "layer dephault");

LAMINO_SDK_ASSERT(sizeof(PF_SliderDef) == 88 && offsetof(PF_SliderDef, valid_min) == 68 &&
                      offsetof(PF_SliderDef, dephault) == 84,
                  "PF_SliderDef");
LAMINO_SDK_ASSERT(sizeof(PF_FixedSliderDef) == 92 && offsetof(PF_FixedSliderDef, dephault) == 84 &&
                      offsetof(PF_FixedSliderDef, precision) == 88 &&
                      offsetof(PF_FixedSliderDef, display_flags) == 90,
                  "PF_FixedSliderDef");
LAMINO_SDK_ASSERT(sizeof(PF_FloatSliderDef) == 88 && offsetof(PF_FloatSliderDef, phase) == 8 &&
                      offsetof(PF_FloatSliderDef, value_desc) == 16 &&
                      offsetof(PF_FloatSliderDef, valid_min) == 48 &&
                      offsetof(PF_FloatSliderDef, dephault) == 64 &&
                      offsetof(PF_FloatSliderDef, precision) == 68 &&
                      offsetof(PF_FloatSliderDef, display_flags) == 70 &&
                      offsetof(PF_FloatSliderDef, fs_flags) == 72 &&
                      offsetof(PF_FloatSliderDef, curve_tolerance) == 76 &&
                      offsetof(PF_FloatSliderDef, useExponent) == 80 &&
                      offsetof(PF_FloatSliderDef, exponent) == 84,
                  "PF_FloatSliderDef");
LAMINO_SDK_ASSERT(sizeof(PF_AngleDef) == 16 && offsetof(PF_AngleDef, valid_max) == 12, "PF_AngleDef");
LAMINO_SDK_ASSERT(sizeof(PF_CheckBoxDef) == 16 && offsetof(PF_CheckBoxDef, dephault) == 4 &&
                      offsetof(PF_CheckBoxDef, reserved1) == 6 && offsetof(PF_CheckBoxDef, u) == 8,
                  "PF_CheckBoxDef");
LAMINO_SDK_ASSERT(sizeof(PF_ColorDef) == 8 && offsetof(PF_ColorDef, dephault) == 4, "PF_ColorDef");
LAMINO_SDK_ASSERT(sizeof(PF_PointDef) == 20 && offsetof(PF_PointDef, restrict_bounds) == 11 &&
                      offsetof(PF_PointDef, x_dephault) == 12,
                  "PF_PointDef");
LAMINO_SDK_ASSERT(sizeof(PF_PopupDef) == 16 && offsetof(PF_PopupDef, num_choices) == 4 &&
                      offsetof(PF_PopupDef, dephault) == 6 && offsetof(PF_PopupDef, u) == 8,
                  "PF_PopupDef");
LAMINO_SDK_ASSERT(sizeof(PF_ArbitraryDef) == 32 && offsetof(PF_ArbitraryDef, dephault) == 8 &&
                      offsetof(PF_ArbitraryDef, refconPV) == 24,
                  "PF_ArbitraryDef");
LAMINO_SDK_ASSERT(sizeof(PF_PathDef) == 12, "PF_PathDef");
LAMINO_SDK_ASSERT(sizeof(PF_ButtonDef) == 16 && offsetof(PF_ButtonDef, u) == 8, "PF_ButtonDef");
LAMINO_SDK_ASSERT(sizeof(PF_Point3DDef) == 64 && offsetof(PF_Point3DDef, reserved) == 48,
                  "PF_Point3DDef");
LAMINO_SDK_ASSERT(sizeof(PF_ParamDefUnion) == 120, "PF_ParamDefUnion is 120 bytes");

LAMINO_SDK_ASSERT(sizeof(PF_ParamDef) == 176, "PF_ParamDef is 176 bytes");
LAMINO_SDK_ASSERT(offsetof(PF_ParamDef, ui_flags) == 4, "ui_flags");
LAMINO_SDK_ASSERT(offsetof(PF_ParamDef, ui_width) == 8, "ui_width");
LAMINO_SDK_ASSERT(offsetof(PF_ParamDef, param_type) == 12, "param_type");
LAMINO_SDK_ASSERT(offsetof(PF_ParamDef, name) == 16, "name");
LAMINO_SDK_ASSERT(offsetof(PF_ParamDef, flags) == 48, "flags");
LAMINO_SDK_ASSERT(offsetof(PF_ParamDef, u) == 56, "u");

LAMINO_SDK_ASSERT(sizeof(PF_SoundFormatInfo) == 16 && sizeof(PF_SoundWorld) == 32 &&
                      offsetof(PF_SoundWorld, dataP) == 24,
                  "sound structs");

LAMINO_SDK_ASSERT(sizeof(PF_InteractCallbacks) == 176, "PF_InteractCallbacks is 176 bytes");
LAMINO_SDK_ASSERT(offsetof(PF_InteractCallbacks, add_param) == 16, "add_param");
LAMINO_SDK_ASSERT(offsetof(PF_InteractCallbacks, get_audio_data) == 64, "get_audio_data");
LAMINO_SDK_ASSERT(offsetof(PF_InteractCallbacks, reserved_str) == 72, "reserved_str");
LAMINO_SDK_ASSERT(offsetof(PF_InteractCallbacks, reserved) == 96, "reserved");

LAMINO_SDK_ASSERT(sizeof(PF_InData) == 408, "PF_InData is 408 bytes");
LAMINO_SDK_ASSERT(offsetof(PF_InData, utils) == 176, "utils");
LAMINO_SDK_ASSERT(offsetof(PF_InData, effect_ref) == 184, "effect_ref");
LAMINO_SDK_ASSERT(offsetof(PF_InData, quality) == 192, "quality");
LAMINO_SDK_ASSERT(offsetof(PF_InData, version) == 196, "version");
LAMINO_SDK_ASSERT(offsetof(PF_InData, appl_id) == 204, "appl_id");
LAMINO_SDK_ASSERT(offsetof(PF_InData, num_params) == 208, "num_params");
LAMINO_SDK_ASSERT(offsetof(PF_InData, current_time) == 224, "current_time");
LAMINO_SDK_ASSERT(offsetof(PF_InData, time_step) == 228, "time_step");
LAMINO_SDK_ASSERT(offsetof(PF_InData, time_scale) == 240, "time_scale");
LAMINO_SDK_ASSERT(offsetof(PF_InData, width) == 252, "width");
LAMINO_SDK_ASSERT(offsetof(PF_InData, extent_hint) == 260, "extent_hint");
LAMINO_SDK_ASSERT(offsetof(PF_InData, downsample_x) == 284, "downsample_x");
LAMINO_SDK_ASSERT(offsetof(PF_InData, pixel_aspect_ratio) == 300, "pixel_aspect_ratio");
LAMINO_SDK_ASSERT(offsetof(PF_InData, in_flags) == 308, "in_flags");
LAMINO_SDK_ASSERT(offsetof(PF_InData, global_data) == 312, "global_data");
LAMINO_SDK_ASSERT(offsetof(PF_InData, total_sampL) == 344, "total_sampL");
LAMINO_SDK_ASSERT(offsetof(PF_InData, src_snd) == 352, "src_snd");
LAMINO_SDK_ASSERT(offsetof(PF_InData, pica_basicP) == 384, "pica_basicP");
LAMINO_SDK_ASSERT(offsetof(PF_InData, shutter_phase) == 400, "shutter_phase");

LAMINO_SDK_ASSERT(sizeof(PF_OutData) == 408, "PF_OutData is 408 bytes");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, name) == 4, "name");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, global_data) == 40, "global_data");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, num_params) == 48, "num_params");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, sequence_data) == 56, "sequence_data");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, frame_data) == 72, "frame_data");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, width) == 80, "width");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, origin) == 88, "origin");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, out_flags) == 96, "out_flags");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, return_msg) == 100, "return_msg");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, start_sampL) == 356, "start_sampL");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, dest_snd) == 368, "dest_snd");
LAMINO_SDK_ASSERT(offsetof(PF_OutData, out_flags2) == 400, "out_flags2");

LAMINO_SDK_ASSERT(sizeof(PF_RenderRequest) == 44 && offsetof(PF_RenderRequest, reserved) == 28,
                  "PF_RenderRequest");
LAMINO_SDK_ASSERT(sizeof(PF_PreRenderInput) == 64 && offsetof(PF_PreRenderInput, bitdepth) == 44 &&
                      offsetof(PF_PreRenderInput, gpu_data) == 48 &&
                      offsetof(PF_PreRenderInput, device_index) == 60,
                  "PF_PreRenderInput");
LAMINO_SDK_ASSERT(sizeof(PF_PreRenderOutput) == 56 &&
                      offsetof(PF_PreRenderOutput, pre_render_data) == 40,
                  "PF_PreRenderOutput");
LAMINO_SDK_ASSERT(sizeof(PF_CheckoutResult) == 76 && offsetof(PF_CheckoutResult, ref_width) == 44,
                  "PF_CheckoutResult");
LAMINO_SDK_ASSERT(sizeof(PF_PreRenderCallbacks) == 16 && sizeof(PF_PreRenderExtra) == 24,
                  "pre-render callbacks");
LAMINO_SDK_ASSERT(sizeof(PF_SmartRenderInput) == 72 &&
                      offsetof(PF_SmartRenderInput, pre_render_data) == 48 &&
                      offsetof(PF_SmartRenderInput, device_index) == 68,
                  "PF_SmartRenderInput");
LAMINO_SDK_ASSERT(sizeof(PF_SmartRenderCallbacks) == 24 && sizeof(PF_SmartRenderExtra) == 16,
                  "smart render callbacks");

#endif
