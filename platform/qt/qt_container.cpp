#include "platform/qt/qt_container.h"

#include "platform/gdi/blit.h"
#include "platform/gdi/gdi.h"
#include "platform/host/data_object.h"
#include "platform/picture/icon.h"
#include "platform/qt/qt_clipboard.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QTransform>
#include <algorithm>
#include <cstring>

namespace platform {
namespace {

bool meets(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

std::int16_t buttonOf(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return vbLeftButton;
    case Qt::RightButton:
        return vbRightButton;
    case Qt::MiddleButton:
        return vbMiddleButton;
    default:
        return 0;
    }
}

std::int16_t buttonsOf(Qt::MouseButtons buttons) {
    std::int16_t out = 0;
    if (buttons & Qt::LeftButton) out |= vbLeftButton;
    if (buttons & Qt::RightButton) out |= vbRightButton;
    if (buttons & Qt::MiddleButton) out |= vbMiddleButton;
    return out;
}

// Shift 1, Ctrl 2, Alt 4.
std::int16_t shiftOf(Qt::KeyboardModifiers modifiers) {
    std::int16_t out = 0;
    if (modifiers & Qt::ShiftModifier) out |= 1;
    if (modifiers & Qt::ControlModifier) out |= 2;
    if (modifiers & Qt::AltModifier) out |= 4;
    return out;
}

// The virtual-key code of a Qt key: letters and digits are their upper-case
// characters, the rest from the system's table; 0 for keys it lacks.
std::int16_t virtualKey(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<std::int16_t>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<std::int16_t>(0x70 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
        return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Shift:
        return 0x10;
    case Qt::Key_Control:
        return 0x11;
    case Qt::Key_Alt:
        return 0x12;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Insert:
        return 0x2D;
    case Qt::Key_Delete:
        return 0x2E;
    default:
        return 0;
    }
}

// What a drag carries, as a drop event's data object: the local files it
// names (a drop-file list), and nothing else.
class MimeDataObject final : public DataObject {
public:
    explicit MimeDataObject(const QMimeData* mime) { Files() = MimeDataFiles(mime); }
    bool GetFormat(unsigned format) const override {
        return format == CF_HDROP && !Files().empty();
    }
    std::optional<std::vector<std::uint8_t>> GetData(const FORMATETC& format) const override {
        if (!GetFormat(format.cfFormat)) return std::nullopt;
        return MakeDropFiles(Files(), false);
    }
};

// Copy 1, move 2, as drop effects count them.
std::int32_t effectOf(Qt::DropActions actions) {
    std::int32_t effect = 0;
    if (actions & Qt::CopyAction) effect |= 1;
    if (actions & Qt::MoveAction) effect |= 2;
    return effect;
}

// The icon's pixels with their alpha, recovered by drawing it once over
// black and once over white: where the two agree the pixel is opaque, and
// the difference is what shows through.
QImage iconImage(HICON icon) {
    std::int32_t w = 0, h = 0;
    if (!GetIconSize(icon, w, h) || w < 1 || h < 1 || w > 256 || h > 256) return {};
    MemoryCanvas black(w, h), white(w, h);
    if (!black.ok() || !white.ok()) return {};
    black.fill({0, 0, w, h}, 0xFF000000u);
    white.fill({0, 0, w, h}, 0xFFFFFFFFu);
    if (!DrawIconEx(black.dc(), 0, 0, icon, w, h) || !DrawIconEx(white.dc(), 0, 0, icon, w, h))
        return {};
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* b = black.row(y);
        const std::uint8_t* wt = white.row(y);
        auto* out = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < w; ++x, b += 4, wt += 4) {
            // Over black a pixel is c·a; over white c·a + 255·(1 − a).
            const int through = std::clamp(int{wt[1]} - int{b[1]}, 0, 255);
            const std::uint32_t alpha = 255u - static_cast<std::uint32_t>(through);
            const auto channel = [&](int i) { return std::min<std::uint32_t>(b[i], alpha); };
            out[x] = (alpha << 24) | (channel(2) << 16) | (channel(1) << 8) | channel(0);
        }
    }
    return image;
}

} // namespace

QCursor CursorForMousePointer(std::int16_t pointer, HICON icon) {
    switch (pointer) {
    case 2:
        return QCursor(Qt::CrossCursor);
    case 3:
        return QCursor(Qt::IBeamCursor);
    case 5:
    case 15:
        return QCursor(Qt::SizeAllCursor);
    case 6:
        return QCursor(Qt::SizeBDiagCursor);
    case 7:
        return QCursor(Qt::SizeVerCursor);
    case 8:
        return QCursor(Qt::SizeFDiagCursor);
    case 9:
        return QCursor(Qt::SizeHorCursor);
    case 10:
        return QCursor(Qt::UpArrowCursor);
    case 11:
        return QCursor(Qt::WaitCursor);
    case 12:
        return QCursor(Qt::ForbiddenCursor);
    case 13:
        return QCursor(Qt::BusyCursor);
    case 14:
        return QCursor(Qt::WhatsThisCursor);
    case 99: {
        if (icon == 0) break;
        const QImage image = iconImage(icon);
        if (image.isNull()) break;
        ICONINFO info;
        int hotX = image.width() / 2, hotY = image.height() / 2;
        if (GetIconInfo(icon, info)) {
            if (!info.fIcon) {
                hotX = static_cast<int>(info.xHotspot);
                hotY = static_cast<int>(info.yHotspot);
            }
            if (info.hbmMask != 0) DeleteObject(info.hbmMask);
            if (info.hbmColor != 0) DeleteObject(info.hbmColor);
        }
        return QCursor(QPixmap::fromImage(image), hotX, hotY);
    }
    default:
        break;
    }
    return QCursor(Qt::ArrowCursor);
}

// --- the site -------------------------------------------------------------------

QtContainerSite::QtContainerSite(QtControlContainer& container, std::string typeName,
                                 std::string name, const RECT& extent)
    : container_(container), typeName_(std::move(typeName)), name_(std::move(name)),
      extent_(extent), cursor_(Qt::ArrowCursor) {}

HWND QtContainerSite::ContainerHwnd() const {
    return container_.window_;
}
WindowServices& QtContainerSite::Windows() {
    return container_.host_;
}
TimerServices& QtContainerSite::Timers() {
    return container_.host_;
}
PointerServices& QtContainerSite::Pointer() {
    return container_.host_;
}
ClipboardServices& QtContainerSite::Clipboard() {
    return container_.host_;
}
bool QtContainerSite::UserMode() const {
    return container_.userMode_;
}
std::optional<std::int32_t> QtContainerSite::ScaleMode() const {
    return container_.scaleMode_;
}

void QtContainerSite::Move(const RECT& extent) {
    const QRect before(extent_.left, extent_.top, extent_.right - extent_.left,
                       extent_.bottom - extent_.top);
    extent_ = extent;
    container_.invalidate(before);
    const QRect after(extent.left, extent.top, extent.right - extent.left,
                      extent.bottom - extent.top);
    container_.invalidate(after);
    // A control learns of a new size as from any container (it ignores the
    // notice of a resize it asked for itself).
    if (control_ != nullptr && after.size() != before.size()) control_->Resize();
}

std::vector<SitedControl> QtContainerSite::Controls() const {
    std::vector<SitedControl> out;
    for (const auto& site : container_.sites_)
        if (site->control_ != nullptr) out.push_back({site->typeName_, site->link_});
    return out;
}

void QtContainerSite::SetMousePointer(std::int16_t pointer, HICON icon) {
    pointer_ = pointer;
    cursor_ = CursorForMousePointer(pointer, icon);
    // The shape changes at once when the pointer is over the control.
    const QPoint at = container_.mapFromGlobal(QCursor::pos());
    if (container_.siteAt(at.x(), at.y()) == this) container_.setCursor(cursor_);
}

int QtContainerSite::MessageBox(const std::string& text, const std::string& caption,
                                unsigned flags) {
    return container_.host_.MessageBox(text, caption, flags);
}

void QtContainerSite::Invalidate(const RECT* area) {
    const RECT whole{0, 0, extent_.right - extent_.left, extent_.bottom - extent_.top};
    // The control draws only inside its rectangle, so that is all it can
    // have changed.
    RECT a = area != nullptr ? *area : whole;
    a = {std::max(a.left, whole.left), std::max(a.top, whole.top), std::min(a.right, whole.right),
         std::min(a.bottom, whole.bottom)};
    container_.invalidate(
        QRect(extent_.left + a.left, extent_.top + a.top, a.right - a.left, a.bottom - a.top));
}

void QtContainerSite::PropertyChanged(std::string_view name) {
    if (container_.onChange_) container_.onChange_(*this, name);
}

void QtContainerSite::RaiseEvent(std::string_view name, std::span<EventArg> args) {
    if (container_.onEvent_) container_.onEvent_(*this, name, args);
}

// --- the container ---------------------------------------------------------------

QtControlContainer::QtControlContainer(QtHost& host, HWND window, QWidget* parent)
    : QWidget(parent), host_(host), window_(window) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setAcceptDrops(true);
    background_ = palette().color(QPalette::Window);
}

QtControlContainer::~QtControlContainer() = default;

QtContainerSite& QtControlContainer::addSite(std::string typeName, std::string name,
                                             const RECT& extent) {
    sites_.push_back(
        std::make_unique<QtContainerSite>(*this, std::move(typeName), std::move(name), extent));
    return *sites_.back();
}

void QtControlContainer::attach(ContainerSite& site, WindowlessControl& control, ICrossComm* link) {
    QtContainerSite* own = this->site(site);
    if (own == nullptr) return;
    own->control_ = &control;
    own->link_ = link;
    own->Invalidate(nullptr);
}

void QtControlContainer::detach(ContainerSite& site) {
    QtContainerSite* own = this->site(site);
    if (own == nullptr) return;
    if (pressed_ == own) pressed_ = nullptr;
    if (focused_ == own) focused_ = nullptr;
    if (dragOver_ == own) dragOver_ = nullptr;
    own->control_ = nullptr;
    own->link_ = nullptr;
    own->Invalidate(nullptr);
}

void QtControlContainer::removeSite(ContainerSite& site) {
    QtContainerSite* own = this->site(site);
    if (own == nullptr) return;
    detach(*own);
    std::erase_if(sites_,
                  [&](const std::unique_ptr<QtContainerSite>& s) { return s.get() == own; });
}

void QtControlContainer::renameSite(ContainerSite& site, std::string name) {
    if (QtContainerSite* own = this->site(site)) own->setName(std::move(name));
}

QtContainerSite* QtControlContainer::site(std::string_view name) const {
    for (const auto& s : sites_)
        if (s->name_ == name) return s.get();
    return nullptr;
}

QtContainerSite* QtControlContainer::site(const ContainerSite& site) const {
    for (const auto& s : sites_)
        if (s.get() == &site) return s.get();
    return nullptr;
}

void QtContainerSite::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (control_ != nullptr) {
        if (visible)
            control_->Show();
        else
            control_->Hide();
    }
    container_.invalidate(QRect(extent_.left, extent_.top, extent_.right - extent_.left,
                                extent_.bottom - extent_.top));
}

void QtControlContainer::setBackground(const QColor& color) {
    background_ = color;
    update();
}

QtContainerSite* QtControlContainer::siteAt(int x, int y) const {
    // The last control is drawn last, so it is the one on top.
    for (auto it = sites_.rbegin(); it != sites_.rend(); ++it) {
        QtContainerSite& s = **it;
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

void QtControlContainer::paintControls(HDC dc, const RECT& clip) const {
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

void QtControlContainer::invalidate(const QRect& area) {
    if (area.isValid()) update(area);
}

void QtControlContainer::resizeEvent(QResizeEvent* event) {
    canvas_.reset();
    QWidget::resizeEvent(event);
}

void QtControlContainer::paintEvent(QPaintEvent* event) {
    if (!canvas_ || canvas_->width() != width() || canvas_->height() != height())
        canvas_ = std::make_unique<MemoryCanvas>(width(), height());
    MemoryCanvas& dib = *canvas_;
    QPainter painter(this);
    if (!dib.ok()) {
        painter.fillRect(event->rect(), background_);
        return;
    }
    const QRect r = event->rect();
    const RECT clip{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    const QRgb bg = background_.rgb();
    dib.fill(clip, 0xFF000000u | (bg & 0xFFFFFFu));
    paintControls(dib.dc(), clip);
    // The section's rows are bottom-up: shown through a vertical flip, with
    // no conversion of the pixels. The alpha bytes carry nothing on an
    // opaque background, so the image is read as RGB32.
    const QImage image(dib.bytes().data(), dib.width(), dib.height(),
                       static_cast<qsizetype>(dib.stride()), QImage::Format_RGB32);
    painter.setClipRect(r);
    painter.setTransform(QTransform(1, 0, 0, -1, 0, dib.height()));
    painter.drawImage(0, 0, image);
}

QtContainerSite* QtControlContainer::target(const QPoint& at) const {
    return pressed_ != nullptr ? pressed_ : siteAt(at.x(), at.y());
}

void QtControlContainer::updateCursor(const QtContainerSite* over) {
    if (over != nullptr && over->pointer_ != 0)
        setCursor(over->cursor_);
    else
        unsetCursor();
}

void QtControlContainer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    updateCursor(siteAt(at.x(), at.y()));
    QtContainerSite* s = target(at);
    if (s == nullptr || s->control_ == nullptr) {
        event->ignore();
        return;
    }
    s->control_->MouseMove(buttonsOf(event->buttons()), shiftOf(event->modifiers()),
                           at.x() - s->extent_.left, at.y() - s->extent_.top);
}

void QtControlContainer::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    QtContainerSite* s = target(at);
    if (s == nullptr || s->control_ == nullptr) {
        event->ignore();
        return;
    }
    pressed_ = s;
    focused_ = s;
    s->control_->MouseDown(buttonOf(event->button()), shiftOf(event->modifiers()),
                           at.x() - s->extent_.left, at.y() - s->extent_.top);
}

void QtControlContainer::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    QtContainerSite* s = target(at);
    if (s == nullptr || s->control_ == nullptr) {
        event->ignore();
        return;
    }
    // The second press of a double click is the double click itself; its
    // release ends it without a click.
    pressed_ = s;
    doubleClicked_ = true;
    s->control_->DblClick();
}

void QtControlContainer::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    QtContainerSite* s = pressed_;
    if (s == nullptr || s->control_ == nullptr) {
        event->ignore();
        return;
    }
    const bool last = event->buttons() == Qt::NoButton;
    WindowlessControl* control = s->control_;
    control->MouseUp(buttonOf(event->button()), shiftOf(event->modifiers()),
                     at.x() - s->extent_.left, at.y() - s->extent_.top);
    // A click is a press and a release on the same control.
    const bool click =
        !doubleClicked_ && pressed_ == s && s->control_ == control && siteAt(at.x(), at.y()) == s;
    if (last) {
        pressed_ = nullptr;
        doubleClicked_ = false;
    }
    if (click) control->Click();
}

void QtControlContainer::leaveEvent(QEvent* event) {
    unsetCursor();
    QWidget::leaveEvent(event);
}

void QtControlContainer::keyPressEvent(QKeyEvent* event) {
    if (focused_ == nullptr || focused_->control_ == nullptr || !focused_->enabled_) {
        QWidget::keyPressEvent(event);
        return;
    }
    WindowlessControl* control = focused_->control_;
    std::int16_t code = virtualKey(event->key());
    if (code != 0) control->KeyDown(code, shiftOf(event->modifiers()));
    const QString text = event->text();
    if (text.size() == 1 && text[0].unicode() < 0x80) {
        auto ascii = static_cast<std::int16_t>(text[0].unicode());
        control->KeyPress(ascii);
    }
}

void QtControlContainer::keyReleaseEvent(QKeyEvent* event) {
    if (focused_ == nullptr || focused_->control_ == nullptr || !focused_->enabled_) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    std::int16_t code = virtualKey(event->key());
    if (code != 0) focused_->control_->KeyUp(code, shiftOf(event->modifiers()));
}

QtContainerSite* QtControlContainer::dropTarget(const QPoint& at) const {
    QtContainerSite* s = siteAt(at.x(), at.y());
    return s != nullptr && s->dropMode_ == 1 ? s : nullptr;
}

void QtControlContainer::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void QtControlContainer::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint at = event->position().toPoint();
    QtContainerSite* s = dropTarget(at);
    MimeDataObject data(event->mimeData());
    const std::int16_t button = buttonsOf(event->buttons());
    const std::int16_t shift = shiftOf(event->modifiers());
    if (dragOver_ != nullptr && dragOver_ != s) {
        std::int32_t none = 0;
        const RECT& e = dragOver_->extent_;
        dragOver_->control_->OLEDragOver(data, none, button, shift, at.x() - e.left, at.y() - e.top,
                                         vbLeave);
    }
    if (s == nullptr) {
        dragOver_ = nullptr;
        event->ignore();
        return;
    }
    std::int32_t effect = effectOf(event->possibleActions());
    s->control_->OLEDragOver(data, effect, button, shift, at.x() - s->extent_.left,
                             at.y() - s->extent_.top, dragOver_ == s ? vbOver : vbEnter);
    dragOver_ = s;
    if (effect == 0) {
        event->ignore();
        return;
    }
    event->setDropAction((effect & 1) != 0 ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

void QtControlContainer::dragLeaveEvent(QDragLeaveEvent* event) {
    if (dragOver_ != nullptr && dragOver_->control_ != nullptr) {
        MimeDataObject data(nullptr);
        std::int32_t none = 0;
        dragOver_->control_->OLEDragOver(data, none, 0, 0, 0, 0, vbLeave);
    }
    dragOver_ = nullptr;
    QWidget::dragLeaveEvent(event);
}

void QtControlContainer::dropEvent(QDropEvent* event) {
    const QPoint at = event->position().toPoint();
    QtContainerSite* s = dropTarget(at);
    dragOver_ = nullptr;
    if (s == nullptr) {
        event->ignore();
        return;
    }
    MimeDataObject data(event->mimeData());
    std::int32_t effect = effectOf(event->possibleActions());
    s->control_->OLEDragDrop(data, effect, buttonsOf(event->buttons()), shiftOf(event->modifiers()),
                             at.x() - s->extent_.left, at.y() - s->extent_.top);
    if (effect == 0) {
        event->ignore();
        return;
    }
    event->setDropAction((effect & 1) != 0 ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

} // namespace platform
