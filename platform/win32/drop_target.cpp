// Drag and drop onto the host's windows: an IDropTarget per window that
// reads a drag's file list (CF_HDROP) and hands the drag to a sink.

#include "platform/win32/user32.h"
#include "platform/win32/windows_api.h"

#include <memory>
#include <ole2.h>
#include <shellapi.h>
#include <vector>

namespace platform::win32 {
namespace {

// The drag's files as the drop-file block of its CF_HDROP, copied out.
std::vector<std::uint8_t> filesOf(IDataObject* data) {
    if (data == nullptr) return {};
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) return {};
    std::vector<std::uint8_t> out;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) {
        const SIZE_T size = GlobalSize(medium.hGlobal);
        if (const void* bytes = size != 0 ? GlobalLock(medium.hGlobal) : nullptr) {
            out.assign(static_cast<const std::uint8_t*>(bytes),
                       static_cast<const std::uint8_t*>(bytes) + size);
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return out;
}

class Target final : public IDropTarget {
public:
    Target(HWND window, DropSink& sink) : window_(window), sink_(&sink) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) const std::unique_ptr<Target> gone(this);
        return left;
    }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at,
                                        DWORD* effect) override {
        files_ = filesOf(data);
        return answer(keys, at, effect, true);
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override {
        return answer(keys, at, effect, false);
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        if (sink_ != nullptr) sink_->dragLeave();
        files_.clear();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at,
                                   DWORD* effect) override {
        if (effect == nullptr) return E_INVALIDARG;
        const std::vector<std::uint8_t> files = filesOf(data);
        files_.clear();
        const DWORD allowed = *effect;
        *effect = DROPEFFECT_NONE;
        if (sink_ != nullptr) *effect = sink_->drop(files, client(at), keys, allowed) & allowed;
        return S_OK;
    }

    // The window's sink goes before the system lets go of the object.
    void forget() { sink_ = nullptr; }

private:
    Spot client(POINTL at) const {
        POINT p{at.x, at.y};
        ScreenToClient(window_, &p);
        return {p.x, p.y};
    }
    HRESULT answer(DWORD keys, POINTL at, DWORD* effect, bool entering) {
        if (effect == nullptr) return E_INVALIDARG;
        const DWORD allowed = *effect;
        *effect = DROPEFFECT_NONE;
        if (sink_ != nullptr)
            *effect = sink_->dragOver(files_, client(at), keys, allowed, entering) & allowed;
        return S_OK;
    }

    ULONG references_ = 1;
    HWND window_;
    DropSink* sink_;
    std::vector<std::uint8_t> files_;
};

} // namespace

OleSession::OleSession() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}

OleSession::~OleSession() {
    if (ok_) OleUninitialize();
}

DropRegistration::DropRegistration(NativeWindow window, DropSink& sink) : window_(window) {
    auto target = std::make_unique<Target>(reinterpret_cast<HWND>(window), sink);
    if (FAILED(RegisterDragDrop(reinterpret_cast<HWND>(window), target.get()))) return;
    target_ = target.release(); // its own reference count holds it from here
}

DropRegistration::~DropRegistration() {
    if (target_ == nullptr) return;
    auto* target = static_cast<Target*>(target_);
    target->forget();
    RevokeDragDrop(reinterpret_cast<HWND>(window_));
    target->Release();
}

} // namespace platform::win32
