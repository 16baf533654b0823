// The report preview (dialog 112) on its own: requests by WM_COPYDATA against
// the real report server (through a recording relay), layout and closing.
#include <windows.h>

#include "harness/harness.h"
#include "harness/loopback.h"
#include "harness/modal_steps.h"
#include "harness/relay_proxy.h"
#include "harness/report_seeding.h"
#include "browser/report_preview.h"
#include "resources/resource.h"
#include "win32/module.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

constexpr uint8_t kFetchReport = 5;

class PreviewTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SetModuleInstance(dll.module);
    relay = std::make_unique<RelayProxy>(TestServer());
  }
  void TearDown() override {
    if (preview != nullptr) DestroyWindow(preview);
    relay.reset();
  }
  void Create(const ServerEndpoint& server) {
    preview = CreateReportPreview(engine.window(), server);
    ASSERT_NE(preview, nullptr);
  }
  // Sends a request as the browser does; the text of a message box it showed
  // (its caption is the system's default, which depends on the language).
  std::wstring Request(const std::string& bytes, DWORD byteCount, ULONG_PTR kind = 0) {
    g_shown.clear();
    g_owner = preview;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, DismissOwnedBox);
    EXPECT_EQ(SendHostMessage(preview, kind, bytes.data(), byteCount, engine.window()), 0);
    KillTimer(nullptr, timer);
    return g_shown;
  }
  static void CALLBACK DismissOwnedBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = OwnedWindow(g_owner);
    if (box == nullptr || !IsWindowVisible(box)) return;
    g_shown = MessageBoxText(box);
    PressOk(box);
  }
  static inline HWND g_owner = nullptr;
  static inline std::wstring g_shown;
  std::wstring Text() const { return ControlText(preview, IDC_PREVIEW_TEXT); }

  std::unique_ptr<RelayProxy> relay;
  HWND preview = nullptr;
};

std::string AnsiName(const std::u16string& name) { return Utf16ToAnsi(name) + '\0'; }

TEST_F(PreviewTest, CreatedHiddenAndOwned) {
  Create(relay->endpoint());
  EXPECT_FALSE(IsWindowVisible(preview));
  EXPECT_EQ(GetWindow(preview, GW_OWNER), engine.window());
  EXPECT_EQ(WindowText(preview), L"レポートプレビュー");
}

TEST_F(PreviewTest, RequestShowsTheTextWithItsLineBreak) {
  const auto seeded = SeedReports({{u"本文を見る", ReportFlags::HasText, ReportState::New, u"台詞が二重に表示される"}});
  Create(relay->endpoint());
  const std::string name = AnsiName(seeded[0].name);
  EXPECT_EQ(Request(name, static_cast<DWORD>(name.size())), L"");
  const std::wstring expected = AsWide(seeded[0].text) + L"\r\n";
  EXPECT_EQ(Text(), expected);
  DWORD start = 0, end = 0;
  SendDlgItemMessageW(preview, IDC_PREVIEW_TEXT, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                      reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(end, expected.size()) << "the caret ends after the text";
  EXPECT_TRUE(ControlText(preview, IDC_PREVIEW_NOTES).empty()) << "nothing is written into the notes";
  EXPECT_FALSE(IsWindowVisible(preview)) << "the browser shows it, not the request";
}

TEST_F(PreviewTest, NameIsReadWithinTheByteCount) {
  Create(relay->endpoint());
  // No terminator inside the three counted bytes: the name is "abc".
  Request("abcdef", 3);
  const auto connections = relay->Connections();
  ASSERT_EQ(connections.size(), 1u);
  ASSERT_FALSE(connections[0].empty());
  EXPECT_EQ(connections[0][0].code, kFetchReport);
  EXPECT_EQ(connections[0][0].payload, (std::vector<uint8_t>{'a', 'b', 'c', 0}));
}

TEST_F(PreviewTest, OtherDataKindsAreIgnored) {
  Create(relay->endpoint());
  SetDlgItemTextW(preview, IDC_PREVIEW_TEXT, L"前のテキスト");
  EXPECT_EQ(Request(std::string("abc\0", 4), 4, 1), L"");
  EXPECT_EQ(Text(), L"前のテキスト");
  EXPECT_TRUE(relay->Connections().empty());
}

TEST_F(PreviewTest, FailedFetchSaysSoAndKeepsTheOldText) {
  Create({"127.0.0.1", UnusedPort()});
  SetDlgItemTextW(preview, IDC_PREVIEW_TEXT, L"前のテキスト");
  EXPECT_EQ(Request(std::string("abc\0", 4), 4), L"レポートの受信に失敗しましたorz");
  EXPECT_EQ(Text(), L"前のテキスト");
}

TEST_F(PreviewTest, NotesTakeTheBottomQuarter) {
  Create(relay->endpoint());
  const struct {
    int width, height;
    int textHeight, notesHeight;
  } cases[] = {{200, 100, 75, 25}, {317, 101, 76, 25}, {50, 3, 3, 0}, {50, 7, 6, 1}};
  for (const auto& c : cases) {
    SendMessageW(preview, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.width, c.height));
    const RECT text = ChildRectInParent(GetDlgItem(preview, IDC_PREVIEW_TEXT));
    const RECT notes = ChildRectInParent(GetDlgItem(preview, IDC_PREVIEW_NOTES));
    EXPECT_EQ(text.left, 0);
    EXPECT_EQ(text.top, 0);
    EXPECT_EQ(text.right, c.width);
    EXPECT_EQ(text.bottom, c.textHeight) << c.height;
    EXPECT_EQ(notes.left, 0);
    EXPECT_EQ(notes.top, c.textHeight) << c.height;
    EXPECT_EQ(notes.right, c.width);
    EXPECT_EQ(notes.bottom, c.height) << c.height;
  }
}

TEST_F(PreviewTest, CloseHides) {
  Create(relay->endpoint());
  ShowWindow(preview, SW_SHOWNORMAL);
  SendMessageW(preview, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(preview));
  EXPECT_FALSE(IsWindowVisible(preview));
}

}  // namespace
}  // namespace vnscope::test
