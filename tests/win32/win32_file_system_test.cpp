// The real file-system and shell layer under Wine: the answers the file
// reference check and the exclude file rely on.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "engine/file_reference.h"
#include "platform/win32/win32_file_system.h"

namespace tavik {
namespace {

std::u16string FromWide(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// A scratch folder in the prefix's temporary folder, removed afterwards.
class Win32FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    folder_ = FromWide(temp) + u"TavikFsTest";
    RemoveScratch();
    ASSERT_TRUE(::CreateDirectoryW(Wide(folder_), nullptr));
  }
  void TearDown() override { RemoveScratch(); }

  static const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
  }
  void RemoveScratch() {
    for (const char16_t* name : {u"\\data.bin", u"\\target.exe", u"\\a.lnk",
                                 u"\\broken.lnk", u"\\undo.reg", u"\\sub"}) {
      const std::u16string path = folder_ + name;
      ::DeleteFileW(Wide(path));
      ::RemoveDirectoryW(Wide(path));
    }
    ::RemoveDirectoryW(Wide(folder_));
  }
  std::u16string Path(const char16_t* name) const {
    return folder_ + u"\\" + name;
  }

  Win32FileSystem files_;
  std::u16string folder_;
};

TEST_F(Win32FileSystemTest, AttributesAndExistenceOfFilesAndFolders) {
  const std::u16string file = Path(u"data.bin");
  ASSERT_TRUE(files_.WriteFileBytes(file.c_str(), {1, 2, 3}, false));

  EXPECT_EQ(files_.GetFileAttributesW(folder_.c_str()) &
                kFileAttributeDirectory,
            kFileAttributeDirectory);
  EXPECT_EQ(files_.GetFileAttributesW(file.c_str()) & kFileAttributeDirectory,
            0u);
  EXPECT_EQ(files_.GetFileAttributesW(Path(u"missing.dll").c_str()),
            kInvalidFileAttributes);

  EXPECT_TRUE(files_.PathFileExistsW(file.c_str()));
  EXPECT_TRUE(files_.PathFileExistsW(folder_.c_str()));
  EXPECT_FALSE(files_.PathFileExistsW(Path(u"missing.dll").c_str()));
}

// The two opens of the existence test: the attribute open finds files, the
// backup-semantics open finds folders too; nothing opens a missing path, and
// what the scanners test when nothing is there fails with an error that
// says so (anything else keeps the entry).
TEST_F(Win32FileSystemTest, OpenExistingFileWithTheExistenceTestFlags) {
  const std::u16string file = Path(u"data.bin");
  ASSERT_TRUE(files_.WriteFileBytes(file.c_str(), {1}, false));
  EXPECT_TRUE(files_.OpenExistingFile(file.c_str(), kFileReadAttributes,
                                      kFileShareAll, kFileFlagNoBuffering, nullptr));
  EXPECT_TRUE(files_.OpenExistingFile(folder_.c_str(), kGenericRead,
                                      kFileShareAll, kFileFlagBackupSemantics, nullptr));
  const std::u16string missing[] = {
      Path(u"missing.dll"),
      Path(u"gone\\missing.dll"),
      Path(u"app.exe\" /run"),
      Path(u"app.exe /a|b"),
      file + u"\\inside.dll",
      u"C:\\Program Files\\tool.exe\" -x",
  };
  for (const std::u16string& path : missing) {
    for (const auto& [access, flags] :
         {std::pair{kFileReadAttributes, kFileFlagNoBuffering},
          std::pair{kGenericRead, kFileFlagBackupSemantics}}) {
      uint32_t error = 0;
      EXPECT_FALSE(files_.OpenExistingFile(path.c_str(), access, kFileShareAll, flags, &error));
      EXPECT_NE(error, 0u) << Utf16ToUtf8(path);
    }
    EXPECT_EQ(FileExists(files_, path.c_str()), 0) << Utf16ToUtf8(path);
  }
}

TEST_F(Win32FileSystemTest, WholeFileBytesWriteAppendAndRead) {
  const std::u16string file = Path(u"data.bin");
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(files_.ReadFileBytes(file.c_str(), bytes));

  ASSERT_TRUE(files_.WriteFileBytes(file.c_str(), {0xFF, 0xFE, 'A', 0}, false));
  ASSERT_TRUE(files_.WriteFileBytes(file.c_str(), {'\r', 0, '\n', 0}, true));
  ASSERT_TRUE(files_.ReadFileBytes(file.c_str(), bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xFF, 0xFE, 'A', 0, '\r', 0, '\n', 0}));

  ASSERT_TRUE(files_.WriteFileBytes(file.c_str(), {'B', 0}, false));
  ASSERT_TRUE(files_.ReadFileBytes(file.c_str(), bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{'B', 0}));

  ASSERT_TRUE(files_.WriteFileBytes(file.c_str(), {}, false));
  ASSERT_TRUE(files_.ReadFileBytes(file.c_str(), bytes));
  EXPECT_TRUE(bytes.empty());

  EXPECT_FALSE(files_.WriteFileBytes(Path(u"sub\\x.txt").c_str(), {1}, false));
}

// The undo file's handle: CREATE_NEW never opens a name that is taken, a
// cut takes the end off, others may read but not delete the file while it
// is open, and a reopened file is written at its end.
TEST_F(Win32FileSystemTest, NewFileHandleWritesCutsAndHoldsTheFile) {
  using Bytes = std::vector<uint8_t>;
  const std::u16string file = Path(u"undo.reg");
  uint32_t error = 0;
  const uintptr_t handle = files_.CreateNewFile(file.c_str(), error);
  ASSERT_NE(handle, 0u);
  const Bytes data{1, 2, 3, 4, 5};
  uint32_t written = 0;
  EXPECT_TRUE(files_.WriteFile(handle, data.data(), 5, written));
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(files_.CreateNewFile(file.c_str(), error), 0u);
  EXPECT_EQ(error, kErrorFileExists);
  EXPECT_EQ(files_.CreateNewFile(folder_.c_str(), error), 0u);
  EXPECT_EQ(error, kErrorFileExists);
  EXPECT_FALSE(files_.DeleteFileW(file.c_str()));

  uint64_t pointer = 0;
  EXPECT_TRUE(files_.SetFilePointerEx(handle, 0, &pointer, kFileEnd));
  EXPECT_EQ(pointer, 5u);
  EXPECT_TRUE(files_.SetFilePointerEx(handle, 2, nullptr, kFileBegin));
  EXPECT_TRUE(files_.SetEndOfFile(handle));
  Bytes bytes;
  ASSERT_TRUE(files_.ReadFileBytes(file.c_str(), bytes));
  EXPECT_EQ(bytes, (Bytes{1, 2}));
  files_.CloseFile(handle);

  const uintptr_t again = files_.OpenFileForAppend(file.c_str());
  ASSERT_NE(again, 0u);
  EXPECT_TRUE(files_.WriteFile(again, data.data() + 4, 1, written));
  files_.CloseFile(again);
  ASSERT_TRUE(files_.ReadFileBytes(file.c_str(), bytes));
  EXPECT_EQ(bytes, (Bytes{1, 2, 5}));
  EXPECT_EQ(files_.OpenFileForAppend(Path(u"missing.reg").c_str()), 0u);
}

TEST_F(Win32FileSystemTest, WindowsFolderAndExecutablePath) {
  std::vector<char16_t> buffer(33000);
  const uint32_t length = files_.GetWindowsDirectoryW(buffer.data(), 33000);
  ASSERT_GT(length, 0u);
  const std::u16string windows(buffer.data(), length);
  EXPECT_TRUE(files_.PathFileExistsW((windows + u"\\system32").c_str()));

  char16_t tiny[2] = {};
  EXPECT_EQ(files_.GetWindowsDirectoryW(tiny, 2), length + 1);

  const uint32_t moduleLength = files_.GetModuleFileNameW(buffer.data(), 33000);
  const std::u16string module(buffer.data(), moduleLength);
  ASSERT_GT(module.size(), 4u);
  EXPECT_EQ(module.substr(module.size() - 4), u".exe");
  EXPECT_NE(module.find(u'\\'), std::u16string::npos);
  EXPECT_EQ(files_.GetModuleFileNameW(tiny, 2), 2u);
}

TEST_F(Win32FileSystemTest, SpecialFoldersOfTheCurrentUser) {
  std::vector<char16_t> path(kMaxPath);
  ASSERT_EQ(files_.SHGetFolderPathW(kCsidlFonts, kShgfpTypeCurrent,
                                    path.data()),
            0);
  const std::u16string fonts(path.data());
  EXPECT_EQ(fonts.substr(fonts.size() - 6), u"\\Fonts");
  ASSERT_EQ(files_.SHGetFolderPathW(kCsidlRecent, kShgfpTypeCurrent,
                                    path.data()),
            0);
  EXPECT_FALSE(std::u16string(path.data()).empty());
}

class ComApartment {
 public:
  ComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ComApartment() { ::CoUninitialize(); }
};

// Writes a shell link to `target` with the shell's own link object.
bool SaveShellLink(const std::u16string& linkPath, const std::u16string& target) {
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return false;
  }
  bool saved = false;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->SetPath(reinterpret_cast<const wchar_t*>(target.c_str()))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile,
                                     reinterpret_cast<void**>(&file)))) {
    saved = SUCCEEDED(
        file->Save(reinterpret_cast<const wchar_t*>(linkPath.c_str()), TRUE));
    file->Release();
  }
  link->Release();
  return saved;
}

TEST_F(Win32FileSystemTest, ShellLinkTargetIsRead) {
  const ComApartment apartment;
  const std::u16string target = Path(u"target.exe");
  ASSERT_TRUE(files_.WriteFileBytes(target.c_str(), {'M', 'Z'}, false));
  const std::u16string link = Path(u"a.lnk");
  ASSERT_TRUE(SaveShellLink(link, target));

  std::vector<char16_t> read(33000, u'?');
  ASSERT_EQ(files_.LoadShellLinkTarget(link.c_str(), read.data(), 33000), 0);
  EXPECT_EQ(std::u16string(read.data()), target);
}

TEST_F(Win32FileSystemTest, UnreadableShellLinksFail) {
  const ComApartment apartment;
  std::vector<char16_t> read(33000);
  EXPECT_EQ(files_.LoadShellLinkTarget(Path(u"missing.lnk").c_str(),
                                       read.data(), 33000),
            -1);
  const std::u16string broken = Path(u"broken.lnk");
  ASSERT_TRUE(files_.WriteFileBytes(broken.c_str(), {'n', 'o', 't'}, false));
  EXPECT_EQ(files_.LoadShellLinkTarget(broken.c_str(), read.data(), 33000), -1);
}

}  // namespace
}  // namespace tavik
