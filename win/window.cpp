#include "win/window.h"

#include <cwchar>

#include "win/boundary.h"
#include "win/module_lifetime.h"

namespace win {

void WindowObject::DeleteWhenIdle(WindowObject* object) {
    if (!object || object->m_deletePending) return;
    if (object->m_handlers == 0) {
        delete object;
        return;
    }
    object->m_deletePending = true;
    object->OnDeleteDeferred();
}

namespace {

BOOL CALLBACK EndBoxOwnedBy(HWND window, LPARAM owner) {
    wchar_t name[8] = L"";
    if (::GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) &&
        ::GetClassNameW(window, name, 8) && std::wcscmp(name, L"#32770") == 0)
        ::EndDialog(window, IDNO);
    return TRUE;
}

// Ends every dialog box of this thread that `owner` owns (its message boxes) with IDNO.
void EndOwnedBoxes(HWND owner) {
    ::EnumThreadWindows(::GetCurrentThreadId(), EndBoxOwnedBy, reinterpret_cast<LPARAM>(owner));
}

}  // namespace

// A question still open in one of the handlers asks about something that is going: it is
// answered No, so that the handler returns and nothing is done for a page that has gone.
void WindowObject::OnDeleteDeferred() {
    if (!m_hWnd) return;
    ::ShowWindow(m_hWnd, SW_HIDE);
    EndOwnedBoxes(m_hWnd);
}

CWindow::~CWindow() { DestroyWindow(); }

HWND CWindow::GetParentOwner() const {
    if (!m_hWnd) return nullptr;
    HWND top = m_hWnd;
    while (::GetWindowLongW(top, GWL_STYLE) & WS_CHILD) {
        HWND parent = ::GetParent(top);
        if (!parent) break;
        top = parent;
    }
    return top == m_hWnd ? nullptr : top;
}

BOOL CWindow::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

bool CWindow::CreateEx(HINSTANCE module, const wchar_t* className, DWORD style, DWORD exStyle,
                       const RECT& rect, HWND parent) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = StaticWindowProc;
    wc.hInstance = module;
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.lpszClassName = className;
    if (!RegisterModuleClass(wc)) return false;
    HWND hwnd = ::CreateWindowExW(exStyle, className, L"", style, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent,
                                  nullptr, module, this);
    return hwnd != nullptr;
}

LRESULT CWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return Default(msg, wParam, lParam);
}

LRESULT CWindow::Default(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, msg, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

namespace {
// A subclassed window finds its object through a property: its user data is the control's.
const wchar_t kSubclassProp[] = L"fw.CWindow.subclass";
}  // namespace

bool CWindow::SubclassWindow(HWND hwnd) {
    if (m_hWnd || !::IsWindow(hwnd) || ::GetPropW(hwnd, kSubclassProp)) return false;
    if (!::SetPropW(hwnd, kSubclassProp, this)) return false;
    m_hWnd = hwnd;
    m_pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindow::SubclassProc)));
    if (!m_pfnSuper) {
        ::RemovePropW(hwnd, kSubclassProp);
        m_hWnd = nullptr;
        return false;
    }
    AddModuleUser();  // the window's messages come to our procedure from now on
    return true;
}

HWND CWindow::UnsubclassWindow() {
    if (!m_hWnd || !m_pfnSuper) return nullptr;
    HWND hwnd = m_hWnd;
    // Another subclass above ours would be cut off; while the window lives it keeps ours.
    if (::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&SubclassProc))
        return nullptr;
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    ::RemovePropW(hwnd, kSubclassProp);
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    ReleaseModuleUser();
    return hwnd;
}

LRESULT CALLBACK CWindow::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CWindow* self = static_cast<CWindow*>(::GetPropW(hwnd, kSubclassProp));
    if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return RunHandler(self, [&] {
        // What a handler throws ends in the window's own procedure.
        std::optional<LRESULT> handled = TryGuarded(
            "a window procedure", [&] { return self->WindowProc(msg, wParam, lParam); });
        const LRESULT result = handled ? *handled : self->Default(msg, wParam, lParam);
        if (msg == WM_NCDESTROY) {
            // The window is gone whatever sits above us: forget it in any case.
            if (!self->UnsubclassWindow()) {
                ::RemovePropW(hwnd, kSubclassProp);
                self->m_pfnSuper = nullptr;
                self->m_hWnd = nullptr;
                ReleaseModuleUser();
            }
            self->OnFinalDestroy();
        }
        return result;
    });
}

LRESULT CALLBACK CWindow::StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CWindow* self = reinterpret_cast<CWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<CWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hWnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        AddModuleUser();
    }
    if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return RunHandler(self, [&] {
        std::optional<LRESULT> handled = TryGuarded(
            "a window procedure", [&] { return self->WindowProc(msg, wParam, lParam); });
        const LRESULT result = handled ? *handled : ::DefWindowProcW(hwnd, msg, wParam, lParam);
        if (msg == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->m_hWnd = nullptr;
            ReleaseModuleUser();
            self->OnFinalDestroy();
        }
        return result;
    });
}

CDialog::~CDialog() { DestroyWindow(); }

bool CDialog::Create(HWND parent) {
    m_bModal = false;
    HWND hwnd = ::CreateDialogParamW(m_module, MAKEINTRESOURCEW(m_templateId), parent,
                                     StaticDialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

INT_PTR CDialog::DoModal(HWND parent) {
    m_bModal = true;
    return ::DialogBoxParamW(m_module, MAKEINTRESOURCEW(m_templateId), parent, StaticDialogProc,
                             reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
    switch (LOWORD(wParam)) {
    case IDOK: OnOK(); return TRUE;
    case IDCANCEL: OnCancel(); return TRUE;
    default: return FALSE;
    }
}

INT_PTR CDialog::DialogProc(UINT, WPARAM, LPARAM) { return FALSE; }

void CDialog::End(INT_PTR result) {
    if (!m_hWnd) return;
    if (m_bModal)
        ::EndDialog(m_hWnd, result);
    else
        ::ShowWindow(m_hWnd, SW_HIDE);
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CDialog* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        AddModuleUser();
    }
    if (!self) return FALSE;
    return RunHandler(self, [&] {
        // FALSE, as for a message the dialog leaves to the system.
        const INT_PTR result = Guarded("a dialog procedure", INT_PTR(FALSE), [&]() -> INT_PTR {
            if (msg == WM_INITDIALOG) return self->OnInitDialog();
            if (msg == WM_COMMAND) return self->OnCommand(wParam, lParam);
            return self->DialogProc(msg, wParam, lParam);
        });
        if (msg == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            ReleaseModuleUser();
        }
        return result;
    });
}

}  // namespace win
