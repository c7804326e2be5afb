#include "codecs/cpngwriter.h"
#include "dib/c32bppdib.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/durable_file.h"
#include "tool.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iostream>
#include <vector>

namespace velmora_image {
namespace {

// The surface's pixel memory as it stands: bottom row first, premultiplied
// blue, green, red, alpha, no header.
bool writeBgra(const c32bppDIB& surface, const Options&, const std::string& path,
               std::string& error) {
    return WriteFileBytes(path, surface.pixels(), error);
}

bool writePng(const c32bppDIB& surface, const Options& options, const std::string& path,
              std::string& error) {
    std::vector<std::uint8_t> bytes;
    switch (options.pngEncoder) {
    case PngEncoder::Imaging:
        if (!platform::cGDIPlus().SaveToPNG({}, bytes, surface.view(), surface.Alpha(),
                                            surface.gdiToken())) {
            error = "the imaging service could not encode the image as PNG";
            return false;
        }
        break;
    case PngEncoder::Own:
        if (!cPNGwriter().SavePNG(surface, bytes)) {
            error = surface.isZlibEnabled() ? "the image could not be encoded as PNG"
                                            : "our PNG writer needs zlib, which is not available";
            return false;
        }
        break;
    case PngEncoder::Auto:
        if (!surface.SaveToStream_PNG(bytes)) {
            // Both encoders declined; without zlib that is expected, so say so.
            error = surface.isZlibEnabled()
                        ? "the image could not be encoded as PNG"
                        : "no PNG encoder: zlib is not available and the imaging service "
                          "could not encode the image";
            return false;
        }
        break;
    }
    return WriteFileBytes(path, bytes, error);
}

bool writeBitmap(const c32bppDIB& surface, const Options&, const std::string& path,
                 std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!surface.SaveToStream(bytes)) {
        error = "the image is too large for a bitmap file";
        return false;
    }
    return WriteFileBytes(path, bytes, error);
}

bool writeOriginal(const c32bppDIB& surface, const Options&, const std::string& path,
                   std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!surface.GetOrginalFormat(bytes)) {
        // Only a decode by the imaging service that could not be made PNG
        // keeps nothing.
        error = "no source bytes were kept for this image";
        return false;
    }
    return WriteFileBytes(path, bytes, error);
}

constexpr std::array kFormats{
    OutputFormat{".bgra",
                 "raw pixel memory: Height rows of Width x 4 bytes, bottom row first, "
                 "premultiplied blue, green, red, alpha",
                 false, writeBgra},
    OutputFormat{".png",
                 "PNG: the imaging service's encoder, else our own writer (palette, grey, "
                 "RGB with a key colour or RGBA; needs zlib); --png-encoder chooses",
                 false, writePng},
    OutputFormat{".bmp",
                 "Windows bitmap: 32 bits premultiplied when the image has alpha, else 24 bits",
                 false, writeBitmap},
    OutputFormat{".orig", "the source bytes exactly as loaded (the original format)", true,
                 writeOriginal},
};

std::string lowerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

std::span<const OutputFormat> OutputFormats() {
    return kFormats;
}

const OutputFormat* FindOutputFormat(const std::string& path) {
    const std::string ext = lowerExtension(path);
    for (const OutputFormat& format : kFormats)
        if (format.extension == ext) return &format;
    return nullptr;
}

bool WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes,
                    std::string& error) {
    const platform::DurableWriteResult written = platform::WriteFileDurably(path, bytes);
    if (!written) error = "cannot write " + path + ": " + written.error;
    return written.ok;
}

void Complain(std::string_view message) {
    std::cerr << "velmora-image: " << message << '\n';
}

} // namespace velmora_image
