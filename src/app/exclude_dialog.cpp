#include "app/exclude_dialog.h"

#include "app/control_ids.h"
#include "app/exclude_edit.h"
#include "base/text.h"
#include "engine/exclude_list.h"
#include "platform/win32/win32_text.h"

namespace tavik {

namespace {

constexpr int kMaxSelectedRead = 100;
const wchar_t* const kRootKeys[] = {L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE",
                                    L"HKEY_CLASSES_ROOT"};

std::u16string AsU16(const std::wstring& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.c_str()),
                        text.size());
}

}  // namespace

CExcludeListDialog::CExcludeListDialog(FileSystem& files)
    : CDialog(IDD_EXCLUDE_LIST), files_(files) {}

BOOL CExcludeListDialog::OnInitDialog() {
  const HWND entries = Item(IDC_EXCLUDE_ENTRIES);
  for (const auto& entry : LoadDialogEntries(files_)) {
    ::SendMessageW(entries, LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(AsWide(entry.c_str())));
  }
  const HWND roots = Item(IDC_EXCLUDE_ROOT);
  for (const wchar_t* root : kRootKeys) {
    ::SendMessageW(roots, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(root));
  }
  ::SendMessageW(roots, CB_SETCURSEL, 0, 0);
  return TRUE;
}

bool CExcludeListDialog::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_EXCLUDE_REMOVE:
      Remove();
      return true;
    case IDC_EXCLUDE_CLOSE:
      EndDialog(IDCANCEL);
      return true;
    default:
      return CDialog::OnCommand(id, code, control);
  }
}

std::vector<std::u16string> CExcludeListDialog::ListedEntries() const {
  const HWND entries = Item(IDC_EXCLUDE_ENTRIES);
  const auto count = ::SendMessageW(entries, LB_GETCOUNT, 0, 0);
  std::vector<std::u16string> listed;
  for (LRESULT i = 0; i < count; ++i) {
    const auto length = ::SendMessageW(entries, LB_GETTEXTLEN, i, 0);
    if (length < 0) continue;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const auto got = ::SendMessageW(entries, LB_GETTEXT, i,
                                    reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    listed.push_back(AsU16(text));
  }
  return listed;
}

void CExcludeListDialog::Add() {
  const std::u16string root = AsU16(ItemText(IDC_EXCLUDE_ROOT, kTextBufferChars));
  const std::u16string path = AsU16(ItemText(IDC_EXCLUDE_PATH, kTextBufferChars));
  std::u16string exclusion;
  switch (CheckNewExclusion(ListedEntries(), root, path, exclusion)) {
    case AddOutcome::kNoPath:
      Inform(hwnd(), L"No path entered to exclude");
      return;
    case AddOutcome::kAlreadyPresent:
      Inform(hwnd(), L"Already Present");
      return;
    case AddOutcome::kAdded:
      break;
  }
  ::SendMessageW(Item(IDC_EXCLUDE_ENTRIES), LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(AsWide(exclusion.c_str())));
  // A file that cannot be written keeps the entry in the list box only.
  AppendExclusion(files_, exclusion);
}

void CExcludeListDialog::Remove() {
  const HWND entries = Item(IDC_EXCLUDE_ENTRIES);
  int selected[kMaxSelectedRead] = {};
  const auto got = ::SendMessageW(entries, LB_GETSELITEMS, kMaxSelectedRead,
                                  reinterpret_cast<LPARAM>(selected));
  std::vector<int32_t> indices(selected, selected + (got > 0 ? got : 0));
  for (const int32_t position : RemovalPositions(indices)) {
    ::SendMessageW(entries, LB_DELETESTRING, static_cast<WPARAM>(position), 0);
  }
  RewriteExcludeFile(files_, ListedEntries());
}

}  // namespace tavik
