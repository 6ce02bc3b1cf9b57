#include "synthetic_registry.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"

namespace tavik::bench {

namespace {

constexpr char kUninstall[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kAppPaths[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr char kRecentDocs[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"
    "\\RecentDocs";
constexpr char kClasses[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";

bool Broken(int i) { return i % 3 == 2; }

std::string Format(const char* format, int i) {
  char text[256];
  std::snprintf(text, sizeof text, format, i);
  return text;
}

std::string ClassId(int i) {
  return Format("{BE0C0000-0000-4000-8000-%012d}", i);
}

// A path as it stands inside a quoted .reg string: backslashes doubled.
std::string RegQuoted(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return "\"" + out + "\"";
}

class RegWriter {
 public:
  RegWriter() { text_ = "Windows Registry Editor Version 5.00\r\n"; }
  void Key(const std::string& path) { text_ += "\r\n[" + path + "]\r\n"; }
  void Default(const std::string& data) {
    text_ += "@=" + RegQuoted(data) + "\r\n";
  }
  void String(const std::string& name, const std::string& data) {
    text_ += RegQuoted(name) + "=" + RegQuoted(data) + "\r\n";
  }
  void Binary(const std::string& name, const std::vector<uint8_t>& bytes) {
    text_ += RegQuoted(name) + "=hex:";
    for (size_t i = 0; i < bytes.size(); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
      if (i > 0) text_ += ",";
      text_ += hex;
    }
    text_ += "\r\n";
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

std::u16string U(const std::string& text) { return Utf8ToUtf16(text); }

}  // namespace

SyntheticSize SyntheticSize::Scaled(double factor) const {
  auto scale = [factor](int n) {
    return std::max(1, static_cast<int>(n * factor + 0.5));
  };
  return {scale(classIds),         scale(progIds),  scale(extensions),
          scale(uninstallEntries), scale(appPaths), scale(recentDocuments)};
}

int SyntheticSize::Entries() const {
  return classIds + progIds + extensions + uninstallEntries + appPaths +
         recentDocuments;
}

SyntheticRegistry MakeSyntheticRegistry(const SyntheticSize& size,
                                        const std::u16string& recentFolder) {
  SyntheticRegistry out;
  RegWriter reg;
  out.files.push_back(u"C:\\BenchFiles\\");

  // COM classes: an in-process server DLL each; broken ones name a DLL that
  // is not there.
  for (int i = 0; i < size.classIds; ++i) {
    const std::string key = std::string(kClasses) + "\\CLSID\\" + ClassId(i);
    reg.Key(key);
    reg.Default(Format("Bench Class %d", i));
    reg.Key(key + "\\InprocServer32");
    const std::string dll = Format(
        Broken(i) ? "C:\\BenchFiles\\Gone\\class%06d.dll"
                  : "C:\\BenchFiles\\Classes\\class%06d.dll",
        i);
    reg.Default(dll);
    reg.String("ThreadingModel", "Apartment");
    if (!Broken(i)) out.files.push_back(U(dll));
  }
  // ProgIDs with a CLSID subkey; broken ones name a class that is not
  // registered.
  for (int i = 0; i < size.progIds; ++i) {
    const std::string key = std::string(kClasses) + Format("\\Bench.Prog%06d", i);
    reg.Key(key);
    reg.Default(Format("Bench Document %d", i));
    reg.Key(key + "\\CLSID");
    reg.Default(Broken(i) ? Format("{BE0C0000-0000-4000-8000-9%011d}", i)
                          : ClassId(i % size.classIds));
  }
  // File extensions whose default value is a ProgID; broken ones name a
  // ProgID that does not exist.
  for (int i = 0; i < size.extensions; ++i) {
    reg.Key(std::string(kClasses) + Format("\\.bx%05d", i));
    reg.Default(Broken(i) ? Format("Bench.GoneProg%06d", i)
                          : Format("Bench.Prog%06d", i % size.progIds));
  }
  // Uninstall entries: a folder, an uninstaller and an icon each; broken
  // ones name a folder and files that are gone.
  for (int i = 0; i < size.uninstallEntries; ++i) {
    reg.Key(std::string(kUninstall) + Format("\\BenchApp%06d", i));
    const std::string folder = Format(
        Broken(i) ? "C:\\BenchFiles\\GoneApps\\app%06d" : "C:\\BenchFiles\\Apps\\app%06d",
        i);
    reg.String("DisplayName", Format("Bench Application %d", i));
    reg.String("InstallLocation", folder);
    reg.String("UninstallString", "\"" + folder + "\\uninst.exe\" /S");
    reg.String("DisplayIcon", folder + "\\app.exe,0");
    if (!Broken(i)) {
      out.files.push_back(U(folder + "\\uninst.exe"));
      out.files.push_back(U(folder + "\\app.exe"));
    }
  }
  // Application paths: the program's full path as default value.
  for (int i = 0; i < size.appPaths; ++i) {
    reg.Key(std::string(kAppPaths) + Format("\\bench%06d.exe", i));
    const std::string program = Format(
        Broken(i) ? "C:\\BenchFiles\\GonePaths\\bench%06d.exe"
                  : "C:\\BenchFiles\\Paths\\bench%06d.exe",
        i);
    reg.Default(program);
    reg.String("Path", program.substr(0, program.rfind('\\')));
    if (!Broken(i)) out.files.push_back(U(program));
  }
  // Recent documents: numbered values whose data begin with the document's
  // name (UTF-16, zero-ended, then other bytes), as Explorer stores them, in
  // the top key and in one subkey per extension; MRUListEx is skipped by the
  // scan. Valid ones have a shortcut in the Recent folder that resolves to
  // an existing document; broken ones have none.
  const std::string extensions[] = {"txt", "docx", "pdf"};
  for (int part = -1; part < 3; ++part) {
    reg.Key(part < 0 ? std::string(kRecentDocs)
                     : std::string(kRecentDocs) + "\\." + extensions[part]);
    for (int i = 0; i < size.recentDocuments; ++i) {
      if (i % 4 != part + 1) continue;
      const std::string name = Format("report%06d.", i) + extensions[i % 3];
      std::vector<uint8_t> data;
      for (const char16_t c : U(name)) {
        data.push_back(static_cast<uint8_t>(c & 0xFF));
        data.push_back(static_cast<uint8_t>(c >> 8));
      }
      for (const uint8_t tail : {0, 0, 0x14, 0, 0x1F, 0x50}) data.push_back(tail);
      reg.Binary(std::to_string(i), data);
      if (!Broken(i)) {
        const std::u16string document = U("C:\\BenchFiles\\Documents\\" + name);
        out.files.push_back(document);
        out.shortcuts.emplace_back(recentFolder + u"\\" + U(name) + u".lnk",
                                   document);
      }
    }
    reg.Binary("MRUListEx", {0xFF, 0xFF, 0xFF, 0xFF});
  }
  out.regText = reg.Take();
  return out;
}

}  // namespace tavik::bench
