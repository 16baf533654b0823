#include "server/dashboard/dashboard.h"

#include <httplib.h>

#include <cerrno>
#include <cstring>

#include "report/protocol/limits.h"
#include "server/dashboard/access.h"
#include "server/dashboard/api.h"
#include "server/dashboard/http_reply.h"
#include "server/dashboard/pages.h"
#include "server/dashboard/triage_input.h"
#include "server/dashboard/triage_routes.h"
#include "server/dashboard/request_values.h"
#include "server/web_text.h"
#include "server/log.h"
#include "server/package.h"
#include "server/protocol.h"
#include "server/report_name.h"

namespace vnscope::server {
namespace {

// Connections served at once. A dashboard tab polls every second and keeps
// its connection (and so a thread) while it is open.
constexpr size_t kHttpThreads = 32;
constexpr char kReportPath[] = R"(/reports/(\d{8}-\d{6}-\d{6,}))";

// Sent with every answer: no script but our own file, nothing framed, no
// guessing of types (a snapshot is served as PNG, whatever its bytes say).
const httplib::Headers kSecurityHeaders = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
     "form-action 'self'; frame-ancestors 'none'; base-uri 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "same-origin"},
};

// Whom a login attempt is throttled as.
std::string ThrottledClientOf(const httplib::Request& req) {
  return ThrottledClient(ForwardedClient(req.remote_addr, req.get_header_value("X-Forwarded-For")));
}

// Whether a proxy says it passed the request on: then people other than the
// local user reach a dashboard that only listens on loopback.
bool Forwarded(const httplib::Request& req) {
  return req.has_header("X-Forwarded-For") || req.has_header("Forwarded") || req.has_header("X-Real-IP");
}

}  // namespace

class Dashboard::Routes {
 public:
  Routes(ReportStore& store, std::function<int64_t()> clock, DashboardSettings settings)
      : store_(store),
        clock_(std::move(clock)),
        settings_(std::move(settings)),
        access_(settings_.secret, settings_.login_failure_delay),
        stylesheet_(DashboardStylesheet()),
        api_(store_, clock_, settings_.api_token, settings_.text_encoding) {
    http_.new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
    // Forms and page addresses; the largest is a comment form.
    http_.set_payload_max_length(kMaxFormBodyBytes);
    // Headers and body go out in separate writes; with Nagle's algorithm the
    // body would wait for the client's delayed acknowledgement (40 ms).
    http_.set_tcp_nodelay(true);
    http_.set_default_headers(kSecurityHeaders);
    http_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) { return Admit(req, res); });
    http_.Get("/", [this](const httplib::Request& req, httplib::Response& res) { ListPage(req, res); });
    http_.Get(kReportPath, [this](const httplib::Request& req, httplib::Response& res) { ReportPage(req, res); });
    http_.Get(std::string(kReportPath) + "/snapshot.png",
              [this](const httplib::Request& req, httplib::Response& res) { Snapshot(req, res); });
    http_.Get(std::string(kReportPath) + "/package.zip",
              [this](const httplib::Request& req, httplib::Response& res) { Package(req, res); });
    http_.Post(std::string(kReportPath) + "/state",
               [this](const httplib::Request& req, httplib::Response& res) { ChangeState(req, res); });
    http_.Post(std::string(kReportPath) + "/comments", [this](const httplib::Request& req, httplib::Response& res) {
      if (FormAdmitted(req, res)) PostComment(store_, req.matches[1], Origin(req), req, res);
    });
    http_.Post(std::string(kReportPath) + "/assignee", [this](const httplib::Request& req, httplib::Response& res) {
      if (FormAdmitted(req, res)) PostAssignee(store_, req.matches[1], Origin(req), req, res);
    });
    http_.Post("/name", [this](const httplib::Request& req, httplib::Response& res) {
      if (FormAdmitted(req, res)) SaveUserName(req, res);
    });
    http_.Get("/reports.csv", [this](const httplib::Request& req, httplib::Response& res) { ExportCsv(store_, req, res); });
    api_.Register(http_);
    http_.Get("/api/revision", [this](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-store");
      res.set_content(std::to_string(store_.revision()), "text/plain");
    });
    http_.Get("/static/dashboard.css", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(stylesheet_, "text/css; charset=utf-8");
    });
    http_.Get("/static/dashboard.js", [](const httplib::Request&, httplib::Response& res) {
      const std::string_view script = DashboardScript();
      res.set_content(script.data(), script.size(), "text/javascript; charset=utf-8");
    });
    http_.Get("/login", [](const httplib::Request& req, httplib::Response& res) {
      SendPage(res, 200, RenderLoginPage({}, SafeNext(req.get_param_value("next"))));
    });
    http_.Post("/login", [this](const httplib::Request& req, httplib::Response& res) { LogIn(req, res); });
    http_.Post("/logout", [this](const httplib::Request& req, httplib::Response& res) { LogOut(req, res); });
    http_.set_error_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (IsApiPath(req.path) && res.body.empty()) return api_.Unanswered(req, res);
      if (res.body.empty()) SendPage(res, res.status, RenderMessagePage("エラー", "HTTP " + std::to_string(res.status)));
    });
    http_.set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr) {
      LogLine("dashboard: request for " + req.path + " failed");
      SendPage(res, 500, RenderMessagePage("エラー", "サーバーの内部エラーです。"));
    });
  }

  httplib::Server& http() { return http_; }

 private:
  // Before any route: the Host check that keeps DNS rebinding off a loopback
  // dashboard, and the login.
  httplib::Server::HandlerResponse Admit(const httplib::Request& req, httplib::Response& res) {
    using Result = httplib::Server::HandlerResponse;
    // The API has its token instead: no cookies, so no page of another site
    // can use it on a visitor's behalf.
    if (IsApiPath(req.path)) return Result::Unhandled;
    if (!access_.needs_login()) {
      // Without a secret only the local user can reach us, but a page of any
      // site could point a name of its own at 127.0.0.1; such requests name
      // that site in Host.
      const std::string host = HostName(req.get_header_value("Host"));
      if (host != "localhost" && !IsNumericHost(host)) {
        SendPage(res, 403, RenderMessagePage("拒否", "このホスト名では開けません。"));
        return Result::Handled;
      }
      if (Forwarded(req)) {
        LogLine("dashboard peer=" + PeerOf(req) + " refused a request through a proxy: no --http-secret-file");
        SendPage(res, 403, RenderMessagePage("拒否", "プロキシ経由で開くにはログインの合言葉 (--http-secret-file) が必要です。"));
        return Result::Handled;
      }
      return Result::Unhandled;
    }
    if (req.path == "/login" || req.path.rfind("/static/", 0) == 0) return Result::Unhandled;
    if (access_.FormToken(req.get_header_value("Cookie"))) return Result::Unhandled;
    if (req.method == "GET" && req.path != "/api/revision") {
      std::string target = req.path;
      if (!req.params.empty()) {
        std::string query;
        for (const auto& [key, value] : req.params) {
          query += query.empty() ? '?' : '&';
          query += UrlEncode(key);
          query += '=';
          query += UrlEncode(value);
        }
        target += query;
      }
      Redirect(res, "/login?next=" + UrlEncode(target));
    } else {
      SendPage(res, 403, RenderMessagePage("拒否", "ログインしてください。"));
    }
    return Result::Handled;
  }

  std::string FormToken(const httplib::Request& req) {
    return access_.FormToken(req.get_header_value("Cookie")).value_or("");
  }

  // Whether a POST form comes from our own page with this session's token;
  // answers the request when it does not.
  bool FormAdmitted(const httplib::Request& req, httplib::Response& res) {
    const std::string token = FormToken(req);
    if (FromOurOwnPage(req) && !token.empty() && ConstantTimeEquals(FormValue(req, "csrf"), token)) return true;
    LogLine("dashboard peer=" + PeerOf(req) + " refused a change to " + req.path + " from another site");
    SendPage(res, 403, RenderMessagePage("拒否", "このページからは変更できません。"));
    return false;
  }

  StateChangeOrigin Origin(const httplib::Request& req) {
    return {kSourceDashboard, PeerOf(req), clock_(), UserNameOf(req)};
  }

  void ListPage(const httplib::Request& req, httplib::Response& res) {
    ListPageModel model;
    ReadListQuery(req, &model);
    // Read before the query: a change in between shows as a newer revision.
    model.revision = store_.revision();
    std::string error;
    if (!LoadListPage(store_, &model, &error)) return StoreFailed(res, error);
    model.form_token = FormToken(req);
    model.logged_in = access_.needs_login();
    model.user_name = UserNameOf(req);
    if (settings_.failing_webhooks) model.failing_webhooks = settings_.failing_webhooks();
    SendPage(res, 200, RenderListPage(model));
  }

  void ReportPage(const httplib::Request& req, httplib::Response& res) {
    ReportPageModel model;
    model.revision = store_.revision();
    if (!LoadDetails(req.matches[1], &model.details, res)) return;
    const std::vector<uint8_t>& package = model.details.package;
    std::vector<uint8_t> entry;
    if (ReadPackageEntry(package, kTextEntry, limits::kMaxReplyPayload, &entry) == EntryStatus::kFound)
      model.text = DecodeText(entry, settings_.text_encoding);
    if (ReadPackageEntry(package, kSnapshotEntry, limits::kMaxReplyPayload, &entry) == EntryStatus::kFound) {
      model.has_snapshot = true;
      model.snapshot_size = PngSize(entry);
    }
    if (ReadPackageEntry(package, kObjectListEntry, limits::kMaxReplyPayload, &entry) == EntryStatus::kFound)
      model.objects = ParseObjectList(DecodeText(entry, settings_.text_encoding));
    model.game_state = ReadGameState(package);
    model.form_token = FormToken(req);
    model.logged_in = access_.needs_login();
    model.user_name = UserNameOf(req);
    SendPage(res, 200, RenderReportPage(model));
  }

  void Snapshot(const httplib::Request& req, httplib::Response& res) {
    std::vector<uint8_t> package;
    if (!LoadPackage(req.matches[1], &package, res)) return;
    std::vector<uint8_t> png;
    if (ReadPackageEntry(package, kSnapshotEntry, limits::kMaxReplyPayload, &png) != EntryStatus::kFound) {
      SendPage(res, 404, RenderMessagePage("スナップショットなし", "このレポートにはスナップショットがありません。"));
      return;
    }
    // A report's package never changes, but it stays confidential.
    res.set_header("Cache-Control", "private, max-age=86400");
    res.set_content(reinterpret_cast<const char*>(png.data()), png.size(), "image/png");
  }

  void Package(const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    std::vector<uint8_t> package;
    if (!LoadPackage(name, &package, res)) return;
    res.set_header("Cache-Control", "private, no-store");
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + ".zip\"");
    res.set_content(reinterpret_cast<const char*>(package.data()), package.size(), "application/zip");
  }

  void ChangeState(const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    if (!FormAdmitted(req, res)) return;
    const int64_t state = ParseNumber(req.get_param_value("state"), -1);
    if (state < 0 || state > UINT32_MAX || !IsKnownState(static_cast<uint32_t>(state))) {
      SendPage(res, 400, RenderMessagePage("エラー", "知らない状態です。"));
      return;
    }
    std::string error;
    const StateChangeOrigin origin = Origin(req);
    switch (LooksLikeReportName(name) ? store_.SetState(name, static_cast<uint32_t>(state), origin, &error)
                                      : Lookup::kUnknown) {
      case Lookup::kFound:
        LogLine("dashboard peer=" + origin.peer + " name=" + name + " state=" + StateLabel(static_cast<uint32_t>(state)));
        Redirect(res, "/reports/" + name);
        return;
      case Lookup::kUnknown:
        return NotFound(res);
      case Lookup::kFailed:
        return StoreFailed(res, error);
    }
  }

  void LogIn(const httplib::Request& req, httplib::Response& res) {
    const std::string next = SafeNext(req.get_param_value("next"));
    if (!access_.needs_login()) return Redirect(res, next);
    if (!FromOurOwnPage(req)) {
      SendPage(res, 403, RenderMessagePage("拒否", "このページからはログインできません。"));
      return;
    }
    std::string session;
    switch (access_.LogIn(req.get_param_value("secret"), ThrottledClientOf(req), &session)) {
      case DashboardAccess::Login::kAccepted:
        res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + session +
                                         "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                                         std::to_string(std::chrono::seconds(DashboardAccess::kSessionLifetime).count()));
        LogLine("dashboard peer=" + PeerOf(req) + " logged in");
        return Redirect(res, next);
      case DashboardAccess::Login::kRefused:
        LogLine("dashboard peer=" + PeerOf(req) + " gave a wrong secret");
        return SendPage(res, 403, RenderLoginPage("合言葉が違います。", next));
      case DashboardAccess::Login::kThrottled:
        LogLine("dashboard peer=" + PeerOf(req) + " login refused: too many wrong secrets waiting");
        return SendPage(res, 429, RenderLoginPage("試行が多すぎます。しばらくしてからもう一度どうぞ。", next));
    }
  }

  void LogOut(const httplib::Request& req, httplib::Response& res) {
    const std::string token = FormToken(req);
    if (FromOurOwnPage(req) && !token.empty() && ConstantTimeEquals(req.get_param_value("csrf"), token))
      access_.LogOut(req.get_header_value("Cookie"));
    res.set_header("Set-Cookie", std::string(kSessionCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
    Redirect(res, "/login");
  }

  bool LoadDetails(const std::string& name, ReportDetails* details, httplib::Response& res) {
    std::string error;
    switch (LooksLikeReportName(name) ? store_.LoadDetails(name, details, &error) : Lookup::kUnknown) {
      case Lookup::kFound: return true;
      case Lookup::kUnknown: NotFound(res); return false;
      case Lookup::kFailed: StoreFailed(res, error); return false;
    }
    return false;
  }

  bool LoadPackage(const std::string& name, std::vector<uint8_t>* package, httplib::Response& res) {
    std::string error;
    switch (LooksLikeReportName(name) ? store_.LoadPackage(name, package, &error) : Lookup::kUnknown) {
      case Lookup::kFound: return true;
      case Lookup::kUnknown: NotFound(res); return false;
      case Lookup::kFailed: StoreFailed(res, error); return false;
    }
    return false;
  }

  static void NotFound(httplib::Response& res) {
    SendPage(res, 404, RenderMessagePage("見つかりません", "そのレポートはありません。"));
  }
  static void StoreFailed(httplib::Response& res, const std::string& error) {
    LogLine("dashboard: store failed: " + error);
    SendPage(res, 500, RenderMessagePage("エラー", "レポートを読み出せませんでした。"));
  }

  ReportStore& store_;
  std::function<int64_t()> clock_;
  DashboardSettings settings_;
  DashboardAccess access_;
  const std::string stylesheet_;
  ApiRoutes api_;
  httplib::Server http_;
};

Dashboard::Dashboard(ReportStore& store, std::function<int64_t()> clock, DashboardSettings settings)
    : listen_(settings.listen), needs_login_(!settings.secret.empty()) {
  routes_ = std::make_unique<Routes>(store, std::move(clock), std::move(settings));
}

Dashboard::~Dashboard() { Stop(); }

bool Dashboard::Listen(std::string* error) {
  std::string host;
  uint16_t port = 0;
  if (!SplitHostPort(listen_, &host, &port, error)) return false;
  if (!needs_login_ && !IsLoopbackHost(host)) {
    *error = "the dashboard would serve confidential reports on " + listen_ +
             " without a login: give it --http-secret-file, or a loopback address";
    return false;
  }
  httplib::Server& http = routes_->http();
  errno = 0;
  const int bound = port == 0 ? http.bind_to_any_port(host) : (http.bind_to_port(host, port) ? port : -1);
  if (bound <= 0) {
    *error = "cannot listen on " + listen_ + " for the dashboard" + (errno ? std::string(": ") + std::strerror(errno) : "");
    return false;
  }
  const bool v6 = host.find(':') != std::string::npos;
  url_ = "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(bound) + "/";
  return true;
}

void Dashboard::Start() {
  thread_ = std::thread([this] {
    routes_->http().listen_after_bind();
    serving_ended_ = true;
  });
}

void Dashboard::Stop() {
  if (!thread_.joinable()) return;
  // httplib's stop does nothing until its accept loop runs: a stop right
  // after the start would leave that loop waiting in accept for good.
  while (!serving_ended_ && !routes_->http().is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  routes_->http().stop();
  thread_.join();
}

}  // namespace vnscope::server
