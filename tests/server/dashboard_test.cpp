// The dashboard's pieces without a browser: decoding and escaping of what
// senders wrote, the object list, login and sessions, listening rules, the
// store's pages and state history. The pages themselves are tested in a real
// browser (dashboard_browser_test.py).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <future>

#include "server/dashboard/access.h"
#include "server/dashboard/dashboard.h"
#include "server/dashboard/pages.h"
#include "server/web_text.h"
#include "server/package.h"
#include "server/store.h"
#include "test_support.h"

namespace vnscope::server {
namespace {

using test::Bytes;

struct DecodeCase {
  const char* what;
  Bytes bytes;
  std::string text;
};

TEST(DecodeText, Cp932WholeAndBadBytesAsReplacements) {
  // Byte values from the code page 932 table: ① is the NEC row 13 extension
  // (87 40), ～ is FULLWIDTH TILDE (81 60), ｱ the half-width kana B1.
  const DecodeCase cases[] = {
      {"ASCII and kanji", {'a', 0x8A, 0xBF, 0x8E, 0x9A}, "a漢字"},
      {"code page 932 only", {0x87, 0x40, 0x81, 0x60, 0xB1}, "①～ｱ"},
      {"terminators dropped", {'o', 'k', 0, 0}, "ok"},
      {"undefined byte kept as U+FFFD", {'a', 0xFF, 'b'}, "a\uFFFDb"},
      {"lead byte cut off at the end", {'a', 0x82}, "a\uFFFD"},
      {"0 inside the text", {'a', 0, 'b', 0}, "a\uFFFDb"},
      {"CRLF kept", {'1', '\r', '\n', '2'}, "1\r\n2"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeText(c.bytes, "CP932"), c.text) << c.what;
  EXPECT_TRUE(CanDecode("CP932"));
  EXPECT_FALSE(CanDecode("no-such-code-page"));
}

// iconv reads UTF-8 loosely: the old 5- and 6-byte forms and code points past
// U+10FFFF came through as they were, and a page showed malformed UTF-8.
TEST(DecodeText, Utf8KeepsOnlyWellFormedSequences) {
  const std::string r = "\uFFFD";
  const DecodeCase cases[] = {
      {"well-formed kept", {'a', 0xC3, 0xA4, 0xE6, 0xBC, 0xA2, 0xF0, 0x9F, 0x98, 0x80}, "a\u00E4\u6F22\U0001F600"},
      {"5-byte form", {0xF8, 0x88, 0x80, 0x80, 0x80, 'x'}, r + r + r + r + r + "x"},
      {"6-byte form", {0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}, r + r + r + r + r + r},
      {"past U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, r + r + r + r},
      {"overlong", {0xC0, 0xAF, 0xE0, 0x80, 0xAF}, r + r + r + r + r},
      {"surrogate", {0xED, 0xA0, 0x80}, r + r + r},
      {"cut off", {'a', 0xE6, 0xBC}, "a" + r + r},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeText(c.bytes, "UTF-8"), c.text) << c.what;
}

TEST(HtmlEscape, EndsNeitherTextNorAttribute) {
  EXPECT_EQ(HtmlEscape("<script>alert('x')</script> & \"q\""),
            "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;");
  EXPECT_EQ(HtmlEscape("素の文字"), "素の文字");
  EXPECT_EQ(UrlEncode("a b&c=ä"), "a%20b%26c%3D%C3%A4");
}

struct ObjectListCase {
  const char* what;
  std::string text;
  std::vector<std::vector<std::string>> rows;
};

TEST(ParseObjectList, CellsInQuotesEachFollowedByAComma) {
  const ObjectListCase cases[] = {
      {"two rows", "\"1\",\"背景\",\"BG\",\"表示\",\"0\",\"0\",\n\"2\",\"x\",\n",
       {{"1", "背景", "BG", "表示", "0", "0"}, {"2", "x"}}},
      {"empty cells", "\"\",\"a\",\n", {{"", "a"}}},
      {"quote-comma inside a cell, as the writer does not escape", "\"a\",b\",\"c\",\n", {{"a\",b", "c"}}},
      {"no final line feed, CRLF", "\"1\",\r\n\"2\",", {{"1"}, {"2"}}},
      {"a row of another shape is kept whole", "plain text\n\"x\"\n", {{"plain text"}, {"\"x\""}}},
      {"nothing", "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseObjectList(c.text), c.rows) << c.what;
}

TEST(PngSize, FromTheHeaderOnly) {
  // Signature, IHDR length 13, "IHDR", width 0x141 (321), height 0x7B (123).
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
               0, 0, 0x01, 0x41, 0, 0, 0, 0x7B};
  auto size = PngSize(png);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 321u);
  EXPECT_EQ(size->height, 123u);
  png[1] = 'Q';
  EXPECT_FALSE(PngSize(png));
  EXPECT_FALSE(PngSize(Bytes(png.begin(), png.begin() + 20)));
}

TEST(Access, CompareCookiesAndAddresses) {
  EXPECT_TRUE(ConstantTimeEquals("secret", "secret"));
  for (const char* wrong : {"", "secre", "secrets", "Secret", "secret\n"}) EXPECT_FALSE(ConstantTimeEquals(wrong, "secret")) << wrong;
  EXPECT_FALSE(ConstantTimeEquals("x", ""));

  EXPECT_EQ(CookieValue("a=1; vnscope_session=abc; b=2", "vnscope_session"), "abc");
  EXPECT_EQ(CookieValue("xvnscope_session=abc", "vnscope_session"), "");
  EXPECT_EQ(CookieValue("vnscope_session=", "vnscope_session"), "");

  struct AddressCase {
    const char* address;
    bool valid;
    bool loopback;
  };
  const AddressCase addresses[] = {
      {"127.0.0.1:47212", true, true},   {"127.1.2.3:0", true, true},     {"[::1]:80", true, true},
      {"[::ffff:127.0.0.1]:1", true, true}, {"0.0.0.0:47212", true, false}, {"[::]:47212", true, false},
      {"192.168.1.5:8080", true, false},   {"localhost:80", false, false}, {"127.0.0.1", false, false},
      {"127.0.0.1:65536", false, false},   {"127.0.0.1:x", false, false},
  };
  for (const auto& a : addresses) {
    std::string host, error;
    uint16_t port = 0;
    ASSERT_EQ(SplitHostPort(a.address, &host, &port, &error), a.valid) << a.address;
    if (a.valid) {
      EXPECT_EQ(IsLoopbackHost(host), a.loopback) << a.address;
    }
  }
}

// The query values any visitor can write, which found faults in fuzzing.
TEST(DashboardQuery, NextStaysOnThisSite) {
  struct NextCase {
    std::string next;
    std::string used;
  };
  const NextCase cases[] = {
      {"/reports/20260101-000000-000001?tab=2", "/reports/20260101-000000-000001?tab=2"},
      // Browsers drop tabs and line breaks, so these lead to "//evil.example".
      {"/\t/evil.example", "/"},
      {"/\r\n/evil.example", "/"},
      {"/\t\\evil.example", "/"},
      {"//evil.example", "/"},
      {"/\\evil.example", "/"},
      {"https://evil.example/", "/"},
      {"", "/"},
      // Dropped where they cannot change the target; other controls refuse it.
      {"/reports/\n20260101-000000-000001", "/reports/20260101-000000-000001"},
      {std::string("/a\0b", 4), "/"},
      {"/a\x01", "/"},
      {"/a\x7F", "/"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeNext(c.next), c.used) << c.next;
}

TEST(DashboardQuery, TabInRangeBeforeNarrowing) {
  for (int tab = 0; tab <= 3; ++tab) EXPECT_EQ(ListTabFromQuery(std::to_string(tab)), tab);
  // 2^32 + 2 narrowed to int is 2: a tab nobody asked for.
  for (const char* other : {"", "4", "-1", "x", "4294967296", "4294967298", "-4294967295"})
    EXPECT_EQ(ListTabFromQuery(other), kDashboardTabOrder[0]) << other;
}

TEST(DashboardQuery, PageOffsetAlwaysFits) {
  EXPECT_EQ(ListPageFromQuery("3"), 3);
  EXPECT_EQ(ListOffset(ListPageFromQuery("3")), 100);
  for (const char* first : {"", "0", "-5", "x", "2x", "99999999999999999999"}) EXPECT_EQ(ListPageFromQuery(first), 1) << first;
  // Near 2^63 the offset (page - 1) * 50 overflowed.
  for (const char* huge : {"9223372036854775807", "622222222222222222"}) {
    EXPECT_EQ(ListPageFromQuery(huge), kMaxListPage) << huge;
    EXPECT_GT(ListOffset(ListPageFromQuery(huge)), 0) << huge;
  }
}

TEST(Access, SessionsFromTheSecretOnly) {
  DashboardAccess open("", std::chrono::milliseconds(0));
  EXPECT_FALSE(open.needs_login());
  EXPECT_TRUE(open.FormToken(""));
  std::string session;
  EXPECT_EQ(open.LogIn("", "client", &session), DashboardAccess::Login::kRefused) << "no secret, no sessions";

  DashboardAccess access("s3cret", std::chrono::milliseconds(40));
  EXPECT_FALSE(access.FormToken(""));
  EXPECT_FALSE(access.FormToken("vnscope_session=made-up"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(access.LogIn("s3cre", "client", &session), DashboardAccess::Login::kRefused);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40)) << "wrong secrets are slow";
  ASSERT_EQ(access.LogIn("s3cret", "client", &session), DashboardAccess::Login::kAccepted);
  const std::string cookie = "vnscope_session=" + session;
  auto token = access.FormToken(cookie);
  ASSERT_TRUE(token);
  EXPECT_EQ(token->size(), 64u);
  EXPECT_NE(*token, session) << "the form token must not give the cookie away";
  access.LogOut(cookie);
  EXPECT_FALSE(access.FormToken(cookie));
}

TEST(Access, ParallelWrongSecretsQueueThenAreTurnedAway) {
  DashboardAccess access("s3cret", std::chrono::milliseconds(250));
  std::vector<std::future<DashboardAccess::Login>> guesses;
  for (int i = 0; i < 12; ++i) {
    guesses.push_back(std::async(std::launch::async, [&access] {
      std::string session;
      return access.LogIn("guess", "client", &session);
    }));
  }
  int refused = 0, throttled = 0;
  for (auto& guess : guesses) {
    const auto result = guess.get();
    refused += result == DashboardAccess::Login::kRefused;
    throttled += result == DashboardAccess::Login::kThrottled;
  }
  EXPECT_EQ(refused + throttled, 12);
  EXPECT_GE(throttled, 1) << "only a bounded number of guesses may wait for an answer";
  EXPECT_LE(refused, 9);
}

class DashboardStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    store_ = ReportStore::Open(dir_.path() / "data", &error);
    ASSERT_TRUE(store_) << error;
  }
  std::string Add(std::u16string_view title, std::u16string_view reporter, uint32_t flags, int64_t unix_ms = 0,
                  const std::string& game_state = "") {
    std::vector<std::pair<std::string, Bytes>> entries = {{"author", test::AuthorEntry(title, reporter, flags)}};
    if (!game_state.empty()) entries.emplace_back("gamestate.txt", test::ToBytes(game_state));
    const Bytes package = test::StoredZip(entries);
    std::string reason;
    auto summary = InspectPackage(package, &reason);
    EXPECT_TRUE(summary) << reason;
    return store_->Add(*summary, package, "10.0.0.7:5000", unix_ms, &reason).value_or("");
  }
  std::vector<std::string> Names(const PageQuery& query) {
    std::vector<std::string> names;
    auto page = store_->ListPage(query, nullptr);
    EXPECT_TRUE(page);
    if (page) {
      for (const ReportRow& row : page->rows) names.push_back(row.name);
    }
    return names;
  }

  test::TempDir dir_;
  std::unique_ptr<ReportStore> store_;
};

TEST_F(DashboardStoreTest, PagesFilterSearchAndCount) {
  const std::string text = Add(u"文字化け", u"佐藤", 1);
  const std::string both = Add(u"100% 再現", u"鈴木", 3);
  const std::string snapshot = Add(u"黒い画面", u"a_b", 2);
  const std::string fixed = Add(u"修正済みのもの", u"佐藤", 1);
  ASSERT_EQ(store_->SetState(fixed, 0x80000000u, {kSourceBrowser, "p", 0}, nullptr), Lookup::kFound);

  auto all = store_->ListPage({1, "", 0, 50}, nullptr);
  ASSERT_TRUE(all);
  EXPECT_EQ(all->tab_counts, (std::array<int64_t, 4>{3, 2, 2, 2}));
  EXPECT_EQ(Names({1, "", 0, 50}), (std::vector<std::string>{both, text})) << "open with text, newest first";
  EXPECT_EQ(Names({0, "", 1, 2}), (std::vector<std::string>{both, text})) << "offset and limit";
  EXPECT_EQ(Names({0, "佐藤", 0, 50}), (std::vector<std::string>{fixed, text})) << "reporter";
  EXPECT_EQ(Names({2, "画面", 0, 50}), (std::vector<std::string>{snapshot})) << "title";
  // LIKE's wildcards are plain characters in a search.
  EXPECT_EQ(Names({0, "%", 0, 50}), (std::vector<std::string>{both}));
  EXPECT_EQ(Names({2, "_", 0, 50}), (std::vector<std::string>{snapshot}));
  auto searched = store_->ListPage({0, "佐藤", 0, 50}, nullptr);
  ASSERT_TRUE(searched);
  EXPECT_EQ(searched->tab_counts, (std::array<int64_t, 4>{2, 1, 0, 0})) << "counts follow the search";
}

TEST_F(DashboardStoreTest, EveryStateChangeIsRecordedWithItsOrigin) {
  const std::string name = Add(u"t", u"r", 1, 1000);
  ASSERT_EQ(store_->SetState(name, 0x80000000u, {kSourceDashboard, "127.0.0.1:1", 2000}, nullptr), Lookup::kFound);
  ASSERT_EQ(store_->SetState(name, 1, {kSourceBrowser, "10.0.0.9:2", 3000}, nullptr), Lookup::kFound);
  EXPECT_EQ(store_->SetState("20000101-000000-000099", 1, {kSourceBrowser, "x", 0}, nullptr), Lookup::kUnknown);
  const uint64_t revision = store_->revision();
  Add(u"u", u"r", 1);
  EXPECT_NE(store_->revision(), revision) << "a new report changes the revision";

  ReportDetails details;
  ASSERT_EQ(store_->LoadDetails(name, &details, nullptr), Lookup::kFound);
  EXPECT_EQ(details.row.state, 1u);
  EXPECT_EQ(details.peer, "10.0.0.7:5000");
  EXPECT_FALSE(details.package.empty());
  ASSERT_EQ(details.history.size(), 2u);
  EXPECT_EQ(details.history[0].changed_ms, 2000);
  EXPECT_EQ(details.history[0].previous, 0u);
  EXPECT_EQ(details.history[0].state, 0x80000000u);
  EXPECT_EQ(details.history[0].source, kSourceDashboard);
  EXPECT_EQ(details.history[1].previous, 0x80000000u);
  EXPECT_EQ(details.history[1].source, kSourceBrowser);
  EXPECT_EQ(details.history[1].peer, "10.0.0.9:2");
  EXPECT_EQ(store_->LoadDetails("20000101-000000-000099", &details, nullptr), Lookup::kUnknown);
}

TEST_F(DashboardStoreTest, CommentsAndAssigneeJoinTheHistoryAndFilterTheList) {
  const std::string first = Add(u"a", u"r", 1, 0, "label: *序章\r\nvoice: \r\n");
  const std::string second = Add(u"b", u"r", 1, 0, "label: *序章_2\r\n");
  const std::string third = Add(u"c", u"r", 1);
  const StateChangeOrigin by_sato{kSourceDashboard, "10.0.0.5:1", 1000, "佐藤"};
  ASSERT_EQ(store_->SetAssignee(first, "鈴木", by_sato, nullptr), Lookup::kFound);
  ASSERT_EQ(store_->SetAssignee(second, "佐藤", by_sato, nullptr), Lookup::kFound);
  ASSERT_EQ(store_->SetAssignee(second, "佐藤", by_sato, nullptr), Lookup::kFound) << "the same again records nothing";
  ASSERT_EQ(store_->AddComment(first, "<script>x</script>\n二行目", {kSourceApi, "10.0.0.6:2", 2000, "鈴木"}, nullptr),
            Lookup::kFound);
  ASSERT_EQ(store_->SetState(first, 0x80000000u, {kSourceBrowser, "10.0.0.9:3", 3000}, nullptr), Lookup::kFound);
  ASSERT_EQ(store_->SetAssignee(first, "", {kSourceDashboard, "10.0.0.5:1", 4000, "佐藤"}, nullptr), Lookup::kFound);
  EXPECT_EQ(store_->AddComment("20000101-000000-000099", "x", by_sato, nullptr), Lookup::kUnknown);

  PageQuery query{0, "", 0, 50};
  query.label = "*序章";
  EXPECT_EQ(Names(query), (std::vector<std::string>{first})) << "an exact label, not a prefix";
  query = {0, "", 0, 50};
  query.assignee = "佐藤";
  EXPECT_EQ(Names(query), (std::vector<std::string>{second}));
  query.unassigned = true;
  EXPECT_EQ(Names(query), (std::vector<std::string>{third, first})) << "cleared counts as unassigned";
  auto counted = store_->ListPage(query, nullptr);
  ASSERT_TRUE(counted);
  EXPECT_EQ(counted->tab_counts[0], 2) << "counts follow the filters";

  ReportDetails details;
  ASSERT_EQ(store_->LoadDetails(first, &details, nullptr), Lookup::kFound);
  EXPECT_EQ(details.row.label, "*序章");
  EXPECT_EQ(details.row.assignee, "");
  ASSERT_EQ(details.notes.size(), 3u);
  EXPECT_EQ(details.notes[0].kind, kNoteAssignee);
  EXPECT_EQ(details.notes[0].previous, "");
  EXPECT_EQ(details.notes[0].text, "鈴木");
  EXPECT_EQ(details.notes[0].by, "佐藤");
  EXPECT_EQ(details.notes[1].kind, kNoteComment);
  EXPECT_EQ(details.notes[1].text, "<script>x</script>\n二行目");
  EXPECT_EQ(details.notes[1].source, kSourceApi);
  EXPECT_EQ(details.notes[2].previous, "鈴木");
  EXPECT_EQ(details.notes[2].text, "");
  ASSERT_EQ(details.history.size(), 1u);
  EXPECT_EQ(details.history[0].by, "");
  ASSERT_EQ(store_->LoadDetails(second, &details, nullptr), Lookup::kFound);
  EXPECT_EQ(details.notes.size(), 1u);
}

TEST_F(DashboardStoreTest, EventsRecordedOnceEventsAreOn) {
  const std::string before = Add(u"before", u"r", 1);
  ASSERT_EQ(store_->LastEventId(nullptr), 0) << "nothing recorded until asked";
  int told = 0;
  store_->RecordEvents([&told] { ++told; });
  const std::string added = Add(u"新しい", u"r", 1, 500);
  ASSERT_EQ(store_->SetState(added, 1, {kSourceBrowser, "p", 600}, nullptr), Lookup::kFound);
  ASSERT_EQ(store_->SetAssignee(added, "鈴木", {kSourceApi, "p", 700, "佐藤"}, nullptr), Lookup::kFound);
  ASSERT_EQ(store_->AddComment(before, "見ました", {kSourceDashboard, "p", 800, "鈴木"}, nullptr), Lookup::kFound);
  EXPECT_EQ(told, 4);
  const auto events = store_->EventsAfter(0, 100, nullptr);
  ASSERT_TRUE(events);
  ASSERT_EQ(events->size(), 4u);
  const char* kinds[] = {kEventCreated, kEventState, kEventAssignee, kEventComment};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ((*events)[i].event, kinds[i]);
  EXPECT_EQ((*events)[0].title, "新しい");
  EXPECT_EQ((*events)[1].state, 1u) << "the state after the change";
  EXPECT_EQ((*events)[1].detail, "0") << "and the one before";
  EXPECT_EQ((*events)[2].detail, "鈴木");
  EXPECT_EQ((*events)[3].name, before);

  // A receiver seen for the first time starts after the newest event; its
  // place is kept, and events every receiver had are dropped.
  auto delivery = store_->DeliveryOf("http://a/", nullptr);
  ASSERT_TRUE(delivery);
  EXPECT_EQ(delivery->delivered, (*events)[3].id);
  ASSERT_TRUE(store_->SaveDelivery("http://b/", {(*events)[1].id, 0}, nullptr));
  ASSERT_TRUE(store_->DropDeliveredEvents({"http://a/", "http://b/"}, nullptr));
  EXPECT_EQ(store_->EventsAfter(0, 100, nullptr)->size(), 2u);
  EXPECT_EQ(store_->LastEventId(nullptr), (*events)[3].id);
}

TEST(DashboardStore, DatabaseOfTheFirstVersionGainsTheHistory) {
  test::TempDir dir;
  const auto data = dir.path() / "data";
  std::filesystem::create_directories(data);
  // The tables as the first server made them, with one report in them.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((data / "reports.sqlite3").c_str(), &db), SQLITE_OK);
  const std::string sql = std::string(test::kSchemaOneTables) +
                          "INSERT INTO reports VALUES(1, '20261207-120000-000001', 0, 'p', 'old', 'r', 1, 0, x'00');"
                          "INSERT INTO packages VALUES(1, x'00');"
                          "PRAGMA user_version=1;";
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  std::string error;
  auto store = ReportStore::Open(data, &error);
  ASSERT_TRUE(store) << error;
  ASSERT_EQ(store->SetState("20261207-120000-000001", 1, {kSourceDashboard, "p", 5}, &error), Lookup::kFound) << error;
  ReportDetails details;
  ASSERT_EQ(store->LoadDetails("20261207-120000-000001", &details, &error), Lookup::kFound) << error;
  EXPECT_EQ(details.row.title, "old");
  EXPECT_EQ(details.history.size(), 1u);
}

}  // namespace
}  // namespace vnscope::server
