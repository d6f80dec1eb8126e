#pragma once

#include "hosting/HostSession.h"

#include <set>
#include <string>

namespace Tessarine::Lamino {

// The functions the host gives the effect: the interaction callbacks (add_param, checkout_param,
// checkin_param, ...), the utility callbacks (ANSI block, handles, pixel addresses), the suite
// broker (AcquireSuite / ReleaseSuite) and the suites "PF ANSI Suite" v1, "PF Handle Suite" v2 and
// "PF iterateFloat Suite" v1. Any other suite is refused ('S!Fd', null); any other callback slot
// holds a stub that notes the call and returns PF_Err_INVALID_CALLBACK.
//
// The smart-render callbacks (checkout_layer in PF_Cmd_SMART_PRE_RENDER; checkout_layer_pixels,
// checkin_layer_pixels and checkout_output in PF_Cmd_SMART_RENDER) serve the command's
// SmartRenderState.
//
// Several of these functions receive no effect_ref, so the command they serve is the one made
// current on the calling thread by a Scope, which the host holds while a command runs; called on
// a thread without one, they refuse (null, or an error code). Commands on several threads at
// once each have their own. No exception ever leaves them: they
// catch everything and answer with an error code.
class HostCallbacks {
public:
    // The suite broker's error codes: four-character codes, first character most significant.
    static constexpr SPErr kSuiteNotFound = 0x53214664;      // 'S!Fd'
    static constexpr SPErr kUnimplemented = 0x21494D50;      // '!IMP'
    static constexpr SPErr kBadParameter = 0x5061726D;       // 'Parm'
    static constexpr SPErr kOutOfMemory = SPErr(0xFFFFFF6C);  // -148

    // Fills the command's callback tables and suites.
    static void install(HostCommand& command);

    // Replaces the named functions (FaultPlan::nullCallbacks) with null pointers; names it does
    // not know are ignored (canRemove tells them apart).
    static void removeCallbacks(HostCommand& command, const std::set<std::string>& names);
    static bool canRemove(const std::string& name);

    // The session served on this thread, or null.
    static HostSession* current();

    // Makes a command (and its session) current on this thread for its lifetime, and restores
    // the previous one.
    class Scope {
    public:
        explicit Scope(HostCommand& command);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        HostCommand* previous;
    };
};

}  // namespace Tessarine::Lamino
