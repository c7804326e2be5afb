#include "platform/qt/qt_container.h"

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
        const PointerImage shape = PointerImageOf(icon);
        if (shape.pixels.empty()) break;
        // A copy: the pixmap may share the image's pixels, which the shape owns.
        const QImage image =
            QImage(reinterpret_cast<const uchar*>(shape.pixels.data()), shape.width, shape.height,
                   static_cast<qsizetype>(shape.width) * 4, QImage::Format_ARGB32_Premultiplied)
                .copy();
        return QCursor(QPixmap::fromImage(image), shape.hotX, shape.hotY);
    }
    default:
        break;
    }
    return QCursor(Qt::ArrowCursor);
}

// --- the site -------------------------------------------------------------------

QtContainerSite::QtContainerSite(QtControlContainer& container, std::string typeName,
                                 std::string name, const RECT& extent)
    : SiteBase(container, std::move(typeName), std::move(name), extent), container_(container),
      cursor_(Qt::ArrowCursor) {}

void QtContainerSite::SetMousePointer(std::int16_t pointer, HICON icon) {
    setMousePointer(pointer);
    cursor_ = CursorForMousePointer(pointer, icon);
    // The shape changes at once when the pointer is over the control.
    const QPoint at = container_.mapFromGlobal(QCursor::pos());
    if (container_.siteAt(at.x(), at.y()) == this) container_.setCursor(cursor_);
}

// --- the container ---------------------------------------------------------------

QtControlContainer::QtControlContainer(QtHost& host, HWND window, QWidget* parent)
    : QWidget(parent), SiteContainer(host, window), host_(host) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setAcceptDrops(true);
    background_ = palette().color(QPalette::Window);
}

QtControlContainer::~QtControlContainer() = default;

void QtControlContainer::setBackground(const QColor& color) {
    background_ = color;
    update();
}

void QtControlContainer::invalidate(const RECT& area) {
    if (area.left < area.right && area.top < area.bottom)
        update(QRect(area.left, area.top, area.right - area.left, area.bottom - area.top));
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

void QtControlContainer::updateCursor(const QtContainerSite* over) {
    if (over != nullptr && over->mousePointer() != 0)
        setCursor(over->cursor());
    else
        unsetCursor();
}

void QtControlContainer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    updateCursor(siteAt(at.x(), at.y()));
    if (!passMove(buttonsOf(event->buttons()), shiftOf(event->modifiers()), at.x(), at.y()))
        event->ignore();
}

void QtControlContainer::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    QtContainerSite* s = target(at.x(), at.y());
    if (s == nullptr) {
        event->ignore();
        return;
    }
    passPress(*s, buttonOf(event->button()), shiftOf(event->modifiers()), at.x(), at.y());
}

void QtControlContainer::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    QtContainerSite* s = target(at.x(), at.y());
    if (s == nullptr) {
        event->ignore();
        return;
    }
    passDoubleClick(*s);
}

void QtControlContainer::mouseReleaseEvent(QMouseEvent* event) {
    if (!holding()) {
        event->ignore();
        return;
    }
    const QPoint at = event->position().toPoint();
    const bool last = event->buttons() == Qt::NoButton;
    if (WindowlessControl* click = passRelease(buttonOf(event->button()),
                                               shiftOf(event->modifiers()), at.x(), at.y(), last))
        click->Click();
}

void QtControlContainer::leaveEvent(QEvent* event) {
    unsetCursor();
    QWidget::leaveEvent(event);
}

void QtControlContainer::keyPressEvent(QKeyEvent* event) {
    WindowlessControl* control = focusedControl();
    if (control == nullptr) {
        QWidget::keyPressEvent(event);
        return;
    }
    std::int16_t code = virtualKey(event->key());
    if (code != 0) control->KeyDown(code, shiftOf(event->modifiers()));
    const QString text = event->text();
    if (text.size() == 1 && text[0].unicode() < 0x80) {
        auto ascii = static_cast<std::int16_t>(text[0].unicode());
        control->KeyPress(ascii);
    }
}

void QtControlContainer::keyReleaseEvent(QKeyEvent* event) {
    WindowlessControl* control = focusedControl();
    if (control == nullptr) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    std::int16_t code = virtualKey(event->key());
    if (code != 0) control->KeyUp(code, shiftOf(event->modifiers()));
}

void QtControlContainer::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void QtControlContainer::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint at = event->position().toPoint();
    MimeDataObject data(event->mimeData());
    const std::int32_t effect =
        passDragOver(data, effectOf(event->possibleActions()), buttonsOf(event->buttons()),
                     shiftOf(event->modifiers()), at.x(), at.y());
    if (effect == 0) {
        event->ignore();
        return;
    }
    event->setDropAction((effect & 1) != 0 ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

void QtControlContainer::dragLeaveEvent(QDragLeaveEvent* event) {
    MimeDataObject empty(nullptr);
    passDragLeave(empty);
    QWidget::dragLeaveEvent(event);
}

void QtControlContainer::dropEvent(QDropEvent* event) {
    const QPoint at = event->position().toPoint();
    MimeDataObject data(event->mimeData());
    const std::int32_t effect =
        passDrop(data, effectOf(event->possibleActions()), buttonsOf(event->buttons()),
                 shiftOf(event->modifiers()), at.x(), at.y());
    if (effect == 0) {
        event->ignore();
        return;
    }
    event->setDropAction((effect & 1) != 0 ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

} // namespace platform
