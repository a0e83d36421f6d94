#include "updater/download_dlg_win.h"

#include <commctrl.h>
#include <ctime>
#include <optional>

#include "download/download_platform_win.h"
#include "download/lane_count.h"
#include "download/wininet_session_win.h"
#include "download/transfer_limits.h"
#include "download/status_message.h"
#include "libs/wexlog/wexlog.h"
#include "resources/resource.h"
#include "resources/window_messages.h"
#include "system/process_win.h"
#include "system/client_settings_win.h"
#include "libs/prynn/system_files.h"
#include "updater/package_names.h"
#include "updater/install/package_check.h"
#include "updater/update_key.h"
#include "updater/delete_matching_files_win.h"
#include "updater/disk_space.h"
#include "updater/disk_space_win.h"
#include "updater/install/install_folder_win.h"
#include "updater/update_urls.h"
#include "updater/update_worker_win.h"
#include "resources/player_texts.h"
#include "widgets/window_placement.h"
#include "win/ansi_path.h"
#include "win/code_page.h"
#include "win/handles.h"
#include "win/whole_file.h"

namespace tavrin {

namespace {

constexpr UINT_PTR kStallClockTimer = 1;
// Past the engine's own bounds of a try, so that its message comes first.
constexpr int64_t kOwnerStallMarginSeconds = 5;

// A read's progress is shown about 20 times a second at most.
constexpr DWORD kReadProgressIntervalMs = 50;

// The lines of every read go to the trace only while it is on (TAVRIN_TRACE names a file) and
// not limited to the phases (TAVRIN_TRACE_LEVEL=phases).
bool TracingEachRead() {
    if (::GetEnvironmentVariableW(L"TAVRIN_TRACE", nullptr, 0) <= 1) return false;
    wchar_t level[16] = L"";
    const DWORD n = ::GetEnvironmentVariableW(L"TAVRIN_TRACE_LEVEL", level, 16);
    return !(n > 0 && n < 16 && ::lstrcmpiW(level, L"phases") == 0);
}
// The downloaded configuration, at most one byte past the largest the updater takes (the
// download stops there), so the reader can say it is too large.
bool ReadConfigFile(const std::wstring& path, std::string* content) {
    return win::ReadWholeFile(path, kMaxConfigSize + 1, content);
}

// The serial of the last installation; 0 when none was recorded.
uint64_t InstalledSerial() {
    std::string text;
    uint64_t serial = 0;
    if (ReadClientSetting(kSettingUpdateSerial, text) != 0 || !ParseDecimal(text, &serial)) return 0;
    return serial;
}

// A file in a folder's place is no folder: the downloads could go nowhere.
bool MakeFolder(const std::wstring& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return ::CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
}

}  // namespace

CDownLoadDlg::CDownLoadDlg(HINSTANCE module, HWND control)
    : CDialog(module, IDD_DOWNLOAD),
      m_control(control),
      m_flow(UpdaterParts{*this, *this, *this, *this, m_installation, *this}),
      m_downloader(std::make_shared<CHttpDownloader>(std::make_shared<WinDownloadPlatform>())) {}

CDownLoadDlg::~CDownLoadDlg() {
    // A worker may still be inside a read: it keeps the downloader, stops at its next chunk and
    // sends nothing more. The finishing worker stops before its replacement, or completes it.
    m_installation.Abandon();
    if (m_sink) m_sink->Disconnect();
    m_downloader->Abandon();
    HWND busy = g_busyAnimation.load();
    if (busy && (busy == m_animate.GetSafeHwnd() ||
                 (m_popup && busy == m_popup->Animation().GetSafeHwnd())))
        g_busyAnimation.store(nullptr);
    m_popup.reset();
    m_picture.StopAnimation();
    DestroyWindow();
}

void CDownLoadDlg::OnDeleteDeferred() {
    if (m_popup && m_popup->GetSafeHwnd())
        ::ShowWindow(m_popup->GetSafeHwnd(), SW_HIDE);
    CDialog::OnDeleteDeferred();
}

BOOL CDownLoadDlg::OnInitDialog() {
    ::SetDlgItemTextW(m_hWnd, IDC_DOWNLOAD_STATUS, L"");
    CenterWindow();
    m_progress.SubclassWindow(::GetDlgItem(m_hWnd, IDC_DOWNLOAD_PROGRESS));
    m_progress.SetPos(0);
    m_animate.Attach(::GetDlgItem(m_hWnd, IDC_DOWNLOAD_ANIMATE));
    m_animate.Open(m_module, IDR_AVI_BUSY);
    // The picture is decoration: its results are not examined.
    m_picture.SubclassWindow(::GetDlgItem(m_hWnd, IDC_DOWNLOAD_PICTURE));
    m_picture.SetNotifyWindow(m_hWnd);
    m_picture.LoadFromResource(m_module, MAKEINTRESOURCEA(IDR_GIF_BOARD), "GIF");
    m_picture.Play();

    g_busyAnimation.store(m_animate.GetSafeHwnd());
    m_installation.SetOwner(m_hWnd);
    m_traceEachRead = TracingEachRead();
    // Which code page the paths handed to Prynn and the .url files must fit.
    Trace("CDownLoadDlg::OnInitDialog - ANSI code page " + std::to_string(::GetACP()));
    m_sink = WindowStatusSink::For(m_hWnd);
    ::PostMessageW(m_hWnd, WM_UPDATER_BEGIN, 0, 0);
    return TRUE;
}

// Posted from OnInitDialog: a message about a folder comes over the shown dialog, which then
// hides for good.
void CDownLoadDlg::Begin() {
    if (m_flow.State() != UpdaterState::Preparing) return;
    std::wstring failedFolder;
    if (!PrepareFolders(failedFolder)) {
        m_flow.FolderFailed(win::WideToUtf8(failedFolder));
        return;
    }
    ::SetTimer(m_hWnd, kStallClockTimer, 1000, nullptr);
    StartConfigDownload();
}

void CDownLoadDlg::CenterWindow() {
    // Over the browser window that owns the dialog, inside the work area of its monitor; over
    // the work area itself when the browser is hidden or minimised.
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    const bool overOwner = owner && ::IsWindowVisible(owner) && !::IsIconic(owner);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(overOwner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST),
                      &monitor);
    const RECT& work = monitor.rcWork;
    RECT over = work;
    if (overOwner) ::GetWindowRect(owner, &over);
    const WindowPoint at = CentreWithin(window.right - window.left, window.bottom - window.top,
                                        {over.left, over.top, over.right, over.bottom},
                                        {work.left, work.top, work.right, work.bottom});
    ::SetWindowPos(m_hWnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CDownLoadDlg::PrepareFolders(std::wstring& failedFolder) {
    m_installFolder = InstallFolderPath();
    if (m_installFolder.empty()) return false;
    m_downloadFolder = m_installFolder + L"\\" + win::Utf8ToWide(kDownloadFolderName);
    for (const std::wstring& folder : {m_installFolder, m_downloadFolder}) {
        if (!MakeFolder(folder)) {
            Trace("CDownLoadDlg::PrepareFolders - cannot make " + win::WideToAnsi(folder));
            failedFolder = folder;
            return false;
        }
        // Prynn is given its paths in the ANSI code page: a folder that has no name there (no
        // short name either) is refused now, before anything is downloaded into it.
        if (!win::AnsiExistingPath(folder).exact) {
            Trace("CDownLoadDlg::PrepareFolders - no ANSI name for " + win::WideToAnsi(folder));
            failedFolder = folder;
            return false;
        }
    }
    // Another updater works in the folder (another page, session or user): this one leaves it
    // and its Temp alone.
    if (!m_installation.ClaimFolder()) {
        Trace("CDownLoadDlg::PrepareFolders - another installation is at work");
        failedFolder = m_installFolder;
        return false;
    }
    return true;
}

void CDownLoadDlg::StartConfigDownload() {
    m_downloader->AddURL(ConfigFileUrl());
    m_downloader->LimitSize(ConfigFileUrl(), kMaxConfigSize + 1);  // the reader refuses more
    m_downloader->SetTarget(m_sink, "Dunmere", win::WideToUtf8(m_downloadFolder + L"\\"));
    m_flow.Start();
}

bool CDownLoadDlg::StartConfiguration() { return StartWorker(); }

BOOL CDownLoadDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDC_DOWNLOAD_STOP && HIWORD(wParam) == BN_CLICKED) {
        m_flow.OnStopButton();
        return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

INT_PTR CDownLoadDlg::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == StatusMessageId()) return OnDownloadStatus(wParam, lParam);
    switch (msg) {
    case WM_UPDATER_BEGIN:
        Begin();
        return TRUE;
    case WM_CONFIG_DOWNLOADED:
        m_flow.OnConfigDownloaded();
        return TRUE;
    case WM_PACKAGES_DOWNLOADED:
        m_flow.OnPackagesDownloaded();
        return TRUE;
    case WM_INSTALL_PROGRESS:
        m_flow.OnInstallProgress(static_cast<int>(wParam), reinterpret_cast<const char*>(lParam));
        return TRUE;
    case WM_INSTALL_FINISHED:
        m_flow.OnFinished(*reinterpret_cast<const FinishOutcome*>(lParam));
        return TRUE;
    case WM_POPUP_STOP:
        m_flow.OnPopupStop();
        return TRUE;
    case WM_TIMER:
        if (wParam != kStallClockTimer) return FALSE;
        OnStallClock();
        return TRUE;
    case WM_ASK_RUNNING_CLIENT:
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, OnAskRunningClient(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

// The updater's own clock on a silent server. The engine ends such a try by itself; should it
// not, the updater ends it a little later and says why. What the worker reports afterwards is
// not heard.
void CDownLoadDlg::OnStallClock() {
    ApplyReadProgress();  // what the last reads brought, should none follow
    if (!m_flow.WorkerRunning() || m_flow.State() == UpdaterState::Closed) return;
    const TransferLimits bounds = DefaultTransferLimits();
    const int64_t limit = (bounds.headersSeconds > bounds.silenceSeconds ? bounds.headersSeconds
                                                                          : bounds.silenceSeconds) +
                          kOwnerStallMarginSeconds;
    std::string file;
    if (!m_downloader->StopIfSilentFor(limit, file)) return;
    ::KillTimer(m_hWnd, kStallClockTimer);
    Trace("CDownLoadDlg - " + file + " silent for " + std::to_string(limit) + " s");
    if (m_sink) m_sink->Disconnect();
    m_flow.OnDownloadStatus(STATUS_NET_ERROR, 0,
                            file + " - no data from the server for " + std::to_string(limit) +
                                " seconds");
}

// The worker ran the check and waits for this answer. An updater that is closing asks
// nothing and refuses.
LRESULT CDownLoadDlg::OnAskRunningClient(WPARAM what) {
    if (m_flow.State() == UpdaterState::Closed) return kAnswerNo;
    if (what == kTellClientNotEnded) {
        TellClientNotEnded(m_hWnd);
        return kAnswerNo;
    }
    return AskToEndRunningClient(m_hWnd) ? kAnswerYes : kAnswerNo;
}

INT_PTR CDownLoadDlg::OnDownloadStatus(WPARAM wParam, LPARAM lParam) {
    const int code = LOWORD(wParam);
    const int percent = HIWORD(wParam);
    // The text lives on the worker's stack only while this message is handled: copy it.
    const std::string text = lParam ? reinterpret_cast<const char*>(lParam) : "";
    if (code == STATUS_DOWNLOAD_COMPLETE) {
        const bool config = m_flow.State() == UpdaterState::ConfigDownload;
        Trace(config ? "CDownLoadDlg - configuration in" : "CDownLoadDlg - packages in");
        if (config) m_configFile = m_downloadFolder + L"\\" + win::Utf8ToWide(kConfigFileName);
    }
    m_flow.OnDownloadStatus(code, percent, text);
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
    return TRUE;
}

// ---- what the dialog and the popup show

void CDownLoadDlg::SetStatus(Surface where, const std::string& text, TextEncoding encoding) {
    if (where == Surface::Dialog) {
        m_status = encoding == TextEncoding::Utf8 ? win::Utf8ToWide(text) : win::AnsiToWide(text);
        return;
    }
    m_readProgress.waiting = false;  // this text replaces a read's that waits
    if (!HasPopup()) return;
    m_popup->m_status =
        encoding == TextEncoding::Utf8 ? win::Utf8ToWide(text) : win::AnsiToWide(text);
    m_popup->UpdateData(false);
}

void CDownLoadDlg::SetProgress(Surface where, int percent) {
    if (where == Surface::Dialog) {
        m_progress.SetPos(percent);
        return;
    }
    m_readProgress.waiting = false;
    if (HasPopup()) m_popup->Progress().SetPos(percent);
}

// Only the latest read counts; the window paints it when it next paints, not here.
void CDownLoadDlg::ShowReadProgress(int percent, const std::string& text) {
    m_readProgress.waiting = true;
    m_readProgress.percent = percent;
    m_readProgress.text = text;
    if (::GetTickCount() - m_readProgress.shownAt >= kReadProgressIntervalMs) ApplyReadProgress();
}

void CDownLoadDlg::ApplyReadProgress() {
    if (!m_readProgress.waiting || !HasPopup()) return;
    m_readProgress.waiting = false;
    m_readProgress.shownAt = ::GetTickCount();
    m_popup->Progress().SetPos(m_readProgress.percent);
    m_popup->m_status = win::AnsiToWide(m_readProgress.text);
    m_popup->UpdateData(false);
}

void CDownLoadDlg::StopAnimation(Surface where) {
    if (where == Surface::Dialog)
        m_animate.Stop();
    else if (HasPopup())
        m_popup->Animation().Stop();
}

void CDownLoadDlg::SetStopButton(Surface where, StopButton state) {
    HWND window = where == Surface::Dialog ? m_hWnd : HasPopup() ? m_popup->GetSafeHwnd()
                                                                 : nullptr;
    if (!window) return;
    const int button = where == Surface::Dialog ? IDC_DOWNLOAD_STOP : IDC_POPUP_STOP;
    if (state == StopButton::Disabled)
        ::EnableWindow(::GetDlgItem(window, button), FALSE);
    else
        ::SetDlgItemTextW(window, button, win::Utf8ToWide(kCloseLabel).c_str());
}

void CDownLoadDlg::RefreshDialog() {
    // Every status asks for it, mostly with the text already shown.
    if (m_status == m_shownStatus) return;
    m_shownStatus = m_status;
    ::SetDlgItemTextW(m_hWnd, IDC_DOWNLOAD_STATUS, m_status.c_str());
}

// ---- the windows

void CDownLoadDlg::HideDialog() { End(IDCANCEL); }

bool CDownLoadDlg::HasPopup() { return m_popup && m_popup->GetSafeHwnd(); }

void CDownLoadDlg::OpenPopup() {
    m_popup.reset(new CProgressPopupDlg(m_module, m_hWnd));
    if (!m_popup->Create()) {
        m_popup.reset();
        return;
    }
    g_busyAnimation.store(m_popup->Animation().GetSafeHwnd());
    ::ShowWindow(m_popup->GetSafeHwnd(), SW_SHOW);
    ::ShowWindow(::GetDlgItem(m_popup->GetSafeHwnd(), IDC_POPUP_STATUS), SW_SHOW);
}

void CDownLoadDlg::ClosePopup() {
    if (!m_popup) return;
    HWND popup = m_popup->GetSafeHwnd();
    if (popup) {
        HWND animate = m_popup->Animation().GetSafeHwnd();
        m_popup->Animation().Stop();
        if (g_busyAnimation.load() == animate) g_busyAnimation.store(nullptr);
        ::CloseWindow(popup);
        ::ShowWindow(popup, SW_HIDE);
    }
    // The popup's own button handler may be on the stack (it sent WM_POPUP_STOP): the object
    // goes when that handler returns.
    m_popup.reset();
}

void CDownLoadDlg::Post(NextStep step) {
    ::PostMessageW(m_hWnd, step == NextStep::ReadConfiguration ? WM_CONFIG_DOWNLOADED
                                                               : WM_PACKAGES_DOWNLOADED,
                   0, 0);
}

void CDownLoadDlg::TellControlDone() { ::PostMessageW(m_control, WM_LAUNCH_DONE, 1, 0); }

// ---- questions and messages

bool CDownLoadDlg::AskStop() {
    return ::MessageBoxW(m_hWnd, win::Utf8ToWide(kStopQuestion).c_str(), win::Utf8ToWide(kMessageCaption).c_str(),
                         MB_YESNO | MB_ICONQUESTION) == IDYES;
}

const char* CDownLoadDlg::ConfigRefusalText() const {
    switch (m_configRefusal) {
    case ConfigRefusal::kUnreadable: return kConfigReadFailed;
    case ConfigRefusal::kExpired: return kConfigExpired;
    case ConfigRefusal::kRolledBack: return kConfigRolledBack;
    case ConfigRefusal::kTooOld: return kConfigTooOld;
    case ConfigRefusal::kCannotVerify: return kConfigCannotVerify;
    default: return kConfigNotTrusted;
    }
}

void CDownLoadDlg::Tell(Failure what, const std::string& detail) {
    std::wstring message;
    switch (what) {
    case Failure::Upgrade: message = win::Utf8ToWide(kUpgradeFailed); break;
    case Failure::Network: message = win::Utf8ToWide(kNetworkFailed); break;
    case Failure::File: message = win::Utf8ToWide(kFileFailed); break;
    case Failure::Folder: message = win::Utf8ToWide(kFolderFailed); break;
    case Failure::Restore: message = win::Utf8ToWide(kRestoreFailed); break;
    case Failure::Client: message = win::Utf8ToWide(kClientNotStarted); break;
    case Failure::Configuration: message = win::Utf8ToWide(ConfigRefusalText()); break;
    case Failure::Package:
        message = win::Utf8ToWide(kPackageRefusedHead) + win::Utf8ToWide(detail) + win::Utf8ToWide(kPackageRefusedTail);
        break;
    case Failure::Space:
        message = win::Utf8ToWide(kSpaceShortHead) + win::Utf8ToWide(detail) + win::Utf8ToWide(kSpaceShortTail);
        break;
    }
    if (!detail.empty() && what != Failure::Package && what != Failure::Space)
        // The engine's texts are in the ANSI code page; paths and names are UTF-8.
        message += L"\r\n\r\n" + (what == Failure::Network || what == Failure::File
                                        ? win::AnsiToWide(detail)
                                        : win::Utf8ToWide(detail));
    // A refused configuration has always been told without an icon.
    const UINT icon = what == Failure::Configuration ? 0 : MB_ICONERROR;
    // The moment the player learns it, for the benchmarks (the box waits for the player).
    Trace("CDownLoadDlg - the player is told, failure " + std::to_string(static_cast<int>(what)));
    ::MessageBoxW(m_hWnd, message.c_str(), win::Utf8ToWide(kMessageCaption).c_str(), MB_OK | icon);
}

// ---- downloads

void CDownLoadDlg::Stop() { m_downloader->SetStop(true); }

bool CDownLoadDlg::QueuePackages() {
    std::string content;
    if (!ReadConfigFile(m_configFile, &content)) {
        m_configRefusal = ConfigRefusal::kUnreadable;
    } else {
        const ConfigContext context = {VerifyWithUpdateKey, static_cast<int64_t>(std::time(nullptr)),
                                       InstalledSerial(), BuildMinimumSerial()};
        m_configRefusal = ReadSignedConfig(content, context, &m_config);
    }
    if (m_configRefusal != ConfigRefusal::kNone) {
        Trace("CDownLoadDlg::QueuePackages - configuration refused (" +
              std::to_string(static_cast<int>(m_configRefusal)) + ")");
        return false;
    }
    // The listed packages in file order, then the five every release carries.
    m_packages.clear();
    for (const SignedPackage& package : m_config.packages)
        if (!IsFixedPackage(package.name)) m_packages.push_back(package.name);
    for (const char* fixed : kFixedPackages) m_packages.push_back(fixed);
    m_toDownload = 0;
    // The signed mirrors, after the compiled host, for each package in turn.
    m_downloader->SetMirrors(m_config.mirrors);
    // The packages travel side by side, so that no round trip leaves the line idle.
    const size_t cap = WinInetConnectionsPerServer(), lanes = UpdaterLanes(cap);
    Trace("CDownLoadDlg::QueuePackages - " + std::to_string(lanes) +
          " lanes (WinINet's connections per server: " + std::to_string(cap) + ")");
    m_downloader->SetLanes(lanes);
    for (const std::string& name : m_packages) QueuePackage(name);
    // Each whole package is checked as it comes: one that is not the signed file is fetched
    // again from the next server. What the check found is kept for the finishing step.
    const UpdateConfig config = m_config;
    const std::shared_ptr<CheckedPackages> kept = m_installation.Checked();
    const std::shared_ptr<PackageArrivals> arrivals = m_installation.Arrivals();
    m_downloader->SetFileCheck([config, kept, arrivals](const std::string& name,
                                                        const std::string& path) {
        prynn::SystemFiles checked;
        uint64_t decoded = 0;
        // The signed bytes pass here; whether they make a package is the finishing step's to say.
        const PackageRefusal refusal =
            CheckPackageOnce(config, name, checked, path, WinFileIdentity, *kept, &decoded);
        if (refusal == PackageRefusal::kNone) arrivals->Arrived(name);
        return refusal == PackageRefusal::kNone || refusal == PackageRefusal::kNotPackage;
    });
    return true;
}

// What an earlier visit left in the download folder is told by its size alone: a file at the
// signed size is judged by the lanes' check before any server is asked (and kept when it is the
// signed one), a shorter one is continued.
void CDownLoadDlg::QueuePackage(const std::string& name) {
    const SignedPackage* listed = m_config.Find(name);
    if (!listed) return;
    const std::string url = PackageUrl(name);
    const std::string path = win::WideToUtf8(m_downloadFolder) + "\\" + name;
    FileIdentity identity;
    const std::optional<uint64_t> size =
        WinFileIdentity(path, &identity) ? std::optional<uint64_t>(identity.size) : std::nullopt;
    const StoredPackage stored = LookAtStoredPackage(m_config, name, size);
    if (stored.kind == StoredPackage::kSignedSize && stored.bytes == 0 &&
        StoredEmptyPackagePasses(name, path))
        return;
    m_downloader->AddURL(url);
    // A body past its signed size is not read on: an endless one cannot fill the disk.
    m_downloader->LimitSize(url, listed->size);
    if (stored.bytes > 0) {
        Trace("CDownLoadDlg::QueuePackages - " +
              std::string(stored.kind == StoredPackage::kSignedSize ? "already here, to be checked: "
                                                                      : "continuing ") +
              win::Utf8ToAnsi(name) + " (" + std::to_string(stored.bytes) + " bytes)");
        m_downloader->ResumeFrom(url, stored.bytes);
    }
    // A stored file the check refuses is fetched whole; the room for it is not asked first,
    // as it was not when the file was first fetched.
    m_toDownload = AddSizes(m_toDownload, listed->size - stored.bytes);
}

// A signed empty package has no byte to read, so it is judged here, as the lanes would judge
// it: the engine cannot tell an empty stored file from none.
bool CDownLoadDlg::StoredEmptyPackagePasses(const std::string& name, const std::string& path) {
    prynn::SystemFiles files;
    uint64_t decoded = 0;
    if (CheckPackageOnce(m_config, name, files, path, WinFileIdentity, *m_installation.Checked(),
                         &decoded) != PackageRefusal::kNone)
        return false;
    Trace("CDownLoadDlg::QueuePackages - already here: " + win::Utf8ToAnsi(name));
    m_installation.Arrivals()->Arrived(name);
    return true;
}

bool CDownLoadDlg::EnoughSpaceToDownload(std::string& needed) {
    return EnoughSpaceAt(m_downloadFolder, m_toDownload, needed);
}


bool CDownLoadDlg::StartPackages() {
    Trace("CDownLoadDlg - package batch starts");
    m_downloader->SetTarget(m_sink, "Tavrin", win::WideToUtf8(m_downloadFolder + L"\\"));
    // The installation begins with the batch, decoding each package as it arrives.
    if (!m_installation.StartStaging())
        Trace("CDownLoadDlg - the packages will be decoded once all are in");
    return StartWorker();
}

bool CDownLoadDlg::StartWorker() {
    // The thread deletes itself; the dialog keeps no handle and never waits for it.
    return static_cast<bool>(BeginUpdaterWorker(m_downloader));
}

void CDownLoadDlg::DiscardPackages() {
    // The worker may still hold the package it was writing when the stop came; it deletes
    // that one itself once closed, whichever of us comes second.
    m_downloader->DiscardStoppedFile();
    DeleteMatchingFiles(m_downloadFolder, L"*.lzf");
}

void CDownLoadDlg::StopBusyAnimation() {
    HWND busy = g_busyAnimation.exchange(nullptr);
    if (busy) ::SendMessageW(busy, ACM_STOP, 0, 0);
}

void CDownLoadDlg::Trace(const std::string& line) { WexlogTrace("%s", line.c_str()); }

void CDownLoadDlg::TraceEachRead(const std::string& line) {
    if (m_traceEachRead) Trace(line);
}

}  // namespace tavrin
