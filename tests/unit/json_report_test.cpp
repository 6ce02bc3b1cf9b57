#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "app/json_report.h"
#include "base/text.h"

namespace tavik {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST(JsonReport, EveryFindingIsOneLineWhateverItsNameHolds) {
  FindingList list;
  list.findings = {
      {kFindingInvalidValue, kHkeyCurrentUser, u"Run", u"tab\there"},
      {kFindingInvalidValue, kHkeyLocalMachine, u"K\\\"q\"",
       u"line\nbreak\r\nInvalid Value\tHKEY_LOCAL_MACHINE\tFake\tRow"},
      {kFindingInvalidKey, kHkeyClassesRoot, u"CLSID\\{\u00e4\u4e2d}", u""},
      {kFindingInvalidValue, kHkeyUsers, u"\u2028x\u2029", u"\xd800lone"},
      {kFindingInvalidValue, kHkeyCurrentUser, u"k", std::u16string(u"a\0b", 3)},
  };
  list.categories = {2, 1, 9, 0, 4};
  list.reasons = {
      {ReasonKind::kFileMissing, u"C:\\Gone\\tool.exe was not found"},
      {ReasonKind::kKeyEmpty, u"line\nbreak \"quoted\""},
      {ReasonKind::kClassNotRegistered,
       ReasonDetail(u"{\u00e4}", u" was not found in HKEY_CLASSES_ROOT\\CLSID")},
      {ReasonKind::kAppIdNotRegistered, u"\xd800lone"},
      {ReasonKind::kEmptyClassExtension, u""},
  };
  const std::string report = FormatJsonReport(list);
  const auto lines = Lines(report);
  ASSERT_EQ(lines.size(), list.findings.size() + 1) << report;

  const char* types[] = {"Invalid Value", "Invalid Value", "Invalid Key",
                         "Invalid Value", "Invalid Value"};
  const char* roots[] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                         "HKEY_CLASSES_ROOT", "UNKNOWN", "HKEY_CURRENT_USER"};
  const char* categories[] = {"Startup", "SharedDlls", "ClassesAndIds",
                              "Programs", "Fonts"};
  const char* kinds[] = {"file-missing", "key-empty", "class-not-registered",
                         "appid-not-registered", "empty-class-extension"};
  const char* details[] = {
      "C:\\Gone\\tool.exe was not found", "line\nbreak \"quoted\"",
      "{\u00e4} was not found in HKEY_CLASSES_ROOT\\CLSID",
      "\xef\xbf\xbdlone", ""};
  for (size_t i = 0; i < list.findings.size(); ++i) {
    const auto object = nlohmann::json::parse(lines[i]);
    EXPECT_EQ(object.size(), 6u);
    EXPECT_EQ(object.at("type"), types[i]);
    EXPECT_EQ(object.at("root"), roots[i]);
    EXPECT_EQ(object.at("path"), Utf16ToUtf8(list.findings[i].path));
    EXPECT_EQ(object.at("valueName"), Utf16ToUtf8(list.findings[i].valueName));
    EXPECT_EQ(object.at("category"), categories[i]);
    EXPECT_EQ(object.at("reason"),
              nlohmann::json({{"kind", kinds[i]}, {"detail", details[i]}}));
  }
  // The keys come in the documented order, the reason last.
  EXPECT_EQ(lines[0].rfind("{\"type\":", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("\"category\":\"Startup\",\"reason\":{\"kind\":"),
            std::string::npos)
      << lines[0];
  EXPECT_EQ(nlohmann::json::parse(lines.back()),
            nlohmann::json({{"count", 5}}));
  // A lone surrogate cannot be UTF-8: it becomes U+FFFD.
  EXPECT_EQ(nlohmann::json::parse(lines[3]).at("valueName"),
            "\xef\xbf\xbdlone");
}

TEST(JsonReport, EmptyScanIsTheSummaryAlone) {
  EXPECT_EQ(FormatJsonReport(FindingList{}), "{\"count\":0}\n");
}

}  // namespace
}  // namespace tavik
