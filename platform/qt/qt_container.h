#pragma once
// A container of windowless controls on Qt 6 Widgets: the picture boxes of
// the program's window. Each control gets a site (its place, the ambient
// settings, the services of the Qt host); the container paints the controls
// with the project's own rendering into a 32-bit DIB section that the widget
// shows as it is, asks them whether the pointer is on them, and delivers the
// pointer's moves, presses, releases, clicks and double clicks to the one
// that takes the point. Points no control takes fall through to the widget
// behind.

#include "platform/gdi/memory_canvas.h"
#include "platform/host/control_sites.h"
#include "platform/qt/qt_host.h"

#include <QColor>
#include <QCursor>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class QtControlContainer;

class QtContainerSite final : public SiteBase {
public:
    using Container = QtControlContainer; // the one that makes the site
    QtContainerSite(QtControlContainer& container, std::string typeName, std::string name,
                    const RECT& extent);

    void SetMousePointer(std::int16_t pointer, HICON icon) override;
    // The cursor shown over the control.
    const QCursor& cursor() const { return cursor_; }

private:
    QtControlContainer& container_;
    QCursor cursor_;
};

class QtControlContainer final : public QWidget, public SiteContainer<QtContainerSite> {
public:
    // The container stands for `window`, a window of the host (the picture
    // box's record): the controls' timers and messages go to it.
    QtControlContainer(QtHost& host, HWND window, QWidget* parent = nullptr);
    ~QtControlContainer() override;

    // What lies behind the controls.
    void setBackground(const QColor& color);

    QtHost& host() const { return host_; }
    // The host's window the container stands for (the widget's own top
    // level is QWidget::window()).
    using ContainerBase::window;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // The keyboard goes to the control last pressed (the one with the
    // focus), while the container has the focus.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // Files and other data dragged onto a control whose OLEDropMode is 1
    // (manual): the control sees the drag enter, move and leave, and the drop.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void updateCursor(const QtContainerSite* over);
    void invalidate(const RECT& area) override;

    QtHost& host_;
    QColor background_;
    std::unique_ptr<MemoryCanvas> canvas_;
};

// The pointer shapes of MousePointer values 0 to 15 (0: the container's
// default), and 99 with an icon: a cursor from the icon's pixels with its
// hot spot. Unknown values give the default arrow.
QCursor CursorForMousePointer(std::int16_t pointer, HICON icon);

} // namespace platform
