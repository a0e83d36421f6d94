// tavrin-host.exe [--timeout SECONDS] [--url ADDRESS] [--document-url ADDRESS]
//                 [--browser-url ADDRESS] [--no-moniker] [--leave-after MS] [--visits N]
//                 [--heartbeat] [--answer yes|no] PAGE.html
//
// Does with the page's first <object classid="clsid:..."> what a browser in the Internet zone
// does: creates it in-process, asks it to be safe for scripting and initialization, loads its
// <param> values through IPersistPropertyBag, gives it a client site and activates it in place
// inside our own top-level window, then pumps messages until that window is destroyed (the
// control closes it when launching is done) or the time is up. One line per step on stdout.
//
// The control learns the page's address from its client site. By default the container's
// moniker names the page (its file: address, or --url ADDRESS), as most browsers do.
// --document-url ADDRESS makes the container the page's document, which names ADDRESS;
// --browser-url ADDRESS offers the browser service, whose location is ADDRESS; --no-moniker
// gives no moniker. So a test can have each source answer alone, or sources disagree.
//
// --leave-after MS leaves the page MS milliseconds after activation, as a browser does when
// the user goes elsewhere: the object is deactivated, closed and released, and the host, going
// on running, frees unused libraries (CoFreeUnusedLibrariesEx) while it pumps messages, until
// the object's module is unloaded or the time is up. It prints when it left and when the
// module went, in Unix seconds.
//
// --visits N (with --leave-after) visits the page N times in this one process, as a browser
// kept open all evening does: every second visit leaves the page after MS, the others as soon
// as the object is active. At the first and last visit and every power of ten it prints the
// lowest free TLS slot, the open handles and the committed private bytes, which stay flat when
// the module gives back what it takes.
//
// --heartbeat posts the frame a message every 10 ms from the object's creation until the
// frame goes, and prints the longest any of them waited for this thread: how long the
// browser could not answer the player.
//
// --answer yes|no answers every question box of this process as a player would: Yes or No,
// OK for a message.
//
// Exit codes: 0 window destroyed (or, after leaving, the module unloaded), 2 bad command line,
// 3 timeout, 4 refused safety, 5 page unreadable, no object, or the object cannot be created,
// loaded or activated.

#include <windows.h>
#include <ole2.h>
#include <objsafe.h>
#include <ocidl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tools/tavrin-host/client_site_win.h"
#include "tools/tavrin-host/host_meters_win.h"
#include "tools/tavrin-host/page_parser.h"
#include "tools/tavrin-host/player_answers_win.h"
#include "tools/tavrin-host/property_bag_win.h"
#include "trust/decimal.h"
#include "win/code_page.h"
#include "win/handles.h"

namespace {

enum ExitCode : int {
    kExitLeft = -1,  // internal: the page was left; the exit code comes from the unload
    kExitDone = 0,
    kExitUsage = 2,
    kExitTimeout = 3,
    kExitUnsafe = 4,
    kExitFailed = 5,
};

const char kUsage[] =
    "usage: tavrin-host.exe [--timeout SECONDS] [--url ADDRESS] [--document-url ADDRESS]\n"
    "                       [--browser-url ADDRESS] [--no-moniker] [--leave-after MS]\n"
    "                       [--visits N] [--heartbeat] [--answer yes|no] PAGE.html";
const DWORD kDefaultTimeoutSeconds = 600;
const DWORD kMaxTimeoutSeconds = 2000000;  // keeps milliseconds within a DWORD tick count
const DWORD kWatchdogGraceMs = 5000;
const DWORD kMaxPageBytes = 16 * 1024 * 1024;
const int kMargin = 8;
const int kDefaultWidth = 100;
const int kDefaultHeight = 50;
const wchar_t kFrameClass[] = L"TavrinHostFrame";

// Set from the frame's WM_DESTROY, which may run deep inside the control's own handlers.
bool g_frameDestroyed = false;
// Set once the page has been left (see LeavePage).
bool g_pageLeft = false;
// The timer of --leave-after, on the frame: its message comes through whatever loop runs, the
// control's own modal ones included, as a browser's navigation does.
constexpr UINT_PTR kLeaveTimer = 1;
// What the watchdog exits with if the main thread never comes back.
volatile LONG g_watchdogCode = kExitTimeout;
// The heartbeat of --heartbeat while it runs, for the frame's procedure.
host::Heartbeat* g_heartbeat = nullptr;

void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Text from the page or the system, made safe for an ASCII log line.
std::string Printable(const std::string& s) {
    std::string out;
    for (char c : s) out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return out;
}

std::string Describe(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    char* text = nullptr;
    DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message;
    if (n && text) message.assign(text, n);
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    if (message.empty()) {
        // Wine's message table lacks some COM errors an operator meets first.
        switch (hr) {
        case REGDB_E_CLASSNOTREG: message = "class not registered"; break;
        case CO_E_ERRORINDLL: message = "error in the DLL"; break;
        case CO_E_DLLNOTFOUND: message = "DLL not found"; break;
        case E_NOINTERFACE: message = "no such interface"; break;
        default: return code;
        }
    }
    return std::string(code) + " (" + Printable(message) + ")";
}

std::string LastError() { return Describe(HRESULT_FROM_WIN32(::GetLastError())); }

struct Options {
    DWORD timeoutSeconds = kDefaultTimeoutSeconds;
    std::wstring page;
    std::wstring url;          // --url: the address the container's moniker names
    std::wstring documentUrl;  // --document-url: the address the page's document names
    std::wstring browserUrl;   // --browser-url: the browser's location
    bool noMoniker = false;    // --no-moniker
    DWORD leaveAfterMs = 0;  // --leave-after; 0: the page stays
    DWORD visits = 1;        // --visits
    bool heartbeat = false;  // --heartbeat
    int answer = 0;          // --answer: IDYES or IDNO; 0 leaves the boxes to the screen
};

bool ParseSeconds(const std::wstring& s, DWORD& out) {
    uint64_t v = 0;
    if (!tavrin::ParseDecimalDigits(win::WideToUtf8(s), 10, &v) || v > kMaxTimeoutSeconds)
        return false;
    out = static_cast<DWORD>(v);
    return true;
}

// The field an address option sets; null for any other argument.
std::wstring* AddressOption(Options& opt, const std::wstring& arg) {
    if (arg == L"--url") return &opt.url;
    if (arg == L"--document-url") return &opt.documentUrl;
    if (arg == L"--browser-url") return &opt.browserUrl;
    return nullptr;
}

// Wide arguments, so a page in a folder with a Korean name opens on any system.
bool ParseCommandLine(Options& opt, std::string& error) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) {
        error = "cannot read the command line";
        return false;
    }
    std::vector<std::wstring> args(argv + 1, argv + argc);
    ::LocalFree(argv);

    bool havePage = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (a == L"--timeout" || a.rfind(L"--timeout=", 0) == 0) {
            std::wstring value;
            if (a == L"--timeout") {
                if (i + 1 >= args.size()) {
                    error = "--timeout needs a number of seconds";
                    return false;
                }
                value = args[++i];
            } else {
                value = a.substr(10);
            }
            if (!ParseSeconds(value, opt.timeoutSeconds)) {
                error = "--timeout takes whole seconds from 0 to " + std::to_string(kMaxTimeoutSeconds) +
                        ", not \"" + Printable(win::WideToAnsi(value)) + "\"";
                return false;
            }
        } else if (a == L"--leave-after") {
            DWORD ms = 0;
            if (i + 1 >= args.size() || !ParseSeconds(args[i + 1], ms) || ms == 0) {
                error = "--leave-after needs a number of milliseconds";
                return false;
            }
            opt.leaveAfterMs = ms;
            ++i;
        } else if (a == L"--visits") {
            if (i + 1 >= args.size() || !ParseSeconds(args[i + 1], opt.visits) || opt.visits == 0) {
                error = "--visits needs a number of visits";
                return false;
            }
            ++i;
        } else if (a == L"--heartbeat") {
            opt.heartbeat = true;
        } else if (a == L"--answer") {
            const std::wstring value = i + 1 < args.size() ? args[++i] : std::wstring();
            if (value != L"yes" && value != L"no") {
                error = "--answer takes yes or no";
                return false;
            }
            opt.answer = value == L"yes" ? IDYES : IDNO;
        } else if (std::wstring* address = AddressOption(opt, a)) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = Printable(win::WideToAnsi(a)) + " needs an address";
                return false;
            }
            *address = args[++i];
        } else if (a == L"--no-moniker") {
            opt.noMoniker = true;
        } else if (a.size() > 1 && a[0] == L'-' && a[1] == L'-') {
            error = "unknown option " + Printable(win::WideToAnsi(a));
            return false;
        } else if (havePage) {
            error = "only one page can be given";
            return false;
        } else {
            opt.page = a;
            havePage = true;
        }
    }
    if (!havePage) {
        error = "no page given";
        return false;
    }
    if (opt.visits > 1 && !opt.leaveAfterMs) {
        error = "--visits needs --leave-after: a page that is never left is visited once";
        return false;
    }
    if (opt.noMoniker && !opt.url.empty()) {
        error = "--url names the moniker that --no-moniker leaves out";
        return false;
    }
    return true;
}

bool ReadPage(const std::wstring& path, std::string& bytes, std::string& error) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastError();
        return false;
    }
    win::FileHandle file(h);
    DWORD high = 0;
    DWORD size = ::GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
        error = LastError();
        return false;
    }
    if (high != 0 || size > kMaxPageBytes) {
        error = "the file is larger than " + std::to_string(kMaxPageBytes) + " bytes";
        return false;
    }
    bytes.assign(size, '\0');
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), &bytes[total], size - total, &got, nullptr)) {
            error = LastError();
            return false;
        }
        if (got == 0) break;
        total += got;
    }
    bytes.resize(total);
    return true;
}

// Each run in its own code page: the page's, or UTF-8 for characters written as entities that
// the page's charset was not asked to hold (see page_parser.h).
std::wstring ToWide(const host::PageText& text, host::Charset charset) {
    UINT pageCp = charset == host::Charset::EucKr ? 949 : CP_UTF8;
    std::wstring out;
    for (const host::TextRun& run : text)
        out += win::ToWide(run.bytes, run.utf8 ? CP_UTF8 : pageCp).text;
    return out;
}

const char* CharsetName(host::Charset charset) {
    return charset == host::Charset::EucKr ? "euc-kr" : "utf-8";
}

std::wstring FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void LeavePage();

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == kLeaveTimer) {
        ::KillTimer(hwnd, kLeaveTimer);
        LeavePage();
        return 0;
    }
    if (msg == host::kHeartbeatMessage) {
        if (g_heartbeat) g_heartbeat->Beat(lParam);
        return 0;
    }
    if (msg == WM_DESTROY) {
        g_frameDestroyed = true;
        ::InterlockedExchange(&g_watchdogCode, kExitDone);
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND CreateFrame(const RECT& objectRect) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kFrameClass;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;

    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT r = {0, 0, objectRect.right + kMargin, objectRect.bottom + kMargin};
    if (r.right < 240) r.right = 240;  // room for the caption
    ::AdjustWindowRectEx(&r, style, FALSE, 0);
    return ::CreateWindowExW(0, kFrameClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                             r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

// Until the frame is destroyed (kExitDone), the page is left (kExitLeft) or the deadline
// passes (kExitTimeout).
int Pump(host::ClientSite& site, DWORD deadline) {
    for (;;) {
        if (g_frameDestroyed) return kExitDone;
        if (g_pageLeft) return kExitLeft;
        LONG left = static_cast<LONG>(deadline - ::GetTickCount());
        if (left <= 0) return kExitTimeout;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
        MSG msg;
        while (!g_frameDestroyed && !g_pageLeft && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;  // only our window's end stops a page
            IOleInPlaceActiveObject* active = site.ActiveObject();
            if (active && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST &&
                active->TranslateAccelerator(&msg) == S_OK)
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// Takes the object out of the page whatever state it is in; its answers no longer matter.
void Shutdown(IOleObject* ole, host::ClientSite& site) {
    win::ComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(ole->QueryInterface(IID_IOleInPlaceObject, inPlace.receiveVoid())))
        inPlace->InPlaceDeactivate();
    inPlace.reset();
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    site.Forget();
}

struct Placement {
    HWND frame;
    RECT pos;
};

// Given the safe object: the client site, the parameters, activation and the page's life.
int LoadAndRun(const host::Page& page, IOleObject* ole, IPersistPropertyBag* persist,
               host::ClientSite& site, const Placement& place, DWORD deadline,
               DWORD timeoutSeconds, DWORD leaveAfterMs) {
    IOleClientSite* clientSite = static_cast<IOleClientSite*>(&site);

    // A browser gives the site first when the object asks for it, so it can read ambient
    // properties while loading.
    DWORD misc = 0;
    if (FAILED(ole->GetMiscStatus(DVASPECT_CONTENT, &misc))) misc = 0;
    const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    HRESULT hr;
    if (siteFirst) {
        hr = ole->SetClientSite(clientSite);
        if (FAILED(hr)) {
            Say("error: the object refuses the client site: %s", Describe(hr).c_str());
            return kExitFailed;
        }
        Say("client site set before loading");
    }

    std::vector<host::BagEntry> entries;
    for (const host::PageParam& p : page.params)
        entries.push_back({ToWide(p.name, page.charset), ToWide(p.value, page.charset)});
    win::ComPtr<host::PropertyBag> bag(new host::PropertyBag(std::move(entries)), false);
    hr = persist->Load(bag.get(), nullptr);
    if (FAILED(hr)) {
        Say("error: the object cannot load its parameters: %s", Describe(hr).c_str());
        return kExitFailed;
    }
    Say("loaded %u parameters", static_cast<unsigned>(page.params.size()));

    if (!siteFirst) {
        hr = ole->SetClientSite(clientSite);
        if (FAILED(hr)) {
            Say("error: the object refuses the client site: %s", Describe(hr).c_str());
            return kExitFailed;
        }
        Say("client site set");
    }

    RECT pos = place.pos;
    hr = ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, place.frame, &pos);
    // The control may finish its work and close our window before DoVerb even returns.
    if (!g_frameDestroyed) {
        if (FAILED(hr)) {
            Say("error: in-place activation failed: %s", Describe(hr).c_str());
            return kExitFailed;
        }
        Say("activated");
    }

    if (leaveAfterMs && !g_frameDestroyed) ::SetTimer(place.frame, kLeaveTimer, leaveAfterMs, nullptr);
    int code = Pump(site, deadline);
    if (code == kExitDone) Say("window destroyed");
    else Say("timeout after %lu s", static_cast<unsigned long>(timeoutSeconds));
    return code;
}

// The address the container's moniker names: --url, or the page file's own file: address.
std::wstring MonikerUrl(const Options& opt) {
    if (opt.noMoniker) return std::wstring();
    if (!opt.url.empty()) return opt.url;
    wchar_t full[MAX_PATH * 2];
    const DWORD n = ::GetFullPathNameW(opt.page.c_str(), MAX_PATH * 2, full, nullptr);
    std::wstring path = n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : opt.page;
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return L"file:///" + path;
}

// What the page held of the object's module when it was left.
struct LeftPage {
    HMODULE module = nullptr;
    std::vector<std::wstring> classes;
};

double UnixSeconds() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks - 116444736000000000ull) / 1e7;
}

// The module that serves the class, as the registry names it; null when it is not loaded.
HMODULE ServerModule(const CLSID& clsid) {
    wchar_t id[40] = {};
    ::StringFromGUID2(clsid, id, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + id + L"\\InprocServer32";
    wchar_t path[MAX_PATH * 2] = L"";
    LONG size = sizeof path;
    if (::RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), path, &size) != ERROR_SUCCESS)
        return nullptr;
    return ::GetModuleHandleW(path);
}

// The window classes the object's module registered for windows in our frame, while it is
// loaded: a module that leaves one registered when it goes leaves a window procedure pointing
// into nothing for the next load to meet.
struct ClassSearch {
    HMODULE module;
    std::vector<std::wstring> names;
};

BOOL CALLBACK NoteModuleClass(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<ClassSearch*>(param);
    wchar_t name[256] = L"";
    if (reinterpret_cast<HMODULE>(::GetClassLongPtrW(child, GCLP_HMODULE)) == search->module &&
        ::GetClassNameW(child, name, 256))
        search->names.push_back(name);
    return TRUE;
}

std::vector<std::wstring> ModuleClasses(HWND frame, HMODULE module) {
    ClassSearch search{module, {}};
    ::EnumChildWindows(frame, NoteModuleClass, reinterpret_cast<LPARAM>(&search));
    return search.names;
}

// The page's object while it is shown, for LeavePage.
struct ShownObject {
    win::ComPtr<IUnknown>* object;
    win::ComPtr<IObjectSafety>* safety;
    win::ComPtr<IOleObject>* ole;
    win::ComPtr<IPersistPropertyBag>* persist;
    host::ClientSite* site;
    HWND frame;
    CLSID clsid;
    LeftPage* left;
};
ShownObject* g_shown = nullptr;

// Leaves the page as a browser does when the player goes elsewhere: notes the module's window
// classes, takes the object out of the page and lets go of every reference to it.
void LeavePage() {
    if (!g_shown || g_pageLeft) return;
    ShownObject& shown = *g_shown;
    shown.left->module = ServerModule(shown.clsid);
    shown.left->classes = ModuleClasses(shown.frame, shown.left->module);
    Say("leaving the page");
    Shutdown(shown.ole->get(), *shown.site);
    shown.persist->reset();
    shown.ole->reset();
    shown.safety->reset();
    shown.object->reset();
    g_pageLeft = true;
}

void SayAddresses(const host::PageAddresses& addresses) {
    if (addresses.moniker.empty()) Say("no container moniker");
    else Say("address %s", Printable(win::WideToAnsi(addresses.moniker)).c_str());
    if (!addresses.document.empty())
        Say("document address %s", Printable(win::WideToAnsi(addresses.document)).c_str());
    if (!addresses.browser.empty())
        Say("browser address %s", Printable(win::WideToAnsi(addresses.browser)).c_str());
}

int RunObject(const host::Page& page, const CLSID& clsid, const Placement& place, DWORD deadline,
              const Options& opt, DWORD leaveAfterMs, LeftPage* left) {
    const host::PageAddresses addresses{MonikerUrl(opt), opt.documentUrl, opt.browserUrl};
    wchar_t idText[40] = {};
    ::StringFromGUID2(clsid, idText, 40);
    const std::string id = Printable(win::WideToAnsi(idText));

    win::ComPtr<IUnknown> object;
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    object.receiveVoid());
    if (FAILED(hr)) {
        Say("error: cannot create %s: %s", id.c_str(), Describe(hr).c_str());
        if (hr == REGDB_E_CLASSNOTREG) Say("hint: register the module first (regsvr32)");
        return kExitFailed;
    }
    Say("created %s", id.c_str());

    win::ComPtr<IObjectSafety> safety;
    if (FAILED(object->QueryInterface(IID_IObjectSafety, safety.receiveVoid()))) {
        Say("error: the object has no IObjectSafety; a browser would not run it");
        return kExitUnsafe;
    }
    hr = safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                           INTERFACESAFE_FOR_UNTRUSTED_CALLER);
    if (FAILED(hr)) {
        Say("error: the object refuses to be safe for scripting: %s", Describe(hr).c_str());
        return kExitUnsafe;
    }
    hr = safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                           INTERFACESAFE_FOR_UNTRUSTED_DATA);
    if (FAILED(hr)) {
        Say("error: the object refuses to be safe for initialization: %s", Describe(hr).c_str());
        return kExitUnsafe;
    }
    Say("safety ok");

    win::ComPtr<IOleObject> ole;
    if (FAILED(object.as(ole))) {
        Say("error: the object is not a control: it has no IOleObject");
        return kExitFailed;
    }
    win::ComPtr<IPersistPropertyBag> persist;
    if (FAILED(object.as(persist))) {
        Say("error: the object cannot take parameters: it has no IPersistPropertyBag");
        return kExitFailed;
    }

    SayAddresses(addresses);
    win::ComPtr<host::ClientSite> site(new host::ClientSite(place.frame, place.pos, addresses),
                                       false);
    site->SetObject(ole.get());
    ShownObject shown{&object, &safety, &ole, &persist, site.get(), place.frame, clsid, left};
    g_shown = &shown;
    int code = LoadAndRun(page, ole.get(), persist.get(), *site.get(), place, deadline,
                          opt.timeoutSeconds, leaveAfterMs);
    g_shown = nullptr;
    if (code != kExitLeft) Shutdown(ole.get(), *site.get());
    if (code == kExitDone || code == kExitTimeout || code == kExitLeft) Say("closed");
    return code;  // every reference of ours goes here
}

// After the page is left: what a browser that goes on running does with unused libraries.
int FreeUnusedLibraries(const CLSID& clsid, DWORD deadline, const LeftPage& page) {
    const double left = UnixSeconds();
    Say("left the page at %.3f", left);
    for (;;) {
        ::CoFreeUnusedLibrariesEx(0, 0);
        if (!ServerModule(clsid)) {
            const double gone = UnixSeconds();
            Say("module unloaded at %.3f, %.0f ms after leaving", gone, (gone - left) * 1000);
            WNDCLASSEXW info = {};
            info.cbSize = sizeof info;
            Say("%u window classes of the module checked", static_cast<unsigned>(page.classes.size()));
            for (const std::wstring& name : page.classes)
                if (::GetClassInfoExW(page.module, name.c_str(), &info))
                    Say("window class %s is still registered", win::WideToAnsi(name).c_str());
            return kExitDone;
        }
        if (static_cast<LONG>(deadline - ::GetTickCount()) <= 0) {
            Say("timeout: the module is still loaded");
            return kExitTimeout;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// Every second visit leaves with the update under way, the others as soon as the object is up.
DWORD LeaveAfter(const Options& opt, DWORD visit) {
    return opt.visits > 1 && visit % 2 == 0 ? 1 : opt.leaveAfterMs;
}

// The first and last visit and every power of ten.
bool Counted(DWORD visit, DWORD visits) {
    if (visit == 1 || visit == visits) return true;
    while (visit % 10 == 0) visit /= 10;
    return visit == 1;
}

void SayCounts(DWORD visit) {
    const host::ProcessCounts counts = host::CountProcess();
    Say("after visit %lu: lowest free TLS slot %lu, %lu handles, %llu KiB private",
        static_cast<unsigned long>(visit), static_cast<unsigned long>(counts.lowestFreeTls),
        static_cast<unsigned long>(counts.handles), counts.privateBytes / 1024);
}

int RunPage(const Options& opt, DWORD deadline) {
    Say("page %s", Printable(win::WideToAnsi(opt.page)).c_str());
    std::string bytes, error;
    if (!ReadPage(opt.page, bytes, error)) {
        Say("error: cannot read the page: %s", error.c_str());
        return kExitFailed;
    }
    const host::Page page = host::ParsePage(bytes);
    if (!page.charsetKnown)
        Say("warning: charset \"%s\" is not supported; reading the page as utf-8",
            Printable(page.declaredCharset).c_str());
    if (!page.hasObject) {
        Say("error: the page has no <object classid=\"clsid:...\"> element");
        return kExitFailed;
    }
    Say("found object %s with %u parameters, charset %s", Printable(page.classid).c_str(),
        static_cast<unsigned>(page.params.size()), CharsetName(page.charset));

    CLSID clsid;
    std::wstring wideId = win::Utf8ToWide(page.classid);
    if (page.classid.size() != 38 || FAILED(::CLSIDFromString(&wideId[0], &clsid))) {
        Say("error: classid %s is not a CLSID", Printable(page.classid).c_str());
        return kExitFailed;
    }

    const int width = page.width > 0 ? page.width : kDefaultWidth;
    const int height = page.height > 0 ? page.height : kDefaultHeight;
    Placement place;
    place.pos = RECT{kMargin, kMargin, kMargin + width, kMargin + height};
    win::OwnedWindow frame(CreateFrame(place.pos));
    if (!frame) {
        Say("error: cannot create the host window: %s", LastError().c_str());
        return kExitFailed;
    }
    place.frame = frame.get();
    std::wstring caption = ToWide(page.title, page.charset);
    if (caption.empty()) caption = FileName(opt.page);
    ::SetWindowTextW(frame.get(), caption.c_str());
    ::ShowWindow(frame.get(), SW_SHOWNORMAL);
    ::UpdateWindow(frame.get());

    host::Heartbeat heartbeat;
    if (opt.heartbeat) {
        if (!heartbeat.Start(frame.get())) {
            Say("error: cannot start the heartbeat: %s", LastError().c_str());
            return kExitFailed;
        }
        g_heartbeat = &heartbeat;
    }
    host::PlayerAnswers answers;
    if (opt.answer && !answers.Start(opt.answer)) {
        Say("error: cannot start answering: %s", LastError().c_str());
        return kExitFailed;
    }
    int code = kExitDone;
    for (DWORD visit = 1; visit <= opt.visits && code == kExitDone && !g_frameDestroyed; ++visit) {
        if (opt.visits > 1) Say("visit %lu", static_cast<unsigned long>(visit));
        g_pageLeft = false;
        LeftPage left;
        code = RunObject(page, clsid, place, deadline, opt, LeaveAfter(opt, visit), &left);
        if (code == kExitLeft) code = FreeUnusedLibraries(clsid, deadline, left);
        if (opt.visits > 1 && code == kExitDone && Counted(visit, opt.visits)) SayCounts(visit);
    }
    heartbeat.Stop();
    g_heartbeat = nullptr;
    answers.Stop();
    if (opt.answer) Say("answered %u boxes", answers.Answered());
    if (opt.heartbeat)
        Say("longest wait of the browser's thread %.0f ms (%u heartbeats)",
            heartbeat.LongestWaitMs(), heartbeat.Beats());
    if (g_frameDestroyed) frame.detach();  // already gone; its handle may be reused
    return code;
}

struct Watchdog {
    DWORD limitMs;
    HANDLE finished;
};

// The deadline also holds while the control keeps the main thread in a modal loop of its own
// or blocked: then nothing can be closed calmly, and the process ends here.
DWORD WINAPI WatchdogMain(void* param) {
    const Watchdog* w = static_cast<const Watchdog*>(param);
    if (::WaitForSingleObject(w->finished, w->limitMs) == WAIT_TIMEOUT) {
        LONG code = ::InterlockedCompareExchange(&g_watchdogCode, 0, 0);
        Say(code == kExitTimeout ? "timeout: the control keeps the host busy; ending it"
                                 : "the object does not close; ending the host");
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
    }
    return 0;
}

}  // namespace

int main() {
    Options opt;
    std::string error;
    if (!ParseCommandLine(opt, error)) {
        Say("error: %s", error.c_str());
        Say("%s", kUsage);
        return kExitUsage;
    }
    const DWORD timeoutMs = opt.timeoutSeconds * 1000;
    const DWORD deadline = ::GetTickCount() + timeoutMs;

    win::Handle finished(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Watchdog watchdog{timeoutMs + kWatchdogGraceMs, finished.get()};
    win::Handle watcher;
    if (finished) watcher.attach(::CreateThread(nullptr, 0, WatchdogMain, &watchdog, 0, nullptr));

    int code;
    HRESULT hr = ::OleInitialize(nullptr);
    if (FAILED(hr)) {
        Say("error: OLE does not start: %s", Describe(hr).c_str());
        code = kExitFailed;
    } else {
        code = RunPage(opt, deadline);
        ::OleUninitialize();
    }

    if (watcher) {
        ::SetEvent(finished.get());
        ::WaitForSingleObject(watcher.get(), INFINITE);
    }
    return code;
}
