#pragma once
// The desktop clipboard as the clipboard services offer it: what other
// programs put there (an image in any form Qt reads, a bitmap's own bytes,
// a list of files) seen as the formats callers ask for.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QMimeData;

namespace platform {

// The local files the data names (UTF-8 paths): an address list, or a copy
// in GNOME's file manager. Addresses of other kinds are left out.
std::vector<std::string> MimeDataFiles(const QMimeData* data);

// Whether the data offers a format: CF_DIB and CF_BITMAP for an image,
// CF_HDROP for local files. Metafiles are never offered.
bool MimeDataOffers(const QMimeData* data, unsigned format);
// The format's bytes: a packed DIB, or a wide drop-file list of the local
// files. None when the format is not offered or the image cannot be read.
// The DIB is the image as a 32-bit bottom-up DIB with straight alpha when
// the data offers a format with transparency (PNG and the like, or an image
// with an alpha channel); else a bitmap file's own header and bits; else
// the image in the 32-bit form.
std::optional<std::vector<std::uint8_t>> MimeDataBytes(const QMimeData* data, unsigned format);

} // namespace platform
