#include "canvas/layer_list.h"

#include <string>

#include "canvas/layer_stack.h"
#include "win32/module.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

// A floating tool window look without taking the activation from the dialog.
constexpr DWORD kListExStyle = WS_EX_NOACTIVATE | WS_EX_PALETTEWINDOW;
constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME | LBS_EXTENDEDSEL |
                             LBS_WANTKEYBOARDINPUT | LBS_MULTIPLESEL | LBS_NOTIFY;
constexpr int kListRightMargin = 170;
constexpr int kListTop = 10;
constexpr int kListWidth = 160;

void InsertEntry(HWND list, const wchar_t* text, int position = 0) {
  SendMessageW(list, LB_INSERTSTRING, position, reinterpret_cast<LPARAM>(text));
}

std::wstring EntryText(HWND list, int position) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, position, 0);
  if (length == LB_ERR) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(list, LB_GETTEXT, position, reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied == LB_ERR ? 0 : static_cast<size_t>(copied));
  return text;
}

// The entry of stack index `index` among `count` entries.
int EntryOf(int32_t index, int32_t count) { return count - index - 1; }

}  // namespace

HWND CreateLayerList(HWND canvas) {
  HWND list = CreateWindowExW(kListExStyle, L"LISTBOX", L"レイヤー", kListStyle, 0, 0, 0, 0, canvas,
                              nullptr, ModuleInstance(), nullptr);
  if (list == nullptr) return nullptr;
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"レイヤー1"));
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"レイヤー新規作成"));
  SendMessageW(list, LB_SETCURSEL, 0, 0);
  return list;
}

void PlaceLayerList(HWND list, HWND canvas) {
  RECT client{};
  GetClientRect(canvas, &client);
  MoveWindow(list, client.right - kListRightMargin, kListTop, kListWidth, client.bottom / 2, TRUE);
}

void InsertTextLayerEntry(HWND list) { InsertEntry(list, kTextLayerEntry); }

void OnLayerListNotification(HWND list, HWND canvas, UINT code) {
  const auto count = static_cast<int32_t>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  const auto selected = static_cast<int32_t>(SendMessageW(list, LB_GETCURSEL, 0, 0));
  const int32_t index = count - selected - 1;
  if (code == LBN_SELCHANGE) {
    SelectLayer(index);
  } else if (code == LBN_DBLCLK) {
    if (index == 0) {
      wchar_t text[256];
      wsprintfW(text, L"レイヤー%d", count);
      AddLayerAsStep(AsUtf16(text));
      InsertEntry(list, text);
    } else {
      DeleteLayerAsStep(index, AsUtf16(EntryText(list, selected)));
      SendMessageW(list, LB_DELETESTRING, selected, 0);
      Recomposite();
      InvalidateRect(canvas, nullptr, FALSE);
    }
  }
}

void FollowStackChange(HWND list, const StackChange& change) {
  const auto count = static_cast<int32_t>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  if (change.kind == StackChange::Kind::kLayerRemoved) {
    SendMessageW(list, LB_DELETESTRING, EntryOf(change.index, count), 0);
  } else if (change.kind == StackChange::Kind::kLayerInserted) {
    // The entries now stand for one layer fewer than the stack holds.
    InsertEntry(list, AsWide(change.label).c_str(), EntryOf(change.index, count + 1));
  }
}

}  // namespace vnscope
