#include "repair/undo_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "platform/forwarding_registry.h"
#include "platform/memory/reg_file_loader.h"
#include "repair/fix_run.h"
#include "repair/reg_export.h"
#include "support/registry_snapshot.h"
#include "unit/repair_fixture.h"

namespace tavik {
namespace {

using testing::RepairFixture;
using testing::SnapshotChanges;
using testing::TakeSnapshot;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::u16string>;

constexpr RegKey kHklm = kHkeyLocalMachine;
constexpr char16_t kLocalAppData[] = u"C:\\users\\user\\AppData\\Local";
constexpr char16_t kUndoDir[] =
    u"C:\\users\\user\\AppData\\Local\\Tavik Software\\Registry Cleaner\\Undo";

Bytes Utf16Bytes(std::u16string_view text, bool terminated = true) {
  Bytes bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::u16string ValueLine(std::u16string_view name, uint32_t type, const Bytes& data) {
  std::u16string out;
  EXPECT_TRUE(AppendRegValueLine(out, name, type, data.data(), data.size()));
  return out;
}

// Loads `text` (one or more records, without the header) into a fresh
// registry and returns the loader's verdict.
RegLoadResult LoadRecords(MemoryRegistry& registry, const std::u16string& records) {
  return LoadRegText(registry, std::u16string(kRegFileHeader) + u"\r\n\r\n" + records);
}

TEST(RegExportTest, ValueLinesSpellEachTypeAsRegeditImportsIt) {
  const struct {
    const char* what;
    std::u16string name;
    uint32_t type;
    Bytes data;
    std::u16string line;
  } cases[] = {
      {"plain text", u"Path", kRegSz, Utf16Bytes(u"C:\\a \"b\""),
       u"\"Path\"=\"C:\\\\a \\\"b\\\"\"\r\n"},
      {"default value", u"", kRegSz, Utf16Bytes(u"x"), u"@=\"x\"\r\n"},
      {"quotes and backslashes in the name", u"a\"b\\c=d", kRegSz, Utf16Bytes(u""),
       u"\"a\\\"b\\\\c=d\"=\"\"\r\n"},
      {"text without terminator", u"n", kRegSz, Utf16Bytes(u"ab", false),
       u"\"n\"=hex(1):61,00,62,00\r\n"},
      {"text with an embedded zero", u"n", kRegSz, {0x61, 0, 0, 0, 0x62, 0, 0, 0},
       u"\"n\"=hex(1):61,00,00,00,62,00,00,00\r\n"},
      {"text with a line break", u"n", kRegSz, Utf16Bytes(u"a\nb"),
       u"\"n\"=hex(1):61,00,0a,00,62,00,00,00\r\n"},
      {"text with two terminators", u"n", kRegSz, Utf16Bytes(std::u16string(u"a\0", 2)),
       u"\"n\"=hex(1):61,00,00,00,00,00\r\n"},
      {"text with a lone surrogate", u"n", kRegSz, {0x00, 0xD8, 0, 0},
       u"\"n\"=hex(1):00,d8,00,00\r\n"},
      {"empty text data", u"n", kRegSz, {}, u"\"n\"=hex(1):\r\n"},
      {"odd length text", u"n", kRegSz, {0x61, 0, 0}, u"\"n\"=hex(1):61,00,00\r\n"},
      {"dword", u"d", kRegDword, {0x78, 0x56, 0x34, 0x12}, u"\"d\"=dword:12345678\r\n"},
      {"short dword", u"d", kRegDword, {1, 2, 3}, u"\"d\"=hex(4):01,02,03\r\n"},
      {"none", u"z", kRegNone, {}, u"\"z\"=hex(0):\r\n"},
      {"binary", u"b", kRegBinary, {0xDE, 0xAD}, u"\"b\"=hex:de,ad\r\n"},
      {"expandable text", u"e", kRegExpandSz, Utf16Bytes(u"%a%"),
       u"\"e\"=hex(2):25,00,61,00,25,00,00,00\r\n"},
      {"multi text", u"m", kRegMultiSz, {0x61, 0, 0, 0, 0, 0},
       u"\"m\"=hex(7):61,00,00,00,00,00\r\n"},
      {"qword", u"q", 11, {1, 0, 0, 0, 0, 0, 0, 0}, u"\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"},
      {"type above 11", u"t", 0x12345, {7}, u"\"t\"=hex(12345):07\r\n"},
      {"largest type", u"t", 0xFFFFFFFFu, {}, u"\"t\"=hex(ffffffff):\r\n"},
      {"non-ASCII and control characters", u"\u00e9\u4e2d\t\x01", kRegSz,
       Utf16Bytes(u"\u00e9\U0001F600"), u"\"\u00e9\u4e2d\t\x01\"=\"\u00e9\U0001F600\"\r\n"},
  };
  for (const auto& c : cases) {
    const std::u16string line = ValueLine(c.name, c.type, c.data);
    EXPECT_EQ(line, c.line) << c.what;
    // The project's own loader gives back the same type and bytes.
    MemoryRegistry back;
    ASSERT_TRUE(LoadRecords(back, u"[HKEY_LOCAL_MACHINE\\K]\r\n" + line).ok) << c.what;
    uint32_t type = 0;
    Bytes data(64);
    uint32_t bytes = static_cast<uint32_t>(data.size());
    RegKey key = 0;
    ASSERT_EQ(back.RegOpenKeyExW(kHklm, u"K", kKeyRead, &key), kErrorSuccess);
    ASSERT_EQ(back.RegQueryValueExW(key, c.name.c_str(), &type, data.data(), &bytes),
              kErrorSuccess)
        << c.what;
    back.RegCloseKey(key);
    data.resize(bytes);
    EXPECT_EQ(type, c.type) << c.what;
    EXPECT_EQ(data, c.data) << c.what;
  }
}

TEST(RegExportTest, NamesThatNoLineCanCarryAreRefused) {
  for (const std::u16string& name :
       Lines{u"a\nb", u"a\rb", std::u16string(u"a\0b", 3)}) {
    std::u16string out = u"kept";
    const Bytes data = Utf16Bytes(u"x");
    EXPECT_FALSE(AppendRegValueLine(out, name, kRegSz, data.data(), data.size()));
    EXPECT_EQ(out, u"kept");
  }
}

TEST(RegExportTest, LongHexDataIsContinuedOnIndentedLines) {
  Bytes data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  const std::u16string text = ValueLine(u"Blob", kRegBinary, data);
  size_t start = 0;
  size_t lines = 0;
  while (start < text.size()) {
    const size_t end = text.find(u"\r\n", start);
    ASSERT_NE(end, std::u16string::npos);
    const std::u16string line = text.substr(start, end - start);
    const bool last = end + 2 == text.size();
    EXPECT_LE(line.size(), 80u) << lines;
    EXPECT_EQ(line.back() == u'\\', !last) << lines;
    if (lines > 0) {
      EXPECT_EQ(line.substr(0, 2), u"  ");
      EXPECT_NE(line[2], u' ');
    }
    ++lines;
    start = end + 2;
  }
  EXPECT_GT(lines, 30u);
  MemoryRegistry back;
  ASSERT_TRUE(LoadRecords(back, u"[HKEY_LOCAL_MACHINE\\K]\r\n" + text).ok);
  RegKey key = 0;
  ASSERT_EQ(back.RegOpenKeyExW(kHklm, u"K", kKeyRead, &key), kErrorSuccess);
  Bytes read(2000);
  uint32_t bytes = static_cast<uint32_t>(read.size());
  ASSERT_EQ(back.RegQueryValueExW(key, u"Blob", nullptr, read.data(), &bytes), kErrorSuccess);
  back.RegCloseKey(key);
  read.resize(bytes);
  EXPECT_EQ(read, data);
}

// A tree five levels deep with every kind of value: the export lists each
// key before its subkeys, and loading it into an empty registry rebuilds the
// same tree byte for byte.
TEST(RegExportTest, KeyTreeExportsParentsFirstAndLoadsBackIdentically) {
  MemoryRegistry reg;
  const std::u16string top = u"Software\\Vendor\\Gone";
  const std::u16string longKey(255, u'k');
  const std::u16string longValue(16383, u'v');
  reg.SetString(kHklm, top, u"", u"default");
  reg.SetValue(kHklm, top, u"odd", kRegBinary, {1, 2, 3});
  reg.SetValue(kHklm, top, u"raw sz", kRegSz, {0x61, 0});
  reg.SetValue(kHklm, top, u"none", kRegNone, {});
  reg.SetValue(kHklm, top, u"big", kRegBinary, Bytes(1 << 20, 0xA5));
  reg.SetDword(kHklm, top + u"\\A", u"n", 42);
  reg.SetValue(kHklm, top + u"\\A\\B\\C\\D", u"q\"\\=", 11, {1, 2, 3, 4, 5, 6, 7, 8});
  reg.SetString(kHklm, top + u"\\A\\B\\C\\D", longValue, u"long name");
  reg.CreateKey(kHklm, top + u"\\A\\Empty");
  reg.SetString(kHklm, top + u"\\" + longKey, u"\u00fcber", u"x\u4e2d");
  reg.SetString(kHklm, u"Software\\Vendor\\Stays", u"v", u"1");

  std::u16string text;
  ASSERT_EQ(ExportKeyTree(reg, kHklm, top, text), RegExport::kWritten);
  // Key lines in order: each parent before its children.
  Lines keyLines;
  for (size_t pos = text.find(u"\r\n["); pos != std::u16string::npos;
       pos = text.find(u"\r\n[", pos + 1)) {
    keyLines.push_back(text.substr(pos + 3, text.find(u']', pos) - pos - 3));
  }
  keyLines.insert(keyLines.begin(), text.substr(1, text.find(u']') - 1));
  const std::u16string base = u"HKEY_LOCAL_MACHINE\\" + top;
  EXPECT_EQ(keyLines, (Lines{base, base + u"\\A", base + u"\\A\\B", base + u"\\A\\B\\C",
                             base + u"\\A\\B\\C\\D", base + u"\\A\\Empty",
                             base + u"\\" + longKey}));
  // The keys the fix may delete are exactly those lines, without the root.
  RegExporter exporter(reg);
  std::u16string again;
  std::vector<ExportedKey> exported;
  ASSERT_EQ(exporter.KeyTree(kHklm, top, again, &exported), RegExport::kWritten);
  EXPECT_EQ(again, text);
  for (std::u16string& line : keyLines) line.erase(0, std::u16string_view(u"HKEY_LOCAL_MACHINE\\").size());
  Lines keys;
  for (const ExportedKey& key : exported) keys.push_back(key.path);
  EXPECT_EQ(keys, keyLines);
  EXPECT_EQ(exported[4].depth, 4u);
  EXPECT_EQ(exported[4].state.values, 2u);

  MemoryRegistry back;
  back.CreateKey(kHklm, u"Software\\Vendor\\Stays");
  back.SetString(kHklm, u"Software\\Vendor\\Stays", u"v", u"1");
  const RegLoadResult loaded = LoadRecords(back, text);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(SnapshotChanges(TakeSnapshot(reg), TakeSnapshot(back)), Lines{});
}

TEST(RegExportTest, AnyUnreadablePartFailsTheWholeExportAndWritesNothing) {
  const std::u16string top = u"Software\\Gone";
  const struct {
    const char* what;
    void (*spoil)(MemoryRegistry&, const std::u16string&);
  } cases[] = {
      {"value read", [](MemoryRegistry& r, const std::u16string& t) {
         r.InjectEnumValueFailure(kHklm, t + u"\\A\\B", 0, kErrorAccessDenied);
       }},
      {"subkey listing", [](MemoryRegistry& r, const std::u16string& t) {
         r.InjectEnumKeyFailure(kHklm, t + u"\\A", 0, kErrorBadDb);
       }},
      {"subkey open", [](MemoryRegistry& r, const std::u16string& t) {
         r.InjectOpenFailure(kHklm, t + u"\\A\\B", kErrorAccessDenied);
       }},
      {"link below", [](MemoryRegistry& r, const std::u16string& t) {
         r.CreateKey(kHklm, u"Software\\Target");
         r.AddLink(kHklm, t + u"\\A\\Link", u"Software\\Target");
       }},
      {"the key itself a link", [](MemoryRegistry& r, const std::u16string& t) {
         r.DeleteTree(kHklm, t);
         r.CreateKey(kHklm, u"Software\\Target");
         r.AddLink(kHklm, t, u"Software\\Target");
       }},
      {"a key name with a line break", [](MemoryRegistry& r, const std::u16string& t) {
         r.CreateKey(kHklm, t + u"\\A\\bad\nname");
       }},
      {"a value name with a line break", [](MemoryRegistry& r, const std::u16string& t) {
         r.SetString(kHklm, t + u"\\A", u"bad\rname", u"x");
       }},
  };
  for (const auto& c : cases) {
    MemoryRegistry reg;
    reg.SetString(kHklm, top + u"\\A\\B", u"v", u"x");
    reg.SetString(kHklm, top, u"w", u"y");
    c.spoil(reg, top);
    std::u16string out = u"before";
    EXPECT_EQ(ExportKeyTree(reg, kHklm, top, out), RegExport::kFailed) << c.what;
    EXPECT_EQ(out, u"before") << c.what;
    EXPECT_EQ(reg.OpenHandleCount(), 0u) << c.what;
  }
}

// A value written while the export reads its key is not missed: a key that
// changed during its reading is read again.
TEST(RegExportTest, AValueAddedWhileTheKeyIsReadIsInTheRecord) {
  struct AddingRegistry final : ForwardingRegistry {
    explicit AddingRegistry(MemoryRegistry& r) : ForwardingRegistry(r), memory(r) {}
    int32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name, uint32_t* nameChars,
                          uint32_t* type, uint8_t* data, uint32_t* dataBytes) override {
      if (index == 1 && !added) {
        added = true;
        memory.SetString(kHklm, u"Software\\K", u"a", u"new");
      }
      return ForwardingRegistry::RegEnumValueW(key, index, name, nameChars, type, data,
                                               dataBytes);
    }
    MemoryRegistry& memory;
    bool added = false;
  };
  // Sorted values: the new "a" moves the others one place on.
  MemoryRegistry reg(RegistryFlavor::kWine);
  for (const char16_t* name : {u"b", u"c", u"d"}) reg.SetString(kHklm, u"Software\\K", name, u"1");
  AddingRegistry adding(reg);
  std::u16string out;
  ASSERT_EQ(ExportKeyTree(adding, kHklm, u"Software\\K", out), RegExport::kWritten);
  EXPECT_EQ(out, u"[HKEY_LOCAL_MACHINE\\Software\\K]\r\n\"a\"=\"new\"\r\n\"b\"=\"1\"\r\n"
                 u"\"c\"=\"1\"\r\n\"d\"=\"1\"\r\n\r\n");
}

TEST(RegExportTest, AbsentEntriesAndFailedValueReads) {
  MemoryRegistry reg;
  reg.SetString(kHklm, u"K", u"v", u"x");
  reg.InjectQueryFailure(kHklm, u"K", u"locked", kErrorAccessDenied);
  std::u16string out;
  EXPECT_EQ(ExportKeyTree(reg, kHklm, u"Missing", out), RegExport::kAbsent);
  EXPECT_EQ(ExportValue(reg, kHklm, u"Missing\\Deeper", u"v", out), RegExport::kAbsent);
  EXPECT_EQ(ExportValue(reg, kHklm, u"K", u"other", out), RegExport::kAbsent);
  EXPECT_EQ(ExportValue(reg, kHklm, u"K", u"locked", out), RegExport::kFailed);
  EXPECT_EQ(out, u"");
  EXPECT_EQ(ExportValue(reg, kHklm, u"K", u"v", out), RegExport::kWritten);
  EXPECT_EQ(out, u"[HKEY_LOCAL_MACHINE\\K]\r\n\"v\"=\"x\"\r\n\r\n");
  EXPECT_EQ(ExportKeyTree(reg, 0x80000005u, u"K", out), RegExport::kFailed);
}

struct UndoFixture : RepairFixture {
  UndoFixture() {
    files.SetSpecialFolder(kCsidlLocalAppData, kLocalAppData);
    files.AddFolder(kLocalAppData);
    system.SetLocalTime(SystemTime{2026, 12, 2, 8, 9, 5, 7, 0});
  }
  // Runs the fix with an undo file; returns it.
  std::u16string FixWithUndo() {
    UndoFile undo(registry, files, system);
    RepairEnvironment env = environment();
    env.undo = &undo;
    FixThreadMain(env);
    return undo.path();
  }
  std::u16string UndoText(const std::u16string& path) {
    Bytes bytes;
    EXPECT_TRUE(files.FileContent(path, bytes));
    EXPECT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
  }
};

// The fix over key and value rows, then the undo file loaded back: the
// registry is as it was before the fix.
TEST(UndoFileTest, FixThenUndoGivesBackTheRegistry) {
  UndoFixture fix;
  auto& reg = fix.registry;
  reg.SetString(kHklm, u"Software\\V\\App", u"Path", u"C:\\gone.exe");
  reg.SetString(kHklm, u"Software\\V\\App", u"", u"default");
  reg.SetValue(kHklm, u"Software\\V\\App", u"Odd", kRegSz, {0x61, 0, 0x62});
  reg.SetString(kHklm, u"Software\\V\\Tree\\L1\\L2\\L3\\L4", u"deep", u"x");
  reg.SetDword(kHklm, u"Software\\V\\Tree", u"n", 7);
  reg.SetString(kHklm, u"Software\\V\\Kept", u"k", u"1");
  const auto before = TakeSnapshot(reg);
  fix.AddValueRow(u"Software\\V\\App", u"Path");
  fix.AddValueRow(u"Software\\V\\App", u"-------");
  fix.AddValueRow(u"Software\\V\\App\\", u"Odd");
  fix.AddKeyRow(u"Software\\V\\Tree\\");
  fix.AddKeyRow(u"Software\\V\\Kept", /*checked=*/false);
  fix.AddKeyRow(u"Software\\V\\AlreadyGone");

  const std::u16string path = fix.FixWithUndo();
  EXPECT_EQ(path, std::u16string(kUndoDir) + u"\\fix-20261208-090507.reg");
  EXPECT_EQ(fix.host.messages.back(), FormatFixSummary(5));
  EXPECT_EQ(fix.files.OpenFileCount(), 0u);  // closed at the end of the run
  EXPECT_FALSE(reg.KeyExists(kHklm, u"Software\\V\\Tree"));
  const std::u16string text = fix.UndoText(path);
  EXPECT_EQ(text.substr(0, 40), u"Windows Registry Editor Version 5.00\r\n\r\n");
  EXPECT_EQ(text.find(u"Kept"), std::u16string::npos);
  const RegLoadResult loaded = LoadRegText(reg, text);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(SnapshotChanges(before, TakeSnapshot(reg)), Lines{});
}

TEST(UndoFileTest, AnEntryThatCannotBeWrittenIsNotDeleted) {
  UndoFixture fix;
  auto& reg = fix.registry;
  reg.SetString(kHklm, u"Software\\V\\A", u"locked", u"1");
  reg.InjectQueryFailure(kHklm, u"Software\\V\\A", u"locked", kErrorAccessDenied);
  reg.SetString(kHklm, u"Software\\V\\B\\Sub", u"v", u"1");
  reg.InjectEnumValueFailure(kHklm, u"Software\\V\\B\\Sub", 0, kErrorBadDb);
  reg.SetString(kHklm, u"Software\\V\\C", u"bad\nname", u"1");
  reg.SetString(kHklm, u"Software\\V\\D", u"fine", u"1");
  // Readable but not writable: its value could be written to the file but
  // not deleted, so it is not written either.
  reg.SetString(kHklm, u"Software\\V\\E", u"held", u"1");
  reg.SetAccess(kHklm, u"Software\\V\\E", KeyAccess::kReadOnly);
  fix.AddValueRow(u"Software\\V\\A", u"locked");
  fix.AddKeyRow(u"Software\\V\\B");
  fix.AddKeyRow(u"Software\\V\\C");
  fix.AddValueRow(u"Software\\V\\E", u"held");
  fix.AddValueRow(u"Software\\V\\D", u"fine");
  const std::u16string path = fix.FixWithUndo();
  EXPECT_EQ(fix.RowPaths(), (Lines{u"Software\\V\\A", u"Software\\V\\B", u"Software\\V\\C",
                                   u"Software\\V\\E"}));
  EXPECT_EQ(fix.host.messages.back(), FormatFixSummary(1));
  EXPECT_TRUE(reg.KeyExists(kHklm, u"Software\\V\\B\\Sub"));
  EXPECT_TRUE(reg.KeyExists(kHklm, u"Software\\V\\C"));
  EXPECT_FALSE(reg.ValueExists(kHklm, u"Software\\V\\D", u"fine"));
  EXPECT_EQ(fix.UndoText(path),
            u"Windows Registry Editor Version 5.00\r\n\r\n"
            u"[HKEY_LOCAL_MACHINE\\Software\\V\\D]\r\n\"fine\"=\"1\"\r\n\r\n");
}

TEST(UndoFileTest, NoFolderOrNoRoomMeansNothingIsDeleted) {
  for (const char* what : {"no local application data", "disk full", "path too long"}) {
    UndoFixture fix;
    const std::string why = what;
    if (why == "no local application data") {
      fix.files.FailSpecialFolder(kCsidlLocalAppData);
    } else if (why == "disk full") {
      fix.files.SetFreeBytes(10);
    } else {
      const std::u16string deep = u"C:\\" + std::u16string(220, u'd');
      fix.files.SetSpecialFolder(kCsidlLocalAppData, deep);
      fix.files.AddFolder(deep);
    }
    fix.registry.SetString(kHklm, u"Software\\V", u"v", u"1");
    fix.AddValueRow(u"Software\\V", u"v");
    fix.AddKeyRow(u"Software\\V");
    EXPECT_EQ(fix.FixWithUndo(), u"") << what;
    EXPECT_EQ(fix.results.rows.size(), 2u) << what;
    EXPECT_TRUE(fix.registry.ValueExists(kHklm, u"Software\\V", u"v")) << what;
    EXPECT_EQ(fix.host.messages.back(), FormatFixSummary(0)) << what;
    // Not even a header-only or cut file is left.
    std::vector<FolderEntry> left;
    fix.files.ListFolder(kUndoDir, left);
    EXPECT_TRUE(left.empty()) << what;
  }
}

// The disk fills up in the middle of the run: the entry whose record was
// cut stays, and so does every later one. What part of the record was
// written is cut off again: the file ends on the last whole record, so an
// import sets no value to cut data.
TEST(UndoFileTest, DiskFullMidwayKeepsTheRestOfTheRows) {
  const std::u16string whole =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\V]\r\n\"a\"=\"1\"\r\n\r\n";
  // Bytes of the second record that fit: none, one, some, most.
  for (size_t more : {0, 1, 296, 5000}) {
    UndoFixture fix;
    fix.registry.SetString(kHklm, u"Software\\V", u"a", u"1");
    fix.registry.SetValue(kHklm, u"Software\\V", u"b", kRegBinary, Bytes(3000, 0x5A));
    fix.registry.SetString(kHklm, u"Software\\V", u"c", u"1");
    for (const char16_t* name : {u"a", u"b", u"c"}) fix.AddValueRow(u"Software\\V", name);
    fix.files.SetFreeBytes(2 + 2 * whole.size() + more);
    const std::u16string path = fix.FixWithUndo();
    EXPECT_EQ(fix.host.messages.back(), FormatFixSummary(1)) << more;
    EXPECT_EQ(fix.results.rows.size(), 2u) << more;
    EXPECT_TRUE(fix.registry.ValueExists(kHklm, u"Software\\V", u"b")) << more;
    EXPECT_TRUE(fix.registry.ValueExists(kHklm, u"Software\\V", u"c")) << more;
    EXPECT_EQ(fix.UndoText(path), whole) << more;
  }
}

// Something outside the program takes the undo file away after its first
// record: no later entry goes to a new file without the header, so none is
// deleted.
TEST(UndoFileTest, AFileThatVanishesStopsTheDeletions) {
  struct VanishingUndo : UndoFile {
    MemoryFileSystem& files;
    explicit VanishingUndo(UndoFixture& fix)
        : UndoFile(fix.registry, fix.files, fix.system), files(fix.files) {}
    UndoRecord RecordValue(RegKey root, std::u16string_view key, RegKey opened,
                           std::u16string_view name) override {
      const UndoRecord result = UndoFile::RecordValue(root, key, opened, name);
      files.Remove(path());
      return result;
    }
  };
  UndoFixture fix;
  for (const char16_t* name : {u"a", u"b", u"c"}) {
    fix.registry.SetString(kHklm, u"Software\\V", name, u"1");
    fix.AddValueRow(u"Software\\V", name);
  }
  VanishingUndo undo(fix);
  RepairEnvironment env = fix.environment();
  env.undo = &undo;
  FixThreadMain(env);
  EXPECT_EQ(fix.host.messages.back(), FormatFixSummary(1));
  EXPECT_TRUE(fix.registry.ValueExists(kHklm, u"Software\\V", u"b"));
  EXPECT_TRUE(fix.registry.ValueExists(kHklm, u"Software\\V", u"c"));
  EXPECT_FALSE(fix.files.Exists(undo.path()));
}

TEST(UndoFileTest, ARunThatDeletesNothingLeavesNoFileAndRunsGetTheirOwnFiles) {
  UndoFixture fix;
  fix.AddKeyRow(u"Software\\Absent");
  fix.AddValueRow(u"Software\\Absent", u"v");
  EXPECT_EQ(fix.FixWithUndo(), u"");
  EXPECT_EQ(fix.host.messages.back(), FormatFixSummary(2));
  EXPECT_FALSE(fix.files.Exists(kUndoDir + std::u16string(u"\\fix-20261208-090507.reg")));

  // Two runs in the same second.
  Lines paths;
  for (int run = 0; run < 2; ++run) {
    fix.registry.SetString(kHklm, u"Software\\V", u"v", u"1");
    fix.AddValueRow(u"Software\\V", u"v");
    paths.push_back(fix.FixWithUndo());
  }
  EXPECT_EQ(paths, (Lines{std::u16string(kUndoDir) + u"\\fix-20261208-090507.reg",
                          std::u16string(kUndoDir) + u"\\fix-20261208-090507-2.reg"}));

  // A name taken by a file the existence test cannot see (another run's,
  // say, made in the same instant) is still never written over.
  const std::u16string taken = std::u16string(kUndoDir) + u"\\fix-20261208-090507-3.reg";
  fix.files.AddFile(taken, Bytes{1, 2, 3});
  fix.files.SetHiddenFromQuickTests(taken, true);
  fix.registry.SetString(kHklm, u"Software\\V", u"v", u"1");
  fix.AddValueRow(u"Software\\V", u"v");
  EXPECT_EQ(fix.FixWithUndo(), std::u16string(kUndoDir) + u"\\fix-20261208-090507-4.reg");
  Bytes kept;
  ASSERT_TRUE(fix.files.FileContent(taken, kept));
  EXPECT_EQ(kept, (Bytes{1, 2, 3}));
}

// Rows under the merged HKEY_CLASSES_ROOT are written under the key that
// held them, so an import puts a user's registration back as the user's.
TEST(UndoFileTest, ClassesRowsAreWrittenUnderTheKeyThatHeldThem) {
  UndoFixture fix;
  auto& reg = fix.registry;
  reg.SetString(kHkeyCurrentUser, u"Software\\Classes\\.mine\\Sub", u"v", u"user");
  reg.SetString(kHklm, u"Software\\Classes\\.mine", u"m", u"machine");
  reg.SetString(kHklm, u"Software\\Classes\\.theirs", u"", u"machine");
  reg.SetString(kHkeyCurrentUser, u"Software\\Classes\\.val", u"x", u"user");
  const auto before = TakeSnapshot(reg);
  fix.AddRow(u"Invalid Key", u"HKEY_CLASSES_ROOT", u".mine", u"-------");
  fix.AddRow(u"Invalid Key", u"HKEY_CLASSES_ROOT", u".theirs", u"-------");
  fix.AddRow(u"Invalid Value", u"HKEY_CLASSES_ROOT", u".val", u"x");
  const std::u16string text = fix.UndoText(fix.FixWithUndo());
  EXPECT_EQ(fix.host.messages.back(), FormatFixSummary(3));
  for (const char16_t* line :
       {u"[HKEY_CURRENT_USER\\Software\\Classes\\.mine]",
        u"[HKEY_CURRENT_USER\\Software\\Classes\\.mine\\Sub]",
        u"[HKEY_LOCAL_MACHINE\\Software\\Classes\\.theirs]",
        u"[HKEY_CURRENT_USER\\Software\\Classes\\.val]"}) {
    EXPECT_NE(text.find(line), std::u16string::npos) << Utf16ToUtf8(line);
  }
  EXPECT_EQ(text.find(u"HKEY_CLASSES_ROOT"), std::u16string::npos);
  // The machine's key of the same name was not the one shown: it stays.
  EXPECT_TRUE(reg.ValueExists(kHklm, u"Software\\Classes\\.mine", u"m"));
  const RegLoadResult loaded = LoadRegText(reg, text);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(SnapshotChanges(before, TakeSnapshot(reg)), Lines{});
}

// The registry changes between an entry's export and its deletion. A key or
// value that went away counts as fixed; a key that gained a subkey or a
// value, or whose value was rewritten, is not deleted, so nothing the undo
// file lacks is lost; a key replaced by a link is gone, and the link and
// what it names stay.
TEST(UndoFileTest, ChangesBetweenExportAndDeletion) {
  enum class Change {
    kKeyVanishes, kSubkeyAppears, kValueVanishes, kValueAppears, kValueRewritten,
    kParentValueAppears, kReplacedByLink
  };
  struct ChangingUndo : UndoLog {
    UndoFile& inner;
    MemoryRegistry& registry;
    Change change;
    ChangingUndo(UndoFile& u, MemoryRegistry& r, Change c)
        : inner(u), registry(r), change(c) {}
    UndoRecord RecordKeyTree(RegKey root, std::u16string_view path,
                             std::vector<ExportedKey>& keys) override {
      const UndoRecord result = inner.RecordKeyTree(root, path, keys);
      if (change == Change::kKeyVanishes) registry.DeleteTree(root, std::u16string(path));
      const std::u16string sub = std::u16string(path) + u"\\Sub";
      switch (change) {
        case Change::kSubkeyAppears:
          registry.SetString(root, sub + u"\\New", u"n", u"new");
          break;
        case Change::kValueAppears:
          registry.SetString(root, sub, u"New", u"new");
          break;
        case Change::kValueRewritten:
          registry.SetString(root, sub, u"v", u"2");
          break;
        case Change::kParentValueAppears:
          registry.SetString(root, std::u16string(path), u"New", u"new");
          break;
        case Change::kReplacedByLink:
          registry.DeleteTree(root, std::u16string(path));
          registry.AddLink(root, std::u16string(path), u"Software\\Target");
          break;
        default:
          break;
      }
      return result;
    }
    UndoRecord RecordValue(RegKey root, std::u16string_view path, RegKey key,
                           std::u16string_view valueName) override {
      const UndoRecord result = inner.RecordValue(root, path, key, valueName);
      registry.DeleteValue(root, std::u16string(path), std::u16string(valueName));
      return result;
    }
  };
  const struct {
    const char* what;
    Change change;
    bool keyRow;
    uint32_t fixed;
    std::u16string recorded;
    const char16_t* survivor;  // a key the fix must leave, or null
  } cases[] = {
      {"key vanishes", Change::kKeyVanishes, true, 1,
       u"[HKEY_LOCAL_MACHINE\\Software\\V\\K\\Sub]", nullptr},
      {"subkey appears", Change::kSubkeyAppears, true, 0,
       u"[HKEY_LOCAL_MACHINE\\Software\\V\\K\\Sub]", u"Software\\V\\K\\Sub\\New"},
      {"value vanishes", Change::kValueVanishes, false, 1, u"\"v\"=\"1\"", nullptr},
      {"value appears", Change::kValueAppears, true, 0,
       u"[HKEY_LOCAL_MACHINE\\Software\\V\\K\\Sub]", u"Software\\V\\K\\Sub"},
      {"value rewritten", Change::kValueRewritten, true, 0, u"\"v\"=\"1\"",
       u"Software\\V\\K\\Sub"},
      {"parent gains a value", Change::kParentValueAppears, true, 0,
       u"[HKEY_LOCAL_MACHINE\\Software\\V\\K]", u"Software\\V\\K"},
      {"replaced by a link", Change::kReplacedByLink, true, 1,
       u"[HKEY_LOCAL_MACHINE\\Software\\V\\K\\Sub]", u"Software\\Target\\Child"},
  };
  for (const auto& c : cases) {
    UndoFixture fix;
    fix.registry.SetString(kHklm, u"Software\\V\\K\\Sub", u"v", u"1");
    fix.registry.CreateKey(kHklm, u"Software\\Target\\Child");
    if (c.keyRow) {
      fix.AddKeyRow(u"Software\\V\\K");
    } else {
      fix.AddValueRow(u"Software\\V\\K\\Sub", u"v");
    }
    UndoFile undo(fix.registry, fix.files, fix.system);
    ChangingUndo changing(undo, fix.registry, c.change);
    RepairEnvironment env = fix.environment();
    env.undo = &changing;
    FixThreadMain(env);
    EXPECT_EQ(fix.host.messages.back(), FormatFixSummary(c.fixed)) << c.what;
    EXPECT_NE(fix.UndoText(undo.path()).find(c.recorded), std::u16string::npos) << c.what;
    if (c.survivor != nullptr) {
      EXPECT_TRUE(fix.registry.KeyExists(kHklm, c.survivor)) << c.what;
      EXPECT_EQ(fix.results.RowCount(), c.fixed == 0 ? 1 : 0) << c.what;
    }
  }
}

}  // namespace
}  // namespace tavik
