#include <gtest/gtest.h>

#include "engine/file_reference.h"
#include "base/text.h"
#include "platform/memory/memory_file_system.h"

namespace tavik {
namespace {

class FileReferenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.AddFile(u"C:\\Windows\\notepad.exe");
    files.AddFile(u"C:\\Windows\\system32\\kernel32.dll");
    files.AddFile(u"C:\\Windows\\explorer.exe");
    files.AddFile(u"C:\\Tools\\app.exe");
    files.AddFile(u"C:\\Tools\\APP.COM");
    files.AddFile(u"C:\\Program Files\\Vendor\\run me.exe");
    files.AddFile(u"C:\\Vendor\\shared.dll");
    files.AddFolder(u"C:\\Help");
    files.AddFile(u"C:\\my.exe.d\\tool.exe");
    files.AddFolder(u"C:\\site.com");
    files.AddFile(u"C:\\Windows\\system32\\rundll32.exe");
    files.AddFile(u"C:\\scan\\local.dll");
    files.SetDriveType(u'E', kDriveRemovable);
    files.SetDriveType(u'F', kDriveCdrom);
    files.SetDriveType(u'N', kDriveRemote);
    files.SetDriveType(u'R', kDriveRamdisk);
    files.SetDriveType(u'U', kDriveUnknown);
    files.SetEnvironment(u"VENDOR", u"C:\\Vendor");
  }
  MemoryFileSystem files;
};

TEST_F(FileReferenceTest, JudgesPathsAndCommandLines) {
  struct Case {
    std::u16string text;
    int32_t expected;
  };
  const Case cases[] = {
      {u"", 1},
      {u"  \"C:\\Windows\\notepad.exe\"  ", 1},
      {u"\"C:\\Tools\\app.exe\" /run", 1},
      {u"C:\\Tools\\APP.EXE -x", 1},
      {u"C:\\tools\\app.com /y", 1},
      {u"C:\\Program Files\\Vendor\\run me.exe --quiet", 1},
      {u"\"C:\\Program Files\\Vendor\\run me.exe\" \"arg\"", 1},
      {u"notepad.exe", 1},
      {u"kernel32.dll", 1},
      {u"local.dll", 1},
      {u"%VENDOR%\\shared.dll", 1},
      {u"%vendor%\\shared.dll;", 1},
      {u";;C:\\Vendor\\shared.dll;;", 1},
      {u"C:\\Missing\\app.exe", 0},
      {u"C:\\Missing\\app.exe -x", 0},
      {u"C:\\Missing\\lib.dll", 0},
      {u"C:\\my.exe.d\\gone.exe -x", 0},
      {u"C:\\site.com\\gone.exe", 0},
      // Kept although the first ".exe" names no file: the program exists.
      {u"C:\\my.exe.d\\tool.exe -x", 1},
      {u"notepad.exe /p", 1},
      {u"rundll32.exe gone.dll,Entry", 1},
      {u"\"C:\\Tools\\app.exe\"/run", 1},
      // A ".com" program before the first ".exe" is tried too, also when
      // that ".exe" ends the text; it must be followed by a blank or quote.
      {u"C:\\Tools\\APP.COM run.exe", 1},
      {u"\"C:\\Tools\\APP.COM\" C:\\Gone\\x.exe -y", 1},
      {u"C:\\Gone\\app.com run.exe", 0},
      {u"C:\\Tools\\APP.COMrun.exe", 0},
      // Blanks of the whole wide space class frame a path.
      {u"\u00a0C:\\Windows\\notepad.exe\u3000", 1},
      {u"\u2028\"C:\\Tools\\app.exe\"\u2009/run\u202f", 1},
      {u"missing.dll", 0},
      {u"%UNSET%\\x.dll", 0},
      {u"C:\\Help", 1},
      // Drives that cannot be judged, and network paths.
      {u"E:\\gone.dll", 1},
      {u"F:\\gone.dll", 1},
      {u"N:\\gone.dll", 1},
      {u"R:\\gone.dll", 1},
      {u"U:\\gone.dll", 1},
      {u"\\\\server\\share\\gone.dll", 1},
      {u"\"\\\\server\\share\\gone.exe\" /x", 1},
      // A drive letter without a volume (an unplugged disk) cannot be judged.
      {u"Q:\\gone.dll", 1},
      {u"\"Q:\\setup.exe\" /x", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckFileReference(files, c.text, 0), c.expected)
        << Utf16ToUtf8(c.text);
  }
  EXPECT_EQ(CheckFileReference(files, nullptr, 0), 0);
}

TEST_F(FileReferenceTest, FileRequiredRejectsFoldersAndMissingPaths) {
  EXPECT_EQ(CheckFileReference(files, u"C:\\Help", 1), 0);
  EXPECT_EQ(CheckFileReference(files, u"C:\\Nothing", 1), 0);
  EXPECT_EQ(CheckFileReference(files, u"C:\\Tools\\app.exe", 1), 1);
  EXPECT_EQ(CheckFileReference(files, u"", 1), 1);
}

// A file test that fails for another reason than a missing name cannot
// judge; nor can a drive letter without a volume, also where a file is
// required.
TEST_F(FileReferenceTest, FailuresThatDoNotMeanMissingKeepTheEntry) {
  files.SetDriveType(u'D', kDriveFixed);
  files.SetFileTestError(u"D:\\", kErrorFileAccessDenied);  // a locked volume
  files.AddFolder(u"C:\\Slow");
  files.SetFileTestError(u"C:\\Slow", kErrorNotReady);
  struct Case {
    const char16_t* text;
    int32_t fileRequired;
    int32_t expected;
  };
  const Case cases[] = {
      {u"D:\\Apps\\tool.exe", 0, 1},
      {u"D:\\Apps\\tool.exe", 1, 1},
      {u"C:\\Slow\\x.dll", 0, 1},
      {u"Q:\\Help\\x.chm", 1, 1},
      {u"C:\\Gone\\x.chm", 1, 0},
      {u"C:\\Gone\\x.dll", 0, 0},
      {u"C:\\Vendor\\shared.dll\\x.dll", 0, 0},  // a file on the way
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckFileReference(files, c.text, c.fileRequired), c.expected)
        << Utf16ToUtf8(c.text) << " " << c.fileRequired;
  }
}

// Entries of the 32-bit view are found where a 32-bit program finds them;
// the 64-bit view's entries are not.
TEST_F(FileReferenceTest, TheWow64ViewFindsThe32BitFolders) {
  files.AddFile(u"C:\\windows\\SysWOW64\\old.ocx");
  files.AddFile(u"C:\\windows\\SysWOW64\\msacm32.drv");
  files.AddFile(u"C:\\Program Files (x86)\\App\\app.exe");
  files.AddFile(u"C:\\Program Files (x86)\\Common Files\\S\\s.dll");
  struct Case {
    const char16_t* text;
    int32_t native;
    int32_t wow64;
  };
  const Case cases[] = {
      {u"C:\\Windows\\system32\\old.ocx", 0, 1},
      {u"%SystemRoot%\\System32\\old.ocx", 0, 1},
      {u"msacm32.drv", 0, 1},
      {u"\"%ProgramFiles%\\App\\app.exe\" /s", 0, 1},
      {u"%COMMONPROGRAMFILES%\\S\\s.dll", 0, 1},
      {u"C:\\Windows\\system32\\kernel32.dll", 1, 1},
      // Missing in both views.
      {u"C:\\Windows\\system32\\gone.ocx", 0, 0},
      {u"C:\\Windows\\system32x\\old.ocx", 0, 0},
      {u"C:\\Program Files\\App\\app.exe", 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckFileReference(files, c.text, 0), c.native) << Utf16ToUtf8(c.text);
    EXPECT_EQ(CheckFileReference(files, c.text, 0, FileView::kWow64), c.wow64)
        << Utf16ToUtf8(c.text);
  }
  std::u16string icon = u"C:\\Windows\\system32\\old.ocx,-101";
  EXPECT_EQ(CheckIconLocation(files, icon, FileView::kWow64), 1);
  // A system without a 32-bit folder still has the "(x86)" folders.
  files.SetSystemWow64Directory(u"");
  EXPECT_EQ(CheckFileReference(files, u"msacm32.drv", 0, FileView::kWow64), 0);
  EXPECT_EQ(CheckFileReference(files, u"%ProgramFiles%\\App\\app.exe", 0,
                               FileView::kWow64),
            1);

  for (const auto& [path, view] :
       {std::pair{u"SOFTWARE\\Wow6432Node\\Classes\\CLSID", FileView::kWow64},
        std::pair{u"Wow6432Node\\CLSID", FileView::kWow64},
        std::pair{u"Software\\wow6432node", FileView::kWow64},
        std::pair{u"SOFTWARE\\Wow6432NodeX\\Classes", FileView::kNative},
        std::pair{u"SOFTWARE\\Classes\\CLSID", FileView::kNative}}) {
    EXPECT_EQ(FileViewOfKey(path), view) << Utf16ToUtf8(path);
  }
}

TEST_F(FileReferenceTest, TextsTooLongForTheBuffersAreKept) {
  // The expansion would need more than 33000 characters.
  files.SetEnvironment(u"HUGE", std::u16string(20000, u'x'));
  EXPECT_EQ(CheckFileReference(files, u"C:\\%HUGE%%HUGE%.dll", 0), 1);
  // A bare name whose Windows-folder path would not fit a buffer.
  EXPECT_EQ(CheckFileReference(files, std::u16string(32990, u'y'), 0), 1);
  std::u16string icon = u"C:\\" + std::u16string(32000, u'z') + u",1";
  EXPECT_EQ(CheckIconLocation(files, icon), 1);
}

TEST_F(FileReferenceTest, FileExistsFindsLockedFilesThroughTheOpens) {
  files.AddFile(u"C:\\Locked\\pagefile.sys");
  files.SetHiddenFromQuickTests(u"C:\\Locked\\pagefile.sys", true);
  EXPECT_EQ(FileExists(files, u"C:\\Locked\\pagefile.sys"), 1);
  EXPECT_EQ(FileExists(files, u""), 1);
  EXPECT_EQ(FileExists(files, u"C:\\Locked\\other.sys"), 0);
}

TEST_F(FileReferenceTest, IconLocations) {
  struct Case {
    std::u16string text;
    int32_t expected;
    std::u16string after;  // the text as the check leaves it
  };
  const Case cases[] = {
      {u"%1", 1, u"%1"},
      {u"@%1", 1, u"%1"},
      {u"\"%1\"", 1, u"%1"},
      {u"C:\\Windows\\explorer.exe,0", 1, u"C:\\Windows\\explorer.exe,0"},
      // The last character, taken for the closing quote, is the index.
      {u"\"C:\\Missing\\x.dll\",3", 0, u"C:\\Missing\\x.dll\""},
      {u"C:\\Missing\\x.dll,-101", 0, u"C:\\Missing\\x.dll"},
      {u"@C:\\Windows\\system32\\kernel32.dll,-5", 1,
       u"C:\\Windows\\system32\\kernel32.dll,-5"},
      {u",5", 1, u",5"},
      {u"", 1, u""},
      {u"\"", 1, u""},
  };
  for (const auto& c : cases) {
    std::u16string text = c.text;
    EXPECT_EQ(CheckIconLocation(files, text), c.expected) << Utf16ToUtf8(c.text);
    EXPECT_EQ(text, c.after) << Utf16ToUtf8(c.text);
  }
}

TEST(FindSubstring, ComparesOnlyAsciiLettersCaseInsensitively) {
  EXPECT_EQ(FindSubstring(u"C:\\APP.EXE -x", u".exe"), 6u);
  EXPECT_EQ(FindSubstring(u"a.exe.exe", u".exe"), 1u);
  EXPECT_EQ(FindSubstring(u".ex", u".exe"), std::u16string_view::npos);
  EXPECT_EQ(FindSubstring(u"\u00c4.exe", u"\u00e4"), std::u16string_view::npos);
  EXPECT_EQ(FindSubstring(u"abc", u""), 0u);
}

TEST(FileBesideExecutable, NamesTheFileOnlyWhenItExists) {
  MemoryFileSystem files;
  files.SetModuleFileName(u"C:\\App\\cleaner.exe");
  EXPECT_FALSE(FileBesideExecutable(files, u"help\\Registry_Cleaner.chm"));
  files.AddFile(u"C:\\App\\help\\Registry_Cleaner.chm");
  EXPECT_EQ(FileBesideExecutable(files, u"help\\Registry_Cleaner.chm"),
            u"C:\\App\\help\\Registry_Cleaner.chm");
}

}  // namespace
}  // namespace tavik
