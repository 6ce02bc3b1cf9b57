// The worker host and the output of the console program tavik-scan.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/recording_ports.h"
#include "engine/ui_ports.h"

namespace tavik {

// A host without a window: there is nothing to switch between busy and idle,
// the summary that the window would show in a message box is kept for
// printing, and the COM apartment is joined for real because the scanners
// read shell links through COM.
class ConsoleHost final : public WorkerHost {
 public:
  void SetBusyState(int32_t, int32_t) override {}
  // The console program never fixes or restores: no backup, no question.
  bool IsBackupChecked() override { return false; }
  bool AskYesNo(const std::u16string&) override { return false; }
  void SetTitle(const std::u16string&) override {}
  void ShowMessage(const std::u16string& text) override {
    messages.push_back(text);
  }
  void ReportAutomationStatus(const std::u16string& text) override {
    statuses.push_back(text);
  }
  void JoinComApartment() override;

  std::vector<std::u16string> messages;
  std::vector<std::u16string> statuses;
};

// The program's report: one tab-separated line per row, then each message,
// in UTF-8 with "\n" line ends.
std::string FormatScanReport(const std::vector<ResultsRow>& rows,
                             const std::vector<std::u16string>& messages);

enum class OutputStream { kOut, kError };

// Writes UTF-8 text unchanged as bytes to a file or pipe, or as UTF-16
// through the console API when the stream is a console, so that no code
// page or line-end conversion touches it.
bool WriteOutput(OutputStream stream, std::string_view utf8);

}  // namespace tavik
