// vnscope-server: stores the debug reports testers send from the game and
// serves them back to the report browser.
#include <signal.h>
#include <sys/signalfd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "report/protocol/limits.h"
#include "server/backup.h"
#include "server/dashboard/access.h"
#include "server/dashboard/dashboard.h"
#include "server/dashboard/web_text.h"
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
  // libzip converts each entry's time with mktime; without TZ glibc checks
  // the zone file anew on every call, a stat per entry of every submission.
  // Naming the default zone keeps local time as it was and reads it once.
  setenv("TZ", ":/etc/localtime", 0);
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
  std::string allow;
  uint32_t max_per_address = limits::kDefaultMaxConnectionsPerAddress;
  CLI::Option* allow_option = app.add_option("--allow", allow,
                 "Serve only clients in these networks, CIDR[,CIDR...] (default: everyone who reaches the port)");
  app.add_option("--max-connections-per-address", max_per_address,
                 "Connections open at once from one client address; more are closed")
      ->capture_default_str()
      ->check(CLI::Range(uint32_t{1}, uint32_t{65536}));
  std::string http = "127.0.0.1:47212";
  std::string http_secret_file;
  std::string text_encoding = "CP932";
  app.add_option("--http", http, "Address and port of the web dashboard, ADDR:PORT, or off")->capture_default_str();
  app.add_option("--http-secret-file", http_secret_file,
                 "File holding the dashboard's secret; without it the dashboard serves loopback only");
  app.add_option("--text-encoding", text_encoding, "Code page the senders' report texts are in (an iconv name)")
      ->capture_default_str();
  std::string backup_to;
  app.add_option("--backup-to", backup_to,
                 "Copy the store in --data into this new directory, even while a server uses it, then exit");
  app.set_version_flag("--version", "vnscope-server " VNSCOPE_VERSION_TEXT " (revision " VNSCOPE_REVISION ")");
  CLI11_PARSE(app, argc, argv);

  if (!backup_to.empty()) {
    std::string summary, error;
    if (!server::BackupStore(data, backup_to, &summary, &error)) {
      server::LogLine("backup failed: " + error);
      return 1;
    }
    server::LogLine("backed up " + summary + " from " + data + " to " + backup_to);
    return 0;
  }

  server::DashboardSettings dashboard_settings{http, "", text_encoding};
  if (!http_secret_file.empty()) {
    dashboard_settings.secret = server::ReadSecretFile(http_secret_file);
    if (dashboard_settings.secret.empty()) {
      server::LogLine("no secret in " + http_secret_file + " (missing, unreadable, or its first line is empty)");
      return 1;
    }
  }
  std::string error;
  // Given but empty is a mistake (an unset variable, say), not "everyone".
  const auto allow_list = allow_option->count() == 0 ? server::AllowList() : server::AllowList::Parse(allow, &error);
  if (!allow_list) {
    server::LogLine("--allow: " + error);
    return 1;
  }
  if (!server::CanDecode(text_encoding)) {
    server::LogLine("unknown text encoding " + text_encoding);
    return 1;
  }

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
  settings.allow = *allow_list;
  settings.max_connections_per_address = max_per_address;
  settings.shutdown_grace_ms = limits::kShutdownGraceMs;
  server::Server server(handler, settings);
  if (!server.Listen(&error)) {
    server::LogLine(error);
    return 1;
  }
  std::unique_ptr<server::Dashboard> dashboard;
  if (http != "off") {
    dashboard = std::make_unique<server::Dashboard>(*store, UnixMillis, dashboard_settings);
    if (!dashboard->Listen(&error)) {
      server::LogLine(error);
      return 1;
    }
  }
  // The dashboard's line first: "listening on" tells scripts that both are up.
  if (dashboard) {
    server::LogLine("dashboard on " + dashboard->url() +
                    (dashboard_settings.secret.empty() ? " (loopback, no login)" : " (login with the secret)"));
  }
  server::LogLine("listening on " + server.address() + ", data in " + data + ", packages up to " +
                  std::to_string(max_package) + " bytes");
  if (dashboard) dashboard->Start();
  server.Run(stop_fd.get());
  if (dashboard) dashboard->Stop();
  server::LogLine("stopped");
  return 0;
}
