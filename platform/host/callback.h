#pragma once
// Functions the system calls back: their calling convention, and the
// trampoline that carries such a call to a C++ callable. Declares no name
// of the system's, so both the platform headers and the Win32 sources that
// see <windows.h> include it.

#include <functional>
#include <type_traits>

// The convention of the system's callbacks (window procedures, timer
// procedures): __stdcall on 32-bit Windows, the only place where it differs
// from the default one.
#if defined(_WIN32) && !defined(_WIN64)
#define VELMORA_CALLBACK __stdcall
#else
#define VELMORA_CALLBACK
#endif

namespace platform {

// The system calls back a plain function with the convention above and
// hands it nothing but the call's arguments, while the program's callbacks
// are callables with state (std::function, an object's member). call is
// that plain function: Find(arguments...) answers the callable the call is
// for, by value so that it stays alive through the call even when the call
// drops it (a timer killed from its own callback), or an empty one when the
// call is for nothing any longer (a timer killed while its tick was on the
// way), and the call is dropped with a zero result.
template <auto Find>
struct Trampoline;

template <class Result, class... Args, std::function<Result(Args...)> (*Find)(Args...)>
struct Trampoline<Find> {
    static Result VELMORA_CALLBACK call(Args... args) {
        const std::function<Result(Args...)> callable = Find(args...);
        if (!callable) return Result();
        return callable(args...);
    }
};

} // namespace platform
