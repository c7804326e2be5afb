#pragma once
// cGDIPlus: the bridge to the imaging service (decoders, PNG encoding,
// transformed drawing). The service is a shared library of its own, found at
// run time like GDI+ "where present"; when it is absent every operation
// answers false and the callers take their own code paths.

#include "platform/imaging/imaging_encode.h"
#include "platform/util/pixel_view.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The library names the probe looks for (the environment's
// imagingLibraryNames).
std::vector<std::string> ImagingLibraryNames();

// Where a decode puts its pixels. The bridge sits below the surface, so it
// asks its caller for pixel memory instead of knowing the surface type.
class ImagingTarget {
public:
    virtual ~ImagingTarget() = default;
    // Zeroed memory for width x height pixels of four bytes (blue, green,
    // red, alpha, premultiplied), rows bottom row first; empty when it
    // cannot be made.
    virtual std::span<std::uint8_t> allocatePixels(std::int32_t width, std::int32_t height) = 0;
    // Drops what allocatePixels made: a failed decode leaves no image.
    virtual void releasePixels() = 0;
};

class cGDIPlus {
public:
    // --- PNG encoding (defined in cgdiplus_encode.cpp) ---------------------------
    // Encodes the pixels as PNG into the named file, or into outStream when
    // FileName is empty (outStream is emptied first). Without hasAlpha the
    // fourth byte carries nothing and every pixel is written opaque. False,
    // with nothing written, when the service or its encoder is absent or
    // encoding fails.
    bool SaveToPNG(const std::string& FileName, std::vector<std::uint8_t>& outStream,
                   velmora::ConstBgraPremulBottomUpView cHost, bool hasAlpha,
                   std::int32_t GlobalToken);
    // --- end of PNG encoding -----------------------------------------------------

    // True when the imaging library loads and offers its entry points.
    bool isGDIplusOk();

    // Decodes the named file (when FileName is not empty) or the bytes into
    // the target. With a token of 0 the call checks that the service exists
    // and works inside a session of its own. False when the service is
    // absent or cannot decode the data; the target is then left empty.
    bool LoadWithGDIplus(const std::string& FileName, std::span<const std::uint8_t> Stream,
                         ImagingTarget& cHost, std::int32_t gdiToken);

    // --- sessions (defined in cgdiplus_session.cpp) ------------------------------
    // Starts a session (shutDown false): true with its token in gdiToken, or
    // false with gdiToken 0. Stops the session of a non-zero gdiToken
    // (shutDown true) and answers false. Never fails loudly.
    bool StartStopGDIplus(std::int32_t& gdiToken, bool shutDown);
};

// The session entries of the imaging library, for callers that keep the
// library and its shutdown entry themselves (the shared GDI+ session of a
// window tree).
inline constexpr const char* kImagingStartupEntry = "velmora_imaging_startup";
inline constexpr const char* kImagingShutdownEntry = "velmora_imaging_shutdown";
// Answers 0 and a non-zero token on success.
using VelmoraImagingStartup = int (*)(std::int32_t* token);
using VelmoraImagingShutdown = void (*)(std::int32_t token);

} // namespace platform
