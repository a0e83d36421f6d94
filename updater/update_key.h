// The updater's check of a configuration's signature with the key compiled into the build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trust/crypto.h"

namespace tavrin {

SignatureCheck VerifyWithUpdateKey(const std::string& signedBytes,
                                   const std::vector<uint8_t>& signature);

}  // namespace tavrin
