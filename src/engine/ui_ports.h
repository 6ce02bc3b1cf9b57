// The scan and fix workers reach the window only through these interfaces:
// the GUI implements them with window messages, tests and the console tool in
// memory.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

inline constexpr int32_t kColumnType = 0;
inline constexpr int32_t kColumnRootKey = 1;
inline constexpr int32_t kColumnPath = 2;
inline constexpr int32_t kColumnValueName = 3;

// The report-style results list with check boxes.
class ResultsView {
 public:
  virtual ~ResultsView() = default;
  virtual void DeleteAllRows() = 0;
  virtual void SetRedraw(bool enabled) = 0;
  virtual void SetItemCountHint(int32_t count) = 0;
  // Inserts a row at `index` with its column 0 text.
  virtual void InsertRow(int32_t index, const std::u16string& typeText) = 0;
  virtual void SetCellText(int32_t row, int32_t column,
                           const std::u16string& text) = 0;
  virtual void SetChecked(int32_t row, bool checked) = 0;
  virtual int32_t RowCount() = 0;
  virtual std::u16string CellText(int32_t row, int32_t column) = 0;
  virtual bool IsChecked(int32_t row) = 0;
  virtual void DeleteRow(int32_t row) = 0;
  // The text shown when the pointer rests on a row (why it is listed); it
  // goes with the row when the row is deleted. Views without tips ignore it.
  virtual void SetRowTip(int32_t row, const std::u16string& text) {
    (void)row;
    (void)text;
  }
};

// The rest of what a worker does to the window and the automation link.
class WorkerHost {
 public:
  virtual ~WorkerHost() = default;
  // The window's busy/idle switch. idle: 0 = busy, 1 = idle. stopLocked 1
  // keeps the Stop button disabled while busy (a restore cannot be stopped).
  virtual void SetBusyState(int32_t idle, int32_t stopLocked) = 0;
  // Scan and fix runs: busy with a working Stop button; idle again.
  void EnterBusyState() { SetBusyState(0, 0); }
  void EnterIdleState() { SetBusyState(1, 0); }
  // Whether the "Backup Registry Before Fixing" check box is checked.
  virtual bool IsBackupChecked() = 0;
  // A Yes/No message box without icon, captioned "Tavik Registry Cleaner";
  // true when the user answers Yes.
  virtual bool AskYesNo(const std::u16string& text) = 0;
  // Sets the main window's title.
  virtual void SetTitle(const std::u16string& text) = 0;
  // A message box with no owner, caption "Tavik Registry Cleaner",
  // information icon and OK; returns when the user closes it.
  virtual void ShowMessage(const std::u16string& text) = 0;
  // Posts a status text to the automation link (dropped when the link's
  // mutex cannot be had within its time limit).
  virtual void ReportAutomationStatus(const std::u16string& text) = 0;
  // Joins a single-threaded COM apartment on the calling thread.
  virtual void JoinComApartment() = 0;
};

}  // namespace tavik
