// tavik-bench-registry: writes the synthetic registry of the full-scan
// benchmarks for the Wine run: registry.reg (UTF-16LE with its byte-order
// mark, as regedit reads it whatever the code page), files.txt (Windows paths
// to create, UTF-8, a folder ending in a backslash) and shortcuts.txt (link
// path, a tab, target).
// Usage: tavik-bench-registry SCALE RECENT_FOLDER OUT_DIR
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/text.h"
#include "synthetic_registry.h"

namespace {

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: tavik-bench-registry SCALE RECENT_FOLDER OUT_DIR\n");
    return 2;
  }
  const double scale = std::atof(argv[1]);
  if (!(scale > 0)) {
    std::fprintf(stderr, "tavik-bench-registry: bad scale %s\n", argv[1]);
    return 2;
  }
  const std::string out = argv[3];
  const tavik::bench::SyntheticSize size =
      tavik::bench::SyntheticSize{}.Scaled(scale);
  const auto registry = tavik::bench::MakeSyntheticRegistry(
      size, tavik::Utf8ToUtf16(argv[2]));

  std::string reg = "\xFF\xFE";
  for (const char16_t c : tavik::Utf8ToUtf16(registry.regText)) {
    reg.push_back(static_cast<char>(c & 0xFF));
    reg.push_back(static_cast<char>(c >> 8));
  }
  std::string files;
  for (const auto& path : registry.files) {
    files += tavik::Utf16ToUtf8(path) + "\n";
  }
  std::string shortcuts;
  for (const auto& [link, target] : registry.shortcuts) {
    shortcuts += tavik::Utf16ToUtf8(link) + "\t" + tavik::Utf16ToUtf8(target) + "\n";
  }
  if (!WriteBytes(out + "/registry.reg", reg) ||
      !WriteBytes(out + "/files.txt", files) ||
      !WriteBytes(out + "/shortcuts.txt", shortcuts)) {
    std::fprintf(stderr, "tavik-bench-registry: cannot write to %s\n",
                 out.c_str());
    return 1;
  }
  std::printf("entries=%d\n", size.Entries());
  return 0;
}
