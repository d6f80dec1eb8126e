#include "host/SmartRender.h"

#include <algorithm>
#include <vector>

#include "host/EffectParameters.h"
#include "host/LayerGeometry.h"
#include "pipeline/PixelFormat.h"

namespace Tessarine::Lamino {

namespace {

// Checkout ids of the smart render's layers.
constexpr A_long kInputCheckout = 0;
constexpr A_long kCustomCheckout = 1;

// What pre-render learns for the render that follows: the custom layer's reference size.
struct PreRenderNotes {
    int32_t customReferenceWidth = 0;
    int32_t customReferenceHeight = 0;
};

void deletePreRenderNotes(void* notes)
{
    delete static_cast<PreRenderNotes*>(notes);
}

PF_Err checkoutLayer(PF_InData* in_data, PF_PreRenderExtra* extra, A_long index, A_long id,
                     const PF_RenderRequest& request, PF_CheckoutResult& result)
{
    return extra->cb->checkout_layer(in_data->effect_ref, index, id, &request,
                                     in_data->current_time, in_data->time_step,
                                     in_data->time_scale, &result);
}

} // namespace

// The bands lie over the layer's rect (the frame) and a band may show any part of it, so the input
// is asked for over the whole frame, whatever part of it the output request holds; what lies
// beyond the frame is the edge mode's, never the input's. The custom layer is stretched over the
// frame from its reference rect and is asked for without bounds (the host holds a request to what
// the layer has). A request without area (the host asking only for the bounds) asks for no pixels.
//
// The result: the frame united with the input's largest result (an upstream effect that grows the
// layer, a glow, grows the output with it: the bands and the edge mode continue there), held to
// the request. A host that reports no layer size gets the input's result.
PF_Err SmartPreRender(PF_InData* in_data, PF_PreRenderExtra* extra)
{
    if (!in_data || !extra || !extra->input || !extra->output || !extra->cb ||
        !extra->cb->checkout_layer) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    constexpr A_long kUnbounded = 1 << 30;
    const PF_LRect unbounded{-kUnbounded, -kUnbounded, kUnbounded, kUnbounded};
    const PF_LRect asked = extra->input->output_request.rect;
    const bool boundsOnly = isEmptyRect(asked);
    const LayerGeometry geometry = layerGeometry(in_data);
    PF_RenderRequest request = extra->input->output_request;
    const PF_LRect nothing{0, 0, 0, 0};
    request.rect = boundsOnly ? nothing : geometry.known() ? geometry.frame : unbounded;
    PF_CheckoutResult input{};
    PF_Err err = checkoutLayer(in_data, extra, kInputLayer, kInputCheckout, request, input);
    if (err != PF_Err_NONE) {
        return err;
    }
    if (!geometry.known() && isEmptyRect(input.max_result_rect)) {
        return PF_Err_BAD_CALLBACK_PARAM; // neither a layer size nor pixels: no frame at all
    }
    request.rect = boundsOnly ? nothing : unbounded;
    PF_CheckoutResult custom{};
    err = checkoutLayer(in_data, extra, kCustomLayer, kCustomCheckout, request, custom);
    if (err != PF_Err_NONE) {
        return err;
    }
    PF_PreRenderOutput& output = *extra->output;
    output.max_result_rect = geometry.known()
        ? unitedRect(geometry.frame, input.max_result_rect)
        : input.max_result_rect;
    output.result_rect = intersectedRect(asked, output.max_result_rect);
    output.solid = 0;
    output.flags = 0;
    output.pre_render_data =
        new PreRenderNotes{std::max(0, custom.ref_width), std::max(0, custom.ref_height)};
    output.delete_pre_render_data_func = &deletePreRenderNotes;
    return PF_Err_NONE;
}

namespace {

// Checked-out worlds lie at their origins in their layers' buffer pixels.
void placeWorlds(FrameWorlds& worlds, const PF_SmartRenderInput& input)
{
    if (worlds.input) {
        worlds.inputOrigin[0] = worlds.input->origin_x;
        worlds.inputOrigin[1] = worlds.input->origin_y;
    }
    worlds.outputOrigin[0] = worlds.output->origin_x;
    worlds.outputOrigin[1] = worlds.output->origin_y;
    if (worlds.custom) {
        worlds.customOrigin[0] = worlds.custom->origin_x;
        worlds.customOrigin[1] = worlds.custom->origin_y;
    }
    if (const auto* notes = static_cast<const PreRenderNotes*>(input.pre_render_data)) {
        worlds.customReferenceWidth = notes->customReferenceWidth;
        worlds.customReferenceHeight = notes->customReferenceHeight;
    }
    worlds.keepZeroAlphaColour = input.output_request.preserve_rgb_of_zero_alpha != 0;
}

bool smartPixelFormat(short bitdepth, uint32_t& format)
{
    switch (bitdepth) {
    case 8: format = kPixelFormatArgb; return true;
    case 16: format = kPixelFormatAe16; return true;
    case 32: format = kPixelFormatAe32; return true;
    default: return false;
    }
}

// The layers a smart render has checked out, checked in again on every way out: explicitly after
// a render (checkIn gives the host's first error), else when an error unwinds.
class LayerCheckins {
public:
    LayerCheckins(const PF_SmartRenderCallbacks& callbacks, PF_ProgPtr effect)
        : callbacks(callbacks), effect(effect)
    {
    }
    ~LayerCheckins() { checkIn(); }
    LayerCheckins(const LayerCheckins&) = delete;
    LayerCheckins& operator=(const LayerCheckins&) = delete;

    PF_Err checkOut(A_long id, PF_EffectWorld*& world)
    {
        world = nullptr;
        const PF_Err err = callbacks.checkout_layer_pixels(effect, id, &world);
        if (err == PF_Err_NONE) {
            held.push_back(id);
        }
        return err;
    }

    PF_Err checkIn()
    {
        PF_Err first = PF_Err_NONE;
        for (A_long id : held) {
            const PF_Err err = callbacks.checkin_layer_pixels(effect, id);
            first = first != PF_Err_NONE ? first : err;
        }
        held.clear();
        return first;
    }

private:
    const PF_SmartRenderCallbacks& callbacks;
    PF_ProgPtr effect;
    std::vector<A_long> held;
};

} // namespace

PF_Err SmartRender(PF_InData* in_data, PF_SmartRenderExtra* extra, FrameRenderer render)
{
    if (!in_data || !extra || !extra->input || !extra->cb ||
        !extra->cb->checkout_layer_pixels || !extra->cb->checkin_layer_pixels ||
        !extra->cb->checkout_output) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    uint32_t pixelFormat = kPixelFormatArgb;
    if (!smartPixelFormat(extra->input->bitdepth, pixelFormat)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    LayerCheckins layers(*extra->cb, in_data->effect_ref);
    FrameWorlds worlds;
    PF_Err err = layers.checkOut(kInputCheckout, worlds.input);
    if (err == PF_Err_NONE) {
        err = layers.checkOut(kCustomCheckout, worlds.custom);
    }
    if (err == PF_Err_NONE) {
        err = extra->cb->checkout_output(in_data->effect_ref, &worlds.output);
    }
    if (err != PF_Err_NONE) {
        return err;
    }
    if (!worlds.output || worlds.output->width < 0 || worlds.output->height < 0) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (worlds.input && (!worlds.input->data || !hasPixels(worlds.input))) {
        worlds.input = nullptr; // nothing of the layer in the request (a mask beside it)
    }
    if (!worlds.input && !layerGeometry(in_data).known()) {
        return PF_Err_BAD_CALLBACK_PARAM; // neither a layer size nor pixels: no frame at all
    }
    if (worlds.custom && (!worlds.custom->data || !hasPixels(worlds.custom))) {
        worlds.custom = nullptr; // a layer without pixels lays nothing over the input
    }
    placeWorlds(worlds, *extra->input);
    render(in_data, worlds, pixelFormat);
    return layers.checkIn();
}

} // namespace Tessarine::Lamino
