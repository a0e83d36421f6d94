// The browser around the page, as a container's services offer it (the service
// IID_IWebBrowserApp): what a control asks for the page's address after the document
// (IWebBrowser2::get_LocationURL). Nothing else of a browser is offered.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "win/handles.h"

namespace host {

// A browser whose location is url; its IWebBrowser2 answers get_LocationURL and nothing else.
win::ComPtr<IUnknown> NewPageBrowser(const std::wstring& url);

}  // namespace host
