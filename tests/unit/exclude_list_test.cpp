#include <gtest/gtest.h>

#include "engine/exclude_list.h"
#include "base/text.h"
#include "platform/memory/memory_file_system.h"

namespace tavik {
namespace {

std::vector<uint8_t> Utf16LeBytes(std::u16string_view text, bool bom = true) {
  std::vector<uint8_t> bytes;
  if (bom) bytes = {0xFF, 0xFE};
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

std::vector<uint8_t> Bytes(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(IsExcluded, PrefixTestOnTrimmedCaseFoldedEntries) {
  struct Case {
    std::u16string entry;
    RegKey root;
    std::u16string keyPath;
    int32_t expected;
  };
  const Case cases[] = {
      {u"  hkey_local_machine\\software\\test  ", kHkeyLocalMachine,
       u"SOFTWARE\\Test\\Sub", 1},
      {u"HKEY_LOCAL_MACHINE\\Software\\Foo", kHkeyLocalMachine,
       u"Software\\FooBar", 1},
      {u"HKEY_CURRENT_USER\\A", kHkeyCurrentUser, u"A", 1},
      {u"HKEY_CURRENT_USER\\AB", kHkeyCurrentUser, u"A", 0},
      {u"HKEY_CURRENT_USER\\A", kHkeyLocalMachine, u"A", 0},
      {u"HKEY_CLASSES_ROOT\\CLSID", kHkeyClassesRoot, u"clsid\\{x}", 1},
      {u"   ", kHkeyLocalMachine, u"Software", 0},
      {u"", kHkeyLocalMachine, u"Software", 0},
      {u"\t HKLM\\Software", kHkeyLocalMachine, u"Software", 0},
      // Other roots are matched with an empty prefix.
      {u"Software\\X", kHkeyUsers, u"Software\\X\\Y", 1},
      {u"HKEY_USERS\\Software", kHkeyUsers, u"Software", 0},
      // Every blank of the C library's wide space class is trimmed.
      {u"\u00a0HKEY_CURRENT_USER\\A\u3000\u2028", kHkeyCurrentUser, u"A\\B",
       1},
      {u"\u2000\u200a\u202f\u205f\u1680HKEY_CURRENT_USER\\A", kHkeyCurrentUser,
       u"A", 1},
      // Only A to Z fold: other letters must match exactly.
      {u"HKEY_CURRENT_USER\\\u00c4", kHkeyCurrentUser, u"\u00e4", 0},
  };
  for (const auto& c : cases) {
    const ExcludeList list = {c.entry};
    EXPECT_EQ(IsExcluded(&list, c.root, c.keyPath), c.expected)
        << Utf16ToUtf8(c.entry) << " vs " << Utf16ToUtf8(c.keyPath);
  }
}

TEST(IsExcluded, EmptyOrMissingListExcludesNothing) {
  EXPECT_EQ(IsExcluded(nullptr, kHkeyLocalMachine, u"Software"), 0);
  const ExcludeList empty;
  EXPECT_EQ(IsExcluded(&empty, kHkeyLocalMachine, u"Software"), 0);
  const ExcludeList later = {u"", u"  ", u"HKEY_LOCAL_MACHINE\\Soft"};
  EXPECT_EQ(IsExcluded(&later, kHkeyLocalMachine, u"Software"), 1);
}

TEST(DecodeExcludeLines, ReadsLinesAsTheTextModeDoes) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::vector<std::u16string> lines;
  };
  const Case cases[] = {
      {"crlf", Utf16LeBytes(u"A\r\nB"), {u"A", u"B"}},
      {"trailing break", Utf16LeBytes(u"A\r\n"), {u"A", u""}},
      {"empty file", {}, {u""}},
      {"only the mark", {0xFF, 0xFE}, {u""}},
      {"leading empty line", Utf16LeBytes(u"\r\nA"), {u"", u"A"}},
      {"lone cr and lf", Utf16LeBytes(u"A\rB\nC"), {u"A", u"B", u"C"}},
      {"cr cr lf", Utf16LeBytes(u"A\r\r\nB"), {u"A", u"", u"B"}},
      {"no mark", Utf16LeBytes(u"X\u4e2dY", false), {u"X\u4e2dY"}},
      {"odd last byte", {0xFF, 0xFE, 'A', 0, 'B'}, {u"A"}},
      {"utf-8 with mark", Bytes("\xEF\xBB\xBFHKEY_X\r\n\xC3\xA4"),
       {u"HKEY_X", u"\u00e4"}},
      {"utf-8 without mark", Bytes("A\nB"), {u"A", u"B"}},
      // A zero ends the entry; the rest of its line is dropped, the next
      // line is read as usual.
      {"zero inside a line", Utf16LeBytes(std::u16string(u"AB\0C\r\nD", 7)),
       {u"AB", u"D"}},
      {"zero first", Utf16LeBytes(std::u16string(u"\0X\nY", 4)), {u"", u"Y"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeExcludeLines(c.bytes), c.lines) << c.name;
  }
}

TEST(DecodeExcludeLines, CutsLongLinesAt32999Characters) {
  std::u16string text(40000, u'x');
  text += u"\r\nnext";
  const auto lines = DecodeExcludeLines(Utf16LeBytes(text));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), kExcludeEntryMaxChars);
  EXPECT_EQ(lines[1], u"next");
}

TEST(ExcludeFile, RewriteThenLoadGivesTheSameEntries) {
  MemoryFileSystem files;
  files.SetModuleFileName(u"C:\\Tools\\Cleaner\\app.exe");
  EXPECT_EQ(ExcludeFilePath(files), u"C:\\Tools\\Cleaner\\RCExclude.txt");
  ASSERT_TRUE(RewriteExcludeFile(files, {u"A", u"B"}));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(files.FileContent(u"C:\\Tools\\Cleaner\\RCExclude.txt", bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xFF, 0xFE, 'A', 0, '\r', 0, '\n', 0,
                                         'B', 0}));
  ExcludeList list;
  LoadExcludeList(files, list);
  EXPECT_EQ(list, (ExcludeList{u"A", u"B"}));
}

TEST(ExcludeFile, MissingFileLeavesTheListAsItWas) {
  MemoryFileSystem files;
  ExcludeList list = {u"kept"};
  LoadExcludeList(files, list);
  EXPECT_EQ(list, ExcludeList{u"kept"});
  // A folder in the file's place cannot be read either.
  files.AddFolder(ExcludeFilePath(files) + u"\\");
  LoadExcludeList(files, list);
  EXPECT_EQ(list, ExcludeList{u"kept"});
}

}  // namespace
}  // namespace tavik
