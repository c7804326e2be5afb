// Our GIF reader (block walk, rebuilt single-image GIF, our LZW decoder
// behind the picture services) against giflib on the first image.
//
// Both accept with the same pixels (the frame's size, the transparent
// index as alpha 0, every other index its colour-table entry opaque, an
// index past the table black), or both refuse, except where our rules
// differ on purpose:
// - the signature: we take "GIF87a" and "GIF89a" in any letter case and
//   nothing else; giflib wants upper-case "GIF" and any version;
// - stray zero bytes between blocks are skipped;
// - an image without any colour table is not ours to show;
// - image data cut short or ending early shows what it holds (the rest
//   index 0), where giflib refuses the image;
// - a code the string table does not hold yet is corrupt data: we stop
//   there (the rest index 0), giflib makes pixels up from whatever its
//   table holds, so only the pixels before that code are compared;
// - a graphic control extension shorter than its four bytes is refused;
// - an LZW minimum code size of 0 is refused: the format's smallest is 2
//   (we take 1 too, as some writers of two-colour images use it); giflib
//   decodes a table of one colour;
// - a frame of zero width or height has no pixel to show: giflib hands
//   back an empty image, our picture services refuse to build one.

#include "codecs/cgifparser.h"
#include "dib/c32bppdib.h"
#include "fuzz/differential.h"
#include "platform/system/environment.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <gif_lib.h>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaxPixels = std::size_t{1} << 20;

struct Reference {
    enum class Outcome { Image, Refused, RefusedInData, TooLarge } outcome = Outcome::Refused;
    std::string why;
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgra; // premultiplied, top row first
    bool shortControl = false;
    bool noTable = false;
    bool interlaced = false;
    int codeSize = -1;
    // Pixels, in the order the stream holds them, before a corrupt code.
    std::size_t validPixels = SIZE_MAX;
};

struct Source {
    std::span<const std::uint8_t> data;
    std::size_t at = 0;
};

int readBytes(GifFileType* gif, GifByteType* out, int wanted) {
    auto* src = static_cast<Source*>(gif->UserData);
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(wanted), src->data.size() - src->at);
    std::memcpy(out, src->data.data() + src->at, n);
    src->at += n;
    return static_cast<int>(n);
}

// The pixels the image data yields before its first corrupt code (a code
// past the next free table entry, or a non-root code with no string before
// it); SIZE_MAX when it has none. Written from the LZW rules on its own so
// as not to share a fault with the decoder under test.
std::size_t pixelsBeforeCorruptCode(std::span<const std::uint8_t> d, std::size_t at,
                                    int minCodeSize) {
    std::vector<std::uint8_t> stream;
    while (at < d.size() && d[at] != 0) {
        const std::size_t n = std::min<std::size_t>(d[at], d.size() - at - 1);
        stream.insert(stream.end(), d.begin() + static_cast<std::ptrdiff_t>(at + 1),
                      d.begin() + static_cast<std::ptrdiff_t>(at + 1 + n));
        at += 1 + n;
    }
    if (minCodeSize < 1 || minCodeSize > 11) return SIZE_MAX;
    const int clear = 1 << minCodeSize, end = clear + 1;
    std::vector<std::size_t> length(4096, 1);
    int size = minCodeSize + 1, next = clear + 2, prev = -1;
    std::size_t bitAt = 0, pixels = 0;
    while (bitAt + static_cast<std::size_t>(size) <= stream.size() * 8) {
        int code = 0;
        for (int b = 0; b < size; ++b, ++bitAt)
            code |= ((stream[bitAt / 8] >> (bitAt % 8)) & 1) << b;
        if (code == end) break;
        if (code == clear) {
            size = minCodeSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (prev < 0) {
            if (code > clear) return pixels;
            ++pixels;
            prev = code;
            if (next == (1 << size)) ++size; // code size 1: code 4 needs three bits
            continue;
        }
        if (code > next || code >= 4096) return pixels;
        const std::size_t added = code == next ? length[static_cast<std::size_t>(prev)] + 1
                                               : length[static_cast<std::size_t>(code)];
        pixels += added;
        if (next < 4096) {
            length[static_cast<std::size_t>(next)] = length[static_cast<std::size_t>(prev)] + 1;
            ++next;
            if (next == (1 << size) && size < 12) ++size;
        }
        prev = code;
    }
    return SIZE_MAX;
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser() {
        int error = 0;
        if (gif != nullptr) DGifCloseFile(gif, &error);
    }
};

Reference decodeGiflib(std::span<const std::uint8_t> data) {
    Reference ref;
    Source src{data};
    int error = 0;
    GifCloser file{DGifOpen(&src, readBytes, &error)};
    GifFileType* gif = file.gif;
    auto refuse = [&](const char* where) {
        ref.why = std::string(where) + ": " + (GifErrorString(gif ? gif->Error : error) ?: "?");
        return ref;
    };
    if (gif == nullptr) return refuse("open");
    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return refuse("record");
        if (type == TERMINATE_RECORD_TYPE) return refuse("no image");
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return refuse("extension");
            // An empty first sub-block comes back as no block at all.
            if (code == GRAPHICS_EXT_FUNC_CODE) {
                if (block == nullptr || block[0] < 4)
                    ref.shortControl = true;
                else
                    transparent = (block[1] & 1) ? block[4] : -1;
            }
            while (block != nullptr)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return refuse("sub-block");
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return refuse("record type");
        break;
    }
    if (DGifGetImageDesc(gif) == GIF_ERROR) return refuse("descriptor");
    const GifImageDesc& desc = gif->Image;
    // giflib has read the code size byte that starts the image data.
    if (src.at > 0) {
        ref.codeSize = data[src.at - 1];
        ref.validPixels = pixelsBeforeCorruptCode(data, src.at, ref.codeSize);
    }
    ref.interlaced = desc.Interlace;
    ref.width = desc.Width;
    ref.height = desc.Height;
    if (static_cast<std::size_t>(desc.Width) * static_cast<std::size_t>(desc.Height) > kMaxPixels) {
        ref.outcome = Reference::Outcome::TooLarge;
        return ref;
    }
    const ColorMapObject* table = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    ref.noTable = table == nullptr;
    if (desc.Width == 0 || desc.Height == 0) {
        ref.outcome = Reference::Outcome::Image; // nothing to read
        return ref;
    }
    std::vector<GifPixelType> line(static_cast<std::size_t>(desc.Width));
    ref.bgra.assign(static_cast<std::size_t>(desc.Width) * desc.Height * 4, 0);
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    int row = 0, pass = 0;
    for (int i = 0; i < desc.Height; ++i) {
        if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) {
            ref.outcome = Reference::Outcome::RefusedInData;
            return refuse("line");
        }
        int y = i;
        if (desc.Interlace) {
            while (row >= desc.Height)
                row = kStart[++pass];
            y = row;
            row += kStep[pass];
        }
        std::uint8_t* out = &ref.bgra[static_cast<std::size_t>(y) * desc.Width * 4];
        for (int x = 0; x < desc.Width; ++x, out += 4) {
            const int index = line[static_cast<std::size_t>(x)];
            if (index == transparent) continue;
            out[3] = 255;
            if (table != nullptr && index < table->ColorCount) {
                out[0] = table->Colors[index].Blue;
                out[1] = table->Colors[index].Green;
                out[2] = table->Colors[index].Red;
            }
        }
    }
    ref.outcome = Reference::Outcome::Image;
    return ref;
}

bool signatureListed(std::span<const std::uint8_t> d) {
    if (d.size() < 6) return false;
    const bool upperGif = std::memcmp(d.data(), "GIF", 3) == 0;
    std::string version(reinterpret_cast<const char*>(d.data()), 6);
    for (char& c : version)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool ourVersion = version == "gif87a" || version == "gif89a";
    return upperGif != ourVersion;
}

bool strayZeroBytes(const Reference& ref) {
    return ref.why.find("Wrong record type") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::ProcessEnvironment().decodePixelLimit = kMaxPixels;
    const std::span<const std::uint8_t> bytes(data, size);
    c32bppDIB surface;
    cGIFparser parser;
    const bool handled = parser.LoadStream(bytes, surface, 0, static_cast<std::int32_t>(size));
    const bool ours = handled && surface.Handle() != 0;
    const Reference ref = decodeGiflib(bytes);
    if (ref.outcome == Reference::Outcome::TooLarge) return 0;
    if (signatureListed(bytes)) return 0;
    const std::string ourError =
        parser.lastError() ? std::string(platform::ErrorText(*parser.lastError())) : "none";

    if (ref.outcome != Reference::Outcome::Image) {
        if (!ours) return 0;
        if (ref.outcome == Reference::Outcome::RefusedInData) return 0; // listed: cut-short data
        if (strayZeroBytes(ref)) return 0;
        fuzzdiff::Disagree("giflib refuses (%s), we decode", ref.why.c_str());
    }
    if (!ours) {
        if (ref.noTable && parser.lastError() == platform::GifError::NoColourTable) return 0;
        if (ref.shortControl && parser.lastError() == platform::GifError::BadExtension) return 0;
        if (ref.codeSize == 0 && parser.lastError() == platform::GifError::NotDrawn) return 0;
        if ((ref.width == 0 || ref.height == 0) &&
            parser.lastError() == platform::GifError::NotDrawn)
            return 0;
        fuzzdiff::Disagree("we refuse (%s), giflib decodes", ourError.c_str());
    }
    if (surface.Width() != ref.width || surface.Height() != ref.height)
        fuzzdiff::Disagree("size: giflib %d x %d, we %d x %d", ref.width, ref.height,
                           surface.Width(), surface.Height());
    // Rows in the order the stream holds them.
    std::vector<int> rows;
    if (ref.interlaced) {
        static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kStart[pass]; y < ref.height; y += kStep[pass])
                rows.push_back(y);
    } else {
        for (int y = 0; y < ref.height; ++y)
            rows.push_back(y);
    }
    std::size_t compared = 0;
    for (const int y : rows) {
        const std::uint8_t* want = &ref.bgra[static_cast<std::size_t>(y) * ref.width * 4];
        const std::uint8_t* have = surface.row(y);
        for (int x = 0; x < ref.width; ++x) {
            if (compared++ >= ref.validPixels) return 0;
            if (std::memcmp(want + x * 4, have + x * 4, 4) != 0)
                fuzzdiff::Disagree("pixel (%d, %d): giflib %u %u %u %u, we %u %u %u %u", x, y,
                                   want[x * 4], want[x * 4 + 1], want[x * 4 + 2], want[x * 4 + 3],
                                   have[x * 4], have[x * 4 + 1], have[x * 4 + 2], have[x * 4 + 3]);
        }
    }
    return 0;
}
