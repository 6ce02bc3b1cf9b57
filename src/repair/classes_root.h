// HKEY_CLASSES_ROOT is a view, not a key: on Windows each key in it is the
// user's key below HKEY_CURRENT_USER\Software\Classes where one exists and
// the machine's below HKEY_LOCAL_MACHINE\Software\Classes otherwise (Wine
// shows the machine's alone). What must be put back later is written under
// the key that was actually there, or an import would put a user's
// registration back as the machine's.
#pragma once

#include <string>

#include "platform/registry.h"

namespace tavik {

struct ConcreteKey {
  RegKey root = 0;
  std::u16string path;  // below the root
};

// The key that `key`, opened below HKEY_CLASSES_ROOT, holds: HKCU or HKLM
// and "Software\Classes\..." below it. False when the registry cannot tell.
bool FindConcreteClassesKey(Registry& registry, RegKey key, ConcreteKey* out);

}  // namespace tavik
