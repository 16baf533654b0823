// The web dashboard beside the report port: the reports by tab, each report
// with its text, snapshot, object list, game state, package, comments,
// assignee and history, and the state buttons; and the JSON API. Served over HTTP by cpp-httplib on threads of its own; it
// shares the store (and so the revision) with the report port.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/dashboard/request_values.h"
#include "server/store.h"

namespace vnscope::server {

struct DashboardSettings {
  std::string listen;            // "ADDR:PORT" ("[ADDR]:PORT" for IPv6); port 0 picks one
  std::string secret;            // empty: no login, and loopback only
  std::string text_encoding;     // the senders' ANSI code page, as iconv names it
  std::chrono::milliseconds login_failure_delay{1000};
  std::string api_token;         // empty: the JSON API answers 404
  // The notification URLs that have failed for over an hour, for the list's
  // status line; none when not given.
  std::function<std::vector<std::string>()> failing_webhooks;
};

class Dashboard {
 public:
  // `clock` gives the Unix time in milliseconds recorded with state changes.
  Dashboard(ReportStore& store, std::function<int64_t()> clock, DashboardSettings settings);
  ~Dashboard();
  Dashboard(const Dashboard&) = delete;
  Dashboard& operator=(const Dashboard&) = delete;

  // Binds. False with `error` set when the address is bad or taken, or is not
  // a loopback address while no secret is set.
  bool Listen(std::string* error);
  // "http://ADDR:PORT/" with the port actually bound.
  const std::string& url() const { return url_; }

  // Serves on a thread of its own until Stop, which lets requests under way end.
  void Start();
  void Stop();

 private:
  class Routes;
  const std::string listen_;
  const bool needs_login_;
  std::unique_ptr<Routes> routes_;
  std::string url_;
  std::thread thread_;
  std::atomic<bool> serving_ended_ = false;
};

}  // namespace vnscope::server
