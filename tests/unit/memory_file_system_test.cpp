#include "platform/memory/memory_file_system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"

namespace tavik {
namespace {

constexpr uint32_t kArchive = 0x20;

TEST(MemoryFileSystemTest, PathsAreNormalisedAsWin32Does) {
  MemoryFileSystem fs;
  ASSERT_TRUE(fs.AddFile(u"C:\\Dir\\File.txt"));
  fs.SetCurrentDirectory(u"C:\\dir");
  struct Case {
    const char16_t* path;
    uint32_t attributes;
  };
  const Case cases[] = {
      {u"C:\\Dir\\File.txt", kArchive},
      {u"c:/dir/FILE.TXT", kArchive},
      {u"C:\\\\dir\\\\\\file.txt", kArchive},
      {u"C:\\dir\\.\\sub\\..\\file.txt", kArchive},
      {u"C:\\..\\..\\dir\\file.txt", kArchive},
      {u"C:\\dir\\file.txt. . .", kArchive},  // trailing dots and blanks
      {u"file.txt", kArchive},                // the current folder
      {u"C:file.txt", kArchive},              // current folder of drive C
      {u"\\dir\\file.txt", kArchive},         // root of the current drive
      {u"..\\dir\\file.txt", kArchive},
      {u"C:\\dir.\\file.txt", kArchive},  // one dot of a folder part
      {u"C:\\dir..\\file.txt", kInvalidFileAttributes},
      {u"C:\\dir\\file.txt\\.", kArchive},
      {u"C:\\dir\\file.txt\\", kInvalidFileAttributes},
      {u"C:\\dir\\fi*e.txt", kInvalidFileAttributes},
      {u"C:\\dir\\file.txt:stream", kInvalidFileAttributes},
      {u"C:\\dir\\\"file.txt\"", kInvalidFileAttributes},
      {u"\\\\server\\share\\dir\\file.txt", kInvalidFileAttributes},
      {u"D:\\dir\\file.txt", kInvalidFileAttributes},
      {u"", kInvalidFileAttributes},
      {u"C:\\dir", kFileAttributeDirectory},
      {u"C:\\DIR\\", kFileAttributeDirectory},
      {u"C:", kFileAttributeDirectory},
      {u"C:\\", kFileAttributeDirectory},
      {u".", kFileAttributeDirectory},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fs.GetFileAttributesW(c.path), c.attributes)
        << Utf16ToUtf8(c.path);
    EXPECT_EQ(fs.PathFileExistsW(c.path),
              c.attributes != kInvalidFileAttributes)
        << Utf16ToUtf8(c.path);
  }
  EXPECT_EQ(fs.GetFileAttributesW(nullptr), kInvalidFileAttributes);
  EXPECT_FALSE(fs.AddFile(u"relative.txt"));
  EXPECT_FALSE(fs.AddFile(u"C:\\dir\\bad|name"));
}

TEST(MemoryFileSystemTest, QuickTestsAndOpens) {
  MemoryFileSystem fs;
  fs.AddFile(u"C:\\pagefile.sys");
  fs.SetHiddenFromQuickTests(u"c:\\PAGEFILE.SYS", true);
  fs.AddFile(u"C:\\plain.txt");
  fs.AddFile(u"C:\\locked\\a.dll");
  fs.SetFileTestError(u"C:\\LOCKED", kErrorNotReady);
  struct Case {
    const char16_t* path;
    bool exists;
    uint32_t attributesOpen;  // 0: opens, otherwise its error
    uint32_t backupOpen;
  };
  const Case cases[] = {
      {u"C:\\pagefile.sys", false, kErrorFileAccessDenied, 0},
      {u"C:\\plain.txt", true, 0, 0},
      {u"C:\\windows", true, kErrorFileAccessDenied, 0},
      {u"C:\\missing", false, kErrorFileMissing, kErrorFileMissing},
      {u"C:\\windows\\missing", false, kErrorFileMissing, kErrorFileMissing},
      {u"C:\\gone\\missing", false, kErrorPathMissing, kErrorPathMissing},
      {u"C:\\locked\\a.dll", false, kErrorNotReady, kErrorNotReady},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fs.PathFileExistsW(c.path), c.exists) << Utf16ToUtf8(c.path);
    uint32_t error = 0;
    EXPECT_EQ(fs.OpenExistingFile(c.path, kFileReadAttributes, kFileShareAll,
                                  kFileFlagNoBuffering, &error),
              c.attributesOpen == 0)
        << Utf16ToUtf8(c.path);
    EXPECT_EQ(error, c.attributesOpen) << Utf16ToUtf8(c.path);
    error = 0;
    EXPECT_EQ(fs.OpenExistingFile(c.path, kGenericRead, kFileShareAll,
                                  kFileFlagBackupSemantics, &error),
              c.backupOpen == 0)
        << Utf16ToUtf8(c.path);
    EXPECT_EQ(error, c.backupOpen) << Utf16ToUtf8(c.path);
  }
  EXPECT_TRUE(fs.Exists(u"C:\\pagefile.sys"));
  EXPECT_EQ(fs.existenceQueries(), 21u);
  EXPECT_TRUE(fs.Remove(u"C:\\windows"));
  EXPECT_FALSE(fs.Exists(u"C:\\windows\\system32"));
  EXPECT_FALSE(fs.Remove(u"C:\\windows"));
}

TEST(MemoryFileSystemTest, PathStripToRootMatchesShlwapi) {
  MemoryFileSystem fs;
  struct Case {
    const char16_t* path;
    const char16_t* root;
    bool result;
  };
  const Case cases[] = {
      {u"C:\\x\\y", u"C:\\", true},
      {u"C:\\", u"C:\\", true},
      {u"C:x", u"C:", false},
      {u"C:", u"C:", false},
      {u"\\\\server\\share\\x", u"\\\\server\\share", true},
      {u"\\\\server", u"\\\\server", true},
      {u"\\x", u"\\", true},
      {u"x.dll", u"", false},
      {u"dir\\x.dll", u"", false},
      {u"", u"", false},
  };
  for (const auto& c : cases) {
    std::u16string buffer(c.path);
    buffer.resize(buffer.size() + 1);
    EXPECT_EQ(fs.PathStripToRootW(buffer.data()), c.result)
        << Utf16ToUtf8(c.path);
    EXPECT_EQ(std::u16string(buffer.c_str()), c.root) << Utf16ToUtf8(c.path);
  }
  EXPECT_FALSE(fs.PathStripToRootW(nullptr));
}

TEST(MemoryFileSystemTest, DriveTypes) {
  MemoryFileSystem fs;
  fs.SetDriveType(u'e', kDriveCdrom);
  struct Case {
    const char16_t* root;
    uint32_t type;
  };
  const Case cases[] = {
      {u"C:\\", kDriveFixed},
      {u"c:", kDriveFixed},
      {u"C:/", kDriveFixed},
      {u"E:\\", kDriveCdrom},
      {u"Q:\\", kDriveNoRootDir},
      {u"C:\\windows", kDriveNoRootDir},
      {u"\\\\srv\\share", kDriveRemote},
      {u"\\\\srv\\share\\", kDriveRemote},
      {u"\\\\srv", kDriveNoRootDir},
      {u"", kDriveNoRootDir},
      {u"\\", kDriveFixed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fs.GetDriveTypeW(c.root), c.type) << Utf16ToUtf8(c.root);
  }
  EXPECT_EQ(fs.GetDriveTypeW(nullptr), kDriveFixed);
}

TEST(MemoryFileSystemTest, ExpandEnvironmentStrings) {
  MemoryFileSystem fs;
  fs.SetEnvironment(u"Empty", u"");
  struct Case {
    const char16_t* source;
    const char16_t* expanded;
  };
  const Case cases[] = {
      {u"%windir%\\x.dll", u"C:\\windows\\x.dll"},
      {u"%SYSTEMROOT%%SystemDrive%", u"C:\\windowsC:"},
      {u"%ProgramFiles(x86)%", u"C:\\Program Files (x86)"},
      {u"%unknown%\\x", u"%unknown%\\x"},
      {u"%unknown%windir%", u"%unknownC:\\windows"},
      {u"100%", u"100%"},
      {u"%%", u"%%"},
      {u"a%Empty%b", u"ab"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    char16_t out[64] = {};
    const std::u16string expected(c.expanded);
    EXPECT_EQ(fs.ExpandEnvironmentStringsW(c.source, out, 64),
              expected.size() + 1)
        << Utf16ToUtf8(c.source);
    EXPECT_EQ(std::u16string(out), expected) << Utf16ToUtf8(c.source);
  }
  // Too small: the size needed and the buffer left alone.
  char16_t small[4] = {u'#', 0};
  EXPECT_EQ(fs.ExpandEnvironmentStringsW(u"%windir%", small, 4), 11u);
  EXPECT_EQ(std::u16string(small), u"#");
  EXPECT_EQ(fs.ExpandEnvironmentStringsW(u"%windir%", nullptr, 0), 11u);
  EXPECT_EQ(fs.ExpandEnvironmentStringsW(nullptr, small, 4), 0u);
}

TEST(MemoryFileSystemTest, DirectoryAndModuleBuffers) {
  MemoryFileSystem fs;
  char16_t buffer[64] = {};
  EXPECT_EQ(fs.GetWindowsDirectoryW(buffer, 64), 10u);
  EXPECT_EQ(std::u16string(buffer), u"C:\\windows");
  EXPECT_EQ(fs.GetWindowsDirectoryW(buffer, 10), 11u);  // no room for the 0
  EXPECT_EQ(fs.GetWindowsDirectoryW(buffer, 11), 10u);

  fs.SetModuleFileName(u"C:\\app\\tool.exe");
  EXPECT_EQ(fs.GetModuleFileNameW(buffer, 64), 15u);
  EXPECT_EQ(std::u16string(buffer), u"C:\\app\\tool.exe");
  EXPECT_EQ(fs.GetModuleFileNameW(buffer, 8), 8u);  // cut and terminated
  EXPECT_EQ(std::u16string(buffer), u"C:\\app\\");
  EXPECT_EQ(fs.GetModuleFileNameW(buffer, 0), 0u);
}

TEST(MemoryFileSystemTest, PathParseIconLocation) {
  MemoryFileSystem fs;
  struct Case {
    const char16_t* location;
    const char16_t* file;
    int32_t index;
  };
  const Case cases[] = {
      {u"C:\\x.dll,3", u"C:\\x.dll", 3},
      {u"\"C:\\a b\\x.dll\",-5", u"C:\\a b\\x.dll", -5},
      {u"  x.dll  ,1", u"x.dll", 1},
      {u"x.dll, 2", u"x.dll", 0},  // StrToInt stops at the blank
      {u"x.dll,+2", u"x.dll", 0},
      {u"x.dll,12abc", u"x.dll", 12},
      {u"a,b,3", u"a", 0},  // the first comma
      {u"x.dll", u"x.dll", 0},
      {u",7", u"", 7},
      {u"\"x.dll", u"\"x.dll", 0},  // not wholly quoted
      {u"\"", u"", 0},
      {u"\tx.dll", u"\tx.dll", 0},  // only spaces are blanks
  };
  for (const auto& c : cases) {
    std::u16string buffer(c.location);
    EXPECT_EQ(fs.PathParseIconLocationW(buffer.data()), c.index)
        << Utf16ToUtf8(c.location);
    EXPECT_EQ(std::u16string(buffer.c_str()), c.file)
        << Utf16ToUtf8(c.location);
  }
  EXPECT_EQ(fs.PathParseIconLocationW(nullptr), 0);
}

TEST(MemoryFileSystemTest, SpecialFoldersAndShellLinks) {
  MemoryFileSystem fs;
  char16_t path[kMaxPath];
  EXPECT_EQ(fs.SHGetFolderPathW(kCsidlFonts, kShgfpTypeCurrent, path), 0);
  EXPECT_EQ(std::u16string(path), u"C:\\windows\\Fonts");
  EXPECT_EQ(fs.SHGetFolderPathW(kCsidlRecent | 0x8000, kShgfpTypeCurrent, path),
            0);
  EXPECT_EQ(std::u16string(path), u"C:\\users\\user\\Recent");
  const int32_t eFail = static_cast<int32_t>(0x80004005u);
  EXPECT_EQ(fs.SHGetFolderPathW(99, kShgfpTypeCurrent, path), eFail);
  EXPECT_EQ(path[0], 0);
  fs.FailSpecialFolder(kCsidlRecent);
  EXPECT_EQ(fs.SHGetFolderPathW(kCsidlRecent, kShgfpTypeCurrent, path), eFail);
  fs.SetSpecialFolder(kCsidlRecent, u"C:\\" + std::u16string(300, u'r'));
  EXPECT_EQ(fs.SHGetFolderPathW(kCsidlRecent, kShgfpTypeCurrent, path), 0);
  EXPECT_EQ(std::u16string(path).size(), kMaxPath - 1);

  fs.AddShellLink(u"C:\\r\\doc.lnk", u"C:\\docs\\report.txt");
  fs.AddBrokenShellLink(u"C:\\r\\bad.lnk");
  char16_t target[8];
  EXPECT_EQ(fs.LoadShellLinkTarget(u"c:\\R\\DOC.LNK", target, 8), 0);
  EXPECT_EQ(std::u16string(target), u"C:\\docs");
  EXPECT_TRUE(fs.Exists(u"C:\\r\\doc.lnk"));
  EXPECT_EQ(fs.LoadShellLinkTarget(u"C:\\r\\bad.lnk", target, 8), -1);
  EXPECT_EQ(fs.LoadShellLinkTarget(u"C:\\r\\none.lnk", target, 8), -1);
  fs.Remove(u"C:\\r\\doc.lnk");
  EXPECT_EQ(fs.LoadShellLinkTarget(u"C:\\r\\doc.lnk", target, 8), -1);
}

TEST(MemoryFileSystemTest, ReadAndWriteBytes) {
  MemoryFileSystem fs;
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(fs.WriteFileBytes(u"C:\\nofolder\\x.txt", {1}, false));
  EXPECT_FALSE(fs.WriteFileBytes(u"C:\\windows", {1}, false));
  EXPECT_TRUE(fs.WriteFileBytes(u"x.txt", {1, 2}, false));  // in C:\scan
  EXPECT_TRUE(fs.WriteFileBytes(u"C:\\scan\\X.TXT", {3}, true));
  ASSERT_TRUE(fs.ReadFileBytes(u"C:/scan/x.txt", bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(fs.WriteFileBytes(u"C:\\scan\\x.txt", {4}, false));
  ASSERT_TRUE(fs.FileContent(u"C:\\scan\\x.txt", bytes));
  EXPECT_EQ(bytes, std::vector<uint8_t>{4});
  EXPECT_FALSE(fs.ReadFileBytes(u"C:\\scan", bytes));
  EXPECT_FALSE(fs.ReadFileBytes(u"C:\\scan\\y.txt", bytes));
}

// The handle calls behave as CreateFileW, WriteFile, SetFilePointerEx and
// SetEndOfFile do on a handle that shares reading only.
TEST(MemoryFileSystemTest, FileHandlesWriteCutAndHoldTheFile) {
  using Bytes = std::vector<uint8_t>;
  MemoryFileSystem fs;
  uint32_t error = 0;
  EXPECT_EQ(fs.CreateNewFile(u"C:\\nofolder\\x.reg", error), 0u);
  EXPECT_EQ(error, 3u);
  EXPECT_EQ(fs.CreateNewFile(u"C:\\scan", error), 0u);
  EXPECT_EQ(error, kErrorFileExists);
  fs.AddFile(u"C:\\scan\\taken.reg", {9});
  EXPECT_EQ(fs.CreateNewFile(u"c:\\SCAN\\Taken.reg", error), 0u);
  EXPECT_EQ(error, kErrorFileExists);
  EXPECT_EQ(fs.OpenFileForAppend(u"C:\\scan\\missing.reg"), 0u);

  const uintptr_t file = fs.CreateNewFile(u"C:\\scan\\new.reg", error);
  ASSERT_NE(file, 0u);
  const Bytes data{1, 2, 3, 4, 5};
  uint32_t written = 0;
  EXPECT_TRUE(fs.WriteFile(file, data.data(), 5, written));
  EXPECT_EQ(written, 5u);
  // A full disk takes part of a write; cutting gives the room back.
  fs.SetFreeBytes(2);
  EXPECT_FALSE(fs.WriteFile(file, data.data(), 5, written));
  EXPECT_EQ(written, 2u);
  uint64_t pointer = 0;
  EXPECT_TRUE(fs.SetFilePointerEx(file, 0, &pointer, kFileEnd));
  EXPECT_EQ(pointer, 7u);
  EXPECT_FALSE(fs.SetFilePointerEx(file, -8, &pointer, kFileCurrent));
  EXPECT_TRUE(fs.SetFilePointerEx(file, 4, nullptr, kFileBegin));
  EXPECT_TRUE(fs.SetEndOfFile(file));
  EXPECT_TRUE(fs.WriteFile(file, data.data(), 2, written));
  Bytes content;
  ASSERT_TRUE(fs.FileContent(u"C:\\scan\\new.reg", content));
  EXPECT_EQ(content, (Bytes{1, 2, 3, 4, 1, 2}));
  // Held open, the file cannot be deleted; reopened, writes go to its end.
  EXPECT_FALSE(fs.DeleteFileW(u"C:\\scan\\new.reg"));
  fs.CloseFile(file);
  const uintptr_t again = fs.OpenFileForAppend(u"C:\\scan\\new.reg");
  ASSERT_NE(again, 0u);
  EXPECT_TRUE(fs.WriteFile(again, data.data(), 1, written));
  ASSERT_TRUE(fs.FileContent(u"C:\\scan\\new.reg", content));
  EXPECT_EQ(content, (Bytes{1, 2, 3, 4, 1, 2, 1}));
  // A file taken away under the handle is written no more.
  fs.Remove(u"C:\\scan\\new.reg");
  EXPECT_FALSE(fs.WriteFile(again, data.data(), 1, written));
  EXPECT_FALSE(fs.Exists(u"C:\\scan\\new.reg"));
  EXPECT_EQ(fs.OpenFileCount(), 1u);
  fs.CloseFile(again);
  EXPECT_EQ(fs.OpenFileCount(), 0u);
}

TEST(MemoryFileSystemTest, ListsFoldersAsFindFirstFileDoes) {
  MemoryFileSystem fs;
  fs.AddFile(u"C:\\Apps\\Tool.EXE");
  fs.AddFile(u"C:\\apps\\Sub\\deep.dll");
  fs.WriteFileBytes(u"C:\\Apps\\written.txt", {1}, false);
  fs.SetReparsePoint(u"C:\\Apps\\Sub", true);
  std::vector<FolderEntry> entries;
  ASSERT_EQ(fs.ListFolder(u"c:\\APPS\\", entries), 0u);
  ASSERT_EQ(entries.size(), 3u);
  // Names as first created, nothing deeper, no "." or "..".
  EXPECT_EQ(entries[0].fileName, u"Sub");
  EXPECT_EQ(entries[0].attributes,
            kFileAttributeDirectory | kFileAttributeReparsePoint);
  EXPECT_EQ(entries[1].fileName, u"Tool.EXE");
  EXPECT_EQ(entries[2].fileName, u"written.txt");
  // A drive root lists its folders but not itself.
  ASSERT_EQ(fs.ListFolder(u"C:\\", entries), 0u);
  for (const auto& entry : entries) EXPECT_FALSE(entry.fileName.empty());
  fs.SetUnlistable(u"C:\\Apps", true);
  EXPECT_NE(fs.ListFolder(u"C:\\Apps", entries), 0u);
  EXPECT_TRUE(entries.empty());
  EXPECT_NE(fs.ListFolder(u"C:\\Apps\\Tool.exe", entries), 0u);
  EXPECT_NE(fs.ListFolder(u"C:\\Missing", entries), 0u);
}

}  // namespace
}  // namespace tavik
