#include "report/protocol/report_client.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "loopback_server.h"
#include "report/protocol/posix_stream.h"
#include "report/protocol/report_types.h"
#include "throttled_stream.h"

namespace vnscope {
namespace {

using test_support::Concat;
using test_support::LoopbackServer;
using test_support::Message;
using test_support::ReadMessage;
using test_support::ReadToEnd;
using test_support::WriteAll;

using Bytes = std::vector<uint8_t>;

const StreamTimeouts kTimeouts{5000, 5000, 5000};
const Latin1Codec kCodec;

// Byte sequences as the protocol spells them out.
const Bytes kEndExchange = {0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kListReports = {0x02, 0x00, 0x00, 0x00, 0x00};
// ReportSummary of title T, reporter R, flags 3, state 1.
const Bytes kSummaryTR31 = {0x54, 0, 0, 0, 0x52, 0, 0, 0, 0x03, 0, 0, 0, 0x01, 0, 0, 0};

// A server that reads one request per block of replies and answers it with
// that block, then records everything else up to the client's close.
struct ScriptedServer {
  std::vector<Bytes> replies;
  Bytes received;
  LoopbackServer loopback{[this](int connection) {
    for (const Bytes& reply : replies) {
      const Bytes request = ReadMessage(connection);
      received.insert(received.end(), request.begin(), request.end());
      WriteAll(connection, reply);
    }
    const Bytes rest = ReadToEnd(connection);
    received.insert(received.end(), rest.begin(), rest.end());
  }};

  explicit ScriptedServer(std::vector<Bytes> replies_per_request)
      : replies(std::move(replies_per_request)) {}
  ServerEndpoint endpoint() const { return loopback.endpoint(); }
  const Bytes& Received() {
    loopback.Join();
    return received;
  }
};

TEST(ListReports, FillsTheTableFromNamesAndSummaries) {
  ScriptedServer server({Concat({
      Message(3, kSummaryTR31),            // a summary before any name is ignored
      Message(2, {'a', 'b', 0}),           // ReportName ab
      Message(3, kSummaryTR31),            // its summary
      Message(9, {'x', 'y', 'z'}),         // unknown code: read whole and skipped
      Message(2, {'c', 0}),                // a report without summary
      Message(2, {0xE9, 0}),                // ANSI name, converted with the codec
      Message(0, {'o', 'k'}),              // done; its payload is ignored
  })});
  PosixStream stream(kTimeouts);
  ReportRecords table;
  table[u"stale"];
  EXPECT_TRUE(ListReports(stream, server.endpoint(), kCodec, &table));
  EXPECT_EQ(server.Received(), Concat({kListReports, kEndExchange}));

  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table.count(u"stale"), 0u);
  ASSERT_EQ(table.count(u"ab"), 1u);
  const ReportRecord& ab = table.find(u"ab")->second;
  EXPECT_EQ(ab.title, u"T");
  EXPECT_EQ(ab.reporter, u"R");
  EXPECT_EQ(ab.flags, 3u);
  EXPECT_EQ(ab.state, 1u);
  ASSERT_EQ(table.count(u"c"), 1u);
  const ReportRecord& c = table.find(u"c")->second;
  EXPECT_EQ(c.title, u"");
  EXPECT_EQ(c.flags, 0u);
  EXPECT_EQ(c.state, ReportState::New);
  EXPECT_EQ(table.count(u"\u00E9"), 1u);
}

// A summary that would make a trusting reader run past the payload is
// dropped; the exchange itself still succeeds.
TEST(ListReports, UnterminatedSummaryIsIgnored) {
  ScriptedServer server({Concat({
      Message(2, {'n', 0}),
      Message(3, {0x54, 0, 0x55, 0, 0x56, 0}),  // title never terminated
      Message(2, {'m', 0}),
      Message(3, {0x54, 0, 0, 0, 0x52, 0, 0, 0}),  // no flags, no state
      Message(0),
  })});
  PosixStream stream(kTimeouts);
  ReportRecords table;
  EXPECT_TRUE(ListReports(stream, server.endpoint(), kCodec, &table));
  ASSERT_EQ(table.size(), 2u);
  for (const auto& [name, record] : table) {
    EXPECT_EQ(record.title, u"") << std::string(name.begin(), name.end());
    EXPECT_EQ(record.reporter, u"");
    EXPECT_EQ(record.flags, 0u);
    EXPECT_EQ(record.state, ReportState::New);
  }
}

TEST(ListReports, ServerClosingWithoutCodeZeroFails) {
  Bytes received;
  LoopbackServer server([&](int connection) {
    received = ReadMessage(connection);
    WriteAll(connection, Message(2, {'a', 'b', 0}));
    shutdown(connection, SHUT_WR);
    const Bytes rest = ReadToEnd(connection);
    received.insert(received.end(), rest.begin(), rest.end());
  });
  PosixStream stream(kTimeouts);
  ReportRecords table;
  EXPECT_FALSE(ListReports(stream, server.endpoint(), kCodec, &table));
  server.Join();
  EXPECT_EQ(received, Concat({kListReports, kEndExchange}));
  EXPECT_EQ(table.count(u"ab"), 1u);  // what arrived before the close stays
}

TEST(ListReports, OversizedReplyLengthFails) {
  ScriptedServer server({{0x02, 0xFF, 0xFF, 0xFF, 0xFF}});
  PosixStream stream(kTimeouts);
  ReportRecords table;
  EXPECT_FALSE(ListReports(stream, server.endpoint(), kCodec, &table));
  EXPECT_EQ(server.Received(), Concat({kListReports, kEndExchange}));
  EXPECT_TRUE(table.empty());
}

TEST(SetReportState, SendsStateAndNameAndUpdatesTheTable) {
  ScriptedServer server({
      Concat({Message(5), Message(9, {1}), Message(0)}),  // ab: applied
      Message(0),                                          // cd: not applied
  });
  PosixStream stream(kTimeouts);
  ReportRecords table;
  EXPECT_TRUE(SetReportState(stream, server.endpoint(), kCodec, {u"ab", u"cd"},
                             ReportState::Fixed, &table));
  // Fixed for ab: 04 08 00 00 00, then 00 00 00 80 61 62 00 00.
  EXPECT_EQ(server.Received(),
            Concat({{0x04, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x61, 0x62, 0x00, 0x00},
                    {0x04, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x63, 0x64, 0x00, 0x00},
                    kEndExchange}));
  ASSERT_EQ(table.count(u"ab"), 1u);
  EXPECT_EQ(table.find(u"ab")->second.state, ReportState::Fixed);
  EXPECT_EQ(table.count(u"cd"), 0u) << "no StateChanged, no record";
}

TEST(SetReportState, WithoutNamesOnlyClosesAndFails) {
  ScriptedServer server({});
  PosixStream stream(kTimeouts);
  ReportRecords table;
  EXPECT_FALSE(SetReportState(stream, server.endpoint(), kCodec, {}, ReportState::Fixed,
                              &table));
  EXPECT_EQ(server.Received(), kEndExchange);
}

TEST(FetchSnapshots, HandsOverEverySnapshotOfEveryName) {
  ScriptedServer server({
      Concat({Message(4, {1, 2, 3}), Message(9), Message(4, {4}), Message(0)}),
      Concat({Message(4, {5, 6}), Message(0)}),
  });
  PosixStream stream(kTimeouts);
  std::vector<Bytes> snapshots;
  EXPECT_TRUE(FetchSnapshots(stream, server.endpoint(), kCodec, {u"ab", u"cd"},
                             [&](std::span<const uint8_t> png) {
                               snapshots.emplace_back(png.begin(), png.end());
                             }));
  // FetchSnapshot ab: 03 03 00 00 00 61 62 00.
  EXPECT_EQ(server.Received(), Concat({{0x03, 0x03, 0x00, 0x00, 0x00, 0x61, 0x62, 0x00},
                                       {0x03, 0x03, 0x00, 0x00, 0x00, 0x63, 0x64, 0x00},
                                       kEndExchange}));
  EXPECT_EQ(snapshots, (std::vector<Bytes>{{1, 2, 3}, {4}, {5, 6}}));
}

TEST(FetchSnapshots, WithoutNamesOnlyClosesAndFails) {
  ScriptedServer server({});
  PosixStream stream(kTimeouts);
  int calls = 0;
  EXPECT_FALSE(FetchSnapshots(stream, server.endpoint(), kCodec, {},
                              [&](std::span<const uint8_t>) { ++calls; }));
  EXPECT_EQ(server.Received(), kEndExchange);
  EXPECT_EQ(calls, 0);
}

TEST(FetchReport, ReplacesTextAndAddsLineBreaks) {
  ScriptedServer server({Concat({
      Message(6, {'f', 'i', 'r', 's', 't', 0}),
      Message(6, {'a', 'b', 'c', 0}),  // a second text replaces the first
      Message(9, {'?'}),
      Message(7),
      Message(0),
  })});
  PosixStream stream(kTimeouts);
  std::vector<std::u16string> events;
  const ReportTextSink sink{[&](const std::u16string& text) { events.push_back(u"text " + text); },
                            [&] { events.push_back(u"line break"); }};
  EXPECT_TRUE(FetchReport(stream, server.endpoint(), kCodec, u"abc", sink));
  EXPECT_EQ(server.Received(),
            Concat({{0x05, 0x04, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x00}, kEndExchange}));
  EXPECT_EQ(events, (std::vector<std::u16string>{u"text first", u"text abc", u"line break"}));
}

// A server that never answers fails the exchange once the receive time-out
// passes, instead of blocking the caller for ever.
TEST(FetchReport, SilentServerFailsAfterTheReceiveTimeout) {
  Bytes received;
  LoopbackServer server([&](int connection) {
    received = ReadMessage(connection);
    const Bytes rest = ReadToEnd(connection);  // says nothing, waits for the close
    received.insert(received.end(), rest.begin(), rest.end());
  });
  PosixStream stream(StreamTimeouts{5000, 200, 5000});
  int texts = 0;
  const ReportTextSink sink{[&](const std::u16string&) { ++texts; }, nullptr};
  EXPECT_FALSE(FetchReport(stream, server.endpoint(), kCodec, u"ab", sink));
  server.Join();
  EXPECT_EQ(received, Concat({{0x05, 0x03, 0x00, 0x00, 0x00, 0x61, 0x62, 0x00}, kEndExchange}));
  EXPECT_EQ(texts, 0);
}

// FetchReportEntry for the report ab and the entry gamestate.txt: code 6, a
// payload of 17 bytes: a, b, 0, the entry's 13 ASCII bytes, 0.
const Bytes kFetchGameState = {0x06, 0x11, 0x00, 0x00, 0x00, 'a', 'b', 0, 'g', 'a', 'm', 'e', 's',
                               't',  'a',  't',  'e',  '.',  't', 'x', 't', 0};
const Bytes kFetchLog = {0x06, 0x14, 0x00, 0x00, 0x00, 'a', 'b', 0,   'e', 'x', 'e', 'c', 'u', 't',
                         'i',  'o',  'n',  'l',  'o',  'g', '.', 't', 'x', 't', 0};
constexpr std::string_view kTwoEntries[] = {"gamestate.txt", "executionlog.txt"};

TEST(FetchReportEntries, EachEntryByNameOverOneConnection) {
  ScriptedServer server({
      Concat({Message(9, {'?'}), Message(8, {'l', ':', ' ', 'a'}), Message(0)}),
      Concat({Message(8), Message(0, {'o', 'k'})}),  // an empty entry is an entry
  });
  PosixStream stream(kTimeouts);
  std::vector<std::vector<uint8_t>> contents = {{1}};
  EXPECT_TRUE(FetchReportEntries(stream, server.endpoint(), kCodec, u"ab", kTwoEntries, &contents));
  EXPECT_EQ(server.Received(), Concat({kFetchGameState, kFetchLog, kEndExchange}));
  ASSERT_EQ(contents.size(), 2u);
  EXPECT_EQ(contents[0], (Bytes{'l', ':', ' ', 'a'}));
  EXPECT_EQ(contents[1], Bytes{});
}

// A refusal comes alone: the client stops at it, asks for nothing more and
// fails. A request answered done without the entry's bytes fails too.
TEST(FetchReportEntries, RefusalOrAMissingEntryFails) {
  const struct {
    const char* what;
    std::vector<Bytes> replies;
    Bytes received;
  } cases[] = {
      {"refused at once", {Message(1)}, Concat({kFetchGameState, kEndExchange})},
      {"refused at the second", {Concat({Message(8, {'x'}), Message(0)}), Message(1)},
       Concat({kFetchGameState, kFetchLog, kEndExchange})},
      {"done without the entry", {Message(0)}, Concat({kFetchGameState, kEndExchange})},
  };
  for (const auto& c : cases) {
    ScriptedServer server(c.replies);
    PosixStream stream(kTimeouts);
    std::vector<std::vector<uint8_t>> contents;
    EXPECT_FALSE(FetchReportEntries(stream, server.endpoint(), kCodec, u"ab", kTwoEntries, &contents)) << c.what;
    EXPECT_EQ(server.Received(), c.received) << c.what;
  }
}

struct SubmitCase {
  const char* what;
  Bytes reply;
  SubmitResult result;
};

TEST(SubmitReport, StoredOnlyWhenTheOneReplyIsCodeZero) {
  const SubmitCase cases[] = {
      {"code 0 stores", Message(0), SubmitResult::Stored},
      {"code 0 with a payload stores", Message(0, {1, 2}), SubmitResult::Stored},
      {"any other code refuses", Message(1), SubmitResult::Refused},
      {"an unknown code refuses too: exactly one reply is read", Concat({Message(9), Message(0)}),
       SubmitResult::Refused},
  };
  const Bytes package = {'P', 'K', 5, 6, 0, 0};
  for (const auto& c : cases) {
    ScriptedServer server({c.reply});
    PosixStream stream(kTimeouts);
    EXPECT_EQ(SubmitReport(stream, server.endpoint(), package.data(),
                           static_cast<uint32_t>(package.size())),
              c.result)
        << c.what;
    EXPECT_EQ(server.Received(),
              Concat({{0x01, 0x06, 0x00, 0x00, 0x00, 'P', 'K', 5, 6, 0, 0}, kEndExchange}))
        << c.what;
  }
}

// A server that takes the package and hangs up without a word may or may
// not have stored it: that is no refusal.
TEST(SubmitReport, ConnectionClosedWithoutAnAnswerBreaksOff) {
  Bytes received;
  LoopbackServer server([&](int connection) { received = ReadMessage(connection); });
  PosixStream stream(kTimeouts);
  const uint8_t package[] = {'P', 'K'};
  EXPECT_EQ(SubmitReport(stream, server.endpoint(), package, 2), SubmitResult::BrokenOff);
  server.Join();
  EXPECT_EQ(received, (Bytes{0x01, 0x02, 0x00, 0x00, 0x00, 'P', 'K'}));
}

// A peer with a tiny receive buffer takes a big package a piece at a time;
// every piece is sent on until the whole package is out.
TEST(SubmitReport, SlowPeerStillReceivesTheWholePackage) {
  // Far above the most a Linux socket buffers on its own (4 MiB by default).
  Bytes package(16u << 20);
  for (size_t i = 0; i < package.size(); ++i) package[i] = static_cast<uint8_t>(i ^ (i >> 11));
  Bytes received;
  LoopbackServer server(
      [&](int connection) {
        received = ReadMessage(connection);
        WriteAll(connection, Message(0));
        ReadToEnd(connection);
      },
      4096);
  PosixStream socket_stream(kTimeouts);
  test_support::ThrottledStream counted(socket_stream, UINT32_MAX, UINT32_MAX);
  EXPECT_EQ(SubmitReport(counted, server.endpoint(), package.data(),
                         static_cast<uint32_t>(package.size())),
            SubmitResult::Stored);
  server.Join();
  EXPECT_GT(counted.partial_sends(), 0) << "the socket never sent less than asked";
  ASSERT_EQ(received.size(), 5 + package.size());
  EXPECT_EQ(Bytes(received.begin(), received.begin() + 5), (Bytes{0x01, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_TRUE(std::equal(package.begin(), package.end(), received.begin() + 5));
}

// Without a connection every exchange fails at once; the list fetch has
// already emptied the table.
TEST(Exchanges, FailWithoutAServer) {
  const ServerEndpoint nobody{"127.0.0.1", test_support::UnusedPort()};
  PosixStream stream(kTimeouts);
  ReportRecords table;
  table[u"stale"];
  const uint8_t package[] = {1};
  int calls = 0;
  EXPECT_EQ(SubmitReport(stream, nobody, package, 1), SubmitResult::NoServer);
  EXPECT_FALSE(ListReports(stream, nobody, kCodec, &table));
  EXPECT_FALSE(FetchSnapshots(stream, nobody, kCodec, {u"a"},
                              [&](std::span<const uint8_t>) { ++calls; }));
  EXPECT_FALSE(SetReportState(stream, nobody, kCodec, {u"a"}, ReportState::Fixed, &table));
  EXPECT_FALSE(FetchReport(stream, nobody, kCodec, u"a", {}));
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace vnscope
