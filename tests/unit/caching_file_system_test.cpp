#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/caching_file_system.h"
#include "engine/file_reference.h"
#include "platform/memory/memory_file_system.h"

namespace tavik {
namespace {

// Paths built to break a cache: each must get the same answer through the
// cache as from the file system itself.
const std::u16string kAgreementPaths[] = {
    u"C:\\Tools\\app.exe",
    u"c:\\tools\\APP.EXE",
    u"C:\\Tools\\gone.exe",
    u"C:\\Tools",
    u"C:\\Tools\\app.exe\\",
    u"C:\\Tools\\\\app.exe",
    u"C:\\Gone\\x.dll",
    u"C:\\Gone\\Deeper\\x.dll",
    u"C:\\Tools\\app.exe.",
    u"C:\\Tools\\app.exe ",
    u"C:\\Tools\\app.exe. .",
    u"C:\\Tools.\\app.exe",
    u"C:\\Tools\\.\\app.exe",
    u"C:\\Tools\\..\\Tools\\app.exe",
    u"C:\\Gone\\..\\Tools\\app.exe",
    u"C:\\Tools\\NUL",
    u"C:\\Tools\\con.txt",
    u"C:\\Tools\\COM1.log",
    u"C:\\Tools\\app.exe:stream",
    u"C:\\Tools\\app.exe::$DATA",
    u"C:\\Tools\\*.exe",
    u"C:\\Tools\\ap?.exe",
    u"C:/Tools/app.exe",
    u"C:\\Tools/app.exe",
    u"\\\\?\\C:\\Tools\\app.exe",
    u"\\\\.\\C:\\Tools\\app.exe",
    u"\\\\server\\share\\x.dll",
    u"\\Tools\\app.exe",
    u"C:app.exe",
    u"C:local.dll",
    u"local.dll",
    u"Tools\\app.exe",
    u"tools\\gone.exe",
    u"LOCAL.DLL",
    u"local.dll.",
    u"missing.dll",
    u"..\\Tools\\app.exe",
    u"C:\\",
    u"C:\\Linked\\inside.dll",
    u"C:\\Linked\\gone.dll",
    u"C:\\Tools\\link.dll",
    u"C:\\Locked\\inside.dll",
    u"C:\\Locked\\gone.dll",
    u"C:\\Tools\\locked.dll",
    u"C:\\Intl\\Caf\u00e9.dll",
    u"C:\\Intl\\caf\u00e9.DLL",
    u"C:\\Intl\\CAF\u00c9.DLL",
    u"C:\\Intl\\Cafe.dll",
    u"C:\\Intl\\\u212Aey.dll",
    u"C:\\Intl\\key.dll",
    u"C:\\Intl\\\u00e9t\u00e9.txt",
    u"C:\\Tools\\LONGAP~1.EXE",
    u"C:\\Tools\\long application name.exe",
};

class CachingFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.AddFile(u"C:\\Tools\\app.exe");
    files.AddFile(u"C:\\Tools\\long application name.exe");
    files.AddFile(u"C:\\Tools\\locked.dll");
    files.SetHiddenFromQuickTests(u"C:\\Tools\\locked.dll", true);
    files.AddFile(u"C:\\Tools\\link.dll");
    files.SetReparsePoint(u"C:\\Tools\\link.dll", true);
    files.AddFile(u"C:\\scan\\local.dll");
    files.AddFile(u"C:\\Linked\\inside.dll");
    files.SetReparsePoint(u"C:\\Linked", true);
    files.AddFile(u"C:\\Locked\\inside.dll");
    files.SetUnlistable(u"C:\\Locked", true);
    files.AddFile(u"C:\\Intl\\Caf\u00e9.dll");
    files.AddFile(u"C:\\Intl\\\u212Aey.dll");
    files.AddFile(u"C:\\Intl\\\u00c9T\u00c9.txt");
    std::u16string deep = u"C:\\Deep";
    while (deep.size() < 300) deep += u"\\folder";
    longFile = deep + u"\\file.dll";
    files.AddFile(longFile);
  }

  // The paths where the cache disagrees with the file system: every path
  // is asked twice, so that each folder is listed before the second round.
  std::vector<std::u16string> Disagreements(uint32_t guards) {
    std::vector<std::u16string> paths(std::begin(kAgreementPaths),
                                      std::end(kAgreementPaths));
    paths.push_back(longFile);
    paths.push_back(longFile.substr(0, longFile.size() - 8) + u"gone.dll");
    CachingFileSystem cached(files, guards);
    std::vector<std::u16string> wrong;
    for (int round = 0; round < 2; ++round) {
      for (const auto& path : paths) {
        const int32_t real = FileExists(files, path.c_str());
        // A missing path must also be missing to each call on its own.
        if (FileExists(cached, path.c_str()) != real ||
            (real == 0 && cached.PathFileExistsW(path.c_str()))) {
          wrong.push_back(path);
        }
      }
    }
    return wrong;
  }

  MemoryFileSystem files;
  std::u16string longFile;
};

TEST_F(CachingFileSystemTest, AnswersAsTheFileSystemOnPathsBuiltToBreakIt) {
  EXPECT_EQ(Disagreements(kAllCacheGuards), std::vector<std::u16string>{});
}

TEST_F(CachingFileSystemTest, WithoutTheTrailingDotGuardItReportsFilesThatExist) {
  const auto wrong =
      Disagreements(kAllCacheGuards & ~kGuardTrailingDotsAndBlanks);
  EXPECT_NE(std::find(wrong.begin(), wrong.end(), u"C:\\Tools\\app.exe."),
            wrong.end());
}

TEST_F(CachingFileSystemTest, ListsAFolderOnlyOnceASecondNameIsAskedFor) {
  CachingFileSystem cached(files);
  EXPECT_EQ(FileExists(cached, u"C:\\Tools\\gone1.exe"), 0);
  EXPECT_EQ(FileExists(cached, u"C:\\Tools\\gone1.exe"), 0);
  EXPECT_EQ(cached.counts().listings, 0u);
  const uint64_t before = files.existenceQueries();
  EXPECT_EQ(FileExists(cached, u"C:\\Tools\\gone2.exe"), 0);
  EXPECT_EQ(FileExists(cached, u"C:\\Tools\\gone3.exe"), 0);
  EXPECT_EQ(FileExists(cached, u"C:\\TOOLS\\APP.exe"), 1);
  EXPECT_EQ(cached.counts().listings, 1u);
  // Only the walk up the folders asked for attributes (C:\Tools and C:\).
  EXPECT_EQ(files.existenceQueries() - before, 2u);
}

TEST_F(CachingFileSystemTest, MissingFolderAnswersForEverythingBelowIt) {
  CachingFileSystem cached(files);
  for (const auto* path :
       {u"C:\\Gone1\\a.dll", u"C:\\Gone2\\b.dll", u"C:\\Gone3\\c.dll",
        u"C:\\Gone3\\d.dll", u"C:\\Gone3\\Sub\\e.dll"}) {
    EXPECT_EQ(FileExists(cached, path), 0) << Utf16ToUtf8(path);
  }
  const uint64_t before = cached.counts().passedThrough;
  EXPECT_EQ(FileExists(cached, u"C:\\Gone3\\f.dll"), 0);
  EXPECT_EQ(FileExists(cached, u"C:\\Gone3\\Sub\\g.dll"), 0);
  // Once C:\ is listed, a folder asked about for the first time is known
  // missing from that listing.
  EXPECT_EQ(FileExists(cached, u"C:\\Gone9\\h.dll"), 0);
  EXPECT_EQ(cached.counts().passedThrough, before);
  files.AddFile(u"C:\\Gone9\\h.dll");
  EXPECT_FALSE(cached.ConfirmAbsentAnswers());
}

TEST_F(CachingFileSystemTest, AFileCreatedAfterItsFolderWasListedIsCaught) {
  CachingFileSystem cached(files);
  EXPECT_EQ(FileExists(cached, u"C:\\Tools\\a.dll"), 0);
  EXPECT_EQ(FileExists(cached, u"C:\\Tools\\b.dll"), 0);
  EXPECT_TRUE(cached.ConfirmAbsentAnswers());
  files.AddFile(u"C:\\Tools\\new.dll");
  // The cache cannot see it: this answer is stale...
  EXPECT_EQ(FileExists(cached, u"C:\\Tools\\new.dll"), 0);
  EXPECT_EQ(FileExists(files, u"C:\\Tools\\new.dll"), 1);
  // ...and the confirmation finds it out.
  EXPECT_FALSE(cached.ConfirmAbsentAnswers());
}

TEST_F(CachingFileSystemTest, FolderThatAppearsUnderAMissingOneIsCaught) {
  CachingFileSystem cached(files);
  EXPECT_EQ(FileExists(cached, u"C:\\Gone1\\a.dll"), 0);
  EXPECT_EQ(FileExists(cached, u"C:\\Gone2\\a.dll"), 0);
  EXPECT_EQ(FileExists(cached, u"C:\\Gone2\\b.dll"), 0);
  files.AddFile(u"C:\\Gone2\\b.dll");
  EXPECT_FALSE(cached.ConfirmAbsentAnswers());
}

TEST_F(CachingFileSystemTest, UnlistableFolderIsAskedAboutForReal) {
  CachingFileSystem cached(files);
  EXPECT_EQ(FileExists(cached, u"C:\\Locked\\gone.dll"), 0);
  EXPECT_EQ(FileExists(cached, u"C:\\Locked\\gone2.dll"), 0);
  files.AddFile(u"C:\\Locked\\late.dll");
  EXPECT_EQ(FileExists(cached, u"C:\\Locked\\late.dll"), 1);
  EXPECT_EQ(FileExists(cached, u"C:\\Locked\\inside.dll"), 1);
  EXPECT_TRUE(cached.ConfirmAbsentAnswers());
}

TEST_F(CachingFileSystemTest, RelativeNamesFollowTheCurrentFolder) {
  CachingFileSystem cached(files);
  EXPECT_EQ(FileExists(cached, u"app.exe"), 0);
  EXPECT_EQ(FileExists(cached, u"other.exe"), 0);
  EXPECT_EQ(FileExists(cached, u"local.dll"), 1);
  files.SetCurrentDirectory(u"C:\\Tools");
  EXPECT_EQ(FileExists(cached, u"app.exe"), 1);
  EXPECT_EQ(FileExists(cached, u"local.dll"), 0);
}

TEST_F(CachingFileSystemTest, KeepsOnlyFixedDriveTypes) {
  files.SetDriveType(u'E', kDriveNoRootDir);
  CachingFileSystem cached(files);
  EXPECT_EQ(cached.GetDriveTypeW(u"C:\\"), kDriveFixed);
  EXPECT_EQ(cached.GetDriveTypeW(u"c:"), kDriveFixed);
  EXPECT_EQ(cached.counts().driveTypesKept, 1u);
  EXPECT_EQ(cached.GetDriveTypeW(u"E:\\"), kDriveNoRootDir);
  // A stick plugged in during the scan is never judged.
  files.SetDriveType(u'E', kDriveRemovable);
  EXPECT_EQ(cached.GetDriveTypeW(u"E:\\"), kDriveRemovable);
}

TEST_F(CachingFileSystemTest, JudgesTextsAsTheFileSystemDoes) {
  const std::u16string texts[] = {
      u"\"C:\\Tools\\app.exe\" /run", u"C:\\Tools\\APP.EXE -x",
      u"C:\\Tools\\gone.exe -x",      u"local.dll",
      u"C:\\Tools\\app.exe.",         u"C:\\Intl\\CAF\u00c9.DLL,3",
      u"C:\\Locked\\inside.dll",      u"C:\\Gone\\x.exe",
      // Tests that fail for another reason than a missing name keep these.
      u"C:\\Slow\\x.dll",             u"D:\\Apps\\tool.exe",
  };
  files.AddFolder(u"C:\\Slow");
  files.SetFileTestError(u"C:\\Slow", kErrorNotReady);
  files.SetDriveType(u'D', kDriveFixed);
  files.SetFileTestError(u"D:\\", kErrorFileAccessDenied);
  CachingFileSystem cached(files);
  for (int round = 0; round < 2; ++round) {
    for (const auto& text : texts) {
      std::u16string a = text;
      std::u16string b = text;
      EXPECT_EQ(CheckIconLocation(cached, a), CheckIconLocation(files, b))
          << Utf16ToUtf8(text);
      EXPECT_EQ(CheckFileReference(cached, text, 0),
                CheckFileReference(files, text, 0))
          << Utf16ToUtf8(text);
    }
  }
}

}  // namespace
}  // namespace tavik
