// Window and dialog bases: a C++ object bound to one window, its messages dispatched to the
// virtual WindowProc / DialogProc. The object forgets its handle when the window goes, so a
// window destroyed from outside (its owner closed) leaves no dangling handle behind.
#pragma once

#include <windows.h>

#include <memory>

namespace win {

// What every object bound to a window shares: its handle, and the one rule for its lifetime.
// A handler may run a nested message loop (a message box), and a message handled inside it may
// decide that the object is done. So such an object is never deleted while one of its handlers
// runs: DeleteWhenIdle deletes it at once when none does, otherwise hides its window and leaves
// the deletion to the outermost handler as it returns.
class WindowObject {
public:
    WindowObject() = default;
    virtual ~WindowObject() = default;
    WindowObject(const WindowObject&) = delete;
    WindowObject& operator=(const WindowObject&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    bool DeletePending() const { return m_deletePending; }

    static void DeleteWhenIdle(WindowObject* object);

protected:
    // Runs one message's handling with this object counted as busy; the object may be gone
    // when it returns, so the caller touches it no more.
    template <typename Fn>
    static auto RunHandler(WindowObject* self, Fn&& fn) {
        ++self->m_handlers;
        auto result = fn();
        if (--self->m_handlers == 0 && self->m_deletePending) {
            // The destructor's own messages (WM_DESTROY) run handlers too: they must not delete
            // again.
            self->m_deletePending = false;
            delete self;
        }
        return result;
    }
    // While the deletion waits: hides the window (and what else the object shows), and answers
    // No to the message boxes it owns, so that the handler waiting in one returns.
    virtual void OnDeleteDeferred();

    HWND m_hWnd = nullptr;

private:
    int m_handlers = 0;
    bool m_deletePending = false;
};

// Owns an object bound to a window, letting it go through DeleteWhenIdle.
struct IdleDeleter {
    void operator()(WindowObject* object) const { WindowObject::DeleteWhenIdle(object); }
};
template <typename T>
using WindowPtr = std::unique_ptr<T, IdleDeleter>;

class CWindow : public WindowObject {
public:
    CWindow() = default;
    ~CWindow() override;

    // The top-level window above this one (its owner chain ends there), or null.
    HWND GetParentOwner() const;
    BOOL DestroyWindow();

    // Binds this object to an existing window (a control of a dialog template): its messages
    // go to WindowProc, and Default hands them to the window's own procedure. The window's
    // user data stays the control's own. On WM_NCDESTROY the window gets its procedure back
    // and this object forgets it. False when this object has a window already.
    bool SubclassWindow(HWND hwnd);
    // Gives the window its own procedure back and forgets it; returns it (null when none).
    HWND UnsubclassWindow();

protected:
    // Registers (once per module) and creates a window of a class private to the module.
    bool CreateEx(HINSTANCE module, const wchar_t* className, DWORD style, DWORD exStyle,
                  const RECT& rect, HWND parent);
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called once the window is gone, after its handle was forgotten.
    virtual void OnFinalDestroy() {}

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper = nullptr;  // the subclassed window's own procedure
};

class CDialog : public WindowObject {
public:
    CDialog(HINSTANCE module, UINT templateId) : m_module(module), m_templateId(templateId) {}
    ~CDialog() override;

    // Modeless: creates the dialog window from the template.
    bool Create(HWND parent);
    // Modal: runs the dialog and returns what EndDialog gave.
    INT_PTR DoModal(HWND parent);
    BOOL DestroyWindow();

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // Messages not handled here; return FALSE for the dialog manager's default.
    virtual INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Ends a modal dialog; hides a modeless one (its owner deletes it).
    void End(INT_PTR result);

    HINSTANCE m_module;
    UINT m_templateId;
    bool m_bModal = false;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

}  // namespace win
