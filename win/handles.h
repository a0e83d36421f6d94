// RAII owners for the handle kinds the module uses. One small, non-copyable type per kind,
// each with get/attach/detach/close: the common kinds here, the WinINet and CryptoAPI ones
// beside their users (download/internet_handle_win.h, trust/crypto_handles_win.h).
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace win {

// Owner of a handle; Traits gives its type, its "none" value and how it is closed.
template <typename Traits>
class UniqueHandle {
public:
    using H = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(H h) : m_h(h) {}
    ~UniqueHandle() { close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) attach(other.detach());
        return *this;
    }

    H get() const { return m_h; }
    explicit operator bool() const { return m_h != Traits::Invalid(); }
    H* receive() { close(); return &m_h; }
    void attach(H h) { close(); m_h = h; }
    H detach() { H h = m_h; m_h = Traits::Invalid(); return h; }
    void close() {
        if (m_h != Traits::Invalid()) Traits::Close(m_h);
        m_h = Traits::Invalid();
    }

private:
    H m_h = Traits::Invalid();
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
    explicit LockedGlobal(HGLOBAL h) : m_h(h), m_p(h ? ::GlobalLock(h) : nullptr) {}
    ~LockedGlobal() { unlock(); }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    void* get() const { return m_p; }
    void unlock() {
        if (m_p) ::GlobalUnlock(m_h);
        m_p = nullptr;
    }

private:
    HGLOBAL m_h;
    void* m_p;
};

// A device context from GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
    ~WindowDc() { if (m_dc) ::ReleaseDC(m_hwnd, m_dc); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// An object selected into a DC for one scope; the previous one is selected back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(::SelectObject(dc, obj)) {}
    ~SelectedObject() { if (m_old) ::SelectObject(m_dc, m_old); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// A COM interface pointer that is released when it goes.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(T* p, bool addRef = true) : m_p(p) { if (m_p && addRef) m_p->AddRef(); }
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& o) : m_p(o.m_p) { if (m_p) m_p->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : m_p(o.detach()) {}
    ComPtr& operator=(ComPtr o) noexcept { std::swap(m_p, o.m_p); return *this; }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** receive() { reset(); return &m_p; }
    void** receiveVoid() { return reinterpret_cast<void**>(receive()); }
    void attach(T* p) { reset(); m_p = p; }
    T* detach() { T* p = m_p; m_p = nullptr; return p; }
    void reset() { if (m_p) { T* p = m_p; m_p = nullptr; p->Release(); } }

    template <typename U>
    HRESULT as(ComPtr<U>& out) const {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(__uuidof(U), out.receiveVoid());
    }

private:
    T* m_p = nullptr;
};

// CoInitialize for one scope. S_FALSE (already initialised) still needs CoUninitialize.
class CoInit {
public:
    CoInit() : m_hr(::CoInitialize(nullptr)) {}
    ~CoInit() { if (SUCCEEDED(m_hr)) ::CoUninitialize(); }
    CoInit(const CoInit&) = delete;
    CoInit& operator=(const CoInit&) = delete;
    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// An owned BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* s) : m_s(s ? ::SysAllocString(s) : nullptr) {}
    ~Bstr() { ::SysFreeString(m_s); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return m_s; }
    BSTR* receive() { ::SysFreeString(m_s); m_s = nullptr; return &m_s; }
    BSTR detach() { BSTR s = m_s; m_s = nullptr; return s; }
    UINT length() const { return ::SysStringLen(m_s); }

private:
    BSTR m_s = nullptr;
};

// A VARIANT cleared when it goes.
class Variant {
public:
    Variant() { ::VariantInit(&m_v); }
    ~Variant() { ::VariantClear(&m_v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &m_v; }
    const VARIANT* get() const { return &m_v; }

private:
    VARIANT m_v;
};

}  // namespace win
