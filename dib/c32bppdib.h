#pragma once
// c32bppDIB: the one image type of the system. Width x Height pixels of four
// bytes, blue, green, red, alpha, colour premultiplied by alpha, rows stored
// bottom row first with no padding (the layout a 32-bpp bottom-up DIB section
// has, so the drawing calls read the pixels in place).
//
// The pixel memory and what describes it (size, alpha flag, image type, the
// own DC) are the core it is built on; this class adds the image sources,
// saving, rendering, the effects and the pixel exchange.

#include "platform/gdi/types.h"
#include "platform/resources/resources.h"
#include "surface/dib_surface.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class DataObject;
} // namespace platform

class c32bppDIB : public surface::DibSurface {
public:
    c32bppDIB();
    c32bppDIB(const c32bppDIB&) = delete;
    c32bppDIB& operator=(const c32bppDIB&) = delete;

    // --- loading --------------------------------------------------------------
    // Every load first empties the surface, so a failed load leaves no image.
    // True when the surface holds an image afterwards. Files and ranges
    // under 57 bytes are refused before any reader sees them. With
    // SaveFormat the source bytes are kept (originalFormatBytes()).
    // iconCx/iconCy: the wanted icon size (0 = the icon reader's choice);
    // iconBitDepth: the wanted depth (below 0 or above 32 taken as 32).
    bool LoadPicture_File(const std::string& FileName, std::int32_t iconCx = 0,
                          std::int32_t iconCy = 0, bool SaveFormat = false,
                          std::int32_t iconBitDepth = 32);
    // Bytes [streamStart, streamStart + streamLength) of inStream; a start
    // below 0 is raised to 0, a length of 0 means up to the end, and a range
    // that ends beyond the array is refused.
    bool LoadPicture_Stream(std::span<const std::uint8_t> inStream, std::int32_t iconCx = 0,
                            std::int32_t iconCy = 0, std::int32_t streamStart = 0,
                            std::int32_t streamLength = 0, bool SaveFormat = false,
                            std::int32_t iconBitDepth = 32);
    // Loads again from the kept source bytes, keeping them.
    bool LoadPicture_FromOrignalFormat(std::int32_t iconCx = 0, std::int32_t iconCy = 0,
                                       std::int32_t iconBitDepth = 32);
    // --- end of loading ------------------------------------------------------

    // --- other image sources --------------------------------------------------
    // A resource of resourceOwner, or of the program when it is null. With a
    // section name, the raw data of ResIndex in that section loads as a
    // stream (without keeping the bytes); with a number, the picture of
    // that kind (platform::kResBitmap, kResIcon, kResCursor).
    bool LoadPicture_Resource(const platform::ResourceName& ResIndex,
                              const platform::ResourceName& ResSection,
                              const platform::ResourceModule* resourceOwner = nullptr,
                              std::int32_t iconCx = 0, std::int32_t iconCy = 0,
                              std::int32_t streamStart = 0, std::int32_t streamLength = 0,
                              std::int32_t iconBitDepth = 32);
    // A picture object (bitmap, icon, metafile); null loads nothing.
    bool LoadPicture_StdPicture(const platform::Picture* Picture);
    // A bitmap, metafile, icon or cursor handle, which stays the caller's.
    bool LoadPicture_ByHandle(platform::HGDIOBJ Handle);
    // The clipboard's bitmap or metafile.
    bool LoadPicture_ClipBoard();
    // The entries of the kept icon or cursor file, one {width, height,
    // bits per pixel, colour count} each; 0 and sizeArray untouched when the
    // image is no icon or cursor.
    std::int32_t SourceIconSizes(std::vector<std::array<std::int32_t, 4>>& sizeArray) const;
    // Replaces the drop event's file names with the full UTF-16 names of
    // the drop-file list behind it, when it has them. False when the event
    // carries no drop-file list, or one that cannot name all its files.
    bool GetDroppedFileNames(platform::DataObject* OLEDragDrop_DataObject) const;
    // The file names on the clipboard (a copy or cut in a file manager).
    std::int32_t GetPastedFileNames(std::vector<std::string>& ListOfFiles) const;
    // --- end of other image sources ------------------------------------------

    // --- properties ----------------------------------------------------------
    bool HighQualityInterpolation() const { return highQuality_; }
    void HighQualityInterpolation(bool value) { highQuality_ = value; }
    bool isAlphaBlendFriendly() const { return (flags_ & kAlphaBlendInUse) != 0; }
    void isAlphaBlendFriendly(bool Enabled);
    bool isGDIplusEnabled() const { return (flags_ & kGdiplusEnabled) != 0; }
    void isGDIplusEnabled(bool Enabled);
    // Whether a zlib library can be found; asked afresh every time.
    bool isZlibEnabled() const;

    std::int32_t gdiToken() const { return gdiToken_; }
    void gdiToken(std::int32_t value) { gdiToken_ = value; }

    // --- saving -------------------------------------------------------------------
    // A Windows bitmap file image: 32 bits (premultiplied) with Alpha, else 24.
    bool SaveToStream(std::vector<std::uint8_t>& outStream) const;
    // A PNG file image: the imaging service's encoder first, the own writer
    // second. outStream is empty after a failure.
    bool SaveToStream_PNG(std::vector<std::uint8_t>& outStream) const;
    // The source bytes a load kept; false when none were kept.
    bool GetOrginalFormat(std::vector<std::uint8_t>& outStream) const;
    // --- end of saving -------------------------------------------------------------

    // --- rendering, effects and pixel exchange ---------------------------------
    // Draws all or part of the image onto a DC, or into destHostDIB when one
    // is given. Sizes of 0 stand for the image's own; a negative destination
    // size mirrors along that axis, a negative source size inverts it.
    // Opacity is a percentage (<= 0 draws nothing; taken modulo 100, 0
    // meaning 100); grayScale -1 is no greyscale; LightAdjustment is
    // -100 .. 100 percent; Angle is in degrees.
    bool Render(platform::HDC destinationDC, std::int32_t destX = 0, std::int32_t destY = 0,
                std::int32_t destWidth = 0, std::int32_t destHeight = 0, std::int32_t SrcX = 0,
                std::int32_t SrcY = 0, std::int32_t srcWidth = 0, std::int32_t srcHeight = 0,
                std::int32_t Opacity = 100, bool Blend = true, bool SetHalfTone = true,
                c32bppDIB* destHostDIB = nullptr, std::int32_t grayScale = -1,
                float LightAdjustment = 0, float Angle = 0, bool CenterOnDestXY = false);

    // Effects (colours are 0x00BBGGRR).
    std::unique_ptr<c32bppDIB> CreateDropShadow(std::int32_t blurDepth, platform::COLORREF Color);
    bool RenderDropShadow_JIT(platform::HDC hdc, std::int32_t x, std::int32_t y,
                              std::int32_t blurDepth, platform::COLORREF Color,
                              std::int32_t Opacity);
    bool MakeTransparent(platform::COLORREF TransparentColor, bool Revert);
    bool MakeImageInverse();
    bool MirrorImage(bool MirrorAxisX, bool MirrorAxisY);
    // A CheckerSize below 1 is refused (false) rather than filling forever.
    bool CreateCheckerBoard(std::int32_t CheckerSize, platform::COLORREF FirstColor,
                            platform::COLORREF SecondColor);
    // The region of the solid pixels (Style 0, 1 or 2), moved by the
    // offsets; the caller deletes it.
    platform::HRGN CreateRegion(std::int32_t Style, std::int32_t xOffset = 0,
                                std::int32_t yOffset = 0);

    // Pixel exchange. Rectangles count y from the top; sizes of 0 reach the
    // edge. A flat array holds the same bytes as a two-dimensional one
    // (row length first), so as2dArray changes nothing here.
    bool GetDIBbits(std::vector<std::uint8_t>& outStream, bool as2dArray, bool asBGRformat,
                    bool as32bpp, bool asWordAligned, bool asBottomUp, std::int32_t x = 0,
                    std::int32_t y = 0, std::int32_t Width = 0, std::int32_t Height = 0,
                    bool asPreMultiplied = true) const;
    bool SetDIBbits(std::span<const std::uint8_t> inStream, bool isBGRformat, bool is32bpp,
                    bool isWordAligned, bool isBottomUp, std::int32_t dstX = 0,
                    std::int32_t dstY = 0, std::int32_t dstWidth = 0, std::int32_t dstHeight = 0);
    // Copies the image into cDIBclass, made when it is empty; sizes of 0 are
    // the image's, negative sizes mirror (and a differing size then scales
    // the mirrored copy).
    void CopyImageTo(std::unique_ptr<c32bppDIB>& cDIBclass, std::int32_t newWidth = 0,
                     std::int32_t newHeight = 0, bool CopyOriginalFormat = false);
    void CopyImageTo(c32bppDIB& target, std::int32_t newWidth = 0, std::int32_t newHeight = 0,
                     bool CopyOriginalFormat = false);

    // --- end of rendering, effects and pixel exchange --------------------------

    // --- for the code of this system ---------------------------------------------
    // The capability bits decided from the system version at construction.
    static constexpr std::uint32_t kAlphaBlendInUse = 1;
    static constexpr std::uint32_t kGdiplusEnabled = 2;
    static constexpr std::uint32_t kAlphaBlendAllowed = 8;
    static constexpr std::uint32_t kConsumerWindows = 16; // 98/ME: no halftone stretching
    static constexpr std::uint32_t kGdiplusForbidden = 32;
    std::uint32_t capabilityFlags() const { return flags_; }

private:
    // Rendering: the own rotation, tried after the imaging service.
    bool rotateOnto(platform::HDC dc, float Angle, std::int32_t destX, std::int32_t destY,
                    std::int32_t dw, std::int32_t dh, std::int32_t SrcX, std::int32_t SrcY,
                    std::int32_t srcWidth, std::int32_t srcHeight, std::int32_t percent,
                    c32bppDIB* host, std::int32_t grayScale, float light);

    bool highQuality_ = false;
    std::uint32_t flags_ = 0;
    std::int32_t gdiToken_ = 0;
};
