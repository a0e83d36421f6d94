// The native build's cryptography: OpenSSL's EVP interface.
#include "trust/crypto.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdio>

namespace tavrin {
namespace {

struct EvpMdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct EvpPkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, EvpMdCtxFree>;
using Pkey = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;

class OpenSslSha256 : public Sha256 {
public:
    OpenSslSha256() : m_ctx(EVP_MD_CTX_new()) {
        m_ok = m_ctx && EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr) == 1;
    }
    bool Update(const void* data, size_t size) override {
        m_ok = m_ok && EVP_DigestUpdate(m_ctx.get(), data, size) == 1;
        return m_ok;
    }
    std::string FinishHex() override {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!m_ok || EVP_DigestFinal_ex(m_ctx.get(), digest, &length) != 1) return std::string();
        m_ok = false;
        std::string hex;
        char two[3];
        for (unsigned int i = 0; i < length; ++i) {
            std::snprintf(two, sizeof two, "%02x", digest[i]);
            hex += two;
        }
        return hex;
    }

private:
    MdCtx m_ctx;
    bool m_ok = false;
};

}  // namespace

std::unique_ptr<Sha256> NewSha256() { return std::make_unique<OpenSslSha256>(); }

SignatureCheck VerifyRsaSha256(const std::vector<uint8_t>& publicKey, const std::string& data,
                               const std::vector<uint8_t>& signature) {
    const unsigned char* der = publicKey.data();
    Pkey key(d2i_PUBKEY(nullptr, &der, static_cast<long>(publicKey.size())));
    if (!key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_RSA) return SignatureCheck::kInvalid;
    MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
        return SignatureCheck::kInvalid;
    const int result = EVP_DigestVerify(
        ctx.get(), signature.data(), signature.size(),
        reinterpret_cast<const unsigned char*>(data.data()), data.size());
    return result == 1 ? SignatureCheck::kValid : SignatureCheck::kInvalid;
}

}  // namespace tavrin
