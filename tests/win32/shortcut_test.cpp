// ResolveShortcut on real .lnk files written by the shell's link object,
// under Wine: what the recent documents scanner judges for each kind of link.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "platform/win32/win32_file_system.h"
#include "scanners/user_traces.h"

namespace tavik {
namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Saves a link; an empty target makes a link without a file-system path.
bool SaveLink(const std::u16string& path, const std::u16string& target) {
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return false;
  }
  bool saved = false;
  IPersistFile* file = nullptr;
  if ((target.empty() || SUCCEEDED(link->SetPath(Wide(target)))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile,
                                     reinterpret_cast<void**>(&file)))) {
    saved = SUCCEEDED(file->Save(Wide(path), TRUE));
    file->Release();
  }
  link->Release();
  return saved;
}

class ShortcutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    folder_ = std::u16string(reinterpret_cast<const char16_t*>(temp)) +
              u"TavikShortcutTest";
    RemoveScratch();
    ASSERT_TRUE(::CreateDirectoryW(Wide(folder_), nullptr));
  }
  void TearDown() override {
    RemoveScratch();
    ::CoUninitialize();
  }
  std::u16string Path(const char16_t* name) const {
    return folder_ + u"\\" + name;
  }
  void RemoveScratch() {
    for (const char16_t* name : kNames) ::DeleteFileW(Wide(Path(name)));
    ::RemoveDirectoryW(Wide(folder_));
  }

  static constexpr const char16_t* kNames[] = {
      u"report.txt", u"report.txt.lnk", u"gone.txt.lnk", u"nopath.lnk",
      u"garbage.lnk", u"empty.lnk"};
  Win32FileSystem files_;
  std::u16string folder_;
};

TEST_F(ShortcutTest, EachKindOfLinkResolvesAsTheScannerNeeds) {
  ASSERT_TRUE(files_.WriteFileBytes(Path(u"report.txt").c_str(), {'x'}, false));
  ASSERT_TRUE(SaveLink(Path(u"report.txt.lnk"), Path(u"report.txt")));
  ASSERT_TRUE(SaveLink(Path(u"gone.txt.lnk"), Path(u"gone.txt")));
  ASSERT_TRUE(SaveLink(Path(u"nopath.lnk"), u""));
  ASSERT_TRUE(files_.WriteFileBytes(Path(u"garbage.lnk").c_str(),
                                    {'n', 'o', 't', ' ', 'a', ' ', 'l', 'n', 'k'},
                                    false));
  ASSERT_TRUE(files_.WriteFileBytes(Path(u"empty.lnk").c_str(), {}, false));

  const struct {
    const char16_t* link;
    int32_t result;
    std::u16string target;  // compared only when the link loaded
  } cases[] = {
      {u"report.txt.lnk", 0, Path(u"report.txt")},
      {u"gone.txt.lnk", 0, Path(u"gone.txt")},
      // The buffer held the datum before: it must come back empty.
      {u"nopath.lnk", 0, u""},
      {u"garbage.lnk", -1, u""},
      {u"empty.lnk", -1, u""},
      {u"missing.lnk", -1, u""},
  };
  for (const auto& c : cases) {
    std::vector<char16_t> buffer(kTextBufferChars, u'd');
    EXPECT_EQ(ResolveShortcut(files_, Path(c.link).c_str(), buffer), c.result)
        << Utf16ToUtf8(c.link);
    if (c.result == 0) {
      EXPECT_EQ(std::u16string(TextUpToZero(buffer.data(), buffer.size())),
                c.target)
          << Utf16ToUtf8(c.link);
    }
  }
}

}  // namespace
}  // namespace tavik
