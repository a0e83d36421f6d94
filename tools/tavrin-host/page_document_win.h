// The page's document, as a browser's container is: what a control learns the page's address
// from first (IHTMLDocument2::get_URL). Nothing else of a document is offered.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "win/handles.h"

namespace host {

// A container whose document names url; its IHTMLDocument2 answers get_URL and nothing else.
win::ComPtr<IOleContainer> NewPageDocument(const std::wstring& url);

}  // namespace host
