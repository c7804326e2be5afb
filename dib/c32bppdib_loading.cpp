// The surface's loading members. They live here rather than in surface/
// because they call the readers, which sit above the surface.

#include "codecs/cbmpparser.h"
#include "codecs/cgifparser.h"
#include "codecs/cicoparser.h"
#include "codecs/cpngparser.h"
#include "codecs/imaging_decode.h"
#include "codecs/modparsers.h"
#include "codecs/stream_range.h"
#include "dib/c32bppdib.h"
#include "platform/host/window_host.h"
#include "platform/system/file.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <new>
#include <optional>

namespace {

// The smallest data worth offering to the readers: no image file of any
// supported format is shorter.
constexpr std::int64_t kSmallestImage = 57;
constexpr const char* kDefaultCaption = "Velmora";

struct IconRequest {
    std::int32_t cx;
    std::int32_t cy;
    std::int32_t depth;
};

IconRequest normalise(std::int32_t cx, std::int32_t cy, std::int32_t depth) {
    return {std::max(cx, 0), std::max(cy, 0), (depth < 0 || depth > 32) ? 32 : depth};
}

// An icon or cursor directory starts with a reserved 0 and type 1 or 2.
bool mayBeIconDirectory(std::span<const std::uint8_t> range) {
    return range.size() >= 4 && range[0] == 0 && range[1] == 0 &&
           (range[2] == 1 || range[2] == 2) && range[3] == 0;
}

// The readers after PNG, in their fixed order: GIF, then icon/cursor, then
// bitmap; the first that recognises the bytes ends the search.
bool offerToOtherReaders(std::span<const std::uint8_t> bytes, c32bppDIB& host, std::int32_t start,
                         std::int32_t length, const IconRequest& icon) {
    if (cGIFparser().LoadStream(bytes, host, start, length)) return true;

    const auto range = codecs::streamRange(bytes, start, length);
    if (range && mayBeIconDirectory(*range)) {
        // The icon reader repairs the bytes it reads. It gets a copy of the
        // range, so the caller's bytes, and the source the surface keeps,
        // stay exactly as they were given; a reload repeats the repairs.
        std::vector<std::uint8_t> scratch(range->begin(), range->end());
        std::int32_t offset = 0;
        std::int32_t scratchLength = 0;
        if (cICOparser().LoadStream(scratch, icon.cx, icon.cy, &host, offset, scratchLength,
                                    icon.depth, host.gdiToken()))
            return true;
    }

    return cBMPparser().LoadStream(bytes, host, start, length);
}

// The PNG attempt. Malformed data mostly makes it answer with an empty
// surface. The failures that leave the reader (chunk lengths that overflow,
// data in memory ending without IEND) and genuine run-time failures (memory
// running out) are shown to the user, and loading goes on with the other
// readers.
bool tryPng(c32bppDIB& host, platform::File* file, const std::string& fileName,
            std::span<const std::uint8_t> bytes, std::int32_t start, std::int32_t length) {
    std::optional<std::string> failure;
    try {
        cPNGparser png;
        const bool recognised = file ? png.LoadFile(*file, fileName, host, host.gdiToken())
                                     : png.LoadStream(bytes, host, start, length, host.gdiToken());
        if (!codecs::LeavesReader(png.lastError())) return recognised;
        failure = std::string("Invalid PNG data: ") + codecs::describe(png.lastError());
    } catch (const std::bad_alloc&) {
        failure = "Out of memory";
    } catch (const std::exception& e) {
        failure = e.what();
    }
    host.DestroyDIB();
    platform::CurrentHost().MessageBox(*failure, kDefaultCaption, platform::MB_OK);
    return false;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(platform::File& file) {
    const std::int64_t size = file.size();
    // Ranges are 32-bit signed throughout the readers.
    if (size < 0 || size > INT32_MAX) return std::nullopt;
    if (file.seek(0, platform::SeekOrigin::Begin) != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (file.read(bytes) != size) return std::nullopt;
    return bytes;
}

// Offers the data to the readers in their fixed order, then to the imaging
// service. A reader's "recognised" does not mean "decoded": success is
// judged by whether the surface holds an image.
bool dispatch(c32bppDIB& host, platform::File* file, const std::string& fileName,
              std::span<const std::uint8_t> bytes, std::int32_t iconCx, std::int32_t iconCy,
              std::int32_t streamStart, std::int32_t streamLength, bool saveFormat,
              std::int32_t iconBitDepth) {
    host.DestroyDIB();
    const IconRequest icon = normalise(iconCx, iconCy, iconBitDepth);

    std::vector<std::uint8_t> fileBytes;
    bool recognised = tryPng(host, file, fileName, bytes, streamStart, streamLength);
    if (!recognised) {
        if (file) {
            // The other readers work on memory: read the file whole.
            auto whole = readWholeFile(*file);
            if (!whole) {
                host.DestroyDIB();
                return false;
            }
            fileBytes = std::move(*whole);
            bytes = fileBytes;
            streamStart = 0;
            streamLength = static_cast<std::int32_t>(fileBytes.size());
        }
        recognised = offerToOtherReaders(bytes, host, streamStart, streamLength, icon);
    }

    bool keptFromImaging = false;
    if (host.Handle() == 0 && host.isGDIplusEnabled() &&
        codecs::LoadWithImagingService(fileName, bytes, host, host.gdiToken()) && saveFormat) {
        // What the service decoded is kept as PNG, never as the source
        // file: reloading the kept bytes must not depend on the service.
        std::vector<std::uint8_t> png;
        if (host.SaveToStream_PNG(png)) host.setOriginalFormatBytes(std::move(png));
        keptFromImaging = true;
    }

    if (host.Handle() == 0) {
        host.DestroyDIB();
        return false;
    }
    if (saveFormat && !keptFromImaging) {
        // The whole array, even when only a part of it held the image.
        if (!bytes.empty() || !file) {
            host.setOriginalFormatBytes({bytes.begin(), bytes.end()});
        } else if (auto whole = readWholeFile(*file)) {
            host.setOriginalFormatBytes(std::move(*whole));
        }
    }
    return true;
}

} // namespace

bool c32bppDIB::LoadPicture_File(const std::string& FileName, std::int32_t iconCx,
                                 std::int32_t iconCy, bool SaveFormat, std::int32_t iconBitDepth) {
    // A failed load never leaves the previous image behind.
    DestroyDIB();
    const bool wide = (flags_ & kAlphaBlendAllowed) && !(flags_ & kConsumerWindows);
    platform::File file = modParsers::OpenFileHandle(FileName, true, wide);
    if (!file.valid()) return false;
    if (file.size() < kSmallestImage) return false;
    return dispatch(*this, &file, FileName, {}, iconCx, iconCy, 0, 0, SaveFormat, iconBitDepth);
}

bool c32bppDIB::LoadPicture_Stream(std::span<const std::uint8_t> inStream, std::int32_t iconCx,
                                   std::int32_t iconCy, std::int32_t streamStart,
                                   std::int32_t streamLength, bool SaveFormat,
                                   std::int32_t iconBitDepth) {
    DestroyDIB();
    if (inStream.empty()) return false;
    const std::int64_t size = static_cast<std::int64_t>(inStream.size());
    const std::int64_t start = std::max<std::int64_t>(streamStart, 0);
    const std::int64_t length = streamLength == 0 ? size - start : streamLength;
    if (length < kSmallestImage || length > INT32_MAX) return false;
    // A range that ends beyond the array is refused rather than read.
    if (start + length > size) return false;
    return dispatch(*this, nullptr, {}, inStream, iconCx, iconCy, static_cast<std::int32_t>(start),
                    static_cast<std::int32_t>(length), SaveFormat, iconBitDepth);
}

bool c32bppDIB::LoadPicture_FromOrignalFormat(std::int32_t iconCx, std::int32_t iconCy,
                                              std::int32_t iconBitDepth) {
    // A copy: the load empties the kept bytes before it reads them again.
    const std::vector<std::uint8_t> source = originalFormatBytes();
    return LoadPicture_Stream(source, iconCx, iconCy, 0, 0, true, iconBitDepth);
}
