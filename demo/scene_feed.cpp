#include "demo/scene_feed.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace demo {
namespace {

constexpr wchar_t kLogFile[] = L"tqvm.log";
constexpr int kPreviewWidth = 160;
constexpr int kPreviewHeight = 120;

struct DemoObject {
  const wchar_t* name;
  int32_t type;
  uint8_t state;
  bool hasPosition;
  int32_t x;
  int32_t y;
};

const DemoObject kObjects[] = {
    {L"bg_夜の街", 1, 0, true, 0, 0},      {L"chihaya_body", 3, 0, true, 120, 40},
    {L"chihaya_face", 4, 0, true, 180, 70}, {L"eye_blink", 12, 1, false, 0, 0},
    {L"siru_rain", 0x81, 0, true, 0, 0},    {L"btn_menu", 0xA0, 0, true, 560, 420},
    {L"movie_op", 13, 0xFE, false, 0, 0},   {L"fx_glow", 0xE0, 0, true, -32, 0},
};

const wchar_t* const kLabels[] = {L"*scene03_night", L"*scene01_start", L"*scene02_station", L"*ending"};
const wchar_t* const kVoices[] = {L"v_chihaya_0012.ogg", L"v_chihaya_0013.ogg", L"v_chihaya_0014.ogg"};

void Send(HWND engine, HWND target, ULONG_PTR command, const void* record, DWORD bytes) {
  if (!target) return;
  COPYDATASTRUCT data{command, bytes, const_cast<void*>(record)};
  SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(engine), reinterpret_cast<LPARAM>(&data));
}

void SendText(HWND engine, HWND target, ULONG_PTR command, const std::wstring& text) {
  Send(engine, target, command, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// UTF-16LE with LF line ends, shared for reading, as the engine writes its log.
void AppendLog(const std::wstring& line) {
  HANDLE file = CreateFileW(kLogFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::wstring text = line + L"\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
}

void SendObjects(HWND engine, const MonitorSet& monitors, int frame) {
  Send(engine, monitors.objectList, VN_CLEAR_OBJECTS, nullptr, 0);
  for (int32_t i = 0; i < static_cast<int32_t>(std::size(kObjects)); ++i) {
    const DemoObject& object = kObjects[i];
    ObjectEntry entry{i, object.name, object.type, object.state, {}, object.x, object.y};
    // The character sways: its position follows the animation frame.
    if (i == 1 || i == 2) entry.x += static_cast<int32_t>(8 * std::sin(frame / 10.0));
    Send(engine, monitors.objectList, VN_ADD_OBJECT, &entry, object.hasPosition ? sizeof(ObjectEntry) : 16);
  }
}

// A moving gradient with a bright bar: bottom-up 32-bit rows.
void SendPreview(HWND engine, const MonitorSet& monitors, int frame) {
  static std::vector<uint32_t> pixels(kPreviewWidth * kPreviewHeight);
  for (int y = 0; y < kPreviewHeight; ++y) {
    for (int x = 0; x < kPreviewWidth; ++x) {
      const uint32_t blue = static_cast<uint32_t>(80 + y) & 0xFF;
      const uint32_t red = static_cast<uint32_t>((x + frame * 2) % kPreviewWidth);
      const bool bar = (x + frame * 3) % kPreviewWidth < 6;
      pixels[y * kPreviewWidth + x] = bar ? 0xFFFFFFE0u : (red << 16) | (40u << 8) | blue;
    }
  }
  PreviewImage image{kPreviewWidth, kPreviewHeight, 32, {}, pixels.data()};
  Send(engine, monitors.preview, VN_PREVIEW_IMAGE, &image, sizeof(image));
}

}  // namespace

void StartSceneFeed(HWND engine, const MonitorSet& monitors) {
  DeleteFileW(kLogFile);
  AppendLog(L"[0000] script start: scenario.tqs");
  AppendLog(L"[0001] label *scene03_night");
  for (const wchar_t* label : kLabels) SendText(engine, monitors.otherInfo, VN_ADD_JUMP_LABEL, label);
  SendText(engine, monitors.otherInfo, VN_SET_JUMP_LABEL, L"*scene03_night");
  SendText(engine, monitors.otherInfo, VN_SET_VOICE, kVoices[0]);
  SendText(engine, monitors.otherInfo, VN_SET_BGS, L"bgs_雨音_loop.ogg");
  SendText(engine, monitors.otherInfo, VN_SET_BGV, L"bgv_雑踏.ogg");
  SendText(engine, monitors.executionLog, VN_LOG_FILE_NAME, kLogFile);
  SendObjects(engine, monitors, 0);
  SendPreview(engine, monitors, 0);
}

void TickSceneFeed(HWND engine, const MonitorSet& monitors, int frame) {
  SendPreview(engine, monitors, frame);
  if (frame % 10 != 0) return;
  SendObjects(engine, monitors, frame);
  const int step = frame / 10;
  SendText(engine, monitors.otherInfo, VN_SET_VOICE, kVoices[step % std::size(kVoices)]);
  wchar_t line[128];
  std::swprintf(line, std::size(line), L"[%04d] 千早「……ねえ、聞こえてる？」 voice %ls", step + 2,
                kVoices[step % std::size(kVoices)]);
  AppendLog(line);
}

}  // namespace demo
