#include "trust/sign_openssl.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

namespace tavrin {
namespace {

struct Free {
    void operator()(BIO* bio) const { BIO_free(bio); }
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

std::unique_ptr<BIO, Free> MemoryBio(const std::string& text) {
    return std::unique_ptr<BIO, Free>(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

}  // namespace

bool SignRsaSha256(const std::string& privateKeyPem, const std::string& data,
                   std::vector<uint8_t>* signature, std::string* error) {
    auto bio = MemoryBio(privateKeyPem);
    std::unique_ptr<EVP_PKEY, Free> key(
        bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_RSA) {
        *error = "not an RSA private key in PEM form";
        return false;
    }
    std::unique_ptr<EVP_MD_CTX, Free> ctx(EVP_MD_CTX_new());
    size_t length = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length, bytes, data.size()) != 1) {
        *error = "the key cannot sign";
        return false;
    }
    signature->resize(length);
    if (EVP_DigestSign(ctx.get(), signature->data(), &length, bytes, data.size()) != 1) {
        *error = "signing failed";
        return false;
    }
    signature->resize(length);
    return true;
}

bool PublicKeyDer(const std::string& pem, std::vector<uint8_t>* der) {
    auto bio = MemoryBio(pem);
    std::unique_ptr<EVP_PKEY, Free> key(
        bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key) {
        bio = MemoryBio(pem);
        key.reset(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    }
    if (!key) return false;
    const int length = i2d_PUBKEY(key.get(), nullptr);
    if (length <= 0) return false;
    der->resize(static_cast<size_t>(length));
    unsigned char* out = der->data();
    return i2d_PUBKEY(key.get(), &out) == length;
}

}  // namespace tavrin
