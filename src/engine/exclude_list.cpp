#include "engine/exclude_list.h"

#include "engine/finding.h"
#include "base/text.h"

namespace tavik {

namespace {

constexpr std::u16string_view kExcludeFileName = u"RCExclude.txt";

bool IsValidUtf8WithoutZeros(const std::vector<uint8_t>& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t byte = bytes[i];
    if (byte == 0) return false;
    size_t extra = 0;
    if (byte < 0x80) {
      extra = 0;
    } else if ((byte & 0xE0) == 0xC0) {
      extra = 1;
    } else if ((byte & 0xF0) == 0xE0) {
      extra = 2;
    } else if ((byte & 0xF8) == 0xF0) {
      extra = 3;
    } else {
      return false;
    }
    if (i + extra >= bytes.size() && extra > 0) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// The file's text as UTF-16 units. The program writes UTF-16LE with a
// byte-order mark; a file saved as UTF-8 by an editor (with its mark, or
// without one but then holding no zero byte, which UTF-16LE text of any
// Latin script always has) is read as UTF-8 so that its entries still work.
std::u16string DecodeExcludeText(const std::vector<uint8_t>& bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB &&
      bytes[2] == 0xBF) {
    return Utf8ToUtf16(std::string_view(
        reinterpret_cast<const char*>(bytes.data()) + 3, bytes.size() - 3));
  }
  size_t start = 0;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    start = 2;
  } else if (!bytes.empty() && IsValidUtf8WithoutZeros(bytes)) {
    return Utf8ToUtf16(std::string_view(
        reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  std::u16string text;
  text.reserve((bytes.size() - start) / 2);
  // A last odd byte is not a whole character and is dropped.
  for (size_t i = start; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return text;
}

}  // namespace

std::u16string ExcludeFilePath(FileSystem& files) {
  std::u16string buffer(kTextBufferChars, u'\0');
  const uint32_t length = files.GetModuleFileNameW(
      buffer.data(), static_cast<uint32_t>(kTextBufferChars));
  buffer.resize(std::min<size_t>(length, kTextBufferChars - 1));
  buffer.resize(TextUpToZero(buffer.data(), buffer.size()).size());
  const size_t slash = buffer.rfind(u'\\');
  buffer.resize(slash == std::u16string::npos ? 0 : slash);
  std::u16string path = buffer.empty() ? std::u16string() : buffer + u"\\";
  path.append(kExcludeFileName);
  return path;
}

std::vector<std::u16string> DecodeExcludeLines(
    const std::vector<uint8_t>& bytes) {
  const std::u16string text = DecodeExcludeText(bytes);
  std::vector<std::u16string> lines;
  std::u16string line;
  // Units read since the line began; those beyond the entry limit are read
  // and dropped.
  size_t read = 0;
  // A zero ends the entry's text, as it ends every text; the rest of its
  // line is read and dropped so that it cannot start a new entry.
  bool endedByZero = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      // The text mode reads CR LF as a single line feed.
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      lines.push_back(std::move(line));
      line.clear();
      read = 0;
      endedByZero = false;
      continue;
    }
    if (read++ >= kExcludeEntryMaxChars || endedByZero) continue;
    if (c == 0) {
      endedByZero = true;
      continue;
    }
    line.push_back(c);
  }
  // Reading stops only at a failed read, so the text after the last line
  // break is a line too, even when it is empty.
  lines.push_back(std::move(line));
  return lines;
}

void LoadExcludeList(FileSystem& files, ExcludeList& list) {
  std::vector<uint8_t> bytes;
  if (!files.ReadFileBytes(ExcludeFilePath(files).c_str(), bytes)) return;
  for (auto& line : DecodeExcludeLines(bytes)) list.push_back(std::move(line));
}

int32_t IsExcluded(const ExcludeList* list, RegKey root,
                   std::u16string_view keyPath) {
  if (list == nullptr || list->empty()) return 0;
  std::u16string candidate = RootDisplayName(root);
  if (!candidate.empty()) candidate.push_back(u'\\');
  candidate.append(keyPath);
  for (const auto& line : *list) {
    const std::u16string_view entry = TrimWideSpace(line);
    if (entry.empty() || candidate.size() < entry.size()) continue;
    if (EqualsIgnoreAsciiCase(std::u16string_view(candidate).substr(
                                  0, entry.size()),
                              entry)) {
      return 1;
    }
  }
  return 0;
}

std::vector<uint8_t> EncodeExcludeFile(
    const std::vector<std::u16string>& entries) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  auto put = [&bytes](char16_t c) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) {
      put(u'\r');
      put(u'\n');
    }
    for (const char16_t c : entries[i]) put(c);
  }
  return bytes;
}

bool RewriteExcludeFile(FileSystem& files,
                        const std::vector<std::u16string>& entries) {
  return files.WriteFileBytes(ExcludeFilePath(files).c_str(),
                              EncodeExcludeFile(entries), false);
}

}  // namespace tavik
