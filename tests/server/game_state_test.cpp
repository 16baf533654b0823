// The game's state as a package carries it, read back for the dashboard and
// the API; the list's CSV; the notifications' lines and targets; what people
// type when they triage. Expected values are written from the formats'
// definitions, not from the code.
#include <gtest/gtest.h>

#include "server/dashboard/csv_export.h"
#include "server/dashboard/triage_input.h"
#include "server/game_state.h"
#include "server/webhook_event.h"
#include "test_support.h"

namespace vnscope::server {
namespace {

using test::Bytes;
using test::ToBytes;

constexpr char kBom[] = "\xEF\xBB\xBF";

struct VariablesCase {
  const char* what;
  std::string csv;
  std::vector<GameVariable> variables;
};

TEST(ParseVariables, TheTableAsTheDllWritesIt) {
  const std::string header = std::string(kBom) + "index,name,value,register\r\n";
  const VariablesCase cases[] = {
      {"a store with no variables: the first line alone", header, {}},
      {"value and register in decimal, an empty register field",
       header + "0,$flag,1,12\r\n1,%count,-2147483648,\r\n",
       {{0, "$flag", 1, 12}, {1, "%count", -2147483648LL, std::nullopt}}},
      {"a comma, a quote and a line break in quotes, inner quotes doubled",
       header + "2,\"$a,b\",3,\r\n3,\"$say \"\"hi\"\"\",4,5\r\n4,\"$two\r\nlines\",0,\r\n",
       {{2, "$a,b", 3, std::nullopt}, {3, "$say \"hi\"", 4, 5}, {4, "$two\r\nlines", 0, std::nullopt}}},
      {"Japanese names kept byte for byte", header + "5,$好感度_さくら,100,7\r\n", {{5, "$好感度_さくら", 100, 7}}},
      {"no byte-order mark, LF line ends", "index,name,value,register\n0,$x,9,\n", {{0, "$x", 9, std::nullopt}}},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseVariables(ToBytes(c.csv));
    ASSERT_TRUE(parsed) << c.what;
    EXPECT_EQ(*parsed, c.variables) << c.what;
  }
}

TEST(ParseGameState, KeyValueLinesInTheirOrder) {
  const std::string text =
      "label: *第二章_夜\r\nvoice: \r\nbgs: rain.ogg\r\nbgv: \r\nvnscope: 1.4.0\r\nengine: tqvm.exe 2.1.0.7\r\n"
      "windows: 10.0.19045\r\ncodepage: 932\r\nscreen: 1920x1080\r\ntime: 2026-12-08T14:03:11+09:00\r\n";
  const std::vector<std::pair<std::string, std::string>> lines = {
      {"label", "*第二章_夜"}, {"voice", ""},           {"bgs", "rain.ogg"},     {"bgv", ""},
      {"vnscope", "1.4.0"},   {"engine", "tqvm.exe 2.1.0.7"}, {"windows", "10.0.19045"}, {"codepage", "932"},
      {"screen", "1920x1080"}, {"time", "2026-12-08T14:03:11+09:00"}};
  EXPECT_EQ(ParseGameState(ToBytes(text)), lines);
  EXPECT_EQ(GameStateLabel(ToBytes(text)), "*第二章_夜");
  EXPECT_EQ(GameStateLabel(ToBytes("voice: a: b\r\n")), "") << "no label line";
  EXPECT_EQ(ParseGameState(ToBytes("voice: a: b\nlabel:\n")),
            (std::vector<std::pair<std::string, std::string>>{{"voice", "a: b"}, {"label", ""}}))
      << "split at the first separator; a bare key";
}

TEST(ReadGameState, OnlyTheEntriesThePackageHolds) {
  const Bytes author = test::AuthorEntry(u"t", u"r", 1);
  const auto older = ReadGameState(test::StoredZip({{"author", author}}));
  EXPECT_FALSE(older.any()) << "a package of an older DLL has no game state";
  const auto state = ReadGameState(test::StoredZip({{"author", author},
                                                    {"variables.csv", ToBytes("index,name,value,register\r\n")},
                                                    {"gamestate.txt", ToBytes("label: a\r\n")},
                                                    {"executionlog.txt", ToBytes("line 1\r\nline 2\r\n")}}));
  ASSERT_TRUE(state.variables && state.lines && state.log);
  EXPECT_TRUE(state.variables->empty());
  EXPECT_EQ(*state.log, "line 1\r\nline 2\r\n");
  const auto broken = ReadGameState(test::StoredZip({{"author", author}, {"variables.csv", ToBytes("x\r\n")}}));
  EXPECT_TRUE(broken.any());
  EXPECT_TRUE(broken.variables_unreadable);
}

TEST(ReportsCsv, ByteOrderMarkCrLfAndQuotesWhereNeeded) {
  ReportRow row;
  row.name = "20261208-050000-000001";
  row.received_ms = 1796706000123;  // 2026-12-08 05:00:00.123 UTC
  row.title = "文字が\"はみ出す\", 二行目";
  row.reporter = "佐藤";
  row.flags = 3;
  row.state = 0x80000000u;
  row.assignee = "鈴木";
  EXPECT_EQ(ReportsCsv({row}),
            "\xEF\xBB\xBFname,title,reporter,state,state_label,flags,received,assignee,label\r\n"
            "20261208-050000-000001,\"文字が\"\"はみ出す\"\", 二行目\",佐藤,2147483648,修正済,3,"
            "2026-12-08T05:00:00.123+00:00,鈴木,\r\n");
}

// Texts from a report's sender must not run in the spreadsheet that opens the
// export: each that starts as a formula does is kept as text.
TEST(ReportsCsv, FieldsThatWouldRunAsFormulasStayText) {
  ReportRow row;
  row.name = "n";
  row.title = "=HYPERLINK(\"http://example.invalid\",\"押して\")";
  row.reporter = "@SUM(A1)";
  row.assignee = "-1+1";
  row.label = "+cmd";
  const std::string csv = ReportsCsv({row});
  const std::string line = csv.substr(csv.find("\r\n") + 2);
  EXPECT_EQ(line, "n,\"'=HYPERLINK(\"\"http://example.invalid\"\",\"\"押して\"\")\",'@SUM(A1),0,新着,0,"
                  "1970-01-01T00:00:00.000+00:00,'-1+1,'+cmd\r\n");
}

TEST(Webhook, LinesAndBodies) {
  ReportEvent event;
  event.event = kEventCreated;
  event.name = "20261208-050000-000001";
  event.title = "タイトル";
  event.reporter = "報告者";
  EXPECT_EQ(WebhookLine(event), "新着: タイトル (報告者)");
  EXPECT_EQ(WebhookBody(event, "https://vnscope.example/"),
            "{\"event\":\"report.created\",\"name\":\"20261208-050000-000001\",\"title\":\"タイトル\","
            "\"reporter\":\"報告者\",\"state\":0,\"state_label\":\"新着\","
            "\"url\":\"https://vnscope.example/reports/20261208-050000-000001\",\"text\":\"新着: タイトル (報告者)\"}");
  event.event = kEventState;
  event.state = 0x80000000u;
  event.detail = "1";
  event.by = "鈴木";
  EXPECT_EQ(WebhookLine(event), "状態変更: タイトル: 再修正依頼 → 修正済 (鈴木)");
  event.event = kEventAssignee;
  event.detail = "";
  EXPECT_EQ(WebhookLine(event), "担当解除: タイトル (鈴木)");
  event.event = kEventComment;
  event.detail = "一行目\n二行目";
  EXPECT_EQ(WebhookLine(event), "コメント: タイトル (鈴木): 一行目…");
}

TEST(Webhook, Targets) {
  struct Case {
    const char* url;
    const char* origin;
    const char* path;
  };
  const Case good[] = {
      {"http://127.0.0.1:8080/hook", "http://127.0.0.1:8080", "/hook"},
      {"https://chat.example/api/hooks/abc?x=1", "https://chat.example", "/api/hooks/abc?x=1"},
      {"http://chat.example", "http://chat.example", "/"},
      {"http://chat.example?x=1#frag", "http://chat.example", "/?x=1"},
  };
  for (const auto& c : good) {
    const auto target = ParseWebhookUrl(c.url);
    ASSERT_TRUE(target) << c.url;
    EXPECT_EQ(target->origin, c.origin) << c.url;
    EXPECT_EQ(target->path, c.path) << c.url;
  }
  for (const char* bad : {"ftp://x/", "http://", "chat.example/hook", "http://user@x/", ""}) EXPECT_FALSE(ParseWebhookUrl(bad)) << bad;
}

TEST(TriageInput, NamesAndComments) {
  EXPECT_EQ(PersonName("  鈴木\r\n一郎\t"), "鈴木  一郎");
  EXPECT_EQ(PersonName("a\xFF"), "a\uFFFD") << "ill-formed bytes are replaced";
  EXPECT_EQ(PersonName(std::string(kMaxPersonNameBytes, 'x')), std::string(kMaxPersonNameBytes, 'x'));
  EXPECT_FALSE(PersonName(std::string(kMaxPersonNameBytes + 1, 'x')));
  EXPECT_EQ(CommentText("\r\n one\r\ntwo\rthree \n\n"), "one\ntwo\nthree");
  EXPECT_EQ(CommentText(std::string(kMaxCommentBytes, 'c'))->size(), kMaxCommentBytes) << "64 KiB is allowed";
  EXPECT_FALSE(CommentText(std::string(kMaxCommentBytes + 1, 'c'))) << "over 64 KiB is refused";
}

}  // namespace
}  // namespace vnscope::server
