// PNG encoding through the imaging service. The surface's PNG saving offers
// its pixels here first and falls back to its own writer when this answers
// false; the loading keeps a decoded image's bytes in PNG form through it.

#include "platform/imaging/cgdiplus.h"
#include "platform/imaging/imaging_library.h"

#include <cstring>
#include <new>

namespace platform {
namespace {

std::int32_t appendToStream(void* context, const std::uint8_t* bytes, std::size_t size) {
    auto& stream = *static_cast<MemoryStream*>(context);
    try {
        stream.bytes.insert(stream.bytes.end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

// Whether any alpha byte says something other than "opaque".
bool anyTranslucent(velmora::ConstBgraPremulBottomUpView view) {
    for (std::int32_t r = 0; r < view.height; ++r) {
        const std::uint8_t* row = view.memoryRow(r);
        for (std::int32_t x = 0; x < view.width; ++x)
            if (row[x * 4 + 3] != 255) return true;
    }
    return false;
}

} // namespace

bool cGDIPlus::SaveToPNG(const std::string& FileName, std::vector<std::uint8_t>& outStream,
                         velmora::ConstBgraPremulBottomUpView cHost, bool hasAlpha,
                         std::int32_t GlobalToken) {
    if (cHost.empty()) return false;
    const auto binding = imaging::Binding::bind();
    if (!binding) return false;
    const imaging::CallSession session(*binding, GlobalToken);
    if (!session.live()) return false;

    // From here a save to memory that fails leaves the stream empty, even
    // when there is no PNG encoder to try.
    if (FileName.empty()) outStream.clear();
    std::array<std::uint8_t, 16> clsid{};
    if (GetEncoderClsid("image/png", clsid) < 0) return false;

    // A surface whose fourth byte carries nothing is encoded from an opaque
    // copy, so stray alpha bytes never reach the file.
    std::vector<std::uint8_t> opaque;
    velmora_imaging_pixels pixels{const_cast<std::uint8_t*>(cHost.data), cHost.width, cHost.height,
                                  static_cast<std::int32_t>(cHost.stride), 1};
    if (!hasAlpha && anyTranslucent(cHost)) {
        try {
            opaque.resize(static_cast<std::size_t>(cHost.width) * 4 * cHost.height);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (std::int32_t r = 0; r < cHost.height; ++r) {
            std::uint8_t* row = opaque.data() + static_cast<std::size_t>(r) * cHost.width * 4;
            std::memcpy(row, cHost.memoryRow(r), static_cast<std::size_t>(cHost.width) * 4);
            for (std::int32_t x = 0; x < cHost.width; ++x)
                row[x * 4 + 3] = 255;
        }
        pixels.bits = opaque.data();
        pixels.stride = cHost.width * 4;
    }

    if (!FileName.empty())
        return binding->encodeFile &&
               binding->encodeFile(&pixels, clsid.data(), FileName.c_str()) == VELMORA_IMAGING_OK;

    if (!binding->encodeMemory) return false;
    MemoryStream stream;
    if (binding->encodeMemory(&pixels, clsid.data(), appendToStream, &stream) ==
            VELMORA_IMAGING_OK &&
        ArrayFromStream(&stream, outStream))
        return true;
    outStream.clear();
    return false;
}

} // namespace platform
