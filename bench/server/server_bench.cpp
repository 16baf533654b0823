// Report server figures on loopback: submissions per second of 2 MB packages
// from 8 clients at once, and one ListReports exchange over 10,000 reports.
// The data directory is under TMPDIR; point it at the disk the server will
// use in production for meaningful submission figures.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "test_support.h"

namespace vnscope::test {
namespace {

constexpr uint8_t kSubmit = 1, kList = 2;
constexpr size_t kPackageBytes = 2'000'000;
constexpr int kListedReports = 10'000;

struct Servers {
  TempDir dir;
  std::unique_ptr<ServerProcess> submit;  // empty at the start
  std::unique_ptr<ServerProcess> list;    // holds kListedReports reports
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
    if (frames.size() != 2 * kListedReports + 1) {
      state.SkipWithError("list reply of the wrong length");
      break;
    }
  }
}
BENCHMARK(BM_ListReports10000)->Unit(benchmark::kMillisecond)->UseRealTime();

bool Prepare(Servers& s) {
  s.submit = std::make_unique<ServerProcess>(VNSCOPE_SERVER_BINARY, s.dir.path() / "submit");
  s.list = std::make_unique<ServerProcess>(VNSCOPE_SERVER_BINARY, s.dir.path() / "list");
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
  return failed == 0;
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
