// The other-information panel (dialog 103).
#include "host/monitor_window.h"
#include "monitors/monitor_dialogs.h"
#include "resources/resource.h"

namespace vnscope {
namespace {

constexpr int kPanelHeight = 160;
constexpr int kRowHeight = 20;
constexpr int kLabelWidth = 80;
constexpr int kJumpWidth = 60;

// Above the screen's origin, as wide as the engine's client area.
void OnInitDialog(HWND dialog) {
  RECT client{};
  GetClientRect(MonitorOwner(dialog), &client);
  MoveWindow(dialog, 0, -kPanelHeight, client.right, kPanelHeight, TRUE);
}

// Fixed rows: labels and jump button on top, then the three sound fields, then
// two rows of switches in quarters of the width.
void OnSize(HWND dialog, LPARAM lparam) {
  const int w = SizeWidth(lparam);
  const int q = w / 4;
  MoveControl(dialog, IDC_JUMP_LABEL, 0, 0, w - kJumpWidth, kRowHeight);
  MoveControl(dialog, IDC_JUMP, w - kJumpWidth, 1, kJumpWidth, 18);
  const int soundRows[][2] = {{IDC_VOICE_LABEL, IDC_VOICE}, {IDC_BGS_LABEL, IDC_BGS}, {IDC_BGV_LABEL, IDC_BGV}};
  int y = kRowHeight;
  for (const auto& row : soundRows) {
    MoveControl(dialog, row[0], 0, y, kLabelWidth, kRowHeight);
    MoveControl(dialog, row[1], kLabelWidth, y, w - kLabelWidth, kRowHeight);
    y += kRowHeight;
  }
  MoveControl(dialog, IDC_OBJECT_LIST_TEXT, 0, 80, q, kRowHeight);
  MoveControl(dialog, IDC_IMAGE_ERRORS, q, 80, q, kRowHeight);
  MoveControl(dialog, IDC_SHOW_FPS, 2 * q, 80, q, kRowHeight);
  MoveControl(dialog, IDC_GALLERY_OPEN, 3 * q, 80, q, kRowHeight);
  MoveControl(dialog, IDC_FORCE_EXIT_SCENE, 0, 100, 2 * q, kRowHeight);
  MoveControl(dialog, IDC_CHECK_TEXT_LENGTH, 2 * q, 100, q, kRowHeight);
  MoveControl(dialog, IDC_CHECK_ASSETS, 3 * q, 100, q, kRowHeight);
}

}  // namespace

INT_PTR CALLBACK OtherInfoDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_SIZE: OnSize(dialog, lparam); break;
    default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
  }
  return 0;
}

}  // namespace vnscope
