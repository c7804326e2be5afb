#pragma once
// The process's settings in one record: the limits the decoders and the
// region code keep to, the library names the run-time probes look for, the
// system version the drawing paths are decided from and the window host.
// A program's entry point adjusts them once at start; tests change them for
// one scope with ScopedEnvironment, which puts the previous record back when
// it ends (also when a failed assertion leaves the test early).

#include "platform/system/version.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace platform {

class WindowHost;

// What a 32-bit surface can hold: the largest picture, in pixels, the
// decoders agree to allocate by default.
inline constexpr std::size_t kDefaultDecodePixelLimit =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) / 4;

struct Environment {
    // The largest picture, in pixels, the bitmap, icon and GIF decoders
    // agree to allocate.
    std::size_t decodePixelLimit = kDefaultDecodePixelLimit;
    // ExtCreateRegion refuses lists of more rectangles, as some systems do
    // with large regions; 0 is no limit.
    std::uint32_t regionRectLimit = 0;
    // The libraries the zlib probe tries, in order (only the first two).
    std::vector<std::string> zlibLibraryNames = DefaultZlibLibraryNames();
    // The libraries the imaging-service probe tries, in order.
    std::vector<std::string> imagingLibraryNames = DefaultImagingLibraryNames();
    // What the system version query answers.
    SystemVersion systemVersion = RunningSystemVersion();
    // The window host; null is the console host.
    WindowHost* host = nullptr;

    // "libz.so.1" and "libz.so" here; "zlib1.dll" beside the program on Windows.
    static std::vector<std::string> DefaultZlibLibraryNames();
    // The imaging service, as one of the program's own libraries.
    static std::vector<std::string> DefaultImagingLibraryNames();
    // Where one of the program's own libraries is: built beside the
    // program, then installed in the program's private library folder
    // (Linux); never a bare name that the system's search path would
    // resolve. The folder is named outright rather than left to the
    // program's run path: a library search made on the program's behalf
    // (as sanitizer runtimes do) would not see the program's run path.
    static std::vector<std::string> OwnLibraryNames(const std::string& file);
};

// The settings in force.
const Environment& CurrentEnvironment();

// The settings to change for the rest of the process, for a program's entry
// point and for fuzzing harnesses (which have no scope around their runs).
// Tests use ScopedEnvironment instead.
Environment& ProcessEnvironment();

// Changes the settings for the life of the object and restores the ones
// before it afterwards. Scopes nest; the newest one is changed through ->.
class ScopedEnvironment {
public:
    ScopedEnvironment();
    explicit ScopedEnvironment(Environment replacement);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    Environment* operator->();
    Environment& operator*();

private:
    Environment previous_;
};

} // namespace platform
