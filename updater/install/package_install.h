// Installing the downloaded packages, and the Internet shortcut the updater writes: plain
// logic over paths, with the decompressor passed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "system/files.h"

namespace tavrin {

// Prynn's entry: non-zero when target now holds the decompressed content of source.
using DecompressFn = std::function<int(const std::string& source, const std::string& target)>;

// A file's size and SHA-256 (64 lower-case hex digits).
struct FileDigest {
    uint64_t size = 0;
    std::string sha256;
    bool operator==(const FileDigest& other) const {
        return size == other.size && sha256 == other.sha256;
    }
};

// The file operations the installation needs, on the updater's paths (UTF-8, as the package
// names in the signed configuration are): the shared ones and a file's digest.
class InstallFiles : public Files {
public:
    // The file's size and SHA-256; false when it is missing or cannot be read now.
    virtual bool Digest(const std::string& path, FileDigest* digest) = 0;
};

// Beside each target while an installation runs: the decoded new file, and the old one.
constexpr const char* kStagedSuffix = ".tavrin-new";
constexpr const char* kBackupSuffix = ".tavrin-old";
// The download folder inside the install folder.
constexpr const char* kDownloadFolderName = "Temp";

// What an installation did to the install folder.
struct InstallResult {
    bool installed = false;  // the whole new set is in place
    // After a failure: the targets, in list order, that the rollback could not put back as
    // they were (the old file still aside under kBackupSuffix, or a new file where there was
    // none). Empty when the earlier installation stands whole.
    std::vector<std::string> notRestored;
    // Refusals that changed nothing and name their path: a target that is not a plain file
    // (a folder in the way), or the client, which the set would not leave in place.
    std::string blocked;
    std::string missingClient;
    // After a success: old files set aside (or other files beside the set) that could not be
    // removed (in use). The journal stays with them, so that a later control removes them.
    std::vector<std::string> backupsLeft;
    // Refusals that changed nothing: an earlier installation's journal is still there (it is
    // finished first, never overwritten); the journal of this set could outgrow what its reader
    // takes; a client started meanwhile was not ended before the replacement.
    bool journalFound = false;
    bool journalTooLarge = false;
    bool clientRunning = false;
    // A stop came before the first replacement: what was decoded is taken back.
    bool stopped = false;
};

// What the installation is given besides the packages.
struct InstallOptions {
    // The signed configuration of the release, kept beside the journal until the set stands,
    // so that a recovery believes the serial only from it.
    std::string signedConfig;
    // Asked once every package is decoded, right before the first target is replaced: false
    // when a client is running (and was not ended); nothing is replaced then.
    std::function<bool()> beforeReplacing;
    // Told before each package is decoded, so the player sees which one; for one decoded as it
    // arrived (PackageStaging::Stage), told in its turn when the set is completed.
    std::function<void(const std::string& package)> staging;
    // Asked before each package is decoded and before the client's check: true stops the
    // installation, which then takes back what it decoded. From the first replacement on, the
    // set completes whatever it answers.
    std::function<bool()> stopRequested;
    // Records the serial once the new set stands, before the journal goes; false when it may
    // not be written (the journal then stays, so that a later control writes it).
    std::function<bool(uint64_t serial)> recordSerial;
};

// Installs all packages or none. Every package (from downloadDir, ending with "\") is first
// decoded beside its target (installDir + "\" + its installed name); only when all of them
// decoded are the targets replaced, each old file kept aside until the whole set is in place.
// A replacement that fails puts back every file already replaced. A name that is not a plain
// file name never reaches a path: it fails the installation. A name listed twice is installed
// once. A set that installs no file named client (ignoring case), or a target where something
// other than a plain file stands, is refused before anything is decoded. From the first decoded
// file until the set is whole, a journal in installDir names what is being replaced, so that a
// crash on the way can be finished or undone (install_journal.h); serial is the release's.
// Nothing starts while a journal of an earlier installation is there.
InstallResult InstallAllPackages(const std::vector<std::string>& packages, const std::string& downloadDir,
                                 const std::string& installDir, const std::string& client,
                                 uint64_t serial, const DecompressFn& decompress,
                                 InstallFiles& files, const InstallOptions& options = {});

struct Journal;

// The same installation begun before its packages are all in, so that each is decoded beside
// its target as it arrives and little is left when the last one comes. Begin makes the checks
// and writes the journal; Stage decodes one package, in any order, each once; Complete decodes
// the rest and goes on as InstallAllPackages does; Abandon takes back what was decoded. One
// thread at a time, and the objects passed in outlive it.
class PackageStaging {
public:
    PackageStaging(const std::vector<std::string>& packages, const std::string& downloadDir,
                   const std::string& installDir, const std::string& client, uint64_t serial,
                   const DecompressFn& decompress, InstallFiles& files, InstallOptions options);
    ~PackageStaging();
    PackageStaging(const PackageStaging&) = delete;
    PackageStaging& operator=(const PackageStaging&) = delete;

    // False, with why in *result, when the installation cannot begin; nothing changed then.
    bool Begin(InstallResult* result);
    // True when the package is now decoded beside its target. A package that failed is left
    // undecoded, for Complete to try again: a file held for a moment must not end the set.
    bool Stage(const std::string& package);
    // Once, after Begin succeeded: InstallAllPackages's result.
    InstallResult Complete();
    // After Begin, instead of Complete: the journal takes back what was decoded.
    void Abandon();

    // A package's paths (package_install.cpp's own).
    struct Placement;

private:
    bool StageOne(size_t index);
    bool StageRest(InstallResult* result);
    InstallResult CompleteBegun();

    std::vector<std::string> m_packages;
    std::string m_downloadDir, m_installDir, m_client;
    uint64_t m_serial;
    DecompressFn m_decompress;
    InstallFiles& m_files;
    InstallOptions m_options;
    std::vector<Placement> m_plan;
    std::vector<bool> m_staged;
    std::unique_ptr<Journal> m_journal;  // from Begin until Complete or Abandon
};

// The bytes of "Velmora바둑 홈페이지.url": no terminating NUL, no final line break.
std::string InternetShortcutContent(const std::string& homeUrl, const std::string& installDir);

}  // namespace tavrin
