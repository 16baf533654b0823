// vnscope-demo: a small game-like engine that loads vnscope.dll the way a real
// engine does, shows the monitors around its window and logs what they send.
//   F5  debug report over the current screen
//   F6  copy the speaker's line to the clipboard (ANSI)
//   F7  save a thumbnail of the current screen as thumbnail\NNNNN.bmp
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "demo/scene.h"
#include "demo/variables_feed.h"
#include "demo/scene_feed.h"
#include "include/vnscope.h"

namespace {

constexpr int kClientWidth = 640;
constexpr int kClientHeight = 480;
constexpr UINT_PTR kAnimationTimer = 1;

struct Engine {
  HMODULE dll = nullptr;
  CreateMonitorsFn createMonitors = nullptr;
  DestroyMonitorsFn destroyMonitors = nullptr;
  DebugReportFn debugReport = nullptr;
  OutputClipboardFn outputClipboard = nullptr;
  OutputBMP32to24Fn outputBmp = nullptr;
  MonitorSet monitors{};
  demo::SceneState scene;
  unsigned mouseMoves = 0;
  int32_t thumbnails = 0;
  std::ofstream log;
};

Engine g_engine;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

void Note(HWND window, const std::wstring& line) {
  g_engine.scene.received.push_back(line);
  if (g_engine.scene.received.size() > 200) g_engine.scene.received.erase(g_engine.scene.received.begin());
  if (g_engine.log) g_engine.log << Utf8(line) << '\n' << std::flush;
  InvalidateRect(window, nullptr, FALSE);
}

bool LoadVnscope() {
  g_engine.dll = LoadLibraryW(L"vnscope.dll");
  if (!g_engine.dll) return false;
  g_engine.createMonitors = VnscopeExport<CreateMonitorsFn>(g_engine.dll, "CreateMonitors");
  g_engine.destroyMonitors = VnscopeExport<DestroyMonitorsFn>(g_engine.dll, "DestroyMonitors");
  g_engine.debugReport = VnscopeExport<DebugReportFn>(g_engine.dll, "DebugReport");
  g_engine.outputClipboard = VnscopeExport<OutputClipboardFn>(g_engine.dll, "OutputClipboard");
  g_engine.outputBmp = VnscopeExport<OutputBMP32to24Fn>(g_engine.dll, "OutputBMP32to24");
  return g_engine.createMonitors && g_engine.destroyMonitors && g_engine.debugReport && g_engine.outputClipboard &&
         g_engine.outputBmp;
}

// Places the monitors around the game window so that all of them can be seen.
void ArrangeMonitors(HWND window) {
  RECT game;
  GetWindowRect(window, &game);
  const MonitorSet& m = g_engine.monitors;
  const int gameWidth = game.right - game.left;
  SetWindowPos(m.otherInfo, nullptr, game.left, game.top - 160, gameWidth, 160, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(m.executionLog, nullptr, game.left, game.bottom, gameWidth, 200, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(m.variableList, nullptr, game.right, game.top - 160, 300, 420, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(m.objectList, nullptr, game.right, game.top + 260, 420, 420, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(m.preview, nullptr, game.right + 300, game.top - 160, 0, 0,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
  for (HWND monitor : {m.variableList, m.objectList, m.otherInfo, m.executionLog, m.preview, m.database}) {
    if (monitor) ShowWindow(monitor, SW_SHOWNOACTIVATE);
  }
}

std::wstring DescribeCopy(HWND sender, const COPYDATASTRUCT& data) {
  wchar_t caption[128] = L"?";
  GetWindowTextW(GetAncestor(sender, GA_ROOT), caption, 128);
  std::wstring text = std::wstring(L"[") + caption + L"] command " + std::to_wstring(data.dwData) + L", " +
                      std::to_wstring(data.cbData) + L" bytes";
  if (data.lpData && data.cbData == 1) {
    text += L": " + std::to_wstring(*static_cast<const unsigned char*>(data.lpData));
  } else if (data.lpData && data.cbData >= 256 && data.cbData % 2 == 0) {
    text += L": \"" + std::wstring(static_cast<const wchar_t*>(data.lpData)) + L"\"";
  }
  return text;
}

// A bottom-up 32-bit copy of the game screen, as the report expects.
struct Screenshot {
  std::vector<uint32_t> pixels;
  int width = 0;
  int height = 0;
};

Screenshot CaptureScreen(HWND window) {
  Screenshot shot;
  RECT client;
  GetClientRect(window, &client);
  shot.width = client.right;
  shot.height = client.bottom;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), shot.width, shot.height, 1, 32, BI_RGB};
  void* bits = nullptr;
  HDC screen = GetDC(window);
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, dib);
  demo::PaintScene(memory, client, g_engine.scene);
  GdiFlush();
  const auto* source = static_cast<const uint32_t*>(bits);
  shot.pixels.assign(source, source + shot.width * shot.height);
  for (uint32_t& pixel : shot.pixels) pixel |= 0xFF000000u;  // GDI leaves alpha at 0
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(dib);
  ReleaseDC(window, screen);
  return shot;
}

void RunDebugReport(HWND window) {
  Screenshot shot = CaptureScreen(window);
  ReportInfo info{};
  std::snprintf(info.hash, sizeof(info.hash), "%s", "3f9a1c0e7b2d4e5f8a6b9c0d1e2f3a4b");
  std::snprintf(info.date, sizeof(info.date), "%s", "2026/12/07 19:42:10");
  info.scriptSize = 1843200;
  const std::wstring displayed = g_engine.scene.speaker + L"「" + g_engine.scene.line + L"」";
  wcsncpy(info.displayedText, displayed.c_str(), 255);
  info.width = shot.width;
  info.height = shot.height;
  info.bitsPerPixel = 32;
  info.pixels = shot.pixels.data();
  const bool sent = g_engine.debugReport(&g_engine.monitors, &info);
  Note(window, sent ? L"debug report sent" : L"debug report closed without sending");
}

void CopyLineToClipboard(HWND window) {
  char ansi[512] = {};
  const int length = WideCharToMultiByte(CP_ACP, 0, g_engine.scene.line.c_str(), -1, ansi, sizeof(ansi), nullptr,
                                         nullptr);
  const bool copied = length > 0 && g_engine.outputClipboard(ansi, length - 1);
  Note(window, copied ? L"line copied to the clipboard" : L"clipboard refused the line");
}

// A quarter-size copy of the screen, as a save slot's picture: every fourth
// pixel of every fourth row, still bottom-up 32-bit.
void SaveThumbnail(HWND window) {
  const Screenshot shot = CaptureScreen(window);
  const int width = shot.width / 4;
  const int height = shot.height / 4;
  std::vector<uint32_t> small;
  small.reserve(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) small.push_back(shot.pixels[static_cast<size_t>(y) * 4 * shot.width + x * 4]);
  const int32_t index = g_engine.thumbnails++;
  wchar_t name[32];
  std::swprintf(name, 32, L"thumbnail\\%05d.bmp", index);
  // The export always answers true: only the file tells whether it was
  // written, so an older one from an earlier run must not answer for it.
  DeleteFileW(name);
  g_engine.outputBmp(width, height, reinterpret_cast<const uint8_t*>(small.data()), index);
  const bool written = GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES;
  Note(window, std::wstring(written ? L"thumbnail written: " : L"thumbnail not written: ") + name);
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP buffer = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ old = SelectObject(memory, buffer);
  demo::PaintScene(memory, client, g_engine.scene);
  BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(buffer);
  DeleteDC(memory);
  EndPaint(window, &paint);
}

LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: OnPaint(window); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_TIMER:
      ++g_engine.scene.frame;
      demo::TickVariablesFeed(g_engine.monitors, g_engine.scene.frame);
      demo::TickSceneFeed(window, g_engine.monitors, g_engine.scene.frame);
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_COPYDATA:
      Note(window, DescribeCopy(reinterpret_cast<HWND>(wparam), *reinterpret_cast<const COPYDATASTRUCT*>(lparam)));
      if (auto edit = demo::DescribeVariableEdited(g_engine.monitors, reinterpret_cast<HWND>(wparam),
                                                   *reinterpret_cast<const COPYDATASTRUCT*>(lparam)); !edit.empty())
        Note(window, edit);
      return 0;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      ++g_engine.mouseMoves;
      return DefWindowProcW(window, message, wparam, lparam);
    case WM_KEYDOWN:
      if (wparam == VK_F5) RunDebugReport(window);
      if (wparam == VK_F6) CopyLineToClipboard(window);
      if (wparam == VK_F7) SaveThumbnail(window);
      return 0;
    case WM_DESTROY:
      KillTimer(window, kAnimationTimer);
      g_engine.destroyMonitors(&g_engine.monitors);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  g_engine.log.open("vnscope-demo.log", std::ios::out | std::ios::trunc);
  if (!LoadVnscope()) {
    MessageBoxW(nullptr, L"vnscope.dll could not be loaded.", L"vnscope demo", MB_OK | MB_ICONERROR);
    return 1;
  }
  WNDCLASSEXW cls{sizeof(cls)};
  cls.style = CS_HREDRAW | CS_VREDRAW;
  cls.lpfnWndProc = EngineWindowProc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.lpszClassName = L"VnscopeDemoEngine";
  RegisterClassExW(&cls);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRect(&frame, style, FALSE);
  HWND window = CreateWindowExW(0, cls.lpszClassName, L"vnscope demo — 夜の街", style, 330, 170,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                                nullptr);
  g_engine.monitors.size = sizeof(MonitorSet) - sizeof(uint32_t);  // 24: all six monitors
  if (!g_engine.createMonitors(VNSCOPE_INTERFACE_VERSION, window, &g_engine.monitors)) {
    MessageBoxW(window, L"CreateMonitors failed.", L"vnscope demo", MB_OK | MB_ICONERROR);
    return 1;
  }
  ShowWindow(window, show);
  ArrangeMonitors(window);
  demo::StartVariablesFeed(g_engine.monitors);
  demo::StartSceneFeed(window, g_engine.monitors);
  SetTimer(window, kAnimationTimer, 100, nullptr);
  Note(window, L"monitors created; F5 debug report, F6 copy line, F7 thumbnail");

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  FreeLibrary(g_engine.dll);
  return 0;
}
