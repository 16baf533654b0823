// The variable list monitor played as the engine and a tester would: its
// dialog and controls, host messages, and clicks on its cells.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "resources/resource.h"

namespace vnscope::test {

class VariableListTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // Each test starts without a watch list: the next commit reads the file.
    DeleteFileW(WatchFilePath().c_str());
    ASSERT_TRUE(monitors.created());
    dialog = monitors.set().variableList;
    list = GetDlgItem(dialog, IDC_VARIABLE_LIST);
    editor = GetDlgItem(dialog, IDC_VALUE_EDITOR);
    ShowWindow(dialog, SW_SHOWNOACTIVATE);
    PumpMessages();
  }

  void Add(std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names) {
      VariableMessage record{};
      record.text = name;
      SendHostMessage(dialog, VN_ADD_VARIABLE_NAME, &record, sizeof(record));
    }
  }
  void Commit(const std::vector<RegisterMapEntry>& map, DWORD byteCount) {
    SendHostMessage(dialog, VN_COMMIT_VARIABLES, map.empty() ? nullptr : map.data(), byteCount);
    PumpMessages();
  }
  void Commit(const std::vector<RegisterMapEntry>& map = {}) {
    Commit(map, static_cast<DWORD>(map.size() * sizeof(RegisterMapEntry)));
  }
  void SetValue(int32_t position, const wchar_t* text) {
    VariableMessage record{};
    record.position = position;
    record.text = text;
    SendHostMessage(dialog, VN_SET_VARIABLE_VALUE, &record, sizeof(record));
  }

  std::vector<std::wstring> Row(int row) {
    return {ListViewCell(list, row, 0), ListViewCell(list, row, 1), ListViewCell(list, row, 2)};
  }
  std::vector<std::wstring> NameColumn() {
    std::vector<std::wstring> names;
    for (int row = 0; row < ListViewRowCount(list); ++row) names.push_back(ListViewCell(list, row, 0));
    return names;
  }
  // The state image the list view gets with a row's text.
  int StateImage(int row) {
    wchar_t text[64];
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = row;
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return static_cast<int>((item.state & LVIS_STATEIMAGEMASK) >> 12);
  }

  // A real double-click: the monitor reads the cursor position to find the cell.
  void DoubleClickCell(int row, int column) {
    RECT cell{};
    if (column == 0) {
      ListView_GetItemRect(list, row, &cell, LVIR_LABEL);
    } else {
      ListView_GetSubItemRect(list, row, column, LVIR_BOUNDS, &cell);
    }
    DoubleClickInList((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
  }
  void DoubleClickInList(int x, int y) {
    POINT screen{x, y};
    ClientToScreen(list, &screen);
    SetCursorPos(screen.x, screen.y);
    DoubleClickAt(list, x, y);
  }
  bool EditorShown() const { return (GetWindowLongW(editor, GWL_STYLE) & WS_VISIBLE) != 0; }

  // The watch file of this test program, spelled out from its definition:
  // %LOCALAPPDATA%\vnscope\watch\<executable file name>.txt.
  static std::wstring WatchFilePath() {
    wchar_t base[MAX_PATH] = {}, program[MAX_PATH] = {};
    GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring path = program;
    return std::wstring(base) + L"\\vnscope\\watch\\" + path.substr(path.find_last_of(L'\\') + 1) + L".txt";
  }

  ScopedMonitors monitors{engine.window(), 24};
  HWND dialog = nullptr;
  HWND list = nullptr;
  HWND editor = nullptr;
};

}  // namespace vnscope::test
