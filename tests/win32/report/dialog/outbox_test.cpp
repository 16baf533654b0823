// The outbox under Wine against the real report server (scripts/test starts
// it at the build's endpoint): a send that gets no answer keeps the report on
// the tester's machine, and the sender delivers it once the server answers,
// exactly once. The dialog and the sender are linked in, so that a relay can
// stand between them and the server; the last test goes through the DLL.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/local_app_data.h"
#include "harness/loopback.h"
#include "harness/modal_steps.h"
#include "harness/relay_proxy.h"
#include "harness/report_seeding.h"
#include "report/dialog/capture_server.h"
#include "report/dialog/report_driving.h"
#include "report/outbox_sender.h"
#include "report/report_server.h"
#include "resources/resource.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

constexpr wchar_t kKeptMessage[] =
    L"レポートの送信に失敗しましたorz\nレポートは送信待ちとして保存しました。サーバーに接続できたときに自動で送信します。";
constexpr uint8_t kSubmit = 1;
constexpr auto kDelivery = std::chrono::seconds(20);

// Ids as the protocol writes them, made here without the library's help.
std::string TestReportId() {
  static unsigned counter = 0;
  char text[33];
  snprintf(text, sizeof text, "%08lx%08lx%08lx%08x", GetCurrentProcessId(), GetTickCount(), 0x7e57UL, ++counter);
  return text;
}

bool IsLowerHex(const std::string& text) {
  return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The title in a package's "author" entry: UTF-16LE up to its 0 unit.
std::wstring TitleOf(const std::vector<uint8_t>& package) {
  for (const ZipEntry& entry : ReadStoredZip(package)) {
    if (entry.name != "author") continue;
    std::wstring title;
    for (size_t i = 0; i + 1 < entry.data.size() && (entry.data[i] | entry.data[i + 1]); i += 2) {
      title.push_back(static_cast<wchar_t>(entry.data[i] | entry.data[i + 1] << 8));
    }
    return title;
  }
  return L"";
}

// How many reports of this title the server holds.
int StoredWithTitle(const std::wstring& title) {
  int count = 0;
  for (const auto& [name, record] : ServerReports()) count += record.title == AsUtf16(title);
  return count;
}

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// Sets when a file was last written, as `minutesAgo` before now.
void SetWrittenAgo(const std::wstring& path, int64_t minutesAgo) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
  ticks.QuadPart -= static_cast<uint64_t>(minutesAgo) * 60 * 10'000'000;
  const FILETIME written{ticks.LowPart, ticks.HighPart};
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The menu bar's last item, as the tester reads it.
std::wstring LastMenuItem(HWND dialog) {
  HMENU bar = GetMenu(dialog);
  wchar_t text[64] = {};
  GetMenuStringW(bar, GetMenuItemCount(bar) - 1, text, 64, MF_BYPOSITION);
  return text;
}

class OutboxTest : public EngineTest {
 protected:
  // The outbox as a failed send leaves it, for the tests that fill it themselves.
  void SetUp() override {
    EngineTest::SetUp();
    std::error_code error;
    std::filesystem::create_directories(local.outbox(), error);
  }
  void TearDown() override { StopOutboxSender(); }

  // A package the server takes, with its own title and id, written into the
  // outbox as if a send had failed `minutesAgo`.
  std::vector<uint8_t> PutInOutbox(const std::wstring& title, const std::string& id, int64_t minutesAgo = 1) {
    ReportSeed seed{AsUtf16(title)};
    seed.reportId = id;
    const std::vector<uint8_t> package = ReportPackage(seed, u"outbox", {});
    WriteBytes(local.outbox() + Wide(id) + L".zip", package);
    SetWrittenAgo(local.outbox() + Wide(id) + L".zip", minutesAgo);
    return package;
  }

  bool OutboxEmptied() {
    return PumpUntil([&] { return local.OutboxFiles().empty(); }, kDelivery);
  }

  // Types a text, sends it confirmed with `title`, then runs `after` on the
  // still open dialog and closes it; the send's message lands in `message`.
  void SendFromDialog(const std::wstring& title, std::wstring* message,
                      const std::function<void(HWND)>& after = nullptr) {
    ReportInfo info = MakeReportInfo(shot);
    ConfirmChoice choice{title};
    const size_t driven = DriveModalSteps([&] { RunLinkedReport(engine.window(), nullptr, info); },
                                          {{kReportCaption,
                                            [&](HWND dialog) {
                                              TypeText(FindReportWindows(dialog).report, L"届かないかもしれない報告");
                                              SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
                                              if (after) after(dialog);
                                              PostMessageW(dialog, WM_CLOSE, 0, 0);
                                            }},
                                           {kConfirmCaption, AcceptConfirm(&choice)},
                                           {kMessageCaption, ReadMessage(message)}});
    EXPECT_EQ(driven, 3u);
  }

  PrivateLocalAppData local;
  TestScreenshot shot = MakeScreenshot(96, 64);
};

// The first case: no server, the report waits with both lines and the
// menu item; the server comes up at the address the send used, and the
// sender's timer (shortened from its minute) delivers the report once.
TEST_F(OutboxTest, UnreachableServerKeepsTheReportUntilItComesUp) {
  ASSERT_EQ(local.OutboxFiles().size(), 0u);
  const uint16_t port = UnusedPort();
  SetReportServer({"127.0.0.1", port});
  SetOutboxRetryInterval(300);
  const std::wstring title = UniqueTitle(L"サーバー停止中の報告");
  std::wstring message;
  std::wstring menuBefore;
  std::wstring menuAfter;
  std::wstring textAfter;
  ReportInfo info = MakeReportInfo(shot);
  ConfirmChoice first{L"最初の題"};
  ConfirmChoice second{title};
  std::wstring secondMessage;
  const size_t driven = DriveModalSteps(
      [&] { RunLinkedReport(engine.window(), nullptr, info); },
      {{kReportCaption,
        [&](HWND dialog) {
          menuBefore = LastMenuItem(dialog);
          TypeText(FindReportWindows(dialog).report, L"本文");
          SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
          menuAfter = LastMenuItem(dialog);
          textAfter = WindowText(FindReportWindows(dialog).report);
          // Sent again from the same dialog: the same id, the same file.
          SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
          PostMessageW(dialog, WM_CLOSE, 0, 0);
        }},
       {kConfirmCaption, AcceptConfirm(&first)},
       {kMessageCaption, ReadMessage(&message)},
       {kConfirmCaption, AcceptConfirm(&second)},
       {kMessageCaption, ReadMessage(&secondMessage)}});
  EXPECT_EQ(driven, 5u);
  EXPECT_EQ(message, kKeptMessage);
  EXPECT_EQ(secondMessage, kKeptMessage);
  EXPECT_EQ(menuBefore, L"ブラウザ表示") << "no item while nothing waits";
  EXPECT_EQ(menuAfter, L"送信待ち 1件");
  EXPECT_EQ(textAfter, L"本文") << "the dialog stays open with what was written";

  const std::vector<std::wstring> kept = local.OutboxFiles();
  ASSERT_EQ(kept.size(), 1u) << "the second failure replaced the first one's file";
  const std::string id(kept[0].begin(), kept[0].end() - 4);
  EXPECT_TRUE(IsLowerHex(id)) << Narrow(kept[0]);
  EXPECT_EQ(kept[0].substr(32), L".zip");
  const std::vector<uint8_t> package = ReadFileBytes(local.outbox() + kept[0]);
  const std::vector<ZipEntry> entries = ReadStoredZip(package);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].name, "author");
  EXPECT_EQ(entries[1].name, "scriptinfo.txt");
  EXPECT_EQ(entries[2].name, "variables.csv");
  EXPECT_EQ(entries[3].name, "gamestate.txt");
  EXPECT_EQ(entries[4].name, "executionlog.txt");
  EXPECT_EQ(entries[5].name, "reportid");
  EXPECT_EQ(std::string(entries[5].data.begin(), entries[5].data.end()), id) << "named after the id it carries";
  EXPECT_EQ(TitleOf(package), title) << "the file holds the last package sent";

  RelayProxy server(TestServer(), RelayProxy::AtPort{port});
  ASSERT_EQ(server.endpoint().port, port);
  EXPECT_TRUE(OutboxEmptied());
  EXPECT_EQ(StoredWithTitle(title), 1);
  EXPECT_EQ(server.CountRequests(kSubmit), 1u);
  EXPECT_TRUE(local.OutboxFiles(L"refused").empty());
}

// The server stores the report, but its answer is lost: the report waits all
// the same, and sending it again leaves the server holding it once.
TEST_F(OutboxTest, LostAnswerIsSentAgainAndStoredOnce) {
  RelayProxy relay(TestServer());
  relay.DropReplies(true);
  SetReportServer(relay.endpoint());
  const std::wstring title = UniqueTitle(L"返事が届かない報告");
  std::wstring message;
  SendFromDialog(title, &message);
  EXPECT_EQ(message, kKeptMessage);
  ASSERT_EQ(local.OutboxFiles().size(), 1u);
  EXPECT_EQ(StoredWithTitle(title), 1) << "the server did store it";

  relay.DropReplies(false);
  SendOutboxNow();  // what CreateMonitors does
  EXPECT_TRUE(OutboxEmptied());
  EXPECT_EQ(StoredWithTitle(title), 1);
  const auto connections = relay.Connections();
  ASSERT_EQ(relay.CountRequests(kSubmit), 2u);
  EXPECT_EQ(connections[0][0].payload, connections[1][0].payload) << "the same package, id and all";
}

// Stopping (DestroyMonitors, unloading) abandons an exchange under way well
// within 2 s without making the caller wait; the report stays, and goes once
// the server answers again.
TEST_F(OutboxTest, StopLetsGoOfAnExchangeUnderWay) {
  RelayProxy relay(TestServer());
  relay.HoldReplies(true);
  SetReportServer(relay.endpoint());
  const std::wstring title = UniqueTitle(L"止められた送信");
  PutInOutbox(title, TestReportId());
  SendOutboxNow();
  ASSERT_TRUE(PumpUntil([&] { return relay.CountRequests(kSubmit) == 1; }, kDelivery));
  EXPECT_EQ(relay.OpenClients(), 1) << "the sender waits for its answer";

  const auto start = std::chrono::steady_clock::now();
  StopOutboxSender();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100)) << "the caller never waits";
  EXPECT_TRUE(PumpUntil([&] { return relay.OpenClients() == 0; }, std::chrono::seconds(5)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(local.OutboxFiles().size(), 1u) << "no answer came: the report waits";

  relay.HoldReplies(false);
  SendOutboxNow();
  EXPECT_TRUE(OutboxEmptied());
  EXPECT_EQ(StoredWithTitle(title), 1);
}

// A file cut short by a crash while writing keeps its temporary name and is
// never sent; once nobody has written to it for an hour it is removed.
TEST_F(OutboxTest, OnlyRenamedFilesAreSent) {
  RelayProxy relay(TestServer());
  SetReportServer(relay.endpoint());
  const std::vector<uint8_t> whole = PutInOutbox(UniqueTitle(L"書き終えた報告"), TestReportId());
  const std::wstring writing = Wide(TestReportId()) + L".zip.tmp";
  const std::wstring abandoned = Wide(TestReportId()) + L".zip.tmp";
  const std::vector<uint8_t> cut(whole.begin(), whole.begin() + whole.size() / 2);
  WriteBytes(local.outbox() + writing, cut);
  WriteBytes(local.outbox() + abandoned, cut);
  SetWrittenAgo(local.outbox() + abandoned, 61);

  SendOutboxNow();
  EXPECT_TRUE(PumpUntil([&] { return local.OutboxFiles() == std::vector<std::wstring>{writing}; }, kDelivery));
  ASSERT_EQ(relay.CountRequests(kSubmit), 1u);
  EXPECT_EQ(relay.Connections()[0][0].payload, whole);
}

// Fifty reports wait, written at shuffled times: each goes once, oldest first.
TEST_F(OutboxTest, FiftyWaitingReportsGoOldestFirstEachOnce) {
  constexpr int kReports = 50;
  RelayProxy relay(TestServer());
  SetReportServer(relay.endpoint());
  std::map<int64_t, std::wstring> byAge;  // minutes ago -> title
  for (int i = 0; i < kReports; ++i) {
    const int64_t minutesAgo = 10 + (i * 37) % kReports;  // 37 is prime to 50: every age once
    const std::wstring title = UniqueTitle(L"待っていた報告 " + std::to_wstring(i));
    PutInOutbox(title, TestReportId(), minutesAgo);
    byAge[minutesAgo] = title;
  }
  std::vector<std::wstring> oldestFirst;
  for (auto it = byAge.rbegin(); it != byAge.rend(); ++it) oldestFirst.push_back(it->second);

  SendOutboxNow();
  EXPECT_TRUE(PumpUntil([&] { return local.OutboxFiles().empty(); }, std::chrono::seconds(90)));
  std::vector<std::wstring> sent;
  for (const auto& connection : relay.Connections()) {
    for (const RecordedRequest& request : connection) {
      if (request.code == kSubmit) sent.push_back(TitleOf(request.payload));
    }
  }
  EXPECT_EQ(sent, oldestFirst);
  for (const std::wstring& title : oldestFirst) EXPECT_EQ(StoredWithTitle(title), 1) << Narrow(title);
}

// The server refuses what is no report package: it moves to refused\ as it
// was, and later passes leave it there.
TEST_F(OutboxTest, RefusedReportMovesToRefusedAndIsNotTriedAgain) {
  RelayProxy relay(TestServer());
  SetReportServer(relay.endpoint());
  const std::wstring refused = Wide(TestReportId()) + L".zip";
  const std::vector<uint8_t> notAPackage = {'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'};
  WriteBytes(local.outbox() + refused, notAPackage);
  SendOutboxNow();
  ASSERT_TRUE(PumpUntil([&] { return local.OutboxFiles(L"refused").size() == 1; }, kDelivery));
  EXPECT_EQ(local.OutboxFiles(L"refused"), std::vector<std::wstring>{refused});
  EXPECT_EQ(ReadFileBytes(local.outbox() + L"refused\\" + refused), notAPackage);
  EXPECT_TRUE(local.OutboxFiles().empty());

  const std::wstring title = UniqueTitle(L"拒否の後の報告");
  PutInOutbox(title, TestReportId());
  SendOutboxNow();
  EXPECT_TRUE(OutboxEmptied());
  EXPECT_EQ(StoredWithTitle(title), 1);
  EXPECT_EQ(relay.CountRequests(kSubmit), 2u) << "the refused one was not tried again";
}

// Another engine process's sender holds a file while it sends it: this one
// passes it by, and takes it once it is free and still there.
TEST_F(OutboxTest, ReportHeldByAnotherSenderIsPassedBy) {
  RelayProxy relay(TestServer());
  SetReportServer(relay.endpoint());
  const std::string heldId = TestReportId();
  const std::wstring heldTitle = UniqueTitle(L"他のプロセスが送信中");
  const std::wstring freeTitle = UniqueTitle(L"空いている報告");
  PutInOutbox(heldTitle, heldId, 5);
  PutInOutbox(freeTitle, TestReportId(), 2);
  const std::wstring heldPath = local.outbox() + Wide(heldId) + L".zip";
  HANDLE held = CreateFileW(heldPath.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  SendOutboxNow();
  EXPECT_TRUE(PumpUntil([&] { return StoredWithTitle(freeTitle) == 1; }, kDelivery));
  EXPECT_TRUE(PumpUntil([&] { return local.OutboxFiles().size() == 1; }, kDelivery));
  EXPECT_TRUE(Exists(heldPath));
  EXPECT_EQ(relay.CountRequests(kSubmit), 1u);

  CloseHandle(held);
  SendOutboxNow();
  EXPECT_TRUE(OutboxEmptied());
  EXPECT_EQ(StoredWithTitle(heldTitle), 1);
  EXPECT_EQ(relay.CountRequests(kSubmit), 2u);
}

// While the dialog is open, the sender's deliveries show in its menu bar.
TEST_F(OutboxTest, MenuItemFollowsTheOutboxWhileTheDialogIsOpen) {
  RelayProxy relay(TestServer());
  SetReportServer(relay.endpoint());
  PutInOutbox(UniqueTitle(L"待っている報告 1"), TestReportId(), 3);
  PutInOutbox(UniqueTitle(L"待っている報告 2"), TestReportId(), 2);
  ReportInfo info = MakeReportInfo(shot);
  std::wstring atStart;
  int itemsAtStart = 0;
  bool itemWent = false;
  DriveModal(kReportCaption, [&] { RunLinkedReport(engine.window(), nullptr, info); }, [&](HWND dialog) {
    atStart = LastMenuItem(dialog);
    itemsAtStart = GetMenuItemCount(GetMenu(dialog));
    SendOutboxNow();
    itemWent = PumpUntil([&] { return LastMenuItem(dialog) == L"ブラウザ表示"; }, kDelivery);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(atStart, L"送信待ち 2件");
  EXPECT_EQ(itemsAtStart, 5) << "one item more than the four of the template";
  EXPECT_TRUE(itemWent);
  EXPECT_TRUE(local.OutboxFiles().empty());
}

// Through the DLL: CreateMonitors sends what an earlier run left waiting, to
// the server the DLL was built for.
TEST_F(OutboxTest, CreateMonitorsSendsWhatWaits) {
  const std::wstring title = UniqueTitle(L"前回の起動で残った報告");
  PutInOutbox(title, TestReportId());
  {
    ScopedMonitors monitors(engine.window(), 24);
    ASSERT_TRUE(monitors.created());
    EXPECT_TRUE(OutboxEmptied());
  }
  EXPECT_EQ(StoredWithTitle(title), 1);
}

}  // namespace
}  // namespace vnscope::test
