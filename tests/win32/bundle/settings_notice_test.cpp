// A vnscope.ini that is not used is told to the tester once, in the report
// dialog's failure message, and not again. The send flow is linked in
// directly and reads the settings beside a copy of the bundle's DLL, whose
// templates it shows; the send fails on a port nobody listens on.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "bundle/engine_folder.h"
#include "harness/harness.h"
#include "harness/loopback.h"
#include "harness/modal_steps.h"
#include "report/protocol/server_settings.h"
#include "report/report_server.h"
#include "report/send_report.h"
#include "resources/resource.h"
#include "win32/module.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

// Confirms with a title and returns the message the send ends with.
std::wstring SendAndReadMessage(const ReportSendSources& sources) {
  std::wstring message;
  const size_t driven = DriveModalSteps([&] { SendReport(sources); },
                                        {{L"送信確認",
                                          [](HWND confirm) {
                                            SetDlgItemTextW(confirm, IDC_REPORT_TITLE, L"設定のお知らせ");
                                            PostMessageW(confirm, WM_COMMAND, IDOK, 0);
                                          }},
                                         {L"Debug Report", [&](HWND box) {
                                            message = MessageBoxText(box);
                                            PressOk(box);
                                          }}});
  EXPECT_EQ(driven, 2u);
  return message;
}

TEST(SettingsNotice, FailureMessageExplainsAnUnusedFileOnce) {
  EngineFolder folder;
  folder.WriteSettings("[server]\r\naddress = 127.0.0.1\r\nport = 70000\r\n");
  HMODULE dll = LoadLibraryW((folder.path() / "vnscope.dll").c_str());
  ASSERT_NE(dll, nullptr);
  SetModuleInstance(dll);
  FakeEngine engine;
  HWND header = CreateWindowW(L"EDIT", L"[header]", WS_CHILD | ES_READONLY, 0, 0, 100, 20, engine.window(), nullptr,
                              nullptr, nullptr);
  HWND report = CreateWindowW(L"EDIT", L"本文", WS_CHILD, 0, 20, 100, 20, engine.window(), nullptr, nullptr, nullptr);
  SetReportServer({"127.0.0.1", UnusedPort()});
  const ReportSendSources sources{engine.window(), header, report, nullptr, nullptr};

  const ServerEndpoint built_in = BuiltInServerEndpoint();
  const std::wstring expected = L"レポートの送信に失敗しましたorz\n\nvnscope.ini の 3 行目: port \"70000\" は 1〜65535 "
                                L"のポート番号ではありません。\n設定は使わず、既定のサーバー " +
                                AsWide(std::u16string(built_in.address.begin(), built_in.address.end())) + L":" +
                                std::to_wstring(built_in.port) + L" を使いました。";
  EXPECT_EQ(Narrow(SendAndReadMessage(sources)), Narrow(expected));
  EXPECT_EQ(Narrow(SendAndReadMessage(sources)), Narrow(L"レポートの送信に失敗しましたorz"));
  SetModuleInstance(nullptr);
  DestroyWindow(report);
  DestroyWindow(header);
  FreeLibrary(dll);
}

}  // namespace
}  // namespace vnscope::test
