// The Win32 test harness: it plays the engine. It loads vnscope.dll, owns a
// main window that records what the monitors send, and drives windows the way
// a tester or the engine would (host messages, clicks, keys, modal dialogs).
#pragma once
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "include/vnscope.h"

namespace vnscope::test {

// The DLL loaded by LoadLibrary, its exports fetched with the exact signatures.
struct VnscopeDll {
  HMODULE module = nullptr;
  CreateMonitorsFn CreateMonitors = nullptr;
  DestroyMonitorsFn DestroyMonitors = nullptr;
  DebugReportFn DebugReport = nullptr;
  OutputClipboardFn OutputClipboard = nullptr;
  OutputBMP32to24Fn OutputBMP32to24 = nullptr;

  // Loads vnscope.dll once per process; fails the calling test when it cannot.
  static const VnscopeDll& Get();
};

// A WM_COPYDATA the engine's window received, with its record copied.
struct ReceivedCopy {
  HWND sender = nullptr;
  ULONG_PTR command = 0;
  DWORD byteCount = 0;
  bool hadRecord = false;
  std::vector<uint8_t> record;

  // The record read as NUL-terminated UTF-16 text starting at `offset`.
  std::wstring TextAt(size_t offset = 0) const;
};

// A mouse move a monitor posted to the engine's window.
struct ReceivedMouseMove {
  UINT message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
};

// The engine's main window.
class FakeEngine {
 public:
  // A visible top-level window with the given outer rectangle (screen pixels).
  FakeEngine(int x = 100, int y = 50, int width = 640, int height = 480);
  ~FakeEngine();
  FakeEngine(const FakeEngine&) = delete;
  FakeEngine& operator=(const FakeEngine&) = delete;

  HWND window() const { return window_; }
  const std::vector<ReceivedCopy>& copies() const { return copies_; }
  const std::vector<ReceivedMouseMove>& mouseMoves() const { return mouseMoves_; }
  // The received messages with this command number, in arrival order.
  std::vector<ReceivedCopy> CopiesWithCommand(ULONG_PTR command) const;
  void ClearReceived();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  std::vector<ReceivedCopy> copies_;
  std::vector<ReceivedMouseMove> mouseMoves_;
};

// CreateMonitors on construction, DestroyMonitors on destruction.
class ScopedMonitors {
 public:
  explicit ScopedMonitors(HWND engine, uint32_t size = 24);
  ~ScopedMonitors();
  ScopedMonitors(const ScopedMonitors&) = delete;
  ScopedMonitors& operator=(const ScopedMonitors&) = delete;

  MonitorSet& set() { return set_; }
  bool created() const { return created_; }
  // Every created monitor window, in slot order.
  std::vector<HWND> Windows() const;

 private:
  MonitorSet set_{};
  bool created_ = false;
};

// Sends WM_COPYDATA as the engine does; returns what the window answered.
LRESULT SendHostMessage(HWND target, ULONG_PTR command, const void* record, DWORD byteCount,
                        HWND sender = nullptr);
// Sends UTF-16 text (with its terminator) as the record.
LRESULT SendHostText(HWND target, ULONG_PTR command, const std::wstring& text, HWND sender = nullptr);

// Dispatches every queued message of this thread; with a duration, keeps
// doing so until it has passed (timers and posted messages get their turn).
void PumpMessages(std::chrono::milliseconds duration = std::chrono::milliseconds(0));
// Pumps until the condition holds or the time-out passes; returns the condition.
bool PumpUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// Reading controls back.
std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int controlId);
std::wstring ClassOf(HWND window);
int ListViewRowCount(HWND list);
int ListViewColumnCount(HWND list);
std::wstring ListViewCell(HWND list, int row, int column);
std::wstring ListViewColumnTitle(HWND list, int column);
RECT WindowRectOf(HWND window);
RECT ChildRectInParent(HWND child);

// Driving controls. Positions are client coordinates of `window`.
void ClickAt(HWND window, int x, int y);
void DoubleClickAt(HWND window, int x, int y);
void RightClickAt(HWND window, int x, int y);
void ClickCentre(HWND window);
void PressKey(HWND window, UINT virtualKey);
// Presses `virtualKey` while the `held` keys (VK_CONTROL, VK_SHIFT) are down,
// as a keyboard would: the key messages are queued and translated, so the
// control character a chord brings (Ctrl+Z: U+001A) follows its key-down.
void PressChord(HWND window, std::initializer_list<UINT> held, UINT virtualKey);
void TypeText(HWND window, const std::wstring& text);

// Finds a top-level window of this thread with the given caption; none: null.
HWND FindThreadWindow(const std::wstring& caption);

// Runs `action` (which enters a modal loop, such as DebugReport) and, once a
// window with `caption` is shown inside that loop, calls `driver` with it.
// The driver must end the dialog. Returns false when the window never
// appeared (the action returned without it) or the driver had to be forced:
// after `timeout` every window of the thread is sent WM_CLOSE so the test
// does not hang.
bool DriveModal(const std::wstring& caption, const std::function<void()>& action,
                const std::function<void(HWND)>& driver,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// UTF-8 for test messages.
std::string Narrow(const std::wstring& text);

// The whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::wstring& path);

}  // namespace vnscope::test

#include <gtest/gtest.h>

namespace vnscope::test {

// Base of the tests that play the engine: the DLL loaded, an engine window at
// (100, 50), 640 x 480.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(dll.module, nullptr) << "vnscope.dll did not load";
    ASSERT_NE(engine.window(), nullptr);
  }

  const VnscopeDll& dll = VnscopeDll::Get();
  FakeEngine engine;
};

}  // namespace vnscope::test
