// The DLL's report client, over Winsock under Wine, against the real report
// server running natively on loopback (scripts/test starts it). Names and
// texts cross the wire in the ANSI code page 932, as on the testers' machines.
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/relay_proxy.h"
#include "harness/report_seeding.h"
#include "report/protocol/system_ansi_codec.h"
#include "win32/win32_text.h"
#include "report/protocol/report_client.h"
#include "report/protocol/report_types.h"
#include "report/protocol/winsock_stream.h"

namespace vnscope::test {
namespace {

struct SentReport {
  std::u16string title = AsUtf16(UniqueTitle(L"起動直後に立ち絵が欠ける"));
  std::u16string header = u"[tqvm.dat]\r\nhash: 0123456789abcdef0123456789abcdef";
  std::u16string body = u"千早の台詞で立ち絵が一瞬消える。";
  std::vector<uint8_t> png = SnapshotPng(0);
  std::vector<uint8_t> package;
};

SentReport BuildReport() {
  SentReport report;
  const ReportSeed seed{report.title, ReportFlags::HasText | ReportFlags::HasSnapshot, ReportState::New, report.body};
  report.package = ReportPackage(seed, u"テスター", report.png);
  return report;
}

std::optional<std::u16string> FindByTitle(const ReportRecords& table, const std::u16string& title) {
  for (const auto& [name, record] : table) {
    if (record.title == title) return std::u16string(name);
  }
  return std::nullopt;
}

TEST(WinsockClient, SubmitListFetchAndRestateAgainstTheServer) {
  ASSERT_EQ(GetACP(), 932u);
  const ServerEndpoint server = TestServer();
  const SentReport sent = BuildReport();
  ASSERT_FALSE(sent.package.empty());

  WinsockStream submit;
  ASSERT_EQ(SubmitReport(submit, server, sent.package.data(), static_cast<uint32_t>(sent.package.size())),
            SubmitResult::Stored)
      << "is the report server running on " << server.address << ":" << server.port << "? "
      << submit.LastFailure();

  ReportRecords table;
  WinsockStream list;
  ASSERT_TRUE(ListReports(list, server, SystemAnsiCodec(), &table)) << list.LastFailure();
  const std::optional<std::u16string> name = FindByTitle(table, sent.title);
  ASSERT_TRUE(name.has_value()) << "the submitted report is not listed";
  const ReportRecord& record = table.find(*name)->second;
  EXPECT_EQ(record.reporter, u"テスター");
  EXPECT_EQ(record.flags, ReportFlags::HasText | ReportFlags::HasSnapshot);
  EXPECT_EQ(record.state, ReportState::New);

  // The text went out in code page 932 and comes back through it whole.
  std::u16string text;
  int lineBreaks = 0;
  WinsockStream fetch;
  ReportTextSink sink{[&](const std::u16string& received) { text = received; }, [&] { ++lineBreaks; }};
  EXPECT_TRUE(FetchReport(fetch, server, SystemAnsiCodec(), *name, sink));
  EXPECT_EQ(text, sent.header + u"\r\n" + sent.body + u"\r\n");
  EXPECT_EQ(lineBreaks, 1);

  std::vector<std::vector<uint8_t>> snapshots;
  WinsockStream snapshot;
  EXPECT_TRUE(FetchSnapshots(snapshot, server, SystemAnsiCodec(), {*name},
                             [&](std::span<const uint8_t> png) { snapshots.emplace_back(png.begin(), png.end()); }));
  ASSERT_EQ(snapshots.size(), 1u);
  EXPECT_EQ(snapshots[0], sent.png);

  WinsockStream restate;
  EXPECT_TRUE(SetReportState(restate, server, SystemAnsiCodec(), {*name}, ReportState::Fixed, &table));
  ASSERT_TRUE(table.count(*name));
  EXPECT_EQ(table.find(*name)->second.state, ReportState::Fixed);
  ReportRecords again;
  WinsockStream relist;
  ASSERT_TRUE(ListReports(relist, server, SystemAnsiCodec(), &again));
  ASSERT_TRUE(again.count(*name));
  EXPECT_EQ(again.find(*name)->second.state, ReportState::Fixed);
}

// A package far larger than the socket buffers, read at 4 MiB a second: the
// send lasts seconds longer than its time-out, yet no piece of it waits that
// long, so the package arrives whole and is stored.
TEST(WinsockClient, LargePackageArrivesWholeOverASlowReader) {
  std::vector<uint8_t> snapshot(16u << 20);
  for (size_t i = 0; i < snapshot.size(); ++i) snapshot[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
  ReportSeed seed;
  seed.title = AsUtf16(UniqueTitle(L"遅い回線で届く大きなレポート"));
  seed.flags = ReportFlags::HasSnapshot;
  const std::u16string& title = seed.title;
  const std::vector<uint8_t> package = ReportPackage(seed, u"テスター", snapshot);
  ASSERT_FALSE(package.empty());

  RelayProxy slowLink(TestServer(), 4u << 20);
  WinsockStream stream(StreamTimeouts{10'000, 30'000, 2'000});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SubmitReport(stream, slowLink.endpoint(), package.data(), static_cast<uint32_t>(package.size())),
            SubmitResult::Stored)
      << stream.LastFailure();
  EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "the link was not slow";
  const auto connections = slowLink.Connections();
  ASSERT_EQ(connections.size(), 1u);
  ASSERT_FALSE(connections[0].empty());
  EXPECT_EQ(connections[0][0].code, static_cast<uint8_t>(ClientCommand::SubmitReport));
  EXPECT_TRUE(connections[0][0].payload == package) << "the package did not arrive whole";

  ReportRecords table;
  WinsockStream list;
  ASSERT_TRUE(ListReports(list, TestServer(), SystemAnsiCodec(), &table)) << list.LastFailure();
  const std::optional<std::u16string> name = FindByTitle(table, title);
  ASSERT_TRUE(name.has_value()) << "the server did not store it";
  std::vector<uint8_t> fetched;
  WinsockStream fetch;
  EXPECT_TRUE(FetchSnapshots(fetch, TestServer(), SystemAnsiCodec(), {*name},
                             [&](std::span<const uint8_t> png) { fetched.assign(png.begin(), png.end()); }));
  EXPECT_TRUE(fetched == snapshot) << "the stored snapshot differs";
}

TEST(WinsockClient, ClosedPortFailsTheExchange) {
  ServerEndpoint nowhere{"127.0.0.1", 1};
  WinsockStream stream;
  ReportRecords table;
  table[u"stale"];
  EXPECT_FALSE(ListReports(stream, nowhere, SystemAnsiCodec(), &table));
  EXPECT_TRUE(table.empty()) << "the list fetch empties the table first";
}

}  // namespace
}  // namespace vnscope::test
