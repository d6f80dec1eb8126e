// The plug-in's one export: the host drives the effect through EntryPointFunc with command codes.

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
#include "gl/ScopedContextRestore.h"
#include "host/EffectIdentity.h"
#include "host/EffectParameters.h"
#include "host/SuiteScope.h"
#include "pipeline/LayerUpload.h"
#include "pipeline/PixelFormat.h"
#include "pipeline/Readback.h"
#include "pipeline/RenderSurface.h"

using namespace gl;
using namespace Tessarine::Lamino;

static_assert(LAMINO_EFFECT_VERSION == PF_VERSION(LAMINO_EFFECT_MAJOR, LAMINO_EFFECT_MINOR, 0,
                                                  PF_Stage_DEVELOP, 1));

namespace {

// The one slice pass of the process. Made at library load without any GL work; destroyed at
// global setdown, and made again by a global setup that follows in the same load. Deliberately
// not destroyed at library unload: without a current context its GL deletions would fail there.
SlicePass* slicePass = new SlicePass();

void destroySlicePass()
{
    delete slicePass;
    slicePass = nullptr;
}

// Error codes for failures that are not host codes. A context that cannot be made, or any other
// internal failure, is reported as damaged internal state; memory exhaustion as such.
constexpr PF_Err kErrGlContext = PF_Err_INTERNAL_STRUCT_DAMAGED;
constexpr PF_Err kErrInternal = PF_Err_INTERNAL_STRUCT_DAMAGED;

// Deletes the render's layer textures when the render ends, also on an error, and clears the
// record's custom layer name: a deleted name must never be sampled or deleted again.
class RenderTextures {
public:
    explicit RenderTextures(SliceParameters& parameters) : parameters(parameters) {}
    ~RenderTextures() { release(); }
    RenderTextures(const RenderTextures&) = delete;
    RenderTextures& operator=(const RenderTextures&) = delete;

    void release()
    {
        if (input != 0) {
            glDeleteTextures(1, &input);
            input = 0;
        }
        if (parameters.customLayerTexture != 0) {
            glDeleteTextures(1, &parameters.customLayerTexture);
            parameters.customLayerTexture = 0;
        }
    }

    GLuint input = 0;

private:
    SliceParameters& parameters;
};

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

PF_Err GlobalSetup(PF_OutData* out_data)
{
    out_data->my_version = static_cast<A_u_long>(LAMINO_EFFECT_VERSION);
    out_data->out_flags = LAMINO_OUT_FLAGS;
    out_data->out_flags2 = LAMINO_OUT_FLAGS2;

    ScopedContextRestore hostContext;
    ContextRegistry::createRoot();
    if (!slicePass) {
        slicePass = new SlicePass();
    }
    hostContext.restore();
    return PF_Err_NONE;
}

PF_Err GlobalSetdown()
{
    ScopedContextRestore hostContext;
    if (AEOpenGLContext* root = ContextRegistry::root()) {
        root->makeCurrent();
        RenderSurface::instance().teardown();
        destroySlicePass();
    } else {
        // Without a root context nothing can delete GL objects here; those of the pass (made by
        // renders that no global setup preceded) go with their contexts just below.
        slicePass = nullptr;
    }
    ContextRegistry::destroyAll();
    hostContext.restore();
    return PF_Err_NONE;
}

bool isUsableWorld(const PF_LayerDef* world)
{
    return world && world->width > 0 && world->height > 0;
}

// A frame beyond the driver's largest renderbuffer would be drawn nowhere and read back empty.
void requireSurfaceFits(const PF_LayerDef* input)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    if (input->width > largest || input->height > largest) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
}

void drawSlices(PF_InData* in_data, PF_LayerDef* input, RenderTextures& textures,
                size_t& pixelBytes, GLenum& glType, float& multiplier)
{
    requireSurfaceFits(input);
    RenderSurface& surface = RenderSurface::instance();
    surface.resize(input->width, input->height);
    surface.beginDraw();
    textures.input = uploadLayer(kPixelFormatArgb, input, in_data, pixelBytes, glType, multiplier);
    ReadSliceParameters(slicePass->parameters, in_data);
    slicePass->draw(textures.input, static_cast<double>(input->width),
                    static_cast<double>(input->height));
    textures.release();
    surface.convertOutput(multiplier);
}

PF_Err Render(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output)
{
    if (!in_data || !params || !params[0] || !isUsableWorld(&params[0]->u.ld) || !output) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_LayerDef* input = &params[0]->u.ld;
    size_t pixelBytes = 4;
    GLenum glType = GL_UNSIGNED_BYTE;
    float multiplier = 1.0f;

    ScopedContextRestore hostContext;
    ContextRegistry::contextForCurrentThread()->makeCurrent();
    if (!slicePass) {
        slicePass = new SlicePass(); // a render that no global setup preceded
    }
    RenderTextures textures(slicePass->parameters);
    drawSlices(in_data, input, textures, pixelBytes, glType, multiplier);
    readBackOutput(input->width, input->height, input, output, in_data, kPixelFormatArgb,
                   pixelBytes, glType);
    hostContext.restore();
    return PF_Err_NONE;
}

PF_Err Dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output)
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
    default:
        return PF_Err_NONE;
    }
}

} // namespace

extern "C" __declspec(dllexport) PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data,
                                                       PF_OutData* out_data,
                                                       PF_ParamDef* params[],
                                                       PF_LayerDef* output, void* /*extra*/)
{
    // Nothing may unwind into the host: an exception crossing this frame ends the host process.
    try {
        return Dispatch(cmd, in_data, out_data, params, output);
    } catch (int) {
        return PF_Err_BAD_CALLBACK_PARAM; // a failed host call inside the command
    } catch (const AESDK_OpenGL_Fault&) {
        return kErrGlContext;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return kErrInternal;
    }
}
