// The module object of TAVRIN.OCX.
#pragma once

#include <string>

#include "framework/ole_control_module.h"

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
};

extern CTavrinApp theApp;

}  // namespace tavrin
