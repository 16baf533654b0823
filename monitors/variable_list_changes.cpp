// What the engine changed lately: rows drawn on a light yellow background for
// a few seconds (or until "変更の強調を消す"), and a tooltip over a value cell
// that lists the variable's last values with the time each arrived.
#include <windowsx.h>

#include <algorithm>

#include "monitors/monitor_limits.h"
#include "monitors/variable_list_window.h"
#include "win32/boundary_guard.h"
#include "win32/module.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

constexpr COLORREF kChangedBackground = RGB(255, 243, 176);
// A tooltip breaks lines only when it has a maximum width; this one holds
// the longest line, "HH:MM:SS.mmm  -2147483648", many times over.
constexpr int kTipWidth = 400;

ValueArrival Now() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  const uint32_t timeOfDay =
      ((local.wHour * 60u + local.wMinute) * 60u + local.wSecond) * 1000u + local.wMilliseconds;
  return {GetTickCount64(), timeOfDay};
}

// One timer, due when the oldest highlight ends: highlights end in the order
// their values arrived.
void ArmHighlightTimer(HWND dialog) {
  VariableListState& state = VariableList();
  const std::optional<uint64_t> next = state.store.NextHighlightExpiry();
  state.highlightTimer = next.has_value();
  if (!next) {
    KillTimer(dialog, kHighlightTimerId);
    return;
  }
  const uint64_t now = GetTickCount64();
  const uint64_t delay = *next > now ? std::min(*next - now, kChangeHighlightMs) : 0;
  SetTimer(dialog, kHighlightTimerId, std::max<UINT>(static_cast<UINT>(delay), USER_TIMER_MINIMUM), nullptr);
}

// The pointer moved over the list: a tip shown for another cell goes, so
// that the next one asks for its own text.
void TrackTippedItem(HWND list, LPARAM position) {
  VariableListState& state = VariableList();
  LVHITTESTINFO hit{};
  hit.pt = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  ListView_SubItemHitTest(list, &hit);
  const int item = hit.iItem >= 0 && hit.iSubItem == 1 && (hit.flags & LVHT_ONITEM) ? hit.iItem : -1;
  if (item == state.tippedItem) return;
  state.tippedItem = item;
  SendMessageW(state.tips, TTM_POP, 0, 0);
}

LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(LRESULT{0}, [&]() -> LRESULT {
    VariableListState& state = VariableList();
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && state.tips) {
      if (message == WM_MOUSEMOVE) TrackTippedItem(list, lparam);
      const DWORD where = GetMessagePos();
      MSG relayed{list, message, wparam, lparam, static_cast<DWORD>(GetMessageTime()),
                  {GET_X_LPARAM(where), GET_Y_LPARAM(where)}};
      SendMessageW(state.tips, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
    }
    return state.list.CallPrevious(list, message, wparam, lparam);
  });
}

}  // namespace

void InstallValueTips(HWND dialog) {
  VariableListState& state = VariableList();
  HWND list = ListOf(dialog);
  state.tippedItem = -1;
  state.tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                               ModuleInstance(), nullptr);
  if (!state.tips) return;
  // The whole list is one tool; its text is asked for when the tip shows.
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = dialog;
  tool.uId = reinterpret_cast<UINT_PTR>(list);
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(state.tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(state.tips, TTM_SETMAXTIPWIDTH, 0, kTipWidth);
  state.list.Install(list, ListProc);
}

void RemoveValueTips() {
  VariableListState& state = VariableList();
  state.list.Restore();
  // Owned by the dialog, the tooltip normally went before it.
  if (state.tips && IsWindow(state.tips)) DestroyWindow(state.tips);
  state.tips = nullptr;
  state.tippedItem = -1;
}

void ReceiveEngineValue(HWND dialog, int32_t position, std::u16string_view text) {
  VariableListState& state = VariableList();
  if (!state.store.ReceiveValue(position, text, Now())) return;
  InvalidateRect(ListOf(dialog), nullptr, TRUE);
  if (!state.highlightTimer) ArmHighlightTimer(dialog);
}

void ClearChangeHighlights(HWND dialog) {
  VariableList().store.ClearHighlights();
  ArmHighlightTimer(dialog);
  InvalidateRect(ListOf(dialog), nullptr, TRUE);
}

void OnHighlightTimer(HWND dialog) {
  if (VariableList().store.ExpireHighlights(GetTickCount64())) InvalidateRect(ListOf(dialog), nullptr, TRUE);
  ArmHighlightTimer(dialog);
}

LRESULT OnListCustomDraw(NMLVCUSTOMDRAW* draw) {
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      if (!VariableList().store.RowHighlighted(draw->nmcd.dwItemSpec, GetTickCount64())) return CDRF_DODEFAULT;
      // The cells' text backgrounds, and the row's whole width under them
      // (the state image's place and the gaps between the cells).
      draw->clrTextBk = kChangedBackground;
      RECT row{LVIR_BOUNDS};
      if (SendMessageW(draw->nmcd.hdr.hwndFrom, LVM_GETITEMRECT, draw->nmcd.dwItemSpec,
                       reinterpret_cast<LPARAM>(&row))) {
        SetBkColor(draw->nmcd.hdc, kChangedBackground);
        ExtTextOutW(draw->nmcd.hdc, 0, 0, ETO_OPAQUE, &row, nullptr, 0, nullptr);
      }
      return CDRF_NEWFONT;
    }
    default: return CDRF_DODEFAULT;
  }
}

void OnTipText(NMTTDISPINFOW* request) {
  VariableListState& state = VariableList();
  state.tipText = state.tippedItem < 0 ? std::wstring()
                                       : AsWide(state.store.ValueTip(static_cast<size_t>(state.tippedItem)));
  request->lpszText = state.tipText.data();
}

}  // namespace vnscope
