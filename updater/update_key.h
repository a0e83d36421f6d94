// The updater's check of a configuration's signature with the key compiled into the build, and
// the build's lowest serial.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trust/crypto.h"

namespace tavrin {

SignatureCheck VerifyWithUpdateKey(const std::string& signedBytes,
                                   const std::vector<uint8_t>& signature);

// TAVRIN_MIN_SERIAL: the floor under the installed serial (0 in test builds).
uint64_t BuildMinimumSerial();

}  // namespace tavrin
