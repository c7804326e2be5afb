#include "codecs/imaging_decode.h"

#include "codecs/modparsers.h"
#include "platform/imaging/cgdiplus.h"
#include "surface/dib_surface.h"

namespace codecs {
namespace {

class SurfaceTarget final : public platform::ImagingTarget {
public:
    explicit SurfaceTarget(surface::DibSurface& host) : host_(host) {}
    std::span<std::uint8_t> allocatePixels(std::int32_t width, std::int32_t height) override {
        if (!host_.InitializeDIB(width, height)) return {};
        return host_.pixels();
    }
    void releasePixels() override { host_.DestroyDIB(); }

private:
    surface::DibSurface& host_;
};

} // namespace

bool LoadWithImagingService(const std::string& fileName, std::span<const std::uint8_t> bytes,
                            surface::DibSurface& host, std::int32_t gdiToken) {
    SurfaceTarget target(host);
    if (!platform::cGDIPlus().LoadWithGDIplus(fileName, bytes, target, gdiToken) ||
        host.Handle() == 0) {
        host.DestroyDIB();
        return false;
    }
    bool hasAlpha = false;
    std::int32_t type = modParsers::itPNG;
    modParsers::ClassifyAlpha(host.pixels(), host.Width(), host.Height(), false, hasAlpha, type);
    host.Alpha(hasAlpha);
    host.ImageType(modParsers::itPNG);
    return true;
}

} // namespace codecs
