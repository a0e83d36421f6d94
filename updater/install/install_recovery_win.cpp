#include "updater/install/install_recovery_win.h"

#include <string>

#include "libs/wexlog/wexlog.h"
#include "system/client_settings_win.h"
#include "updater/install/install_files_win.h"
#include "updater/install/install_folder_win.h"
#include "updater/signed_config.h"
#include "updater/update_key.h"
#include "win/code_page.h"

namespace tavrin {
namespace {

// The configuration kept beside the journal, checked as the updater checked it when it came,
// except for its age and the serial installed since: only the signature and the serial count.
bool ProvesSerial(const std::string& signedConfig, uint64_t serial) {
    const ConfigContext context = {VerifyWithUpdateKey, 0, 0, 0};
    UpdateConfig config;
    return ReadSignedConfig(signedConfig, context, &config) == ConfigRefusal::kNone &&
           config.serial == serial;
}

// A lower serial than the one recorded is never written: that would let an older release in.
bool RaiseUpdateSerial(uint64_t serial) {
    std::string text;
    uint64_t recorded = 0;
    if (ReadClientSetting(kSettingUpdateSerial, text) == 0 && ParseDecimal(text, &recorded) &&
        recorded >= serial)
        return true;
    return WriteClientValue(kSettingUpdateSerial, std::to_string(serial));
}

void TraceRecovery(const Recovery& recovery) {
    WexlogTrace("FinishInterruptedInstall - outcome %d", static_cast<int>(recovery.outcome));
    for (const std::string& path : recovery.notWhole)
        WexlogTrace("FinishInterruptedInstall - not put right: %s",
                    win::WideToAnsi(win::Utf8ToWide(path)).c_str());
    for (const std::string& path : recovery.leftBeside)
        WexlogTrace("FinishInterruptedInstall - left for later: %s",
                    win::WideToAnsi(win::Utf8ToWide(path)).c_str());
}

}  // namespace

RecoveryHooks WinRecoveryHooks() { return {ProvesSerial, RaiseUpdateSerial}; }

Recovery FinishInterruptedInstall() {
    Recovery recovery;
    // The portable recovery takes UTF-8 paths, converted from the wide folder without loss.
    const std::string folder = win::WideToUtf8(InstallFolderPath());
    if (folder.empty()) return recovery;
    WinInstallFiles files;
    bool journal = false;
    for (const std::string& path : {JournalPath(folder), NextJournalPath(folder),
                                    JournalConfigPath(folder)})
        journal = journal || files.Kind(path) != PathKind::kNone;
    if (!journal) return recovery;
    const InstallLock lock(0);
    if (!lock.Held()) {
        WexlogTrace("%s", "FinishInterruptedInstall - another installation is at work");
        recovery.outcome = Recovery::kBusy;
        return recovery;
    }
    recovery = RecoverInstallation(folder, files, WinRecoveryHooks());
    TraceRecovery(recovery);
    return recovery;
}

}  // namespace tavrin
