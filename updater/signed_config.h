// The signed update configuration "orbisan3.cfg". The old reader still reads it: it skips any
// line holding "[" and anything after a package name's ".lzf".
//
//   NAME.lzf sha256=<64 lower-case hex> size=<bytes>     one line per package, the fixed five too
//   [mirror] http(s)://HOST[:PORT]/PATH/                 zero or more (see MirrorUrlFault)
//   [serial] N                                           required, decimal
//   [expires] YYYY-MM-DDTHH:MM:SSZ                       optional
//   [signature] rsa-sha256 <base64>                      the very last line
//
// The signature (RSA PKCS#1 v1.5, SHA-256) covers every byte before its line, that line's
// predecessor's terminator included.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "trust/crypto.h"

namespace tavrin {

constexpr size_t kMaxConfigSize = 1024 * 1024;
// A package is tried on every mirror in turn: a few are plenty, and each URL stays well within
// what any HTTP stack takes with a package name after it.
constexpr size_t kMaxMirrors = 8;
// The largest package size a configuration may sign (2^48 bytes): a larger one no file system
// holds, so it is a malformed line, not a disk short of room.
constexpr uint64_t kMaxPackageSize = uint64_t{1} << 48;
constexpr size_t kMaxMirrorUrlBytes = 256;

struct SignedPackage {
    std::string name;    // as listed, ".lzf" included
    std::string sha256;  // 64 lower-case hex digits
    uint64_t size = 0;
};

struct UpdateConfig {
    uint64_t serial = 0;
    std::optional<int64_t> expires;  // seconds since 1970 (UTC)
    std::vector<SignedPackage> packages;  // in file order
    // Package hosts to try after the compiled one, in file order: each a URL that
    // MirrorUrlFault passes, under which the packages lie by name.
    std::vector<std::string> mirrors;

    const SignedPackage* Find(const std::string& name) const;
};

enum class ConfigRefusal {
    kNone,
    kUnreadable,    // the downloaded file cannot be read
    kTooLarge,      // over 1 MiB
    kNoSignature,   // the last line is not a signature line
    kBadSignature,  // not signed by the update key, or not decodable
    kCannotVerify,  // the system has no SHA-256 (before Windows XP SP3)
    kBadFormat,     // a malformed or repeated line (a mirror among them, or one too many), no
                    // serial, a fixed package missing, or an installed name that is the
                    // updater's own or another package's
    kExpired,
    kRolledBack,  // a serial lower than one installed before
    kTooOld,      // a serial lower than the build's minimum
};

// The system's check of signature over signedBytes with the update key.
using SignatureVerifierFn = std::function<SignatureCheck(
    const std::string& signedBytes, const std::vector<uint8_t>& signature)>;

struct ConfigContext {
    SignatureVerifierFn verify;
    int64_t now = 0;               // seconds since 1970 (UTC)
    uint64_t installedSerial = 0;  // the highest installed before; 0 when none
    // The build's floor: an old release must not install even where nothing was installed
    // before (a new player).
    uint64_t minimumSerial = 0;
};

// Checks content in this order: size, signature, format, expiry, serial. On kNone, config
// holds what the file lists.
ConfigRefusal ReadSignedConfig(const std::string& content, const ConfigContext& context,
                               UpdateConfig* config);

// The text to sign, for the publisher: the package lines and the metadata, CR LF ended.
std::string UnsignedConfigText(const UpdateConfig& config);
// A signed file: text followed by its signature line.
std::string SignatureLine(const std::vector<uint8_t>& signature);

// Why url cannot be a mirror, "" when it can: "http://" or "https://" (lower case), a plain
// host (no user name or escape), an optional port from 1 to 65535, and a path that ends in
// "/", of letters, digits and -._~!$&'()*+,;=:@/ only, without "." or ".." segments, a query
// or a fragment; at most kMaxMirrorUrlBytes bytes. So the URL reads the same to every HTTP
// stack, and a package name appended to it stays on that host and under that path.
std::string MirrorUrlFault(const std::string& url);

// A decimal number as the configuration and UpdateSerial write it: no sign, blanks or leading
// zeros beyond a lone "0", at most 19 digits.
bool ParseDecimal(const std::string& text, uint64_t* value);

// "YYYY-MM-DDTHH:MM:SSZ" both ways; nullopt for anything else.
std::optional<int64_t> ParseUtcTime(const std::string& text);
std::string FormatUtcTime(int64_t seconds);

}  // namespace tavrin
