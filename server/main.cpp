// vnscope-server: stores the debug reports testers send from the game and
// serves them back to the report browser.
#include <signal.h>
#include <sys/signalfd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstring>

#include "report/protocol/limits.h"
#include "server/handlers.h"
#include "server/log.h"
#include "server/server.h"
#include "server/store.h"
#include "vnscope_revision.h"
#include "vnscope_version.h"

namespace {

int64_t UnixMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vnscope;
  std::string listen = std::string(VNSCOPE_SERVER_ADDRESS) + ":" + std::to_string(VNSCOPE_SERVER_PORT);
  std::string data = "./vnscope-data";
  uint32_t max_package = limits::kDefaultMaxPackage;
  uint32_t idle_timeout_ms = limits::kDefaultIdleTimeoutMs;
  uint32_t max_connections = limits::kDefaultMaxConnections;

  CLI::App app{"vnscope report server: stores debug reports sent from the game and serves them to the report browser"};
  app.add_option("--listen", listen, "Address and port to listen on, ADDR:PORT ([ADDR]:PORT for IPv6)")
      ->capture_default_str();
  app.add_option("--data", data, "Directory of the report database (created when missing)")->capture_default_str();
  app.add_option("--max-package", max_package, "Largest report package accepted, in bytes")
      ->capture_default_str()
      // SQLite stores no value above 10^9 bytes; 22 is the smallest ZIP.
      ->check(CLI::Range(uint32_t{22}, uint32_t{1'000'000'000}));
  app.add_option("--idle-timeout-ms", idle_timeout_ms, "Drop a connection silent for this long")
      ->capture_default_str()
      ->check(CLI::Range(uint32_t{1}, uint32_t{INT32_MAX}));
  app.add_option("--max-connections", max_connections, "Connections served at once; more wait")
      ->capture_default_str()
      ->check(CLI::Range(uint32_t{1}, uint32_t{65536}));
  app.set_version_flag("--version", "vnscope-server " VNSCOPE_VERSION_TEXT " (revision " VNSCOPE_REVISION ")");
  CLI11_PARSE(app, argc, argv);

  // SIGTERM and SIGINT arrive as readable data on a descriptor the accept
  // loop watches; blocked before any thread starts, so every thread inherits
  // the mask and none is interrupted by them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  server::UniqueFd stop_fd(signalfd(-1, &stop_signals, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!stop_fd) {
    server::LogLine(std::string("signalfd: ") + std::strerror(errno));
    return 1;
  }

  if (max_package > limits::kMaxReplyPayload) {
    server::LogLine("warning: packages above " + std::to_string(limits::kMaxReplyPayload) +
                    " bytes may hold snapshots the report browser refuses to receive");
  }

  std::string error;
  auto store = server::ReportStore::Open(data, &error);
  if (!store) {
    server::LogLine("cannot open the report store in " + data + ": " + error);
    return 1;
  }
  server::RequestHandler handler(*store, UnixMillis);
  server::ServerSettings settings;
  settings.listen = listen;
  settings.connection = {max_package, idle_timeout_ms, limits::kLingerMs};
  settings.max_connections = max_connections;
  settings.shutdown_grace_ms = limits::kShutdownGraceMs;
  server::Server server(handler, settings);
  if (!server.Listen(&error)) {
    server::LogLine(error);
    return 1;
  }
  server::LogLine("listening on " + server.address() + ", data in " + data + ", packages up to " +
                  std::to_string(max_package) + " bytes");
  server.Run(stop_fd.get());
  server::LogLine("stopped");
  return 0;
}
