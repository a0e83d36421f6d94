// The publisher's side, in the native build only: signing with a private key from a PEM file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// RSA PKCS#1 v1.5 with SHA-256, big-endian. False, with error set, when the key cannot be read
// or is not RSA.
bool SignRsaSha256(const std::string& privateKeyPem, const std::string& data,
                   std::vector<uint8_t>* signature, std::string* error);

// The DER SubjectPublicKeyInfo of a PEM private or public key; false when it holds neither.
bool PublicKeyDer(const std::string& pem, std::vector<uint8_t>* der);

}  // namespace tavrin
