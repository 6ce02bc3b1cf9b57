// Fuzzes the exclude file decoder with arbitrary file bytes, then the prefix
// test over the decoded list. Besides crashes it checks what must hold for any
// file: no line longer than an entry may be, and every entry that names one of
// the three roots excludes its own key.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/exclude_list.h"
#include "engine/finding.h"
#include "base/text.h"

namespace {

using tavik::RegKey;

constexpr RegKey kRoots[] = {tavik::kHkeyClassesRoot, tavik::kHkeyCurrentUser,
                             tavik::kHkeyLocalMachine};

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const tavik::ExcludeList list = tavik::DecodeExcludeLines(bytes);
  Require(!list.empty());
  for (const auto& line : list) {
    Require(line.size() <= tavik::kExcludeEntryMaxChars);
  }

  for (const auto& line : list) {
    const std::u16string_view entry = tavik::TrimWideSpace(line);
    if (entry.empty()) continue;
    for (const RegKey root : kRoots) {
      const std::u16string prefix = tavik::RootDisplayName(root) + u"\\";
      if (!tavik::StartsWithIgnoreAsciiCase(entry, prefix)) continue;
      const std::u16string_view keyPath = entry.substr(prefix.size());
      Require(tavik::IsExcluded(&list, root, keyPath) == 1);
      // A key below an excluded one is excluded as well.
      Require(tavik::IsExcluded(&list, root,
                                std::u16string(keyPath) + u"\\Sub") == 1);
    }
    // Any other root contributes no prefix: the entry matches the bare path.
    Require(tavik::IsExcluded(&list, 0x12345, entry) == 1);
  }
  // Keys that few inputs would list still get a well-formed answer.
  for (const RegKey root : kRoots) {
    const int32_t answer = tavik::IsExcluded(
        &list, root, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    Require(answer == 0 || answer == 1);
  }

  // What the rewrite writes decodes to the same non-blank entries.
  std::vector<std::u16string> entries;
  for (const auto& line : list) {
    bool breaks = false;
    for (const char16_t c : line) breaks |= (c == u'\r' || c == u'\n');
    if (!breaks) entries.push_back(line);
  }
  if (!entries.empty()) {
    const tavik::ExcludeList again =
        tavik::DecodeExcludeLines(tavik::EncodeExcludeFile(entries));
    Require(again == entries);
  }
  return 0;
}
