// The site lock: the control acts only for pages whose address is on the build's allow-list.
// Entries are ";"-separated "scheme://host[:port]"; "*." before a host also allows its
// subdomains (never the bare name, nor a look-alike), ":*" allows any port, and "file:" allows
// pages on this machine's drives (never a network share). An address that does not parse is not allowed, nor is no address at all.
#pragma once

#include <string>

namespace tavrin {

bool SiteAllowed(const std::string& pageAddress, const std::string& allowList);

}  // namespace tavrin
