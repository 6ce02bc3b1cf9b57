#include "app/about_dialog.h"

#include "app/control_ids.h"

namespace tavik {

CAboutDlg::CAboutDlg(HICON icon) : CDialog(IDD_ABOUTBOX), icon_(icon) {}

BOOL CAboutDlg::OnInitDialog() {
  if (icon_ != nullptr) {
    ::SendDlgItemMessageW(hwnd(), IDR_MAINFRAME, STM_SETICON,
                          reinterpret_cast<WPARAM>(icon_), 0);
  }
  return TRUE;
}

}  // namespace tavik
