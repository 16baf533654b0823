#include "harness/harness.h"

#include "harness/local_app_data.h"

#include <commctrl.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace vnscope::test {

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
  std::ifstream file(Narrow(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

const VnscopeDll& VnscopeDll::Get() {
  static const VnscopeDll dll = [] {
    // Before the library first looks at its outbox: what one test program
    // leaves waiting there must not be sent by the next.
    static PrivateLocalAppData processLocalAppData;
    VnscopeDll loaded;
    loaded.module = LoadLibraryW(L"vnscope.dll");
    if (!loaded.module) return loaded;
    loaded.CreateMonitors = VnscopeExport<CreateMonitorsFn>(loaded.module, "CreateMonitors");
    loaded.DestroyMonitors = VnscopeExport<DestroyMonitorsFn>(loaded.module, "DestroyMonitors");
    loaded.DebugReport = VnscopeExport<DebugReportFn>(loaded.module, "DebugReport");
    loaded.OutputClipboard = VnscopeExport<OutputClipboardFn>(loaded.module, "OutputClipboard");
    loaded.OutputBMP32to24 = VnscopeExport<OutputBMP32to24Fn>(loaded.module, "OutputBMP32to24");
    return loaded;
  }();
  return dll;
}

std::wstring ReceivedCopy::TextAt(size_t offset) const {
  std::wstring text;
  for (size_t i = offset; i + 1 < record.size(); i += 2) {
    const wchar_t unit = static_cast<wchar_t>(record[i] | (record[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

// --- FakeEngine ---------------------------------------------------------------

namespace {
constexpr wchar_t kEngineClass[] = L"VnscopeTestEngine";

void RegisterEngineClass(WNDPROC procedure) {
  static const bool registered = [&] {
    WNDCLASSEXW cls{sizeof(cls)};
    cls.lpfnWndProc = procedure;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    cls.lpszClassName = kEngineClass;
    return RegisterClassExW(&cls) != 0;
  }();
  (void)registered;
}
}  // namespace

FakeEngine::FakeEngine(int x, int y, int width, int height) {
  RegisterEngineClass(WindowProc);
  window_ = CreateWindowExW(0, kEngineClass, L"Engine", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                            width, height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  // Windows may adjust a top-level window; the tests rely on the exact rectangle.
  SetWindowPos(window_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  SetForegroundWindow(window_);
  PumpMessages();
}

FakeEngine::~FakeEngine() {
  if (window_) DestroyWindow(window_);
  PumpMessages();
}

std::vector<ReceivedCopy> FakeEngine::CopiesWithCommand(ULONG_PTR command) const {
  std::vector<ReceivedCopy> matching;
  for (const ReceivedCopy& copy : copies_) {
    if (copy.command == command) matching.push_back(copy);
  }
  return matching;
}

void FakeEngine::ClearReceived() {
  copies_.clear();
  mouseMoves_.clear();
}

LRESULT CALLBACK FakeEngine::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* engine = reinterpret_cast<FakeEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!engine) return DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_COPYDATA: {
      // The record lives only during the send: copy it now, as an engine must.
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      ReceivedCopy copy;
      copy.sender = reinterpret_cast<HWND>(wparam);
      if (data) {
        copy.command = data->dwData;
        copy.byteCount = data->cbData;
        copy.hadRecord = data->lpData != nullptr;
        if (data->lpData && data->cbData) {
          const auto* bytes = static_cast<const uint8_t*>(data->lpData);
          copy.record.assign(bytes, bytes + data->cbData);
        }
      }
      engine->copies_.push_back(std::move(copy));
      return 0;
    }
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      engine->mouseMoves_.push_back({message, wparam, lparam});
      return 0;
    case WM_DESTROY:
      engine->window_ = nullptr;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

// --- ScopedMonitors -------------------------------------------------------------

ScopedMonitors::ScopedMonitors(HWND engine, uint32_t size) {
  set_.size = size;
  const VnscopeDll& dll = VnscopeDll::Get();
  if (dll.CreateMonitors) created_ = dll.CreateMonitors(VNSCOPE_INTERFACE_VERSION, engine, &set_);
  PumpMessages();
}

ScopedMonitors::~ScopedMonitors() {
  const VnscopeDll& dll = VnscopeDll::Get();
  if (created_ && dll.DestroyMonitors) dll.DestroyMonitors(&set_);
  PumpMessages();
}

std::vector<HWND> ScopedMonitors::Windows() const {
  std::vector<HWND> windows;
  for (HWND window : {set_.variableList, set_.objectList, set_.otherInfo, set_.executionLog,
                      set_.preview, set_.database}) {
    if (window) windows.push_back(window);
  }
  return windows;
}

// --- Messages ---------------------------------------------------------------------

LRESULT SendHostMessage(HWND target, ULONG_PTR command, const void* record, DWORD byteCount,
                        HWND sender) {
  COPYDATASTRUCT data{command, byteCount, const_cast<void*>(record)};
  return SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                      reinterpret_cast<LPARAM>(&data));
}

LRESULT SendHostText(HWND target, ULONG_PTR command, const std::wstring& text, HWND sender) {
  return SendHostMessage(target, command, text.c_str(),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), sender);
}

void PumpMessages(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (duration.count() > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (std::chrono::steady_clock::now() < end);
}

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    PumpMessages(std::chrono::milliseconds(10));
  }
  return true;
}

// --- Reading controls ---------------------------------------------------------------

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

std::wstring ControlText(HWND dialog, int controlId) { return WindowText(GetDlgItem(dialog, controlId)); }

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

int ListViewRowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

int ListViewColumnCount(HWND list) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::wstring ListViewCell(HWND list, int row, int column) {
  wchar_t buffer[1024] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = static_cast<int>(std::size(buffer));
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

std::wstring ListViewColumnTitle(HWND list, int column) {
  wchar_t buffer[256] = {};
  LVCOLUMNW info{};
  info.mask = LVCF_TEXT;
  info.pszText = buffer;
  info.cchTextMax = static_cast<int>(std::size(buffer));
  SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
  return buffer;
}

RECT WindowRectOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

RECT ChildRectInParent(HWND child) {
  RECT rect = WindowRectOf(child);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// --- Driving controls ------------------------------------------------------------------
// A button-down on some controls (list views) runs a loop that waits for the
// button-up, so the up is queued first and the down is then sent.

void ClickAt(HWND window, int x, int y) {
  const LPARAM position = MAKELPARAM(x, y);
  PostMessageW(window, WM_LBUTTONUP, 0, position);
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, position);
  PumpMessages();
}

void DoubleClickAt(HWND window, int x, int y) {
  const LPARAM position = MAKELPARAM(x, y);
  ClickAt(window, x, y);
  PostMessageW(window, WM_LBUTTONUP, 0, position);
  SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, position);
  PumpMessages();
}

void RightClickAt(HWND window, int x, int y) {
  const LPARAM position = MAKELPARAM(x, y);
  PostMessageW(window, WM_RBUTTONUP, 0, position);
  SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, position);
  PumpMessages();
}

void ClickCentre(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  ClickAt(window, client.right / 2, client.bottom / 2);
}

void PressKey(HWND window, UINT virtualKey) {
  const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  SendMessageW(window, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  SendMessageW(window, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000);
  PumpMessages();
}

void PressChord(HWND window, std::initializer_list<UINT> held, UINT virtualKey) {
  BYTE before[256] = {};
  GetKeyboardState(before);
  BYTE chord[256];
  std::copy(std::begin(before), std::end(before), std::begin(chord));
  for (const UINT key : held) chord[key] |= 0x80;
  SetKeyboardState(chord);
  const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  PostMessageW(window, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  PumpMessages();
  PostMessageW(window, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000);
  PumpMessages();
  SetKeyboardState(before);
}

void TypeText(HWND window, const std::wstring& text) {
  for (wchar_t unit : text) SendMessageW(window, WM_CHAR, unit, 1);
  PumpMessages();
}

// --- Modal dialogs -----------------------------------------------------------------------

namespace {

struct CaptionSearch {
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<CaptionSearch*>(context);
  if (WindowText(window) != *search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK PostClose(HWND window, LPARAM) {
  PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

HWND FindThreadWindow(const std::wstring& caption) {
  CaptionSearch search{&caption, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchCaption, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

namespace {

struct ModalDrive {
  const std::wstring* caption = nullptr;
  const std::function<void(HWND)>* driver = nullptr;
  std::chrono::steady_clock::time_point deadline;
  bool driven = false;
  bool inDriver = false;
  bool forced = false;
};

ModalDrive* g_drive = nullptr;

void CALLBACK DriveTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  ModalDrive* drive = g_drive;
  if (!drive || drive->inDriver) return;
  if (std::chrono::steady_clock::now() > drive->deadline) {
    drive->forced = true;
    EnumThreadWindows(GetCurrentThreadId(), PostClose, 0);
    return;
  }
  if (drive->driven) return;
  // A dialog whose initialisation outlasts a timer tick is shown only when
  // its loop first goes idle; a tester acts on it once it is on screen.
  HWND window = FindThreadWindow(*drive->caption);
  if (!window || !IsWindowVisible(window)) return;
  drive->driven = true;
  drive->inDriver = true;
  (*drive->driver)(window);
  drive->inDriver = false;
}

}  // namespace

bool DriveModal(const std::wstring& caption, const std::function<void()>& action,
                const std::function<void(HWND)>& driver, std::chrono::milliseconds timeout) {
  ModalDrive drive;
  drive.caption = &caption;
  drive.driver = &driver;
  drive.deadline = std::chrono::steady_clock::now() + timeout;
  ModalDrive* outer = std::exchange(g_drive, &drive);
  // A thread timer: every modal loop dispatches it to the procedure.
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, DriveTimerProc);
  action();
  KillTimer(nullptr, timer);
  g_drive = outer;
  return drive.driven && !drive.forced;
}

}  // namespace vnscope::test
