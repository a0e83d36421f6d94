// The module: theApp, the class factories and the four exported entry points.
#include "control/tavrin_app_win.h"

#include <olectl.h>

#include "system/client_settings_win.h"
#include "control/tavrin_ctrl_win.h"
#include "control/tavrin_ids_win.h"
#include "control/tavrin_proppage_win.h"
#include "framework/class_factory.h"
#include "framework/registration.h"
#include "libs/wexlog/wexlog.h"
#include "win/boundary.h"
#include "win/module_lifetime.h"

namespace tavrin {

CTavrinApp theApp;

CTavrinApp::~CTavrinApp() = default;

BOOL CTavrinApp::InitInstance() { return COleControlModule::InitInstance(); }

int CTavrinApp::ExitInstance() { return COleControlModule::ExitInstance(); }

int CTavrinApp::ReadSetting(std::string name, std::string& out) {
    return ReadClientSetting(name, out);
}

void CTavrinApp::WriteSetting(std::string value, int which) { WriteClientSetting(value, which); }

namespace {

class CTavrinCtrlFactory : public fw::COleObjectFactory {
public:
    CTavrinCtrlFactory()
        : COleObjectFactory(CLSID_Tavrin, fw::CreateComObject<CTavrinCtrl>, kControlProgId) {}

    bool UpdateRegistry(bool bRegister) override {
        if (!bRegister) return fw::UnregisterClass(CLSID_Tavrin, kControlProgId);
        const fw::ControlClassInfo info = {CLSID_Tavrin, kControlProgId, IDS_TAVRIN,
                                           IDB_TAVRIN,   kMiscStatus,    LIBID_TAVRINLib,
                                           kLibMajor,    kLibMinor};
        return fw::RegisterControlClass(theApp.Instance(), info);
    }
};

class CTavrinPropPageFactory : public fw::COleObjectFactory {
public:
    CTavrinPropPageFactory()
        : COleObjectFactory(kPropPageClsid, fw::CreateComObject<CTavrinPropPage>,
                            kPropPageProgId) {}

    bool UpdateRegistry(bool bRegister) override {
        // The page is found by CLSID only; "TAVRIN.TavrinPropPage.1" is removed in case an
        // older registration wrote it.
        if (!bRegister) return fw::UnregisterClass(kPropPageClsid, kPropPageProgId);
        return fw::RegisterPropertyPageClass(theApp.Instance(), kPropPageClsid, IDS_TAVRIN_PPG);
    }
};

CTavrinCtrlFactory g_controlFactory;
CTavrinPropPageFactory g_pageFactory;

}  // namespace

}  // namespace tavrin

using tavrin::theApp;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Thread notifications stay on: the thread runtime frees each thread's record at its
        // detach (win/runtime_unload.h).
        theApp.Attach(instance);
        return theApp.InitInstance();
    }
    if (reason == DLL_PROCESS_DETACH) {
        theApp.ExitInstance();
        // Unloaded by FreeLibrary (reserved is null), not at the process's end: a later load
        // must register the classes afresh, with its own window procedure.
        if (!reserved) win::UnregisterModuleClasses();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    return win::Guarded("DllGetClassObject", E_OUTOFMEMORY,
                       [&] { return fw::COleObjectFactory::GetClassObject(clsid, riid, ppv); });
}

STDAPI DllCanUnloadNow() { return theApp.CanUnloadNow() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    WexlogTrace("DllRegisterServer");
    return win::Guarded("DllRegisterServer", SELFREG_E_CLASS, []() -> HRESULT {
        if (!fw::RegisterTypeLibFromModule(theApp.Instance())) return SELFREG_E_TYPELIB;
        if (!fw::COleObjectFactory::UpdateRegistryAll(true)) return SELFREG_E_CLASS;
        return S_OK;
    });
}

STDAPI DllUnregisterServer() {
    WexlogTrace("DllUnregisterServer");
    return win::Guarded("DllUnregisterServer", SELFREG_E_CLASS, []() -> HRESULT {
        if (!fw::UnregisterTypeLibrary(LIBID_TAVRINLib, tavrin::kLibMajor, tavrin::kLibMinor))
            return SELFREG_E_TYPELIB;
        if (!fw::COleObjectFactory::UpdateRegistryAll(false)) return SELFREG_E_CLASS;
        return S_OK;
    });
}
