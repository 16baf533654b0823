#include "report/scene_reading.h"

#include <commctrl.h>

#include <vector>

#include "win32/win32_text.h"

namespace vnscope {
namespace {

std::u16string ListCell(HWND list, int row, int column) {
  wchar_t buffer[kMaxCellLength + 1] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = static_cast<int>(std::size(buffer));
  const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return AsUtf16(std::wstring_view(buffer, static_cast<size_t>(length > 0 ? length : 0)));
}

int ColumnCount(HWND list) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

}  // namespace

ObjectRows ReadObjectRows(HWND list) {
  ObjectRows rows;
  if (!IsWindow(list)) return rows;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  const int columns = ColumnCount(list);
  rows.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (int row = 0; row < count; ++row) {
    std::vector<std::u16string> cells;
    for (int column = 0; column < columns; ++column) {
      std::u16string cell = ListCell(list, row, column);
      if (cell.empty()) break;
      cells.push_back(std::move(cell));
    }
    rows.push_back(std::move(cells));
  }
  return rows;
}

std::u16string ReadWindowText(HWND window, size_t maxChars) {
  if (!IsWindow(window) || maxChars == 0) return {};
  std::wstring text(maxChars + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(maxChars + 1))));
  return AsUtf16(text);
}

std::u16string ReadWholeText(HWND window) {
  if (!IsWindow(window)) return {};
  return ReadWindowText(window, static_cast<size_t>(GetWindowTextLengthW(window)));
}

void InsertAtCaret(HWND edit, std::u16string_view text) {
  const std::wstring wide = AsWide(text);
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
}

}  // namespace vnscope
