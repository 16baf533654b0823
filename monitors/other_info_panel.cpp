// The other-information panel (dialog 103): jump labels, the sounds playing,
// and switches whose every click is reported to the engine, which acts on it.
// The report reads the combo box 1001 (current label) and the edit 1004 (voice).
#include <algorithm>
#include <iterator>
#include <string_view>

#include "monitors/monitor_window.h"
#include "include/vnscope.h"
#include "monitors/monitor_dialogs.h"
#include "resources/resource.h"
#include "win32/boundary_guard.h"
#include "win32/subclass.h"

namespace vnscope {
namespace {

constexpr int kPanelHeight = 160;
constexpr int kRowHeight = 20;
constexpr int kLabelWidth = 80;
constexpr int kJumpWidth = 60;

// The engine reads a label from a fixed 512-byte block: 255 units and a NUL.
constexpr size_t kJumpBlockUnits = 256;

// Window properties on the combo box's edit field: its previous procedure
// and the panel it belongs to.
constexpr wchar_t kPreviousProcProperty[] = L"Wprc";
constexpr wchar_t kPanelProperty[] = L"parent";

enum class Action { kJump, kCheckBox, kButton };

// Which click sends which command to the engine.
struct PanelControl {
  int id;
  ULONG_PTR command;
  Action action;
};

constexpr PanelControl kControls[] = {
    {IDC_JUMP, VN_JUMP_TO_LABEL, Action::kJump},
    {IDC_OBJECT_LIST_TEXT, VN_OBJECT_LIST_TO_TEXT, Action::kCheckBox},
    {IDC_IMAGE_ERRORS, VN_SHOW_IMAGE_ERRORS, Action::kCheckBox},
    {IDC_SHOW_FPS, VN_SHOW_FPS_IN_TITLE, Action::kCheckBox},
    {IDC_GALLERY_OPEN, VN_GALLERY_FULL_OPEN, Action::kButton},
    {IDC_FORCE_EXIT_SCENE, VN_FORCE_EXIT_SCENE, Action::kButton},
    {IDC_CHECK_TEXT_LENGTH, VN_CHECK_TEXT_LENGTH, Action::kButton},
    {IDC_CHECK_ASSETS, VN_CHECK_ASSETS, Action::kButton},
};

// Engine commands that set a text, and the control that shows it.
struct TextCommand {
  ULONG_PTR command;
  int id;
};

constexpr TextCommand kTextCommands[] = {
    {VN_SET_JUMP_LABEL, IDC_JUMP_LABEL},
    {VN_SET_VOICE, IDC_VOICE},
    {VN_SET_BGS, IDC_BGS},
    {VN_SET_BGV, IDC_BGV},
};

// Sent synchronously: the record lives on our stack only during the call.
void SendToEngine(HWND panel, ULONG_PTR command, const void* record, DWORD byteCount) {
  COPYDATASTRUCT data{command, byteCount, const_cast<void*>(record)};
  SendMessageW(MonitorOwner(panel), WM_COPYDATA, reinterpret_cast<WPARAM>(panel),
               reinterpret_cast<LPARAM>(&data));
}

void SendJumpRequest(HWND panel, HWND textSource) {
  wchar_t block[kJumpBlockUnits] = {};
  GetWindowTextW(textSource, block, static_cast<int>(kJumpBlockUnits));
  SendToEngine(panel, VN_JUMP_TO_LABEL, block, sizeof(block));
}

void SendCheckState(HWND panel, const PanelControl& control) {
  HWND box = GetDlgItem(panel, control.id);
  if (!box) return;
  const uint8_t checked = (SendMessageW(box, BM_GETCHECK, 0, 0) & BST_CHECKED) ? 1 : 0;
  SendToEngine(panel, control.command, &checked, sizeof(checked));
}

const PanelControl* FindControl(int id) {
  for (const PanelControl& control : kControls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

// Enter in the combo box's edit field jumps like the button, then hands the
// keyboard to the game.
LRESULT CALLBACK LabelEditProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(LRESULT{0}, [&]() -> LRESULT {
    switch (message) {
      case WM_KEYDOWN:
        if (wparam != VK_RETURN) break;
        if (HWND panel = static_cast<HWND>(GetPropW(edit, kPanelProperty))) {
          SendJumpRequest(panel, edit);
          SetFocus(MonitorOwner(panel));
        }
        return 0;
      case WM_DESTROY:
        RemovePropW(edit, kPanelProperty);
        RemovePropertySubclass(edit, kPreviousProcProperty);
        return 0;
      default:
        break;
    }
    return CallPropertyPrevious(edit, kPreviousProcProperty, message, wparam, lparam);
  });
}

void CheckAndReport(HWND panel, int id) {
  CheckDlgButton(panel, id, BST_CHECKED);
  SendCheckState(panel, *FindControl(id));
}

// Image errors and the frame rate start on, and the engine hears so at once;
// the object list text output starts off and is not announced.
void OnInitDialog(HWND panel) {
  CheckAndReport(panel, IDC_IMAGE_ERRORS);
  CheckAndReport(panel, IDC_SHOW_FPS);
  HWND edit = FindWindowExW(GetDlgItem(panel, IDC_JUMP_LABEL), nullptr, L"Edit", nullptr);
  if (edit && InstallPropertySubclass(edit, LabelEditProc, kPreviousProcProperty)) {
    SetPropW(edit, kPanelProperty, panel);
  }
  RECT client{};
  GetClientRect(MonitorOwner(panel), &client);
  // Above the screen's origin, as wide as the engine's client area.
  MoveWindow(panel, 0, -kPanelHeight, client.right, kPanelHeight, TRUE);
}

// Only clicks count: the whole wParam is the control ID with notification 0,
// so focus notifications of the check boxes and every combo box
// notification pass by.
void OnCommand(HWND panel, WPARAM wparam) {
  const PanelControl* control = wparam <= 0xFFFF ? FindControl(static_cast<int>(wparam)) : nullptr;
  if (!control) return;
  switch (control->action) {
    case Action::kJump: SendJumpRequest(panel, GetDlgItem(panel, IDC_JUMP_LABEL)); break;
    case Action::kCheckBox: SendCheckState(panel, *control); break;
    case Action::kButton: SendToEngine(panel, control->command, nullptr, 0); break;
  }
}

void OnCopyData(HWND panel, const COPYDATASTRUCT* data) {
  if (!data || !data->lpData) return;
  const auto* text = static_cast<const wchar_t*>(data->lpData);
  if (data->dwData == VN_ADD_JUMP_LABEL) {
    SendDlgItemMessageW(panel, IDC_JUMP_LABEL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    return;
  }
  for (const TextCommand& entry : kTextCommands) {
    if (entry.command == data->dwData) SetDlgItemTextW(panel, entry.id, text);
  }
}

// Fixed rows: labels and jump button on top, then the three sound fields, then
// two rows of switches in quarters of the width.
void OnSize(HWND panel, LPARAM lparam) {
  const int w = SizeWidth(lparam);
  const int q = w / 4;
  MoveControl(panel, IDC_JUMP_LABEL, 0, 0, w - kJumpWidth, kRowHeight);
  MoveControl(panel, IDC_JUMP, w - kJumpWidth, 1, kJumpWidth, 18);
  const int soundRows[][2] = {{IDC_VOICE_LABEL, IDC_VOICE}, {IDC_BGS_LABEL, IDC_BGS}, {IDC_BGV_LABEL, IDC_BGV}};
  int y = kRowHeight;
  for (const auto& row : soundRows) {
    MoveControl(panel, row[0], 0, y, kLabelWidth, kRowHeight);
    MoveControl(panel, row[1], kLabelWidth, y, w - kLabelWidth, kRowHeight);
    y += kRowHeight;
  }
  MoveControl(panel, IDC_OBJECT_LIST_TEXT, 0, 80, q, kRowHeight);
  MoveControl(panel, IDC_IMAGE_ERRORS, q, 80, q, kRowHeight);
  MoveControl(panel, IDC_SHOW_FPS, 2 * q, 80, q, kRowHeight);
  MoveControl(panel, IDC_GALLERY_OPEN, 3 * q, 80, q, kRowHeight);
  MoveControl(panel, IDC_FORCE_EXIT_SCENE, 0, 100, 2 * q, kRowHeight);
  MoveControl(panel, IDC_CHECK_TEXT_LENGTH, 2 * q, 100, q, kRowHeight);
  MoveControl(panel, IDC_CHECK_ASSETS, 3 * q, 100, q, kRowHeight);
}

}  // namespace

void JumpToLabel(HWND panel, std::u16string_view label) {
  // The block as JUMP fills it from the combo box: 255 units at most and a NUL.
  wchar_t block[kJumpBlockUnits] = {};
  std::copy_n(label.begin(), std::min(label.size(), kJumpBlockUnits - 1), block);
  SendToEngine(panel, VN_JUMP_TO_LABEL, block, sizeof(block));
}

INT_PTR CALLBACK OtherInfoDialogProc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam) {
  GuardBoundary([&] {
    switch (message) {
      case WM_INITDIALOG: OnInitDialog(panel); break;
      case WM_COMMAND: OnCommand(panel, wparam); break;
      case WM_COPYDATA: OnCopyData(panel, reinterpret_cast<const COPYDATASTRUCT*>(lparam)); break;
      case WM_SIZE: OnSize(panel, lparam); break;
      default: HandleSharedMonitorMessage(panel, message, wparam, lparam); break;
    }
  });
  return 0;
}

}  // namespace vnscope
