#include "app/dialog.h"

#include <vector>

namespace tavik {

INT_PTR CDialog::DoModal(HWND parent) {
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr),
                           MAKEINTRESOURCEW(templateId_), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool CDialog::OnCommand(int id, int, HWND) {
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

void CDialog::Inform(HWND owner, const wchar_t* text) {
  ::MessageBoxW(owner, text, kAppName, MB_OK | MB_ICONINFORMATION);
}

std::wstring CDialog::ItemText(int id, size_t chars) const {
  std::vector<wchar_t> buffer(chars, L'\0');
  const int length = ::GetDlgItemTextW(hwnd_, id, buffer.data(),
                                       static_cast<int>(chars));
  return std::wstring(buffer.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
  CDialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_COMMAND &&
      self->OnCommand(LOWORD(wParam), HIWORD(wParam),
                      reinterpret_cast<HWND>(lParam))) {
    return TRUE;
  }
  INT_PTR result = 0;
  if (self->OnMessage(message, wParam, lParam, result)) {
    // Answers of the dialog procedure other than TRUE/FALSE travel in
    // DWLP_MSGRESULT for notifications; the rest are returned directly.
    if (message == WM_NOTIFY || message == WM_GETMINMAXINFO ||
        message == WM_WINDOWPOSCHANGING || message == WM_HELP) {
      ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
    }
    return result;
  }
  return FALSE;
}

}  // namespace tavik
