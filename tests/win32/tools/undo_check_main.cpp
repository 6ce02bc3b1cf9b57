// tavik-undo-check: the undo file's round trip under Wine. "fix" adds keys
// and values of every type and awkward names, writes a dump of the whole
// registry, runs the fix worker with an undo file over a real scan's rows
// plus rows for the added entries, and prints the undo file's path. After
// regedit has imported that file, "dump" writes the registry again; the two
// dumps must be the same, byte for byte.
//
// "bulk" adds COUNT generated entries (key trees and single values of many
// types, in HKLM and HKCU), writes the dump and fixes them, one row each,
// with an undo file: a run long enough to be killed midway. After the kill
// "bulk-left" tells how many rows were fixed and fails unless they are the
// first ones, as the fix walks the rows in order.
//
// Usage: tavik-undo-check fix ROWS.tsv DUMP
//        tavik-undo-check dump DUMP
//        tavik-undo-check bulk COUNT DUMP
//        tavik-undo-check bulk-left COUNT
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/recording_ports.h"
#include "base/text.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_info.h"
#include "repair/fix_run.h"
#include "repair/undo_file.h"
#include "support/fix_outcome.h"
#include "support/registry_snapshot.h"

namespace {

using Bytes = std::vector<uint8_t>;
using tavik::RegKey;

constexpr char16_t kSeed[] = u"Software\\TavikUndo";

Bytes Text(std::u16string_view text, bool terminated = true) {
  Bytes bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

bool Set(tavik::Registry& registry, RegKey root, const std::u16string& path,
         const std::u16string& name, uint32_t type, const Bytes& data) {
  RegKey key = 0;
  if (registry.RegCreateKeyExW(root, path.c_str(), tavik::kKeyAllAccess, &key) != 0) {
    std::printf("FAIL cannot create %s\n", tavik::Utf16ToUtf8(path).c_str());
    return false;
  }
  const int32_t result = registry.RegSetValueExW(key, name.c_str(), type, data.data(),
                                                 static_cast<uint32_t>(data.size()));
  registry.RegCloseKey(key);
  if (result != 0) std::printf("FAIL cannot set a value in %s\n", tavik::Utf16ToUtf8(path).c_str());
  return result == 0;
}

// Every type, awkward names and data, a tree five levels deep, long names
// and 1 MB of binary data; returns the rows that delete them.
bool Seed(tavik::Registry& registry, std::vector<tavik::ResultsRow>& rows) {
  const RegKey hklm = tavik::kHkeyLocalMachine;
  const RegKey hkcu = tavik::kHkeyCurrentUser;
  const std::u16string base = kSeed;
  const std::u16string tree = base + u"\\Tree";
  const std::u16string deep = tree + u"\\L1\\L2\\L3\\L4";
  Bytes big(1 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 131 + 7);
  bool ok = true;
  for (uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 0x12345u}) {
    const std::u16string name = u"type " + tavik::Utf8ToUtf16(std::to_string(type));
    // Odd byte counts for every type but the text ones: Wine's regedit
    // appends a terminator to text data (hex(1), hex(2), hex(7)) that does
    // not end in one, so those get text data that does.
    const bool text = type == 1 || type == 2 || type == 7;
    ok &= Set(registry, hklm, tree, name, type,
              text ? Bytes{1, 2, 3, 4, 5, 6, 0, 0} : Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9});
  }
  ok &= Set(registry, hklm, tree, u"", tavik::kRegSz, Text(u"the default"));
  ok &= Set(registry, hklm, tree, u"q\"uo\\te=s", tavik::kRegSz, Text(u"a\"b\\c=d"));
  ok &= Set(registry, hklm, tree, u"\u00e9\u4e2d\U0001F600", tavik::kRegSz,
            Text(u"\u00fcber \u4e2d\U0001F600"));
  ok &= Set(registry, hklm, tree, u"ctl\t\x01\x1f", tavik::kRegSz, Text(u"tab\there"));
  ok &= Set(registry, hklm, tree, u"no terminator", tavik::kRegSz, Text(u"abc", false));
  ok &= Set(registry, hklm, tree, u"embedded zeros", tavik::kRegSz,
            Text(std::u16string(u"a\0b\0", 4)));
  ok &= Set(registry, hklm, tree, u"line break", tavik::kRegSz, Text(u"a\r\nb"));
  ok &= Set(registry, hklm, tree, u"odd", tavik::kRegBinary, {0x61, 0, 0x62});
  ok &= Set(registry, hklm, tree, u"empty sz", tavik::kRegSz, {});
  ok &= Set(registry, hklm, tree, u"empty binary", tavik::kRegBinary, {});
  ok &= Set(registry, hklm, tree, u"short dword", tavik::kRegDword, {1, 2});
  ok &= Set(registry, hklm, tree, u"dword", tavik::kRegDword, {0x78, 0x56, 0x34, 0x12});
  ok &= Set(registry, hklm, tree + u"\\L1", u"big", tavik::kRegBinary, big);
  ok &= Set(registry, hklm, tree + u"\\L1\\L2", std::u16string(16383, u'v'), tavik::kRegSz,
            Text(u"long name"));
  ok &= Set(registry, hklm, tree + u"\\L1\\" + std::u16string(255, u'k'), u"x",
            tavik::kRegDword, {1, 0, 0, 0});
  ok &= Set(registry, hklm, deep, u"@", tavik::kRegMultiSz, Text(std::u16string(u"a\0b\0", 4)));
  RegKey empty = 0;
  ok &= registry.RegCreateKeyExW(hklm, (deep + u"\\Empty").c_str(), tavik::kKeyAllAccess,
                                 &empty) == 0;
  if (empty != 0) registry.RegCloseKey(empty);
  // Single values beside one that stays.
  const std::u16string values = base + u"\\Values";
  ok &= Set(registry, hklm, values, u"stays", tavik::kRegSz, Text(u"x"));
  ok &= Set(registry, hklm, values, u"", tavik::kRegExpandSz, Text(u"%SystemRoot%"));
  ok &= Set(registry, hklm, values, u"we\"ird\\=name", tavik::kRegMultiSz,
            Text(std::u16string(u"x\0", 2)));
  ok &= Set(registry, hklm, values, u"qword", 11, {8, 7, 6, 5, 4, 3, 2, 1});
  ok &= Set(registry, hkcu, base + u"\\User\\A\\B", u"v", tavik::kRegBinary, {0xFF});

  auto row = [&rows](const char16_t* type, const char16_t* root, const std::u16string& path,
                     const std::u16string& value) {
    tavik::ResultsRow r;
    r.cells = {type, root, path, value};
    r.checked = true;
    rows.push_back(r);
  };
  row(u"Invalid Key", u"HKEY_LOCAL_MACHINE", tree, u"-------");
  row(u"Invalid Value", u"HKEY_LOCAL_MACHINE", values, u"-------");
  row(u"Invalid Value", u"HKEY_LOCAL_MACHINE", values, u"we\"ird\\=name");
  row(u"Invalid Value", u"HKEY_LOCAL_MACHINE", values, u"qword");
  row(u"Invalid Key", u"HKEY_CURRENT_USER", base + u"\\User", u"-------");
  return ok;
}

constexpr char16_t kBulk[] = u"Software\\TavikUndoBulk";

// Row i of the bulk run: even rows a key tree of three levels, odd rows one
// value of a group key; the roots alternate every two rows.
struct BulkEntry {
  bool key = false;
  RegKey root = 0;
  std::u16string path;
  std::u16string value;  // the value row's name
};

std::u16string Numbered(const char* format, size_t number) {
  char text[32];
  std::snprintf(text, sizeof(text), format, number);
  return tavik::Utf8ToUtf16(text);
}

BulkEntry BulkRow(size_t i) {
  BulkEntry entry;
  entry.key = i % 2 == 0;
  entry.root = (i / 2) % 2 == 0 ? tavik::kHkeyLocalMachine : tavik::kHkeyCurrentUser;
  const std::u16string base = kBulk;
  if (entry.key) {
    entry.path = base + Numbered("\\Trees\\T%06zu", i);
  } else {
    entry.path = base + Numbered("\\Values\\G%03zu", i / 100);
    entry.value = Numbered("Entry%06zu", i);
  }
  return entry;
}

// Data of a type that regedit gives back byte for byte, varied with i: every
// four rows (both kinds in both roots) take the next type.
Bytes BulkData(size_t i, uint32_t* type) {
  static const uint32_t kTypes[] = {tavik::kRegSz, tavik::kRegExpandSz, tavik::kRegBinary,
                                    tavik::kRegDword, tavik::kRegMultiSz, 11};
  *type = kTypes[(i / 4) % std::size(kTypes)];
  const std::u16string text = Numbered("C:\\Gone\\app%zu.exe", i);
  switch (*type) {
    case tavik::kRegDword:
      return {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0, 0};
    case 11:
      return {static_cast<uint8_t>(i), 1, 2, 3, 4, 5, 6, static_cast<uint8_t>(i >> 8)};
    case tavik::kRegBinary: {
      Bytes bytes(i % 61);
      for (size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<uint8_t>(b * 7 + i);
      return bytes;
    }
    case tavik::kRegMultiSz:
      return Text(text + std::u16string(1, u'\0') + u"second" + std::u16string(1, u'\0'));
    default:
      return Text(text);
  }
}

bool SeedBulk(tavik::Registry& registry, size_t count, std::vector<tavik::ResultsRow>& rows) {
  bool ok = true;
  for (size_t i = 0; i < count && ok; ++i) {
    const BulkEntry entry = BulkRow(i);
    uint32_t type = 0;
    const Bytes data = BulkData(i, &type);
    if (entry.key) {
      ok &= Set(registry, entry.root, entry.path, u"", tavik::kRegSz, Text(u"top"));
      ok &= Set(registry, entry.root, entry.path + u"\\A", u"v", type, data);
      ok &= Set(registry, entry.root, entry.path + u"\\A\\B", u"d", tavik::kRegDword,
                {1, 0, 0, 0});
    } else {
      ok &= Set(registry, entry.root, entry.path, entry.value, type, data);
    }
    tavik::ResultsRow row;
    row.cells = {entry.key ? u"Invalid Key" : u"Invalid Value",
                 entry.root == tavik::kHkeyLocalMachine ? u"HKEY_LOCAL_MACHINE"
                                                        : u"HKEY_CURRENT_USER",
                 entry.path, entry.key ? u"-------" : entry.value};
    row.checked = true;
    rows.push_back(std::move(row));
  }
  return ok;
}

bool BulkEntryExists(tavik::Registry& registry, const BulkEntry& entry) {
  RegKey key = 0;
  if (registry.RegOpenKeyExW(entry.root, entry.path.c_str(), tavik::kKeyRead, &key) != 0) {
    return false;
  }
  uint32_t type = 0;
  uint32_t bytes = 0;
  const bool exists =
      entry.key || registry.RegQueryValueExW(key, entry.value.c_str(), &type, nullptr, &bytes) == 0;
  registry.RegCloseKey(key);
  return exists;
}

// How many bulk rows are gone; fails unless they are the first ones.
int BulkLeft(tavik::Registry& registry, size_t count) {
  size_t gone = 0;
  size_t firstLeft = count;
  size_t goneAfterLeft = 0;
  for (size_t i = 0; i < count; ++i) {
    if (BulkEntryExists(registry, BulkRow(i))) {
      firstLeft = std::min(firstLeft, i);
    } else {
      ++gone;
      if (i > firstLeft) ++goneAfterLeft;
    }
  }
  std::printf("fixed %zu of %zu rows\n", gone, count);
  if (goneAfterLeft != 0) {
    std::printf("FAIL %zu rows after row %zu, which stayed, are gone\n", goneAfterLeft,
                firstLeft);
    return 1;
  }
  return 0;
}

std::string Escaped(std::u16string_view text) {
  std::u16string plain;
  std::string out;
  for (char16_t c : text) {
    if (c < 0x20 || c == u'\\' || c == u'%') {
      out += tavik::Utf16ToUtf8(plain);
      plain.clear();
      char code[8];
      std::snprintf(code, sizeof(code), "%%%02x", static_cast<unsigned>(c));
      out += code;
    } else {
      plain.push_back(c);
    }
  }
  return out + tavik::Utf16ToUtf8(plain);
}

// One line per key and per value, sorted, with every type and data byte.
bool WriteDump(tavik::Registry& registry, const wchar_t* file) {
  tavik::testing::RegistrySnapshot snapshot;
  tavik::testing::SnapshotTree(registry, tavik::kHkeyLocalMachine, u"HKLM", snapshot);
  tavik::testing::SnapshotTree(registry, tavik::kHkeyUsers, u"HKU", snapshot);
  std::ofstream out(file, std::ios::binary);
  static const char kDigits[] = "0123456789abcdef";
  for (const auto& [folded, key] : snapshot) {
    out << "K " << Escaped(key.path) << '\n';
    for (const auto& [name, value] : key.values) {
      std::string hex;
      hex.reserve(value.data.size() * 2);
      for (uint8_t b : value.data) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 15]);
      }
      out << "  V " << Escaped(value.name) << " type " << value.type << " : " << hex << '\n';
    }
  }
  return static_cast<bool>(out);
}

// The bulk run: seeds, dumps and fixes with an undo file; meant to be
// killed before it ends.
struct FixResult {
  std::u16string message;   // the summary, "<none>" when none was shown
  std::u16string undoPath;  // empty when no undo file was written
};

// The fix worker over `view` with an undo file, as the window runs it.
FixResult FixWithUndoFile(tavik::Registry& registry, tavik::RecordingResultsView& view) {
  tavik::Win32FileSystem files;
  tavik::Win32SystemInfo system;
  tavik::SharedFlag stop{0};
  tavik::SharedFlag automation{0};
  tavik::RecordingHost host;
  tavik::UndoFile undo(registry, files, system);
  tavik::RepairEnvironment environment{registry, files, system, stop, automation, view, host};
  environment.undo = &undo;
  std::thread worker([&environment] { tavik::FixThreadMain(environment); });
  worker.join();
  return {host.messages.empty() ? std::u16string(u"<none>") : host.messages.back(), undo.path()};
}

int Bulk(tavik::Registry& registry, size_t count, const wchar_t* dump) {
  tavik::RecordingResultsView view;
  if (count == 0 || !SeedBulk(registry, count, view.rows)) return 1;
  if (!WriteDump(registry, dump)) return 1;
  std::printf("fixing %zu rows\n", count);
  std::fflush(stdout);
  FixWithUndoFile(registry, view);
  std::printf("the fix ended: %zu rows left\n", view.rows.size());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  tavik::Win32Registry registry;
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"dump" && argc == 3) return WriteDump(registry, argv[2]) ? 0 : 1;
  if (mode == L"bulk" && argc == 4) return Bulk(registry, std::wcstoul(argv[2], nullptr, 10), argv[3]);
  if (mode == L"bulk-left" && argc == 3) {
    return BulkLeft(registry, std::wcstoul(argv[2], nullptr, 10));
  }
  if (mode != L"fix" || argc != 4) {
    std::printf(
        "usage: tavik-undo-check fix ROWS.tsv DUMP | dump DUMP | bulk COUNT DUMP |"
        " bulk-left COUNT\n");
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  tavik::RecordingResultsView view;
  view.rows = tavik::testing::ParseRows(text.str());
  const size_t scanned = view.rows.size();
  if (!Seed(registry, view.rows)) return 1;
  if (!WriteDump(registry, argv[3])) return 1;

  const size_t rows = view.rows.size();
  const FixResult result = FixWithUndoFile(registry, view);
  const std::string message = tavik::Utf16ToUtf8(result.message);
  std::printf("rows %zu (%zu from the scan), %zu left; %s\n", rows, scanned, view.rows.size(),
              message.c_str());
  // The scan's rows the fix kept (links, and rows naming the same entry
  // twice), for the log; every added row must have been fixed.
  bool seededLeft = false;
  for (const tavik::ResultsRow& left : view.rows) {
    std::printf("left %s\t%s\t%s\t%s\n", tavik::Utf16ToUtf8(left.cells[0]).c_str(),
                tavik::Utf16ToUtf8(left.cells[1]).c_str(), Escaped(left.cells[2]).c_str(),
                Escaped(left.cells[3]).c_str());
    seededLeft |= left.cells[2].starts_with(kSeed);
  }
  if (seededLeft) {
    std::printf("FAIL an added row was not fixed\n");
    return 1;
  }
  RegKey gone = 0;
  if (registry.RegOpenKeyExW(tavik::kHkeyLocalMachine, (std::u16string(kSeed) + u"\\Tree").c_str(),
                             tavik::kKeyRead, &gone) == 0) {
    registry.RegCloseKey(gone);
    std::printf("FAIL the added tree was not deleted\n");
    return 1;
  }
  if (result.undoPath.empty()) {
    std::printf("FAIL no undo file\n");
    return 1;
  }
  std::printf("undo %s\n", tavik::Utf16ToUtf8(result.undoPath).c_str());
  return 0;
}
