// The in-memory layers that the host tests run on must answer like the real
// ones: the same inputs go to MemoryFileSystem / MemoryRegistry and to the
// Win32 layers under Wine, and the answers are compared.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/registry_names.h"

#include <string>
#include <vector>

#include "base/text.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"

namespace tavik {
namespace {

std::string Show(const std::u16string& text) {
  return "\"" + Utf16ToUtf8(text) + "\"";
}

struct StripResult {
  bool rooted;
  std::u16string text;
  bool operator==(const StripResult&) const = default;
};

StripResult Strip(FileSystem& files, const std::u16string& path) {
  std::vector<char16_t> buffer(path.begin(), path.end());
  buffer.resize(path.size() + 1, 0);
  const bool rooted = files.PathStripToRootW(buffer.data());
  return {rooted, std::u16string(buffer.data())};
}

TEST(MemoryAgreement, RootStripping) {
  const std::u16string inputs[] = {
      u"C:\\Windows\\notepad.exe",
      u"c:\\",
      u"C:",
      u"C:foo\\bar.exe",
      u"C:\\Program Files\\a b\\c.exe -x",
      u"C:/Windows/notepad.exe",
      u"\\\\server\\share\\dir\\file.exe",
      u"\\\\server\\share",
      u"\\\\server\\share\\",
      u"\\\\server",
      u"\\Windows\\notepad.exe",
      u"\\",
      u"notepad.exe",
      u".\\tool.exe",
      u"..\\tool.exe",
      u"\"C:\\x.exe\"",
      u"",
  };
  Win32FileSystem real;
  MemoryFileSystem memory;
  for (const auto& input : inputs) {
    const StripResult expected = Strip(real, input);
    const StripResult actual = Strip(memory, input);
    EXPECT_EQ(actual.rooted, expected.rooted) << Show(input);
    EXPECT_EQ(actual.text, expected.text)
        << Show(input) << " real " << Show(expected.text) << " memory "
        << Show(actual.text);
  }
}

struct IconResult {
  int32_t index;
  std::u16string text;
};

IconResult ParseIcon(FileSystem& files, const std::u16string& location) {
  std::vector<char16_t> buffer(location.begin(), location.end());
  buffer.resize(location.size() + 1, 0);
  const int32_t index = files.PathParseIconLocationW(buffer.data());
  return {index, std::u16string(buffer.data())};
}

TEST(MemoryAgreement, IconLocationParsing) {
  const std::u16string inputs[] = {
      u"C:\\x.dll,3",
      u"C:\\x.dll,-101",
      u"C:\\x.dll",
      u"C:\\x.dll, 5",
      u" C:\\x.dll ,1",
      u"\"C:\\a b\\x.dll\",2",
      u"\"C:\\a b\\x.dll\"",
      u"\"C:\\x.dll",
      u"C:\\x.dll,abc",
      u"C:\\x.dll,3,4",
      u"C:\\x.dll,+4",
      u"C:\\x.dll,0x10",
      u"C:\\dir,with\\x.dll,2",
      u",7",
      u"\tC:\\x.dll",
      u"\"\"",
      u"",
  };
  Win32FileSystem real;
  MemoryFileSystem memory;
  for (const auto& input : inputs) {
    const IconResult expected = ParseIcon(real, input);
    const IconResult actual = ParseIcon(memory, input);
    EXPECT_EQ(actual.index, expected.index) << Show(input);
    EXPECT_EQ(actual.text, expected.text)
        << Show(input) << " real " << Show(expected.text) << " memory "
        << Show(actual.text);
  }
}

struct ExpandResult {
  uint32_t needed;
  std::u16string text;
};

ExpandResult Expand(FileSystem& files, const std::u16string& text,
                    uint32_t capacity) {
  std::vector<char16_t> buffer(capacity + 1, u'#');
  const uint32_t needed =
      files.ExpandEnvironmentStringsW(text.c_str(), buffer.data(), capacity);
  buffer[capacity] = 0;
  return {needed, needed != 0 && needed <= capacity
                      ? std::u16string(buffer.data())
                      : std::u16string()};
}

// The same variables in both environments.
void SetTestVariables(MemoryFileSystem& memory) {
  const std::pair<std::u16string, std::u16string> variables[] = {
      {u"TAVIKA", u"alpha"},
      {u"TavikPath", u"C:\\Beta Dir"},
      {u"TAVIK_EMPTY", u""},
  };
  for (const auto& [name, value] : variables) {
    memory.SetEnvironment(name, value);
    ASSERT_TRUE(::SetEnvironmentVariableW(
        reinterpret_cast<const wchar_t*>(name.c_str()),
        reinterpret_cast<const wchar_t*>(value.c_str())));
  }
}

TEST(MemoryAgreement, EnvironmentExpansion) {
  Win32FileSystem real;
  MemoryFileSystem memory;
  SetTestVariables(memory);
  const std::u16string inputs[] = {
      u"%TAVIKA%",
      u"%tavika%\\x.exe",
      u"x%TAVIKPATH%y",
      u"%TAVIKA%%TavikA%",
      u"%TAVIK_EMPTY%x",
      u"%NO_SUCH_TAVIK_VAR%",
      u"100%",
      u"%",
      u"a%TAVIKA",
      u"%SystemRoot%\\system32\\x.dll",
      u"%windir%",
      u"%SystemDrive%\\",
      u"%ProgramFiles%\\App\\app.exe",
      u"plain text",
      u"",
  };
  for (const auto& input : inputs) {
    const ExpandResult expected = Expand(real, input, 33000);
    const ExpandResult actual = Expand(memory, input, 33000);
    EXPECT_EQ(actual.needed, expected.needed) << Show(input);
    EXPECT_EQ(actual.text, expected.text)
        << Show(input) << " real " << Show(expected.text) << " memory "
        << Show(actual.text);
    // Too small a buffer: only the size needed counts.
    EXPECT_EQ(Expand(memory, input, 2).needed, Expand(real, input, 2).needed)
        << Show(input) << " with 2 characters";
  }
}

// Where the two differ on purpose: for a name that is not set (or empty),
// the memory layer follows Windows, which keeps the first "%" and the name
// and starts a new name at the closing "%"; Wine copies "%NAME%" whole and
// goes on after it. Both answers are pinned so that a change on either side
// shows up here.
TEST(MemoryAgreement, UnknownNamesBeforeAPercentSignDiffer) {
  Win32FileSystem real;
  MemoryFileSystem memory;
  SetTestVariables(memory);
  struct Case {
    std::u16string input;
    std::u16string windows;
    std::u16string wine;
  };
  const Case cases[] = {
      {u"%NO_SUCH_TAVIK_VAR%TAVIKA%", u"%NO_SUCH_TAVIK_VARalpha",
       u"%NO_SUCH_TAVIK_VAR%TAVIKA%"},
      {u"%%TAVIKA%", u"%alpha", u"%%TAVIKA%"},
  };
  for (const auto& [input, windows, wine] : cases) {
    EXPECT_EQ(Expand(memory, input, 33000).text, windows) << Show(input);
    EXPECT_EQ(Expand(real, input, 33000).text, wine) << Show(input);
  }
}

TEST(MemoryAgreement, DriveTypes) {
  Win32FileSystem real;
  MemoryFileSystem memory;
  const std::u16string inputs[] = {u"C:\\", u"c:\\", u"C:", u"Q:\\"};
  for (const auto& input : inputs) {
    EXPECT_EQ(memory.GetDriveTypeW(input.c_str()),
              real.GetDriveTypeW(input.c_str()))
        << Show(input);
  }
  EXPECT_EQ(real.GetDriveTypeW(u"C:\\"), kDriveFixed);
}

// The engine treats any UNC path as remote before it asks for a drive type.
// Windows answers DRIVE_REMOTE for a share, and so does the memory layer;
// Wine answers DRIVE_NO_ROOT_DIR for a share it cannot reach.
TEST(MemoryAgreement, UncRootDriveTypeDiffers) {
  Win32FileSystem real;
  MemoryFileSystem memory;
  for (const std::u16string input :
       {u"\\\\server\\share\\", u"\\\\server\\share"}) {
    EXPECT_EQ(memory.GetDriveTypeW(input.c_str()), kDriveRemote)
        << Show(input);
    EXPECT_EQ(real.GetDriveTypeW(input.c_str()), kDriveNoRootDir)
        << Show(input);
  }
}

// The host scenarios run on the Wine flavour of the memory registry, so its
// enumeration order must be Wine's.
TEST(MemoryAgreement, WineEnumerationOrder) {
  const std::u16string path = u"Software\\TavikTest\\Order";
  const std::vector<std::u16string> names = {
      u"b", u"Zeta", u"_x", u"A", u"a1", u"[br", u"C", u"~t", u"a_", u"aZ",
      u"{CLSID}", u"1", u"\u00e9t\u00e9", u"\u00c9cole", u".txt"};
  Win32Registry real;
  MemoryRegistry memory(RegistryFlavor::kWine);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TavikTest");
  RegKey key = 0;
  ASSERT_EQ(real.RegCreateKeyExW(kHkeyCurrentUser, path.c_str(),
                                 kKeyAllAccess, &key),
            kErrorSuccess);
  for (const auto& name : names) {
    RegKey sub = 0;
    ASSERT_EQ(real.RegCreateKeyExW(key, name.c_str(), kKeyAllAccess, &sub),
              kErrorSuccess);
    real.RegCloseKey(sub);
    const uint8_t data[] = {'1', 0, 0, 0};
    ASSERT_EQ(real.RegSetValueExW(key, name.c_str(), kRegSz, data, 4),
              kErrorSuccess);
    memory.CreateKey(kHkeyCurrentUser, path + u"\\" + name);
    memory.SetString(kHkeyCurrentUser, path, name, u"1");
  }
  RegKey memoryKey = 0;
  ASSERT_EQ(memory.RegOpenKeyExW(kHkeyCurrentUser, path.c_str(), kKeyRead,
                                 &memoryKey),
            kErrorSuccess);
  EXPECT_EQ(testing::SubkeyNames(memory, memoryKey), testing::SubkeyNames(real, key));
  EXPECT_EQ(testing::ValueNames(memory, memoryKey), testing::ValueNames(real, key));
  memory.RegCloseKey(memoryKey);
  real.RegCloseKey(key);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TavikTest");
  ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TavikTest");
}

}  // namespace
}  // namespace tavik
