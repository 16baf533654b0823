// Drives a chain of modal windows that open one inside another (a dialog, a
// confirmation it runs, the message box after it), each by its caption.
#pragma once
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vnscope::test {

// A window expected inside the modal loops, and what to do with it.
struct ModalStep {
  std::wstring caption;
  std::function<void(HWND)> driver;
};

// Runs `action` (which enters a modal loop) and hands each step's window, in
// order, to its driver once it appears. A driver may itself open the next
// modal window synchronously (SendMessage); the next step is then driven
// inside it. Returns how many steps were driven; after `timeout` every window
// of the thread is sent WM_CLOSE so that a test never hangs.
size_t DriveModalSteps(const std::function<void()>& action, std::vector<ModalStep> steps,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));

// The text a message box shows (its static text control).
std::wstring MessageBoxText(HWND box);

// A window of this thread owned by `owner` (a message box it shows) that
// `accept`, when given, takes; null if none.
HWND OwnedWindow(HWND owner, const std::function<bool(HWND)>& accept = nullptr);

// Dismisses a message box or dialog with its OK button, once the driver returns.
void PressOk(HWND window);

}  // namespace vnscope::test
