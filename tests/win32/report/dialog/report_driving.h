// Shared by the report dialog tests: a screenshot and ReportInfo the engine
// would pass, finding the dialog's windows, filling the object list, and the
// drivers of the send confirmation and the message boxes.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "include/vnscope.h"

namespace vnscope::test {

inline constexpr wchar_t kReportCaption[] = L"デバッグレポート";
inline constexpr wchar_t kConfirmCaption[] = L"送信確認";
inline constexpr wchar_t kMessageCaption[] = L"Debug Report";

// A picture the engine hands in: rows bottom-up, every pixel distinct enough
// that a row or channel mix-up shows.
struct TestScreenshot {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 32;
  std::vector<uint8_t> bottomUp;
  // B, G, R, A of image pixel (x, y), y counted from the top, as the report
  // should hold it: opaque, though the engine's pixels carry alpha 0.
  uint32_t TopDownPixel(int x, int y) const;
};

TestScreenshot MakeScreenshot(int width, int height, int bitsPerPixel = 32);

// The engine's record for DebugReport; points into `shot`.
ReportInfo MakeReportInfo(const TestScreenshot& shot, const std::wstring& displayed = L"");

// Runs dialog 106 as DebugReport does, with this program's own copy of the
// dialog (linked in, its templates from the loaded DLL), so that a test can
// point the send flow at a server of its own. `monitors` may be null: the
// dialog then reads nothing of the engine's monitors. True when it ended
// with 0 (a report was sent).
bool RunLinkedReport(HWND engine, const MonitorSet* monitors, ReportInfo& info);

struct ReportWindows {
  HWND tabs = nullptr;
  HWND header = nullptr;  // the read-only edit
  HWND report = nullptr;  // the report text edit
  HWND canvas = nullptr;
  HWND browser = nullptr;
};
ReportWindows FindReportWindows(HWND dialog);

// Replaces the rows of a report-view list (adding its six columns when it has
// none) with `rows`: cells exactly as given, empty ones included.
void FillList(HWND list, const std::vector<std::vector<std::wstring>>& rows);

// Draws one segment on the canvas with the line tool at zoom 1 (client
// coordinates are image coordinates), then ends the polyline.
void DrawSegment(HWND canvas, POINT from, POINT to);

// Chooses a tool of the canvas's menu (its command number) and drags it from
// `from` to `to` at zoom 1.
void DrawShape(HWND canvas, UINT tool, POINT from, POINT to);

// What the send confirmation showed and what the driver set.
struct ConfirmChoice {
  std::wstring title;
  std::optional<bool> sendText;      // leave the box as it started when unset
  std::optional<bool> sendSnapshot;
  std::optional<bool> sendGameState;
  bool startedWithText = false;      // filled when the confirmation opened
  bool startedWithSnapshot = false;
  bool startedWithGameState = false;
};
// Fills the confirmation and presses "送信".
std::function<void(HWND)> AcceptConfirm(ConfirmChoice* choice);
// Records the message box's text and presses OK.
std::function<void(HWND)> ReadMessage(std::wstring* text);

// The Windows user name, as the report's reporter.
std::wstring UserName();

// Decodes a PNG file to B, G, R, A pixels; empty when it is not one.
std::vector<uint32_t> DecodePng(const std::vector<uint8_t>& png, int* width, int* height);

}  // namespace vnscope::test
