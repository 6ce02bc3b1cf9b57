#include "platform/memory/reg_file_loader.h"

#include <optional>
#include <string_view>

#include "base/text.h"

namespace tavik {

namespace {

// Spaces and tabs; regedit ignores them around names, '=' and data.
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

std::u16string_view TrimLeft(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::u16string_view TrimRight(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// True when only blanks or a ; comment remain.
bool IsEndOfLine(std::u16string_view rest) {
  rest = TrimLeft(rest);
  return rest.empty() || rest.front() == u';';
}

std::optional<uint32_t> HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return std::nullopt;
}

// 1 to `maxDigits` hex digits and nothing else.
std::optional<uint32_t> ParseHex(std::u16string_view text, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  uint32_t value = 0;
  for (char16_t c : text) {
    auto digit = HexDigit(c);
    if (!digit) return std::nullopt;
    value = value * 16 + *digit;
  }
  return value;
}

std::u16string DecodeBytes(const std::vector<uint8_t>& bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
  }
  size_t start = 0;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB &&
      bytes[2] == 0xBF) {
    start = 3;
  }
  return Utf8ToUtf16(
      std::string_view(reinterpret_cast<const char*>(bytes.data()) + start,
                       bytes.size() - start));
}

// Reads a double-quoted text starting at `text[0]`, with \\ and \" escapes
// (any other backslash stays as it is). Returns the position after the
// closing quote, or npos when the quote is missing.
size_t ReadQuoted(std::u16string_view text, std::u16string& out) {
  out.clear();
  size_t pos = 1;
  while (pos < text.size()) {
    const char16_t c = text[pos];
    if (c == u'\\' && pos + 1 < text.size() &&
        (text[pos + 1] == u'\\' || text[pos + 1] == u'"')) {
      out.push_back(text[pos + 1]);
      pos += 2;
    } else if (c == u'"') {
      return pos + 1;
    } else {
      out.push_back(c);
      ++pos;
    }
  }
  return std::u16string_view::npos;
}

class RegTextLoader {
 public:
  explicit RegTextLoader(MemoryRegistry& registry) : registry_(registry) {}

  RegLoadResult Load(std::u16string_view text) {
    if (!text.empty() && text.front() == 0xFEFF) text.remove_prefix(1);
    SplitLines(text);
    bool headerSeen = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
      const int lineNumber = static_cast<int>(i) + 1;
      std::u16string line(TrimLeft(lines_[i]));
      if (line.empty()) continue;
      if (!headerSeen) {
        const std::u16string_view header = TrimRight(line);
        if (header != u"Windows Registry Editor Version 5.00" &&
            header != u"REGEDIT4") {
          return Fail(lineNumber, "not a registry file header");
        }
        headerSeen = true;
        continue;
      }
      if (line.front() == u';') continue;
      if (line.front() == u'[') {
        if (!KeyLine(line)) return Fail(lineNumber, error_);
        continue;
      }
      if (line.front() == u'"' || line.front() == u'@') {
        // A trailing backslash continues the data on the next line.
        while (TrimRight(line).ends_with(u'\\') && i + 1 < lines_.size()) {
          // Cut in place: long hex data runs over thousands of lines.
          line.resize(TrimRight(line).size() - 1);
          line += TrimLeft(lines_[++i]);
        }
        if (!ValueLine(line)) return Fail(lineNumber, error_);
        continue;
      }
      return Fail(lineNumber, "unrecognised line");
    }
    if (!headerSeen) return Fail(1, "not a registry file header");
    result_.ok = true;
    return result_;
  }

 private:
  void SplitLines(std::u16string_view text) {
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(u'\n', start);
      if (end == std::u16string_view::npos) end = text.size();
      std::u16string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
      lines_.push_back(line);
      start = end + 1;
    }
  }

  RegLoadResult Fail(int lineNumber, const std::string& message) {
    result_.ok = false;
    result_.error = "line " + std::to_string(lineNumber) + ": " + message;
    return result_;
  }

  bool Error(const char* message) {
    error_ = message;
    return false;
  }

  bool KeyLine(std::u16string_view line) {
    const size_t close = line.rfind(u']');
    if (close == std::u16string_view::npos) {
      return Error("key name without closing bracket");
    }
    std::u16string_view name = line.substr(1, close - 1);
    const bool remove = !name.empty() && name.front() == u'-';
    if (remove) name.remove_prefix(1);
    const size_t slash = name.find(u'\\');
    const std::u16string_view rootName = name.substr(0, slash);
    std::u16string path(slash == std::u16string_view::npos
                            ? std::u16string_view()
                            : name.substr(slash + 1));
    const std::pair<std::u16string_view, RegKey> roots[] = {
        {u"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
        {u"HKLM", kHkeyLocalMachine},
        {u"HKEY_CURRENT_USER", kHkeyCurrentUser},
        {u"HKCU", kHkeyCurrentUser},
        {u"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
        {u"HKCR", kHkeyClassesRoot},
        {u"HKEY_USERS", kHkeyUsers},
        {u"HKU", kHkeyUsers},
    };
    std::optional<RegKey> root;
    for (const auto& [text, key] : roots) {
      if (EqualsIgnoreAsciiCase(rootName, text)) root = key;
    }
    if (!root) return Error("unknown root key");
    if (*root == kHkeyClassesRoot) {
      // Classes go to the machine side, as regedit writes them when the
      // user has no classes key of their own.
      root = kHkeyLocalMachine;
      path =
          path.empty() ? u"Software\\Classes" : u"Software\\Classes\\" + path;
    }
    ++result_.keys;
    if (remove) {
      registry_.DeleteTree(*root, path);
      haveKey_ = false;
      skipValues_ = true;
      return true;
    }
    registry_.CreateKey(*root, path);
    if (!registry_.KeyExists(*root, path)) return Error("cannot create key");
    root_ = *root;
    path_ = path;
    haveKey_ = true;
    skipValues_ = false;
    return true;
  }

  bool ValueLine(std::u16string_view line) {
    std::u16string name;
    size_t pos = 1;
    if (line.front() == u'"') {
      pos = ReadQuoted(line, name);
      if (pos == std::u16string_view::npos) {
        return Error("value name without closing quote");
      }
    }
    std::u16string_view rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != u'=') return Error("missing '='");
    rest = TrimLeft(rest.substr(1));
    if (!haveKey_) {
      // Values of a deleted key are dropped, as regedit does.
      if (skipValues_) return true;
      return Error("value outside any key");
    }
    if (!rest.empty() && rest.front() == u'-' && IsEndOfLine(rest.substr(1))) {
      registry_.DeleteValue(root_, path_, name);
      ++result_.values;
      return true;
    }
    if (!rest.empty() && rest.front() == u'"') {
      std::u16string text;
      const size_t end = ReadQuoted(rest, text);
      if (end == std::u16string_view::npos) {
        return Error("string without closing quote");
      }
      if (!IsEndOfLine(rest.substr(end))) return Error("text after string");
      registry_.SetString(root_, path_, name, text);
      ++result_.values;
      return true;
    }
    if (StartsWithIgnoreAsciiCase(rest, u"dword:")) {
      std::u16string_view digits = rest.substr(6);
      const size_t comment = digits.find(u';');
      digits = TrimRight(digits.substr(0, comment));
      auto number = ParseHex(digits, 8);
      if (!number) return Error("bad dword");
      registry_.SetDword(root_, path_, name, *number);
      ++result_.values;
      return true;
    }
    if (StartsWithIgnoreAsciiCase(rest, u"hex")) return HexValue(name, rest);
    return Error("unrecognised value data");
  }

  bool HexValue(const std::u16string& name, std::u16string_view rest) {
    rest.remove_prefix(3);
    uint32_t type = kRegBinary;
    if (!rest.empty() && rest.front() == u'(') {
      const size_t close = rest.find(u')');
      if (close == std::u16string_view::npos) return Error("bad hex type");
      auto number = ParseHex(rest.substr(1, close - 1), 8);
      if (!number) return Error("bad hex type");
      type = *number;
      rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest.front() != u':') return Error("missing ':'");
    rest.remove_prefix(1);
    rest = rest.substr(0, rest.find(u';'));
    std::vector<uint8_t> data;
    size_t start = 0;
    while (start <= rest.size()) {
      size_t end = rest.find(u',', start);
      const bool last = end == std::u16string_view::npos;
      if (last) end = rest.size();
      const std::u16string_view token =
          TrimRight(TrimLeft(rest.substr(start, end - start)));
      if (token.empty()) {
        // Only the end may be empty: "hex:" and a trailing comma.
        if (!last) return Error("empty byte in hex data");
      } else {
        auto byte = ParseHex(token, 2);
        if (!byte) return Error("bad byte in hex data");
        data.push_back(static_cast<uint8_t>(*byte));
      }
      start = end + 1;
    }
    registry_.SetValue(root_, path_, name, type, std::move(data));
    ++result_.values;
    return true;
  }

  MemoryRegistry& registry_;
  std::vector<std::u16string_view> lines_;
  RegLoadResult result_;
  std::string error_;
  bool haveKey_ = false;
  bool skipValues_ = false;
  RegKey root_ = kHkeyLocalMachine;
  std::u16string path_;
};

}  // namespace

RegLoadResult LoadRegFile(MemoryRegistry& registry,
                          const std::vector<uint8_t>& bytes) {
  return LoadRegText(registry, DecodeBytes(bytes));
}

RegLoadResult LoadRegText(MemoryRegistry& registry,
                          const std::u16string& text) {
  return RegTextLoader(registry).Load(text);
}

}  // namespace tavik
