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
#include "platform/host/container_site.h"
#include "platform/host/control_container.h"
#include "platform/qt/qt_host.h"

#include <QColor>
#include <QCursor>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class QtControlContainer;

class QtContainerSite final : public ContainerSite {
public:
    QtContainerSite(QtControlContainer& container, std::string typeName, std::string name,
                    const RECT& extent);

    HWND ContainerHwnd() const override;
    WindowServices& Windows() override;
    TimerServices& Timers() override;
    PointerServices& Pointer() override;
    ClipboardServices& Clipboard() override;

    bool UserMode() const override;
    std::optional<std::int32_t> ScaleMode() const override;
    RECT Extent() const override { return extent_; }
    void Move(const RECT& extent) override;
    std::vector<SitedControl> Controls() const override;
    std::string Tag() const override { return tag_; }
    void SetTag(std::string tag) override { tag_ = std::move(tag); }

    void SetMousePointer(std::int16_t pointer, HICON icon) override;
    void SetOLEDropMode(std::int16_t mode) override { dropMode_ = mode; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void Invalidate(const RECT* area) override;
    void PropertyChanged(std::string_view name) override;
    void RaiseEvent(std::string_view name, std::span<EventArg> args) override;

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& typeName() const { return typeName_; }
    WindowlessControl* control() const { return control_; }
    std::int16_t mousePointer() const { return pointer_; }
    std::int16_t dropMode() const { return dropMode_; }
    bool enabled() const { return enabled_; }
    // A hidden control is neither drawn nor asked about the pointer; the
    // control is told (Show, Hide) when this changes.
    void setVisible(bool visible);
    bool visible() const { return visible_; }
    // The cursor shown over the control.
    const QCursor& cursor() const { return cursor_; }

private:
    friend class QtControlContainer;
    QtControlContainer& container_;
    std::string typeName_;
    std::string name_;
    RECT extent_;
    std::string tag_;
    WindowlessControl* control_ = nullptr;
    ICrossComm* link_ = nullptr;
    std::int16_t pointer_ = 0;
    std::int16_t dropMode_ = 0;
    bool enabled_ = true;
    bool visible_ = true;
    QCursor cursor_;
};

class QtControlContainer final : public QWidget, public ControlContainer {
public:
    // The container stands for `window`, a window of the host (the picture
    // box's record): the controls' timers and messages go to it.
    QtControlContainer(QtHost& host, HWND window, QWidget* parent = nullptr);
    ~QtControlContainer() override;

    // A place for a control, owned by the container. A control is made with
    // its site and then attached; it is detached before it goes away.
    QtContainerSite& addSite(std::string typeName, std::string name, const RECT& extent) override;
    void attach(ContainerSite& site, WindowlessControl& control, ICrossComm* link) override;
    void detach(ContainerSite& site) override;
    // Ends a place (detaching its control first, when it has one).
    void removeSite(ContainerSite& site) override;
    void renameSite(ContainerSite& site, std::string name) override;
    QtContainerSite* site(std::string_view name) const;
    // This container's own site that `site` is, or null for another's.
    QtContainerSite* site(const ContainerSite& site) const;
    const std::vector<std::unique_ptr<QtContainerSite>>& sites() const { return sites_; }

    // Ambient settings the controls read.
    void setUserMode(bool userMode) { userMode_ = userMode; }
    void setScaleMode(std::optional<std::int32_t> mode) { scaleMode_ = mode; }
    // What lies behind the controls.
    void setBackground(const QColor& color);

    // Receives every event a control raises (its site names the control).
    using EventHandler =
        std::function<void(QtContainerSite&, std::string_view, std::span<EventArg>)>;
    void setEventHandler(EventHandler handler) { onEvent_ = std::move(handler); }
    // Receives every property change a control reports.
    using ChangeHandler = std::function<void(QtContainerSite&, std::string_view)>;
    void setChangeHandler(ChangeHandler handler) { onChange_ = std::move(handler); }

    // The site of the topmost control that takes the point (pixels of the
    // container), or null.
    QtContainerSite* siteAt(int x, int y) const;

    QtHost& host() const { return host_; }
    HWND window() const { return window_; }

    // Paints the controls that meet `clip` over the background into `dc`,
    // which holds a 32-bit DIB section of the container's size, each only
    // inside its own rectangle (tests and screenshots use it; the widget's
    // own painting does the same).
    void paintControls(HDC dc, const RECT& clip) const;

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
    friend class QtContainerSite;

    void updateCursor(const QtContainerSite* over);
    void invalidate(const QRect& area);
    // Where a mouse event goes: the control holding the pointer since a
    // press, else the one under it.
    QtContainerSite* target(const QPoint& at) const;

    QtHost& host_;
    HWND window_;
    bool userMode_ = true;
    std::optional<std::int32_t> scaleMode_ = 3; // pixels
    QColor background_;
    std::vector<std::unique_ptr<QtContainerSite>> sites_;
    std::unique_ptr<MemoryCanvas> canvas_;
    QtContainerSite* pressed_ = nullptr;  // holds the pointer between press and release
    QtContainerSite* focused_ = nullptr;  // takes the keyboard
    QtContainerSite* dragOver_ = nullptr; // under a drag
    // Answers the drag's position: the control under it that takes drops.
    QtContainerSite* dropTarget(const QPoint& at) const;
    bool doubleClicked_ = false;
    EventHandler onEvent_;
    ChangeHandler onChange_;
};

// The pointer shapes of MousePointer values 0 to 15 (0: the container's
// default), and 99 with an icon: a cursor from the icon's pixels with its
// hot spot. Unknown values give the default arrow.
QCursor CursorForMousePointer(std::int16_t pointer, HICON icon);

} // namespace platform
