#include "app/row_tip_fallback.h"

namespace tavik {
namespace {

constexpr UINT_PTR kSubclassId = 0x7469;  // one per list
// Widest tip before it wraps; a reason's paths are long.
constexpr int kMaxTipWidth = 640;
// The list view's own tip shows after the hover time; this one later.
constexpr UINT kExtraDelayMs = 500;
constexpr int kShownForMs = 30000;

}  // namespace

void RowTipFallback::Attach(HWND owner, HWND list, TipOfRow tipOf) {
  Destroy();
  tooltip_ =
      ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                        nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (tooltip_ == nullptr) return;
  owner_ = owner;
  list_ = list;
  tipOf_ = std::move(tipOf);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(list);
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  if (::SendMessageW(tooltip_, TTM_ADDTOOLW, 0,
                     reinterpret_cast<LPARAM>(&tool)) == FALSE ||
      !::SetWindowSubclass(list, ListProc, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this))) {
    Destroy();
    return;
  }
  ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
  UINT hoverMs = HOVER_DEFAULT;
  if (!::SystemParametersInfoW(SPI_GETMOUSEHOVERTIME, 0, &hoverMs, 0) ||
      hoverMs > 5000) {
    hoverMs = 400;
  }
  ::SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_INITIAL,
                 MAKELPARAM(hoverMs + kExtraDelayMs, 0));
  ::SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP,
                 MAKELPARAM(kShownForMs, 0));
}

bool RowTipFallback::OnNotify(NMHDR& header) {
  if (tooltip_ == nullptr || retired_ || header.hwndFrom != tooltip_) {
    return false;
  }
  if (header.code != TTN_GETDISPINFOW) return false;
  auto& request = reinterpret_cast<NMTTDISPINFOW&>(header);
  POINT point{};
  ::GetCursorPos(&point);
  ::ScreenToClient(list_, &point);
  row_ = RowAt(point);
  const std::u16string tip = row_ >= 0 ? tipOf_(row_) : std::u16string();
  text_.assign(tip.begin(), tip.end());
  // An empty text shows no tip.
  request.hinst = nullptr;
  request.szText[0] = L'\0';
  request.lpszText = text_.data();
  return true;
}

void RowTipFallback::Retire() {
  // Only switched off here: the request arrives while the list handles a
  // message, with the tooltip's own hook on the list possibly under way, so
  // the tooltip goes with the window instead.
  if (tooltip_ == nullptr || retired_) return;
  ::SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
  retired_ = true;
}

void RowTipFallback::Destroy() {
  if (tooltip_ == nullptr) return;
  if (list_ != nullptr && ::IsWindow(list_)) {
    ::RemoveWindowSubclass(list_, ListProc, kSubclassId);
  }
  if (::IsWindow(tooltip_)) ::DestroyWindow(tooltip_);
  tooltip_ = nullptr;
  owner_ = nullptr;
  list_ = nullptr;
  row_ = -1;
  retired_ = false;
}

LRESULT CALLBACK RowTipFallback::ListProc(HWND list, UINT message,
                                          WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR self) {
  auto* tips = reinterpret_cast<RowTipFallback*>(self);
  if (message == WM_MOUSEMOVE && tips->tooltip_ != nullptr && !tips->retired_) {
    // Another row: the shown tip goes, and the next rest asks anew.
    const POINT point{static_cast<short>(LOWORD(lParam)),
                      static_cast<short>(HIWORD(lParam))};
    const int32_t row = tips->RowAt(point);
    if (row != tips->row_) {
      tips->row_ = row;
      // The tooltip knows one tool, the whole list, and asks for its text
      // only when the pointer enters it: a move over a window without a
      // tool takes the pointer out, so that this move brings it in again.
      MSG away{};
      away.hwnd = tips->owner_;
      away.message = WM_MOUSEMOVE;
      ::GetCursorPos(&away.pt);
      ::SendMessageW(tips->tooltip_, TTM_RELAYEVENT, 0,
                     reinterpret_cast<LPARAM>(&away));
    }
  } else if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(list, ListProc, id);
  }
  return ::DefSubclassProc(list, message, wParam, lParam);
}

int32_t RowTipFallback::RowAt(POINT point) const {
  LVHITTESTINFO hit{};
  hit.pt = point;
  if (::SendMessageW(list_, LVM_SUBITEMHITTEST, 0,
                     reinterpret_cast<LPARAM>(&hit)) < 0 ||
      (hit.flags & LVHT_ONITEM) == 0) {
    return -1;
  }
  return hit.iItem;
}

}  // namespace tavik
