// The effects convert applies to the loaded image before writing it.

#include "dib/c32bppdib.h"
#include "tool.h"

#include <memory>

namespace velmora_image {
namespace {

// Puts another surface's image in place of this one's. The kept source
// bytes stay, as the surface's own effects leave them too.
void replaceImage(c32bppDIB& surface, c32bppDIB& from) {
    std::vector<std::uint8_t> kept = surface.originalFormatBytes();
    from.CopyImageTo(surface);
    surface.setOriginalFormatBytes(std::move(kept));
}

std::string sizeText(const Extent& size) {
    return std::to_string(size.width) + 'x' + std::to_string(size.height);
}

} // namespace

bool ApplyEffects(const DrawingOptions& drawing, c32bppDIB& surface, std::string& error) {
    ApplySwitches(drawing.switches, surface);
    const EffectOptions& e = drawing.effects;
    if ((e.mirrorX || e.mirrorY) && !surface.MirrorImage(e.mirrorX, e.mirrorY)) {
        error = "the image could not be mirrored";
        return false;
    }
    if (e.invert && !surface.MakeImageInverse()) {
        error = "the image could not be inverted";
        return false;
    }
    if (e.transparent && !surface.MakeTransparent(*e.transparent, false)) {
        error = "no colour could be made transparent";
        return false;
    }
    if (e.scale) {
        std::unique_ptr<c32bppDIB> scaled;
        surface.CopyImageTo(scaled, e.scale->width, e.scale->height);
        if (!scaled || scaled->Handle() == 0) {
            error = "cannot make a copy of " + sizeText(*e.scale);
            return false;
        }
        replaceImage(surface, *scaled);
    }
    if (e.shadow) {
        const std::unique_ptr<c32bppDIB> shadow =
            surface.CreateDropShadow(e.shadow->depth, e.shadow->color);
        if (!shadow) {
            error = "the drop shadow could not be made";
            return false;
        }
        replaceImage(surface, *shadow);
    }
    return true;
}

} // namespace velmora_image
