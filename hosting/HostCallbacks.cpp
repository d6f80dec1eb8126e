#include "hosting/HostCallbacks.h"

#include "hosting/World.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace Tessarine::Lamino {

namespace {

// The command running on this thread and its session (both null outside a command).
thread_local HostCommand* currentCommand = nullptr;
thread_local HostSession* currentSession = nullptr;

// Runs a callback's body; any exception becomes the callback's failure value, since nothing may
// unwind into the effect.
template <class Result, class Body>
Result guarded(Result failure, Body body) noexcept
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

void noteMisuse(HostSession* session, const std::string& text) noexcept
{
    try {
        if (session != nullptr) {
            session->ledger.misuse(text);
        }
    } catch (...) {
    }
}

// The session of a callback that carries an effect_ref: the thread's current one, provided the
// effect passed the reference it was given.
HostSession* sessionFor(PF_ProgPtr effectRef, const char* callback)
{
    HostSession* session = currentSession;
    if (session != nullptr && effectRef != session->effectRef()) {
        noteMisuse(session, std::string(callback) + " with an effect_ref the host did not hand out");
        return nullptr;
    }
    return session;
}

// ------------------------------------------------------------------ callbacks the host lacks

constexpr std::array<const char*, 69> kUtilSlotNames = {
    "begin_sampling", "subpixel_sample", "area_sample", "get_batch_func_is_deprecated",
    "end_sampling", "composite_rect", "blend", "convolve", "copy", "fill", "gaussian_kernel",
    "iterate", "premultiply", "premultiply_color", "new_world", "dispose_world", "iterate_origin",
    "iterate_lut", "transfer_rect", "transform_world", "host_new_handle", "host_lock_handle",
    "host_unlock_handle", "host_dispose_handle", "get_callback_addr", "app", "ansi.atan",
    "ansi.atan2", "ansi.ceil", "ansi.cos", "ansi.exp", "ansi.fabs", "ansi.floor", "ansi.fmod",
    "ansi.hypot", "ansi.log", "ansi.log10", "ansi.pow", "ansi.sin", "ansi.sqrt", "ansi.tan",
    "ansi.sprintf", "ansi.strcpy", "ansi.asin", "ansi.acos", "ansi.ansi_procs",
    "colorCB.RGBtoHLS", "colorCB.HLStoRGB", "colorCB.RGBtoYIQ", "colorCB.YIQtoRGB",
    "colorCB.Luminance", "colorCB.Hue", "colorCB.Lightness", "colorCB.Saturation",
    "get_platform_data", "host_get_handle_size", "iterate_origin_non_clip_src", "iterate_generic",
    "host_resize_handle", "subpixel_sample16", "area_sample16", "fill16", "premultiply_color16",
    "iterate16", "iterate_origin16", "iterate_origin_non_clip_src16", "get_pixel_data8",
    "get_pixel_data16", "reserved"};

constexpr std::array<const char*, 9> kInteractSlotNames = {
    "checkout_param", "checkin_param", "add_param", "abort", "progress", "register_ui",
    "checkout_layer_audio", "checkin_layer_audio", "get_audio_data"};

enum Table { kUtilTable, kInteractTable };

// A slot the headless host does not serve. It reads none of its arguments and returns a 32-bit
// code, so one stub serves every signature: Win64 has a single calling convention in which the
// caller owns the argument space.
template <size_t TableId, size_t Slot>
PF_Err unprovided()
{
    const char* name = TableId == kUtilTable ? kUtilSlotNames[Slot] : kInteractSlotNames[Slot];
    noteMisuse(currentSession, std::string("the effect called ") + name +
                                   ", which the headless host does not provide");
    return PF_Err_INVALID_CALLBACK;
}

using Stub = PF_Err (*)();

template <size_t TableId, size_t... Slots>
constexpr std::array<Stub, sizeof...(Slots)> makeStubs(std::index_sequence<Slots...>)
{
    return {&unprovided<TableId, Slots>...};
}

const auto kUtilStubs = makeStubs<kUtilTable>(std::make_index_sequence<kUtilSlotNames.size()>());
const auto kInteractStubs =
    makeStubs<kInteractTable>(std::make_index_sequence<kInteractSlotNames.size()>());

void placeStub(void* table, size_t slot, Stub stub)
{
    std::memcpy(static_cast<char*>(table) + slot * sizeof(void*), &stub, sizeof stub);
}

void placeUtilStubs(PF_UtilCallbacks& utils)
{
    for (size_t slot = 0; slot < kUtilStubs.size(); ++slot) {
        size_t offset = slot * sizeof(void*);
        bool notAFunction = offset == offsetof(PF_UtilCallbacks, get_batch_func_is_deprecated) ||
                            offset == offsetof(PF_UtilCallbacks, ansi.ansi_procs) ||
                            offset == offsetof(PF_UtilCallbacks, reserved);
        if (!notAFunction) {
            placeStub(&utils, slot, kUtilStubs[slot]);
        }
    }
}

// ------------------------------------------------------------------ interaction callbacks

bool checkoutAllowed(PF_Cmd command)
{
    return command != PF_Cmd_GLOBAL_SETUP && command != PF_Cmd_GLOBAL_SETDOWN &&
           command != PF_Cmd_PARAMS_SETUP && command != PF_Cmd_ABOUT;
}

// Parameter 0: the layer the effect is applied to, as the render hands it in.
PF_ParamDef inputLayerDef(const HostCommand& command)
{
    PF_ParamDef def{};
    def.param_type = PF_Param_LAYER;
    if (command.inputLayer != nullptr) {
        def.u.ld = *command.inputLayer;
    }
    return def;
}

PF_Err checkoutParam(PF_ProgPtr effectRef, PF_ParamIndex index, A_long whatTime, A_long,
                     A_u_long timeScale, PF_ParamDef* param)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = sessionFor(effectRef, "checkout_param");
        if (session == nullptr || param == nullptr || !checkoutAllowed(currentCommand->command)) {
            noteMisuse(session, "checkout_param refused: no definition to fill, or not allowed "
                                "during this command");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (currentCommand->faults.failingCheckouts.count(index) != 0) {
            session->ledger.count(&HostCounts::failedCheckouts);
            return currentCommand->faults.checkoutError;
        }
        PF_ParamDef value{};
        PF_Err err = index == 0 ? PF_Err_NONE
                                : session->parameters.valueAt(index, whatTime, timeScale, value);
        if (err != PF_Err_NONE) {
            session->ledger.count(&HostCounts::failedCheckouts);
            noteMisuse(session, "checkout_param of parameter " + std::to_string(index) +
                                    " failed with " + std::to_string(err));
            return err;
        }
        *param = index == 0 ? inputLayerDef(*currentCommand) : value;
        session->ledger.checkedOut(param, index);
        if (session->checkoutObserver) {
            session->checkoutObserver(index);
        }
        return PF_Err_NONE;
    });
}

PF_Err checkinParam(PF_ProgPtr effectRef, PF_ParamDef* param)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = sessionFor(effectRef, "checkin_param");
        if (session == nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (!session->ledger.checkedIn(param)) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        return currentCommand->faults.checkinError;
    });
}

PF_Err addParam(PF_ProgPtr effectRef, PF_ParamIndex index, PF_ParamDef* def)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = sessionFor(effectRef, "add_param");
        if (session == nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (currentCommand->command != PF_Cmd_PARAMS_SETUP) {
            noteMisuse(session, "add_param outside PF_Cmd_PARAMS_SETUP");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        session->ledger.count(&HostCounts::addParams);
        if (++currentCommand->addParamCalls == currentCommand->faults.failAddParamCall) {
            return currentCommand->faults.addParamError;
        }
        PF_Err err = currentCommand->declared.add(index, def);
        if (err != PF_Err_NONE) {
            noteMisuse(session, "add_param refused with " + std::to_string(err));
        }
        return err;
    });
}

PF_Err abortCallback(PF_ProgPtr)
{
    return PF_Err_NONE;  // a headless render is never cancelled
}

PF_Err progressCallback(PF_ProgPtr, A_long, A_long)
{
    return PF_Err_NONE;
}

// ------------------------------------------------------------------ pixel addresses

// The address of a world's pixels of the asked depth: world->data (or pixels0), or null with an
// error when the world holds pixels of another depth.
template <class Pixel>
PF_Err pixelData(PF_EffectWorld* world, PF_PixelPtr pixels0, Pixel** out, WorldFormat wanted,
                 bool refused)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = currentSession;
        if (session != nullptr) {
            session->ledger.count(&HostCounts::pixelDataRequests);
            if (session->pixelObserver) {
                session->pixelObserver();
            }
        }
        if (out == nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *out = nullptr;
        if (world == nullptr || refused || World::formatOf(*world) != wanted) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *out = reinterpret_cast<Pixel*>(pixels0 != nullptr ? pixels0 : world->data);
        return PF_Err_NONE;
    });
}

PF_Err getPixelData8(PF_EffectWorld* world, PF_PixelPtr pixels0, PF_Pixel8** out)
{
    HostSession* session = currentSession;
    bool refused = session != nullptr && currentCommand->faults.noPixelData8;
    return pixelData(world, pixels0, out, WorldFormat::Argb8, refused);
}

PF_Err getPixelData16(PF_EffectWorld* world, PF_PixelPtr pixels0, PF_Pixel16** out)
{
    HostSession* session = currentSession;
    bool refused = session != nullptr && currentCommand->faults.noPixelData16;
    return pixelData(world, pixels0, out, WorldFormat::Argb16, refused);
}

// ------------------------------------------------------------------ handles

PF_Handle newHandle(A_u_longlong size)
{
    return guarded<PF_Handle>(nullptr, [&]() -> PF_Handle {
        HostSession* session = currentSession;
        if (session == nullptr) {
            return nullptr;
        }
        bool failing = ++currentCommand->handleAllocations == currentCommand->faults.failHandleAllocation;
        PF_Handle handle = failing ? nullptr : session->handles.allocate(size);
        session->ledger.count(handle != nullptr ? &HostCounts::handlesAllocated
                                                : &HostCounts::failedHandleAllocations);
        return handle;
    });
}

void* lockHandle(PF_Handle handle)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        HostSession* session = currentSession;
        if (session != nullptr && currentCommand->faults.failHandleLock) {
            return nullptr;
        }
        void* data = session != nullptr ? session->handles.lock(handle) : nullptr;
        if (data == nullptr) {
            noteMisuse(session, "host_lock_handle of a handle the host did not give out");
        } else {
            session->ledger.count(&HostCounts::handleLocks);
        }
        return data;
    });
}

void unlockHandle(PF_Handle handle)
{
    guarded<int>(0, [&]() {
        HostSession* session = currentSession;
        if (session != nullptr && session->handles.unlock(handle)) {
            session->ledger.count(&HostCounts::handleUnlocks);
        } else {
            noteMisuse(session, "host_unlock_handle of a handle that is unknown or not locked");
        }
        return 0;
    });
}

void disposeHandle(PF_Handle handle)
{
    guarded<int>(0, [&]() {
        HostSession* session = currentSession;
        if (session == nullptr || handle == nullptr) {
            return 0;  // disposing of no handle does nothing
        }
        if (session->handles.dispose(handle)) {
            session->ledger.count(&HostCounts::handlesDisposed);
        } else {
            noteMisuse(session, "host_dispose_handle of a handle that is unknown or already disposed");
        }
        return 0;
    });
}

A_u_longlong handleSize(PF_Handle handle)
{
    return guarded<A_u_longlong>(0, [&]() -> A_u_longlong {
        HostSession* session = currentSession;
        auto size = session != nullptr ? session->handles.size(handle) : std::nullopt;
        if (!size) {
            noteMisuse(session, "host_get_handle_size of a handle the host did not give out");
        }
        return size.value_or(0);
    });
}

PF_Err resizeHandle(A_u_longlong newSize, PF_Handle* handle)
{
    return guarded<PF_Err>(PF_Err_OUT_OF_MEMORY, [&]() -> PF_Err {
        HostSession* session = currentSession;
        if (session == nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = session->handles.resize(newSize, handle);
        if (err == PF_Err_BAD_CALLBACK_PARAM) {
            noteMisuse(session, "host_resize_handle of a handle the host did not give out");
        }
        return err;
    });
}

// ------------------------------------------------------------------ ANSI

// The effect's sprintf knows nothing of its destination's size; it writes into
// out_data->return_msg, so the host never writes more than that buffer holds.
int hostSprintf(A_char* destination, const A_char* format, ...)
{
    constexpr size_t kCapacity = PF_MAX_EFFECT_MSG_LEN + 1;
    HostSession* session = currentSession;
    if (destination == nullptr || format == nullptr) {
        noteMisuse(session, "ansi sprintf with a null destination or format");
        return -1;
    }
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(destination, kCapacity, format, arguments);
    va_end(arguments);
    if (length < 0) {
        destination[0] = '\0';
        return length;
    }
    if (size_t(length) >= kCapacity) {
        noteMisuse(session, "ansi sprintf output of " + std::to_string(length) +
                                " characters cut to " + std::to_string(kCapacity - 1));
        return int(kCapacity - 1);
    }
    return length;
}

A_char* hostStrcpy(A_char* destination, const A_char* source)
{
    if (destination == nullptr || source == nullptr) {
        noteMisuse(currentSession, "ansi strcpy with a null destination or source");
        return destination;
    }
    return std::strcpy(destination, source);
}

template <class Table>
void fillAnsi(Table& ansi)
{
    ansi.atan = [](A_FpLong x) { return std::atan(x); };
    ansi.atan2 = [](A_FpLong y, A_FpLong x) { return std::atan2(y, x); };
    ansi.ceil = [](A_FpLong x) { return std::ceil(x); };
    ansi.cos = [](A_FpLong x) { return std::cos(x); };
    ansi.exp = [](A_FpLong x) { return std::exp(x); };
    ansi.fabs = [](A_FpLong x) { return std::fabs(x); };
    ansi.floor = [](A_FpLong x) { return std::floor(x); };
    ansi.fmod = [](A_FpLong x, A_FpLong y) { return std::fmod(x, y); };
    ansi.hypot = [](A_FpLong x, A_FpLong y) { return std::hypot(x, y); };
    ansi.log = [](A_FpLong x) { return std::log(x); };
    ansi.log10 = [](A_FpLong x) { return std::log10(x); };
    ansi.pow = [](A_FpLong x, A_FpLong y) { return std::pow(x, y); };
    ansi.sin = [](A_FpLong x) { return std::sin(x); };
    ansi.sqrt = [](A_FpLong x) { return std::sqrt(x); };
    ansi.tan = [](A_FpLong x) { return std::tan(x); };
    ansi.sprintf = &hostSprintf;
    ansi.strcpy = &hostStrcpy;
    ansi.asin = [](A_FpLong x) { return std::asin(x); };
    ansi.acos = [](A_FpLong x) { return std::acos(x); };
}

// ------------------------------------------------------------------ float iteration

PF_PixelFloat* floatPixel(PF_EffectWorld& world, A_long x, A_long y)
{
    auto row = reinterpret_cast<char*>(world.data) + ptrdiff_t(y) * ptrdiff_t(world.rowbytes);
    return reinterpret_cast<PF_PixelFloat*>(row) + x;
}

bool isFloatWorld(const PF_EffectWorld* world)
{
    return world != nullptr && World::formatOf(*world) == WorldFormat::ArgbFloat;
}

// Calls the pixel function for every pixel of `area` (the whole destination when null) clipped
// to the destination, row by row, with the source pixel at the same place (a transparent pixel
// where the source is smaller or absent). The first error stops the iteration and is returned.
PF_Err iterateFloat(PF_InData* inData, A_long, A_long, PF_EffectWorld* src, const PF_Rect* area,
                    void* refcon, PF_IteratePixelFloatFunc pixelFunction, PF_EffectWorld* dst)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = currentSession;
        if (session != nullptr) {
            session->ledger.count(&HostCounts::iterations);
            if (session->pixelObserver) {
                session->pixelObserver();
            }
            if (currentCommand->faults.iterateFloatError != PF_Err_NONE) {
                return currentCommand->faults.iterateFloatError;
            }
        }
        if (inData == nullptr || pixelFunction == nullptr || !isFloatWorld(dst) ||
            (src != nullptr && !isFloatWorld(src))) {
            noteMisuse(session, "float iterate without in_data or pixel function, or with a world "
                                "that does not hold float pixels");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Rect region = area != nullptr ? *area : PF_Rect{0, 0, dst->width, dst->height};
        for (A_long y = std::max<A_long>(region.top, 0); y < std::min(region.bottom, dst->height); ++y) {
            for (A_long x = std::max<A_long>(region.left, 0); x < std::min(region.right, dst->width); ++x) {
                PF_PixelFloat blank{};
                bool inSource = src != nullptr && x < src->width && y < src->height;
                PF_PixelFloat* in = inSource ? floatPixel(*src, x, y) : &blank;
                PF_Err err = pixelFunction(refcon, x, y, in, floatPixel(*dst, x, y));
                if (err != PF_Err_NONE) {
                    return err;
                }
            }
        }
        return PF_Err_NONE;
    });
}

// ------------------------------------------------------------------ parameter utilities

bool changesLooks(PF_Cmd command)
{
    return command == PF_Cmd_UPDATE_PARAMS_UI || command == PF_Cmd_USER_CHANGED_PARAM ||
           command == PF_Cmd_EVENT;
}

// PF_UpdateParamUI: the control's look (its ui_flags) from a copy of its definition. The host's
// own parameter passed instead of a copy is booked as misuse and refused.
PF_Err updateParamUi(PF_ProgPtr effectRef, PF_ParamIndex index, const PF_ParamDef* def)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = sessionFor(effectRef, "PF_UpdateParamUI");
        if (session == nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        const std::string which = "PF_UpdateParamUI of parameter " + std::to_string(index);
        if (!changesLooks(currentCommand->command)) {
            noteMisuse(session, which + " outside PF_Cmd_UPDATE_PARAMS_UI, "
                                        "PF_Cmd_USER_CHANGED_PARAM and PF_Cmd_EVENT");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (def == nullptr || index < 1 || index > session->parameters.count()) {
            noteMisuse(session, which + " without a definition or of no declared parameter");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        const std::vector<PF_ParamDef>* handed = currentCommand->handedParams;
        if (handed != nullptr && size_t(index) < handed->size() &&
            def == &(*handed)[size_t(index)]) {
            noteMisuse(session, which + " with the host's own parameter instead of a copy");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (def->param_type != session->parameters.definition(index).def.param_type) {
            noteMisuse(session, which + " with a definition of another type");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        session->parameters.setUiFlags(index, def->ui_flags);
        return PF_Err_NONE;
    });
}

// The suite's state and keyframe queries, which the headless host does not serve.
PF_Err unprovidedParamUtility()
{
    noteMisuse(currentSession, "the effect called a PF Param Utils Suite function other than "
                               "PF_UpdateParamUI, which the headless host does not provide");
    return PF_Err_INVALID_CALLBACK;
}

// ------------------------------------------------------------------ suite broker

const void* suiteNamed(HostCommand& command, const std::string& name, int32_t version)
{
    if (name == kPFANSISuite && version == kPFANSISuiteVersion1) {
        return &command.ansiSuite;
    }
    if (name == kPFHandleSuite && version == kPFHandleSuiteVersion1) {
        return &command.handleSuite;
    }
    if (name == kPFIterateFloatSuite && version == kPFIterateFloatSuiteVersion1) {
        return &command.iterateFloatSuite;
    }
    if (name == kPFParamUtilsSuite && version == kPFParamUtilsSuiteVersion3) {
        return &command.paramUtilsSuite;
    }
    return nullptr;
}

SPErr acquireSuite(const char* name, int32_t version, const void** suite)
{
    return guarded<SPErr>(HostCallbacks::kBadParameter, [&]() -> SPErr {
        HostSession* session = currentSession;
        if (suite == nullptr || name == nullptr) {
            noteMisuse(session, "AcquireSuite with a null name or result pointer");
            return HostCallbacks::kBadParameter;
        }
        *suite = nullptr;
        if (session == nullptr) {
            return HostCallbacks::kSuiteNotFound;
        }
        const void* found = currentCommand->faults.missingSuites.count(name) != 0
                                ? nullptr
                                : suiteNamed(*currentCommand, name, version);
        if (found == nullptr) {
            session->ledger.count(&HostCounts::failedAcquisitions);
            return HostCallbacks::kSuiteNotFound;
        }
        session->ledger.suiteAcquired(name, version);
        *suite = found;
        return kSPNoError;
    });
}

SPErr releaseSuite(const char* name, int32_t version)
{
    return guarded<SPErr>(HostCallbacks::kBadParameter, [&]() -> SPErr {
        HostSession* session = currentSession;
        if (session == nullptr || name == nullptr) {
            return HostCallbacks::kBadParameter;
        }
        if (!session->ledger.suiteReleased(name, version)) {
            return HostCallbacks::kBadParameter;
        }
        return currentCommand->faults.releaseSuiteError;
    });
}

SPBoolean isEqual(const char* first, const char* second)
{
    return first != nullptr && second != nullptr && std::strcmp(first, second) == 0;
}

SPErr allocateBlock(size_t size, void** block)
{
    if (block == nullptr) {
        return HostCallbacks::kBadParameter;
    }
    *block = std::malloc(size == 0 ? 1 : size);
    return *block != nullptr ? kSPNoError : HostCallbacks::kOutOfMemory;
}

SPErr freeBlock(void* block)
{
    std::free(block);
    return kSPNoError;
}

SPErr reallocateBlock(void* block, size_t newSize, void** newBlock)
{
    if (newBlock == nullptr) {
        return HostCallbacks::kBadParameter;
    }
    void* moved = std::realloc(block, newSize == 0 ? 1 : newSize);
    if (moved == nullptr) {
        return HostCallbacks::kOutOfMemory;
    }
    *newBlock = moved;
    return kSPNoError;
}

SPErr undefinedCall()
{
    return HostCallbacks::kUnimplemented;
}

// ------------------------------------------------------------------ smart render

// The command's smart-render state when the command is `cmd`, else null (with a note).
SmartRenderState* smartStateFor(PF_Cmd cmd, const char* callback)
{
    if (currentCommand == nullptr || currentCommand->smart == nullptr ||
        currentCommand->command != cmd) {
        noteMisuse(currentSession, std::string(callback) + " outside " +
                                       (cmd == PF_Cmd_SMART_PRE_RENDER ? "PF_Cmd_SMART_PRE_RENDER"
                                                                       : "PF_Cmd_SMART_RENDER"));
        return nullptr;
    }
    return currentCommand->smart;
}

PF_LRect boundsOf(const PF_EffectWorld* layer, const int32_t origin[2])
{
    return layer != nullptr ? rectAt(origin, *layer) : PF_LRect{0, 0, 0, 0};
}

int64_t areaOf(const PF_LRect& rect)
{
    return hasNoArea(rect) ? 0 : int64_t(rect.right - rect.left) * int64_t(rect.bottom - rect.top);
}

// The layer of parameter `index`: the input for 0, the chosen layer of a layer parameter (null
// when none is chosen). False when the index names no layer parameter.
bool layerOfParameter(HostSession& session, PF_ParamIndex index, const SmartRenderState& smart,
                      const PF_EffectWorld*& layer)
{
    if (index == 0) {
        layer = smart.input;
        return true;
    }
    PF_ParamDef def{};
    if (session.parameters.valueAt(index, 0, 1, def) != PF_Err_NONE ||
        def.param_type != PF_Param_LAYER) {
        return false;
    }
    layer = session.parameters.layerAt(index);
    return true;
}

PF_Err checkoutLayer(PF_ProgPtr effectRef, PF_ParamIndex index, A_long checkoutId,
                     const PF_RenderRequest* request, A_long, A_long, A_u_long,
                     PF_CheckoutResult* result)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = sessionFor(effectRef, "checkout_layer");
        SmartRenderState* smart = smartStateFor(PF_Cmd_SMART_PRE_RENDER, "checkout_layer");
        if (session == nullptr || smart == nullptr || request == nullptr || result == nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        session->ledger.count(&HostCounts::layerCheckouts);
        if (currentCommand->faults.failingLayerCheckouts.count(index) != 0) {
            return currentCommand->faults.layerCheckoutError;
        }
        if (smart->checkouts.count(checkoutId) != 0) {
            noteMisuse(session, "checkout_layer with checkout id " + std::to_string(checkoutId) +
                                    ", which is taken already");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        const PF_EffectWorld* layer = nullptr;
        if (!layerOfParameter(*session, index, *smart, layer)) {
            noteMisuse(session, "checkout_layer of parameter " + std::to_string(index) +
                                    ", which is not a layer parameter");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        // The input lies where the request places it, within its bounds (a mask's box); another
        // layer where its placement puts it, in a reference rect of its own size or the given one.
        SmartRenderState::Checkout checkout;
        checkout.index = index;
        checkout.layer = layer;
        *result = PF_CheckoutResult{};
        if (index == 0) {
            std::copy(smart->inputOrigin, smart->inputOrigin + 2, checkout.origin);
            result->max_result_rect = smart->inputBounds;
            result->ref_width = smart->layerWidth;
            result->ref_height = smart->layerHeight;
        } else {
            const LayerPlacement placement = session->parameters.placementAt(index);
            checkout.origin[0] = placement.originX;
            checkout.origin[1] = placement.originY;
            result->max_result_rect = boundsOf(layer, checkout.origin);
            const bool referenced = placement.referenceWidth > 0 && placement.referenceHeight > 0;
            result->ref_width = layer == nullptr ? 0
                                : referenced     ? placement.referenceWidth
                                                 : layer->width;
            result->ref_height = layer == nullptr ? 0
                                 : referenced     ? placement.referenceHeight
                                                  : layer->height;
        }
        result->result_rect = clippedRect(request->rect, result->max_result_rect);
        result->par = smart->pixelAspect;
        checkout.resultRect = result->result_rect;
        session->ledger.count(&HostCounts::requestedLayerPixels, areaOf(result->result_rect));
        smart->checkouts[checkoutId] = checkout;
        return PF_Err_NONE;
    });
}

PF_Err guidMixIn(PF_ProgPtr, A_u_long, const void*)
{
    return PF_Err_NONE;  // the headless host caches no frames
}

PF_Err checkoutLayerPixels(PF_ProgPtr effectRef, A_long checkoutId, PF_EffectWorld** pixels)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = sessionFor(effectRef, "checkout_layer_pixels");
        SmartRenderState* smart = smartStateFor(PF_Cmd_SMART_RENDER, "checkout_layer_pixels");
        if (session == nullptr || smart == nullptr || pixels == nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *pixels = nullptr;
        session->ledger.count(&HostCounts::layerPixelCheckouts);
        auto found = smart->checkouts.find(checkoutId);
        if (found == smart->checkouts.end() || found->second.pixelsOut) {
            noteMisuse(session, "checkout_layer_pixels of checkout id " +
                                    std::to_string(checkoutId) +
                                    ", which pre-render did not check out or is out already");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (currentCommand->faults.failingLayerPixels.count(checkoutId) != 0) {
            return currentCommand->faults.layerPixelsError;
        }
        SmartRenderState::Checkout& checkout = found->second;
        checkout.pixelsOut = true;
        if (checkout.layer != nullptr) {
            // What pre-render's checkout gave out of the layer, where it lies; the world is a
            // copy of the description: the effect may not change the host's own.
            checkout.pixels = worldPart(*checkout.layer, checkout.origin, checkout.resultRect);
            *pixels = &checkout.pixels;
        }
        return PF_Err_NONE;
    });
}

PF_Err checkinLayerPixels(PF_ProgPtr effectRef, A_long checkoutId)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = sessionFor(effectRef, "checkin_layer_pixels");
        SmartRenderState* smart = smartStateFor(PF_Cmd_SMART_RENDER, "checkin_layer_pixels");
        if (session == nullptr || smart == nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        auto found = smart->checkouts.find(checkoutId);
        if (found == smart->checkouts.end() || !found->second.pixelsOut) {
            noteMisuse(session, "checkin_layer_pixels of checkout id " +
                                    std::to_string(checkoutId) + ", whose pixels are not out");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        found->second.pixelsOut = false;
        return currentCommand->faults.layerCheckinError;
    });
}

PF_Err checkoutOutput(PF_ProgPtr effectRef, PF_EffectWorld** output)
{
    return guarded<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&]() -> PF_Err {
        HostSession* session = sessionFor(effectRef, "checkout_output");
        SmartRenderState* smart = smartStateFor(PF_Cmd_SMART_RENDER, "checkout_output");
        if (session == nullptr || smart == nullptr || output == nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *output = nullptr;
        if (currentCommand->faults.outputCheckoutError != PF_Err_NONE) {
            return currentCommand->faults.outputCheckoutError;
        }
        smart->outputWorld = worldPart(*smart->output, smart->outputOrigin, smart->outputRect);
        smart->outputCheckedOut = true;
        *output = &smart->outputWorld;
        return PF_Err_NONE;
    });
}

void installSmartRender(HostCommand& command)
{
    command.preRender = PF_PreRenderCallbacks{&checkoutLayer, &guidMixIn};
    command.smartRender =
        PF_SmartRenderCallbacks{&checkoutLayerPixels, &checkinLayerPixels, &checkoutOutput};
}

// ------------------------------------------------------------------ tables

void installInteract(PF_InteractCallbacks& inter)
{
    inter = PF_InteractCallbacks{};
    for (size_t slot = 0; slot < kInteractStubs.size(); ++slot) {
        placeStub(&inter, slot, kInteractStubs[slot]);
    }
    inter.checkout_param = &checkoutParam;
    inter.checkin_param = &checkinParam;
    inter.add_param = &addParam;
    inter.abort = &abortCallback;
    inter.progress = &progressCallback;
}

void installUtils(PF_UtilCallbacks& utils)
{
    utils = PF_UtilCallbacks{};
    placeUtilStubs(utils);
    utils.host_new_handle = &newHandle;
    utils.host_lock_handle = &lockHandle;
    utils.host_unlock_handle = &unlockHandle;
    utils.host_dispose_handle = &disposeHandle;
    utils.host_get_handle_size = &handleSize;
    utils.host_resize_handle = &resizeHandle;
    fillAnsi(utils.ansi);
    utils.get_pixel_data8 = &getPixelData8;
    utils.get_pixel_data16 = &getPixelData16;
}

void installSuites(HostCommand& session)
{
    session.basicSuite = SPBasicSuite{&acquireSuite, &releaseSuite, &isEqual, &allocateBlock,
                                      &freeBlock, &reallocateBlock, &undefinedCall};
    fillAnsi(session.ansiSuite);
    session.handleSuite = PF_HandleSuite1{&newHandle, &lockHandle, &unlockHandle, &disposeHandle,
                                          &handleSize, &resizeHandle};
    session.iterateFloatSuite = PF_iterateFloatSuite1{};
    session.iterateFloatSuite.iterate = &iterateFloat;
    placeStub(&session.iterateFloatSuite, 1, kUtilStubs[16]);  // iterate_origin
    placeStub(&session.iterateFloatSuite, 2, kUtilStubs[56]);  // iterate_origin_non_clip_src
    session.paramUtilsSuite = PF_ParamUtilsSuite3{};
    session.paramUtilsSuite.PF_UpdateParamUI = &updateParamUi;
    for (size_t slot = 1; slot < sizeof(PF_ParamUtilsSuite3) / sizeof(void*); ++slot) {
        placeStub(&session.paramUtilsSuite, slot, &unprovidedParamUtility);
    }
}

}  // namespace

void HostCallbacks::install(HostCommand& session)
{
    installInteract(session.interact);
    installUtils(session.utils);
    installSuites(session);
    installSmartRender(session);
}

void HostCallbacks::removeCallbacks(HostCommand& session, const std::set<std::string>& names)
{
    for (const std::string& name : names) {
        if (name == "ansi.sprintf") {
            session.utils.ansi.sprintf = nullptr;
            session.ansiSuite.sprintf = nullptr;
        } else if (name == "ansi.strcpy") {
            session.utils.ansi.strcpy = nullptr;
            session.ansiSuite.strcpy = nullptr;
        } else if (name == "checkout_param") {
            session.interact.checkout_param = nullptr;
        } else if (name == "checkin_param") {
            session.interact.checkin_param = nullptr;
        } else if (name == "add_param") {
            session.interact.add_param = nullptr;
        } else if (name == "get_pixel_data8") {
            session.utils.get_pixel_data8 = nullptr;
        } else if (name == "get_pixel_data16") {
            session.utils.get_pixel_data16 = nullptr;
        } else if (name == "host_lock_handle") {
            session.utils.host_lock_handle = nullptr;
            session.handleSuite.host_lock_handle = nullptr;
        } else if (name == "AcquireSuite") {
            session.basicSuite.AcquireSuite = nullptr;
        } else if (name == "checkout_layer") {
            session.preRender.checkout_layer = nullptr;
        } else if (name == "checkout_layer_pixels") {
            session.smartRender.checkout_layer_pixels = nullptr;
        } else if (name == "checkin_layer_pixels") {
            session.smartRender.checkin_layer_pixels = nullptr;
        } else if (name == "checkout_output") {
            session.smartRender.checkout_output = nullptr;
        } else if (name == "host_unlock_handle") {
            session.utils.host_unlock_handle = nullptr;
            session.handleSuite.host_unlock_handle = nullptr;
        } else if (name == "host_dispose_handle") {
            session.utils.host_dispose_handle = nullptr;
            session.handleSuite.host_dispose_handle = nullptr;
        }
    }
}

bool HostCallbacks::canRemove(const std::string& name)
{
    static const std::set<std::string> removable = {
        "ansi.sprintf",     "ansi.strcpy",      "checkout_param",   "checkin_param", "add_param",
        "get_pixel_data8", "get_pixel_data16", "host_lock_handle", "AcquireSuite",
        "checkout_layer", "checkout_layer_pixels", "checkin_layer_pixels", "checkout_output",
        "host_unlock_handle", "host_dispose_handle"};
    return removable.count(name) != 0;
}

HostSession* HostCallbacks::current()
{
    return currentSession;
}

HostCallbacks::Scope::Scope(HostCommand& command) : previous(currentCommand)
{
    currentCommand = &command;
    currentSession = &command.session;
}

HostCallbacks::Scope::~Scope()
{
    currentCommand = previous;
    currentSession = previous != nullptr ? &previous->session : nullptr;
}

}  // namespace Tessarine::Lamino
