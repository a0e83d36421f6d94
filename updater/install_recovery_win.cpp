#include "updater/install_recovery_win.h"

#include <string>

#include "libs/wexlog/wexlog.h"
#include "system/client_settings_win.h"
#include "updater/install_files_win.h"
#include "updater/install_folder_win.h"
#include "updater/install_journal.h"
#include "win/code_page.h"

namespace tavrin {

void FinishInterruptedInstall() {
    // The portable recovery takes UTF-8 paths, converted from the wide folder without loss.
    const std::string folder = win::WideToUtf8(InstallFolderPath());
    if (folder.empty()) return;
    WinInstallFiles files;
    if (files.Kind(folder + "\\" + kJournalName) == PathKind::kNone) return;
    const InstallLock lock(0);
    if (!lock.Held()) {
        WexlogTrace("%s", "FinishInterruptedInstall - another installation is at work");
        return;
    }
    const Recovery recovery = RecoverInstallation(folder, files);
    WexlogTrace("FinishInterruptedInstall - outcome %d", static_cast<int>(recovery.outcome));
    for (const std::string& path : recovery.left)
        WexlogTrace("FinishInterruptedInstall - not put right: %s",
                    win::WideToAnsi(win::Utf8ToWide(path)).c_str());
    // The release the journal names is the one installed now.
    if (recovery.outcome == Recovery::kCompleted && recovery.serial != 0 &&
        !WriteClientValue(kSettingUpdateSerial, std::to_string(recovery.serial)))
        WexlogTrace("%s", "FinishInterruptedInstall - UpdateSerial not written");
}

}  // namespace tavrin
