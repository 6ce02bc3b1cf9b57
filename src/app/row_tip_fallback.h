// The results list's row tips where the list view never asks its window
// for them. A list view with LVS_EX_INFOTIP asks with LVN_GETINFOTIPW when
// the pointer rests on a row (Windows' does); Wine's never asks, so this
// tooltip shows the same text there. The first request of the list view
// retires it for good, and it waits longer than the list view's own before
// it shows, so that the two never show together.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <functional>
#include <string>

namespace tavik {

class RowTipFallback {
 public:
  using TipOfRow = std::function<std::u16string(int32_t row)>;

  RowTipFallback() = default;
  RowTipFallback(const RowTipFallback&) = delete;
  RowTipFallback& operator=(const RowTipFallback&) = delete;
  ~RowTipFallback() { Destroy(); }

  // Creates the tooltip for `list`, owned by `owner`, which receives its
  // notifications and hands them to OnNotify.
  void Attach(HWND owner, HWND list, TipOfRow tipOf);
  // True when `header` came from this tooltip and was answered.
  bool OnNotify(NMHDR& header);
  // The list view shows its own tips: this one shows no more.
  void Retire();

 private:
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam,
                                   LPARAM lParam, UINT_PTR id, DWORD_PTR self);
  // Removes the tooltip and its hook on the list.
  void Destroy();
  // The row under a point of the list's client area; -1 for none.
  int32_t RowAt(POINT point) const;

  HWND tooltip_ = nullptr;
  HWND owner_ = nullptr;
  HWND list_ = nullptr;
  TipOfRow tipOf_;
  bool retired_ = false;
  int32_t row_ = -1;   // the row whose tip the tooltip holds
  std::wstring text_;  // handed to the tooltip; lives until the next ask
};

}  // namespace tavik
