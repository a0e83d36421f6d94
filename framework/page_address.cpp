// Where the page that hosts the control came from, asked of the container in three ways; the
// first that answers is taken: the document's URL, the browser's location, the container's
// moniker.
#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>
#include <servprov.h>

#include "framework/ole_control.h"
#include "win/code_page.h"

namespace fw {
namespace {

std::wstring Text(const win::Bstr& text) {
    return text.get() ? std::wstring(text.get(), text.length()) : std::wstring();
}

std::wstring DocumentUrl(IOleClientSite* site) {
    win::ComPtr<IOleContainer> container;
    if (FAILED(site->GetContainer(container.receive())) || !container) return std::wstring();
    win::ComPtr<IHTMLDocument2> document;
    win::Bstr url;
    if (FAILED(container.as(document)) || FAILED(document->get_URL(url.receive())))
        return std::wstring();
    return Text(url);
}

std::wstring BrowserLocation(IOleClientSite* site) {
    win::ComPtr<IServiceProvider> services;
    win::ComPtr<IWebBrowser2> browser;
    if (FAILED(win::ComPtr<IOleClientSite>(site).as(services)) ||
        FAILED(services->QueryService(IID_IWebBrowserApp, IID_IWebBrowser2, browser.receiveVoid())) ||
        !browser)
        return std::wstring();
    win::Bstr url;
    if (FAILED(browser->get_LocationURL(url.receive()))) return std::wstring();
    return Text(url);
}

std::wstring ContainerMoniker(IOleClientSite* site) {
    win::ComPtr<IMoniker> moniker;
    if (FAILED(site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, moniker.receive())) ||
        !moniker)
        return std::wstring();
    win::ComPtr<IBindCtx> context;
    LPOLESTR name = nullptr;
    if (FAILED(::CreateBindCtx(0, context.receive())) ||
        FAILED(moniker->GetDisplayName(context.get(), nullptr, &name)) || !name)
        return std::wstring();
    std::wstring text = name;
    ::CoTaskMemFree(name);
    return text;
}

}  // namespace

std::string COleControl::PageAddress() {
    if (!m_clientSite) return std::string();
    std::wstring address = DocumentUrl(m_clientSite.get());
    if (address.empty()) address = BrowserLocation(m_clientSite.get());
    if (address.empty()) address = ContainerMoniker(m_clientSite.get());
    // An address is ASCII; one that does not convert exactly is judged as no address.
    const win::Converted<std::string> utf8 = win::FromWide(address, CP_UTF8);
    return utf8.exact ? utf8.text : std::string();
}

}  // namespace fw
