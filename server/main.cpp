// vnscope-server: stores the debug reports testers send from the game and
// serves them back to the report browser.
#include <signal.h>
#include <sys/signalfd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "report/protocol/limits.h"
#include "server/backup.h"
#include "server/dashboard/access.h"
#include "server/dashboard/dashboard.h"
#include "server/web_text.h"
#include "server/handlers.h"
#include "server/log.h"
#include "server/retention.h"
#include "server/server.h"
#include "server/store.h"
#include "server/webhooks.h"
#include "vnscope_revision.h"
#include "vnscope_version.h"

namespace {

int64_t UnixMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// --purge: the names removed on standard output, one a line, for scripts;
// what happened on the log.
int Purge(const std::string& data, int64_t older_than_days, const std::vector<std::string>& states, bool dry_run) {
  using namespace vnscope::server;
  PurgeRule rule;
  for (const std::string& text : states) {
    const auto state = ParseReportState(text);
    if (!state) {
      LogLine("--state " + text + ": not a state (新着, 再修正依頼, 修正済, 完了, 問題なし or their numbers)");
      return 1;
    }
    if (std::find(rule.states.begin(), rule.states.end(), *state) == rule.states.end()) rule.states.push_back(*state);
  }
  const auto cut = PurgeCut(UnixMillis(), older_than_days);
  if (!cut) {
    LogLine("no report can be older than " + std::to_string(older_than_days) + " days");
    return 0;
  }
  std::vector<std::string> names;
  std::string error;
  const bool done = PurgeReports(data, {*cut, rule.states}, dry_run, &names, &error);
  for (const std::string& name : names) std::printf("%s\n", name.c_str());
  std::fflush(stdout);
  if (!done) {
    LogLine("purge failed: " + error);
    return 1;
  }
  LogLine(std::string(dry_run ? "would remove " : "removed ") + std::to_string(names.size()) +
          " reports that arrived at or before " + IsoTime(*cut) + " from " + data);
  return 0;
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
                 "Connections served at once from one client address; as many more wait, the rest are closed")
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
  std::string api_token_file;
  std::vector<std::string> webhook_urls;
  std::string public_url;
  app.add_option("--api-token-file", api_token_file,
                 "File holding the JSON API's token (without its trailing line end); without it the API answers 404");
  app.add_option("--webhook", webhook_urls,
                 "Post every new report and every change as JSON to this http:// or https:// URL; may be repeated")
      ->allow_extra_args(false);
  app.add_option("--public-url", public_url,
                 "The dashboard's address as the team reaches it, for the links in notifications (default: --http's)");
  std::string backup_to;
  CLI::Option* backup_option = app.add_option("--backup-to", backup_to,
                 "Copy the store in --data into this new directory, even while a server uses it, then exit");
  bool purge = false, dry_run = false;
  int64_t older_than_days = 0;
  std::vector<std::string> purge_states;
  CLI::Option* purge_flag = app.add_flag(
      "--purge", purge,
      "Remove old reports (--older-than, --state) from the store in --data, even while a server uses it, print "
      "their names, then exit");
  CLI::Option* older_option =
      app.add_option("--older-than", older_than_days,
                     "With --purge: reports that arrived DAYS whole days ago or earlier (0: every report up to now)")
          ->check(CLI::Range(int64_t{0}, INT64_MAX));
  CLI::Option* state_option =
      app.add_option("--state", purge_states,
                     "With --purge: only reports in this state, by label (新着 再修正依頼 修正済 完了 問題なし) or "
                     "number; may be repeated")
          ->allow_extra_args(false);
  CLI::Option* dry_run_flag = app.add_flag("--dry-run", dry_run, "With --purge: print the names, remove nothing");
  purge_flag->needs(older_option)->excludes(backup_option);
  older_option->needs(purge_flag);
  state_option->needs(purge_flag);
  dry_run_flag->needs(purge_flag);
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

  if (purge) return Purge(data, older_than_days, purge_states, dry_run);

  server::DashboardSettings dashboard_settings{http, "", text_encoding};
  if (!http_secret_file.empty()) {
    dashboard_settings.secret = server::ReadSecretFile(http_secret_file);
    if (dashboard_settings.secret.empty()) {
      server::LogLine("no secret in " + http_secret_file + " (missing, unreadable, or its first line is empty)");
      return 1;
    }
  }
  if (!api_token_file.empty()) {
    dashboard_settings.api_token = server::ReadSecretFile(api_token_file);
    if (dashboard_settings.api_token.empty()) {
      server::LogLine("no token in " + api_token_file + " (missing, unreadable or empty)");
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
  std::unique_ptr<server::Webhooks> webhooks;
  if (!webhook_urls.empty()) {
    webhooks = server::Webhooks::Create(*store, UnixMillis, {webhook_urls}, &error);
    if (!webhooks) {
      server::LogLine(error);
      return 1;
    }
    dashboard_settings.failing_webhooks = [&webhooks] { return webhooks->FailingUrls(); };
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
  if (webhooks) webhooks->Start(public_url.empty() && dashboard ? dashboard->url() : public_url);
  if (dashboard) dashboard->Start();
  server.Run(stop_fd.get());
  if (dashboard) dashboard->Stop();
  if (webhooks) webhooks->Stop();
  server::LogLine("stopped");
  return 0;
}
