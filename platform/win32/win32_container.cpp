#include "platform/win32/win32_container.h"

#include "platform/gdi/blit.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/sys_colors.h"
#include "platform/host/data_object.h"
#include "platform/host/win32.h"
#include "platform/picture/icon.h"

#include <algorithm>

namespace platform {
namespace {

constexpr const char* kContainerClass = "Velmora.ControlContainer";

bool meets(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The coordinates of a mouse message: signed 16-bit values.
int xOf(LPARAM lParam) {
    return static_cast<std::int16_t>(static_cast<std::uint32_t>(lParam) & 0xFFFF);
}
int yOf(LPARAM lParam) {
    return static_cast<std::int16_t>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFF);
}

std::int16_t buttonsOf(WPARAM keys) {
    std::int16_t out = 0;
    if ((keys & MK_LBUTTON) != 0) out |= vbLeftButton;
    if ((keys & MK_RBUTTON) != 0) out |= vbRightButton;
    if ((keys & MK_MBUTTON) != 0) out |= vbMiddleButton;
    return out;
}

// Shift 1, Ctrl 2 from the message; Alt 4 from the keyboard.
std::int16_t shiftOf(WPARAM keys) {
    std::int16_t out = static_cast<std::int16_t>(win32::ShiftKeys() & 4);
    if ((keys & MK_SHIFT) != 0) out |= 1;
    if ((keys & MK_CONTROL) != 0) out |= 2;
    return out;
}

std::int16_t buttonOf(UINT message) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        return vbLeftButton;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
        return vbRightButton;
    default:
        return vbMiddleButton;
    }
}

// The icon's pixels with their alpha (top-down, straight BGRA), recovered
// by drawing it once over black and once over white: where the two agree
// the pixel is opaque, and the difference is what shows through.
std::vector<std::uint32_t> iconPixels(HICON icon, int& w, int& h) {
    std::int32_t iw = 0, ih = 0;
    if (!GetIconSize(icon, iw, ih) || iw < 1 || ih < 1 || iw > 256 || ih > 256) return {};
    MemoryCanvas black(iw, ih), white(iw, ih);
    if (!black.ok() || !white.ok()) return {};
    black.fill({0, 0, iw, ih}, 0xFF000000u);
    white.fill({0, 0, iw, ih}, 0xFFFFFFFFu);
    if (!DrawIconEx(black.dc(), 0, 0, icon, iw, ih) || !DrawIconEx(white.dc(), 0, 0, icon, iw, ih))
        return {};
    std::vector<std::uint32_t> out(static_cast<std::size_t>(iw) * static_cast<std::size_t>(ih));
    for (int y = 0; y < ih; ++y) {
        const std::uint8_t* b = black.row(y);
        const std::uint8_t* wt = white.row(y);
        for (int x = 0; x < iw; ++x, b += 4, wt += 4) {
            // Over black a pixel is c·a; over white c·a + 255·(1 − a).
            const int through = std::clamp(int{wt[1]} - int{b[1]}, 0, 255);
            const std::uint32_t alpha = 255u - static_cast<std::uint32_t>(through);
            const auto channel = [&](int i) -> std::uint32_t {
                if (alpha == 0) return 0;
                return std::min<std::uint32_t>(255u,
                                               (std::uint32_t{b[i]} * 255u + alpha / 2) / alpha);
            };
            out[static_cast<std::size_t>(y) * iw + x] =
                (alpha << 24) | (channel(2) << 16) | (channel(1) << 8) | channel(0);
        }
    }
    w = iw;
    h = ih;
    return out;
}

// What a drag carries, as a drop event's data object: its file list (a
// drop-file block, as the dragging program made it), and nothing else.
class DropData final : public DataObject {
public:
    explicit DropData(std::span<const std::uint8_t> block) : block_(block.begin(), block.end()) {
        Files() = ReadDropFileNames(block_);
    }
    bool GetFormat(unsigned format) const override {
        return format == CF_HDROP && !Files().empty();
    }
    std::optional<std::vector<std::uint8_t>> GetData(const FORMATETC& format) const override {
        if (!GetFormat(format.cfFormat) || (format.tymed & TYMED_HGLOBAL) == 0) return std::nullopt;
        return block_;
    }

private:
    std::vector<std::uint8_t> block_;
};

// The MK_ keys of a drag: the buttons, and Shift 1, Ctrl 2, Alt 4.
std::int16_t dragShift(std::uint32_t keys) {
    std::int16_t out = 0;
    if ((keys & MK_SHIFT) != 0) out |= 1;
    if ((keys & MK_CONTROL) != 0) out |= 2;
    if ((keys & 0x20) != 0) out |= 4;
    return out;
}

} // namespace

win32::Cursor CursorForMousePointer(std::int16_t pointer, HICON icon) {
    // The system's IDC_ numbers.
    switch (pointer) {
    case 2:
        return win32::Cursor::Standard(32515); // cross
    case 3:
        return win32::Cursor::Standard(32513); // I-beam
    case 5:
    case 15:
        return win32::Cursor::Standard(32646); // size all
    case 6:
        return win32::Cursor::Standard(32643); // size NE-SW
    case 7:
        return win32::Cursor::Standard(32645); // size N-S
    case 8:
        return win32::Cursor::Standard(32642); // size NW-SE
    case 9:
        return win32::Cursor::Standard(32644); // size W-E
    case 10:
        return win32::Cursor::Standard(32516); // up arrow
    case 11:
        return win32::Cursor::Standard(32514); // wait
    case 12:
        return win32::Cursor::Standard(32648); // no
    case 13:
        return win32::Cursor::Standard(32650); // arrow and hourglass
    case 14:
        return win32::Cursor::Standard(32651); // arrow and question mark
    case 99: {
        if (icon == 0) break;
        int w = 0, h = 0;
        const std::vector<std::uint32_t> pixels = iconPixels(icon, w, h);
        if (pixels.empty()) break;
        int hotX = w / 2, hotY = h / 2;
        ICONINFO info;
        if (GetIconInfo(icon, info)) {
            if (!info.fIcon) {
                hotX = static_cast<int>(info.xHotspot);
                hotY = static_cast<int>(info.yHotspot);
            }
            if (info.hbmMask != 0) DeleteObject(info.hbmMask);
            if (info.hbmColor != 0) DeleteObject(info.hbmColor);
        }
        win32::Cursor made = win32::Cursor::FromPixels(pixels, w, h, hotX, hotY);
        if (made.valid()) return made;
        break;
    }
    default:
        break;
    }
    return win32::Cursor::Standard(32512); // arrow
}

// --- the site -------------------------------------------------------------------

Win32ContainerSite::Win32ContainerSite(Win32ControlContainer& container, std::string typeName,
                                       std::string name, const RECT& extent)
    : container_(container), typeName_(std::move(typeName)), name_(std::move(name)),
      extent_(extent) {}

HWND Win32ContainerSite::ContainerHwnd() const {
    return container_.window_;
}
WindowServices& Win32ContainerSite::Windows() {
    return container_.host_;
}
TimerServices& Win32ContainerSite::Timers() {
    return container_.host_;
}
PointerServices& Win32ContainerSite::Pointer() {
    return container_.host_;
}
ClipboardServices& Win32ContainerSite::Clipboard() {
    return container_.host_;
}
bool Win32ContainerSite::UserMode() const {
    return container_.userMode_;
}
std::optional<std::int32_t> Win32ContainerSite::ScaleMode() const {
    return container_.scaleMode_;
}

void Win32ContainerSite::Move(const RECT& extent) {
    const RECT before = extent_;
    extent_ = extent;
    container_.invalidate(before);
    container_.invalidate(extent);
    // A control learns of a new size as from any container (it ignores the
    // notice of a resize it asked for itself).
    const bool resized = extent.right - extent.left != before.right - before.left ||
                         extent.bottom - extent.top != before.bottom - before.top;
    if (control_ != nullptr && resized) control_->Resize();
}

std::vector<SitedControl> Win32ContainerSite::Controls() const {
    std::vector<SitedControl> out;
    for (const auto& site : container_.sites_)
        if (site->control_ != nullptr) out.push_back({site->typeName_, site->link_});
    return out;
}

void Win32ContainerSite::SetMousePointer(std::int16_t pointer, HICON icon) {
    pointer_ = pointer;
    cursor_ = pointer != 0 ? CursorForMousePointer(pointer, icon) : win32::Cursor();
    // The shape changes at once when the pointer is over the control.
    container_.setCursor();
}

int Win32ContainerSite::MessageBox(const std::string& text, const std::string& caption,
                                   unsigned flags) {
    return container_.host_.MessageBox(text, caption, flags);
}

void Win32ContainerSite::Invalidate(const RECT* area) {
    const RECT whole{0, 0, extent_.right - extent_.left, extent_.bottom - extent_.top};
    // The control draws only inside its rectangle, so that is all it can
    // have changed.
    RECT a = area != nullptr ? *area : whole;
    a = {std::max(a.left, whole.left), std::max(a.top, whole.top), std::min(a.right, whole.right),
         std::min(a.bottom, whole.bottom)};
    if (a.left >= a.right || a.top >= a.bottom) return;
    container_.invalidate({extent_.left + a.left, extent_.top + a.top, extent_.left + a.right,
                           extent_.top + a.bottom});
}

void Win32ContainerSite::PropertyChanged(std::string_view name) {
    if (container_.onChange_) container_.onChange_(*this, name);
}

void Win32ContainerSite::RaiseEvent(std::string_view name, std::span<EventArg> args) {
    if (container_.onEvent_) container_.onEvent_(*this, name, args);
}

void Win32ContainerSite::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (control_ != nullptr) {
        if (visible)
            control_->Show();
        else
            control_->Hide();
    }
    container_.invalidate(extent_);
}

// --- the container ---------------------------------------------------------------

Win32ControlContainer::Win32ControlContainer(Win32Host& host, HWND parent, const RECT& rect,
                                             const std::string& name)
    : host_(host), background_(GetSysColor(COLOR_BTNFACE)), arrow_(win32::Cursor::Standard(32512)) {
    // The class has the default procedure: the container takes the
    // system's messages before it (the class is registered once per host).
    WNDCLASSA cls;
    cls.lpfnWndProc = &platform::DefWindowProcA;
    cls.lpszClassName = kContainerClass;
    host_.RegisterClassA(cls);
    window_ = host_.CreateWindowExA(0, kContainerClass, name.c_str(), WS_CHILD | WS_VISIBLE,
                                    rect.left, rect.top, rect.right - rect.left,
                                    rect.bottom - rect.top, parent, 0, 0, nullptr);
    host_.SetMessageHandler(window_, [this](UINT message, WPARAM wParam, LPARAM lParam) {
        return this->message(message, wParam, lParam);
    });
    if (const win32::NativeWindow native = host_.nativeWindow(window_))
        drops_ = std::make_unique<win32::DropRegistration>(native, static_cast<DropSink&>(*this));
}

Win32ControlContainer::~Win32ControlContainer() {
    drops_.reset();
    if (window_ != 0 && host_.IsWindow(window_)) {
        host_.SetMessageHandler(window_, nullptr);
        host_.DestroyWindow(window_);
    }
}

Win32ContainerSite& Win32ControlContainer::addSite(std::string typeName, std::string name,
                                                   const RECT& extent) {
    sites_.push_back(
        std::make_unique<Win32ContainerSite>(*this, std::move(typeName), std::move(name), extent));
    return *sites_.back();
}

void Win32ControlContainer::attach(ContainerSite& site, WindowlessControl& control,
                                   ICrossComm* link) {
    Win32ContainerSite* own = this->site(site);
    if (own == nullptr) return;
    own->control_ = &control;
    own->link_ = link;
    own->Invalidate(nullptr);
}

void Win32ControlContainer::detach(ContainerSite& site) {
    Win32ContainerSite* own = this->site(site);
    if (own == nullptr) return;
    if (pressed_ == own) pressed_ = nullptr;
    if (focused_ == own) focused_ = nullptr;
    if (dragOver_ == own) dragOver_ = nullptr;
    own->control_ = nullptr;
    own->link_ = nullptr;
    own->Invalidate(nullptr);
}

void Win32ControlContainer::removeSite(ContainerSite& site) {
    Win32ContainerSite* own = this->site(site);
    if (own == nullptr) return;
    detach(*own);
    std::erase_if(sites_,
                  [&](const std::unique_ptr<Win32ContainerSite>& s) { return s.get() == own; });
}

void Win32ControlContainer::renameSite(ContainerSite& site, std::string name) {
    if (Win32ContainerSite* own = this->site(site)) own->setName(std::move(name));
}

Win32ContainerSite* Win32ControlContainer::site(std::string_view name) const {
    for (const auto& s : sites_)
        if (s->name_ == name) return s.get();
    return nullptr;
}

Win32ContainerSite* Win32ControlContainer::site(const ContainerSite& site) const {
    for (const auto& s : sites_)
        if (s.get() == &site) return s.get();
    return nullptr;
}

void Win32ControlContainer::setBackground(COLORREF color) {
    background_ = color;
    host_.InvalidateRect(window_, nullptr, false);
}

Win32ContainerSite* Win32ControlContainer::siteAt(int x, int y) const {
    // The last control is drawn last, so it is the one on top.
    for (auto it = sites_.rbegin(); it != sites_.rend(); ++it) {
        Win32ContainerSite& s = **it;
        const RECT& e = s.extent_;
        // A disabled control gets no pointer input; what lies under it does.
        if (s.control_ == nullptr || !s.enabled_ || !s.visible_ || x < e.left || x >= e.right ||
            y < e.top || y >= e.bottom)
            continue;
        int answer = HITRESULT_OUTSIDE;
        s.control_->HitTest(x - e.left, y - e.top, answer);
        if (answer == HITRESULT_HIT) return &s;
    }
    return nullptr;
}

void Win32ControlContainer::paintControls(HDC dc, const RECT& clip) const {
    for (const auto& s : sites_) {
        if (s->control_ == nullptr || !s->visible_ || !meets(s->extent_, clip)) continue;
        const RECT own{std::max(clip.left, s->extent_.left), std::max(clip.top, s->extent_.top),
                       std::min(clip.right, s->extent_.right),
                       std::min(clip.bottom, s->extent_.bottom)};
        // A control may draw past the clip box it is given (a shadow, an
        // offset or a turned image), so it paints into a canvas of just its
        // visible part, holding what lies behind it: nothing it draws can
        // reach a neighbour or stay behind when its drawing moves.
        const int w = own.right - own.left, h = own.bottom - own.top;
        MemoryCanvas part(w, h);
        if (!part.ok() || !BitBlt(part.dc(), 0, 0, w, h, dc, own.left, own.top, SRCCOPY)) continue;
        s->control_->Paint(part.dc(), s->extent_.left - own.left, s->extent_.top - own.top,
                           {0, 0, w, h});
        BitBlt(dc, own.left, own.top, w, h, part.dc(), 0, 0, SRCCOPY);
    }
}

int Win32ControlContainer::logical(int device) const {
    const std::uint32_t dpi = win32::NativeDpi(host_.nativeWindow(window_));
    return static_cast<int>(static_cast<std::int64_t>(device) * 96 /
                            static_cast<std::int64_t>(dpi));
}

void Win32ControlContainer::invalidate(const RECT& area) {
    if (area.left >= area.right || area.top >= area.bottom) return;
    // The container's pixels to the window's.
    const std::uint32_t dpi = win32::NativeDpi(host_.nativeWindow(window_));
    const auto device = [&](std::int32_t v, bool up) {
        const std::int64_t scaled = static_cast<std::int64_t>(v) * dpi + (up ? 95 : 0);
        return static_cast<std::int32_t>(scaled / 96);
    };
    const RECT r{device(area.left, false), device(area.top, false), device(area.right, true),
                 device(area.bottom, true)};
    host_.InvalidateRect(window_, &r, false);
}

void Win32ControlContainer::paint() {
    const win32::NativeWindow native = host_.nativeWindow(window_);
    const std::uint32_t dpi = win32::NativeDpi(native);
    win32::PaintNative(native, dpi, [&](const win32::Area& area) -> std::optional<win32::Pixels> {
        RECT client{};
        host_.GetClientRect(window_, &client);
        const int w = std::max(1, logical(client.right)), h = std::max(1, logical(client.bottom));
        if (!canvas_ || canvas_->width() != w || canvas_->height() != h)
            canvas_ = std::make_unique<MemoryCanvas>(w, h);
        if (!canvas_->ok()) return std::nullopt;
        const RECT clip{std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, w),
                        std::min(area.bottom, h)};
        const std::uint32_t bg = 0xFF000000u | ((background_ & 0xFFu) << 16) |
                                 (background_ & 0xFF00u) | ((background_ >> 16) & 0xFFu);
        canvas_->fill(clip, bg);
        paintControls(canvas_->dc(), clip);
        return win32::Pixels{canvas_->bytes().data(), w, h};
    });
}

Win32ContainerSite* Win32ControlContainer::target(int x, int y) const {
    return pressed_ != nullptr ? pressed_ : siteAt(x, y);
}

bool Win32ControlContainer::setCursor() {
    POINT at{};
    if (!host_.GetCursorPos(&at) || !host_.ScreenToClient(window_, &at)) return false;
    RECT client{};
    host_.GetClientRect(window_, &client);
    if (at.x < 0 || at.y < 0 || at.x >= client.right || at.y >= client.bottom) return false;
    const Win32ContainerSite* over = siteAt(logical(at.x), logical(at.y));
    if (over != nullptr && over->cursor_.valid())
        over->cursor_.show();
    else
        arrow_.show();
    return true;
}

void Win32ControlContainer::mouseMove(WPARAM wParam, int x, int y) {
    if (!tracking_) {
        win32::TrackPointerLeave(host_.nativeWindow(window_));
        tracking_ = true;
    }
    Win32ContainerSite* s = target(x, y);
    if (s == nullptr || s->control_ == nullptr) return;
    s->control_->MouseMove(buttonsOf(wParam), shiftOf(wParam), x - s->extent_.left,
                           y - s->extent_.top);
}

void Win32ControlContainer::mouseButton(UINT message, WPARAM wParam, int x, int y) {
    const std::int16_t button = buttonOf(message);
    const bool down =
        message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
    const bool doubleClick =
        message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK || message == WM_MBUTTONDBLCLK;
    if (down || doubleClick) {
        Win32ContainerSite* s = target(x, y);
        if (s == nullptr || s->control_ == nullptr) return;
        // The pointer stays with the control until the last button is up,
        // wherever it goes meanwhile.
        if (pressed_ == nullptr) host_.SetCapture(window_);
        pressed_ = s;
        focused_ = s;
        win32::FocusNative(host_.nativeWindow(window_));
        if (doubleClick) {
            // The second press of a double click is the double click itself;
            // its release ends it without a click.
            doubleClicked_ = true;
            s->control_->DblClick();
        } else {
            s->control_->MouseDown(button, shiftOf(wParam), x - s->extent_.left,
                                   y - s->extent_.top);
        }
        return;
    }
    Win32ContainerSite* s = pressed_;
    if (s == nullptr || s->control_ == nullptr) return;
    // wParam holds the buttons still down after this release.
    const bool last = buttonsOf(wParam) == 0;
    WindowlessControl* control = s->control_;
    control->MouseUp(button, shiftOf(wParam), x - s->extent_.left, y - s->extent_.top);
    // A click is a press and a release on the same control.
    const bool click =
        !doubleClicked_ && pressed_ == s && s->control_ == control && siteAt(x, y) == s;
    if (last) {
        pressed_ = nullptr;
        doubleClicked_ = false;
        if (host_.GetCapture() == window_) host_.ReleaseCapture();
    }
    if (click) control->Click();
}

void Win32ControlContainer::key(UINT message, WPARAM wParam) {
    WindowlessControl* control = focused_ != nullptr ? focused_->control_ : nullptr;
    if (control == nullptr || !focused_->enabled_) return;
    const std::int16_t shift = win32::ShiftKeys();
    if (message == WM_CHAR) {
        if (wParam < 0x80) {
            auto ascii = static_cast<std::int16_t>(wParam);
            control->KeyPress(ascii);
        }
        return;
    }
    auto code = static_cast<std::int16_t>(wParam & 0xFF);
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)
        control->KeyDown(code, shift);
    else
        control->KeyUp(code, shift);
}

Win32ContainerSite* Win32ControlContainer::dropTarget(int x, int y) const {
    Win32ContainerSite* s = siteAt(x, y);
    return s != nullptr && s->dropMode_ == 1 ? s : nullptr;
}

std::uint32_t Win32ControlContainer::dragOver(std::span<const std::uint8_t> files,
                                              win32::Spot client, std::uint32_t keys,
                                              std::uint32_t allowed, bool entering) {
    if (entering) dragOver_ = nullptr;
    const int x = logical(client.x), y = logical(client.y);
    Win32ContainerSite* s = dropTarget(x, y);
    DropData data(files);
    const std::int16_t button = buttonsOf(keys);
    const std::int16_t shift = dragShift(keys);
    if (dragOver_ != nullptr && dragOver_ != s) {
        std::int32_t none = 0;
        const RECT& e = dragOver_->extent_;
        dragOver_->control_->OLEDragOver(data, none, button, shift, x - e.left, y - e.top, vbLeave);
    }
    if (s == nullptr) {
        dragOver_ = nullptr;
        return 0;
    }
    auto effect = static_cast<std::int32_t>(allowed & 3u);
    s->control_->OLEDragOver(data, effect, button, shift, x - s->extent_.left, y - s->extent_.top,
                             dragOver_ == s ? vbOver : vbEnter);
    dragOver_ = s;
    return static_cast<std::uint32_t>(effect);
}

void Win32ControlContainer::dragLeave() {
    if (dragOver_ != nullptr && dragOver_->control_ != nullptr) {
        DropData data({});
        std::int32_t none = 0;
        dragOver_->control_->OLEDragOver(data, none, 0, 0, 0, 0, vbLeave);
    }
    dragOver_ = nullptr;
}

std::uint32_t Win32ControlContainer::drop(std::span<const std::uint8_t> files, win32::Spot client,
                                          std::uint32_t keys, std::uint32_t allowed) {
    const int x = logical(client.x), y = logical(client.y);
    Win32ContainerSite* s = dropTarget(x, y);
    dragOver_ = nullptr;
    if (s == nullptr) return 0;
    DropData data(files);
    auto effect = static_cast<std::int32_t>(allowed & 3u);
    s->control_->OLEDragDrop(data, effect, buttonsOf(keys), dragShift(keys), x - s->extent_.left,
                             y - s->extent_.top);
    return static_cast<std::uint32_t>(effect);
}

std::optional<LRESULT> Win32ControlContainer::message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint covers everything
    case WM_DPICHANGED_AFTERPARENT:
        // The same pixels, enlarged anew.
        host_.InvalidateRect(window_, nullptr, false);
        return 0;
    case WM_NCHITTEST: {
        // Points no control takes belong to the window behind.
        if (pressed_ != nullptr) return std::nullopt;
        POINT at{xOf(lParam), yOf(lParam)};
        host_.ScreenToClient(window_, &at);
        if (siteAt(logical(at.x), logical(at.y)) == nullptr) return HTTRANSPARENT;
        return std::nullopt;
    }
    case WM_SETCURSOR:
        if ((static_cast<std::uint32_t>(lParam) & 0xFFFF) == HTCLIENT && setCursor()) return 1;
        return std::nullopt;
    case WM_MOUSEMOVE:
        mouseMove(wParam, logical(xOf(lParam)), logical(yOf(lParam)));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
        mouseButton(message, wParam, logical(xOf(lParam)), logical(yOf(lParam)));
        return 0;
    case WM_MOUSELEAVE:
        tracking_ = false;
        return 0;
    case WM_CAPTURECHANGED:
        // Another window took the pointer: the press is over, without a
        // release or a click.
        if (static_cast<HWND>(lParam) != window_) {
            pressed_ = nullptr;
            doubleClicked_ = false;
        }
        return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_CHAR:
        key(message, wParam);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace platform
