// The white-space class that trims registry texts and exclude entries must be
// the C runtime's own: the host build's table is compared with the runtime's
// iswspace over every UTF-16 unit, so the two can never drift apart.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

#include "base/text.h"

namespace tavik {
namespace {

std::string Hex(unsigned unit) {
  char text[8];
  std::snprintf(text, sizeof text, "U+%04X", unit);
  return text;
}

TEST(WideSpaceAgreement, TableMatchesTheCRuntimeOverEveryUnit) {
  std::vector<std::string> disagreements;
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    const bool runtime = std::iswspace(static_cast<std::wint_t>(unit)) != 0;
    const auto c = static_cast<char16_t>(unit);
    if (IsWideSpaceByTable(c) != runtime || IsWideSpace(c) != runtime) {
      disagreements.push_back(Hex(unit) + (runtime ? " (runtime: space)"
                                                   : " (runtime: no space)"));
    }
  }
  EXPECT_TRUE(disagreements.empty())
      << disagreements.size() << " units differ, first "
      << disagreements.front();
}

TEST(WideSpaceAgreement, TrimmingUsesTheWholeClass) {
  // A no-break space and an ideographic space around a path are trimmed; a
  // zero-width space (not in the class) is kept.
  EXPECT_EQ(TrimWideSpace(u"\u00A0C:\\a.exe\u3000"), u"C:\\a.exe");
  EXPECT_EQ(TrimWideSpace(u"\u200BC:\\a.exe"), u"\u200BC:\\a.exe");
}

}  // namespace
}  // namespace tavik
