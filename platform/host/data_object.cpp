#include "platform/host/data_object.h"

#include "platform/util/byte_reader.h"

#include <cstring>

namespace platform {
namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-8 to UTF-16 code units; a malformed sequence becomes U+FFFD.
std::vector<std::uint16_t> toUtf16(const std::string& text) {
    std::vector<std::uint16_t> out;
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t b = p[i];
        const int extra = b < 0x80         ? 0
                          : (b >> 5) == 6  ? 1
                          : (b >> 4) == 14 ? 2
                          : (b >> 3) == 30 ? 3
                                           : -1;
        std::uint32_t c = 0xFFFD;
        std::size_t used = 1;
        if (extra >= 0 && i + static_cast<std::size_t>(extra) < n) {
            std::uint32_t v = extra == 0 ? b : b & (0x3F >> extra);
            bool ok = true;
            for (int k = 1; k <= extra && ok; ++k) {
                ok = (p[i + static_cast<std::size_t>(k)] & 0xC0) == 0x80;
                v = (v << 6) | (p[i + static_cast<std::size_t>(k)] & 0x3F);
            }
            if (ok && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
                c = v;
                used = static_cast<std::size_t>(extra) + 1;
            }
        }
        i += used;
        if (c >= 0x10000) {
            out.push_back(static_cast<std::uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<std::uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<std::uint16_t>(c));
        }
    }
    return out;
}

} // namespace

std::optional<DROPFILES> ReadDropFilesHeader(std::span<const std::uint8_t> block) {
    if (block.size() < sizeof(DROPFILES)) return std::nullopt;
    DROPFILES header;
    header.pFiles = velmora::loadU32le(block.data());
    header.x = static_cast<std::int32_t>(velmora::loadU32le(block.data() + 4));
    header.y = static_cast<std::int32_t>(velmora::loadU32le(block.data() + 8));
    header.fNC = velmora::loadU32le(block.data() + 12);
    header.fWide = velmora::loadU32le(block.data() + 16);
    return header;
}

std::vector<std::string> ReadDropFileNames(std::span<const std::uint8_t> block, std::size_t limit) {
    std::vector<std::string> names;
    const auto header = ReadDropFilesHeader(block);
    if (!header || header->pFiles >= block.size()) return names;
    const std::uint8_t* p = block.data() + header->pFiles;
    const std::uint8_t* const end = block.data() + block.size();

    if (header->fWide == 0) {
        while (names.size() < limit && p < end && *p != 0) {
            const auto* stop = static_cast<const std::uint8_t*>(
                std::memchr(p, 0, static_cast<std::size_t>(end - p)));
            const std::uint8_t* nameEnd = stop ? stop : end;
            names.emplace_back(reinterpret_cast<const char*>(p),
                               static_cast<std::size_t>(nameEnd - p));
            p = stop ? stop + 1 : end;
        }
        return names;
    }

    // UTF-16 code units, two bytes each; an odd last byte is not a unit.
    auto unitAt = [&](const std::uint8_t* q) -> std::optional<std::uint16_t> {
        if (end - q < 2) return std::nullopt;
        return velmora::loadU16le(q);
    };
    while (names.size() < limit) {
        auto unit = unitAt(p);
        if (!unit || *unit == 0) break;
        std::string name;
        while (unit && *unit != 0) {
            std::uint32_t c = *unit;
            p += 2;
            if (c >= 0xD800 && c <= 0xDBFF) {
                const auto low = unitAt(p);
                if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (*low - 0xDC00);
                    p += 2;
                } else {
                    c = 0xFFFD;
                }
            } else if (c >= 0xDC00 && c <= 0xDFFF) {
                c = 0xFFFD;
            }
            appendUtf8(name, c);
            unit = unitAt(p);
        }
        names.push_back(std::move(name));
        if (!unit) break; // the block ended inside the name
        p += 2;           // its terminator
    }
    return names;
}

std::vector<std::uint8_t> MakeDropFiles(const std::vector<std::string>& names, bool wide) {
    std::vector<std::uint8_t> block(sizeof(DROPFILES), 0);
    block[0] = sizeof(DROPFILES);
    block[16] = wide ? 1 : 0;
    auto put16 = [&](std::uint16_t u) {
        block.push_back(static_cast<std::uint8_t>(u));
        block.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (const std::string& name : names) {
        if (wide) {
            for (const std::uint16_t u : toUtf16(name))
                put16(u);
            put16(0);
        } else {
            block.insert(block.end(), name.begin(), name.end());
            block.push_back(0);
        }
    }
    if (wide)
        put16(0);
    else
        block.push_back(0);
    return block;
}

} // namespace platform
