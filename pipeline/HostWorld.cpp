#include "pipeline/HostWorld.h"

#include "AE_EffectCBSuites.h"
#include "host/SuiteScope.h"
#include "pipeline/LayerUpload.h"

namespace Tessarine::Lamino {

void requireWorld(const PF_EffectWorld* world)
{
    if (!world || world->width < 0 || world->height < 0) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
}

unsigned char* hostPixels(PF_InData* in_data, PF_EffectWorld* world, size_t pixelBytes)
{
    requireWorld(world);
    const long long rowbytes = world->rowbytes;
    const long long rowLength =
        static_cast<long long>(world->width) * static_cast<long long>(pixelBytes);
    if (rowbytes < rowLength || rowbytes % static_cast<long long>(pixelBytes) != 0) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    if (!in_data || !in_data->utils) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    PF_UtilCallbacks* utils = in_data->utils;
    void* address = nullptr;
    PF_Err err = PF_Err_NONE;
    if (pixelBytes == sizeof(PF_Pixel8) && utils->get_pixel_data8) {
        PF_Pixel8* pixels = nullptr;
        err = utils->get_pixel_data8(world, nullptr, &pixels);
        address = pixels;
    } else if (pixelBytes == sizeof(PF_Pixel16) && utils->get_pixel_data16) {
        PF_Pixel16* pixels = nullptr;
        err = utils->get_pixel_data16(world, nullptr, &pixels);
        address = pixels;
    }
    if (err != PF_Err_NONE) {
        throw int(err); // the host's own reason, passed back as it is
    }
    if (!address) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    return static_cast<unsigned char*>(address);
}

void iterateFloatPixels(PF_InData* in_data, A_long progressFinal, PF_EffectWorld* src,
                        FloatCopyContext* context, PF_IteratePixelFloatFunc pixelFunction,
                        PF_EffectWorld* dst)
{
    if (!in_data) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    SuiteScope scope(in_data->pica_basicP, kPFIterateFloatSuite, kPFIterateFloatSuiteVersion1);
    const PF_IterateFloatSuite1* suite = scope.get<PF_IterateFloatSuite1>();
    if (!suite->iterate) {
        throw int(A_Err_MISSING_SUITE);
    }
    const PF_Err err =
        suite->iterate(in_data, 0, progressFinal, src, nullptr, context, pixelFunction, dst);
    if (err != PF_Err_NONE) {
        throw int(err);
    }
}

PF_PixelFloat* denseBufferPixel(const FloatCopyContext* context, A_long x, A_long y)
{
    if (!context || !context->buffer || !context->world || x < 0 || y < 0 ||
        x >= context->world->width || y >= context->world->height) {
        return nullptr;
    }
    return context->buffer + static_cast<size_t>(y) * static_cast<size_t>(context->world->width) +
           static_cast<size_t>(x);
}

} // namespace Tessarine::Lamino
