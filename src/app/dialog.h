// A small modal dialog layer over the Win32 dialog manager: a dialog class
// names its template, overrides the handlers it needs, and runs with
// DoModal. The dialog procedure finds the object through DWLP_USER.
#pragma once

#include <windows.h>

#include <string>

namespace tavik {

// The program's name: the caption of every message box.
inline constexpr wchar_t kAppName[] = L"Tavik Registry Cleaner";

class CDialog {
 public:
  explicit CDialog(int templateId) : templateId_(templateId) {}
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally; the value given to EndDialog, or -1.
  INT_PTR DoModal(HWND parent);
  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }

 protected:
  // WM_INITDIALOG: true lets the dialog manager set the default focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // WM_COMMAND: true when handled.
  virtual bool OnCommand(int id, int code, HWND control);
  // Every other message: true when handled, with `result` as its answer.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                         INT_PTR& result);
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  void EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }

  // An information message box owned by `owner` (may be null).
  static void Inform(HWND owner, const wchar_t* text);
  // A control's text, read through a buffer of `chars` units.
  std::wstring ItemText(int id, size_t chars) const;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam);
  int templateId_;
  HWND hwnd_ = nullptr;
};

}  // namespace tavik
