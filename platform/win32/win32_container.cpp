#include "platform/win32/win32_container.h"

#include "platform/gdi/gdi.h"
#include "platform/gdi/sys_colors.h"
#include "platform/host/data_object.h"
#include "platform/host/win32.h"
#include "platform/picture/icon.h"

#include <algorithm>

namespace platform {
namespace {

constexpr const char* kContainerClass = "Velmora.ControlContainer";

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

// A pointer image's pixels with straight alpha, as the system's cursors
// take them.
std::vector<std::uint32_t> straightPixels(const PointerImage& shape) {
    std::vector<std::uint32_t> out(shape.pixels.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t p = shape.pixels[i];
        const std::uint32_t alpha = p >> 24;
        const auto channel = [&](int shift) -> std::uint32_t {
            if (alpha == 0) return 0;
            const std::uint32_t c = (p >> shift) & 0xFFu;
            return std::min<std::uint32_t>(255u, (c * 255u + alpha / 2) / alpha);
        };
        out[i] = (alpha << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
    }
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
        const PointerImage shape = PointerImageOf(icon);
        if (shape.pixels.empty()) break;
        win32::Cursor made = win32::Cursor::FromPixels(straightPixels(shape), shape.width,
                                                       shape.height, shape.hotX, shape.hotY);
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
    : SiteBase(container, std::move(typeName), std::move(name), extent), container_(container) {}

void Win32ContainerSite::SetMousePointer(std::int16_t pointer, HICON icon) {
    setMousePointer(pointer);
    cursor_ = pointer != 0 ? CursorForMousePointer(pointer, icon) : win32::Cursor();
    // The shape changes at once when the pointer is over the control.
    container_.setCursor();
}

// --- the container ---------------------------------------------------------------

Win32ControlContainer::Win32ControlContainer(Win32Host& host, HWND parent, const RECT& rect,
                                             const std::string& name)
    : SiteContainer(host, 0), host_(host), background_(GetSysColor(COLOR_BTNFACE)),
      arrow_(win32::Cursor::Standard(32512)) {
    // The class has the default procedure: the container takes the
    // system's messages before it (the class is registered once per host).
    WNDCLASSA cls;
    cls.lpfnWndProc = &platform::DefWindowProcA;
    cls.lpszClassName = kContainerClass;
    host_.RegisterClassA(cls);
    setWindow(host_.CreateWindowExA(0, kContainerClass, name.c_str(), WS_CHILD | WS_VISIBLE,
                                    rect.left, rect.top, rect.right - rect.left,
                                    rect.bottom - rect.top, parent, 0, 0, nullptr));
    host_.SetMessageHandler(window(), [this](UINT message, WPARAM wParam, LPARAM lParam) {
        return this->message(message, wParam, lParam);
    });
    if (const win32::NativeWindow native = host_.nativeWindow(window()))
        drops_ = std::make_unique<win32::DropRegistration>(native, static_cast<DropSink&>(*this));
}

Win32ControlContainer::~Win32ControlContainer() {
    drops_.reset();
    if (window() != 0 && host_.IsWindow(window())) {
        host_.SetMessageHandler(window(), nullptr);
        host_.DestroyWindow(window());
    }
}

void Win32ControlContainer::setBackground(COLORREF color) {
    background_ = color;
    host_.InvalidateRect(window(), nullptr, false);
}

int Win32ControlContainer::logical(int device) const {
    const std::uint32_t dpi = win32::NativeDpi(host_.nativeWindow(window()));
    return static_cast<int>(static_cast<std::int64_t>(device) * 96 /
                            static_cast<std::int64_t>(dpi));
}

void Win32ControlContainer::invalidate(const RECT& area) {
    if (area.left >= area.right || area.top >= area.bottom) return;
    // The container's pixels to the window's.
    const std::uint32_t dpi = win32::NativeDpi(host_.nativeWindow(window()));
    const auto device = [&](std::int32_t v, bool up) {
        const std::int64_t scaled = static_cast<std::int64_t>(v) * dpi + (up ? 95 : 0);
        return static_cast<std::int32_t>(scaled / 96);
    };
    const RECT r{device(area.left, false), device(area.top, false), device(area.right, true),
                 device(area.bottom, true)};
    host_.InvalidateRect(window(), &r, false);
}

void Win32ControlContainer::paint() {
    const win32::NativeWindow native = host_.nativeWindow(window());
    const std::uint32_t dpi = win32::NativeDpi(native);
    win32::PaintNative(native, dpi, [&](const win32::Area& area) -> std::optional<win32::Pixels> {
        RECT client{};
        host_.GetClientRect(window(), &client);
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

bool Win32ControlContainer::setCursor() {
    POINT at{};
    if (!host_.GetCursorPos(&at) || !host_.ScreenToClient(window(), &at)) return false;
    RECT client{};
    host_.GetClientRect(window(), &client);
    if (at.x < 0 || at.y < 0 || at.x >= client.right || at.y >= client.bottom) return false;
    const Win32ContainerSite* over = siteAt(logical(at.x), logical(at.y));
    if (over != nullptr && over->cursor().valid())
        over->cursor().show();
    else
        arrow_.show();
    return true;
}

void Win32ControlContainer::mouseMove(WPARAM wParam, int x, int y) {
    if (!tracking_) {
        win32::TrackPointerLeave(host_.nativeWindow(window()));
        tracking_ = true;
    }
    passMove(buttonsOf(wParam), shiftOf(wParam), x, y);
}

void Win32ControlContainer::mouseButton(UINT message, WPARAM wParam, int x, int y) {
    const std::int16_t button = buttonOf(message);
    const bool down =
        message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
    const bool doubleClick =
        message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK || message == WM_MBUTTONDBLCLK;
    if (down || doubleClick) {
        Win32ContainerSite* s = target(x, y);
        if (s == nullptr) return;
        // The pointer stays with the control until the last button is up,
        // wherever it goes meanwhile.
        if (!holding()) host_.SetCapture(window());
        focus(*s);
        win32::FocusNative(host_.nativeWindow(window()));
        if (doubleClick)
            passDoubleClick(*s);
        else
            passPress(*s, button, shiftOf(wParam), x, y);
        return;
    }
    if (!holding()) return;
    // wParam holds the buttons still down after this release.
    const bool last = buttonsOf(wParam) == 0;
    WindowlessControl* click = passRelease(button, shiftOf(wParam), x, y, last);
    if (last && host_.GetCapture() == window()) host_.ReleaseCapture();
    if (click != nullptr) click->Click();
}

void Win32ControlContainer::key(UINT message, WPARAM wParam) {
    WindowlessControl* control = focusedControl();
    if (control == nullptr) return;
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

std::uint32_t Win32ControlContainer::dragOver(std::span<const std::uint8_t> files,
                                              win32::Spot client, std::uint32_t keys,
                                              std::uint32_t allowed, bool entering) {
    if (entering) dragEntered();
    DropData data(files);
    return static_cast<std::uint32_t>(passDragOver(data, static_cast<std::int32_t>(allowed & 3u),
                                                   buttonsOf(keys), dragShift(keys),
                                                   logical(client.x), logical(client.y)));
}

void Win32ControlContainer::dragLeave() {
    DropData empty({});
    passDragLeave(empty);
}

std::uint32_t Win32ControlContainer::drop(std::span<const std::uint8_t> files, win32::Spot client,
                                          std::uint32_t keys, std::uint32_t allowed) {
    DropData data(files);
    return static_cast<std::uint32_t>(passDrop(data, static_cast<std::int32_t>(allowed & 3u),
                                               buttonsOf(keys), dragShift(keys), logical(client.x),
                                               logical(client.y)));
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
        host_.InvalidateRect(window(), nullptr, false);
        return 0;
    case WM_NCHITTEST: {
        // Points no control takes belong to the window behind.
        if (holding()) return std::nullopt;
        POINT at{xOf(lParam), yOf(lParam)};
        host_.ScreenToClient(window(), &at);
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
        if (static_cast<HWND>(lParam) != window()) endHold();
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
