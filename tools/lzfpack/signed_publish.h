// The signed side of publishing: the signed orbisan3.cfg for a packed folder, and the check of
// a published folder against its public key.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "libs/prynn/file_system.h"

namespace lzfpack {

// Signs data with the private key in keyPem (RSA-SHA256, big-endian); false with error set.
using SignFn = std::function<bool(const std::string& keyPem, const std::string& data,
                                  std::vector<uint8_t>* signature, std::string* error)>;

struct Signing {
    std::string keyPem;
    uint64_t serial = 0;
    std::optional<int64_t> expires;  // seconds since 1970 (UTC)
    std::vector<std::string> mirrors;  // package hosts after the compiled one, in order
    SignFn sign;
};

// The whole file: every package of outputFolder with its size and SHA-256, the metadata and
// the signature line. Empty, with the reason on err, when a package cannot be read or a fixed
// one is missing, or signing fails.
std::string SignedConfigText(prynn::FileSystem& files, const std::string& outputFolder,
                             const std::vector<std::string>& packages, const Signing& signing,
                             std::ostream& err);

// Reads a whole file; false when it cannot.
bool ReadWholeFile(prynn::FileSystem& files, const std::string& path, std::string* content);

// Checks configPath as the updater would (signature, serial, expiry at now) and every package
// it lists, beside it, for size and SHA-256. Each finding goes to out, faults to err.
bool VerifyPublished(prynn::FileSystem& files, const std::string& publicKeyPem,
                     const std::string& configPath, int64_t now, std::ostream& out,
                     std::ostream& err);

}  // namespace lzfpack
