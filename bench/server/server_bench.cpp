// Report server figures on loopback: submissions per second of 2 MB packages
// from 8 clients at once, one ListReports exchange over 10,000 reports, and
// the dashboard over the same 10,000: a list page (HTTP round trip, and the
// server's own work of querying and rendering it in-process on a copy of the
// database) and the page of a report with a 2 MB snapshot.
// The data directory is under TMPDIR; point it at the disk the server will
// use in production for meaningful submission figures.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "server/dashboard/pages.h"
#include "server/store.h"
#include "test_support.h"

namespace vnscope::test {
namespace {

constexpr uint8_t kSubmit = 1, kList = 2;
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

bool SubmitOnce(uint16_t port, const Bytes& package) {
  Connection connection(port);
  if (!connection.Send(kSubmit, package)) return false;
  auto reply = connection.Receive();
  connection.End();
  return reply && reply->code == 0;
}

void BM_Submit2MBPackages(benchmark::State& state) {
  const Bytes package = LargePackage(state.thread_index());
  for (auto _ : state) {
    if (!SubmitOnce(servers->submit->port(), package)) {
      state.SkipWithError("submission refused");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(package.size()));
}
BENCHMARK(BM_Submit2MBPackages)->Threads(8)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(5.0);

void BM_ListReports10000(benchmark::State& state) {
  for (auto _ : state) {
    Connection connection(servers->list->port());
    connection.Send(kList);
    const auto frames = connection.ReceiveReplies();
    connection.End();
    // Every listed report and the one with the large snapshot: a name and a
    // summary each, then code 0.
    if (frames.size() != 2 * (kListedReports + 1) + 1) {
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

// SQLite's online backup: a consistent copy while the server runs.
bool CopyDatabase(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::create_directories(to);
  sqlite3* source = nullptr;
  sqlite3* target = nullptr;
  bool ok = sqlite3_open_v2(from.c_str(), &source, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_open((to / "reports.sqlite3").c_str(), &target) == SQLITE_OK;
  if (ok) {
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    ok = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
    if (backup) sqlite3_backup_finish(backup);
  }
  sqlite3_close(source);
  sqlite3_close(target);
  return ok;
}

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
    clients.emplace_back([&] {
      for (int i; (i = next++) < kListedReports;) {
        const Bytes package = ReportPackage(u"テキストが枠からはみ出す " + std::u16string(1, u'0' + i % 10),
                                            "report " + std::to_string(i));
        if (!SubmitOnce(s.list->port(), package)) ++failed;
      }
    });
  }
  for (auto& client : clients) client.join();
  if (failed) std::fprintf(stderr, "%d of the list reports were refused\n", failed.load());
  if (failed) return false;
  {
    Connection connection(s.list->port());
    if (!connection.Send(kSubmit, LargePackage(99))) return false;
    auto reply = connection.Receive();
    connection.End();
    if (!reply || reply->code != 0) return false;
    s.large_report = NameOf(*reply);
  }
  std::string error;
  if (!CopyDatabase(s.dir.path() / "list" / "reports.sqlite3", s.dir.path() / "copy")) return false;
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
