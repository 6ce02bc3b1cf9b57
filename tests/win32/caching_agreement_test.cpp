// The scan's file-system cache against the real calls under Wine: the same
// existence answers on paths built to break it, and a file created after
// its folder was listed caught before the scan reports.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/caching_file_system.h"
#include "engine/file_reference.h"
#include "platform/win32/win32_file_system.h"

namespace tavik {
namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

const char16_t* const kFiles[] = {
    u"app.exe", u"Caf\u00e9.dll", u"\u00c9T\u00c9.txt",
    u"long application name.exe", u"\u212Aey.dll", u"Sub\\inner.dll"};

// Names below the scratch folder, looked up through the cache and directly.
const char16_t* const kNames[] = {
    u"app.exe", u"APP.EXE", u"gone.exe", u"app.exe.", u"app.exe ",
    u"app.exe. .", u".\\app.exe", u"Sub\\..\\app.exe", u"Gone\\..\\app.exe",
    u"Sub", u"Sub\\", u"Sub\\inner.dll", u"SUB\\INNER.DLL", u"Sub\\gone.dll",
    u"Gone\\x.dll", u"Gone\\Deeper\\x.dll", u"NUL", u"nul.txt", u"con",
    u"COM1.log", u"app.exe:stream", u"app.exe::$DATA", u"*.exe", u"ap?.exe",
    u"app.exe\\inside.dll",
    u"app.exe\\", u"Caf\u00e9.dll", u"caf\u00e9.DLL", u"CAF\u00c9.DLL",
    u"Cafe.dll", u"\u00e9t\u00e9.txt", u"ETE.txt", u"\u212Aey.dll",
    u"key.dll", u"KEY.DLL", u"long application name.exe", u"LONGAP~1.EXE",
    u"longap~1.exe", u"LONGAP~2.EXE",
};

class CachingAgreementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    folder_ = std::u16string(reinterpret_cast<const char16_t*>(temp)) +
              u"TavikCacheTest";
    RemoveScratch();
    ASSERT_TRUE(::CreateDirectoryW(Wide(folder_), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(Wide(folder_ + u"\\Sub"), nullptr));
    for (const char16_t* name : kFiles) {
      ASSERT_TRUE(files_.WriteFileBytes(Path(name).c_str(), {1}, false));
    }
    for (const char16_t* name : kNames) paths_.push_back(Path(name));
    // Relative names, from the scratch folder.
    ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous_), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(Wide(folder_)));
    for (const char16_t* name : {u"app.exe", u"APP.exe", u"gone.exe",
                                 u"Sub\\inner.dll", u"sub\\gone.dll",
                                 u"app.exe.", u"nul", u"..\\TavikCacheTest\\app.exe"}) {
      paths_.push_back(name);
    }
    // Forms that name the same files without being plain paths.
    paths_.push_back(u"\\\\?\\" + Path(u"app.exe"));
    paths_.push_back(u"\\\\.\\" + Path(u"app.exe"));
    paths_.push_back(folder_.substr(0, 2) + u"app.exe");
    paths_.push_back(folder_.substr(2) + u"\\app.exe");
    std::u16string slashed = Path(u"app.exe");
    std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
    paths_.push_back(slashed);
    std::u16string deep = folder_;
    while (deep.size() < 280) deep += u"\\folder";
    paths_.push_back(deep + u"\\x.dll");
  }
  void TearDown() override {
    ::SetCurrentDirectoryW(previous_);
    RemoveScratch();
  }

  void RemoveScratch() {
    for (const char16_t* name : kFiles) ::DeleteFileW(Wide(Path(name)));
    ::DeleteFileW(Wide(Path(u"late.dll")));
    ::RemoveDirectoryW(Wide(Path(u"Sub")));
    ::RemoveDirectoryW(Wide(folder_));
  }
  std::u16string Path(const char16_t* name) const {
    return folder_ + u"\\" + name;
  }

  // Each path asked twice, so that every folder is listed by the second
  // round; the paths where the cache answers otherwise.
  std::vector<std::string> Disagreements(uint32_t guards) {
    CachingFileSystem cached(files_, guards);
    std::vector<std::string> wrong;
    for (int round = 0; round < 2; ++round) {
      for (const auto& path : paths_) {
        const int32_t real = FileExists(files_, path.c_str());
        if (FileExists(cached, path.c_str()) != real ||
            (real == 0 && cached.PathFileExistsW(path.c_str()))) {
          std::string ascii;
          for (const char16_t c : path) {
            ascii += c < 0x80 ? static_cast<char>(c) : '?';
          }
          wrong.push_back(ascii);
        }
      }
    }
    return wrong;
  }

  Win32FileSystem files_;
  std::u16string folder_;
  std::vector<std::u16string> paths_;
  wchar_t previous_[MAX_PATH] = {};
};

TEST_F(CachingAgreementTest, AnswersAsTheRealCalls) {
  EXPECT_EQ(Disagreements(kAllCacheGuards), std::vector<std::string>{});
}

TEST_F(CachingAgreementTest, EachGuardMatters) {
  // Without its guard the cache calls these missing, which Wine finds:
  // "app.exe." is "app.exe", and a device exists in every folder.
  const struct {
    CacheGuard guard;
    std::string wrongPath;
  } cases[] = {
      {kGuardTrailingDotsAndBlanks, "\\app.exe."},
      {kGuardTrailingDotsAndBlanks, "\\app.exe "},
      {kGuardDeviceNames, "\\NUL"},
      {kGuardDeviceNames, "\\COM1.log"},
  };
  for (const auto& c : cases) {
    const auto wrong = Disagreements(kAllCacheGuards & ~c.guard);
    EXPECT_TRUE(std::any_of(wrong.begin(), wrong.end(),
                            [&c](const std::string& path) {
                              return path.ends_with(c.wrongPath);
                            }))
        << c.wrongPath;
  }
}

TEST_F(CachingAgreementTest, AFileCreatedAfterItsFolderWasListedIsCaught) {
  CachingFileSystem cached(files_);
  EXPECT_EQ(FileExists(cached, Path(u"one.dll").c_str()), 0);
  EXPECT_EQ(FileExists(cached, Path(u"two.dll").c_str()), 0);
  EXPECT_EQ(cached.counts().listings, 1u);
  EXPECT_TRUE(cached.ConfirmAbsentAnswers());
  ASSERT_TRUE(cached.WriteFileBytes(Path(u"late.dll").c_str(), {1}, false));
  // This process wrote it, so the cache dropped its listings...
  EXPECT_EQ(FileExists(cached, Path(u"late.dll").c_str()), 1);
  // ...but one made by another program is only caught by confirming.
  ASSERT_TRUE(::DeleteFileW(Wide(Path(u"late.dll"))));
  CachingFileSystem other(files_);
  EXPECT_EQ(FileExists(other, Path(u"three.dll").c_str()), 0);
  EXPECT_EQ(FileExists(other, Path(u"four.dll").c_str()), 0);
  EXPECT_EQ(FileExists(other, Path(u"late.dll").c_str()), 0);
  EXPECT_TRUE(other.ConfirmAbsentAnswers());
  ASSERT_TRUE(files_.WriteFileBytes(Path(u"late.dll").c_str(), {1}, false));
  EXPECT_FALSE(other.ConfirmAbsentAnswers());
}

TEST_F(CachingAgreementTest, KeepsTheFixedSystemDrive) {
  CachingFileSystem cached(files_);
  EXPECT_EQ(cached.GetDriveTypeW(u"C:\\"), files_.GetDriveTypeW(u"C:\\"));
  EXPECT_EQ(cached.GetDriveTypeW(u"c:\\"), kDriveFixed);
  EXPECT_EQ(cached.counts().driveTypesKept, 1u);
}

}  // namespace
}  // namespace tavik
