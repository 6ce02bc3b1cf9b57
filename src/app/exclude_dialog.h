// The exclude list dialog: adds root key + path exclusions and removes
// selected ones; every change reaches the exclude file at once.
#pragma once

#include <string>
#include <vector>

#include "app/dialog.h"
#include "platform/file_system.h"

namespace tavik {

class CExcludeListDialog final : public CDialog {
 public:
  explicit CExcludeListDialog(FileSystem& files);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  // The Add button has id 1: Enter adds.
  void OnOK() override { Add(); }

 private:
  void Add();
  void Remove();
  std::vector<std::u16string> ListedEntries() const;

  FileSystem& files_;
};

}  // namespace tavik
