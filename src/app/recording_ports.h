// In-memory results list and worker host: the console program and the tests
// collect a scan's rows and messages with them.
#pragma once

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ui_ports.h"

namespace tavik {

struct ResultsRow {
  std::array<std::u16string, 4> cells;
  bool checked = false;
  std::u16string tip;
};

class RecordingResultsView final : public ResultsView {
 public:
  void DeleteAllRows() override { rows.clear(); }
  void SetRedraw(bool enabled) override { redraw = enabled; }
  void SetItemCountHint(int32_t count) override { countHint = count; }
  void InsertRow(int32_t index, const std::u16string& typeText) override;
  void SetCellText(int32_t row, int32_t column,
                   const std::u16string& text) override;
  void SetChecked(int32_t row, bool checked) override;
  void SetRowTip(int32_t row, const std::u16string& text) override;
  int32_t RowCount() override { return static_cast<int32_t>(rows.size()); }
  std::u16string CellText(int32_t row, int32_t column) override;
  bool IsChecked(int32_t row) override;
  void DeleteRow(int32_t row) override;

  std::vector<ResultsRow> rows;
  bool redraw = true;
  int32_t countHint = 0;
};

class RecordingHost final : public WorkerHost {
 public:
  void SetBusyState(int32_t idle, int32_t stopLocked) override {
    if (idle != 0) {
      events.push_back(u"idle");
    } else {
      events.push_back(stopLocked != 0 ? u"busy-stop-locked" : u"busy");
    }
  }
  bool IsBackupChecked() override {
    events.push_back(u"backup-box");
    return backupChecked;
  }
  bool AskYesNo(const std::u16string& text) override {
    events.push_back(u"question:" + text);
    questions.push_back(text);
    return answerYes;
  }
  void SetTitle(const std::u16string& text) override {
    events.push_back(u"title:" + text);
    title = text;
  }
  void ShowMessage(const std::u16string& text) override {
    events.push_back(u"message:" + text);
    messages.push_back(text);
  }
  void ReportAutomationStatus(const std::u16string& text) override {
    events.push_back(u"status:" + text);
    statuses.push_back(text);
  }
  void JoinComApartment() override { events.push_back(u"com"); }

  std::vector<std::u16string> events;
  std::vector<std::u16string> messages;
  std::vector<std::u16string> statuses;
  std::vector<std::u16string> questions;
  std::u16string title = u"Tavik Registry Cleaner";
  // What the host answers: the backup box's state and the Yes/No question.
  bool backupChecked = false;
  bool answerYes = false;
};

// One line per row: the four cell texts separated by tabs, UTF-8, each line
// ended by "\n".
std::string FormatRowsAsTsv(const std::vector<ResultsRow>& rows);

}  // namespace tavik
