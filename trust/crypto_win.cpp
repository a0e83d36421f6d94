// The Windows cryptography: CryptoAPI's AES provider, the first to offer SHA-256 (XP SP3).
#include "trust/crypto.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>

#include "trust/crypto_handles_win.h"
#include "win/handles.h"

namespace tavrin {
namespace {

// CALG_SHA_256: XP SP3 has it, but the headers offer it only to later targets than ours.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;

win::CryptProvider AcquireAesProvider() {
    win::CryptProvider provider;
    if (!::CryptAcquireContextW(provider.receive(), nullptr, nullptr, PROV_RSA_AES,
                                CRYPT_VERIFYCONTEXT))
        provider.detach();  // nothing was acquired
    return provider;
}

// A SHA-256 hash object of provider; null when the platform has none.
win::CryptHash NewHash(const win::CryptProvider& provider) {
    win::CryptHash hash;
    if (!provider || !::CryptCreateHash(provider.get(), kSha256, 0, 0, hash.receive()))
        hash.detach();
    return hash;
}

bool HashBytes(const win::CryptHash& hash, const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1 << 30));
        if (!::CryptHashData(hash.get(), bytes, piece, 0)) return false;
        bytes += piece;
        size -= piece;
    }
    return true;
}

class CryptoApiSha256 : public Sha256 {
public:
    CryptoApiSha256(win::CryptProvider provider, win::CryptHash hash)
        : m_provider(std::move(provider)), m_hash(std::move(hash)) {}
    bool Update(const void* data, size_t size) override {
        m_ok = m_ok && HashBytes(m_hash, data, size);
        return m_ok;
    }
    std::string FinishHex() override {
        BYTE digest[32];
        DWORD length = sizeof digest;
        if (!m_ok || !::CryptGetHashParam(m_hash.get(), HP_HASHVAL, digest, &length, 0) ||
            length != sizeof digest)
            return std::string();
        m_ok = false;
        static const char kHex[] = "0123456789abcdef";
        std::string hex;
        for (BYTE b : digest) {
            hex += kHex[b >> 4];
            hex += kHex[b & 15];
        }
        return hex;
    }

private:
    win::CryptProvider m_provider;  // outlives the hash: declared first, destroyed last
    win::CryptHash m_hash;
    bool m_ok = true;
};

struct LocalFreer {
    void operator()(void* p) const { ::LocalFree(p); }
};

}  // namespace

std::unique_ptr<Sha256> NewSha256() {
    win::CryptProvider provider = AcquireAesProvider();
    win::CryptHash hash = NewHash(provider);
    if (!hash) return nullptr;
    return std::make_unique<CryptoApiSha256>(std::move(provider), std::move(hash));
}

SignatureCheck VerifyRsaSha256(const std::vector<uint8_t>& publicKey, const std::string& data,
                               const std::vector<uint8_t>& signature) {
    win::CryptProvider provider = AcquireAesProvider();
    win::CryptHash hash = NewHash(provider);
    if (!hash) return SignatureCheck::kUnsupported;

    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (publicKey.empty() ||
        !::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, publicKey.data(),
                               static_cast<DWORD>(publicKey.size()), CRYPT_DECODE_ALLOC_FLAG,
                               nullptr, &info, &infoSize))
        return SignatureCheck::kInvalid;
    std::unique_ptr<void, LocalFreer> infoOwner(info);
    win::CryptKey key;
    if (!::CryptImportPublicKeyInfo(provider.get(), X509_ASN_ENCODING, info, key.receive())) {
        key.detach();
        return SignatureCheck::kInvalid;
    }
    if (!HashBytes(hash, data.data(), data.size())) return SignatureCheck::kInvalid;
    // CryptoAPI takes the signature little-endian.
    std::vector<BYTE> reversed(signature.rbegin(), signature.rend());
    if (reversed.empty()) return SignatureCheck::kInvalid;
    return ::CryptVerifySignatureW(hash.get(), reversed.data(),
                                   static_cast<DWORD>(reversed.size()), key.get(), nullptr, 0)
               ? SignatureCheck::kValid
               : SignatureCheck::kInvalid;
}

}  // namespace tavrin
