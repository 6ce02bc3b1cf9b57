// The settings dialog: ten check boxes, one per scan category. It shows the
// stored values and, on OK, writes all ten to the record and the registry.
#pragma once

#include "app/dialog.h"
#include "engine/scan_options.h"
#include "platform/registry.h"

namespace tavik {

class CSettings final : public CDialog {
 public:
  CSettings(Registry& registry, ScanOptions& options);

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  Registry& registry_;
  ScanOptions& options_;
};

}  // namespace tavik
