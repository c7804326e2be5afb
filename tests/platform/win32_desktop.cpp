#include "win32_desktop.h"

#include "platform/win32/windows_api.h"

#include <cstring>
#include <ole2.h>
#include <shlobj.h>

namespace win32_test {
namespace {

HWND handle(std::uintptr_t window) {
    return reinterpret_cast<HWND>(window);
}

} // namespace

bool MoveCursorTo(int x, int y) {
    POINT at{};
    return SetCursorPos(x, y) && GetCursorPos(&at) && at.x == x && at.y == y;
}

bool OfferDib(int width, int height) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    const std::size_t size = sizeof(BITMAPINFOHEADER) + std::size_t(width) * height * 4;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    bool done = false;
    if (memory != nullptr) {
        auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(memory));
        header->biSize = sizeof *header;
        header->biWidth = width;
        header->biHeight = height;
        header->biPlanes = 1;
        header->biBitCount = 32;
        header->biCompression = BI_RGB;
        GlobalUnlock(memory);
        done = SetClipboardData(CF_DIB, memory) != nullptr;
        if (!done) GlobalFree(memory);
    }
    CloseClipboard();
    return done;
}

bool OfferFiles(const std::vector<std::wstring>& files) {
    std::wstring list;
    for (const std::wstring& f : files)
        list += f + L'\0';
    list += L'\0';
    const std::size_t size = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (memory == nullptr) return false;
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    if (!OpenClipboard(nullptr)) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    const bool done = SetClipboardData(CF_HDROP, memory) != nullptr;
    if (!done) GlobalFree(memory);
    CloseClipboard();
    return done;
}

bool OfferBitmap(int width, int height) {
    const HDC screen = GetDC(nullptr);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (bitmap == nullptr || !OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    const bool done = SetClipboardData(CF_BITMAP, bitmap) != nullptr;
    if (!done) DeleteObject(bitmap);
    CloseClipboard();
    return done;
}

void EmptyTheClipboard() {
    if (!OpenClipboard(nullptr)) return;
    EmptyClipboard();
    CloseClipboard();
}

std::intptr_t Send(std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam) {
    return SendMessageW(handle(window), message, wParam, lParam);
}

bool PendingPaint(std::uintptr_t window, int& left, int& top, int& right, int& bottom) {
    RECT r{};
    if (!GetUpdateRect(handle(window), &r, FALSE)) return false;
    left = r.left, top = r.top, right = r.right, bottom = r.bottom;
    return true;
}

void PaintNow(std::uintptr_t window) {
    UpdateWindow(handle(window));
}

std::uintptr_t MakeProgramWindow(int x, int y, int width, int height) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = &DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"Win32TestProgramWindow";
    RegisterClassW(&cls); // once per process; later calls fail harmlessly
    return reinterpret_cast<std::uintptr_t>(
        CreateWindowExW(0, cls.lpszClassName, L"Program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                        width, height, nullptr, nullptr, cls.hInstance, nullptr));
}

bool DestroyProgramWindow(std::uintptr_t window) {
    return DestroyWindow(handle(window)) != 0;
}

bool IsVisible(std::uintptr_t window) {
    return IsWindowVisible(handle(window)) != 0;
}

bool Exists(std::uintptr_t window) {
    return IsWindow(handle(window)) != 0;
}

bool HasClass(std::uintptr_t window, const wchar_t* name) {
    wchar_t buffer[64] = {};
    GetClassNameW(handle(window), buffer, 64);
    return _wcsicmp(buffer, name) == 0;
}

namespace {

// A drag's data: the files as CF_HDROP, nothing else.
class FileData final : public IDataObject {
public:
    explicit FileData(const std::vector<std::wstring>& files) {
        std::wstring list;
        for (const std::wstring& f : files)
            list += f + L'\0';
        list += L'\0';
        block_.resize(sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
        DROPFILES header{};
        header.pFiles = sizeof header;
        header.fWide = TRUE;
        std::memcpy(block_.data(), &header, sizeof header);
        std::memcpy(block_.data() + sizeof header, list.data(), list.size() * sizeof(wchar_t));
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack for the whole drag.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, block_.size());
        if (memory == nullptr) return E_OUTOFMEMORY;
        std::memcpy(GlobalLock(memory), block_.data(), block_.size());
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return format != nullptr && format->cfFormat == CF_HDROP &&
                       (format->tymed & TYMED_HGLOBAL) != 0
                   ? S_OK
                   : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

private:
    std::vector<std::uint8_t> block_;
};

} // namespace

std::vector<std::uint32_t> DragFiles(std::uintptr_t window, const std::vector<std::wstring>& files,
                                     const std::vector<std::pair<int, int>>& screenPoints,
                                     bool drop) {
    // Where the system keeps a window's registered target.
    auto* target = static_cast<IDropTarget*>(GetPropW(handle(window), L"OleDropTargetInterface"));
    if (target == nullptr || screenPoints.empty()) return {};
    FileData data(files);
    std::vector<std::uint32_t> effects;
    for (std::size_t i = 0; i < screenPoints.size(); ++i) {
        const POINTL at{screenPoints[i].first, screenPoints[i].second};
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        if (i == 0)
            target->DragEnter(&data, MK_LBUTTON, at, &effect);
        else if (i + 1 == screenPoints.size() && drop)
            target->Drop(&data, 0, at, &effect);
        else
            target->DragOver(MK_LBUTTON, at, &effect);
        effects.push_back(effect);
    }
    if (!drop) target->DragLeave();
    return effects;
}

} // namespace win32_test
