#pragma once

// A minimal stand-in for the host's side of layer upload and readback: in_data with the pixel
// address callbacks, and "PF Handle Suite" 2 and "PF iterateFloat Suite" 1 through a basic suite.
// Counts what was acquired and allocated, so that tests can check everything is given back.
// One FakeHost at a time (the host's callbacks carry no user data).

#include <cstdlib>
#include <string>

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "SPBasic.h"

namespace Tessarine::Lamino::Testing {

class FakeHost {
public:
    FakeHost()
    {
        active() = this;
        pica.AcquireSuite = &acquireSuite;
        pica.ReleaseSuite = &releaseSuite;
        utils.get_pixel_data8 = &pixelData8;
        utils.get_pixel_data16 = &pixelData16;
        handles.host_new_handle = &newHandle;
        handles.host_lock_handle = &lockHandle;
        handles.host_unlock_handle = &unlockHandle;
        handles.host_dispose_handle = &disposeHandle;
        floats.iterate = &iterateFloat;
        in_data.utils = &utils;
        in_data.pica_basicP = &pica;
    }
    ~FakeHost() { active() = nullptr; }

    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    PF_InData* inData() { return &in_data; }

    // Knobs.
    bool withoutPixelAddress = false;
    bool withoutHandleSuite = false;
    bool withoutFloatSuite = false;
    bool failAllocation = false;
    PF_Err iterationError = PF_Err_NONE;

    // Counters.
    int suitesHeld = 0;
    int handlesLive = 0;
    int handlesLocked = 0;
    int handlesMade = 0;

private:
    static FakeHost*& active()
    {
        static FakeHost* host = nullptr;
        return host;
    }

    static SPErr SPAPI acquireSuite(const char* name, int32_t version, const void** suite)
    {
        FakeHost& host = *active();
        *suite = nullptr;
        if (std::string(name) == kPFHandleSuite && version == kPFHandleSuiteVersion1 &&
            !host.withoutHandleSuite) {
            *suite = &host.handles;
        } else if (std::string(name) == kPFIterateFloatSuite &&
                   version == kPFIterateFloatSuiteVersion1 && !host.withoutFloatSuite) {
            *suite = &host.floats;
        }
        if (!*suite) {
            return A_Err_MISSING_SUITE;
        }
        ++host.suitesHeld;
        return kSPNoError;
    }

    static SPErr SPAPI releaseSuite(const char*, int32_t)
    {
        --active()->suitesHeld;
        return kSPNoError;
    }

    static PF_Err pixelData8(PF_EffectWorld* world, PF_PixelPtr, PF_Pixel8** pixels)
    {
        *pixels =
            active()->withoutPixelAddress ? nullptr : reinterpret_cast<PF_Pixel8*>(world->data);
        return PF_Err_NONE;
    }

    static PF_Err pixelData16(PF_EffectWorld* world, PF_PixelPtr, PF_Pixel16** pixels)
    {
        *pixels =
            active()->withoutPixelAddress ? nullptr : reinterpret_cast<PF_Pixel16*>(world->data);
        return PF_Err_NONE;
    }

    static PF_Handle newHandle(A_HandleSize size)
    {
        FakeHost& host = *active();
        if (host.failAllocation) {
            return nullptr;
        }
        ++host.handlesLive;
        ++host.handlesMade;
        void** handle = new void*;
        *handle = std::calloc(size == 0 ? 1 : size, 1);
        return handle;
    }

    static void* lockHandle(PF_Handle handle)
    {
        ++active()->handlesLocked;
        return *handle;
    }

    static void unlockHandle(PF_Handle) { --active()->handlesLocked; }

    static void disposeHandle(PF_Handle handle)
    {
        --active()->handlesLive;
        std::free(*handle);
        delete handle;
    }

    static PF_PixelFloat* floatPixel(PF_EffectWorld* world, A_long x, A_long y)
    {
        return reinterpret_cast<PF_PixelFloat*>(reinterpret_cast<char*>(world->data) +
                                                static_cast<ptrdiff_t>(y) * world->rowbytes) +
               x;
    }

    // Walks the destination world row by row, as the host does, handing each pixel of src and dst.
    static PF_Err iterateFloat(PF_InData*, A_long, A_long, PF_EffectWorld* src, const PF_Rect*,
                               void* refcon, PF_IteratePixelFloatFunc function, PF_EffectWorld* dst)
    {
        if (active()->iterationError != PF_Err_NONE) {
            return active()->iterationError;
        }
        for (A_long y = 0; y < dst->height; ++y) {
            for (A_long x = 0; x < dst->width; ++x) {
                PF_PixelFloat outside{};
                PF_PixelFloat* in =
                    x < src->width && y < src->height ? floatPixel(src, x, y) : &outside;
                const PF_Err err = function(refcon, x, y, in, floatPixel(dst, x, y));
                if (err != PF_Err_NONE) {
                    return err;
                }
            }
        }
        return PF_Err_NONE;
    }

    PF_InData in_data{};
    PF_UtilCallbacks utils{};
    SPBasicSuite pica{};
    PF_HandleSuite1 handles{};
    PF_IterateFloatSuite1 floats{};
};

// The int host code that `action` throws, or 0 when it throws none.
template <class Action> int thrownCode(Action action)
{
    try {
        action();
    } catch (int code) {
        return code;
    }
    return 0;
}

// A host world over memory the test owns.
inline PF_EffectWorld worldOver(void* pixels, A_long width, A_long height, A_long rowbytes)
{
    PF_EffectWorld world{};
    world.data = reinterpret_cast<PF_PixelPtr>(pixels);
    world.width = width;
    world.height = height;
    world.rowbytes = rowbytes;
    return world;
}

} // namespace Tessarine::Lamino::Testing
