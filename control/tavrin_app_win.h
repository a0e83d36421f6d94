// The module object of TAVRIN.OCX.
#pragma once

#include <string>

#include "framework/ole_control_module.h"
#include "win/runtime_tls.h"

namespace tavrin {

class CTavrinApp : public fw::COleControlModule {
public:
    ~CTavrinApp() override;
    BOOL InitInstance() override;
    int ExitInstance() override;

    // The client's settings under HKEY_CURRENT_USER "Software\Brennix\Orbisan\Sumnel".
    // 0 on success (out set), 1 on failure (out unchanged).
    int ReadSetting(std::string name, std::string& out);
    // which 1 writes LoginSERV, anything else SaveStart.
    void WriteSetting(std::string value, int which);

    // The thread runtime's TLS slot, claimed at load and given back at unload.
    win::RuntimeTlsSlot& RuntimeTls() { return m_runtimeTls; }

private:
    win::RuntimeTlsSlot m_runtimeTls;
};

extern CTavrinApp theApp;

}  // namespace tavrin
