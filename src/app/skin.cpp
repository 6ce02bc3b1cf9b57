#include "app/skin.h"

#include "base/text.h"
#include "engine/file_reference.h"
#include "platform/win32/win32_file_system.h"

namespace tavik {

bool SkinFramework::LoadSkin(const wchar_t* fileName, const wchar_t*) {
  Win32FileSystem files;
  const std::u16string name(reinterpret_cast<const char16_t*>(fileName));
  // A skin that is missing, or one this build cannot draw, leaves the
  // standard look silently.
  loaded_ = false;
  (void)FileBesideExecutable(files, name);
  return loaded_;
}

SkinFramework& Skin() {
  static SkinFramework skin;
  return skin;
}

}  // namespace tavik
