#pragma once
// The COM side of the WMI backend, for it and for its tests: the system's
// headers, holders that give back what COM hands out, and the connection
// the backend works through. Only Windows builds include this.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// wingdi.h would make GetObject a macro, and both the management interface
// and IWbemServices have a method of that name.
#ifndef NOGDI
#define NOGDI
#endif
#include <wbemidl.h>
#ifdef GetObject
#error "GetObject is a macro here: include this before anything that includes <windows.h>"
#endif

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace velmora::management {

// Holds one reference to a COM interface and gives it back when it goes.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller owns.
    static ComPtr Adopt(T* raw) {
        ComPtr held;
        held.raw_ = raw;
        return held;
    }
    ComPtr(const ComPtr& other) : raw_(other.raw_) {
        if (raw_) raw_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(raw_, other.raw_);
        return *this;
    }
    ~ComPtr() {
        if (raw_) raw_->Release();
    }

    T* get() const { return raw_; }
    T* operator->() const { return raw_; }
    explicit operator bool() const { return raw_ != nullptr; }
    // For a call that hands out a reference: the one held before goes first.
    T** Put() {
        *this = ComPtr();
        return &raw_;
    }

private:
    T* raw_ = nullptr;
};

// A VARIANT that is cleared (with what it holds) when it goes.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    // What the other held is now this one's to clear.
    Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

    VARIANT* get() { return &value_; }
    const VARIANT& operator*() const { return value_; }
    const VARIANT* operator->() const { return &value_; }
    // For a call that fills it: what it held goes first.
    VARIANT* Put() {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

// A BSTR that is freed when it goes.
class Bstr {
public:
    explicit Bstr(std::wstring_view text)
        : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!text_) throw std::bad_alloc();
    }
    // Takes over a BSTR the caller owns.
    static Bstr Adopt(BSTR text) { return Bstr(text, 0); }
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}

    BSTR get() const { return text_; }
    std::wstring_view view() const { return {text_, SysStringLen(text_)}; }

private:
    Bstr(BSTR text, int) : text_(text) {}
    BSTR text_;
};

// UTF-8 and the system's UTF-16; ManagementError on text that is neither.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// What the backend works through: a service of namespace root\cimv2 and
// whatever must live as long as it.
class WmiConnection {
public:
    virtual ~WmiConnection() = default;
    virtual IWbemServices* Services() = 0;
};

// A connection on a service the caller made (a test's fake).
std::shared_ptr<WmiConnection> WrapWmiServices(ComPtr<IWbemServices> services);

// The machine's: COM initialised for this thread while the connection
// lives, root\cimv2 through the locator, calls made as the user.
std::shared_ptr<WmiConnection> ConnectLocalWmi();

} // namespace velmora::management
