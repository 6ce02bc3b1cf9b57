#include "app/exclude_edit.h"

#include <algorithm>

#include "base/text.h"
#include "engine/exclude_list.h"

namespace tavik {

namespace {

constexpr size_t kMaxRemovedAtOnce = 100;

std::u16string_view CutToWorkBuffer(std::u16string_view text) {
  return text.substr(0, std::min(text.size(), kWorkTextMaxChars));
}

// Text as the C library's UTF-16LE text mode writes it: "\n" becomes CR LF.
void PutTextModeUtf16(std::vector<uint8_t>& bytes, std::u16string_view text) {
  auto put = [&bytes](char16_t c) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  };
  for (const char16_t c : text) {
    if (c == u'\n') put(u'\r');
    put(c);
  }
}

bool IsStartedFile(FileSystem& files, const std::u16string& path,
                   bool& onlyMark) {
  std::vector<uint8_t> existing;
  if (!files.ReadFileBytes(path.c_str(), existing)) return false;
  onlyMark = existing.size() <= 2;
  return !existing.empty();
}

}  // namespace

std::vector<std::u16string> LoadDialogEntries(FileSystem& files) {
  ExcludeList list;
  LoadExcludeList(files, list);
  std::vector<std::u16string> entries;
  for (auto& entry : list) {
    if (!TrimWideSpace(entry).empty()) entries.push_back(std::move(entry));
  }
  return entries;
}

AddOutcome CheckNewExclusion(const std::vector<std::u16string>& listed,
                             std::u16string_view root, std::u16string_view path,
                             std::u16string& exclusion) {
  path = CutToWorkBuffer(path);
  if (path.empty()) return AddOutcome::kNoPath;
  std::u16string joined(CutToWorkBuffer(root));
  joined.push_back(u'\\');
  joined.append(path);
  exclusion = std::u16string(CutToWorkBuffer(joined));
  for (const auto& entry : listed) {
    if (EqualsIgnoreAsciiCase(entry, exclusion)) return AddOutcome::kAlreadyPresent;
  }
  return AddOutcome::kAdded;
}

bool AppendExclusion(FileSystem& files, std::u16string_view exclusion) {
  const std::u16string path = ExcludeFilePath(files);
  bool onlyMark = true;
  std::vector<uint8_t> bytes;
  // Appending in UTF-16LE text mode starts a new or empty file with its
  // byte-order mark.
  if (!IsStartedFile(files, path, onlyMark)) bytes = {0xFF, 0xFE};
  PutTextModeUtf16(bytes, u"\n");
  PutTextModeUtf16(bytes, exclusion);
  return files.WriteFileBytes(path.c_str(), bytes, true);
}

std::vector<int32_t> RemovalPositions(const std::vector<int32_t>& selected) {
  std::vector<int32_t> positions;
  const size_t count = std::min(selected.size(), kMaxRemovedAtOnce);
  for (size_t k = 0; k < count; ++k) {
    positions.push_back(selected[k] - static_cast<int32_t>(k));
  }
  return positions;
}

std::u16string RowKeyText(ResultsView& results, int32_t row) {
  std::u16string text(
      CutToWorkBuffer(results.CellText(row, kColumnRootKey)));
  text.push_back(u'\\');
  text.append(CutToWorkBuffer(results.CellText(row, kColumnPath)));
  return text;
}

bool ExcludeSelectedRow(FileSystem& files, ResultsView& results,
                        int32_t selectionMark, const WorkerGate& workers) {
  if (workers.Holding()) return false;
  const std::u16string path = ExcludeFilePath(files);
  // The command adds only to an exclude file that already exists.
  std::vector<uint8_t> existing;
  if (!files.ReadFileBytes(path.c_str(), existing)) return false;
  if (selectionMark < 0 || selectionMark >= results.RowCount()) return false;

  const std::u16string exclusion = RowKeyText(results, selectionMark);
  std::vector<uint8_t> bytes;
  if (existing.empty()) {
    // An empty file gets its byte-order mark, so that it still reads as
    // UTF-16LE, and the key as its first line.
    bytes = {0xFF, 0xFE};
  } else if (existing.size() != 2) {
    PutTextModeUtf16(bytes, u"\n");
  }
  PutTextModeUtf16(bytes, exclusion);
  if (!files.WriteFileBytes(path.c_str(), bytes, true)) return false;

  // Every row whose key text begins with the exclusion goes, the selected
  // row included.
  const std::u16string lowered = ToLowerAscii(exclusion);
  for (int32_t row = results.RowCount() - 1; row >= 0; --row) {
    if (StartsWithIgnoreAsciiCase(RowKeyText(results, row), lowered)) {
      results.DeleteRow(row);
    }
  }
  return true;
}

}  // namespace tavik
