// The surface's other image sources (resources, picture objects, handles,
// the clipboard) and the helpers the image control uses around loading:
// the sizes in a kept icon file and the file names of a drop or a paste.
// They live here because they call the readers, which sit above the
// surface.

#include "codecs/cbmpparser.h"
#include "codecs/cicoparser.h"
#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "platform/host/clipboard.h"
#include "platform/host/data_object.h"
#include "platform/host/window_host.h"
#include "platform/picture/icon.h"

#include <limits>

using namespace platform;

namespace {

// What a colour count of an icon entry of each depth reports. Depths from
// 9 to 23 and of 24 give the values the system's listing has always given
// (hexadecimal 00FFFF00 and FF000000), not 65536 and 16777216.
std::int32_t colourCount(std::int32_t bits) {
    if (bits <= 1) return 2;
    if (bits == 2) return 4;
    if (bits <= 4) return 16;
    if (bits <= 8) return 256;
    if (bits <= 23) return 0x00FFFF00;
    if (bits == 24) return static_cast<std::int32_t>(0xFF000000u);
    return -1;
}

bool isIconType(std::int32_t type) {
    using namespace modParsers;
    return type == itIcon || type == itCursor || type == itIconAlpha || type == itIconPNG ||
           type == itCursorAlpha;
}

} // namespace

bool c32bppDIB::LoadPicture_Resource(const ResourceName& ResIndex, const ResourceName& ResSection,
                                     const ResourceModule* resourceOwner, std::int32_t iconCx,
                                     std::int32_t iconCy, std::int32_t streamStart,
                                     std::int32_t streamLength, std::int32_t iconBitDepth) {
    DestroyDIB();
    const ResourceModule& source = resourceOwner ? *resourceOwner : ProgramResources();
    if (const auto* section = std::get_if<std::string>(&ResSection)) {
        const auto data = source.LoadResData(ResIndex, *section);
        if (!data) return false;
        LoadPicture_Stream(*data, iconCx, iconCy, streamStart, streamLength, false, iconBitDepth);
    } else {
        // The kind is a 16-bit number; anything wider names no kind.
        const std::int32_t kind = std::get<std::int32_t>(ResSection);
        if (kind < std::numeric_limits<std::int16_t>::min() ||
            kind > std::numeric_limits<std::int16_t>::max())
            return false;
        const auto picture = source.LoadResPicture(ResIndex, static_cast<std::int16_t>(kind));
        LoadPicture_StdPicture(picture.get());
    }
    return Handle() != 0;
}

bool c32bppDIB::LoadPicture_StdPicture(const Picture* picture) {
    DestroyDIB();
    if (!picture) return false;
    switch (picture->Type()) {
    case PICTYPE_NONE:
        break;
    case PICTYPE_ICON:
        cICOparser().ConvertstdPicTo32bpp(picture->Handle(), *this);
        break;
    case PICTYPE_BITMAP:
        cBMPparser().ConvertstdPicTo32bpp(nullptr, picture->Handle(), *this, 0);
        break;
    default:
        // The metafile kinds draw themselves through the picture object.
        cBMPparser().ConvertstdPicTo32bpp(picture, 0, *this, 0);
        break;
    }
    return Handle() != 0;
}

bool c32bppDIB::LoadPicture_ByHandle(HGDIOBJ Handle) {
    DestroyDIB();
    if (Handle == 0) return false;
    switch (GetObjectType(Handle)) {
    case OBJ_BITMAP:
        return cBMPparser().ConvertstdPicTo32bpp(nullptr, Handle, *this, 0);
    case OBJ_METAFILE:
    case OBJ_ENHMETAFILE: {
        const int type =
            GetObjectType(Handle) == OBJ_METAFILE ? PICTYPE_METAFILE : PICTYPE_ENHMETAFILE;
        auto picture = CreatePictureIndirect(Handle, type);
        if (!picture) return false;
        const bool loaded = LoadPicture_StdPicture(picture.get());
        // The handle stays the caller's: the wrapper must not delete it.
        picture->release();
        return loaded;
    }
    default: {
        ICONINFO info;
        if (!GetIconInfo(Handle, info)) return false;
        // Only the question mattered; the copies it handed out go.
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        return cICOparser().ConvertstdPicTo32bpp(Handle, *this);
    }
    }
}

bool c32bppDIB::LoadPicture_ClipBoard() {
    DestroyDIB();
    WindowHost& host = CurrentHost();
    bool offered = false;
    for (const unsigned format : {CF_BITMAP, CF_DIB, CF_ENHMETAFILE, CF_METAFILEPICT})
        offered = offered || host.IsClipboardFormatAvailable(format);
    if (!offered) return false;
    const auto picture = GetClipboardPicture(host);
    return LoadPicture_StdPicture(picture.get());
}

std::int32_t c32bppDIB::SourceIconSizes(std::vector<std::array<std::int32_t, 4>>& sizeArray) const {
    if (Handle() == 0 || !isIconType(ImageType())) return 0;
    if (originalFormatBytes().empty()) {
        sizeArray.assign(1, {Width(), Height(), 32, -1});
        return 1;
    }
    // The reader repairs what it reads: it reads a copy.
    std::vector<std::uint8_t> scratch = originalFormatBytes();
    cICOparser reader;
    std::int32_t offset = 0;
    std::int32_t length = 0;
    if (!reader.LoadStream(scratch, 32, 32, nullptr, offset, length, 32, 0)) return 0;
    const std::int32_t count = reader.IconCount();
    sizeArray.assign(static_cast<std::size_t>(count), {});
    for (std::int32_t i = 1; i <= count; ++i) {
        const std::int32_t bits = reader.bitDepth(i);
        sizeArray[static_cast<std::size_t>(i - 1)] = {reader.Width(i), reader.Height(i), bits,
                                                      colourCount(bits)};
    }
    return count;
}

bool c32bppDIB::GetDroppedFileNames(DataObject* OLEDragDrop_DataObject) const {
    if (!OLEDragDrop_DataObject || !OLEDragDrop_DataObject->GetFormat(CF_HDROP)) return false;
    FORMATETC format;
    format.cfFormat = CF_HDROP;
    const auto block = OLEDragDrop_DataObject->GetData(format);
    if (!block || block->empty()) return false;
    const auto header = ReadDropFilesHeader(*block);
    if (!header) return false;
    // Narrow lists already gave the collection everything they hold.
    if (header->fWide == 0) return true;
    std::vector<std::string>& files = OLEDragDrop_DataObject->Files();
    std::vector<std::string> names = ReadDropFileNames(*block, files.size());
    // A list that cannot name every file of the drop is not the drop's:
    // the collection keeps what it has.
    if (names.size() < files.size()) return false;
    files = std::move(names);
    return true;
}

std::int32_t c32bppDIB::GetPastedFileNames(std::vector<std::string>& ListOfFiles) const {
    WindowHost& host = CurrentHost();
    const ClipboardLock lock(host);
    if (!lock.open()) return 0;
    const auto block = host.GetClipboardData(CF_HDROP);
    if (!block) return 0;
    std::vector<std::string> names = ReadDropFileNames(*block);
    const auto count = static_cast<std::int32_t>(
        std::min<std::size_t>(names.size(), std::numeric_limits<std::int32_t>::max()));
    names.resize(static_cast<std::size_t>(count));
    ListOfFiles = std::move(names);
    return count;
}
