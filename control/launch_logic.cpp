#include "control/launch_logic.h"

#include <cstdio>

#include "control/site_lock.h"

namespace tavrin {

namespace {

constexpr size_t kBlockSize = 32;
constexpr size_t kPasswordOffset = 5;
constexpr const char* kGuestKey = "9000";
constexpr const char* kDefaultKey = "1000";

bool IsGuestKey(const LaunchProperties& props) { return props.key == kGuestKey; }

bool IsEncodedPassword(const std::string& password) {
    return password.size() == kEncodedPasswordLength &&
           password.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

bool PasswordNeedsEncoding(const LaunchProperties& props) {
    return !IsGuestKey(props) && !IsEncodedPassword(props.strPass);
}

std::string ToHex(const unsigned char* bytes, size_t count) {
    std::string hex;
    char digits[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%.2x", bytes[i]);
        hex += digits;
    }
    return hex;
}

// A page must not be able to add switches of its own to the client's command line.
bool HasUnsafeByte(const std::string& value) {
    for (unsigned char c : value) {
        if (c == ' ' || c == '"' || c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// The client reads "/" as the start of its next switch, even inside a value.
bool HasUnsafeByteOrSlash(const std::string& value) {
    return HasUnsafeByte(value) || value.find('/') != std::string::npos;
}

// The name of the first value longer than kMaxPropertyBytes, or null.
const char* OverlongValue(const LaunchProperties& props) {
    if (props.key.size() > kMaxPropertyBytes) return "key";
    for (const std::string& server : props.servers)
        if (server.size() > kMaxPropertyBytes) return "a strServer value";
    if (IsGuestKey(props)) return nullptr;
    if (props.strID.size() > kMaxPropertyBytes) return "strID";
    if (props.strPass.size() > kMaxPropertyBytes) return "strPass";
    return nullptr;
}

void WriteLoginServer(const LaunchProperties& props, LaunchOps& ops) {
    if (!IsGuestKey(props)) {
        if (!props.servers[0].empty()) ops.WriteSetting(props.servers[0], kWriteLoginServer);
        return;
    }
    int slot = PickServer(props, ops);
    if (slot < 0) {
        ops.Trace("no login server given for join key 9000; LoginSERV left as it was");
        return;
    }
    ops.WriteSetting(props.servers[slot], kWriteLoginServer);
}

// Starts the installed client when the work folder holds it.
LaunchOutcome StartInstalledClient(const LaunchProperties& props, const std::string& workDir,
                                   const std::string& commandLine, LaunchOps& ops) {
    std::string exe = workDir + "\\" + kClientExe;
    if (!ops.FileExists(exe)) {
        ops.Trace("client not found at " + exe + "; forgetting the work folder");
        ops.DeleteWorkDir();
        return LaunchOutcome::Updater;
    }
    // Without both an id and a password the client asks for them itself.
    bool withLogin = !props.strID.empty() && !props.strPass.empty();
    if (!ops.StartClient(exe, withLogin ? &commandLine : nullptr)) {
        // Closing the page would leave the player with nothing and no word why.
        ops.Trace("the client at " + exe + " did not start; the page stays open");
        ops.ShowStartFailed(exe);
        return LaunchOutcome::StartFailed;
    }
    ops.PostLaunchDone();
    return LaunchOutcome::Started;
}

}  // namespace

std::string EncodePassword(const std::string& password, RandomSource& random) {
    unsigned char block[kBlockSize];
    const uint32_t time = random.Time();
    for (size_t i = 0; i < 4; ++i) block[i] = static_cast<unsigned char>(time >> (8 * i));

    // Cut rather than run past the block; the length byte then tells what was kept.
    const size_t length = password.size() < kMaxPlainPassword ? password.size() : kMaxPlainPassword;
    block[4] = static_cast<unsigned char>(length);
    for (size_t i = 0; i < length; ++i) block[kPasswordOffset + i] = static_cast<unsigned char>(password[i]);
    for (size_t i = kPasswordOffset + length; i < kBlockSize; ++i) {
        block[i] = static_cast<unsigned char>(random.Rand() & 0xFF);
    }

    // Every word after the time word is XORed with the time, little-endian.
    for (size_t i = 4; i < kBlockSize; ++i) block[i] ^= block[i % 4];
    return ToHex(block, kBlockSize);
}

std::string BuildCommandLine(const LaunchProperties& props, RandomSource& random) {
    if (IsGuestKey(props)) return std::string(" /NAME:+ /JOINKEY:") + kGuestKey;
    std::string password = PasswordNeedsEncoding(props) ? EncodePassword(props.strPass, random) : props.strPass;
    std::string key = props.key.empty() ? kDefaultKey : props.key;
    return " /NAME:" + props.strID + " /PASSWORD:" + password + " /JOINKEY:" + key;
}

int PickServer(const LaunchProperties& props, RandomSource& random) {
    int given = 0;
    for (const auto& server : props.servers) given += server.empty() ? 0 : 1;
    if (given == 0) return -1;

    random.Srand(random.Time());
    int wanted = random.Rand() % given;
    for (int slot = 0; slot < static_cast<int>(props.servers.size()); ++slot) {
        if (props.servers[slot].empty()) continue;
        if (wanted-- == 0) return slot;
    }
    return -1;  // not reached: wanted < given
}

std::string RefusalReason(const LaunchProperties& props) {
    if (!props.uncarried.empty())
        return props.uncarried + " from the page does not fit the ANSI code page";
    // A cut command line would start the client without its password or key.
    if (const char* name = OverlongValue(props))
        return std::string(name) + " is longer than " + std::to_string(kMaxPropertyBytes) +
               " bytes";
    if (HasUnsafeByteOrSlash(props.key))
        return "key holds a space, a quote, a \"/\" or a control character";
    // The guest line is " /NAME:+ /JOINKEY:9000": the id and password go nowhere.
    if (IsGuestKey(props)) return "";
    if (HasUnsafeByteOrSlash(props.strID))
        return "strID holds a space, a quote, a \"/\" or a control character";
    if (HasUnsafeByte(props.strPass)) return "strPass holds a space, a quote or a control character";
    if (PasswordNeedsEncoding(props) && props.strPass.size() > kMaxPlainPassword) {
        return "strPass is longer than " + std::to_string(kMaxPlainPassword) + " bytes";
    }
    return "";
}

LaunchOutcome RunOnCreate(const LaunchProperties& props, LaunchOps& ops, const std::string& siteLock) {
    // Before anything else: a page elsewhere gets neither the client nor the updater, and
    // nothing of it reaches the registry.
    const std::string page = ops.PageAddress();
    if (!SiteAllowed(page, siteLock)) {
        ops.Trace("OnCreate: the page \"" + page.substr(0, 200) +
                  "\" is not on the site list: the control stays idle");
        return LaunchOutcome::NotAllowed;
    }
    std::string reason = RefusalReason(props);
    if (!reason.empty()) {
        ops.Trace("OnCreate refuses to start the client: " + reason);
        ops.ShowRefused();
        return LaunchOutcome::Refused;
    }
    ops.Trace("OnCreate: preparing the client launch");
    // Never start, nor update over, what a recovery could not make whole; the next visit tries
    // again.
    const InstallState install = ops.FinishInterruptedInstall();
    if (install != InstallState::Whole) {
        ops.Trace(install == InstallState::Busy
                      ? "OnCreate: another installation is at work: nothing starts"
                      : "OnCreate: the installation is not whole: nothing starts");
        ops.ShowInstallUnfinished(install);
        return LaunchOutcome::Unfinished;
    }

    std::string workDir;
    if (ops.ReadSetting(kSettingWorkDir, workDir) != 0) workDir.clear();

    const std::string commandLine = BuildCommandLine(props, ops);
    ops.WriteSetting(commandLine, kWriteSaveStart);
    WriteLoginServer(props, ops);

    if (!workDir.empty()) {
        const LaunchOutcome outcome = StartInstalledClient(props, workDir, commandLine, ops);
        if (outcome != LaunchOutcome::Updater) return outcome;
    }
    ops.CreateUpdater();
    return LaunchOutcome::Updater;
}

}  // namespace tavrin
