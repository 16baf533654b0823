#include "report/send_report.h"

#include "canvas/layer_stack.h"
#include "report/outbox.h"
#include "report/outbox_sender.h"
#include "report/protocol/report_client.h"
#include "report/protocol/report_types.h"
#include "report/protocol/server_settings_file.h"
#include "report/protocol/system_ansi_codec.h"
#include "report/protocol/winsock_stream.h"
#include "report/game_state_reading.h"
#include "report/report_server.h"
#include "report/scene_reading.h"
#include "resources/resource.h"
#include "win32/boundary_guard.h"
#include "win32/module.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

constexpr wchar_t kMessageCaption[] = L"Debug Report";
// Buffers of the confirmation: the title edit's 256 units and a user name of
// up to 256 characters (UNLEN) with its terminator.
constexpr size_t kTitleChars = 255;
constexpr DWORD kUserNameBuffer = 257;

struct SendState {
  SendChoice choice;
  // The report text edit, read by the confirmation while it runs.
  HWND reportEdit = nullptr;
};

SendState& State() {
  static SendState state;
  return state;
}

void Tell(HWND owner, const wchar_t* text) { MessageBoxW(owner, text, kMessageCaption, MB_OK); }

const wchar_t* ComposeFailureMessage(ComposeStatus status) {
  switch (status) {
    case ComposeStatus::ZipNotStarted: return L"ZIPの生成に失敗しましたorz";
    case ComposeStatus::PngFailed: return L"PNGの生成に失敗しましたorz";
    case ComposeStatus::PackageIncomplete: return L"レポートの作成に失敗しましたorz";
    case ComposeStatus::Composed: break;
  }
  return nullptr;
}

// --- Send confirmation (dialog 111) -----------------------------------------------------

std::u16string CurrentUserName() {
  wchar_t name[kUserNameBuffer] = {};
  DWORD size = kUserNameBuffer;
  if (!GetUserNameW(name, &size)) return {};
  return AsUtf16(name);
}

bool FullyChecked(HWND dialog, int box) { return IsDlgButtonChecked(dialog, box) == BST_CHECKED; }

void OnInitConfirm(HWND dialog) {
  const bool hasText = GetWindowTextLengthW(State().reportEdit) > 0;
  const bool drawn = SnapshotEdited();
  CheckDlgButton(dialog, IDC_SEND_TEXT, hasText ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_SEND_SNAPSHOT, drawn ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_SEND_GAME_STATE, BST_CHECKED);
  if (hasText || drawn) return;
  MessageBoxW(dialog, L"全く編集されていません。", nullptr, MB_OK);
  EndDialog(dialog, -1);
}

void OnAccept(HWND dialog) {
  SendChoice& choice = State().choice;
  choice.title = ReadWindowText(GetDlgItem(dialog, IDC_REPORT_TITLE), kTitleChars);
  choice.reporter = CurrentUserName();
  choice.flags = (FullyChecked(dialog, IDC_SEND_TEXT) ? ReportFlags::HasText : 0) |
                 (FullyChecked(dialog, IDC_SEND_SNAPSHOT) ? ReportFlags::HasSnapshot : 0);
  choice.gameState = FullyChecked(dialog, IDC_SEND_GAME_STATE);
  EndDialog(dialog, 0);
}

void OnConfirmCommand(HWND dialog, WPARAM wparam) {
  switch (LOWORD(wparam)) {
    case IDOK: OnAccept(dialog); break;
    case IDCANCEL: EndDialog(dialog, -1); break;
    default: break;
  }
}

INT_PTR CALLBACK SendConfirmProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  return GuardBoundary(INT_PTR{FALSE}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: OnInitConfirm(dialog); return TRUE;
      case WM_COMMAND: OnConfirmCommand(dialog, wparam); return TRUE;
      default: return FALSE;
    }
  });
}

bool Confirm(const ReportSendSources& sources) {
  State().reportEdit = sources.reportEdit;
  const INT_PTR result = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_SEND_CONFIRM), sources.dialog,
                                         SendConfirmProc, 0);
  return result >= 0;
}

}  // namespace

const SendChoice& LastSendChoice() { return State().choice; }

bool SendReport(const ReportSendSources& sources) {
  if (!Confirm(sources)) return false;
  const SendChoice& choice = State().choice;
  const std::u16string header = ReadWholeText(sources.headerEdit);
  const std::u16string text = ReadWholeText(sources.reportEdit);
  ObjectRows objects;
  PixelBuffer* snapshot = sources.snapshot;
  if (choice.flags & ReportFlags::HasSnapshot) {
    // The canvas's layers go into the dialog's copy in place; a copy that does
    // not match the canvas keeps the plain screenshot.
    if (snapshot && snapshot->pixels) {
      FlattenSnapshot(snapshot->bitsPerPixel, snapshot->width, snapshot->height, snapshot->pixels);
    }
    objects = ReadObjectRows(sources.objectList);
  }

  // The monitors as they are now, after the tester confirmed.
  GameStateEntries gameState;
  if (choice.gameState) gameState = ReadGameState(sources.monitors, sources.game);

  ZipWriter zip;
  PackageView package;
  const ReportParts parts{header, text, snapshot, &objects, sources.reportId, &gameState};
  const ComposeStatus status = ComposeReport(choice, parts, SystemAnsiCodec(), &zip, &package);
  if (status != ComposeStatus::Composed) {
    Tell(sources.dialog, ComposeFailureMessage(status));
    return false;
  }
  WinsockStream stream;
  const SubmitResult sent = SubmitReport(stream, ReportServerEndpoint(), package.data, package.size);
  // Without an answer the report may or may not be on the server; its id
  // makes sending it again safe either way. A refusal is an answer.
  const bool kept = (sent == SubmitResult::NoServer || sent == SubmitResult::BrokenOff) &&
                    KeepInOutbox(sources.reportId, {package.data, package.size});
  zip.Release();
  if (sent == SubmitResult::Stored) {
    SendOutboxNow();  // the server is there: whatever waits goes too
    Tell(sources.dialog, L"レポートの送信に成功しました。");
    return true;
  }
  std::wstring failure = L"レポートの送信に失敗しましたorz";
  if (kept) {
    SendOutboxLater();
    failure += L"\nレポートは送信待ちとして保存しました。サーバーに接続できたときに自動で送信します。";
  }
  // A vnscope.ini that was not used explains why the report went to the
  // built-in server; said once per process.
  if (const std::u16string notice = TakeServerSettingsNotice(); !notice.empty()) {
    failure += L"\n\n" + AsWide(notice);
  }
  Tell(sources.dialog, failure.c_str());
  return false;
}

}  // namespace vnscope
