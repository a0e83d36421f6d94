// The launch decision of the control, free of the windowing platform: the client's command
// line, the password block, the login server choice and what happens when the control's
// window is created. The platform operations come in through LaunchOps, so the whole decision
// runs under test with fakes. All strings are bytes in the process's ANSI code page.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "resources/player_texts.h"
#include "resources/product_names.h"

namespace tavrin {

constexpr int kWriteSaveStart = 0;  // WriteSetting(value, 0): SaveStart
constexpr int kWriteLoginServer = 1;  // WriteSetting(value, 1): LoginSERV
constexpr size_t kEncodedPasswordLength = 64;  // 64 hex digits are an encoded password
constexpr size_t kMaxPropertyBytes = 256;      // each value, so the command line is never cut
constexpr size_t kMaxPlainPassword = 27;  // what fits the 32-byte block

// The thirteen string properties a page gives the control.
struct LaunchProperties {
    std::string strID;
    std::string strPass;
    std::string key;
    std::array<std::string, 10> servers;  // strServer, strServer1 ... strServer9
    // The name of a page value the ANSI code page could not carry exactly ("" when none): the
    // property kept its old value, so launching would pass something the page never meant.
    std::string uncarried;
};

// The runtime library's clock and generator, as the encoding and the server choice use them.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual uint32_t Time() = 0;  // time(NULL)
    virtual void Srand(unsigned seed) = 0;
    virtual int Rand() = 0;  // 0 ... RAND_MAX
};

// What finishing an interrupted installation left in the install folder.
enum class InstallState {
    Whole,       // no installation was interrupted, or its set now stands whole
    Busy,        // another installation works there: it is left alone
    Unfinished,  // no whole set: a record no reader takes, or files that cannot be put right
};

// What OnCreate drives besides the clock.
class LaunchOps : public RandomSource {
public:
    // theApp.ReadSetting: 0 on success (out set), 1 on failure (out unchanged).
    virtual int ReadSetting(const std::string& name, std::string& out) = 0;
    // theApp.WriteSetting: which 1 writes LoginSERV, any other SaveStart.
    virtual void WriteSetting(const std::string& value, int which) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Deletes the WorkDir value from the client's key (nothing when the key does not open).
    virtual void DeleteWorkDir() = 0;
    // ShellExecute of the client; params null means the client gets no parameters. False when
    // the client did not start (missing, not a program, refused).
    virtual bool StartClient(const std::string& path, const std::string* params) = 0;
    virtual void PostLaunchDone() = 0;  // WM_LAUNCH_DONE (1, 0) to the control's own window
    virtual void CreateUpdater() = 0;   // the updater dialog, owned by the control
    // Finishes or undoes an installation that a crash interrupted, so that what follows sees
    // one whole set of files.
    virtual InstallState FinishInterruptedInstall() = 0;
    // Tells the player that nothing starts until the installation is whole (after OnCreate).
    virtual void ShowInstallUnfinished(InstallState state) = 0;
    // Tells the player that the page's values were refused (after OnCreate, not inside it).
    virtual void ShowRefused() = 0;
    // Tells the player that the client at path did not start (after OnCreate, not inside it).
    virtual void ShowStartFailed(const std::string& path) = 0;
    virtual void Trace(const std::string& line) = 0;
    // The address of the page that hosts the control, as its container tells it; "" when no
    // container answers.
    virtual std::string PageAddress() = 0;
};

enum class LaunchOutcome {
    Started,  // the client was started and WM_LAUNCH_DONE posted
    StartFailed,  // the installed client did not start: the player is told, the page stays
    Unfinished,   // no whole set stands: neither client nor updater, the player is told
    Updater,  // the updater was created
    Refused,  // unsafe properties: nothing written, nothing started
    NotAllowed,  // the page is not on the site list: the control stays idle
};

// The 64 lowercase hex digits of the time-keyed password block. The password must be at most
// kMaxPlainPassword bytes; a longer one is cut there (callers refuse such passwords before).
std::string EncodePassword(const std::string& password, RandomSource& random);

// " /NAME:<id> /PASSWORD:<p> /JOINKEY:<key or 1000>", or " /NAME:+ /JOINKEY:9000".
std::string BuildCommandLine(const LaunchProperties& props, RandomSource& random);

// The slot (0-9) of the login server for join key "9000": uniform among the non-empty slots,
// in slot order; -1 when every slot is empty.
int PickServer(const LaunchProperties& props, RandomSource& random);

// Why these properties must not reach the client's command line, or "" when they may.
std::string RefusalReason(const LaunchProperties& props);

// Everything OnCreate does after the base window creation succeeded. siteLock is the build's
// allow-list (see site_lock.h).
LaunchOutcome RunOnCreate(const LaunchProperties& props, LaunchOps& ops, const std::string& siteLock);

}  // namespace tavrin
