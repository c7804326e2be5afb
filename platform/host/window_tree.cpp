#include "platform/host/window_tree.h"

#include "platform/gdi/objects.h"
#include "platform/host/win32.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace platform {
namespace {

std::string lowerCase(const char* text) {
    std::string out = text != nullptr ? text : "";
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Copies text into a caller's buffer as the A functions do: cut to fit with
// its terminating zero; answers the characters copied.
int copyOut(const std::string& text, char* buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0) return 0;
    const std::size_t count = std::min(text.size(), static_cast<std::size_t>(maxCount - 1));
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<int>(count);
}

bool contains(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

void erase(std::vector<HWND>& list, HWND window) {
    list.erase(std::remove(list.begin(), list.end(), window), list.end());
}

} // namespace

WindowTree::WindowTree() {
    // The system's classes; their windows do what the default procedure
    // does.
    for (const char* name : {"Static", "Button", "Edit", "ComboBox", "ListBox", "#32770"})
        classes_[lowerCase(name)] = &platform::DefWindowProcA;
}

WindowTree::~WindowTree() = default;

WindowTree::Record* WindowTree::find(HWND window) {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.get();
}

const WindowTree::Record* WindowTree::find(HWND window) const {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.get();
}

std::vector<HWND>* WindowTree::siblingsOf(HWND window) {
    const Record* record = find(window);
    if (record == nullptr) return nullptr;
    if (record->parent == 0) return &topLevel_;
    Record* parent = find(record->parent);
    return parent != nullptr ? &parent->children : nullptr;
}

const std::vector<HWND>* WindowTree::siblingsOf(HWND window) const {
    return const_cast<WindowTree*>(this)->siblingsOf(window);
}

bool WindowTree::isTopLevel(HWND window) const {
    const Record* record = find(window);
    return record != nullptr && record->parent == 0;
}

bool WindowTree::RegisterClassA(const WNDCLASSA& windowClass) {
    if (windowClass.lpszClassName == nullptr || *windowClass.lpszClassName == '\0' ||
        windowClass.lpfnWndProc == nullptr)
        return false;
    return classes_.emplace(lowerCase(windowClass.lpszClassName), windowClass.lpfnWndProc).second;
}

HWND WindowTree::CreateWindowExA(DWORD exStyle, const char* className, const char* windowName,
                                 DWORD style, int x, int y, int width, int height, HWND parent,
                                 HMENU menu, HINSTANCE instance, void* param) {
    const auto cls = classes_.find(lowerCase(className));
    if (cls == classes_.end()) return 0;
    const bool child = (style & WS_CHILD) != 0;
    if (child && find(parent) == nullptr) return 0;
    if (!child && parent != 0 && find(parent) == nullptr) return 0;

    auto record = std::make_unique<Record>();
    record->className = className;
    record->title = windowName != nullptr ? windowName : "";
    record->style = style;
    record->exStyle = exStyle;
    record->rect = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
    record->procedure = cls->second;
    record->instance = instance;
    if (child) {
        record->parent = parent;
        record->id = static_cast<LONG_PTR>(menu);
    } else if (parent != 0) {
        // The owner of a top-level window is always a top-level window:
        // the top of the tree the given window is in.
        HWND owner = parent;
        while (const Record* up = find(owner)) {
            if (up->parent == 0) break;
            owner = up->parent;
        }
        record->owner = owner;
    }

    const HWND window = detail::HandleTable::instance().reserve();
    windows_.emplace(window, std::move(record));
    if (child)
        find(parent)->children.insert(find(parent)->children.begin(), window);
    else
        topLevel_.insert(topLevel_.begin(), window);
    windowCreated(window);

    CREATESTRUCTA create;
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cx = width;
    create.cy = height;
    create.x = x;
    create.y = y;
    create.style = style;
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    const LPARAM createParam = reinterpret_cast<LPARAM>(&create);
    if (SendMessageA(window, WM_NCCREATE, 0, createParam) == 0 ||
        SendMessageA(window, WM_CREATE, 0, createParam) == -1) {
        DestroyWindow(window);
        return 0;
    }
    if (!IsWindow(window)) return 0;
    if ((style & WS_VISIBLE) != 0) windowShown(window, true);
    return window;
}

void WindowTree::collectTree(HWND window, std::vector<HWND>& out) const {
    const Record* record = find(window);
    if (record == nullptr) return;
    out.push_back(window);
    // Bottom child first, so that the messages go out in creation order.
    for (auto it = record->children.rbegin(); it != record->children.rend(); ++it)
        collectTree(*it, out);
}

bool WindowTree::DestroyWindow(HWND window) {
    Record* record = find(window);
    if (record == nullptr || record->destroying) return false;

    // Owned windows go first, as on the system.
    std::vector<HWND> owned;
    for (const auto& [handle, other] : windows_)
        if (other->owner == window && !other->destroying) owned.push_back(handle);
    std::sort(owned.begin(), owned.end());
    for (const HWND handle : owned)
        DestroyWindow(handle);
    if (find(window) == nullptr || find(window)->destroying) return true;

    std::vector<HWND> tree;
    collectTree(window, tree);
    for (const HWND handle : tree)
        find(handle)->destroying = true;
    if (std::find(tree.begin(), tree.end(), capture_) != tree.end()) capture_ = 0;
    if ((find(window)->style & WS_VISIBLE) != 0) windowShown(window, false);

    for (const HWND handle : tree)
        if (find(handle) != nullptr) SendMessageA(handle, WM_DESTROY, 0, 0);
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
        if (find(*it) != nullptr) SendMessageA(*it, WM_NCDESTROY, 0, 0);
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
        if (find(*it) == nullptr) continue;
        windowDestroyed(*it);
        if (std::vector<HWND>* siblings = siblingsOf(*it)) erase(*siblings, *it);
        // The kept objects may hold the last reference to state whose
        // destructor calls back into the host; drop them after the record.
        auto node = windows_.extract(*it);
        node.mapped()->kept.clear();
    }
    return true;
}

bool WindowTree::IsWindow(HWND window) const {
    return find(window) != nullptr;
}

HWND WindowTree::GetParent(HWND window) const {
    const Record* record = find(window);
    if (record == nullptr) return 0;
    if (record->parent != 0) return record->parent;
    return (record->style & WS_POPUP) != 0 ? record->owner : 0;
}

HWND WindowTree::GetWindow(HWND window, UINT relation) const {
    const Record* record = find(window);
    if (record == nullptr) return 0;
    if (relation == GW_OWNER) return record->owner;
    if (relation == GW_CHILD) return record->children.empty() ? 0 : record->children.front();
    const std::vector<HWND>* siblings = siblingsOf(window);
    if (siblings == nullptr || siblings->empty()) return 0;
    const auto at = std::find(siblings->begin(), siblings->end(), window);
    switch (relation) {
    case GW_HWNDFIRST:
        return siblings->front();
    case GW_HWNDLAST:
        return siblings->back();
    case GW_HWNDNEXT:
        return at + 1 < siblings->end() ? *(at + 1) : 0;
    case GW_HWNDPREV:
        return at != siblings->begin() ? *(at - 1) : 0;
    default:
        return 0;
    }
}

HWND WindowTree::FindWindowExA(HWND parent, HWND childAfter, const char* className,
                               const char* windowName) const {
    const std::vector<HWND>* list = &topLevel_;
    if (parent != 0) {
        const Record* record = find(parent);
        if (record == nullptr) return 0;
        list = &record->children;
    }
    auto it = list->begin();
    if (childAfter != 0) {
        it = std::find(list->begin(), list->end(), childAfter);
        if (it == list->end()) return 0;
        ++it;
    }
    const std::string wantedClass = lowerCase(className);
    for (; it != list->end(); ++it) {
        const Record* record = find(*it);
        if (record == nullptr || record->destroying) continue;
        if (className != nullptr && lowerCase(record->className.c_str()) != wantedClass) continue;
        if (windowName != nullptr && record->title != windowName) continue;
        return *it;
    }
    return 0;
}

int WindowTree::GetClassNameA(HWND window, char* buffer, int maxCount) const {
    const Record* record = find(window);
    return record != nullptr ? copyOut(record->className, buffer, maxCount) : 0;
}

int WindowTree::GetWindowTextA(HWND window, char* buffer, int maxCount) const {
    const Record* record = find(window);
    return record != nullptr ? copyOut(record->title, buffer, maxCount) : 0;
}

bool WindowTree::SetWindowTextA(HWND window, const char* text) {
    if (find(window) == nullptr) return false;
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

LONG_PTR WindowTree::SetWindowLongA(HWND window, int index, LONG_PTR value) {
    Record* record = find(window);
    if (record == nullptr) return 0;
    LONG_PTR previous = 0;
    switch (index) {
    case GWL_WNDPROC:
        if (value == 0) return 0;
        previous = reinterpret_cast<LONG_PTR>(record->procedure);
        record->procedure = reinterpret_cast<WNDPROC>(value);
        return previous;
    case GWL_HINSTANCE:
        previous = static_cast<LONG_PTR>(record->instance);
        record->instance = static_cast<HINSTANCE>(value);
        return previous;
    case GWL_HWNDPARENT: {
        // Owners are top-level windows, and ownership never runs in a
        // circle: code climbing owners must reach the top.
        const auto owner = static_cast<HWND>(value);
        if (record->parent != 0 || (owner != 0 && !isTopLevel(owner))) return 0;
        for (HWND up = owner; up != 0; up = find(up)->owner)
            if (up == window) return 0;
        previous = static_cast<LONG_PTR>(record->owner);
        record->owner = owner;
        return previous;
    }
    case GWL_ID:
        previous = record->id;
        record->id = value;
        return previous;
    case GWL_USERDATA:
        previous = record->userData;
        record->userData = value;
        return previous;
    case GWL_EXSTYLE:
        previous = record->exStyle;
        record->exStyle = static_cast<DWORD>(value);
        return previous;
    case GWL_STYLE: {
        previous = record->style;
        const bool wasVisible = (record->style & WS_VISIBLE) != 0;
        // Whether a window is a child is fixed when it is made.
        record->style = (static_cast<DWORD>(value) & ~WS_CHILD) | (record->style & WS_CHILD);
        const bool visible = (record->style & WS_VISIBLE) != 0;
        if (visible != wasVisible) windowShown(window, visible);
        return previous;
    }
    default:
        return 0;
    }
}

LONG_PTR WindowTree::GetWindowLongA(HWND window, int index) const {
    const Record* record = find(window);
    if (record == nullptr) return 0;
    switch (index) {
    case GWL_WNDPROC:
        return reinterpret_cast<LONG_PTR>(record->procedure);
    case GWL_HINSTANCE:
        return static_cast<LONG_PTR>(record->instance);
    case GWL_HWNDPARENT:
        return static_cast<LONG_PTR>(record->parent != 0 ? record->parent : record->owner);
    case GWL_ID:
        return record->id;
    case GWL_USERDATA:
        return record->userData;
    case GWL_EXSTYLE:
        return record->exStyle;
    case GWL_STYLE:
        return record->style;
    default:
        return 0;
    }
}

LRESULT WindowTree::CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) {
    if (procedure == nullptr) return 0;
    // The system classes' procedure is the default one of this very host,
    // whichever host the global function would reach.
    if (procedure == &platform::DefWindowProcA)
        return DefWindowProcA(window, message, wParam, lParam);
    return procedure(window, message, wParam, lParam);
}

LRESULT WindowTree::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Record* record = find(window);
    if (record == nullptr) return 0;
    return CallWindowProcA(record->procedure, window, message, wParam, lParam);
}

LRESULT WindowTree::DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Record* record = find(window);
    if (record == nullptr) return 0;
    defaultMessage(window, message, wParam, lParam);
    record = find(window);
    if (record == nullptr) return 0;
    switch (message) {
    case WM_NCCREATE:
        return 1;
    case WM_SETTEXT:
        record->title = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
        windowTextChanged(window);
        return 1;
    case WM_GETTEXT:
        return copyOut(record->title, reinterpret_cast<char*>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(record->title.size());
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    default:
        return 0;
    }
}

bool WindowTree::ShowWindow(HWND window, int command) {
    Record* record = find(window);
    if (record == nullptr) return false;
    const bool wasVisible = (record->style & WS_VISIBLE) != 0;
    const bool visible = command != SW_HIDE;
    if (visible)
        record->style |= WS_VISIBLE;
    else
        record->style &= ~WS_VISIBLE;
    if (visible != wasVisible) windowShown(window, visible);
    return wasVisible;
}

bool WindowTree::IsWindowVisible(HWND window) const {
    for (const Record* record = find(window); record != nullptr; record = find(record->parent)) {
        if ((record->style & WS_VISIBLE) == 0) return false;
        if (record->parent == 0) return true;
    }
    return false;
}

bool WindowTree::MoveWindow(HWND window, int x, int y, int width, int height, bool repaint) {
    Record* record = find(window);
    if (record == nullptr) return false;
    record->rect = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
    windowMoved(window);
    if (repaint) InvalidateRect(window, nullptr, true);
    return true;
}

void WindowTree::setWindowRect(HWND window, const RECT& rect) {
    if (Record* record = find(window)) record->rect = rect;
}

POINT WindowTree::screenOrigin(const Record& record) const {
    POINT origin{record.rect.left, record.rect.top};
    for (const Record* up = find(record.parent); up != nullptr; up = find(up->parent)) {
        origin.x += up->rect.left;
        origin.y += up->rect.top;
    }
    return origin;
}

bool WindowTree::GetWindowRect(HWND window, RECT* rect) const {
    const Record* record = find(window);
    if (record == nullptr || rect == nullptr) return false;
    const POINT origin = screenOrigin(*record);
    *rect = {origin.x, origin.y, origin.x + (record->rect.right - record->rect.left),
             origin.y + (record->rect.bottom - record->rect.top)};
    return true;
}

bool WindowTree::GetClientRect(HWND window, RECT* rect) const {
    const Record* record = find(window);
    if (record == nullptr || rect == nullptr) return false;
    *rect = {0, 0, record->rect.right - record->rect.left, record->rect.bottom - record->rect.top};
    return true;
}

bool WindowTree::InvalidateRect(HWND window, const RECT* rect, bool /*erase*/) {
    RECT area{};
    if (!GetClientRect(window, &area)) return false;
    if (rect != nullptr) area = *rect;
    windowInvalidated(window, area);
    return true;
}

bool WindowTree::KeepWithWindow(HWND window, std::shared_ptr<void> object) {
    Record* record = find(window);
    if (record == nullptr || record->destroying) return false;
    record->kept.push_back(std::move(object));
    return true;
}

HWND WindowTree::SetCapture(HWND window) {
    const HWND previous = capture_;
    if (find(window) != nullptr) capture_ = window;
    return previous;
}

bool WindowTree::ReleaseCapture() {
    capture_ = 0;
    return true;
}

HWND WindowTree::childFromPoint(HWND parent, POINT clientPoint) const {
    const Record* record = find(parent);
    if (record == nullptr) return 0;
    for (const HWND child : record->children) {
        const Record* c = find(child);
        if (c == nullptr || (c->style & WS_VISIBLE) == 0 || !contains(c->rect, clientPoint))
            continue;
        const HWND inner =
            childFromPoint(child, {clientPoint.x - c->rect.left, clientPoint.y - c->rect.top});
        return inner != 0 ? inner : child;
    }
    return 0;
}

HWND WindowTree::WindowFromPoint(POINT point) const {
    for (const HWND top : topLevel_) {
        const Record* record = find(top);
        if (record == nullptr || (record->style & WS_VISIBLE) == 0 ||
            !contains(record->rect, point))
            continue;
        const HWND inner =
            childFromPoint(top, {point.x - record->rect.left, point.y - record->rect.top});
        return inner != 0 ? inner : top;
    }
    return 0;
}

bool WindowTree::ScreenToClient(HWND window, POINT* point) const {
    const Record* record = find(window);
    if (record == nullptr || point == nullptr) return false;
    const POINT origin = screenOrigin(*record);
    point->x -= origin.x;
    point->y -= origin.y;
    return true;
}

bool WindowTree::ClientToScreen(HWND window, POINT* point) const {
    const Record* record = find(window);
    if (record == nullptr || point == nullptr) return false;
    const POINT origin = screenOrigin(*record);
    point->x += origin.x;
    point->y += origin.y;
    return true;
}

} // namespace platform
