// The main window: the results list, the command buttons, the backup check
// box and the marquee bar. It starts the workers, and is the ResultsView and
// WorkerHost they use: every change a worker makes reaches the controls as a
// window message handled on the user-interface thread.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/banner.h"
#include "app/dialog.h"
#include "app/row_tip_fallback.h"
#include "app/worker_launch.h"
#include "engine/scan_options.h"
#include "engine/ui_ports.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_info.h"

namespace tavik {

// The results list view, driven with list-view messages. Safe to use from a
// worker thread: SendMessage carries each call out on the list's thread.
// Rows that a worker inserts are gathered into blocks and handed to the
// user-interface thread with one message per block, since a message sent
// across threads costs far more than the insertion itself.
class ListViewResults final : public ResultsView {
 public:
  struct PendingRow {
    int32_t index = 0;
    std::array<std::u16string, 4> cells;
    std::array<bool, 4> cellSet{};
    int checked = -1;  // -1: not set
    std::u16string tip;
    bool tipSet = false;
  };
  // Sent to `owner` with a pointer to the block; the handler calls
  // ApplyRows on the user-interface thread.
  static constexpr UINT kMsgInsertRows = WM_APP + 2;
  // Sent to `owner` with the row and a pointer to the tip's text; the
  // handler calls StoreTip on the user-interface thread.
  static constexpr UINT kMsgSetRowTip = WM_APP + 3;
  void ApplyRows(const std::vector<PendingRow>& rows);

  // The row tips live on the user-interface thread: each row's item data
  // names its tip, which goes when the row goes (LVN_DELETEITEM,
  // LVN_DELETEALLITEMS).
  void StoreTip(int32_t row, const std::u16string& text);
  void ForgetTip(LPARAM itemData);
  void ForgetAllTips();
  // The tip of a row; empty when it has none.
  std::u16string TipOf(int32_t row) const;

  void Attach(HWND owner, HWND list) {
    owner_ = owner;
    list_ = list;
  }
  void DeleteAllRows() override;
  void SetRedraw(bool enabled) override;
  void SetItemCountHint(int32_t count) override;
  void InsertRow(int32_t index, const std::u16string& typeText) override;
  void SetCellText(int32_t row, int32_t column,
                   const std::u16string& text) override;
  void SetChecked(int32_t row, bool checked) override;
  int32_t RowCount() override;
  // Read through a 33000-unit buffer: at most 32999 characters.
  std::u16string CellText(int32_t row, int32_t column) override;
  bool IsChecked(int32_t row) override;
  void DeleteRow(int32_t row) override;
  void SetRowTip(int32_t row, const std::u16string& text) override;

 private:
  bool OnWorkerThread() const;
  void Flush();

  HWND owner_ = nullptr;
  HWND list_ = nullptr;
  // Touched only by the one worker that fills the list, and by the
  // user-interface thread's ApplyRows while that worker waits for its
  // message.
  std::vector<PendingRow> pending_;
  // Touched only on the user-interface thread; an item's data is its slot
  // here plus one (0: no tip).
  std::vector<std::u16string> tips_;
};

class CRegistryCleanerDlg final : public CDialog, public WorkerHost {
 public:
  CRegistryCleanerDlg();
  ~CRegistryCleanerDlg() override;

  // --- WorkerHost (called from worker threads) ---
  void SetBusyState(int32_t idle, int32_t stopLocked) override;
  bool IsBackupChecked() override;
  bool AskYesNo(const std::u16string& text) override;
  void SetTitle(const std::u16string& text) override;
  void ShowMessage(const std::u16string& text) override;
  void ReportAutomationStatus(const std::u16string& text) override;
  void JoinComApartment() override;

  // --- used by the automation link (user-interface thread) ---
  bool WorkerRunning() const { return workers_.Running(); }
  void StartScan();
  void StartFix();
  void StartRestore();
  void StopCommand();
  void StoreBackupSwitch();
  void EndAsCancel() { EndDialog(IDCANCEL); }

  void OpenHelp();

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                 INT_PTR& result) override;
  // Enter starts nothing: the default button is Scan.
  void OnOK() override {}

 private:
  WorkerLaunch Launch();
  bool RefusedWhileWorkerHolds(int id) const;
  void ApplyBusyState(bool idle, bool stopLocked);
  void InsertColumns();
  void Layout(int width, int height);
  void OpenInRegistryEditor();
  void ShowRowTip(NMLVGETINFOTIPW& request);
  void ShowContextMenu();
  void ExcludeSelectedRow();
  bool PaintMinimised();
  int SelectionMark() const;

  HICON icon_ = nullptr;
  HMENU contextMenu_ = nullptr;
  Win32Registry registry_;
  Win32FileSystem files_;
  Win32SystemInfo system_;
  ScanOptions options_;
  ListViewResults results_;
  RowTipFallback rowTips_;
  WorkerGate workers_;
  std::unique_ptr<CExplorer1> banner_;
};

// Enables one privilege in the process token: 0, or 1627 on failure.
DWORD EnablePrivilege(const wchar_t* name);

}  // namespace tavik
