// Registry links: keys that stand for another key. A key opened with
// RegOpenKeyLinkW shows whether it is one; reading or walking through it
// would reach the key it names.
#pragma once

#include "platform/registry.h"

namespace tavik {

// Whether the open key `key` (opened with RegOpenKeyLinkW) is a link: it
// carries a REG_LINK "SymbolicLinkValue".
bool IsLinkHandle(Registry& registry, RegKey key);

}  // namespace tavik
