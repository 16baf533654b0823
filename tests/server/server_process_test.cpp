// The server binary over loopback sockets, as the DLL and worse clients use it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "server_fixture.h"
#include "test_support.h"

namespace vnscope::test {
namespace {

constexpr uint8_t kEnd = 0, kSubmit = 1, kList = 2, kFetchSnapshot = 3, kSetState = 4, kFetchReport = 5,
                  kFetchEntry = 6;
constexpr uint8_t kDone = 0, kRefused = 1, kName = 2, kSummary = 3, kSnapshot = 4, kStateChanged = 5, kText = 6,
                  kLineBreak = 7, kEntry = 8;

// Submit exchange: the single reply to a package. `server_may_die` is for
// the tests that kill the server, whose connections end in resets.
std::optional<Frame> Submit(uint16_t port, const Bytes& package, bool server_may_die = false) {
  Submission submission = SubmitPackage(port, package);
  // Exactly one message answers a submission: the close must come next.
  if (!server_may_die) {
    EXPECT_TRUE(submission.closed) << "more than one reply to a submission";
  }
  return std::move(submission.reply);
}

// Submits and returns the name the done reply carries.
std::string SubmitOk(uint16_t port, const Bytes& package) {
  auto reply = Submit(port, package);
  EXPECT_TRUE(reply);
  if (!reply) return "";
  EXPECT_EQ(reply->code, kDone);
  return NameOf(*reply);
}

Bytes SummaryOf(const Bytes& author, uint32_t state) {
  Bytes summary = author;
  PutU32(summary, state);
  return summary;
}

TEST_F(ServerTest, SubmitThenList) {
  ServerProcess& server = Start();
  const std::string name = SubmitOk(server.port(), ReportPackage(u"画面が乱れる", "text"));
  // ASCII digits in the shape YYYYMMDD-HHMMSS-NNNNNN, so that any code page reads them.
  ASSERT_EQ(name.size(), 22u) << name;
  for (size_t i = 0; i < name.size(); ++i) EXPECT_TRUE(i == 8 || i == 15 ? name[i] == '-' : isdigit(name[i])) << name;

  const auto [reports, fault] = ListReports(server.port());
  EXPECT_EQ(fault, "");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].name, name);
  EXPECT_EQ(reports[0].summary, SummaryOf(AuthorEntry(u"画面が乱れる", u"tester", 1), 0));
}

TEST_F(ServerTest, FetchSnapshotForEachNameOnOneConnection) {
  ServerProcess& server = Start();
  const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  const std::string with = SubmitOk(server.port(), ReportPackage(u"a", "t", png));
  const std::string without = SubmitOk(server.port(), ReportPackage(u"b", "t"));

  Connection connection(server.port());
  struct Case {
    std::string name;
    std::vector<uint8_t> codes;
  };
  const Case cases[] = {{with, {kSnapshot, kDone}}, {without, {kDone}}, {"20991231-235959-999999", {kDone}}, {with, {kSnapshot, kDone}}};
  for (const Case& c : cases) {
    ASSERT_TRUE(connection.Send(kFetchSnapshot, NamePayload(c.name)));
    const auto replies = connection.ReceiveReplies();
    ASSERT_EQ(replies.size(), c.codes.size()) << c.name;
    for (size_t i = 0; i < replies.size(); ++i) EXPECT_EQ(replies[i].code, c.codes[i]) << c.name;
    if (replies.size() == 2) {
      EXPECT_EQ(replies[0].payload, png);
    }
  }
  EXPECT_TRUE(connection.End());
}

// The server reads ahead of the frame it is on: requests that arrive in one
// segment, and a request dribbled a byte at a time, are each read whole and
// answered in order, and a package larger than the read-ahead that shares its
// segment with the EndExchange is stored byte for byte.
TEST_F(ServerTest, RequestsAreAnsweredHoweverTheirBytesArrive) {
  ServerProcess& server = Start();
  const Bytes png(9000, 0x5A);  // larger than one read-ahead
  const std::string name = SubmitOk(server.port(), ReportPackage(u"a", "t", png));
  const Bytes fetch = FrameBytes(kFetchSnapshot, NamePayload(name));
  auto expect_snapshot = [&](Connection& connection, const char* how) {
    const auto replies = connection.ReceiveReplies();
    ASSERT_EQ(replies.size(), 2u) << how;
    EXPECT_EQ(replies[0].code, kSnapshot) << how;
    EXPECT_EQ(replies[0].payload, png) << how;
    EXPECT_EQ(replies[1].code, kDone) << how;
  };

  Connection together(server.port());
  Bytes joined = fetch;
  joined.insert(joined.end(), fetch.begin(), fetch.end());
  const Bytes end = FrameBytes(kEnd);
  joined.insert(joined.end(), end.begin(), end.end());
  ASSERT_TRUE(together.SendRaw(joined));
  expect_snapshot(together, "first of two in one segment");
  expect_snapshot(together, "second of two in one segment");
  together.ShutdownSending();
  EXPECT_TRUE(together.ServerCloses());

  Connection dribbled(server.port());
  for (uint8_t byte : fetch) ASSERT_TRUE(dribbled.SendRaw(Bytes{byte}));
  expect_snapshot(dribbled, "a byte at a time");
  EXPECT_TRUE(dribbled.End());

  const Bytes large = ReportPackage(u"large", "t", Bytes(20000, 0xA5));
  Bytes submit_and_end = FrameBytes(kSubmit, large);
  submit_and_end.insert(submit_and_end.end(), end.begin(), end.end());
  Connection submitter(server.port());
  ASSERT_TRUE(submitter.SendRaw(submit_and_end));
  const auto reply = submitter.Receive();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->code, kDone);
  submitter.ShutdownSending();
  EXPECT_TRUE(submitter.ServerCloses());
  Connection fetcher(server.port());
  ASSERT_TRUE(fetcher.Send(kFetchSnapshot, NamePayload(NameOf(*reply))));
  const auto replies = fetcher.ReceiveReplies();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].payload, Bytes(20000, 0xA5));
  EXPECT_TRUE(fetcher.End());
}

TEST_F(ServerTest, FetchReportTextIsTerminatedOnceThenALineBreak) {
  ServerProcess& server = Start();
  const std::string text = "[tqvm.dat]\r\nhash: 0123\r\n\r\n[ 報告内容 ]\r\n\r\nboom\r\n";
  const std::string name = SubmitOk(server.port(), ReportPackage(u"t", text));
  const std::string no_text = SubmitOk(server.port(), StoredZip({{"author", AuthorEntry(u"t", u"r", 2)}}));

  Connection connection(server.port());
  ASSERT_TRUE(connection.Send(kFetchReport, NamePayload(name)));
  auto replies = connection.ReceiveReplies();
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0].code, kText);
  EXPECT_EQ(replies[0].payload, NamePayload(text)) << "the entry's own 0 byte, and no second one";
  EXPECT_EQ(replies[1].code, kLineBreak);
  EXPECT_EQ(replies[2].code, kDone);
  EXPECT_TRUE(connection.End());

  Connection second(server.port());
  ASSERT_TRUE(second.Send(kFetchReport, NamePayload(no_text)));
  replies = second.ReceiveReplies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].code, kDone);
  EXPECT_TRUE(second.End());
}

// FetchReportEntry's payload: the report name and a 0, the entry name and a 0.
Bytes EntryPayload(const std::string& name, const std::string& entry) {
  Bytes payload = NamePayload(name);
  const Bytes terminated = NamePayload(entry);
  payload.insert(payload.end(), terminated.begin(), terminated.end());
  return payload;
}

// One entry of a report's package: its bytes in ReportEntry, then code 0. What
// the client cannot have (an unknown report, an entry the package lacks, a
// name that is no entry of the package) is answered with code 1 alone, and
// the connection serves the next request.
TEST_F(ServerTest, FetchReportEntryServesOneEntryOrRefusesAlone) {
  ServerProcess& server = Start();
  const Bytes author = AuthorEntry(u"状態", u"tester", 1);
  const Bytes variables = ToBytes("\xEF\xBB\xBFindex,name,value,register\r\n0,\"#a,b\",3,7\r\n");
  const Bytes state = ToBytes("label: \xE7\xAC\xAC\r\nvoice: \r\n");
  const std::string with = SubmitOk(server.port(), StoredZip({{"author", author},
                                                              {"scriptinfo.txt", {'t', 0}},
                                                              {"variables.csv", variables},
                                                              {"gamestate.txt", state},
                                                              {"executionlog.txt", {}},
                                                              {"extra.bin", {1, 2, 3}}}));
  const std::string without = SubmitOk(server.port(), ReportPackage(u"古い", "text"));
  struct Case {
    const char* what;
    Bytes payload;
    std::optional<Bytes> entry;  // none: refused
  };
  const Case cases[] = {
      {"variables", EntryPayload(with, "variables.csv"), variables},
      {"unknown report", EntryPayload("20991231-235959-999999", "variables.csv"), std::nullopt},
      {"game state", EntryPayload(with, "gamestate.txt"), state},
      {"an empty log is an entry", EntryPayload(with, "executionlog.txt"), Bytes{}},
      {"the author entry", EntryPayload(with, "author"), author},
      {"in the archive but no entry of the package", EntryPayload(with, "extra.bin"), std::nullopt},
      {"an older report without the entries", EntryPayload(without, "variables.csv"), std::nullopt},
      {"a path for a name", EntryPayload(with, "../reports.sqlite3"), std::nullopt},
      {"no entry name", NamePayload(with), std::nullopt},
      {"after all refusals, still served", EntryPayload(with, "gamestate.txt"), state},
  };
  Connection connection(server.port());
  for (const Case& c : cases) {
    ASSERT_TRUE(connection.Send(kFetchEntry, c.payload)) << c.what;
    const auto first = connection.Receive();
    ASSERT_TRUE(first) << c.what;
    if (!c.entry) {
      // Nothing follows the refusal: the next case's first reply shows it.
      EXPECT_EQ(first->code, kRefused) << c.what;
      continue;
    }
    EXPECT_EQ(first->code, kEntry) << c.what;
    EXPECT_EQ(first->payload, *c.entry) << c.what;
    const auto done = connection.Receive();
    ASSERT_TRUE(done) << c.what;
    EXPECT_EQ(done->code, kDone) << c.what;
  }
  EXPECT_TRUE(connection.End()) << "nothing more came after the last reply";
}

TEST_F(ServerTest, StateChangesOnThreeReportsOverOneConnection) {
  ServerProcess& server = Start();
  std::vector<std::string> names;
  for (char16_t title : u"xyz") {
    if (title) names.push_back(SubmitOk(server.port(), ReportPackage(std::u16string(1, title), "t")));
  }
  const uint32_t states[] = {0x80000000u, 1u, 0x80000002u};

  Connection connection(server.port());
  for (size_t i = 0; i < names.size(); ++i) {
    ASSERT_TRUE(connection.Send(kSetState, StatePayload(states[i], names[i])));
    const auto replies = connection.ReceiveReplies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].code, kStateChanged);
    EXPECT_EQ(replies[1].code, kDone);
  }
  // A state no client knows, and an unknown report: done without StateChanged.
  for (const Bytes& payload : {StatePayload(7, names[0]), StatePayload(1, "20991231-235959-999999")}) {
    ASSERT_TRUE(connection.Send(kSetState, payload));
    const auto replies = connection.ReceiveReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].code, kDone);
  }
  EXPECT_TRUE(connection.End());

  const auto [reports, fault] = ListReports(server.port());
  EXPECT_EQ(fault, "");
  ASSERT_EQ(reports.size(), 3u);
  for (size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(reports[i].name, names[i]);
    EXPECT_EQ(reports[i].summary, SummaryOf(AuthorEntry(std::u16string(1, u"xyz"[i]), u"tester", 1), states[i]));
  }
}

TEST_F(ServerTest, SixteenConcurrentSubmittersLoseNothing) {
  ServerProcess& server = Start();
  constexpr int kClients = 16, kEach = 8;
  std::mutex lock;
  std::set<std::string> acknowledged;
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; i < kEach; ++i) {
        const Bytes snapshot(20'000 + c * 100 + i, static_cast<uint8_t>(c));
        auto reply = Submit(server.port(), ReportPackage(u"r", "client " + std::to_string(c), snapshot));
        if (reply && reply->code == kDone) {
          std::lock_guard guard(lock);
          acknowledged.insert(NameOf(*reply));
        }
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(acknowledged.size(), size_t{kClients * kEach}) << "every submission acknowledged under its own name";
  std::set<std::string> listed;
  const auto [reports, fault] = ListReports(server.port());
  EXPECT_EQ(fault, "");
  for (const auto& report : reports) listed.insert(report.name);
  EXPECT_EQ(listed, acknowledged);
}

// Threads of a running process, from /proc.
int ThreadCount(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  }
  return -1;
}

// Connections the kernel has completed for the listening socket on `port`
// that nobody has accepted yet, from /proc (for a listening socket its
// receive-queue column counts them); -1 when no such socket is listed.
int AcceptQueue(uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the column headings
  while (std::getline(table, line)) {
    unsigned slot, local_address, local_port, remote_address, remote_port, state, sending, receiving;
    if (std::sscanf(line.c_str(), " %u: %X:%X %X:%X %X %X:%X", &slot, &local_address, &local_port, &remote_address,
                    &remote_port, &state, &sending, &receiving) == 8 &&
        local_port == port && state == 0x0A /* listening */) {
      return static_cast<int>(receiving);
    }
  }
  return -1;
}

// Checks `condition` every 10 ms for at most `timeout`; its last value.
bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(10'000)) {
  const auto give_up = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

// A list exchange on a connection already open: the empty store's reply is
// code 0 alone.
void ExpectEmptyList(Connection& connection) {
  ASSERT_TRUE(connection.Send(kList));
  const std::vector<Frame> replies = connection.ReceiveReplies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].code, kDone);
}

// At the cap a further client waits unanswered in the backlog and is served
// once a connection ends; threads that served a connection are reused, so
// they stay as few as the connections served at once.
TEST_F(ServerTest, ConnectionsOverTheCapWaitAndServingThreadsStayFew) {
  ServerProcess& server = Start({"--max-connections", "2"});
  const int idle_threads = ThreadCount(server.pid());
  ASSERT_GT(idle_threads, 0);
  {
    Connection first(server.port()), second(server.port());
    ExpectEmptyList(first);
    ExpectEmptyList(second);
    Connection third(server.port());
    ASSERT_TRUE(third.Send(kList));
    // Its request waits in the backlog while the two it serves are answered
    // again: a thread waiting in accept would have taken it long before.
    EXPECT_TRUE(Eventually([&] { return AcceptQueue(server.port()) == 1; })) << "not waiting in the backlog";
    ExpectEmptyList(first);
    ExpectEmptyList(second);
    EXPECT_EQ(AcceptQueue(server.port()), 1) << "accepted beyond the cap of 2";
    EXPECT_FALSE(third.AnswerWithin(0)) << "served beyond the cap of 2";
    EXPECT_TRUE(first.End());
    ASSERT_TRUE(third.AnswerWithin(10'000)) << "still waiting after a connection ended";
    const std::vector<Frame> replies = third.ReceiveReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].code, kDone);
    EXPECT_TRUE(second.End());
    EXPECT_TRUE(third.End());
  }
  std::atomic<int> served = 0;
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        Connection connection(server.port());
        connection.Send(kList);
        const std::vector<Frame> replies = connection.ReceiveReplies();
        if (replies.size() == 1 && replies[0].code == kDone && connection.End()) ++served;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(served, 40);
  EXPECT_LE(ThreadCount(server.pid()), idle_threads + 2) << "a thread per connection, not per connection at once";
}

TEST_F(ServerTest, ServingThreadsThatCannotStartAreTriedAgain) {
  // While the flag file exists the server cannot start threads. One client
  // holds the only serving thread; the next must be answered once threads
  // can be started again, without waiting for the first to leave.
  const auto flag = dir_.path() / "no-threads";
  ServerProcess& server = Start({}, {std::string("LD_PRELOAD=") + VNSCOPE_NO_THREADS_SHIM,
                                     "VNSCOPE_TEST_NO_THREADS=" + flag.string(),
                                     // The shim comes before the sanitizer's runtime.
                                     "ASAN_OPTIONS=verify_asan_link_order=0"});
  ASSERT_TRUE(server.started());
  std::ofstream(flag).put('\n');
  Connection holder(server.port());
  ExpectEmptyList(holder);
  Connection next(server.port());
  ASSERT_TRUE(next.Send(kList));
  // Once it waits in the backlog, the server tries again to start a thread
  // that would take it, and says it could not.
  const std::string failed = "cannot start a connection thread";
  ASSERT_TRUE(Eventually([&] { return AcceptQueue(server.port()) == 1; })) << "not waiting in the backlog";
  const size_t failures = CountOf(server.Log(), failed);
  EXPECT_TRUE(Eventually([&] { return CountOf(server.Log(), failed) > failures; })) << server.Log();
  EXPECT_EQ(AcceptQueue(server.port()), 1) << "accepted with no thread to serve it";
  EXPECT_FALSE(next.AnswerWithin(0)) << "answered with no thread to serve it";
  std::filesystem::remove(flag);
  ASSERT_TRUE(next.AnswerWithin(10'000)) << "no thread started after the limit went away\n" << server.Log();
  const std::vector<Frame> replies = next.ReceiveReplies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].code, kDone);
  EXPECT_TRUE(next.End());
  EXPECT_TRUE(holder.End());
}

TEST_F(ServerTest, AcknowledgedReportsSurviveSigkill) {
  std::set<std::string> acknowledged;
  {
    ServerProcess& server = Start();
    std::mutex lock;
    std::atomic<bool> killed = false;
    std::atomic<int> count = 0;
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
      clients.emplace_back([&, c] {
        const Bytes package = ReportPackage(u"k", "kill", Bytes(200'000 + c, 0x5A));
        while (!killed) {
          auto reply = Submit(server.port(), package, true);
          if (reply && reply->code == kDone) {
            std::lock_guard guard(lock);
            acknowledged.insert(NameOf(*reply));
            ++count;
          }
        }
      });
    }
    // Kill in the middle of the traffic, once some reports are in (or when
    // they never come, so that the test fails instead of hanging).
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (count < 20 && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(count, 20) << server.Log();
    server.Kill();
    killed = true;
    for (auto& client : clients) client.join();
  }
  ServerProcess& restarted = Start();
  std::set<std::string> listed;
  const auto [reports, fault] = ListReports(restarted.port());
  EXPECT_EQ(fault, "");
  for (const auto& report : reports) listed.insert(report.name);
  for (const std::string& name : acknowledged) EXPECT_TRUE(listed.count(name)) << name << " was acknowledged";
  EXPECT_GE(listed.size(), acknowledged.size());
}

TEST_F(ServerTest, MalformedInputLeavesItServingAndReportsIntact) {
  ServerProcess& server = Start({"--max-package", "1048576", "--idle-timeout-ms", "300"});
  const Bytes png = {0x89, 'P', 'N', 'G'};
  const std::string kept = SubmitOk(server.port(), ReportPackage(u"kept", "kept text", png));
  const auto [before, before_fault] = ListReports(server.port());
  EXPECT_EQ(before_fault, "");
  ASSERT_EQ(before.size(), 1u);

  // Packages the server must refuse with one non-zero reply, storing nothing.
  const std::pair<const char*, Bytes> refused[] = {
      {"not a zip", ToBytes("PK but not really")},
      {"zip without author", StoredZip({{"scriptinfo.txt", ToBytes("x")}})},
      {"author without terminators", StoredZip({{"author", Bytes{0x61, 0, 0x62, 0}}})},
      {"empty package", {}},
  };
  for (const auto& [why, package] : refused) {
    auto reply = Submit(server.port(), package);
    ASSERT_TRUE(reply) << why;
    EXPECT_NE(reply->code, kDone) << why;
  }

  // Frames the server answers with a refusal and then closes.
  struct BadFrame {
    const char* why;
    Bytes bytes;
  };
  Bytes oversize = {kSubmit};
  PutU32(oversize, 1048577);
  Bytes big_list = {kList};
  PutU32(big_list, 65537);
  const BadFrame bad_frames[] = {
      {"package over --max-package", oversize},
      {"list request over the request limit", big_list},
      {"unknown command code", {0x77, 0, 0, 0, 0}},
      {"text protocol", ToBytes("GET / HTTP/1.1\r\n\r\n")},
  };
  for (const BadFrame& bad : bad_frames) {
    Connection connection(server.port());
    ASSERT_TRUE(connection.SendRaw(bad.bytes)) << bad.why;
    auto reply = connection.Receive();
    ASSERT_TRUE(reply) << bad.why;
    EXPECT_NE(reply->code, kDone) << bad.why;
    EXPECT_TRUE(connection.ServerCloses()) << bad.why;
  }

  // Frames that stop short, and a client that says nothing: closed unanswered.
  Bytes truncated = {kSubmit};
  PutU32(truncated, 100);
  truncated.insert(truncated.end(), 10, 'x');
  const BadFrame cut_off[] = {
      {"payload cut short", truncated},
      {"header cut short", {kList, 0}},
      {"stalled before the payload", {kSubmit, 50, 0, 0, 0}},
      {"stalled without a byte", {}},
  };
  for (const BadFrame& bad : cut_off) {
    Connection connection(server.port());
    ASSERT_TRUE(connection.SendRaw(bad.bytes)) << bad.why;
    if (std::string_view(bad.why).find("stalled") == std::string_view::npos) connection.ShutdownSending();
    EXPECT_TRUE(connection.ServerCloses()) << bad.why;
  }
  // The log counts the bytes that came, not the ones the header promised.
  EXPECT_NE(server.Log().find("result=\"truncated\" in=15 "), std::string::npos) << server.Log();

  // Names that are not stored, and requests without a terminated name.
  Connection unknown(server.port());
  const std::pair<uint8_t, Bytes> lookups[] = {
      {kFetchSnapshot, NamePayload("../../reports.sqlite3")},
      {kFetchReport, NamePayload("20991231-235959-999999")},
      {kFetchReport, ToBytes("no terminator")},
      {kSetState, StatePayload(1, "' OR 1=1 --")},
  };
  for (const auto& [code, payload] : lookups) {
    ASSERT_TRUE(unknown.Send(code, payload));
    const auto replies = unknown.ReceiveReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].code, kDone);
  }
  EXPECT_TRUE(unknown.End());

  const auto [after, after_fault] = ListReports(server.port());
  EXPECT_EQ(after_fault, "");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].name, before[0].name);
  EXPECT_EQ(after[0].summary, before[0].summary);
  Connection fetch(server.port());
  ASSERT_TRUE(fetch.Send(kFetchSnapshot, NamePayload(kept)));
  const auto replies = fetch.ReceiveReplies();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].payload, png);
  EXPECT_TRUE(fetch.End());
  EXPECT_FALSE(SubmitOk(server.port(), ReportPackage(u"after", "t")).empty());
}

TEST_F(ServerTest, PersistsAcrossACleanRestart) {
  const Bytes png = {0x89, 'P', 'N', 'G', 1, 2, 3};
  std::string name;
  {
    ServerProcess& server = Start();
    name = SubmitOk(server.port(), ReportPackage(u"persist", "t", png));
    Connection connection(server.port());
    ASSERT_TRUE(connection.Send(kSetState, StatePayload(0x80000001u, name)));
    EXPECT_EQ(connection.ReceiveReplies().size(), 2u);
    EXPECT_TRUE(connection.End());
    // A client idling between requests does not hold the server up, and it
    // exits cleanly (sanitizers included).
    Connection idle(server.port());
    ASSERT_TRUE(idle.Send(kList));
    EXPECT_EQ(idle.ReceiveReplies().size(), 3u);
    EXPECT_EQ(server.Stop(), 0) << server.Log();
    EXPECT_TRUE(idle.ServerCloses());
  }
  ServerProcess& server = Start();
  const auto [reports, fault] = ListReports(server.port());
  EXPECT_EQ(fault, "");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].name, name);
  EXPECT_EQ(reports[0].summary, SummaryOf(AuthorEntry(u"persist", u"tester", 3), 0x80000001u));
  Connection connection(server.port());
  ASSERT_TRUE(connection.Send(kFetchSnapshot, NamePayload(name)));
  const auto replies = connection.ReceiveReplies();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].payload, png);
  EXPECT_TRUE(connection.End());
  const std::string next = SubmitOk(server.port(), ReportPackage(u"next", "t"));
  EXPECT_GT(next, name) << "names keep sorting in arrival order after a restart";
}

// Reports are confidential: a dashboard anyone on the network could reach
// needs a secret, and a secret file that gives none is an error, not an open
// door.
TEST_F(ServerTest, DashboardOffLoopbackOnlyWithASecret) {
  const auto secret = dir_.path() / "secret";
  const auto empty = dir_.path() / "empty";
  std::ofstream(secret) << "s3cret\n";
  std::ofstream(empty) << "\n";
  struct Case {
    std::vector<std::string> args;
    bool starts;
    const char* logged;
  };
  const Case cases[] = {
      {{"--http", "0.0.0.0:0"}, false, "without a login"},
      {{"--http", "[::]:0"}, false, "without a login"},
      {{"--http", "0.0.0.0:0", "--http-secret-file", empty.string()}, false, "no secret in"},
      {{"--http", "127.0.0.1:0", "--http-secret-file", (dir_.path() / "missing").string()}, false, "no secret in"},
      {{"--http", "127.0.0.1:0", "--text-encoding", "no-such-code-page"}, false, "unknown text encoding"},
      {{"--http", "127.0.0.1:0"}, true, "dashboard on http://127.0.0.1:"},
      {{"--http", "0.0.0.0:0", "--http-secret-file", secret.string()}, true, "dashboard on http://0.0.0.0:"},
  };
  for (const auto& c : cases) {
    ServerProcess server(VNSCOPE_SERVER_BINARY, data_, c.args);
    EXPECT_EQ(server.started(), c.starts) << c.args[1] << "\n" << server.Log();
    EXPECT_NE(server.Log().find(c.logged), std::string::npos) << c.args[1] << "\n" << server.Log();
    if (c.starts) {
      EXPECT_EQ(server.Stop(), 0) << server.Log();
    }
  }
}

}  // namespace
}  // namespace vnscope::test
