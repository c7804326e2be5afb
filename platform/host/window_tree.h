#pragma once
// The windows of a host as records: classes, the parent/child and owner
// links, titles, the GWL_ slots, the procedures and message sending, the
// geometry and the pointer capture. Both hosts keep their windows here; the
// Qt host adds real widgets for top-level windows through the notifications
// below, and each host adds its timers and its cursor.

#include "platform/host/services.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

class WindowTree : public WindowServices, public PointerServices {
public:
    WindowTree();
    // Windows still open when the host ends are dropped without messages:
    // nothing runs on a host that is going away.
    ~WindowTree() override;
    WindowTree(const WindowTree&) = delete;
    WindowTree& operator=(const WindowTree&) = delete;

    // --- WindowServices ------------------------------------------------------
    bool RegisterClassA(const WNDCLASSA& windowClass) override;
    HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                         int x, int y, int width, int height, HWND parent, HMENU menu,
                         HINSTANCE instance, void* param) override;
    bool DestroyWindow(HWND window) override;
    bool IsWindow(HWND window) const override;
    HWND GetParent(HWND window) const override;
    HWND GetWindow(HWND window, UINT relation) const override;
    HWND FindWindowExA(HWND parent, HWND childAfter, const char* className,
                       const char* windowName) const override;
    int GetClassNameA(HWND window, char* buffer, int maxCount) const override;
    int GetWindowTextA(HWND window, char* buffer, int maxCount) const override;
    bool SetWindowTextA(HWND window, const char* text) override;
    LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value) override;
    LONG_PTR GetWindowLongA(HWND window, int index) const override;
    LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam) override;
    LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    bool ShowWindow(HWND window, int command) override;
    bool IsWindowVisible(HWND window) const override;
    bool MoveWindow(HWND window, int x, int y, int width, int height, bool repaint) override;
    bool GetWindowRect(HWND window, RECT* rect) const override;
    bool GetClientRect(HWND window, RECT* rect) const override;
    bool InvalidateRect(HWND window, const RECT* rect, bool erase) override;
    bool KeepWithWindow(HWND window, std::shared_ptr<void> object) override;

    // --- PointerServices, all but the cursor ----------------------------------
    HWND SetCapture(HWND window) override;
    bool ReleaseCapture() override;
    HWND GetCapture() const override { return capture_; }
    HWND WindowFromPoint(POINT point) const override;
    bool ScreenToClient(HWND window, POINT* point) const override;
    bool ClientToScreen(HWND window, POINT* point) const override;

    // The windows alive, for tests and for a host's shutdown.
    std::size_t windowCount() const { return windows_.size(); }
    // The top-level windows, topmost first.
    const std::vector<HWND>& topLevelWindows() const { return topLevel_; }

protected:
    // Notifications for the host; the record exists during each call.
    virtual void windowCreated(HWND window) { static_cast<void>(window); }
    // After WM_NCDESTROY, before the record goes: timers, widgets.
    virtual void windowDestroyed(HWND window) { static_cast<void>(window); }
    virtual void windowShown(HWND window, bool visible) {
        static_cast<void>(window);
        static_cast<void>(visible);
    }
    virtual void windowMoved(HWND window) { static_cast<void>(window); }
    virtual void windowTextChanged(HWND window) { static_cast<void>(window); }
    virtual void windowInvalidated(HWND window, const RECT& area) {
        static_cast<void>(window);
        static_cast<void>(area);
    }
    // Every message the default procedure handles passes here first.
    virtual void defaultMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        static_cast<void>(window);
        static_cast<void>(message);
        static_cast<void>(wParam);
        static_cast<void>(lParam);
    }

    // For hosts that learn of a move from the windowing system: sets the
    // rectangle without notifying.
    void setWindowRect(HWND window, const RECT& rect);
    bool isTopLevel(HWND window) const;

private:
    struct Record {
        std::string className;
        std::string title;
        DWORD style = 0;
        DWORD exStyle = 0;
        HWND parent = 0; // children only
        HWND owner = 0;  // top-level windows only
        RECT rect{};     // relative to the parent's client area
        WNDPROC procedure = nullptr;
        HINSTANCE instance = 0;
        LONG_PTR id = 0;
        LONG_PTR userData = 0;
        bool destroying = false;
        std::vector<HWND> children; // topmost first
        std::vector<std::shared_ptr<void>> kept;
    };

    Record* find(HWND window);
    const Record* find(HWND window) const;
    std::vector<HWND>* siblingsOf(HWND window);
    const std::vector<HWND>* siblingsOf(HWND window) const;
    // The window and its descendants, parents before children.
    void collectTree(HWND window, std::vector<HWND>& out) const;
    POINT screenOrigin(const Record& record) const;
    HWND childFromPoint(HWND parent, POINT clientPoint) const;

    std::map<std::string, WNDPROC> classes_; // lower-case names
    std::unordered_map<HWND, std::unique_ptr<Record>> windows_;
    std::vector<HWND> topLevel_; // topmost first
    HWND capture_ = 0;
};

} // namespace platform
