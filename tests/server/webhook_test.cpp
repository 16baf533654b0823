// Notifications against the real server: a local HTTP listener stands in for
// the team's chat tool. It refuses connections at first (nothing listens on
// its port) and the server is restarted meanwhile; every event must still
// arrive, in order, once.
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "server/dashboard/dashboard.h"
#include "server/package.h"
#include "server/store.h"
#include "server/webhooks.h"
#include "server_fixture.h"

namespace vnscope::test {
namespace {

using Json = nlohmann::json;

// The chat tool: records every body posted to /hook, and answers it unless
// told not to (then each post waits for the tool's end).
class ChatTool {
 public:
  // On `port`, or on a free one when 0.
  explicit ChatTool(int port = 0, bool answers = true) {
    http_.Post("/hook", [this, answers](const httplib::Request& req, httplib::Response& res) {
      std::unique_lock lock(lock_);
      bodies_.push_back(Json::parse(req.body, nullptr, false));
      arrived_.notify_all();
      arrived_.wait(lock, [&] { return answers || ending_; });
      res.status = 200;
    });
    port_ = port == 0 ? http_.bind_to_any_port("127.0.0.1") : (http_.bind_to_port("127.0.0.1", port) ? port : -1);
    thread_ = std::thread([this] { http_.listen_after_bind(); });
  }
  ~ChatTool() {
    {
      std::lock_guard lock(lock_);
      ending_ = true;
    }
    arrived_.notify_all();
    // httplib's stop does nothing until its loop runs.
    while (port_ > 0 && !http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    http_.stop();
    thread_.join();
  }
  int port() const { return port_; }
  // The bodies once `count` have arrived (or after 60 s, what has).
  std::vector<Json> WaitFor(size_t count) {
    std::unique_lock lock(lock_);
    arrived_.wait_for(lock, std::chrono::seconds(60), [&] { return bodies_.size() >= count; });
    return bodies_;
  }

 private:
  httplib::Server http_;
  int port_ = -1;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<Json> bodies_;
  bool ending_ = false;
};

// A loopback port nothing listens on (for now).
int UnusedPort() { return ChatTool().port(); }

std::string Submit(ServerProcess& server, std::u16string_view title) {
  const auto reply = SubmitPackage(server.port(), StoredZip({{"author", AuthorEntry(title, u"佐藤", 1)}})).reply;
  EXPECT_TRUE(reply && reply->code == 0);
  return reply ? NameOf(*reply) : "";
}

// A report added straight to the store, as a submission adds it.
void AddReport(server::ReportStore& store) {
  std::string error;
  const Bytes package = StoredZip({{"author", AuthorEntry(u"t", u"r", 1)}});
  auto summary = server::InspectPackage(package, &error);
  ASSERT_TRUE(summary) << error;
  ASSERT_TRUE(store.Add(*summary, package, "p", 0, &error)) << error;
}

class WebhookTest : public ServerTest {};

TEST_F(WebhookTest, EventsWaitForARefusingUrlAcrossARestartInOrderAndOnce) {
  const int port = UnusedPort();
  ASSERT_GT(port, 0);
  const auto token_file = dir_.path() / "token";
  std::ofstream(token_file) << "t";
  const std::vector<std::string> args = {"--webhook", "http://127.0.0.1:" + std::to_string(port) + "/hook",
                                         "--http", "127.0.0.1:0", "--api-token-file", token_file.string(),
                                         "--public-url", "https://vnscope.example/triage"};
  ServerProcess& first = Start(args);
  const std::string a = Submit(first, u"一つ目");
  const std::string b = Submit(first, u"二つ目");
  Connection browser(first.port());
  ASSERT_TRUE(browser.Send(4, StatePayload(0x80000000u, a)));
  ASSERT_EQ(browser.ReceiveReplies().size(), 2u);
  browser.End();
  ASSERT_EQ(first.Stop(), 0) << first.Log();

  ServerProcess& second = Start(args);
  const std::string c = Submit(second, u"三つ目");
  ChatTool chat(port);
  ASSERT_EQ(chat.port(), port);
  ASSERT_EQ(chat.WaitFor(4).size(), 4u) << second.Log();
  // One more event after the backlog: whatever was sent twice would have
  // arrived before it.
  httplib::Client api("127.0.0.1", second.http_port());
  const auto commented = api.Post("/api/v1/reports/" + b + "/comments", {{"Authorization", "Bearer t"}},
                                  R"({"by": "鈴木", "text": "見ました\n詳細は後で"})", "application/json");
  ASSERT_TRUE(commented);
  ASSERT_EQ(commented->status, 204);
  const std::vector<Json> bodies = chat.WaitFor(5);
  ASSERT_EQ(bodies.size(), 5u);

  struct Expected {
    const char* event;
    std::string name;
    const char* title;
    uint32_t state;
    const char* text;
  };
  const Expected expected[] = {
      {"report.created", a, "一つ目", 0, "新着: 一つ目 (佐藤)"},
      {"report.created", b, "二つ目", 0, "新着: 二つ目 (佐藤)"},
      {"report.state", a, "一つ目", 0x80000000u, "状態変更: 一つ目: 新着 → 修正済"},
      {"report.created", c, "三つ目", 0, "新着: 三つ目 (佐藤)"},
      {"report.comment", b, "二つ目", 0, "コメント: 二つ目 (鈴木): 見ました…"},
  };
  for (size_t i = 0; i < 5; ++i) {
    const Json& body = bodies[i];
    EXPECT_EQ(body["event"], expected[i].event) << i;
    EXPECT_EQ(body["name"], expected[i].name) << i;
    EXPECT_EQ(body["title"], expected[i].title) << i;
    EXPECT_EQ(body["reporter"], "佐藤") << i;
    EXPECT_EQ(body["state"], expected[i].state) << i;
    EXPECT_EQ(body["url"], "https://vnscope.example/triage/reports/" + expected[i].name) << i;
    EXPECT_EQ(body["text"], expected[i].text) << i;
  }
  EXPECT_EQ(bodies[2]["state_label"], "修正済");
}

// The dashboard's status line, in-process with a warning after no time at
// all instead of an hour.
TEST(WebhookStatus, AUrlFailingLongerThanTheWarningShowsOnTheList) {
  TempDir dir;
  std::string error;
  auto store = server::ReportStore::Open(dir.path() / "data", &error);
  ASSERT_TRUE(store) << error;
  const std::string url = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/down";
  server::WebhookSettings settings{{url}};
  settings.failing_warning = std::chrono::milliseconds(0);
  std::atomic<int64_t> now = 1000;  // a millisecond passes at every reading; read by the sender thread
  auto webhooks = server::Webhooks::Create(*store, [&now] { return now++; }, settings, &error);
  ASSERT_TRUE(webhooks) << error;
  webhooks->Start("");
  EXPECT_TRUE(webhooks->FailingUrls().empty());
  AddReport(*store);
  for (int i = 0; i < 6000 && webhooks->FailingUrls().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(webhooks->FailingUrls(), std::vector<std::string>{url});

  server::DashboardSettings dashboard_settings{"127.0.0.1:0", "", "CP932"};
  dashboard_settings.failing_webhooks = [&] { return webhooks->FailingUrls(); };
  server::Dashboard dashboard(*store, [] { return 0; }, dashboard_settings);
  ASSERT_TRUE(dashboard.Listen(&error)) << error;
  dashboard.Start();
  httplib::Client client(dashboard.url().substr(0, dashboard.url().size() - 1));
  const auto page = client.Get("/");
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("<p class=\"status-line\">通知の送信に1時間以上失敗しています: " + url + "</p>"),
            std::string::npos);
  dashboard.Stop();
  webhooks->Stop();
}

// A post waiting for an answer that never comes must not hold the server's
// stop for the 30 s of its read time-out.
TEST(WebhookStop, CutsOffAPostWaitingForItsAnswer) {
  TempDir dir;
  std::string error;
  auto store = server::ReportStore::Open(dir.path() / "data", &error);
  ASSERT_TRUE(store) << error;
  ChatTool chat(0, /*answers=*/false);
  const std::string url = "http://127.0.0.1:" + std::to_string(chat.port()) + "/hook";
  auto webhooks = server::Webhooks::Create(*store, [] { return int64_t{1000}; }, {{url}}, &error);
  ASSERT_TRUE(webhooks) << error;
  webhooks->Start("");
  AddReport(*store);
  ASSERT_EQ(chat.WaitFor(1).size(), 1u) << "the post is under way";
  const auto start = std::chrono::steady_clock::now();
  webhooks->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  const auto delivery = store->DeliveryOf(url, &error);
  ASSERT_TRUE(delivery) << error;
  EXPECT_EQ(delivery->failing_since_ms, 0) << "a stop is no failure of the URL";
}

}  // namespace
}  // namespace vnscope::test
