#include "updater/install/installation_win.h"

#include <windows.h>
#include <shlobj.h>

#include "libs/prynn/prynn.h"
#include "libs/prynn/system_files.h"
#include "libs/wexlog/wexlog.h"
#include "resources/product_names.h"
#include "system/client_launch_win.h"
#include "system/desktop_folder_win.h"
#include "system/shell_link_win.h"
#include "updater/disk_space.h"
#include "updater/disk_space_win.h"
#include "updater/install/install_files_win.h"
#include "updater/install/install_folder_win.h"
#include "updater/install/install_recovery_win.h"
#include "updater/install/package_check.h"
#include "updater/update_urls.h"
#include "win/ansi_path.h"
#include "win/code_page.h"
#include "win/handles.h"
#include "win/whole_file.h"

namespace tavrin {
namespace {

constexpr const wchar_t* kUrlFileName = L"Velmora바둑 홈페이지.url";

// Prynn's entry takes its paths in the ANSI code page: each goes as it is, or with its folder in
// the short form where the code page lacks the long one; a path with neither is not handed on.
win::Converted<std::string> PrynnPath(const std::string& utf8) {
    const std::wstring wide = win::WidePath(utf8);
    if (wide.empty()) return {std::string(), false};
    return win::AnsiPath(wide);
}

int DecompressThroughPrynn(const std::string& source, const std::string& target) {
    const win::Converted<std::string> from = PrynnPath(source);
    const win::Converted<std::string> to = PrynnPath(target);
    if (!from.exact || !to.exact) return 0;
    return PrynnDecompress(from.text.c_str(), to.text.c_str());
}

}  // namespace

namespace {
void Trace(const std::string& line) { WexlogTrace("%s", line.c_str()); }
}  // namespace

bool WinFileIdentity(const std::string& path, FileIdentity* identity) {
    const win::Converted<std::wstring> wide = win::ToWide(path, CP_UTF8);
    if (!wide.exact) return false;
    win::FileHandle file(::CreateFileW(wide.text.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file || !::GetFileInformationByHandle(file.get(), &info)) return false;
    identity->size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    identity->lastWrite =
        (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

WinInstallation::WinInstallation(const FinishingSetup& setup, FinishingHooks hooks)
    : m_setup(setup), m_hooks(std::move(hooks)) {}

WinInstallation::~WinInstallation() {
    if (!m_staging) return;
    Trace("CDownLoadDlg::InstallAllPackages - not finished: what was decoded is taken back");
    m_staging->Abandon();
}

std::string WinInstallation::DownloadPrefix() const {
    return win::WideToUtf8(m_setup.downloadDir) + "\\";
}

// Each package read again only when its file changed since it was checked this visit.
bool WinInstallation::VerifyPackages(std::string& refused) {
    Trace("CDownLoadDlg::VerifyPackages - start");
    prynn::SystemFiles files;
    CheckedPackages unshared;
    CheckedPackages& checked = m_setup.checked ? *m_setup.checked : unshared;
    m_decodedTotal = 0;
    for (const std::string& name : m_setup.packages) {
        uint64_t decoded = 0;
        const std::string path = DownloadPrefix() + name;
        FileIdentity now;
        if (!WinFileIdentity(path, &now) || !checked.Kept(name, now, &decoded))
            Trace("CDownLoadDlg::VerifyPackages - reading " + win::Utf8ToAnsi(name) + " again");
        const PackageRefusal refusal =
            CheckPackageOnce(m_setup.config, name, files, path, WinFileIdentity, checked, &decoded);
        m_decodedTotal = AddSizes(m_decodedTotal, decoded);
        if (refusal != PackageRefusal::kNone) {
            Trace("CDownLoadDlg::VerifyPackages - refused " + win::Utf8ToAnsi(name) + " (" +
                  std::to_string(static_cast<int>(refusal)) + ")");
            // The signed file, but no package: the publisher's fault, told as a failed upgrade.
            refused = refusal == PackageRefusal::kNotPackage ? std::string() : name;
            return false;
        }
    }
    Trace("CDownLoadDlg::VerifyPackages - done");
    return true;
}

// What was decoded while the packages came already stands on the disk. The player is told
// the room the whole set needs: a refusal takes back what was decoded.
bool WinInstallation::EnoughSpaceToInstall(std::string& needed) {
    const uint64_t rest = m_decodedTotal > m_stagedDecoded ? m_decodedTotal - m_stagedDecoded : 0;
    if (EnoughSpaceAt(m_setup.installDir, rest, needed)) return true;
    needed = MegabytesText(SpaceNeeded(m_decodedTotal));
    return false;
}

// The signed sizes of the packages not in yet: the room the downloads may still take.
uint64_t WinInstallation::StillToCome() const {
    uint64_t bytes = 0;
    for (const std::string& name : m_setup.packages)
        if (!m_arrived.count(name))
            if (const SignedPackage* listed = m_setup.config.Find(name))
                bytes = AddSizes(bytes, listed->size);
    return bytes;
}

bool WinInstallation::BeginStaging() {
    InstallResult refused;
    if (m_staging || !ReadyToInstall(&refused)) return false;
    m_staging = std::make_unique<PackageStaging>(
        m_setup.packages, DownloadPrefix(), win::WideToUtf8(m_setup.installDir), kClientExe,
        m_setup.config.serial, DecompressThroughPrynn, m_files, Options());
    if (m_staging->Begin(&refused)) return true;
    m_staging.reset();
    return false;
}

void WinInstallation::StageArrived(const std::string& package) {
    m_arrived.insert(package);
    if (!m_staging) return;
    prynn::SystemFiles files;
    uint64_t decoded = 0;
    const std::string path = DownloadPrefix() + package;
    // Kept by the check on arrival: read again only when its file changed since.
    if (!m_setup.checked ||
        CheckPackageOnce(m_setup.config, package, files, path, WinFileIdentity, *m_setup.checked,
                         &decoded) != PackageRefusal::kNone)
        return;
    std::string needed;
    if (!EnoughSpaceAt(m_setup.installDir, AddSizes(decoded, StillToCome()), needed)) return;
    if (!m_staging->Stage(package)) return;
    m_stagedDecoded = AddSizes(m_stagedDecoded, decoded);
    Trace("CDownLoadDlg::StageArrived - decoded " + win::Utf8ToAnsi(package));
}

// An earlier installation's journal is finished before this one starts, never overwritten.
bool WinInstallation::FinishEarlierInstallation() {
    WinInstallFiles files;
    const Recovery recovery =
        RecoverInstallation(win::WideToUtf8(m_setup.installDir), files, WinRecoveryHooks());
    if (recovery.outcome == Recovery::kNothing) return true;
    Trace("CDownLoadDlg::InstallAllPackages - an earlier installation: outcome " +
          std::to_string(static_cast<int>(recovery.outcome)));
    return recovery.outcome == Recovery::kCompleted || recovery.outcome == Recovery::kUndone;
}

// The signed configuration as it came, kept beside the journal; "" when it cannot be read (a
// recovery then leaves UpdateSerial as it is).
std::string WinInstallation::SignedConfigBytes() const {
    std::string bytes;
    WinInstallFiles files;
    if (!files.ReadAll(DownloadPrefix() + kConfigFileName, kMaxConfigSize, &bytes))
        bytes.clear();
    return bytes;
}

namespace {

void TraceResult(const InstallResult& result) {
    Trace(result.installed ? "CDownLoadDlg::InstallAllPackages - done"
                           : "CDownLoadDlg::InstallAllPackages - failed");
    for (const std::string& file : result.notRestored)
        Trace("CDownLoadDlg::InstallAllPackages - not restored: " + win::Utf8ToAnsi(file));
    if (!result.blocked.empty())
        Trace("CDownLoadDlg::InstallAllPackages - not a plain file: " + win::Utf8ToAnsi(result.blocked));
    if (!result.missingClient.empty())
        Trace("CDownLoadDlg::InstallAllPackages - the set leaves no client: " +
              win::Utf8ToAnsi(result.missingClient));
    if (result.journalTooLarge)
        Trace("CDownLoadDlg::InstallAllPackages - the set's journal would outgrow its reader");
    if (result.clientRunning)
        Trace("CDownLoadDlg::InstallAllPackages - a client runs: nothing replaced");
    if (result.stopped) Trace("CDownLoadDlg::InstallAllPackages - stopped: nothing replaced");
    for (const std::string& file : result.backupsLeft)
        Trace("CDownLoadDlg::InstallAllPackages - left for a later control: " + win::Utf8ToAnsi(file));
}

}  // namespace

// The lock, and an earlier installation's journal finished first; false, with why in refused.
bool WinInstallation::ReadyToInstall(InstallResult* refused) {
    // The updater claimed the folder before its downloads; without it nothing is touched.
    if (!m_setup.lock || !m_setup.lock->Held()) {
        Trace("CDownLoadDlg::InstallAllPackages - the install folder is busy");
        return false;
    }
    if (!FinishEarlierInstallation()) {
        refused->journalFound = true;
        return false;
    }
    return true;
}

InstallOptions WinInstallation::Options() const {
    InstallOptions options;
    options.signedConfig = SignedConfigBytes();
    options.beforeReplacing = m_hooks.beforeReplacing;
    options.staging = m_hooks.staging;
    options.stopRequested = m_hooks.stopRequested;
    // Only a finished installation raises the serial a later configuration must reach; it is
    // written before the journal goes.
    options.recordSerial = WinRecoveryHooks().recordSerial;
    return options;
}

InstallResult WinInstallation::InstallAllPackages() {
    Trace("CDownLoadDlg::InstallAllPackages - start");
    InstallResult result;
    if (m_staging) {
        result = m_staging->Complete();
        m_staging.reset();
    } else if (ReadyToInstall(&result)) {
        result = tavrin::InstallAllPackages(m_setup.packages, DownloadPrefix(),
                                            win::WideToUtf8(m_setup.installDir), kClientExe,
                                            m_setup.config.serial, DecompressThroughPrynn,
                                            m_files, Options());
    }
    TraceResult(result);
    return result;
}

namespace {

void WriteInternetShortcuts(const std::wstring& installDir);

}  // namespace

void WinInstallation::WriteShortcuts() {
    const std::wstring& installDir = m_setup.installDir;
    Trace("CDownLoadDlg::WriteShortcuts - start");
    const std::wstring client = installDir + L"\\" + win::Utf8ToWide(kClientExe);
    // The installation stands without the link: a link that cannot be written is only traced.
    if (!CreateClientDesktopShortcut(client, installDir, L"Orbisan.ICO"))
        Trace("CDownLoadDlg::WriteShortcuts - the client's desktop link was not written");
    WriteInternetShortcuts(installDir);
    Trace("CDownLoadDlg::WriteShortcuts - done");
}

namespace {

void WriteInternetShortcuts(const std::wstring& installDir) {
    // The shell reads the text of a .url file in the ANSI code page: the icon's folder goes in a
    // form that code page holds, as it is or in its short form. With neither, the shortcut
    // would name a folder that is not there; none is written, as when one cannot be.
    const win::Converted<std::string> folder = win::AnsiExistingPath(installDir);
    if (!folder.exact) {
        Trace("CDownLoadDlg::WriteInternetShortcuts - no ANSI name for the install folder");
        return;
    }
    const std::string content = InternetShortcutContent(HomePageUrl(), folder.text);
    // Without a desktop folder the bare name would land in whatever the browser's current
    // folder is: that copy is left out rather than written somewhere unknown.
    const std::wstring desktop = UserDesktopFolder();
    if (desktop.empty()) {
        Trace("CDownLoadDlg::WriteInternetShortcuts - no desktop folder");
    } else if (!win::WriteWholeFile(desktop + kUrlFileName, content)) {
        Trace("파일생성 실패");
        return;
    }
    if (!win::WriteWholeFile(installDir + L"\\" + kUrlFileName, content)) {
        Trace("파일생성 실패1");
        return;
    }
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, 0, nullptr, nullptr);
}

}  // namespace

bool StartInstalledClient(const std::wstring& installDir, std::string& failedClient) {
    const std::wstring client = installDir + L"\\" + win::Utf8ToWide(kClientExe);
    // No parameters: the login command line goes only with a launch by the control itself.
    if (LaunchClient(client, nullptr)) {
        Trace("CDownLoadDlg::StartClient - started");
        return true;
    }
    failedClient = win::WideToUtf8(client);
    return false;
}

}  // namespace tavrin
