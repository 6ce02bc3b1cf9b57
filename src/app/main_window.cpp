#include "app/main_window.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "app/about_dialog.h"
#include "app/automation_link.h"
#include "app/control_ids.h"
#include "app/exclude_dialog.h"
#include "app/exclude_edit.h"
#include "app/scan_options_store.h"
#include "app/settings_dialog.h"
#include "app/skin.h"
#include "app/window_layout.h"
#include "base/text.h"
#include "engine/file_reference.h"
#include "engine/shared_flags.h"
#include "platform/win32/win32_text.h"
#include "scanners/scan_categories.h"

namespace tavik {

namespace {

// Sent by a worker to switch the window between busy and idle on the
// user-interface thread: wParam idle (0/1), lParam stopLocked (0/1).
constexpr UINT kMsgSetBusyState = WM_APP + 1;

// The window's initial and smallest size at 96 dots per inch; scaled with
// the screen so that the laid-out controls never overlap.
constexpr int kMinTrackWidth = 870;
constexpr int kMinTrackHeight = 480;
constexpr DWORD kExecutionBusy = ES_CONTINUOUS | ES_SYSTEM_REQUIRED |
                                 ES_DISPLAY_REQUIRED;
constexpr UINT kMarqueeBusyMs = 50;
constexpr UINT kMarqueeIdleMs = 100;
constexpr DWORD kRegeditDelayMs = 500;
constexpr DWORD kFunctionFailed = 1627;

constexpr wchar_t kRegeditKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";

const wchar_t* const kPrivileges[] = {
    L"SeBackupPrivilege", L"SeRestorePrivilege", L"SeDebugPrivilege",
    L"SeTakeOwnershipPrivilege"};

struct Column {
  const wchar_t* caption;
  int width;
};
constexpr Column kColumns[] = {
    {L"Type", 100}, {L"Root Key", 140}, {L"Path", 200}, {L"Value Name", 100}};

// The screen's dots per inch, read once; 96 without a screen device context.
struct ScreenDpi {
  int x = 96;
  int y = 96;
};
const ScreenDpi& LayoutDpi() {
  static const ScreenDpi dpi = [] {
    ScreenDpi result;
    if (HDC screen = ::GetDC(nullptr)) {
      result.x = ::GetDeviceCaps(screen, LOGPIXELSX);
      result.y = ::GetDeviceCaps(screen, LOGPIXELSY);
      ::ReleaseDC(nullptr, screen);
    }
    return result;
  }();
  return dpi;
}

// 870 by 480 pixels at 96 dots per inch, in proportion above: at a larger
// scale the controls of the bottom row would otherwise overlap.
SIZE MinimumSize() {
  const ScreenDpi& dpi = LayoutDpi();
  return SIZE{MulDivRound(kMinTrackWidth, std::max(dpi.x, 96), 96),
              MulDivRound(kMinTrackHeight, std::max(dpi.y, 96), 96)};
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return ::SendMessageW(window, message, wParam, lParam);
}

}  // namespace

// --- ListViewResults -----------------------------------------------------

namespace {

constexpr size_t kRowsPerBlock = 256;

void InsertItem(HWND list, int32_t index, std::u16string text) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.pszText = AsWide(text.data());
  Send(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void SetItemText(HWND list, int32_t row, int32_t column, std::u16string text) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = AsWide(text.data());
  Send(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
       reinterpret_cast<LPARAM>(&item));
}

void SetItemChecked(HWND list, int32_t row, bool checked) {
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
       reinterpret_cast<LPARAM>(&item));
}

}  // namespace

void ListViewResults::ApplyRows(const std::vector<PendingRow>& rows) {
  for (const PendingRow& row : rows) {
    InsertItem(list_, row.index, row.cells[0]);
    for (int32_t column = 1; column < 4; ++column) {
      if (row.cellSet[static_cast<size_t>(column)]) {
        SetItemText(list_, row.index, column, row.cells[static_cast<size_t>(column)]);
      }
    }
    if (row.checked >= 0) SetItemChecked(list_, row.index, row.checked != 0);
    if (row.tipSet) StoreTip(row.index, row.tip);
  }
}

void ListViewResults::StoreTip(int32_t row, const std::u16string& text) {
  tips_.push_back(text);
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = static_cast<LPARAM>(tips_.size());
  Send(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void ListViewResults::ForgetTip(LPARAM itemData) {
  if (itemData <= 0 || static_cast<size_t>(itemData) > tips_.size()) return;
  std::u16string().swap(tips_[static_cast<size_t>(itemData) - 1]);
}

void ListViewResults::ForgetAllTips() {
  tips_.clear();
  tips_.shrink_to_fit();
}

std::u16string ListViewResults::TipOf(int32_t row) const {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (Send(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == 0 ||
      item.lParam <= 0 || static_cast<size_t>(item.lParam) > tips_.size()) {
    return {};
  }
  return tips_[static_cast<size_t>(item.lParam) - 1];
}

void ListViewResults::SetRowTip(int32_t row, const std::u16string& text) {
  if (OnWorkerThread() && !pending_.empty() && pending_.back().index == row) {
    pending_.back().tip = text;
    pending_.back().tipSet = true;
    return;
  }
  Flush();
  if (OnWorkerThread()) {
    Send(owner_, kMsgSetRowTip, static_cast<WPARAM>(row),
         reinterpret_cast<LPARAM>(&text));
  } else {
    StoreTip(row, text);
  }
}

bool ListViewResults::OnWorkerThread() const {
  return ::GetWindowThreadProcessId(list_, nullptr) != ::GetCurrentThreadId();
}

// The pending rows belong to the worker: the user-interface thread never
// reads them (a double-click during a scan reads the list itself), so every
// test below asks which thread runs before it looks at them.
void ListViewResults::Flush() {
  if (!OnWorkerThread() || pending_.empty()) return;
  Send(owner_, kMsgInsertRows, 0, reinterpret_cast<LPARAM>(&pending_));
  pending_.clear();
}

void ListViewResults::DeleteAllRows() {
  Flush();
  Send(list_, LVM_DELETEALLITEMS);
}

void ListViewResults::SetRedraw(bool enabled) {
  Flush();
  Send(list_, WM_SETREDRAW, enabled ? TRUE : FALSE);
  // Painted before the call returns: a worker that turns redrawing off
  // again right away must not leave the list unpainted.
  if (enabled) {
    ::RedrawWindow(list_, nullptr, nullptr,
                   RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN |
                       RDW_UPDATENOW);
  }
}

void ListViewResults::SetItemCountHint(int32_t count) {
  Flush();
  Send(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(count));
}

void ListViewResults::InsertRow(int32_t index, const std::u16string& typeText) {
  if (!OnWorkerThread()) {
    InsertItem(list_, index, typeText);
    return;
  }
  if (pending_.size() >= kRowsPerBlock) Flush();
  PendingRow row;
  row.index = index;
  row.cells[0] = typeText;
  row.cellSet[0] = true;
  pending_.push_back(std::move(row));
}

void ListViewResults::SetCellText(int32_t row, int32_t column,
                                  const std::u16string& text) {
  if (OnWorkerThread() && !pending_.empty() && pending_.back().index == row &&
      column >= 0 && column < 4) {
    pending_.back().cells[static_cast<size_t>(column)] = text;
    pending_.back().cellSet[static_cast<size_t>(column)] = true;
    return;
  }
  Flush();
  SetItemText(list_, row, column, text);
}

void ListViewResults::SetChecked(int32_t row, bool checked) {
  if (OnWorkerThread() && !pending_.empty() && pending_.back().index == row) {
    pending_.back().checked = checked ? 1 : 0;
    return;
  }
  Flush();
  SetItemChecked(list_, row, checked);
}

int32_t ListViewResults::RowCount() {
  Flush();
  return static_cast<int32_t>(Send(list_, LVM_GETITEMCOUNT));
}

std::u16string ListViewResults::CellText(int32_t row, int32_t column) {
  Flush();
  std::vector<wchar_t> buffer(kTextBufferChars, L'\0');
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer.data();
  item.cchTextMax = static_cast<int>(kTextBufferChars);
  const auto length = static_cast<size_t>(
      Send(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
           reinterpret_cast<LPARAM>(&item)));
  buffer.back() = L'\0';
  const size_t kept = std::min(length, kTextBufferChars - 1);
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()),
                        std::min(kept, std::wcslen(buffer.data())));
}

bool ListViewResults::IsChecked(int32_t row) {
  Flush();
  const auto state = static_cast<UINT>(Send(list_, LVM_GETITEMSTATE,
                                            static_cast<WPARAM>(row),
                                            LVIS_STATEIMAGEMASK));
  return (state >> 12) == 2;
}

void ListViewResults::DeleteRow(int32_t row) {
  Flush();
  Send(list_, LVM_DELETEITEM, static_cast<WPARAM>(row));
}

// --- CRegistryCleanerDlg --------------------------------------------------

CRegistryCleanerDlg::CRegistryCleanerDlg() : CDialog(IDD_MAIN) {
  SkinFramework& skin = Skin();
  skin.AddApplyOptions(1);
  skin.LoadSkin(L"default.cjstyles", nullptr);
  icon_ = static_cast<HICON>(::LoadImageW(
      ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
      0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

CRegistryCleanerDlg::~CRegistryCleanerDlg() {
  if (contextMenu_ != nullptr) ::DestroyMenu(contextMenu_);
}

WorkerLaunch CRegistryCleanerDlg::Launch() {
  return WorkerLaunch{registry_, files_,   system_, StopRequested,
                      AutomationMode, results_, *this, workers_};
}

// From a worker's start until it switches the window idle, the window starts
// no second worker and leaves the results list's rows alone, also before the
// worker's busy switch has disabled the buttons: a fix reads each row in
// several steps, and a row removed or rewritten in between would put another
// row, perhaps an unchecked one, under its index.
bool CRegistryCleanerDlg::RefusedWhileWorkerHolds(int id) const {
  switch (id) {
    case IDC_SCAN:
    case IDC_FIX:
    case IDC_RESTORE_REGISTRY:
    case IDM_EXCLUDE_KEY:
      return workers_.Holding();
    default:
      return false;
  }
}

BOOL CRegistryCleanerDlg::OnInitDialog() {
  results_.Attach(hwnd(), Item(IDC_RESULTS_LIST));

  // The About item of the system menu.
  wchar_t aboutText[256] = {};
  if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutText,
                    static_cast<int>(std::size(aboutText))) > 0) {
    if (HMENU systemMenu = ::GetSystemMenu(hwnd(), FALSE)) {
      ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
    }
  }
  Send(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  Send(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  for (const wchar_t* privilege : kPrivileges) {
    if (EnablePrivilege(privilege) != 0) {
      Inform(hwnd(), L"Unable to get priviledge");
      ::ExitProcess(0);
    }
  }

  InsertColumns();
  LoadScanOptions(registry_, options_);
  const SIZE size = MinimumSize();
  ::SetWindowPos(hwnd(), nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER);

  if (ProcessCommandLine(*this) == -1) {
    AutomationMode = 0;
  } else if (AutomationMode != 0) {
    for (const int id : {IDC_SCAN, IDC_FIX, IDC_STOP, IDC_RESTORE_REGISTRY}) {
      ::EnableWindow(Item(id), FALSE);
    }
  }

  // The banner takes the place of its placeholder; where no browser control
  // can be created the strip stays empty.
  banner_ = CreateBanner(hwnd(), IDC_BANNER);
  LoadBanner(*banner_);
  ::SetWindowLongPtrW(hwnd(), GWL_EXSTYLE,
                      ::GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) |
                          WS_EX_CONTEXTHELP);
  Send(Item(IDC_BACKUP_CHECK), BM_SETCHECK,
       LoadBackupSwitch(registry_) ? BST_CHECKED : BST_UNCHECKED);

  contextMenu_ = ::CreatePopupMenu();
  ::AppendMenuW(contextMenu_, MF_STRING, IDM_EXCLUDE_KEY, L"Exclude Key");
  return TRUE;
}

void CRegistryCleanerDlg::InsertColumns() {
  const HWND list = Item(IDC_RESULTS_LIST);
  int index = 0;
  for (const Column& column : kColumns) {
    LVCOLUMNW lvc{};
    lvc.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    lvc.fmt = LVCFMT_LEFT;
    lvc.cx = column.width;
    lvc.pszText = const_cast<wchar_t*>(column.caption);
    Send(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++),
         reinterpret_cast<LPARAM>(&lvc));
  }
  Send(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
       LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  rowTips_.Attach(hwnd(), list,
                  [this](int32_t row) { return results_.TipOf(row); });
}

// A row's tip says why it is listed; a row without one keeps the list
// view's own tip (its full text when cut).
void CRegistryCleanerDlg::ShowRowTip(NMLVGETINFOTIPW& request) {
  if (request.pszText == nullptr || request.cchTextMax <= 0) return;
  const std::u16string tip = results_.TipOf(request.iItem);
  if (tip.empty()) return;
  const size_t kept =
      std::min(tip.size(), static_cast<size_t>(request.cchTextMax) - 1);
  std::copy_n(reinterpret_cast<const wchar_t*>(tip.data()), kept,
              request.pszText);
  request.pszText[kept] = L'\0';
}

bool CRegistryCleanerDlg::OnCommand(int id, int code, HWND control) {
  if (RefusedWhileWorkerHolds(id)) return true;
  switch (id) {
    case IDC_SCAN:
      StopRequested = 0;
      StartScan();
      return true;
    case IDC_FIX:
      StopRequested = 0;
      StartFix();
      return true;
    case IDC_STOP:
      StopCommand();
      return true;
    case IDC_SETTINGS: {
      CSettings settings(registry_, options_);
      settings.DoModal(hwnd());
      return true;
    }
    case IDC_EXCLUDE_LIST: {
      CExcludeListDialog dialog(files_);
      dialog.DoModal(hwnd());
      return true;
    }
    case IDC_RESTORE_REGISTRY:
      StartRestore();
      return true;
    case IDM_EXCLUDE_KEY:
      ExcludeSelectedRow();
      return true;
    default:
      return CDialog::OnCommand(id, code, control);
  }
}

bool CRegistryCleanerDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                    INT_PTR& result) {
  switch (message) {
    case kMsgSetBusyState:
      ApplyBusyState(wParam != 0, lParam != 0);
      result = TRUE;
      return true;
    case ListViewResults::kMsgInsertRows:
      results_.ApplyRows(
          *reinterpret_cast<const std::vector<ListViewResults::PendingRow>*>(lParam));
      result = TRUE;
      return true;
    case ListViewResults::kMsgSetRowTip:
      results_.StoreTip(static_cast<int32_t>(wParam),
                        *reinterpret_cast<const std::u16string*>(lParam));
      result = TRUE;
      return true;
    case WM_SIZE:
      Layout(LOWORD(lParam), HIWORD(lParam));
      return false;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      const SIZE size = MinimumSize();
      info->ptMinTrackSize = {size.cx, size.cy};
      result = 0;
      return true;
    }
    case WM_TIMER:
      if (wParam == kAutomationTimerId) AutomationTick(*this);
      return false;
    case WM_DESTROY:
      // The browser control goes while its window still exists.
      banner_.reset();
      return false;
    case WM_CLOSE:
      HandleClose(*this);
      result = TRUE;
      return true;
    case WM_WINDOWPOSCHANGING:
      SuppressShow(*reinterpret_cast<WINDOWPOS*>(lParam));
      return false;
    case WM_HELP:
      OpenHelp();
      result = TRUE;
      return true;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CONTEXTHELP) {
        OpenHelp();
        return false;  // the default handling enters context-help mode
      }
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(icon_);
        about.DoModal(hwnd());
        result = TRUE;
        return true;
      }
      return false;
    case WM_PAINT:
      if (!PaintMinimised()) return false;
      result = TRUE;
      return true;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(icon_);
      return true;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (rowTips_.OnNotify(*header)) {
        result = 0;
        return true;
      }
      if (header->idFrom != IDC_RESULTS_LIST) return false;
      result = 0;
      switch (header->code) {
        case NM_DBLCLK:
          OpenInRegistryEditor();
          return true;
        case NM_RCLICK:
          ShowContextMenu();
          return true;
        case LVN_GETINFOTIPW:
          rowTips_.Retire();  // the list view shows its tips itself
          ShowRowTip(*reinterpret_cast<NMLVGETINFOTIPW*>(lParam));
          return true;
        case LVN_DELETEITEM:
          results_.ForgetTip(reinterpret_cast<const NMLISTVIEW*>(lParam)->lParam);
          return true;
        case LVN_DELETEALLITEMS:
          // Every tip goes at once; no LVN_DELETEITEM per row is needed.
          results_.ForgetAllTips();
          result = TRUE;
          return true;
        default:
          return false;
      }
    }
    default:
      return false;
  }
}

void CRegistryCleanerDlg::Layout(int width, int height) {
  if (Item(IDC_RESULTS_LIST) == nullptr) return;
  const ScreenDpi& dpi = LayoutDpi();
  RECT client{};
  ::GetClientRect(hwnd(), &client);
  for (const ControlPlacement& place :
       LayoutMainWindow(client.right, client.bottom, dpi.x, dpi.y)) {
    if (HWND control = Item(place.id)) {
      ::MoveWindow(control, place.x, place.y, place.width, place.height, TRUE);
    }
  }
  (void)height;
  const auto widths = ResultColumnWidths(width);
  for (int column = 0; column < 4; ++column) {
    Send(Item(IDC_RESULTS_LIST), LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
         widths[static_cast<size_t>(column)]);
  }
}

bool CRegistryCleanerDlg::PaintMinimised() {
  if (!::IsIconic(hwnd())) return false;
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(hwnd(), &paint);
  Send(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
  RECT client{};
  ::GetClientRect(hwnd(), &client);
  const int iconWidth = ::GetSystemMetrics(SM_CXICON);
  const int iconHeight = ::GetSystemMetrics(SM_CYICON);
  ::DrawIcon(dc, (client.right - iconWidth + 1) / 2,
             (client.bottom - iconHeight + 1) / 2, icon_);
  ::EndPaint(hwnd(), &paint);
  return true;
}

// --- busy and idle ---------------------------------------------------------

void CRegistryCleanerDlg::SetBusyState(int32_t idle, int32_t stopLocked) {
  // Carried out on the user-interface thread, whichever thread asks.
  Send(hwnd(), kMsgSetBusyState, idle != 0 ? 1 : 0, stopLocked != 0 ? 1 : 0);
  // A worker switches the window idle after its last use of the list.
  if (idle != 0) ReleaseWorkerHold();
}

void CRegistryCleanerDlg::ApplyBusyState(bool idle, bool stopLocked) {
  if (AutomationMode == 0) {
    for (const int id : {IDC_SCAN, IDC_FIX, IDC_SETTINGS, IDC_BACKUP_CHECK,
                         IDC_RESTORE_REGISTRY}) {
      ::EnableWindow(Item(id), idle);
    }
    ::EnableWindow(Item(IDC_STOP), stopLocked ? idle : !idle);
  }
  ::EnableWindow(Item(IDC_EXCLUDE_LIST), idle);
  ::SetWindowTextW(Item(IDC_STOP), L"Stop");
  ::SetThreadExecutionState(idle ? ES_CONTINUOUS : kExecutionBusy);

  const HWND bar = Item(IDC_PROGRESS);
  const LONG_PTR style = ::GetWindowLongPtrW(bar, GWL_STYLE);
  if (!idle) {
    ::SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
    Send(bar, PBM_SETMARQUEE, TRUE, kMarqueeBusyMs);
  } else {
    Send(bar, PBM_SETMARQUEE, FALSE, kMarqueeIdleMs);
    ::SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    ::InvalidateRect(bar, nullptr, TRUE);
  }
}

bool CRegistryCleanerDlg::IsBackupChecked() {
  return Send(Item(IDC_BACKUP_CHECK), BM_GETCHECK) == BST_CHECKED;
}

bool CRegistryCleanerDlg::AskYesNo(const std::u16string& text) {
  return ::MessageBoxW(nullptr, AsWide(text.c_str()), kAppName, MB_YESNO) ==
         IDYES;
}

void CRegistryCleanerDlg::SetTitle(const std::u16string& text) {
  ::SetWindowTextW(hwnd(), AsWide(text.c_str()));
}

void CRegistryCleanerDlg::ShowMessage(const std::u16string& text) {
  ::MessageBoxW(nullptr, AsWide(text.c_str()), kAppName,
                MB_OK | MB_ICONINFORMATION);
}

void CRegistryCleanerDlg::ReportAutomationStatus(const std::u16string& text) {
  tavik::ReportAutomationStatus(text);
}

void CRegistryCleanerDlg::JoinComApartment() {
  // Never left: each worker thread ends with its run.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

// --- commands --------------------------------------------------------------

void CRegistryCleanerDlg::StartScan() {
  StartScanWorker(Launch(), options_, kScanCategories);
}

void CRegistryCleanerDlg::StartFix() { StartFixWorker(Launch()); }

void CRegistryCleanerDlg::StartRestore() { StartRestoreWorker(Launch()); }

void CRegistryCleanerDlg::StopCommand() {
  ::EnableWindow(Item(IDC_STOP), FALSE);
  ::SetWindowTextW(Item(IDC_STOP), L"Please Wait...");
  StopRequested = 1;
}

void CRegistryCleanerDlg::StoreBackupSwitch() {
  tavik::StoreBackupSwitch(registry_, IsBackupChecked());
}

void CRegistryCleanerDlg::OpenHelp() {
  if (const auto path = FileBesideExecutable(files_, u"help\\Registry_Cleaner.chm")) {
    ::ShellExecuteW(nullptr, L"Open", AsWide(path->c_str()), nullptr, nullptr,
                    SW_SHOWMAXIMIZED);
  } else {
    Inform(hwnd(), L"Help not found. Please re-install");
  }
}

int CRegistryCleanerDlg::SelectionMark() const {
  return static_cast<int>(Send(Item(IDC_RESULTS_LIST), LVM_GETSELECTIONMARK));
}

void CRegistryCleanerDlg::OpenInRegistryEditor() {
  const int row = SelectionMark();
  if (row < 0) return;
  std::u16string lastKey = u"Computer\\" + RowKeyText(results_, row);
  // The value is written from a work buffer of 33000 units: a longer key
  // text is cut, never overrun.
  lastKey.resize(std::min(lastKey.size(), kWorkTextMaxChars));
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRegeditKey, 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const LSTATUS written = ::RegSetValueExW(
      key, L"LastKey", 0, REG_SZ,
      reinterpret_cast<const BYTE*>(lastKey.c_str()),
      static_cast<DWORD>((lastKey.size() + 1) * sizeof(char16_t)));
  ::RegCloseKey(key);
  if (written != ERROR_SUCCESS) return;
  ::Sleep(kRegeditDelayMs);
  // Named in full: a bare name would be searched for in the current folder
  // and along PATH first, starting whatever lies there elevated.
  wchar_t windows[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring regedit(windows, length);
  if (regedit.back() != L'\\') regedit += L'\\';
  regedit += L"Regedit.exe";
  ::ShellExecuteW(nullptr, nullptr, regedit.c_str(), nullptr, nullptr, SW_SHOW);
}

void CRegistryCleanerDlg::ShowContextMenu() {
  if (SelectionMark() < 0) return;
  ::EnableMenuItem(contextMenu_, IDM_EXCLUDE_KEY,
                   MF_BYCOMMAND | (workers_.Holding() ? MF_GRAYED : MF_ENABLED));
  POINT cursor{};
  ::GetCursorPos(&cursor);
  ::TrackPopupMenu(contextMenu_, TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x,
                   cursor.y, 0, hwnd(), nullptr);
}

void CRegistryCleanerDlg::ExcludeSelectedRow() {
  if (tavik::ExcludeSelectedRow(files_, results_, SelectionMark(), workers_)) {
    Inform(hwnd(), L"Added Key to the Exclude List");
  }
}

DWORD EnablePrivilege(const wchar_t* name) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(),
                          TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return kFunctionFailed;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
    ::CloseHandle(token);
    return kFunctionFailed;
  }
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const BOOL adjusted = ::AdjustTokenPrivileges(token, FALSE, &privileges, 0,
                                                nullptr, nullptr);
  ::CloseHandle(token);
  return adjusted ? 0 : kFunctionFailed;
}

}  // namespace tavik
