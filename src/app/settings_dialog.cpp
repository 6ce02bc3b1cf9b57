#include "app/settings_dialog.h"

#include "app/control_ids.h"
#include "app/scan_options_store.h"

namespace tavik {

namespace {

// The check box of each switch, in ScanOptions record order.
constexpr int kBoxIds[kScanCategoryCount] = {
    IDC_SCAN_PROGRAMS,  IDC_SCAN_SHARED_DLLS, IDC_SCAN_STARTUP,
    IDC_SCAN_DRIVERS,   IDC_SCAN_FONTS,       IDC_SCAN_HELP_FILES,
    IDC_SCAN_SOUNDS,    IDC_SCAN_RECENT_DOCUMENTS,
    IDC_SCAN_OBJECTS,   IDC_SCAN_CLASSES};

}  // namespace

CSettings::CSettings(Registry& registry, ScanOptions& options)
    : CDialog(IDD_SETTINGS), registry_(registry), options_(options) {}

BOOL CSettings::OnInitDialog() {
  const SettingsBoxes boxes = LoadSettingsBoxes(registry_);
  for (int index = 0; index < kScanCategoryCount; ++index) {
    ::CheckDlgButton(hwnd(), kBoxIds[index],
                     boxes[static_cast<size_t>(index)] ? BST_CHECKED
                                                       : BST_UNCHECKED);
  }
  return TRUE;
}

void CSettings::OnOK() {
  SettingsBoxes boxes{};
  for (int index = 0; index < kScanCategoryCount; ++index) {
    boxes[static_cast<size_t>(index)] =
        ::IsDlgButtonChecked(hwnd(), kBoxIds[index]) == BST_CHECKED;
  }
  StoreSettingsBoxes(registry_, boxes, options_);
  EndDialog(IDOK);
}

}  // namespace tavik
