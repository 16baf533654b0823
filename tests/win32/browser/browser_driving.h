// Shared by the browser tests: a browser created from the library linked into
// the test (dialogs from the loaded DLL's resources), talking to the real
// report server through a recording relay, and the ways a tester drives it.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/relay_proxy.h"
#include "harness/report_seeding.h"

namespace vnscope::test {

inline constexpr wchar_t kDebugReportCaption[] = L"Debug Report";
inline constexpr wchar_t kPreviewCaption[] = L"レポートプレビュー";

class BrowserTest : public EngineTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the browser with the relay (or `server`) as its server; it starts
  // its list fetch at once.
  void Open();
  void Open(const ServerEndpoint& server, DWORD editorIdleWaitMs = 30'000);
  // Waits until the worker has ended and its result was handled; the text of
  // the message box that handling showed (OK pressed), or empty.
  std::wstring Settle();
  // Sends a command as the popup menu or a button does.
  void Command(int id);
  // Selects the tab as a click on it does.
  void ClickTab(int index);

  int RowOf(const std::u16string& name) const;
  // Selects exactly these rows.
  void SelectRows(const std::vector<int>& rows);
  // The text colour the browser's custom draw gives the row, or `unchanged`
  // when it leaves the list's own.
  COLORREF RowColour(int row, COLORREF unchanged) const;
  LPARAM RowData(int row) const;
  int CurrentTab() const;

  std::unique_ptr<RelayProxy> relay;
  HWND browser = nullptr;
  HWND list = nullptr;
  HWND tabs = nullptr;
  // Owner of the last message box Settle dismissed.
  HWND messageOwner = nullptr;
};

// Counts the list fills of a browser (each starts by deleting every item).
class FillCounter {
 public:
  explicit FillCounter(HWND browser);
  ~FillCounter();
  int fills() const;
};

}  // namespace vnscope::test
