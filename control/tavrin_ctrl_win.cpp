#include "control/tavrin_ctrl_win.h"


#include <cstdlib>
#include <ctime>

#include "system/client_launch_win.h"
#include "system/client_settings_win.h"
#include "site_lock_list.h"
#include "control/tavrin_app_win.h"
#include "control/tavrin_ids_win.h"
#include "libs/wexlog/wexlog.h"
#include "resources/player_texts.h"
#include "updater/install/install_recovery_win.h"
#include "widgets/common_controls_win.h"
#include "win/code_page.h"

namespace tavrin {

namespace {

const fw::ControlClassIds kIds = {&CLSID_Tavrin,    &DIID__DTavrin, &DIID__DTavrinEvents,
                                  &LIBID_TAVRINLib, kLibMajor,      kLibMinor,
                                  &kPropPageClsid,  IDS_TAVRIN,     kMiscStatus};

// Persisted names, in DISPID order (1 to 13).
const wchar_t* const kPropertyNames[] = {
    L"strID",       L"strPass",     L"key",         L"strServer",   L"strServer1",
    L"strServer2",  L"strServer3",  L"strServer4",  L"strServer5",  L"strServer6",
    L"strServer7",  L"strServer8",  L"strServer9"};
const DISPID kFirstProperty = 1;
const DISPID kLastProperty = 13;

INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(dlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

// The platform side of the launch decision, for one OnCreate.
class ControlLaunchOps : public LaunchOps {
public:
    explicit ControlLaunchOps(CTavrinCtrl& ctrl) : m_ctrl(ctrl) {}

    uint32_t Time() override { return static_cast<uint32_t>(std::time(nullptr)); }
    void Srand(unsigned seed) override { std::srand(seed); }
    int Rand() override { return std::rand(); }

    int ReadSetting(const std::string& name, std::string& out) override {
        return theApp.ReadSetting(name, out);
    }
    void WriteSetting(const std::string& value, int which) override {
        theApp.WriteSetting(value, which);
    }
    bool FileExists(const std::string& path) override {
        // An exact path only: no wildcard matching, and a folder of that name is no client.
        DWORD attributes = ::GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    void DeleteWorkDir() override { DeleteClientWorkDir(); }
    bool StartClient(const std::string& path, const std::string* params) override {
        // The path comes from WorkDir, in the ANSI code page; one that does not convert back
        // would start another program.
        const win::Converted<std::wstring> client = win::ToWide(path);
        return client.exact && LaunchClient(client.text, params);
    }
    void PostLaunchDone() override {
        ::PostMessageA(m_ctrl.GetSafeHwnd(), WM_LAUNCH_DONE, 1, 0);
    }
    void CreateUpdater() override { m_ctrl.CreateUpdater(); }
    InstallState FinishInterruptedInstall() override {
        const Recovery recovery = tavrin::FinishInterruptedInstall();
        if (recovery.outcome == Recovery::kBusy) return InstallState::Busy;
        return LaunchAfter(recovery) ? InstallState::Whole : InstallState::Unfinished;
    }
    void ShowInstallUnfinished(InstallState state) override {
        ::PostMessageA(m_ctrl.GetSafeHwnd(), WM_INSTALL_UNFINISHED,
                       state == InstallState::Busy ? 1 : 0, 0);
    }
    void ShowRefused() override { ::PostMessageA(m_ctrl.GetSafeHwnd(), WM_LAUNCH_REFUSED, 0, 0); }
    void ShowStartFailed(const std::string& path) override {
        m_ctrl.m_failedClient = path;
        ::PostMessageA(m_ctrl.GetSafeHwnd(), WM_LAUNCH_FAILED, 0, 0);
    }
    void Trace(const std::string& line) override { WexlogTrace("%s", line.c_str()); }
    std::string PageAddress() override { return m_ctrl.PageAddress(); }

private:
    CTavrinCtrl& m_ctrl;
};

CTavrinCtrl::CTavrinCtrl() : COleControl(kIds), m_xObjectSafety(this) {}

CTavrinCtrl::~CTavrinCtrl() {
    // A page closed before the updater finished: the dialog goes with the control.
    m_pDownLoadDlg.reset();
    DestroyWindow();
}

void CTavrinCtrl::DoPropExchange(fw::CPropExchange& px) {
    DWORD version = kPropSetVersion;
    px.ExchangeVersion(version, kPropSetVersion);
    COleControl::DoPropExchange(px);
    for (DISPID id = kFirstProperty; id <= kLastProperty; ++id) {
        const wchar_t* name = kPropertyNames[id - kFirstProperty];
        // Refused at launch, as a page cannot be told otherwise that its value was not taken.
        if (!px.ExchangeString(name, *PropertyById(id)) && m_props.uncarried.empty())
            m_props.uncarried = win::WideToUtf8(name);
    }
}

void CTavrinCtrl::OnResetState() { COleControl::OnResetState(); }

void CTavrinCtrl::OnDraw(HDC, const RECT&) {}

std::string* CTavrinCtrl::PropertyById(DISPID id) {
    switch (id) {
    case 1: return &m_props.strID;
    case 2: return &m_props.strPass;
    case 3: return &m_props.key;
    default:
        if (id >= 4 && id <= kLastProperty) return &m_props.servers[id - 4];
        return nullptr;
    }
}

HRESULT CTavrinCtrl::GetDispProperty(DISPID id, VARIANT* result) {
    std::string* value = PropertyById(id);
    if (!value) return DISP_E_MEMBERNOTFOUND;
    BSTR text = win::AnsiToBstr(*value);
    if (!text) return E_OUTOFMEMORY;
    ::VariantInit(result);
    result->vt = VT_BSTR;
    result->bstrVal = text;
    return S_OK;
}

HRESULT CTavrinCtrl::PutDispProperty(DISPID id, const VARIANT& value) {
    std::string* target = PropertyById(id);
    if (!target) return DISP_E_MEMBERNOTFOUND;
    win::Variant text;
    if (FAILED(::VariantChangeType(text.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR)))
        return DISP_E_TYPEMISMATCH;
    // The values reach the client's command line and the registry in the ANSI code page; one
    // that code page cannot carry exactly would log the player in as someone else, or not at all.
    win::Converted<std::string> ansi = win::BstrToAnsi(text.get()->bstrVal);
    if (!ansi.exact) return E_INVALIDARG;
    *target = std::move(ansi.text);
    SetModifiedFlag();
    return S_OK;
}

HRESULT CTavrinCtrl::InvokeDispMethod(DISPID id) {
    if (id != DISPID_ABOUTBOX) return DISP_E_MEMBERNOTFOUND;
    AboutBox();
    return S_OK;
}

void CTavrinCtrl::AboutBox() {
    ::DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_ABOUTBOX_TAVRIN), nullptr,
                      AboutProc, 0);
}

int CTavrinCtrl::OnCreate(CREATESTRUCTW* cs) {
    if (COleControl::OnCreate(cs) == -1) return -1;
    ControlLaunchOps ops(*this);
    RunOnCreate(m_props, ops, kSiteLock);
    return 0;
}

void CTavrinCtrl::CreateUpdater() {
    WexlogTrace("CTavrinCtrl::OnCreate - the client is not installed: starting the updater");
    m_pDownLoadDlg.reset(new CDownLoadDlg(ModuleInstance(), GetSafeHwnd()));
    InitDownloadCommonControls();  // the updater window's template uses them
    if (!m_pDownLoadDlg->Create(GetSafeHwnd())) {
        WexlogTrace("CTavrinCtrl::CreateUpdater - the dialog could not be created");
        m_pDownLoadDlg.reset();
    }
}

LRESULT CTavrinCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    // Closing the page's window may make the host let go of the control while this handler
    // runs; the last Release then leaves the deletion to the handler's return.
    if (msg == WM_LAUNCH_DONE) return OnLaunchDone(wParam, lParam);
    if (msg == WM_LAUNCH_REFUSED) {
        ::MessageBoxW(GetSafeHwnd(), win::Utf8ToWide(kLaunchRefused).c_str(),
                      win::Utf8ToWide(kMessageCaption).c_str(), MB_OK | MB_ICONERROR);
        return 0;
    }
    if (msg == WM_INSTALL_UNFINISHED) {
        const char* text = wParam ? kInstallBusy : kInstallUnfinished;
        ::MessageBoxW(GetSafeHwnd(), win::Utf8ToWide(text).c_str(),
                      win::Utf8ToWide(kMessageCaption).c_str(), MB_OK | MB_ICONERROR);
        return 0;
    }
    if (msg == WM_LAUNCH_FAILED) {
        ShowLaunchFailed();
        return 0;
    }
    return COleControl::WindowProc(msg, wParam, lParam);
}

void CTavrinCtrl::ShowLaunchFailed() {
    const std::wstring text =
        win::Utf8ToWide(kClientNotStarted) + L"\r\n\r\n" + win::AnsiToWide(m_failedClient);
    ::MessageBoxW(GetSafeHwnd(), text.c_str(), win::Utf8ToWide(kMessageCaption).c_str(),
                  MB_OK | MB_ICONERROR);
}

LRESULT CTavrinCtrl::OnLaunchDone(WPARAM, LPARAM) {
    m_pDownLoadDlg.reset();
    HWND owner = GetParentOwner();
    if (owner) {
        WexlogTrace("CTavrinCtrl::OnLaunchDone - closing the page's window");
        // This destroys our own window too; the base forgets its handle on the way.
        ::DestroyWindow(owner);
    } else {
        WexlogTrace("CTavrinCtrl::OnLaunchDone - no parent window");
    }
    return 0;
}

}  // namespace tavrin
