#pragma once
// cGDIPlus: the bridge to the imaging service (decoders, PNG encoding,
// transformed drawing). The service is a shared library of its own
// (libvelmora-imaging, imaging/velmora_imaging.h), found at run time "where
// present"; when it is absent every operation answers false and the
// callers take their own code paths. Callers make a fresh instance for each
// use; nothing is kept between calls.

#include "platform/util/pixel_view.h"

#include <array>
#include <cstdint>
#include <optional>
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
    // Memory for width x height pixels of four bytes (blue, green, red,
    // alpha, premultiplied), rows bottom row first; empty when it cannot be
    // made. It need not be cleared, and should not be written before the
    // decoder writes it: the decoder writes every pixel or fails.
    virtual std::span<std::uint8_t> allocatePixels(std::int32_t width, std::int32_t height) = 0;
    // Drops what allocatePixels made: a failed decode leaves no image.
    virtual void releasePixels() = 0;
};

// Why the imaging service refused a decode: its reason in a few English
// words, and whether it judged the data damaged (cut short, malformed, or a
// header its data cannot hold) rather than too large, of a variant it does
// not decode, or not its format at all.
struct ImagingRefusal {
    std::string reason;
    bool damaged = false;
};

// The refusal of the last decode the bridge asked of the service on the
// calling thread (LoadWithGDIplus); none when that decode succeeded, when
// no decode ran (no service, no session, no bytes), or before any. Kept
// per thread, as the library keeps its own, so that a caller several
// layers up can still say why a file gave no image.
std::optional<ImagingRefusal> LastImagingRefusal();

// A growable block of bytes, standing in for a memory stream: what
// StreamFromArray makes and ArrayFromStream copies out.
struct MemoryStream {
    std::vector<std::uint8_t> bytes;
};

class cGDIPlus {
public:
    // True when the imaging library loads and a session can be started.
    // The session's token goes to gdiToken; unless KeepToken it is shut
    // down again at once (gdiToken keeps the stale value, which the caller
    // ignores).
    bool isGDIplusOk(std::int32_t& gdiToken, bool KeepToken);
    // The probe as the surface asks it: a zero token, not kept.
    bool isGDIplusOk();

    // --- PNG encoding (defined in cgdiplus_encode.cpp) ---------------------------
    // Encodes the pixels as PNG, top row first, into the named file, or into
    // outStream when FileName is empty (outStream is emptied first; it is
    // left alone when a file is written). Without hasAlpha the fourth byte
    // carries nothing and every pixel is written opaque. Runs in the
    // session of GlobalToken, or in one of its own when that is 0. False,
    // with nothing written, when there is no image, no service, no PNG
    // encoder, or the encoding fails.
    bool SaveToPNG(const std::string& FileName, std::vector<std::uint8_t>& outStream,
                   velmora::ConstBgraPremulBottomUpView cHost, bool hasAlpha,
                   std::int32_t GlobalToken);
    // --- end of PNG encoding -----------------------------------------------------

    // Decodes the named file (when FileName is not empty) or the bytes into
    // the target, in the session of gdiToken or one of its own. False when
    // the service is absent or cannot decode the data; the target is then
    // left empty, and LastImagingRefusal() tells why the service refused.
    bool LoadWithGDIplus(const std::string& FileName, std::span<const std::uint8_t> Stream,
                         ImagingTarget& cHost, std::int32_t gdiToken);

    // --- sessions (defined in cgdiplus_session.cpp) ------------------------------
    // Starts a session (shutDown false): true with its token in gdiToken, or
    // false with gdiToken 0. Stops the session of a non-zero gdiToken
    // (shutDown true) and answers false. Never fails loudly.
    bool StartStopGDIplus(std::int32_t& gdiToken, bool shutDown);

    // --- helpers ---------------------------------------------------------------------
    // The 1-based position of the first encoder whose MIME type is mimeType
    // (letter case aside), its identifier copied to clsid; -1 when the
    // service offers none.
    std::int32_t GetEncoderClsid(const std::string& mimeType, std::array<std::uint8_t, 16>& clsid);
    // A stream holding bytes[startIndex ..]; an empty growable stream for an
    // empty array; none for a start outside the array.
    static std::optional<MemoryStream> StreamFromArray(std::span<const std::uint8_t> bytes,
                                                       std::int32_t startIndex);
    // Copies the stream's bytes to outStream; false for a missing or empty
    // stream.
    static bool ArrayFromStream(const MemoryStream* stream, std::vector<std::uint8_t>& outStream);
};

// The session entries of the imaging library, for callers that keep the
// library and its shutdown entry themselves (the shared GDI+ session of a
// window tree).
inline constexpr const char* kImagingVersionEntry = "velmora_imaging_version";
// What the version entry of a library of this interface answers (the
// header's VELMORA_IMAGING_ABI_VERSION, which only the bridge includes).
extern const std::int32_t kImagingInterfaceVersion;
inline constexpr const char* kImagingStartupEntry = "velmora_imaging_startup";
inline constexpr const char* kImagingShutdownEntry = "velmora_imaging_shutdown";
// Answers 0 and a non-zero token on success.
using VelmoraImagingStartup = int (*)(std::int32_t* token);
using VelmoraImagingShutdown = std::int32_t (*)(std::int32_t token);

} // namespace platform
