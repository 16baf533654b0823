#include "canvas/layer_list.h"


#include "canvas/layer_stack.h"
#include "win32/module.h"

namespace vnscope {
namespace {

// A floating tool window look without taking the activation from the dialog.
constexpr DWORD kListExStyle = WS_EX_NOACTIVATE | WS_EX_PALETTEWINDOW;
constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME | LBS_EXTENDEDSEL |
                             LBS_WANTKEYBOARDINPUT | LBS_MULTIPLESEL | LBS_NOTIFY;
constexpr int kListRightMargin = 170;
constexpr int kListTop = 10;
constexpr int kListWidth = 160;

void InsertEntry(HWND list, const wchar_t* text) {
  SendMessageW(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text));
}

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

void InsertTextLayerEntry(HWND list) { InsertEntry(list, L"テキストレイヤー"); }

void OnLayerListNotification(HWND list, HWND canvas, UINT code) {
  const auto count = static_cast<int32_t>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  const auto selected = static_cast<int32_t>(SendMessageW(list, LB_GETCURSEL, 0, 0));
  const int32_t index = count - selected - 1;
  if (code == LBN_SELCHANGE) {
    SelectLayer(index);
  } else if (code == LBN_DBLCLK) {
    if (index == 0) {
      AddLayer();
      wchar_t text[256];
      wsprintfW(text, L"レイヤー%d", count);
      InsertEntry(list, text);
    } else {
      DeleteLayer(index);
      SendMessageW(list, LB_DELETESTRING, selected, 0);
      Recomposite();
      InvalidateRect(canvas, nullptr, FALSE);
    }
  }
}

}  // namespace vnscope
