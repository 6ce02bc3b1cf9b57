// Registry entries as the text of a .reg file that regedit imports
// ("Windows Registry Editor Version 5.00"): a key with its whole tree, or a
// single value, read through the registry seam exactly as stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/registry_key.h"
#include "platform/registry.h"

namespace tavik {

inline constexpr char16_t kRegFileHeader[] =
    u"Windows Registry Editor Version 5.00";

enum class RegExport {
  kWritten,  // the entry's lines were appended
  kAbsent,   // the entry does not exist; nothing appended
  kFailed,   // the entry cannot be written faithfully; `out` is unchanged
};

// What RegQueryInfoKeyW tells of a key: enough to see that it changed.
struct KeyState {
  uint32_t subKeys = 0;
  uint32_t values = 0;
  uint64_t lastWrite = 0;
  bool operator==(const KeyState&) const = default;
};

// The registry's result code of RegQueryInfoKeyW on `key`.
int32_t QueryKeyState(Registry& registry, RegKey key, KeyState* state);

// A key written by a tree export, held open as itself (never as a link), so
// that a deletion through it removes the very key that was written.
struct ExportedKey {
  std::u16string path;  // below the root
  uint32_t depth = 0;   // 0 for the exported key, 1 for its subkeys, ...
  KeyState state;       // the key as its lines were written
  RegistryKey key;
};

// The root's name in a key line ("HKEY_LOCAL_MACHINE"); empty for others.
std::u16string_view RegFileRootName(RegKey root);

// Appends `"name"=data` (or `@=data` for the default value) and CR LF.
// Plain REG_SZ text is quoted; a 4-byte REG_DWORD is `dword:`; every other
// type and every REG_SZ that would not come back byte for byte is hex,
// continued over lines of about 80 characters. False (nothing appended)
// when the name holds a character no .reg line can carry (CR, LF, NUL).
bool AppendRegValueLine(std::u16string& out, std::u16string_view name,
                        uint32_t type, const uint8_t* data, size_t bytes);

// Reads entries for export with buffers kept from one entry to the next.
class RegExporter {
 public:
  explicit RegExporter(Registry& registry);
  // As ExportKeyTree below. When `keys` is given it receives every key
  // written, parents first (root + path itself first), each still open; it
  // is emptied when the export fails.
  RegExport KeyTree(RegKey root, std::u16string_view path, std::u16string& out,
                    std::vector<ExportedKey>* keys = nullptr);
  // As ExportValue below.
  RegExport Value(RegKey root, std::u16string_view path,
                  std::u16string_view valueName, std::u16string& out);
  // The same for `key`, already open (with read access) as root + path.
  RegExport OpenedValue(RegKey key, RegKey root, std::u16string_view path,
                        std::u16string_view valueName, std::u16string& out);

 private:
  bool ExportOpened(RegistryKey key, const std::u16string& keyName,
                    std::u16string& out, uint32_t depth);
  // Appends the key line and values of `key` and lists its subkeys, as one
  // consistent reading: a key that changes while it is read is read again.
  bool ExportKeyLines(RegKey key, const std::u16string& keyName,
                      std::u16string& out, KeyState* state,
                      std::vector<std::u16string>& children);

  // Filled by ExportOpened: every key written, whose key line name loses
  // its root part `keyNameSkip_` units long.
  std::vector<ExportedKey> exported_;
  size_t keyNameSkip_ = 0;

  Registry& registry_;
  std::vector<char16_t> name_;
  std::vector<char16_t> keyName_;
  std::vector<uint8_t> data_;
};

// Appends the key root + path and everything below it, parents first, each
// key as "[ROOT\path]", its values in the order the registry lists them and
// a blank line. A registry link anywhere in the tree, a read that fails or
// a name that cannot be written fails the whole export.
RegExport ExportKeyTree(Registry& registry, RegKey root, std::u16string_view path,
                        std::u16string& out);

// Appends the key line of root + path and the one value `valueName` ("" =
// the default value). kAbsent when the key or the value does not exist.
RegExport ExportValue(Registry& registry, RegKey root, std::u16string_view path,
                      std::u16string_view valueName, std::u16string& out);

// The bytes of a .reg file: UTF-16LE, with the byte-order mark when
// `withBom` is set (the start of a file).
std::vector<uint8_t> EncodeRegText(std::u16string_view text, bool withBom);
// The same into `bytes`, replacing what it held (its room is kept).
void EncodeRegText(std::u16string_view text, bool withBom,
                   std::vector<uint8_t>& bytes);

}  // namespace tavik
