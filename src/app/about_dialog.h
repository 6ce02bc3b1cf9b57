// The About box, from the system menu's About item.
#pragma once

#include "app/dialog.h"

namespace tavik {

class CAboutDlg final : public CDialog {
 public:
  explicit CAboutDlg(HICON icon);

 protected:
  BOOL OnInitDialog() override;

 private:
  HICON icon_;
};

}  // namespace tavik
