#include "report/dialog/report_driving.h"

#include <commctrl.h>
#include <png.h>

#include <cstring>
#include <cwchar>

#include "harness/harness.h"
#include "harness/modal_steps.h"
#include "report/debug_report_dialog.h"
#include "resources/resource.h"
#include "win32/module.h"

namespace vnscope::test {

uint32_t TestScreenshot::TopDownPixel(int x, int y) const {
  const uint32_t blue = static_cast<uint8_t>(x * 7);
  const uint32_t green = static_cast<uint8_t>(y * 5);
  const uint32_t red = static_cast<uint8_t>((x + y) * 3) ^ 0x55u;
  return blue | green << 8 | red << 16 | 0xFF000000u;
}

TestScreenshot MakeScreenshot(int width, int height, int bitsPerPixel) {
  TestScreenshot shot;
  shot.width = width;
  shot.height = height;
  shot.bitsPerPixel = bitsPerPixel;
  const int bytes = bitsPerPixel / 8;
  for (int row = height - 1; row >= 0; --row) {
    for (int x = 0; x < width; ++x) {
      // Alpha 0, as a GDI capture leaves it.
      const uint32_t pixel = shot.TopDownPixel(x, row) & 0x00FFFFFFu;
      for (int i = 0; i < bytes; ++i) shot.bottomUp.push_back(static_cast<uint8_t>(pixel >> (8 * i)));
    }
  }
  return shot;
}

ReportInfo MakeReportInfo(const TestScreenshot& shot, const std::wstring& displayed) {
  ReportInfo info{};
  std::memcpy(info.hash, "0123456789abcdef0123456789ABCDEF", 32);
  std::memcpy(info.date, "2026/12/07 19:42:10", 19);
  info.scriptSize = 1843200;
  wcsncpy(info.displayedText, displayed.c_str(), 255);
  info.width = shot.width;
  info.height = shot.height;
  info.bitsPerPixel = shot.bitsPerPixel;
  info.pixels = shot.bottomUp.data();
  return info;
}

bool RunLinkedReport(HWND engine, const MonitorSet* monitors, ReportInfo& info) {
  const HMODULE dll = VnscopeDll::Get().module;
  SetModuleInstance(dll);
  CurrentReportSession() = {monitors, &info};
  ScopedModuleContext context;
  const INT_PTR result =
      DialogBoxParamW(dll, MAKEINTRESOURCEW(IDD_DEBUG_REPORT), engine, DebugReportDialogProc, 0);
  CurrentReportSession() = {};
  return result == 0;
}

namespace {

BOOL CALLBACK SortChild(HWND child, LPARAM context) {
  auto* windows = reinterpret_cast<ReportWindows*>(context);
  const std::wstring name = ClassOf(child);
  if (GetParent(child) != GetParent(windows->tabs)) return TRUE;
  if (lstrcmpiW(name.c_str(), L"Edit") == 0) {
    const bool readOnly = (GetWindowLongW(child, GWL_STYLE) & ES_READONLY) != 0;
    (readOnly ? windows->header : windows->report) = child;
  } else if (name == L"SNAPSHOT") {
    windows->canvas = child;
  }
  return TRUE;
}

}  // namespace

ReportWindows FindReportWindows(HWND dialog) {
  ReportWindows windows;
  windows.tabs = GetDlgItem(dialog, IDC_REPORT_TABS);
  EnumChildWindows(dialog, SortChild, reinterpret_cast<LPARAM>(&windows));
  windows.browser = OwnedWindow(dialog, [](HWND window) { return WindowText(window) == L"レポートブラウザ"; });
  return windows;
}

void FillList(HWND list, const std::vector<std::vector<std::wstring>>& rows) {
  for (int column = ListViewColumnCount(list); column < 6; ++column) {
    LVCOLUMNW info{};
    info.mask = LVCF_WIDTH | LVCF_SUBITEM;
    info.cx = 60;
    info.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
  }
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  for (size_t row = 0; row < rows.size(); ++row) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(row);
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (size_t column = 0; column < rows[row].size(); ++column) {
      LVITEMW cell{};
      cell.iSubItem = static_cast<int>(column);
      cell.pszText = const_cast<wchar_t*>(rows[row][column].c_str());
      SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    }
  }
}

void DrawSegment(HWND canvas, POINT from, POINT to) {
  ClickAt(canvas, from.x, from.y);
  ClickAt(canvas, to.x, to.y);
  RightClickAt(canvas, to.x, to.y);
}

void DrawShape(HWND canvas, UINT tool, POINT from, POINT to) {
  SendMessageW(canvas, WM_COMMAND, tool, 0);
  SendMessageW(canvas, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
  SendMessageW(canvas, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
  SendMessageW(canvas, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
  PumpMessages();
}

std::function<void(HWND)> AcceptConfirm(ConfirmChoice* choice) {
  return [choice](HWND confirm) {
    choice->startedWithText = IsDlgButtonChecked(confirm, IDC_SEND_TEXT) == BST_CHECKED;
    choice->startedWithSnapshot = IsDlgButtonChecked(confirm, IDC_SEND_SNAPSHOT) == BST_CHECKED;
    choice->startedWithGameState = IsDlgButtonChecked(confirm, IDC_SEND_GAME_STATE) == BST_CHECKED;
    SetDlgItemTextW(confirm, IDC_REPORT_TITLE, choice->title.c_str());
    if (choice->sendText) CheckDlgButton(confirm, IDC_SEND_TEXT, *choice->sendText ? BST_CHECKED : BST_UNCHECKED);
    if (choice->sendSnapshot) {
      CheckDlgButton(confirm, IDC_SEND_SNAPSHOT, *choice->sendSnapshot ? BST_CHECKED : BST_UNCHECKED);
    }
    if (choice->sendGameState) {
      CheckDlgButton(confirm, IDC_SEND_GAME_STATE, *choice->sendGameState ? BST_CHECKED : BST_UNCHECKED);
    }
    PressOk(confirm);
  };
}

std::function<void(HWND)> ReadMessage(std::wstring* text) {
  return [text](HWND box) {
    *text = MessageBoxText(box);
    PressOk(box);
  };
}

std::wstring UserName() {
  wchar_t name[257] = {};
  DWORD size = 257;
  GetUserNameW(name, &size);
  return name;
}

std::vector<uint32_t> DecodePng(const std::vector<uint8_t>& png, int* width, int* height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> pixels(size_t{image.width} * image.height);
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  return pixels;
}

}  // namespace vnscope::test
