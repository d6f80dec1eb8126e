#pragma once

#include "AE_Effect.h"
#include "hosting/FaultPlan.h"
#include "hosting/HostLedger.h"
#include "hosting/HostSession.h"
#include "hosting/ParameterStore.h"
#include "hosting/Pipl.h"
#include "hosting/PluginModule.h"
#include "hosting/SlimSharedMutex.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Tessarine::Lamino {

// How a frame is sent: as the host does (smart render when the effect declares it, else the
// classic render), or one of the two by choice.
enum class RenderProtocol { Auto, Classic, Smart };

// One frame to render: the layer the effect is applied to (parameter 0), the output world (the
// same size, as the host guarantees), the time of the frame, current_time / time_scale seconds,
// and the shutter in degrees of a frame, which the effect gets as the host passes it: in_data
// shutter_angle and shutter_phase as fixed-point fractions of a frame (0x10000 = 360 degrees),
// an angle of 0 meaning that the layer's motion blur is off. The worlds' format (World) is the
// render's depth.
//
// The variations of a real host (the defaults: full resolution, square pixels, whole layers):
// - downsampleX/Y: in_data's downsample factors (Half is 1/2); the worlds are then the
//   downsampled ones, and layerWidth/Height (in_data's width and height) the layer's
//   full-resolution size. A layer size of 0 is the input world's size at the factors.
// - pixelAspect: in_data's pixel_aspect_ratio and the par of every layer checkout.
// - Smart render only: positions in the layer's buffer pixels, from its top-left. The input
//   world's first pixel lies at inputOrigin (before the layer when an upstream effect grew it)
//   and the input's max_result_rect is inputBounds (cropped to a mask's box), by default the
//   world's rect; checkouts hand out what of it the effect asks for. The output world covers
//   the area from outputOrigin on; the host asks for outputRequest (by default that area) and
//   hands the effect the part of the output world its result rect covers. An outputRequest
//   without area asks for the bounds alone: pre-render is sent, no render. preRender, when set,
//   receives what pre-render reported.
struct RenderRequest {
    PF_EffectWorld* input = nullptr;
    PF_EffectWorld* output = nullptr;
    A_long time = 0;
    A_long timeStep = 1;
    A_u_long timeScale = 30;
    double shutterAngle = 0.0;
    double shutterPhase = 0.0;
    RenderProtocol protocol = RenderProtocol::Auto;

    PF_RationalScale downsampleX{1, 1};
    PF_RationalScale downsampleY{1, 1};
    PF_RationalScale pixelAspect{1, 1};
    int32_t layerWidth = 0;
    int32_t layerHeight = 0;
    int32_t inputOrigin[2] = {0, 0};
    std::optional<PF_LRect> inputBounds{};
    int32_t outputOrigin[2] = {0, 0};
    std::optional<PF_LRect> outputRequest{};
    bool preserveRgbOfZeroAlpha = false;
    PF_PreRenderOutput* preRender = nullptr;
};

// What the effect reported at global setup.
struct GlobalSetupResult {
    A_u_long myVersion = 0;
    PF_OutFlags outFlags = 0;
    PF_OutFlags2 outFlags2 = 0;
    A_long numParams = 0;
};

// A headless After Effects: loads an effect plug-in (.aex), finds it through its PiPL and drives
// its entry point with the host's commands, in the host's order (globalSetup, paramsSetup, any
// number of about and render, globalSetdown), serving every callback and suite the effect uses.
// One instance is one applied effect.
//
// Results: each command returns the effect's PF_Err; nothing the effect does is thrown at the
// caller. An exception that escapes the entry point is caught, noted in issues() and answered
// with kExceptionEscaped. The out_data of every command, the about text, the declared parameters
// and global setup's report stay readable afterwards.
//
// Strictness: the host books every parameter checkout against its checkin, every suite
// acquisition against its release and every handle against its disposal; outstanding() lists what
// was not given back and issues() every misuse (a bad argument, a callback the host does not
// provide, out_data disagreeing with the PiPL, an input layer written to). report() joins both:
// empty means the effect behaved. counts() gives the call counts.
//
// Smart render: with RenderProtocol::Auto a render is sent as PF_Cmd_SMART_PRE_RENDER followed by
// PF_Cmd_SMART_RENDER when the effect declared PF_OutFlag2_SUPPORTS_SMART_RENDER at global setup,
// as the host does; the layers the effect checks out and in are booked like parameters.
//
// Threads: commands may come from any thread and run on the calling thread. Renders from several
// threads run inside the effect at once when it declared PF_OutFlag2_SUPPORTS_THREADED_RENDERING
// at global setup and its PiPL declares effect API 13.25 or later, as hosts with multi-frame
// rendering require; otherwise one render at a time. The commands of the effect's controls
// (about, parameter setup, PF_Cmd_UPDATE_PARAMS_UI and PF_Cmd_USER_CHANGED_PARAM), which the host
// sends on its main thread while render threads render, run beside renders that may overlap;
// global setup and setdown run alone (a lock). The callbacks serve the thread that runs the
// command, each command with tables of its own. Values, faults and read accessors may be used
// from any thread.
//
// Supervised controls: userChangesValue sets a value as a user does and, for a parameter
// declared with PF_ParamFlag_SUPERVISE, sends PF_Cmd_USER_CHANGED_PARAM; updateParamsUi sends
// PF_Cmd_UPDATE_PARAMS_UI. The effect changes a control's look only with PF_UpdateParamUI on a
// copy of its definition; the declared ui_flags follow (parameters()). A parameter changed in
// place during those commands (without PF_ChangeFlag_CHANGED_VALUE) is booked as misuse.
class HeadlessHost {
public:
    // Returned by a command whose entry point call ended in an exception.
    static constexpr PF_Err kExceptionEscaped = -1;

    // Loads the plug-in; throws PluginLoadError with a readable message when it cannot be used.
    // The library is unloaded when the host goes, unless keepLoaded: threads that rendered and
    // outlive the host may still run the plug-in's thread-exit code.
    explicit HeadlessHost(const std::string& pluginPath, bool keepLoaded = false);
    // Drives an entry point that is already in memory (no PiPL), e.g. a test double.
    explicit HeadlessHost(EntryPointFunction entryPoint);
    // The same, for an effect that the host knows by `pipl`.
    HeadlessHost(EntryPointFunction entryPoint, const Pipl& pipl);
    // Sends PF_Cmd_GLOBAL_SETDOWN when global setup succeeded and no setdown followed.
    ~HeadlessHost();
    HeadlessHost(const HeadlessHost&) = delete;
    HeadlessHost& operator=(const HeadlessHost&) = delete;

    // ---- commands
    PF_Err globalSetup();
    PF_Err paramsSetup();        // forgets earlier declarations and values first
    PF_Err about();              // the text: aboutText()
    PF_Err render(const RenderRequest& request);  // throws std::invalid_argument without worlds
    PF_Err globalSetdown();
    PF_Err startUp();            // globalSetup, then paramsSetup if it succeeded
    PF_Err updateParamsUi();     // PF_Cmd_UPDATE_PARAMS_UI
    // A user's change of a control: setValue, then PF_Cmd_USER_CHANGED_PARAM when the parameter
    // is supervised (its result; PF_Err_NONE otherwise).
    PF_Err userChangesValue(int32_t index, double value);
    // Any command, with the render's layer and time when `request` is given, else without output.
    PF_Err sendCommand(PF_Cmd cmd, const RenderRequest* request = nullptr);

    // ---- what the effect reported
    const Pipl* pipl() const;    // null for a host made from an entry point
    GlobalSetupResult globalSetupResult() const;
    PF_OutData lastOutData() const;
    std::string aboutText() const;
    // What the effect told the user with its last failed command (out_data->return_msg with
    // PF_OutFlag_DISPLAY_ERROR_MESSAGE), or "".
    std::string errorMessage() const;
    std::vector<ParameterDefinition> parameters() const;  // declared at the last paramsSetup

    // ---- parameter values handed out at checkout (see ParameterStore for units and errors)
    void setValue(int32_t index, double value);
    void animate(int32_t index, const ParameterAnimation& animation);
    // null: no layer; the placement is what smart-render checkouts report of it.
    void setLayer(int32_t index, const PF_EffectWorld* world,
                  const LayerPlacement& placement = {});
    const PF_EffectWorld* layer(int32_t index) const;           // what setLayer set last
    void setRaw(int32_t index, const PF_ParamDef& def);
    void resetValue(int32_t index);
    // The instance comes from a project saved with the first `savedParameters` parameters
    // (ParameterStore::loadSavedProject); call after paramsSetup.
    void loadSavedProject(int32_t savedParameters);

    // ---- faults; the plan is read when each command begins
    void setFaultPlan(const FaultPlan& plan);
    FaultPlan faultPlan() const;

    // ---- books
    HostCounts counts() const;
    std::vector<std::string> outstanding() const;  // checkouts, suites and handles not given back
    std::vector<std::string> issues() const;
    std::string report() const;                    // both, one per line; empty when clean
    int32_t openCheckouts() const;
    int32_t heldSuites() const;
    int32_t liveHandles() const;
    void resetBooks();                             // counts and issues (not what is outstanding)

    static std::string commandName(PF_Cmd cmd);

    // ---- renders at once
    // Whether renders may overlap: the effect declared thread-safe rendering at global setup,
    // and its PiPL (when there is one) an effect API that hosts render on several threads.
    bool rendersConcurrently() const;
    // Commands of the controls (see Threads) that began while a render was inside the effect,
    // since the host was made.
    int32_t controlCommandsBesideRenders() const;
    // The most renders that were inside the effect at the same time since the host was made or
    // resetPeak was called.
    int32_t peakRendersAtOnce() const;
    void resetPeak();
    // What the last smart pre-render reported.
    PF_PreRenderOutput lastPreRender() const;

    // ---- observing the effect
    // Calls `observer` on the rendering thread after every successful checkout_param, with the
    // parameter's index, while the effect's command runs (and whatever GL context the effect
    // made current is current). Set it while no command runs; an empty function removes it.
    void observeCheckouts(std::function<void(int32_t index)> observer);
    // Calls `observer` on the rendering thread whenever the effect asks for a world's pixels
    // (get_pixel_data8 / get_pixel_data16) or iterates over float pixels, with whatever GL
    // context the effect made current. Set it while no command runs.
    void observePixelAccess(std::function<void()> observer);

private:
    struct Frame;

    PF_Err dispatch(PF_Cmd cmd, const RenderRequest* request, void* extra = nullptr);
    PF_Err dispatchLocked(PF_Cmd cmd, const RenderRequest* request, void* extra = nullptr,
                          SmartRenderState* smart = nullptr);
    PF_Err smartRender(const RenderRequest& request);
    bool usesSmartRender(const RenderRequest& request) const;
    PF_Err callEntryPoint(PF_Cmd cmd, Frame& frame, HostCommand& command, void* extra);
    void fillInData(PF_InData& in, const RenderRequest* request, HostCommand& command) const;
    void checkAfterCommand(PF_Cmd cmd, PF_Err err, const PF_OutData& out);
    void checkParamsInPlace(PF_Cmd cmd, const std::vector<PF_ParamDef>& before,
                            const std::vector<PF_ParamDef>& after);
    void checkAgainstPipl(const PF_OutData& out);

    std::unique_ptr<PluginModule> module;
    std::optional<Pipl> givenPipl;
    EntryPointFunction entry = nullptr;
    std::unique_ptr<HostSession> session;

    // Held shared by renders that may overlap, exclusively by every other command.
    SlimSharedMutex commandMutex;
    std::atomic<int32_t> rendersInside{0};
    std::atomic<int32_t> peakInside{0};
    std::atomic<int32_t> besideRenders{0};
    mutable SlimSharedMutex resultMutex;  // the fields below
    PF_PreRenderOutput preRenderResult{};
    FaultPlan plan;
    PF_OutData lastOut{};
    GlobalSetupResult setupResult;
    std::string aboutMessage;
    std::string failureMessage;
    PF_Handle globalData = nullptr;
    bool setUp = false;
};

}  // namespace Tessarine::Lamino
