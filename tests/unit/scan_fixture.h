// A scan context over the in-memory registry and file system.
#pragma once

#include <string>
#include <vector>

#include "engine/finding.h"
#include "engine/scan_context.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"

namespace tavik::testing {

struct ScanFixture {
  explicit ScanFixture(RegistryFlavor flavor = RegistryFlavor::kWindows)
      : registry(flavor) {}

  ScanContext context() { return ScanContext{registry, files, stop, &exclude}; }

  // The findings as "kind|root|path|valueName" lines, for compact checks.
  std::vector<std::u16string> Describe() const {
    std::vector<std::u16string> out;
    for (const auto& f : list.findings) {
      out.push_back(std::u16string(f.kind == 0 ? u"K|" : u"V|") +
                    RootDisplayName(f.root) + u"|" + f.path + u"|" +
                    f.valueName);
    }
    return out;
  }

  MemoryRegistry registry;
  MemoryFileSystem files;
  SharedFlag stop{0};
  ExcludeList exclude;
  FindingList list;
};

}  // namespace tavik::testing
