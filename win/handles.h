// RAII owners for the handle kinds the module uses. One small, non-copyable type per kind,
// all here, each with get/attach/detach/close.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wininet.h>

#include <utility>

namespace win {

// Owner of a handle; Traits gives its type, its "none" value and how it is closed.
template <typename Traits>
class UniqueHandle {
public:
    using H = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(H h) : h_(h) {}
    ~UniqueHandle() { close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) attach(other.detach());
        return *this;
    }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Invalid(); }
    H* receive() { close(); return &h_; }
    void attach(H h) { close(); h_ = h; }
    H detach() { H h = h_; h_ = Traits::Invalid(); return h; }
    void close() {
        if (h_ != Traits::Invalid()) Traits::Close(h_);
        h_ = Traits::Invalid();
    }

private:
    H h_ = Traits::Invalid();
};

namespace detail {
template <typename T, T (*InvalidValue)(), void (*CloseFn)(T)>
struct Traits {
    using Type = T;
    static T Invalid() { return InvalidValue(); }
    static void Close(T h) { CloseFn(h); }
};
template <typename T> T Null() { return T(); }
inline HANDLE InvalidHandle() { return INVALID_HANDLE_VALUE; }
inline void CloseKernel(HANDLE h) { ::CloseHandle(h); }
inline void CloseKey(HKEY k) { ::RegCloseKey(k); }
inline void DeleteGdi(HGDIOBJ o) { ::DeleteObject(o); }
inline void DeleteMemoryDc(HDC dc) { ::DeleteDC(dc); }
inline void UnloadModule(HMODULE m) { ::FreeLibrary(m); }
inline void DestroyWin(HWND w) { ::DestroyWindow(w); }
inline void CloseFind(HANDLE h) { ::FindClose(h); }
inline void FreeGlobal(HGLOBAL h) { ::GlobalFree(h); }
// A status callback still registered would be called with HANDLE_CLOSING after its owner is
// gone; unregister it first.
inline void CloseInternet(HINTERNET h) {
    ::InternetSetStatusCallbackA(h, nullptr);
    ::InternetCloseHandle(h);
}
}  // namespace detail

// Events, threads, processes.
using Handle = UniqueHandle<detail::Traits<HANDLE, detail::Null<HANDLE>, detail::CloseKernel>>;
using FileHandle =
    UniqueHandle<detail::Traits<HANDLE, detail::InvalidHandle, detail::CloseKernel>>;
using FindHandle = UniqueHandle<detail::Traits<HANDLE, detail::InvalidHandle, detail::CloseFind>>;
using RegKey = UniqueHandle<detail::Traits<HKEY, detail::Null<HKEY>, detail::CloseKey>>;
using GdiObject = UniqueHandle<detail::Traits<HGDIOBJ, detail::Null<HGDIOBJ>, detail::DeleteGdi>>;
using MemoryDc = UniqueHandle<detail::Traits<HDC, detail::Null<HDC>, detail::DeleteMemoryDc>>;
using Library = UniqueHandle<detail::Traits<HMODULE, detail::Null<HMODULE>, detail::UnloadModule>>;
using OwnedWindow = UniqueHandle<detail::Traits<HWND, detail::Null<HWND>, detail::DestroyWin>>;
using GlobalMemory =
    UniqueHandle<detail::Traits<HGLOBAL, detail::Null<HGLOBAL>, detail::FreeGlobal>>;

// A global memory block locked for one scope.
class LockedGlobal {
public:
    explicit LockedGlobal(HGLOBAL h) : h_(h), p_(h ? ::GlobalLock(h) : nullptr) {}
    ~LockedGlobal() { unlock(); }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    void* get() const { return p_; }
    void unlock() {
        if (p_) ::GlobalUnlock(h_);
        p_ = nullptr;
    }

private:
    HGLOBAL h_;
    void* p_;
};

// WinINet sessions, connections and requests (link wininet where it is used).
using InternetHandle =
    UniqueHandle<detail::Traits<HINTERNET, detail::Null<HINTERNET>, detail::CloseInternet>>;

// A device context from GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~WindowDc() { if (dc_) ::ReleaseDC(hwnd_, dc_); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// An object selected into a DC for one scope; the previous one is selected back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ~SelectedObject() { if (old_) ::SelectObject(dc_, old_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A COM interface pointer that is released when it goes.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(T* p, bool addRef = true) : p_(p) { if (p_ && addRef) p_->AddRef(); }
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& o) : p_(o.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : p_(o.detach()) {}
    ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** receive() { reset(); return &p_; }
    void** receiveVoid() { return reinterpret_cast<void**>(receive()); }
    void attach(T* p) { reset(); p_ = p; }
    T* detach() { T* p = p_; p_ = nullptr; return p; }
    void reset() { if (p_) { T* p = p_; p_ = nullptr; p->Release(); } }

    template <typename U>
    HRESULT as(ComPtr<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(__uuidof(U), out.receiveVoid());
    }

private:
    T* p_ = nullptr;
};

// CoInitialize for one scope. S_FALSE (already initialised) still needs CoUninitialize.
class CoInit {
public:
    CoInit() : hr_(::CoInitialize(nullptr)) {}
    ~CoInit() { if (SUCCEEDED(hr_)) ::CoUninitialize(); }
    CoInit(const CoInit&) = delete;
    CoInit& operator=(const CoInit&) = delete;
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

// An owned BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* s) : s_(s ? ::SysAllocString(s) : nullptr) {}
    ~Bstr() { ::SysFreeString(s_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return s_; }
    BSTR* receive() { ::SysFreeString(s_); s_ = nullptr; return &s_; }
    BSTR detach() { BSTR s = s_; s_ = nullptr; return s; }
    UINT length() const { return ::SysStringLen(s_); }

private:
    BSTR s_ = nullptr;
};

// A VARIANT cleared when it goes.
class Variant {
public:
    Variant() { ::VariantInit(&v_); }
    ~Variant() { ::VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }

private:
    VARIANT v_;
};

}  // namespace win
