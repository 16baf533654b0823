// The report port under a burst of 1,000 small reports from 16 clients at
// once, against two servers side by side in the same run: one without
// notifications (the baseline) and one posting every new report to a local
// chat tool. Notifications are recorded in the submission's own commit and
// posted by a thread of their own, so the second must keep at least 0.9 of
// the first's rate.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <memory>
#include <thread>

#include "test_support.h"

namespace vnscope::test {
namespace {

constexpr int kBurst = 1000;
constexpr int kClients = 16;

struct Setup {
  TempDir dir;
  httplib::Server chat;  // answers every post at once
  std::thread chat_thread;
  std::atomic<int> posts = 0;
  std::unique_ptr<ServerProcess> plain;
  std::unique_ptr<ServerProcess> notifying;
  ~Setup() {
    chat.stop();
    if (chat_thread.joinable()) chat_thread.join();
  }
};
Setup* setup = nullptr;

// One burst: every client submits its share as fast as the server answers.
bool Burst(uint16_t port) {
  const Bytes package = ReportPackage(u"テキストが枠からはみ出す", "a short report text");
  std::atomic<int> next = 0, refused = 0;
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      const uint32_t host = (127u << 24) | (2u << 8) | static_cast<uint32_t>(1 + c);  // a machine each
      while (next++ < kBurst) {
        const auto reply = SubmitPackage(port, package, host).reply;
        if (!reply || reply->code != 0) ++refused;
      }
    });
  }
  for (auto& client : clients) client.join();
  return refused == 0;
}

void BurstOf1000(benchmark::State& state, ServerProcess* server) {
  for (auto _ : state) {
    if (!Burst(server->port())) {
      state.SkipWithError("a submission was refused");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kBurst);
}

// Alternated, so that both see the same machine load over the run.
void BM_Burst1000WithoutWebhook(benchmark::State& state) { BurstOf1000(state, setup->plain.get()); }
void BM_Burst1000WithWebhook(benchmark::State& state) { BurstOf1000(state, setup->notifying.get()); }
BENCHMARK(BM_Burst1000WithoutWebhook)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Burst1000WithWebhook)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Burst1000WithoutWebhook)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Burst1000WithWebhook)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

bool Prepare(Setup& s) {
  s.chat.Post("/hook", [&s](const httplib::Request&, httplib::Response& res) {
    ++s.posts;
    res.status = 204;
  });
  const int port = s.chat.bind_to_any_port("127.0.0.1");
  if (port <= 0) return false;
  s.chat_thread = std::thread([&s] { s.chat.listen_after_bind(); });
  s.plain = std::make_unique<ServerProcess>(VNSCOPE_SERVER_BINARY, s.dir.path() / "plain");
  s.notifying = std::make_unique<ServerProcess>(
      VNSCOPE_SERVER_BINARY, s.dir.path() / "notifying",
      std::vector<std::string>{"--webhook", "http://127.0.0.1:" + std::to_string(port) + "/hook"});
  if (!s.plain->started() || !s.notifying->started()) {
    std::fprintf(stderr, "%s%s", s.plain->Log().c_str(), s.notifying->Log().c_str());
    return false;
  }
  return true;
}

}  // namespace
}  // namespace vnscope::test

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  vnscope::test::Setup setup;
  if (!vnscope::test::Prepare(setup)) return 1;
  vnscope::test::setup = &setup;
  benchmark::RunSpecifiedBenchmarks();
  // Every report of the notifying server's bursts reached the chat tool.
  for (int i = 0; i < 600 && setup.posts < 6 * vnscope::test::kBurst; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::printf("notifications received: %d of %d\n", setup.posts.load(), 6 * vnscope::test::kBurst);
  benchmark::Shutdown();
  return 0;
}
