#include "browser/report_preview.h"

#include <cstring>
#include <string>

#include "report/protocol/system_ansi_codec.h"
#include "report/protocol/winsock_stream.h"
#include "resources/resource.h"
#include "win32/boundary_guard.h"
#include "win32/module.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

// One per preview window, made at WM_INITDIALOG and freed with the window.
struct PreviewState {
  ServerEndpoint server;
};

PreviewState* StateOf(HWND dialog) {
  return reinterpret_cast<PreviewState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void SetCaretToEnd(HWND edit) {
  const int length = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, length, length);
}

void OnInitDialog(HWND dialog, const ServerEndpoint* server) {
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(new PreviewState{*server}));
  // Lift the 32K default of multi-line edits: EM_REPLACESEL obeys it, so a
  // long report would otherwise lose its line break.
  SendDlgItemMessageW(dialog, IDC_PREVIEW_TEXT, EM_SETLIMITTEXT, 0, 0);
}

// The name the browser sent: ANSI bytes up to the first 0, never past the
// byte count, so a missing terminator cannot run the read off the block.
bool RequestedName(const COPYDATASTRUCT& data, std::u16string* name) {
  if (data.dwData != 0 || data.lpData == nullptr || data.cbData == 0) return false;
  const auto* bytes = static_cast<const char*>(data.lpData);
  const void* terminator = std::memchr(bytes, 0, data.cbData);
  const size_t length = terminator != nullptr ? static_cast<const char*>(terminator) - bytes : data.cbData;
  *name = AnsiToUtf16(std::string_view(bytes, length));
  return true;
}

void OnCopyData(HWND dialog, const COPYDATASTRUCT* data) {
  std::u16string name;
  const PreviewState* state = StateOf(dialog);
  if (data == nullptr || state == nullptr || !RequestedName(*data, &name)) return;
  HWND text = GetDlgItem(dialog, IDC_PREVIEW_TEXT);
  ReportTextSink sink;
  sink.on_text = [text](const std::u16string& received) {
    SetWindowTextW(text, AsWide(received).c_str());
    SetCaretToEnd(text);
  };
  sink.on_line_break = [text] { SendMessageW(text, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"\r\n")); };
  WinsockStream stream;
  if (!FetchReport(stream, state->server, SystemAnsiCodec(), name, sink)) {
    MessageBoxW(dialog, L"レポートの受信に失敗しましたorz", nullptr, MB_OK);
  }
}

// The notes edit takes the bottom quarter; only it is repainted, since the
// text edit above keeps its contents and width changes repaint it anyway.
void OnSize(HWND dialog, int width, int height) {
  const int notes = height / 4;
  MoveWindow(GetDlgItem(dialog, IDC_PREVIEW_TEXT), 0, 0, width, height - notes, FALSE);
  MoveWindow(GetDlgItem(dialog, IDC_PREVIEW_NOTES), 0, height - notes, width, notes, TRUE);
}

void OnClose(HWND dialog) { ShowWindow(dialog, SW_HIDE); }

void OnNcDestroy(HWND dialog) {
  delete StateOf(dialog);
  SetWindowLongPtrW(dialog, DWLP_USER, 0);
}

INT_PTR CALLBACK ReportPreviewProc(HWND dialog, UINT message, WPARAM, LPARAM lparam) {
  return GuardBoundary(INT_PTR{FALSE}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: OnInitDialog(dialog, reinterpret_cast<const ServerEndpoint*>(lparam)); return TRUE;
      case WM_COPYDATA:
        OnCopyData(dialog, reinterpret_cast<const COPYDATASTRUCT*>(lparam));
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
        return TRUE;
      case WM_SIZE: OnSize(dialog, LOWORD(lparam), HIWORD(lparam)); return TRUE;
      case WM_CLOSE: OnClose(dialog); return TRUE;
      case WM_NCDESTROY: OnNcDestroy(dialog); return FALSE;
      default: return FALSE;
    }
  });
}

}  // namespace

HWND CreateReportPreview(HWND owner, const ServerEndpoint& server) {
  ScopedModuleContext context;
  return CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_REPORT_PREVIEW), owner,
                            ReportPreviewProc, reinterpret_cast<LPARAM>(&server));
}

}  // namespace vnscope
