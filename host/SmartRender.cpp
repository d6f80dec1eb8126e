#include "host/SmartRender.h"

#include <algorithm>
#include <vector>

#include "host/EffectParameters.h"
#include "pipeline/PixelFormat.h"

namespace Tessarine::Lamino {

namespace {

// Checkout ids of the smart render's layers.
constexpr A_long kInputCheckout = 0;
constexpr A_long kCustomCheckout = 1;

bool isUsableWorld(const PF_LayerDef* world)
{
    return world && world->width > 0 && world->height > 0;
}

PF_LRect intersection(const PF_LRect& a, const PF_LRect& b)
{
    PF_LRect both{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom)};
    if (both.left >= both.right || both.top >= both.bottom) {
        return PF_LRect{0, 0, 0, 0};
    }
    return both;
}

} // namespace

// Any output pixel may show any input pixel (bands move along themselves) and the custom layer is
// stretched over the frame, so both layers are asked for whole. The host holds a request to what
// the layer has; the custom layer's size is not known here, so it is asked for without bounds.
PF_Err SmartPreRender(PF_InData* in_data, PF_PreRenderExtra* extra)
{
    if (!in_data || !extra || !extra->input || !extra->output || !extra->cb ||
        !extra->cb->checkout_layer) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    constexpr A_long kUnbounded = 1 << 30;
    PF_RenderRequest request = extra->input->output_request;
    request.rect = in_data->width > 0 && in_data->height > 0
        ? PF_LRect{0, 0, in_data->width, in_data->height}
        : PF_LRect{-kUnbounded, -kUnbounded, kUnbounded, kUnbounded};
    PF_CheckoutResult input{};
    PF_Err err = extra->cb->checkout_layer(in_data->effect_ref, kInputLayer, kInputCheckout,
                                           &request, in_data->current_time, in_data->time_step,
                                           in_data->time_scale, &input);
    if (err != PF_Err_NONE) {
        return err;
    }
    request.rect = PF_LRect{-kUnbounded, -kUnbounded, kUnbounded, kUnbounded};
    PF_CheckoutResult custom{};
    err = extra->cb->checkout_layer(in_data->effect_ref, kCustomLayer, kCustomCheckout, &request,
                                    in_data->current_time, in_data->time_step,
                                    in_data->time_scale, &custom);
    if (err != PF_Err_NONE) {
        return err;
    }
    // The effect fills the input layer's whole frame and nothing beyond it.
    PF_PreRenderOutput& output = *extra->output;
    output.max_result_rect = input.max_result_rect;
    output.result_rect = intersection(extra->input->output_request.rect, input.max_result_rect);
    output.solid = 0;
    output.flags = 0;
    output.pre_render_data = nullptr;
    output.delete_pre_render_data_func = nullptr;
    return PF_Err_NONE;
}

namespace {

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
    if (!isUsableWorld(worlds.input) || !worlds.output) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (worlds.custom && (!worlds.custom->data || !isUsableWorld(worlds.custom))) {
        worlds.custom = nullptr; // a layer without pixels lays nothing over the input
    }
    // The output's first pixel, in the input layer's pixels.
    worlds.outputX = worlds.output->origin_x - worlds.input->origin_x;
    worlds.outputY = worlds.output->origin_y - worlds.input->origin_y;
    if (worlds.outputX < 0 || worlds.outputY < 0) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    render(in_data, worlds, pixelFormat);
    return layers.checkIn();
}

} // namespace Tessarine::Lamino
