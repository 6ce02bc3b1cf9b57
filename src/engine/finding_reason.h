// Why a finding was made: a kind from one fixed set and the evidence behind
// it, in words a user can check by hand. Reasons travel beside the findings
// and never change which findings are made or their order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace tavik {

// The fixed set of reasons. The names ReasonKindName gives them are part of
// the --json report and stay as they are once released; a new reason is a
// new kind at the end.
enum class ReasonKind : uint8_t {
  // A file the entry names (program, library, driver, font, help file,
  // sound, icon) is not there.
  kFileMissing,
  // A folder the entry names (an install location or source, an installer
  // folder record) is not there.
  kFolderMissing,
  // A recent document's shortcut in the user's Recent folder is gone.
  kShortcutMissing,
  // A recent document's shortcut is there but does not load as a shortcut.
  kShortcutUnreadable,
  // A recent document's shortcut points at a document that is gone.
  kShortcutTargetMissing,
  // A class identifier (CLSID) is registered in none of the six class
  // locations.
  kClassNotRegistered,
  // A program identifier (ProgID) is registered below none of the six
  // classes roots.
  kProgIdNotRegistered,
  // An application identifier (AppID) is registered in none of the six
  // AppID locations.
  kAppIdNotRegistered,
  // A key holds neither values nor subkeys.
  kKeyEmpty,
  // An uninstall entry holds no values at all.
  kUninstallEntryWithoutValues,
  // An uninstall entry has neither an install location nor an uninstall
  // command.
  kUninstallEntryWithoutStrings,
  // An add/remove-programs cache entry has no uninstall entry of its name.
  kCacheEntryWithoutUninstallEntry,
  // A file extension record shows no chosen and no offered program.
  kExtensionNotInUse,
  // A browser extension entry's "ClsidExtension" is empty.
  kEmptyClassExtension,
  // An application path registration names no program (its default value
  // is empty or absent).
  kAppPathWithoutProgram,
};

// A reason's evidence, kept compactly: a scan may hold a hundred thousand.
// The text is held once, in UTF-8 (lone surrogates of registry names kept
// as they are, so the text comes back unchanged), optionally followed by a
// fixed ending that many details share and that is never copied: it must be
// text of static storage, such as a string literal.
class ReasonDetail {
 public:
  ReasonDetail() = default;
  // A detail is its text: each form converts implicitly.
  ReasonDetail(std::u16string_view text);                     // NOLINT
  ReasonDetail(const std::u16string& text)                    // NOLINT
      : ReasonDetail(std::u16string_view(text)) {}
  ReasonDetail(const char16_t* text)                          // NOLINT
      : ReasonDetail(std::u16string_view(text)) {}
  ReasonDetail(std::u16string_view text, const char16_t* staticEnding);
  // The texts one after another, stored as one: no joined copy is made.
  ReasonDetail(std::initializer_list<std::u16string_view> parts,
               const char16_t* staticEnding = nullptr);
  // A detail that is a text of static storage alone, such as a string
  // literal: held without a copy.
  static ReasonDetail Fixed(const char16_t* staticText) {
    return ReasonDetail(std::u16string_view(), staticText);
  }
  ReasonDetail(const ReasonDetail& other);
  ReasonDetail& operator=(const ReasonDetail& other);
  ReasonDetail(ReasonDetail&&) noexcept = default;
  ReasonDetail& operator=(ReasonDetail&&) noexcept = default;

  std::u16string Text() const;
  // The text in UTF-8 (lone surrogates as U+FFFD), for reports.
  std::string Utf8() const;
  operator std::u16string() const { return Text(); }  // NOLINT
  bool empty() const { return text_ == nullptr && ending_ == nullptr; }

 private:
  // Zero-terminated; null for an empty text.
  std::unique_ptr<char[]> text_;
  const char16_t* ending_ = nullptr;
};

struct FindingReason {
  ReasonKind kind = ReasonKind::kFileMissing;
  // The evidence as one sentence: what was looked for, and where.
  ReasonDetail detail;
};

// The kind's name in reports ("file-missing", ...); stable across versions.
std::string_view ReasonKindName(ReasonKind kind);

}  // namespace tavik
