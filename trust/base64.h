// Base64 (RFC 4648, with padding) for the signature line and PEM keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

std::string Base64Encode(const std::vector<uint8_t>& bytes);
// False for anything but whole, padded base64; blanks and line breaks are skipped only when
// allowBreaks is set (PEM bodies), never in a signature line.
bool Base64Decode(const std::string& text, std::vector<uint8_t>* bytes, bool allowBreaks = false);

// The DER bytes of the first "-----BEGIN label-----" block of a PEM text; false when there is
// none or its body is not base64.
bool PemToDer(const std::string& pem, const std::string& label, std::vector<uint8_t>* der);

}  // namespace tavrin
