#include "report/game_state_reading.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "report/scene_reading.h"
#include "resources/resource.h"
#include "vnscope_revision.h"
#include "win32/file_io.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

// The label as the report's header shows it: the combo box's first 255 units.
constexpr size_t kLabelChars = 255;
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;
// 100-nanosecond file-time units in a minute.
constexpr int64_t kFileTimeMinute = 600'000'000;

HWND PanelField(const MonitorSet* monitors, int control) {
  return monitors ? GetDlgItem(monitors->otherInfo, control) : nullptr;
}

// The fixed part of a module's version resource, found by its signature:
// version.dll would be one more import for four numbers.
const VS_FIXEDFILEINFO* FixedFileInfo(HMODULE module) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  const DWORD size = found ? SizeofResource(module, found) : 0;
  if (!bytes) return nullptr;
  // The structure is 32-bit aligned within the resource, after its key.
  for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
    DWORD signature;
    std::memcpy(&signature, bytes + at, sizeof signature);
    if (signature == kFixedFileInfoSignature) return reinterpret_cast<const VS_FIXEDFILEINFO*>(bytes + at);
  }
  return nullptr;
}

// The engine's executable by file name, with its file version when it has one.
std::u16string EngineText() {
  std::u16string text = AsUtf16(FileNameOf(ModuleFilePath(nullptr)));
  if (const VS_FIXEDFILEINFO* info = FixedFileInfo(GetModuleHandleW(nullptr))) {
    text += u' ';
    text += DottedNumbers({HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                           HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)});
  }
  return text;
}

// The system's own version: GetVersionExW answers what the engine's manifest
// claims to support, not what runs.
std::u16string WindowsText() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  // Through void*: FARPROC is declared without parameters.
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (!rtlGetVersion || rtlGetVersion(&version) != 0) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&version)) return {};
#pragma GCC diagnostic pop
  }
  return DottedNumbers({version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber});
}

int64_t FileTimeOf(const SYSTEMTIME& time) {
  FILETIME file{};
  SystemTimeToFileTime(&time, &file);
  return static_cast<int64_t>(uint64_t{file.dwHighDateTime} << 32 | file.dwLowDateTime);
}

// Local time now, with its offset from UTC as the time-zone rules give it
// for this moment (daylight saving included).
std::u16string TimeText() {
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  SYSTEMTIME local = utc;
  SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  LocalTimeStamp stamp{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond, 0};
  stamp.offsetMinutes = static_cast<int>((FileTimeOf(local) - FileTimeOf(utc)) / kFileTimeMinute);
  return FormatLocalTime(stamp);
}

}  // namespace

GameStateEntries ReadGameState(const MonitorSet* monitors, const RunningGame* game) {
  GameStateFacts facts;
  facts.label = ReadWindowText(PanelField(monitors, IDC_JUMP_LABEL), kLabelChars);
  facts.voice = ReadWholeText(PanelField(monitors, IDC_VOICE));
  facts.bgs = ReadWholeText(PanelField(monitors, IDC_BGS));
  facts.bgv = ReadWholeText(PanelField(monitors, IDC_BGV));
  const std::string version = VNSCOPE_PRODUCT_VERSION;
  facts.vnscope.assign(version.begin(), version.end());
  facts.engine = EngineText();
  facts.windows = WindowsText();
  facts.codepage = DecimalText(GetACP());
  facts.screen = DecimalText(GetSystemMetrics(SM_CXSCREEN)) + u"x" + DecimalText(GetSystemMetrics(SM_CYSCREEN));
  facts.time = TimeText();

  GameStateEntries entries;
  const std::vector<GameVariable> variables = game ? game->Variables() : std::vector<GameVariable>{};
  entries.variables = VariablesEntry(variables);
  entries.gameState = GameStateEntry(facts);
  HWND log = monitors ? GetDlgItem(monitors->executionLog, IDC_LOG_TEXT) : nullptr;
  entries.executionLog = ExecutionLogEntry(log ? ReadWholeText(log) : std::u16string());
  return entries;
}

}  // namespace vnscope
