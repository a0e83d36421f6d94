// The control a page embeds: thirteen string properties, and on window creation either the
// installed client started with its login command line or the updater.
#pragma once

#include <objsafe.h>

#include <memory>
#include <string>

#include "control/launch_logic.h"
#include "framework/ole_control.h"
#include "updater/download_dlg_win.h"
#include "win/window.h"

namespace tavrin {

class CTavrinCtrl : public fw::COleControl {
public:
    CTavrinCtrl();
    ~CTavrinCtrl() override;

    // The property set version exchanged before the properties (1.0).
    static constexpr DWORD kPropSetVersion = 0x00010000;

protected:
    void DoPropExchange(fw::CPropExchange& px) override;
    void OnResetState() override;
    void OnDraw(HDC dc, const RECT& bounds) override;
    int OnCreate(CREATESTRUCTW* cs) override;
    HRESULT GetDispProperty(DISPID id, VARIANT* result) override;
    HRESULT PutDispProperty(DISPID id, const VARIANT& value) override;
    HRESULT InvokeDispMethod(DISPID id) override;
    IUnknown* QueryExtraInterface(REFIID riid) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    // IObjectSafety as a part of the control: its IUnknown is the control's.
    class XObjectSafety : public IObjectSafety {
    public:
        explicit XObjectSafety(CTavrinCtrl* owner) : m_owner(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;
        STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                               DWORD* enabled) override;
        STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

    private:
        CTavrinCtrl* m_owner;
    };

    LRESULT OnLaunchDone(WPARAM wParam, LPARAM lParam);
    void ShowLaunchFailed();
    void CreateUpdater();
    void AboutBox();
    std::string* PropertyById(DISPID id);
    bool Exposes(REFIID riid);

    win::WindowPtr<CDownLoadDlg> m_pDownLoadDlg;
    LaunchProperties m_props;
    std::string m_failedClient;  // ANSI: the client that did not start, for the message
    XObjectSafety m_xObjectSafety;

    friend class ControlLaunchOps;
};

}  // namespace tavrin
