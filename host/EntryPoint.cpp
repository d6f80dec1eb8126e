// The plug-in's one export: the host drives the effect through EntryPointFunc with command codes.

#include <mutex>
#include <new>

#include <glbinding/gl/gl.h>

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "SPBasic.h"
#include "effect/SlicePass.h"
#include "gl/AEOpenGLContext.h"
#include "gl/AESDK_OpenGL_Fault.h"
#include "gl/ContextRegistry.h"
#include "gl/GpuFailure.h"
#include "gl/ScopedContextRestore.h"
#include "gl/SlimMutex.h"
#include "host/ControlStates.h"
#include "host/EffectIdentity.h"
#include "host/EffectParameters.h"
#include "host/FrameRender.h"
#include "host/LayerGeometry.h"
#include "host/SmartRender.h"
#include "host/SuiteScope.h"
#include "host/UserMessages.h"
#include "pipeline/PixelFormat.h"
#include "pipeline/RenderSurface.h"

using namespace gl;
using namespace Tessarine::Lamino;

static_assert(LAMINO_EFFECT_VERSION == PF_VERSION(LAMINO_EFFECT_MAJOR, LAMINO_EFFECT_MINOR, 0,
                                                  PF_Stage_DEVELOP, 1));

namespace {

// The one slice pass of the process, shared by every render thread. Made at library load without
// any GL work; destroyed at global setdown, and made again by a global setup or a render that
// follows in the same load. Deliberately not destroyed at library unload: without a current
// context its GL deletions would fail there. The host neither renders during global setup and
// setdown nor sets up while it renders, but first renders on several threads may race to make it.
SlicePass* slicePass = new SlicePass();
SlimMutex slicePassMutex;

SlicePass& sharedSlicePass()
{
    std::lock_guard<SlimMutex> lock(slicePassMutex);
    if (!slicePass) {
        slicePass = new SlicePass();
    }
    return *slicePass;
}

void destroySlicePass()
{
    std::lock_guard<SlimMutex> lock(slicePassMutex);
    delete slicePass;
    slicePass = nullptr;
}

// Any other internal failure is reported as damaged internal state.
constexpr PF_Err kErrInternal = PF_Err_INTERNAL_STRUCT_DAMAGED;

// A thrown code as the host gets it. A failed host call's own code goes back as it is: the host
// acts on it (PF_Interrupt_CANCEL must come back, or the host caches a frame the user stopped;
// PF_Err_OUT_OF_MEMORY is handled quietly during previews). The one code that is not the
// host's, the missing suite that SuiteScope raises (the host answered with an SP error), is
// reported as a callback the host could not serve.
PF_Err hostCode(int thrown)
{
    if (thrown == PF_Err_NONE) {
        return kErrInternal; // never a failure reported as success
    }
    return thrown == A_Err_MISSING_SUITE ? PF_Err_BAD_CALLBACK_PARAM : PF_Err(thrown);
}

PF_Err About(PF_InData* in_data, PF_OutData* out_data)
{
    SuiteScope ansi(in_data->pica_basicP, kPFANSISuite, kPFANSISuiteVersion1);
    const PF_ANSICallbacksSuite1* suite = ansi.get<PF_ANSICallbacksSuite1>();
    if (!suite->sprintf) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    suite->sprintf(out_data->return_msg, "%s v%d.%d\r%s", LAMINO_EFFECT_NAME, LAMINO_EFFECT_MAJOR,
                   LAMINO_EFFECT_MINOR, LAMINO_EFFECT_NAME);
    return PF_Err_NONE;
}

// Global setup does not need OpenGL: on a machine without OpenGL 3.3 (a render node with a basic
// display driver, a remote session) the effect still loads, so that projects keep it, and the
// first render that needs OpenGL fails with the sentence that says why. Where OpenGL works, the
// root context is made here, before any render thread asks for a context of its own.
PF_Err GlobalSetup(PF_OutData* out_data)
{
    out_data->my_version = static_cast<A_u_long>(LAMINO_EFFECT_VERSION);
    out_data->out_flags = LAMINO_OUT_FLAGS;
    out_data->out_flags2 = LAMINO_OUT_FLAGS2;

    ScopedContextRestore hostContext;
    try {
        ContextRegistry::createRoot();
    } catch (const AESDK_OpenGL_Fault&) {
        // No root context: contextForCurrentThread tries again at the first render.
    }
    sharedSlicePass();
    hostContext.restore();
    return PF_Err_NONE;
}

// Makes the root context current for the teardown; false when there is none or it cannot be.
bool makeRootCurrent()
{
    AEOpenGLContext* root = ContextRegistry::root();
    if (!root) {
        return false;
    }
    try {
        root->makeCurrent();
        return true;
    } catch (const AESDK_OpenGL_Fault&) {
        return false; // a lost device: no GL call may run in whatever is current instead
    }
}

PF_Err GlobalSetdown()
{
    ScopedContextRestore hostContext;
    if (makeRootCurrent()) {
        RenderSurface::instance().teardown();
        destroySlicePass();
    } else {
        // Without a usable root context nothing can delete GL objects here: what renders made
        // goes with their contexts just below, and only the names are forgotten, so that a later
        // setup builds everything anew.
        RenderSurface::instance().teardown();
        {
            std::lock_guard<SlimMutex> lock(slicePassMutex);
            if (slicePass) {
                slicePass->abandon();
            }
        }
        destroySlicePass();
    }
    ContextRegistry::destroyAll();
    hostContext.restore();
    return PF_Err_NONE;
}

// The classic render's worlds are 8-bit, or 16-bit when the host marks them deep; the input and
// the output must agree.
bool classicPixelFormat(const PF_LayerDef* input, const PF_LayerDef* output, uint32_t& format)
{
    const bool deep = PF_WORLD_IS_DEEP(input);
    if (deep != PF_WORLD_IS_DEEP(output)) {
        return false;
    }
    format = deep ? kPixelFormatAe16 : kPixelFormatArgb;
    return true;
}

// Renders the worlds in the calling thread's own context, the host's context put back after.
// The controls are read first, before any GL work: a host may render other layers inside a
// checkout (this effect's other instances among them) on this very thread, in this very context.
void renderInOwnContext(PF_InData* in_data, const FrameWorlds& worlds, uint32_t pixelFormat)
{
    const FrameControls controls = ReadFrameControls(in_data);
    ScopedContextRestore hostContext;
    ContextRegistry::contextForCurrentThread()->makeCurrent();
    renderFrame(sharedSlicePass(), in_data, worlds, controls, pixelFormat);
    hostContext.restore();
}

PF_Err Render(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output)
{
    if (!in_data || !params || !params[0] || !hasPixels(&params[0]->u.ld) || !output) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    uint32_t pixelFormat = kPixelFormatArgb;
    if (!classicPixelFormat(&params[0]->u.ld, output, pixelFormat)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    // The custom layer stays checked out until its pixels are uploaded; it is checked out before
    // any GL work, as the controls are.
    CustomLayerCheckout custom(in_data);
    FrameWorlds worlds;
    worlds.input = &params[0]->u.ld;
    worlds.output = output;
    worlds.custom = custom.world();
    renderInOwnContext(in_data, worlds, pixelFormat);
    custom.checkIn();
    return PF_Err_NONE;
}

PF_Err Dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output, void* extra)
{
    switch (cmd) {
    case PF_Cmd_ABOUT:
        return in_data && out_data ? About(in_data, out_data) : PF_Err_BAD_CALLBACK_PARAM;
    case PF_Cmd_GLOBAL_SETUP:
        return out_data ? GlobalSetup(out_data) : PF_Err_BAD_CALLBACK_PARAM;
    case PF_Cmd_GLOBAL_SETDOWN:
        return GlobalSetdown();
    case PF_Cmd_PARAMS_SETUP:
        return ParamsSetup(in_data, out_data);
    case PF_Cmd_RENDER:
        return Render(in_data, params, output);
    case PF_Cmd_UPDATE_PARAMS_UI:
        return UpdateParamsUi(in_data, params);
    case PF_Cmd_USER_CHANGED_PARAM:
        return UserChangedParam(in_data, params, static_cast<PF_UserChangedParamExtra*>(extra));
    case PF_Cmd_SMART_PRE_RENDER:
        return SmartPreRender(in_data, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
        return SmartRender(in_data, static_cast<PF_SmartRenderExtra*>(extra), &renderInOwnContext);
    default:
        return PF_Err_NONE;
    }
}

} // namespace

extern "C" __declspec(dllexport) PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data,
                                                       PF_OutData* out_data,
                                                       PF_ParamDef* params[],
                                                       PF_LayerDef* output, void* extra)
{
    // Nothing may unwind into the host: an exception crossing this frame ends the host process.
    try {
        return Dispatch(cmd, in_data, out_data, params, output, extra);
    } catch (int thrown) {
        return hostCode(thrown); // a failed host call inside the command
    } catch (const GpuFailure& failure) {
        return reportGpuFailure(failure, out_data);
    } catch (const AESDK_OpenGL_Fault&) {
        return reportMissingOpenGl(out_data);
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return kErrInternal;
    }
}
