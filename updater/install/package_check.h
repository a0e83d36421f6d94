// A downloaded package against the signed configuration: listed, of its signed size and with
// its signed SHA-256, checked before anything of it is installed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "libs/prynn/decoded_size.h"
#include "libs/prynn/file_system.h"
#include "updater/signed_config.h"

namespace tavrin {

enum class PackageRefusal {
    kNone,
    kNotListed,   // not in the signed list
    kWrongSize,   // shorter or longer than signed
    kWrongHash,   // the content is not the signed one
    kUnreadable,  // missing, or a read failed
    kCannotHash,  // the system has no SHA-256
    kNotPackage,  // the signed bytes, but their blocks do not make a package
};

// The size and SHA-256 of the file at path into measured; kWrongSize as soon as it passes
// maxBytes (nothing more is read), kUnreadable or kCannotHash when those fail. The bytes also
// go to blocks when given.
PackageRefusal MeasureFile(prynn::FileSystem& files, const std::string& path, uint64_t maxBytes,
                           SignedPackage* measured, prynn::DecodedSizeCounter* blocks = nullptr);

// Reads at most one chunk past the signed size: a longer file is refused without reading on.
// On kNone, decodedSize is what the package's headers say it decodes to: authentic, since its
// bytes are the signed ones.
PackageRefusal CheckPackage(const UpdateConfig& config, const std::string& name,
                            prynn::FileSystem& files, const std::string& path,
                            uint64_t* decodedSize);

// What an earlier visit left of a package in the download folder, told by its size alone: the
// look reads nothing, so that it costs the thread that queues the packages nothing. At the signed
// size it is the signed file when the download worker's check passes it (that check comes before
// any server is asked, and a refused file is fetched whole); shorter, a beginning worth
// continuing (the whole is checked once complete); else nothing of use.
struct StoredPackage {
    enum Kind { kNothing, kBegun, kSignedSize };
    Kind kind = kNothing;
    uint64_t bytes = 0;
};

// What tells a file's content without reading it: its size, its last write and the file's id on
// its volume. An unchanged identity is taken for unchanged bytes.
struct FileIdentity {
    uint64_t size = 0;
    uint64_t lastWrite = 0;
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity& o) const {
        return size == o.size && lastWrite == o.lastWrite && volume == o.volume && index == o.index;
    }
};
// False when the file is missing or cannot be examined.
using IdentityFn = std::function<bool(const std::string& path, FileIdentity* identity)>;

// The packages found to be the signed ones during one visit, each with its file's identity at
// the check and what it decodes to, so that each is hashed once: on arrival (the download
// worker), in the download folder (the dialog) or at the end (the finishing worker). Any thread.
class CheckedPackages {
public:
    void Keep(const std::string& name, const FileIdentity& identity, uint64_t decoded);
    // True, with what it decodes to, when name was kept with this identity.
    bool Kept(const std::string& name, const FileIdentity& identity, uint64_t* decoded) const;

private:
    struct Entry {
        FileIdentity identity;
        uint64_t decoded;
    };
    mutable std::mutex m_lock;
    std::map<std::string, Entry> m_kept;
};

// CheckPackage, and its result kept with the file's identity; a file kept with the identity it
// has now is not read again. A file whose identity changed while it was read is not kept.
PackageRefusal CheckPackageOnce(const UpdateConfig& config, const std::string& name,
                                prynn::FileSystem& files, const std::string& path,
                                const IdentityFn& identityOf, CheckedPackages& checked,
                                uint64_t* decodedSize);

// storedSize: the size of the file in the download folder; none when there is no such file.
StoredPackage LookAtStoredPackage(const UpdateConfig& config, const std::string& name,
                                  std::optional<uint64_t> storedSize);

}  // namespace tavrin
