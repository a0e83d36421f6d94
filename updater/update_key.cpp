#include "updater/update_key.h"

#include "trust/base64.h"
#include "update_floor.h"
#include "update_key_pem.h"

namespace tavrin {

SignatureCheck VerifyWithUpdateKey(const std::string& signedBytes,
                                   const std::vector<uint8_t>& signature) {
    std::vector<uint8_t> publicKey;
    // The build refuses a key file without a public key, so this fails only on a broken build.
    if (!PemToDer(kUpdateKeyPem, "PUBLIC KEY", &publicKey)) return SignatureCheck::kInvalid;
    return VerifyRsaSha256(publicKey, signedBytes, signature);
}

uint64_t BuildMinimumSerial() { return kMinimumSerial; }

}  // namespace tavrin
