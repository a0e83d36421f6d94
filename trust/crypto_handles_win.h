// Owners of the CryptoAPI handles (a provider context, a key, a hash), beside their users:
// the signature and hash checks, and the tests that sign with the test key.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "win/handles.h"

namespace win {

namespace detail {
inline void ReleaseCryptProvider(HCRYPTPROV h) { ::CryptReleaseContext(h, 0); }
inline void DestroyCryptKey(HCRYPTKEY h) { ::CryptDestroyKey(h); }
inline void DestroyCryptHash(HCRYPTHASH h) { ::CryptDestroyHash(h); }
}  // namespace detail

using CryptProvider = UniqueHandle<
    detail::Traits<HCRYPTPROV, detail::Null<HCRYPTPROV>, detail::ReleaseCryptProvider>>;
using CryptKey =
    UniqueHandle<detail::Traits<HCRYPTKEY, detail::Null<HCRYPTKEY>, detail::DestroyCryptKey>>;
using CryptHash =
    UniqueHandle<detail::Traits<HCRYPTHASH, detail::Null<HCRYPTHASH>, detail::DestroyCryptHash>>;

}  // namespace win
