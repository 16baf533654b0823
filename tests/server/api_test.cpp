// The JSON API against the real server: reports reach it over the report
// protocol, the API is read and written over HTTP with a bearer token, and
// what it says is checked against what was sent and against the dashboard.
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <regex>

#include "server_fixture.h"

namespace vnscope::test {
namespace {

using Json = nlohmann::json;
constexpr char kToken[] = "s3cret-token with spaces";

class ApiTest : public ServerTest {
 protected:
  ServerProcess& StartWithApi() {
    const auto token_file = dir_.path() / "api-token";
    std::ofstream(token_file) << kToken << "\r\n";  // the trailing line end is not part of it
    return Start({"--http", "127.0.0.1:0", "--api-token-file", token_file.string()});
  }
  static httplib::Result Call(ServerProcess& server, const std::string& method, const std::string& path,
                              const std::string& body = "", const std::string& token = kToken) {
    httplib::Client client("127.0.0.1", server.http_port());
    httplib::Headers headers;
    if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
    if (method == "GET") return client.Get(path, headers);
    if (method == "PUT") return client.Put(path, headers, body, "application/json");
    return client.Post(path, headers, body, "application/json");
  }
  static Json JsonOf(const httplib::Result& answer) {
    EXPECT_TRUE(answer);
    if (!answer) return {};
    EXPECT_EQ(answer->get_header_value("Content-Type"), "application/json; charset=utf-8");
    return Json::parse(answer->body, nullptr, false);
  }
  static std::string Submit(ServerProcess& server, const std::vector<std::pair<std::string, Bytes>>& entries) {
    const auto reply = SubmitPackage(server.port(), StoredZip(entries)).reply;
    EXPECT_TRUE(reply && reply->code == 0);
    return reply ? NameOf(*reply) : "";
  }
};

TEST_F(ApiTest, WithoutATokenFileThereIsNoApi) {
  ServerProcess& server = Start({"--http", "127.0.0.1:0"});
  const auto answer = Call(server, "GET", "/api/v1/reports");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 404);
}

TEST_F(ApiTest, OnlyTheRightBearerTokenIsLetIn) {
  ServerProcess& server = StartWithApi();
  const std::pair<const char*, std::string> refused[] = {
      {"no header", ""}, {"wrong token", "s3cret-token"}, {"the token and more", std::string(kToken) + "x"}};
  for (const auto& [why, token] : refused) {
    const auto answer = Call(server, "GET", "/api/v1/reports", "", token);
    ASSERT_TRUE(answer) << why;
    EXPECT_EQ(answer->status, 401) << why;
    EXPECT_TRUE(JsonOf(answer).contains("error")) << why;
  }
  httplib::Client client("127.0.0.1", server.http_port());
  EXPECT_EQ(client.Get("/api/v1/reports", {{"Authorization", std::string("Basic ") + kToken}})->status, 401);
  EXPECT_EQ(Call(server, "GET", "/api/v1/reports")->status, 200);
  EXPECT_EQ(Call(server, "GET", "/api/v1/nothing")->status, 404);
  EXPECT_EQ(Call(server, "GET", "/api/v1/nothing", "", "wrong")->status, 401) << "the token before anything else";
}

TEST_F(ApiTest, AReportWithItsGameStateHistoryAndFiles) {
  ServerProcess& server = StartWithApi();
  const Bytes snapshot = ToBytes("\x89PNG\r\n\x1a\nnot really a picture");
  const Bytes text = ToBytes("\x95\xb6\x8e\x9a\x89\xbb\x82\xaf");  // 文字化け in code page 932
  const std::vector<std::pair<std::string, Bytes>> entries = {
      {"author", AuthorEntry(u"文字化け", u"佐藤", 3)},
      {"scriptinfo.txt", text},
      {"snapshot.png", snapshot},
      {"variables.csv", ToBytes("\xEF\xBB\xBFindex,name,value,register\r\n0,\"$a,\"\"b\"\"\",-5,\r\n1,$好感度,7,3\r\n")},
      {"gamestate.txt", ToBytes("label: *序章\r\nvoice: \r\nscreen: 1920x1080\r\n")},
      {"executionlog.txt", ToBytes("log\r\n")}};
  const std::string name = Submit(server, entries);
  Connection browser(server.port());
  ASSERT_TRUE(browser.Send(4, StatePayload(0x80000000u, name)));
  ASSERT_EQ(browser.ReceiveReplies().size(), 2u);
  browser.End();
  EXPECT_EQ(Call(server, "POST", "/api/v1/reports/" + name + "/comments", R"({"by": "鈴木", "text": "<script>見ました</script>"})")->status, 204);
  EXPECT_EQ(Call(server, "PUT", "/api/v1/reports/" + name + "/assignee", R"({"assignee": "鈴木", "by": "佐藤"})")->status, 204);

  const Json report = JsonOf(Call(server, "GET", "/api/v1/reports/" + name));
  EXPECT_EQ(report["name"], name);
  EXPECT_EQ(report["title"], "文字化け");
  EXPECT_EQ(report["reporter"], "佐藤");
  EXPECT_EQ(report["state"], 0x80000000u);
  EXPECT_EQ(report["state_label"], "修正済");
  EXPECT_EQ(report["flags"], 3);
  EXPECT_EQ(report["assignee"], "鈴木");
  EXPECT_TRUE(std::regex_match(report["received"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?[+-]\d\d:\d\d)")));
  EXPECT_EQ(report["text"], "文字化け");
  EXPECT_EQ(report["entries"], Json({"author", "scriptinfo.txt", "snapshot.png", "variables.csv", "gamestate.txt",
                                     "executionlog.txt"}));
  EXPECT_EQ(report["gamestate"], Json({{"label", "*序章"}, {"voice", ""}, {"screen", "1920x1080"}}));
  EXPECT_EQ(report["variables"], Json::parse(R"([{"index": 0, "name": "$a,\"b\"", "value": -5, "register": null},
                                                {"index": 1, "name": "$好感度", "value": 7, "register": 3}])"));
  const Json& history = report["history"];
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[0]["kind"], "state");
  EXPECT_EQ(history[0]["from"], 0);
  EXPECT_EQ(history[0]["to"], 0x80000000u);
  EXPECT_EQ(history[1]["kind"], "comment");
  EXPECT_EQ(history[1]["by"], "鈴木");
  EXPECT_EQ(history[1]["text"], "<script>見ました</script>");
  EXPECT_EQ(history[2]["kind"], "assignee");
  EXPECT_EQ(history[2]["from"], nullptr);
  EXPECT_EQ(history[2]["to"], "鈴木");
  for (const Json& entry : history) EXPECT_TRUE(entry["time"].is_string());

  const auto package = Call(server, "GET", "/api/v1/reports/" + name + "/package");
  EXPECT_EQ(package->status, 200);
  EXPECT_EQ(ToBytes(package->body), StoredZip(entries)) << "the ZIP as submitted";
  const auto png = Call(server, "GET", "/api/v1/reports/" + name + "/snapshot.png");
  EXPECT_EQ(ToBytes(png->body), snapshot);
  EXPECT_EQ(png->get_header_value("Content-Type"), "image/png");
  const Json older = JsonOf(Call(server, "GET", "/api/v1/reports/" + Submit(server, {entries[0]})));
  EXPECT_FALSE(older.contains("gamestate") || older.contains("variables")) << "an older package has neither";
  EXPECT_EQ(older["text"], nullptr);
  EXPECT_EQ(Call(server, "GET", "/api/v1/reports/" + Submit(server, {entries[0]}) + "/snapshot.png")->status, 404);
}

TEST_F(ApiTest, ChangesAndWhatIsRefused) {
  ServerProcess& server = StartWithApi();
  const std::string name = Submit(server, {{"author", AuthorEntry(u"t", u"r", 1)}});
  const std::string path = "/api/v1/reports/" + name;
  struct Case {
    const char* what;
    const char* method;
    std::string path;
    std::string body;
    int status;
  };
  const std::string long_text(64 * 1024 + 1, 'x');
  const Case cases[] = {
      {"state by label", "POST", path + "/state", R"({"state": "修正済"})", 204},
      {"state by number", "POST", path + "/state", R"({"state": 2147483649})", 204},
      {"a state nobody knows", "POST", path + "/state", R"({"state": 7})", 400},
      {"a label nobody knows", "POST", path + "/state", R"({"state": "済"})", 400},
      {"not JSON", "POST", path + "/state", "state=1", 400},
      {"not an object", "POST", path + "/state", "[1]", 400},
      {"an unknown report", "POST", "/api/v1/reports/20000101-000000-000099/state", R"({"state": 0})", 404},
      {"a name that is no name", "GET", "/api/v1/reports/..", "", 404},
      {"a comment without its author", "POST", path + "/comments", R"({"text": "x"})", 400},
      {"an empty comment", "POST", path + "/comments", R"({"by": "a", "text": " "})", 400},
      {"a body over 64 KiB", "POST", path + "/comments", R"({"by": "a", "text": ")" + long_text + "\"}", 413},
      {"a comment of 64 KiB", "POST", path + "/comments",
       R"({"by": "a", "text": ")" + long_text.substr(1) + "\"}", 204},
      {"a body over the listener's own limit", "POST", path + "/comments", std::string(1 << 20, ' '), 413},
      {"an assignee that is a number", "PUT", path + "/assignee", R"({"assignee": 5})", 400},
      {"an assignee", "PUT", path + "/assignee", R"({"assignee": "鈴木"})", 204},
      {"no assignee", "PUT", path + "/assignee", R"({"assignee": null})", 204},
  };
  for (const auto& c : cases) {
    const auto answer = Call(server, c.method, c.path, c.body);
    ASSERT_TRUE(answer) << c.what;
    EXPECT_EQ(answer->status, c.status) << c.what << ": " << answer->body;
    if (c.status == 400 || c.status == 413) {
      EXPECT_TRUE(JsonOf(answer)["error"].is_string()) << c.what;
    }
  }
  const Json report = JsonOf(Call(server, "GET", path));
  EXPECT_EQ(report["state"], 2147483649u);
  EXPECT_EQ(report["assignee"], nullptr);
  EXPECT_EQ(report["history"].size(), 5u) << "two states, a comment, the assignee set and cleared";
  const auto list = ListReports(server.port());
  ASSERT_EQ(list.reports.size(), 1u);
  EXPECT_EQ(list.reports[0].state, 0x80000001u) << "the report browser sees the API's change";
}

TEST_F(ApiTest, PagingAgreesWithTheDashboard) {
  ServerProcess& server = StartWithApi();
  for (int i = 0; i < 55; ++i) Submit(server, {{"author", AuthorEntry(u"r" + std::u16string(1, u'0' + i % 10), u"x", 1)}});
  const Json first = JsonOf(Call(server, "GET", "/api/v1/reports"));
  EXPECT_EQ(first["page"], 1);
  EXPECT_EQ(first["pages"], 2);
  EXPECT_EQ(first["total"], 55);
  EXPECT_EQ(first["reports"].size(), 50u);
  for (const std::string query : {"?tab=0&page=2", "?tab=1&page=9", "?tab=0&q=r3"}) {
    const Json page = JsonOf(Call(server, "GET", "/api/v1/reports" + query));
    std::vector<std::string> api_names;
    for (const Json& report : page["reports"]) api_names.push_back(report["name"]);
    httplib::Client dashboard("127.0.0.1", server.http_port());
    const auto html = dashboard.Get("/" + query);
    ASSERT_TRUE(html);
    std::vector<std::string> page_names;
    const std::regex row(R"re(<tr data-state="[0-9A-F]+" data-name="([^"]+)")re");
    for (auto it = std::sregex_iterator(html->body.begin(), html->body.end(), row); it != std::sregex_iterator(); ++it)
      page_names.push_back((*it)[1]);
    EXPECT_EQ(api_names, page_names) << query;
    EXPECT_FALSE(api_names.empty()) << query;
  }
}

}  // namespace
}  // namespace vnscope::test
