// The two cryptographic operations the updater needs, from the platform's own vetted library:
// CryptoAPI on Windows (crypto_win.cpp), OpenSSL in the native build (crypto_openssl.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavrin {

// SHA-256 over bytes given in pieces.
class Sha256 {
public:
    virtual ~Sha256() = default;
    virtual bool Update(const void* data, size_t size) = 0;
    // 64 lower-case hex digits; empty when hashing failed.
    virtual std::string FinishHex() = 0;
};

// Null when the platform has no SHA-256 (Windows before XP SP3).
std::unique_ptr<Sha256> NewSha256();

enum class SignatureCheck {
    kValid,
    kInvalid,      // not made by the key's owner over these bytes, or not a signature at all
    kUnsupported,  // the platform cannot check RSA with SHA-256
};

// RSA PKCS#1 v1.5 with SHA-256. publicKey: a DER SubjectPublicKeyInfo; signature: big-endian,
// as OpenSSL writes it.
SignatureCheck VerifyRsaSha256(const std::vector<uint8_t>& publicKey, const std::string& data,
                               const std::vector<uint8_t>& signature);

}  // namespace tavrin
