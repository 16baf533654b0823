/* An engine as an integrator writes it against the release bundle: linked
 * with the bundle's MinGW import library (no GetProcAddress), it calls the
 * five exports and writes what each returned to results.txt in its working
 * folder. The test that starts it plays the tester in the report dialog. */
#include <stdio.h>
#include <string.h>

#include "vnscope.h"

enum { kShotWidth = 320, kShotHeight = 240 };

static uint32_t screenshot[kShotWidth * kShotHeight];

static LRESULT CALLBACK EngineProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COPYDATA) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

static HWND CreateEngineWindow(void) {
  WNDCLASSW windowClass = {0};
  windowClass.lpfnWndProc = EngineProc;
  windowClass.hInstance = GetModuleHandleW(NULL);
  windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  windowClass.lpszClassName = L"VnscopeLinkExample";
  RegisterClassW(&windowClass);
  return CreateWindowW(windowClass.lpszClassName, L"link example", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 50,
                       640, 480, NULL, NULL, windowClass.hInstance, NULL);
}

static bool Report(MonitorSet* monitors) {
  ReportInfo info;
  int i;
  memset(&info, 0, sizeof(info));
  memcpy(info.hash, "0123456789abcdef0123456789abcdef", sizeof(info.hash));
  strcpy(info.date, "2026/12/07 20:15:02");
  info.scriptSize = 123456;
  wcscpy(info.displayedText, L"\x5343\x65E9\x300C\x3053\x3093\x306B\x3061\x306F\x300D");
  for (i = 0; i < kShotWidth * kShotHeight; ++i) screenshot[i] = 0xFF000000u | (uint32_t)(i * 2654435761u >> 8);
  info.width = kShotWidth;
  info.height = kShotHeight;
  info.bitsPerPixel = 32;
  info.pixels = screenshot;
  return DebugReport(monitors, &info);
}

int main(void) {
  static const uint8_t thumbnail[2 * 2 * 4] = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255};
  MonitorSet monitors;
  bool created, clipboard, bmp, reported, destroyed;
  FILE* results;
  HWND engine = CreateEngineWindow();

  memset(&monitors, 0, sizeof(monitors));
  monitors.size = sizeof(monitors);
  created = CreateMonitors(VNSCOPE_INTERFACE_VERSION, engine, &monitors) && monitors.database != NULL;
  clipboard = OutputClipboard("abc", 3);
  bmp = OutputBMP32to24(2, 2, thumbnail, 7);
  reported = Report(&monitors);
  DestroyMonitors(&monitors);
  destroyed = !IsWindow(monitors.variableList) && !IsWindow(monitors.database);
  DestroyWindow(engine);

  results = fopen("results.txt", "wb");
  if (!results) return 1;
  fprintf(results, "CreateMonitors=%d\nOutputClipboard=%d\nOutputBMP32to24=%d\nDebugReport=%d\nDestroyMonitors=%d\n",
          created, clipboard, bmp, reported, destroyed);
  fclose(results);
  return 0;
}
