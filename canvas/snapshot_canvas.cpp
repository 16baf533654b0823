#include "canvas/snapshot_canvas.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "canvas/canvas_menu.h"
#include "canvas/edit_history.h"
#include "canvas/layer_list.h"
#include "canvas/layer_stack.h"
#include "canvas/mosaic.h"
#include "canvas/rasteriser.h"
#include "canvas/shapes.h"
#include "canvas/text_layer.h"
#include "canvas/text_render.h"
#include "win32/boundary_guard.h"
#include "win32/module.h"
#include "win32/unique_handle.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

constexpr UINT_PTR kRepaintTimer = 1;
// Repaints the canvas and moves the text box's frame on by one pixel.
constexpr UINT kRepaintPeriodMs = 100;
constexpr int kFramePhases = 8;

// What the one canvas window holds; reset by every new window.
struct CanvasWindowState {
  HWND window = nullptr;
  HDC dc = nullptr;  // the class's own DC: what is selected into it stays
  const uint8_t* pixelSource = nullptr;
  CanvasView view;
  UINT tool = kLineToolCommand;
  bool dragging = false;
  CanvasPoint dragAnchor;
  UniqueRegion textBox;
  int framePhase = 0;
  UniqueMenu popup;
  HWND layerList = nullptr;
  UniqueFont font;
  HGDIOBJ fontBefore = nullptr;
  // The character message a shortcut's key brings after it (Ctrl+Z brings
  // U+001A), which is not typing; 0 when none is due.
  WPARAM shortcutCharacter = 0;
};

CanvasWindowState& Canvas() {
  static CanvasWindowState state;
  return state;
}

bool KeyDown(int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; }

// A key's state as of the keyboard message being handled.
bool HeldWithMessage(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// The tools that draw from the press to the release of one drag.
bool IsDragShapeTool(UINT tool) {
  return tool == kRectangleToolCommand || tool == kArrowToolCommand || tool == kMosaicToolCommand;
}

// Mouse positions as signed values: during capture a position left of or
// above the window is negative, not a large positive number.
CanvasPoint PositionOf(LPARAM lparam) { return {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}; }

void PaintComposite(HDC dc) {
  const CanvasWindowState& canvas = Canvas();
  const Layer& composite = CompositeImage();
  if (composite.pixels.empty()) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = composite.width;
  info.bmiHeader.biHeight = -composite.height;  // rows top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const CanvasPoint origin = ImageOrigin(canvas.view);
  StretchDIBits(dc, origin.x, origin.y, composite.width * canvas.view.zoom,
                composite.height * canvas.view.zoom, 0, 0, composite.width, composite.height,
                composite.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

// Diagonal black and white stripes four pixels wide; the phase moves them.
void FrameTextBox(HDC dc) {
  const CanvasWindowState& canvas = Canvas();
  WORD rows[kFramePhases];
  for (int row = 0; row < kFramePhases; ++row) {
    const int turn = (canvas.framePhase + row) % 8;
    rows[row] = static_cast<BYTE>((0x0F << turn) | (0x0F >> (8 - turn)));
  }
  UniqueBitmap pattern(CreateBitmap(8, 8, 1, 1, rows));
  if (!pattern) return;
  UniqueBrush brush(CreatePatternBrush(pattern.get()));
  if (brush) FrameRgn(dc, canvas.textBox.get(), brush.get(), 1, 1);
}

// The rubber band from the drag anchor, in XOR so that drawing it again
// would take it away.
void DrawRubberBand(HDC dc, CanvasPoint to) {
  const CanvasWindowState& canvas = Canvas();
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  SelectObject(dc, GetStockObject(WHITE_PEN));
  SetROP2(dc, R2_XORPEN);
  if (canvas.tool == kLineToolCommand || canvas.tool == kArrowToolCommand) {
    MoveToEx(dc, canvas.dragAnchor.x, canvas.dragAnchor.y, nullptr);
    LineTo(dc, to.x, to.y);
  } else {
    Rectangle(dc, canvas.dragAnchor.x, canvas.dragAnchor.y, to.x, to.y);
  }
}

bool TextBoxIsRectangle(RECT* box = nullptr) {
  RECT bounds{};
  const HRGN region = Canvas().textBox.get();
  if (region == nullptr || GetRgnBox(region, &bounds) != SIMPLEREGION) return false;
  if (box != nullptr) *box = bounds;
  return true;
}

void PrepareOwnDc(HDC dc) {
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  SelectObject(dc, GetStockObject(WHITE_PEN));
  SetROP2(dc, R2_XORPEN);
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  SetMapMode(dc, MM_TEXT);
}

void OnCreate(HWND window, const CREATESTRUCTW* create) {
  CanvasWindowState& canvas = Canvas();
  canvas = CanvasWindowState{};
  canvas.window = window;
  canvas.view.width = create->cx;
  canvas.view.height = create->cy;
  canvas.pixelSource = static_cast<const uint8_t*>(create->lpCreateParams);
  canvas.dc = GetDC(window);
  PrepareOwnDc(canvas.dc);
  canvas.layerList = CreateLayerList(window);
  canvas.popup = BuildCanvasMenu();
  // Each report starts unedited: the flag would otherwise still carry the
  // previous report's drawing.
  SetSnapshotEdited(false);
  InitLayer(CompositeImage(), create->cx, create->cy, nullptr);
  ResetLayers(create->cx, create->cy, canvas.pixelSource);
  AddLayer();
  Recomposite();
  canvas.font = CreateCanvasTextFont();
  if (canvas.font) canvas.fontBefore = SelectObject(canvas.dc, canvas.font.get());
  SetTimer(window, kRepaintTimer, kRepaintPeriodMs, nullptr);
}

void OnDestroy(HWND window) {
  CanvasWindowState& canvas = Canvas();
  KillTimer(window, kRepaintTimer);
  if (canvas.fontBefore != nullptr) SelectObject(canvas.dc, canvas.fontBefore);
  canvas.font.reset();
  canvas.textBox.reset();
  canvas.popup.reset();
  canvas.layerList = nullptr;
  canvas.window = nullptr;
}

void OnPaint(HWND window) {
  const CanvasWindowState& canvas = Canvas();
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  PaintComposite(dc);
  if (canvas.textBox && canvas.tool == kTextToolCommand) FrameTextBox(dc);
  if (canvas.dragging) {
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    DrawRubberBand(dc, {cursor.x, cursor.y});
  }
  EndPaint(window, &paint);
}

void OnChar(HWND window, WPARAM character) {
  CanvasWindowState& canvas = Canvas();
  const WPARAM shortcut = std::exchange(canvas.shortcutCharacter, 0);
  if (shortcut != 0 && character == shortcut) return;
  TextCharacter(static_cast<char16_t>(character & 0xFFFF));
  RECT box{};
  if (TextTarget() != nullptr && TextBoxIsRectangle(&box)) {
    GdiGlyphSource glyphs(canvas.dc);
    RedrawTextTarget(glyphs, ClientToImage(canvas.view, {box.left, box.top}));
  }
  InvalidateRect(window, nullptr, FALSE);
}

void OnToolCommand(UINT tool) {
  CanvasWindowState& canvas = Canvas();
  canvas.tool = tool;
  // The target layer keeps its text, but an empty box lets no typing reach it.
  if (canvas.textBox) SetRectRgn(canvas.textBox.get(), 0, 0, 0, 0);
  TextBuffer().clear();
}

// Undo or redo: the layer list follows what happened to the stack.
void OnHistoryCommand(HWND window, UINT command) {
  CanvasWindowState& canvas = Canvas();
  const StackChange change = command == kUndoCommand ? Undo() : Redo();
  if (canvas.layerList != nullptr) FollowStackChange(canvas.layerList, change);
  InvalidateRect(window, nullptr, FALSE);
}

// Ctrl+Z undoes; Ctrl+Y and Ctrl+Shift+Z redo.
void OnKeyDown(HWND window, WPARAM key) {
  if (key == VK_RETURN) {
    TextKeyDownReturn();
    return;
  }
  if (!HeldWithMessage(VK_CONTROL) || HeldWithMessage(VK_MENU) || (key != 'Z' && key != 'Y')) return;
  const bool redo = key == 'Y' || HeldWithMessage(VK_SHIFT);
  Canvas().shortcutCharacter = key - 'A' + 1;
  OnHistoryCommand(window, redo ? kRedoCommand : kUndoCommand);
}

void OnCommand(HWND window, WPARAM wparam, LPARAM lparam) {
  CanvasWindowState& canvas = Canvas();
  const UINT id = LOWORD(wparam);
  if (IsToolCommand(id)) {
    OnToolCommand(id);
  } else if (id == kUndoCommand || id == kRedoCommand) {
    OnHistoryCommand(window, id);
  } else if (canvas.layerList != nullptr && reinterpret_cast<HWND>(lparam) == canvas.layerList) {
    OnLayerListNotification(canvas.layerList, window, HIWORD(wparam));
  }
}

void OnTimer(HWND window) {
  CanvasWindowState& canvas = Canvas();
  InvalidateRect(window, nullptr, FALSE);
  canvas.framePhase = (canvas.framePhase + 1) % kFramePhases;
}

void OnMouseMove(WPARAM wparam, LPARAM lparam) {
  CanvasWindowState& canvas = Canvas();
  const CanvasPoint position = PositionOf(lparam);
  if (canvas.view.zoom > 1 && wparam == MK_LBUTTON && KeyDown(VK_SPACE)) {
    DragPan(canvas.view, position);
    PaintComposite(canvas.dc);
  } else if (canvas.dragging) {
    PaintComposite(canvas.dc);
    DrawRubberBand(canvas.dc, position);
  }
}

void OnLeftButtonDown(HWND window, LPARAM lparam) {
  CanvasWindowState& canvas = Canvas();
  const CanvasPoint position = PositionOf(lparam);
  const bool space = KeyDown(VK_SPACE), control = KeyDown(VK_CONTROL);
  if (space && control) {
    StepZoom(canvas.view, KeyDown(VK_LMENU));
    InvalidateRect(window, nullptr, FALSE);
    return;
  }
  if (space && canvas.view.zoom > 1) {
    canvas.view.panAnchor = position;
    InvalidateRect(window, nullptr, FALSE);
    return;
  }
  if (!canvas.dragging) {
    if (canvas.tool == kTextToolCommand) TextBuffer().clear();
    canvas.dragging = true;
    SetCapture(window);
  } else if (canvas.tool == kLineToolCommand) {
    const CanvasPoint from = ClientToImage(canvas.view, canvas.dragAnchor);
    const CanvasPoint to = ClientToImage(canvas.view, position);
    CommitEdit([&] { DrawSegment(from.x, from.y, to.x, to.y); });
    SetSnapshotEdited(true);
    InvalidateRect(window, nullptr, FALSE);
  }
  canvas.dragAnchor = position;
}

// The end of a drag of the rectangle, arrow or mosaic tool: the shape from
// the press to the release, as one step.
void CommitDragShape(HWND window, CanvasPoint release) {
  CanvasWindowState& canvas = Canvas();
  const CanvasPoint from = ClientToImage(canvas.view, canvas.dragAnchor);
  const CanvasPoint to = ClientToImage(canvas.view, release);
  const UINT tool = canvas.tool;
  const bool drawn = CommitEdit([&] {
    if (tool == kRectangleToolCommand) DrawRectangle(from.x, from.y, to.x, to.y);
    else if (tool == kArrowToolCommand) DrawArrow(from.x, from.y, to.x, to.y);
    else DrawMosaic(from.x, from.y, to.x, to.y);
  });
  if (drawn) SetSnapshotEdited(true);
  canvas.dragging = false;
  ReleaseCapture();
  InvalidateRect(window, nullptr, FALSE);
}

void OnLeftButtonUp(HWND window, LPARAM lparam) {
  CanvasWindowState& canvas = Canvas();
  const CanvasPoint position = PositionOf(lparam);
  if (canvas.dragging && IsDragShapeTool(canvas.tool)) {
    CommitDragShape(window, position);
    return;
  }
  if (!canvas.dragging || canvas.tool != kTextToolCommand) return;
  UniqueRegion drawn(CreateRectRgn(std::min(canvas.dragAnchor.x, position.x),
                                   std::min(canvas.dragAnchor.y, position.y),
                                   std::max(canvas.dragAnchor.x, position.x),
                                   std::max(canvas.dragAnchor.y, position.y)));
  if (canvas.textBox) {
    if (drawn && CombineRgn(canvas.textBox.get(), drawn.get(), nullptr, RGN_COPY) == NULLREGION)
      TextBuffer().clear();
  } else {
    canvas.textBox = std::move(drawn);
  }
  if (TextBoxIsRectangle()) {
    AddLayerAsStep(AsUtf16(kTextLayerEntry));
    SetTextTarget(CurrentLayerIndex() != 0 ? CurrentLayer() : nullptr);
    if (canvas.layerList != nullptr) InsertTextLayerEntry(canvas.layerList);
  }
  canvas.dragging = false;
  ReleaseCapture();
  InvalidateRect(window, nullptr, FALSE);
}

void OnRightButtonDown(HWND window, LPARAM lparam) {
  CanvasWindowState& canvas = Canvas();
  // A right press ends a polyline, and drops a shape being dragged.
  if (canvas.dragging && (canvas.tool == kLineToolCommand || IsDragShapeTool(canvas.tool))) {
    canvas.dragAnchor = {};
    canvas.dragging = false;
    ReleaseCapture();
    InvalidateRect(window, nullptr, FALSE);
    return;
  }
  if (!canvas.popup) return;
  POINT screen{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ClientToScreen(window, &screen);
  TrackCanvasMenu(canvas.popup.get(), window, screen, canvas.tool, CanUndo(), CanRedo());
}

LRESULT CanvasMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: OnCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lparam)); break;
    case WM_DESTROY: OnDestroy(window); break;
    case WM_SIZE: if (Canvas().layerList) PlaceLayerList(Canvas().layerList, window); break;
    case WM_PAINT: OnPaint(window); break;
    // Enter and characters must reach the canvas inside the dialog.
    case WM_GETDLGCODE: return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
    case WM_KEYDOWN: OnKeyDown(window, wparam); break;
    case WM_CHAR: OnChar(window, wparam); break;
    case WM_COMMAND: OnCommand(window, wparam, lparam); break;
    case WM_TIMER: if (wparam == kRepaintTimer) OnTimer(window); break;
    case WM_MOUSEMOVE: OnMouseMove(wparam, lparam); break;
    case WM_LBUTTONDOWN: OnLeftButtonDown(window, lparam); break;
    case WM_LBUTTONUP: OnLeftButtonUp(window, lparam); break;
    case WM_RBUTTONDOWN: OnRightButtonDown(window, lparam); break;
    case WM_CAPTURECHANGED: Canvas().dragging = false; break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// A creation that throws fails the window's creation; any other message
// that throws counts as handled.
LRESULT CALLBACK SnapshotWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(message == WM_CREATE ? LRESULT{-1} : LRESULT{0},
                       [&] { return CanvasMessage(window, message, wparam, lparam); });
}

}  // namespace

bool RegisterSnapshotClass() {
  WNDCLASSW windowClass{};
  windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
  windowClass.lpfnWndProc = SnapshotWindowProc;
  windowClass.hInstance = ModuleInstance();
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = kSnapshotClassName;
  return RegisterClassW(&windowClass) != 0;
}

void UnregisterSnapshotClass() { UnregisterClassW(kSnapshotClassName, ModuleInstance()); }

bool ChooseLineColour(HWND owner) {
  // Red, green and blue first; the table is not kept between calls.
  COLORREF custom[16] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)};
  CHOOSECOLORW choose{};
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = owner;
  choose.rgbResult = LineColour();
  choose.lpCustColors = custom;
  choose.Flags = CC_RGBINIT | CC_FULLOPEN | CC_SOLIDCOLOR;
  if (!ChooseColorW(&choose)) return false;
  SetLineColour(choose.rgbResult);
  return true;
}

}  // namespace vnscope
