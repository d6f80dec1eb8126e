#include "hosting/HeadlessHost.h"

#include "hosting/HostCallbacks.h"
#include "hosting/World.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace Tessarine::Lamino {

namespace {

// The effect API version and application the host reports: After Effects 23.4, a host with
// multi-frame rendering.
constexpr PF_SpecVersion kHostApiVersion = {13, 28};
constexpr A_long kTotalSeconds = 10;  // length of the pretend composition

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// A fingerprint of a world's pixels (not its padding), to notice an effect writing its input.
uint64_t pixelFingerprint(const PF_EffectWorld& world)
{
    if (world.data == nullptr || world.width <= 0 || world.height <= 0) {
        return 0;
    }
    size_t pixelSize = World::formatOf(world) == WorldFormat::Argb8      ? sizeof(PF_Pixel)
                       : World::formatOf(world) == WorldFormat::Argb16 ? sizeof(PF_Pixel16)
                                                                       : sizeof(PF_PixelFloat);
    // Eight bytes a step: a byte-wise hash of a 4K frame costs more than the render it checks.
    uint64_t hash = 14695981039346656037ull;
    const size_t rowBytes = size_t(world.width) * pixelSize;
    for (A_long y = 0; y < world.height; ++y) {
        auto row = reinterpret_cast<const uint8_t*>(world.data) + ptrdiff_t(y) * world.rowbytes;
        size_t i = 0;
        for (; i + sizeof(uint64_t) <= rowBytes; i += sizeof(uint64_t)) {
            uint64_t word;
            std::memcpy(&word, row + i, sizeof word);
            hash = (hash ^ word) * 1099511628211ull;
        }
        for (; i < rowBytes; ++i) {
            hash = (hash ^ row[i]) * 1099511628211ull;
        }
    }
    return hash;
}

}  // namespace

// One command's exchange with the effect: in/out data and the parameter array.
struct HeadlessHost::Frame {
    PF_InData in{};
    PF_OutData out{};
    std::vector<PF_ParamDef> params;
    std::vector<PF_ParamDef*> pointers;
    PF_LayerDef* output = nullptr;
};

HeadlessHost::HeadlessHost(const std::string& pluginPath, bool keepLoaded)
    : module(std::make_unique<PluginModule>(pluginPath, !keepLoaded)),
      entry(module->entryPoint()),
      session(std::make_unique<HostSession>())
{
}

HeadlessHost::HeadlessHost(EntryPointFunction entryPoint)
    : entry(entryPoint), session(std::make_unique<HostSession>())
{
    if (entry == nullptr) {
        throw std::invalid_argument("a headless host needs an entry point");
    }
}

HeadlessHost::HeadlessHost(EntryPointFunction entryPoint, const Pipl& pipl)
    : HeadlessHost(entryPoint)
{
    givenPipl = pipl;
}

HeadlessHost::~HeadlessHost()
{
    bool needsSetdown;
    {
        std::lock_guard<SlimSharedMutex> lock(resultMutex);
        needsSetdown = setUp;
    }
    if (needsSetdown) {
        globalSetdown();
    }
}

std::string HeadlessHost::commandName(PF_Cmd cmd)
{
    static const char* const names[] = {
        "ABOUT", "GLOBAL_SETUP", "UNUSED_0", "GLOBAL_SETDOWN", "PARAMS_SETUP", "SEQUENCE_SETUP",
        "SEQUENCE_RESETUP", "SEQUENCE_FLATTEN", "SEQUENCE_SETDOWN", "DO_DIALOG", "FRAME_SETUP",
        "RENDER", "FRAME_SETDOWN", "USER_CHANGED_PARAM", "UPDATE_PARAMS_UI", "EVENT",
        "GET_EXTERNAL_DEPENDENCIES", "COMPLETELY_GENERAL", "QUERY_DYNAMIC_FLAGS", "AUDIO_RENDER",
        "AUDIO_SETUP", "AUDIO_SETDOWN", "ARBITRARY_CALLBACK", "SMART_PRE_RENDER", "SMART_RENDER",
        "RESERVED1", "RESERVED2", "RESERVED3", "GET_FLATTENED_SEQUENCE_DATA",
        "TRANSLATE_PARAMS_TO_PREFS", "RESERVED4", "SMART_RENDER_GPU", "GPU_DEVICE_SETUP",
        "GPU_DEVICE_SETDOWN"};
    if (cmd >= 0 && cmd < PF_Cmd_NUM_CMDS) {
        return std::string("PF_Cmd_") + names[cmd];
    }
    return "command " + std::to_string(cmd);
}

PF_Err HeadlessHost::globalSetup()
{
    return dispatch(PF_Cmd_GLOBAL_SETUP, nullptr);
}

PF_Err HeadlessHost::paramsSetup()
{
    return dispatch(PF_Cmd_PARAMS_SETUP, nullptr);
}

PF_Err HeadlessHost::about()
{
    return dispatch(PF_Cmd_ABOUT, nullptr);
}

PF_Err HeadlessHost::render(const RenderRequest& request)
{
    if (request.input == nullptr || request.output == nullptr) {
        throw std::invalid_argument("a render needs an input and an output world");
    }
    if (usesSmartRender(request)) {
        return smartRender(request);
    }
    const bool placed = request.inputOrigin[0] != 0 || request.inputOrigin[1] != 0 ||
                        request.outputOrigin[0] != 0 || request.outputOrigin[1] != 0 ||
                        request.inputBounds || request.outputRequest;
    if (placed) {
        throw std::invalid_argument("the classic render hands the layer itself: worlds placed "
                                    "elsewhere or output requests need a smart render");
    }
    return dispatch(PF_Cmd_RENDER, &request);
}

bool HeadlessHost::usesSmartRender(const RenderRequest& request) const
{
    switch (request.protocol) {
    case RenderProtocol::Classic: return false;
    case RenderProtocol::Smart: return true;
    default: return (globalSetupResult().outFlags2 & PF_OutFlag2_SUPPORTS_SMART_RENDER) != 0;
    }
}

bool HeadlessHost::rendersConcurrently() const
{
    const Pipl* list = pipl();
    return (globalSetupResult().outFlags2 & PF_OutFlag2_SUPPORTS_THREADED_RENDERING) != 0 &&
           (list == nullptr || list->allowsMultiFrameRendering());
}

int32_t HeadlessHost::controlCommandsBesideRenders() const
{
    return besideRenders;
}

int32_t HeadlessHost::peakRendersAtOnce() const
{
    return peakInside;
}

void HeadlessHost::resetPeak()
{
    peakInside = 0;
}

PF_PreRenderOutput HeadlessHost::lastPreRender() const
{
    std::lock_guard<SlimSharedMutex> lock(resultMutex);
    return preRenderResult;
}

namespace {

short bitdepthOf(const PF_EffectWorld& world)
{
    switch (World::formatOf(world)) {
    case WorldFormat::Argb16: return 16;
    case WorldFormat::ArgbFloat: return 32;
    default: return 8;
    }
}

bool inside(const PF_LRect& rect, const PF_LRect& bounds)
{
    return hasNoArea(rect) || (rect.left >= bounds.left && rect.top >= bounds.top &&
                             rect.right <= bounds.right && rect.bottom <= bounds.bottom);
}

// A layer's full-resolution size: as given, else a world's size at the downsample factor.
A_long layerSize(int32_t given, A_long worldSize, const PF_RationalScale& downsample)
{
    if (given > 0) {
        return given;
    }
    if (downsample.num <= 0 || downsample.den == 0) {
        return worldSize;
    }
    return A_long(std::lround(double(worldSize) * double(downsample.den) / downsample.num));
}

// Where a smart render's worlds lie, from the request.
SmartRenderState smartStateOf(const RenderRequest& request)
{
    SmartRenderState state;
    state.input = request.input;
    state.output = request.output;
    std::copy(request.inputOrigin, request.inputOrigin + 2, state.inputOrigin);
    std::copy(request.outputOrigin, request.outputOrigin + 2, state.outputOrigin);
    const PF_LRect inputRect = rectAt(request.inputOrigin, *request.input);
    state.inputBounds = clippedRect(request.inputBounds.value_or(inputRect), inputRect);
    state.outputRect = rectAt(request.outputOrigin, *request.output);
    state.pixelAspect = request.pixelAspect;
    state.layerWidth = layerSize(request.layerWidth, request.input->width, request.downsampleX);
    state.layerHeight = layerSize(request.layerHeight, request.input->height, request.downsampleY);
    return state;
}

// The command lock as a command holds it: shared by renders that may overlap, else alone.
class CommandLock {
public:
    CommandLock(SlimSharedMutex& mutex, bool shared) : mutex(mutex), shared(shared)
    {
        shared ? mutex.lock_shared() : mutex.lock();
    }
    ~CommandLock() { shared ? mutex.unlock_shared() : mutex.unlock(); }
    CommandLock(const CommandLock&) = delete;
    CommandLock& operator=(const CommandLock&) = delete;

private:
    SlimSharedMutex& mutex;
    const bool shared;
};

bool isRender(PF_Cmd cmd)
{
    return cmd == PF_Cmd_RENDER || cmd == PF_Cmd_SMART_PRE_RENDER || cmd == PF_Cmd_SMART_RENDER;
}

// The commands of the effect's controls, which the host sends on its main thread while its
// render threads render.
bool isControlCommand(PF_Cmd cmd)
{
    return cmd == PF_Cmd_ABOUT || cmd == PF_Cmd_PARAMS_SETUP || cmd == PF_Cmd_UPDATE_PARAMS_UI ||
           cmd == PF_Cmd_USER_CHANGED_PARAM;
}

// Commands during which the effect may change a control's look, never the parameter itself.
bool changesLooks(PF_Cmd cmd)
{
    return cmd == PF_Cmd_UPDATE_PARAMS_UI || cmd == PF_Cmd_USER_CHANGED_PARAM;
}

}  // namespace

// The host asks for the whole frame, as a composition does that shows the layer whole; the
// effect checks its layers out in pre-render, then renders with their pixels into the output.
PF_Err HeadlessHost::smartRender(const RenderRequest& request)
{
    CommandLock lock(commandMutex, rendersConcurrently());
    SmartRenderState state = smartStateOf(request);
    const PF_LRect area = state.outputRect;

    PF_PreRenderInput preInput{};
    preInput.output_request.rect = request.outputRequest.value_or(area);
    preInput.output_request.field = PF_Field_FRAME;
    preInput.output_request.channel_mask = PF_ChannelMask_ARGB;
    preInput.output_request.preserve_rgb_of_zero_alpha = request.preserveRgbOfZeroAlpha ? 1 : 0;
    preInput.bitdepth = bitdepthOf(*request.output);
    PF_PreRenderOutput preOutput{};
    PF_PreRenderExtra preExtra{&preInput, &preOutput, nullptr};
    PF_Err err = dispatchLocked(PF_Cmd_SMART_PRE_RENDER, &request, &preExtra, &state);
    {
        std::lock_guard<SlimSharedMutex> lock(resultMutex);
        preRenderResult = preOutput;
    }
    if (request.preRender != nullptr) {
        *request.preRender = preOutput;
    }
    if (err == PF_Err_NONE && !inside(preOutput.result_rect, preOutput.max_result_rect)) {
        session->ledger.misuse("smart pre-render's result_rect lies outside its max_result_rect");
    }
    if (err == PF_Err_NONE && !inside(preOutput.result_rect, preInput.output_request.rect)) {
        session->ledger.misuse("smart pre-render's result_rect lies outside the request");
    }
    // The host renders what the effect will produce of the request, into that part of the
    // output area; a request without area asked for the bounds alone.
    state.outputRect = clippedRect(preOutput.result_rect, area);
    const bool boundsOnly = hasNoArea(preInput.output_request.rect);
    if (err == PF_Err_NONE && !boundsOnly) {
        PF_SmartRenderInput renderInput{};
        renderInput.output_request = preInput.output_request;
        renderInput.bitdepth = preInput.bitdepth;
        renderInput.pre_render_data = preOutput.pre_render_data;
        PF_SmartRenderExtra renderExtra{&renderInput, nullptr};
        err = dispatchLocked(PF_Cmd_SMART_RENDER, &request, &renderExtra, &state);
        for (const auto& [id, checkout] : state.checkouts) {
            if (checkout.pixelsOut) {
                session->ledger.misuse("the pixels of layer checkout " + std::to_string(id) +
                                       " were not checked in by the end of the smart render");
            }
        }
        if (err == PF_Err_NONE && !state.outputCheckedOut) {
            session->ledger.misuse("smart render reported success without checking out the "
                                   "output");
        }
    }
    if (preOutput.delete_pre_render_data_func != nullptr && preOutput.pre_render_data != nullptr) {
        try {
            preOutput.delete_pre_render_data_func(preOutput.pre_render_data);
        } catch (...) {
            session->ledger.misuse("an exception escaped the pre-render data's delete function");
        }
    }
    return err;
}

PF_Err HeadlessHost::globalSetdown()
{
    return dispatch(PF_Cmd_GLOBAL_SETDOWN, nullptr);
}

PF_Err HeadlessHost::startUp()
{
    PF_Err err = globalSetup();
    return err != PF_Err_NONE ? err : paramsSetup();
}

PF_Err HeadlessHost::updateParamsUi()
{
    return dispatch(PF_Cmd_UPDATE_PARAMS_UI, nullptr);
}

PF_Err HeadlessHost::userChangesValue(int32_t index, double value)
{
    setValue(index, value);
    if ((session->parameters.definition(index).def.flags & PF_ParamFlag_SUPERVISE) == 0) {
        return PF_Err_NONE;
    }
    PF_UserChangedParamExtra changed{index};
    return dispatch(PF_Cmd_USER_CHANGED_PARAM, nullptr, &changed);
}

PF_Err HeadlessHost::sendCommand(PF_Cmd cmd, const RenderRequest* request)
{
    if (request != nullptr && (request->input == nullptr || request->output == nullptr)) {
        throw std::invalid_argument("a command with a frame needs an input and an output world");
    }
    return dispatch(cmd, request);
}

// Degrees of a frame as the host passes a shutter: a 16.16 fixed-point fraction of a frame
// (360 degrees = 1.0 = 0x10000), held to its range.
static PF_Fixed frameFraction(double degrees)
{
    const double fixed = std::round(degrees / 360.0 * 65536.0);
    return PF_Fixed(std::clamp(fixed, -2147483648.0, 2147483647.0));
}

void HeadlessHost::fillInData(PF_InData& in, const RenderRequest* request,
                              HostCommand& command) const
{
    A_u_long scale = request != nullptr ? request->timeScale : 30;
    in.inter = command.interact;
    in.utils = &command.utils;
    in.effect_ref = session->effectRef();
    in.quality = PF_Quality_HI;
    in.version = kHostApiVersion;
    in.appl_id = A_long(fourCharCode("FXTC"));
    // Parameter setup declares the parameters: only the input layer exists before it.
    in.num_params = command.command == PF_Cmd_PARAMS_SETUP ? 1 : session->parameters.count() + 1;
    in.current_time = request != nullptr ? request->time : 0;
    in.time_step = request != nullptr ? request->timeStep : 1;
    in.local_time_step = in.time_step;
    in.total_time = A_long(kTotalSeconds * scale);
    in.time_scale = scale;
    in.field = PF_Field_FRAME;
    in.shutter_angle = request != nullptr ? frameFraction(request->shutterAngle) : 0;
    in.shutter_phase = request != nullptr ? frameFraction(request->shutterPhase) : 0;
    in.downsample_x = in.downsample_y = in.pixel_aspect_ratio = PF_RationalScale{1, 1};
    if (request != nullptr) {
        in.width = layerSize(request->layerWidth, request->input->width, request->downsampleX);
        in.height = layerSize(request->layerHeight, request->input->height, request->downsampleY);
        in.extent_hint = PF_Rect{0, 0, request->output->width, request->output->height};
        in.downsample_x = request->downsampleX;
        in.downsample_y = request->downsampleY;
        in.pixel_aspect_ratio = request->pixelAspect;
    }
    in.pica_basicP = &command.basicSuite;
    std::lock_guard<SlimSharedMutex> lock(resultMutex);
    in.global_data = globalData;
}

// Parameter values at the frame's time, as the host passes them to every command. Layer
// parameters other than the input carry no pixels: an effect checks them out. The commands of
// the controls get no change flags: the effect sets PF_ChangeFlag_CHANGED_VALUE itself.
static void fillParams(std::vector<PF_ParamDef>& params, const ParameterStore& store,
                       const PF_InData& in, const RenderRequest* request, PF_Cmd cmd)
{
    params.assign(size_t(in.num_params), PF_ParamDef{});
    params[0].param_type = PF_Param_LAYER;
    if (request != nullptr) {
        params[0].u.ld = *request->input;
    }
    for (size_t index = 1; index < params.size(); ++index) {
        PF_ParamDef& def = params[index];
        store.valueAt(int32_t(index), in.current_time, in.time_scale, def);
        if (def.param_type == PF_Param_LAYER) {
            A_long dephault = def.u.ld.dephault;
            std::memset(&def.u.ld, 0, sizeof def.u.ld);
            def.u.ld.dephault = dephault;
        }
        if (changesLooks(cmd)) {
            def.uu.change_flags = 0;
        }
    }
}

PF_Err HeadlessHost::dispatch(PF_Cmd cmd, const RenderRequest* request, void* extra)
{
    CommandLock lock(commandMutex,
                     (isRender(cmd) && rendersConcurrently()) || isControlCommand(cmd));
    return dispatchLocked(cmd, request, extra);
}

PF_Err HeadlessHost::dispatchLocked(PF_Cmd cmd, const RenderRequest* request, void* extra,
                                    SmartRenderState* smart)
{
    HostCommand command(*session, cmd, faultPlan(), request != nullptr ? request->input : nullptr,
                        smart);
    if (cmd == PF_Cmd_SMART_PRE_RENDER && extra != nullptr) {
        static_cast<PF_PreRenderExtra*>(extra)->cb = &command.preRender;
    } else if (cmd == PF_Cmd_SMART_RENDER && extra != nullptr) {
        static_cast<PF_SmartRenderExtra*>(extra)->cb = &command.smartRender;
    }
    Frame frame;
    fillInData(frame.in, request, command);
    frame.out.global_data = frame.in.global_data;
    frame.out.num_params = frame.in.num_params;
    frame.out.width = frame.in.width;
    frame.out.height = frame.in.height;
    fillParams(frame.params, session->parameters, frame.in, request, cmd);
    for (PF_ParamDef& def : frame.params) {
        frame.pointers.push_back(&def);
    }
    frame.output = request != nullptr ? request->output : nullptr;
    command.handedParams = &frame.params;
    const std::vector<PF_ParamDef> handedBefore = changesLooks(cmd) ? frame.params
                                                                    : std::vector<PF_ParamDef>{};

    // Pre-render sees no pixels; hashing a large input twice more would weigh on timings.
    const bool watchInput = request != nullptr && cmd != PF_Cmd_SMART_PRE_RENDER;
    uint64_t inputBefore = watchInput ? pixelFingerprint(*request->input) : 0;
    PF_Err err = callEntryPoint(cmd, frame, command, extra);
    if (watchInput && pixelFingerprint(*request->input) != inputBefore) {
        session->ledger.misuse(commandName(cmd) + " wrote into the input layer");
    }
    if (cmd == PF_Cmd_PARAMS_SETUP) {
        session->parameters.replaceWith(command.declared);
    }
    checkParamsInPlace(cmd, handedBefore, frame.params);
    checkAfterCommand(cmd, err, frame.out);
    return err;
}

// A control's look changes only through PF_UpdateParamUI with a copy; a value only in
// PF_Cmd_USER_CHANGED_PARAM, marked with PF_ChangeFlag_CHANGED_VALUE.
void HeadlessHost::checkParamsInPlace(PF_Cmd cmd, const std::vector<PF_ParamDef>& before,
                                      const std::vector<PF_ParamDef>& after)
{
    for (size_t index = 1; index < before.size() && index < after.size(); ++index) {
        if (std::memcmp(&before[index], &after[index], sizeof(PF_ParamDef)) == 0) {
            continue;
        }
        const bool valueChange = cmd == PF_Cmd_USER_CHANGED_PARAM &&
                                 (after[index].uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) != 0;
        if (!valueChange) {
            session->ledger.misuse(commandName(cmd) + " changed parameter " +
                                   std::to_string(index) + " in place instead of passing a copy "
                                   "to PF_UpdateParamUI");
        }
    }
}

PF_Err HeadlessHost::callEntryPoint(PF_Cmd cmd, Frame& frame, HostCommand& command, void* extra)
{
    HostCallbacks::Scope scope(command);
    // Renders inside the effect at once, counted around the call alone.
    const bool counted = cmd == PF_Cmd_RENDER || cmd == PF_Cmd_SMART_RENDER;
    if (counted) {
        const int32_t now = ++rendersInside;
        int32_t peak = peakInside;
        while (now > peak && !peakInside.compare_exchange_weak(peak, now)) {
        }
    }
    if (isControlCommand(cmd) && rendersInside > 0) {
        ++besideRenders;
    }
    PF_Err err = kExceptionEscaped;
    try {
        err = entry(cmd, &frame.in, &frame.out, frame.pointers.data(), frame.output, extra);
    } catch (...) {
        session->ledger.misuse("an exception escaped the entry point during " + commandName(cmd));
    }
    if (counted) {
        --rendersInside;
    }
    return err;
}

void HeadlessHost::checkAfterCommand(PF_Cmd cmd, PF_Err err, const PF_OutData& out)
{
    PF_OutData copy = out;
    if (std::memchr(copy.return_msg, 0, sizeof copy.return_msg) == nullptr) {
        session->ledger.misuse(commandName(cmd) + " left out_data->return_msg unterminated");
        copy.return_msg[sizeof copy.return_msg - 1] = '\0';
    }
    if (cmd == PF_Cmd_PARAMS_SETUP && err == PF_Err_NONE &&
        copy.num_params != session->parameters.count() + 1) {
        session->ledger.misuse("out_data->num_params is " + std::to_string(copy.num_params) +
                               " but " + std::to_string(session->parameters.count()) +
                               " parameters were added (plus the input layer)");
    }
    if (cmd == PF_Cmd_GLOBAL_SETUP && err == PF_Err_NONE) {
        checkAgainstPipl(copy);
    }
    std::lock_guard<SlimSharedMutex> lock(resultMutex);
    lastOut = copy;
    if (cmd == PF_Cmd_GLOBAL_SETUP) {
        setupResult = {copy.my_version, copy.out_flags, copy.out_flags2, copy.num_params};
        globalData = copy.global_data;
        setUp = err == PF_Err_NONE;
    } else if (cmd == PF_Cmd_GLOBAL_SETDOWN) {
        setUp = false;
    } else if (cmd == PF_Cmd_ABOUT) {
        aboutMessage = copy.return_msg;
    }
    if (err != PF_Err_NONE) {
        failureMessage = (copy.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0
                             ? std::string(copy.return_msg)
                             : std::string();
    }
}

// The host reads the PiPL before loading the effect, and expects global setup to report the same.
void HeadlessHost::checkAgainstPipl(const PF_OutData& out)
{
    const Pipl* list = pipl();
    if (list == nullptr) {
        return;
    }
    auto compare = [&](const char* what, std::optional<uint32_t> listed, uint32_t reported) {
        if (listed && *listed != reported) {
            session->ledger.misuse(std::string("global setup reports ") + what + " " +
                                   hex(reported) + ", the PiPL " + hex(*listed));
        }
    };
    compare("my_version", list->effectVersion, out.my_version);
    compare("out_flags", list->outFlags, uint32_t(out.out_flags));
    compare("out_flags2", list->outFlags2, uint32_t(out.out_flags2));
}

const Pipl* HeadlessHost::pipl() const
{
    if (module != nullptr) {
        return &module->pipl();
    }
    return givenPipl ? &*givenPipl : nullptr;
}

GlobalSetupResult HeadlessHost::globalSetupResult() const
{
    std::lock_guard<SlimSharedMutex> lock(resultMutex);
    return setupResult;
}

PF_OutData HeadlessHost::lastOutData() const
{
    std::lock_guard<SlimSharedMutex> lock(resultMutex);
    return lastOut;
}

std::string HeadlessHost::aboutText() const
{
    std::lock_guard<SlimSharedMutex> lock(resultMutex);
    return aboutMessage;
}

std::string HeadlessHost::errorMessage() const
{
    std::lock_guard<SlimSharedMutex> lock(resultMutex);
    return failureMessage;
}

std::vector<ParameterDefinition> HeadlessHost::parameters() const
{
    return session->parameters.definitions();
}

void HeadlessHost::setValue(int32_t index, double value)
{
    session->parameters.setValue(index, value);
}

void HeadlessHost::animate(int32_t index, const ParameterAnimation& animation)
{
    session->parameters.animate(index, animation);
}

void HeadlessHost::setLayer(int32_t index, const PF_EffectWorld* world,
                            const LayerPlacement& placement)
{
    session->parameters.setLayer(index, world, placement);
}

const PF_EffectWorld* HeadlessHost::layer(int32_t index) const
{
    return session->parameters.layerAt(index);
}

void HeadlessHost::setRaw(int32_t index, const PF_ParamDef& def)
{
    session->parameters.setRaw(index, def);
}

void HeadlessHost::resetValue(int32_t index)
{
    session->parameters.resetValue(index);
}

void HeadlessHost::loadSavedProject(int32_t savedParameters)
{
    session->parameters.loadSavedProject(savedParameters);
}

void HeadlessHost::setFaultPlan(const FaultPlan& newPlan)
{
    for (const std::string& name : newPlan.nullCallbacks) {
        if (!HostCallbacks::canRemove(name)) {
            throw std::invalid_argument("the fault plan names '" + name
                                        + "', which the host cannot hand out as null");
        }
    }
    std::lock_guard<SlimSharedMutex> lock(resultMutex);
    plan = newPlan;
}

FaultPlan HeadlessHost::faultPlan() const
{
    std::lock_guard<SlimSharedMutex> lock(resultMutex);
    return plan;
}

HostCounts HeadlessHost::counts() const
{
    return session->ledger.counts();
}

std::vector<std::string> HeadlessHost::outstanding() const
{
    std::vector<std::string> lines = session->ledger.outstanding();
    for (std::string& line : session->handles.outstanding()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> HeadlessHost::issues() const
{
    return session->ledger.misuses();
}

std::string HeadlessHost::report() const
{
    std::string text;
    for (const std::string& line : outstanding()) {
        text += line + "\n";
    }
    for (const std::string& line : issues()) {
        text += line + "\n";
    }
    return text;
}

int32_t HeadlessHost::openCheckouts() const
{
    return session->ledger.openCheckouts();
}

int32_t HeadlessHost::heldSuites() const
{
    return session->ledger.heldSuites();
}

int32_t HeadlessHost::liveHandles() const
{
    return session->handles.liveHandles();
}

void HeadlessHost::resetBooks()
{
    session->ledger.reset();
}

void HeadlessHost::observeCheckouts(std::function<void(int32_t index)> observer)
{
    std::unique_lock<SlimSharedMutex> lock(commandMutex);
    session->checkoutObserver = std::move(observer);
}

void HeadlessHost::observePixelAccess(std::function<void()> observer)
{
    std::unique_lock<SlimSharedMutex> lock(commandMutex);
    session->pixelObserver = std::move(observer);
}

}  // namespace Tessarine::Lamino
