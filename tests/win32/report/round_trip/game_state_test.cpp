// The game state through the DLL and the real report server: the engine's
// variables, panel and log go into the package as the tester sends it, come
// back byte for byte with FetchReportEntry, and "この状態を再現" in the next
// report dialog's browser puts them into the running game, which the engine's
// window records.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/list_driving.h"
#include "harness/modal_steps.h"
#include "harness/popup_menu.h"
#include "harness/report_seeding.h"
#include "report/dialog/report_driving.h"
#include "report/protocol/system_ansi_codec.h"
#include "report/protocol/winsock_stream.h"
#include "resources/resource.h"
#include "vnscope_revision.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

constexpr wchar_t kBrowserCaption[] = L"レポートブラウザ";
constexpr int kRestoreState = 30006;
constexpr char kBom[] = "\xEF\xBB\xBF";

class GameStateTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    ASSERT_EQ(GetACP(), 932u);
  }

  // The engine announces its variables, commits them and sets some values.
  void FeedVariables(const std::vector<const wchar_t*>& names, const std::vector<RegisterMapEntry>& map,
                     const std::vector<std::pair<int32_t, const wchar_t*>>& values) {
    HWND list = monitors.set().variableList;
    for (const wchar_t* name : names) {
      VariableMessage record{};
      record.text = name;
      SendHostMessage(list, VN_ADD_VARIABLE_NAME, &record, sizeof(record));
    }
    SendHostMessage(list, VN_COMMIT_VARIABLES, map.empty() ? nullptr : map.data(),
                    static_cast<DWORD>(map.size() * sizeof(RegisterMapEntry)));
    for (const auto& [position, text] : values) {
      VariableMessage record{};
      record.position = position;
      record.text = text;
      SendHostMessage(list, VN_SET_VARIABLE_VALUE, &record, sizeof(record));
    }
  }

  // The report of `title` on the server, found by its title.
  std::u16string ReportNamed(const std::wstring& title) {
    for (const auto& [name, record] : ServerReports()) {
      if (record.title == AsUtf16(title)) return std::u16string(name);
    }
    return u"";
  }

  ScopedMonitors monitors{engine.window(), 24};
  TestScreenshot shot = MakeScreenshot(160, 120);
};

TEST_F(GameStateTest, EntriesTravelWithTheReportByteForByte) {
  FeedVariables({L"#a", L"#x,y", L"#say\"hi\"", L"@フラグ.千早"}, {{5, 0x0102, 0}}, {{0, L"12"}, {3, L"-7"}});
  HWND panel = monitors.set().otherInfo;
  SendHostText(panel, VN_SET_JUMP_LABEL, L"第二章_夜");
  SendHostText(panel, VN_SET_VOICE, L"voice/001.ogg");
  SendHostText(panel, VN_SET_BGS, L"");
  SendHostText(panel, VN_SET_BGV, L"bgv/風.ogg");
  // The log window's text as it shows it; no file to follow meanwhile.
  HWND log = monitors.set().executionLog;
  SendHostText(log, VN_LOG_FILE_NAME, L"C:\\no\\such\\folder\\vnscope-none.log");
  SetDlgItemTextW(log, IDC_LOG_TEXT, L"起動\r\nscene 1\r\n");

  ConfirmChoice choice{UniqueTitle(L"ゲーム状態つき")};
  std::wstring message;
  ReportInfo info = MakeReportInfo(shot);
  bool sent = false;
  ASSERT_EQ(DriveModalSteps([&] { sent = dll.DebugReport(&monitors.set(), &info); },
                            {{kReportCaption,
                              [&](HWND dialog) {
                                TypeText(FindReportWindows(dialog).report, L"本文");
                                SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
                              }},
                             {kConfirmCaption, AcceptConfirm(&choice)},
                             {kMessageCaption, ReadMessage(&message)}}),
            3u);
  ASSERT_TRUE(sent) << Narrow(message);
  EXPECT_TRUE(choice.startedWithGameState);
  const std::u16string name = ReportNamed(choice.title);
  ASSERT_FALSE(name.empty());

  WinsockStream stream;
  std::vector<std::vector<uint8_t>> entries;
  constexpr std::string_view kNames[] = {"variables.csv", "gamestate.txt", "executionlog.txt"};
  ASSERT_TRUE(FetchReportEntries(stream, TestServer(), SystemAnsiCodec(), name, kNames, &entries));
  ASSERT_EQ(entries.size(), 3u);

  // The CSV as the entry's definition spells it: フ E3 83 95, ラ E3 83 A9,
  // グ E3 82 B0, 千 E5 8D 83, 早 E6 97 A9; "@" names after the "#" names.
  EXPECT_EQ(std::string(entries[0].begin(), entries[0].end()),
            std::string(kBom) +
                "index,name,value,register\r\n"
                "0,#a,12,\r\n"
                "1,\"#x,y\",0,\r\n"
                "2,\"#say\"\"hi\"\"\",0,\r\n"
                "3,@\xE3\x83\x95\xE3\x83\xA9\xE3\x82\xB0.\xE5\x8D\x83\xE6\x97\xA9,-7,5\r\n");

  // The panel's fields in UTF-8, the DLL's version, this program as the
  // engine (no version resource of its own), and this machine.
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring program = path;
  program.erase(0, program.find_last_of(L"\\/") + 1);
  ASSERT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION), nullptr);
  const std::string state(entries[1].begin(), entries[1].end());
  const std::string expectedStart = "label: " + Narrow(L"第二章_夜") + "\r\nvoice: voice/001.ogg\r\nbgs: \r\nbgv: " +
                                    Narrow(L"bgv/風.ogg") + "\r\nvnscope: " + VNSCOPE_PRODUCT_VERSION +
                                    "\r\nengine: " + Narrow(program) + "\r\nwindows: ";
  ASSERT_EQ(state.substr(0, expectedStart.size()), expectedStart) << state;
  const std::string screen = "\r\ncodepage: 932\r\nscreen: " + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
                             std::to_string(GetSystemMetrics(SM_CYSCREEN)) + "\r\ntime: ";
  const size_t screenAt = state.find(screen);
  ASSERT_NE(screenAt, std::string::npos) << state;
  // windows: three numbers and two dots.
  const std::string windows = state.substr(expectedStart.size(), screenAt - expectedStart.size());
  EXPECT_EQ(std::count(windows.begin(), windows.end(), '.'), 2) << windows;
  EXPECT_EQ(windows.find_first_not_of("0123456789."), std::string::npos) << windows;
  // time: today's local date, then the clock and a signed offset, then CRLF, last.
  const std::string time = state.substr(screenAt + screen.size());
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02dT", now.wYear, now.wMonth, now.wDay);
  ASSERT_EQ(time.size(), 27u) << time;
  EXPECT_EQ(time.substr(0, 11), date);
  EXPECT_TRUE(time[19] == '+' || time[19] == '-') << time;
  EXPECT_EQ(time.substr(13, 1) + time.substr(16, 1) + time.substr(22, 1), ":::") << time;
  EXPECT_EQ(time.substr(25), "\r\n");

  // 起 E8 B5 B7, 動 E5 8B 95: the window's text, its CRLF line ends kept.
  EXPECT_EQ(std::string(entries[2].begin(), entries[2].end()), "\xE8\xB5\xB7\xE5\x8B\x95\r\nscene 1\r\n");
}

TEST_F(GameStateTest, UncheckedGameStateSendsNoneOfTheEntries) {
  ConfirmChoice choice{UniqueTitle(L"ゲーム状態なし")};
  choice.sendGameState = false;
  std::wstring message;
  ReportInfo info = MakeReportInfo(shot);
  bool sent = false;
  DriveModalSteps([&] { sent = dll.DebugReport(&monitors.set(), &info); },
                  {{kReportCaption,
                    [&](HWND dialog) {
                      TypeText(FindReportWindows(dialog).report, L"本文");
                      SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
                    }},
                   {kConfirmCaption, AcceptConfirm(&choice)},
                   {kMessageCaption, ReadMessage(&message)}});
  ASSERT_TRUE(sent) << Narrow(message);
  const std::u16string name = ReportNamed(choice.title);
  ASSERT_FALSE(name.empty());
  for (std::string_view entry : {"variables.csv", "gamestate.txt", "executionlog.txt"}) {
    WinsockStream stream;
    std::vector<std::vector<uint8_t>> contents;
    EXPECT_FALSE(FetchReportEntries(stream, TestServer(), SystemAnsiCodec(), name, {&entry, 1}, &contents)) << entry;
  }
  WinsockStream stream;
  std::vector<std::vector<uint8_t>> contents;
  constexpr std::string_view kAuthor[] = {"author"};
  EXPECT_TRUE(FetchReportEntries(stream, TestServer(), SystemAnsiCodec(), name, kAuthor, &contents))
      << "the report is there, without the game state";
}

// What one "この状態を再現" showed and what the engine received after it.
struct Restore {
  std::wstring box;                      // the text of the box that came
  std::vector<ReceivedCopy> edits;       // VN_VARIABLE_EDITED from the list's editor
  std::vector<ReceivedCopy> jumps;       // VN_JUMP_TO_LABEL from the panel
  bool enabledWithOne = false, enabledWithTwo = true;
};

class RestoreTest : public GameStateTest {
 protected:
  // In a new report dialog: the browser lists the reports, the tester selects
  // the one titled `title` and chooses "この状態を再現"; `answer` ends the box.
  Restore Run(const std::u16string& title, const std::u16string& other, int answer) {
    Restore seen;
    ReportInfo info = MakeReportInfo(shot);
    HWND reportDialog = nullptr;
    const size_t steps = DriveModalSteps(
        [&] { dll.DebugReport(&monitors.set(), &info); },
        {{kReportCaption,
          [&](HWND dialog) {
            reportDialog = dialog;
            SendMessageW(dialog, WM_COMMAND, IDM_SHOW_BROWSER, 0);
            HWND browser = FindThreadWindow(kBrowserCaption);
            HWND list = GetDlgItem(browser, IDC_BROWSER_LIST);
            PumpUntil([&] { return FindListRow(list, 1, AsWide(title)) >= 0 && FindListRow(list, 1, AsWide(other)) >= 0; });
            const int row = FindListRow(list, 1, AsWide(title));
            const auto menuAfterClick = [&](int clicked) {
              RECT cell{LVIR_BOUNDS};
              SendMessageW(list, LVM_ENSUREVISIBLE, clicked, FALSE);
              SendMessageW(list, LVM_GETITEMRECT, clicked, reinterpret_cast<LPARAM>(&cell));
              const auto popup = ReadPopupMenu([&] { RightClickAt(list, cell.left + 100, (cell.top + cell.bottom) / 2); });
              return !popup.empty() && popup.back().id == kRestoreState && popup.back().enabled;
            };
            SelectListRows(list, {row, FindListRow(list, 1, AsWide(other))});
            // A right click keeps a selection it lands in.
            seen.enabledWithTwo = menuAfterClick(row);
            SelectListRows(list, {row});
            seen.enabledWithOne = menuAfterClick(row);
            SelectListRows(list, {row});
            engine.ClearReceived();
            SendMessageW(browser, WM_COMMAND, kRestoreState, 0);
          }},
         {kMessageCaption, [&](HWND box) {
            seen.box = MessageBoxText(box);
            PostMessageW(box, WM_COMMAND, answer, 0);
            // After the box and what its answer does.
            PostMessageW(reportDialog, WM_CLOSE, 0, 0);
          }}});
    EXPECT_EQ(steps, 2u);
    HWND editor = GetDlgItem(monitors.set().variableList, IDC_VALUE_EDITOR);
    for (const ReceivedCopy& copy : engine.CopiesWithCommand(VN_VARIABLE_EDITED)) {
      if (copy.sender == editor) seen.edits.push_back(copy);
    }
    for (const ReceivedCopy& copy : engine.CopiesWithCommand(VN_JUMP_TO_LABEL)) {
      if (copy.sender == monitors.set().otherInfo) seen.jumps.push_back(copy);
    }
    return seen;
  }

  // A report as a tester's DLL sent it: #a unchanged, #b and "#x,y" changed,
  // #zz unknown to this game, @c unchanged.
  std::vector<SeededReport> SeedStates() {
    ReportSeed with{AsUtf16(UniqueTitle(L"再現する報告"))};
    const std::string csv = std::string(kBom) +
                            "index,name,value,register\r\n0,#a,1,\r\n1,#b,20,\r\n2,\"#x,y\",-3,4\r\n3,#zz,9,\r\n"
                            "4,@c,4,\r\n";
    const std::string state = "label: " + Narrow(L"第三章") + "\r\nvoice: \r\nbgs: \r\nbgv: \r\n";
    with.entries = {{"variables.csv", {csv.begin(), csv.end()}}, {"gamestate.txt", {state.begin(), state.end()}}};
    ReportSeed without{AsUtf16(UniqueTitle(L"古いDLLの報告"))};
    return SeedReports({with, without});
  }

  void SetUp() override {
    GameStateTest::SetUp();
    FeedVariables({L"#a", L"#b", L"#x,y", L"@c"}, {}, {{0, L"1"}, {1, L"2"}, {2, L"3"}, {3, L"4"}});
  }
};

TEST_F(RestoreTest, YesWritesTheDifferingVariablesAsTheEditorDoesThenJumps) {
  const auto seeded = SeedStates();
  const Restore seen = Run(seeded[0].title, seeded[1].title, IDYES);
  EXPECT_TRUE(seen.enabledWithOne);
  EXPECT_FALSE(seen.enabledWithTwo) << "greyed unless exactly one row is selected";
  EXPECT_EQ(seen.box, L"2個の変数を書き換えて、ラベル 第三章 にジャンプします。よろしいですか？\n"
                      L"（このゲームにない変数 1個は飛ばします）");
  // The editor's record: the typed text, then the name, 512 bytes.
  const std::pair<std::wstring, std::wstring> expected[] = {{L"20", L"#b"}, {L"-3", L"#x,y"}};
  ASSERT_EQ(seen.edits.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(seen.edits[i].byteCount, 512u);
    EXPECT_EQ(seen.edits[i].TextAt(0), expected[i].first) << i;
    EXPECT_EQ(seen.edits[i].TextAt(256), expected[i].second) << i;
  }
  ASSERT_EQ(seen.jumps.size(), 1u);
  EXPECT_EQ(seen.jumps[0].byteCount, 512u);
  EXPECT_EQ(seen.jumps[0].TextAt(0), L"第三章");
  // The list shows what the store now holds.
  HWND list = GetDlgItem(monitors.set().variableList, IDC_VARIABLE_LIST);
  EXPECT_EQ(ListViewCell(list, 1, 1), L"20");
  EXPECT_EQ(ListViewCell(list, 2, 1), L"-3");
  EXPECT_EQ(ListViewCell(list, 0, 1), L"1");
}

TEST_F(RestoreTest, NoSendsNothing) {
  const auto seeded = SeedStates();
  const Restore seen = Run(seeded[0].title, seeded[1].title, IDNO);
  EXPECT_NE(seen.box.find(L"2個の変数を書き換えて"), std::wstring::npos) << Narrow(seen.box);
  EXPECT_TRUE(seen.edits.empty());
  EXPECT_TRUE(seen.jumps.empty());
  EXPECT_EQ(ListViewCell(GetDlgItem(monitors.set().variableList, IDC_VARIABLE_LIST), 1, 1), L"2");
}

TEST_F(RestoreTest, AReportWithoutTheEntriesShowsTheFetchFailure) {
  const auto seeded = SeedStates();
  const Restore seen = Run(seeded[1].title, seeded[0].title, IDOK);
  EXPECT_EQ(seen.box, L"ゲーム状態の受信に失敗しましたorz");
  EXPECT_TRUE(seen.edits.empty());
  EXPECT_TRUE(seen.jumps.empty());
}

}  // namespace
}  // namespace vnscope::test
