#pragma once

#include "AE_Effect.h"
#include "SPBasic.h"

#include <cstdint>
#include <set>
#include <string>

namespace Tessarine::Lamino {

// Host calls that a test makes fail, to see how the plug-in copes. Set on the HeadlessHost before
// a command (HeadlessHost::setFaultPlan); it stays in force until it is replaced. Counted calls
// ("the Nth") are counted from 1 within each command.
struct FaultPlan {
    // AcquireSuite of a suite with one of these names fails ('S!Fd', null suite), any version.
    std::set<std::string> missingSuites;

    // checkout_param of one of these parameter indices returns checkoutError and fills nothing.
    std::set<int32_t> failingCheckouts;
    PF_Err checkoutError = PF_Err_BAD_CALLBACK_PARAM;

    // The Nth add_param call of a command returns addParamError and records nothing (0: none).
    int32_t failAddParamCall = 0;
    PF_Err addParamError = PF_Err_OUT_OF_MEMORY;

    // The Nth handle allocation of a command (utility callback or handle suite) gives no handle
    // (0: none).
    int32_t failHandleAllocation = 0;

    // get_pixel_data8 / get_pixel_data16 report no address (null) whatever the world.
    bool noPixelData8 = false;
    bool noPixelData16 = false;

    // The float iteration suite's iterate returns this error at once, calling no pixel function
    // (0: it iterates normally).
    PF_Err iterateFloatError = PF_Err_NONE;

    // host_lock_handle (utility callback or handle suite) gives null for every handle.
    bool failHandleLock = false;

    // checkin_param takes the parameter back, then returns this error (0: it succeeds).
    PF_Err checkinError = PF_Err_NONE;

    // ReleaseSuite releases the suite, then returns this error (0: it succeeds).
    SPErr releaseSuiteError = 0;

    // Smart render. checkout_layer (pre-render) of one of these parameter indices returns
    // layerCheckoutError and checks nothing out.
    std::set<int32_t> failingLayerCheckouts;
    PF_Err layerCheckoutError = PF_Err_BAD_CALLBACK_PARAM;
    // checkout_layer_pixels of one of these checkout ids returns layerPixelsError and hands out
    // nothing.
    std::set<A_long> failingLayerPixels;
    PF_Err layerPixelsError = PF_Err_OUT_OF_MEMORY;
    // checkin_layer_pixels takes the pixels back, then returns this error (0: it succeeds).
    PF_Err layerCheckinError = PF_Err_NONE;
    // checkout_output returns this error and hands out no world (0: it succeeds).
    PF_Err outputCheckoutError = PF_Err_NONE;

    // Functions handed to the effect as null pointers, named as in the callback tables:
    // "ansi.sprintf" and "ansi.strcpy" (in the utility callbacks' ANSI block and in the ANSI
    // suite alike), "checkout_param", "checkin_param", "add_param", "get_pixel_data8",
    // "get_pixel_data16", "host_lock_handle" (utility callback and handle suite alike),
    // "AcquireSuite", "host_unlock_handle" and "host_dispose_handle" (both tables alike; they
    // return nothing, so a null pointer is the only way they can fail), and the smart-render
    // callbacks "checkout_layer", "checkout_layer_pixels", "checkin_layer_pixels" and
    // "checkout_output".
    std::set<std::string> nullCallbacks;
};

}  // namespace Tessarine::Lamino
