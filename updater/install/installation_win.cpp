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

WinInstallation::WinInstallation(const UpdateConfig& config,
                                 const std::vector<std::string>& packages,
                                 const std::wstring& installDir, const std::wstring& downloadDir)
    : m_config(config),
      m_packages(packages),
      m_installFolder(installDir),
      m_downloadFolder(downloadDir) {}

void WinInstallation::Trace(const std::string& line) { WexlogTrace("%s", line.c_str()); }

std::string WinInstallation::DownloadPrefix() const { return win::WideToUtf8(m_downloadFolder) + "\\"; }

bool WinInstallation::VerifyPackages(std::string& refused) {
    Trace("CDownLoadDlg::VerifyPackages - start");
    prynn::SystemFiles files;
    m_decodedTotal = 0;
    for (const std::string& name : m_packages) {
        uint64_t decoded = 0;
        const PackageRefusal refusal =
            CheckPackage(m_config, name, files, DownloadPrefix() + name, &decoded);
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

bool WinInstallation::EnoughSpaceToInstall(std::string& needed) {
    return EnoughSpaceAt(m_installFolder, m_decodedTotal, needed);
}

bool WinInstallation::ClaimFolder() {
    if (!m_lock || !m_lock->Held()) m_lock = std::make_unique<InstallLock>(0);
    return m_lock->Held();
}

// An earlier installation's journal is finished before this one starts, never overwritten.
bool WinInstallation::FinishEarlierInstallation() {
    WinInstallFiles files;
    const Recovery recovery = RecoverInstallation(win::WideToUtf8(m_installFolder), files, WinRecoveryHooks());
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

InstallResult WinInstallation::InstallAllPackages() {
    Trace("CDownLoadDlg::InstallAllPackages - start");
    // A control finishing an interrupted installation gets to end first.
    if (!m_lock || !m_lock->Held()) m_lock = std::make_unique<InstallLock>(10000);
    if (!m_lock->Held()) {
        Trace("CDownLoadDlg::InstallAllPackages - the install folder is busy");
        return InstallResult();
    }
    if (!FinishEarlierInstallation()) {
        InstallResult refused;
        refused.journalFound = true;
        return refused;
    }
    WinInstallFiles files;
    InstallOptions options;
    options.signedConfig = SignedConfigBytes();
    options.beforeReplacing = m_beforeReplacing;
    // Only a finished installation raises the serial a later configuration must reach; it is
    // written before the journal goes.
    options.recordSerial = WinRecoveryHooks().recordSerial;
    const InstallResult result = tavrin::InstallAllPackages(
        m_packages, DownloadPrefix(), win::WideToUtf8(m_installFolder), kClientExe, m_config.serial,
        DecompressThroughPrynn, files, options);
    Trace(result.installed ? "CDownLoadDlg::InstallAllPackages - done" : "CDownLoadDlg::InstallAllPackages - failed");
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
    for (const std::string& file : result.backupsLeft)
        Trace("CDownLoadDlg::InstallAllPackages - left for a later control: " + win::Utf8ToAnsi(file));
    return result;
}

void WinInstallation::WriteShortcuts() {
    Trace("CDownLoadDlg::WriteShortcuts - start");
    const std::wstring client = m_installFolder + L"\\" + win::Utf8ToWide(kClientExe);
    // The installation stands without the link: a link that cannot be written is only traced.
    if (!CreateClientDesktopShortcut(client, m_installFolder, L"Orbisan.ICO"))
        Trace("CDownLoadDlg::WriteShortcuts - the client's desktop link was not written");
    WriteInternetShortcuts();
    Trace("CDownLoadDlg::WriteShortcuts - done");
}

void WinInstallation::WriteInternetShortcuts() {
    // The shell reads the text of a .url file in the ANSI code page: the icon's folder goes in a
    // form that code page holds, as it is or in its short form. With neither, the shortcut
    // would name a folder that is not there; none is written, as when one cannot be.
    const win::Converted<std::string> folder = win::AnsiExistingPath(m_installFolder);
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
    if (!win::WriteWholeFile(m_installFolder + L"\\" + kUrlFileName, content)) {
        Trace("파일생성 실패1");
        return;
    }
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, 0, nullptr, nullptr);
}

bool WinInstallation::StartClient(std::string& failedClient) {
    const std::wstring client = m_installFolder + L"\\" + win::Utf8ToWide(kClientExe);
    // No parameters: the login command line goes only with a launch by the control itself.
    if (LaunchClient(client, nullptr)) {
        Trace("CDownLoadDlg::StartClient - started");
        return true;
    }
    failedClient = win::WideToUtf8(client);
    return false;
}

}  // namespace tavrin
