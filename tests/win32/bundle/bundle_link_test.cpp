// The release bundle in an engine team's hands: a C program linked with the
// bundle's MinGW import library runs beside a copy of the bundle's DLL, calls
// the five exports, and its report goes where the vnscope.ini beside the DLL
// says, or to the built-in server when there is no usable file. This test
// plays the tester in the program's report dialog, across the process line.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "bundle/engine_folder.h"
#include "harness/harness.h"
#include "harness/modal_steps.h"
#include "report/protocol/report_client.h"
#include "report/protocol/server_settings.h"
#include "report/protocol/system_ansi_codec.h"
#include "report/protocol/winsock_stream.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// The second report server scripts/test starts, on a port of its choosing.
std::optional<ServerEndpoint> OtherServer() {
  const char* text = std::getenv("VNSCOPE_OTHER_SERVER");
  if (text == nullptr) return std::nullopt;
  const std::string endpoint = text;
  const size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  return ServerEndpoint{endpoint.substr(0, colon), static_cast<uint16_t>(std::atoi(endpoint.c_str() + colon + 1))};
}

struct WindowSearch {
  DWORD process;
  std::wstring caption;
  HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process || !IsWindowVisible(window) || WindowText(window) != search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

// A visible top-level window of `process` with this caption; null if none.
HWND ProcessWindow(DWORD process, const std::wstring& caption) {
  WindowSearch search{process, caption};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The report dialog's text edit: its one writable edit.
HWND ReportEdit(HWND dialog) {
  HWND found = nullptr;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (lstrcmpiW(name, L"Edit") == 0 && !(GetWindowLongW(child, GWL_STYLE) & ES_READONLY)) found = child;
  }
  return found;
}

struct EngineRun {
  DWORD exitCode = STILL_ACTIVE;
  std::wstring message;  // what the report dialog told the tester
  std::string results;   // what the program's five calls returned
};

// Starts the program in `folder`, writes `text` as the report under `title`,
// sends it, reads the outcome message and lets the program finish.
EngineRun RunEngine(const EngineFolder& folder, const std::wstring& title) {
  std::wstring command = L"\"" + (folder.path() / "link_example.exe").wstring() + L"\"";
  STARTUPINFOW startup{sizeof(startup)};
  PROCESS_INFORMATION process{};
  EngineRun run;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.path().c_str(), &startup,
                      &process)) {
    ADD_FAILURE() << "link_example.exe did not start: " << GetLastError();
    return run;
  }
  const DWORD pid = process.dwProcessId;
  enum class Step { Dialog, Confirm, Message, Exit } step = Step::Dialog;
  const auto deadline = steady_clock::now() + milliseconds(60000);
  while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT && steady_clock::now() < deadline) {
    switch (step) {
      case Step::Dialog:
        if (HWND dialog = ProcessWindow(pid, L"デバッグレポート")) {
          SendMessageW(ReportEdit(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"立ち絵が一瞬消える。"));
          PostMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
          step = Step::Confirm;
        }
        break;
      case Step::Confirm:
        if (HWND confirm = ProcessWindow(pid, L"送信確認")) {
          SendMessageW(GetDlgItem(confirm, IDC_REPORT_TITLE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
          PostMessageW(confirm, WM_COMMAND, IDOK, 0);
          step = Step::Message;
        }
        break;
      case Step::Message:
        if (HWND box = ProcessWindow(pid, L"Debug Report")) {
          run.message = MessageBoxText(box);
          PressOk(box);
          step = Step::Exit;
        }
        break;
      case Step::Exit: break;
    }
  }
  if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    ADD_FAILURE() << "link_example.exe still running at step " << static_cast<int>(step);
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
  }
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  run.results = folder.Read("results.txt");
  return run;
}

bool ServerHasTitle(const ServerEndpoint& server, const std::wstring& title) {
  WinsockStream stream;
  ReportRecords records;
  EXPECT_TRUE(ListReports(stream, server, SystemAnsiCodec(), &records)) << server.address << ":" << server.port;
  for (const auto& [name, record] : records) {
    if (record.title == std::u16string(title.begin(), title.end())) return true;
  }
  return false;
}

// The example vnscope.ini the bundle ships.
std::string ShippedSettings() {
  std::ifstream in(TestsFolder() / VNSCOPE_BUNDLE_FOLDER / "vnscope.ini", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Unzipped beside the demo, the bundle must not send reports to a studio's
// address that is only an example; a studio that takes the ";" away from
// both keys gets the server it wrote.
TEST(BundleLink, ShippedSettingsKeepTheBuiltInServerUntilEdited) {
  const std::string shipped = ShippedSettings();
  ASSERT_FALSE(shipped.empty());
  const ServerEndpoint built_in = BuiltInServerEndpoint();
  const ServerSettings as_shipped = ParseServerSettings(shipped, built_in);
  EXPECT_EQ(as_shipped.problem.kind, SettingsProblem::Kind::None);
  EXPECT_EQ(as_shipped.endpoint.address, built_in.address);
  EXPECT_EQ(as_shipped.endpoint.port, built_in.port);

  std::string edited = shipped;
  for (const char* key : {"; address = ", "; port = "}) {
    const size_t at = edited.find(key);
    ASSERT_NE(at, std::string::npos) << key;
    edited.erase(at, 2);
  }
  const ServerSettings studio = ParseServerSettings(edited, built_in);
  EXPECT_EQ(studio.problem.kind, SettingsProblem::Kind::None);
  EXPECT_EQ(studio.endpoint.address, "192.168.0.10");
  EXPECT_EQ(studio.endpoint.port, 47211);
}

struct SettingsCase {
  const char* why;
  // The file's text, with {port} standing for the other server's port; none: no file.
  std::optional<std::string> settings;
  bool toOther;
};

TEST(BundleLink, CProgramCallsTheFiveExportsAndReportsWhereTheSettingsSay) {
  const std::optional<ServerEndpoint> other = OtherServer();
  ASSERT_TRUE(other) << "VNSCOPE_OTHER_SERVER=address:port is not set (scripts/test starts that server)";
  const ServerEndpoint built_in = BuiltInServerEndpoint();
  ASSERT_NE(other->port, built_in.port);
  const SettingsCase cases[] = {
      {"no vnscope.ini", std::nullopt, false},
      {"vnscope.ini naming the other server", "; studio server\r\n[server]\r\naddress = 127.0.0.1\r\nport = {port}\r\n",
       true},
      // The port line alone is good; a file with any bad line is not used at all.
      {"malformed vnscope.ini", "[server]\r\nport = {port}\r\naddress 127.0.0.1\r\n", false},
      {"the bundle's vnscope.ini as shipped", ShippedSettings(), false},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.why);
    EngineFolder folder;
    if (c.settings) {
      std::string text = *c.settings;
      if (const size_t port = text.find("{port}"); port != std::string::npos) {
        text.replace(port, 6, std::to_string(other->port));
      }
      folder.WriteSettings(text);
    }
    const std::wstring title = L"バンドル " + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
    const EngineRun run = RunEngine(folder, title);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.results,
              "CreateMonitors=1\nOutputClipboard=1\nOutputBMP32to24=1\nDebugReport=1\nDestroyMonitors=1\n");
    EXPECT_TRUE(fs::is_regular_file(folder.path() / "thumbnail" / "00007.bmp"));
    EXPECT_EQ(Narrow(run.message), Narrow(L"レポートの送信に成功しました。"));
    EXPECT_EQ(ServerHasTitle(*other, title), c.toOther);
    EXPECT_EQ(ServerHasTitle(built_in, title), !c.toOther);
  }
}

}  // namespace
}  // namespace vnscope::test
