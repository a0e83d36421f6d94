// A downloaded package against the signed configuration: listed, of its signed size and with
// its signed SHA-256, checked before anything of it is installed.
#pragma once

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

// What an earlier visit left of a package in the download folder: the signed file whole, a
// beginning worth continuing (shorter than signed; the whole is checked once complete), or
// nothing of use.
struct StoredPackage {
    enum Kind { kNothing, kBegun, kWhole };
    Kind kind = kNothing;
    uint64_t bytes = 0;
};
StoredPackage LookAtStoredPackage(const UpdateConfig& config, const std::string& name,
                                  prynn::FileSystem& files, const std::string& path);

}  // namespace tavrin
