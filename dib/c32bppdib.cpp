#include "dib/c32bppdib.h"

#include "platform/gdi/gdi.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/version.h"
#include "platform/zlib/zlib_binding.h"

#include <algorithm>
#include <cstring>

using namespace platform;

namespace {

std::uint32_t capabilitiesFromVersion() {
    OSVERSIONINFOEX info;
    info.dwOSVersionInfoSize = kVersionInfoExSize;
    if (!GetVersionEx(info)) {
        info = OSVERSIONINFOEX{};
        info.dwOSVersionInfoSize = kVersionInfoSize;
        if (!GetVersionEx(info)) return 0;
    }
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        // 98 and ME have AlphaBlend but no trustworthy halftone stretching;
        // 95 has neither AlphaBlend nor GDI+.
        return info.dwMinorVersion != 0
                   ? c32bppDIB::kAlphaBlendAllowed | c32bppDIB::kConsumerWindows
                   : c32bppDIB::kGdiplusForbidden;
    }
    if (info.dwMajorVersion > 4) return c32bppDIB::kAlphaBlendAllowed | c32bppDIB::kAlphaBlendInUse;
    // NT 4 and earlier: GDI+ needs service pack 6. The basic record carries
    // no service-pack number, which reads as 0.
    return info.wServicePackMajor < 6 ? c32bppDIB::kGdiplusForbidden : 0;
}

} // namespace

c32bppDIB::c32bppDIB() : flags_(capabilitiesFromVersion()) {
    isGDIplusEnabled(true);
    if (isGDIplusEnabled()) highQuality_ = true;
}

void c32bppDIB::isAlphaBlendFriendly(bool Enabled) {
    if (!Enabled)
        flags_ &= ~kAlphaBlendInUse;
    else if (flags_ & kAlphaBlendAllowed)
        flags_ |= kAlphaBlendInUse;
}

void c32bppDIB::isGDIplusEnabled(bool Enabled) {
    if (Enabled == isGDIplusEnabled()) return;
    flags_ &= ~kGdiplusEnabled;
    if (Enabled && !(flags_ & kGdiplusForbidden) && cGDIPlus().isGDIplusOk())
        flags_ |= kGdiplusEnabled;
}

bool c32bppDIB::isZlibEnabled() const {
    return FindZlibLibrary(true).has_value();
}
