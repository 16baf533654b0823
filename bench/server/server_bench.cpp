// Report server figures on loopback: the disk's synced write bandwidth with
// 2 MB blocks and the rate of one synced SQLite commit per small row, both in
// the data directory (the floors the submissions are measured against);
// submissions per second of 2 MB packages from 8 clients at once and of small
// packages from 16 clients at once, the same exchange from 16 clients for a
// package turned down without the store (the ceiling of the small
// submissions on this machine), one ListReports exchange over 10,000 reports, and
// the dashboard over the same 10,000: a list page (HTTP round trip, and the
// server's own work of querying and rendering it in-process on a copy of the
// database) and the page of a report with a 2 MB snapshot.
// The data directory is under TMPDIR; point it at the disk the server will
// use in production for meaningful submission figures.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "server/backup.h"
#include "server/dashboard/pages.h"
#include "server/store.h"
#include "test_support.h"

namespace vnscope::test {
namespace {

constexpr size_t kPackageBytes = 2'000'000;
constexpr int kListedReports = 10'000;

struct Servers {
  TempDir dir;
  std::unique_ptr<ServerProcess> submit;  // empty at the start
  std::unique_ptr<ServerProcess> list;    // holds kListedReports reports, and one with a 2 MB snapshot
  std::string large_report;               // that one's name
  std::unique_ptr<server::ReportStore> copy;  // a copy of the list server's database, in-process
};
Servers* servers = nullptr;

// A package of about 2 MB, most of it an incompressible snapshot, as a
// screenshot PNG is.
Bytes LargePackage(int seed) {
  Bytes snapshot(kPackageBytes - 4096);
  std::mt19937 random(seed);
  for (uint8_t& byte : snapshot) byte = static_cast<uint8_t>(random());
  return ReportPackage(u"benchmark", std::string(2000, 't'), snapshot);
}

// The loopback address client thread `thread` connects from: 127.0.1.N, as
// if each tester sat at a machine of their own. From one address, thousands
// of exchanges a second leave the client side's closed connections waiting
// out TIME_WAIT on nearly every ephemeral port, and each connect then
// searches the port range for a free one: that search, not the server, took
// most of the CPU the clients and the server share here.
uint32_t ClientHost(int thread) { return (127u << 24) | (1u << 8) | static_cast<uint32_t>(1 + thread); }

// One submit exchange; the reply's code, or -1 when none came.
int SubmitExchange(uint16_t port, const Bytes& package, int thread) {
  const auto reply = SubmitPackage(port, package, ClientHost(thread)).reply;
  return reply ? reply->code : -1;
}

bool SubmitOnce(uint16_t port, const Bytes& package, int thread) { return SubmitExchange(port, package, thread) == 0; }

void BM_Submit2MBPackages(benchmark::State& state) {
  const Bytes package = LargePackage(state.thread_index());
  for (auto _ : state) {
    if (!SubmitOnce(servers->submit->port(), package, state.thread_index())) {
      state.SkipWithError("submission refused");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(package.size()));
}
BENCHMARK(BM_Submit2MBPackages)->Threads(8)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(5.0);

void BM_SubmitSmallPackages(benchmark::State& state) {
  const Bytes package = ReportPackage(u"小さなレポート", "report text " + std::to_string(state.thread_index()));
  for (auto _ : state) {
    if (!SubmitOnce(servers->submit->port(), package, state.thread_index())) {
      state.SkipWithError("submission refused");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SubmitSmallPackages)->Threads(16)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(5.0);

// The ceiling for small submissions on this machine: the same exchange from
// as many clients, for a package the server turns down at once, so that no
// store is involved: connection, frames, one reply, the close.
void BM_ExchangeWithoutStore(benchmark::State& state) {
  const Bytes not_a_package = ToBytes("not a ZIP archive");
  for (auto _ : state) {
    if (SubmitExchange(servers->submit->port(), not_a_package, state.thread_index()) != 1) {
      state.SkipWithError("not turned down");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExchangeWithoutStore)->Threads(16)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(5.0);

// The floor for large submissions: 2 MB blocks appended to a file in the
// data directory's file system, each synced before the next.
void BM_DiskSyncedWrite2MB(benchmark::State& state) {
  const auto path = servers->dir.path() / "disk-floor";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Bytes block = LargePackage(7);
  block.resize(kPackageBytes);
  int blocks = 0;
  for (auto _ : state) {
    // A fresh file now and then, so that the test does not fill the disk.
    if (++blocks % 64 == 0 && ftruncate(fd, 0) != 0) state.SkipWithError("ftruncate failed");
    if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()) || fdatasync(fd) != 0) {
      state.SkipWithError("write failed");
      break;
    }
  }
  close(fd);
  unlink(path.c_str());
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_DiskSyncedWrite2MB)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(5.0);

// The floor for small submissions: one synced commit per report, a row of a
// small package's size inserted and committed alone, as with SQLite's
// write-ahead log and full syncs.
void BM_OneSyncedCommitPerReport(benchmark::State& state) {
  const auto path = servers->dir.path() / "commit-floor.sqlite3";
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; CREATE TABLE r(id INTEGER PRIMARY KEY, p BLOB)",
               nullptr, nullptr, nullptr);
  const Bytes package = ReportPackage(u"小さなレポート", "report text");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO r(p) VALUES(?1)", -1, &insert, nullptr);
  for (auto _ : state) {
    sqlite3_bind_blob(insert, 1, package.data(), static_cast<int>(package.size()), SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) {
      state.SkipWithError("insert failed");
      break;
    }
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_close(db);
  std::filesystem::remove(path);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OneSyncedCommitPerReport)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(5.0);

void BM_ListReports10000(benchmark::State& state) {
  for (auto _ : state) {
    const ReportList list = ListReports(servers->list->port());
    // Every listed report and the one with the large snapshot.
    if (!list.fault.empty() || list.reports.size() != kListedReports + 1) {
      state.SkipWithError("list reply of the wrong length");
      break;
    }
  }
}
BENCHMARK(BM_ListReports10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// GET on the list server's dashboard; the body's size, or 0 on failure.
size_t Get(httplib::Client& client, const std::string& path) {
  auto answer = client.Get(path.c_str());
  return answer && answer->status == 200 ? answer->body.size() : 0;
}

void DashboardGets(benchmark::State& state, const std::string& path) {
  httplib::Client client("127.0.0.1", servers->list->http_port());
  client.set_keep_alive(true);
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = Get(client, path);
    if (bytes == 0) {
      state.SkipWithError("dashboard request failed");
      break;
    }
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}

void BM_DashboardListPage10000(benchmark::State& state) { DashboardGets(state, "/?tab=0"); }
BENCHMARK(BM_DashboardListPage10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DashboardListPage10000Last(benchmark::State& state) { DashboardGets(state, "/?tab=0&page=201"); }
BENCHMARK(BM_DashboardListPage10000Last)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DashboardListPage10000Search(benchmark::State& state) { DashboardGets(state, "/?tab=0&q=%E3%81%99%207"); }
BENCHMARK(BM_DashboardListPage10000Search)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DashboardReportPage2MBSnapshot(benchmark::State& state) {
  DashboardGets(state, "/reports/" + servers->large_report);
}
BENCHMARK(BM_DashboardReportPage2MBSnapshot)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DashboardSnapshot2MB(benchmark::State& state) {
  DashboardGets(state, "/reports/" + servers->large_report + "/snapshot.png");
}
BENCHMARK(BM_DashboardSnapshot2MB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The server's side of a list page alone: the store's query and the page's
// rendering, without HTTP.
void BM_ListPageServerSide10000(benchmark::State& state) {
  for (auto _ : state) {
    server::ListPageModel model;
    model.filter = 0;
    auto page = servers->copy->ListPage({0, "", 0, server::kReportsPerPage}, nullptr);
    if (!page) {
      state.SkipWithError("query failed");
      break;
    }
    model.data = std::move(*page);
    benchmark::DoNotOptimize(server::RenderListPage(model));
  }
}
BENCHMARK(BM_ListPageServerSide10000)->Unit(benchmark::kMillisecond)->UseRealTime();

bool Prepare(Servers& s) {
  s.submit = std::make_unique<ServerProcess>(VNSCOPE_SERVER_BINARY, s.dir.path() / "submit");
  s.list = std::make_unique<ServerProcess>(VNSCOPE_SERVER_BINARY, s.dir.path() / "list",
                                          std::vector<std::string>{"--http", "127.0.0.1:0"});
  if (!s.submit->started() || !s.list->started()) {
    std::fprintf(stderr, "%s%s", s.submit->Log().c_str(), s.list->Log().c_str());
    return false;
  }
  // Small reports with realistic titles, submitted over 8 connections at once.
  std::atomic<int> next = 0, failed = 0;
  std::vector<std::thread> clients;
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&, c] {
      for (int i; (i = next++) < kListedReports;) {
        const Bytes package = ReportPackage(u"テキストが枠からはみ出す " + std::u16string(1, u'0' + i % 10),
                                            "report " + std::to_string(i));
        if (!SubmitOnce(s.list->port(), package, c)) ++failed;
      }
    });
  }
  for (auto& client : clients) client.join();
  if (failed) std::fprintf(stderr, "%d of the list reports were refused\n", failed.load());
  if (failed) return false;
  {
    const auto reply = SubmitPackage(s.list->port(), LargePackage(99)).reply;
    if (!reply || reply->code != 0) return false;
    s.large_report = NameOf(*reply);
  }
  std::string error;
  // The server's online backup: a consistent copy while the server runs.
  std::string summary;
  if (!server::BackupStore(s.dir.path() / "list", s.dir.path() / "copy", &summary, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  s.copy = server::ReportStore::Open(s.dir.path() / "copy", &error);
  if (!s.copy) std::fprintf(stderr, "%s\n", error.c_str());
  return s.copy != nullptr;
}

}  // namespace
}  // namespace vnscope::test

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  vnscope::test::Servers servers;
  if (!vnscope::test::Prepare(servers)) return 1;
  vnscope::test::servers = &servers;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
