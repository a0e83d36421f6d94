// A handler that throws stops at the boundary with Windows: the window procedure, the
// subclass procedure, the dialog procedure and the class factory give their failure result,
// and the program and its windows go on working.
#include <windows.h>
#include <commctrl.h>

#include <stdexcept>

#include "framework/ole_control.h"
#include "resources/resource.h"
#include "tests/wine/support.h"
#include "win/handles.h"
#include "win/module_lifetime.h"
#include "win/window.h"

namespace {

constexpr UINT kThrow = WM_APP + 1;
constexpr UINT kAnswer = WM_APP + 2;
constexpr LRESULT kAnswerValue = 42;

class ThrowingWindow : public win::CWindow {
public:
    bool Create() {
        const RECT rect = {0, 0, 40, 40};
        return CreateEx(::GetModuleHandleW(nullptr), L"TavrinBoundaryTest", WS_POPUP, 0, rect,
                        nullptr);
    }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kThrow) throw std::runtime_error("a handler failed");
        if (msg == kAnswer) return kAnswerValue;
        return win::CWindow::WindowProc(msg, wParam, lParam);
    }
};

class ThrowingDialog : public win::CDialog {
public:
    explicit ThrowingDialog(HINSTANCE module) : win::CDialog(module, IDD_PROGRESS_POPUP) {}

protected:
    INT_PTR DialogProc(UINT msg, WPARAM, LPARAM) override {
        if (msg == kThrow) throw std::bad_alloc();
        if (msg != kAnswer) return FALSE;
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, kAnswerValue);  // what SendMessage returns
        return TRUE;
    }
};

// Lets itself go from inside a handler and goes on using itself there.
constexpr UINT kLetGo = WM_APP + 3;
class SelfReleasingWindow : public win::CWindow {
public:
    explicit SelfReleasingWindow(bool* destroyed) : m_destroyed(destroyed) {}
    ~SelfReleasingWindow() override { *m_destroyed = true; }
    bool Create() {
        const RECT rect = {0, 0, 40, 40};
        return CreateEx(::GetModuleHandleW(nullptr), L"TavrinLifetimeTest", WS_POPUP, 0, rect,
                        nullptr);
    }
    bool m_aliveAfterLettingGo = false;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg != kLetGo) return win::CWindow::WindowProc(msg, wParam, lParam);
        DeleteWhenIdle(this);
        // A nested handler (as a message box's loop runs one) returns without deleting.
        ::SendMessageW(m_hWnd, WM_NULL, 0, 0);
        m_aliveAfterLettingGo = !*m_destroyed && DeletePending() && !::IsWindowVisible(m_hWnd);
        return m_aliveAfterLettingGo ? kAnswerValue : 0;
    }

private:
    bool* m_destroyed;
};

// A COM class whose construction fails.
class Unbuildable : public IUnknown {
public:
    Unbuildable() { throw std::bad_alloc(); }
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
};

TEST(Boundary, WindowAndSubclassProceduresStopWhatAHandlerThrows) {
    const struct {
        const char* what;
        bool subclassed;
    } rows[] = {{"own window", false}, {"subclassed static control", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ThrowingWindow window;  // destroys its window, the subclassed one too
        if (row.subclassed) {
            HWND plain = ::CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 40, 40, nullptr, nullptr,
                                         nullptr, nullptr);
            ASSERT_TRUE(plain);
            ASSERT_TRUE(window.SubclassWindow(plain));
        } else {
            ASSERT_TRUE(window.Create());
        }
        // The message goes to the window's default handling instead.
        EXPECT_EQ(0, ::SendMessageW(window.GetSafeHwnd(), kThrow, 0, 0));
        EXPECT_EQ(kAnswerValue, ::SendMessageW(window.GetSafeHwnd(), kAnswer, 0, 0));
        EXPECT_TRUE(::IsWindow(window.GetSafeHwnd()));
    }
}

TEST(Lifetime, AWindowObjectGoesOnlyWhenItsOutermostHandlerReturns) {
    bool destroyed = false;
    auto* busy = new SelfReleasingWindow(&destroyed);
    ASSERT_TRUE(busy->Create());
    ::ShowWindow(busy->GetSafeHwnd(), SW_SHOWNA);
    const HWND hwnd = busy->GetSafeHwnd();
    // The handler saw itself alive and hidden after letting go; it was deleted as it returned.
    EXPECT_EQ(kAnswerValue, ::SendMessageW(hwnd, kLetGo, 0, 0));
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(::IsWindow(hwnd));

    destroyed = false;
    auto* idle = new SelfReleasingWindow(&destroyed);
    ASSERT_TRUE(idle->Create());
    win::WindowObject::DeleteWhenIdle(idle);  // no handler runs: at once
    EXPECT_TRUE(destroyed);
}

// Two pages on two threads create their controls at the same moment, the class not yet
// registered: both get their windows.
class PageWindow : public win::CWindow {
public:
    bool Create() {
        const RECT rect = {0, 0, 40, 40};
        return CreateEx(::GetModuleHandleW(nullptr), L"TavrinRaceTest", WS_POPUP, 0, rect, nullptr);
    }
};

struct PageThread {
    HANDLE go;
    bool created = false;
    static DWORD WINAPI Run(void* param) {
        auto* page = static_cast<PageThread*>(param);
        ::WaitForSingleObject(page->go, INFINITE);
        PageWindow window;  // destroyed on its own thread, before the class goes
        page->created = window.Create();
        return 0;
    }
};

TEST(Lifetime, TwoControlsCreatedAtOnceBothGetTheirWindows) {
    int lost = 0;
    for (int round = 0; round < 200; ++round) {
        win::UnregisterModuleClasses();
        win::Handle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        PageThread pages[2] = {{go.get()}, {go.get()}};
        win::Handle threads[2];
        for (int i = 0; i < 2; ++i)
            threads[i].attach(::CreateThread(nullptr, 0, PageThread::Run, &pages[i], 0, nullptr));
        ASSERT_TRUE(threads[0] && threads[1]);
        ::Sleep(1);
        ::SetEvent(go.get());
        for (const win::Handle& thread : threads) ::WaitForSingleObject(thread.get(), INFINITE);
        lost += !pages[0].created + !pages[1].created;
    }
    win::UnregisterModuleClasses();
    EXPECT_EQ(0, lost) << "windows not created in 200 rounds of two at once";
}

TEST(Boundary, DialogProcedureStopsWhatAHandlerThrows) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&icc);
    win::Library module(::LoadLibraryExW(wt::OcxPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    ThrowingDialog dialog(module.get());
    ASSERT_TRUE(dialog.Create(nullptr));
    EXPECT_EQ(0, ::SendMessageW(dialog.GetSafeHwnd(), kThrow, 0, 0));
    EXPECT_EQ(kAnswerValue, ::SendMessageW(dialog.GetSafeHwnd(), kAnswer, 0, 0));
    EXPECT_TRUE(::IsWindow(dialog.GetSafeHwnd()));
    dialog.DestroyWindow();
}

TEST(Boundary, ClassFactoryReportsAFailedConstructionAsAnError) {
    void* object = &object;
    EXPECT_EQ(E_OUTOFMEMORY, fw::CreateComObject<Unbuildable>(IID_IUnknown, &object));
}

}  // namespace
