// Fuzzes the judging of stored paths on the in-memory file system, set up
// with a few files, folders, environment variables and drives of every type.
// The first byte chooses how the rest is read (UTF-16LE units or UTF-8) and
// the fileRequired argument; the text then goes through CheckFileReference,
// CheckIconLocation, FileExists and FindSubstring.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/file_reference.h"
#include "base/text.h"
#include "platform/memory/memory_file_system.h"

namespace {

using namespace tavik;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool ReadUnchanged(std::u16string_view text) {
  auto plain = [](char16_t c) {
    return c != u'"' && c != u';' && !IsWideSpace(c);
  };
  return !text.empty() && text.find(u'%') == std::u16string_view::npos &&
         plain(text.front()) && plain(text.back());
}

MemoryFileSystem& SetUpFiles() {
  static MemoryFileSystem files;
  static const bool ready = [] {
    files.AddFile(u"C:\\windows\\notepad.exe");
    files.AddFile(u"C:\\windows\\system32\\present.dll");
    files.AddFile(u"C:\\windows\\Fonts\\arial.ttf");
    files.AddFile(u"C:\\Program Files\\Vendor\\app.exe");
    files.AddFile(u"C:\\Tools\\run.com");
    files.AddFile(u"C:\\my.exe.d\\tool.exe");
    files.AddFolder(u"C:\\Empty Folder");
    files.AddFile(u"D:\\Data\\doc.chm");
    files.SetHiddenFromQuickTests(u"C:\\Locked\\held.dll", true);
    files.SetDriveType(u'D', kDriveFixed);
    files.SetDriveType(u'E', kDriveCdrom);
    files.SetDriveType(u'F', kDriveRemovable);
    files.SetDriveType(u'N', kDriveRemote);
    files.SetDriveType(u'R', kDriveRamdisk);
    files.SetDriveType(u'U', kDriveUnknown);
    files.SetEnvironment(u"VENDOR", u"C:\\Program Files\\Vendor");
    files.SetEnvironment(u"EMPTY", u"");
    files.SetEnvironment(u"SELF", u"%SELF%");
    files.SetEnvironment(u"LONG", std::u16string(2000, u'x'));
    return true;
  }();
  (void)ready;
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  MemoryFileSystem& files = SetUpFiles();
  const uint8_t mode = data[0];
  std::u16string text;
  if (mode & 1) {
    for (size_t i = 1; i + 1 < size; i += 2) {
      text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
  } else {
    text = Utf8ToUtf16(std::string_view(
        reinterpret_cast<const char*>(data) + 1, size - 1));
  }
  // The engine works on zero-terminated texts, as the registry data it reads.
  text = std::u16string(TextUpToZero(text.data(), text.size()));
  const int32_t fileRequired = (mode & 2) ? 1 : 0;

  const int32_t reference = CheckFileReference(files, text, fileRequired);
  Require(reference == 0 || reference == 1);
  if (text.empty()) Require(reference == 1);
  std::u16string icon = text;
  const int32_t iconAnswer = CheckIconLocation(files, icon);
  Require(iconAnswer == 0 || iconAnswer == 1);
  Require(icon.size() <= text.size());
  const int32_t exists = FileExists(files, text.c_str());
  Require(exists == 0 || exists == 1);
  // A path that exists as written is never judged missing. Only texts that
  // the judging reads unchanged qualify: an environment variable, or a blank,
  // quote or semicolon at either end, makes it judge another path.
  if (fileRequired == 0 && exists == 1 && ReadUnchanged(text)) {
    Require(reference == 1);
  }
  const size_t at = FindSubstring(text, u".exe");
  Require(at == std::u16string::npos || at + 4 <= text.size());
  return 0;
}
